// Kept pixels of the windows that show a metafile (see metafile_view.h).
// Pixels are kept per window, not per picture: a window that shows another
// picture or size replaces its own, so the memory held is bounded by the
// windows' areas.
#include "image/metafile_view.h"

#include "image/metafile.h"
#include "image/open_windows.h"
#include "image/section_dc.h"

#include <stdint.h>
#include <string.h>

// The preview, the image window, full screen, the slideshow, and room for
// a window that went without a word.
enum { MAX_KEPT_VIEWS = 6 };
// Largest area kept: 64 MB at 32 bits, more than a large screen.
#define MAX_KEPT_PIXELS (16u << 20)

struct KeptView {
    MetafileView view;
    LOGBRUSH background;  // the brush's look: a handle can be made anew with other colours
    HBITMAP pixels;       // DIB section of the area, owned here
    bool is_whole;        // the play that drew them was whole
    bool is_cut_elsewhere;  // a play of this window at another size was cut
};

static KeptView s_kept[MAX_KEPT_VIEWS];
static int s_keptCount;

static void describe_brush(HBRUSH brush, LOGBRUSH* look)
{
    memset(look, 0, sizeof *look);
    if (brush)
        GetObjectA(brush, sizeof *look, look);
}

static bool same_view(const KeptView* kept, const MetafileView* view, const LOGBRUSH* background)
{
    const MetafileView* v = &kept->view;
    return v->metafile == view->metafile && EqualRect(&v->area, &view->area) && EqualRect(&v->frame, &view->frame) &&
           v->layout == view->layout && !memcmp(&kept->background, background, sizeof *background);
}

static KeptView* find_window(HWND window)
{
    for (int i = 0; i < s_keptCount; ++i)
        if (s_kept[i].view.window == window)
            return &s_kept[i];
    return NULL;
}

// Kept pixels of the picture in any window.
static KeptView* find_picture(HANDLE metafile)
{
    for (int i = 0; i < s_keptCount; ++i)
        if (s_kept[i].view.metafile == metafile)
            return &s_kept[i];
    return NULL;
}

static void drop(int index)
{
    DeleteObject(s_kept[index].pixels);
    memmove(s_kept + index, s_kept + index + 1, sizeof *s_kept * (s_keptCount - index - 1));
    --s_keptCount;
}

void forget_metafile_views(HWND window)
{
    for (int i = s_keptCount - 1; i >= 0; --i)
        if (!window || s_kept[i].view.window == window)
            drop(i);
}

// Takes the pixels as the window's, in place of what it kept; a full
// table first gives up a window that is gone, else the oldest.
static void keep(const MetafileView* view, const LOGBRUSH* background, HBITMAP pixels, bool is_whole)
{
    forget_metafile_views(view->window);
    for (int i = s_keptCount - 1; i >= 0 && s_keptCount == MAX_KEPT_VIEWS; --i)
        if (!IsWindow(s_kept[i].view.window))
            drop(i);
    if (s_keptCount == MAX_KEPT_VIEWS)
        drop(0);
    KeptView* k = &s_kept[s_keptCount++];
    k->view = *view;
    k->background = *background;
    k->pixels = pixels;
    k->is_whole = is_whole;
    k->is_cut_elsewhere = false;
}

static void blit_kept(HDC dc, const KeptView* kept)
{
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
        return;
    HGDIOBJ old = SelectObject(memory, kept->pixels);
    const RECT* a = &kept->view.area;
    BitBlt(dc, a->left, a->top, a->right - a->left, a->bottom - a->top, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// Plays into fresh pixels of the area over the window's background; null
// when they cannot be had.
static HBITMAP play_into_pixels(HDC dc, const MetafileView* view, MetafileViewPlay play, void* data)
{
    const RECT* a = &view->area;
    const LONG width = a->right - a->left, height = a->bottom - a->top;
    if ((uint64_t)width * height > MAX_KEPT_PIXELS)
        return NULL;
    BITMAPINFO bi;
    describe_top_down_pixels(&bi, width, height);
    void* bits = NULL;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP pixels = memory ? CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    if (pixels) {
        HGDIOBJ old = SelectObject(memory, pixels);
        // The window's patterns start at its own origin, not the area's.
        POINT origin = {0, 0};
        GetBrushOrgEx(dc, &origin);
        SetBrushOrgEx(memory, origin.x - a->left, origin.y - a->top, NULL);
        RECT whole = {0, 0, width, height};
        FillRect(memory, &whole, view->background ? view->background : (HBRUSH)GetStockObject(WHITE_BRUSH));
        RECT frame = view->frame;
        OffsetRect(&frame, -a->left, -a->top);
        play(memory, &whole, &frame, data);
        GdiFlush();
        SelectObject(memory, old);
    }
    if (memory)
        DeleteDC(memory);
    return pixels;
}

// a * num / den in 64 bits.
static LONG scale(LONG a, LONG num, LONG den)
{
    return den ? (LONG)((int64_t)a * num / den) : a;
}

// The kept pixels of a cut picture over the view's background, stretched
// so that their frame lands on the view's frame.
static void show_scaled(HDC dc, const KeptView* kept, const MetafileView* view)
{
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
        return;
    const RECT* a = &view->area;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, a->left, a->top, a->right, a->bottom);
    FillRect(dc, a, view->background ? view->background : (HBRUSH)GetStockObject(WHITE_BRUSH));
    const RECT* from = &kept->view.frame;
    const RECT* to = &view->frame;
    const RECT* old_area = &kept->view.area;
    LONG from_w = from->right - from->left, from_h = from->bottom - from->top;
    LONG to_w = to->right - to->left, to_h = to->bottom - to->top;
    RECT d = {to->left + scale(old_area->left - from->left, to_w, from_w),
              to->top + scale(old_area->top - from->top, to_h, from_h),
              to->left + scale(old_area->right - from->left, to_w, from_w),
              to->top + scale(old_area->bottom - from->top, to_h, from_h)};
    HGDIOBJ old = SelectObject(memory, kept->pixels);
    POINT origin;
    GetBrushOrgEx(dc, &origin);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, origin.x, origin.y, NULL);
    StretchBlt(dc, d.left, d.top, d.right - d.left, d.bottom - d.top, memory, 0, 0, old_area->right - old_area->left,
               old_area->bottom - old_area->top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    RestoreDC(dc, saved);
}

// Whether the cover, a window of the program over the whole screen, lies
// over all of the window that is on the screen (a maximised window's frame
// lies past its edges), and above it.
static bool is_covered_by(HWND window, HWND cover)
{
    HWND root = GetAncestor(window, GA_ROOT);
    if (!is_window_open(cover) || !IsWindowVisible(cover) || cover == root)
        return false;
    RECT covered, over, both;
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    GetWindowRect(window, &covered);
    GetWindowRect(cover, &over);
    if (!IntersectRect(&covered, &covered, &screen))
        return true;
    UnionRect(&both, &over, &covered);
    if (!EqualRect(&both, &over))
        return false;
    for (HWND below = GetWindow(cover, GW_HWNDNEXT); below; below = GetWindow(below, GW_HWNDNEXT))
        if (below == root)
            return true;
    return false;
}

// Whether no one sees the window: it is not shown, or it lies under the
// slideshow or the full-screen window. A covered window's clip box does not
// always shrink (under Wine it does not), and a play there would be a
// second play of every picture, seen by no one; the end of either window
// repaints the windows under it.
static bool is_out_of_sight(HWND window)
{
    if (!window)
        return false;
    return !IsWindowVisible(window) || is_covered_by(window, g_hwndSlide) || is_covered_by(window, g_hwndFull);
}

void draw_metafile_view(HDC dc, const MetafileView* view, MetafileViewPlay play, void* data)
{
    const RECT* a = &view->area;
    RECT clip, seen;
    if (!view->metafile || a->right <= a->left || a->bottom <= a->top)
        return;
    // Nothing of the area can be seen: nothing to play for.
    if (GetClipBox(dc, &clip) == NULLREGION || !IntersectRect(&seen, &clip, a))
        return;
    LOGBRUSH background;
    describe_brush(view->background, &background);
    KeptView* kept = find_window(view->window);
    if (kept && same_view(kept, view, &background)) {
        blit_kept(dc, kept);
        return;
    }
    if (is_out_of_sight(view->window))
        return;
    KeptView* left = kept && kept->view.metafile == view->metafile ? kept : find_picture(view->metafile);
    // A cut picture is not played again, nor is one at a new size of this
    // window once such a play was cut: what it left is shown instead.
    const bool is_own_whole = left == kept && kept && kept->is_whole;
    if (left && (metafile_play_failed(view->metafile) || (is_own_whole && kept->is_cut_elsewhere))) {
        show_scaled(dc, left, view);
        return;
    }
    HBITMAP pixels;
    if (is_own_whole) {
        // The window shows the picture whole: a cut play at the new size
        // would show less, so the whole one stays, scaled, and nothing is
        // said.
        TrialPlays trial;
        pixels = play_into_pixels(dc, view, play, data);
        if (trial.is_cut()) {
            if (pixels)
                DeleteObject(pixels);
            kept->is_cut_elsewhere = true;
            show_scaled(dc, kept, view);
            return;
        }
    } else {
        pixels = play_into_pixels(dc, view, play, data);
    }
    if (!pixels) {
        play(dc, &view->area, &view->frame, data);
        return;
    }
    keep(view, &background, pixels, !metafile_play_failed(view->metafile));
    blit_kept(dc, find_window(view->window));
}

// ---- a picture laid over other pixels

struct KeptLayer {
    HANDLE metafile;
    RECT area, frame;  // moved so that the area's top-left is (0, 0)
    HBITMAP differs;     // played over white XOR played over black; owned here
    HBITMAP over_black;  // played over black; owned here
    bool is_whole;
};

static KeptLayer s_layer;

void forget_metafile_layer(void)
{
    if (s_layer.differs)
        DeleteObject(s_layer.differs);
    if (s_layer.over_black)
        DeleteObject(s_layer.over_black);
    memset(&s_layer, 0, sizeof s_layer);
}

// dst = dst op pixels, over width x height from (x, y) of dst.
static void blit_op(HDC dst, int x, int y, LONG width, LONG height, HBITMAP pixels, DWORD op)
{
    HDC memory = CreateCompatibleDC(dst);
    if (!memory)
        return;
    HGDIOBJ old = SelectObject(memory, pixels);
    BitBlt(dst, x, y, width, height, memory, 0, 0, op);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// Plays the picture into the area twice, over white and over black, and
// keeps both; false when no pixels could be had. area is at (0, 0).
static bool keep_layer(HDC dc, HANDLE metafile, const RECT* area, const RECT* frame, MetafileViewPlay play,
                       void* data)
{
    const LONG width = area->right, height = area->bottom;
    MetafileView view = {NULL, metafile, *area, *frame, 0, (HBRUSH)GetStockObject(WHITE_BRUSH)};
    HBITMAP white = play_into_pixels(dc, &view, play, data);
    if (!white)
        return false;
    const bool is_whole = !metafile_play_failed(metafile);
    HBITMAP black = NULL;
    if (is_whole) {
        // Drawn whole once: should the second play be cut, the first is
        // laid on as it is.
        TrialPlays trial;
        view.background = (HBRUSH)GetStockObject(BLACK_BRUSH);
        black = play_into_pixels(dc, &view, play, data);
        if (black && trial.is_cut()) {
            DeleteObject(black);
            black = NULL;
        }
    }
    if (black) {
        HDC memory = CreateCompatibleDC(dc);
        if (!memory) {
            DeleteObject(white);
            DeleteObject(black);
            return false;
        }
        HGDIOBJ old = SelectObject(memory, white);
        blit_op(memory, 0, 0, width, height, black, SRCINVERT);
        SelectObject(memory, old);
        DeleteDC(memory);
        s_layer.differs = white;
        s_layer.over_black = black;
    } else {
        // Played over white only: what it drew is laid on as it is (no
        // pixel differs).
        BITMAPINFO bi;
        describe_top_down_pixels(&bi, width, height);
        void* bits = NULL;
        s_layer.differs = CreateDIBSection(NULL, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
        s_layer.over_black = white;
        if (!s_layer.differs) {
            forget_metafile_layer();
            return false;
        }
    }
    s_layer.metafile = metafile;
    s_layer.area = *area;
    s_layer.frame = *frame;
    s_layer.is_whole = is_whole;
    return true;
}

int draw_metafile_layer(HDC dc, HANDLE metafile, const RECT* area, const RECT* frame, MetafileViewPlay play,
                        void* data)
{
    const LONG width = area->right - area->left, height = area->bottom - area->top;
    if (!metafile || width < 1 || height < 1)
        return 0;
    RECT at = {0, 0, width, height}, frame_at = *frame;
    OffsetRect(&frame_at, -area->left, -area->top);
    if (s_layer.metafile != metafile || !EqualRect(&s_layer.area, &at) || !EqualRect(&s_layer.frame, &frame_at)) {
        forget_metafile_layer();
        if (metafile_play_failed(metafile))
            return 0;
        if (!keep_layer(dc, metafile, &at, &frame_at, play, data)) {
            const int saved = SaveDC(dc);
            IntersectClipRect(dc, area->left, area->top, area->right, area->bottom);
            play(dc, area, frame, data);
            RestoreDC(dc, saved);
            return !metafile_play_failed(metafile);
        }
    }
    // Bit by bit, a play gives what it drew over white where what lay
    // under it was 1 and what it drew over black where it was 0.
    blit_op(dc, area->left, area->top, width, height, s_layer.differs, SRCAND);
    blit_op(dc, area->left, area->top, width, height, s_layer.over_black, SRCINVERT);
    return s_layer.is_whole;
}
