// Layout rules of the packed DIB and the utilities that copy it or change
// its depth. Every function checks the header against the block before it
// touches pixels, so a damaged image is left alone rather than overrun.
#include "image/packed_dib.h"

#include <stdio.h>
#include <string.h>

#include "image/background.h"
#include "image/current_image.h"
#include "image/pixel_ceiling.h"

int is_valid_dib_bit_count(int bit_count)
{
    switch (bit_count) {
    case 1: case 4: case 8: case 16: case 24: case 32:
        return 1;
    }
    return 0;
}

uint32_t dib_row_stride(int32_t width, int bit_count)
{
    if (!is_valid_dib_bit_count(bit_count) || width <= 0 || (uint32_t)width > MAX_DIB_DIMENSION)
        return 0;
    return (uint32_t)(((uint64_t)width * (uint64_t)bit_count + 31) / 32 * 4);
}

uint32_t dib_color_count(const BITMAPINFOHEADER* bih)
{
    if (bih->biBitCount > 8)
        return 0;
    uint32_t n = bih->biClrUsed ? bih->biClrUsed : (1u << bih->biBitCount);
    return n > 256 ? 256 : n;
}

uint32_t dib_pixel_offset(const BITMAPINFOHEADER* bih)
{
    uint32_t masks = bih->biCompression == BI_BITFIELDS ? 12 : 0;
    return DIB_HEADER_SIZE + masks + 4 * dib_color_count(bih);
}

RGBQUAD* dib_color_table(BITMAPINFOHEADER* bih)
{
    return (RGBQUAD*)((BYTE*)bih + DIB_HEADER_SIZE);
}

BYTE* dib_pixels(BITMAPINFOHEADER* bih)
{
    return (BYTE*)bih + dib_pixel_offset(bih);
}

uint64_t dib_block_size(int32_t width, int32_t height, int bit_count, uint32_t color_count)
{
    uint32_t stride = dib_row_stride(width, bit_count);
    if (stride == 0 || height <= 0 || (uint32_t)height > MAX_DIB_DIMENSION)
        return 0;
    uint64_t entries = 0;
    if (bit_count <= 8) {
        if (color_count > 256)
            return 0;
        entries = color_count ? color_count : (1u << bit_count);
    } else if (color_count != 0) {
        return 0;
    }
    uint64_t size = DIB_HEADER_SIZE + 4 * entries + (uint64_t)stride * (uint64_t)height;
    return size > MAX_DIB_BYTES ? 0 : size;
}

int dib_bit_count(HGLOBAL hDib)
{
    if (!hDib || GlobalSize(hDib) < sizeof(BITMAPINFOHEADER))
        return 0;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    int bits = bih->biBitCount;
    GlobalUnlock(hDib);
    return bits;
}

HGLOBAL create_packed_dib(int32_t width, int32_t height, int bit_count, uint32_t color_count)
{
    uint64_t size = dib_block_size(width, height, bit_count, color_count);
    if (size == 0 || !pixels_fit_ceiling((uint64_t)width * (uint64_t)height))
        return NULL;
    HGLOBAL hDib = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size);
    if (!hDib)
        return NULL;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih) {
        GlobalFree(hDib);
        return NULL;
    }
    bih->biSize = DIB_HEADER_SIZE;
    bih->biWidth = width;
    bih->biHeight = height;
    bih->biPlanes = 1;
    bih->biBitCount = (WORD)bit_count;
    bih->biClrUsed = color_count;
    GlobalUnlock(hDib);
    return hDib;
}

// Header checks shared by is_valid_packed_dib and the utilities, on a block
// already locked; block_size is GlobalSize of it.
static int header_fits_block(const BITMAPINFOHEADER* bih, SIZE_T block_size)
{
    if (block_size < DIB_HEADER_SIZE || bih->biSize != DIB_HEADER_SIZE)
        return 0;
    if (!is_valid_dib_bit_count(bih->biBitCount))
        return 0;
    if (bih->biBitCount <= 8 && bih->biClrUsed > 256)
        return 0;
    if (bih->biCompression == BI_BITFIELDS) {
        if (bih->biBitCount != 16 && bih->biBitCount != 32)
            return 0;
    } else if (bih->biCompression != BI_RGB) {
        return 0;
    }
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    if (stride == 0 || bih->biHeight <= 0 || (uint32_t)bih->biHeight > MAX_DIB_DIMENSION)
        return 0;
    uint64_t needed = (uint64_t)dib_pixel_offset(bih) + (uint64_t)stride * (uint64_t)bih->biHeight;
    return needed <= MAX_DIB_BYTES && needed <= block_size;
}

int is_valid_packed_dib(HGLOBAL hDib)
{
    if (!hDib)
        return 0;
    SIZE_T size = GlobalSize(hDib);
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    int ok = header_fits_block(bih, size);
    GlobalUnlock(hDib);
    return ok;
}

RGBQUAD dib_table_entry(const BITMAPINFOHEADER* bih, uint32_t index)
{
    RGBQUAD entry = {0, 0, 0, 0};
    uint32_t n = dib_color_count(bih);
    if (n == 0)
        return entry;
    if (index >= n)
        index = 0;
    return ((const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE))[index];
}

uint32_t dib_row_index(const BYTE* row, int bit_count, int32_t x)
{
    switch (bit_count) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    }
    return 0;
}

void compact_dib_depth(HGLOBAL* phDib)
{
    if (!phDib || !*phDib)
        return;
    HGLOBAL hDib = *phDib;
    SIZE_T block_size = GlobalSize(hDib);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return;
    if (!header_fits_block(bih, block_size) || bih->biCompression != BI_RGB) {
        GlobalUnlock(hDib);
        return;
    }
    int old_bits = bih->biBitCount;
    uint32_t n = bih->biClrUsed;
    int new_bits = 0;
    if (n != 0 && old_bits == 4 && n <= 2)
        new_bits = 1;
    else if (n != 0 && old_bits == 8 && n <= 16)
        new_bits = n == 2 ? 1 : 4;
    if (new_bits == 0) {
        GlobalUnlock(hDib);
        return;
    }

    int32_t width = bih->biWidth;
    int32_t height = bih->biHeight;
    uint32_t old_stride = dib_row_stride(width, old_bits);
    uint32_t new_stride = dib_row_stride(width, new_bits);
    HGLOBAL hRow = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, new_stride);
    BYTE* row = hRow ? (BYTE*)GlobalLock(hRow) : NULL;
    if (!row) {
        if (hRow)
            GlobalFree(hRow);
        GlobalUnlock(hDib);
        return;
    }

    BYTE* pixels = dib_pixels(bih);
    // A new row is never longer than an old one, so writing front to back
    // never overtakes the rows still to be read.
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* src = pixels + (uint64_t)y * old_stride;
        memset(row, 0, new_stride);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t index = dib_row_index(src, old_bits, x);
            if (index >= n)
                index = 0;  // beyond the table: entry 0
            if (new_bits == 4)
                row[x >> 1] |= (x & 1) ? (BYTE)index : (BYTE)(index << 4);
            else if (index != 0)
                row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        }
        memcpy(pixels + (uint64_t)y * new_stride, row, new_stride);
    }
    bih->biBitCount = (WORD)new_bits;
    bih->biSizeImage = 0;

    GlobalUnlock(hRow);
    GlobalFree(hRow);
    GlobalUnlock(hDib);
}

HGLOBAL copy_packed_dib(HGLOBAL hDib)
{
    if (!hDib)
        return NULL;
    SIZE_T block_size = GlobalSize(hDib);
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return NULL;
    if (!header_fits_block(bih, block_size)) {
        GlobalUnlock(hDib);
        return NULL;
    }
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    uint32_t table_bytes = 4 * dib_color_count(bih);
    SIZE_T size = DIB_HEADER_SIZE + table_bytes + (SIZE_T)stride * (SIZE_T)bih->biHeight;
    HGLOBAL hCopy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    BYTE* dst = hCopy ? (BYTE*)GlobalLock(hCopy) : NULL;
    if (!dst) {
        if (hCopy)
            GlobalFree(hCopy);
        GlobalUnlock(hDib);
        return NULL;
    }
    const BYTE* src = (const BYTE*)bih;
    if (bih->biCompression == BI_BITFIELDS) {
        memcpy(dst, src, DIB_HEADER_SIZE);
        ((BITMAPINFOHEADER*)dst)->biCompression = BI_RGB;
        DWORD masks[3];
        memcpy(masks, src + DIB_HEADER_SIZE, sizeof masks);
        int standard = (bih->biBitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF)
                    || (bih->biBitCount == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F);
        // Other masks give a black image of the right size.
        if (standard)
            memcpy(dst + DIB_HEADER_SIZE, src + DIB_HEADER_SIZE + sizeof masks, size - DIB_HEADER_SIZE);
    } else {
        memcpy(dst, src, size);
    }
    GlobalUnlock(hCopy);
    GlobalUnlock(hDib);
    return hCopy;
}

HGLOBAL create_dib24(int32_t width, int32_t height)
{
    return create_packed_dib(width, height, 24, 0);
}

void format_dib_info_text(HGLOBAL hDib, char* info)
{
    if (!info || !hDib || GlobalSize(hDib) < DIB_HEADER_SIZE)
        return;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return;
    const char* compression;
    switch (bih->biCompression) {
    case BI_RGB: compression = "BI_RGB"; break;
    case BI_RLE8: compression = "BI_RLE8"; break;
    case BI_RLE4: compression = "BI_RLE4"; break;
    case BI_BITFIELDS: compression = "BI_BITFIELDS"; break;
    default: compression = "unknown"; break;
    }
    snprintf(info, INFO_TEXT_SIZE,
             "image type: DIB \nwidth: %d \nheight: %d \nplanes: %d \nbits per pixel: %d \ncompression: %s",
             (int)bih->biWidth, (int)bih->biHeight, (int)bih->biPlanes, (int)bih->biBitCount, compression);
    GlobalUnlock(hDib);
}

int dib_alpha_is_unused(const BITMAPINFOHEADER* bih)
{
    if (!bih || bih->biBitCount != 32)
        return 0;
    const BYTE* pixels = (const BYTE*)bih + dib_pixel_offset(bih);
    int32_t height = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* row = pixels + (uint64_t)y * bih->biWidth * 4;
        for (int32_t x = 0; x < bih->biWidth; ++x)
            if (row[4 * x + 3])
                return 0;
    }
    return 1;
}

void flatten_alpha_onto_background(HGLOBAL* phDib, uint32_t background_index)
{
    if (!phDib || !*phDib)
        return;
    HGLOBAL hDib = *phDib;
    SIZE_T block_size = GlobalSize(hDib);
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return;
    if (!header_fits_block(bih, block_size) || bih->biBitCount != 32) {
        GlobalUnlock(hDib);
        return;
    }
    int32_t width = bih->biWidth;
    int32_t height = bih->biHeight;
    HGLOBAL hFlat = create_packed_dib(width, height, 24, 0);
    BITMAPINFOHEADER* flat = hFlat ? (BITMAPINFOHEADER*)GlobalLock(hFlat) : NULL;
    if (!flat) {
        if (hFlat)
            GlobalFree(hFlat);
        GlobalUnlock(hDib);
        return;
    }
    memcpy(flat, bih, DIB_HEADER_SIZE);
    flat->biBitCount = 24;
    flat->biCompression = BI_RGB;
    flat->biSizeImage = 0;
    flat->biClrUsed = 0;

    COLORREF bg = background_color(background_index);
    unsigned bg_blue = GetBValue(bg), bg_green = GetGValue(bg), bg_red = GetRValue(bg);
    const BYTE* src_pixels = (const BYTE*)bih + dib_pixel_offset(bih);
    BYTE* dst_pixels = dib_pixels(flat);
    uint32_t dst_stride = dib_row_stride(width, 24);
    int any_alpha = 0;
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* s = src_pixels + (uint64_t)y * width * 4;
        BYTE* d = dst_pixels + (uint64_t)y * dst_stride;
        for (int32_t x = 0; x < width; ++x, s += 4, d += 3) {
            unsigned a = s[3];
            any_alpha |= a;
            d[0] = (BYTE)((s[0] * a + bg_blue * (255 - a)) / 255);
            d[1] = (BYTE)((s[1] * a + bg_green * (255 - a)) / 255);
            d[2] = (BYTE)((s[2] * a + bg_red * (255 - a)) / 255);
        }
    }
    GlobalUnlock(hFlat);
    GlobalUnlock(hDib);
    // An alpha of 0 everywhere means the alpha channel is unused, not that
    // the picture is invisible: keep the image as it came.
    if (!any_alpha) {
        GlobalFree(hFlat);
        return;
    }
    GlobalFree(hDib);
    *phDib = hFlat;
}

HGLOBAL expand_dib_to_bgra32(HGLOBAL hDib, uint32_t has_transparency,
                             uint8_t transparent_index, uint32_t display_color)
{
    if (!hDib)
        return hDib;
    SIZE_T block_size = GlobalSize(hDib);
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return hDib;
    if (!header_fits_block(bih, block_size) || bih->biBitCount == 32) {
        GlobalUnlock(hDib);
        return hDib;
    }
    int bits = bih->biBitCount;
    int32_t width = bih->biWidth;
    int32_t height = bih->biHeight;
    HGLOBAL hWide = create_packed_dib(width, height, 32, 0);
    BITMAPINFOHEADER* wide = hWide ? (BITMAPINFOHEADER*)GlobalLock(hWide) : NULL;
    if (!wide) {
        if (hWide)
            GlobalFree(hWide);
        GlobalUnlock(hDib);
        return hDib;
    }
    memcpy(wide, bih, DIB_HEADER_SIZE);
    wide->biBitCount = 32;
    wide->biCompression = BI_RGB;
    wide->biSizeImage = 0;
    wide->biClrUsed = 0;
    wide->biClrImportant = 0;

    uint32_t n = dib_color_count(bih);
    const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
    const BYTE* src_pixels = (const BYTE*)bih + dib_pixel_offset(bih);
    uint32_t src_stride = dib_row_stride(width, bits);
    BYTE* dst_pixels = dib_pixels(wide);
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* s = src_pixels + (uint64_t)y * src_stride;
        BYTE* d = dst_pixels + (uint64_t)y * width * 4;
        for (int32_t x = 0; x < width; ++x, d += 4) {
            if (bits <= 8) {
                uint32_t index = dib_row_index(s, bits, x);
                if (index >= n)
                    index = 0;
                if (has_transparency && index == transparent_index) {
                    d[0] = (BYTE)display_color;
                    d[1] = (BYTE)(display_color >> 8);
                    d[2] = (BYTE)(display_color >> 16);
                    d[3] = 0;
                } else {
                    d[0] = table[index].rgbBlue;
                    d[1] = table[index].rgbGreen;
                    d[2] = table[index].rgbRed;
                    d[3] = 255;
                }
            } else if (bits == 16) {
                unsigned v = s[2 * x] | (s[2 * x + 1] << 8);
                d[0] = (BYTE)((v & 0x1F) * 255 / 31);
                d[1] = (BYTE)(((v >> 5) & 0x1F) * 255 / 31);
                d[2] = (BYTE)(((v >> 10) & 0x1F) * 255 / 31);
                d[3] = 255;
            } else {
                d[0] = s[3 * x];
                d[1] = s[3 * x + 1];
                d[2] = s[3 * x + 2];
                d[3] = 255;
            }
        }
    }
    GlobalUnlock(hWide);
    GlobalUnlock(hDib);
    return hWide;
}

void get_twips_per_pixel(HDC hdc, int32_t* twips_x, int32_t* twips_y)
{
    int dpi_x = GetDeviceCaps(hdc, LOGPIXELSX);
    int dpi_y = GetDeviceCaps(hdc, LOGPIXELSY);
    // A device that reports no resolution is taken as the usual 96 dpi.
    if (dpi_x <= 0)
        dpi_x = 96;
    if (dpi_y <= 0)
        dpi_y = 96;
    if (twips_x)
        *twips_x = 1440 / dpi_x;
    if (twips_y)
        *twips_y = 1440 / dpi_y;
}
