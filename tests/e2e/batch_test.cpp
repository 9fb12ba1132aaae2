// The batch window as a person uses it: the folder's camera JPEGs as Exif
// thumbnails (a file without Exif stays out), selection frames, a quarter
// turn of the selection, a comment for the selection, a queued conversion,
// copy and delete with their summaries. tests/e2e/check_batch.sh checks the files written.
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

bool close_to(DWORD a, DWORD b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)) > 24)
            return false;
    return true;
}

void press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

void wait_gone(HWND hwnd)
{
    for (int i = 0; i < 200 && IsWindow(hwnd); ++i)
        Sleep(50);
}

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
    Grid g = {batch, FindWindowExA(batch, NULL, STATUSCLASSNAMEA, NULL), 0, 0, 0, 0, 0, 0};
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

// The client area's pixels as shown.
struct Shot {
    std::vector<DWORD> pixels;
    int w = 0, h = 0, dx = 0, dy = 0;
    DWORD at(int x, int y) const
    {
        x += dx;
        y += dy;
        return x < 0 || y < 0 || x >= w || y >= h ? 0xFFFFFFFF : pixels[(size_t)y * w + x] & 0xFFFFFF;
    }
    // Length of the run of pixels near colour through (x, y), across or down.
    int run(int x, int y, DWORD colour, bool across) const
    {
        int n = 0;
        for (int k = 0; close_to(at(across ? x + k : x, across ? y : y + k), colour); ++k)
            ++n;
        for (int k = 1; close_to(at(across ? x - k : x, across ? y : y - k), colour); ++k)
            ++n;
        return n;
    }
};

Shot shoot(HWND hwnd, const char* name)
{
    Shot s;
    save_screenshot(hwnd, name, &s.pixels, &s.w, &s.h);
    RECT window;
    GetWindowRect(hwnd, &window);
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    s.dx = origin.x - window.left;
    s.dy = origin.y - window.top;
    return s;
}

void click(const Grid& g, int cell)
{
    POINT p = g.centre(cell);
    PostMessageA(g.batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageA(g.batch, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Sleep(300);
}

std::string part_text(const RunningApp& app, const Grid& g, int part)
{
    return status_bar_part_text(app, g.status, part);
}

// Runs a queued command: the folder chooser (when it comes) gets target in
// its hidden name field (empty: as proposed) and OK, then up to expected
// boxes are answered Yes (or OK); returns their captions and texts.
std::vector<std::string> run_queued(const RunningApp& app, HWND batch, int command, const char* chooser_title,
                                    const std::string& target, std::string* ok_label, size_t expected)
{
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    if (chooser_title) {
        // A conversion leaves the dialog's own title, which the system chooses.
        HWND chooser = chooser_title[0] ? wait_dialog(app, chooser_title)
                                        : find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
        if (!chooser)
            return {std::string("no chooser ") + chooser_title};
        *ok_label = window_text(GetDlgItem(chooser, IDOK));
        if (!target.empty())
            SendMessageA(GetDlgItem(chooser, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
        press(chooser, IDOK);
        wait_gone(chooser);
    }
    std::vector<std::string> boxes;
    while (boxes.size() < expected) {
        HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 8000);
        if (!box)
            break;
        std::string caption = window_text(box);
        boxes.push_back(caption + "|" + window_text(GetDlgItem(box, 0xFFFF)));
        press(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
        wait_gone(box);
    }
    Sleep(300);
    return boxes;
}

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(Batch, ThumbnailsSelectionTurnsConversionCopyAndDelete)
{
    std::string dir = e2e_work_dir("batch");
    for (const char* name : {"batch_a.jpg", "batch_b.jpg", "batch_c.jpg", "batch_d.jpg", "batch_e.jpg"})
        ASSERT_TRUE(copy_fixture(name, dir)) << name;
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    DeleteFileA((dir + "\\sub\\batch_d.jpg").c_str());
    DeleteFileA((dir + "\\batch_c.png").c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("batch_a.jpg", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BATCH, 0), 0);
    HWND batch = find_process_window(app.process.dwProcessId, "Batch", NULL, 15000);
    ASSERT_NE(batch, nullptr);
    Grid g = measure(batch);
    ASSERT_NE(g.status, nullptr);
    for (int i = 0; i < 100 && part_text(app, g, 2) != "4 Total Images"; ++i)
        Sleep(100);
    EXPECT_EQ(part_text(app, g, 2), "4 Total Images") << "batch_e.jpg has no Exif data";
    EXPECT_EQ(part_text(app, g, 1), "Images 1 -- 4");
    Sleep(500);

    // a, b: red and green; c: blue, stored 160 x 80 on its side, shown
    // upright; d: no thumbnail, an empty cell.
    Shot shot = shoot(batch, "batch_grid");
    POINT c0 = g.centre(0), c1 = g.centre(1), c2 = g.centre(2), c3 = g.centre(3);
    EXPECT_TRUE(close_to(shot.at(c0.x, c0.y), RED)) << std::hex << shot.at(c0.x, c0.y);
    EXPECT_TRUE(close_to(shot.at(c1.x, c1.y), GREEN)) << std::hex << shot.at(c1.x, c1.y);
    EXPECT_TRUE(close_to(shot.at(c2.x, c2.y), BLUE)) << std::hex << shot.at(c2.x, c2.y);
    EXPECT_NEAR(shot.run(c2.x, c2.y, BLUE, true), 80, 2) << "turned upright";
    EXPECT_NEAR(shot.run(c2.x, c2.y, BLUE, false), 160, 2);
    EXPECT_EQ(shot.at(c3.x, c3.y), WHITE);
    EXPECT_EQ(shot.run(c0.x, c0.y, RED, true), 160);

    // Clicks select: the red frame; a click in the margin does nothing.
    click(g, 0);
    click(g, 1);
    PostMessageA(batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(g.left + g.cols * g.cell_w + 1, 1));
    Sleep(300);
    shot = shoot(batch, "batch_selected");
    POINT f0 = g.frame(0), f2 = g.frame(2);
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), RED) << "selected";
    EXPECT_EQ(shot.at(f2.x + 1, f2.y + 1), WHITE) << "not selected";

    // A quarter turn of the selection: the files turn (checked against
    // jpegtran afterwards), the selection is dropped.
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_ROTATE_CW, 0), 0);
    Sleep(1500);
    shot = shoot(batch, "batch_turned");
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), WHITE);
    EXPECT_NEAR(shot.run(c0.x, c0.y, RED, true), 120, 2) << "the thumbnail turned with its file";

    // One comment for the selected files, through the comment dialog.
    click(g, 0);
    click(g, 1);
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_BATCH_COMMENT, 0), 0);
    HWND comment = wait_dialog(app, "Insert/Update JPEG Comment");
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(comment, 1021)), "") << "no current comment shown for many files";
    SendMessageA(GetDlgItem(comment, 1021), WM_SETTEXT, 0, (LPARAM) "Batch note");
    press(comment, IDOK);
    wait_gone(comment);
    Sleep(500);
    shot = shoot(batch, "batch_commented");
    EXPECT_EQ(shot.at(f0.x + 1, f0.y + 1), WHITE) << "the written files are no longer selected";

    // Converting c to PNG, halved, into the list's folder.
    click(g, 2);
    std::string label;
    std::vector<std::string> boxes = run_queued(app, batch, IDM_BATCH_PNG, "", "", &label, 2);
    EXPECT_EQ(label, "OK");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Corvane File Viewer|Reduce both width and height by a factor of 2 before converting each file?");
    EXPECT_EQ(boxes[1], "Batch Process Digital Images|1 Files Converted.");
    EXPECT_TRUE(exists(dir + "\\batch_c.png"));

    // A copy onto itself is refused and named in the summary; into the
    // subfolder it is done.
    click(g, 3);
    boxes = run_queued(app, batch, IDM_BATCH_COPY, "Copy Selected Files to:", "", &label, 2);
    EXPECT_EQ(label, "COPY");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "batch_d.jpg|Error Copying File.");
    EXPECT_EQ(boxes[1], "Batch Process Digital Images|0 Files Copied.\n\n1 Failed:\nbatch_d.jpg");
    click(g, 3);
    boxes = run_queued(app, batch, IDM_BATCH_COPY, "Copy Selected Files to:", dir + "\\sub\\batch_d.jpg", &label, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Batch Process Digital Images|1 Files Copied.");

    // Delete after the question: the file goes, its cell is empty and
    // ignores clicks.
    click(g, 3);
    boxes = run_queued(app, batch, IDM_BATCH_DELETE, NULL, "", &label, 2);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File batch_d.jpg?");
    EXPECT_EQ(boxes[1], "Batch Process Digital Images|1 Files Deleted.");
    EXPECT_FALSE(exists(dir + "\\batch_d.jpg"));
    click(g, 3);
    boxes = run_queued(app, batch, IDM_BATCH_DELETE, NULL, "", &label, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Corvane File Viewer|Batch Process: No Images Selected");

    // A double click opens the file in the main window and leaves.
    POINT b = g.centre(1);
    PostMessageA(batch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b.x, b.y));
    PostMessageA(batch, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(b.x, b.y));
    wait_gone(batch);
    EXPECT_FALSE(IsWindow(batch));
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT)), "batch_b.jpg");
    std::vector<std::string> items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    EXPECT_EQ(std::count(items.begin(), items.end(), "batch_d.jpg"), 0) << "the list was filled again";
    // b was turned clockwise: blue above the red, upright in the preview.
    Sleep(800);
    DWORD top_left = preview_pixel(app, "batch_opened", 0.3125, 0.25);
    DWORD top_right = preview_pixel(app, "batch_opened", 0.6875, 0.25);
    EXPECT_TRUE(close_to(top_left, BLUE)) << std::hex << top_left;
    EXPECT_TRUE(close_to(top_right, RED)) << std::hex << top_right;
}

TEST(Batch, PopupMoveFollowsTheFileInTheList)
{
    std::string dir = e2e_work_dir("batch_popup");
    for (const char* name : {"batch_0.jpg", "batch_a.jpg", "batch_b.jpg"})
        ASSERT_TRUE(copy_fixture(name, dir)) << name;
    CreateDirectoryA((dir + "\\sub").c_str(), NULL);
    DeleteFileA((dir + "\\sub\\batch_b.jpg").c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("batch_0.jpg", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_BATCH, 0), 0);
    HWND batch = find_process_window(app.process.dwProcessId, "Batch", NULL, 15000);
    ASSERT_NE(batch, nullptr);
    Grid g = measure(batch);
    for (int i = 0; i < 100 && part_text(app, g, 2) != "2 Total Images"; ++i)
        Sleep(100);
    ASSERT_EQ(part_text(app, g, 2), "2 Total Images");

    // b is thumbnail 1 and list entry 2: the move replaces entry 2.
    click(g, 1);
    PostMessageA(batch, WM_COMMAND, MAKEWPARAM(IDM_THUMB_MOVE, 0), 0);
    HWND dialog = wait_dialog(app, "Move \"batch_b.jpg\" To:");
    ASSERT_NE(dialog, nullptr);
    std::string target = dir + "\\sub\\batch_b.jpg";
    SendMessageA(GetDlgItem(dialog, 1152), WM_SETTEXT, 0, (LPARAM)target.c_str());
    press(dialog, IDOK);
    HWND box = wait_dialog(app, "Move File");
    ASSERT_NE(box, nullptr);
    press(box, IDOK);
    wait_gone(box);
    Sleep(500);
    EXPECT_TRUE(exists(target));
    EXPECT_FALSE(exists(dir + "\\batch_b.jpg"));
    std::vector<std::string> items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1], "batch_a.jpg");
    EXPECT_EQ(items[2], target);

    // The moved file's cell is blank and ignores clicks; a's is untouched.
    click(g, 1);
    Shot shot = shoot(batch, "batch_popup_moved");
    POINT c0 = g.centre(0), c1 = g.centre(1), f1 = g.frame(1);
    EXPECT_TRUE(close_to(shot.at(c0.x, c0.y), RED));
    EXPECT_EQ(shot.at(c1.x, c1.y), WHITE);
    EXPECT_EQ(shot.at(f1.x + 1, f1.y + 1), WHITE) << "no frame for a file gone";
}

}  // namespace
