// Image tools chosen from the main menu change what the preview shows.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

void command(const RunningApp& app, int id)
{
    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Sleep(300);
}

TEST(MenuTools, RotateClockwiseTurnsThePreviewAndGreyScaleDrainsItsColours)
{
    std::string dir = e2e_work_dir("tools");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    ASSERT_EQ(preview_pixel(app, "tools_before", 0.25, 0.375), 0xFF0000u);

    // Red, green over blue, yellow turns into blue, red over yellow, green,
    // and the picture stands upright in the square.
    command(app, IDM_MAIN_ROTATE_CW);
    EXPECT_EQ(preview_pixel(app, "tools_rotated", 0.375, 0.25), 0x0000FFu);
    EXPECT_EQ(preview_pixel(app, "tools_rotated", 0.625, 0.25), 0xFF0000u);
    EXPECT_EQ(preview_pixel(app, "tools_rotated", 0.375, 0.75), 0xFFFF00u);
    EXPECT_EQ(preview_pixel(app, "tools_rotated", 0.625, 0.75), 0x00FF00u);

    command(app, IDM_MAIN_GRAYSCALE);
    DWORD grey = preview_pixel(app, "tools_grey", 0.625, 0.25);
    EXPECT_EQ(grey & 0xFF, (grey >> 8) & 0xFF);
    EXPECT_EQ(grey & 0xFF, (grey >> 16) & 0xFF);
    EXPECT_NEAR((int)(grey & 0xFF), 76, 2) << "red weighs 0.30";

    // Restore reads the file again, without the edits.
    command(app, IDM_MAIN_RESTORE);
    EXPECT_EQ(preview_pixel(app, "tools_restored", 0.25, 0.375), 0xFF0000u);
}

}  // namespace
