// TIFF strips and tiles decoded in row bands on the machine's cores (see
// tiff_state.h). Each band opens the file once more for a handle of its own
// (a handle decodes one strip at a time) and writes only its own image
// rows; the calling thread takes the top band with the reader's handle and
// shows the progress of its rows. A band whose handle cannot be opened, or
// reads a page other than the reader's, is decoded by the calling thread
// afterwards, so the result never depends on the number of bands. As on
// the reader's one thread, a strip or tile that fails to decode leaves its
// rows zero and the rest goes on.
#include "formats/tiff_state.h"

#include <stdlib.h>
#include <string.h>

#include "image/packed_dib.h"
#include "image/progress.h"

int g_tiffBandLimit;

namespace {

enum {
    MAX_BANDS = 8,
    MIN_BAND_PIXELS = 1 << 18,  // smaller pictures are not worth a thread
};

struct Band {
    TiffBandPlan* plan;
    int first, end;    // strips, or rows of tiles
    TIFF* tif;
    bool show;
    bool done;         // false: not decoded here (no handle); left to the caller
    int decoded;       // strips or tiles that decoded
};

}  // namespace

static BYTE* band_image_row(const TiffBandPlan* plan, int y)
{
    return plan->pixels + (size_t)(g_tiffHeight - 1 - y) * plan->stride;
}

// A second handle on the reader's page, with the settings the reader gave
// its own; null when the file no longer holds that page as it was.
static TIFF* open_band_handle(const TiffBandPlan* plan)
{
    TIFF* tif = open_tiff_for_reading(plan->path);
    if (!tif)
        return NULL;
    uint32_t width = 0, height = 0;
    uint16_t bps = 0, spp = 0, compression = 0, planar = 0;
    bool same = TIFFSetDirectory(tif, plan->directory) && TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) &&
                TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) && width == (uint32_t)g_tiffWidth &&
                height == (uint32_t)g_tiffHeight;
    same = same && TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps) && bps == g_tiffBitsPerSample &&
           TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp) && spp == g_tiffSamplesPerPixel &&
           TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression) && compression == g_tiffCompression &&
           TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar) &&
           (planar == g_tiffPlanar || g_tiffSamplesPerPixel <= 1) && (TIFFIsTiled(tif) != 0) == plan->tiled;
    if (same && g_tiffJpegToRgb)
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (same && g_tiffPhotometric != PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    if (same && !plan->tiled) {
        uint32_t rps = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        if (rps != (uint32_t)g_tiffRowsPerStrip)
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, (uint32_t)g_tiffRowsPerStrip);
        same = TIFFStripSize(tif) + 1 == g_tiffStripSize;
    }
    if (same && plan->tiled) {
        uint32_t tw = 0, tl = 0;
        same = TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw) && TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl) &&
               tw == (uint32_t)g_tiffTileWidth && tl == (uint32_t)g_tiffTileLength &&
               (uint64_t)TIFFTileSize(tif) == plan->tile_bytes;
    }
    if (!same) {
        TIFFClose(tif);
        return NULL;
    }
    return tif;
}

// Counts the rows for the progress, which the calling thread shows.
static void rows_decoded(Band* b, int rows)
{
    InterlockedExchangeAdd(&b->plan->rows_done, rows);
    if (b->show)
        show_progress((double)b->plan->rows_done / g_tiffHeight, 1);
}

static void decode_band_strips(Band* b, BYTE* buffer, BYTE* staging)
{
    const TiffBandPlan* plan = b->plan;
    const int rps = g_tiffRowsPerStrip;
    for (int s = b->first; s < b->end; s++) {
        const int rows = g_tiffHeight - s * rps < rps ? g_tiffHeight - s * rps : rps;
        if (plan->direct) {
            BYTE* row = band_image_row(plan, s);
            if (decode_tiff_strip(b->tif, (uint32_t)s, row, (tmsize_t)plan->row_bytes) >= 0) {
                plan->direct(row, g_tiffWidth);
                b->decoded++;
            } else {
                // what the codec left there goes
                memset(row, 0, (size_t)plan->row_bytes);
            }
        } else if (decode_tiff_strip(b->tif, (uint32_t)s, buffer, (tmsize_t)g_tiffStripSize) >= 0) {
            for (int r = 0; r < rows; r++)
                read_tiff_strips(r, plan->bit_count, buffer, band_image_row(plan, s * rps + r), staging, NULL, 0,
                                 plan->use_embedded);
            b->decoded++;
        }
        rows_decoded(b, rows);
    }
}

static void decode_band_tiles(Band* b, BYTE* buffer, BYTE* staging)
{
    const TiffBandPlan* plan = b->plan;
    const int tw = g_tiffTileWidth, tl = g_tiffTileLength;
    const int across = (int)(((int64_t)g_tiffWidth + tw - 1) / tw);
    for (int tr = b->first; tr < b->end; tr++) {
        for (int tc = 0; tc < across; tc++) {
            if (decode_tiff_tile(b->tif, (uint32_t)(tr * across + tc), buffer, (tmsize_t)plan->tile_bytes) < 0)
                continue;
            b->decoded++;
            const int y0 = tr * tl, x0 = tc * tw;
            for (int r = 0; r < tl && y0 + r < g_tiffHeight; r++)
                read_tiff_tiles(r, x0, plan->bit_count, buffer, band_image_row(plan, y0 + r), staging, NULL, 0,
                                plan->use_embedded);
        }
        rows_decoded(b, g_tiffHeight - tr * tl < tl ? g_tiffHeight - tr * tl : tl);
    }
}

// Decodes the band with b->tif; its buffers are its own.
static void decode_band(Band* b)
{
    const TiffBandPlan* plan = b->plan;
    BYTE* buffer = plan->direct ? NULL : (BYTE*)calloc(1, (size_t)plan->buffer_bytes);
    BYTE* staging = (BYTE*)calloc(1, (size_t)plan->staging_bytes);
    if ((!plan->direct && !buffer) || !staging) {
        free(buffer);
        free(staging);
        b->done = false;
        return;
    }
    b->done = true;
    b->decoded = 0;
    if (plan->tiled)
        decode_band_tiles(b, buffer, staging);
    else
        decode_band_strips(b, buffer, staging);
    free(buffer);
    free(staging);
}

static DWORD WINAPI band_thread(void* arg)
{
    Band* b = (Band*)arg;
    b->tif = open_band_handle(b->plan);
    if (b->tif) {
        decode_band(b);
        TIFFClose(b->tif);
        b->tif = NULL;
    }
    return 0;
}

int tiff_band_count(const TiffBandPlan* plan)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    int64_t count = info.dwNumberOfProcessors;
    if (count > MAX_BANDS)
        count = MAX_BANDS;
    if (g_tiffBandLimit > 0 && count > g_tiffBandLimit)
        count = g_tiffBandLimit;
    const int64_t pixels = (int64_t)g_tiffWidth * g_tiffHeight;
    if (count > pixels / MIN_BAND_PIXELS)
        count = pixels / MIN_BAND_PIXELS;
    if (count > plan->units / 2)
        count = plan->units / 2;
    return count < 1 ? 1 : (int)count;
}

bool decode_tiff_in_bands(TiffBandPlan* plan, int count, bool* out_of_memory)
{
    Band bands[MAX_BANDS];
    HANDLE threads[MAX_BANDS];
    if (count > MAX_BANDS)
        count = MAX_BANDS;
    plan->rows_done = 0;
    for (int i = 0; i < count; i++)
        bands[i] = {plan, (int)((int64_t)plan->units * i / count), (int)((int64_t)plan->units * (i + 1) / count),
                    NULL, i == 0 && plan->show, false, 0};
    for (int i = 1; i < count; i++) {
        threads[i] = CreateThread(NULL, 0, band_thread, &bands[i], 0, NULL);
        if (!threads[i])
            bands[i].done = false;
    }
    bands[0].tif = g_tiff;
    decode_band(&bands[0]);
    bands[0].tif = NULL;
    for (int i = 1; i < count; i++) {
        if (threads[i]) {
            WaitForSingleObject(threads[i], INFINITE);
            CloseHandle(threads[i]);
        }
    }
    int decoded = 0;
    for (int i = 0; i < count; i++) {
        if (!bands[i].done) {
            bands[i].tif = g_tiff;
            bands[i].show = false;
            decode_band(&bands[i]);
            bands[i].tif = NULL;
        }
        if (!bands[i].done)
            *out_of_memory = true;
        decoded += bands[i].decoded;
    }
    return decoded > 0;
}
