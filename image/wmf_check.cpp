// The Windows-metafile record checks (see wmf_check.h). Field offsets are
// counted from a record's first parameter; every sum is done in 64 bits,
// so no field can wrap past the record. Each rule states what the
// system's player reads of its record: the words it takes fixed fields
// from, counts it walks, object indices it follows, bitmaps it builds.
#include "image/wmf_check.h"

#include "image/record_check.h"

#include <stdlib.h>
#include <string.h>

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
