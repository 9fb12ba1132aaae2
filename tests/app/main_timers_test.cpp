// The animation tick for icon pages and animated cursors: which picture
// each tick shows and that the timer goes on.
#include <gtest/gtest.h>

#include <string>

#include "app/main_timers.h"
#include "image/ani.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

class AnimationTick : public ::testing::Test {
protected:
    HWND main = NULL;
    SeamRecorder seams{24};
    void SetUp() override
    {
        main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
        CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 200, 200, main, (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
    }
    void TearDown() override
    {
        stop_animation_timer(main);
        DestroyWindow(main);
    }
};

}  // namespace

TEST_F(AnimationTick, CursorStepsFollowSequenceAndRates)
{
    // anim.ani: frames 1, 0, 1 for 6, 30 and 12 sixtieths of a second.
    HFILE file = _lopen(fixture_path("icon/anim.ani").c_str(), OF_READ);
    ASSERT_EQ(1, read_ani_file(NULL, &file, &g_subImageCount, &g_animStepCount, &g_hFrameRates, &g_hSubImages,
                               nullptr));
    HGLOBAL* frames = (HGLOBAL*)GlobalLock(g_hSubImages);
    HGLOBAL a = frames[0], b = frames[1];
    GlobalUnlock(g_hSubImages);
    g_imageKind = KIND_ANI;
    g_animStep = 0;
    const HGLOBAL want[] = {b, a, b, b, a};
    const UINT delays[] = {10, 50, 20, 10, 50};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(main_on_timer(main, g_animTimerId)) << i;
        EXPECT_EQ(want[i], g_hImage) << i;
        EXPECT_EQ(delays[i], g_animDelay) << i;
        EXPECT_NE(0u, g_animTimerActive) << i;
    }
    free_ani_frames();
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
}

TEST_F(AnimationTick, IconPagesWrapAndStopWithoutAPicture)
{
    std::string path = test_out_path("tick_pages.ico");
    CopyFileA(fixture_path("icon/multi.ico").c_str(), path.c_str(), FALSE);
    g_hFile = _lopen(path.c_str(), OF_READ);
    g_imageKind = KIND_ICON_PAGES;
    g_iconIndex = 2;
    g_iconCount = 3;
    g_hImage = NULL;
    const int pages[] = {3, 1, 2};
    for (int page : pages) {
        EXPECT_TRUE(main_on_timer(main, g_animTimerId));
        EXPECT_EQ(page, g_iconIndex);
        EXPECT_NE(nullptr, g_hImage);
    }
    // The file cut short: no picture, and the timer is not armed again.
    _lclose(g_hFile);
    write_file_bytes(path, read_file_bytes(path).substr(0, 30));
    g_hFile = _lopen(path.c_str(), OF_READ);
    EXPECT_FALSE(main_on_timer(main, g_animTimerId));
    EXPECT_EQ(0u, g_animTimerActive);
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Error Reading Icon File", seams.boxes[0].text);
    _lclose(g_hFile);
    g_hFile = HFILE_ERROR;
    g_imageKind = KIND_NONE;
}
