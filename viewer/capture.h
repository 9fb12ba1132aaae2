// Screen capture: the dialog "TOCAPTURE", the transparent full-screen
// "Cover" overlay that takes the mouse (double click: whole screen; drag:
// a rectangle; right click: the foreground window), and the capture that
// becomes the current image.
#pragma once

#include <windows.h>
#include <stdint.h>

extern int g_capturePending;        // the overlay is (or just was) up
extern HWND g_hwndCaptureTarget;    // what a right click captures

// Capture Screen of the main window or the image window (owner).
void run_capture_dialog(HWND owner);

INT_PTR CALLBACK tocapture_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);
BOOL CALLBACK find_capture_window(HWND hwnd, LPARAM lp);
LRESULT CALLBACK cover_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Makes the screen area the current image; 0 when the area is empty or
// its memory cannot be had (the program's windows come back either way).
int capture_screen(int x, int y, int width, int height);

// The capture's row size in bytes and its whole block size (0 when it
// exceeds what a packed image may hold).
uint32_t capture_block_size(int width, int height, int display_bits);
