// Colour reduction to fixed or optimised palettes, and the standard palettes.
// A reduction always starts from the full-colour image: the unconverted copy
// when there is one, so that successive conversions never compound.
#pragma once

#include <windows.h>

struct QuantizerContext;

// Replaces *phDib by its 8-bit reduction to count colours (2 white and
// black, 16, 216 and 256 the standard palettes, 257 the display's, any
// other an optimised palette of |count| colours) and keeps the full-colour
// image it was made from in *phUnconverted; kind 0 results with few colours
// are compacted to 1 or 4 bits. Image kinds other than 0 and 9 are refused
// with a message. Returns 1 on success; 0 when refused or out of memory,
// with both handles and images as they were.
int reduce_colors(HGLOBAL* phDib, HGLOBAL* phUnconverted, int count, UINT image_kind,
                  UINT wait_cursor, UINT dither);

// One pass of the quantiser over all rows of an image: pass 0 counts the
// colours, any other maps them (dithered or not) into 8-bit rows.
// row_buffer holds 3 x width bytes.
void map_rows_through_quantizer(const BYTE* src_bits, BYTE* dst_bits, const RGBQUAD* src_table,
                                UINT src_table_size, UINT src_stride, UINT dst_stride, int width,
                                int height, int src_bit_count, BYTE* row_buffer, int pass,
                                QuantizerContext* ctx, int dither);

// Fills table (four bytes per entry) with a fixed palette and returns its
// entry count: 2 black and white, 16 the standard 16 colours, 48 the colour
// picker's basic colours (red, green, blue, 0 byte order), 257 and more the
// current image's display palette, anything else the standard 256 colours.
int get_standard_palette(int count, RGBQUAD* table);
