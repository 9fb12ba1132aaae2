// Shared by the JPEG tests: fixtures, segments, the program's 8-bit decode.
#pragma once

#include <string>

#include <windows.h>

#include "jpeg/jpeg_read.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

inline std::string jpeg_fixture(const std::string& name)
{
    return fixture_path("jpeg/" + name);
}

inline std::string segment(int marker, const std::string& data)
{
    size_t length = data.size() + 2;
    return std::string{'\xFF', (char)marker, (char)(length >> 8), (char)(length & 0xFF)} + data;
}

inline std::string with_segments_after_soi(const std::string& jpeg, const std::string& segments)
{
    return jpeg.substr(0, 2) + segments + jpeg.substr(2);
}

// Offset of the first marker with that code after SOI, or npos.
inline size_t find_marker(const std::string& jpeg, int code)
{
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && (uint8_t)jpeg[pos] == 0xFF) {
        int marker = (uint8_t)jpeg[pos + 1];
        if (marker == code)
            return pos;
        if (marker == 0xDA)
            break;
        pos += 2 + ((uint8_t)jpeg[pos + 2] << 8 | (uint8_t)jpeg[pos + 3]);
    }
    return std::string::npos;
}

inline std::string write_out(const std::string& name, const std::string& bytes)
{
    std::string path = test_out_path(name);
    write_file_bytes(path, bytes);
    return path;
}

// The 8-bit reader's picture (grey or RGB); empty when it refused the file.
inline PnmImage decode_jpeg(const std::string& path, char* info = NULL)
{
    HGLOBAL hDib = read_jpeg_file(path.c_str(), info);
    PnmImage pnm = hDib ? dib_to_pnm(hDib) : PnmImage();
    if (hDib)
        GlobalFree(hDib);
    return pnm;
}

// Same shape, and no sample further apart than the tolerance.
inline bool pixels_within(const PnmImage& a, const PnmImage& b, int tolerance)
{
    int difference = max_difference(a, b);
    return difference >= 0 && difference <= tolerance;
}
