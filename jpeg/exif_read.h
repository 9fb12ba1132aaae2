// Reading Exif data (information, orientation, thumbnail) and rewriting the
// orientation or removing the segment.
#pragma once

#include <windows.h>

extern int g_exifOrientation;      // 1 to 8, of the last Exif file read
extern HGLOBAL g_hExifInfo;        // information text, freed by the EXIF dialog
extern HGLOBAL g_hExifThumbnail;   // PackedDib, at most 160 x 160

// Opens the EXIF dialog; the orientation, or 0 when not Exif.
int read_exif_info(const char* path);
// Fills g_hExifThumbnail; the orientation, or 0.
int load_exif_thumbnail(const char* path);
void write_exif_orientation(const char* path, int orientation);
void strip_exif_segment(const char* path);
