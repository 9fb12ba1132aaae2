// The main menu as a person uses it: the bar and its popups, a display
// option chosen from the menu, and Convert/Save through the Save dialog.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// A dialog or message box of the program with that title.
HWND wait_dialog(const RunningApp& app, const char* title, DWORD wait_ms = 15000)
{
    return find_process_window(app.process.dwProcessId, "#32770", NULL, wait_ms, title);
}

// The texts of a message box's static controls, joined.
std::string box_text(HWND box)
{
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[32] = "";
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0)
            text += window_text(child);
    }
    return text;
}

void press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// Opens the bar entry with mnemonic key, then picks the item with mnemonic
// item_key, as the keyboard does.
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

TEST(MainMenu, BarShowsOnTheMainWindow)
{
    std::string dir = e2e_work_dir("menu_bar");
    RunningApp app;
    ASSERT_TRUE(start_app("", dir, app));
    HMENU bar = GetMenu(app.main);
    ASSERT_NE(bar, nullptr) << "the main window has a menu bar";

    ASSERT_FALSE(save_screenshot(app.main, "main_menu_bar").empty());

    // The bar shows between the caption and the client area.
    RECT window, client;
    GetWindowRect(app.main, &window);
    GetClientRect(app.main, &client);
    EXPECT_GE((window.bottom - window.top) - client.bottom, GetSystemMetrics(SM_CYMENU));

    EXPECT_EQ(exit_by_button(app), 1);
}

TEST(MainMenu, HideFileNameFromTheMenuIsWrittenAtOnce)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    std::string dir = e2e_work_dir("menu_option");
    RunningApp app;
    ASSERT_TRUE(start_app("", dir, app));

    // Slidesho&w, then Hide &File Name.
    choose_by_keys(app, 'w', "f");
    DWORD start = GetTickCount();
    while (GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()) != 1 && GetTickCount() - start < 5000)
        Sleep(100);
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()), 1);

    EXPECT_EQ(exit_by_button(app), 1);
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
}

// Convert/Save -> BMP -> Uncompressed, the target typed into the Save
// dialog; returns the OK button's label and the text of the box titled
// box_title that ends it, and closes that box. A question on the way (a
// file to replace) is answered Yes.
std::string convert_to_bmp(const RunningApp& app, const std::string& target, const std::string& box_title)
{
    choose_by_keys(app, 'c', "mu");
    HWND save = wait_dialog(app, "Save As Windows BMP");
    if (!save)
        return "no Save dialog";
    std::string ok_label = window_text(GetDlgItem(save, IDOK));
    SendMessageA(GetDlgItem(save, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
    press(save, IDOK);
    HWND box = NULL;
    DWORD start = GetTickCount();
    while (!box && GetTickCount() - start < 15000) {
        HWND w = find_process_window(app.process.dwProcessId, "#32770", app.main, 200);
        if (!w || w == save)
            continue;
        if (window_text(w) == box_title) {
            box = w;
        } else {
            press(w, IDYES);
            Sleep(300);
        }
    }
    if (!box)
        return "no box titled " + box_title;
    std::string text = box_text(box);
    press(box, IDOK);
    for (int i = 0; i < 100 && IsWindow(box); ++i)
        Sleep(50);
    Sleep(300);
    return ok_label + "|" + text;
}

TEST(MainMenu, ConvertSaveBmpThroughTheSaveDialogWritesTheFile)
{
    std::string dir = e2e_work_dir("menu_convert");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    std::string target = dir + "\\copy.bmp";
    DeleteFileA(target.c_str());

    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
    std::string result = convert_to_bmp(app, target, "File Converted Successfully");
    std::string source = read_whole_file(dir + "\\quadrants.bmp");
    std::string written = read_whole_file(target);
    ASSERT_FALSE(written.empty()) << result;
    EXPECT_EQ(result, "Convert/Save|" + target + "\n\n" + std::to_string(written.size()) + " bytes");
    // The same 24-bit rows as the file it came from.
    ASSERT_GE(source.size(), 54u);
    EXPECT_EQ(written.size(), source.size());
    EXPECT_EQ(written.substr(54), source.substr(54));

    // A read-only target: the failure box, and the file stays as it was.
    std::string locked = dir + "\\locked.bmp";
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(write_whole_file(locked, "old"));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    result = convert_to_bmp(app, locked, locked);
    EXPECT_EQ(result, "Convert/Save|Cannot Open File for Writing.");
    EXPECT_EQ(read_whole_file(locked), "old");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(exit_by_button(app), 1);
}

// Help -> About opens the About box over the main window; OK closes it.
TEST(MainMenu, AboutBoxOpensAndCloses)
{
    std::string dir = e2e_work_dir("menu_about");
    RunningApp app;
    ASSERT_TRUE(start_app("", dir, app));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ABOUT, 0), 0);
    // It has the main window's title: found as the other dialog.
    HWND about = find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(window_text(about), "Corvane Graphics' File Viewer");
    EXPECT_NE(window_text(GetDlgItem(about, IDC_ABOUT_TEXT)).find("Version"), std::string::npos);
    press(about, IDOK);
    for (int i = 0; i < 100 && IsWindow(about); ++i)
        Sleep(50);
    EXPECT_FALSE(IsWindow(about));

    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
