// Rotation by any angle and skew against ImageMagick's distortions of the
// same picture, every depth against its 24-bit twin, the refused angles.
#include <cmath>
#include <string>

#include "support/seam_recorder.h"
#include "tools/rotate_any.h"
#include "tools_test_util.h"

namespace {

const COLORREF BACKGROUND = RGB(200, 30, 90);

int apply(HGLOBAL* h, int op, double angle, COLORREF background, int smooth)
{
    return op == EDIT_ROTATE_ANGLE ? rotate_by_angle(h, angle, background, 1, 0, smooth)
                                   : skew_by_angle(h, angle, background, 0, 0, smooth, op);
}

struct ImageMagickCase {
    const char* fixture;
    int op;
    double angle;
    int smooth;
};

class AgainstImageMagick : public ::testing::TestWithParam<ImageMagickCase> {};

TEST_P(AgainstImageMagick, SizeExactPixelsClose)
{
    const ImageMagickCase& c = GetParam();
    PnmImage theirs = read_pnm_file(fixture_path(std::string("geometry/") + c.fixture + ".ppm"));
    HGLOBAL h = pnm_to_dib(read_pnm_file(fixture_path("geometry/noise.ppm")));
    ASSERT_EQ(apply(&h, c.op, c.angle, BACKGROUND, c.smooth), 1);
    PnmImage ours = dib_to_pnm(h, 3);
    GlobalFree(h);
    ASSERT_EQ(ours.width * 1000 + ours.height, theirs.width * 1000 + theirs.height) << c.fixture;
    if (c.smooth) {
        // Positions are taken to 1/100 pixel before interpolating.
        EXPECT_LT(mean_difference(ours, theirs), 0.6);
        EXPECT_LE(max_difference(ours, theirs), 12);
        return;
    }
    // Only positions within rounding of a pixel boundary may differ.
    int differing = 0;
    for (size_t i = 0; i < ours.data.size(); i += 3)
        differing += memcmp(&ours.data[i], &theirs.data[i], 3) != 0;
    EXPECT_LT(differing, ours.width * ours.height / 100);
}

INSTANTIATE_TEST_SUITE_P(Geometry, AgainstImageMagick, ::testing::Values(
    ImageMagickCase{"rotate30_bilinear", EDIT_ROTATE_ANGLE, 30, 1},
    ImageMagickCase{"rotate-50_nearest", EDIT_ROTATE_ANGLE, -50, 0},
    ImageMagickCase{"skewh20_bilinear", EDIT_SKEW_H, 20, 1},
    ImageMagickCase{"skewh-35_bilinear", EDIT_SKEW_H, -35, 1},
    ImageMagickCase{"skewv25_bilinear", EDIT_SKEW_V, 25, 1},
    ImageMagickCase{"skewv-15_nearest", EDIT_SKEW_V, -15, 0}));

TEST(RotateByAngle, EveryDepthMatchesItsTrueColourTwin)
{
    // Black is exact at every depth; entry 0 of the tables is made black.
    for (int bits : {1, 4, 8, 16, 32})
        for (int op : {(int)EDIT_ROTATE_ANGLE, (int)EDIT_SKEW_H, (int)EDIT_SKEW_V}) {
            HGLOBAL h = make_random_dib(17, 11, bits, 9);
            if (bits <= 8)
                DibBlock(h, false).table()[0] = quad(0, 0, 0);
            HGLOBAL twin = pnm_to_dib(dib_to_pnm(h, 3));
            ASSERT_EQ(apply(&h, op, 33, RGB(0, 0, 0), 0) + apply(&twin, op, 33, RGB(0, 0, 0), 0), 2);
            EXPECT_EQ(dib_bit_count(h), bits) << "palette results are compacted back";
            EXPECT_TRUE(dib_to_pnm(h, 3).data == dib_to_pnm(twin, 3).data) << bits << " bits, op " << op;
            GlobalFree(h);
            GlobalFree(twin);
        }
}

TEST(RotateByAngle, FillsWithTheGivenOrNearestIndexAndClearAlpha)
{
    for (int given : {0, 1}) {
        HGLOBAL h = make_dib(9, 9, 8, {quad(0, 0, 0), quad(200, 30, 90), quad(10, 10, 10)}, 3);
        ASSERT_EQ(rotate_by_angle(&h, 45, BACKGROUND, given, 2, 0), 1);
        EXPECT_EQ(DibBlock(h).raw(0, 0), given ? 2u : 1u);
    }
    HGLOBAL h = make_random_dib(9, 9, 32, 3);
    ASSERT_EQ(rotate_by_angle(&h, 45, BACKGROUND, 0, 0, 1), 1);
    EXPECT_EQ(DibBlock(h).raw(0, 0), 0x00C81E5Au) << "background with alpha 0";
}

TEST(RotateByAngle, HugeAnglesEndAndRefusedOnesChangeNothing)
{
    HGLOBAL h = make_random_dib(6, 4, 24, 1);
    ASSERT_EQ(rotate_by_angle(&h, 1e20, BACKGROUND, 0, 0, 0), 1);
    HGLOBAL before = h;
    const double inf = INFINITY, nan = NAN;
    for (double angle : {nan, inf, -inf})
        EXPECT_EQ(rotate_by_angle(&h, angle, BACKGROUND, 0, 0, 0), 0);
    for (double angle : {80.5, -85.0, 350.0, nan})
        EXPECT_EQ(skew_by_angle(&h, angle, BACKGROUND, 0, 0, 0, EDIT_SKEW_H), 0) << angle;
    EXPECT_EQ(skew_by_angle(&h, 20, BACKGROUND, 0, 0, 0, 7), 0) << "unknown direction";
    EXPECT_EQ(h, before);
    GlobalFree(h);
    // A row 40000 wide sheared upright by 80 degrees, or a strip 200000
    // wide turned by 45, would need gigabytes: refused with the tools'
    // message, the picture as it was.
    SeamRecorder recorder;
    h = create_packed_dib(40000, 1, 8, 0);
    EXPECT_EQ(skew_by_angle(&h, 80, BACKGROUND, 0, 0, 0, EDIT_SKEW_V), 0);
    GlobalFree(h);
    h = create_packed_dib(200000, 8, 1, 2);
    EXPECT_EQ(rotate_by_angle(&h, 45, BACKGROUND, 0, 0, 1), 0);
    EXPECT_EQ(dib_bit_count(h), 1);
    GlobalFree(h);
    ASSERT_EQ(recorder.boxes.size(), 2u);
    for (const RecordedBox& box : recorder.boxes)
        EXPECT_EQ(box.text, "Insufficient Memory for this Operation.");
}

// The interior fast paths and the row bands worked on the machine's cores
// must give exactly what the per-pixel sampler gave: these digests were
// taken from it. The picture is large enough to be split into bands.
struct DigestCase {
    int bits, op;
    double angle;
    int smooth;
    uint32_t digest;
};

class ExactResult : public ::testing::TestWithParam<DigestCase> {};

TEST_P(ExactResult, SameBytesAsThePerPixelSampler)
{
    const DigestCase& c = GetParam();
    HGLOBAL h = make_random_dib(613, 409, c.bits, 77);
    if (c.bits <= 8) {
        // Smooth sampling interpolates indices: give it an ordered ramp.
        DibBlock dib(h, false);
        for (uint32_t i = 0; i < dib_color_count(dib.bih); ++i)
            dib.table()[i] = quad((BYTE)i, (BYTE)i, (BYTE)i);
    }
    ASSERT_EQ(apply(&h, c.op, c.angle, BACKGROUND, c.smooth), 1);
    DibBlock dib(h, false);
    const size_t size = dib_pixel_offset(dib.bih)
                      + (size_t)dib_row_stride(dib.bih->biWidth, dib.bih->biBitCount) * dib.bih->biHeight;
    uint32_t digest = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        digest = (digest ^ ((const BYTE*)dib.bih)[i]) * 16777619u;
    EXPECT_EQ(digest, c.digest) << std::hex << digest;
    GlobalFree(h);
}

INSTANTIATE_TEST_SUITE_P(Geometry, ExactResult, ::testing::Values(
    DigestCase{24, EDIT_ROTATE_ANGLE, 30, 1, 0x43B40FC2},
    DigestCase{24, EDIT_ROTATE_ANGLE, -137.3, 1, 0x55597628},
    DigestCase{24, EDIT_ROTATE_ANGLE, 0.7, 1, 0x7ED8882F},
    DigestCase{24, EDIT_ROTATE_ANGLE, 30, 0, 0x4B2B096C},
    DigestCase{32, EDIT_ROTATE_ANGLE, 61, 1, 0xA7DA78B4},
    DigestCase{16, EDIT_ROTATE_ANGLE, 30, 1, 0x34F6F5BF},
    DigestCase{8, EDIT_ROTATE_ANGLE, -30, 1, 0x619F27EB},
    DigestCase{8, EDIT_ROTATE_ANGLE, 45, 0, 0xC41E9943},
    DigestCase{4, EDIT_ROTATE_ANGLE, 10, 0, 0xCCFC4816},
    DigestCase{1, EDIT_ROTATE_ANGLE, 100, 0, 0x1320D6E1},
    DigestCase{24, EDIT_SKEW_H, 20, 1, 0x13874BCF},
    DigestCase{24, EDIT_SKEW_H, -35, 1, 0x7658161F},
    DigestCase{32, EDIT_SKEW_H, 20, 1, 0x5B6B428D},
    DigestCase{24, EDIT_SKEW_H, 20, 0, 0xBE8220CE},
    DigestCase{24, EDIT_SKEW_V, 25, 1, 0x7D6BFB27},
    DigestCase{24, EDIT_SKEW_V, -15, 0, 0xEBA6BDF1},
    DigestCase{16, EDIT_SKEW_V, 25, 1, 0x50508DE4},
    DigestCase{8, EDIT_SKEW_H, 33, 1, 0x9F6C7AB0},
    DigestCase{4, EDIT_SKEW_V, -40, 0, 0x19EFC014}));

}  // namespace
