// Rewriting the image description of every directory of a TIFF file.
#pragma once

#include <windows.h>

// 1 when the page *page_index (1-based) of the file carries the text of
// *phComment as its description (none when null or empty); 0 when the file
// cannot be read, is damaged or cannot be replaced ("Cannot Open File for
// Writing." shown), the file and the text as they were.
int write_tiff_comment(const char* path, HGLOBAL* phComment, int* page_index, int* page_count);
