// The checks enhanced and Windows metafile records pass before the
// system's player sees them. The player takes record sizes, handle-table
// indices, counts, bitmap headers and the offsets of bitmaps and strings
// inside records as they stand, so one damaged record can hang it or make
// it read and write outside its tables. The checks are an allow-list: a
// record type is played only where a rule for that type stands in the
// tables of emf_check.cpp, and only when the record keeps to it.
#pragma once

#include <windows.h>
#include <stdint.h>

// What the player keeps across records that the rules judge by: the
// palettes in its handle table with their entry counts, and the entries
// of the palette selected. One state follows one play (or check) from its
// header on, and sees only the records that are played.
struct EmfCheckState {
    uint32_t handles;         // the header's nHandles
    uint32_t* palettes;       // per table entry: entry count + 1, 0 for no palette; null until one is made
    uint32_t selected;        // table entry of the selected palette, 0 for none there
    uint32_t selected_entries;  // of the palette selected: the stock one's 20 at first
};

// A state before the header of a metafile whose header counts handles;
// end_emf_check frees what it came to hold.
void begin_emf_check(EmfCheckState* state, uint32_t handles);
void end_emf_check(EmfCheckState* state);

// The records chain in whole words from the header to an end record inside
// size bytes, every record of a type with a rule keeps to it (or does in
// the copy emf_record_with_full_tables makes of it), and the
// picture is not one drawn in GDI+ records alone (comments holding them,
// and no record GDI draws with), of which GDI would show nothing.
bool emf_bits_are_sound(const BYTE* bits, UINT size);

// The same, telling bits that break no rule but pass a limit the rules
// keep the player's work within (a region of more rectangles than they
// take), as a conversion's result may, and a picture drawn in GDI+
// records alone, from other unsound ones.
enum EmfSoundness { EMF_SOUND, EMF_PAST_LIMIT, EMF_UNSOUND, EMF_PLUS_ONLY };
EmfSoundness emf_bits_soundness(const BYTE* bits, UINT size);

// Whether leaving a record of the type unplayed changes nothing the
// picture shows: the comment, and the types without a rule that draw
// nothing on a display (the escapes, the colour-profile records, the
// reserved numbers). Any other record left out leaves the picture cut.
bool emf_record_is_silent(DWORD type);

// Whether records of the type (enhanced) or the function (Windows) draw on
// the device: a shape, text, a region or bits.
bool emf_record_draws(DWORD type);
bool wmf_function_draws_on_device(uint16_t function);

// One enhanced-metafile record of size bytes (its own nSize, inside the
// bits) against the rule for its type and the state the records before it
// left, which a sound record then changes as the player would. False for a
// type without a rule: such a record is not played.
bool emf_record_is_sound(const BYTE* record, uint32_t size, EmfCheckState* state);

// A copy (caller frees) of the record of size bytes whose bitmaps' colour
// tables, shorter than their headers imply, are filled out to those
// entries, the missing ones black, *copy_size its bytes; null when no
// table is short, or memory is. The player is given the copy, which it
// draws as the system draws a full table, and reads nothing past the record.
BYTE* emf_record_with_full_tables(const BYTE* record, uint32_t size, uint32_t* copy_size);

// Copies the header and every sound record of the size bytes at bits to
// out (room for size + EMF_END_RECORD_BYTES bytes; out may be bits itself,
// the records then moved up in place), in order, up to the end record or
// the first record that leaves the bits, closes the copy with an end record
// and counts its bytes and records in its header. The bytes copied; 0 when
// the header itself is not sound.
enum { EMF_END_RECORD_BYTES = 20 };
uint32_t copy_sound_emf_records(const BYTE* bits, uint32_t size, BYTE* out);

// What a text record draws: the distinct characters or glyph indices,
// which the player renders each at the font's size, so that their work
// grows with that size squared; and one past the highest glyph index of
// its strings drawn by glyph index (0 for none), which must be a glyph of
// the font.
struct TextGlyphs {
    uint32_t distinct;
    uint32_t index_end;
};

// Those of a sound enhanced-metafile text record; none for any other record.
TextGlyphs emf_text_glyphs(const BYTE* record, uint32_t size);

// The same for a Windows-metafile record by its function and its
// param_bytes of parameters (within the record): text out, or extended
// text out of characters or glyph indices.
TextGlyphs wmf_text_glyphs(uint16_t function, const BYTE* params, uint32_t param_bytes);

// One Windows-metafile record by its function and its param_bytes of
// parameters, against the rule for its function; objects is the header's
// number of objects. False for a function without a rule.
bool wmf_record_is_sound(uint16_t function, const BYTE* params, uint32_t param_bytes, uint32_t objects);

// Whether a Windows-metafile region record's parameters (param_bytes of
// them) are sound but for the most rectangles the rules take, as a
// conversion's result may be.
bool wmf_region_passes_limit(const BYTE* params, uint32_t param_bytes);

// A font record's parameters in full: nine words, then a 32-byte face
// name, all of which the player reads. A record may end sooner when its
// face name ends within it.
enum { WMF_FONT_PARAM_BYTES = 50 };

// The player's object table as a Windows metafile's records meet it: each
// record that creates an object takes the first free slot, and the records
// that select, delete or draw with an object name its slot. A create left
// out for breaking its rule is replaced by a stand-in the player makes,
// which takes its slot, so that every object keeps the file's own number
// and no index is rewritten.
struct WmfObjectState;

// A table of the header's number of objects; null when memory is short.
// end_wmf_objects frees it.
WmfObjectState* begin_wmf_objects(uint32_t objects);
void end_wmf_objects(WmfObjectState* state);

// Whether records of the function make an object in the player's table.
bool wmf_function_creates(uint16_t function);

enum WmfRecordFate {
    WMF_KEEP,       // the player is given the record
    WMF_STAND_IN,   // a create left out: the player is given a stand-in that takes its slot
    WMF_LEAVE_OUT,  // it is taken out: it draws nothing, and what it set is accounted for
    WMF_CUT,        // it draws, and breaks its rule or draws with an object left out: the picture is cut
};

// One record by its function and its param_bytes of parameters, against
// its rule and the table the records before it left, which it then
// changes as the player would. The table follows the DC's states too,
// saved and restored: what is selected, and the text and background
// colours, which a fresh DC starts with.
WmfRecordFate wmf_record_fate(uint16_t function, const BYTE* params, uint32_t param_bytes, WmfObjectState* state);

// An old bitmap of one plane and one bit a pixel is blitted in the text
// and background colours of the DC, which a conversion to an enhanced
// metafile does not keep. For a sound record of the function with its
// param_bytes of parameters that blits one: the word its bitmap's fields
// start at (width, height, row bytes, planes, bits a pixel, then the
// rows); 0 for any other record.
uint32_t wmf_mono_bitmap_at(uint16_t function, const BYTE* params, uint32_t param_bytes);

// The colours such a blit kept by wmf_record_fate is drawn in, its last
// record: it keeps a blit only when the records left them known.
void wmf_mono_colors(const WmfObjectState* state, COLORREF* text, COLORREF* background);
