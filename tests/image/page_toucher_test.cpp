// The page toucher takes first-write faults beside a reader that fills the
// same block: whatever the two do at the same moment, every byte the reader
// wrote stays (a touch that stored its own byte would lose some).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/page_toucher.h"

TEST(PageToucher, KeepsEveryByteTheReaderWrites)
{
    const size_t length = 24u << 20, page = 4096;
    for (int downward : {1, 0}) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length);
        ASSERT_NE(block, nullptr);
        BYTE* bytes = (BYTE*)GlobalLock(block);
        // the very bytes the toucher touches, in its order: a quarter of
        // them before it starts, the rest while it runs
        const size_t pages = length / page;
        HANDLE toucher = NULL;
        for (size_t i = 0; i < pages; i++) {
            if (i == pages / 4)
                toucher = start_page_toucher(bytes, length, downward);
            size_t offset = (downward ? pages - 1 - i : i) * page;
            bytes[offset] = (BYTE)(i % 251 + 1);
            bytes[offset + 1] = 0xA5;
        }
        EXPECT_NE(toucher, nullptr);
        finish_page_toucher(toucher);
        size_t lost = 0;
        for (size_t i = 0; i < pages; i++) {
            size_t offset = (downward ? pages - 1 - i : i) * page;
            lost += bytes[offset] != (BYTE)(i % 251 + 1) || bytes[offset + 1] != 0xA5;
        }
        EXPECT_EQ(lost, 0u) << downward;
        GlobalUnlock(block);
        GlobalFree(block);
    }
    // small blocks are not worth a thread
    BYTE small[64] = {};
    EXPECT_EQ(start_page_toucher(small, sizeof small, 1), nullptr);
    finish_page_toucher(NULL);
}
