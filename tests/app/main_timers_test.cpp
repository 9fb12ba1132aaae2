// The animation tick for icon pages: which page each tick shows, that the
// timer goes on, and that a file cut short stops it. (Animated cursors
// are the end-to-end animation test's.) The animation, the media-end watch
// and the capture's tick wait while a command holds the shown file.
#include <gtest/gtest.h>

#include <string>

#include "app/main_timers.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/loader.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "viewer/capture.h"

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
    // While a command holds the shown file the page stands and no timer
    // ticks; the hold's end arms it again, and the pages step on.
    HWND saved_main = g_hwndMain;
    g_hwndMain = main;
    begin_file_hold();
    EXPECT_TRUE(main_on_timer(main, g_animTimerId));
    EXPECT_EQ(2, g_iconIndex);
    EXPECT_EQ(0u, g_animTimerActive) << "no tick while held";
    end_file_hold();
    g_hwndMain = saved_main;
    EXPECT_NE(0u, g_animTimerActive);
    EXPECT_TRUE(main_on_timer(main, g_animTimerId));
    EXPECT_EQ(3, g_iconIndex);
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

TEST(TimersUnderAHold, TheMediaEndAndTheCapturesTickWaitForTheHoldsEnd)
{
    SeamRecorder seams(24);
    HWND main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
    HWND list = CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
    CreateWindowA("EDIT", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)IDC_MAIN_NAME_EDIT, NULL, NULL);
    for (const char* name : {"a.mp3", "b.mp3"})
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    lstrcpynA(g_fileName, "a.mp3", sizeof g_fileName);
    GetFullPathNameA("a.mp3", sizeof g_filePath, g_filePath, NULL);  // the shown file, listed in the current folder
    HWND saved_main = g_hwndMain;
    g_hwndMain = main;
    // A window that answers no media message reads as a medium at its end.
    g_hwndMci = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    begin_file_hold();
    EXPECT_TRUE(main_on_timer(main, g_mciTimerId));
    EXPECT_STREQ(g_fileName, "a.mp3");
    end_file_hold();
    main_on_timer(main, g_mciTimerId);
    EXPECT_STREQ(g_fileName, "b.mp3") << "the list moves on once the hold has ended";
    DestroyWindow(g_hwndMci);
    g_hwndMci = NULL;
    g_filePath[0] = '\0';

    // A right-click capture disabled the main window, and a hold began:
    // its tick waits without the timer ticking on, and comes again after.
    EnableWindow(main, FALSE);
    g_capturePending = 1;
    arm_animation_timer(main, 5);
    begin_file_hold();
    EXPECT_TRUE(main_on_timer(main, g_animTimerId));
    EXPECT_FALSE(IsWindowEnabled(main));
    EXPECT_EQ(g_animTimerActive, 0u) << "no tick while held";
    end_file_hold();
    EXPECT_NE(g_animTimerActive, 0u);
    main_on_timer(main, g_animTimerId);
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(g_capturePending, 0);

    stop_animation_timer(main);
    g_fileName[0] = '\0';
    g_hwndMain = saved_main;
    DestroyWindow(main);
}

// The played file came from another folder than the one the list shows,
// which holds a namesake of it: the next medium is not taken from there.
TEST(MediaEnd, ANamesakeInTheListsFolderIsNotFollowed)
{
    HWND main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
    HWND list = CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
    CreateWindowA("EDIT", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)IDC_MAIN_NAME_EDIT, NULL, NULL);
    for (const char* name : {"a.mp3", "b.mp3"})
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name);
    lstrcpynA(g_fileName, "a.mp3", sizeof g_fileName);
    const std::string played = test_out_path("elsewhere") + "\\a.mp3";
    GetFullPathNameA(played.c_str(), sizeof g_filePath, g_filePath, NULL);
    g_hwndMci = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    main_on_timer(main, g_mciTimerId);
    EXPECT_STREQ(g_fileName, "a.mp3");
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR) << "nothing more plays";
    DestroyWindow(g_hwndMci);
    g_hwndMci = NULL;
    g_fileName[0] = g_filePath[0] = '\0';
    DestroyWindow(main);
}

}  // namespace
