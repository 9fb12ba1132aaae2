// Writing TIFF files in strips or tiles.
#pragma once

#include <windows.h>

// 1 on success, 0 on failure; tiled 0 writes strips.
int write_tiff_file(const char* path, int compression, int tiled, HGLOBAL hDib);
// Why the image cannot be written with this compression (fax and JBIG
// codes on an image that is not black and white, JBIG in tiles), or null.
const char* tiff_write_refusal(HGLOBAL hDib, int compression, int tiled);
