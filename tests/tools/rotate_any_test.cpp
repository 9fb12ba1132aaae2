// Rotation by any angle and skew: quarter turns against the exact turns,
// other angles and shears against ImageMagick's distortions of the same
// picture (tests/fixtures/make_geometry.sh), every depth against its
// 24-bit twin, and the angles and sizes that must be refused.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "tools/edit_history.h"
#include "tools/quarter_turns.h"
#include "tools/crop_frame.h"
#include "tools/rotate_any.h"
#include "tools_test_util.h"

namespace {

const COLORREF BACKGROUND = RGB(200, 30, 90);

int count_mismatches(const PnmImage& a, const PnmImage& b)
{
    int n = 0;
    for (size_t i = 0; i < a.data.size(); i += 3)
        n += a.data[i] != b.data[i] || a.data[i + 1] != b.data[i + 1] || a.data[i + 2] != b.data[i + 2];
    return n;
}

struct ImageMagickCase {
    const char* fixture;
    int op;  // EDIT_ROTATE_ANGLE, EDIT_SKEW_H or EDIT_SKEW_V
    double angle;
    int smooth;
};

class AgainstImageMagick : public ::testing::TestWithParam<ImageMagickCase> {};

TEST_P(AgainstImageMagick, SizeExactPixelsClose)
{
    const ImageMagickCase& c = GetParam();
    PnmImage theirs = read_pnm_file(fixture_path(std::string("geometry/") + c.fixture + ".ppm"));
    ASSERT_GT(theirs.width, 0) << c.fixture;
    HGLOBAL h = pnm_to_dib(read_pnm_file(fixture_path("geometry/noise.ppm")));
    ASSERT_NE(h, nullptr);
    int done = c.op == EDIT_ROTATE_ANGLE ? rotate_by_angle(&h, c.angle, BACKGROUND, 0, 0, c.smooth)
                                         : skew_by_angle(&h, c.angle, BACKGROUND, 0, 0, c.smooth, c.op);
    ASSERT_EQ(done, 1);
    DibBlock result(h);
    PnmImage ours = dib_to_pnm(h, 3);
    ASSERT_EQ(ours.width, theirs.width);
    ASSERT_EQ(ours.height, theirs.height);
    if (c.smooth) {
        // Positions are taken to 1/100 pixel before interpolating.
        EXPECT_LT(mean_difference(ours, theirs), 0.6);
        EXPECT_LE(max_difference(ours, theirs), 12);
    } else {
        // Only positions within rounding of a pixel boundary may differ.
        EXPECT_LT(count_mismatches(ours, theirs), ours.width * ours.height / 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Geometry, AgainstImageMagick, ::testing::Values(
    ImageMagickCase{"rotate30_bilinear", EDIT_ROTATE_ANGLE, 30, 1},
    ImageMagickCase{"rotate200_bilinear", EDIT_ROTATE_ANGLE, 200, 1},
    ImageMagickCase{"rotate-50_nearest", EDIT_ROTATE_ANGLE, -50, 0},
    ImageMagickCase{"skewh20_bilinear", EDIT_SKEW_H, 20, 1},
    ImageMagickCase{"skewh-35_bilinear", EDIT_SKEW_H, -35, 1},
    ImageMagickCase{"skewv25_bilinear", EDIT_SKEW_V, 25, 1},
    ImageMagickCase{"skewv-15_nearest", EDIT_SKEW_V, -15, 0}));

TEST(RotateByAngle, QuarterTurnsEqualTheExactTurns)
{
    for (int bits : {4, 24}) {
        for (double angle : {90.0, 180.0, 270.0, -90.0}) {
            HGLOBAL turned = make_random_dib(13, 7, bits, 5);
            HGLOBAL exact = copy_packed_dib(turned);
            ASSERT_EQ(rotate_by_angle(&turned, angle, BACKGROUND, 1, 0, 0), 1);
            int orientation = 0;
            if (angle == 90)
                rotate_cw90(&exact, &orientation);
            else if (angle == 180)
                rotate_180(exact, &orientation);
            else
                rotate_ccw90(&exact, &orientation);
            EXPECT_EQ(dib_bit_count(turned), bits) << "palette results are compacted back";
            EXPECT_TRUE(dib_to_pnm(turned, 3).data == dib_to_pnm(exact, 3).data) << bits << " bits " << angle;
            GlobalFree(turned);
            GlobalFree(exact);
        }
    }
}

TEST(RotateByAngle, EveryDepthMatchesItsTrueColourTwin)
{
    // Black is exact at every depth: entry 0 of the tables is made black.
    const COLORREF black = RGB(0, 0, 0);
    for (int bits : {1, 4, 8, 16, 32}) {
        for (int op : {(int)EDIT_ROTATE_ANGLE, (int)EDIT_SKEW_H, (int)EDIT_SKEW_V}) {
            HGLOBAL h = make_random_dib(17, 11, bits, 9);
            if (bits <= 8) {
                DibBlock dib(h, false);
                dib.table()[0] = quad(0, 0, 0);
            }
            HGLOBAL twin = pnm_to_dib(dib_to_pnm(h, 3));
            auto apply = [&](HGLOBAL* p) {
                return op == EDIT_ROTATE_ANGLE ? rotate_by_angle(p, 33, black, 1, 0, 0)
                                               : skew_by_angle(p, 33, black, 1, 0, 0, op);
            };
            ASSERT_EQ(apply(&h), 1);
            ASSERT_EQ(apply(&twin), 1);
            EXPECT_EQ(dib_bit_count(h), bits);
            EXPECT_TRUE(dib_to_pnm(h, 3).data == dib_to_pnm(twin, 3).data) << bits << " bits, op " << op;
            GlobalFree(h);
            GlobalFree(twin);
        }
    }
}

TEST(RotateByAngle, FillsWithTheGivenOrNearestIndexAndClearAlpha)
{
    std::vector<RGBQUAD> table = {quad(0, 0, 0), quad(200, 30, 90), quad(10, 10, 10)};
    for (int given : {0, 1}) {
        HGLOBAL h = make_dib(9, 9, 8, table, 3);
        ASSERT_EQ(rotate_by_angle(&h, 45, BACKGROUND, given, 2, 0), 1);
        DibBlock dib(h);
        EXPECT_EQ(dib.raw(0, 0), given ? 2u : 1u);
    }
    HGLOBAL h = make_random_dib(9, 9, 32, 3);
    ASSERT_EQ(rotate_by_angle(&h, 45, BACKGROUND, 0, 0, 1), 1);
    DibBlock dib(h);
    EXPECT_EQ(dib.raw(0, 0), 0x00C81E5Au) << "background with alpha 0";
}

TEST(RotateByAngle, AnglesAreBroughtIntoRangeOrRefused)
{
    HGLOBAL reference = make_random_dib(6, 4, 24, 1);
    ASSERT_EQ(rotate_by_angle(&reference, 180, BACKGROUND, 0, 0, 1), 1);
    for (double angle : {540.0, -180.0, 180.0 + 360.0 * 1000}) {
        HGLOBAL h = make_random_dib(6, 4, 24, 1);
        ASSERT_EQ(rotate_by_angle(&h, angle, BACKGROUND, 0, 0, 1), 1);
        EXPECT_TRUE(same_image(h, reference)) << angle;
        GlobalFree(h);
    }
    GlobalFree(reference);
    HGLOBAL h = make_random_dib(6, 4, 24, 1);
    HGLOBAL before = copy_packed_dib(h);
    EXPECT_EQ(rotate_by_angle(&h, 1e20, BACKGROUND, 0, 0, 0), 1) << "a huge angle ends";
    GlobalFree(h);
    h = copy_packed_dib(before);
    for (double angle : {(double)NAN, (double)INFINITY, -(double)INFINITY})
        EXPECT_EQ(rotate_by_angle(&h, angle, BACKGROUND, 0, 0, 0), 0);
    for (double angle : {80.5, -85.0, (double)NAN})
        EXPECT_EQ(skew_by_angle(&h, angle, BACKGROUND, 0, 0, 0, EDIT_SKEW_H), 0);
    EXPECT_EQ(skew_by_angle(&h, 20, BACKGROUND, 0, 0, 0, 7), 0) << "unknown direction";
    EXPECT_TRUE(same_image(h, before));
    GlobalFree(before);
    GlobalFree(h);
}

TEST(RotateByAngle, AbsurdResultSizeIsRefused)
{
    // A row 40000 wide sheared upright by 80 degrees would need gigabytes.
    HGLOBAL h = create_packed_dib(40000, 1, 8, 0);
    HGLOBAL before = h;
    EXPECT_EQ(skew_by_angle(&h, 80, BACKGROUND, 0, 0, 0, EDIT_SKEW_V), 0);
    EXPECT_EQ(h, before);
    GlobalFree(h);
}

TEST(SkewByAngle, NearestShiftsEachRowByTheRoundedShift)
{
    HGLOBAL h = make_random_dib(5, 4, 8, 2);
    HGLOBAL source = copy_packed_dib(h);
    ASSERT_EQ(skew_by_angle(&h, 30, BACKGROUND, 1, 7, 0, EDIT_SKEW_H), 1);
    DibBlock out(h), in(source);
    // tan 30 x 3 = 1.73: 5 + 2 wide; row i starts at trunc(i tan 30 + 0.5).
    ASSERT_EQ(out.bih->biWidth, 7);
    const int starts[4] = {0, 1, 1, 2};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 7; ++j) {
            bool inside = j >= starts[i] && j < starts[i] + 5;
            EXPECT_EQ(out.raw(j, i), inside ? in.raw(j - starts[i], i) : 7u) << j << "," << i;
        }
}

}  // namespace
