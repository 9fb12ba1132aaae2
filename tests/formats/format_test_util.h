// Comparing a decoded image with the pixels an independent tool decoded.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

#include "image/dib_test_util.h"
#include "support/pnm_reference.h"

// Red, green, blue, alpha of pixel (x, y from the top); alpha 255 below 32 bits.
inline void dib_rgba(LockedDib& dib, int x, int y, uint8_t out[4])
{
    const BYTE* row = dib.row(dib.bih->biHeight - 1 - y);
    int bits = dib.bih->biBitCount;
    out[3] = 255;
    if (bits <= 8) {
        RGBQUAD q = dib_table_entry(dib.bih, dib_row_index(row, bits, x));
        out[0] = q.rgbRed, out[1] = q.rgbGreen, out[2] = q.rgbBlue;
        return;
    }
    const BYTE* p = row + x * (bits / 8);
    out[0] = p[2], out[1] = p[1], out[2] = p[0];
    if (bits == 32)
        out[3] = p[3];
}

// Pixels differing from the reference by more than tolerance in any
// channel; *first describes the first of them. A size mismatch counts all.
inline int count_mismatches(HGLOBAL hDib, const PnmImage& ref, int tolerance, std::string* first)
{
    LockedDib dib(hDib);
    if (!dib.bih || dib.bih->biWidth != ref.width || dib.bih->biHeight != ref.height) {
        *first = "size differs";
        return ref.width * ref.height + 1;
    }
    int bad = 0;
    for (int y = 0; y < ref.height; y++) {
        for (int x = 0; x < ref.width; x++) {
            uint8_t got[4], want[4];
            dib_rgba(dib, x, y, got);
            ref.rgba8(x, y, want);
            for (int c = 0; c < 4; c++) {
                if (std::abs(got[c] - want[c]) <= tolerance)
                    continue;
                if (bad++ == 0) {
                    char text[120];
                    std::snprintf(text, sizeof text, "(%d,%d) got %d %d %d %d want %d %d %d %d", x, y,
                                  got[0], got[1], got[2], got[3], want[0], want[1], want[2], want[3]);
                    *first = text;
                }
                break;
            }
        }
    }
    return bad;
}

// Owns a decoded image for one test.
struct OwnedDib {
    HGLOBAL handle;
    explicit OwnedDib(HGLOBAL h = NULL) : handle(h) {}
    ~OwnedDib() { if (handle) GlobalFree(handle); }
    OwnedDib(const OwnedDib&) = delete;
    OwnedDib& operator=(const OwnedDib&) = delete;
};
