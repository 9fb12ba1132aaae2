// The hook of the merge tool's Open dialog (template "MERGEIMAGE"; see
// merge_image.h): each selection is read with load_image_file into
// g_hMergePreviewImage and drawn into the template's preview button; after
// OK the Merge window takes the preview over as its source; OK on a file
// that gives none is refused, with the reason, and the dialog stays for
// another. The chosen path goes to g_hMergePath with its stamp, which the
// edit record of the merge takes over.
#include "tools/merge_image.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "image/current_image.h"
#include "image/file_names.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "resources/resource.h"

static const int PATH_BLOCK = sizeof(((MergeSourceFile*)0)->path);

// The preview button's kept pixels of a metafile (metafile_view.h) go with
// the picture: a next file's may come under the same handle.
static void forget_preview_pixels(void)
{
    if (g_hwndMergeDialog)
        forget_metafile_views(GetDlgItem(g_hwndMergeDialog, IDC_MERGEIMAGE_PREVIEW));
}

// Frees the preview by its kind, its mask and its metafile bits.
static void free_preview(void)
{
    forget_preview_pixels();
    if (g_hMergePreviewImage) {
        forget_failed_metafiles(g_hMergePreviewImage);
        if (g_mergeKind == MERGE_EMF)
            DeleteEnhMetaFile((HENHMETAFILE)g_hMergePreviewImage);
        else if (g_mergeKind == MERGE_WMF || g_mergeKind == MERGE_PLACEABLE_WMF)
            DeleteMetaFile((HMETAFILE)g_hMergePreviewImage);
        else
            GlobalFree(g_hMergePreviewImage);
    }
    if (g_hMergeMask)
        GlobalFree(g_hMergeMask);
    if (g_hMergeBits)
        GlobalFree(g_hMergeBits);
    g_hMergePreviewImage = g_hMergeMask = g_hMergeBits = NULL;
    g_mergeKind = MERGE_NONE;
}

// The path with its stamp taken before the file is read: a file changed
// after the stamp, even while it is read, then no longer matches it.
static void set_stored_path(const char* path)
{
    MergeSourceFile* stored = g_hMergePath ? (MergeSourceFile*)GlobalLock(g_hMergePath) : NULL;
    if (stored) {
        lstrcpynA(stored->path, path, PATH_BLOCK);
        take_file_stamp(path, &stored->stamp);
        GlobalUnlock(g_hMergePath);
    }
}

// Whether the preview was read from the file at path, however either is
// spelled.
static bool stored_path_is(const char* path)
{
    MergeSourceFile* stored = g_hMergePath ? (MergeSourceFile*)GlobalLock(g_hMergePath) : NULL;
    bool same = stored && is_same_file(stored->path, path);
    if (stored)
        GlobalUnlock(g_hMergePath);
    return same;
}

static void redraw_preview(HWND hdlg)
{
    InvalidateRect(GetDlgItem(hdlg, IDC_MERGEIMAGE_PREVIEW), NULL, TRUE);
}

// Empties path unless it names a file (not a folder, not nothing).
static void keep_if_file(char path[PATH_BLOCK])
{
    DWORD attributes = path[0] ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        path[0] = '\0';
}

// The file selected in the dialog's list, empty when it names none.
static void chosen_path(HWND hdlg, char path[PATH_BLOCK])
{
    path[0] = '\0';
    LRESULT n = SendMessageA(GetParent(hdlg), CDM_GETFILEPATH, PATH_BLOCK, (LPARAM)path);
    if (n <= 0 || n > PATH_BLOCK)
        path[0] = '\0';
    keep_if_file(path);
}

// The file OK chose, as the dialog resolved it. The list's folder put
// before the typed text does not give it: a full path typed into the name
// box names no file in that folder.
static void accepted_path(const OPENFILENAMEA* ofn, char path[PATH_BLOCK])
{
    path[0] = '\0';
    // A longer name cut to fit could name another file.
    if (ofn && ofn->lpstrFile && strnlen(ofn->lpstrFile, PATH_BLOCK) < (size_t)PATH_BLOCK)
        lstrcpynA(path, ofn->lpstrFile, PATH_BLOCK);
    keep_if_file(path);
}

static void load_preview(HWND hdlg, const char* path)
{
    free_preview();
    set_stored_path(path);
    if (path[0])
        g_hMergePreviewImage = load_image_file(path);
    // Not every reader lays the preview out; the placement says the size.
    if (g_hMergePreviewImage)
        fit_image_rect(g_rcMerge.right - g_rcMerge.left, g_rcMerge.bottom - g_rcMerge.top, 1);
    redraw_preview(hdlg);
}

static void on_init_done(HWND hdlg)
{
    HWND open = GetParent(hdlg);
    RECT box, client;
    GetWindowRect(open, &box);
    GetClientRect(g_hwndMerge, &client);
    const int w = box.right - box.left, h = box.bottom - box.top;
    POINT at = {(client.right - w) / 2, (client.bottom - h) / 2};
    ClientToScreen(g_hwndMerge, &at);
    SetWindowPos(open, NULL, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    HWND preview = GetDlgItem(hdlg, IDC_MERGEIMAGE_PREVIEW);
    RECT r, open_client;
    GetWindowRect(preview, &r);
    MapWindowPoints(NULL, hdlg, (POINT*)&r, 2);
    GetClientRect(open, &open_client);
    const int side = r.bottom - r.top;
    POINT top = {0, (open_client.bottom - side) / 2};
    MapWindowPoints(open, hdlg, &top, 1);
    SetWindowPos(preview, NULL, r.left, top.y, side, side, SWP_NOZORDER);
}

// The preview's pixels composed at the source's own size over ground, with
// its mask (kinds 5 and 32); a cursor of 8 bits or fewer pixel by pixel.
static void compose_masked(HDC hdc, BITMAPINFOHEADER* src, BITMAPINFOHEADER* mask, COLORREF ground)
{
    const int w = src->biWidth, h = src->biHeight;
    RECT all = {0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(ground);
    FillRect(hdc, &all, brush);
    DeleteObject(brush);
    if (g_mergeKind == MERGE_ICON && g_iconIsCursor && src->biBitCount <= 8) {
        const uint32_t stride = dib_row_stride(w, src->biBitCount), mask_stride = dib_row_stride(w, 1);
        for (int row = 0; row < h && row < mask->biHeight; ++row)
            for (int x = 0; x < w && x < mask->biWidth; ++x) {
                const uint32_t index = dib_row_index(dib_pixels(src) + (size_t)row * stride, src->biBitCount, x);
                const bool set = dib_row_index(dib_pixels(mask) + (size_t)row * mask_stride, 1, x) != 0;
                const RGBQUAD q = dib_table_entry(src, index);
                const COLORREF c = !set ? RGB(q.rgbRed, q.rgbGreen, q.rgbBlue) : index == 0 ? 0xE0E0E0 : 0x606060;
                SetPixel(hdc, x, h - 1 - row, c);
            }
        return;
    }
    const DWORD ops[3] = {SRCINVERT, SRCAND, SRCINVERT};
    BITMAPINFOHEADER* layers[3] = {src, mask, src};
    for (int i = 0; i < 3; ++i)
        StretchDIBits(hdc, 0, 0, w, h, 0, 0, w, h, dib_pixels(layers[i]), (BITMAPINFO*)layers[i],
                      DIB_RGB_COLORS, ops[i]);
}

static void draw_bitmap_preview(HDC hdc, const RECT& fit)
{
    HGLOBAL shown = g_mergeKind == MERGE_PARTIAL_ALPHA && g_hMergeMask ? g_hMergeMask : g_hMergePreviewImage;
    if (!is_valid_packed_dib(shown))
        return;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(shown);
    BITMAPINFOHEADER* mask = NULL;
    if (g_mergeKind == MERGE_ICON || g_mergeKind == MERGE_ON_OFF_TRANSPARENCY)
        mask = is_valid_packed_dib(g_hMergeMask) ? (BITMAPINFOHEADER*)GlobalLock(g_hMergeMask) : NULL;
    SetStretchBltMode(hdc, HALFTONE);
    SetBrushOrgEx(hdc, 0, 0, NULL);
    HPALETTE palette = bih->biBitCount <= 8 ? create_dib_palette(bih, NULL) : NULL;
    HPALETTE old_palette = palette ? SelectPalette(hdc, palette, FALSE) : NULL;
    if (palette)
        RealizePalette(hdc);
    if (mask) {
        HDC composed = CreateCompatibleDC(hdc);
        HBITMAP canvas = composed ? CreateCompatibleBitmap(hdc, bih->biWidth, bih->biHeight) : NULL;
        if (canvas) {
            HGDIOBJ old = SelectObject(composed, canvas);
            compose_masked(composed, bih, mask, g_mergeKind == MERGE_ICON ? 0xE0E0E0 : 0xFFFFFF);
            StretchBlt(hdc, fit.left, fit.top, fit.right - fit.left, fit.bottom - fit.top, composed, 0, 0,
                       bih->biWidth, bih->biHeight, SRCCOPY);
            SelectObject(composed, old);
            DeleteObject(canvas);
        }
        if (composed)
            DeleteDC(composed);
        GlobalUnlock(g_hMergeMask);
    } else {
        StretchDIBits(hdc, fit.left, fit.top, fit.right - fit.left, fit.bottom - fit.top, 0, 0, bih->biWidth,
                      bih->biHeight, dib_pixels(bih), (BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
    }
    if (palette) {
        SelectPalette(hdc, old_palette, FALSE);
        DeleteObject(palette);
    }
    GlobalUnlock(shown);
}

// Plays the preview's metafile into frame (MetafileViewPlay).
static void draw_metafile_preview(HDC hdc, const RECT*, const RECT* frame, void*)
{
    const RECT& fit = *frame;
    if (g_mergeKind == MERGE_EMF) {
        play_emf(hdc, (HENHMETAFILE)g_hMergePreviewImage, &fit);
        return;
    }
    const int saved = SaveDC(hdc);
    // A plain one is scaled in too, in the picture it is merged as.
    SetMapMode(hdc, MM_ANISOTROPIC);
    if (g_mergeKind == MERGE_PLACEABLE_WMF) {
        SetWindowExtEx(hdc, g_rcMetafile.right - g_rcMetafile.left, g_rcMetafile.bottom - g_rcMetafile.top, NULL);
        SetWindowOrgEx(hdc, g_rcMetafile.left, g_rcMetafile.top, NULL);
    } else {
        map_placeable_box(hdc, NULL);
    }
    SetViewportExtEx(hdc, fit.right - fit.left, fit.bottom - fit.top, NULL);
    SetViewportOrgEx(hdc, fit.left, fit.top, NULL);
    play_wmf(hdc, (HMETAFILE)g_hMergePreviewImage);
    RestoreDC(hdc, saved);
}

static void on_draw_item(const DRAWITEMSTRUCT* item)
{
    const RECT& rc = item->rcItem;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC memory = CreateCompatibleDC(item->hDC);
    HBITMAP canvas = memory ? CreateCompatibleBitmap(item->hDC, w, h) : NULL;
    if (!canvas) {
        if (memory)
            DeleteDC(memory);
        return;
    }
    HGDIOBJ old_bitmap = SelectObject(memory, canvas);
    RECT all = {0, 0, w, h};
    FillRect(memory, &all, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old_pen = SelectObject(memory, GetStockObject(BLACK_PEN));
    HGDIOBJ old_brush = SelectObject(memory, GetStockObject(HOLLOW_BRUSH));
    const RECT fit = {g_mergePreviewX, g_mergePreviewY, g_mergePreviewX + g_mergePreviewW,
                      g_mergePreviewY + g_mergePreviewH};
    const bool shown = g_hMergePreviewImage && g_mergeKind != MERGE_NONE;
    if (!shown) {
        Rectangle(memory, 0, 0, w, h);
        Rectangle(memory, 2, 2, w - 2, h - 2);
    } else {
        Rectangle(memory, fit.left - 3, fit.top - 3, fit.right + 3, fit.bottom + 3);
        SelectObject(memory, GetStockObject(WHITE_BRUSH));
        Rectangle(memory, fit.left - 1, fit.top - 1, fit.right + 1, fit.bottom + 1);
        if (g_mergeKind != MERGE_WMF && g_mergeKind != MERGE_PLACEABLE_WMF && g_mergeKind != MERGE_EMF) {
            draw_bitmap_preview(memory, fit);
        } else {
            // From the button's kept pixels: a repaint plays nothing.
            MetafileView view = {item->hwndItem, g_hMergePreviewImage, fit, fit, 0,
                                 (HBRUSH)GetStockObject(WHITE_BRUSH)};
            draw_metafile_view(memory, &view, draw_metafile_preview, NULL);
        }
    }
    SelectObject(memory, old_brush);
    SelectObject(memory, old_pen);
    BitBlt(item->hDC, rc.left, rc.top, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old_bitmap);
    DeleteObject(canvas);
    DeleteDC(memory);
}

// The Open dialog's file list (a list view inside its shell view) has the
// focus: the file was taken from the list, not typed.
static bool file_list_has_focus(HWND hdlg)
{
    HWND focus = GetFocus();
    char name[32] = "";
    if (!focus || !IsChild(GetParent(hdlg), focus) || !GetClassNameA(focus, name, sizeof name))
        return false;
    return lstrcmpiA(name, WC_LISTVIEWA) == 0;
}

// OK on a file that gave no picture: the user is told why (by the reader's
// own box, else here) and the dialog stays open for another file.
static UINT_PTR refuse_file(HWND hdlg, const char* name, unsigned boxes_before)
{
    if (seam_message_box_count() == boxes_before) {
        char text[PATH_BLOCK + 20];
        snprintf(text, sizeof text, "Unable to read %s", name ? name : "");
        seam_message_box(GetParent(hdlg), text, "Merge Image", MB_OK | MB_ICONSTOP);
    }
    SetWindowLongPtrA(hdlg, DWLP_MSGRESULT, 1);
    return 1;
}

static UINT_PTR on_notify(HWND hdlg, const OFNOTIFYA* note)
{
    char path[PATH_BLOCK];
    switch (note->hdr.code) {
    case CDN_INITDONE:
        on_init_done(hdlg);
        return 0;
    case CDN_SELCHANGE:
        chosen_path(hdlg, path);
        load_preview(hdlg, path);
        return 0;
    case CDN_FOLDERCHANGE:
        load_preview(hdlg, "");
        return 0;
    case CDN_FILEOK: {
        accepted_path(note->lpOFN, path);
        const unsigned boxes = seam_message_box_count();
        const bool shown = g_hMergePreviewImage && stored_path_is(path);
        if (!shown)
            load_preview(hdlg, path);
        if (!g_hMergePreviewImage)
            return refuse_file(hdlg, path[0] ? path : note->lpOFN->lpstrFile, boxes);
        if (shown && file_list_has_focus(hdlg))
            seam_message_box(GetParent(hdlg), "Merging Image from File...", "Corvane Graphics' File Viewer", MB_OK);
        return 0;
    }
    }
    return 0;
}

UINT_PTR CALLBACK mergeimage_dlg_hook(HWND hdlg, UINT msg, WPARAM, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        g_hwndMergeDialog = hdlg;
        SendMessageA(GetParent(hdlg), CDM_SETCONTROLTEXT, IDOK, (LPARAM) "OK");
        if (g_hMergePath)
            GlobalFree(g_hMergePath);
        g_hMergePath = GlobalAlloc(GHND, sizeof(MergeSourceFile));
        g_hMergePreviewImage = NULL;
        g_hMergeMask = NULL;
        g_hMergeBits = NULL;
        g_mergeKind = MERGE_NONE;
        return 1;
    case WM_NOTIFY:
        return on_notify(hdlg, (const OFNOTIFYA*)lp);
    case WM_DRAWITEM:
        if (((const DRAWITEMSTRUCT*)lp)->CtlID == IDC_MERGEIMAGE_PREVIEW) {
            on_draw_item((const DRAWITEMSTRUCT*)lp);
            return 1;
        }
        return 0;
    case WM_DESTROY:
        forget_preview_pixels();
        g_hwndMergeDialog = NULL;
        return 0;
    }
    return 0;
}

void free_merge_preview(void)
{
    free_preview();
}
