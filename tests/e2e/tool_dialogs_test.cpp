// The ROTATE and FRAME dialogs from the main menu: their fields take
// expressions, a text that is none keeps the dialog open, and OK changes
// the preview (the frame in the colour of the settings file).
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(ToolDialogs, ExpressionsTurnThePictureAndFrameIt)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "FrameColor_Red", "255", ini.c_str());
    WritePrivateProfileStringA("Corvane", "FrameColor_Green", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "FrameColor_Blue", "255", ini.c_str());
    std::string dir = e2e_work_dir("tool_dialogs");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    ASSERT_NE(preview_pixel(app, "angle_before", 0.34, 0.12), 0xFF0000u) << "above the wide picture";

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ROTATE_ANGLE, 0), 0);
    HWND dialog = wait_dialog(app, "Rotate Image", 5000);
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
    PreviewShot turned = preview_shot(app, "angle_after");
    EXPECT_EQ(turned.in_square(0.34, 0.12), 0xFF0000u);
    EXPECT_EQ(turned.in_square(0.04, 0.04), 0xFFFFFFu);

    send_main_command(app, IDM_MAIN_RESTORE);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FRAME, 0), 0);
    dialog = wait_dialog(app, "quadrants.bmp", 5000);
    ASSERT_TRUE(dialog);
    SendMessageA(GetDlgItem(dialog, IDC_FRAME_UNIFORM), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(dialog, IDC_FRAME_SEPARATE), BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextA(dialog, IDC_FRAME_TOP, "40/2");
    SetDlgItemTextA(dialog, IDC_FRAME_BOTTOM, "20");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    Sleep(800);
    EXPECT_FALSE(is_visible(dialog));
    // 80 x 40 with 20 rows above and below fills the square preview.
    PreviewShot framed = preview_shot(app, "frame_after");
    EXPECT_EQ(framed.in_square(0.5, 0.1), 0xFF00FFu);
    EXPECT_EQ(framed.in_square(0.25, 0.375), 0xFF0000u);
    EXPECT_EQ(framed.in_square(0.75, 0.625), 0xFFFF00u);
    EXPECT_EQ(framed.in_square(0.02, 0.9), 0xFF00FFu);
}

}  // namespace
