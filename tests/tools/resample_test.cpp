// Resizing and resampling: worked values of the area average and the
// cubic enlargement, nearest-pixel resizing of packed depths, and a smooth picture resized against ImageMagick's Box and Lagrange
// filters (tests/fixtures/make_jpeg.sh).
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"
#include "support/seam_recorder.h"
#include "tools/resample.h"

namespace {

// An image whose rows (top-down here) are given as bytes per pixel.
HGLOBAL make_image(int width, int height, int bits, const std::vector<std::vector<int>>& rows_top_down)
{
    HGLOBAL hDib = create_packed_dib(width, height, bits, 0);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            dib_color_table(bih)[i] = RGBQUAD{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    uint32_t stride = dib_row_stride(width, bits);
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib_pixels(bih) + (size_t)(height - 1 - y) * stride;
        for (size_t i = 0; i < rows_top_down[y].size(); ++i)
            row[i] = (BYTE)rows_top_down[y][i];
    }
    GlobalUnlock(hDib);
    return hDib;
}

// Row y (top-down) of an image as ints, bytes_per_row of them.
std::vector<int> row_of(HGLOBAL hDib, int y, size_t count)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    const BYTE* row = dib_pixels(bih) + (size_t)(bih->biHeight - 1 - y) * stride;
    std::vector<int> values(row, row + count);
    GlobalUnlock(hDib);
    return values;
}

}  // namespace

TEST(Resample, ShrinkSplitsPixelsByArea)
{
    SeamRecorder seams;
    HGLOBAL hDst;
    // 3 -> 2 splits the middle pixel half and half.
    HGLOBAL hRow = make_image(3, 1, 8, {{30, 90, 200}});
    hDst = resample_image(hRow, 2, 1);
    ASSERT_NE(hDst, nullptr);
    EXPECT_EQ(row_of(hDst, 0, 2), (std::vector<int>{50, 163}));  // (30+45)/1.5, (45+200)/1.5
    GlobalFree(hDst);
    GlobalFree(hRow);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(Resample, EnlargeFollowsTheCubicThroughFourSamples)
{
    HGLOBAL hSrc = make_image(4, 1, 8, {{0, 0, 255, 255}});
    HGLOBAL hDst = resample_image(hSrc, 7, 1);
    ASSERT_NE(hDst, nullptr);
    EXPECT_EQ(row_of(hDst, 0, 7), (std::vector<int>{0, 0, 0, 127, 255, 255, 255}));
    GlobalFree(hDst);
    GlobalFree(hSrc);

    // Ends are kept exactly; a constant image stays constant.
    hSrc = make_image(5, 3, 8, {{9, 80, 33, 200, 17}, {50, 50, 50, 50, 50}, {1, 2, 3, 4, 5}});
    hDst = resample_image(hSrc, 13, 3);
    ASSERT_NE(hDst, nullptr);
    std::vector<int> top = row_of(hDst, 0, 13), middle = row_of(hDst, 1, 13);
    EXPECT_EQ(top.front(), 9);
    EXPECT_EQ(top.back(), 17);
    EXPECT_EQ(middle, std::vector<int>(13, 50));
    GlobalFree(hDst);
    GlobalFree(hSrc);

    // A one-pixel-wide image repeats its pixel.
    hSrc = make_image(1, 2, 24, {{1, 2, 3}, {4, 5, 6}});
    hDst = resample_image(hSrc, 4, 2);
    ASSERT_NE(hDst, nullptr);
    EXPECT_EQ(row_of(hDst, 1, 12), (std::vector<int>{4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6}));
    GlobalFree(hDst);
    GlobalFree(hSrc);
}

TEST(Resample, SameSizeIsAnExactCopy)
{
    std::vector<std::vector<int>> rows(3);
    for (int y = 0; y < 3; ++y)
        for (int i = 0; i < 20; ++i)
            rows[y].push_back((i * 37 + y * 11) % 256);
    HGLOBAL hSrc = make_image(5, 3, 32, rows);
    HGLOBAL hDst = resample_image(hSrc, 5, 3);
    ASSERT_NE(hDst, nullptr);
    EXPECT_EQ(GlobalSize(hDst) >= GlobalSize(hSrc), true);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(row_of(hDst, y, 20), rows[y]);
    GlobalFree(hDst);
    GlobalFree(hSrc);
}

TEST(Resample, NearestKeepsPaletteIndicesAndPadding)
{
    // 1 bit, 5 wide -> 11 wide: the padding bits of each row stay 0.
    HGLOBAL h1 = make_image(5, 2, 1, {{0xA8}, {0xF8}});
    HGLOBAL hDst = resize_nearest(h1, 11, 3);
    ASSERT_NE(hDst, nullptr);
    // Source columns 0,0,0,1,1,2,2,3,3,4,4 of 1,0,1,0,1.
    EXPECT_EQ(row_of(hDst, 0, 2), (std::vector<int>{0xE6, 0x60}));
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(row_of(hDst, y, 4)[1] & 0x1F, 0);
    GlobalFree(hDst);
    GlobalFree(h1);

    // 4 bits: nibbles follow their columns.
    HGLOBAL h4 = make_image(3, 1, 4, {{0x12, 0x30}});
    hDst = resize_nearest(h4, 6, 1);
    ASSERT_NE(hDst, nullptr);
    EXPECT_EQ(row_of(hDst, 0, 3), (std::vector<int>{0x11, 0x22, 0x33}));
    GlobalFree(hDst);
    GlobalFree(h4);
}

// A smooth picture resized here and by ImageMagick: the same geometry up to
// where each puts its sample positions, so a few levels apart at most.
TEST(Resample, AgreesWithImageMagickOnASmoothPicture)
{
    PnmImage smooth = read_pnm_file(fixture_path("jpeg/smooth.ppm"));
    ASSERT_FALSE(smooth.empty());
    HGLOBAL hSrc = pnm_to_dib(smooth);
    struct Case {
        const char* reference;
        int width, height, max_limit;
        double mean_limit;
    } cases[] = {
        {"box_20x15.ppm", 20, 15, 1, 0.6},
        {"box_27x19.ppm", 27, 19, 8, 1.5},
        {"lagrange_97x71.ppm", 97, 71, 8, 1.5},
    };
    for (const Case& c : cases) {
        PnmImage expected = read_pnm_file(fixture_path(std::string("jpeg/") + c.reference));
        ASSERT_FALSE(expected.empty());
        HGLOBAL hDst = resample_image(hSrc, c.width, c.height);
        ASSERT_NE(hDst, nullptr);
        PnmImage got = dib_to_pnm(hDst);
        GlobalFree(hDst);
        int worst = max_difference(got, expected);
        EXPECT_GE(worst, 0) << c.reference;
        EXPECT_LE(worst, c.max_limit) << c.reference;
        EXPECT_LE(mean_difference(got, expected), c.mean_limit) << c.reference;
    }
    GlobalFree(hSrc);
}
