// Lossless-coded JPEG files turned, flipped or made grey by decoding,
// changing and encoding them again losslessly (the coefficient transforms
// of jpeg/jpegtran.h cannot read them).
#pragma once

#include <windows.h>

// The route codes of the turning commands: quarter turns in degrees
// clockwise (90, 180, 270), -1 flip left-right, -2 flip top-bottom,
// -3 transpose, -4 transverse, 0 grey scale.
//
// Reads source, changes the picture by code and writes it to output as a
// lossless Huffman JPEG (the file is replaced only when complete). 1 when
// written; 0 after the failure was reported (nothing is written).
int reencode_jpeg_file(const char* source, const char* output, int code);

// The command: asks for the output name in the Save dialog owned by owner
// (starting with the current file's name), writes the changed picture
// there, refreshes the file list and shows the current file again.
void transform_jpeg_file(HWND owner, int code);
