// Brightness steps along a power curve, the negative, and the background
// swatch. A palette image changes only its colour table, rebuilt from the
// saved base table for the accumulated amount, so steps undo exactly; a
// true-colour image is changed pixel by pixel (in place or into a copy).
#pragma once

#include <windows.h>

// Palette images: step 0 puts the base table back and sets *amount to 0;
// otherwise the table is saved as the base when *amount is 0, *amount +=
// step and the table is rebuilt from the base. 16-, 24- and 32-bit images:
// step 0 sets *amount to 0; otherwise the step's own curve is applied to
// the pixels (alpha kept), in place, or into a new image stored in *phCopy
// (which holds hDib itself when the copy cannot be had). Returns 1 when the
// step was applied, 0 when nothing changed (lack of memory, no base table
// for a palette image, unsupported image).
int adjust_brightness(HGLOBAL hDib, RGBQUAD* base_table, int* amount, int step, HGLOBAL* phCopy);
// 255 - value for every colour byte (or 5-bit field) of a deeper image, or
// every table entry of a palette image; the transparent entry of the
// current image's transparency is kept and its display colour inverted
// instead. 0 for an image it cannot handle.
int invert_colors(HGLOBAL hDib);
// 32 x 32 8-bit image of index 0 with count table entries, entry 0 the
// current background colour; null when no memory or count is out of range.
HGLOBAL make_background_swatch(int count);

// The Brighten (+1) and Darken (-1) commands on the current image: a
// true-colour image without unconverted copy is first reduced to 256
// optimised colours (the full-colour image kept as the copy), and dropped
// back to it when the amount returns to 0 with no colour conversion in
// force. Returns 1 when the image changed; 0 with the image as it was.
int step_current_brightness(int step);
// The Negative command on the current image and its unconverted copy; it
// also cancels the brightness steps of a palette image. 1 when done.
int invert_current_image(void);
