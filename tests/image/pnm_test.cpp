// The PBM-family reader against netpbm's own decoding, its refusals, the
// writers (read back here and by netpbm in check_pnm.sh) and the comment
// rewrite.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "image/current_image.h"
#include "image/pnm.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

HGLOBAL read_bytes(const std::string& name, const std::string& bytes, char* info = nullptr)
{
    std::string path = test_out_path(name);
    write_file_bytes(path, bytes);
    return read_pnm_file(path.c_str(), info);
}

}  // namespace

TEST(PnmRead, EveryNetpbmKindMatchesNetpbm)
{
    SeamRecorder seams(32);
    // Each layout once, below and above 8 bits per sample.
    const char* names[] = {
        "raw_bits.pbm", "plain_bits.pbm", "raw_grey_15.pgm", "raw_grey_255.pgm", "raw_grey_65535.pgm",
        "plain_grey_1023.pgm", "raw_colour_7.ppm", "raw_colour_255.ppm", "raw_colour_65535.ppm",
        "plain_colour_255.ppm", "pam_grey_255.pam", "pam_colour_1023.pam", "pam_grey_alpha_65535.pam",
        "pam_colour_alpha_255.pam"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        std::string path = fixture_path(std::string("pnm/") + name);
        std::string base = path.substr(0, path.rfind('.'));
        DibBlock image(read_pnm_file(path.c_str(), nullptr));
        // Truncating scales differ from netpbm's rounding by at most 1.
        expect_pixels(image.get(), read_pnm_file(base + ".ref"), 1, true);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PnmRead, HeaderCommentsAndInformationText)
{
    take_comment();
    char info[INFO_TEXT_SIZE] = "";
    DibBlock dib(read_bytes("pnm_info.pgm", "# first\nP5\n#second line\n# third\n2 1\n15\n\x03\x0f", info));
    ASSERT_TRUE(dib);
    EXPECT_STREQ("image type: Portable Bitmap (pbmplus) binary graymap (P5)\nwidth: 2 \nheight: 1 \ndepth: 4"
                 "\ncolor components: 1",
                 info);
    EXPECT_EQ("first\rsecond line\rthird\r", take_comment());
    EXPECT_EQ(16u, dib.bih->biClrUsed);  // indices into a 16-step ramp, as stored
    EXPECT_EQ(3, dib.row(0)[0]);
    EXPECT_EQ(17, dib.table()[1].rgbRed);

    // Without an information text nothing is collected.
    dib.reset(read_bytes("pnm_info2.pgm", "P5\n# other\n2 1\n15\n\x03\x0f", nullptr));
    EXPECT_EQ("(none)", take_comment());
}

TEST(PnmRead, UnseparatedBitmapDigitsAndStandardPamTupleType)
{
    DibBlock dib(read_bytes("pnm_digits.pbm", "P1\n4 1\n0110"));
    ASSERT_TRUE(dib);
    EXPECT_EQ(0x60, dib.row(0)[0]);

    char info[INFO_TEXT_SIZE] = "";
    dib.reset(read_bytes("pnm_tupl.pam",
                         std::string("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n") +
                             "\x01\x02\x03\x04", info));
    ASSERT_TRUE(dib);
    EXPECT_EQ(std::string::npos, std::string(info).find("tupletype"));
    EXPECT_EQ(32, dib.bih->biBitCount);
    EXPECT_EQ(0x04010203u, dib.raw(0, 0));
    take_comment();
}

// What the reader refuses, and with which message: a file that is no PBM
// file at all is the loader's to report; a header it cannot take, or one
// that claims far more raster than the file holds, gets "File Read Error"
// before anything is allocated. Other damage is the mutation harness's.
TEST(PnmRead, RefusesWhatItCannotReadWithItsMessage)
{
    struct Case { const char* name; std::string bytes; const char* message; };
    const Case cases[] = {
        {"pnm_refused.ppm", "P6\n2 2\n70000\n" + std::string(24, '\x01'), "File Read Error"},
        {"pnm_refused_type.pnm", "P9\n2 2\n255\n\x01\x02\x03\x04", "File Read Error"},
        {"pnm_refused_huge.ppm", "P6 12700 12700 255\n", "File Read Error"},
        {"pnm_refused_huge.pam",
         "P7\nWIDTH 11585\nHEIGHT 11585\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" + std::string(8, '\xff'),
         "File Read Error"},
        {"pnm_refused_not.pgm", "not a portable map", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SeamRecorder seams(32);
        EXPECT_EQ(nullptr, read_bytes(c.name, c.bytes));
        ASSERT_EQ(c.message ? 1u : 0u, seams.boxes.size());
        if (c.message)
            EXPECT_EQ(c.message, seams.boxes[0].text);
    }
    SeamRecorder seams(32);
    EXPECT_EQ(nullptr, read_pnm_file(test_out_path("pnm_no_such_file.pgm").c_str(), nullptr));
    EXPECT_TRUE(seams.boxes.empty());

    // A raster cut to a quarter still shows, its missing rows 0.
    DibBlock cut(read_bytes("pnm_cut.pgm", "P5\n4 4\n255\n\x09\x09\x09\x09"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(9, cut.row(3)[3]);
    EXPECT_EQ(0, cut.row(0)[0]);
    EXPECT_TRUE(seams.boxes.empty());
}

// A binary raster begins after the one white-space character that ends the
// header, even when that is a blank on the header line and the raster
// begins with bytes that look like blanks or line ends.
TEST(PnmRead, BinaryRasterBeginsAfterOneWhiteSpaceCharacter)
{
    struct Case { const char* name; std::string bytes; uint32_t first_row; };
    const Case cases[] = {
        {"pnm_blank_end.pgm", "P5 3 1 255 \x41\x0a\x42", 0x420a41},
        {"pnm_blank_lf.pgm", "P5\n3 1\n255\n\x0d\x0a\x20", 0x200a0d},
        {"pnm_blank_end.pbm", "P4 8 1 \x0a", 0x0a},
        {"pnm_hash_end.pgm", "P5 3 1 255#note\n\x20\x21\x22", 0x222120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibBlock dib(read_bytes(c.name, c.bytes));
        ASSERT_TRUE(dib);
        const BYTE* row = dib.row(0);
        EXPECT_EQ(c.first_row, (uint32_t)(row[0] | row[1] << 8 | row[2] << 16) & (dib.bih->biBitCount == 1 ? 0xff : ~0u));
    }
}

// Graymaps past 16 bits: three or four bytes a sample, the full ranges
// keeping the first byte, other maxvals scaled.
TEST(PnmRead, GraymapSamplesWiderThanSixteenBits)
{
    struct Case { const char* name; std::string bytes; BYTE want[2]; };
    const Case cases[] = {
        {"pnm_wide_24.pgm", std::string("P5\n2 1\n16777215\n\x80\x7f\xff\x12\x34\x56", 22), {0x80, 0x12}},
        {"pnm_wide_32.pgm", std::string("P5\n2 1\n4294967295\n\xfe\0\0\x01\x01\0\0\0", 26), {0xfe, 0x01}},
        {"pnm_wide_70000.pgm", std::string("P5\n2 1\n70000\n\x01\x11\x70\0\x88\xb8", 19), {255, 127}},
    };
    SeamRecorder seams(32);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibBlock dib(read_bytes(c.name, c.bytes));
        ASSERT_TRUE(dib);
        EXPECT_EQ(256u, dib.bih->biClrUsed);
        EXPECT_EQ(c.want[0], dib.row(0)[0]);
        EXPECT_EQ(c.want[1], dib.row(0)[1]);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PnmWrite, EveryWriterReadsBack)
{
    SeamRecorder seams(32);
    struct Case { const char* name; int bits; uint32_t colours; int (*write)(const char*, HGLOBAL); };
    const Case cases[] = {
        {"pnm_write_pbm.pbm", 1, 2, write_pbm_file},     {"pnm_write_pgm8.pgm", 8, 256, write_pgm_file},
        {"pnm_write_ppm1.ppm", 1, 2, write_ppm_file},    {"pnm_write_ppm4.ppm", 4, 11, write_ppm_file},
        {"pnm_write_ppm8.ppm", 8, 200, write_ppm_file},  {"pnm_write_ppm16.ppm", 16, 0, write_ppm_file},
        {"pnm_write_ppm24.ppm", 24, 0, write_ppm_file},  {"pnm_write_pam32.pam", 32, 0, write_ppm_file},
    };
    unsigned key = 3;
    for (const Case& c : cases) {
        DibBlock image(noise_image(c.bits, 19, 6, c.colours, key++));
        // PBM and PGM keep grey pictures only.
        for (uint32_t i = 0; (c.bits == 1 || c.write == write_pgm_file) && i < (c.bits == 1 ? 2u : 256u); ++i)
            image.table()[i] = c.bits == 1 ? quad(i ? 255 : 0, i ? 255 : 0, i ? 255 : 0) : quad(i, i, i);
        expect_written_and_read_back(image.get(), c.name, c.name + std::string(".ref"), c.write,
                                     [](const std::string& p) { return read_pnm_file(p.c_str(), nullptr); },
                                     c.bits == 32);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PnmWrite, HeadersAndSamples)
{
    // A 16-step grey ramp keeps maxval 15; PBM refuses it.
    DibBlock ramp(noise_image(4, 3, 1, 16, 1));
    for (int i = 0; i < 16; ++i)
        ramp.table()[i] = quad(i * 17, i * 17, i * 17);
    ramp.row(0)[0] = 0x0F;
    ramp.row(0)[1] = 0xA0;
    std::string path = test_out_path("pnm_ramp.pgm");
    ASSERT_EQ(1, write_pgm_file(path.c_str(), ramp.get()));
    EXPECT_EQ(std::string("P5\n3 1\n15\n\x00\x0f\x0a", 13), read_file_bytes(path));
    EXPECT_EQ(0, write_pbm_file(path.c_str(), ramp.get()));

    // A white-first table writes the same bits as a black-first one.
    for (int reversed = 0; reversed < 2; ++reversed) {
        DibBlock bits(make_dib(9, 1, 1, {quad(0, 0, 0), quad(255, 255, 255)}));
        bits.row(0)[0] = reversed ? 0x5A : 0xA5;
        bits.row(0)[1] = reversed ? 0x00 : 0x80;
        if (reversed)
            std::swap(bits.table()[0], bits.table()[1]);
        ASSERT_EQ(1, write_pbm_file(path.c_str(), bits.get()));
        EXPECT_EQ(std::string("P4\n9 1\n\x5a\x00", 9), read_file_bytes(path)) << reversed;
    }
}

TEST(PnmComment, RewritesHeaderAndKeepsRaster)
{
    SeamRecorder seams(32);
    struct Case { const char* name; std::string before; const char* text; std::string after; };
    const std::string raster("\x01\n#\x02", 4);
    const Case cases[] = {
        {"pnm_comment_p5.pgm", "P5\n# one\n# two\n2 2\n255\n" + raster, "new first\r\nnew second\r\n",
         "P5\n# new first\n# new second\n2 2\n255\n" + raster},
        {"pnm_comment_cr.pgm", "P5 2 2 255\n" + raster, "a\rb\r", "P5\n# a\n# b\n2 2\n255\n" + raster},
        {"pnm_comment_blank.pgm", "P5 2 2 255 " + raster, "z", "P5\n# z\n2 2\n255\n" + raster},
        {"pnm_comment_empty.pgm", "P5\n# gone\n2 2\n255\n" + raster, "", "P5\n2 2\n255\n" + raster},
        {"pnm_comment_plain.pgm", "P2\n2 1\n9\n3 # inside\n4\n", "x", "P2\n# x\n2 1\n9\n3 \n4\n"},
        {"pnm_comment_pam.pam",
         "P7\nWIDTH 1\n# c\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLETYPE GRAYSCALE\nENDHDR\n\x05", "y",
         "P7\n# y\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x05"},
        {"pnm_comment_bare.pam", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\n\x05", "",
         "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\n\x05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = test_out_path(c.name);
        write_file_bytes(path, c.before);
        HGLOBAL text = text_block(c.text);
        EXPECT_EQ(1, write_pnm_comment(path.c_str(), &text));
        EXPECT_EQ(c.after, read_file_bytes(path));
        GlobalFree(text);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PnmComment, DamagedFileStaysAsItWas)
{
    const char* files[] = {"not a pnm file", "P7\nWIDTH 1\nHEIGHT 1\n"};
    for (const char* bytes : files) {
        SeamRecorder seams(32);
        std::string path = test_out_path("pnm_comment_bad.pam");
        write_file_bytes(path, bytes);
        HGLOBAL text = text_block("kept");
        EXPECT_EQ(0, write_pnm_comment(path.c_str(), &text));
        EXPECT_EQ(bytes, read_file_bytes(path));
        EXPECT_EQ(1u, seams.boxes.size());
        ASSERT_NE(nullptr, text);  // the typed comment survives
        GlobalFree(text);
    }
}
