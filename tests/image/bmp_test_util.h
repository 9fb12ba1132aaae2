// Shared by the BMP reader and writer tests: reading a file or bytes the way
// the loader does, and building a file's headers byte by byte.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "image/bmp_read.h"
#include "image/current_image.h"
#include "support/dib_block.h"
#include "support/test_support.h"

enum BmpReader { READ_WIN40, READ_WIN124, READ_OS2, READ_OS2V2, READ_BY_HEADER };

struct BmpReadOutcome {
    HGLOBAL image = NULL;
    std::string info;
    int screen_width = -1, screen_height = -1;
};

// READ_BY_HEADER picks the reader by the header size, as the loaders do.
inline BmpReadOutcome read_bmp_path(const std::string& path, BmpReader kind = READ_BY_HEADER)
{
    BmpReadOutcome r;
    if (kind == READ_BY_HEADER) {
        std::string bytes = read_file_bytes(path);
        int size = bytes.size() > 14 ? (unsigned char)bytes[14] : -1;
        kind = size == 40 ? READ_WIN40 : size == 124 ? READ_WIN124 : size == 12 ? READ_OS2
             : size == 64 ? READ_OS2V2 : READ_BY_HEADER;
        if (kind == READ_BY_HEADER)
            return r;
    }
    HFILE f = _lopen(path.c_str(), OF_READ);
    if (f == HFILE_ERROR)
        return r;
    char text[INFO_TEXT_SIZE] = "";
    int left, top;
    if (kind == READ_WIN40 || kind == READ_WIN124)
        r.image = read_bmp_file(f, NULL, text, &left, &top, &r.screen_width, &r.screen_height,
                                kind == READ_WIN40 ? 40 : 124);
    else if (kind == READ_OS2)
        r.image = read_os2_bmp_file(f, NULL, text, &left, &top, &r.screen_width, &r.screen_height);
    else
        r.image = read_os2v2_bmp_file(f, NULL, text, &left, &top, &r.screen_width, &r.screen_height);
    r.info = text;
    return r;
}

inline BmpReadOutcome read_bmp_bytes(const std::string& bytes, BmpReader kind = READ_BY_HEADER)
{
    std::string path = test_out_path("bmp_read_scratch.bmp");
    write_file_bytes(path, bytes);
    return read_bmp_path(path, kind);
}

// File and info headers; the caller appends table, masks and data, then finish_bmp.
inline std::string bmp_headers(int header_size, int32_t width, int32_t height, int bits,
                               uint32_t compression, uint32_t clr_used = 0)
{
    std::string s = "BM" + std::string(12, '\0') + le32(header_size) + le32(width) + le32(height) +
                    le16(1) + le16(bits) + le32(compression) + std::string(12, '\0') + le32(clr_used);
    return s + std::string(14 + header_size - s.size(), '\0');
}

// Sets bfSize to the length and bfOffBits to offset.
inline void finish_bmp(std::string& s, uint32_t data_offset)
{
    put_le32(s, 2, (uint32_t)s.size());
    put_le32(s, 10, data_offset);
}
