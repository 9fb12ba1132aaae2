// Resize, rotation by any angle and skew of the current image, keeping its
// colour conversion, toning and brightness.
#pragma once

#include <windows.h>

// The resized image, or null; *phDib may have been replaced by a working
// copy meanwhile (the caller frees what it holds afterwards).
HGLOBAL resize_current_image(HGLOBAL* phDib, int width, int height, int* color_conversion,
                             int* brightness_step, RGBQUAD* base_table, int disable_spline);
// Mode 4 rotates by g_rotateAngle, 42 and 43 skew; the handle is replaced.
// 1 when the image was turned or sheared (or the angle is 0); 0 when it was
// not (another mode, a refused angle, lack of memory), though a palette
// image may have been converted on the way.
int rotate_skew_current_image(HGLOBAL* phDib, int* color_conversion, int* brightness_step,
                              RGBQUAD* base_table, COLORREF background, int mode);
