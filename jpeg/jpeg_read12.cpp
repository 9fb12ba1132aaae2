// The 12-bit JPEG reader (see jpeg_read.h): the body shared with the 8-bit
// reader, compiled against the 12-bit library build.
#include "jpeg/jpeg_read.h"

#include <stdio.h>

extern "C" {
#include "jpeglib12.h"
#include "jerror12.h"
}

#define JPEG_BITS 12
#define READ_JPEG_FUNC read_jpeg12_file
#define JPEG_ERROR_EXIT jpeg12_error_exit
#define JPEG_IS_LOSSLESS(cinfo) ((cinfo)->process == JPROC_LOSSLESS)
#define JPEG_IS_PROGRESSIVE(cinfo) ((cinfo)->process == JPROC_PROGRESSIVE)
#include "jpeg/jpeg_read.inc"
