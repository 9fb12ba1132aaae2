// The "Text" tool window, its dialogs (font hook, "TEXTCOLOR" with the
// "TextColor" sample pane, "GETTEXT", "TEXTPOSITION"/"TEXTPOSITION1") and
// the first-use sequence that runs them in turn. The text, font, colours
// and position live in the tool-setting globals (tools/tool_settings.h),
// which the edit record of an accepted item copies. Colour words hold blue
// in the low byte. Every way out of the tool releases the text and the font.
#include "viewer/text_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/seams.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "tools/edit_history.h"
#include "tools/text_on_image.h"
#include "tools/tool_settings.h"
#include "viewer/color_picker.h"
#include "viewer/crop_window.h"
#include "viewer/image_window.h"
#include "viewer/merge_window.h"
#include "viewer/palette_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

HFONT g_hTextFont;
int g_textDialogSeen;
int g_textCenterX, g_textCenterY;
int g_textPlacing;
int g_writeTextReady;
RECT g_rcTextItem;

static int g_textDragging;
static int g_textGrabPosX, g_textGrabPosY;
static HWND g_hwndTextColorDlg, g_hwndTextEdit;  // the sample pane is g_hwndTextColor
static HWND g_hwndTextOwner;
static bool g_textHolds;  // the open tool holds the shown file (file_hold.h)

static const int TEXT_MARGIN = 2;
static const char SAMPLE[] = "AaBbCc XxYyZz";

// ---- settings

static DWORD color_word(BYTE red, BYTE green, BYTE blue)
{
    return blue | (DWORD)green << 8 | (DWORD)red << 16;
}

static COLORREF as_colorref(DWORD word)
{
    return RGB((word >> 16) & 255, (word >> 8) & 255, word & 255);
}

static const struct FontKey {
    const char* key;
    int default_value;
} FONT_KEYS[13] = {
    {"FontHeight", -16}, {"FontWidth", 0}, {"FontWeight", 400}, {"FontEscapement", 0},
    {"FontOrientation", 0}, {"FontItalic", 0}, {"FontUnderline", 0}, {"FontStrikeOut", 0},
    {"FontCharSet", 0}, {"FontOutPrecision", 0}, {"FontClipPrecision", 0}, {"FontQuality", 0},
    {"FontPitchAndFamily", 32},
};

// The LOGFONT fields in FONT_KEYS order, as ints.
static void font_fields(LOGFONTA* f, int values[13], bool store)
{
    LONG* longs[5] = {&f->lfHeight, &f->lfWidth, &f->lfWeight, &f->lfEscapement, &f->lfOrientation};
    BYTE* bytes[8] = {&f->lfItalic, &f->lfUnderline, &f->lfStrikeOut, &f->lfCharSet,
                      &f->lfOutPrecision, &f->lfClipPrecision, &f->lfQuality, &f->lfPitchAndFamily};
    for (int i = 0; i < 13; ++i) {
        if (store && i < 5)
            *longs[i] = values[i];
        else if (store)
            *bytes[i - 5] = (BYTE)values[i];
        else
            values[i] = i < 5 ? (int)*longs[i] : (int)*bytes[i - 5];
    }
}

void read_text_settings(void)
{
    int values[13];
    for (int i = 0; i < 13; ++i)
        values[i] = read_setting_int(FONT_KEYS[i].key, FONT_KEYS[i].default_value);
    memset(&g_textFont, 0, sizeof g_textFont);
    font_fields(&g_textFont, values, true);
    read_setting_string("FontFaceName", "Arial", g_textFont.lfFaceName, sizeof g_textFont.lfFaceName);
    g_textBackgroundTransparent = read_setting_int("TextBackgroundTransparent", 0) != 0;
    g_textColor = color_word((BYTE)read_setting_int("TextColor_Red", 0), (BYTE)read_setting_int("TextColor_Green", 0),
                             (BYTE)read_setting_int("TextColor_Blue", 0));
    g_textBackColor = color_word((BYTE)read_setting_int("TextBackColor_Red", 255),
                                 (BYTE)read_setting_int("TextBackColor_Green", 255),
                                 (BYTE)read_setting_int("TextBackColor_Blue", 255));
}

static void write_font_settings(void)
{
    int values[13];
    font_fields(&g_textFont, values, false);
    for (int i = 0; i < 13; ++i)
        write_setting_int(FONT_KEYS[i].key, values[i]);
    write_setting_string("FontFaceName", g_textFont.lfFaceName);
}

static void write_color_settings(void)
{
    write_setting_string("TextBackgroundTransparent", g_textBackgroundTransparent ? "1" : "0");
    write_setting_int("TextColor_Red", (g_textColor >> 16) & 255);
    write_setting_int("TextColor_Green", (g_textColor >> 8) & 255);
    write_setting_int("TextColor_Blue", g_textColor & 255);
    write_setting_int("TextBackColor_Red", (g_textBackColor >> 16) & 255);
    write_setting_int("TextBackColor_Green", (g_textBackColor >> 8) & 255);
    write_setting_int("TextBackColor_Blue", g_textBackColor & 255);
}

static void make_text_font(void)
{
    HFONT font = CreateFontIndirectA(&g_textFont);
    if (g_hTextFont)
        DeleteObject(g_hTextFont);
    g_hTextFont = font;
}

// The transparent entry (shown, no conversion in force) stands for its
// display colour.
static DWORD entry_color(HPALETTE palette, UINT index)
{
    if (g_hasTransparency && !g_colorConversion && index == g_transparentIndex)
        return g_transparentDisplayColor;
    PALETTEENTRY e = {0, 0, 0, 0};
    GetPaletteEntries(palette, index, 1, &e);
    return color_word(e.peRed, e.peGreen, e.peBlue);
}

// On a palette image both colours become entries of its palette.
static void snap_colors_to_image(void)
{
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (!bih)
        return;
    if (bih->biBitCount <= 8) {
        HPALETTE palette = create_dib_palette(bih, NULL);
        if (palette) {
            UINT text = GetNearestPaletteIndex(palette, as_colorref(g_textColor));
            UINT back = bih->biBitCount == 1 ? 1 - (text & 1) : GetNearestPaletteIndex(palette, as_colorref(g_textBackColor));
            g_textColorIndex = (BYTE)text;
            g_textBackIndex = (BYTE)back;
            g_textColor = entry_color(palette, text);
            g_textBackColor = entry_color(palette, back);
            DeleteObject(palette);
        }
    }
    GlobalUnlock(g_hImage);
}

// ---- the dialogs

static UINT_PTR CALLBACK writetext_hook_proc(HWND hdlg, UINT msg, WPARAM, LPARAM)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    g_textDialogSeen = 1;
    SetWindowTextA(hdlg, "Write Text on Image -- Select Font");
    EnableWindow(GetDlgItem(hdlg, 1139), FALSE);
    ShowWindow(GetDlgItem(hdlg, 1139), SW_HIDE);
    ShowWindow(GetDlgItem(hdlg, 1091), SW_HIDE);
    ShowWindow(GetDlgItem(hdlg, 1093), SW_HIDE);
    return TRUE;
}

static int run_font_dialog(HWND owner)
{
    CHOOSEFONTA cf;
    memset(&cf, 0, sizeof cf);
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = front_owner(owner);
    cf.lpLogFont = &g_textFont;
    cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT | CF_ENABLEHOOK | CF_ENABLETEMPLATE;
    cf.lpfnHook = writetext_hook_proc;
    cf.lpTemplateName = "WRITETEXT";
    cf.hInstance = GetModuleHandleA(NULL);
    const int ok = ChooseFontA(&cf) ? 1 : 0;
    if (ok)
        write_font_settings();
    make_text_font();
    return ok;
}

int choose_text_font(HWND owner)
{
    if (g_textDialogSeen == 1)
        return 0;
    g_textDialogSeen = 1;
    read_text_settings();
    snap_colors_to_image();
    return run_font_dialog(owner);
}

static void repaint_if_placed(void)
{
    if (g_writeTextReady && g_hwndText)
        InvalidateRect(g_hwndText, NULL, FALSE);
}

static void activate_text_window(void)
{
    if (is_window_open(g_hwndText))
        SetActiveWindow(g_hwndText);
}

static void run_gettext(HWND owner);
static void run_textposition(HWND owner);

// The colours and the flag as TEXTCOLOR opened with them, for Cancel.
static struct {
    DWORD text, back;
    BYTE text_index, back_index;
    int transparent;
} s_savedColors;

static INT_PTR textcolor_on_init(HWND dlg)
{
    g_hwndTextColorDlg = dlg;
    SetWindowTextA(dlg, "Write Text on Image -- Select Colors");
    s_savedColors = {g_textColor, g_textBackColor, g_textColorIndex, g_textBackIndex, g_textBackgroundTransparent};
    CheckRadioButton(dlg, IDC_TEXT_OPAQUE, IDC_TEXT_TRANSPARENT,
                     g_textBackgroundTransparent ? IDC_TEXT_TRANSPARENT : IDC_TEXT_OPAQUE);
    EnableWindow(GetDlgItem(dlg, IDC_TEXT_EDIT_BACK_COLOR), !g_textBackgroundTransparent);
    RECT c;
    GetClientRect(dlg, &c);
    g_hwndTextColor = CreateWindowExA(WS_EX_TRANSPARENT, "TextColor", "A", WS_CHILD | WS_VISIBLE, c.right * 23 / 262,
                                      c.bottom * 7 / 138, c.right * 108 / 131, c.bottom * 13 / 46, dlg, NULL,
                                      GetModuleHandleA(NULL), NULL);
    SetFocus(GetDlgItem(dlg, IDOK));
    return FALSE;
}

static void close_textcolor(HWND dlg, int result)
{
    if (g_hwndTextColor)
        DestroyWindow(g_hwndTextColor);
    g_hwndTextColor = NULL;
    g_hwndTextColorDlg = NULL;
    EndDialog(dlg, result);
}

// The text (target 1) or background colour (2): a palette image's colour
// from the "Palette" window, beside the dialog's centre (left for the
// text, right for the background); another image's from the picker.
static void pick_text_color(HWND dlg, int target)
{
    g_textColorTarget = target;
    const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (!bih)
        return;
    const int bit_count = bih->biBitCount;
    int bits = 8, count = 0, rows = 0, columns = 0;
    if (bit_count < 16)
        palette_grid_shape(bih->biClrUsed, bit_count, &bits, &count, &rows, &columns);
    GlobalUnlock(g_hImage);
    if (bit_count >= 16) {
        run_color_picker(dlg, "PALETTE_COLOR_BIG");
        return;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN) / 3;
    RECT r;
    GetWindowRect(dlg, &r);
    const int centre = (r.left + r.right) / 2;
    open_palette_chooser("Click on Desired Color", target == 1 ? centre - width : centre,
                         r.top + (r.bottom - r.top) / 8, width, bits % 2 ? width / 2 : width);
}

static INT_PTR CALLBACK textcolor_dlg_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return textcolor_on_init(dlg);
    if (msg != WM_COMMAND)
        return FALSE;
    if (is_window_open(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    switch (LOWORD(wp)) {
    case IDC_TEXT_OPAQUE:
    case IDC_TEXT_TRANSPARENT:
        EnableWindow(GetDlgItem(dlg, IDC_TEXT_EDIT_BACK_COLOR), LOWORD(wp) == IDC_TEXT_OPAQUE);
        if (g_hwndTextColor)
            InvalidateRect(g_hwndTextColor, NULL, TRUE);
        return TRUE;
    case IDC_TEXT_EDIT_COLOR:
    case IDC_TEXT_EDIT_BACK_COLOR:
        pick_text_color(dlg, LOWORD(wp) == IDC_TEXT_EDIT_COLOR ? 1 : 2);
        return TRUE;
    case IDOK:
        g_textBackgroundTransparent = IsDlgButtonChecked(dlg, IDC_TEXT_TRANSPARENT) == BST_CHECKED;
        write_color_settings();
        close_textcolor(dlg, 1);
        repaint_if_placed();
        if (g_textDialogSeen == 2)
            g_textDialogSeen = 3;  // run_textcolor goes on with the text
        else
            activate_text_window();
        return TRUE;
    case IDCANCEL:
        g_textColor = s_savedColors.text;
        g_textBackColor = s_savedColors.back;
        g_textColorIndex = s_savedColors.text_index;
        g_textBackIndex = s_savedColors.back_index;
        g_textBackgroundTransparent = s_savedColors.transparent;
        close_textcolor(dlg, 0);
        activate_text_window();
        repaint_if_placed();
        return TRUE;
    }
    return FALSE;
}

// The sequence goes on once the dialog has ended, not from inside it.
static void run_textcolor(HWND owner)
{
    const int step = g_textDialogSeen;
    if (dialog_box_holding(GetModuleHandleA(NULL), "TEXTCOLOR", owner, textcolor_dlg_proc, 0) == 1 && step == 2)
        run_gettext(g_hwndText);
}

// The pane's colour for a text colour word or palette index; the image's
// transparent entry shows the button face.
static COLORREF pane_color(HPALETTE palette, BYTE index, DWORD word)
{
    if (!palette)
        return as_colorref(word);
    if (g_hasTransparency && !g_colorConversion && index == g_transparentIndex)
        return GetSysColor(COLOR_BTNFACE);
    return PALETTEINDEX(index);
}

static void textcolor_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT pane;
    GetClientRect(hwnd, &pane);
    HPALETTE palette = NULL, old_palette = NULL;
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (bih && bih->biBitCount <= 8)
        palette = create_dib_palette(bih, NULL);
    if (bih)
        GlobalUnlock(g_hImage);
    if (palette) {
        old_palette = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ old_brush = SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
    Rectangle(dc, pane.left, pane.top, pane.right, pane.bottom);
    HGDIOBJ old_font = SelectObject(dc, g_hTextFont ? g_hTextFont : GetStockObject(DEFAULT_GUI_FONT));
    RECT m = {0, 0, 0, 0};
    DrawTextA(dc, SAMPLE, 13, &m, DT_CALCRECT | DT_NOPREFIX);
    const int w = m.right - m.left, h = m.bottom - m.top;
    const int pw = pane.right - pane.left, ph = pane.bottom - pane.top;
    const int x = w > pw - 2 ? pane.left + 1 : pane.left + (pw - w) / 2;
    const int y = h > ph - 2 ? pane.bottom - 1 - h : pane.top + (ph - h) / 2;
    const bool opaque = g_hwndTextColorDlg && IsDlgButtonChecked(g_hwndTextColorDlg, IDC_TEXT_OPAQUE) == BST_CHECKED;
    HBRUSH box = opaque ? CreateSolidBrush(pane_color(palette, g_textBackIndex, g_textBackColor)) : NULL;
    SelectObject(dc, box ? (HGDIOBJ)box : (HGDIOBJ)GetSysColorBrush(COLOR_BTNFACE));
    Rectangle(dc, x - 3, y - 3, x + w + 3, y + h + 3);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, pane_color(palette, g_textColorIndex, g_textColor));
    RECT at = {x, y, x + w, y + h};
    DrawTextA(dc, SAMPLE, 13, &at, DT_NOPREFIX);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, pane.left, pane.top, pane.right, pane.bottom);
    SelectObject(dc, old_font);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    if (box)
        DeleteObject(box);
    if (palette) {
        SelectPalette(dc, old_palette, FALSE);
        DeleteObject(palette);
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK textcolor_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        textcolor_on_paint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

static int checked_alignment(HWND dlg)
{
    if (IsDlgButtonChecked(dlg, IDC_TEXT_CENTER) == BST_CHECKED)
        return 1;
    return IsDlgButtonChecked(dlg, IDC_TEXT_RIGHT) == BST_CHECKED ? 2 : 0;
}

static void free_text(void)
{
    if (g_hWriteText)
        GlobalFree(g_hWriteText);
    g_hWriteText = NULL;
}

// The edit control's text in a new block, or null when it is empty.
static HGLOBAL read_edit_text(void)
{
    const int length = g_hwndTextEdit ? GetWindowTextLengthA(g_hwndTextEdit) : 0;
    if (length <= 0)
        return NULL;
    HGLOBAL block = GlobalAlloc(GHND, (SIZE_T)length + 1);
    char* text = block ? (char*)GlobalLock(block) : NULL;
    if (!text) {
        if (block)
            GlobalFree(block);
        return NULL;
    }
    GetWindowTextA(g_hwndTextEdit, text, length + 1);
    GlobalUnlock(block);
    return block;
}

// A new edit control with the alignment (fixed at creation) and the text.
static void make_text_edit(HWND dlg, int align, HGLOBAL text)
{
    RECT c;
    GetClientRect(dlg, &c);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_WANTRETURN;
    style |= align == 1 ? ES_CENTER : align == 2 ? ES_RIGHT : ES_LEFT;
    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", style, c.right * 9 / 377, c.bottom * 23 / 150,
                                c.right * 358 / 377, c.bottom * 92 / 150, dlg, NULL, GetModuleHandleA(NULL), NULL);
    if (!edit)
        return;
    SendMessageA(edit, WM_SETFONT, (WPARAM)g_hTextFont, FALSE);
    const char* chars = text ? (const char*)GlobalLock(text) : NULL;
    if (chars) {
        SetWindowTextA(edit, chars);
        GlobalUnlock(text);
    }
    HWND old = g_hwndTextEdit;
    g_hwndTextEdit = edit;
    ShowWindow(edit, SW_SHOW);
    SetFocus(edit);
    if (old)
        DestroyWindow(old);
}

static void close_gettext(HWND dlg, int result)
{
    if (g_hwndTextEdit)
        DestroyWindow(g_hwndTextEdit);
    g_hwndTextEdit = NULL;
    EndDialog(dlg, result);
}

static INT_PTR CALLBACK gettext_dlg_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        SetWindowTextA(dlg, "Write Text on Image -- Enter/Edit Text");
        const int radio = g_textAlign == 1 ? IDC_TEXT_CENTER : g_textAlign == 2 ? IDC_TEXT_RIGHT : IDC_TEXT_LEFT;
        CheckRadioButton(dlg, IDC_TEXT_LEFT, IDC_TEXT_RIGHT, radio);
        g_hwndTextEdit = NULL;
        make_text_edit(dlg, g_textAlign, g_hWriteText);
        return FALSE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wp)) {
    case IDC_TEXT_LEFT:
    case IDC_TEXT_CENTER:
    case IDC_TEXT_RIGHT: {
        free_text();
        g_hWriteText = read_edit_text();
        make_text_edit(dlg, checked_alignment(dlg), g_hWriteText);
        return TRUE;
    }
    case IDOK:
        free_text();
        g_hWriteText = read_edit_text();
        if (!g_hWriteText) {
            seam_message_box(dlg, "No Text Entered.", "Write Text on Image", MB_OK | MB_ICONSTOP);
            SetFocus(g_hwndTextEdit);
            return TRUE;
        }
        g_textAlign = checked_alignment(dlg);
        close_gettext(dlg, 1);
        repaint_if_placed();
        if (g_textDialogSeen == 3)
            g_textDialogSeen = 4;  // run_gettext goes on with the position
        else
            activate_text_window();
        return TRUE;
    case IDCANCEL:
        close_gettext(dlg, 0);
        activate_text_window();
        return TRUE;
    }
    return FALSE;
}

static void run_gettext(HWND owner)
{
    const int step = g_textDialogSeen;
    if (dialog_box_holding(GetModuleHandleA(NULL), "GETTEXT", owner, gettext_dlg_proc, 0) == 1 && step == 3)
        run_textposition(g_hwndText);
}

static INT_PTR CALLBACK textposition_dlg_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        CheckDlgButton(dlg, IDC_TEXT_CENTER_X, g_textCenterX ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dlg, IDC_TEXT_CENTER_Y, g_textCenterY ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    if (LOWORD(wp) == IDOK) {
        g_textCenterX = IsDlgButtonChecked(dlg, IDC_TEXT_CENTER_X) == BST_CHECKED;
        g_textCenterY = IsDlgButtonChecked(dlg, IDC_TEXT_CENTER_Y) == BST_CHECKED;
        if (!g_writeTextReady) {
            if (g_textCenterX && g_textCenterY)
                g_writeTextReady = 1;
            else
                g_textPlacing = 1;
        }
        EndDialog(dlg, 1);
        activate_text_window();
        repaint_if_placed();
        return TRUE;
    }
    if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, 0);
        activate_text_window();
        return TRUE;
    }
    return FALSE;
}

static void run_textposition(HWND owner)
{
    dialog_box_holding(GetModuleHandleA(NULL), g_writeTextReady ? "TEXTPOSITION1" : "TEXTPOSITION", owner,
                    textposition_dlg_proc, 0);
}

// ---- geometry and status

static int axis_to_image(int v, int client, int zoomed, int zoom, int scroll)
{
    if (zoomed > client)
        return (int)((int64_t)(v - scroll) * 8 / zoom);
    const int start = (client - zoomed) / 2;
    if (v < start || v >= start + zoomed)
        return -1;
    return (int)((int64_t)(v - start) * 8 / zoom);
}

void text_point_to_image(int x, int y, int client_w, int client_h, int zoomed_w, int zoomed_h, int zoom,
                         int scroll_x, int scroll_y, int* ix, int* iy)
{
    *ix = axis_to_image(x, client_w, zoomed_w, zoom, scroll_x);
    *iy = axis_to_image(y, client_h, zoomed_h, zoom, scroll_y);
}

static void placing_point(HWND hwnd, int x, int y, int* ix, int* iy)
{
    RECT c;
    GetClientRect(hwnd, &c);
    int zw = 0, zh = 0;
    tool_zoomed_size(&zw, &zh);
    text_point_to_image(x, y, c.right, c.bottom, zw, zh, g_zoomEighths, g_scrollX, g_scrollY, ix, iy);
}

static void show_position(int x, int y)
{
    char text[100] = " ";
    if (x >= 0 && y >= 0)
        snprintf(text, sizeof text, "left: %d;   top: %d", x, y);
    SendMessageA(g_hwndTextStatus, SB_SETTEXTA, 3, (LPARAM)text);
}

void update_text_status(int x, int y)
{
    if (!g_hwndTextStatus)
        return;
    if (x < 0 && y < 0) {
        char text[100];
        snprintf(text, sizeof text, "zoom: %g%%", g_zoomEighths * 12.5);
        SendMessageA(g_hwndTextStatus, SB_SETTEXTA, 1, (LPARAM)text);
        int w = 0, h = 0;
        tool_image_size(&w, &h);
        snprintf(text, sizeof text, "width: %d;   height: %d", w, h);
        SendMessageA(g_hwndTextStatus, SB_SETTEXTA, 2, (LPARAM)text);
        show_position(g_textPosX, g_textPosY);
        return;
    }
    if (!g_textPlacing || !g_hwndText)
        return;
    int ix, iy;
    placing_point(g_hwndText, x, y, &ix, &iy);
    show_position(ix, iy);
}

// ---- the window

static HCURSOR hand_cursor(void)
{
    return LoadCursorA(GetModuleHandleA(NULL), "HAND");
}

static void release_item(void)
{
    free_text();
    if (g_hTextFont)
        DeleteObject(g_hTextFont);
    g_hTextFont = NULL;
}

static void reset_item(void)
{
    g_textDialogSeen = 0;
    free_text();
    g_textPlacing = g_writeTextReady = 0;
    g_textCenterX = g_textCenterY = 0;
    g_textDragging = 0;
    g_textPosX = g_textPosY = -1;
    g_textAlign = 0;
    g_paletteRealizeMode = 0;
}

static void end_text_tool(void)
{
    release_item();
    HWND text = g_hwndText;
    g_hwndText = NULL;
    if (g_textHolds) {
        g_textHolds = false;
        end_file_hold();
    }
    if (g_hwndTextStatus)
        DestroyWindow(g_hwndTextStatus);
    g_hwndTextStatus = NULL;
    if (text)
        DestroyWindow(text);
    if (g_hwndDummy)
        DestroyWindow(g_hwndDummy);
    g_hwndDummy = NULL;
    g_paletteRealizeMode = 0;
    if (g_hwndTextOwner)
        SetForegroundWindow(g_hwndTextOwner);
}

static void end_placing(void)
{
    if (g_textPlacing) {
        g_textPlacing = 0;
        update_text_status(-1, -1);
    }
}

// Writes the placed item into the image and records it; false (a beep)
// without a placed text.
static bool write_item(void)
{
    if (!g_hWriteText || !g_writeTextReady || !g_hTextFont || !g_hImage) {
        seam_beep((UINT)-1);
        return false;
    }
    g_paletteRealizeMode = 1;
    // A text that could not be drawn leaves the image, and the history, as they were.
    if (!write_text_on_image(g_hImage, g_hImageUnconverted, g_hWriteText, g_hTextFont, g_textPosX, g_textPosY,
                             g_textColor, g_textBackColor, g_textColorIndex, g_textBackIndex,
                             g_textBackgroundTransparent, g_textAlign, g_hwndText, g_brightnessStep,
                             g_colorConversion))
        return false;
    push_edit_record(EDIT_TEXT, (UINT)g_colorConversion);
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, FALSE);
    if (g_hwndMain)
        InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, FALSE);
    return true;
}

static void accept_text(void)
{
    end_placing();
    write_item();
    end_text_tool();
}

static void cancel_text(void)
{
    seam_beep((UINT)-1);
    end_placing();
    end_text_tool();
}

static void write_additional_item(HWND hwnd)
{
    const bool had_text = g_hWriteText != NULL;
    write_item();
    if (had_text) {
        release_item();
        reset_item();
    }
    InvalidateRect(hwnd, NULL, FALSE);
    update_text_status(-1, -1);
}

// The first-use sequence: font, colours, text, position.
static void start_sequence(HWND hwnd)
{
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    if (!choose_text_font(hwnd)) {
        activate_text_window();
        return;
    }
    DrawMenuBar(hwnd);
    g_textDialogSeen = 2;
    run_textcolor(hwnd);
}

static bool inside_item(int ix, int iy)
{
    return ix >= g_rcTextItem.left + 2 && ix < g_rcTextItem.right - 2 && iy >= g_rcTextItem.top + 2 &&
           iy < g_rcTextItem.bottom - 2;
}

static void drag_to(HWND hwnd, int x, int y)
{
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    g_textPosX = g_textGrabPosX + (ix - g_grabX);
    g_textPosY = g_textGrabPosY + (iy - g_grabY);
    InvalidateRect(hwnd, NULL, FALSE);
}

static LRESULT text_on_mousemove(HWND hwnd, int x, int y, WPARAM keys)
{
    if (g_textDialogSeen == 0) {
        start_sequence(hwnd);
        return 0;
    }
    if (g_textPlacing) {
        SetCursor(LoadCursorA(NULL, IDC_ARROW));
        update_text_status(x, y);
        return 0;
    }
    if (!g_writeTextReady) {
        SetCursor(LoadCursorA(NULL, IDC_ARROW));
        return 0;
    }
    if ((keys & MK_LBUTTON) && g_textDragging) {
        SetCursor(hand_cursor());
        drag_to(hwnd, x, y);
        return 0;
    }
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    SetCursor(inside_item(ix, iy) ? hand_cursor() : LoadCursorA(NULL, IDC_ARROW));
    return 0;
}

static LRESULT text_on_lbuttondown(HWND hwnd, int is_double, int x, int y)
{
    if (is_double) {
        accept_text();
        return 0;
    }
    if (g_textPlacing) {
        g_textPlacing = 0;
        int ix, iy;
        placing_point(hwnd, x, y, &ix, &iy);
        if (ix < 0 || iy < 0)
            ix = iy = 0;
        g_textPosX = ix;
        g_textPosY = iy;
        show_position(ix, iy);
        g_writeTextReady = 1;
        InvalidateRect(hwnd, NULL, FALSE);
        return 0;
    }
    if (!g_writeTextReady)
        return 0;
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    g_textDragging = inside_item(ix, iy);
    if (g_textDragging) {
        g_grabX = ix;
        g_grabY = iy;
        g_textGrabPosX = g_textPosX;
        g_textGrabPosY = g_textPosY;
        SetCapture(hwnd);
    }
    SetCursor(g_textDragging ? hand_cursor() : LoadCursorA(NULL, IDC_ARROW));
    return 0;
}

static LRESULT text_on_lbuttonup(HWND hwnd, int x, int y)
{
    if (GetCapture() == hwnd)
        ReleaseCapture();
    if (!g_writeTextReady)
        return 0;
    if (g_textDragging) {
        drag_to(hwnd, x, y);
        g_textDragging = 0;
    }
    int ix, iy;
    tool_map_point(hwnd, x, y, &ix, &iy);
    SetCursor(inside_item(ix, iy) ? hand_cursor() : LoadCursorA(NULL, IDC_ARROW));
    return 0;
}

// The item over the image in mem (image pixels); sets g_rcTextItem and the
// centred position.
static void draw_item(HDC mem, HPALETTE palette, int W, int H)
{
    const char* text = g_hWriteText ? (const char*)GlobalLock(g_hWriteText) : NULL;
    if (!text)
        return;
    const UINT format = g_textAlign == 0 ? DT_LEFT : g_textAlign == 1 ? DT_CENTER : DT_RIGHT;
    HGDIOBJ old_font = SelectObject(mem, g_hTextFont);
    SetBkMode(mem, TRANSPARENT);
    RECT m = {0, 0, 1, 1};
    DrawTextA(mem, text, -1, &m, format | DT_CALCRECT);
    if (g_textCenterX)
        g_textPosX = (W - (m.right - m.left + 2 * TEXT_MARGIN)) / 2;
    if (g_textCenterY)
        g_textPosY = (H - (m.bottom - m.top + 2 * TEXT_MARGIN)) / 2;
    show_position(g_textPosX, g_textPosY);
    SetRect(&g_rcTextItem, m.left + g_textPosX, m.top + g_textPosY, m.right + g_textPosX + 2 * TEXT_MARGIN,
            m.bottom + g_textPosY + 2 * TEXT_MARGIN);
    if (!g_textBackgroundTransparent) {
        HBRUSH back = CreateSolidBrush(palette ? PALETTEINDEX(g_textBackIndex) : as_colorref(g_textBackColor));
        FillRect(mem, &g_rcTextItem, back);
        DeleteObject(back);
    }
    SetTextColor(mem, palette ? PALETTEINDEX(g_textColorIndex) : as_colorref(g_textColor));
    RECT box = g_rcTextItem;
    InflateRect(&box, -TEXT_MARGIN, -TEXT_MARGIN);
    DrawTextA(mem, text, -1, &box, format);
    SelectObject(mem, old_font);
    GlobalUnlock(g_hWriteText);
}

static LRESULT text_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (bih) {
        const int W = bih->biWidth, H = abs(bih->biHeight);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = mem ? CreateCompatibleBitmap(dc, W, H) : NULL;
        if (bmp) {
            HPALETTE palette = bih->biBitCount <= 8 ? create_dib_palette(bih, hwnd) : NULL;
            HPALETTE old_pal = NULL, old_mem_pal = NULL;
            if (palette) {
                old_pal = SelectPalette(dc, palette, FALSE);
                RealizePalette(dc);
                old_mem_pal = SelectPalette(mem, palette, FALSE);
                RealizePalette(mem);
            }
            SetDIBits(dc, bmp, 0, H, dib_pixels(bih), (BITMAPINFO*)bih, DIB_RGB_COLORS);
            HGDIOBJ old_bmp = SelectObject(mem, bmp);
            if (g_hWriteText && g_writeTextReady && g_hTextFont)
                draw_item(mem, palette, W, H);
            tool_show_zoomed(hwnd, dc, mem, W, H, COLORONCOLOR);
            SelectObject(mem, old_bmp);
            DeleteObject(bmp);
            if (palette) {
                SelectPalette(mem, old_mem_pal, FALSE);
                SelectPalette(dc, old_pal, FALSE);
                DeleteObject(palette);
            }
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
    if (!tool_change_zoom(&g_hwndText, "Text", zoom))
        return;
    // Without its window the tool ends as Esc ends it, giving its hold back.
    if (!g_hwndText)
        cancel_text();
    else
        update_text_status(-1, -1);
}

static void select_font(HWND hwnd)
{
    if (run_font_dialog(hwnd))
        repaint_if_placed();
}

static void position_text(HWND hwnd)
{
    if (!g_hWriteText) {
        seam_message_box(hwnd, "No Text Entered.", "Place Text on Image", MB_OK | MB_ICONSTOP);
        g_textDialogSeen = 3;
        run_gettext(hwnd);
        return;
    }
    run_textposition(hwnd);
}

static LRESULT text_on_command(HWND hwnd, int id)
{
    end_placing();
    if (int zoom = tool_zoom_for_item(id)) {
        change_zoom(zoom);
        return 0;
    }
    switch (id) {
    case IDM_TEXT_ACCEPT: accept_text(); break;
    case IDM_TEXT_CANCEL: cancel_text(); break;
    case IDM_TEXT_HELP: seam_win_help(hwnd, "RODadi.zoz", HELP_CONTEXT, 109); break;
    case IDM_TEXT_HELP_LIBRARY: seam_win_help(hwnd, "RODadi.zoz", HELP_FINDER, 0); break;
    case IDM_TEXT_FONT: select_font(hwnd); break;
    case IDM_TEXT_COLORS: run_textcolor(hwnd); break;
    case IDM_TEXT_ENTER: run_gettext(hwnd); break;
    case IDM_TEXT_POSITION: position_text(hwnd); break;
    case IDM_TEXT_ADDITIONAL: write_additional_item(hwnd); break;
    }
    return 0;
}

LRESULT CALLBACK text_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
    switch (msg) {
    case WM_CREATE: return 0;
    case WM_COMMAND: return text_on_command(hwnd, LOWORD(wp));
    case WM_EXITMENULOOP: take_pointer_back_after_menu(); return 0;
    case WM_PAINT: return text_on_paint(hwnd);
    case WM_LBUTTONDOWN: return text_on_lbuttondown(hwnd, 0, x, y);
    case WM_LBUTTONDBLCLK: return text_on_lbuttondown(hwnd, 1, x, y);
    case WM_LBUTTONUP: return text_on_lbuttonup(hwnd, x, y);
    case WM_MOUSEMOVE: return text_on_mousemove(hwnd, x, y, wp);
    case WM_KEYDOWN:
        tool_on_keydown(hwnd, (int)wp, cancel_text);
        return 0;
    case WM_VSCROLL:
        tool_on_scroll(hwnd, SB_VERT, LOWORD(wp));
        return 0;
    case WM_HSCROLL:
        tool_on_scroll(hwnd, SB_HORZ, LOWORD(wp));
        return 0;
    case WM_CLOSE:
        if (hwnd == g_hwndText)
            cancel_text();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void start_text_tool(HWND owner)
{
    if (!g_hImage || g_imageKind != KIND_DIB || is_window_open(g_hwndText))
        return;
    g_hwndTextOwner = owner;
    g_zoomEighths = g_zoomSaved = 8;
    reset_item();
    begin_file_hold();
    g_textHolds = true;
    g_hwndDummy = CreateWindowExA(0, "Dummy", "", WS_POPUP | WS_VISIBLE | WS_DISABLED, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    create_text_status_bar(g_hwndDummy);
    create_tool_window(&g_hwndText, "Text");
    if (!g_hwndText) {
        cancel_text();
        return;
    }
    SetForegroundWindow(g_hwndText);
    SetFocus(g_hwndText);
    update_text_status(-1, -1);
}
