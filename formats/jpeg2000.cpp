// JPEG 2000 files (JP2 and code stream) through OpenJPEG, by two readers the
// loaders try in turn. read_jpeg2000_jasper gives a colour-managed picture:
// YCC turned to RGB, an embedded ICC profile applied through Little CMS,
// every precision scaled to 8 bits. read_jpeg2000_openjpeg takes the
// components as they are (a second component is alpha) and maps samples by
// precision. The Sun raster reader declared beside them is sun_raster.cpp.
//
// Both read the whole file into memory, check the sizes the header gives
// before OpenJPEG allocates its component buffers, and walk every
// component by its own geometry, so subsampled components need no copy.
#include "formats/jpeg2000.h"

#include <openjpeg.h>
#include <lcms2.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"

// OpenJPEG holds 4 bytes per sample of every component while decoding.
static const uint64_t MAX_DECODED_BYTES = MAX_DIB_BYTES;
enum { MAX_COMPONENTS = 16 };
static const uint64_t COMPLETE_STREAM_PIXELS_PER_BYTE = 0xFFFFFFFFu;

struct MemoryStream {
    const BYTE* data;
    OPJ_SIZE_T size;
    OPJ_SIZE_T offset;
};

static OPJ_SIZE_T memory_read(void* buffer, OPJ_SIZE_T bytes, void* user)
{
    MemoryStream* s = (MemoryStream*)user;
    OPJ_SIZE_T left = s->size - s->offset;
    if (left == 0)
        return (OPJ_SIZE_T)-1;
    if (bytes > left)
        bytes = left;
    memcpy(buffer, s->data + s->offset, bytes);
    s->offset += bytes;
    return bytes;
}

static OPJ_OFF_T memory_skip(OPJ_OFF_T bytes, void* user)
{
    MemoryStream* s = (MemoryStream*)user;
    if (bytes < 0) {
        OPJ_OFF_T back = (OPJ_OFF_T)s->offset < -bytes ? (OPJ_OFF_T)s->offset : -bytes;
        s->offset -= (OPJ_SIZE_T)back;
        return -back;
    }
    OPJ_SIZE_T left = s->size - s->offset;
    OPJ_SIZE_T step = (uint64_t)bytes > left ? left : (OPJ_SIZE_T)bytes;
    s->offset += step;
    return (OPJ_OFF_T)step;
}

static OPJ_BOOL memory_seek(OPJ_OFF_T position, void* user)
{
    MemoryStream* s = (MemoryStream*)user;
    if (position < 0 || (uint64_t)position > s->size)
        return OPJ_FALSE;
    s->offset = (OPJ_SIZE_T)position;
    return OPJ_TRUE;
}

// The header's sizes fit what this program may allocate.
static bool image_size_acceptable(const opj_image_t* image)
{
    if (image->x1 <= image->x0 || image->y1 <= image->y0 || image->numcomps < 1 ||
        image->numcomps > MAX_COMPONENTS)
        return false;
    uint32_t width = image->x1 - image->x0, height = image->y1 - image->y0;
    if (width > MAX_DIB_DIMENSION || height > MAX_DIB_DIMENSION)
        return false;
    uint64_t samples = 0;
    for (uint32_t c = 0; c < image->numcomps; c++) {
        const opj_image_comp_t* comp = &image->comps[c];
        if (comp->dx == 0 || comp->dy == 0 || comp->prec < 1 || comp->prec > 31)
            return false;
        samples += ((uint64_t)width / comp->dx + 1) * (height / comp->dy + 1);
    }
    // OpenJPEG's sample buffers, one a component, within the read's ceiling.
    return samples * 4 <= MAX_DECODED_BYTES && pixels_fit_ceiling((uint64_t)width * height) &&
           dib_block_size((int32_t)width, (int32_t)height, 32, 0) != 0;
}

static uint32_t be32(const BYTE* p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// Where the code stream starts: 0 for a bare stream, the data of the first
// top-level "jp2c" box of a JP2 file; size when there is none.
static size_t code_stream_start(const BYTE* data, size_t size, OPJ_CODEC_FORMAT codec_format)
{
    if (codec_format != OPJ_CODEC_JP2)
        return 0;
    size_t pos = 0;
    for (int hops = 0; hops < 256 && size - pos >= 8; hops++) {
        uint64_t length = be32(data + pos);
        size_t head = 8;
        if (length == 1) {
            if (size - pos < 16)
                break;
            length = (uint64_t)be32(data + pos + 8) << 32 | be32(data + pos + 12);
            head = 16;
        } else if (length == 0) {
            length = size - pos;
        }
        if (!memcmp(data + pos + 4, "jp2c", 4))
            return pos + head;
        if (length < head || length > size - pos)
            break;
        pos += (size_t)length;
    }
    return size;
}

// OpenJPEG builds a structure for every tile and component while it reads
// the main header, before the image's size can be checked: the size
// segment is checked first. False for a picture larger than this program
// holds or more tile components than MAX_TILE_COMPONENTS; a stream without
// a size segment where one belongs is left for OpenJPEG to refuse.
static bool size_segment_acceptable(const BYTE* data, size_t size, OPJ_CODEC_FORMAT codec_format)
{
    enum { SIZ_FIXED_BYTES = 38, MAX_TILE_COMPONENTS = 1 << 16 };
    size_t at = code_stream_start(data, size, codec_format);
    if (at >= size || size - at < 4 + SIZ_FIXED_BYTES || data[at] != 0xFF || data[at + 1] != 0x4F ||
        data[at + 2] != 0xFF || data[at + 3] != 0x51)
        return true;
    const BYTE* siz = data + at + 4;  // from the segment's length field
    uint32_t x1 = be32(siz + 4), y1 = be32(siz + 8), x0 = be32(siz + 12), y0 = be32(siz + 16);
    uint32_t tile_width = be32(siz + 20), tile_height = be32(siz + 24);
    uint32_t tile_x0 = be32(siz + 28), tile_y0 = be32(siz + 32);
    uint32_t components = (uint32_t)siz[36] << 8 | siz[37];
    if (x1 <= x0 || y1 <= y0 || x1 - x0 > MAX_DIB_DIMENSION || y1 - y0 > MAX_DIB_DIMENSION ||
        components < 1 || components > MAX_COMPONENTS)
        return false;
    if (tile_width == 0 || tile_height == 0 || tile_x0 > x0 || tile_y0 > y0)
        return true;  // OpenJPEG refuses these itself
    uint64_t across = ((uint64_t)x1 - tile_x0 + tile_width - 1) / tile_width;
    uint64_t down = ((uint64_t)y1 - tile_y0 + tile_height - 1) / tile_height;
    return across * down * components <= MAX_TILE_COMPONENTS;
}

// 1 when every tile of the size segment's grid has a tile-part whose bytes
// lie inside the stream. An empty packet costs a byte whatever area its
// precinct covers, so no ratio bounds a flat picture; a stream whose tiles
// are all there holds the picture it claims, which only the image model's
// limit then bounds. A stream cut short or missing tiles does not.
static int tiles_all_present(const BYTE* data, size_t size, OPJ_CODEC_FORMAT codec_format)
{
    enum { SIZ_FIXED_BYTES = 38, SOT_BYTES = 12, MAX_TILES = 1 << 16 };
    static BYTE seen[MAX_TILES];
    size_t at = code_stream_start(data, size, codec_format);
    if (at >= size || size - at < 4 + SIZ_FIXED_BYTES || data[at + 3] != 0x51)
        return 0;
    const BYTE* siz = data + at + 4;
    uint32_t x1 = be32(siz + 4), y1 = be32(siz + 8);
    uint32_t tile_width = be32(siz + 20), tile_height = be32(siz + 24);
    uint32_t tile_x0 = be32(siz + 28), tile_y0 = be32(siz + 32);
    if (tile_width == 0 || tile_height == 0 || tile_x0 >= x1 || tile_y0 >= y1)
        return 0;
    uint64_t tiles = ((uint64_t)x1 - tile_x0 + tile_width - 1) / tile_width *
                     (((uint64_t)y1 - tile_y0 + tile_height - 1) / tile_height);
    if (tiles > MAX_TILES)
        return 0;
    // Header segments up to the first tile-part.
    size_t pos = at + 2;
    while (size - pos >= 4 && data[pos] == 0xFF && data[pos + 1] != 0x90) {
        size_t length = (size_t)data[pos + 2] << 8 | data[pos + 3];
        if (length < 2 || length > size - pos - 2)
            return 0;
        pos += 2 + length;
    }
    memset(seen, 0, (size_t)tiles);
    uint64_t found = 0;
    while (size - pos >= SOT_BYTES && data[pos] == 0xFF && data[pos + 1] == 0x90) {
        uint32_t tile = (uint32_t)data[pos + 4] << 8 | data[pos + 5];
        uint32_t part_bytes = be32(data + pos + 6);
        if (tile < tiles && !seen[tile]) {
            seen[tile] = 1;
            ++found;
        }
        if (part_bytes == 0)  // the last tile-part, running to the end
            break;
        if (part_bytes < SOT_BYTES + 2 || part_bytes > size - pos)
            return 0;
        pos += part_bytes;
    }
    return found == tiles;
}

// Decodes the bytes; null when OpenJPEG rejects them or their sizes.
static opj_image_t* decode_memory(const BYTE* data, size_t size, OPJ_CODEC_FORMAT codec_format)
{
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_codec_t* codec = opj_create_decompress(codec_format);
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    MemoryStream source = {data, size, 0};
    opj_image_t* image = NULL;
    // A road's ceiling, raised for a stream that holds every tile; the
    // road ends it.
    if (current_pixel_ceiling() && tiles_all_present(data, size, codec_format))
        widen_pixel_ceiling(size, COMPLETE_STREAM_PIXELS_PER_BYTE);
    bool ok = codec && stream && size_segment_acceptable(data, size, codec_format) &&
              opj_setup_decoder(codec, &parameters);
    if (ok) {
        opj_stream_set_read_function(stream, memory_read);
        opj_stream_set_skip_function(stream, memory_skip);
        opj_stream_set_seek_function(stream, memory_seek);
        opj_stream_set_user_data(stream, &source, NULL);
        opj_stream_set_user_data_length(stream, size);
        ok = opj_read_header(stream, codec, &image) && image_size_acceptable(image);
        // The library's planes: 32 bits a sample, one plane a component.
        if (ok)
            credit_held_pixels((uint64_t)(image->x1 - image->x0) * (image->y1 - image->y0), 4 * image->numcomps);
        ok = ok && opj_decode(codec, stream, image) && opj_end_decompress(codec, stream);
    }
    // Every component must have arrived with its samples.
    for (uint32_t c = 0; ok && c < image->numcomps; c++)
        ok = image->comps[c].data && image->comps[c].w > 0 && image->comps[c].h > 0;
    if (!ok && image) {
        opj_image_destroy(image);
        image = NULL;
    }
    if (stream)
        opj_stream_destroy(stream);
    if (codec)
        opj_destroy_codec(codec);
    return image;
}

// The whole file in a movable block (caller frees); null when it cannot be
// opened (*opened 0) or read.
static HGLOBAL read_whole_file(const char* path, size_t* size, int* opened)
{
    *opened = 0;
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return NULL;
    *opened = 1;
    HGLOBAL hData = NULL;
    long length = fseek(fp, 0, SEEK_END) == 0 ? ftell(fp) : -1;
    if (length > 0 && (uint64_t)length <= MAX_DIB_BYTES && fseek(fp, 0, SEEK_SET) == 0)
        hData = GlobalAlloc(GHND, (SIZE_T)length);
    if (hData) {
        BYTE* data = (BYTE*)GlobalLock(hData);
        size_t got = fread(data, 1, (size_t)length, fp);
        GlobalUnlock(hData);
        if (got != (size_t)length) {
            GlobalFree(hData);
            hData = NULL;
            length = 0;
        }
    }
    fclose(fp);
    // 0 tells an empty or oversized file from a failed allocation.
    *size = length > 0 && (uint64_t)length <= MAX_DIB_BYTES ? (size_t)length : 0;
    return hData;
}

// Sample of a component at image-area pixel (x, y), nearest by its own
// sampling steps and offsets, made unsigned (0 to 2^prec - 1).
static uint32_t component_sample(const opj_image_t* image, const opj_image_comp_t* comp, uint32_t x,
                                 uint32_t y)
{
    uint32_t cx = (image->x0 + x) / comp->dx, cy = (image->y0 + y) / comp->dy;
    cx = cx > comp->x0 ? cx - comp->x0 : 0;
    cy = cy > comp->y0 ? cy - comp->y0 : 0;
    if (cx >= comp->w)
        cx = comp->w - 1;
    if (cy >= comp->h)
        cy = comp->h - 1;
    int64_t v = comp->data[(size_t)cy * comp->w + cx];
    if (comp->sgnd)
        v += (int64_t)1 << (comp->prec - 1);
    int64_t max = ((int64_t)1 << comp->prec) - 1;
    return (uint32_t)(v < 0 ? 0 : v > max ? max : v);
}

// Every precision to 8 bits by its full range.
static BYTE scale_to_byte(uint32_t v, uint32_t prec)
{
    if (prec == 8)
        return (BYTE)v;
    return (BYTE)((uint64_t)v * 255 / (((uint64_t)1 << prec) - 1));
}

// The OpenJPEG reader's mapping: shifts for 12 and 16 bits as the decoder's
// own tools do, the full range for any other precision.
static BYTE shift_to_byte(uint32_t v, uint32_t prec)
{
    if (prec == 4)
        return (BYTE)(v * 17);
    if (prec > 8)
        return (BYTE)(v >> (prec - 8));
    return scale_to_byte(v, prec);
}

static void append_info(char* info, const char* text)
{
    if (!info)
        return;
    size_t used = strlen(info);
    if (used + 1 < INFO_TEXT_SIZE)
        lstrcpynA(info + used, text, (int)(INFO_TEXT_SIZE - used));
}

static HGLOBAL allocation_failed(char* info, bool says_no_file)
{
    seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
    if (info && says_no_file)
        lstrcpyA(info, "no file selected");
    return NULL;
}

static HGLOBAL create_result(uint32_t width, uint32_t height, int bits)
{
    HGLOBAL hDib = create_packed_dib((int32_t)width, (int32_t)height, bits, bits == 8 ? 256 : 0);
    if (!hDib)
        return NULL;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (bits == 8) {
        RGBQUAD* table = dib_color_table(bih);
        for (int i = 0; i < 256; i++)
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (BYTE)i;
    }
    GlobalUnlock(hDib);
    return hDib;
}

static const char* color_space_name(const opj_image_t* image)
{
    switch (image->color_space) {
    case OPJ_CLRSPC_SRGB: return "RGB\n";
    case OPJ_CLRSPC_GRAY: return "grayscale\n";
    case OPJ_CLRSPC_SYCC:
    case OPJ_CLRSPC_EYCC: return "YCbCr\n";
    default: break;
    }
    // A bare code stream names no colour space: its decoded components are
    // grey or RGB by their count.
    if (image->numcomps == 1 || image->numcomps == 2)
        return "grayscale\n";
    if (image->numcomps == 3)
        return "RGB\n";
    return "unknown\n";
}

static BYTE clamp_byte(double v)
{
    return (BYTE)(v <= 0 ? 0 : v >= 255 ? 255 : (int)(v + 0.5));
}

// Applies the embedded ICC profile to the 8-bit grey or BGR rows.
static void apply_icc_profile(const opj_image_t* image, BITMAPINFOHEADER* bih)
{
    if (!image->icc_profile_buf || image->icc_profile_len == 0)
        return;
    cmsHPROFILE input = cmsOpenProfileFromMem(image->icc_profile_buf, image->icc_profile_len);
    if (!input)
        return;
    cmsHPROFILE output = NULL;
    cmsUInt32Number format = 0;
    cmsColorSpaceSignature space = cmsGetColorSpace(input);
    if (space == cmsSigRgbData && bih->biBitCount >= 24) {
        output = cmsCreate_sRGBProfile();
        format = bih->biBitCount == 24 ? TYPE_BGR_8 : TYPE_BGRA_8;
    } else if (space == cmsSigGrayData && bih->biBitCount == 8) {
        cmsToneCurve* curve = cmsBuildGamma(NULL, 2.2);
        output = curve ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : NULL;
        if (curve)
            cmsFreeToneCurve(curve);
        format = TYPE_GRAY_8;
    }
    cmsHTRANSFORM transform =
        output ? cmsCreateTransform(input, format, output, format, INTENT_PERCEPTUAL,
                                    bih->biBitCount == 32 ? cmsFLAGS_COPY_ALPHA : 0)
               : NULL;
    if (transform) {
        uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
        BYTE* pixels = dib_pixels(bih);
        for (int32_t y = 0; y < bih->biHeight; y++) {
            BYTE* row = pixels + (size_t)y * stride;
            cmsDoTransform(transform, row, row, (cmsUInt32Number)bih->biWidth);
        }
        cmsDeleteTransform(transform);
    }
    if (output)
        cmsCloseProfile(output);
    cmsCloseProfile(input);
}

// The colour-managed result: 8-bit grey for one or two components, 24 bits
// for three, 32 for more.
static HGLOBAL colour_managed_dib(const opj_image_t* image, char* info)
{
    uint32_t width = image->x1 - image->x0, height = image->y1 - image->y0;
    uint32_t n = image->numcomps;
    int bits = n <= 2 ? 8 : n == 3 ? 24 : 32;
    HGLOBAL hDib = create_result(width, height, bits);
    if (!hDib)
        return allocation_failed(info, true);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    uint32_t stride = dib_row_stride(bih->biWidth, bits);
    BYTE* pixels = dib_pixels(bih);
    bool is_ycc = (image->color_space == OPJ_CLRSPC_SYCC || image->color_space == OPJ_CLRSPC_EYCC) &&
                  n >= 3;
    // A code stream names no colour space; three components whose second
    // is subsampled and first is not are luma and chroma.
    if (image->color_space <= OPJ_CLRSPC_UNSPECIFIED && n == 3 && image->comps[0].dx == 1 &&
        image->comps[0].dy == 1 && (image->comps[1].dx > 1 || image->comps[1].dy > 1))
        is_ycc = true;
    uint32_t channels = n <= 2 ? 1 : n == 3 ? 3 : 4;
    for (uint32_t y = 0; y < height; y++) {
        show_progress((y + 1.0) / height, 1);
        BYTE* row = pixels + (size_t)(height - 1 - y) * stride;
        for (uint32_t x = 0; x < width; x++) {
            BYTE v[4];
            for (uint32_t c = 0; c < channels; c++)
                v[c] = scale_to_byte(component_sample(image, &image->comps[c], x, y), image->comps[c].prec);
            BYTE* px = row + (size_t)x * (bits / 8);
            if (channels == 1) {
                px[0] = v[0];
                continue;
            }
            if (is_ycc) {
                double luma = v[0], cb = v[1] - 128.0, cr = v[2] - 128.0;
                v[0] = clamp_byte(luma + 1.402 * cr);
                v[1] = clamp_byte(luma - 0.344136 * cb - 0.714136 * cr);
                v[2] = clamp_byte(luma + 1.772 * cb);
            }
            px[0] = v[2];
            px[1] = v[1];
            px[2] = v[0];
            if (channels == 4)
                px[3] = v[3];
        }
    }
    if (!is_ycc)
        apply_icc_profile(image, bih);
    GlobalUnlock(hDib);
    return hDib;
}

static OPJ_CODEC_FORMAT codec_of(const BYTE* data, size_t size, int* is_jp2)
{
    static const BYTE j2k[4] = {0xFF, 0x4F, 0xFF, 0x51};
    static const BYTE jp2[6] = {0, 0, 0, 0x0C, 'j', 'P'};
    *is_jp2 = 0;
    if (size >= 4 && !memcmp(data, j2k, 4))
        return OPJ_CODEC_J2K;
    if (size >= 6 && !memcmp(data, jp2, 6)) {
        *is_jp2 = 1;
        return OPJ_CODEC_JP2;
    }
    return OPJ_CODEC_UNKNOWN;
}

HGLOBAL read_jpeg2000_jasper(const char* path, char* info)
{
    size_t size = 0;
    int opened = 0;
    HGLOBAL hData = read_whole_file(path, &size, &opened);
    if (!hData)
        return NULL;
    const BYTE* data = (const BYTE*)GlobalLock(hData);
    int is_jp2 = 0;
    OPJ_CODEC_FORMAT codec = codec_of(data, size, &is_jp2);
    opj_image_t* image = codec == OPJ_CODEC_UNKNOWN ? NULL : decode_memory(data, size, codec);
    GlobalUnlock(hData);
    GlobalFree(hData);
    if (!image)
        return NULL;
    uint32_t width = image->x1 - image->x0, height = image->y1 - image->y0;
    fit_image_rect((int32_t)width, (int32_t)height, 1);
    if (info) {
        lstrcpyA(info, is_jp2 ? "image type: JPEG 2000 (JP2)" : "image type: JPEG 2000 (J2K)");
        char line[120];
        snprintf(line, sizeof line, "\nwidth: %u \nheight: %u\ndepth: %u\ncolor components: %u\ncolorspace: ",
                 width, height, image->comps[0].prec, image->numcomps);
        append_info(info, line);
        append_info(info, color_space_name(image));
    }
    HGLOBAL hDib = colour_managed_dib(image, info);
    opj_image_destroy(image);
    return hDib;
}

// The components as they are: grey, grey and alpha, RGB, RGB and alpha.
static HGLOBAL openjpeg_image_to_dib(const opj_image_t* image, char* info)
{
    uint32_t width = image->x1 - image->x0, height = image->y1 - image->y0;
    uint32_t n = image->numcomps;
    if (info) {
        char line[160];
        snprintf(line, sizeof line,
                 "\nwidth: %u \nheight: %u \nnumber of components: %u \nprecision: %u bits ", width,
                 height, n, image->comps[0].prec);
        append_info(info, line);
    }
    fit_image_rect((int32_t)width, (int32_t)height, 1);
    if (n < 1)
        return NULL;
    int bits = n == 1 ? 8 : n == 3 ? 24 : 32;
    HGLOBAL hDib = create_result(width, height, bits);
    if (!hDib)
        return allocation_failed(info, false);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    bih->biSizeImage = dib_row_stride(bih->biWidth, bits) * height;
    uint32_t stride = dib_row_stride(bih->biWidth, bits);
    BYTE* pixels = dib_pixels(bih);
    // Destination byte of each component in a pixel.
    static const int place3[3] = {2, 1, 0};
    static const int place4[4] = {2, 1, 0, 3};
    for (uint32_t y = 0; y < height; y++) {
        BYTE* row = pixels + (size_t)(height - 1 - y) * stride;
        for (uint32_t x = 0; x < width; x++) {
            BYTE* px = row + (size_t)x * (bits / 8);
            if (n <= 2) {
                const opj_image_comp_t* grey = &image->comps[0];
                BYTE v = shift_to_byte(component_sample(image, grey, x, y), grey->prec);
                px[0] = v;
                if (n == 2) {
                    const opj_image_comp_t* alpha = &image->comps[1];
                    px[1] = px[2] = v;
                    px[3] = shift_to_byte(component_sample(image, alpha, x, y), alpha->prec);
                }
                continue;
            }
            uint32_t used = n == 3 ? 3 : 4;
            for (uint32_t c = 0; c < used; c++) {
                const opj_image_comp_t* comp = &image->comps[c];
                px[used == 3 ? place3[c] : place4[c]] =
                    shift_to_byte(component_sample(image, comp, x, y), comp->prec);
            }
        }
    }
    GlobalUnlock(hDib);
    return hDib;
}

HGLOBAL read_jpeg2000_openjpeg(const char* path, char* info, int* format)
{
    if (!format || (*format != FMT_J2K && *format != FMT_JP2))
        return NULL;
    bool is_jp2 = *format == FMT_JP2;
    if (info)
        lstrcpyA(info, is_jp2 ? "image type: JPEG 2000 (JP2)" : "image type: JPEG 2000 (J2K)");
    size_t size = 0;
    int opened = 0;
    HGLOBAL hData = read_whole_file(path, &size, &opened);
    if (!opened) {
        seam_message_box(NULL, "ERROR -> failed to open file for reading\n", path, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    if (!hData && size > 0)
        return allocation_failed(info, false);
    const BYTE* data = hData ? (const BYTE*)GlobalLock(hData) : NULL;
    opj_image_t* image = data ? decode_memory(data, size, is_jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K) : NULL;
    if (hData) {
        GlobalUnlock(hData);
        GlobalFree(hData);
    }
    if (!image) {
        seam_message_box(NULL, "ERROR -> Unable to decode image!", path, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    HGLOBAL hDib = openjpeg_image_to_dib(image, info);
    if (!hDib)
        seam_message_box(NULL, "Output not generated", path, MB_OK | MB_ICONSTOP);
    opj_image_destroy(image);
    return hDib;
}
