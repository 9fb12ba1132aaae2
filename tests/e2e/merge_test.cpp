// The merge tool on the real program: a 20 x 10 magenta patch (with white
// key columns) chosen in the Open dialog, dragged with the X pointer onto the
// quadrants picture, drawn transparently and accepted changes only its
// place; Undo takes it away again; Esc leaves the picture as it was.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

#include <commctrl.h>
#include <stdio.h>

namespace {

const DWORD RED = 0xFF0000, BLUE = 0x0000FF, YELLOW = 0xFFFF00, MAGENTA = 0xFF00FF, WHITE = 0xFFFFFF;

struct MergeTool {
    HWND window = NULL, status = NULL;
    POINT image_corner = {};  // top-left image pixel, screen coordinates
};

bool open_merge(RunningApp& app, MergeTool* tool)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_MERGE_FILE, 0), 0);
    tool->window = find_process_window(app.process.dwProcessId, "Merge", NULL, 10000);
    HWND backdrop = find_process_window(app.process.dwProcessId, "Dummy", NULL, 5000);
    if (!tool->window || !backdrop)
        return false;
    tool->status = FindWindowExA(backdrop, NULL, STATUSCLASSNAMEA, NULL);
    RECT c;
    GetClientRect(tool->window, &c);
    tool->image_corner = {(c.right - 80) / 2, (c.bottom - 40) / 2};
    ClientToScreen(tool->window, &tool->image_corner);
    return true;
}

// The first pointer move over the window asks for the source file.
bool choose_patch(const RunningApp& app, const MergeTool& tool)
{
    char move[100];
    snprintf(move, sizeof move, "mousemove %ld %ld", tool.image_corner.x + 60, tool.image_corner.y + 30);
    x_input(move);
    HWND dialog = wait_dialog(app, "Merge Image from File", 10000);
    if (!dialog)
        return false;
    // The file-name box: a combo box (cmb13) or an edit control (edt1).
    HWND name = GetDlgItem(dialog, 0x47C);
    if (!name)
        name = GetDlgItem(dialog, 0x480);
    SendMessageA(name, WM_SETTEXT, 0, (LPARAM) "patch.bmp");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 50 && IsWindow(dialog); ++i)
        Sleep(100);
    return !IsWindow(dialog);
}

// Drags the source by the image pixel (10, 5) to (40, 20).
void drag_patch(const MergeTool& tool)
{
    const LONG x = tool.image_corner.x, y = tool.image_corner.y;
    char actions[200];
    snprintf(actions, sizeof actions,
             "mousemove %ld %ld sleep 0.3 mousedown 1 sleep 0.3 mousemove %ld %ld sleep 0.3 mousemove %ld %ld "
             "sleep 0.3 mouseup 1",
             x + 10, y + 5, x + 25, y + 12, x + 40, y + 20);
    x_input(actions);
}

DWORD window_pixel(const MergeTool& tool, const char* name, int ix, int iy)
{
    std::vector<DWORD> pixels;
    int w = 0, h = 0;
    save_screenshot(tool.window, name, &pixels, &w, &h);
    RECT frame;
    GetWindowRect(tool.window, &frame);
    POINT p = {tool.image_corner.x - frame.left + ix, tool.image_corner.y - frame.top + iy};
    return p.x >= 0 && p.y >= 0 && p.x < w && p.y < h ? pixels[(size_t)p.y * w + p.x] : 0xFFFFFFFF;
}

// The preview shows the 80 x 40 picture across its square's middle half.
DWORD picture_pixel(const RunningApp& app, const char* name, double ix, double iy)
{
    return preview_pixel(app, name, (ix + 0.5) / 80, 0.25 + (iy + 0.5) / 80);
}

TEST(MergeToolTest, DraggedPatchMergedTransparentlyChangesOnlyItsPlace)
{
    std::string dir = e2e_work_dir("merge");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("patch.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    MergeTool tool;
    ASSERT_TRUE(open_merge(app, &tool));
    EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 80;   height: 40");
    ASSERT_TRUE(choose_patch(app, tool));
    EXPECT_EQ(status_bar_part_text(app, tool.status, 3), "left: 0;   top: 0;   right: 19;   bottom: 9");

    drag_patch(tool);
    EXPECT_EQ(status_bar_part_text(app, tool.status, 3), "left: 30;   top: 15;   right: 49;   bottom: 24");
    // Opaque at first: the key column is white.
    EXPECT_EQ(window_pixel(tool, "merge_opaque", 32, 20), WHITE);
    EXPECT_EQ(window_pixel(tool, "merge_opaque", 40, 20), MAGENTA);
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_MERGE_TRANSPARENT, 0), 0);
    Sleep(300);
    EXPECT_EQ(window_pixel(tool, "merge_transparent", 32, 20), BLUE);
    EXPECT_EQ(window_pixel(tool, "merge_transparent", 32, 16), RED);
    EXPECT_EQ(window_pixel(tool, "merge_transparent", 34, 16), MAGENTA);

    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_MERGE_ACCEPT, 0), 0);
    EXPECT_FALSE(IsWindow(tool.window));
    Sleep(300);
    const struct {
        double x, y;
        DWORD colour;
    } after[] = {{40, 20, MAGENTA}, {34, 17, MAGENTA}, {46, 23, MAGENTA}, {31.5, 22, BLUE},
                 {10, 10, RED},     {70, 32, YELLOW},  {55, 20, YELLOW},  {40, 30, YELLOW}};
    for (const auto& p : after)
        EXPECT_EQ(picture_pixel(app, "merge_accepted", p.x, p.y), p.colour) << p.x << "," << p.y;

    // One recorded edit: Undo brings the quadrants back.
    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
    Sleep(1000);
    EXPECT_EQ(picture_pixel(app, "merge_undone", 40, 20), YELLOW);
    EXPECT_EQ(picture_pixel(app, "merge_undone", 34, 17), RED);
}

TEST(MergeToolTest, EscapeAfterADragLeavesThePicture)
{
    std::string dir = e2e_work_dir("merge_cancel");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("patch.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    MergeTool tool;
    ASSERT_TRUE(open_merge(app, &tool));
    ASSERT_TRUE(choose_patch(app, tool));
    drag_patch(tool);
    EXPECT_EQ(window_pixel(tool, "merge_before_escape", 40, 20), MAGENTA);
    x_input("key Escape");
    for (int i = 0; i < 50 && IsWindow(tool.window); ++i)
        Sleep(100);
    EXPECT_FALSE(IsWindow(tool.window));
    EXPECT_EQ(picture_pixel(app, "merge_cancelled", 40, 20), YELLOW);
    EXPECT_EQ(picture_pixel(app, "merge_cancelled", 34, 17), RED);
}

// A 10 x 6 magenta DIB of the test's own on the clipboard.
bool put_magenta_dib_on_clipboard()
{
    const int w = 10, h = 6, stride = 32;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + stride * h);
    BITMAPINFOHEADER* bih = block ? (BITMAPINFOHEADER*)GlobalLock(block) : NULL;
    if (!bih)
        return false;
    bih->biSize = sizeof *bih;
    bih->biWidth = w;
    bih->biHeight = h;
    bih->biPlanes = 1;
    bih->biBitCount = 24;
    BYTE* rows = (BYTE*)(bih + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            rows[y * stride + 3 * x] = 0xFF;
            rows[y * stride + 3 * x + 2] = 0xFF;
        }
    GlobalUnlock(block);
    if (!OpenClipboard(NULL)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    const bool set = SetClipboardData(CF_DIB, block) != NULL;
    CloseClipboard();
    if (!set)
        GlobalFree(block);
    return set;
}

TEST(MergeToolTest, ClipboardImageAcceptedAtTheTopLeft)
{
    std::string dir = e2e_work_dir("merge_clipboard");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(put_magenta_dib_on_clipboard());
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_MERGE_CLIPBOARD, 0), 0);
    MergeTool tool;
    tool.window = find_process_window(app.process.dwProcessId, "Merge", NULL, 10000);
    ASSERT_TRUE(tool.window);
    RECT r;
    GetWindowRect(tool.window, &r);
    char move[100];
    snprintf(move, sizeof move, "mousemove %ld %ld", (r.left + r.right) / 2, (r.top + r.bottom) / 2 + 100);
    x_input(move);
    HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box), "Merge Image from Clipboard?");
    EXPECT_EQ(window_text(box), "Merge Image");
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    for (int i = 0; i < 50 && IsWindow(box); ++i)
        Sleep(100);
    Sleep(300);
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_MERGE_ACCEPT, 0), 0);
    EXPECT_FALSE(IsWindow(tool.window));
    Sleep(300);
    EXPECT_EQ(picture_pixel(app, "merge_clipboard", 4, 2.5), MAGENTA);
    EXPECT_EQ(picture_pixel(app, "merge_clipboard", 20, 10), RED);
    EXPECT_EQ(picture_pixel(app, "merge_clipboard", 4, 12), RED);
}

}  // namespace
