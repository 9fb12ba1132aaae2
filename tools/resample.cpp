// Resizing images (see resample.h). Shrinking averages areas exactly in
// integers, down the columns first (SSE2) and then across each finished
// row; enlarging evaluates, per
// channel, the cubic through the four source samples around each position
// (a spline with the "not-a-knot"-like end condition of Forsythe, Malcolm
// and Moler). Both work on the padded rows of a PackedDib in memory order.
#include "tools/resample.h"

#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/seams.h"

#include <emmintrin.h>
#include <string.h>

static const char NO_MEMORY[] = "Insufficient Memory for this Operation.";

static void report_no_memory(void)
{
    seam_message_box(NULL, NO_MEMORY, NULL, MB_ICONHAND);
}

// ---------------------------------------------------------------------------
// Spline routines

void compute_spline_coefficients(int n, int end1, int end2, double slope1, double slope2,
                                 const double* x, const double* y, double* b, double* c,
                                 double* d, int* error)
{
    *error = 0;
    if (n < 2) {
        *error = 1;
        return;
    }
    for (int i = 1; i < n; ++i) {
        if (x[i] <= x[i - 1]) {
            *error = 2;
            return;
        }
    }
    if (n == 2) {
        b[0] = b[1] = (y[1] - y[0]) / (x[1] - x[0]);
        c[0] = c[1] = d[0] = d[1] = 0;
        return;
    }
    // d holds the widths, b the diagonal, c the right side and then the
    // second-derivative terms s.
    for (int i = 0; i < n - 1; ++i)
        d[i] = x[i + 1] - x[i];
    for (int i = 1; i < n - 1; ++i) {
        b[i] = 2 * (d[i - 1] + d[i]);
        c[i] = (y[i + 1] - y[i]) / d[i] - (y[i] - y[i - 1]) / d[i - 1];
    }
    if (end1 == 1) {
        b[0] = 2 * d[0];
        c[0] = (y[1] - y[0]) / d[0] - slope1;
    } else {
        b[0] = -d[0];
        c[0] = 0;
        if (n > 3)
            c[0] = (c[2] / (x[3] - x[1]) - c[1] / (x[2] - x[0])) * d[0] * d[0] / (x[3] - x[0]);
    }
    if (end2 == 1) {
        b[n - 1] = 2 * d[n - 2];
        c[n - 1] = slope2 - (y[n - 1] - y[n - 2]) / d[n - 2];
    } else {
        b[n - 1] = -d[n - 2];
        c[n - 1] = 0;
        if (n > 3)
            c[n - 1] = -(c[n - 2] / (x[n - 1] - x[n - 3]) - c[n - 3] / (x[n - 2] - x[n - 4])) *
                       d[n - 2] * d[n - 2] / (x[n - 1] - x[n - 4]);
    }
    for (int i = 1; i < n; ++i) {
        double t = d[i - 1] / b[i - 1];
        b[i] -= t * d[i - 1];
        c[i] -= t * c[i - 1];
    }
    c[n - 1] /= b[n - 1];
    for (int i = n - 2; i >= 0; --i)
        c[i] = (c[i] - d[i] * c[i + 1]) / b[i];

    // Coefficients; the last width is still needed for b[n - 1].
    double last_width = d[n - 2];
    for (int i = 0; i < n - 1; ++i) {
        double h = d[i];
        b[i] = (y[i + 1] - y[i]) / h - h * (2 * c[i] + c[i + 1]);
        d[i] = (c[i + 1] - c[i]) / h;
    }
    b[n - 1] = (y[n - 1] - y[n - 2]) / last_width + last_width * (c[n - 2] + 2 * c[n - 1]);
    for (int i = 0; i < n; ++i)
        c[i] *= 3;
    d[n - 1] = d[n - 2];
}

static int find_interval(int n, double u, const double* x, int* interval)
{
    int i = *interval;
    if (i < 0 || i > n - 2)
        i = 0;
    if (!(x[i] <= u && u <= x[i + 1])) {
        i = 0;
        int j = n;
        do {
            int m = (i + j) / 2;
            if (u >= x[m])
                i = m;
            else
                j = m;
        } while (j > i + 1);
        if (i > n - 2)
            i = n - 2;
    }
    *interval = i;
    return i;
}

double evaluate_spline(int n, double u, const double* x, const double* y, const double* b,
                       const double* c, const double* d, int* interval)
{
    int i = find_interval(n, u, x, interval);
    double t = u - x[i];
    return y[i] + t * (b[i] + t * (c[i] + t * d[i]));
}

double evaluate_spline_derivative(int n, double u, const double* x, const double* y,
                                  const double* b, const double* c, const double* d,
                                  int* interval)
{
    int i = find_interval(n, u, x, interval);
    double t = u - x[i];
    return b[i] + t * (2 * c[i] + 3 * d[i] * t);
}

double integrate_spline(int n, double u, const double* x, const double* y, const double* b,
                        const double* c, const double* d, int* interval)
{
    int i = find_interval(n, u, x, interval);
    double sum = 0;
    for (int k = 0; k < i; ++k) {
        double h = x[k + 1] - x[k];
        sum += y[k] * h + b[k] * h * h / 2 + c[k] * h * h * h / 3 + d[k] * h * h * h * h / 4;
    }
    double t = u - x[i];
    return sum + y[i] * t + b[i] * t * t / 2 + c[i] * t * t * t / 3 + d[i] * t * t * t * t / 4;
}

// ---------------------------------------------------------------------------
// Area-average shrink

// Adds weight x each byte of src to acc (count entries); the caller keeps
// acc below 2^31 (255 x the source height).
static void add_weighted_row(uint32_t* acc, const BYTE* src, size_t count, uint32_t weight)
{
    size_t i = 0;
    if (weight <= 0xFFFF) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i factor = _mm_set1_epi16((short)(uint16_t)weight);
        for (; i + 16 <= count; i += 16) {
            const __m128i bytes = _mm_loadu_si128((const __m128i*)(src + i));
            const __m128i halves[2] = {_mm_unpacklo_epi8(bytes, zero),
                                       _mm_unpackhi_epi8(bytes, zero)};
            for (int half = 0; half < 2; ++half) {
                // 16 x 16-bit products as 32-bit values: low and high halves.
                const __m128i low = _mm_mullo_epi16(halves[half], factor);
                const __m128i high = _mm_mulhi_epu16(halves[half], factor);
                __m128i* a = (__m128i*)(acc + i + 8 * half);
                const __m128i first = _mm_unpacklo_epi16(low, high);
                const __m128i second = _mm_unpackhi_epi16(low, high);
                _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), first));
                _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), second));
            }
        }
    }
    for (; i < count; ++i)
        acc[i] += src[i] * weight;
}

// Where source pixel i of n goes when n shrinks to m: output cell *cell and,
// when it straddles a boundary, *split of its weight m to the next cell.
static void split_source_pixel(uint32_t i, uint32_t n, uint32_t m, uint32_t* cell, uint32_t* split)
{
    const uint64_t start = (uint64_t)i * m, end = start + m;
    *cell = (uint32_t)(start / n);
    const uint64_t boundary = ((uint64_t)*cell + 1) * n;
    *split = end > boundary ? (uint32_t)(end - boundary) : 0;
}

int shrink_by_area_average(const PixelBuffer* src, PixelBuffer* dst, uint32_t width,
                           uint32_t height, int bytes_per_pixel)
{
    const uint32_t W = src->width, H = src->height, w = width, h = height;
    const uint32_t p = (uint32_t)bytes_per_pixel;
    if (w == 0 || h == 0 || w > W || h > H || p == 0 || p > 4)
        return 0;
    // Column sums must fit 31 bits, the weight of a whole cell 32.
    const uint64_t cell_weight = (uint64_t)W * H;
    if ((uint64_t)255 * H > 0x7FFFFFFFu || cell_weight > 0xFFFFFFFFu)
        return 0;
    const size_t row_count = (size_t)W * p, out_count = (size_t)w * p;
    // Two rows of vertical sums, one of horizontal sums (with a spare cell
    // for the straddling last column) and the column table.
    const uint64_t bytes = 2 * (uint64_t)row_count * sizeof(uint32_t) +
                           ((uint64_t)out_count + p) * sizeof(double) +
                           2 * (uint64_t)W * sizeof(uint32_t);
    HGLOBAL hWork =
        bytes <= MAX_DIB_BYTES ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)bytes) : NULL;
    BYTE* work = hWork ? (BYTE*)GlobalLock(hWork) : NULL;
    if (!work) {
        if (hWork)
            GlobalFree(hWork);
        return 0;
    }
    double* sums = (double*)work;
    uint32_t* current = (uint32_t*)(sums + out_count + p);
    uint32_t* next = current + row_count;
    uint32_t* column_cell = next + row_count;
    uint32_t* column_split = column_cell + W;
    for (uint32_t x = 0; x < W; ++x)
        split_source_pixel(x, W, w, &column_cell[x], &column_split[x]);

    const double inverse = 1.0 / (double)cell_weight;
    const double bias = 0.5 + 0.25 * inverse;
    uint32_t y = 0;
    for (uint32_t row = 0; row < H; ++row) {
        show_progress(H > 1 ? (double)row / (H - 1) : 0.0, PROGRESS_MODE_RESAMPLE);
        const BYTE* s = src->pixels + (size_t)row * src->stride;
        uint32_t cell, split;
        split_source_pixel(row, H, h, &cell, &split);
        add_weighted_row(current, s, row_count, h - split);
        if (split)
            add_weighted_row(next, s, row_count, split);
        if ((uint64_t)(row + 1) * h < ((uint64_t)cell + 1) * H)
            continue;

        // Output row y is complete: sum it across and divide. The sums are
        // whole numbers, exact in doubles, so averages are multiples of
        // 1 / (W x H); adding a quarter of that step before truncating
        // rounds halves up exactly, the product's rounding error being far
        // smaller.
        for (size_t k = 0; k < out_count + p; ++k)
            sums[k] = 0.0;
        const uint32_t* v = current;
        for (uint32_t x = 0; x < W; ++x, v += p) {
            double* to = sums + (size_t)column_cell[x] * p;
            const uint32_t b1 = column_split[x];
            const double b0 = (double)(w - b1);
            for (uint32_t k = 0; k < p; ++k)
                to[k] += (double)(int32_t)v[k] * b0;
            if (b1)
                for (uint32_t k = 0; k < p; ++k)
                    to[p + k] += (double)(int32_t)v[k] * (double)b1;
        }
        BYTE* d = dst->pixels + (size_t)y * dst->stride;
        for (size_t k = 0; k < out_count; ++k) {
            const int q = (int)(sums[k] * inverse + bias);
            d[k] = (BYTE)(q > 255 ? 255 : q);
        }
        uint32_t* done = current;
        current = next;
        next = done;
        memset(next, 0, row_count * sizeof(uint32_t));
        ++y;
    }
    show_progress(0, 0);
    GlobalUnlock(hWork);
    GlobalFree(hWork);
    return 1;
}

// ---------------------------------------------------------------------------
// Cubic-spline enlargement

enum { MAX_CHANNELS = 4 };

// Channel values of one pixel; 16-bit pixels give their 5-bit fields.
static int load_channels(const BYTE* px, int bit_count, int* ch)
{
    if (bit_count == 16) {
        unsigned word = px[0] | (px[1] << 8);
        ch[0] = word & 31;
        ch[1] = (word >> 5) & 31;
        ch[2] = (word >> 10) & 31;
        return 3;
    }
    int count = bit_count / 8;
    for (int k = 0; k < count; ++k)
        ch[k] = px[k];
    return count;
}

static void store_channels(BYTE* px, int bit_count, const double* value)
{
    int limit = bit_count == 16 ? 31 : 255;
    int ch[MAX_CHANNELS];
    int count = bit_count == 16 ? 3 : bit_count / 8;
    for (int k = 0; k < count; ++k) {
        int v = (int)value[k];
        ch[k] = v < 0 ? 0 : v > limit ? limit : v;
    }
    if (bit_count == 16) {
        unsigned word = (unsigned)(ch[1] * 32 + ch[0] + ch[2] * 1024);
        px[0] = (BYTE)word;
        px[1] = (BYTE)(word >> 8);
        return;
    }
    for (int k = 0; k < count; ++k)
        px[k] = (BYTE)ch[k];
}

// The splines of one window of a line, one per channel.
struct LineSpline {
    int n;
    int offset;
    int interval;
    double x[4];
    double y[MAX_CHANNELS][4];
    double b[MAX_CHANNELS][4];
    double c[MAX_CHANNELS][4];
    double d[MAX_CHANNELS][4];
};

// Builds the window around sample k of a line of `count` samples; `pixel`
// gives the address of sample i.
static void build_line_spline(LineSpline* s, const BYTE* line, size_t step, uint32_t count,
                              uint32_t k, int bit_count, int channels)
{
    uint32_t first;
    if (count == 1) {
        s->n = 2;
        first = 0;
        s->offset = 0;
    } else if (count <= 3) {
        s->n = (int)count;
        first = 0;
        s->offset = (int)k;
    } else if (k == 0) {
        s->n = 3;
        first = 0;
        s->offset = 0;
    } else if (k <= count - 3) {
        s->n = 4;
        first = k - 1;
        s->offset = 1;
    } else if (k == count - 2) {
        s->n = 4;
        first = k - 2;
        s->offset = 2;
    } else {
        s->n = 3;
        first = count - 3;
        s->offset = 2;
    }
    for (int i = 0; i < s->n; ++i) {
        s->x[i] = i - 1;
        uint32_t index = count == 1 ? 0 : first + (uint32_t)i;
        int ch[MAX_CHANNELS];
        load_channels(line + index * step, bit_count, ch);
        for (int c = 0; c < channels; ++c)
            s->y[c][i] = ch[c];
    }
    for (int c = 0; c < channels; ++c) {
        int error;
        compute_spline_coefficients(s->n, 0, 0, 0.0, 0.0, s->x, s->y[c], s->b[c], s->c[c],
                                    s->d[c], &error);
    }
    s->interval = s->offset;
}

// Resamples one line of `from` samples into `to` samples (to > from).
static void enlarge_line(const BYTE* in, size_t in_step, uint32_t from, BYTE* out,
                         size_t out_step, uint32_t to, int bit_count)
{
    int channels = bit_count == 16 ? 3 : bit_count / 8;
    LineSpline s;
    int64_t last_k = -1;
    for (uint32_t j = 0; j < to; ++j) {
        double position = (double)j * (from - 1) / (to - 1);
        uint32_t k = (uint32_t)((uint64_t)j * (from - 1) / (to - 1));
        if ((int64_t)k > last_k) {
            build_line_spline(&s, in, in_step, from, k, bit_count, channels);
            last_k = k;
        }
        double u = position - k + s.offset - 1;
        double value[MAX_CHANNELS];
        for (int c = 0; c < channels; ++c) {
            int interval = s.interval;
            value[c] = evaluate_spline(s.n, u, s.x, s.y[c], s.b[c], s.c[c], s.d[c], &interval);
            s.interval = interval;
        }
        store_channels(out + j * out_step, bit_count, value);
    }
}

void enlarge_by_cubic_spline(const BYTE* src, uint32_t src_width, uint32_t src_height, BYTE* dst,
                             uint32_t dst_width, uint32_t dst_height, int bit_count)
{
    if (bit_count != 8 && bit_count != 16 && bit_count != 24 && bit_count != 32)
        return;
    const uint32_t W = src_width, H = src_height, w = dst_width, h = dst_height;
    if (W == 0 || H == 0 || w < W || h < H)
        return;
    const size_t p = (size_t)bit_count / 8;
    const size_t src_stride = dib_row_stride((int32_t)W, bit_count);
    const size_t dst_stride = dib_row_stride((int32_t)w, bit_count);
    const double share = (double)W / (W + w);

    for (uint32_t r = 0; r < H; ++r) {
        const BYTE* in = src + r * src_stride;
        BYTE* out = dst + r * dst_stride;
        if (w == W) {
            memcpy(out, in, (size_t)W * p);
            continue;
        }
        double fraction = H > 1 ? (double)r / (H - 1) : 0.0;
        show_progress(h != H ? fraction * share : fraction, 0);
        enlarge_line(in, p, W, out, p, w, bit_count);
    }
    if (h == H)
        return;

    HGLOBAL hColumn = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)((size_t)H * p));
    BYTE* column = hColumn ? (BYTE*)GlobalLock(hColumn) : NULL;
    if (!column) {
        if (hColumn)
            GlobalFree(hColumn);
        return;
    }
    for (uint32_t c = 0; c < w; ++c) {
        double fraction = w > 1 ? (double)c / (w - 1) : 0.0;
        show_progress(w != W ? share + (1 - share) * fraction : fraction, 0);
        BYTE* top = dst + c * p;
        for (uint32_t r = 0; r < H; ++r)
            memcpy(column + r * p, top + r * dst_stride, p);
        enlarge_line(column, p, H, top, dst_stride, h, bit_count);
    }
    GlobalUnlock(hColumn);
    GlobalFree(hColumn);
}

// ---------------------------------------------------------------------------
// Whole images

// A new block with the source's header (new size) and colour table, rows
// zero. Null after the memory message. *out_bih stays locked.
static HGLOBAL create_resized_block(const BITMAPINFOHEADER* src, int width, int height,
                                    BITMAPINFOHEADER** out_bih)
{
    uint32_t stride = dib_row_stride(width, src->biBitCount);
    uint64_t size = 0;
    if (stride != 0 && height > 0 && (uint32_t)height <= MAX_DIB_DIMENSION)
        size = (uint64_t)dib_pixel_offset(src) + (uint64_t)stride * (uint32_t)height;
    HGLOBAL hNew = NULL;
    if (size != 0 && size <= MAX_DIB_BYTES)
        hNew = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size);
    BITMAPINFOHEADER* bih = hNew ? (BITMAPINFOHEADER*)GlobalLock(hNew) : NULL;
    if (!bih) {
        if (hNew)
            GlobalFree(hNew);
        report_no_memory();
        return NULL;
    }
    memcpy(bih, src, dib_pixel_offset(src));
    bih->biWidth = width;
    bih->biHeight = height;
    *out_bih = bih;
    return hNew;
}

HGLOBAL resize_nearest(HGLOBAL hDib, int width, int height)
{
    HCURSOR hOldCursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    HGLOBAL hNew = NULL;
    BITMAPINFOHEADER* src = NULL;
    if (is_valid_packed_dib(hDib))
        src = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!src || src->biHeight <= 0) {
        if (src)
            GlobalUnlock(hDib);
        SetCursor(hOldCursor);
        return NULL;
    }
    const int bits = src->biBitCount;
    BITMAPINFOHEADER* dst = NULL;
    hNew = create_resized_block(src, width, height, &dst);
    if (hNew) {
        const uint32_t old_w = (uint32_t)src->biWidth, old_h = (uint32_t)src->biHeight;
        const size_t src_stride = dib_row_stride(src->biWidth, bits);
        const size_t dst_stride = dib_row_stride(width, bits);
        const BYTE* src_rows = dib_pixels(src);
        BYTE* dst_rows = dib_pixels(dst);
        const size_t p = bits >= 8 ? (size_t)bits / 8 : 0;
        int64_t last_row = -1;
        for (uint32_t j = 0; j < (uint32_t)height; ++j) {
            show_progress((double)j / height, PROGRESS_MODE_RESAMPLE);
            uint32_t sy = (uint32_t)((uint64_t)old_h * j / (uint32_t)height);
            BYTE* out = dst_rows + j * dst_stride;
            if ((int64_t)sy == last_row) {
                memcpy(out, out - dst_stride, dst_stride);
                continue;
            }
            last_row = sy;
            const BYTE* in = src_rows + sy * src_stride;
            for (uint32_t i = 0; i < (uint32_t)width; ++i) {
                uint32_t sx = (uint32_t)((uint64_t)old_w * i / (uint32_t)width);
                if (bits >= 8) {
                    memcpy(out + i * p, in + sx * p, p);
                } else if (bits == 4) {
                    BYTE v = in[sx / 2];
                    v = (sx & 1) ? (BYTE)(v & 0x0F) : (BYTE)(v >> 4);
                    out[i / 2] |= (i & 1) ? v : (BYTE)(v << 4);
                } else {
                    if ((i & 7) == 0)
                        out[i / 8] = 0;
                    if (in[sx / 8] & (0x80 >> (sx & 7)))
                        out[i / 8] |= (BYTE)(0x80 >> (i & 7));
                }
            }
        }
        GlobalUnlock(hNew);
    }
    GlobalUnlock(hDib);
    show_progress(0, PROGRESS_MODE_RESAMPLE);
    SetCursor(hOldCursor);
    return hNew;
}

// Shrinks and/or enlarges pixel rows of bytes_per_pixel-byte pixels, as
// for 8, 24 and 32 bits (bit_count tells the enlargement the layout). 0 when
// a work buffer cannot be had.
static int resample_pixels(const BYTE* src, uint32_t W, uint32_t H, BYTE* dst, uint32_t w,
                           uint32_t h, int bit_count)
{
    const int p = bit_count / 8;
    PixelBuffer in = {W, H, dib_row_stride((int32_t)W, bit_count), (BYTE*)src};
    PixelBuffer out = {w, h, dib_row_stride((int32_t)w, bit_count), dst};
    if (w == W && h == H) {
        memcpy(dst, src, (size_t)in.stride * H);
        return 1;
    }
    if (w <= W && h <= H)
        return shrink_by_area_average(&in, &out, w, h, p);
    if (w >= W && h >= H) {
        enlarge_by_cubic_spline(src, W, H, dst, w, h, bit_count);
        return 1;
    }
    // One dimension shrinks, the other grows: shrink first, then enlarge.
    uint32_t mid_w = w > W ? W : w, mid_h = h > H ? H : h;
    PixelBuffer mid = {mid_w, mid_h, dib_row_stride((int32_t)mid_w, bit_count), NULL};
    HGLOBAL hMid = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)((uint64_t)mid.stride * mid_h));
    mid.pixels = hMid ? (BYTE*)GlobalLock(hMid) : NULL;
    if (!mid.pixels) {
        if (hMid)
            GlobalFree(hMid);
        return 0;
    }
    int ok = shrink_by_area_average(&in, &mid, mid_w, mid_h, p);
    if (ok) {
        show_progress(0, 0);
        enlarge_by_cubic_spline(mid.pixels, mid_w, mid_h, dst, w, h, bit_count);
    }
    GlobalUnlock(hMid);
    GlobalFree(hMid);
    return ok;
}

// 16-bit images that shrink: the 5-bit fields go through a 24-bit work
// image so that averaging sees whole values.
static int resample_555(const BYTE* src, uint32_t W, uint32_t H, BYTE* dst, uint32_t w,
                        uint32_t h)
{
    const size_t src_stride = dib_row_stride((int32_t)W, 16);
    const size_t dst_stride = dib_row_stride((int32_t)w, 16);
    const size_t in_stride = dib_row_stride((int32_t)W, 24);
    const size_t out_stride = dib_row_stride((int32_t)w, 24);
    HGLOBAL hIn = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)((uint64_t)in_stride * H));
    HGLOBAL hOut = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)((uint64_t)out_stride * h));
    BYTE* in = hIn ? (BYTE*)GlobalLock(hIn) : NULL;
    BYTE* out = hOut ? (BYTE*)GlobalLock(hOut) : NULL;
    int ok = 0;
    if (in && out) {
        for (uint32_t y = 0; y < H; ++y) {
            const BYTE* s = src + y * src_stride;
            BYTE* t = in + y * in_stride;
            for (uint32_t x = 0; x < W; ++x, s += 2, t += 3) {
                unsigned word = s[0] | (s[1] << 8);
                t[0] = (BYTE)(word & 31);
                t[1] = (BYTE)((word >> 5) & 31);
                t[2] = (BYTE)((word >> 10) & 31);
            }
        }
        ok = resample_pixels(in, W, H, out, w, h, 24);
        if (ok) {
            for (uint32_t y = 0; y < h; ++y) {
                const BYTE* s = out + y * out_stride;
                BYTE* t = dst + y * dst_stride;
                for (uint32_t x = 0; x < w; ++x, s += 3, t += 2) {
                    unsigned blue = s[0] > 31 ? 31 : s[0];
                    unsigned green = s[1] > 31 ? 31 : s[1];
                    unsigned red = s[2] > 31 ? 31 : s[2];
                    unsigned word = green * 32 + blue + red * 1024;
                    t[0] = (BYTE)word;
                    t[1] = (BYTE)(word >> 8);
                }
            }
        }
    }
    if (in)
        GlobalUnlock(hIn);
    if (out)
        GlobalUnlock(hOut);
    if (hIn)
        GlobalFree(hIn);
    if (hOut)
        GlobalFree(hOut);
    return ok;
}

HGLOBAL resample_image(HGLOBAL hDib, int width, int height)
{
    HCURSOR hOldCursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    BITMAPINFOHEADER* src = NULL;
    if (is_valid_packed_dib(hDib))
        src = (BITMAPINFOHEADER*)GlobalLock(hDib);
    const int bits = src ? src->biBitCount : 0;
    if (!src || src->biHeight <= 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
        if (src)
            GlobalUnlock(hDib);
        SetCursor(hOldCursor);
        return NULL;
    }
    BITMAPINFOHEADER* dst = NULL;
    HGLOBAL hNew = create_resized_block(src, width, height, &dst);
    if (hNew) {
        const uint32_t W = (uint32_t)src->biWidth, H = (uint32_t)src->biHeight;
        const BYTE* in = dib_pixels(src);
        BYTE* out = dib_pixels(dst);
        int ok;
        if (bits == 16 && ((uint32_t)width < W || (uint32_t)height < H))
            ok = resample_555(in, W, H, out, (uint32_t)width, (uint32_t)height);
        else
            ok = resample_pixels(in, W, H, out, (uint32_t)width, (uint32_t)height, bits);
        GlobalUnlock(hNew);
        if (!ok) {
            GlobalFree(hNew);
            hNew = NULL;
            report_no_memory();
        }
    }
    GlobalUnlock(hDib);
    show_progress(0, PROGRESS_MODE_RESAMPLE);
    SetCursor(hOldCursor);
    return hNew;
}
