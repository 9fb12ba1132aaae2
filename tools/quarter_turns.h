// Exact quarter turns and flips of an image of any depth, each updating the
// orientation word (the turn-and-mirror state 0 to 7 of the picture in its
// low three bits; bit 3 is kept, higher bits are cleared by every tool).
#pragma once

#include <windows.h>

// New block replaces the handle; 0 on lack of memory, everything unchanged.
int rotate_cw90(HGLOBAL* phDib, int* orientation);
int rotate_ccw90(HGLOBAL* phDib, int* orientation);
// In place; 0 when a work buffer cannot be had. A failed second flip of
// rotate_180 leaves the image (and the word) mirrored left-right.
int rotate_180(HGLOBAL hDib, int* orientation);
int flip_left_right(HGLOBAL hDib, int* orientation);
int flip_top_bottom(HGLOBAL hDib, int* orientation);
// Reverses the pixel order of one row of 1, 4, 8, 16, 24 or 32 bits in
// place; work holds at least width bytes. Bits past the width end up 0.
void reverse_row_pixels(BYTE* row, int width, int bit_count, BYTE* work);
// Brings a picture stored in the state of *orientation upright.
void apply_orientation_normalize(HGLOBAL* phDib, int* orientation);
