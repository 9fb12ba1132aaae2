// The PNG reader against libpng's own test images as netpbm decodes them;
// the writer's colour types and depths read back and left for check_png.sh.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "format_test_util.h"
#include "formats/png.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"

TEST(PngRead, LibpngTestImagesMatchPngtopam)
{
    SeamRecorder seams(32);
    std::ifstream cases(fixture_path("png/cases.txt"));
    std::string name;
    int tolerance = 0, files = 0;
    while (cases >> name >> tolerance) {
        SCOPED_TRACE(name);
        PnmImage ref = read_pnm_file(fixture_path("png/" + name + ".pam"));
        DibBlock dib(read_png_file(fixture_path("png/" + name + ".png").c_str(), NULL));
        ASSERT_NE(nullptr, dib.get());
        EXPECT_LE(max_pixel_difference(dib.get(), ref, true), tolerance);
        files++;
    }
    EXPECT_GT(files, 150);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PngRead, LayoutFollowsDepthColourTypeAndTransparency)
{
    const struct {
        const char* name;
        int bits;
        uint32_t colours;
    } cases[] = {
        {"basn0g01", 1, 2},   {"basn0g02", 4, 4},   {"basn0g04", 4, 16},  {"basn0g16", 8, 256},  {"basn3p02", 4, 4},
        {"basn2c16", 24, 0},  {"basn4a08", 32, 0},  {"ftbbn3p08", 32, 0}, {"gray-4-tRNS", 32, 0},
    };
    for (const auto& c : cases) {
        DibBlock dib(read_png_file(fixture_path(std::string("png/") + c.name + ".png").c_str(), NULL));
        ASSERT_NE(nullptr, dib.get()) << c.name;
        EXPECT_EQ(c.bits, dib.bih->biBitCount) << c.name;
        EXPECT_EQ(c.colours, dib.bih->biClrUsed) << c.name;
    }
}

TEST(PngRead, InformationTextAndDescriptionComment)
{
    char info[INFO_TEXT_SIZE] = "";
    DibBlock grey(read_png_file(fixture_path("png/basn0g04.png").c_str(), info));
    EXPECT_STREQ("image type: PNG \nwidth: 32 \nheight: 32 \nbit depth: 4 \ncolor type: grayscale \n"
                 "interlace type: none \nimage gamma: 1.00 ",
                 info);
    info[0] = 0;
    DibBlock interlaced(read_png_file(fixture_path("png/ibasn6a08.png").c_str(), info));
    EXPECT_NE(nullptr, strstr(info, "color type: RGB; alpha channel \ninterlace type: adam7 \n"));
    DibBlock described(read_png_file(fixture_path("png/described.png").c_str(), info));
    EXPECT_EQ("A comment, read back", take_comment());
}

TEST(PngRead, HeaderOfTwoBillionColumnsIsRefusedWithAMessage)
{
    SeamRecorder seams(32);
    std::string whole = read_file_bytes(fixture_path("png/basn3p08.png"));
    std::string ihdr = be32(0x7FFFFFFF) + be32(4) + std::string("\x08\x02\0\0\0", 5);
    std::string path = test_out_path("hostile.png");
    ASSERT_TRUE(write_file_bytes(path, whole.substr(0, 8) + png_chunk("IHDR", ihdr) + whole.substr(33)));
    EXPECT_EQ(nullptr, DibBlock(read_png_file(path.c_str(), NULL)).get());
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("File Read Error", seams.boxes[0].text);
}

// Chunks and pictures a few bytes claim to be hundreds of megabytes
// (tests/fixtures/make_hostile_formats.sh): refused with a message before
// anything near that size is committed.
TEST(PngRead, ClaimsTheFileCannotFillAreRefusedWithinItsBytes)
{
    const struct {
        const char* name;
        const char* message;
    } CASES[] = {
        {"PNG-text-512mb.png", "File Read Error"},
        {"PNG-splt-512mb.png", "File Read Error"},
        {"PNG-rgba-larger-than-file.png", "Memory Allocation Error"},
    };
    for (const auto& c : CASES) {
        SeamRecorder seams(32);
        PeakMemoryWatch watch;
        ASSERT_TRUE(watch.works());
        EXPECT_EQ(nullptr, DibBlock(read_png_file(fixture_path(std::string("hostile/") + c.name).c_str(), NULL)).get())
            << c.name;
        EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN) << c.name;
        ASSERT_EQ(1u, seams.boxes.size()) << c.name;
        EXPECT_EQ(c.message, seams.boxes[0].text) << c.name;
    }
}

TEST(PngWrite, ChoosesColourTypeAndDepth)
{
    SeamRecorder seams(32);
    std::vector<RGBQUAD> colours = {quad(200, 10, 10), quad(10, 200, 10), quad(10, 10, 200), quad(1, 2, 3)};
    struct Case {
        const char* name;
        int bits;
        std::vector<RGBQUAD> table;
        int color_type;  // IHDR bytes the file must carry
        int depth;
    } cases[] = {
        {"grey1_black_first", 1, {quad(0, 0, 0), quad(255, 255, 255)}, 0, 1},
        {"grey1_white_first", 1, {quad(255, 255, 255), quad(0, 0, 0)}, 0, 1},
        {"grey2", 4, grey_ramp(4, 85), 0, 2},
        {"grey4", 4, grey_ramp(16, 17), 0, 4},
        {"grey8", 8, grey_ramp(256, 1), 0, 8},
        {"palette1", 1, {quad(200, 0, 0), quad(0, 0, 90)}, 3, 1},
        {"palette2", 4, {colours[0], colours[1], colours[2]}, 3, 2},
        {"palette4", 4, {colours[0], colours[1], colours[2], colours[3], quad(5, 5, 5)}, 3, 4},
        {"palette8", 8, colours, 3, 8},
        {"rgb555", 16, {}, 2, 8},
        {"rgb24", 24, {}, 2, 8},
        {"rgba32", 32, {}, 6, 8},
        {"rgba_zero_alpha", 32, {}, 2, 8},
    };
    for (const auto& c : cases) {
        DibBlock image(make_pattern(19, 11, c.bits, c.table));
        if (!strcmp(c.name, "rgba_zero_alpha"))
            for (int i = 3; i < 19 * 11 * 4; i += 4)
                image.row(0)[i] = 0;
        for (int interlace = 0; interlace < 2; interlace++) {
            std::string name = std::string("png_write_") + c.name + (interlace ? "_adam7" : "");
            SCOPED_TRACE(name);
            std::string path = test_out_path(name + ".png");
            ASSERT_EQ(1, write_png_file(path.c_str(), image.get(), interlace));
            std::string bytes = read_file_bytes(path);
            EXPECT_EQ(std::string({(char)c.depth, (char)c.color_type}), bytes.substr(24, 2));
            EXPECT_EQ(interlace, bytes[28]);
            PnmImage want = dib_to_pnm(image.get(), 4);
            for (size_t i = 3; c.color_type != 6 && i < want.data.size(); i += 4)
                want.data[i] = 255;
            // check_png.sh compares ImageMagick's reading with it
            ASSERT_TRUE(write_pnm_file(test_out_path(name + ".pam"), want));
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PngWrite, TransparentIndexBecomesTrnsUnlessColoursWereConverted)
{
    DibBlock image(make_pattern(4, 2, 8, grey_ramp(4, 85)));
    g_hasTransparency = 1;
    g_transparentIndex = 2;
    g_transparentDisplayColor = 0x00112233;
    std::string path = test_out_path("png_write_transparent.png");
    ASSERT_EQ(1, write_png_file(path.c_str(), image.get(), 0));
    std::string bytes = read_file_bytes(path);
    EXPECT_EQ(3, bytes[25]);
    EXPECT_NE(std::string::npos, bytes.find(png_chunk("tRNS", std::string("\xff\xff\0\xff", 4))));
    DibBlock back(read_png_file(path.c_str(), NULL));
    // Pixel (2, 1) holds index 2: the display colour, fully transparent.
    std::vector<uint8_t> rgba = dib_to_pnm(back.get(), 4).data;
    EXPECT_EQ(std::vector<uint8_t>({0x11, 0x22, 0x33, 0}), std::vector<uint8_t>(rgba.begin() + 24, rgba.begin() + 28));
    g_colorConversion = 1;
    ASSERT_EQ(1, write_png_file(path.c_str(), image.get(), 0));
    EXPECT_EQ(0, read_file_bytes(path)[25]);
    g_colorConversion = 0;
    g_hasTransparency = 0;
}
