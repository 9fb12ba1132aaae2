// IFF reader (see iff_read.h). The chunks before BODY are walked by their
// sizes, each checked against the file; the BODY is read one row at a time
// (all plane rows of a scan line, and the mask row) through a byte source
// that is either the file or its ByteRun1 decoding, whose runs may cross
// rows.
#include "image/iff_read.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pcx.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"

enum { CAMG_HAM = 0x800, CAMG_HALF_BRITE = 0x80, MAX_COMMENT_BYTES = 65536 };

static uint32_t be32(const BYTE* p) { return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
static unsigned be16(const BYTE* p) { return p[0] << 8 | p[1]; }

struct IffPicture {
    char form[5];
    int32_t width, height;
    int planes, masking, compression, transparent;
    int has_header, is_chunky;
    uint32_t camg;
    RGBQUAD table[256];
    uint32_t colours;  // CMAP entries; 0 without CMAP
    uint32_t body_at;  // 0 without BODY
};

// The BODY bytes: straight from the file or through ByteRun1.
struct IffSource {
    BufferedFile in;
    int packed;
    int literal_left, repeat_left;
    BYTE repeat_value;
};

static int next_iff_byte(IffSource* s, BYTE* value)
{
    if (!s->packed)
        return read_buffered_byte(&s->in, value);
    for (;;) {
        if (s->literal_left > 0) {
            --s->literal_left;
            return read_buffered_byte(&s->in, value);
        }
        if (s->repeat_left > 0) {
            --s->repeat_left;
            *value = s->repeat_value;
            return 1;
        }
        BYTE control;
        if (!read_buffered_byte(&s->in, &control))
            return 0;
        int n = (signed char)control;
        if (n >= 0) {
            s->literal_left = n + 1;
        } else if (n != -128) {
            if (!read_buffered_byte(&s->in, &s->repeat_value))
                return 0;
            s->repeat_left = 1 - n;
        }
    }
}

static HGLOBAL iff_fail(HFILE file, const char* text)
{
    _lclose(file);
    seam_message_box(NULL, text, NULL, MB_OK | MB_ICONSTOP);
    return NULL;
}

static void read_annotation(HFILE file, uint32_t size)
{
    if (size > MAX_COMMENT_BYTES)
        size = MAX_COMMENT_BYTES;
    HGLOBAL hText = GlobalAlloc(GHND, (SIZE_T)size + 1);
    char* text = hText ? (char*)GlobalLock(hText) : NULL;
    if (!text) {
        if (hText)
            GlobalFree(hText);
        return;
    }
    UINT got = _lread(file, text, size);
    text[got == (UINT)HFILE_ERROR ? 0 : got] = '\0';
    GlobalUnlock(hText);
    if (g_hComment)
        GlobalFree(g_hComment);
    g_hComment = hText;
}

// Walks the chunks up to BODY; 0 when the structure is damaged.
static int read_iff_chunks(HFILE file, uint32_t file_size, IffPicture* pic, char* info)
{
    uint32_t pos = 12;
    while (pos <= file_size - 8) {
        BYTE head[8];
        if (_llseek(file, (LONG)pos, FILE_BEGIN) != (LONG)pos || _lread(file, head, 8) != 8)
            return 0;
        uint32_t size = be32(head + 4), data = pos + 8;
        if (!memcmp(head, "BODY", 4)) {
            pic->body_at = data;
            return pic->has_header;
        }
        if (size > file_size - data)
            return 0;
        if (!memcmp(head, "BMHD", 4)) {
            BYTE h[20];
            if (size < 20 || _lread(file, h, 20) != 20)
                return 0;
            pic->width = (int32_t)be16(h);
            pic->height = (int32_t)be16(h + 2);
            pic->planes = h[8];
            pic->masking = h[9];
            pic->compression = h[10];
            pic->transparent = (int)be16(h + 12);
            pic->has_header = 1;
            if (info)
                info[0] = '\0';
            append_info_text(info, "image type: %s \nwidth: %d \nheight: %d \nplanes: %d \ncompression: %d \nmasking: %d",
                        pic->form, (int)pic->width, (int)pic->height, pic->planes, pic->compression, pic->masking);
            if (pic->masking == 2)
                append_info_text(info, "\ntransparent color: %d", pic->transparent);
        } else if (!memcmp(head, "CMAP", 4)) {
            uint32_t n = size / 3;
            BYTE rgb[256 * 3];
            if (n > 256 || _lread(file, rgb, n * 3) != n * 3)
                return 0;
            for (uint32_t i = 0; i < n; ++i) {
                pic->table[i].rgbRed = rgb[3 * i];
                pic->table[i].rgbGreen = rgb[3 * i + 1];
                pic->table[i].rgbBlue = rgb[3 * i + 2];
            }
            pic->colours = n;
            append_info_text(info, " \n# of colors: %d", (int)n);
        } else if (!memcmp(head, "CAMG", 4) && size == 4) {
            BYTE v[4];
            if (_lread(file, v, 4) != 4)
                return 0;
            pic->camg = be32(v);
        } else if (!memcmp(head, "ANNO", 4) && info) {
            read_annotation(file, size);
        }
        uint64_t next = (uint64_t)data + size + (size & 1);
        if (next > file_size)
            break;
        pos = (uint32_t)next;
    }
    return 0;  // no BODY
}

// Entries 32 to 63 are entries 0 to 31 at half brightness.
static void add_half_brite(IffPicture* pic)
{
    for (int i = 0; i < 32; ++i) {
        pic->table[32 + i].rgbRed = pic->table[i].rgbRed / 2;
        pic->table[32 + i].rgbGreen = pic->table[i].rgbGreen / 2;
        pic->table[32 + i].rgbBlue = pic->table[i].rgbBlue / 2;
    }
    pic->colours = 64;
}

static void decode_ham_row(const IffPicture* pic, const BYTE* index, BYTE* row)
{
    int ham8 = pic->planes == 8;
    int shift = ham8 ? 2 : 4;
    BYTE data_mask = ham8 ? 0x3F : 0x0F, keep = ham8 ? 0x03 : 0x0F;
    RGBQUAD c = pic->table[0];
    for (int32_t x = 0; x < pic->width; ++x) {
        BYTE v = index[x], d = v & data_mask;
        switch (v >> (ham8 ? 6 : 4) & 3) {
        case 0: c = pic->table[d]; break;
        case 1: c.rgbBlue = (BYTE)((c.rgbBlue & keep) + (d << shift)); break;
        case 2: c.rgbRed = (BYTE)((c.rgbRed & keep) + (d << shift)); break;
        default: c.rgbGreen = (BYTE)((c.rgbGreen & keep) + (d << shift)); break;
        }
        row[3 * x] = c.rgbBlue;
        row[3 * x + 1] = c.rgbGreen;
        row[3 * x + 2] = c.rgbRed;
    }
}

// The image's bit count for the picture, 0 for a layout this reader does
// not decode. The row converter writes exactly this depth.
static int iff_bit_count(const IffPicture* pic)
{
    // Chunky rows hold a byte per pixel (8 planes) or three (24): other
    // plane counts have no row layout, HAM or not.
    if (pic->is_chunky && pic->planes != 8 && pic->planes != 24)
        return 0;
    if (pic->camg & CAMG_HAM)  // HAM6 and HAM8 only
        return pic->planes == 6 || pic->planes == 8 ? 24 : 0;
    if (pic->is_chunky)
        return pic->planes == 8 ? 8 : 24;
    if (pic->planes == 24 || pic->planes == 32)
        return pic->planes;
    return pic->planes == 1 ? 1 : pic->planes >= 2 && pic->planes <= 8 ? 8 : 0;
}

// One scan line (raw bytes as in the file) into a DIB row of bits per pixel
// (iff_bit_count of the picture).
static void convert_iff_row(const IffPicture* pic, const BYTE* raw, size_t plane_bytes, int bits, BYTE* index,
                            BYTE* row)
{
    int32_t width = pic->width;
    int ham = (pic->camg & CAMG_HAM) != 0;
    if (pic->is_chunky && !ham && bits == 24) {
        for (int32_t x = 0; x < width; ++x) {
            row[3 * x] = raw[3 * x + 2];
            row[3 * x + 1] = raw[3 * x + 1];
            row[3 * x + 2] = raw[3 * x];
        }
        return;
    }
    if (!ham && bits >= 24) {
        int bytes = bits / 8, planes = bits;
        static const int CHANNEL[4] = {2, 1, 0, 3};  // red, green, blue, alpha
        for (int p = 0; p < planes; ++p) {
            const BYTE* plane = raw + (size_t)p * plane_bytes;
            for (int32_t x = 0; x < width; ++x)
                if (plane[x >> 3] & (0x80 >> (x & 7)))
                    row[x * bytes + CHANNEL[p / 8]] |= (BYTE)(1 << (p % 8));
        }
        return;
    }
    if (pic->is_chunky) {
        memcpy(index, raw, (size_t)width);
    } else {
        memset(index, 0, (size_t)width);
        for (int p = 0; p < pic->planes; ++p) {
            const BYTE* plane = raw + (size_t)p * plane_bytes;
            for (int32_t x = 0; x < width; ++x)
                if (plane[x >> 3] & (0x80 >> (x & 7)))
                    index[x] |= (BYTE)(1 << p);
        }
    }
    if (bits == 24) {
        decode_ham_row(pic, index, row);
    } else if (bits == 1) {
        for (int32_t x = 0; x < width; ++x)
            if (index[x])
                row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
    } else {
        memcpy(row, index, (size_t)width);
    }
}

HGLOBAL read_iff_file(HFILE file, char* info)
{
    IffPicture pic = {};
    BYTE form[12];
    LONG end = _llseek(file, 0, FILE_END);
    _llseek(file, 0, FILE_BEGIN);
    if (end < 12 || _lread(file, form, 12) != 12)
        return iff_fail(file, "File Read Error");
    memcpy(pic.form, form + 8, 4);
    pic.is_chunky = !memcmp(pic.form, "PBM", 3);
    if (!read_iff_chunks(file, (uint32_t)end, &pic, info))
        return iff_fail(file, "File Read Error");

    int ham = (pic.camg & CAMG_HAM) != 0;
    int bits = iff_bit_count(&pic);
    if (bits == 0 || pic.width == 0 || pic.height == 0 || ((bits <= 8 || ham) && pic.colours == 0))
        return iff_fail(file, "File Read Error");
    fit_image_rect(pic.width, pic.height, 1);
    if (!pic.is_chunky && pic.planes == 6 && (pic.colours == 32 || (pic.camg & CAMG_HALF_BRITE)) && !ham) {
        add_half_brite(&pic);
        if (pic.camg & CAMG_HALF_BRITE)
            append_info_text(info, "\ncamg: extra-halfbrite");
    }
    if (ham)
        append_info_text(info, "\ncamg: hold and modify");

    uint32_t colours = bits == 1 ? (pic.colours < 2 ? pic.colours : 2) : bits == 8 ? pic.colours : 0;
    size_t plane_bytes = ((size_t)pic.width + 15) / 16 * 2;
    size_t row_bytes = pic.is_chunky ? (size_t)pic.width * (pic.planes / 8) + (pic.width & 1)
                                     : plane_bytes * (pic.planes + (pic.masking == 1));
    // A ByteRun1 packet gives at most 128 bytes for 2: more rows than that
    // cannot come from this file.
    uint64_t body_bytes = (uint64_t)end - pic.body_at;
    if ((uint64_t)row_bytes * pic.height > body_bytes * 64 + row_bytes)
        return iff_fail(file, "File Read Error");
    // In pixels: a row's bytes give width pixels, packed or stored as they are.
    uint64_t row_bytes_a_byte = pic.compression ? 64 : RAW_TRUNCATION_ALLOWANCE;
    narrow_pixel_ceiling(body_bytes * row_bytes_a_byte * (uint64_t)pic.width / row_bytes, 1);
    HGLOBAL hDib = create_packed_dib(pic.width, pic.height, bits, colours);
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    HGLOBAL hWork = bih ? GlobalAlloc(GMEM_FIXED, sizeof(IffSource) + row_bytes + (size_t)pic.width) : NULL;
    if (!hWork) {
        if (bih)
            GlobalUnlock(hDib);
        if (hDib)
            GlobalFree(hDib);
        return iff_fail(file, "Memory Allocation Error");
    }
    if (colours)
        memcpy(dib_color_table(bih), pic.table, colours * sizeof(RGBQUAD));

    IffSource* src = (IffSource*)hWork;
    BYTE* raw = (BYTE*)hWork + sizeof(IffSource);
    BYTE* index = raw + row_bytes;
    _llseek(file, (LONG)pic.body_at, FILE_BEGIN);
    begin_buffered_read(&src->in, file);
    src->packed = pic.compression != 0;
    src->literal_left = src->repeat_left = 0;
    uint32_t stride = dib_row_stride(pic.width, bits);
    BYTE* top = dib_pixels(bih) + (size_t)(pic.height - 1) * stride;
    int more = 1;
    for (int32_t r = 0; r < pic.height && more; ++r) {
        show_progress((double)(r + 1) / pic.height, 1);
        memset(raw, 0, row_bytes);
        for (size_t i = 0; i < row_bytes && more; ++i)
            more = next_iff_byte(src, &raw[i]);
        if (more)  // a short BODY leaves its last rows 0
            convert_iff_row(&pic, raw, plane_bytes, bits, index, top - (size_t)r * stride);
    }
    GlobalFree(hWork);
    GlobalUnlock(hDib);
    _lclose(file);
    compact_dib_depth(&hDib);
    return hDib;
}
