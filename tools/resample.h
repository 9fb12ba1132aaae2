// Resizing an image: nearest pixel, and smooth resampling (area averaging
// when shrinking, cubic spline when enlarging).
#pragma once

#include <windows.h>

// New image of that size, or null; the source is left alone.
HGLOBAL resize_nearest(HGLOBAL hDib, int width, int height);
HGLOBAL resample_image(HGLOBAL hDib, int width, int height);
