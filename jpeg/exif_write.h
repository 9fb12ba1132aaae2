// Building an Exif segment for an image and putting it into a JPEG file.
#pragma once

#include <windows.h>
#include <stdio.h>

// Writes dest_path as a copy of the source JPEG with a new Exif APP1 built
// from the image; 1 when written, 0 when dest_path cannot be opened. The
// source stays open.
int insert_exif_segment(FILE* source, const char* dest_path, HGLOBAL hDib, int color_code,
                        int lossless);
