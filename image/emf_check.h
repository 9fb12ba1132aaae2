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

// The records chain in whole words from the header to an end record inside
// size bytes, and every record of a type with a rule keeps to it.
bool emf_bits_are_sound(const BYTE* bits, UINT size);

// One enhanced-metafile record of size bytes (its own nSize, inside the
// bits) against the rule for its type; handles is the header's nHandles.
// False for a type without a rule: such a record is not played.
bool emf_record_is_sound(const BYTE* record, uint32_t size, uint32_t handles);

// One Windows-metafile record by its function and its param_bytes of
// parameters, against the rule for its function; objects is the header's
// number of objects. False for a function without a rule.
bool wmf_record_is_sound(uint16_t function, const BYTE* params, uint32_t param_bytes, uint32_t objects);
