// TIFF row conversions: one decoded row of a strip or tile, as the library
// delivers it, becomes one row (or, for tiles, the tile's columns of one
// row) of the image, by photometric interpretation, samples, bits and planar
// configuration. Samples deeper than 8 bits keep their most significant
// byte; sub-byte samples go through one bit walk. The reader (tiff_read.cpp)
// has refused every layout whose pixels would be read past a decoded row.
#include "formats/tiff_state.h"

#include <string.h>

namespace {

// One row to convert: its decoded samples, the first image column and the
// pixel count, and whether it comes from a tile.
struct RowJob {
    const BYTE* src;    // the decoded row
    const BYTE* block;  // the whole decoded strip or tile (float conversion)
    int row;
    BYTE* dest;         // the image row, pixel 0
    BYTE* staging;
    cmsHTRANSFORM transform;
    int plane;
    int use_embedded;
    int x0;
    int count;
    bool tiled;
};

}  // namespace

int tiff_needs_byte_swap(TIFF* tif)
{
    if (g_tiffSamplesPerPixel >= 3)
        return 1;
    if (g_tiffSamplesPerPixel == 1 && g_tiffPhotometric == PHOTOMETRIC_RGB)
        return 0;
    return 1;
}

// The kept byte of sample i of k-byte samples: the most significant one in
// the machine's (little-endian) order when the library swapped them.
static BYTE kept_byte(const BYTE* src, int i, int k, int swap)
{
    return src[i * k + (swap ? k - 1 : 0)];
}

// Kept byte of sample s of interleaved pixel x; 0 for a sample the pixel
// does not have (LogLuv may come with two samples, and the decoded row then
// ends after the second sample of its last pixel).
static BYTE pixel_sample(const BYTE* src, int x, int s, int k, int swap)
{
    int spp = g_tiffSamplesPerPixel;
    return s < spp ? kept_byte(src, spp * x + s, k, swap) : 0;
}

void unpack_tiff_row(const BYTE* src, BYTE* dest, int bits, int form, int count, const int* channel)
{
    int spp = g_tiffSamplesPerPixel;
    bool palette = g_tiffPhotometric == PHOTOMETRIC_PALETTE;
    if (form == 4) {
        int bytes = (count + 1) / 2;
        memset(dest, 0, bytes);
        for (int i = 0; i < count; i++) {
            int value = 0;
            for (int j = 0; j < bits && j < 4; j++) {
                uint32_t b = (uint32_t)i * bits + j;
                if (src[b >> 3] >> (7 - (b & 7)) & 1)
                    value += 1 << (bits - j - 1);
            }
            dest[i >> 1] += (BYTE)(i & 1 ? value : value << 4);
        }
        if (!palette) {
            int factor = 15 / ((1 << bits) - 1);
            for (int i = 0; i < bytes; i++)
                dest[i] = (BYTE)(dest[i] * factor);
        }
        return;
    }
    int factor = 1;
    if (!palette && bits < 8) {
        factor = 255 / ((1 << bits) - 1);
        if (g_tiffTileWidth && TIFFIsTiled(g_tiff) && spp == 1)
            factor = bits == 1 ? 1 : bits <= 4 ? 15 / ((1 << bits) - 1) : factor;
    }
    for (int i = 0; i < count; i++) {
        int value = 0;
        for (int j = 0; j < bits && j < 8; j++) {
            uint32_t b = (uint32_t)i * bits + j;
            if (src[b >> 3] >> (7 - (b & 7)) & 1)
                value += bits >= 8 ? 128 >> j : 1 << (bits - j - 1);
        }
        BYTE byte = (BYTE)(value * factor);
        if (channel)
            dest[*channel + spp * i] = byte;
        else
            dest[i] = byte;
    }
}

static int sample_bytes(void)
{
    return g_tiffBitsPerSample % 8 == 0 ? g_tiffBitsPerSample / 8 : 0;
}

// Photometric interpretations whose colour goes through the transform.
static bool is_transformed(int use_embedded)
{
    switch (g_tiffPhotometric) {
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ITULAB:
        return true;
    case PHOTOMETRIC_YCBCR:
        return !g_tiffJpegToRgb;
    case PHOTOMETRIC_RGB:
        return use_embedded != 0;
    default:
        return false;
    }
}

static void float_row(const RowJob* job, int channel)
{
    int plane_row_bytes = (job->tiled ? g_tiffTileWidth : g_tiffWidth) * g_tiffBitsPerSample / 8;
    convert_float_samples(job->tiled ? NULL : job->block, job->tiled ? job->block : NULL, job->dest, channel,
                          job->row, plane_row_bytes, job->x0);
}

static void row8(const RowJob* job)
{
    int bps = g_tiffBitsPerSample, k = sample_bytes();
    if (g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP) {
        float_row(job, 0);
        return;
    }
    if (g_tiffPlanar != 1)
        return;
    BYTE* out = job->dest + job->x0;
    int swap = tiff_needs_byte_swap(g_tiff);
    if (bps == 8)
        memcpy(out, job->src, job->count);
    else if (k == 0)
        unpack_tiff_row(job->src, out, bps, 8, job->count, NULL);
    else
        for (int x = 0; x < job->count; x++)
            out[x] = kept_byte(job->src, x, k, swap);
}

// Interleaved samples of n pixels into the staging row: spp bytes a pixel,
// or the first `keep` samples of each pixel when keep is smaller.
static void stage_samples(const RowJob* job, int keep)
{
    int spp = g_tiffSamplesPerPixel, k = sample_bytes(), swap = tiff_needs_byte_swap(g_tiff);
    int n = job->count;
    if (k == 1 && keep == spp) {
        memcpy(job->staging, job->src, (size_t)spp * n);
    } else if (k == 0) {
        unpack_tiff_row(job->src, job->staging, g_tiffBitsPerSample, 8, spp * n, NULL);
        if (keep < spp)
            for (int x = 0; x < n; x++)
                memmove(job->staging + keep * x, job->staging + spp * x, keep);
    } else {
        for (int x = 0; x < n; x++)
            for (int s = 0; s < keep; s++)
                job->staging[keep * x + s] = kept_byte(job->src, spp * x + s, k, swap);
    }
}

// Tight loops for 8-bit samples, one call a row. Each reads a pixel whole
// before writing it, so source and destination may be the same row.
static void rgb_to_bgr(const BYTE* src, BYTE* dest, int n)
{
    for (int x = 0; x < n; x++, src += 3, dest += 3) {
        BYTE r = src[0], g = src[1], b = src[2];
        dest[0] = b;
        dest[1] = g;
        dest[2] = r;
    }
}

static void rgba_to_bgra(const BYTE* src, BYTE* dest, int n)
{
    for (int x = 0; x < n; x++, src += 4, dest += 4) {
        BYTE r = src[0], g = src[1], b = src[2], a = src[3];
        dest[0] = b;
        dest[1] = g;
        dest[2] = r;
        dest[3] = a;
    }
}

static void keep_row(BYTE* row, int n)
{
}

static void rgb_to_bgr_in_place(BYTE* row, int n)
{
    rgb_to_bgr(row, row, n);
}

static void rgba_to_bgra_in_place(BYTE* row, int n)
{
    rgba_to_bgra(row, row, n);
}

// Colour that comes out of the decoded samples with only red and blue
// exchanged.
static bool is_direct_rgb(int use_embedded)
{
    return (g_tiffPhotometric == PHOTOMETRIC_RGB && !use_embedded) ||
           (g_tiffPhotometric == PHOTOMETRIC_YCBCR && g_tiffJpegToRgb) || g_tiffPhotometric == PHOTOMETRIC_LOGLUV;
}

TiffRowInPlace tiff_in_place_row(int bit_count, int use_embedded)
{
    if (g_tiffPlanar != PLANARCONFIG_CONTIG || g_tiffBitsPerSample != 8 ||
        g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP)
        return NULL;
    int spp = g_tiffSamplesPerPixel;
    if (bit_count == 8 && spp == 1)
        return keep_row;
    if (bit_count == 24 && spp == 3 && is_direct_rgb(use_embedded))
        return rgb_to_bgr_in_place;
    if (bit_count == 32 && spp == 4 && g_tiffPhotometric == PHOTOMETRIC_RGB && !use_embedded)
        return rgba_to_bgra_in_place;
    return NULL;
}

static void swap_red_blue(BYTE* out, int stride, int n)
{
    for (int x = 0; x < n; x++) {
        BYTE t = out[stride * x];
        out[stride * x] = out[stride * x + 2];
        out[stride * x + 2] = t;
    }
}

// One plane of separate-plane colour into channel c of each pixel.
static void plane_into_channel(const RowJob* job, BYTE* out, int stride, int c, bool allow_float)
{
    int k = sample_bytes(), swap = tiff_needs_byte_swap(g_tiff);
    if (allow_float && g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP) {
        float_row(job, c);
    } else if (k == 0) {
        int offset = c;
        // unpack_tiff_row strides by samples per pixel
        if (stride == g_tiffSamplesPerPixel) {
            unpack_tiff_row(job->src, out, g_tiffBitsPerSample, 8, job->count, &offset);
        } else {
            unpack_tiff_row(job->src, job->staging, g_tiffBitsPerSample, 8, job->count, NULL);
            for (int x = 0; x < job->count; x++)
                out[stride * x + c] = job->staging[x];
        }
    } else {
        for (int x = 0; x < job->count; x++)
            out[stride * x + c] = kept_byte(job->src, x, k, swap);
    }
}

static void row24(const RowJob* job)
{
    int spp = g_tiffSamplesPerPixel, bps = g_tiffBitsPerSample, k = sample_bytes();
    int swap = tiff_needs_byte_swap(g_tiff), n = job->count;
    bool transformed = is_transformed(job->use_embedded);
    bool direct = is_direct_rgb(job->use_embedded);
    if (g_tiffPhotometric == PHOTOMETRIC_PALETTE) {
        if (g_tiffPlanar != 1 || bps != 16)
            return;
        for (int x = 0; x < n; x++) {
            uint16_t v;
            memcpy(&v, job->src + 2 * x, 2);
            if (v < g_tiffPaletteSize)
                memcpy(job->dest + 3 * (job->x0 + x), g_tiffPalette + 4 * v, 3);
        }
        return;
    }
    BYTE* out = job->dest + spp * job->x0;
    if (g_tiffPlanar == 1) {
        if (direct) {
            if (g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP && g_tiffPhotometric == PHOTOMETRIC_RGB) {
                float_row(job, 0);
            } else if (k == 1 && spp == 3) {
                rgb_to_bgr(job->src, out, n);
            } else if (k == 0) {
                unpack_tiff_row(job->src, out, bps, 8, spp * n, NULL);
                swap_red_blue(out, spp, n);
            } else {
                for (int x = 0; x < n; x++)
                    for (int s = 0; s < 3; s++)
                        out[spp * x + s] = pixel_sample(job->src, x, 2 - s, k, swap);
            }
        } else if (transformed && job->transform) {
            stage_samples(job, spp);
            cmsDoTransform(job->transform, job->staging, out, n);
            swap_red_blue(out, spp, n);
        }
        return;
    }
    if (job->plane >= 3)
        return;
    if (direct) {
        plane_into_channel(job, out, spp, 2 - job->plane, g_tiffPhotometric == PHOTOMETRIC_RGB);
    } else if (transformed) {
        plane_into_channel(job, out, spp, job->plane, false);
        if (job->plane == 2 && job->transform) {
            cmsDoTransform(job->transform, out, job->staging, n);
            for (int x = 0; x < n; x++)
                for (int s = 0; s < 3; s++)
                    out[spp * x + s] = job->staging[3 * x + 2 - s];
        }
    }
}

static void row32_with_alpha(const RowJob* job)
{
    int bps = g_tiffBitsPerSample, k = sample_bytes(), swap = tiff_needs_byte_swap(g_tiff);
    bool palette = g_tiffPhotometric == PHOTOMETRIC_PALETTE;
    if (palette && bps > 8)
        return;
    int alpha_factor = palette && bps < 8 ? 255 / ((1 << bps) - 1) : 1;
    BYTE* out = job->dest + 4 * job->x0;
    auto put_colour = [&](int x, int v) {
        if (palette) {
            if ((uint32_t)v < g_tiffPaletteSize)
                memcpy(out + 4 * x, g_tiffPalette + 4 * v, 3);
        } else {
            BYTE g = (BYTE)(g_tiffPhotometric == PHOTOMETRIC_MINISWHITE ? 255 - v : v);
            out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = g;
        }
    };
    if (g_tiffPlanar == 1) {
        const BYTE* samples = job->src;
        int step = k ? k : 1, pick = k ? swap : 0;
        if (k == 0) {
            unpack_tiff_row(job->src, job->staging, bps, 8, 2 * job->count, NULL);
            samples = job->staging;
        }
        for (int x = 0; x < job->count; x++) {
            put_colour(x, kept_byte(samples, 2 * x, step, pick));
            out[4 * x + 3] = (BYTE)(kept_byte(samples, 2 * x + 1, step, pick) * alpha_factor);
        }
        return;
    }
    if (job->plane > 1)
        return;
    const BYTE* samples = job->src;
    int step = k ? k : 1, pick = k ? swap : 0;
    if (k == 0) {
        unpack_tiff_row(job->src, job->staging, bps, 8, job->count, NULL);
        samples = job->staging;
    }
    for (int x = 0; x < job->count; x++) {
        int v = kept_byte(samples, x, step, pick);
        if (job->plane == 0)
            put_colour(x, v);
        else
            out[4 * x + 3] = (BYTE)(v * alpha_factor);
    }
}

static void row32_colour(const RowJob* job)
{
    int spp = g_tiffSamplesPerPixel, bps = g_tiffBitsPerSample, k = sample_bytes();
    int swap = tiff_needs_byte_swap(g_tiff), n = job->count;
    bool transformed = g_tiffPhotometric == PHOTOMETRIC_SEPARATED || job->use_embedded;
    BYTE* out = job->dest + 4 * job->x0;
    if (g_tiffPlanar == 1) {
        if (!transformed) {
            if (g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP) {
                float_row(job, 0);
            } else if (k == 1 && spp == 4) {
                rgba_to_bgra(job->src, out, n);
            } else if (k == 0) {
                unpack_tiff_row(job->src, out, bps, 8, spp * n, NULL);
                swap_red_blue(out, spp, n);
            } else {
                static const int ORDER[4] = {2, 1, 0, 3};
                for (int x = 0; x < n; x++)
                    for (int s = 0; s < 4; s++)
                        out[4 * x + s] = pixel_sample(job->src, x, ORDER[s], k, swap);
            }
            return;
        }
        if (!job->transform)
            return;
        stage_samples(job, 4);
        cmsDoTransform(job->transform, job->staging, out, n);
        swap_red_blue(out, 4, n);
        if (spp == 5 && k)
            for (int x = 0; x < n; x++)
                out[4 * x + 3] = kept_byte(job->src, spp * x + 4, k, swap);
        return;
    }
    int p = job->plane;
    if (!transformed) {
        if (p <= 3)
            plane_into_channel(job, out, 4, p < 3 ? 2 - p : 3, true);
        return;
    }
    if (p < 4)
        plane_into_channel(job, out, 4, p, false);
    if (p == spp - 1 && job->transform) {
        cmsDoTransform(job->transform, out, job->staging, n);
        for (int x = 0; x < n; x++) {
            for (int s = 0; s < 3; s++)
                out[4 * x + s] = job->staging[4 * x + 2 - s];
            if (spp == 4)
                out[4 * x + 3] = job->staging[4 * x + 3];
            else if (spp == 5 && k)
                out[4 * x + 3] = kept_byte(job->src, x, k, swap);
            else
                out[4 * x + 3] = 0;
        }
    }
}

static void convert_row(const RowJob* job, int bit_count)
{
    switch (bit_count) {
    case 8:
        row8(job);
        break;
    case 16:
        memcpy(job->dest + 2 * job->x0, job->src, (size_t)2 * job->count);
        break;
    case 24:
        row24(job);
        break;
    case 32:
        if (g_tiffSamplesPerPixel == 2) {
            if (g_tiffPhotometric <= PHOTOMETRIC_PALETTE && g_tiffPhotometric != PHOTOMETRIC_RGB)
                row32_with_alpha(job);
        } else if (g_tiffPhotometric == PHOTOMETRIC_RGB || g_tiffPhotometric == PHOTOMETRIC_SEPARATED) {
            row32_colour(job);
        }
        break;
    }
}

static size_t decoded_row_bytes(int width)
{
    int per_pixel = g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1 ? 1 : g_tiffSamplesPerPixel;
    return (size_t)(((uint64_t)per_pixel * g_tiffBitsPerSample * width + 7) / 8);
}

void read_tiff_strips(int row, int bit_count, const BYTE* strip, BYTE* dest, BYTE* staging,
                      cmsHTRANSFORM transform, int plane, int use_embedded)
{
    RowJob job = {strip + decoded_row_bytes(g_tiffWidth) * row, strip, row, dest, staging, transform,
                  plane, use_embedded, 0, g_tiffWidth, false};
    switch (bit_count) {
    case 1:
        memcpy(dest, job.src, (g_tiffWidth + 7) / 8);
        return;
    case 4:
        if (g_tiffPlanar != 1)
            return;
        if (g_tiffBitsPerSample == 4)
            memcpy(dest, job.src, (g_tiffWidth + 1) / 2);
        else
            unpack_tiff_row(job.src, dest, g_tiffBitsPerSample, 4, g_tiffWidth, NULL);
        return;
    default:
        convert_row(&job, bit_count);
    }
}

void read_tiff_tiles(int row, int tile_x, int bit_count, const BYTE* tile, BYTE* dest, BYTE* staging,
                     cmsHTRANSFORM transform, int plane, int use_embedded)
{
    int n = g_tiffWidth - tile_x < g_tiffTileWidth ? g_tiffWidth - tile_x : g_tiffTileWidth;
    RowJob job = {tile + decoded_row_bytes(g_tiffTileWidth) * row, tile, row, dest, staging, transform,
                  plane, use_embedded, tile_x, n, true};
    int bps = g_tiffBitsPerSample;
    if (bit_count == 1) {
        if (g_tiffPlanar != 1)
            return;
        if (g_tiffTileWidth % 8 == 0) {
            memcpy(dest + tile_x / 8, job.src, ((size_t)bps * n + 7) / 8);
            return;
        }
        unpack_tiff_row(job.src, staging + tile_x, bps, 8, n, NULL);
        for (int x = tile_x; x < tile_x + n; x++) {
            if (x % 8 == 0)
                dest[x / 8] = staging[x] ? 128 : 0;
            else if (staging[x])
                dest[x / 8] |= (BYTE)(128 >> (x % 8));
        }
        return;
    }
    if (bit_count == 4) {
        if (g_tiffPlanar != 1)
            return;
        if (bps == 4 && g_tiffTileWidth % 2 == 0 && tile_x % 2 == 0) {
            // an odd last tile keeps its last column in the high nibble
            memcpy(dest + tile_x / 2, job.src, (n + 1) / 2);
            return;
        }
        if (bps < 2)
            return;
        unpack_tiff_row(job.src, staging + tile_x, bps, 8, n, NULL);
        for (int x = tile_x; x < tile_x + n; x++) {
            if (x % 2 == 0)
                dest[x / 2] = (BYTE)((staging[x] & 15) << 4);
            else
                dest[x / 2] += (BYTE)(staging[x] & 15);
        }
        return;
    }
    convert_row(&job, bit_count);
}
