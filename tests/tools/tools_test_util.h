// Helpers of the image-tool tests: random images of any depth, pixels as
// RGB whatever the depth, PPM files in and out, and the current-image state
// reset between tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <windows.h>

#include "support/dib_block.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator<(const Rgb& o) const { return (r << 16 | g << 8 | b) < (o.r << 16 | o.g << 8 | o.b); }
};

struct RgbImage {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
    Rgb at(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

// A block filled with random pixels (and a random table for palette
// depths); the bits past the width stay 0, as every image holds them.
inline HGLOBAL make_random_dib(int width, int height, int bits, unsigned key)
{
    std::mt19937 rng(key);
    HGLOBAL h = create_packed_dib(width, height, bits, 0);
    DibBlock dib(h, false);
    if (bits <= 8)
        for (uint32_t i = 0; i < dib_color_count(dib.bih); ++i)
            dib.table()[i] = quad((BYTE)rng(), (BYTE)rng(), (BYTE)rng());
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib.row(y);
        if (bits <= 8) {
            for (int x = 0; x < width; ++x)
                set_index(row, bits, x, rng() % (1u << bits));
        } else {
            for (int x = 0; x < width * bits / 8; ++x)
                row[x] = (BYTE)rng();
            if (bits == 16)
                for (int x = 0; x < width; ++x)
                    row[2 * x + 1] &= 0x7F;
        }
    }
    return h;
}

// Raw pixel value (index, or packed bytes) at x, y counted from the bottom.
inline uint32_t raw_pixel(DibBlock& dib, int x, int y)
{
    return dib.raw(x, y);
}

inline RgbImage dib_to_rgb(HGLOBAL h)
{
    PnmImage pnm = dib_to_pnm(h, 3);
    RgbImage img;
    img.width = pnm.width;
    img.height = pnm.height;
    for (size_t i = 0; i < pnm.data.size(); i += 3)
        img.pixels.push_back({pnm.data[i], pnm.data[i + 1], pnm.data[i + 2]});
    return img;
}

inline PnmImage to_pnm(const RgbImage& img)
{
    PnmImage pnm;
    pnm.width = img.width;
    pnm.height = img.height;
    pnm.channels = 3;
    for (const Rgb& c : img.pixels)
        pnm.data.insert(pnm.data.end(), {(uint8_t)c.r, (uint8_t)c.g, (uint8_t)c.b});
    return pnm;
}

inline double psnr(const RgbImage& a, const RgbImage& b)
{
    return psnr(to_pnm(a), to_pnm(b));
}

// A picture file through the shared netpbm reader; empty when unreadable.
inline RgbImage read_ppm(const std::string& path)
{
    PnmImage pnm = read_pnm_file(path);
    RgbImage img;
    img.width = pnm.width;
    img.height = pnm.height;
    for (int y = 0; y < pnm.height; ++y)
        for (int x = 0; x < pnm.width; ++x) {
            uint8_t px[4];
            pnm.rgba(x, y, px);
            img.pixels.push_back({px[0], px[1], px[2]});
        }
    return img;
}

inline bool write_ppm(const std::string& path, const RgbImage& img)
{
    return write_pnm_file(path, to_pnm(img));
}

// A 24-bit image of the picture.
inline HGLOBAL rgb_to_dib24(const RgbImage& img)
{
    HGLOBAL h = create_packed_dib(img.width, img.height, 24, 0);
    DibBlock dib(h, false);
    for (int y = 0; y < img.height; ++y) {
        BYTE* row = dib.row(img.height - 1 - y);
        for (int x = 0; x < img.width; ++x) {
            Rgb c = img.at(x, y);
            row[3 * x] = (BYTE)c.b;
            row[3 * x + 1] = (BYTE)c.g;
            row[3 * x + 2] = (BYTE)c.r;
        }
    }
    return h;
}

// Whole blocks equal, byte for byte.
inline bool same_block(HGLOBAL a, HGLOBAL b)
{
    SIZE_T size = GlobalSize(a);
    if (size != GlobalSize(b))
        return false;
    const void* pa = GlobalLock(a);
    const void* pb = GlobalLock(b);
    bool same = std::memcmp(pa, pb, size) == 0;
    GlobalUnlock(a);
    GlobalUnlock(b);
    return same;
}

// Header, colour table and rows equal, whatever room the blocks have beyond.
inline bool same_image(HGLOBAL a, HGLOBAL b)
{
    DibBlock da(a, false), db(b, false);
    size_t size = dib_pixel_offset(da.bih)
                + (size_t)dib_row_stride(da.bih->biWidth, da.bih->biBitCount) * da.bih->biHeight;
    return std::memcmp(da.bih, db.bih, DIB_HEADER_SIZE) == 0 && std::memcmp(da.bih, db.bih, size) == 0;
}

// Frees the current image and resets the state the tools read.
inline void reset_current_image()
{
    if (g_hImage)
        GlobalFree(g_hImage);
    if (g_hImageUnconverted)
        GlobalFree(g_hImageUnconverted);
    g_hImage = g_hImageUnconverted = NULL;
    g_imageKind = KIND_NONE;
    g_colorConversion = 0;
    g_brightnessStep = 0;
    g_hasTransparency = 0;
    g_transparentIndex = 0;
    g_transparentDisplayColor = 0;
    std::memset(g_baseColorTable, 0, sizeof g_baseColorTable);
}
