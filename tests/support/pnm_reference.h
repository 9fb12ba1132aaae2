// Reading and writing the netpbm files (PBM, PGM, PPM, PAM) that fixture
// scripts make with independent tools as reference pixels, and that tests
// write for the check scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PnmImage {
    int width = 0;
    int height = 0;
    int channels = 0;         // 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
    unsigned maxval = 0;
    std::vector<uint16_t> samples;  // top row first, channels per pixel
    bool empty() const { return samples.empty(); }
    // Sample of channel c at (x, y from the top), scaled to 0..255. A bitmap
    // (PBM) reads 0 for black and 255 for white.
    uint8_t sample8(int x, int y, int c) const;
    // Red, green, blue (grey repeated) and alpha (255 when there is none).
    void rgba8(int x, int y, uint8_t out[4]) const;
};

// P1 to P7; an empty image when the file cannot be read or parsed.
PnmImage read_pnm_file(const std::string& path);

// Writes a PAM (P7) of 8-bit samples, channels 3 (RGB) or 4 (RGB_ALPHA),
// top row first.
bool write_pam_file(const std::string& path, int width, int height, int channels,
                    const std::vector<uint8_t>& samples);
