// Shared by the TIFF tests: the reader called as the loaders call it, and a
// decoded image compared pixel by pixel with a netpbm reference.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "formats/tiff_read.h"
#include "image/packed_dib.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

inline std::string tiff_fixture(const std::string& name)
{
    return fixture_path("tiff/" + name);
}

// Page `page` of the file; *pages gets the page count.
inline HGLOBAL read_tiff_page(const std::string& path, int page = 1, int* pages = nullptr, char* info = nullptr)
{
    int format = 0, index = page, count = 1;
    HGLOBAL hDib = read_tiff_file(path.c_str(), info, &format, &index, &count, GetModuleHandleA(NULL));
    if (pages)
        *pages = count;
    return hDib;
}

// Red, green, blue, alpha of pixel (x, y from the top); alpha 255 below 32 bits.
inline void dib_rgba(const BITMAPINFOHEADER* bih, int x, int y, uint8_t out[4])
{
    int bits = bih->biBitCount;
    const BYTE* row = dib_pixels((BITMAPINFOHEADER*)bih) + (size_t)(bih->biHeight - 1 - y) * dib_row_stride(bih->biWidth, bits);
    out[3] = 255;
    if (bits <= 8) {
        RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bits, x));
        out[0] = q.rgbRed, out[1] = q.rgbGreen, out[2] = q.rgbBlue;
    } else if (bits == 16) {
        unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
        out[0] = (uint8_t)(((w >> 10) & 31) * 8);
        out[1] = (uint8_t)(((w >> 5) & 31) * 8);
        out[2] = (uint8_t)((w & 31) * 8);
    } else {
        const BYTE* p = row + (size_t)x * (bits / 8);
        out[0] = p[2], out[1] = p[1], out[2] = p[0];
        if (bits == 32)
            out[3] = p[3];
    }
}

// Largest difference of any red, green, blue (and, with alpha, alpha)
// sample; 999 when the sizes differ or either side is missing.
inline int max_pixel_difference(HGLOBAL hDib, const PnmImage& ref, bool with_alpha = false)
{
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 999;
    int worst = 0;
    if (ref.empty() || bih->biWidth != ref.width || bih->biHeight != ref.height) {
        worst = 999;
    } else {
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                uint8_t a[4], b[4];
                dib_rgba(bih, x, y, a);
                ref.rgba8(x, y, b);
                for (int c = 0; c < (with_alpha ? 4 : 3); ++c) {
                    int d = a[c] > b[c] ? a[c] - b[c] : b[c] - a[c];
                    worst = d > worst ? d : worst;
                }
            }
        }
    }
    GlobalUnlock(hDib);
    return worst;
}

// Frees an image on scope exit.
struct DibHolder {
    HGLOBAL h;
    explicit DibHolder(HGLOBAL handle) : h(handle) {}
    ~DibHolder()
    {
        if (h)
            GlobalFree(h);
    }
    DibHolder(const DibHolder&) = delete;
    DibHolder& operator=(const DibHolder&) = delete;
};
