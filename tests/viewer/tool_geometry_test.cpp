// Window points to image pixels in the merge and text tools, at each zoom
// and scroll position: centred in a dimension the zoomed image fits, at the
// (negative) scroll offset in one it does not. While the text is placed a
// point beside a centred image is -1 on that axis.
#include <gtest/gtest.h>

#include "viewer/crop_window.h"
#include "viewer/merge_window.h"
#include "viewer/text_window.h"

namespace {

struct PointCase {
    int x, y;
    int client_w, client_h, zoomed_w, zoomed_h, zoom, scroll_x, scroll_y;
    int ix, iy;          // as dragging maps it
    int place_x, place_y;  // as placing maps it
};

const PointCase POINTS[] = {
    // 80 x 40 at 100 % centred in 800 x 600: the image starts at (360, 280).
    {360, 280, 800, 600, 80, 40, 8, 0, 0, 0, 0, 0, 0},
    {439, 319, 800, 600, 80, 40, 8, 0, 0, 79, 39, 79, 39},
    {350, 270, 800, 600, 80, 40, 8, 0, 0, -10, -10, -1, -1},
    {440, 320, 800, 600, 80, 40, 8, 0, 0, 80, 40, -1, -1},
    // 800 %: 640 x 320 starts at (80, 140); one image pixel is 8 window pixels.
    {95, 147, 800, 600, 640, 320, 64, 0, 0, 1, 0, 1, 0},
    // 12.5 %: 10 x 5 at (395, 297); each window pixel is 8 image pixels.
    {399, 299, 800, 600, 10, 5, 1, 0, 0, 32, 16, 32, 16},
    // 200 % of 1000 x 400 is wider than the client: scrolled 300 to the left.
    {0, 300, 800, 600, 2000, 800, 16, -300, -100, 150, 200, 150, 200},
    {10, 0, 800, 600, 2000, 800, 16, -300, -100, 155, 50, 155, 50},
};

TEST(ToolGeometry, WindowPointToImagePixel)
{
    for (const PointCase& c : POINTS) {
        int ix = 0, iy = 0;
        tool_point_to_image(c.x, c.y, c.client_w, c.client_h, c.zoomed_w, c.zoomed_h, c.zoom, c.scroll_x, c.scroll_y,
                            &ix, &iy);
        EXPECT_EQ(ix * 10000 + iy, c.ix * 10000 + c.iy) << c.x << "," << c.y << " zoom " << c.zoom;
        text_point_to_image(c.x, c.y, c.client_w, c.client_h, c.zoomed_w, c.zoomed_h, c.zoom, c.scroll_x, c.scroll_y,
                            &ix, &iy);
        EXPECT_EQ(ix * 10000 + iy, c.place_x * 10000 + c.place_y) << c.x << "," << c.y << " zoom " << c.zoom;
    }
}

}  // namespace

static int g_erasesSeen;

static LRESULT CALLBACK counting_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    g_erasesSeen += msg == WM_ERASEBKGND;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// Scrolling the merge and text tools repaints the picture over itself: a
// background erased first shows as a flicker on every scroll step.
TEST(ToolScroll, RepaintsWithoutErasing)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = counting_wnd_proc;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "ToolScrollProbe";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA(wc.lpszClassName, "A", WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 300, 200,
                              NULL, NULL, NULL, NULL);
    ASSERT_NE(hwnd, (HWND)NULL);
    UpdateWindow(hwnd);
    g_scrollRangeX = g_scrollRangeY = 500;
    g_zoomEighths = 8;
    g_erasesSeen = 0;
    tool_on_scroll(hwnd, SB_VERT, SB_PAGEDOWN);
    tool_on_scroll(hwnd, SB_HORZ, SB_PAGEDOWN);
    UpdateWindow(hwnd);
    EXPECT_EQ(g_erasesSeen, 0);
    EXPECT_LT(g_scrollY, 0) << "the page step moved the picture";
    DestroyWindow(hwnd);
    g_scrollRangeX = g_scrollRangeY = g_scrollX = g_scrollY = 0;
}
