// Brightness steps, the negative, and the background swatch.
#pragma once

#include <windows.h>

void adjust_brightness(HGLOBAL hDib, RGBQUAD* base_table, int* amount, int step, HGLOBAL* phCopy);
void invert_colors(HGLOBAL hDib);
// 32 x 32 8-bit image of the background colour with count table entries.
HGLOBAL make_background_swatch(int count);
