// The crop tool on the real program: a drag of the frame's top-left
// corner with the X pointer crops to the yellow quadrant; Esc leaves the
// picture as it was.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

#include <commctrl.h>
#include <stdio.h>

namespace {

struct CropTool {
    HWND window = NULL, status = NULL;
    POINT image_corner = {};  // top-left image pixel, screen coordinates
};

// Opens the tool over the 80 x 40 quadrants picture.
bool open_crop(RunningApp& app, CropTool* tool)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_CROP, 0), 0);
    tool->window = find_process_window(app.process.dwProcessId, "Crop", NULL, 10000);
    HWND backdrop = find_process_window(app.process.dwProcessId, "Dummy", NULL, 5000);
    if (!tool->window || !backdrop)
        return false;
    tool->status = FindWindowExA(backdrop, NULL, STATUSCLASSNAMEA, NULL);
    RECT c;
    GetClientRect(tool->window, &c);
    tool->image_corner = {(c.right - 80) / 2, (c.bottom - 40) / 2};
    ClientToScreen(tool->window, &tool->image_corner);
    return true;
}

void drag_top_left_corner_by(const CropTool& tool, int dx, int dy)
{
    int x = tool.image_corner.x - 2, y = tool.image_corner.y - 2;
    char actions[200];
    snprintf(actions, sizeof actions,
             "mousemove %d %d sleep 0.3 mousedown 1 sleep 0.3 mousemove %d %d sleep 0.3 mousemove %d %d sleep 0.3 "
             "mouseup 1",
             x, y, x + dx / 2, y + dy / 2, x + dx, y + dy);
    x_input(actions);
}

class CropToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The tip would wait for its OK on the first pointer move.
        WritePrivateProfileStringA("Corvane", "DontShowAgain", "1", settings_file_path().c_str());
    }
    void TearDown() override
    {
        WritePrivateProfileStringA("Corvane", "DontShowAgain", NULL, settings_file_path().c_str());
    }
};

TEST_F(CropToolTest, DragTheCornerThenAcceptKeepsTheYellowQuadrant)
{
    std::string dir = e2e_work_dir("crop");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    CropTool tool;
    ASSERT_TRUE(open_crop(app, &tool));
    EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 80");

    drag_top_left_corner_by(tool, 40, 20);
    EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 40");
    EXPECT_EQ(status_bar_part_text(app, tool.status, 3), "height: 20");

    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_CROP_ACCEPT, 0), 0);
    EXPECT_FALSE(IsWindow(tool.window));
    Sleep(300);
    // Still twice as wide as high: the picture fills the preview's middle half.
    for (double f : {0.05, 0.5, 0.95})
        EXPECT_EQ(preview_pixel(app, "crop_accepted", f, 0.3 + f * 0.4), 0xFFFF00u) << f;
}

TEST_F(CropToolTest, EscapeAfterADragLeavesThePicture)
{
    std::string dir = e2e_work_dir("crop_cancel");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    DWORD before = preview_pixel(app, "crop_before", 0.1, 0.3);
    CropTool tool;
    ASSERT_TRUE(open_crop(app, &tool));
    drag_top_left_corner_by(tool, 40, 20);
    EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 40");
    x_input("key Escape");
    EXPECT_TRUE(wait_until_closed(tool.window, 5000));
    EXPECT_EQ(preview_pixel(app, "crop_cancelled", 0.1, 0.3), before);
    EXPECT_EQ(before, 0xFF0000u);
}

}  // namespace
