// Pixel comparison of a decoded image with a reference picture that an
// independent tool decoded, and the expected-picture files that the check
// scripts compare with what independent tools read from written files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"

// Every pixel within tolerance of the reference; alpha only when with_alpha.
inline void expect_pixels(HGLOBAL image, const PnmImage& want, int tolerance, bool with_alpha)
{
    ASSERT_NE(nullptr, image);
    ASSERT_FALSE(want.empty());
    DibBlock dib(image, false);
    ASSERT_EQ(want.width, dib.bih->biWidth);
    ASSERT_EQ(want.height, dib.bih->biHeight);
    int bad = 0;
    for (int y = 0; y < want.height; ++y) {
        for (int x = 0; x < want.width; ++x) {
            uint8_t got[4], ref[4];
            dib.rgba(x, y, got);
            want.rgba(x, y, ref);
            for (int c = 0; c < (with_alpha ? 4 : 3); ++c)
                if (std::abs(got[c] - ref[c]) > tolerance && bad++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << (int)got[c]
                                  << " want " << (int)ref[c];
        }
    }
    EXPECT_EQ(0, bad);
}

// The picture as a written file must show it, RGB (or RGBA), for the
// check scripts.
inline void write_expected_pam(HGLOBAL image, const std::string& path, bool with_alpha = false)
{
    write_pnm_file(path, dib_to_pnm(image, with_alpha ? 4 : 3));
}

// An image of pseudo-random pixels (indices below colours for palette
// depths, with a table of distinct colours).
inline HGLOBAL noise_image(int bits, int width, int height, uint32_t colours, unsigned key)
{
    std::vector<RGBQUAD> table;
    for (uint32_t i = 0; i < colours; ++i)
        table.push_back(quad((BYTE)(i * 53 + 7), (BYTE)(i * 101 + key), (BYTE)(255 - i * 31)));
    HGLOBAL h = make_dib(width, height, bits, table, bits <= 8 && colours != (1u << bits) ? colours : 0);
    DibBlock dib(h, false);
    unsigned s = key;
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib.row(y);
        for (int x = 0; x < width; ++x) {
            s = s * 69069 + 1;
            unsigned v = (x / 3 + y) % 4 == 0 ? (unsigned)(x / 3) : (s >> 16);  // runs and noise
            if (bits <= 8) {
                set_index(row, bits, x, v % colours);
            } else {
                for (int b = 0; b < bits / 8; ++b)
                    row[x * (bits / 8) + b] = (BYTE)(v >> (b * 3) ^ (b * 40));
                if (bits == 16)
                    row[2 * x + 1] &= 0x7F;
            }
        }
    }
    return h;
}
