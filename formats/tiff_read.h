// Reading TIFF files, one page at a time.
#pragma once

#include <windows.h>

// The page *page_index (1-based) as a PackedDib, or 0; sets *format to 27
// and *page_count to the pages of the file.
HGLOBAL read_tiff_file(const char* path, char* info, int* format, int* page_index, int* page_count,
                       HINSTANCE instance);
