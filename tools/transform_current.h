// Resize, rotation by any angle and skew of the current image, keeping its
// colour conversion, toning and brightness.
#pragma once

#include <windows.h>

// The resized image, or null; *phDib may have been replaced by a working
// copy meanwhile (the caller frees what it holds afterwards).
HGLOBAL resize_current_image(HGLOBAL* phDib, int width, int height, int* color_conversion,
                             int* brightness_step, RGBQUAD* base_table, int disable_spline);
// Mode 4 rotates by g_rotateAngle, 42 and 43 skew; the handle is replaced.
void rotate_skew_current_image(HGLOBAL* phDib, int* color_conversion, int* brightness_step,
                               RGBQUAD* base_table, COLORREF background, int mode);
