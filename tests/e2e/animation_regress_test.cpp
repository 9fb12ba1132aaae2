// Faults of animated GIFs in the preview: a repaint blanked the animation,
// the comment never reached the status bar, frames were drawn beside the
// frame lines, and a broken animation kept its file open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;

TEST(AnimationRegress, RepaintShowsTheCurrentFrameAndTheCommentIsShown)
{
    std::string dir = e2e_work_dir("anim_regress_repaint");
    ASSERT_TRUE(copy_regress_fixture("slow.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("slow.gif", dir, app));
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);
    Sleep(1500);  // the window's first paint has come after the first frame
    PreviewShot first = preview_shot(app, "anim_regress_first");
    EXPECT_EQ(first.at(first.width / 2, first.height / 2), RED) << "first frame after start-up";

    InvalidateRect(preview, NULL, TRUE);
    Sleep(700);
    PreviewShot again = preview_shot(app, "anim_regress_repainted");
    EXPECT_EQ(again.at(again.width / 2, again.height / 2), RED) << "after InvalidateRect";
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status_bar_part_text(app, status, 1), "Rainy day");
}

// The black lines 1 and 3 pixels outside the picture stay whole while
// frames follow one another.
TEST(AnimationRegress, FramesStayInsideTheFrameLines)
{
    std::string dir = e2e_work_dir("anim_regress_wide");
    ASSERT_TRUE(copy_regress_fixture("wide.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("wide.gif", dir, app));
    Sleep(1500);  // several frames have been drawn by the timer
    PreviewShot s = preview_shot(app, "anim_regress_wide");
    DWORD centre = s.at(s.width / 2, s.height / 2);
    ASSERT_TRUE(centre == RED || centre == GREEN || centre == BLUE) << std::hex << centre;
    EXPECT_EQ(frame_line_gaps(s), std::vector<std::string>());
}

TEST(AnimationRegress, BrokenAnimationReleasesItsFile)
{
    std::string dir = e2e_work_dir("anim_regress_broken");
    std::string path = dir + "\\broken.gif", renamed = dir + "\\renamed.gif";
    DeleteFileA(renamed.c_str());
    ASSERT_TRUE(copy_regress_fixture("broken.gif", dir));

    RunningApp app;
    ASSERT_TRUE(start_app("broken.gif", dir, app));
    Sleep(1500);  // the first tick has met the broken frame
    PreviewShot s = preview_shot(app, "anim_regress_broken");
    EXPECT_EQ(s.at(s.width / 2, s.height / 2), RED) << "the first frame stays as a still";
    EXPECT_TRUE(MoveFileA(path.c_str(), renamed.c_str())) << "error " << GetLastError();
    MoveFileA(renamed.c_str(), path.c_str());
}

}  // namespace
