// The "Merge" tool window and the pieces the "Text" window shares with it
// (window maker, point mapping, keys and scrolling). The source is asked
// for on the first mouse move, so that the window is already shown behind
// the Open dialog or the clipboard question. While the tool runs the
// source, its mask and bits are g_hMergeImage, g_hMergeMask, g_hMergeBits;
// every way out releases them, and an accepted merge's record owns what it
// took (the path of a file, the image of the clipboard).
#include "viewer/merge_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/clipboard.h"
#include "app/convert_save.h"
#include "app/program_entry.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "tools/merge_image.h"
#include "viewer/color_picker.h"
#include "viewer/crop_window.h"
#include "viewer/image_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

int g_grabX, g_grabY;

static HPEN g_hpenDot;                 // frame of the grabbed source; tool start to end
static int g_mergeTransparencyChosen;  // the user toggled Draw Transparent for this source
static int g_mergeGrabbed;             // the last button-down fell inside the source
static RECT g_rcMergeGrab;             // g_rcMerge at that button-down
static int g_mergePromptDone;          // the source has been asked for
static HWND g_hwndMergeOwner;          // the window whose command opened the tool
static bool g_mergeHolds;  // the open tool holds the shown file (file_hold.h)

// ---- shared with the text tool

void tool_point_to_image(int x, int y, int client_w, int client_h, int zoomed_w, int zoomed_h, int zoom,
                         int scroll_x, int scroll_y, int* ix, int* iy)
{
    const int left = zoomed_w <= client_w ? (client_w - zoomed_w) / 2 : scroll_x;
    const int top = zoomed_h <= client_h ? (client_h - zoomed_h) / 2 : scroll_y;
    *ix = (int)((int64_t)(x - left) * 8 / zoom);
    *iy = (int)((int64_t)(y - top) * 8 / zoom);
}

bool tool_image_size(int* w, int* h)
{
    const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (!bih)
        return false;
    *w = bih->biWidth;
    *h = abs(bih->biHeight);
    GlobalUnlock(g_hImage);
    return true;
}

void tool_zoomed_size(int* zw, int* zh)
{
    int w = 0, h = 0;
    tool_image_size(&w, &h);
    const int64_t cap = 0x3FFFFFFF;
    const int64_t x = (int64_t)w * g_zoomEighths / 8, y = (int64_t)h * g_zoomEighths / 8;
    *zw = (int)(x > cap ? cap : x);
    *zh = (int)(y > cap ? cap : y);
}

void create_tool_window(HWND* slot, const char* class_name)
{
    int zw = 0, zh = 0;
    tool_zoomed_size(&zw, &zh);
    const DWORD style = tool_window_style(zw, zh);
    g_scrollX = g_scrollY = 0;
    HWND hwnd = seam_create_tool_window(class_name, style, GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN) - g_mainStatusHeight, g_hwndDummy);
    *slot = hwnd;
    if (!hwnd)
        return;
    if (g_scrollRangeY)
        SetScrollRange(hwnd, SB_VERT, 0, g_scrollRangeY, TRUE);
    if (g_scrollRangeX)
        SetScrollRange(hwnd, SB_HORZ, 0, g_scrollRangeX, TRUE);
    tool_check_zoom_items(GetMenu(hwnd));
}

bool tool_change_zoom(HWND* slot, const char* class_name, int zoom)
{
    g_zoomEighths = zoom;
    if (g_zoomSaved == zoom)
        return false;
    g_zoomSaved = zoom;
    HWND old = *slot, fresh = NULL;
    create_tool_window(&fresh, class_name);
    *slot = fresh;
    if (old)
        DestroyWindow(old);
    return true;
}

void tool_map_point(HWND hwnd, int x, int y, int* ix, int* iy)
{
    RECT client;
    GetClientRect(hwnd, &client);
    int zw = 0, zh = 0;
    tool_zoomed_size(&zw, &zh);
    tool_point_to_image(x, y, client.right, client.bottom, zw, zh, g_zoomEighths, g_scrollX, g_scrollY, ix, iy);
}

void tool_show_zoomed(HWND hwnd, HDC dc, HDC mem, int w, int h, int stretch_mode)
{
    RECT c;
    GetClientRect(hwnd, &c);
    int zw = 0, zh = 0;
    tool_zoomed_size(&zw, &zh);
    const int x = zw <= c.right ? (c.right - zw) / 2 : g_scrollX;
    const int y = zh <= c.bottom ? (c.bottom - zh) / 2 : g_scrollY;
    SetStretchBltMode(dc, stretch_mode);
    SetBrushOrgEx(dc, 0, 0, NULL);
    StretchBlt(dc, x, y, zw, zh, mem, 0, 0, w, h, SRCCOPY);
}

void tool_on_scroll(HWND hwnd, int bar, int code)
{
    const int thumb = tool_scroll_thumb(hwnd, bar);
    const bool vertical = bar == SB_VERT;
    int* offset = vertical ? &g_scrollY : &g_scrollX;
    *offset = tool_scroll_offset(*offset, vertical ? g_scrollRangeY : g_scrollRangeX, code, thumb, g_zoomEighths);
    SetScrollPos(hwnd, bar, -*offset, TRUE);
    // The paint covers what the image leaves: erasing first only flickers.
    InvalidateRect(hwnd, NULL, FALSE);
}

// ---- the merge tool

void update_merge_status(int x, int y)
{
    if (x >= 0 || y >= 0 || !g_hwndMergeStatus)
        return;
    char text[200];
    snprintf(text, sizeof text, "zoom: %g%%", g_zoomEighths * 12.5);
    SendMessageA(g_hwndMergeStatus, SB_SETTEXTA, 1, (LPARAM)text);
    int w = 0, h = 0;
    tool_image_size(&w, &h);
    snprintf(text, sizeof text, "width: %d;   height: %d", w, h);
    SendMessageA(g_hwndMergeStatus, SB_SETTEXTA, 2, (LPARAM)text);
    text[0] = '\0';
    if (g_hMergeImage)
        snprintf(text, sizeof text, "left: %ld;   top: %ld;   right: %ld;   bottom: %ld", g_rcMerge.left,
                 g_rcMerge.top, g_rcMerge.right - 1, g_rcMerge.bottom - 1);
    SendMessageA(g_hwndMergeStatus, SB_SETTEXTA, 3, (LPARAM)text);
}

static bool inside_source(int ix, int iy)
{
    return ix >= g_rcMerge.left && ix < g_rcMerge.right && iy >= g_rcMerge.top && iy < g_rcMerge.bottom;
}

static HCURSOR hand_cursor(void)
{
    return LoadCursorA(GetModuleHandleA(NULL), "HAND");
}

static void end_merge_tool(void)
{
    HWND merge = g_hwndMerge;
    g_hwndMerge = NULL;
    if (g_mergeHolds) {
        g_mergeHolds = false;
        end_file_hold();
    }
    // The window that started the tool is made active before the tool's
    // windows go, so that their going activates no other.
    if (g_hwndMergeOwner && IsWindow(g_hwndMergeOwner))
        SetForegroundWindow(g_hwndMergeOwner);
    if (g_hpenDot)
        DeleteObject(g_hpenDot);
    g_hpenDot = NULL;
    if (g_hwndMergeStatus)
        DestroyWindow(g_hwndMergeStatus);
    g_hwndMergeStatus = NULL;
    if (merge)
        DestroyWindow(merge);
    if (g_hwndDummy)
        DestroyWindow(g_hwndDummy);
    g_hwndDummy = NULL;
    if (g_hMergePath)
        GlobalFree(g_hMergePath);
    g_hMergePath = NULL;
}

// Merges the source into the current image (recorded); the source stays.
static void merge_source_now(void)
{
    if (!g_hMergeImage)
        return;
    merge_into_current_image(g_hwndMain, g_hwndView, g_hwndMerge, &g_hImage, &g_hImageUnconverted, g_hMergeImage,
                             g_hMergeMask, g_mergeKind, g_rcMerge, g_rcMetafile, g_hBackgroundBrushes[0],
                             g_mergePlaced, g_mergeFromClipboard, &g_colorConversion, 0, &g_brightnessStep);
}

static void cancel_merge(void)
{
    seam_beep((UINT)-1);
    end_merge_tool();
    free_merge_source();
}

static void accept_merge(void)
{
    merge_source_now();
    end_merge_tool();
    free_merge_source();
}

// The top-left image pixel in view: a new source is placed there.
static POINT visible_origin(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    int zw = 0, zh = 0;
    tool_zoomed_size(&zw, &zh);
    POINT o = {0, 0};
    if (zw > client.right)
        o.x = (LONG)((int64_t)-g_scrollX * 8 / g_zoomEighths);
    if (zh > client.bottom)
        o.y = (LONG)((int64_t)-g_scrollY * 8 / g_zoomEighths);
    return o;
}

// An enhanced-metafile source: its frame in the pixels of the device of
// window's DC, and its place at o.
static void place_metafile_at(HENHMETAFILE emf, HWND window, POINT o)
{
    g_mergeKind = MERGE_EMF;
    HDC hdc = GetDC(window);
    get_emf_info(emf, NULL, &g_rcMetafile, hdc);
    ReleaseDC(window, hdc);
    LONG w = g_rcMetafile.right - g_rcMetafile.left, h = g_rcMetafile.bottom - g_rcMetafile.top;
    SetRect(&g_rcMerge, o.x, o.y, o.x + (w < 1 ? 1 : w), o.y + (h < 1 ? 1 : h));
}

// The Windows metafile of the preview as an enhanced metafile source (its
// bits, as the metafile reports their size, kept in g_hMergeBits).
static HENHMETAFILE convert_wmf_preview(HWND hwnd)
{
    HMETAFILE wmf = (HMETAFILE)g_hMergePreviewImage;
    UINT size = GetMetaFileBitsEx(wmf, 0, NULL);
    g_hMergeBits = size ? GlobalAlloc(GHND, size) : NULL;
    BYTE* bits = g_hMergeBits ? (BYTE*)GlobalLock(g_hMergeBits) : NULL;
    HENHMETAFILE emf = NULL;
    RenderOutcome outcome = RENDER_NOT_PLAYED;
    if (bits && GetMetaFileBitsEx(wmf, size, bits) == size) {
        METAFILEPICT picture = {MM_ANISOTROPIC, 10160, 10160, NULL};
        const bool is_placeable = g_mergeKind == MERGE_PLACEABLE_WMF;
        if (is_placeable && g_wmfScale) {
            picture.xExt = (LONG)((int64_t)(g_rcMetafile.right - g_rcMetafile.left) * 2540 / g_wmfScale);
            picture.yExt = (LONG)((int64_t)(g_rcMetafile.bottom - g_rcMetafile.top) * 2540 / g_wmfScale);
        }
        // The box is the window the records are drawn in, as the preview plays it.
        outcome = render_wmf_to_emf_bits(bits, size, &picture, is_placeable ? &g_rcMetafile : NULL, &emf);
    }
    if (bits)
        GlobalUnlock(g_hMergeBits);
    if (!emf)
        say_metafile_fault(hwnd, bits && outcome != RENDER_WHOLE ? render_fault(outcome) : METAFILE_TOO_LARGE);
    return emf;
}

void merge_filter(char* out, size_t size)
{
    memset(out, 0, size);
    const char* in = g_hFilter ? (const char*)GlobalLock(g_hFilter) : NULL;
    if (!in)
        return;
    const SIZE_T available = GlobalSize(g_hFilter);
    size_t at = 0, used = 0;
    for (int entry = 0; at < available && in[at] && used + 2 < size; ++entry) {
        size_t length = strnlen(in + at, available - at);
        if (entry != 2 && entry != 3 && used + length + 2 < size) {
            memcpy(out + used, in + at, length);
            used += length + 1;
        }
        at += length + 1;
    }
    GlobalUnlock(g_hFilter);
}

// Asks for a file source; false when there is none (the tool then ends).
static bool take_file_source(HWND hwnd, POINT o, int* transparent)
{
    static char filter[2048];
    merge_filter(filter, sizeof filter);
    char name[261] = "", folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd;
    ofn.hInstance = GetModuleHandleA(NULL);
    ofn.lpstrFilter = filter[0] ? filter : NULL;
    ofn.lpstrFile = name;
    ofn.nMaxFile = 260;
    ofn.lpstrInitialDir = folder;
    ofn.lpstrTitle = "Merge Image from File";
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_LONGNAMES;
    ofn.lpfnHook = mergeimage_dlg_hook;
    ofn.lpTemplateName = "MERGEIMAGE";
    if (!run_file_dialog(&ofn, GetOpenFileNameA)) {
        free_merge_preview();
        return false;
    }
    const unsigned boxes = seam_message_box_count();
    bool complete = false;
    switch (g_mergeKind) {
    case MERGE_RASTER:
        complete = true;
        *transparent = 0;
        break;
    case MERGE_ON_OFF_TRANSPARENCY:
    case MERGE_ICON:
        complete = g_hMergeMask != NULL;
        *transparent = 1;
        break;
    case MERGE_PARTIAL_ALPHA: {
        // The flattened copy gives way to the blend's work image.
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hMergePreviewImage);
        HGLOBAL work = bih ? create_dib24(bih->biWidth, bih->biHeight) : NULL;
        if (bih)
            GlobalUnlock(g_hMergePreviewImage);
        complete = g_hMergeMask && work;
        if (g_hMergeMask)
            GlobalFree(g_hMergeMask);
        g_hMergeMask = work;
        *transparent = 1;
        break;
    }
    case MERGE_EMF:
        complete = g_hMergeBits != NULL;
        *transparent = 1;
        break;
    case MERGE_WMF:
    case MERGE_PLACEABLE_WMF: {
        HENHMETAFILE emf = convert_wmf_preview(hwnd);
        if (!emf)
            break;
        DeleteMetaFile((HMETAFILE)g_hMergePreviewImage);
        g_hMergePreviewImage = (HGLOBAL)emf;
        place_metafile_at(emf, hwnd, o);
        o.x = o.y = 0;
        complete = true;
        *transparent = 1;
        break;
    }
    }
    if (!complete) {
        free_merge_preview();
        // The dialog takes only a file that gave a picture: what its kind
        // needs besides could not be made, for want of memory, unless the
        // metafile's conversion said why.
        if (seam_message_box_count() == boxes)
            seam_message_box(hwnd, "Insufficient Memory for this Operation.", NULL, MB_OK | MB_ICONSTOP);
        return false;
    }
    g_hMergeImage = g_hMergePreviewImage;
    g_hMergePreviewImage = NULL;
    OffsetRect(&g_rcMerge, o.x, o.y);
    return true;
}

static bool take_clipboard_source(HWND hwnd, POINT o, int* transparent)
{
    const bool dib = IsClipboardFormatAvailable(CF_DIB);
    if (!dib && !IsClipboardFormatAvailable(CF_ENHMETAFILE) && !IsClipboardFormatAvailable(CF_METAFILEPICT))
        return false;
    if (seam_message_box(hwnd, "Merge Image from Clipboard?", "Merge Image", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return false;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    bool taken = false;
    MetafileFault fault = METAFILE_FAULT_NONE;
    if (OpenClipboard(g_hwndMain)) {
        if (dib) {
            HGLOBAL data = GetClipboardData(CF_DIB);
            g_hMergeImage = data ? copy_clipboard_dib(data) : NULL;
            BITMAPINFOHEADER* bih = g_hMergeImage ? (BITMAPINFOHEADER*)GlobalLock(g_hMergeImage) : NULL;
            if (bih) {
                g_mergeKind = MERGE_RASTER;
                SetRect(&g_rcMerge, o.x, o.y, o.x + bih->biWidth, o.y + abs(bih->biHeight));
                GlobalUnlock(g_hMergeImage);
                *transparent = 0;
                taken = true;
            }
        } else {
            // The checked copy is the source; its bits are kept beside it
            // for the edit's replay.
            HENHMETAFILE emf = take_clipboard_metafile(&fault);
            UINT size = emf ? GetEnhMetaFileBits(emf, 0, NULL) : 0;
            g_hMergeBits = size ? GlobalAlloc(GHND, size) : NULL;
            BYTE* bits = g_hMergeBits ? (BYTE*)GlobalLock(g_hMergeBits) : NULL;
            bool kept = bits && GetEnhMetaFileBits(emf, size, bits) == size;
            if (bits)
                GlobalUnlock(g_hMergeBits);
            if (kept) {
                g_hMergeImage = (HGLOBAL)emf;
                place_metafile_at(emf, g_hwndMain, o);
                *transparent = 1;
                taken = true;
            } else if (emf) {
                DeleteEnhMetaFile(emf);
            }
        }
        CloseClipboard();
    }
    SetCursor(old_cursor);
    say_metafile_fault(hwnd, fault);
    return taken;
}

static void ask_for_source(HWND hwnd)
{
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    g_mergePromptDone = 1;
    const POINT o = visible_origin(hwnd);
    int transparent = 0;
    const bool taken = g_mergeFromClipboard ? take_clipboard_source(hwnd, o, &transparent)
                                            : take_file_source(hwnd, o, &transparent);
    if (!taken) {
        free_merge_source();
        cancel_merge();
        return;
    }
    if (!g_mergeTransparencyChosen)
        g_mergePlaced = transparent;
    InvalidateRect(hwnd, NULL, FALSE);
    update_merge_status(-1, -1);
}

static LRESULT merge_on_mousemove(HWND hwnd, int x, int y, WPARAM keys)
{
    if (!g_mergePromptDone) {
        ask_for_source(hwnd);
        return 0;
    }
    if (!g_hMergeImage) {
        SetCursor(LoadCursorA(NULL, IDC_ARROW));
        return 0;
    }
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    if ((keys & MK_LBUTTON) && g_mergeGrabbed) {
        g_rcMerge = g_rcMergeGrab;
        OffsetRect(&g_rcMerge, ix - g_grabX, iy - g_grabY);
        InvalidateRect(hwnd, NULL, FALSE);
        update_merge_status(-1, -1);
        SetCursor(hand_cursor());
        return 0;
    }
    SetCursor(inside_source(ix, iy) ? hand_cursor() : LoadCursorA(NULL, IDC_ARROW));
    return 0;
}

static LRESULT merge_on_lbuttondown(HWND hwnd, int is_double, int x, int y)
{
    if (is_double) {
        accept_merge();
        return 0;
    }
    if (!g_hMergeImage)
        return 0;
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    g_mergeGrabbed = inside_source(ix, iy);
    if (g_mergeGrabbed) {
        g_rcMergeGrab = g_rcMerge;
        g_grabX = ix;
        g_grabY = iy;
        SetCapture(hwnd);
    }
    SetCursor(g_mergeGrabbed ? hand_cursor() : LoadCursorA(NULL, IDC_ARROW));
    InvalidateRect(hwnd, NULL, FALSE);
    return 0;
}

static LRESULT merge_on_lbuttonup(HWND hwnd, int x, int y)
{
    if (GetCapture() == hwnd)
        ReleaseCapture();
    if (!g_hMergeImage)
        return 0;
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    if (g_mergeGrabbed) {
        g_rcMerge = g_rcMergeGrab;
        OffsetRect(&g_rcMerge, ix - g_grabX, iy - g_grabY);
        InvalidateRect(hwnd, NULL, FALSE);
        update_merge_status(-1, -1);
    }
    SetCursor(inside_source(ix, iy) ? hand_cursor() : LoadCursorA(NULL, IDC_ARROW));
    return 0;
}

static void play_metafile_source(HDC dc, const RECT*, const RECT* frame, void*)
{
    play_emf(dc, (HENHMETAFILE)g_hMergeImage, frame);
}

// A metafile source, drawn into the image's pixels in mem as the merge
// would draw it, from the pixels it left: a drag or a repaint plays
// nothing.
static void lay_metafile_source(HDC dc, HDC mem)
{
    RECT target, reach;
    merge_metafile_target(g_hMergeImage, dc, g_rcMerge, &target, &reach);
    if (!g_mergePlaced)
        FillRect(mem, &target, g_hBackgroundBrushes[0]);
    draw_metafile_layer(mem, g_hMergeImage, &reach, &target, play_metafile_source, NULL);
}

static LRESULT merge_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (bih) {
        const int W = bih->biWidth, H = abs(bih->biHeight);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = mem ? CreateCompatibleBitmap(dc, W, H) : NULL;
        if (bmp) {
            SetDIBits(dc, bmp, 0, H, dib_pixels(bih), (BITMAPINFO*)bih, DIB_RGB_COLORS);
            HGDIOBJ old_bmp = SelectObject(mem, bmp);
            if (g_hMergeImage) {
                if (g_mergeKind == MERGE_EMF)
                    lay_metafile_source(dc, mem);
                else
                    merge_image_into_dib(g_hImage, g_hMergeImage, g_hMergeMask, g_mergeKind, dc, mem, hwnd,
                                         g_rcMerge, g_rcMetafile, g_hBackgroundBrushes[0], g_mergePlaced);
                if (g_mergeGrabbed) {
                    HGDIOBJ old_pen = SelectObject(mem, g_hpenDot);
                    HGDIOBJ old_brush = SelectObject(mem, GetStockObject(NULL_BRUSH));
                    Rectangle(mem, g_rcMerge.left, g_rcMerge.top, g_rcMerge.right, g_rcMerge.bottom);
                    SelectObject(mem, old_brush);
                    SelectObject(mem, old_pen);
                }
            }
            tool_show_zoomed(hwnd, dc, mem, W, H, g_zoomEighths < 8 ? HALFTONE : COLORONCOLOR);
            SelectObject(mem, old_bmp);
            DeleteObject(bmp);
        }
        if (mem)
            DeleteDC(mem);
        GlobalUnlock(g_hImage);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

static void change_zoom(int zoom)
{
    if (!tool_change_zoom(&g_hwndMerge, "Merge", zoom))
        return;
    // Without its window the tool ends as Esc ends it, giving its hold back.
    if (!g_hwndMerge)
        cancel_merge();
    else
        update_merge_status(-1, -1);
}

static void toggle_transparency(HWND hwnd)
{
    g_mergeTransparencyChosen = 1;
    const bool maskable = g_mergeKind == MERGE_RASTER || g_mergeKind == MERGE_ON_OFF_TRANSPARENCY ||
                          g_mergeKind == MERGE_PARTIAL_ALPHA;
    if (g_mergePlaced && maskable && g_hMergeMask) {
        GlobalFree(g_hMergeMask);
        g_hMergeMask = NULL;
    }
    g_mergePlaced = !g_mergePlaced;
    if (g_mergePlaced && maskable) {
        if (g_mergeKind == MERGE_RASTER) {
            g_hMergeMask = make_transparency_mask(g_hMergeImage, g_mergeKeyColor, -1);
        } else if (g_mergeKind == MERGE_ON_OFF_TRANSPARENCY) {
            g_hMergeMask = make_transparency_mask(g_hMergeImage, 0, g_mergeKeyIndex);
        } else {
            BITMAPINFOHEADER* bih = g_hMergeImage ? (BITMAPINFOHEADER*)GlobalLock(g_hMergeImage) : NULL;
            if (bih) {
                g_hMergeMask = create_dib24(bih->biWidth, bih->biHeight);
                GlobalUnlock(g_hMergeImage);
            }
        }
        if (!g_hMergeMask)
            g_mergePlaced = 0;
    }
    InvalidateRect(hwnd, NULL, FALSE);
}

// Merge Another Image: the current source is merged, the next one asked for.
static void merge_another(HWND hwnd, int from_clipboard)
{
    merge_source_now();
    g_mergeFromClipboard = from_clipboard;
    free_merge_source();
    g_mergePromptDone = 0;
    g_mergeGrabbed = 0;
    g_mergeTransparencyChosen = 0;
    InvalidateRect(hwnd, NULL, FALSE);
    update_merge_status(-1, -1);
}

static LRESULT merge_on_command(HWND hwnd, int id)
{
    if (int zoom = tool_zoom_for_item(id)) {
        change_zoom(zoom);
        return 0;
    }
    switch (id) {
    case IDM_MERGE_ACCEPT: accept_merge(); break;
    case IDM_MERGE_CANCEL: cancel_merge(); break;
    case IDM_MERGE_HELP: seam_win_help(hwnd, "RODadi.zoz", HELP_CONTEXT, 110); break;
    case IDM_MERGE_HELP_LIBRARY: seam_win_help(hwnd, "RODadi.zoz", HELP_FINDER, 0); break;
    case IDM_MERGE_TRANSPARENT: toggle_transparency(hwnd); break;
    case IDM_MERGE_KEY_COLOR: run_color_picker(hwnd, "PALETTE_COLOR_BIG"); break;
    case IDM_MERGE_ANOTHER_FILE: merge_another(hwnd, 0); break;
    case IDM_MERGE_ANOTHER_CLIPBOARD: merge_another(hwnd, 1); break;
    }
    return 0;
}

static LRESULT merge_on_initmenu(HMENU menu)
{
    CheckMenuItem(menu, IDM_MERGE_TRANSPARENT, MF_BYCOMMAND | (g_mergePlaced ? MF_CHECKED : MF_UNCHECKED));
    const bool keyed = g_mergePlaced && g_mergeKind == MERGE_RASTER;
    EnableMenuItem(menu, IDM_MERGE_KEY_COLOR, MF_BYCOMMAND | (keyed ? MF_ENABLED : MF_GRAYED));
    const bool clipboard = IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_ENHMETAFILE) ||
                           IsClipboardFormatAvailable(CF_METAFILEPICT);
    EnableMenuItem(menu, IDM_MERGE_ANOTHER_CLIPBOARD, MF_BYCOMMAND | (clipboard ? MF_ENABLED : MF_GRAYED));
    return 0;
}

LRESULT CALLBACK merge_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
    switch (msg) {
    case WM_INITMENU: return merge_on_initmenu((HMENU)wp);
    case WM_COMMAND: return merge_on_command(hwnd, LOWORD(wp));
    case WM_EXITMENULOOP: take_pointer_back_after_menu(); return 0;
    case WM_PAINT: return merge_on_paint(hwnd);
    case WM_LBUTTONDOWN: return merge_on_lbuttondown(hwnd, 0, x, y);
    case WM_LBUTTONDBLCLK: return merge_on_lbuttondown(hwnd, 1, x, y);
    case WM_LBUTTONUP: return merge_on_lbuttonup(hwnd, x, y);
    case WM_MOUSEMOVE: return merge_on_mousemove(hwnd, x, y, wp);
    case WM_KEYDOWN:
        tool_on_keydown(hwnd, (int)wp, cancel_merge);
        return 0;
    case WM_VSCROLL:
        tool_on_scroll(hwnd, SB_VERT, LOWORD(wp));
        return 0;
    case WM_HSCROLL:
        tool_on_scroll(hwnd, SB_HORZ, LOWORD(wp));
        return 0;
    case WM_CLOSE:
        if (hwnd == g_hwndMerge)
            cancel_merge();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void start_merge_tool(HWND owner, int from_clipboard)
{
    if (!g_hImage || g_imageKind != KIND_DIB || is_window_open(g_hwndMerge))
        return;
    free_merge_source();
    g_hwndMergeOwner = owner;
    g_mergeFromClipboard = from_clipboard;
    g_zoomEighths = g_zoomSaved = 8;
    g_mergePromptDone = 0;
    g_mergeGrabbed = 0;
    g_mergeTransparencyChosen = 0;
    g_mergePlaced = 0;
    g_hpenDot = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
    begin_file_hold();
    g_mergeHolds = true;
    g_hwndDummy = CreateWindowExA(0, "Dummy", "", WS_POPUP | WS_VISIBLE | WS_DISABLED, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    create_merge_status_bar(g_hwndDummy);
    create_tool_window(&g_hwndMerge, "Merge");
    if (!g_hwndMerge) {
        cancel_merge();
        return;
    }
    SetForegroundWindow(g_hwndMerge);
    SetFocus(g_hwndMerge);
    update_merge_status(-1, -1);
}
