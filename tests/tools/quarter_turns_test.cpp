// Quarter turns, flips and the orientation word, at every depth and for odd
// widths; the turned photo is also written for check_tools.sh, which
// compares it with ImageMagick's own rotation.
#include <gtest/gtest.h>

#include "tools/quarter_turns.h"
#include "tools_test_util.h"

namespace {

struct Shape {
    int bits, width, height;
};

std::vector<Shape> all_shapes()
{
    std::vector<Shape> shapes;
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (auto wh : {std::make_pair(1, 5), std::make_pair(7, 1), std::make_pair(13, 7),
                        std::make_pair(33, 5)})
            shapes.push_back({bits, wh.first, wh.second});
    return shapes;
}

class EveryDepth : public ::testing::TestWithParam<Shape> {
protected:
    void SetUp() override
    {
        const Shape& s = GetParam();
        original = make_random_dib(s.width, s.height, s.bits, s.bits * 100 + s.width * 10 + s.height);
        image = copy_packed_dib(original);
        ASSERT_TRUE(original && image);
    }
    void TearDown() override
    {
        GlobalFree(original);
        GlobalFree(image);
    }
    HGLOBAL original = NULL;
    HGLOBAL image = NULL;
};

std::string shape_name(const ::testing::TestParamInfo<Shape>& info)
{
    return std::to_string(info.param.bits) + "bit_" + std::to_string(info.param.width) + "x"
         + std::to_string(info.param.height);
}

// dst(row, col) = src(y, x) with rows from the bottom, for every pixel.
void expect_mapping(HGLOBAL src, HGLOBAL dst, bool clockwise)
{
    DibBlock s(src, false), d(dst, false);
    int w = s.bih->biWidth, h = s.bih->biHeight;
    ASSERT_EQ(h, d.bih->biWidth);
    ASSERT_EQ(w, d.bih->biHeight);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int row = clockwise ? w - 1 - x : x;
            int col = clockwise ? y : h - 1 - y;
            ASSERT_EQ(s.raw(x, y), d.raw(col, row)) << "x " << x << " y " << y;
        }
}

}  // namespace

TEST_P(EveryDepth, QuarterTurnsMovePixelsWhereTheScreenShowsThem)
{
    int word = 0;
    ASSERT_EQ(1, rotate_cw90(&image, &word));
    expect_mapping(original, image, true);
    HGLOBAL back = copy_packed_dib(original);
    ASSERT_EQ(1, rotate_ccw90(&back, &word));
    expect_mapping(original, back, false);
    GlobalFree(back);
    // Three more turns give the original block back: row padding stayed 0.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(1, rotate_cw90(&image, &word));
    EXPECT_TRUE(same_block(original, image));
}

TEST_P(EveryDepth, FlipsMirrorEveryPixel)
{
    HGLOBAL lr = copy_packed_dib(original), tb = copy_packed_dib(original);
    int word = 0;
    ASSERT_EQ(1, flip_left_right(lr, &word));
    ASSERT_EQ(1, flip_top_bottom(tb, &word));
    {
        DibBlock s(original, false), a(lr, false), b(tb, false);
        int w = s.bih->biWidth, h = s.bih->biHeight;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(s.raw(x, y), a.raw(w - 1 - x, y));
                ASSERT_EQ(s.raw(x, y), b.raw(x, h - 1 - y));
            }
    }
    // Bits past the width of a mirrored row stay 0.
    HGLOBAL again = copy_packed_dib(lr);
    ASSERT_EQ(1, flip_left_right(again, &word));
    ASSERT_EQ(1, flip_left_right(again, &word));
    EXPECT_TRUE(same_block(lr, again));
    GlobalFree(again);
    GlobalFree(lr);
    GlobalFree(tb);
}

TEST_P(EveryDepth, NormalizeUndoesEveryState)
{
    // Quarter turns then an optional mirror reach all eight states; the
    // normaliser must bring each back to the original picture.
    for (int s = 0; s < 8; ++s) {
        HGLOBAL h = copy_packed_dib(original);
        int word = 8;  // bit 3 must survive
        int turns = s % 2 ? (1 - s + 8) % 8 / 2 : s / 2;
        for (int k = 0; k < turns; ++k)
            ASSERT_EQ(1, rotate_cw90(&h, &word));
        if (s % 2) {
            ASSERT_EQ(1, flip_left_right(h, &word));
        }
        ASSERT_EQ(8 + s, word);
        apply_orientation_normalize(&h, &word);
        EXPECT_EQ(8, word) << "state " << s;
        EXPECT_TRUE(same_block(original, h)) << "state " << s;
        GlobalFree(h);
    }
}

INSTANTIATE_TEST_SUITE_P(QuarterTurns, EveryDepth, ::testing::ValuesIn(all_shapes()), shape_name);

TEST(QuarterTurns, NullOrDamagedImagesAreRefusedUntouched)
{
    HGLOBAL none = NULL;
    int word = 3;
    EXPECT_EQ(0, rotate_cw90(&none, &word));
    EXPECT_EQ(0, flip_left_right(NULL, &word));
    EXPECT_EQ(3, word);
    HGLOBAL h = make_random_dib(4, 4, 8, 3);
    {
        DibBlock d(h, false);
        d.bih->biHeight = 4000;  // rows past the block
    }
    HGLOBAL before = h;
    EXPECT_EQ(0, rotate_ccw90(&h, &word));
    EXPECT_EQ(0, flip_top_bottom(h, &word));
    EXPECT_EQ(before, h);
    EXPECT_EQ(3, word);
    GlobalFree(h);
}

TEST(QuarterTurns, PhotoTurnedForTheIndependentCheck)
{
    PnmImage photo = read_pnm_file(fixture_path("tools/photo.ppm"));
    ASSERT_GT(photo.width, 0);
    HGLOBAL h = pnm_to_dib(photo);
    int word = 0;
    ASSERT_EQ(1, rotate_cw90(&h, &word));
    ASSERT_TRUE(write_pnm_file(test_out_path("photo_cw90.ppm"), dib_to_pnm(h, 3)));
    ASSERT_EQ(1, flip_top_bottom(h, &word));
    ASSERT_TRUE(write_pnm_file(test_out_path("photo_cw90_flip.ppm"), dib_to_pnm(h, 3)));
    GlobalFree(h);
}
