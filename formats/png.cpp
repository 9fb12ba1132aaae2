// PNG reading and writing through libpng. The reader turns every PNG into
// a bottom-up PackedDib of 1, 4, 8, 24 or 32 bits (alpha as the fourth
// byte, never composed here); the writer picks grey, palette, RGB or RGBA
// and the smallest bit depth the image's colour table allows. The comment
// rewrite without decoding lives in png_comment.cpp.
//
// libpng reports fatal errors by longjmp: each operation is one C-style
// function holding the setjmp, whose frame keeps only scalars and raw
// pointers, with the locals changed after setjmp declared volatile.
#include "formats/png.h"

#include <png.h>

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"

// What the last read found: bit depth (raised to 8 by the transparency
// step), colour type as stored and interlace method.
static int s_bitDepth;
static int s_colorType;
static int s_interlaceType;

// Deflate's largest ratio: a decoded byte count past this many times the
// file's bytes cannot come from the file.
static const uint64_t MAX_INFLATE_RATIO = 1032;
// Ancillary chunks libpng keeps (text, sPLT, unknown), and the most it
// allocates for one, compressed text decompressed included.
static const png_uint_32 MAX_CACHED_CHUNKS = 1000;
static const uint64_t MAX_CHUNK_BYTES = 8u << 20;

static const double SCREEN_GAMMA = 2.2;
static const double DEFAULT_FILE_GAMMA = 0.45;

// libpng's own allocations during one read (its structures, row buffers,
// and every chunk handler's buffer: text, sPLT, iCCP, unknown chunks) are
// refused past this many bytes. Its chunk length check is only a warning
// on reading, so the allocator is where a claimed length meets the file.
struct PngMemoryLimit {
    png_alloc_size_t most_bytes;
};

// No allocation is refused below this: libpng's structures and zlib's
// window for a file of a few bytes.
static const png_alloc_size_t MIN_ALLOCATION_LIMIT = 256u << 10;
static const uint64_t ROW_BUFFER_SLACK = 4096;

static png_voidp png_limited_malloc(png_structp png, png_alloc_size_t size)
{
    const PngMemoryLimit* limit = (const PngMemoryLimit*)png_get_mem_ptr(png);
    if (limit && size > limit->most_bytes)
        return NULL;
    return malloc(size);
}

static void png_limited_free(png_structp png, png_voidp block)
{
    free(block);
}

// Errors end the operation silently through the jump point; the caller
// reports. Warnings (bad ancillary chunks, CRC of ancillary data) are dropped.
static void png_quiet_error(png_structp png, png_const_charp message)
{
    png_longjmp(png, 1);
}

static void png_quiet_warning(png_structp png, png_const_charp message) {}

static void append_info(char* info, const char* text)
{
    if (!info)
        return;
    size_t used = strlen(info);
    if (used + 1 < INFO_TEXT_SIZE)
        lstrcpynA(info + used, text, (int)(INFO_TEXT_SIZE - used));
}

static const char* color_type_name(int color_type)
{
    switch (color_type) {
    case PNG_COLOR_TYPE_GRAY: return "grayscale \n";
    case PNG_COLOR_TYPE_RGB: return "RGB truecolor \n";
    case PNG_COLOR_TYPE_PALETTE: return "RGB palette \n";
    case PNG_COLOR_TYPE_GRAY_ALPHA: return "grayscale; alpha channel \n";
    case PNG_COLOR_TYPE_RGB_ALPHA: return "RGB; alpha channel \n";
    }
    return "unknown \n";
}

// Keeps the first text chunk named "description" (any case) as the
// comment, in the system's code page as the comment dialog shows it: an
// iTXt's text from UTF-8, a tEXt's or zTXt's from Latin-1.
static void take_description(png_structp png, png_infop info_ptr)
{
    png_textp texts = NULL;
    int count = 0;
    png_get_text(png, info_ptr, &texts, &count);
    for (int i = 0; i < count; i++) {
        if (!texts[i].key || lstrcmpiA(texts[i].key, "description") != 0)
            continue;
        const char* text = texts[i].text ? texts[i].text : "";
        size_t length = strlen(text);
        bool unshowable = false;
        HGLOBAL hText = texts[i].compression >= PNG_ITXT_COMPRESSION_NONE
                            ? system_text_from_utf8(text, length, &unshowable)
                            : system_text_from_latin1(text, length, &unshowable);
        if (hText) {
            if (g_hComment)
                GlobalFree(g_hComment);
            g_hComment = hText;
        }
        return;
    }
}

// The DIB bit count for a bit depth (after the transparency step) and a
// working colour type.
static int dib_bits_for(int bit_depth, int working_type)
{
    if (working_type == PNG_COLOR_TYPE_RGB)
        return 24;
    if (working_type == PNG_COLOR_TYPE_RGB_ALPHA)
        return 32;
    if (bit_depth == 1)
        return 1;
    return bit_depth <= 4 ? 4 : 8;
}

// Widens a row of 2-bit pixels, packed at its start, to 4-bit pixels in
// place; from the right end, so no source byte is overwritten before use.
static void widen_2bit_row(BYTE* row, uint32_t width)
{
    for (uint32_t k = width; k-- > 0;) {
        BYTE value = (BYTE)((row[k >> 2] >> (6 - 2 * (k & 3))) & 3);
        BYTE* dest = row + (k >> 1);
        if (k & 1)
            *dest = (BYTE)((*dest & 0xF0) | value);
        else
            *dest = (BYTE)((*dest & 0x0F) | (value << 4));
    }
}

// Bytes of the file at path; 0 when it cannot be asked.
static uint64_t file_bytes(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &attributes))
        return 0;
    return ((uint64_t)attributes.nFileSizeHigh << 32) | attributes.nFileSizeLow;
}

// Samples per pixel of a stored colour type.
static int png_channels_of(int color_type)
{
    switch (color_type) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

HGLOBAL read_png_file(const char* path, char* info)
{
    uint64_t bytes_in_file = file_bytes(path);
    FILE* fp = fopen(path, "rb");
    if (!fp) {
        seam_message_box(NULL, "Error Opening File", NULL, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    // Nothing the file describes can need more than its bytes inflate to.
    uint64_t inflated = bytes_in_file * MAX_INFLATE_RATIO;
    PngMemoryLimit limit = {(png_alloc_size_t)(inflated < MIN_ALLOCATION_LIMIT ? MIN_ALLOCATION_LIMIT
                                               : inflated < MAX_DIB_BYTES      ? inflated
                                                                               : MAX_DIB_BYTES)};
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, NULL, png_quiet_error,
                                               png_quiet_warning, &limit, png_limited_malloc,
                                               png_limited_free);
    png_infop info_ptr = png ? png_create_info_struct(png) : NULL;
    if (!info_ptr) {
        png_destroy_read_struct(png ? &png : NULL, NULL, NULL);
        fclose(fp);
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    HGLOBAL volatile hDib = NULL;
    BITMAPINFOHEADER* volatile bih = NULL;
    volatile int told = 0;  // a message was shown before the jump
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info_ptr, NULL);
        if (bih)
            GlobalUnlock(hDib);
        if (hDib)
            GlobalFree(hDib);
        fclose(fp);
        // A damaged or cut file is refused with a message, never silently.
        if (!told)
            seam_message_box(NULL, "File Read Error", NULL, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    // Refused inside libpng, before any row memory exists.
    png_set_user_limits(png, MAX_DIB_DIMENSION, MAX_DIB_DIMENSION);
    uint64_t chunk_limit = bytes_in_file * MAX_INFLATE_RATIO;
    png_set_chunk_cache_max(png, MAX_CACHED_CHUNKS);
    // 0 would mean no limit at all
    png_set_chunk_malloc_max(png, (png_alloc_size_t)(chunk_limit && chunk_limit < MAX_CHUNK_BYTES ? chunk_limit
                                                                                                   : MAX_CHUNK_BYTES));
    png_init_io(png, fp);
    png_set_sig_bytes(png, 0);
    png_read_info(png, info_ptr);
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, color_type = 0, interlace = 0;
    png_get_IHDR(png, info_ptr, &width, &height, &bit_depth, &color_type, &interlace, NULL, NULL);
    s_bitDepth = bit_depth;
    s_colorType = color_type;
    s_interlaceType = interlace;
    fit_image_rect((int32_t)width, (int32_t)height, 1);
    // Row buffers of the widest working pixel (16-bit RGBA) are libpng's
    // own, whatever the file's length.
    uint64_t widest_row = (uint64_t)width * 8 + ROW_BUFFER_SLACK;
    if (widest_row > limit.most_bytes)
        limit.most_bytes = (png_alloc_size_t)widest_row;
    // Each stored row (its filter byte included) comes from the file's
    // compressed bytes; the image is not made for more than they can give.
    uint64_t stored_row = ((uint64_t)width * png_channels_of(color_type) * bit_depth + 7) / 8 + 1;
    if (stored_row * height > bytes_in_file * MAX_INFLATE_RATIO) {
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
        told = 1;
        png_longjmp(png, 1);
    }

    if (info) {
        char line[160];
        snprintf(line, sizeof line,
                 "image type: PNG \nwidth: %lu \nheight: %lu \nbit depth: %d \ncolor type: ",
                 (unsigned long)width, (unsigned long)height, bit_depth);
        append_info(info, line);
        append_info(info, color_type_name(color_type));
        append_info(info, "interlace type: ");
        append_info(info, interlace == PNG_INTERLACE_NONE    ? "none \n"
                          : interlace == PNG_INTERLACE_ADAM7 ? "adam7 \n"
                                                             : "unknown \n");
    }

    int working = color_type;
    if (color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
        working = PNG_COLOR_TYPE_RGB_ALPHA;
    }
    if (png_get_valid(png, info_ptr, PNG_INFO_tRNS)) {
        if (working == PNG_COLOR_TYPE_GRAY)
            png_set_gray_to_rgb(png);
        png_set_expand(png);
        if (s_bitDepth < 8)
            s_bitDepth = 8;
        working = PNG_COLOR_TYPE_RGB_ALPHA;
    }
    int intent = 0;
    double file_gamma = 0;
    if (png_get_sRGB(png, info_ptr, &intent)) {
        png_set_sRGB(png, info_ptr, intent);
    } else if (png_get_gAMA(png, info_ptr, &file_gamma)) {
        // Grey files of 4 bits or fewer are corrected from 0.45 whatever
        // their gAMA says; the text still shows the file's value.
        if ((color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) &&
            s_bitDepth <= 4)
            png_set_gamma(png, SCREEN_GAMMA, DEFAULT_FILE_GAMMA);
        else
            png_set_gamma(png, SCREEN_GAMMA, file_gamma);
        char line[40];
        snprintf(line, sizeof line, "image gamma: %.2f ", file_gamma);
        append_info(info, line);
    } else {
        png_set_gamma(png, SCREEN_GAMMA, DEFAULT_FILE_GAMMA);
    }
    if (bit_depth == 16)
        png_set_strip_16(png);
    if (working == PNG_COLOR_TYPE_RGB || working == PNG_COLOR_TYPE_RGB_ALPHA)
        png_set_bgr(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info_ptr);

    int dib_bits = dib_bits_for(s_bitDepth, working);
    uint32_t table_size = dib_bits <= 8 ? 1u << dib_bits : 0;
    png_colorp palette = NULL;
    int palette_count = 0;
    if (working == PNG_COLOR_TYPE_PALETTE)
        png_get_PLTE(png, info_ptr, &palette, &palette_count);
    uint32_t clr_used = table_size;
    if (working == PNG_COLOR_TYPE_GRAY) {
        clr_used = s_bitDepth >= 8 ? 256 : 1u << s_bitDepth;
    } else if (working == PNG_COLOR_TYPE_PALETTE) {
        clr_used = (uint32_t)palette_count < table_size ? (uint32_t)palette_count : table_size;
        if (clr_used < 2)
            clr_used = 2;
    }
    uint32_t stride = dib_row_stride((int32_t)width, dib_bits);
    // libpng's row must fit the DIB row it is decoded into.
    if (stride == 0 || png_get_rowbytes(png, info_ptr) > stride)
        png_longjmp(png, 1);
    hDib = create_packed_dib((int32_t)width, (int32_t)height, dib_bits, clr_used);
    if (!hDib) {
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
        told = 1;
        png_longjmp(png, 1);
    }
    bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    RGBQUAD* table = dib_color_table(bih);
    if (working == PNG_COLOR_TYPE_GRAY) {
        for (uint32_t i = 0; i < clr_used; i++) {
            BYTE level = (BYTE)(i * 255 / (clr_used - 1));
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = level;
        }
    } else if (working == PNG_COLOR_TYPE_PALETTE) {
        uint32_t copy = (uint32_t)palette_count < clr_used ? (uint32_t)palette_count : clr_used;
        for (uint32_t i = 0; i < copy; i++) {
            table[i].rgbRed = palette[i].red;
            table[i].rgbGreen = palette[i].green;
            table[i].rgbBlue = palette[i].blue;
        }
    }
    BYTE* pixels = dib_pixels(bih);
    double total_rows = (double)passes * height;
    uint32_t rows_read = 0;
    for (int pass = 0; pass < passes; pass++) {
        for (uint32_t y = 0; y < height; y++) {
            show_progress(++rows_read / total_rows, 1);
            png_bytep row = pixels + (size_t)(height - 1 - y) * stride;
            png_read_rows(png, &row, NULL, 1);
        }
    }
    if (s_bitDepth == 2) {
        for (uint32_t y = 0; y < height; y++)
            widen_2bit_row(pixels + (size_t)y * stride, width);
    }
    png_read_end(png, info_ptr);
    if (info)
        take_description(png, info_ptr);
    png_destroy_read_struct(&png, &info_ptr, NULL);
    fclose(fp);
    GlobalUnlock(hDib);
    return hDib;
}

// How an image is written: PNG colour type and bit depth, and how a source
// row becomes a PNG row.
enum RowForm { ROW_AS_IS, ROW_GREY, ROW_PALETTE_2BIT, ROW_FROM_555 };

struct PngPlan {
    int color_type;
    int bit_depth;
    RowForm form;
    int strip_filler;  // 32-bit source written as RGB
};

static bool table_is_grey(const RGBQUAD* table, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++) {
        if (table[i].rgbRed != table[i].rgbGreen || table[i].rgbRed != table[i].rgbBlue)
            return false;
    }
    return true;
}

static bool alpha_all_zero(const BITMAPINFOHEADER* bih, const BYTE* pixels, uint32_t stride)
{
    uint32_t height = (uint32_t)(bih->biHeight < 0 ? -bih->biHeight : bih->biHeight);
    for (uint32_t y = 0; y < height; y++) {
        const BYTE* row = pixels + (size_t)y * stride;
        for (int32_t x = 0; x < bih->biWidth; x++) {
            if (row[4 * x + 3])
                return false;
        }
    }
    return true;
}

static PngPlan plan_png(const BITMAPINFOHEADER* bih, const RGBQUAD* table, uint32_t count,
                        bool keep_palette, const BYTE* pixels, uint32_t stride)
{
    int bits = bih->biBitCount;
    if (bits == 16)
        return {PNG_COLOR_TYPE_RGB, 8, ROW_FROM_555, 0};
    if (bits == 24)
        return {PNG_COLOR_TYPE_RGB, 8, ROW_AS_IS, 0};
    if (bits == 32) {
        // An alpha of 0 everywhere is a 32-bit layout, not a transparent
        // picture.
        if (alpha_all_zero(bih, pixels, stride))
            return {PNG_COLOR_TYPE_RGB, 8, ROW_AS_IS, 1};
        return {PNG_COLOR_TYPE_RGB_ALPHA, 8, ROW_AS_IS, 0};
    }
    if (!keep_palette && table_is_grey(table, count)) {
        if (bits == 1 && count >= 2 &&
            ((table[0].rgbRed == 0 && table[1].rgbRed == 255) ||
             (table[0].rgbRed == 255 && table[1].rgbRed == 0)))
            return {PNG_COLOR_TYPE_GRAY, 1, ROW_GREY, 0};
        if (bits == 4 && count >= 4 && table[1].rgbRed - table[0].rgbRed == 85 &&
            table[2].rgbRed - table[1].rgbRed == 85 && table[3].rgbRed - table[2].rgbRed == 85)
            return {PNG_COLOR_TYPE_GRAY, 2, ROW_GREY, 0};
        if (bits == 4 && count == 16) {
            bool ramp = true;
            for (int i = 1; i < 16; i++)
                ramp = ramp && table[i].rgbRed - table[i - 1].rgbRed == 17;
            if (ramp)
                return {PNG_COLOR_TYPE_GRAY, 4, ROW_GREY, 0};
        }
        if (bits == 8)
            return {PNG_COLOR_TYPE_GRAY, 8, ROW_GREY, 0};
    }
    if (bits == 4 && (count == 3 || count == 4))
        return {PNG_COLOR_TYPE_PALETTE, 2, ROW_PALETTE_2BIT, 0};
    return {PNG_COLOR_TYPE_PALETTE, bits, ROW_AS_IS, 0};
}

// Packs one sample of the given depth at position x of a PNG row.
static void put_sample(BYTE* row, int depth, uint32_t x, unsigned value)
{
    if (depth == 8) {
        row[x] = (BYTE)value;
        return;
    }
    unsigned per_byte = 8 / depth;
    unsigned shift = (unsigned)(8 - depth * (1 + x % per_byte));
    row[x / per_byte] |= (BYTE)(value << shift);
}

static void convert_row(const PngPlan& plan, const BYTE* src, int bits, const RGBQUAD* table,
                        uint32_t count, uint32_t width, BYTE* out, size_t out_size)
{
    memset(out, 0, out_size);
    if (plan.form == ROW_FROM_555) {
        for (uint32_t x = 0; x < width; x++) {
            unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
            out[3 * x] = (BYTE)((v & 0x1F) * 8);
            out[3 * x + 1] = (BYTE)(((v >> 5) & 0x1F) * 8);
            out[3 * x + 2] = (BYTE)(((v >> 10) & 0x1F) * 8);
        }
        return;
    }
    for (uint32_t x = 0; x < width; x++) {
        uint32_t index = dib_row_index(src, bits, (int32_t)x);
        if (plan.form == ROW_PALETTE_2BIT) {
            put_sample(out, 2, x, index & 3);
            continue;
        }
        BYTE red = index < count ? table[index].rgbRed : table[0].rgbRed;
        unsigned value = plan.bit_depth == 1 ? (red != 0) : red >> (8 - plan.bit_depth);
        put_sample(out, plan.bit_depth, x, value);
    }
}

// The libpng part of the write: one frame holding the jump point. Returns 1
// when every row and the end were written.
static int encode_png(FILE* fp, const BITMAPINFOHEADER* bih, const RGBQUAD* table, uint32_t count,
                      const PngPlan* plan, int interlace, bool mark_transparent, BYTE* row_buffer,
                      size_t row_buffer_size)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, png_quiet_error,
                                              png_quiet_warning);
    png_infop info_ptr = png ? png_create_info_struct(png) : NULL;
    if (!info_ptr) {
        png_destroy_write_struct(png ? &png : NULL, NULL);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info_ptr);
        return 0;
    }
    uint32_t width = (uint32_t)bih->biWidth;
    uint32_t height = (uint32_t)bih->biHeight;
    png_init_io(png, fp);
    png_set_IHDR(png, info_ptr, width, height, plan->bit_depth, plan->color_type,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (plan->color_type == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        BYTE alpha[256];
        uint32_t entries = count < (1u << plan->bit_depth) ? count : 1u << plan->bit_depth;
        for (uint32_t i = 0; i < entries; i++) {
            palette[i].red = table[i].rgbRed;
            palette[i].green = table[i].rgbGreen;
            palette[i].blue = table[i].rgbBlue;
            alpha[i] = 255;
        }
        // An index beyond the table has nothing to mark.
        if (mark_transparent && g_transparentIndex < entries) {
            const BYTE* shown = (const BYTE*)&g_transparentDisplayColor;
            palette[g_transparentIndex].blue = shown[0];
            palette[g_transparentIndex].green = shown[1];
            palette[g_transparentIndex].red = shown[2];
            alpha[g_transparentIndex] = 0;
        }
        png_set_PLTE(png, info_ptr, palette, (int)entries);
        if (mark_transparent && g_transparentIndex < entries)
            png_set_tRNS(png, info_ptr, alpha, (int)entries, NULL);
    }
    png_set_gAMA(png, info_ptr, DEFAULT_FILE_GAMMA);
    png_write_info(png, info_ptr);
    png_set_bgr(png);
    if (plan->strip_filler)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    int passes = interlace ? png_set_interlace_handling(png) : 1;
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    const BYTE* pixels = dib_pixels((BITMAPINFOHEADER*)bih);
    double total_rows = (double)passes * height;
    for (int pass = 0; pass < passes; pass++) {
        for (uint32_t y = 0; y < height; y++) {
            if (y % 8 == 0)
                show_progress((pass * (double)height + y) / total_rows, 1);
            const BYTE* src = pixels + (size_t)(height - 1 - y) * stride;
            png_bytep row = (png_bytep)src;
            if (plan->form != ROW_AS_IS) {
                convert_row(*plan, src, bih->biBitCount, table, count, width, row_buffer,
                            row_buffer_size);
                row = row_buffer;
            }
            png_write_rows(png, &row, 1);
        }
    }
    png_write_end(png, info_ptr);
    png_destroy_write_struct(&png, &info_ptr);
    return 1;
}

int write_png_file(const char* path, HGLOBAL hDib, int interlace)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    int result = 0;
    int bits = bih->biBitCount;
    // Bottom-up rows only: the header's height is the row count.
    if (is_valid_dib_bit_count(bits) && bih->biHeight > 0 && bih->biWidth > 0) {
        uint32_t count = dib_color_count(bih);
        const RGBQUAD* table = dib_color_table(bih);
        uint32_t stride = dib_row_stride(bih->biWidth, bits);
        bool mark_transparent = g_hasTransparency && g_colorConversion == 0 && count > 0;
        PngPlan plan = plan_png(bih, table, count, mark_transparent, dib_pixels(bih), stride);
        size_t buffer_size = stride > 3u * (uint32_t)bih->biWidth ? stride : 3u * (size_t)bih->biWidth;
        if (buffer_size < 8)
            buffer_size = 8;
        BYTE* row_buffer = plan.form == ROW_AS_IS ? NULL : (BYTE*)malloc(buffer_size);
        SafeWrite sw;
        if ((plan.form == ROW_AS_IS || row_buffer) && safe_write_open(&sw, path)) {
            if (encode_png(sw.fp, bih, table, count, &plan, interlace, mark_transparent,
                           row_buffer, buffer_size))
                result = safe_write_commit(&sw);
            else
                safe_write_abort(&sw);
        }
        free(row_buffer);
    }
    GlobalUnlock(hDib);
    return result;
}
