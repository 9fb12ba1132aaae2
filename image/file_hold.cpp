// The shared hold on the shown file (see file_hold.h). The windows are
// swept at every begin and at every nested end, so one that opened inside a
// hold is held too and one that a closing box enabled is disabled again;
// they are given back only by the outermost end, in reverse order, before
// the dialog's owner is activated again and before the work that waited.
#include "image/file_hold.h"

#include "image/open_windows.h"

// Every window the hold holds; each slot keeps at most one window open.
static HWND* const HELD_WINDOWS[] = {&g_hwndMain, &g_hwndView,  &g_hwndBatch,
                                     &g_hwndFull, &g_hwndSlide, &g_hwndPalette};
enum { HELD_WINDOW_COUNT = sizeof HELD_WINDOWS / sizeof HELD_WINDOWS[0] };

typedef void (*HeldWork)(void);
// One slot for each kind of work the gate defers; there are fewer kinds.
enum { MAX_WAITING_WORK = 8 };

static int s_depth;
static HWND s_disabled[HELD_WINDOW_COUNT];  // the windows this hold disabled, in that order
static int s_disabledCount;
static HWND s_active;  // active when the outermost hold began
static HWND s_spared[HELD_WINDOW_COUNT];  // the holding tools' own windows
static int s_sparedCount;
static HeldWork s_waiting[MAX_WAITING_WORK];  // in the order first asked for
static int s_waitingCount;

static bool is_in(const HWND* windows, int count, HWND hwnd)
{
    for (int i = 0; i < count; ++i)
        if (windows[i] == hwnd)
            return true;
    return false;
}

static bool is_spared(HWND hwnd)
{
    return hwnd && is_in(s_spared, s_sparedCount, hwnd);
}

// A slot for a window newly disabled: a window of the hold that has gone
// since gives its slot up, so a window closed and opened again inside one
// hold does not use up the slots.
static int free_disabled_slot(void)
{
    for (int i = 0; i < s_disabledCount; ++i)
        if (!IsWindow(s_disabled[i]))
            return i;
    return s_disabledCount < HELD_WINDOW_COUNT ? s_disabledCount++ : -1;
}

static void hold_window(HWND hwnd)
{
    if (!is_window_open(hwnd) || is_spared(hwnd))
        return;
    if (is_in(s_disabled, s_disabledCount, hwnd)) {
        // A box that closed gave its owner back.
        if (IsWindowEnabled(hwnd))
            EnableWindow(hwnd, FALSE);
        return;
    }
    if (!IsWindowEnabled(hwnd))
        return;
    int slot = free_disabled_slot();
    if (slot >= 0) {
        s_disabled[slot] = hwnd;
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
    for (HWND* window : HELD_WINDOWS)
        hold_window(*window);
}

void begin_file_hold(void)
{
    if (s_depth++ == 0)
        s_active = GetActiveWindow();
    show_held();
    sweep();
}

// The work that waited, taken off the list first: work that begins a hold
// of its own finds the list empty.
static void do_waiting_work(void)
{
    HeldWork waiting[MAX_WAITING_WORK];
    int count = s_waitingCount;
    for (int i = 0; i < count; ++i)
        waiting[i] = s_waiting[i];
    s_waitingCount = 0;
    for (int i = 0; i < count; ++i)
        waiting[i]();
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
    bool active_spared = is_spared(s_active);
    s_sparedCount = 0;
    while (s_disabledCount > 0) {
        HWND hwnd = s_disabled[--s_disabledCount];
        if (IsWindow(hwnd))
            EnableWindow(hwnd, TRUE);
    }
    // A box or dialog whose owner was disabled when it closed activated no
    // window of ours: the one that was active gets the keys back (not a
    // tool's own window, which goes as its hold ends).
    if (!GetActiveWindow() && s_active && !active_spared && IsWindow(s_active) && IsWindowEnabled(s_active))
        SetActiveWindow(s_active);
    s_active = NULL;
    do_waiting_work();
}

void file_hold_spare(HWND own)
{
    if (s_depth > 0 && own && !is_spared(own) && s_sparedCount < HELD_WINDOW_COUNT)
        s_spared[s_sparedCount++] = own;
}

int is_file_held(void)
{
    return s_depth > 0;
}

int file_hold_turns_away(HWND hwnd)
{
    return s_depth > 0 && !is_spared(hwnd);
}

void after_file_hold(void (*work)(void))
{
    if (s_depth == 0) {
        work();
        return;
    }
    for (int i = 0; i < s_waitingCount; ++i)
        if (s_waiting[i] == work)
            return;
    if (s_waitingCount < MAX_WAITING_WORK)
        s_waiting[s_waitingCount++] = work;
}

INT_PTR dialog_box_holding(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc, LPARAM param)
{
    // Taken before the hold disables the windows.
    owner = front_owner(owner);
    FileHold hold;
    return DialogBoxParamA(instance, name, owner, proc, param);
}
