// The animation tick for icon pages: which page each tick shows, that the
// timer goes on, and that a file cut short stops it. (Animated cursors
// are the end-to-end animation test's.)
#include <gtest/gtest.h>

#include <string>

#include "app/main_timers.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

TEST(AnimationTick, IconPagesWrapAndStopWithoutAPicture)
{
    SeamRecorder seams(24);
    HWND main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
    CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 200, 200, main, (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
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
        EXPECT_NE(0u, g_animTimerActive);
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
    stop_animation_timer(main);
    DestroyWindow(main);
}

}  // namespace
