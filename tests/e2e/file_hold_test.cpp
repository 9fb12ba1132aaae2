// The hold on the shown file across its roads: while a command's question,
// dialog or tool window is up, a click on the main list's next entry and
// ">>>" in the other window (as its command comes when posted; a
// slideshow's tick, the main window's Center) leave the file shown; the
// command acts on the file it started on and no other; a box that fails
// inside the command's dialog leaves the hold on; and afterwards every
// window takes its ">>>" again.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

enum Outcome { A_SAME, A_CHANGED, A_GONE };

// ALONE: no image window open; SLIDESHOW: none either, a slideshow runs
// (begun from the main window, which the command is then posted to).
enum Opener { FROM_MAIN, FROM_VIEW, FROM_MAIN_ALONE, FROM_MAIN_SLIDESHOW };

// What the other window tries while the command works: its ">>>" (the
// slideshow's tick), the main window's Center, or a reload of the shown
// file (a system colour change asks for one).
enum Move { NEXT, CENTER, RELOAD };

struct HoldRow {
    const char* name;
    Opener opener;
    int command;  // WM_COMMAND to the opener, or 0 for key
    UINT key;     // WM_KEYDOWN to the image window
    const char* class_name;  // the window that comes up ("#32770": a dialog or box)
    const char* title;       // its title (null for a tool window)
    int edit_id;             // a field given edit_text before answer (0: none)
    const char* edit_text;
    int answer;  // button clicked (a tool window is left by Esc, or its crop accepted)
    Outcome a;   // what becomes of a.jpg; b.jpg never changes
    Move move = NEXT;
    const char* b_fixture = nullptr;  // b.jpg's picture (null: the camera JPEG)
    const char* written = nullptr;    // a file the command writes: a BMP of the file it started on
    const char* a_name = nullptr;     // a.jpg, or a.emf: a red square made by the test
    // a is read-only: OK first brings "Cannot Open File for Writing.",
    // which is answered, and the dialog stays for answer.
    bool write_fails = false;
    bool batch = false;  // the batch window open first, b.jpg's thumbnail clicked
    // The reload rows' work on the picture: a main command that changes it
    // before the command (a quarter turn), and a.jpg then written again
    // (the same bytes, a later time): a file changed under the edit.
    int edit_first = 0;
    bool replaced_first = false;
    bool read_only = false;  // a is read-only, and stays so whatever the answer
    const char* a_fixture = nullptr;  // a's picture (null: the camera JPEG)
    // The program's question after the answer (and the Save dialog's prompt
    // to replace a, answered Yes), answered by Enter.
    const char* question = nullptr;
};

// a.jpg and b.jpg are the camera JPEG (Exif, orientation 1), a shown first,
// unless the row names other pictures for them or an EMF for a.
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
    {"convert/save under a slideshow", FROM_MAIN_SLIDESHOW, IDM_MAIN_SAVE_BMP, 0, "#32770", "Save As Windows BMP",
     1152, "out1.bmp", IDOK, A_SAME, NEXT, "batch_a.jpg", "out1.bmp"},
    {"red-eye", FROM_VIEW, IDM_VIEW_RED_EYE, 0, "Full", NULL, 0, NULL, 0, A_SAME},
    {"a failed write's box in the comment dialog", FROM_MAIN, IDM_MAIN_INSERT_COMMENT, 0, "#32770",
     "Insert/Update EnhMetaFile Comment", IDC_COMMENT_EDIT, "held comment", IDCANCEL, A_SAME, NEXT, NULL, NULL,
     "a.emf", true},
    {"Center in the comment dialog", FROM_MAIN_ALONE, IDM_MAIN_INSERT_COMMENT, 0, "#32770",
     "Insert/Update JPEG Comment", IDC_COMMENT_EDIT, "held comment", IDOK, A_CHANGED, CENTER},
    {"a reload asked for under Crop", FROM_MAIN_ALONE, IDM_MAIN_CROP, 0, "Crop", NULL, 0, NULL, 0, A_SAME, RELOAD},
    {"a reload asked for under Crop, the crop accepted", FROM_MAIN_ALONE, IDM_MAIN_CROP, 0, "Crop", NULL, 0, NULL,
     IDM_CROP_ACCEPT, A_SAME, RELOAD},
    {"comment with the batch window open", FROM_MAIN_ALONE, IDM_MAIN_INSERT_COMMENT, 0, "#32770",
     "Insert/Update JPEG Comment", IDC_COMMENT_EDIT, "held comment", IDOK, A_CHANGED, NEXT, nullptr, nullptr, nullptr, false, true},
    // The program's own comment write leaves a.jpg the file the turn was
    // made on: the reload and Undo go on replaying it.
    {"a comment written after a turn, a reload asked for under it", FROM_MAIN_ALONE, IDM_MAIN_INSERT_COMMENT, 0,
     "#32770", "Insert/Update JPEG Comment", IDC_COMMENT_EDIT, "hello comment", IDOK, A_CHANGED, RELOAD, nullptr,
     nullptr, nullptr, false, false, IDM_MAIN_ROTATE_CW},
    // Undo's box on a file changed under the turn: the turned picture stays
    // through every reload after.
    {"Undo refused on a file changed under a turn, a reload asked for under its box", FROM_MAIN_ALONE,
     IDM_MAIN_UNDO, 0, "#32770", "Error", 0, NULL, IDOK, A_SAME, RELOAD, nullptr, nullptr, nullptr, false, false,
     IDM_MAIN_ROTATE_CW, true},
    // patch.bmp merged, then deleted: the reloads keep the patch.
    {"a merge from a file deleted afterwards, a reload asked for under Merge", FROM_MAIN_ALONE, IDM_MAIN_MERGE_FILE,
     0, "Merge", NULL, 0, NULL, IDM_MERGE_ACCEPT, A_SAME, RELOAD},
    // Written into turned.jpg, the turn leaves the picture shown turned.
    {"a lossless turn saved into another file after a turn", FROM_MAIN_ALONE, IDM_MAIN_JPEG_ROTATE_CW, 0, "#32770",
     "Save As JPEG", 1152, "turned.jpg", IDOK, A_SAME, RELOAD, nullptr, nullptr, nullptr, false, false,
     IDM_MAIN_ROTATE_CW},
    // The same for a lossless-coded file, turned by coding it again.
    {"a lossless-coded file's turn saved into another file after a turn", FROM_MAIN_ALONE, IDM_MAIN_JPEG_ROTATE_CW,
     0, "#32770", "Save As Lossless Huffman Encoded JPEG", 1152, "turned.jpg", IDOK, A_SAME, RELOAD, nullptr,
     nullptr, nullptr, false, false, IDM_MAIN_ROTATE_CW, false, false, "quadrants_lossless.jpg"},
    {"F6 answered No on a read-only file", FROM_VIEW, 0, VK_F6, "#32770", "Corvane File Viewer", 0, NULL, IDNO, A_SAME,
     NEXT, nullptr, nullptr, nullptr, false, false, 0, false, true},
    {"F6 on a read-only file", FROM_VIEW, 0, VK_F6, "#32770", "Corvane File Viewer", 0, NULL, IDYES, A_CHANGED, NEXT,
     nullptr, nullptr, nullptr, false, false, 0, false, true},
    {"F9 answered No on a read-only file", FROM_VIEW, 0, VK_F9, "#32770", "Corvane File Viewer",
     IDC_HUFFMAN_ORIENTATION, "6", IDNO, A_SAME, NEXT, nullptr, nullptr, nullptr, false, false, 0, false, true},
    // Yes as the box opens keeps a's orientation 6, and the turn made first.
    {"F9 on a file stored turned, after a turn", FROM_VIEW, 0, VK_F9, "#32770", "Corvane File Viewer", 0, NULL, IDOK,
     A_SAME, RELOAD, nullptr, nullptr, nullptr, false, false, IDM_MAIN_ROTATE_CW, false, false, "camera_props.jpg"},
    // Over the shown file, whose turn the file's would replace: the default No.
    {"a lossless turn over the shown file after a turn", FROM_MAIN_ALONE, IDM_MAIN_JPEG_ROTATE_CW, 0, "#32770",
     "Save As JPEG", 0, NULL, IDOK, A_SAME, RELOAD, nullptr, nullptr, nullptr, false, false, IDM_MAIN_ROTATE_CW, false,
     false, nullptr, "The file will be rewritten and the changes shown on screen will be lost. Continue?"},
};

// Width and height of a JPEG's frame, or of a BMP (0, 0 when unread).
std::pair<int, int> jpeg_size(const std::string& data)
{
    for (size_t i = 2; i + 9 < data.size() && (unsigned char)data[i] == 0xFF;) {
        unsigned char marker = (unsigned char)data[i + 1];
        auto byte = [&](size_t at) { return (unsigned char)data[at]; };
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC3)
            return {byte(i + 7) << 8 | byte(i + 8), byte(i + 5) << 8 | byte(i + 6)};
        i += 2 + (byte(i + 2) << 8 | byte(i + 3));
    }
    return {0, 0};
}

std::pair<int, int> bmp_size(const std::string& data)
{
    if (data.size() < 26 || data.compare(0, 2, "BM") != 0)
        return {0, 0};
    int32_t width, height;
    memcpy(&width, data.data() + 18, 4);
    memcpy(&height, data.data() + 22, 4);
    return {width, height < 0 ? -height : height};
}

// Pixel (x, y) from the top of a bottom-up 24-bit BMP as 0xRRGGBB; 0 when
// it is not there.
DWORD bmp_pixel(const std::string& data, int x, int y)
{
    const std::pair<int, int> size = bmp_size(data);
    uint32_t offset;
    if (data.size() < 30 || data[28] != 24 || x >= size.first || y >= size.second)
        return 0;
    memcpy(&offset, data.data() + 10, 4);
    const size_t at = offset + (size_t)(size.second - 1 - y) * ((size.first * 3 + 3) / 4 * 4) + 3 * x;
    if (at + 3 > data.size())
        return 0;
    return (DWORD)(BYTE)data[at + 2] << 16 | (DWORD)(BYTE)data[at + 1] << 8 | (BYTE)data[at];
}

std::string shown_name(const RunningApp& app)
{
    return window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT));
}

// A real click on the main list's second entry (b.jpg), then the answer,
// as a person gives them: one stream of input, which the program takes in
// order, so the list click meets the held window and not the one given back
// after the answer. A dialog is answered by a click on its button, moved
// clear of the list and the image window first; a tool window by Esc, or
// Crop by its frame's top-left corner dragged to the middle of the 80 x 40
// picture and a double-click inside the frame.
void click_second_entry_then_answer(const RunningApp& app, HWND up, const HoldRow& row)
{
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    RECT r;
    GetWindowRect(list, &r);
    int height = (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    char actions[400];
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
    } else if (row.answer == IDM_MERGE_ACCEPT) {
        // A move over the tool asks for the source file: patch.bmp,
        // placed at the top left as it comes.
        SetForegroundWindow(up);
        RECT c;
        GetWindowRect(up, &c);
        snprintf(actions + n, sizeof actions - n, "mousemove %ld %ld", (c.left + c.right) / 2,
                 (c.top + c.bottom) / 2);
        x_input(actions);
        ASSERT_TRUE(choose_merge_file(app, "patch.bmp"));
        SendMessageA(up, WM_COMMAND, MAKEWPARAM(IDM_MERGE_ACCEPT, 0), 0);
        return;
    } else if (row.answer == IDM_CROP_ACCEPT) {
        SetForegroundWindow(up);
        RECT c;
        GetClientRect(up, &c);
        POINT at = {(c.right - 80) / 2, (c.bottom - 40) / 2};
        ClientToScreen(up, &at);
        snprintf(actions + n, sizeof actions - n,
                 "mousemove %ld %ld sleep 0.3 mousedown 1 sleep 0.3 mousemove %ld %ld sleep 0.3 mousemove %ld %ld "
                 "sleep 0.3 mouseup 1 sleep 0.3 mousemove %ld %ld click --repeat 2 1",
                 at.x - 2, at.y - 2, at.x + 18, at.y + 8, at.x + 38, at.y + 18, at.x + 60, at.y + 30);
    } else {
        SetForegroundWindow(up);
        snprintf(actions + n, sizeof actions - n, "key Escape");
    }
    x_input(actions);
}

// ">>>" posted to the window other than the opener (the main window when
// it is the only one; the slideshow's tick to the slideshow, "other"), or
// Center pressed in the main window.
void try_next(const RunningApp& app, HWND other, const HoldRow& row)
{
    if (row.move == CENTER)
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_CENTER, BN_CLICKED),
                     (LPARAM)GetDlgItem(app.main, IDC_MAIN_CENTER));
    else if (row.move == RELOAD)
        PostMessageA(app.main, WM_SYSCOLORCHANGE, 0, 0);
    else if (row.opener == FROM_MAIN_SLIDESHOW)
        PostMessageA(other, WM_TIMER, 1, 0);
    else if (row.opener == FROM_MAIN)
        PostMessageA(other, WM_COMMAND, MAKEWPARAM(IDM_VIEW_NEXT_FILE, 0), 0);
    else
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BAR_NEXT_FILE, 0), 0);
}

// OK on a file held open: the box of the failed write is answered, and the
// dialog it came from stays, still holding every window.
void answer_failed_write(const RunningApp& app, HWND up, HWND view, const HoldRow& row)
{
    click_button(up, IDOK);
    HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 20000, row.a_name);
    ASSERT_TRUE(box);
    EXPECT_NE(box_text(box).find("Cannot Open File for Writing."), std::string::npos);
    click_button(box, IDOK);
    ASSERT_TRUE(wait_until_closed(box, 20000));
    EXPECT_TRUE(IsWindow(up));
    // The box gave its owner back as it closed; the hold takes it again.
    EXPECT_TRUE(wait_for([&] { return !IsWindowEnabled(app.main) && !IsWindowEnabled(view); }, 5000));
}

// One test a row, so that the end-to-end shards share the rows out.
class FileHoldRow : public testing::TestWithParam<int> {};

TEST_P(FileHoldRow, NoWindowMovesOnWhileACommandWorksOnTheShownFile)
{
    ScopedSetting no_tip("DontShowAgain", "1");  // the crop tip would wait for its OK
    ScopedSetting no_red_tip("DontShowRedAgain", "1");
    const HoldRow& row = ROWS[GetParam()];
    SCOPED_TRACE(row.name);
    std::string dir = e2e_work_dir(std::string("file_hold_") + (char)('a' + GetParam()));
    const std::string a_name = row.a_name ? row.a_name : "a.jpg";
    const std::string a = dir + "\\" + a_name, b = dir + "\\b.jpg";
    SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::string& name : {a_name, std::string("b.jpg")}) {
        const char* fixture = name == "b.jpg" ? (row.b_fixture ? row.b_fixture : "camera.jpg")
                                              : (row.a_fixture ? row.a_fixture : "camera.jpg");
        DeleteFileA((dir + "\\" + name).c_str());
        if (name == "a.emf") {
            HDC dc = CreateEnhMetaFileA(NULL, a.c_str(), NULL, "test\0square\0");
            ASSERT_NE(dc, nullptr);
            paint_red_box(dc, 200, 200);
            DeleteEnhMetaFile(CloseEnhMetaFile(dc));
            continue;
        }
        ASSERT_TRUE(copy_fixture(fixture, dir));
        ASSERT_TRUE(MoveFileA((dir + "\\" + fixture).c_str(), (dir + "\\" + name).c_str()));
    }
    if (row.read_only)
        SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string patch = dir + "\\patch.bmp";
    if (row.answer == IDM_MERGE_ACCEPT) {
        ASSERT_TRUE(copy_fixture("patch.bmp", dir));
    }
    // Another program reads the file and lets nobody write it (a read-only
    // file takes a comment).
    HANDLE held = row.write_fails ? CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                                  : INVALID_HANDLE_VALUE;
    const std::string before = read_whole_file(a), b_before = read_whole_file(b);
    const std::string stamp = file_stamp(a);
    RunningApp app;
    ASSERT_TRUE(start_app(a_name, dir, app));
    // The window other than the opener: the image window, or the slideshow.
    HWND view = NULL;
    if (row.opener == FROM_MAIN || row.opener == FROM_VIEW) {
        view = open_image_window(app, IDC_MAIN_CENTER);
        ASSERT_TRUE(view);
        // Beside the main window, clear of its list.
        ShowWindow(view, SW_RESTORE);
        SetWindowPos(view, NULL, GetSystemMetrics(SM_CXSCREEN) - 420, 0, 400, 300, SWP_NOZORDER);
    }
    HWND batch = row.batch ? open_batch_window_clicking(app, 1) : NULL;
    if (row.batch) {
        ASSERT_TRUE(batch);
    }
    ASSERT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), a_name), a_name);
    if (row.opener == FROM_MAIN_SLIDESHOW) {
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
        view = find_process_window(app.process.dwProcessId, "Slide", app.main, 20000);
        ASSERT_TRUE(view);
    }
    if (row.edit_first)
        SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(row.edit_first, 0), 0);
    if (row.replaced_first) {
        ASSERT_TRUE(write_whole_file(a, before));
    }

    HWND opener = row.opener == FROM_VIEW ? view : app.main;
    if (row.command)
        PostMessageA(opener, WM_COMMAND, MAKEWPARAM(row.command, 0), 0);
    else
        PostMessageA(view, WM_KEYDOWN, row.key, 0);
    HWND up = find_process_window(app.process.dwProcessId, row.class_name, app.main, 20000, row.title);
    ASSERT_TRUE(up);
    // A slideshow may have stepped before the command began: the
    // command works on the file shown when its window came.
    const std::string started_on = shown_name(app);
    if (row.opener != FROM_MAIN_SLIDESHOW) {
        EXPECT_EQ(started_on, a_name);
    }
    EXPECT_FALSE(IsWindowEnabled(app.main));
    if (view) {
        EXPECT_FALSE(IsWindowEnabled(view));
    }
    if (row.edit_id)
        SetDlgItemTextA(up, row.edit_id, row.edit_text);
    if (row.write_fails) {
        answer_failed_write(app, up, view, row);
        if (HasFatalFailure())
            return;
    }
    try_next(app, view, row);
    click_second_entry_then_answer(app, up, row);
    const DWORD pid = app.process.dwProcessId;
    HWND prompt = NULL;
    if (row.question) {
        ASSERT_TRUE(wait_for([&] { return (prompt = find_process_window(pid, "#32770", app.main, 0)) && prompt != up; }));
        click_button(prompt, IDYES);
    }
    ASSERT_TRUE(wait_until_closed(up, 20000));
    if (row.question) {
        HWND box = find_process_window(pid, "#32770", app.main, 8000, "Corvane File Viewer");
        ASSERT_TRUE(box);
        EXPECT_EQ(box_text(box), row.question);
        PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(wait_until_closed(box));
    }

    // The command acted on a.jpg, b.jpg is as it was, a.jpg still shown
    // (a slideshow moves on once the command has ended).
    // The work follows the answer, and a busy machine may be slow to it.
    if (row.a == A_GONE) {
        EXPECT_TRUE(wait_for([&] { return !file_exists(a); }));
    } else {
        // The write follows the answer: a changed file is waited for.
        if (row.a == A_CHANGED)
            wait_file_replaced(a, stamp);
        EXPECT_EQ(read_whole_file(a) != before, row.a == A_CHANGED);
        if (row.opener != FROM_MAIN_SLIDESHOW) {
            EXPECT_EQ(shown_name(app), a_name);
        }
        if (row.a == A_CHANGED && row.edit_id == IDC_COMMENT_EDIT) {
            EXPECT_NE(read_whole_file(a).find(row.edit_text), std::string::npos);
        }
    }
    if (row.written) {
        const std::string written = dir + "\\" + row.written;
        std::string caption;
        dismiss_message_box(app, 20000, &caption);
        EXPECT_EQ(caption, "File Converted Successfully");
        EXPECT_EQ(bmp_size(read_whole_file(written)), jpeg_size(read_whole_file(dir + "\\" + started_on)))
            << "written from " << started_on;
    }
    // Nothing opened an image window meanwhile.
    if (!view || row.opener == FROM_MAIN_SLIDESHOW) {
        EXPECT_FALSE(find_process_window(app.process.dwProcessId, "Meta", NULL, 0));
    }

    // Every window is given back once the command has ended (a rewrite
    // reloads the picture first): the other window's >>> moves on.
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(app.main) && (!view || IsWindowEnabled(view)); }, 20000));
    if (batch) {
        EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(batch) != FALSE; }, 20000));
    }
    EXPECT_EQ(read_whole_file(b), b_before);
    if (row.move == RELOAD) {
        // The tool ended on the picture it began with, the whole file,
        // or on the crop it made, which the reload kept: written out,
        // it has that size. A colour change with no tool up keeps the
        // crop too, and Undo still takes it away. So with a turn made
        // first, and with a merged patch (magenta at its pixel (10, 5)),
        // once its file is gone too. Undo refused keeps the turn for good.
        const std::pair<int, int> whole = jpeg_size(before);
        const bool merged = row.answer == IDM_MERGE_ACCEPT;
        auto saved = [&](const char* name) {
            const std::string out = dir + "\\" + name;
            DeleteFileA(out.c_str());
            run_dialog_command(app, app.main, IDM_MAIN_SAVE_BMP, "Save As Windows BMP", name, 1);
            return read_whole_file(out);
        };
        auto expect_kept = [&](const char* name, std::pair<int, int> size, bool patch_shows) {
            const std::string data = saved(name);
            EXPECT_EQ(bmp_size(data), size) << name;
            if (merged) {
                EXPECT_EQ(bmp_pixel(data, 10, 5) == 0xFF00FF, patch_shows) << name << std::hex << " "
                                                                           << bmp_pixel(data, 10, 5);
            }
        };
        const std::pair<int, int> kept = row.answer == IDM_CROP_ACCEPT ? std::make_pair(40, 20)
                                         : row.edit_first             ? std::make_pair(whole.second, whole.first)
                                                                      : whole;
        expect_kept("reloaded.bmp", kept, merged);
        if (merged) {
            ASSERT_TRUE(DeleteFileA(patch.c_str()));
        }
        if (row.answer) {
            // Sent: its reload comes before the save posted next.
            SendMessageA(app.main, WM_SYSCOLORCHANGE, 0, 0);
            expect_kept("recoloured.bmp", kept, merged);
            // So does another background, which the loader lays under
            // the picture.
            SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BACKGROUND_FIRST + 2, 0), 0);
            expect_kept("new_background.bmp", kept, merged);
            PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
            expect_kept("undone.bmp", row.replaced_first ? kept : whole, false);
        }
    }
    if (row.read_only) {
        EXPECT_EQ(GetFileAttributesA(a.c_str()) & FILE_ATTRIBUTE_READONLY, (DWORD)FILE_ATTRIBUTE_READONLY);
    }
    SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    if (row.opener == FROM_MAIN_SLIDESHOW) {
        try_next(app, view, row);
        EXPECT_TRUE(wait_for([&] { return shown_name(app) != started_on; }, 20000));
    } else if (row.a != A_GONE) {
        HoldRow next = row;
        next.move = NEXT;
        try_next(app, view, next);
        EXPECT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "b.jpg", 20000), "b.jpg");
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(EachCommand, FileHoldRow, testing::Range(0, (int)(sizeof ROWS / sizeof ROWS[0])));

}  // namespace

// The comment dialog opened on a.jpg shows a.jpg's comment; a selection of
// b.jpg forged behind it (a message that reaches the held main window
// anyway) is turned away, and OK writes a.jpg and leaves b.jpg.
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
    // Sent, so it has been taken when this returns: the held main window
    // turns it away and the list goes back to the file.
    select_list_file(app, "b.jpg");
    EXPECT_EQ(window_text(name), "a.jpg");
    SetDlgItemTextA(dialog, IDC_COMMENT_EDIT, "forged behind");
    click_button(dialog, IDOK);
    ASSERT_TRUE(wait_until_closed(dialog));
    wait_file_replaced(a, stamp);
    EXPECT_NE(read_whole_file(a).find("forged behind"), std::string::npos);
    EXPECT_EQ(read_whole_file(a).find("a's comment"), std::string::npos);
    EXPECT_EQ(read_whole_file(b), plain);
    EXPECT_EQ(exit_by_button(app), 1);
}

namespace {

// Delete's question about the shown file, moved clear of the preview;
// answered No by the caller.
HWND ask_delete(const RunningApp& app)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_DELETE_FILE, 0), 0);
    HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 20000, " CONFIRM DELETE FILE ");
    if (box)
        SetWindowPos(box, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return box;
}

void answer_no(const RunningApp& app, HWND box)
{
    click_button(box, IDNO);
    EXPECT_TRUE(wait_until_closed(box, 20000));
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(app.main) != FALSE; }, 20000));
}

}  // namespace

// Enter on Delete's question keeps the file: a deleted file does not come
// back, so No is the question's default.
TEST(FileHold, EnterOnTheDeleteQuestionKeepsTheFile)
{
    const std::string dir = e2e_work_dir("file_delete_enter");
    ASSERT_TRUE(copy_fixture("patch.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("patch.bmp", dir, app));
    ASSERT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "patch.bmp"), "patch.bmp");
    HWND box = ask_delete(app);
    ASSERT_TRUE(box);
    PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(wait_until_closed(box, 20000));
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(app.main) != FALSE; }, 20000));
    EXPECT_NE(GetFileAttributesA((dir + "\\patch.bmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(exit_by_button(app), 1);
}

// Under a question about the shown file the picture shown stands: an
// animated cursor's frames (red, blue, 150 ms each) stop on one, and a
// double-click on a multi-page TIFF's preview (as it comes when posted)
// leaves its page; afterwards both move on again.
TEST(FileHold, TheShownPictureStandsUnderAQuestion)
{
    const std::string dir = e2e_work_dir("file_hold_still");
    ASSERT_TRUE(copy_fixture("cursor.ani", dir));
    ASSERT_TRUE(copy_fixture("pages.tif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("cursor.ani", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    ASSERT_EQ(wait_for_window_text(name, "cursor.ani"), "cursor.ani");
    // The colours of up to shots shots, until both frames have shown. A
    // shot takes over 400 ms; each pause between them is longer than the
    // last, so that the shots do not keep falling on the same frame.
    auto colours = [&](const char* shot, int shots) {
        std::set<DWORD> seen;
        for (int i = 0; i < shots && seen.size() < 2; ++i) {
            seen.insert(preview_shot(app, shot).middle());
            Sleep(70 * i);
        }
        return seen.size();
    };
    ASSERT_EQ(colours("cursor_before_hold", 12), 2u) << "the frames follow one another";
    HWND box = ask_delete(app);
    ASSERT_TRUE(box);
    EXPECT_EQ(colours("held_cursor", 9), 1u) << "one frame while held";
    answer_no(app, box);
    EXPECT_EQ(colours("cursor_after_hold", 12), 2u) << "the frames follow one another again";

    ASSERT_TRUE(select_list_file(app, "pages.tif"));
    const std::string first = "pages.tif     Page 1 of 3 Pages     ", second = "pages.tif     Page 2 of 3 Pages     ";
    ASSERT_EQ(wait_for_window_text(name, first), first);
    RECT r;
    GetWindowRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), &r);
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(app.main, &centre);
    box = ask_delete(app);
    ASSERT_TRUE(box);
    PostMessageA(app.main, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    answer_no(app, box);
    // One double-click after the hold steps one page on from the first.
    // Sent, it is taken before any reload the hold's end posted, and the
    // page is read when it returns.
    SendMessageA(app.main, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    EXPECT_EQ(wait_for_window_text(name, second), second);
    EXPECT_EQ(exit_by_button(app), 1);
}

// The printer-profile picker browses by moving the current folder. Gone
// into a folder that holds a file of the shown file's name, it holds the
// image window like every other file dialog: a Delete that reaches that
// window anyway (sent, as no person can choose it there) deletes the shown
// file or nothing, never its namesake in the picker's folder.
TEST(FileHold, ThePrinterProfilePickerHoldsAndDeleteSparesTheNamesake)
{
    const std::string dir = e2e_work_dir("file_hold_profile"), other = dir + "\\other";
    CreateDirectoryA(other.c_str(), NULL);
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    ASSERT_TRUE(copy_fixture("slide_c.bmp", other));
    const std::string shown = dir + "\\slide_a.bmp", namesake = other + "\\slide_a.bmp";
    DeleteFileA(namesake.c_str());
    ASSERT_TRUE(MoveFileA((other + "\\slide_c.bmp").c_str(), namesake.c_str()));
    const std::string namesake_bytes = read_whole_file(namesake);
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    ASSERT_EQ(wait_for_window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT), "slide_a.bmp"), "slide_a.bmp");
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_PRINTER_PROFILE, 0), 0);
    HWND picker = wait_dialog(app, "Select Printer Color Profile File:");
    ASSERT_TRUE(picker);
    // Into the folder as a typed folder name and OK take the dialog there.
    SetDlgItemTextA(picker, 1152, other.c_str());
    click_button(picker, IDOK);
    ASSERT_TRUE(wait_for([&] {
        std::string folder = window_text(GetDlgItem(picker, 1088));
        CharLowerBuffA(&folder[0], (DWORD)folder.size());
        return folder.size() >= 5 && folder.compare(folder.size() - 5, 5, "other") == 0;
    })) << window_text(GetDlgItem(picker, 1088));
    EXPECT_FALSE(IsWindowEnabled(view));

    DWORD_PTR result = 0;
    bool returned = SendMessageTimeoutA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_DELETE_FILE, 0), 0, SMTO_NORMAL, 3000,
                                        &result) != 0;
    HWND box = returned ? NULL
                        : find_process_window(app.process.dwProcessId, "#32770", app.main, 20000,
                                              " CONFIRM DELETE FILE ");
    if (box) {
        click_button(box, IDYES);
        EXPECT_TRUE(wait_until_closed(box, 20000));
        EXPECT_TRUE(wait_for([&] { return !file_exists(shown); })) << "the shown file is deleted";
    }
    click_button(picker, IDCANCEL);
    ASSERT_TRUE(wait_until_closed(picker, 20000));
    EXPECT_TRUE(read_whole_file(namesake) == namesake_bytes) << "the picker's folder is left alone";
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(view) != FALSE; }, 20000));
    EXPECT_EQ(exit_by_button(app), 1);
}
