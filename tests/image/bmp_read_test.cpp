// BMP reader: every variant decoded against files made by netpbm and
// ImageMagick (tests/fixtures/make_bmp.sh) and compared pixel by pixel with
// their independent decode; hand-built files for what no tool writes; a
// hostile-input table run through every reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "bmp_test_util.h"
#include "format_test_util.h"
#include "image/bmp_read.h"
#include "image/packed_dib.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"

namespace {

// 5-bit channels are widened by each decoder its own way: the low 3 bits may differ.
struct Compare {
    int tolerance;
    bool alpha;
    bool flipped;  // the reference upside down
};
const Compare EXACT = {0, false, false}, EXACT_ALPHA = {0, true, false}, BITS_5 = {7, false, false},
              FLIPPED = {0, false, true};

// Frees the image.
void expect_pixels_match(HGLOBAL image, PnmImage ref, Compare mode, const std::string& what)
{
    DibBlock dib(image);
    size_t row = (size_t)ref.width * ref.channels;
    for (int y = 0; mode.flipped && y < ref.height / 2; ++y)
        std::swap_ranges(ref.data.begin() + y * row, ref.data.begin() + (y + 1) * row,
                         ref.data.end() - (y + 1) * row);
    EXPECT_LE(max_pixel_difference(image, ref, mode.alpha), mode.tolerance) << what;
}

// Every test records the readers' message boxes.
struct WithSeams {
    SeamRecorder seams{24};
};
class BmpRead : public ::testing::Test, public WithSeams {};

std::string fixture_bytes(const std::string& name)
{
    std::string bytes = read_file_bytes(fixture_path("bmp/" + name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

PnmImage reference(const std::string& name)
{
    return read_pnm_file(fixture_path("bmp/" + name));
}

// ---- Files made by independent encoders

struct FixtureCase {
    std::string name;
    std::string ref_extension;
    Compare mode;
    int bits;  // of the image read
    std::string info_has;  // for one file, the whole text
};

std::vector<FixtureCase> fixture_cases()
{
    std::vector<FixtureCase> cases;
    for (const char* kind : {"windows", "os2"})
        for (int bits : {1, 4, 8, 24})
            for (const char* size : {"1x1", "13x7", "33x5"})
                cases.push_back({std::string("pm_") + kind + "_" + std::to_string(bits) + "_" + size, ".ppm",
                                 EXACT, bits, std::string(kind) == "os2" ? "OS/2 DIB \n" : "Windows DIB \n"});
    const FixtureCase imagemagick[] = {
        {"im_rle8_bands", ".ppm", EXACT, 8,
         "image type: Windows DIB \nwidth: 301 \nheight: 13 \nplanes: 1 \nbit count: 8 \ncompression: BI_RLE8 \n"},
        {"im_rle8_long", ".ppm", EXACT, 8, "compression: BI_RLE8 \n"},
        {"im_bf565", ".ppm", BITS_5, 24, "bitfields: 5 6 5 \n"},
        {"im_bf555", ".ppm", BITS_5, 16, "bitfields: 5 5 5 \n"},
        {"im_v5_24", ".ppm", EXACT, 24, "compression: BI_RGB \n"},
        {"im_bf32a", ".pam", EXACT_ALPHA, 32, "bitfields: 8 8 8 \n"},
        {"im_32a", ".pam", EXACT_ALPHA, 32, "compression: BI_RGB \n"},
    };
    cases.insert(cases.end(), std::begin(imagemagick), std::end(imagemagick));
    return cases;
}

class BmpFixtureRead : public ::testing::TestWithParam<FixtureCase>, public WithSeams {};

TEST_P(BmpFixtureRead, MatchesIndependentDecode)
{
    const FixtureCase& c = GetParam();
    BmpReadOutcome r = read_bmp_path(fixture_path("bmp/" + c.name + ".bmp"));
    EXPECT_TRUE(seams.boxes.empty());
    ASSERT_TRUE(r.image);
    EXPECT_TRUE(is_valid_packed_dib(r.image));
    EXPECT_EQ(dib_bit_count(r.image), c.bits);
    EXPECT_NE(r.info.find(c.info_has), std::string::npos) << r.info;
    expect_pixels_match(r.image, reference(c.name + c.ref_extension), c.mode, c.name);
}

INSTANTIATE_TEST_SUITE_P(Tools, BmpFixtureRead, ::testing::ValuesIn(fixture_cases()),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) { return info.param.name; });

// ---- Rewrapped independent files

TEST_F(BmpRead, TopDownFilesAreStoredBottomUp)
{
    for (const char* name : {"pm_windows_24_13x7", "pm_windows_1_13x7", "im_bf565"}) {
        std::string bmp = fixture_bytes(std::string(name) + ".bmp"), flipped = bmp;
        int32_t width = (int32_t)get_le32(bmp, 18), height = (int32_t)get_le32(bmp, 22);
        uint32_t offset = get_le32(bmp, 10), stride = dib_row_stride(width, (int)get_le16(bmp, 28));
        for (int32_t y = 0; y < height; ++y)
            flipped.replace(offset + (size_t)y * stride, stride, bmp, offset + (size_t)(height - 1 - y) * stride, stride);
        put_le32(flipped, 22, (uint32_t)-height);
        BmpReadOutcome r = read_bmp_bytes(flipped);
        EXPECT_EQ(r.screen_height, height);
        EXPECT_NE(r.info.find("height: " + std::to_string(height) + " \n"), std::string::npos) << r.info;
        expect_pixels_match(r.image, reference(std::string(name) + ".ppm"), name[0] == 'i' ? BITS_5 : EXACT, name);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(BmpRead, Os2v2UncompressedAndRle8MatchTheirWindowsTwins)
{
    for (const char* name : {"pm_windows_8_33x5", "im_rle8_bands", "pm_windows_4_13x7"}) {
        std::string win = fixture_bytes(std::string(name) + ".bmp");
        uint32_t bits = get_le16(win, 28), entries = get_le32(win, 46) ? get_le32(win, 46) : 1u << bits;
        std::string os2 = bmp_headers(64, (int32_t)get_le32(win, 18), (int32_t)get_le32(win, 22), (int)bits,
                                      get_le32(win, 30), get_le32(win, 46)) + win.substr(54, 4 * entries);
        uint32_t offset = (uint32_t)os2.size();
        os2 += win.substr(get_le32(win, 10));
        finish_bmp(os2, offset);
        BmpReadOutcome r = read_bmp_bytes(os2);
        EXPECT_EQ(r.info.substr(0, 26), "image type: OS/2 2.0 DIB \n");
        expect_pixels_match(r.image, reference(std::string(name) + ".ppm"), EXACT, name);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// Rows by pbmtog3 in an OS/2 2.0 file whose black-then-white table the reader swaps.
std::string wrap_g3(const std::string& g3, int width, int height)
{
    std::string os2 = bmp_headers(64, width, height, 1, 3, 2) + std::string("\0\0\0\0\xFF\xFF\xFF\0", 8);
    uint32_t offset = (uint32_t)os2.size();
    os2 += g3;
    finish_bmp(os2, offset);
    return os2;
}

// Every run length and make-up code in both colours.
TEST_F(BmpRead, HuffmanRowsMatchPbmtog3Source)
{
    PnmImage ref = reference("g3_runs.pbm");
    ASSERT_FALSE(ref.empty());
    BmpReadOutcome r = read_bmp_bytes(wrap_g3(fixture_bytes("g3_runs.g3"), ref.width, ref.height));
    EXPECT_NE(r.info.find("compression: Huffman 1D \n"), std::string::npos);
    EXPECT_EQ(DibBlock(r.image, false).table()[0].rgbRed, 0xFF);
    // pbmtog3 codes the top row first; a BMP's first row is its bottom.
    expect_pixels_match(r.image, ref, FLIPPED, "g3_runs");
    EXPECT_TRUE(seams.boxes.empty());
}

// ---- Hand-built files for what no tool writes

std::string table16()
{
    std::string t;
    for (int i = 0; i < 16; ++i)
        t += std::string{(char)(i * 16), (char)(i * 8), (char)(255 - i), (char)0x55};
    return t;
}

struct IndexCase {
    const char* name;
    int width, height, bits;
    uint32_t compression, clr_used;
    std::string data;
    std::vector<std::vector<unsigned>> rows;  // bottom row first
};

class BmpIndexRead : public ::testing::TestWithParam<IndexCase>, public WithSeams {};

TEST_P(BmpIndexRead, DecodesTheRowsWithinTheImage)
{
    const IndexCase& c = GetParam();
    bool is_rle24 = c.bits == 24;  // OS/2 2.0 only
    std::string bmp = bmp_headers(is_rle24 ? 64 : 40, c.width, c.height, c.bits, c.compression, c.clr_used) +
                      (is_rle24 ? "" : table16().substr(0, 4 * (c.clr_used ? c.clr_used : 1u << c.bits)));
    uint32_t offset = (uint32_t)bmp.size();
    bmp += c.data;
    finish_bmp(bmp, offset);
    DibBlock dib(read_bmp_bytes(bmp).image);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(seams.boxes.empty());
    for (int y = 0; y < c.height; ++y) {
        std::vector<unsigned> row;
        for (int x = 0; x < c.width; ++x)
            row.push_back(dib.raw(x, y));
        EXPECT_EQ(row, c.rows[y]) << "row " << y;
    }
    for (uint32_t i = (c.width * c.bits + 7) / 8; i < dib_row_stride(c.width, c.bits); ++i)
        EXPECT_EQ(dib.row(0)[i], 0) << "padding stays zero";
}

INSTANTIATE_TEST_SUITE_P(Table, BmpIndexRead, ::testing::Values(
    // Runs stop at the row end; a delta from an odd column; absolute 5 with its pad.
    IndexCase{"rle4_runs_deltas", 8, 2, 4, BI_RLE4, 0,
              std::string("\x03\x12\x00\x02\x02\x00\x05\xAB\x00\x00\x00\x02\x03\x00\x00\x05\x12\x34\x50\x00\x00\x01", 22),
              {{1, 2, 1, 0, 0, 0xA, 0xB, 0xA}, {0, 0, 0, 1, 2, 3, 4, 5}}},
    // Row 1 cut inside an absolute block, no end of bitmap.
    IndexCase{"rle8_ends_early", 5, 3, 8, BI_RLE8, 16, std::string("\x05\x07\x00\x00\x00\x04\x01\x02", 8),
              {{7, 7, 7, 7, 7}, {1, 2, 0, 0, 0}, {0, 0, 0, 0, 0}}},
    // An absolute block longer than the row does not wrap into the next one.
    IndexCase{"rle8_absolute_past_row", 3, 2, 8, BI_RLE8, 16,
              std::string("\x00\x05\x01\x02\x03\x04\x05\x00\x00\x00\x00\x02\x02\x00\x01\x09\x00\x01", 18),
              {{1, 2, 3}, {0, 0, 9}}},
    // RLE24, which no tool writes: a run, then an absolute block with its pad.
    IndexCase{"rle24", 3, 2, 24, 4, 0,
              std::string("\x03\x01\x02\x03\x00\x00\x00\x03\x10\x11\x12"
                          "\x20\x21\x22\x30\x31\x32\x00\x00\x00\x00\x01", 22),
              {{0x030201, 0x030201, 0x030201}, {0x121110, 0x222120, 0x323130}}},
    // Uncompressed rows cut short; indices past a 4-entry table read as 0.
    IndexCase{"raw_truncated", 4, 3, 8, BI_RGB, 4, std::string("\x01\x02\x03\xC8\x02\x02", 6),
              {{1, 2, 3, 0}, {2, 2, 0, 0}, {0, 0, 0, 0}}}),
    [](const ::testing::TestParamInfo<IndexCase>& info) { return std::string(info.param.name); });

// ---- Hostile input

struct HostileCase {
    std::string name;
    std::string bytes;
    BmpReader reader;
    std::string expect;  // a box text, "image" or "silent"
};

std::string small_file(int header, int width, int height, int bits, uint32_t compression, uint32_t clr_used,
                       const std::string& table, const std::string& data)
{
    std::string bmp = bmp_headers(header, width, height, bits, compression, clr_used) + table;
    uint32_t offset = (uint32_t)bmp.size();
    bmp += data;
    finish_bmp(bmp, offset);
    return bmp;
}

std::string small_os2_core()
{
    std::string bmp = "BM" + std::string(12, '\0') + le32(12) + le16(5) + le16(2) + le16(1) + le16(4);
    for (int i = 0; i < 16; ++i)
        bmp += std::string{(char)i, (char)(i * 2), (char)(i * 3)};
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x12\x34\x50\x00\xAB\xCD\xE0\x00", 8);
    finish_bmp(bmp, offset);
    return bmp;
}

std::string with_u32(std::string s, size_t at, uint32_t v)
{
    put_le32(s, at, v);
    return s;
}

std::string with_bits(std::string s, uint32_t bits)
{
    put_le16(s, 28, bits);
    return s;
}

std::vector<HostileCase> hostile_cases()
{
    const std::string win8 = small_file(40, 5, 3, 8, BI_RGB, 4, table16().substr(0, 16),
        std::string("\x00\x01\x02\x03\x01\x00\x00\x00\x03\x02\x01\x00\x02\x00\x00\x00\x01\x01\x01\x01\x01\x00\x00\x00", 24));
    const std::string rle8 = small_file(40, 6, 3, 8, BI_RLE8, 16, table16(),
        std::string("\x06\x05\x00\x00\x00\x03\x01\x02\x03\x00\x03\x09\x00\x00\x02\x07\x00\x02\x01\x00\x01\x08\x00\x01", 24));
    const std::string rle24 = small_file(64, 3, 2, 24, 4, 0, "",
        std::string("\x03\x01\x02\x03\x00\x00\x00\x03\x10\x11\x12\x20\x21\x22\x30\x31\x32\x00\x00\x00\x00\x01", 22));
    std::vector<HostileCase> cases;
    const struct { const char* name; std::string bytes; BmpReader reader; } bases[] = {
        {"win8", win8, READ_WIN40}, {"rle8", rle8, READ_WIN40}, {"os2", small_os2_core(), READ_OS2},
        {"rle24", rle24, READ_OS2V2},
    };
    for (const auto& base : bases)
        cases.push_back({std::string(base.name) + "_whole", base.bytes, base.reader, "image"});
    const std::string FORMAT = "Unrecognized Bitmap Format", WIN_ALLOC = "Memory allocation error",
                      CODED_ALLOC = "Memory Allocation Error", READ = "File Read Error";
    std::string os2_16 = small_os2_core();
    put_le16(os2_16, 24, 16);
    const HostileCase fixed[] = {
        {"zero_width", with_u32(win8, 18, 0), READ_WIN40, FORMAT},
        {"size_overflow_32bit", with_bits(with_u32(with_u32(win8, 18, 65536), 22, 65536), 32), READ_WIN40, WIN_ALLOC},
        {"size_past_file", with_bits(with_u32(with_u32(win8, 18, 8000), 22, 8000), 24), READ_WIN40, READ},
        {"os2v2_huge_width", with_u32(rle24, 18, 0x80000000u), READ_OS2V2, CODED_ALLOC},
        {"offset_past_end", with_u32(win8, 10, 0x7FFFFFF0), READ_WIN40, "image"},
        {"offset_inside_header", with_u32(win8, 10, 20), READ_WIN40, "image"},
        {"table_past_end", with_u32(win8, 46, 0xFFFFFFFF), READ_WIN40, READ},
        {"header_124_too_short", win8.substr(0, 60), READ_WIN124, READ},
        {"header_56", win8, READ_BY_HEADER, "silent"},
        {"two_bits", with_bits(win8, 2), READ_WIN40, "silent"},
        {"rle8_at_4_bits", with_bits(rle8, 4), READ_WIN40, "silent"},
        {"rle_at_24_bits", with_bits(rle8, 24), READ_WIN40, "silent"},
        {"os2_16_bits", os2_16, READ_OS2, "silent"},
    };
    cases.insert(cases.end(), std::begin(fixed), std::end(fixed));
    return cases;
}

class BmpHostileRead : public ::testing::TestWithParam<HostileCase>, public WithSeams {};

TEST_P(BmpHostileRead, ReportsOrReadsWithinBounds)
{
    const HostileCase& c = GetParam();
    std::string path = test_out_path("bmp_read_scratch.bmp");
    BmpReadOutcome r;
    if (c.reader == READ_BY_HEADER) {  // a header size no reader knows
        write_file_bytes(path, c.bytes);
        HFILE f = _lopen(path.c_str(), OF_READ);
        int a, b, w, h;
        r.image = read_bmp_file(f, NULL, NULL, &a, &b, &w, &h, 52);
    } else {
        r = read_bmp_bytes(c.bytes, c.reader);
    }
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the reader closes the file";
    DibBlock image(r.image);
    if (image) {
        EXPECT_TRUE(is_valid_packed_dib(r.image));
        EXPECT_LE((uint64_t)GlobalSize(r.image), 256ull * c.bytes.size() + (4u << 20) + 4096);
    }
    if (c.expect == "image" || c.expect == "silent") {
        EXPECT_EQ(r.image != NULL, c.expect != "silent");
        EXPECT_TRUE(seams.boxes.empty());
        return;
    }
    EXPECT_FALSE(r.image);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, c.expect);
    EXPECT_EQ(seams.boxes[0].caption, "(null)");
    EXPECT_EQ(seams.boxes[0].type & MB_ICONMASK, (UINT)MB_ICONSTOP);
}

INSTANTIATE_TEST_SUITE_P(Table, BmpHostileRead, ::testing::ValuesIn(hostile_cases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
