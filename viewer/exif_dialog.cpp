// The EXIF dialog ("EXIF" in the resources). The text and the thumbnail
// are drawn into two disabled owner-drawn buttons; the thumbnail at its own
// size, so a larger one is clipped, not scaled.
#include "viewer/exif_dialog.h"

#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/palette.h"
#include "image/packed_dib.h"
#include "image/seams.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "tools/color_reduce.h"
#include "tools/quarter_turns.h"

// Orientation word that brings a picture stored with Exif orientation 1 to 8
// upright.
static int upright_state(int orientation)
{
    static const int STATES[9] = {0, 0, 1, 4, 5, 7, 6, 3, 2};
    return orientation >= 1 && orientation <= 8 ? STATES[orientation] : 0;
}

static int has_app12_text(void)
{
    const char* text = g_hApp12Text ? (const char*)GlobalLock(g_hApp12Text) : NULL;
    if (!text)
        return 0;
    int has = text[0] != 0;
    GlobalUnlock(g_hApp12Text);
    return has;
}

static INT_PTR exif_on_initdialog(HWND dialog, const char* path)
{
    int batch = is_window_open(g_hwndBatch);
    if (batch || !has_app12_text())
        ShowWindow(GetDlgItem(dialog, IDC_EXIF_MORE_INFO), SW_HIDE);
    if (!batch) {
        SetWindowTextA(dialog, g_fileName);
    } else if (path && path[0]) {
        // The batch passes the folder and the list entry: show the entry.
        const char* name = path;
        for (const char* p = path; *p; ++p)
            if (*p == '\\' || *p == '/')
                name = p + 1;
        SetWindowTextA(dialog, name);
    }
    int state = upright_state(g_exifOrientation);
    if (g_hExifThumbnail && state)
        apply_orientation_normalize(&g_hExifThumbnail, &state);
    return 1;
}

static void draw_thumbnail(HWND dialog, HDC dc)
{
    if (seam_display_bits() == 8) {
        HGLOBAL full_colour = NULL;
        reduce_colors(&g_hExifThumbnail, &full_colour, 257, KIND_DIB, 0, 1);
        if (full_colour)
            GlobalFree(full_colour);
    }
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hExifThumbnail);
    if (!bih)
        return;
    HPALETTE palette = create_dib_palette(bih, dialog);
    HPALETTE old_palette = NULL;
    if (palette) {
        old_palette = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    StretchDIBits(dc, 0, 0, bih->biWidth, bih->biHeight, 0, 0, bih->biWidth, bih->biHeight,
                  dib_pixels(bih), (BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
    if (palette) {
        SelectPalette(dc, old_palette, FALSE);
        DeleteObject(palette);
    }
    GlobalUnlock(g_hExifThumbnail);
}

static INT_PTR exif_on_drawitem(HWND dialog, const DRAWITEMSTRUCT* item)
{
    if (item->CtlID == IDC_EXIF_TEXT) {
        const char* text = g_hExifInfo ? (const char*)GlobalLock(g_hExifInfo) : NULL;
        if (text) {
            RECT area = item->rcItem;
            DrawTextA(item->hDC, text, -1, &area, 0);
            GlobalUnlock(g_hExifInfo);
        }
        return 1;
    }
    if (item->CtlID == IDC_EXIF_THUMBNAIL) {
        if (g_hExifThumbnail)
            draw_thumbnail(dialog, item->hDC);
        return 1;
    }
    return 0;
}

static INT_PTR exif_on_command(HWND dialog, int id)
{
    if (id == IDOK || id == IDCANCEL) {
        release_exif_data();
        EndDialog(dialog, id);
        return 1;
    }
    if (id == IDC_EXIF_MORE_INFO) {
        const char* text = g_hApp12Text ? (const char*)GlobalLock(g_hApp12Text) : NULL;
        if (text) {
            seam_message_box(NULL, text, g_fileName, MB_OKCANCEL);
            GlobalUnlock(g_hApp12Text);
        }
        return 1;
    }
    return 0;
}

INT_PTR CALLBACK exif_dlg_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return exif_on_initdialog(dialog, (const char*)lp);
    case WM_DRAWITEM:
        return exif_on_drawitem(dialog, (const DRAWITEMSTRUCT*)lp);
    case WM_COMMAND:
        return exif_on_command(dialog, LOWORD(wp));
    }
    return 0;
}
