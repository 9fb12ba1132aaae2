// Helpers of the image-tool tests, and the headers they all use: random
// images of any depth, pixels as RGB whatever the depth, block comparisons.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "tools/edit_history.h"
#include "tools/tool_settings.h"

// A picture as red, green, blue triples, top row first.
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct RgbImage : PnmImage {
    Rgb at(int x, int y) const { return {PnmImage::at(x, y, 0), PnmImage::at(x, y, 1), PnmImage::at(x, y, 2)}; }
};

inline RgbImage dib_to_rgb(HGLOBAL h)
{
    RgbImage img;
    static_cast<PnmImage&>(img) = dib_to_pnm(h, 3);
    return img;
}

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

// Header, colour table and rows (with their padding) equal, whatever room
// the blocks have beyond.
inline bool same_image(HGLOBAL a, HGLOBAL b)
{
    DibBlock da(a, false), db(b, false);
    size_t size = dib_pixel_offset(da.bih)
                + (size_t)dib_row_stride(da.bih->biWidth, da.bih->biBitCount) * da.bih->biHeight;
    return size <= GlobalSize(b) && std::memcmp(da.bih, db.bih, size) == 0;
}
