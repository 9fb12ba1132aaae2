// Encoding 8-bit DCT JPEG with libjpeg-turbo: the main writer's path for
// every file but a lossless one, and the Exif thumbnail.
#pragma once

#include <windows.h>
#include <stdint.h>

// write_jpeg_file for standard and progressive files (see jpeg_write.h);
// lossless asks only for a lossless thumbnail.
int write_jpeg_turbo_file(const char* path, int quality, HGLOBAL hDib, int progressive,
                          int lossless, int show_progress_flag);

// Encodes a small locked image (a thumbnail) into memory: *jpeg and *length,
// which the caller frees with free() whatever the result. rgb holds one row
// of 3 x width bytes; is_rgb stores the colours as red, green and blue
// instead of Y/Cb/Cr. 1 when encoded; no message on failure.
int encode_turbo_thumbnail(const BITMAPINFOHEADER* bih, BYTE* rgb, int quality, int is_rgb,
                           BYTE** jpeg, uint32_t* length);
