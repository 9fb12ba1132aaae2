// The filter list's layout, the command-line file's rules and the main
// window's geometry.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "app/file_list.h"
#include "app/main_window.h"
#include "app/program_entry.h"
#include "image/current_image.h"
#include "support/test_support.h"

namespace {

TEST(FilterList, PatternsStandAtTheirOffsetsAndTheListEndsWithTwoNuls)
{
    char block[FILTER_BLOCK_SIZE] = {};
    int offsets[FILTER_COUNT] = {};
    build_filter_list(block, offsets);
    const int expected[FILTER_COUNT] = {12, 200, 295, 317, 337, 365, 381, 417, 467, 495, 505, 520, 536, 552, 568, 596};
    for (int i = 0; i < FILTER_COUNT; ++i)
        EXPECT_EQ(offsets[i], expected[i]) << "filter " << i + 1;
    EXPECT_STREQ(block, "Image Files");
    EXPECT_STREQ(block + 200, "*.asf;*.asx;*.avi;*.mid*;*.mov;*.mp3;*.mpa;*.mpe*;*.mpg;*.rmi;*.wav*;*.wma;*.wmv");
    EXPECT_STREQ(block + 596, "*.*");
    EXPECT_EQ(block[599], '\0');
    EXPECT_EQ(block[600], '\0');
    EXPECT_TRUE(std::strstr(block + 12, "*.png;*.iff;") != nullptr) << "pieces joined without separators";
}

TEST(CommandLine, MediaExtensionsChooseMultimediaByTheirFirstThreeLetters)
{
    EXPECT_EQ(take_command_line_file("clip.MPEG"), FILTER_MULTIMEDIA);
    EXPECT_STREQ(g_fileExt, "MPE");
    EXPECT_EQ(take_command_line_file("song.midi"), FILTER_MULTIMEDIA);
    EXPECT_EQ(take_command_line_file("a.b.wav"), FILTER_MULTIMEDIA);
    EXPECT_EQ(take_command_line_file("list.asx"), FILTER_IMAGE_FILES);
    EXPECT_EQ(take_command_line_file("photo.jpg"), FILTER_IMAGE_FILES);
    EXPECT_EQ(take_command_line_file("noextension"), FILTER_IMAGE_FILES);
    EXPECT_STREQ(g_fileExt, "");
}

TEST(CommandLine, QuotedNameFindsTheFileByItsOwnName)
{
    std::string path = test_out_path("with blank/My Picture.bmp");
    CreateDirectoryA(test_out_path("with blank").c_str(), NULL);
    ASSERT_TRUE(write_file_bytes(path, "BM"));
    take_command_line_file(("\"" + path + "\"").c_str());
    EXPECT_STREQ(g_findData.cFileName, "My Picture.bmp");

    take_command_line_file("\"missing file.bmp\"");
    EXPECT_STREQ(g_findData.cFileName, "");
}

TEST(MainWindowGeometry, WorkAreaGivesTheWindowsPlaceAndSize)
{
    RECT r = main_window_rect_for_work_area(1024, 738);
    EXPECT_EQ(r.right - r.left, 749);
    EXPECT_EQ(r.bottom - r.top, 590);
    EXPECT_EQ(r.left, 85);
    EXPECT_EQ(r.top, 61);

    // A low work area keeps the height floor of 440 pixels.
    r = main_window_rect_for_work_area(1024, 500);
    EXPECT_EQ(r.bottom - r.top, 440);
    EXPECT_EQ(r.top, (500 - 440) / 2);
}

TEST(MainWindowGeometry, PreviewIsNineTenthsOfTheSmallerSide)
{
    EXPECT_EQ(preview_side_for_area(500, 400), 360);
    EXPECT_EQ(preview_side_for_area(300, 900), 270);
}

}  // namespace
