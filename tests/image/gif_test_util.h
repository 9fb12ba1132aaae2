// Helpers of the GIF tests: reading the PAM references made by ImageMagick,
// running the reader the way the loader does, and building small GIF files
// in code for the hostile-input cases.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "image/current_image.h"
#include "image/gif_anim.h"
#include "image/gif_read.h"
#include "image/loader.h"
#include "image/packed_dib.h"
#include "image/preview.h"

struct Pam {
    int width = 0, height = 0, depth = 0;
    std::vector<uint8_t> data;  // top row first
    bool ok() const { return width > 0; }
    const uint8_t* pixel(int x, int y) const { return &data[((size_t)y * width + x) * depth]; }
};

inline Pam read_pam(const std::string& path)
{
    Pam pam;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return pam;
    char line[128];
    int maxval = 0;
    while (fgets(line, sizeof line, f)) {
        if (sscanf(line, "WIDTH %d", &pam.width) == 1 || sscanf(line, "HEIGHT %d", &pam.height) == 1 ||
            sscanf(line, "DEPTH %d", &pam.depth) == 1 || sscanf(line, "MAXVAL %d", &maxval) == 1)
            continue;
        if (strncmp(line, "ENDHDR", 6) == 0)
            break;
    }
    if (pam.width <= 0 || pam.height <= 0 || maxval != 255 || (pam.depth != 3 && pam.depth != 4)) {
        fclose(f);
        return Pam();
    }
    pam.data.resize((size_t)pam.width * pam.height * pam.depth);
    if (fread(pam.data.data(), 1, pam.data.size(), f) != pam.data.size())
        pam = Pam();
    fclose(f);
    return pam;
}

// The reader's out-values, preset as the loader presets them.
struct GifReadState {
    int continuing = 0;
    UINT delay = 12;
    int left = 0, top = 0, screen_width = 0, screen_height = 0;
    int has_transparency = 0;
    DWORD background = 0, display_color = 0;
    BYTE transparent_index = 0, disposal = 0;
    int frame_number = 0;
};

inline HGLOBAL read_frame(GifReadState& s, HFILE file, char* info = nullptr, int kind = KIND_DIB)
{
    if (!alloc_gif_lzw_tables())
        return NULL;
    HGLOBAL h = read_gif_frame(file, NULL, info, &s.continuing, &s.delay, &s.left, &s.top,
                               &s.screen_width, &s.screen_height, &s.has_transparency,
                               &s.background, &s.display_color, &s.transparent_index,
                               &s.disposal, &s.frame_number, g_gifSuffixTable, g_gifPrefixTable,
                               g_gifStack, kind);
    free_gif_lzw_tables();
    return h;
}

// The RGB of pixel (x, y from the top) of a locked 8-bit frame or 24-bit canvas.
inline void dib_rgb(BITMAPINFOHEADER* bih, int x, int y, uint8_t rgb[3])
{
    const BYTE* row = dib_pixels(bih) + (size_t)(bih->biHeight - 1 - y) * dib_row_stride(bih->biWidth, bih->biBitCount);
    if (bih->biBitCount == 24) {
        rgb[0] = row[3 * x + 2];
        rgb[1] = row[3 * x + 1];
        rgb[2] = row[3 * x];
    } else {
        RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bih->biBitCount, x));
        rgb[0] = q.rgbRed;
        rgb[1] = q.rgbGreen;
        rgb[2] = q.rgbBlue;
    }
}

// Counts pixels that differ from the reference; a reference pixel with
// alpha 0 must show `background` (red, green, blue).
inline int count_mismatches(HGLOBAL hDib, const Pam& ref, const uint8_t* background = nullptr,
                            std::string* first = nullptr)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return -1;
    int bad = 0;
    if (bih->biWidth != ref.width || bih->biHeight != ref.height) {
        GlobalUnlock(hDib);
        return -2;
    }
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            uint8_t got[3];
            dib_rgb(bih, x, y, got);
            const uint8_t* want = ref.pixel(x, y);
            if (ref.depth == 4 && want[3] == 0 && background)
                want = background;
            if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]) {
                if (!bad && first) {
                    char text[120];
                    snprintf(text, sizeof text, "(%d,%d) got %d %d %d want %d %d %d", x, y, got[0],
                             got[1], got[2], want[0], want[1], want[2]);
                    *first = text;
                }
                ++bad;
            }
        }
    }
    GlobalUnlock(hDib);
    return bad;
}

// LZW data that any decoder reads: minimum code size 2, a clear code before
// every two pixels so the codes stay 3 bits wide. Returned as sub-blocks
// with the terminator. Pixel values must be below 4.
inline std::string plain_lzw_blocks(const std::vector<uint8_t>& pixels, bool end_code = true)
{
    std::string bytes;
    uint32_t acc = 0;
    int n = 0;
    auto emit = [&](int code) {
        acc |= (uint32_t)code << n;
        n += 3;
        while (n >= 8) {
            bytes += (char)(acc & 0xFF);
            acc >>= 8;
            n -= 8;
        }
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            emit(4);
        emit(pixels[i] & 3);
    }
    if (end_code)
        emit(5);
    if (n > 0)
        bytes += (char)(acc & 0xFF);
    std::string blocks;
    for (size_t o = 0; o < bytes.size(); o += 255) {
        std::string part = bytes.substr(o, 255);
        blocks += (char)part.size();
        blocks += part;
    }
    blocks += '\0';
    return blocks;
}

inline std::string le16(int v)
{
    std::string s;
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
    return s;
}

// "GIF89a", screen, a 4-entry global table (black, red, green, blue).
inline std::string gif_header(int width, int height, const char* version = "89a")
{
    std::string s = std::string("GIF") + version + le16(width) + le16(height);
    s += (char)0x81;
    s += '\0';
    s += '\0';
    const unsigned char table[12] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    s.append((const char*)table, 12);
    return s;
}

inline std::string gif_gce(int disposal, int delay, int transparent = -1)
{
    std::string s = "\x21\xF9\x04";
    s += (char)((disposal << 2) | (transparent >= 0 ? 1 : 0));
    s += le16(delay);
    s += (char)(transparent >= 0 ? transparent : 0);
    s += '\0';
    return s;
}

// Image descriptor (no local table), code size 2 and the plain data.
inline std::string gif_image(int left, int top, int width, int height,
                             const std::vector<uint8_t>& pixels, bool interlaced = false)
{
    std::string s = "\x2C" + le16(left) + le16(top) + le16(width) + le16(height);
    s += (char)(interlaced ? 0x40 : 0);
    s += (char)2;
    return s + plain_lzw_blocks(pixels);
}

// Opens a file for the reader; closes on scope exit.
struct OpenGif {
    HFILE file;
    explicit OpenGif(const std::string& path) : file(_lopen(path.c_str(), OF_READ | OF_SHARE_DENY_NONE)) {}
    ~OpenGif() { if (file != HFILE_ERROR) _lclose(file); }
    bool ok() const { return file != HFILE_ERROR; }
};

// Resets the state the GIF code shares with the loader.
inline void reset_gif_globals()
{
    free_gif_animation();
    if (g_hImage)
        GlobalFree(g_hImage);
    g_hImage = NULL;
    if (g_hComment)
        GlobalFree(g_hComment);
    g_hComment = NULL;
    g_imageKind = KIND_DIB;
    g_gifContinuing = 0;
    g_animDelay = 12;
    g_hasTransparency = 0;
    g_gifDisposal = 0;
    g_gifFrameNumber = 0;
    g_infoText[0] = '\0';
}
