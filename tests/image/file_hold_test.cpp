// The hold itself, on real windows: a real dialog owned by a held window
// that closes inside a longer hold (which re-enables its owner) leaves the
// window held, a window opened inside a hold is turned away at once and
// held from the next sweep, only the outermost end gives the windows back,
// and the holding tool's own window stays its own.
#include <gtest/gtest.h>

#include <windows.h>

#include "image/file_hold.h"
#include "image/open_windows.h"

namespace {

HWND make_window()
{
    return CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
}

// The program's held windows for one test: a main and an image window.
struct HeldWindows {
    HWND saved[4] = {g_hwndMain, g_hwndView, g_hwndBatch, g_hwndFull};
    HeldWindows()
    {
        g_hwndMain = make_window();
        g_hwndView = make_window();
        g_hwndBatch = g_hwndFull = NULL;
    }
    ~HeldWindows()
    {
        while (is_file_held())
            end_file_hold();
        HWND* windows[] = {&g_hwndMain, &g_hwndView, &g_hwndBatch, &g_hwndFull};
        for (int i = 0; i < 4; ++i) {
            if (*windows[i])
                DestroyWindow(*windows[i]);
            *windows[i] = saved[i];
        }
    }
};

INT_PTR CALLBACK end_at_once(HWND dialog, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_INITDIALOG)
        EndDialog(dialog, IDOK);
    return msg == WM_INITDIALOG;
}

TEST(FileHold, ANestedEndPutsTheHoldBackAndTheOutermostGivesItBack)
{
    HeldWindows w;
    g_hwndFull = make_window();
    EnableWindow(g_hwndFull, FALSE);  // someone else's
    begin_file_hold();
    EXPECT_FALSE(IsWindowEnabled(g_hwndMain));
    g_hwndBatch = make_window();
    EXPECT_TRUE(file_hold_turns_away(g_hwndBatch)) << "opened inside the hold";
    {
        FileHold nested;
        // A dialog owned by a held window, as the box of a failed write
        // inside the comment dialog is: its end enables its owner.
        struct alignas(4) {
            DLGTEMPLATE dialog;
            WORD menu, window_class, title;
        } t = {{WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0, 0, 0, 60, 40}, 0, 0, 0};
        ASSERT_EQ(DialogBoxIndirectParamA(NULL, &t.dialog, g_hwndMain, end_at_once, 0), IDOK);
    }
    EXPECT_TRUE(is_file_held());
    EXPECT_FALSE(IsWindowEnabled(g_hwndMain)) << "the nested end put the hold back";
    EXPECT_FALSE(IsWindowEnabled(g_hwndBatch)) << "held from the nested sweep on";
    EXPECT_TRUE(file_hold_turns_away(g_hwndMain));
    end_file_hold();
    for (HWND hwnd : {g_hwndMain, g_hwndView, g_hwndBatch})
        EXPECT_TRUE(IsWindowEnabled(hwnd));
    EXPECT_FALSE(IsWindowEnabled(g_hwndFull)) << "disabled by another: left to them";
    EXPECT_FALSE(file_hold_turns_away(g_hwndMain));
}

TEST(FileHold, TheHoldingToolsOwnWindowStaysItsOwn)
{
    HeldWindows w;
    begin_file_hold();
    g_hwndFull = make_window();
    file_hold_spare(g_hwndFull);
    {
        FileHold nested;
        EXPECT_TRUE(IsWindowEnabled(g_hwndFull));
    }
    EXPECT_TRUE(IsWindowEnabled(g_hwndFull));
    EXPECT_FALSE(file_hold_turns_away(g_hwndFull));
    EXPECT_TRUE(file_hold_turns_away(g_hwndView));
    end_file_hold();
    // The next hold spares nothing.
    FileHold next;
    EXPECT_FALSE(IsWindowEnabled(g_hwndFull));
    EXPECT_TRUE(file_hold_turns_away(g_hwndFull));
}

}  // namespace
