// 16- and 32-bit integers in the byte order of a "II" or "MM" file (Exif,
// TIFF), and the sort order of TIFF directory entries. Readers take every
// mark but "II" as "MM"; writers take every mark but "MM" as "II".
#pragma once

#include <stdint.h>
#include <stdio.h>

enum { BYTE_ORDER_II = 0x4949, BYTE_ORDER_MM = 0x4D4D };

uint16_t read_u16_ordered(const uint8_t* bytes, uint16_t order);
uint32_t read_u32_ordered(const uint8_t* bytes, uint16_t order);
uint32_t read_u32_ordered2(const uint8_t* bytes, uint16_t order);

// Read 2 or 4 bytes stored little-endian ("II").
uint16_t get_le16(const uint8_t* bytes);
uint32_t get_le32(const uint8_t* bytes);

// Store 2 or 4 bytes little-endian ("II") into a buffer.
void put_le16(uint8_t* bytes, uint32_t value);
void put_le32(uint8_t* bytes, uint32_t value);

// Write 2 or 4 bytes to the stream.
void write_u16_ordered(uint16_t value, uint16_t order, FILE* stream);
void write_u32_ordered(uint32_t value, uint16_t order, FILE* stream);

// qsort comparator over 12-byte directory entries held in native order:
// ascending by the tag, the low 16 bits of the entry's first 32-bit word.
int compare_tiff_tags(const void* a, const void* b);
