// Faults found in the JPEG reader: a fax Lab segment in a file that is not
// three-component, and a truncated CMYK file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "jpeg/jpeg_read.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

extern "C" {
#include "jpeglib8.h"
}

namespace {

struct JpegRegress : ::testing::Test {
    void SetUp() override { g_hInstance = GetModuleHandleA(NULL); }
    void TearDown() override
    {
        for (HGLOBAL* h : {&g_hComment, &g_hApp12Text}) {
            if (*h)
                GlobalFree(*h);
            *h = NULL;
        }
    }
};

// A grey ramp, one byte per pixel, encoded by the 8-bit library.
std::string encode_grey(int width, int height)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    std::string path = test_out_path("regress_grey_ramp.jpg");
    FILE* fp = fopen(path.c_str(), "wb");
    jpeg_stdio_dest(&cinfo, fp);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(width);
    for (int x = 0; x < width; ++x)
        row[x] = (JSAMPLE)(x * 255 / (width - 1));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    fclose(fp);
    return read_file_bytes(path);
}

}  // namespace

// The transform to Lab wrote three bytes per pixel into one-byte rows.
TEST_F(JpegRegress, FaxSegmentInAGreyFileIsIgnored)
{
    SeamRecorder seams;
    std::string grey = encode_grey(3000, 40);
    std::string g3fax("\xFF\xE1\x00\x0CG3FAX\0\x07\xD0\x00\xC8", 14);
    std::string path = test_out_path("regress_g3fax_grey.jpg");
    ASSERT_TRUE(write_file_bytes(path, grey.substr(0, 2) + g3fax + grey.substr(2)));

    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(path.c_str(), info);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL));
    ASSERT_NE(hDib, nullptr);
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    ASSERT_EQ(got.channels, 1);
    EXPECT_NEAR(got.at(0, 20, 0), 0, 3);
    EXPECT_NEAR(got.at(1500, 20, 0), 128, 3);
    EXPECT_NEAR(got.at(2999, 20, 0), 255, 3);
    EXPECT_NE(std::string(info).find("color space: monochrome"), std::string::npos) << info;
    EXPECT_TRUE(seams.boxes.empty());
}

// The rows that decoded match ImageMagick's rendering of the same cut file.
TEST_F(JpegRegress, TruncatedCmykFileKeepsTheRowsThatDecoded)
{
    SeamRecorder seams;
    PnmImage expected = read_pnm_file(fixture_path("regress/cmyk_cut.ppm"));
    ASSERT_FALSE(expected.empty());
    HGLOBAL hDib = read_jpeg_file(fixture_path("regress/cmyk_cut.jpg").c_str(), NULL);
    ASSERT_NE(hDib, nullptr);
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    ASSERT_EQ(got.width, expected.width);
    int worst = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < got.width; ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(got.at(x, y, c) - expected.at(x, y, c)));
    EXPECT_LE(worst, 6);
}
