// The PNG reader against libpng's own test images as netpbm decodes them,
// its layouts and texts, hostile files; the writer's colour types and depths
// read back, and the files it leaves for check_png.sh.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "format_test_util.h"
#include "formats/png.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> read_lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string comment_text()
{
    if (!g_hComment)
        return "(none)";
    std::string text((const char*)GlobalLock(g_hComment));
    GlobalUnlock(g_hComment);
    return text;
}

void clear_comment()
{
    if (g_hComment)
        GlobalFree(g_hComment);
    g_hComment = NULL;
}

std::string be32(uint32_t v)
{
    return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

// A chunk with its CRC from zlib.
std::string chunk(const std::string& type, const std::string& data)
{
    std::string body = type + data;
    return be32((uint32_t)data.size()) + body +
           be32((uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
}

}  // namespace

TEST(PngRead, LibpngTestImagesMatchPngtopam)
{
    SeamRecorder seams(32);
    int files = 0;
    for (const std::string& line : read_lines(fixture_path("png/cases.txt"))) {
        std::istringstream fields(line);
        std::string name;
        int tolerance = 0;
        fields >> name >> tolerance;
        SCOPED_TRACE(name);
        PnmImage ref = read_pnm_file(fixture_path("png/" + name + ".pam"));
        ASSERT_FALSE(ref.empty());
        OwnedDib dib(read_png_file(fixture_path("png/" + name + ".png").c_str(), NULL));
        ASSERT_NE(nullptr, dib.handle);
        std::string first;
        EXPECT_EQ(0, count_mismatches(dib.handle, ref, tolerance, &first)) << first;
        files++;
    }
    EXPECT_GT(files, 150);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PngRead, LayoutFollowsDepthColourTypeAndTransparency)
{
    struct Case {
        const char* name;
        int bits;
        uint32_t colours;
        std::vector<BYTE> greys;  // leading table entries
    } cases[] = {
        {"basn0g01", 1, 2, {0, 255}},
        {"basn0g02", 4, 4, {0, 85, 170, 255}},
        {"basn0g04", 4, 16, {0, 17, 34}},
        {"basn0g16", 8, 256, {0, 1, 2}},
        {"basn3p02", 4, 4, {}},
        {"basn2c16", 24, 0, {}},
        {"basn4a08", 32, 0, {}},
        {"tbbn3p08", 32, 0, {}},
        {"gray-4-tRNS", 32, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = fixture_path(std::string("png/") + c.name + ".png");
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        OwnedDib dib(read_png_file(path.c_str(), NULL));
        ASSERT_NE(nullptr, dib.handle);
        LockedDib view(dib.handle);
        EXPECT_EQ(c.bits, view.bih->biBitCount);
        EXPECT_EQ(c.colours, view.bih->biClrUsed);
        for (size_t i = 0; i < c.greys.size(); i++)
            EXPECT_EQ(c.greys[i], view.table()[i].rgbRed) << i;
    }
}

TEST(PngRead, InformationTextAndDescriptionComment)
{
    char info[INFO_TEXT_SIZE] = "";
    OwnedDib grey(read_png_file(fixture_path("png/basn0g04.png").c_str(), info));
    EXPECT_STREQ("image type: PNG \nwidth: 32 \nheight: 32 \nbit depth: 4 \ncolor type: grayscale \n"
                 "interlace type: none \nimage gamma: 1.00 ",
                 info);
    info[0] = 0;
    OwnedDib interlaced(read_png_file(fixture_path("png/ibasn6a08.png").c_str(), info));
    EXPECT_NE(nullptr, strstr(info, "color type: RGB; alpha channel \ninterlace type: adam7 \n"));
    clear_comment();
    info[0] = 0;
    OwnedDib described(read_png_file(fixture_path("png/described.png").c_str(), info));
    EXPECT_EQ("A comment, read back", comment_text());
    clear_comment();
}

TEST(PngRead, HostileFilesGiveNullWithoutMessages)
{
    SeamRecorder seams(32);
    std::vector<std::string> files;
    for (const std::string& name : read_lines(fixture_path("png/crashers.txt")))
        files.push_back(read_file_bytes(fixture_path("png/crashers/" + name)));
    // Truncated at every length, and a header announcing 2^31 - 1 columns.
    std::string whole = read_file_bytes(fixture_path("png/basn3p08.png"));
    ASSERT_FALSE(whole.empty());
    for (size_t n = 0; n < whole.size(); n += 7)
        files.push_back(whole.substr(0, n));
    std::string ihdr = be32(0x7FFFFFFF) + be32(4) + std::string("\x08\x02\0\0\0", 5);
    files.push_back("\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr) + whole.substr(33));
    std::string path = test_out_path("hostile.png");
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(write_file_bytes(path, files[i]));
        OwnedDib dib(read_png_file(path.c_str(), NULL));
        if (dib.handle) {
            EXPECT_TRUE(is_valid_packed_dib(dib.handle));
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

namespace {

struct WriteCase {
    const char* name;
    int bits;
    std::vector<RGBQUAD> table;
    int color_type;  // IHDR bytes the file must carry
    int depth;
};

// Pixels that use every table entry, or varied colours and alphas.
HGLOBAL make_written_image(const WriteCase& c, int width, int height)
{
    HGLOBAL h = make_dib(width, height, c.bits, c.table, (uint32_t)c.table.size());
    LockedDib dib(h);
    for (int y = 0; y < height; y++) {
        BYTE* row = dib.row(y);
        for (int x = 0; x < width; x++) {
            unsigned v = (unsigned)(x * 7 + y * 13);
            if (c.bits <= 8)
                set_index(row, c.bits, x, v % c.table.size());
            else if (c.bits == 16)
                ((WORD*)row)[x] = (WORD)(v * 1031 & 0x7FFF);
            else
                for (int b = 0; b < c.bits / 8; b++)
                    row[x * (c.bits / 8) + b] = (BYTE)(v * (b + 3) + b);
        }
    }
    if (!strcmp(c.name, "rgba_zero_alpha"))
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                dib.row(y)[4 * x + 3] = 0;
    return h;
}

std::vector<RGBQUAD> ramp(int n, int step)
{
    std::vector<RGBQUAD> t;
    for (int i = 0; i < n; i++)
        t.push_back(quad((BYTE)(i * step), (BYTE)(i * step), (BYTE)(i * step)));
    return t;
}

// The picture as the written file must decode: RGBA, top row first.
std::vector<uint8_t> expected_rgba(HGLOBAL h, bool opaque)
{
    LockedDib dib(h);
    std::vector<uint8_t> out;
    for (int y = 0; y < dib.bih->biHeight; y++)
        for (int x = 0; x < dib.bih->biWidth; x++) {
            uint8_t p[4];
            if (dib.bih->biBitCount == 16) {
                WORD v = ((WORD*)dib.row(dib.bih->biHeight - 1 - y))[x];
                p[0] = (uint8_t)((v >> 10 & 31) * 8), p[1] = (uint8_t)((v >> 5 & 31) * 8);
                p[2] = (uint8_t)((v & 31) * 8), p[3] = 255;
            } else {
                dib_rgba(dib, x, y, p);
            }
            if (opaque)
                p[3] = 255;
            out.insert(out.end(), p, p + 4);
        }
    return out;
}

}  // namespace

TEST(PngWrite, ChoosesColourTypeAndDepthAndReadsBackIdentically)
{
    SeamRecorder seams(32);
    std::vector<RGBQUAD> colours = {quad(200, 10, 10), quad(10, 200, 10), quad(10, 10, 200),
                                    quad(90, 90, 0), quad(1, 2, 3)};
    WriteCase cases[] = {
        {"grey1_black_first", 1, {quad(0, 0, 0), quad(255, 255, 255)}, 0, 1},
        {"grey1_white_first", 1, {quad(255, 255, 255), quad(0, 0, 0)}, 0, 1},
        {"grey2", 4, ramp(4, 85), 0, 2},
        {"grey4", 4, ramp(16, 17), 0, 4},
        {"grey8", 8, ramp(256, 1), 0, 8},
        {"palette1", 1, {quad(200, 0, 0), quad(0, 0, 90)}, 3, 1},
        {"palette2", 4, {colours[0], colours[1], colours[2]}, 3, 2},
        {"palette4", 4, colours, 3, 4},
        {"palette8", 8, colours, 3, 8},
        {"rgb555", 16, {}, 2, 8},
        {"rgb24", 24, {}, 2, 8},
        {"rgba32", 32, {}, 6, 8},
        {"rgba_zero_alpha", 32, {}, 2, 8},
    };
    for (const WriteCase& c : cases) {
        for (int interlace = 0; interlace < 2; interlace++) {
            std::string name = std::string("png_write_") + c.name + (interlace ? "_adam7" : "");
            SCOPED_TRACE(name);
            OwnedDib image(make_written_image(c, 19, 11));
            std::string path = test_out_path(name + ".png");
            ASSERT_EQ(1, write_png_file(path.c_str(), image.handle, interlace));
            std::string bytes = read_file_bytes(path);
            ASSERT_GT(bytes.size(), 29u);
            EXPECT_EQ(c.depth, (BYTE)bytes[24]);
            EXPECT_EQ(c.color_type, (BYTE)bytes[25]);
            EXPECT_EQ(interlace, (BYTE)bytes[28]);
            std::vector<uint8_t> want = expected_rgba(image.handle, c.color_type != 6);
            ASSERT_TRUE(write_pam_file(test_out_path(name + ".pam"), 19, 11, 4, want));
            OwnedDib back(read_png_file(path.c_str(), NULL));
            ASSERT_NE(nullptr, back.handle);
            EXPECT_EQ(want, expected_rgba(back.handle, false));
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PngWrite, TransparentIndexBecomesTrnsUnlessColoursWereConverted)
{
    OwnedDib image(make_dib(4, 2, 8, ramp(4, 85), 4));
    set_index(LockedDib(image.handle).row(0), 8, 1, 2);
    g_hasTransparency = 1;
    g_transparentIndex = 2;
    g_transparentDisplayColor = 0x00112233;
    std::string path = test_out_path("png_write_transparent.png");
    ASSERT_EQ(1, write_png_file(path.c_str(), image.handle, 0));
    std::string bytes = read_file_bytes(path);
    EXPECT_EQ(3, (BYTE)bytes[25]);
    EXPECT_NE(std::string::npos, bytes.find(chunk("tRNS", std::string("\xff\xff\0\xff", 4))));
    OwnedDib back(read_png_file(path.c_str(), NULL));
    LockedDib view(back.handle);
    ASSERT_EQ(32, view.bih->biBitCount);
    EXPECT_EQ(0, view.row(0)[4 + 3]);
    EXPECT_EQ(0x33, view.row(0)[4 + 0]);
    g_colorConversion = 1;
    ASSERT_EQ(1, write_png_file(path.c_str(), image.handle, 0));
    EXPECT_EQ(0, (BYTE)read_file_bytes(path)[25]);
    g_colorConversion = 0;
    g_hasTransparency = 0;
}

TEST(PngWrite, UnwritablePathFailsAndLeavesNothing)
{
    OwnedDib image(make_dib(3, 3, 24));
    std::string path = test_out_path("no_such_folder\\out.png");
    EXPECT_EQ(0, write_png_file(path.c_str(), image.handle, 0));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}
