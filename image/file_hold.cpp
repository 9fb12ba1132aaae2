// The shared hold on the shown file (see file_hold.h). The windows are
// swept at every begin and at every nested end, so one that opened inside a
// hold is held too and one that a closing box enabled is disabled again;
// they are given back only by the outermost end, in reverse order, before
// the dialog's owner is activated again.
#include "image/file_hold.h"

#include "image/open_windows.h"

static int s_depth;
static HWND s_disabled[5];  // the windows this hold disabled, in that order
static int s_disabledCount;
static HWND s_active;  // active when the outermost hold began
static HWND s_spared;  // the holding tool's own window

static bool is_held_by_us(HWND hwnd)
{
    for (int i = 0; i < s_disabledCount; ++i)
        if (s_disabled[i] == hwnd)
            return true;
    return false;
}

static void hold_window(HWND hwnd)
{
    if (!is_window_open(hwnd) || hwnd == s_spared)
        return;
    if (is_held_by_us(hwnd)) {
        // A box that closed gave its owner back.
        if (IsWindowEnabled(hwnd))
            EnableWindow(hwnd, FALSE);
        return;
    }
    if (!IsWindowEnabled(hwnd))
        return;
    if (s_disabledCount < (int)(sizeof s_disabled / sizeof s_disabled[0])) {
        s_disabled[s_disabledCount++] = hwnd;
        EnableWindow(hwnd, FALSE);
    }
}

// Whether a hold is on is also a property of the main window, so that it
// can be seen from outside the program (a test that failed says so).
static void show_held(void)
{
    if (!is_window_open(g_hwndMain))
        return;
    if (s_depth > 0)
        SetPropA(g_hwndMain, FILE_HOLD_PROPERTY, (HANDLE)1);
    else
        RemovePropA(g_hwndMain, FILE_HOLD_PROPERTY);
}

static void sweep(void)
{
    const HWND windows[] = {g_hwndMain, g_hwndView, g_hwndBatch, g_hwndFull, g_hwndSlide};
    for (HWND hwnd : windows)
        hold_window(hwnd);
}

void begin_file_hold(void)
{
    if (s_depth++ == 0)
        s_active = GetActiveWindow();
    show_held();
    sweep();
}

void end_file_hold(void)
{
    if (s_depth == 0)
        return;
    if (--s_depth > 0) {
        sweep();
        return;
    }
    show_held();
    HWND spared = s_spared;
    s_spared = NULL;
    while (s_disabledCount > 0) {
        HWND hwnd = s_disabled[--s_disabledCount];
        if (IsWindow(hwnd))
            EnableWindow(hwnd, TRUE);
    }
    // A box or dialog whose owner was disabled when it closed activated no
    // window of ours: the one that was active gets the keys back (not the
    // tool's own window, which goes as its hold ends).
    if (!GetActiveWindow() && s_active && s_active != spared && IsWindow(s_active) && IsWindowEnabled(s_active))
        SetActiveWindow(s_active);
    s_active = NULL;
}

void file_hold_spare(HWND own)
{
    if (s_depth > 0)
        s_spared = own;
}

int is_file_held(void)
{
    return s_depth > 0;
}

int file_hold_turns_away(HWND hwnd)
{
    return s_depth > 0 && (!hwnd || hwnd != s_spared);
}

INT_PTR dialog_box_holding(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc, LPARAM param)
{
    FileHold hold;
    return DialogBoxParamA(instance, name, owner, proc, param);
}
