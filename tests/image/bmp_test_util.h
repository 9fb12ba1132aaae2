// Shared by the BMP reader and writer tests: reading a file or bytes the way
// the loader does, pixels of a result and little-endian builders.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include <windows.h>

#include "image/bmp_read.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "support/test_support.h"

enum BmpReader { READ_WIN40, READ_WIN124, READ_OS2, READ_OS2V2, READ_BY_HEADER };

struct BmpReadOutcome {
    HGLOBAL image = NULL;
    std::string info;
    int frame_left = -1, frame_top = -1, screen_width = -1, screen_height = -1;
    bool opened = false;
};

// Opens path with _lopen and calls the reader chosen by kind; READ_BY_HEADER
// picks it by the header-size byte at offset 14, as the loaders do.
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
    r.opened = true;
    char text[INFO_TEXT_SIZE] = "";
    switch (kind) {
    case READ_WIN40:
    case READ_WIN124:
        r.image = read_bmp_file(f, NULL, text, &r.frame_left, &r.frame_top, &r.screen_width,
                                &r.screen_height, kind == READ_WIN40 ? 40 : 124);
        break;
    case READ_OS2:
        r.image = read_os2_bmp_file(f, NULL, text, &r.frame_left, &r.frame_top, &r.screen_width,
                                    &r.screen_height);
        break;
    default:
        r.image = read_os2v2_bmp_file(f, NULL, text, &r.frame_left, &r.frame_top, &r.screen_width,
                                      &r.screen_height);
        break;
    }
    r.info = text;
    return r;
}

inline BmpReadOutcome read_bmp_bytes(const std::string& bytes, BmpReader kind = READ_BY_HEADER,
                                     const std::string& name = "bmp_read_scratch.bmp")
{
    std::string path = test_out_path(name);
    write_file_bytes(path, bytes);
    return read_bmp_path(path, kind);
}

// Red, green, blue, alpha of pixel (x, y counted from the top). 16-bit
// pixels give each 5-bit channel shifted up by 3; deeper pixels without
// alpha give 255 as alpha, 32-bit pixels their fourth byte.
inline void dib_rgba(const BITMAPINFOHEADER* bih, int x, int y_from_top, uint8_t out[4])
{
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    const BYTE* row = dib_pixels(const_cast<BITMAPINFOHEADER*>(bih)) +
                      (size_t)(bih->biHeight - 1 - y_from_top) * stride;
    out[3] = 255;
    switch (bih->biBitCount) {
    case 1:
    case 4:
    case 8: {
        RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bih->biBitCount, x));
        out[0] = q.rgbRed; out[1] = q.rgbGreen; out[2] = q.rgbBlue;
        break;
    }
    case 16: {
        uint32_t p = row[2 * x] | (row[2 * x + 1] << 8);
        out[0] = (uint8_t)(((p >> 10) & 31) << 3);
        out[1] = (uint8_t)(((p >> 5) & 31) << 3);
        out[2] = (uint8_t)((p & 31) << 3);
        break;
    }
    case 24:
        out[0] = row[3 * x + 2]; out[1] = row[3 * x + 1]; out[2] = row[3 * x];
        break;
    case 32:
        out[0] = row[4 * x + 2]; out[1] = row[4 * x + 1]; out[2] = row[4 * x]; out[3] = row[4 * x + 3];
        break;
    }
}

inline void put_le16(std::string& s, size_t at, uint32_t v)
{
    s[at] = (char)(v & 0xFF);
    s[at + 1] = (char)((v >> 8) & 0xFF);
}

inline void put_le32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = (char)((v >> (8 * i)) & 0xFF);
}

inline uint32_t get_le32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | (unsigned char)s[at + i];
    return v;
}

inline uint32_t get_le16(const std::string& s, size_t at)
{
    return (unsigned char)s[at] | ((unsigned char)s[at + 1] << 8);
}

// A 14-byte file header and an info header of header_size bytes (40, 64 or
// 124) with the common fields, followed by nothing; the caller appends the
// table, masks and data and sets bfOffBits.
inline std::string bmp_headers(int header_size, int32_t width, int32_t height, int bits,
                               uint32_t compression, uint32_t clr_used = 0)
{
    std::string s(14 + header_size, '\0');
    s[0] = 'B';
    s[1] = 'M';
    put_le32(s, 14, (uint32_t)header_size);
    put_le32(s, 18, (uint32_t)width);
    put_le32(s, 22, (uint32_t)height);
    put_le16(s, 26, 1);
    put_le16(s, 28, (uint32_t)bits);
    put_le32(s, 30, compression);
    put_le32(s, 46, clr_used);
    return s;
}

// Sets bfSize to the length and bfOffBits to offset.
inline void finish_bmp(std::string& s, uint32_t data_offset)
{
    put_le32(s, 2, (uint32_t)s.size());
    put_le32(s, 10, data_offset);
}
