// The JPEG readers against libjpeg-turbo's djpeg and ImageMagick on files
// cjpeg and ImageMagick made (tests/fixtures/make_jpeg.sh and, for faults
// found on real files, make_regress.sh), the markers and colour
// conversions, the probes, and hostile files built here.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "jpeg/jpeg_read.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"
#include "support/seam_recorder.h"

extern "C" {
#include "jpeglib8.h"
#include "jerror8.h"
}

namespace {

std::string fixture(const std::string& name)
{
    return fixture_path("jpeg/" + name);
}

// The test program carries the colour profiles as its own resources.
struct JpegReadTest : ::testing::Test {
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        g_hComment = NULL;
        g_hApp12Text = NULL;
        g_jpegColorSpace = -99;
        g_jpegProgressive = g_jpegLossless = g_thumbJpegLossless = -1;
    }
    void TearDown() override
    {
        if (g_hComment)
            GlobalFree(g_hComment);
        if (g_hApp12Text)
            GlobalFree(g_hApp12Text);
        g_hComment = g_hApp12Text = NULL;
    }
    SeamRecorder seams;
};

std::string text_of(HGLOBAL hText)
{
    const char* text = (const char*)GlobalLock(hText);
    std::string result = text ? text : "";
    GlobalUnlock(hText);
    return result;
}

// Offset of the first marker with that code after SOI, or npos.
size_t find_marker(const std::string& jpeg, int code)
{
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && (uint8_t)jpeg[pos] == 0xFF) {
        int marker = (uint8_t)jpeg[pos + 1];
        if (marker == code)
            return pos;
        if (marker == 0xDA)
            break;
        pos += 2 + ((uint8_t)jpeg[pos + 2] << 8 | (uint8_t)jpeg[pos + 3]);
    }
    return std::string::npos;
}

std::string segment(int marker, const std::string& data)
{
    size_t length = data.size() + 2;
    std::string s = {'\xFF', (char)marker, (char)(length >> 8), (char)(length & 0xFF)};
    return s + data;
}

// The file with segments put right after SOI.
std::string with_segments_after_soi(const std::string& jpeg, const std::string& segments)
{
    return jpeg.substr(0, 2) + segments + jpeg.substr(2);
}

std::string write_out(const std::string& name, const std::string& bytes)
{
    std::string path = test_out_path(name);
    EXPECT_TRUE(write_file_bytes(path, bytes));
    return path;
}

}  // namespace

// ---------------------------------------------------------------------------
// Decoding against djpeg

class JpegMatchesDjpeg : public JpegReadTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(JpegMatchesDjpeg, SamePixels)
{
    std::string name = GetParam();
    PnmImage expected = read_pnm_file(fixture(name + ".pnm"));
    ASSERT_FALSE(expected.empty()) << name;
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(fixture(name + ".jpg").c_str(), info);
    ASSERT_NE(hDib, nullptr) << name;
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    EXPECT_EQ(max_difference(got, expected), 0) << name << ": the same library and settings as djpeg";
    EXPECT_EQ(std::string(info).rfind("image type: JPEG \nwidth: ", 0), 0u) << info;
    EXPECT_TRUE(seams.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(CjpegFiles, JpegMatchesDjpeg,
                         ::testing::Values("baseline", "progressive", "arithmetic", "grey", "restart", "sample11",
                                           "sample21", "rgb", "odd_1x1", "odd_3x2", "odd_17x5",
                                           "odd_33x65"));

TEST_F(JpegReadTest, InformationTextAndFactsOfAProgressiveFile)
{
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(fixture("progressive.jpg").c_str(), info);
    ASSERT_NE(hDib, nullptr);
    GlobalFree(hDib);
    EXPECT_STREQ(info, "image type: JPEG \nwidth: 67 \nheight: 45 \nbits in sample: 8 "
                       "\ncolor components: 3 \ncolor space: Y/Cb/Cr \nprogressive file structure");
    EXPECT_EQ(g_jpegProgressive, 1);
    EXPECT_EQ(g_jpegLossless, 0);
    EXPECT_EQ(g_jpegColorSpace, JPEG_COLOR_YCBCR);
}

// ---------------------------------------------------------------------------
// Colour conversions

TEST_F(JpegReadTest, CmykFileFromImageMagickMatchesItsSrgbRendering)
{
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(fixture("cmyk.jpg").c_str(), info);
    ASSERT_NE(hDib, nullptr);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    EXPECT_EQ(bih->biBitCount, 32);
    bool alpha_zero = true;
    for (int i = 0; i < bih->biWidth * bih->biHeight; ++i)
        alpha_zero = alpha_zero && dib_pixels(bih)[4 * i + 3] == 0;
    EXPECT_TRUE(alpha_zero);
    GlobalUnlock(hDib);
    PnmImage expected = read_pnm_file(fixture("cmyk.ppm"));
    ASSERT_FALSE(expected.empty());
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    EXPECT_LE(max_difference(got, expected), 4);
    EXPECT_GE(max_difference(got, expected), 0);
    EXPECT_NE(std::string(info).find("color space: Y/Cb/Cr/K"), std::string::npos);
    EXPECT_EQ(g_jpegColorSpace, JPEG_COLOR_YCCK);
}

// Encodes a flat CMYK picture with the 8-bit library, with or without the
// Adobe marker.
static std::string encode_flat_cmyk(const uint8_t cmyk[4], bool adobe_marker)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    std::string path = test_out_path(adobe_marker ? "cmyk_adobe.jpg" : "cmyk_plain.jpg");
    FILE* fp = fopen(path.c_str(), "wb");
    jpeg_stdio_dest(&cinfo, fp);
    cinfo.image_width = 8;
    cinfo.image_height = 8;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    cinfo.write_Adobe_marker = adobe_marker ? TRUE : FALSE;
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(8 * 4);
    for (int x = 0; x < 8; ++x)
        std::memcpy(&row[4 * x], cmyk, 4);
    while (cinfo.next_scanline < 8) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    fclose(fp);
    return path;
}

TEST_F(JpegReadTest, CmykIsInvertedOnlyWithAdobeMarker)
{
    const uint8_t stored[4] = {200, 20, 20, 128};
    struct Case {
        bool adobe;
        int red, green, blue;
    } cases[] = {
        {false, 27, 117, 117},  // plain: 200 is much cyan
        {true, 100, 10, 10},    // Adobe: stored inverted, 200 is little cyan
    };
    for (const Case& c : cases) {
        std::string path = encode_flat_cmyk(stored, c.adobe);
        HGLOBAL hDib = read_jpeg_file(path.c_str(), NULL);
        ASSERT_NE(hDib, nullptr);
        PnmImage got = dib_to_pnm(hDib);
        GlobalFree(hDib);
        EXPECT_NEAR(got.at(3, 3, 0), c.red, 3) << c.adobe;
        EXPECT_NEAR(got.at(3, 3, 1), c.green, 3) << c.adobe;
        EXPECT_NEAR(got.at(3, 3, 2), c.blue, 3) << c.adobe;
    }
}

TEST_F(JpegReadTest, FaxLabFileIsConvertedOnlyWithInformationText)
{
    std::string jpeg = read_file_bytes(fixture("sample11.jpg"));
    std::string g3fax("G3FAX\0\x07\xD0\x00\xC8", 10);
    std::string path = write_out("g3fax.jpg", with_segments_after_soi(jpeg, segment(0xE1, g3fax)));
    PnmImage ycc = read_pnm_file(fixture("sample11.pnm"));
    ASSERT_FALSE(ycc.empty());

    HGLOBAL hPlain = read_jpeg_file(path.c_str(), NULL);
    ASSERT_NE(hPlain, nullptr);
    EXPECT_LE(max_difference(dib_to_pnm(hPlain), ycc), 1);
    GlobalFree(hPlain);

    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hLab = read_jpeg_file(path.c_str(), info);
    ASSERT_NE(hLab, nullptr);
    PnmImage lab = dib_to_pnm(hLab);
    GlobalFree(hLab);
    EXPECT_GT(mean_difference(lab, ycc), 10.0);
    std::string text = info;
    EXPECT_EQ(text.substr(text.size() - 7), "ITU Lab");
    EXPECT_EQ(g_jpegColorSpace, JPEG_COLOR_ITU_LAB);
}

// The three-sample Lab transform wrote into a grey file's one-byte rows:
// the heap broke.
TEST_F(JpegReadTest, FaxSegmentInAGreyFileIsIgnored)
{
    std::string grey = read_file_bytes(fixture_path("regress/grey_wide.jpg"));
    ASSERT_GT(grey.size(), 2u);
    std::string g3fax("G3FAX\0\x07\xD0\x00\xC8", 10);
    std::string path = write_out("g3fax_grey.jpg", with_segments_after_soi(grey, segment(0xE1, g3fax)));
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(path.c_str(), info);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL));
    ASSERT_NE(hDib, nullptr);
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    EXPECT_LE(max_difference(got, read_pnm_file(fixture_path("regress/grey_wide.pgm"))), 1);
    EXPECT_NE(std::string(info).find("color space: monochrome"), std::string::npos) << info;
}

// The rows that decoded match ImageMagick's rendering of the same cut file;
// what follows the cut is each library's own.
TEST_F(JpegReadTest, TruncatedCmykFileKeepsTheRowsThatDecoded)
{
    PnmImage expected = read_pnm_file(fixture_path("regress/cmyk_cut.ppm"));
    HGLOBAL hDib = read_jpeg_file(fixture_path("regress/cmyk_cut.jpg").c_str(), NULL);
    ASSERT_NE(hDib, nullptr);
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    got.height = expected.height = 8;
    got.data.resize((size_t)got.width * 8 * 3);
    expected.data.resize((size_t)expected.width * 8 * 3);
    EXPECT_LE(max_difference(got, expected), 6);
    EXPECT_GE(max_difference(got, expected), 0) << "shapes differ";
}

// ---------------------------------------------------------------------------
// Comments and APP12

TEST_F(JpegReadTest, CommentsAndApp12Text)
{
    std::string jpeg = read_file_bytes(fixture("baseline.jpg"));
    struct Case {
        const char* name;
        std::string segments;
        std::string comment;  // "" for none
    } cases[] = {
        {"com_plain", segment(0xFE, "hello world"), "hello world"},
        {"com_nul", segment(0xFE, std::string("before\0after", 12)), "before"},
        {"com_empty_first", segment(0xFE, "") + segment(0xFE, "second"), ""},
        {"com_long", segment(0xFE, std::string(30000, 'c')), std::string(20480, 'c')},
    };
    for (const Case& c : cases) {
        std::string path = write_out(std::string(c.name) + ".jpg",
                                     with_segments_after_soi(jpeg, c.segments + segment(0xEC, "Ducky")));
        char info[INFO_TEXT_SIZE] = "";
        g_hComment = g_hApp12Text = NULL;
        HGLOBAL hDib = read_jpeg_file(path.c_str(), info);
        ASSERT_NE(hDib, nullptr) << c.name;
        GlobalFree(hDib);
        if (c.comment.empty()) {
            EXPECT_EQ(g_hComment, nullptr) << c.name;
        } else {
            ASSERT_NE(g_hComment, nullptr) << c.name;
            EXPECT_EQ(text_of(g_hComment), c.comment) << c.name;
        }
        ASSERT_NE(g_hApp12Text, nullptr);
        EXPECT_EQ(text_of(g_hApp12Text), "Ducky");
        TearDown();
    }
}

// ---------------------------------------------------------------------------
// Probes

TEST_F(JpegReadTest, PrecisionProbe)
{
    EXPECT_EQ(get_jpeg_precision(fixture("baseline.jpg").c_str()), 8);
    EXPECT_EQ(get_jpeg_precision(fixture("progressive.jpg").c_str()), 8);
    EXPECT_EQ(get_jpeg_precision(test_out_path("no such file.jpg").c_str()), 0);

    std::string jpeg = read_file_bytes(fixture("baseline.jpg"));
    size_t sof = find_marker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    std::string twelve = jpeg;
    twelve[sof + 4] = 12;
    EXPECT_EQ(get_jpeg_precision(write_out("sof0_12.jpg", twelve).c_str()), 12);
}

TEST_F(JpegReadTest, ExifProbe)
{
    std::string jpeg = read_file_bytes(fixture("baseline.jpg"));  // SOI, JFIF APP0, ...
    std::string exif = segment(0xE1, std::string("Exif\0\0MM", 8));
    std::string app0 = segment(0xE0, "JFIF");
    EXPECT_EQ(is_exif_jpeg(fixture("baseline.jpg").c_str()), 0);
    EXPECT_EQ(is_exif_jpeg(write_out("exif_first.jpg", with_segments_after_soi(jpeg, exif)).c_str()), 1);
    EXPECT_EQ(is_exif_jpeg(write_out("exif_after_app0.jpg", with_segments_after_soi(jpeg, app0 + exif)).c_str()), 1);
    EXPECT_EQ(is_exif_jpeg(write_out("exif_after_2app0.jpg",
                                     with_segments_after_soi(jpeg, app0 + app0 + exif)).c_str()), 0);
    EXPECT_EQ(is_exif_jpeg(test_out_path("no such file.jpg").c_str()), 0);
}

// ---------------------------------------------------------------------------
// Hostile files

TEST_F(JpegReadTest, NotAJpegGivesLibJpegBox)
{
    std::string path = write_out("not_a_jpeg.jpg", "GIF89a this is no JPEG at all");
    char info[INFO_TEXT_SIZE] = "";
    EXPECT_EQ(read_jpeg_file(path.c_str(), info), nullptr);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].caption, "Lib JPEG");
    EXPECT_EQ(seams.boxes[0].text.rfind("Not a JPEG file", 0), 0u) << seams.boxes[0].text;
    EXPECT_EQ(seams.boxes[0].type, (UINT)MB_ICONHAND);
    EXPECT_EQ(read_jpeg12_file(path.c_str(), info), nullptr);
    EXPECT_EQ(seams.boxes.size(), 2u);
    // A missing file is no JPEG error.
    EXPECT_EQ(read_jpeg_file(test_out_path("no such file.jpg").c_str(), NULL), nullptr);
    EXPECT_EQ(seams.boxes.size(), 2u);
}

// 65000 x 65000 is past what an image may take; 8000 x 8000 (192 MB) is
// not, but far more than a 1.6 kB file could fill.
TEST_F(JpegReadTest, HugeDimensionsAreRefusedBeforeAllocation)
{
    std::string jpeg = read_file_bytes(fixture("baseline.jpg"));
    size_t sof = find_marker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    for (const char* size : {"\xFD\xE8\xFD\xE8", "\x1F\x40\x1F\x40"}) {
        seams.boxes.clear();
        std::string path = write_out("huge.jpg", jpeg.substr(0, sof + 5) + size + jpeg.substr(sof + 9));
        char info[INFO_TEXT_SIZE] = "";
        EXPECT_EQ(read_jpeg_file(path.c_str(), info), nullptr);
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].text, "Memory Allocation Error");
        EXPECT_STREQ(info, "no file selected");
    }
}

// Every truncation of a file: an image (missing rows grey) or the library's
// box, never a crash; cuts inside the headers always give the box.
TEST_F(JpegReadTest, TruncationAtEveryOffset)
{
    for (const char* name : {"baseline", "progressive", "grey", "cmyk"}) {
        std::string jpeg = read_file_bytes(fixture(std::string(name) + ".jpg"));
        size_t sos = find_marker(jpeg, 0xDA);
        ASSERT_NE(sos, std::string::npos);
        std::string path = test_out_path(std::string("cut_") + name + ".jpg");
        for (size_t cut = 0; cut < jpeg.size(); cut += (cut < sos + 40 ? 1 : 37)) {
            seams.boxes.clear();
            ASSERT_TRUE(write_file_bytes(path, jpeg.substr(0, cut)));
            HGLOBAL hDib = read_jpeg_file(path.c_str(), NULL);
            if (hDib) {
                EXPECT_TRUE(seams.boxes.empty()) << name << " cut " << cut;
                GlobalFree(hDib);
            } else {
                ASSERT_EQ(seams.boxes.size(), 1u) << name << " cut " << cut;
                EXPECT_EQ(seams.boxes[0].caption, "Lib JPEG");
                EXPECT_FALSE(seams.boxes[0].text.empty());
            }
            if (cut < sos) {
                EXPECT_EQ(hDib, nullptr) << name << " cut " << cut;
            }
        }
    }
}
