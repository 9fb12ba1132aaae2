// The small picture a camera stores in a JPEG's Exif data, for the batch
// window's grid. Only the Exif segment is read, never the image itself.
#pragma once

#include <windows.h>

// The JPEG thumbnail of the file's second Exif directory shrunk to fit
// 160 x 160 (proportions kept), or null when the file has none; the caller
// frees it. *orientation gets the Exif orientation (1 to 8 as stored, 0 when
// there is none or the file is not Exif). Shows no message of its own.
HGLOBAL read_batch_thumbnail(const char* path, int* orientation);

// Locates the thumbnail inside an Exif TIFF block (the APP1 data after
// "Exif\0\0"): its offset and length in the block, and the orientation.
// 1 when a JPEG thumbnail lies wholly inside the block.
int find_exif_thumbnail(const BYTE* tiff, DWORD tiff_length, DWORD* offset, DWORD* length, int* orientation);

// 1 when the file's first frame header is of a lossless process (SOF3,
// SOF7, SOF11, SOF15); such files cannot be turned without decoding.
int is_lossless_jpeg(const char* path);
