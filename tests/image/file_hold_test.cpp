// The hold itself, on real windows: nested holds give the windows back only
// at the outermost end, a real dialog owned by a held window that closes
// inside a longer hold (which re-enables its owner) leaves the window held,
// a window opened inside a hold is turned away at once and held from the
// next sweep, and the holding tool's own window stays its own.
#include <gtest/gtest.h>

#include <windows.h>

#include "image/file_hold.h"
#include "image/open_windows.h"

namespace {

HWND make_window()
{
    return CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
}

// The held windows of the program, made for one test and put back after.
struct HeldWindows {
    HWND saved_main = g_hwndMain, saved_view = g_hwndView, saved_batch = g_hwndBatch, saved_full = g_hwndFull;
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
        for (HWND hwnd : {g_hwndMain, g_hwndView, g_hwndBatch, g_hwndFull})
            if (hwnd)
                DestroyWindow(hwnd);
        g_hwndMain = saved_main;
        g_hwndView = saved_view;
        g_hwndBatch = saved_batch;
        g_hwndFull = saved_full;
    }
};

INT_PTR CALLBACK end_at_once(HWND dialog, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_INITDIALOG)
        EndDialog(dialog, IDOK);
    return msg == WM_INITDIALOG;
}

// A dialog with no controls, ended as soon as it starts.
INT_PTR run_empty_dialog(HWND owner)
{
    struct alignas(4) Template {
        DLGTEMPLATE dialog;
        WORD menu, window_class, title;
    } t = {{WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0, 0, 0, 60, 40}, 0, 0, 0};
    return DialogBoxIndirectParamA(NULL, &t.dialog, owner, end_at_once, 0);
}

TEST(FileHold, ABoxClosingInsideALongerHoldLeavesItsOwnerHeld)
{
    HeldWindows w;
    begin_file_hold();
    EXPECT_FALSE(IsWindowEnabled(g_hwndMain));
    EXPECT_FALSE(IsWindowEnabled(g_hwndView));
    {
        FileHold nested;
        // A dialog owned by a held window, as the box of a failed write
        // inside the comment dialog is.
        ASSERT_EQ(run_empty_dialog(g_hwndMain), IDOK);
    }
    EXPECT_TRUE(is_file_held());
    EXPECT_FALSE(IsWindowEnabled(g_hwndMain)) << "the nested end put the hold back";
    EXPECT_TRUE(file_hold_turns_away(g_hwndMain));
    end_file_hold();
    EXPECT_FALSE(is_file_held());
    EXPECT_TRUE(IsWindowEnabled(g_hwndMain));
    EXPECT_TRUE(IsWindowEnabled(g_hwndView));
    EXPECT_FALSE(file_hold_turns_away(g_hwndMain));
}

TEST(FileHold, AWindowOpenedInsideAHoldIsHeldUntilTheOutermostEnd)
{
    HeldWindows w;
    HWND someone_elses = make_window();
    EnableWindow(someone_elses, FALSE);
    g_hwndFull = someone_elses;
    begin_file_hold();
    g_hwndBatch = make_window();
    EXPECT_TRUE(file_hold_turns_away(g_hwndBatch)) << "turned away before any sweep";
    begin_file_hold();
    EXPECT_FALSE(IsWindowEnabled(g_hwndBatch));
    end_file_hold();
    EXPECT_FALSE(IsWindowEnabled(g_hwndBatch));
    end_file_hold();
    EXPECT_TRUE(IsWindowEnabled(g_hwndBatch));
    EXPECT_TRUE(IsWindowEnabled(g_hwndMain));
    EXPECT_FALSE(IsWindowEnabled(someone_elses)) << "disabled by another: left to them";
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
    EXPECT_TRUE(file_hold_turns_away(NULL));
    end_file_hold();
    // The next hold spares nothing.
    FileHold next;
    EXPECT_FALSE(IsWindowEnabled(g_hwndFull));
    EXPECT_TRUE(file_hold_turns_away(g_hwndFull));
}

}  // namespace
