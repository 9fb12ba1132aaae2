// A folder as a person goes through it: the slideshow covers the screen and
// moves on through the list in order, wrapping at the end, until a key ends
// it; Next File and Last File of the image window step both ways; then the
// current file is moved, copied, renamed and deleted (a cancel changes
// nothing).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;

std::vector<std::string> listed(const RunningApp& app)
{
    return list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
}

// slide_a/b/c.bmp: 60 x 40 of one colour each, 7254 bytes.
TEST(Folder, SlideshowImageWindowStepsAndFileCommands)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "BackgroundColor", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "HideStatusBar", "0", ini.c_str());
    std::string dir = e2e_work_dir("slideshow");
    std::string moved = dir + "\\moved";
    CreateDirectoryA(moved.c_str(), NULL);
    for (const char* name : {"renamed.bmp", "copy_b.bmp", "moved\\slide_c.bmp"})
        DeleteFileA((dir + "\\" + name).c_str());
    for (const char* name : {"slide_a.bmp", "slide_b.bmp", "slide_c.bmp"})
        ASSERT_TRUE(copy_fixture(name, dir));
    RunningApp app;
    ASSERT_TRUE(start_app("slide_c.bmp", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
    ASSERT_NE(slide, nullptr);
    RECT r;
    GetWindowRect(slide, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    // A small centred picture is always in the middle of the image area.
    auto middle_is = [](DWORD colour) { return [colour](const Shot& s) { return s.middle() == colour; }; };
    EXPECT_EQ(shot_when([&] { return shoot_client(slide, "slide_first"); }, middle_is(BLUE), 5000).middle(), BLUE)
        << "the current file first";

    HWND caption = FindWindowExA(slide, NULL, "TextTitle", NULL);
    ASSERT_NE(caption, nullptr) << "the file name over the picture";
    RECT c;
    GetWindowRect(caption, &c);
    EXPECT_EQ(c.top, 0);
    EXPECT_NEAR((c.left + c.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);

    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    struct {
        const char* name;
        DWORD colour;
    } const shown[] = {{"slide_a.bmp", RED}, {"slide_b.bmp", GREEN}};
    for (const auto& step : shown) {
        ASSERT_EQ(wait_for_window_text(name, step.name, 8000), step.name) << "comes next";
        EXPECT_EQ(shot_when([&] { return shoot_client(slide, step.name); }, middle_is(step.colour), 5000).middle(),
                  step.colour)
            << step.name;
    }
    PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(wait_until_closed(slide, 5000)) << "a key ends the show";
    EXPECT_EQ(window_text(name), "slide_b.bmp");

    // Next File and Last File of the image window, from slide_b.
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
        {IDM_VIEW_LAST_FILE, "slide_a.bmp     7254 bytes", RED},
        {IDM_VIEW_LAST_FILE, "slide_c.bmp     7254 bytes", BLUE},   // back from the first wraps
        {IDM_VIEW_NEXT_FILE, "slide_a.bmp     7254 bytes", RED},    // forward from the last wraps
        {IDM_VIEW_NEXT_FILE, "slide_b.bmp     7254 bytes", GREEN},
    };
    for (const auto& step : steps) {
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(step.command, 0), 0);
        EXPECT_EQ(wait_for_window_text(view, step.title), step.title);
        EXPECT_EQ(shot_when([&] { return shoot_client(view, step.title); }, middle_is(step.colour)).middle(),
                  step.colour)
            << step.title;
    }
    PostMessageA(view, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(wait_until_closed(view));

    // The file commands from slide_a: their dialog or question, the file on
    // disk afterwards, the list refilled and the next file shown.
    select_list_entry(app, 0);
    Sleep(500);
    // Cancel: nothing changes.
    EXPECT_EQ(run_dialog_command(app, app.main, IDM_MAIN_MOVE_FILE, "Move \"slide_a.bmp\" To:", "", 0, true),
              (std::vector<std::string>{"Move"}));
    EXPECT_TRUE(file_exists(dir + "\\slide_a.bmp"));
    EXPECT_EQ(window_text(name), "slide_a.bmp");

    // Rename in the same folder: the renamed entry is shown.
    EXPECT_EQ(run_dialog_command(app, app.main, IDM_MAIN_RENAME_FILE, "Rename \"slide_a.bmp\":",
                                 dir + "\\renamed.bmp", 1),
              (std::vector<std::string>{"Rename", "Move File|slide_a.bmp renamed:\n\n" + dir + "\\renamed.bmp"}));
    EXPECT_FALSE(file_exists(dir + "\\slide_a.bmp"));
    EXPECT_EQ(read_whole_file(dir + "\\renamed.bmp").size(), 7254u);
    EXPECT_EQ(listed(app), (std::vector<std::string>{"renamed.bmp", "slide_b.bmp", "slide_c.bmp"}));
    EXPECT_EQ(window_text(name), "renamed.bmp");

    // Copy: both files, the copy listed, the current file unchanged.
    select_list_entry(app, 1);
    Sleep(500);
    EXPECT_EQ(run_dialog_command(app, app.main, IDM_MAIN_COPY_FILE, "Copy \"slide_b.bmp\" To:",
                                 dir + "\\copy_b.bmp", 1),
              (std::vector<std::string>{"Copy", "Copy File|slide_b.bmp copied to:\n\n" + dir + "\\copy_b.bmp"}));
    EXPECT_EQ(read_whole_file(dir + "\\copy_b.bmp"), read_whole_file(dir + "\\slide_b.bmp"));
    EXPECT_EQ(listed(app).size(), 4u);

    // Move to another folder: gone from the list; the moved file is still
    // the one shown, named by its new full path.
    select_list_entry(app, 3);
    ASSERT_EQ(wait_for_window_text(name, "slide_c.bmp"), "slide_c.bmp");
    EXPECT_EQ(run_dialog_command(app, app.main, IDM_MAIN_MOVE_FILE, "Move \"slide_c.bmp\" To:",
                                 moved + "\\slide_c.bmp", 1),
              (std::vector<std::string>{"Move", "Move File|slide_c.bmp moved to:\n\n" + moved + "\\slide_c.bmp"}));
    EXPECT_FALSE(file_exists(dir + "\\slide_c.bmp"));
    EXPECT_TRUE(file_exists(moved + "\\slide_c.bmp"));
    EXPECT_EQ(listed(app), (std::vector<std::string>{"copy_b.bmp", "renamed.bmp", "slide_b.bmp"}));
    EXPECT_EQ(window_text(name), moved + "\\slide_c.bmp");

    // Delete after the question: the next entry is shown.
    select_list_entry(app, 0);
    ASSERT_EQ(wait_for_window_text(name, "copy_b.bmp"), "copy_b.bmp");
    EXPECT_EQ(run_dialog_command(app, app.main, IDM_MAIN_DELETE_FILE, NULL, "", 1),
              (std::vector<std::string>{"", " CONFIRM DELETE FILE |Are you sure? \n\n\nDelete File copy_b.bmp?"}));
    EXPECT_FALSE(file_exists(dir + "\\copy_b.bmp"));
    EXPECT_EQ(listed(app), (std::vector<std::string>{"renamed.bmp", "slide_b.bmp"}));
    EXPECT_EQ(window_text(name), "renamed.bmp");
}

// A file that cannot be opened (held open without sharing by another
// program) shows nothing for one period: no box stops the show.
TEST(Slideshow, FileThatCannotBeOpenedIsPassedOverWithoutABox)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "HideFileName", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "HideStatusBar", "0", ini.c_str());
    std::string dir = e2e_work_dir("slideshow_held");
    for (const char* name : {"slide_a.bmp", "slide_b.bmp", "slide_c.bmp"})
        ASSERT_TRUE(copy_fixture(name, dir));
    HANDLE held = CreateFileA((dir + "\\slide_b.bmp").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
    ASSERT_NE(slide, nullptr);
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    EXPECT_EQ(wait_for_window_text(name, "slide_b.bmp", 8000), "slide_b.bmp");
    EXPECT_EQ(dismiss_message_box(app, 1500), "") << "a box for the file held open";
    EXPECT_EQ(wait_for_window_text(name, "slide_c.bmp", 8000), "slide_c.bmp") << "the show goes on";
    PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(wait_until_closed(slide, 5000));
    CloseHandle(held);
}

// The end of a slideshow on a file of several pages or images brings back
// its page or image line beside the name, and for icons the notice that a
// double-click shows the next one.
TEST(Slideshow, EndingItRestoresThePageAndIconCaptions)
{
    const struct {
        const char* file;
        const char* set;
        const char* field;
        const char* notice;  // "": none
    } CASES[] = {
        {"multi.ico", "icon", "multi.ico     Icon 1 of 3 Icons     ",
         "Icon 1 of 3 Icons. \n\nDouble-click on image to view next Icon."},
        {"pages.tif", "e2e", "pages.tif     Page 1 of 3 Pages     ", ""},
    };
    for (const auto& c : CASES) {
        std::string dir = e2e_work_dir(std::string("slideshow_captions_") + c.set);
        ASSERT_TRUE(copy_fixture(c.file, dir, c.set)) << c.file;
        RunningApp app;
        ASSERT_TRUE(start_app(c.file, dir, app)) << c.file;
        dismiss_message_box(app, 2000);  // the icon file's notice at its first load
        ASSERT_TRUE(wait_for_main(app, 10000));
        HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
        ASSERT_EQ(wait_for_window_text(name, c.field), c.field);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
        HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
        ASSERT_NE(slide, nullptr) << c.file;
        // One step (the list's only entry again) leaves the bare name.
        ASSERT_EQ(wait_for_window_text(name, c.file, 8000), c.file);
        PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
        std::string caption;
        EXPECT_EQ(dismiss_message_box(app, 3000, &caption), c.notice) << c.file;
        if (c.notice[0])
            EXPECT_EQ(caption, "Multiple Icon Images");
        EXPECT_TRUE(wait_until_closed(slide, 5000));
        EXPECT_EQ(window_text(name), c.field);
    }
}

// The slideshow's status bar shows the comment of the slide on show, a
// blank for a file without one, not the first slide's all along.
TEST(Slideshow, StatusBarShowsTheCommentOfEachSlide)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "HideStatusBar", "0", ini.c_str());
    std::string dir = e2e_work_dir("slideshow_comments");
    for (const char* file : {"noted_a.gif", "noted_b.gif", "noted_c.gif"})
        ASSERT_TRUE(copy_fixture(file, dir));
    RunningApp app;
    ASSERT_TRUE(start_app("noted_a.gif", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
    ASSERT_NE(slide, nullptr);
    // The bar is made once the window shows.
    HWND bar = NULL;
    wait_for([&] { return (bar = FindWindowExA(slide, NULL, "msctls_statusbar32", NULL)) != NULL; }, 5000);
    ASSERT_NE(bar, nullptr) << "the slideshow's status bar";
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    const struct {
        const char* file;
        const char* comment;
    } slides[] = {
        {"noted_a.gif", "Morning walk"},
        {"noted_b.gif", " "},
        {"noted_c.gif", "Evening tide"},
        {"noted_a.gif", "Morning walk"},  // after the wrap
    };
    for (const auto& step : slides) {
        ASSERT_EQ(wait_for_window_text(name, step.file, 8000), step.file);
        wait_for([&] { return status_bar_part_text(app, bar, 1) == step.comment; }, 3000);
        EXPECT_EQ(status_bar_part_text(app, bar, 1), step.comment) << step.file;
    }
    PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(wait_until_closed(slide, 5000));
}

// The preview beside a slideshow shows the slide on show and nothing of the
// one before: a tall picture after a wide one leaves no red at the sides.
TEST(Slideshow, PreviewBesideItKeepsNothingOfTheSlideBefore)
{
    std::string dir = e2e_work_dir("slideshow_preview");
    for (const char* name : {"wide_red.bmp", "tall_blue.bmp"})
        ASSERT_TRUE(copy_fixture(name, dir));
    RunningApp app;
    ASSERT_TRUE(start_app("wide_red.bmp", dir, app));
    ASSERT_EQ(shot_when([&] { return preview_shot(app, "wide_first"); },
                        [](const Shot& s) { return s.in_square(0.1, 0.5) == RED; })
                  .in_square(0.1, 0.5),
              RED);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
    ASSERT_NE(slide, nullptr);
    // The preview in sight while the show goes on beside it.
    RECT preview;
    GetWindowRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), &preview);
    SetWindowPos(slide, NULL, preview.right + 20, 0, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    ASSERT_EQ(wait_for_window_text(name, "tall_blue.bmp", 10000), "tall_blue.bmp");
    Shot shot = shot_when([&] { return preview_shot(app, "tall_after_wide"); },
                          [](const Shot& s) { return s.in_square(0.5, 0.5) == BLUE; });
    EXPECT_EQ(shot.in_square(0.5, 0.5), BLUE);
    EXPECT_NE(shot.in_square(0.1, 0.5), RED) << "left of the tall picture";
    EXPECT_NE(shot.in_square(0.9, 0.5), RED) << "right of the tall picture";
    PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(wait_until_closed(slide, 5000));
}

// Next File and Last File from a file the list no longer holds (the type
// box filtered it away) show the list's first entry, in both directions.
TEST(ImageWindowSteps, FromAFileGoneFromTheListToTheFirstEntry)
{
    std::string dir = e2e_work_dir("step_from_gone");
    for (const char* file : {"slide_a.bmp", "slide_b.bmp", "slide_c.bmp", "noted_c.gif"})
        ASSERT_TRUE(copy_fixture(file, dir));
    RunningApp app;
    ASSERT_TRUE(start_app("noted_c.gif", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    HWND type = GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO);
    // A type picked in the type box, then Enter, as the dialog reports them.
    auto choose_type = [&](int index) {
        SendMessageA(app.main, WM_NEXTDLGCTL, (WPARAM)type, TRUE);
        SendMessageA(type, CB_SETCURSEL, (WPARAM)index, 0);
        SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_TYPE_COMBO, CBN_SELCHANGE), (LPARAM)type);
        SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_OK, BN_CLICKED), 0);
        Sleep(500);
    };
    const std::vector<std::string> bitmaps = {"slide_a.bmp", "slide_b.bmp", "slide_c.bmp"};
    for (int command : {IDM_VIEW_LAST_FILE, IDM_VIEW_NEXT_FILE}) {
        choose_type(0);  // "Image Files"
        ASSERT_TRUE(select_list_file(app, "noted_c.gif"));
        Sleep(500);
        choose_type(2);  // "bmp, dib, rle"
        ASSERT_EQ(listed(app), bitmaps);
        PostMessageA(view, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        const std::string title = "slide_a.bmp     7254 bytes";
        EXPECT_EQ(wait_for_window_text(view, title), title)
            << (command == IDM_VIEW_LAST_FILE ? "Last File" : "Next File");
    }
}

// Next File onto an icon file of several images: one notice, owned by the
// image window, naming the keys that step through them.
TEST(ImageWindowSteps, NextFileOntoAnIconFileGivesOneNotice)
{
    std::string dir = e2e_work_dir("next_icon");
    ASSERT_TRUE(copy_fixture("slide_a.bmp", dir));
    ASSERT_TRUE(copy_fixture("multi.ico", dir, "icon"));
    RunningApp app;
    ASSERT_TRUE(start_app("slide_a.bmp", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_NEXT_FILE, 0), 0);
    HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 8000);
    ASSERT_NE(box, nullptr) << "no notice";
    EXPECT_EQ(GetWindow(box, GW_OWNER), view);
    EXPECT_EQ(window_text(box), "Multiple Icon Images");
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)),
              "Icon 1 of 3 Icons. \n\nPress \"n\" to view next Icon. \nPress \"p\" to view preceding Icon.");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(wait_until_closed(box, 5000));
    EXPECT_EQ(dismiss_message_box(app, 1500), "") << "a second notice";
    const std::string title = "multi.ico     " + std::to_string(read_whole_file(dir + "\\multi.ico").size()) +
                              " bytes     Icon 1 of 3 Icons";
    EXPECT_EQ(wait_for_window_text(view, title), title);
}

}  // namespace
