// The "FRAME" dialog. Widths are expressions; the colour is read from and
// written to the settings file, snapped to the palette of a palette image,
// and mapped back through the brightness curve for the unconverted copy.
#include "viewer/frame_dialog.h"

#include <cmath>
#include <cstdio>

#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "tools/crop_frame.h"
#include "tools/edit_history.h"
#include "tools/expression.h"
#include "tools/tool_settings.h"
#include "viewer/color_picker.h"
#include "viewer/palette_window.h"

HWND g_hwndFrameDlg = NULL;

static const int FIELD_CHARS = 255;
static const int SIDE_FIELDS[4] = {IDC_FRAME_LEFT, IDC_FRAME_TOP, IDC_FRAME_RIGHT, IDC_FRAME_BOTTOM};
static const char TOO_LARGE[] = "Insufficient Memory for this Operation.";

// Whether the framed image could be held at all, counted at 32 bits as the
// Stretch dialog counts; widths below 0 add nothing.
static bool framed_size_fits(HGLOBAL hImage, const int w[4])
{
    const BITMAPINFOHEADER* bih = hImage ? (const BITMAPINFOHEADER*)GlobalLock(hImage) : NULL;
    if (!bih)
        return false;
    int64_t width = bih->biWidth, height = bih->biHeight;
    GlobalUnlock(hImage);
    for (int i = 0; i < 4; ++i)
        if (w[i] > 0)
            (i % 2 == 0 ? width : height) += w[i];
    return width <= MAX_DIB_DIMENSION && height <= MAX_DIB_DIMENSION &&
           (uint64_t)dib_row_stride((int32_t)width, 32) * (uint64_t)height <= MAX_DIB_BYTES;
}

static DWORD bgr(BYTE red, BYTE green, BYTE blue) { return (DWORD)blue | (DWORD)green << 8 | (DWORD)red << 16; }
static BYTE red_of(DWORD c) { return (BYTE)(c >> 16); }
static BYTE green_of(DWORD c) { return (BYTE)(c >> 8); }
static BYTE blue_of(DWORD c) { return (BYTE)c; }

DWORD unbrighten_color(DWORD color, int step)
{
    double f = std::pow(2.0, step / 2.0);
    auto map = [f](BYTE c) { return (BYTE)(int)std::floor(255.0 * std::pow(c / 255.0, f) + 0.5); };
    return bgr(map(red_of(color)), map(green_of(color)), map(blue_of(color)));
}

// Nearest colour-table entry of a palette image to color; 0 for deeper
// images. *snapped gets that entry's colour.
static BYTE nearest_entry(HGLOBAL hDib, DWORD color, DWORD* snapped)
{
    *snapped = color;
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih)
        return 0;
    BYTE index = 0;
    uint32_t count = bih->biBitCount <= 8 ? dib_color_count(bih) : 0;
    if (count) {
        HPALETTE palette = create_dib_palette(bih, g_hwndMain);
        if (palette) {
            UINT i = GetNearestPaletteIndex(palette, RGB(red_of(color), green_of(color), blue_of(color)));
            if (i < count && i < 256) {
                index = (BYTE)i;
                const RGBQUAD& q = dib_color_table(bih)[i];
                *snapped = bgr(q.rgbRed, q.rgbGreen, q.rgbBlue);
            }
            DeleteObject(palette);
        }
    }
    GlobalUnlock(hDib);
    return index;
}

static int image_bits(HGLOBAL hDib)
{
    const BITMAPINFOHEADER* bih = hDib ? (const BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    int bits = bih ? bih->biBitCount : 0;
    if (bih)
        GlobalUnlock(hDib);
    return bits;
}

static void set_number(HWND hdlg, int id, long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%ld", value);
    SendDlgItemMessageA(hdlg, id, EM_LIMITTEXT, FIELD_CHARS, 0);
    SetDlgItemTextA(hdlg, id, text);
}

static void choose_uniform(HWND hdlg, bool uniform)
{
    EnableWindow(GetDlgItem(hdlg, IDC_FRAME_UNIFORM_EDIT), uniform);
    for (int id : SIDE_FIELDS)
        EnableWindow(GetDlgItem(hdlg, id), !uniform);
    int focus = uniform ? IDC_FRAME_UNIFORM_EDIT : IDC_FRAME_LEFT;
    SetFocus(GetDlgItem(hdlg, focus));
    SendDlgItemMessageA(hdlg, focus, EM_SETSEL, 0, -1);
}

static INT_PTR frame_on_init(HWND hdlg)
{
    g_hwndFrameDlg = hdlg;
    SetWindowTextA(hdlg, g_fileName);
    g_frameColor = bgr((BYTE)read_setting_int("FrameColor_Red", 255), (BYTE)read_setting_int("FrameColor_Green", 0),
                       (BYTE)read_setting_int("FrameColor_Blue", 0));
    g_frameUseIndex = 0;
    if (image_bits(g_hImage) < 16) {
        DWORD snapped;
        BYTE index = nearest_entry(g_hImage, g_frameColor, &snapped);
        g_frameColor = snapped;
        if (g_hasTransparency && g_colorConversion == 0 && index == g_transparentIndex)
            g_frameColor = g_transparentDisplayColor;
    }
    set_number(hdlg, IDC_FRAME_UNIFORM_EDIT, 16);
    for (int id : SIDE_FIELDS)
        set_number(hdlg, id, 0);
    CheckRadioButton(hdlg, IDC_FRAME_UNIFORM, IDC_FRAME_SEPARATE, IDC_FRAME_UNIFORM);
    EnableWindow(GetDlgItem(hdlg, IDC_FRAME_UNIFORM_EDIT), TRUE);
    for (int id : SIDE_FIELDS)
        EnableWindow(GetDlgItem(hdlg, id), FALSE);
    return TRUE;
}

static INT_PTR frame_on_ok(HWND hdlg)
{
    int w[4];  // left, top, right, bottom
    if (IsDlgButtonChecked(hdlg, IDC_FRAME_UNIFORM) == BST_CHECKED) {
        if (!read_int_field(hdlg, IDC_FRAME_UNIFORM_EDIT, hdlg, g_fileName, &w[0]))
            return TRUE;
        if (w[0] < 1) {
            seam_message_box(hdlg, "Error: Frame/Border must have non-zero value.", g_fileName, MB_ICONSTOP);
            return TRUE;
        }
        w[1] = w[2] = w[3] = w[0];
    } else {
        for (int i = 0; i < 4; ++i)
            if (!read_int_field(hdlg, SIDE_FIELDS[i], hdlg, g_fileName, &w[i]))
                return TRUE;
        if (w[0] < 1 && w[1] < 1 && w[2] < 1 && w[3] < 1) {
            seam_message_box(hdlg, "Error: Frame/Border must have at least one non-zero value.", g_fileName,
                             MB_ICONSTOP);
            return TRUE;
        }
    }
    if (!framed_size_fits(g_hImage, w)) {
        seam_message_box(NULL, TOO_LARGE, NULL, MB_ICONSTOP);
        return TRUE;
    }
    write_setting_int("FrameColor_Red", red_of(g_frameColor));
    write_setting_int("FrameColor_Green", green_of(g_frameColor));
    write_setting_int("FrameColor_Blue", blue_of(g_frameColor));

    DWORD ignored;
    g_frameColorIndex = nearest_entry(g_hImage, g_frameColor, &ignored);
    g_frameColorAdjusted = g_frameColor;
    g_frameColorIndexAdjusted = 0;
    if (g_hImageUnconverted) {
        bool palette_copy = image_bits(g_hImageUnconverted) <= 8;
        if (g_brightnessStep && (!palette_copy || g_colorConversion))
            g_frameColorAdjusted = unbrighten_color(g_frameColor, g_brightnessStep);
        if (palette_copy)
            g_frameColorIndexAdjusted = nearest_entry(g_hImageUnconverted, g_frameColorAdjusted, &ignored);
    }
    EndDialog(hdlg, 1);
    g_hwndFrameDlg = NULL;

    show_progress(0, 0);
    int done = add_frame(&g_hImage, g_frameColor, w[0], w[1], w[2], w[3], g_frameColorIndex, g_frameUseIndex);
    show_progress(0, 0);
    if (done && g_hImageUnconverted)
        add_frame(&g_hImageUnconverted, g_frameColorAdjusted, w[0], w[1], w[2], w[3], g_frameColorIndexAdjusted,
                  g_frameUseIndex);
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, TRUE);
    if (const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(g_hImage)) {
        fit_image_rect(bih->biWidth, bih->biHeight, 0);
        GlobalUnlock(g_hImage);
    }
    if (done) {
        SetRect(&g_rcEditOp, w[0], w[1], w[2], w[3]);
        push_edit_record(EDIT_FRAME, (UINT)g_colorConversion);
    } else if (w[0] >= 0 && w[1] >= 0 && w[2] >= 0 && w[3] >= 0) {
        // add_frame refuses a negative width by itself; anything else is memory.
        seam_message_box(NULL, TOO_LARGE, NULL, MB_ICONSTOP);
    }
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
    return TRUE;
}

// The frame colour round a window-coloured centre, so the swatch shows a frame.
static INT_PTR frame_on_drawitem(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    HPALETTE palette = NULL, old_palette = NULL;
    COLORREF colour = RGB(red_of(g_frameColor), green_of(g_frameColor), blue_of(g_frameColor));
    if (image_bits(g_hImage) <= 8) {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
        palette = bih ? create_dib_palette(bih, g_hwndMain) : NULL;
        if (bih)
            GlobalUnlock(g_hImage);
        if (palette) {
            old_palette = SelectPalette(dc, palette, FALSE);
            RealizePalette(dc);
            colour = PALETTEINDEX(GetNearestPaletteIndex(palette, colour));
        }
    }
    HBRUSH fill = CreateSolidBrush(colour);
    HGDIOBJ old_pen = SelectObject(dc, g_hpenBlack ? g_hpenBlack : GetStockObject(BLACK_PEN));
    HGDIOBJ old_brush = SelectObject(dc, fill);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, GetSysColorBrush(COLOR_WINDOW));
    Rectangle(dc, r.left + 16, r.top + 16, r.right - 16, r.bottom - 16);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(fill);
    if (palette) {
        SelectPalette(dc, old_palette, FALSE);
        DeleteObject(palette);
    }
    return TRUE;
}

// Deep images get the picker; palette images the palette window, whose
// swatches open the picker on one of the image's own colours.
static INT_PTR frame_on_edit_color(HWND hdlg)
{
    int bits = image_bits(g_hImage);
    if (bits >= 16) {
        run_color_picker(hdlg, bits == 32 ? "PALETTE_COLOR_BIGGER" : "PALETTE_COLOR_BIG");
        return TRUE;
    }
    const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (!bih)
        return TRUE;
    int grid_bits, count, rows, columns;
    palette_grid_shape(bih->biClrUsed, bih->biBitCount, &grid_bits, &count, &rows, &columns);
    GlobalUnlock(g_hImage);
    int width = GetSystemMetrics(SM_CXSCREEN) / 3;
    int height = grid_bits % 2 ? width / 2 : width;
    RECT r;
    GetWindowRect(hdlg, &r);
    open_palette_chooser("Click on Desired Color", (r.left + r.right - width) / 2, r.top + (r.bottom - r.top) / 8,
                         width, height);
    return TRUE;
}

INT_PTR CALLBACK frame_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return frame_on_init(hdlg);
    case WM_DRAWITEM:
        if (wp == IDC_FRAME_SWATCH_CENTRE || wp == IDC_FRAME_SWATCH_CORNER)
            return frame_on_drawitem((const DRAWITEMSTRUCT*)lp);
        return FALSE;
    case WM_COMMAND:
        // A command, not a field's focus change: clicking into the palette
        // window takes the focus from a field.
        if (HIWORD(wp) == BN_CLICKED && is_window_open(g_hwndPalette)) {
            DestroyWindow(g_hwndPalette);
            g_hwndPalette = NULL;
        }
        switch (LOWORD(wp)) {
        case IDC_FRAME_EDIT_COLOR:
            return frame_on_edit_color(hdlg);
        case IDC_FRAME_UNIFORM:
        case IDC_FRAME_SEPARATE:
            choose_uniform(hdlg, LOWORD(wp) == IDC_FRAME_UNIFORM);
            return TRUE;
        case IDOK:
            return frame_on_ok(hdlg);
        case IDCANCEL:
            EndDialog(hdlg, 1);
            g_hwndFrameDlg = NULL;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void open_frame_dialog(HWND owner)
{
    if (g_hImage && g_imageKind == KIND_DIB)
        dialog_box_holding(GetModuleHandleA(NULL), "FRAME", owner, frame_dlg_proc, 0);
}
