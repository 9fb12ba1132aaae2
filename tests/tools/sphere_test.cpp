// Deform to sphere: the square it is cut from, the pixels that keep their
// place, the corners painted in the background, the images refused.
#include <gtest/gtest.h>

#include "tools/sphere.h"
#include "tools_test_util.h"

namespace {

const Rgb BACKGROUND = {10, 200, 30};

TEST(DeformToSphere, CutsTheTopLeftSquareAndKeepsTheAxesEnds)
{
    // 61 x 41: the 41 x 41 square at the left, top rows included; r = 20.
    DibBlock src(make_random_dib(61, 41, 24, 12)), ball(deform_to_sphere(src.get(), RGB(10, 200, 30)));
    RgbImage in = dib_to_rgb(src.get()), out = dib_to_rgb(ball.get());
    ASSERT_EQ(out.width * 100 + out.height, 4141);
    const int kept[][2] = {{20, 20}, {0, 20}, {40, 20}, {20, 0}, {20, 40}};
    for (const auto& p : kept)
        EXPECT_EQ(out.at(p[0], p[1]), in.at(p[0], p[1])) << p[0] << "," << p[1];
    EXPECT_EQ(out.at(0, 0), BACKGROUND);
    EXPECT_EQ(out.at(40, 40), BACKGROUND);
}

TEST(DeformToSphere, UniformPictureStaysUniformInsideTheDisc)
{
    const int cases[][3] = {{2, 2, 24}, {3, 3, 8}, {5, 9, 4}, {16, 16, 16}};  // width, height, bits
    for (const auto& c : cases) {
        DibBlock src(make_random_dib(c[0], c[1], c[2], 2));
        for (int y = 0; y < c[1]; ++y)
            memset(src.row(y), 0, dib_row_stride(c[0], c[2]));
        Rgb colour = dib_to_rgb(src.get()).at(0, 0);
        DibBlock ball(deform_to_sphere(src.get(), RGB(10, 200, 30)));
        ASSERT_EQ(ball.bih->biBitCount, 24);
        RgbImage out = dib_to_rgb(ball.get());
        double r = (out.width - 1) / 2.0;
        for (int y = 0; y < out.width; ++y)
            for (int x = 0; x < out.width; ++x)
                EXPECT_EQ(out.at(x, y), (x - r) * (x - r) + (y - r) * (y - r) > r * r ? BACKGROUND : colour)
                    << out.width << ": " << x << "," << y;
    }
    DibBlock narrow(make_random_dib(1, 5, 24, 1));
    EXPECT_EQ(deform_to_sphere(narrow.get(), 0), nullptr);
}

}  // namespace
