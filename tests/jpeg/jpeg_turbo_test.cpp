// The 8-bit DCT writer on libjpeg-turbo against cjpeg: the same library and
// settings must give the same pixels exactly.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "image/packed_dib.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

// The writer hands 24- and 32-bit rows to the library as they lie and
// converts the others; each depth must give what cjpeg makes of the same
// picture.
TEST(JpegTurboWrite, EveryDepthEncodesAsCjpeg)
{
    SeamRecorder seams;
    PnmImage colour = read_pnm_file(fixture_path("jpeg/src.ppm"));
    PnmImage grey = read_pnm_file(fixture_path("jpeg/src.pgm"));
    ASSERT_FALSE(colour.empty());
    ASSERT_FALSE(grey.empty());
    HGLOBAL h24 = pnm_to_dib(colour);
    HGLOBAL h32 = create_packed_dib(colour.width, colour.height, 32, 0);
    {
        BITMAPINFOHEADER* from = (BITMAPINFOHEADER*)GlobalLock(h24);
        BITMAPINFOHEADER* to = (BITMAPINFOHEADER*)GlobalLock(h32);
        for (int y = 0; y < colour.height; ++y)
            for (int x = 0; x < colour.width; ++x)
                memcpy(dib_pixels(to) + (size_t)y * dib_row_stride(colour.width, 32) + 4 * x,
                       dib_pixels(from) + (size_t)y * dib_row_stride(colour.width, 24) + 3 * x, 3);
        GlobalUnlock(h32);
        GlobalUnlock(h24);
    }
    struct Case {
        const char* name;
        HGLOBAL hDib;
        const char* reference;
    } cases[] = {
        {"t_24", h24, "jpeg/ref_q85.pnm"},
        {"t_32", h32, "jpeg/ref_q85.pnm"},
        {"t_grey8", pnm_to_dib(grey), "jpeg/ref_q85_grey.pnm"},
    };
    for (const Case& c : cases) {
        std::string path = test_out_path(std::string(c.name) + ".jpg");
        ASSERT_EQ(write_jpeg_file(path.c_str(), 85, c.hDib, 0, 0, 0), 1) << c.name;
        HGLOBAL hBack = read_jpeg_file(path.c_str(), NULL);
        ASSERT_NE(hBack, nullptr) << c.name;
        PnmImage expected = read_pnm_file(fixture_path(c.reference));
        EXPECT_EQ(max_difference(dib_to_pnm(hBack), expected), 0) << c.name;
        GlobalFree(hBack);
        GlobalFree(c.hDib);
    }
    EXPECT_TRUE(seams.boxes.empty());
}
