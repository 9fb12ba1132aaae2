// The main window as a person sees it: the classic Open dialog with the
// program's title and controls, the command-line file and the Exit button.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

void touch(const std::string& path)
{
    ASSERT_TRUE(write_whole_file(path, "x")) << path;
}

bool contains(const std::vector<std::string>& items, const std::string& wanted)
{
    for (const std::string& item : items)
        if (lstrcmpiA(item.c_str(), wanted.c_str()) == 0)
            return true;
    return false;
}

TEST(MainWindow, OpensAsClassicDialogWithTheProgramsControlsAndExitsWithCodeOne)
{
    std::string dir = e2e_work_dir("plain");
    touch(dir + "\\photo.bmp");
    touch(dir + "\\anim.gif");
    touch(dir + "\\notes.txt");

    RunningApp app;
    ASSERT_TRUE(start_app("", dir, app));
    EXPECT_EQ(window_text(app.main), "Corvane Graphics' File Viewer");

    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_CENTER)), "Ce&nter");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_TILE)), "&Tile");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_FULL_SCREEN)), "F&ull Screen");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_EXIT)), "E&xit");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_NAME_LABEL)), "File Name:");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_TYPE_LABEL)), "List Files of Type:");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_DIR_LABEL)), "Directories:");
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_DRIVE_LABEL)), "Drives:");
    EXPECT_TRUE(is_visible(GetDlgItem(app.main, IDC_MAIN_DIR_LIST)));
    EXPECT_TRUE(is_visible(GetDlgItem(app.main, IDC_MAIN_DRIVE_COMBO)));
    EXPECT_TRUE(is_visible(GetDlgItem(app.main, IDC_MAIN_PREVIEW)));
    EXPECT_FALSE(is_visible(GetDlgItem(app.main, IDC_MAIN_READ_ONLY)));
    EXPECT_FALSE(is_visible(GetDlgItem(app.main, IDC_MAIN_OK)));

    // The list shows the current folder through the "Image Files" filter.
    std::vector<std::string> files = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
    EXPECT_TRUE(contains(files, "photo.bmp"));
    EXPECT_TRUE(contains(files, "anim.gif"));
    EXPECT_FALSE(contains(files, "notes.txt"));
    EXPECT_EQ(combo_selection_text(GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO)), "Image Files");

    std::vector<DWORD> pixels;
    ASSERT_FALSE(save_screenshot(app.main, "main_window", &pixels).empty());
    // The dialog's face and its text both show.
    EXPECT_GT(std::count(pixels.begin(), pixels.end(), pixels[pixels.size() / 2]), 0);
    EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0x000000u), 0) << "no black text drawn";
    EXPECT_EQ(exit_by_button(app), 1);
}

TEST(MainWindow, QuotedCommandLineNameWithBlankInFolderPutsOwnNameInNameBox)
{
    std::string dir = e2e_work_dir("folder with blank");
    touch(dir + "\\My Picture.bmp");
    touch(dir + "\\other.bmp");

    RunningApp app;
    ASSERT_TRUE(start_app("\"" + dir + "\\My Picture.bmp\"", dir, app));
    EXPECT_EQ(window_text(GetDlgItem(app.main, IDC_MAIN_NAME_EDIT)), "My Picture.bmp");

    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    ASSERT_NE(selected, LB_ERR);
    std::vector<std::string> items = list_box_items(list);
    ASSERT_LT((size_t)selected, items.size());
    EXPECT_EQ(lstrcmpiA(items[selected].c_str(), "My Picture.bmp"), 0);

    EXPECT_EQ(exit_by_button(app), 1);
}

struct FilterCase {
    const char* file;
    const char* filter;
    bool hidden_by_filter;
};

class CommandLineFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(CommandLineFilter, ExtensionChoosesTheFileType)
{
    std::string dir = e2e_work_dir("filters");
    touch(dir + "\\" + GetParam().file);

    RunningApp app;
    ASSERT_TRUE(start_app(std::string("\"") + GetParam().file + "\"", dir, app));
    // A name the chosen filter hides is not in the list: nothing to open.
    if (GetParam().hidden_by_filter) {
        EXPECT_EQ(dismiss_message_box(app, 5000), "Error Opening File");
    }
    ASSERT_TRUE(wait_for_main(app, 10000));
    EXPECT_EQ(combo_selection_text(GetDlgItem(app.main, IDC_MAIN_TYPE_COMBO)), GetParam().filter);
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(Names, CommandLineFilter, ::testing::Values(
    FilterCase{"clip.MPEG", "Multimedia", false},
    FilterCase{"list.asx", "Image Files", true},
    FilterCase{"song.b.wav", "Multimedia", false},
    FilterCase{"noextension", "Image Files", true}));

}  // namespace
