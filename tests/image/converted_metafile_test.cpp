// What a conversion writes: every bitmap record of the Windows metafile
// made of an enhanced one holds only bytes of its input, whatever image
// size the input's bitmap headers state.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "image/metafile.h"
#include "image/wmf_seal.h"
#include "support/dib_block.h"
#include "support/test_support.h"

namespace {

// A 1 x 1 32-bit bitmap, its 4 bytes of bits stretched onto the page.
std::string one_pixel_emf()
{
    HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    BITMAPINFOHEADER bih = {sizeof bih, 1, 1, 1, 32, BI_RGB, 4, 0, 0, 0, 0};
    const BYTE pixel[4] = {0x11, 0x22, 0x33, 0};
    StretchDIBits(dc, 0, 0, 20, 20, 0, 0, 1, 1, pixel, (const BITMAPINFO*)&bih, DIB_RGB_COLORS, SRCCOPY);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    std::string bits(GetEnhMetaFileBits(emf, 0, NULL), '\0');
    GetEnhMetaFileBits(emf, (UINT)bits.size(), (BYTE*)&bits[0]);
    DeleteEnhMetaFile(emf);
    return bits;
}

enum { STRETCHDIBITS_BMI_AT = 48, BIH_SIZE_IMAGE_AT = 20 };

// Word of the packed bitmap in a Windows-metafile record of the function
// (from its first parameter), 0 for a record without one.
size_t dib_word(uint16_t function, uint32_t words)
{
    switch (function) {
    case META_STRETCHDIB: return 11;
    case META_DIBSTRETCHBLT: return 10;
    case META_SETDIBTODEV: return 9;
    case META_DIBCREATEPATTERNBRUSH: return 2;
    case META_DIBBITBLT: return words > 3 + 9 ? 8 : 0;
    }
    return 0;
}

}  // namespace

// Wine's recorder copies as many bytes of bits as the header states: a
// record stating more than it carries is not converted, and a sound one
// is converted with its own bytes.
TEST(ConvertedMetafile, BitmapRecordsHoldOnlyBytesOfTheInput)
{
    const struct {
        const char* name;
        uint32_t stated;
        int bitmaps;
    } cases[] = {
        {"the image size of its bits", 4, 1},
        {"an image size past its bits", 0x10000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string input = one_pixel_emf();
        size_t record = 0;
        while (get_le32(input, record) != EMR_STRETCHDIBITS)
            record += get_le32(input, record + 4);
        put_le32(input, record + get_le32(input, record + STRETCHDIBITS_BMI_AT) + BIH_SIZE_IMAGE_AT, c.stated);
        HENHMETAFILE emf = SetEnhMetaFileBits((UINT)input.size(), (const BYTE*)input.data());
        ASSERT_TRUE(emf);
        std::string path = test_out_path("converted_bitmap.wmf");
        ASSERT_EQ(1, write_wmf_file(emf, path.c_str()));
        DeleteEnhMetaFile(emf);

        std::string output = read_file_bytes(path);
        int bitmaps = 0;
        size_t at = WMF_PLACEABLE_SIZE + WMF_HEADER_SIZE;
        while (at + 6 <= output.size() && get_le32(output, at) >= 3) {
            uint32_t words = get_le32(output, at);
            size_t word = dib_word((uint16_t)get_le16(output, at + 4), words);
            ASSERT_LE(at + 2 * words, output.size());
            if (word) {
                ++bitmaps;
                std::string dib = output.substr(at + 6 + 2 * word, 2 * (words - 3 - word));
                EXPECT_NE(std::string::npos, input.find(dib)) << "a bitmap of " << dib.size() << " bytes";
            }
            at += 2 * words;
        }
        EXPECT_EQ(c.bitmaps, bitmaps);
    }
}
