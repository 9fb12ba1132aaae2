// The loader's road for JPEG 2000 files: the colour-managed decoder first,
// a beep and the plain decoder after it fails, "relax.jp2" to the plain one
// at once, and code 47 when both fail.
#include <gtest/gtest.h>

#include <string>

#include "image/current_image.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

struct Jpeg2000Case {
    const char* name;
    std::string bytes;
    size_t beeps;
    const char* info_start;  // the text of the decoder that read it
    int format;
};

}  // namespace

TEST(LoaderJpeg2000, DecodersTriedInTheirOrderWithTheBeepBetween)
{
    std::string folder = test_out_path("loader_jpeg2000/");
    CreateDirectoryA(folder.c_str(), NULL);
    std::string jp2 = read_file_bytes(fixture_path("jpeg2000/rgb.jp2"));
    Jpeg2000Case cases[] = {
        {"boxed.jp2", jp2, 0, "image type: JPEG 2000 (JP2)\nwidth: 61 \nheight: 37\ndepth: 8", FMT_JP2},
        {"RELAX.JP2", jp2, 0, "image type: JPEG 2000 (JP2)\nwidth: 61 \nheight: 37 \nnumber", FMT_JP2},
        {"broken.j2k", read_file_bytes(fixture_path("jpeg2000/rgb.j2k")).substr(0, 60), 1, "image type: JPEG 2000 (J2K)", FMT_NONE},
    };
    char saved_dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved_dir, saved_dir);
    SetCurrentDirectoryA(folder.c_str());
    HWND main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
    HWND list = CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
    CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 200, 200, main, (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
    for (const Jpeg2000Case& c : cases) {
        SCOPED_TRACE(c.name);
        SeamRecorder seams(24);
        write_file_bytes(folder + c.name, c.bytes);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)c.name);
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        RECT preview = {0, 0, 200, 200};
        load_selected_file(main, preview);
        EXPECT_EQ(c.beeps, seams.beeps.size());
        EXPECT_EQ(0, strncmp(g_infoText, c.info_start, strlen(c.info_start))) << g_infoText;
        EXPECT_EQ(c.format, g_fileFormat);
        EXPECT_EQ(c.format != FMT_NONE, g_hImage != NULL);
        release_image_for_new_selection(main);
        release_current_image();
    }
    DestroyWindow(main);
    SetCurrentDirectoryA(saved_dir);
}
