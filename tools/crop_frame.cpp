// Crop, frame, the crop window's 16-pixel margin and promotion to 24 bits
// (see crop_frame.h). Each builds a new block and leaves the source alone;
// only add_frame replaces the caller's handle, and only once the new block
// is complete. Sizes are worked out in 64 bits and refused past the image
// model's limits before anything is allocated.
#include "tools/crop_frame.h"

#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"

#include <string.h>

static const char NO_MEMORY[] = "Insufficient Memory for this Operation.";

enum { MARGIN = 16 };

static void report_no_memory(void)
{
    seam_message_box(NULL, NO_MEMORY, NULL, MB_ICONHAND);
}

// Locks a valid image; null for a damaged or missing one.
static BITMAPINFOHEADER* lock_image(HGLOBAL hDib)
{
    if (!is_valid_packed_dib(hDib))
        return NULL;
    return (BITMAPINFOHEADER*)GlobalLock(hDib);
}

// A zero-filled block for width x height pixels of the source's depth whose
// header, masks and colour table are the source's (biSizeImage cleared, as
// it would be stale). Null when the size is refused or memory runs out.
static HGLOBAL new_block_like(const BITMAPINFOHEADER* src, int64_t width, int64_t height,
                              BITMAPINFOHEADER** dst)
{
    *dst = NULL;
    if (width <= 0 || height <= 0 || width > MAX_DIB_DIMENSION || height > MAX_DIB_DIMENSION)
        return NULL;
    uint32_t stride = dib_row_stride((int32_t)width, src->biBitCount);
    uint32_t head = dib_pixel_offset(src);
    uint64_t size = (uint64_t)head + (uint64_t)stride * (uint64_t)height;
    if (stride == 0 || size > MAX_DIB_BYTES)
        return NULL;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size);
    BITMAPINFOHEADER* bih = h ? (BITMAPINFOHEADER*)GlobalLock(h) : NULL;
    if (!bih) {
        if (h)
            GlobalFree(h);
        return NULL;
    }
    memcpy(bih, src, head);
    bih->biWidth = (LONG)width;
    bih->biHeight = (LONG)height;
    bih->biSizeImage = 0;
    *dst = bih;
    return h;
}

static uint32_t get_pixel_index(const BYTE* row, int bits, int64_t x)
{
    return bits == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1 : (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
}

// Writes a 1- or 4-bit value into a zero-filled row.
static void put_pixel_index(BYTE* row, int bits, int64_t x, uint32_t v)
{
    if (bits == 1)
        row[x >> 3] |= (BYTE)((v & 1) << (7 - (x & 7)));
    else
        row[x >> 1] |= (BYTE)((x & 1) ? (v & 0x0F) : (v & 0x0F) << 4);
}

// Copies count pixels from src_x of one row to dst_x of a zero-filled row.
static void copy_pixels(BYTE* dst, int64_t dst_x, const BYTE* src, int64_t src_x, int64_t count, int bits)
{
    if (bits >= 8) {
        size_t size = (size_t)bits / 8;
        memcpy(dst + (size_t)dst_x * size, src + (size_t)src_x * size, (size_t)count * size);
        return;
    }
    for (int64_t i = 0; i < count; ++i)
        put_pixel_index(dst, bits, dst_x + i, get_pixel_index(src, bits, src_x + i));
}

HGLOBAL crop_image(int left, int top, int width, int height, HGLOBAL hDib)
{
    BITMAPINFOHEADER* src = lock_image(hDib);
    if (!src)
        return NULL;
    const int64_t old_w = src->biWidth, old_h = src->biHeight;
    // A rectangle replayed from a record or drawn past an edge is cut to
    // the image; nothing left means nothing to make.
    int64_t x0 = left < 0 ? 0 : left, y0 = top < 0 ? 0 : top;
    int64_t x1 = (int64_t)left + width, y1 = (int64_t)top + height;
    if (x1 > old_w)
        x1 = old_w;
    if (y1 > old_h)
        y1 = old_h;
    if (x1 <= x0 || y1 <= y0) {
        GlobalUnlock(hDib);
        return NULL;
    }
    const int64_t w = x1 - x0, h = y1 - y0;
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    BITMAPINFOHEADER* dst;
    HGLOBAL hNew = new_block_like(src, w, h, &dst);
    if (!hNew) {
        GlobalUnlock(hDib);
        report_no_memory();
        SetCursor(previous);
        return NULL;
    }
    const int bits = src->biBitCount;
    const uint32_t src_stride = dib_row_stride(src->biWidth, bits);
    const uint32_t dst_stride = dib_row_stride((int32_t)w, bits);
    const int64_t first = old_h - y0 - h;
    for (int64_t r = 0; r < h; ++r) {
        show_progress((double)(first + r) / (double)(old_h - y0), PROGRESS_MODE_RESAMPLE);
        copy_pixels(dib_pixels(dst) + (size_t)r * dst_stride, 0,
                    dib_pixels(src) + (size_t)(first + r) * src_stride, x0, w, bits);
    }
    GlobalUnlock(hNew);
    GlobalUnlock(hDib);
    fit_image_rect((int32_t)w, (int32_t)h, 0);
    show_progress(0, PROGRESS_MODE_RESAMPLE);
    SetCursor(previous);
    return hNew;
}

// The frame's pixel value, packed as it is stored (little-endian bytes).
static uint32_t frame_pixel(const BITMAPINFOHEADER* src, DWORD color, BYTE index, int transparent_frame)
{
    const uint32_t blue = color & 0xFF, green = (color >> 8) & 0xFF, red = (color >> 16) & 0xFF;
    switch (src->biBitCount) {
    case 1:
        return index ? 1 : 0;
    case 4:
        return index & 0x0F;
    case 8:
        return index;
    case 16:
        return (red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3);
    case 24:
        return blue | green << 8 | red << 16;
    }
    // 32 bits: opaque only when the picture uses its alpha at all.
    bool uses_alpha = false;
    const uint32_t stride = dib_row_stride(src->biWidth, 32);
    const BYTE* pixels = dib_pixels((BITMAPINFOHEADER*)src);
    for (int64_t y = 0; y < src->biHeight && !uses_alpha; ++y)
        for (int64_t x = 0; x < src->biWidth; ++x)
            if (pixels[(size_t)y * stride + 4 * x + 3]) {
                uses_alpha = true;
                break;
            }
    uint32_t alpha = transparent_frame || !uses_alpha ? 0 : 255;
    return blue | green << 8 | red << 16 | alpha << 24;
}

static void put_frame_pixels(BYTE* row, int64_t x, int64_t count, int bits, uint32_t value)
{
    if (bits < 8) {
        for (int64_t i = 0; i < count; ++i)
            put_pixel_index(row, bits, x + i, value);
        return;
    }
    size_t size = (size_t)bits / 8;
    for (int64_t i = 0; i < count; ++i)
        memcpy(row + (size_t)(x + i) * size, &value, size);
}

int add_frame(HGLOBAL* phDib, DWORD color, int left, int top, int right, int bottom,
              BYTE palette_index, int transparent_frame)
{
    // Widths come back from edit records too: a negative one is refused.
    if (!phDib || left < 0 || top < 0 || right < 0 || bottom < 0)
        return 0;
    BITMAPINFOHEADER* src = lock_image(*phDib);
    if (!src)
        return 0;
    const int64_t w = src->biWidth, h = src->biHeight;
    const int64_t new_w = w + left + right, new_h = h + top + bottom;
    BITMAPINFOHEADER* dst;
    HGLOBAL hNew = new_block_like(src, new_w, new_h, &dst);
    if (!hNew) {
        GlobalUnlock(*phDib);
        return 0;
    }
    const int bits = src->biBitCount;
    const uint32_t value = frame_pixel(src, color, palette_index, transparent_frame);
    const uint32_t src_stride = dib_row_stride((int32_t)w, bits);
    const uint32_t dst_stride = dib_row_stride((int32_t)new_w, bits);
    show_progress(0, 1);
    for (int64_t r = 0; r < new_h; ++r) {
        show_progress((double)r / (double)new_h, 1);
        BYTE* row = dib_pixels(dst) + (size_t)r * dst_stride;
        if (r < bottom || r >= h + bottom) {
            put_frame_pixels(row, 0, new_w, bits, value);
            continue;
        }
        put_frame_pixels(row, 0, left, bits, value);
        copy_pixels(row, left, dib_pixels(src) + (size_t)(r - bottom) * src_stride, 0, w, bits);
        put_frame_pixels(row, left + w, right, bits, value);
    }
    show_progress(0, 1);
    GlobalUnlock(hNew);
    GlobalUnlock(*phDib);
    GlobalFree(*phDib);
    *phDib = hNew;
    return 1;
}

// Copies the picture between a block and one with a 16-pixel border:
// grow 1 adds the border, -1 takes it away.
static HGLOBAL change_margin(HGLOBAL hDib, int grow)
{
    BITMAPINFOHEADER* src = lock_image(hDib);
    if (!src)
        return NULL;
    const int64_t w = src->biWidth, h = src->biHeight;
    const int64_t new_w = w + grow * 2 * MARGIN, new_h = h + grow * 2 * MARGIN;
    if (new_w <= 0 || new_h <= 0) {
        GlobalUnlock(hDib);
        return NULL;
    }
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    BITMAPINFOHEADER* dst;
    HGLOBAL hNew = new_block_like(src, new_w, new_h, &dst);
    if (!hNew) {
        GlobalUnlock(hDib);
        report_no_memory();
        SetCursor(previous);
        return NULL;
    }
    const int bits = src->biBitCount;
    const uint32_t src_stride = dib_row_stride((int32_t)w, bits);
    const uint32_t dst_stride = dib_row_stride((int32_t)new_w, bits);
    const int64_t rows = grow > 0 ? h : new_h, cols = grow > 0 ? w : new_w;
    for (int64_t y = 0; y < rows; ++y) {
        show_progress((double)y / (double)rows, PROGRESS_MODE_RESAMPLE);
        if (grow > 0)
            copy_pixels(dib_pixels(dst) + (size_t)(y + MARGIN) * dst_stride, MARGIN,
                        dib_pixels(src) + (size_t)y * src_stride, 0, cols, bits);
        else
            copy_pixels(dib_pixels(dst) + (size_t)y * dst_stride, 0,
                        dib_pixels(src) + (size_t)(y + MARGIN) * src_stride, MARGIN, cols, bits);
    }
    GlobalUnlock(hNew);
    GlobalUnlock(hDib);
    show_progress(0, PROGRESS_MODE_RESAMPLE);
    SetCursor(previous);
    return hNew;
}

HGLOBAL add_margin16(HGLOBAL hDib)
{
    return change_margin(hDib, 1);
}

HGLOBAL strip_margin16(HGLOBAL hDib)
{
    return change_margin(hDib, -1);
}

// 5-bit channel widened to 8 bits.
static BYTE widen5(uint32_t c)
{
    return (BYTE)((c & 31) * 255 / 31);
}

HGLOBAL to_truecolor24(HGLOBAL hDib)
{
    BITMAPINFOHEADER* src = lock_image(hDib);
    if (!src)
        return NULL;
    const int bits = src->biBitCount;
    if (bits == 24) {
        GlobalUnlock(hDib);
        return hDib;
    }
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    const int32_t w = src->biWidth, h = src->biHeight;
    HGLOBAL hNew = create_packed_dib(w, h, 24, 0);
    BITMAPINFOHEADER* dst = hNew ? (BITMAPINFOHEADER*)GlobalLock(hNew) : NULL;
    if (!dst) {
        if (hNew)
            GlobalFree(hNew);
        GlobalUnlock(hDib);
        report_no_memory();
        SetCursor(previous);
        return NULL;
    }
    dst->biXPelsPerMeter = src->biXPelsPerMeter;
    dst->biYPelsPerMeter = src->biYPelsPerMeter;
    const uint32_t src_stride = dib_row_stride(w, bits), dst_stride = dib_row_stride(w, 24);
    for (int32_t y = 0; y < h; ++y) {
        show_progress((double)y / h, PROGRESS_MODE_RESAMPLE);
        const BYTE* in = dib_pixels(src) + (size_t)y * src_stride;
        BYTE* out = dib_pixels(dst) + (size_t)y * dst_stride;
        for (int32_t x = 0; x < w; ++x, out += 3) {
            if (bits <= 8) {
                RGBQUAD q = dib_table_entry(src, dib_row_index(in, bits, x));
                out[0] = q.rgbBlue;
                out[1] = q.rgbGreen;
                out[2] = q.rgbRed;
            } else if (bits == 16) {
                uint32_t v = in[2 * x] | in[2 * x + 1] << 8;
                out[0] = widen5(v);
                out[1] = widen5(v >> 5);
                out[2] = widen5(v >> 10);
            } else {
                memcpy(out, in + 4 * (size_t)x, 3);
            }
        }
    }
    GlobalUnlock(hNew);
    GlobalUnlock(hDib);
    show_progress(0, PROGRESS_MODE_RESAMPLE);
    SetCursor(previous);
    return hNew;
}
