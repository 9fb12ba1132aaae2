// Rotation by any angle and skew (see rotate_any.h). Geometry counts rows
// from the bottom, as they are stored, so y grows upwards on the screen.
// Palette images are resampled at one byte per pixel with their own table
// and compacted afterwards; smooth sampling interpolates their indices,
// which the callers ask for only for ordered (grey or toned) ramps.
#include "tools/rotate_any.h"

#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "tools/edit_history.h"
#include "tools/row_bands.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

// Index and channels of the background, and the bytes a fill writes.
struct Fill {
    int red, green, blue;   // 5-bit for 16-bit images
    BYTE bytes[4];
};

// What one call works on: the source and the result rows.
struct Job {
    int width, height, bits;
    uint32_t stride;
    const BYTE* rows;
    int64_t out_w, out_h;
    int out_bytes;          // 1 for palette results
    uint32_t out_stride;
    BYTE* out_rows;
    COLORREF background;
    BYTE background_index;
    Fill fill;
};

void read_pixel_checked(PixelSample* out, int x, int y, int width, int height, uint32_t stride,
                        int bit_count, COLORREF background, BYTE background_index, const BYTE* rows)
{
    const bool inside = x >= 0 && x <= width - 1 && y >= 0 && y <= height - 1;
    const BYTE* row = inside ? rows + (size_t)y * stride : NULL;
    const int red = GetRValue(background), green = GetGValue(background), blue = GetBValue(background);
    switch (bit_count) {
    case 1:
        out->c[0] = inside ? (row[x >> 3] >> (7 - (x & 7))) & 1 : background_index;
        break;
    case 4:
        out->c[0] = inside ? ((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4) : background_index;
        break;
    case 8:
        out->c[0] = inside ? row[x] : background_index;
        break;
    case 16:
        if (inside) {
            uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
            out->c[0] = (v >> 10) & 31;
            out->c[1] = (v >> 5) & 31;
            out->c[2] = v & 31;
        } else {
            out->c[0] = red * 31 / 255;
            out->c[1] = green * 31 / 255;
            out->c[2] = blue * 31 / 255;
        }
        break;
    case 24:
    case 32: {
        const int size = bit_count / 8;
        out->c[0] = inside ? row[size * x + 2] : red;
        out->c[1] = inside ? row[size * x + 1] : green;
        out->c[2] = inside ? row[size * x] : blue;
        if (bit_count == 32)
            out->c[3] = inside ? row[4 * x + 3] : 0;
        break;
    }
    }
}

// floor() without the library call for values well inside the int range
// (every position and channel sum here); the same result, bit for bit.
static inline double floor_fast(double v)
{
    if (!(v > -2147483648.0 && v < 2147483647.0))
        return floor(v);
    const int i = (int)v;
    return (double)(i - (v < (double)i));
}

static inline double round_half_up(double v)
{
    return floor_fast(v + 0.5);
}

// v to the nearest hundredth of a pixel.
static inline double hundredth(double v)
{
    return floor_fast((v + 0.005) * 100.0) / 100.0;
}

// Brings an angle into (-180, 180]; fmod keeps a huge angle from looping.
static double normalise_angle(double angle)
{
    double a = fmod(angle, 360.0);
    if (a <= -180.0)
        a += 360.0;
    if (a > 180.0)
        a -= 360.0;
    return a;
}

static BYTE* out_pixel(const Job* job, int64_t x, int64_t y)
{
    return job->out_rows + (size_t)y * job->out_stride + (size_t)x * job->out_bytes;
}

static void put_fill(const Job* job, BYTE* out)
{
    memcpy(out, job->fill.bytes, (size_t)job->out_bytes);
}

static void put_copy(const Job* job, BYTE* out, int sx, int sy)
{
    const BYTE* row = job->rows + (size_t)sy * job->stride;
    switch (job->bits) {
    case 1:
        *out = (BYTE)((row[sx >> 3] >> (7 - (sx & 7))) & 1);
        break;
    case 4:
        *out = (BYTE)((sx & 1) ? row[sx >> 1] & 0x0F : row[sx >> 1] >> 4);
        break;
    default:
        memcpy(out, row + (size_t)sx * job->out_bytes, (size_t)job->out_bytes);
    }
}

static void put_smooth(const Job* job, BYTE* out, const double c[4])
{
    const int c0 = (int)round_half_up(c[0]), c1 = (int)round_half_up(c[1]), c2 = (int)round_half_up(c[2]);
    switch (job->out_bytes) {
    case 1:
        *out = (BYTE)c0;
        break;
    case 2: {
        uint32_t v = (uint32_t)(c0 & 255) << 10 | (uint32_t)(c1 & 255) << 5 | (uint32_t)(c2 & 255);
        out[0] = (BYTE)v;
        out[1] = (BYTE)(v >> 8);
        break;
    }
    default:
        out[0] = (BYTE)c2;
        out[1] = (BYTE)c1;
        out[2] = (BYTE)c0;
        if (job->out_bytes == 4)
            out[3] = (BYTE)round_half_up(c[3]);
    }
}

static void sample(const Job* job, PixelSample* p, int x, int y)
{
    read_pixel_checked(p, x, y, job->width, job->height, job->stride, job->bits, job->background,
                       job->background_index, job->rows);
}

// Fraction of a loop over count lines done before line i.
static double progress_of(int64_t i, int64_t count)
{
    return count > 1 ? (double)i / (double)(count - 1) : 0.0;
}

// A result that cannot be had is told, as the other tools tell it, so that
// an unchanged picture is not taken for a done turn.
static void report_no_memory(void)
{
    seam_message_box(NULL, "Insufficient Memory for this Operation.", NULL, MB_ICONHAND);
}

// Locks the source, allocates the result (layout by depth), fills in the
// job and works out the fill. Null with the source unlocked on failure,
// after the message when the result was too large or memory ran out.
static HGLOBAL begin_result(HGLOBAL hDib, int64_t (*size_of)(const BITMAPINFOHEADER*, double, int, int64_t*),
                            double a, int direction, COLORREF background, int use_given_index,
                            BYTE background_index, Job* job, BITMAPINFOHEADER** src_out)
{
    if (!is_valid_packed_dib(hDib))
        return NULL;
    BITMAPINFOHEADER* src = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!src)
        return NULL;
    int64_t out_h = 0;
    int64_t out_w = size_of(src, a, direction, &out_h);
    const int bits = src->biBitCount;
    const int out_bits = bits <= 8 ? 8 : bits;
    const uint32_t entries = dib_color_count(src);
    HGLOBAL hNew = NULL;
    if (out_w > 0 && out_h > 0 && out_w <= MAX_DIB_DIMENSION && out_h <= MAX_DIB_DIMENSION)
        hNew = create_packed_dib((int32_t)out_w, (int32_t)out_h, out_bits, bits <= 8 ? entries : 0);
    BITMAPINFOHEADER* dst = hNew ? (BITMAPINFOHEADER*)GlobalLock(hNew) : NULL;
    if (!dst) {
        if (hNew)
            GlobalFree(hNew);
        GlobalUnlock(hDib);
        report_no_memory();
        return NULL;
    }
    if (entries)
        memcpy(dib_color_table(dst), dib_color_table(src), 4 * (size_t)entries);

    job->width = src->biWidth;
    job->height = src->biHeight;
    job->bits = bits;
    job->stride = dib_row_stride(src->biWidth, bits);
    job->rows = dib_pixels(src);
    job->out_w = out_w;
    job->out_h = out_h;
    job->out_bytes = out_bits / 8;
    job->out_stride = dib_row_stride(dst->biWidth, out_bits);
    job->out_rows = dib_pixels(dst);
    job->background = background;
    job->background_index = background_index;

    Fill* fill = &job->fill;
    memset(fill, 0, sizeof *fill);
    if (out_bits == 8) {
        BYTE index = background_index;
        if (!use_given_index) {
            HPALETTE palette = create_dib_palette(dst, NULL);
            if (palette) {
                index = (BYTE)GetNearestPaletteIndex(palette, background & 0xFFFFFF);
                DeleteObject(palette);
            }
        }
        job->background_index = index;
        fill->bytes[0] = index;
    } else {
        const int red = GetRValue(background), green = GetGValue(background), blue = GetBValue(background);
        if (out_bits == 16) {
            uint32_t v = (uint32_t)(red * 31 / 255) << 10 | (uint32_t)(green * 31 / 255) << 5 | (uint32_t)(blue * 31 / 255);
            fill->bytes[0] = (BYTE)v;
            fill->bytes[1] = (BYTE)(v >> 8);
        } else {
            fill->bytes[0] = (BYTE)blue;
            fill->bytes[1] = (BYTE)green;
            fill->bytes[2] = (BYTE)red;
        }
    }
    *src_out = src;
    return hNew;
}

static int finish_result(HGLOBAL* phDib, HGLOBAL hNew)
{
    GlobalUnlock(hNew);
    GlobalUnlock(*phDib);
    GlobalFree(*phDib);
    *phDib = hNew;
    compact_dib_depth(phDib);
    return 1;
}

// ---- rotation

struct RotationFrame {
    double cx, cy, ox, oy;
};

static RotationFrame rotation_frame(int64_t w, int64_t h, int64_t out_w, int64_t out_h)
{
    RotationFrame f = {(w - 1) / 2.0, (h - 1) / 2.0, (out_w - 1) / 2.0, (out_h - 1) / 2.0};
    return f;
}

static int64_t rotated_size(const BITMAPINFOHEADER* src, double a, int, int64_t* out_h)
{
    const double cx = (src->biWidth - 1) / 2.0, cy = (src->biHeight - 1) / 2.0;
    const double r = sqrt(cx * cx + cy * cy);
    const double corners[4][2] = {{-cx, cy}, {cx, cy}, {-cx, -cy}, {cx, -cy}};
    double max_x = 0, max_y = 0;
    for (const auto& corner : corners) {
        double b = atan2(corner[1], corner[0]);
        double x = r * cos(b - a), y = r * sin(b - a);
        if (x > max_x)
            max_x = x;
        if (y > max_y)
            max_y = y;
    }
    *out_h = (int64_t)(2 * max_y + 0.5) + 1;
    return (int64_t)(2 * max_x + 0.5) + 1;
}

// One rotation's fixed terms, shared by the row bands.
struct RotationPass {
    const Job* job;
    RotationFrame f;
    double ca, sa;
    int smooth;
    int64_t out_w;
};

// Result rows i_end - 1 down to i_begin (rows counted from the bottom).
static void rotate_rows(const void* context, int64_t i_begin, int64_t i_end, bool report)
{
    const RotationPass* pass = (const RotationPass*)context;
    const Job& job = *pass->job;
    const RotationFrame& f = pass->f;
    const double ca = pass->ca, sa = pass->sa;
    const int64_t out_w = pass->out_w;
    const int w = job.width, h = job.height;
    PixelSample p[4];
    memset(p, 0, sizeof p);
    for (int64_t i = i_end - 1; i >= i_begin; --i) {
        if (report)
            show_progress(progress_of(i_end - 1 - i, i_end - i_begin), 0);
        const double dy = (double)i - f.oy;
        const double dy_sa = dy * sa, dy_ca = dy * ca;
        BYTE* out = out_pixel(&job, 0, i);
        for (int64_t j = 0; j < out_w; ++j, out += job.out_bytes) {
            const double dx = (double)j - f.ox;
            double sx = f.cx + dx * ca - dy_sa, sy = f.cy + dx * sa + dy_ca;
            if (!pass->smooth) {
                double ix = round_half_up(sx), iy = round_half_up(sy);
                if (ix < 0 || ix >= w || iy < 0 || iy >= h)
                    put_fill(&job, out);
                else
                    put_copy(&job, out, (int)ix, (int)iy);
                continue;
            }
            sx = hundredth(sx);
            sy = hundredth(sy);
            if (sx < -1 || sx >= w || sy < -1 || sy >= h) {
                put_fill(&job, out);
                continue;
            }
            const int ix = (int)floor_fast(sx), iy = (int)floor_fast(sy);
            const double fx = sx - ix, fy = sy - iy;
            if (job.bits >= 24 && ix >= 0 && iy >= 0 && ix + 1 < w && iy + 1 < h) {
                // All four inside: the same sums straight from the bytes.
                const BYTE* p0 = job.rows + (size_t)iy * job.stride + (size_t)ix * job.out_bytes;
                const BYTE* p1 = p0 + job.stride;
                const int n = job.out_bytes;
                const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
                for (int k = 0; k < n; ++k)
                    out[k] = (BYTE)round_half_up(w00 * p0[k] + w10 * p0[k + n] + w01 * p1[k] + w11 * p1[k + n]);
                continue;
            }
            sample(&job, &p[0], ix, iy);
            sample(&job, &p[1], ix + 1, iy);
            sample(&job, &p[2], ix, iy + 1);
            sample(&job, &p[3], ix + 1, iy + 1);
            double c[4];
            for (int k = 0; k < 4; ++k)
                c[k] = (1 - fx) * (1 - fy) * p[0].c[k] + fx * (1 - fy) * p[1].c[k] +
                       (1 - fx) * fy * p[2].c[k] + fx * fy * p[3].c[k];
            put_smooth(&job, out, c);
        }
    }
}

int rotate_by_angle(HGLOBAL* phDib, double angle, COLORREF background, int use_given_index,
                    BYTE background_index, int smooth)
{
    if (!phDib || !isfinite(angle))
        return 0;
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    const double degrees = normalise_angle(angle);
    const double a = acos(-1.0) * degrees / 180.0;
    Job job;
    BITMAPINFOHEADER* src;
    HGLOBAL hNew = begin_result(*phDib, rotated_size, a, 0, background, use_given_index,
                                background_index, &job, &src);
    if (!hNew) {
        SetCursor(previous);
        return 0;
    }
    const int64_t out_w = job.out_w, out_h = job.out_h;
    // The source position of every result pixel:
    // sx = cx + dx cos a - dy sin a, sy = cy + dx sin a + dy cos a.
    RotationPass pass = {&job, rotation_frame(job.width, job.height, out_w, out_h), cos(a), sin(a), smooth, out_w};
    run_row_bands(out_h, out_w * out_h, rotate_rows, &pass);
    int done = finish_result(phDib, hNew);
    SetCursor(previous);
    return done;
}

// ---- skew

static int64_t skewed_size(const BITMAPINFOHEADER* src, double a, int direction, int64_t* out_h)
{
    const double t = tan(fabs(a));
    const int64_t w = src->biWidth, h = src->biHeight;
    if (direction == EDIT_SKEW_H) {
        *out_h = h;
        return w + (int64_t)((h - 1) * t + 0.5);
    }
    *out_h = h + (int64_t)((w - 1) * t + 0.5);
    return w;
}

// Shift of line i (a row, or a column for the vertical skew) of a picture
// whose lines run 0 to last.
static double skew_shift(int64_t i, int64_t last, double a, double t)
{
    return a >= 0 ? (double)i * t : (double)(last - i) * t;
}

// One line's shift: whole pixels for nearest sampling, the shift to the
// hundredth and the weight of the second pixel for smooth sampling.
struct SkewLine {
    int64_t n;
    double hs, f;
};

struct SkewPass {
    const Job* job;
    bool horizontal;
    int smooth;
    int64_t out_w, out_h, src_length;
    const SkewLine* lines;   // one per row (horizontal) or column (vertical)
};

// The result pixel at position m along line `line` (a row, or a column for
// the vertical skew).
static inline void skew_pixel(const SkewPass* pass, const SkewLine& L, int64_t line, int64_t m, BYTE* out)
{
    const Job& job = *pass->job;
    const bool horizontal = pass->horizontal;
    const int64_t j = horizontal ? m : line, i = horizontal ? line : m;
    if (!pass->smooth) {
        if (m < L.n || m > L.n + pass->src_length - 1)
            put_fill(&job, out);
        else if (horizontal)
            put_copy(&job, out, (int)(m - L.n), (int)i);
        else
            put_copy(&job, out, (int)j, (int)(m - L.n));
        return;
    }
    const int p0 = (int)floor_fast((double)m - L.hs);
    const double f = L.f;
    if (job.bits >= 24 && p0 >= 0 && p0 + 1 < pass->src_length) {
        // Both inside: the same sums straight from the bytes.
        const int n = job.out_bytes;
        const BYTE *a, *b;
        if (horizontal) {
            a = job.rows + (size_t)i * job.stride + (size_t)p0 * n;
            b = a + n;
        } else {
            a = job.rows + (size_t)p0 * job.stride + (size_t)j * n;
            b = a + job.stride;
        }
        for (int k = 0; k < n; ++k)
            out[k] = (BYTE)round_half_up((1 - f) * a[k] + f * b[k]);
        return;
    }
    PixelSample p[2];
    memset(p, 0, sizeof p);
    if (horizontal) {
        sample(&job, &p[0], p0, (int)i);
        sample(&job, &p[1], p0 + 1, (int)i);
    } else {
        sample(&job, &p[0], (int)j, p0);
        sample(&job, &p[1], (int)j, p0 + 1);
    }
    double c[4];
    for (int q = 0; q < 4; ++q)
        c[q] = (1 - f) * p[0].c[q] + f * p[1].c[q];
    put_smooth(&job, out, c);
}

// Result rows r_begin to r_end - 1, each written left to right; the
// vertical skew too walks the result row by row, not down its columns.
static void skew_rows(const void* context, int64_t r_begin, int64_t r_end, bool report)
{
    const SkewPass* pass = (const SkewPass*)context;
    const Job& job = *pass->job;
    for (int64_t r = r_begin; r < r_end; ++r) {
        // Horizontal smooth passes run top-down, as the others bottom-up.
        const int64_t i = pass->horizontal && pass->smooth ? r_end - 1 - (r - r_begin) : r;
        if (report)
            show_progress(progress_of(r - r_begin, r_end - r_begin), 0);
        BYTE* out = out_pixel(&job, 0, i);
        if (pass->horizontal) {
            const SkewLine& L = pass->lines[i];
            for (int64_t m = 0; m < pass->out_w; ++m, out += job.out_bytes)
                skew_pixel(pass, L, i, m, out);
        } else {
            for (int64_t j = 0; j < pass->out_w; ++j, out += job.out_bytes)
                skew_pixel(pass, pass->lines[j], j, i, out);
        }
    }
}

int skew_by_angle(HGLOBAL* phDib, double angle, COLORREF background, int use_given_index,
                  BYTE background_index, int smooth, int direction)
{
    if (!phDib || !isfinite(angle) || (direction != EDIT_SKEW_H && direction != EDIT_SKEW_V))
        return 0;
    if (fabs(angle) > MAX_SKEW_DEGREES)
        return 0;
    const double degrees = normalise_angle(angle);
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    const double a = acos(-1.0) * degrees / 180.0;
    const double t = tan(fabs(a));
    Job job;
    BITMAPINFOHEADER* src;
    HGLOBAL hNew = begin_result(*phDib, skewed_size, a, direction, background, use_given_index,
                                background_index, &job, &src);
    if (!hNew) {
        SetCursor(previous);
        return 0;
    }
    const int64_t out_w = job.out_w, out_h = job.out_h;
    const bool horizontal = direction == EDIT_SKEW_H;
    const int64_t line_count = horizontal ? out_h : out_w;
    const int64_t last_line = horizontal ? job.height - 1 : job.width - 1;
    SkewLine* lines = (SkewLine*)malloc((size_t)line_count * sizeof(SkewLine));
    if (!lines) {
        GlobalUnlock(hNew);
        GlobalFree(hNew);
        GlobalUnlock(*phDib);
        SetCursor(previous);
        report_no_memory();
        return 0;
    }
    for (int64_t line = 0; line < line_count; ++line) {
        const double shift = skew_shift(line, last_line, a, t);
        const double hs = hundredth(shift);
        lines[line] = {(int64_t)(shift + 0.5), hs, ceil(hs) - hs};
    }
    SkewPass pass = {&job, horizontal, smooth, out_w, out_h, horizontal ? job.width : job.height, lines};
    run_row_bands(out_h, out_w * out_h, skew_rows, &pass);
    free(lines);
    int done = finish_result(phDib, hNew);
    SetCursor(previous);
    return done;
}
