// Moving, copying, renaming and deleting the current file as a person does
// it: the command's dialog or question, the file on disk afterwards, the
// list refilled and the next file shown; a cancel changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One command through its dialog: the target typed in (empty: cancel);
// returns "OK label|message box text" or what went wrong.
std::string run_with_dialog(const RunningApp& app, int command, const char* dialog_title,
                            const std::string& target, const char* box_title)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    HWND dialog = wait_dialog(app, dialog_title);
    if (!dialog)
        return std::string("no dialog ") + dialog_title;
    std::string label = window_text(GetDlgItem(dialog, IDOK));
    if (target.empty()) {
        click_button(dialog, IDCANCEL);
        wait_until_closed(dialog);
        Sleep(500);
        return label + "|";
    }
    SendMessageA(GetDlgItem(dialog, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
    click_button(dialog, IDOK);
    HWND box = wait_dialog(app, box_title);
    if (!box) {
        HWND other = find_process_window(app.process.dwProcessId, "#32770", app.main, 0);
        return label + "|no box " + box_title + (other ? ", instead: " + window_text(other) + " " + box_text(other) : "");
    }
    std::string text = box_text(box);
    click_button(box, IDOK);
    wait_until_closed(box);
    Sleep(700);
    return label + "|" + text;
}

std::vector<std::string> listed(const RunningApp& app)
{
    return list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
}

std::string name_field(const RunningApp& app)
{
    return window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT));
}

TEST(FileCommands, RenameCopyMoveDeleteAndCancelGiveTheirFilesAndShowTheNextFile)
{
    std::string dir = e2e_work_dir("file_commands");
    std::string moved = dir + "\\moved";
    CreateDirectoryA(moved.c_str(), NULL);
    for (const char* name : {"renamed.bmp", "copy_b.bmp", "moved\\slide_c.bmp"})
        DeleteFileA((dir + "\\" + name).c_str());
    for (const char* name : {"slide_a.bmp", "slide_b.bmp", "slide_c.bmp"})
        ASSERT_TRUE(copy_fixture(name, dir));

    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    Sleep(500);

    // Cancel: nothing changes.
    EXPECT_EQ(run_with_dialog(app, IDM_MAIN_MOVE_FILE, "Move \"slide_a.bmp\" To:", "", ""), "Move|");
    EXPECT_TRUE(exists(dir + "\\slide_a.bmp"));
    EXPECT_EQ(name_field(app), "slide_a.bmp");

    // Rename in the same folder: the renamed entry is shown.
    EXPECT_EQ(run_with_dialog(app, IDM_MAIN_RENAME_FILE, "Rename \"slide_a.bmp\":", dir + "\\renamed.bmp",
                              "Move File"),
              "Rename|slide_a.bmp renamed:\n\n" + dir + "\\renamed.bmp");
    EXPECT_FALSE(exists(dir + "\\slide_a.bmp"));
    EXPECT_EQ(read_whole_file(dir + "\\renamed.bmp").size(), 7254u);
    EXPECT_EQ(listed(app), (std::vector<std::string>{"renamed.bmp", "slide_b.bmp", "slide_c.bmp"}));
    EXPECT_EQ(name_field(app), "renamed.bmp");

    // Copy: both files, the copy listed, the current file unchanged.
    select_list_entry(app, 1);
    Sleep(500);
    EXPECT_EQ(run_with_dialog(app, IDM_MAIN_COPY_FILE, "Copy \"slide_b.bmp\" To:", dir + "\\copy_b.bmp",
                              "Copy File"),
              "Copy|slide_b.bmp copied to:\n\n" + dir + "\\copy_b.bmp");
    EXPECT_EQ(read_whole_file(dir + "\\copy_b.bmp"), read_whole_file(dir + "\\slide_b.bmp"));
    EXPECT_EQ(listed(app).size(), 4u);

    // Move to another folder: gone from the list; the entry now at its
    // place (the last was moved, so the first) is shown.
    select_list_entry(app, 3);
    Sleep(500);
    ASSERT_EQ(name_field(app), "slide_c.bmp");
    EXPECT_EQ(run_with_dialog(app, IDM_MAIN_MOVE_FILE, "Move \"slide_c.bmp\" To:", moved + "\\slide_c.bmp",
                              "Move File"),
              "Move|slide_c.bmp moved to:\n\n" + moved + "\\slide_c.bmp");
    EXPECT_FALSE(exists(dir + "\\slide_c.bmp"));
    EXPECT_TRUE(exists(moved + "\\slide_c.bmp"));
    EXPECT_EQ(listed(app), (std::vector<std::string>{"copy_b.bmp", "renamed.bmp", "slide_b.bmp"}));
    EXPECT_EQ(name_field(app), "copy_b.bmp");

    // Delete after the question: the next entry is shown.
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_DELETE_FILE, 0), 0);
    HWND question = wait_dialog(app, " CONFIRM DELETE FILE ");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(box_text(question), "Are you sure? \n\n\nDelete File copy_b.bmp?");
    click_button(question, IDYES);
    wait_until_closed(question);
    Sleep(700);
    EXPECT_FALSE(exists(dir + "\\copy_b.bmp"));
    EXPECT_EQ(listed(app), (std::vector<std::string>{"renamed.bmp", "slide_b.bmp"}));
    EXPECT_EQ(name_field(app), "renamed.bmp");
}

}  // namespace
