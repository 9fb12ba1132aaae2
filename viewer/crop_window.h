// The "Crop" tool window: the image at a chosen zoom inside a white
// 16-pixel margin, a raised frame the user drags, accept or cancel.
// The crop itself is tools/crop_frame; the record is tools/edit_history.
// While the tool runs, g_hImage is a working copy with the margin (zoomed
// when the zoom is not 100 %); every way out puts the plain image back.
#pragma once

#include <windows.h>

extern HWND g_hwndDummy;
extern int g_zoomEighths;   // 8 is 100 %
extern int g_zoomSaved;     // zoom before the last change, 0 at start
extern RECT g_rcToolBase;   // image without margin, scroll offsets 0
extern RECT g_rcToolImage;  // the same, moved by the scroll offsets
extern RECT g_rcSelect;     // crop rectangle in window pixels, right/bottom exclusive
extern int g_scrollX, g_scrollY, g_scrollRangeX, g_scrollRangeY;

// Opens the tool over its backdrop for the current bitmap (owner: the
// window whose command it was); nothing happens without a bitmap.
void start_crop_tool(HWND owner);
LRESULT CALLBACK crop_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Geometry, window pixels throughout.
// Handle 0..8 under (x, y) for the rectangle sel with drag slop dx, dy.
int crop_handle_at(const RECT* sel, int x, int y, int dx, int dy);
// Moves the handle's edges to the cursor; a cursor past a limit is pulled
// back to it first. Returns 1 when (x, y) had to be corrected.
int crop_drag(int handle, const RECT* image, RECT* sel, int* x, int* y);
// Above 100 % the edges land on whole image pixels, never closer than one.
void crop_snap(int zoom, const RECT* image, RECT* sel);
// sel relative to old_image at zoom `from`, mapped to new_image at `to`.
RECT rescale_crop_rect(const RECT* sel, const RECT* old_image, const RECT* new_image, int to, int from);
// Zoom in eighths of a zoom item of the tool menus, 0 for other ids.
int tool_zoom_for_item(int id);
// Checks the zoom item of g_zoomEighths, unchecks the others.
void tool_check_zoom_items(HMENU menu);
// A tool window's style for an image of w x h window pixels: the scroll
// bars it needs, with g_scrollRangeX/Y set to match.
DWORD tool_window_style(int w, int h);
// New scroll offset in [-range, 0] for a WM_xSCROLL code.
int tool_scroll_offset(int offset, int range, int code, int thumb, int line_step);
// The scroll bar's thumb position in 32 bits, for thumb drags.
int tool_scroll_thumb(HWND hwnd, int bar);
// The tool windows' scrolling keys; returns 0 for any other key.
int tool_scroll_key(HWND hwnd, int key);
// Escape cancels the tool, the scrolling keys scroll.
void tool_on_keydown(HWND hwnd, int key, void (*cancel)(void));
