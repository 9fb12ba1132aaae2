// Rotation by any angle and skew of an image onto a background colour, by
// nearest pixel or smooth (bilinear, or linear along the shear) sampling.
// Palette images come back with the same colour table, compacted to the
// fewest bits it needs.
#pragma once

#include <windows.h>
#include <stdint.h>

// Channel 0 red (or the colour index of a palette image), 1 green, 2 blue,
// 3 alpha; 16-bit pixels give their 5-bit fields.
struct PixelSample {
    double c[4];
};

// The channels of pixel (x, y), y from the bottom row, or those of the
// background when the position is outside the image (alpha 0). rows is the
// first stored row. Bit counts other than 1, 4, 8, 16, 24, 32 write nothing.
void read_pixel_checked(PixelSample* out, int x, int y, int width, int height, uint32_t stride,
                        int bit_count, COLORREF background, BYTE background_index, const BYTE* rows);

// Turn clockwise as seen by angle degrees (any finite value); the result is
// the bounding box of the turned picture. A palette result is filled with
// background_index when use_given_index is set, else with the table entry
// nearest the background. 1 with *phDib replaced (old block freed); 0 with
// the image unchanged (unsupported depth; a result past the size limit or
// one that memory cannot hold, after "Insufficient Memory for this
// Operation.").
int rotate_by_angle(HGLOBAL* phDib, double angle, COLORREF background, int use_given_index,
                    BYTE background_index, int smooth);

// The widest shear the Skew dialog offers; beyond it the result grows
// without bound.
const double MAX_SKEW_DEGREES = 80.0;

// Shear by angle degrees (-80 to 80; others are refused): direction
// EDIT_SKEW_H (42) shifts rows to the right, the top row most for a
// positive angle; EDIT_SKEW_V (43) shifts columns upwards, the right
// column most for a positive angle. Results as for rotate_by_angle.
int skew_by_angle(HGLOBAL* phDib, double angle, COLORREF background, int use_given_index,
                  BYTE background_index, int smooth, int direction);
