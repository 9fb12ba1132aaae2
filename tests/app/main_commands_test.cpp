// Main menu commands: navigation arithmetic, the Convert/Save ids, the
// colour-conversion keep tests and the settings the commands write at once.
#include <gtest/gtest.h>

#include <string>

#include "app/main_commands.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"

namespace {

TEST(StepFile, WrapsAroundTheList)
{
    // Last File on the first entry shows the last; Next File on the last
    // shows the first.
    EXPECT_EQ(step_file_index(5, 0, 0, 0, 0), 4);
    EXPECT_EQ(step_file_index(5, 4, 4, 0, 1), 0);
    EXPECT_EQ(step_file_index(5, 2, 2, 0, 1), 3);
    EXPECT_EQ(step_file_index(5, 2, 2, 0, 0), 1);
    EXPECT_EQ(step_file_index(0, -1, -1, 0, 1), -1);
}

TEST(StepFile, NameNotListedStartsAtTheEnds)
{
    EXPECT_EQ(step_file_index(5, -1, 3, 0, 0), 4) << "Last File: the last entry";
    EXPECT_EQ(step_file_index(5, -1, 3, 0, 1), 0) << "Next File: the first entry";
}

TEST(StepFile, PastedImageStepsOntoTheSelectionItself)
{
    EXPECT_EQ(step_file_index(5, -1, 2, 1, 0), 2);
    EXPECT_EQ(step_file_index(5, -1, 2, 1, 1), 2);
    EXPECT_EQ(step_file_index(5, -1, 4, 1, 0), 4);
    EXPECT_EQ(step_file_index(5, -1, 0, 1, 1), 0);
    // Nothing selected: the last (Last File) or the first (Next File).
    EXPECT_EQ(step_file_index(5, -1, -1, 1, 0), 4);
    EXPECT_EQ(step_file_index(5, -1, -1, 1, 1), 0);
}

struct SaveRow {
    int id, code, opt1, opt2;
    bool question;
};

TEST(SaveCommands, IdsGiveTheirCodesAndOptions)
{
    const SaveRow rows[] = {
        {2078, 10, 0, 0, false}, {2079, 11, 0, 0, false}, {2080, 12, 0, 0, false},
        {2081, 12, 1, 0, false}, {2083, 18, 1, 0, false}, {2087, 19, 1, 1, false},
        {2086, 19, 0, 1, false}, {2088, 45, 0, 0, false}, {2090, 13, 1, 0, false},
        {2091, 13, 0, 1, true},  {2092, 14, 0, 0, true},  {2093, 14, 1, 0, true},
        {2094, 14, 0, 1, true},  {2095, 21, 0, 0, false}, {2096, 46, 0, 0, false},
        {2099, 25, 1, 0, false}, {2101, 26, 1, 0, false}, {2103, 27, 1, 0, false},
        {2114, 27, 7, 1, false}, {2115, 27, 32773, 0, false}, {2117, 27, 8, 0, false},
        {2120, 27, 34661, 1, false}, {2122, 27, 34925, 1, false}, {2123, 3, 0, 0, false},
        {2124, 1, 0, 0, false},
    };
    for (const SaveRow& row : rows) {
        const SaveCommand* command = find_save_command(row.id);
        ASSERT_NE(command, nullptr) << row.id;
        EXPECT_EQ(command->code, row.code) << row.id;
        EXPECT_EQ(command->opt1, row.opt1) << row.id;
        EXPECT_EQ(command->opt2, row.opt2) << row.id;
        EXPECT_EQ(command->question != nullptr, row.question) << row.id;
    }
    EXPECT_STREQ(find_save_command(2092)->question,
                 "Convert image to 12-bit lossy JPEG? \n\nCaution: Many applications do not suport this format.");
    EXPECT_EQ(find_save_command(2102), nullptr) << "the TIFF caption";
    EXPECT_EQ(find_save_command(2077), nullptr);
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
    // 128 best on an 8-bit image of 100 colours or a 4-bit image keeps it.
    EXPECT_TRUE(conversion_keeps_image(IDM_MAIN_BEST_128, 8, 100, 0));
    EXPECT_TRUE(conversion_keeps_image(IDM_MAIN_BEST_128, 4, 16, 0));
    EXPECT_FALSE(conversion_keeps_image(IDM_MAIN_BEST_128, 8, 200, 0));
    EXPECT_FALSE(conversion_keeps_image(IDM_MAIN_BEST_128, 24, 0, 0));
    // 2 best on a 4-bit image reduces.
    EXPECT_FALSE(conversion_keeps_image(IDM_MAIN_BEST_2, 4, 16, 0));
    EXPECT_TRUE(conversion_keeps_image(IDM_MAIN_BEST_2, 1, 2, 0));
    EXPECT_TRUE(conversion_keeps_image(IDM_MAIN_BEST_256, 8, 256, 0));
    EXPECT_TRUE(conversion_keeps_image(IDM_MAIN_TRUE_COLOR, 24, 0, 0));
    EXPECT_TRUE(conversion_keeps_image(IDM_MAIN_STANDARD_16, 1, 2, 1));
    EXPECT_FALSE(conversion_keeps_image(IDM_MAIN_STANDARD_16, 24, 0, 0));
}

TEST(MenuDispatch, CaptionItemsAndForeignIdsGoToTheDialog)
{
    SeamRecorder seams(32);
    for (int id : {IDM_MAIN_JPEG_HEADING, IDM_MAIN_BLANK_HEADING, IDM_MAIN_SCREEN_HEADING,
                   IDM_MAIN_SCREEN_HEADING2, IDM_MAIN_TONING_HEADING, IDM_MAIN_TIFF_HEADING, 2142, 2155, 1010, 2164})
        EXPECT_FALSE(main_on_menu_command(NULL, id)) << id;
    // Commands whose workers are not there yet are taken and do nothing.
    for (int id : {IDM_MAIN_PRINT_NORMAL, IDM_MAIN_ABOUT, IDM_MAIN_SLIDESHOW, IDM_MAIN_UNDO})
        EXPECT_TRUE(main_on_menu_command(NULL, id)) << id;
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(MenuDispatch, DisplayOptionsToggleAndWriteTheirSettingsAtOnce)
{
    SeamRecorder seams(32);
    std::string ini = seams.use_settings_file("commands_settings.ini");
    DeleteFileA(ini.c_str());
    int old_hide = g_hideFileName;
    g_hideFileName = 0;
    ASSERT_TRUE(main_on_menu_command(NULL, IDM_MAIN_HIDE_FILE_NAME));
    EXPECT_EQ(g_hideFileName, 1);
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()), 1);
    ASSERT_TRUE(main_on_menu_command(NULL, IDM_MAIN_HIDE_FILE_NAME));
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "HideFileName", -1, ini.c_str()), 0);
    g_hideFileName = old_hide;

    int old_alpha = g_disableAlpha;
    int old_kind = g_imageKind;
    g_imageKind = KIND_NONE;
    g_disableAlpha = 0;
    ASSERT_TRUE(main_on_menu_command(NULL, IDM_MAIN_DISABLE_ALPHA));
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "DisableAlphaTransparency", -1, ini.c_str()), 1);
    g_disableAlpha = old_alpha;
    g_imageKind = old_kind;
}

TEST(MenuDispatch, BackgroundSwatchIsKeptAsAPlainChoice)
{
    SeamRecorder seams(32);
    std::string ini = seams.use_settings_file("background_settings.ini");
    DeleteFileA(ini.c_str());
    int old_index = g_backgroundColorIndex;
    HBRUSH old_brush = g_hBackgroundBrush;
    int old_kind = g_imageKind;
    g_imageKind = KIND_NONE;
    g_backgroundColorIndex = 0;

    ASSERT_TRUE(main_on_menu_command(NULL, IDM_MAIN_BACKGROUND_FIRST + 3));
    EXPECT_EQ(g_backgroundColorIndex, 3);
    EXPECT_EQ(g_hBackgroundBrush, g_hBackgroundBrushes[3]);
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "BackgroundColor", -1, ini.c_str()), 3);
    // Not the custom colour at the next start.
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "SelectBackgroundColor", -1, ini.c_str()), 0);

    // The colour already chosen writes nothing.
    DeleteFileA(ini.c_str());
    ASSERT_TRUE(main_on_menu_command(NULL, IDM_MAIN_BACKGROUND_FIRST + 3));
    EXPECT_EQ(GetPrivateProfileIntA("Corvane", "BackgroundColor", -1, ini.c_str()), -1);

    g_backgroundColorIndex = old_index;
    g_hBackgroundBrush = old_brush;
    g_imageKind = old_kind;
}

TEST(MenuDispatch, HelpItemsOpenTheirContexts)
{
    SeamRecorder seams(32);
    const struct {
        int id;
        UINT command;
        ULONG_PTR data;
    } rows[] = {{IDM_MAIN_HELP_LIBRARY, HELP_FINDER, 0}, {IDM_MAIN_HELP_STARTED, HELP_CONTEXT, 102},
                {IDM_MAIN_HELP_MULTIMEDIA, HELP_CONTEXT, 106}, {IDM_MAIN_HELP_CAPTURE, HELP_CONTEXT, 107},
                {IDM_MAIN_HELP_COMMENTS, HELP_CONTEXT, 108}};
    for (const auto& row : rows)
        ASSERT_TRUE(main_on_menu_command(NULL, row.id));
    ASSERT_EQ(seams.help_calls.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(seams.help_calls[i].file, "RODadi.zoz");
        EXPECT_EQ(seams.help_calls[i].command, rows[i].command);
        EXPECT_EQ(seams.help_calls[i].data, rows[i].data);
    }
}

}  // namespace
