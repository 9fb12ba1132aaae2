// Targa: the reader of image types 1, 2, 3 and their run-length forms 9,
// 10, 11 (origin and interleave honoured, the Image ID taken as the
// comment), the writer, and the rewrite of the Image ID.
#pragma once

#include <windows.h>
#include <stdint.h>

// Reads the Targa file open at its start on file and closes it. info (500
// bytes) may be null; then neither the text nor the comment is written.
// Errors are shown in boxes owned by owner.
HGLOBAL read_tga_file(HFILE file, HWND owner, char* info);

// Types 1, 2, 3, or 9, 10, 11 with run_length. 1 on success; 0 for a depth
// other than 1, 4, 8, 16, 24, 32 or a failed write (the file at path is
// replaced only by a complete file).
int write_tga_file(const char* path, HGLOBAL hImage, int run_length);

// Run-length codes count pixels of bytes_per_pixel bytes into output
// (room for count * (bytes_per_pixel + 1) bytes); returns the bytes written.
size_t encode_tga_row(const BYTE* pixels, BYTE* output, size_t count, int bytes_per_pixel);
size_t count_tga_run(const BYTE* pixels, int bytes_per_pixel, size_t remaining);
size_t count_tga_raw(const BYTE* pixels, int bytes_per_pixel, size_t remaining);
uint32_t tga_pixel_value(const BYTE* pixel, int bytes_per_pixel);

// The most bytes the Image ID holds, and what is said of a longer text,
// which is never written in part.
enum { TGA_COMMENT_MAX_BYTES = 255 };
extern const char TGA_COMMENT_TOO_LONG[];

// Replaces the Image ID of the Targa file at path by the text of
// *textHandle (none when empty), keeping the TGA 2.0 footer's offsets
// right. 1 when rewritten; on failure the file and the text stay and a box
// says why under the path: a text too long for the Image ID, or "Cannot
// Open File for Writing." (rewrite_for_comment).
int write_tga_comment(const char* path, HGLOBAL* textHandle);
