// The batch window as a person uses it: the folder's camera JPEGs as Exif
// thumbnails (files without Exif stay out), selection frames, a quarter
// turn of the selection, a comment for the selection, a queued conversion,
// copy, move and delete with their summaries (the target folder chosen in
// the chooser's own folder list), a move from the popup, a double click
// that opens a file, and leaving after the list went to another folder.
// tests/e2e/check_batch.sh checks the files written.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, WHITE = 0xFFFFFF;

// The batch window's grid, computed as a person would measure it: frames of
// 168 pixels spread over the client area above the status bar.
struct Grid {
    HWND batch, status;
    int cols, rows, cell_w, cell_h, left, top;
    POINT centre(int cell) const
    {
        POINT p = {left + (cell % cols) * cell_w + cell_w / 2, top + (cell / cols) * cell_h + cell_h / 2};
        return p;
    }
    POINT frame(int cell) const
    {
        POINT p = {left + (cell % cols) * cell_w + (cell_w - 168) / 2, top + (cell / cols) * cell_h + (cell_h - 168) / 2};
        return p;
    }
};

Grid measure(HWND batch)
{
    // The window is found by its title as soon as it exists, which may be
    // before it has made its status bar.
    HWND status = NULL;
    wait_for([&] { return (status = FindWindowExA(batch, NULL, STATUSCLASSNAMEA, NULL)) && IsWindowVisible(status); });
    Grid g = {batch, status, 0, 0, 0, 0, 0, 0};
    RECT client, bar = {0, 0, 0, 0};
    GetClientRect(batch, &client);
    if (g.status)
        GetWindowRect(g.status, &bar);
    int height = client.bottom - (bar.bottom - bar.top);
    g.cols = client.right / 168;
    g.rows = height / 168;
    g.cell_w = client.right / g.cols;
    g.cell_h = height / g.rows;
    g.left = (client.right - g.cols * g.cell_w) / 2;
    g.top = (height - g.rows * g.cell_h) / 2;
    return g;
}

// Length of the run of pixels near colour through (x, y), across or down.
int run_of(const Shot& s, int x, int y, DWORD colour, bool across)
{
    int n = 0;
    for (int k = 0; colours_close(s.at(across ? x + k : x, across ? y : y + k), colour, 24); ++k)
        ++n;
    for (int k = 1; colours_close(s.at(across ? x - k : x, across ? y : y - k), colour, 24); ++k)
        ++n;
    return n;
}

bool close_to(DWORD a, DWORD b)
{
    return colours_close(a, b, 24);
}

// As run_dialog_command, but the batch window's folder chooser (title null:
// none; "": the system's title) is taken where a person takes it: each
// folder named ("[..]", "[sub]") double-clicked in the chooser's own folder
// list, then its button pressed. Its OK label is followed by " (not over
// the batch window)" when the batch window does not own it or the window
// manager is not told to keep it in front of it. With buttons,
// the boxes are answered by answer_boxes_with over the batch window.
std::vector<std::string> run_through_chooser(const RunningApp& app, HWND batch, int command, const char* title,
                                             const std::vector<std::string>& folders, size_t boxes,
                                             const std::vector<int>& buttons = {})
{
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    HWND chooser = !title     ? NULL
                   : title[0] ? wait_dialog(app, title)
                              : find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
    if (title && !chooser)
        return {std::string("no chooser ") + title};
    std::vector<std::string> seen = {!chooser ? "" : window_text(GetDlgItem(chooser, IDOK))};
    if (chooser && !(is_owned_over(chooser, batch) && x_transient_for(chooser, batch)))
        seen[0] += " (not over the batch window)";
    HWND list = GetDlgItem(chooser, IDC_MAIN_DIR_LIST);
    for (const std::string& folder : folders) {
        const std::vector<std::string> before = list_box_items(list);
        auto at = std::find_if(before.begin(), before.end(),
                               [&](const std::string& item) { return lstrcmpiA(item.c_str(), folder.c_str()) == 0; });
        if (at == before.end())
            return {"no " + folder + " in the chooser"};
        double_click_entry(list, (int)(at - before.begin()));
        if (!wait_for([&] { return list_box_items(list) != before; }))
            return {"the chooser stayed before " + folder};
    }
    if (chooser) {
        click_button(chooser, IDOK);
        wait_until_closed(chooser);
    }
    if (buttons.empty())
        answer_boxes(app, &seen, boxes);
    else
        answer_boxes_with(app, &seen, buttons, batch);
    return seen;
}

// The comment dialog opened by command over the batch window: the text
// its box shows, then, after keys typed into it and OK, each question
// answered with the next of buttons ("caption|text", followed by " (not
// over the window)" when the batch window does not own it).
std::vector<std::string> ok_in_comment_box(const RunningApp& app, HWND batch, int command, const std::string& keys,
                                           const std::vector<int>& buttons)
{
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    HWND dialog = wait_dialog(app, "Insert/Update JPEG Comment");
    if (!dialog)
        return {"no comment dialog"};
    HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    std::vector<std::string> seen = {window_text(edit)};
    for (char key : keys)
        SendMessageA(edit, WM_CHAR, (BYTE)key, 0);
    click_button(dialog, IDOK);
    for (int button : buttons) {
        HWND box = wait_dialog(app, "Corvane File Viewer");
        if (!box)
            break;
        seen.push_back(window_text(box) + "|" + box_text(box) +
                       (is_owned_over(box, batch) ? "" : " (not over the window)"));
        // Button 0: Enter, which the box's dialog manager takes for its
        // default button.
        if (button)
            click_button(box, button);
        else
            PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
        wait_until_closed(box);
    }
    // Answered once the work of the last answer is done: an ended dialog
    // is hidden, one that stays is cancelled.
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    if (!buttons.empty() && is_visible(dialog)) {
        seen.push_back("the dialog stayed");
        click_button(dialog, IDCANCEL);
    }
    // Gone once OK's work is done.
    if (!wait_until_closed(dialog))
        seen.push_back("the dialog stayed");
    return seen;
}

void click(const Grid& g, int cell)
{
    POINT p = g.centre(cell);
    PostMessageA(g.batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageA(g.batch, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Sleep(300);
}

TEST(Batch, ThumbnailsSelectionTurnsConversionCopyAndDelete)
{
    std::string dir = e2e_work_dir("batch"), out = e2e_work_dir("batch_out");
    for (char name : std::string("0abcde"))
        ASSERT_TRUE(copy_fixture(std::string("batch_") + name + ".jpg", dir)) << name;
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    for (const char* name : {"sub\\batch_a.jpg", "sub\\batch_d.jpg", "batch_c.png"})
        DeleteFileA((dir + "\\" + name).c_str());
    for (const char* name : {"batch_c.jpg", "batch_c.png"})
        DeleteFileA((out + "\\" + name).c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BATCH, 0), 0);
    HWND batch = find_process_window(app.process.dwProcessId, "Batch", NULL, 15000);
    ASSERT_NE(batch, nullptr);
    Grid g = measure(batch);
    ASSERT_NE(g.status, nullptr);
    // The screen and no more: no title bar above it, no frame past its
    // edges; the status bar along its foot.
    RECT frame, bar;
    GetWindowRect(batch, &frame);
    GetWindowRect(g.status, &bar);
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(std::vector<long>({frame.left, frame.top, frame.right, frame.bottom, bar.bottom}),
              std::vector<long>({0, 0, cx, cy, cy}));
    for (int i = 0; i < 100 && status_bar_part_text(app, g.status, 2) != "4 Total Images"; ++i)
        Sleep(100);
    EXPECT_EQ(status_bar_part_text(app, g.status, 2), "4 Total Images") << "batch_e.jpg has no Exif data";
    EXPECT_EQ(status_bar_part_text(app, g.status, 1), "Images 1 -- 4");

    // a, b: red and green; c: blue, stored 160 x 80 on its side, shown
    // upright; d: no thumbnail, an empty cell.
    POINT c0 = g.centre(0), c1 = g.centre(1), c2 = g.centre(2), c3 = g.centre(3);
    Shot shot = shot_when([&] { return shoot_client(batch, "batch_grid"); }, [&](const Shot& s) {
        return close_to(s.at(c0.x, c0.y), RED) && close_to(s.at(c1.x, c1.y), GREEN) &&
               close_to(s.at(c2.x, c2.y), BLUE) && s.at(c3.x, c3.y) == WHITE;
    });
    EXPECT_TRUE(close_to(shot.at(c0.x, c0.y), RED)) << std::hex << shot.at(c0.x, c0.y);
    EXPECT_TRUE(close_to(shot.at(c1.x, c1.y), GREEN)) << std::hex << shot.at(c1.x, c1.y);
    EXPECT_TRUE(close_to(shot.at(c2.x, c2.y), BLUE)) << std::hex << shot.at(c2.x, c2.y);
    EXPECT_NEAR(run_of(shot, c2.x, c2.y, BLUE, true), 80, 2) << "turned upright";
    EXPECT_NEAR(run_of(shot, c2.x, c2.y, BLUE, false), 160, 2);
    EXPECT_EQ(shot.at(c3.x, c3.y), WHITE);
    EXPECT_EQ(run_of(shot, c0.x, c0.y, RED, true), 160);

    // Clicks select: the red frame; a click in the margin does nothing.
    click(g, 0);
    click(g, 1);
    PostMessageA(batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(g.left + g.cols * g.cell_w + 1, 1));
    POINT f0 = g.frame(0), f2 = g.frame(2);
    shot = shot_when([&] { return shoot_client(batch, "batch_selected"); }, [&](const Shot& s) {
        return s.at(f0.x + 1, f0.y + 1) == RED && s.at(f2.x + 1, f2.y + 1) == WHITE;
    });
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), RED) << "selected";
    EXPECT_EQ(shot.at(f2.x + 1, f2.y + 1), WHITE) << "not selected";

    // A quarter turn of the selection: the files turn (checked against
    // jpegtran afterwards), the selection is dropped.
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_ROTATE_CW, 0), 0);
    shot = shot_when([&] { return shoot_client(batch, "batch_turned"); }, [&](const Shot& s) {
        return s.at(f0.x + 1, f0.y + 1) == WHITE && std::abs(run_of(s, c0.x, c0.y, RED, true) - 120) <= 2;
    });
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), WHITE);
    EXPECT_NEAR(run_of(shot, c0.x, c0.y, RED, true), 120, 2) << "the thumbnail turned with its file";

    // One comment for the selected files, through the comment dialog.
    click(g, 0);
    click(g, 1);
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_COMMENT, 0), 0);
    HWND comment = wait_dialog(app, "Insert/Update JPEG Comment");
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(comment, 1021)), "") << "no current comment shown for many files";
    SendMessageA(GetDlgItem(comment, 1021), WM_SETTEXT, 0, (LPARAM) "Batch note");
    click_button(comment, IDOK);
    wait_until_closed(comment);
    shot = shot_when([&] { return shoot_client(batch, "batch_commented"); },
                     [&](const Shot& s) { return s.at(f0.x + 1, f0.y + 1) == WHITE; });
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), WHITE) << "the written files are no longer selected";

    // Queued commands on one cell each: the chooser's title (none, or "" for
    // the system's own) and the folders gone through in it (or the target
    // typed into the popup's dialog), then its OK label and the boxes
    // answered (caption|text). c converted to PNG, halved, in batch_out
    // beside the folder; d copied onto itself (refused, named in the
    // summary), then into the subfolder, then deleted after the question;
    // no cell left to delete; b moved onto itself (refused); c moved into
    // batch_out; a moved by the popup (thumbnail 0 is list entry 1, after
    // batch_0 without Exif).
    const std::string B = "Batch Process Digital Images|", target = dir + "\\sub\\batch_a.jpg";
    const std::vector<std::string> to_out = {"[..]", "[batch_out]"};
    const struct {
        int cell, command;
        const char* chooser;
        std::vector<std::string> through;
        std::string target;
        std::vector<std::string> seen;
    } queued[] = {
        {2, IDM_BATCH_PNG, "", to_out, "",
         {"OK", "Corvane File Viewer|Reduce both width and height by a factor of 2 before converting each file?",
          B + "1 Files Converted."}},
        {3, IDM_BATCH_COPY, "Copy Selected Files to:", {}, "",
         {"COPY", "batch_d.jpg|Error Copying File.", B + "0 Files Copied.\n\n1 Failed:\nbatch_d.jpg"}},
        {3, IDM_BATCH_COPY, "Copy Selected Files to:", {"[sub]"}, "", {"COPY", B + "1 Files Copied."}},
        {3, IDM_BATCH_DELETE, NULL, {}, "",
         {"", " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File batch_d.jpg?", B + "1 Files Deleted."}},
        {3, IDM_BATCH_DELETE, NULL, {}, "", {"", "Corvane File Viewer|Batch Process: No Images Selected"}},
        {1, IDM_BATCH_MOVE, "Move Selected Files to:", {}, "",
         {"MOVE", "batch_b.jpg|Error Moving File.", B + "0 Files Moved.\n\n1 Failed:\nbatch_b.jpg"}},
        {2, IDM_BATCH_MOVE, "Move Selected Files to:", to_out, "", {"MOVE", B + "1 Files Moved."}},
        {0, IDM_THUMB_MOVE, "Move \"batch_a.jpg\" To:", {}, target,
         {"Move", "Move File|" + dir + "\\batch_a.jpg moved to:\n\n" + target}},
    };
    for (const auto& q : queued) {
        click(g, q.cell);
        if (q.command == IDM_THUMB_MOVE || !q.chooser)
            EXPECT_EQ(run_dialog_command(app, batch, q.command, q.chooser, q.target, q.seen.size() - 1), q.seen);
        else
            EXPECT_EQ(run_through_chooser(app, batch, q.command, q.chooser, q.through, q.seen.size() - 1), q.seen);
    }
    // Where the chooser was left; check_batch.sh reads the files.
    EXPECT_TRUE(file_exists(out + "\\batch_c.png"));
    EXPECT_TRUE(file_exists(dir + "\\sub\\batch_d.jpg"));
    EXPECT_FALSE(file_exists(dir + "\\batch_d.jpg"));
    EXPECT_FALSE(file_exists(dir + "\\batch_a.jpg"));
    // The moved file's list entry names its new place; its cell is blank
    // and ignores clicks.
    std::vector<std::string> items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[1], target);
    click(g, 0);
    shot = shoot_client(batch, "batch_moved");
    EXPECT_EQ(shot.at(c0.x, c0.y), WHITE);
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), WHITE) << "no frame for a file gone";
    EXPECT_TRUE(close_to(shot.at(c1.x, c1.y), GREEN));

    // A double click opens the file in the main window and leaves.
    POINT b = g.centre(1);
    PostMessageA(batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b.x, b.y));
    PostMessageA(batch, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(b.x, b.y));
    wait_until_closed(batch);
    EXPECT_FALSE(IsWindow(batch));
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT)), "batch_b.jpg");
    items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    EXPECT_EQ(std::count(items.begin(), items.end(), "batch_d.jpg"), 0) << "the list was filled again";
    // b was turned clockwise: blue above the red, upright in the preview.
    Shot opened = shot_when([&] { return preview_shot(app, "batch_opened"); }, [&](const Shot& s) {
        return close_to(s.in_square(0.3125, 0.25), BLUE) && close_to(s.in_square(0.6875, 0.25), RED);
    });
    DWORD top_left = opened.in_square(0.3125, 0.25);
    DWORD top_right = opened.in_square(0.6875, 0.25);
    EXPECT_TRUE(close_to(top_left, BLUE)) << std::hex << top_left;
    EXPECT_TRUE(close_to(top_right, RED)) << std::hex << top_right;
}

// A file shown from one folder, the list gone to another, the batch window
// opened there and left: nothing went wrong, and no box says otherwise.
TEST(Batch, LeavingAfterGoingToAnotherFolderShowsNoBox)
{
    std::string dir = e2e_work_dir("batch_leave");
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("batch_a.jpg", dir));
    ASSERT_TRUE(copy_fixture("batch_b.jpg", dir + "\\sub"));
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    ASSERT_TRUE(wait_for([&] { return SendMessageA(files, LB_GETCURSEL, 0, 0) != LB_ERR; }));
    ASSERT_TRUE(go_into_sub(app, {"batch_b.jpg"}));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BATCH, 0), 0);
    HWND batch = find_process_window(app.process.dwProcessId, "Batch", NULL, 15000), status = NULL;
    ASSERT_TRUE(batch);
    ASSERT_TRUE(wait_for([&] { return (status = FindWindowExA(batch, NULL, STATUSCLASSNAMEA, NULL)) != NULL; }));
    ASSERT_TRUE(wait_for([&] { return status_bar_part_text(app, status, 2) == "1 Total Images"; }));
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_EXIT, 0), 0);
    // A box would stop the leaving until it is answered.
    EXPECT_TRUE(wait_until_closed(batch));
    std::string caption, text = dismiss_message_box(app, 0, &caption);
    EXPECT_EQ(caption + "|" + text, "|");
    EXPECT_EQ(exit_by_button(app), 1);
}

const std::string BATCH = "Batch Process Digital Images|";

// The thumbnail of the shown folder\batch_a.jpg selected, the main list
// taken into [sub], which holds a batch_a.jpg of its own (a green picture):
// Delete names the thumbnail's file in full and deletes it, not the
// namesake; Next File in the main window then goes on from [sub]'s own
// first entry, the namesake, shown without a box.
TEST(BatchPaths, DeleteAfterTheListWentIntoASubfolderDeletesTheThumbnailsOwnFile)
{
    std::string dir = e2e_work_dir("batch_namesake");
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    ASSERT_TRUE(copy_fixture("batch_a.jpg", dir));
    ASSERT_TRUE(copy_fixture("slide_c.bmp", dir + "\\sub"));
    ASSERT_TRUE(copy_fixture("slide_b.bmp", dir + "\\sub"));
    const std::string namesake = dir + "\\sub\\batch_a.jpg";
    ASSERT_TRUE(MoveFileExA((dir + "\\sub\\slide_b.bmp").c_str(), namesake.c_str(), MOVEFILE_REPLACE_EXISTING));
    const std::string namesake_bytes = read_whole_file(namesake);
    char full[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(dir.c_str(), sizeof full, full, NULL), 0u);
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    HWND batch = open_batch_window_clicking(app, 0);
    ASSERT_NE(batch, nullptr);
    ASSERT_TRUE(go_into_sub(app, {"batch_a.jpg", "slide_c.bmp"}));

    EXPECT_EQ(run_dialog_command(app, batch, IDM_BATCH_DELETE, NULL, "", 2),
              (std::vector<std::string>{"", " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File " +
                                                std::string(full) + "\\batch_a.jpg?",
                                        BATCH + "1 Files Deleted."}));
    EXPECT_FALSE(file_exists(dir + "\\batch_a.jpg"));
    EXPECT_TRUE(read_whole_file(namesake) == namesake_bytes) << "the namesake is left alone";

    // The namesake is a bitmap under its JPEG name: File Info, asked once
    // the step has selected it (its load comes first), tells them apart.
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_NEXT_FILE, 0), 0);
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    EXPECT_TRUE(wait_for([&] { return SendMessageA(files, LB_GETCURSEL, 0, 0) == 0; }));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FILE_INFO, 0), 0);
    std::string caption, text = dismiss_message_box(app, 5000, &caption);
    EXPECT_EQ(caption + "|" + text.substr(0, 23), "batch_a.jpg|image type: Windows DIB");
    EXPECT_EQ(exit_by_button(app), 1);
}

// A thumbnail opened by a double click after the main window's file type
// was set to bitmaps: the thumbnail's own file is listed and shown, not
// the list's first entry.
TEST(BatchPaths, OpenAfterTheTypeLeftTheFileOutShowsTheThumbnailsFile)
{
    std::string dir = e2e_work_dir("batch_open_unlisted");
    ASSERT_TRUE(copy_fixture("batch_a.jpg", dir));
    ASSERT_TRUE(copy_fixture("slide_b.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    HWND batch = open_batch_window_clicking(app, 0);
    ASSERT_NE(batch, nullptr);
    HWND files = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    // The third type, "bmp, dib, rle", chosen with the arrow key.
    HWND type = GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO);
    SendMessageA(app.main, WM_NEXTDLGCTL, (WPARAM)type, TRUE);
    for (int i = 0; i < 2; ++i)
        PostMessageA(type, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(wait_for_window_text(type, "bmp, dib, rle"), "bmp, dib, rle");
    press_enter_in(app, IDC_MAIN_TYPE_COMBO);
    ASSERT_TRUE(wait_for([&] { return list_box_items(files) == std::vector<std::string>{"slide_b.bmp"}; }));

    POINT a = measure(batch).centre(0);
    PostMessageA(batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(a.x, a.y));
    PostMessageA(batch, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(a.x, a.y));
    EXPECT_TRUE(wait_until_closed(batch));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FILE_INFO, 0), 0);
    std::string caption, text = dismiss_message_box(app, 5000, &caption);
    EXPECT_EQ(caption + "|" + text.substr(0, 21), "batch_a.jpg|image type: Exif JPEG");
    EXPECT_EQ(list_box_items(files), (std::vector<std::string>{"batch_a.jpg", "slide_b.bmp"}));
    EXPECT_EQ(exit_by_button(app), 1);
}

// Rename File from the popup, then Convert Files > JPG into the file's own
// folder: the copy is named after the new name. Then the shown file is
// deleted and the window left: no box says anything went wrong, and the
// entry now in the deleted file's place is shown.
TEST(BatchPaths, ConvertAfterRenameNamesTheCopyAndLeavingAfterDeleteSaysNothing)
{
    std::string dir = e2e_work_dir("batch_rename_convert");
    ASSERT_TRUE(copy_fixture("batch_a.jpg", dir));
    ASSERT_TRUE(copy_fixture("batch_b.jpg", dir));
    for (const char* name : {"renamed5.jpg", "copy_renamed5.jpg"})
        DeleteFileA((dir + "\\" + name).c_str());
    char full[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(dir.c_str(), sizeof full, full, NULL), 0u);
    const std::string folder = full;
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    HWND batch = open_batch_window_clicking(app, 1);
    ASSERT_NE(batch, nullptr);
    Grid g = measure(batch);
    EXPECT_EQ(run_dialog_command(app, batch, IDM_THUMB_RENAME, "Rename \"batch_b.jpg\":", "renamed5.jpg", 1),
              (std::vector<std::string>{"Rename", "Move File|" + folder + "\\batch_b.jpg renamed:\n\n" + folder +
                                                      "\\renamed5.jpg"}));
    EXPECT_EQ(run_through_chooser(app, batch, IDM_BATCH_JPEG, "", {}, 2),
              (std::vector<std::string>{
                  "OK", "Corvane File Viewer|Reduce both width and height by a factor of 2 before converting each file?",
                  BATCH + "1 Files Converted."}));
    EXPECT_EQ(read_whole_file(dir + "\\copy_renamed5.jpg").substr(0, 2), "\xFF\xD8");

    click(g, 0);
    EXPECT_EQ(run_dialog_command(app, batch, IDM_BATCH_DELETE, NULL, "", 2),
              (std::vector<std::string>{"", " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File batch_a.jpg?",
                                        BATCH + "1 Files Deleted."}));
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_EXIT, 0), 0);
    EXPECT_TRUE(wait_until_closed(batch));
    std::string caption, text = dismiss_message_box(app, 1500, &caption);
    EXPECT_EQ(caption + "|" + text, "|");
    EXPECT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "copy_renamed5.jpg"),
              "copy_renamed5.jpg");
    EXPECT_EQ(exit_by_button(app), 1);
}

// The pass changes only what the user asked for. Another file in the
// output's place is replaced only after a Yes: No keeps it byte for byte
// and counts the file as not done. Cancel in the halving question ends the
// command, nothing written; Cancel in a question asked for each file ends
// the pass, and the files after it stay as they were, still selected.
// Enter in the halving question keeps the full size (check_batch.sh reads
// the copy, and the photo's orientation in it). OK on the comment box as
// it opened writes nothing, for the clicked file (whose comment it shows)
// and for a selection; an emptied box takes the
// selection's comments only after a Yes (Enter in the question is No, and
// the dialog stays). A read-only file that a refused move,
// a No to Delete or a turn leaves in its place stays read-only; one moved
// arrives read-only. Every chooser and box comes up over the batch window.
TEST(Batch, ReplacesOnlyAfterYesCancelStopsAndReadOnlyStays)
{
    const std::string dir = e2e_work_dir("batch_keep"), other = dir + "\\other", empty = dir + "\\empty";
    CreateDirectoryA(other.c_str(), NULL);
    CreateDirectoryA(empty.c_str(), NULL);
    for (const std::string& path : {dir + "\\batch_b.jpg", other + "\\batch_b.jpg", empty + "\\batch_a.png",
                                    other + "\\batch_notes.jpg"}) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    // Cells 0 to 3: a, b, d, notes (two comments).
    for (const char* name : {"batch_a.jpg", "batch_b.jpg", "batch_d.jpg", "batch_notes.jpg"})
        ASSERT_TRUE(copy_fixture(name, dir)) << name;
    // A different picture under a's name in the other folder.
    ASSERT_TRUE(copy_fixture("batch_c.jpg", other));
    ASSERT_TRUE(MoveFileExA((other + "\\batch_c.jpg").c_str(), (other + "\\batch_a.jpg").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    const std::string namesake = read_whole_file(other + "\\batch_a.jpg");
    ASSERT_NE(namesake, read_whole_file(dir + "\\batch_a.jpg"));
    ASSERT_TRUE(SetFileAttributesA((dir + "\\batch_b.jpg").c_str(), FILE_ATTRIBUTE_READONLY));

    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    HWND batch = open_batch_window_clicking(app, 0);
    ASSERT_TRUE(batch);
    Grid g = measure(batch);
    click(g, 0);  // unselected: each row selects its own cell

    // What a row leaves of its file: the namesake byte for byte, no file,
    // a read-only file, a read-only file turned, the file (or its absence)
    // as it was, or the file without its comments.
    enum After { NAMESAKE, NOT_MADE, READ_ONLY, TURNED_READ_ONLY, AS_IT_WAS, UNCOMMENTED };
    const std::string B = "Batch Process Digital Images|", C = "Corvane File Viewer|";
    const std::string halve = C + "Reduce both width and height by a factor of 2 before converting each file?";
    const std::string replace = C + other + "\\batch_a.jpg already exists.\nDo you want to replace it?";
    const std::string notes = dir + "\\batch_notes.jpg";
    const struct {
        std::vector<int> cells;
        int command;
        const char* chooser;  // null: none
        std::vector<std::string> through;  // or the keys typed into the comment box
        std::vector<int> buttons;
        std::vector<std::string> seen;  // for the comment box: first the text it shows
        After after;
        std::string file;
        std::vector<int> still_selected = {};
    } rows[] = {
        {{0}, IDM_BATCH_COPY, "Copy Selected Files to:", {"[other]"}, {IDNO, IDOK},
         {"COPY", replace, B + "0 Files Copied."}, NAMESAKE, other + "\\batch_a.jpg"},
        {{0}, IDM_BATCH_JPEG, "", {"[other]"}, {IDNO, IDNO, IDOK}, {"OK", halve, replace, B + "0 Files Converted."},
         NAMESAKE, other + "\\batch_a.jpg"},
        {{0}, IDM_BATCH_PNG, "", {"[empty]"}, {IDCANCEL}, {"OK", halve}, NOT_MADE, empty + "\\batch_a.png",
         {0}},
        {{1}, IDM_BATCH_MOVE, "Move Selected Files to:", {}, {IDOK, IDOK},
         {"MOVE", "batch_b.jpg|Error Moving File.", B + "0 Files Moved.\n\n1 Failed:\nbatch_b.jpg"}, READ_ONLY,
         dir + "\\batch_b.jpg"},
        {{1}, IDM_BATCH_DELETE, NULL, {}, {IDNO, IDOK},
         {"", " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File batch_b.jpg?", B + "0 Files Deleted."},
         READ_ONLY, dir + "\\batch_b.jpg"},
        {{1}, IDM_BATCH_ROTATE_CW, NULL, {}, {}, {""}, TURNED_READ_ONLY, dir + "\\batch_b.jpg"},
        {{1}, IDM_BATCH_MOVE, "Move Selected Files to:", {"[other]"}, {IDOK}, {"MOVE", B + "1 Files Moved."}, READ_ONLY,
         other + "\\batch_b.jpg"},
        {{0, 3}, IDM_BATCH_COPY, "Copy Selected Files to:", {"[other]"}, {IDCANCEL, IDOK},
         {"COPY", replace, B + "0 Files Copied."}, AS_IT_WAS, other + "\\batch_notes.jpg", {3}},
        {{0, 3}, IDM_BATCH_JPEG, "", {"[other]"}, {IDNO, IDCANCEL, IDOK},
         {"OK", halve, replace, B + "0 Files Converted."}, AS_IT_WAS, other + "\\batch_notes.jpg", {3}},
        {{3}, IDM_BATCH_JPEG, "", {"[other]"}, {0, IDOK}, {"OK", halve, B + "1 Files Converted."}, AS_IT_WAS,
         notes},
        {{3}, IDM_THUMB_COMMENT, NULL, {}, {}, {"first comment"}, AS_IT_WAS, notes, {3}},
        {{0, 3}, IDM_BATCH_COMMENT, NULL, {}, {}, {""}, AS_IT_WAS, notes, {0, 3}},
        {{0, 3}, IDM_BATCH_COMMENT, NULL, {"x\b"}, {0},
         {"", C + "Remove the Comments of 2 Selected Files?", "the dialog stayed"}, AS_IT_WAS, notes, {0, 3}},
        {{0, 3}, IDM_BATCH_COMMENT, NULL, {"x\b"}, {IDYES}, {"", C + "Remove the Comments of 2 Selected Files?"},
         UNCOMMENTED, notes},
        {{0, 2, 3}, IDM_BATCH_DELETE, NULL, {}, {IDYES, IDCANCEL, IDOK},
         {"", " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File batch_a.jpg?",
          " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File batch_d.jpg?", B + "1 Files Deleted."},
         AS_IT_WAS, notes, {3}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.seen.back());
        const std::string stamp = file_stamp(row.file), bytes = read_whole_file(row.file);
        for (int cell : row.cells)
            click(g, cell);
        if (row.command == IDM_THUMB_COMMENT || row.command == IDM_BATCH_COMMENT)
            EXPECT_EQ(ok_in_comment_box(app, batch, row.command, row.through.empty() ? "" : row.through[0],
                                        row.buttons),
                      row.seen);
        else
            EXPECT_EQ(run_through_chooser(app, batch, row.command, row.chooser, row.through, 0, row.buttons),
                      row.seen);
        for (int cell : row.still_selected)
            click(g, cell);
        if (row.after == AS_IT_WAS) {
            EXPECT_TRUE(file_stamp(row.file) == stamp && read_whole_file(row.file) == bytes) << "changed";
        } else if (row.after == UNCOMMENTED) {
            EXPECT_EQ(read_whole_file(row.file).find(" comment"), std::string::npos);
        } else if (row.after == NAMESAKE) {
            EXPECT_TRUE(read_whole_file(row.file) == namesake) << "the namesake was replaced";
        } else if (row.after == NOT_MADE) {
            // The pass would run at the next tick, and end in its summary.
            EXPECT_EQ(dismiss_message_box(app, 3000), "");
            EXPECT_FALSE(file_exists(row.file));
        } else {
            if (row.after == TURNED_READ_ONLY) {
                EXPECT_TRUE(wait_file_replaced(row.file, stamp));
            }
            EXPECT_EQ(GetFileAttributesA(row.file.c_str()) & FILE_ATTRIBUTE_READONLY, (DWORD)FILE_ATTRIBUTE_READONLY);
        }
    }
    SetFileAttributesA((other + "\\batch_b.jpg").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(exit_by_button(app), 1);
}

// The shown file inverted, then renamed from the batch window's popup and
// the window left: the picture stays inverted, and Undo reads the file
// under its new name back to the photo as it is.
TEST(BatchPaths, RenamingTheShownFileKeepsItsEdits)
{
    std::string dir = e2e_work_dir("batch_rename_shown");
    ASSERT_TRUE(copy_fixture("batch_a.jpg", dir));
    ASSERT_TRUE(copy_fixture("batch_b.jpg", dir));
    DeleteFileA((dir + "\\renamed_a.jpg").c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    auto pixel_near = [&](const char* shot, DWORD colour) {
        return wait_for([&] { return colours_close(preview_pixel(app, shot, 0.3, 0.4), colour, 6); });
    };
    DWORD photo = 0;
    ASSERT_TRUE(wait_for([&] { return (photo = preview_pixel(app, "rename_shown_photo", 0.3, 0.4)) != 0xFFFFFF; }));
    Sleep(300);
    photo = preview_pixel(app, "rename_shown_photo", 0.3, 0.4);
    send_main_command(app, IDM_MAIN_INVERT);
    ASSERT_TRUE(pixel_near("rename_shown_inverted", ~photo & 0xFFFFFF));
    HWND batch = open_batch_window_clicking(app, 0);
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(run_dialog_command(app, batch, IDM_THUMB_RENAME, "Rename \"batch_a.jpg\":", "renamed_a.jpg", 1).size(), 2u);
    ASSERT_TRUE(file_exists(dir + "\\renamed_a.jpg"));
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_EXIT, 0), 0);
    EXPECT_TRUE(wait_until_closed(batch));
    EXPECT_TRUE(pixel_near("rename_shown_kept", ~photo & 0xFFFFFF)) << "the edit stays";
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_TRUE(pixel_near("rename_shown_undone", photo)) << "undone from the renamed file";
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
