// The main window as a person sees it: the classic Open dialog with the
// program's title and controls, the command-line file, browsing the list,
// the About box, Convert/Save through the Save dialog, the menu bar used by
// its keys, the comment dialog, and the Exit button.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

std::string file_info(const RunningApp& app, std::string* caption)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FILE_INFO, 0), 0);
    return dismiss_message_box(app, 5000, caption);
}

// The program's menus on show.
int open_menus(const RunningApp& app)
{
    int count = 0;
    HWND w = NULL;
    while ((w = FindWindowExA(NULL, w, "#32768", NULL)) != NULL) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        count += owner == app.process.dwProcessId && IsWindowVisible(w);
    }
    return count;
}

// Opens the bar entry with mnemonic key, then picks the items with the
// mnemonics item_keys, as the keyboard does: each key once its menu shows.
void choose_by_keys(const RunningApp& app, char key, const std::string& item_keys)
{
    SetForegroundWindow(app.main);
    PostMessageA(app.main, WM_SYSCOMMAND, SC_KEYMENU, (LPARAM)key);
    for (size_t i = 0; i < item_keys.size(); ++i) {
        const int menus = (int)i + 1;
        wait_for([&] { return open_menus(app) >= menus; }, 5000);
        PostMessageA(app.main, WM_CHAR, (WPARAM)item_keys[i], 0);
    }
}

// Where the file list shows the name, whatever its case; -1 when it does not.
int list_index(const RunningApp& app, const char* name)
{
    std::vector<std::string> items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    for (size_t i = 0; i < items.size(); ++i)
        if (lstrcmpiA(items[i].c_str(), name) == 0)
            return (int)i;
    return -1;
}

// Started with a quoted path in a folder with a blank: the file shows with
// its information and status line, another selection replaces it, the
// window keeps its minimum size and nothing is written to the settings.
TEST(MainWindow, ClassicDialogShowsTheCommandLineFileAndAnotherSelection)
{
    std::string dir = e2e_work_dir("browse with blank");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("commented.gif", dir));
    ASSERT_TRUE(write_whole_file(dir + "\\notes.txt", "x"));
    std::string settings_before = read_whole_file(settings_file_path());

    RunningApp app;
    ASSERT_TRUE(start_app("\"" + dir + "\\quadrants.bmp\"", dir, app));
    EXPECT_EQ(window_text(app.main), "Corvane Graphics' File Viewer");

    const struct {
        int id;
        const char* text;  // null: not checked
        int visible;       // -1: not checked
    } controls[] = {
        {IDC_MAIN_CENTER, "Ce&nter", -1}, {IDC_MAIN_TILE, "&Tile", -1}, {IDC_MAIN_FULL_SCREEN, "F&ull Screen", -1},
        {IDC_MAIN_EXIT, "E&xit", -1}, {IDC_MAIN_NAME_LABEL, "File Name:", -1},
        {IDC_MAIN_TYPE_LABEL, "List Files of Type:", -1}, {IDC_MAIN_DIR_LABEL, "Directories:", -1},
        {IDC_MAIN_DRIVE_LABEL, "Drives:", -1}, {IDC_MAIN_DIR_LIST, nullptr, 1}, {IDC_MAIN_DRIVE_COMBO, nullptr, 1},
        {IDC_MAIN_PREVIEW, nullptr, 1}, {IDC_MAIN_READ_ONLY, nullptr, 0}, {IDC_MAIN_OK, nullptr, 0},
    };
    for (const auto& c : controls) {
        HWND control = GetDlgItem(app.main, c.id);
        if (c.text) {
            EXPECT_EQ(window_text(control), c.text);
        }
        if (c.visible >= 0) {
            EXPECT_EQ(is_visible(control), c.visible == 1) << c.id;
        }
    }

    // The list shows the folder through the "Image Files" filter.
    EXPECT_GE(list_index(app, "quadrants.bmp"), 0);
    EXPECT_GE(list_index(app, "commented.gif"), 0);
    EXPECT_EQ(list_index(app, "notes.txt"), -1);
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO)), "Image Files");
    std::vector<DWORD> pixels = shoot(app.main, "main_window").pixels;
    ASSERT_FALSE(pixels.empty());
    // The dialog's face and its text both show.
    EXPECT_GT(std::count(pixels.begin(), pixels.end(), pixels[pixels.size() / 2]), 0);
    EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0x000000u), 0) << "no black text drawn";

    std::string caption;
    std::string info = file_info(app, &caption);
    EXPECT_EQ(caption, "quadrants.bmp");
    EXPECT_EQ(info.rfind("image type: Windows DIB", 0), 0u) << info;
    EXPECT_NE(info.find("width: 80"), std::string::npos) << info;
    EXPECT_NE(info.find("height: 40"), std::string::npos) << info;
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status_bar_part_text(app, status, 1), " ") << "no comment shows as one blank";

    // Another file selected in the list replaces image, text and status.
    int gif = list_index(app, "commented.gif");
    ASSERT_GE(gif, 0);
    select_list_entry(app, gif);
    info = file_info(app, &caption);
    EXPECT_EQ(caption, "commented.gif");
    EXPECT_EQ(info.rfind("image type: GIF", 0), 0u) << info;
    EXPECT_EQ(status_bar_part_text(app, status, 1), "Sunny day");

    // A drag to a tiny size is held at the minimum size.
    RECT dragged;
    GetWindowRect(app.main, &dragged);
    dragged.right = dragged.left + 20;
    dragged.bottom = dragged.top + 20;
    SendMessageA(app.main, WM_SIZING, WMSZ_BOTTOMRIGHT, (LPARAM)&dragged);
    EXPECT_GT(dragged.right - dragged.left, 200);
    EXPECT_GT(dragged.bottom - dragged.top, 200);

    // Help -> About has the main window's title: found as the other dialog.
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ABOUT, 0), 0);
    HWND about = find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(window_text(about), "Corvane Graphics' File Viewer");
    EXPECT_NE(window_text(GetDlgItem(about, IDC_ABOUT_TEXT)).find("Version"), std::string::npos);
    click_button(about, IDOK);
    EXPECT_TRUE(wait_until_closed(about, 5000));

    // Convert/Save -> BMP -> Uncompressed through the Save dialog writes the
    // same 24-bit rows and reports the file. (A target that cannot be
    // written is covered by the Convert/Save unit tests.)
    std::string target = dir + "\\copy.bmp";
    DeleteFileA(target.c_str());
    ASSERT_TRUE(select_list_file(app, "quadrants.bmp"));
    choose_by_keys(app, 'c', "mu");
    HWND save = wait_dialog(app, "Save As Windows BMP");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(save, IDOK)), "Convert/Save");
    SendMessageA(GetDlgItem(save, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
    click_button(save, IDOK);
    HWND box = wait_dialog(app, "File Converted Successfully");
    ASSERT_NE(box, nullptr);
    std::string written = read_whole_file(target), source = read_whole_file(dir + "\\quadrants.bmp");
    EXPECT_EQ(box_text(box), target + "\n\n" + std::to_string(written.size()) + " bytes");
    click_button(box, IDOK);
    ASSERT_GE(source.size(), 54u);
    EXPECT_EQ(written.size(), source.size());
    EXPECT_EQ(written.substr(54), source.substr(54));

    EXPECT_EQ(exit_by_button(app), 1);
    EXPECT_EQ(read_whole_file(settings_file_path()), settings_before) << "nothing is written at start or exit";
}

// The file list once it holds just these entries (or after a while).
std::vector<std::string> list_once(HWND list, const std::vector<std::string>& expected)
{
    wait_for([&] { return list_box_items(list) == expected; }, 5000);
    return list_box_items(list);
}

// Enter, pressed in the box that has the focus: on the file list it opens
// the selected picture in the image window; after a type is chosen, and in
// the file-name box with a pattern, it filters the list; a folder's name is
// refused.
TEST(MainWindow, EnterOpensTheSelectedFileFiltersByAPatternAndRefusesAFolder)
{
    std::string dir = e2e_work_dir("enter_key");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("commented.gif", dir));
    CreateDirectoryA((dir + "\\pictures").c_str(), NULL);
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));

    press_enter_in(app, IDC_MAIN_FILE_LIST);
    HWND view = find_process_window(app.process.dwProcessId, "Meta", NULL, 10000);
    ASSERT_TRUE(view) << "Enter on the file list opens the image window";
    EXPECT_EQ(window_text(view).rfind("quadrants.bmp", 0), 0u) << window_text(view);
    PostMessageA(view, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(wait_until_closed(view));

    // The fourth type, "gif", chosen with the arrow key in the type box.
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST), type = GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO);
    SendMessageA(app.main, WM_NEXTDLGCTL, (WPARAM)type, TRUE);
    for (int i = 0; i < 3; ++i)
        PostMessageA(type, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(wait_for_window_text(type, "gif"), "gif");
    press_enter_in(app, IDC_MAIN_TYPE_COMBO);
    EXPECT_EQ(list_once(list, {"commented.gif"}), std::vector<std::string>{"commented.gif"});

    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    SendMessageA(name, WM_SETTEXT, 0, (LPARAM) "*.bmp");
    press_enter_in(app, IDC_MAIN_NAME_EDIT);
    EXPECT_EQ(list_once(list, {"quadrants.bmp"}), std::vector<std::string>{"quadrants.bmp"});

    SendMessageA(name, WM_SETTEXT, 0, (LPARAM) "pictures");
    press_enter_in(app, IDC_MAIN_NAME_EDIT);
    EXPECT_EQ(dismiss_message_box(app, 5000), "Valid Folder (Directory), Missing File Name");
    EXPECT_EQ(exit_by_button(app), 1);
}

// After a typed "a\b\*.bmp" the folder list is rebuilt for b; each part of
// its path above b opens that folder, by a double-click on the list and by
// Enter in it.
TEST(FolderList, EachPartOfTheRebuiltPathOpensItsFolder)
{
    std::string dir = e2e_work_dir("folder_up");
    CreateDirectoryA((dir + "\\a").c_str(), NULL);
    CreateDirectoryA((dir + "\\a\\b").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(CopyFileA((dir + "\\quadrants.bmp").c_str(), (dir + "\\a\\in_a.bmp").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((dir + "\\quadrants.bmp").c_str(), (dir + "\\a\\b\\in_b.bmp").c_str(), FALSE));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST), folders = GetDlgItem(app.main, IDC_MAIN_DIR_LIST);
    SendMessageA(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), WM_SETTEXT, 0, (LPARAM) "a\\b\\*.bmp");
    press_enter_in(app, IDC_MAIN_NAME_EDIT);
    // The folder list is filled after the file list, by the same command.
    DWORD_PTR ignored;
    EXPECT_EQ(list_once(files, {"in_b.bmp"}), std::vector<std::string>{"in_b.bmp"});
    SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    // The drive, each folder down to b, no subfolder.
    const std::vector<std::string> rebuilt = list_box_items(folders);
    ASSERT_GE(rebuilt.size(), 4u);
    ASSERT_EQ(rebuilt[0].substr(1), ":\\");
    ASSERT_EQ(std::vector<std::string>(rebuilt.end() - 3, rebuilt.end()),
              (std::vector<std::string>{"folder_up", "a", "b"}));

    const size_t a = rebuilt.size() - 2;
    const struct {
        bool by_enter;
        size_t entry;  // of the list before
        std::vector<std::string> folders, files;
    } rows[] = {
        // a's path, then its subfolder b; folder_up's path, then a.
        {false, a, rebuilt, {"in_a.bmp"}},
        {true, a - 1, std::vector<std::string>(rebuilt.begin(), rebuilt.end() - 1), {"quadrants.bmp"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.files[0]);
        if (row.by_enter) {
            SendMessageA(folders, LB_SETCURSEL, row.entry, 0);
            press_enter_in(app, IDC_MAIN_DIR_LIST);
        } else {
            // The entry's middle, as the list shows it now.
            int height = (int)SendMessageA(folders, LB_GETITEMHEIGHT, 0, 0);
            int y = ((int)row.entry - (int)SendMessageA(folders, LB_GETTOPINDEX, 0, 0)) * height + height / 2;
            for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
                PostMessageA(folders, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(8, y));
        }
        EXPECT_EQ(list_once(files, row.files), row.files);
        SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        EXPECT_EQ(list_box_items(folders), row.folders);
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

// A folder the dialog opened itself, then a pattern typed with the full
// path of the folder above: the folder list shows that folder, as the
// file list does, not the one the dialog had opened.
TEST(FolderList, FollowsATypedPatternAfterTheDialogOpenedAFolder)
{
    std::string dir = e2e_work_dir("folder_typed") + "\\Holiday 2024";
    CreateDirectoryA(dir.c_str(), NULL);
    CreateDirectoryA((dir + "\\Beach").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(CopyFileA((dir + "\\quadrants.bmp").c_str(), (dir + "\\Beach\\sand.bmp").c_str(), FALSE));
    char full[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(dir.c_str(), sizeof full, full, NULL), 0u);
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST), folders = GetDlgItem(app.main, IDC_MAIN_DIR_LIST);
    const std::vector<std::string> listed = list_box_items(folders);
    auto beach = std::find(listed.begin(), listed.end(), "[Beach]");
    ASSERT_NE(beach, listed.end()) << "the dialog lists the subfolder";
    SendMessageA(folders, LB_SETCURSEL, beach - listed.begin(), 0);
    press_enter_in(app, IDC_MAIN_DIR_LIST);
    EXPECT_EQ(list_once(files, {"sand.bmp"}), std::vector<std::string>{"sand.bmp"});

    const std::string pattern = std::string(full) + "\\*.bmp";
    SendMessageA(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), WM_SETTEXT, 0, (LPARAM)pattern.c_str());
    press_enter_in(app, IDC_MAIN_NAME_EDIT);
    EXPECT_EQ(list_once(files, {"quadrants.bmp"}), std::vector<std::string>{"quadrants.bmp"});
    DWORD_PTR ignored;
    SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    // Its path down to it, then its subfolder.
    const std::vector<std::string> shown = list_box_items(folders);
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0].substr(1), ":\\");
    EXPECT_EQ(std::vector<std::string>(shown.end() - 2, shown.end()),
              (std::vector<std::string>{"Holiday 2024", "Beach"}));
    EXPECT_EQ(exit_by_button(app), 1);
}

// The bar on the main window, and a display option chosen by its keys:
// Slidesho&w, then Hide &File Name, written to the settings at once.
TEST(MainMenu, BarAndHideFileNameByItsKeys)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("", e2e_work_dir("menu_bar"), app));
    ASSERT_NE(GetMenu(app.main), nullptr) << "the main window has a menu bar";
    ASSERT_FALSE(shoot(app.main, "main_menu_bar").pixels.empty());
    // The bar shows between the caption and the client area.
    RECT window, client;
    GetWindowRect(app.main, &window);
    GetClientRect(app.main, &client);
    EXPECT_GE((window.bottom - window.top) - client.bottom, GetSystemMetrics(SM_CYMENU));
    choose_by_keys(app, 'w', "f");
    DWORD start = GetTickCount();
    while (GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()) != 1 && GetTickCount() - start < 5000)
        Sleep(100);
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()), 1);
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    EXPECT_EQ(exit_by_button(app), 1);
}

// The file named on the command line: its extension chooses the file type,
// unless that type leaves the file out; the list marks the file. A picture
// named by its full path in another folder ([named]) opens the list there
// and shows, whether the start folder ([start]) holds a different picture
// of its name or none; so does one named alone there, whose name begins
// another's or is begun by another's.
struct FilterCase {
    const char* file;
    const char* filter;
    const char* picture = nullptr;  // the named file's fixture, in [named]
    bool namesake = false;          // [start] holds another picture as file
    bool bare = false;              // named without its folder, started in [named]
    std::vector<std::string> beside = {};  // 60 x 40 pictures in [named]
    bool twin = false;  // one more in [named], under the name in capitals
};

class CommandLineFile : public ::testing::TestWithParam<FilterCase> {};

TEST_P(CommandLineFile, OpensTheNamedFileUnderTheTypeItsExtensionChooses)
{
    const FilterCase& c = GetParam();
    std::string file = c.file;
    const std::string sub = std::string("named_") + (c.namesake ? "namesake/" : c.bare ? "bare/" : "alone/") + c.file;
    std::string start = e2e_work_dir(c.picture ? sub + (c.bare ? "/named" : "/start") : "filters"), named = c.file;
    if (c.picture) {
        std::string folder = e2e_work_dir(sub + "/named");
        ASSERT_TRUE(copy_fixture(c.picture, folder));
        ASSERT_TRUE(MoveFileExA((folder + "\\" + c.picture).c_str(), (folder + "\\" + c.file).c_str(),
                                MOVEFILE_REPLACE_EXISTING));
        for (const std::string& other : c.beside) {
            ASSERT_TRUE(copy_fixture("slide_a.bmp", folder));
            ASSERT_TRUE(MoveFileExA((folder + "\\slide_a.bmp").c_str(), (folder + "\\" + other).c_str(),
                                    MOVEFILE_REPLACE_EXISTING));
        }
        if (c.twin) {
            // Another picture under the name in capitals, which only the
            // Unix side gives. The list puts a name before an equal one it
            // has, so the file found first is listed second: it is named,
            // and it holds the quadrants.
            std::string upper = c.file;
            CharUpperA(&upper[0]);
            const std::string lower_path = folder + "\\" + c.file, upper_path = folder + "\\" + upper;
            ASSERT_TRUE(copy_fixture("slide_a.bmp", folder));
            run_unix_command("mv '" + unix_path(folder + "\\slide_a.bmp") + "' '" + unix_path(upper_path) + "'");
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((folder + "\\*.jpg").c_str(), &found);
            ASSERT_NE(search, INVALID_HANDLE_VALUE);
            FindClose(search);
            file = found.cFileName;
            const std::string quadrants = read_whole_file(lower_path), other = read_whole_file(upper_path);
            if (file == upper)
                ASSERT_TRUE(write_whole_file(upper_path, quadrants) && write_whole_file(lower_path, other));
        }
        if (!c.bare)
            ASSERT_TRUE(copy_fixture("slide_b.bmp", start));
        if (c.namesake) {
            ASSERT_TRUE(copy_fixture("slide_c.bmp", start));
            ASSERT_TRUE(MoveFileExA((start + "\\slide_c.bmp").c_str(), (start + "\\" + c.file).c_str(),
                                    MOVEFILE_REPLACE_EXISTING));
        }
        char full[MAX_PATH] = "";
        ASSERT_GT(GetFullPathNameA((folder + "\\" + file).c_str(), sizeof full, full, NULL), 0u);
        named = c.bare ? file : full;
    } else {
        ASSERT_TRUE(write_whole_file(start + "\\" + c.file, "x"));
    }

    RunningApp app;
    ASSERT_TRUE(start_app("\"" + named + "\"", start, app));
    ASSERT_TRUE(wait_for_main(app, 10000));
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO)), c.filter);
    std::vector<std::string> files = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    const LRESULT marked = SendDlgItemMessageA(app.main, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0);
    EXPECT_EQ(marked >= 0 && marked < (LRESULT)files.size() ? files[marked] : "none", file);
    if (c.picture) {
        // The 80 x 40 quadrants, not a 60 x 40 namesake or neighbour, in
        // the list of its own folder.
        std::string caption, info = file_info(app, &caption);
        EXPECT_EQ(caption, file);
        EXPECT_NE(info.find("width: 80"), std::string::npos) << info;
        EXPECT_EQ(std::count(files.begin(), files.end(), "slide_b.bmp"), 0) << "the list of [start]";
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(Names, CommandLineFile, ::testing::Values(
    FilterCase{"clip.MPEG", "Multimedia"},
    FilterCase{"list.asx", "All Files (*.*)"},
    FilterCase{"quadrants.bmp", "Image Files", "quadrants.bmp", true},
    FilterCase{"quadrants.bmp", "Image Files", "quadrants.bmp", false},
    FilterCase{"sunraster.im1", "All Files (*.*)", "sunraster.im1", false, true, {"sunraster.im1.png"}},
    FilterCase{"sunraster.im1", "All Files (*.*)", "sunraster.im1", false, false, {"sunraster.im1.png"}},
    FilterCase{"holiday.jpg", "Image Files", "quadrants.jpg", false, true, {"holiday.jpg.bak", "holiday.jpeg"}, true}));

// The comment dialog on GIF, JPEG, Targa, IFF, PPM and PNG files, one after
// another in the list: it shows the comment (pamtotga names the Targa
// picture after its input file), OK writes the new text into the file and
// the status bar shows it; a file that cannot be written keeps its comment,
// and the typed text stays in the dialog. OK on the comment as shown leaves
// the file byte for byte (the dialog shows only the first of two comments);
// a read-only file takes the comment and stays read-only; a text typed key
// by key past the edit box's own default limit of 30,000 characters is
// written whole. A comment of one line of a megabyte opens at once (a box
// that wraps it takes most of an hour), and a key typed at its end is
// written; a comment of 1.5 MB shows its beginning in a read-only box,
// which says why, and the file keeps it.
enum CommentEdit { SET_TEXT, AS_SHOWN, KEYS_PAST_BOX_DEFAULT, KEY_AT_END, NOT_EDITABLE };

struct CommentCase {
    const char* file;
    const char* title;
    const char* old_comment;
    bool locked;  // another program holds the file open for reading only
    const char* set = "e2e";  // fixture folder
    CommentEdit edit = SET_TEXT;
    const char* typed = "Rainy night";
    bool read_only = false;
    size_t xs = 0;  // the comment shown is this many x's, in one line
};

// The edit box's whole text, however long.
std::string edit_text(HWND edit)
{
    DWORD_PTR length = 0;
    SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length);
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(edit, WM_GETTEXT, length + 1, (LPARAM)&text[0], SMTO_NORMAL, 10000, &copied);
    text.resize(copied);
    return text;
}

// Puts the text but its last characters into the box, then types those
// with the keyboard at its end; the text the file must get.
std::string type_past_box_default(HWND edit)
{
    const std::string keys = "0123456789abcdefghij";
    const std::string start(30000 - 10, 'x');
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)start.c_str());
    SetForegroundWindow(GetParent(edit));
    RECT r;
    GetWindowRect(edit, &r);
    char actions[200];
    snprintf(actions, sizeof actions, "mousemove %ld %ld click 1 key ctrl+End type %s", (r.left + r.right) / 2,
             (r.top + r.bottom) / 2, keys.c_str());
    x_input(actions);
    wait_for([&] { return SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0) >= (LRESULT)(start.size() + keys.size()); },
             5000);
    return start + keys;
}

// A character key at the end of the box's text, which has start, as the
// box takes a key; the text the file must get.
std::string key_at_end(HWND edit, const std::string& start, char key)
{
    SendMessageA(edit, EM_SETSEL, start.size(), start.size());
    PostMessageA(edit, WM_CHAR, (WPARAM)key, 1);
    wait_for([&] { return SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0) > (LRESULT)start.size(); });
    return start + key;
}

// Whether text holds part; in steps of its length, however long part is.
bool holds(const std::string& text, const std::string& part)
{
    return std::search(text.begin(), text.end(), std::boyer_moore_horspool_searcher(part.begin(), part.end())) !=
           text.end();
}

TEST(CommentDialog, WritesOrKeepsEverything)
{
    const CommentCase cases[] = {
        {"commented.gif", "Insert/Update GIF Comment", "Sunny day", true},
        {"commented.gif", "Insert/Update GIF Comment", "Sunny day", false},
        {"quadrants.jpg", "Insert/Update JPEG Comment", "", false},
        {"jmulti.jpg", "Insert/Update JPEG Comment", "first comment", false, "e2e", AS_SHOWN},
        {"quadrants.tga", "Insert/Update TARGA Comment", "quadrants", false},
        {"quadrants.iff", "Insert/Update IFF Comment", "", false},
        {"quadrants.ppm", "Insert/Update PPM Comment", "", false},
        {"basn2c08.png", "Insert/Update PNG Comment", "", true, "png"},
        {"basn2c08.png", "Insert/Update PNG Comment", "", false, "png"},
        {"basn2c08.png", "Insert/Update PNG Comment", "Rainy night", false, "png", SET_TEXT, "Read-only note", true},
        {"long_line.gif", "Insert/Update GIF Comment", "", false, "e2e", AS_SHOWN, "", false, 1048000},
        {"long_line.png", "Insert/Update PNG Comment", "", false, "e2e", KEY_AT_END, "", false, 1048000},
        {"too_long.png", "Insert/Update PNG Comment", "", false, "e2e", NOT_EDITABLE, "", false, 65536},
        {"basn2c08.png", "Insert/Update PNG Comment", "Read-only note", false, "png", KEYS_PAST_BOX_DEFAULT},
    };
    std::string dir = e2e_work_dir("comment");
    for (const CommentCase& c : cases)
        ASSERT_TRUE(copy_fixture(c.file, dir, c.set)) << c.file;
    RunningApp app;
    ASSERT_TRUE(start_app("commented.gif", dir, app));
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    for (const CommentCase& c : cases) {
        std::string path = dir + "\\" + c.file;
        std::string before = read_whole_file(path);
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.locked)
            lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (c.read_only)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(select_list_file(app, c.file)) << c.file;
        Sleep(300);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_INSERT_COMMENT, 0), 0);
        HWND dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 10000, c.title);
        ASSERT_NE(dialog, (HWND)NULL) << c.file;
        HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
        const std::string shown = c.xs ? std::string(c.xs, 'x') : c.old_comment;
        EXPECT_TRUE(edit_text(edit) == shown) << c.file << ": " << edit_text(edit).size() << " characters shown";
        std::string typed = c.typed;
        if (c.edit == SET_TEXT)
            SetWindowTextA(edit, typed.c_str());
        else if (c.edit == KEYS_PAST_BOX_DEFAULT)
            typed = type_past_box_default(edit);
        else if (c.edit == KEY_AT_END)
            typed = key_at_end(edit, shown, 'Z');
        if (c.edit == NOT_EDITABLE) {
            HWND box = find_process_window(app.process.dwProcessId, "#32770", dialog, 10000, c.file);
            EXPECT_EQ(box ? box_text(box) : "no box",
                      "Comment Too Long to Edit. The Dialog Edits a Comment of at Most 1048576 Bytes; Its "
                      "Beginning Is Shown, and the File Keeps Its Comment as It Is.");
            click_button(box, IDOK);
            wait_until_closed(box);
            EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_READONLY) << c.file;
        }
        click_button(dialog, IDOK);
        if (c.locked) {
            // The writer's box is captioned with the file name.
            HWND box = find_process_window(app.process.dwProcessId, "#32770", dialog, 10000, c.file);
            EXPECT_EQ(box ? box_text(box) : "no box", "Cannot Open File for Writing.");
            click_button(box, IDOK);
            wait_until_closed(box);
            EXPECT_FALSE(wait_until_closed(dialog, 1000));
            EXPECT_EQ(window_text(edit), "Rainy night");
            EXPECT_EQ(read_whole_file(path), before);
            // No comment shows as one blank.
            EXPECT_EQ(status_bar_part_text(app, status, 1), *c.old_comment ? c.old_comment : " ");
            click_button(dialog, IDCANCEL);
            EXPECT_TRUE(wait_until_closed(dialog, 5000));
            CloseHandle(lock);
            continue;
        }
        EXPECT_TRUE(wait_until_closed(dialog)) << c.file;
        std::string after = read_whole_file(path);
        if (c.edit == AS_SHOWN || c.edit == NOT_EDITABLE) {
            EXPECT_TRUE(after == before) << c.file << " as it was, byte for byte";
            if (!c.xs) {
                EXPECT_EQ(status_bar_part_text(app, status, 1), c.old_comment) << c.file;
            }
            continue;
        }
        EXPECT_TRUE(holds(after, typed)) << c.file;
        EXPECT_TRUE(!*c.old_comment || after.find(c.old_comment) == std::string::npos) << c.file;
        if (c.edit == SET_TEXT) {
            EXPECT_EQ(status_bar_part_text(app, status, 1), typed) << c.file;
        }
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY,
                  c.read_only ? (DWORD)FILE_ATTRIBUTE_READONLY : 0u) << c.file;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

// A JPEG shown in the image window and inverted there, the list taken by a
// typed pattern into a subfolder holding a file of the same name (a blue
// bitmap): the list marks none of its entries; Restore Original Image
// reads the shown file again (its red quarter comes back) without a box;
// Delete's question names the shown file with its folder; Next File goes
// on from the subfolder's first entry, the namesake.
TEST(MainList, AnotherFolderWithANamesakeLeavesTheShownFileItsOwn)
{
    std::string dir = e2e_work_dir("list_namesake");
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("quadrants.jpg", dir));
    ASSERT_TRUE(copy_fixture("slide_b.bmp", dir + "\\sub"));
    ASSERT_TRUE(copy_fixture("slide_c.bmp", dir + "\\sub"));
    ASSERT_TRUE(MoveFileExA((dir + "\\sub\\slide_c.bmp").c_str(), (dir + "\\sub\\quadrants.jpg").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    char full[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(dir.c_str(), sizeof full, full, NULL), 0u);
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.jpg", dir, app));
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    // The top-left quarter of the 80 x 40 picture, centred in the window.
    auto top_left_is = [](DWORD colour) {
        return [=](const Shot& s) { return colours_close(s.at(s.area_w / 2 - 20, s.area_h / 2 - 10), colour, 40); };
    };
    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_INVERT, 0), 0);
    ASSERT_TRUE(top_left_is(0x00FFFF)(shot_when([&] { return shoot_client(view, "namesake_inverted"); },
                                                top_left_is(0x00FFFF))));

    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    SendMessageA(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), WM_SETTEXT, 0, (LPARAM) "sub\\*.jpg;*.bmp");
    press_enter_in(app, IDC_MAIN_NAME_EDIT);
    const std::vector<std::string> sub = {"quadrants.jpg", "slide_b.bmp"};
    ASSERT_EQ(list_once(files, sub), sub);
    DWORD_PTR ignored;
    SendMessageTimeoutA(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    EXPECT_EQ(SendMessageA(files, LB_GETCURSEL, 0, 0), LB_ERR) << "the namesake is not marked";

    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_RESTORE, 0), 0);
    EXPECT_TRUE(top_left_is(0xFF0000)(shot_when([&] { return shoot_client(view, "namesake_restored"); },
                                                top_left_is(0xFF0000))));
    std::string caption, text = dismiss_message_box(app, 1000, &caption);
    EXPECT_EQ(caption + "|" + text, "|") << "the shown file was read again";

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_DELETE_FILE, 0), 0);
    HWND question = find_process_window(app.process.dwProcessId, "#32770", app.main, 8000);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(box_text(question), "Are you sure? \n\n\nDelete File " + std::string(full) + "\\quadrants.jpg?");
    click_button(question, IDNO);
    ASSERT_TRUE(wait_until_closed(question));

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_NEXT_FILE, 0), 0);
    EXPECT_TRUE(wait_for([&] { return SendMessageA(files, LB_GETCURSEL, 0, 0) == 0; }));
    EXPECT_EQ(file_info(app, &caption).substr(0, 23), "image type: Windows DIB") << "the namesake, a bitmap";
    EXPECT_EQ(exit_by_button(app), 1);
}

// The shown picture turned (quadrants.bmp, 80 x 40, becomes 40 x 80 with
// blue above red on the left of its top half), then the list taken into
// [sub], which holds another picture or nothing: the window a command opens
// shows the turned picture, not [sub]'s first file, and the list marks
// nothing. From the image window the picture is turned while it shows.
struct ListElsewhereRow {
    const char* name;
    int command;
    bool from_view;      // the command given in the image window, open before
    const char* window;  // the window's class
    std::vector<std::string> sub_files;
};

class ListElsewhere : public ::testing::TestWithParam<ListElsewhereRow> {};

TEST_P(ListElsewhere, OpensTheShownPictureWithItsEdits)
{
    const ListElsewhereRow& row = GetParam();
    std::string dir = e2e_work_dir(std::string("list_elsewhere_") + row.name);
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    for (const std::string& name : row.sub_files)
        ASSERT_TRUE(copy_fixture(name, dir + "\\sub"));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    ASSERT_TRUE(wait_for([&] { return SendMessageA(files, LB_GETCURSEL, 0, 0) != LB_ERR; }));
    HWND view = row.from_view ? open_image_window(app, IDC_MAIN_CENTER) : NULL;
    ASSERT_TRUE(!row.from_view || view);
    // Whether the left quarters of the turned picture's top half show at
    // (x, y) on: blue above red.
    auto turned_at = [](const Shot& s, int x, int y) {
        return s.at(x + 10, y + 20) == 0x0000FF && s.at(x + 30, y + 20) == 0xFF0000;
    };
    auto centred = [&](const Shot& s) { return turned_at(s, (s.area_w - 40) / 2, (s.area_h - 80) / 2); };
    // Posted before the clicks that take the list away: turned first.
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ROTATE_CW, 0), 0);
    ASSERT_TRUE(go_into_sub(app, row.sub_files));

    PostMessageA(row.from_view ? view : app.main, WM_COMMAND, MAKEWPARAM(row.command, BN_CLICKED), 0);
    HWND window = find_process_window(app.process.dwProcessId, row.window, view, 10000);
    ASSERT_NE(window, nullptr);
    const bool full = std::string(row.window) == "Full";
    auto turned = [&](const Shot& s) {
        return full ? turned_at(s, 620, 472) : row.command == IDC_MAIN_TILE ? turned_at(s, 0, 0) : centred(s);
    };
    Shot shot = shot_when(
        [&] { return full ? shoot(window, "elsewhere_full") : shoot_client(window, "elsewhere_view"); }, turned);
    EXPECT_TRUE(turned(shot)) << "the turned picture, not [sub]'s first file";
    if (!full)
        EXPECT_EQ(window_text(window), "quadrants.bmp     9654 bytes");
    EXPECT_EQ(list_box_items(files), row.sub_files);
    EXPECT_EQ(SendMessageA(files, LB_GETCURSEL, 0, 0), LB_ERR);
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(wait_until_closed(window));
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, ListElsewhere, ::testing::Values(
    ListElsewhereRow{"Center", IDC_MAIN_CENTER, false, "Meta", {"slide_b.bmp"}},
    ListElsewhereRow{"Tile", IDC_MAIN_TILE, false, "Meta", {"slide_b.bmp"}},
    ListElsewhereRow{"FullScreen", IDM_MAIN_FULL_SCREEN, false, "Full", {"slide_b.bmp"}},
    ListElsewhereRow{"FullScreenFromTheImageWindow", IDM_VIEW_FULL_SCREEN, true, "Full", {"slide_b.bmp"}},
    ListElsewhereRow{"CenterOverAnEmptyFolder", IDC_MAIN_CENTER, false, "Meta", {}}),
    [](const ::testing::TestParamInfo<ListElsewhereRow>& info) { return std::string(info.param.name); });

// The shown file changed on disk while no edit is shown: Restore Original
// Image, chosen by its keys, is offered and shows the file as it is now;
// so does a click on its entry, which the list has selected already.
TEST(ChangedOnDisk, RestoreByItsKeysAndAClickOnTheShownEntryReadTheFile)
{
    const DWORD RED = 0xFF0000, BLUE = 0x0000FF;
    std::string dir = e2e_work_dir("changed_on_disk");
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    ASSERT_TRUE(copy_fixture("slide_c.bmp", dir));
    const std::string path = dir + "\\shown.bmp";
    const std::string red = read_whole_file(dir + "\\slide_a.bmp"), blue = read_whole_file(dir + "\\slide_c.bmp");
    ASSERT_TRUE(write_whole_file(path, red));
    RunningApp app;
    ASSERT_TRUE(start_app("shown.bmp", dir, app));
    auto middle_is = [&](const char* shot, DWORD colour) {
        return wait_for([&] { return preview_pixel(app, shot, 0.5, 0.5) == colour; });
    };
    ASSERT_TRUE(middle_is("changed_red", RED));
    Sleep(1100);  // a write time the file system tells apart
    ASSERT_TRUE(write_whole_file(path, blue));
    choose_by_keys(app, 'i', "o");
    EXPECT_TRUE(middle_is("changed_restored", BLUE)) << "Restore is offered and reads the changed file";
    for (int i = 0; i < 2 && open_menus(app) > 0; ++i) {
        PostMessageA(app.main, WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(200);
    }
    Sleep(1100);
    ASSERT_TRUE(write_whole_file(path, red));
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    const int entry = (int)SendMessageA(list, LB_GETCURSEL, 0, 0);
    ASSERT_GE(entry, 0);
    const int height = (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    const int y = (entry - (int)SendMessageA(list, LB_GETTOPINDEX, 0, 0)) * height + height / 2;
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, y));
    PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(8, y));
    EXPECT_TRUE(middle_is("changed_clicked", RED)) << "the click reads the changed file";
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
