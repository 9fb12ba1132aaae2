// Rows of a PackedDib as the JPEG encoders take them: red, green, blue bytes
// for colour, one byte per pixel for images with a grey colour table.
#pragma once

#include <windows.h>
#include <stdint.h>

// 1 when the image has a colour table and every entry is grey.
int dib_has_grey_table(const BITMAPINFOHEADER* bih);

// Bytes of one stored row (padded to 4), or 0 for an unsupported depth.
uint32_t dib_source_row_bytes(const BITMAPINFOHEADER* bih);

// One row of a 1-, 4-, 8-, 16- (5-5-5), 24- or 32-bit image as 3 x width
// bytes. Palette indices past the table read entry 0.
void dib_row_to_rgb(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* rgb);

// One row of a 1-, 4- or 8-bit image as width bytes: the red value of each
// pixel's table entry.
void dib_row_to_grey(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* grey);
