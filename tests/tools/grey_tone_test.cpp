// Grey and tinted conversions: the weighted levels of every depth, palette
// images keeping their pixels, and the copies made from a tinted table.
#include "tools/grey_tone.h"
#include "tools_test_util.h"

namespace {

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
    HGLOBAL image = NULL;
    HGLOBAL copy = NULL;
    SeamRecorder seams;
};

}  // namespace

// 24-bit green and blue (red is the end-to-end tools test's); 16-bit red 31
// and blue 31 (248 each).
TEST_F(Grey, PixelsTurnIntoTheirWeightedLevels)
{
    const struct {
        int bits;
        std::vector<BYTE> pixels;
        std::vector<int> levels;
    } rows[] = {
        {24, {0, 255, 0, 255, 0, 0}, {150, 28}},
        {16, {0x00, 0x7C, 0x1F, 0x00}, {74, 27}},
    };
    for (const auto& row : rows) {
        HGLOBAL original = create_packed_dib((int)row.levels.size(), 1, row.bits, 0), copy = NULL;
        std::memcpy(DibBlock(original, false).row(0), row.pixels.data(), row.pixels.size());
        HGLOBAL h = original;
        ASSERT_EQ(1, to_grayscale(&h, &copy, KIND_DIB));
        EXPECT_EQ(original, copy) << "the full-colour image is kept as the copy";
        DibBlock grey(h), kept(copy);
        EXPECT_EQ(8, grey.bih->biBitCount);
        EXPECT_EQ(200, grey.table()[200].rgbGreen);
        EXPECT_EQ(std::vector<int>(grey.row(0), grey.row(0) + row.levels.size()), row.levels) << row.bits;
    }
}

TEST_F(Grey, PaletteImagesKeepTheirPixelsAndStartFromTheCopy)
{
    image = make_random_dib(9, 4, 4, 3);
    HGLOBAL original = copy_packed_dib(image);
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    HGLOBAL once = copy_packed_dib(image);
    ASSERT_EQ(1, to_grayscale(&image, &copy, KIND_DIB));
    EXPECT_TRUE(same_image(once, image));
    EXPECT_TRUE(same_image(original, copy));
    {
        DibBlock g(image, false), o(original, false);
        EXPECT_EQ(0, std::memcmp(dib_pixels(g.bih), dib_pixels(o.bih), dib_row_stride(9, 4) * 4));
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(g.table()[i].rgbRed, g.table()[i].rgbBlue);
    }
    GlobalFree(once);
    GlobalFree(original);
}

// The copies hold each pixel's level under a grey ramp.
TEST_F(Grey, GreyAndTintedCopiesHoldLevels)
{
    image = make_dib(10, 2, 1, {quad(40, 40, 40), quad(200, 200, 200)});
    set_index(DibBlock(image, false).row(0), 1, 9, 1);
    set_index(DibBlock(image, false).row(1), 1, 0, 1);
    ASSERT_EQ(1, make_grey_copy(&image));
    {
        DibBlock d(image, false);
        EXPECT_EQ(d.bih->biBitCount * 1000 + d.bih->biClrUsed, 8256u);
        EXPECT_EQ((std::vector<int>{d.row(0)[0], d.row(0)[9], d.row(1)[0]}), (std::vector<int>{40, 200, 200}));
        EXPECT_EQ(77, d.table()[77].rgbBlue);
    }
    GlobalFree(image);

    // The first three entries are tone 33's levels 0, 100 and 255; the
    // fourth is no level and reads its fourth byte, 0.
    image = make_dib(4, 1, 4, {quad(33, 24, 18), quad(150, 110, 81), quad(255, 255, 255), quad(1, 2, 3)}, 4);
    const BYTE indices[] = {0x01, 0x23};
    memcpy(DibBlock(image, false).row(0), indices, 2);
    ASSERT_EQ(1, make_tinted_copy(&image, 33));
    DibBlock d(image, false);
    EXPECT_EQ(std::vector<int>(d.row(0), d.row(0) + 4), (std::vector<int>{0, 100, 255, 0}));
}
