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
    EXPECT_EQ(preview_pixel(app, "preview_emf", 0.5, 0.5), 0xFF0000u);
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
    // from the image square's corner: the 60-pixel square covers its corner.
    EXPECT_EQ(preview_pixel(app, "preview_wmf", 0.05, 0.05), 0xFF0000u);
}

}  // namespace
