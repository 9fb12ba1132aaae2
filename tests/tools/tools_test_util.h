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

#include "../image/dib_test_util.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
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
    LockedDib dib(h);
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
inline uint32_t raw_pixel(LockedDib& dib, int x, int y)
{
    int bits = dib.bih->biBitCount;
    const BYTE* row = dib.row(y);
    if (bits <= 8)
        return dib_row_index(row, bits, x);
    uint32_t v = 0;
    for (int k = 0; k < bits / 8; ++k)
        v |= (uint32_t)row[x * (bits / 8) + k] << (8 * k);
    return v;
}

inline RgbImage dib_to_rgb(HGLOBAL h)
{
    LockedDib dib(h);
    RgbImage img;
    img.width = dib.bih->biWidth;
    img.height = dib.bih->biHeight;
    int bits = dib.bih->biBitCount;
    for (int y = img.height - 1; y >= 0; --y)
        for (int x = 0; x < img.width; ++x) {
            uint32_t v = raw_pixel(dib, x, y);
            Rgb c;
            if (bits <= 8) {
                RGBQUAD q = dib_table_entry(dib.bih, v);
                c = {q.rgbRed, q.rgbGreen, q.rgbBlue};
            } else if (bits == 16) {
                c = {(int)((v >> 10) & 31) * 8, (int)((v >> 5) & 31) * 8, (int)(v & 31) * 8};
            } else {
                c = {(int)((v >> 16) & 255), (int)((v >> 8) & 255), (int)(v & 255)};
            }
            img.pixels.push_back(c);
        }
    return img;
}

// A binary PPM (P6, maxval 255) as an image; empty when it is not one.
inline RgbImage read_ppm(const std::string& path)
{
    RgbImage img;
    std::string bytes = read_file_bytes(path);
    size_t pos = 0;
    auto token = [&]() {
        while (pos < bytes.size() && (isspace((unsigned char)bytes[pos]) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        size_t start = pos;
        while (pos < bytes.size() && !isspace((unsigned char)bytes[pos]))
            ++pos;
        return bytes.substr(start, pos - start);
    };
    if (token() != "P6")
        return img;
    int w = std::stoi(token()), h = std::stoi(token()), maxval = std::stoi(token());
    ++pos;
    if (maxval != 255 || bytes.size() < pos + (size_t)w * h * 3)
        return img;
    img.width = w;
    img.height = h;
    for (size_t i = 0; i < (size_t)w * h; ++i) {
        const unsigned char* p = (const unsigned char*)bytes.data() + pos + 3 * i;
        img.pixels.push_back({p[0], p[1], p[2]});
    }
    return img;
}

inline bool write_ppm(const std::string& path, const RgbImage& img)
{
    std::string bytes = "P6\n" + std::to_string(img.width) + " " + std::to_string(img.height) + "\n255\n";
    for (const Rgb& c : img.pixels) {
        bytes += (char)c.r;
        bytes += (char)c.g;
        bytes += (char)c.b;
    }
    return write_file_bytes(path, bytes);
}

// A 24-bit image of the picture.
inline HGLOBAL rgb_to_dib24(const RgbImage& img)
{
    HGLOBAL h = create_packed_dib(img.width, img.height, 24, 0);
    LockedDib dib(h);
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

inline double psnr(const RgbImage& a, const RgbImage& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        double dr = a.pixels[i].r - b.pixels[i].r, dg = a.pixels[i].g - b.pixels[i].g,
               db = a.pixels[i].b - b.pixels[i].b;
        sum += dr * dr + dg * dg + db * db;
    }
    double mse = sum / (3.0 * a.pixels.size());
    return mse == 0 ? 1000.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
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
    LockedDib da(a), db(b);
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
