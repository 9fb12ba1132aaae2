// What the enhanced and the Windows metafile record rules (emf_check.h,
// wmf_check.h) share: fields read from a record's bytes, ranges checked
// inside it in 64 bits, a packed DIB header as the player takes it, the
// brush styles the player makes of a style and a colour alone, and the
// glyphs text draws.
#pragma once

#include <windows.h>
#include <stdint.h>

static inline uint16_t u16_at(const BYTE* p, uint64_t offset)
{
    return (uint16_t)(p[offset] | (p[offset + 1] << 8));
}

static inline uint32_t u32_at(const BYTE* p, uint64_t offset)
{
    p += offset;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// offset + count * unit bytes lie within size.
static inline bool fits(uint64_t offset, uint64_t count, uint64_t unit, uint64_t size)
{
    return offset <= size && count * unit <= size - offset;
}

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
bool read_dib_header(const BYTE* p, uint64_t room, DibHeader* dib);

// Bytes of header and colour table as the player reads them with usage.
uint64_t dib_table_end(const DibHeader& dib, uint32_t usage);

// Brushes the player can make of a style and a colour: a pattern style
// would make it take the hatch field for a bitmap handle or an address.
bool brush_style_is_plain(uint32_t style);

// What a text record draws: the distinct characters or glyph indices,
// which the player renders each at the font's size, so that their work
// grows with that size squared; and one past the highest glyph index of
// its strings drawn by glyph index (0 for none), which must be a glyph of
// the font.
struct TextGlyphs {
    uint32_t distinct;
    uint32_t index_end;
};

// Adds to *glyphs the new glyphs of chars characters of unit bytes at
// offset, and their end when they are glyph indices (is_index).
void count_new_glyphs(const BYTE* record, uint64_t at, uint32_t chars, uint32_t unit, bool is_index,
                      uint32_t* seen, TextGlyphs* glyphs);
