// The "FRAME" dialog: a border of one or four widths in the colour kept in
// the settings file, on the current image and its unconverted copy.
#pragma once

#include <windows.h>

// The dialog while it is open, else null.
extern HWND g_hwndFrameDlg;

INT_PTR CALLBACK frame_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// Modal; owner is the window whose menu asked.
void open_frame_dialog(HWND owner);

// The colour (blue, green, red, 0) that shows as color on an image whose
// brightness step is step: the inverse of the brightness curve.
DWORD unbrighten_color(DWORD color, int step);
