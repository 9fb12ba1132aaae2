// F9 in the image window on a camera JPEG: the HUFFMAN dialog refuses an
// orientation outside 1 to 8 and writes a valid one into the file (the
// check script reads it back with exiftool and compares the pixels).
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(HuffmanDialog, RefusesNineAndWritesEight)
{
    std::string dir = e2e_work_dir("huffman");
    ASSERT_TRUE(copy_fixture("camera.jpg", dir));
    std::string path = dir + "\\camera.jpg";
    std::string before = read_whole_file(path);
    RunningApp app;
    ASSERT_TRUE(start_app("camera.jpg", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_CENTER, BN_CLICKED),
                 (LPARAM)GetDlgItem(app.main, IDC_MAIN_CENTER));
    HWND view = find_process_window(app.process.dwProcessId, "Meta", NULL, 15000);
    ASSERT_TRUE(view);
    Sleep(500);

    PostMessageA(view, WM_KEYDOWN, VK_F9, 0);
    HWND dialog = wait_dialog(app, "Corvane File Viewer", 10000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_HUFFMAN_ORIENTATION)), "1");
    SetDlgItemTextA(dialog, IDC_HUFFMAN_ORIENTATION, "3*3");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    HWND box = wait_dialog(app, "Orientation of Image", 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box), "Error: Orientation must have a value between 1 and 8");
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    ASSERT_TRUE(wait_hidden(box));
    EXPECT_EQ(read_whole_file(path), before) << "nothing written for 9";

    SetDlgItemTextA(dialog, IDC_HUFFMAN_ORIENTATION, "8");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_TRUE(wait_hidden(dialog));
    DWORD start = GetTickCount();
    while (read_whole_file(path) == before && GetTickCount() - start < 5000)
        Sleep(100);
    EXPECT_NE(read_whole_file(path), before);
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
