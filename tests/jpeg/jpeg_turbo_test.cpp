// The 8-bit DCT reader decodes exactly as djpeg does with its integer DCT
// (the same library and settings), arithmetic-coded files included.
#include <string>

#include <gtest/gtest.h>

#include "jpeg/jpeg_read.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

TEST(JpegTurboRead, EqualsDjpegIntegerDctExactly)
{
    SeamRecorder seams;
    for (const std::string name : {"baseline", "progressive", "arithmetic"}) {
        PnmImage expected = read_pnm_file(fixture_path("jpeg/" + name + ".pnm"));
        ASSERT_FALSE(expected.empty()) << name;
        HGLOBAL hDib = read_jpeg_file(fixture_path("jpeg/" + name + ".jpg").c_str(), NULL);
        ASSERT_NE(hDib, nullptr) << name;
        PnmImage got = dib_to_pnm(hDib);
        GlobalFree(hDib);
        EXPECT_EQ(max_difference(got, expected), 0) << name;
    }
    EXPECT_TRUE(seams.boxes.empty());
}
