// The TIFF writer: every compression in strips and tiles, read back here and
// by tiffinfo and ImageMagick in check_tiff.sh; the fields chosen by depth.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "formats/format_test_util.h"
#include "formats/tiff_write.h"
#include "support/seam_recorder.h"

namespace {

// A packed DIB of the picture: 24 bits, or 1 bit black and white.
HGLOBAL dib_from_pnm(const PnmImage& pnm, int bits)
{
    if (bits != 1)
        return pnm_to_dib(pnm);
    DibBlock image(make_dib(pnm.width, pnm.height, 1, {quad(0, 0, 0), quad(255, 255, 255)}));
    for (int y = 0; y < pnm.height; ++y)
        for (int x = 0; x < pnm.width; ++x)
            set_index(image.row(pnm.height - 1 - y), 1, x, pnm.at(x, y, 0) ? 1 : 0);
    return image.release();
}

struct CompressionCase {
    int compression;
    bool bilevel;
    int tolerance;
};

const CompressionCase COMPRESSIONS[] = {
    {COMPRESSION_NONE, false, 0},     {COMPRESSION_CCITTRLE, true, 0}, {COMPRESSION_CCITTFAX3, true, 0},
    {COMPRESSION_CCITTFAX4, true, 0}, {COMPRESSION_LZW, false, 0},      {COMPRESSION_JPEG, false, 24},
    {COMPRESSION_ADOBE_DEFLATE, false, 0}, {COMPRESSION_PACKBITS, false, 0}, {COMPRESSION_JBIG, true, 0},
    {COMPRESSION_LZMA, false, 0},
};

struct TiffWriteKinds : ::testing::TestWithParam<CompressionCase> {};

// Each file goes to the test-out folder as c<code>_<strips|tiles>.tif with
// its source picture as c<code>.pnm, for check_tiff.sh.
TEST_P(TiffWriteKinds, WritesStripsAndTilesThatReadBack)
{
    SeamRecorder seams;
    const CompressionCase& c = GetParam();
    const char* source = c.bilevel ? "bw.pbm" : "src.ppm";
    PnmImage pnm = read_pnm_file(tiff_fixture(source));
    ASSERT_FALSE(pnm.empty());
    DibBlock image(dib_from_pnm(pnm, c.bilevel ? 1 : 24));
    const std::string base = "c" + std::to_string(c.compression);
    ASSERT_TRUE(write_file_bytes(test_out_path(base + ".pnm"), read_file_bytes(tiff_fixture(source))));
    for (int tiled = 0; tiled < 2; ++tiled) {
        if (c.compression == COMPRESSION_JBIG && tiled)
            continue;  // one strip only; the menu offers no tiles
        const std::string path = test_out_path(base + (tiled ? "_tiles.tif" : "_strips.tif"));
        ASSERT_EQ(write_tiff_file(path.c_str(), c.compression, tiled, image.get()), 1) << path;
        DibBlock back(read_tiff_page(path));
        ASSERT_NE(back.get(), nullptr) << path;
        EXPECT_LE(max_pixel_difference(back.get(), pnm), c.tolerance) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, TiffWriteKinds, ::testing::ValuesIn(COMPRESSIONS),
                         [](const ::testing::TestParamInfo<CompressionCase>& info) {
                             return "c" + std::to_string(info.param.compression);
                         });

TEST(TiffWrite, RefusesFaxAndJbigForColourAndLeavesNoFile)
{
    PnmImage pnm = read_pnm_file(tiff_fixture("src.ppm"));
    DibBlock image(dib_from_pnm(pnm, 24));
    const std::string path = test_out_path("refused.tif");
    DeleteFileA(path.c_str());
    for (int code : {COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4, COMPRESSION_JBIG}) {
        EXPECT_EQ(write_tiff_file(path.c_str(), code, 0, image.get()), 0) << code;
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << code;
    }
}

// "photometric samples bits extra-sample" as libtiff reads them.
std::string fields_of(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return "unreadable";
    uint16_t photometric = 0, spp = 0, bps = 0, count = 0, *extra = nullptr;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &extra);
    std::string fields = std::to_string(photometric) + " " + std::to_string(spp) + " " + std::to_string(bps) + " " +
                         std::to_string(count ? extra[0] : 0);
    TIFFClose(tif);
    return fields;
}

// Palettes and depths pick the fields a reader shows them right with.
TEST(TiffWrite, ChoosesFieldsByDepthAndPalette)
{
    SeamRecorder seams;
    std::vector<RGBQUAD> reverse(256), ramp4 = {{0, 0, 0, 0}, {85, 85, 85, 0}, {170, 170, 170, 0}, {255, 255, 255, 0}};
    for (int i = 0; i < 256; ++i)
        reverse[i] = RGBQUAD{(BYTE)(255 - i), (BYTE)(255 - i), (BYTE)(255 - i), 0};
    const struct {
        const char* name;
        int bits;
        std::vector<RGBQUAD> table;
        BYTE first_byte;  // first pixel byte(s)
        BYTE alpha;       // 32 bits: alpha of every pixel
        const char* fields;
    } CASES[] = {
        {"white_black", 1, {{255, 255, 255, 0}, {0, 0, 0, 0}}, 0xA0, 0, "0 1 1 0"},
        {"red_blue", 1, {{0, 0, 255, 0}, {255, 0, 0, 0}}, 0xA0, 0, "3 1 4 0"},
        {"ramp4", 4, ramp4, 0x13, 0, "1 1 4 0"},
        {"reverse8", 8, reverse, 10, 0, "1 1 8 0"},
        {"rgb16", 16, {}, 0xFF, 0, "2 3 8 0"},
        {"alpha32", 32, {}, 0x40, 128, "2 4 8 2"},  // unassociated alpha
        {"noalpha32", 32, {}, 0x40, 0, "2 3 8 0"},
    };
    for (const auto& c : CASES) {
        DibBlock image(make_dib(3, 2, c.bits, c.table, (uint32_t)c.table.size()));
        for (int y = 0; y < 2; ++y) {
            image.row(y)[0] = c.first_byte;
            for (int x = 0; c.bits == 32 && x < 3; ++x)
                image.row(y)[4 * x + 3] = c.alpha;
        }
        const std::string path = test_out_path(std::string("fields_") + c.name + ".tif");
        ASSERT_EQ(write_tiff_file(path.c_str(), COMPRESSION_LZW, 0, image.get()), 1) << c.name;
        EXPECT_EQ(fields_of(path), c.fields) << c.name;
        DibBlock back(read_tiff_page(path));
        ASSERT_NE(back.get(), nullptr) << c.name;
        // the same colours come back
        for (int x = 0; x < 3; ++x) {
            uint8_t pa[4], pb[4];
            image.rgba(x, 0, pa);
            back.rgba(x, 0, pb);
            EXPECT_EQ(std::vector<uint8_t>(pa, pa + 3), std::vector<uint8_t>(pb, pb + 3)) << c.name << x;
        }
    }
}

}  // namespace
