// The one memory ceiling of a read: the most pixels the file's data can
// produce, its length times the largest ratio of its coding (pixels per
// byte, truncation allowance included). A road that reads a file (the
// selected-file loader, the merge and thumbnail loader, the lossless
// transforms, the batch window, an Exif thumbnail) begins a ceiling from
// the reader table's ratio; a reader that learns its coding narrows it;
// every image-sized allocation of the read (the picture, its working
// copies, animation canvases, row and coefficient buffers) is checked
// against it in pixels, so a 1-bit row that becomes a 32-bit pixel cannot
// escape it.
// create_packed_dib checks it itself; other buffers call pixels_fit_ceiling.
#pragma once

#include <stdint.h>

// Below this many pixels no file is refused for its length: a picture this
// small costs little at any depth, and truncated small files still show.
#define PIXEL_CEILING_FLOOR (1u << 22)

// The ceiling in force, saved by begin_pixel_ceiling and given back to
// end_pixel_ceiling, so that a read inside a read (an icon's PNG entry, an
// Exif thumbnail) has its own and the outer one returns after it.
struct PixelCeiling {
    uint64_t pixels;  // 0: no read under way, nothing is refused here
    uint64_t outer;   // what the read around it had left; 0: none around it
};

// Uncompressed data may lack up to half of its rows and still show: its
// ratio (pixels per byte of stored pixels) is taken this many times.
#define RAW_TRUNCATION_ALLOWANCE 2u

// Begins the ceiling of a read of file_bytes bytes coded at most
// pixels_per_byte pixels a byte: the product, never below the floor. A
// read inside a read never gets more than the outer read has left.
PixelCeiling begin_pixel_ceiling(uint64_t file_bytes, uint64_t pixels_per_byte);
void end_pixel_ceiling(PixelCeiling previous);

// A reader that knows its coding (a TIFF compression, a JPEG process)
// lowers the ceiling of the read under way to coded_bytes times its ratio
// (never below the floor); a ceiling is never raised this way.
void narrow_pixel_ceiling(uint64_t coded_bytes, uint64_t pixels_per_byte);

// A reader that has found its data complete to its end marker (every scan
// of an arithmetic-coded JPEG, every tile of a JPEG 2000 stream), where a
// flat picture costs almost no bytes, lifts the ceiling of the read under
// way to coded_bytes times that coding's ratio; the road's end restores
// the outer one. Nothing happens when no read is under way; a read inside a
// read is never lifted past what the outer read had left.
void widen_pixel_ceiling(uint64_t coded_bytes, uint64_t pixels_per_byte);

// A read that keeps several pictures at once (the frames of an animated
// cursor) spends one ceiling on all of them: each picture kept lowers what
// is left for the next (never to nothing, which would mean no read).
void spend_pixel_ceiling(uint64_t pixels);

// Narrows the read under way to uncompressed data: coded_bytes of pixels of
// bits_per_pixel bits each, with the truncation allowance.
void narrow_pixel_ceiling_to_raw(uint64_t coded_bytes, uint32_t bits_per_pixel);

// What a read holds at once besides the picture it shows, for a watch of
// the read's memory (the mutation harness) to agree with the reader: the
// pictures it keeps together (every frame of an animated cursor) and the
// blocks its library fills for one picture (a JPEG 2000 decoder's 32-bit
// sample planes), bytes_per_pixel for each pixel. Only pixels that fit the
// ceiling of the read under way count, so a claim its data cannot fill is
// never credited; outside a read nothing is.
void credit_held_pixels(uint64_t pixels, uint32_t bytes_per_pixel);
// The bytes credited since the last call; the count starts again at 0.
uint64_t take_held_credit(void);

// 1 when one allocation of this many pixels fits the read under way, or
// when no read is under way.
int pixels_fit_ceiling(uint64_t pixels);

// The ceiling in force, in pixels; 0 when no read is under way.
uint64_t current_pixel_ceiling(void);
