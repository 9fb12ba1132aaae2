// Commands chosen in the image window: their dialogs and boxes are owned
// by it, so it waits disabled behind them and a window manager keeps them
// in front of it, and a tool it started gives the focus back to it, not to
// the main window.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(ImageWindowOwner, DialogsAndToolsOfItsCommandsComeBackToIt)
{
    ScopedSetting no_tip("DontShowAgain", "1");  // the crop tip would wait for its OK
    std::string dir = e2e_work_dir("image_window_owner");
    DeleteFileA((dir + "\\gone.jpg").c_str());
    ASSERT_TRUE(copy_fixture("quadrants.jpg", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.jpg", dir, app));
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);

    // Insert/Replace Comment, About and a Convert/Save.
    const struct {
        int command;
        const char* title;  // null: the first dialog besides the main window
    } dialogs[] = {
        {IDM_VIEW_INSERT_COMMENT, "Insert/Update JPEG Comment"},
        {IDM_VIEW_ABOUT, NULL},
        {IDM_VIEW_SAVE_PNG, "Save As PNG"},
    };
    for (const auto& d : dialogs) {
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(d.command, 0), 0);
        HWND dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 10000, d.title);
        ASSERT_TRUE(dialog) << d.command;
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), view) << window_text(dialog);
        EXPECT_FALSE(IsWindowEnabled(view)) << window_text(dialog) << ": the image window waits behind it";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
        EXPECT_TRUE(wait_until_closed(dialog, 5000)) << d.command;
        EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(view) != FALSE; }, 5000));
    }

    // Crop, left by Esc and by accepting, started from the image window in front.
    for (int end : {0, IDM_CROP_ACCEPT}) {
        SetForegroundWindow(view);
        for (int i = 0; i < 50 && GetForegroundWindow() != view; ++i)
            Sleep(100);
        Sleep(500);
        ASSERT_EQ(GetForegroundWindow(), view);
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_CROP, 0), 0);
        HWND crop = find_process_window(app.process.dwProcessId, "Crop", NULL, 10000);
        ASSERT_TRUE(crop);
        if (end)
            PostMessageA(crop, WM_COMMAND, MAKEWPARAM(end, 0), 0);
        else
            PostMessageA(crop, WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(wait_until_closed(crop, 5000));
        wait_for([&] { return GetForegroundWindow() == view; }, 5000);
        HWND front = GetForegroundWindow();
        char cls[64] = "";
        GetClassNameA(front, cls, sizeof cls);
        EXPECT_EQ(front, view) << (end ? "accepted" : "escaped") << ": " << cls << " " << window_text(front);
    }

    // Undo once the file has gone: its box comes up over the image window,
    // not behind it over the main window.
    ASSERT_TRUE(MoveFileA((dir + "\\quadrants.jpg").c_str(), (dir + "\\gone.jpg").c_str()));
    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_UNDO, 0), 0);
    HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 10000, "Error");
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box).substr(0, 27), "The file has changed since ");
    EXPECT_TRUE(is_owned_over(box, view));
    click_button(box, IDOK);
    EXPECT_TRUE(wait_until_closed(box));
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
