// The "Merge" tool window: the current image at a chosen zoom with a second
// image (from a file or the clipboard) laid over it, dragged into place and
// merged as one recorded edit. Also the window maker and the point mapping
// that the "Text" tool window shares. The merge itself is tools/merge_image.
#pragma once

#include <windows.h>

extern int g_grabX, g_grabY;  // image point of the last grab (merge and text tools)

// Opens the tool over its backdrop for the current bitmap; the source comes
// with the first mouse move, from the clipboard or from a file.
void start_merge_tool(HWND owner, int from_clipboard);
LRESULT CALLBACK merge_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Creates a "Text" or "Merge" window over the backdrop for the current image
// at g_zoomEighths, with the scroll bars the zoomed image needs.
void create_tool_window(HWND* slot, const char* class_name);

// Sets the zoom; when it changed, *slot is replaced by a window of the new
// size (true), or null when that window could not be made.
bool tool_change_zoom(HWND* slot, const char* class_name, int zoom);

// The current image's size, and at g_zoomEighths (capped so that window
// arithmetic stays in int).
bool tool_image_size(int* w, int* h);
void tool_zoomed_size(int* zw, int* zh);

// The image pixel under window point (x, y) of a tool window.
void tool_map_point(HWND hwnd, int x, int y, int* ix, int* iy);

// Stretches the w x h picture in mem into the tool window at the zoom.
void tool_show_zoomed(HWND hwnd, HDC dc, HDC mem, int w, int h, int stretch_mode);

// The image pixel under window point (x, y): the zoomed image (zoomed_w x
// zoomed_h) is centred in a client dimension it fits, else at the scroll
// offset (0 or negative) of that dimension.
void tool_point_to_image(int x, int y, int client_w, int client_h, int zoomed_w, int zoomed_h, int zoom,
                         int scroll_x, int scroll_y, int* ix, int* iy);

// The shared scrolling of the tool windows.
void tool_on_scroll(HWND hwnd, int bar, int code);

// The main dialog's filter list without its second pair (the multimedia
// files), as a double-NUL list in out (size bytes, cut to fit).
void merge_filter(char* out, size_t size);

// Status texts of the merge tool: zoom, image size, source rectangle.
void update_merge_status(int x, int y);
