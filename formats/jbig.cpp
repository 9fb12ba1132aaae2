// JBIG bi-level image entities through JBIG-KIT. One plane is a 1-bit
// image (set pixels black); several planes are Gray-coded grey levels.
//
// JBIG-KIT allocates its planes as soon as it has read the 20-byte header
// and ends the process when that fails, so the reader checks the header's
// planes, width and height itself, against the limits and against what the
// file's coded bytes can fill, before the decoder sees a byte. The TIFF
// reader applies the same check to JBIG-coded strips.
#include "formats/jbig.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" {
#include <jbig.h>
}

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "tools/grey_tone.h"

enum {
    BIE_HEADER_BYTES = 20,
    INPUT_CHUNK_BYTES = 8000,
    WHOLE_FILE_START_BYTES = 4000,
    MAX_DIB_PLANES = 8,
};

// The decoder holds every plane of the largest layer and a smaller layer
// beside it; this keeps the whole of it well inside a 32-bit process.
static const uint64_t MAX_PLANE_BYTES = MAX_DIB_BYTES / 4;

static uint32_t be32(const BYTE* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

// The arithmetic decoder yields at most 2^15 decisions per coded bit (its
// smallest probability estimate), and a plane pixel takes at least one;
// typical prediction can skip lines cheaper still, but a picture that
// large in so few bytes is refused rather than allocated.
static const uint64_t MAX_PIXELS_PER_CODED_BYTE = 8u << 15;

bool jbig_header_fits(const BYTE* header, uint64_t coded_bytes)
{
    uint32_t planes = header[2];
    uint32_t width = be32(header + 4);
    uint32_t height = be32(header + 8);
    if (planes == 0 || width == 0 || height == 0 || width > MAX_DIB_DIMENSION ||
        height > MAX_DIB_DIMENSION)
        return false;
    uint64_t plane_bytes = (uint64_t)planes * ((width + 7) / 8) * height;
    if ((uint64_t)planes * width * height > coded_bytes * MAX_PIXELS_PER_CODED_BYTE)
        return false;
    int bits = planes == 1 ? 1 : 8;
    return plane_bytes <= MAX_PLANE_BYTES && dib_block_size((int32_t)width, (int32_t)height, bits, 256) != 0;
}

// Reads the rest of stream into a growable movable block behind *count
// bytes already there; *size is the block's size (0: none yet). 1 when the
// whole rest was read; 0 after the message, the block left for the caller
// to free.
static int read_whole_file(HGLOBAL* phBuffer, size_t* size, size_t* count, FILE* stream)
{
    if (*size == 0) {
        *phBuffer = GlobalAlloc(GHND, WHOLE_FILE_START_BYTES);
        if (!*phBuffer) {
            seam_message_box(NULL, "Sorry, not enough memory available!\n", " ", MB_OK);
            return 0;
        }
        *size = WHOLE_FILE_START_BYTES;
        *count = 0;
    }
    for (;;) {
        BYTE* data = (BYTE*)GlobalLock(*phBuffer);
        size_t got = fread(data + *count, 1, *size - *count, stream);
        GlobalUnlock(*phBuffer);
        *count += got;
        if (ferror(stream)) {
            seam_message_box(NULL, "Problem while reading input file", " ", MB_OK);
            return 0;
        }
        if (*count < *size)
            return 1;
        HGLOBAL hBigger = *size <= MAX_DIB_BYTES / 2
                              ? GlobalReAlloc(*phBuffer, *size * 2, GMEM_MOVEABLE | GMEM_ZEROINIT)
                              : NULL;
        if (!hBigger) {
            seam_message_box(NULL, "Sorry, not enough memory available!\n", " ", MB_OK);
            return 0;
        }
        *phBuffer = hBigger;
        *size *= 2;
    }
}

// Feeds data to the decoder until it is used up or the decoder wants no
// more; the decoder's result.
static int feed_decoder(jbg_dec_state* state, BYTE* data, size_t length, uint64_t* consumed,
                        uint64_t file_size)
{
    int result = JBG_EAGAIN;
    size_t offset = 0;
    while (offset < length && result == JBG_EAGAIN) {
        size_t used = 0;
        result = jbg_dec_in(state, data + offset, length - offset, &used);
        offset += used;
        *consumed += used;
        if (file_size)
            show_progress((double)*consumed / file_size, 1);
    }
    return result;
}

// Decodes the whole stream; 0 when the header is refused, -1 after a
// message of its own.
static int decode_stream(jbg_dec_state* state, FILE* fp, BYTE* header, uint64_t file_size)
{
    uint64_t consumed = 0;
    if (header[19] & JBG_VLENGTH) {
        // The height may be corrected by a NEWLEN marker anywhere in the
        // stream: the whole file is needed before the header can be trusted.
        HGLOBAL hBuffer = GlobalAlloc(GHND, WHOLE_FILE_START_BYTES);
        if (!hBuffer) {
            seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONHAND);
            return -1;
        }
        BYTE* data = (BYTE*)GlobalLock(hBuffer);
        memcpy(data, header, BIE_HEADER_BYTES);
        GlobalUnlock(hBuffer);
        size_t size = WHOLE_FILE_START_BYTES, count = BIE_HEADER_BYTES;
        if (!read_whole_file(&hBuffer, &size, &count, fp)) {
            GlobalFree(hBuffer);
            return -1;
        }
        data = (BYTE*)GlobalLock(hBuffer);
        int ok = jbg_newlen(data, count) == JBG_EOK && jbig_header_fits(data, count - BIE_HEADER_BYTES);
        if (ok)
            feed_decoder(state, data, count, &consumed, file_size);
        GlobalUnlock(hBuffer);
        GlobalFree(hBuffer);
        return ok;
    }
    uint64_t coded_bytes = file_size > BIE_HEADER_BYTES ? file_size - BIE_HEADER_BYTES : 0;
    if (!jbig_header_fits(header, coded_bytes))
        return 0;
    BYTE chunk[INPUT_CHUNK_BYTES];
    int result = feed_decoder(state, header, BIE_HEADER_BYTES, &consumed, file_size);
    while (result == JBG_EAGAIN) {
        size_t got = fread(chunk, 1, sizeof chunk, fp);
        if (got == 0)
            break;
        result = feed_decoder(state, chunk, got, &consumed, file_size);
    }
    return 1;
}

// The decoded planes as a PackedDib (1 bit, or 8-bit Gray-decoded grey);
// null after "Memory Allocation Error".
static HGLOBAL planes_to_dib(const jbg_dec_state* state, uint32_t width, uint32_t height,
                            int planes)
{
    int used_planes = planes < MAX_DIB_PLANES ? planes : MAX_DIB_PLANES;
    uint32_t levels = 1u << used_planes;
    HGLOBAL hDib = create_packed_dib((int32_t)width, (int32_t)height, planes == 1 ? 1 : 8, levels);
    if (!hDib) {
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONHAND);
        return NULL;
    }
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    RGBQUAD* table = dib_color_table(bih);
    uint32_t stride = dib_row_stride((int32_t)width, bih->biBitCount);
    BYTE* pixels = dib_pixels(bih);
    uint32_t plane_row = (width + 7) / 8;
    if (planes == 1) {
        table[0].rgbRed = table[0].rgbGreen = table[0].rgbBlue = 255;
        const BYTE* plane = jbg_dec_getimage(state, 0);
        for (uint32_t y = 0; plane && y < height; y++)
            memcpy(pixels + (size_t)(height - 1 - y) * stride, plane + (size_t)y * plane_row, plane_row);
    } else {
        for (uint32_t i = 0; i < levels; i++)
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (BYTE)(i * 255 / (levels - 1));
        // The most significant planes come first, so the first eight give
        // the top eight bits of a deeper level.
        const BYTE* plane[MAX_DIB_PLANES];
        for (int p = 0; p < used_planes; p++)
            plane[p] = jbg_dec_getimage(state, p);
        for (uint32_t y = 0; y < height; y++) {
            show_progress(height > 1 ? (double)y / (height - 1) : 1.0, 1);
            BYTE* dest = pixels + (size_t)(height - 1 - y) * stride;
            for (uint32_t x = 0; x < width; x++) {
                size_t at = (size_t)y * plane_row + (x >> 3);
                unsigned mask = 0x80u >> (x & 7);
                unsigned value = 0, bit = 0;
                for (int p = 0; p < used_planes; p++) {
                    bit ^= plane[p] && (plane[p][at] & mask) ? 1 : 0;
                    value = (value << 1) | bit;
                }
                dest[x] = (BYTE)value;
            }
        }
    }
    GlobalUnlock(hDib);
    if (planes > 1)
        compact_dib_depth(&hDib);
    return hDib;
}

HGLOBAL read_jbig_file(const char* path, char* info)
{
    uint64_t file_size = 0;
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA(path, &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        file_size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
        FindClose(hFind);
    }
    FILE* fp = fopen(path, "rb");
    if (!fp) {
        seam_message_box(NULL, "Error Opening File", NULL, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    BYTE header[BIE_HEADER_BYTES];
    if (fread(header, 1, sizeof header, fp) != sizeof header) {
        fclose(fp);
        seam_message_box(NULL, "File Read Error", NULL, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    jbg_dec_state state;
    memset(&state, 0, sizeof state);
    jbg_dec_init(&state);
    jbg_dec_maxsize(&state, 0xFFFFFFFFul, 0xFFFFFFFFul);
    HGLOBAL hDib = NULL;
    int decoded = decode_stream(&state, fp, header, file_size);
    int told = decoded < 0;
    // The getters read the plane buffers even when the decoder refused the
    // header before making them; they exist exactly when state.s does (as
    // jbg_dec_free assumes too).
    if (decoded > 0 && state.s) {
        unsigned long width = jbg_dec_getwidth(&state);
        unsigned long height = jbg_dec_getheight(&state);
        int planes = jbg_dec_getplanes(&state);
        // Nothing decoded gives 0 here.
        if (width > 0 && height > 0 && width <= MAX_DIB_DIMENSION && height <= MAX_DIB_DIMENSION &&
            planes > 0) {
            fit_image_rect((int32_t)width, (int32_t)height, 1);
            if (info) {
                size_t used = strlen(info);
                snprintf(info + used, INFO_TEXT_SIZE - used,
                         "image type: JBIG \nwidth: %lu \nheight: %lu \nplanes: %d \n", width,
                         height, planes);
            }
            hDib = planes_to_dib(&state, (uint32_t)width, (uint32_t)height, planes);
            told = 1;  // planes_to_dib has said why when it failed
        }
    }
    jbg_dec_free(&state);
    fclose(fp);
    // A header the decoder refused, or a stream of which no layer came out.
    if (!hDib && !told)
        seam_message_box(NULL, "File Read Error", NULL, MB_OK | MB_ICONSTOP);
    return hDib;
}

// The encoder's output; a failed write shows in ferror at the commit.
static void jbig_data_out(unsigned char* start, size_t length, void* stream)
{
    fwrite(start, 1, length, (FILE*)stream);
}

// Planes for a grey table: 2 or 4 for the 85- and 17-step ramps, else 8.
static int grey_planes(const RGBQUAD* table, uint32_t count)
{
    if (count == 4) {
        bool ramp = true;
        for (int i = 1; i < 4; i++)
            ramp = ramp && abs(table[i].rgbRed - table[i - 1].rgbRed) == 85;
        if (ramp)
            return 2;
    }
    if (count == 16) {
        for (int i = 1; i < 16; i++) {
            if (abs(table[i].rgbRed - table[i - 1].rgbRed) != 17)
                return 8;
        }
        return 4;
    }
    return 8;
}

// Fills the planes (each height rows of plane_row bytes, zeroed) from a 1-,
// 4- or 8-bit image with a table.
static void fill_planes(const BITMAPINFOHEADER* bih, int planes, BYTE* plane_data)
{
    uint32_t width = (uint32_t)bih->biWidth;
    uint32_t height = (uint32_t)bih->biHeight;
    int bits = bih->biBitCount;
    uint32_t count = dib_color_count(bih);
    const RGBQUAD* table = dib_color_table((BITMAPINFOHEADER*)bih);
    uint32_t stride = dib_row_stride(bih->biWidth, bits);
    const BYTE* pixels = dib_pixels((BITMAPINFOHEADER*)bih);
    uint32_t plane_row = (width + 7) / 8;
    size_t plane_size = (size_t)plane_row * height;
    // The darker entry is black whichever its index.
    BYTE black_index = count >= 2 && table[1].rgbGreen < table[0].rgbGreen ? 1 : 0;
    bool has_black = count >= 2 && table[0].rgbGreen != table[1].rgbGreen;
    int shift = bits == 4 ? (planes == 2 ? 6 : planes == 4 ? 4 : 0) : 0;
    for (uint32_t y = 0; y < height; y++) {
        const BYTE* src = pixels + (size_t)(height - 1 - y) * stride;
        BYTE* dest = plane_data + (size_t)y * plane_row;
        for (uint32_t x = 0; x < width; x++) {
            uint32_t index = dib_row_index(src, bits, (int32_t)x);
            BYTE mask = (BYTE)(0x80 >> (x & 7));
            if (planes == 1) {
                if (has_black && index == black_index)
                    dest[x >> 3] |= mask;
                continue;
            }
            unsigned level = ((index < count ? table[index].rgbRed : table[0].rgbRed) >> shift) &
                             ((1u << planes) - 1);
            unsigned gray = level ^ (level >> 1);
            for (int p = 0; p < planes; p++) {
                if ((gray >> (planes - 1 - p)) & 1)
                    dest[p * plane_size + (x >> 3)] |= mask;
            }
        }
    }
}

int write_jbig_file(const char* path, HGLOBAL hDib)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    HGLOBAL hWork = hDib;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hWork);
    if (!bih)
        return 0;
    bool is_grey = bih->biBitCount == 1;
    if (!is_grey && bih->biBitCount <= 8) {
        uint32_t count = dib_color_count(bih);
        const RGBQUAD* table = dib_color_table((BITMAPINFOHEADER*)bih);
        is_grey = true;
        for (uint32_t i = 0; i < count; i++)
            is_grey = is_grey && table[i].rgbRed == table[i].rgbGreen && table[i].rgbRed == table[i].rgbBlue;
    }
    if (!is_grey) {
        GlobalUnlock(hWork);
        HGLOBAL hCaller = NULL;
        // The colour image must never be encoded as if it were grey.
        if (!to_grayscale(&hWork, &hCaller, KIND_DIB))
            return 0;
        bih = (const BITMAPINFOHEADER*)GlobalLock(hWork);
        if (!bih) {
            GlobalFree(hWork);
            return 0;
        }
    }
    int result = 0;
    uint32_t width = (uint32_t)bih->biWidth;
    uint32_t height = (uint32_t)bih->biHeight;
    int planes = bih->biBitCount == 1 ? 1 : grey_planes(dib_color_table((BITMAPINFOHEADER*)bih), dib_color_count(bih));
    uint64_t plane_bytes = (uint64_t)planes * ((width + 7) / 8) * height;
    HGLOBAL hPlanes = bih->biHeight > 0 && plane_bytes <= MAX_PLANE_BYTES
                          ? GlobalAlloc(GHND, (SIZE_T)plane_bytes)
                          : NULL;
    BYTE* plane_data = hPlanes ? (BYTE*)GlobalLock(hPlanes) : NULL;
    SafeWrite sw;
    if (plane_data && safe_write_open(&sw, path)) {
        fill_planes(bih, planes, plane_data);
        unsigned char* plane_ptrs[MAX_DIB_PLANES];
        size_t plane_size = (size_t)((width + 7) / 8) * height;
        for (int p = 0; p < planes; p++)
            plane_ptrs[p] = plane_data + p * plane_size;
        jbg_enc_state encoder;
        jbg_enc_init(&encoder, width, height, planes, plane_ptrs, jbig_data_out, sw.fp);
        jbg_enc_out(&encoder);
        jbg_enc_free(&encoder);
        result = safe_write_commit(&sw);
    }
    if (plane_data)
        GlobalUnlock(hPlanes);
    if (hPlanes)
        GlobalFree(hPlanes);
    GlobalUnlock(hWork);
    if (hWork != hDib)
        GlobalFree(hWork);
    return result;
}
