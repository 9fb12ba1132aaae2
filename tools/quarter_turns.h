// Exact quarter turns and flips of an image of any depth, each updating the
// orientation word (the turn-and-mirror state 0 to 7 of the picture).
#pragma once

#include <windows.h>

// New block replaces the handle; 0 on lack of memory, everything unchanged.
int rotate_cw90(HGLOBAL* phDib, int* orientation);
int rotate_ccw90(HGLOBAL* phDib, int* orientation);
// In place; 0 when a work buffer cannot be had.
int rotate_180(HGLOBAL hDib, int* orientation);
int flip_left_right(HGLOBAL hDib, int* orientation);
int flip_top_bottom(HGLOBAL hDib, int* orientation);
// Brings a picture stored in the state of *orientation upright.
void apply_orientation_normalize(HGLOBAL* phDib, int* orientation);
