// Printing as a person does it: Print Normal from the main window's menu
// while a GIF animates, OK in the real print dialog, and the animation goes
// on afterwards; the page reaches the test run's PDF printer, where
// check_print.sh finds it. Then the printer profile is linked through its
// Open dialog and stored in the settings file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include <windows.h>
#include <commdlg.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// The page of the default printer, noted for check_print.sh as the unit
// tests note theirs.
void note_print(const std::string& dir, const std::string& what, const std::string& mode)
{
    PRINTDLGA dialog;
    // The printer's driver asks the print server, which can be slow to
    // answer on a busy machine: asked again until it does.
    BOOL found = FALSE;
    for (DWORD start = GetTickCount(); !found && GetTickCount() - start < 30000;) {
        memset(&dialog, 0, sizeof dialog);
        dialog.lStructSize = sizeof dialog;
        dialog.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
        found = PrintDlgA(&dialog);
        if (!found)
            Sleep(500);
    }
    ASSERT_TRUE(found) << "no default printer (error " << std::hex << CommDlgExtendedError()
                       << "): the test run starts a PDF printer";
    HDC hdc = dialog.hDC;
    char line[256];
    snprintf(line, sizeof line, "%s %s %d %d %d %d %d %d %d %d\n", what.c_str(), mode.c_str(),
             GetDeviceCaps(hdc, HORZRES), GetDeviceCaps(hdc, VERTRES), GetDeviceCaps(hdc, LOGPIXELSX),
             GetDeviceCaps(hdc, LOGPIXELSY), GetDeviceCaps(hdc, PHYSICALOFFSETX),
             GetDeviceCaps(hdc, PHYSICALOFFSETY), GetDeviceCaps(hdc, HORZSIZE), GetDeviceCaps(hdc, VERTSIZE));
    DeleteDC(hdc);
    GlobalFree(dialog.hDevMode);
    GlobalFree(dialog.hDevNames);
    EXPECT_TRUE(write_whole_file(dir + "\\print_jobs.txt", line));
}

// Colours the preview shows over a few seconds.
std::set<DWORD> preview_colours(const RunningApp& app)
{
    std::set<DWORD> seen;
    for (int i = 0; i < 8 && seen.size() < 2; ++i) {
        DWORD centre = preview_pixel(app, "print_animation", 0.5, 0.5);
        if (centre == 0xFF0000 || centre == 0x00FF00 || centre == 0x0000FF)
            seen.insert(centre);
    }
    return seen;
}

TEST(Print, AnimatedGifPrintsAndGoesOnAnimating)
{
    std::string dir = e2e_work_dir("print");
    ASSERT_TRUE(copy_fixture("animated.gif", dir));
    std::string settings = settings_file_path();
    WritePrivateProfileStringA("Corvane", "PrinterProfile", NULL, settings.c_str());

    RunningApp app;
    ASSERT_TRUE(start_app("animated.gif", dir, app));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_PRINT_NORMAL, 0), 0);
    HWND dialog = wait_dialog(app, "Print");
    ASSERT_NE(dialog, (HWND)NULL) << "the print dialog";
    click_button(dialog, IDOK);
    EXPECT_TRUE(wait_until_closed(dialog, 5000));
    note_print(dir, "e2e/animated.gif", "normal");
    EXPECT_GE(preview_colours(app).size(), 2u) << "the animation goes on after the print";

    // Link a profile: the Open dialog's pick becomes the setting.
    std::string profile = dir + "\\printer.icm";
    ASSERT_TRUE(write_whole_file(profile, "not checked when linked"));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_PRINTER_PROFILE, 0), 0);
    HWND open = wait_dialog(app, "Select Printer Color Profile File:");
    ASSERT_NE(open, (HWND)NULL);
    SetWindowTextA(GetDlgItem(open, 1152), profile.c_str());
    click_button(open, IDOK);
    EXPECT_TRUE(wait_until_closed(open, 20000));
    // The setting is written once the dialog has gone; a busy machine may
    // be slow to it.
    char stored[MAX_PATH] = "";
    wait_for([&] {
        GetPrivateProfileStringA("Corvane", "PrinterProfile", "", stored, sizeof stored, settings.c_str());
        return profile == stored;
    });
    EXPECT_STREQ(stored, profile.c_str());
    WritePrivateProfileStringA("Corvane", "PrinterProfile", NULL, settings.c_str());
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
