// The command-line file's rules: a media extension chooses the multimedia
// filter by its first three letters; the file is taken in full, by the name
// its folder gives it, and a folder is no file.
#include <gtest/gtest.h>

#include "app/file_list.h"
#include "app/program_entry.h"
#include "image/current_image.h"
#include "tests/support/test_support.h"

namespace {

TEST(CommandLine, MediaExtensionsChooseMultimediaByTheirFirstThreeLetters)
{
    EXPECT_EQ(take_command_line_file("clip.MPEG"), FILTER_MULTIMEDIA);
    EXPECT_STREQ(g_fileExt, "MPE");
    EXPECT_EQ(take_command_line_file("song.midi"), FILTER_MULTIMEDIA);
    EXPECT_EQ(take_command_line_file("a.b.wav"), FILTER_MULTIMEDIA);
    EXPECT_EQ(take_command_line_file("photo.jpg"), FILTER_IMAGE_FILES);
    EXPECT_EQ(take_command_line_file("noextension"), FILTER_IMAGE_FILES);
    EXPECT_STREQ(g_fileExt, "");
}

TEST(CommandLine, TakesTheFoundFileInFullAndNoFolder)
{
    const std::string folder = test_out_path("named_file");
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(write_file_bytes(folder + "\\Long Named.bmp", "BM"));
    char full[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(folder.c_str(), sizeof full, full, NULL), 0u);

    take_command_line_file(("\"" + folder + "\\long*.bmp\"").c_str());
    EXPECT_STREQ(g_findData.cFileName, "Long Named.bmp");
    EXPECT_EQ(std::string(g_namedFilePath), std::string(full) + "\\Long Named.bmp");

    take_command_line_file(folder.c_str());
    EXPECT_STREQ(g_findData.cFileName, "") << "a folder is named";
    EXPECT_STREQ(g_namedFilePath, "");
}

}  // namespace
