// The program's own EMF -> WMF conversion (see emf_to_wmf.h). The state DC
// is a memory DC of this process on which the system plays every record
// that sets state, with the frame mapped onto the box: its device units are
// the output's logical units. Shapes, lines and curves are played there
// into a path whose device points the output draws; fills and strokes of a
// path take its flattened device points; text, bitmaps and regions take the
// transform the state DC holds. The output's objects, colours, modes and
// clip follow the state DC's before each record that draws.
#include "image/emf_to_wmf.h"

#include "image/emf_check.h"
#include "image/emf_text_codes.h"
#include "image/play_budget.h"

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

enum {
    MAX_OUTPUT_POINTS = 4000000,  // points written for the whole picture
    MAX_RECTS = 4096,             // rectangles of one clip's gaps or one region
    MAX_TEXT_CHARS = 8192,        // characters of one text
};

// x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
struct Affine {
    double m11, m12, m21, m22, dx, dy;
};

// The output's font: the key it was made from, and whether it is selected.
struct OutFont {
    HFONT font;
    LOGFONTW key;
};

struct Conversion {
    HDC state;
    HDC out;
    HDC measure;              // of this process's screen: text at the size it is shown
    double shown_x, shown_y;  // pixels of the picture shown, an output unit
    HANDLETABLE* table;
    int handles;
    PlayBudget budget;
    uint64_t points;
    bool in_path;
    bool failed;
    // The output's selections, made anew after a clip reset (known false).
    bool known;
    HPEN pen;
    LOGPEN pen_key;
    HBRUSH brush;
    HGDIOBJ brush_source;  // the state DC's brush it was made from
    COLORREF brush_text, brush_back;  // of a mono pattern, the colours it was made in
    OutFont font;
    bool font_selected;
    COLORREF text, back;
    int back_mode, rop2, fill_mode, stretch_mode;
    UINT align;
    // The clip the output holds: null for none.
    bool clip_dirty;
    HRGN clip;
    // The pattern brushes the records made and have not deleted, with the
    // records that made them (at most one a handle-table entry).
    struct Pattern {
        DWORD index;
        const ENHMETARECORD* record;
    } * patterns;
    uint32_t pattern_count;
};

static bool fail(Conversion* cv)
{
    cv->failed = true;
    return false;
}

static Affine state_transform(HDC dc)
{
    XFORM w = {1, 0, 0, 1, 0, 0};
    if (GetGraphicsMode(dc) == GM_ADVANCED)
        GetWorldTransform(dc, &w);
    POINT wo, vo;
    SIZE we, ve;
    GetWindowOrgEx(dc, &wo);
    GetViewportOrgEx(dc, &vo);
    GetWindowExtEx(dc, &we);
    GetViewportExtEx(dc, &ve);
    double sx = we.cx ? (double)ve.cx / we.cx : 1, sy = we.cy ? (double)ve.cy / we.cy : 1;
    Affine a;
    a.m11 = w.eM11 * sx;
    a.m12 = w.eM12 * sy;
    a.m21 = w.eM21 * sx;
    a.m22 = w.eM22 * sy;
    a.dx = (w.eDx - wo.x) * sx + vo.x;
    a.dy = (w.eDy - wo.y) * sy + vo.y;
    return a;
}

static LONG round_long(double v)
{
    return (LONG)floor(v + 0.5);
}

static bool fits16(double v)
{
    return v >= -32768.0 && v <= 32767.0;
}

// The point under the transform, false past 16 bits.
static bool map_point(const Affine* a, double x, double y, POINT* p)
{
    double u = floor(a->m11 * x + a->m21 * y + a->dx + 0.5), v = floor(a->m12 * x + a->m22 * y + a->dy + 0.5);
    if (!fits16(u) || !fits16(v))
        return false;
    p->x = (LONG)u;
    p->y = (LONG)v;
    return true;
}

// Whether the transform keeps the axes (a scale, maybe flipped): only then
// is a rectangle of the records a rectangle of the output.
static bool keeps_axes(const Affine* a)
{
    double scale = fabs(a->m11) + fabs(a->m12) + fabs(a->m21) + fabs(a->m22);
    return fabs(a->m12) <= scale * 1e-6 && fabs(a->m21) <= scale * 1e-6;
}

// Whether a region of the record's data (data_bytes at data) costs the
// system more than a picture's clip: it joins the rectangles band by band,
// and rectangles whose edges lie at many heights make as many bands, each
// holding up to all of them. A region of a real drawing comes in bands
// already, and costs about its own rectangles.
static bool region_is_dear(const BYTE* data, uint32_t data_bytes)
{
    enum { MAX_REGION_WORK = 1 << 21 };
    if (data_bytes < sizeof(RGNDATAHEADER))
        return false;
    const RGNDATAHEADER* rdh = (const RGNDATAHEADER*)data;
    const uint32_t first = rdh->dwSize > sizeof(RGNDATAHEADER) ? rdh->dwSize : (uint32_t)sizeof(RGNDATAHEADER);
    if (first > data_bytes)
        return false;
    const uint64_t count = ((uint64_t)data_bytes - first) / sizeof(RECT) < rdh->nCount
                               ? ((uint64_t)data_bytes - first) / sizeof(RECT)
                               : rdh->nCount;
    if (count > MAX_RECTS)
        return true;
    if (count * count <= MAX_REGION_WORK)
        return false;
    LONG* edges = (LONG*)malloc((size_t)count * 2 * sizeof(LONG));
    if (!edges)
        return true;
    const RECT* rects = (const RECT*)(data + first);
    for (uint64_t i = 0; i < count; ++i) {
        edges[2 * i] = rects[i].top;
        edges[2 * i + 1] = rects[i].bottom;
    }
    qsort(edges, (size_t)count * 2, sizeof(LONG), [](const void* a, const void* b) {
        LONG x = *(const LONG*)a, y = *(const LONG*)b;
        return x < y ? -1 : x > y;
    });
    uint64_t heights = 0;
    for (uint64_t i = 0; i < count * 2; ++i)
        heights += i == 0 || edges[i] != edges[i - 1];
    free(edges);
    return heights * count > MAX_REGION_WORK;
}

// ---- the output's state

// After a restore of the output's DC nothing of its selections is known.
static void forget_output(Conversion* cv)
{
    cv->known = false;
    cv->font_selected = false;
}

static void sync_modes(Conversion* cv)
{
    HDC s = cv->state, o = cv->out;
    COLORREF text = GetTextColor(s), back = GetBkColor(s);
    int back_mode = GetBkMode(s), rop2 = GetROP2(s), fill_mode = GetPolyFillMode(s),
        stretch_mode = GetStretchBltMode(s);
    UINT align = GetTextAlign(s) & ~TA_UPDATECP;
    if (!cv->known || text != cv->text)
        SetTextColor(o, cv->text = text);
    if (!cv->known || back != cv->back)
        SetBkColor(o, cv->back = back);
    if (!cv->known || back_mode != cv->back_mode)
        SetBkMode(o, cv->back_mode = back_mode);
    if (!cv->known || rop2 != cv->rop2)
        SetROP2(o, cv->rop2 = rop2);
    if (!cv->known || fill_mode != cv->fill_mode)
        SetPolyFillMode(o, cv->fill_mode = fill_mode);
    if (!cv->known || stretch_mode != cv->stretch_mode)
        SetStretchBltMode(o, cv->stretch_mode = stretch_mode);
    if (!cv->known || align != cv->align)
        SetTextAlign(o, cv->align = align);
}

// Whether the state DC's pen strokes what a Windows metafile's pen cannot,
// so that its stroke is written as the outline the system widens it to,
// filled in *colour: a geometric pen of the picture's own dashes or of
// dashes at a width a metafile's pen draws solid, or of flat or square
// ends or mitred or bevelled joins (a metafile's pen ends and joins round)
// at a width shown over a pixel and a half.
static bool pen_needs_outline(Conversion* cv, const Affine* a, COLORREF* colour)
{
    HGDIOBJ current = GetCurrentObject(cv->state, OBJ_PEN);
    BYTE room[sizeof(EXTLOGPEN) + 64 * sizeof(DWORD)];
    EXTLOGPEN* ext = (EXTLOGPEN*)room;
    int bytes = GetObjectW(current, 0, NULL);
    if (bytes == (int)sizeof(LOGPEN) || bytes <= 0 || bytes > (int)sizeof room ||
        GetObjectW(current, sizeof room, room) <= 0)
        return false;
    const DWORD style = ext->elpPenStyle & PS_STYLE_MASK;
    if ((ext->elpPenStyle & PS_TYPE_MASK) != PS_GEOMETRIC || ext->elpBrushStyle != BS_SOLID || style == PS_NULL)
        return false;
    *colour = ext->elpColor;
    if (style != PS_SOLID && style != PS_INSIDEFRAME)
        return true;
    const double pixel = cv->shown_x > cv->shown_y ? cv->shown_x : cv->shown_y;
    const double shown = ext->elpWidth * hypot(a->m11, a->m12) * pixel;
    const bool round = (ext->elpPenStyle & PS_ENDCAP_MASK) == PS_ENDCAP_ROUND &&
                       (ext->elpPenStyle & PS_JOIN_MASK) == PS_JOIN_ROUND;
    return !round && shown > 1.5;
}

// The state DC's pen, its width scaled along the x axis as the system
// scales it; none for a pen whose stroke is written as its outline. False
// for a pen a Windows metafile cannot hold.
static bool sync_pen(Conversion* cv, const Affine* a)
{
    HGDIOBJ current = GetCurrentObject(cv->state, OBJ_PEN);
    LOGPEN key;
    memset(&key, 0, sizeof key);
    int bytes = GetObjectW(current, 0, NULL);
    if (bytes == (int)sizeof(LOGPEN)) {
        GetObjectW(current, sizeof key, &key);
    } else if (pen_needs_outline(cv, a, &key.lopnColor)) {
        key.lopnStyle = PS_NULL;
    } else {
        BYTE room[sizeof(EXTLOGPEN) + 64 * sizeof(DWORD)];
        EXTLOGPEN* ext = (EXTLOGPEN*)room;
        if (bytes <= 0 || bytes > (int)sizeof room || GetObjectW(current, sizeof room, room) <= 0)
            return false;
        UINT style = ext->elpPenStyle & PS_STYLE_MASK;
        if (style == PS_USERSTYLE || style == PS_ALTERNATE || (ext->elpBrushStyle != BS_SOLID && style != PS_NULL))
            return false;
        key.lopnStyle = ext->elpPenStyle;
        key.lopnWidth.x = (ext->elpPenStyle & PS_TYPE_MASK) == PS_GEOMETRIC ? (LONG)ext->elpWidth : 0;
        key.lopnColor = ext->elpColor;
    }
    double width = key.lopnWidth.x * hypot(a->m11, a->m12);
    if (width > 32767)
        return false;
    key.lopnWidth.x = key.lopnWidth.x ? (LONG)(width + 0.5) : 0;
    if (key.lopnWidth.x == 0 && width > 0)
        key.lopnWidth.x = 1;
    key.lopnWidth.y = 0;
    if (cv->known && cv->pen && !memcmp(&key, &cv->pen_key, sizeof key))
        return true;
    HPEN pen;
    if ((key.lopnStyle & PS_TYPE_MASK) == PS_GEOMETRIC) {
        LOGBRUSH solid = {BS_SOLID, key.lopnColor, 0};
        pen = ExtCreatePen(key.lopnStyle, key.lopnWidth.x, &solid, 0, NULL);
    } else {
        pen = CreatePen(key.lopnStyle & PS_STYLE_MASK, key.lopnWidth.x, key.lopnColor);
    }
    if (!pen)
        return false;
    SelectObject(cv->out, pen);
    if (cv->pen)
        DeleteObject(cv->pen);
    cv->pen = pen;
    cv->pen_key = key;
    return true;
}

// The colour a mono pattern's entry stands for: a mono bitmap is drawn in
// the text colour for its dark bits and the background colour for its light.
static RGBQUAD mono_entry(RGBQUAD own, COLORREF text, COLORREF back)
{
    COLORREF c = (unsigned)own.rgbRed + own.rgbGreen + own.rgbBlue < 3 * 128 ? text : back;
    RGBQUAD q = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
    return q;
}

// A brush of the pattern the record made (a DIB pattern, or a mono one in
// the DC's present colours), as a packed DIB the output's brush copies.
static HBRUSH pattern_brush(Conversion* cv, const ENHMETARECORD* r)
{
    const BYTE* rec = (const BYTE*)r;
    // Both records: ihBrush, iUsage, offBmi, cbBmi, offBits, cbBits.
    const DWORD* f = (const DWORD*)(rec + 8);
    DWORD usage = f[1], off_bmi = f[2], bmi_bytes = f[3], off_bits = f[4], bits_bytes = f[5];
    if (r->nSize < 32 || off_bmi > r->nSize || bmi_bytes > r->nSize - off_bmi || off_bits > r->nSize ||
        bits_bytes > r->nSize - off_bits || bmi_bytes < sizeof(BITMAPINFOHEADER))
        return NULL;
    const BITMAPINFOHEADER* own = (const BITMAPINFOHEADER*)(rec + off_bmi);
    const bool mono = r->iType == EMR_CREATEMONOBRUSH;
    if (mono && (own->biBitCount != 1 || own->biSize != sizeof(BITMAPINFOHEADER)))
        return NULL;
    if (!mono && usage != DIB_RGB_COLORS)
        return NULL;
    // A mono pattern is given a table of two entries, its own or none.
    const size_t table_bytes = mono ? 2 * sizeof(RGBQUAD) : bmi_bytes - sizeof(BITMAPINFOHEADER);
    const size_t head_bytes = sizeof(BITMAPINFOHEADER) + table_bytes;
    BYTE* packed = (BYTE*)malloc(head_bytes + bits_bytes);
    if (!packed)
        return NULL;
    memcpy(packed, own, mono ? sizeof(BITMAPINFOHEADER) : bmi_bytes);
    memcpy(packed + head_bytes, rec + off_bits, bits_bytes);
    BITMAPINFO* bmi = (BITMAPINFO*)packed;
    if (mono) {
        RGBQUAD black = {0, 0, 0, 0}, white = {255, 255, 255, 0};
        const bool has_table = usage == DIB_RGB_COLORS && bmi_bytes >= sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD);
        const RGBQUAD* table = (const RGBQUAD*)(rec + off_bmi + sizeof(BITMAPINFOHEADER));
        bmi->bmiColors[0] = mono_entry(has_table ? table[0] : black, cv->text, cv->back);
        bmi->bmiColors[1] = mono_entry(has_table ? table[1] : white, cv->text, cv->back);
        bmi->bmiHeader.biClrUsed = 2;
    }
    HBRUSH brush = CreateDIBPatternBrushPt(packed, DIB_RGB_COLORS);
    free(packed);
    return brush;
}

static bool sync_brush(Conversion* cv)
{
    HGDIOBJ current = GetCurrentObject(cv->state, OBJ_BRUSH);
    LOGBRUSH lb;
    if (GetObjectW(current, sizeof lb, &lb) != (int)sizeof lb)
        return false;
    const ENHMETARECORD* pattern = NULL;
    if (lb.lbStyle == BS_PATTERN || lb.lbStyle == BS_DIBPATTERN || lb.lbStyle == BS_DIBPATTERNPT) {
        for (uint32_t i = 0; i < cv->pattern_count && !pattern; ++i)
            if (cv->table->objectHandle[cv->patterns[i].index] == current)
                pattern = cv->patterns[i].record;
        if (!pattern)
            return false;
    }
    const bool mono = pattern && pattern->iType == EMR_CREATEMONOBRUSH;
    if (cv->known && cv->brush && current == cv->brush_source &&
        (!mono || (cv->brush_text == cv->text && cv->brush_back == cv->back)))
        return true;
    HBRUSH brush = pattern ? pattern_brush(cv, pattern) : CreateBrushIndirect(&lb);
    if (!brush)
        return false;
    SelectObject(cv->out, brush);
    if (cv->brush)
        DeleteObject(cv->brush);
    cv->brush = brush;
    cv->brush_source = current;
    cv->brush_text = cv->text;
    cv->brush_back = cv->back;
    return true;
}

// The output's clip made the state DC's, in its units: the bounds, less
// the gaps of the region within them. A new clip starts from none: the
// output's DC is restored to its state before any clip and saved again.
static bool sync_clip(Conversion* cv)
{
    if (!cv->clip_dirty)
        return true;
    cv->clip_dirty = false;
    HRGN now = CreateRectRgn(0, 0, 0, 0);
    if (!now)
        return false;
    int has = GetClipRgn(cv->state, now);
    if (has < 0) {
        DeleteObject(now);
        return false;
    }
    if (has ? (cv->clip && EqualRgn(now, cv->clip)) : !cv->clip) {
        DeleteObject(now);
        return true;
    }
    RestoreDC(cv->out, -1);
    SaveDC(cv->out);
    forget_output(cv);
    if (cv->clip)
        DeleteObject(cv->clip);
    cv->clip = NULL;
    if (!has) {
        DeleteObject(now);
        return true;
    }
    cv->clip = now;
    RECT bounds;
    if (GetRgnBox(now, &bounds) == NULLREGION) {
        IntersectClipRect(cv->out, 0, 0, 0, 0);
        return true;
    }
    if (!fits16(bounds.left) || !fits16(bounds.top) || !fits16(bounds.right) || !fits16(bounds.bottom))
        return false;
    IntersectClipRect(cv->out, bounds.left, bounds.top, bounds.right, bounds.bottom);
    HRGN gaps = CreateRectRgnIndirect(&bounds);
    bool ok = gaps && CombineRgn(gaps, gaps, now, RGN_DIFF) != ERROR;
    DWORD bytes = ok ? GetRegionData(gaps, 0, NULL) : 0;
    RGNDATA* data = bytes && bytes <= sizeof(RGNDATAHEADER) + MAX_RECTS * sizeof(RECT) ? (RGNDATA*)malloc(bytes) : NULL;
    ok = data && GetRegionData(gaps, bytes, data) == bytes && data->rdh.nCount <= MAX_RECTS;
    if (ok) {
        const RECT* rects = (const RECT*)data->Buffer;
        for (DWORD i = 0; i < data->rdh.nCount; ++i)
            ExcludeClipRect(cv->out, rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
    }
    free(data);
    if (gaps)
        DeleteObject(gaps);
    return ok;
}

// Everything but the font a drawing record draws with.
static bool sync_drawing(Conversion* cv, const Affine* a)
{
    if (!sync_clip(cv))
        return false;
    sync_modes(cv);
    if (!sync_pen(cv, a) || !sync_brush(cv))
        return false;
    cv->known = true;
    return true;
}

// ---- shapes, lines and curves

// The state DC's path, flattened, in device units: the figures' points and
// counts, and whether each is closed. The path is taken out of the DC.
struct Figures {
    POINT* points;
    INT* counts;
    bool* closed;
    int figures;
    int total;
};

static void free_figures(Figures* f)
{
    free(f->points);
    free(f->counts);
    free(f->closed);
    memset(f, 0, sizeof *f);
}

static bool take_device_path(Conversion* cv, Figures* f)
{
    memset(f, 0, sizeof *f);
    HDC s = cv->state;
    FlattenPath(s);
    SaveDC(s);
    SetGraphicsMode(s, GM_ADVANCED);
    ModifyWorldTransform(s, NULL, MWT_IDENTITY);
    SetMapMode(s, MM_TEXT);
    SetWindowOrgEx(s, 0, 0, NULL);
    SetViewportOrgEx(s, 0, 0, NULL);
    int n = GetPath(s, NULL, NULL, 0);
    bool ok = true;
    BYTE* types = NULL;
    if (n > 0) {
        cv->points += (uint64_t)n;
        ok = cv->points <= MAX_OUTPUT_POINTS;
        f->points = ok ? (POINT*)malloc(n * sizeof(POINT)) : NULL;
        types = ok ? (BYTE*)malloc(n) : NULL;
        f->counts = ok ? (INT*)malloc(n * sizeof(INT)) : NULL;
        f->closed = ok ? (bool*)malloc(n * sizeof(bool)) : NULL;
        ok = f->points && types && f->counts && f->closed && GetPath(s, f->points, types, n) == n;
    }
    RestoreDC(s, -1);
    AbortPath(s);
    for (int i = 0; ok && i < n; ++i) {
        if (!fits16(f->points[i].x) || !fits16(f->points[i].y)) {
            ok = false;
            break;
        }
        if ((types[i] & ~PT_CLOSEFIGURE) == PT_MOVETO || f->figures == 0) {
            f->counts[f->figures] = 0;
            f->closed[f->figures] = false;
            ++f->figures;
        }
        ++f->counts[f->figures - 1];
        if (types[i] & PT_CLOSEFIGURE)
            f->closed[f->figures - 1] = true;
    }
    f->total = ok ? n : 0;
    free(types);
    if (!ok)
        free_figures(f);
    return ok;
}

// Fills the figures (every one closed) with the output's brush and no pen.
static void fill_figures(Conversion* cv, const Figures* f)
{
    SelectObject(cv->out, GetStockObject(NULL_PEN));
    PolyPolygon(cv->out, f->points, f->counts, f->figures);
    SelectObject(cv->out, cv->pen);
}

// Strokes the figures with the output's pen: a closed one as a polygon
// without fill, so that its last corner is joined as the first.
static void stroke_figures(Conversion* cv, const Figures* f)
{
    SelectObject(cv->out, GetStockObject(NULL_BRUSH));
    const POINT* p = f->points;
    for (int i = 0; i < f->figures; p += f->counts[i], ++i) {
        if (f->closed[i])
            Polygon(cv->out, p, f->counts[i]);
        else if (f->counts[i] > 1)
            Polyline(cv->out, p, f->counts[i]);
    }
    SelectObject(cv->out, cv->brush);
}

static bool all_closed(const Figures* f)
{
    for (int i = 0; i < f->figures; ++i)
        if (!f->closed[i])
            return false;
    return true;
}

// Strokes the state DC's path as its outline (pen_needs_outline), widened
// by the system with the pen's width, ends and joins (and its dashes, as
// far as the system widens them: the comparison judges what it made), and
// filled in the pen's colour. The path is taken out of the DC.
static bool stroke_outline(Conversion* cv, COLORREF colour)
{
    // The system widens by the pen's width and dashes as device units:
    // they are given it scaled as a stroke scales them.
    HDC s = cv->state;
    HGDIOBJ current = GetCurrentObject(s, OBJ_PEN);
    BYTE room[sizeof(EXTLOGPEN) + 64 * sizeof(DWORD)];
    EXTLOGPEN* ext = (EXTLOGPEN*)room;
    const int bytes = GetObjectW(current, 0, NULL);
    const Affine a = state_transform(s);
    const double scale = hypot(a.m11, a.m12);
    HPEN scaled = NULL;
    if (bytes > 0 && bytes <= (int)sizeof room && GetObjectW(current, sizeof room, room) > 0 &&
        ext->elpNumEntries <= 64 && ext->elpWidth * scale <= 32767) {
        DWORD dashes[64];
        for (DWORD i = 0; i < ext->elpNumEntries; ++i)
            dashes[i] = (DWORD)(ext->elpStyleEntry[i] * scale + 0.5) ? (DWORD)(ext->elpStyleEntry[i] * scale + 0.5) : 1;
        LOGBRUSH solid = {BS_SOLID, ext->elpColor, 0};
        const DWORD width = (DWORD)(ext->elpWidth * scale + 0.5);
        scaled = ExtCreatePen(ext->elpPenStyle, width ? width : 1, &solid, ext->elpNumEntries,
                              ext->elpNumEntries ? dashes : NULL);
    }
    HGDIOBJ was = scaled ? SelectObject(s, scaled) : NULL;
    const bool widened = scaled && WidenPath(s);
    if (was)
        SelectObject(s, was);
    if (scaled)
        DeleteObject(scaled);
    if (!widened) {
        AbortPath(s);
        return false;
    }
    Figures f;
    if (!take_device_path(cv, &f))
        return false;
    HBRUSH brush = f.figures ? CreateSolidBrush(colour) : NULL;
    if (brush) {
        SelectObject(cv->out, brush);
        SelectObject(cv->out, GetStockObject(NULL_PEN));
        SetPolyFillMode(cv->out, WINDING);
        PolyPolygon(cv->out, f.points, f.counts, f.figures);
        SetPolyFillMode(cv->out, cv->fill_mode);
        SelectObject(cv->out, cv->pen);
        SelectObject(cv->out, cv->brush);
        DeleteObject(brush);
    }
    free_figures(&f);
    return brush || !f.figures;
}

// The figures of the state DC's path, which is kept in it for its outline
// when the pen's stroke is one: a saved DC holds the path as it was.
static bool take_path_kept(Conversion* cv, Figures* f, bool keep)
{
    if (!keep)
        return take_device_path(cv, f);
    SaveDC(cv->state);
    bool ok = take_device_path(cv, f);
    RestoreDC(cv->state, -1);
    return ok;
}

// A record that draws a shape, a line or a curve, played into a path on
// the state DC (which moves its current position as the record does), and
// its flattened figures drawn: a closed shape filled and outlined in one,
// as the record draws it, a line stroked.
static bool draw_through_path(Conversion* cv, const ENHMETARECORD* r, bool is_shape)
{
    HDC s = cv->state;
    BeginPath(s);
    PlayEnhMetaFileRecord(s, cv->table, r, cv->handles);
    EndPath(s);
    Affine a = state_transform(s);
    COLORREF colour;
    const bool outline = pen_needs_outline(cv, &a, &colour);
    Figures f;
    if (!take_path_kept(cv, &f, outline))
        return false;
    bool ok = f.figures == 0 || sync_drawing(cv, &a);
    if (ok && f.figures) {
        if (is_shape)
            PolyPolygon(cv->out, f.points, f.counts, f.figures);
        else if (!outline)
            stroke_figures(cv, &f);
    }
    const bool drawn = f.figures != 0;
    free_figures(&f);
    if (ok && outline && drawn)
        return stroke_outline(cv, colour);
    if (outline)
        AbortPath(s);
    return ok;
}

// FILLPATH, STROKEPATH, STROKEANDFILLPATH: of the path the state DC holds;
// with none, nothing is drawn, as the system draws nothing.
static bool draw_path(Conversion* cv, DWORD type)
{
    Affine a = state_transform(cv->state);
    COLORREF colour;
    const bool outline = type != EMR_FILLPATH && pen_needs_outline(cv, &a, &colour);
    Figures f;
    if (!take_path_kept(cv, &f, outline))
        return false;
    bool ok = f.figures == 0 || sync_drawing(cv, &a);
    if (ok && f.figures) {
        if (type == EMR_STROKEANDFILLPATH && all_closed(&f) && !outline) {
            PolyPolygon(cv->out, f.points, f.counts, f.figures);
        } else {
            if (type != EMR_STROKEPATH)
                fill_figures(cv, &f);
            if (type != EMR_FILLPATH && !outline)
                stroke_figures(cv, &f);
        }
    }
    const bool drawn = f.figures != 0;
    free_figures(&f);
    if (ok && outline && drawn)
        return stroke_outline(cv, colour);
    if (outline)
        AbortPath(cv->state);
    return ok;
}

// ---- regions

// FILLRGN, PAINTRGN, INVERTRGN: the record's region (logical units) under
// the transform, each of its rectangles blitted with the brush.
static bool draw_region(Conversion* cv, const ENHMETARECORD* r)
{
    const BYTE* rec = (const BYTE*)r;
    const bool has_brush = r->iType == EMR_FILLRGN;
    const uint32_t data_at = has_brush ? 32 : 28;
    if (r->nSize < data_at)
        return false;
    DWORD data_bytes = *(const DWORD*)(rec + 24);
    if (data_bytes > r->nSize - data_at || data_bytes < sizeof(RGNDATAHEADER))
        return false;
    const RGNDATAHEADER* rdh = (const RGNDATAHEADER*)(rec + data_at);
    if (rdh->dwSize < sizeof(RGNDATAHEADER) || rdh->dwSize > data_bytes || rdh->nCount > MAX_RECTS ||
        (uint64_t)rdh->nCount * sizeof(RECT) > data_bytes - rdh->dwSize || region_is_dear(rec + data_at, data_bytes))
        return false;
    Affine a = state_transform(cv->state);
    if (!keeps_axes(&a))
        return false;
    XFORM x = {(FLOAT)a.m11, (FLOAT)a.m12, (FLOAT)a.m21, (FLOAT)a.m22, (FLOAT)a.dx, (FLOAT)a.dy};
    HRGN rgn = ExtCreateRegion(&x, data_bytes, (const RGNDATA*)rdh);
    if (!rgn)
        return false;
    DWORD bytes = GetRegionData(rgn, 0, NULL);
    RGNDATA* data = bytes && bytes <= sizeof(RGNDATAHEADER) + MAX_RECTS * sizeof(RECT) ? (RGNDATA*)malloc(bytes) : NULL;
    bool ok = data && GetRegionData(rgn, bytes, data) == bytes && sync_drawing(cv, &a);
    DeleteObject(rgn);
    DWORD rop = PATCOPY;
    if (r->iType == EMR_INVERTRGN)
        rop = DSTINVERT;
    else if (cv->rop2 == R2_NOT)
        rop = DSTINVERT;
    else if (cv->rop2 == R2_XORPEN)
        rop = PATINVERT;
    else if (cv->rop2 != R2_COPYPEN)
        ok = false;
    HBRUSH fill = NULL;
    if (ok && has_brush) {
        DWORD ih = *(const DWORD*)(rec + 28);
        HGDIOBJ source = ih < (DWORD)cv->handles ? cv->table->objectHandle[ih] : NULL;
        LOGBRUSH lb;
        ok = source && GetObjectW(source, sizeof lb, &lb) == (int)sizeof lb &&
             (lb.lbStyle == BS_SOLID || lb.lbStyle == BS_HATCHED || lb.lbStyle == BS_NULL) &&
             (fill = CreateBrushIndirect(&lb)) != NULL;
        if (ok)
            SelectObject(cv->out, fill);
    }
    if (ok) {
        const RECT* rects = (const RECT*)data->Buffer;
        for (DWORD i = 0; i < data->rdh.nCount && ok; ++i) {
            const RECT* q = &rects[i];
            ok = fits16(q->left) && fits16(q->top) && fits16(q->right) && fits16(q->bottom);
            if (ok)
                PatBlt(cv->out, q->left, q->top, q->right - q->left, q->bottom - q->top, rop);
        }
    }
    if (fill) {
        SelectObject(cv->out, cv->brush);
        DeleteObject(fill);
    }
    free(data);
    return ok;
}

// ---- bitmaps

// The bitmap of a blit record: its header and bits inside the record, and
// bits enough for the rows the header states.
static bool record_bitmap(const ENHMETARECORD* r, DWORD off_bmi, DWORD bmi_bytes, DWORD off_bits, DWORD bits_bytes,
                          const BITMAPINFO** bmi, const void** bits)
{
    if (off_bmi > r->nSize || bmi_bytes > r->nSize - off_bmi || off_bits > r->nSize ||
        bits_bytes > r->nSize - off_bits || bmi_bytes < sizeof(BITMAPINFOHEADER))
        return false;
    const BITMAPINFOHEADER* h = (const BITMAPINFOHEADER*)((const BYTE*)r + off_bmi);
    if (h->biSize < sizeof(BITMAPINFOHEADER) || h->biSize > bmi_bytes || h->biWidth <= 0 || h->biHeight == 0 ||
        h->biPlanes != 1)
        return false;
    if (h->biCompression == BI_RGB || h->biCompression == BI_BITFIELDS) {
        uint64_t rows = h->biHeight < 0 ? -(int64_t)h->biHeight : h->biHeight;
        uint64_t stride = ((uint64_t)h->biWidth * h->biBitCount + 31) / 32 * 4;
        if (stride * rows > bits_bytes)
            return false;
    } else if (h->biSizeImage > bits_bytes) {
        return false;
    }
    *bmi = (const BITMAPINFO*)h;
    *bits = (const BYTE*)r + off_bits;
    return true;
}

// A stretch of the bitmap onto the logical rectangle (x, y, cx, cy) under
// the transform, which must keep the axes. ySrc counts from the top of the
// bitmap for a blit, from its bottom row for a DIB stretch (as the records
// take them).
static bool draw_bitmap(Conversion* cv, LONG x, LONG y, LONG cx, LONG cy, LONG xs, LONG ys, LONG cxs, LONG cys,
                        const BITMAPINFO* bmi, const void* bits, DWORD usage, DWORD rop, bool from_top)
{
    Affine a = state_transform(cv->state);
    POINT p0, p1;
    if (!keeps_axes(&a) || usage != DIB_RGB_COLORS || !map_point(&a, x, y, &p0) ||
        !map_point(&a, (double)x + cx, (double)y + cy, &p1) || !sync_drawing(cv, &a))
        return false;
    LONG height = bmi->bmiHeader.biHeight;
    if (from_top && height > 0)
        ys = height - ys - cys;
    StretchDIBits(cv->out, p0.x, p0.y, p1.x - p0.x, p1.y - p0.y, xs, ys, cxs, cys, bits, bmi, usage, rop);
    return true;
}

static bool draw_stretchdibits(Conversion* cv, const ENHMETARECORD* r)
{
    if (r->nSize < sizeof(EMRSTRETCHDIBITS))
        return false;
    const EMRSTRETCHDIBITS* e = (const EMRSTRETCHDIBITS*)r;
    const BITMAPINFO* bmi;
    const void* bits;
    if (!record_bitmap(r, e->offBmiSrc, e->cbBmiSrc, e->offBitsSrc, e->cbBitsSrc, &bmi, &bits))
        return false;
    return draw_bitmap(cv, e->xDest, e->yDest, e->cxDest, e->cyDest, e->xSrc, e->ySrc, e->cxSrc, e->cySrc, bmi, bits,
                       e->iUsageSrc, e->dwRop, false);
}

// SETDIBITSTODEVICE: the rows go to device pixels one for one, at the
// transformed place, in the output as in the source.
static bool draw_dibits_to_device(Conversion* cv, const ENHMETARECORD* r)
{
    if (r->nSize < sizeof(EMRSETDIBITSTODEVICE))
        return false;
    const EMRSETDIBITSTODEVICE* e = (const EMRSETDIBITSTODEVICE*)r;
    const BITMAPINFO* bmi;
    const void* bits;
    Affine a = state_transform(cv->state);
    POINT p;
    if (!record_bitmap(r, e->offBmiSrc, e->cbBmiSrc, e->offBitsSrc, e->cbBitsSrc, &bmi, &bits) ||
        e->iUsageSrc != DIB_RGB_COLORS || !map_point(&a, e->xDest, e->yDest, &p) || !sync_drawing(cv, &a))
        return false;
    SetDIBitsToDevice(cv->out, p.x, p.y, e->cxSrc, e->cySrc, e->xSrc, e->ySrc, e->iStartScan, e->cScans, bits, bmi,
                      DIB_RGB_COLORS);
    return true;
}

// BITBLT and STRETCHBLT: a pattern blit when there is no source bitmap.
static bool draw_blit(Conversion* cv, const ENHMETARECORD* r)
{
    const bool stretch = r->iType == EMR_STRETCHBLT;
    if (r->nSize < (stretch ? sizeof(EMRSTRETCHBLT) : sizeof(EMRBITBLT)))
        return false;
    const EMRBITBLT* e = (const EMRBITBLT*)r;
    LONG cxs = stretch ? ((const EMRSTRETCHBLT*)r)->cxSrc : e->cxDest;
    LONG cys = stretch ? ((const EMRSTRETCHBLT*)r)->cySrc : e->cyDest;
    if (e->cbBmiSrc == 0) {
        Affine a = state_transform(cv->state);
        POINT p0, p1;
        if (!keeps_axes(&a) || !map_point(&a, e->xDest, e->yDest, &p0) ||
            !map_point(&a, (double)e->xDest + e->cxDest, (double)e->yDest + e->cyDest, &p1) ||
            !sync_drawing(cv, &a))
            return false;
        PatBlt(cv->out, p0.x, p0.y, p1.x - p0.x, p1.y - p0.y, e->dwRop);
        return true;
    }
    // The source rectangle is in the source DC's logical units: its
    // transform (a scale) takes it to the bitmap's pixels.
    const XFORM* xs = &e->xformSrc;
    if (xs->eM12 != 0 || xs->eM21 != 0)
        return false;
    const double x0 = e->xSrc * (double)xs->eM11 + xs->eDx, y0 = e->ySrc * (double)xs->eM22 + xs->eDy;
    const double x1 = ((double)e->xSrc + cxs) * xs->eM11 + xs->eDx, y1 = ((double)e->ySrc + cys) * xs->eM22 + xs->eDy;
    if (!fits16(x0) || !fits16(y0) || !fits16(x1) || !fits16(y1))
        return false;
    const LONG sx = round_long(x0 < x1 ? x0 : x1), sy = round_long(y0 < y1 ? y0 : y1);
    const LONG sw = round_long(fabs(x1 - x0)), sh = round_long(fabs(y1 - y0));
    // A flip of the source is drawn as a flip of the destination.
    LONG x = e->xDest, y = e->yDest, cx = e->cxDest, cy = e->cyDest;
    if (x1 < x0) {
        x += cx;
        cx = -cx;
    }
    if (y1 < y0) {
        y += cy;
        cy = -cy;
    }
    const BITMAPINFO* bmi;
    const void* bits;
    if (!record_bitmap(r, e->offBmiSrc, e->cbBmiSrc, e->offBitsSrc, e->cbBitsSrc, &bmi, &bits))
        return false;
    return draw_bitmap(cv, x, y, cx, cy, sx, sy, sw, sh, bmi, bits, e->iUsageSrc, e->dwRop, true);
}

// ---- text

static bool sync_font(Conversion* cv, const LOGFONTW* key)
{
    if (cv->font.font && !memcmp(key, &cv->font.key, sizeof *key)) {
        if (!cv->font_selected)
            SelectObject(cv->out, cv->font.font);
        cv->font_selected = true;
        return true;
    }
    HFONT font = CreateFontIndirectW(key);
    if (!font)
        return false;
    SelectObject(cv->out, font);
    if (cv->font.font)
        DeleteObject(cv->font.font);
    cv->font.font = font;
    cv->font.key = *key;
    cv->font_selected = true;
    return true;
}

// The advances of text (partial extents, in logical units) as the source's
// play lays it out shown at cv->shown_x, shown_y pixels an output unit: the
// record's font made under the transform of that play (a the state DC's),
// in the record's graphics mode, as the system's player makes it. Under a
// turn, the scale along and across the baseline without it: the system
// measures a turned line along the x axis only.
static bool shown_advances(Conversion* cv, const Affine* a, double along, double across, DWORD graphics_mode,
                           const LOGFONTW* font, const WCHAR* text, int count, INT* partial)
{
    HDC m = cv->measure;
    const bool turned = !keeps_axes(a);
    const double m11 = turned ? along : a->m11, m12 = turned ? 0 : a->m12;
    const double m21 = turned ? 0 : a->m21, m22 = turned ? across : a->m22;
    const XFORM shown = {(FLOAT)(m11 * cv->shown_x), (FLOAT)(m12 * cv->shown_y), (FLOAT)(m21 * cv->shown_x),
                         (FLOAT)(m22 * cv->shown_y), 0, 0};
    HFONT made = CreateFontIndirectW(font);
    bool ok = made && SetGraphicsMode(m, GM_ADVANCED) && SetWorldTransform(m, &shown);
    if (ok && graphics_mode != GM_ADVANCED)
        SetGraphicsMode(m, graphics_mode);
    HGDIOBJ old = ok ? SelectObject(m, made) : NULL;
    SIZE extent;
    ok = old && GetTextExtentExPointW(m, text, count, 0, NULL, partial, &extent) != 0;
    if (old)
        SelectObject(m, old);
    SetGraphicsMode(m, GM_ADVANCED);
    ModifyWorldTransform(m, NULL, MWT_IDENTITY);
    if (made)
        DeleteObject(made);
    return ok;
}

// One text of an EXTTEXTOUT or POLYTEXTOUT record: at its transformed
// place, in the font scaled and turned as the state DC draws it, each
// character advanced by its own scaled advance, so that a line keeps its
// width; text without advances by its font's, as the picture is shown.
static bool draw_text(Conversion* cv, const ENHMETARECORD* r, const EMRTEXT* t, DWORD graphics_mode, bool wide)
{
    const uint32_t size = r->nSize;
    const DWORD n = t->nChars;
    const uint64_t string_bytes = (uint64_t)n * (wide ? 2 : 1);
    if (n > MAX_TEXT_CHARS || t->offString > size || string_bytes > size - t->offString)
        return false;
    const bool pdy = (t->fOptions & ETO_PDY) != 0;
    if (t->offDx && (t->offDx > size || (uint64_t)n * 4 * (pdy ? 2 : 1) > size - t->offDx))
        return false;
    if ((t->fOptions & ETO_GLYPH_INDEX) || (GetTextAlign(cv->state) & TA_UPDATECP))
        return false;
    const BYTE* rec = (const BYTE*)r;
    WCHAR* text = (WCHAR*)malloc((n ? n : 1) * sizeof(WCHAR));
    INT* dx = (INT*)malloc((n ? n : 1) * sizeof(INT));
    INT* partial = (INT*)malloc((n ? n : 1) * sizeof(INT));
    char* bytes = (char*)malloc((n ? n : 1) * 2);
    int* owner = (int*)malloc((n ? n : 1) * 2 * sizeof(int));
    INT* byte_dx = (INT*)malloc((n ? n : 1) * 2 * sizeof(INT));
    int count = (int)n, byte_count = 0;
    bool ok = text && dx && partial && bytes && owner && byte_dx;
    if (ok && wide) {
        memcpy(text, rec + t->offString, n * sizeof(WCHAR));
    } else if (ok && n) {
        CHARSETINFO info;
        UINT cp = TranslateCharsetInfo((DWORD*)(ULONG_PTR)GetTextCharset(cv->state), &info, TCI_SRCCHARSET)
                      ? info.ciACP
                      : CP_ACP;
        count = MultiByteToWideChar(cp, 0, (const char*)rec + t->offString, (int)n, text, (int)n);
        ok = count > 0 && (DWORD)count == n;
    }
    Affine a = state_transform(cv->state);
    LOGFONTW lf;
    ok = ok && GetObjectW(GetCurrentObject(cv->state, OBJ_FONT), sizeof lf, &lf) == (int)sizeof lf;
    const LOGFONTW source_font = lf;
    double along = 0, across = 0;  // output units of a logical unit along and across the baseline
    LONG escapement = ok ? lf.lfEscapement : 0;
    if (ok && graphics_mode == GM_ADVANCED) {
        double det = a.m11 * a.m22 - a.m12 * a.m21;
        along = hypot(a.m11, a.m12);
        double up = hypot(a.m21, a.m22);
        double cosine = along > 0 && up > 0 ? (a.m11 * a.m21 + a.m12 * a.m22) / (along * up) : 1;
        // A mirror or a shear turns glyphs in a way a font cannot.
        ok = det > 0 && fabs(cosine) < 0.01 && lf.lfEscapement == 0;
        across = along > 0 ? det / along : 0;
        escapement = round_long(atan2(-a.m12, a.m11) * 1800.0 / 3.14159265358979323846);
    } else if (ok) {
        ok = keeps_axes(&a);
        along = fabs(a.m11);
        across = fabs(a.m22);
    }
    if (ok && lf.lfHeight == 0) {
        TEXTMETRICW tm;
        ok = GetTextMetricsW(cv->state, &tm) != 0;
        lf.lfHeight = tm.tmHeight;
    }
    POINT at;
    ok = ok && map_point(&a, t->ptlReference.x, t->ptlReference.y, &at);
    if (ok) {
        double height = lf.lfHeight * across, width = lf.lfWidth * along;
        ok = fabs(height) <= 32767 && fabs(width) <= 32767;
        lf.lfHeight = round_long(height);
        if (lf.lfHeight == 0)
            lf.lfHeight = height < 0 ? -1 : 1;
        lf.lfWidth = round_long(width);
        escapement %= 3600;
        lf.lfEscapement = lf.lfOrientation = escapement < 0 ? escapement + 3600 : escapement;
        ok = ok && encode_in_charset(text, count, lf.lfCharSet, &lf.lfCharSet, bytes, owner, &byte_count);
    }
    // Text without advances is laid out by its font at the size it is
    // shown at, whose glyphs round their advances to whole pixels there:
    // the font's advances at the state DC's size, scaled, would place it
    // otherwise, and a Windows metafile written without advances is given
    // the font's at the reference device's size when converted back.
    // Advances in logical units: the record's own, or the font's as shown.
    if (ok && count) {
        if (t->offDx) {
            const INT* own = (const INT*)(rec + t->offDx);
            for (int i = 0; i < count && ok; ++i) {
                dx[i] = own[pdy ? 2 * i : i];
                ok = !pdy || own[2 * i + 1] == 0;
            }
        } else {
            SIZE extent;
            // The state DC's where the picture has no shown size to measure at.
            ok = (cv->shown_x > 0 && cv->shown_y > 0 &&
                  shown_advances(cv, &a, along, across, graphics_mode, &source_font, text, count, partial)) ||
                 GetTextExtentExPointW(cv->state, text, count, 0, NULL, partial, &extent) != 0;
            for (int i = 0; i < count && ok; ++i)
                dx[i] = partial[i] - (i ? partial[i - 1] : 0);
        }
        double sum = 0;
        LONG placed = 0;
        for (int i = 0; i < count && ok; ++i) {
            sum += dx[i] * along;
            LONG next = round_long(sum);
            ok = fits16((double)next - placed);
            dx[i] = next - placed;
            placed = next;
        }
    }
    RECT box = {0, 0, 0, 0};
    const UINT options = t->fOptions & (ETO_OPAQUE | ETO_CLIPPED);
    if (ok && options) {
        POINT p0, p1;
        ok = keeps_axes(&a) && map_point(&a, t->rcl.left, t->rcl.top, &p0) &&
             map_point(&a, t->rcl.right, t->rcl.bottom, &p1);
        box.left = p0.x < p1.x ? p0.x : p1.x;
        box.right = p0.x < p1.x ? p1.x : p0.x;
        box.top = p0.y < p1.y ? p0.y : p1.y;
        box.bottom = p0.y < p1.y ? p1.y : p0.y;
    }
    ok = ok && sync_drawing(cv, &a) && sync_font(cv, &lf);
    // The bytes in the font's code page, written as they are: a character
    // of more than one byte advances by its first.
    for (int i = 0; ok && i < byte_count; ++i)
        byte_dx[i] = i + 1 < byte_count && owner[i + 1] == owner[i] ? 0 : dx[owner[i]];
    if (ok)
        ExtTextOutA(cv->out, at.x, at.y, options, options ? &box : NULL, bytes, byte_count, byte_count ? byte_dx : NULL);
    free(text);
    free(dx);
    free(partial);
    free(bytes);
    free(owner);
    free(byte_dx);
    return ok;
}

static bool draw_text_record(Conversion* cv, const ENHMETARECORD* r)
{
    const bool wide = r->iType == EMR_EXTTEXTOUTW || r->iType == EMR_POLYTEXTOUTW;
    if (r->iType == EMR_EXTTEXTOUTW || r->iType == EMR_EXTTEXTOUTA) {
        if (r->nSize < sizeof(EMREXTTEXTOUTW))
            return false;
        const EMREXTTEXTOUTW* e = (const EMREXTTEXTOUTW*)r;
        return draw_text(cv, r, &e->emrtext, e->iGraphicsMode, wide);
    }
    if (r->nSize < offsetof(EMRPOLYTEXTOUTW, aemrtext))
        return false;
    const EMRPOLYTEXTOUTW* e = (const EMRPOLYTEXTOUTW*)r;
    const uint64_t room = (r->nSize - offsetof(EMRPOLYTEXTOUTW, aemrtext)) / sizeof(EMRTEXT);
    if (e->cStrings < 0 || (uint64_t)e->cStrings > room)
        return false;
    for (LONG i = 0; i < e->cStrings; ++i)
        if (!draw_text(cv, r, &e->aemrtext[i], e->iGraphicsMode, wide))
            return false;
    return true;
}

// ---- the walk

static bool is_shape(DWORD type)
{
    switch (type) {
    case EMR_POLYGON: case EMR_POLYPOLYGON: case EMR_POLYGON16: case EMR_POLYPOLYGON16:
    case EMR_ELLIPSE: case EMR_RECTANGLE: case EMR_ROUNDRECT: case EMR_CHORD: case EMR_PIE:
        return true;
    }
    return false;
}

static bool is_line(DWORD type)
{
    switch (type) {
    case EMR_POLYBEZIER: case EMR_POLYLINE: case EMR_POLYBEZIERTO: case EMR_POLYLINETO:
    case EMR_POLYPOLYLINE: case EMR_ANGLEARC: case EMR_ARC: case EMR_LINETO: case EMR_ARCTO:
    case EMR_POLYDRAW: case EMR_POLYBEZIER16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: case EMR_POLYPOLYLINE16: case EMR_POLYDRAW16:
        return true;
    }
    return false;
}

static bool is_clip_record(DWORD type)
{
    switch (type) {
    case EMR_INTERSECTCLIPRECT: case EMR_EXCLUDECLIPRECT: case EMR_OFFSETCLIPRGN: case EMR_EXTSELECTCLIPRGN:
    case EMR_SELECTCLIPPATH: case EMR_RESTOREDC: case EMR_SETMETARGN:
        return true;
    }
    return false;
}

// A record that draws, outside a path.
static bool draw_record(Conversion* cv, const ENHMETARECORD* r)
{
    DWORD type = r->iType;
    if (type == EMR_RECTANGLE && r->nSize >= sizeof(EMRRECTANGLE)) {
        // A path takes a turned rectangle's two corners only.
        Affine a = state_transform(cv->state);
        if (!keeps_axes(&a)) {
            const RECTL* b = &((const EMRRECTANGLE*)r)->rclBox;
            POINT corners[4];
            if (!map_point(&a, b->left, b->top, &corners[0]) || !map_point(&a, b->right, b->top, &corners[1]) ||
                !map_point(&a, b->right, b->bottom, &corners[2]) || !map_point(&a, b->left, b->bottom, &corners[3]) ||
                !sync_drawing(cv, &a))
                return false;
            Polygon(cv->out, corners, 4);
            return true;
        }
    }
    if (is_shape(type) || is_line(type))
        return draw_through_path(cv, r, is_shape(type));
    switch (type) {
    case EMR_FILLPATH: case EMR_STROKEPATH: case EMR_STROKEANDFILLPATH:
        return draw_path(cv, type);
    case EMR_FILLRGN: case EMR_PAINTRGN: case EMR_INVERTRGN:
        return draw_region(cv, r);
    case EMR_STRETCHDIBITS:
        return draw_stretchdibits(cv, r);
    case EMR_BITBLT: case EMR_STRETCHBLT:
        return draw_blit(cv, r);
    case EMR_SETDIBITSTODEVICE:
        return draw_dibits_to_device(cv, r);
    case EMR_EXTTEXTOUTW: case EMR_EXTTEXTOUTA: case EMR_POLYTEXTOUTW: case EMR_POLYTEXTOUTA:
        return draw_text_record(cv, r);
    case EMR_SETPIXELV: {
        if (r->nSize < sizeof(EMRSETPIXELV))
            return false;
        const EMRSETPIXELV* e = (const EMRSETPIXELV*)r;
        Affine a = state_transform(cv->state);
        POINT p;
        if (!map_point(&a, e->ptlPixel.x, e->ptlPixel.y, &p) || !sync_drawing(cv, &a))
            return false;
        SetPixelV(cv->out, p.x, p.y, e->crColor);
        return true;
    }
    }
    return false;
}

// Whether a record is drawn into the output (outside a path), rather than
// only played on the state DC.
static bool is_drawn(Conversion* cv, DWORD type)
{
    if (cv->in_path)
        return false;
    return type == EMR_FILLPATH || type == EMR_STROKEPATH || type == EMR_STROKEANDFILLPATH || emf_record_draws(type);
}

static int CALLBACK convert_record(HDC dc, HANDLETABLE* table, const ENHMETARECORD* r, int handles, LPARAM data)
{
    Conversion* cv = (Conversion*)data;
    cv->table = table;
    if (cv->failed || !play_budget_allows(&cv->budget) || r->nSize < 8)
        return fail(cv), 0;
    const DWORD type = r->iType;
    if (type == EMR_GDICOMMENT)
        return 1;  // GDI draws nothing of it, nor of the GDI+ records it may hold
    if (is_drawn(cv, type)) {
        if (!draw_record(cv, r))
            return fail(cv), 0;
        return 1;
    }
    if (type == EMR_EXTSELECTCLIPRGN && r->nSize >= 16) {
        const uint32_t data_bytes = ((const DWORD*)r)[2];
        if (data_bytes <= r->nSize - 16 && region_is_dear((const BYTE*)r + 16, data_bytes))
            return fail(cv), 0;
    }
    // A brush deleted (or replaced by a create at its entry) no longer
    // stands for its pattern; its handle may be given to another object.
    const bool frees_entry = type == EMR_DELETEOBJECT || type == EMR_CREATEDIBPATTERNBRUSHPT ||
                             type == EMR_CREATEMONOBRUSH || type == EMR_CREATEBRUSHINDIRECT;
    if (frees_entry && r->nSize >= 12) {
        const DWORD ih = ((const DWORD*)r)[2];
        if (ih < (DWORD)handles && table->objectHandle[ih] == cv->brush_source)
            cv->brush_source = NULL;
        for (uint32_t i = 0; i < cv->pattern_count; ++i)
            if (cv->patterns[i].index == ih)
                cv->patterns[i--] = cv->patterns[--cv->pattern_count];
    }
    PlayEnhMetaFileRecord(dc, table, r, handles);
    if ((type == EMR_CREATEDIBPATTERNBRUSHPT || type == EMR_CREATEMONOBRUSH) && r->nSize >= 32) {
        const DWORD ih = ((const DWORD*)r)[2];
        if (ih < (DWORD)handles && cv->pattern_count < (uint32_t)handles)
            cv->patterns[cv->pattern_count++] = {ih, r};
    }
    if (type == EMR_BEGINPATH)
        cv->in_path = true;
    else if (type == EMR_ENDPATH || type == EMR_ABORTPATH)
        cv->in_path = false;
    if (is_clip_record(type))
        cv->clip_dirty = true;
    return 1;
}

HMETAFILE draw_emf_as_wmf(HENHMETAFILE emf, const RECT* box, SIZE shown)
{
    ENHMETAHEADER header;
    if (!GetEnhMetaFileHeader(emf, sizeof header, &header) || header.nHandles == 0)
        return NULL;
    Conversion cv;
    memset(&cv, 0, sizeof cv);
    cv.handles = (int)header.nHandles;
    cv.patterns = (Conversion::Pattern*)calloc(header.nHandles, sizeof *cv.patterns);
    cv.state = CreateCompatibleDC(NULL);
    cv.measure = CreateCompatibleDC(NULL);
    if (box->right != box->left && box->bottom != box->top) {
        cv.shown_x = fabs((double)shown.cx / ((double)box->right - box->left));
        cv.shown_y = fabs((double)shown.cy / ((double)box->bottom - box->top));
    }
    HBITMAP pixel = CreateBitmap(1, 1, 1, 1, NULL);
    HGDIOBJ old_pixel = cv.state && pixel ? SelectObject(cv.state, pixel) : NULL;
    cv.out = CreateMetaFileW(NULL);
    HMETAFILE result = NULL;
    if (cv.patterns && cv.state && cv.measure && pixel && old_pixel && cv.out) {
        SetWindowOrgEx(cv.out, box->left, box->top, NULL);
        SetWindowExtEx(cv.out, box->right - box->left, box->bottom - box->top, NULL);
        SaveDC(cv.out);
        start_play_budget(&cv.budget);
        const RECT frame = *box;
        EnumEnhMetaFile(cv.state, emf, convert_record, &cv, &frame);
        RestoreDC(cv.out, -1);
    } else {
        cv.failed = true;
    }
    HMETAFILE wmf = cv.out ? CloseMetaFile(cv.out) : NULL;
    if (!cv.failed)
        result = wmf;
    else if (wmf)
        DeleteMetaFile(wmf);
    if (cv.pen)
        DeleteObject(cv.pen);
    if (cv.brush)
        DeleteObject(cv.brush);
    if (cv.font.font)
        DeleteObject(cv.font.font);
    if (cv.clip)
        DeleteObject(cv.clip);
    if (old_pixel)
        SelectObject(cv.state, old_pixel);
    if (pixel)
        DeleteObject(pixel);
    if (cv.state)
        DeleteDC(cv.state);
    if (cv.measure)
        DeleteDC(cv.measure);
    free(cv.patterns);
    return result;
}
