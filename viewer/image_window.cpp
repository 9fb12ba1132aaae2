// The image window's handlers: creation and closing, background, painting,
// keys, the click that closes it and the owner-drawn background swatches
// of its menu. WM_INITMENU and WM_COMMAND are handed to their own units.
//
// The image area is the client area less the status strip at its bottom;
// a window shorter than the strip has no image area and paints nothing.
#include "viewer/image_window.h"

#include <cstdio>
#include <cstring>

#include "app/main_menu.h"
#include "app/main_window.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/gif_anim.h"
#include "image/kept_attributes.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_preview.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/seams.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "tools/brightness.h"
#include "tools/color_reduce.h"
#include "tools/edit_history.h"
#include "viewer/image_window_commands.h"
#include "viewer/image_window_menu.h"
#include "viewer/status_bar.h"
#include "viewer/stretch_dialog.h"
#include "viewer/window_classes.h"

int g_tileMode;

static const char HELP_FILE[] = "RODadi.zoz";
static const char QUESTION_CAPTION[] = "Corvane File Viewer";
enum { HELP_CONTEXT_VIEW = 103 };

void shrink_to_area(int area_width, int area_height, int* width, int* height)
{
    int w = *width < 1 ? 1 : *width;
    int h = *height < 1 ? 1 : *height;
    if (area_width >= 1 && area_height >= 1) {
        while (w >= area_width || h >= area_height) {
            w = w * 9 / 10;
            h = h * 9 / 10;
            if (w < 1)
                w = 1;
            if (h < 1)
                h = 1;
            // 1 x 1 still not smaller than a 1-pixel area: nothing smaller exists.
            if (w == 1 && h == 1)
                break;
        }
    }
    *width = w;
    *height = h;
}

void close_image_window(void)
{
    if (!is_window_open(g_hwndView))
        return;
    g_viewPlacement.length = sizeof g_viewPlacement;
    if (GetWindowPlacement(g_hwndView, &g_viewPlacement)) {
        g_viewRect = g_viewPlacement.rcNormalPosition;
        g_viewStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        if (g_viewPlacement.showCmd == SW_SHOWMAXIMIZED)
            g_viewStyle |= WS_MAXIMIZE;
    }
    if (g_hwndViewStatus && IsWindow(g_hwndViewStatus))
        DestroyWindow(g_hwndViewStatus);
    g_hwndViewStatus = NULL;
    if (is_window_open(g_hwndMain)) {
        SetActiveWindow(g_hwndMain);
        if (IsIconic(g_hwndMain))
            ShowWindow(g_hwndMain, SW_RESTORE);
    }
}

void destroy_image_window(void)
{
    close_image_window();
    if (is_window_open(g_hwndView))
        DestroyWindow(g_hwndView);
    g_hwndView = NULL;
}

// ---- painting

// The image area: the client rectangle less the status strip.
static RECT image_area(HWND hwnd)
{
    RECT c;
    GetClientRect(hwnd, &c);
    c.bottom -= g_viewStatusHeight;
    if (c.bottom < c.top)
        c.bottom = c.top;
    return c;
}

// The top src_h rows of the picture (all of them when src_h is its height)
// into (x, y, w, h).
static void stretch_halftone(HDC dc, const BITMAPINFOHEADER* bih, int x, int y, int w, int h, int src_h)
{
    POINT origin;
    GetBrushOrgEx(dc, &origin);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, origin.x, origin.y, NULL);
    stretch_dib_rows(dc, x, y, w, h, bih, 0, src_h);
}

static void paint_bitmap(HWND hwnd, HDC dc, const RECT& c, const BITMAPINFOHEADER* bih, bool animation,
                         int tile, RECT* drawn)
{
    const int W = bih->biWidth, H = bih->biHeight;
    if (W < 1 || H < 1)
        return;
    if (tile == 0) {
        int w = W, h = H;
        // An animation is shown at its own size: its frames are composed
        // on a canvas of that size.
        if (!animation)
            shrink_to_area(c.right + 1, c.bottom + 1, &w, &h);
        int x = (c.right - w) / 2, y = (c.bottom - h) / 2;
        stretch_halftone(dc, bih, x, y, w, h, H);
        if (drawn)
            SetRect(drawn, x, y, x + w, y + h);
        return;
    }
    if (H <= c.bottom && W <= c.right) {
        for (int y = 0; y < c.bottom; y += H)
            for (int x = 0; x < c.right; x += W)
                draw_dib_scaled(dc, 4, x, y, c.bottom - y < H ? c.bottom - y : H, bih);
        return;
    }
    if (animation) {
        draw_dib_scaled(dc, 4, (c.right - W) / 2, (c.bottom - H) / 2, H, bih);
        return;
    }
    int w = W, h = H;
    shrink_to_area(c.right + 1, c.bottom + 1, &w, &h);
    for (int y = 0; y < c.bottom; y += h) {
        int rows = c.bottom - y < h ? c.bottom - y : h;
        // A copy cut at the bottom shows the top source rows in proportion.
        int src_rows = (int)(((long long)rows * H + h / 2) / h);
        if (src_rows < 1)
            src_rows = 1;
        for (int x = 0; x < c.right; x += w)
            stretch_halftone(dc, bih, x, y, w, rows, src_rows);
    }
}

// How the current metafile lies in an area: its frame (the first cell when
// tiled) and, for a placeable Windows one, its size before shrinking.
struct MetafileLayout {
    HWND hwnd;
    int tile;
    int32_t width, height;
};

static RECT centred_or_first_cell(int area_width, int area_height, int w, int h, int tile)
{
    int columns = tile ? area_width / w : 1, rows = tile ? area_height / h : 1;
    RECT r = {(area_width - columns * w) / 2, (area_height - rows * h) / 2, 0, 0};
    r.right = r.left + w;
    r.bottom = r.top + h;
    return r;
}

static RECT lay_out_metafile(HDC dc, const RECT& c, MetafileLayout* layout)
{
    if (g_imageKind == KIND_EMF) {
        HDC main_dc = GetDC(g_hwndMain);
        get_emf_info((HENHMETAFILE)g_hImage, NULL, &g_rcMetafile, main_dc);
        if (main_dc)
            ReleaseDC(g_hwndMain, main_dc);
        int w = g_rcMetafile.right - g_rcMetafile.left, h = g_rcMetafile.bottom - g_rcMetafile.top;
        shrink_to_area(c.right + 1, c.bottom + 1, &w, &h);
        return centred_or_first_cell(c.right, c.bottom, w, h, layout->tile);
    }
    // A plain Windows metafile is drawn in the picture it is converted as.
    const SIZE plain = plain_wmf_size();
    layout->width = plain.cx;
    layout->height = plain.cy;
    if (g_wmfHasPlaceable) {
        int32_t tx = 15, ty = 15;
        get_twips_per_pixel(dc, &tx, &ty);
        DWORD units = g_wmfScale ? g_wmfScale : 1440;
        long long width = (long long)(g_rcMetafile.right - g_rcMetafile.left + 1) * 1440 / ((long long)tx * units);
        long long height = (long long)(g_rcMetafile.bottom - g_rcMetafile.top + 1) * 1440 / ((long long)ty * units);
        layout->width = (int32_t)width;
        layout->height = (int32_t)height;
    }
    int w = layout->width, h = layout->height;
    shrink_to_area(c.right + 1, c.bottom + 1, &w, &h);
    return centred_or_first_cell(c.right + 1, c.bottom + 1, w, h, layout->tile);
}

// Plays the current metafile as laid out (MetafileViewPlay).
static void play_current_metafile(HDC dc, const RECT* area, const RECT* frame, void* data)
{
    const MetafileLayout* layout = (const MetafileLayout*)data;
    if (g_imageKind == KIND_WMF) {
        play_wmf_in_rect(layout->hwnd, dc, area->right + 1, area->bottom + 1, layout->width, layout->height,
                         (uint32_t)layout->tile);
    } else if (layout->tile == 0) {
        play_emf(dc, (HENHMETAFILE)g_hImage, frame);
    } else {
        int w = frame->right - frame->left, h = frame->bottom - frame->top;
        play_metafile_tiled(dc, g_hImage, 1, NULL, 0, frame->left, frame->top, w, h, area->right / w,
                            area->bottom / h);
    }
}

// Through the window's kept pixels: a repaint at the same size plays
// nothing.
static void paint_metafile(HWND hwnd, HDC dc, const RECT& c, int tile)
{
    MetafileLayout layout = {hwnd, tile, 0, 0};
    MetafileView view;
    view.window = hwnd;
    view.metafile = g_hImage;
    view.area = c;
    view.frame = lay_out_metafile(dc, c, &layout);
    view.layout = tile;
    view.background = g_hBackgroundBrush ? g_hBackgroundBrush : (HBRUSH)GetStockObject(WHITE_BRUSH);
    draw_metafile_view(dc, &view, play_current_metafile, &layout);
}

// The once-per-file notice that an icon or cursor file holds more images.
static void show_page_hint(HWND hwnd)
{
    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    bool icons = g_fileFormat == FMT_ICON && g_iconCount > 1;
    if (g_imageKind != KIND_DIB || g_pageHintShown || is_window_open(g_hwndSlide) ||
        !(icons || (tiff && g_pageCount > 1)))
        return;
    g_pageHintShown = 1;
    g_viewPlacement.length = sizeof g_viewPlacement;
    GetWindowPlacement(hwnd, &g_viewPlacement);
    if (!icons || g_viewPlacement.showCmd != SW_SHOWMAXIMIZED)
        return;
    const char* what = g_iconIsCursor ? "Cursor" : "Icon";
    char text[200], caption[40];
    std::snprintf(text, sizeof text, "%s %d of %d pages. \n\nPress \"n\" to view next %s. \nPress \"p\" to view preceding %s.",
                  what, g_iconIndex, g_iconCount, what, what);
    std::snprintf(caption, sizeof caption, "Multiple %s Images", what);
    seam_message_box(hwnd, text, caption, MB_OK);
}

void paint_current_image(HWND hwnd, HDC dc, const RECT& c, int tile, RECT* drawn)
{
    const int kind = g_imageKind;
    if ((kind == KIND_WMF || kind == KIND_EMF) && g_hImage) {
        paint_metafile(hwnd, dc, c, tile);
    } else if ((kind == KIND_DIB || kind == KIND_ICON_PAGES || kind == KIND_ANI) && g_hImage) {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
        if (bih) {
            HPALETTE palette = create_dib_palette(bih, hwnd);
            HPALETTE old = palette ? SelectPalette(dc, palette, FALSE) : NULL;
            if (palette)
                RealizePalette(dc);
            paint_bitmap(hwnd, dc, c, bih, false, tile, drawn);
            if (palette) {
                SelectPalette(dc, old, FALSE);
                DeleteObject(palette);
            }
            GlobalUnlock(g_hImage);
        }
    } else if (kind == KIND_ANIMATED_GIF && g_hAnimCanvas) {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas);
        if (bih) {
            // The animation owns its palette.
            HPALETTE old = g_hPalette ? SelectPalette(dc, g_hPalette, FALSE) : NULL;
            if (g_hPalette)
                RealizePalette(dc);
            paint_bitmap(hwnd, dc, c, bih, true, tile, drawn);
            if (g_hPalette)
                SelectPalette(dc, old, FALSE);
            GlobalUnlock(g_hAnimCanvas);
        }
    }
}

static LRESULT meta_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (g_imageKind != KIND_MULTIMEDIA) {
        RECT c;
        GetClientRect(hwnd, &c);
        c.bottom -= g_viewStatusHeight;
        if (g_hwndViewStatus && IsWindow(g_hwndViewStatus)) {
            MoveWindow(g_hwndViewStatus, c.left, c.bottom, c.right - c.left, g_viewStatusHeight, TRUE);
            resize_view_status_bar();
            resize_main_status_bar();
        }
        update_view_menu_state();
        // The main window's menu follows the image shown here (an
        // animation that broke off is a still bitmap again).
        update_main_menu_state();
        // A window shorter than its status strip has no image area.
        if (c.bottom > c.top && c.right > c.left) {
            FillRect(dc, &c, g_hBackgroundBrush ? g_hBackgroundBrush : (HBRUSH)GetStockObject(WHITE_BRUSH));
            paint_current_image(hwnd, dc, c, g_tileMode);
        }
    }
    EndPaint(hwnd, &ps);
    // A modal box only once the paint cycle is over.
    if (g_imageKind != KIND_MULTIMEDIA)
        show_page_hint(hwnd);
    return 0;
}

static LRESULT meta_on_erasebkgnd(HWND hwnd, HDC dc)
{
    RECT c = image_area(hwnd);
    if (c.bottom > c.top)
        FillRect(dc, &c, g_hBackgroundBrush ? g_hBackgroundBrush : (HBRUSH)GetStockObject(WHITE_BRUSH));
    return 1;
}

// ---- keys


// F7 and F8: a deep image's pixels made brighter or darker for good.
static void change_brightness_irreversibly(int step)
{
    int bits = get_image_bit_count();
    if (g_imageKind != KIND_DIB || !g_hImage || bits <= 8 || g_colorConversion || g_brightnessStep ||
        get_display_bit_depth() < 8)
        return;
    char question[] = "Irreversibly change brightness (pixel by pixel) of 24 bit image?";
    if (bits == 16 || bits == 32) {
        question[51] = bits == 16 ? '1' : '3';
        question[52] = bits == 16 ? '6' : '2';
    }
    if (seam_message_box(NULL, question, QUESTION_CAPTION, MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    HCURSOR old = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    if (g_hImageUnconverted) {
        GlobalFree(g_hImage);
        g_hImage = g_hImageUnconverted;
        g_hImageUnconverted = NULL;
    }
    adjust_brightness(g_hImage, g_baseColorTable, &g_brightnessStep, step, NULL);
    if (get_display_bit_depth() == 8)
        reduce_colors(&g_hImage, &g_hImageUnconverted, -256, (UINT)g_imageKind, 1, 1);
    // Kept by no record: a reload of the file would take it away.
    note_unrecorded_change();
    SetCursor(old);
    InvalidateRect(g_hwndView, NULL, TRUE);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
}

static void step_page(bool next)
{
    if (g_imageKind != KIND_DIB)
        return;
    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    int* index;
    int count;
    if (tiff && g_pageCount >= 2) {
        index = &g_pageIndex;
        count = g_pageCount;
        g_pageStep = 1;
    } else if (g_fileFormat == FMT_ICON && g_iconCount >= 2) {
        index = &g_iconIndex;
        count = g_iconCount;
        g_iconStep = 1;
    } else {
        return;
    }
    HCURSOR old = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    g_slideForward = 1;
    if (next)
        *index = *index >= count ? 1 : *index + 1;
    else
        *index = *index <= 1 ? count : *index - 1;
    reload_shown_file(g_hwndMain);
    SetCursor(old);
}

// F6: the Exif segment of the JPEG shown removed, when the user agrees,
// and the file shown again.
static void remove_exif_marker(void)
{
    if (g_imageKind != KIND_DIB || g_fileFormat != FMT_JPEG)
        return;
    // The question is about this file, whatever is shown by the answer.
    char path[MAX_PATH];
    lstrcpynA(path, g_filePath, sizeof path);
    if (!path[0])
        return;
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return;
    fclose(fp);
    if (!is_exif_jpeg(path) ||
        seam_message_box(NULL, "Remove EXIF Marker?", "Corvane File Viewer", MB_YESNOCANCEL | MB_DEFBUTTON2) !=
            IDYES)
        return;
    HCURSOR old = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    // The rewrite the user agreed to takes a read-only file too, which
    // stays read-only.
    KeptAttributes kept = keep_attributes(path, 1);
    strip_exif_segment(path);
    put_attributes_back(&kept);
    reload_shown_file_keeping_edits(g_hwndMain);
    SetCursor(old);
}

static LRESULT meta_on_keydown(HWND hwnd, UINT key)
{
    if (file_hold_turns_away(hwnd))
        return 0;
    switch (key) {
    case VK_F7:
        change_brightness_irreversibly(+1);
        break;
    case VK_F8:
        change_brightness_irreversibly(-1);
        break;
    case 'N':
    case VK_RIGHT:
    case VK_UP:
        step_page(true);
        break;
    case 'P':
    case VK_LEFT:
    case VK_DOWN:
        step_page(false);
        break;
    case VK_ESCAPE:
        destroy_image_window();
        break;
    case VK_F9:
        run_huffman_command(hwnd);
        break;
    case VK_F6:
        remove_exif_marker();
        break;
    }
    return 0;
}

// ---- background swatches of the menu

static int swatch_index(UINT id)
{
    if (id == IDM_VIEW_BACKGROUND_0 || id == IDM_VIEW_BACKGROUND_1)
        return (int)id - IDM_VIEW_BACKGROUND_0;
    if (id >= IDM_VIEW_BACKGROUND_2 && id <= IDM_VIEW_BACKGROUND_7)
        return (int)id - IDM_VIEW_BACKGROUND_2 + 2;
    return -1;
}

static LRESULT meta_on_measureitem(HWND hwnd, MEASUREITEMSTRUCT* item)
{
    LONG check = GetMenuCheckMarkDimensions();
    item->itemWidth = 4 * LOWORD(check);
    item->itemHeight = (UINT)(1.5 * HIWORD(check));
    return 0;
}

static LRESULT meta_on_drawitem(HWND hwnd, const DRAWITEMSTRUCT* item)
{
    int entry = item->CtlType == ODT_MENU ? swatch_index(item->itemID) : -1;
    if (entry < 0)
        return 0;
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    BITMAP check = {};
    if (g_hbmCheck)
        GetObjectA(g_hbmCheck, sizeof check, &check);

    HBRUSH swatch = CreateSolidBrush(background_color((uint32_t)entry));
    HPEN face_pen = CreatePen(PS_SOLID, 1, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    HPEN frame_pen = selected ? CreatePen(PS_SOLID, 2, GetSysColor(COLOR_HIGHLIGHTTEXT))
                              : CreatePen(PS_SOLID, 1, GetSysColor(COLOR_MENUTEXT));
    HGDIOBJ old_pen = SelectObject(dc, face_pen);
    HGDIOBJ old_brush = SelectObject(dc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, frame_pen);
    SelectObject(dc, swatch);
    if (selected)
        Rectangle(dc, r.left + check.bmWidth + 3, r.top + 2, r.right - 3, r.bottom - 1);
    else
        Rectangle(dc, r.left + check.bmWidth + 2, r.top + 1, r.right - 3, r.bottom - 1);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);

    if (entry == g_backgroundColorIndex && g_hbmCheck) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old_bitmap = SelectObject(memory, g_hbmCheck);
        COLORREF old_text = 0, old_back = 0;
        if (selected) {
            old_text = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            old_back = SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
        }
        BitBlt(dc, r.left, r.top + (r.bottom - r.top - check.bmHeight) / 2, check.bmWidth, check.bmHeight, memory,
               0, 0, SRCCOPY);
        if (selected) {
            SetTextColor(dc, old_text);
            SetBkColor(dc, old_back);
        }
        SelectObject(memory, old_bitmap);
        DeleteDC(memory);
    }
    DeleteObject(face_pen);
    DeleteObject(frame_pen);
    DeleteObject(swatch);
    return 0;
}

// ---- life cycle

// The close box, Alt+F4 and a click; not while a command or tool works on
// the picture.
static LRESULT meta_on_close(HWND hwnd)
{
    if (!file_hold_turns_away(hwnd))
        destroy_image_window();
    return 0;
}

static LRESULT meta_on_create(HWND hwnd)
{
    g_hwndView = hwnd;
    return 0;
}

static LRESULT meta_on_destroy(HWND hwnd)
{
    forget_metafile_views(hwnd);
    seam_win_help(hwnd, HELP_FILE, HELP_QUIT, 0);
    g_hwndView = NULL;
    return 0;
}

LRESULT CALLBACK meta_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == g_msgHelp && msg != 0)
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, HELP_CONTEXT_VIEW);
    switch (msg) {
    case WM_CREATE:      return meta_on_create(hwnd);
    case WM_DESTROY:     return meta_on_destroy(hwnd);
    case WM_CLOSE:
    case WM_LBUTTONDOWN: return meta_on_close(hwnd);
    case WM_ERASEBKGND:  return meta_on_erasebkgnd(hwnd, (HDC)wp);
    case WM_PAINT:       return meta_on_paint(hwnd);
    case WM_KEYDOWN:     return meta_on_keydown(hwnd, (UINT)wp);
    case WM_MEASUREITEM: return meta_on_measureitem(hwnd, (MEASUREITEMSTRUCT*)lp);
    case WM_DRAWITEM:    return meta_on_drawitem(hwnd, (const DRAWITEMSTRUCT*)lp);
    case WM_INITMENU:    meta_on_initmenu(hwnd, (HMENU)wp); return 0;
    case WM_COMMAND:     meta_on_command(hwnd, LOWORD(wp), (HWND)lp, HIWORD(wp)); return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
