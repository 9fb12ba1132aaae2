// The check an enhanced metafile's bits pass before the system plays them.
// The system's player takes record sizes, handle-table indices, counts and
// the offsets of bitmaps and strings inside records as they stand, so one
// damaged record can hang it or make it read and write outside its tables.
#pragma once

#include <windows.h>

// The records chain in whole words from the header to an end record inside
// size bytes, and every index, count and offset a record holds stays inside
// the handle table and the record itself.
bool emf_bits_are_sound(const BYTE* bits, UINT size);
