// Resizing and resampling: a smooth picture against ImageMagick's Box and
// Lagrange filters, the ends of an enlargement, nearest-pixel packed depths.
#include <algorithm>
#include <string>
#include <vector>

#include "tools/resample.h"
#include "tools_test_util.h"

namespace {

// An image whose rows (top-down here) are given as bytes; 8 bits get a
// grey table.
HGLOBAL make_image(int width, int height, int bits, const std::vector<std::vector<int>>& rows_top_down)
{
    HGLOBAL h = create_packed_dib(width, height, bits, 0);
    DibBlock dib(h, false);
    for (int i = 0; bits == 8 && i < 256; ++i)
        dib.table()[i] = quad((BYTE)i, (BYTE)i, (BYTE)i);
    for (int y = 0; y < height; ++y)
        std::copy(rows_top_down[y].begin(), rows_top_down[y].end(), dib.row(height - 1 - y));
    return h;
}

// The first count bytes of row y (top-down).
std::vector<int> row_of(const DibBlock& dib, int y, size_t count)
{
    const BYTE* row = dib.row(dib.bih->biHeight - 1 - y);
    return std::vector<int>(row, row + count);
}

}  // namespace

// Enlarging keeps the ends exactly and a constant row constant (a cubic
// that overshoots would not); a one-pixel-wide image repeats its pixel.
TEST(Resample, EnlargeKeepsEndsAndConstantRows)
{
    DibBlock rows(make_image(5, 3, 8, {{9, 80, 33, 200, 17}, {50, 50, 50, 50, 50}, {1, 2, 3, 4, 5}}));
    DibBlock out(resample_image(rows.get(), 13, 3));
    ASSERT_TRUE(out);
    std::vector<int> top = row_of(out, 0, 13);
    EXPECT_EQ(top.front(), 9);
    EXPECT_EQ(top.back(), 17);
    EXPECT_EQ(row_of(out, 1, 13), std::vector<int>(13, 50));

    DibBlock narrow(make_image(1, 2, 24, {{1, 2, 3}, {4, 5, 6}})), repeated(resample_image(narrow.get(), 4, 2));
    ASSERT_TRUE(repeated);
    EXPECT_EQ(row_of(repeated, 1, 12), (std::vector<int>{4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6}));
}

TEST(Resample, SameSizeIsAnExactCopy)
{
    DibBlock src(make_random_dib(5, 3, 32, 11)), dst(resample_image(src.get(), 5, 3));
    ASSERT_TRUE(dst);
    EXPECT_TRUE(dib_to_pnm(src.get(), 4).data == dib_to_pnm(dst.get(), 4).data);
}

TEST(Resample, NearestKeepsPaletteIndicesAndPadding)
{
    // 1 bit, 5 wide -> 11 wide: source columns 0,0,0,1,1,2,2,3,3,4,4 of
    // 1,0,1,0,1; the padding bits of each row stay 0.
    DibBlock bits1(make_image(5, 2, 1, {{0xA8}, {0xF8}})), wide(resize_nearest(bits1.get(), 11, 3));
    ASSERT_TRUE(wide);
    EXPECT_EQ(row_of(wide, 0, 2), (std::vector<int>{0xE6, 0x60}));
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(row_of(wide, y, 4)[1] & 0x1F, 0);

    // 4 bits: nibbles follow their columns.
    DibBlock bits4(make_image(3, 1, 4, {{0x12, 0x30}})), wide4(resize_nearest(bits4.get(), 6, 1));
    ASSERT_TRUE(wide4);
    EXPECT_EQ(row_of(wide4, 0, 3), (std::vector<int>{0x11, 0x22, 0x33}));
}

// A smooth picture resized here and by ImageMagick: the same geometry up to
// where each puts its sample positions, so a few levels apart at most.
TEST(Resample, AgreesWithImageMagickOnASmoothPicture)
{
    PnmImage smooth = read_pnm_file(fixture_path("jpeg/smooth.ppm"));
    ASSERT_FALSE(smooth.empty());
    DibBlock src(pnm_to_dib(smooth));
    const struct {
        const char* reference;
        int width, height, max_limit;
        double mean_limit;
    } cases[] = {
        {"box_20x15.ppm", 20, 15, 1, 0.6},
        {"box_27x19.ppm", 27, 19, 8, 1.5},
        {"lagrange_97x71.ppm", 97, 71, 8, 1.5},
    };
    for (const auto& c : cases) {
        PnmImage expected = read_pnm_file(fixture_path(std::string("jpeg/") + c.reference));
        DibBlock dst(resample_image(src.get(), c.width, c.height));
        ASSERT_TRUE(dst && !expected.empty()) << c.reference;
        PnmImage got = dib_to_pnm(dst.get());
        int worst = max_difference(got, expected);
        EXPECT_GE(worst, 0) << c.reference;
        EXPECT_LE(worst, c.max_limit) << c.reference;
        EXPECT_LE(mean_difference(got, expected), c.mean_limit) << c.reference;
    }
}
