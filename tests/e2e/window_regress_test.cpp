// Faults of the main window's state and resources: an enhanced metafile
// laid out by another size after a resize, and the cursor and accelerator
// table the main window loads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000;

void fill_red(HDC dc, int right, int bottom)
{
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old_brush = SelectObject(dc, red);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, right + 1, bottom + 1);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(red);
}

// The loader and a resize lay an enhanced metafile out by the same size.
TEST(WindowRegress, EnhancedMetafileKeepsItsPlaceAfterAResize)
{
    std::string dir = e2e_work_dir("preview_regress_emf");
    std::string path = dir + "\\wide.emf";
    HDC screen = GetDC(NULL);
    // About 20 x 10 device pixels: + 1 on each side would change the shape.
    int w = 20, h = 10;
    RECT frame = {0, 0, w * GetDeviceCaps(screen, HORZSIZE) * 100 / GetDeviceCaps(screen, HORZRES),
                  h * GetDeviceCaps(screen, VERTSIZE) * 100 / GetDeviceCaps(screen, VERTRES)};
    ReleaseDC(NULL, screen);
    HDC dc = CreateEnhMetaFileA(NULL, path.c_str(), &frame, NULL);
    fill_red(dc, 1000, 1000);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));

    RunningApp app;
    ASSERT_TRUE(start_app("wide.emf", dir, app));
    PreviewShot before = preview_shot(app, "preview_regress_emf_loaded");
    ASSERT_EQ(before.at(before.width / 2, before.height / 2), RED);
    RECT client;
    GetClientRect(app.main, &client);
    SendMessageA(app.main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    InvalidateRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), NULL, TRUE);
    PreviewShot after = preview_shot(app, "preview_regress_emf_resized");
    RECT a = colour_extent(before, RED), b = colour_extent(after, RED);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.bottom, b.bottom);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
}

// Every entry of the image window's accelerator table, and the hand cursor.
TEST(WindowRegress, ProgramCarriesHandCursorAndAccelerators)
{
    const char* exe = std::getenv("CORVANE_EXE");
    ASSERT_NE(exe, nullptr);
    HMODULE module = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, "HAND", MAKEINTRESOURCEA(12)), nullptr);  // RT_GROUP_CURSOR
    HACCEL accel = LoadAcceleratorsA(module, "ACCELERATOR1");
    ASSERT_NE(accel, nullptr);
    ACCEL entries[32];
    int n = CopyAcceleratorTableA(accel, entries, 32);
    std::vector<std::pair<char, int>> got;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FCONTROL | FSHIFT | FALT), FVIRTKEY | FCONTROL);
        got.push_back({(char)entries[i].key, entries[i].cmd});
    }
    std::vector<std::pair<char, int>> expected = {
        {'B', 170}, {'C', 218}, {'D', 171}, {'E', 259}, {'F', 105}, {'I', 110},
        {'L', 116}, {'M', 214}, {'N', 115}, {'S', 114}, {'T', 107}, {'X', 102},
    };
    EXPECT_EQ(got, expected);
    DestroyAcceleratorTable(accel);
    FreeLibrary(module);
}

}  // namespace
