// The 8-bit DCT JPEG reader on libjpeg-turbo (see jpeg_read.h): the body
// shared with the IJG readers, compiled against turbo's headers, which
// cannot share a source file with the IJG ones. It reads arithmetic-coded
// files too, which the IJG build refuses.
#include "jpeg/jpeg_read.h"

#include <stdio.h>

extern "C" {
#include "jpeglib.h"
#include "jerror.h"
}

#define JPEG_BITS 8
#define READ_JPEG_FUNC read_jpeg_turbo_file
#define JPEG_ERROR_EXIT turbo_error_exit
#define JPEG_IS_LOSSLESS(cinfo) 0
#define JPEG_IS_PROGRESSIVE(cinfo) ((cinfo)->progressive_mode)
#include "jpeg/jpeg_read.inc"
