// What the end-to-end full-screen test does not reach: the scroll bars of
// pictures larger than the screen, red-eye bands and clicks at and past the
// picture's edges, the greying at 16 and 32 bits, and the STRETCH refusals.
#include <gtest/gtest.h>

#include <string>

#include "viewer/full_window.h"
#include "viewer/stretch_dialog.h"

namespace {

TEST(FullScreenBars, ABarWhereTheImageExceedsTheScreenAndBothWhereOneWouldHideIt)
{
    const int V = FULL_BAR_VERTICAL, H = FULL_BAR_HORIZONTAL;
    struct Case {
        const char* what;
        int iw, ih, bars, range_x, range_y;
    } cases[] = {
        {"fits", 1280, 1024, 0, -1, -1},
        {"taller", 1000, 1500, V, -1, 476},
        {"taller, too wide for the bar", 1270, 1500, V | H, 6, 492},
        {"wider", 2000, 800, H, 720, -1},
        // The horizontal bar would cover the last rows.
        {"one pixel wider, as high", 1281, 1024, V | H, 17, 16},
    };
    for (const Case& c : cases) {
        int range_x = -1, range_y = -1;
        EXPECT_EQ(full_screen_bars(c.iw, c.ih, 1280, 1024, 16, 16, &range_x, &range_y), c.bars) << c.what;
        EXPECT_EQ(range_x, c.range_x) << c.what;
        EXPECT_EQ(range_y, c.range_y) << c.what;
    }
}

TEST(RedEyeArea, BandIsMappedToImagePixelsAndCutToTheImage)
{
    const RECT drawn = {100, 50, 300, 150};  // a 400 x 200 image shown at half size
    struct Case {
        const char* what;
        int left, top, width, height;
        int found;
        RECT area;
    } cases[] = {
        {"over the right and bottom edges", 290, 140, 30, 30, 1, {380, 180, 400, 200}},
        {"left of and above the image", 90, 40, 20, 20, 1, {0, 0, 20, 20}},
        {"wholly right of the image", 301, 60, 10, 10, 0, {}},
        {"wholly above the image", 120, 20, 10, 10, 0, {}},
    };
    for (const Case& c : cases) {
        RECT area = {};
        EXPECT_EQ(red_eye_area(c.left, c.top, c.width, c.height, &drawn, 400, 200, &area), c.found) << c.what;
        EXPECT_TRUE(EqualRect(&area, &c.area)) << c.what;  // left empty when none is found
    }
    const RECT empty = {10, 10, 10, 10};
    RECT area;
    EXPECT_EQ(red_eye_area(10, 10, 5, 5, &empty, 400, 200, &area), 0) << "nothing drawn";
}

TEST(RedEyeArea, ClickOnTheEnlargedAreaFindsItsPixel)
{
    // A 10 x 5 area on a 1280 x 1024 screen is drawn 80 x 40 at (600, 492).
    struct Case {
        int x, y, w, h;
        int found, px, py;
    } cases[] = {
        {679, 531, 10, 5, 1, 9, 4}, {599, 492, 10, 5, 0, 0, 0}, {680, 500, 10, 5, 0, 0, 0},
        {600, 532, 10, 5, 0, 0, 0},
        // 200 pixels wide overflow the screen: every column maps to a pixel.
        {0, 492, 200, 5, 1, 20, 0}, {1279, 492, 200, 5, 1, 179, 0},
    };
    for (const Case& c : cases) {
        int px = 0, py = 0;  // left alone when no pixel is found
        EXPECT_EQ(red_eye_pixel_at(c.x, c.y, 1280, 1024, c.w, c.h, &px, &py), c.found) << c.x << "," << c.y;
        EXPECT_EQ(px, c.px) << c.x << "," << c.y;
        EXPECT_EQ(py, c.py) << c.x << "," << c.y;
    }
}

TEST(RedEyeMark, ReddishPixelsBecomeADarkerGreyAndGreyOnesStay)
{
    struct Case {
        const char* what;
        int bits;
        BYTE before[4];
        int changed;
        BYTE after[4];
    } cases[] = {
        // Lightness 0.5 raised to 2^0.2: 0.4510.
        {"red, 32 bits keeps alpha", 32, {0, 0, 255, 77}, 1, {115, 115, 115, 77}},
        {"grey stays", 24, {90, 90, 90}, 0, {90, 90, 90}},
        // 5-5-5 red 31: lightness 0.5, 31 * 0.4510 = 13 on every field.
        {"red, 16 bits", 16, {0x00, 0x7C}, 1, {0xAD, 0x35}},
    };
    for (const Case& c : cases) {
        BYTE pixel[4];
        memcpy(pixel, c.before, sizeof pixel);
        EXPECT_EQ(grey_red_eye_pixel(pixel, c.bits), c.changed) << c.what;
        EXPECT_EQ(memcmp(pixel, c.after, c.bits / 8), 0) << c.what;
    }
}

TEST(StretchSize, DerivedSidesAndRefusals)
{
    struct Case {
        int mode, w, h, typed_w, typed_h;
        const char* refusal;
        int W, H;
    } cases[] = {
        {STRETCH_KEEP_HEIGHT, 1000, 600, 0, 301, nullptr, 501, 301},
        {STRETCH_KEEP_WIDTH, 1000, 600, 0, 0, "Error: WIDTH must have non-zero value.", 0, 0},
        {STRETCH_KEEP_HEIGHT, 1000, 600, 0, 0, "Error: HEIGHT must have non-zero value.", 0, 0},
        {STRETCH_BOTH, 1000, 600, 10, 0, "Error: Both WIDTH and HEIGHT must have non-zero values.", 0, 0},
        // A derived side of 0 is never asked of the resize.
        {STRETCH_KEEP_WIDTH, 1000, 1, 1, 0, "Error: Both WIDTH and HEIGHT must have non-zero values.", 0, 0},
        {STRETCH_BOTH, 10, 10, 100000, 100000, "Insufficient Memory for this Operation.", 0, 0},
        {STRETCH_BOTH, 10, 10, 300000, 1, "Insufficient Memory for this Operation.", 0, 0},
    };
    for (const Case& c : cases) {
        int W = 0, H = 0;  // left alone on a refusal
        const char* refusal = stretch_size(c.mode, c.w, c.h, c.typed_w, c.typed_h, &W, &H);
        EXPECT_EQ(std::string(refusal ? refusal : ""), std::string(c.refusal ? c.refusal : ""))
            << c.mode << " " << c.typed_w << "x" << c.typed_h;
        EXPECT_EQ(W, c.W) << c.mode << " " << c.typed_w << "x" << c.typed_h;
        EXPECT_EQ(H, c.H) << c.mode << " " << c.typed_w << "x" << c.typed_h;
    }
}

}  // namespace
