// Colour reduction to fixed or optimised palettes, and the standard palettes.
#pragma once

#include <windows.h>

// Replaces *phDib by its 8-bit reduction to count colours (2, 16, 216, 256
// fixed, 257 the display's, others optimised) and keeps the image before it
// in *phUnconverted.
void reduce_colors(HGLOBAL* phDib, HGLOBAL* phUnconverted, int count, UINT image_kind,
                   UINT wait_cursor, UINT dither);
// Fills table (four bytes per entry) with a fixed palette; returns its count.
int get_standard_palette(int count, RGBQUAD* table);
