// Reading and writing PNG files.
#pragma once

#include <windows.h>

// A PackedDib (32 bits where the PNG has alpha), or null after its message.
HGLOBAL read_png_file(const char* path, char* info);
// 1 when written, 0 on failure; interlace 1 writes Adam7.
int write_png_file(const char* path, HGLOBAL hDib, int interlace);
