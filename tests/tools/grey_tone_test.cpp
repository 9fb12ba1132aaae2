// Grey, tint and tone conversions. The tone ramps are recomputed here from
// their definitions (offsets, or hue, saturation and floor through an HSL
// conversion written for the test) and compared entry by entry.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/seam_recorder.h"
#include "tools/edit_history.h"
#include "tools/grey_tone.h"
#include "tools_test_util.h"

namespace {

double channel(double m1, double m2, double h)
{
    while (h >= 360) h -= 360;
    while (h < 0) h += 360;
    if (h < 60) return m1 + (m2 - m1) * h / 60;
    if (h < 180) return m2;
    if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
    return m1;
}

// T(g) of every tone, recomputed from its definition.
Rgb expected_tone(int code, int g)
{
    auto cap = [](int v) { return std::min(v, 255); };
    switch (code) {
    case 28: return {g, cap(g + 11), cap(g + 40)};
    case 30: return {cap(g + 20), cap(g + 9), g};
    case 31: return {cap(g + 12), cap(g + 12), g};
    case 32: return {cap(g + 16), g, g};
    case 35: return {g, cap(g + 9), cap(g + 8)};
    }
    double hue = code == 29 ? 345 : 25, sat = code == 29 ? 0.275 : code == 33 ? 0.3 : 0.2;
    int floor = code == 29 ? 28 : 26;
    double l = ((double)g * (255 - floor) / 255.0 + floor) / 255.0;
    double m2 = l <= 0.5 ? l * (1 + sat) : l + sat - l * sat, m1 = 2 * l - m2;
    return {(int)(255 * channel(m1, m2, hue + 120)), (int)(255 * channel(m1, m2, hue)),
            (int)(255 * channel(m1, m2, hue - 120))};
}

Rgb entry(HGLOBAL h, int i)
{
    DibBlock d(h, false);
    RGBQUAD q = d.table()[i];
    return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

class Grey : public ::testing::Test {
protected:
    void SetUp() override { reset_current_image(); }
    void TearDown() override
    {
        if (image)
            GlobalFree(image);
        if (copy)
            GlobalFree(copy);
    }
    // A 24-bit image of the 256 grey levels in one row.
    static HGLOBAL grey_row()
    {
        HGLOBAL h = create_packed_dib(256, 1, 24, 0);
        DibBlock d(h, false);
        for (int x = 0; x < 256; ++x)
            std::memset(d.row(0) + 3 * x, x, 3);
        return h;
    }
    HGLOBAL image = NULL;
    HGLOBAL copy = NULL;
    SeamRecorder seams;
};

}  // namespace

TEST_F(Grey, PrimariesTurnIntoTheirWeightedLevels)
{
    image = create_packed_dib(3, 1, 24, 0);
    {
        DibBlock d(image, false);
        BYTE px[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};  // red, green, blue
        std::memcpy(d.row(0), px, 9);
    }
    HGLOBAL original = image;
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    EXPECT_EQ(original, copy);
    DibBlock d(image, false);
    EXPECT_EQ(8, d.bih->biBitCount);
    EXPECT_EQ(76, d.row(0)[0]);
    EXPECT_EQ(150, d.row(0)[1]);
    EXPECT_EQ(28, d.row(0)[2]);
    EXPECT_EQ(200, d.table()[200].rgbGreen);
}

TEST_F(Grey, SixteenAndThirtyTwoBitPixels)
{
    image = create_packed_dib(2, 1, 16, 0);
    {
        DibBlock d(image, false);
        d.row(0)[0] = 0x00, d.row(0)[1] = 0x7C;  // red 31 -> 248
        d.row(0)[2] = 0x1F, d.row(0)[3] = 0x00;  // blue 31 -> 248
    }
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    {
        DibBlock d(image, false);
        EXPECT_EQ(248 * 30 / 100, d.row(0)[0]);
        EXPECT_EQ(248 * 11 / 100, d.row(0)[1]);
    }
    GlobalFree(image);
    GlobalFree(copy);
    copy = NULL;
    image = create_packed_dib(1, 1, 32, 0);
    {
        DibBlock d(image, false);
        BYTE px[4] = {10, 20, 30, 0};
        std::memcpy(d.row(0), px, 4);
    }
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    DibBlock d(image, false);
    EXPECT_EQ((10 * 11 + 20 * 59 + 30 * 30) / 100, d.row(0)[0]);
}

TEST_F(Grey, PaletteImagesKeepTheirPixelsAndStartFromTheCopy)
{
    image = make_random_dib(9, 4, 4, 3);
    HGLOBAL original = copy_packed_dib(image);
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    HGLOBAL once = copy_packed_dib(image);
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    EXPECT_TRUE(same_image(once, image));
    EXPECT_TRUE(same_block(original, copy));
    {
        DibBlock g(image, false), o(original, false);
        EXPECT_EQ(0, std::memcmp(dib_pixels(g.bih), dib_pixels(o.bih), dib_row_stride(9, 4) * 4));
        for (int i = 0; i < 16; ++i) {
            RGBQUAD q = o.table()[i];
            int level = (q.rgbBlue * 11 + q.rgbGreen * 59 + q.rgbRed * 30) / 100;
            EXPECT_EQ(level, g.table()[i].rgbRed);
            EXPECT_EQ(level, g.table()[i].rgbBlue);
        }
    }
    GlobalFree(once);
    GlobalFree(original);
}

TEST_F(Grey, GreyAndTintedCopiesHoldLevels)
{
    image = make_dib(10, 2, 1, {quad(40, 40, 40), quad(200, 200, 200)});
    {
        DibBlock d(image, false);
        set_index(d.row(0), 1, 9, 1);
        set_index(d.row(1), 1, 0, 1);
    }
    ASSERT_EQ(1, make_grey_copy(&image));
    {
        DibBlock d(image, false);
        EXPECT_EQ(8, d.bih->biBitCount);
        EXPECT_EQ(256u, d.bih->biClrUsed);
        EXPECT_EQ(200, d.row(0)[9]);
        EXPECT_EQ(40, d.row(0)[0]);
        EXPECT_EQ(200, d.row(1)[0]);
        EXPECT_EQ(77, d.table()[77].rgbBlue);
    }
    GlobalFree(image);

    std::vector<RGBQUAD> table;
    for (int g : {0, 100, 255}) {
        Rgb c = expected_tone(33, g);
        table.push_back(quad((BYTE)c.r, (BYTE)c.g, (BYTE)c.b));
    }
    table.push_back(quad(1, 2, 3));  // no level: reads its fourth byte, 0
    image = make_dib(4, 1, 4, table, 4);
    {
        DibBlock d(image, false);
        for (int x = 0; x < 4; ++x)
            set_index(d.row(0), 4, x, x);
    }
    ASSERT_EQ(1, make_tinted_copy(&image, 33));
    DibBlock d(image, false);
    EXPECT_EQ(0, d.row(0)[0]);
    EXPECT_EQ(100, d.row(0)[1]);
    EXPECT_EQ(255, d.row(0)[2]);
    EXPECT_EQ(0, d.row(0)[3]);
    EXPECT_EQ(expected_tone(33, 100), entry(image, 100));
}
