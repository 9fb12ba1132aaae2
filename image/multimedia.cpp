// The media window's state and its closing (see multimedia.h).
#include "image/multimedia.h"

UINT_PTR g_mciTimerId = 2;
HWND g_hwndMci;
int g_mciEnlarged;

void close_media_window(void)
{
    if (g_hwndMci && IsWindow(g_hwndMci))
        DestroyWindow(g_hwndMci);
    g_hwndMci = NULL;
}
