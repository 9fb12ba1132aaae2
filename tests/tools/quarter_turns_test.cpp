// Quarter turns, flips and the orientation word at every depth and for odd
// widths; the turned photo goes to check_tools.sh (ImageMagick).
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
        for (auto wh : {std::make_pair(1, 5), std::make_pair(7, 1), std::make_pair(33, 5)})
            shapes.push_back({bits, wh.first, wh.second});
    // Large enough to be cut into tiles and bands of rows, none of them whole.
    for (int bits : {8, 16, 24, 32})
        shapes.push_back({bits, 613, 509});
    return shapes;
}

class EveryDepth : public ::testing::TestWithParam<Shape> {
protected:
    void SetUp() override
    {
        const Shape& s = GetParam();
        original = make_random_dib(s.width, s.height, s.bits, s.bits * 100 + s.width * 10 + s.height);
    }
    void TearDown() override { GlobalFree(original); }
    HGLOBAL original = NULL;
};

// Every pixel goes where the screen shows it; three more turns, a turn
// back or a second mirror give the original block: the padding stayed 0.
TEST_P(EveryDepth, TurnsAndFlipsMovePixelsWhereTheScreenShowsThem)
{
    HGLOBAL turned = copy_packed_dib(original), lr = copy_packed_dib(original), tb = copy_packed_dib(original);
    int word = 0;
    ASSERT_EQ(1, rotate_cw90(&turned, &word));
    ASSERT_EQ(1, flip_left_right(lr, &word));
    ASSERT_EQ(1, flip_top_bottom(tb, &word));
    {
        DibBlock s(original, false), d(turned, false), a(lr, false), b(tb, false);
        int w = s.bih->biWidth, h = s.bih->biHeight;
        ASSERT_EQ(d.bih->biWidth * 1000 + d.bih->biHeight, h * 1000 + w);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(s.raw(x, y), d.raw(y, w - 1 - x)) << "turn " << x << "," << y;
                ASSERT_EQ(s.raw(x, y), a.raw(w - 1 - x, y)) << "mirror " << x << "," << y;
                ASSERT_EQ(s.raw(x, y), b.raw(x, h - 1 - y)) << "flip " << x << "," << y;
            }
    }
    HGLOBAL back = copy_packed_dib(turned);
    ASSERT_EQ(1, rotate_ccw90(&back, &word));
    EXPECT_TRUE(same_image(original, back));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(1, rotate_cw90(&turned, &word));
    EXPECT_TRUE(same_image(original, turned));
    ASSERT_EQ(1, flip_left_right(lr, &word));
    EXPECT_TRUE(same_image(original, lr));
    for (HGLOBAL h : {turned, lr, tb, back})
        GlobalFree(h);
}

// Quarter turns then an optional mirror reach all eight states; the
// normaliser brings each back, and bit 3 of the word survives.
TEST_P(EveryDepth, NormalizeUndoesEveryState)
{
    for (int s = 0; s < 8; ++s) {
        HGLOBAL h = copy_packed_dib(original);
        int word = 8;
        int turns = s % 2 ? (1 - s + 8) % 8 / 2 : s / 2;
        for (int k = 0; k < turns; ++k)
            ASSERT_EQ(1, rotate_cw90(&h, &word));
        if (s % 2) {
            ASSERT_EQ(1, flip_left_right(h, &word));
        }
        ASSERT_EQ(8 + s, word);
        apply_orientation_normalize(&h, &word);
        EXPECT_EQ(8, word) << "state " << s;
        EXPECT_TRUE(same_image(original, h)) << "state " << s;
        GlobalFree(h);
    }
}

INSTANTIATE_TEST_SUITE_P(QuarterTurns, EveryDepth, ::testing::ValuesIn(all_shapes()),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                             return std::to_string(info.param.bits) + "bit_" + std::to_string(info.param.width) +
                                    "x" + std::to_string(info.param.height);
                         });

TEST(QuarterTurns, DamagedImagesAreRefusedUntouched)
{
    HGLOBAL h = make_random_dib(4, 4, 8, 3), before = h;
    DibBlock(h, false).bih->biHeight = 4000;  // rows past the block
    int word = 3;
    EXPECT_EQ(0, rotate_ccw90(&h, &word));
    EXPECT_EQ(0, flip_top_bottom(h, &word));
    EXPECT_EQ(before, h);
    EXPECT_EQ(3, word);
    GlobalFree(h);
}

TEST(QuarterTurns, PhotoTurnedForTheIndependentCheck)
{
    HGLOBAL h = pnm_to_dib(read_pnm_file(fixture_path("tools/photo.ppm")));
    int word = 0;
    ASSERT_EQ(1, rotate_cw90(&h, &word));
    ASSERT_TRUE(write_pnm_file(test_out_path("photo_cw90.ppm"), dib_to_pnm(h, 3)));
    ASSERT_EQ(1, flip_top_bottom(h, &word));
    ASSERT_TRUE(write_pnm_file(test_out_path("photo_cw90_flip.ppm"), dib_to_pnm(h, 3)));
    GlobalFree(h);
}

}  // namespace
