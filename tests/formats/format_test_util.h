// Shared by the format tests: pixels of a decoded image against those an
// independent tool decoded, test pictures, and PNG chunks built with zlib.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>
#include <zlib.h>

#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"

// The whole picture as RGBA bytes, top row first; opaque forces alpha 255.
inline std::vector<uint8_t> dib_rgba_bytes(HGLOBAL h, bool opaque = false)
{
    DibBlock dib(h, false);
    std::vector<uint8_t> out;
    for (int y = 0; y < dib.bih->biHeight; y++)
        for (int x = 0; x < dib.bih->biWidth; x++) {
            uint8_t p[4];
            dib.rgba(x, y, p);
            if (opaque)
                p[3] = 255;
            out.insert(out.end(), p, p + 4);
        }
    return out;
}

// Pixels differing from the reference by more than tolerance in any
// channel; *first describes the first of them. A size mismatch counts all.
inline int count_mismatches(HGLOBAL hDib, const PnmImage& ref, int tolerance, std::string* first)
{
    DibBlock dib(hDib, false);
    if (!dib || dib.bih->biWidth != ref.width || dib.bih->biHeight != ref.height) {
        *first = "size differs";
        return ref.width * ref.height + 1;
    }
    int bad = 0;
    for (int y = 0; y < ref.height; y++)
        for (int x = 0; x < ref.width; x++) {
            uint8_t got[4], want[4];
            dib.rgba(x, y, got);
            ref.rgba(x, y, want);
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
    return bad;
}

inline std::vector<RGBQUAD> grey_ramp(int n, int step)
{
    std::vector<RGBQUAD> t;
    for (int i = 0; i < n; i++)
        t.push_back(quad((BYTE)(i * step), (BYTE)(i * step), (BYTE)(i * step)));
    return t;
}

// A picture that uses every table entry, or varied bytes in every channel.
inline HGLOBAL make_pattern(int width, int height, int bits, const std::vector<RGBQUAD>& table = {})
{
    HGLOBAL h = make_dib(width, height, bits, table, (uint32_t)table.size());
    DibBlock dib(h, false);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            unsigned v = (unsigned)(x * 7 + y * 13);
            if (bits <= 8)
                set_index(dib.row(y), bits, x, v % table.size());
            else
                for (int b = 0; b < bits / 8; b++)
                    dib.row(y)[x * (bits / 8) + b] = (BYTE)(v * (b + 3) + b);
        }
    return h;
}

inline std::string be32(uint32_t v)
{
    return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

// A PNG chunk with its CRC from zlib.
inline std::string png_chunk(const std::string& type, const std::string& data)
{
    std::string body = type + data;
    return be32((uint32_t)data.size()) + body + be32((uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
}
