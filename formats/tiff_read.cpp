// The TIFF reader: one page of a TIFF file through libtiff into a PackedDib,
// with its information text, colour profiles (an embedded ICC profile or the
// stored ones, and a formatter for 8-bit CIE L*a*b* with signed a* and b*)
// and orientation. The row conversions live in tiff_rows.cpp, the float and
// YCbCr sample conversions in tiff_samples.cpp.
//
// Everything the file claims is checked before it is trusted: the image
// size against the image limits and against what the file's bytes can
// decode to, the decoded buffers against the rows the conversions read, and
// the header of every JBIG-coded strip before the codec sees it. A strip or
// tile that fails to decode leaves its rows zero; only a page of which
// nothing decodes is a failed read.
#include "formats/tiff_read.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "formats/jbig.h"
#include "formats/tiff_state.h"
#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/page_toucher.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "jpeg/color_profiles.h"
#include "tools/quarter_turns.h"

#include <lcms2_plugin.h>

TIFF* g_tiff;
int g_tiffWidth;
int g_tiffHeight;
int g_tiffPhotometric;
int g_tiffCompression;
int g_tiffPlanar;
int g_tiffBitsPerSample;
int g_tiffSamplesPerPixel;
int g_tiffFillOrder;
int g_tiffYCbCrSubH;
int g_tiffYCbCrSubV;
int g_tiffYCbCrPositioning;
int g_tiffSampleFormat;
int g_tiffTileWidth;
int g_tiffTileLength;
int g_tiffRowsPerStrip;
int g_tiffStripCount;
int g_tiffStripSize;
int g_tiffPredictor;
int g_tiffJpegToRgb;
int g_tiffPalette16;
BYTE* g_tiffPalette;
uint32_t g_tiffPaletteSize;
uint16_t* g_tiffColorMapRed;
uint16_t* g_tiffColorMapGreen;
uint16_t* g_tiffColorMapBlue;
double g_tiffFloatMin;
double g_tiffFloatMax;
void* g_tiffIccProfile;
int g_tiffOrientationState;
HGLOBAL g_hTiffStripBuf;
HGLOBAL g_hTiffTileBuf;
HGLOBAL g_hTiffRowBuf;

static int g_labPluginRegistered;
static bool s_ijgJpegCodec;  // the page was opened with the IJG JPEG codec
static uint64_t s_fileBytes;  // length of the file being read

enum {
    MAX_TIFF_PAGES = 65535,
    TAG_JPEGCOLORMODE = 65538,
    TAG_PIXARLOGDATAFMT = 65549,
    TAG_SGILOGDATAFMT = 65560,
};

// ---- the 8-bit signed Lab formatter ----

static cmsUInt16Number expand_8_to_16(cmsUInt32Number v)
{
    cmsUInt32Number r = ((v << 8) | v) >> 8;
    return (cmsUInt16Number)(r > 65535 ? 65535 : r);
}

static int reduce_16_to_8(int v)
{
    return ((v << 8) + 128) / 257;
}

// a* and b* are stored as signed bytes; Little CMS wants them offset by 128.
static cmsUInt8Number* unroll_lab8_signed(struct _cmstransform_struct* transform, cmsUInt16Number words[],
                                          cmsUInt8Number* input, cmsUInt32Number stride)
{
    words[0] = expand_8_to_16((cmsUInt32Number)input[0] << 8);
    for (int i = 1; i < 3; i++) {
        int byte = input[i];
        int shifted = byte > 127 ? byte - 128 : byte + 128;
        words[i] = expand_8_to_16((cmsUInt32Number)shifted << 8);
    }
    return input + 3;
}

static cmsUInt8Number* pack_lab8_signed(struct _cmstransform_struct* transform, cmsUInt16Number words[],
                                        cmsUInt8Number* output, cmsUInt32Number stride)
{
    output[0] = (cmsUInt8Number)(reduce_16_to_8(words[0] + 128) >> 8);
    for (int i = 1; i < 3; i++) {
        int v = (reduce_16_to_8(words[i]) + 128) >> 8;
        output[i] = (cmsUInt8Number)(v < 128 ? v + 128 : v - 128);
    }
    return output + 3;
}

static cmsFormatter lab8_signed_formatter_factory(cmsUInt32Number type, cmsFormatterDirection direction,
                                                  cmsUInt32Number flags)
{
    cmsFormatter result;
    result.Fmt16 = NULL;
    if (type == TYPE_LabV2_8 && !(flags & CMS_PACK_FLAGS_FLOAT))
        result.Fmt16 = direction == cmsFormatterInput ? unroll_lab8_signed : pack_lab8_signed;
    return result;
}

static cmsPluginFormatters LabSignedFormatterPlugin = {
    {cmsPluginMagicNumber, 2000, cmsPluginFormattersSig, NULL}, lab8_signed_formatter_factory};

// ---- small services ----

static void append_text(char* info, const char* text)
{
    if (!info)
        return;
    size_t used = strlen(info);
    if (used + 1 < INFO_TEXT_SIZE)
        lstrcpynA(info + used, text, (int)(INFO_TEXT_SIZE - used));
}

static void append_number(char* info, const char* format, long a, long b = 0)
{
    char text[128];
    snprintf(text, sizeof text, format, a, b);
    append_text(info, text);
}

static int colormap_bits(int n, const uint16_t* red, const uint16_t* green, const uint16_t* blue)
{
    for (int i = 0; i < n; i++)
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256)
            return 16;
    return 8;
}

static cmsHPROFILE read_embedded_icc_profile(void)
{
    uint32_t count = 0;
    void* data = NULL;
    if (!TIFFGetField(g_tiff, TIFFTAG_ICCPROFILE, &count, &data) || !data || !count)
        return NULL;
    g_tiffIccProfile = data;
    return cmsOpenProfileFromMem(data, count);
}

static const char* photometric_name(int photometric)
{
    switch (photometric) {
    case 0: return "min value is white";
    case 1: return "min value is black";
    case 2: return "RGB color model";
    case 3: return "color map indexed";
    case 4: return "holdout mask";
    case 5: return "CMYK";
    case 6: return "Y Cb Cr";
    case 8: return "1976 CIE L*a*b*";
    case 10: return "ITU L*a*b*";
    case 32844: return "LogL Encoding";
    case 32845: return "LogLuv Encoding";
    default: return "";
    }
}

static const char* compression_name(int compression)
{
    switch (compression) {
    case 1: return "none";
    case 2: return "CCITT modified Huffman RLE";
    case 3: return "CCITT Group 3 fax encoding";
    case 4: return "CCITT Group 4 fax encoding";
    case 5: return "Lempel-Ziv  & Welch";
    case 6:
    case 7: return "JPEG";
    case 8:
    case 32946: return "Deflate compression";
    case 32766: return "NeXT 2-bit RLE";
    case 32771: return "CCITT Group 1 w/ word alignment";
    case 32773: return "Macintosh RLE (Packbits)";
    case 32809: return "ThunderScan RLE";
    case 32895: return "IT8 CT w/padding";
    case 32896: return "IT8 Linework RLE";
    case 32897: return "IT8 Monochrome picture";
    case 32898: return "IT8 Binary line art";
    case 32908: return "Pixar companded 10bit LZW";
    case 32909: return "Pixar companded 11bit ZIP";
    case 32947: return "Kodak DCS encoding";
    case 34661: return "ISO JBIG";
    case 34676: return "SGI Log Luminance RLE";
    case 34677: return "SGI Log 24-bit packed";
    case 34712: return "Leadtools JPEG2000";
    case 34925: return "LZMA2";
    default: return "";
    }
}

static bool is_accepted_compression(int c)
{
    static const int ACCEPTED[] = {1, 2, 3, 4, 5, 6, 7, 8, 32766, 32771, 32773, 32809, 32909, 32946,
                                   34661, 34676, 34677, 34925};
    for (int a : ACCEPTED)
        if (a == c)
            return true;
    return false;
}

// Most decoded bytes one coded byte can give, by compression (uncompressed
// data 8, so that a cut file still shows what it holds, as BMP does;
// deflate's 1032:1; LZW's longest string, 3838 bytes, from one 12-bit code;
// PackBits runs of 128 from 2 bytes; a JPEG block of 64 samples from 2
// bits; the arithmetic coder of JBIG 2^15 pixels per bit; LZMA2 in xz
// streams, as libtiff writes them, 6852:1 on 256 MB of zeros at any preset,
// with room for a cleverer encoder). The fax codes are bounded by rows
// instead: a row can take a single bit.
struct CodecRatio {
    int compression;
    uint32_t ratio;
};
static const CodecRatio MAX_DECODE_RATIOS[] = {
    {COMPRESSION_NONE, 8},       {COMPRESSION_LZW, 2560},      {COMPRESSION_ADOBE_DEFLATE, 1032},
    {COMPRESSION_DEFLATE, 1032}, {COMPRESSION_PIXARLOG, 1032}, {COMPRESSION_PACKBITS, 64},
    {COMPRESSION_OJPEG, 1024},   {COMPRESSION_JPEG, 1024},     {COMPRESSION_NEXT, 256},
    {COMPRESSION_THUNDERSCAN, 256}, {COMPRESSION_SGILOG, 256}, {COMPRESSION_SGILOG24, 256},
    {COMPRESSION_JBIG, 32768},   {COMPRESSION_LZMA, 8192},
};

// The most bytes the file's coded_bytes can decode to, in rows of row_bytes.
static uint64_t max_decoded_bytes(uint64_t coded_bytes, uint64_t row_bytes)
{
    int c = g_tiffCompression;
    if (c == COMPRESSION_CCITTRLE || c == COMPRESSION_CCITTFAX3 || c == COMPRESSION_CCITTFAX4 ||
        c == COMPRESSION_CCITTRLEW)
        return (coded_bytes * 8 + 1) * row_bytes;
    for (const CodecRatio& r : MAX_DECODE_RATIOS)
        if (r.compression == c)
            return coded_bytes * r.ratio + row_bytes;
    return coded_bytes + row_bytes;
}

// Narrows the read's pixel ceiling to the compression's ratio in pixels of
// the stored depth, so the picture's working copies meet the same bound.
// Fax rows take a bit at the least, whatever their width.
static void narrow_to_compression(void)
{
    int c = g_tiffCompression;
    if (c == COMPRESSION_CCITTRLE || c == COMPRESSION_CCITTFAX3 || c == COMPRESSION_CCITTFAX4 ||
        c == COMPRESSION_CCITTRLEW) {
        narrow_pixel_ceiling(s_fileBytes, 8 * (uint64_t)(g_tiffWidth > 0 ? g_tiffWidth : 1));
        return;
    }
    int per_pixel = g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1 ? 1 : g_tiffSamplesPerPixel;
    uint64_t pixel_bits = (uint64_t)(per_pixel > 0 ? per_pixel : 1) * (g_tiffBitsPerSample > 0 ? g_tiffBitsPerSample : 1);
    for (const CodecRatio& r : MAX_DECODE_RATIOS)
        if (r.compression == c)
            narrow_pixel_ceiling(s_fileBytes, ((uint64_t)r.ratio * 8 + pixel_bits - 1) / pixel_bits);
}

// 0 when the page's layout is refused.
static int output_bit_count(int photometric, int spp, int bps)
{
    switch (photometric) {
    case 0:
    case 1:
        if (spp > 3)
            return 0;
        if (spp == 3)
            return 24;
        if (spp == 2)
            return 32;
        return bps == 1 ? 1 : bps <= 4 ? 4 : 8;
    case 2:
    case 6:
    case 8:
    case 10:
        if (spp > 4)
            return 0;
        if (photometric == 2 && spp == 1 && bps == 16)
            return 16;
        // fewer samples than the colour conversions read per pixel
        if (spp < 3)
            return 0;
        return spp == 4 ? 32 : 24;
    case 3:
        if (spp > 2)
            return 0;
        if (spp == 2)
            return 32;
        return bps <= 1 ? 1 : bps <= 4 ? 4 : bps <= 8 ? 8 : 24;
    case 5:
        return spp > 5 || spp < 4 ? 0 : 32;
    case 32844:
    case 32845:
        return spp > 3 ? 0 : spp == 1 ? 8 : 24;
    default:
        return 0;
    }
}

namespace {

// What one read holds, released in one place.
struct ReadState {
    const char* path;
    cmsHPROFILE input;
    cmsHPROFILE output;
    cmsHPROFILE embedded;
    cmsHTRANSFORM transform;
    HGLOBAL hImage;
    BYTE* pixels;  // first row of the locked image (bottom row)
    uint32_t stride;
    int bit_count;
    int use_embedded;
    bool show;     // progress and preview fitting
    bool made_comment;  // g_hComment holds this page's description
};

}  // namespace

static void release_profiles(ReadState* st)
{
    if (st->input && st->input != st->embedded)
        cmsCloseProfile(st->input);
    if (st->output)
        cmsCloseProfile(st->output);
    st->input = st->output = NULL;
}

static void release_read(ReadState* st)
{
    release_profiles(st);
    if (st->embedded)
        cmsCloseProfile(st->embedded);
    if (st->transform)
        cmsDeleteTransform(st->transform);
    if (g_tiffPalette) {
        free(g_tiffPalette);
        g_tiffPalette = NULL;
    }
    g_tiffPaletteSize = 0;
    HGLOBAL* buffers[3] = {&g_hTiffStripBuf, &g_hTiffTileBuf, &g_hTiffRowBuf};
    for (HGLOBAL* ph : buffers) {
        if (*ph)
            GlobalFree(*ph);
        *ph = NULL;
    }
    if (g_tiff)
        TIFFClose(g_tiff);
    g_tiff = NULL;
    st->embedded = NULL;
    st->transform = NULL;
}

static HGLOBAL fail_read(ReadState* st, const char* message)
{
    // Nothing is shown, so the status bars show no comment either.
    if (st->made_comment && g_hComment) {
        GlobalFree(g_hComment);
        g_hComment = NULL;
    }
    if (st->hImage) {
        GlobalUnlock(st->hImage);
        GlobalFree(st->hImage);
        st->hImage = NULL;
    }
    release_read(st);
    if (message)
        seam_message_box(NULL, message, NULL, MB_ICONHAND);
    return NULL;
}

// A page that contradicts itself or that the file cannot fill: refused
// with the read-error message where the page is being shown.
static HGLOBAL refuse_read(ReadState* st)
{
    return fail_read(st, st->show ? "File Read Error" : NULL);
}

// Opens the page's transform from input to output; both profiles are
// closed. A profile pair Little CMS refuses gives none.
static cmsHTRANSFORM make_transform(ReadState* st, cmsUInt32Number in_type, cmsUInt32Number out_type)
{
    cmsHTRANSFORM t = NULL;
    if (st->input && st->output)
        t = cmsCreateTransform(st->input, in_type, st->output, out_type, INTENT_PERCEPTUAL, 0);
    return t;
}

// The photometric case's profiles and library settings. False when a
// stored profile is missing.
static bool set_up_photometric(ReadState* st, HINSTANCE instance)
{
    switch (g_tiffPhotometric) {
    case PHOTOMETRIC_RGB:
        if (st->use_embedded) {
            st->input = st->embedded;
            st->output = open_stored_profile(instance, "SRGB");
            return st->output != NULL;
        }
        return true;
    case PHOTOMETRIC_SEPARATED:
        st->input = st->use_embedded ? st->embedded : open_stored_profile(instance, "CMYK");
        st->output = open_stored_profile(instance, "SRGB");
        return st->input && st->output;
    case PHOTOMETRIC_YCBCR:
        if (g_tiffCompression == COMPRESSION_JPEG && g_tiffPlanar == PLANARCONFIG_CONTIG) {
            TIFFSetField(g_tiff, TAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            g_tiffJpegToRgb = 1;
            // the codec's RGB takes no profile
            st->use_embedded = 0;
            return true;
        }
        TIFFSetField(g_tiff, TAG_JPEGCOLORMODE, JPEGCOLORMODE_RAW);
        g_tiffJpegToRgb = 0;
        st->use_embedded = 0;
        st->input = open_stored_profile(instance, "YCC601");
        st->output = open_stored_profile(instance, "SRGB");
        return st->input && st->output;
    case PHOTOMETRIC_CIELAB:
        if (!g_labPluginRegistered) {
            cmsPlugin(&LabSignedFormatterPlugin);
            g_labPluginRegistered = 1;
        }
        st->input = st->use_embedded ? st->embedded : open_stored_profile(instance, "CIELAB");
        st->output = open_stored_profile(instance, "SRGB");
        return st->input && st->output;
    case PHOTOMETRIC_ITULAB:
        if (g_tiffCompression == COMPRESSION_JPEG)
            TIFFSetField(g_tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        st->use_embedded = 0;
        st->input = open_stored_profile(instance, "ITUFAX");
        st->output = open_stored_profile(instance, "SRGB");
        return st->input && st->output;
    default:
        return true;
    }
}

// The transform of steps "Transforms"; false when the page is refused. An
// embedded profile Little CMS cannot pair falls back to the stored one, or
// for RGB to the direct path.
static bool create_page_transform(ReadState* st, HINSTANCE instance)
{
    int spp = g_tiffSamplesPerPixel, bps = g_tiffBitsPerSample;
    switch (g_tiffPhotometric) {
    case PHOTOMETRIC_RGB:
        if (!st->use_embedded)
            return true;
        if (spp != 3 && spp != 4)
            return false;
        st->transform = spp == 3 ? make_transform(st, TYPE_RGB_8, TYPE_RGB_8) : make_transform(st, TYPE_RGBA_8, TYPE_RGBA_8);
        if (!st->transform)
            st->use_embedded = 0;
        return true;
    case PHOTOMETRIC_YCBCR:
        if (g_tiffJpegToRgb)
            return true;
        if (bps < 8)
            return false;
        st->transform = make_transform(st, TYPE_YCbCr_8, TYPE_RGB_8);
        return st->transform != NULL;
    case PHOTOMETRIC_SEPARATED:
        if (bps < 8)
            return false;
        st->transform = make_transform(st, TYPE_CMYK_8, TYPE_RGBA_8);
        if (!st->transform && st->use_embedded) {
            st->input = open_stored_profile(instance, "CMYK");
            st->use_embedded = 0;
            st->transform = make_transform(st, TYPE_CMYK_8, TYPE_RGBA_8);
        }
        return st->transform != NULL;
    case PHOTOMETRIC_CIELAB:
        if (bps < 8)
            return false;
        st->transform = st->use_embedded ? make_transform(st, TYPE_LabV2_8, TYPE_RGB_8)
                                         : make_transform(st, TYPE_Lab_8, TYPE_RGB_8);
        if (!st->transform && st->use_embedded) {
            st->input = open_stored_profile(instance, "CIELAB");
            st->use_embedded = 0;
            st->transform = make_transform(st, TYPE_Lab_8, TYPE_RGB_8);
        }
        return st->transform != NULL;
    case PHOTOMETRIC_ITULAB:
        if (bps < 8)
            return false;
        st->transform = make_transform(st, TYPE_Lab_8, TYPE_RGB_8);
        return st->transform != NULL;
    default:
        return true;
    }
}

static void describe_and_set_up_codec(char* info)
{
    append_text(info, compression_name(g_tiffCompression));
    append_number(info, "  (%d) ", g_tiffCompression);
    if (g_tiffCompression == COMPRESSION_PIXARLOG)
        TIFFSetField(g_tiff, TAG_PIXARLOGDATAFMT, PIXARLOGDATAFMT_8BIT);
}

// Working palette from the ColorMap: n entries, blue, green, red, 0.
static bool build_palette(ReadState* st, RGBQUAD* table, uint32_t table_entries)
{
    uint16_t *red = NULL, *green = NULL, *blue = NULL;
    if (!TIFFGetField(g_tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        return false;
    int bps = g_tiffBitsPerSample > 16 ? 16 : g_tiffBitsPerSample;
    uint32_t n = 1u << bps;
    g_tiffColorMapRed = red;
    g_tiffColorMapGreen = green;
    g_tiffColorMapBlue = blue;
    g_tiffPalette16 = colormap_bits((int)n, red, green, blue) == 16;
    g_tiffPalette = (BYTE*)calloc(n, 4);
    if (!g_tiffPalette)
        return false;
    g_tiffPaletteSize = n;
    for (uint32_t i = 0; i < n; i++) {
        BYTE* e = g_tiffPalette + 4 * i;
        e[0] = (BYTE)(g_tiffPalette16 ? blue[i] * 255u / 65535u : blue[i]);
        e[1] = (BYTE)(g_tiffPalette16 ? green[i] * 255u / 65535u : green[i]);
        e[2] = (BYTE)(g_tiffPalette16 ? red[i] * 255u / 65535u : red[i]);
    }
    if (st->bit_count <= 8)
        memcpy(table, g_tiffPalette, 4 * (n < table_entries ? n : table_entries));
    return true;
}

// Only min-is-white counts down; every other grey page (min-is-black and
// the one-sample LogL and LogLuv pages) has its levels ascending.
static void write_grey_table(RGBQUAD* table, int bit_count, int photometric)
{
    int entries = bit_count == 1 ? 2 : bit_count == 4 ? 16 : 256;
    int top = entries - 1;
    for (int i = 0; i < entries; i++) {
        int level = photometric == PHOTOMETRIC_MINISWHITE ? top - i : i;
        BYTE g = (BYTE)(level * 255 / top);
        table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = g;
        table[i].rgbReserved = 0;
    }
}

static BYTE* image_row(ReadState* st, int y)
{
    return st->pixels + (size_t)(g_tiffHeight - 1 - y) * st->stride;
}

// Bytes of one decoded row as the row conversions address it.
static uint64_t decoded_row_bytes(int width)
{
    int per_pixel = g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1 ? 1 : g_tiffSamplesPerPixel;
    return ((uint64_t)per_pixel * g_tiffBitsPerSample * width + 7) / 8;
}

static bool is_subsampled(void)
{
    bool ycbcr = (g_tiffPhotometric == PHOTOMETRIC_YCBCR && !g_tiffJpegToRgb) ||
                 g_tiffPhotometric == PHOTOMETRIC_ITULAB;
    return ycbcr && (g_tiffYCbCrSubH > 1 || g_tiffYCbCrSubV >= 2);
}

static HGLOBAL alloc_block(uint64_t bytes)
{
    if (bytes == 0 || bytes > MAX_DIB_BYTES)
        return NULL;
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)bytes);
}

// One-row strips of a layout whose image row holds the decoded row go
// straight into the image rows, converted there in place; null when the
// page has another layout.
static TiffRowInPlace direct_strip_rows(const ReadState* st)
{
    if (g_tiffRowsPerStrip != 1 || is_subsampled() || (g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1))
        return NULL;
    TiffRowInPlace convert = tiff_in_place_row(st->bit_count, st->use_embedded);
    uint64_t row_bytes = decoded_row_bytes(g_tiffWidth);
    if (!convert || row_bytes > st->stride || (uint64_t)TIFFStripSize(g_tiff) != row_bytes)
        return NULL;
    return convert;
}

// Whether the page's strips or tiles may be decoded in bands, each on a
// handle of its own: the rows need nothing but their own strip or tile, and
// a new handle gets the codec the reader's has.
static bool can_decode_in_bands(const ReadState* st)
{
    if ((g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1) || is_subsampled() || st->transform ||
        g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP || s_ijgJpegCodec)
        return false;
    switch (g_tiffCompression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
        return true;
    case COMPRESSION_JPEG:
        return g_tiffBitsPerSample == 8;
    default:
        return false;
    }
}

// Decodes the page in bands when it may and is large enough; false with
// *ok untouched when it is left to the reader's one thread. *ok: some strip
// or tile decoded (those that did not keep their rows zero).
static bool decode_in_bands(ReadState* st, bool tiled, int units, uint64_t buffer_bytes, uint64_t tile_bytes,
                            bool* ok, bool* out_of_memory)
{
    if (!can_decode_in_bands(st))
        return false;
    TiffBandPlan plan = {};
    plan.path = st->path;
    plan.directory = (int)TIFFCurrentDirectory(g_tiff);
    plan.pixels = st->pixels;
    plan.stride = st->stride;
    plan.bit_count = st->bit_count;
    plan.use_embedded = st->use_embedded;
    plan.tiled = tiled;
    plan.show = st->show;
    plan.units = units;
    plan.buffer_bytes = buffer_bytes;
    plan.tile_bytes = tile_bytes;
    plan.row_bytes = decoded_row_bytes(g_tiffWidth);
    plan.staging_bytes = (uint64_t)(g_tiffSamplesPerPixel > 4 ? g_tiffSamplesPerPixel : 4) * g_tiffWidth;
    plan.direct = tiled ? NULL : direct_strip_rows(st);
    int count = tiff_band_count(&plan);
    if (count < 2)
        return false;
    *ok = decode_tiff_in_bands(&plan, count, out_of_memory);
    return true;
}

// The JBIG codec hands a strip's or tile's header to JBIG-KIT, which ends
// the process on a size it cannot allocate: the header is checked first as
// the JBIG reader checks it, and must fit the buffer the unit decodes
// into. The codec reads the stored bytes, bit-reversed unless the FillOrder
// is 2. Every decode of the page goes through here.
static bool jbig_unit_acceptable(TIFF* tif, uint32_t unit, uint64_t buffer_bytes)
{
    enum { BIE_HEADER_BYTES = 20 };
    if (g_tiffCompression != COMPRESSION_JBIG)
        return true;
    BYTE header[BIE_HEADER_BYTES];
    tmsize_t got = TIFFIsTiled(tif) ? TIFFReadRawTile(tif, unit, header, BIE_HEADER_BYTES)
                                    : TIFFReadRawStrip(tif, unit, header, BIE_HEADER_BYTES);
    if (got != BIE_HEADER_BYTES)
        return false;
    if (g_tiffFillOrder != FILLORDER_LSB2MSB)
        TIFFReverseBits(header, BIE_HEADER_BYTES);
    uint64_t coded = TIFFGetStrileByteCount(tif, unit);
    if (coded > s_fileBytes)
        coded = s_fileBytes;
    uint64_t width = (uint32_t)header[4] << 24 | (uint32_t)header[5] << 16 | (uint32_t)header[6] << 8 | header[7];
    uint64_t height = (uint32_t)header[8] << 24 | (uint32_t)header[9] << 16 | (uint32_t)header[10] << 8 | header[11];
    return coded > BIE_HEADER_BYTES && jbig_header_fits(header, coded - BIE_HEADER_BYTES) &&
           (width + 7) / 8 * height <= buffer_bytes;
}

// The library reads a coded strip or tile whole into a buffer of the size
// the directory claims (cut to ten times what the unit decodes to), fills
// what the file did not give with zeros, and then fails the unit: one that
// runs past the file's end is refused before it costs that buffer.
// Uncompressed units go straight into the caller's buffer, and old-style
// JPEG reads its data itself, in small pieces.
static bool unit_within_file(TIFF* tif, uint32_t unit, tmsize_t bytes)
{
    if (g_tiffCompression == COMPRESSION_OJPEG)
        return true;
    tmsize_t unit_size = TIFFIsTiled(tif) ? TIFFTileSize(tif) : TIFFStripSize(tif);
    if (g_tiffCompression == COMPRESSION_NONE && bytes >= unit_size)
        return true;
    uint64_t coded = TIFFGetStrileByteCount(tif, unit);
    if (coded > (1u << 20) && unit_size > 0 && (coded - 4096) / 10 > (uint64_t)unit_size)
        coded = (uint64_t)unit_size * 10 + 4096;
    uint64_t offset = TIFFGetStrileOffset(tif, unit);
    return coded <= s_fileBytes && offset <= s_fileBytes - coded;
}

tmsize_t decode_tiff_strip(TIFF* tif, uint32_t strip, void* buffer, tmsize_t bytes)
{
    if (bytes < 0 || !unit_within_file(tif, strip, bytes) || !jbig_unit_acceptable(tif, strip, (uint64_t)bytes))
        return -1;
    return TIFFReadEncodedStrip(tif, strip, buffer, bytes);
}

tmsize_t decode_tiff_tile(TIFF* tif, uint32_t tile, void* buffer, tmsize_t bytes)
{
    if (bytes < 0 || !unit_within_file(tif, tile, bytes) || !jbig_unit_acceptable(tif, tile, (uint64_t)bytes))
        return -1;
    return TIFFReadEncodedTile(tif, tile, buffer, bytes);
}

// Decodes every strip and converts its rows. A strip that fails to decode
// keeps its rows zero; false when no strip decoded, or a buffer could not
// be made (*out_of_memory).
static bool decode_strips(ReadState* st, bool* out_of_memory)
{
    {
        uint64_t bytes = (uint64_t)g_tiffStripSize, needed = decoded_row_bytes(g_tiffWidth) * g_tiffRowsPerStrip;
        bool ok = false;
        if (decode_in_bands(st, false, g_tiffStripCount, bytes > needed ? bytes : needed, 0, &ok, out_of_memory))
            return ok;
    }
    if (TiffRowInPlace convert = direct_strip_rows(st)) {
        tmsize_t row_bytes = (tmsize_t)decoded_row_bytes(g_tiffWidth);
        int decoded = 0;
        for (int y = 0; y < g_tiffHeight; y++) {
            BYTE* row = image_row(st, y);
            if (decode_tiff_strip(g_tiff, (uint32_t)y, row, row_bytes) >= 0) {
                convert(row, g_tiffWidth);
                decoded++;
            } else {
                // what the codec left there goes
                memset(row, 0, (size_t)row_bytes);
            }
            if (st->show)
                show_progress((double)(y + 1) / g_tiffHeight, 1);
        }
        return decoded > 0;
    }

    int rps = g_tiffRowsPerStrip, spp = g_tiffSamplesPerPixel;
    uint64_t bytes = (uint64_t)g_tiffStripSize;
    if (g_tiffCompression == COMPRESSION_JPEG && g_tiffBitsPerSample == 12)
        bytes = bytes * 3 / 2;
    uint64_t needed = decoded_row_bytes(g_tiffWidth) * rps;
    uint64_t block_bytes = bytes > needed ? bytes : needed;
    g_hTiffStripBuf = alloc_block(block_bytes);
    if (!g_hTiffStripBuf) {
        *out_of_memory = true;
        return false;
    }
    tmsize_t read_size = (tmsize_t)g_tiffStripSize;
    bool planes = g_tiffPlanar == 2 && spp > 1;
    int plane_count = planes ? spp : 1;
    int decoded = 0;
    BYTE* staging = (BYTE*)GlobalLock(g_hTiffRowBuf);
    for (int p = 0; p < plane_count; p++) {
        int done = 0;
        for (int s = 0; s < g_tiffStripCount; s++) {
            int rows = g_tiffHeight - s * rps < rps ? g_tiffHeight - s * rps : rps;
            uint32_t strip = (uint32_t)(p * g_tiffStripCount + s);
            tmsize_t got = decode_tiff_strip(g_tiff, strip, GlobalLock(g_hTiffStripBuf), read_size);
            GlobalUnlock(g_hTiffStripBuf);
            if (got < 0) {
                done += rows;
                continue;
            }
            if (is_subsampled() && (!planes || p > 0)) {
                int ok = planes ? copy_ycbcr_samples(&g_hTiffStripBuf, s, g_tiffWidth, rps, 0)
                                : expand_ycbcr_data_units(&g_hTiffStripBuf, s, g_tiffWidth, rps, 0);
                // the rows read so far are kept
                if (!ok)
                    break;
            }
            decoded++;
            BYTE* buffer = (BYTE*)GlobalLock(g_hTiffStripBuf);
            for (int r = 0; r < rows; r++, done++) {
                read_tiff_strips(r, st->bit_count, buffer, image_row(st, s * rps + r), staging, st->transform, p,
                                 st->use_embedded);
                if (st->show)
                    show_progress((double)(p * g_tiffHeight + done + 1) / ((double)plane_count * g_tiffHeight), 1);
            }
            GlobalUnlock(g_hTiffStripBuf);
            // the expansions sized the block for this strip only
            if (is_subsampled() && (!planes || p > 0)) {
                GlobalFree(g_hTiffStripBuf);
                g_hTiffStripBuf = alloc_block(block_bytes);
                if (!g_hTiffStripBuf) {
                    *out_of_memory = true;
                    GlobalUnlock(g_hTiffRowBuf);
                    return false;
                }
            }
        }
    }
    GlobalUnlock(g_hTiffRowBuf);
    return decoded > 0;
}

// The tile twin of decode_strips.
static bool decode_tiles(ReadState* st, bool* out_of_memory)
{
    int tw = g_tiffTileWidth, tl = g_tiffTileLength, spp = g_tiffSamplesPerPixel;
    uint64_t across = ((uint64_t)g_tiffWidth + tw - 1) / tw, down = ((uint64_t)g_tiffHeight + tl - 1) / tl;
    uint64_t tile_bytes = (uint64_t)TIFFTileSize(g_tiff);
    if (g_tiffCompression == COMPRESSION_JPEG && g_tiffBitsPerSample == 12)
        tile_bytes = tile_bytes * 3 / 2;
    uint64_t needed = decoded_row_bytes(tw) * tl;
    uint64_t bytes = tile_bytes > needed ? tile_bytes : needed;
    bool planes = g_tiffPlanar == 2 && spp > 1;
    int plane_count = planes ? spp : 1;
    bool banded_ok = false;
    if (bytes <= MAX_DIB_BYTES && decode_in_bands(st, true, (int)down, bytes, tile_bytes, &banded_ok, out_of_memory))
        return banded_ok;
    g_hTiffTileBuf = alloc_block(bytes);
    if (!g_hTiffTileBuf) {
        *out_of_memory = true;
        return false;
    }
    BYTE* staging = (BYTE*)GlobalLock(g_hTiffRowBuf);
    double total = (double)plane_count * across * g_tiffHeight;
    uint64_t done = 0, decoded = 0;
    for (int p = 0; p < plane_count; p++) {
        for (uint64_t tr = 0; tr < down; tr++) {
            for (uint64_t tc = 0; tc < across; tc++) {
                uint32_t tile = (uint32_t)(p * across * down + tr * across + tc);
                int y0 = (int)(tr * tl), x0 = (int)(tc * tw);
                int rows = g_tiffHeight - y0 < tl ? g_tiffHeight - y0 : tl;
                BYTE* buffer = (BYTE*)GlobalLock(g_hTiffTileBuf);
                tmsize_t got = decode_tiff_tile(g_tiff, tile, buffer, (tmsize_t)tile_bytes);
                GlobalUnlock(g_hTiffTileBuf);
                if (got < 0) {
                    done += rows;
                    continue;
                }
                bool expanded = false;
                if (is_subsampled() && (!planes || p > 0)) {
                    expanded = true;
                    int ok = planes ? copy_ycbcr_samples(&g_hTiffTileBuf, (int)tile, tw, tl, 1)
                                    : expand_ycbcr_data_units(&g_hTiffTileBuf, 0, tw, tl, 1);
                    // the rest of this tile row is skipped
                    if (!ok) {
                        done += (across - tc) * rows;
                        break;
                    }
                }
                decoded++;
                buffer = (BYTE*)GlobalLock(g_hTiffTileBuf);
                for (int r = 0; r < rows; r++) {
                    read_tiff_tiles(r, x0, st->bit_count, buffer, image_row(st, y0 + r), staging, st->transform, p,
                                    st->use_embedded);
                    done++;
                    if (st->show)
                        show_progress(done / total, 1);
                }
                GlobalUnlock(g_hTiffTileBuf);
                if (expanded) {
                    GlobalFree(g_hTiffTileBuf);
                    g_hTiffTileBuf = alloc_block(bytes);
                    if (!g_hTiffTileBuf) {
                        *out_of_memory = true;
                        GlobalUnlock(g_hTiffRowBuf);
                        return false;
                    }
                }
            }
        }
    }
    GlobalUnlock(g_hTiffRowBuf);
    return decoded > 0;
}

// Moves g_tiff to the page; counts the pages first when the caller does
// not know them yet.
static bool select_page(int* page_index, int* page_count)
{
    if (*page_count <= 1) {
        int count = 1;
        while (count < MAX_TIFF_PAGES && TIFFReadDirectory(g_tiff))
            count++;
        *page_count = count;
        if (count > 1 && !TIFFSetDirectory(g_tiff, 0))
            return false;
    }
    if (*page_index < 1 || *page_index > *page_count)
        *page_index = 1;
    for (int i = 1; i < *page_index; i++)
        if (!TIFFReadDirectory(g_tiff))
            return false;
    return true;
}

// The library's 8-bit JPEG codec on the IJG build with the lossless
// process; its built-in one runs on libjpeg-turbo, which has none.
extern "C" int TIFFInitJPEG_ijg8(TIFF* tif, int scheme);

// True when the frame header of the page's first strip or tile is one of
// the lossless processes (SOF3, SOF7, SOF11, SOF15). 12-bit data has a
// codec of its own that reads them.
static bool has_lossless_jpeg(TIFF* tif)
{
    uint16_t compression = 0, bps = 0;
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression) || compression != COMPRESSION_JPEG ||
        !TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps) || bps != 8)
        return false;
    enum { HEAD_BYTES = 65536 };
    BYTE* head = (BYTE*)malloc(HEAD_BYTES);
    if (!head)
        return false;
    tmsize_t got = TIFFIsTiled(tif) ? TIFFReadRawTile(tif, 0, head, HEAD_BYTES)
                                    : TIFFReadRawStrip(tif, 0, head, HEAD_BYTES);
    bool lossless = false;
    tmsize_t p = 2;
    if (got < 4 || head[0] != 0xFF || head[1] != 0xD8)
        p = got;
    while (p + 4 <= got && head[p] == 0xFF) {
        int marker = head[p + 1];
        if (marker == 0xFF) {  // fill byte
            p++;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            lossless = (marker & 3) == 3;
            break;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        p += 2 + ((tmsize_t)head[p + 2] << 8 | head[p + 3]);
    }
    free(head);
    return lossless;
}

// Opens the file and selects the page; counts the pages first when the
// caller does not know them yet.
static bool open_page(const char* path, int* page_index, int* page_count)
{
    // FillOrder 2 is reversed by the library itself on reading.
    g_tiff = open_tiff_for_reading(path);
    if (!g_tiff)
        return false;
    s_ijgJpegCodec = false;
    if (!select_page(page_index, page_count))
        return false;
    if (!has_lossless_jpeg(g_tiff))
        return true;
    s_ijgJpegCodec = true;
    // The codec is bound when a directory is read: open the file again
    // with the IJG codec registered in the built-in one's place.
    TIFFClose(g_tiff);
    TIFFCodec* codec = TIFFRegisterCODEC(COMPRESSION_JPEG, "JPEG", TIFFInitJPEG_ijg8);
    g_tiff = open_tiff_for_reading(path);
    bool ok = g_tiff && select_page(page_index, page_count);
    if (codec)
        TIFFUnRegisterCODEC(codec);
    return ok;
}

static bool copy_description(const char* text)
{
    size_t length = strlen(text);
    HGLOBAL hText = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1);
    if (!hText)
        return false;
    memcpy(GlobalLock(hText), text, length);
    GlobalUnlock(hText);
    g_hComment = hText;
    return true;
}

static uint32_t get_u32(uint32_t tag, uint32_t preset)
{
    uint32_t v = preset;
    TIFFGetFieldDefaulted(g_tiff, tag, &v);
    return v;
}

static int get_u16(uint32_t tag, int preset)
{
    uint16_t v = (uint16_t)preset;
    if (!TIFFGetFieldDefaulted(g_tiff, tag, &v))
        return preset;
    return v;
}

HGLOBAL read_tiff_file(const char* path, char* info, int* format, int* page_index, int* page_count,
                       HINSTANCE instance)
{
    ReadState st = {};
    st.path = path;
    st.show = info || is_window_open(g_hwndMerge);
    TIFFSetErrorHandler(NULL);
    TIFFSetWarningHandler(NULL);
    g_tiffPalette = NULL;
    g_tiffPaletteSize = 0;
    g_tiffIccProfile = NULL;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    s_fileBytes = 0;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &attributes))
        s_fileBytes = ((uint64_t)attributes.nFileSizeHigh << 32) | attributes.nFileSizeLow;
    // A file the library cannot open is cut short or damaged: "II" or "MM"
    // brought it here.
    if (!open_page(path, page_index, page_count))
        return refuse_read(&st);
    *format = FMT_TIFF;

    g_tiffWidth = (int)get_u32(TIFFTAG_IMAGEWIDTH, 0);
    g_tiffHeight = (int)get_u32(TIFFTAG_IMAGELENGTH, 0);
    int orientation = get_u16(TIFFTAG_ORIENTATION, 1);
    g_imageOrientation = orientation;
    if (st.show) {
        if (orientation >= 5)
            fit_image_rect(g_tiffHeight, g_tiffWidth, 1);
        else
            fit_image_rect(g_tiffWidth, g_tiffHeight, 1);
    }
    if (info) {
        append_number(info, " \nwidth: %ld \nheight: %ld \nphotometric interpretation: \n     ", g_tiffWidth,
                      g_tiffHeight);
        const char* description = NULL;
        if (TIFFGetField(g_tiff, TIFFTAG_IMAGEDESCRIPTION, &description) && description && *description)
            st.made_comment = copy_description(description);
    }
    g_tiffPhotometric = get_u16(TIFFTAG_PHOTOMETRIC, 1);
    g_tiffCompression = get_u16(TIFFTAG_COMPRESSION, 1);
    g_tiffPlanar = get_u16(TIFFTAG_PLANARCONFIG, 1);
    g_tiffJpegToRgb = 0;
    g_tiffBitsPerSample = get_u16(TIFFTAG_BITSPERSAMPLE, 1);
    g_tiffSamplesPerPixel = get_u16(TIFFTAG_SAMPLESPERPIXEL, 1);

    st.embedded = read_embedded_icc_profile();
    if (st.embedded) {
        seam_beep((UINT)-1);
        int p = g_tiffPhotometric;
        st.use_embedded = (p == 2 || p == 5 || p == 6 || p == 8 || p == 10) && g_tiffSamplesPerPixel >= 3 &&
                          g_tiffBitsPerSample == 8;
    }
    bool embedded_found = st.embedded != NULL;

    if (g_tiffPhotometric == PHOTOMETRIC_ICCLAB) {
        append_text(info, "ICC L*a*b* [Adobe TIFF Technote 4]");
        g_tiffPhotometric = PHOTOMETRIC_CIELAB;
    }
    append_text(info, photometric_name(g_tiffPhotometric));
    if (!set_up_photometric(&st, instance))
        return fail_read(&st, NULL);
    append_number(info, "  (%d) ", g_tiffPhotometric);
    if (embedded_found)
        append_text(info, "\nembedded ICC profile data found");
    append_text(info, " \ncompression: \n     ");
    describe_and_set_up_codec(info);

    bool tiled = TIFFIsTiled(g_tiff) != 0;
    bool sgi_log = g_tiffCompression == COMPRESSION_SGILOG || g_tiffCompression == COMPRESSION_SGILOG24;
    if (!sgi_log)
        append_number(info, " \nbits per sample: %d \nsamples per pixel: %d", g_tiffBitsPerSample,
                      g_tiffSamplesPerPixel);

    if (!create_page_transform(&st, instance))
        return fail_read(&st, NULL);
    release_profiles(&st);

    if (sgi_log) {
        int bits = g_tiffSamplesPerPixel == 1 ? 16 : g_tiffCompression == COMPRESSION_SGILOG24 ? 24 : 32;
        append_number(info, " \nbits per pixel: %d", bits);
        append_number(info, " \nsamples per pixel: %d", g_tiffSamplesPerPixel);
        TIFFSetField(g_tiff, TAG_SGILOGDATAFMT, SGILOGDATAFMT_8BIT);
        g_tiffBitsPerSample = get_u16(TIFFTAG_BITSPERSAMPLE, g_tiffBitsPerSample);
    }
    append_number(info, " \norientation: %d", orientation);
    append_number(info, " \nplanar configuration: %d", g_tiffPlanar);
    // Planar configuration means nothing for one sample.
    if (g_tiffSamplesPerPixel <= 1)
        g_tiffPlanar = PLANARCONFIG_CONTIG;
    g_tiffFillOrder = get_u16(TIFFTAG_FILLORDER, 1);
    if (g_tiffFillOrder == FILLORDER_LSB2MSB) {
        seam_beep((UINT)-1);
        append_number(info, " \nfill order: %d (LSB to MSB)", g_tiffFillOrder);
    }

    g_tiffYCbCrSubH = g_tiffYCbCrSubV = 1;
    g_tiffYCbCrPositioning = 1;
    if (g_tiffPhotometric == PHOTOMETRIC_YCBCR || g_tiffPhotometric == PHOTOMETRIC_ITULAB) {
        uint16_t h = 1, v = 1, positioning = 1;
        if (g_tiffCompression == COMPRESSION_OJPEG || g_tiffCompression == COMPRESSION_JPEG)
            TIFFGetFieldDefaulted(g_tiff, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
        else
            TIFFGetField(g_tiff, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
        TIFFGetField(g_tiff, TIFFTAG_YCBCRPOSITIONING, &positioning);
        g_tiffYCbCrSubH = h;
        g_tiffYCbCrSubV = v;
        g_tiffYCbCrPositioning = positioning;
        append_number(info, " \nYCbCr subsampling: %d, %d", h, v);
        if (h > 1 || v > 1)
            append_number(info, " \nYCbCr positioning: %d", positioning);
    } else {
        TIFFSetField(g_tiff, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    }

    int c = g_tiffCompression, p = g_tiffPhotometric, bps = g_tiffBitsPerSample;
    if (!is_accepted_compression(c))
        return fail_read(&st, NULL);
    if (c == COMPRESSION_JPEG && !(p <= 2 || p == 5 || p == 6 || p == 10))
        return fail_read(&st, NULL);
    if (c == COMPRESSION_OJPEG && (!(p <= 2 || p == 6) || bps != 8))
        return fail_read(&st, NULL);
    if (c == COMPRESSION_JPEG && bps != 8 && bps != 12)
        return fail_read(&st, NULL);
    if (!(p <= 3 || p == 5 || p == 6 || p == 8 || p == 10 || p == 32844 || p == 32845))
        return fail_read(&st, NULL);
    // subsampling factors the data-unit conversions know
    if ((g_tiffYCbCrSubH != 1 && g_tiffYCbCrSubH != 2 && g_tiffYCbCrSubH != 4) ||
        (g_tiffYCbCrSubV != 1 && g_tiffYCbCrSubV != 2 && g_tiffYCbCrSubV != 4))
        return fail_read(&st, NULL);

    if (c == COMPRESSION_LZW || c == COMPRESSION_ADOBE_DEFLATE || c == COMPRESSION_DEFLATE) {
        g_tiffPredictor = get_u16(TIFFTAG_PREDICTOR, 1);
        append_number(info, " \ndifferencing predictor: %d", g_tiffPredictor);
    }
    if (tiled) {
        g_tiffTileWidth = (int)get_u32(TIFFTAG_TILEWIDTH, 0);
        g_tiffTileLength = (int)get_u32(TIFFTAG_TILELENGTH, 0);
        append_number(info, " \ntile width: %ld \ntile height: %ld", g_tiffTileWidth, g_tiffTileLength);
        if (g_tiffTileWidth <= 0 || g_tiffTileLength <= 0 || g_tiffTileWidth > (int)MAX_DIB_DIMENSION ||
            g_tiffTileLength > (int)MAX_DIB_DIMENSION)
            return fail_read(&st, NULL);
        // One tile is decoded whole, whatever part of it the image uses.
        uint64_t tile_row_bytes = decoded_row_bytes(g_tiffTileWidth);
        uint64_t tile_bytes = (uint64_t)g_tiffTileLength * tile_row_bytes;
        if (tile_bytes > MAX_DIB_BYTES || tile_bytes > max_decoded_bytes(s_fileBytes, tile_row_bytes))
            return fail_read(&st, "Memory Allocation Error");
    } else {
        g_tiffTileWidth = g_tiffTileLength = 0;
        uint32_t rps = get_u32(TIFFTAG_ROWSPERSTRIP, 0xFFFFFFFFu);
        if (rps == 0 || rps > (uint32_t)g_tiffHeight) {
            rps = (uint32_t)g_tiffHeight;
            TIFFSetField(g_tiff, TIFFTAG_ROWSPERSTRIP, rps);
        }
        g_tiffRowsPerStrip = (int)rps;
        g_tiffStripCount = g_tiffRowsPerStrip ? (g_tiffHeight + g_tiffRowsPerStrip - 1) / g_tiffRowsPerStrip : 0;
        append_number(info, " \nrows per strip: %ld \nnumber of strips: %ld", g_tiffRowsPerStrip, g_tiffStripCount);
        tmsize_t strip_size = TIFFStripSize(g_tiff);
        if (strip_size <= 0 || strip_size >= (tmsize_t)MAX_DIB_BYTES)
            return fail_read(&st, NULL);
        if ((uint64_t)strip_size > max_decoded_bytes(s_fileBytes, decoded_row_bytes(g_tiffWidth)))
            return fail_read(&st, "Memory Allocation Error");
        g_tiffStripSize = (int)strip_size + 1;
    }

    // Layout, refused before anything is allocated for a size the file made up.
    st.bit_count = output_bit_count(g_tiffPhotometric, g_tiffSamplesPerPixel, g_tiffBitsPerSample);
    if (g_tiffPhotometric <= 1 && g_tiffSamplesPerPixel == 3)
        g_tiffPhotometric = PHOTOMETRIC_RGB;
    if (!st.bit_count || g_tiffBitsPerSample < 1 || g_tiffBitsPerSample > 64)
        return fail_read(&st, NULL);
    // Floats exist in 16, 24, 32 and 64 bits only.
    g_tiffSampleFormat = get_u16(TIFFTAG_SAMPLEFORMAT, 1);
    if (g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP && bps != 16 && bps != 24 && bps != 32 && bps != 64)
        return refuse_read(&st);
    // Nothing is allocated for more than the file's bytes can decode to.
    int plane_count = g_tiffPlanar == 2 && g_tiffSamplesPerPixel > 1 ? g_tiffSamplesPerPixel : 1;
    uint64_t rows = (uint64_t)(g_tiffHeight > 0 ? g_tiffHeight : 0) * plane_count;
    uint64_t image_bytes = decoded_row_bytes(g_tiffWidth) * rows;
    if (image_bytes > max_decoded_bytes(s_fileBytes, decoded_row_bytes(g_tiffWidth)))
        return fail_read(&st, "Memory Allocation Error");
    narrow_to_compression();
    uint32_t entries = 0;
    if (st.bit_count == 1)
        entries = 2;
    else if (st.bit_count == 4)
        entries = g_tiffPhotometric == PHOTOMETRIC_PALETTE ? 1u << g_tiffBitsPerSample : 16;
    else if (st.bit_count == 8)
        entries = g_tiffPhotometric == PHOTOMETRIC_PALETTE ? 1u << g_tiffBitsPerSample : 256;
    if (!dib_block_size(g_tiffWidth, g_tiffHeight, st.bit_count, entries)) {
        if (g_tiffWidth <= 0 || g_tiffHeight <= 0)
            return fail_read(&st, NULL);
        return fail_read(&st, "Memory Allocation Error");
    }
    st.hImage = create_packed_dib(g_tiffWidth, g_tiffHeight, st.bit_count, entries);
    if (!st.hImage)
        return fail_read(&st, "Memory Allocation Error");
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(st.hImage);
    st.pixels = dib_pixels(bih);
    st.stride = dib_row_stride(g_tiffWidth, st.bit_count);
    RGBQUAD* table = dib_color_table(bih);
    if (g_tiffPhotometric == PHOTOMETRIC_PALETTE) {
        if (!build_palette(&st, table, entries))
            return fail_read(&st, "Memory Allocation Error");
    } else if (g_tiffSamplesPerPixel <= 1 && st.bit_count <= 8) {
        write_grey_table(table, st.bit_count, g_tiffPhotometric);
    }

    if (g_tiffSampleFormat == SAMPLEFORMAT_IEEEFP) {
        append_text(info, "\nsample format: floating point");
        read_tiff_float_image(&g_tiffFloatMin, &g_tiffFloatMax, info);
    }

    int staging_per_pixel = g_tiffSamplesPerPixel > 4 ? g_tiffSamplesPerPixel : 4;
    g_hTiffRowBuf = alloc_block((uint64_t)staging_per_pixel * g_tiffWidth);
    if (!g_hTiffRowBuf)
        return fail_read(&st, "Memory Allocation Error");
    // Rows are filled from the top one, the last in the block.
    HANDLE toucher = start_page_toucher(st.pixels, (size_t)st.stride * g_tiffHeight, 1);
    bool out_of_memory = false;
    bool ok = tiled ? decode_tiles(&st, &out_of_memory) : decode_strips(&st, &out_of_memory);
    finish_page_toucher(toucher);
    if (out_of_memory)
        return fail_read(&st, "Memory Allocation Error");
    if (!ok)
        return refuse_read(&st);
    if (st.show)
        show_progress(0, 1);

    HGLOBAL hImage = st.hImage;
    GlobalUnlock(hImage);
    st.hImage = NULL;
    release_read(&st);

    static const int ORIENTATION_STATES[9] = {0, 0, 1, 4, 5, 7, 6, 3, 2};
    g_tiffOrientationState = orientation >= 1 && orientation <= 8 ? ORIENTATION_STATES[orientation] : 0;
    apply_orientation_normalize(&hImage, &g_tiffOrientationState);
    return hImage;
}
