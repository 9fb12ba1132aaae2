// The "Crop" tool window, its backdrop, its status texts and the
// "DONTSHOW" tip. Geometry helpers come first (pure, shared with the
// tests), then the window's handlers.
#include "viewer/crop_window.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <commctrl.h>

#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "tools/crop_frame.h"
#include "tools/edit_history.h"
#include "tools/resample.h"
#include "tools/tool_settings.h"
#include "viewer/full_window.h"
#include "viewer/image_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

HWND g_hwndDummy;
int g_zoomEighths = 8;
int g_zoomSaved;
RECT g_rcToolBase;
RECT g_rcToolImage;
RECT g_rcSelect;
int g_scrollX, g_scrollY, g_scrollRangeX, g_scrollRangeY;

static HPEN g_hCropFramePens[5];     // owned from start to end of the tool
static HGLOBAL g_hImageBeforeCrop;   // the 100 % image while a zoomed copy is shown
static int g_cropHandle;
static int g_cropTipShown;
static HWND g_hwndOwner;             // the window to refresh after an accept
static bool g_cropHolds;  // the open tool holds the shown file (file_hold.h)

static const int MARGIN = 16;
// Zoom items of "MENU2" in menu order, with their zoom in eighths.
static const struct { int id; int zoom; } ZOOMS[8] = {
    {IDM_CROP_ZOOM_12, 1}, {IDM_CROP_ZOOM_25, 2}, {IDM_CROP_ZOOM_50, 4}, {IDM_CROP_ZOOM_75, 6},
    {IDM_CROP_ZOOM_100, 8}, {IDM_CROP_ZOOM_200, 16}, {IDM_CROP_ZOOM_400, 32}, {IDM_CROP_ZOOM_800, 64},
};

int tool_zoom_for_item(int id)
{
    for (const auto& z : ZOOMS)
        if (z.id == id)
            return z.zoom;
    return 0;
}

void tool_check_zoom_items(HMENU menu)
{
    for (const auto& item : ZOOMS)
        CheckMenuItem(menu, item.id, MF_BYCOMMAND | (item.zoom == g_zoomEighths ? MF_CHECKED : MF_UNCHECKED));
}

DWORD tool_window_style(int w, int h)
{
    // The full-screen window's rule, for the screen less the menu and the status bar.
    g_scrollRangeX = g_scrollRangeY = 0;
    const int bars = full_screen_bars(w, h, GetSystemMetrics(SM_CXSCREEN),
                                      GetSystemMetrics(SM_CYSCREEN) - GetSystemMetrics(SM_CYMENU) - g_mainStatusHeight,
                                      GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYHSCROLL), &g_scrollRangeX,
                                      &g_scrollRangeY);
    return WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | (bars & FULL_BAR_VERTICAL ? WS_VSCROLL : 0) |
           (bars & FULL_BAR_HORIZONTAL ? WS_HSCROLL : 0);
}

// ---- geometry

int crop_handle_at(const RECT* s, int x, int y, int dx, int dy)
{
    int L = s->left - 2, R = s->right + 2, T = s->top - 2, B = s->bottom + 2;
    if (abs(y - T) <= dy || abs(y - B) <= dy) {
        bool top = abs(y - T) <= dy;
        if (x + dx < L || x - dx > R)
            return 0;
        if (x - dx > L)
            return x + dx < R ? (top ? 3 : 6) : (top ? 5 : 8);
        return top ? 4 : 7;
    }
    if (abs(x - L) <= dx)
        return (y + dy < T || y - dy > B) ? 0 : 1;
    if (abs(x - R) <= dx)
        return (y + dy < T || y - dy > B) ? 0 : 2;
    return 0;
}

static int clamp_to(int v, int lo, int hi, int* moved)
{
    if (v < lo) { *moved = 1; return lo; }
    if (v > hi) { *moved = 1; return hi; }
    return v;
}

int crop_drag(int handle, const RECT* im, RECT* s, int* x, int* y)
{
    bool left = handle == 1 || handle == 4 || handle == 7;
    bool right = handle == 2 || handle == 5 || handle == 8;
    bool top = handle >= 3 && handle <= 5;
    bool bottom = handle >= 6;
    int moved = 0;
    if (left)
        *x = clamp_to(*x, im->left - 2, s->right - 3, &moved);
    if (right)
        *x = clamp_to(*x, s->left + 3, im->right + 2, &moved);
    if (top)
        *y = clamp_to(*y, im->top - 2, s->bottom - 3, &moved);
    if (bottom)
        *y = clamp_to(*y, s->top + 3, im->bottom + 2, &moved);
    if (handle == 1 || handle == 2)
        *y = clamp_to(*y, s->top + 3, s->bottom - 3, &moved);
    if (handle == 3 || handle == 6)
        *x = clamp_to(*x, s->left + 3, s->right - 3, &moved);
    if (left) s->left = *x + 2;
    if (right) s->right = *x - 2;
    if (top) s->top = *y + 2;
    if (bottom) s->bottom = *y - 2;
    return moved;
}

void crop_snap(int zoom, const RECT* im, RECT* s)
{
    if (zoom <= 8)
        return;
    int p = zoom / 8;
    s->left -= (s->left - im->left) % p;
    s->top -= (s->top - im->top) % p;
    s->right += (im->right - s->right) % p;
    s->bottom += (im->bottom - s->bottom) % p;
    // An edge meeting its opposite moves one step outward, staying inside.
    if (s->right <= s->left) {
        if (s->right + p <= im->right) s->right += p; else s->left -= p;
    }
    if (s->bottom <= s->top) {
        if (s->bottom + p <= im->bottom) s->bottom += p; else s->top -= p;
    }
}

RECT rescale_crop_rect(const RECT* s, const RECT* old_image, const RECT* im, int to, int from)
{
    int64_t dl = s->left - old_image->left, dt = s->top - old_image->top;
    int64_t w = s->right - s->left, h = s->bottom - s->top;
    RECT r;
    r.left = im->left + (LONG)(to * dl / from);
    r.right = r.left + (LONG)(to * w / from);
    r.top = im->top + (LONG)(dt * to / from);
    r.bottom = r.top + (LONG)(to * h / from);
    // A rectangle shrunk below one window pixel keeps one, inside the image.
    if (r.right <= r.left) {
        if (r.left >= im->right) r.left = im->right - 1;
        r.right = r.left + 1;
    }
    if (r.bottom <= r.top) {
        if (r.top >= im->bottom) r.top = im->bottom - 1;
        r.bottom = r.top + 1;
    }
    return r;
}

int tool_scroll_offset(int offset, int range, int code, int thumb, int line)
{
    switch (code) {
    case SB_LINEUP: offset += line; break;
    case SB_LINEDOWN: offset -= line; break;
    case SB_PAGEUP: offset += 10 * line; break;
    case SB_PAGEDOWN: offset -= 10 * line; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: offset = -thumb; break;
    case SB_TOP: offset = 0; break;
    case SB_BOTTOM: offset = -range; break;
    default: return offset;
    }
    if (offset > 0) offset = 0;
    if (offset < -range) offset = -range;
    return offset;
}

// ---- the window

static bool image_size(HGLOBAL hDib, int* w, int* h)
{
    const BITMAPINFOHEADER* bih = hDib ? (const BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih)
        return false;
    *w = bih->biWidth;
    *h = abs(bih->biHeight);
    GlobalUnlock(hDib);
    return true;
}

static void update_crop_status(int l, int t, int r, int b)
{
    char text[50];
    snprintf(text, sizeof text, "zoom: %g%%", g_zoomEighths * 12.5);
    SendMessageA(g_hwndCropStatus, SB_SETTEXTA, 1, (LPARAM)text);
    snprintf(text, sizeof text, "width: %d", (r - l) * 8 / g_zoomEighths);
    SendMessageA(g_hwndCropStatus, SB_SETTEXTA, 2, (LPARAM)text);
    snprintf(text, sizeof text, "height: %d", (b - t) * 8 / g_zoomEighths);
    SendMessageA(g_hwndCropStatus, SB_SETTEXTA, 3, (LPARAM)text);
}

static void update_status(void)
{
    update_crop_status(g_rcSelect.left, g_rcSelect.top, g_rcSelect.right, g_rcSelect.bottom);
}

static void create_crop_window(HWND* slot)
{
    int W = 0, H = 0;
    image_size(g_hImage, &W, &H);
    const DWORD style = tool_window_style(W, H);
    HWND hwnd = seam_create_tool_window("Crop", style, GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN) - g_mainStatusHeight, g_hwndDummy);
    *slot = hwnd;
    if (!hwnd)
        return;
    if (g_scrollRangeY)
        SetScrollRange(hwnd, SB_VERT, 0, g_scrollRangeY, TRUE);
    if (g_scrollRangeX)
        SetScrollRange(hwnd, SB_HORZ, 0, g_scrollRangeX, TRUE);
    g_scrollX = g_scrollY = 0;
    RECT client;
    GetClientRect(hwnd, &client);
    int left = g_scrollRangeX ? MARGIN : (client.right - W + 2 * MARGIN) / 2;
    int top = g_scrollRangeY ? MARGIN : (client.bottom - H + 2 * MARGIN) / 2;
    RECT old_image = g_rcToolImage;
    SetRect(&g_rcToolBase, left, top, left + W - 2 * MARGIN, top + H - 2 * MARGIN);
    g_rcToolImage = g_rcToolBase;
    if (g_zoomSaved == 0)
        g_rcSelect = g_rcToolBase;
    else
        g_rcSelect = rescale_crop_rect(&g_rcSelect, &old_image, &g_rcToolImage, g_zoomEighths, g_zoomSaved);
    tool_check_zoom_items(GetMenu(hwnd));
}

// The working copy back to the plain image at 100 %. The image kept
// before a zoom has no margin: only the unzoomed working copy loses one.
static void restore_plain_image(void)
{
    if (g_hImageBeforeCrop) {
        GlobalFree(g_hImage);
        g_hImage = g_hImageBeforeCrop;
        g_hImageBeforeCrop = NULL;
        return;
    }
    if (HGLOBAL plain = strip_margin16(g_hImage)) {
        GlobalFree(g_hImage);
        g_hImage = plain;
    }
}

static void end_crop_tool(void)
{
    HWND crop = g_hwndCrop;
    g_hwndCrop = NULL;
    if (g_cropHolds) {
        g_cropHolds = false;
        end_file_hold();
    }
    // The window that started the tool is made active before the tool's
    // windows go, so that their going activates no other.
    if (g_hwndOwner && IsWindow(g_hwndOwner))
        SetForegroundWindow(g_hwndOwner);
    if (g_hwndCropStatus)
        DestroyWindow(g_hwndCropStatus);
    g_hwndCropStatus = NULL;
    if (crop)
        DestroyWindow(crop);
    if (g_hwndDummy)
        DestroyWindow(g_hwndDummy);
    g_hwndDummy = NULL;
    for (HPEN& pen : g_hCropFramePens) {
        DeleteObject(pen);
        pen = NULL;
    }
}

static void cancel_crop(void)
{
    restore_plain_image();
    seam_beep((UINT)-1);
    end_crop_tool();
}

static void accept_crop(void)
{
    g_zoomSaved = g_zoomEighths;
    g_zoomEighths = 8;
    RECT s = rescale_crop_rect(&g_rcSelect, &g_rcToolImage, &g_rcToolImage, 8, g_zoomSaved);
    int x = s.left - g_rcToolImage.left, y = s.top - g_rcToolImage.top;
    int w = s.right - s.left, h = s.bottom - s.top;
    restore_plain_image();
    // The rectangle recorded is the one cut, so that a replay cuts the same.
    int W = 0, H = 0;
    if (image_size(g_hImage, &W, &H)) {
        if (x < 0) { w += x; x = 0; }
        if (y < 0) { h += y; y = 0; }
        if (w > W - x) w = W - x;
        if (h > H - y) h = H - y;
    }
    // Recorded only when the image really was cropped.
    HGLOBAL cropped = w > 0 && h > 0 ? crop_image(x, y, w, h, g_hImage) : NULL;
    if (cropped) {
        GlobalFree(g_hImage);
        g_hImage = cropped;
        if (g_hImageUnconverted) {
            if (HGLOBAL c = crop_image(x, y, w, h, g_hImageUnconverted)) {
                GlobalFree(g_hImageUnconverted);
                g_hImageUnconverted = c;
            }
        }
        SetRect(&g_rcEditOp, x, y, x + w, y + h);
        push_edit_record(EDIT_CROP, (UINT)g_colorConversion);
    }
    end_crop_tool();
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, FALSE);
    if (g_hwndMain)
        InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, FALSE);
}

static void change_zoom(int zoom)
{
    int w = 0, h = 0;
    HGLOBAL before = g_hImageBeforeCrop ? g_hImageBeforeCrop : NULL;
    HGLOBAL plain = before ? before : strip_margin16(g_hImage);
    if (!plain || !image_size(plain, &w, &h))
        return;
    HGLOBAL working = NULL;
    if (zoom == 8) {
        working = add_margin16(plain);
    } else {
        // Up to 64 times the pixels: sized in 64 bits, refused past the limits.
        uint64_t zw = (uint64_t)w * zoom / 8, zh = (uint64_t)h * zoom / 8;
        if (zw >= 1 && zh >= 1 && zw + 2 * MARGIN <= MAX_DIB_DIMENSION && zh + 2 * MARGIN <= MAX_DIB_DIMENSION &&
            (zw + 2 * MARGIN) * (zh + 2 * MARGIN) * 4 <= MAX_DIB_BYTES) {
            show_progress(0, 99);
            HGLOBAL zoomed = resize_nearest(plain, (int)zw, (int)zh);
            show_progress(0, 99);
            if (zoomed) {
                working = add_margin16(zoomed);
                GlobalFree(zoomed);
            }
        }
    }
    if (!working) {
        // The previous zoom and working copy stay.
        if (plain != before)
            GlobalFree(plain);
        seam_beep((UINT)-1);
        return;
    }
    GlobalFree(g_hImage);
    g_hImage = working;
    g_hImageBeforeCrop = zoom == 8 ? NULL : plain;
    if (zoom == 8)
        GlobalFree(plain);
    g_zoomSaved = g_zoomEighths;
    g_zoomEighths = zoom;
    HWND old = g_hwndCrop, fresh = NULL;
    create_crop_window(&fresh);
    g_hwndCrop = fresh;
    if (old)
        DestroyWindow(old);
    // Without its window the tool ends as Esc ends it, giving its hold back.
    if (!fresh) {
        cancel_crop();
        return;
    }
    update_status();
}

static LRESULT crop_on_command(HWND hwnd, int id)
{
    if (int zoom = tool_zoom_for_item(id)) {
        if (zoom != g_zoomEighths)
            change_zoom(zoom);
        return 0;
    }
    switch (id) {
    case IDM_CROP_ACCEPT: accept_crop(); break;
    case IDM_CROP_CANCEL: cancel_crop(); break;
    case IDM_CROP_HELP: seam_win_help(hwnd, "RODadi.zoz", HELP_CONTEXT, 104); break;
    case IDM_CROP_HELP_LIBRARY: seam_win_help(hwnd, "RODadi.zoz", HELP_FINDER, 0); break;
    }
    return 0;
}

static void draw_crop_frame(HDC dc, int l, int t, int r, int b)
{
    HGDIOBJ old = SelectObject(dc, g_hCropFramePens[0]);
    MoveToEx(dc, l - 1, t - 1, NULL);
    LineTo(dc, r, t - 1);
    LineTo(dc, r, b);
    LineTo(dc, l - 1, b);
    LineTo(dc, l - 1, t - 1);
    for (int ring = 0; ring < 2; ++ring) {
        int k = 2 + ring;
        SelectObject(dc, g_hCropFramePens[1 + 2 * ring]);
        MoveToEx(dc, l - k, b + k - 1, NULL);
        LineTo(dc, l - k, t - k);
        LineTo(dc, r + k - 1, t - k);
        SelectObject(dc, g_hCropFramePens[2 + 2 * ring]);
        LineTo(dc, r + k - 1, b + k - 1);
        LineTo(dc, l - k - 1, b + k - 1);
    }
    SelectObject(dc, old);
}

static LRESULT crop_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (bih) {
        int W = bih->biWidth, H = abs(bih->biHeight);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = CreateCompatibleBitmap(dc, W, H);
        HPALETTE pal = create_dib_palette(bih, hwnd);
        HPALETTE old_pal = NULL, old_mem_pal = NULL;
        if (pal) {
            old_pal = SelectPalette(dc, pal, FALSE);
            RealizePalette(dc);
            old_mem_pal = SelectPalette(mem, pal, FALSE);
            RealizePalette(mem);
        }
        SetDIBits(dc, bmp, 0, H, dib_pixels(bih), (BITMAPINFO*)bih, DIB_RGB_COLORS);
        HGDIOBJ old_bmp = SelectObject(mem, bmp);
        HBRUSH white = (HBRUSH)GetStockObject(WHITE_BRUSH);
        RECT strips[4] = {{0, 0, W, MARGIN}, {0, H - MARGIN, W, H}, {0, 0, MARGIN, H}, {W - MARGIN, 0, W, H}};
        for (const RECT& r : strips)
            FillRect(mem, &r, white);
        int ox = MARGIN - g_rcToolImage.left, oy = MARGIN - g_rcToolImage.top;
        draw_crop_frame(mem, g_rcSelect.left + ox, g_rcSelect.top + oy, g_rcSelect.right + ox, g_rcSelect.bottom + oy);
        RECT c;
        GetClientRect(hwnd, &c);
        int x = g_scrollRangeX ? g_scrollX : (c.right - W) / 2;
        int y = g_scrollRangeY ? g_scrollY : (c.bottom - H) / 2;
        BitBlt(dc, x, y, W, H, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old_bmp);
        if (pal) {
            SelectPalette(mem, old_mem_pal, FALSE);
            SelectPalette(dc, old_pal, FALSE);
            DeleteObject(pal);
        }
        DeleteObject(bmp);
        DeleteDC(mem);
        GlobalUnlock(g_hImage);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

static HCURSOR handle_cursor(int handle)
{
    static const LPCSTR NAMES[9] = {IDC_ARROW, IDC_SIZEWE, IDC_SIZEWE, IDC_SIZENS, IDC_SIZENWSE,
                                    IDC_SIZENESW, IDC_SIZENS, IDC_SIZENESW, IDC_SIZENWSE};
    return LoadCursorA(NULL, NAMES[handle >= 0 && handle <= 8 ? handle : 0]);
}

static INT_PTR CALLBACK dontshow_dlg_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg != WM_COMMAND)
        return FALSE;
    if (LOWORD(wp) == IDOK) {
        if (IsDlgButtonChecked(dlg, IDC_DONTSHOW_CHECK) == BST_CHECKED) {
            g_dontShowAgain = 1;
            WritePrivateProfileStringA("Corvane", "DontShowAgain", "1", seam_settings_file());
        }
        EndDialog(dlg, 1);
    } else if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, 0);
    }
    return TRUE;
}

static LRESULT crop_on_mousemove(HWND hwnd, int x, int y, WPARAM keys)
{
    if (!g_cropTipShown && !g_dontShowAgain) {
        g_cropTipShown = 1;
        dialog_box_holding(GetModuleHandleA(NULL), "DONTSHOW", hwnd, dontshow_dlg_proc, 0);
    }
    if (!(keys & MK_LBUTTON)) {
        g_cropHandle = crop_handle_at(&g_rcSelect, x, y, GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG));
        SetCursor(handle_cursor(g_cropHandle));
        return 0;
    }
    if (!g_cropHandle)
        return 0;
    SetCursor(handle_cursor(g_cropHandle));
    if (crop_drag(g_cropHandle, &g_rcToolImage, &g_rcSelect, &x, &y)) {
        POINT p = {x, y};
        ClientToScreen(hwnd, &p);
        SetCursorPos(p.x, p.y);
    }
    InvalidateRect(hwnd, NULL, FALSE);
    update_status();
    return 0;
}

static LRESULT crop_on_lbuttonup(HWND hwnd)
{
    if (GetCapture() == hwnd)
        ReleaseCapture();
    SetCursor(handle_cursor(g_cropHandle));
    if (!g_cropHandle)
        return 0;
    crop_snap(g_zoomEighths, &g_rcToolImage, &g_rcSelect);
    InvalidateRect(hwnd, NULL, FALSE);
    update_status();
    return 0;
}

static LRESULT crop_on_lbuttondown(HWND hwnd, int is_double)
{
    if (is_double) {
        accept_crop();
        return 0;
    }
    SetCursor(handle_cursor(g_cropHandle));
    if (g_cropHandle)
        SetCapture(hwnd);
    return 0;
}

int tool_scroll_thumb(HWND hwnd, int bar)
{
    // The message's 16-bit position would cut a view wider than 65,535 pixels short.
    SCROLLINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd, bar, &info);
    return info.nTrackPos;
}

static LRESULT crop_on_scroll(HWND hwnd, int bar, int code)
{
    const int thumb = tool_scroll_thumb(hwnd, bar);
    bool vertical = bar == SB_VERT;
    int* offset = vertical ? &g_scrollY : &g_scrollX;
    int next = tool_scroll_offset(*offset, vertical ? g_scrollRangeY : g_scrollRangeX, code, thumb, g_zoomEighths);
    int delta = next - *offset;
    *offset = next;
    // The image and the crop rectangle move together.
    if (vertical) {
        g_rcToolImage.top = g_rcToolBase.top + next;
        g_rcToolImage.bottom = g_rcToolBase.bottom + next;
        OffsetRect(&g_rcSelect, 0, delta);
    } else {
        g_rcToolImage.left = g_rcToolBase.left + next;
        g_rcToolImage.right = g_rcToolBase.right + next;
        OffsetRect(&g_rcSelect, delta, 0);
    }
    InvalidateRect(hwnd, NULL, FALSE);
    SetScrollPos(hwnd, bar, -next, TRUE);
    return 0;
}

int tool_scroll_key(HWND hwnd, int key)
{
    switch (key) {
    case VK_PRIOR: SendMessageA(hwnd, WM_VSCROLL, SB_PAGEUP, 0); return 1;
    case VK_NEXT: SendMessageA(hwnd, WM_VSCROLL, SB_PAGEDOWN, 0); return 1;
    case VK_END:
        SendMessageA(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
        SendMessageA(hwnd, WM_HSCROLL, SB_BOTTOM, 0);
        return 1;
    case VK_HOME:
        SendMessageA(hwnd, WM_VSCROLL, SB_TOP, 0);
        SendMessageA(hwnd, WM_HSCROLL, SB_TOP, 0);
        return 1;
    case VK_LEFT: SendMessageA(hwnd, WM_HSCROLL, SB_LINELEFT, 0); return 1;
    case VK_UP: SendMessageA(hwnd, WM_VSCROLL, SB_LINEUP, 0); return 1;
    case VK_RIGHT: SendMessageA(hwnd, WM_HSCROLL, SB_LINERIGHT, 0); return 1;
    case VK_DOWN: SendMessageA(hwnd, WM_VSCROLL, SB_LINEDOWN, 0); return 1;
    }
    return 0;
}

void tool_on_keydown(HWND hwnd, int key, void (*cancel)(void))
{
    if (key == VK_ESCAPE)
        cancel();
    else
        tool_scroll_key(hwnd, key);
}

LRESULT CALLBACK crop_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
    switch (msg) {
    case WM_COMMAND: return crop_on_command(hwnd, LOWORD(wp));
    case WM_EXITMENULOOP: take_pointer_back_after_menu(); return 0;
    case WM_PAINT: return crop_on_paint(hwnd);
    case WM_LBUTTONDOWN: return crop_on_lbuttondown(hwnd, 0);
    case WM_LBUTTONDBLCLK: return crop_on_lbuttondown(hwnd, 1);
    case WM_LBUTTONUP: return crop_on_lbuttonup(hwnd);
    case WM_MOUSEMOVE: return crop_on_mousemove(hwnd, x, y, wp);
    case WM_KEYDOWN: tool_on_keydown(hwnd, (int)wp, cancel_crop); return 0;
    case WM_VSCROLL: return crop_on_scroll(hwnd, SB_VERT, LOWORD(wp));
    case WM_HSCROLL: return crop_on_scroll(hwnd, SB_HORZ, LOWORD(wp));
    case WM_CLOSE:
        if (hwnd == g_hwndCrop)
            cancel_crop();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void start_crop_tool(HWND owner)
{
    if (!g_hImage || g_imageKind != KIND_DIB || is_window_open(g_hwndCrop))
        return;
    // Without its margin the tool would later strip pixels: it does not open.
    HGLOBAL working = add_margin16(g_hImage);
    if (!working) {
        seam_beep((UINT)-1);
        return;
    }
    GlobalFree(g_hImage);
    g_hImage = working;
    g_hwndOwner = owner;
    static const int COLOURS[5] = {COLOR_ACTIVEBORDER, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_3DLIGHT,
                                   COLOR_3DDKSHADOW};
    for (int i = 0; i < 5; ++i)
        g_hCropFramePens[i] = CreatePen(PS_SOLID, 1, GetSysColor(COLOURS[i]));
    g_zoomSaved = 0;
    g_zoomEighths = 8;
    g_hImageBeforeCrop = NULL;
    g_cropTipShown = 0;
    g_cropHandle = 0;
    begin_file_hold();
    g_cropHolds = true;
    g_hwndDummy = CreateWindowExA(0, "Dummy", "", WS_POPUP | WS_VISIBLE | WS_DISABLED, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    create_crop_status_bar(g_hwndDummy);
    create_crop_window(&g_hwndCrop);
    if (!g_hwndCrop) {
        cancel_crop();
        return;
    }
    SetForegroundWindow(g_hwndCrop);
    SetFocus(g_hwndCrop);
    update_status();
}
