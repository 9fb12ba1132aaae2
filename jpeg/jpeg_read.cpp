// The 8-bit JPEG reader, the probes that choose a reader, and the JPEG facts
// of the current file (see jpeg_read.h). The reader's body is shared with
// the 12-bit twin in jpeg_read12.cpp through jpeg_read.inc.
#include "jpeg/jpeg_read.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

extern "C" {
#include "jpeglib8.h"
#include "jerror8.h"
}

int g_jpegColorSpace;
int g_jpegProgressive;
int g_jpegLossless;
int g_thumbJpegLossless;
HGLOBAL g_hApp12Text;

int has_g3fax_marker(const struct jpeg_marker_struct* marker)
{
    for (; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length > 5 &&
            memcmp(marker->data, "G3FAX", 6) == 0)
            return 1;
    }
    return 0;
}

int get_jpeg_precision(const char* path)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return 0;
    // Segments are walked by their lengths from just after SOI; every step
    // moves forward, and a read past the end stops the walk.
    uint64_t position = 2;
    int precision = 8;
    for (;;) {
        unsigned char head[10];
        if (position > 0x7FFFFFFF || fseek(fp, (long)position, SEEK_SET) != 0 ||
            fread(head, 1, sizeof head, fp) != sizeof head)
            break;
        int marker = head[1];
        if (marker >= 0xC0 && marker <= 0xC3) {
            precision = head[4];
            break;
        }
        if (marker == 0xDA)
            break;
        position += ((unsigned)head[2] << 8 | head[3]) + 2u;
    }
    fclose(fp);
    return precision;
}

int is_exif_jpeg(const char* path)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return 0;
    unsigned char head[10];
    int result = 0;
    if (fread(head, 1, 2, fp) == 2 && head[0] == 0xFF && head[1] == 0xD8 &&
        fread(head, 1, sizeof head, fp) == sizeof head) {
        int ok = 1;
        if (head[0] == 0xFF && head[1] == 0xE0) {
            long next = ((long)head[2] << 8 | head[3]) + 4;
            ok = fseek(fp, next, SEEK_SET) == 0 && fread(head, 1, sizeof head, fp) == sizeof head;
        }
        result = ok && head[0] == 0xFF && head[1] == 0xE1 && memcmp(head + 4, "Exif", 4) == 0;
    }
    fclose(fp);
    return result;
}

#define JPEG_BITS 8
#define READ_JPEG_FUNC read_jpeg_file
#define JPEG_ERROR_EXIT jpeg_error_exit
#include "jpeg/jpeg_read.inc"
