// The TIFF directory sort order. Both byte orders are read and written on
// the EXIF and TIFF comment tests' files of each order.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image/byte_order.h"

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
