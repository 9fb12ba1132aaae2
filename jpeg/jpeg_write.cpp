// The 8-bit JPEG writer (see jpeg_write.h): encodes through the 8-bit
// library build and gives every file an Exif segment. The body is shared
// with the 12-bit twin in jpeg_write12.cpp through jpeg_write.inc.
#include "jpeg/jpeg_write.h"

#include <stdio.h>

extern "C" {
#include "jpeglib8.h"
#include "jerror8.h"
}

#define JPEG_BITS 8
#define WRITE_JPEG_FUNC write_jpeg_file
#define WRITER_ERROR_EXIT jpeg_writer_error_exit
#include "jpeg/jpeg_write.inc"
