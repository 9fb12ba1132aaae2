// Sealing Windows-metafile bits (see wmf_seal.h). The bits are mended in
// place, within the room the caller gives: nothing is read or written past
// it, and a picture the rules cut gives 0.
#include "image/wmf_seal.h"

#include "image/byte_order.h"
#include "image/wmf_check.h"

#include <stdlib.h>
#include <string.h>

// A font record's bytes with its face name whole: the header's six, then
// the parameters the player reads.
enum { WMF_FONT_RECORD_BYTES = META_RECORD_HEAD_BYTES + WMF_FONT_PARAM_BYTES };

static bool is_short_font_record(uint16_t function, uint32_t bytes)
{
    return function == META_CREATEFONTINDIRECT && bytes < WMF_FONT_RECORD_BYTES;
}

// What a create left out is replaced by: a null brush, which the player
// always makes, in the slot the file's object would have taken. No record
// kept selects it or draws with it. One written where a shorter record
// stood is its head alone until the records are grown (its brush record
// is shorter than any the rules keep).
enum { STAND_IN_BYTES = META_RECORD_HEAD_BYTES + 8 };

static uint32_t put_stand_in(BYTE* at, uint32_t room)
{
    uint32_t bytes = room < STAND_IN_BYTES ? (uint32_t)META_RECORD_HEAD_BYTES : (uint32_t)STAND_IN_BYTES;
    memset(at, 0, bytes);
    put_le32(at, bytes / 2);
    put_le16(at + 4, META_CREATEBRUSHINDIRECT);
    if (bytes == STAND_IN_BYTES)
        put_le16(at + META_RECORD_HEAD_BYTES, BS_NULL);
    return bytes;
}

// An old one-bit bitmap is blitted in the DC's text colour (its 0 bits)
// and background colour (its 1 bits), which the system's conversion to an
// enhanced metafile does not keep: it draws the bitmap black and white.
// Every road is handed the blit as the one of a one-bit DIB whose table
// holds the colours the DC has at that record (wmf_mono_colors), the same
// blit in the colours the system's player would take. The bit blit gains
// the low word of its raster operation, which the DIB one reads; the
// stretch blits share their first ten words. The rows, top row first and
// word-aligned, become a top-down DIB's, aligned to four bytes.
// The DIB's header and its table of two colours.
enum { MONO_DIB_HEADER_BYTES = 40 + 2 * 4 };

// Bytes of the DIB form of the mono blit of bytes at record (head, then
// parameters) whose bitmap fields start at word at.
static uint64_t mono_dib_bytes(const BYTE* record, uint32_t at)
{
    const BYTE* bitmap = record + META_RECORD_HEAD_BYTES + 2ull * at;
    uint64_t width = get_le16(bitmap), height = get_le16(bitmap + 2);
    uint32_t head_words = get_le16(record + 4) == META_BITBLT ? at + 1 : at;
    return META_RECORD_HEAD_BYTES + 2ull * head_words + MONO_DIB_HEADER_BYTES + (width + 31) / 32 * 4 * height;
}

// The word the bitmap fields of the mono blit of bytes at record start at
// (wmf_mono_bitmap_at); 0 for any other record.
static uint32_t mono_bitmap_at(const BYTE* record, uint32_t bytes)
{
    return wmf_mono_bitmap_at(get_le16(record + 4), record + META_RECORD_HEAD_BYTES, bytes - META_RECORD_HEAD_BYTES);
}

static void put_table_color(BYTE* at, COLORREF color)
{
    at[0] = GetBValue(color);
    at[1] = GetGValue(color);
    at[2] = GetRValue(color);
    at[3] = 0;
}

// Writes the DIB form of the mono blit record (bytes, its bitmap fields at
// word at) to out, whole bytes long (zeros past the bits), in the colours.
static void put_mono_dib_blit(BYTE* out, uint32_t whole, const BYTE* record, uint32_t at, const COLORREF colors[2])
{
    const BYTE* params = record + META_RECORD_HEAD_BYTES;
    const BYTE* bitmap = params + 2 * at;
    uint32_t width = get_le16(bitmap), height = get_le16(bitmap + 2);
    uint32_t ddb_row = (width + 15) / 16 * 2, dib_row = (width + 31) / 32 * 4;
    memset(out, 0, whole);
    put_le32(out, whole / 2);
    BYTE* q = out + META_RECORD_HEAD_BYTES;
    if (get_le16(record + 4) == META_BITBLT) {
        put_le16(out + 4, META_DIBBITBLT);
        q += 2;  // the raster operation's low word, 0 as the bit blit plays it
    } else {
        put_le16(out + 4, META_DIBSTRETCHBLT);
    }
    memcpy(q, params, 2 * at);
    q += 2 * at;
    put_le32(q, 40);
    put_le32(q + 4, width);
    put_le32(q + 8, (uint32_t)-(int32_t)height);  // top-down: the source rows count from the top
    put_le16(q + 12, 1);
    put_le16(q + 14, 1);
    put_le32(q + 20, dib_row * height);
    put_le32(q + 32, 2);  // the table counted: a conversion keeps only a table it counts
    put_table_color(q + 40, colors[0]);
    put_table_color(q + 44, colors[1]);
    q += MONO_DIB_HEADER_BYTES;
    const BYTE* rows = bitmap + 10;
    for (uint32_t row = 0; row < height; ++row)
        memcpy(q + (size_t)row * dib_row, rows + (size_t)row * ddb_row, ddb_row);
}

// The bytes a record kept is handed over in: a font record whose face name
// ends early, and a stand-in's head, grown whole; a mono blit in its DIB
// form (at least as long as it was, zeros after its bits); any other as it
// stands.
static uint32_t whole_record_bytes(const BYTE* record, uint32_t bytes)
{
    uint16_t function = get_le16(record + 4);
    if (is_short_font_record(function, bytes))
        return WMF_FONT_RECORD_BYTES;
    if (function == META_CREATEBRUSHINDIRECT && bytes < STAND_IN_BYTES)
        return STAND_IN_BYTES;
    if (uint32_t at = mono_bitmap_at(record, bytes)) {
        uint64_t dib = mono_dib_bytes(record, at);
        return dib > bytes ? (uint32_t)dib : bytes;
    }
    return bytes;
}

uint64_t wmf_seal_room(const BYTE* bits, uint32_t size)
{
    uint64_t room = size;
    if (size >= WMF_HEADER_SIZE)
        walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t words, uint16_t function) {
            const BYTE* record = bits + offset;
            if (is_short_font_record(function, words * 2))
                room += WMF_FONT_RECORD_BYTES - words * 2;
            else if (wmf_function_creates(function) && words * 2 < STAND_IN_BYTES)
                room += STAND_IN_BYTES - words * 2;
            else if (function && mono_bitmap_at(record, words * 2) &&
                     wmf_record_is_sound(function, record + META_RECORD_HEAD_BYTES,
                                         words * 2 - META_RECORD_HEAD_BYTES, get_le16(bits + 10)))
                room += whole_record_bytes(record, words * 2) - words * 2;
            return true;
        });
    return room;
}

// The colours of the mono blits kept, two a blit in their order, and the
// bytes of the longest: the blits are written in their DIB form once
// every record kept is known.
struct MonoBlits {
    COLORREF* colors;
    uint32_t count, room;
    uint32_t longest;
};

static bool note_mono_blit(MonoBlits* blits, const WmfObjectState* table, uint32_t bytes)
{
    if (blits->count == blits->room) {
        uint32_t room = blits->room ? 2 * blits->room : 8;
        COLORREF* colors = (COLORREF*)realloc(blits->colors, sizeof(COLORREF) * 2 * (size_t)room);
        if (!colors)
            return false;
        blits->colors = colors;
        blits->room = room;
    }
    wmf_mono_colors(table, &blits->colors[2 * blits->count], &blits->colors[2 * blits->count + 1]);
    blits->count++;
    blits->longest = bytes > blits->longest ? bytes : blits->longest;
    return true;
}

// Grows each record among the kept bytes at bits (records from the header
// to kept) that is handed over whole in more bytes (whole_record_bytes):
// a font record's name field filled out with zeros, a stand-in's head
// made the whole stand-in, a mono blit written in its DIB form, the
// records after it moved down. grown: the bytes that adds, with room at
// bits for kept + grown. The records are first moved up by grown, then
// copied back down one by one: what is written never passes what is
// still to be read (a mono blit is read from a copy of its own). False
// when there is no memory for that copy.
static bool grow_records(BYTE* bits, uint32_t kept, uint32_t grown, const MonoBlits* blits)
{
    BYTE* blit = blits->count ? (BYTE*)malloc(blits->longest) : NULL;
    if (blits->count && !blit)
        return false;
    const uint32_t body = kept - WMF_HEADER_SIZE;
    memmove(bits + WMF_HEADER_SIZE + grown, bits + WMF_HEADER_SIZE, body);
    uint32_t read = WMF_HEADER_SIZE + grown, write = WMF_HEADER_SIZE;
    uint32_t mono = 0;
    while (read < kept + grown) {
        uint32_t bytes = get_le32(bits + read) * 2;
        uint16_t function = get_le16(bits + read + 4);
        uint32_t whole = whole_record_bytes(bits + read, bytes);
        if (uint32_t at = mono_bitmap_at(bits + read, bytes)) {
            memcpy(blit, bits + read, bytes);
            put_mono_dib_blit(bits + write, whole, blit, at, &blits->colors[2 * mono++]);
        } else {
            memmove(bits + write, bits + read, bytes);
            if (function == META_CREATEBRUSHINDIRECT && whole > bytes) {
                put_stand_in(bits + write, whole);
            } else if (whole > bytes) {
                memset(bits + write + bytes, 0, whole - bytes);
                put_le32(bits + write, whole / 2);
            }
        }
        read += bytes;
        write += whole;
    }
    free(blit);
    return true;
}

uint32_t seal_wmf_records(BYTE* bits, uint32_t size, uint64_t room)
{
    if (size < WMF_HEADER_SIZE || room < wmf_seal_room(bits, size))
        return 0;
    uint16_t type = get_le16(bits);
    if ((type != META_TYPE_MEMORY && type != META_TYPE_DISK) ||
        get_le16(bits + 2) != META_HEADER_WORDS)
        return 0;
    WmfObjectState* table = begin_wmf_objects(get_le16(bits + 10));
    if (!table)
        return 0;
    uint32_t kept = WMF_HEADER_SIZE;    // end of the records kept
    uint32_t largest = 3;
    uint32_t grown = 0;                 // bytes the records kept gain when grown whole
    MonoBlits blits = {NULL, 0, 0, 0};
    bool is_noted = true;               // every mono blit kept is noted
    // Records only move down over those left out while they are walked:
    // none is read after the bytes before it were rewritten.
    bool ended = walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t words, uint16_t function) {
        uint32_t bytes = words * 2;
        WmfRecordFate fate =
            function == 0 ? WMF_KEEP : wmf_record_fate(function, bits + offset + 6, bytes - 6, table);
        // A shape its rule leaves out, or one drawn with an object left
        // out: what would be shown is not the picture, which is cut as one
        // whose records run off the data.
        if (fate == WMF_CUT)
            return false;
        if (fate == WMF_STAND_IN) {
            bytes = put_stand_in(bits + kept, bytes);
        } else if (fate == WMF_KEEP) {
            memmove(bits + kept, bits + offset, bytes);
            if (mono_bitmap_at(bits + kept, bytes))
                is_noted = note_mono_blit(&blits, table, bytes);
        } else {
            return true;
        }
        uint32_t whole = whole_record_bytes(bits + kept, bytes);
        kept += bytes;
        grown += whole - bytes;
        if (whole / 2 > largest)
            largest = whole / 2;
        return is_noted;
    });
    end_wmf_objects(table);
    // The system's player and its conversion read a font record's whole
    // face name wherever the name ends: a record that ends sooner is handed
    // over whole, on every road that takes these bytes; so is a stand-in
    // written where a shorter record stood, and a mono blit in its DIB form.
    // Records that leave the data before their end record: the picture is
    // cut, and is not passed off as whole.
    bool is_whole = ended && (!(grown || blits.count) || grow_records(bits, kept, grown, &blits));
    free(blits.colors);
    if (!is_whole)
        return 0;
    kept += grown;
    // A memory metafile: the bits are not tied to a file name.
    put_le16(bits, META_TYPE_MEMORY);
    put_le32(bits + 6, kept / 2);
    put_le32(bits + 12, largest);
    return kept;
}

// A window extent (1 to 65535) as the player makes it of a record's
// signed 16-bit words: the extent itself, or past 32767 a word scaled by
// a numerator and denominator, the product truncated as the player
// truncates it. Some numerator up to 16 gives every extent exactly.
struct ScaledExtent {
    LONG extent, num, den;
};

static ScaledExtent scaled_extent(LONG extent)
{
    if (extent <= 0x7FFF)
        return ScaledExtent{extent, 1, 1};
    for (LONG num = 2; num <= 16; ++num)
        for (LONG den = 1; den < num; ++den) {
            LONG word = (extent * den + num - 1) / num;
            if (word <= 0x7FFF && word * num / den == extent)
                return ScaledExtent{word, num, den};
        }
    return ScaledExtent{0x7FFF, 2, 1};  // not reached for an extent up to 65535
}

uint32_t put_box_window(BYTE* bits, uint32_t size, const RECT* box)
{
    enum { ORIGIN_WORDS = 5, EXTENT_WORDS = 5, SCALE_WORDS = 7 };
    if (size < WMF_HEADER_SIZE)
        return size;
    // Box fields are signed 16-bit values: a box is up to 65535 units across.
    LONG width = box->right - box->left, height = box->bottom - box->top;
    ScaledExtent across = scaled_extent(width < 1 ? 1 : width > 0xFFFF ? 0xFFFF : width);
    ScaledExtent down = scaled_extent(height < 1 ? 1 : height > 0xFFFF ? 0xFFFF : height);
    bool is_scaled = across.num != across.den || down.num != down.den;
    // Parameters stand in reverse order: y, then x.
    const WORD words[ORIGIN_WORDS + EXTENT_WORDS + SCALE_WORDS] = {
        ORIGIN_WORDS, 0, META_SETWINDOWORG, (WORD)box->top, (WORD)box->left,
        EXTENT_WORDS, 0, META_SETWINDOWEXT, (WORD)down.extent, (WORD)across.extent,
        SCALE_WORDS, 0, META_SCALEWINDOWEXT, (WORD)down.den, (WORD)down.num, (WORD)across.den, (WORD)across.num,
    };
    uint32_t added = 2 * (ORIGIN_WORDS + EXTENT_WORDS + (is_scaled ? SCALE_WORDS : 0));
    memmove(bits + WMF_HEADER_SIZE + added, bits + WMF_HEADER_SIZE, size - WMF_HEADER_SIZE);
    for (uint32_t i = 0; i < added / 2; ++i)
        put_le16(bits + WMF_HEADER_SIZE + 2 * i, words[i]);
    put_le32(bits + 6, get_le32(bits + 6) + added / 2);
    if (is_scaled && get_le32(bits + 12) < SCALE_WORDS)
        put_le32(bits + 12, SCALE_WORDS);
    return size + added;
}
