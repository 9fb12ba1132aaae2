// The comment dialog as a person uses it on GIF, JPEG, Targa, IFF and PPM files: it shows the comment
// (pamtotga names the Targa picture after its input file),
// OK writes the new text into the file and the status bar shows it; a file
// that cannot be written keeps its comment, and the typed text stays in
// the dialog.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

HWND open_comment_dialog(const RunningApp& app, const char* title)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_INSERT_COMMENT, 0), 0);
    return find_process_window(app.process.dwProcessId, "#32770", app.main, 10000, title);
}

bool wait_closed(HWND dialog, DWORD wait_ms)
{
    for (DWORD waited = 0; waited <= wait_ms; waited += 100) {
        if (!IsWindow(dialog))
            return true;
        Sleep(100);
    }
    return false;
}

// The writer's message box (captioned with the file name): its text, and
// it is closed with OK.
std::string dismiss_writer_box(const RunningApp& app, HWND dialog, const char* file)
{
    HWND box = find_process_window(app.process.dwProcessId, "#32770", dialog, 10000, file);
    if (!box)
        return "";
    std::string text = window_text(GetDlgItem(box, 0xFFFF));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i)
        Sleep(50);
    return text;
}

HWND main_status(const RunningApp& app)
{
    return GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
}

struct CommentCase {
    const char* name;
    const char* file;
    const char* title;
    const char* old_comment;
    bool locked;  // another program holds the file open for reading only
};

class CommentDialog : public ::testing::TestWithParam<CommentCase> {};

TEST_P(CommentDialog, WritesOrKeepsEverything)
{
    const CommentCase& c = GetParam();
    std::string dir = e2e_work_dir(std::string("comment_") + c.name);
    std::string path = dir + "\\" + c.file;
    ASSERT_TRUE(copy_fixture(c.file, dir));
    std::string before = read_whole_file(path);
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.locked)
        lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);

    RunningApp app;
    ASSERT_TRUE(start_app(c.file, dir, app));
    HWND dialog = open_comment_dialog(app, c.title);
    ASSERT_NE(dialog, (HWND)NULL);
    HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    EXPECT_EQ(window_text(edit), c.old_comment);
    SetWindowTextA(edit, "Rainy night");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

    if (c.locked) {
        EXPECT_EQ(dismiss_writer_box(app, dialog, c.file), "Cannot Open File for Writing.");
        EXPECT_FALSE(wait_closed(dialog, 1000));
        EXPECT_EQ(window_text(edit), "Rainy night");
        EXPECT_EQ(read_whole_file(path), before);
        EXPECT_EQ(status_bar_part_text(app, main_status(app), 1), c.old_comment);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(wait_closed(dialog, 5000));
        CloseHandle(lock);
    } else {
        EXPECT_TRUE(wait_closed(dialog, 10000));
        std::string after = read_whole_file(path);
        EXPECT_NE(after.find("Rainy night"), std::string::npos);
        if (*c.old_comment)
            EXPECT_EQ(after.find(c.old_comment), std::string::npos);
        EXPECT_EQ(status_bar_part_text(app, main_status(app), 1), "Rainy night");
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, CommentDialog,
                         ::testing::Values(CommentCase{"gif", "commented.gif", "Insert/Update GIF Comment", "Sunny day", false},
                                           CommentCase{"jpeg", "quadrants.jpg", "Insert/Update JPEG Comment", "", false},
                                           CommentCase{"gif_locked", "commented.gif", "Insert/Update GIF Comment",
                                                       "Sunny day", true},
                                           CommentCase{"targa", "quadrants.tga", "Insert/Update TARGA Comment", "quadrants", false},
                                           CommentCase{"iff", "quadrants.iff", "Insert/Update IFF Comment", "", false},
                                           CommentCase{"ppm", "quadrants.ppm", "Insert/Update PPM Comment", "", false}),
                         [](const ::testing::TestParamInfo<CommentCase>& info) { return std::string(info.param.name); });

}  // namespace
