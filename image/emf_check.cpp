// The enhanced-metafile record checks (see emf_check.h); the Windows ones
// are wmf_check.cpp's. Field offsets are those of the records' structures
// in wingdi.h, counted from the record's start; every sum is done in 64
// bits, so no field can wrap past the record. Each rule states what the
// system's player reads of its record: a size it takes fixed fields from,
// counts it walks, handle-table indices it follows, bitmaps it builds.
#include "image/emf_check.h"

#include "image/record_check.h"

#include <stdlib.h>
#include <string.h>

// ---- bitmaps

enum BitmapFlags {
    BITMAP_OPTIONAL = 1,      // a header offset of 0 is a pattern operation: nothing read
    BITMAP_EXACT_BITS = 2,    // all the bits given are copied into a new bitmap of the header's size
    BITMAP_UNCOMPRESSED = 4,  // the bitmap is made a DIB section, which takes no run-length data
    BITMAP_MONO_USAGE = 8,    // usage 2 (1-bit rows, no table) is allowed
};

// The bitmap given by (offset, size) of its header and (offset, size) of
// its bits at field, its colours by the usage at usage_field: both parts
// inside the record, the header one the player takes, its table inside
// the header part and the bits it reads inside the bits part.
static bool bitmap_fits(const BYTE* record, uint32_t size, uint32_t field, uint32_t usage_field, uint32_t flags)
{
    if (!fits(field, 4, 4, size) || !fits(usage_field, 1, 4, size))
        return false;
    uint32_t off_bmi = u32_at(record, field), cb_bmi = u32_at(record, field + 4);
    uint32_t off_bits = u32_at(record, field + 8), cb_bits = u32_at(record, field + 12);
    // The player tells the form without a bitmap by the header's offset
    // alone, whatever size stands beside it.
    if (off_bmi == 0 && (flags & BITMAP_OPTIONAL))
        return true;
    uint32_t usage = u32_at(record, usage_field);
    if (usage > DIB_PAL_COLORS && !(usage == COLORS_MONO && (flags & BITMAP_MONO_USAGE)))
        return false;
    if (!fits(off_bmi, cb_bmi, 1, size) || !fits(off_bits, cb_bits, 1, size))
        return false;
    DibHeader dib;
    if (!read_dib_header(record + off_bmi, cb_bmi, &dib) || dib_table_end(dib, usage) > cb_bmi)
        return false;
    // 1-bit rows without a table; a reader that takes a table anyway finds
    // one of RGB entries inside the record. The mono-brush player takes the
    // size from a 40-byte header whatever the header's own size: a core
    // header of 1 x 1 reads as 65537 x 65537.
    if (usage == COLORS_MONO &&
        (dib.bit_count != 1 || dib.header_bytes < sizeof(BITMAPINFOHEADER) ||
         !fits(off_bmi, dib_table_end(dib, DIB_RGB_COLORS), 1, size)))
        return false;
    if ((flags & BITMAP_UNCOMPRESSED) && dib.is_compressed)
        return false;
    // The bitmap the bits are copied into is made through the palette of
    // the device played on; a metafile device (a conversion) has none to
    // make it through, and the bits are then copied to nowhere.
    if ((flags & BITMAP_EXACT_BITS) && usage == DIB_PAL_COLORS)
        return false;
    if (dib.image_bytes > cb_bits || dib.stated_bytes > cb_bits)
        return false;
    return !(flags & BITMAP_EXACT_BITS) || cb_bits == dib.image_bytes;
}

// Bytes a short colour table of the bitmap given at field (see
// bitmap_fits) lacks of the entries its header implies, in whole words;
// 0 when it lacks none or is not a table that can be filled out: header
// and the table's part inside the record, usage a colour usage.
static uint32_t table_shortfall(const BYTE* record, uint32_t size, uint32_t field, uint32_t usage_field)
{
    if (!fits(field, 4, 4, size) || !fits(usage_field, 1, 4, size))
        return 0;
    uint32_t off_bmi = u32_at(record, field), cb_bmi = u32_at(record, field + 4);
    uint32_t usage = u32_at(record, usage_field);
    DibHeader dib;
    if (off_bmi == 0 || usage > DIB_PAL_COLORS || !fits(off_bmi, cb_bmi, 1, size) ||
        !read_dib_header(record + off_bmi, cb_bmi, &dib) || cb_bmi < dib.header_bytes)
        return 0;
    uint64_t table_end = dib_table_end(dib, usage);
    return table_end > cb_bmi ? (uint32_t)((table_end - cb_bmi + 3) & ~3ull) : 0;
}

// ---- enhanced metafiles

enum { EMR_SMALL_TEXT_OUT = 108, EMR_SET_TEXT_JUSTIFICATION = 120 };  // not named by every wingdi.h
enum { ETO_NO_RECT_FLAG = 0x100, ETO_SMALL_CHARS_FLAG = 0x200 };

enum Shape {
    E_FIXED,             // nothing past the size
    E_OBJECT_INDEX,      // a handle-table index at field
    E_SELECTED_INDEX,    // the same, or a stock object
    E_POINTS,            // count at 24, points of field bytes at 28
    E_DRAW_POINTS,       // the same, then one type byte each
    E_POLY_POINTS,       // polygons at 24, points at 28, counts at 32, points of field bytes
    E_TEXT,              // EMRTEXT at 36; field 2: wide characters
    E_POLY_TEXT,         // count at 36, that many EMRTEXTs from 40; field as E_TEXT
    E_SMALL_TEXT,        // count at 16, options at 20, clip rectangle unless left out, text at 36
    E_BITMAP,            // (offBmi, cbBmi, offBits, cbBits) at field, usage at data, BitmapFlags
    E_REGION,            // region byte count at field, region data at data
    E_CLIP_REGION,       // the same, and no region at all is a valid clip
    E_LOG_PALETTE,       // a 16-bit entry count at 14, entries from 16
    E_PALETTE_ENTRIES,   // a count at 16, entries from 20
    E_PALETTE_SIZE,      // a count at 12 that the palette is resized to
    E_BRUSH_STYLE,       // a style at field the player makes a brush of
    E_PEN_STYLE,         // the same at 36, style entries counted at 48 from 52
    E_COMMENT,           // data bytes counted at 8 from 12
    E_GRADIENT,          // vertices counted at 24 from 36, shapes at 28, mode at 32
    E_BLIT_SIZE,         // a width at field and a height after it the player makes bitmaps of
};

struct RecordRule {
    DWORD type;
    uint32_t min_size;  // bytes the player takes fixed fields from
    Shape shape;
    uint32_t field;
    uint32_t data;
    uint32_t flags;
};

// Every record type the player acts on, in type order; a type with more
// than one row keeps to all of them. Types without a row (the escapes,
// the OpenGL and colour-profile records, the reserved numbers and any
// other) are not played.
static const RecordRule RULES[] = {
    {EMR_HEADER, 88, E_FIXED, 0, 0, 0},
    {EMR_POLYBEZIER, 28, E_POINTS, 8, 0, 0},
    {EMR_POLYGON, 28, E_POINTS, 8, 0, 0},
    {EMR_POLYLINE, 28, E_POINTS, 8, 0, 0},
    {EMR_POLYBEZIERTO, 28, E_POINTS, 8, 0, 0},
    {EMR_POLYLINETO, 28, E_POINTS, 8, 0, 0},
    {EMR_POLYPOLYLINE, 32, E_POLY_POINTS, 8, 0, 0},
    {EMR_POLYPOLYGON, 32, E_POLY_POINTS, 8, 0, 0},
    {EMR_SETWINDOWEXTEX, 16, E_FIXED, 0, 0, 0},
    {EMR_SETWINDOWORGEX, 16, E_FIXED, 0, 0, 0},
    {EMR_SETVIEWPORTEXTEX, 16, E_FIXED, 0, 0, 0},
    {EMR_SETVIEWPORTORGEX, 16, E_FIXED, 0, 0, 0},
    {EMR_SETBRUSHORGEX, 16, E_FIXED, 0, 0, 0},
    {EMR_EOF, 20, E_FIXED, 0, 0, 0},
    {EMR_SETPIXELV, 20, E_FIXED, 0, 0, 0},
    {EMR_SETMAPPERFLAGS, 12, E_FIXED, 0, 0, 0},
    {EMR_SETMAPMODE, 12, E_FIXED, 0, 0, 0},
    {EMR_SETBKMODE, 12, E_FIXED, 0, 0, 0},
    {EMR_SETPOLYFILLMODE, 12, E_FIXED, 0, 0, 0},
    {EMR_SETROP2, 12, E_FIXED, 0, 0, 0},
    {EMR_SETSTRETCHBLTMODE, 12, E_FIXED, 0, 0, 0},
    {EMR_SETTEXTALIGN, 12, E_FIXED, 0, 0, 0},
    {EMR_SETCOLORADJUSTMENT, 32, E_FIXED, 0, 0, 0},
    {EMR_SETTEXTCOLOR, 12, E_FIXED, 0, 0, 0},
    {EMR_SETBKCOLOR, 12, E_FIXED, 0, 0, 0},
    {EMR_OFFSETCLIPRGN, 16, E_FIXED, 0, 0, 0},
    {EMR_MOVETOEX, 16, E_FIXED, 0, 0, 0},
    {EMR_SETMETARGN, 8, E_FIXED, 0, 0, 0},
    {EMR_EXCLUDECLIPRECT, 24, E_FIXED, 0, 0, 0},
    {EMR_INTERSECTCLIPRECT, 24, E_FIXED, 0, 0, 0},
    {EMR_SCALEVIEWPORTEXTEX, 24, E_FIXED, 0, 0, 0},
    {EMR_SCALEWINDOWEXTEX, 24, E_FIXED, 0, 0, 0},
    {EMR_SAVEDC, 8, E_FIXED, 0, 0, 0},
    {EMR_RESTOREDC, 12, E_FIXED, 0, 0, 0},
    {EMR_SETWORLDTRANSFORM, 32, E_FIXED, 0, 0, 0},
    {EMR_MODIFYWORLDTRANSFORM, 36, E_FIXED, 0, 0, 0},
    {EMR_SELECTOBJECT, 12, E_SELECTED_INDEX, 8, 0, 0},
    {EMR_CREATEPEN, 28, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_CREATEBRUSHINDIRECT, 24, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_CREATEBRUSHINDIRECT, 24, E_BRUSH_STYLE, 12, 0, 0},
    {EMR_DELETEOBJECT, 12, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_ANGLEARC, 28, E_FIXED, 0, 0, 0},
    {EMR_ELLIPSE, 24, E_FIXED, 0, 0, 0},
    {EMR_RECTANGLE, 24, E_FIXED, 0, 0, 0},
    {EMR_ROUNDRECT, 32, E_FIXED, 0, 0, 0},
    {EMR_ARC, 40, E_FIXED, 0, 0, 0},
    {EMR_CHORD, 40, E_FIXED, 0, 0, 0},
    {EMR_PIE, 40, E_FIXED, 0, 0, 0},
    {EMR_SELECTPALETTE, 12, E_SELECTED_INDEX, 8, 0, 0},
    {EMR_CREATEPALETTE, 16, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_CREATEPALETTE, 16, E_LOG_PALETTE, 0, 0, 0},
    {EMR_SETPALETTEENTRIES, 20, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_SETPALETTEENTRIES, 20, E_PALETTE_ENTRIES, 0, 0, 0},
    {EMR_RESIZEPALETTE, 16, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_RESIZEPALETTE, 16, E_PALETTE_SIZE, 0, 0, 0},
    {EMR_REALIZEPALETTE, 8, E_FIXED, 0, 0, 0},
    {EMR_EXTFLOODFILL, 24, E_FIXED, 0, 0, 0},
    {EMR_LINETO, 16, E_FIXED, 0, 0, 0},
    {EMR_ARCTO, 40, E_FIXED, 0, 0, 0},
    {EMR_POLYDRAW, 28, E_DRAW_POINTS, 8, 0, 0},
    {EMR_SETARCDIRECTION, 12, E_FIXED, 0, 0, 0},
    {EMR_SETMITERLIMIT, 12, E_FIXED, 0, 0, 0},
    {EMR_BEGINPATH, 8, E_FIXED, 0, 0, 0},
    {EMR_ENDPATH, 8, E_FIXED, 0, 0, 0},
    {EMR_CLOSEFIGURE, 8, E_FIXED, 0, 0, 0},
    {EMR_FILLPATH, 24, E_FIXED, 0, 0, 0},
    {EMR_STROKEANDFILLPATH, 24, E_FIXED, 0, 0, 0},
    {EMR_STROKEPATH, 24, E_FIXED, 0, 0, 0},
    {EMR_FLATTENPATH, 8, E_FIXED, 0, 0, 0},
    {EMR_WIDENPATH, 8, E_FIXED, 0, 0, 0},
    {EMR_SELECTCLIPPATH, 12, E_FIXED, 0, 0, 0},
    {EMR_ABORTPATH, 8, E_FIXED, 0, 0, 0},
    {EMR_GDICOMMENT, 12, E_COMMENT, 0, 0, 0},
    {EMR_FILLRGN, 32, E_OBJECT_INDEX, 28, 0, 0},
    {EMR_FILLRGN, 32, E_REGION, 24, 32, 0},
    {EMR_FRAMERGN, 40, E_OBJECT_INDEX, 28, 0, 0},
    {EMR_FRAMERGN, 40, E_REGION, 24, 40, 0},
    {EMR_INVERTRGN, 28, E_REGION, 24, 28, 0},
    {EMR_PAINTRGN, 28, E_REGION, 24, 28, 0},
    {EMR_EXTSELECTCLIPRGN, 16, E_CLIP_REGION, 8, 16, 0},
    {EMR_BITBLT, 100, E_BITMAP, 84, 80, BITMAP_OPTIONAL},
    {EMR_STRETCHBLT, 108, E_BITMAP, 84, 80, BITMAP_OPTIONAL},
    // Source and mask are both read, whatever their offsets say; the mask
    // and the blit's work bitmaps are made of the destination's size, the
    // parallelogram's of the source's.
    {EMR_MASKBLT, 128, E_BITMAP, 84, 80, 0},
    {EMR_MASKBLT, 128, E_BLIT_SIZE, 32, 0, 0},
    {EMR_MASKBLT, 128, E_BITMAP, 112, 108, BITMAP_MONO_USAGE},
    {EMR_PLGBLT, 140, E_BITMAP, 96, 92, 0},
    {EMR_PLGBLT, 140, E_BLIT_SIZE, 56, 0, 0},
    {EMR_PLGBLT, 140, E_BITMAP, 124, 120, BITMAP_MONO_USAGE},
    {EMR_SETDIBITSTODEVICE, 76, E_BITMAP, 48, 64, 0},
    {EMR_STRETCHDIBITS, 80, E_BITMAP, 48, 64, 0},
    {EMR_EXTCREATEFONTINDIRECTW, 104, E_OBJECT_INDEX, 8, 0, 0},  // the LOGFONTW whole
    {EMR_EXTTEXTOUTA, 76, E_TEXT, 1, 0, 0},
    {EMR_EXTTEXTOUTW, 76, E_TEXT, 2, 0, 0},
    {EMR_POLYBEZIER16, 28, E_POINTS, 4, 0, 0},
    {EMR_POLYGON16, 28, E_POINTS, 4, 0, 0},
    {EMR_POLYLINE16, 28, E_POINTS, 4, 0, 0},
    {EMR_POLYBEZIERTO16, 28, E_POINTS, 4, 0, 0},
    {EMR_POLYLINETO16, 28, E_POINTS, 4, 0, 0},
    {EMR_POLYPOLYLINE16, 32, E_POLY_POINTS, 4, 0, 0},
    {EMR_POLYPOLYGON16, 32, E_POLY_POINTS, 4, 0, 0},
    {EMR_POLYDRAW16, 28, E_DRAW_POINTS, 4, 0, 0},
    {EMR_CREATEMONOBRUSH, 32, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_CREATEMONOBRUSH, 32, E_BITMAP, 16, 12, BITMAP_MONO_USAGE},
    {EMR_CREATEDIBPATTERNBRUSHPT, 32, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_CREATEDIBPATTERNBRUSHPT, 32, E_BITMAP, 16, 12, 0},
    // The player makes the pen's brush of the style and hatch alone; its
    // bitmap is not read.
    {EMR_EXTCREATEPEN, 52, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_EXTCREATEPEN, 52, E_PEN_STYLE, 0, 0, 0},
    {EMR_POLYTEXTOUTA, 40, E_POLY_TEXT, 1, 0, 0},
    {EMR_POLYTEXTOUTW, 40, E_POLY_TEXT, 2, 0, 0},
    {EMR_SETICMMODE, 12, E_FIXED, 0, 0, 0},
    {EMR_CREATECOLORSPACE, 340, E_OBJECT_INDEX, 8, 0, 0},  // the LOGCOLORSPACEA whole
    {EMR_SETCOLORSPACE, 12, E_OBJECT_INDEX, 8, 0, 0},     // no stock colour spaces: an index only
    {EMR_DELETECOLORSPACE, 12, E_OBJECT_INDEX, 8, 0, 0},
    {EMR_PIXELFORMAT, 48, E_FIXED, 0, 0, 0},
    {EMR_SMALL_TEXT_OUT, 36, E_SMALL_TEXT, 0, 0, 0},
    {EMR_ALPHABLEND, 108, E_BITMAP, 84, 80, BITMAP_OPTIONAL | BITMAP_EXACT_BITS | BITMAP_UNCOMPRESSED},
    {EMR_SETLAYOUT, 12, E_FIXED, 0, 0, 0},
    {EMR_TRANSPARENTBLT, 108, E_BITMAP, 84, 80, BITMAP_OPTIONAL | BITMAP_EXACT_BITS | BITMAP_UNCOMPRESSED},
    {EMR_GRADIENTFILL, 36, E_GRADIENT, 0, 0, 0},
    {EMR_SET_TEXT_JUSTIFICATION, 16, E_FIXED, 0, 0, 0},
};

enum { EMRTEXT_BYTES = 40, REGION_HEADER_BYTES = 32, REGION_RECT_BYTES = 16 };
enum { MAX_PALETTE_ENTRIES = 0xFFFF };  // what a LOGPALETTE can count
enum { DEFAULT_PALETTE_ENTRIES = 20 };  // the stock palette's, selected before any record
// Rectangles one region record may bring. The player builds a region a
// rectangle at a time, each joined to all before it, and a clip region
// under a transform a polygon per rectangle: the work grows with the
// square of the count. Regions that recorders write of real drawings
// (clips of curves and text) hold some hundreds.
enum { MAX_REGION_RECTS = 10000 };

// An EMRTEXT at the offset: it and its string inside the record, and its
// spacing too where the player reads it (the poly-text player reads it
// even at offset 0, that is from the record's start). ANSI text drawn by
// glyph index is read as 16-bit glyphs.
static bool text_fits(const BYTE* record, uint32_t size, uint64_t at, bool wide, bool dx_always_read)
{
    if (!fits(at, 1, EMRTEXT_BYTES, size))
        return false;
    uint32_t chars = u32_at(record, at + 8), off_string = u32_at(record, at + 12);
    uint32_t options = u32_at(record, at + 16), off_dx = u32_at(record, at + 36);
    if (!fits(off_string, chars, wide || (options & ETO_GLYPH_INDEX) ? 2 : 1, size))
        return false;
    return (off_dx == 0 && !dx_always_read) || fits(off_dx, chars, options & ETO_PDY ? 8 : 4, size);
}

// Region data at data, its byte count at field: the header and the
// rectangles it counts (after the header's own size, which the system may
// take as their start) inside that count, and the count inside the record.
// A clip record may hold no region; the player then still reads a header
// the record has room for.
static bool region_fits(const BYTE* record, uint32_t size, const RecordRule& rule,
                        uint32_t max_rects = MAX_REGION_RECTS)
{
    if (!fits(rule.field, 1, 4, size))
        return false;
    uint32_t bytes = u32_at(record, rule.field);
    if (!fits(rule.data, bytes, 1, size))
        return false;
    if (rule.shape == E_CLIP_REGION && bytes < REGION_HEADER_BYTES) {
        if (!fits(rule.data, 1, REGION_HEADER_BYTES, size))
            return true;
        bytes = size - rule.data;
    }
    if (bytes < REGION_HEADER_BYTES)
        return false;
    uint32_t header = u32_at(record, rule.data), rects = u32_at(record, rule.data + 8);
    if (rects > max_rects)
        return false;
    uint32_t first_rect = header > (uint32_t)REGION_HEADER_BYTES ? header : (uint32_t)REGION_HEADER_BYTES;
    return fits(first_rect, rects, REGION_RECT_BYTES, bytes);
}

// Vertices of 16 bytes, then triangles of three or rectangles of two
// vertex indices, each inside the vertices.
static bool gradient_fits(const BYTE* record, uint32_t size)
{
    uint32_t vertices = u32_at(record, 24), shapes = u32_at(record, 28), mode = u32_at(record, 32);
    if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V && mode != GRADIENT_FILL_TRIANGLE)
        return false;
    uint32_t corners = mode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
    if (!fits(36, vertices, 16, size))
        return false;
    uint64_t first_shape = 36 + 16ull * vertices;
    if (!fits(first_shape, shapes, 4ull * corners, size))
        return false;
    for (uint64_t i = 0; i < (uint64_t)shapes * corners; i++)
        if (u32_at(record, first_shape + 4 * i) >= vertices)
            return false;
    return true;
}

// A bitmap whose colours index the selected palette is made through it,
// and none can be made through an empty one: a player that goes on to
// copy bits into it copies them to nowhere.
static bool palette_colors_fit(const BYTE* record, const RecordRule& rule, const EmfCheckState* state)
{
    if (u32_at(record, rule.field) == 0 && (rule.flags & BITMAP_OPTIONAL))
        return true;
    return u32_at(record, rule.data) != DIB_PAL_COLORS || state->selected_entries > 0;
}

static bool shape_fits(const BYTE* record, uint32_t size, const RecordRule& rule, const EmfCheckState* state)
{
    uint32_t handles = state->handles;
    switch (rule.shape) {
    case E_FIXED:
        return true;
    case E_OBJECT_INDEX:
    case E_SELECTED_INDEX: {
        uint32_t index = u32_at(record, rule.field);
        if (rule.shape == E_SELECTED_INDEX && (index & 0x80000000u))
            return true;  // a stock object
        return index >= 1 && index < handles;
    }
    case E_POINTS:
        return fits(28, u32_at(record, 24), rule.field, size);
    case E_DRAW_POINTS:
        return fits(28, u32_at(record, 24), rule.field + 1, size);
    case E_POLY_POINTS: {
        uint32_t polygons = u32_at(record, 24), points = u32_at(record, 28);
        if (!fits(32 + 4ull * polygons, points, rule.field, size))
            return false;
        uint64_t counted = 0;
        for (uint32_t i = 0; i < polygons; i++)
            counted += u32_at(record, 32 + 4ull * i);
        return counted <= points;
    }
    case E_TEXT:
        return text_fits(record, size, 36, rule.field == 2, false);
    case E_POLY_TEXT: {
        uint32_t strings = u32_at(record, 36);
        if (!fits(40, strings, EMRTEXT_BYTES, size))
            return false;
        // Strings that share their bytes would have the player draw (and
        // the play count) far more characters than the record holds.
        uint64_t text_bytes = 0;
        for (uint32_t i = 0; i < strings; i++) {
            uint64_t at = 40 + (uint64_t)i * EMRTEXT_BYTES;
            if (!text_fits(record, size, at, rule.field == 2, true))
                return false;
            bool is_wide = rule.field == 2 || (u32_at(record, at + 16) & ETO_GLYPH_INDEX);
            text_bytes += (uint64_t)u32_at(record, at + 8) * (is_wide ? 2 : 1);
        }
        return text_bytes <= size;
    }
    case E_SMALL_TEXT: {
        uint32_t chars = u32_at(record, 16), options = u32_at(record, 20);
        uint64_t text = 36 + (options & ETO_NO_RECT_FLAG ? 0 : 16);
        return fits(text, chars, options & ETO_SMALL_CHARS_FLAG ? 1 : 2, size);
    }
    case E_BITMAP:
        return bitmap_fits(record, size, rule.field, rule.data, rule.flags) && palette_colors_fit(record, rule, state);
    case E_REGION:
    case E_CLIP_REGION:
        return region_fits(record, size, rule);
    case E_LOG_PALETTE:
        return fits(16, u16_at(record, 14), 4, size);
    case E_PALETTE_ENTRIES:
        return fits(20, u32_at(record, 16), 4, size);
    case E_PALETTE_SIZE:
        // The player's resize to none frees the entries, and the palette's
        // deletion frees them again.
        return u32_at(record, 12) >= 1 && u32_at(record, 12) <= MAX_PALETTE_ENTRIES;
    case E_BRUSH_STYLE:
        return brush_style_is_plain(u32_at(record, rule.field));
    case E_PEN_STYLE:
        return brush_style_is_plain(u32_at(record, 36)) && fits(52, u32_at(record, 48), 4, size);
    case E_COMMENT:
        return fits(12, u32_at(record, 8), 1, size);
    case E_GRADIENT:
        return gradient_fits(record, size);
    case E_BLIT_SIZE: {
        int64_t width = (int32_t)u32_at(record, rule.field), height = (int32_t)u32_at(record, rule.field + 4);
        return (uint64_t)(width < 0 ? -width : width) * (uint64_t)(height < 0 ? -height : height) <= MAX_BITMAP_PIXELS;
    }
    }
    return false;
}

// ---- the player's state

enum StateEffect {
    MAKES_OBJECT,     // a new object at the index: no palette there any more
    MAKES_PALETTE,    // a palette of the 16-bit count at 14 at the index
    RESIZES_PALETTE,  // the palette at the index gets the count at 12
    SELECTS_PALETTE,  // the palette at the index (or a stock one) is selected
};

// The records that change what the rules judge by; index at byte 8.
static const struct {
    DWORD type;
    StateEffect effect;
} STATE_EFFECTS[] = {
    {EMR_CREATEPEN, MAKES_OBJECT},
    {EMR_CREATEBRUSHINDIRECT, MAKES_OBJECT},
    {EMR_DELETEOBJECT, MAKES_OBJECT},
    {EMR_SELECTPALETTE, SELECTS_PALETTE},
    {EMR_CREATEPALETTE, MAKES_PALETTE},
    {EMR_RESIZEPALETTE, RESIZES_PALETTE},
    {EMR_EXTCREATEFONTINDIRECTW, MAKES_OBJECT},
    {EMR_CREATEMONOBRUSH, MAKES_OBJECT},
    {EMR_CREATEDIBPATTERNBRUSHPT, MAKES_OBJECT},
    {EMR_EXTCREATEPEN, MAKES_OBJECT},
    {EMR_CREATECOLORSPACE, MAKES_OBJECT},
};

void begin_emf_check(EmfCheckState* state, uint32_t handles)
{
    state->handles = handles;
    state->palettes = NULL;
    state->selected = 0;
    state->selected_entries = DEFAULT_PALETTE_ENTRIES;
}

void end_emf_check(EmfCheckState* state)
{
    free(state->palettes);
    state->palettes = NULL;
}

// The state after a sound record of the type. False when there is no
// memory to keep it: the record is then not played.
static bool apply_state_effect(const BYTE* record, EmfCheckState* state)
{
    uint32_t type = u32_at(record, 0), index = u32_at(record, 8);
    for (const auto& row : STATE_EFFECTS) {
        if (row.type != type)
            continue;
        if (row.effect == SELECTS_PALETTE) {
            if (index & 0x80000000u) {
                // Stock objects other than the palette are not palettes: the selection fails.
                if ((index & 0x7FFFFFFFu) == DEFAULT_PALETTE) {
                    state->selected = 0;
                    state->selected_entries = DEFAULT_PALETTE_ENTRIES;
                }
            } else if (state->palettes && state->palettes[index]) {
                state->selected = index;
                state->selected_entries = state->palettes[index] - 1;
            }
            return true;
        }
        // The selected palette stays selected when its entry is taken.
        if (row.effect != RESIZES_PALETTE && state->selected == index)
            state->selected = 0;
        if (row.effect == MAKES_OBJECT) {
            if (state->palettes)
                state->palettes[index] = 0;
            return true;
        }
        if (row.effect == RESIZES_PALETTE && !(state->palettes && state->palettes[index]))
            return true;  // not a palette there: the player's resize fails
        if (!state->palettes) {
            state->palettes = (uint32_t*)calloc(state->handles, sizeof *state->palettes);
            if (!state->palettes)
                return false;
        }
        uint32_t entries = row.effect == MAKES_PALETTE ? u16_at(record, 14) : u32_at(record, 12);
        state->palettes[index] = entries + 1;
        if (state->selected == index)
            state->selected_entries = entries;
        return true;
    }
    return true;
}

// PASSES_LIMIT: the record keeps its rule but for a limit the rules keep
// the player's work within (a region of more rectangles than they take).
// KEPT_WHEN_MENDED: it keeps them in the copy of
// emf_record_with_full_tables, which is what the player is given.
enum RuleResult { NO_RULE, KEEPS_RULE, BREAKS_RULE, PASSES_LIMIT, KEPT_WHEN_MENDED };

// The record types that draw on the device; the OpenGL records among
// them have no rule and are never played.
static const DWORD DRAWING_TYPES[] = {
    EMR_POLYBEZIER,      EMR_POLYGON,          EMR_POLYLINE,        EMR_POLYBEZIERTO,     EMR_POLYLINETO,
    EMR_POLYPOLYLINE,    EMR_POLYPOLYGON,      EMR_SETPIXELV,       EMR_ANGLEARC,         EMR_ELLIPSE,
    EMR_RECTANGLE,       EMR_ROUNDRECT,        EMR_ARC,             EMR_CHORD,            EMR_PIE,
    EMR_EXTFLOODFILL,    EMR_LINETO,           EMR_ARCTO,           EMR_POLYDRAW,         EMR_FILLPATH,
    EMR_STROKEANDFILLPATH, EMR_STROKEPATH,     EMR_FILLRGN,         EMR_FRAMERGN,         EMR_INVERTRGN,
    EMR_PAINTRGN,        EMR_BITBLT,           EMR_STRETCHBLT,      EMR_MASKBLT,          EMR_PLGBLT,
    EMR_SETDIBITSTODEVICE, EMR_STRETCHDIBITS,  EMR_EXTTEXTOUTA,     EMR_EXTTEXTOUTW,      EMR_POLYBEZIER16,
    EMR_POLYGON16,       EMR_POLYLINE16,       EMR_POLYBEZIERTO16,  EMR_POLYLINETO16,     EMR_POLYPOLYLINE16,
    EMR_POLYPOLYGON16,   EMR_POLYDRAW16,       EMR_POLYTEXTOUTA,    EMR_POLYTEXTOUTW,     EMR_GLSRECORD,
    EMR_GLSBOUNDEDRECORD, EMR_SMALL_TEXT_OUT, EMR_ALPHABLEND,     EMR_TRANSPARENTBLT,   EMR_GRADIENTFILL,
};

static bool is_drawing_type(DWORD type)
{
    for (DWORD drawing : DRAWING_TYPES)
        if (type == drawing)
            return true;
    return false;
}

static bool has_rule(DWORD type)
{
    for (const RecordRule& rule : RULES)
        if (rule.type == type)
            return true;
    return false;
}

bool emf_record_draws(DWORD type)
{
    return is_drawing_type(type);
}

bool emf_record_is_silent(DWORD type)
{
    return type == EMR_GDICOMMENT || (!has_rule(type) && !is_drawing_type(type));
}

// A comment holding records of the GDI+ format: GDI draws nothing of them.
static bool is_emf_plus_comment(const BYTE* record, uint32_t size)
{
    enum { EMF_PLUS_ID = 0x2B464D45 };  // "EMF+"
    return u32_at(record, 0) == EMR_GDICOMMENT && size >= 16 && u32_at(record, 8) >= 4 &&
           u32_at(record, 12) == EMF_PLUS_ID;
}

// Writers that count only the colours a bitmap uses give a table shorter
// than its header implies (a 0 count meaning all of them), and the player
// would read the rest past the table. The copy has the missing entries
// black, every offset after them moved along.
BYTE* emf_record_with_full_tables(const BYTE* record, uint32_t size, uint32_t* copy_size)
{
    if (!record || size < 8)
        return NULL;
    BYTE* copy = NULL;
    uint32_t type = u32_at(record, 0);
    // Every record of a play passes here: most are no bitmap's.
    switch (type) {
    case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_MASKBLT: case EMR_PLGBLT: case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT: case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
        break;
    default:
        return NULL;
    }
    for (const RecordRule& rule : RULES) {
        if (rule.type != type || rule.shape != E_BITMAP || size < rule.min_size)
            continue;
        const BYTE* now = copy ? copy : record;
        uint32_t now_size = copy ? *copy_size : size;
        uint32_t pad = table_shortfall(now, now_size, rule.field, rule.data);
        if (!pad || (uint64_t)now_size + pad > UINT32_MAX - 3)
            continue;
        uint32_t at = u32_at(now, rule.field) + u32_at(now, rule.field + 4);
        BYTE* grown = (BYTE*)malloc((size_t)now_size + pad);
        if (!grown) {
            free(copy);
            return NULL;
        }
        memcpy(grown, now, at);
        memset(grown + at, 0, pad);
        memcpy(grown + at + pad, now + at, now_size - at);
        free(copy);
        copy = grown;
        *copy_size = now_size + pad;
        // The record's size, this table's size and every part at or past
        // its end; the offsets lie at rule.field of each bitmap rule.
        memcpy(copy + 4, copy_size, 4);
        uint32_t table_bytes = u32_at(copy, rule.field + 4) + pad;
        memcpy(copy + rule.field + 4, &table_bytes, 4);
        for (const RecordRule& other : RULES) {
            if (other.type != type || other.shape != E_BITMAP)
                continue;
            for (uint32_t part = other.field; part <= other.field + 8; part += 8) {
                uint32_t offset = u32_at(copy, part);
                if (offset >= at && offset != 0) {
                    offset += pad;
                    memcpy(copy + part, &offset, 4);
                }
            }
        }
    }
    return copy;
}

// The record against its rules and the state; a record that keeps them
// changes the state.
static RuleResult check_emf_record(const BYTE* record, uint32_t size, EmfCheckState* state)
{
    uint32_t type = u32_at(record, 0);
    RuleResult result = NO_RULE;
    for (const RecordRule& rule : RULES) {
        if (rule.type != type)
            continue;
        if (size < rule.min_size)
            return BREAKS_RULE;
        if (!shape_fits(record, size, rule, state))
            return (rule.shape == E_REGION || rule.shape == E_CLIP_REGION) && region_fits(record, size, rule, UINT32_MAX)
                       ? PASSES_LIMIT
                       : BREAKS_RULE;
        result = KEEPS_RULE;
    }
    if (result == KEEPS_RULE && !apply_state_effect(record, state))
        return BREAKS_RULE;
    return result;
}

bool emf_record_is_sound(const BYTE* record, uint32_t size, EmfCheckState* state)
{
    return record && state && size >= 8 && check_emf_record(record, size, state) == KEEPS_RULE;
}

// Walks the records from the header on: calls keep with each whole record
// and what its check gave, until the end record (true when it ends the
// bits, as the player needs) or a record that leaves them (false).
template <typename Keep>
static bool walk_emf_records(const BYTE* bits, uint32_t end, uint32_t handles, Keep keep)
{
    EmfCheckState state;
    begin_emf_check(&state, handles);
    bool ended = false;
    uint32_t at = 0;
    while (end - at >= 8) {
        const BYTE* record = bits + at;
        uint32_t type = u32_at(record, 0), record_size = u32_at(record, 4);
        if (record_size < 8 || record_size % 4 || record_size > end - at)
            break;
        RuleResult result = check_emf_record(record, record_size, &state);
        if (result == BREAKS_RULE) {
            uint32_t mended_size = 0;
            BYTE* mended = emf_record_with_full_tables(record, record_size, &mended_size);
            if (mended && check_emf_record(mended, mended_size, &state) == KEEPS_RULE)
                result = KEPT_WHEN_MENDED;
            free(mended);
        }
        if (!keep(record, record_size, result))
            break;
        // The player walks on to the header's byte count, past an end
        // record, and would spin on a record of size 0 there.
        if (type == EMR_EOF) {
            ended = record_size == end - at;
            break;
        }
        at += record_size;
    }
    end_emf_check(&state);
    return ended;
}

static const ENHMETAHEADER* sound_emf_header(const BYTE* bits, UINT size)
{
    const ENHMETAHEADER* header = (const ENHMETAHEADER*)bits;
    if (!bits || size < sizeof *header || header->iType != EMR_HEADER || header->nBytes > size ||
        header->nSize > header->nBytes)
        return NULL;
    return header;
}

EmfSoundness emf_bits_soundness(const BYTE* bits, UINT size)
{
    const ENHMETAHEADER* header = sound_emf_header(bits, size);
    bool has_emf_plus = false, draws = false, past_limit = false;
    bool chained = header && walk_emf_records(bits, header->nBytes, header->nHandles,
                                              [&](const BYTE* record, uint32_t bytes, RuleResult result) {
                                                  has_emf_plus |= is_emf_plus_comment(record, bytes);
                                                  draws |= is_drawing_type(u32_at(record, 0));
                                                  past_limit = result == PASSES_LIMIT;
                                                  return result != BREAKS_RULE && !past_limit;
                                              });
    if (past_limit)
        return EMF_PAST_LIMIT;
    if (!chained)
        return EMF_UNSOUND;
    // A picture drawn in GDI+ records alone shows nothing through GDI.
    return draws || !has_emf_plus ? EMF_SOUND : EMF_PLUS_ONLY;
}

bool emf_bits_are_sound(const BYTE* bits, UINT size)
{
    return emf_bits_soundness(bits, size) == EMF_SOUND;
}

uint32_t copy_sound_emf_records(const BYTE* bits, uint32_t size, BYTE* out)
{
    const ENHMETAHEADER* header = sound_emf_header(bits, size);
    if (!header)
        return 0;
    uint32_t copied = 0, records = 0;
    bool header_is_sound = false, ended = false;
    walk_emf_records(bits, header->nBytes, header->nHandles, [&](const BYTE* record, uint32_t bytes, RuleResult result) {
        if (records == 0)
            header_is_sound = result == KEEPS_RULE && u32_at(record, 0) == EMR_HEADER;
        if (!header_is_sound)
            return false;
        if (result == KEEPS_RULE) {
            memmove(out + copied, record, bytes);
            copied += bytes;
            records++;
            ended = u32_at(record, 0) == EMR_EOF;
        }
        return true;
    });
    if (!header_is_sound)
        return 0;
    if (!ended) {
        static const uint32_t END_RECORD[EMF_END_RECORD_BYTES / 4] = {EMR_EOF, 20, 0, 16, 20};
        memcpy(out + copied, END_RECORD, sizeof END_RECORD);
        copied += sizeof END_RECORD;
        records++;
    }
    ENHMETAHEADER* copy = (ENHMETAHEADER*)out;
    copy->nBytes = copied;
    copy->nRecords = records;
    return copied;
}

TextGlyphs emf_text_glyphs(const BYTE* record, uint32_t size)
{
    TextGlyphs glyphs = {0, 0};
    if (!record || size < 8)
        return glyphs;
    uint32_t type = u32_at(record, 0);
    uint32_t strings = 1, first = 36;  // the EMRTEXTs
    switch (type) {
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
    case EMR_SMALL_TEXT_OUT:
        break;
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW:
        strings = u32_at(record, 36), first = 40;
        break;
    default:
        return glyphs;
    }
    uint32_t seen[65536 / 32] = {0};
    if (type == EMR_SMALL_TEXT_OUT) {
        uint32_t chars = u32_at(record, 16), options = u32_at(record, 20);
        count_new_glyphs(record, 36 + (options & ETO_NO_RECT_FLAG ? 0 : 16), chars,
                         options & ETO_SMALL_CHARS_FLAG ? 1 : 2, (options & ETO_GLYPH_INDEX) != 0, seen, &glyphs);
        return glyphs;
    }
    bool is_wide = type == EMR_EXTTEXTOUTW || type == EMR_POLYTEXTOUTW;
    for (uint32_t i = 0; i < strings; i++) {
        uint64_t at = first + (uint64_t)i * EMRTEXT_BYTES;
        uint32_t chars = u32_at(record, at + 8), options = u32_at(record, at + 16);
        count_new_glyphs(record, u32_at(record, at + 12), chars, is_wide || (options & ETO_GLYPH_INDEX) ? 2 : 1,
                         (options & ETO_GLYPH_INDEX) != 0, seen, &glyphs);
    }
    return glyphs;
}
