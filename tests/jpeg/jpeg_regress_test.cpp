// Faults found in the JPEG reader: a fax Lab segment in a file that is not
// three-component, and a truncated CMYK file. References are djpeg's and ImageMagick's decodings
// (tests/fixtures/make_regress.sh).
#include <string>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "jpeg/jpeg_read.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

// The three-sample Lab transform wrote into one-byte rows: the heap broke.
TEST(JpegRegress, FaxSegmentInAGreyFileIsIgnored)
{
    SeamRecorder seams;
    g_hInstance = GetModuleHandleA(NULL);
    std::string grey = read_file_bytes(fixture_path("regress/grey_wide.jpg"));
    ASSERT_GT(grey.size(), 2u);
    std::string g3fax("\xFF\xE1\x00\x0CG3FAX\0\x07\xD0\x00\xC8", 14);
    std::string path = test_out_path("regress_g3fax_grey.jpg");
    ASSERT_TRUE(write_file_bytes(path, grey.substr(0, 2) + g3fax + grey.substr(2)));

    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hDib = read_jpeg_file(path.c_str(), info);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL));
    ASSERT_NE(hDib, nullptr);
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    EXPECT_LE(max_difference(got, read_pnm_file(fixture_path("regress/grey_wide.pgm"))), 1);
    EXPECT_NE(std::string(info).find("color space: monochrome"), std::string::npos) << info;
    if (g_hComment)
        GlobalFree(g_hComment);
    g_hComment = NULL;
}

// The rows that decoded match ImageMagick's rendering of the same cut file.
TEST(JpegRegress, TruncatedCmykFileKeepsTheRowsThatDecoded)
{
    SeamRecorder seams;
    g_hInstance = GetModuleHandleA(NULL);
    PnmImage expected = read_pnm_file(fixture_path("regress/cmyk_cut.ppm"));
    HGLOBAL hDib = read_jpeg_file(fixture_path("regress/cmyk_cut.jpg").c_str(), NULL);
    ASSERT_NE(hDib, nullptr);
    PnmImage got = dib_to_pnm(hDib);
    GlobalFree(hDib);
    // The first 8 rows decoded; what follows the cut is each library's own.
    got.height = expected.height = 8;
    got.data.resize((size_t)got.width * 8 * 3);
    expected.data.resize((size_t)expected.width * 8 * 3);
    EXPECT_LE(max_difference(got, expected), 6);
    EXPECT_GE(max_difference(got, expected), 0) << "shapes differ";
}
