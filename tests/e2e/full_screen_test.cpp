// The full-screen window on the real program: it shows the picture at its
// own size and Esc closes it; STRETCH doubles the picture in a new one; the
// red-eye mode greys the pixels marked on the enlarged area and only those,
// and Esc discards the marks. The 80 x 40 quadrants picture (red, green /
// blue, yellow) sits centred on the 1280 x 1024 test display from (600, 492).
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

DWORD pixel_of(HWND window, const char* shot, int x, int y)
{
    return shoot(window, shot).at(x, y);
}

HWND open_full(const RunningApp& app, int command, HWND excluded = NULL)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    HWND full = find_process_window(app.process.dwProcessId, "Full", excluded, 10000);
    Sleep(500);
    return full;
}

// The band over the red quadrant, image pixels (0, 0) to (40, 20), is
// drawn 320 x 160 from (480, 432); then a press at its top left.
void band_and_press(HWND full)
{
    PostMessageA(full, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 492));
    PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(620, 502));
    PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(640, 512));
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(640, 512));
    Sleep(800);
    PostMessageA(full, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(484, 436));
}

void press_key(HWND window, UINT key)
{
    PostMessageA(window, WM_KEYDOWN, key, 0);
    Sleep(800);
}

TEST(FullScreen, OwnSizeStretchedAndRedEyeMarksDiscardedThenKept)
{
    // The red-eye tips would wait for their OK on the first pointer move.
    ScopedSetting no_tip("DontShowRedAgain", "1"), no_tip1("DontShowRed1Again", "1");
    std::string dir = e2e_work_dir("full_screen");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));

    HWND full = open_full(app, IDM_MAIN_FULL_SCREEN);
    ASSERT_TRUE(full);
    EXPECT_EQ(pixel_of(full, "full_plain", 600, 492), 0xFF0000u);
    EXPECT_EQ(pixel_of(full, "full_plain", 679, 531), 0xFFFF00u);
    EXPECT_EQ(pixel_of(full, "full_plain", 599, 492), 0xFFFFFFu) << "left of the picture";
    press_key(full, VK_ESCAPE);
    EXPECT_TRUE(wait_hidden(full));

    HWND first = open_full(app, IDM_MAIN_STRETCH);
    HWND dialog = wait_dialog(app, "quadrants.bmp", 10000);
    ASSERT_TRUE(dialog);
    SetDlgItemTextA(dialog, IDC_STRETCH_WIDTH_ONLY, "80*2");
    click_button(dialog, IDOK);
    Sleep(1500);
    EXPECT_TRUE(wait_hidden(first));
    full = find_process_window(app.process.dwProcessId, "Full", first, 5000);
    ASSERT_TRUE(full);
    // 160 x 80 from (560, 472).
    EXPECT_EQ(pixel_of(full, "full_stretched", 560, 472), 0xFF0000u);
    EXPECT_EQ(pixel_of(full, "full_stretched", 719, 551), 0xFFFF00u);
    EXPECT_EQ(pixel_of(full, "full_stretched", 559, 472), 0xFFFFFFu);
    press_key(full, VK_ESCAPE);
    EXPECT_TRUE(wait_hidden(full));
    send_main_command(app, IDM_MAIN_RESTORE);  // the stretched picture is the current one now

    full = open_full(app, IDM_MAIN_RED_EYE);
    ASSERT_TRUE(full);
    band_and_press(full);
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(484, 436));
    press_key(full, VK_ESCAPE);
    EXPECT_TRUE(wait_hidden(full));
    EXPECT_EQ(preview_pixel(app, "red_eye_discarded", 0.5 / 80, 0.25 + 0.5 / 80), 0xFF0000u);

    // Image columns 0 to 9 of rows 0 to 9 marked with the button held.
    full = open_full(app, IDM_MAIN_RED_EYE, full);
    ASSERT_TRUE(full);
    band_and_press(full);
    for (int row = 0; row < 10; ++row)
        for (int column = 0; column < 10; ++column)
            PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(484 + 8 * column, 436 + 8 * row));
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(556, 508));
    Sleep(800);
    EXPECT_EQ(pixel_of(full, "red_eye_marked", 484, 436), 0x737373u) << "shown grey on the enlarged area";
    press_key(full, VK_RETURN);
    EXPECT_TRUE(wait_hidden(full));
    // Image pixel (x, y) shows at (x + 0.5) / 80, 0.25 + (y + 0.5) / 80 of the preview.
    EXPECT_EQ(preview_pixel(app, "red_eye_after", 5.5 / 80, 0.25 + 5.5 / 80), 0x737373u);
    EXPECT_EQ(preview_pixel(app, "red_eye_after", 15.5 / 80, 0.25 + 5.5 / 80), 0xFF0000u) << "column 15 unmarked";
    EXPECT_EQ(preview_pixel(app, "red_eye_after", 5.5 / 80, 0.25 + 15.5 / 80), 0xFF0000u) << "row 15 unmarked";
}

}  // namespace
