// Sun raster files (the reader declared in jpeg2000.h, which also gives PNM
// files to JasPer elsewhere; only the Sun branch exists here). The standard,
// old, run-length and RGB types at 1, 8, 24 and 32 bits, with or without an
// RGB colour map. Colour-mapped pictures become 24-bit images, unmapped 1- and
// 8-bit ones 8-bit grey, like the component layout of the JPEG 2000 readers.
#include "formats/jpeg2000.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"

enum {
    RAS_HEADER_BYTES = 32,
    RAS_TYPE_OLD = 0,
    RAS_TYPE_STANDARD = 1,
    RAS_TYPE_RLE = 2,
    RAS_TYPE_RGB = 3,
    RAS_MAP_RGB = 1,
    RAS_RLE_ESCAPE = 0x80,
};

// A run-length stream expands at most 256 bytes for every 3 it holds; more
// pixel data than that cannot come from the file and is not allocated.
static const uint64_t MAX_EXPANSION = 86;

static uint32_t be32(const BYTE* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

static HGLOBAL decode_failed(void)
{
    seam_message_box(NULL, "Unable to Decode.", " ", MB_OK);
    return NULL;
}

// Expands run-length data into out (out_size bytes); stops where either
// runs out, the rest of out staying zero.
static void unpack_rle(const BYTE* in, size_t in_size, BYTE* out, size_t out_size)
{
    size_t i = 0, o = 0;
    while (i < in_size && o < out_size) {
        BYTE b = in[i++];
        if (b != RAS_RLE_ESCAPE) {
            out[o++] = b;
            continue;
        }
        if (i >= in_size)
            break;
        size_t count = in[i++];
        if (count == 0) {
            out[o++] = RAS_RLE_ESCAPE;
            continue;
        }
        if (i >= in_size)
            break;
        BYTE value = in[i++];
        for (count++; count > 0 && o < out_size; count--)
            out[o++] = value;
    }
}

// Whole file in a malloc block (caller frees); null when it cannot be read
// or is larger than any image could be.
static BYTE* read_file(FILE* fp, size_t* size)
{
    if (fseek(fp, 0, SEEK_END) != 0)
        return NULL;
    long length = ftell(fp);
    if (length < 0 || (uint64_t)length > MAX_DIB_BYTES || fseek(fp, 0, SEEK_SET) != 0)
        return NULL;
    BYTE* data = (BYTE*)malloc(length ? (size_t)length : 1);
    if (data && fread(data, 1, (size_t)length, fp) != (size_t)length) {
        free(data);
        return NULL;
    }
    *size = (size_t)length;
    return data;
}

struct SunRaster {
    uint32_t width, height, depth, type;
    const BYTE* map;       // red, green, blue thirds; null without a map
    uint32_t map_entries;
    uint32_t line_bytes;   // one row in the file, padded to 16 bits
};

// Pixel x of a file row into the blue, green, red bytes of out, or into
// one grey byte when there is neither map nor colour.
static void convert_pixel(const SunRaster& r, const BYTE* line, uint32_t x, BYTE* out)
{
    if (r.depth == 24 || r.depth == 32) {
        const BYTE* p = line + (size_t)x * (r.depth / 8) + (r.depth == 32 ? 1 : 0);
        bool is_rgb = r.type == RAS_TYPE_RGB;
        out[0] = is_rgb ? p[2] : p[0];
        out[1] = p[1];
        out[2] = is_rgb ? p[0] : p[2];
        return;
    }
    uint32_t index = r.depth == 8 ? line[x] : (line[x >> 3] >> (7 - (x & 7))) & 1;
    if (!r.map) {
        // Set bits are black.
        out[0] = r.depth == 8 ? (BYTE)index : (BYTE)(index ? 0 : 255);
        return;
    }
    uint32_t n = r.map_entries;
    if (index >= n) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    out[0] = r.map[2 * n + index];
    out[1] = r.map[n + index];
    out[2] = r.map[index];
}

HGLOBAL read_image_jasper(const char* path, char* info)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return NULL;
    size_t file_size = 0;
    BYTE* file = read_file(fp, &file_size);
    fclose(fp);
    if (!file)
        return NULL;
    if (file_size < RAS_HEADER_BYTES || be32(file) != 0x59A66A95u) {
        free(file);
        return NULL;
    }
    SunRaster r = {};
    r.width = be32(file + 4);
    r.height = be32(file + 8);
    r.depth = be32(file + 12);
    r.type = be32(file + 20);
    uint32_t map_type = be32(file + 24);
    uint32_t map_length = be32(file + 28);
    size_t data_offset = RAS_HEADER_BYTES;
    bool depth_ok = r.depth == 1 || r.depth == 8 || r.depth == 24 || r.depth == 32;
    bool type_ok = r.type <= RAS_TYPE_RGB;
    if (!depth_ok || !type_ok || r.width == 0 || r.height == 0 || r.width > MAX_DIB_DIMENSION ||
        r.height > MAX_DIB_DIMENSION || map_length > file_size - data_offset) {
        free(file);
        return decode_failed();
    }
    if (map_type == RAS_MAP_RGB && map_length >= 3 && r.depth <= 8) {
        r.map = file + data_offset;
        r.map_entries = map_length / 3;
    }
    data_offset += map_length;
    uint64_t line_bytes = ((uint64_t)r.width * r.depth + 15) / 16 * 2;
    uint64_t raw_size = line_bytes * r.height;
    uint64_t data_size = file_size - data_offset;
    if (raw_size > MAX_EXPANSION * data_size || raw_size > MAX_DIB_BYTES) {
        free(file);
        return decode_failed();
    }
    r.line_bytes = (uint32_t)line_bytes;
    fit_image_rect((int32_t)r.width, (int32_t)r.height, 1);
    bool is_grey = !r.map && r.depth <= 8;
    int components = is_grey ? 1 : 3;
    if (info) {
        snprintf(info, INFO_TEXT_SIZE,
                 "image type: Sun Raster\nwidth: %u \nheight: %u\ndepth: %u\ncolor components: "
                 "%d\ncolorspace: %s",
                 r.width, r.height, r.depth == 1 ? 1u : 8u, components,
                 is_grey ? "grayscale\n" : "RGB\n");
    }

    // Pixel data as the file would hold it uncompressed; a short file
    // leaves the missing rows zero.
    BYTE* raw = (BYTE*)calloc((size_t)raw_size, 1);
    HGLOBAL hDib = raw ? create_packed_dib((int32_t)r.width, (int32_t)r.height, is_grey ? 8 : 24,
                                           is_grey ? 256 : 0)
                       : NULL;
    if (!hDib) {
        free(raw);
        free(file);
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
        if (info)
            lstrcpyA(info, "no file selected");
        return NULL;
    }
    if (r.type == RAS_TYPE_RLE)
        unpack_rle(file + data_offset, (size_t)data_size, raw, (size_t)raw_size);
    else
        memcpy(raw, file + data_offset, (size_t)(data_size < raw_size ? data_size : raw_size));

    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (is_grey) {
        RGBQUAD* table = dib_color_table(bih);
        for (int i = 0; i < 256; i++)
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (BYTE)i;
    }
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    BYTE* pixels = dib_pixels(bih);
    for (uint32_t y = 0; y < r.height; y++) {
        show_progress((double)y / r.height, 0);
        const BYTE* line = raw + (size_t)y * r.line_bytes;
        BYTE* dest = pixels + (size_t)(r.height - 1 - y) * stride;
        for (uint32_t x = 0; x < r.width; x++)
            convert_pixel(r, line, x, dest + (size_t)x * components);
    }
    GlobalUnlock(hDib);
    free(raw);
    free(file);
    return hDib;
}
