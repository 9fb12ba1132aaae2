// Crop, frame, the crop window's margin and promotion to 24 bits: exact
// pixels at every depth, rectangles cut to the image, and the sizes and
// widths that must be refused.
#include <climits>

#include <gtest/gtest.h>

#include "support/seam_recorder.h"
#include "tools/crop_frame.h"
#include "tools_test_util.h"

namespace {

const int DEPTHS[] = {1, 4, 8, 16, 24, 32};

TEST(CropImage, CopiesTheRectangleAtEveryDepth)
{
    // An odd left moves every nibble and bit to another place in its byte.
    for (int bits : DEPTHS) {
        HGLOBAL h = make_random_dib(23, 9, bits, 4);
        DibBlock src(h);
        HGLOBAL hCrop = crop_image(3, 2, 13, 5, h);
        ASSERT_NE(hCrop, nullptr) << bits;
        DibBlock crop(hCrop);
        ASSERT_EQ(crop.bih->biWidth, 13);
        ASSERT_EQ(crop.bih->biHeight, 5);
        ASSERT_EQ(crop.bih->biBitCount, bits);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(crop.raw(x, 4 - y), src.raw(x + 3, 9 - 1 - (y + 2))) << bits << " bits " << x << "," << y;
        if (bits <= 8)
            EXPECT_EQ(memcmp(crop.table(), src.table(), 4 * dib_color_count(src.bih)), 0);
    }
}

TEST(CropImage, RectangleIsCutToTheImageAndEmptyIsRefused)
{
    HGLOBAL h = make_random_dib(10, 6, 24, 1);
    DibBlock src(h);
    struct {
        int left, top, width, height;
        int want_w, want_h;  // 0: refused
    } cases[] = {
        {0, 0, 10, 6, 10, 6},
        {-4, -2, 8, 5, 4, 3},
        {7, 4, 100, 100, 3, 2},
        {0, 0, INT_MAX, INT_MAX, 10, 6},
        {10, 0, 5, 5, 0, 0},
        {2, 2, 0, 3, 0, 0},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0, 0},
        {-5, 0, 3, 3, 0, 0},
    };
    for (const auto& c : cases) {
        HGLOBAL hCrop = crop_image(c.left, c.top, c.width, c.height, h);
        if (c.want_w == 0) {
            EXPECT_EQ(hCrop, nullptr) << c.left << "," << c.top;
            continue;
        }
        ASSERT_NE(hCrop, nullptr) << c.left << "," << c.top;
        DibBlock crop(hCrop);
        EXPECT_EQ(crop.bih->biWidth, c.want_w);
        EXPECT_EQ(crop.bih->biHeight, c.want_h);
        int x0 = c.left < 0 ? 0 : c.left, y0 = c.top < 0 ? 0 : c.top;
        EXPECT_EQ(crop.raw(0, c.want_h - 1), src.raw(x0, 6 - 1 - y0)) << "top-left pixel";
    }
}

TEST(AddFrame, SurroundsThePictureAtEveryDepth)
{
    const DWORD color = 0x00A0B0C0;  // blue C0, green B0, red A0
    for (const int& bits : DEPTHS) {
        HGLOBAL h = make_random_dib(7, 5, bits, 6);
        HGLOBAL source = copy_packed_dib(h);
        ASSERT_EQ(add_frame(&h, color, 3, 1, 2, 4, 9, 0), 1);
        DibBlock out(h), in(source);
        ASSERT_EQ(out.bih->biWidth, 12);
        ASSERT_EQ(out.bih->biHeight, 10);
        // The random 32-bit picture uses its alpha: the frame is opaque.
        const uint32_t frames[] = {1, 9, 9, 0x52D8, 0xA0B0C0, 0xFFA0B0C0};
        const uint32_t frame = frames[&bits - DEPTHS];
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {
                bool inside = x >= 3 && x < 10 && y >= 4 && y < 9;
                uint32_t want = inside ? in.raw(x - 3, y - 4) : frame;
                ASSERT_EQ(out.raw(x, y), want) << bits << " bits " << x << "," << y;
            }
    }
}

TEST(AddFrame, AlphaOfTheFrameFollowsThePicture)
{
    struct {
        BYTE alpha;
        int transparent_frame;
        uint32_t frame_alpha;
    } cases[] = {{0, 0, 0}, {0, 1, 0}, {7, 0, 255}, {7, 1, 0}};
    for (const auto& c : cases) {
        HGLOBAL h = create_packed_dib(2, 2, 32, 0);
        {
            DibBlock dib(h, false);
            dib.row(1)[3] = c.alpha;
        }
        ASSERT_EQ(add_frame(&h, 0x112233, 1, 1, 1, 1, 0, c.transparent_frame), 1);
        DibBlock out(h);
        EXPECT_EQ(out.raw(0, 0), c.frame_alpha << 24 | 0x112233) << (int)c.alpha << "," << c.transparent_frame;
    }
}

TEST(AddFrame, NegativeOrAbsurdWidthsAreRefused)
{
    HGLOBAL h = make_random_dib(4, 4, 8, 2);
    HGLOBAL before = h;
    const int widths[][4] = {{-1, 0, 0, 0}, {0, 0, 0, -3}, {INT_MAX, 0, INT_MAX, 0}, {0, 0x3FFFF, 0, 0}};
    for (const auto& w : widths)
        EXPECT_EQ(add_frame(&h, 0, w[0], w[1], w[2], w[3], 0, 0), 0) << w[0] << "," << w[1];
    EXPECT_EQ(h, before);
    GlobalFree(h);
}

TEST(Margin16, AddedAndStrippedGivesThePictureBack)
{
    for (int bits : DEPTHS) {
        HGLOBAL h = make_random_dib(9, 3, bits, 8);
        HGLOBAL wide = add_margin16(h);
        ASSERT_NE(wide, nullptr);
        {
            DibBlock dib(wide, false);
            ASSERT_EQ(dib.bih->biWidth, 41);
            EXPECT_EQ(dib.raw(15, 16), 0u) << "the margin is pixel 0";
            EXPECT_EQ(dib.raw(16, 16), DibBlock(h, false).raw(0, 0));
        }
        HGLOBAL back = strip_margin16(wide);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(same_image(back, h)) << bits << " bits";
        GlobalFree(back);
        GlobalFree(wide);
        GlobalFree(h);
    }
    HGLOBAL small = make_random_dib(30, 40, 8, 1);
    EXPECT_EQ(strip_margin16(small), nullptr) << "nothing left to strip to";
    GlobalFree(small);
}

TEST(ToTrueColor24, WidensEveryDepth)
{
    HGLOBAL h16 = create_packed_dib(2, 1, 16, 0);
    {
        DibBlock dib(h16, false);
        dib.row(0)[0] = 0xFF, dib.row(0)[1] = 0x7F;
        dib.row(0)[2] = 0x21, dib.row(0)[3] = 0x04;
    }
    DibBlock wide16(to_truecolor24(h16));
    EXPECT_EQ(wide16.raw(0, 0), 0xFFFFFFu);
    EXPECT_EQ(wide16.raw(1, 0), 0x080808u);
    GlobalFree(h16);

    for (int bits : {1, 4, 8, 32}) {
        HGLOBAL h = make_random_dib(11, 3, bits, 3);
        DibBlock wide(to_truecolor24(h));
        ASSERT_EQ(wide.bih->biBitCount, 24);
        EXPECT_TRUE(dib_to_pnm(wide.get(), 3).data == dib_to_pnm(h, 3).data) << bits;
        GlobalFree(h);
    }
    HGLOBAL h24 = make_random_dib(3, 3, 24, 1);
    EXPECT_EQ(to_truecolor24(h24), h24) << "24 bits: the same block";
    GlobalFree(h24);
}

}  // namespace
