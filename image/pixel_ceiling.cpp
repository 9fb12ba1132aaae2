// The read's pixel ceiling: one value for the whole process, since the
// program reads one file at a time on one thread; nested reads save and
// restore it.
#include "image/pixel_ceiling.h"

static uint64_t s_ceilingPixels;
// What the read around the one under way had left when it began; 0 when
// the read under way is the outermost.
static uint64_t s_outerPixels;
static uint64_t s_heldCredit;  // bytes (credit_held_pixels)

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
    PixelCeiling previous = {s_ceilingPixels, s_outerPixels};
    s_outerPixels = s_ceilingPixels;
    uint64_t pixels = ceiling_of(file_bytes, pixels_per_byte);
    if (!s_ceilingPixels || pixels < s_ceilingPixels)
        s_ceilingPixels = pixels;
    return previous;
}

void end_pixel_ceiling(PixelCeiling previous)
{
    s_ceilingPixels = previous.pixels;
    s_outerPixels = previous.outer;
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
    if (s_outerPixels && widened > s_outerPixels)
        widened = s_outerPixels;
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

void credit_held_pixels(uint64_t pixels, uint32_t bytes_per_pixel)
{
    if (!s_ceilingPixels || pixels > s_ceilingPixels)
        return;
    // Saturating, as the ceiling is.
    uint64_t bytes = bytes_per_pixel && pixels > UINT64_MAX / bytes_per_pixel ? UINT64_MAX : pixels * bytes_per_pixel;
    s_heldCredit = bytes > UINT64_MAX - s_heldCredit ? UINT64_MAX : s_heldCredit + bytes;
}

uint64_t take_held_credit(void)
{
    uint64_t credit = s_heldCredit;
    s_heldCredit = 0;
    return credit;
}
