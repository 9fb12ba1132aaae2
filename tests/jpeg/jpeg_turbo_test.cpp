// The 8-bit DCT reader decodes exactly as djpeg does with its integer DCT
// (the same library and settings), arithmetic-coded files included.
#include <string>

#include <gtest/gtest.h>

#include "jpeg/jpeg_read.h"
#include "jpeg/pnm_test_util.h"
#include "support/seam_recorder.h"

TEST(JpegTurboRead, EqualsDjpegIntegerDctExactly)
{
    SeamRecorder seams;
    for (const char* name : {"baseline", "progressive", "arithmetic"}) {
        Pnm expected;
        ASSERT_TRUE(read_pnm(fixture_path(std::string("jpeg/") + name + ".pnm"), &expected)) << name;
        HGLOBAL hDib = read_jpeg_file(fixture_path(std::string("jpeg/") + name + ".jpg").c_str(), NULL);
        ASSERT_NE(hDib, nullptr) << name;
        Pnm got = dib_to_pnm(hDib);
        GlobalFree(hDib);
        EXPECT_EQ(max_difference(got, expected), 0) << name;
    }
    EXPECT_TRUE(seams.boxes.empty());
}
