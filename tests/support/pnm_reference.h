// The tests' one netpbm reader and writer (PBM, PGM, PPM, PAM): fixture
// scripts make reference pictures with independent tools, tests write
// pictures for the check scripts. Also the bridge between such a picture
// and a packed DIB, and the differences between two pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

struct PnmImage {
    int width = 0;
    int height = 0;
    int channels = 0;           // 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
    std::vector<uint8_t> data;  // top row first, scaled to 0..255; PBM black is 0
    bool empty() const { return data.empty(); }
    uint8_t at(int x, int y, int c) const { return data[((size_t)y * width + x) * channels + c]; }
    // Red, green, blue (grey repeated) and alpha (255 when there is none).
    void rgba(int x, int y, uint8_t out[4]) const;
};

// P1 to P7; an empty picture when the file cannot be read or parsed.
PnmImage read_pnm_file(const std::string& path);
// P5 for 1 channel, P6 for 3; P7 for 4 channels or a name ending ".pam".
bool write_pnm_file(const std::string& path, const PnmImage& pnm);

// channels 0: grey when the image has a grey table, RGB otherwise; 3: RGB;
// 4: RGB and alpha (255 below 32 bits).
PnmImage dib_to_pnm(HGLOBAL hDib, int channels = 0);
// An 8-bit image with a grey ramp for 1 channel, 24 bits for 3.
HGLOBAL pnm_to_dib(const PnmImage& pnm);

// Largest difference of any sample; -1 when the shapes differ.
int max_difference(const PnmImage& a, const PnmImage& b);
double mean_difference(const PnmImage& a, const PnmImage& b);
// Peak signal-to-noise ratio in dB (1000 when equal).
double psnr(const PnmImage& a, const PnmImage& b);
