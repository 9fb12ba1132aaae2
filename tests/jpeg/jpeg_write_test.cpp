// The JPEG writers and the Exif segment: round trips through the readers
// (lossless ones bit-exact), the layout of the written segment, the order of
// segments after insertion, and failures that must leave files alone. The
// files written here are checked with djpeg, ImageMagick and exiftool by
// check_jpeg.sh.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/temp_file.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "formats/format_test_util.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"
#include "support/seam_recorder.h"

namespace {

std::string fixture(const std::string& name)
{
    return fixture_path("jpeg/" + name);
}

struct JpegWriteTest : ::testing::Test {
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        g_imageKind = KIND_DIB;
    }
};

HGLOBAL load_source()
{
    PnmImage src = read_pnm_file(fixture("src.ppm"));
    EXPECT_FALSE(src.empty());
    return pnm_to_dib(src);
}

uint16_t be16(const std::string& s, size_t at)
{
    return (uint16_t)((uint8_t)s[at] << 8 | (uint8_t)s[at + 1]);
}

// Markers of the file up to and including the first SOS.
std::vector<int> marker_sequence(const std::string& jpeg)
{
    std::vector<int> markers = {(uint8_t)jpeg[1]};
    size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        int marker = (uint8_t)jpeg[pos + 1];
        markers.push_back(marker);
        if (marker == 0xDA)
            break;
        pos += 2 + be16(jpeg, pos + 2);
    }
    return markers;
}

}  // namespace

// ---------------------------------------------------------------------------
// 8-bit writer

TEST_F(JpegWriteTest, BaselineRoundTripAndOutputsForTheCheckScript)
{
    SeamRecorder seams;
    HGLOBAL hSrc = load_source();
    // 24- and 32-bit rows go to the library as they lie, grey ones are
    // converted: each must give what cjpeg makes of the same picture with
    // the same library and settings, exactly.
    HGLOBAL h32 = expand_dib_to_bgra32(hSrc, 0, 0, 0);
    HGLOBAL hGrey = pnm_to_dib(read_pnm_file(fixture("src.pgm")));
    struct Case {
        const char* name;
        HGLOBAL source;
        int progressive, lossless;
        const char* reference;
    } cases[] = {
        {"w_baseline", hSrc, 0, 0, "ref_q85.pnm"},
        {"w_baseline_32", h32, 0, 0, "ref_q85.pnm"},
        {"w_baseline_grey", hGrey, 0, 0, "ref_q85_grey.pnm"},
        {"w_progressive", hSrc, 1, 0, "ref_q85_progressive.pnm"},
        {"w_lossless", hSrc, 0, 1, NULL},
        {"w_progressive_lossless", hSrc, 1, 1, "ref_q85_progressive.pnm"},
    };
    for (const Case& c : cases) {
        std::string path = test_out_path(std::string(c.name) + ".jpg");
        ASSERT_EQ(write_jpeg_file(path.c_str(), 85, c.source, c.progressive, c.lossless, 1), 1) << c.name;
        char info[INFO_TEXT_SIZE] = "";
        HGLOBAL hBack = read_jpeg_file(path.c_str(), info);
        ASSERT_NE(hBack, nullptr) << c.name;
        PnmImage back = dib_to_pnm(hBack);
        GlobalFree(hBack);
        // What our reader saw, for check_jpeg.sh to compare with djpeg.
        write_pnm_file(test_out_path(std::string(c.name) + ".ppm"), back);
        PnmImage expected = c.reference ? read_pnm_file(fixture(c.reference)) : dib_to_pnm(hSrc);
        EXPECT_EQ(max_difference(back, expected), 0) << c.name;
        EXPECT_EQ(g_jpegProgressive, c.progressive) << c.name;
        EXPECT_EQ(g_jpegLossless, c.lossless && !c.progressive ? 1 : 0) << c.name;
        EXPECT_EQ(std::string(info).rfind("image type: Exif JPEG ", 0), 0u) << c.name;
    }
    for (HGLOBAL h : {hSrc, h32, hGrey})
        GlobalFree(h);
    EXPECT_TRUE(seams.boxes.empty());
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

// Lossless files keep the table's colours exactly; grey tables give one
// component (check_jpeg.sh reads the colour space).
TEST_F(JpegWriteTest, LosslessPaletteImagesComeBackExactly)
{
    std::vector<RGBQUAD> ramp = grey_ramp(256, 1), almost = grey_ramp(256, 1), colours;
    almost[77].rgbBlue = 78;
    for (int i = 0; i < 16; ++i)
        colours.push_back(RGBQUAD{(BYTE)(i * 16), (BYTE)(255 - i * 9), (BYTE)(i * 5), 0});
    struct Case {
        const char* name;
        HGLOBAL hDib;
        int components;
    } cases[] = {
        {"w_grey8", make_pattern(21, 13, 8, ramp), 1},
        {"w_almost_grey8", make_pattern(21, 13, 8, almost), 3},
        {"w_bw1", make_pattern(21, 13, 1, {quad(0, 0, 0), quad(255, 255, 255)}), 1},
        {"w_odd_width4", make_pattern(13, 5, 4, colours), 3},
    };
    for (const Case& c : cases) {
        std::string path = test_out_path(std::string(c.name) + ".jpg");
        ASSERT_EQ(write_jpeg_file(path.c_str(), 85, c.hDib, 0, 1, 0), 1) << c.name;
        char info[INFO_TEXT_SIZE] = "";
        HGLOBAL hBack = read_jpeg_file(path.c_str(), info);
        ASSERT_NE(hBack, nullptr);
        EXPECT_NE(std::string(info).find("color components: " + std::to_string(c.components)),
                  std::string::npos) << c.name;
        EXPECT_EQ(max_difference(dib_to_pnm(hBack, 3), dib_to_pnm(c.hDib, 3)), 0) << c.name;
        GlobalFree(hBack);
        GlobalFree(c.hDib);
    }
}

TEST_F(JpegWriteTest, FailuresLeaveNoFileAndNoTemporaryFile)
{
    SeamRecorder seams;
    HGLOBAL hSrc = load_source();
    std::string missing = test_out_path("no such folder/out.jpg");
    EXPECT_EQ(write_jpeg_file(missing.c_str(), 85, hSrc, 0, 0, 0), 0);
    EXPECT_EQ(write_jpeg12_file(missing.c_str(), 85, hSrc, 0, 0, 0), 0);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);

    // An image the writers cannot take leaves an existing file as it was.
    std::string keep = test_out_path("keep.jpg");
    ASSERT_TRUE(write_file_bytes(keep, "old contents"));
    HGLOBAL hBad = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40);
    EXPECT_EQ(write_jpeg_file(keep.c_str(), 85, hBad, 0, 0, 0), 0);
    EXPECT_EQ(write_jpeg12_file(keep.c_str(), 85, hBad, 0, 0, 0), 0);
    EXPECT_EQ(read_file_bytes(keep), "old contents");
    GlobalFree(hBad);
    GlobalFree(hSrc);
    EXPECT_EQ(temp_file_names_in_use(), 0);
    EXPECT_EQ(temp_files_in(test_out_path("")), 0);
}

// ---------------------------------------------------------------------------
// 12-bit writer and reader

// Decodes a 12-bit file written from the image with those options.
static PnmImage write_read_12(HGLOBAL hDib, const char* name, int quality, int progressive, int lossless)
{
    std::string path = test_out_path(std::string(name) + ".jpg");
    EXPECT_EQ(write_jpeg12_file(path.c_str(), quality, hDib, progressive, lossless, 0), 1) << name;
    EXPECT_EQ(get_jpeg_precision(path.c_str()), 12) << name;
    EXPECT_EQ(is_exif_jpeg(path.c_str()), 0) << name;
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL hBack = read_jpeg12_file(path.c_str(), info);
    EXPECT_NE(hBack, nullptr) << name;
    EXPECT_NE(std::string(info).find("bits in sample: 12"), std::string::npos) << name;
    EXPECT_EQ(g_jpegLossless, lossless) << name;
    EXPECT_EQ(g_jpegProgressive, progressive && !lossless ? 1 : 0) << name;
    PnmImage back = hBack ? dib_to_pnm(hBack) : PnmImage();
    if (hBack)
        GlobalFree(hBack);
    return back;
}

TEST_F(JpegWriteTest, TwelveBitRoundTrips)
{
    HGLOBAL hSrc = load_source();
    PnmImage src = dib_to_pnm(hSrc);
    // Lossless, also when progressive is asked too: bit-exact.
    EXPECT_EQ(max_difference(write_read_12(hSrc, "w12_lossless", 85, 0, 1), src), 0);
    EXPECT_EQ(max_difference(write_read_12(hSrc, "w12_progressive_lossless", 85, 1, 1), src), 0);
    // Progressive scans end with the same coefficients as one scan.
    PnmImage sequential = write_read_12(hSrc, "w12_q95", 95, 0, 0);
    EXPECT_EQ(max_difference(write_read_12(hSrc, "w12_progressive", 95, 1, 0), sequential), 0);
    GlobalFree(hSrc);
}

// ---------------------------------------------------------------------------
// Exif segment and insertion

namespace {

std::string segment(int marker, const std::string& data)
{
    size_t length = data.size() + 2;
    return std::string{'\xFF', (char)marker, (char)(length >> 8), (char)(length & 0xFF)} + data;
}

// Inserts into source bytes; returns the result and the function's answer.
std::string insert_into(const std::string& source, int* result, int color_code = 6)
{
    std::string in = test_out_path("insert_src.jpg"), out = test_out_path("insert_out.jpg");
    write_file_bytes(in, source);
    DeleteFileA(out.c_str());
    HGLOBAL hDib = create_dib24(40, 30);
    FILE* fp = fopen(in.c_str(), "rb");
    *result = insert_exif_segment(fp, out.c_str(), hDib, color_code, 0);
    fclose(fp);
    GlobalFree(hDib);
    return read_file_bytes(out);
}

}  // namespace

TEST_F(JpegWriteTest, InsertionOrdersSegments)
{
    std::string jpeg = read_file_bytes(fixture("baseline.jpg"));
    ASSERT_EQ(marker_sequence(jpeg),
              (std::vector<int>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));
    int result = 0;
    std::string out = insert_into(jpeg, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(marker_sequence(out), (std::vector<int>{0xD8, 0xE0, 0xE1, 0xDB, 0xC4, 0xC0, 0xDA}));
    // The picture itself is unchanged.
    std::string path = test_out_path("w_inserted.jpg");
    write_file_bytes(path, out);
    HGLOBAL a = read_jpeg_file(fixture("baseline.jpg").c_str(), NULL), b = read_jpeg_file(path.c_str(), NULL);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(max_difference(dib_to_pnm(a), dib_to_pnm(b)), 0);
    GlobalFree(a);
    GlobalFree(b);

    // An old Exif first: replaced right after SOI; a later APP0 stays behind
    // the new one; COM and DRI stay before the merged tables.
    std::string old_exif = segment(0xE1, std::string("Exif\0\0old", 9));
    std::string body = jpeg.substr(2);
    std::string source = jpeg.substr(0, 2) + old_exif + segment(0xFE, "c") + body;
    out = insert_into(source, &result);
    EXPECT_EQ(marker_sequence(out),
              (std::vector<int>{0xD8, 0xE1, 0xFE, 0xE0, 0xDB, 0xC4, 0xC0, 0xDA}));
    EXPECT_EQ(out.find("old"), std::string::npos);

    std::string restart = read_file_bytes(fixture("restart.jpg"));
    out = insert_into(restart, &result);
    std::vector<int> markers = marker_sequence(out);
    EXPECT_NE(std::find(markers.begin(), markers.end(), 0xDD), markers.end());
    EXPECT_EQ(markers.back(), 0xDA);

}

TEST_F(JpegWriteTest, InsertionRefusesCorruptSegmentsAndLeavesTargetAlone)
{
    std::string jpeg = read_file_bytes(fixture("baseline.jpg"));
    size_t dqt = 2 + 2 + be16(jpeg, 4);  // after SOI and APP0
    ASSERT_EQ((uint8_t)jpeg[dqt + 1], 0xDB);
    std::string short_length = jpeg, past_end = jpeg;
    short_length[dqt + 2] = 0;
    short_length[dqt + 3] = 1;
    past_end[dqt + 2] = (char)0xFF;
    past_end[dqt + 3] = (char)0xF0;
    std::string no_sos = jpeg.substr(0, jpeg.find(std::string("\xFF\xDA", 2)));
    for (const std::string& bad : {short_length, past_end, no_sos, std::string("\xFF\xD8", 2)}) {
        std::string in = test_out_path("insert_bad.jpg"), out = test_out_path("insert_keep.jpg");
        write_file_bytes(in, bad);
        write_file_bytes(out, "keep me");
        HGLOBAL hDib = create_dib24(8, 8);
        FILE* fp = fopen(in.c_str(), "rb");
        EXPECT_EQ(insert_exif_segment(fp, out.c_str(), hDib, 6, 0), 0);
        fclose(fp);
        GlobalFree(hDib);
        EXPECT_EQ(read_file_bytes(out), "keep me");
    }
    EXPECT_EQ(temp_files_in(test_out_path("")), 0);
    EXPECT_EQ(temp_file_names_in_use(), 0);
}
