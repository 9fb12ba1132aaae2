// The "Full" window: the current image over the whole screen, plain, after
// the STRETCH dialog (stretch_dialog.h), or in the red-eye mode, where a
// dragged area is shown eight times enlarged and the reddish pixels clicked
// there are greyed; the correction itself is tools/red_eye.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "image/open_windows.h"  // g_hwndFull

extern int g_fullScreen;         // the window was opened by a full-screen command
extern int g_stretchPending;     // open the STRETCH dialog at the next paint
extern int g_redEyeMode;         // red eye, phase 1: the area is being chosen
extern int g_redEyeAreaChosen;   // red eye, phase 2: pixels are being marked
extern int g_redEyeAreaLeft, g_redEyeAreaTop;
extern HGLOBAL g_hRedEyeSave;    // the chosen area as displayed
extern HGLOBAL g_hRedEyeSave2;   // its full-colour version on palette displays
extern UINT g_redEyePointCapacity;
extern int g_redEyeTipShown, g_redEyeTip1Shown;

LRESULT CALLBACK full_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK fixredeye_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK fixredeye1_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// Creates the window over the screen for the current image, with scroll
// bars where a bitmap exceeds the screen (none in the red-eye mode).
HWND create_full_window(void);
// Layout of an animation's frame of width x height in the window, the same
// for its repaint and for each animation tick: tiled from the top left (1)
// while the image window tiles and the frame fits the window, else centred
// at its own size (0).
uint32_t full_frame_layout(int width, int height);
// The red-eye point list and the chosen area are forgotten.
void clear_red_eye_state(void);

// Draws the enlarged area; erase 1 also fills the background and applies
// the pending brightness step to the area.
void paint_full_screen_image(int erase);

// Scroll bars of the window for an iw x ih image on a cx x cy screen (bar
// sizes vw, hh): a bar where the image exceeds the screen, both where one
// bar would hide part of the image; the ranges of the bars given.
enum { FULL_BAR_VERTICAL = 1, FULL_BAR_HORIZONTAL = 2 };
int full_screen_bars(int iw, int ih, int cx, int cy, int vw, int hh, int* range_x, int* range_y);

// The chosen area in image pixels for the band (left, top, width, height
// in window pixels) over the image drawn in drawn, cut to the image of
// iw x ih; 0 when nothing of it is left.
int red_eye_area(int left, int top, int width, int height, const RECT* drawn, int iw, int ih, RECT* area);
// The pixel (px, py from the top) of a w x h area enlarged eight times and
// centred on a sw x sh screen under (x, y); 0 when the point is off it.
int red_eye_pixel_at(int x, int y, int sw, int sh, int w, int h, int* px, int* py);
// Greys one 16-, 24- or 32-bit pixel to its darkened lightness; 0 (pixel
// untouched) when its channels are already equal.
int grey_red_eye_pixel(BYTE* pixel, int bits);
