// Building an Exif segment for an image and putting it into a JPEG file.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

// Sizes of the segment built here: the TIFF block before the thumbnail, and
// the longest thumbnail an APP1 length can describe.
enum { EXIF_TIFF_HEADER_SIZE = 294, EXIF_MAX_THUMBNAIL = 65535 - 8 - EXIF_TIFF_HEADER_SIZE };

// Low 16 bits, or all 32, at dest: big-endian for 0x4D4D ("MM"), else
// little-endian.
void put_exif_u16(uint32_t value, uint16_t order, BYTE* dest);
void put_exif_u32(uint32_t value, uint16_t order, BYTE* dest);

// Writes an Exif APP1 segment (main-image, Exif and thumbnail directories
// and a JPEG thumbnail of at most 160 x 160) for the image at the stream's
// position. color_code is the JpegColorCode stored as ColorSpace; lossless
// asks for a lossless thumbnail. 1 when the whole segment was written, 0
// when nothing was.
int build_exif_segment(HGLOBAL hDib, FILE* out, int color_code, int lossless);

// The Orientation the segments built from now on carry (outside 1 to 8: 1,
// the default): a JPEG written from a photo's pixels as they are stored
// keeps the photo's, so that it stands as it stood. Returns the one it
// replaces, which the caller puts back.
int set_exif_build_orientation(int orientation);

// Writes dest_path as a copy of the source JPEG (read from its first byte)
// with a new Exif APP1 right after SOI and a leading APP0, its other APP1
// segments dropped and its tables merged. The file at dest_path is replaced
// only when the copy is complete. 1 when written; 0 when dest_path cannot be
// written or the source's segments are corrupt (dest_path then untouched).
// The source stays open.
int insert_exif_segment(FILE* source, const char* dest_path, HGLOBAL hDib, int color_code,
                        int lossless);

// The same for a JPEG being encoded: data holds its first length bytes, at
// least through the first scan header; they go to out, which is open for
// the rest of the file, with the Exif segment put in. 1 when all written.
int write_exif_jpeg_head(const BYTE* data, uint32_t length, FILE* out, HGLOBAL hDib,
                         int color_code, int lossless);
