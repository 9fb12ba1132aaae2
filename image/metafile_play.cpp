// The checked metafile players (see metafile_play.h). The rules of
// emf_check.h say which records may be played; this file keeps what the
// system's player cannot be trusted with on a display within bounds: font
// sizes, glyph counts, the work of a fill and the width of a pen.
#include "image/metafile_play.h"

#include "image/byte_order.h"
#include "image/emf_check.h"
#include "image/play_budget.h"
#include "image/wmf_check.h"
#include "image/wmf_seal.h"

#include <math.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

// Bytes of the part of an enhanced-metafile header that every header has.
enum { EMF_BASE_HEADER = 88 };

// A font record asks the display for glyphs of its size in device pixels,
// and some display drivers end the process on glyphs far beyond any
// screen: one glyph 4096 pixels both wide and tall already passes the X
// server's largest request. On a display a font taller or wider than this
// is played scaled down to it; printers and metafile devices get the
// record as it is.
enum { MAX_FONT_DEVICE_PIXELS = 2048 };
enum { EMR_SMALL_TEXT_OUT = 108 };  // not named by every wingdi.h
enum { DEFAULT_FONT_UNITS = 16 };    // about what a font height of 0 comes to

// Device pixels per logical unit of hdc's mapping, across and down.
static void device_scale(HDC hdc, double* across, double* down)
{
    SIZE window = {1, 1}, viewport = {1, 1};
    GetWindowExtEx(hdc, &window);
    GetViewportExtEx(hdc, &viewport);
    *across = window.cx ? fabs((double)viewport.cx / window.cx) : 1.0;
    *down = window.cy ? fabs((double)viewport.cy / window.cy) : 1.0;
}

// Largest glyph side in device pixels that hdc is given; 0 for a metafile
// device, which only records. A printer may fill its page.
static double font_limit(HDC hdc)
{
    int technology = GetDeviceCaps(hdc, TECHNOLOGY);
    if (technology == DT_METAFILE)
        return 0;
    double page = GetDeviceCaps(hdc, HORZRES) > GetDeviceCaps(hdc, VERTRES) ? GetDeviceCaps(hdc, HORZRES)
                                                                               : GetDeviceCaps(hdc, VERTRES);
    return technology == DT_RASDISPLAY || page < MAX_FONT_DEVICE_PIXELS ? (double)MAX_FONT_DEVICE_PIXELS : page;
}

// Device pixels of a font (or pen) of the logical height and width under
// hdc's world transform (the one an enhanced metafile plays through) and
// mapping. A height of 0 is the default size in device pixels whatever
// the transform and mapping, which only its width (if it has one) follows.
static double font_device_size(HDC hdc, double height, double width)
{
    XFORM world = {1, 0, 0, 1, 0, 0};
    if (GetGraphicsMode(hdc) == GM_ADVANCED)
        GetWorldTransform(hdc, &world);
    double across, down;
    device_scale(hdc, &across, &down);
    width = fabs(width ? width : height);  // 0: the font's own, near its height
    double wide = hypot(width * world.eM11 * across, width * world.eM12 * down);
    if (!height)
        return wide > DEFAULT_FONT_UNITS ? wide : (double)DEFAULT_FONT_UNITS;
    double tall = hypot(height * world.eM21 * across, height * world.eM22 * down);
    return tall > wide ? tall : wide;
}

// The largest device size of a logical unit of hdc under its transform and
// mapping so far, kept in *unit_pixels (null: not asked).
static void note_unit_pixels(HDC hdc, double* unit_pixels)
{
    if (!unit_pixels)
        return;
    double unit = font_device_size(hdc, 1, 1);
    if (unit > *unit_pixels)
        *unit_pixels = unit;
}

// value * factor, at least one unit when value is not 0: a height of 0
// would ask for the default size instead.
static LONG scaled_font_value(LONG value, double factor)
{
    LONG scaled = (LONG)(value * factor);
    return scaled || !value ? scaled : value < 0 ? -1 : 1;
}

// The text records of an enhanced metafile: they draw with the selected font.
static int is_emf_text_record(DWORD type)
{
    return type == EMR_EXTTEXTOUTA || type == EMR_EXTTEXTOUTW || type == EMR_POLYTEXTOUTA ||
           type == EMR_POLYTEXTOUTW || type == EMR_SMALL_TEXT_OUT;
}

// Distinct glyphs one text record may draw at the font limit, and all the
// text records of one play together; at smaller sizes more, by the square
// of the size. Each new glyph is rendered at its size and kept by the
// display: a record of thousands at the limit takes the player minutes and
// the display gigabytes, while text of any real drawing renders a few dozen
// glyphs per record, most of them far smaller.
enum { MAX_GLYPHS_AT_FONT_LIMIT = 32, MAX_PLAY_GLYPHS_AT_FONT_LIMIT = 128 };

// Whether a mask blit's destination comes to whole device pixels across
// and down. One that comes to none draws nothing, and the system's player
// divides by its width where none of the window is visible.
static bool mask_blit_reaches_pixels(HDC hdc, const ENHMETARECORD* record)
{
    enum { DEST_AT = 24 };  // x, y, width, height
    const BYTE* bytes = (const BYTE*)record + DEST_AT;
    int64_t x = (int32_t)get_le32(bytes), y = (int32_t)get_le32(bytes + 4);
    int64_t right = x + (int32_t)get_le32(bytes + 8), bottom = y + (int32_t)get_le32(bytes + 12);
    POINT corners[2] = {{(LONG)x, (LONG)y},
                        {(LONG)(right < INT32_MIN ? INT32_MIN : right > INT32_MAX ? INT32_MAX : right),
                         (LONG)(bottom < INT32_MIN ? INT32_MIN : bottom > INT32_MAX ? INT32_MAX : bottom)}};
    return LPtoDP(hdc, corners, 2) && corners[0].x != corners[1].x && corners[0].y != corners[1].y;
}

// The font selected in hdc as a copy scaled down to draw within limit
// under hdc's present mapping, selected in its place (the old font in
// *old), or NULL when it fits as it is. *left_out is set when the text
// cannot be drawn: one unit is already too large, or no copy could be made.
static HFONT select_font_within(HDC hdc, double limit, HGDIOBJ* old, int* left_out)
{
    *old = NULL;
    *left_out = 0;
    HFONT font = (HFONT)GetCurrentObject(hdc, OBJ_FONT);
    LOGFONTW lf;
    if (!font || GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        return NULL;
    double size = font_device_size(hdc, lf.lfHeight, lf.lfWidth);
    if (size <= limit)
        return NULL;
    double factor = limit / size;
    lf.lfHeight = scaled_font_value(lf.lfHeight, factor);
    lf.lfWidth = scaled_font_value(lf.lfWidth, factor);
    HFONT small = font_device_size(hdc, lf.lfHeight, lf.lfWidth) <= limit ? CreateFontIndirectW(&lf) : NULL;
    *old = small ? SelectObject(hdc, small) : NULL;
    if (!*old) {
        if (small)
            DeleteObject(small);
        *left_out = 1;
        return NULL;
    }
    return small;
}

// Filling a polygon on a display builds its region over every device row
// it covers, unclipped: each row takes time that grows with the square of
// the edges crossing it, and holds a span between each pair of them. A
// record of 16000 points zigzagging across a 300-pixel preview takes
// minutes, and a mapping can stretch a few edges over a billion rows, each
// with a span of its own. A polygon record whose rows cost more time
// (about a second) or spans (about 64 MB of region) is left out there.
#define MAX_POLYGON_ROW_WORK 1.0e9
#define MAX_POLYGON_SPANS 4.0e6

struct EdgeEnd {
    int32_t y;
    int32_t step;  // +1 where an edge starts, -1 past its last row
};

static int compare_edge_ends(const void* a, const void* b)
{
    int32_t ya = ((const EdgeEnd*)a)->y, yb = ((const EdgeEnd*)b)->y;
    return ya < yb ? -1 : ya > yb;
}

// Whether filling the closed polygons of the counts, whose points (logical,
// made device points here) follow each other in points, stays within
// MAX_POLYGON_ROW_WORK and MAX_POLYGON_SPANS; false as well when there is
// no memory to judge it.
static bool polygon_rows_are_bounded(HDC hdc, POINT* points, uint32_t total, const uint32_t* counts,
                                     uint32_t polygons)
{
    EdgeEnd* ends = total ? (EdgeEnd*)malloc(sizeof(EdgeEnd) * 2 * (size_t)total) : NULL;
    if (!ends)
        return total == 0;
    if (!LPtoDP(hdc, points, (int)total)) {
        free(ends);
        return false;
    }
    size_t edges = 0;
    for (uint32_t p = 0, first = 0; p < polygons; first += counts[p], ++p) {
        for (uint32_t i = 0; i < counts[p]; ++i) {
            int32_t y0 = points[first + i].y, y1 = points[first + (i + 1) % counts[p]].y;
            if (y0 == y1)
                continue;
            ends[2 * edges] = {y0 < y1 ? y0 : y1, 1};
            ends[2 * edges + 1] = {y0 < y1 ? y1 : y0, -1};
            ++edges;
        }
    }
    qsort(ends, 2 * edges, sizeof *ends, compare_edge_ends);
    double work = 0, spans = 0, crossing = 0;
    for (size_t i = 0; i < 2 * edges && work <= MAX_POLYGON_ROW_WORK && spans <= MAX_POLYGON_SPANS; ++i) {
        if (i) {
            double rows = (double)ends[i].y - ends[i - 1].y;
            work += crossing * crossing * rows;
            spans += crossing / 2 * rows;
        }
        crossing += ends[i].step;
    }
    free(ends);
    return work <= MAX_POLYGON_ROW_WORK && spans <= MAX_POLYGON_SPANS;
}

// Whether filling the polygons stays within the bounds above under hdc's
// mapping: their point counts, count_unit bytes each, at counts (one
// polygon: its count), then their points, two coordinates of point_unit
// bytes each, at points, with room bytes from there to the record's end.
static bool packed_polygons_are_bounded(HDC hdc, const BYTE* counts, uint32_t count_unit, uint32_t polygons,
                                        const BYTE* points, uint32_t point_unit, uint64_t room)
{
    uint32_t* count = (uint32_t*)malloc(sizeof(uint32_t) * (polygons ? polygons : 1));
    uint64_t total = 0;
    for (uint32_t i = 0; count && i < polygons; ++i) {
        count[i] = count_unit == 2 ? get_le16(counts + 2 * i) : get_le32(counts + 4 * i);
        total += count[i];
    }
    POINT* point = count && total * 2 * point_unit <= room && total < 0x10000000u
                       ? (POINT*)malloc(sizeof(POINT) * (total ? total : 1))
                       : NULL;
    bool bounded = false;
    if (point) {
        for (uint64_t i = 0; i < 2 * total; ++i) {
            const BYTE* at = points + i * point_unit;
            LONG value = point_unit == 2 ? (int16_t)get_le16(at) : (int32_t)get_le32(at);
            (i % 2 ? point[i / 2].y : point[i / 2].x) = value;
        }
        bounded = polygon_rows_are_bounded(hdc, point, (uint32_t)total, count, polygons);
    }
    free(point);
    free(count);
    return bounded;
}

// Whether a Windows-metafile polygon record (one polygon, or a count of
// them with their point counts) fills within the bounds under hdc's mapping.
static bool polygon_fill_is_bounded(HDC hdc, const METARECORD* record)
{
    uint64_t bytes = record->rdSize >= 3 ? 2 * ((uint64_t)record->rdSize - 3) : 0;
    const BYTE* p = (const BYTE*)record->rdParm;
    if (bytes < 2)
        return false;
    bool is_poly_polygon = record->rdFunction == META_POLYPOLYGON;
    uint32_t polygons = is_poly_polygon ? get_le16(p) : 1;
    uint64_t points_at = is_poly_polygon ? 2 + 2 * (uint64_t)polygons : 2;
    return points_at <= bytes && packed_polygons_are_bounded(hdc, is_poly_polygon ? p + 2 : p, 2, polygons,
                                                             p + points_at, 2, bytes - points_at);
}

// Whether filling the path of hdc, each figure closed, stays within the
// bounds. Curves are judged by their control points, which no line meets
// fewer times than the curve.
static bool path_fill_is_bounded(HDC hdc)
{
    int total = GetPath(hdc, NULL, NULL, 0);
    if (total <= 0)
        return total == 0;
    POINT* points = (POINT*)malloc(sizeof(POINT) * (size_t)total);
    BYTE* types = (BYTE*)malloc((size_t)total);
    uint32_t* counts = (uint32_t*)malloc(sizeof(uint32_t) * (size_t)total);
    bool bounded = false;
    if (points && types && counts && GetPath(hdc, points, types, total) == total) {
        uint32_t figures = 0;
        for (int i = 0; i < total; ++i) {
            if ((types[i] & ~PT_CLOSEFIGURE) == PT_MOVETO || !figures)
                counts[figures++] = 0;
            counts[figures - 1]++;
        }
        bounded = polygon_rows_are_bounded(hdc, points, (uint32_t)total, counts, figures);
    }
    free(points);
    free(types);
    free(counts);
    return bounded;
}

// Whether an enhanced-metafile record that fills polygons or the path
// fills within the bounds under hdc's transform and mapping; true for any
// other record. Polygons inside a path bracket only add to the path.
static bool emf_fill_is_bounded(HDC hdc, const ENHMETARECORD* record, bool in_path)
{
    enum { COUNT_AT = 24, POLYGONS_AT = 24, POLY_COUNTS_AT = 32 };
    const BYTE* bytes = (const BYTE*)record;
    uint32_t size = record->nSize;
    switch (record->iType) {
    case EMR_POLYGON:
    case EMR_POLYGON16:
        return in_path || (size >= COUNT_AT + 4 &&
                           packed_polygons_are_bounded(hdc, bytes + COUNT_AT, 4, 1, bytes + COUNT_AT + 4,
                                                       record->iType == EMR_POLYGON ? 4 : 2, size - COUNT_AT - 4));
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16: {
        if (in_path)
            return true;
        uint64_t polygons = size >= POLY_COUNTS_AT ? get_le32(bytes + POLYGONS_AT) : 0;
        uint64_t points_at = POLY_COUNTS_AT + 4 * polygons;
        return size >= POLY_COUNTS_AT && points_at <= size &&
               packed_polygons_are_bounded(hdc, bytes + POLY_COUNTS_AT, 4, (uint32_t)polygons, bytes + points_at,
                                           record->iType == EMR_POLYPOLYGON ? 4 : 2, size - points_at);
    }
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_SELECTCLIPPATH:
        // With no path the player fills nothing: some writers give these
        // records after every shape, path or not.
        return (!in_path && GetPath(hdc, NULL, NULL, 0) < 0) || path_fill_is_bounded(hdc);
    }
    return true;
}

// A pen wider than this many device pixels is drawn as one this wide: a
// display builds round joins and ends point by point, and pens a mapping
// makes a million pixels wide hold the window for minutes.
enum { MAX_PEN_DEVICE_PIXELS = 65536 };

static bool is_one_of(UINT value, const UINT* list, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (value == list[i])
            return true;
    return false;
}

// The Windows-metafile records that draw lines with the selected pen.
static const UINT WMF_STROKING[] = {META_LINETO,    META_POLYLINE, META_POLYGON, META_POLYPOLYGON, META_RECTANGLE,
                                    META_ROUNDRECT, META_ELLIPSE,  META_ARC,     META_PIE,         META_CHORD};
// The enhanced-metafile records that draw lines with it or widen the path by it.
static const UINT EMF_STROKING[] = {
    EMR_POLYBEZIER,   EMR_POLYGON,       EMR_POLYLINE,      EMR_POLYBEZIERTO,      EMR_POLYLINETO,
    EMR_POLYPOLYLINE, EMR_POLYPOLYGON,   EMR_ANGLEARC,      EMR_ELLIPSE,           EMR_RECTANGLE,
    EMR_ROUNDRECT,    EMR_ARC,           EMR_CHORD,         EMR_PIE,               EMR_LINETO,
    EMR_ARCTO,        EMR_POLYDRAW,      EMR_STROKEPATH,    EMR_STROKEANDFILLPATH, EMR_WIDENPATH,
    EMR_POLYBEZIER16, EMR_POLYGON16,     EMR_POLYLINE16,    EMR_POLYBEZIERTO16,    EMR_POLYLINETO16,
    EMR_POLYPOLYLINE16, EMR_POLYPOLYGON16, EMR_POLYDRAW16};

// The description of the extended pen with its style entries, or NULL;
// free it.
static EXTLOGPEN* ext_pen_of(HPEN pen)
{
    int bytes = GetObjectW(pen, 0, NULL);
    EXTLOGPEN* elp = bytes >= (int)offsetof(EXTLOGPEN, elpStyleEntry)
                         ? (EXTLOGPEN*)calloc(1, (size_t)bytes + sizeof(DWORD))
                         : NULL;
    if (elp && GetObjectW(pen, bytes, elp) != bytes) {
        free(elp);
        return NULL;
    }
    return elp;
}

// A copy of the extended pen narrowed to width; NULL for a pen whose brush
// (a pattern's bitmap) cannot be made again from its description.
static HPEN narrowed_ext_pen(const EXTLOGPEN* elp, LONG width)
{
    if (elp->elpBrushStyle != BS_SOLID && elp->elpBrushStyle != BS_HATCHED && elp->elpBrushStyle != BS_NULL)
        return NULL;
    LOGBRUSH lb = {elp->elpBrushStyle, elp->elpColor, elp->elpHatch};
    return ExtCreatePen(elp->elpPenStyle, (DWORD)width, &lb, elp->elpNumEntries,
                        elp->elpNumEntries ? elp->elpStyleEntry : NULL);
}

// The pen selected in hdc as a copy narrowed to MAX_PEN_DEVICE_PIXELS
// under hdc's present transform and mapping, selected in its place (the
// old pen in *old), or NULL when it fits as it is. *left_out is set when
// no copy could be made.
static HPEN select_pen_within(HDC hdc, HGDIOBJ* old, int* left_out)
{
    *old = NULL;
    *left_out = 0;
    HPEN pen = (HPEN)GetCurrentObject(hdc, OBJ_PEN);
    EXTLOGPEN* elp = pen && GetObjectType(pen) == OBJ_EXTPEN ? ext_pen_of(pen) : NULL;
    LOGPEN lp;
    LONG width = 0;  // of a cosmetic pen: always one pixel
    if (elp)
        width = (elp->elpPenStyle & PS_TYPE_MASK) == PS_GEOMETRIC ? (LONG)elp->elpWidth : 0;
    else if (pen && GetObjectType(pen) == OBJ_PEN && GetObjectW(pen, sizeof lp, &lp) == sizeof lp)
        width = lp.lopnWidth.x;
    double size = width ? font_device_size(hdc, width, width) : 0;
    HPEN narrow = NULL;
    if (size > MAX_PEN_DEVICE_PIXELS) {
        lp.lopnWidth.x = scaled_font_value(width, MAX_PEN_DEVICE_PIXELS / size);
        narrow = elp ? narrowed_ext_pen(elp, lp.lopnWidth.x) : CreatePenIndirect(&lp);
        *old = narrow ? SelectObject(hdc, narrow) : NULL;
        if (!*old) {
            if (narrow)
                DeleteObject(narrow);
            narrow = NULL;
            *left_out = 1;
        }
    }
    free(elp);
    return narrow;
}

// Glyphs of the font selected in hdc, from its glyph table; 0 when it has
// none that can be read.
static uint32_t font_glyph_count(HDC hdc)
{
    enum { GLYPH_COUNT_AT = 4 };
    const DWORD GLYPH_TABLE = 'm' | 'a' << 8 | 'x' << 16 | (DWORD)'p' << 24;
    BYTE count[2];
    if (GetFontData(hdc, GLYPH_TABLE, GLYPH_COUNT_AT, count, sizeof count) != sizeof count)
        return 0;
    return (uint32_t)count[0] << 8 | count[1];
}

// Whether text of the glyphs, drawn with the font selected in hdc (no
// larger than limit), keeps within the glyph budgets of one record and,
// with the text the play drew before, of the play; text that keeps within
// them is counted in the play's. Glyph indices past the font's glyphs are
// never drawn: a display that has drawn glyphs of the font reads its
// table of them past its end for those.
static bool text_keeps_glyph_budget(HDC hdc, double limit, TextGlyphs glyphs, PlayBudget* budget)
{
    if (glyphs.index_end && glyphs.index_end > font_glyph_count(hdc))
        return false;
    HFONT font = (HFONT)GetCurrentObject(hdc, OBJ_FONT);
    LOGFONTW lf;
    if (!font || GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        return true;
    double size = font_device_size(hdc, lf.lfHeight, lf.lfWidth);
    double drawn = size > limit ? limit : size;
    double work = glyphs.distinct * drawn * drawn;
    if (work > MAX_GLYPHS_AT_FONT_LIMIT * limit * limit ||
        budget->glyph_work + work > MAX_PLAY_GLYPHS_AT_FONT_LIMIT * limit * limit) {
        budget->is_cut = true;
        return false;
    }
    budget->glyph_work += work;
    return true;
}

// Plays a text record (play_text gives it to the player) when it keeps
// the glyph budgets, with the selected font scaled down to limit where
// the transform or mapping now makes it larger than that, since the
// player sizes the font anew for the mapping the text meets. False when
// the text was left out.
template <typename Play>
static bool play_text_within(HDC hdc, double limit, TextGlyphs glyphs, PlayBudget* budget, Play play_text)
{
    if (!text_keeps_glyph_budget(hdc, limit, glyphs, budget))
        return false;
    HGDIOBJ old;
    int left_out;
    HFONT small = select_font_within(hdc, limit, &old, &left_out);
    if (!left_out)
        play_text();
    if (small) {
        SelectObject(hdc, old);
        DeleteObject(small);
    }
    return !left_out;
}

// Plays a record that draws lines (play_lines gives it to the player)
// with the selected pen narrowed to MAX_PEN_DEVICE_PIXELS; false when
// the pen fits as it is, and the caller plays the record itself.
// *left_out is set when the record could not be played with a narrowed pen.
template <typename Play>
static bool played_with_narrow_pen(HDC hdc, Play play_lines, bool* left_out)
{
    HGDIOBJ old;
    int not_made;
    HPEN narrow = select_pen_within(hdc, &old, &not_made);
    if (narrow) {
        play_lines();
        SelectObject(hdc, old);
        DeleteObject(narrow);
    }
    if (not_made)
        *left_out = true;
    return narrow || not_made;
}

// What one play of an enhanced metafile keeps across its records.
struct EmfPlay {
    double font_limit;  // font_limit of the device
    bool in_path;       // between the records that open and close a path
    bool left_out;      // a record that draws was not played, by its rule or for its cost
    bool played;        // the record in hand was given to the system's player
    double* unit_pixels;  // null, or the largest device size of a logical unit so far
    EmfCheckState check;
    PlayBudget budget;
};

// A font record is played scaled down to the limit, and text by the glyph
// budgets with a scaled copy of the selected font where the transform
// makes it larger than that again. Some display drivers end the process
// on far larger glyphs, or take minutes over them. On a display, a fill
// of polygons or of the path that would hold it for long is left out, and
// lines are drawn with a pen of at most MAX_PEN_DEVICE_PIXELS. A record
// left out that would have changed the picture is noted: the play is then
// not whole.
static int play_emf_record(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int objects, EmfPlay* play)
{
    // The end record draws nothing: a play that reaches it is whole.
    if (record->iType != EMR_EOF && !play_budget_allows(&play->budget))
        return 0;
    // The player would hand a record of no size to this callback for ever:
    // the play stops there, and what follows is not drawn.
    if (record->nSize < 8) {
        play->left_out = true;
        return 0;
    }
    // A record without a rule for its type, or breaking it, is not played
    // and leaves the state as it was.
    if (!emf_record_is_sound((const BYTE*)record, record->nSize, &play->check)) {
        play->left_out |= !emf_record_is_silent(record->iType);
        return 1;
    }
    // A mask blit that reaches no whole pixel draws nothing.
    if (record->iType == EMR_MASKBLT && !mask_blit_reaches_pixels(hdc, record))
        return 1;
    auto play_as_is = [&] {
        PlayEnhMetaFileRecord(hdc, table, record, (UINT)objects);
        play->played = true;
    };
    if (GetDeviceCaps(hdc, TECHNOLOGY) == DT_RASDISPLAY) {
        if (!emf_fill_is_bounded(hdc, record, play->in_path)) {
            if (record->iType != EMR_POLYGON && record->iType != EMR_POLYGON16 &&
                record->iType != EMR_POLYPOLYGON && record->iType != EMR_POLYPOLYGON16)
                AbortPath(hdc);  // dropped as the fill would have
            play->left_out = true;
            return 1;
        }
        if (record->iType == EMR_BEGINPATH || record->iType == EMR_ENDPATH || record->iType == EMR_ABORTPATH)
            play->in_path = record->iType == EMR_BEGINPATH;
        if (is_one_of(record->iType, EMF_STROKING, sizeof EMF_STROKING / sizeof *EMF_STROKING) &&
            played_with_narrow_pen(hdc, play_as_is, &play->left_out))
            return 1;
    }
    double limit = play->font_limit;
    enum { FONT_HEIGHT_AT = 12, FONT_WIDTH_AT = 16 };
    if (limit > 0 && record->iType == EMR_EXTCREATEFONTINDIRECTW && record->nSize >= FONT_WIDTH_AT + 4) {
        const BYTE* bytes = (const BYTE*)record;
        LONG height = (LONG)get_le32(bytes + FONT_HEIGHT_AT), width = (LONG)get_le32(bytes + FONT_WIDTH_AT);
        double size = font_device_size(hdc, height, width);
        ENHMETARECORD* scaled = size > limit ? (ENHMETARECORD*)malloc(record->nSize) : NULL;
        if (scaled) {
            memcpy(scaled, record, record->nSize);
            double factor = limit / size;
            LONG small[2] = {scaled_font_value(height, factor), scaled_font_value(width, factor)};
            memcpy((BYTE*)scaled + FONT_HEIGHT_AT, small, sizeof small);
            PlayEnhMetaFileRecord(hdc, table, scaled, (UINT)objects);
            play->played = true;
            free(scaled);
            return 1;
        }
        if (size > limit) {
            play->left_out = true;  // no memory for the copy: the font is left out
            return 1;
        }
    }
    if (limit > 0 && is_emf_text_record(record->iType)) {
        if (!play_text_within(hdc, limit, emf_text_glyphs((const BYTE*)record, record->nSize), &play->budget,
                              play_as_is))
            play->left_out = true;
        return 1;
    }
    play_as_is();
    return 1;
}

// The records that make an object in the handle table, at the index at
// byte 8, which the rules keep inside it. Colour spaces draw nothing.
static bool emf_record_creates(DWORD type)
{
    return type == EMR_CREATEPEN || type == EMR_CREATEBRUSHINDIRECT || type == EMR_EXTCREATEFONTINDIRECTW ||
           type == EMR_CREATEPALETTE || type == EMR_CREATEMONOBRUSH || type == EMR_CREATEDIBPATTERNBRUSHPT ||
           type == EMR_EXTCREATEPEN;
}

// Plays one record (play_emf_record). A create the system refused (a
// hatch it has no pattern for, a pen style it does not take) leaves its
// slot empty, and the records that select it would draw with the object
// before: as in a Windows metafile, the play is cut there.
static int CALLBACK play_emf_record_proc(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int objects,
                                         LPARAM data)
{
    EmfPlay* play = (EmfPlay*)data;
    play->played = false;
    uint32_t mended_size = 0;
    ENHMETARECORD* mended =
        (ENHMETARECORD*)emf_record_with_full_tables((const BYTE*)record, record->nSize, &mended_size);
    if (mended)
        record = mended;
    int go_on = play_emf_record(hdc, table, record, objects, play);
    if (play->unit_pixels && emf_record_draws(record->iType))
        note_unit_pixels(hdc, play->unit_pixels);
    if (go_on && play->played && emf_record_creates(record->iType) && record->nSize >= 12) {
        DWORD index = ((const DWORD*)record)[2];
        if (index < (DWORD)objects && !table->objectHandle[index]) {
            play->left_out = true;
            go_on = 0;
        }
    }
    free(mended);
    return go_on;
}

// A copy of the metafile whose header counts one handle: entry 0 of the
// player's handle table is the metafile's own, and a header counting none
// has it written past a table of none. Null when the copy cannot be made.
static HENHMETAFILE copy_with_own_handle(HENHMETAFILE emf)
{
    UINT size = GetEnhMetaFileBits(emf, 0, NULL);
    BYTE* bits = size >= sizeof(ENHMETAHEADER) ? (BYTE*)malloc(size) : NULL;
    HENHMETAFILE copy = NULL;
    if (bits && GetEnhMetaFileBits(emf, size, bits) == size) {
        ((ENHMETAHEADER*)bits)->nHandles = 1;
        copy = SetEnhMetaFileBits(size, bits);
    }
    free(bits);
    return copy;
}

// A play that measures its units (unit_pixels not null) or not.
static bool play_emf_measured(HDC hdc, HENHMETAFILE emf, const RECT* rect, double* unit_pixels)
{
    // Headers of the oldest form end before the pixel-format fields.
    ENHMETAHEADER header;
    if (!emf || GetEnhMetaFileHeader(emf, sizeof header, &header) < EMF_BASE_HEADER)
        return false;
    HENHMETAFILE copy = header.nHandles ? NULL : copy_with_own_handle(emf);
    if (!header.nHandles && !copy)
        return false;
    EmfPlay play;
    play.font_limit = font_limit(hdc);
    play.in_path = false;
    play.left_out = false;
    play.unit_pixels = unit_pixels;
    begin_emf_check(&play.check, header.nHandles ? header.nHandles : 1);
    start_play_budget(&play.budget);
    EnumEnhMetaFile(hdc, copy ? copy : emf, play_emf_record_proc, &play, rect);
    end_emf_check(&play.check);
    if (copy)
        DeleteEnhMetaFile(copy);
    return !play.budget.is_cut && !play.left_out;
}

bool play_emf_in_process(HDC hdc, HENHMETAFILE emf, const RECT* rect)
{
    return play_emf_measured(hdc, emf, rect, NULL);
}

bool play_emf_measuring_units(HDC hdc, HENHMETAFILE emf, const RECT* rect, double* unit_pixels)
{
    return play_emf_measured(hdc, emf, rect, unit_pixels);
}

// What one play of a Windows metafile keeps across its records. Records
// that break their rules were taken out when the bits were read.
struct WmfPlay {
    PlayBudget budget;
    bool left_out;                // a record that draws was not played, for its cost or its font
    volatile LONG* played_words;  // null: a play without progress
    UINT free_from;               // no slot of the handle table below it is free
    double* unit_pixels;          // null, or the largest device size of a logical unit so far
};


// Plays a record with play(). False when it creates an object and the
// handle table holds no new one after it: the system refused to make it,
// and every object after it would take another's slot and number, so
// that the records would draw with objects the file did not name. The
// table's first free slot is sought from *free_from, which only a
// deletion lowers.
template <typename Play>
static bool play_making_objects(const HANDLETABLE* table, const METARECORD* record, UINT objects, UINT* free_from,
                                Play play)
{
    bool creates = wmf_function_creates((uint16_t)record->rdFunction);
    UINT slot = *free_from;
    while (creates && slot < objects && table->objectHandle[slot])
        ++slot;
    play();
    if (record->rdFunction == META_DELETEOBJECT && record->rdSize > 3 && record->rdParm[0] < *free_from)
        *free_from = record->rdParm[0];
    if (!creates)
        return true;
    if (slot >= objects || !table->objectHandle[slot])
        return false;
    *free_from = slot + 1;
    return true;
}

// Plays one record. A font record is played scaled down to the limit
// under the mapping in force; text is drawn with a scaled copy of the
// selected font wherever a later mapping (window and viewport extents,
// their scaling, the mapping mode) makes it larger than that again, since
// the player sizes the font anew for the mapping the text meets: some
// display drivers end the process on far larger glyphs. Text keeps the
// glyph budgets of the play. A polygon record whose fill would hold the
// display for long is left out, and lines are drawn with a pen of at most
// MAX_PEN_DEVICE_PIXELS. Whatever is left out is noted in the play.
static void play_record(HDC hdc, HANDLETABLE* table, METARECORD* record, UINT objects, WmfPlay* play)
{
    PlayBudget* budget = &play->budget;
    UINT function = record->rdFunction;
    auto play_as_is = [&] { PlayMetaFileRecord(hdc, table, record, objects); };
    if (is_one_of(function, WMF_STROKING, sizeof WMF_STROKING / sizeof *WMF_STROKING) &&
        GetDeviceCaps(hdc, TECHNOLOGY) == DT_RASDISPLAY) {
        if ((function == META_POLYGON || function == META_POLYPOLYGON) && !polygon_fill_is_bounded(hdc, record)) {
            play->left_out = true;
            return;
        }
        if (played_with_narrow_pen(hdc, play_as_is, &play->left_out))
            return;
    }
    bool is_text = function == META_TEXTOUT || function == META_EXTTEXTOUT;
    bool is_font = function == META_CREATEFONTINDIRECT && record->rdSize >= 5;
    double limit = is_text || is_font ? font_limit(hdc) : 0;
    if (limit <= 0) {
        PlayMetaFileRecord(hdc, table, record, objects);
        return;
    }
    if (is_text) {
        uint32_t param_bytes = record->rdSize >= 3 ? 2 * (record->rdSize - 3) : 0;
        if (!play_text_within(hdc, limit, wmf_text_glyphs(function, (const BYTE*)record->rdParm, param_bytes),
                              budget, play_as_is))
            play->left_out = true;
        return;
    }
    // Height and width are the first two words of the font record, whose
    // words are within the metafile (seal_wmf_records).
    int16_t height = (int16_t)record->rdParm[0], width = (int16_t)record->rdParm[1];
    double size = font_device_size(hdc, height, width);
    if (size <= limit) {
        PlayMetaFileRecord(hdc, table, record, objects);
        return;
    }
    size_t bytes = (size_t)record->rdSize * 2;
    METARECORD* scaled = (METARECORD*)malloc(bytes);
    if (!scaled) {
        play->left_out = true;
        return;
    }
    memcpy(scaled, record, bytes);
    double factor = limit / size;
    scaled->rdParm[0] = (WORD)(int16_t)scaled_font_value(height, factor);
    scaled->rdParm[1] = (WORD)(int16_t)scaled_font_value(width, factor);
    PlayMetaFileRecord(hdc, table, scaled, objects);
    free(scaled);
}

static int CALLBACK play_wmf_record_proc(HDC hdc, HANDLETABLE* table, METARECORD* record, int objects, LPARAM data)
{
    WmfPlay* play = (WmfPlay*)data;
    if (!play_budget_allows(&play->budget))
        return 0;
    // A font record whose face name ends within it is played from a copy
    // holding the whole 32-byte name, all of which the player reads.
    enum { FONT_RECORD_WORDS = 3 + WMF_FONT_PARAM_BYTES / 2 };
    bool is_short_font = record->rdFunction == META_CREATEFONTINDIRECT && record->rdSize < FONT_RECORD_WORDS;
    METARECORD* font = is_short_font ? (METARECORD*)calloc(FONT_RECORD_WORDS, 2) : NULL;
    if (font) {
        memcpy(font, record, (size_t)record->rdSize * 2);
        font->rdSize = FONT_RECORD_WORDS;
    }
    // A font not made for want of memory would move the objects after it
    // as a refused one does.
    bool is_made = (!is_short_font || font) &&
                   play_making_objects(table, record, (UINT)objects, &play->free_from,
                                       [&] { play_record(hdc, table, font ? font : record, (UINT)objects, play); });
    free(font);
    if (!is_made) {
        play->left_out = true;
        return 0;
    }
    if (play->played_words)
        InterlockedExchangeAdd((LONG*)play->played_words, (LONG)record->rdSize);
    if (play->unit_pixels && wmf_function_draws_on_device((uint16_t)record->rdFunction))
        note_unit_pixels(hdc, play->unit_pixels);
    return 1;
}

// A play with progress (played_words) or one that measures its units
// (unit_pixels), either null.
static bool play_wmf_measured(HDC hdc, HMETAFILE wmf, volatile LONG* played_words, double* unit_pixels)
{
    WmfPlay play;
    start_play_budget(&play.budget);
    play.left_out = false;
    play.played_words = played_words;
    play.free_from = 0;
    play.unit_pixels = unit_pixels;
    if (!wmf)
        return false;
    EnumMetaFile(hdc, wmf, play_wmf_record_proc, (LPARAM)&play);
    return !play.budget.is_cut && !play.left_out;
}

bool play_wmf_records_in_process(HDC hdc, HMETAFILE wmf, volatile LONG* played_words)
{
    return play_wmf_measured(hdc, wmf, played_words, NULL);
}

bool play_wmf_measuring_units(HDC hdc, HMETAFILE wmf, double* unit_pixels)
{
    return play_wmf_measured(hdc, wmf, NULL, unit_pixels);
}

bool play_wmf_in_process(HDC hdc, HMETAFILE wmf)
{
    return play_wmf_records_in_process(hdc, wmf, NULL);
}

bool wmf_objects_are_made_in_process(HDC hdc, BYTE* bits, uint32_t size)
{
    if (size < WMF_HEADER_SIZE)
        return false;
    UINT objects = get_le16(bits + 10);
    HANDLETABLE* table = (HANDLETABLE*)calloc(objects ? objects : 1, sizeof(HGDIOBJ));
    if (!table)
        return false;
    UINT free_from = 0;
    bool is_made = true;
    walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t, uint16_t function) {
        METARECORD* record = (METARECORD*)(bits + offset);
        if (wmf_function_creates(function) || function == META_DELETEOBJECT)
            is_made = play_making_objects(table, record, objects, &free_from,
                                          [&] { PlayMetaFileRecord(hdc, table, record, objects); });
        return is_made;
    });
    for (UINT slot = 0; slot < objects; ++slot)
        if (table->objectHandle[slot])
            DeleteObject(table->objectHandle[slot]);
    free(table);
    return is_made;
}
