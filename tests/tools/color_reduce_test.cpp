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
    LockedDib d(h);
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
        LockedDib d(image);
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
    LockedDib d(image);
    EXPECT_EQ(1, d.bih->biBitCount);  // compacted
}

TEST_F(Reduce, SingleColorImageMapsToOneEntry)
{
    image = create_packed_dib(5, 4, 24, 0);
    {
        LockedDib d(image);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 15; ++x)
                d.row(y)[x] = 77;
    }
    ASSERT_EQ(1, reduce(-256, 1));
    RgbImage out = dib_to_rgb(image);
    for (const Rgb& c : out.pixels)
        ASSERT_EQ((Rgb{77, 77, 77}), c);
    LockedDib d(image);
    EXPECT_EQ(1u, d.bih->biClrUsed);
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
        LockedDib d(image);
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

TEST_F(Reduce, ReducingTwiceEqualsReducingOnce)
{
    image = make_random_dib(31, 17, 24, 5);
    HGLOBAL original = copy_packed_dib(image);
    ASSERT_EQ(1, reduce(-16, 1));
    HGLOBAL once = copy_packed_dib(image);
    ASSERT_EQ(1, reduce(-16, 1));
    EXPECT_TRUE(same_image(once, image));
    EXPECT_TRUE(same_block(original, copy));
    GlobalFree(once);
    GlobalFree(original);
}

TEST_F(Reduce, FixedPalettes)
{
    image = create_packed_dib(3, 1, 24, 0);
    {
        LockedDib d(image);
        BYTE px[9] = {0, 0, 255, 255, 255, 255, 0, 0, 0};  // red, white, black
        std::memcpy(d.row(0), px, 9);
    }
    ASSERT_EQ(1, reduce(216, 0));
    {
        LockedDib d(image);
        EXPECT_EQ(8, d.bih->biBitCount);
        EXPECT_EQ(216u, d.bih->biClrUsed);
        EXPECT_EQ(180, d.row(0)[0]);
        EXPECT_EQ(215, d.row(0)[1]);
        EXPECT_EQ(0, d.row(0)[2]);
    }
    ASSERT_EQ(1, reduce(2, 0));
    {
        LockedDib d(image);
        EXPECT_EQ(1, d.bih->biBitCount);
        EXPECT_EQ(255, d.table()[0].rgbRed);  // white first
        EXPECT_EQ(0, d.table()[1].rgbRed);
        EXPECT_EQ(1u, dib_row_index(d.row(0), 1, 2));
    }
    ASSERT_EQ(1, reduce(256, 0));
    {
        LockedDib d(image);
        EXPECT_EQ(249, d.row(0)[0]);
        EXPECT_EQ(255, d.row(0)[1]);
    }
    ASSERT_EQ(1, reduce(16, 0));
    {
        LockedDib d(image);
        EXPECT_EQ(4, d.bih->biBitCount);
        EXPECT_EQ(9u, dib_row_index(d.row(0), 4, 0));
    }
}

TEST_F(Reduce, SixteenBitWhiteEntersAs248)
{
    image = create_packed_dib(2, 2, 16, 0);
    {
        LockedDib d(image);
        for (int y = 0; y < 2; ++y)
            d.row(y)[0] = d.row(y)[2] = 0xFF, d.row(y)[1] = d.row(y)[3] = 0x7F;
    }
    ASSERT_EQ(1, reduce(-256, 0));
    EXPECT_EQ((std::set<Rgb>{{248, 248, 248}}), table_of(image));
}

TEST_F(Reduce, PaletteSourcesReadTheirTable)
{
    image = make_random_dib(11, 6, 4, 9);
    RgbImage before = dib_to_rgb(image);
    ASSERT_EQ(1, reduce(-256, 0));
    EXPECT_TRUE(dib_to_rgb(image).pixels == before.pixels);
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
    LockedDib d(image);
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

TEST(StandardPalette, TablesAsListed)
{
    RGBQUAD t[256];
    EXPECT_EQ(2, get_standard_palette(2, t));
    EXPECT_EQ(0, t[0].rgbRed);
    EXPECT_EQ(255, t[1].rgbBlue);
    EXPECT_EQ(16, get_standard_palette(16, t));
    EXPECT_EQ(0x80, t[1].rgbRed);
    EXPECT_EQ(0, t[1].rgbBlue);
    EXPECT_EQ(0xC0, t[7].rgbGreen);
    EXPECT_EQ(256, get_standard_palette(256, t));
    EXPECT_EQ(0xA2, t[8].rgbRed);
    EXPECT_EQ(0x8D, t[8].rgbGreen);
    EXPECT_EQ(0x68, t[8].rgbBlue);
    EXPECT_EQ(0xA5, t[233].rgbRed);
    EXPECT_EQ(0x21, t[233].rgbBlue);
    EXPECT_EQ(256, get_standard_palette(100, t));
    EXPECT_EQ(48, get_standard_palette(48, t));
    const BYTE* b = (const BYTE*)&t[9];  // FFCC00, red first
    EXPECT_EQ(0xFF, b[0]);
    EXPECT_EQ(0xCC, b[1]);
    EXPECT_EQ(0x00, b[2]);
}

// The quantiser itself, on rows handed in directly.
namespace {

struct Quant {
    QuantizerContext ctx;
    explicit Quant(int desired, int width)
    {
        std::memset(&ctx, 0, sizeof ctx);
        ctx.desired_number_of_colors = desired;
        ctx.output_width = (UINT)width;
        ctx.out_color_components = 3;
        ctx.enable_2pass_quant = 1;
        ok = prepare_range_limit_table(&ctx) && jinit_2pass_quantizer(&ctx);
    }
    ~Quant() { release_quantizer(&ctx); }
    void scan(std::vector<BYTE> row, int times = 1)
    {
        BYTE* in = row.data();
        for (int i = 0; i < times; ++i)
            prescan_quantize(&ctx, &in, NULL, 1);
    }
    std::set<Rgb> palette()
    {
        std::set<Rgb> p;
        for (int i = 0; i < ctx.actual_number_of_colors; ++i)
            p.insert({ctx.colormap[0][i], ctx.colormap[1][i], ctx.colormap[2][i]});
        return p;
    }
    bool ok;
};

std::vector<BYTE> run(const Rgb& c, int n)
{
    std::vector<BYTE> row;
    for (int i = 0; i < n; ++i)
        row.insert(row.end(), {(BYTE)c.r, (BYTE)c.g, (BYTE)c.b});
    return row;
}

}  // namespace

TEST(Quantizer, CountersSaturateAt65535)
{
    Quant q(2, 1000);
    ASSERT_TRUE(q.ok);
    q.scan(run({0, 0, 0}, 1000), 100);  // 100000 pixels
    q.scan(run({0, 0, 3}, 1000), 66);   // 66000 pixels
    q.scan(run({255, 255, 255}, 1000), 1);
    ASSERT_EQ(1, finish_pass1(&q.ctx));
    // Both counters hold 65535: the mean blue is 1.5, rounded to 2.
    EXPECT_EQ((std::set<Rgb>{{0, 0, 2}, {255, 255, 255}}), q.palette());
}

TEST(Quantizer, EqualRedAndGreenExtentsSplitAlongGreen)
{
    Quant q(2, 1);
    ASSERT_TRUE(q.ok);
    q.scan(run({0, 0, 0}, 1));
    q.scan(run({3, 2, 0}, 1));
    q.scan(run({0, 2, 0}, 1));
    ASSERT_EQ(1, finish_pass1(&q.ctx));
    EXPECT_EQ((std::set<Rgb>{{0, 0, 0}, {2, 2, 0}}), q.palette());
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

TEST(Quantizer, DitheredRowsAlternateDirection)
{
    // Black and white only. A grey row from a clean start is walked left to
    // right; after an exact black row (which leaves no error) the same grey
    // row is walked right to left and comes out mirrored.
    Quant q(2, 4);
    ASSERT_TRUE(q.ok);
    q.ctx.dither_mode = 2;
    q.ctx.colormap[0][0] = q.ctx.colormap[1][0] = q.ctx.colormap[2][0] = 0;
    q.ctx.colormap[0][1] = q.ctx.colormap[1][1] = q.ctx.colormap[2][1] = 255;
    q.ctx.actual_number_of_colors = 2;
    std::vector<BYTE> grey = run({100, 100, 100}, 4), black = run({0, 0, 0}, 4);
    BYTE first[4], exact[4], second[4];
    auto pass = [&](std::vector<BYTE>& row, BYTE* out) {
        BYTE* in = row.data();
        pass2_fs_dither(&q.ctx, &in, &out, 1);
    };
    ASSERT_EQ(1, start_pass_2_quant(&q.ctx, 0));
    pass(grey, first);
    EXPECT_EQ(0, first[0]);
    EXPECT_EQ(1, first[1]);  // 100 plus 7/16 of 100 (limited) is nearer white
    ASSERT_EQ(1, start_pass_2_quant(&q.ctx, 0));
    pass(black, exact);
    pass(grey, second);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(0, exact[i]);
        EXPECT_EQ(first[i], second[3 - i]) << i;
    }
}
