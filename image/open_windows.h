// Handles of the viewer windows and dialogs whose presence the image
// services and the tools consult (where progress is painted, which palette
// a picture gets, where a preview is laid out). Each window stores its
// handle here when it is created and clears it when it is destroyed; a
// handle that is null or no longer a window means the window is not open.
#pragma once

#include <windows.h>

extern HINSTANCE g_hInstance;  // the program's instance, stored first by WinMain
extern HWND g_hwndMain;         // main window (the Open dialog), set at its start
extern HWND g_hwndView;         // image window ("Meta")
extern HWND g_hwndSlide;        // slideshow ("Slide")
extern HWND g_hwndFull;         // full-screen window ("Full")
extern HWND g_hwndTextTitle;    // the slideshow's caption strip ("TextTitle")
extern HWND g_hwndCrop;         // crop tool ("Crop")
extern HWND g_hwndBatch;        // batch window ("Batch")
extern HWND g_hwndText;         // text tool ("Text")
extern HWND g_hwndMerge;        // merge tool ("Merge")
extern HWND g_hwndMergeDialog;  // the merge tool's MERGEIMAGE file dialog
extern HWND g_hwndStretch;      // STRETCH dialog
extern HWND g_hwndPalette;      // palette window ("Palette")
extern HWND g_hwndFrame;        // FRAME dialog

// 1 when the handle names an existing window.
int is_window_open(HWND hwnd);

// The window a dialog or message box asked for with owner asked is owned
// by, so that it comes up in front of the window the user acted in: the
// program's active window, else asked's top-level window, else the
// frontmost window of the program; only one that shows (visible, not of
// zero size) is taken, and null when none shows.
HWND front_owner(HWND asked);
