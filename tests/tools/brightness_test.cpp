// Brightness steps, the negative and the background swatch, on images of
// their own and through the commands on the current image.
#include "image/background.h"
#include "tools/brightness.h"
#include "tools_test_util.h"

namespace {

class Brightness : public ::testing::Test {
protected:
    void SetUp() override { reset_current_image(); }
    void TearDown() override { reset_current_image(); }
    SeamRecorder seams;
};

}  // namespace

TEST_F(Brightness, TrueColourIntoACopyKeepsAlphaAndTheSource)
{
    HGLOBAL h = make_random_dib(5, 4, 32, 8), original = copy_packed_dib(h), out = NULL;
    int amount = 3;
    ASSERT_EQ(1, adjust_brightness(h, NULL, &amount, 2, &out));
    ASSERT_TRUE(out && out != h);
    EXPECT_EQ(3, amount);
    EXPECT_TRUE(same_image(original, h));
    DibBlock s(h), c(out);
    for (int x = 0; x < 5 * 4; ++x) {  // every pixel of the four rows
        EXPECT_EQ(s.row(0)[4 * x + 3], c.row(0)[4 * x + 3]);
        EXPECT_GE(c.row(0)[4 * x + 1], s.row(0)[4 * x + 1]);
    }
    GlobalFree(original);
}

// Steps up and back down give the exact image again: a true-colour photo
// (kept unconverted while a step is in force) and a palette image, whose
// table is rebuilt from the saved one.
TEST_F(Brightness, CommandsUpAndBackDownRestoreTheExactImage)
{
    PnmImage photo = read_pnm_file(fixture_path("tools/photo.ppm"));
    ASSERT_GT(photo.width, 0);
    for (HGLOBAL image : {pnm_to_dib(photo), make_random_dib(6, 6, 4, 21)}) {
        reset_current_image();
        g_imageKind = KIND_DIB;
        g_hImage = image;
        bool is_deep = dib_bit_count(image) > 8;
        HGLOBAL original = copy_packed_dib(image);
        ASSERT_EQ(1, step_current_brightness(1));
        EXPECT_EQ(is_deep, g_hImageUnconverted != NULL);
        EXPECT_EQ(1, g_brightnessStep);
        for (int step : {1, -1, -1, -1, 1})
            ASSERT_EQ(1, step_current_brightness(step));
        EXPECT_EQ(0, g_brightnessStep);
        EXPECT_EQ(NULL, g_hImageUnconverted);
        EXPECT_TRUE(same_image(original, g_hImage));
        GlobalFree(original);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// 16 bits: the fields invert and the spare bit is cleared; 32 bits: the
// alpha byte stays. (24 bits is the end-to-end undo test's.)
TEST_F(Brightness, NegativeOfSixteenAndThirtyTwoBits)
{
    DibBlock h16(make_dib(2, 1, 16)), h32(make_dib(2, 1, 32));
    const BYTE words[] = {0x00, 0x80, 0xFF, 0x7F}, bgra[] = {1, 2, 3, 4, 250, 251, 252, 253};
    memcpy(h16.row(0), words, 4);
    memcpy(h32.row(0), bgra, 8);
    h16.unlock();
    h32.unlock();
    ASSERT_EQ(1, invert_colors(h16.get()));
    ASSERT_EQ(1, invert_colors(h32.get()));
    h16.lock();
    h32.lock();
    EXPECT_EQ(std::string((char*)h16.row(0), 4), std::string("\xFF\x7F\x00\x00", 4));
    EXPECT_EQ(std::string((char*)h32.row(0), 8), std::string("\xFE\xFD\xFC\x04\x05\x04\x03\xFD", 8));
}

TEST_F(Brightness, NegativeKeepsTheTransparentEntry)
{
    DibBlock h(make_dib(2, 1, 1, {quad(10, 20, 30), quad(1, 2, 3)}));
    g_hasTransparency = 1;
    g_transparentIndex = 1;
    g_transparentDisplayColor = 0x00102030;
    invert_colors(h.get());
    EXPECT_EQ(245, h.table()[0].rgbRed);
    EXPECT_EQ(1, h.table()[1].rgbRed);
    EXPECT_EQ(0x00EFDFCFu, g_transparentDisplayColor);
    g_colorConversion = 26;  // a conversion in force: every entry inverts
    invert_colors(h.get());
    EXPECT_EQ(254, h.table()[1].rgbRed);
}
