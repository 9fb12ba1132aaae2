// A lossless turn of a camera JPEG from the main menu, as a person does it:
// the command, the Save dialog over the same name, and the preview showing
// the turned picture. check_jpeg_transform.sh compares the file with
// libjpeg-turbo's jpegtran -rotate 90 -trim.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(JpegTransform, RotateClockwiseFromTheMenuTurnsTheFileAndThePreview)
{
    std::string dir = e2e_work_dir("jpeg_rotate");
    ASSERT_TRUE(copy_fixture("camera.jpg", dir));
    std::string path = dir + "\\camera.jpg";
    std::string before = read_whole_file(path);

    RunningApp app;
    ASSERT_TRUE(start_app("camera.jpg", dir, app));
    // Sent again until the picture has loaded and the Save dialog shows.
    HWND save = NULL;
    for (int tries = 0; !save && tries < 6; ++tries) {
        Sleep(500);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_JPEG_ROTATE_CW, 0), 0);
        save = find_process_window(app.process.dwProcessId, "#32770", app.main, 3000);
    }
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(window_text(save), "Save As JPEG");
    SendMessageA(GetDlgItem(save, 1152), WM_SETTEXT, 0, (LPARAM)path.c_str());
    PostMessageA(save, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(save, IDOK));
    // Replacing the file is confirmed.
    DWORD start = GetTickCount();
    while (read_whole_file(path) == before && GetTickCount() - start < 15000) {
        HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 200);
        if (box && box != save)
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)GetDlgItem(box, IDYES));
    }
    ASSERT_NE(read_whole_file(path), before);
    Sleep(1000);

    // The picture turned: 32 x 80 after trimming, fitting the preview's
    // height; its left part is what was the bottom-left quadrant.
    PreviewShot shot = preview_shot(app, "jpeg_rotate_cw");
    ASSERT_GT(shot.width, 40);
    int side = shot.width - 6;
    int x = 3 + (int)((0.3 + 0.4 * 0.25) * side);
    EXPECT_TRUE(colours_close(shot.at(x, 3 + side / 4), 0x0000FF, 40)) << std::hex << shot.at(x, 3 + side / 4);
    EXPECT_TRUE(colours_close(shot.at(x, 3 + side * 3 / 4), 0xFFFF00, 40)) << std::hex << shot.at(x, 3 + side * 3 / 4);

    EXPECT_EQ(exit_by_button(app), 1);
}

// The check script reads the new Exif segment with exiftool and compares
// the pixels with the file as it was.
TEST(JpegTransform, MakeExifCompliantRewritesTheCurrentFile)
{
    std::string dir = e2e_work_dir("jpeg_exif");
    ASSERT_TRUE(copy_fixture("quadrants.jpg", dir));
    std::string path = dir + "\\quadrants.jpg";

    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.jpg", dir, app));
    // A command that comes before the picture has loaded does nothing: it
    // is sent again until the file has its segment.
    auto has_exif = [&] { return read_whole_file(path).find("Exif") != std::string::npos; };
    for (int tries = 0; !has_exif() && tries < 6; ++tries) {
        Sleep(500);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_JPEG_EXIF, 0), 0);
        DWORD start = GetTickCount();
        while (!has_exif() && GetTickCount() - start < 3000)
            Sleep(100);
    }
    EXPECT_TRUE(has_exif());

    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
