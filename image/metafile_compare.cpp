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
    } else if (larger < MIN_COMPARISON_SIDE) {
        // The preview fits a small picture to its square, and a frame of
        // no size is shown as the square.
        across = larger ? scaled(across, MIN_COMPARISON_SIDE, larger) : MIN_COMPARISON_SIDE;
        down = larger ? scaled(down, MIN_COMPARISON_SIDE, larger) : MIN_COMPARISON_SIDE;
    }
    SIZE size = {(LONG)(across < 1 ? 1 : across), (LONG)(down < 1 ? 1 : down)};
    return size;
}

bool frame_shows_extent(const RECT* frame, const RECT* extent, HDC reference)
{
    const SIZE shown = frame_device_size(frame, reference), wanted = frame_device_size(extent, reference);
    return shown.cx >= wanted.cx - 1 && shown.cx <= wanted.cx + 1 && shown.cy >= wanted.cy - 1 &&
           shown.cy <= wanted.cy + 1;
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

static bool is_inside(const ComparisonPlay* play, LONG x, LONG y)
{
    return x >= 0 && y >= 0 && x < play->width && y < play->height;
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

// Largest part of a slack that the picture's unit gives, in pixels: a unit
// coarser than this is a picture drawn in few units, whose rounding moves
// no edge further.
enum { MAX_UNIT_SLACK = 16 };

// How far an edge of one play may lie from the other's: a pixel of
// rounding, and the device size of the coarsest logical unit either play
// drew in (each kind rounds a coordinate to units of its own, and a
// shape's far edge is taken in or left out by the two kinds), at most
// MAX_UNIT_SLACK. Neither grows with the picture: a shape moved or lost
// is as far from its place in a large picture as in a small one.
static LONG edge_slack(const ComparisonPlay* a, const ComparisonPlay* b)
{
    double unit = a->unit_pixels > b->unit_pixels ? a->unit_pixels : b->unit_pixels;
    return 1 + (unit >= MAX_UNIT_SLACK ? (LONG)MAX_UNIT_SLACK : (LONG)(unit + 0.999));
}

// How far, in each of red, green and blue, a shade on an edge may lie from
// a mix of two colours of the other play: smoothing rounds its mix.
enum { SHADE_TOLERANCE = 24 };
// How far the two colours of a shade are looked for: a smoothed edge mixes
// what lies a pixel or two from it, whatever the picture's unit.
enum { SHADE_REACH = 2 };

// Whether colour c lies between colours p and q: a mix of the two, within
// the tolerance.
static bool is_mix_of(uint32_t c, uint32_t p, uint32_t q)
{
    double pc[3], pq[3], along = 0, length = 0;
    for (int i = 0; i < 3; ++i) {
        const int shift = 8 * i;
        pc[i] = (double)((c >> shift) & 0xFF) - ((p >> shift) & 0xFF);
        pq[i] = (double)((q >> shift) & 0xFF) - ((p >> shift) & 0xFF);
        along += pc[i] * pq[i];
        length += pq[i] * pq[i];
    }
    double t = length > 0 ? along / length : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    double off = 0;
    for (int i = 0; i < 3; ++i)
        off += (pc[i] - t * pq[i]) * (pc[i] - t * pq[i]);
    return off <= 3.0 * SHADE_TOLERANCE * SHADE_TOLERANCE;
}

// Whether colour is a shade between two colours that play has within
// distance of (x, y): a smoothed edge (a glyph's, a curve's) whose mix the
// other play rounded otherwise.
static bool is_shade_near(const ComparisonPlay* play, LONG x, LONG y, uint32_t colour, LONG distance)
{
    enum { MOST_COLOURS = 24 };
    uint32_t found[MOST_COLOURS];
    int count = 0;
    for (LONG v = y - distance; v <= y + distance; ++v)
        for (LONG u = x - distance; u <= x + distance && count < MOST_COLOURS; ++u) {
            if (!is_inside(play, u, v))
                continue;
            const uint32_t c = colour_at(play, u, v);
            int i = 0;
            while (i < count && found[i] != c)
                ++i;
            if (i < count)
                continue;
            for (int j = 0; j < count; ++j)
                if (is_mix_of(colour, found[j], c))
                    return true;
            found[count++] = c;
        }
    return false;
}

// Whether colour, at (x, y) of play, is a shade between two other colours
// beside it: a pixel of a smoothed edge, whose mix each play rounds its
// own way, not a plain colour of its own.
static bool is_shade_among(const ComparisonPlay* play, LONG x, LONG y, uint32_t colour)
{
    uint32_t found[9];
    int count = 0;
    for (LONG v = y - 1; v <= y + 1; ++v)
        for (LONG u = x - 1; u <= x + 1; ++u) {
            if (!is_inside(play, u, v))
                continue;
            const uint32_t c = colour_at(play, u, v);
            if (c == colour)
                continue;
            for (int j = 0; j < count; ++j)
                if (found[j] != c && is_mix_of(colour, found[j], c))
                    return true;
            found[count++] = c;
        }
    return false;
}

// Whether a shows a thing a pixel thin at (x, y), across one of the four
// directions, that b lacks: a's pixels on either side have b's colour
// there, and b has a's colour neither there nor a pixel either way, though
// b has it beside (a plain colour, not a shade of smoothing). A dot or gap
// of a dash pattern drawn solid is such a thing, though a like colour lies
// within the slack; a line a pixel off is not.
static bool loses_thin_thing(const ComparisonPlay* a, const ComparisonPlay* b, LONG x, LONG y)
{
    const uint32_t colour = colour_at(a, x, y), there = colour_at(b, x, y);
    const LONG steps[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
    for (const auto& step : steps) {
        LONG x0 = x - step[0], y0 = y - step[1], x1 = x + step[0], y1 = y + step[1];
        if (!is_inside(a, x0, y0) || !is_inside(a, x1, y1))
            continue;
        if (colour_at(a, x0, y0) != there || colour_at(a, x1, y1) != there)
            continue;
        if (colour_at(b, x0, y0) != colour && colour_at(b, x1, y1) != colour)
            return has_colour_near(b, x, y, colour, 1) && !is_shade_among(a, x, y, colour);
    }
    return false;
}

// Whether one play shows at (x, y) a gap a pixel wide in a line that the
// other draws whole: each shows a thin thing the other lacks there, the
// one a gap along the line, the other the line across it. A dash pattern
// of dots drawn solid is such gaps, though either colour lies within the
// slack; the tip of a stroke a pixel off is thin one way only.
static bool closes_thin_gap(const ComparisonPlay* a, const ComparisonPlay* b, LONG x, LONG y)
{
    return loses_thin_thing(a, b, x, y) && loses_thin_thing(b, a, x, y);
}

// Whether the pixel at (x, y) of a is matched in b: b has its colour there
// or near it (an edge moved by the slack); a's pixel is a shade on an edge
// of its own, between two colours b has near it; or it lies in a gap a
// pixel wide between two things a drew (or a thing and the picture's
// border), where b, rounding them a pixel wider, draws one of them and
// shows an edge. A line a drew that b lost lies over something even in b.
static bool is_matched(const ComparisonPlay* a, const ComparisonPlay* b, LONG x, LONG y, LONG slack)
{
    const uint32_t colour = colour_at(a, x, y);
    if (has_colour_near(b, x, y, colour, slack))
        return true;
    // Canvas along the border, where the other play's rounding drew on.
    if (colour == CANVAS && (x < slack || y < slack || x >= a->width - slack || y >= a->height - slack))
        return true;
    if (has_edge_at(a, x, y, colour) && is_shade_near(b, x, y, colour, slack < SHADE_REACH ? slack : SHADE_REACH))
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

// A speck: unmatched pixels touching one another, no more than this many.
// The rounding of a shape below a pixel draws one in one play only; a
// shape, a stroke of a glyph, or a piece of a line lost or moved is more.
enum { SPECK_PIXELS = 4 };
// Most specks two plays of one picture may differ by, whatever its size: a
// dash pattern drawn solid, or a line of dots lost, is many.
enum { MOST_SPECKS = 8 };

// Whether the unmatched pixels (marked 1 in mask, width x height) hold no
// more than MOST_SPECKS specks: each group of touching pixels is followed
// out, and the first past a speck ends the walk. The mask is spent.
static bool holds_only_specks(uint8_t* mask, LONG width, LONG height, LONG* stack)
{
    int specks = 0;
    for (LONG start = 0; start < width * height; ++start) {
        if (!mask[start])
            continue;
        if (++specks > MOST_SPECKS)
            return false;
        mask[start] = 0;
        int depth = 0, size = 0;
        stack[depth++] = start;
        while (depth) {
            const LONG at = stack[--depth], x = at % width, y = at / width;
            if (++size > SPECK_PIXELS)
                return false;
            for (LONG v = y - 1; v <= y + 1; ++v)
                for (LONG u = x - 1; u <= x + 1; ++u)
                    if (u >= 0 && v >= 0 && u < width && v < height && mask[v * width + u]) {
                        mask[v * width + u] = 0;
                        stack[depth++] = v * width + u;
                    }
        }
    }
    return true;
}



bool comparison_plays_match(const ComparisonPlay* a, const ComparisonPlay* b)
{
    if (a->width != b->width || a->height != b->height)
        return false;
    const LONG slack = edge_slack(a, b);
    // More unmatched pixels than the specks allowed can hold differ,
    // however they lie: the walk stops there.
    const int most = MOST_SPECKS * SPECK_PIXELS;
    LONG unmatched[MOST_SPECKS * SPECK_PIXELS];
    int count = 0;
    for (LONG y = 0; y < a->height; ++y) {
        const uint32_t* row_a = a->pixels + (size_t)y * a->width;
        const uint32_t* row_b = b->pixels + (size_t)y * b->width;
        for (LONG x = 0; x < a->width; ++x) {
            if (((row_a[x] ^ row_b[x]) & 0xFFFFFF) == 0)
                continue;
            if (is_matched(a, b, x, y, slack) && is_matched(b, a, x, y, slack) && !closes_thin_gap(a, b, x, y))
                continue;
            if (count == most)
                return false;
            unmatched[count++] = y * a->width + x;
        }
    }
    if (!count)
        return true;
    // The few unmatched pixels grouped into specks, in a mask of their
    // bounding box.
    LONG left = a->width, top = a->height, right = 0, bottom = 0;
    for (int i = 0; i < count; ++i) {
        const LONG x = unmatched[i] % a->width, y = unmatched[i] / a->width;
        left = x < left ? x : left;
        right = x > right ? x : right;
        top = y < top ? y : top;
        bottom = y > bottom ? y : bottom;
    }
    const LONG width = right - left + 1, height = bottom - top + 1;
    uint8_t* mask = (uint8_t*)calloc((size_t)width * height, 1);
    if (!mask)
        return false;
    for (int i = 0; i < count; ++i)
        mask[(unmatched[i] / a->width - top) * width + unmatched[i] % a->width - left] = 1;
    LONG stack[MOST_SPECKS * SPECK_PIXELS];
    const bool is_same = holds_only_specks(mask, width, height, stack);
    free(mask);
    return is_same;
}
