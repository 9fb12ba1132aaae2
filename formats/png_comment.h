// Rewriting the "Description" text of a PNG file.
#pragma once

#include <windows.h>

// 1 when the file now carries the text of *phComment (none when null or
// empty); 0 when it cannot be read, is not a whole PNG or cannot be
// replaced ("Cannot Open File for Writing." shown), the file and the text
// as they were.
int write_png_comment(const char* path, HGLOBAL* phComment);
