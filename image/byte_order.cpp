// Byte-order functions (see byte_order.h).
#include "image/byte_order.h"

#include <string.h>

uint16_t read_u16_ordered(const uint8_t* bytes, uint16_t order)
{
    if (order == BYTE_ORDER_II)
        return (uint16_t)(bytes[0] | (bytes[1] << 8));
    return (uint16_t)((bytes[0] << 8) | bytes[1]);
}

uint32_t read_u32_ordered(const uint8_t* bytes, uint16_t order)
{
    if (order == BYTE_ORDER_II)
        return (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16)
             | ((uint32_t)bytes[3] << 24);
    return ((uint32_t)bytes[0] << 24) | ((uint32_t)bytes[1] << 16) | ((uint32_t)bytes[2] << 8)
         | (uint32_t)bytes[3];
}

uint32_t read_u32_ordered2(const uint8_t* bytes, uint16_t order)
{
    return read_u32_ordered(bytes, order);
}

void write_u16_ordered(uint16_t value, uint16_t order, FILE* stream)
{
    if (order == BYTE_ORDER_MM) {
        fputc(value >> 8, stream);
        fputc(value & 0xFF, stream);
    } else {
        fputc(value & 0xFF, stream);
        fputc(value >> 8, stream);
    }
}

void write_u32_ordered(uint32_t value, uint16_t order, FILE* stream)
{
    if (order == BYTE_ORDER_MM) {
        write_u16_ordered((uint16_t)(value >> 16), order, stream);
        write_u16_ordered((uint16_t)value, order, stream);
    } else {
        write_u16_ordered((uint16_t)value, order, stream);
        write_u16_ordered((uint16_t)(value >> 16), order, stream);
    }
}

int compare_tiff_tags(const void* a, const void* b)
{
    uint32_t word_a, word_b;
    memcpy(&word_a, a, 4);
    memcpy(&word_b, b, 4);
    return (int)(word_a & 0xFFFF) - (int)(word_b & 0xFFFF);
}

uint16_t get_le16(const uint8_t* bytes)
{
    return (uint16_t)(bytes[0] | (bytes[1] << 8));
}

uint32_t get_le32(const uint8_t* bytes)
{
    return (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16) | ((uint32_t)bytes[3] << 24);
}

void put_le16(uint8_t* bytes, uint32_t value)
{
    bytes[0] = (uint8_t)value;
    bytes[1] = (uint8_t)(value >> 8);
}

void put_le32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = (uint8_t)value;
    bytes[1] = (uint8_t)(value >> 8);
    bytes[2] = (uint8_t)(value >> 16);
    bytes[3] = (uint8_t)(value >> 24);
}
