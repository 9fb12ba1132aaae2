// Brightness steps, the negative and the background swatch, on images of
// their own and through the commands on the current image.
#include <gtest/gtest.h>

#include "image/background.h"
#include "support/seam_recorder.h"
#include "tools/brightness.h"
#include "tools_test_util.h"

namespace {

class Brightness : public ::testing::Test {
protected:
    void SetUp() override { reset_current_image(); }
    void TearDown() override { reset_current_image(); }
    SeamRecorder seams;
};

std::vector<RGBQUAD> table_copy(HGLOBAL h)
{
    DibBlock d(h, false);
    return std::vector<RGBQUAD>(d.table(), d.table() + dib_color_count(d.bih));
}

bool same_colors(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].rgbRed != b[i].rgbRed || a[i].rgbGreen != b[i].rgbGreen || a[i].rgbBlue != b[i].rgbBlue)
            return false;
    return true;
}

}  // namespace

TEST_F(Brightness, PaletteStepsUpAndDownRestoreTheTableExactly)
{
    HGLOBAL h = make_random_dib(7, 3, 8, 11);
    std::vector<RGBQUAD> before = table_copy(h);
    int amount = 0;
    ASSERT_EQ(1, adjust_brightness(h, g_baseColorTable, &amount, 1, NULL));
    EXPECT_EQ(1, amount);
    EXPECT_TRUE(same_colors(before, std::vector<RGBQUAD>(g_baseColorTable, g_baseColorTable + 256)));
    EXPECT_FALSE(same_colors(before, table_copy(h)));
    for (int i = 0; i < 3; ++i)
        adjust_brightness(h, g_baseColorTable, &amount, 1, NULL);
    for (int i = 0; i < 4; ++i)
        adjust_brightness(h, g_baseColorTable, &amount, -1, NULL);
    EXPECT_EQ(0, amount);
    EXPECT_TRUE(same_colors(before, table_copy(h)));
    // Going on down saves nothing new: the base stays the original.
    adjust_brightness(h, g_baseColorTable, &amount, -2, NULL);
    EXPECT_EQ(-2, amount);
    ASSERT_EQ(1, adjust_brightness(h, g_baseColorTable, &amount, 0, NULL));
    EXPECT_EQ(0, amount);
    EXPECT_TRUE(same_colors(before, table_copy(h)));
    GlobalFree(h);
}

TEST_F(Brightness, TrueColourIntoACopyKeepsAlphaAndTheSource)
{
    HGLOBAL h = make_random_dib(5, 4, 32, 8);
    HGLOBAL original = copy_packed_dib(h);
    HGLOBAL out = NULL;
    int amount = 3;
    ASSERT_EQ(1, adjust_brightness(h, NULL, &amount, 2, &out));
    ASSERT_TRUE(out && out != h);
    EXPECT_EQ(3, amount);
    EXPECT_TRUE(same_block(original, h));
    {
        DibBlock s(h, false), c(out, false);
        double e = std::pow(2.0, -1.0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const BYTE* p = s.row(y) + 4 * x;
                const BYTE* q = c.row(y) + 4 * x;
                EXPECT_EQ(p[3], q[3]);
                EXPECT_EQ((int)(std::pow(p[1] / 255.0, e) * 255 + 0.5), q[1]);
            }
    }
    GlobalFree(out);
    GlobalFree(original);
    GlobalFree(h);
}

TEST_F(Brightness, CommandsOnTrueColourRestoreTheExactImage)
{
    g_imageKind = KIND_DIB;
    RgbImage photo = read_ppm(fixture_path("tools/photo.ppm"));
    ASSERT_GT(photo.width, 0);
    g_hImage = rgb_to_dib24(photo);
    HGLOBAL original = copy_packed_dib(g_hImage);
    ASSERT_EQ(1, step_current_brightness(1));
    EXPECT_TRUE(g_hImageUnconverted != NULL);
    EXPECT_EQ(1, g_brightnessStep);
    ASSERT_EQ(1, step_current_brightness(1));
    ASSERT_EQ(1, step_current_brightness(-1));
    ASSERT_EQ(1, step_current_brightness(-1));
    EXPECT_EQ(0, g_brightnessStep);
    EXPECT_EQ(NULL, g_hImageUnconverted);
    EXPECT_TRUE(same_block(original, g_hImage));
    GlobalFree(original);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(Brightness, CommandsOnAPaletteImageRestoreItsTable)
{
    g_imageKind = KIND_DIB;
    g_hImage = make_random_dib(6, 6, 4, 21);
    HGLOBAL original = copy_packed_dib(g_hImage);
    for (int step : {-1, -1, 1, 1})
        ASSERT_EQ(1, step_current_brightness(step));
    EXPECT_EQ(0, g_brightnessStep);
    EXPECT_TRUE(same_block(original, g_hImage));
    GlobalFree(original);
}

TEST_F(Brightness, NegativeOfEveryDepth)
{
    HGLOBAL h = create_packed_dib(2, 1, 16, 0);
    {
        DibBlock d(h, false);
        d.row(0)[0] = 0x00, d.row(0)[1] = 0x80;  // all fields 0, top bit set
        d.row(0)[2] = 0xFF, d.row(0)[3] = 0x7F;  // all fields 31
    }
    ASSERT_EQ(1, invert_colors(h));
    {
        DibBlock d(h, false);
        EXPECT_EQ(0xFF, d.row(0)[0]);
        EXPECT_EQ(0x7F, d.row(0)[1]);
        EXPECT_EQ(0x00, d.row(0)[2]);
        EXPECT_EQ(0x00, d.row(0)[3]);
    }
    GlobalFree(h);
    for (int bits : {24, 32}) {
        h = make_random_dib(3, 2, bits, 5);
        HGLOBAL original = copy_packed_dib(h);
        invert_colors(h);
        DibBlock a(h, false), o(original, false);
        for (int x = 0; x < 3 * bits / 8; ++x)
            EXPECT_EQ(bits == 32 && x % 4 == 3 ? o.row(1)[x] : 255 - o.row(1)[x], a.row(1)[x]);
        a.unlock();
        o.unlock();
        invert_colors(h);
        EXPECT_TRUE(same_block(original, h));
        GlobalFree(original);
        GlobalFree(h);
    }
}

TEST_F(Brightness, NegativeKeepsTheTransparentEntry)
{
    HGLOBAL h = make_dib(2, 1, 1, {quad(10, 20, 30), quad(1, 2, 3)});
    g_hasTransparency = 1;
    g_transparentIndex = 1;
    g_transparentDisplayColor = 0x00102030;
    invert_colors(h);
    std::vector<RGBQUAD> t = table_copy(h);
    EXPECT_EQ(245, t[0].rgbRed);
    EXPECT_EQ(1, t[1].rgbRed);
    EXPECT_EQ(0x00EFDFCFu, g_transparentDisplayColor);
    g_colorConversion = 26;  // a conversion in force: every entry inverts
    invert_colors(h);
    t = table_copy(h);
    EXPECT_EQ(254, t[1].rgbRed);
    GlobalFree(h);
}
