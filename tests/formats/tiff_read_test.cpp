// The TIFF reader against the pictures independent tools made
// (make_tiff.sh), and files built here.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "formats/format_test_util.h"
#include "formats/tiff_state.h"
#include "jpeg/jpeg_write.h"
#include "image/merge_source.h"
#include "support/seam_recorder.h"

namespace {

struct KindCase {
    const char* name;
    int bit_count;
    // 0 where no colour transform or lossy codec runs; tifftopnm rounds
    // 16-bit colour maps where the reader truncates; ImageMagick's Lab is
    // relative to D65, the colour profiles' to D50.
    int tolerance;
};

const KindCase KINDS[] = {
    {"rgb_none", 24, 0},         {"rgb_lzw", 24, 0},          {"rgb_zip", 24, 0},
    {"rgb_packbits", 24, 0},     {"rgb_lzma", 24, 0},         {"rgb_tiled", 24, 0},
    {"rgb_planar", 24, 0},       {"rgb_planar_tiled", 24, 0}, {"rgb_strips5", 24, 0},
    {"rgb_bigtiff", 24, 0},      {"rgb16", 24, 0},            {"rgb16_be", 24, 0},
    {"rgb_jpeg", 24, 2},         {"rgb_jpeg_tiled", 24, 2},   {"rgba", 32, 0},
    {"grey_none", 8, 0},         {"grey16", 8, 0},            {"grey2", 4, 0},
    {"grey4", 4, 0},             {"grey4_tiled", 4, 0},       {"bw_none", 1, 0},
    {"bw_g3", 1, 0},             {"bw_g4", 1, 0},             {"bw_fill2", 1, 0},
    {"bw_g3_fill2", 1, 0},       {"bw_lzw_fill2", 1, 0},      {"bw_tiled", 1, 0},
    {"pal4", 4, 1},              {"pal8", 8, 1},              {"cmyk", 32, 3},
    {"lab", 24, 25},             {"float32", 24, 1},          {"float16", 24, 1},
    {"turned", 24, 0},           {"logl", 8, 0},
};

struct TiffKinds : ::testing::TestWithParam<KindCase> {
    SeamRecorder seams;
};

TEST_P(TiffKinds, MatchesIndependentDecoder)
{
    const KindCase& k = GetParam();
    DibBlock image(read_tiff_page(tiff_fixture(std::string(k.name) + ".tif")));
    ASSERT_NE(image.get(), nullptr);
    EXPECT_EQ(dib_bit_count(image.get()), k.bit_count);
    PnmImage ref = read_pnm_file(tiff_fixture(std::string(k.name) + ".pnm"));
    // unassociated alpha is kept as it is stored
    EXPECT_LE(max_pixel_difference(image.get(), ref, ref.channels == 4), k.tolerance);
    EXPECT_TRUE(seams.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, TiffKinds, ::testing::ValuesIn(KINDS),
                         [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

// pnmtotiff's description becomes the comment; fill order 2 beeps.
TEST(TiffRead, InformationTextAndFillOrder)
{
    SeamRecorder seams;
    char info[INFO_TEXT_SIZE] = "file type: TIFF";
    g_hComment = NULL;
    DibBlock image(read_tiff_page(tiff_fixture("rgb_strips5.tif"), 1, nullptr, info));
    EXPECT_STREQ(info, "file type: TIFF \nwidth: 61 \nheight: 37 \nphotometric interpretation: \n     "
                       "RGB color model  (2)  \ncompression: \n     none  (1)  \nbits per sample: 8 "
                       "\nsamples per pixel: 3 \norientation: 1 \nplanar configuration: 1 "
                       "\nrows per strip: 5 \nnumber of strips: 8");
    EXPECT_EQ(take_comment(), "converted PNM file");
    EXPECT_TRUE(seams.beeps.empty());
    DibBlock bw(read_tiff_page(tiff_fixture("bw_fill2.tif"), 1, nullptr, info));
    EXPECT_NE(std::strstr(info, " \nfill order: 2 (LSB to MSB)"), nullptr);
    EXPECT_EQ(seams.beeps.size(), 1u);
    take_comment();
}

// A little-endian 8-bit grey file of width x height with one strip.
std::string grey_tiff(uint32_t width, uint32_t height, uint32_t strip_bytes)
{
    const uint32_t entries[8][2] = {{256, width}, {257, height}, {258, 8},      {259, 1},
                                    {262, 1},     {273, 110},    {278, height}, {279, strip_bytes}};
    std::string s = "II" + le16(42) + le32(8) + le16(8);
    for (const auto& e : entries)
        s += le16(e[0]) + le16(4) + le32(1) + le32(e[1]);  // all LONG
    return s + le32(0) + std::string(strip_bytes < 4096 ? strip_bytes : 4096, '\x40');
}

// Sizes past the limits, and a strip shorter than it says.
TEST(TiffRead, RefusesSizesPastTheLimitsAndTruncatedStrips)
{
    // The only strip cut short: nothing decodes, which is a read error.
    const struct {
        uint32_t width, height, strip_bytes, cut;
        const char* message;
    } CASES[] = {{0x40001, 1, 16, 0, "Memory Allocation Error"},
                 {20000, 20000, 16, 0, "Memory Allocation Error"},
                 {16, 16, 256, 100, "File Read Error"}};
    for (const auto& c : CASES) {
        SeamRecorder seams;
        const std::string path = test_out_path("hostile_size.tif");
        std::string bytes = grey_tiff(c.width, c.height, c.strip_bytes);
        ASSERT_TRUE(write_file_bytes(path, bytes.substr(0, bytes.size() - c.cut)));
        char info[INFO_TEXT_SIZE] = "";
        EXPECT_EQ(read_tiff_page(path, 1, nullptr, info), nullptr) << c.width;
        ASSERT_EQ(seams.boxes.size(), 1u) << c.width;
        EXPECT_EQ(seams.boxes[0].text, c.message);
    }
}

// Files that contradict themselves (tests/fixtures/make_hostile_formats.sh):
// refused with the reader's message, committing nothing near what they
// claim, and never handed to a codec that ends the process.
TEST(TiffRead, HostileFilesAreRefusedWithinTheirBytes)
{
    const struct {
        const char* name;
        const char* message;
    } CASES[] = {
        {"TIFF-float-8bit.tif", "File Read Error"},            // no 8-bit float exists
        {"TIFF-float-12bit.tif", "File Read Error"},
        {"TIFF-jbig-impossible-size.tif", "File Read Error"},  // JBIG-KIT would abort
        {"TIFF-jbig-float-impossible-size.tif", "File Read Error"},  // in the float range's scan
        {"TIFF-jbig-tile-impossible-size.tif", "File Read Error"},
        {"TIFF-tile-larger-than-file.tif", "Memory Allocation Error"},
        {"TIFF-image-larger-than-file.tif", "Memory Allocation Error"},
        {"TIFF-lzma-larger-than-file.tif", "Memory Allocation Error"},  // past LZMA2's real best ratio
    };
    for (const auto& c : CASES) {
        SeamRecorder seams;
        PeakMemoryWatch watch;
        ASSERT_TRUE(watch.works());
        char info[INFO_TEXT_SIZE] = "";
        EXPECT_EQ(read_tiff_page(fixture_path(std::string("hostile/") + c.name), 1, nullptr, info), nullptr)
            << c.name;
        EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN) << c.name;
        ASSERT_EQ(seams.boxes.size(), 1u) << c.name;
        EXPECT_EQ(seams.boxes[0].text, c.message) << c.name;
    }
    // The Exif thumbnail's road (no information text) refuses as quietly.
    SeamRecorder seams;
    EXPECT_EQ(read_tiff_page(fixture_path("hostile/TIFF-float-8bit.tif")), nullptr);
    EXPECT_TRUE(seams.boxes.empty());
}

// Directories and byte counts that claim hundreds of megabytes the file
// does not have (tests/fixtures/make_hostile_formats.sh): the library
// would size a buffer by the claim and the system make it resident before
// the short read. A private tag the file cannot fill is dropped and the
// page still shows.
TEST(TiffRead, ClaimsPastTheFileCostOnlyWhatTheFileHolds)
{
    const struct {
        const char* name;
        const char* message;  // null: the page shows
    } CASES[] = {
        {"TIFF-bits-per-sample-360mb.tif", "File Read Error"},
        {"TIFF-compression-512mb.tif", "File Read Error"},
        {"TIFF-private-tag-512mb.tif", nullptr},
        {"TIFF-lzw-strip-past-file.tif", "File Read Error"},
        {"TIFF-lzw-tile-past-file.tif", "File Read Error"},
    };
    for (const auto& c : CASES) {
        SeamRecorder seams;
        PeakMemoryWatch watch;
        ASSERT_TRUE(watch.works());
        char info[INFO_TEXT_SIZE] = "";
        DibBlock image(read_tiff_page(fixture_path(std::string("hostile/") + c.name), 1, nullptr, info));
        EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN) << c.name;
        EXPECT_EQ(image.get() != nullptr, c.message == nullptr) << c.name;
        ASSERT_EQ(seams.boxes.size(), c.message ? 1u : 0u) << c.name;
        if (c.message)
            EXPECT_EQ(seams.boxes[0].text, c.message) << c.name;
    }
}

// A blank fax page in one Group 4 strip of a few kilobytes really holds
// its picture, a bit a row however wide: the merge loader's ceiling lets it
// open (tests/fixtures/make_ceiling.sh).
TEST(TiffRead, BlankFaxPageInAFewBytesStillOpens)
{
    const struct {
        const char* name;
        int width, height;
    } CASES[] = {{"ceiling/blank_fax.tif", 16000, 16000}, {"ceiling/blank_wide_fax.tif", 40000, 20000}};
    for (const auto& c : CASES) {
        SeamRecorder seams;
        DibBlock image(load_image_file(fixture_path(c.name).c_str()));
        ASSERT_NE(image.get(), nullptr) << c.name;
        EXPECT_EQ(image.bih->biWidth, c.width);
        EXPECT_EQ(image.bih->biHeight, c.height);
        EXPECT_EQ(image.bih->biBitCount, 1);
        EXPECT_TRUE(seams.boxes.empty());
    }
}

// Strips that fail keep their rows zero; the others are shown, silently.
// Cut before its directory, the file is a read error.
TEST(TiffRead, KeepsEveryStripThatDecodes)
{
    SeamRecorder seams;
    char info[INFO_TEXT_SIZE] = "";
    DibBlock image(read_tiff_page(fixture_path("hostile/TIFF-strips-past-end.tif"), 1, nullptr, info));
    ASSERT_NE(image.get(), nullptr);
    PnmImage half;
    half.width = 4, half.height = 16, half.channels = 1;
    for (int i = 0; i < 64; ++i)
        half.data.push_back(i < 32 ? 0x80 : 0);
    EXPECT_EQ(max_pixel_difference(image.get(), half), 0);
    EXPECT_TRUE(seams.boxes.empty());

    const std::string path = test_out_path("cut_before_directory.tif");
    std::string whole = read_file_bytes(tiff_fixture("rgb_lzw.tif"));
    ASSERT_TRUE(write_file_bytes(path, whole.substr(0, get_le32(whole, 4))));
    EXPECT_EQ(read_tiff_page(path, 1, nullptr, info), nullptr);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "File Read Error");
}

// The same for tiles: a tile that fails leaves its columns zero.
TEST(TiffRead, KeepsEveryTileThatDecodes)
{
    SeamRecorder seams;
    const std::string path = test_out_path("one_broken_tile.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 32);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 16);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    std::string tile(256, '\x60');
    ASSERT_GE(TIFFWriteEncodedTile(tif, 0, &tile[0], 256), 0);
    ASSERT_GE(TIFFWriteRawTile(tif, 1, (void*)"not deflate data", 16), 0);
    TIFFClose(tif);
    char info[INFO_TEXT_SIZE] = "";
    DibBlock image(read_tiff_page(path, 1, nullptr, info));
    ASSERT_NE(image.get(), nullptr);
    PnmImage left;
    left.width = 32, left.height = 16, left.channels = 1;
    for (int i = 0; i < 32 * 16; ++i)
        left.data.push_back(i % 32 < 16 ? 0x60 : 0);
    EXPECT_EQ(max_pixel_difference(image.get(), left), 0);
    EXPECT_TRUE(seams.boxes.empty());
}

// A page of which nothing decodes says so, and leaves no comment behind
// for the status bars of a preview that shows nothing.
TEST(TiffRead, PageOfWhichNothingDecodesLeavesNoComment)
{
    SeamRecorder seams;
    const std::string path = test_out_path("undecodable.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 8);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 8);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, "never shown");
    ASSERT_GE(TIFFWriteRawStrip(tif, 0, (void*)"not deflate data", 16), 0);
    TIFFClose(tif);
    g_hComment = NULL;
    char info[INFO_TEXT_SIZE] = "";
    EXPECT_EQ(read_tiff_page(path, 1, nullptr, info), nullptr);
    EXPECT_EQ(take_comment(), "(none)");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "File Read Error");
}

// A JBIG strip as libtiff writes it still reaches the codec whole, in
// either FillOrder.
TEST(TiffRead, JbigStripDecodes)
{
    SeamRecorder seams;
    const std::string path = test_out_path("jbig_strip.tif");
    const int W = 21, H = 7;
    PnmImage bits;
    bits.width = W, bits.height = H, bits.channels = 1;
    std::string packed((W + 7) / 8 * H, '\0');
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool black = (x * 3 + y * 5) % 7 < 3;
            bits.data.push_back(black ? 0 : 255);
            if (black)
                packed[y * ((W + 7) / 8) + x / 8] |= (char)(0x80 >> (x % 8));
        }
    for (int fill_order : {FILLORDER_MSB2LSB, FILLORDER_LSB2MSB}) {
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, W);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, H);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JBIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_FILLORDER, fill_order);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, H);
        ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, &packed[0], (tmsize_t)packed.size()), 0);
        TIFFClose(tif);
        DibBlock image(read_tiff_page(path));
        EXPECT_EQ(max_pixel_difference(image.get(), bits), 0) << fill_order;
        EXPECT_TRUE(seams.boxes.empty());
        // nor does the read leave the file mapped and locked
        EXPECT_TRUE(write_file_bytes(path, "replaced")) << fill_order;
    }
}

// Each page of a three-page file, the page count found by the first read
// and passed back as the loaders do: its own depth and pixels.
TEST(TiffRead, EachPageOfAMultiPageFile)
{
    SeamRecorder seams;
    const std::string path = test_out_path("three_pages.tif");
    const struct {
        int width, height, spp, bps, bit_count;
    } PAGES[] = {{5, 3, 1, 8, 8}, {4, 2, 3, 8, 24}, {9, 2, 1, 1, 1}};
    std::vector<PnmImage> expected;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (const auto& p : PAGES) {
        PnmImage page;
        page.width = p.width, page.height = p.height, page.channels = p.spp;
        std::string packed;
        for (int y = 0; y < p.height; ++y) {
            std::string row((p.width * p.spp * p.bps + 7) / 8, '\0');
            for (int i = 0; i < p.width * p.spp; ++i) {
                uint8_t v = p.bps == 1 ? ((i + y) % 3 == 0 ? 255 : 0) : (uint8_t)(40 * i + 70 * y + 9 * p.spp);
                page.data.push_back(v);
                if (p.bps == 8)
                    row[i] = (char)v;
                else if (v)
                    row[i / 8] |= (char)(0x80 >> (i % 8));
            }
            packed += row;
        }
        expected.push_back(page);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bps);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.spp);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.spp == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.height);
        ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, &packed[0], (tmsize_t)packed.size()), 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    int count = 1;
    for (int page = 1; page <= 3; ++page) {
        int format = 0, index = page;
        DibBlock image(read_tiff_file(path.c_str(), NULL, &format, &index, &count, GetModuleHandleA(NULL)));
        ASSERT_NE(image.get(), nullptr) << page;
        EXPECT_EQ(count, 3);
        EXPECT_EQ(index, page);
        EXPECT_EQ(dib_bit_count(image.get()), PAGES[page - 1].bit_count) << page;
        EXPECT_EQ(max_pixel_difference(image.get(), expected[page - 1]), 0) << page;
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// A profile of the wrong colour space gives no transform: the pixels come
// through unconverted; a matching one converts them (sRGB to sRGB: the same).
TEST(TiffRead, EmbeddedProfileThatCannotPairIsPassedBy)
{
    PnmImage pixels;
    pixels.width = 8, pixels.height = 2, pixels.channels = 3;
    for (int i = 0; i < 48; ++i)
        pixels.data.push_back((uint8_t)(i * 5));
    for (const char* profile : {"CMYK", "SRGB"}) {
        SeamRecorder seams;
        HRSRC info = FindResourceA(NULL, profile, "COLOR_PROFILE");
        const std::string path = test_out_path(std::string("embedded_") + profile + ".tif");
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 8);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, (uint32_t)SizeofResource(NULL, info),
                     LockResource(LoadResource(NULL, info)));
        TIFFWriteEncodedStrip(tif, 0, pixels.data.data(), 48);
        TIFFClose(tif);
        DibBlock image(read_tiff_page(path));
        EXPECT_LE(max_pixel_difference(image.get(), pixels), 2) << profile;
        EXPECT_EQ(seams.beeps.size(), 1u) << profile;
    }
}

// A 12-bit JPEG page (the library's second JPEG codec), colour through the
// codec's RGB and grey: each output byte is the sample's top 8 bits.
TEST(TiffRead, TwelveBitJpegKeepsTheHighBits)
{
    const int W = 32, H = 16;
    for (int spp : {3, 1}) {
        SeamRecorder seams;
        const std::string path = test_out_path("jpeg12_" + std::to_string(spp) + ".tif");
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, W);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, H);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 12);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spp == 3 ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, H);
        TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, JPEGTABLESMODE_QUANT);
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        if (spp == 3)
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        // a smooth ramp per channel, two 12-bit samples in three bytes; the
        // expected picture holds their top 8 bits
        auto sample = [spp](size_t i) { return (int)(i / spp % W * 60 + i / spp / W * 40 + i % spp * 300); };
        std::string packed;
        PnmImage top;
        top.width = W, top.height = H, top.channels = spp;
        for (size_t i = 0; i < (size_t)W * H * spp; i += 2) {
            packed += {(char)(sample(i) >> 4), (char)((sample(i) & 15) << 4 | sample(i + 1) >> 8), (char)sample(i + 1)};
            top.data.insert(top.data.end(), {(uint8_t)(sample(i) >> 4), (uint8_t)(sample(i + 1) >> 4)});
        }
        ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, &packed[0], (tmsize_t)packed.size()), 0);
        TIFFClose(tif);
        DibBlock image(read_tiff_page(path));
        EXPECT_LE(max_pixel_difference(image.get(), top), 3) << spp;
    }
}

extern "C" int TIFFInitJPEG_ijg8(TIFF* tif, int scheme);

// The file read with the library's 8-bit JPEG codec on the IJG build in
// place of its libjpeg-turbo one.
static HGLOBAL read_with_ijg_codec(const std::string& path)
{
    TIFFCodec* codec = TIFFRegisterCODEC(COMPRESSION_JPEG, "JPEG", TIFFInitJPEG_ijg8);
    HGLOBAL image = read_tiff_page(path);
    TIFFUnRegisterCODEC(codec);
    return image;
}

// A one-strip JPEG page of the given pixels (one or three samples), encoded
// by the library.
static std::string write_jpeg_page(const std::string& name, int width, int height, int spp, int photometric)
{
    const std::string path = test_out_path(name);
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return path;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 80);
    if (photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    std::string row((size_t)width * spp, '\0');
    for (int y = 0; y < height; y++) {
        for (size_t i = 0; i < row.size(); i++)
            row[i] = (char)((i * 5 + y * 3 + (i * y) % 23) & 255);
        TIFFWriteScanline(tif, &row[0], (uint32_t)y, 0);
    }
    TIFFClose(tif);
    return path;
}

// 8-bit JPEG pages decode on libjpeg-turbo: every byte as the IJG build
// gives it, strips and tiles, YCbCr 2x2 as RGB, grey, and separated RGB.
TEST(TiffRead, JpegPagesMatchTheIjgCodecByteForByte)
{
    SeamRecorder seams;
    const std::string paths[] = {
        tiff_fixture("rgb_jpeg.tif"),
        tiff_fixture("rgb_jpeg_tiled.tif"),
        write_jpeg_page("jpeg_grey.tif", 67, 41, 1, PHOTOMETRIC_MINISBLACK),
        write_jpeg_page("jpeg_rgb.tif", 45, 38, 3, PHOTOMETRIC_RGB),
        write_jpeg_page("jpeg_ycbcr_odd.tif", 45, 37, 3, PHOTOMETRIC_YCBCR),
    };
    for (const std::string& path : paths) {
        DibBlock fast(read_tiff_page(path));
        DibBlock plain(read_with_ijg_codec(path));
        ASSERT_NE(fast.get(), nullptr) << path;
        ASSERT_NE(plain.get(), nullptr) << path;
        EXPECT_TRUE(dib_bytes(fast.get()) == dib_bytes(plain.get())) << path;
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// Lossless JPEG data in a page (which libjpeg-turbo has no process for) is
// still read, and exactly.
TEST(TiffRead, LosslessJpegPageReadsExactly)
{
    SeamRecorder seams;
    const int W = 29, H = 17;
    struct Case {
        const char* name;
        int bits, spp, photometric;
    } cases[] = {{"lossless_grey", 8, 1, PHOTOMETRIC_MINISBLACK}, {"lossless_rgb", 24, 3, PHOTOMETRIC_RGB}};
    for (const Case& c : cases) {
        DibBlock source(c.bits == 8 ? make_pattern(W, H, 8, grey_ramp(256, 1)) : make_pattern(W, H, 24));
        const std::string jpg = test_out_path(std::string(c.name) + ".jpg");
        ASSERT_EQ(write_jpeg_file(jpg.c_str(), 100, source.get(), 0, 1, 0), 1) << c.name;
        std::string stream = read_file_bytes(jpg);
        ASSERT_FALSE(stream.empty());
        const std::string path = test_out_path(std::string(c.name) + ".tif");
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, W);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, H);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, c.spp);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, c.photometric);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, H);
        ASSERT_EQ(TIFFWriteRawStrip(tif, 0, &stream[0], (tmsize_t)stream.size()), (tmsize_t)stream.size());
        TIFFClose(tif);
        DibBlock image(read_tiff_page(path));
        ASSERT_NE(image.get(), nullptr) << c.name;
        EXPECT_EQ(dib_bit_count(image.get()), c.bits) << c.name;
        for (int y = 0; y < H; y++)
            EXPECT_EQ(memcmp(image.row(y), source.row(y), (size_t)W * c.bits / 8), 0) << c.name << " row " << y;
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// One picture of 8-bit grey, RGB or RGBA written in the given layout: rows
// per strip (0 for 16 x 16 tiles), planar configuration, compression and
// 8 or 16 bits (the 16-bit sample's high byte is the 8-bit one).
struct Layout {
    const char* name;
    int rows_per_strip, planar, compression, bits;
};

static std::string write_layout(const Layout& l, int spp, int width, int height)
{
    const std::string path = test_out_path(std::string("layout_") + l.name + "_" + std::to_string(spp) + ".tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return path;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spp == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    if (l.compression == COMPRESSION_LZW)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (spp == 4) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    auto sample = [&](int x, int y, int s) { return (x * 7 + y * 13 + s * 71 + (x * y) % 17) & 255; };
    const int planes = l.planar == PLANARCONFIG_SEPARATE ? spp : 1, per_pixel = spp / planes, k = l.bits / 8;
    auto fill = [&](std::string& buf, int x0, int y, int n, int plane) {
        for (int x = 0; x < n; x++)
            for (int s = 0; s < per_pixel; s++) {
                int v = x0 + x < width && y < height ? sample(x0 + x, y, plane + s) : 0;
                for (int b = 0; b < k; b++)  // little-endian 16-bit: v * 257
                    buf[((size_t)x * per_pixel + s) * k + b] = (char)v;
            }
    };
    if (l.rows_per_strip == 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        std::string tile((size_t)16 * 16 * per_pixel * k, '\0');
        for (int p = 0; p < planes; p++)
            for (int ty = 0; ty < height; ty += 16)
                for (int tx = 0; tx < width; tx += 16) {
                    for (int r = 0; r < 16; r++) {
                        std::string row((size_t)16 * per_pixel * k, '\0');
                        fill(row, tx, ty + r, 16, p);
                        tile.replace((size_t)r * row.size(), row.size(), row);
                    }
                    TIFFWriteTile(tif, &tile[0], (uint32_t)tx, (uint32_t)ty, 0, (uint16_t)p);
                }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, l.rows_per_strip);
        std::string row((size_t)width * per_pixel * k, '\0');
        for (int p = 0; p < planes; p++)
            for (int y = 0; y < height; y++) {
                fill(row, 0, y, width, p);
                TIFFWriteScanline(tif, &row[0], (uint32_t)y, (uint16_t)p);
            }
    }
    TIFFClose(tif);
    return path;
}

// Rows decoded straight into the image and converted there, and rows
// converted from a strip or tile buffer, give the same bytes as the
// per-sample paths of separate planes and 16-bit samples; odd widths pad
// every row.
TEST(TiffRead, EveryLayoutOfOnePictureGivesTheSameBytes)
{
    SeamRecorder seams;
    const int W = 37, H = 23;
    const Layout layouts[] = {
        {"rows1", 1, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 8},
        {"rows1_lzw", 1, PLANARCONFIG_CONTIG, COMPRESSION_LZW, 8},
        {"rows5", 5, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 8},
        {"tiles", 0, PLANARCONFIG_CONTIG, COMPRESSION_ADOBE_DEFLATE, 8},
        {"planes", 1, PLANARCONFIG_SEPARATE, COMPRESSION_NONE, 8},
        {"planes_tiles", 0, PLANARCONFIG_SEPARATE, COMPRESSION_NONE, 8},
        {"rows3_16bit", 3, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 16},
    };
    for (int spp : {1, 3, 4}) {
        std::string first;
        for (const Layout& l : layouts) {
            if (spp == 1 && l.planar == PLANARCONFIG_SEPARATE)
                continue;
            DibBlock image(read_tiff_page(write_layout(l, spp, W, H)));
            ASSERT_NE(image.get(), nullptr) << l.name << " " << spp;
            if (first.empty()) {
                // the picture itself: blue, green, red, alpha, bottom row first
                EXPECT_EQ(dib_bit_count(image.get()), spp * 8);
                for (int y = 0; y < H; y++)
                    for (int x = 0; x < W; x++)
                        for (int s = 0; s < spp; s++) {
                            int c = spp == 1 ? 0 : s < 3 ? 2 - s : 3;
                            ASSERT_EQ(image.row(H - 1 - y)[x * spp + s], (x * 7 + y * 13 + c * 71 + (x * y) % 17) & 255)
                                << spp << " " << x << "," << y;
                        }
                first = dib_bytes(image.get());
            }
            EXPECT_TRUE(dib_bytes(image.get()) == first) << l.name << " " << spp;
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// Large pages decode in row bands on the machine's cores, each band on a
// handle of its own: the same bytes as the reader's one thread gives, for
// one-row strips decoded straight into the image, strips through a buffer,
// tiles and JPEG; a damaged strip fails the read either way.
TEST(TiffRead, BandsGiveTheBytesOfOneThread)
{
    SeamRecorder seams;
    const int W = 1200, H = 900;
    std::vector<std::string> paths = {
        write_layout({"big_rows1_lzw", 1, PLANARCONFIG_CONTIG, COMPRESSION_LZW, 8}, 3, W, H),
        write_layout({"big_rows7_zip", 7, PLANARCONFIG_CONTIG, COMPRESSION_ADOBE_DEFLATE, 8}, 4, W, H),
        write_layout({"big_tiles_zip", 0, PLANARCONFIG_CONTIG, COMPRESSION_ADOBE_DEFLATE, 8}, 3, W, H),
        write_layout({"big_grey_rows1", 1, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 8}, 1, W + 1, H),
        write_jpeg_page("big_jpeg_ycbcr.tif", W, H, 3, PHOTOMETRIC_YCBCR),
    };
    // the same LZW page with bytes of a strip in its middle overwritten
    std::string damaged = read_file_bytes(paths[0]);
    ASSERT_GT(damaged.size(), 100000u);
    damaged.replace(damaged.size() / 2, 64, std::string(64, '\xFF'));
    paths.push_back(test_out_path("big_rows1_lzw_damaged.tif"));
    ASSERT_TRUE(write_file_bytes(paths.back(), damaged));
    for (const std::string& path : paths) {
        g_tiffBandLimit = 1;
        DibBlock alone(read_tiff_page(path));
        size_t boxes = seams.boxes.size();
        g_tiffBandLimit = 0;
        DibBlock banded(read_tiff_page(path));
        EXPECT_EQ(seams.boxes.size(), 2 * boxes) << path;
        EXPECT_EQ(alone.get() == nullptr, banded.get() == nullptr) << path;
        EXPECT_TRUE(dib_bytes(alone.get()) == dib_bytes(banded.get())) << path;
        seams.boxes.clear();
    }
}

// LogLuv of two samples a pixel: the decoded row ends after the second
// sample of its last pixel, where the tile's buffer (exactly the library's
// tile size) may end too; here a page that no one may touch follows it.
// Colour is taken from the samples the pixel has.
TEST(TiffRows, TwoSampleLogLuvReadsOnlyItsRow)
{
    const int WIDTH = 16;
    BYTE* pages = (BYTE*)VirtualAlloc(NULL, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(pages, nullptr);
    DWORD old_protect;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old_protect));
    BYTE* row = pages + 4096 - 2 * WIDTH;
    for (int i = 0; i < 2 * WIDTH; ++i)
        row[i] = (BYTE)(10 + i);
    g_tiffPhotometric = PHOTOMETRIC_LOGLUV;
    g_tiffSamplesPerPixel = 2;
    g_tiffBitsPerSample = 8;
    g_tiffPlanar = PLANARCONFIG_CONTIG;
    g_tiffSampleFormat = SAMPLEFORMAT_UINT;
    g_tiffJpegToRgb = 0;
    g_tiffWidth = g_tiffTileWidth = g_tiffTileLength = WIDTH;
    std::vector<BYTE> out(3 * WIDTH), staging(4 * WIDTH);
    read_tiff_tiles(0, 0, 24, row, out.data(), staging.data(), nullptr, 0, 0);
    read_tiff_strips(0, 24, row, out.data(), staging.data(), nullptr, 0, 0);
    // the last pixel: no third sample, then its second and first
    EXPECT_EQ(out[2 * (WIDTH - 1)], 0);
    EXPECT_EQ(out[2 * (WIDTH - 1) + 1], row[2 * WIDTH - 1]);
    EXPECT_EQ(out[2 * (WIDTH - 1) + 2], row[2 * WIDTH - 2]);
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(TiffSamples, NarrowFloatsConvertExactly)
{
    EXPECT_EQ(half_to_float(0x0001), std::ldexp(1.0f, -24));
    EXPECT_TRUE(std::isnan(half_to_float(0x7C01)));
    EXPECT_EQ(float24_to_float(0x800000u | 64u << 16 | 0x8000), -3.0f);
    EXPECT_EQ(float24_to_float(1), std::ldexp(1.0f, -78));
    EXPECT_TRUE(std::isinf(float24_to_float(127u << 16)));
}

// 8-bit 2x2 and 2x1 data units against their pixel layout, the last unit of
// an odd width cut to the image.
TEST(TiffSamples, DataUnitsBecomeOneTriplePerPixel)
{
    g_tiffBitsPerSample = 8;
    g_tiffSamplesPerPixel = 3;
    g_tiffCompression = 1;
    const struct {
        int h, v, width, height;
        std::string units, expected;
    } CASES[] = {
        {2, 2, 2, 2, "\x01\x02\x03\x04\x50\x60", "\x01\x50\x60\x02\x50\x60\x03\x50\x60\x04\x50\x60"},
        {2, 1, 3, 1, "\x01\x02\x50\x60\x03\x04\x70\x80", "\x01\x50\x60\x02\x50\x60\x03\x70\x80"},
    };
    for (const auto& c : CASES) {
        g_tiffYCbCrSubH = c.h;
        g_tiffYCbCrSubV = c.v;
        g_tiffWidth = c.width;
        g_tiffHeight = c.height;
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, c.units.size());
        memcpy(GlobalLock(h), c.units.data(), c.units.size());
        GlobalUnlock(h);
        ASSERT_EQ(expand_ycbcr_data_units(&h, 0, c.width, c.height, 0), 1);
        ASSERT_GE(GlobalSize(h), c.expected.size());
        EXPECT_EQ(std::string((const char*)GlobalLock(h), c.expected.size()), c.expected);
        GlobalUnlock(h);
        GlobalFree(h);
    }
}

}  // namespace
