// Deform to Sphere from the main menu: the preview shows a ball cut from
// the picture's left square on the background colour.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// Colour (0xRRGGBB) at a fraction of the preview's square picture area.
DWORD pixel_at(HWND preview, const char* shot, double fx, double fy)
{
    std::vector<DWORD> pixels;
    int w = 0, h = 0;
    if (save_screenshot(preview, shot, &pixels, &w, &h).empty())
        return 0xFFFFFFFF;
    int side = w - 6;
    return pixels[(size_t)(3 + (int)(fy * side)) * w + 3 + (int)(fx * side)];
}

TEST(MenuSphere, PreviewShowsTheBallOfTheLeftSquare)
{
    std::string dir = e2e_work_dir("sphere");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);
    ASSERT_NE(pixel_at(preview, "sphere_before", 0.75, 0.15), 0xFF0000u) << "above the wide picture";

    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SPHERE, 0), 0);
    Sleep(300);
    // The 40 x 40 square of red over blue now fills the preview; the
    // green quadrant is cut away and the corners are the white background.
    EXPECT_EQ(pixel_at(preview, "sphere_after", 0.75, 0.15), 0xFF0000u);
    EXPECT_EQ(pixel_at(preview, "sphere_after", 0.25, 0.15), 0xFF0000u);
    EXPECT_EQ(pixel_at(preview, "sphere_after", 0.25, 0.85), 0x0000FFu);
    EXPECT_EQ(pixel_at(preview, "sphere_after", 0.02, 0.02), 0xFFFFFFu);
}

}  // namespace
