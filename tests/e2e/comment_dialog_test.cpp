// The comment dialog as a person uses it on GIF, JPEG, Targa, IFF and PPM
// files, one after another in the list: it shows the comment (pamtotga
// names the Targa picture after its input file), OK writes the new text
// into the file and the status bar shows it; a file that cannot be written
// keeps its comment, and the typed text stays in the dialog.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

struct CommentCase {
    const char* file;
    const char* title;
    const char* old_comment;
    bool locked;  // another program holds the file open for reading only
};

TEST(CommentDialog, WritesOrKeepsEverything)
{
    const CommentCase cases[] = {
        {"commented.gif", "Insert/Update GIF Comment", "Sunny day", true},
        {"commented.gif", "Insert/Update GIF Comment", "Sunny day", false},
        {"quadrants.jpg", "Insert/Update JPEG Comment", "", false},
        {"quadrants.tga", "Insert/Update TARGA Comment", "quadrants", false},
        {"quadrants.iff", "Insert/Update IFF Comment", "", false},
        {"quadrants.ppm", "Insert/Update PPM Comment", "", false},
    };
    std::string dir = e2e_work_dir("comment");
    for (const CommentCase& c : cases)
        ASSERT_TRUE(copy_fixture(c.file, dir)) << c.file;
    RunningApp app;
    ASSERT_TRUE(start_app("commented.gif", dir, app));
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    for (const CommentCase& c : cases) {
        std::string path = dir + "\\" + c.file;
        std::string before = read_whole_file(path);
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.locked)
            lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_TRUE(select_list_file(app, c.file)) << c.file;
        Sleep(300);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_INSERT_COMMENT, 0), 0);
        HWND dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 10000, c.title);
        ASSERT_NE(dialog, (HWND)NULL) << c.file;
        HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
        EXPECT_EQ(window_text(edit), c.old_comment) << c.file;
        SetWindowTextA(edit, "Rainy night");
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
            EXPECT_EQ(status_bar_part_text(app, status, 1), c.old_comment);
            click_button(dialog, IDCANCEL);
            EXPECT_TRUE(wait_until_closed(dialog, 5000));
            CloseHandle(lock);
            continue;
        }
        EXPECT_TRUE(wait_until_closed(dialog)) << c.file;
        std::string after = read_whole_file(path);
        EXPECT_NE(after.find("Rainy night"), std::string::npos) << c.file;
        EXPECT_TRUE(!*c.old_comment || after.find(c.old_comment) == std::string::npos) << c.file;
        EXPECT_EQ(status_bar_part_text(app, status, 1), "Rainy night") << c.file;
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
