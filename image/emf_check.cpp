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
    OBJECT_INDEX,      // a handle-table index at 8
    SELECTED_INDEX,    // the same, or a stock object
    POINTS32,          // count at 24, 8-byte points at 28
    POINTS16,          // count at 24, 4-byte points at 28
    POLY_POINTS32,     // polygons at 24, points at 28, counts at 32, points
    POLY_POINTS16,
    DRAW_POINTS32,     // count at 24, points at 28, one type byte each
    DRAW_POINTS16,
    TEXT_ANSI,         // EMRTEXT at 36
    TEXT_WIDE,
    BITMAP_FIELDS,     // (offBmi, cbBmi, offBits, cbBits) at the given field
};

struct RecordRule {
    DWORD type;
    Shape shape;
    uint32_t field;    // BITMAP_FIELDS: the field's offset
};

static const RecordRule RULES[] = {
    {EMR_SELECTOBJECT, SELECTED_INDEX, 0},
    {EMR_SELECTPALETTE, SELECTED_INDEX, 0},
    {EMR_DELETEOBJECT, OBJECT_INDEX, 0},
    {EMR_CREATEPEN, OBJECT_INDEX, 0},
    {EMR_CREATEBRUSHINDIRECT, OBJECT_INDEX, 0},
    {EMR_EXTCREATEFONTINDIRECTW, OBJECT_INDEX, 0},
    {EMR_CREATEPALETTE, OBJECT_INDEX, 0},
    {EMR_SETPALETTEENTRIES, OBJECT_INDEX, 0},
    {EMR_RESIZEPALETTE, OBJECT_INDEX, 0},
    {EMR_CREATEMONOBRUSH, OBJECT_INDEX, 0},
    {EMR_CREATEMONOBRUSH, BITMAP_FIELDS, 16},
    {EMR_CREATEDIBPATTERNBRUSHPT, OBJECT_INDEX, 0},
    {EMR_CREATEDIBPATTERNBRUSHPT, BITMAP_FIELDS, 16},
    {EMR_EXTCREATEPEN, OBJECT_INDEX, 0},
    {EMR_EXTCREATEPEN, BITMAP_FIELDS, 12},
    {EMR_CREATECOLORSPACE, OBJECT_INDEX, 0},
    {EMR_SETCOLORSPACE, SELECTED_INDEX, 0},
    {EMR_DELETECOLORSPACE, OBJECT_INDEX, 0},
    {EMR_POLYBEZIER, POINTS32, 0},
    {EMR_POLYGON, POINTS32, 0},
    {EMR_POLYLINE, POINTS32, 0},
    {EMR_POLYBEZIERTO, POINTS32, 0},
    {EMR_POLYLINETO, POINTS32, 0},
    {EMR_POLYBEZIER16, POINTS16, 0},
    {EMR_POLYGON16, POINTS16, 0},
    {EMR_POLYLINE16, POINTS16, 0},
    {EMR_POLYBEZIERTO16, POINTS16, 0},
    {EMR_POLYLINETO16, POINTS16, 0},
    {EMR_POLYPOLYLINE, POLY_POINTS32, 0},
    {EMR_POLYPOLYGON, POLY_POINTS32, 0},
    {EMR_POLYPOLYLINE16, POLY_POINTS16, 0},
    {EMR_POLYPOLYGON16, POLY_POINTS16, 0},
    {EMR_POLYDRAW, DRAW_POINTS32, 0},
    {EMR_POLYDRAW16, DRAW_POINTS16, 0},
    {EMR_EXTTEXTOUTA, TEXT_ANSI, 0},
    {EMR_EXTTEXTOUTW, TEXT_WIDE, 0},
    {EMR_BITBLT, BITMAP_FIELDS, 84},
    {EMR_STRETCHBLT, BITMAP_FIELDS, 84},
    {EMR_MASKBLT, BITMAP_FIELDS, 84},
    {EMR_MASKBLT, BITMAP_FIELDS, 112},
    {EMR_PLGBLT, BITMAP_FIELDS, 96},
    {EMR_PLGBLT, BITMAP_FIELDS, 124},
    {EMR_SETDIBITSTODEVICE, BITMAP_FIELDS, 48},
    {EMR_STRETCHDIBITS, BITMAP_FIELDS, 48},
    {EMR_ALPHABLEND, BITMAP_FIELDS, 84},
    {EMR_TRANSPARENTBLT, BITMAP_FIELDS, 84},
};

static bool record_is_sound(const BYTE* record, uint32_t size, const RecordRule& rule, uint32_t handles)
{
    switch (rule.shape) {
    case OBJECT_INDEX:
    case SELECTED_INDEX: {
        if (size < 12)
            return false;
        uint32_t index = u32_at(record, 8);
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
    case TEXT_WIDE: {
        if (size < 76)
            return false;
        uint32_t chars = u32_at(record, 44), off_string = u32_at(record, 48), off_dx = u32_at(record, 72);
        if (!fits(off_string, chars, rule.shape == TEXT_WIDE ? 2 : 1, size))
            return false;
        return off_dx == 0 || fits(off_dx, chars, 4, size) || fits(off_dx, chars, 8, size);
    }
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
        if (type == EMR_EOF)
            return true;
        for (const RecordRule& rule : RULES)
            if (rule.type == type && !record_is_sound(record, record_size, rule, header->nHandles))
                return false;
        at += record_size;
    }
    return false;
}
