// The "Palette" window: the colour table of the current palette image as a
// grid of swatches. A click opens the colour picker (color_picker.h) on the
// entry; the FRAME dialog and the text tool use the same window to choose
// one of the image's colours.
#pragma once

#include <windows.h>
#include <stdint.h>

LRESULT CALLBACK palette_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Grid of an image with clr_used table entries (0: 2^bit_count): *bits is
// the smallest of 1 to 8 whose power of two holds them (the bit count when
// clr_used is 0), *count the entries, *rows x *columns the grid.
void palette_grid_shape(uint32_t clr_used, int bit_count, int* bits, int* count, int* rows, int* columns);
// The row (or column) of n whose span in an extent of size pixels holds
// the point at; -1 on the first pixel or outside.
int palette_grid_cell(int at, int size, int n);

// Display Palette: the window for the current image, centred on over,
// client area half the screen width square (half as high for an odd bit
// value). Clears the FRAME dialog's handle first.
void open_palette_window(HWND over);
// After the shown file was read again: the open Display Palette window
// shows the colours of what was read, or closes when that has none.
void refresh_palette_window(void);
// The window for choosing a colour of the current image for a tool, with
// that title and client size, at (x, y).
void open_palette_chooser(const char* title, int x, int y, int width, int height);
