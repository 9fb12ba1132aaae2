// The Exif segment builder and its insertion into a JPEG file (see
// exif_write.h). The thumbnail is encoded with libjpeg-turbo into memory, or
// (lossless) with the 8-bit IJG build into a temporary file; it and the
// file the segment goes into pass through one segment walk that merges the
// quantisation and Huffman tables and puts the frame and scan headers last.
// The walk reads a stream or a block in memory (the head of a file still
// being encoded, see jpeg_write_turbo.cpp) and trusts no length: a segment
// shorter than its length field or running past the end makes the file
// corrupt, and nothing is written from it.
#include "jpeg/exif_write.h"

#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "image/temp_file.h"
#include "jpeg/dib_rows.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write_turbo.h"
#include "tools/resample.h"

#include <setjmp.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

extern "C" {
#include "jpeglib8.h"
#include "jerror8.h"
}

enum {
    THUMBNAIL_SIDE = 160,
    THUMBNAIL_QUALITY = 85,
    THUMBNAIL_SAMPLES = 4,         // samples per thumbnail pixel, each way
    MAX_SEGMENT_BYTES = 65535 + 2,   // a whole segment: marker and 16-bit length
    ORDER_MM = 0x4D4D,
};

void put_exif_u16(uint32_t value, uint16_t order, BYTE* dest)
{
    if (order == ORDER_MM) {
        dest[0] = (BYTE)(value >> 8);
        dest[1] = (BYTE)value;
    } else {
        dest[0] = (BYTE)value;
        dest[1] = (BYTE)(value >> 8);
    }
}

void put_exif_u32(uint32_t value, uint16_t order, BYTE* dest)
{
    if (order == ORDER_MM) {
        put_exif_u16(value >> 16, order, dest);
        put_exif_u16(value & 0xFFFF, order, dest + 2);
    } else {
        put_exif_u16(value & 0xFFFF, order, dest);
        put_exif_u16(value >> 16, order, dest + 2);
    }
}

// ---------------------------------------------------------------------------
// Segment walk

// Where the walk writes: a stream, or a memory block of fixed capacity.
struct ByteSink {
    FILE* fp;
    BYTE* data;
    size_t capacity;
    size_t length;
    int failed;
};

static void sink_write(ByteSink* sink, const void* bytes, size_t count)
{
    if (sink->failed || count == 0)
        return;
    if (sink->fp) {
        if (fwrite(bytes, 1, count, sink->fp) != count)
            sink->failed = 1;
        return;
    }
    if (count > sink->capacity - sink->length) {
        sink->failed = 1;
        return;
    }
    memcpy(sink->data + sink->length, bytes, count);
    sink->length += count;
}

// What the walk reads: a stream, or size bytes at data.
struct ByteSource {
    FILE* fp;
    const BYTE* data;
    uint32_t size;
};

static int read_at(const ByteSource* in, uint32_t offset, void* bytes, size_t count)
{
    if (!in->fp) {
        if (offset > in->size || count > in->size - offset)
            return 0;
        memcpy(bytes, in->data + offset, count);
        return 1;
    }
    return fseek(in->fp, (long)offset, SEEK_SET) == 0 && fread(bytes, 1, count, in->fp) == count;
}

// Copies count bytes from offset of the source; 0 when they cannot be read.
static int copy_range(const ByteSource* in, uint32_t offset, uint32_t count, ByteSink* sink)
{
    if (!in->fp) {
        if (offset > in->size || count > in->size - offset)
            return 0;
        sink_write(sink, in->data + offset, count);
        return !sink->failed;
    }
    BYTE buffer[8192];
    if (fseek(in->fp, (long)offset, SEEK_SET) != 0)
        return 0;
    while (count > 0) {
        size_t chunk = count < sizeof buffer ? count : sizeof buffer;
        if (fread(buffer, 1, chunk, in->fp) != chunk)
            return 0;
        sink_write(sink, buffer, chunk);
        count -= (uint32_t)chunk;
    }
    return !sink->failed;
}

// Size of the stream in bytes; 0 when unknown or 2 GiB or more.
static uint32_t stream_size(FILE* in)
{
    if (fseek(in, 0, SEEK_END) != 0)
        return 0;
    long size = ftell(in);
    return size > 0 ? (uint32_t)size : 0;
}

// A table accumulator: one DQT or DHT segment collecting the tables of all.
struct TableSegment {
    BYTE* bytes;      // MAX_SEGMENT_BYTES, starts FF xx 00 02
    uint32_t length;  // bytes used, 4 when empty
};

// Walks the segments from offset position (just after SOI and whatever the
// caller copied) to the first SOS: tables are merged, SOF0 and SOS held
// back, segments with the dropped marker left out, the rest copied; then
// the merged tables, SOF0, SOS and the remainder of the file follow. 0 when
// the structure is corrupt or a buffer cannot be had.
static int reorder_segments(const ByteSource* in, uint32_t position, uint32_t size, ByteSink* sink,
                            int dropped_marker)
{
    HGLOBAL hWork = GlobalAlloc(GMEM_MOVEABLE, 4 * MAX_SEGMENT_BYTES);
    BYTE* work = hWork ? (BYTE*)GlobalLock(hWork) : NULL;
    if (!work) {
        if (hWork)
            GlobalFree(hWork);
        return 0;
    }
    TableSegment dqt = {work, 4}, dht = {work + MAX_SEGMENT_BYTES, 4};
    BYTE* sof = work + 2 * MAX_SEGMENT_BYTES;
    BYTE* sos = work + 3 * MAX_SEGMENT_BYTES;
    uint32_t sof_length = 0, sos_length = 0;
    const BYTE dqt_head[4] = {0xFF, 0xDB, 0x00, 0x02}, dht_head[4] = {0xFF, 0xC4, 0x00, 0x02};
    memcpy(dqt.bytes, dqt_head, 4);
    memcpy(dht.bytes, dht_head, 4);

    int ok = 1, marker = 0;
    while (ok && marker != 0xDA) {
        BYTE head[4];
        if (position > size || size - position < 4 || !read_at(in, position, head, 4) ||
            head[0] != 0xFF) {
            ok = 0;
            break;
        }
        marker = head[1];
        if (marker == 0xFF) {  // a fill byte before the marker
            position += 1;
            continue;
        }
        // SOI, EOI, RSTn and TEM carry no length and do not belong here.
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            ok = 0;
            break;
        }
        uint32_t length = (uint32_t)head[2] << 8 | head[3];
        if (length < 2 || length + 2 > size - position) {
            ok = 0;
            break;
        }
        TableSegment* table = marker == 0xDB ? &dqt : marker == 0xC4 ? &dht : NULL;
        if (table) {
            if (length - 2 > MAX_SEGMENT_BYTES - table->length ||
                !read_at(in, position + 4, table->bytes + table->length, length - 2))
                ok = 0;
            else
                table->length += length - 2;
        } else if (marker == 0xC0 || marker == 0xDA) {
            BYTE* copy = marker == 0xC0 ? sof : sos;
            if (!read_at(in, position, copy, length + 2))
                ok = 0;
            else if (marker == 0xC0)
                sof_length = length + 2;
            else
                sos_length = length + 2;
        } else if (marker != dropped_marker) {
            ok = copy_range(in, position, length + 2, sink);
        }
        position += length + 2;
    }
    if (ok) {
        TableSegment* tables[2] = {&dqt, &dht};
        for (int i = 0; i < 2; ++i) {
            if (tables[i]->length > 4) {
                put_exif_u16(tables[i]->length - 2, ORDER_MM, tables[i]->bytes + 2);
                sink_write(sink, tables[i]->bytes, tables[i]->length);
            }
        }
        sink_write(sink, sof, sof_length);
        sink_write(sink, sos, sos_length);
        ok = copy_range(in, position, size - position, sink);
    }
    GlobalUnlock(hWork);
    GlobalFree(hWork);
    return ok;
}

// ---------------------------------------------------------------------------
// Thumbnail

namespace {
struct ThumbnailError {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
};
}  // namespace

// A failed thumbnail only costs the Exif segment: no message.
static void thumbnail_error_exit(j_common_ptr cinfo)
{
    longjmp(((ThumbnailError*)cinfo->err)->jump, 1);
}

static void thumbnail_output_message(j_common_ptr cinfo)
{
}

// Encodes the (already scaled) image losslessly into fp; rgb is one row of
// 3 x width bytes. 1 when written.
static int encode_lossless_thumbnail(const BITMAPINFOHEADER* bih, FILE* fp, BYTE* rgb)
{
    struct jpeg_compress_struct cinfo;
    ThumbnailError err;
    const BYTE* pixels = (const BYTE*)bih + dib_pixel_offset(bih);
    const uint32_t stride = dib_source_row_bytes(bih);
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = thumbnail_error_exit;
    err.pub.output_message = thumbnail_output_message;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return 0;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, fp);
    cinfo.image_width = (JDIMENSION)bih->biWidth;
    cinfo.image_height = (JDIMENSION)bih->biHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_simple_lossless(&cinfo, 7, 0);
    jpeg_set_quality(&cinfo, THUMBNAIL_QUALITY, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int32_t y = bih->biHeight - 1; y >= 0; --y) {
        dib_row_to_rgb(bih, pixels + (size_t)y * stride, rgb);
        JSAMPROW row = rgb;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 1;
}

// Size of the thumbnail of a w x h image: fits 160 x 160, keeps the
// proportions, never enlarges.
static void thumbnail_size(int32_t w, int32_t h, int32_t* tw, int32_t* th)
{
    if (w <= THUMBNAIL_SIDE && h <= THUMBNAIL_SIDE) {
        *tw = w;
        *th = h;
    } else if (w < h) {
        *th = THUMBNAIL_SIDE;
        *tw = (int32_t)((double)w * THUMBNAIL_SIDE / h + 0.5);
    } else {
        *tw = THUMBNAIL_SIDE;
        *th = (int32_t)((double)h * THUMBNAIL_SIDE / w + 0.5);
    }
    if (*tw < 1)
        *tw = 1;
    if (*th < 1)
        *th = 1;
}

// The thumbnail JPEG in source, reordered, into block + EXIF_TIFF_HEADER_SIZE;
// returns its length, 0 on failure.
static uint32_t reorder_thumbnail(const ByteSource* in, BYTE* block, size_t capacity)
{
    BYTE soi[2];
    ByteSink sink = {NULL, block + EXIF_TIFF_HEADER_SIZE, capacity - EXIF_TIFF_HEADER_SIZE, 0, 0};
    if (in->size < 4 || !read_at(in, 0, soi, 2))
        return 0;
    sink_write(&sink, soi, 2);
    if (!reorder_segments(in, 2, in->size, &sink, 0xE0) || sink.failed)
        return 0;
    return (uint32_t)sink.length;
}

// The lossy thumbnail is encoded in memory by libjpeg-turbo; the lossless
// one, which only the IJG build can make, through a temporary file.
static uint32_t make_thumbnail(HGLOBAL hThumb, int color_code, int lossless, BYTE* block,
                               size_t capacity)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hThumb);
    if (!bih)
        return 0;
    uint32_t length = 0;
    char* temp = lossless ? make_temp_file_name() : NULL;
    FILE* fp = temp ? fopen(temp, "wb") : NULL;
    HGLOBAL hRow = NULL;
    BYTE* rgb = NULL;
    if (fp || !lossless) {
        hRow = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)bih->biWidth * 3);
        rgb = hRow ? (BYTE*)GlobalLock(hRow) : NULL;
        if (!rgb)
            seam_message_box(NULL, "Memory Allocation Error", NULL, MB_ICONHAND);
    }
    if (rgb && !lossless) {
        // as the lossless main image is stored
        const int is_rgb = color_code == JPEG_COLOR_RGB;
        BYTE* jpeg = NULL;
        uint32_t size = 0;
        if (encode_turbo_thumbnail(bih, rgb, THUMBNAIL_QUALITY, is_rgb, &jpeg, &size)) {
            ByteSource in = {NULL, jpeg, size};
            length = reorder_thumbnail(&in, block, capacity);
        }
        free(jpeg);
    }
    int encoded = rgb && fp && encode_lossless_thumbnail(bih, fp, rgb);
    if (rgb)
        GlobalUnlock(hRow);
    if (hRow)
        GlobalFree(hRow);
    GlobalUnlock(hThumb);
    if (fp && fclose(fp) != 0)
        encoded = 0;
    if (encoded) {
        fp = fopen(temp, "rb");
        if (fp) {
            ByteSource in = {fp, NULL, stream_size(fp)};
            length = reorder_thumbnail(&in, block, capacity);
            fclose(fp);
        }
    }
    if (temp)
        delete_temp_file(temp);
    return length;
}

static void put_entry(BYTE* block, uint32_t offset, uint16_t tag, uint16_t type, uint32_t count,
                      uint32_t value)
{
    put_exif_u16(tag, ORDER_MM, block + offset);
    put_exif_u16(type, ORDER_MM, block + offset + 2);
    put_exif_u32(count, ORDER_MM, block + offset + 4);
    if (type == 3)
        put_exif_u16(value, ORDER_MM, block + offset + 8);
    else
        put_exif_u32(value, ORDER_MM, block + offset + 8);
}

// The Orientation the segments built carry: 1, or a camera photo's own
// while a JPEG is written from its unturned pixels.
static int s_buildOrientation = 1;

int set_exif_build_orientation(int orientation)
{
    int before = s_buildOrientation;
    s_buildOrientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    return before;
}

// The TIFF block before the thumbnail.
static void fill_tiff_block(BYTE* block, int32_t width, int32_t height, int color_code,
                            uint32_t thumbnail_length)
{
    enum { SHORT = 3, ASCII = 2, LONG = 4, RATIONAL = 5 };
    block[0] = 'M';
    block[1] = 'M';
    put_exif_u16(42, ORDER_MM, block + 2);
    put_exif_u32(8, ORDER_MM, block + 4);

    put_exif_u16(7, ORDER_MM, block + 8);
    put_entry(block, 10, 274, SHORT, 1, (uint32_t)s_buildOrientation);  // Orientation
    put_entry(block, 22, 282, RATIONAL, 1, 98);      // XResolution
    put_entry(block, 34, 283, RATIONAL, 1, 106);     // YResolution
    put_entry(block, 46, 296, SHORT, 1, 2);          // ResolutionUnit: inch
    put_entry(block, 58, 305, ASCII, 20, 114);       // Software
    put_entry(block, 70, 306, ASCII, 20, 134);       // DateTime
    put_entry(block, 82, 34665, LONG, 1, 156);       // Exif directory
    put_exif_u32(200, ORDER_MM, block + 94);
    put_exif_u32(200, ORDER_MM, block + 98);
    put_exif_u32(1, ORDER_MM, block + 102);
    put_exif_u32(200, ORDER_MM, block + 106);
    put_exif_u32(1, ORDER_MM, block + 110);
    memcpy(block + 114, "Corvane File Viewer", 20);
    time_t now = time(NULL);
    const struct tm* local = localtime(&now);
    if (local) {
        char stamp[32];
        snprintf(stamp, sizeof stamp, "%04d:%02d:%02d %02d:%02d:%02d", local->tm_year + 1900,
                 local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec);
        memcpy(block + 134, stamp, 19);
    }

    put_exif_u16(3, ORDER_MM, block + 156);
    put_entry(block, 158, 40961, SHORT, 1, (uint32_t)color_code & 0xFFFF);  // ColorSpace
    put_entry(block, 170, 40962, LONG, 1, (uint32_t)width);    // PixelXDimension
    put_entry(block, 182, 40963, LONG, 1, (uint32_t)height);   // PixelYDimension

    put_exif_u16(6, ORDER_MM, block + 200);
    put_entry(block, 202, 259, SHORT, 1, 6);          // Compression: JPEG
    put_entry(block, 214, 282, RATIONAL, 1, 278);
    put_entry(block, 226, 283, RATIONAL, 1, 286);
    put_entry(block, 238, 296, SHORT, 1, 2);
    put_entry(block, 250, 513, LONG, 1, EXIF_TIFF_HEADER_SIZE);
    put_entry(block, 262, 514, LONG, 1, thumbnail_length);
    put_exif_u32(72, ORDER_MM, block + 278);
    put_exif_u32(1, ORDER_MM, block + 282);
    put_exif_u32(72, ORDER_MM, block + 286);
    put_exif_u32(1, ORDER_MM, block + 290);
}

int build_exif_segment(HGLOBAL hDib, FILE* out, int color_code, int lossless)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    const int32_t width = bih->biWidth, height = bih->biHeight;
    const int bits = bih->biBitCount;
    GlobalUnlock(hDib);
    if (height <= 0)
        return 0;

    int32_t tw, th;
    thumbnail_size(width, height, &tw, &th);
    HGLOBAL hThumb = NULL;
    if (bits >= 16 || (bits == 8 && is_grey8_ramp(hDib))) {
        // A large picture is first picked down to a few samples per
        // thumbnail pixel, so the average does not read the whole image.
        const int32_t mw = THUMBNAIL_SAMPLES * tw, mh = THUMBNAIL_SAMPLES * th;
        if (width > mw && height > mh) {
            HGLOBAL hMiddle = resize_nearest(hDib, mw, mh);
            if (hMiddle) {
                hThumb = resample_image(hMiddle, tw, th);
                GlobalFree(hMiddle);
            }
        } else {
            hThumb = resample_image(hDib, tw, th);
        }
    } else {
        hThumb = resize_nearest(hDib, tw, th);
    }
    if (!hThumb)
        return 0;

    // The largest block an APP1 segment can describe.
    const size_t capacity = EXIF_TIFF_HEADER_SIZE + EXIF_MAX_THUMBNAIL;
    HGLOBAL hBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, capacity);
    BYTE* block = hBlock ? (BYTE*)GlobalLock(hBlock) : NULL;
    if (!block) {
        if (hBlock)
            GlobalFree(hBlock);
        GlobalFree(hThumb);
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_ICONHAND);
        return 0;
    }
    uint32_t length = make_thumbnail(hThumb, color_code, lossless, block, capacity);
    // A lossless thumbnail of a noisy image can outgrow the segment; the
    // usual lossy one always fits.
    if (length == 0 && lossless) {
        memset(block, 0, capacity);
        length = make_thumbnail(hThumb, color_code, 0, block, capacity);
    }
    GlobalFree(hThumb);

    int written = 0;
    if (length > 0) {
        fill_tiff_block(block, width, height, color_code, length);
        const uint32_t block_length = EXIF_TIFF_HEADER_SIZE + length;
        BYTE head[10] = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
        put_exif_u16(block_length + 8, ORDER_MM, head + 2);
        written = fwrite(head, 1, sizeof head, out) == sizeof head &&
                  fwrite(block, 1, block_length, out) == block_length;
    }
    GlobalUnlock(hBlock);
    GlobalFree(hBlock);
    return written;
}

// ---------------------------------------------------------------------------
// Insertion

// Writes the JPEG in source to out with the Exif segment put in; 1 when
// the whole of it was written.
// With need_segment, a picture no segment can be made of (top-down rows, no
// memory) fails the copy: the command that asks for the segment then
// leaves the file as it was instead of rewriting it without one.
static int copy_with_exif(const ByteSource* source, FILE* out, HGLOBAL hDib, int color_code,
                          int lossless, int need_segment)
{
    const uint32_t size = source->size;
    BYTE head[4];
    if (size < 4 || !read_at(source, 0, head, 4) || head[0] != 0xFF || head[1] != 0xD8)
        return 0;
    ByteSink sink = {out, NULL, 0, 0, 0};
    sink_write(&sink, head, 2);
    uint32_t position = 2;
    int ok = 1;
    if (head[2] == 0xFF && head[3] == 0xE0) {
        BYTE app0[4];
        ok = read_at(source, 2, app0, 4);
        uint32_t length = ok ? ((uint32_t)app0[2] << 8 | app0[3]) : 0;
        if (!ok || length < 2 || length + 2 > size - position)
            ok = 0;
        else
            ok = copy_range(source, position, length + 2, &sink);
        position += length + 2;
    }
    if (ok) {
        int made = build_exif_segment(hDib, out, color_code, lossless);
        ok = (made || !need_segment) && reorder_segments(source, position, size, &sink, 0xE1) && !sink.failed;
    }
    return ok;
}

int insert_exif_segment(FILE* source, const char* dest_path, HGLOBAL hDib, int color_code,
                        int lossless)
{
    ByteSource in = {source, NULL, stream_size(source)};
    BYTE head[2];
    if (in.size < 4 || !read_at(&in, 0, head, 2) || head[0] != 0xFF || head[1] != 0xD8)
        return 0;

    SafeWrite sw;
    FILE* out = safe_write_open(&sw, dest_path);
    if (!out)
        return 0;
    if (!copy_with_exif(&in, out, hDib, color_code, lossless, 1)) {
        safe_write_abort(&sw);
        return 0;
    }
    return safe_write_commit(&sw);
}

int write_exif_jpeg_head(const BYTE* data, uint32_t length, FILE* out, HGLOBAL hDib,
                         int color_code, int lossless)
{
    ByteSource in = {NULL, data, length};
    return copy_with_exif(&in, out, hDib, color_code, lossless, 0);
}
