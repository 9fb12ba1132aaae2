// Faults once found in animated GIFs in the preview, one file after another
// in one program: a repaint blanked the animation, the comment never
// reached the status bar, frames were drawn beside the frame lines, and a
// broken animation kept its file open. (print_test sees an animation go on;
// the cursor's steps are app's AnimationTick tests.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;

// Selects the file in the list and gives its timer time for a few frames.
void show(const RunningApp& app, const char* name)
{
    EXPECT_TRUE(select_list_file(app, name)) << name;
    Sleep(1500);
}

TEST(Animation, RepaintCommentFrameLinesAndABrokenFileReleased)
{
    std::string dir = e2e_work_dir("animation");
    for (const char* name : {"slow.gif", "wide.gif", "broken.gif"})
        ASSERT_TRUE(copy_fixture(name, dir, "regress")) << name;
    std::string path = dir + "\\broken.gif", renamed = dir + "\\renamed.gif";
    DeleteFileA(renamed.c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("slow.gif", dir, app));
    Sleep(1500);  // the window's first paint has come after the first frame
    EXPECT_EQ(preview_shot(app, "anim_first").middle(), RED) << "first frame after start-up";
    InvalidateRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), NULL, TRUE);
    Sleep(700);
    EXPECT_EQ(preview_shot(app, "anim_repainted").middle(), RED) << "after InvalidateRect";
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status_bar_part_text(app, status, 1), "Rainy day");

    // The black lines 1 and 3 pixels outside the picture stay whole while
    // frames follow one another.
    show(app, "wide.gif");
    Shot s = preview_shot(app, "anim_wide");
    ASSERT_TRUE(s.middle() == RED || s.middle() == GREEN || s.middle() == BLUE) << std::hex << s.middle();
    EXPECT_EQ(frame_line_gaps(s), std::vector<std::string>());

    show(app, "broken.gif");  // the first tick has met the broken frame
    EXPECT_EQ(preview_shot(app, "anim_broken").middle(), RED) << "the first frame stays as a still";
    EXPECT_TRUE(MoveFileA(path.c_str(), renamed.c_str())) << "error " << GetLastError();
    MoveFileA(renamed.c_str(), path.c_str());
}

}  // namespace
