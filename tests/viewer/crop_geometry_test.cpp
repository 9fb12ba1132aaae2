// Window-pixel geometry of the crop tool: which handle a point grabs,
// how a drag is held inside the image, the snap to whole pixels above
// 100 %, the mapping between zooms and the scroll offsets.
#include <gtest/gtest.h>

#include "viewer/crop_window.h"

namespace {

bool same(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(CropGeometry, HandleUnderThePoint)
{
    const RECT s = {100, 100, 200, 160};  // handle lines at 98, 202, 98, 162
    struct { int x, y, handle; } rows[] = {
        {98, 130, 1}, {202, 130, 2}, {150, 98, 3}, {98, 98, 4}, {202, 98, 5},
        {150, 162, 6}, {98, 162, 7}, {202, 162, 8}, {150, 130, 0}, {98, 60, 0}, {40, 98, 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(crop_handle_at(&s, r.x, r.y, 4, 4), r.handle) << r.x << "," << r.y;
}

TEST(CropGeometry, DragStaysInsideTheImage)
{
    const RECT image = {50, 40, 250, 190};
    struct { int handle, x, y; RECT want; int moved; } rows[] = {
        {8, 180, 150, {100, 100, 178, 148}, 0},   // corner inside: follows
        {8, 20, 20, {100, 100, 101, 101}, 1},     // past the opposite corner: held 1 px off
        {4, 0, 0, {50, 40, 200, 160}, 1},         // past the image's corner: held on it
        {2, 400, 130, {100, 100, 250, 160}, 1},   // right edge past the image
        {1, 80, 500, {82, 100, 200, 160}, 1},     // plain edge keeps y within its span
    };
    for (const auto& r : rows) {
        RECT s = {100, 100, 200, 160};
        int x = r.x, y = r.y;
        EXPECT_EQ(crop_drag(r.handle, &image, &s, &x, &y), r.moved) << r.handle;
        EXPECT_TRUE(same(s, r.want)) << r.handle << ": " << s.left << "," << s.top << "," << s.right << ","
                                     << s.bottom;
    }
}

TEST(CropGeometry, SnapAt800PercentKeepsWholePixels)
{
    const RECT image = {16, 16, 16 + 80, 16 + 64};  // 10 x 8 pixels at 64 eighths
    struct { RECT s, want; } rows[] = {
        {{21, 30, 90, 75}, {16, 24, 96, 80}},
        {{40, 40, 40, 40}, {40, 40, 48, 48}},   // collapsed: one pixel
        {{96, 80, 96, 80}, {88, 72, 96, 80}},   // collapsed on the far edges: stays inside
    };
    for (const auto& r : rows) {
        RECT s = r.s;
        crop_snap(64, &image, &s);
        EXPECT_TRUE(same(s, r.want)) << s.left << "," << s.top << "," << s.right << "," << s.bottom;
    }
    RECT s = {21, 30, 90, 75};
    crop_snap(8, &image, &s);
    EXPECT_TRUE(same(s, RECT{21, 30, 90, 75})) << "no snap at 100 %";
}

// Window rectangles to image pixels and between zooms, the image moved too.
TEST(CropGeometry, MapsBetweenZooms)
{
    struct { RECT s, old_image, new_image; int to, from; RECT want; } rows[] = {
        {{116, 66, 216, 126}, {100, 50, 300, 250}, {0, 0, 100, 100}, 4, 8, {8, 8, 58, 38}},
        {{8, 8, 58, 38}, {0, 0, 100, 100}, {100, 50, 300, 250}, 8, 4, {116, 66, 216, 126}},
        {{16 + 24, 16, 16 + 640, 16 + 8}, {16, 16, 656, 336}, {0, 0, 80, 40}, 8, 64, {3, 0, 80, 1}},
        {{16, 16, 17, 17}, {16, 16, 96, 96}, {10, 10, 20, 20}, 1, 8, {10, 10, 11, 11}},  // kept 1 px
        {{95, 95, 96, 96}, {16, 16, 96, 96}, {10, 10, 20, 20}, 1, 8, {19, 19, 20, 20}},  // and inside
    };
    for (const auto& r : rows) {
        RECT got = rescale_crop_rect(&r.s, &r.old_image, &r.new_image, r.to, r.from);
        EXPECT_TRUE(same(got, r.want)) << got.left << "," << got.top << "," << got.right << "," << got.bottom;
    }
}

TEST(CropGeometry, ScrollOffsetStaysInRange)
{
    struct { int offset, code, thumb, want; } rows[] = {
        {0, SB_LINEUP, 0, 0},          {0, SB_LINEDOWN, 0, -16},   {-10, SB_PAGEUP, 0, 0},
        {-10, SB_PAGEDOWN, 0, -100},   {-10, SB_THUMBTRACK, 77, -77}, {-10, SB_BOTTOM, 0, -100},
        {-50, SB_TOP, 0, 0},           {-50, SB_ENDSCROLL, 0, -50},
    };
    for (const auto& r : rows)
        EXPECT_EQ(tool_scroll_offset(r.offset, 100, r.code, r.thumb, 16), r.want) << r.code;
}

}  // namespace
