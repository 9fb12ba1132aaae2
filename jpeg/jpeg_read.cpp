// The 8-bit lossless JPEG reader on the IJG build, the probes that choose a
// reader, and the JPEG facts of the current file (see jpeg_read.h). The
// reader's body is shared through jpeg_read.inc with the 12-bit twin in
// jpeg_read12.cpp and with the DCT reader on libjpeg-turbo in
// jpeg_read_turbo.cpp, which handles every 8-bit file the IJG build does not
// have to: turbo has no lossless process.
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

// Walks the segments from just after SOI to the first frame header whose
// marker is_frame accepts; 1 with its first 10 bytes in head, 0 when the
// scan or the end of the file comes first. Every step moves forward.
static int find_frame_header(const char* path, int (*is_frame)(int marker), unsigned char* head)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return -1;
    uint64_t position = 2;
    int found = 0;
    for (;;) {
        if (position > 0x7FFFFFFF || fseek(fp, (long)position, SEEK_SET) != 0 ||
            fread(head, 1, 10, fp) != 10)
            break;
        int marker = head[1];
        if (is_frame(marker)) {
            found = 1;
            break;
        }
        if (marker == 0xDA)
            break;
        position += ((unsigned)head[2] << 8 | head[3]) + 2u;
    }
    fclose(fp);
    return found;
}

static int is_huffman_frame(int marker)
{
    return marker >= 0xC0 && marker <= 0xC3;
}

// Any SOFn: C0 to CF less DHT (C4), JPG (C8) and DAC (CC).
static int is_any_frame(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int get_jpeg_precision(const char* path)
{
    unsigned char head[10];
    int found = find_frame_header(path, is_huffman_frame, head);
    return found < 0 ? 0 : found ? head[4] : 8;
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

// The lossless processes (SOF3, SOF7, SOF11, SOF15) stay with the IJG
// build, so that their messages are its own.
HGLOBAL read_jpeg_file(const char* path, char* info)
{
    unsigned char head[10];
    int found = find_frame_header(path, is_any_frame, head);
    if (found > 0 && (head[1] & 3) == 3)
        return read_jpeg_ijg8_file(path, info);
    return read_jpeg_turbo_file(path, info);
}

#define JPEG_BITS 8
#define READ_JPEG_FUNC read_jpeg_ijg8_file
#define JPEG_ERROR_EXIT jpeg_error_exit
#define JPEG_IS_LOSSLESS(cinfo) ((cinfo)->process == JPROC_LOSSLESS)
#include "jpeg/jpeg_read.inc"
