// The text tool on the real program: the first pointer move runs the font,
// colour, text and position dialogs in turn; a text centred on both axes and
// accepted puts black ink on a white box in the picture's middle only; Esc
// leaves the picture as it was.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

#include <commctrl.h>
#include <stdio.h>

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, YELLOW = 0xFFFF00;

bool press_ok(const RunningApp& app, const char* title)
{
    HWND dialog = wait_dialog(app, title, 10000);
    if (!dialog)
        return false;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 50 && IsWindow(dialog); ++i)
        Sleep(100);
    return !IsWindow(dialog);
}

// Opens the tool; its first pointer move runs the font and colour dialogs,
// accepted; the text dialog is left open.
HWND open_to_text_dialog(RunningApp& app)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_WRITE_TEXT, 0), 0);
    HWND tool = find_process_window(app.process.dwProcessId, "Text", NULL, 10000);
    if (!tool)
        return NULL;
    RECT r;
    GetWindowRect(tool, &r);
    char move[100];
    snprintf(move, sizeof move, "mousemove %ld %ld", (r.left + r.right) / 2, (r.top + r.bottom) / 2 + 100);
    x_input(move);
    if (!press_ok(app, "Write Text on Image -- Select Font") || !press_ok(app, "Write Text on Image -- Select Colors"))
        return NULL;
    return tool;
}

// Takes a centred "Hi" through the tool's four dialogs, black on an opaque
// white box (the settings' defaults).
HWND place_centred_text(RunningApp& app)
{
    HWND tool = open_to_text_dialog(app);
    if (!tool)
        return NULL;
    HWND text = wait_dialog(app, "Write Text on Image -- Enter/Edit Text", 10000);
    HWND edit = text ? FindWindowExA(text, NULL, "Edit", NULL) : NULL;
    if (!edit)
        return NULL;
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM) "Hi");
    if (!press_ok(app, "Write Text on Image -- Enter/Edit Text"))
        return NULL;
    HWND position = wait_dialog(app, "Position Text on Image", 10000);
    if (!position)
        return NULL;
    SendDlgItemMessageA(position, IDC_TEXT_CENTER_X, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(position, IDC_TEXT_CENTER_Y, BM_SETCHECK, BST_CHECKED, 0);
    return press_ok(app, "Position Text on Image") ? tool : NULL;
}

// Pixels of the preview's picture (80 x 40 across the square's middle half)
// that are white or dark (the ink, smoothed by the preview's halftone
// scaling), counted in the middle quarter of the picture.
void count_ink(const PreviewShot& shot, int* white, int* black)
{
    *white = *black = 0;
    const int side = shot.width;
    for (int y = side * 3 / 8; y < side * 5 / 8; ++y)
        for (int x = side / 4; x < side * 3 / 4; ++x) {
            const DWORD c = shot.at(x, y);
            *white += c == 0xFFFFFF;
            *black += (c & 0xFF) < 100 && ((c >> 8) & 0xFF) < 100 && (c >> 16) < 100;
        }
}

DWORD picture_pixel(const RunningApp& app, const char* name, double ix, double iy)
{
    return preview_pixel(app, name, (ix + 0.5) / 80, 0.25 + (iy + 0.5) / 80);
}

TEST(TextToolTest, CentredTextAcceptedInksOnlyThePictureMiddle)
{
    std::string dir = e2e_work_dir("text");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND tool = place_centred_text(app);
    ASSERT_TRUE(tool);
    SendMessageA(tool, WM_COMMAND, MAKEWPARAM(IDM_TEXT_ACCEPT, 0), 0);
    EXPECT_FALSE(IsWindow(tool));
    Sleep(300);
    int white = 0, black = 0;
    count_ink(preview_shot(app, "text_accepted"), &white, &black);
    EXPECT_GT(white, 100);
    EXPECT_GT(black, 20);
    const struct {
        double x, y;
        DWORD colour;
    } corners[] = {{3, 3, RED}, {76, 3, GREEN}, {3, 36, BLUE}, {76, 36, YELLOW}};
    for (const auto& p : corners)
        EXPECT_EQ(picture_pixel(app, "text_accepted", p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST(TextToolTest, EscapeAfterPlacingLeavesThePicture)
{
    std::string dir = e2e_work_dir("text_cancel");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND tool = place_centred_text(app);
    ASSERT_TRUE(tool);
    SetForegroundWindow(tool);
    x_input("key Escape");
    for (int i = 0; i < 50 && IsWindow(tool); ++i)
        Sleep(100);
    EXPECT_FALSE(IsWindow(tool));
    int white = 0, black = 0;
    count_ink(preview_shot(app, "text_cancelled"), &white, &black);
    EXPECT_EQ(white + black, 0);
}

TEST(TextToolTest, EmptyTextIsRefusedAndTheDialogStays)
{
    std::string dir = e2e_work_dir("text_empty");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND tool = open_to_text_dialog(app);
    ASSERT_TRUE(tool);
    HWND text = wait_dialog(app, "Write Text on Image -- Enter/Edit Text", 10000);
    ASSERT_TRUE(text);
    PostMessageA(text, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND box = wait_dialog(app, "Write Text on Image", 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box), "No Text Entered.");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(text));
    PostMessageA(text, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

}  // namespace
