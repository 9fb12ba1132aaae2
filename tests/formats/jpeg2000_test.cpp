// Both JPEG 2000 readers against opj_compress's files as opj_decompress
// decodes them, their texts and messages.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "formats/jpeg2000.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"

namespace {

std::string j2k(const std::string& name)
{
    return fixture_path("jpeg2000/" + name);
}

}  // namespace

TEST(Jpeg2000Read, BothReadersMatchOpjDecompress)
{
    SeamRecorder seams(32);
    struct Case {
        const char* file;
        int colour_managed_bits;  // read_jpeg2000_jasper
        int plain_bits;           // read_jpeg2000_openjpeg
        int tolerance;            // above 8 bits: a shift against netpbm's rounding
    } cases[] = {
        {"rgb.j2k", 24, 24, 0},   {"rgb.jp2", 24, 24, 0},   {"grey.jp2", 8, 8, 0},
        {"grey12.j2k", 8, 8, 1},  {"rgb16.jp2", 24, 24, 1}, {"rgba.jp2", 32, 32, 0},
        {"greya.jp2", 8, 32, 0},  {"sub420.j2k", 24, 24, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string name = c.file;
        PnmImage ref = read_pnm_file(j2k(name.substr(0, name.size() - 4) + ".pam"));
        // YCC to RGB: opj_decompress truncates where the reader rounds.
        bool is_ycc = name == "sub420.j2k";
        DibBlock managed(read_jpeg2000_jasper(j2k(name).c_str(), NULL));
        ASSERT_NE(nullptr, managed.get());
        EXPECT_EQ(c.colour_managed_bits, managed.bih->biBitCount);
        if (c.colour_managed_bits != 8 || ref.channels == 1)
            EXPECT_LE(max_pixel_difference(managed.get(), ref, true), is_ycc ? 2 : c.tolerance);
        if (is_ycc)
            ref = read_pnm_file(j2k("sub420_plain.pam"));
        int format = name.substr(name.size() - 3) == "jp2" ? FMT_JP2 : FMT_J2K;
        DibBlock plain(read_jpeg2000_openjpeg(j2k(name).c_str(), NULL, &format));
        ASSERT_NE(nullptr, plain.get());
        EXPECT_EQ(c.plain_bits, plain.bih->biBitCount);
        EXPECT_LE(max_pixel_difference(plain.get(), ref, true), c.tolerance);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(Jpeg2000Read, InformationTexts)
{
    char info[INFO_TEXT_SIZE] = "";
    DibBlock managed(read_jpeg2000_jasper(j2k("rgb.jp2").c_str(), info));
    EXPECT_STREQ("image type: JPEG 2000 (JP2)\nwidth: 61 \nheight: 37\ndepth: 8\ncolor components: 3\n"
                 "colorspace: RGB\n",
                 info);
    int format = FMT_J2K;
    DibBlock plain(read_jpeg2000_openjpeg(j2k("grey12.j2k").c_str(), info, &format));
    EXPECT_STREQ("image type: JPEG 2000 (J2K)\nwidth: 61 \nheight: 37 \nnumber of components: 1 \n"
                 "precision: 12 bits ",
                 info);
}

TEST(Jpeg2000Read, FailuresReportAsEachReaderShould)
{
    SeamRecorder seams(32);
    int format = FMT_PNG;
    EXPECT_EQ(nullptr, read_jpeg2000_openjpeg(j2k("rgb.j2k").c_str(), NULL, &format));
    std::string missing = j2k("missing.j2k");
    EXPECT_EQ(nullptr, read_jpeg2000_jasper(missing.c_str(), NULL));
    EXPECT_TRUE(seams.boxes.empty());
    format = FMT_J2K;
    EXPECT_EQ(nullptr, read_jpeg2000_openjpeg(missing.c_str(), NULL, &format));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("ERROR -> failed to open file for reading\n", seams.boxes[0].text);
    EXPECT_EQ(missing, seams.boxes[0].caption);

    // A cut file and 2^31 columns: the first reader is silent, the second says so.
    std::string whole = read_file_bytes(j2k("rgb.j2k")), huge = whole;
    huge.replace(8, 4, "\x7F\xFF\xFF\xFF");
    std::string path = test_out_path("hostile.j2k");
    for (const std::string& file : {huge, whole.substr(0, 40)}) {
        write_file_bytes(path, file);
        seams.boxes.clear();
        EXPECT_EQ(nullptr, DibBlock(read_jpeg2000_jasper(path.c_str(), NULL)).get());
        EXPECT_TRUE(seams.boxes.empty());
        EXPECT_EQ(nullptr, DibBlock(read_jpeg2000_openjpeg(path.c_str(), NULL, &format)).get());
        ASSERT_EQ(1u, seams.boxes.size());
    }
    EXPECT_EQ("ERROR -> Unable to decode image!", seams.boxes[0].text);
}
