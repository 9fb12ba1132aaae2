// The selected-file loader's identification: first bytes, then extension,
// in a fixed order, so a misleading extension never picks the wrong reader.
// Files with their usual extension are identified on the loader's whole road
// in loader_table_test.
#include <gtest/gtest.h>

#include <cstring>

#include "image/loader.h"

namespace {

struct IdentifyCase {
    const char* name;
    BYTE first[10];
    size_t length;
    const char* extension;
    BYTE at128[4];
    int expected;
};

class LoaderIdentify : public ::testing::TestWithParam<IdentifyCase> {};

TEST_P(LoaderIdentify, PicksTheRowOfTheTable)
{
    const IdentifyCase& c = GetParam();
    EXPECT_EQ(identify_file(c.first, c.length, c.at128, c.extension), c.expected) << c.name;
}

const IdentifyCase CASES[] = {
    {"bmp", {'B', 'M'}, 10, "dat", {}, IDENT_BMP},
    {"gif", {'G', 'I', 'F', '8', '9', 'a'}, 10, "xyz", {}, IDENT_GIF},
    {"jpeg", {0xFF, 0xD8, 0xFF, 0xE0}, 10, "", {}, IDENT_JPEG},
    {"ppm by extension", {'P', '6', '\n'}, 10, "PPM", {}, IDENT_PNM},
    // The same bytes with another extension fall through to later rows.
    {"p6 as dat", {'P', '6', '\n'}, 10, "DAT", {}, IDENT_UNKNOWN},
    {"not pcx version 1", {0x0A, 1}, 10, "", {}, IDENT_UNKNOWN},
    {"any II file", {'I', 'I', 9, 9}, 10, "", {}, IDENT_TIFF},
    {"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A}, 10, "", {}, IDENT_PNG},
    {"iff", {'F', 'O', 'R', 'M'}, 10, "lbm", {}, IDENT_IFF},
    {"mp3 frame sync", {0xFF, 0xFB}, 10, "Mp3", {}, IDENT_MP3},
    {"icon bytes, other extension", {0, 0, 1, 0}, 10, "bin", {}, IDENT_UNKNOWN},
    {"placeable wmf", {0xD7, 0xCD, 0xC6, 0x9A}, 10, "", {}, IDENT_PLACEABLE_WMF},
    {"emf", {1, 0, 0, 0}, 10, "EMF", {}, IDENT_EMF},
    {"mpeg by extension", {0, 0, 1, 0xBA}, 10, "mpg", {}, IDENT_MPEG},
    {"mp3 without sync", {'I', 'D', '3'}, 10, "mp3", {}, IDENT_MPEG},
    {"macbinary gif", {0, 5}, 10, "", {'G', 'I', 'F', '8'}, IDENT_MACBINARY_GIF},
    {"empty file", {}, 0, "bmp", {}, IDENT_UNKNOWN},
    {"short file keeps to its bytes", {'B'}, 1, "", {}, IDENT_UNKNOWN},
};

INSTANTIATE_TEST_SUITE_P(Rows, LoaderIdentify, ::testing::ValuesIn(CASES));

}  // namespace
