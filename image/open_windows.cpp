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
