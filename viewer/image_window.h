// The image window ("Meta"): the current image shown large, centred or
// tiled on the background colour, with the menu "MENU_A" and a status bar.
// The main window opens it and runs the loop that translates its
// accelerators (app/image_window_open.h); its menu states are in
// image_window_menu.h, its commands in image_window_commands.h.
#pragma once

#include <windows.h>

extern int g_tileMode;        // 0 the image is centred, 1 tiled

LRESULT CALLBACK meta_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Keeps the window's placement for the next opening and takes down its
// status bar; called before every destruction of the image window.
void close_image_window(void);
// close_image_window, then the window is destroyed.
void destroy_image_window(void);

// Shrinks width x height by whole nine-tenths steps (integer, both sides
// at once) while either side is not smaller than the area's; each side
// stays at least 1. An empty area (either side below 1) leaves the size
// as it is, since no shrinking could ever make it fit.
void shrink_to_area(int area_width, int area_height, int* width, int* height);

// Paints the current image of any still or animated kind into the area c
// of dc (already filled with the background): centred and shrunk to fit
// (tile 0) or tiled (tile 1). The slideshow paints through it too. A
// centred bitmap's rectangle goes to drawn when given: each window keeps
// its own, as another window may paint between.
void paint_current_image(HWND hwnd, HDC dc, const RECT& c, int tile, RECT* drawn = NULL);
