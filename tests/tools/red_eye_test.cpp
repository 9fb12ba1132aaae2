// Red-eye correction: marked pixels turn into darkened greys, unmarked ones
// stay as they were, points outside the image or past the list are skipped.
#include "tools/red_eye.h"
#include "tools_test_util.h"

namespace {

// A list block of (x, y) pairs, y from the top.
HGLOBAL make_points(const std::vector<UINT>& xy)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, xy.size() * sizeof(UINT));
    memcpy(GlobalLock(h), xy.data(), xy.size() * sizeof(UINT));
    GlobalUnlock(h);
    return h;
}

TEST(FixRedEye, MarkedPixelsTurnGreyAndTheOthersStay)
{
    const struct {
        int bits;
        uint32_t before, after;  // packed as stored
    } cases[] = {  // pure red is the end-to-end full-screen test's
        {24, 0xFFFFFF, 0xFFFFFF}, {24, 0x000000, 0x000000},
        {24, 0x20C040, 0x636363},  // (32 + 192) / 510 = 0.439 -> 0.388
        {16, 0x7C00, 0x35AD},      // fields 31, 0, 0 -> 13 each
        {32, 0x80FF0000, 0x80737373},
    };
    // (3, 2) is marked; (9, 1) and (0, 4) lie outside, and a count of 5
    // reaches past the list's three pairs.
    HGLOBAL points = make_points({3, 2, 9, 1, 0, 4});
    for (const auto& c : cases) {
        HGLOBAL h = make_random_dib(5, 4, c.bits, 3);
        memcpy(DibBlock(h, false).row(1) + 3 * (c.bits / 8), &c.before, (size_t)c.bits / 8);
        DibBlock in(copy_packed_dib(h));
        ASSERT_EQ(fix_red_eye_points(&h, points, 5, 0, NULL), 1);
        DibBlock out(h);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(out.raw(x, y), x == 3 && y == 1 ? c.after : in.raw(x, y)) << c.bits << ": " << x << "," << y;
    }
    GlobalFree(points);
}

TEST(FixRedEye, PaletteImages)
{
    HGLOBAL points = make_points({1, 1});
    HGLOBAL h4 = make_random_dib(4, 4, 4, 1), h4_before = h4;
    EXPECT_EQ(fix_red_eye_points(&h4, points, 1, 0, NULL), 0);
    EXPECT_EQ(h4, h4_before);
    GlobalFree(h4);

    // 16 colours come back as at most 32, the marked pixel grey.
    SeamRecorder seams;
    g_imageKind = KIND_DIB;
    HGLOBAL h8 = make_dib(6, 6, 8, {quad(250, 0, 0), quad(0, 0, 250)}, 16);
    for (int y = 0; y < 6; ++y)
        memset(DibBlock(h8, false).row(y), y % 2, 6);
    ASSERT_EQ(fix_red_eye_points(&h8, points, 1, 0, NULL), 1);
    DibBlock out(h8);
    EXPECT_LE(dib_color_count(out.bih), 32u);
    RgbImage rgb = dib_to_rgb(h8);
    EXPECT_TRUE(rgb.at(1, 1).r == rgb.at(1, 1).g && rgb.at(1, 1).g == rgb.at(1, 1).b);
    EXPECT_EQ(rgb.at(0, 1).r, 250) << "unmarked red stays red";
    GlobalFree(points);
    reset_current_image();
}

}  // namespace
