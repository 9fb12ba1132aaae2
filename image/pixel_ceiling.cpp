// The read's pixel ceiling: one value for the whole process, since the
// program reads one file at a time on one thread; nested reads save and
// restore it.
#include "image/pixel_ceiling.h"

static uint64_t s_ceilingPixels;

static uint64_t ceiling_of(uint64_t bytes, uint64_t pixels_per_byte)
{
    // Saturating: a product past 2^63 is no bound at all.
    uint64_t pixels = pixels_per_byte && bytes > (UINT64_MAX >> 1) / pixels_per_byte
                          ? (UINT64_MAX >> 1)
                          : bytes * pixels_per_byte;
    return pixels < PIXEL_CEILING_FLOOR ? PIXEL_CEILING_FLOOR : pixels;
}

PixelCeiling begin_pixel_ceiling(uint64_t file_bytes, uint64_t pixels_per_byte)
{
    PixelCeiling previous = {s_ceilingPixels};
    uint64_t pixels = ceiling_of(file_bytes, pixels_per_byte);
    if (!s_ceilingPixels || pixels < s_ceilingPixels)
        s_ceilingPixels = pixels;
    return previous;
}

void end_pixel_ceiling(PixelCeiling previous)
{
    s_ceilingPixels = previous.pixels;
}

void narrow_pixel_ceiling(uint64_t coded_bytes, uint64_t pixels_per_byte)
{
    uint64_t narrowed = ceiling_of(coded_bytes, pixels_per_byte);
    if (s_ceilingPixels && narrowed < s_ceilingPixels)
        s_ceilingPixels = narrowed;
}

void widen_pixel_ceiling(uint64_t coded_bytes, uint64_t pixels_per_byte)
{
    uint64_t widened = ceiling_of(coded_bytes, pixels_per_byte);
    if (s_ceilingPixels && widened > s_ceilingPixels)
        s_ceilingPixels = widened;
}

void spend_pixel_ceiling(uint64_t pixels)
{
    if (s_ceilingPixels)
        s_ceilingPixels = pixels < s_ceilingPixels ? s_ceilingPixels - pixels : 1;
}

void narrow_pixel_ceiling_to_raw(uint64_t coded_bytes, uint32_t bits_per_pixel)
{
    if (!bits_per_pixel)
        return;
    // Bits, not bytes: 1-bit data holds 8 pixels a byte. Below 2^60 bytes
    // the product cannot overflow, and no file comes near that.
    uint64_t bytes = coded_bytes < (1ull << 56) ? coded_bytes : (1ull << 56);
    narrow_pixel_ceiling(bytes * 8 * RAW_TRUNCATION_ALLOWANCE / bits_per_pixel, 1);
}

int pixels_fit_ceiling(uint64_t pixels)
{
    return s_ceilingPixels == 0 || pixels <= s_ceilingPixels;
}

uint64_t current_pixel_ceiling(void)
{
    return s_ceilingPixels;
}
