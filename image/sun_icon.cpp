// Sun icon reader (see sun_icon.h). Each item holds 16 pixels of a 1-bit
// icon or 2 of an 8-bit one, high byte first; rows run from the top.
#include "image/sun_icon.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/seams.h"

enum { SUN_HEADER_CHARS = 78 };

static const BYTE SUN_COLOURS[16][3] = {
    {255, 255, 255}, {0, 0, 0},     {0, 0, 128},   {0, 128, 128}, {128, 0, 0},   {128, 0, 128},
    {128, 128, 0},   {192, 192, 192}, {128, 128, 128}, {0, 0, 255}, {0, 255, 0}, {0, 255, 255},
    {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {0, 128, 0}};

static HGLOBAL sun_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
    return NULL;
}

// The number after key in the header, or fallback when the key is absent.
static long header_number(const char* header, const char* key, long fallback)
{
    const char* at = strstr(header, key);
    return at ? strtol(at + strlen(key), NULL, 10) : fallback;
}

// The next item: skips to the next '0' and reads a hex number from there;
// -1 at the end of the file.
static long read_sun_item(FILE* fp)
{
    int c;
    do
        c = getc(fp);
    while (c != EOF && c != '0');
    if (c == EOF)
        return -1;
    c = getc(fp);
    if (c != 'x' && c != 'X') {
        if (c != EOF)
            ungetc(c, fp);
        return 0;
    }
    long value = 0;
    for (int digits = 0; digits < 8 && (c = getc(fp)) != EOF && isxdigit(c); ++digits)
        value = value * 16 + (isdigit(c) ? c - '0' : (tolower(c) - 'a' + 10));
    if (c != EOF && !isxdigit(c))
        ungetc(c, fp);
    return value;
}

HGLOBAL read_sun_icon_file(HWND owner, const char* path, char* info)
{
    FILE* fp = path ? fopen(path, "rb") : NULL;
    if (!fp)
        return sun_error(owner, "Invalid Path or File Name");
    char header[SUN_HEADER_CHARS + 1];
    size_t got = fread(header, 1, SUN_HEADER_CHARS, fp);
    header[got] = '\0';
    for (size_t i = 0; i < got; ++i)
        header[i] = (char)tolower((unsigned char)header[i]);
    if (info)
        snprintf(info, INFO_TEXT_SIZE, "image type: SunIcon \n\nheader string: %s", header);
    long depth = header_number(header, "depth=", 1);
    long width = header_number(header, "width=", 64);
    long height = header_number(header, "height=", 64);
    long item_bits = header_number(header, "valid_bits_per_item=", 0);
    fseek(fp, 0, SEEK_END);
    long file_size = ftell(fp);
    fseek(fp, (long)got, SEEK_SET);
    HGLOBAL hDib = NULL;
    // An item may be a single character: 16 pixels of a 1-bit icon, 2 of
    // an 8-bit one.
    if (depth == 1 || depth == 8)
        narrow_pixel_ceiling((uint64_t)(file_size > 0 ? file_size : 0), depth == 1 ? 16 : 2);
    if (depth != 1 && depth != 8) {
        sun_error(owner, "Unsupported SunIcon Depth");
    } else if (item_bits != 16) {
        sun_error(owner, "Unsupported SunIcon Valid Bits per Item");
    } else if (width <= 0 || height <= 0 || width > (long)MAX_DIB_DIMENSION || height > (long)MAX_DIB_DIMENSION ||
               // an item of one character gives at most 16 pixels
               (uint64_t)width * height > (uint64_t)(file_size > 0 ? file_size : 0) * 16 ||
               !pixels_fit_ceiling((uint64_t)width * height)) {
        sun_error(owner, "File Read Error");
    } else {
        hDib = create_packed_dib(width, height, (int)depth, depth == 1 ? 2 : 256);
        if (!hDib)
            sun_error(owner, "Memory Allocation Error");
    }
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (bih) {
        fit_image_rect(width, height, 1);
        RGBQUAD* table = dib_color_table(bih);
        for (int i = 0; i < (depth == 1 ? 2 : 16); ++i) {
            table[i].rgbRed = SUN_COLOURS[i][0];
            table[i].rgbGreen = SUN_COLOURS[i][1];
            table[i].rgbBlue = SUN_COLOURS[i][2];
        }
        uint32_t stride = dib_row_stride(width, (int)depth);
        long pixels_per_item = depth == 1 ? 16 : 2;
        long items = (width + pixels_per_item - 1) / pixels_per_item;
        size_t row_bytes = depth == 1 ? ((size_t)width + 7) / 8 : (size_t)width;
        int more = 1;
        for (long y = 0; y < height && more; ++y) {
            BYTE* row = dib_pixels(bih) + (size_t)(height - 1 - y) * stride;
            for (long i = 0; i < items; ++i) {
                long item = read_sun_item(fp);
                if (item < 0) {
                    more = 0;
                    break;
                }
                row[2 * i] = (BYTE)(item >> 8);
                row[2 * i + 1] = (BYTE)item;
            }
            // Pixels past the width stay 0.
            memset(row + row_bytes, 0, stride - row_bytes);
            if (depth == 1 && (width & 7))
                row[row_bytes - 1] &= (BYTE)(0xFF00 >> (width & 7));
        }
        GlobalUnlock(hDib);
    }
    fclose(fp);
    return hDib;
}
