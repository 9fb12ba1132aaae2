// Pixel comparison of a decoded image with a reference picture that an
// independent tool decoded, and the expected-picture files that the check
// scripts compare with what independent tools read from written files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

// Largest difference of any sample; 999 when the sizes differ or a side is missing.
inline int max_pixel_difference(HGLOBAL hDib, const PnmImage& ref, bool with_alpha = false)
{
    DibBlock image(hDib, false);
    if (!image || ref.empty() || image.bih->biWidth != ref.width || image.bih->biHeight != ref.height)
        return 999;
    int worst = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            uint8_t a[4], b[4];
            image.rgba(x, y, a);
            ref.rgba(x, y, b);
            for (int c = 0; c < (with_alpha ? 4 : 3); ++c)
                worst = std::max(worst, std::abs(a[c] - b[c]));
        }
    return worst;
}

inline void expect_pixels(HGLOBAL image, const PnmImage& want, int tolerance, bool with_alpha)
{
    EXPECT_LE(max_pixel_difference(image, want, with_alpha), tolerance);
}

// The comment the last read left, freed; "(none)" when there is none.
inline std::string take_comment()
{
    std::string text = "(none)";
    if (g_hComment) {
        text = (const char*)GlobalLock(g_hComment);
        GlobalUnlock(g_hComment);
        GlobalFree(g_hComment);
    }
    g_hComment = NULL;
    return text;
}

// The picture a written file must show, for the check scripts.
inline void write_expected_pam(HGLOBAL image, const std::string& path, bool with_alpha = false)
{
    write_pnm_file(path, dib_to_pnm(image, with_alpha ? 4 : 3));
}

// Writes the image to the test-out file (the writer answers 1), the picture
// it must show to `expected` for the check scripts, and reads it back.
template <typename Write, typename Read>
void expect_written_and_read_back(HGLOBAL image, const std::string& file, const std::string& expected, Write write,
                                  Read read, bool with_alpha = false)
{
    SCOPED_TRACE(file);
    std::string path = test_out_path(file);
    ASSERT_EQ(1, write(path.c_str(), image));
    write_expected_pam(image, test_out_path(expected), with_alpha);
    HGLOBAL back = read(path);
    expect_pixels(back, read_pnm_file(test_out_path(expected)), 0, with_alpha);
    if (back)
        GlobalFree(back);
}

// Pseudo-random pixels; palette depths get a table of distinct colours.
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
