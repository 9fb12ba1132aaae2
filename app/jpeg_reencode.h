// Lossless-coded JPEG files turned, flipped or made grey by decoding,
// changing and encoding them again losslessly (the coefficient transforms
// of jpeg/jpegtran.h cannot read them); and the question every lossless
// transform asks before it rewrites the file shown.
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

// Whether a lossless transform may write output: 1 when output is not the
// file shown, when the picture shown is the file's (no edits, nothing
// changed for good), or when the user, asked under owner, agrees that the
// changes on screen will be lost (the reload that shows the rewritten file
// cannot carry them onto another picture). 0: nothing is to be written.
int may_rewrite_shown_file(HWND owner, const char* output);
