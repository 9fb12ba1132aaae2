// Text on the image (see text_on_image.h). The item is drawn black on white
// into an off-screen bitmap; white becomes the background, black the text
// colour, and the smoothed edges in between a blend of the text colour with
// what lies under them. Colour words hold blue in the low byte, as a 24-bit
// pixel does; the unconverted copy gets its own indices and, under a
// brightness step, colours brought back through the inverse curve.
#include "tools/text_on_image.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"

static const int TEXT_MARGIN = 2;
// The off-screen bitmap is read back in one piece; past this it is refused.
static const int64_t MAX_TEXT_PIXELS = 64LL * 1024 * 1024;
static const char NO_MEMORY[] = "Insufficient Memory for this Operation.";

struct TextColors {
    DWORD text, back;       // 0x00RRGGBB
    BYTE text_index, back_index;
    int transparent;
};

static BYTE channel(DWORD color, int k)  // k: 0 blue, 1 green, 2 red
{
    return (BYTE)(color >> (8 * k));
}

// The blended colour of an edge pixel read as c over base.
static DWORD blend_edge(DWORD c, DWORD base, DWORD text)
{
    DWORD out = 0;
    for (int k = 0; k < 3; ++k) {
        const int cv = channel(c, k), t = channel(text, k), b = channel(base, k);
        int w = 260 - cv;
        if (w > 255)
            w = 255;
        int v = b >= t ? t + (b - t) * cv / 255 : b + (t - b) * w / 255;
        if (v > 255)
            v = 255;
        out |= (DWORD)v << (8 * k);
    }
    return out;
}

static DWORD pixel_color(const BITMAPINFOHEADER* bih, const BYTE* row, int32_t x)
{
    switch (bih->biBitCount) {
    case 16: {
        uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
        return ((v & 31) * 255 / 31) | (((v >> 5) & 31) * 255 / 31) << 8 | (((v >> 10) & 31) * 255 / 31) << 16;
    }
    case 24:
    case 32: {
        const BYTE* p = row + (size_t)x * (bih->biBitCount / 8);
        return p[0] | (DWORD)p[1] << 8 | (DWORD)p[2] << 16;
    }
    default: {
        RGBQUAD q = dib_table_entry(bih, dib_row_index(row, bih->biBitCount, x));
        return q.rgbBlue | (DWORD)q.rgbGreen << 8 | (DWORD)q.rgbRed << 16;
    }
    }
}

static void put_pixel(const BITMAPINFOHEADER* bih, BYTE* row, int32_t x, DWORD color, BYTE index,
                      BYTE alpha, HPALETTE palette, bool by_index)
{
    switch (bih->biBitCount) {
    case 1:
        row[x >> 3] &= (BYTE) ~(0x80 >> (x & 7));
        if (index == 1)
            row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        return;
    case 4:
        row[x >> 1] = (x & 1) ? (BYTE)((row[x >> 1] & 0xF0) | (index & 0x0F))
                              : (BYTE)((row[x >> 1] & 0x0F) | (index << 4));
        return;
    case 8:
        row[x] = by_index || !palette
                     ? index
                     : (BYTE)GetNearestPaletteIndex(palette, RGB(channel(color, 2), channel(color, 1), channel(color, 0)));
        return;
    case 16: {
        uint32_t v = ((uint32_t)(channel(color, 2) >> 3) << 10) | ((uint32_t)(channel(color, 1) >> 3) << 5) |
                     (channel(color, 0) >> 3);
        row[2 * x] = (BYTE)v;
        row[2 * x + 1] = (BYTE)(v >> 8);
        return;
    }
    default: {
        BYTE* p = row + (size_t)x * (bih->biBitCount / 8);
        p[0] = channel(color, 0);
        p[1] = channel(color, 1);
        p[2] = channel(color, 2);
        if (bih->biBitCount == 32)
            p[3] = alpha;
    }
    }
}

// 0 when every alpha byte of a 32-bit image is 0, else 255.
static BYTE alpha_for(BITMAPINFOHEADER* bih)
{
    if (bih->biBitCount != 32)
        return 0;
    const uint32_t stride = dib_row_stride(bih->biWidth, 32);
    const BYTE* rows = dib_pixels(bih);
    for (int64_t i = 3; i < (int64_t)stride * bih->biHeight; i += 4)
        if (rows[i])
            return 255;
    return 0;
}

// Renders the text black on white into rows of 0x00RRGGBB words, top row
// first, in *pixels (caller frees); false when a step fails (nothing is
// drawn then). A box too large to hold, or memory that runs out, is
// reported with the tools' memory message.
static bool render_text(HWND hwnd, HGLOBAL hText, HFONT hFont, int align, bool monochrome, int* width,
                        int* height, DWORD** pixels)
{
    *pixels = NULL;
    const UINT format = align == 0 ? DT_LEFT : align == 1 ? DT_CENTER : DT_RIGHT;
    const char* text = hText ? (const char*)GlobalLock(hText) : NULL;
    if (!text)
        return false;
    bool ok = false;
    HDC hdcWindow = GetDC(hwnd);
    if (hdcWindow) {
        RECT r = {0, 0, 1, 1};
        HGDIOBJ old_font = SelectObject(hdcWindow, hFont);
        SetBkMode(hdcWindow, TRANSPARENT);
        DrawTextA(hdcWindow, text, -1, &r, format | DT_CALCRECT);
        SelectObject(hdcWindow, old_font);
        r.right += 2 * TEXT_MARGIN;
        r.bottom += 2 * TEXT_MARGIN;
        const int64_t area = (int64_t)r.right * r.bottom;
        // The words the bitmap is read back into come first: a block of up
        // to 256 MB may not be had in a 32-bit process.
        DWORD* words = area > 0 && area <= MAX_TEXT_PIXELS ? (DWORD*)calloc((size_t)area, sizeof(DWORD)) : NULL;
        if (!words && area > 0)
            seam_message_box(NULL, NO_MEMORY, NULL, MB_ICONHAND);
        HDC hdcMemory = words ? CreateCompatibleDC(hdcWindow) : NULL;
        HBITMAP bitmap = NULL;
        if (hdcMemory)
            bitmap = CreateCompatibleBitmap(monochrome ? hdcMemory : hdcWindow, r.right, r.bottom);
        HGDIOBJ old_bitmap = bitmap ? SelectObject(hdcMemory, bitmap) : NULL;
        if (old_bitmap) {
            HGDIOBJ old = SelectObject(hdcMemory, hFont);
            FillRect(hdcMemory, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
            SetTextColor(hdcMemory, RGB(0, 0, 0));
            SetBkMode(hdcMemory, TRANSPARENT);
            RECT inner = {TEXT_MARGIN, TEXT_MARGIN, r.right - TEXT_MARGIN, r.bottom - TEXT_MARGIN};
            DrawTextA(hdcMemory, text, -1, &inner, format);
            SelectObject(hdcMemory, old);
            SelectObject(hdcMemory, old_bitmap);
            // Read as 32-bit rows, top-down: the same words GetPixel gives, blue low.
            BITMAPINFO info;
            memset(&info, 0, sizeof info);
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = r.right;
            info.bmiHeader.biHeight = -r.bottom;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            ok = GetDIBits(hdcMemory, bitmap, 0, (UINT)r.bottom, words, &info, DIB_RGB_COLORS) == r.bottom;
            *width = r.right;
            *height = r.bottom;
        }
        if (bitmap)
            DeleteObject(bitmap);
        if (hdcMemory)
            DeleteDC(hdcMemory);
        ReleaseDC(hwnd, hdcWindow);
        if (ok)
            *pixels = words;
        else
            free(words);
    }
    GlobalUnlock(hText);
    return ok;
}

// Writes one item into an image; 0 when nothing could be drawn.
static int draw_text_into_dib(HGLOBAL hImage, HGLOBAL hText, HFONT hFont, int x, int y,
                              const TextColors& colors, int align, HWND hwnd)
{
    if (!is_valid_packed_dib(hImage))
        return 0;
    const int bits = dib_bit_count(hImage);
    int width = 0, height = 0;
    DWORD* pixels = NULL;
    if (!render_text(hwnd, hText, hFont, align, bits <= 4, &width, &height, &pixels))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!bih) {
        free(pixels);
        return 0;
    }
    HPALETTE palette = bits == 8 ? create_dib_palette(bih, hwnd) : NULL;
    const BYTE alpha = alpha_for(bih);
    const int32_t iw = bih->biWidth, ih = bih->biHeight;
    const uint32_t stride = dib_row_stride(iw, bits);
    for (int row = 0; row < height; ++row) {
        show_progress((double)row / height, 1);
        const int64_t Y = (int64_t)y + row;
        if (Y < 0)
            continue;
        if (Y >= ih)
            break;
        BYTE* image_row = dib_pixels(bih) + (size_t)(ih - 1 - Y) * stride;
        for (int col = 0; col < width; ++col) {
            const int64_t X = (int64_t)x + col;
            if (X < 0)
                continue;
            if (X >= iw)
                break;
            const DWORD c = pixels[(size_t)row * width + col] & 0xFFFFFF;
            if (c == 0xFFFFFF) {
                if (!colors.transparent)
                    put_pixel(bih, image_row, (int32_t)X, colors.back, colors.back_index, alpha, palette, true);
            } else if (c == 0) {
                put_pixel(bih, image_row, (int32_t)X, colors.text, colors.text_index, alpha, palette, true);
            } else if (bits >= 8) {
                DWORD base = colors.transparent ? pixel_color(bih, image_row, (int32_t)X) : colors.back;
                put_pixel(bih, image_row, (int32_t)X, blend_edge(c, base, colors.text), 0, alpha, palette, false);
            }
        }
    }
    if (palette)
        DeleteObject(palette);
    GlobalUnlock(hImage);
    free(pixels);
    return 1;
}

// The inverse of the brightness curve for a step.
static DWORD compensate(DWORD color, int step)
{
    const double e = pow(2.0, step / 2.0);
    DWORD out = 0;
    for (int k = 0; k < 3; ++k)
        out |= (DWORD)(255.0 * pow(channel(color, k) / 255.0, e) + 0.5) << (8 * k);
    return out;
}

int write_text_on_image(HGLOBAL hImage, HGLOBAL hUnconverted, HGLOBAL hText, HFONT hFont, int x,
                         int y, DWORD text_color, DWORD back_color, BYTE text_index,
                         BYTE back_index, int transparent_back, int align, HWND hwnd,
                         int brightness_step, int color_conversion)
{
    TextColors colors = {text_color & 0xFFFFFF, back_color & 0xFFFFFF, text_index, back_index, transparent_back};
    show_progress(0, 0);
    const int drawn = draw_text_into_dib(hImage, hText, hFont, x, y, colors, align, hwnd);
    show_progress(0, 0);
    // The copy follows the image only when the image took the text.
    if (!drawn || !hUnconverted || !is_valid_packed_dib(hUnconverted))
        return drawn;

    BITMAPINFOHEADER* copy = (BITMAPINFOHEADER*)GlobalLock(hUnconverted);
    if (!copy)
        return drawn;
    if (copy->biBitCount <= 8) {
        if (brightness_step != 0 && color_conversion != 0) {
            colors.text = compensate(colors.text, brightness_step);
            colors.back = compensate(colors.back, brightness_step);
        }
        HPALETTE palette = create_dib_palette(copy, hwnd);
        if (palette) {
            DWORD t = colors.text, b = colors.back;
            colors.text_index = (BYTE)GetNearestPaletteIndex(palette, RGB(channel(t, 2), channel(t, 1), channel(t, 0)));
            colors.back_index = (BYTE)GetNearestPaletteIndex(palette, RGB(channel(b, 2), channel(b, 1), channel(b, 0)));
            DeleteObject(palette);
        }
    } else {
        colors.text_index = colors.back_index = 0;
        if (brightness_step != 0) {
            colors.text = compensate(colors.text, brightness_step);
            colors.back = compensate(colors.back, brightness_step);
        }
    }
    GlobalUnlock(hUnconverted);
    show_progress(0, 0);
    draw_text_into_dib(hUnconverted, hText, hFont, x, y, colors, align, hwnd);
    show_progress(0, 0);
    return drawn;
}
