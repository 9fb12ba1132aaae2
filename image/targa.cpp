// Targa reader, writer and Image ID rewrite (see targa.h). Pixels are
// stored blue, green, red (alpha) in the file as in the image, so rows are
// copied pixel by pixel; only the order of rows and of pixels within a row
// follows the image descriptor.
#include "image/targa.h"

#include <stdarg.h>
#include <string.h>

#include "image/byte_order.h"
#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pcx.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"

enum { TGA_HEADER_SIZE = 18, TGA_MAX_PACKET = 128, TGA_FOOTER_SIZE = 26, TGA_EXTENSION_SIZE = 495 };

static const char TGA_FOOTER_MARK[18] = "TRUEVISION-XFILE.";

static unsigned le16(const BYTE* p) { return p[0] | p[1] << 8; }

static const char* tga_type_name(int type)
{
    switch (type) {
    case 1: return "colormapped \nuncompressed data";
    case 2: return "truecolor \nuncompressed data";
    case 3: return "monochrome \nuncompressed data";
    case 9: return "colormapped \ncompressed data";
    case 10: return "truecolor \ncompressed data";
    default: return "monochrome \ncompressed data";
    }
}

// A colour-map entry of entry_bits into a table entry.
static RGBQUAD tga_map_entry(const BYTE* p, int entry_bits)
{
    RGBQUAD q = {0, 0, 0, 0};
    if (entry_bits <= 16) {
        unsigned v = le16(p);
        q.rgbRed = (BYTE)(((v >> 10) & 31) * 8);
        q.rgbGreen = (BYTE)(((v >> 5) & 31) * 8);
        q.rgbBlue = (BYTE)((v & 31) * 8);
    } else {
        q.rgbBlue = p[0];
        q.rgbGreen = p[1];
        q.rgbRed = p[2];
    }
    return q;
}

// Where the next pixel goes: rows are visited in the file's order.
struct TgaCursor {
    BYTE* pixels;          // first image row (the bottom one)
    uint32_t stride;
    int32_t width, height;
    int bytes;             // per pixel in the image
    int top_first, right_to_left;
    int grey_alpha;        // file pixels are grey, alpha: stored as 32 bits
    int32_t rows_done;     // complete rows
    int32_t x;             // pixels of the current row
};

static BYTE* tga_pixel_at(const TgaCursor* c)
{
    int32_t row = c->top_first ? c->height - 1 - c->rows_done : c->rows_done;
    int32_t column = c->right_to_left ? c->width - 1 - c->x : c->x;
    return c->pixels + (size_t)row * c->stride + (size_t)column * c->bytes;
}

// Stores one pixel; 0 once every row is complete.
static int put_tga_pixel(TgaCursor* c, const BYTE* value)
{
    if (c->rows_done >= c->height)
        return 0;
    BYTE* at = tga_pixel_at(c);
    if (c->grey_alpha) {
        at[0] = at[1] = at[2] = value[0];
        at[3] = value[1];
    } else {
        memcpy(at, value, c->bytes);
    }
    if (++c->x == c->width) {
        c->x = 0;
        ++c->rows_done;
        show_progress((double)c->rows_done / c->height, 1);
    }
    return c->rows_done < c->height;
}

static int read_tga_pixel(BufferedFile* in, BYTE* value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        if (!read_buffered_byte(in, &value[i]))
            return 0;
    return 1;
}

static void decode_tga_pixels(BufferedFile* in, TgaCursor* c, int run_length)
{
    BYTE value[4];
    int bytes = c->grey_alpha ? 2 : c->bytes;  // in the file
    if (!run_length) {
        while (read_tga_pixel(in, value, bytes) && put_tga_pixel(c, value)) {
        }
        return;
    }
    for (;;) {
        BYTE packet;
        if (!read_buffered_byte(in, &packet))
            return;
        int count = (packet & 0x7F) + 1;
        if (packet & 0x80) {
            if (!read_tga_pixel(in, value, bytes))
                return;
            for (int i = 0; i < count; ++i)
                if (!put_tga_pixel(c, value))
                    return;
        } else {
            for (int i = 0; i < count; ++i)
                if (!read_tga_pixel(in, value, bytes) || !put_tga_pixel(c, value))
                    return;
        }
    }
}

// Rows decoded in file order to image rows 0, n, 2n, ..., 1, n + 1, ...
// (counted in the file's direction); 0 when memory runs out.
static HGLOBAL deinterlace_tga(HGLOBAL hDib, BITMAPINFOHEADER* bih, int ways, int top_first)
{
    HGLOBAL hOut = pixels_fit_ceiling((uint64_t)bih->biWidth * (uint64_t)bih->biHeight)
                       ? GlobalAlloc(GHND, GlobalSize(hDib))
                       : NULL;
    BYTE* out = hOut ? (BYTE*)GlobalLock(hOut) : NULL;
    if (!out) {
        if (hOut)
            GlobalFree(hOut);
        return NULL;
    }
    uint32_t offset = dib_pixel_offset(bih);
    memcpy(out, bih, offset);
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    int32_t height = bih->biHeight, decoded = 0;
    const BYTE* from = (const BYTE*)bih + offset;
    for (int pass = 0; pass < ways; ++pass) {
        for (int32_t target = pass; target < height; target += ways, ++decoded) {
            int32_t src = top_first ? height - 1 - decoded : decoded;
            int32_t dst = top_first ? height - 1 - target : target;
            memcpy(out + offset + (size_t)dst * stride, from + (size_t)src * stride, stride);
        }
    }
    GlobalUnlock(hOut);
    return hOut;
}

static HGLOBAL fail_tga(HFILE file, HWND owner, const char* text)
{
    _lclose(file);
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
    return NULL;
}

HGLOBAL read_tga_file(HFILE file, HWND owner, char* info)
{
    BYTE h[TGA_HEADER_SIZE];
    if (_lread(file, h, sizeof h) != sizeof h)
        return fail_tga(file, owner, "Targa File Read Error");
    int id_length = h[0], map_type = h[1], type = h[2];
    unsigned map_first = le16(h + 3), map_length = le16(h + 5);
    int entry_bits = h[7];
    int32_t width = (int32_t)le16(h + 12), height = (int32_t)le16(h + 14);
    int depth = h[16] == 15 ? 16 : h[16];
    int descriptor = h[17];
    int kind = type & 7, run_length = type & 8;
    int entry_bytes = (entry_bits + 7) / 8;
    LONG file_size = _llseek(file, 0, FILE_END);
    uint64_t map_bytes = map_type ? (uint64_t)map_length * entry_bytes : 0;
    uint64_t data_start = TGA_HEADER_SIZE + id_length + map_bytes;

    // Indexed pictures have one byte per pixel, grey ones one, or two with
    // alpha; a run-length packet of one byte or more gives at most 128
    // pixels.
    int grey_alpha = kind == 3 && depth == 16;
    int depth_ok = kind == 2 ? depth == 8 || depth == 16 || depth == 24 || depth == 32 : depth == 8 || grey_alpha;
    int map_ok = !map_type || (map_length >= map_first && (entry_bits == 15 || entry_bits == 16 ||
                                                           entry_bits == 24 || entry_bits == 32));
    if ((type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) || !depth_ok ||
        !map_ok || width == 0 || height == 0 || data_start > (uint64_t)file_size ||
        (uint64_t)width * height > ((uint64_t)file_size - data_start) * TGA_MAX_PACKET)
        return fail_tga(file, owner, "Targa File Read Error");
    // Uncompressed pixels cost their own bytes; a run-length packet of one
    // pixel value gives at most 128 pixels.
    uint64_t data_bytes = (uint64_t)file_size - data_start;
    int file_pixel_bits = grey_alpha ? 16 : depth;
    if (run_length)
        narrow_pixel_ceiling(data_bytes * TGA_MAX_PACKET / (1 + file_pixel_bits / 8), 1);
    else
        narrow_pixel_ceiling_to_raw(data_bytes, (uint32_t)file_pixel_bits);
    if (!pixels_fit_ceiling((uint64_t)width * height))
        return fail_tga(file, owner, "Targa File Read Error");
    fit_image_rect(width, height, 1);
    append_info_text(info,
                "file type: Targa \nwidth: %d \nheight: %d \nimage type: %s \ncolor map type: %d \nbits per "
                "pixel: %d \npalette size: %d \npalette depth (bits): %d",
                (int)width, (int)height, tga_type_name(type), map_type, depth, (int)map_length, entry_bits);

    int indexed = depth == 8;
    uint32_t colours = 0;
    if (indexed)
        colours = map_type && kind == 1 ? (map_length - map_first > 256 ? 256 : map_length - map_first) : 256;
    // Grey with alpha becomes 32 bits, as other pictures with alpha are.
    HGLOBAL hDib = create_packed_dib(width, height, indexed ? 8 : grey_alpha ? 32 : depth, colours ? colours : 0);
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    BufferedFile* in = bih ? (BufferedFile*)GlobalAlloc(GMEM_FIXED, sizeof(BufferedFile)) : NULL;
    if (!in) {
        if (bih)
            GlobalUnlock(hDib);
        if (hDib)
            GlobalFree(hDib);
        return fail_tga(file, owner, "Memory Allocation Error");
    }

    _llseek(file, TGA_HEADER_SIZE, FILE_BEGIN);
    if (id_length && info) {
        HGLOBAL hText = GlobalAlloc(GHND, id_length + 1);
        char* text = hText ? (char*)GlobalLock(hText) : NULL;
        if (text) {
            UINT got = _lread(file, text, id_length);
            text[got == (UINT)HFILE_ERROR ? 0 : got] = '\0';
            GlobalUnlock(hText);
            if (g_hComment)
                GlobalFree(g_hComment);
            g_hComment = hText;
        } else if (hText) {
            GlobalFree(hText);
        }
    }
    _llseek(file, TGA_HEADER_SIZE + id_length, FILE_BEGIN);
    begin_buffered_read(in, file);

    RGBQUAD* table = dib_color_table(bih);
    for (unsigned i = 0; map_type && i < map_length; ++i) {
        BYTE entry[4] = {0, 0, 0, 0};
        read_tga_pixel(in, entry, entry_bytes);
        if (kind == 1 && i >= map_first && i - map_first < 256)
            table[i - map_first] = tga_map_entry(entry, entry_bits);
    }
    if (indexed && !(map_type && kind == 1))
        for (int i = 0; i < 256; ++i)
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (BYTE)i;

    int top_first = (descriptor & 0x20) != 0, right_to_left = (descriptor & 0x10) != 0;
    append_info_text(info, "\nfirst pixel: %s%s", top_first ? "top " : "bottom ", right_to_left ? "right" : "left");
    TgaCursor c = {dib_pixels(bih), dib_row_stride(width, bih->biBitCount), width, height,
                   indexed ? 1 : (int)bih->biBitCount / 8, top_first, right_to_left, grey_alpha, 0, 0};
    decode_tga_pixels(in, &c, run_length);
    GlobalFree(in);

    int ways = descriptor & 0xC0 ? (descriptor & 0x80 ? 4 : 2) : 0;
    if (ways) {
        append_info_text(info, ways == 2 ? "\ntwo way interleave" : "\nfour way interleave");
        HGLOBAL hOut = deinterlace_tga(hDib, bih, ways, top_first);
        if (hOut) {
            GlobalUnlock(hDib);
            GlobalFree(hDib);
            hDib = hOut;
            bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
        } else {
            seam_message_box(owner, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
        }
    }
    GlobalUnlock(hDib);
    _lclose(file);
    return hDib;
}

// ---------------------------------------------------------------------------
// Writer

uint32_t tga_pixel_value(const BYTE* pixel, int bytes_per_pixel)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes_per_pixel; ++i)
        v = v << 8 | pixel[i];
    return v;
}

size_t count_tga_run(const BYTE* pixels, int bytes_per_pixel, size_t remaining)
{
    size_t run = 1;
    uint32_t first = tga_pixel_value(pixels, bytes_per_pixel);
    while (run < remaining && run < TGA_MAX_PACKET &&
           tga_pixel_value(pixels + run * bytes_per_pixel, bytes_per_pixel) == first)
        ++run;
    return run;
}

size_t count_tga_raw(const BYTE* pixels, int bytes_per_pixel, size_t remaining)
{
    if (remaining == 1)
        return 1;
    size_t raw = 0;
    while (raw + 1 < remaining && raw < TGA_MAX_PACKET &&
           tga_pixel_value(pixels + raw * bytes_per_pixel, bytes_per_pixel) !=
               tga_pixel_value(pixels + (raw + 1) * bytes_per_pixel, bytes_per_pixel))
        ++raw;
    if (raw + 1 == remaining && raw < TGA_MAX_PACKET)
        ++raw;  // the last pixel has no neighbour to pair with
    return raw;
}

size_t encode_tga_row(const BYTE* pixels, BYTE* output, size_t count, int bytes_per_pixel)
{
    size_t written = 0;
    while (count > 0) {
        size_t raw = count_tga_raw(pixels, bytes_per_pixel, count);
        size_t n;
        if (raw > 0) {
            n = raw;
            output[written++] = (BYTE)(raw - 1);
            memcpy(output + written, pixels, raw * bytes_per_pixel);
            written += raw * bytes_per_pixel;
        } else {
            n = count_tga_run(pixels, bytes_per_pixel, count);
            output[written++] = (BYTE)((n - 1) | 0x80);
            memcpy(output + written, pixels, bytes_per_pixel);
            written += bytes_per_pixel;
        }
        pixels += n * bytes_per_pixel;
        count -= n;
    }
    return written;
}

int write_tga_file(const char* path, HGLOBAL hImage, int run_length)
{
    if (!is_valid_packed_dib(hImage))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!bih)
        return 0;
    int bits = bih->biBitCount;
    int32_t width = bih->biWidth, height = bih->biHeight;
    uint32_t colours = dib_color_count(bih);
    const RGBQUAD* table = dib_color_table(bih);
    int grey = colours > 16;
    for (uint32_t i = 0; grey && i < colours; ++i)
        grey = table[i].rgbRed == table[i].rgbGreen && table[i].rgbGreen == table[i].rgbBlue;

    BYTE h[TGA_HEADER_SIZE] = {0};
    int bytes = bits > 8 ? bits / 8 : 1;
    if (grey) {
        h[2] = 3;
        h[16] = 8;
    } else if (!colours) {
        h[2] = 2;
        h[16] = (BYTE)bits;
        h[17] = bits == 32 ? 8 : 0;  // alpha bits
    } else {
        h[1] = 1;
        h[2] = 1;
        put_le16(h + 5, colours);
        h[7] = 24;
        h[16] = 8;
    }
    if (run_length)
        h[2] += 8;
    put_le16(h + 12, (uint32_t)width);
    put_le16(h + 14, (uint32_t)height);

    size_t row_bytes = (size_t)width * bytes;
    // Targa sizes are 16 bits.
    BYTE* row = width <= 0xFFFF && height <= 0xFFFF ? (BYTE*)GlobalAlloc(GMEM_FIXED, row_bytes) : NULL;
    BYTE* coded = row ? (BYTE*)GlobalAlloc(GMEM_FIXED, (size_t)width * (bytes + 1)) : NULL;
    SafeWrite sw;
    if (!coded || !safe_write_open(&sw, path)) {
        if (coded)
            GlobalFree(coded);
        if (row)
            GlobalFree(row);
        GlobalUnlock(hImage);
        return 0;
    }
    fwrite(h, 1, sizeof h, sw.fp);
    for (uint32_t i = 0; h[1] && i < colours; ++i) {
        BYTE bgr[3] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
        fwrite(bgr, 1, 3, sw.fp);
    }
    uint32_t stride = dib_row_stride(width, bits);
    const BYTE* pixels = dib_pixels(bih);
    int opaque = dib_alpha_is_unused(bih);
    for (int32_t r = 0; r < height && !ferror(sw.fp); ++r) {
        show_progress((double)r / height, 1);
        const BYTE* src = pixels + (size_t)r * stride;
        if (bits <= 8) {
            for (int32_t x = 0; x < width; ++x) {
                uint32_t index = dib_row_index(src, bits, x);
                row[x] = grey ? dib_table_entry(bih, index).rgbRed : (BYTE)index;
            }
        } else {
            memcpy(row, src, row_bytes);
            for (int32_t x = 0; opaque && x < width; ++x)
                row[4 * x + 3] = 255;
        }
        if (run_length)
            fwrite(coded, 1, encode_tga_row(row, coded, (size_t)width, bytes), sw.fp);
        else
            fwrite(row, 1, row_bytes, sw.fp);
    }
    GlobalFree(coded);
    GlobalFree(row);
    GlobalUnlock(hImage);
    return safe_write_commit(&sw);
}

// ---------------------------------------------------------------------------
// Image ID rewrite

// Adds delta to the 32-bit offset at position pos of out, unless it is 0.
static int shift_offset(FILE* out, long pos, long delta)
{
    BYTE b[4];
    if (fseek(out, pos, SEEK_SET) != 0 || fread(b, 1, 4, out) != 4)
        return 0;
    uint32_t v = read_u32_ordered(b, BYTE_ORDER_II);
    if (v == 0)
        return 1;
    put_le32(b, (uint32_t)((long)v + delta));
    return fseek(out, pos, SEEK_SET) == 0 && fwrite(b, 1, 4, out) == 4;
}

// The TGA 2.0 footer and extension area hold absolute offsets, which move
// with the Image ID. Offsets that point outside the file are left alone.
static int fix_tga_footer(FILE* out, long length, long delta)
{
    BYTE footer[TGA_FOOTER_SIZE];
    if (delta == 0 || length < TGA_HEADER_SIZE + TGA_FOOTER_SIZE ||
        fseek(out, length - TGA_FOOTER_SIZE, SEEK_SET) != 0 || fread(footer, 1, sizeof footer, out) != sizeof footer ||
        memcmp(footer + 8, TGA_FOOTER_MARK, sizeof TGA_FOOTER_MARK) != 0)
        return 1;
    uint32_t extension = read_u32_ordered(footer, BYTE_ORDER_II);
    int ok = shift_offset(out, length - TGA_FOOTER_SIZE, delta) && shift_offset(out, length - TGA_FOOTER_SIZE + 4, delta);
    long moved = (long)extension + delta;
    if (ok && extension && moved >= TGA_HEADER_SIZE && moved + TGA_EXTENSION_SIZE <= length - TGA_FOOTER_SIZE) {
        // Colour correction, postage stamp and scan line table offsets.
        ok = shift_offset(out, moved + 482, delta) && shift_offset(out, moved + 486, delta) &&
             shift_offset(out, moved + 490, delta);
    }
    return ok && fseek(out, 0, SEEK_END) == 0;
}

static int build_commented_tga(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    BYTE h[TGA_HEADER_SIZE];
    if (fread(h, 1, sizeof h, in) != sizeof h)
        return 0;
    int old_length = h[0];
    size_t new_length = job->length;
    if (new_length > TGA_COMMENT_MAX_BYTES)
        return 0;
    BYTE old_id[TGA_COMMENT_MAX_BYTES];
    if (fread(old_id, 1, (size_t)old_length, in) != (size_t)old_length)
        return 0;
    if (old_length)
        note_dropped_comment(job, true, old_id, (size_t)old_length);
    h[0] = (BYTE)new_length;
    if (fwrite(h, 1, sizeof h, out) != sizeof h || fwrite(job->text, 1, new_length, out) != new_length)
        return 0;
    BYTE buf[16384];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0)
        if (fwrite(buf, 1, n, out) != n)
            return 0;
    if (ferror(in) || fflush(out) != 0)
        return 0;
    return fix_tga_footer(out, ftell(out), (long)new_length - old_length);
}

const char TGA_COMMENT_TOO_LONG[] =
    "Comment Too Long. A Targa Comment Holds at Most 255 Bytes; Nothing Was Written.";

int write_tga_comment(const char* path, HGLOBAL* textHandle)
{
    size_t length = 0;
    if (lock_comment_text(textHandle ? *textHandle : NULL, &length))
        GlobalUnlock(*textHandle);
    if (length > TGA_COMMENT_MAX_BYTES) {
        seam_message_box(NULL, TGA_COMMENT_TOO_LONG, path, MB_OK | MB_ICONSTOP);
        return 0;
    }
    return rewrite_for_comment(path, textHandle ? *textHandle : NULL, build_commented_tga, NULL) == REWRITE_DONE;
}
