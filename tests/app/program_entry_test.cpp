// The command-line file's rules: a media extension chooses the multimedia
// filter by its first three letters.
#include <gtest/gtest.h>

#include "app/file_list.h"
#include "app/program_entry.h"
#include "image/current_image.h"

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

}  // namespace
