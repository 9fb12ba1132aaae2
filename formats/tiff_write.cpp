// The TIFF writer: one image as a single-page TIFF through libtiff, in
// strips or tiles, in the compression the user chose. Grey palettes become
// grey images and colour depths the library's fax and JBIG codes cannot take,
// and JBIG in tiles, are refused before anything is written. The file is made under a
// temporary name beside the target and takes its place only when every
// strip or tile and the directory were written.
#include "formats/tiff_write.h"

#include <stdint.h>
#include <string.h>

#include <tiffio.h>

#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/safe_write.h"

namespace {

enum {
    TAG_JPEGQUALITY = 65537,
    TAG_JPEGCOLORMODE = 65538,
};

// How each pixel of a DIB row becomes TIFF samples.
enum RowForm {
    FORM_COPY,     // DIB bytes as they stand (1-bit black and white, palettes)
    FORM_GREY8,    // the palette grey of each pixel, one byte
    FORM_GREY4,    // the high 4 bits of the palette grey, two pixels a byte
    FORM_INDEX4,   // 1-bit indexes widened to 4-bit indexes
    FORM_RGB,      // red, green, blue bytes
    FORM_RGBA,     // red, green, blue, alpha bytes
};

struct WriteJob {
    const BITMAPINFOHEADER* bih;
    const BYTE* pixels;
    uint32_t stride;
    int bits;
    RowForm form;
    const RGBQUAD* table;
    uint32_t colors;
};

}  // namespace

// Grey: every table entry has red = green = blue.
static bool is_grey_table(const RGBQUAD* table, uint32_t colors)
{
    for (uint32_t i = 0; i < colors; i++)
        if (table[i].rgbRed != table[i].rgbGreen || table[i].rgbRed != table[i].rgbBlue)
            return false;
    return colors > 0;
}

static int abs_difference(int a, int b)
{
    return a > b ? a - b : b - a;
}

static bool is_grey4_ramp(const RGBQUAD* table, uint32_t colors)
{
    if (colors >= 4) {
        bool steps85 = true;
        for (int i = 1; i < 4; i++)
            steps85 = steps85 && abs_difference(table[i].rgbRed, table[i - 1].rgbRed) == 85;
        if (steps85)
            return true;
    }
    if (colors != 16)
        return false;
    for (int i = 1; i < 16; i++)
        if (abs_difference(table[i].rgbRed, table[i - 1].rgbRed) != 17)
            return false;
    return true;
}

static bool is_white(RGBQUAD q)
{
    return q.rgbRed == 255 && q.rgbGreen == 255 && q.rgbBlue == 255;
}

static bool is_black(RGBQUAD q)
{
    return q.rgbRed == 0 && q.rgbGreen == 0 && q.rgbBlue == 0;
}

static bool has_any_alpha(const WriteJob* job)
{
    for (int32_t y = 0; y < job->bih->biHeight; y++) {
        const BYTE* row = job->pixels + (size_t)y * job->stride;
        for (int32_t x = 0; x < job->bih->biWidth; x++)
            if (row[4 * x + 3])
                return true;
    }
    return false;
}

// Pixels x0 .. x0 + n - 1 of image row y (0 = top) into out.
static void convert_row(const WriteJob* job, int32_t y, int32_t x0, int32_t n, BYTE* out)
{
    const BYTE* row = job->pixels + (size_t)(job->bih->biHeight - 1 - y) * job->stride;
    switch (job->form) {
    case FORM_COPY:
        memcpy(out, row + (size_t)x0 * job->bits / 8, ((size_t)n * job->bits + 7) / 8);
        break;
    case FORM_GREY8:
        for (int32_t x = 0; x < n; x++)
            out[x] = dib_table_entry(job->bih, dib_row_index(row, job->bits, x0 + x)).rgbBlue;
        break;
    case FORM_GREY4:
        for (int32_t x = 0; x < n; x++) {
            BYTE grey = dib_table_entry(job->bih, dib_row_index(row, job->bits, x0 + x)).rgbBlue >> 4;
            out[x / 2] = (BYTE)(x & 1 ? out[x / 2] | grey : grey << 4);
        }
        break;
    case FORM_INDEX4:
        for (int32_t x = 0; x < n; x++) {
            BYTE index = (BYTE)dib_row_index(row, 1, x0 + x);
            out[x / 2] = (BYTE)(x & 1 ? out[x / 2] | index : index << 4);
        }
        break;
    case FORM_RGB:
        for (int32_t x = 0; x < n; x++) {
            int32_t px = x0 + x;
            BYTE* o = out + 3 * x;
            if (job->bits <= 8) {
                RGBQUAD q = dib_table_entry(job->bih, dib_row_index(row, job->bits, px));
                o[0] = q.rgbRed, o[1] = q.rgbGreen, o[2] = q.rgbBlue;
            } else if (job->bits == 16) {
                unsigned w = row[2 * px] | row[2 * px + 1] << 8;
                o[0] = (BYTE)((w >> 10 & 31) * 8), o[1] = (BYTE)((w >> 5 & 31) * 8), o[2] = (BYTE)((w & 31) * 8);
            } else {
                const BYTE* p = row + (size_t)px * (job->bits / 8);
                o[0] = p[2], o[1] = p[1], o[2] = p[0];
            }
        }
        break;
    case FORM_RGBA:
        for (int32_t x = 0; x < n; x++) {
            const BYTE* p = row + (size_t)(x0 + x) * 4;
            BYTE* o = out + 4 * x;
            o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = p[3];
        }
        break;
    }
}

static bool is_bilevel_compression(int compression)
{
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_JBIG;
}

// The depth fields of the table by image and compression; the colour map
// (entries of `map_entries`) is set for palette images.
static void set_depth_fields(TIFF* tif, WriteJob* job, int compression, bool* needs_map, int* map_entries)
{
    bool grey = job->bits <= 8 && is_grey_table(job->table, job->colors);
    *needs_map = false;
    uint16_t photometric = PHOTOMETRIC_RGB, spp = 3, bps = 8;
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TAG_JPEGQUALITY, 85);
        if (grey) {
            photometric = PHOTOMETRIC_MINISBLACK, spp = 1, job->form = FORM_GREY8;
        } else {
            photometric = PHOTOMETRIC_YCBCR, job->form = FORM_RGB;
        }
    } else if (job->bits == 1 && grey && job->colors >= 2 &&
               ((is_black(job->table[0]) && is_white(job->table[1])) ||
                (is_white(job->table[0]) && is_black(job->table[1])))) {
        photometric = is_black(job->table[0]) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE;
        spp = 1, bps = 1, job->form = FORM_COPY;
    } else if (job->bits == 1) {
        photometric = PHOTOMETRIC_PALETTE, spp = 1, bps = 4, job->form = FORM_INDEX4;
        *needs_map = true, *map_entries = 16;
    } else if (job->bits == 4 && grey && is_grey4_ramp(job->table, job->colors)) {
        photometric = PHOTOMETRIC_MINISBLACK, spp = 1, bps = 4, job->form = FORM_GREY4;
    } else if (job->bits == 4) {
        photometric = PHOTOMETRIC_PALETTE, spp = 1, bps = 4, job->form = FORM_COPY;
        *needs_map = true, *map_entries = 16;
    } else if (job->bits == 8 && grey) {
        photometric = PHOTOMETRIC_MINISBLACK, spp = 1, job->form = FORM_GREY8;
    } else if (job->bits == 8) {
        photometric = PHOTOMETRIC_PALETTE, spp = 1, job->form = FORM_COPY;
        *needs_map = true, *map_entries = 256;
    } else if (job->bits == 32 && has_any_alpha(job)) {
        spp = 4, job->form = FORM_RGBA;
    } else {
        // 16 bits (5-5-5), 24 bits and 32 bits without alpha
        job->form = FORM_RGB;
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
    if (spp == 4) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (compression == COMPRESSION_JPEG) {
        if (photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
        TIFFSetField(tif, TAG_JPEGCOLORMODE, grey ? JPEGCOLORMODE_RAW : JPEGCOLORMODE_RGB);
    }
}

static void set_color_map(TIFF* tif, const WriteJob* job, int entries)
{
    uint16_t red[256] = {0}, green[256] = {0}, blue[256] = {0};
    for (int i = 0; i < entries && (uint32_t)i < job->colors; i++) {
        red[i] = job->table[i].rgbRed;
        green[i] = job->table[i].rgbGreen;
        blue[i] = job->table[i].rgbBlue;
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
}

static uint32_t strip_rows(TIFF* tif, int compression, uint32_t height, bool subsampled)
{
    // Strips of 2x2-subsampled JPEG hold whole 16-row units.
    if (compression == COMPRESSION_JPEG)
        return height < 16 ? (subsampled ? 16 : 8) : height >= 32 ? 32 : 16;
    if (compression == COMPRESSION_JBIG)
        return height;
    uint32_t rows = TIFFDefaultStripSize(tif, (uint32_t)-1);
    if (rows > height)
        rows = TIFFDefaultStripSize(tif, height);
    return rows ? rows : 1;
}

static bool write_strips(TIFF* tif, const WriteJob* job, int compression)
{
    uint32_t width = (uint32_t)job->bih->biWidth, height = (uint32_t)job->bih->biHeight;
    uint32_t rows = strip_rows(tif, compression, height, job->form == FORM_RGB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
    tmsize_t strip_size = TIFFStripSize(tif);
    tmsize_t row_size = TIFFScanlineSize(tif);
    if (strip_size <= 0 || row_size <= 0)
        return false;
    BYTE* buffer = (BYTE*)calloc(1, (size_t)strip_size);
    if (!buffer)
        return false;
    uint32_t strips = (height + rows - 1) / rows;
    bool ok = true;
    for (uint32_t s = 0; s < strips && ok; s++) {
        uint32_t r = 0;
        memset(buffer, 0, (size_t)strip_size);
        for (; r < rows && s * rows + r < height; r++) {
            convert_row(job, (int32_t)(s * rows + r), 0, (int32_t)width, buffer + (size_t)r * row_size);
            show_progress((double)(s * rows + r) / ((double)strips * rows), 1);
        }
        ok = TIFFWriteEncodedStrip(tif, s, buffer, (tmsize_t)r * row_size) >= 0;
    }
    free(buffer);
    return ok;
}

// A tile side for an image side: multiples of 16, not far past the image.
static uint32_t fit_tile_side(uint32_t side, uint32_t image_side)
{
    while (side > image_side && side > 16)
        side -= 16;
    if (side < 16)
        side = 16;
    if (image_side % 16 && side < 256)
        side += 16;
    return side;
}

// JPEG blocks that reach past the image repeat its last column and row:
// black padding would bleed dark fringes into the edge pixels.
static void pad_edge_tile(const WriteJob* job, BYTE* buffer, tmsize_t row_size, uint32_t columns,
                          uint32_t tile_width, uint32_t tile_length, uint32_t rows)
{
    size_t pixel = job->form == FORM_RGB ? 3 : 1;
    for (uint32_t r = 0; r < rows; r++) {
        BYTE* row = buffer + (size_t)r * row_size;
        for (uint32_t x = columns; x < tile_width; x++)
            memcpy(row + x * pixel, row + (columns - 1) * pixel, pixel);
    }
    for (uint32_t r = rows; r < tile_length; r++)
        memcpy(buffer + (size_t)r * row_size, buffer + (size_t)(rows - 1) * row_size, (size_t)row_size);
}

static bool write_tiles(TIFF* tif, const WriteJob* job, int compression)
{
    uint32_t width = (uint32_t)job->bih->biWidth, height = (uint32_t)job->bih->biHeight;
    uint32_t tile_width = 256, tile_length = 256;
    if (compression != COMPRESSION_JPEG) {
        tile_width = tile_length = (uint32_t)-1;
        TIFFDefaultTileSize(tif, &tile_width, &tile_length);
    }
    tile_width = fit_tile_side(tile_width, width);
    tile_length = fit_tile_side(tile_length, height);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, tile_length);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile_width);
    TIFFSetField(tif, TIFFTAG_TILEDEPTH, 1);
    tmsize_t tile_size = TIFFTileSize(tif);
    tmsize_t row_size = TIFFTileRowSize(tif);
    if (tile_size <= 0 || row_size <= 0)
        return false;
    BYTE* buffer = (BYTE*)calloc(1, (size_t)tile_size);
    if (!buffer)
        return false;
    uint32_t across = (width + tile_width - 1) / tile_width, down = (height + tile_length - 1) / tile_length;
    double total = (double)across * down * tile_length;
    bool ok = true;
    for (uint32_t tr = 0; tr < down && ok; tr++) {
        for (uint32_t tc = 0; tc < across && ok; tc++) {
            uint32_t tile = tr * across + tc;
            uint32_t x0 = tc * tile_width;
            uint32_t n = width - x0 < tile_width ? width - x0 : tile_width;
            for (uint32_t r = 0; r < tile_length && tr * tile_length + r < height; r++) {
                convert_row(job, (int32_t)(tr * tile_length + r), (int32_t)x0, (int32_t)n,
                            buffer + (size_t)r * row_size);
                if ((tile * tile_length + r) % 8 == 0)
                    show_progress((tile * tile_length + r) / total, 1);
            }
            if (compression == COMPRESSION_JPEG)
                pad_edge_tile(job, buffer, row_size, n, tile_width, tile_length,
                              height - tr * tile_length < tile_length ? height - tr * tile_length : tile_length);
            ok = TIFFWriteEncodedTile(tif, tile, buffer, tile_size) >= 0;
            memset(buffer, 0, (size_t)tile_size);
        }
    }
    free(buffer);
    return ok;
}

// One bit of black and white, either way round.
static bool is_black_and_white(const WriteJob* job)
{
    return job->bits == 1 && job->colors >= 2 && is_grey_table(job->table, job->colors) &&
           ((is_black(job->table[0]) && is_white(job->table[1])) ||
            (is_white(job->table[0]) && is_black(job->table[1])));
}

const char* tiff_write_refusal(HGLOBAL hDib, int compression, int tiled)
{
    // The library's JBIG codec writes strips only.
    if (compression == COMPRESSION_JBIG && tiled)
        return "JBIG Compression Cannot be Written in Tiles.";
    if (!is_bilevel_compression(compression) || !hDib || !is_valid_packed_dib(hDib))
        return NULL;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    WriteJob job = {bih, NULL, 0, bih->biBitCount, FORM_COPY, dib_color_table(bih), dib_color_count(bih)};
    bool bilevel = is_black_and_white(&job);
    GlobalUnlock(hDib);
    // The fax and JBIG codecs take one bit of black and white only.
    return bilevel ? NULL : "This Compression is for Monochrome Images Only.";
}

int write_tiff_file(const char* path, int compression, int tiled, HGLOBAL hDib)
{
    if (!hDib || !is_valid_packed_dib(hDib) || tiff_write_refusal(hDib, compression, tiled))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    WriteJob job = {bih, dib_pixels(bih), dib_row_stride(bih->biWidth, bih->biBitCount), bih->biBitCount,
                    FORM_COPY, dib_color_table(bih), dib_color_count(bih)};
    if (bih->biHeight <= 0) {
        GlobalUnlock(hDib);
        return 0;
    }
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    SafeWrite sw;
    TIFF* tif = NULL;
    if (safe_write_open(&sw, path)) {
        // libtiff opens the temporary file by its name
        fclose(sw.fp);
        sw.fp = NULL;
        tif = TIFFOpen(sw.temp_path, "w");
    }
    int ok = 0;
    if (!tif) {
        TIFFError(path, "Can not open output image");
    } else {
        uint32_t width = (uint32_t)bih->biWidth, height = (uint32_t)bih->biHeight;
        double resolution = (double)(int)((width > height ? width : height) / 4.0 + 0.5);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, resolution);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, resolution);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tif, TIFFTAG_SOFTWARE, "Corvane Graphics");
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        bool needs_map = false;
        int map_entries = 0;
        set_depth_fields(tif, &job, compression, &needs_map, &map_entries);
        bool deep = job.form == FORM_RGB || job.form == FORM_RGBA;
        if (deep && (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
                     compression == COMPRESSION_DEFLATE))
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        if (needs_map)
            set_color_map(tif, &job, map_entries);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        ok = tiled ? write_tiles(tif, &job, compression) : write_strips(tif, &job, compression);
        ok = ok && TIFFFlush(tif);
        TIFFClose(tif);
    }
    show_progress(0, 1);
    if (ok) {
        ok = safe_write_commit_closed(&sw);
    } else {
        safe_write_abort(&sw);
    }
    GlobalUnlock(hDib);
    SetCursor(old_cursor);
    return ok;
}
