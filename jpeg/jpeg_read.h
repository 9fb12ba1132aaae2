// Reading JPEG files (8-bit samples, and 12- or 16-bit samples reduced to 8
// bits) and the probes that choose the reader, with the JPEG facts of the
// current file that the menus and commands read.
#pragma once

#include <windows.h>

#include <stdint.h>

// Colour code of a JPEG file.
enum JpegColorCode {
    JPEG_COLOR_GREY = 0,
    JPEG_COLOR_RGB = 2,
    JPEG_COLOR_YCBCR = 6,
    JPEG_COLOR_CMYK = 4,
    JPEG_COLOR_YCCK = -4,
    JPEG_COLOR_ITU_LAB = 10,
};

extern int g_jpegColorSpace;       // JpegColorCode of the current file
extern int g_jpegProgressive;      // several scans
extern int g_jpegLossless;         // lossless coding process
extern int g_thumbJpegLossless;    // lossless flag of a read without info text
extern HGLOBAL g_hApp12Text;       // text of the first APP12 segment

// A PackedDib, or null after the reader's own message. With info null the
// current-image state is left alone.
HGLOBAL read_jpeg_file(const char* path, char* info);
HGLOBAL read_jpeg12_file(const char* path, char* info);

// The two 8-bit readers read_jpeg_file chooses between: libjpeg-turbo for
// the DCT processes, the IJG build for the lossless ones.
HGLOBAL read_jpeg_turbo_file(const char* path, char* info);
HGLOBAL read_jpeg_ijg8_file(const char* path, char* info);

// Sample precision of the first frame (8, 12 or 16); 8 when none comes
// before the scan; 0 when the file cannot be opened.
int get_jpeg_precision(const char* path);

// 1 when every scan of the file ends in a marker and the end-of-image
// marker comes before the file ends, and the scans together carry every
// component id given (at most 4): arithmetic-coded data that lasts to its
// last MCU, however few bytes a flat picture takes. 0 for a cut file, and
// for an end marker behind a second SOI or frame header (another image's),
// and for a sequential frame's scan after its components were all coded.
int jpeg_scans_reach_end_marker(const char* path, const int* component_ids, int component_count);

// Sets the pixel ceiling of a read of a JPEG file of file_bytes bytes by
// its coding process: the road's ceiling narrowed to the process's ratio,
// a ceiling of its own when no road has begun one, or, for arithmetic
// data that reaches its end marker (jpeg_scans_reach_end_marker), the
// file's whole claim. 1 when it began a ceiling, which the caller ends.
int set_jpeg_pixel_ceiling(uint64_t file_bytes, int arithmetic, int progressive, int lossless, const char* path,
                           const int* component_ids, int component_count);

// 1 when the file starts FF D8 and has an "Exif" APP1 before its first
// scan, wherever it stands among the segments (find_exif_segment).
int is_exif_jpeg(const char* path);

// 1 when a saved APP1 segment of the list (the 8-bit library's marker list,
// may be null) begins with "G3FAX" and a NUL: an ITU fax Lab file.
struct jpeg_marker_struct;
int has_g3fax_marker(const struct jpeg_marker_struct* marker);
