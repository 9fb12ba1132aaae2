// Deforming the image onto a sphere.
#pragma once

#include <windows.h>

// New 24-bit image, or 0; the source is never freed here.
HGLOBAL deform_to_sphere(HGLOBAL hDib, COLORREF background);
