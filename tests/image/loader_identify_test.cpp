// The selected-file loader's identification: first bytes, then extension,
// in a fixed order, so a misleading extension never picks the wrong reader.
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
    {"j2k codestream", {0xFF, 0x4F, 0xFF, 0x51}, 10, "j2k", {}, IDENT_J2K},
    {"jp2", {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '}, 10, "jp2", {}, IDENT_JP2},
    {"ppm by extension", {'P', '6', '\n'}, 10, "PPM", {}, IDENT_PNM},
    // The same bytes with another extension fall through to later rows.
    {"p6 as dat", {'P', '6', '\n'}, 10, "DAT", {}, IDENT_UNKNOWN},
    {"pcx v5", {0x0A, 5, 1, 8}, 10, "pcx", {}, IDENT_PCX},
    {"not pcx version 1", {0x0A, 1}, 10, "", {}, IDENT_UNKNOWN},
    {"tiff intel", {'I', 'I', 0x2A, 0}, 10, "tif", {}, IDENT_TIFF},
    {"any II file", {'I', 'I', 9, 9}, 10, "", {}, IDENT_TIFF},
    {"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A}, 10, "", {}, IDENT_PNG},
    {"iff", {'F', 'O', 'R', 'M'}, 10, "lbm", {}, IDENT_IFF},
    {"mp3 frame sync", {0xFF, 0xFB}, 10, "Mp3", {}, IDENT_MP3},
    {"icon", {0, 0, 1, 0}, 10, "ico", {}, IDENT_ICON},
    {"icon bytes, other extension", {0, 0, 1, 0}, 10, "bin", {}, IDENT_UNKNOWN},
    {"sun icon", {'/', '*'}, 10, "ico", {}, IDENT_SUN_ICON},
    {"placeable wmf", {0xD7, 0xCD, 0xC6, 0x9A}, 10, "", {}, IDENT_PLACEABLE_WMF},
    {"plain wmf", {1, 0, 9, 0}, 10, "wmf", {}, IDENT_WMF},
    {"emf", {1, 0, 0, 0}, 10, "EMF", {}, IDENT_EMF},
    {"targa", {0, 0, 2, 0}, 10, "tga", {}, IDENT_TARGA},
    {"mpeg by extension", {0, 0, 1, 0xBA}, 10, "mpg", {}, IDENT_MPEG},
    {"mp3 without sync", {'I', 'D', '3'}, 10, "mp3", {}, IDENT_MPEG},
    {"macbinary gif", {0, 5}, 10, "", {'G', 'I', 'F', '8'}, IDENT_MACBINARY_GIF},
    {"empty file", {}, 0, "bmp", {}, IDENT_UNKNOWN},
    {"short file keeps to its bytes", {'B'}, 1, "", {}, IDENT_UNKNOWN},
};

INSTANTIATE_TEST_SUITE_P(Rows, LoaderIdentify, ::testing::ValuesIn(CASES));

}  // namespace
