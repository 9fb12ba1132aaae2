// The main window: the hook of the classic Open dialog that WinMain runs.
// It is the program's main window procedure: start-up with the settings,
// the reaction to a new selection in the file list, sizing, the owner-drawn
// preview, the dialog's own buttons and the one teardown of Exit and Cancel.
#pragma once

#include <windows.h>

extern HICON g_hIconSmall;
extern HICON g_hIconBig;
extern HBITMAP g_hbmCheck;
extern HBRUSH g_hbrCover;
extern HCURSOR g_hCursors[6];
extern HACCEL g_hAccel;
extern int g_nameBoxFocused;
extern int g_fileListFocused;
extern WINDOWPLACEMENT g_viewPlacement;
extern RECT g_viewRect;
extern DWORD g_viewStyle;

UINT_PTR CALLBACK main_dialog_hook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The main window's place for a work area: height round(0.8 h), at least
// 440, width round(1.27 height), at the smaller of a twelfth of the area
// and the centred position.
RECT main_window_rect_for_work_area(int work_width, int work_height);

// The one teardown shared by the Exit command and the dialog's Cancel.
void exit_program(HWND hwnd);
