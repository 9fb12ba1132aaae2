// The command-line file's rules: a media extension chooses the multimedia
// filter by its first three letters; a folder is no file.
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

// A folder named is no file: no entry that begins with its name is shown.
TEST(CommandLine, AFolderIsNoFile)
{
    const std::string folder = test_out_path("named_folder");
    CreateDirectoryA(folder.c_str(), NULL);
    take_command_line_file(folder.c_str());
    EXPECT_STREQ(g_findData.cFileName, "");
    EXPECT_STREQ(g_namedFilePath, "");
}

}  // namespace
