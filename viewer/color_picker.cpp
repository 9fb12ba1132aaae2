// The colour picker (see color_picker.h). The purpose is fixed when the
// dialog opens and tested again on OK; each purpose has one open and one
// OK handler. Colours are kept as a COLORREF (red in the low byte); the
// frame, text and transparent display colours are stored blue-first.
#include "viewer/color_picker.h"

#include <commctrl.h>

#include <cstdio>

#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/picker_palette.h"
#include "image/preview.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "tools/color_reduce.h"
#include "tools/edit_history.h"
#include "tools/expression.h"
#include "tools/merge_image.h"
#include "tools/tool_settings.h"
#include "viewer/frame_dialog.h"
#include "viewer/window_classes.h"

int g_paletteEditIndex;
int g_paletteFindNearest;
int g_textColorTarget = 1;
HWND g_hwndTextColor;

static const int FIELDS[3] = {IDC_PICKER_RED, IDC_PICKER_GREEN, IDC_PICKER_BLUE};
static const int SPINNERS[3] = {IDC_PICKER_RED_SPIN, IDC_PICKER_GREEN_SPIN, IDC_PICKER_BLUE_SPIN};
static const int FIELD_CHARS = 255;

// Per opening.
static int s_purpose;
static COLORREF s_openColor;
static int s_wasTransparent;
static int s_hasFocus[3];

static COLORREF from_bgr(DWORD c) { return RGB((BYTE)(c >> 16), (BYTE)(c >> 8), (BYTE)c); }
static DWORD to_bgr(COLORREF c) { return (DWORD)GetBValue(c) | (DWORD)GetGValue(c) << 8 | (DWORD)GetRValue(c) << 16; }

static int channel(COLORREF c, int i) { return i == 0 ? GetRValue(c) : i == 1 ? GetGValue(c) : GetBValue(c); }

static COLORREF with_channel(COLORREF c, int i, int value)
{
    BYTE v[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    v[i] = (BYTE)value;
    return RGB(v[0], v[1], v[2]);
}

int picker_purpose(int palette_open, int find_nearest, int frame_open, int text_open, int merge_open)
{
    if (palette_open && find_nearest)
        return PICK_NEAREST;
    if (frame_open)
        return PICK_FRAME;
    if (text_open)
        return PICK_TEXT;
    if (palette_open)
        return PICK_PALETTE_ENTRY;
    if (!merge_open)
        return PICK_BACKGROUND;
    return PICK_MERGE_KEY;
}

static int current_purpose(void)
{
    return picker_purpose(is_window_open(g_hwndPalette), g_paletteFindNearest, is_window_open(g_hwndFrameDlg),
                          is_window_open(g_hwndText), is_window_open(g_hwndMerge));
}

static bool tool_open(void)
{
    return is_window_open(g_hwndFrameDlg) || is_window_open(g_hwndText);
}

HGLOBAL palette_image(void)
{
    if (tool_open() || !g_hImageUnconverted || g_colorConversion)
        return g_hImage;
    return g_hImageUnconverted;
}

int picker_channel_value(char* text)
{
    int value = evaluate_int_expression(text);
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

const char* picker_template_for_entry(void)
{
    if (!tool_open() && g_brightnessStep == 0 && get_display_bit_depth() > 8)
        return "PALETTE_COLOR_BIGGER";
    return "PALETTE_COLOR";
}

// ---- the palette image's colour table

// Entries of the locked image's table; 0 for images without one.
static uint32_t table_size(const BITMAPINFOHEADER* bih)
{
    return bih && bih->biBitCount <= 8 ? dib_color_count(bih) : 0;
}

// The entry's colour; false when the index is outside the table.
static bool entry_color(HGLOBAL hDib, int index, COLORREF* color)
{
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    bool inside = index >= 0 && (uint32_t)index < table_size(bih);
    if (inside) {
        const RGBQUAD& q = dib_color_table(bih)[index];
        *color = RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    if (bih)
        GlobalUnlock(hDib);
    return inside;
}

static void set_entry_color(HGLOBAL hDib, int index, COLORREF color)
{
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (index >= 0 && (uint32_t)index < table_size(bih)) {
        RGBQUAD& q = dib_color_table(bih)[index];
        q.rgbRed = GetRValue(color);
        q.rgbGreen = GetGValue(color);
        q.rgbBlue = GetBValue(color);
    }
    if (bih)
        GlobalUnlock(hDib);
}

// Nearest entry of the image's table to color (0 without a table).
static int nearest_entry(HGLOBAL hDib, COLORREF color)
{
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    int index = 0;
    if (table_size(bih)) {
        HPALETTE palette = create_dib_palette(bih, g_hwndMain);
        if (palette) {
            UINT i = GetNearestPaletteIndex(palette, color);
            index = i < table_size(bih) ? (int)i : 0;
            DeleteObject(palette);
        }
    }
    if (bih)
        GlobalUnlock(hDib);
    return index;
}

static bool is_transparent_entry(int index)
{
    return g_hasTransparency && g_colorConversion == 0 && index == g_transparentIndex;
}

static int image_bits(HGLOBAL hDib)
{
    const BITMAPINFOHEADER* bih = hDib ? (const BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    int bits = bih ? bih->biBitCount : 0;
    if (bih)
        GlobalUnlock(hDib);
    return bits;
}

// ---- fields

static void show_channels(HWND hdlg, int except)
{
    for (int i = 0; i < 3; ++i) {
        if (i == except)
            continue;
        char text[8];
        std::snprintf(text, sizeof text, "%d", channel(g_pickedColor, i));
        SetDlgItemTextA(hdlg, FIELDS[i], text);
        SendDlgItemMessageA(hdlg, SPINNERS[i], UDM_SETPOS, 0, MAKELPARAM(channel(g_pickedColor, i), 0));
    }
}

static void repaint_preview(HWND hdlg)
{
    InvalidateRect(GetDlgItem(hdlg, IDC_PICKER_PREVIEW), NULL, FALSE);
}

static void set_read_only(HWND hdlg)
{
    for (int i = 0; i < 3; ++i) {
        SendDlgItemMessageA(hdlg, FIELDS[i], EM_SETREADONLY, TRUE, 0);
        EnableWindow(GetDlgItem(hdlg, SPINNERS[i]), FALSE);
    }
}

static void show_check(HWND hdlg, bool shown)
{
    ShowWindow(GetDlgItem(hdlg, IDC_PICKER_TRANSPARENT), shown ? SW_SHOW : SW_HIDE);
}

static void tick(HWND hdlg, bool ticked)
{
    CheckDlgButton(hdlg, IDC_PICKER_TRANSPARENT, ticked ? BST_CHECKED : BST_UNCHECKED);
}

static bool ticked(HWND hdlg)
{
    return IsDlgButtonChecked(hdlg, IDC_PICKER_TRANSPARENT) == BST_CHECKED;
}

// ---- opening, by purpose

// A clicked entry shown in a tool's purpose: its colour, or the
// transparent display colour with the box ticked; nothing can be changed.
static void open_clicked_entry(HWND hdlg)
{
    HGLOBAL image = palette_image();
    if (is_transparent_entry(g_paletteEditIndex)) {
        g_pickedColor = from_bgr(g_transparentDisplayColor);
        tick(hdlg, true);
    } else {
        entry_color(image, g_paletteEditIndex, &g_pickedColor);
    }
    set_read_only(hdlg);
    EnableWindow(GetDlgItem(hdlg, IDC_PICKER_TRANSPARENT), FALSE);
}

static void open_nearest(HWND hdlg)
{
    SetWindowTextA(hdlg, "Adjust to Desired Color");
    g_pickedColor = RGB(128, 128, 128);
    HGLOBAL image = palette_image();
    g_paletteEditIndex = nearest_entry(image, g_pickedColor);
    if (get_display_bit_depth() <= 8)
        entry_color(image, g_paletteEditIndex, &g_pickedColor);
    show_check(hdlg, false);
    if (tool_open()) {
        RECT r;
        GetWindowRect(g_hwndPalette, &r);
        SetWindowPos(hdlg, NULL, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

static void open_frame(HWND hdlg)
{
    SetWindowTextA(hdlg, "Select Frame/Border Color");
    if (is_window_open(g_hwndPalette)) {
        open_clicked_entry(hdlg);
        return;
    }
    g_pickedColor = from_bgr(g_frameColor);
    bool alpha = image_bits(g_hImage) == 32;
    show_check(hdlg, alpha);
    tick(hdlg, alpha && g_frameUseIndex);
}

static void open_text(HWND hdlg)
{
    SetWindowTextA(hdlg, g_textColorTarget == 2 ? "Select Text Background Color" : "Select Text Color");
    if (is_window_open(g_hwndPalette)) {
        open_clicked_entry(hdlg);
        return;
    }
    show_check(hdlg, false);
    g_pickedColor = from_bgr(g_textColorTarget == 2 ? g_textBackColor : g_textColor);
}

static void open_palette_entry(HWND hdlg)
{
    char title[18];
    std::snprintf(title, sizeof title, "Palette Index %d", g_paletteEditIndex);
    SetWindowTextA(hdlg, title);
    s_wasTransparent = is_transparent_entry(g_paletteEditIndex);
    if (s_wasTransparent)
        g_pickedColor = from_bgr(g_transparentDisplayColor);
    else
        entry_color(palette_image(), g_paletteEditIndex, &g_pickedColor);
    if (g_brightnessStep)
        set_read_only(hdlg);
    EnableWindow(GetDlgItem(hdlg, IDC_PICKER_TRANSPARENT), !g_colorConversion && !g_brightnessStep);
    tick(hdlg, s_wasTransparent != 0);
}

static void open_background(HWND hdlg)
{
    SetWindowTextA(hdlg, "Select Background Color");
    const BYTE* c = g_backgroundColors[BACKGROUND_CUSTOM];
    g_pickedColor = RGB(c[0], c[1], c[2]);
    show_check(hdlg, false);
}

static void open_merge_key(HWND hdlg)
{
    RECT r;
    if (GetWindowRect(g_hwndMerge, &r))
        SetWindowPos(hdlg, NULL, r.left + 16, r.top + 16, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowTextA(hdlg, "Select Transparent Color");
    g_pickedColor = g_mergeKeyColor;
    show_check(hdlg, false);
}

static INT_PTR picker_on_init(HWND hdlg)
{
    s_wasTransparent = 0;
    for (int i = 0; i < 3; ++i) {
        s_hasFocus[i] = 0;
        SendDlgItemMessageA(hdlg, FIELDS[i], EM_LIMITTEXT, FIELD_CHARS, 0);
        SendDlgItemMessageA(hdlg, SPINNERS[i], UDM_SETRANGE, 0, MAKELPARAM(255, 0));
    }
    s_purpose = current_purpose();
    switch (s_purpose) {
    case PICK_NEAREST: open_nearest(hdlg); break;
    case PICK_FRAME: open_frame(hdlg); break;
    case PICK_TEXT: open_text(hdlg); break;
    case PICK_PALETTE_ENTRY: open_palette_entry(hdlg); break;
    case PICK_BACKGROUND: open_background(hdlg); break;
    default: open_merge_key(hdlg); break;
    }
    s_openColor = g_pickedColor;
    show_channels(hdlg, -1);
    return TRUE;
}

// ---- OK, by purpose

static void repaint_views(void)
{
    if (is_window_open(g_hwndPalette))
        InvalidateRect(g_hwndPalette, NULL, TRUE);
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, TRUE);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
}

static void destroy_palette_window(void)
{
    if (is_window_open(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    g_hwndPalette = NULL;
}

static void ok_nearest(HWND hdlg)
{
    g_paletteFindNearest = 0;
    HGLOBAL image = tool_open() ? g_hImage : palette_image();
    g_paletteEditIndex = nearest_entry(image, g_pickedColor);
    EndDialog(hdlg, 1);
    run_color_picker(g_hwndPalette, picker_template_for_entry());
}

static void ok_frame(HWND hdlg)
{
    if (image_bits(g_hImage) == 32)
        g_frameUseIndex = ticked(hdlg);
    EndDialog(hdlg, 1);
    destroy_palette_window();
    g_frameColor = to_bgr(g_pickedColor);
    if (is_window_open(g_hwndFrameDlg)) {
        InvalidateRect(GetDlgItem(g_hwndFrameDlg, IDC_FRAME_SWATCH_CORNER), NULL, TRUE);
        InvalidateRect(GetDlgItem(g_hwndFrameDlg, IDC_FRAME_SWATCH_CENTRE), NULL, TRUE);
    }
}

static void ok_text(HWND hdlg)
{
    EndDialog(hdlg, 1);
    if (is_window_open(g_hwndPalette)) {
        (g_textColorTarget == 2 ? g_textBackIndex : g_textColorIndex) = (BYTE)g_paletteEditIndex;
        destroy_palette_window();
    }
    (g_textColorTarget == 2 ? g_textBackColor : g_textColor) = to_bgr(g_pickedColor);
    if (is_window_open(g_hwndTextColor))
        InvalidateRect(g_hwndTextColor, NULL, TRUE);
}

int apply_palette_entry_choice(HGLOBAL image, int index, COLORREF picked, COLORREF open_color, int ticked,
                               int was_transparent)
{
    COLORREF old_color = 0;
    // An index outside the table (a stale transparent index) changes nothing.
    if (!entry_color(image, index, &old_color))
        return -1;
    if (!ticked) {
        if (!was_transparent && picked == open_color)
            return 0;
        if (was_transparent)
            g_hasTransparency = 0;
        set_entry_color(image, index, picked);
        return was_transparent || picked != old_color;
    }
    if (!was_transparent) {
        COLORREF ignored;
        if (g_hasTransparency && entry_color(image, g_transparentIndex, &ignored))
            set_entry_color(image, g_transparentIndex, from_bgr(g_transparentDisplayColor));
        g_hasTransparency = 1;
        g_transparentIndex = (BYTE)index;
        g_transparentDisplayColor = to_bgr(picked);
        const BYTE* bg = g_backgroundColors[g_backgroundColorIndex];
        set_entry_color(image, index, RGB(bg[0], bg[1], bg[2]));
        return 1;
    }
    if (picked == open_color)
        return 0;
    g_transparentDisplayColor = to_bgr(picked);
    return 1;
}

static void ok_palette_entry(HWND hdlg)
{
    if (apply_palette_entry_choice(palette_image(), g_paletteEditIndex, g_pickedColor, s_openColor, ticked(hdlg),
                                   s_wasTransparent) > 0) {
        repaint_views();
        push_edit_record(EDIT_PALETTE, (UINT)g_colorConversion);
    }
    EndDialog(hdlg, 1);
}

static bool is_captured_or_pasted_bitmap(void)
{
    return (g_imageKind == KIND_DIB && (g_fileFormat == FMT_SCREEN_CAPTURE || g_fileFormat == FMT_CLIPBOARD)) ||
           ((g_imageKind == KIND_WMF || g_imageKind == KIND_EMF) && g_fileFormat == FMT_CLIPBOARD);
}

static void ok_background(HWND hdlg)
{
    g_backgroundColorIndex = BACKGROUND_CUSTOM;
    BYTE* c = g_backgroundColors[BACKGROUND_CUSTOM];
    c[0] = GetRValue(g_pickedColor);
    c[1] = GetGValue(g_pickedColor);
    c[2] = GetBValue(g_pickedColor);
    HBRUSH brush = CreateSolidBrush(g_pickedColor);
    if (brush) {
        HBRUSH old = g_hBackgroundBrushes[BACKGROUND_CUSTOM];
        g_hBackgroundBrushes[BACKGROUND_CUSTOM] = brush;
        g_hBackgroundBrush = brush;
        if (old)
            DeleteObject(old);
    }
    write_setting_int("SelectBackgroundColor", 1);
    write_setting_int("BackgroundColor", 0);
    write_setting_int("BackgroundColorR", c[0]);
    write_setting_int("BackgroundColorG", c[1]);
    write_setting_int("BackgroundColorB", c[2]);
    if (is_captured_or_pasted_bitmap()) {
        repaint_views();
    } else if (g_imageKind != KIND_NONE) {
        PostMessageA(g_hwndMain, WM_RELOAD_SHOWN, 0, 0);
    }
    EndDialog(hdlg, 1);
}

static void ok_merge_key(HWND hdlg)
{
    EndDialog(hdlg, 1);
    g_mergeKeyColor = g_pickedColor;
    if (g_hMergeMask)
        GlobalFree(g_hMergeMask);
    g_hMergeMask = make_transparency_mask(g_hMergeImage, g_pickedColor, -1);
    if (!g_hMergeMask)
        g_mergePlaced = 0;
    if (is_window_open(g_hwndMerge))
        InvalidateRect(g_hwndMerge, NULL, TRUE);
}

static INT_PTR picker_on_ok(HWND hdlg)
{
    switch (current_purpose()) {
    case PICK_NEAREST: ok_nearest(hdlg); break;
    case PICK_FRAME: ok_frame(hdlg); break;
    case PICK_TEXT: ok_text(hdlg); break;
    case PICK_PALETTE_ENTRY: ok_palette_entry(hdlg); break;
    case PICK_BACKGROUND: ok_background(hdlg); break;
    default: ok_merge_key(hdlg); break;
    }
    return TRUE;
}

// ---- fields, spinners and the fixed-colour grid

static INT_PTR picker_on_field(HWND hdlg, int i, int notification)
{
    switch (notification) {
    case EN_SETFOCUS:
        s_hasFocus[i] = 1;
        show_channels(hdlg, i);
        return TRUE;
    case EN_KILLFOCUS:
        s_hasFocus[i] = 0;
        return TRUE;
    case EN_CHANGE: {
        if (!s_hasFocus[i])
            return TRUE;
        char text[FIELD_CHARS + 1] = "";
        GetDlgItemTextA(hdlg, FIELDS[i], text, sizeof text);
        int value = picker_channel_value(text);
        g_pickedColor = with_channel(g_pickedColor, i, value);
        // Rewriting an unchanged "0" would notify again without end.
        if (value == 0 && lstrcmpA(text, "0") != 0)
            SetDlgItemTextA(hdlg, FIELDS[i], "0");
        SendDlgItemMessageA(hdlg, SPINNERS[i], UDM_SETPOS, 0, MAKELPARAM(value, 0));
        repaint_preview(hdlg);
        return TRUE;
    }
    }
    return FALSE;
}

static INT_PTR picker_on_spin(HWND hdlg, const NMUPDOWN* step)
{
    for (int i = 0; i < 3; ++i) {
        if ((int)step->hdr.idFrom != SPINNERS[i])
            continue;
        int value = step->iPos + step->iDelta;
        value = value < 0 ? 0 : value > 255 ? 255 : value;
        g_pickedColor = with_channel(g_pickedColor, i, value);
        char text[8];
        std::snprintf(text, sizeof text, "%d", value);
        SetDlgItemTextA(hdlg, FIELDS[i], text);
        repaint_preview(hdlg);
    }
    return FALSE;
}

static INT_PTR picker_on_grid_click(HWND hdlg)
{
    HWND grid = GetDlgItem(hdlg, IDC_PICKER_GRID);
    DWORD at = GetMessagePos();
    POINT p = {(short)LOWORD(at), (short)HIWORD(at)};
    ScreenToClient(grid, &p);
    RECT r;
    GetClientRect(grid, &r);
    if (r.right < 1 || r.bottom < 1 || p.x < 0 || p.y < 0)
        return TRUE;
    int row = p.y * 3 / r.bottom, column = p.x * 16 / r.right;
    row = row > 2 ? 2 : row;
    column = column > 15 ? 15 : column;
    RGBQUAD table[256];
    get_standard_palette(48, table);
    const BYTE* bytes = (const BYTE*)&table[row * 16 + column];  // red, green, blue
    g_pickedColor = RGB(bytes[0], bytes[1], bytes[2]);
    show_channels(hdlg, -1);
    repaint_preview(hdlg);
    return TRUE;
}

// ---- owner-drawn items

static void draw_preview(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    HGDIOBJ old_pen = SelectObject(dc, g_hpenBlack ? g_hpenBlack : GetStockObject(BLACK_PEN));
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    InflateRect(&r, -2, -2);
    COLORREF colour = g_pickedColor;
    HPALETTE palette = NULL, old_palette = NULL;
    if (get_display_bit_depth() <= 8) {
        HGLOBAL image = s_purpose == PICK_NEAREST ? palette_image() : g_hImage;
        BITMAPINFOHEADER* bih = image ? (BITMAPINFOHEADER*)GlobalLock(image) : NULL;
        if (bih) {
            palette = s_purpose == PICK_NEAREST ? create_dib_palette(bih, g_hwndMain)
                                                : create_picker_palette_from_dib(bih);
            GlobalUnlock(image);
        }
        if (palette) {
            old_palette = SelectPalette(dc, palette, FALSE);
            RealizePalette(dc);
            colour = PALETTEINDEX(GetNearestPaletteIndex(palette, colour));
        }
    }
    HBRUSH fill = CreateSolidBrush(colour);
    FillRect(dc, &r, fill);
    DeleteObject(fill);
    if (palette) {
        SelectPalette(dc, old_palette, FALSE);
        DeleteObject(palette);
    }
}

static void draw_grid(const DRAWITEMSTRUCT* item)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    HPALETTE palette = create_picker_palette();
    HPALETTE old_palette = palette ? SelectPalette(dc, palette, FALSE) : NULL;
    if (palette)
        RealizePalette(dc);
    RGBQUAD table[256];
    get_standard_palette(48, table);
    int w = r.right - r.left, h = r.bottom - r.top;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 16; ++column) {
            int i = row * 16 + column;
            const BYTE* bytes = (const BYTE*)&table[i];
            COLORREF colour = palette ? PALETTEINDEX(i) : RGB(bytes[0], bytes[1], bytes[2]);
            RECT cell = {r.left + column * w / 16, r.top + row * h / 3, r.left + (column + 1) * w / 16,
                         r.top + (row + 1) * h / 3};
            HBRUSH fill = CreateSolidBrush(colour);
            FillRect(dc, &cell, fill);
            DeleteObject(fill);
        }
    if (palette) {
        SelectPalette(dc, old_palette, FALSE);
        DeleteObject(palette);
    }
}

INT_PTR CALLBACK palette_color_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return picker_on_init(hdlg);
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = (const DRAWITEMSTRUCT*)lp;
        if (wp == IDC_PICKER_PREVIEW)
            draw_preview(item);
        else if (wp == IDC_PICKER_GRID)
            draw_grid(item);
        else
            return FALSE;
        return TRUE;
    }
    case WM_NOTIFY:
        if (((const NMHDR*)lp)->code == UDN_DELTAPOS)
            return picker_on_spin(hdlg, (const NMUPDOWN*)lp);
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wp);
        for (int i = 0; i < 3; ++i)
            if (id == FIELDS[i])
                return picker_on_field(hdlg, i, HIWORD(wp));
        switch (id) {
        case IDC_PICKER_GRID:
            return picker_on_grid_click(hdlg);
        case IDOK:
            return picker_on_ok(hdlg);
        case IDCANCEL:
            EndDialog(hdlg, 0);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

void run_color_picker(HWND owner, const char* template_name)
{
    dialog_box_holding(g_hInstance, template_name, owner, palette_color_dlg_proc, 0);
}
