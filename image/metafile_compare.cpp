// The comparison of a conversion's result with its source (see
// metafile_compare.h).
#include "image/metafile_compare.h"

#include "image/metafile_play.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// The colour of the canvas the plays are made on: one drawings hardly use,
// so that a gap between two shapes, where the canvas shows, is told from a
// line or shape of the drawing's own.
static const uint32_t CANVAS = 0x0B1D2F;

bool begin_comparison_play(ComparisonPlay* play, LONG width, LONG height)
{
    memset(play, 0, sizeof *play);
    DIBSECTION section;
    play->dc = section_dc(&play->area, NULL, width, height, 0);
    if (!play->dc || GetObjectA(play->area.bitmap, sizeof section, &section) != sizeof section)
        return false;
    uint32_t* canvas = (uint32_t*)section.dsBm.bmBits;
    for (size_t i = 0; i < (size_t)width * height; ++i)
        canvas[i] = CANVAS;
    play->pixels = canvas;
    play->width = width;
    play->height = height;
    return true;
}

void end_comparison_play(ComparisonPlay* play)
{
    release_section_dc(&play->area);
    memset(play, 0, sizeof *play);
}

// value * num / den, rounded, in 64 bits.
static int64_t scaled(int64_t value, int64_t num, int64_t den)
{
    return den > 0 ? (value * num + den / 2) / den : 0;
}

SIZE frame_device_size(const RECT* frame, HDC reference)
{
    int64_t across = (int64_t)frame->right - frame->left, down = (int64_t)frame->bottom - frame->top;
    across = scaled(across < 0 ? -across : across, GetDeviceCaps(reference, HORZRES),
                    (int64_t)GetDeviceCaps(reference, HORZSIZE) * 100);
    down = scaled(down < 0 ? -down : down, GetDeviceCaps(reference, VERTRES),
                  (int64_t)GetDeviceCaps(reference, VERTSIZE) * 100);
    SIZE size = {(LONG)(across > INT32_MAX ? INT32_MAX : across), (LONG)(down > INT32_MAX ? INT32_MAX : down)};
    return size;
}

SIZE comparison_size(const RECT* frame, HDC reference)
{
    SIZE device = frame_device_size(frame, reference);
    int64_t across = device.cx, down = device.cy;
    int64_t larger = across > down ? across : down;
    if (larger > MAX_COMPARISON_SIDE) {
        across = scaled(across, MAX_COMPARISON_SIDE, larger);
        down = scaled(down, MAX_COMPARISON_SIDE, larger);
    }
    SIZE size = {(LONG)(across < 1 ? 1 : across), (LONG)(down < 1 ? 1 : down)};
    return size;
}

bool play_emf_for_comparison(ComparisonPlay* play, HENHMETAFILE emf)
{
    RECT whole = {0, 0, play->width, play->height};
    bool is_whole = play_emf_measuring_units(play->dc, emf, &whole, &play->unit_pixels);
    GdiFlush();
    return is_whole;
}

bool play_wmf_for_comparison(ComparisonPlay* play, HMETAFILE wmf, int map_mode, const RECT* window)
{
    SetMapMode(play->dc, map_mode);
    if (map_mode == MM_ISOTROPIC || map_mode == MM_ANISOTROPIC) {
        LONG width = window->right - window->left, height = window->bottom - window->top;
        SetWindowOrgEx(play->dc, window->left, window->top, NULL);
        SetWindowExtEx(play->dc, width ? width : 1, height ? height : 1, NULL);
        SetViewportExtEx(play->dc, play->width, play->height, NULL);
    }
    bool is_whole = play_wmf_measuring_units(play->dc, wmf, &play->unit_pixels);
    GdiFlush();
    return is_whole;
}

static uint32_t colour_at(const ComparisonPlay* play, LONG x, LONG y)
{
    return play->pixels[(size_t)y * play->width + x] & 0xFFFFFF;
}

// Whether b has a colour other than colour at (x, y) or around it, or
// (x, y) lies on b's border: an edge of what b drew, or of the picture.
static bool has_edge_at(const ComparisonPlay* b, LONG x, LONG y, uint32_t colour)
{
    if (x == 0 || y == 0 || x + 1 == b->width || y + 1 == b->height)
        return true;
    for (LONG v = y - 1; v <= y + 1; ++v)
        for (LONG u = x - 1; u <= x + 1; ++u)
            if (colour_at(b, u, v) != colour)
                return true;
    return false;
}

// Whether play has colour within distance pixels of (x, y), looked for in
// rings from the nearest out: most edges moved by rounding are found a
// pixel away, and the search costs little more than that.
static bool has_colour_near(const ComparisonPlay* play, LONG x, LONG y, uint32_t colour, LONG distance)
{
    for (LONG r = 1; r <= distance; ++r) {
        LONG top = y - r, bottom = y + r, left = x - r, right = x + r;
        for (LONG u = left > 0 ? left : 0; u <= right && u < play->width; ++u)
            if ((top >= 0 && colour_at(play, u, top) == colour) ||
                (bottom < play->height && colour_at(play, u, bottom) == colour))
                return true;
        for (LONG v = top + 1 > 0 ? top + 1 : 0; v < bottom && v < play->height; ++v)
            if ((left >= 0 && colour_at(play, left, v) == colour) ||
                (right < play->width && colour_at(play, right, v) == colour))
                return true;
    }
    return false;
}

// How far an edge of one play may lie from the other's: a pixel, one more
// for every 64 of the larger side, and the device size of the coarsest
// logical unit either play drew in, up to a 32nd of that side. The
// system's conversions round the frame and the reference device's size in
// millimetres, which scales a picture by some parts in a thousand, and
// each coordinate to units of their own (a shape's far edge is taken in
// or left out by the two kinds), which moves an edge by up to a unit.
static LONG edge_slack(const ComparisonPlay* a, const ComparisonPlay* b)
{
    LONG larger = a->width > a->height ? a->width : a->height;
    double unit = a->unit_pixels > b->unit_pixels ? a->unit_pixels : b->unit_pixels;
    double most = larger / 32.0;
    return 1 + larger / 64 + (LONG)(unit < most ? unit + 0.999 : most);
}

// Whether the pixel at (x, y) of a is matched in b: b has its colour there
// or near it (an edge moved by the slack); or it lies in a gap a pixel
// wide between two things a drew (or a thing and the picture's border),
// where b, rounding them a pixel wider, draws one of them and shows an
// edge. A line a drew that b lost lies over something even in b.
static bool is_matched(const ComparisonPlay* a, const ComparisonPlay* b, LONG x, LONG y, LONG slack)
{
    const uint32_t colour = colour_at(a, x, y);
    if (has_colour_near(b, x, y, colour, slack))
        return true;
    // Canvas along the border, where the other play's rounding drew on.
    if (colour == CANVAS && (x < slack || y < slack || x >= a->width - slack || y >= a->height - slack))
        return true;
    const uint32_t there = colour_at(b, x, y);
    if (!has_edge_at(b, x, y, there))
        return false;
    // The neighbours of the gap on either side, across, down and aslant
    // (where two gaps meet); past the border, none.
    const LONG steps[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
    for (const auto& step : steps) {
        LONG x0 = x - step[0], y0 = y - step[1], x1 = x + step[0], y1 = y + step[1];
        bool has0 = x0 >= 0 && y0 >= 0 && y0 < a->height, has1 = x1 < a->width && y1 >= 0 && y1 < a->height;
        uint32_t c0 = has0 ? colour_at(a, x0, y0) : there, c1 = has1 ? colour_at(a, x1, y1) : there;
        if (c0 != colour && c1 != colour && (c0 == there || c1 == there))
            return true;
    }
    return false;
}

bool comparison_plays_match(const ComparisonPlay* a, const ComparisonPlay* b)
{
    if (a->width != b->width || a->height != b->height)
        return false;
    const LONG slack = edge_slack(a, b);
    // A speck the rounding of a shape below a pixel drew in one play only.
    const uint64_t specks = (uint64_t)a->width * a->height / 10000 + 4;
    uint64_t unmatched = 0;
    for (LONG y = 0; y < a->height && unmatched <= specks; ++y) {
        const uint32_t* row_a = a->pixels + (size_t)y * a->width;
        const uint32_t* row_b = b->pixels + (size_t)y * b->width;
        for (LONG x = 0; x < a->width && unmatched <= specks; ++x) {
            if (((row_a[x] ^ row_b[x]) & 0xFFFFFF) == 0)
                continue;
            if (!is_matched(a, b, x, y, slack) || !is_matched(b, a, x, y, slack))
                ++unmatched;
        }
    }
    return unmatched <= specks;
}
