// JPEG 2000 (two decoders) and Sun raster readers.
#pragma once

#include <windows.h>

// Null with no message; the loader then tries the second decoder.
HGLOBAL read_jpeg2000_jasper(const char* path, char* info);
// *format is 16 (code stream) or 17 (JP2); null for any other.
HGLOBAL read_jpeg2000_openjpeg(const char* path, char* info, int* format);
HGLOBAL read_image_jasper(const char* path, char* info);
