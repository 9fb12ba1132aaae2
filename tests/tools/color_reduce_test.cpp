// Colour reduction, the standard palettes and the median-cut quantiser,
// whose error on a photo is held against djpeg's 256-colour reductions.
#include <array>
#include <cmath>
#include <set>

#include "tools/color_reduce.h"
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

typedef std::array<int, 3> Colour;

std::set<Colour> colors_of(const PnmImage& img)
{
    std::set<Colour> colours;
    for (size_t i = 0; i < img.data.size(); i += 3)
        colours.insert({img.data[i], img.data[i + 1], img.data[i + 2]});
    return colours;
}

std::set<Colour> table_of(HGLOBAL h)
{
    DibBlock d(h, false);
    std::set<Colour> t;
    for (uint32_t i = 0; i < dib_color_count(d.bih); ++i)
        t.insert({d.table()[i].rgbRed, d.table()[i].rgbGreen, d.table()[i].rgbBlue});
    return t;
}

double mean_of(const PnmImage& img)
{
    double sum = 0;
    for (BYTE level : img.data)
        sum += level;
    return sum / img.data.size();
}

}  // namespace

// At most 16 colours: exactly those, every pixel kept (an exact colour
// carries no error to diffuse), compacted to 4 bits.
TEST_F(Reduce, FewColorsReduceToExactlyThoseColors)
{
    PnmImage few = read_pnm_file(fixture_path("tools/few_colors.ppm"));
    ASSERT_GT(few.width, 0);
    std::set<Colour> colors = colors_of(few);
    ASSERT_LE(colors.size(), 16u);
    for (int dither : {0, 1}) {
        image = pnm_to_dib(few);
        ASSERT_EQ(1, reduce(-256, dither));
        EXPECT_EQ(colors, table_of(image)) << "dither " << dither;
        EXPECT_EQ(4, dib_bit_count(image));
        EXPECT_TRUE(dib_to_pnm(image, 3).data == few.data) << "dither " << dither;
        GlobalFree(image);
        GlobalFree(copy);
        image = copy = NULL;
    }
}

// Held against djpeg -colors 256, the IJG two-pass quantiser on the same
// decoded picture.
TEST_F(Reduce, PhotoErrorIsNoWorseThanDjpeg)
{
    PnmImage photo = read_pnm_file(fixture_path("tools/photo_jpeg.ppm"));
    ASSERT_GT(photo.width, 0);
    image = pnm_to_dib(photo);
    for (int dither : {0, 1}) {
        const char* name = dither ? "photo_djpeg256_fs.ppm" : "photo_djpeg256.ppm";
        PnmImage djpeg = read_pnm_file(fixture_path(std::string("tools/") + name));
        ASSERT_EQ(photo.data.size(), djpeg.data.size());
        ASSERT_EQ(1, reduce(-256, dither));
        EXPECT_LE(table_of(image).size(), 256u);
        double ours = psnr(photo, dib_to_pnm(image, 3)), theirs = psnr(photo, djpeg);
        std::printf("PSNR %s: ours %.3f dB, djpeg %.3f dB\n", name, ours, theirs);
        EXPECT_GE(ours, theirs) << name;
    }
}

// A flat grey between entries of the standard palette: plain mapping moves
// it to the nearest entry, dithering mixes entries to keep it.
TEST_F(Reduce, DitheringKeepsTheMeanColor)
{
    image = make_dib(64, 48, 24);
    for (int y = 0; y < 48; ++y)
        std::memset(DibBlock(image, false).row(y), 124, 64 * 3);
    ASSERT_EQ(1, reduce(256, 0));
    EXPECT_GT(std::fabs(mean_of(dib_to_pnm(image, 3)) - 124), 2.0);
    ASSERT_EQ(1, reduce(256, 1));
    EXPECT_NEAR(124.0, mean_of(dib_to_pnm(image, 3)), 0.1);
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
