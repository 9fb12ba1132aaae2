// The hold itself, on real windows: a real dialog owned by a held window
// that closes inside a longer hold (which re-enables its owner) leaves the
// window held, a window opened inside a hold is turned away at once and
// held from the next sweep, only the outermost end gives the windows back,
// the holding tool's own window stays its own, every held window (all of
// them open, the palette window's too) is disabled, and work the gate put
// off is done once, after the outermost end.
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
    HWND* windows[6] = {&g_hwndMain, &g_hwndView, &g_hwndBatch, &g_hwndFull, &g_hwndSlide, &g_hwndPalette};
    HWND saved[6] = {g_hwndMain, g_hwndView, g_hwndBatch, g_hwndFull, g_hwndSlide, g_hwndPalette};
    HeldWindows()
    {
        g_hwndMain = make_window();
        g_hwndView = make_window();
        g_hwndBatch = g_hwndFull = g_hwndSlide = g_hwndPalette = NULL;
    }
    ~HeldWindows()
    {
        while (is_file_held())
            end_file_hold();
        for (int i = 0; i < 6; ++i) {
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

TEST(FileHold, EveryHeldWindowOpenIsDisabledThePaletteWindowToo)
{
    HeldWindows w;
    g_hwndBatch = make_window();
    g_hwndFull = make_window();
    g_hwndSlide = make_window();
    g_hwndPalette = make_window();
    begin_file_hold();
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(IsWindowEnabled(*w.windows[i])) << i;
    EXPECT_TRUE(file_hold_turns_away(g_hwndPalette));
    end_file_hold();
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(IsWindowEnabled(*w.windows[i])) << i;
}

int s_reloads;
void count_reload(void)
{
    ++s_reloads;
}

TEST(FileHold, WorkPutOffByTheGateIsDoneOnceAfterTheOutermostEnd)
{
    HeldWindows w;
    s_reloads = 0;
    begin_file_hold();
    after_file_hold(count_reload);
    {
        FileHold nested;
        after_file_hold(count_reload);
    }
    EXPECT_EQ(s_reloads, 0) << "a nested end still holds";
    end_file_hold();
    EXPECT_EQ(s_reloads, 1);
    after_file_hold(count_reload);
    EXPECT_EQ(s_reloads, 2) << "with no hold on, at once";
}

}  // namespace
