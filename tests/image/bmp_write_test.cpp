// BMP writers: every writer at every depth it takes, read back by the
// project's reader; the files and their expected pixels (PAM) are left in
// the test-out folder for check_bmp.sh, which reads them with ImageMagick and
// netpbm. Also the exact run-length coding of the cases that shape it, and
// failing writes that must leave an existing file alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "bmp_test_util.h"
#include "dib_test_util.h"
#include "image/bmp_write.h"
#include "image/safe_write.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

struct Lcg {
    uint32_t state;
    uint32_t next() { state = state * 1664525u + 1013904223u; return state >> 8; }
};

// Patterns of pixel values for run-length and plain images.
enum Pattern { NOISE, BANDS, UNIFORM, ALTERNATING, PAIRS };

uint32_t pattern_value(Pattern p, Lcg& rng, int x, int y, uint32_t colours, uint32_t& band)
{
    switch (p) {
    case NOISE: return rng.next() % colours;
    case BANDS:
        if (x % 9 == 0 || rng.next() % 13 == 0)
            band = rng.next() % colours;
        return band;
    case UNIFORM: return (uint32_t)y % colours;
    case ALTERNATING: return (uint32_t)(x & 1) % colours;
    case PAIRS: {
        static const int cycle[6] = {1, 2, 3, 3, 4, 4};  // literal 2, then pairs
        return (uint32_t)cycle[x % 6] % colours;
    }
    }
    return 0;
}

// A filled image; palette images get a table of colours entries.
HGLOBAL make_test_image(int width, int height, int bits, Pattern pattern, uint32_t key, uint32_t colours = 0)
{
    Lcg rng{key};
    uint32_t full = bits <= 8 ? 1u << bits : 0;
    if (bits <= 8 && colours == 0)
        colours = full;
    HGLOBAL h = create_packed_dib(width, height, bits, bits <= 8 && colours != full ? colours : 0);
    LockedDib dib(h);
    if (bits <= 8) {
        for (uint32_t i = 0; i < colours; ++i)
            dib.table()[i] = quad((BYTE)rng.next(), (BYTE)rng.next(), (BYTE)rng.next());
    }
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib.row(y);
        uint32_t band = 0;
        for (int x = 0; x < width; ++x) {
            if (bits <= 8) {
                set_index(row, bits, x, pattern_value(pattern, rng, x, y, colours, band));
            } else if (bits == 16) {
                uint32_t v = pattern == NOISE ? rng.next() & 0x7FFF : (pattern_value(pattern, rng, x, y, 4, band) * 0x1CE7) & 0x7FFF;
                row[2 * x] = (BYTE)v;
                row[2 * x + 1] = (BYTE)(v >> 8);
            } else {
                int n = bits / 8;
                for (int c = 0; c < n; ++c)
                    row[n * x + c] = pattern == NOISE ? (BYTE)rng.next() : (BYTE)(pattern_value(pattern, rng, x, y, 4, band) * 60 + c);
            }
        }
    }
    return h;
}

// Expected pixels of an image as RGB samples, top row first, for the check
// script (16-bit channels as 5-bit values shifted up by 3).
void write_reference(HGLOBAL image, const std::string& name)
{
    LockedDib dib(image);
    int w = dib.bih->biWidth, h = dib.bih->biHeight;
    std::vector<uint8_t> samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t p[4];
            dib_rgba(dib.bih, x, y, p);
            samples.insert(samples.end(), p, p + 3);
        }
    ASSERT_TRUE(write_pam_file(test_out_path(name + ".pam"), w, h, 3, samples));
}

// Same size, depth and pixels (table colours for palette images).
void expect_same_pixels(HGLOBAL want, HGLOBAL got, const std::string& what, bool with_alpha)
{
    ASSERT_TRUE(got) << what;
    LockedDib a(want), b(got);
    ASSERT_EQ(a.bih->biWidth, b.bih->biWidth) << what;
    ASSERT_EQ(a.bih->biHeight, b.bih->biHeight) << what;
    int bad = 0;
    for (int y = 0; y < a.bih->biHeight && bad < 5; ++y)
        for (int x = 0; x < a.bih->biWidth && bad < 5; ++x) {
            uint8_t p[4], q[4];
            dib_rgba(a.bih, x, y, p);
            dib_rgba(b.bih, x, y, q);
            if (memcmp(p, q, with_alpha ? 4 : 3) != 0) {
                ++bad;
                ADD_FAILURE() << what << " pixel (" << x << ", " << y << ")";
            }
        }
}

int temp_files_in(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\sqt*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do {
        ++n;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

std::string folder_of(const std::string& path)
{
    return path.substr(0, path.find_last_of("\\/"));
}

// ---------------------------------------------------------------------------
// Uncompressed

TEST(BmpWrite, UncompressedEveryDepthReadsBack)
{
    SeamRecorder seams(24);
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int width : {1, 13, 37}) {
            std::string name = "bmpw_raw_" + std::to_string(bits) + (bits == 16 ? "_555" : "") + "_w" +
                               std::to_string(width);
            HGLOBAL image = make_test_image(width, 9, bits, NOISE, (uint32_t)(bits * 100 + width),
                                            bits == 8 ? 100 : 0);
            std::string path = test_out_path(name + ".bmp");
            ASSERT_EQ(write_bmp_file(image, path.c_str()), 1) << name;
            std::string bytes = read_file_bytes(path);
            ASSERT_GE(bytes.size(), 54u);
            EXPECT_EQ(get_le32(bytes, 2), bytes.size()) << name;
            uint32_t colours = bits <= 8 ? (bits == 8 ? 100 : 1u << bits) : 0;
            EXPECT_EQ(get_le32(bytes, 10), 54 + 4 * colours) << name;
            BmpReadOutcome r = read_bmp_path(path);
            expect_same_pixels(image, r.image, name, true);
            if (r.image) {
                LockedDib got(r.image), want(image);
                EXPECT_EQ(got.bih->biBitCount, bits);
                EXPECT_EQ(dib_color_count(got.bih), dib_color_count(want.bih));
                uint32_t stride = dib_row_stride(width, bits);
                EXPECT_EQ(memcmp(dib_pixels(got.bih), dib_pixels(want.bih), (size_t)stride * 9), 0) << name;
            }
            write_reference(image, name);
            GlobalFree(r.image);
            GlobalFree(image);
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// ---------------------------------------------------------------------------
// Run-length

std::string encode_row(const std::vector<BYTE>& row, int width, int mode, uint32_t* counted)
{
    std::string path = test_out_path("bmpw_row.bin");
    FILE* fp = fopen(path.c_str(), "wb");
    EXPECT_TRUE(fp);
    uint32_t written = encode_bmp_rle(row.data(), width, mode, fp, 1);
    fclose(fp);
    *counted = encode_bmp_rle(row.data(), width, mode, NULL, 0);
    EXPECT_EQ(written, *counted);
    std::string bytes = read_file_bytes(path);
    EXPECT_EQ(bytes.size(), written);
    return bytes;
}

std::string hex(const std::string& s)
{
    std::string out;
    char b[4];
    for (unsigned char c : s) {
        snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

TEST(BmpRleEncode, UniformRowUsesRunsOf254)
{
    uint32_t n;
    std::string got = encode_row(std::vector<BYTE>(600, 7), 600, BMP_RLE8, &n);
    EXPECT_EQ(hex(got), hex(std::string("\xFE\x07\xFE\x07\x5C\x07\x00\x00", 8)));
}

TEST(BmpRleEncode, AlternatingRowUsesAbsoluteBlocksOf254)
{
    std::vector<BYTE> row(600);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = (BYTE)(i & 1);
    uint32_t n;
    std::string got = encode_row(row, 600, BMP_RLE8, &n);
    ASSERT_EQ(got.size(), 2 + 254 + 2 + 254 + 2 + 92 + 2u);
    EXPECT_EQ(hex(got.substr(0, 2)), "00 FE ");
    EXPECT_EQ(hex(got.substr(256, 2)), "00 FE ");
    EXPECT_EQ(hex(got.substr(512, 2)), "00 5C ");
    EXPECT_EQ(got.substr(2, 254), std::string((const char*)row.data(), 254));
    EXPECT_EQ(hex(got.substr(got.size() - 2)), "00 00 ");
}

TEST(BmpRleEncode, TwoPixelLiteralBecomesTwoRunsOfOne)
{
    uint32_t n;
    EXPECT_EQ(hex(encode_row({1, 2}, 2, BMP_RLE8, &n)), "01 01 01 02 00 00 ");
    EXPECT_EQ(hex(encode_row({5, 5, 1, 2}, 4, BMP_RLE8, &n)), "02 05 01 01 01 02 00 00 ");
    EXPECT_EQ(hex(encode_row({9, 9, 9}, 3, BMP_RLE8, &n)), "02 09 01 09 00 00 ");
}

TEST(BmpRleEncode, Rle4TailsByWidth)
{
    uint32_t n;
    EXPECT_EQ(hex(encode_row({0x12, 0x34, 0x56, 0x7F}, 7, BMP_RLE4, &n)), "00 04 12 34 00 03 56 70 00 00 ");
    EXPECT_EQ(hex(encode_row({0x12, 0x34, 0x5F}, 5, BMP_RLE4, &n)), "00 04 12 34 01 50 00 00 ");
    EXPECT_EQ(hex(encode_row({0x12, 0x12, 0x56}, 6, BMP_RLE4, &n)), "04 12 02 56 00 00 ");
    EXPECT_EQ(hex(encode_row({0xA0}, 1, BMP_RLE4, &n)), "01 A0 00 00 ");
}

// Walks the coding of a whole file: every row codes exactly width pixels,
// no run or block is longer than 254 pixels or an absolute block shorter
// than 3, every row ends with an end of line and the data with an end of
// bitmap. Returns the coded bytes of each row.
std::vector<uint32_t> check_rle_structure(const std::string& file, int width, int height, int mode)
{
    std::vector<uint32_t> row_sizes;
    size_t pos = get_le32(file, 10);
    for (int y = 0; y < height; ++y) {
        size_t start = pos;
        int x = 0;
        for (;;) {
            if (pos + 2 > file.size()) {
                ADD_FAILURE() << "coding ends inside row " << y;
                return row_sizes;
            }
            unsigned count = (unsigned char)file[pos], second = (unsigned char)file[pos + 1];
            pos += 2;
            if (count) {
                EXPECT_LE(count, 254u);
                x += (int)count;
            } else if (second == 0) {
                break;
            } else {
                EXPECT_GE(second, 3u) << "escape " << second << " in row " << y;
                EXPECT_LE(second, 254u);
                unsigned bytes = mode == BMP_RLE4 ? (second + 1) / 2 : second;
                pos += bytes + (bytes & 1);
                x += (int)second;
            }
        }
        EXPECT_EQ(x, width) << "row " << y;
        row_sizes.push_back((uint32_t)(pos - start));
    }
    EXPECT_EQ(hex(file.substr(pos)), "00 01 ");
    return row_sizes;
}

TEST(BmpWrite, RunLengthFilesReadBackAndStayWithinBounds)
{
    SeamRecorder seams(24);
    const struct { Pattern pattern; const char* name; } patterns[] = {
        {NOISE, "noise"}, {BANDS, "bands"}, {UNIFORM, "uniform"}, {ALTERNATING, "alternating"}, {PAIRS, "pairs"}};
    for (int bits : {4, 8}) {
        for (const auto& p : patterns) {
            for (int width : {1, 2, 3, 5, 6, 7, 9, 600}) {
                std::string name = "bmpw_rle" + std::to_string(bits) + "_" + p.name + "_w" + std::to_string(width);
                int height = 5;
                HGLOBAL image = make_test_image(width, height, bits, p.pattern, (uint32_t)(width * 7 + bits),
                                                bits == 8 ? 40 : 0);
                std::string path = test_out_path(name + ".bmp");
                ASSERT_EQ(write_bmp_rle_file(path.c_str(), image), 1) << name;
                std::string file = read_file_bytes(path);
                ASSERT_GT(file.size(), 54u);
                EXPECT_EQ(get_le32(file, 2), file.size()) << name;
                EXPECT_EQ(get_le32(file, 30), bits == 8 ? 1u : 2u);
                uint32_t colours = bits == 8 ? 40 : 16;
                EXPECT_EQ(get_le32(file, 10), 54 + 4 * colours);
                EXPECT_EQ(get_le32(file, 34), file.size() - get_le32(file, 10)) << "image size counts all data";
                std::vector<uint32_t> rows = check_rle_structure(file, width, height, bits == 8 ? BMP_RLE8 : BMP_RLE4);
                for (uint32_t r : rows)
                    EXPECT_LE(r, (uint32_t)(4 * width / 3 + 2 * (width / 252 + 1) + 8)) << name;
                BmpReadOutcome back = read_bmp_path(path);
                expect_same_pixels(image, back.image, name, false);
                if (width == 600 || width == 7 || width == 1)
                    write_reference(image, name);
                else
                    DeleteFileA(path.c_str());
                GlobalFree(back.image);
                GlobalFree(image);
            }
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpWrite, RunLengthRefusesOtherDepthsWithoutTouchingTheFile)
{
    for (int bits : {1, 16, 24, 32}) {
        HGLOBAL image = make_test_image(4, 2, bits, NOISE, 3);
        std::string path = test_out_path("bmpw_rle_refused.bmp");
        DeleteFileA(path.c_str());
        EXPECT_EQ(write_bmp_rle_file(path.c_str(), image), 0) << bits;
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << bits;
        GlobalFree(image);
    }
}

// ---------------------------------------------------------------------------
// Bit fields

TEST(BmpWrite, BitFieldsEveryOptionReadsBack)
{
    SeamRecorder seams(24);
    const struct { int bits; int option; const char* tag; uint32_t masks[3]; } cases[] = {
        {16, 0, "bf16_555", {0x7C00, 0x03E0, 0x001F}},
        {16, 1, "bf16_565", {0xF800, 0x07E0, 0x001F}},
        {32, 0, "bf32_888", {0xFF0000, 0xFF00, 0xFF}},
        {32, 1, "bf32_1010", {0x3FF00000, 0x000FFC00, 0x000003FF}},
    };
    for (const auto& c : cases) {
        for (int width : {1, 13, 37}) {
            std::string name = std::string("bmpw_") + c.tag + "_w" + std::to_string(width);
            HGLOBAL image = make_test_image(width, 7, c.bits, NOISE, (uint32_t)(width + c.bits + c.option));
            std::string path = test_out_path(name + ".bmp");
            ASSERT_EQ(write_bmp_bitfields_file(path.c_str(), image, c.option), 1) << name;
            std::string file = read_file_bytes(path);
            uint32_t stride = dib_row_stride(width, c.bits);
            ASSERT_EQ(file.size(), 66 + (size_t)stride * 7) << name;
            EXPECT_EQ(get_le32(file, 2), file.size());
            EXPECT_EQ(get_le32(file, 10), 66u);
            EXPECT_EQ(get_le32(file, 30), 3u);
            EXPECT_EQ(get_le32(file, 34), stride * 7);
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(get_le32(file, 54 + 4 * i), c.masks[i]) << name;
            BmpReadOutcome back = read_bmp_path(path);
            ASSERT_TRUE(back.image) << name;
            LockedDib got(back.image), want(image);
            if (c.bits == 16 && c.option == 1) {
                // Read back as 24 bits: each 5-bit channel at full scale,
                // green from the 6-bit field whose lowest bit is 0.
                ASSERT_EQ(got.bih->biBitCount, 24);
                for (int y = 0; y < 7; ++y)
                    for (int x = 0; x < width; ++x) {
                        uint32_t p = want.row(y)[2 * x] | (want.row(y)[2 * x + 1] << 8);
                        const BYTE* q = got.row(y) + 3 * x;
                        EXPECT_EQ((unsigned)q[0], (p & 31) * 255 / 31);
                        EXPECT_EQ((unsigned)q[1], (((p >> 5) & 31) * 2) * 255 / 63);
                        EXPECT_EQ((unsigned)q[2], ((p >> 10) & 31) * 255 / 31);
                    }
                // Odd widths end their rows with two zero bytes.
                if (width & 1) {
                    EXPECT_EQ(get_le16(file, 66 + stride - 2), 0u);
                }
            } else if (c.bits == 32 && c.option == 1) {
                ASSERT_EQ(got.bih->biBitCount, 32);
                for (int y = 0; y < 7; ++y)
                    for (int x = 0; x < width; ++x) {
                        EXPECT_EQ(memcmp(got.row(y) + 4 * x, want.row(y) + 4 * x, 3), 0);
                        EXPECT_EQ(got.row(y)[4 * x + 3], 0) << "alpha dropped";
                    }
            } else {
                ASSERT_EQ(got.bih->biBitCount, c.bits);
                EXPECT_EQ(memcmp(dib_pixels(got.bih), dib_pixels(want.bih), (size_t)stride * 7), 0) << name;
            }
            got.unlock();
            want.unlock();
            write_reference(image, name);
            GlobalFree(back.image);
            GlobalFree(image);
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpWrite, BitFieldsRefuseOtherDepths)
{
    for (int bits : {1, 4, 8, 24}) {
        HGLOBAL image = make_test_image(4, 2, bits, NOISE, 5);
        std::string path = test_out_path("bmpw_bf_refused.bmp");
        DeleteFileA(path.c_str());
        EXPECT_EQ(write_bmp_bitfields_file(path.c_str(), image, 0), 0) << bits;
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
        GlobalFree(image);
    }
}

// ---------------------------------------------------------------------------
// Failing writes

typedef int (*WriterCall)(HGLOBAL image, const char* path);
int call_plain(HGLOBAL image, const char* path) { return write_bmp_file(image, path); }
int call_rle(HGLOBAL image, const char* path) { return write_bmp_rle_file(path, image); }
int call_bitfields(HGLOBAL image, const char* path) { return write_bmp_bitfields_file(path, image, 1); }

struct WriterCase { const char* name; WriterCall call; int bits; };
const WriterCase WRITERS[] = {{"plain", call_plain, 24}, {"rle", call_rle, 8}, {"bitfields", call_bitfields, 16}};

TEST(BmpWrite, MissingFolderFailsAndCreatesNothing)
{
    std::string folder = test_out_path("bmpw_no_such_folder");
    RemoveDirectoryA(folder.c_str());
    for (const WriterCase& w : WRITERS) {
        HGLOBAL image = make_test_image(5, 3, w.bits, NOISE, 9);
        std::string path = folder + "\\out.bmp";
        EXPECT_EQ(w.call(image, path.c_str()), 0) << w.name;
        EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << w.name;
        GlobalFree(image);
    }
}

TEST(BmpWrite, ReadOnlyTargetIsLeftUntouched)
{
    for (const WriterCase& w : WRITERS) {
        std::string path = test_out_path(std::string("bmpw_readonly_") + w.name + ".bmp");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        const std::string old = "the old file, which must survive";
        ASSERT_TRUE(write_file_bytes(path, old));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        int temps_before = temp_files_in(folder_of(path));
        HGLOBAL image = make_test_image(5, 3, w.bits, NOISE, 11);
        EXPECT_EQ(w.call(image, path.c_str()), 0) << w.name;
        EXPECT_EQ(read_file_bytes(path), old) << w.name;
        EXPECT_EQ(temp_files_in(folder_of(path)), temps_before) << "temporary file removed";
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        GlobalFree(image);
    }
}

TEST(BmpWrite, ExistingFileIsReplacedOnlyWhenComplete)
{
    SeamRecorder seams(24);
    for (const WriterCase& w : WRITERS) {
        std::string path = test_out_path(std::string("bmpw_replace_") + w.name + ".bmp");
        ASSERT_TRUE(write_file_bytes(path, std::string(100000, 'x')));
        int temps_before = temp_files_in(folder_of(path));
        HGLOBAL image = make_test_image(5, 3, w.bits, NOISE, 13);
        EXPECT_EQ(w.call(image, path.c_str()), 1) << w.name;
        std::string file = read_file_bytes(path);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(get_le32(file, 2), file.size()) << "old tail gone";
        EXPECT_EQ(temp_files_in(folder_of(path)), temps_before);
        BmpReadOutcome back = read_bmp_path(path);
        EXPECT_TRUE(back.image) << w.name;
        GlobalFree(back.image);
        DeleteFileA(path.c_str());
        GlobalFree(image);
    }
}

TEST(BmpWrite, InvalidImageIsRefused)
{
    HGLOBAL broken = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40);
    std::string path = test_out_path("bmpw_broken.bmp");
    DeleteFileA(path.c_str());
    EXPECT_EQ(write_bmp_file(broken, path.c_str()), 0);
    EXPECT_EQ(write_bmp_rle_file(path.c_str(), broken), 0);
    EXPECT_EQ(write_bmp_bitfields_file(path.c_str(), broken, 0), 0);
    EXPECT_EQ(write_bmp_file(NULL, path.c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    GlobalFree(broken);
}

TEST(SafeWrite, AbortLeavesTargetAndNoTemporaryFile)
{
    std::string path = test_out_path("safe_write_target.bin");
    ASSERT_TRUE(write_file_bytes(path, "keep"));
    int temps_before = temp_files_in(folder_of(path));
    SafeWrite sw;
    FILE* fp = safe_write_open(&sw, path.c_str());
    ASSERT_TRUE(fp);
    EXPECT_EQ(folder_of(sw.temp_path), folder_of(path)) << "temporary file beside the target";
    fputs("new content", fp);
    EXPECT_EQ(temp_files_in(folder_of(path)), temps_before + 1);
    safe_write_abort(&sw);
    safe_write_abort(&sw);  // twice is harmless
    EXPECT_EQ(read_file_bytes(path), "keep");
    EXPECT_EQ(temp_files_in(folder_of(path)), temps_before);

    fp = safe_write_open(&sw, path.c_str());
    ASSERT_TRUE(fp);
    fputs("new content", fp);
    EXPECT_EQ(safe_write_commit(&sw), 1);
    EXPECT_EQ(read_file_bytes(path), "new content");
    EXPECT_EQ(safe_write_commit(&sw), 0) << "nothing left to commit";
    EXPECT_EQ(temp_files_in(folder_of(path)), temps_before);

    // The target turns read-only while the new file is written.
    fp = safe_write_open(&sw, path.c_str());
    ASSERT_TRUE(fp);
    fputs("newer content", fp);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(safe_write_commit(&sw), 0);
    EXPECT_EQ(read_file_bytes(path), "new content");
    EXPECT_EQ(temp_files_in(folder_of(path)), temps_before);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

}  // namespace
