// The ROTATE dialog from the main menu: its field takes an expression, a
// text that is none keeps the dialog open, and OK turns the preview.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(RotateDialog, ExpressionAngleTurnsThePreview)
{
    std::string dir = e2e_work_dir("angle");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    ASSERT_NE(preview_pixel(app, "angle_before", 0.34, 0.12), 0xFF0000u) << "above the wide picture";

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ROTATE_ANGLE, 0), 0);
    HWND dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 5000, "Rotate Image");
    ASSERT_TRUE(dialog);
    SetDlgItemTextA(dialog, IDC_ANGLE_EDIT, "abc");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    // The message box carries the dialog's caption too.
    HWND box = find_process_window(app.process.dwProcessId, "#32770", dialog, 5000, "Rotate Image");
    ASSERT_TRUE(box);
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)), "Error: Angle must have numeric value.");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    wait_until_closed(box, 5000);
    ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";

    SetDlgItemTextA(dialog, IDC_ANGLE_EDIT, "90/2");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    Sleep(800);
    EXPECT_FALSE(is_visible(dialog));
    // A quarter of a right angle clockwise lifts the red top-left corner to
    // the top of a square picture whose corners are the white background.
    EXPECT_EQ(preview_pixel(app, "angle_after", 0.34, 0.12), 0xFF0000u);
    EXPECT_EQ(preview_pixel(app, "angle_after", 0.04, 0.04), 0xFFFFFFu);
}

}  // namespace
