// Preview layout and the image painters (see preview.h). The layout keeps
// the arithmetic of the preview exactly as the rest of the program expects
// it (extent in right/bottom, products in floating point rounded by + 0.5);
// only sizes that could divide by zero are lifted to 1.
#include "image/preview.h"

#include "image/background.h"
#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "viewer/status_bar.h"

RECT g_rcPreview;
int g_animDestX;
int g_animDestY;
int g_animDestWidth;
int g_animDestHeight;
int g_mergePreviewX;
int g_mergePreviewY;
int g_mergePreviewW;
int g_mergePreviewH;
HPEN g_hpenBlack;
HPEN g_hpenButtonFace;
HDC g_hdcPreview;
int g_screenWidth;
int g_screenHeight;

typedef struct FitRect {
    int x, y, width, height;
} FitRect;

// left/top are the origin, right/bottom the extent (see preview.h).
static FitRect fit_into(int32_t w, int32_t h, int left, int top, int right, int bottom)
{
    FitRect r;
    if (w == h) {
        r.x = left;
        r.width = right;
        r.y = top;
        r.height = bottom;
    } else if (w < h) {
        r.y = top;
        r.height = bottom;
        r.width = (int)((double)(right - left) * w / h + 0.5);
        r.x = left + (right - left - r.width) / 2;
    } else {
        r.x = left;
        r.width = right;
        r.height = (int)((double)(bottom - top) * h / w + 0.5);
        r.y = top + (bottom - top - r.height) / 2;
    }
    return r;
}

static HBRUSH button_face_brush(void)
{
    return g_hbrButtonFace ? g_hbrButtonFace : GetSysColorBrush(COLOR_BTNFACE);
}

// Fills (left, top)-(right, bottom) with the button face, edge included.
static void clear_with_button_face(HDC hdc, int left, int top, int right, int bottom)
{
    HGDIOBJ pen = g_hpenButtonFace;
    if (!pen) {
        pen = GetStockObject(DC_PEN);
        SetDCPenColor(hdc, GetSysColor(COLOR_BTNFACE));
    }
    HGDIOBJ old_pen = SelectObject(hdc, pen);
    HGDIOBJ old_brush = SelectObject(hdc, button_face_brush());
    Rectangle(hdc, left, top, right, bottom);
    SelectObject(hdc, old_brush);
    SelectObject(hdc, old_pen);
}

// A black line 3 pixels outside the image rectangle and, 1 pixel outside,
// a black-edged rectangle filled with what the image stands on.
static void draw_image_frame(HDC hdc, const FitRect* r, HBRUSH inside)
{
    HGDIOBJ old_pen = SelectObject(hdc, g_hpenBlack ? g_hpenBlack : GetStockObject(BLACK_PEN));
    HGDIOBJ old_brush = SelectObject(hdc, GetStockObject(HOLLOW_BRUSH));
    Rectangle(hdc, r->x - 3, r->y - 3, r->x + r->width + 3, r->y + r->height + 3);
    SelectObject(hdc, inside);
    Rectangle(hdc, r->x - 1, r->y - 1, r->x + r->width + 1, r->y + r->height + 1);
    SelectObject(hdc, old_brush);
    SelectObject(hdc, old_pen);
}

static void fit_merge_preview(int32_t w, int32_t h)
{
    SetRect(&g_rcMerge, 0, 0, w, h);
    HWND item = GetDlgItem(g_hwndMergeDialog, IDC_MERGEIMAGE_PREVIEW);
    RECT rc = {0, 0, 0, 0};
    if (item)
        GetClientRect(item, &rc);
    FitRect r = fit_into(w, h, rc.left + 3, rc.top + 3, rc.right - 6, rc.bottom - 6);
    g_mergePreviewX = r.x;
    g_mergePreviewY = r.y;
    g_mergePreviewW = r.width;
    g_mergePreviewH = r.height;
    if (!item)
        return;
    HDC hdc = GetDC(item);
    if (!hdc)
        return;
    clear_with_button_face(hdc, rc.left, rc.top, rc.right, rc.bottom);
    HBRUSH inside = g_imageKind != KIND_NONE && g_hBackgroundBrushes[0] ? g_hBackgroundBrushes[0]
                                                                          : button_face_brush();
    draw_image_frame(hdc, &r, inside);
    ReleaseDC(item, hdc);
}

void fit_image_rect(int32_t width, int32_t height, uint32_t frame)
{
    // A metafile's box can be empty or inverted; the layout divides by these.
    if (width < 1)
        width = 1;
    if (height < 1)
        height = 1;

    if (is_window_open(g_hwndMerge) && is_window_open(g_hwndMergeDialog)) {
        fit_merge_preview(width, height);
        return;
    }

    const RECT* p = &g_rcPreview;
    FitRect r = fit_into(width, height, p->left, p->top, p->right, p->bottom);
    g_animDestX = r.x;
    g_animDestY = r.y;
    g_animDestWidth = r.width;
    g_animDestHeight = r.height;

    if (!frame)
        return;
    // Not drawn now: the preview's next paint lays the frame and background
    // anew, so nothing of the picture before stays in the margins.
    if (!g_hdcPreview || is_window_open(g_hwndView) || is_window_open(g_hwndSlide) || g_undoPending) {
        if (is_window_open(g_hwndPreview))
            InvalidateRect(g_hwndPreview, NULL, TRUE);
        return;
    }
    clear_with_button_face(g_hdcPreview, p->left - 3, p->top - 3, p->right + 6, p->bottom + 6);
    int empty = g_imageKind == KIND_MULTIMEDIA || g_imageKind == KIND_NONE ||
                g_imageKind == KIND_LIST_REFRESH;
    HBRUSH inside = empty || !g_hBackgroundBrush ? button_face_brush() : g_hBackgroundBrush;
    draw_image_frame(g_hdcPreview, &r, inside);
}

int draw_dib_scaled(HDC hdc, uint32_t zoom, int32_t x, int32_t y, int32_t visible_height,
                    const BITMAPINFOHEADER* bih)
{
    if (!bih || visible_height < 1)
        return 0;
    const BYTE* bits = (const BYTE*)bih + dib_pixel_offset(bih);
    int64_t w = bih->biWidth;
    int64_t h = bih->biHeight;
    POINT origin;
    GetBrushOrgEx(hdc, &origin);
    SetStretchBltMode(hdc, HALFTONE);
    SetBrushOrgEx(hdc, origin.x, origin.y, NULL);
    if (visible_height >= h)
        return StretchDIBits(hdc, x, y, (int)(zoom * w / 4), (int)(zoom * h / 4), 0, 0, (int)w,
                             (int)h, bits, (const BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
    // Bottom-up rows: the top rows of the picture start at h - visible.
    return StretchDIBits(hdc, x, y, (int)(zoom * w / 4), (int)(zoom * visible_height / 4), 0,
                         (int)(h - visible_height), (int)w, visible_height, bits,
                         (const BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
}

// Source pixels a band of a shrinking stretch may hold: 4 MB at 32 bits.
enum { STRETCH_BAND_PIXELS = 1 << 20 };

int stretch_dib_rows(HDC hdc, int x, int y, int w, int h, const BITMAPINFOHEADER* bih, int top, int rows)
{
    if (!bih || w < 1 || h < 1 || rows < 1 || top < 0 || bih->biHeight < 1 || rows > bih->biHeight - top)
        return 0;
    const BYTE* bits = (const BYTE*)bih + dib_pixel_offset(bih);
    const BITMAPINFO* info = (const BITMAPINFO*)bih;
    const int64_t width = bih->biWidth, height = bih->biHeight;
    int64_t band_rows = STRETCH_BAND_PIXELS / (width > 0 ? width : 1);
    if (band_rows < 1)
        band_rows = 1;
    // Bottom-up rows: the source rectangle is counted from the last row.
    if (rows <= band_rows || h >= rows)
        return StretchDIBits(hdc, x, y, w, h, 0, (int)(height - top - rows), (int)width, rows, bits, info,
                             DIB_RGB_COLORS, SRCCOPY) != 0;
    // Destination rows per band, each taking its share of source rows.
    int64_t band_height = band_rows * h / rows;
    if (band_height < 1)
        band_height = 1;
    int drawn = 1;
    for (int64_t d0 = 0; d0 < h; d0 += band_height) {
        const int64_t d1 = d0 + band_height < h ? d0 + band_height : h;
        const int64_t s0 = d0 * rows / h, s1 = d1 * rows / h;
        if (s1 > s0 && !StretchDIBits(hdc, x, (int)(y + d0), w, (int)(d1 - d0), 0, (int)(height - top - s1),
                                      (int)width, (int)(s1 - s0), bits, info, DIB_RGB_COLORS, SRCCOPY))
            drawn = 0;
    }
    return drawn;
}

// The one painter behind paint_canvas_in_window and paint_dib_in_window.
static void paint_in_window(const BITMAPINFOHEADER* bih, int32_t image_width,
                            int32_t image_height, HWND hwnd, HPALETTE palette, uint32_t mode,
                            uint32_t caption, int icon_square)
{
    if (!bih || !hwnd || image_width < 1 || image_height < 1)
        return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    int client_width = rc.right;
    int client_height = rc.bottom;
    if (hwnd == g_hwndView)
        client_height -= g_viewStatusHeight;
    else if (hwnd == g_hwndSlide && !g_hideStatusBar)
        client_height -= g_slideStatusHeight;

    HDC hdc = GetDC(hwnd);
    if (!hdc)
        return;
    HPALETTE old_palette = NULL;
    if (palette) {
        old_palette = SelectPalette(hdc, palette, FALSE);
        RealizePalette(hdc);
    }
    const BYTE* bits = (const BYTE*)bih + dib_pixel_offset(bih);
    const BITMAPINFO* info = (const BITMAPINFO*)bih;
    // Source rows are bottom-up: the top rows of the picture start at
    // biHeight - rows.
    int32_t source_height = bih->biHeight;
    if (mode == 0) {
        if (icon_square) {
            RECT square = {(client_width - 256) / 2, (client_height - 256) / 2, 0, 0};
            square.right = square.left + 256;
            square.bottom = square.top + 256;
            FillRect(hdc, &square, g_hBackgroundBrush ? g_hBackgroundBrush
                                                      : (HBRUSH)GetStockObject(WHITE_BRUSH));
        }
        StretchDIBits(hdc, (client_width - image_width) / 2, (client_height - image_height) / 2,
                      image_width, image_height, 0, source_height - image_height, image_width,
                      image_height, bits, info, DIB_RGB_COLORS, SRCCOPY);
        if (caption && !g_hideFileName && is_window_open(g_hwndTextTitle))
            InvalidateRect(g_hwndTextTitle, NULL, TRUE);
    } else {
        for (int y = 0; y < client_height; y += image_height) {
            int rows = client_height - y < image_height ? client_height - y : image_height;
            for (int x = 0; x < client_width; x += image_width)
                StretchDIBits(hdc, x, y, image_width, rows, 0, source_height - rows, image_width,
                              rows, bits, info, DIB_RGB_COLORS, SRCCOPY);
        }
    }
    if (palette)
        SelectPalette(hdc, old_palette, FALSE);
    ReleaseDC(hwnd, hdc);
}

void paint_canvas_in_window(HWND hwnd, HPALETTE palette, uint32_t mode, uint32_t caption,
                            const BITMAPINFOHEADER* canvas)
{
    if (!canvas)
        return;
    // The canvas is made at the logical screen's size; never read past it.
    int32_t width = g_screenWidth < canvas->biWidth ? g_screenWidth : canvas->biWidth;
    int32_t height = g_screenHeight < canvas->biHeight ? g_screenHeight : canvas->biHeight;
    paint_in_window(canvas, width, height, hwnd, palette, mode, caption, 0);
}

void paint_dib_in_window(const BITMAPINFOHEADER* bih, HWND hwnd, HPALETTE palette,
                         uint32_t mode, uint32_t caption)
{
    if (!bih)
        return;
    paint_in_window(bih, bih->biWidth, bih->biHeight, hwnd, palette, mode, caption,
                    g_imageKind == KIND_ICON_PAGES);
}
