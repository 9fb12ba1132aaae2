// Main menu commands: navigation arithmetic, the Convert/Save ids, the
// colour-conversion keep tests, the settings the commands write at once and
// the caption of Make Exif Compliant's refusal.
#include <gtest/gtest.h>

#include <string>

#include "app/main_commands.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "support/dib_block.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

// Last File and Next File wrap around the list; a name not in the list
// starts at the ends; a pasted image steps onto the selection itself.
TEST(StepFile, WrapsAndStartsWhereThePersonExpects)
{
    const struct { int count, index, selection, pasted, forward, want; } cases[] = {
        {5, 0, 0, 0, 0, 4}, {5, 4, 4, 0, 1, 0}, {5, 2, 2, 0, 1, 3}, {5, 2, 2, 0, 0, 1}, {0, -1, -1, 0, 1, -1},
        {5, -1, 3, 0, 0, 4}, {5, -1, 3, 0, 1, 0},
        {5, -1, 2, 1, 0, 2}, {5, -1, 2, 1, 1, 2}, {5, -1, -1, 1, 0, 4}, {5, -1, -1, 1, 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(step_file_index(c.count, c.index, c.selection, c.pasted, c.forward), c.want)
            << c.count << " " << c.index << " " << c.selection << " " << c.pasted << " " << c.forward;
}

TEST(SaveCommands, PnmFamilyCodeByImage)
{
    EXPECT_EQ(pnm_family_code(1, 0, 1, 1, 0), FMT_PBM);
    EXPECT_EQ(pnm_family_code(0, 0, 24, 32, 0), FMT_PNM) << "original 32 bits";
    EXPECT_EQ(pnm_family_code(0, 1, 32, 8, 0), FMT_PNM) << "unconverted 32 bits";
    EXPECT_EQ(pnm_family_code(0, 0, 8, 8, 1), FMT_PGM);
    EXPECT_EQ(pnm_family_code(0, 0, 24, 24, 0), FMT_PPM);
}

TEST(ColorConversion, KeepTestsPutTheFullColourImageBack)
{
    const struct {
        int id, bits, colors, black_white;
        bool keeps;
    } rows[] = {
        {IDM_MAIN_BEST_128, 8, 100, 0, true},  {IDM_MAIN_BEST_128, 4, 16, 0, true},
        {IDM_MAIN_BEST_128, 8, 200, 0, false}, {IDM_MAIN_BEST_128, 24, 0, 0, false},
        {IDM_MAIN_BEST_2, 4, 16, 0, false},    {IDM_MAIN_BEST_2, 1, 2, 0, true},
        {IDM_MAIN_TRUE_COLOR, 24, 0, 0, true}, {IDM_MAIN_STANDARD_16, 1, 2, 1, true},
        {IDM_MAIN_STANDARD_16, 24, 0, 0, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(conversion_keeps_image(r.id, r.bits, r.colors, r.black_white) != 0, r.keeps)
            << r.id << " " << r.bits << " " << r.colors;
}

// Hide File Name's setting is checked by the end-to-end menu test.
TEST(MenuDispatch, DisableAlphaTogglesAndWritesItsSettingAtOnce)
{
    SeamRecorder seams(32);
    std::string ini = seams.use_settings_file("commands_settings.ini");
    DeleteFileA(ini.c_str());
    int old_alpha = g_disableAlpha;
    int old_kind = g_imageKind;
    g_imageKind = KIND_NONE;
    g_disableAlpha = 0;
    ASSERT_TRUE(main_on_menu_command(NULL, IDM_MAIN_DISABLE_ALPHA));
    EXPECT_EQ(g_disableAlpha, 1);
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "DisableAlphaTransparency", -1, ini.c_str()), 1);
    g_disableAlpha = old_alpha;
    g_imageKind = old_kind;
}

// Make Exif Compliant on a file held open elsewhere cannot put the new file
// in place: asked from the image window the box is captioned with the
// temporary file's name, from the main window it has no caption.
TEST(MenuDispatch, MakeExifRefusalCaptionFollowsTheAskingWindow)
{
    const std::string path = test_out_path("exif_held.jpg");
    ASSERT_TRUE(write_file_bytes(path, read_file_bytes(fixture_path("jpeg/baseline.jpg"))));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HWND view = CreateWindowA("STATIC", "view", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(view, nullptr);
    reset_current_image();
    g_hwndView = view;
    lstrcpynA(g_fileName, path.c_str(), sizeof g_fileName);
    lstrcpynA(g_filePath, path.c_str(), sizeof g_filePath);
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_JPEG;
    g_hImage = make_dib(8, 8, 24);
    for (HWND asking : {view, (HWND)NULL}) {
        SeamRecorder seams(32);
        // The image window's commands come through the main window's dispatch.
        if (asking)
            main_command_owned_by(asking, IDM_MAIN_JPEG_EXIF);
        else
            main_on_menu_command(g_hwndMain, IDM_MAIN_JPEG_EXIF);
        ASSERT_EQ(seams.boxes.size(), 1u) << (asking ? "image window" : "main window");
        EXPECT_EQ(seams.boxes[0].text, "Cannot Open File for Writing.");
        EXPECT_EQ(seams.boxes[0].owner, (HWND)NULL);
        if (asking)
            EXPECT_NE(seams.boxes[0].caption.find("sqt"), std::string::npos) << seams.boxes[0].caption;
        else
            EXPECT_EQ(seams.boxes[0].caption, "(null)");
    }
    CloseHandle(held);
    g_hwndView = NULL;
    DestroyWindow(view);
    reset_current_image();
    DeleteFileA(path.c_str());
}

}  // namespace
