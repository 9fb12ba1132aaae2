// IFF writer and ANNO rewrite (see iff_write.h). The file is written in one
// pass into a seekable temporary stream; the BODY and FORM sizes are filled
// in once the data behind them is written.
#include "image/iff_write.h"

#include <stdlib.h>
#include <string.h>

#include "image/comment_text.h"
#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/safe_write.h"

static void put_be32(BYTE* p, uint32_t v)
{
    p[0] = (BYTE)(v >> 24);
    p[1] = (BYTE)(v >> 16);
    p[2] = (BYTE)(v >> 8);
    p[3] = (BYTE)v;
}

static void write_iff_chunk_header(const char* id, uint32_t size, FILE* out)
{
    BYTE head[8];
    memcpy(head, id, 4);
    put_be32(head + 4, size);
    fwrite(head, 1, 8, out);
}

// Overwrites the 32-bit size at position at and returns to the end.
static void patch_be32(FILE* out, long at, uint32_t value)
{
    BYTE b[4];
    put_be32(b, value);
    long end = ftell(out);
    fseek(out, at, SEEK_SET);
    fwrite(b, 1, 4, out);
    fseek(out, end, SEEK_SET);
}

size_t pack_byterun1(const BYTE* source, BYTE* destination, size_t n)
{
    enum { START, LITERAL, AFTER_REPEAT, AFTER_LITERAL_PAIR };
    int state = START;
    size_t out = 0, literal_at = 0, pair_at = 0;
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && source[i + run] == source[i])
            ++run;
        BYTE value = source[i];
        i += run;
        while (run > 128) {
            destination[out++] = 129;
            destination[out++] = value;
            run -= 128;
            state = AFTER_REPEAT;
        }
        if (run >= 2) {
            pair_at = out;
            destination[out++] = (BYTE)(1 - (int)run);
            destination[out++] = value;
            state = state == LITERAL && run == 2 ? AFTER_LITERAL_PAIR : AFTER_REPEAT;
            continue;
        }
        if (state == AFTER_LITERAL_PAIR && destination[literal_at] + 1 <= 126) {
            // literal, pair, single: the pair joins the literal
            destination[literal_at] = (BYTE)(destination[literal_at] + 2);
            destination[pair_at] = destination[pair_at + 1];
            state = destination[literal_at] + 1 == 128 ? START : LITERAL;
        }
        if (state == LITERAL) {
            destination[out++] = value;
            ++destination[literal_at];
            if (destination[literal_at] + 1 == 128)
                state = START;
        } else {
            literal_at = out;
            destination[out++] = 0;
            destination[out++] = value;
            state = LITERAL;
        }
    }
    return out;
}

struct IlbmLayout {
    int planes;
    int ham;
    size_t plane_bytes;  // w2: ceil(width / 8) rounded up to even
};

// Red, green, blue of pixel x of a DIB row.
static void pixel_rgb(const BITMAPINFOHEADER* bih, const BYTE* row, int32_t x, BYTE rgb[3])
{
    int bits = bih->biBitCount;
    if (bits <= 8) {
        RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bits, x));
        rgb[0] = q.rgbRed;
        rgb[1] = q.rgbGreen;
        rgb[2] = q.rgbBlue;
    } else if (bits == 16) {
        unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        rgb[0] = (BYTE)(((v >> 10) & 31) * 8);
        rgb[1] = (BYTE)(((v >> 5) & 31) * 8);
        rgb[2] = (BYTE)((v & 31) * 8);
    } else {
        const BYTE* p = row + x * (bits / 8);
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
    }
}

// HAM6 codes of one row: grey entries of the 16-step map or one channel
// modified, whichever leaves the smaller error.
static void build_ham_codes(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* codes)
{
    int pr = 0, pg = 0, pb = 0;
    for (int32_t x = 0; x < bih->biWidth; ++x) {
        BYTE rgb[3];
        pixel_rgb(bih, row, x, rgb);
        int grey = (int)(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]);
        int r = rgb[0] / 16, g = rgb[1] / 16, b = rgb[2] / 16, y = grey / 16;
        if (x == 0) {
            codes[x] = (BYTE)y;
            pr = pg = pb = y;
            continue;
        }
        int keep = abs(r - y) + abs(g - y) + abs(b - y);
        int red = abs(g - pg) + abs(b - pb), green = abs(r - pr) + abs(b - pb), blue = abs(r - pr) + abs(g - pg);
        if (keep < red && keep < green && keep < blue) {
            codes[x] = (BYTE)y;
            pr = pg = pb = y;
        } else if (blue < red && blue < green) {
            codes[x] = (BYTE)(0x10 + b);
            pb = b;
        } else if (red >= green) {
            codes[x] = (BYTE)(0x30 + g);
            pg = g;
        } else {
            codes[x] = (BYTE)(0x20 + r);
            pr = r;
        }
    }
}

// Plane p of a DIB row into a zeroed plane row; with opaque the alpha planes
// of a 32-bit image are all set.
static void build_plane_row(const BITMAPINFOHEADER* bih, const BYTE* row, const BYTE* codes, int opaque, int p,
                            BYTE* plane)
{
    int bits = bih->biBitCount;
    for (int32_t x = 0; x < bih->biWidth; ++x) {
        unsigned v;
        if (codes) {
            v = codes[x] >> p & 1;
        } else if (bits <= 8) {
            v = dib_row_index(row, bits, x) >> p & 1;
        } else {
            BYTE rgba[4] = {0, 0, 0, 0};
            pixel_rgb(bih, row, x, rgba);
            if (bits == 32)
                rgba[3] = opaque ? 255 : row[4 * x + 3];
            v = rgba[p / 8] >> (p % 8) & 1;
        }
        if (v)
            plane[x >> 3] |= (BYTE)(0x80 >> (x & 7));
    }
}

int write_ilbm_file(const char* path, int compress, int ham, HGLOBAL hImage)
{
    if (!is_valid_packed_dib(hImage))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!bih)
        return 0;
    int bits = bih->biBitCount;
    int32_t width = bih->biWidth, height = bih->biHeight;
    uint32_t colours = dib_color_count(bih);
    IlbmLayout l;
    l.ham = ham;
    if (ham) {
        l.planes = 6;
    } else if (bits <= 8) {
        l.planes = 1;
        while ((1u << l.planes) < colours)
            ++l.planes;
    } else {
        l.planes = bits == 32 ? 32 : 24;
    }
    l.plane_bytes = ((size_t)width + 15) / 16 * 2;
    // IFF sizes are 16 bits.
    HGLOBAL hWork = width <= 0xFFFF && height <= 0xFFFF
                        ? GlobalAlloc(GMEM_FIXED, l.plane_bytes * 3 + 1 + (size_t)width)
                        : NULL;
    SafeWrite sw;
    if (!hWork || !safe_write_open(&sw, path)) {
        if (hWork)
            GlobalFree(hWork);
        GlobalUnlock(hImage);
        return 0;
    }
    BYTE* plane = (BYTE*)hWork;
    BYTE* packed = plane + l.plane_bytes;
    BYTE* codes = packed + l.plane_bytes * 2 + 1;
    FILE* out = sw.fp;

    write_iff_chunk_header("FORM", 0, out);
    fwrite("ILBM", 1, 4, out);
    BYTE bmhd[20] = {0};
    bmhd[0] = (BYTE)(width >> 8);
    bmhd[1] = (BYTE)width;
    bmhd[2] = (BYTE)(height >> 8);
    bmhd[3] = (BYTE)height;
    bmhd[8] = (BYTE)l.planes;
    bmhd[10] = compress ? 1 : 0;
    bmhd[14] = bmhd[15] = 10;
    memcpy(bmhd + 16, bmhd, 4);
    write_iff_chunk_header("BMHD", 20, out);
    fwrite(bmhd, 1, 20, out);
    if (l.planes <= 8) {
        uint32_t entries = ham ? 16 : 1u << l.planes;
        write_iff_chunk_header("CMAP", entries * 3, out);
        for (uint32_t i = 0; i < entries; ++i) {
            RGBQUAD q = {0, 0, 0, 0};
            if (ham)
                q.rgbRed = q.rgbGreen = q.rgbBlue = (BYTE)(i * 16);
            else if (i < colours)
                q = dib_color_table(bih)[i];
            BYTE rgb[3] = {q.rgbRed, q.rgbGreen, q.rgbBlue};
            fwrite(rgb, 1, 3, out);
        }
        if (entries & 1)
            putc(0, out);
    }
    BYTE camg[4] = {0, 0, (BYTE)(ham ? 0x08 : 0), 0};
    write_iff_chunk_header("CAMG", 4, out);
    fwrite(camg, 1, 4, out);

    long body_size_at = ftell(out) + 4;
    write_iff_chunk_header("BODY", 0, out);
    long body_start = ftell(out);
    uint32_t stride = dib_row_stride(width, bits);
    const BYTE* pixels = dib_pixels(bih);
    int opaque = dib_alpha_is_unused(bih);  // an alpha of 0 everywhere is not used
    for (int32_t r = 0; r < height && !ferror(out); ++r) {
        show_progress((double)r / height, 1);
        const BYTE* row = pixels + (size_t)(height - 1 - r) * stride;
        if (ham)
            build_ham_codes(bih, row, codes);
        for (int p = 0; p < l.planes; ++p) {
            memset(plane, 0, l.plane_bytes);
            build_plane_row(bih, row, ham ? codes : NULL, opaque, p, plane);
            if (compress)
                fwrite(packed, 1, pack_byterun1(plane, packed, l.plane_bytes), out);
            else
                fwrite(plane, 1, l.plane_bytes, out);
        }
    }
    uint32_t body_size = (uint32_t)(ftell(out) - body_start);
    if (body_size & 1)
        putc(0, out);
    patch_be32(out, body_size_at, body_size);
    patch_be32(out, 4, (uint32_t)(ftell(out) - 8));
    GlobalFree(hWork);
    GlobalUnlock(hImage);
    return safe_write_commit(&sw);
}

// ---------------------------------------------------------------------------
// ANNO rewrite

static int copy_bytes(FILE* in, FILE* out, uint32_t count)
{
    BYTE buf[16384];
    while (count > 0) {
        size_t n = count < sizeof buf ? count : sizeof buf;
        if (fread(buf, 1, n, in) != n || fwrite(buf, 1, n, out) != n)
            return 0;
        count -= (uint32_t)n;
    }
    return 1;
}

// Reads an ANNO chunk's text left out of the new file and tells the
// rewrite of it; the pad byte is skipped. 0 when the file ends first.
static int drop_annotation(FILE* in, uint32_t size, uint32_t padded, CommentJob* job)
{
    note_dropped_comment(job, true, NULL, 0);
    BYTE buf[16384];
    for (uint32_t left = size; left > 0;) {
        size_t n = left < sizeof buf ? left : sizeof buf;
        if (fread(buf, 1, n, in) != n)
            return 0;
        note_dropped_comment(job, false, buf, n);
        left -= (uint32_t)n;
    }
    return fseek(in, (long)(padded - size), SEEK_CUR) == 0;
}

static int build_commented_iff(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    // A text the chunk size cannot hold is left out.
    size_t length = job->length > 0xFFFFFFF0u ? 0 : job->length;
    BYTE head[12];
    if (fread(head, 1, 12, in) != 12 || memcmp(head, "FORM", 4) != 0 ||
        (memcmp(head + 8, "ILBM", 4) != 0 && memcmp(head + 8, "PBM", 3) != 0) || fwrite(head, 1, 12, out) != 12)
        return 0;
    fseek(in, 0, SEEK_END);
    long file_size = ftell(in);
    fseek(in, 12, SEEK_SET);
    int annotated = 0;
    long pos = 12;
    while (pos + 8 <= file_size) {
        BYTE chunk[8];
        if (fread(chunk, 1, 8, in) != 8)
            return 0;
        uint32_t size = (uint32_t)chunk[4] << 24 | chunk[5] << 16 | chunk[6] << 8 | chunk[7];
        uint32_t padded = size + (size & 1);
        if (size > (uint32_t)(file_size - pos - 8))
            return 0;
        if (padded > (uint32_t)(file_size - pos - 8))
            padded = size;  // the last pad byte may be missing; it is written below
        if (!memcmp(chunk, "BODY", 4) && !annotated && length > 0) {
            write_iff_chunk_header("ANNO", (uint32_t)(length + (length & 1)), out);
            fwrite(job->text, 1, length, out);
            if (length & 1)
                putc(0, out);
            annotated = 1;
        }
        if (!memcmp(chunk, "ANNO", 4)) {
            if (!drop_annotation(in, size, padded, job))
                return 0;
        } else {
            if (fwrite(chunk, 1, 8, out) != 8 || !copy_bytes(in, out, padded))
                return 0;
            if (padded != size + (size & 1))
                putc(0, out);
        }
        pos += 8 + (long)padded;
    }
    if (ferror(out) || fflush(out) != 0)
        return 0;
    patch_be32(out, 4, (uint32_t)(ftell(out) - 8));
    return !ferror(out);
}

int write_ilbm_comment(const char* path, HGLOBAL* textHandle)
{
    return rewrite_for_comment(path, textHandle ? *textHandle : NULL, build_commented_iff, NULL) == REWRITE_DONE;
}
