// Pictures as plain pixel arrays for comparing what the viewer decodes or
// resizes with what independent tools made: PGM/PPM files in and out, and
// conversions to and from packed DIBs.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "image/packed_dib.h"
#include "support/test_support.h"

// Rows top-down, 1 (grey) or 3 (red, green, blue) bytes per pixel.
struct Pnm {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> data;
    uint8_t at(int x, int y, int c) const { return data[((size_t)y * width + x) * channels + c]; }
};

inline bool read_pnm(const std::string& path, Pnm* pnm)
{
    std::string bytes = read_file_bytes(path);
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
        return false;
    pnm->channels = bytes[1] == '5' ? 1 : 3;
    size_t pos = 2;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        while (pos < bytes.size() && (isspace((unsigned char)bytes[pos]) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        values[i] = std::atoi(bytes.c_str() + pos);
        while (pos < bytes.size() && isdigit((unsigned char)bytes[pos]))
            ++pos;
    }
    ++pos;
    pnm->width = values[0];
    pnm->height = values[1];
    size_t size = (size_t)pnm->width * pnm->height * pnm->channels;
    if (values[2] != 255 || bytes.size() < pos + size)
        return false;
    pnm->data.assign(bytes.begin() + pos, bytes.begin() + pos + size);
    return true;
}

inline bool write_pnm(const std::string& path, const Pnm& pnm)
{
    std::string bytes = (pnm.channels == 1 ? "P5\n" : "P6\n") + std::to_string(pnm.width) + " " +
                        std::to_string(pnm.height) + "\n255\n";
    bytes.append((const char*)pnm.data.data(), pnm.data.size());
    return write_file_bytes(path, bytes);
}

// An 8-bit image with a grey table becomes grey; 16 to 32 bits RGB; other
// palette images RGB through their table.
inline Pnm dib_to_pnm(HGLOBAL hDib)
{
    Pnm pnm;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return pnm;
    pnm.width = bih->biWidth;
    pnm.height = bih->biHeight;
    const int bits = bih->biBitCount;
    bool grey = bits <= 8;
    for (uint32_t i = 0; grey && i < dib_color_count(bih); ++i) {
        RGBQUAD q = dib_table_entry(bih, i);
        grey = q.rgbRed == q.rgbGreen && q.rgbRed == q.rgbBlue;
    }
    pnm.channels = grey ? 1 : 3;
    pnm.data.resize((size_t)pnm.width * pnm.height * pnm.channels);
    uint32_t stride = dib_row_stride(bih->biWidth, bits);
    for (int y = 0; y < pnm.height; ++y) {
        const BYTE* row = dib_pixels(bih) + (size_t)(pnm.height - 1 - y) * stride;
        uint8_t* out = &pnm.data[(size_t)y * pnm.width * pnm.channels];
        for (int x = 0; x < pnm.width; ++x) {
            uint8_t rgb[3];
            if (bits <= 8) {
                RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bits, x));
                rgb[0] = q.rgbRed, rgb[1] = q.rgbGreen, rgb[2] = q.rgbBlue;
            } else if (bits == 16) {
                unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
                rgb[0] = (uint8_t)(((w >> 10) & 31) * 8);
                rgb[1] = (uint8_t)(((w >> 5) & 31) * 8);
                rgb[2] = (uint8_t)((w & 31) * 8);
            } else {
                const BYTE* p = row + (size_t)x * (bits / 8);
                rgb[0] = p[2], rgb[1] = p[1], rgb[2] = p[0];
            }
            for (int c = 0; c < pnm.channels; ++c)
                out[(size_t)x * pnm.channels + c] = rgb[c];
        }
    }
    GlobalUnlock(hDib);
    return pnm;
}

// A 24-bit image (or 8-bit with a grey ramp for a grey picture).
inline HGLOBAL pnm_to_dib(const Pnm& pnm)
{
    const int bits = pnm.channels == 1 ? 8 : 24;
    HGLOBAL hDib = create_packed_dib(pnm.width, pnm.height, bits, 0);
    if (!hDib)
        return NULL;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            dib_color_table(bih)[i] = RGBQUAD{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    uint32_t stride = dib_row_stride(pnm.width, bits);
    for (int y = 0; y < pnm.height; ++y) {
        BYTE* row = dib_pixels(bih) + (size_t)(pnm.height - 1 - y) * stride;
        for (int x = 0; x < pnm.width; ++x) {
            if (bits == 8) {
                row[x] = pnm.at(x, y, 0);
            } else {
                row[3 * x] = pnm.at(x, y, 2);
                row[3 * x + 1] = pnm.at(x, y, 1);
                row[3 * x + 2] = pnm.at(x, y, 0);
            }
        }
    }
    GlobalUnlock(hDib);
    return hDib;
}

// Largest difference of any sample; -1 when the shapes differ.
inline int max_difference(const Pnm& a, const Pnm& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.data.size() != b.data.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.data.size(); ++i)
        worst = std::max(worst, std::abs((int)a.data[i] - (int)b.data[i]));
    return worst;
}

inline double mean_difference(const Pnm& a, const Pnm& b)
{
    double total = 0;
    for (size_t i = 0; i < a.data.size() && i < b.data.size(); ++i)
        total += std::abs((int)a.data[i] - (int)b.data[i]);
    return a.data.empty() ? 0 : total / a.data.size();
}
