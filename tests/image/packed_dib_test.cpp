// The packed DIB's layout (against netpbm's BMP files) and its utilities.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

TEST(DibLayout, RefusesSizesPastTheLimitsBeforeAllocating)
{
    EXPECT_EQ(0u, dib_row_stride(0, 8));
    EXPECT_EQ(0u, dib_row_stride(10, 2));
    EXPECT_EQ(0u, dib_row_stride((int32_t)MAX_DIB_DIMENSION + 1, 1));
    // Would wrap in 32 bits: 0x40000 x 0x40000 x 4.
    EXPECT_EQ(0u, dib_block_size(0x40000, 0x40000, 32, 0));
    EXPECT_EQ(0u, dib_block_size(100, -1, 8, 0));
    EXPECT_EQ(0u, dib_block_size(10, 10, 8, 257));
    EXPECT_EQ(0u, dib_block_size(10, 10, 24, 5));
    EXPECT_EQ(NULL, create_packed_dib(20000, 20000, 32, 0));
    EXPECT_EQ(40u + 4 * 5 + 12 * 3, dib_block_size(9, 3, 8, 5));
}

TEST(DibLayout, ColourTableIsCappedAndIndicesPastItReadEntryZero)
{
    DibBlock dib(make_dib(4, 1, 8, {quad(1, 2, 3), quad(4, 5, 6)}, 2));
    EXPECT_EQ(4, dib_table_entry(dib.bih, 1).rgbRed);
    EXPECT_EQ(1, dib_table_entry(dib.bih, 255).rgbRed);
    dib.bih->biClrUsed = 100000;
    EXPECT_EQ(256u, dib_color_count(dib.bih));
    dib.bih->biBitCount = 32;
    dib.bih->biClrUsed = 0;
    dib.bih->biCompression = BI_BITFIELDS;
    EXPECT_EQ(52u, dib_pixel_offset(dib.bih));
}

TEST(DibLayout, ValidityCheckRejectsHeadersThatDoNotFitTheirBlock)
{
    DibBlock dib(make_dib(7, 3, 4));
    EXPECT_TRUE(is_valid_packed_dib(dib.get()));
    const struct { int32_t height; DWORD size; } lies[] = {{300, 40}, {-3, 40}, {3, 124}};
    for (const auto& lie : lies) {
        dib.bih->biHeight = lie.height;
        dib.bih->biSize = lie.size;
        EXPECT_FALSE(is_valid_packed_dib(dib.get())) << lie.height << " " << lie.size;
    }
    EXPECT_FALSE(is_valid_packed_dib(NULL));
}

TEST(DibLayout, MatchesBmpFilesOfNetpbmAtEveryPaletteDepth)
{
    for (int b : {1, 4, 8, 24})
        for (const char* size : {"1x1", "13x7", "33x5"}) {
            std::string base = fixture_path("packed_dib/dib_" + std::to_string(b) + "_" + size);
            std::string bmp = read_file_bytes(base + ".bmp");
            PnmImage ref = read_pnm_file(base + ".ppm");
            ASSERT_FALSE(ref.empty() || bmp.size() < 54) << base;
            DibBlock dib(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bmp.size() - 14));
            memcpy(dib.bih, bmp.data() + 14, bmp.size() - 14);
            ASSERT_TRUE(is_valid_packed_dib(dib.get())) << base;
            EXPECT_EQ(get_le32(bmp, 10) - 14, dib_pixel_offset(dib.bih)) << base;
            EXPECT_EQ(bmp.size() - get_le32(bmp, 10), (size_t)dib_row_stride(ref.width, b) * ref.height) << base;
            DibBlock wide(expand_dib_to_bgra32(dib.get(), 0, 0, 0));
            EXPECT_EQ(0, max_difference(ref, dib_to_pnm(wide.get(), 3))) << base;
        }
}

// ---- compaction

// The pixels as 32-bit BGRA, whatever the depth.
static std::string pixels_of(HGLOBAL h)
{
    DibBlock wide(expand_dib_to_bgra32(h, 0, 0, 0), true);
    std::string out((const char*)wide.row(0), (size_t)wide.bih->biWidth * wide.bih->biHeight * 4);
    if (wide.get() == h)
        wide.release();
    return out;
}

TEST(CompactDibDepth, SmallTablesShrinkTheDepthKeepingHandleAndPixels)
{
    const struct { int bits, width; uint32_t colours; int want_bits; } cases[] = {
        {8, 5, 0, 8},    // biClrUsed 0: 256 entries, left alone
        {8, 11, 2, 1},
        {4, 2, 2, 1},
        {8, 13, 11, 4},
    };
    for (const auto& c : cases) {
        std::vector<RGBQUAD> table;
        for (uint32_t i = 0; i < c.colours; ++i)
            table.push_back(quad((BYTE)(i * 20), (BYTE)(255 - i * 20), (BYTE)(i * 7)));
        DibBlock dib(make_dib(c.width, 3, c.bits, table, c.colours));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < c.width; ++x)
                set_index(dib.row(y), c.bits, x, (x * 3 + y * 5) % (c.colours ? c.colours : 2));
        std::string before = pixels_of(dib.get());
        HGLOBAL h = dib.release(), handle = h;
        compact_dib_depth(&h);
        dib.reset(h);
        EXPECT_EQ(handle, h) << c.bits << " to " << c.want_bits;
        EXPECT_EQ(c.want_bits, dib.bih->biBitCount);
        EXPECT_EQ(before, pixels_of(h)) << c.bits << " to " << c.want_bits;
        for (uint32_t i = (c.width * c.want_bits + 7) / 8; i < dib_row_stride(c.width, c.want_bits); ++i)
            EXPECT_EQ(0, dib.row(0)[i]) << "padding";
    }
}

TEST(CompactDibDepth, IndexBeyondTheTableBecomesEntryZero)
{
    DibBlock dib(make_dib(3, 1, 8, {quad(1, 1, 1), quad(2, 2, 2), quad(3, 3, 3)}, 3));
    const BYTE row[3] = {2, 19, 1};
    memcpy(dib.row(0), row, 3);
    HGLOBAL h = dib.release();
    compact_dib_depth(&h);
    dib.reset(h);
    EXPECT_EQ(4, dib.bih->biBitCount);
    EXPECT_EQ(0x20, dib.row(0)[0]);
    EXPECT_EQ(0x10, dib.row(0)[1]);
}

// ---- copies

static HGLOBAL make_bitfields(int bits, DWORD r, DWORD g, DWORD b)
{
    DibBlock dib(make_dib(3, 2, bits));
    HGLOBAL h = GlobalAlloc(GHND, 52 + dib_row_stride(3, bits) * 2);
    BYTE* p = (BYTE*)GlobalLock(h);
    memcpy(p, dib.bih, 40);
    ((BITMAPINFOHEADER*)p)->biCompression = BI_BITFIELDS;
    DWORD masks[3] = {r, g, b};
    memcpy(p + 40, masks, 12);
    for (uint32_t i = 0; i < dib_row_stride(3, bits) * 2; ++i)
        p[52 + i] = (BYTE)(i + 1);
    GlobalUnlock(h);
    return h;
}

TEST(CopyPackedDib, CopiesEveryDepthAndMakesBitFieldsRgb)
{
    for (int b : {1, 4, 8, 16, 24, 32}) {
        DibBlock dib(make_dib(7, 3, b));
        size_t size = dib_pixel_offset(dib.bih) + dib_row_stride(7, b) * 3;
        for (size_t i = 40; i < size; ++i)
            ((BYTE*)dib.bih)[i] = (BYTE)(i * 7 + b);
        DibBlock copy(copy_packed_dib(dib.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(0, memcmp(dib.bih, copy.bih, size)) << b;
    }
    // Standard masks: the rows are moved as they stand; other masks: black.
    const struct { int bits; DWORD masks[3]; BYTE first; } cases[] = {
        {32, {0xFF0000, 0x00FF00, 0x0000FF}, 1}, {16, {0x7C00, 0x03E0, 0x001F}, 1}, {16, {0xF800, 0x07E0, 0x001F}, 0}};
    for (const auto& c : cases) {
        DibBlock field(make_bitfields(c.bits, c.masks[0], c.masks[1], c.masks[2]));
        DibBlock copy(copy_packed_dib(field.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ((DWORD)BI_RGB, copy.bih->biCompression);
        EXPECT_EQ(40u, dib_pixel_offset(copy.bih));
        EXPECT_EQ(c.first, copy.row(0)[0]) << std::hex << c.masks[1];
    }
    DibBlock two_bit(make_dib(3, 3, 8));
    two_bit.bih->biBitCount = 2;
    EXPECT_EQ(NULL, copy_packed_dib(two_bit.get()));
}

TEST(FormatDibInfoText, NamesTheCompression)
{
    DibBlock dib(make_bitfields(16, 0x7C00, 0x03E0, 0x001F));
    char info[INFO_TEXT_SIZE] = "";
    format_dib_info_text(dib.get(), info);
    EXPECT_STREQ("image type: DIB \nwidth: 3 \nheight: 2 \nplanes: 1 \nbits per pixel: 16 \ncompression: BI_BITFIELDS",
                 info);
}

// ---- alpha

static HGLOBAL make_bgra(int w, int h, const std::vector<BYTE>& pixels)
{
    DibBlock dib(make_dib(w, h, 32));
    memcpy(dib.row(0), pixels.data(), pixels.size());
    return dib.release();
}

TEST(FlattenAlpha, ComposesOverTheChosenBackground)
{
    // Width 3: 24-bit rows of 9 bytes padded to 12.
    HGLOBAL h = make_bgra(3, 2, {0, 0, 0, 128,     255, 255, 255, 1, 10, 20, 30, 255,
                                 100, 150, 200, 0, 0, 0, 0, 0,       40, 80, 120, 64});
    flatten_alpha_onto_background(&h, 0);  // white
    DibBlock dib(h);
    ASSERT_EQ(24, dib.bih->biBitCount);
    const BYTE want0[12] = {127, 127, 127, 255, 255, 255, 10, 20, 30, 0, 0, 0};
    EXPECT_EQ(0, memcmp(want0, dib.row(0), 12));
    EXPECT_EQ(255, dib.row(1)[0]) << "alpha 0 is the background";
    EXPECT_EQ(201, dib.row(1)[6]);

    // An index past the table is white.
    h = make_bgra(1, 1, {0, 0, 0, 0x80});
    flatten_alpha_onto_background(&h, 57);
    dib.reset(h);
    EXPECT_EQ(127, dib.row(0)[1]);

    // No alpha anywhere, or no alpha channel: the image stays as it is.
    for (HGLOBAL same : {make_bgra(2, 1, {10, 20, 30, 0, 40, 50, 60, 0}), make_dib(3, 3, 24)}) {
        h = same;
        flatten_alpha_onto_background(&h, 0);
        EXPECT_EQ(same, h);
        dib.reset(h);
    }
}

TEST(ExpandToBgra32, TransparentIndexGetsTheDisplayColourWithAlphaZero)
{
    DibBlock dib(make_dib(9, 2, 1, {quad(0, 0, 0), quad(255, 255, 255)}));
    dib.row(0)[0] = 0xA0;  // pixels 0 and 2 set
    dib.row(1)[1] = 0x80;  // pixel 8 set
    DibBlock wide(expand_dib_to_bgra32(dib.get(), 1, 1, 0x00112233));
    ASSERT_NE(dib.get(), wide.get());
    EXPECT_EQ(0u, wide.bih->biClrUsed);
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(x == 0 || x == 2 ? 0 : 255, wide.row(0)[4 * x + 3]) << x;
    EXPECT_EQ(0x00112233u, wide.raw(0, 0));
    EXPECT_EQ(0, wide.row(1)[8 * 4 + 3]);
}

TEST(ExpandToBgra32, WidensFiveBitFieldsAndCopiesTrueColour)
{
    DibBlock dib(make_dib(2, 1, 16));
    WORD v0 = 31 | (16 << 5) | (1 << 10);  // blue 31, green 16, red 1
    memcpy(dib.row(0), &v0, 2);
    dib.row(0)[2] = dib.row(0)[3] = 0xFF;  // 0x7FFF plus bit 15, which is ignored
    DibBlock wide(expand_dib_to_bgra32(dib.get(), 0, 0, 0));
    const BYTE want[8] = {255, 131, 8, 255, 255, 255, 255, 255};
    EXPECT_EQ(0, memcmp(want, wide.row(0), 8));

    dib.reset(make_dib(2, 2, 32));
    EXPECT_EQ(dib.get(), expand_dib_to_bgra32(dib.get(), 0, 0, 0)) << "already 32 bits";
}
