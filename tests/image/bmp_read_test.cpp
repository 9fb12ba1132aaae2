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
#include "dib_test_util.h"
#include "image/bmp_read.h"
#include "image/preview.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

// How a decoded pixel is compared with the reference.
enum Compare {
    EXACT_RGB,
    EXACT_RGBA,
    BITS_555,    // a 16-bit image: each 5-bit channel against the top 5 bits
    BITS_565,    // expanded to 24 bits: red and blue 5 bits, green 6 bits
    FLIP_RGB,    // the reference upside down
};

void expect_pixels_match(HGLOBAL image, const PnmImage& ref, Compare mode, const std::string& what)
{
    ASSERT_TRUE(image) << what;
    ASSERT_FALSE(ref.empty()) << what << ": reference missing";
    LockedDib dib(image);
    ASSERT_EQ(dib.bih->biWidth, ref.width) << what;
    ASSERT_EQ(dib.bih->biHeight, ref.height) << what;
    int mismatches = 0;
    for (int y = 0; y < ref.height && mismatches < 5; ++y) {
        for (int x = 0; x < ref.width && mismatches < 5; ++x) {
            uint8_t got[4], want[4];
            dib_rgba(dib.bih, x, y, got);
            ref.rgba8(x, mode == FLIP_RGB ? ref.height - 1 - y : y, want);
            int shift[3] = {0, 0, 0};
            if (mode == BITS_555) {
                shift[0] = shift[1] = shift[2] = 3;
            } else if (mode == BITS_565) {
                shift[0] = shift[2] = 3;
                shift[1] = 2;
            }
            bool same = true;
            for (int c = 0; c < 3; ++c)
                same = same && (got[c] >> shift[c]) == (want[c] >> shift[c]);
            if (mode == EXACT_RGBA)
                same = same && got[3] == want[3];
            if (!same) {
                ++mismatches;
                ADD_FAILURE() << what << " pixel (" << x << ", " << y << ") got " << (int)got[0] << ","
                              << (int)got[1] << "," << (int)got[2] << "," << (int)got[3] << " want "
                              << (int)want[0] << "," << (int)want[1] << "," << (int)want[2] << ","
                              << (int)want[3];
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Files made by independent encoders

struct FixtureCase {
    std::string bmp;
    std::string ref;
    Compare mode;
    int bits;
    std::string info_has;
};

std::vector<FixtureCase> fixture_cases()
{
    std::vector<FixtureCase> cases;
    for (const char* kind : {"windows", "os2"}) {
        for (int bits : {1, 4, 8, 24}) {
            for (const char* size : {"1x1", "13x7", "33x5"}) {
                std::string name = std::string("pm_") + kind + "_" + std::to_string(bits) + "_" + size;
                cases.push_back({name + ".bmp", name + ".ppm", EXACT_RGB, bits,
                                 std::string(kind) == "os2" ? "image type: OS/2 DIB \n"
                                                            : "image type: Windows DIB \n"});
            }
        }
    }
    cases.push_back({"im_pal1.bmp", "im_pal1.ppm", EXACT_RGB, 1, "compression: BI_RGB \n"});
    cases.push_back({"im_pal4.bmp", "im_pal4.ppm", EXACT_RGB, 4, "compression: BI_RGB \n"});
    cases.push_back({"im_pal8.bmp", "im_pal8.ppm", EXACT_RGB, 8, "compression: BI_RGB \n"});
    cases.push_back({"im_rle8_noise.bmp", "im_rle8_noise.ppm", EXACT_RGB, 8, "compression: BI_RLE8 \n"});
    cases.push_back({"im_rle8_bands.bmp", "im_rle8_bands.ppm", EXACT_RGB, 8, "compression: BI_RLE8 \n"});
    cases.push_back({"im_rle8_long.bmp", "im_rle8_long.ppm", EXACT_RGB, 8, "compression: BI_RLE8 \n"});
    cases.push_back({"im_bf565.bmp", "im_bf565.ppm", BITS_565, 24, "bitfields: 5 6 5 \n"});
    cases.push_back({"im_bf555.bmp", "im_bf555.ppm", BITS_555, 16, "bitfields: 5 5 5 \n"});
    cases.push_back({"im_v5_24.bmp", "im_v5_24.ppm", EXACT_RGB, 24, "compression: BI_RGB \n"});
    cases.push_back({"im_24.bmp", "im_24.ppm", EXACT_RGB, 24, "bit count: 24 \n"});
    cases.push_back({"im_bf32a.bmp", "im_bf32a.pam", EXACT_RGBA, 32, "bitfields: 8 8 8 \n"});
    cases.push_back({"im_32a.bmp", "im_32a.pam", EXACT_RGBA, 32, "compression: BI_RGB \n"});
    return cases;
}

void PrintTo(const FixtureCase& c, std::ostream* os)
{
    *os << c.bmp;
}

class BmpFixtureRead : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(BmpFixtureRead, MatchesIndependentDecode)
{
    const FixtureCase& c = GetParam();
    SeamRecorder seams(24);
    BmpReadOutcome r = read_bmp_path(fixture_path("bmp/" + c.bmp));
    ASSERT_TRUE(r.opened) << c.bmp;
    EXPECT_TRUE(seams.boxes.empty()) << seams.boxes[0].text;
    ASSERT_TRUE(r.image) << c.bmp;
    {
        LockedDib dib(r.image);
        EXPECT_EQ(dib.bih->biBitCount, c.bits);
        EXPECT_EQ(dib.bih->biSize, 40u);
        EXPECT_EQ(dib.bih->biCompression, (DWORD)BI_RGB);
        if (c.bits > 8) {
            EXPECT_EQ(dib_color_count(dib.bih), 0u) << "no table above 8 bits";
        }
    }
    EXPECT_TRUE(is_valid_packed_dib(r.image));
    EXPECT_NE(r.info.find(c.info_has), std::string::npos) << r.info;
    expect_pixels_match(r.image, read_pnm_file(fixture_path("bmp/" + c.ref)), c.mode, c.bmp);
    GlobalFree(r.image);
}

INSTANTIATE_TEST_SUITE_P(Tools, BmpFixtureRead, ::testing::ValuesIn(fixture_cases()),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) {
                             std::string n = info.param.bmp.substr(0, info.param.bmp.size() - 4);
                             std::replace(n.begin(), n.end(), '.', '_');
                             return n;
                         });

// ---------------------------------------------------------------------------
// Rewrapped independent files

std::string fixture_bytes(const std::string& name)
{
    std::string bytes = read_file_bytes(fixture_path("bmp/" + name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

// The rows of an uncompressed file in the opposite order, height negative.
std::string make_top_down(const std::string& bmp)
{
    std::string out = bmp;
    int32_t width = (int32_t)get_le32(bmp, 18);
    int32_t height = (int32_t)get_le32(bmp, 22);
    int bits = (int)get_le16(bmp, 28);
    uint32_t offset = get_le32(bmp, 10);
    uint32_t stride = dib_row_stride(width, bits);
    for (int32_t y = 0; y < height; ++y)
        out.replace(offset + (size_t)y * stride, stride, bmp, offset + (size_t)(height - 1 - y) * stride, stride);
    put_le32(out, 22, (uint32_t)-height);
    return out;
}

TEST(BmpRead, TopDownFileIsStoredBottomUp)
{
    SeamRecorder seams(24);
    for (const char* name : {"pm_windows_24_13x7", "pm_windows_8_33x5", "pm_windows_1_13x7", "im_bf565"}) {
        std::string bmp = fixture_bytes(std::string(name) + ".bmp");
        BmpReadOutcome r = read_bmp_bytes(make_top_down(bmp));
        ASSERT_TRUE(r.image) << name;
        EXPECT_GT(((BITMAPINFOHEADER*)LockedDib(r.image).bih)->biHeight, 0);
        EXPECT_NE(r.info.find("height: " + std::to_string(get_le32(bmp, 22)) + " \n"), std::string::npos)
            << r.info;
        EXPECT_EQ(r.screen_height, (int)get_le32(bmp, 22));
        expect_pixels_match(r.image, read_pnm_file(fixture_path(std::string("bmp/") + name + ".ppm")),
                            std::string(name) == "im_bf565" ? BITS_565 : EXACT_RGB, name);
        GlobalFree(r.image);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpRead, TopDownRunLengthFileIsFlipped)
{
    SeamRecorder seams(24);
    std::string bmp = fixture_bytes("im_rle8_bands.bmp");
    put_le32(bmp, 22, (uint32_t)-(int32_t)get_le32(bmp, 22));
    BmpReadOutcome r = read_bmp_bytes(bmp);
    expect_pixels_match(r.image, read_pnm_file(fixture_path("bmp/im_rle8_bands.ppm")), FLIP_RGB, "rle8 top-down");
    GlobalFree(r.image);
}

TEST(BmpRead, V5MasksComeFromInsideTheHeader)
{
    SeamRecorder seams(24);
    // With no usable offset the rows follow the 124-byte header at once: no
    // 12 further bytes are taken for masks.
    std::string bmp = fixture_bytes("im_bf565.bmp");
    ASSERT_EQ(get_le32(bmp, 10), 138u);
    put_le32(bmp, 10, 0);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    EXPECT_NE(r.info.find("bitfields: 5 6 5 \n"), std::string::npos);
    expect_pixels_match(r.image, read_pnm_file(fixture_path("bmp/im_bf565.ppm")), BITS_565, "v5 565");
    GlobalFree(r.image);
}

TEST(BmpRead, Os2v2UncompressedAndRle8MatchTheirWindowsTwins)
{
    SeamRecorder seams(24);
    for (const char* name : {"pm_windows_8_33x5", "im_rle8_bands", "pm_windows_4_13x7"}) {
        std::string win = fixture_bytes(std::string(name) + ".bmp");
        uint32_t bits = get_le16(win, 28);
        uint32_t entries = get_le32(win, 46) ? get_le32(win, 46) : 1u << bits;
        std::string os2 = bmp_headers(64, (int32_t)get_le32(win, 18), (int32_t)get_le32(win, 22), (int)bits,
                                      get_le32(win, 30), get_le32(win, 46));
        os2 += win.substr(54, 4 * entries);
        uint32_t offset = (uint32_t)os2.size();
        os2 += win.substr(get_le32(win, 10));
        finish_bmp(os2, offset);
        BmpReadOutcome r = read_bmp_bytes(os2);
        EXPECT_EQ(r.info.substr(0, 26), "image type: OS/2 2.0 DIB \n");
        EXPECT_EQ(r.screen_width, -1) << "OS/2 readers leave the out-values";
        expect_pixels_match(r.image, read_pnm_file(fixture_path(std::string("bmp/") + name + ".ppm")),
                            EXACT_RGB, name);
        GlobalFree(r.image);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// OS/2 2.0 Huffman file around rows coded by pbmtog3; the file's table is
// black then white, which the reader replaces by white then black.
std::string wrap_g3(const std::string& g3, int width, int height)
{
    std::string os2 = bmp_headers(64, width, height, 1, 3, 2);
    os2 += std::string("\x00\x00\x00\x00\xFF\xFF\xFF\x00", 8);
    uint32_t offset = (uint32_t)os2.size();
    os2 += g3;
    finish_bmp(os2, offset);
    return os2;
}

TEST(BmpRead, HuffmanRowsMatchPbmtog3Source)
{
    SeamRecorder seams(24);
    for (const char* name : {"g3_runs", "g3_noise"}) {
        PnmImage ref = read_pnm_file(fixture_path(std::string("bmp/") + name + ".pbm"));
        ASSERT_FALSE(ref.empty());
        BmpReadOutcome r = read_bmp_bytes(wrap_g3(fixture_bytes(std::string(name) + ".g3"), ref.width, ref.height));
        ASSERT_TRUE(r.image) << name;
        EXPECT_NE(r.info.find("compression: Huffman 1D \n"), std::string::npos);
        {
            LockedDib dib(r.image);
            const BYTE white[4] = {0xFF, 0xFF, 0xFF, 0xFF}, black[4] = {0, 0, 0, 0};
            EXPECT_EQ(memcmp(&dib.table()[0], white, 4), 0);
            EXPECT_EQ(memcmp(&dib.table()[1], black, 4), 0);
        }
        // pbmtog3 codes the top row first; a BMP's first row is its bottom.
        expect_pixels_match(r.image, ref, FLIP_RGB, name);
        GlobalFree(r.image);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// RLE24 coding of the rows of an RGB reference, written here since no tool
// writes it: runs of equal pixels, absolute blocks for the rest.
std::string encode_rle24(const PnmImage& ref)
{
    std::string out;
    for (int y = ref.height - 1; y >= 0; --y) {
        int x = 0;
        while (x < ref.width) {
            auto px = [&](int i) { uint8_t p[4]; ref.rgba8(i, y, p); return std::string{(char)p[2], (char)p[1], (char)p[0]}; };
            int run = 1;
            while (x + run < ref.width && run < 255 && px(x + run) == px(x))
                ++run;
            if (run >= 2) {
                out += (char)run;
                out += px(x);
                x += run;
                continue;
            }
            int n = 1;
            while (x + n < ref.width && n < 255 && !(x + n + 1 < ref.width && px(x + n) == px(x + n + 1)))
                ++n;
            if (n < 3) {
                for (int i = 0; i < n; ++i) { out += '\x01'; out += px(x + i); }
            } else {
                out += '\x00';
                out += (char)n;
                for (int i = 0; i < n; ++i) out += px(x + i);
                if (n & 1) out += '\x00';
            }
            x += n;
        }
        out += std::string("\x00\x00", 2);
    }
    out += std::string("\x00\x01", 2);
    return out;
}

TEST(BmpRead, Os2Rle24MatchesReference)
{
    SeamRecorder seams(24);
    for (const char* name : {"im_24", "pm_windows_24_33x5"}) {
        PnmImage ref = read_pnm_file(fixture_path(std::string("bmp/") + name + ".ppm"));
        std::string os2 = bmp_headers(64, ref.width, ref.height, 24, 4);
        uint32_t offset = (uint32_t)os2.size();
        os2 += encode_rle24(ref);
        finish_bmp(os2, offset);
        BmpReadOutcome r = read_bmp_bytes(os2);
        EXPECT_NE(r.info.find("compression: RLE 24 \n"), std::string::npos);
        expect_pixels_match(r.image, ref, EXACT_RGB, name);
        GlobalFree(r.image);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpRead, Os2CoreOffsetInsideTableReadsAfterTable)
{
    SeamRecorder seams(24);
    std::string bmp = fixture_bytes("pm_os2_8_13x7.bmp");
    put_le32(bmp, 10, 30);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    expect_pixels_match(r.image, read_pnm_file(fixture_path("bmp/pm_os2_8_13x7.ppm")), EXACT_RGB, "os2 offset");
    GlobalFree(r.image);
}

// ---------------------------------------------------------------------------
// Hand-built files

std::string table16()
{
    std::string t;
    for (int i = 0; i < 16; ++i)
        t += std::string{(char)(i * 16), (char)(i * 8), (char)(255 - i), (char)0x55};
    return t;
}

std::vector<unsigned> row_indices(HGLOBAL image, int y_from_bottom)
{
    LockedDib dib(image);
    std::vector<unsigned> v;
    for (int x = 0; x < dib.bih->biWidth; ++x)
        v.push_back(dib_row_index(dib.row(y_from_bottom), dib.bih->biBitCount, x));
    return v;
}

TEST(BmpRead, Rle4RunsStopAtRowEndAndDeltaFromOddColumn)
{
    SeamRecorder seams(24);
    std::string bmp = bmp_headers(40, 8, 2, 4, BI_RLE4);
    bmp += table16();
    uint32_t offset = (uint32_t)bmp.size();
    const unsigned char data[] = {
        0x03, 0x12,              // x0..2 = 1 2 1
        0x00, 0x02, 0x02, 0x00,  // delta: from column 3 to 5
        0x05, 0xAB,              // x5..7 = A B A, two more past the row
        0x00, 0x00,
        0x00, 0x02, 0x03, 0x00,  // delta to column 3
        0x00, 0x05, 0x12, 0x34, 0x50, 0x00,  // absolute 5 with its pad byte
        0x00, 0x01};
    bmp += std::string((const char*)data, sizeof data);
    finish_bmp(bmp, offset);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    ASSERT_TRUE(r.image);
    EXPECT_EQ(r.info, "image type: Windows DIB \nwidth: 8 \nheight: 2 \nplanes: 1 \nbit count: 4 \n"
                      "compression: BI_RLE4 \n");
    EXPECT_EQ(row_indices(r.image, 0), (std::vector<unsigned>{1, 2, 1, 0, 0, 0xA, 0xB, 0xA}));
    EXPECT_EQ(row_indices(r.image, 1), (std::vector<unsigned>{0, 0, 0, 1, 2, 3, 4, 5}));
    {
        LockedDib dib(r.image);
        EXPECT_EQ(dib.table()[3].rgbReserved, 0) << "reserved byte of a run-length table";
        EXPECT_EQ(dib.bih->biCompression, (DWORD)BI_RGB);
        EXPECT_EQ(dib.bih->biSizeImage, 0u);
    }
    GlobalFree(r.image);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpRead, Rle8KeepsRowsWhenDataEndsEarly)
{
    SeamRecorder seams(24);
    std::string bmp = bmp_headers(40, 5, 3, 8, BI_RLE8, 16);
    bmp += table16();
    uint32_t offset = (uint32_t)bmp.size();
    // Row 0 complete, row 1 cut inside an absolute block, no end of bitmap.
    bmp += std::string("\x05\x07\x00\x00\x00\x04\x01\x02", 8);
    finish_bmp(bmp, offset);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    ASSERT_TRUE(r.image);
    EXPECT_EQ(row_indices(r.image, 0), (std::vector<unsigned>{7, 7, 7, 7, 7}));
    EXPECT_EQ(row_indices(r.image, 1), (std::vector<unsigned>{1, 2, 0, 0, 0}));
    EXPECT_EQ(row_indices(r.image, 2), (std::vector<unsigned>{0, 0, 0, 0, 0}));
    GlobalFree(r.image);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpRead, Rle8AbsoluteBlockPastRowDoesNotWrap)
{
    SeamRecorder seams(24);
    std::string bmp = bmp_headers(40, 3, 2, 8, BI_RLE8, 16);
    bmp += table16();
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x00\x05\x01\x02\x03\x04\x05\x00\x00\x00\x00\x02\x02\x00\x01\x09\x00\x01", 18);
    finish_bmp(bmp, offset);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    ASSERT_TRUE(r.image);
    EXPECT_EQ(row_indices(r.image, 0), (std::vector<unsigned>{1, 2, 3}));
    EXPECT_EQ(row_indices(r.image, 1), (std::vector<unsigned>{0, 0, 9}));
    {
        LockedDib dib(r.image);
        EXPECT_EQ(dib.row(0)[3], 0) << "padding stays zero";
    }
    GlobalFree(r.image);
}

std::string bitfield_file(int header_size, int bits, const uint32_t masks[3], const std::vector<uint32_t>& pixels)
{
    std::string bmp = bmp_headers(header_size, (int32_t)pixels.size(), 1, bits, BI_BITFIELDS);
    std::string m(12, '\0');
    for (int i = 0; i < 3; ++i)
        put_le32(m, 4 * i, masks[i]);
    if (header_size == 124)
        bmp.replace(14 + 40, 12, m);
    else
        bmp += m;
    uint32_t offset = (uint32_t)bmp.size();
    std::string row(dib_row_stride((int32_t)pixels.size(), bits), '\0');
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (bits == 16)
            put_le16(row, 2 * i, pixels[i]);
        else
            put_le32(row, 4 * i, pixels[i]);
    }
    bmp += row;
    finish_bmp(bmp, offset);
    return bmp;
}

TEST(BmpRead, BitFields565ExpandToFullScale)
{
    SeamRecorder seams(24);
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    BmpReadOutcome r = read_bmp_bytes(bitfield_file(40, 16, masks, {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0841}));
    ASSERT_TRUE(r.image);
    LockedDib dib(r.image);
    ASSERT_EQ(dib.bih->biBitCount, 24);
    const uint8_t want[5][3] = {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {8, 8, 8}};
    for (int x = 0; x < 5; ++x) {
        uint8_t got[4];
        dib_rgba(dib.bih, x, 0, got);
        EXPECT_EQ(memcmp(got, want[x], 3), 0) << "pixel " << x;
    }
}

TEST(BmpRead, BitFields101010KeepTopEightBits)
{
    SeamRecorder seams(24);
    const uint32_t masks[3] = {0x3FF00000, 0x000FFC00, 0x000003FF};
    for (int header : {40, 124}) {
        BmpReadOutcome r = read_bmp_bytes(
            bitfield_file(header, 32, masks, {0x3FFFFFFF, (0x155u << 20) | (0x2AAu << 10) | 0x0FF, 0xC0000000}),
            header == 40 ? READ_WIN40 : READ_WIN124);
        ASSERT_TRUE(r.image);
        EXPECT_NE(r.info.find("bitfields: 10 10 10 \n"), std::string::npos);
        LockedDib dib(r.image);
        const uint8_t want[3][4] = {{255, 255, 255, 0}, {0x55, 0xAA, 0x3F, 0}, {0, 0, 0, 0}};
        for (int x = 0; x < 3; ++x) {
            uint8_t got[4];
            dib_rgba(dib.bih, x, 0, got);
            EXPECT_EQ(memcmp(got, want[x], 4), 0) << "pixel " << x << " header " << header;
        }
        dib.unlock();
        GlobalFree(r.image);
    }
}

TEST(BmpRead, IndicesBeyondTableReadAsZero)
{
    SeamRecorder seams(24);
    std::string bmp = bmp_headers(40, 6, 1, 8, BI_RGB, 4);
    bmp += table16().substr(0, 16);
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x00\x01\x02\x03\xC8\x04\x00\x00", 8);
    finish_bmp(bmp, offset);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    ASSERT_TRUE(r.image);
    EXPECT_EQ(row_indices(r.image, 0), (std::vector<unsigned>{0, 1, 2, 3, 0, 0}));
    EXPECT_EQ(LockedDib(r.image).bih->biClrUsed, 4u);
    GlobalFree(r.image);
}

TEST(BmpRead, DeepImageDropsItsTableAndHonoursOffset)
{
    SeamRecorder seams(24);
    // A 24-bit file with a 16-entry table, then 100 bytes of gap before rows.
    std::string bmp = bmp_headers(40, 2, 2, 24, BI_RGB, 16);
    bmp += table16();
    bmp += std::string(100, '\x77');
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x01\x02\x03\x04\x05\x06\x00\x00\x11\x12\x13\x14\x15\x16\x00\x00", 16);
    finish_bmp(bmp, offset);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    ASSERT_TRUE(r.image);
    LockedDib dib(r.image);
    EXPECT_EQ(dib.bih->biClrUsed, 0u);
    EXPECT_EQ(dib_pixel_offset(dib.bih), 40u);
    EXPECT_EQ(std::string((const char*)dib.row(0), 8), std::string("\x01\x02\x03\x04\x05\x06\x00\x00", 8));
    EXPECT_EQ(std::string((const char*)dib.row(1), 6), std::string("\x11\x12\x13\x14\x15\x16", 6));
}

TEST(BmpRead, TruncatedRowsStayZero)
{
    SeamRecorder seams(24);
    std::string bmp = bmp_headers(40, 4, 4, 8, BI_RGB, 16);
    bmp += table16();
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x01\x01\x01\x01\x02\x02\x02\x02\x03\x03", 10);
    finish_bmp(bmp, offset);
    BmpReadOutcome r = read_bmp_bytes(bmp);
    ASSERT_TRUE(r.image);
    EXPECT_TRUE(seams.boxes.empty());
    EXPECT_EQ(row_indices(r.image, 0), (std::vector<unsigned>{1, 1, 1, 1}));
    EXPECT_EQ(row_indices(r.image, 1), (std::vector<unsigned>{2, 2, 2, 2}));
    EXPECT_EQ(row_indices(r.image, 2), (std::vector<unsigned>{3, 3, 0, 0}));
    EXPECT_EQ(row_indices(r.image, 3), (std::vector<unsigned>{0, 0, 0, 0}));
    GlobalFree(r.image);
}

TEST(BmpRead, InformationTextsAndOutValues)
{
    SeamRecorder seams(24);
    BmpReadOutcome w = read_bmp_path(fixture_path("bmp/im_rle8_bands.bmp"));
    EXPECT_EQ(w.info, "image type: Windows DIB \nwidth: 301 \nheight: 13 \nplanes: 1 \nbit count: 8 \n"
                      "compression: BI_RLE8 \n");
    EXPECT_EQ(w.frame_left, 0);
    EXPECT_EQ(w.frame_top, 0);
    EXPECT_EQ(w.screen_width, 301);
    EXPECT_EQ(w.screen_height, 13);
    GlobalFree(w.image);
    BmpReadOutcome o = read_bmp_path(fixture_path("bmp/pm_os2_8_13x7.bmp"));
    EXPECT_EQ(o.info, "image type: OS/2 DIB \nwidth: 13 \nheight: 7 \nplanes: 1 \nbit count: 8 \n"
                      "compression: none \ncolors: 256");
    EXPECT_EQ(o.screen_width, -1);
    GlobalFree(o.image);
    o = read_bmp_path(fixture_path("bmp/pm_os2_24_1x1.bmp"));
    EXPECT_NE(o.info.find("compression: none \ncolors: 16.7 million"), std::string::npos);
    GlobalFree(o.image);
}

TEST(BmpRead, EveryReaderFitsThePreviewToTheImage)
{
    SeamRecorder seams(24);
    RECT saved = g_rcPreview;
    g_rcPreview = {3, 3, 300, 300};
    for (const char* name : {"im_rle8_bands.bmp", "pm_os2_24_33x5.bmp"}) {
        g_animDestWidth = g_animDestHeight = -1;
        BmpReadOutcome r = read_bmp_path(fixture_path(std::string("bmp/") + name));
        EXPECT_GT(g_animDestWidth, 4 * g_animDestHeight) << name << ": a wide image, fitted";
        EXPECT_GT(g_animDestHeight, 0) << name;
        GlobalFree(r.image);
    }
    g_animDestWidth = g_animDestHeight = -1;
    BmpReadOutcome r = read_bmp_bytes(wrap_g3(fixture_bytes("g3_noise.g3"), 77, 21));
    EXPECT_GT(g_animDestWidth, g_animDestHeight);
    GlobalFree(r.image);
    g_rcPreview = saved;
}

TEST(BmpRead, UnknownHeaderSizeOrDepthReturnsNullSilently)
{
    SeamRecorder seams(24);
    std::string path = test_out_path("bmp_read_silent.bmp");
    write_file_bytes(path, fixture_bytes("pm_windows_8_13x7.bmp"));
    HFILE f = _lopen(path.c_str(), OF_READ);
    int a, b, c, d;
    EXPECT_EQ(read_bmp_file(f, NULL, NULL, &a, &b, &c, &d, 52), (HGLOBAL)NULL);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "file closed";

    std::string two_bit = bmp_headers(40, 4, 1, 2, BI_RGB);
    two_bit += std::string(20, '\0');
    finish_bmp(two_bit, 54);
    EXPECT_FALSE(read_bmp_bytes(two_bit).image);
    std::string rle8_at_4 = bmp_headers(40, 4, 1, 4, BI_RLE8);
    rle8_at_4 += table16() + std::string("\x00\x01", 2);
    finish_bmp(rle8_at_4, 54 + 64);
    EXPECT_FALSE(read_bmp_bytes(rle8_at_4).image);
    EXPECT_TRUE(seams.boxes.empty());
}

// ---------------------------------------------------------------------------
// Hostile input

struct HostileCase {
    std::string name;
    std::string bytes;
    BmpReader reader;
    std::string expect;  // a box text, "image", "silent", or "any" (image or a box)
};

std::string small_win8()
{
    std::string bmp = bmp_headers(40, 5, 3, 8, BI_RGB, 4);
    bmp += table16().substr(0, 16);
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x00\x01\x02\x03\x01\x00\x00\x00\x03\x02\x01\x00\x02\x00\x00\x00\x01\x01\x01\x01\x01\x00\x00\x00", 24);
    finish_bmp(bmp, offset);
    return bmp;
}

std::string small_rle8()
{
    std::string bmp = bmp_headers(40, 6, 3, 8, BI_RLE8, 16);
    bmp += table16();
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x06\x05\x00\x00\x00\x03\x01\x02\x03\x00\x03\x09\x00\x00\x02\x07\x00\x02\x01\x00\x01\x08\x00\x01", 24);
    finish_bmp(bmp, offset);
    return bmp;
}

std::string small_rle4()
{
    std::string bmp = bmp_headers(40, 7, 2, 4, BI_RLE4);
    bmp += table16();
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x07\x12\x00\x00\x00\x03\x45\x60\x00\x02\x01\x00\x02\x77\x00\x01", 16);
    finish_bmp(bmp, offset);
    return bmp;
}

std::string small_os2_core()
{
    std::string bmp(14 + 12, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    put_le32(bmp, 14, 12);
    put_le16(bmp, 18, 5);
    put_le16(bmp, 20, 2);
    put_le16(bmp, 22, 1);
    put_le16(bmp, 24, 4);
    for (int i = 0; i < 16; ++i)
        bmp += std::string{(char)i, (char)(i * 2), (char)(i * 3)};
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x12\x34\x50\x00\xAB\xCD\xE0\x00", 8);
    finish_bmp(bmp, offset);
    return bmp;
}

// Rows of 8: white 2, black 4, white 2 ("0111 011 0111"), twice, plus an
// end-of-line code in front.
std::string small_huffman()
{
    std::string bits = "000000000001" "0111" "011" "0111" "0111" "011" "0111";
    while (bits.size() % 8)
        bits += '0';
    std::string data;
    for (size_t i = 0; i < bits.size(); i += 8)
        data += (char)std::stoi(bits.substr(i, 8), nullptr, 2);
    return wrap_g3(data, 8, 2);
}

std::string small_rle24()
{
    std::string bmp = bmp_headers(64, 3, 2, 24, 4);
    uint32_t offset = (uint32_t)bmp.size();
    bmp += std::string("\x03\x01\x02\x03\x00\x00\x00\x03\x10\x11\x12\x20\x21\x22\x30\x31\x32\x00\x00\x00\x00\x01", 22);
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

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<HostileCase> hostile_cases()
{
    std::vector<HostileCase> cases;
    const struct { const char* name; std::string bytes; BmpReader reader; } bases[] = {
        {"win8", small_win8(), READ_WIN40},
        {"rle8", small_rle8(), READ_WIN40},
        {"rle4", small_rle4(), READ_WIN40},
        {"os2", small_os2_core(), READ_OS2},
        {"huffman", small_huffman(), READ_OS2V2},
        {"rle24", small_rle24(), READ_OS2V2},
    };
    for (const auto& base : bases) {
        cases.push_back({std::string(base.name) + "_whole", base.bytes, base.reader, "image"});
        for (size_t n = 0; n < base.bytes.size(); ++n)
            cases.push_back({std::string(base.name) + "_cut_" + std::to_string(n), base.bytes.substr(0, n),
                             base.reader, "any"});
    }
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    std::string v5 = bitfield_file(124, 16, masks565, {1, 2, 3, 4, 5});
    for (size_t n = 0; n < v5.size(); n += 7)
        cases.push_back({"v5_cut_" + std::to_string(n), v5.substr(0, n), READ_WIN124, "any"});

    std::string win8 = small_win8();
    const std::string FORMAT = "Unrecognized Bitmap Format", WIN_ALLOC = "Memory allocation error",
                      CODED_ALLOC = "Memory Allocation Error", READ = "File Read Error";
    cases.push_back({"zero_width", with_u32(win8, 18, 0), READ_WIN40, FORMAT});
    cases.push_back({"negative_width", with_u32(win8, 18, (uint32_t)-5), READ_WIN40, FORMAT});
    cases.push_back({"zero_height", with_u32(win8, 22, 0), READ_WIN40, FORMAT});
    cases.push_back({"huge_width", with_u32(win8, 18, 0x7FFFFFFF), READ_WIN40, WIN_ALLOC});
    cases.push_back({"min_height", with_u32(win8, 22, 0x80000000u), READ_WIN40, WIN_ALLOC});
    std::string big32 = with_bits(with_u32(with_u32(win8, 18, 65536), 22, 65536), 32);
    cases.push_back({"size_overflow_32bit", big32, READ_WIN40, WIN_ALLOC});
    cases.push_back({"size_past_limit", with_bits(with_u32(with_u32(win8, 18, 20000), 22, 20000), 24),
                     READ_WIN40, WIN_ALLOC});
    cases.push_back({"size_past_file", with_bits(with_u32(with_u32(win8, 18, 8000), 22, 8000), 24),
                     READ_WIN40, READ});
    cases.push_back({"rle_size_past_file", with_u32(with_u32(small_rle8(), 18, 4000), 22, 4000), READ_WIN40, READ});
    cases.push_back({"os2v2_huge_width", with_u32(small_rle24(), 18, 0x80000000u), READ_OS2V2, CODED_ALLOC});
    cases.push_back({"offset_past_end", with_u32(win8, 10, 0x7FFFFFF0), READ_WIN40, "image"});
    cases.push_back({"offset_inside_header", with_u32(win8, 10, 20), READ_WIN40, "image"});
    cases.push_back({"table_past_end", with_u32(win8, 46, 0xFFFFFFFF), READ_WIN40, READ});
    cases.push_back({"deep_table_past_end",
                     with_u32(with_u32(with_bits(win8, 24), 46, 0x40000000), 10, 0), READ_WIN40, READ});
    cases.push_back({"header_124_too_short", win8.substr(0, 60), READ_WIN124, READ});
    cases.push_back({"rle_at_24_bits", with_bits(small_rle8(), 24), READ_WIN40, "silent"});
    std::string os2_16 = small_os2_core();
    put_le16(os2_16, 24, 16);
    cases.push_back({"os2_16_bits", os2_16, READ_OS2, "silent"});
    cases.push_back({"os2v2_rle8_at_24_bits", with_u32(small_rle24(), 30, 1), READ_OS2V2, "image"});

    std::string rle8 = small_rle8();
    std::string long_absolute = rle8.substr(0, get_le32(rle8, 10)) + std::string("\x00\xFF\x01\x02", 4);
    cases.push_back({"rle_absolute_past_data", long_absolute, READ_WIN40, "image"});
    std::string far_delta = rle8.substr(0, get_le32(rle8, 10)) + std::string("\x00\x02\xFF\xFF\x05\x01", 6);
    cases.push_back({"rle_delta_past_image", far_delta, READ_WIN40, "image"});
    std::string wide_runs = rle8.substr(0, get_le32(rle8, 10));
    for (int i = 0; i < 100; ++i)
        wide_runs += std::string("\xFF\x03\x00\x02\xFF\x00", 6);
    cases.push_back({"rle_runs_and_deltas_past_row", wide_runs, READ_WIN40, "image"});

    std::string huffman = small_huffman();
    size_t data_at = get_le32(huffman, 10);
    std::string garbage;
    uint32_t state = 12345;
    for (int i = 0; i < 512; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += (char)(state >> 16);
    }
    cases.push_back({"huffman_garbage", huffman.substr(0, data_at) + garbage, READ_OS2V2, "image"});
    cases.push_back({"huffman_zeros", huffman.substr(0, data_at) + std::string(300, '\0'), READ_OS2V2, "image"});
    cases.push_back({"huffman_ones", huffman.substr(0, data_at) + std::string(300, '\xFF'), READ_OS2V2, "image"});
    std::string huffman_wide = with_u32(huffman, 18, 100000);
    cases.push_back({"huffman_makeups_past_row",
                     huffman_wide.substr(0, data_at) + std::string(200, '\x01') , READ_OS2V2, "image"});
    return cases;
}

class BmpHostileRead : public ::testing::TestWithParam<HostileCase> {};

TEST_P(BmpHostileRead, ReportsOrReadsWithinBounds)
{
    const HostileCase& c = GetParam();
    SeamRecorder seams(24);
    std::string path = test_out_path("bmp_hostile.bmp");
    BmpReadOutcome r = read_bmp_bytes(c.bytes, c.reader, "bmp_hostile.bmp");
    ASSERT_TRUE(r.opened);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the reader closes the file";
    if (r.image) {
        EXPECT_TRUE(is_valid_packed_dib(r.image));
        EXPECT_LE((uint64_t)GlobalSize(r.image), 256ull * c.bytes.size() + (4u << 20) + 4096);
        GlobalFree(r.image);
    }
    const char* const messages[] = {"Unrecognized Bitmap Format", "Memory allocation error",
                                    "Memory Allocation Error", "File Read Error"};
    if (c.expect == "image") {
        EXPECT_TRUE(r.image);
        EXPECT_TRUE(seams.boxes.empty());
    } else if (c.expect == "silent") {
        EXPECT_FALSE(r.image);
        EXPECT_TRUE(seams.boxes.empty());
    } else if (c.expect == "any") {
        if (r.image) {
            EXPECT_TRUE(seams.boxes.empty());
        } else {
            ASSERT_EQ(seams.boxes.size(), 1u);
            EXPECT_NE(std::find(std::begin(messages), std::end(messages), seams.boxes[0].text), std::end(messages))
                << seams.boxes[0].text;
        }
    } else {
        EXPECT_FALSE(r.image);
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].text, c.expect);
    }
    for (const RecordedBox& box : seams.boxes) {
        EXPECT_EQ(box.caption, "(null)");
        EXPECT_EQ(box.type & MB_ICONMASK, (UINT)MB_ICONSTOP);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BmpHostileRead, ::testing::ValuesIn(hostile_cases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
