// Colour queries, logical palettes and colour models (see palette.h).
#include "image/palette.h"

#include <math.h>
#include <string.h>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/seams.h"

COLORREF g_pickedColor;
int g_paletteRealizeMode;

enum { MAX_PALETTE_ENTRIES = 257 };

// A LOGPALETTE with room for the picked colour after a full table.
struct PaletteBuffer {
    WORD version;
    WORD count;
    PALETTEENTRY entries[MAX_PALETTE_ENTRIES];
};

// Locks an image for a query when it is a bitmap with a header that fits
// its block; null otherwise (then nothing is locked).
static const BITMAPINFOHEADER* lock_query_image(HGLOBAL hDib)
{
    if (g_imageKind != KIND_DIB || !hDib || !is_valid_packed_dib(hDib))
        return NULL;
    return (const BITMAPINFOHEADER*)GlobalLock(hDib);
}

static HGLOBAL current_query_image(void)
{
    return g_hImageUnconverted ? g_hImageUnconverted : g_hImage;
}

int is_black_white_palette(HGLOBAL hDib)
{
    if (!hDib)
        hDib = current_query_image();
    const BITMAPINFOHEADER* bih = lock_query_image(hDib);
    if (!bih)
        return 0;
    int result = 0;
    if (bih->biBitCount <= 8) {
        const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
        uint32_t n = dib_color_count(bih);
        result = 1;
        for (uint32_t i = 0; i < n && result; ++i) {
            int sum = table[i].rgbRed + table[i].rgbGreen + table[i].rgbBlue;
            int grey = table[i].rgbRed == table[i].rgbGreen && table[i].rgbGreen == table[i].rgbBlue;
            result = grey && (sum == 0 || sum == 3 * 255);
        }
    }
    GlobalUnlock(hDib);
    return result;
}

int is_grey_palette(HGLOBAL hDib)
{
    const BITMAPINFOHEADER* bih = lock_query_image(hDib);
    if (!bih)
        return 0;
    int result = 0;
    if (bih->biBitCount <= 8) {
        const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
        uint32_t n = dib_color_count(bih);
        result = 1;
        for (uint32_t i = 0; i < n && result; ++i)
            result = table[i].rgbRed == table[i].rgbGreen && table[i].rgbGreen == table[i].rgbBlue;
    }
    GlobalUnlock(hDib);
    return result;
}

int is_grey8_ramp(HGLOBAL hDib)
{
    const BITMAPINFOHEADER* bih = lock_query_image(hDib);
    if (!bih)
        return 0;
    int result = 0;
    if (bih->biBitCount == 8) {
        const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
        uint32_t n = dib_color_count(bih);
        int ascending = 1, descending = 1;
        for (uint32_t i = 0; i < n; ++i) {
            const RGBQUAD* e = &table[i];
            if (e->rgbRed != e->rgbGreen || e->rgbGreen != e->rgbBlue) {
                ascending = descending = 0;
                break;
            }
            if (e->rgbRed != i)
                ascending = 0;
            if (e->rgbRed != 255 - i)
                descending = 0;
        }
        result = ascending || descending;
    }
    GlobalUnlock(hDib);
    return result;
}

int get_image_color_count(void)
{
    HGLOBAL hDib = current_query_image();
    const BITMAPINFOHEADER* bih = lock_query_image(hDib);
    if (!bih)
        return 0;
    int count;
    if (bih->biClrUsed)
        count = (int)bih->biClrUsed;
    else
        count = 1 << (bih->biBitCount > 24 ? 24 : bih->biBitCount);
    GlobalUnlock(hDib);
    return count;
}

int get_image_bit_count(void)
{
    HGLOBAL hDib = current_query_image();
    const BITMAPINFOHEADER* bih = lock_query_image(hDib);
    if (!bih)
        return 0;
    int bits = bih->biBitCount;
    GlobalUnlock(hDib);
    return bits;
}

int get_original_bit_count(void)
{
    const BITMAPINFOHEADER* bih = lock_query_image(g_hImage);
    if (!bih)
        return 0;
    int bits = bih->biBitCount;
    GlobalUnlock(g_hImage);
    return bits;
}

int get_display_bit_depth(void)
{
    return seam_display_bits();
}

HPALETTE create_dib_palette(const BITMAPINFOHEADER* bih, HWND hwnd)
{
    if (!bih || bih->biBitCount > 8)
        return NULL;
    PaletteBuffer buffer;
    memset(&buffer, 0, sizeof buffer);
    uint32_t n = dib_color_count(bih);
    const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
    buffer.version = 0x300;
    buffer.count = (WORD)n;
    for (uint32_t i = 0; i < n; ++i) {
        buffer.entries[i].peRed = table[i].rgbRed;
        buffer.entries[i].peGreen = table[i].rgbGreen;
        buffer.entries[i].peBlue = table[i].rgbBlue;
    }
    int picking = is_window_open(g_hwndPalette) || is_window_open(g_hwndFrame)
               || (is_window_open(g_hwndText) && g_paletteRealizeMode == 0);
    if (g_hasTransparency && g_colorConversion == 0 && picking && g_transparentIndex < n) {
        PALETTEENTRY* e = &buffer.entries[g_transparentIndex];
        e->peBlue = (BYTE)g_transparentDisplayColor;
        e->peGreen = (BYTE)(g_transparentDisplayColor >> 8);
        e->peRed = (BYTE)(g_transparentDisplayColor >> 16);
    }
    return CreatePalette((const LOGPALETTE*)&buffer);
}

HPALETTE create_picker_palette_from_dib(const BITMAPINFOHEADER* bih)
{
    if (!bih || bih->biBitCount > 8)
        return NULL;
    PaletteBuffer buffer;
    memset(&buffer, 0, sizeof buffer);
    uint32_t n = dib_color_count(bih);
    const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
    for (uint32_t i = 0; i < n; ++i) {
        buffer.entries[i].peRed = table[i].rgbRed;
        buffer.entries[i].peGreen = table[i].rgbGreen;
        buffer.entries[i].peBlue = table[i].rgbBlue;
    }
    if (g_hasTransparency && g_colorConversion == 0 && is_window_open(g_hwndPalette)
        && g_transparentIndex < n) {
        PALETTEENTRY* e = &buffer.entries[g_transparentIndex];
        e->peBlue = (BYTE)g_transparentDisplayColor;
        e->peGreen = (BYTE)(g_transparentDisplayColor >> 8);
        e->peRed = (BYTE)(g_transparentDisplayColor >> 16);
    }
    buffer.entries[n].peRed = GetRValue(g_pickedColor);
    buffer.entries[n].peGreen = GetGValue(g_pickedColor);
    buffer.entries[n].peBlue = GetBValue(g_pickedColor);
    buffer.version = 0x300;
    buffer.count = (WORD)(n + 1);
    return CreatePalette((const LOGPALETTE*)&buffer);
}

HPALETTE create_system_palette(RGBQUAD* colors)
{
    PaletteBuffer buffer;
    memset(&buffer, 0, sizeof buffer);
    buffer.version = 0x300;
    buffer.count = 256;
    HDC hdc = GetDC(NULL);
    if (hdc) {
        GetSystemPaletteEntries(hdc, 0, 256, buffer.entries);
        ReleaseDC(NULL, hdc);
    }
    for (int i = 0; i < 256; ++i) {
        buffer.entries[i].peFlags = 0;
        if (colors) {
            colors[i].rgbRed = buffer.entries[i].peRed;
            colors[i].rgbGreen = buffer.entries[i].peGreen;
            colors[i].rgbBlue = buffer.entries[i].peBlue;
            colors[i].rgbReserved = 0;
        }
    }
    return CreatePalette((const LOGPALETTE*)&buffer);
}

void snap_colors_to_palette(RGBQUAD* colors, HPALETTE hPalette, int count)
{
    if (!colors || !hPalette)
        return;
    for (int i = 0; i < count; ++i) {
        UINT index = GetNearestPaletteIndex(hPalette, RGB(colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue));
        PALETTEENTRY entry;
        if (index == CLR_INVALID || GetPaletteEntries(hPalette, index, 1, &entry) != 1)
            continue;
        colors[i].rgbRed = entry.peRed;
        colors[i].rgbGreen = entry.peGreen;
        colors[i].rgbBlue = entry.peBlue;
    }
}

void rgb_to_hsl(double red, double green, double blue, double* hue, double* lightness, double* saturation)
{
    double max = red > green ? red : green;
    if (blue > max)
        max = blue;
    double min = red < green ? red : green;
    if (blue < min)
        min = blue;
    double l = (max + min) / 2;
    *lightness = l;
    if (fabs(max - min) < 0.00001) {
        *saturation = 0;
        *hue = 0;
        return;
    }
    double d = max - min;
    *saturation = l < 0.5 ? d / (max + min) : d / (2 - max - min);
    double rc = (max - red) / d;
    double gc = (max - green) / d;
    double bc = (max - blue) / d;
    double h;
    if (red == max)
        h = bc - gc;
    else if (green == max)
        h = 2 + rc - bc;
    else
        h = 4 + gc - rc;
    h *= 60;
    if (h < 0)
        h += 360;
    *hue = h;
}

double hue_to_channel(double m1, double m2, double hue)
{
    if (hue >= 360)
        hue -= 360;
    else if (hue < 0)
        hue += 360;
    if (hue < 60)
        return m1 + (m2 - m1) * hue / 60;
    if (hue < 180)
        return m2;
    if (hue < 240)
        return m1 + (m2 - m1) * (240 - hue) / 60;
    return m1;
}

void hsl_to_rgb(double hue, double lightness, double saturation, double* red, double* green, double* blue)
{
    if (saturation == 0) {
        *red = *green = *blue = lightness;
        return;
    }
    double m2 = lightness <= 0.5 ? lightness * (1 + saturation)
                                 : lightness + saturation - lightness * saturation;
    double m1 = 2 * lightness - m2;
    *red = hue_to_channel(m1, m2, hue + 120);
    *green = hue_to_channel(m1, m2, hue);
    *blue = hue_to_channel(m1, m2, hue - 120);
}
