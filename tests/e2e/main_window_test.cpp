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

    const struct {
        int id;
        const char* text;  // null: not checked
        int visible;       // -1: not checked
    } controls[] = {
        {IDC_MAIN_CENTER, "Ce&nter", -1}, {IDC_MAIN_TILE, "&Tile", -1}, {IDC_MAIN_FULL_SCREEN, "F&ull Screen", -1},
        {IDC_MAIN_EXIT, "E&xit", -1}, {IDC_MAIN_NAME_LABEL, "File Name:", -1},
        {IDC_MAIN_TYPE_LABEL, "List Files of Type:", -1}, {IDC_MAIN_DIR_LABEL, "Directories:", -1},
        {IDC_MAIN_DRIVE_LABEL, "Drives:", -1}, {IDC_MAIN_DIR_LIST, nullptr, 1}, {IDC_MAIN_DRIVE_COMBO, nullptr, 1},
        {IDC_MAIN_PREVIEW, nullptr, 1}, {IDC_MAIN_READ_ONLY, nullptr, 0}, {IDC_MAIN_OK, nullptr, 0},
    };
    for (const auto& c : controls) {
        HWND control = GetDlgItem(app.main, c.id);
        if (c.text) {
            EXPECT_EQ(window_text(control), c.text);
        }
        if (c.visible >= 0) {
            EXPECT_EQ(is_visible(control), c.visible == 1) << c.id;
        }
    }

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
    FilterCase{"list.asx", "Image Files", true}));

}  // namespace
