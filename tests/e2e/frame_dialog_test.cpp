// The FRAME dialog from the main menu: separate side widths given as
// expressions add a border in the colour of the settings file.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(FrameDialog, SeparateWidthsAddABorderInTheKeptColour)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "FrameColor_Red", "255", ini.c_str());
    WritePrivateProfileStringA("Corvane", "FrameColor_Green", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "FrameColor_Blue", "255", ini.c_str());
    std::string dir = e2e_work_dir("frame");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FRAME, 0), 0);
    HWND dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 5000, "quadrants.bmp");
    ASSERT_TRUE(dialog);
    SendMessageA(GetDlgItem(dialog, IDC_FRAME_UNIFORM), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(dialog, IDC_FRAME_SEPARATE), BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextA(dialog, IDC_FRAME_TOP, "40/2");
    SetDlgItemTextA(dialog, IDC_FRAME_BOTTOM, "20");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    Sleep(800);
    EXPECT_FALSE(is_visible(dialog));

    // 80 x 40 with 20 rows above and below fills the square preview.
    EXPECT_EQ(preview_pixel(app, "frame_after", 0.5, 0.1), 0xFF00FFu);
    EXPECT_EQ(preview_pixel(app, "frame_after", 0.25, 0.375), 0xFF0000u);
    EXPECT_EQ(preview_pixel(app, "frame_after", 0.75, 0.625), 0xFFFF00u);
    EXPECT_EQ(preview_pixel(app, "frame_after", 0.02, 0.9), 0xFF00FFu);
}

}  // namespace
