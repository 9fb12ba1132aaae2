// Colour reduction, the standard palettes and the median-cut quantiser.
// The quantiser's error on a photo is held against ImageMagick's 256-colour
// reductions of the same picture, made by tests/fixtures/make_tools.sh.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "support/seam_recorder.h"
#include "tools/color_reduce.h"
#include "tools/quantizer.h"
#include "tools_test_util.h"

namespace {

class Reduce : public ::testing::Test {
protected:
    void SetUp() override { reset_current_image(); }
    void TearDown() override
    {
        reset_current_image();
        if (image)
            GlobalFree(image);
        if (copy)
            GlobalFree(copy);
    }
    // Reduces image as a kind-0 bitmap of its own slots.
    int reduce(int count, int dither, UINT kind = KIND_DIB)
    {
        return reduce_colors(&image, &copy, count, kind, 0, dither);
    }
    HGLOBAL image = NULL;
    HGLOBAL copy = NULL;
    SeamRecorder seams;
};

std::set<Rgb> colors_of(const RgbImage& img)
{
    return std::set<Rgb>(img.pixels.begin(), img.pixels.end());
}

std::set<Rgb> table_of(HGLOBAL h)
{
    DibBlock d(h, false);
    std::set<Rgb> t;
    for (uint32_t i = 0; i < dib_color_count(d.bih); ++i)
        t.insert({d.table()[i].rgbRed, d.table()[i].rgbGreen, d.table()[i].rgbBlue});
    return t;
}

void mean_of(const RgbImage& img, double mean[3])
{
    mean[0] = mean[1] = mean[2] = 0;
    for (const Rgb& c : img.pixels) {
        mean[0] += c.r;
        mean[1] += c.g;
        mean[2] += c.b;
    }
    for (int k = 0; k < 3; ++k)
        mean[k] /= img.pixels.size();
}

}  // namespace

TEST_F(Reduce, FewColorsReduceToExactlyThoseColors)
{
    RgbImage few = read_ppm(fixture_path("tools/few_colors.ppm"));
    ASSERT_GT(few.width, 0);
    std::set<Rgb> colors = colors_of(few);
    ASSERT_LE(colors.size(), 64u);
    for (int dither : {0, 1}) {
        image = rgb_to_dib24(few);
        ASSERT_EQ(1, reduce(-64, dither));
        EXPECT_EQ(colors, table_of(image)) << "dither " << dither;
        // An exact palette colour carries no error: every pixel stays.
        RgbImage out = dib_to_rgb(image);
        EXPECT_TRUE(out.pixels == few.pixels) << "dither " << dither;
        GlobalFree(image);
        GlobalFree(copy);
        image = copy = NULL;
    }
}

TEST_F(Reduce, TwoColorsAskedFor256GiveTwoExactEntriesAndOneBit)
{
    image = create_packed_dib(9, 3, 24, 0);
    {
        DibBlock d(image, false);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 9; ++x) {
                BYTE* p = d.row(y) + 3 * x;
                p[0] = (x + y) % 2 ? 10 : 200;
                p[1] = (x + y) % 2 ? 20 : 100;
                p[2] = (x + y) % 2 ? 30 : 0;
            }
    }
    ASSERT_EQ(1, reduce(-256, 1));
    std::set<Rgb> expected = {{30, 20, 10}, {0, 100, 200}};
    EXPECT_EQ(expected, table_of(image));
    DibBlock d(image, false);
    EXPECT_EQ(1, d.bih->biBitCount);  // compacted
}

// Held against djpeg -colors 256, the IJG two-pass quantiser on the same
// decoded picture; ImageMagick's octree result is reported beside it.
TEST_F(Reduce, PhotoErrorIsNoWorseThanDjpeg)
{
    RgbImage photo = read_ppm(fixture_path("tools/photo_jpeg.ppm"));
    ASSERT_GT(photo.width, 0);
    const char* names[2][2] = {{"photo_djpeg256.ppm", "photo_im256.ppm"},
                               {"photo_djpeg256_fs.ppm", "photo_im256_fs.ppm"}};
    image = rgb_to_dib24(photo);
    for (int dither : {0, 1}) {
        RgbImage djpeg = read_ppm(fixture_path(std::string("tools/") + names[dither][0]));
        RgbImage im = read_ppm(fixture_path(std::string("tools/") + names[dither][1]));
        ASSERT_EQ(photo.pixels.size(), djpeg.pixels.size());
        ASSERT_EQ(photo.pixels.size(), im.pixels.size());
        ASSERT_EQ(1, reduce(-256, dither));
        EXPECT_LE(table_of(image).size(), 256u);
        double ours = psnr(photo, dib_to_rgb(image));
        double theirs = psnr(photo, djpeg);
        std::printf("PSNR %s: ours %.3f dB, djpeg %.3f dB, ImageMagick %.3f dB\n",
                    dither ? "Floyd-Steinberg" : "plain", ours, theirs, psnr(photo, im));
        EXPECT_GE(ours, theirs) << "dither " << dither;
    }
}

TEST_F(Reduce, DitheringKeepsTheMeanColor)
{
    // A flat grey between entries of the standard palette: plain mapping
    // moves it to the nearest entry, dithering mixes entries to keep it.
    image = create_packed_dib(64, 48, 24, 0);
    {
        DibBlock d(image, false);
        for (int y = 0; y < 48; ++y)
            std::memset(d.row(y), 124, 64 * 3);
    }
    double plain[3], dithered[3];
    ASSERT_EQ(1, reduce(256, 0));
    mean_of(dib_to_rgb(image), plain);
    ASSERT_EQ(1, reduce(256, 1));
    mean_of(dib_to_rgb(image), dithered);
    for (int k = 0; k < 3; ++k) {
        EXPECT_GT(std::fabs(plain[k] - 124), 2.0);
        EXPECT_NEAR(124.0, dithered[k], 0.1);
    }

    // A photo squeezed into 40..215, so that no error is lost to clamping
    // at black or white; errors beyond 16 levels are damped by design.
    RgbImage photo = read_ppm(fixture_path("tools/photo.ppm"));
    ASSERT_GT(photo.width, 0);
    for (Rgb& c : photo.pixels)
        c = {40 + c.r * 175 / 255, 40 + c.g * 175 / 255, 40 + c.b * 175 / 255};
    double original[3];
    mean_of(photo, original);
    GlobalFree(image);
    GlobalFree(copy);
    copy = NULL;
    image = rgb_to_dib24(photo);
    ASSERT_EQ(1, reduce(-256, 1));
    mean_of(dib_to_rgb(image), dithered);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(original[k], dithered[k], 0.5);
}

TEST_F(Reduce, FixedPalettes)
{
    image = create_packed_dib(3, 1, 24, 0);
    {
        DibBlock d(image, false);
        BYTE px[9] = {0, 0, 255, 255, 255, 255, 0, 0, 0};  // red, white, black
        std::memcpy(d.row(0), px, 9);
    }
    ASSERT_EQ(1, reduce(216, 0));
    {
        DibBlock d(image, false);
        EXPECT_EQ(8, d.bih->biBitCount);
        EXPECT_EQ(216u, d.bih->biClrUsed);
        EXPECT_EQ(180, d.row(0)[0]);
        EXPECT_EQ(215, d.row(0)[1]);
        EXPECT_EQ(0, d.row(0)[2]);
    }
    ASSERT_EQ(1, reduce(2, 0));
    {
        DibBlock d(image, false);
        EXPECT_EQ(1, d.bih->biBitCount);
        EXPECT_EQ(255, d.table()[0].rgbRed);  // white first
        EXPECT_EQ(0, d.table()[1].rgbRed);
        EXPECT_EQ(1u, dib_row_index(d.row(0), 1, 2));
    }
    ASSERT_EQ(1, reduce(256, 0));
    {
        DibBlock d(image, false);
        EXPECT_EQ(249, d.row(0)[0]);
        EXPECT_EQ(255, d.row(0)[1]);
    }
    ASSERT_EQ(1, reduce(16, 0));
    {
        DibBlock d(image, false);
        EXPECT_EQ(4, d.bih->biBitCount);
        EXPECT_EQ(9u, dib_row_index(d.row(0), 4, 0));
    }
}

TEST_F(Reduce, NotABitmapIsRefusedWithItsMessage)
{
    image = make_random_dib(4, 4, 24, 1);
    HGLOBAL before = image;
    EXPECT_EQ(0, reduce(-256, 1, KIND_WMF));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Unable to Manipulate File: \n\nCurrent File is Not a Bitmap", seams.boxes[0].text);
    EXPECT_EQ((UINT)MB_ICONHAND, seams.boxes[0].type);
    EXPECT_EQ(before, image);
    EXPECT_EQ(NULL, copy);
    // Kind 9 reduces, without compaction.
    EXPECT_EQ(1, reduce(2, 0, 9));
    DibBlock d(image, false);
    EXPECT_EQ(8, d.bih->biBitCount);
}

TEST_F(Reduce, TooLargeForMemoryLeavesBothImagesAsTheyWere)
{
    // A converted image and its full-colour copy; the copy claims a size
    // whose 8-bit result cannot be allocated.
    image = make_random_dib(8, 8, 8, 2);
    copy = create_packed_dib(0x8000, 0x4000, 1, 0);
    ASSERT_TRUE(copy);
    HGLOBAL image_before = image, copy_before = copy;
    EXPECT_EQ(0, reduce(-256, 1));
    EXPECT_EQ(image_before, image);
    EXPECT_EQ(copy_before, copy);
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Insufficient Memory for this Operation.", seams.boxes[0].text);
}

TEST(Quantizer, ColorCountsOutOfRangeAreReported)
{
    static int code, parameter;
    code = parameter = 0;
    QuantizerContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    ctx.err = [](QuantizerContext*, int c, int p) { code = c, parameter = p; };
    ctx.desired_number_of_colors = 300;
    ctx.output_width = 4;
    ctx.out_color_components = 3;
    EXPECT_EQ(0, jinit_2pass_quantizer(&ctx));
    EXPECT_EQ(QUANT_ERR_MANY_COLORS, code);
    EXPECT_EQ(256, parameter);
    release_quantizer(&ctx);
}
