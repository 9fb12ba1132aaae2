// Undo Last Operation from the main menu: the preview goes back one edit at
// a time; after the file changed on disk Undo is refused with a message and
// the picture stays as it is.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// Colour of the wide picture's top-left quadrant in the preview.
DWORD top_left_colour(const RunningApp& app, const char* shot)
{
    return preview_pixel(app, shot, 0.25, 0.35);
}

TEST(MenuUndo, StepsBackOneEditAtATime)
{
    std::string dir = e2e_work_dir("undo");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    ASSERT_EQ(top_left_colour(app, "undo_start"), 0xFF0000u);

    send_main_command(app, IDM_MAIN_FLIP_TB);
    send_main_command(app, IDM_MAIN_INVERT);
    ASSERT_EQ(top_left_colour(app, "undo_edited"), 0xFFFF00u) << "blue flipped up, then inverted";
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(top_left_colour(app, "undo_once"), 0x0000FFu);
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(top_left_colour(app, "undo_twice"), 0xFF0000u);

    // Saved over meanwhile: the edits would be replayed onto an edited file.
    send_main_command(app, IDM_MAIN_FLIP_TB);
    std::string path = dir + "\\quadrants.bmp";
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME later;
    SYSTEMTIME now;
    GetSystemTime(&now);
    now.wYear += 1;
    SystemTimeToFileTime(&now, &later);
    SetFileTime(file, NULL, NULL, &later);
    CloseHandle(file);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
    EXPECT_NE(dismiss_message_box(app, 5000).find("cannot be undone"), std::string::npos);
    Sleep(300);
    EXPECT_EQ(top_left_colour(app, "undo_refused"), 0x0000FFu);
}

}  // namespace
