// Deform to sphere: the square it is cut from, the pixels that keep their
// place, the corners painted in the background, and the images refused.
#include <gtest/gtest.h>

#include "support/seam_recorder.h"
#include "tools/sphere.h"
#include "tools_test_util.h"

namespace {

const COLORREF BACKGROUND = RGB(10, 200, 30);
const Rgb BACKGROUND_RGB = {10, 200, 30};

TEST(DeformToSphere, CutsTheTopLeftSquareAndKeepsTheAxesEnds)
{
    // 61 x 41: the 41 x 41 square at the left, top rows included; r = 20.
    HGLOBAL h = make_random_dib(61, 41, 24, 12);
    RgbImage src = dib_to_rgb(h);
    DibBlock ball(deform_to_sphere(h, BACKGROUND));
    ASSERT_TRUE(ball);
    RgbImage out = dib_to_rgb(ball.get());
    ASSERT_EQ(out.width, 41);
    ASSERT_EQ(out.height, 41);
    EXPECT_EQ(out.at(20, 20), src.at(20, 20)) << "centre";
    EXPECT_EQ(out.at(0, 20), src.at(0, 20)) << "left end of the middle row";
    EXPECT_EQ(out.at(40, 20), src.at(40, 20)) << "right end";
    EXPECT_EQ(out.at(20, 0), src.at(20, 0)) << "top of the middle column";
    EXPECT_EQ(out.at(20, 40), src.at(20, 40)) << "bottom";
    for (int corner : {0, 40})
        EXPECT_EQ(out.at(corner, corner), BACKGROUND_RGB);
    GlobalFree(h);
}

TEST(DeformToSphere, SmallSquaresAndUniformPictures)
{
    struct {
        int width, height;
        int bits;
    } cases[] = {{2, 2, 24}, {3, 3, 8}, {5, 9, 4}, {16, 16, 16}};
    for (const auto& c : cases) {
        // One colour everywhere: inside the disc it must stay that colour.
        HGLOBAL h = make_random_dib(c.width, c.height, c.bits, 2);
        {
            DibBlock dib(h, false);
            for (int y = 0; y < c.height; ++y)
                memset(dib.row(y), 0, dib_row_stride(c.width, c.bits));
        }
        Rgb colour = dib_to_rgb(h).at(0, 0);
        DibBlock ball(deform_to_sphere(h, BACKGROUND));
        ASSERT_TRUE(ball);
        EXPECT_EQ(ball.bih->biBitCount, 24);
        RgbImage out = dib_to_rgb(ball.get());
        int n = out.width;
        double r = (n - 1) / 2.0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                bool outside = (x - r) * (x - r) + (y - r) * (y - r) > r * r;
                EXPECT_EQ(out.at(x, y), outside ? BACKGROUND_RGB : colour) << n << ": " << x << "," << y;
            }
        GlobalFree(h);
    }
}

TEST(DeformToSphere, RefusesPicturesNarrowerThanTwo)
{
    HGLOBAL h = make_random_dib(1, 5, 24, 1);
    EXPECT_EQ(deform_to_sphere(h, BACKGROUND), nullptr);
    GlobalFree(h);
    EXPECT_EQ(deform_to_sphere(NULL, BACKGROUND), nullptr);
}

}  // namespace
