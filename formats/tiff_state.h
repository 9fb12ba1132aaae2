// The state of one TIFF read, shared by the reader (tiff_read.cpp), which
// fills it from the page's fields, and the sample conversions
// (tiff_samples.cpp) and row conversions (tiff_rows.cpp) it drives. It means
// something only during one call of read_tiff_file.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <lcms2.h>
#include <tiffio.h>

extern TIFF* g_tiff;
extern int g_tiffWidth;
extern int g_tiffHeight;
extern int g_tiffPhotometric;  // 9 is stored as 8; grey with 3 samples as 2
extern int g_tiffCompression;
extern int g_tiffPlanar;
extern int g_tiffBitsPerSample;
extern int g_tiffSamplesPerPixel;
extern int g_tiffFillOrder;
extern int g_tiffYCbCrSubH;
extern int g_tiffYCbCrSubV;
extern int g_tiffYCbCrPositioning;
extern int g_tiffSampleFormat;
extern int g_tiffTileWidth;
extern int g_tiffTileLength;
extern int g_tiffRowsPerStrip;
extern int g_tiffStripCount;    // strips of one plane
extern int g_tiffStripSize;
extern int g_tiffPredictor;
extern int g_tiffJpegToRgb;     // the JPEG codec delivers RGB for YCbCr
extern int g_tiffPalette16;
extern BYTE* g_tiffPalette;     // working palette, blue, green, red, 0
extern uint32_t g_tiffPaletteSize;  // entries of the working palette
extern uint16_t* g_tiffColorMapRed;
extern uint16_t* g_tiffColorMapGreen;
extern uint16_t* g_tiffColorMapBlue;
extern double g_tiffFloatMin;
extern double g_tiffFloatMax;
extern void* g_tiffIccProfile;
extern int g_tiffOrientationState;
extern HGLOBAL g_hTiffStripBuf;
extern HGLOBAL g_hTiffTileBuf;
extern HGLOBAL g_hTiffRowBuf;

// Opens a TIFF file for reading (tiff_open.cpp): no read goes past the
// file's end, nothing is mapped. Null when it cannot be opened.
TIFF* open_tiff_for_reading(const char* path);

// Every strip or tile of a read is decoded through these: TIFFReadEncodedStrip
// or TIFFReadEncodedTile, or -1 without decoding when the unit's coded data
// runs past the file's end or its coded header is one its codec cannot
// take safely.
tmsize_t decode_tiff_strip(TIFF* tif, uint32_t strip, void* buffer, tmsize_t bytes);
tmsize_t decode_tiff_tile(TIFF* tif, uint32_t tile, void* buffer, tmsize_t bytes);

// Float samples (SampleFormat 3) to bytes, by a range measured first.
float half_to_float(uint16_t value);
float float24_to_float(uint32_t value);
void read_tiff_float_image(double* min_value, double* max_value, const char* info);
void convert_float_samples(const BYTE* strip, const BYTE* tile, BYTE* dest, int dest_sample, int row,
                           int plane_row_bytes, int tile_x);

// Subsampled YCbCr to one Y, Cb, Cr triple (or one chroma sample) per
// pixel. The block behind *phBuffer is replaced on success; it must not be
// locked. Return 1, or 0 with the block unchanged.
int expand_ycbcr_data_units(HGLOBAL* phBuffer, int strip, int width, int rows, int tiled);
int copy_ycbcr_samples(HGLOBAL* phBuffer, int strip, int width, int rows, int tiled);
void unpack_ycbcr_unit(uint32_t* unit, const BYTE* bytes);
void pack_ycbcr_triple(uint32_t y, uint32_t cb, uint32_t cr, BYTE* out, int phase);
void pack_ycbcr_sample(uint32_t sample, BYTE* out, int phase);

// One decoded row of a strip or tile into one row of the image. The
// decoded buffer holds at least the rows the reader asks for.
void read_tiff_strips(int row, int bit_count, const BYTE* strip, BYTE* dest, BYTE* staging,
                      cmsHTRANSFORM transform, int plane, int use_embedded);
void read_tiff_tiles(int row, int tile_x, int bit_count, const BYTE* tile, BYTE* dest, BYTE* staging,
                     cmsHTRANSFORM transform, int plane, int use_embedded);
// For a contiguous 8-bit layout whose image row holds the decoded row's
// bytes: the conversion that turns a row decoded straight into the image
// into the image's pixels in place (or leaves it as it is); null for any
// other layout.
typedef void (*TiffRowInPlace)(BYTE* row, int count);
TiffRowInPlace tiff_in_place_row(int bit_count, int use_embedded);
void unpack_tiff_row(const BYTE* src, BYTE* dest, int bits, int form, int count, const int* channel);
int tiff_needs_byte_swap(TIFF* tif);

// Strips or tiles decoded in row bands on the machine's cores, each band
// through a handle of its own on the same page (tiff_bands.cpp); for pages
// whose rows need nothing shared: contiguous samples, no colour transform,
// no YCbCr expansion, no float range.
struct TiffBandPlan {
    const char* path;
    int directory;
    BYTE* pixels;            // bottom row of the locked image
    uint32_t stride;
    int bit_count;
    int use_embedded;
    bool tiled;
    bool show;               // the calling thread shows the progress
    int units;               // strips, or rows of tiles
    uint64_t buffer_bytes;   // one strip or tile buffer
    uint64_t tile_bytes;     // what one tile decodes to
    uint64_t row_bytes;      // one decoded row
    uint64_t staging_bytes;
    TiffRowInPlace direct;   // one-row strips decoded straight into the image, or null
    volatile LONG rows_done; // across the bands, for the progress
};
extern int g_tiffBandLimit;  // 0: a band a core; n: at most n bands (1: the calling thread alone)
int tiff_band_count(const TiffBandPlan* plan);
// False when no strip or tile decoded (those that fail keep their rows
// zero), or a buffer was refused (*out_of_memory).
bool decode_tiff_in_bands(TiffBandPlan* plan, int count, bool* out_of_memory);
