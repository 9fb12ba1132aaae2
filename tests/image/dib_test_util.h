// Small builders of packed DIBs for the image unit tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <windows.h>

#include "image/packed_dib.h"

// A locked view of a block for the length of one check.
struct LockedDib {
    HGLOBAL handle;
    BITMAPINFOHEADER* bih;
    explicit LockedDib(HGLOBAL h) : handle(h), bih((BITMAPINFOHEADER*)GlobalLock(h)) {}
    ~LockedDib() { unlock(); }
    void unlock() { if (bih) GlobalUnlock(handle); bih = nullptr; }
    BYTE* row(int y) { return dib_pixels(bih) + (size_t)y * dib_row_stride(bih->biWidth, bih->biBitCount); }
    RGBQUAD* table() { return dib_color_table(bih); }
};

inline HGLOBAL make_dib(int width, int height, int bits, const std::vector<RGBQUAD>& table = {},
                        uint32_t clr_used = 0)
{
    HGLOBAL h = create_packed_dib(width, height, bits, clr_used);
    if (h && !table.empty()) {
        LockedDib dib(h);
        std::memcpy(dib.table(), table.data(), table.size() * sizeof(RGBQUAD));
    }
    return h;
}

inline RGBQUAD quad(BYTE red, BYTE green, BYTE blue)
{
    RGBQUAD q = {blue, green, red, 0};
    return q;
}

// Sets the colour index of pixel x in a 1-, 4- or 8-bit row.
inline void set_index(BYTE* row, int bits, int x, unsigned index)
{
    if (bits == 1) {
        if (index)
            row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        else
            row[x >> 3] &= (BYTE)~(0x80 >> (x & 7));
    } else if (bits == 4) {
        BYTE& b = row[x >> 1];
        b = (x & 1) ? (BYTE)((b & 0xF0) | (index & 0x0F)) : (BYTE)((b & 0x0F) | (index << 4));
    } else {
        row[x] = (BYTE)index;
    }
}
