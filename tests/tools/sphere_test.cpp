// Deform to sphere: a uniform picture at every depth stays uniform inside
// the disc, with the background outside it.
#include "tools/sphere.h"
#include "tools_test_util.h"

namespace {

const Rgb BACKGROUND = {10, 200, 30};

// Every depth gives a 24-bit disc of the square's size; a picture one pixel
// wide is refused. (Which square and the corners: the end-to-end tools test.)
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
