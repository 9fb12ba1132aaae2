// The "ROTATE" and "SKEW" dialogs. Both evaluate their fields as
// expressions; the turn and shear themselves are rotate_skew_current_image,
// and an edit is recorded only when it changed the image.
#include "viewer/angle_dialogs.h"

#include <cmath>
#include <cstdio>

#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "tools/edit_history.h"
#include "tools/expression.h"
#include "tools/tool_settings.h"
#include "tools/transform_current.h"

static const int FIELD_CHARS = 255;
// Larger angles are typing slips; refusing them keeps the range reduction
// exact.
static const double MAX_ANGLE = 1e6;

static const char NOT_NUMERIC[] = "Error: Angle must have numeric value.";

bool read_angle_field(HWND hdlg, int id, double* angle)
{
    char text[FIELD_CHARS + 1] = "";
    GetDlgItemTextA(hdlg, id, text, sizeof text);
    double value;
    if (!evaluate_double_expression(text, &value) || std::fabs(value) > MAX_ANGLE)
        return false;
    *angle = value;
    return true;
}

static void init_field(HWND hdlg, int id)
{
    char zero[16];
    std::snprintf(zero, sizeof zero, "%ld", 0L);
    SendDlgItemMessageA(hdlg, id, EM_LIMITTEXT, FIELD_CHARS, 0);
    SetDlgItemTextA(hdlg, id, zero);
}

// Rotates (4) or skews (42, 43) by g_rotateAngle both the image and its
// unconverted copy, then shows and records the result.
static void apply_angle_operation(int mode)
{
    COLORREF background = background_color((uint32_t)g_backgroundColorIndex);
    show_progress(0, 0);
    int done = rotate_skew_current_image(&g_hImage, &g_colorConversion, &g_brightnessStep, g_baseColorTable,
                                         background, mode);
    show_progress(0, 0);
    if (done && g_hImageUnconverted)
        rotate_skew_current_image(&g_hImageUnconverted, &g_colorConversion, &g_brightnessStep,
                                  g_baseColorTable, background, mode);
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, TRUE);
    if (const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL) {
        fit_image_rect(bih->biWidth, bih->biHeight, 0);
        GlobalUnlock(g_hImage);
    }
    if (done)
        push_edit_record((UINT)mode, (UINT)g_colorConversion);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
}

static INT_PTR rotate_on_ok(HWND hdlg)
{
    double angle;
    if (!read_angle_field(hdlg, IDC_ANGLE_EDIT, &angle)) {
        seam_message_box(hdlg, NOT_NUMERIC, "Rotate Image", MB_ICONSTOP);
        return TRUE;
    }
    if (IsDlgButtonChecked(hdlg, IDC_ANGLE_SECOND_RADIO) == BST_CHECKED)
        angle = -angle;
    angle = std::fmod(angle, 360.0);
    if (angle < 0)
        angle += 360.0;
    if (angle >= 360.0)  // a tiny negative remainder rounds up to 360
        angle = 0;
    g_rotateAngle = angle;
    EndDialog(hdlg, 1);
    apply_angle_operation(EDIT_ROTATE_ANGLE);
    return TRUE;
}

INT_PTR CALLBACK rotate_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        init_field(hdlg, IDC_ANGLE_EDIT);
        CheckRadioButton(hdlg, IDC_ANGLE_FIRST_RADIO, IDC_ANGLE_SECOND_RADIO, IDC_ANGLE_FIRST_RADIO);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK)
            return rotate_on_ok(hdlg);
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(hdlg, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---- skew

static void choose_skew_direction(HWND hdlg, bool horizontal)
{
    int field = horizontal ? IDC_ANGLE_EDIT : IDC_SKEW_VERTICAL_EDIT;
    EnableWindow(GetDlgItem(hdlg, IDC_ANGLE_EDIT), horizontal);
    EnableWindow(GetDlgItem(hdlg, IDC_SKEW_VERTICAL_EDIT), !horizontal);
    SetFocus(GetDlgItem(hdlg, field));
    SendDlgItemMessageA(hdlg, field, EM_SETSEL, 0, -1);
    InvalidateRect(GetDlgItem(hdlg, IDC_SKEW_PICTURE_H), NULL, TRUE);
    InvalidateRect(GetDlgItem(hdlg, IDC_SKEW_PICTURE_V), NULL, TRUE);
}

static INT_PTR skew_on_ok(HWND hdlg)
{
    int field, mode;
    if (IsDlgButtonChecked(hdlg, IDC_ANGLE_FIRST_RADIO) == BST_CHECKED) {
        field = IDC_ANGLE_EDIT;
        mode = EDIT_SKEW_H;
    } else if (IsDlgButtonChecked(hdlg, IDC_ANGLE_SECOND_RADIO) == BST_CHECKED) {
        field = IDC_SKEW_VERTICAL_EDIT;
        mode = EDIT_SKEW_V;
    } else {
        return TRUE;
    }
    double angle;
    if (!read_angle_field(hdlg, field, &angle)) {
        seam_message_box(hdlg, NOT_NUMERIC, "Rotate Image", MB_ICONSTOP);
        return TRUE;
    }
    if (angle < -80 || angle > 80) {
        seam_message_box(hdlg, "Error: Angle must have value between -80 and 80.", "Skew Image", MB_ICONSTOP);
        return TRUE;
    }
    g_rotateAngle = angle;
    EndDialog(hdlg, 1);
    apply_angle_operation(mode);
    return TRUE;
}

static int even(int v) { return v % 2 ? v - 1 : v; }

static void stroke(HDC dc, int x0, int y0, int x1, int y1)
{
    MoveToEx(dc, x0, y0, NULL);
    LineTo(dc, x1, y1);
}

// A minus sign, or a plus sign, 12 pixels across at (x, y).
static void draw_sign(HDC dc, int x, int y, bool plus)
{
    stroke(dc, x - 6, y, x + 6, y);
    if (plus)
        stroke(dc, x, y - 6, x, y + 6);
}

// Two parallelograms leaning opposite ways, marked minus and plus.
static void draw_skew_picture(HDC dc, const RECT& r, bool horizontal)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    int cx = w / 2, cy = h / 2;
    int a = even(7 * h / 8);
    int b = even(horizontal ? 2 * h / 3 : h / 2);
    int s = b / 3;
    for (int side = 0; side < 2; ++side) {
        bool plus = side == 1;
        POINT p[4];
        if (horizontal) {
            int x = plus ? cx + w / 5 : cx - w / 5;
            int lean = plus ? s : -s;
            p[0] = {x - a / 2 + lean, cy - b / 2};
            p[1] = {x + a / 2 + lean, cy - b / 2};
            p[2] = {x + a / 2, cy + b / 2};
            p[3] = {x - a / 2, cy + b / 2};
            Polygon(dc, p, 4);
            draw_sign(dc, plus ? x + s / 2 : x - s / 2, cy, plus);
        } else {
            int x = plus ? cx + 9 * w / 40 : cx - 9 * w / 40;
            if (!plus) {
                p[0] = {x - a / 2, cy - b / 2 - s};
                p[1] = {x + a / 2, cy - b / 2};
                p[2] = {x + a / 2, cy + b / 2 + s};
                p[3] = {x - a / 2, cy + b / 2};
            } else {
                p[0] = {x - a / 2, cy - b / 2};
                p[1] = {x + a / 2, cy - b / 2 - s};
                p[2] = {x + a / 2, cy + b / 2};
                p[3] = {x - a / 2, cy + b / 2 + s};
            }
            Polygon(dc, p, 4);
            draw_sign(dc, x, cy, plus);
        }
    }
}

static INT_PTR skew_on_drawitem(HWND hdlg, const DRAWITEMSTRUCT* item)
{
    bool horizontal = item->CtlID == IDC_SKEW_PICTURE_H;
    int chosen = IsDlgButtonChecked(hdlg, IDC_ANGLE_FIRST_RADIO) == BST_CHECKED ? IDC_SKEW_PICTURE_H
                                                                                : IDC_SKEW_PICTURE_V;
    HBRUSH fill = (int)item->CtlID == chosen ? g_hBackgroundBrushes[0] : g_hbrButtonFace;
    if (!fill)
        fill = GetSysColorBrush((int)item->CtlID == chosen ? COLOR_WINDOW : COLOR_BTNFACE);
    HPEN pen = g_hpenBlack ? g_hpenBlack : (HPEN)GetStockObject(BLACK_PEN);
    HGDIOBJ old_pen = SelectObject(item->hDC, pen);
    HGDIOBJ old_brush = SelectObject(item->hDC, fill);
    draw_skew_picture(item->hDC, item->rcItem, horizontal);
    SelectObject(item->hDC, old_brush);
    SelectObject(item->hDC, old_pen);
    return TRUE;
}

INT_PTR CALLBACK skew_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        init_field(hdlg, IDC_ANGLE_EDIT);
        init_field(hdlg, IDC_SKEW_VERTICAL_EDIT);
        CheckRadioButton(hdlg, IDC_ANGLE_FIRST_RADIO, IDC_ANGLE_SECOND_RADIO, IDC_ANGLE_FIRST_RADIO);
        EnableWindow(GetDlgItem(hdlg, IDC_ANGLE_EDIT), TRUE);
        EnableWindow(GetDlgItem(hdlg, IDC_SKEW_VERTICAL_EDIT), FALSE);
        return TRUE;
    case WM_DRAWITEM:
        if (wp == IDC_SKEW_PICTURE_H || wp == IDC_SKEW_PICTURE_V)
            return skew_on_drawitem(hdlg, (const DRAWITEMSTRUCT*)lp);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_ANGLE_FIRST_RADIO:
        case IDC_ANGLE_SECOND_RADIO:
            choose_skew_direction(hdlg, LOWORD(wp) == IDC_ANGLE_FIRST_RADIO);
            return TRUE;
        case IDOK:
            return skew_on_ok(hdlg);
        case IDCANCEL:
            EndDialog(hdlg, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void open_rotate_dialog(HWND owner)
{
    if (g_hImage && g_imageKind == KIND_DIB)
        dialog_box_holding(GetModuleHandleA(NULL), "ROTATE", owner, rotate_dlg_proc, 0);
}

void open_skew_dialog(HWND owner)
{
    if (g_hImage && g_imageKind == KIND_DIB)
        dialog_box_holding(GetModuleHandleA(NULL), "SKEW", owner, skew_dlg_proc, 0);
}
