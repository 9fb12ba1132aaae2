// The 12-bit JPEG writer (see jpeg_write.h): the body shared with the 8-bit
// writer, compiled against the 12-bit library build; no Exif segment.
#include "jpeg/jpeg_write.h"

#include <stdio.h>

extern "C" {
#include "jpeglib12.h"
#include "jerror12.h"
}

#define JPEG_BITS 12
#define WRITE_JPEG_FUNC write_jpeg12_file
#define WRITER_ERROR_EXIT jpeg12_writer_error_exit
#include "jpeg/jpeg_write.inc"
