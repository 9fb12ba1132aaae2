// Shared by the format tests: test pictures, PNG chunks, the TIFF reader
// called as the loaders call it (pixel comparison: image/format_test_util.h).
#pragma once

#include <string>
#include <vector>

#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include "formats/tiff_read.h"
#include "image/format_test_util.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/peak_memory.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

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

