// Clipboard DIBs come from any program: hostile headers are refused before
// the current image is touched; good ones are pasted as they are.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "app/clipboard.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"
#include "support/dib_block.h"

namespace {

// A clipboard-style block: header, optional masks or table, pixel bytes.
HGLOBAL raw_block(const BITMAPINFOHEADER& header, size_t extra_bytes, const DWORD* masks = nullptr)
{
    size_t size = sizeof header + extra_bytes;
    HGLOBAL h = GlobalAlloc(GHND, size);
    BYTE* p = (BYTE*)GlobalLock(h);
    std::memcpy(p, &header, sizeof header);
    if (masks)
        std::memcpy(p + sizeof header, masks, 12);
    GlobalUnlock(h);
    return h;
}

BITMAPINFOHEADER header(int width, int height, int bits, DWORD compression = BI_RGB)
{
    BITMAPINFOHEADER h = {};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = (WORD)bits;
    h.biCompression = compression;
    return h;
}

struct HostileCase {
    const char* name;
    std::function<void(BITMAPINFOHEADER&)> change;
    size_t extra_bytes;  // after the header
};

class HostileClipboardDib : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileClipboardDib, IsRefused)
{
    BITMAPINFOHEADER h = header(4, 4, 24);
    GetParam().change(h);
    HGLOBAL block = raw_block(h, GetParam().extra_bytes);
    EXPECT_FALSE(is_acceptable_clipboard_dib(block)) << GetParam().name;
    EXPECT_EQ(copy_clipboard_dib(block), nullptr) << GetParam().name;
    GlobalFree(block);
}

// A 4 x 4, 24-bit image needs 48 bytes of rows.
INSTANTIATE_TEST_SUITE_P(Headers, HostileClipboardDib, ::testing::Values(
    HostileCase{"core header", [](BITMAPINFOHEADER& h) { h.biSize = 12; }, 48},
    HostileCase{"V4 header", [](BITMAPINFOHEADER& h) { h.biSize = 108; }, 200},
    HostileCase{"huge header size", [](BITMAPINFOHEADER& h) { h.biSize = 0xFFFFFFF0u; }, 48},
    HostileCase{"bit count 3", [](BITMAPINFOHEADER& h) { h.biBitCount = 3; }, 48},
    HostileCase{"bit count 64", [](BITMAPINFOHEADER& h) { h.biBitCount = 64; }, 400},
    HostileCase{"RLE8", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; h.biCompression = BI_RLE8; }, 1100},
    HostileCase{"JPEG", [](BITMAPINFOHEADER& h) { h.biCompression = BI_JPEG; }, 48},
    HostileCase{"bit fields on 24 bits", [](BITMAPINFOHEADER& h) { h.biCompression = BI_BITFIELDS; }, 60},
    HostileCase{"table of 1000", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; h.biClrUsed = 1000; }, 5000},
    HostileCase{"zero width", [](BITMAPINFOHEADER& h) { h.biWidth = 0; }, 48},
    HostileCase{"top-down rows", [](BITMAPINFOHEADER& h) { h.biHeight = -4; }, 48},
    HostileCase{"width past the limit", [](BITMAPINFOHEADER& h) { h.biWidth = 0x7FFFFFFF; }, 48},
    HostileCase{"size overflowing 32 bits",
                [](BITMAPINFOHEADER& h) { h.biWidth = 0x40000; h.biHeight = 0x40000; }, 48},
    HostileCase{"rows one byte short", [](BITMAPINFOHEADER&) {}, 47},
    HostileCase{"table past the block", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; h.biClrUsed = 256; }, 100}));

TEST(ClipboardDib, BitFieldsAreTakenOnlyWithTheStandardMasks)
{
    const DWORD rgb555[3] = {0x7C00, 0x03E0, 0x001F};
    const DWORD rgb565[3] = {0xF800, 0x07E0, 0x001F};
    const DWORD rgb888[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const DWORD bgr888[3] = {0x0000FF, 0x00FF00, 0xFF0000};
    struct {
        int bits;
        const DWORD* masks;
        bool accepted;
    } rows[] = {{16, rgb555, true}, {16, rgb565, false}, {32, rgb888, true}, {32, bgr888, false}, {16, rgb888, false}};
    for (const auto& row : rows) {
        BITMAPINFOHEADER h = header(2, 2, row.bits, BI_BITFIELDS);
        HGLOBAL block = raw_block(h, 12 + 16, row.masks);
        EXPECT_EQ(is_acceptable_clipboard_dib(block) != 0, row.accepted) << row.bits << " " << row.masks[0];
        GlobalFree(block);
    }
    // Masks announced but cut off.
    BITMAPINFOHEADER h = header(1, 1, 32, BI_BITFIELDS);
    HGLOBAL block = raw_block(h, 8);
    EXPECT_FALSE(is_acceptable_clipboard_dib(block));
    GlobalFree(block);
}

// Through the real clipboard: a hostile DIB leaves the current image, a
// good one replaces it.
struct ClipboardWindow {
    HWND hwnd;
    ClipboardWindow()
    {
        hwnd = CreateWindowExA(0, "STATIC", "clipboard test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
    }
    ~ClipboardWindow() { DestroyWindow(hwnd); }
    bool put(HGLOBAL block)
    {
        if (!OpenClipboard(hwnd))
            return false;
        EmptyClipboard();
        bool ok = SetClipboardData(CF_DIB, block) != NULL;
        CloseClipboard();
        return ok;
    }
};

TEST(ClipboardPaste, RefusedDibKeepsTheCurrentImage)
{
    SeamRecorder seams(32);
    ClipboardWindow window;
    BITMAPINFOHEADER h = header(4, 4, 8, BI_RLE8);
    ASSERT_TRUE(window.put(raw_block(h, 1100)));

    HGLOBAL mine = make_dib(2, 2, 24);
    HGLOBAL old_image = g_hImage;
    int old_kind = g_imageKind, old_format = g_fileFormat;
    g_hImage = mine;
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_BMP;
    std::strcpy(g_fileName, "kept.bmp");

    paste_image_from_clipboard(window.hwnd);
    EXPECT_EQ(g_hImage, mine);
    EXPECT_EQ(g_fileFormat, FMT_BMP);
    EXPECT_STREQ(g_fileName, "kept.bmp");
    EXPECT_TRUE(seams.boxes.empty());

    // A good DIB replaces it with a copy of its table and pixels.
    HGLOBAL good = make_dib(3, 5, 4, {quad(255, 0, 0), quad(0, 0, 255)}, 2);
    set_index(DibBlock(good, false).row(1), 4, 2, 1);
    ASSERT_TRUE(window.put(good));
    paste_image_from_clipboard(window.hwnd);
    ASSERT_NE(g_hImage, nullptr);
    EXPECT_NE(g_hImage, mine) << "the old image was released";
    EXPECT_NE(g_hImage, good) << "the clipboard's block is the clipboard's";
    EXPECT_EQ(g_imageKind, KIND_DIB);
    EXPECT_EQ(g_fileFormat, FMT_CLIPBOARD);
    EXPECT_STREQ(g_fileName, PASTED_IMAGE_NAME);
    {
        DibBlock pasted(g_hImage, false);
        EXPECT_EQ(pasted.bih->biWidth * 100 + pasted.bih->biHeight, 305);
        EXPECT_EQ(pasted.bih->biBitCount, 4);
        EXPECT_EQ(pasted.raw(2, 1), 1u);
        EXPECT_EQ(pasted.raw(1, 1), 0u);
        EXPECT_EQ(pasted.table()[1].rgbBlue, 255);
    }
    GlobalFree(g_hImage);
    g_hImage = old_image;
    g_imageKind = old_kind;
    g_fileFormat = old_format;
    g_fileName[0] = '\0';
}

}  // namespace
