// GIF animation (see gif_anim.h). The canvases are locked only while a step
// works on them. The save canvas is brought up to date over each frame's
// rectangle once that frame has been disposed of, so it always holds the
// picture as it was before the frame now shown: what disposal 3 restores.
#include "image/gif_anim.h"

#include <stdio.h>
#include <string.h>

#include "image/animation_timer.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/gif_read.h"
#include "image/loader_shared.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/seams.h"
#include "resources/resource.h"

enum { GIF_PRESET_DELAY = 12 };

int g_gifContinuing;
int g_frameLeft;
int g_frameTop;
int g_frameWidth;
int g_frameHeight;
DWORD g_gifBackgroundColor;
BYTE g_gifDisposal;
int g_gifFrameNumber;
HGLOBAL g_hAnimCanvas;
HGLOBAL g_hAnimCanvasSave;
int g_infoTextLen;

// A frame's rectangle clipped to the canvas; empty when nothing is inside.
struct CanvasRect {
    int32_t x0, y0, x1, y1;  // rows counted from the top; x1, y1 exclusive
};

static CanvasRect clip_to_canvas(const BITMAPINFOHEADER* canvas, int64_t left, int64_t top,
                                 int64_t width, int64_t height)
{
    CanvasRect r = {0, 0, 0, 0};
    int64_t x0 = left < 0 ? 0 : left;
    int64_t y0 = top < 0 ? 0 : top;
    int64_t x1 = left + width;
    int64_t y1 = top + height;
    if (x1 > canvas->biWidth)
        x1 = canvas->biWidth;
    if (y1 > canvas->biHeight)
        y1 = canvas->biHeight;
    if (x0 >= x1 || y0 >= y1)
        return r;
    r.x0 = (int32_t)x0;
    r.y0 = (int32_t)y0;
    r.x1 = (int32_t)x1;
    r.y1 = (int32_t)y1;
    return r;
}

static BYTE* canvas_row(BITMAPINFOHEADER* canvas, int32_t y_from_top)
{
    uint32_t stride = dib_row_stride(canvas->biWidth, 24);
    return dib_pixels(canvas) + (size_t)(canvas->biHeight - 1 - y_from_top) * stride;
}

static void fill_canvas_rect(BITMAPINFOHEADER* canvas, CanvasRect r)
{
    COLORREF color = background_color((uint32_t)g_backgroundColorIndex);
    BYTE bgr[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
    for (int32_t y = r.y0; y < r.y1; ++y) {
        BYTE* p = canvas_row(canvas, y) + (size_t)r.x0 * 3;
        for (int32_t x = r.x0; x < r.x1; ++x, p += 3) {
            p[0] = bgr[0];
            p[1] = bgr[1];
            p[2] = bgr[2];
        }
    }
}

static void copy_canvas_rect(BITMAPINFOHEADER* to, BITMAPINFOHEADER* from, CanvasRect r)
{
    for (int32_t y = r.y0; y < r.y1; ++y)
        memcpy(canvas_row(to, y) + (size_t)r.x0 * 3, canvas_row(from, y) + (size_t)r.x0 * 3,
               (size_t)(r.x1 - r.x0) * 3);
}

// Draws an 8-bit frame at (g_frameLeft, g_frameTop), each pixel as its
// colour-table entry; the transparent index, when set, leaves the canvas.
static void composite_frame(BITMAPINFOHEADER* canvas, BITMAPINFOHEADER* frame)
{
    CanvasRect r = clip_to_canvas(canvas, g_frameLeft, g_frameTop, frame->biWidth,
                                  frame->biHeight);
    RGBQUAD table[256];
    memset(table, 0, sizeof table);
    uint32_t count = dib_color_count(frame);
    memcpy(table, dib_color_table(frame), count * sizeof(RGBQUAD));
    for (uint32_t i = count; i < 256; ++i)
        table[i] = table[0];  // an index past the table reads as entry 0
    uint32_t stride = dib_row_stride(frame->biWidth, 8);
    BYTE* frame_top = dib_pixels(frame) + (size_t)(frame->biHeight - 1) * stride;
    int skip = g_hasTransparency;
    BYTE key = g_transparentIndex;
    for (int32_t y = r.y0; y < r.y1; ++y) {
        const BYTE* src = frame_top - (size_t)(y - g_frameTop) * stride + (r.x0 - g_frameLeft);
        BYTE* dst = canvas_row(canvas, y) + (size_t)r.x0 * 3;
        for (int32_t x = r.x0; x < r.x1; ++x, ++src, dst += 3) {
            if (skip && *src == key)
                continue;
            const RGBQUAD& c = table[*src];
            dst[0] = c.rgbBlue;
            dst[1] = c.rgbGreen;
            dst[2] = c.rgbRed;
        }
    }
}

static void snap_frame_colors(BITMAPINFOHEADER* frame)
{
    if (g_hPalette && seam_display_bits() <= 8)
        snap_colors_to_palette(dib_color_table(frame), g_hPalette, (int)dib_color_count(frame));
}

void free_gif_animation(void)
{
    if (g_hAnimCanvas) {
        GlobalFree(g_hAnimCanvas);
        g_hAnimCanvas = NULL;
    }
    if (g_hAnimCanvasSave) {
        GlobalFree(g_hAnimCanvasSave);
        g_hAnimCanvasSave = NULL;
    }
}

int start_gif_animation(void)
{
    g_imageKind = KIND_ANIMATED_GIF;
    free_gif_animation();
    BITMAPINFOHEADER* frame = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    // Two canvases of the logical screen: never for a screen the file's
    // data could not fill (a few bytes claiming a huge screen).
    if (gif_screen_fits_data(g_hFile)) {
        g_hAnimCanvas = create_dib24(g_screenWidth, g_screenHeight);
        g_hAnimCanvasSave = create_dib24(g_screenWidth, g_screenHeight);
    }
    BITMAPINFOHEADER* canvas = g_hAnimCanvas ? (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas) : NULL;
    BITMAPINFOHEADER* save =
        g_hAnimCanvasSave ? (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvasSave) : NULL;
    if (!frame || !canvas || !save) {
        if (save)
            GlobalUnlock(g_hAnimCanvasSave);
        if (canvas)
            GlobalUnlock(g_hAnimCanvas);
        if (frame)
            GlobalUnlock(g_hImage);
        free_gif_animation();
        seam_message_box(NULL, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
        g_imageKind = KIND_DIB;
        g_gifContinuing = 0;
        return 0;
    }
    size_t len = strlen(g_infoText);
    g_infoTextLen = (int)(len < INFO_TEXT_SIZE ? len : INFO_TEXT_SIZE - 1);
    g_frameWidth = frame->biWidth;
    g_frameHeight = frame->biHeight;

    snap_frame_colors(frame);
    CanvasRect whole = {0, 0, canvas->biWidth, canvas->biHeight};
    fill_canvas_rect(canvas, whole);  // black is the zero fill already
    fill_canvas_rect(save, whole);
    composite_frame(canvas, frame);

    GlobalUnlock(g_hAnimCanvasSave);
    GlobalUnlock(g_hAnimCanvas);
    GlobalUnlock(g_hImage);
    GlobalFree(g_hImage);
    g_hImage = NULL;
    return 1;
}

static HWND preview_control(void)
{
    if (g_hwndPreview && IsWindow(g_hwndPreview))
        return g_hwndPreview;
    return g_hwndMain ? GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW) : NULL;
}

int compose_gif_frame(HDC dc, HWND window, uint32_t tile_mode)
{
    int frame_differs = 0;
    if (g_hImage) {
        BITMAPINFOHEADER* frame = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
        if (frame) {
            frame_differs = frame->biWidth != g_screenWidth || frame->biHeight != g_screenHeight;
            GlobalUnlock(g_hImage);
        }
    }
    if (!start_gif_animation())
        return 0;
    if (frame_differs) {
        g_imageKind = KIND_DIB;
        fit_image_rect(g_screenWidth, g_screenHeight, 1);
        g_imageKind = KIND_ANIMATED_GIF;
    }

    if (is_window_open(g_hwndView)) {
        char title[400];
        snprintf(title, sizeof title, "%s     %llu bytes", g_fileName,
                 (unsigned long long)g_fileSize);
        SetWindowTextA(g_hwndView, title);
    }

    BITMAPINFOHEADER* canvas = (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas);
    if (!canvas)
        return 1;
    HWND preview = preview_control();
    if (window && window == g_hwndSlide) {
        paint_canvas_in_window(window, g_hPalette, 0, 0, canvas);
    } else if (window && window != preview) {
        paint_canvas_in_window(window, g_hPalette, tile_mode, 0, canvas);
        if (preview)
            InvalidateRect(preview, NULL, FALSE);
    } else if (is_window_open(g_hwndView)) {
        if (preview)
            InvalidateRect(preview, NULL, FALSE);
        InvalidateRect(g_hwndView, NULL, FALSE);
    } else if (dc) {
        HPALETTE old_palette = NULL;
        if (g_hPalette && seam_display_bits() <= 8) {
            old_palette = SelectPalette(dc, g_hPalette, FALSE);
            RealizePalette(dc);
        }
        POINT origin;
        GetBrushOrgEx(dc, &origin);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, origin.x, origin.y, NULL);
        StretchDIBits(dc, g_animDestX, g_animDestY, g_animDestWidth, g_animDestHeight, 0, 0,
                      canvas->biWidth, canvas->biHeight, dib_pixels(canvas),
                      (const BITMAPINFO*)canvas, DIB_RGB_COLORS, SRCCOPY);
        if (old_palette)
            SelectPalette(dc, old_palette, FALSE);
    }
    GlobalUnlock(g_hAnimCanvas);
    return 1;
}

int advance_gif_animation(HFILE file)
{
    BITMAPINFOHEADER* canvas = g_hAnimCanvas ? (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas) : NULL;
    BITMAPINFOHEADER* save =
        g_hAnimCanvasSave ? (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvasSave) : NULL;
    int ok = 0;
    if (canvas && save) {
        CanvasRect previous =
            clip_to_canvas(canvas, g_frameLeft, g_frameTop, g_frameWidth, g_frameHeight);
        if (g_gifDisposal == 2)
            fill_canvas_rect(canvas, previous);
        else if (g_gifDisposal == 3)
            copy_canvas_rect(canvas, save, previous);

        if (!g_gifContinuing) {
            _llseek(file, 0, FILE_BEGIN);
            if (g_gifDisposal != 2 && g_gifDisposal != 3)
                fill_canvas_rect(canvas, previous);
            if (g_infoTextLen >= 0 && g_infoTextLen < INFO_TEXT_SIZE)
                snprintf(g_infoText + g_infoTextLen, INFO_TEXT_SIZE - g_infoTextLen,
                         "\n# of GIF images: %d", g_gifFrameNumber);
            g_gifFrameNumber = 0;
            // The next pass starts as the first did, not with the last
            // frame's graphic-control values.
            g_gifDisposal = 0;
            g_hasTransparency = 0;
            g_animDelay = GIF_PRESET_DELAY;
        }
        copy_canvas_rect(save, canvas, previous);

        HGLOBAL hFrame = NULL;
        // A later frame is read after the loader's read has ended: it gets
        // the file's ceiling again.
        LONG at = _llseek(file, 0, FILE_CURRENT);
        LONG end = _llseek(file, 0, FILE_END);
        _llseek(file, at, FILE_BEGIN);
        PixelCeiling outer = begin_pixel_ceiling(end > 0 ? (uint64_t)end : 0, reader_pixels_per_byte(IDENT_GIF));
        if (alloc_gif_lzw_tables()) {
            hFrame = read_gif_frame(file, NULL, NULL, &g_gifContinuing, &g_animDelay,
                                    &g_frameLeft, &g_frameTop, &g_screenWidth, &g_screenHeight,
                                    &g_hasTransparency, &g_gifBackgroundColor,
                                    &g_transparentDisplayColor, &g_transparentIndex,
                                    &g_gifDisposal, &g_gifFrameNumber, g_gifSuffixTable,
                                    g_gifPrefixTable, g_gifStack, KIND_ANIMATED_GIF);
            free_gif_lzw_tables();
        }
        end_pixel_ceiling(outer);
        BITMAPINFOHEADER* frame = hFrame ? (BITMAPINFOHEADER*)GlobalLock(hFrame) : NULL;
        if (frame) {
            g_frameWidth = frame->biWidth;
            g_frameHeight = frame->biHeight;
            snap_frame_colors(frame);
            composite_frame(canvas, frame);
            GlobalUnlock(hFrame);
            ok = 1;
        }
        if (hFrame)
            GlobalFree(hFrame);
    }
    if (save)
        GlobalUnlock(g_hAnimCanvasSave);
    if (canvas)
        GlobalUnlock(g_hAnimCanvas);
    return ok;
}

void end_gif_animation_as_still(void)
{
    if (g_hAnimCanvasSave) {
        GlobalFree(g_hAnimCanvasSave);
        g_hAnimCanvasSave = NULL;
    }
    if (g_hImage && g_hImage != g_hAnimCanvas)
        GlobalFree(g_hImage);
    g_hImage = g_hAnimCanvas;
    g_hAnimCanvas = NULL;
    g_imageKind = KIND_DIB;
    g_gifContinuing = 0;
    if (g_hPalette) {
        DeleteObject(g_hPalette);
        g_hPalette = NULL;
    }
}

UINT gif_frame_period(UINT delay)
{
    return delay * (seam_display_bits() <= 8 ? 5u : 9u);
}
