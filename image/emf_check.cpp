// The enhanced-metafile check (see emf_check.h). Field offsets are those
// of the records' structures in wingdi.h, counted from the record's start;
// every sum is done in 64 bits, so no field can wrap past the record.
#include "image/emf_check.h"

#include <stdint.h>

static uint32_t u32_at(const BYTE* record, uint32_t offset)
{
    const BYTE* p = record + offset;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// offset + count * unit bytes lie within the record.
static bool fits(uint64_t offset, uint64_t count, uint64_t unit, uint32_t record_size)
{
    return offset + count * unit <= record_size;
}

// A bitmap given by (offset, size) of its header and (offset, size) of its
// bits: both inside the record, the header whole, and the rows it describes
// inside the bits when they are not compressed.
static bool bitmap_fits(const BYTE* record, uint32_t record_size, uint32_t field)
{
    if (!fits(field, 4, 4, record_size))
        return false;
    uint32_t off_bmi = u32_at(record, field), cb_bmi = u32_at(record, field + 4);
    uint32_t off_bits = u32_at(record, field + 8), cb_bits = u32_at(record, field + 12);
    if (cb_bmi == 0)
        return true;  // no bitmap: a plain raster operation
    if (cb_bmi < sizeof(BITMAPCOREHEADER) || !fits(off_bmi, cb_bmi, 1, record_size) ||
        !fits(off_bits, cb_bits, 1, record_size))
        return false;
    uint32_t header_size = u32_at(record, off_bmi);
    if (header_size < sizeof(BITMAPINFOHEADER) || cb_bmi < sizeof(BITMAPINFOHEADER))
        return header_size == sizeof(BITMAPCOREHEADER);
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)(record + off_bmi);
    int64_t height = bih->biHeight < 0 ? -(int64_t)bih->biHeight : bih->biHeight;
    uint64_t colors = bih->biClrUsed ? bih->biClrUsed : bih->biBitCount <= 8 ? 1u << bih->biBitCount : 0;
    if (bih->biCompression == BI_BITFIELDS)
        colors += 3;
    if (bih->biWidth < 0 || header_size > cb_bmi || !fits(header_size, colors, 4, cb_bmi))
        return false;
    if (bih->biCompression != BI_RGB && bih->biCompression != BI_BITFIELDS)
        return true;
    uint64_t row_bytes = ((uint64_t)bih->biWidth * bih->biBitCount + 31) / 32 * 4;
    return row_bytes * (uint64_t)height <= cb_bits;
}

enum Shape {
    OBJECT_INDEX,      // a handle-table index at the field
    SELECTED_INDEX,    // the same, or a stock object
    POINTS32,          // count at 24, 8-byte points at 28
    POINTS16,          // count at 24, 4-byte points at 28
    POLY_POINTS32,     // polygons at 24, points at 28, counts at 32, points
    POLY_POINTS16,
    DRAW_POINTS32,     // count at 24, points at 28, one type byte each
    DRAW_POINTS16,
    TEXT_ANSI,         // EMRTEXT at 36
    TEXT_WIDE,
    POLY_TEXT_ANSI,    // count at 36, that many EMRTEXTs from 40
    POLY_TEXT_WIDE,
    BITMAP_FIELDS,     // (offBmi, cbBmi, offBits, cbBits) at the field
    REGION,            // region byte count at the field, region data at data
    CLIP_REGION,       // the same, and no region at all is a valid clip
};

struct RecordRule {
    DWORD type;
    Shape shape;
    uint32_t field;
    uint32_t data;     // REGION, CLIP_REGION: where the region data starts
};

static const RecordRule RULES[] = {
    {EMR_SELECTOBJECT, SELECTED_INDEX, 8, 0},
    {EMR_SELECTPALETTE, SELECTED_INDEX, 8, 0},
    {EMR_DELETEOBJECT, OBJECT_INDEX, 8, 0},
    {EMR_CREATEPEN, OBJECT_INDEX, 8, 0},
    {EMR_CREATEBRUSHINDIRECT, OBJECT_INDEX, 8, 0},
    {EMR_EXTCREATEFONTINDIRECTW, OBJECT_INDEX, 8, 0},
    {EMR_CREATEPALETTE, OBJECT_INDEX, 8, 0},
    {EMR_SETPALETTEENTRIES, OBJECT_INDEX, 8, 0},
    {EMR_RESIZEPALETTE, OBJECT_INDEX, 8, 0},
    {EMR_CREATEMONOBRUSH, OBJECT_INDEX, 8, 0},
    {EMR_CREATEMONOBRUSH, BITMAP_FIELDS, 16, 0},
    {EMR_CREATEDIBPATTERNBRUSHPT, OBJECT_INDEX, 8, 0},
    {EMR_CREATEDIBPATTERNBRUSHPT, BITMAP_FIELDS, 16, 0},
    {EMR_EXTCREATEPEN, OBJECT_INDEX, 8, 0},
    {EMR_EXTCREATEPEN, BITMAP_FIELDS, 12, 0},
    {EMR_CREATECOLORSPACE, OBJECT_INDEX, 8, 0},
    {EMR_SETCOLORSPACE, SELECTED_INDEX, 8, 0},
    {EMR_DELETECOLORSPACE, OBJECT_INDEX, 8, 0},
    {EMR_POLYBEZIER, POINTS32, 0, 0},
    {EMR_POLYGON, POINTS32, 0, 0},
    {EMR_POLYLINE, POINTS32, 0, 0},
    {EMR_POLYBEZIERTO, POINTS32, 0, 0},
    {EMR_POLYLINETO, POINTS32, 0, 0},
    {EMR_POLYBEZIER16, POINTS16, 0, 0},
    {EMR_POLYGON16, POINTS16, 0, 0},
    {EMR_POLYLINE16, POINTS16, 0, 0},
    {EMR_POLYBEZIERTO16, POINTS16, 0, 0},
    {EMR_POLYLINETO16, POINTS16, 0, 0},
    {EMR_POLYPOLYLINE, POLY_POINTS32, 0, 0},
    {EMR_POLYPOLYGON, POLY_POINTS32, 0, 0},
    {EMR_POLYPOLYLINE16, POLY_POINTS16, 0, 0},
    {EMR_POLYPOLYGON16, POLY_POINTS16, 0, 0},
    {EMR_POLYDRAW, DRAW_POINTS32, 0, 0},
    {EMR_POLYDRAW16, DRAW_POINTS16, 0, 0},
    {EMR_EXTTEXTOUTA, TEXT_ANSI, 0, 0},
    {EMR_EXTTEXTOUTW, TEXT_WIDE, 0, 0},
    {EMR_POLYTEXTOUTA, POLY_TEXT_ANSI, 0, 0},
    {EMR_POLYTEXTOUTW, POLY_TEXT_WIDE, 0, 0},
    {EMR_FILLRGN, OBJECT_INDEX, 28, 0},
    {EMR_FILLRGN, REGION, 24, 32},
    {EMR_FRAMERGN, OBJECT_INDEX, 28, 0},
    {EMR_FRAMERGN, REGION, 24, 40},
    {EMR_INVERTRGN, REGION, 24, 28},
    {EMR_PAINTRGN, REGION, 24, 28},
    {EMR_EXTSELECTCLIPRGN, CLIP_REGION, 8, 16},
    {EMR_BITBLT, BITMAP_FIELDS, 84, 0},
    {EMR_STRETCHBLT, BITMAP_FIELDS, 84, 0},
    {EMR_MASKBLT, BITMAP_FIELDS, 84, 0},
    {EMR_MASKBLT, BITMAP_FIELDS, 112, 0},
    {EMR_PLGBLT, BITMAP_FIELDS, 96, 0},
    {EMR_PLGBLT, BITMAP_FIELDS, 124, 0},
    {EMR_SETDIBITSTODEVICE, BITMAP_FIELDS, 48, 0},
    {EMR_STRETCHDIBITS, BITMAP_FIELDS, 48, 0},
    {EMR_ALPHABLEND, BITMAP_FIELDS, 84, 0},
    {EMR_TRANSPARENTBLT, BITMAP_FIELDS, 84, 0},
};

enum { EMRTEXT_BYTES = 40, REGION_HEADER_BYTES = 32, REGION_RECT_BYTES = 16 };

// An EMRTEXT at the offset: it and its string inside the record, and its
// spacing too where the player reads it (the poly-text player reads it
// even at offset 0, that is from the record's start).
static bool text_fits(const BYTE* record, uint32_t size, uint64_t at, bool wide, bool dx_always_read)
{
    if (!fits(at, 1, EMRTEXT_BYTES, size))
        return false;
    uint32_t chars = u32_at(record, (uint32_t)at + 8), off_string = u32_at(record, (uint32_t)at + 12);
    uint32_t off_dx = u32_at(record, (uint32_t)at + 36);
    if (!fits(off_string, chars, wide ? 2 : 1, size))
        return false;
    return (off_dx == 0 && !dx_always_read) || fits(off_dx, chars, 4, size) || fits(off_dx, chars, 8, size);
}

// Region data at data, its byte count at field: the header and the
// rectangles it counts (after the header's own size, which the system may
// take as their start) inside that count, and the count inside the record.
// A clip record may hold no region; the player then still reads a header
// the record has room for.
static bool region_fits(const BYTE* record, uint32_t size, const RecordRule& rule)
{
    if (!fits(rule.field, 1, 4, size))
        return false;
    uint32_t bytes = u32_at(record, rule.field);
    if (!fits(rule.data, bytes, 1, size))
        return false;
    if (rule.shape == CLIP_REGION && bytes < REGION_HEADER_BYTES) {
        if (!fits(rule.data, 1, REGION_HEADER_BYTES, size))
            return true;
        bytes = size - rule.data;
    }
    if (bytes < REGION_HEADER_BYTES)
        return false;
    uint32_t header = u32_at(record, rule.data), rects = u32_at(record, rule.data + 8);
    uint32_t first_rect = header > (uint32_t)REGION_HEADER_BYTES ? header : (uint32_t)REGION_HEADER_BYTES;
    return fits(first_rect, rects, REGION_RECT_BYTES, bytes);
}

static bool record_is_sound(const BYTE* record, uint32_t size, const RecordRule& rule, uint32_t handles)
{
    switch (rule.shape) {
    case OBJECT_INDEX:
    case SELECTED_INDEX: {
        if (!fits(rule.field, 1, 4, size))
            return false;
        uint32_t index = u32_at(record, rule.field);
        if (rule.shape == SELECTED_INDEX && (index & 0x80000000u))
            return true;  // a stock object
        return index >= 1 && index < handles;
    }
    case POINTS32:
    case POINTS16:
        return fits(28, size >= 28 ? u32_at(record, 24) : ~0u, rule.shape == POINTS32 ? 8 : 4, size);
    case DRAW_POINTS32:
    case DRAW_POINTS16:
        return fits(28, size >= 28 ? u32_at(record, 24) : ~0u, rule.shape == DRAW_POINTS32 ? 9 : 5, size);
    case POLY_POINTS32:
    case POLY_POINTS16: {
        if (size < 32)
            return false;
        uint32_t polygons = u32_at(record, 24), points = u32_at(record, 28);
        uint64_t unit = rule.shape == POLY_POINTS32 ? 8 : 4;
        if (!fits(32 + 4ull * polygons, points, unit, size))
            return false;
        uint64_t counted = 0;
        for (uint32_t i = 0; i < polygons; i++)
            counted += u32_at(record, 32 + 4 * i);
        return counted <= points;
    }
    case TEXT_ANSI:
    case TEXT_WIDE:
        return text_fits(record, size, 36, rule.shape == TEXT_WIDE, false);
    case POLY_TEXT_ANSI:
    case POLY_TEXT_WIDE: {
        if (size < 40)
            return false;
        uint32_t strings = u32_at(record, 36);
        if (!fits(40, strings, EMRTEXT_BYTES, size))
            return false;
        for (uint32_t i = 0; i < strings; i++)
            if (!text_fits(record, size, 40 + (uint64_t)i * EMRTEXT_BYTES, rule.shape == POLY_TEXT_WIDE, true))
                return false;
        return true;
    }
    case REGION:
    case CLIP_REGION:
        return region_fits(record, size, rule);
    case BITMAP_FIELDS:
        return bitmap_fits(record, size, rule.field);
    }
    return false;
}

bool emf_bits_are_sound(const BYTE* bits, UINT size)
{
    const ENHMETAHEADER* header = (const ENHMETAHEADER*)bits;
    if (!bits || size < sizeof *header || header->iType != EMR_HEADER || header->nBytes > size ||
        header->nSize > header->nBytes)
        return false;
    uint32_t end = header->nBytes;
    uint32_t at = 0;
    while (end - at >= 8) {
        const BYTE* record = bits + at;
        uint32_t type = u32_at(record, 0), record_size = u32_at(record, 4);
        if (record_size < 8 || record_size % 4 || record_size > end - at)
            return false;
        // The player walks on to the header's byte count, past an end
        // record, and would spin on a record of size 0 there.
        if (type == EMR_EOF)
            return record_size == end - at;
        for (const RecordRule& rule : RULES)
            if (rule.type == type && !record_is_sound(record, record_size, rule, header->nHandles))
                return false;
        at += record_size;
    }
    return false;
}
