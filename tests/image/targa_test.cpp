// The Targa reader against netpbm's decoding (orientation by the origin
// bits), its refusals, the run-length coder, the writer read back here and
// by netpbm and ImageMagick in check_targa.sh, and the Image ID rewrite.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "image/current_image.h"
#include "image/targa.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

HGLOBAL read_tga_path(const std::string& path, char* info = nullptr)
{
    HFILE file = _lopen(path.c_str(), OF_READ);
    return file == HFILE_ERROR ? nullptr : read_tga_file(file, NULL, info);
}

HGLOBAL read_tga_bytes(const std::string& bytes, char* info = nullptr)
{
    std::string path = test_out_path("tga_bytes.tga");
    write_file_bytes(path, bytes);
    return read_tga_path(path, info);
}

std::string tga_header(int type, int width, int height, int depth, int descriptor, int id_length = 0)
{
    return std::string{(char)id_length, 0, (char)type} + std::string(9, '\0') + le16(width) + le16(height) +
           (char)depth + (char)descriptor;
}

}  // namespace

TEST(TargaRead, EveryKindMatchesNetpbm)
{
    SeamRecorder seams(32);
    struct Case { const char* name; int tolerance; bool alpha; };
    // 15-bit map entries scale by 8 here, by 255 / 31 in netpbm.
    const Case cases[] = {{"rgb", 0, false},     {"rgb_raw", 0, false},   {"cmap", 0, false},
                          {"cmap_raw", 0, false}, {"cmap16", 7, false},   {"cmap16_raw", 7, false},
                          {"grey", 0, false},    {"grey_raw", 0, false},  {"rgba", 0, true},
                          {"rgba_raw", 0, true}, {"im_rle", 0, false}, {"grey_alpha", 0, true},
                          {"grey_alpha_raw", 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibBlock image(read_tga_path(fixture_path(std::string("targa/") + c.name + ".tga")));
        expect_pixels(image.get(), read_pnm_file(fixture_path(std::string("targa/") + c.name + ".ref")), c.tolerance,
                      c.alpha);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(TargaRead, OriginBitsTurnTheRows)
{
    // The bottom-up file with its rows (bit 5) or pixels (bit 4) reversed.
    std::string file = read_file_bytes(fixture_path("targa/rgb_raw.tga"));
    PnmImage want = read_pnm_file(fixture_path("targa/rgb_raw.ref"));
    const size_t row = 37 * 3, start = 18 + (unsigned char)file[0];
    for (int descriptor : {0x20, 0x10}) {
        SCOPED_TRACE(descriptor);
        std::string turned = file.substr(0, start);
        turned[17] = (char)descriptor;
        for (int r = 0; r < 11; ++r) {
            std::string line = file.substr(start + (descriptor == 0x20 ? 10 - r : r) * row, row);
            if (descriptor == 0x10)
                for (int x = 0; x < 37; ++x)
                    turned += line.substr((36 - x) * 3, 3);
            else
                turned += line;
        }
        expect_pixels(DibBlock(read_tga_bytes(turned)).get(), want, 0, false);
    }
}

TEST(TargaRead, PacketsAcrossRowsInterleaveAndText)
{
    g_hComment = NULL;
    char info[500] = "";
    // One run packet of 3 fills row 0 and the start of row 1 (width 2).
    DibBlock dib(read_tga_bytes(tga_header(11, 2, 2, 8, 0x20, 3) + "abc" + std::string("\x82\x40\x00\x41", 4), info));
    ASSERT_TRUE(dib);
    EXPECT_STREQ("file type: Targa \nwidth: 2 \nheight: 2 \nimage type: monochrome \ncompressed data \ncolor "
                 "map type: 0 \nbits per pixel: 8 \npalette size: 0 \npalette depth (bits): 0\nfirst pixel: top left",
                 info);
    EXPECT_EQ("abc", take_comment());
    EXPECT_EQ(0x4040, dib.row(1)[0] | dib.row(1)[1] << 8);
    EXPECT_EQ(0x4140, dib.row(0)[0] | dib.row(0)[1] << 8);

    // Two-way interleave: file rows 0, 1, 2, 3 are picture rows 0, 2, 1, 3.
    dib.reset(read_tga_bytes(tga_header(3, 1, 4, 8, 0x60) + "\x0a\x0b\x0c\x0d"));
    ASSERT_TRUE(dib);
    EXPECT_EQ(0x0a, dib.row(3)[0]);
    EXPECT_EQ(0x0c, dib.row(2)[0]);
    EXPECT_EQ(0x0b, dib.row(1)[0]);
    EXPECT_EQ(0x0d, dib.row(0)[0]);

    // 15 bits read as 16.
    dib.reset(read_tga_bytes(tga_header(2, 1, 1, 15, 0) + "\xff\x7f"));
    ASSERT_TRUE(dib);
    EXPECT_EQ(16, dib.bih->biBitCount);
}

// A 12-bit true-colour header; other damage is the mutation harness's.
TEST(TargaRead, RefusesBrokenHeaderWithItsMessage)
{
    SeamRecorder seams(32);
    EXPECT_EQ(nullptr, read_tga_bytes(tga_header(2, 2, 2, 12, 0) + "abcdefgh"));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Targa File Read Error", seams.boxes[0].text);
}

TEST(TargaWrite, RunLengthPackets)
{
    const BYTE row[] = {'X', 'X', 'Y', 'Z', 'Z', 'Z'};
    BYTE out[16];
    size_t n = encode_tga_row(row, out, sizeof row, 1);
    EXPECT_EQ(std::string("\x81X\x00Y\x82Z", 6), std::string((const char*)out, n));
    BYTE flat[300];
    memset(flat, 7, sizeof flat);
    BYTE coded[400];
    n = encode_tga_row(flat, coded, 150, 2);  // 128 + 22 two-byte pixels
    EXPECT_EQ(std::string("\xff\x07\x07\x95\x07\x07", 6), std::string((const char*)coded, n));
}

TEST(TargaWrite, EveryDepthReadsBack)
{
    SeamRecorder seams(32);
    struct Case { int bits; uint32_t colours; int type; };
    const Case cases[] = {{1, 2, 1}, {4, 16, 1}, {8, 256, 3}, {8, 200, 1}, {16, 0, 2}, {24, 0, 2}, {32, 0, 2}};
    unsigned key = 1;
    for (const Case& c : cases)
        for (int rle = 0; rle < 2; ++rle) {
            DibBlock image(noise_image(c.bits, 31, 9, c.colours, key++));
            for (int i = 0; c.type == 3 && i < 256; ++i)
                image.table()[i] = quad(i, i, i);
            std::string name = "tga_write_" + std::to_string(c.bits) + "_" + std::to_string(c.colours) +
                               (rle ? "_rle" : "_raw");
            expect_written_and_read_back(
                image.get(), name + ".tga", name + ".pam",
                [rle](const char* path, HGLOBAL h) { return write_tga_file(path, h, rle); },
                [](const std::string& path) { return read_tga_path(path); }, c.bits == 32);
            // Grey, mapped or true colour, coded or not.
            EXPECT_EQ(c.type + 8 * rle, read_file_bytes(test_out_path(name + ".tga"))[2]);
        }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(TargaComment, ReplacesImageIdAndMovesTheFooter)
{
    SeamRecorder seams(32);
    // A TGA 2.0 file: 1 pixel, an extension area and the footer.
    std::string pixels = "\x01\x02\x03";
    std::string extension(495, '\0');
    extension[0] = (char)0xef;
    extension[1] = 1;
    std::string body = tga_header(2, 1, 1, 24, 0, 2) + "ab" + pixels;
    uint32_t ext_at = (uint32_t)body.size();
    std::string footer(8, '\0');
    footer[0] = (char)ext_at;
    footer += std::string("TRUEVISION-XFILE.\0", 18);
    std::string path = test_out_path("tga_comment.tga");
    write_file_bytes(path, body + extension + footer);

    // A text the Image ID cannot hold is refused whole, never cut.
    struct Case { std::string text; size_t id_length; };
    const Case cases[] = {{std::string(255, 'c'), 255}, {std::string(256, 'c'), 255}, {"", 0}, {"new", 3}};
    for (const Case& c : cases) {
        HGLOBAL text = text_block(c.text);
        std::string before = read_file_bytes(path);
        ASSERT_EQ(c.text.size() <= 255 ? 1 : 0, write_tga_comment(path.c_str(), &text));
        GlobalFree(text);
        std::string got = read_file_bytes(path);
        if (c.text.size() > 255) {
            EXPECT_EQ(before, got);
            continue;
        }
        ASSERT_EQ((unsigned char)c.id_length, (unsigned char)got[0]);
        EXPECT_EQ(c.text.substr(0, c.id_length), got.substr(18, c.id_length));
        EXPECT_EQ(pixels, got.substr(18 + c.id_length, 3));
        uint32_t moved = (unsigned char)got[got.size() - 26] | (unsigned char)got[got.size() - 25] << 8;
        EXPECT_EQ(18 + c.id_length + 3, moved);
        EXPECT_EQ((char)0xef, got[moved]);
    }
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Comment Too Long. A Targa Comment Holds at Most 255 Bytes; Nothing Was Written.", seams.boxes[0].text);
    // A comment written for check_targa.sh to read back with ImageMagick.
    HGLOBAL image = noise_image(24, 5, 4, 0, 9);
    std::string commented = test_out_path("tga_comment_check.tga");
    ASSERT_EQ(1, write_tga_file(commented.c_str(), image, 1));
    write_expected_pam(image, test_out_path("tga_comment_check.pam"));
    GlobalFree(image);
    HGLOBAL text = text_block("Image ID text");
    ASSERT_EQ(1, write_tga_comment(commented.c_str(), &text));
    GlobalFree(text);
}

TEST(TargaComment, DamagedFileStaysAsItWas)
{
    SeamRecorder seams(32);
    std::string path = test_out_path("tga_comment_bad.bin");
    write_file_bytes(path, "short");
    HGLOBAL text = text_block("kept");
    EXPECT_EQ(0, write_tga_comment(path.c_str(), &text));
    EXPECT_EQ("short", read_file_bytes(path));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Cannot Open File for Writing.", seams.boxes[0].text);
    EXPECT_NE(nullptr, text);
    GlobalFree(text);
}
