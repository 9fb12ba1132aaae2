// The STRETCH and HUFFMAN dialogs (see stretch_dialog.h). Both read their
// fields as expressions. STRETCH's OK puts a full-screen window for the
// resized image in the place of the one it was opened from, Cancel none;
// that one closes itself when the dialog has ended.
#include "viewer/stretch_dialog.h"

#include <cstdio>

#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/kept_attributes.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/seams.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "tools/edit_history.h"
#include "tools/expression.h"
#include "tools/tool_settings.h"
#include "tools/transform_current.h"
#include "viewer/crop_window.h"
#include "viewer/full_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

static const int FIELD_CHARS = 255;
static const char STRETCH_CAPTION[] = "Stretch Image";
static const char NO_WIDTH[] = "Error: WIDTH must have non-zero value.";
static const char NO_HEIGHT[] = "Error: HEIGHT must have non-zero value.";
static const char NO_SIZE[] = "Error: Both WIDTH and HEIGHT must have non-zero values.";
static const char TOO_LARGE[] = "Insufficient Memory for this Operation.";

const char* stretch_size(int mode, int w, int h, int width_typed, int height_typed, int* W, int* H)
{
    if (w < 1 || h < 1)
        return NO_SIZE;
    long long nw = width_typed, nh = height_typed;
    if (mode == STRETCH_KEEP_WIDTH) {
        if (nw < 1)
            return NO_WIDTH;
        nh = (long long)((double)h * nw / w);
    } else if (mode == STRETCH_KEEP_HEIGHT) {
        if (nh < 1)
            return NO_HEIGHT;
        nw = (long long)((double)w * nh / h);
    } else if (nw < 1 || nh < 1) {
        return NO_SIZE;
    }
    // Extreme proportions can derive an empty side.
    if (nw < 1 || nh < 1)
        return NO_SIZE;
    if (nw > MAX_DIB_DIMENSION || nh > MAX_DIB_DIMENSION ||
        (uint64_t)dib_row_stride((int32_t)nw, 32) * (uint64_t)nh > MAX_DIB_BYTES)
        return TOO_LARGE;
    *W = (int)nw;
    *H = (int)nh;
    return NULL;
}

static void set_field(HWND hdlg, int id, long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%ld", value);
    SendDlgItemMessageA(hdlg, id, EM_LIMITTEXT, FIELD_CHARS, 0);
    SetDlgItemTextA(hdlg, id, text);
}

// ---- STRETCH

static void choose_mode(HWND hdlg, int radio)
{
    static const struct {
        int radio;
        int fields[2];
    } MODES[] = {
        {IDC_STRETCH_MODE_WIDTH, {IDC_STRETCH_WIDTH_ONLY, 0}},
        {IDC_STRETCH_MODE_HEIGHT, {IDC_STRETCH_HEIGHT_ONLY, 0}},
        {IDC_STRETCH_MODE_BOTH, {IDC_STRETCH_WIDTH, IDC_STRETCH_HEIGHT}},
    };
    static const int ALL[] = {IDC_STRETCH_WIDTH_ONLY, IDC_STRETCH_HEIGHT_ONLY, IDC_STRETCH_WIDTH, IDC_STRETCH_HEIGHT};
    for (const auto& mode : MODES) {
        if (mode.radio != radio)
            continue;
        for (int id : ALL)
            EnableWindow(GetDlgItem(hdlg, id), id == mode.fields[0] || id == mode.fields[1]);
        SetFocus(GetDlgItem(hdlg, mode.fields[0]));
        SendDlgItemMessageA(hdlg, mode.fields[0], EM_SETSEL, 0, -1);
    }
}

static INT_PTR stretch_on_init(HWND hdlg)
{
    g_hwndStretch = hdlg;
    SetWindowTextA(hdlg, g_fileName);
    const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (!bih)
        return TRUE;
    set_field(hdlg, IDC_STRETCH_WIDTH_ONLY, bih->biWidth);
    set_field(hdlg, IDC_STRETCH_WIDTH, bih->biWidth);
    set_field(hdlg, IDC_STRETCH_HEIGHT_ONLY, bih->biHeight);
    set_field(hdlg, IDC_STRETCH_HEIGHT, bih->biHeight);
    GlobalUnlock(g_hImage);
    CheckRadioButton(hdlg, IDC_STRETCH_MODE_WIDTH, IDC_STRETCH_MODE_BOTH, IDC_STRETCH_MODE_WIDTH);
    EnableWindow(GetDlgItem(hdlg, IDC_STRETCH_WIDTH_ONLY), TRUE);
    EnableWindow(GetDlgItem(hdlg, IDC_STRETCH_HEIGHT_ONLY), FALSE);
    EnableWindow(GetDlgItem(hdlg, IDC_STRETCH_WIDTH), FALSE);
    EnableWindow(GetDlgItem(hdlg, IDC_STRETCH_HEIGHT), FALSE);
    create_stretch_status_bar(hdlg);
    return TRUE;
}

static void end_stretch(HWND hdlg)
{
    EndDialog(hdlg, 1);
    g_hwndStretch = NULL;
}

static void resize_one(HGLOBAL* image, int W, int H, int* conversion, int* step, RGBQUAD* base, int no_spline,
                       bool* done)
{
    HGLOBAL resized = resize_current_image(image, W, H, conversion, step, base, no_spline);
    *done = resized != NULL;
    if (resized && resized != *image) {
        GlobalFree(*image);
        *image = resized;
    }
}

static INT_PTR stretch_on_ok(HWND hdlg)
{
    int w = 0, h = 0;
    if (const BITMAPINFOHEADER* bih = g_hImage ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL) {
        w = bih->biWidth;
        h = bih->biHeight;
        GlobalUnlock(g_hImage);
    }
    int mode = IsDlgButtonChecked(hdlg, IDC_STRETCH_MODE_WIDTH) == BST_CHECKED    ? STRETCH_KEEP_WIDTH
               : IsDlgButtonChecked(hdlg, IDC_STRETCH_MODE_HEIGHT) == BST_CHECKED ? STRETCH_KEEP_HEIGHT
                                                                                 : STRETCH_BOTH;
    // Only the fields of the mode are read: the others are disabled.
    int typed_width = 0, typed_height = 0;
    if ((mode != STRETCH_KEEP_HEIGHT &&
         !read_int_field(hdlg, mode == STRETCH_BOTH ? IDC_STRETCH_WIDTH : IDC_STRETCH_WIDTH_ONLY, NULL,
                         STRETCH_CAPTION, &typed_width)) ||
        (mode != STRETCH_KEEP_WIDTH &&
         !read_int_field(hdlg, mode == STRETCH_BOTH ? IDC_STRETCH_HEIGHT : IDC_STRETCH_HEIGHT_ONLY, NULL,
                         STRETCH_CAPTION, &typed_height)))
        return TRUE;
    int W = 0, H = 0;
    if (const char* refusal = stretch_size(mode, w, h, typed_width, typed_height, &W, &H)) {
        seam_message_box(NULL, refusal, STRETCH_CAPTION, MB_ICONSTOP);
        return TRUE;
    }
    int no_spline = IsDlgButtonChecked(hdlg, IDC_STRETCH_NO_SPLINE) == BST_CHECKED;
    EnableWindow(hdlg, FALSE);
    fit_image_rect(W, H, 0);
    bool done = false, copy_done = false;
    resize_one(&g_hImage, W, H, &g_colorConversion, &g_brightnessStep, g_baseColorTable, no_spline, &done);
    if (done && g_hImageUnconverted) {
        int conversion = 0, step = 0;
        resize_one(&g_hImageUnconverted, W, H, &conversion, &step, NULL, no_spline, &copy_done);
    }
    // A resize that made no image changed nothing: nothing to record.
    if (done) {
        SetRect(&g_rcEditOp, 0, 0, W, H);
        push_edit_record(no_spline ? EDIT_RESIZE_NO_SPLINE : EDIT_RESIZE, (UINT)g_colorConversion);
    }
    end_stretch(hdlg);
    // The window the dialog came from closes when the dialog has ended.
    create_full_window();
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, FALSE);
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, FALSE);
    return TRUE;
}

static INT_PTR stretch_on_cancel(HWND hdlg)
{
    g_fullScreen = 0;
    g_scrollX = g_scrollY = 0;
    end_stretch(hdlg);
    g_hwndFull = NULL;
    return TRUE;
}

INT_PTR CALLBACK stretch_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return stretch_on_init(hdlg);
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_STRETCH_MODE_WIDTH:
        case IDC_STRETCH_MODE_HEIGHT:
        case IDC_STRETCH_MODE_BOTH:
            if (HIWORD(wp) == BN_CLICKED)
                choose_mode(hdlg, LOWORD(wp));
            return TRUE;
        case IDOK:
            return stretch_on_ok(hdlg);
        case IDCANCEL:
            return stretch_on_cancel(hdlg);
        }
        return FALSE;
    }
    return FALSE;
}

// ---- HUFFMAN


// The file the command started on: the dialog's answer goes to it.
static char s_huffmanPath[MAX_PATH];

static void rewrite_orientation(int orientation)
{
    HCURSOR old = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    // The rewrite the user agreed to takes a read-only file too, which
    // stays read-only.
    KeptAttributes kept = keep_attributes(s_huffmanPath, 1);
    write_exif_orientation(s_huffmanPath, orientation);
    put_attributes_back(&kept);
    reload_shown_file_keeping_edits(g_hwndMain);
    SetCursor(old);
}

static INT_PTR huffman_on_yes(HWND hdlg)
{
    static const char CAPTION[] = "Orientation of Image";
    int orientation;
    if (!read_int_field(hdlg, IDC_HUFFMAN_ORIENTATION, hdlg, CAPTION, &orientation))
        return TRUE;
    if (orientation < 1 || orientation > 8) {
        seam_message_box(hdlg, "Error: Orientation must have a value between 1 and 8", CAPTION, MB_ICONSTOP);
        return TRUE;
    }
    EndDialog(hdlg, 1);
    rewrite_orientation(orientation);
    return TRUE;
}

// The dialog's parameter is the orientation the field opens with.
INT_PTR CALLBACK huffman_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        set_field(hdlg, IDC_HUFFMAN_ORIENTATION, (int)lp);
        EnableWindow(GetDlgItem(hdlg, IDC_HUFFMAN_ORIENTATION), TRUE);
        SetFocus(GetDlgItem(hdlg, IDC_HUFFMAN_ORIENTATION));
        SendDlgItemMessageA(hdlg, IDC_HUFFMAN_ORIENTATION, EM_SETSEL, 0, -1);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            return huffman_on_yes(hdlg);
        case IDNO:
        case IDCANCEL:
            EndDialog(hdlg, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The Orientation entry of the file, 1 when it holds none in 1 to 8.
static int file_orientation(const char* path)
{
    FILE* fp = fopen(path, "rb");
    int orientation = fp ? read_exif_orientation(fp) : 1;
    if (fp)
        fclose(fp);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

void run_huffman_command(HWND hwndView)
{
    if (g_fileFormat != FMT_JPEG && g_fileFormat != FMT_JPEG12)
        return;
    lstrcpynA(s_huffmanPath, g_filePath, sizeof s_huffmanPath);
    if (!s_huffmanPath[0])
        return;
    FILE* fp = fopen(s_huffmanPath, "rb");
    if (!fp)
        return;
    fclose(fp);
    if (is_exif_jpeg(s_huffmanPath)) {
        // An entry the program cannot read is said so; Yes leaves it as it is.
        int unreadable = 0;
        exif_orientation_of(s_huffmanPath, &unreadable);
        if (unreadable)
            seam_message_box(hwndView, "The Orientation of This Image Cannot Be Read; Yes Leaves It as It Is.",
                             "Orientation of Image", MB_OK | MB_ICONINFORMATION);
        // Yes without a change keeps the orientation the file has.
        dialog_box_holding(g_hInstance, "HUFFMAN", hwndView, huffman_dlg_proc, file_orientation(s_huffmanPath));
        return;
    }
    if (seam_message_box(NULL, "Merge Huffman tables and sort markers for JPEG image?", "Corvane File Viewer",
                         MB_YESNOCANCEL) == IDYES)
        rewrite_orientation(1);
}
