// The checks both kinds of metafile record rules share (see
// record_check.h).
#include "image/record_check.h"

// The header at p, with room bytes after it: a 12-byte core header or one
// of 40 bytes or more, one plane, a bit count its compression allows, and
// a size within MAX_BITMAP_PIXELS.
bool read_dib_header(const BYTE* p, uint64_t room, DibHeader* dib)
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
uint64_t dib_table_end(const DibHeader& dib, uint32_t usage)
{
    if (usage == COLORS_MONO)
        return dib.header_bytes;
    return dib.header_bytes + dib.colors * (usage == DIB_PAL_COLORS ? 2 : dib.rgb_entry);
}

// Brushes the player can make of a style and a colour: a pattern style
// would make it take the hatch field for a bitmap handle or an address.
bool brush_style_is_plain(uint32_t style)
{
    return style == BS_SOLID || style == BS_NULL || style == BS_HATCHED;
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
void count_new_glyphs(const BYTE* record, uint64_t at, uint32_t chars, uint32_t unit, bool is_index,
                      uint32_t* seen, TextGlyphs* glyphs)
{
    for (uint64_t i = 0; i < chars; i++) {
        uint32_t glyph = unit == 2 ? u16_at(record, at + 2 * i) : record[at + i];
        glyphs->distinct += is_new_glyph(seen, glyph);
        if (is_index && glyph + 1 > glyphs->index_end)
            glyphs->index_end = glyph + 1;
    }
}

