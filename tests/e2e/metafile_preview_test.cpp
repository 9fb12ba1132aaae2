// Windows and enhanced metafiles drawn by the system's own GDI show in the
// preview.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

void draw_red_square(HDC dc, int size)
{
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old_brush = SelectObject(dc, red);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, size + 1, size + 1);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(red);
}

DWORD preview_pixel(const RunningApp& app, const char* shot, int x, int y)
{
    std::vector<DWORD> pixels;
    int w = 0, h = 0;
    if (save_screenshot(GetDlgItem(app.main, IDC_MAIN_PREVIEW), shot, &pixels, &w, &h).empty() ||
        x >= w || y >= h)
        return 0xFFFFFFFF;
    return pixels[(size_t)y * w + x];
}

TEST(MetafilePreview, EnhancedMetafileFillsTheFittedRectangle)
{
    std::string dir = e2e_work_dir("metafiles");
    std::string path = dir + "\\square.emf";
    RECT frame = {0, 0, 2000, 2000};  // 20 mm square, in 0.01 mm
    HDC dc = CreateEnhMetaFileA(NULL, path.c_str(), &frame, "test\0square\0");
    ASSERT_NE(dc, nullptr);
    draw_red_square(dc, 200);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));

    RunningApp app;
    ASSERT_TRUE(start_app("square.emf", dir, app));
    RECT r;
    GetClientRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), &r);
    EXPECT_EQ(preview_pixel(app, "preview_emf", r.right / 2, r.bottom / 2), 0xFF0000u);
}

TEST(MetafilePreview, PlainWindowsMetafilePlaysAtThePreviewsCorner)
{
    std::string dir = e2e_work_dir("metafiles");
    std::string path = dir + "\\square.wmf";
    HDC dc = CreateMetaFileA(path.c_str());
    ASSERT_NE(dc, nullptr);
    draw_red_square(dc, 60);
    DeleteMetaFile(CloseMetaFile(dc));

    RunningApp app;
    ASSERT_TRUE(start_app("square.wmf", dir, app));
    // A plain metafile has no size of its own: it plays in logical pixels
    // from the image rectangle's corner at (3, 3).
    EXPECT_EQ(preview_pixel(app, "preview_wmf", 3 + 30, 3 + 30), 0xFF0000u);
}

}  // namespace
