// The JPEG writers and the Exif insertion; check_jpeg.sh reads the written
// files with djpeg, ImageMagick and exiftool.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <cstring>

#include "formats/format_test_util.h"
#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/temp_file.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_test_util.h"
#include "jpeg/jpeg_write.h"
#include "support/seam_recorder.h"

namespace {

struct JpegWriteTest : ::testing::Test {
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        g_imageKind = KIND_DIB;
    }
    SeamRecorder seams;
};

HGLOBAL load_source()
{
    return pnm_to_dib(read_pnm_file(jpeg_fixture("src.ppm")));
}

// Markers of the file up to and including the first SOS.
std::vector<int> marker_sequence(const std::string& jpeg)
{
    std::vector<int> markers = {(uint8_t)jpeg[1]};
    for (size_t pos = 2; pos + 4 <= jpeg.size(); pos += 2 + ((uint8_t)jpeg[pos + 2] << 8 | (uint8_t)jpeg[pos + 3])) {
        markers.push_back((uint8_t)jpeg[pos + 1]);
        if (markers.back() == 0xDA)
            break;
    }
    return markers;
}

// Lossy files are exactly what cjpeg makes with the same settings, lossless
// ones the table's colours; grey tables give one component.
TEST_F(JpegWriteTest, WrittenFilesReadBackAndOutputsForTheCheckScript)
{
    HGLOBAL hSrc = load_source();
    std::vector<RGBQUAD> almost = grey_ramp(256, 1), colours;
    almost[77].rgbBlue = 78;
    for (int i = 0; i < 16; ++i)
        colours.push_back(quad((BYTE)(i * 5), (BYTE)(255 - i * 9), (BYTE)(i * 16)));
    struct Case {
        const char* name;
        HGLOBAL source;
        int progressive, lossless;
        const char* reference;  // NULL: the source itself
        const char* components;
    } cases[] = {
        {"w_baseline", hSrc, 0, 0, "ref_q85.pnm", "3"},
        {"w_baseline_32", expand_dib_to_bgra32(hSrc, 0, 0, 0), 0, 0, "ref_q85.pnm", "3"},
        {"w_baseline_grey", pnm_to_dib(read_pnm_file(jpeg_fixture("src.pgm"))), 0, 0, "ref_q85_grey.pnm", "1"},
        {"w_progressive", hSrc, 1, 0, "ref_q85_progressive.pnm", "3"},
        {"w_lossless", hSrc, 0, 1, NULL, "3"},
        {"w_progressive_lossless", hSrc, 1, 1, "ref_q85_progressive.pnm", "3"},
        {"w_grey8", make_pattern(21, 13, 8, grey_ramp(256, 1)), 0, 1, NULL, "1"},
        {"w_almost_grey8", make_pattern(21, 13, 8, almost), 0, 1, NULL, "3"},
        {"w_bw1", make_pattern(21, 13, 1, {quad(0, 0, 0), quad(255, 255, 255)}), 0, 1, NULL, "1"},
        {"w_odd_width4", make_pattern(13, 5, 4, colours), 0, 1, NULL, "3"},
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
        PnmImage expected = c.reference ? read_pnm_file(jpeg_fixture(c.reference)) : dib_to_pnm(c.source);
        EXPECT_EQ(max_difference(back, expected), 0) << c.name;
        EXPECT_EQ(g_jpegProgressive, c.progressive) << c.name;
        EXPECT_EQ(g_jpegLossless, c.lossless && !c.progressive ? 1 : 0) << c.name;
        EXPECT_EQ(std::string(info).rfind("image type: Exif JPEG ", 0), 0u) << c.name;
        EXPECT_NE(std::string(info).find(std::string("color components: ") + c.components), std::string::npos)
            << c.name;
        if (c.source != hSrc)
            GlobalFree(c.source);
    }
    GlobalFree(hSrc);
    EXPECT_TRUE(seams.boxes.empty());
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

TEST_F(JpegWriteTest, FailuresLeaveNoFileAndNoTemporaryFile)
{
    HGLOBAL hSrc = load_source(), hBad = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40);
    std::string missing = test_out_path("no such folder/out.jpg"), keep = write_out("keep.jpg", "old contents");
    for (auto write : {write_jpeg_file, write_jpeg12_file}) {
        EXPECT_EQ(write(missing.c_str(), 85, hSrc, 0, 0, 0), 0);
        // an image the writers cannot take leaves an existing file as it was
        EXPECT_EQ(write(keep.c_str(), 85, hBad, 0, 0, 0), 0);
    }
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file_bytes(keep), "old contents");
    GlobalFree(hBad);
    GlobalFree(hSrc);
    EXPECT_EQ(temp_file_names_in_use(), 0);
    EXPECT_EQ(temp_files_in(test_out_path("")), 0);
}

// Lossless is bit-exact; progressive scans end with one scan's coefficients.
TEST_F(JpegWriteTest, TwelveBitRoundTrips)
{
    HGLOBAL hSrc = load_source();
    const struct {
        const char* name;
        int quality, progressive, lossless;
    } cases[] = {{"w12_lossless", 85, 0, 1}, {"w12_progressive_lossless", 85, 1, 1},
                 {"w12_q95", 95, 0, 0}, {"w12_progressive", 95, 1, 0}};
    PnmImage expected = dib_to_pnm(hSrc);
    for (const auto& c : cases) {
        std::string path = test_out_path(std::string(c.name) + ".jpg");
        EXPECT_EQ(write_jpeg12_file(path.c_str(), c.quality, hSrc, c.progressive, c.lossless, 0), 1) << c.name;
        EXPECT_EQ(get_jpeg_precision(path.c_str()), 12) << c.name;
        EXPECT_EQ(is_exif_jpeg(path.c_str()), 0) << c.name;
        char info[INFO_TEXT_SIZE] = "";
        HGLOBAL hBack = read_jpeg12_file(path.c_str(), info);
        ASSERT_NE(hBack, nullptr) << c.name;
        PnmImage back = dib_to_pnm(hBack);
        GlobalFree(hBack);
        if (strcmp(c.name, "w12_q95"))
            EXPECT_EQ(max_difference(back, expected), 0) << c.name;
        else
            expected = back;
        EXPECT_NE(std::string(info).find("bits in sample: 12"), std::string::npos) << c.name;
        EXPECT_EQ(g_jpegLossless, c.lossless) << c.name;
        EXPECT_EQ(g_jpegProgressive, c.progressive && !c.lossless ? 1 : 0) << c.name;
    }
    GlobalFree(hSrc);
}

// An old Exif is replaced, COM and DRI stay before the merged tables; corrupt
// segments, or a picture no segment can be made of, leave the target alone.
TEST_F(JpegWriteTest, InsertionOrdersSegmentsOrLeavesTheTargetAlone)
{
    std::string jpeg = read_file_bytes(jpeg_fixture("baseline.jpg"));
    ASSERT_EQ(marker_sequence(jpeg), (std::vector<int>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));
    size_t dqt = find_marker(jpeg, 0xDB);
    std::string short_length = jpeg, past_end = jpeg;
    short_length.replace(dqt + 2, 2, std::string("\0\x01", 2));
    past_end.replace(dqt + 2, 2, "\xFF\xF0");
    const struct {
        std::string source;
        std::vector<int> markers;  // empty: refused
        bool top_down = false;     // a picture no segment is made of
    } cases[] = {
        {jpeg, {0xD8, 0xE0, 0xE1, 0xDB, 0xC4, 0xC0, 0xDA}},
        {with_segments_after_soi(jpeg, segment(0xE1, std::string("Exif\0\0old", 9)) + segment(0xFE, "c")),
         {0xD8, 0xE1, 0xFE, 0xE0, 0xDB, 0xC4, 0xC0, 0xDA}},
        {read_file_bytes(fixture_path("jpegtran/restart.jpg")), {0xD8, 0xE0, 0xE1, 0xDD, 0xDB, 0xC4, 0xC0, 0xDA}},
        {short_length, {}},
        {past_end, {}},
        {jpeg.substr(0, find_marker(jpeg, 0xDA)), {}},
        {std::string("\xFF\xD8", 2), {}},
        {jpeg, {}, true},
    };
    std::string in = test_out_path("insert_src.jpg"), out = test_out_path("w_inserted.jpg");
    for (const auto& c : cases) {
        write_file_bytes(in, c.source);
        write_file_bytes(out, "keep me");
        HGLOBAL hDib = create_dib24(40, 30);
        if (c.top_down) {
            BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
            bih->biHeight = -bih->biHeight;
            GlobalUnlock(hDib);
        }
        FILE* fp = fopen(in.c_str(), "rb");
        EXPECT_EQ(insert_exif_segment(fp, out.c_str(), hDib, 6, 0), c.markers.empty() ? 0 : 1);
        fclose(fp);
        GlobalFree(hDib);
        std::string written = read_file_bytes(out);
        if (c.markers.empty())
            EXPECT_EQ(written, "keep me");
        else
            EXPECT_EQ(marker_sequence(written), c.markers);
        EXPECT_EQ(written.find("old"), std::string::npos);
        if (&c == &cases[0])  // the picture itself is unchanged
            EXPECT_EQ(max_difference(decode_jpeg(out), decode_jpeg(jpeg_fixture("baseline.jpg"))), 0);
    }
    EXPECT_EQ(temp_files_in(test_out_path("")), 0);
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

}  // namespace
