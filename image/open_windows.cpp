// The viewer window handles (see open_windows.h).
#include "image/open_windows.h"

HINSTANCE g_hInstance;
HWND g_hwndMain;
HWND g_hwndView;
HWND g_hwndSlide;
HWND g_hwndFull;
HWND g_hwndTextTitle;
HWND g_hwndCrop;
HWND g_hwndBatch;
HWND g_hwndText;
HWND g_hwndMerge;
HWND g_hwndMergeDialog;
HWND g_hwndStretch;
HWND g_hwndPalette;
HWND g_hwndFrame;

int is_window_open(HWND hwnd)
{
    return hwnd != NULL && IsWindow(hwnd);
}

// A window a dialog can be seen to come up over.
static bool shows(HWND hwnd)
{
    RECT r;
    return hwnd && IsWindowVisible(hwnd) && GetWindowRect(hwnd, &r) && r.right > r.left && r.bottom > r.top;
}

HWND front_owner(HWND asked)
{
    // The active window is the one the command came from, or a dialog or
    // tool window in front of it; the window a caller names may lie behind
    // it (the main window behind the image window) or be hidden.
    HWND active = GetActiveWindow();
    if (shows(active))
        return active;
    HWND root = asked ? GetAncestor(asked, GA_ROOT) : NULL;
    if (shows(root))
        return root;
    DWORD thread = GetCurrentThreadId();
    for (HWND w = GetTopWindow(NULL); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindowThreadProcessId(w, NULL) == thread && shows(w))
            return w;
    return NULL;
}
