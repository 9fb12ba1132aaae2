// Sound and video play in a media window inside the main window: the
// window takes the preview's place, its device reaches "playing", and the
// end of a medium moves on to the next file of the list, stopping at the last.
#include <gtest/gtest.h>

#include <windows.h>
#include <vfw.h>

#include <string>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

HWND wait_for_media_window(HWND main, DWORD wait_ms)
{
    for (DWORD waited = 0; waited <= wait_ms; waited += 100) {
        HWND media = FindWindowExA(main, NULL, "MCIWndClass", NULL);
        if (media && IsWindowVisible(media))
            return media;
        Sleep(100);
    }
    return NULL;
}

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

// a.mp3 and b.mp3 (one second each; Wine plays MP3 through its GStreamer
// support), beep.wav (sound only), clip.avi (a picture): each end moves on
// to the next entry within one 3-second watch, and the last stays.
TEST(Media, PlaysInTheMainWindowAndEachEndMovesOnUntilTheLast)
{
    std::string dir = e2e_work_dir("media");
    for (const char* name : {"tone.mp3", "beep.wav", "clip.avi"})
        ASSERT_TRUE(copy_fixture(name, dir)) << name;
    ASSERT_TRUE(CopyFileA((dir + "\\tone.mp3").c_str(), (dir + "\\a.mp3").c_str(), FALSE));
    ASSERT_TRUE(MoveFileExA((dir + "\\tone.mp3").c_str(), (dir + "\\b.mp3").c_str(), MOVEFILE_REPLACE_EXISTING));
    RunningApp app;
    ASSERT_TRUE(start_app("a.mp3", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    ASSERT_EQ(wait_for_window_text(name, "b.mp3", 15000), "b.mp3");
    const struct {
        const char* file;
        bool has_picture;
    } kinds[] = {{"beep.wav", false}, {"clip.avi", true}};
    for (const auto& c : kinds) {
        ASSERT_EQ(wait_for_window_text(name, c.file, 15000), c.file);
        Sleep(1000);  // the name shows before the last medium's window goes
        HWND media = wait_for_media_window(app.main, 15000);
        ASSERT_NE(media, (HWND)NULL);
        EXPECT_TRUE(plays(media, 10000)) << c.file;
        EXPECT_FALSE(is_visible(GetDlgItem(app.main, IDC_MAIN_PREVIEW))) << c.file;
        EXPECT_FALSE(is_visible(GetDlgItem(app.main, IDC_MAIN_CENTER))) << c.file;
        EXPECT_EQ(is_visible(GetDlgItem(app.main, IDC_MAIN_FULL_SCREEN)), c.has_picture) << c.file;
        // Sound only: the play bar alone fills the window; with a picture the
        // picture lies above it.
        RECT client, bar;
        GetClientRect(media, &client);
        ASSERT_TRUE(GetWindowRect(GetWindow(media, GW_CHILD), &bar));
        EXPECT_EQ(client.bottom == bar.bottom - bar.top, !c.has_picture) << c.file;
        EXPECT_EQ(client.bottom > 2 * (bar.bottom - bar.top), c.has_picture) << c.file;
    }
    Sleep(4000);
    EXPECT_EQ(window_text(name), "clip.avi") << "the last stays";
    EXPECT_EQ(SendMessageA(GetDlgItem(app.main, IDC_MAIN_FILE_LIST), LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
