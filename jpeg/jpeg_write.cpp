// The 8-bit JPEG writer (see jpeg_write.h). Standard and progressive files
// are encoded by libjpeg-turbo (jpeg_write_turbo.cpp); lossless ones, which
// turbo cannot make, by the 8-bit IJG build through the body shared with the
// 12-bit twin in jpeg_write12.cpp (jpeg_write.inc). Every file gets an Exif
// segment.
#include "jpeg/jpeg_write.h"

#include <stdio.h>

#include "jpeg/jpeg_write_turbo.h"

extern "C" {
#include "jpeglib8.h"
#include "jerror8.h"
}

static int write_jpeg_ijg8_file(const char* path, int quality, HGLOBAL hDib, int progressive,
                                int lossless, int show_progress_flag);

// Progressive takes precedence over lossless, whose flag then only asks for
// a lossless thumbnail.
int write_jpeg_file(const char* path, int quality, HGLOBAL hDib, int progressive, int lossless,
                    int show_progress_flag)
{
    if (lossless && !progressive)
        return write_jpeg_ijg8_file(path, quality, hDib, progressive, lossless, show_progress_flag);
    return write_jpeg_turbo_file(path, quality, hDib, progressive, lossless, show_progress_flag);
}

#define JPEG_BITS 8
#define WRITE_JPEG_FUNC static write_jpeg_ijg8_file
#define WRITER_ERROR_EXIT jpeg_writer_error_exit
#include "jpeg/jpeg_write.inc"
