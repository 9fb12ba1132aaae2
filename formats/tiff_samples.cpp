// TIFF sample conversions between the library's decoded strips or tiles and
// the image rows: floating-point samples to bytes by a range measured over
// the whole page first, and subsampled YCbCr data units to one triple per
// pixel. The row conversions that call the float mapping live in
// tiff_rows.cpp; the reader that drives both in tiff_read.cpp. Every read
// from a decoded block is bounded by the block's real size.
#include "formats/tiff_state.h"

#include <string.h>

#include "image/open_windows.h"
#include "image/progress.h"

float half_to_float(uint16_t value)
{
    uint32_t sign = (uint32_t)(value & 0x8000) << 16;
    uint32_t exponent = (value >> 10) & 0x1F;
    uint32_t fraction = value & 0x3FF;
    uint32_t bits;
    if (exponent == 0 && fraction == 0) {
        bits = sign;
    } else if (exponent == 0) {
        // subnormal: fraction x 2^-24, normalised
        exponent = 113;
        while (!(fraction & 0x400)) {
            fraction <<= 1;
            exponent--;
        }
        bits = sign | (exponent << 23) | ((fraction & 0x3FF) << 13);
    } else if (exponent == 31) {
        bits = sign | 0x7F800000u | (fraction ? 0x7FFFFFu : 0);
    } else {
        bits = sign | ((exponent + 112) << 23) | (fraction << 13);
    }
    float result;
    memcpy(&result, &bits, 4);
    return result;
}

float float24_to_float(uint32_t value)
{
    uint32_t sign = (value & 0x800000u) << 8;
    uint32_t exponent = (value >> 16) & 0x7F;
    uint32_t fraction = value & 0xFFFF;
    uint32_t bits;
    if (exponent == 127) {
        bits = sign | 0x7F800000u | (fraction ? 0x7FFFFFu : 0);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 64) << 23) | (fraction << 7);
    } else if (fraction != 0) {
        // subnormal: fraction x 2^-78, normalised
        exponent = 65;
        while (!(fraction & 0x10000)) {
            fraction <<= 1;
            exponent--;
        }
        bits = sign | (exponent << 23) | ((fraction & 0xFFFF) << 7);
    } else {
        bits = sign;
    }
    float result;
    memcpy(&result, &bits, 4);
    return result;
}

// Sample i of a row of float samples of the page's width, as a double.
static double float_sample(const BYTE* row, int i)
{
    switch (g_tiffBitsPerSample) {
    case 16: {
        uint16_t v;
        memcpy(&v, row + 2 * i, 2);
        return half_to_float(v);
    }
    case 24: {
        const BYTE* p = row + 3 * i;
        return float24_to_float(p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16);
    }
    case 32: {
        float v;
        memcpy(&v, row + 4 * i, 4);
        return v;
    }
    default: {
        double v;
        memcpy(&v, row + 8 * i, 8);
        return v;
    }
    }
}

namespace {

struct FloatScan {
    bool any;
    double min_value, max_value;
    uint64_t above_one;
};

}  // namespace

static void scan_float_row(FloatScan* scan, const BYTE* row, int count)
{
    for (int i = 0; i < count; i++) {
        double v = float_sample(row, i);
        if (!scan->any) {
            scan->any = true;
            scan->min_value = scan->max_value = v;
        }
        if (v < scan->min_value)
            scan->min_value = v;
        if (v > scan->max_value)
            scan->max_value = v;
        if (v > 1.01)
            scan->above_one++;
    }
}

static bool wants_progress(const char* info)
{
    return info || is_window_open(g_hwndMerge);
}

// Decoded blocks of a failed strip are scanned as they stand (zeros at first).
static void scan_strips(FloatScan* scan, BYTE* block, tmsize_t block_bytes, const char* info)
{
    bool planes = g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1;
    int per_row = planes ? g_tiffWidth : g_tiffSamplesPerPixel * g_tiffWidth;
    uint64_t row_bytes = (uint64_t)per_row * (g_tiffBitsPerSample / 8);
    uint32_t strips = (uint32_t)((g_tiffHeight + g_tiffRowsPerStrip - 1) / g_tiffRowsPerStrip);
    int visited = 0;
    for (uint32_t s = 0; s < strips && visited < g_tiffHeight; s++) {
        decode_tiff_strip(g_tiff, s, block, block_bytes);
        for (int r = 0; r < g_tiffRowsPerStrip && visited < g_tiffHeight; r++, visited++) {
            if ((uint64_t)(r + 1) * row_bytes > (uint64_t)block_bytes)
                break;
            scan_float_row(scan, block + r * row_bytes, per_row);
            if (wants_progress(info))
                show_progress((double)visited / g_tiffHeight, 1);
        }
    }
}

static void scan_tiles(FloatScan* scan, BYTE* block, tmsize_t block_bytes, const char* info)
{
    bool planes = g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1;
    int plane_count = planes ? g_tiffSamplesPerPixel : 1;
    int per_pixel = planes ? 1 : g_tiffSamplesPerPixel;
    uint32_t across = (uint32_t)((g_tiffWidth + g_tiffTileWidth - 1) / g_tiffTileWidth);
    uint32_t down = (uint32_t)((g_tiffHeight + g_tiffTileLength - 1) / g_tiffTileLength);
    uint64_t row_bytes = (uint64_t)g_tiffTileWidth * per_pixel * (g_tiffBitsPerSample / 8);
    double total = (double)plane_count * across * g_tiffHeight;
    uint64_t done = 0;
    for (int p = 0; p < plane_count; p++) {
        for (uint32_t tr = 0; tr < down; tr++) {
            for (uint32_t tc = 0; tc < across; tc++) {
                uint32_t tile = (uint32_t)p * across * down + tr * across + tc;
                decode_tiff_tile(g_tiff, tile, block, block_bytes);
                int x0 = (int)(tc * g_tiffTileWidth);
                int columns = g_tiffWidth - x0 < g_tiffTileWidth ? g_tiffWidth - x0 : g_tiffTileWidth;
                for (int r = 0; r < g_tiffTileLength; r++) {
                    if ((int64_t)tr * g_tiffTileLength + r >= g_tiffHeight)
                        break;
                    if ((uint64_t)(r + 1) * row_bytes > (uint64_t)block_bytes)
                        break;
                    scan_float_row(scan, block + r * row_bytes, columns * per_pixel);
                    done++;
                    if (wants_progress(info))
                        show_progress(done / total, 1);
                }
            }
        }
    }
}

void read_tiff_float_image(double* min_value, double* max_value, const char* info)
{
    int bits = g_tiffBitsPerSample;
    if (bits != 16 && bits != 24 && bits != 32 && bits != 64)
        return;
    bool tiled = TIFFIsTiled(g_tiff) != 0;
    tmsize_t block_bytes = tiled ? TIFFTileSize(g_tiff) : TIFFStripSize(g_tiff);
    if (block_bytes <= 0)
        return;
    HGLOBAL hBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)block_bytes);
    if (!hBlock)
        return;
    BYTE* block = (BYTE*)GlobalLock(hBlock);
    FloatScan scan = {false, 0.0, 0.0, 0};
    if (g_tiffPlanar == 1 || g_tiffPlanar == 2 || g_tiffSamplesPerPixel <= 1) {
        if (tiled)
            scan_tiles(&scan, block, block_bytes, info);
        else
            scan_strips(&scan, block, block_bytes, info);
    }
    GlobalUnlock(hBlock);
    GlobalFree(hBlock);
    if (!scan.any)
        return;
    *min_value = scan.min_value > 0 ? 0 : scan.min_value;
    double total = (double)g_tiffSamplesPerPixel * g_tiffHeight * g_tiffWidth;
    // A few bright samples saturate instead of darkening the whole page.
    *max_value = scan.above_one / total < 0.02 ? 1.0 : scan.max_value * 1.1;
}

static BYTE float_to_byte(double v)
{
    double t;
    if (g_tiffBitsPerSample == 64) {
        t = (v - g_tiffFloatMin) * (255.0 / (g_tiffFloatMax - g_tiffFloatMin));
    } else {
        float difference = (float)(g_tiffFloatMax - g_tiffFloatMin);
        float scale = 255.0f / difference;
        t = (float)((float)v - (float)g_tiffFloatMin) * scale;
    }
    if (t >= 255)
        return 255;
    if (!(t > 0))  // negative and NaN
        return 0;
    return (BYTE)(int)t;
}

void convert_float_samples(const BYTE* strip, const BYTE* tile, BYTE* dest, int dest_sample, int row,
                           int plane_row_bytes, int tile_x)
{
    int spp = g_tiffSamplesPerPixel;
    bool planes = g_tiffPlanar == 2 && spp > 1;
    const BYTE* data = tile ? tile : strip;
    int pixels = g_tiffWidth;
    if (tile)
        pixels = g_tiffWidth - tile_x < g_tiffTileWidth ? g_tiffWidth - tile_x : g_tiffTileWidth;
    if (planes) {
        const BYTE* src = data + (size_t)row * plane_row_bytes;
        for (int x = 0; x < pixels; x++)
            dest[spp * (tile_x + x) + dest_sample] = float_to_byte(float_sample(src, x));
        return;
    }
    const BYTE* src = data + (size_t)row * spp * plane_row_bytes;
    if (spp == 1) {
        for (int i = 0; i < pixels; i++)
            dest[tile_x + i] = float_to_byte(float_sample(src, i));
    } else if (spp == 3 || spp == 4) {
        static const int SWAP[4] = {2, 1, 0, 3};
        BYTE* out = dest + spp * tile_x;
        for (int i = 0; i < spp * pixels; i++)
            out[i - i % spp + SWAP[i % spp]] = float_to_byte(float_sample(src, i));
    }
}

// ---- YCbCr data units ----

static int unit_samples(void)
{
    return g_tiffYCbCrSubH * g_tiffYCbCrSubV + 2;
}

static int unit_bytes(void)
{
    int n = unit_samples();
    return g_tiffBitsPerSample == 12 ? (n * 3 + 1) / 2 : n;
}

void unpack_ycbcr_unit(uint32_t* unit, const BYTE* bytes)
{
    int n = unit_samples();
    if (g_tiffBitsPerSample != 12) {
        for (int i = 0; i < n; i++)
            unit[i] = bytes[i];
        return;
    }
    for (int i = 0; i < n; i += 2, bytes += 3) {
        unit[i] = (uint32_t)bytes[0] << 4 | bytes[1] >> 4;
        if (i + 1 < n)
            unit[i + 1] = (uint32_t)(bytes[1] & 15) << 8 | bytes[2];
    }
}

void pack_ycbcr_triple(uint32_t y, uint32_t cb, uint32_t cr, BYTE* out, int phase)
{
    if (g_tiffBitsPerSample != 12) {
        out[0] = (BYTE)y;
        out[1] = (BYTE)cb;
        out[2] = (BYTE)cr;
    } else if (phase == 0) {
        out[0] = (BYTE)(y >> 4);
        out[1] = (BYTE)((y & 15) << 4 | (cb >> 8 & 15));
        out[2] = (BYTE)cb;
        out[3] = (BYTE)(cr >> 4);
        out[4] = (BYTE)((cr & 15) << 4);
    } else {
        out[0] |= (BYTE)(y >> 8 & 15);
        out[1] = (BYTE)y;
        out[2] = (BYTE)(cb >> 4);
        out[3] = (BYTE)((cb & 15) << 4 | (cr >> 8 & 15));
        out[4] = (BYTE)cr;
    }
}

void pack_ycbcr_sample(uint32_t sample, BYTE* out, int phase)
{
    if (g_tiffBitsPerSample != 12) {
        out[0] = (BYTE)sample;
    } else if (phase == 0) {
        out[0] = (BYTE)(sample >> 4);
        out[1] = (BYTE)((sample & 15) << 4);
    } else {
        out[0] |= (BYTE)(sample >> 8 & 15);
        out[1] = (BYTE)sample;
    }
}

static bool ycbcr_supported(void)
{
    return (g_tiffBitsPerSample == 8 || g_tiffBitsPerSample == 12) && g_tiffSamplesPerPixel == 3;
}

static int rows_to_produce(int strip, int rows, int tiled)
{
    if (tiled)
        return rows;
    int64_t left = (int64_t)g_tiffHeight - (int64_t)strip * rows;
    return left < rows ? (int)(left > 0 ? left : 0) : rows;
}

// Where the unit row that starts at output row y begins in the decoded
// block. The JPEG codec's raw output pads some unit rows differently.
static int64_t unit_row_position(int64_t y, int64_t U, int64_t R, int tiled, int64_t previous_end)
{
    int h = g_tiffYCbCrSubH, v = g_tiffYCbCrSubV;
    if (g_tiffCompression != COMPRESSION_JPEG)
        return U * y / v;
    if (!tiled) {
        bool short_units = (h == 1 && v == 4 && (g_tiffWidth & 1)) ||
                           (h == 2 && v == 4 && (g_tiffWidth % 4 == 1 || g_tiffWidth % 4 == 2));
        return (short_units ? U - 2 : U) * y / v;
    }
    if (v == 1 || (v == 2 && h == 1) || (v == 4 && h == 2))
        return y * R;
    if (v == 2 && h == 2)
        return (y / 2) * (U + R);
    if (v == 4 && h == 1)
        return (y / 2) * U;
    return previous_end;
}

int expand_ycbcr_data_units(HGLOBAL* phBuffer, int strip, int width, int rows, int tiled)
{
    if (!ycbcr_supported() || width <= 0 || rows < 0)
        return 0;
    int h = g_tiffYCbCrSubH, v = g_tiffYCbCrSubV;
    bool twelve = g_tiffBitsPerSample == 12;
    int64_t R = twelve ? 9 * (int64_t)width / 2 + width % 2 : 3 * (int64_t)width;
    int64_t across = (width + h - 1) / h;
    int64_t U = across * unit_samples();
    if (twelve)
        U = U * 3 / 2;
    int produce = rows_to_produce(strip, rows, tiled);
    uint64_t out_bytes = (uint64_t)R * (produce > 0 ? produce : 1);
    if (out_bytes > 0x7FFFFFFF)
        return 0;
    HGLOBAL hOut = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)out_bytes);
    if (!hOut)
        return 0;
    int64_t in_bytes = (int64_t)GlobalSize(*phBuffer);
    const BYTE* in = (const BYTE*)GlobalLock(*phBuffer);
    BYTE* out = (BYTE*)GlobalLock(hOut);
    int step = unit_bytes();
    bool repeat_last = (h == 1 && v == 4 && (g_tiffWidth & 1)) ||
                       (h == 2 && v == 4 && (g_tiffWidth % 4 == 1 || g_tiffWidth % 4 == 2));
    uint32_t unit[18];
    int64_t position = 0;
    for (int64_t y = 0; y < produce; y += v) {
        position = unit_row_position(y, U, R, tiled, position);
        BYTE* out_row = out + y * R;
        for (int x = 0; x < width; x += h) {
            if (position < 0 || position + step > in_bytes)
                break;
            unpack_ycbcr_unit(unit, in + position);
            if (!(repeat_last && x >= g_tiffWidth - 2))
                position += step;
            for (int c = 0; c < h && x + c < width; c++) {
                int px = x + c;
                int64_t column = twelve ? (int64_t)px * 9 / 2 : 3 * (int64_t)px;
                for (int r = 0; r < v && y + r < produce; r++)
                    pack_ycbcr_triple(unit[r * h + c], unit[h * v], unit[h * v + 1],
                                      out_row + r * R + column, px & 1);
            }
        }
    }
    GlobalUnlock(hOut);
    GlobalUnlock(*phBuffer);
    GlobalFree(*phBuffer);
    *phBuffer = hOut;
    return 1;
}

int copy_ycbcr_samples(HGLOBAL* phBuffer, int strip, int width, int rows, int tiled)
{
    if (!ycbcr_supported() || width <= 0 || rows < 0)
        return 0;
    bool twelve = g_tiffBitsPerSample == 12;
    int64_t L = twelve ? 3 * (int64_t)width / 2 + width % 2 : width;
    int produce = rows_to_produce(strip, rows, tiled);
    uint64_t out_bytes = (uint64_t)L * (produce > 0 ? produce : 1);
    if (out_bytes > 0x7FFFFFFF)
        return 0;
    HGLOBAL hOut = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)out_bytes);
    if (!hOut)
        return 0;
    int64_t in_bytes = (int64_t)GlobalSize(*phBuffer);
    const BYTE* in = (const BYTE*)GlobalLock(*phBuffer);
    BYTE* out = (BYTE*)GlobalLock(hOut);
    if (g_tiffYCbCrSubH == 2 && g_tiffYCbCrSubV == 2) {
        // next sample: byte index for 8 bits, sample index for 12 bits
        int64_t next = 0;
        bool done = false;
        for (int y = 0; y < produce && !done; y += 2) {
            for (int x = 0; x < width; x += 2) {
                uint32_t s;
                if (twelve) {
                    int64_t at = next * 3 / 2;
                    if (at + 2 > in_bytes) {
                        done = true;
                        break;
                    }
                    s = next & 1 ? (uint32_t)(in[at] & 15) << 8 | in[at + 1]
                                 : (uint32_t)in[at] << 4 | in[at + 1] >> 4;
                } else {
                    if (next >= in_bytes) {
                        done = true;
                        break;
                    }
                    s = in[next];
                }
                next++;
                int64_t column = twelve ? (int64_t)x * 3 / 2 : x;
                for (int r = 0; r < 2 && y + r < produce; r++) {
                    BYTE* p = out + (y + r) * L + column;
                    pack_ycbcr_sample(s, p, 0);
                    if (x + 1 < width)
                        pack_ycbcr_sample(s, p + 1, 1);
                }
            }
            if (g_tiffCompression == COMPRESSION_JPEG)
                next += twelve ? width / 2 : L / 2;
        }
    }
    GlobalUnlock(hOut);
    GlobalUnlock(*phBuffer);
    GlobalFree(*phBuffer);
    *phBuffer = hOut;
    return 1;
}
