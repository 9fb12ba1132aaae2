// Crop, frame, the crop window's margin and promotion to 24 bits: exact
// pixels at every depth, rectangles cut to the image, refused widths.
#include <climits>

#include "tools/crop_frame.h"
#include "tools_test_util.h"

namespace {

const int DEPTHS[] = {1, 4, 8, 16, 24, 32};

TEST(CropImage, CopiesTheRectangleAtEveryDepth)
{
    // An odd left moves every nibble and bit to another place in its byte.
    for (int bits : DEPTHS) {
        HGLOBAL h = make_random_dib(23, 9, bits, 4);
        DibBlock src(h), crop(crop_image(3, 2, 13, 5, h));
        ASSERT_TRUE(crop) << bits;
        ASSERT_EQ(crop.bih->biWidth * 100 + crop.bih->biHeight, 1305);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(crop.raw(x, y), src.raw(x + 3, y + 2)) << bits << " bits " << x << "," << y;
    }
}

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

TEST(AddFrame, SurroundsThePictureAtEveryDepth)
{
    // Blue C0, green B0, red A0; the random 32-bit picture uses its alpha,
    // so that frame is opaque.
    const uint32_t frames[] = {1, 9, 9, 0x52D8, 0xA0B0C0, 0xFFA0B0C0};
    for (int k = 0; k < 6; ++k) {
        HGLOBAL h = make_random_dib(7, 5, DEPTHS[k], 6);
        DibBlock in(copy_packed_dib(h));
        ASSERT_EQ(add_frame(&h, 0xA0B0C0, 3, 1, 2, 4, 9, 0), 1);
        DibBlock out(h);
        ASSERT_EQ(out.bih->biWidth * 100 + out.bih->biHeight, 1210);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {
                bool inside = x >= 3 && x < 10 && y >= 4 && y < 9;
                ASSERT_EQ(out.raw(x, y), inside ? in.raw(x - 3, y - 4) : frames[k]) << DEPTHS[k] << ": " << x << "," << y;
            }
    }
    // Without alpha in the picture, or asked for, the frame is transparent.
    for (int transparent : {0, 1}) {
        HGLOBAL h = create_packed_dib(2, 2, 32, 0);
        ASSERT_EQ(add_frame(&h, 0x112233, 1, 1, 1, 1, 0, transparent), 1);
        EXPECT_EQ(DibBlock(h).raw(0, 0), 0x112233u);
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

TEST(Margin16, AddedAndStrippedGivesThePictureBack)
{
    for (int bits : DEPTHS) {
        DibBlock src(make_random_dib(9, 3, bits, 8)), wide(add_margin16(src.get()));
        ASSERT_EQ(wide.bih->biWidth, 41);
        EXPECT_EQ(wide.raw(15, 16), 0u) << "the margin is pixel 0";
        DibBlock back(strip_margin16(wide.get()));
        EXPECT_TRUE(same_image(back.get(), src.get())) << bits << " bits";
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
