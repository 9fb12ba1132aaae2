// The GIF writer (a palette image of 1, 4 or 8 bits as a one-image GIF89a,
// interlaced or not, with a graphic control extension for a transparent
// index) and the rewrite of a GIF file's comments. Reading is in
// gif_read.h.
#pragma once

#include <windows.h>

// Writes the packed DIB to path. The transparent index (g_hasTransparency,
// g_transparentIndex) is written when no colour conversion is in force, with
// g_transparentDisplayColor as its table entry. The file at path is replaced
// only when the whole file was written and closed. 1 on success; 0 when the
// image is not 1, 4 or 8 bits, memory runs out or the file cannot be
// written (the caller reports it).
int write_gif_file(const char* path, HGLOBAL hImage, int interlace);

// Replaces the comments of the GIF at path, before the first image and
// between later images alike, by the text of *textHandle written before the
// first image (none when null or empty), and makes it version 89a.
// The new file is built completely before the original is touched; a
// damaged or truncated file, or any failure, leaves the original as it was
// and "Cannot Open File for Writing." is shown with the path as caption
// (rewrite_for_comment). Only when the new file could not replace the
// original is *textHandle freed and cleared. 1 when the file was rewritten.
int write_gif_comment(const char* path, HGLOBAL* textHandle);
