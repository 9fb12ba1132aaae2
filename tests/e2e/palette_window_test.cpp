// Display Palette on the real program: the window lists the GIF's colours;
// a click on the first swatch opens the picker on entry 0, and black typed
// into its fields turns that entry's quadrant of the picture black.
#include <gtest/gtest.h>

#include <cstdlib>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

void type_channel(HWND picker, int id, const char* text)
{
    HWND field = GetDlgItem(picker, id);
    // The picker takes a field's text only while that field has the focus.
    SendMessageA(picker, WM_COMMAND, MAKEWPARAM(id, EN_SETFOCUS), (LPARAM)field);
    SetDlgItemTextA(picker, id, text);
    SendMessageA(picker, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), (LPARAM)field);
}

TEST(PaletteWindow, PickerOnTheFirstSwatchRecoloursItsEntry)
{
    std::string dir = e2e_work_dir("palette");
    ASSERT_TRUE(copy_fixture("quadrants.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.gif", dir, app));

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_DISPLAY_PALETTE, 0), 0);
    HWND palette = find_process_window(app.process.dwProcessId, "Palette", NULL, 10000);
    ASSERT_TRUE(palette);
    EXPECT_EQ(window_text(palette), "Image Palette (4 Colors)");

    PostMessageA(palette, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    HWND picker = wait_dialog(app, "Palette Index 0", 10000);
    ASSERT_TRUE(picker);
    DWORD old = (DWORD)atoi(window_text(GetDlgItem(picker, IDC_PICKER_RED)).c_str()) << 16 |
                (DWORD)atoi(window_text(GetDlgItem(picker, IDC_PICKER_GREEN)).c_str()) << 8 |
                (DWORD)atoi(window_text(GetDlgItem(picker, IDC_PICKER_BLUE)).c_str());
    type_channel(picker, IDC_PICKER_RED, "0");
    type_channel(picker, IDC_PICKER_GREEN, "0");
    type_channel(picker, IDC_PICKER_BLUE, "0");
    PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    Sleep(1000);
    EXPECT_TRUE(wait_hidden(picker));
    // The window lies over the preview.
    PostMessageA(palette, WM_COMMAND, MAKEWPARAM(IDM_PALETTE_EXIT, 0), 0);
    EXPECT_TRUE(wait_hidden(palette));

    const struct {
        double fx, fy;
        DWORD colour;
    } QUADRANTS[] = {{0.25, 0.375, 0xFF0000}, {0.75, 0.375, 0x00FF00}, {0.25, 0.625, 0x0000FF}, {0.75, 0.625, 0xFFFF00}};
    int recoloured = 0;
    for (const auto& q : QUADRANTS) {
        DWORD now = preview_pixel(app, "palette_after", q.fx, q.fy);
        if (q.colour == old) {
            EXPECT_EQ(now, 0u) << std::hex << q.colour;
            ++recoloured;
        } else {
            EXPECT_EQ(now, q.colour);
        }
    }
    EXPECT_EQ(recoloured, 1) << "entry 0 held " << std::hex << old;
}

}  // namespace
