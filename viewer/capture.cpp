// Screen capture. See capture.h.
//
// The overlay is the "Cover" class: its mouse handlers act only while a
// capture is pending. Whatever a gesture ends in, the program's windows
// come back.
#include "viewer/capture.h"

#include <stdint.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_menu.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "resources/resource.h"
#include "tools/edit_history.h"

int g_capturePending;
HWND g_hwndCaptureTarget;
static HWND g_hwndCover;  // the overlay while a capture is pending

// The rubber band over a snapshot of the screen taken at button down.
static int s_anchorX, s_anchorY, s_cornerX, s_cornerY;
static bool s_bandDrawn, s_dragging;
static HDC s_screenDc, s_memoryDc;
static HBITMAP s_snapshot, s_oldBitmap;

// The screen as it was before the overlay came: under Wine the overlay
// shows (black) in a read of the screen, so every capture reads this copy,
// and the overlay paints it so the screen looks as it did.
static HDC s_snapshotDc;
static HBITMAP s_snapshotBitmap, s_snapshotOld;

static const char CAPTURE_NAME[] = "Screen Capture Image";

static void free_snapshot(void)
{
    if (s_snapshotDc) {
        SelectObject(s_snapshotDc, s_snapshotOld);
        DeleteDC(s_snapshotDc);
    }
    if (s_snapshotBitmap)
        DeleteObject(s_snapshotBitmap);
    s_snapshotDc = NULL;
    s_snapshotBitmap = NULL;
}

static bool take_snapshot(void)
{
    free_snapshot();
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(NULL);
    s_snapshotDc = CreateCompatibleDC(screen);
    s_snapshotBitmap = s_snapshotDc ? CreateCompatibleBitmap(screen, cx, cy) : NULL;
    bool taken = s_snapshotBitmap != NULL;
    if (taken) {
        s_snapshotOld = (HBITMAP)SelectObject(s_snapshotDc, s_snapshotBitmap);
        BitBlt(s_snapshotDc, 0, 0, cx, cy, screen, 0, 0, SRCCOPY);
    }
    ReleaseDC(NULL, screen);
    if (!taken)
        free_snapshot();
    return taken;
}

uint32_t capture_block_size(int width, int height, int display_bits)
{
    if (width <= 0 || height <= 0)
        return 0;
    uint64_t row = ((uint64_t)width * (display_bits == 8 ? 1 : 3) + 3) / 4 * 4;
    uint64_t size = row * (uint64_t)height + 40 + (display_bits == 8 ? 1024 : 0);
    return size > MAX_DIB_BYTES ? 0 : (uint32_t)size;
}

static void show_program_windows(void)
{
    ShowWindow(g_hwndMain, SW_SHOW);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
    if (is_window_open(g_hwndView)) {
        ShowWindow(g_hwndView, SW_SHOW);
        InvalidateRect(g_hwndView, NULL, TRUE);
    }
}

int capture_screen(int x, int y, int w, int h)
{
    if (is_window_open(g_hwndView))
        SetWindowTextA(g_hwndView, CAPTURE_NAME);
    int bits = get_display_bit_depth() == 8 ? 8 : 24;
    uint32_t size = capture_block_size(w, h, bits);
    HGLOBAL block = size ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size) : NULL;
    BITMAPINFOHEADER* bih = block ? (BITMAPINFOHEADER*)GlobalLock(block) : NULL;
    if (!bih) {
        if (block)
            GlobalFree(block);
        show_program_windows();
        return 0;
    }
    bih->biSize = 40;
    bih->biWidth = w;
    bih->biHeight = h;
    bih->biPlanes = 1;
    bih->biBitCount = (WORD)bits;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HPALETTE palette = NULL, old_screen_palette = NULL, old_memory_palette = NULL;
    if (bits == 8) {
        palette = create_system_palette((RGBQUAD*)(bih + 1));
        if (palette) {
            old_screen_palette = SelectPalette(screen, palette, FALSE);
            old_memory_palette = SelectPalette(memory, palette, FALSE);
            RealizePalette(screen);
            RealizePalette(memory);
        }
    }
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = bitmap ? SelectObject(memory, bitmap) : NULL;
    int rows = 0;
    if (bitmap) {
        BitBlt(memory, 0, 0, w, h, s_snapshotDc ? s_snapshotDc : screen, x, y, SRCCOPY);
        SelectObject(memory, old);
        rows = GetDIBits(memory, bitmap, 0, (UINT)h, (BYTE*)bih + dib_pixel_offset(bih), (BITMAPINFO*)bih,
                         DIB_RGB_COLORS);
        DeleteObject(bitmap);
    }
    // GetDIBits fills in the image size; the header stays as described.
    bih->biSizeImage = 0;
    bih->biClrUsed = 0;
    bih->biClrImportant = 0;
    if (palette) {
        SelectPalette(screen, old_screen_palette, FALSE);
        SelectPalette(memory, old_memory_palette, FALSE);
        DeleteObject(palette);
    }
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    GlobalUnlock(block);
    if (rows == 0) {
        GlobalFree(block);
        show_program_windows();
        return 0;
    }
    g_hImage = block;
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_SCREEN_CAPTURE;
    std::snprintf(g_fileName, sizeof g_fileName, "%s", CAPTURE_NAME);
    g_filePath[0] = '\0';  // no file: no command acts on the one shown before
    std::snprintf(g_infoText, sizeof g_infoText,
                  "Screen Capture Image\n\nwidth: %d \nheight: %d \nbits per pixel: %d", w, h,
                  get_image_bit_count());
    g_hasTransparency = 0;
    clear_edit_history();
    fit_image_rect(w, h, 0);
    update_main_menu_state();
    // The image window's menu follows the capture before it is shown again.
    if (is_window_open(g_hwndView))
        update_view_menu_state();
    SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
    show_program_windows();
    return 1;
}

// The title is read without a message: another program's window that
// does not answer must not stop the capture.
BOOL CALLBACK find_capture_window(HWND hwnd, LPARAM lp)
{
    (void)lp;
    char title[256];
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (GetParent(hwnd) || GetWindow(hwnd, GW_OWNER) || !IsWindow(hwnd) || !IsWindowVisible(hwnd) ||
        IsIconic(hwnd) || std::strcmp(cls, "Shell_TrayWnd") == 0 ||
        GetWindowTextA(hwnd, title, sizeof title) == 0)
        return TRUE;
    RECT r;
    GetWindowRect(hwnd, &r);
    if (r.right < 0 || r.bottom < 0 || r.left >= GetSystemMetrics(SM_CXSCREEN) ||
        r.top >= GetSystemMetrics(SM_CYSCREEN))
        return FALSE;
    g_hwndCaptureTarget = hwnd;
    return FALSE;
}

static void start_capture_mode(void)
{
    release_current_image();
    if (is_window_open(g_hwndView))
        ShowWindow(g_hwndView, SW_HIDE);
    ShowWindow(g_hwndMain, SW_HIDE);
    g_capturePending = 1;
    g_hwndCaptureTarget = NULL;
    // Nothing to capture from without the copy of the screen.
    if (!take_snapshot()) {
        g_capturePending = 0;
        show_program_windows();
        return;
    }
    EnumWindows(find_capture_window, 0);
    if (!g_hwndCaptureTarget)
        g_hwndCaptureTarget = GetDesktopWindow();
    g_hwndCover = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TRANSPARENT, "Cover", "Screen Capture", WS_POPUP | WS_VISIBLE,
                                  0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                  g_hInstance, NULL);
    if (!g_hwndCover) {
        g_capturePending = 0;
        free_snapshot();
        show_program_windows();
        return;
    }
    SetCapture(g_hwndCover);
    SetForegroundWindow(g_hwndCaptureTarget);
}

INT_PTR CALLBACK tocapture_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)lp;
    if (msg == WM_INITDIALOG) {
        SetWindowTextA(hdlg, "Capture Screen Image");
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    if (LOWORD(wp) == IDCANCEL) {
        EndDialog(hdlg, IDCANCEL);
        return TRUE;
    }
    if (LOWORD(wp) == IDOK) {
        EndDialog(hdlg, IDOK);
        start_capture_mode();
        return TRUE;
    }
    return FALSE;
}

void run_capture_dialog(HWND owner)
{
    if (is_window_open(g_hwndCover))
        return;
    dialog_box_holding(g_hInstance, "TOCAPTURE", owner, tocapture_dlg_proc, 0);
}

// ---- the overlay's mouse

// The capture is taken from the snapshot before this frees it.
static void end_overlay(void)
{
    ReleaseCapture();
    HWND cover = g_hwndCover;
    g_hwndCover = NULL;
    if (cover && IsWindow(cover))
        DestroyWindow(cover);
    free_snapshot();
}

static LRESULT cover_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (s_snapshotDc)
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, s_snapshotDc, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    EndPaint(hwnd, &ps);
    return 0;
}

static void release_band(void)
{
    if (s_memoryDc) {
        SelectObject(s_memoryDc, s_oldBitmap);
        DeleteDC(s_memoryDc);
    }
    if (s_snapshot)
        DeleteObject(s_snapshot);
    if (s_screenDc)
        ReleaseDC(NULL, s_screenDc);
    s_memoryDc = s_screenDc = NULL;
    s_snapshot = NULL;
    s_dragging = s_bandDrawn = false;
}

static RECT band_rect(void)
{
    RECT r = {s_anchorX < s_cornerX ? s_anchorX : s_cornerX, s_anchorY < s_cornerY ? s_anchorY : s_cornerY,
              s_anchorX < s_cornerX ? s_cornerX : s_anchorX, s_anchorY < s_cornerY ? s_cornerY : s_anchorY};
    return r;
}

static void cover_on_lbuttondown(int dblclk, int x, int y)
{
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    if (dblclk) {
        release_band();
        capture_screen(0, 0, cx, cy);
        end_overlay();
        g_capturePending = 0;
        return;
    }
    release_band();
    s_anchorX = s_cornerX = x;
    s_anchorY = s_cornerY = y;
    s_screenDc = GetDC(NULL);
    s_memoryDc = CreateCompatibleDC(s_screenDc);
    s_snapshot = CreateCompatibleBitmap(s_screenDc, cx, cy);
    if (!s_memoryDc || !s_snapshot) {
        release_band();
        return;
    }
    s_oldBitmap = (HBITMAP)SelectObject(s_memoryDc, s_snapshot);
    BitBlt(s_memoryDc, 0, 0, cx, cy, s_snapshotDc ? s_snapshotDc : s_screenDc, 0, 0, SRCCOPY);
    s_dragging = true;
}

static void cover_on_mousemove(int x, int y, WPARAM keys)
{
    if (!s_dragging || !(keys & MK_LBUTTON))
        return;
    if (s_bandDrawn) {
        RECT old = band_rect();
        InvertRect(s_memoryDc, &old);
        s_bandDrawn = false;
    }
    if (std::abs(x - s_anchorX) > GetSystemMetrics(SM_CXDRAG) &&
        std::abs(y - s_anchorY) > GetSystemMetrics(SM_CYDRAG)) {
        s_cornerX = x;
        s_cornerY = y;
        RECT band = band_rect();
        InvertRect(s_memoryDc, &band);
        s_bandDrawn = true;
    }
    BitBlt(s_screenDc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), s_memoryDc, 0, 0,
           SRCCOPY);
}

static void cover_on_lbuttonup(int x, int y)
{
    if (!s_dragging)
        return;
    int dx = std::abs(s_anchorX - x), dy = std::abs(s_anchorY - y);
    int left = s_anchorX < x ? s_anchorX : x, top = s_anchorY < y ? s_anchorY : y;
    if (s_bandDrawn) {
        // The screen goes back to what it showed before the band.
        RECT band = band_rect();
        InvertRect(s_memoryDc, &band);
        BitBlt(s_screenDc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), s_memoryDc, 0, 0,
               SRCCOPY);
    }
    release_band();
    if (dx >= 2 * GetSystemMetrics(SM_CXDRAG) && dy >= 2 * GetSystemMetrics(SM_CYDRAG)) {
        capture_screen(left, top, dx, dy);
        end_overlay();
        g_capturePending = 0;
    }
}

static void cover_on_rbuttondown(void)
{
    EnableWindow(g_hwndMain, FALSE);
    RECT r = {0, 0, 0, 0};
    GetWindowRect(g_hwndCaptureTarget ? g_hwndCaptureTarget : GetDesktopWindow(), &r);
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    int x = r.left > 0 ? r.left : 0, y = r.top > 0 ? r.top : 0;
    int w = (r.right < cx ? r.right : cx) - x, h = (r.bottom < cy ? r.bottom : cy) - y;
    release_band();
    capture_screen(x, y, w, h);
    end_overlay();
    // The main window takes input again at the next timer tick, after the
    // click that ended the capture has gone.
    arm_animation_timer(g_hwndMain, 5);
}

LRESULT CALLBACK cover_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (g_capturePending && hwnd == g_hwndCover) {
        int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
        switch (msg) {
        case WM_LBUTTONDOWN:
            cover_on_lbuttondown(0, x, y);
            return 0;
        case WM_LBUTTONDBLCLK:
            cover_on_lbuttondown(1, x, y);
            return 0;
        case WM_MOUSEMOVE:
            cover_on_mousemove(x, y, wp);
            return 0;
        case WM_LBUTTONUP:
            cover_on_lbuttonup(x, y);
            return 0;
        case WM_RBUTTONDOWN:
            cover_on_rbuttondown();
            return 0;
        case WM_PAINT:
            return cover_on_paint(hwnd);
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
