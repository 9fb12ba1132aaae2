// The seams forward to the real calls unless redirected, and the recorder
// used by every test folder captures and answers them.
#include <gtest/gtest.h>

#include "image/seams.h"
#include "support/seam_recorder.h"

TEST(Seams, SettingsFileIsNamedWithoutAFolderByDefault)
{
    seam_reset();
    EXPECT_STREQ("Corvane.ini", seam_settings_file());
    {
        SeamRecorder seams;
        std::string path = seams.use_settings_file("seams.ini");
        EXPECT_EQ(path, seam_settings_file());
        WritePrivateProfileStringA("Corvane", "Key", "7", seam_settings_file());
        EXPECT_EQ(7u, GetPrivateProfileIntA("Corvane", "Key", 0, path.c_str()));
    }
    EXPECT_STREQ("Corvane.ini", seam_settings_file());
}

TEST(Seams, RecorderCapturesBoxesAndAnswersFromTheScript)
{
    SeamRecorder seams;
    seams.answers = {IDNO, IDCANCEL};
    EXPECT_EQ(IDNO, seam_message_box(NULL, "Question?", "Corvane File Viewer", MB_YESNOCANCEL));
    EXPECT_EQ(IDCANCEL, seam_message_box(NULL, "Again?", NULL, MB_YESNOCANCEL));
    EXPECT_EQ(IDOK, seam_message_box(NULL, "Error Opening File", NULL, MB_ICONSTOP));
    ASSERT_EQ(3u, seams.boxes.size());
    EXPECT_EQ("Question?", seams.boxes[0].text);
    EXPECT_EQ("Corvane File Viewer", seams.boxes[0].caption);
    EXPECT_EQ("(null)", seams.boxes[1].caption);
    EXPECT_EQ((UINT)MB_ICONSTOP, seams.boxes[2].type);
    seam_beep((UINT)-1);
    EXPECT_EQ(1u, seams.beeps.size());
    EXPECT_TRUE(seam_win_help(NULL, "RODadi.zoz", HELP_CONTEXT, 12));
    ASSERT_EQ(1u, seams.help_calls.size());
    EXPECT_EQ(12u, seams.help_calls[0].data);
    EXPECT_EQ(NULL, seam_create_media_window(NULL, NULL, 0, "clip.wav"));
    EXPECT_EQ("clip.wav", seams.media_files.at(0));
}

TEST(Seams, DisplayDepthCanBeFixedAndComesBack)
{
    int real = seam_display_bits();
    EXPECT_GT(real, 0);
    {
        SeamRecorder seams(4);
        EXPECT_EQ(4, seam_display_bits());
        seams.set_display_bits(8);
        EXPECT_EQ(8, seam_display_bits());
    }
    EXPECT_EQ(real, seam_display_bits());
}
