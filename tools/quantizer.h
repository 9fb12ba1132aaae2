// The two-pass colour quantiser: median cut over a full 24-bit histogram
// chooses up to 256 colours, and a second pass maps each pixel to its
// nearest colour, plainly or with Floyd-Steinberg error diffusion. It knows
// nothing of images: its driver (color_reduce.cpp) hands it rows of R, G, B
// byte triples and receives one palette index per pixel.
#pragma once

#include <windows.h>

struct QuantizerContext;

// Receives an error code (47 wrong component count, 56 too few colours,
// 57 too many) and its limit. The operation that reported it then fails.
typedef void (*QuantizerErrorFn)(QuantizerContext* ctx, int code, int parameter);
typedef void (*QuantizeRowsFn)(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows,
                               int row_count);

enum { QUANT_ERR_COMPONENTS = 47, QUANT_ERR_FEW_COLORS = 56, QUANT_ERR_MANY_COLORS = 57 };

// The driver allocates it zero-filled and sets the inputs; the quantiser
// keeps the handles of everything it allocates so release_quantizer can
// free them all.
struct QuantizerContext {
    QuantizerErrorFn err;               // may be null
    int dither_mode;                    // 0 none, 2 Floyd-Steinberg
    int desired_number_of_colors;       // 2 to 256
    BYTE enable_2pass_quant;            // allocate the colour map at creation
    UINT output_width;                  // pixels per row
    int out_color_components;           // must be 3
    int actual_number_of_colors;        // found by the median cut, or set by the driver
    BYTE* colormap[3];                  // red, green, blue rows of the palette
    BYTE* sample_range_limit;           // 256 bytes into the clamping table
    void* cquantize;                    // private state
    HGLOBAL hRangeLimit;                // block of the clamping table
};

// Creates the private state, the histogram, the colour map (with
// enable_2pass_quant) and, when dithering, the error row and error-limit
// table. 1 when everything was allocated; 0 on an error or lack of memory,
// with what was allocated kept for release_quantizer.
int jinit_2pass_quantizer(QuantizerContext* ctx);
// Chooses the pass (pre-scan or mapping) and clears what the pass needs
// cleared; 0 on a colour count out of range or lack of memory.
int start_pass_2_quant(QuantizerContext* ctx, int is_pre_scan);
// Pass 1: counts every pixel's colour (saturating at 65535).
void prescan_quantize(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows, int row_count);
// Median cut into the colour map; 0 when the box list cannot be allocated.
int finish_pass1(QuantizerContext* ctx);
// Pass 2: palette indices, nearest colour or Floyd-Steinberg (serpentine).
void pass2_no_dither(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows, int row_count);
void pass2_fs_dither(QuantizerContext* ctx, BYTE** input_rows, BYTE** output_rows, int row_count);
void finish_pass2(QuantizerContext* ctx);
// A new colour map invalidates the nearest-colour cache.
void new_color_map_2_quant(QuantizerContext* ctx);
// The clamping table; 0 when its block cannot be allocated.
int prepare_range_limit_table(QuantizerContext* ctx);
void zero_block(void* target, size_t bytes);
// Unlocks and frees every block the quantiser and the range-limit table
// hold; the context can be dropped afterwards.
void release_quantizer(QuantizerContext* ctx);
