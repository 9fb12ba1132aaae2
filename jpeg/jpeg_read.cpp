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

#include "image/pixel_ceiling.h"
#include "jpeg/exif_read.h"

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

enum {
    HEAD_WINDOW_BYTES = 64 * 1024,  // segments are walked in this much of the file at a time
    SEGMENT_HEAD_BYTES = 10,
};

// Reads the next window of the file behind the current one; its first
// byte, or -1 at the end of the file.
static int refill_window(FILE* fp, unsigned char* window, size_t* have, size_t* at, uint64_t* window_at)
{
    *window_at += *have;
    *have = fread(window, 1, HEAD_WINDOW_BYTES, fp);
    *at = 0;
    if (*have == 0)
        return -1;
    *at = 1;
    return window[0];
}

// Walks the segments from just after SOI to the first frame header whose
// marker is_frame accepts; 1 with its first 10 bytes in head, 0 when the
// scan, the end of the file or a segment shorter than its own length field
// comes first. The file is read in windows, so small segments cost no call
// each; every step moves forward by at least 4 bytes.
static int find_frame_header(const char* path, int (*is_frame)(int marker), unsigned char* head)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return -1;
    static unsigned char window[HEAD_WINDOW_BYTES];
    uint64_t window_at = 0, window_bytes = 0;  // file offset and bytes of the window
    uint64_t position = 2;
    int found = 0;
    for (;;) {
        if (position < window_at || position + SEGMENT_HEAD_BYTES > window_at + window_bytes) {
            if (position > 0x7FFFFFFF || fseek(fp, (long)position, SEEK_SET) != 0)
                break;
            window_at = position;
            window_bytes = fread(window, 1, sizeof window, fp);
            if (window_bytes < SEGMENT_HEAD_BYTES)
                break;
        }
        const unsigned char* segment = window + (position - window_at);
        int marker = segment[1];
        if (is_frame(marker)) {
            memcpy(head, segment, SEGMENT_HEAD_BYTES);
            found = 1;
            break;
        }
        unsigned length = (unsigned)segment[2] << 8 | segment[3];
        if (marker == 0xDA || length < 2)
            break;
        position += length + 2u;
    }
    fclose(fp);
    return found;
}

int jpeg_scans_reach_end_marker(const char* path, const int* component_ids, int component_count)
{
    FILE* fp = path ? fopen(path, "rb") : NULL;
    if (!fp)
        return 0;
    static unsigned char window[HEAD_WINDOW_BYTES];
    size_t have = 0, at = 0;
    uint64_t window_at = 0;
    int seen[4] = {0, 0, 0, 0};
    int in_scan = 0, complete = 0;
    int starts = 0, frames = 0;  // SOI and SOFn markers met
    int progressive = 0;
    // Next byte of the file, -1 at its end.
#define NEXT_BYTE() (at < have ? window[at++] : refill_window(fp, window, &have, &at, &window_at))
    for (;;) {
        int c = NEXT_BYTE();
        if (c < 0)
            break;
        if (c != 0xFF)
            continue;  // entropy-coded data, or stray bytes between segments
        int marker = NEXT_BYTE();
        while (marker == 0xFF)
            marker = NEXT_BYTE();
        if (marker < 0)
            break;
        // A second image's markers are not this one's end: the library
        // refuses a second SOI or frame header, but only after it has made
        // the first frame's arrays.
        if (marker == 0xD8 && ++starts > 1)
            break;
        if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01)
            continue;  // stuffed byte, restart marker, SOI, TEM: no length
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (++frames > 1)
                break;
            progressive = (marker & 3) == 2;  // C2, C6, CA, CE
        }
        if (marker == 0xD9) {
            complete = in_scan;
            break;
        }
        int hi = NEXT_BYTE(), lo = NEXT_BYTE();
        if (lo < 0 || ((hi << 8) | lo) < 2)
            break;
        long rest = ((hi << 8) | lo) - 2;
        if (marker == 0xDA) {
            // A sequential frame codes each component in one scan: a scan
            // after all of them is one the library refuses, but only after
            // it has decoded the whole picture.
            int all_seen = component_count > 0;
            for (int k = 0; k < component_count && k < 4; ++k)
                all_seen = all_seen && seen[k];
            if (!progressive && all_seen)
                break;
            int count = NEXT_BYTE();
            --rest;
            for (int i = 0; i < count && i < 4 && rest >= 2; ++i, rest -= 2) {
                int id = NEXT_BYTE();
                NEXT_BYTE();
                for (int k = 0; k < component_count && k < 4; ++k)
                    if (component_ids[k] == id)
                        seen[k] = 1;
            }
            in_scan = 1;
        }
        // Skips the rest of the segment, within the window or past it.
        if (rest < 0)
            break;
        if ((size_t)rest <= have - at) {
            at += (size_t)rest;
        } else {
            uint64_t target = window_at + at + (uint64_t)rest;
            if (target > 0x7FFFFFFF || fseek(fp, (long)target, SEEK_SET) != 0)
                break;
            window_at = target;
            have = at = 0;
        }
    }
#undef NEXT_BYTE
    fclose(fp);
    for (int k = 0; k < component_count && k < 4; ++k)
        if (!seen[k])
            complete = 0;
    return complete;
}

// Most pixels a byte of the file can give, by coding process, twice the
// coding's own best so that a file cut in half still shows. Huffman codes
// take at least one bit: a sequential block costs its DC code and its end
// of block (2 bits for 64 pixels), a progressive block at least its DC code
// in the first scan (1 bit), a lossless sample its difference (1 bit).
static const uint32_t SEQUENTIAL_PIXELS_PER_BYTE = 2 * 8 / 2 * 64;
static const uint32_t PROGRESSIVE_PIXELS_PER_BYTE = 2 * 8 * 64;
static const uint32_t LOSSLESS_PIXELS_PER_BYTE = 2 * 8;
// Arithmetic coding spends far less than a bit on a flat block: no ratio
// bounds it. Data that lasts to its end marker holds the picture it
// claims, which only the image model's own limit then bounds.
static const uint32_t COMPLETE_ARITHMETIC_PIXELS_PER_BYTE = 0xFFFFFFFFu;

int set_jpeg_pixel_ceiling(uint64_t file_bytes, int arithmetic, int progressive, int lossless, const char* path,
                           const int* component_ids, int component_count)
{
    if (arithmetic && jpeg_scans_reach_end_marker(path, component_ids, component_count)) {
        if (current_pixel_ceiling() == 0) {
            begin_pixel_ceiling(file_bytes, COMPLETE_ARITHMETIC_PIXELS_PER_BYTE);
            return 1;
        }
        widen_pixel_ceiling(file_bytes, COMPLETE_ARITHMETIC_PIXELS_PER_BYTE);
        return 0;
    }
    uint32_t ratio = lossless      ? LOSSLESS_PIXELS_PER_BYTE
                     : progressive ? PROGRESSIVE_PIXELS_PER_BYTE
                                   : SEQUENTIAL_PIXELS_PER_BYTE;
    if (current_pixel_ceiling() == 0) {
        begin_pixel_ceiling(file_bytes, ratio);
        return 1;
    }
    narrow_pixel_ceiling(file_bytes, ratio);
    return 0;
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
    unsigned char soi[2];
    uint32_t start = 0, length = 0;
    int result = fread(soi, 1, 2, fp) == 2 && soi[0] == 0xFF && soi[1] == 0xD8 &&
                 find_exif_segment(fp, &start, &length);
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
#define JPEG_IS_PROGRESSIVE(cinfo) ((cinfo)->process == JPROC_PROGRESSIVE)
#include "jpeg/jpeg_read.inc"
