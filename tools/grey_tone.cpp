// Grey, tint and tone conversions (see grey_tone.h). A tone is a ramp T(g)
// of 256 colours, one per grey level: five add fixed offsets to the grey,
// three come from hue and saturation with a floor that keeps the darkest
// level above black.
#include "tools/grey_tone.h"

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/seams.h"
#include "tools/edit_history.h"

#include <math.h>
#include <string.h>

static const char NOT_A_BITMAP[] = "Unable to Manipulate File: \n\nCurrent File is Not a Bitmap";
static const char NO_MEMORY[] = "Insufficient Memory for this Operation.";

struct ToneOffsets {
    int code;
    int red, green, blue;
};

static const ToneOffsets OFFSET_TONES[] = {
    {CONV_TONE_CYANOTYPE, 0, 11, 40},
    {CONV_TONE_PALLADIUM, 20, 9, 0},
    {CONV_TONE_PLATINUM, 12, 12, 0},
    {CONV_TONE_SELENIUM, 16, 0, 0},
    {CONV_TONE_SILVER, 0, 9, 8},
};

struct ToneHsl {
    int code;
    double hue, saturation;
    int floor;
};

static const ToneHsl HSL_TONES[] = {
    {CONV_TONE_MAROON, 345.0, 0.275, 28},
    {CONV_TONE_SEPIA1, 25.0, 0.3, 26},
    {CONV_TONE_SEPIA2, 25.0, 0.2, 26},
};

static const ToneOffsets* offset_tone(int code)
{
    for (const ToneOffsets& t : OFFSET_TONES)
        if (t.code == code)
            return &t;
    return NULL;
}

static const ToneHsl* hsl_tone(int code)
{
    for (const ToneHsl& t : HSL_TONES)
        if (t.code == code)
            return &t;
    return NULL;
}

static BYTE add_capped(int value, int offset)
{
    return (BYTE)(value + offset > 255 ? 255 : value + offset);
}

static RGBQUAD hsl_entry(const ToneHsl* t, int g)
{
    double lightness = ((double)g * (255 - t->floor) / 255.0 + t->floor) / 255.0;
    double r, gr, b;
    hsl_to_rgb(t->hue, lightness, t->saturation, &r, &gr, &b);
    RGBQUAD q;
    q.rgbRed = (BYTE)(int)(255.0 * r);
    q.rgbGreen = (BYTE)(int)(255.0 * gr);
    q.rgbBlue = (BYTE)(int)(255.0 * b);
    q.rgbReserved = 0;
    return q;
}

// T(0..255) of a tone; any other code gives the grey ramp.
static void tone_ramp(int code, RGBQUAD ramp[256])
{
    const ToneOffsets* o = offset_tone(code);
    const ToneHsl* h = hsl_tone(code);
    for (int g = 0; g < 256; ++g) {
        if (h) {
            ramp[g] = hsl_entry(h, g);
        } else {
            ramp[g].rgbRed = add_capped(g, o ? o->red : 0);
            ramp[g].rgbGreen = add_capped(g, o ? o->green : 0);
            ramp[g].rgbBlue = add_capped(g, o ? o->blue : 0);
            ramp[g].rgbReserved = 0;
        }
    }
}

static int same_color(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// First level g with ramp[g] equal to the colour, or -1.
static int ramp_level(const RGBQUAD ramp[256], const RGBQUAD& colour)
{
    for (int g = 0; g < 256; ++g)
        if (same_color(ramp[g], colour))
            return g;
    return -1;
}

static inline BYTE grey_of(int red, int green, int blue)
{
    return (BYTE)((blue * 11 + green * 59 + red * 30) / 100);
}

// The grey version of a locked image as a new block; null on lack of memory.
static HGLOBAL make_grey_image(const BITMAPINFOHEADER* src)
{
    int32_t width = src->biWidth, height = src->biHeight;
    int bits = src->biBitCount;
    uint32_t n = dib_color_count(src);
    if (n) {
        uint32_t stride = dib_row_stride(width, bits);
        SIZE_T size = dib_pixel_offset(src) + (SIZE_T)stride * (SIZE_T)height;
        HGLOBAL hNew = GlobalAlloc(GHND, size);
        BYTE* dst = hNew ? (BYTE*)GlobalLock(hNew) : NULL;
        if (!dst) {
            if (hNew)
                GlobalFree(hNew);
            return NULL;
        }
        memcpy(dst, src, size);
        RGBQUAD* table = dib_color_table((BITMAPINFOHEADER*)dst);
        for (uint32_t i = 0; i < n; ++i) {
            BYTE g = grey_of(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue);
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = g;
            table[i].rgbReserved = 0;
        }
        GlobalUnlock(hNew);
        return hNew;
    }

    uint32_t dst_stride = dib_row_stride(width, 8);
    uint64_t size = DIB_HEADER_SIZE + 1024 + (uint64_t)dst_stride * (uint64_t)height;
    HGLOBAL hNew = size <= MAX_DIB_BYTES ? GlobalAlloc(GHND, (SIZE_T)size) : NULL;
    BITMAPINFOHEADER* dst = hNew ? (BITMAPINFOHEADER*)GlobalLock(hNew) : NULL;
    if (!dst) {
        if (hNew)
            GlobalFree(hNew);
        return NULL;
    }
    memcpy(dst, src, DIB_HEADER_SIZE);
    dst->biBitCount = 8;
    dst->biClrUsed = 0;
    dst->biClrImportant = 0;
    dst->biCompression = BI_RGB;
    dst->biSizeImage = dst_stride * (uint32_t)height;
    RGBQUAD* table = dib_color_table(dst);
    for (int i = 0; i < 256; ++i) {
        table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (BYTE)i;
        table[i].rgbReserved = 0;
    }
    const BYTE* src_bits = dib_pixels((BITMAPINFOHEADER*)src);
    uint32_t src_stride = dib_row_stride(width, bits);
    BYTE* dst_bits = dib_pixels(dst);
    int size_px = bits / 8;
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* p = src_bits + (size_t)y * src_stride;
        BYTE* q = dst_bits + (size_t)y * dst_stride;
        if (bits == 16) {
            for (int32_t x = 0; x < width; ++x, p += 2) {
                UINT w = p[0] | (p[1] << 8);
                q[x] = grey_of(((w >> 10) & 31) * 8, ((w >> 5) & 31) * 8, (w & 31) * 8);
            }
        } else {
            for (int32_t x = 0; x < width; ++x, p += size_px)
                q[x] = grey_of(p[2], p[1], p[0]);
        }
    }
    GlobalUnlock(hNew);
    return hNew;
}

int to_grayscale(HGLOBAL* phDib, HGLOBAL* phUnconverted, UINT image_kind)
{
    if (image_kind != KIND_DIB) {
        seam_message_box(NULL, NOT_A_BITMAP, NULL, MB_ICONHAND);
        return 0;
    }
    if (!phDib || !*phDib || !phUnconverted)
        return 0;
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    // The conversion starts from the full-colour image; the images change
    // hands only once the result is complete.
    HGLOBAL hSource = *phUnconverted ? *phUnconverted : *phDib;
    const BITMAPINFOHEADER* src = is_valid_packed_dib(hSource) ? (const BITMAPINFOHEADER*)GlobalLock(hSource) : NULL;
    if (!src) {
        SetCursor(previous);
        return 0;
    }
    HGLOBAL hResult = make_grey_image(src);
    GlobalUnlock(hSource);
    if (!hResult) {
        SetCursor(previous);
        seam_message_box(NULL, NO_MEMORY, NULL, MB_ICONHAND);
        return 0;
    }
    if (*phUnconverted)
        GlobalFree(*phDib);
    *phUnconverted = hSource;
    *phDib = hResult;
    compact_dib_depth(phDib);
    SetCursor(previous);
    return 1;
}

void tone_palette(HGLOBAL hDib, int tone)
{
    if (!is_valid_packed_dib(hDib))
        return;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return;
    uint32_t n = dib_color_count(bih);
    RGBQUAD* table = dib_color_table(bih);
    const ToneOffsets* o = offset_tone(tone);
    const ToneHsl* h = hsl_tone(tone);
    for (uint32_t i = 0; i < n; ++i) {
        if (o) {
            table[i].rgbRed = add_capped(table[i].rgbRed, o->red);
            table[i].rgbGreen = add_capped(table[i].rgbGreen, o->green);
            table[i].rgbBlue = add_capped(table[i].rgbBlue, o->blue);
        } else if (h) {
            RGBQUAD t = hsl_entry(h, table[i].rgbRed);
            table[i].rgbRed = t.rgbRed;
            table[i].rgbGreen = t.rgbGreen;
            table[i].rgbBlue = t.rgbBlue;
        }
    }
    GlobalUnlock(hDib);
}

// The palette image as 8 bits per pixel, each pixel level[its index], with
// ramp as the new table.
static int make_level_copy(HGLOBAL* phDib, const RGBQUAD ramp[256], int by_tone)
{
    if (!phDib || !is_valid_packed_dib(*phDib))
        return 0;
    BITMAPINFOHEADER* src = (BITMAPINFOHEADER*)GlobalLock(*phDib);
    if (!src)
        return 0;
    int bits = src->biBitCount;
    if (bits > 8) {
        GlobalUnlock(*phDib);
        return 0;
    }
    int32_t width = src->biWidth, height = src->biHeight;
    uint32_t dst_stride = dib_row_stride(width, 8);
    uint64_t size = DIB_HEADER_SIZE + 1024 + (uint64_t)dst_stride * (uint64_t)height;
    HGLOBAL hNew = size <= MAX_DIB_BYTES ? GlobalAlloc(GHND, (SIZE_T)size) : NULL;
    BITMAPINFOHEADER* dst = hNew ? (BITMAPINFOHEADER*)GlobalLock(hNew) : NULL;
    if (!dst) {
        if (hNew)
            GlobalFree(hNew);
        GlobalUnlock(*phDib);
        return 0;
    }
    memcpy(dst, src, DIB_HEADER_SIZE);
    dst->biBitCount = 8;
    dst->biClrUsed = 256;
    dst->biCompression = BI_RGB;
    dst->biSizeImage = dst_stride * (uint32_t)height;
    memcpy(dib_color_table(dst), ramp, 256 * sizeof(RGBQUAD));

    uint32_t n = dib_color_count(src);
    const RGBQUAD* table = dib_color_table(src);
    BYTE level[256];
    for (uint32_t i = 0; i < n; ++i) {
        if (by_tone) {
            // An entry of no level keeps its fourth byte as its level.
            int g = ramp_level(ramp, table[i]);
            level[i] = g >= 0 ? (BYTE)g : table[i].rgbReserved;
        } else {
            level[i] = table[i].rgbRed;
        }
    }
    const BYTE* src_bits = dib_pixels(src);
    uint32_t src_stride = dib_row_stride(width, bits);
    BYTE* dst_bits = dib_pixels(dst);
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* p = src_bits + (size_t)y * src_stride;
        BYTE* q = dst_bits + (size_t)y * dst_stride;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t index = dib_row_index(p, bits, x);
            q[x] = level[index < n ? index : 0];
        }
    }
    GlobalUnlock(hNew);
    GlobalUnlock(*phDib);
    GlobalFree(*phDib);
    *phDib = hNew;
    return 1;
}

int make_grey_copy(HGLOBAL* phDib)
{
    RGBQUAD ramp[256];
    tone_ramp(0, ramp);
    return make_level_copy(phDib, ramp, 0);
}

int make_tinted_copy(HGLOBAL* phDib, int tone)
{
    RGBQUAD ramp[256];
    tone_ramp(tone, ramp);
    return make_level_copy(phDib, ramp, 1);
}

int is_toned_palette(HGLOBAL hDib, int tone)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    int result = 0;
    if (bih->biBitCount == 8 && dib_color_count(bih) == 256) {
        RGBQUAD ramp[256];
        tone_ramp(tone, ramp);
        const RGBQUAD* table = dib_color_table(bih);
        result = 1;
        for (int i = 0; i < 256 && result; ++i)
            result = same_color(table[i], ramp[i]);
    }
    GlobalUnlock(hDib);
    return result;
}

int detect_tone_mode(HGLOBAL hDib)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    uint32_t n = dib_color_count(bih);
    const RGBQUAD* table = dib_color_table(bih);
    int found = 0;
    for (int code = CONV_TONE_CYANOTYPE; n && code <= CONV_TONE_SILVER && !found; ++code) {
        RGBQUAD ramp[256];
        tone_ramp(code, ramp);
        int all = 1;
        for (uint32_t i = 0; i < n && all; ++i)
            all = ramp_level(ramp, table[i]) >= 0;
        if (all)
            found = code;
    }
    GlobalUnlock(hDib);
    return found;
}

void rebuild_base_color_table(HGLOBAL hDib, int amount, RGBQUAD* destination)
{
    if (!destination || !is_valid_packed_dib(hDib))
        return;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return;
    // The inverse of the brightness curve: exponent 2^(amount / 2).
    long double e = powl(2.0L, amount / 2.0L);
    BYTE curve[256];
    for (int i = 0; i < 256; ++i)
        curve[i] = (BYTE)(int)(powl(i / 255.0L, e) * 255.0L + 0.5L);
    uint32_t n = dib_color_count(bih);
    const RGBQUAD* table = dib_color_table(bih);
    for (uint32_t i = 0; i < n; ++i) {
        destination[i].rgbBlue = curve[table[i].rgbBlue];
        destination[i].rgbGreen = curve[table[i].rgbGreen];
        destination[i].rgbRed = curve[table[i].rgbRed];
    }
    GlobalUnlock(hDib);
}
