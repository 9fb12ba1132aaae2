// Quarter turns and flips (see quarter_turns.h). Flips and the half turn
// work in place; quarter turns build a new block and free the old one only
// once the new one is complete, so a failure leaves the caller's image
// whole. None of them shows a message: the caller reports a 0.
#include "tools/quarter_turns.h"

#include "image/packed_dib.h"
#include "image/progress.h"
#include "tools/row_bands.h"

#include <string.h>

static const BYTE BIT_MASKS[8] = {128, 64, 32, 16, 8, 4, 2, 1};

static HCURSOR begin_tool(void)
{
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    show_progress(0.0, 1);
    return previous;
}

static void end_tool(HCURSOR previous)
{
    show_progress(0.0, 1);
    SetCursor(previous);
}

static void set_orientation(int* orientation, int state)
{
    if (orientation)
        *orientation = (*orientation & 8) + (state & 7);
}

static int orientation_state(const int* orientation)
{
    return orientation ? (*orientation & 7) : 0;
}

static HGLOBAL alloc_work(SIZE_T bytes, BYTE** data)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes ? bytes : 1);
    *data = h ? (BYTE*)GlobalLock(h) : NULL;
    if (h && !*data) {
        GlobalFree(h);
        return NULL;
    }
    return h;
}

static void free_work(HGLOBAL h)
{
    if (h) {
        GlobalUnlock(h);
        GlobalFree(h);
    }
}

// Unpacks a 1- or 4-bit row into one value per byte.
static void unpack_row(const BYTE* row, int width, int bit_count, BYTE* values)
{
    if (bit_count == 1) {
        for (int x = 0; x < width; ++x)
            values[x] = (BYTE)((row[x >> 3] >> (7 - (x & 7))) & 1);
    } else {
        for (int x = 0; x < width; ++x)
            values[x] = (x & 1) ? (BYTE)(row[x >> 1] & 0x0F) : (BYTE)(row[x >> 1] >> 4);
    }
}

void reverse_row_pixels(BYTE* row, int width, int bit_count, BYTE* work)
{
    switch (bit_count) {
    case 8: case 16: case 24: case 32: {
        int size = bit_count / 8;
        for (int i = 0; i < width / 2; ++i) {
            BYTE* a = row + (size_t)i * size;
            BYTE* b = row + (size_t)(width - 1 - i) * size;
            for (int k = 0; k < size; ++k) {
                BYTE t = a[k];
                a[k] = b[k];
                b[k] = t;
            }
        }
        break;
    }
    case 4:
        unpack_row(row, width, 4, work);
        for (int x = 0; x < width; ++x) {
            if ((x & 1) == 0)
                row[x >> 1] = (BYTE)(work[width - 1 - x] << 4);
            else
                row[x >> 1] = (BYTE)(row[x >> 1] + work[width - 1 - x]);
        }
        break;
    case 1:
        unpack_row(row, width, 1, work);
        for (int x = 0; x < width; ++x) {
            if ((x & 7) == 0)
                row[x >> 3] = 0;
            if (work[width - 1 - x])
                row[x >> 3] = (BYTE)(row[x >> 3] + BIT_MASKS[x & 7]);
        }
        break;
    }
}

// Locks a valid image; null for a damaged or missing one.
static BITMAPINFOHEADER* lock_image(HGLOBAL hDib)
{
    if (!is_valid_packed_dib(hDib))
        return NULL;
    return (BITMAPINFOHEADER*)GlobalLock(hDib);
}

int flip_left_right(HGLOBAL hDib, int* orientation)
{
    BITMAPINFOHEADER* bih = lock_image(hDib);
    if (!bih)
        return 0;
    int width = bih->biWidth, height = bih->biHeight, bits = bih->biBitCount;
    uint32_t stride = dib_row_stride(width, bits);
    BYTE* work;
    HGLOBAL hWork = alloc_work(stride > (uint32_t)width ? stride : (uint32_t)width, &work);
    if (!hWork) {
        GlobalUnlock(hDib);
        return 0;
    }
    HCURSOR previous = begin_tool();
    BYTE* pixels = dib_pixels(bih);
    for (int y = 0; y < height; ++y) {
        show_progress((double)y / height, 1);
        reverse_row_pixels(pixels + (size_t)y * stride, width, bits, work);
    }
    free_work(hWork);
    GlobalUnlock(hDib);
    end_tool(previous);
    set_orientation(orientation, 1 - orientation_state(orientation) + 8);
    return 1;
}

int flip_top_bottom(HGLOBAL hDib, int* orientation)
{
    BITMAPINFOHEADER* bih = lock_image(hDib);
    if (!bih)
        return 0;
    int height = bih->biHeight;
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    BYTE* work;
    HGLOBAL hWork = alloc_work(stride, &work);
    if (!hWork) {
        GlobalUnlock(hDib);
        return 0;
    }
    HCURSOR previous = begin_tool();
    BYTE* pixels = dib_pixels(bih);
    int half = height / 2;
    for (int i = 0; i < half; ++i) {
        show_progress((double)i / half, 1);
        BYTE* a = pixels + (size_t)i * stride;
        BYTE* b = pixels + (size_t)(height - 1 - i) * stride;
        memcpy(work, a, stride);
        memcpy(a, b, stride);
        memcpy(b, work, stride);
    }
    free_work(hWork);
    GlobalUnlock(hDib);
    end_tool(previous);
    set_orientation(orientation, 5 - orientation_state(orientation) + 8);
    return 1;
}

int rotate_180(HGLOBAL hDib, int* orientation)
{
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    int ok = flip_left_right(hDib, orientation) && flip_top_bottom(hDib, orientation);
    SetCursor(previous);
    return ok;
}

// How many pixels a side of the square tiles a quarter turn copies at a
// time: a tile's source rows and result rows stay in cache together.
enum { TURN_TILE = 32 };

// One quarter turn of an image of 8 bits or more per pixel.
struct TurnPass {
    const BYTE* src;
    uint32_t src_stride;
    BYTE* dst;
    uint32_t dst_stride;
    int width, height;   // of the source
    int size_px;
    int clockwise;
};

// Result row r holds source column clockwise ? width-1-r : r; result
// column c holds source row clockwise ? c : height-1-c.
template <int SIZE>
static void turn_tiles(const TurnPass* p, int r_begin, int r_end, bool report)
{
    const int size = SIZE ? SIZE : p->size_px;
    for (int r0 = r_begin; r0 < r_end; r0 += TURN_TILE) {
        if (report)
            show_progress((double)(r0 - r_begin) / (r_end - r_begin), 1);
        const int r1 = r0 + TURN_TILE < r_end ? r0 + TURN_TILE : r_end;
        for (int c0 = 0; c0 < p->height; c0 += TURN_TILE) {
            const int c1 = c0 + TURN_TILE < p->height ? c0 + TURN_TILE : p->height;
            for (int r = r0; r < r1; ++r) {
                const int x = p->clockwise ? p->width - 1 - r : r;
                BYTE* out = p->dst + (size_t)r * p->dst_stride + (size_t)c0 * size;
                const BYTE* in = p->src + (size_t)x * size;
                for (int c = c0; c < c1; ++c, out += size) {
                    const int y = p->clockwise ? c : p->height - 1 - c;
                    const BYTE* q = in + (size_t)y * p->src_stride;
                    for (int k = 0; k < size; ++k)
                        out[k] = q[k];
                }
            }
        }
    }
}

// Result rows r_begin to r_end - 1: the result has one row per source column.
static void turn_band(const void* context, int64_t begin, int64_t end, bool report)
{
    const TurnPass* p = (const TurnPass*)context;
    const int r_begin = (int)begin, r_end = (int)end;
    switch (p->size_px) {
    case 1: turn_tiles<1>(p, r_begin, r_end, report); break;
    case 2: turn_tiles<2>(p, r_begin, r_end, report); break;
    case 3: turn_tiles<3>(p, r_begin, r_end, report); break;
    case 4: turn_tiles<4>(p, r_begin, r_end, report); break;
    default: turn_tiles<0>(p, r_begin, r_end, report); break;
    }
}

// The quarter turns differ only in where a source pixel lands: clockwise,
// source (row y, column x) goes to row width-1-x, column y; counter-
// clockwise to row x, column height-1-y (rows counted from the bottom).
static int rotate_quarter(HGLOBAL* phDib, int* orientation, int clockwise)
{
    if (!phDib)
        return 0;
    HGLOBAL hOld = *phDib;
    BITMAPINFOHEADER* src = lock_image(hOld);
    if (!src)
        return 0;
    int width = src->biWidth, height = src->biHeight, bits = src->biBitCount;
    uint32_t old_stride = dib_row_stride(width, bits);
    uint32_t new_stride = dib_row_stride(height, bits);
    uint32_t offset = dib_pixel_offset(src);
    uint64_t size = (uint64_t)offset + (uint64_t)new_stride * (uint64_t)width;
    if (new_stride == 0 || size > MAX_DIB_BYTES) {
        GlobalUnlock(hOld);
        return 0;
    }
    BYTE* work = NULL;
    HGLOBAL hWork = NULL;
    if (bits < 8) {
        hWork = alloc_work((SIZE_T)width, &work);
        if (!hWork) {
            GlobalUnlock(hOld);
            return 0;
        }
    }
    HGLOBAL hNew = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size);
    BYTE* dst_block = hNew ? (BYTE*)GlobalLock(hNew) : NULL;
    if (!dst_block) {
        if (hNew)
            GlobalFree(hNew);
        free_work(hWork);
        GlobalUnlock(hOld);
        return 0;
    }
    HCURSOR previous = begin_tool();

    // Header, bit-field masks and colour table as they stand.
    memcpy(dst_block, src, offset);
    BITMAPINFOHEADER* dst = (BITMAPINFOHEADER*)dst_block;
    dst->biWidth = height;
    dst->biHeight = width;
    if (dst->biSizeImage)
        dst->biSizeImage = new_stride * (uint32_t)width;
    const BYTE* src_pixels = (const BYTE*)src + offset;
    BYTE* dst_pixels = dst_block + offset;

    if (bits >= 8) {
        TurnPass pass = {src_pixels, old_stride, dst_pixels, new_stride, width, height, bits / 8, clockwise};
        run_row_bands(width, (int64_t)width * height, turn_band, &pass);
    } else {
        for (int y = 0; y < height; ++y) {
            show_progress((double)y / height, 1);
            unpack_row(src_pixels + (size_t)y * old_stride, width, bits, work);
            int col = clockwise ? y : height - 1 - y;
            for (int x = 0; x < width; ++x) {
                int row = clockwise ? width - 1 - x : x;
                BYTE* out = dst_pixels + (size_t)row * new_stride;
                BYTE v = work[x];
                if (bits == 4)
                    out[col >> 1] = (BYTE)(out[col >> 1] + ((col & 1) ? v : v * 16));
                else if (v)
                    out[col >> 3] = (BYTE)(out[col >> 3] + BIT_MASKS[col & 7]);
            }
        }
    }

    GlobalUnlock(hNew);
    free_work(hWork);
    GlobalUnlock(hOld);
    GlobalFree(hOld);
    *phDib = hNew;
    end_tool(previous);
    set_orientation(orientation, orientation_state(orientation) + (clockwise ? 2 : 6));
    return 1;
}

int rotate_cw90(HGLOBAL* phDib, int* orientation)
{
    return rotate_quarter(phDib, orientation, 1);
}

int rotate_ccw90(HGLOBAL* phDib, int* orientation)
{
    return rotate_quarter(phDib, orientation, 0);
}

void apply_orientation_normalize(HGLOBAL* phDib, int* orientation)
{
    if (!phDib)
        return;
    switch (orientation_state(orientation)) {
    case 1:
        flip_left_right(*phDib, orientation);
        break;
    case 2:
        rotate_ccw90(phDib, orientation);
        break;
    case 3:
        flip_top_bottom(*phDib, orientation);
        rotate_ccw90(phDib, orientation);
        break;
    case 4:
        rotate_180(*phDib, orientation);
        break;
    case 5:
        flip_top_bottom(*phDib, orientation);
        break;
    case 6:
        rotate_cw90(phDib, orientation);
        break;
    case 7:
        flip_top_bottom(*phDib, orientation);
        rotate_cw90(phDib, orientation);
        break;
    }
}
