// The "ROTATE" and "SKEW" dialogs: ask for an angle, then rotate or skew the
// current image (and its unconverted copy) and record the edit.
#pragma once

#include <windows.h>

INT_PTR CALLBACK rotate_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK skew_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// Modal; owner is the window whose menu asked.
void open_rotate_dialog(HWND owner);
void open_skew_dialog(HWND owner);

// Reads an angle field; false when its text is no expression, or not a
// finite angle of sensible size.
bool read_angle_field(HWND hdlg, int id, double* angle);
