// The "Full" window (see full_window.h): its handlers, the enlarged red-eye
// view and the two red-eye tips. Client coordinates equal screen
// coordinates: the window covers the screen from (0, 0).
//
// Phase 1 draws the rubber band into a snapshot of the window taken when
// the button went down and copies the snapshot back, so the image under the
// band never has to be painted again. Phase 2 repaints show the enlarged
// view, not the whole image.
#include "viewer/full_window.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/gif_anim.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/seams.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "tools/brightness.h"
#include "tools/color_reduce.h"
#include "tools/crop_frame.h"
#include "tools/edit_history.h"
#include "tools/red_eye.h"
#include "viewer/crop_window.h"
#include "viewer/image_window.h"
#include "viewer/stretch_dialog.h"

int g_fullScreen;
int g_stretchPending;
int g_redEyeMode;
int g_redEyeAreaChosen;
int g_redEyeAreaLeft, g_redEyeAreaTop;
HGLOBAL g_hRedEyeSave;
HGLOBAL g_hRedEyeSave2;
UINT g_redEyePointCapacity;
int g_redEyeTipShown, g_redEyeTip1Shown;

enum { ZOOM = 8, LINE_STEP = 8, PAGE_STEP = 80, POINT_GROWTH = 16 };

// Rubber band of phase 1: the window's DC, a snapshot of the window in a
// memory DC, the palette realised in both on a palette display, and what
// was selected before. All are owned here from button-down to button-up.
static struct {
    int anchor_x, anchor_y, corner_x, corner_y;
    int drawn;
    HDC window_dc, memory_dc;
    HBITMAP snapshot;
    HGDIOBJ old_bitmap;
    HPALETTE palette, old_window_palette, old_memory_palette;
    HWND hwnd;
} s_band;

// Where this window last drew the picture centred: the band's bounds.
static RECT s_drawnImage;
static HWND s_redEyeWindow;  // the window red-eye works in, holding the shown file

// ---- geometry

int red_eye_area(int left, int top, int width, int height, const RECT* drawn, int iw, int ih, RECT* area)
{
    double rw = drawn->right - drawn->left, rh = drawn->bottom - drawn->top;
    if (rw < 1 || rh < 1 || iw < 1 || ih < 1)
        return 0;
    long long x = (long long)std::floor((left - drawn->left) * (double)iw / rw + 0.5);
    long long y = (long long)std::floor((top - drawn->top) * (double)ih / rh + 0.5);
    long long w = (long long)std::floor(width * (double)iw / rw + 0.5);
    long long h = (long long)std::floor(height * (double)ih / rh + 0.5);
    // A band on the image's last edge rounds past it: cut to the image.
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (x >= iw || y >= ih)
        return 0;
    if (w > iw - x)
        w = iw - x;
    if (h > ih - y)
        h = ih - y;
    if (w < 1 || h < 1)
        return 0;
    SetRect(area, (int)x, (int)y, (int)(x + w), (int)(y + h));
    return 1;
}

int red_eye_pixel_at(int x, int y, int sw, int sh, int w, int h, int* px, int* py)
{
    long long ew = (long long)ZOOM * w, eh = (long long)ZOOM * h;
    long long ox = (sw - ew) / 2, oy = (sh - eh) / 2;
    if (!(sw <= ew || (ox <= x && x < (sw + ew) / 2)))
        return 0;
    if (!(sh <= eh || (oy <= y && y < (sh + eh) / 2)))
        return 0;
    long long cx = (x - ox) / ZOOM, cy = (y - oy) / ZOOM;
    if (cx < 0 || cy < 0 || cx >= w || cy >= h)
        return 0;
    *px = (int)cx;
    *py = (int)cy;
    return 1;
}

int grey_red_eye_pixel(BYTE* p, int bits)
{
    int r, g, b;
    double scale;
    if (bits == 16) {
        unsigned word = p[0] | p[1] << 8;
        r = (word >> 10) & 31;
        g = (word >> 5) & 31;
        b = word & 31;
        scale = 31.0;
    } else {
        b = p[0];
        g = p[1];
        r = p[2];
        scale = 255.0;
    }
    if (r == g && g == b)
        return 0;
    double hue, lightness, saturation, v, ignored1, ignored2;
    rgb_to_hsl(r / scale, g / scale, b / scale, &hue, &lightness, &saturation);
    hsl_to_rgb(hue, lightness, 0.0, &v, &ignored1, &ignored2);
    v = std::pow(v, std::pow(2.0, 0.2));
    int c = (int)(v * scale);
    if (bits == 16) {
        unsigned word = (unsigned)c << 10 | (unsigned)c << 5 | (unsigned)c;
        p[0] = (BYTE)word;
        p[1] = (BYTE)(word >> 8);
    } else {
        p[0] = p[1] = p[2] = (BYTE)c;
    }
    return 1;
}

// ---- state

static void free_handle(HGLOBAL* h)
{
    if (*h)
        GlobalFree(*h);
    *h = NULL;
}

static void free_points(void)
{
    free_handle(&g_hRedEyePoints);
    g_redEyePointCount = 0;
    g_redEyePointCapacity = 0;
}

void clear_red_eye_state(void)
{
    g_redEyeAreaChosen = 0;
    free_handle(&g_hRedEyeSave);
    free_handle(&g_hRedEyeSave2);
}

static void image_size(HGLOBAL hDib, int* w, int* h)
{
    *w = *h = 0;
    const BITMAPINFOHEADER* bih = hDib ? (const BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (bih) {
        *w = bih->biWidth;
        *h = bih->biHeight;
        GlobalUnlock(hDib);
    }
}

static void close_full_window(void)
{
    if (is_window_open(g_hwndFull))
        DestroyWindow(g_hwndFull);
    g_hwndFull = NULL;
}

int full_screen_bars(int iw, int ih, int cx, int cy, int vw, int hh, int* range_x, int* range_y)
{
    if (iw <= cx && ih <= cy)
        return 0;
    if (ih > cy && iw <= cx - vw) {
        *range_y = ih - cy;
        return FULL_BAR_VERTICAL;
    }
    if (iw > cx && ih <= cy - hh) {
        *range_x = iw - cx;
        return FULL_BAR_HORIZONTAL;
    }
    *range_y = ih - cy + hh;
    *range_x = iw - cx + vw;
    return FULL_BAR_VERTICAL | FULL_BAR_HORIZONTAL;
}

HWND create_full_window(void)
{
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    DWORD style = WS_POPUP | WS_VISIBLE;
    int iw = 0, ih = 0;
    if (g_imageKind == KIND_DIB)
        image_size(g_hImage, &iw, &ih);
    int bars = 0;
    if (!g_redEyeMode && iw > 0) {
        bars = full_screen_bars(iw, ih, cx, cy, GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYHSCROLL),
                                &g_scrollRangeX, &g_scrollRangeY);
        if (bars)
            g_scrollX = g_scrollY = 0;
    }
    const bool vertical = (bars & FULL_BAR_VERTICAL) != 0, horizontal = (bars & FULL_BAR_HORIZONTAL) != 0;
    if (vertical)
        style |= WS_VSCROLL;
    if (horizontal)
        style |= WS_HSCROLL;
    // Red-eye works on the shown picture from its first band to its last
    // mark: it holds the file for its window's whole life, and the window
    // is its own.
    const bool red_eye = g_redEyeMode != 0;
    if (red_eye)
        begin_file_hold();
    HWND hwnd = CreateWindowExA(0, "Full", "A", style, 0, 0, cx, cy, NULL, NULL, g_hInstance, NULL);
    g_hwndFull = hwnd;
    if (red_eye && hwnd) {
        s_redEyeWindow = hwnd;
        file_hold_spare(hwnd);
    } else if (red_eye) {
        g_redEyeMode = 0;
        end_file_hold();
    }
    if (hwnd && vertical) {
        SetScrollRange(hwnd, SB_VERT, 0, g_scrollRangeY, FALSE);
        SetScrollPos(hwnd, SB_VERT, 0, TRUE);
    }
    if (hwnd && horizontal) {
        SetScrollRange(hwnd, SB_HORZ, 0, g_scrollRangeX, FALSE);
        SetScrollPos(hwnd, SB_HORZ, 0, TRUE);
    }
    return hwnd;
}

// ---- painting

static HBRUSH background_brush(void)
{
    return g_hBackgroundBrush ? g_hBackgroundBrush : (HBRUSH)GetStockObject(WHITE_BRUSH);
}

// The bitmap at its own size: centred where it fits, else at the scroll
// offset in that dimension.
static void paint_at_own_size(HDC dc, const RECT& c)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
    if (!bih)
        return;
    const int W = bih->biWidth, H = bih->biHeight;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    int x = (c.right - W) / 2, y = (c.bottom - H) / 2;
    if (H > sh && W <= sw - GetSystemMetrics(SM_CXVSCROLL)) {
        y = g_scrollY;
    } else if (W > sw && H <= sh - GetSystemMetrics(SM_CYHSCROLL)) {
        x = g_scrollX;
    } else if (W > sw || H > sh) {
        x = g_scrollX;
        y = g_scrollY;
    }
    HPALETTE palette = create_dib_palette(bih, g_hwndFull);
    HPALETTE old = palette ? SelectPalette(dc, palette, FALSE) : NULL;
    if (palette)
        RealizePalette(dc);
    draw_dib_scaled(dc, 4, x, y, H, bih);
    if (palette) {
        SelectPalette(dc, old, FALSE);
        DeleteObject(palette);
    }
    GlobalUnlock(g_hImage);
}

uint32_t full_frame_layout(int width, int height)
{
    RECT c;
    if (!g_tileMode || !is_window_open(g_hwndFull) || !GetClientRect(g_hwndFull, &c))
        return 0;
    return width <= c.right && height <= c.bottom ? 1 : 0;
}

static bool is_animation(void)
{
    return g_imageKind == KIND_ANIMATED_GIF || g_imageKind == KIND_ICON_PAGES || g_imageKind == KIND_ANI;
}

// The frame shown now: the composed canvas of a GIF, else the image.
static void frame_size(int* width, int* height)
{
    HGLOBAL frame = g_imageKind == KIND_ANIMATED_GIF ? g_hAnimCanvas : g_hImage;
    const BITMAPINFOHEADER* bih = frame ? (const BITMAPINFOHEADER*)GlobalLock(frame) : NULL;
    *width = bih ? bih->biWidth : 0;
    *height = bih ? bih->biHeight : 0;
    if (bih)
        GlobalUnlock(frame);
}

static LRESULT full_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT c;
    GetClientRect(hwnd, &c);
    if (g_redEyeAreaChosen) {
        FillRect(dc, &c, background_brush());
    } else if (g_imageKind != KIND_MULTIMEDIA) {
        FillRect(dc, &c, background_brush());
        if (g_imageKind == KIND_DIB && !g_redEyeMode && g_hImage) {
            paint_at_own_size(dc, c);
        } else if (is_animation()) {
            int width, height;
            frame_size(&width, &height);
            paint_current_image(hwnd, dc, c, (int)full_frame_layout(width, height), &s_drawnImage);
        } else {
            paint_current_image(hwnd, dc, c, 0, &s_drawnImage);
        }
    }
    EndPaint(hwnd, &ps);
    // The brightness step is already in the enlarged copy.
    if (g_redEyeAreaChosen)
        paint_full_screen_image(0);
    if (g_stretchPending) {
        g_stretchPending = 0;
        dialog_box_holding(g_hInstance, "STRETCH", hwnd, stretch_dlg_proc, 0);
        // OK put a new window in this one's place, Cancel none: this one
        // goes once its dialog is gone.
        if (g_hwndFull != hwnd)
            DestroyWindow(hwnd);
    }
    return 0;
}

void paint_full_screen_image(int erase)
{
    if (g_hRedEyeSave2) {
        free_handle(&g_hRedEyeSave);
        g_hRedEyeSave = g_hRedEyeSave2;
        g_hRedEyeSave2 = NULL;
    }
    if (!g_hRedEyeSave || !is_window_open(g_hwndFull))
        return;
    if (dib_bit_count(g_hRedEyeSave) <= 8) {
        HGLOBAL full = to_truecolor24(g_hRedEyeSave);
        if (!full) {
            free_handle(&g_hRedEyeSave);
            g_redEyeMode = 0;
            close_full_window();
            return;
        }
        if (full != g_hRedEyeSave) {
            GlobalFree(g_hRedEyeSave);
            g_hRedEyeSave = full;
        }
    }
    if (erase && g_brightnessStep) {
        int amount = 0;
        adjust_brightness(g_hRedEyeSave, g_baseColorTable, &amount, g_brightnessStep, NULL);
    }
    int display = get_display_bit_depth();
    if (display == 4 || display == 8)
        reduce_colors(&g_hRedEyeSave, &g_hRedEyeSave2, display == 4 ? 256 : -256, (UINT)g_imageKind, 1, 1);

    RECT c;
    GetClientRect(g_hwndFull, &c);
    HDC dc = GetDC(g_hwndFull);
    if (!dc)
        return;
    if (erase)
        FillRect(dc, &c, background_brush());
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hRedEyeSave);
    if (bih) {
        const int w = bih->biWidth, h = bih->biHeight;
        HPALETTE palette = create_dib_palette(bih, g_hwndFull);
        HPALETTE old = palette ? SelectPalette(dc, palette, FALSE) : NULL;
        if (palette)
            RealizePalette(dc);
        StretchDIBits(dc, (c.right - ZOOM * w) / 2, (c.bottom - ZOOM * h) / 2, ZOOM * w, ZOOM * h, 0, 0, w, h,
                      (const BYTE*)bih + dib_pixel_offset(bih), (const BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
        if (palette) {
            SelectPalette(dc, old, FALSE);
            DeleteObject(palette);
        }
        GlobalUnlock(g_hRedEyeSave);
    }
    ReleaseDC(g_hwndFull, dc);
}

// ---- leaving and finishing

// Set while a palette image's table is back at its base colours for the
// enlarged view; the brightness step is put back on when phase 2 ends,
// however it ends.
static int s_brightnessReset;

static void restore_brightness(void)
{
    if (!s_brightnessReset)
        return;
    s_brightnessReset = 0;
    if (g_brightnessStep) {
        int step = g_brightnessStep;
        g_brightnessStep = 0;
        adjust_brightness(g_hImage, g_baseColorTable, &g_brightnessStep, step, NULL);
    }
}

static void leave_full_screen(void)
{
    g_fullScreen = 0;
    g_scrollX = g_scrollY = 0;
    close_full_window();
}

static void refresh_views(void)
{
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, FALSE);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, FALSE);
}

// Phase 2 ends: the marks are applied (apply 1) or discarded.
static void finish_red_eye(int apply)
{
    restore_brightness();
    if (apply && g_hRedEyePoints && g_redEyePointCount) {
        int done = fix_red_eye_points(&g_hImage, g_hRedEyePoints, g_redEyePointCount, g_brightnessStep,
                                      g_baseColorTable);
        if (done && g_hImageUnconverted)
            fix_red_eye_points(&g_hImageUnconverted, g_hRedEyePoints, g_redEyePointCount, 0, NULL);
        // The record takes the point list.
        if (done)
            push_edit_record(EDIT_RED_EYE, (UINT)g_colorConversion);
        refresh_views();
    }
    free_points();
    close_full_window();
}

// ---- scrolling and keys

static int scrolled(int offset, int range, int code, int thumb)
{
    switch (code) {
    case SB_LINEUP: offset += LINE_STEP; break;
    case SB_LINEDOWN: offset -= LINE_STEP; break;
    case SB_PAGEUP: offset += PAGE_STEP; break;
    case SB_PAGEDOWN: offset -= PAGE_STEP; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: offset = -thumb; break;
    case SB_TOP: offset = 0; break;
    case SB_BOTTOM: offset = -range; break;
    }
    if (offset > 0)
        offset = 0;
    if (offset < -range)
        offset = -range;
    return offset;
}

static LRESULT full_on_scroll(HWND hwnd, int bar, int code)
{
    // The message's 16-bit position would cut a large range short.
    SCROLLINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd, bar, &info);
    int thumb = info.nTrackPos;
    int* offset = bar == SB_VERT ? &g_scrollY : &g_scrollX;
    *offset = scrolled(*offset, bar == SB_VERT ? g_scrollRangeY : g_scrollRangeX, code, thumb);
    InvalidateRect(hwnd, NULL, FALSE);
    SetScrollPos(hwnd, bar, -*offset, TRUE);
    return 0;
}

// Shift, Ctrl and Alt only change the key that follows; the system also
// sends one down when it finds it held as the window gets the keys back
// (after a tip box, say). Red-eye ends on a key, not on them.
static bool is_modifier(UINT key)
{
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || (key >= VK_LSHIFT && key <= VK_RMENU);
}

static LRESULT full_on_keydown(HWND hwnd, UINT key)
{
    if ((g_redEyeMode || g_redEyeAreaChosen) && is_modifier(key))
        return 0;
    if (g_redEyeAreaChosen) {
        finish_red_eye(key != VK_ESCAPE);
        return 0;
    }
    g_redEyeMode = 0;
    if (!tool_scroll_key(hwnd, key))
        leave_full_screen();
    return 0;
}

// ---- phase 1: the rubber band

static void clamp_to_drawn(int* x, int* y)
{
    const RECT& r = s_drawnImage;
    *x = *x < r.left ? r.left : *x > r.right ? r.right : *x;
    *y = *y < r.top ? r.top : *y > r.bottom ? r.bottom : *y;
}

static void invert_band(HDC dc, int x0, int y0, int x1, int y1)
{
    int L = x0 < x1 ? x0 : x1, T = y0 < y1 ? y0 : y1, W = std::abs(x1 - x0), H = std::abs(y1 - y0);
    if (get_display_bit_depth() == 8) {
        PatBlt(dc, L, T - 2, W, 2, DSTINVERT);
        PatBlt(dc, L - 2, T, 2, H, DSTINVERT);
        PatBlt(dc, L, T + H, W, 2, DSTINVERT);
        PatBlt(dc, L + W, T, 2, H, DSTINVERT);
    } else {
        PatBlt(dc, L, T, W, H, DSTINVERT);
    }
}

static void release_band(void)
{
    if (s_band.memory_dc) {
        if (s_band.palette)
            SelectPalette(s_band.memory_dc, s_band.old_memory_palette, FALSE);
        SelectObject(s_band.memory_dc, s_band.old_bitmap);
        DeleteDC(s_band.memory_dc);
    }
    if (s_band.snapshot)
        DeleteObject(s_band.snapshot);
    if (s_band.window_dc) {
        if (s_band.palette)
            SelectPalette(s_band.window_dc, s_band.old_window_palette, FALSE);
        ReleaseDC(s_band.hwnd, s_band.window_dc);
    }
    if (s_band.palette)
        DeleteObject(s_band.palette);
    s_band = {};
}

static void band_button_down(HWND hwnd, int x, int y)
{
    release_band();
    // The band keeps to the picture here; the pointer is neither moved nor
    // confined: a press is often taken after the person has moved on (a
    // busy machine), and a pointer moved or held then would carry the moves
    // and clicks made meanwhile elsewhere, and the marks with them.
    clamp_to_drawn(&x, &y);
    s_band.anchor_x = s_band.corner_x = x;
    s_band.anchor_y = s_band.corner_y = y;
    s_band.hwnd = hwnd;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    s_band.window_dc = GetDC(hwnd);
    if (!s_band.window_dc)
        return;
    s_band.memory_dc = CreateCompatibleDC(s_band.window_dc);
    s_band.snapshot = CreateCompatibleBitmap(s_band.window_dc, sw, sh);
    if (!s_band.memory_dc || !s_band.snapshot) {
        release_band();
        return;
    }
    s_band.old_bitmap = SelectObject(s_band.memory_dc, s_band.snapshot);
    if (get_display_bit_depth() == 8) {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
        if (bih) {
            s_band.palette = create_dib_palette(bih, hwnd);
            GlobalUnlock(g_hImage);
        }
        if (s_band.palette) {
            s_band.old_window_palette = SelectPalette(s_band.window_dc, s_band.palette, FALSE);
            RealizePalette(s_band.window_dc);
            s_band.old_memory_palette = SelectPalette(s_band.memory_dc, s_band.palette, FALSE);
            RealizePalette(s_band.memory_dc);
        }
    }
    BitBlt(s_band.memory_dc, 0, 0, sw, sh, s_band.window_dc, 0, 0, SRCCOPY);
}

static void band_mouse_move(int x, int y)
{
    if (!s_band.memory_dc)
        return;
    clamp_to_drawn(&x, &y);
    if (s_band.drawn) {
        invert_band(s_band.memory_dc, s_band.anchor_x, s_band.anchor_y, s_band.corner_x, s_band.corner_y);
        s_band.drawn = 0;
    }
    if (std::abs(x - s_band.anchor_x) > GetSystemMetrics(SM_CXDRAG) &&
        std::abs(y - s_band.anchor_y) > GetSystemMetrics(SM_CYDRAG)) {
        invert_band(s_band.memory_dc, s_band.anchor_x, s_band.anchor_y, x, y);
        s_band.drawn = 1;
        s_band.corner_x = x;
        s_band.corner_y = y;
    }
    BitBlt(s_band.window_dc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), s_band.memory_dc, 0,
           0, SRCCOPY);
}

// The area under the band becomes the enlarged view; false when none can
// be had (too small, off the image, no memory) and phase 1 goes on.
static bool take_area(int L, int T, int W, int H)
{
    if (W < 2 * GetSystemMetrics(SM_CXDRAG) || H < 2 * GetSystemMetrics(SM_CYDRAG))
        return false;
    int iw, ih;
    image_size(g_hImage, &iw, &ih);
    RECT area;
    if (!red_eye_area(L, T, W, H, &s_drawnImage, iw, ih, &area))
        return false;
    HGLOBAL source = g_hImage;
    if (g_hImageUnconverted && !g_colorConversion && !g_brightnessStep) {
        source = g_hImageUnconverted;
    } else if (g_brightnessStep) {
        int amount = 0;
        adjust_brightness(g_hImage, g_baseColorTable, &amount, 0, NULL);
        s_brightnessReset = 1;
    }
    clear_red_eye_state();
    g_hRedEyeSave = crop_image(area.left, area.top, area.right - area.left, area.bottom - area.top, source);
    if (!g_hRedEyeSave) {
        restore_brightness();
        return false;
    }
    g_redEyeAreaLeft = area.left;
    g_redEyeAreaTop = area.top;
    int sw, sh;
    image_size(source, &sw, &sh);
    fit_image_rect(sw, sh, 0);
    return true;
}

static void band_button_up(int x, int y)
{
    if (!s_band.window_dc)
        return;
    clamp_to_drawn(&x, &y);
    int L = s_band.anchor_x < x ? s_band.anchor_x : x, T = s_band.anchor_y < y ? s_band.anchor_y : y;
    int W = std::abs(x - s_band.anchor_x), H = std::abs(y - s_band.anchor_y);
    if (s_band.drawn && get_display_bit_depth() != 8)
        invert_band(s_band.window_dc, s_band.anchor_x, s_band.anchor_y, s_band.corner_x, s_band.corner_y);
    release_band();
    if (!take_area(L, T, W, H))
        return;
    paint_full_screen_image(1);
    g_redEyeMode = 0;
    g_redEyeAreaChosen = 1;
}

// ---- phase 2: marking

static void append_point(UINT x, UINT y)
{
    if (!g_hRedEyePoints) {
        g_hRedEyePoints = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, POINT_GROWTH * 2 * sizeof(UINT));
        if (!g_hRedEyePoints)
            return;
        g_redEyePointCount = 0;
        g_redEyePointCapacity = POINT_GROWTH;
    }
    if (g_redEyePointCount >= g_redEyePointCapacity) {
        HGLOBAL grown = GlobalReAlloc(g_hRedEyePoints, (SIZE_T)(g_redEyePointCapacity + POINT_GROWTH) * 2 * sizeof(UINT),
                                      GMEM_MOVEABLE | GMEM_ZEROINIT);
        if (!grown)
            return;
        g_hRedEyePoints = grown;
        g_redEyePointCapacity += POINT_GROWTH;
    }
    UINT* points = (UINT*)GlobalLock(g_hRedEyePoints);
    if (!points)
        return;
    points[2 * g_redEyePointCount] = x;
    points[2 * g_redEyePointCount + 1] = y;
    ++g_redEyePointCount;
    GlobalUnlock(g_hRedEyePoints);
}

static void mark_pixel(int x, int y)
{
    HGLOBAL copy = g_hRedEyeSave2 ? g_hRedEyeSave2 : g_hRedEyeSave;
    BITMAPINFOHEADER* bih = copy ? (BITMAPINFOHEADER*)GlobalLock(copy) : NULL;
    if (!bih)
        return;
    int px, py;
    const int w = bih->biWidth, h = bih->biHeight, bits = bih->biBitCount;
    bool marked = false;
    if ((bits == 16 || bits == 24 || bits == 32) &&
        red_eye_pixel_at(x, y, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), w, h, &px, &py)) {
        BYTE* row = dib_pixels(bih) + (size_t)(h - 1 - py) * dib_row_stride(w, bits);
        marked = grey_red_eye_pixel(row + (size_t)px * (bits / 8), bits) != 0;
    }
    GlobalUnlock(copy);
    if (!marked)
        return;
    seam_beep((UINT)-1);
    append_point((UINT)(px + g_redEyeAreaLeft), (UINT)(py + g_redEyeAreaTop));
    paint_full_screen_image(0);
}

// ---- mouse

static LRESULT full_on_lbuttondown(HWND hwnd, int double_click, int x, int y)
{
    if (g_redEyeAreaChosen) {
        if (double_click)
            finish_red_eye(1);
        else
            mark_pixel(x, y);
    } else if (g_redEyeMode) {
        if (!double_click)
            band_button_down(hwnd, x, y);
    } else if (!double_click) {
        leave_full_screen();
    }
    return 0;
}

static LRESULT full_on_lbuttonup(int x, int y)
{
    if (g_redEyeMode && !g_redEyeAreaChosen)
        band_button_up(x, y);
    return 0;
}

static bool show_tip(HWND hwnd, int* shown, int dont_show, const char* name, DLGPROC proc)
{
    if (*shown || dont_show)
        return false;
    *shown = 1;
    dialog_box_holding(g_hInstance, name, hwnd, proc, 0);
    // The keys come back here, whatever window the system activated as the
    // box went: the next key applies the marks or leaves.
    if (IsWindow(hwnd)) {
        SetForegroundWindow(hwnd);
        SetFocus(hwnd);
    }
    return true;
}

static LRESULT full_on_mousemove(HWND hwnd, int x, int y, WPARAM keys)
{
    if (g_redEyeAreaChosen) {
        if (show_tip(hwnd, &g_redEyeTip1Shown, g_dontShowRed1Again, "FIXREDEYE1", fixredeye1_dlg_proc))
            return 0;
        if (keys & MK_LBUTTON)
            mark_pixel(x, y);
    } else if (g_redEyeMode) {
        if (show_tip(hwnd, &g_redEyeTipShown, g_dontShowRedAgain, "FIXREDEYE", fixredeye_dlg_proc))
            return 0;
        if (keys & MK_LBUTTON)
            band_mouse_move(x, y);
    }
    return 0;
}

// ---- life cycle

static LRESULT full_on_destroy(HWND hwnd)
{
    forget_metafile_views(hwnd);
    // However red-eye ends, its hold goes with its window.
    if (hwnd == s_redEyeWindow) {
        s_redEyeWindow = NULL;
        end_file_hold();
    }
    release_band();
    restore_brightness();
    free_points();
    g_redEyeMode = 0;
    clear_red_eye_state();
    if (g_hwndFull == hwnd)
        g_hwndFull = NULL;
    // The windows under it played no picture while out of sight.
    refresh_views();
    return 0;
}

static LRESULT full_on_erasebkgnd(HWND hwnd, HDC dc)
{
    RECT c;
    GetClientRect(hwnd, &c);
    FillRect(dc, &c, background_brush());
    return 1;
}

// Keys and clicks leave the window or work on the picture: none while
// another command works on the shown file.
static bool is_turned_away(HWND hwnd, UINT msg)
{
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
        return file_hold_turns_away(hwnd) != 0;
    }
    return false;
}

// The keys the window takes. A key typed while no window has the focus
// comes to the active window as a system key, as one typed with Alt does:
// while red-eye works, those are keys too.
static bool is_key(UINT msg)
{
    return msg == WM_KEYDOWN || (msg == WM_SYSKEYDOWN && (g_redEyeMode || g_redEyeAreaChosen));
}

LRESULT CALLBACK full_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
    if (is_turned_away(hwnd, msg))
        return 0;
    if (is_key(msg))
        return full_on_keydown(hwnd, (UINT)wp);
    switch (msg) {
    case WM_CREATE:        return 0;
    case WM_DESTROY:       return full_on_destroy(hwnd);
    case WM_ERASEBKGND:    return full_on_erasebkgnd(hwnd, (HDC)wp);
    case WM_PAINT:         return full_on_paint(hwnd);
    case WM_VSCROLL:       return full_on_scroll(hwnd, SB_VERT, LOWORD(wp));
    case WM_HSCROLL:       return full_on_scroll(hwnd, SB_HORZ, LOWORD(wp));
    case WM_LBUTTONDOWN:   return full_on_lbuttondown(hwnd, 0, x, y);
    case WM_LBUTTONDBLCLK: return full_on_lbuttondown(hwnd, 1, x, y);
    case WM_LBUTTONUP:     return full_on_lbuttonup(x, y);
    case WM_MOUSEMOVE:     return full_on_mousemove(hwnd, x, y, wp);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// ---- the tips

static INT_PTR tip_dialog(HWND hdlg, UINT msg, WPARAM wp, int* setting, const char* key)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg != WM_COMMAND || (LOWORD(wp) != IDOK && LOWORD(wp) != IDCANCEL))
        return FALSE;
    if (IsDlgButtonChecked(hdlg, IDC_DONTSHOW_CHECK) == BST_CHECKED) {
        *setting = 1;
        write_setting_int(key, 1);
    }
    EndDialog(hdlg, 1);
    return TRUE;
}

INT_PTR CALLBACK fixredeye_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM)
{
    return tip_dialog(hdlg, msg, wp, &g_dontShowRedAgain, "DontShowRedAgain");
}

INT_PTR CALLBACK fixredeye1_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM)
{
    return tip_dialog(hdlg, msg, wp, &g_dontShowRed1Again, "DontShowRed1Again");
}
