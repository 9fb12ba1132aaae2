// Brightness, negative and the background swatch (see brightness.h). The
// curve of an amount s maps level i to (i / 255)^(2^(-s / 2)) x 255,
// rounded; 0 and 255 are fixed points of every curve.
#include "tools/brightness.h"

#include "image/background.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "tools/color_reduce.h"

#include <math.h>
#include <string.h>

static const char NOT_A_BITMAP[] = "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap";
static const char NO_MEMORY[] = "Insufficient Memory for this Operation.";

enum { SWATCH_SIDE = 32, SWATCH_EXTRA_BYTES = 3072 };

static void build_curve(int amount, BYTE curve[256])
{
    double e = pow(2.0, -amount / 2.0);
    for (int i = 0; i < 256; ++i)
        curve[i] = (BYTE)(int)(pow(i / 255.0, e) * 255.0 + 0.5);
}

static void map_pixels(const BYTE* src, BYTE* dst, int width, int height, int bits,
                       uint32_t stride, const BYTE curve[256])
{
    for (int y = 0; y < height; ++y) {
        const BYTE* p = src + (size_t)y * stride;
        BYTE* q = dst + (size_t)y * stride;
        if (bits == 24) {
            for (int x = 0; x < 3 * width; ++x)
                q[x] = curve[p[x]];
        } else if (bits == 32) {
            for (int x = 0; x < width; ++x, p += 4, q += 4) {
                q[0] = curve[p[0]];
                q[1] = curve[p[1]];
                q[2] = curve[p[2]];
                q[3] = p[3];
            }
        } else {
            for (int x = 0; x < width; ++x, p += 2, q += 2) {
                UINT w = p[0] | (p[1] << 8);
                UINT r = curve[((w >> 10) & 31) * 255 / 31] * 31 / 255;
                UINT g = curve[((w >> 5) & 31) * 255 / 31] * 31 / 255;
                UINT b = curve[(w & 31) * 255 / 31] * 31 / 255;
                UINT out = (r << 10) + (g << 5) + b;
                q[0] = (BYTE)out;
                q[1] = (BYTE)(out >> 8);
            }
        }
    }
}

int adjust_brightness(HGLOBAL hDib, RGBQUAD* base_table, int* amount, int step, HGLOBAL* phCopy)
{
    if (!amount || !is_valid_packed_dib(hDib))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    uint32_t table_size = dib_color_count(bih);
    if (table_size && !base_table) {
        GlobalUnlock(hDib);
        return 0;
    }
    int width = bih->biWidth, height = bih->biHeight, bits = bih->biBitCount;
    uint32_t stride = dib_row_stride(width, bits);
    uint32_t offset = dib_pixel_offset(bih);

    BITMAPINFOHEADER* dst = bih;
    HGLOBAL hCopy = NULL;
    if (phCopy) {
        SIZE_T size = offset + (SIZE_T)stride * (SIZE_T)height;
        hCopy = GlobalAlloc(GHND, size);
        dst = hCopy ? (BITMAPINFOHEADER*)GlobalLock(hCopy) : NULL;
        if (!dst) {
            if (hCopy)
                GlobalFree(hCopy);
            *phCopy = hDib;
            GlobalUnlock(hDib);
            return 0;
        }
        memcpy(dst, bih, table_size ? size : offset);
    }

    if (table_size) {
        RGBQUAD* table = dib_color_table(dst);
        if (step != 0) {
            if (*amount == 0)
                memcpy(base_table, table, table_size * sizeof(RGBQUAD));
            *amount += step;
            BYTE curve[256];
            build_curve(*amount, curve);
            for (uint32_t i = 0; i < table_size; ++i) {
                table[i].rgbBlue = curve[base_table[i].rgbBlue];
                table[i].rgbGreen = curve[base_table[i].rgbGreen];
                table[i].rgbRed = curve[base_table[i].rgbRed];
            }
        } else {
            memcpy(table, base_table, table_size * sizeof(RGBQUAD));
            *amount = 0;
        }
    } else if (step != 0) {
        BYTE curve[256];
        build_curve(step, curve);
        map_pixels((const BYTE*)bih + offset, (BYTE*)dst + offset, width, height, bits, stride, curve);
    } else {
        *amount = 0;
    }

    if (hCopy) {
        GlobalUnlock(hCopy);
        *phCopy = hCopy;
    }
    GlobalUnlock(hDib);
    return 1;
}

int invert_colors(HGLOBAL hDib)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    show_progress(0.0, 1);
    int width = bih->biWidth, height = bih->biHeight, bits = bih->biBitCount;
    if (bits > 8) {
        uint32_t stride = dib_row_stride(width, bits);
        BYTE* pixels = dib_pixels(bih);
        for (int y = 0; y < height; ++y) {
            show_progress((double)y / height, 1);
            BYTE* p = pixels + (size_t)y * stride;
            if (bits == 24) {
                for (int x = 0; x < 3 * width; ++x)
                    p[x] = (BYTE)(255 - p[x]);
            } else if (bits == 32) {
                for (int x = 0; x < width; ++x, p += 4) {
                    p[0] = (BYTE)(255 - p[0]);
                    p[1] = (BYTE)(255 - p[1]);
                    p[2] = (BYTE)(255 - p[2]);
                }
            } else {
                for (int x = 0; x < width; ++x, p += 2) {
                    UINT w = p[0] | (p[1] << 8);
                    UINT out = ((31 - ((w >> 10) & 31)) << 10) + ((31 - ((w >> 5) & 31)) << 5)
                             + (31 - (w & 31));
                    p[0] = (BYTE)out;
                    p[1] = (BYTE)(out >> 8);
                }
            }
        }
    } else {
        uint32_t n = dib_color_count(bih);
        RGBQUAD* table = dib_color_table(bih);
        // The transparent entry keeps its colour; what is shown in its
        // place is inverted instead.
        int keep = g_hasTransparency && g_colorConversion == 0;
        for (uint32_t i = 0; i < n; ++i) {
            if (keep && i == g_transparentIndex)
                continue;
            table[i].rgbBlue = (BYTE)(255 - table[i].rgbBlue);
            table[i].rgbGreen = (BYTE)(255 - table[i].rgbGreen);
            table[i].rgbRed = (BYTE)(255 - table[i].rgbRed);
        }
        if (keep)
            g_transparentDisplayColor ^= 0x00FFFFFF;
    }
    show_progress(0.0, 1);
    GlobalUnlock(hDib);
    SetCursor(previous);
    return 1;
}

HGLOBAL make_background_swatch(int count)
{
    if (count < 0 || count > 256)
        return NULL;
    HGLOBAL hDib = GlobalAlloc(GHND, DIB_HEADER_SIZE + 4 * (SIZE_T)count + SWATCH_EXTRA_BYTES);
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih) {
        if (hDib)
            GlobalFree(hDib);
        return NULL;
    }
    bih->biSize = DIB_HEADER_SIZE;
    bih->biWidth = SWATCH_SIDE;
    bih->biHeight = SWATCH_SIDE;
    bih->biPlanes = 1;
    bih->biBitCount = 8;
    bih->biCompression = BI_RGB;
    bih->biClrUsed = (DWORD)count;
    int index = g_backgroundColorIndex >= 0 && g_backgroundColorIndex < BACKGROUND_COLOR_COUNT
              ? g_backgroundColorIndex : 0;
    RGBQUAD* table = dib_color_table(bih);
    table[0].rgbRed = g_backgroundColors[index][0];
    table[0].rgbGreen = g_backgroundColors[index][1];
    table[0].rgbBlue = g_backgroundColors[index][2];
    GlobalUnlock(hDib);
    return hDib;
}

int step_current_brightness(int step)
{
    if (g_imageKind != KIND_DIB) {
        seam_message_box(NULL, NOT_A_BITMAP, NULL, MB_ICONHAND);
        return 0;
    }
    if (!g_hImage || step == 0)
        return 0;
    int reduced = 0;
    if (!g_hImageUnconverted && get_image_bit_count() > 8) {
        if (!reduce_colors(&g_hImage, &g_hImageUnconverted, -256, (UINT)g_imageKind, 1, 1))
            return 0;
        reduced = 1;
    }
    int drop_reduction = 0;
    if (!adjust_brightness(g_hImage, g_baseColorTable, &g_brightnessStep, step, NULL)) {
        seam_message_box(NULL, NO_MEMORY, NULL, MB_ICONHAND);
        if (!reduced)
            return 0;
        drop_reduction = 1;
    }
    // Back at the base brightness, the reduction made for the steps is
    // dropped and the full-colour image shown again.
    if (drop_reduction || (g_brightnessStep == 0 && g_hImageUnconverted && g_colorConversion == 0)) {
        GlobalFree(g_hImage);
        g_hImage = g_hImageUnconverted;
        g_hImageUnconverted = NULL;
    }
    return !drop_reduction;
}

int invert_current_image(void)
{
    if (g_imageKind != KIND_DIB) {
        seam_message_box(NULL, NOT_A_BITMAP, NULL, MB_ICONHAND);
        return 0;
    }
    if (!g_hImage)
        return 0;
    int palette = get_original_bit_count() <= 8;
    if (palette && g_brightnessStep != 0) {
        int scratch = 0;
        adjust_brightness(g_hImage, g_baseColorTable, &scratch, 0, NULL);
        for (int i = 0; i < 256; ++i) {
            g_baseColorTable[i].rgbBlue = (BYTE)(255 - g_baseColorTable[i].rgbBlue);
            g_baseColorTable[i].rgbGreen = (BYTE)(255 - g_baseColorTable[i].rgbGreen);
            g_baseColorTable[i].rgbRed = (BYTE)(255 - g_baseColorTable[i].rgbRed);
        }
    }
    if (g_hImageUnconverted)
        invert_colors(g_hImageUnconverted);
    int ok = invert_colors(g_hImage);
    if (palette && g_brightnessStep != 0)
        adjust_brightness(g_hImage, g_baseColorTable, &g_brightnessStep, 0, NULL);
    return ok;
}
