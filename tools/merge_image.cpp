// Merging another image into the current one (see merge_image.h). The
// composition is drawn into a 24-bit DIB section, so the result is exact
// whatever the display's depth, and read back as a new 24-bit image. Every
// GDI step is checked: a failed one leaves the current image as it was.
// The Merge window and its Open-dialog hook belong to the viewer windows.
#include "tools/merge_image.h"

#include <string.h>

#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "resources/resource.h"
#include "tools/edit_history.h"

HGLOBAL make_transparency_mask(HGLOBAL hSource, COLORREF key_color, int key_index)
{
    if (!is_valid_packed_dib(hSource))
        return NULL;
    BITMAPINFOHEADER* src = (BITMAPINFOHEADER*)GlobalLock(hSource);
    if (!src)
        return NULL;
    const int32_t width = src->biWidth, height = src->biHeight;
    const int bits = src->biBitCount;
    HGLOBAL hMask = create_packed_dib(width, height, 1, 2);
    BITMAPINFOHEADER* mask = hMask ? (BITMAPINFOHEADER*)GlobalLock(hMask) : NULL;
    if (!mask) {
        if (hMask)
            GlobalFree(hMask);
        GlobalUnlock(hSource);
        return NULL;
    }
    mask->biXPelsPerMeter = src->biXPelsPerMeter;
    mask->biYPelsPerMeter = src->biYPelsPerMeter;
    mask->biClrUsed = 0;
    const RGBQUAD black = {0, 0, 0, 0}, white = {255, 255, 255, 0};
    dib_color_table(mask)[0] = black;
    dib_color_table(mask)[1] = white;

    const BYTE kr = GetRValue(key_color), kg = GetGValue(key_color), kb = GetBValue(key_color);
    const uint32_t key16 = ((uint32_t)(kr >> 3) << 10) | ((uint32_t)(kg >> 3) << 5) | (kb >> 3);
    const uint32_t src_stride = dib_row_stride(width, bits), mask_stride = dib_row_stride(width, 1);
    const uint32_t colors = bits <= 8 ? dib_color_count(src) : 0;
    const RGBQUAD* table = bits <= 8 ? dib_color_table(src) : NULL;
    const BYTE* src_rows = dib_pixels(src);
    BYTE* mask_rows = dib_pixels(mask);
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* row = src_rows + (size_t)y * src_stride;
        BYTE* out = mask_rows + (size_t)y * mask_stride;
        for (int32_t x = 0; x < width; ++x) {
            int hit = 0;
            if (bits <= 8) {
                uint32_t index = dib_row_index(row, bits, x);
                if (key_index >= 0)
                    hit = index == (uint32_t)key_index;
                else if (index < colors)
                    hit = table[index].rgbRed == kr && table[index].rgbGreen == kg && table[index].rgbBlue == kb;
            } else if (bits == 16) {
                hit = (uint32_t)(row[2 * x] | (row[2 * x + 1] << 8)) == key16;
            } else if (bits == 24) {
                const BYTE* p = row + 3 * (size_t)x;
                hit = p[0] == kb && p[1] == kg && p[2] == kr;
            } else {
                const BYTE* p = row + 4 * (size_t)x;
                hit = key_index >= 0 ? p[3] == 0 : (p[0] == kb && p[1] == kg && p[2] == kr);
            }
            if (hit)
                out[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        }
    }
    GlobalUnlock(hMask);
    GlobalUnlock(hSource);
    return hMask;
}

// Blue, green, red of pixel x of an image row.
static void pixel_bgr(const BITMAPINFOHEADER* bih, const BYTE* row, int32_t x, BYTE out[3])
{
    switch (bih->biBitCount) {
    case 16: {
        uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
        out[0] = (BYTE)((v & 31) * 255 / 31);
        out[1] = (BYTE)(((v >> 5) & 31) * 255 / 31);
        out[2] = (BYTE)(((v >> 10) & 31) * 255 / 31);
        return;
    }
    case 24:
    case 32:
        memcpy(out, row + (size_t)x * (bih->biBitCount / 8), 3);
        return;
    default: {
        RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bih->biBitCount, x));
        out[0] = q.rgbBlue;
        out[1] = q.rgbGreen;
        out[2] = q.rgbRed;
    }
    }
}

void blend_through_mask(HGLOBAL hImage, HGLOBAL hSource, HGLOBAL hWork, int x, int y)
{
    if (!is_valid_packed_dib(hImage) || !is_valid_packed_dib(hSource) || !is_valid_packed_dib(hWork))
        return;
    BITMAPINFOHEADER* image = (BITMAPINFOHEADER*)GlobalLock(hImage);
    BITMAPINFOHEADER* src = (BITMAPINFOHEADER*)GlobalLock(hSource);
    BITMAPINFOHEADER* work = (BITMAPINFOHEADER*)GlobalLock(hWork);
    if (image && src && work && src->biBitCount == 32 && work->biBitCount == 24 &&
        work->biWidth == src->biWidth && work->biHeight == src->biHeight) {
        const int32_t w = src->biWidth, h = src->biHeight, iw = image->biWidth, ih = image->biHeight;
        const uint32_t image_stride = dib_row_stride(iw, image->biBitCount);
        const uint32_t src_stride = dib_row_stride(w, 32), work_stride = dib_row_stride(w, 24);
        for (int32_t r = 0; r < h; ++r) {
            const int64_t Y = (int64_t)y + r;
            if (Y < 0)
                continue;
            if (Y >= ih)
                break;
            const BYTE* image_row = dib_pixels(image) + (size_t)(ih - 1 - Y) * image_stride;
            const BYTE* src_row = dib_pixels(src) + (size_t)(h - 1 - r) * src_stride;
            BYTE* work_row = dib_pixels(work) + (size_t)(h - 1 - r) * work_stride;
            for (int32_t c = 0; c < w; ++c) {
                const int64_t X = (int64_t)x + c;
                if (X < 0)
                    continue;
                if (X >= iw)
                    break;
                BYTE under[3];
                pixel_bgr(image, image_row, (int32_t)X, under);
                const BYTE* s = src_row + 4 * (size_t)c;
                const unsigned a = s[3];
                for (int k = 0; k < 3; ++k)
                    work_row[3 * c + k] = (BYTE)((s[k] * a + under[k] * (255 - a)) / 255);
            }
        }
    }
    if (work)
        GlobalUnlock(hWork);
    if (src)
        GlobalUnlock(hSource);
    if (image)
        GlobalUnlock(hImage);
}

// Draws an image at its own size at (x, y) with a raster operation.
static int blit_dib(HDC hdc, HGLOBAL hDib, int x, int y, DWORD rop)
{
    if (!is_valid_packed_dib(hDib))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!bih)
        return 0;
    int lines = StretchDIBits(hdc, x, y, bih->biWidth, bih->biHeight, 0, 0, bih->biWidth, bih->biHeight,
                              dib_pixels(bih), (const BITMAPINFO*)bih, DIB_RGB_COLORS, rop);
    GlobalUnlock(hDib);
    return lines > 0;
}

// The source's pixels where the mask bit is clear, the image elsewhere.
static int blit_through_mask(HDC hdc, HGLOBAL hSource, HGLOBAL hMask, int x, int y)
{
    return blit_dib(hdc, hSource, x, y, SRCINVERT) && blit_dib(hdc, hMask, x, y, SRCAND) &&
           blit_dib(hdc, hSource, x, y, SRCINVERT);
}

// A cursor of 8 bits or fewer, pixel by pixel over the mask's size: a clear
// mask bit takes the source's colour; a set bit with index 0 (transparent)
// is white when drawn opaquely, a set bit with another index (inverting) is
// black, or inverts the image under it when drawn transparently.
static int draw_cursor_pixels(HDC hdc, HGLOBAL hSource, HGLOBAL hMask, int left, int top, int draw_transparent)
{
    if (!is_valid_packed_dib(hMask))
        return 0;
    BITMAPINFOHEADER* src = (BITMAPINFOHEADER*)GlobalLock(hSource);
    BITMAPINFOHEADER* mask = (BITMAPINFOHEADER*)GlobalLock(hMask);
    if (src && mask) {
        const int32_t w = mask->biWidth < src->biWidth ? mask->biWidth : src->biWidth;
        const int32_t h = mask->biHeight < src->biHeight ? mask->biHeight : src->biHeight;
        const uint32_t stride = dib_row_stride(src->biWidth, src->biBitCount);
        const uint32_t mask_stride = dib_row_stride(mask->biWidth, 1);
        for (int32_t row = 0; row < h; ++row)
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t index = dib_row_index(dib_pixels(src) + (size_t)row * stride, src->biBitCount, x);
                const bool set = dib_row_index(dib_pixels(mask) + (size_t)row * mask_stride, 1, x) != 0;
                const int tx = left + x, ty = top + h - 1 - row;
                if (!set) {
                    const RGBQUAD q = dib_table_entry(src, index);
                    SetPixel(hdc, tx, ty, RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
                } else if (!draw_transparent) {
                    SetPixel(hdc, tx, ty, index == 0 ? RGB(255, 255, 255) : RGB(0, 0, 0));
                } else if (index != 0) {
                    const COLORREF under = GetPixel(hdc, tx, ty);
                    if (under != CLR_INVALID)
                        SetPixel(hdc, tx, ty, RGB(255 - GetRValue(under), 255 - GetGValue(under), 255 - GetBValue(under)));
                }
            }
    }
    if (mask)
        GlobalUnlock(hMask);
    if (src)
        GlobalUnlock(hSource);
    return src && mask;
}

void merge_metafile_target(HGLOBAL hSource, HDC hdcWindow, RECT placement, RECT* target, RECT* reach)
{
    RECT frame = {0, 0, 0, 0};
    get_emf_info((HENHMETAFILE)hSource, NULL, &frame, hdcWindow);
    LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetRect(target, placement.left, placement.top, placement.left + (width < 1 ? 1 : width),
            placement.top + (height < 1 ? 1 : height));
    SetRect(reach, target->left, target->top, target->right + 1, target->bottom + 1);
}

int merge_image_into_dib(HGLOBAL hImage, HGLOBAL hSource, HGLOBAL hMask, int kind, HDC hdcWindow,
                         HDC hdcMemory, HWND hwnd, RECT placement, RECT metafile_frame,
                         HBRUSH background, int draw_transparent)
{
    (void)hwnd;
    (void)metafile_frame;  // a metafile's frame is read from the source itself
    if (!hSource)
        return 0;
    const int left = placement.left, top = placement.top;
    switch (kind) {
    case MERGE_RASTER:
    case MERGE_ON_OFF_TRANSPARENCY:
        if (draw_transparent && hMask)
            return blit_through_mask(hdcMemory, hSource, hMask, left, top);
        return blit_dib(hdcMemory, hSource, left, top, SRCCOPY);
    case MERGE_PARTIAL_ALPHA:
        if (draw_transparent && hMask) {
            blend_through_mask(hImage, hSource, hMask, left, top);
            return blit_dib(hdcMemory, hMask, left, top, SRCCOPY);
        }
        return blit_dib(hdcMemory, hSource, left, top, SRCCOPY);
    case MERGE_ICON:
        if (!hMask)
            return 0;
        if (g_iconIsCursor && dib_bit_count(hSource) <= 8)
            return draw_cursor_pixels(hdcMemory, hSource, hMask, left, top, draw_transparent);
        if (!draw_transparent && !FillRect(hdcMemory, &placement, background))
            return 0;
        return blit_through_mask(hdcMemory, hSource, hMask, left, top);
    case MERGE_EMF: {
        RECT target, reach;
        merge_metafile_target(hSource, hdcWindow, placement, &target, &reach);
        if (!draw_transparent && !FillRect(hdcMemory, &target, background))
            return 0;
        const int saved = SaveDC(hdcMemory);
        IntersectClipRect(hdcMemory, reach.left, reach.top, reach.right, reach.bottom);
        const int whole = play_emf(hdcMemory, (HENHMETAFILE)hSource, &target);
        RestoreDC(hdcMemory, saved);
        return whole;
    }
    }
    return 1;
}

// A 24-bit section of the image's size holding the image; null (nothing
// left selected or allocated) when any step fails.
static HBITMAP make_work_section(HDC hdcMemory, HGLOBAL hImage, BYTE** bits)
{
    BITMAPINFOHEADER* image = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!image)
        return NULL;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image->biWidth;
    info.bmiHeader.biHeight = image->biHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* pixels = NULL;
    HBITMAP section = CreateDIBSection(hdcMemory, &info, DIB_RGB_COLORS, &pixels, NULL, 0);
    if (section) {
        HGDIOBJ old = SelectObject(hdcMemory, section);
        int lines = old ? SetDIBitsToDevice(hdcMemory, 0, 0, image->biWidth, image->biHeight, 0, 0, 0,
                                            image->biHeight, dib_pixels(image), (const BITMAPINFO*)image,
                                            DIB_RGB_COLORS)
                        : 0;
        if (lines != image->biHeight) {
            if (old)
                SelectObject(hdcMemory, old);
            DeleteObject(section);
            section = NULL;
        }
    }
    GlobalUnlock(hImage);
    *bits = (BYTE*)pixels;
    return section;
}

// The section's rows as a new 24-bit image with the image's resolution.
static HGLOBAL read_back(HGLOBAL hImage, const BYTE* bits)
{
    BITMAPINFOHEADER* image = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!image)
        return NULL;
    HGLOBAL hResult = create_packed_dib(image->biWidth, image->biHeight, 24, 0);
    BITMAPINFOHEADER* result = hResult ? (BITMAPINFOHEADER*)GlobalLock(hResult) : NULL;
    if (result) {
        result->biXPelsPerMeter = image->biXPelsPerMeter;
        result->biYPelsPerMeter = image->biYPelsPerMeter;
        GdiFlush();
        memcpy(dib_pixels(result), bits, (size_t)dib_row_stride(image->biWidth, 24) * image->biHeight);
        GlobalUnlock(hResult);
    }
    GlobalUnlock(hImage);
    return hResult;
}

int merge_into_current_image(HWND hwndMain, HWND hwndView, HWND hwndDraw, HGLOBAL* phImage,
                             HGLOBAL* phUnconverted, HGLOBAL hSource, HGLOBAL hMask, int kind,
                             RECT placement, RECT metafile_frame, HBRUSH background,
                             int draw_transparent, int from_clipboard, int* color_conversion,
                             int replaying, int* brightness_step)
{
    if (!phImage || !is_valid_packed_dib(*phImage))
        return 0;
    HDC hdcWindow = GetDC(hwndDraw);
    if (!hdcWindow)
        return 0;
    HGLOBAL hResult = NULL;
    // A metafile source cut in its play is not merged, and the refusal is
    // said here, once.
    CommandPlays refusing;
    HDC hdcMemory = CreateCompatibleDC(hdcWindow);
    if (hdcMemory) {
        BYTE* bits = NULL;
        HGDIOBJ old = GetCurrentObject(hdcMemory, OBJ_BITMAP);
        HBITMAP section = make_work_section(hdcMemory, *phImage, &bits);
        if (section) {
            if (merge_image_into_dib(*phImage, hSource, hMask, kind, hdcWindow, hdcMemory, hwndDraw,
                                     placement, metafile_frame, background, draw_transparent))
                hResult = read_back(*phImage, bits);
            SelectObject(hdcMemory, old);
            DeleteObject(section);
        }
        DeleteDC(hdcMemory);
    }
    ReleaseDC(hwndDraw, hdcWindow);
    if (!hResult) {
        if (kind == MERGE_EMF)
            say_metafile_fault(hwndMain, metafile_play_fault(hSource));
        return 0;
    }

    GlobalFree(*phImage);
    *phImage = hResult;
    if (phUnconverted && *phUnconverted) {
        GlobalFree(*phUnconverted);
        *phUnconverted = NULL;
    }
    if (brightness_step)
        *brightness_step = 0;
    if (color_conversion)
        *color_conversion = 0;
    if (!replaying)
        push_edit_record(from_clipboard ? EDIT_MERGE_CLIPBOARD : EDIT_MERGE_FILE, 0);
    if (hwndMain)
        InvalidateRect(GetDlgItem(hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
    if (hwndView && IsWindow(hwndView))
        InvalidateRect(hwndView, NULL, TRUE);
    return 1;
}
