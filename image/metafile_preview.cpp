// The painters of the current metafile (see metafile_preview.h).
#include "image/metafile_preview.h"

#include "image/background.h"
#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "image/progress.h"

static HBRUSH button_face_brush(void)
{
    return g_hbrButtonFace ? g_hbrButtonFace : GetSysColorBrush(COLOR_BTNFACE);
}

// The current file's placeable box, or null: the box is in the file's own
// units, and a metafile that sets no window of its own is drawn in it.
static const WmfPlaceableHeader* current_placeable_box(void)
{
    return g_wmfHasPlaceable ? &g_wmfPlaceableHeader : NULL;
}

static int play_once(HWND hwnd, HDC hdc)
{
    if (g_wmfFirstPlay) {
        g_wmfFirstPlay = 0;
        return play_wmf_records(hwnd, hdc, (HMETAFILE)g_hImage);
    }
    return play_wmf(hdc, (HMETAFILE)g_hImage);
}

int play_wmf_in_rect(HWND hwnd, HDC hdc, int32_t area_width, int32_t area_height,
                     int32_t picture_width, int32_t picture_height, uint32_t tile)
{
    // The shrinking below would never end on an empty area.
    if (area_width < 1 || area_height < 1 || !g_hImage)
        return 1;
    int64_t w = picture_width;
    int64_t h = picture_height;
    while (w >= area_width || h >= area_height) {
        w = w * 9 / 10;
        h = h * 9 / 10;
    }
    if (w < 1)
        w = 1;
    if (h < 1)
        h = 1;

    if (tile) {
        // Played once and copied to every tile.
        int64_t columns = area_width / w;
        int64_t rows = area_height / h;
        int with_progress = g_wmfFirstPlay;
        g_wmfFirstPlay = 0;
        return play_metafile_tiled(hdc, g_hImage, 0, current_placeable_box(), with_progress,
                                   (int)((area_width - columns * w) / 2), (int)((area_height - rows * h) / 2),
                                   (int)w, (int)h, (int)columns, (int)rows);
    }
    POINT old_origin, old_window_origin;
    SIZE old_extent, old_window_extent;
    int old_mode = SetMapMode(hdc, MM_ANISOTROPIC);
    GetViewportOrgEx(hdc, &old_origin);
    GetWindowOrgEx(hdc, &old_window_origin);
    GetWindowExtEx(hdc, &old_window_extent);
    map_placeable_box(hdc, current_placeable_box());
    SetViewportExtEx(hdc, (int)w, (int)h, &old_extent);
    SetViewportOrgEx(hdc, (int)((area_width - w) / 2), (int)((area_height - h) / 2), NULL);
    int whole = play_once(hwnd, hdc);
    SetViewportOrgEx(hdc, old_origin.x, old_origin.y, NULL);
    SetWindowOrgEx(hdc, old_window_origin.x, old_window_origin.y, NULL);
    SetWindowExtEx(hdc, old_window_extent.cx, old_window_extent.cy, NULL);
    SetViewportExtEx(hdc, old_extent.cx, old_extent.cy, NULL);
    SetMapMode(hdc, old_mode);
    return whole;
}

// Plays the current metafile into dest of hdc, clipped to it.
static void play_in_preview_rect(HWND owner, HDC hdc, const RECT* dest, uint32_t with_progress)
{
    // Records may draw anywhere; nothing may pass the frame lines.
    int saved = SaveDC(hdc);
    IntersectClipRect(hdc, dest->left, dest->top, dest->right, dest->bottom);
    if (g_imageKind == KIND_EMF) {
        play_emf(hdc, (HENHMETAFILE)g_hImage, dest);
    } else {
        // A plain one too is scaled into the view, in the picture it is
        // converted as.
        SetMapMode(hdc, MM_ANISOTROPIC);
        map_placeable_box(hdc, current_placeable_box());
        SetViewportExtEx(hdc, dest->right - dest->left, dest->bottom - dest->top, NULL);
        SetViewportOrgEx(hdc, dest->left, dest->top, NULL);
        if (with_progress)
            play_wmf_records(owner, hdc, (HMETAFILE)g_hImage);
        else
            play_wmf(hdc, (HMETAFILE)g_hImage);
    }
    RestoreDC(hdc, saved);
}

static bool shows_metafile(void)
{
    return g_hImage && (g_imageKind == KIND_WMF || g_imageKind == KIND_EMF);
}

static RECT preview_image_rect(void)
{
    RECT r = {g_animDestX, g_animDestY, g_animDestX + g_animDestWidth, g_animDestY + g_animDestHeight};
    return r;
}

void play_metafile_in_preview(HWND owner, HDC hdc, uint32_t with_progress)
{
    if (!shows_metafile())
        return;
    RECT r = preview_image_rect();
    play_in_preview_rect(owner, hdc, &r, with_progress);
}

struct PreviewPlay {
    HWND owner;
    uint32_t with_progress;
};

static void play_preview_view(HDC dc, const RECT* area, const RECT*, void* data)
{
    const PreviewPlay* p = (const PreviewPlay*)data;
    play_in_preview_rect(p->owner, dc, area, p->with_progress);
}

void show_metafile_in_preview(HWND owner, HDC hdc, uint32_t with_progress)
{
    if (!shows_metafile())
        return;
    RECT r = preview_image_rect();
    MetafileView view = {g_hwndPreview, g_hImage, r, r, 0,
                         g_hBackgroundBrush ? g_hBackgroundBrush : button_face_brush()};
    PreviewPlay play = {owner, with_progress};
    draw_metafile_view(hdc, &view, play_preview_view, &play);
}
