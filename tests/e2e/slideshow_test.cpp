// Stepping through a folder: the slideshow covers the screen and moves on
// through the list in order, wrapping at the end, until a key ends it;
// Next File and Last File of the image window step both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;

// slide_a/b/c.bmp: 60 x 40 of one colour each, 7254 bytes.
void start_in_slide_folder(const char* sub, const char* first, RunningApp& app)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "BackgroundColor", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "HideStatusBar", "0", ini.c_str());
    std::string dir = e2e_work_dir(sub);
    for (const char* name : {"slide_a.bmp", "slide_b.bmp", "slide_c.bmp"})
        ASSERT_TRUE(copy_fixture(name, dir));
    ASSERT_TRUE(start_app(first, dir, app));
    Sleep(500);
}

HWND name_field(const RunningApp& app)
{
    return GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
}

// The colour in the middle of the window's image area, where a small
// centred picture always is.
DWORD middle_colour(HWND hwnd, const char* shot)
{
    return shoot_image_area(hwnd, shot).middle();
}

TEST(Slideshow, StepsThroughTheListInOrderWrappingUntilAKeyEndsIt)
{
    RunningApp app;
    start_in_slide_folder("slideshow", "slide_c.bmp", app);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
    ASSERT_NE(slide, nullptr);
    Sleep(500);
    RECT r;
    GetWindowRect(slide, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(middle_colour(slide, "slide_first"), BLUE) << "the current file first";

    HWND caption = FindWindowExA(slide, NULL, "TextTitle", NULL);
    ASSERT_NE(caption, nullptr) << "the file name over the picture";
    RECT c;
    GetWindowRect(caption, &c);
    EXPECT_EQ(c.top, 0);
    EXPECT_NEAR((c.left + c.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);

    struct {
        const char* name;
        DWORD colour;
    } const steps[] = {{"slide_a.bmp", RED}, {"slide_b.bmp", GREEN}};
    for (const auto& step : steps) {
        ASSERT_EQ(wait_for_window_text(name_field(app), step.name, 8000), step.name) << "comes next";
        Sleep(400);
        EXPECT_EQ(middle_colour(slide, step.name), step.colour) << step.name;
    }

    PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(wait_until_closed(slide, 5000)) << "a key ends the show";
    EXPECT_EQ(window_text(name_field(app)), "slide_b.bmp");
}

TEST(Slideshow, NextAndLastFileOfTheImageWindowStepBothWays)
{
    RunningApp app;
    start_in_slide_folder("slide_view", "slide_a.bmp", app);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    ShowWindow(view, SW_RESTORE);
    SetWindowPos(view, NULL, 20, 20, 400, 300, SWP_NOZORDER);
    Sleep(300);

    struct {
        int command;
        const char* title;
        DWORD colour;
    } const steps[] = {
        {IDM_VIEW_LAST_FILE, "slide_c.bmp     7254 bytes", BLUE},   // back from the first wraps
        {IDM_VIEW_NEXT_FILE, "slide_a.bmp     7254 bytes", RED},    // forward from the last wraps
        {IDM_VIEW_NEXT_FILE, "slide_b.bmp     7254 bytes", GREEN},
        {IDM_VIEW_LAST_FILE, "slide_a.bmp     7254 bytes", RED},
    };
    for (const auto& step : steps) {
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(step.command, 0), 0);
        EXPECT_EQ(wait_for_window_text(view, step.title), step.title);
        Sleep(400);
        EXPECT_EQ(middle_colour(view, step.title), step.colour) << step.title;
    }
}

}  // namespace
