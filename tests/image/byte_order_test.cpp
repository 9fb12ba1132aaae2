// "II" and "MM" byte order both ways, and the TIFF directory sort order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "image/byte_order.h"

TEST(ByteOrder, ReadsBothOrdersAndTakesOtherMarksAsMotorola)
{
    const uint8_t b[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(0x3412, read_u16_ordered(b, BYTE_ORDER_II));
    EXPECT_EQ(0x1234, read_u16_ordered(b, BYTE_ORDER_MM));
    EXPECT_EQ(0x1234, read_u16_ordered(b, 0));
    EXPECT_EQ(0x78563412u, read_u32_ordered(b, BYTE_ORDER_II));
    EXPECT_EQ(0x12345678u, read_u32_ordered(b, BYTE_ORDER_MM));
    EXPECT_EQ(0x12345678u, read_u32_ordered(b, 0x4948));
    const uint8_t high[4] = {0xFF, 0xFE, 0xFD, 0xFC};
    EXPECT_EQ(0xFCFDFEFFu, read_u32_ordered2(high, BYTE_ORDER_II));
    EXPECT_EQ(0xFFFEFDFCu, read_u32_ordered2(high, BYTE_ORDER_MM));
}

TEST(ByteOrder, WritesBothOrdersAndTakesOtherMarksAsIntel)
{
    const struct { int is_32; int mark; const char* want; } cases[] = {
        {0, 0, "\x34\x12"}, {0, BYTE_ORDER_MM, "\x12\x34"}, {1, BYTE_ORDER_II, "\x78\x56\x34\x12"},
        {1, BYTE_ORDER_MM, "\x12\x34\x56\x78"}, {1, 0x4D4C, "\x78\x56\x34\x12"},
    };
    for (const auto& c : cases) {
        FILE* f = tmpfile();
        if (c.is_32)
            write_u32_ordered(0x12345678, c.mark, f);
        else
            write_u16_ordered(0x1234, c.mark, f);
        char bytes[8] = "";
        rewind(f);
        size_t n = fread(bytes, 1, sizeof bytes, f);
        fclose(f);
        EXPECT_EQ(std::string(c.want), std::string(bytes, n)) << c.mark;
    }
}

TEST(ByteOrder, DirectoryEntriesSortByTagOnly)
{
    // Each entry: tag in the low 16 bits of the first word, the field type
    // above it; the type must not take part in the order.
    uint32_t entries[4][3] = {
        {0x0001010E, 1, 1}, {0x00040100, 2, 2}, {0x00030112, 3, 3}, {0x00020101, 4, 4},
    };
    qsort(entries, 4, 12, compare_tiff_tags);
    EXPECT_EQ(0x0100u, entries[0][0] & 0xFFFF);
    EXPECT_EQ(0x0101u, entries[1][0] & 0xFFFF);
    EXPECT_EQ(0x010Eu, entries[2][0] & 0xFFFF);
    EXPECT_EQ(0x0112u, entries[3][0] & 0xFFFF);
    EXPECT_EQ(3u, entries[3][1]);
}
