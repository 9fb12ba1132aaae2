// The in-memory image: a device-independent bitmap packed into one movable,
// zero-filled global block (40-byte BITMAPINFOHEADER, colour table for 1, 4
// and 8 bits, then the rows bottom-up, each padded to 4 bytes). Here are the
// layout rules every reader, writer and tool relies on, the checks that keep
// sizes from a file honest, and the utilities that change an image's depth
// or layout. Palettes and colour queries live in palette.h.
#pragma once

#include <windows.h>
#include <stdint.h>

enum { DIB_HEADER_SIZE = 40 };

// Limits on what any image may make the program allocate. Sizes are computed
// in 64 bits and refused past these before they narrow to 32 bits.
#define MAX_DIB_DIMENSION 0x40000u      // pixels across or down
#define MAX_DIB_BYTES     0x20000000u   // whole block, 512 MiB

// 1, 4, 8, 16, 24 or 32.
int is_valid_dib_bit_count(int bit_count);

// Bytes of one row, padded to a multiple of 4; 0 for a width of 0 or less or
// past MAX_DIB_DIMENSION, or a bit count that is not valid.
uint32_t dib_row_stride(int32_t width, int bit_count);

// Colour-table entries: biClrUsed, or 2 to the bit count when that is 0, for
// 1, 4 and 8 bits; 0 for deeper images. biClrUsed is capped at 256.
uint32_t dib_color_count(const BITMAPINFOHEADER* bih);

// Byte offset of the pixel rows from the start of the block.
uint32_t dib_pixel_offset(const BITMAPINFOHEADER* bih);

// Start of the colour table and of the pixel rows of a locked block.
RGBQUAD* dib_color_table(BITMAPINFOHEADER* bih);
BYTE* dib_pixels(BITMAPINFOHEADER* bih);

// Size of a whole block in 64 bits; 0 when a dimension, the bit count or the
// table size is not valid or the block would pass MAX_DIB_BYTES.
uint64_t dib_block_size(int32_t width, int32_t height, int bit_count, uint32_t color_count);

// A new zero-filled image with its header filled (biClrUsed = color_count,
// which must fit the bit count; 0 for the full table). Null when the size is
// refused or memory runs out; shows nothing.
HGLOBAL create_packed_dib(int32_t width, int32_t height, int bit_count, uint32_t color_count);

// Bits per pixel of an image block; 0 for null or a block too small for a
// header.
int dib_bit_count(HGLOBAL hDib);

// The header of the block describes a valid image that fits in the block
// (size 40, sane dimensions and depth, table and rows within GlobalSize).
int is_valid_packed_dib(HGLOBAL hDib);

// Colour-table entry; an index beyond the table reads as entry 0.
RGBQUAD dib_table_entry(const BITMAPINFOHEADER* bih, uint32_t index);

// Colour index of pixel x in a row of a 1-, 4- or 8-bit image.
uint32_t dib_row_index(const BYTE* row, int bit_count, int32_t x);

// Lowers a palette image with a small table to 1 or 4 bits in place; the
// handle stays the same. Left unchanged when nothing applies or memory runs out.
void compact_dib_depth(HGLOBAL* phDib);

// A copy of the image; BI_BITFIELDS images come back BI_RGB. Null on an
// unsupported depth, a broken header or lack of memory.
HGLOBAL copy_packed_dib(HGLOBAL hDib);

// A new black 24-bit image; null when refused or memory runs out.
HGLOBAL create_dib24(int32_t width, int32_t height);

// Information text of an image taken from the clipboard; nothing for null.
void format_dib_info_text(HGLOBAL hDib, char* info);

// 1 for a 32-bit image whose alpha is 0 everywhere: the alpha bytes are
// not used (a 32-bit bitmap's layout), so writers treat it as opaque.
int dib_alpha_is_unused(const BITMAPINFOHEADER* bih);

// Composes a 32-bit image over g_backgroundColors[background_index] into a
// 24-bit image that replaces it, unless every alpha is 0. Other depths and
// failures leave the image as it is.
void flatten_alpha_onto_background(HGLOBAL* phDib, uint32_t background_index);

// A new 32-bit copy (alpha 255, or 0 with the display colour at the
// transparent index) of a 1- to 24-bit image. Returns hDib itself when it
// makes no copy: the caller frees the result only when it differs.
// display_color holds blue in its low byte.
HGLOBAL expand_dib_to_bgra32(HGLOBAL hDib, uint32_t has_transparency,
                             uint8_t transparent_index, uint32_t display_color);

// 1440 over the device's pixels per logical inch, across and down.
void get_twips_per_pixel(HDC hdc, int32_t* twips_x, int32_t* twips_y);
