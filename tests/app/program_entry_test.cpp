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

}  // namespace
