// The capture's block: rows padded to 4 bytes, a colour table only on a
// palette display, and no block for an empty or oversized area.
#include "viewer/capture.h"

#include <gtest/gtest.h>

TEST(CaptureBlock, SizeByAreaAndDisplay)
{
    struct {
        int width, height, bits;
        uint32_t size;
    } const rows[] = {
        {1, 1, 24, 40 + 4},
        {5, 2, 24, 40 + 16 * 2},
        {5, 2, 8, 40 + 1024 + 8 * 2},
        {800, 600, 24, 40 + 2400 * 600},
        {0, 10, 24, 0},
        {10, -1, 24, 0},
        {100000, 100000, 24, 0},   // past what a packed image may hold
        {0x7FFFFFFF, 0x7FFFFFFF, 24, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(capture_block_size(row.width, row.height, row.bits), row.size)
            << row.width << " x " << row.height << " at " << row.bits;
}
