// Resizing an image: nearest pixel, and smooth resampling (area averaging
// when shrinking, cubic spline when enlarging), with the spline routines the
// enlargement is built on.
#pragma once

#include <windows.h>
#include <stdint.h>

// New image of that size, or null; the source is left alone.
HGLOBAL resize_nearest(HGLOBAL hDib, int width, int height);
HGLOBAL resample_image(HGLOBAL hDib, int width, int height);

// Rows of pixels in memory: size in pixels, row stride in bytes, first row.
struct PixelBuffer {
    uint32_t width;
    uint32_t height;
    uint32_t stride;
    BYTE* pixels;
};

// Box filter from src to the first width x height pixels of dst (neither
// larger than the source). 0 when its accumulator cannot be allocated; dst
// is then left as it was.
int shrink_by_area_average(const PixelBuffer* src, PixelBuffer* dst, uint32_t width,
                           uint32_t height, int bytes_per_pixel);

// Piecewise cubic enlargement (neither dimension smaller); rows of both
// images have the padded stride of their width. Bit counts other than 8, 16
// (5-5-5), 24 and 32 do nothing.
void enlarge_by_cubic_spline(const BYTE* src, uint32_t src_width, uint32_t src_height, BYTE* dst,
                             uint32_t dst_width, uint32_t dst_height, int bit_count);

// Cubic spline through n knots (x strictly increasing). End condition 0
// matches the third derivative at that end, 1 clamps the slope. *error: 0,
// 1 when n < 2, 2 when x is not increasing.
void compute_spline_coefficients(int n, int end1, int end2, double slope1, double slope2,
                                 const double* x, const double* y, double* b, double* c,
                                 double* d, int* error);
// Value, slope and integral from x[0] at u; *interval caches the knot
// interval between calls.
double evaluate_spline(int n, double u, const double* x, const double* y, const double* b,
                       const double* c, const double* d, int* interval);
double evaluate_spline_derivative(int n, double u, const double* x, const double* y,
                                  const double* b, const double* c, const double* d,
                                  int* interval);
double integrate_spline(int n, double u, const double* x, const double* y, const double* b,
                        const double* c, const double* d, int* interval);
