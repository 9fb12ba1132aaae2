// Helpers of the GIF tests: comparing with the references made by ImageMagick,
// running the reader the way the loader does, and building small GIF files
// in code for the hostile-input cases.
#pragma once

#include <cstdint>
#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>

#include "image/current_image.h"
#include "image/gif_anim.h"
#include "image/gif_read.h"
#include "image/loader.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "format_test_util.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"

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

// Differing pixels; alpha 0 must show `background`. -1: other size.
inline int count_mismatches(HGLOBAL hDib, const PnmImage& ref, const uint8_t* background = nullptr)
{
    DibBlock dib(hDib, false);
    if (!dib || dib.bih->biWidth != ref.width || dib.bih->biHeight != ref.height)
        return -1;
    int bad = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            uint8_t got[4], want[4];
            dib.rgba(x, y, got);
            ref.rgba(x, y, want);
            if (want[3] == 0 && background)
                std::copy(background, background + 3, want);
            bad += got[0] != want[0] || got[1] != want[1] || got[2] != want[2];
        }
    return bad;
}

// Sub-blocks of code size 2, a clear code every two pixels (values below 4).
inline std::string plain_lzw_blocks(const std::vector<uint8_t>& pixels)
{
    std::string bytes;
    uint32_t acc = 0;
    int n = 0;
    auto emit = [&](int code) {
        acc |= (uint32_t)code << n;
        for (n += 3; n >= 8; n -= 8, acc >>= 8)
            bytes += (char)(acc & 0xFF);
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            emit(4);
        emit(pixels[i] & 3);
    }
    emit(5);
    if (n > 0)
        bytes += (char)(acc & 0xFF);
    std::string blocks;
    for (size_t o = 0; o < bytes.size(); o += 255)
        blocks += (char)bytes.substr(o, 255).size() + bytes.substr(o, 255);
    return blocks + '\0';
}

// "GIF89a", screen, a 4-entry global table (black, red, green, blue).
inline std::string gif_header(int width, int height)
{
    const unsigned char table[12] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    return "GIF89a" + le16(width) + le16(height) + std::string("\x81\0\0", 3) + std::string((const char*)table, 12);
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
