// The metafile record checks (see emf_check.h). Field offsets are those of
// the records' structures in wingdi.h, counted from the record's start (for
// a Windows metafile, from its first parameter); every sum is done in 64
// bits, so no field can wrap past the record. Each rule states what the
// system's player reads of its record: a size it takes fixed fields from,
// counts it walks, handle-table indices it follows, bitmaps it builds.
#include "image/emf_check.h"

#include <stdlib.h>
#include <string.h>

static uint16_t u16_at(const BYTE* p, uint64_t offset)
{
    return (uint16_t)(p[offset] | (p[offset + 1] << 8));
}

static uint32_t u32_at(const BYTE* p, uint64_t offset)
{
    p += offset;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// offset + count * unit bytes lie within size.
static bool fits(uint64_t offset, uint64_t count, uint64_t unit, uint64_t size)
{
    return offset <= size && count * unit <= size - offset;
}

// ---- bitmaps

// Largest bitmap a record may make the player build: a few bytes of
// run-length data can describe a bitmap of any size.
enum { MAX_BITMAP_PIXELS = 0x1000000 };
enum { COLORS_MONO = 2 };  // a mono brush's usage: 1-bit rows, no colour table

// A packed DIB header the player takes: its bytes with the bit-field masks,
// the colours of its table, the bytes of an RGB table entry, the bytes of
// pixel data it reads (the rows, or the run-length data's stated size),
// and the image size the header states, which the system's recorder
// copies whole into a converted file whatever the compression: stated
// past the bits, it carries what lies after them into the file.
struct DibHeader {
    uint64_t header_bytes;
    uint64_t colors;
    uint32_t rgb_entry;
    uint32_t bit_count;
    bool is_compressed;
    uint64_t image_bytes;
    uint64_t stated_bytes;
};

// The header at p, with room bytes after it: a 12-byte core header or one
// of 40 bytes or more, one plane, a bit count its compression allows, and
// a size within MAX_BITMAP_PIXELS.
static bool read_dib_header(const BYTE* p, uint64_t room, DibHeader* dib)
{
    if (room < sizeof(BITMAPCOREHEADER))
        return false;
    uint32_t header = u32_at(p, 0);
    int64_t width, height;
    uint32_t planes, bits, compression = BI_RGB, image_size = 0, used = 0;
    if (header == sizeof(BITMAPCOREHEADER)) {
        width = u16_at(p, 4);
        height = u16_at(p, 6);
        planes = u16_at(p, 8);
        bits = u16_at(p, 10);
        dib->rgb_entry = 3;
    } else if (header >= sizeof(BITMAPINFOHEADER) && header <= room) {
        width = (int32_t)u32_at(p, 4);
        height = (int32_t)u32_at(p, 8);
        planes = u16_at(p, 12);
        bits = u16_at(p, 14);
        compression = u32_at(p, 16);
        image_size = u32_at(p, 20);
        used = u32_at(p, 32);
        dib->rgb_entry = 4;
    } else {
        return false;
    }
    bool is_run_length = compression == BI_RLE8 || compression == BI_RLE4;
    if (height < 0 && !is_run_length)
        height = -height;
    if (width < 1 || height < 1 || planes != 1)
        return false;
    bool bits_allowed;
    switch (compression) {
    case BI_RGB: bits_allowed = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; break;
    case BI_BITFIELDS: bits_allowed = bits == 16 || bits == 32; break;
    case BI_RLE8: bits_allowed = bits == 8; break;
    case BI_RLE4: bits_allowed = bits == 4; break;
    default: bits_allowed = false; break;  // JPEG, PNG and the like: no player here takes them
    }
    if (!bits_allowed || (uint64_t)width * (uint64_t)height > MAX_BITMAP_PIXELS)
        return false;
    if (bits <= 8 && used > (1u << bits))
        return false;
    dib->header_bytes = header + (compression == BI_BITFIELDS && header == sizeof(BITMAPINFOHEADER) ? 12 : 0);
    dib->colors = used ? used : bits <= 8 ? 1u << bits : 0;
    dib->bit_count = bits;
    dib->is_compressed = is_run_length;
    // The run-length decoder reads to the stated size less one byte.
    if (is_run_length && image_size < 2)
        return false;
    dib->image_bytes = is_run_length ? image_size : ((uint64_t)width * bits + 31) / 32 * 4 * (uint64_t)height;
    dib->stated_bytes = image_size;
    return true;
}

// Bytes of header and colour table as the player reads them with usage.
static uint64_t dib_table_end(const DibHeader& dib, uint32_t usage)
{
    if (usage == COLORS_MONO)
        return dib.header_bytes;
    return dib.header_bytes + dib.colors * (usage == DIB_PAL_COLORS ? 2 : dib.rgb_entry);
}

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

// Brushes the player can make of a style and a colour: a pattern style
// would make it take the hatch field for a bitmap handle or an address.
static bool brush_style_is_plain(uint32_t style)
{
    return style == BS_SOLID || style == BS_NULL || style == BS_HATCHED;
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

// Marks the glyph in seen (65536 bits); true when it is new.
static bool is_new_glyph(uint32_t* seen, uint32_t glyph)
{
    uint32_t bit = 1u << (glyph % 32);
    if (seen[glyph / 32] & bit)
        return false;
    seen[glyph / 32] |= bit;
    return true;
}

// Adds to *glyphs the new glyphs of chars characters of unit bytes at
// offset, and their end when they are glyph indices (is_index).
static void count_new_glyphs(const BYTE* record, uint64_t at, uint32_t chars, uint32_t unit, bool is_index,
                             uint32_t* seen, TextGlyphs* glyphs)
{
    for (uint64_t i = 0; i < chars; i++) {
        uint32_t glyph = unit == 2 ? u16_at(record, at + 2 * i) : record[at + i];
        glyphs->distinct += is_new_glyph(seen, glyph);
        if (is_index && glyph + 1 > glyphs->index_end)
            glyphs->index_end = glyph + 1;
    }
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

// ---- Windows metafiles

enum WmfShape {
    W_FIXED,          // nothing past the parameter words
    W_INDEX,          // object indices at words a and b (b 0xFF: one index)
    W_CLIP_INDEX,     // a region's index at word a, 0 for no clip region at all
    W_POLY,           // a point count, then the points
    W_POLY_POLY,      // a polygon count, the polygons' point counts, the points
    W_TEXT_OUT,       // a length, the text padded to a word, y, x
    W_EXT_TEXT_OUT,   // y, x, length, options, a rectangle for some options, the text
    W_PALETTE,        // version, entry count, the entries
    W_ESCAPE,         // function, byte count, the bytes
    W_REGION,         // a region header, then its scans
    W_BRUSH,          // a style the player makes a brush of at word 0
    W_DIB,            // a packed DIB at word a, its usage at word b (0xFF: RGB)
    W_DIB_BIT_BLT,    // with more than 9 words a DIB at word 8, else a pattern operation
    W_BITMAP,         // width, height, -, planes, bits per pixel at words a.., rows after them
    W_PATTERN_BRUSH,  // a pattern style at word 0, then a bitmap header from byte 4
    W_FONT,           // a font's nine words, then a face name of up to 32 bytes
};

struct WmfRule {
    uint16_t function;
    uint16_t min_words;  // parameter words the player takes fixed fields from
    WmfShape shape;
    uint8_t a, b;
};

enum { NO_WORD = 0xFF };

// Every function the player acts on. Functions without a row (the
// palette animation and the document and bitmap-object records it leaves
// unplayed, and any other) are not played.
static const WmfRule WMF_RULES[] = {
    {META_SAVEDC, 0, W_FIXED, 0, 0},
    {META_REALIZEPALETTE, 0, W_FIXED, 0, 0},
    {META_SETBKMODE, 1, W_FIXED, 0, 0},
    {META_SETMAPMODE, 1, W_FIXED, 0, 0},
    {META_SETROP2, 1, W_FIXED, 0, 0},
    {META_SETRELABS, 1, W_FIXED, 0, 0},
    {META_SETPOLYFILLMODE, 1, W_FIXED, 0, 0},
    {META_SETSTRETCHBLTMODE, 1, W_FIXED, 0, 0},
    {META_SETTEXTCHAREXTRA, 1, W_FIXED, 0, 0},
    {META_RESTOREDC, 1, W_FIXED, 0, 0},
    {META_SETTEXTALIGN, 1, W_FIXED, 0, 0},
    {META_SETBKCOLOR, 2, W_FIXED, 0, 0},
    {META_SETTEXTCOLOR, 2, W_FIXED, 0, 0},
    {META_SETTEXTJUSTIFICATION, 2, W_FIXED, 0, 0},
    {META_SETWINDOWORG, 2, W_FIXED, 0, 0},
    {META_SETWINDOWEXT, 2, W_FIXED, 0, 0},
    {META_SETVIEWPORTORG, 2, W_FIXED, 0, 0},
    {META_SETVIEWPORTEXT, 2, W_FIXED, 0, 0},
    {META_OFFSETWINDOWORG, 2, W_FIXED, 0, 0},
    {META_OFFSETVIEWPORTORG, 2, W_FIXED, 0, 0},
    {META_LINETO, 2, W_FIXED, 0, 0},
    {META_MOVETO, 2, W_FIXED, 0, 0},
    {META_OFFSETCLIPRGN, 2, W_FIXED, 0, 0},
    {META_SETMAPPERFLAGS, 2, W_FIXED, 0, 0},
    {META_SCALEWINDOWEXT, 4, W_FIXED, 0, 0},
    {META_SCALEVIEWPORTEXT, 4, W_FIXED, 0, 0},
    {META_EXCLUDECLIPRECT, 4, W_FIXED, 0, 0},
    {META_INTERSECTCLIPRECT, 4, W_FIXED, 0, 0},
    {META_ELLIPSE, 4, W_FIXED, 0, 0},
    {META_FLOODFILL, 4, W_FIXED, 0, 0},
    {META_RECTANGLE, 4, W_FIXED, 0, 0},
    {META_SETPIXEL, 4, W_FIXED, 0, 0},
    {META_EXTFLOODFILL, 5, W_FIXED, 0, 0},
    {META_ROUNDRECT, 6, W_FIXED, 0, 0},
    {META_PATBLT, 6, W_FIXED, 0, 0},
    {META_ARC, 8, W_FIXED, 0, 0},
    {META_PIE, 8, W_FIXED, 0, 0},
    {META_CHORD, 8, W_FIXED, 0, 0},
    {META_CREATEPENINDIRECT, 5, W_FIXED, 0, 0},
    {META_CREATEFONTINDIRECT, 9, W_FONT, 0, 0},
    {META_CREATEBRUSHINDIRECT, 4, W_BRUSH, 0, 0},
    {META_DELETEOBJECT, 1, W_INDEX, 0, NO_WORD},
    {META_SELECTOBJECT, 1, W_INDEX, 0, NO_WORD},
    {META_INVERTREGION, 1, W_INDEX, 0, NO_WORD},
    {META_PAINTREGION, 1, W_INDEX, 0, NO_WORD},
    {META_SELECTCLIPREGION, 1, W_CLIP_INDEX, 0, NO_WORD},
    // The player takes the index from word 1, word 0 for a background
    // flag; a selection of one word, as recorders write it, has it read
    // from the next record.
    {META_SELECTPALETTE, 2, W_INDEX, 1, NO_WORD},
    {META_FILLREGION, 2, W_INDEX, 0, 1},
    {META_FRAMEREGION, 4, W_INDEX, 2, 3},
    {META_POLYGON, 1, W_POLY, 0, 0},
    {META_POLYLINE, 1, W_POLY, 0, 0},
    {META_POLYPOLYGON, 1, W_POLY_POLY, 0, 0},
    {META_TEXTOUT, 1, W_TEXT_OUT, 0, 0},
    {META_EXTTEXTOUT, 4, W_EXT_TEXT_OUT, 0, 0},
    {META_CREATEPALETTE, 2, W_PALETTE, 0, 0},
    {META_ESCAPE, 2, W_ESCAPE, 0, 0},
    {META_CREATEREGION, 11, W_REGION, 0, 0},
    {META_DIBCREATEPATTERNBRUSH, 2, W_DIB, 2, 1},
    {META_SETDIBTODEV, 9, W_DIB, 9, 0},
    {META_DIBSTRETCHBLT, 10, W_DIB, 10, NO_WORD},  // read as a DIB at any length
    {META_STRETCHDIB, 11, W_DIB, 11, 2},
    {META_DIBBITBLT, 9, W_DIB_BIT_BLT, 8, 0},
    {META_BITBLT, 12, W_BITMAP, 7, 0},       // read as a bitmap at any length
    {META_STRETCHBLT, 15, W_BITMAP, 10, 0},  // likewise
    {META_CREATEPATTERNBRUSH, 2, W_PATTERN_BRUSH, 0, 0},
};

// The functions that draw on the device. Left out by their rule, the
// picture is not the file's.
static const uint16_t WMF_DRAWING_FUNCTIONS[] = {
    META_LINETO,       META_ELLIPSE,      META_FLOODFILL,    META_RECTANGLE,   META_SETPIXEL,
    META_EXTFLOODFILL, META_ROUNDRECT,    META_PATBLT,       META_ARC,         META_PIE,
    META_CHORD,        META_INVERTREGION, META_PAINTREGION,  META_FILLREGION,  META_FRAMEREGION,
    META_POLYGON,      META_POLYLINE,     META_POLYPOLYGON,  META_TEXTOUT,     META_EXTTEXTOUT,
    META_SETDIBTODEV,  META_DIBSTRETCHBLT, META_STRETCHDIB,  META_DIBBITBLT,   META_BITBLT,
    META_STRETCHBLT,
};

// Whether a function draws on the device (a shape, text, a region or
// bits), as against setting state or commenting.
static bool wmf_function_draws(uint16_t function)
{
    for (uint16_t drawing : WMF_DRAWING_FUNCTIONS)
        if (function == drawing)
            return true;
    return false;
}

bool wmf_function_draws_on_device(uint16_t function)
{
    return wmf_function_draws(function);
}

enum { MFCOMMENT_ESCAPE = 15 };
// Most rectangles a region record may bring: the player joins them one at
// a time, each join as long as the region so far, so the time grows with
// their square (this many take about a fifth of a second; 128k, minutes).
enum { MAX_WMF_REGION_RECTANGLES = 8192 };
enum { PATTERN_BITMAP_HEADER_AT = 4, PATTERN_BITS_AT = 48 };
enum { FONT_FACE_AT = 18 };

// Whether the scans of a region record's parameters (bytes of them at p)
// lie inside them, counting their rectangles. Scans from byte 22: count,
// top, bottom, count words, count. The player joins the region a pair of
// words (a rectangle) at a time, each join taking as long as the
// rectangles joined so far. It stops at a scan whose count is odd or whose
// two counts differ, keeping the bands before it: a region built in part.
static bool wmf_region_scans_fit(const BYTE* p, uint64_t bytes, uint64_t* rectangles)
{
    uint64_t offset = 22, scans = bytes >= 12 ? u16_at(p, 10) : 0;
    for (uint64_t i = 0; i < scans; ++i) {
        if (offset + 2 > bytes)
            return false;
        uint64_t count = u16_at(p, offset);
        uint64_t closing = offset + 6 + 2 * count;
        if (count % 2 || closing + 2 > bytes || u16_at(p, closing) != count)
            return false;
        *rectangles += count / 2;
        offset = closing + 2;
    }
    return true;
}

bool wmf_region_passes_limit(const BYTE* params, uint32_t param_bytes)
{
    uint64_t rectangles = 0;
    return wmf_region_scans_fit(params, param_bytes, &rectangles) && rectangles > MAX_WMF_REGION_RECTANGLES;
}

// A packed DIB at byte at of the parameters: its table inside them as
// read with read_usage and its bits after the table as placed by
// place_usage (the two differ where the player draws with RGB colours but
// finds the bits by the record's own usage word).
static bool wmf_dib_fits(const BYTE* p, uint32_t bytes, uint64_t at, uint32_t place_usage, uint32_t read_usage)
{
    if (place_usage > DIB_PAL_COLORS || read_usage > DIB_PAL_COLORS || at > bytes)
        return false;
    DibHeader dib;
    if (!read_dib_header(p + at, bytes - at, &dib))
        return false;
    uint64_t room = bytes - at;
    return dib_table_end(dib, read_usage) <= room && dib_table_end(dib, place_usage) <= room &&
           dib.image_bytes <= room - dib_table_end(dib, place_usage) &&
           dib.stated_bytes <= room - dib_table_end(dib, place_usage);
}

// An old device-dependent bitmap of the given size whose rows, in whole
// words at the bit count the system rounds up to, start at byte at.
static bool wmf_bitmap_fits(uint64_t at, uint64_t width, uint64_t height, uint32_t planes, uint32_t bits,
                            uint32_t bytes)
{
    if (planes > 32 || bits > 32 || width * height > MAX_BITMAP_PIXELS)
        return false;
    // A bit count of 0 is made 4 bits, not 1.
    uint32_t rounded = bits == 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : bits <= 16 ? 16 : bits <= 24 ? 24 : 32;
    uint64_t row_bytes = (width * rounded + 15) / 16 * 2;
    return fits(at, row_bytes * height, planes ? planes : 1, bytes);
}

static bool wmf_shape_fits(const WmfRule& rule, const BYTE* p, uint32_t bytes, uint32_t objects)
{
    uint32_t words = bytes / 2;
#define WORD_AT(i) ((uint64_t)((uint64_t)(i) < words ? u16_at(p, 2 * (uint64_t)(i)) : 0))
    switch (rule.shape) {
    case W_FIXED:
        return true;
    case W_INDEX:
        return WORD_AT(rule.a) < objects && (rule.b == NO_WORD || WORD_AT(rule.b) < objects);
    case W_CLIP_INDEX:
        return WORD_AT(rule.a) == 0 || WORD_AT(rule.a) < objects;
    case W_POLY:
        return fits(2, WORD_AT(0), 4, bytes);
    case W_POLY_POLY: {
        uint64_t polygons = WORD_AT(0);
        if (!fits(2, polygons, 2, bytes))
            return false;
        // The player adds the counts as signed numbers.
        uint64_t points = 0;
        for (uint64_t i = 0; i < polygons; ++i) {
            if (WORD_AT(1 + i) > 0x7FFF)
                return false;
            points += WORD_AT(1 + i);
        }
        return fits(2 + 2 * polygons, points, 4, bytes);
    }
    case W_TEXT_OUT:
        return 2 + (WORD_AT(0) + 1) / 2 * 2 + 4 <= bytes;
    case W_EXT_TEXT_OUT: {
        // The text is laid out a byte a character, padded to a word, but
        // glyph indices are read two bytes each. A record exactly a word a
        // character longer holds spacings, one a character, which the
        // player would read in pairs for ETO_PDY.
        uint64_t length = WORD_AT(2), options = WORD_AT(3);
        uint64_t text_at = 8 + ((options & (ETO_OPAQUE | ETO_CLIPPED)) ? 8 : 0);
        uint64_t laid_out = text_at + (length + 1) / 2 * 2;
        uint64_t read = text_at + ((options & ETO_GLYPH_INDEX) ? 2 * length : length);
        if ((options & ETO_PDY) && bytes == laid_out + 2 * length)
            return false;
        return laid_out <= bytes && read <= bytes;
    }
    case W_PALETTE:
        return fits(4, WORD_AT(1), 4, bytes);
    case W_ESCAPE:
        // Other escapes reach the device itself: a printer's job, its pages.
        // A comment carrying an enhanced metafile is a second picture, which
        // the system's conversion hands back in place of the records: it
        // is left out, so that every road shows and converts the records.
        // The conversion knows one by its "WMFC" alone, whatever byte
        // count the escape states.
        return WORD_AT(0) == MFCOMMENT_ESCAPE && fits(4, WORD_AT(1), 1, bytes) &&
               !(bytes >= 8 && memcmp(p + 4, "WMFC", 4) == 0);
    case W_REGION: {
        uint64_t rectangles = 0;
        return wmf_region_scans_fit(p, bytes, &rectangles) && rectangles <= MAX_WMF_REGION_RECTANGLES;
    }
    case W_BRUSH:
        return brush_style_is_plain((uint32_t)WORD_AT(0));
    case W_DIB: {
        uint32_t usage = rule.b == NO_WORD ? DIB_RGB_COLORS : (uint32_t)WORD_AT(rule.b);
        return wmf_dib_fits(p, bytes, 2ull * rule.a, usage, usage);
    }
    case W_DIB_BIT_BLT:
        // Drawn with RGB colours, the bits found past a table of palette
        // indices when word 0 (the raster operation's low word) says so.
        return words <= 9 || wmf_dib_fits(p, bytes, 2ull * rule.a, WORD_AT(0) == DIB_PAL_COLORS ? DIB_PAL_COLORS
                                                                                                : DIB_RGB_COLORS,
                                          DIB_RGB_COLORS);
    case W_BITMAP:
        // The player makes a bitmap of one plane and some size only; of
        // any other it blits the one pixel of its DC's own bitmap.
        return WORD_AT(rule.a) && WORD_AT(rule.a + 1) && WORD_AT(rule.a + 3) == 1 &&
               wmf_bitmap_fits(2ull * (rule.a + 5), WORD_AT(rule.a), WORD_AT(rule.a + 1),
                               (uint32_t)WORD_AT(rule.a + 3), (uint32_t)WORD_AT(rule.a + 4), bytes);
    case W_FONT:
        // The face name may end before its 32 bytes, as recorders write it,
        // but within the record (the player is given a copy holding all 32).
        return bytes >= WMF_FONT_PARAM_BYTES ||
               (bytes > FONT_FACE_AT && memchr(p + FONT_FACE_AT, 0, bytes - FONT_FACE_AT) != NULL);
    case W_PATTERN_BRUSH: {
        if (WORD_AT(0) == BS_DIBPATTERN)
            return wmf_dib_fits(p, bytes, PATTERN_BITMAP_HEADER_AT, (uint32_t)WORD_AT(1), (uint32_t)WORD_AT(1));
        if (WORD_AT(0) != BS_PATTERN || bytes < PATTERN_BITS_AT)
            return false;
        // Width, height, planes and bit count of the header make the bitmap.
        int64_t width = (int32_t)u32_at(p, PATTERN_BITMAP_HEADER_AT + 4);
        int64_t height = (int32_t)u32_at(p, PATTERN_BITMAP_HEADER_AT + 8);
        return wmf_bitmap_fits(PATTERN_BITS_AT, width < 0 ? -width : width, height < 0 ? -height : height,
                               u16_at(p, PATTERN_BITMAP_HEADER_AT + 12), u16_at(p, PATTERN_BITMAP_HEADER_AT + 14),
                               bytes);
    }
    }
#undef WORD_AT
    return false;
}

static uint32_t min_u32(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

TextGlyphs wmf_text_glyphs(uint16_t function, const BYTE* params, uint32_t param_bytes)
{
    TextGlyphs glyphs = {0, 0};
    uint32_t seen[65536 / 32] = {0};
    if (function == META_TEXTOUT && param_bytes >= 2)
        count_new_glyphs(params, 2, min_u32(u16_at(params, 0), param_bytes - 2), 1, false, seen, &glyphs);
    if (function != META_EXTTEXTOUT || param_bytes < 8)
        return glyphs;
    uint32_t length = u16_at(params, 4), options = u16_at(params, 6);
    uint32_t text_at = 8 + ((options & (ETO_OPAQUE | ETO_CLIPPED)) ? 8 : 0);
    bool is_index = (options & ETO_GLYPH_INDEX) != 0;
    uint32_t room = param_bytes > text_at ? (param_bytes - text_at) / (is_index ? 2 : 1) : 0;
    count_new_glyphs(params, text_at, min_u32(length, room), is_index ? 2 : 1, is_index, seen, &glyphs);
    return glyphs;
}

bool wmf_record_is_sound(uint16_t function, const BYTE* params, uint32_t param_bytes, uint32_t objects)
{
    for (const WmfRule& rule : WMF_RULES)
        if (rule.function == function)
            return param_bytes / 2 >= rule.min_words && wmf_shape_fits(rule, params, param_bytes, objects);
    return false;
}

uint32_t wmf_mono_bitmap_at(uint16_t function, const BYTE* params, uint32_t param_bytes)
{
    for (const WmfRule& rule : WMF_RULES)
        if (rule.function == function && rule.shape == W_BITMAP) {
            uint64_t planes_at = 2ull * (rule.a + 3);
            bool is_mono = planes_at + 4 <= param_bytes && u16_at(params, planes_at) == 1 &&
                           u16_at(params, planes_at + 2) == 1;
            return is_mono ? rule.a : 0;
        }
    return 0;
}

// ---- the Windows-metafile object table

// What a create record makes, and what the selection of one sets: the
// selected pen, brush or font, the palette, or (a region) the clip region.
enum ObjectKind { OBJECT_PEN = 1, OBJECT_BRUSH = 2, OBJECT_FONT = 4, OBJECT_PALETTE = 8, OBJECT_REGION = 16 };
enum { OBJECT_LEFT_OUT = 0x80 };  // the file's object in that slot was left out: a stand-in holds it
enum { MAX_WMF_OBJECTS = 0x10000, SLOT_WORDS = MAX_WMF_OBJECTS / 64 };

// Slots taken, with the 64-slot words that are full, so that the first free
// slot is found in a few steps however a file creates and deletes.
struct WmfSlots {
    uint64_t taken[SLOT_WORDS];
    uint64_t full[SLOT_WORDS / 64];
};

static void take_slot(WmfSlots* slots, uint32_t slot)
{
    uint64_t* word = &slots->taken[slot / 64];
    *word |= 1ull << (slot % 64);
    if (*word == ~0ull)
        slots->full[slot / 4096] |= 1ull << (slot / 64 % 64);
}

static void free_slot(WmfSlots* slots, uint32_t slot)
{
    slots->taken[slot / 64] &= ~(1ull << (slot % 64));
    slots->full[slot / 4096] &= ~(1ull << (slot / 64 % 64));
}

// The lowest free slot; MAX_WMF_OBJECTS when none is.
static uint32_t first_free_slot(const WmfSlots* slots)
{
    for (uint32_t i = 0; i < SLOT_WORDS / 64; ++i) {
        if (slots->full[i] == ~0ull)
            continue;
        uint32_t word = i * 64 + (uint32_t)__builtin_ctzll(~slots->full[i]);
        return word * 64 + (uint32_t)__builtin_ctzll(~slots->taken[word]);
    }
    return MAX_WMF_OBJECTS;
}

// Which colours of a DcState are known: set by the records as plain RGB,
// or a fresh DC's own.
enum { TEXT_COLOR_KNOWN = 1, BACKGROUND_COLOR_KNOWN = 2, COLORS_KNOWN = 3 };

// What the rules judge by in one state of the DC, which SAVEDC saves and
// RESTOREDC brings back: the ObjectKinds whose selection is an object
// left out, and the colours a one-bit bitmap is blitted in.
struct DcState {
    uint8_t selected_left_out;
    uint8_t colors_known;
    COLORREF text, background;
};

static bool same_dc_state(const DcState& a, const DcState& b)
{
    return a.selected_left_out == b.selected_left_out && a.colors_known == b.colors_known && a.text == b.text &&
           a.background == b.background;
}

// Saved states of one kind in a row: a file may save without end, and
// saves of one state take one run however many they are. Past the most
// runs kept (12 MB), which no drawing comes near, states are not told
// apart.
enum { MAX_SAVED_RUNS = 1 << 20 };
struct SavedRun {
    DcState state;
    uint32_t count;
};

struct WmfObjectState {
    uint32_t objects;            // the header's count
    WmfSlots slots;              // the file's numbers, which are the player's
    uint8_t kind[MAX_WMF_OBJECTS];  // per slot: ObjectKind, OBJECT_LEFT_OUT added
    DcState now;
    // Every state saved, level 1 first, as runs; depth states in all.
    SavedRun* runs;
    uint32_t run_count, run_room;
    uint32_t depth;
    unsigned ever_saved;         // ObjectKinds left out in any state saved
    bool is_level_unknown;       // a restore reached a state saved before the play
};

WmfObjectState* begin_wmf_objects(uint32_t objects)
{
    WmfObjectState* state = (WmfObjectState*)calloc(1, sizeof(WmfObjectState));
    if (state) {
        state->objects = objects;
        // A fresh DC's colours, which every road plays on.
        state->now.colors_known = COLORS_KNOWN;
        state->now.text = RGB(0, 0, 0);
        state->now.background = RGB(255, 255, 255);
    }
    // Slots past the header's count are no slots: the player's table ends there.
    for (uint32_t slot = objects; state && slot < MAX_WMF_OBJECTS; ++slot)
        take_slot(&state->slots, slot);
    return state;
}

void end_wmf_objects(WmfObjectState* state)
{
    if (state)
        free(state->runs);
    free(state);
}

static unsigned created_kind(uint16_t function)
{
    switch (function) {
    case META_CREATEPENINDIRECT: return OBJECT_PEN;
    case META_CREATEBRUSHINDIRECT:
    case META_DIBCREATEPATTERNBRUSH:
    case META_CREATEPATTERNBRUSH: return OBJECT_BRUSH;
    case META_CREATEFONTINDIRECT: return OBJECT_FONT;
    case META_CREATEPALETTE: return OBJECT_PALETTE;
    case META_CREATEREGION: return OBJECT_REGION;
    }
    return 0;
}

bool wmf_function_creates(uint16_t function)
{
    return created_kind(function) != 0;
}

// The selected objects a drawing record draws with: the pen of lines, the
// brush of fills and pattern blits, the font of text; the palette and the
// clip region of all.
static unsigned kinds_drawn_with(uint16_t function)
{
    static const uint16_t LINES[] = {META_LINETO,    META_POLYLINE, META_POLYGON, META_POLYPOLYGON, META_RECTANGLE,
                                     META_ROUNDRECT, META_ELLIPSE,  META_ARC,     META_PIE,         META_CHORD};
    static const uint16_t FILLS[] = {META_POLYGON,   META_POLYPOLYGON, META_RECTANGLE,     META_ROUNDRECT,
                                     META_ELLIPSE,   META_PIE,         META_CHORD,         META_PATBLT,
                                     META_FLOODFILL, META_EXTFLOODFILL, META_PAINTREGION,  META_BITBLT,
                                     META_STRETCHBLT, META_DIBBITBLT,  META_DIBSTRETCHBLT, META_STRETCHDIB};
    unsigned kinds = OBJECT_PALETTE | OBJECT_REGION;
    for (uint16_t f : LINES)
        kinds |= f == function ? OBJECT_PEN : 0;
    for (uint16_t f : FILLS)
        kinds |= f == function ? OBJECT_BRUSH : 0;
    if (function == META_TEXTOUT || function == META_EXTTEXTOUT)
        kinds |= OBJECT_FONT;
    return kinds;
}

// The object-index words of a record of the function, by its rule: a
// region and a brush of a region fill, the object selected or deleted.
static void object_words(uint16_t function, uint8_t* first, uint8_t* second)
{
    *first = *second = NO_WORD;
    for (const WmfRule& rule : WMF_RULES)
        if (rule.function == function && (rule.shape == W_INDEX || rule.shape == W_CLIP_INDEX)) {
            *first = rule.a;
            *second = rule.b;
        }
}

// What selecting the object in a slot of the given kind sets, by the
// record that selects it; 0 for a selection the player refuses.
static unsigned kind_selected(uint16_t function, unsigned kind)
{
    switch (function) {
    case META_SELECTOBJECT: return kind & (OBJECT_PEN | OBJECT_BRUSH | OBJECT_FONT | OBJECT_REGION);
    case META_SELECTPALETTE: return kind & OBJECT_PALETTE;
    case META_SELECTCLIPREGION: return kind & OBJECT_REGION;
    }
    return 0;
}

static void save_state(WmfObjectState* state)
{
    state->ever_saved |= state->now.selected_left_out;
    state->depth++;
    if (state->run_count && same_dc_state(state->runs[state->run_count - 1].state, state->now)) {
        state->runs[state->run_count - 1].count++;
        return;
    }
    if (state->run_count == state->run_room) {
        uint32_t room = state->run_room ? 2 * state->run_room : 16;
        SavedRun* runs =
            room <= MAX_SAVED_RUNS ? (SavedRun*)realloc(state->runs, sizeof(SavedRun) * (size_t)room) : NULL;
        if (!runs) {
            // A state not kept: every restore from here on is judged as
            // one of a level not known.
            state->is_level_unknown = true;
            return;
        }
        state->runs = runs;
        state->run_room = room;
    }
    state->runs[state->run_count++] = SavedRun{state->now, 1};
}

// A restore by a negative level goes back over the play's own saves; a
// level of 1 or more is counted from the first of them, as every play and
// conversion runs on a device context of its own with none saved before.
// One that reaches no state the play saved restores nothing, as the player
// fails it. Past the states the rules could keep, any state saved may be
// the one in force, or the one before the restore where it failed.
static void restore_state(WmfObjectState* state, int16_t level)
{
    uint32_t back = level < 0 ? (uint32_t)-(int32_t)level : level > 0 ? state->depth + 1 - (uint32_t)level : 0;
    if (level == 0 || (!state->is_level_unknown && (back == 0 || back > state->depth)))
        return;  // nothing restored
    if (state->is_level_unknown) {
        state->is_level_unknown = true;
        state->now.selected_left_out |= (uint8_t)state->ever_saved;
        state->now.colors_known = 0;
        return;
    }
    // The state restored is the last of those taken off.
    state->depth -= back;
    while (back) {
        SavedRun* top = &state->runs[state->run_count - 1];
        uint32_t taken = back < top->count ? back : top->count;
        state->now = top->state;
        top->count -= taken;
        back -= taken;
        if (!top->count)
            state->run_count--;
    }
}

// A colour the player draws a one-bit bitmap in as it stands: plain RGB.
// Another is taken through the palette selected, which the rules do not
// follow.
static void set_color(WmfObjectState* state, uint8_t which, COLORREF color, COLORREF* at)
{
    *at = color;
    state->now.colors_known =
        (uint8_t)((color >> 24) == 0 ? state->now.colors_known | which : state->now.colors_known & ~which);
}

void wmf_mono_colors(const WmfObjectState* state, COLORREF* text, COLORREF* background)
{
    *text = state->now.text;
    *background = state->now.background;
}

WmfRecordFate wmf_record_fate(uint16_t function, const BYTE* params, uint32_t param_bytes, WmfObjectState* state)
{
    bool is_sound = wmf_record_is_sound(function, params, param_bytes, state->objects);
    bool draws = wmf_function_draws(function);
    if (unsigned kind = created_kind(function)) {
        // Made or stood in for, the object takes the first free slot, as
        // the player makes it there. With none free the player keeps none:
        // left out, the record changes nothing.
        uint32_t slot = first_free_slot(&state->slots);
        if (slot == MAX_WMF_OBJECTS)
            return WMF_LEAVE_OUT;
        take_slot(&state->slots, slot);
        state->kind[slot] = (uint8_t)(kind | (is_sound ? 0 : OBJECT_LEFT_OUT));
        return is_sound ? WMF_KEEP : WMF_STAND_IN;
    }
    if (!is_sound)
        return draws ? WMF_CUT : WMF_LEAVE_OUT;
    if (function == META_SAVEDC)
        save_state(state);
    if (function == META_RESTOREDC)
        restore_state(state, (int16_t)u16_at(params, 0));
    if (function == META_SETTEXTCOLOR)
        set_color(state, TEXT_COLOR_KNOWN, u32_at(params, 0), &state->now.text);
    if (function == META_SETBKCOLOR)
        set_color(state, BACKGROUND_COLOR_KNOWN, u32_at(params, 0), &state->now.background);
    // A one-bit bitmap is blitted in the colours of the DC, which the seal
    // writes into it (wmf_seal.h): not known, the picture is not known.
    if (wmf_mono_bitmap_at(function, params, param_bytes) && state->now.colors_known != COLORS_KNOWN)
        return WMF_CUT;
    if (function == META_SELECTCLIPREGION && u16_at(params, 0) == 0) {
        state->now.selected_left_out &= ~OBJECT_REGION;
        return WMF_KEEP;
    }

    // Indices keep the file's numbers: a record kept names the object the
    // file's record named, or a free slot the player takes as no object.
    uint8_t words[2];
    object_words(function, &words[0], &words[1]);
    bool uses_left_out = false;
    for (uint8_t word : words) {
        if (word == NO_WORD)
            continue;
        uint32_t slot = u16_at(params, 2 * (uint64_t)word);
        unsigned kind = state->kind[slot];
        unsigned selects = kind_selected(function, kind);
        if (selects)
            state->now.selected_left_out =
                (uint8_t)((state->now.selected_left_out & ~selects) | (kind & OBJECT_LEFT_OUT ? selects : 0));
        if (function == META_DELETEOBJECT) {
            // A stand-in is deleted as its object would have been.
            if (kind)
                free_slot(&state->slots, slot);
            state->kind[slot] = 0;
            continue;
        }
        uses_left_out |= (kind & OBJECT_LEFT_OUT) != 0;
    }
    if (draws && (uses_left_out || (kinds_drawn_with(function) & state->now.selected_left_out)))
        return WMF_CUT;
    // A selection of a stand-in: the player is given nothing for it, and
    // what it selected counts as left out.
    return uses_left_out ? WMF_LEAVE_OUT : WMF_KEEP;
}
