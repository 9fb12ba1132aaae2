// Red-eye correction of marked points (see red_eye.h): each point becomes a
// grey of its lightness raised to 2^0.2, slightly darker. An 8-bit image is
// corrected at 24 bits and reduced again to an optimised palette with
// dithering. The point list is only read.
#include "tools/red_eye.h"

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "tools/color_reduce.h"
#include "tools/crop_frame.h"
#include "tools/grey_tone.h"

#include <math.h>

HGLOBAL g_hRedEyePoints;
UINT g_redEyePointCount;

// Greys the pixel at p (16, 24 or 32 bits; alpha kept).
static void correct_pixel(BYTE* p, int bits, double exponent)
{
    double red, green, blue;
    uint32_t word = 0;
    if (bits == 16) {
        word = p[0] | p[1] << 8;
        red = ((word >> 10) & 31) / 31.0;
        green = ((word >> 5) & 31) / 31.0;
        blue = (word & 31) / 31.0;
    } else {
        blue = p[0] / 255.0;
        green = p[1] / 255.0;
        red = p[2] / 255.0;
    }
    double largest = fmax(red, fmax(green, blue)), smallest = fmin(red, fmin(green, blue));
    double v = pow((largest + smallest) / 2.0, exponent);
    if (bits == 16) {
        uint32_t field = (uint32_t)(31.0 * v);
        word = field << 10 | field << 5 | field;
        p[0] = (BYTE)word;
        p[1] = (BYTE)(word >> 8);
    } else {
        p[0] = p[1] = p[2] = (BYTE)(255.0 * v);
    }
}

int fix_red_eye_points(HGLOBAL* phDib, HGLOBAL hPoints, UINT point_count, int brightness_step,
                       RGBQUAD* base_table)
{
    if (!phDib || !is_valid_packed_dib(*phDib))
        return 0;
    const int bits = dib_bit_count(*phDib);
    if (bits <= 4)
        return 0;
    uint32_t old_entries = 0;
    if (bits == 8) {
        const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(*phDib);
        old_entries = dib_color_count(bih);
        GlobalUnlock(*phDib);
        HGLOBAL hFull = to_truecolor24(*phDib);
        if (!hFull)
            return 0;
        GlobalFree(*phDib);
        *phDib = hFull;
    }
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(*phDib);
    const int work_bits = bih->biBitCount;
    const int64_t width = bih->biWidth, height = bih->biHeight;
    const uint32_t stride = dib_row_stride(bih->biWidth, work_bits);
    // A count replayed from a record never reads past the list it came with.
    const UINT* points = hPoints ? (const UINT*)GlobalLock(hPoints) : NULL;
    uint64_t count = points ? point_count : 0;
    if (points && count > GlobalSize(hPoints) / (2 * sizeof(UINT)))
        count = GlobalSize(hPoints) / (2 * sizeof(UINT));
    const double exponent = pow(2.0, 0.2);
    for (uint64_t k = 0; k < count; ++k) {
        const UINT x = points[2 * k], y = points[2 * k + 1];
        if (x >= width || y >= height)
            continue;
        BYTE* row = dib_pixels(bih) + (size_t)(height - 1 - y) * stride;
        correct_pixel(row + (size_t)x * (work_bits / 8), work_bits, exponent);
    }
    if (points)
        GlobalUnlock(hPoints);
    GlobalUnlock(*phDib);

    if (bits == 8) {
        HGLOBAL before = NULL;
        reduce_colors(phDib, &before, old_entries <= 32 ? -32 : -256, KIND_DIB, 1, 1);
        if (before && before != *phDib)
            GlobalFree(before);
        if (brightness_step != 0 && base_table)
            rebuild_base_color_table(*phDib, brightness_step, base_table);
    }
    return 1;
}
