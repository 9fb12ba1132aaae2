// The checks enhanced-metafile records pass before the system's player
// sees them; the Windows ones are wmf_check.h's. The player takes record
// sizes, handle-table indices, counts, bitmap headers and the offsets of
// bitmaps and strings inside records as they stand, so one damaged record
// can hang it or make it read and write outside its tables. The checks are
// an allow-list: a record type is played only where a rule for that type
// stands in the tables of emf_check.cpp, and only when the record keeps to
// it.
#pragma once

#include "image/record_check.h"

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

// Whether records of the type draw on the device: a shape, text, a region
// or bits.
bool emf_record_draws(DWORD type);

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

// Those of a sound enhanced-metafile text record; none for any other record.
TextGlyphs emf_text_glyphs(const BYTE* record, uint32_t size);
