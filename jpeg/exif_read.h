// Reading Exif data (information, orientation, thumbnail) and rewriting the
// orientation or removing the segment.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

extern int g_exifOrientation;      // 1 to 8, of the last Exif file read
extern HGLOBAL g_hExifInfo;        // information text, freed by the EXIF dialog
extern HGLOBAL g_hExifThumbnail;   // PackedDib, at most 160 x 160

// The first Exif APP1 of the JPEG open in fp before its first scan,
// wherever it stands among the segments (after an APP14, say): its offset
// (at FF E1) and length field. A segment cut short by the file's end is
// found too. 0 when there is none or the segments break before one.
int find_exif_segment(FILE* fp, uint32_t* start, uint32_t* length);

// Builds g_hExifInfo and g_hExifThumbnail and opens the EXIF dialog, which
// frees both; the orientation (0 when the file has none), or 0 when the
// file is not Exif ("Not Exif" box) or cannot be opened (no box).
int read_exif_info(const char* path);
// Fills g_hExifThumbnail (null when the file has none; the caller frees it);
// the orientation, 0 when there is none, when the file is not Exif ("Not
// Exif" box) or cannot be opened ("Cannot open EXIF-JPEG file." box).
int load_exif_thumbnail(const char* path);
// Fits g_hExifThumbnail into 160 x 160, keeping its proportions.
void shrink_exif_thumbnail(void);
// Frees g_hExifInfo and g_hExifThumbnail and sets them to null.
void release_exif_data(void);
// The Orientation entry of the JPEG open in fp (read from its first byte),
// in its own type (SHORT or LONG, the first of any count): 1 to 8 as
// stored, 1 when there is none or it cannot be read, 0 when the file is not
// Exif ("Not Exif" box). Also stored in g_exifOrientation.
int read_exif_orientation(FILE* fp);
// The Orientation of the JPEG at path, read in the entry's own type
// (SHORT or LONG, its first value): 1 to 8, or 0 when the file has no
// Exif, no such entry or one that cannot be read; *unreadable, when given,
// tells the last (another type, values outside the segment, a value
// outside 1 to 8). No box.
int exif_orientation_of(const char* path, int* unreadable = NULL);
// The orientation after a lossless transform numbered 1 to 8 (transform
// code + 1) turned the stored pixels, such that the picture shown turns
// the same way; 0 when either is outside 1 to 8.
int compose_exif_orientation(int orientation, int transform);
// Rewrites the Orientation entries of the file's Exif segment, each in its
// own type and place; an entry that cannot be read keeps its bytes. Nothing
// changes when orientation is outside 1 to 8 or the file is corrupt. 1 when
// rewritten; 0 otherwise, after a message when the file could not be.
int write_exif_orientation(const char* path, int orientation);

// Makes a turned JPEG thumbnail from the stored one: a new block from
// malloc in *turned (the caller frees it); 0 when it cannot.
typedef int (*ExifThumbnailTurn)(const BYTE* jpeg, uint32_t length, BYTE** turned, uint32_t* turned_length,
                                 void* context);
// Copies the JPEG in (whole, from its first byte) to out with the first
// Exif segment before the scan, wherever it stands, moved right after SOI
// and a leading APP0, its Orientation entries set to orientation (outside
// 1 to 8: left as they are) and, when turn is given, its JPEG thumbnail
// replaced by what turn makes of it. A thumbnail that cannot be turned (not
// a JPEG, broken, or too big for the segment) is unlinked rather than left
// to contradict the picture; a segment too short for its TIFF header is
// kept as it stands. A file without Exif is copied as it is. 0 when the
// segment cannot be read or a write fails.
int copy_exif_turned(FILE* in, FILE* out, int orientation, ExifThumbnailTurn turn, void* context);
void strip_exif_segment(const char* path);
