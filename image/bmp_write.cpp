// BMP writers and the row encoder of RLE4/RLE8. The files are written
// through safe_write, so the target is replaced only by a complete file.
#include "image/bmp_write.h"

#include <string.h>

#include "image/byte_order.h"
#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/safe_write.h"

enum { FILE_HEADER_SIZE = 14, BITFIELDS_DATA_OFFSET = FILE_HEADER_SIZE + DIB_HEADER_SIZE + 12 };


static void write_file_header(FILE* fp, uint32_t file_size, uint32_t data_offset)
{
    BYTE head[FILE_HEADER_SIZE] = {'B', 'M'};
    put_le32(head + 2, file_size);
    put_le32(head + 10, data_offset);
    fwrite(head, 1, sizeof(head), fp);
}

// A locked, valid image or null; the caller unlocks hDib.
static BITMAPINFOHEADER* lock_valid_image(HGLOBAL hDib)
{
    if (!is_valid_packed_dib(hDib))
        return NULL;
    return (BITMAPINFOHEADER*)GlobalLock(hDib);
}

// ---------------------------------------------------------------------------
// Uncompressed

int write_bmp_file(HGLOBAL hDib, const char* path)
{
    BITMAPINFOHEADER* bih = lock_valid_image(hDib);
    if (!bih)
        return 0;
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    uint32_t height = (uint32_t)bih->biHeight;
    // Colour table, or the masks of a bit-field image, as held.
    uint32_t pixel_offset = dib_pixel_offset(bih);
    uint32_t data_offset = FILE_HEADER_SIZE + pixel_offset;
    uint32_t file_size = data_offset + stride * height;  // fits: the image is valid

    SafeWrite out;
    FILE* fp = safe_write_open(&out, path);
    if (!fp) {
        GlobalUnlock(hDib);
        return 0;
    }
    write_file_header(fp, file_size, data_offset);
    fwrite(bih, 1, pixel_offset, fp);
    const BYTE* pixels = (const BYTE*)bih + pixel_offset;
    for (uint32_t y = 0; y < height && !ferror(fp); ++y) {
        show_progress((double)y / height, 1);
        fwrite(pixels + (size_t)y * stride, 1, stride, fp);
    }
    GlobalUnlock(hDib);
    return safe_write_commit(&out);
}

// ---------------------------------------------------------------------------
// Run-length coding

typedef struct RleOutput {
    FILE* stream;
    int write;
    uint32_t count;
} RleOutput;

static void emit(RleOutput* out, const BYTE* bytes, uint32_t n)
{
    if (out->write)
        fwrite(bytes, 1, n, out->stream);
    out->count += n;
}

static void emit_run(RleOutput* out, uint32_t pixels, BYTE value)
{
    BYTE code[2] = {(BYTE)pixels, value};
    emit(out, code, 2);
}

// Absolute mode; the byte count is always even here, so no pad byte.
static void emit_literal(RleOutput* out, const BYTE* data, uint32_t bytes, uint32_t pixels_per_byte)
{
    BYTE code[2] = {0, (BYTE)(bytes * pixels_per_byte)};
    emit(out, code, 2);
    emit(out, data, bytes);
}

uint32_t encode_bmp_rle(const BYTE* row, int32_t width, int mode, FILE* stream, int write)
{
    RleOutput out = {stream, write, 0};
    const uint32_t ppb = mode == BMP_RLE4 ? 2 : 1;  // pixels per byte
    const int rle8 = mode != BMP_RLE4;
    const uint32_t pair_bytes = width > 0 ? (uint32_t)width / ppb / 2 * 2 : 0;
    uint32_t lit_start = 0, lit_len = 0;  // pending literal, in bytes
    BYTE run_value = 0;
    uint32_t run_len = 0;                 // pending run, in bytes

    for (uint32_t i = 0; i < pair_bytes; i += 2) {
        BYTE a = row[i], b = row[i + 1];
        if (a != b || (rle8 && lit_len == 2)) {
            // An RLE8 literal of 2 cannot be coded absolute: it takes the pair.
            if (run_len) {
                emit_run(&out, run_len * ppb, run_value);
                run_len = 0;
            }
            if (lit_len == 0)
                lit_start = i;
            lit_len += 2;
            if (lit_len * ppb == 256) {
                emit_literal(&out, row + lit_start, lit_len - 2, ppb);
                lit_start = i;
                lit_len = 2;
            }
        } else if (i > 0) {
            if (lit_len) {
                emit_literal(&out, row + lit_start, lit_len, ppb);
                lit_len = 0;
            }
            if (run_len && a == run_value) {
                run_len += 2;
                if (run_len * ppb == 256) {
                    emit_run(&out, (run_len - 2) * ppb, run_value);
                    run_len = 2;
                }
            } else {
                if (run_len)
                    emit_run(&out, run_len * ppb, run_value);
                run_value = a;
                run_len = 2;
            }
        } else {
            run_value = a;
            run_len = 2;
        }
    }
    if (run_len)
        emit_run(&out, run_len * ppb, run_value);
    if (lit_len) {
        if (rle8 && lit_len == 2) {
            emit_run(&out, 1, row[lit_start]);
            emit_run(&out, 1, row[lit_start + 1]);
        } else {
            emit_literal(&out, row + lit_start, lit_len, ppb);
        }
    }

    if (width > 0) {
        uint32_t k = pair_bytes;
        if (rle8) {
            if (width & 1)
                emit_run(&out, 1, row[k]);
        } else {
            switch (width % 4) {
            case 1:
                emit_run(&out, 1, (BYTE)(row[k] & 0xF0));
                break;
            case 2:
                emit_run(&out, 2, row[k]);
                break;
            case 3: {
                BYTE code[4] = {0, 3, row[k], (BYTE)(row[k + 1] & 0xF0)};
                emit(&out, code, 4);
                break;
            }
            }
        }
    }
    static const BYTE END_OF_LINE[2] = {0, 0};
    emit(&out, END_OF_LINE, 2);
    return out.count;
}

int write_bmp_rle_file(const char* path, HGLOBAL hDib)
{
    BITMAPINFOHEADER* bih = lock_valid_image(hDib);
    if (!bih)
        return 0;
    int mode = bih->biBitCount == 8 ? BMP_RLE8 : bih->biBitCount == 4 ? BMP_RLE4 : 0;
    if (!mode) {
        GlobalUnlock(hDib);
        return 0;
    }
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    uint32_t height = (uint32_t)bih->biHeight;
    uint32_t colors = dib_color_count(bih);
    const BYTE* pixels = dib_pixels(bih);

    // First pass: the size of the coding, for the headers.
    uint64_t coded = 0;
    for (uint32_t y = 0; y < height; ++y)
        coded += encode_bmp_rle(pixels + (size_t)y * stride, bih->biWidth, mode, NULL, 0);
    const uint32_t end_of_bitmap = 2;
    uint32_t data_offset = FILE_HEADER_SIZE + DIB_HEADER_SIZE + 4 * colors;
    uint64_t file_size = data_offset + coded + end_of_bitmap;
    if (file_size > 0xFFFFFFFFu) {
        GlobalUnlock(hDib);
        return 0;
    }

    SafeWrite out;
    FILE* fp = safe_write_open(&out, path);
    if (!fp) {
        GlobalUnlock(hDib);
        return 0;
    }
    BITMAPINFOHEADER header = *bih;
    header.biCompression = mode == BMP_RLE8 ? BI_RLE8 : BI_RLE4;
    // The coded data ends with the end-of-bitmap code, which it counts.
    header.biSizeImage = (DWORD)(coded + end_of_bitmap);
    write_file_header(fp, (uint32_t)file_size, data_offset);
    fwrite(&header, 1, DIB_HEADER_SIZE, fp);
    fwrite(dib_color_table(bih), 4, colors, fp);
    for (uint32_t y = 0; y < height && !ferror(fp); ++y) {
        show_progress((double)y / height, 1);
        encode_bmp_rle(pixels + (size_t)y * stride, bih->biWidth, mode, fp, 1);
    }
    static const BYTE END_OF_BITMAP[2] = {0, 1};
    fwrite(END_OF_BITMAP, 1, 2, fp);
    GlobalUnlock(hDib);
    return safe_write_commit(&out);
}

// ---------------------------------------------------------------------------
// Bit fields

static int write_bitfields_rows(FILE* fp, BITMAPINFOHEADER* bih, int option)
{
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    uint32_t width = (uint32_t)bih->biWidth;
    uint32_t height = (uint32_t)bih->biHeight;
    const BYTE* pixels = dib_pixels(bih);
    if (option == 0) {
        fwrite(pixels, stride, height, fp);
        return 1;
    }
    HGLOBAL hRow = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, stride);
    BYTE* row = hRow ? (BYTE*)GlobalLock(hRow) : NULL;
    if (!row) {
        if (hRow)
            GlobalFree(hRow);
        return 0;
    }
    for (uint32_t y = 0; y < height && !ferror(fp); ++y) {
        show_progress((double)y / height, 1);
        const BYTE* src = pixels + (size_t)y * stride;
        if (bih->biBitCount == 16) {
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t p = (uint32_t)src[2 * x] | ((uint32_t)src[2 * x + 1] << 8);
                put_le16(row + 2 * x, ((p & 0x7FE0) * 2) + (p & 0x1F));
            }
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t p = (uint32_t)src[4 * x] | ((uint32_t)src[4 * x + 1] << 8) |
                             ((uint32_t)src[4 * x + 2] << 16);
                put_le32(row + 4 * x, ((p & 0xFF0000) << 6) + ((p & 0xFF00) << 4) + (p & 0xFF) * 4);
            }
        }
        fwrite(row, 1, stride, fp);  // padding stays zero
    }
    GlobalUnlock(hRow);
    GlobalFree(hRow);
    return 1;
}

int write_bmp_bitfields_file(const char* path, HGLOBAL hDib, int option)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    // An image that already carries masks is written from a plain copy.
    HGLOBAL hSource = hDib;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    if (bih->biBitCount != 16 && bih->biBitCount != 32) {
        GlobalUnlock(hDib);
        return 0;
    }
    if (bih->biCompression == BI_BITFIELDS) {
        GlobalUnlock(hDib);
        hSource = copy_packed_dib(hDib);
        bih = hSource ? (BITMAPINFOHEADER*)GlobalLock(hSource) : NULL;
        if (!bih) {
            if (hSource)
                GlobalFree(hSource);
            return 0;
        }
    }
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    uint32_t image_size = stride * (uint32_t)bih->biHeight;
    static const uint32_t MASKS[2][2][3] = {
        {{0x7C00, 0x03E0, 0x001F}, {0xF800, 0x07E0, 0x001F}},
        {{0x00FF0000, 0x0000FF00, 0x000000FF}, {0x3FF00000, 0x000FFC00, 0x000003FF}},
    };
    const uint32_t* masks = MASKS[bih->biBitCount == 32][option ? 1 : 0];

    int ok = 0;
    SafeWrite out;
    FILE* fp = safe_write_open(&out, path);
    if (fp) {
        BITMAPINFOHEADER header = *bih;
        header.biCompression = BI_BITFIELDS;
        header.biSizeImage = image_size;
        header.biClrUsed = 0;
        write_file_header(fp, image_size + BITFIELDS_DATA_OFFSET, BITFIELDS_DATA_OFFSET);
        fwrite(&header, 1, DIB_HEADER_SIZE, fp);
        BYTE raw_masks[12];
        for (int i = 0; i < 3; ++i)
            put_le32(raw_masks + 4 * i, masks[i]);
        fwrite(raw_masks, 1, sizeof(raw_masks), fp);
        if (write_bitfields_rows(fp, bih, option ? 1 : 0))
            ok = safe_write_commit(&out);
        else
            safe_write_abort(&out);
    }
    GlobalUnlock(hSource);
    if (hSource != hDib)
        GlobalFree(hSource);
    return ok;
}
