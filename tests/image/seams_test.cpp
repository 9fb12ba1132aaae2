// The seams forward to the real calls unless redirected, and the recorder
// used by every test folder captures and answers them.
#include <gtest/gtest.h>

#include "image/seams.h"
#include "support/seam_recorder.h"

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
