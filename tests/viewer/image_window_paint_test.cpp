// Painting a picture far larger than the image window: the display's own
// copy of the picture in its pixel format must not be made whole, or a
// picture a little under the size limit cannot be shown at all.
#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/loader.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/peak_memory.h"
#include "viewer/image_window.h"

namespace {

// A 24-bit picture of four solid quadrants (red, green over blue, yellow).
HGLOBAL make_quadrants(int width, int height)
{
    HGLOBAL dib = make_dib(width, height, 24);
    DibBlock block(dib, false);
    for (int y = 0; y < height; ++y) {
        BYTE* row = block.row(y);
        const bool top = y >= height / 2;
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            const COLORREF c = top ? (left ? RGB(255, 0, 0) : RGB(0, 255, 0)) : (left ? RGB(0, 0, 255) : RGB(255, 255, 0));
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    return dib;
}

// 8000 x 6000 at 24 bits is 144 MB; a whole copy in the display's 32-bit
// format would be 192 MB more.
TEST(ImageWindowPaint, LargePictureIsShownWithoutAWholeCopy)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
    ASSERT_NE(window, nullptr);
    HGLOBAL saved_image = g_hImage;
    const int saved_kind = g_imageKind;
    g_hImage = make_quadrants(8000, 6000);
    ASSERT_NE(g_hImage, nullptr);
    g_imageKind = KIND_DIB;
    HDC dc = GetDC(window);
    RECT area = {0, 0, 400, 300};
    FillRect(dc, &area, (HBRUSH)GetStockObject(WHITE_BRUSH));
    PeakMemoryWatch watch;
    paint_current_image(window, dc, area, 0);
    const uint64_t rise = watch.rise();
    GdiFlush();
    // Shrunk to 372 x 279 in the middle: a point in each quadrant and one
    // of the background round it.
    const struct {
        int x, y;
        COLORREF colour;
    } probes[] = {{150, 100, RGB(255, 0, 0)}, {250, 100, RGB(0, 255, 0)}, {150, 200, RGB(0, 0, 255)},
                  {250, 200, RGB(255, 255, 0)}, {5, 5, RGB(255, 255, 255)}};
    for (const auto& p : probes)
        EXPECT_EQ(GetPixel(dc, p.x, p.y), p.colour) << p.x << "," << p.y;
    ReleaseDC(window, dc);
    DestroyWindow(window);
    GlobalFree(g_hImage);
    g_hImage = saved_image;
    g_imageKind = saved_kind;
    if (watch.works())
        EXPECT_LT(rise, 64u << 20) << rise;
}

}  // namespace
