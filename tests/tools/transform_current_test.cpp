// Resize, rotation and skew of the current image: the road each kind of
// image takes, the conversion code left, the beep of a smooth resample.
#include "image/palette.h"
#include "tools/quarter_turns.h"
#include "tools/transform_current.h"
#include "tools_test_util.h"

namespace {

enum Palette { COLOURED, GREY, TRUE_COLOUR };

HGLOBAL make_picture(Palette palette)
{
    HGLOBAL h = make_random_dib(24, 16, palette == TRUE_COLOUR ? 24 : 4, 7);
    for (int i = 0; i < 16 && palette == GREY; ++i)
        DibBlock(h, false).table()[i] = quad((BYTE)(i * 17), (BYTE)(i * 17), (BYTE)(i * 17));
    return h;
}

struct RoadCase {
    Palette palette;
    int code;
    bool transparency;
    bool is_unconverted;  // the handle worked on is the unconverted copy
    int display_bits, mode;
    double angle;
    int want_bits, want_code;
    bool want_beep;
};

class RotateSkewRoad : public ::testing::TestWithParam<RoadCase> {};

TEST_P(RotateSkewRoad, KeepsThePaletteKind)
{
    const RoadCase& c = GetParam();
    SeamRecorder seams(c.display_bits);
    reset_current_image();
    g_imageKind = KIND_DIB;
    g_hasTransparency = c.transparency;
    g_transparentIndex = 5;
    g_rotateAngle = c.angle;
    HGLOBAL h = make_picture(c.palette);
    g_hImageUnconverted = c.is_unconverted ? h : NULL;
    int code = c.code, step = 0;
    EXPECT_EQ(rotate_skew_current_image(&h, &code, &step, NULL, RGB(0, 0, 0), c.mode), 1);
    g_hImageUnconverted = NULL;
    DibBlock out(h);
    EXPECT_EQ(out.bih->biBitCount, c.want_bits);
    EXPECT_EQ(code, c.want_code);
    EXPECT_EQ(seams.beeps.size(), c.want_beep ? 1u : 0u);
    EXPECT_GT(out.bih->biWidth * out.bih->biHeight, 24 * 16) << "turned or sheared";
    EXPECT_TRUE(!c.transparency || out.raw(0, 0) == 5u) << "new corners are the transparent index";
    EXPECT_TRUE(c.palette != GREY || c.want_bits != 8 || is_grey8_ramp(h));
    reset_current_image();
}

INSTANTIATE_TEST_SUITE_P(TransformCurrent, RotateSkewRoad, ::testing::Values(
    RoadCase{COLOURED, 0, false, false, 32, EDIT_ROTATE_ANGLE, 30, 24, 0, true},
    RoadCase{COLOURED, 0, false, false, 8, EDIT_ROTATE_ANGLE, 30, 8, 0, true},   // reduced again
    RoadCase{COLOURED, 0, false, false, 4, EDIT_SKEW_V, 30, 8, 0, true},         // standard palette
    RoadCase{COLOURED, 0, true, false, 32, EDIT_ROTATE_ANGLE, 30, 4, 0, false},  // transparent: exact
    RoadCase{GREY, CONV_MONOCHROME, false, false, 32, EDIT_ROTATE_ANGLE, 10, 8, CONV_GREYSCALE, true},
    RoadCase{GREY, CONV_BEST_64, false, false, 32, EDIT_SKEW_H, 20, 8, CONV_BEST_256, true},
    RoadCase{COLOURED, CONV_BEST_16, false, false, 32, EDIT_ROTATE_ANGLE, 30, 4, CONV_BEST_16, false},
    RoadCase{COLOURED, CONV_BEST_16, false, true, 32, EDIT_ROTATE_ANGLE, 30, 24, CONV_BEST_16, true},
    RoadCase{COLOURED, 0, false, false, 32, EDIT_SKEW_H, 45, 4, 0, false},
    RoadCase{COLOURED, 0, false, false, 32, EDIT_SKEW_H, -45, 24, 0, true},
    RoadCase{TRUE_COLOUR, 0, false, false, 32, EDIT_ROTATE_ANGLE, 30, 24, 0, true}));

// Quarter turns are the exact turns, counted once in the orientation word;
// refusals change nothing.
TEST(RotateSkewCurrent, QuarterTurnsCountOnceRefusalsConvertNothing)
{
    SeamRecorder seams(32);
    reset_current_image();
    g_imageKind = KIND_DIB;
    const struct {
        int mode;
        double angle;
        bool is_unconverted;
        int want_width;
        bool want_turn_counted;
        int want_done;
    } cases[] = {{EDIT_ROTATE_ANGLE, 0, false, 24, false, 1}, {EDIT_ROTATE_ANGLE, 90, false, 16, true, 1},
                 {EDIT_ROTATE_ANGLE, 270, true, 16, false, 1}, {EDIT_ROTATE_ANGLE, 180, false, 24, true, 1},
                 {EDIT_ROTATE_ANGLE, NAN, false, 24, false, 0}, {EDIT_SKEW_V, 81, false, 24, false, 0},
                 {EDIT_SKEW_H, -350, false, 24, false, 0}, {EDIT_SKEW_H + 5, 20, false, 24, false, 0}};
    for (const auto& c : cases) {
        g_imageOrientation = 0;
        g_rotateAngle = c.angle;
        HGLOBAL h = make_picture(COLOURED), exact = make_picture(COLOURED);
        int word = 0;
        if (c.angle == 90 || c.angle == 270)
            (c.angle == 90 ? rotate_cw90 : rotate_ccw90)(&exact, &word);
        else if (c.angle == 180)
            rotate_180(exact, &word);
        g_hImageUnconverted = c.is_unconverted ? h : NULL;
        int code = 0, step = 0;
        EXPECT_EQ(rotate_skew_current_image(&h, &code, &step, NULL, 0, c.mode), c.want_done) << c.angle;
        g_hImageUnconverted = NULL;
        DibBlock out(h);
        EXPECT_EQ(out.bih->biWidth * 100 + out.bih->biBitCount, c.want_width * 100 + 4) << c.angle;
        EXPECT_EQ(g_imageOrientation != 0, c.want_turn_counted) << c.angle;
        EXPECT_TRUE(dib_to_pnm(h, 3).data == dib_to_pnm(exact, 3).data) << c.angle;
        GlobalFree(exact);
    }
    EXPECT_TRUE(seams.beeps.empty());
    reset_current_image();
}

TEST(ResizeCurrent, NearestOrSmoothBySizeAndDepth)
{
    const struct {
        Palette palette;
        int width, height, disable_spline;
        bool want_beep;
    } cases[] = {
        {TRUE_COLOUR, 24, 16, 0, true}, {TRUE_COLOUR, 7, 7, 0, false}, {TRUE_COLOUR, 30, 10, 1, false},
        {COLOURED, 24, 16, 0, false}, {COLOURED, 48, 32, 0, true},
    };
    for (const auto& c : cases) {
        SeamRecorder seams(32);
        reset_current_image();
        g_imageKind = KIND_DIB;
        // The driver may replace h by a working copy: the test frees h.
        HGLOBAL h = make_picture(c.palette);
        int code = 0, step = 0;
        DibBlock out(resize_current_image(&h, c.width, c.height, &code, &step, NULL, c.disable_spline));
        ASSERT_EQ(out.bih->biWidth * 100 + out.bih->biHeight, c.width * 100 + c.height);
        EXPECT_EQ(seams.beeps.size(), c.want_beep ? 1u : 0u) << c.width << "x" << c.height;
        EXPECT_EQ(resize_current_image(&h, 0, 5, &code, &step, NULL, 0), nullptr);
        GlobalFree(h);
    }
    reset_current_image();
}

}  // namespace
