// Colour queries, logical palettes and the HSL colour model.
#include <gtest/gtest.h>

#include <cmath>

#include "support/dib_block.h"
#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/palette.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

// Puts images in the current-image state for one test and clears it after.
class CurrentImage : public ::testing::Test {
protected:
    void TearDown() override
    {
        reset_current_image();
        for (HWND* w : {&g_hwndPalette, &g_hwndFrame, &g_hwndText})
            if (*w) {
                DestroyWindow(*w);
                *w = NULL;
            }
    }
    static HWND make_window() { return CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL); }
};

TEST_F(CurrentImage, BlackAndWhiteNeedsExactBlackAndWhite)
{
    g_imageKind = KIND_DIB;
    g_hImage = make_dib(8, 1, 1, {quad(0, 0, 0), quad(255, 255, 255)});
    EXPECT_EQ(1, is_black_white_palette(NULL));
    EXPECT_EQ(1, is_grey_palette(g_hImage));
    HGLOBAL almost = make_dib(8, 1, 1, {quad(0, 0, 0), quad(254, 254, 254)});
    EXPECT_EQ(0, is_black_white_palette(almost));
    EXPECT_EQ(1, is_grey_palette(almost));
    GlobalFree(almost);
    g_imageKind = KIND_WMF;
    EXPECT_EQ(0, is_black_white_palette(NULL));
    EXPECT_EQ(0, is_grey_palette(g_hImage));
}

TEST_F(CurrentImage, QueriesPreferTheImageBeforeItsReduction)
{
    g_imageKind = KIND_DIB;
    g_hImageUnconverted = make_dib(4, 4, 24);
    g_hImage = make_dib(4, 4, 8, {}, 0);
    EXPECT_EQ(24, get_image_bit_count());
    EXPECT_EQ(8, get_original_bit_count());
    GlobalFree(g_hImageUnconverted);
    g_hImageUnconverted = make_dib(4, 4, 4, {}, 9);
    EXPECT_EQ(9, get_image_color_count());
    GlobalFree(g_hImageUnconverted);
    g_hImageUnconverted = NULL;
    EXPECT_EQ(256, get_image_color_count());
    g_imageKind = KIND_NONE;
    EXPECT_EQ(0, get_image_color_count());
    EXPECT_EQ(0, get_image_bit_count());
}

TEST_F(CurrentImage, GreyRampsAscendingOrDescending)
{
    g_imageKind = KIND_DIB;
    std::vector<RGBQUAD> small, down, bent;
    for (int i = 0; i < 16; ++i)
        small.push_back(quad((BYTE)i, (BYTE)i, (BYTE)i));
    for (int i = 0; i < 256; ++i) {
        down.push_back(quad((BYTE)(255 - i), (BYTE)(255 - i), (BYTE)(255 - i)));
        bent.push_back(quad((BYTE)i, (BYTE)i, (BYTE)(i == 7 ? 8 : i)));
    }
    const struct { int bits; const std::vector<RGBQUAD>* table; uint32_t used; int is_ramp; } cases[] = {
        {8, &small, 16, 1}, {8, &down, 0, 1}, {8, &bent, 0, 0}, {4, &small, 0, 0}};
    for (const auto& c : cases) {
        DibBlock dib(make_dib(2, 2, c.bits, *c.table, c.used));
        EXPECT_EQ(c.is_ramp, is_grey8_ramp(dib.get())) << &c - cases;
    }
    EXPECT_EQ(0, is_grey_palette(DibBlock(make_dib(2, 2, 8, bent)).get()));
}

static PALETTEENTRY entry_of(HPALETTE pal, int index)
{
    PALETTEENTRY e = {};
    GetPaletteEntries(pal, index, 1, &e);
    return e;
}

TEST_F(CurrentImage, DibPaletteShowsTheTransparentColourOnlyWhilePicking)
{
    DibBlock dib(make_dib(2, 2, 8, {quad(1, 2, 3), quad(4, 5, 6), quad(7, 8, 9)}, 3));
    g_hasTransparency = 1;
    g_transparentDisplayColor = 0x00112233;  // blue 0x33, green 0x22, red 0x11
    // A converted image has no transparent index; one past the table changes nothing.
    const struct { bool picking; int conversion; BYTE index; BYTE red, green, blue; } cases[] = {
        {false, 0, 1, 4, 5, 6}, {true, 0, 1, 0x11, 0x22, 0x33}, {true, 23, 1, 4, 5, 6}, {true, 0, 200, 4, 5, 6}};
    for (const auto& c : cases) {
        g_hwndPalette = c.picking ? make_window() : NULL;
        g_colorConversion = c.conversion;
        g_transparentIndex = c.index;
        HPALETTE pal = create_dib_palette(dib.bih, NULL);
        ASSERT_NE((HPALETTE)NULL, pal);
        WORD count = 0;
        GetObjectA(pal, sizeof count, &count);
        EXPECT_EQ(3, count);
        PALETTEENTRY e = entry_of(pal, 1);
        EXPECT_EQ(c.red, e.peRed) << c.picking << " " << c.conversion << " " << (int)c.index;
        EXPECT_EQ(c.green, e.peGreen);
        EXPECT_EQ(c.blue, e.peBlue);
        EXPECT_EQ(9, entry_of(pal, 2).peBlue);
        DeleteObject(pal);
        if (g_hwndPalette)
            DestroyWindow(g_hwndPalette);
    }
    g_hwndPalette = NULL;
    g_colorConversion = 0;
    dib.reset(make_dib(2, 2, 24));
    EXPECT_EQ(NULL, create_dib_palette(dib.bih, NULL));
}

TEST_F(CurrentImage, PickerPaletteAddsThePickedColourAfterTheTable)
{
    DibBlock dib(make_dib(2, 2, 1, {quad(0, 0, 0), quad(255, 255, 255)}));
    g_pickedColor = RGB(10, 20, 30);
    HPALETTE pal = create_picker_palette_from_dib(dib.bih);
    ASSERT_NE((HPALETTE)NULL, pal);
    WORD count = 0;
    GetObjectA(pal, sizeof count, &count);
    EXPECT_EQ(3, count);
    EXPECT_EQ(255, entry_of(pal, 1).peGreen);
    EXPECT_EQ(10, entry_of(pal, 2).peRed);
    EXPECT_EQ(30, entry_of(pal, 2).peBlue);
    DeleteObject(pal);
}

TEST(ColourModel, RoundTripsEveryColourOfAGrid)
{
    for (int ri = 0; ri <= 10; ++ri)
        for (int gi = 0; gi <= 10; ++gi)
            for (int bi = 0; bi <= 10; ++bi) {
                double h, l, s, r, g, b;
                rgb_to_hsl(ri / 10.0, gi / 10.0, bi / 10.0, &h, &l, &s);
                ASSERT_GE(h, 0);
                ASSERT_LT(h, 360);
                hsl_to_rgb(h, l, s, &r, &g, &b);
                ASSERT_NEAR(ri / 10.0, r, 1e-9) << ri << gi << bi;
                ASSERT_NEAR(gi / 10.0, g, 1e-9);
                ASSERT_NEAR(bi / 10.0, b, 1e-9);
            }
}
