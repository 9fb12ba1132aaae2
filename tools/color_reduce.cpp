// Colour reduction and the standard palettes (see color_reduce.h). The
// quantiser of quantizer.cpp does the work: for a fixed palette only its
// mapping pass runs; for an optimised one a pre-scan fills the histogram,
// the median cut chooses the palette, and the same histogram, cleared, then
// caches the nearest colours of the mapping pass. Its large tables are
// allocated once per call and every allocation is checked before the image
// is touched.
#include "tools/color_reduce.h"

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "tools/quantizer.h"

#include <stdlib.h>
#include <string.h>

static const char NOT_A_BITMAP[] = "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap";
static const char NO_MEMORY[] = "Insufficient Memory for this Operation.";

// Image kind of an image that is not the current one (thumbnails, views on
// few-colour displays): reduced like a bitmap but never compacted.
enum { KIND_REDUCE_ONLY = 9 };

// Red, green, blue.
static const DWORD STANDARD_16[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

static const DWORD STANDARD_256[256] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0xA28D68, 0xD5CCBB, 0x040404, 0x080808, 0x0C0C0C, 0x111111, 0x161616, 0x1C1C1C,
    0x222222, 0x292929, 0x555555, 0x4D4D4D, 0x424242, 0x393939, 0xFF7C80, 0xFF5050,
    0xD60093, 0xCCECFF, 0xEFD6C6, 0xE7E7D6, 0xADA990, 0x330000, 0x660000, 0x990000,
    0xCC0000, 0x003300, 0x333300, 0x663300, 0x993300, 0xCC3300, 0xFF3300, 0x006600,
    0x336600, 0x666600, 0x996600, 0xCC6600, 0xFF6600, 0x009900, 0x339900, 0x669900,
    0x999900, 0xCC9900, 0xFF9900, 0x00CC00, 0x33CC00, 0x66CC00, 0x99CC00, 0xCCCC00,
    0xFFCC00, 0x66FF00, 0x99FF00, 0xCCFF00, 0x000033, 0x330033, 0x660033, 0x990033,
    0xCC0033, 0xFF0033, 0x003333, 0x333333, 0x663333, 0x993333, 0xCC3333, 0xFF3333,
    0x006633, 0x336633, 0x666633, 0x996633, 0xCC6633, 0xFF6633, 0x009933, 0x339933,
    0x669933, 0x999933, 0xCC9933, 0xFF9933, 0x00CC33, 0x33CC33, 0x66CC33, 0x99CC33,
    0xCCCC33, 0xFFCC33, 0x33FF33, 0x66FF33, 0x99FF33, 0xCCFF33, 0xFFFF33, 0x000066,
    0x330066, 0x660066, 0x990066, 0xCC0066, 0xFF0066, 0x003366, 0x333366, 0x663366,
    0x993366, 0xCC3366, 0xFF3366, 0x006666, 0x336666, 0x666666, 0x996666, 0xCC6666,
    0x009966, 0x339966, 0x669966, 0x999966, 0xCC9966, 0xFF9966, 0x00CC66, 0x33CC66,
    0x99CC66, 0xCCCC66, 0xFFCC66, 0x00FF66, 0x33FF66, 0x99FF66, 0xCCFF66, 0xFF00CC,
    0xCC00FF, 0x009999, 0x993399, 0x990099, 0xCC0099, 0x000099, 0x333399, 0x660099,
    0xCC3399, 0xFF0099, 0x006699, 0x336699, 0x663399, 0x996699, 0xCC6699, 0xFF3399,
    0x339999, 0x669999, 0x999999, 0xCC9999, 0xFF9999, 0x00CC99, 0x33CC99, 0x66CC66,
    0x99CC99, 0xCCCC99, 0xFFCC99, 0x00FF99, 0x33FF99, 0x66CC99, 0x99FF99, 0xCCFF99,
    0xFFFF99, 0x0000CC, 0x330099, 0x6600CC, 0x9900CC, 0xCC00CC, 0x003399, 0x3333CC,
    0x6633CC, 0x9933CC, 0xCC33CC, 0xFF33CC, 0x0066CC, 0x3366CC, 0x666699, 0x9966CC,
    0xCC66CC, 0xFF6699, 0x0099CC, 0x3399CC, 0x6699CC, 0x9999CC, 0xCC99CC, 0xFF99CC,
    0x00CCCC, 0x33CCCC, 0x66CCCC, 0x99CCCC, 0xCCCCCC, 0xFFCCCC, 0x00FFCC, 0x33FFCC,
    0x66FF99, 0x99FFCC, 0xCCFFCC, 0xFFFFCC, 0x3300CC, 0x6600FF, 0x9900FF, 0x0033CC,
    0x3333FF, 0x6633FF, 0x9933FF, 0xCC33FF, 0xFF33FF, 0x0066FF, 0x3366FF, 0x6666CC,
    0x9966FF, 0xCC66FF, 0xFF66CC, 0x0099FF, 0x3399FF, 0x6699FF, 0x9999FF, 0xCC99FF,
    0xFF99FF, 0x00CCFF, 0x33CCFF, 0x66CCFF, 0x99CCFF, 0xCCCCFF, 0xFFCCFF, 0x33FFFF,
    0x66FFCC, 0x99FFFF, 0xCCFFFF, 0xFF6666, 0x66FF66, 0xFFFF66, 0x6666FF, 0xFF66FF,
    0x66FFFF, 0xA50021, 0x5F5F5F, 0x777777, 0x868686, 0x969696, 0xCBCBCB, 0xB2B2B2,
    0xD7D7D7, 0xDDDDDD, 0xE3E3E3, 0xEAEAEA, 0xF1F1F1, 0xF8F8F8, 0xEAE6DD, 0xA0A0A4,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

static const DWORD BASIC_48[48] = {
    0xFFFFFF, 0xE0E0E0, 0xFFC0C0, 0xFFE0C0, 0xFFFFE0, 0xC0FFC0, 0xC0FFFF, 0xC0C0FF,
    0xFFC0FF, 0xFFCC00, 0xC04000, 0xC0C000, 0x00C000, 0x00C0C0, 0x0000C0, 0xC000C0,
    0xC0C0C0, 0x404040, 0xFF8080, 0xFFC080, 0xFFFF80, 0x80FF80, 0x80FFFF, 0x8080FF,
    0xFF80FF, 0xFFB200, 0xC00000, 0x808000, 0x008000, 0x008080, 0x000080, 0x800080,
    0x808080, 0x000000, 0xFF0000, 0xFF8000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF,
    0xFF00FF, 0xFF9900, 0x800000, 0x404000, 0x004000, 0x004040, 0x000040, 0x400040,
};

static const BYTE WEB_LEVELS[6] = {0x00, 0x33, 0x66, 0x99, 0xCC, 0xFF};

static RGBQUAD quad_from_rgb(DWORD rgb)
{
    RGBQUAD q;
    q.rgbRed = (BYTE)(rgb >> 16);
    q.rgbGreen = (BYTE)(rgb >> 8);
    q.rgbBlue = (BYTE)rgb;
    q.rgbReserved = 0;
    return q;
}

// The display palette of a locked palette image; 0 entries for deeper ones.
static int display_palette(HGLOBAL hDib, RGBQUAD* table)
{
    const BITMAPINFOHEADER* bih = hDib ? (const BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih)
        return 0;
    int n = 0;
    HPALETTE hPalette = create_dib_palette(bih, NULL);
    GlobalUnlock(hDib);
    if (hPalette) {
        PALETTEENTRY entries[256];
        n = (int)GetPaletteEntries(hPalette, 0, 256, entries);
        for (int i = 0; i < n; ++i) {
            table[i].rgbBlue = entries[i].peBlue;
            table[i].rgbGreen = entries[i].peGreen;
            table[i].rgbRed = entries[i].peRed;
            table[i].rgbReserved = 0;
        }
        DeleteObject(hPalette);
    }
    return n;
}

int get_standard_palette(int count, RGBQUAD* table)
{
    switch (count) {
    case 2:
        table[0] = quad_from_rgb(0x000000);
        table[1] = quad_from_rgb(0xFFFFFF);
        return 2;
    case 16:
        for (int i = 0; i < 16; ++i)
            table[i] = quad_from_rgb(STANDARD_16[i]);
        return 16;
    case 48:
        for (int i = 0; i < 48; ++i) {
            BYTE* bytes = (BYTE*)&table[i];
            bytes[0] = (BYTE)(BASIC_48[i] >> 16);
            bytes[1] = (BYTE)(BASIC_48[i] >> 8);
            bytes[2] = (BYTE)BASIC_48[i];
            bytes[3] = 0;
        }
        return 48;
    }
    if (count >= 257)
        return display_palette(g_hImage, table);
    for (int i = 0; i < 256; ++i)
        table[i] = quad_from_rgb(STANDARD_256[i]);
    return 256;
}

// Colour-table entry of a palette pixel; an index past the table reads
// entry 0.
static inline const RGBQUAD* entry_of(const RGBQUAD* table, UINT size, UINT index)
{
    static const RGBQUAD black = {0, 0, 0, 0};
    if (size == 0)
        return &black;
    return &table[index < size ? index : 0];
}

static void unpack_rgb_row(const BYTE* src, const RGBQUAD* table, UINT table_size, int width,
                           int bit_count, BYTE* out)
{
    switch (bit_count) {
    case 1: case 4: case 8:
        for (int x = 0; x < width; ++x, out += 3) {
            const RGBQUAD* e = entry_of(table, table_size, dib_row_index(src, bit_count, x));
            out[0] = e->rgbRed;
            out[1] = e->rgbGreen;
            out[2] = e->rgbBlue;
        }
        break;
    case 16:
        for (int x = 0; x < width; ++x, out += 3) {
            UINT w = src[2 * x] | (src[2 * x + 1] << 8);
            out[0] = (BYTE)(((w >> 10) & 31) * 8);
            out[1] = (BYTE)(((w >> 5) & 31) * 8);
            out[2] = (BYTE)((w & 31) * 8);
        }
        break;
    case 24: case 32: {
        int size = bit_count / 8;
        for (int x = 0; x < width; ++x, out += 3, src += size) {
            out[0] = src[2];
            out[1] = src[1];
            out[2] = src[0];
        }
        break;
    }
    default:
        memset(out, 0, (size_t)width * 3);
        break;
    }
}

void map_rows_through_quantizer(const BYTE* src_bits, BYTE* dst_bits, const RGBQUAD* src_table,
                                UINT src_table_size, UINT src_stride, UINT dst_stride, int width,
                                int height, int src_bit_count, BYTE* row_buffer, int pass,
                                QuantizerContext* ctx, int dither)
{
    show_progress(0.0, 1);
    for (int r = 0; r < height; ++r) {
        show_progress((double)r / height, 1);
        unpack_rgb_row(src_bits + (size_t)r * src_stride, src_table, src_table_size, width,
                       src_bit_count, row_buffer);
        BYTE* input = row_buffer;
        BYTE* output = dst_bits + (size_t)r * dst_stride;
        if (pass == 0)
            prescan_quantize(ctx, &input, &output, 1);
        else if (dither)
            pass2_fs_dither(ctx, &input, &output, 1);
        else
            pass2_no_dither(ctx, &input, &output, 1);
    }
    show_progress(0.0, 1);
}

// The palette of a fixed count into table; its entry count.
static int fixed_palette(int count, HGLOBAL hSource, RGBQUAD* table)
{
    switch (count) {
    case 2:
        table[0] = quad_from_rgb(0xFFFFFF);
        table[1] = quad_from_rgb(0x000000);
        return 2;
    case 16:
        return get_standard_palette(16, table);
    case 216:
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) {
                    RGBQUAD* q = &table[36 * r + 6 * g + b];
                    q->rgbRed = WEB_LEVELS[r];
                    q->rgbGreen = WEB_LEVELS[g];
                    q->rgbBlue = WEB_LEVELS[b];
                    q->rgbReserved = 0;
                }
        return 216;
    case 256:
        return get_standard_palette(256, table);
    case 257:
        // Entries the display palette lacks stay black; a true-colour image
        // has no display palette of its own and takes the standard one.
        if (display_palette(hSource, table) == 0)
            get_standard_palette(256, table);
        return 256;
    }
    return 0;
}

struct Reduction {
    const BITMAPINFOHEADER* src;
    const BYTE* src_bits;
    const RGBQUAD* src_table;
    UINT src_table_size;
    UINT src_stride;
    BITMAPINFOHEADER* dst;
    UINT dst_stride;
    BYTE* row_buffer;
};

static void map_all_rows(const Reduction* job, QuantizerContext* ctx, int pass, int dither)
{
    BYTE* dst_bits = (BYTE*)job->dst + DIB_HEADER_SIZE + 4 * job->dst->biClrUsed;
    map_rows_through_quantizer(job->src_bits, dst_bits, job->src_table, job->src_table_size,
                               job->src_stride, job->dst_stride, job->src->biWidth,
                               job->src->biHeight, job->src->biBitCount, job->row_buffer, pass,
                               ctx, dither);
}

// Fills the colour table and rows of job->dst. 0 when a working block of the
// quantiser could not be had (the result is then incomplete).
static int quantize_into(const Reduction* job, int count, int desired, HGLOBAL hSource, int dither)
{
    QuantizerContext ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.desired_number_of_colors = desired;
    ctx.output_width = (UINT)job->src->biWidth;
    ctx.out_color_components = 3;
    ctx.dither_mode = 2;
    ctx.enable_2pass_quant = 1;
    int ok = prepare_range_limit_table(&ctx) && jinit_2pass_quantizer(&ctx);
    RGBQUAD* table = (RGBQUAD*)((BYTE*)job->dst + DIB_HEADER_SIZE);
    int fixed = count == 2 || count == 16 || count == 216 || count == 256 || count == 257;
    if (ok && fixed) {
        int n = fixed_palette(count, hSource, table);
        for (int i = 0; i < n; ++i) {
            ctx.colormap[0][i] = table[i].rgbRed;
            ctx.colormap[1][i] = table[i].rgbGreen;
            ctx.colormap[2][i] = table[i].rgbBlue;
        }
        ctx.actual_number_of_colors = n;
        job->dst->biClrUsed = (DWORD)n;
        // The fresh histogram is already clear.
        map_all_rows(job, &ctx, 1, dither);
        finish_pass2(&ctx);
    } else if (ok) {
        map_all_rows(job, &ctx, 0, 0);
        ok = finish_pass1(&ctx);
        if (ok) {
            int n = ctx.actual_number_of_colors;
            job->dst->biClrUsed = (DWORD)n;
            for (int i = 0; i < n; ++i) {
                table[i].rgbRed = ctx.colormap[0][i];
                table[i].rgbGreen = ctx.colormap[1][i];
                table[i].rgbBlue = ctx.colormap[2][i];
                table[i].rgbReserved = 0;
            }
            // The colour counts become the nearest-colour cache.
            new_color_map_2_quant(&ctx);
            ok = start_pass_2_quant(&ctx, 0);
            if (ok) {
                map_all_rows(job, &ctx, 1, dither);
                finish_pass2(&ctx);
            }
        }
    }
    release_quantizer(&ctx);
    return ok;
}

int reduce_colors(HGLOBAL* phDib, HGLOBAL* phUnconverted, int count, UINT image_kind,
                  UINT wait_cursor, UINT dither)
{
    if (image_kind != KIND_DIB && image_kind != KIND_REDUCE_ONLY) {
        seam_message_box(NULL, NOT_A_BITMAP, NULL, MB_ICONHAND);
        return 0;
    }
    if (!phDib || !*phDib || !phUnconverted)
        return 0;
    int desired = abs(count) < 256 ? abs(count) : 256;
    if (desired < 2)
        return 0;
    // The conversion starts from the full-colour image; the images change
    // hands only once the result is complete.
    HGLOBAL hSource = *phUnconverted ? *phUnconverted : *phDib;
    if (!is_valid_packed_dib(hSource))
        return 0;
    const BITMAPINFOHEADER* src = (const BITMAPINFOHEADER*)GlobalLock(hSource);
    if (!src)
        return 0;

    HCURSOR previous = NULL;
    if (wait_cursor)
        previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    int32_t width = src->biWidth, height = src->biHeight;
    uint32_t dst_stride = dib_row_stride(width, 8);
    uint64_t size = DIB_HEADER_SIZE + 1024 + (uint64_t)dst_stride * (uint64_t)height;
    HGLOBAL hResult = size <= MAX_DIB_BYTES ? GlobalAlloc(GHND, (SIZE_T)size) : NULL;
    BITMAPINFOHEADER* dst = hResult ? (BITMAPINFOHEADER*)GlobalLock(hResult) : NULL;
    HGLOBAL hRow = GlobalAlloc(GHND, (SIZE_T)width * 3);
    BYTE* row_buffer = hRow ? (BYTE*)GlobalLock(hRow) : NULL;
    int ok = dst && row_buffer;
    if (ok) {
        memcpy(dst, src, DIB_HEADER_SIZE);
        dst->biBitCount = 8;
        dst->biCompression = BI_RGB;
        dst->biClrUsed = (DWORD)desired;
        dst->biClrImportant = 0;
        dst->biSizeImage = dst_stride * (uint32_t)height;
        Reduction job;
        job.src = src;
        job.src_bits = dib_pixels((BITMAPINFOHEADER*)src);
        job.src_table = (const RGBQUAD*)((const BYTE*)src + DIB_HEADER_SIZE);
        job.src_table_size = dib_color_count(src);
        job.src_stride = dib_row_stride(width, src->biBitCount);
        job.dst = dst;
        job.dst_stride = dst_stride;
        job.row_buffer = row_buffer;
        // The display palette belongs to the image the current one becomes.
        HGLOBAL hPaletteSource = phDib == &g_hImage ? hSource : g_hImage;
        ok = quantize_into(&job, count, desired, hPaletteSource, dither != 0);
    }
    if (row_buffer)
        GlobalUnlock(hRow);
    if (hRow)
        GlobalFree(hRow);
    if (dst)
        GlobalUnlock(hResult);
    GlobalUnlock(hSource);
    if (!ok) {
        if (hResult)
            GlobalFree(hResult);
        if (wait_cursor)
            SetCursor(previous);
        seam_message_box(NULL, NO_MEMORY, NULL, MB_ICONHAND);
        return 0;
    }

    if (*phUnconverted)
        GlobalFree(*phDib);
    *phUnconverted = hSource;
    *phDib = hResult;
    if (image_kind == KIND_DIB)
        compact_dib_depth(phDib);
    if (wait_cursor)
        SetCursor(previous);
    return 1;
}
