// Faults of the BMP reader found on real files: bit fields of any
// contiguous masks (with alpha), 56- and 108-byte headers, and an OS/2
// bitmap with a short colour table.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/bmp_test_util.h"
#include "image/format_test_util.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/seam_recorder.h"

namespace {

struct MaskCase {
    const char* name;
    int header_size;
    int bits;
    uint32_t masks[4];  // red, green, blue, alpha
    uint32_t pixels[3];
    uint8_t want[3][4];  // red, green, blue, alpha (alpha 255: none)
    const char* info;
};

const MaskCase MASK_CASES[] = {
    {"xbgr32", 124, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0},
     {0x00123456, 0x000000FF, 0x00FF0000},
     {{0x56, 0x34, 0x12, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}}, "bitfields: 8 8 8 \n"},
    {"rgba32", 124, 32, {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF},
     {0x11223380, 0xFF0000FF, 0x0000FF00},
     {{0x11, 0x22, 0x33, 0x80}, {255, 0, 0, 255}, {0, 0, 255, 0}}, "bitfields: 8 8 8 8 \n"},
    {"bgr1010", 40, 32, {0x000003FF, 0x000FFC00, 0x3FF00000, 0},
     {0x000003FF, 0x00080000 | 0x200, 0x3FF00000},
     {{255, 0, 0, 0}, {128, 128, 0, 0}, {0, 0, 255, 0}}, "bitfields: 10 10 10 \n"},
    {"argb4444", 124, 16, {0x0F00, 0x00F0, 0x000F, 0xF000},
     {0xFF00, 0x80F0, 0x000F},
     {{255, 0, 0, 255}, {0, 255, 0, 136}, {0, 0, 255, 0}}, "bitfields: 4 4 4 4 \n"},
    {"rgb231", 40, 16, {0x0030, 0x000E, 0x0001, 0},
     {0x0030, 0x0010 | 0x000A, 0x0001},
     {{255, 0, 0, 255}, {85, 182, 0, 255}, {0, 0, 255, 255}}, "bitfields: 2 3 1 \n"},
    {"v4_565", 108, 16, {0xF800, 0x07E0, 0x001F, 0},
     {0xF800, 0x07E0, 0x001F},
     {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}}, "bitfields: 5 6 5 \n"},
    {"v3_rgba", 56, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
     {0x80FF0000, 0xFF00FF00, 0x000000FF},
     {{255, 0, 0, 0x80}, {0, 255, 0, 255}, {0, 0, 255, 0}}, "bitfields: 8 8 8 \n"},
};

// Three pixels in one row, masks where the header size puts them.
std::string masked_file(const MaskCase& c)
{
    std::string bmp = bmp_headers(c.header_size, 3, 1, c.bits, BI_BITFIELDS);
    std::string m(16, '\0');
    for (int i = 0; i < 4; ++i)
        put_le32(m, 4 * i, c.masks[i]);
    if (c.header_size > 40)
        bmp.replace(14 + 40, c.header_size >= 56 ? 16 : 12, m.substr(0, c.header_size >= 56 ? 16 : 12));
    else
        bmp += m.substr(0, 12);
    uint32_t offset = (uint32_t)bmp.size();
    std::string row(dib_row_stride(3, c.bits), '\0');
    for (int i = 0; i < 3; ++i) {
        if (c.bits == 16)
            put_le16(row, 2 * i, c.pixels[i]);
        else
            put_le32(row, 4 * i, c.pixels[i]);
    }
    bmp += row;
    finish_bmp(bmp, offset);
    return bmp;
}

class BmpMaskRegress : public ::testing::TestWithParam<MaskCase> {};

TEST_P(BmpMaskRegress, EachChannelByItsMask)
{
    const MaskCase& c = GetParam();
    SeamRecorder seams(24);
    std::string path = test_out_path("bmp_read_scratch.bmp");
    ASSERT_TRUE(write_file_bytes(path, masked_file(c)));
    HFILE f = _lopen(path.c_str(), OF_READ);
    char info[INFO_TEXT_SIZE] = "";
    int left, top, width, height;
    DibBlock dib(read_bmp_file(f, NULL, info, &left, &top, &width, &height, c.header_size));
    ASSERT_TRUE(dib);
    EXPECT_NE(std::string(info).find(c.info), std::string::npos) << info;
    for (int x = 0; x < 3; ++x) {
        uint8_t got[4];
        dib.rgba(x, 0, got);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(got[k], c.want[x][k]) << "pixel " << x << " channel " << k;
    }
    EXPECT_TRUE(seams.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Masks, BmpMaskRegress, ::testing::ValuesIn(MASK_CASES),
                         [](const ::testing::TestParamInfo<MaskCase>& i) { return std::string(i.param.name); });

// The rows start at bfOffBits after 200 entries, not after a full table.
TEST(BmpRegress, Os2ShortColourTableHonoursTheOffset)
{
    SeamRecorder seams(24);
    std::string full = read_file_bytes(fixture_path("bmp/pm_os2_8_13x7.bmp"));
    ASSERT_GT(full.size(), 26u + 768);
    std::string shorter = full.substr(0, 26 + 3 * 200) + full.substr(get_le32(full, 10));
    finish_bmp(shorter, 26 + 3 * 200);
    DibBlock dib(read_bmp_bytes(shorter, READ_OS2).image);
    EXPECT_EQ(0, max_pixel_difference(dib.get(), read_pnm_file(fixture_path("bmp/pm_os2_8_13x7.ppm"))));
}

}  // namespace
