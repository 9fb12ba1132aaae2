// View Digital Image Properties on a camera file made with exiftool: the
// EXIF dialog shows the file's name, its camera fields and its thumbnail
// turned upright. The text is owner-drawn, so it is compared with the same
// template drawn here with the expected text: the same fonts and controls
// give the same pixels only when the texts are the same.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const char EXPECTED_TEXT[] =
    "make: Corvane\nmodel: Quadrants\norientation: 6\niso speed ratings: 400\n"
    "date time original: 2026:12:06 12:00:00\ncolorspace: 65535\n";

INT_PTR CALLBACK reference_dlg_proc(HWND, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        return 1;
    if (msg == WM_DRAWITEM) {
        const DRAWITEMSTRUCT* item = (const DRAWITEMSTRUCT*)lp;
        if (item->CtlID != IDC_EXIF_TEXT)
            return 0;
        RECT area = item->rcItem;
        DrawTextA(item->hDC, EXPECTED_TEXT, -1, &area, 0);
        return 1;
    }
    return 0;
}

// The program's EXIF template, opened in this process with the expected text.
HWND open_reference_dialog()
{
    std::string exe = getenv("CORVANE_EXE") ? getenv("CORVANE_EXE") : "Corvane.exe";
    HMODULE module = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module ? FindResourceA(module, "EXIF", MAKEINTRESOURCEA(5)) : NULL;  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    LPCDLGTEMPLATEA dialog_template = loaded ? (LPCDLGTEMPLATEA)LockResource(loaded) : NULL;
    HWND dialog = dialog_template ? CreateDialogIndirectParamA(GetModuleHandleA(NULL), dialog_template,
                                                               NULL, reference_dlg_proc, 0)
                                  : NULL;
    if (dialog) {
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    return dialog;
}

TEST(ExifDialog, ShowsTheCameraFieldsAndTheUprightThumbnail)
{
    std::string dir = e2e_work_dir("exif_dialog");
    ASSERT_TRUE(copy_fixture("camera_props.jpg", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("camera_props.jpg", dir, app));
    // Sent again until the picture has loaded and the dialog shows.
    HWND dialog = NULL;
    for (int tries = 0; !dialog && tries < 6; ++tries) {
        Sleep(500);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_EXIF_PROPERTIES, 0), 0);
        dialog = find_process_window(app.process.dwProcessId, "#32770", app.main, 3000, "camera_props.jpg");
    }
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(is_visible(GetDlgItem(dialog, IDC_EXIF_MORE_INFO)));  // no APP12 text
    EXPECT_TRUE(is_visible(GetDlgItem(dialog, IDOK)));

    std::vector<DWORD> shown, reference, thumb;
    int w = 0, h = 0, rw = 0, rh = 0, tw = 0, th = 0;
    save_screenshot(GetDlgItem(dialog, IDC_EXIF_TEXT), "exif_dialog_text", &shown, &w, &h);
    // Stored sideways (orientation 6): shown 40 wide and 80 high, blue
    // top left, red top right, yellow bottom left, green bottom right.
    save_screenshot(GetDlgItem(dialog, IDC_EXIF_THUMBNAIL), "exif_dialog_thumbnail", &thumb, &tw, &th);
    ASSERT_GT(tw, 60);
    ASSERT_GT(th, 100);
    struct Probe {
        int x, y;
        DWORD colour;
    } probes[] = {{10, 20, 0x0000FF}, {30, 20, 0xFF0000}, {10, 60, 0xFFFF00}, {30, 60, 0x00FF00}};
    for (const Probe& p : probes) {
        DWORD got = thumb[(size_t)p.y * tw + p.x];
        for (int shift = 0; shift < 24; shift += 8)
            EXPECT_NEAR((int)((got >> shift) & 0xFF), (int)((p.colour >> shift) & 0xFF), 40)
                << p.x << "," << p.y << std::hex << " " << got;
    }

    HWND reference_dialog = open_reference_dialog();
    ASSERT_NE(reference_dialog, nullptr);
    save_screenshot(GetDlgItem(reference_dialog, IDC_EXIF_TEXT), "exif_dialog_text_expected", &reference, &rw,
                    &rh);
    DestroyWindow(reference_dialog);
    ASSERT_EQ(w, rw);
    ASSERT_EQ(h, rh);
    int dark = 0;
    for (DWORD pixel : reference)
        dark += (pixel & 0xFF) < 0x60;
    EXPECT_GT(dark, 100) << "the expected text was drawn";
    EXPECT_TRUE(shown == reference) << "the dialog's text differs from the expected text";

    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    for (DWORD start = GetTickCount(); IsWindow(dialog) && GetTickCount() - start < 10000;)
        Sleep(100);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
