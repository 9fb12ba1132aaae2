// The JPEG readers against djpeg and ImageMagick on cjpeg's and
// ImageMagick's files (make_jpeg.sh, make_regress.sh), and files built here.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "jpeg/jpeg_comment.h"
#include "jpeg/jpeg_test_util.h"
#include "support/seam_recorder.h"

extern "C" {
#include "jpeglib8.h"
}

namespace {

// The test program carries the colour profiles as its own resources.
struct JpegReadTest : ::testing::Test {
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        g_hComment = g_hApp12Text = NULL;
        g_jpegColorSpace = g_jpegProgressive = g_jpegLossless = -1;
    }
    void TearDown() override
    {
        for (HGLOBAL* text : {&g_hComment, &g_hApp12Text}) {
            if (*text)
                GlobalFree(*text);
            *text = NULL;
        }
    }
    SeamRecorder seams;
};

std::string text_of(HGLOBAL hText)
{
    std::string result = hText ? (const char*)GlobalLock(hText) : "";
    GlobalUnlock(hText);
    return result;
}

class JpegMatchesDjpeg : public JpegReadTest, public ::testing::WithParamInterface<const char*> {};

// The same library and settings as djpeg -dct int: exactly its pixels.
TEST_P(JpegMatchesDjpeg, SamePixels)
{
    std::string name = GetParam();
    PnmImage expected = read_pnm_file(jpeg_fixture(name + ".pnm"));
    EXPECT_EQ(max_difference(decode_jpeg(jpeg_fixture(name + ".jpg")), expected), 0);
    EXPECT_TRUE(seams.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(CjpegFiles, JpegMatchesDjpeg,
                         ::testing::Values("baseline", "progressive", "arithmetic", "grey", "sample21", "rgb",
                                           "odd_17x5"));

TEST_F(JpegReadTest, InformationTextAndFactsOfAProgressiveFile)
{
    char info[INFO_TEXT_SIZE] = "";
    ASSERT_FALSE(decode_jpeg(jpeg_fixture("progressive.jpg"), info).empty());
    EXPECT_STREQ(info, "image type: JPEG \nwidth: 67 \nheight: 45 \nbits in sample: 8 "
                       "\ncolor components: 3 \ncolor space: Y/Cb/Cr \nprogressive file structure");
    EXPECT_EQ(g_jpegColorSpace, JPEG_COLOR_YCBCR);
}

TEST_F(JpegReadTest, CmykFileFromImageMagickMatchesItsSrgbRendering)
{
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(jpeg_fixture("cmyk.jpg").c_str(), info);
    ASSERT_NE(hDib, nullptr);
    PnmImage rgba = dib_to_pnm(hDib, 4), got = dib_to_pnm(hDib, 3);
    GlobalFree(hDib);
    for (size_t i = 3; i < rgba.data.size(); i += 4)
        ASSERT_EQ(rgba.data[i], 0) << "32-bit pixels, alpha byte zero";
    EXPECT_TRUE(pixels_within(got, read_pnm_file(jpeg_fixture("cmyk.ppm")), 4));
    EXPECT_NE(std::string(info).find("color space: Y/Cb/Cr/K"), std::string::npos);
    EXPECT_EQ(g_jpegColorSpace, JPEG_COLOR_YCCK);
}

// Every CMYK file is taken as stored inverted, as Adobe's applications
// write it, whether or not it carries their marker: both files below store
// the inverse of C 200, M 20, Y 20, K 128 and show the same colour.
TEST_F(JpegReadTest, CmykIsTakenInvertedWithOrWithoutAdobeMarker)
{
    for (boolean adobe : {FALSE, TRUE}) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        std::string path = test_out_path(adobe ? "cmyk_adobe.jpg" : "cmyk_plain.jpg");
        FILE* fp = fopen(path.c_str(), "wb");
        jpeg_stdio_dest(&cinfo, fp);
        cinfo.image_width = cinfo.image_height = 8;
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
        jpeg_set_defaults(&cinfo);
        cinfo.write_Adobe_marker = adobe;
        jpeg_set_quality(&cinfo, 100, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        std::vector<JSAMPLE> row;
        for (int x = 0; x < 8; ++x)
            row.insert(row.end(), {255 - 200, 255 - 20, 255 - 20, 255 - 128});
        for (JSAMPROW r = row.data(); cinfo.next_scanline < 8;)
            jpeg_write_scanlines(&cinfo, &r, 1);
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        fclose(fp);
        ASSERT_EQ(read_file_bytes(path).find("Adobe") != std::string::npos, adobe != FALSE);
        PnmImage got = decode_jpeg(path);
        ASSERT_FALSE(got.empty());
        const int want[3] = {27, 117, 117};  // 200 is much cyan
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got.at(3, 3, c), want[c], 3) << c << (adobe ? " with" : " without") << " marker";
    }
}

// A G3FAX APP1 makes a colour file ITU Lab when read with information text; a
// grey one stays grey (the Lab transform once wrote three samples per byte).
TEST_F(JpegReadTest, FaxSegmentMakesAColourFileLabOnlyWithInformationText)
{
    const std::string g3fax = segment(0xE1, std::string("G3FAX\0\x07\xD0\x00\xC8", 10));
    std::string colour = write_out("g3fax.jpg", with_segments_after_soi(
                                                    read_file_bytes(jpeg_fixture("sample11.jpg")), g3fax));
    PnmImage ycc = read_pnm_file(jpeg_fixture("sample11.pnm"));
    EXPECT_TRUE(pixels_within(decode_jpeg(colour), ycc, 1));
    char info[INFO_TEXT_SIZE] = "";
    EXPECT_GT(mean_difference(decode_jpeg(colour, info), ycc), 10.0);
    EXPECT_EQ(std::string(info).substr(strlen(info) - 7), "ITU Lab");
    EXPECT_EQ(g_jpegColorSpace, JPEG_COLOR_ITU_LAB);

    std::string grey = write_out("g3fax_grey.jpg", with_segments_after_soi(
                                                       read_file_bytes(fixture_path("regress/grey_wide.jpg")), g3fax));
    PnmImage got = decode_jpeg(grey, info);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL));
    EXPECT_TRUE(pixels_within(got, read_pnm_file(fixture_path("regress/grey_wide.pgm")), 1));
    EXPECT_NE(std::string(info).find("color space: monochrome"), std::string::npos) << info;
}

// The rows that decoded match ImageMagick's rendering of the cut file, silently.
TEST_F(JpegReadTest, TruncatedCmykFileKeepsTheRowsThatDecoded)
{
    PnmImage expected = read_pnm_file(fixture_path("regress/cmyk_cut.ppm"));
    PnmImage got = decode_jpeg(fixture_path("regress/cmyk_cut.jpg"));
    ASSERT_FALSE(got.empty());
    got.height = expected.height = 8;
    got.data.resize((size_t)got.width * 8 * 3);
    expected.data.resize((size_t)expected.width * 8 * 3);
    EXPECT_TRUE(pixels_within(got, expected, 6));
    EXPECT_TRUE(seams.boxes.empty());
}

// The first comment (to a NUL, whole up to the largest a segment holds,
// none if empty, after the frame header too), the first APP12. The
// comment read without decoding (for a file not shown) is the same.
TEST_F(JpegReadTest, CommentsAndApp12Text)
{
    std::string jpeg = read_file_bytes(jpeg_fixture("baseline.jpg"));
    struct Case {
        std::string segments;
        std::string comment;
        std::string before_scan = "";  // segments between the frame header and the scan
    } cases[] = {
        {segment(0xFE, std::string("before\0after", 12)), "before"},
        {segment(0xFE, "") + segment(0xFE, "second"), ""},
        {segment(0xFE, std::string(65533, 'c')), std::string(65533, 'c')},
        {"", "after the frame", segment(0xFE, "after the frame")},
    };
    for (const Case& c : cases) {
        std::string bytes = with_segments_after_soi(jpeg, c.segments + segment(0xEC, "Ducky"));
        bytes.insert(bytes.find("\xFF\xDA"), c.before_scan);
        std::string path = write_out("comment.jpg", bytes);
        HGLOBAL unread = read_jpeg_comment(path.c_str());
        EXPECT_EQ(text_of(unread), c.comment);
        EXPECT_EQ(unread == NULL, c.comment.empty());
        if (unread)
            GlobalFree(unread);
        char info[INFO_TEXT_SIZE] = "";
        ASSERT_FALSE(decode_jpeg(path, info).empty());
        EXPECT_EQ(text_of(g_hComment), c.comment);
        EXPECT_EQ(g_hComment == NULL, c.comment.empty());
        EXPECT_EQ(text_of(g_hApp12Text), "Ducky");
        TearDown();
    }
}

// The Exif APP1 wherever it stands before the scan: after APP0s, after the
// APP14 that libjpeg writes first for an RGB or CMYK file, after an XMP APP1.
TEST_F(JpegReadTest, ExifProbe)
{
    std::string jpeg = read_file_bytes(jpeg_fixture("baseline.jpg"));  // SOI, JFIF APP0, ...
    std::string exif = segment(0xE1, std::string("Exif\0\0MM", 8)), app0 = segment(0xE0, "JFIF");
    std::string app14 = segment(0xEE, std::string("Adobe\0\x64\0\0\0\0\0", 12));
    std::string xmp = segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29));
    const struct {
        std::string segments;
        int is_exif;
    } cases[] = {{"", 0}, {exif, 1}, {app0 + exif, 1}, {app0 + app0 + exif, 1}, {app14 + exif, 1},
                 {xmp + app14 + exif, 1}, {app14 + xmp, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(is_exif_jpeg(write_out("probe.jpg", with_segments_after_soi(jpeg, c.segments)).c_str()), c.is_exif)
            << c.segments.size();
}

// 65000 squared is past the image limit; 8000 squared (192 MB) is far more than
// a 1.6 kB file could fill. A missing file is no JPEG error.
TEST_F(JpegReadTest, RefusedFilesGiveOneMessage)
{
    std::string jpeg = read_file_bytes(jpeg_fixture("baseline.jpg"));
    size_t sof = find_marker(jpeg, 0xC0);
    const struct {
        std::string bytes;
        const char* caption;
        const char* text;
        const char* info;
    } cases[] = {
        {"GIF89a this is no JPEG at all", "Lib JPEG", "Not a JPEG file: starts with 0x47 0x49", ""},
        {jpeg.substr(0, sof + 5) + "\xFD\xE8\xFD\xE8" + jpeg.substr(sof + 9), "(null)", "Memory Allocation Error",
         "no file selected"},
        {jpeg.substr(0, sof + 5) + "\x1F\x40\x1F\x40" + jpeg.substr(sof + 9), "(null)", "Memory Allocation Error",
         "no file selected"},
    };
    for (const auto& c : cases) {
        seams.boxes.clear();
        std::string path = write_out("refused.jpg", c.bytes);
        char info[INFO_TEXT_SIZE] = "";
        EXPECT_EQ(read_jpeg_file(path.c_str(), info), nullptr);
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].caption + "|" + seams.boxes[0].text, std::string(c.caption) + "|" + c.text);
        EXPECT_EQ(seams.boxes[0].type & MB_ICONMASK, (UINT)MB_ICONHAND);
        EXPECT_STREQ(info, c.info);
    }
    EXPECT_EQ(read_jpeg12_file(write_out("refused.jpg", cases[0].bytes).c_str(), NULL), nullptr);
    EXPECT_EQ(read_jpeg_file(test_out_path("no such file.jpg").c_str(), NULL), nullptr);
    EXPECT_EQ(seams.boxes.size(), 2u);
}

}  // namespace
