// Crop, frame, the 16-pixel margin of the crop window, and promotion to
// 24 bits.
#pragma once

#include <windows.h>

// The rectangle (cut to the image) as a new image; 0 when nothing is left
// of it or on lack of memory.
HGLOBAL crop_image(int left, int top, int width, int height, HGLOBAL hDib);
// Replaces the image by one with a border of those widths; 0 when a width
// is negative or the new block cannot be had (image kept, no message).
int add_frame(HGLOBAL* phDib, DWORD color, int left, int top, int right, int bottom,
              BYTE palette_index, int transparent_frame);
HGLOBAL add_margin16(HGLOBAL hDib);
HGLOBAL strip_margin16(HGLOBAL hDib);
// New 24-bit image; the source itself when it is 24 bits already; 0 on failure.
HGLOBAL to_truecolor24(HGLOBAL hDib);
