// Writing TIFF files in strips or tiles.
#pragma once

#include <windows.h>

// 1 on success, 0 on failure; tiled 0 writes strips.
int write_tiff_file(const char* path, int compression, int tiled, HGLOBAL hDib);
