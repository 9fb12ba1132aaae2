// Sound and video play in a media window inside the main window: the
// window takes the preview's place, its device reaches "playing", and the
// end of an MP3 moves on to the next file of the list, stopping at the last.
#include <gtest/gtest.h>

#include <windows.h>
#include <vfw.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

// The device plays: its mode (which the message returns when no text is
// asked for) is "playing", or its position has reached the end. ALSA's null
// device takes sound faster than real time, so a sound may be over before
// its mode is seen; the position moves only when it was played.
bool plays(HWND media, DWORD wait_ms)
{
    for (DWORD waited = 0; waited <= wait_ms; waited += 50) {
        if (SendMessageA(media, MCIWNDM_GETMODEA, 0, 0) == MCI_MODE_PLAY)
            return true;
        LRESULT end = SendMessageA(media, MCIWNDM_GETEND, 0, 0);
        if (end > 0 && SendMessageA(media, MCIWNDM_GETPOSITION, 0, 0) == end)
            return true;
        Sleep(50);
    }
    return false;
}

struct PlayCase {
    const char* file;
    bool has_picture;
};

class MediaPlayback : public ::testing::TestWithParam<PlayCase> {};

TEST_P(MediaPlayback, PlaysInTheMainWindow)
{
    const PlayCase& c = GetParam();
    std::string dir = e2e_work_dir(std::string("media_") + c.file);
    ASSERT_TRUE(copy_fixture(c.file, dir));
    RunningApp app;
    ASSERT_TRUE(start_app(c.file, dir, app));
    HWND media = wait_for_media_window(app.main, 15000);
    ASSERT_NE(media, (HWND)NULL);
    EXPECT_TRUE(plays(media, 10000));
    EXPECT_FALSE(is_visible(GetDlgItem(app.main, IDC_MAIN_PREVIEW)));
    EXPECT_FALSE(is_visible(GetDlgItem(app.main, IDC_MAIN_CENTER)));
    EXPECT_EQ(is_visible(GetDlgItem(app.main, IDC_MAIN_FULL_SCREEN)), c.has_picture);
    // Sound only: the play bar alone fills the window; with a picture the
    // picture lies above it.
    RECT client, bar;
    GetClientRect(media, &client);
    ASSERT_TRUE(GetWindowRect(GetWindow(media, GW_CHILD), &bar));
    if (!c.has_picture)
        EXPECT_EQ(client.bottom, bar.bottom - bar.top);
    else
        EXPECT_GT(client.bottom, 2 * (bar.bottom - bar.top));
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, MediaPlayback,
                         ::testing::Values(PlayCase{"beep.wav", false}, PlayCase{"clip.avi", true}));

TEST(MediaEnd, NextMp3FollowsAndTheLastStays)
{
    std::string dir = e2e_work_dir("media_mp3");
    ASSERT_TRUE(copy_fixture("tone.mp3", dir));
    ASSERT_TRUE(CopyFileA((dir + "\\tone.mp3").c_str(), (dir + "\\a.mp3").c_str(), FALSE));
    ASSERT_TRUE(MoveFileExA((dir + "\\tone.mp3").c_str(), (dir + "\\b.mp3").c_str(), MOVEFILE_REPLACE_EXISTING));
    RunningApp app;
    ASSERT_TRUE(start_app("a.mp3", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    // One second of sound (Wine plays MP3 through its GStreamer support),
    // then at most one 3-second watch.
    bool moved = false;
    for (int i = 0; i < 150 && !moved; ++i) {
        moved = window_text(name) == "b.mp3" && SendMessageA(list, LB_GETCURSEL, 0, 0) == 1;
        Sleep(100);
    }
    EXPECT_TRUE(moved);
    Sleep(4000);
    EXPECT_EQ(window_text(name), "b.mp3");
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(exit_by_button(app), 1);
}

// A medium shown while the full-screen window covers the screen takes its
// place: the full-screen window goes, the media window shows.
TEST(MediaOverFullScreen, FullScreenWindowGoes)
{
    std::string dir = e2e_work_dir("media_full");
    // The picture goes by its bytes; its media name lists it beside the
    // sound under the "Multimedia" filter that the command line chooses.
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(MoveFileExA((dir + "\\quadrants.bmp").c_str(), (dir + "\\picture.avi").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(copy_fixture("beep.wav", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("picture.avi", dir, app));
    Sleep(500);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FULL_SCREEN, 0), 0);
    HWND full = find_process_window(app.process.dwProcessId, "Full", NULL, 10000);
    ASSERT_NE(full, (HWND)NULL);
    ASSERT_TRUE(select_list_file(app, "beep.wav"));
    EXPECT_NE(wait_for_media_window(app.main, 15000), (HWND)NULL);
    EXPECT_TRUE(wait_until_closed(full, 5000)) << "the full-screen window stays over the medium";
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
