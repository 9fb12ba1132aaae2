// Deform to sphere (see sphere.h): the square at the image's top-left
// corner, promoted to 24 bits, has its rows and then its columns remapped
// through the arc of a half circle, and the corners outside the inscribed
// disc painted in the background. Any step that cannot be completed makes
// the whole call fail: a caller never receives a half-made ball.
#include "tools/sphere.h"

#include "image/packed_dib.h"
#include "tools/crop_frame.h"
#include "tools/quarter_turns.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

// Remaps every row of the n x n 24-bit image: output pixel i comes from
// source pixel trunc(r x angle(i) / 90), mirrored for the right half.
static void remap_rows(HGLOBAL hDib, const double* angles, int n, BYTE* row_buffer)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    const double r = (n - 1) / 2.0;
    const int half = n / 2 + (n & 1);
    const uint32_t stride = dib_row_stride(n, 24);
    for (int y = 0; y < n; ++y) {
        BYTE* row = dib_pixels(bih) + (size_t)y * stride;
        for (int i = 0; i < half; ++i) {
            const int s = (int)(r * angles[i] / 90.0);
            memcpy(row_buffer + 3 * (size_t)i, row + 3 * (size_t)s, 3);
            memcpy(row_buffer + 3 * (size_t)(n - 1 - i), row + 3 * (size_t)(n - 1 - s), 3);
        }
        memcpy(row, row_buffer, 3 * (size_t)n);
    }
    GlobalUnlock(hDib);
}

static void paint_outside_disc(HGLOBAL hDib, int n, COLORREF background)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    const double r = (n - 1) / 2.0;
    const uint32_t stride = dib_row_stride(n, 24);
    for (int y = 0; y < n; ++y) {
        BYTE* row = dib_pixels(bih) + (size_t)y * stride;
        for (int x = 0; x < n; ++x)
            if ((x - r) * (x - r) + (y - r) * (y - r) > r * r) {
                row[3 * x] = GetBValue(background);
                row[3 * x + 1] = GetGValue(background);
                row[3 * x + 2] = GetRValue(background);
            }
    }
    GlobalUnlock(hDib);
}

// The row pass, a quarter turn, the row pass again on the former columns,
// and the turn back. 0 when a turn fails (the image is then unusable).
static int deform(HGLOBAL* phSquare, const double* angles, int n, BYTE* row_buffer)
{
    int orientation = 0;
    remap_rows(*phSquare, angles, n, row_buffer);
    if (!rotate_cw90(phSquare, &orientation))
        return 0;
    remap_rows(*phSquare, angles, n, row_buffer);
    return rotate_ccw90(phSquare, &orientation);
}

HGLOBAL deform_to_sphere(HGLOBAL hDib, COLORREF background)
{
    if (!is_valid_packed_dib(hDib))
        return NULL;
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    const int width = bih->biWidth, height = bih->biHeight;
    GlobalUnlock(hDib);
    HGLOBAL hSquare = NULL;
    const int n = width < height ? width : height;
    if (n >= 2)
        hSquare = crop_image(0, 0, n, n, hDib);
    if (hSquare) {
        HGLOBAL hFull = to_truecolor24(hSquare);
        if (hFull != hSquare)
            GlobalFree(hSquare);
        hSquare = hFull;
    }
    double* angles = hSquare ? (double*)calloc((size_t)n, sizeof(double)) : NULL;
    BYTE* row_buffer = angles ? (BYTE*)calloc((size_t)n, 3) : NULL;
    if (hSquare && !row_buffer) {
        GlobalFree(hSquare);
        hSquare = NULL;
    }
    if (hSquare) {
        const double r = (n - 1) / 2.0, pi = acos(-1.0);
        const int half = n / 2 + (n & 1);
        for (int i = 0; i < half; ++i) {
            const double c = (r - i) / r;
            angles[i] = angles[n - 1 - i] = 180.0 * atan2(sqrt(1.0 - c * c), c) / pi;
        }
        if (deform(&hSquare, angles, n, row_buffer)) {
            paint_outside_disc(hSquare, n, background);
        } else {
            GlobalFree(hSquare);
            hSquare = NULL;
        }
    }
    free(row_buffer);
    free(angles);
    SetCursor(previous);
    return hSquare;
}
