// The packed DIB's layout rules and its utilities, at every depth, with odd
// widths and row padding; layout checked against BMP files written by netpbm.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dib_test_util.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/test_support.h"

TEST(DibLayout, StrideAtEveryDepthPadsToFourBytes)
{
    struct Row { int width; int bits; uint32_t stride; };
    const Row rows[] = {
        {1, 1, 4}, {1, 4, 4}, {1, 8, 4}, {1, 16, 4}, {1, 24, 4}, {1, 32, 4},
        {13, 1, 4}, {13, 4, 8}, {13, 8, 16}, {13, 16, 28}, {13, 24, 40}, {13, 32, 52},
        {33, 1, 8}, {33, 4, 20}, {33, 8, 36}, {33, 16, 68}, {33, 24, 100}, {33, 32, 132},
        {32, 1, 4}, {8, 4, 4}, {9, 4, 8},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.stride, dib_row_stride(r.width, r.bits)) << r.width << " x " << r.bits;
}

TEST(DibLayout, RefusesSizesPastTheLimitsBeforeAllocating)
{
    EXPECT_EQ(0u, dib_row_stride(0, 8));
    EXPECT_EQ(0u, dib_row_stride(-5, 8));
    EXPECT_EQ(0u, dib_row_stride(10, 2));
    EXPECT_EQ(0u, dib_row_stride((int32_t)MAX_DIB_DIMENSION + 1, 1));
    // Would wrap in 32 bits: 0x40000 x 0x40000 x 4.
    EXPECT_EQ(0u, dib_block_size(0x40000, 0x40000, 32, 0));
    EXPECT_EQ(0u, dib_block_size(100, 0, 8, 0));
    EXPECT_EQ(0u, dib_block_size(100, -1, 8, 0));
    EXPECT_EQ(0u, dib_block_size(10, 10, 8, 257));
    EXPECT_EQ(0u, dib_block_size(10, 10, 24, 5));
    EXPECT_EQ(NULL, create_packed_dib(20000, 20000, 32, 0));
    EXPECT_EQ(40u + 1024 + 12 * 3, dib_block_size(9, 3, 8, 0));
    EXPECT_EQ(40u + 4 * 5 + 12 * 3, dib_block_size(9, 3, 8, 5));
}

TEST(DibLayout, ColorTableCountAndPixelOffset)
{
    BITMAPINFOHEADER bih = {};
    bih.biSize = 40;
    const int bits[] = {1, 4, 8, 16, 24, 32};
    const uint32_t counts[] = {2, 16, 256, 0, 0, 0};
    for (int i = 0; i < 6; ++i) {
        bih.biBitCount = (WORD)bits[i];
        EXPECT_EQ(counts[i], dib_color_count(&bih));
        EXPECT_EQ(40 + 4 * counts[i], dib_pixel_offset(&bih));
    }
    bih.biBitCount = 8;
    bih.biClrUsed = 5;
    EXPECT_EQ(5u, dib_color_count(&bih));
    bih.biClrUsed = 100000;  // capped at the largest table
    EXPECT_EQ(256u, dib_color_count(&bih));
    bih.biBitCount = 32;
    bih.biClrUsed = 0;
    bih.biCompression = BI_BITFIELDS;
    EXPECT_EQ(52u, dib_pixel_offset(&bih));
}

TEST(DibLayout, IndexBeyondTheTableReadsEntryZero)
{
    HGLOBAL h = make_dib(4, 1, 8, {quad(1, 2, 3), quad(4, 5, 6)}, 2);
    LockedDib dib(h);
    EXPECT_EQ(4, dib_table_entry(dib.bih, 1).rgbRed);
    EXPECT_EQ(1, dib_table_entry(dib.bih, 2).rgbRed);
    EXPECT_EQ(1, dib_table_entry(dib.bih, 255).rgbRed);
    dib.unlock();
    GlobalFree(h);
}

TEST(DibLayout, ValidityCheckRejectsHeadersThatDoNotFitTheirBlock)
{
    HGLOBAL h = make_dib(7, 3, 4);
    EXPECT_TRUE(is_valid_packed_dib(h));
    {
        LockedDib dib(h);
        dib.bih->biHeight = 300;  // rows past the block
    }
    EXPECT_FALSE(is_valid_packed_dib(h));
    {
        LockedDib dib(h);
        dib.bih->biHeight = -3;
    }
    EXPECT_FALSE(is_valid_packed_dib(h));
    {
        LockedDib dib(h);
        dib.bih->biHeight = 3;
        dib.bih->biSize = 124;
    }
    EXPECT_FALSE(is_valid_packed_dib(h));
    GlobalFree(h);
    EXPECT_FALSE(is_valid_packed_dib(NULL));
}

// ---- against BMP files written by netpbm's ppmtobmp

static bool read_ppm(const std::string& path, int* w, int* h, std::string* rgb)
{
    std::string bytes = read_file_bytes(path);
    int maxval = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", w, h, &maxval, &consumed) != 3 || maxval != 255)
        return false;
    *rgb = bytes.substr(consumed + 1);
    return rgb->size() == (size_t)*w * *h * 3;
}

static HGLOBAL dib_from_bmp(const std::string& bytes)
{
    if (bytes.size() < 14 + 40)
        return NULL;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() - 14);
    void* p = GlobalLock(h);
    std::memcpy(p, bytes.data() + 14, bytes.size() - 14);
    GlobalUnlock(h);
    return h;
}

TEST(DibLayout, MatchesBmpFilesOfNetpbmAtEveryPaletteDepth)
{
    const int bits[] = {1, 4, 8, 24};
    const char* sizes[] = {"1x1", "3x2", "5x3", "13x7", "31x4", "33x5"};
    int checked = 0;
    for (int b : bits) {
        for (const char* size : sizes) {
            std::string base = fixture_path("packed_dib/dib_" + std::to_string(b) + "_" + size);
            std::string bmp = read_file_bytes(base + ".bmp");
            int w = 0, h = 0;
            std::string rgb;
            ASSERT_TRUE(read_ppm(base + ".ppm", &w, &h, &rgb)) << base;
            ASSERT_FALSE(bmp.empty()) << base;
            HGLOBAL hDib = dib_from_bmp(bmp);
            ASSERT_TRUE(is_valid_packed_dib(hDib)) << base;
            uint32_t off_bits;
            std::memcpy(&off_bits, bmp.data() + 10, 4);
            {
                LockedDib dib(hDib);
                EXPECT_EQ(b, dib.bih->biBitCount);
                EXPECT_EQ(off_bits - 14, dib_pixel_offset(dib.bih)) << base;
                EXPECT_EQ(bmp.size() - off_bits, (size_t)dib_row_stride(w, b) * h) << base;
            }
            HGLOBAL hWide = expand_dib_to_bgra32(hDib, 0, 0, 0);
            ASSERT_NE(hWide, hDib);
            LockedDib wide(hWide);
            for (int y = 0; y < h; ++y) {
                const BYTE* px = wide.row(h - 1 - y);  // bottom-up
                for (int x = 0; x < w; ++x) {
                    const unsigned char* ref = (const unsigned char*)rgb.data() + (y * w + x) * 3;
                    ASSERT_EQ(ref[2], px[4 * x]) << base << " at " << x << "," << y;
                    ASSERT_EQ(ref[1], px[4 * x + 1]);
                    ASSERT_EQ(ref[0], px[4 * x + 2]);
                    ASSERT_EQ(255, px[4 * x + 3]);
                }
            }
            wide.unlock();
            GlobalFree(hWide);
            GlobalFree(hDib);
            ++checked;
        }
    }
    EXPECT_EQ(24, checked);
}

// ---- compaction

static std::string pixels_of(HGLOBAL h)
{
    HGLOBAL wide = expand_dib_to_bgra32(h, 0, 0, 0);
    LockedDib dib(wide);
    std::string out((const char*)dib_pixels(dib.bih), (size_t)dib.bih->biWidth * dib.bih->biHeight * 4);
    dib.unlock();
    if (wide != h)
        GlobalFree(wide);
    return out;
}

TEST(CompactDibDepth, LeavesAFullTableAlone)
{
    HGLOBAL h = make_dib(5, 2, 8);  // biClrUsed 0: 256 entries, even with two in use
    HGLOBAL before = h;
    compact_dib_depth(&h);
    EXPECT_EQ(before, h);
    LockedDib dib(h);
    EXPECT_EQ(8, dib.bih->biBitCount);
    dib.unlock();
    GlobalFree(h);
}

TEST(CompactDibDepth, TwoEntryEightBitBecomesOneBitKeepingHandleAndTable)
{
    HGLOBAL h = make_dib(11, 3, 8, {quad(10, 20, 30), quad(200, 100, 50)}, 2);
    {
        LockedDib dib(h);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x)
                set_index(dib.row(y), 8, x, (x + y) % 3 == 0);
    }
    std::string before = pixels_of(h);
    HGLOBAL handle = h;
    compact_dib_depth(&h);
    EXPECT_EQ(handle, h);
    LockedDib dib(h);
    EXPECT_EQ(1, dib.bih->biBitCount);
    EXPECT_EQ(2u, dib.bih->biClrUsed);
    EXPECT_EQ(200, dib.table()[1].rgbRed);
    // Row 0: pixels 0, 3, 6, 9 set; padding zero.
    EXPECT_EQ(0x92, dib.row(0)[0]);
    EXPECT_EQ(0x40, dib.row(0)[1]);
    EXPECT_EQ(0, dib.row(0)[2]);
    dib.unlock();
    EXPECT_EQ(before, pixels_of(h));
    GlobalFree(h);
}

TEST(CompactDibDepth, FourBitTwoEntriesBecomesOneBitByNibble)
{
    HGLOBAL h = make_dib(2, 1, 4, {quad(0, 0, 0), quad(255, 255, 255)}, 2);
    {
        LockedDib dib(h);
        dib.row(0)[0] = 0x01;  // left pixel 0, right pixel 1
    }
    compact_dib_depth(&h);
    LockedDib dib(h);
    EXPECT_EQ(1, dib.bih->biBitCount);
    EXPECT_EQ(0x40, dib.row(0)[0]);
    dib.unlock();
    GlobalFree(h);
}

TEST(CompactDibDepth, EightBitSmallTableBecomesFourBitAndRoundTrips)
{
    std::vector<RGBQUAD> table;
    for (int i = 0; i < 11; ++i)
        table.push_back(quad((BYTE)(i * 20), (BYTE)(255 - i * 20), (BYTE)(i * 7)));
    HGLOBAL h = make_dib(13, 5, 8, table, 11);
    {
        LockedDib dib(h);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                set_index(dib.row(y), 8, x, (x * 3 + y * 5) % 11);
    }
    std::string before = pixels_of(h);
    compact_dib_depth(&h);
    {
        LockedDib dib(h);
        EXPECT_EQ(4, dib.bih->biBitCount);
        EXPECT_EQ(0, dib.row(0)[7]);  // padding after 13 nibbles
    }
    EXPECT_EQ(before, pixels_of(h));
    GlobalFree(h);
}

TEST(CompactDibDepth, IndexBeyondTheTableBecomesEntryZero)
{
    HGLOBAL h = make_dib(3, 1, 8, {quad(1, 1, 1), quad(2, 2, 2), quad(3, 3, 3)}, 3);
    {
        LockedDib dib(h);
        dib.row(0)[0] = 2;
        dib.row(0)[1] = 19;  // beyond the table
        dib.row(0)[2] = 1;
    }
    compact_dib_depth(&h);
    LockedDib dib(h);
    EXPECT_EQ(4, dib.bih->biBitCount);
    EXPECT_EQ(0x20, dib.row(0)[0]);
    EXPECT_EQ(0x10, dib.row(0)[1]);
    dib.unlock();
    GlobalFree(h);
}

// ---- copies and new images

TEST(CopyPackedDib, CopiesEveryDepth)
{
    const int bits[] = {1, 4, 8, 16, 24, 32};
    for (int b : bits) {
        HGLOBAL h = make_dib(7, 3, b);
        {
            LockedDib dib(h);
            BYTE* p = (BYTE*)dib.bih + 40;
            size_t n = dib_pixel_offset(dib.bih) - 40 + dib_row_stride(7, b) * 3;
            for (size_t i = 0; i < n; ++i)
                p[i] = (BYTE)(i * 7 + b);
        }
        HGLOBAL c = copy_packed_dib(h);
        ASSERT_NE((HGLOBAL)NULL, c);
        LockedDib a(h), d(c);
        size_t size = dib_pixel_offset(a.bih) + dib_row_stride(7, b) * 3;
        EXPECT_EQ(0, std::memcmp(a.bih, d.bih, size)) << b;
        a.unlock();
        d.unlock();
        GlobalFree(h);
        GlobalFree(c);
    }
}

static HGLOBAL make_bitfields(int bits, DWORD r, DWORD g, DWORD b)
{
    uint32_t stride = dib_row_stride(3, bits);
    HGLOBAL h = GlobalAlloc(GHND, 40 + 12 + stride * 2);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(h);
    bih->biSize = 40;
    bih->biWidth = 3;
    bih->biHeight = 2;
    bih->biPlanes = 1;
    bih->biBitCount = (WORD)bits;
    bih->biCompression = BI_BITFIELDS;
    DWORD masks[3] = {r, g, b};
    std::memcpy((BYTE*)bih + 40, masks, 12);
    for (uint32_t i = 0; i < stride * 2; ++i)
        ((BYTE*)bih)[52 + i] = (BYTE)(i + 1);
    GlobalUnlock(h);
    return h;
}

TEST(CopyPackedDib, StandardBitFieldsBecomeRgb)
{
    HGLOBAL h = make_bitfields(32, 0xFF0000, 0x00FF00, 0x0000FF);
    HGLOBAL c = copy_packed_dib(h);
    ASSERT_NE((HGLOBAL)NULL, c);
    LockedDib d(c);
    EXPECT_EQ((DWORD)BI_RGB, d.bih->biCompression);
    EXPECT_EQ(40u, dib_pixel_offset(d.bih));
    EXPECT_EQ(1, dib_pixels(d.bih)[0]);
    EXPECT_EQ(24, dib_pixels(d.bih)[23]);
    d.unlock();
    GlobalFree(c);
    GlobalFree(h);

    h = make_bitfields(16, 0x7C00, 0x03E0, 0x001F);
    c = copy_packed_dib(h);
    LockedDib e(c);
    EXPECT_EQ((DWORD)BI_RGB, e.bih->biCompression);
    EXPECT_EQ(1, dib_pixels(e.bih)[0]);
    EXPECT_EQ(6, dib_pixels(e.bih)[5]);
    EXPECT_EQ(7, dib_pixels(e.bih)[6]);  // rows are moved as they stand
    e.unlock();
    GlobalFree(c);
    GlobalFree(h);
}

TEST(CopyPackedDib, OtherBitFieldsGiveABlackImage)
{
    HGLOBAL h = make_bitfields(16, 0xF800, 0x07E0, 0x001F);
    HGLOBAL c = copy_packed_dib(h);
    ASSERT_NE((HGLOBAL)NULL, c);
    LockedDib d(c);
    EXPECT_EQ((DWORD)BI_RGB, d.bih->biCompression);
    for (uint32_t i = 0; i < dib_row_stride(3, 16) * 2; ++i)
        EXPECT_EQ(0, dib_pixels(d.bih)[i]);
    d.unlock();
    GlobalFree(c);
    GlobalFree(h);
}

TEST(CopyPackedDib, RefusesAnUnsupportedDepth)
{
    HGLOBAL h = make_dib(3, 3, 8);
    {
        LockedDib dib(h);
        dib.bih->biBitCount = 2;
    }
    EXPECT_EQ(NULL, copy_packed_dib(h));
    GlobalFree(h);
}

TEST(CreateDib24, MakesABlackImageWithAPlainHeader)
{
    HGLOBAL h = create_dib24(5, 3);
    ASSERT_NE((HGLOBAL)NULL, h);
    EXPECT_EQ((SIZE_T)(40 + 16 * 3), GlobalSize(h));
    LockedDib dib(h);
    EXPECT_EQ(40u, dib.bih->biSize);
    EXPECT_EQ(5, dib.bih->biWidth);
    EXPECT_EQ(3, dib.bih->biHeight);
    EXPECT_EQ(1, dib.bih->biPlanes);
    EXPECT_EQ(24, dib.bih->biBitCount);
    EXPECT_EQ(0u, dib.bih->biCompression + dib.bih->biSizeImage + dib.bih->biClrUsed);
    dib.unlock();
    GlobalFree(h);
    EXPECT_EQ(NULL, create_dib24(0, 5));
}

TEST(FormatDibInfoText, NamesTheCompression)
{
    HGLOBAL h = make_bitfields(16, 0x7C00, 0x03E0, 0x001F);
    char info[INFO_TEXT_SIZE] = "";
    format_dib_info_text(h, info);
    EXPECT_STREQ("image type: DIB \nwidth: 3 \nheight: 2 \nplanes: 1 \nbits per pixel: 16 \ncompression: BI_BITFIELDS",
                 info);
    format_dib_info_text(h, NULL);  // nothing to write
    GlobalFree(h);
}

// ---- alpha

static HGLOBAL make_bgra(int w, int h, const std::vector<BYTE>& pixels)
{
    HGLOBAL hDib = make_dib(w, h, 32);
    LockedDib dib(hDib);
    std::memcpy(dib_pixels(dib.bih), pixels.data(), pixels.size());
    return hDib;
}

TEST(FlattenAlpha, ZeroAlphaEverywhereKeepsTheImage)
{
    HGLOBAL h = make_bgra(2, 1, {10, 20, 30, 0, 40, 50, 60, 0});
    HGLOBAL before = h;
    flatten_alpha_onto_background(&h, 0);
    EXPECT_EQ(before, h);
    LockedDib dib(h);
    EXPECT_EQ(32, dib.bih->biBitCount);
    dib.unlock();
    GlobalFree(h);
}

TEST(FlattenAlpha, ComposesOverTheChosenBackgroundByHand)
{
    // Width 3: 24-bit rows of 9 bytes padded to 12.
    HGLOBAL h = make_bgra(3, 2, {
        0, 0, 0, 128,      255, 255, 255, 1,   10, 20, 30, 255,
        100, 150, 200, 0,  0, 0, 0, 0,         40, 80, 120, 64,
    });
    flatten_alpha_onto_background(&h, 0);  // white
    {
        LockedDib dib(h);
        ASSERT_EQ(24, dib.bih->biBitCount);
        const BYTE* r0 = dib.row(0);
        const BYTE* r1 = dib.row(1);
        EXPECT_EQ(127, r0[0]);  // (0 x 128 + 255 x 127) / 255
        EXPECT_EQ(127, r0[2]);
        EXPECT_EQ(255, r0[3]);
        EXPECT_EQ(10, r0[6]);
        EXPECT_EQ(30, r0[8]);
        EXPECT_EQ(0, r0[9] | r0[10] | r0[11]);  // padding
        EXPECT_EQ(255, r1[0]);
        EXPECT_EQ((40 * 64 + 255 * 191) / 255, r1[6]);
        EXPECT_EQ((120 * 64 + 255 * 191) / 255, r1[8]);
    }
    GlobalFree(h);

    // Blue background (index 6: red 0, green 0, blue 255); one pixel of alpha 1.
    h = make_bgra(1, 1, {200, 100, 50, 1});
    flatten_alpha_onto_background(&h, 6);
    {
        LockedDib dib(h);
        EXPECT_EQ((200 * 1 + 255 * 254) / 255, dib.row(0)[0]);
        EXPECT_EQ((100 * 1) / 255, dib.row(0)[1]);
        EXPECT_EQ((50 * 1) / 255, dib.row(0)[2]);
    }
    GlobalFree(h);
}

TEST(FlattenAlpha, BackgroundIndexPastTheTableUsesWhite)
{
    HGLOBAL h = make_bgra(1, 1, {0, 0, 0, 0x80});
    flatten_alpha_onto_background(&h, 57);
    LockedDib dib(h);
    EXPECT_EQ(127, dib.row(0)[1]);
    dib.unlock();
    GlobalFree(h);
}

TEST(FlattenAlpha, OtherDepthsAreLeftAlone)
{
    HGLOBAL h = make_dib(3, 3, 24);
    HGLOBAL before = h;
    flatten_alpha_onto_background(&h, 0);
    EXPECT_EQ(before, h);
    GlobalFree(h);
}

TEST(ExpandToBgra32, TransparentIndexGetsTheDisplayColourWithAlphaZero)
{
    HGLOBAL h = make_dib(9, 2, 1, {quad(0, 0, 0), quad(255, 255, 255)});
    {
        LockedDib dib(h);
        dib.row(0)[0] = 0xA0;  // pixels 0 and 2 set
        dib.row(1)[1] = 0x80;  // pixel 8 set
    }
    HGLOBAL w = expand_dib_to_bgra32(h, 1, 1, 0x00112233);
    ASSERT_NE(h, w);
    LockedDib dib(w);
    EXPECT_EQ(32, dib.bih->biBitCount);
    EXPECT_EQ(0u, dib.bih->biClrUsed);
    const BYTE* r0 = dib.row(0);
    for (int x = 0; x < 9; ++x) {
        bool set = x == 0 || x == 2;
        EXPECT_EQ(set ? 0 : 255, r0[4 * x + 3]) << x;
    }
    EXPECT_EQ(0x33, r0[0]);
    EXPECT_EQ(0x22, r0[1]);
    EXPECT_EQ(0x11, r0[2]);
    EXPECT_EQ(0, r0[4]);
    EXPECT_EQ(0, dib.row(1)[8 * 4 + 3]);
    dib.unlock();
    GlobalFree(w);
    GlobalFree(h);
}

TEST(ExpandToBgra32, WidensFiveBitFieldsAndCopiesTrueColour)
{
    HGLOBAL h = make_dib(3, 1, 16);
    {
        LockedDib dib(h);
        BYTE* r = dib.row(0);
        WORD v0 = 31 | (16 << 5) | (1 << 10);  // blue 31, green 16, red 1
        r[0] = (BYTE)v0;
        r[1] = (BYTE)(v0 >> 8);
        r[2] = 0xFF;  // 0x7FFF plus bit 15: bit 15 ignored
        r[3] = 0xFF;
    }
    HGLOBAL w = expand_dib_to_bgra32(h, 0, 0, 0);
    {
        LockedDib dib(w);
        const BYTE* r = dib.row(0);
        EXPECT_EQ(255, r[0]);
        EXPECT_EQ(16 * 255 / 31, r[1]);
        EXPECT_EQ(255 / 31, r[2]);
        EXPECT_EQ(255, r[3]);
        EXPECT_EQ(255, r[4] & r[5] & r[6]);
        EXPECT_EQ(0, r[8] | r[9] | r[10]);
    }
    GlobalFree(w);
    GlobalFree(h);

    h = make_dib(1, 1, 24);
    {
        LockedDib dib(h);
        dib.row(0)[0] = 1;
        dib.row(0)[1] = 2;
        dib.row(0)[2] = 3;
    }
    w = expand_dib_to_bgra32(h, 0, 0, 0);
    {
        LockedDib dib(w);
        EXPECT_EQ(1, dib.row(0)[0]);
        EXPECT_EQ(3, dib.row(0)[2]);
        EXPECT_EQ(255, dib.row(0)[3]);
    }
    GlobalFree(w);
    GlobalFree(h);

    h = make_dib(2, 2, 32);
    EXPECT_EQ(h, expand_dib_to_bgra32(h, 0, 0, 0));
    GlobalFree(h);
}

TEST(TwipsPerPixel, DividesAnInchByTheDeviceResolution)
{
    HDC hdc = GetDC(NULL);
    int32_t tx = 0, ty = 0;
    get_twips_per_pixel(hdc, &tx, &ty);
    EXPECT_EQ(1440 / GetDeviceCaps(hdc, LOGPIXELSX), tx);
    EXPECT_EQ(1440 / GetDeviceCaps(hdc, LOGPIXELSY), ty);
    ReleaseDC(NULL, hdc);
}
