// Writing BMP files: uncompressed, run-length (RLE4/RLE8) and 16- or 32-bit
// bit fields. Each writer borrows the image (locked for the call, never
// freed), returns 1 on success and 0 on failure; the caller shows the
// message. A writer builds the file beside the target and puts it in place
// only when complete, so a failure leaves an existing file as it was.
// Reading is in bmp_read.h.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

enum { BMP_RLE8 = 1, BMP_RLE4 = 2 };

// The image as it is: 1, 4, 8, 16, 24 or 32 bits.
int write_bmp_file(HGLOBAL hDib, const char* path);

// 4-bit images as RLE4, 8-bit images as RLE8; other depths give 0.
int write_bmp_rle_file(const char* path, HGLOBAL hDib);

// Run-length coding of one row of width pixels, end of line included;
// mode BMP_RLE8 or BMP_RLE4. Writes to stream only when write is non-zero;
// returns the number of bytes of the coding either way.
uint32_t encode_bmp_rle(const BYTE* row, int32_t width, int mode, FILE* stream, int write);

// 16- or 32-bit images; option 0 writes masks 5-5-5 or 8-8-8 and the rows
// as they stand, option 1 masks 5-6-5 or 10-10-10.
int write_bmp_bitfields_file(const char* path, HGLOBAL hDib, int option);
