// Writing JPEG files: 8-bit (through a temporary file, with an Exif
// segment) and 12-bit.
#pragma once

#include <windows.h>

// 1 when written, 0 on failure; the image is borrowed.
int write_jpeg_file(const char* path, int quality, HGLOBAL hDib, int progressive, int lossless,
                    int show_progress_flag);
int write_jpeg12_file(const char* path, int quality, HGLOBAL hDib, int progressive, int lossless,
                      int show_progress_flag);
