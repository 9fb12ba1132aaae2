// BMP writers: every writer at every depth it takes, read back by the
// project's reader and, through check_bmp.sh, by ImageMagick; the structure
// of the run-length coding; failing writes leave an existing file alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "bmp_test_util.h"
#include "image/bmp_write.h"
#include "image/packed_dib.h"
#include "image/safe_write.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"

namespace {

// Patterns of pixel values for run-length and plain images.
enum Pattern { NOISE, BANDS, UNIFORM, ALTERNATING, PAIRS };

// A filled image; palette images get a table of colours entries.
HGLOBAL make_test_image(int width, int height, int bits, Pattern pattern, uint32_t key, uint32_t colours = 0)
{
    uint32_t state = key, band = 0;
    auto next = [&]() { return (state = state * 1664525u + 1013904223u) >> 8; };
    uint32_t full = bits <= 8 ? 1u << bits : 0;
    colours = bits > 8 ? 4 : colours ? colours : full;
    DibBlock dib(create_packed_dib(width, height, bits, bits <= 8 && colours != full ? colours : 0));
    for (uint32_t i = 0; bits <= 8 && i < colours; ++i)
        dib.table()[i] = quad((BYTE)next(), (BYTE)next(), (BYTE)next());
    static const int pairs[6] = {1, 2, 3, 3, 4, 4};  // a literal of 2, then pairs
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (pattern == BANDS && (x % 9 == 0 || next() % 13 == 0))
                band = next() % colours;
            uint32_t v = pattern == NOISE ? next() : pattern == BANDS ? band : pattern == UNIFORM ? y
                       : pattern == ALTERNATING ? x & 1 : pairs[x % 6];
            if (bits <= 8)
                set_index(dib.row(y), bits, x, v % colours);
            for (int c = 0; bits > 8 && c < bits / 8; ++c)
                dib.row(y)[x * bits / 8 + c] = pattern == NOISE ? (BYTE)next() : (BYTE)(v % colours * 60 + c);
            if (bits == 16)
                dib.row(y)[2 * x + 1] &= 0x7F;  // 5-5-5 keeps its top bit clear
        }
    return dib.release();
}

// Expected pixels for the check script.
void write_reference(HGLOBAL image, const std::string& name)
{
    ASSERT_TRUE(write_pnm_file(test_out_path(name + ".pam"), dib_to_pnm(image, 3)));
}

// Same size and pixels, compared at the top `bits` bits of each channel.
void expect_same_pixels(HGLOBAL want, HGLOBAL got, const std::string& what, int bits = 8)
{
    ASSERT_TRUE(got) << what;
    PnmImage a = dib_to_pnm(want, 4), b = dib_to_pnm(got, 4);
    ASSERT_EQ(max_difference(a, b) >= 0, true) << what << ": other size";
    int bad = 0;
    for (size_t i = 0; i < a.data.size(); ++i)
        bad += (a.data[i] >> (8 - bits)) != (b.data[i] >> (8 - bits));
    EXPECT_EQ(bad, 0) << what;
}

TEST(BmpWrite, UncompressedEveryDepthReadsBack)
{
    SeamRecorder seams(24);
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (int width : {1, 13, 37}) {
            std::string name = "bmpw_raw_" + std::to_string(bits) + (bits == 16 ? "_555" : "") + "_w" +
                               std::to_string(width);
            DibBlock image(make_test_image(width, 9, bits, NOISE, (uint32_t)(bits * 100 + width), bits == 8 ? 100 : 0));
            std::string path = test_out_path(name + ".bmp");
            ASSERT_EQ(write_bmp_file(image.get(), path.c_str()), 1) << name;
            DibBlock back(read_bmp_path(path).image);
            ASSERT_TRUE(back) << name;
            EXPECT_EQ(back.bih->biBitCount, bits);
            EXPECT_EQ(dib_color_count(back.bih), dib_color_count(image.bih));
            EXPECT_EQ(memcmp(back.row(0), image.row(0), (size_t)dib_row_stride(width, bits) * 9), 0) << name;
            write_reference(image.get(), name);
        }
    EXPECT_TRUE(seams.boxes.empty());
}

// ---- Run-length

// Rows of exactly width pixels in runs and blocks of 3 to 254, each ended, and an end of bitmap.
void check_rle_structure(const std::string& file, int width, int height, int mode, const std::string& name)
{
    size_t pos = get_le32(file, 10);
    for (int y = 0; y < height; ++y) {
        size_t start = pos;
        int x = 0;
        for (;;) {
            ASSERT_LE(pos + 2, file.size()) << name << ": coding ends inside row " << y;
            unsigned count = (unsigned char)file[pos], second = (unsigned char)file[pos + 1];
            pos += 2;
            if (count == 0 && second == 0)
                break;
            EXPECT_LE(count ? count : second, 254u) << name;
            EXPECT_TRUE(count || second >= 3) << name << ": escape " << second << " in row " << y;
            unsigned bytes = count ? 0 : mode == BMP_RLE4 ? (second + 1) / 2 : second;
            pos += bytes + (bytes & 1);
            x += (int)(count ? count : second);
        }
        EXPECT_EQ(x, width) << name << " row " << y;
        EXPECT_LE(pos - start, (size_t)(4 * width / 3 + 2 * (width / 252 + 1) + 8)) << name;
    }
    EXPECT_EQ(file.substr(pos), std::string("\0\1", 2)) << name << ": end of bitmap";
}

TEST(BmpWrite, RunLengthFilesReadBackAndStayWithinBounds)
{
    SeamRecorder seams(24);
    const struct { Pattern pattern; const char* name; } patterns[] = {
        {NOISE, "noise"}, {BANDS, "bands"}, {UNIFORM, "uniform"}, {ALTERNATING, "alternating"}, {PAIRS, "pairs"}};
    for (int bits : {4, 8})
        for (const auto& p : patterns)
            for (int width : {1, 2, 3, 5, 6, 7, 9, 600}) {
                std::string name = "bmpw_rle" + std::to_string(bits) + "_" + p.name + "_w" + std::to_string(width);
                DibBlock image(make_test_image(width, 5, bits, p.pattern, (uint32_t)(width * 7 + bits), bits == 8 ? 40 : 0));
                std::string path = test_out_path(name + ".bmp");
                ASSERT_EQ(write_bmp_rle_file(path.c_str(), image.get()), 1) << name;
                std::string file = read_file_bytes(path);
                ASSERT_GT(file.size(), 54u);
                EXPECT_EQ(get_le32(file, 34), file.size() - get_le32(file, 10)) << "image size counts all data";
                check_rle_structure(file, width, 5, bits == 8 ? BMP_RLE8 : BMP_RLE4, name);
                DibBlock back(read_bmp_path(path).image);
                expect_same_pixels(image.get(), back.get(), name);
                if (width == 600 || width == 7 || width == 1)
                    write_reference(image.get(), name);
                else
                    DeleteFileA(path.c_str());
            }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(BmpWrite, BitFieldsEveryOptionReadsBack)
{
    SeamRecorder seams(24);
    const struct { int bits; int option; const char* tag; uint32_t masks[3]; int kept_bits; } cases[] = {
        {16, 0, "bf16_555", {0x7C00, 0x03E0, 0x001F}, 8},
        {16, 1, "bf16_565", {0xF800, 0x07E0, 0x001F}, 5},  // read back widened to 24 bits
        {32, 0, "bf32_888", {0xFF0000, 0xFF00, 0xFF}, 8},
        {32, 1, "bf32_1010", {0x3FF00000, 0x000FFC00, 0x000003FF}, 8},
    };
    for (const auto& c : cases)
        for (int width : {1, 13, 37}) {
            std::string name = std::string("bmpw_") + c.tag + "_w" + std::to_string(width);
            DibBlock image(make_test_image(width, 7, c.bits, NOISE, (uint32_t)(width + c.bits + c.option)));
            for (int y = 0; c.bits == 32 && y < 7; ++y)
                for (int x = 0; x < width; ++x)
                    image.row(y)[4 * x + 3] = 0;  // the fields hold no alpha
            std::string path = test_out_path(name + ".bmp");
            ASSERT_EQ(write_bmp_bitfields_file(path.c_str(), image.get(), c.option), 1) << name;
            std::string file = read_file_bytes(path);
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(get_le32(file, 54 + 4 * i), c.masks[i]) << name;
            DibBlock back(read_bmp_path(path).image);
            expect_same_pixels(image.get(), back.get(), name, c.kept_bits);
            write_reference(image.get(), name);
        }
    EXPECT_TRUE(seams.boxes.empty());
}

// ---- Refused and failing writes

typedef int (*WriterCall)(HGLOBAL image, const char* path);
int call_plain(HGLOBAL image, const char* path) { return write_bmp_file(image, path); }
int call_rle(HGLOBAL image, const char* path) { return write_bmp_rle_file(path, image); }
int call_bitfields(HGLOBAL image, const char* path) { return write_bmp_bitfields_file(path, image, 1); }

struct WriterCase { const char* name; WriterCall call; int bits; std::vector<int> refused_bits; };
const WriterCase WRITERS[] = {{"plain", call_plain, 24, {}},
                              {"rle", call_rle, 8, {1, 16, 24, 32}},
                              {"bitfields", call_bitfields, 16, {1, 4, 8, 24}}};

TEST(BmpWrite, RefusedOrFailedWritesLeaveTheTargetAlone)
{
    SeamRecorder seams(24);
    HGLOBAL broken = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40);
    std::string missing_folder = test_out_path("bmpw_no_such_folder");
    RemoveDirectoryA(missing_folder.c_str());
    for (const WriterCase& w : WRITERS) {
        std::string path = test_out_path(std::string("bmpw_target_") + w.name + ".bmp");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        const std::string old(100000, 'x');
        ASSERT_TRUE(write_file_bytes(path, old));
        int temps_before = temp_files_in(path);
        for (int bits : w.refused_bits) {
            DibBlock image(make_test_image(4, 2, bits, NOISE, 3));
            EXPECT_EQ(w.call(image.get(), path.c_str()), 0) << w.name << " " << bits;
        }
        EXPECT_EQ(w.call(broken, path.c_str()), 0) << w.name;
        DibBlock image(make_test_image(5, 3, w.bits, NOISE, 11));
        EXPECT_EQ(w.call(image.get(), (missing_folder + "\\out.bmp").c_str()), 0) << w.name;
        EXPECT_EQ(GetFileAttributesA(missing_folder.c_str()), INVALID_FILE_ATTRIBUTES) << w.name;
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(w.call(image.get(), path.c_str()), 0) << w.name;
        EXPECT_EQ(read_file_bytes(path), old) << w.name;
        // A longer old file is replaced whole once the new one is complete.
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(w.call(image.get(), path.c_str()), 1) << w.name;
        EXPECT_EQ(get_le32(read_file_bytes(path), 2), read_file_bytes(path).size()) << "old tail gone";
        EXPECT_EQ(temp_files_in(path), temps_before) << "temporary files removed";
        DeleteFileA(path.c_str());
    }
    GlobalFree(broken);
}

// A failed commit: the read-only target in RefusedOrFailedWrites.
TEST(SafeWrite, AbortLeavesTargetAndNoTemporaryFile)
{
    std::string path = test_out_path("safe_write_target.bin");
    ASSERT_TRUE(write_file_bytes(path, "keep"));
    int temps_before = temp_files_in(path);
    SafeWrite sw;
    FILE* fp = safe_write_open(&sw, path.c_str());
    ASSERT_TRUE(fp);
    fputs("new content", fp);
    safe_write_abort(&sw);
    EXPECT_EQ(read_file_bytes(path), "keep");
    EXPECT_EQ(temp_files_in(path), temps_before);
}

// A temporary file whose stream is no longer open when the write ends: a
// library that wrote it by name and closed it (the TIFF writer, the EMF
// copy) moves it into place with safe_write_commit_closed; a plain commit
// of such a file, like an abort, leaves neither it nor a changed target.
TEST(SafeWrite, FileClosedByItsWriterIsMovedOrDeletedNeverLeft)
{
    const struct {
        const char* name;
        bool closed_commit;
        const char* expected;
    } CASES[] = {
        {"commit_closed", true, "written by name"},
        {"commit_without_stream", false, "keep"},
    };
    for (const auto& c : CASES) {
        std::string path = test_out_path(std::string("safe_write_") + c.name + ".bin");
        ASSERT_TRUE(write_file_bytes(path, "keep"));
        int temps_before = temp_files_in(path);
        SafeWrite sw;
        ASSERT_TRUE(safe_write_open(&sw, path.c_str()));
        fclose(sw.fp);
        sw.fp = NULL;
        ASSERT_TRUE(write_file_bytes(sw.temp_path, "written by name"));
        EXPECT_EQ(c.closed_commit ? safe_write_commit_closed(&sw) : safe_write_commit(&sw), c.closed_commit ? 1 : 0)
            << c.name;
        EXPECT_EQ(read_file_bytes(path), c.expected) << c.name;
        EXPECT_EQ(temp_files_in(path), temps_before) << c.name;
    }
}

}  // namespace
