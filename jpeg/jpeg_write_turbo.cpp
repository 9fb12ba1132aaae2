// The 8-bit DCT JPEG writer and the thumbnail encoder on libjpeg-turbo (see
// jpeg_write_turbo.h). The file is written in one pass: the library's output
// goes through a buffer whose first flush, which holds every header up to
// the first scan, is rewritten with the Exif segment (exif_write.cpp) on its
// way to the file; the rest goes straight out. 24- and 32-bit rows are
// handed to the library as they lie in the bitmap.
#include "jpeg/jpeg_write_turbo.h"

#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "jpeg/dib_rows.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_read.h"

extern "C" {
#include "jpeglib.h"
#include "jerror.h"
}

namespace {

struct TurboErrorJump {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
};

// The destination: a buffer flushed to fp, the first flush through the Exif
// insertion.
struct ExifDestination {
    struct jpeg_destination_mgr pub;
    FILE* fp;
    BYTE* buffer;
    size_t capacity;
    int is_head_written;
    HGLOBAL hDib;
    int color_code;
    int lossless;
};

enum {
    OUTPUT_BUFFER_BYTES = 256 * 1024,  // far more than the headers before the first scan
    ROWS_PER_CALL = 16,
};

}  // namespace

// The library's reason (a write error, mostly) is shown, then the write
// ends in order.
static void turbo_writer_error_exit(j_common_ptr cinfo)
{
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    seam_message_box(NULL, message, "Lib JPEG", MB_ICONHAND);
    longjmp(((TurboErrorJump*)cinfo->err)->jump, 1);
}

static void thumbnail_error_exit(j_common_ptr cinfo)
{
    longjmp(((TurboErrorJump*)cinfo->err)->jump, 1);
}

static void discard_output_message(j_common_ptr cinfo)
{
}

static void flush_output(j_compress_ptr cinfo, size_t count)
{
    ExifDestination* dest = (ExifDestination*)cinfo->dest;
    int ok;
    if (!dest->is_head_written) {
        dest->is_head_written = 1;
        ok = write_exif_jpeg_head(dest->buffer, (uint32_t)count, dest->fp, dest->hDib,
                                  dest->color_code, dest->lossless);
    } else {
        ok = fwrite(dest->buffer, 1, count, dest->fp) == count;
    }
    if (!ok)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
}

static void init_destination(j_compress_ptr cinfo)
{
    ExifDestination* dest = (ExifDestination*)cinfo->dest;
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
}

static boolean empty_output_buffer(j_compress_ptr cinfo)
{
    flush_output(cinfo, ((ExifDestination*)cinfo->dest)->capacity);
    return TRUE;
}

static void term_destination(j_compress_ptr cinfo)
{
    ExifDestination* dest = (ExifDestination*)cinfo->dest;
    flush_output(cinfo, dest->capacity - dest->pub.free_in_buffer);
}

// Encodes the locked image into dest. rgb holds 3 x width bytes. 1 when the
// whole image was written.
static int encode_dib(const BITMAPINFOHEADER* bih, ExifDestination* dest, int quality,
                      int progressive, int show, int is_grey, BYTE* rgb)
{
    struct jpeg_compress_struct cinfo;
    TurboErrorJump err;
    BYTE* pixels = (BYTE*)bih + dib_pixel_offset(bih);
    const uint32_t stride = dib_source_row_bytes(bih);
    const uint32_t width = (uint32_t)bih->biWidth, height = (uint32_t)bih->biHeight;
    const int bits = bih->biBitCount;
    const int is_direct = bits == 24 || bits == 32;

    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = turbo_writer_error_exit;
    err.pub.output_message = discard_output_message;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return 0;
    }
    jpeg_create_compress(&cinfo);
    dest->pub.init_destination = init_destination;
    dest->pub.empty_output_buffer = empty_output_buffer;
    dest->pub.term_destination = term_destination;
    cinfo.dest = &dest->pub;
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = is_grey ? 1 : 3;
    cinfo.in_color_space = is_grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    // Set after the defaults, which would pick the colour space from it.
    if (!is_grey && is_direct) {
        cinfo.in_color_space = bits == 24 ? JCS_EXT_BGR : JCS_EXT_BGRX;
        cinfo.input_components = bits / 8;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW rows[ROWS_PER_CALL];
        const uint32_t first = cinfo.next_scanline;
        uint32_t count = 1;
        if (show)
            show_progress((double)first / height, 1);
        if (is_direct && !is_grey) {
            const uint32_t left = height - first;
            count = left < (uint32_t)ROWS_PER_CALL ? left : (uint32_t)ROWS_PER_CALL;
            for (uint32_t i = 0; i < count; ++i)
                rows[i] = pixels + (size_t)(height - 1 - first - i) * stride;
        } else {
            const BYTE* row = pixels + (size_t)(height - 1 - first) * stride;
            if (is_grey)
                dib_row_to_grey(bih, row, rgb);
            else
                dib_row_to_rgb(bih, row, rgb);
            rows[0] = rgb;
        }
        jpeg_write_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 1;
}

int write_jpeg_turbo_file(const char* path, int quality, HGLOBAL hDib, int progressive,
                          int lossless, int show_progress_flag)
{
    const int show = show_progress_flag;
    BITMAPINFOHEADER* bih = is_valid_packed_dib(hDib) ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    const int bits = bih ? bih->biBitCount : 0;
    if (!bih || bih->biHeight <= 0 ||
        !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        if (bih)
            GlobalUnlock(hDib);
        return 0;
    }

    int ok = 0;
    SafeWrite sw;
    FILE* fp = NULL;
    // One row of bytes, then the output buffer.
    const uint64_t row_bytes = 3 * (uint64_t)bih->biWidth;
    const uint64_t size = row_bytes + OUTPUT_BUFFER_BYTES;
    HGLOBAL hWork = size <= MAX_DIB_BYTES ? GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)size) : NULL;
    BYTE* work = hWork ? (BYTE*)GlobalLock(hWork) : NULL;
    if (!work) {
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_ICONHAND);
    } else if ((fp = safe_write_open(&sw, path)) != NULL) {
        const int is_grey = dib_has_grey_table(bih);
        ExifDestination dest;
        memset(&dest, 0, sizeof dest);
        dest.fp = fp;
        dest.buffer = work + row_bytes;
        dest.capacity = OUTPUT_BUFFER_BYTES;
        dest.hDib = hDib;
        dest.color_code = is_grey ? JPEG_COLOR_GREY : JPEG_COLOR_YCBCR;
        dest.lossless = lossless;
        ok = encode_dib(bih, &dest, quality, progressive, show, is_grey, work);
    }
    if (work)
        GlobalUnlock(hWork);
    if (hWork)
        GlobalFree(hWork);
    if (show)
        show_progress(0, 1);
    GlobalUnlock(hDib);
    if (!fp)
        return 0;
    if (!ok) {
        safe_write_abort(&sw);
        return 0;
    }
    return safe_write_commit(&sw);
}

int encode_turbo_thumbnail(const BITMAPINFOHEADER* bih, BYTE* rgb, int quality, int is_rgb,
                           BYTE** jpeg, uint32_t* length)
{
    struct jpeg_compress_struct cinfo;
    TurboErrorJump err;
    const BYTE* pixels = (const BYTE*)bih + dib_pixel_offset(bih);
    const uint32_t stride = dib_source_row_bytes(bih);
    unsigned long size = 0;
    *jpeg = NULL;
    *length = 0;
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = thumbnail_error_exit;
    err.pub.output_message = discard_output_message;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return 0;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, jpeg, &size);
    cinfo.image_width = (JDIMENSION)bih->biWidth;
    cinfo.image_height = (JDIMENSION)bih->biHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (is_rgb)
        jpeg_set_colorspace(&cinfo, JCS_RGB);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int32_t y = bih->biHeight - 1; y >= 0; --y) {
        dib_row_to_rgb(bih, pixels + (size_t)y * stride, rgb);
        JSAMPROW row = rgb;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    *length = (uint32_t)size;
    return 1;
}
