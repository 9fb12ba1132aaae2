// Browsing a folder as a person does: the file named on the command line
// shows with its information and status line, another selection replaces
// it, the window keeps its minimum size and nothing is written at exit.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

std::string file_info(const RunningApp& app, std::string* caption)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(2003, 0), 0);  // File Info
    return dismiss_message_box(app, 5000, caption);
}

int list_index(const RunningApp& app, const char* name)
{
    std::vector<std::string> items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    for (size_t i = 0; i < items.size(); ++i)
        if (lstrcmpiA(items[i].c_str(), name) == 0)
            return (int)i;
    return -1;
}

TEST(Browse, InformationStatusLineAndAnotherSelection)
{
    std::string dir = e2e_work_dir("browse with blank");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("commented.gif", dir));
    std::string before = read_whole_file(settings_file_path());

    RunningApp app;
    ASSERT_TRUE(start_app("\"" + dir + "\\quadrants.bmp\"", dir, app));

    std::string caption;
    std::string info = file_info(app, &caption);
    EXPECT_EQ(caption, "quadrants.bmp");
    EXPECT_EQ(info.rfind("image type: Windows DIB", 0), 0u) << info;
    EXPECT_NE(info.find("width: 80"), std::string::npos) << info;
    EXPECT_NE(info.find("height: 40"), std::string::npos) << info;

    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status_bar_part_text(app, status, 1), " ") << "no comment shows as one blank";

    // Another file selected in the list replaces image, text and status.
    int gif = list_index(app, "commented.gif");
    ASSERT_GE(gif, 0);
    select_list_entry(app, gif);
    info = file_info(app, &caption);
    EXPECT_EQ(caption, "commented.gif");
    EXPECT_EQ(info.rfind("image type: GIF", 0), 0u) << info;
    EXPECT_EQ(status_bar_part_text(app, status, 1), "Sunny day");
    save_screenshot(app.main, "browse_commented_gif");

    // A drag to a tiny size is held at the minimum size.
    RECT dragged;
    GetWindowRect(app.main, &dragged);
    dragged.right = dragged.left + 20;
    dragged.bottom = dragged.top + 20;
    SendMessageA(app.main, WM_SIZING, WMSZ_BOTTOMRIGHT, (LPARAM)&dragged);
    EXPECT_GT(dragged.right - dragged.left, 200);
    EXPECT_GT(dragged.bottom - dragged.top, 200);

    EXPECT_EQ(exit_by_button(app), 1);
    EXPECT_EQ(read_whole_file(settings_file_path()), before) << "nothing is written at start or exit";
}

}  // namespace
