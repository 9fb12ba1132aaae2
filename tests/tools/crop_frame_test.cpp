// Crop, frame, the crop window's margin and promotion to 24 bits: exact
// pixels at every depth, rectangles cut to the image, refused widths.
#include <climits>

#include "tools/crop_frame.h"
#include "tools_test_util.h"

namespace {

const int DEPTHS[] = {1, 4, 8, 16, 24, 32};

TEST(CropImage, RectangleIsCutToTheImageAndEmptyIsRefused)
{
    DibBlock src(make_random_dib(10, 6, 24, 1));
    const int cases[][6] = {  // left, top, width, height -> width, height (0: refused)
        {-4, -2, 8, 5, 4, 3}, {7, 4, 100, 100, 3, 2}, {0, 0, INT_MAX, INT_MAX, 10, 6},
        {10, 0, 5, 5, 0, 0},  {2, 2, 0, 3, 0, 0},     {INT_MAX, 1, INT_MAX, 1, 0, 0}, {-5, 0, 3, 3, 0, 0}};
    for (const auto& c : cases) {
        DibBlock crop(crop_image(c[0], c[1], c[2], c[3], src.get()));
        ASSERT_EQ(crop ? crop.bih->biWidth * 100 + crop.bih->biHeight : 0, c[4] * 100 + c[5]) << c[0] << "," << c[1];
        EXPECT_TRUE(!crop || crop.raw(0, c[5] - 1) == src.raw(c[0] < 0 ? 0 : c[0], 5 - (c[1] < 0 ? 0 : c[1])))
            << "top-left pixel";
    }
}

TEST(AddFrame, NegativeOrAbsurdWidthsAreRefused)
{
    HGLOBAL h = make_random_dib(4, 4, 8, 2), before = h;
    const int widths[][4] = {{-1, 0, 0, 0}, {0, 0, 0, -3}, {INT_MAX, 0, INT_MAX, 0}, {0, 0x3FFFF, 0, 0}};
    for (const auto& w : widths)
        EXPECT_EQ(add_frame(&h, 0, w[0], w[1], w[2], w[3], 0, 0), 0) << w[0] << "," << w[1];
    EXPECT_EQ(h, before);
    GlobalFree(h);
}

// Crop, frame and the crop window's margin at every depth. An odd left
// moves every nibble and bit to another place in its byte; the frame colour
// 0xA0B0C0 is stored blue C0, green B0, red A0, and the random 32-bit
// picture uses its alpha, so that frame is opaque.
TEST(CropFrame, ExactPixelsAtEveryDepth)
{
    const uint32_t frames[] = {1, 9, 9, 0x52D8, 0xA0B0C0, 0xFFA0B0C0};
    for (int k = 0; k < 6; ++k) {
        const int bits = DEPTHS[k];
        DibBlock src(make_random_dib(23, 9, bits, 4)), crop(crop_image(3, 2, 13, 5, src.get()));
        ASSERT_TRUE(crop) << bits;
        ASSERT_EQ(crop.bih->biWidth * 100 + crop.bih->biHeight, 1305);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(crop.raw(x, y), src.raw(x + 3, y + 2)) << bits << " bits " << x << "," << y;

        HGLOBAL h = copy_packed_dib(src.get());  // framed: 3 left, 1 top, 2 right, 4 bottom
        ASSERT_EQ(add_frame(&h, 0xA0B0C0, 3, 1, 2, 4, 9, 0), 1);
        DibBlock framed(h);
        ASSERT_EQ(framed.bih->biWidth * 100 + framed.bih->biHeight, 2814);
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 28; ++x) {
                bool inside = x >= 3 && x < 26 && y >= 4 && y < 13;
                ASSERT_EQ(framed.raw(x, y), inside ? src.raw(x - 3, y - 4) : frames[k])
                    << bits << ": " << x << "," << y;
            }

        DibBlock wide(add_margin16(src.get()));
        ASSERT_EQ(wide.bih->biWidth, 55);
        EXPECT_EQ(wide.raw(15, 16), 0u) << "the margin is pixel 0";
        DibBlock back(strip_margin16(wide.get()));
        EXPECT_TRUE(same_image(back.get(), src.get())) << bits << " bits";
    }
    // Without alpha in the picture, or asked for, the frame is transparent.
    for (int transparent : {0, 1}) {
        HGLOBAL h = create_packed_dib(2, 2, 32, 0);
        ASSERT_EQ(add_frame(&h, 0x112233, 1, 1, 1, 1, 0, transparent), 1);
        EXPECT_EQ(DibBlock(h).raw(0, 0), 0x112233u);
    }
    DibBlock small(make_random_dib(30, 40, 8, 1));
    EXPECT_EQ(strip_margin16(small.get()), nullptr) << "nothing left to strip to";
}

TEST(ToTrueColor24, WidensFiveBitFields)
{
    DibBlock h16(create_packed_dib(2, 1, 16, 0));
    const BYTE words[] = {0xFF, 0x7F, 0x21, 0x04};
    memcpy(h16.row(0), words, 4);
    DibBlock wide16(to_truecolor24(h16.get()));
    EXPECT_EQ(wide16.raw(0, 0), 0xFFFFFFu);
    EXPECT_EQ(wide16.raw(1, 0), 0x080808u);
    DibBlock h24(make_random_dib(3, 3, 24, 1));
    EXPECT_EQ(to_truecolor24(h24.get()), h24.get()) << "24 bits: the same block";
}

}  // namespace
