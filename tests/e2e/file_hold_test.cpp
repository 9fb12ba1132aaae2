// The hold on the shown file across its roads: while a command's question,
// dialog or tool window is up, a click on the main list's next entry and
// ">>>" in the other window (as its command comes when posted) leave the
// file shown; the command acts on the file it started on and no other; and
// afterwards every window takes its ">>>" again.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

enum Outcome { A_SAME, A_CHANGED, A_GONE };

enum Opener { FROM_MAIN, FROM_VIEW, FROM_MAIN_ALONE };  // ALONE: no image window open

struct HoldRow {
    const char* name;
    Opener opener;
    int command;  // WM_COMMAND to the opener, or 0 for key
    UINT key;     // WM_KEYDOWN to the image window
    const char* class_name;  // the window that comes up ("#32770": a dialog or box)
    const char* title;       // its title (null for a tool window)
    int edit_id;             // a field given edit_text before answer (0: none)
    const char* edit_text;
    int answer;  // button clicked (a tool window is left by Esc)
    Outcome a;   // what becomes of a.jpg; b.jpg never changes
    bool batch = false;  // the batch window open first, b.jpg's thumbnail clicked
};

// a.jpg and b.jpg are the camera JPEG (Exif, orientation 1), a shown first.
const HoldRow ROWS[] = {
    {"delete from the image window", FROM_VIEW, IDM_VIEW_DELETE_FILE, 0, "#32770", " CONFIRM DELETE FILE ", 0, NULL,
     IDYES, A_GONE},
    {"delete from the main window", FROM_MAIN, IDM_MAIN_DELETE_FILE, 0, "#32770", " CONFIRM DELETE FILE ", 0, NULL,
     IDYES, A_GONE},
    {"comment from the image window", FROM_VIEW, IDM_VIEW_INSERT_COMMENT, 0, "#32770",
     "Insert/Update JPEG Comment", IDC_COMMENT_EDIT, "held comment", IDOK, A_CHANGED},
    {"comment from the main window", FROM_MAIN, IDM_MAIN_INSERT_COMMENT, 0, "#32770", "Insert/Update JPEG Comment",
     IDC_COMMENT_EDIT, "held comment", IDOK, A_CHANGED},
    {"F6", FROM_VIEW, 0, VK_F6, "#32770", "Corvane File Viewer", 0, NULL, IDYES, A_CHANGED},
    {"F9", FROM_VIEW, 0, VK_F9, "#32770", "Corvane File Viewer", IDC_HUFFMAN_ORIENTATION, "6", IDOK, A_CHANGED},
    {"print cancelled", FROM_MAIN, IDM_MAIN_PRINT_NORMAL, 0, "#32770", "Print", 0, NULL, IDCANCEL, A_SAME},
    {"crop from the image window", FROM_VIEW, IDM_VIEW_CROP, 0, "Crop", NULL, 0, NULL, 0, A_SAME},
    {"crop with no image window", FROM_MAIN_ALONE, IDM_MAIN_CROP, 0, "Crop", NULL, 0, NULL, 0, A_SAME},
    {"comment with the batch window open", FROM_MAIN_ALONE, IDM_MAIN_INSERT_COMMENT, 0, "#32770",
     "Insert/Update JPEG Comment", IDC_COMMENT_EDIT, "held comment", IDOK, A_CHANGED, true},
};

std::string shown_name(const RunningApp& app)
{
    return window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT));
}

// A real click on the main list's second entry (b.jpg), then the answer,
// as a person gives them: one stream of input, which the program takes in
// order, so the list click meets the held window and not the one given back
// after the answer. A dialog is answered by a click on its button, moved
// clear of the list and the image window first; a tool window by Esc.
void click_second_entry_then_answer(const RunningApp& app, HWND up, const HoldRow& row)
{
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    RECT r;
    GetWindowRect(list, &r);
    int height = (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    char actions[200];
    int n = snprintf(actions, sizeof actions, "mousemove %ld %ld click 1 ", r.left + 12, r.top + 2 + height * 3 / 2);
    if (row.title) {
        RECT box;
        GetWindowRect(up, &box);
        SetWindowPos(up, NULL, GetSystemMetrics(SM_CXSCREEN) - (box.right - box.left),
                     GetSystemMetrics(SM_CYSCREEN) - (box.bottom - box.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT button;
        GetWindowRect(GetDlgItem(up, row.answer), &button);
        snprintf(actions + n, sizeof actions - n, "mousemove %ld %ld click 1", (button.left + button.right) / 2,
                 (button.top + button.bottom) / 2);
    } else {
        SetForegroundWindow(up);
        snprintf(actions + n, sizeof actions - n, "key Escape");
    }
    x_input(actions);
}

// ">>>" posted to the window other than the opener (the main window when
// it is the only one).
void try_next(const RunningApp& app, HWND view, Opener opener)
{
    if (opener == FROM_MAIN)
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_NEXT_FILE, 0), 0);
    else
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BAR_NEXT_FILE, 0), 0);
}

TEST(FileHold, NoWindowMovesOnWhileACommandWorksOnTheShownFile)
{
    ScopedSetting no_tip("DontShowAgain", "1");  // the crop tip would wait for its OK
    for (const HoldRow& row : ROWS) {
        SCOPED_TRACE(row.name);
        std::string dir = e2e_work_dir(std::string("file_hold_") + (char)('a' + (&row - ROWS)));
        for (const char* name : {"a.jpg", "b.jpg"}) {
            DeleteFileA((dir + "\\" + name).c_str());
            ASSERT_TRUE(copy_fixture("camera.jpg", dir));
            ASSERT_TRUE(MoveFileA((dir + "\\camera.jpg").c_str(), (dir + "\\" + name).c_str()));
        }
        const std::string a = dir + "\\a.jpg", b = dir + "\\b.jpg", before = read_whole_file(a);
        const std::string stamp = file_stamp(a);
        RunningApp app;
        ASSERT_TRUE(start_app("a.jpg", dir, app));
        HWND view = NULL;
        if (row.opener != FROM_MAIN_ALONE) {
            view = open_image_window(app, IDC_MAIN_CENTER);
            ASSERT_TRUE(view);
            // Beside the main window, clear of its list.
            ShowWindow(view, SW_RESTORE);
            SetWindowPos(view, NULL, GetSystemMetrics(SM_CXSCREEN) - 420, 0, 400, 300, SWP_NOZORDER);
        }
        HWND batch = row.batch ? open_batch_window_clicking(app, 1) : NULL;
        if (row.batch)
            ASSERT_TRUE(batch);
        ASSERT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "a.jpg"), "a.jpg");

        HWND opener = row.opener == FROM_VIEW ? view : app.main;
        if (row.command)
            PostMessageA(opener, WM_COMMAND, MAKEWPARAM(row.command, 0), 0);
        else
            PostMessageA(view, WM_KEYDOWN, row.key, 0);
        HWND up = find_process_window(app.process.dwProcessId, row.class_name, app.main, 20000, row.title);
        ASSERT_TRUE(up);
        EXPECT_FALSE(IsWindowEnabled(app.main));
        if (view)
            EXPECT_FALSE(IsWindowEnabled(view));
        try_next(app, view, row.opener);
        if (row.edit_id)
            SetDlgItemTextA(up, row.edit_id, row.edit_text);
        click_second_entry_then_answer(app, up, row);
        ASSERT_TRUE(wait_until_closed(up, 20000));

        // The command acted on a.jpg, b.jpg is as it was, a.jpg still shown.
        // The work follows the answer, and a busy machine may be slow to it.
        if (row.a == A_GONE) {
            EXPECT_TRUE(wait_for([&] { return !file_exists(a); }));
        } else {
            // The write follows the answer: a changed file is waited for.
            if (row.a == A_CHANGED)
                wait_file_replaced(a, stamp);
            EXPECT_EQ(read_whole_file(a) != before, row.a == A_CHANGED);
            EXPECT_EQ(shown_name(app), "a.jpg");
            if (row.edit_text && row.edit_id == IDC_COMMENT_EDIT)
                EXPECT_NE(read_whole_file(a).find(row.edit_text), std::string::npos);
        }

        // Every window is given back once the command has ended (a rewrite
        // reloads the picture first): the other window's >>> moves on.
        EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(app.main) && (!view || IsWindowEnabled(view)); }, 20000));
        if (batch)
            EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(batch) != FALSE; }, 20000));
        EXPECT_EQ(read_whole_file(b), before);
        if (row.a != A_GONE) {
            try_next(app, view, row.opener);
            EXPECT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "b.jpg", 20000), "b.jpg");
        }
        EXPECT_EQ(exit_by_button(app), 1);
    }
}

}  // namespace

// The comment dialog opened on a.jpg shows a.jpg's comment; a selection of
// b.jpg forged behind it (a message that reaches the held main window
// anyway) shows b.jpg; OK still writes a.jpg and leaves b.jpg.
TEST(FileHold, CommentGoesToTheFileTheDialogOpenedForAfterAForgedSelection)
{
    const std::string dir = e2e_work_dir("file_hold_forged"), a = dir + "\\a.jpg", b = dir + "\\b.jpg";
    ASSERT_TRUE(copy_fixture("camera.jpg", dir));
    const std::string plain = read_whole_file(dir + "\\camera.jpg");
    ASSERT_GT(plain.size(), 2u);
    // A comment segment right after the start of image.
    ASSERT_TRUE(write_whole_file(a, plain.substr(0, 2) + std::string("\xFF\xFE\x00\x0D", 4) + "a's comment" +
                                        plain.substr(2)));
    ASSERT_TRUE(write_whole_file(b, plain));
    const std::string stamp = file_stamp(a);
    RunningApp app;
    ASSERT_TRUE(start_app("a.jpg", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    ASSERT_EQ(wait_for_window_text(name, "a.jpg"), "a.jpg");
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_INSERT_COMMENT, 0), 0);
    HWND dialog = wait_dialog(app, "Insert/Update JPEG Comment");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_COMMENT_EDIT)), "a's comment");
    select_list_file(app, "b.jpg");
    if (wait_for_window_text(name, "b.jpg") != "b.jpg")
        GTEST_SKIP() << "the forged selection was turned away: nothing changed behind the dialog";
    SetDlgItemTextA(dialog, IDC_COMMENT_EDIT, "forged behind");
    click_button(dialog, IDOK);
    ASSERT_TRUE(wait_until_closed(dialog));
    wait_file_replaced(a, stamp);
    EXPECT_NE(read_whole_file(a).find("forged behind"), std::string::npos);
    EXPECT_EQ(read_whole_file(a).find("a's comment"), std::string::npos);
    EXPECT_EQ(read_whole_file(b), plain);
    EXPECT_EQ(exit_by_button(app), 1);
}
