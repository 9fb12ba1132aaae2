// Screen capture as a person does it: the dialog's OK hides the program
// and lays the overlay; a drag over a known window, a right click and a
// double click each make the current image of what the screen showed.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD MAGENTA = 0xFF00FF;
const RECT TARGET = {1000, 800, 1200, 950};   // the known window, 200 x 150

void pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(20);
    } while (GetTickCount() - start < ms);
}

// A titled top-level window of this (Wine) process, all magenta.
HWND make_target(void)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));
    wc.lpszClassName = "CaptureTarget";
    RegisterClassA(&wc);
    HWND target = CreateWindowExA(0, "CaptureTarget", "Capture Target", WS_POPUP | WS_VISIBLE, TARGET.left,
                                  TARGET.top, TARGET.right - TARGET.left, TARGET.bottom - TARGET.top, NULL, NULL,
                                  wc.hInstance, NULL);
    UpdateWindow(target);
    pump(300);
    return target;
}

enum Gesture { GESTURE_DRAG, GESTURE_RIGHT_CLICK, GESTURE_DOUBLE_CLICK };

// Runs one capture and returns the information box's text ("" when the
// overlay or the program's windows did not behave).
std::string capture(const RunningApp& app, Gesture gesture)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_CAPTURE_SCREEN, 0), 0);
    HWND dialog = wait_dialog(app, "Capture Screen Image");
    if (!dialog)
        return "no dialog";
    click_button(dialog, IDOK);
    HWND cover = NULL;
    for (int i = 0; i < 200 && !cover; ++i) {
        pump(50);
        cover = find_process_window(app.process.dwProcessId, "Cover", NULL, 0);
    }
    if (!cover)
        return "no overlay";
    pump(300);
    if (IsWindowVisible(app.main))
        return "the main window stays";
    const LPARAM inside = MAKELPARAM(TARGET.left + 20, TARGET.top + 20);
    const LPARAM corner = MAKELPARAM(TARGET.left + 180, TARGET.top + 130);
    switch (gesture) {
    case GESTURE_DRAG:
        PostMessageA(cover, WM_LBUTTONDOWN, MK_LBUTTON, inside);
        PostMessageA(cover, WM_MOUSEMOVE, MK_LBUTTON, corner);
        PostMessageA(cover, WM_LBUTTONUP, 0, corner);
        break;
    case GESTURE_RIGHT_CLICK:
        PostMessageA(cover, WM_RBUTTONDOWN, MK_RBUTTON, inside);
        break;
    case GESTURE_DOUBLE_CLICK:
        PostMessageA(cover, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
        break;
    }
    for (int i = 0; i < 100 && (IsWindow(cover) || !IsWindowVisible(app.main)); ++i)
        pump(50);
    if (IsWindow(cover) || !IsWindowVisible(app.main))
        return "the overlay stays";
    pump(500);
    if (window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT)) != "Screen Capture Image")
        return "not the current image";
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FILE_INFO, 0), 0);
    HWND box = wait_dialog(app, "Screen Capture Image");
    if (!box)
        return "no information box";
    std::string text = box_text(box);
    click_button(box, IDOK);
    for (int i = 0; i < 100 && IsWindow(box); ++i)
        pump(50);
    return text;
}

TEST(Capture, DragRightClickAndDoubleClickCaptureWhatTheScreenShowed)
{
    std::string dir = e2e_work_dir("capture");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    pump(500);
    ShowWindow(app.main, SW_RESTORE);
    SetWindowPos(app.main, NULL, 0, 0, 760, 560, SWP_NOZORDER);
    pump(300);
    HWND target = make_target();
    RECT main;
    GetWindowRect(app.main, &main);
    RECT overlap;
    ASSERT_FALSE(IntersectRect(&overlap, &main, &TARGET)) << "the known window must show beside the program";

    struct {
        Gesture gesture;
        const char* info;
        bool magenta;   // the preview shows the known window
    } const rows[] = {
        {GESTURE_DRAG, "Screen Capture Image\n\nwidth: 160 \nheight: 110 \nbits per pixel: 24", true},
        {GESTURE_RIGHT_CLICK, "Screen Capture Image\n\nwidth: 200 \nheight: 150 \nbits per pixel: 24", true},
        {GESTURE_DOUBLE_CLICK, "Screen Capture Image\n\nwidth: 1280 \nheight: 1024 \nbits per pixel: 24", false},
    };
    for (const auto& row : rows) {
        SetForegroundWindow(target);
        pump(300);
        EXPECT_EQ(capture(app, row.gesture), row.info) << row.gesture;
        DWORD middle = preview_pixel(app, "capture_" + std::to_string(row.gesture), 0.5, 0.5);
        EXPECT_TRUE(!row.magenta || middle == MAGENTA) << row.gesture << std::hex << " " << middle;
    }
    DestroyWindow(target);
}

}  // namespace
