// The main menu as a person uses it: the bar on the main window, a display
// option chosen by its keys, the About box, and Convert/Save through the
// Save dialog.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// Opens the bar entry with mnemonic key, then picks the items with the
// mnemonics item_keys, as the keyboard does.
void choose_by_keys(const RunningApp& app, char key, const std::string& item_keys)
{
    SetForegroundWindow(app.main);
    PostMessageA(app.main, WM_SYSCOMMAND, SC_KEYMENU, (LPARAM)key);
    Sleep(300);
    for (char item_key : item_keys) {
        PostMessageA(app.main, WM_CHAR, (WPARAM)item_key, 0);
        Sleep(200);
    }
}

TEST(MainMenu, BarHideFileNameByItsKeysAndTheAboutBox)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("", e2e_work_dir("menu_bar"), app));
    ASSERT_NE(GetMenu(app.main), nullptr) << "the main window has a menu bar";
    ASSERT_FALSE(save_screenshot(app.main, "main_menu_bar").empty());
    // The bar shows between the caption and the client area.
    RECT window, client;
    GetWindowRect(app.main, &window);
    GetClientRect(app.main, &client);
    EXPECT_GE((window.bottom - window.top) - client.bottom, GetSystemMetrics(SM_CYMENU));

    // Slidesho&w, then Hide &File Name: written to the settings at once.
    choose_by_keys(app, 'w', "f");
    DWORD start = GetTickCount();
    while (GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()) != 1 && GetTickCount() - start < 5000)
        Sleep(100);
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()), 1);
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());

    // Help -> About has the main window's title: found as the other dialog.
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ABOUT, 0), 0);
    HWND about = find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(window_text(about), "Corvane Graphics' File Viewer");
    EXPECT_NE(window_text(GetDlgItem(about, IDC_ABOUT_TEXT)).find("Version"), std::string::npos);
    click_button(about, IDOK);
    EXPECT_TRUE(wait_until_closed(about, 5000));

    EXPECT_EQ(exit_by_button(app), 1);
}

// Convert/Save -> BMP -> Uncompressed with the target typed into the Save
// dialog writes the file and reports it. (A target that cannot be written
// is covered by the Convert/Save unit tests.)
TEST(MainMenu, ConvertSaveBmpThroughTheSaveDialogWritesTheFile)
{
    std::string dir = e2e_work_dir("menu_convert");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    std::string target = dir + "\\copy.bmp";
    DeleteFileA(target.c_str());

    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
    choose_by_keys(app, 'c', "mu");
    HWND save = wait_dialog(app, "Save As Windows BMP");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(save, IDOK)), "Convert/Save");
    SendMessageA(GetDlgItem(save, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
    click_button(save, IDOK);
    HWND box = wait_dialog(app, "File Converted Successfully");
    ASSERT_NE(box, nullptr);
    std::string written = read_whole_file(target);
    EXPECT_EQ(box_text(box), target + "\n\n" + std::to_string(written.size()) + " bytes");
    click_button(box, IDOK);
    // The same 24-bit rows as the file it came from.
    std::string source = read_whole_file(dir + "\\quadrants.bmp");
    ASSERT_GE(source.size(), 54u);
    EXPECT_EQ(written.size(), source.size());
    EXPECT_EQ(written.substr(54), source.substr(54));

    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
