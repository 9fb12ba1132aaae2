// The JPEG roads against files whose claims their data cannot fill
// (tests/fixtures/make_hostile_jpeg.sh): each refuses before the memory is
// taken, with its own message, and a file that really holds a huge
// picture in a few bytes still opens (tests/fixtures/make_ceiling.sh).
#include <string>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/open_windows.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_test_util.h"
#include "support/dib_block.h"
#include "support/peak_memory.h"
#include "support/seam_recorder.h"

namespace {

struct Road {
    const char* name;
    HGLOBAL (*read)(const std::string& path);
};

HGLOBAL read_alone(const std::string& path)
{
    return get_jpeg_precision(path.c_str()) == 8 ? read_jpeg_file(path.c_str(), NULL)
                                                 : read_jpeg12_file(path.c_str(), NULL);
}

HGLOBAL read_by_merge_loader(const std::string& path)
{
    return load_image_file(path.c_str());
}

// Called by a batch command with no road's ceiling, and by the merge
// loader inside one; lossless and arithmetic files were not bounded at all.
const Road ROADS[] = {{"reader alone", read_alone}, {"merge loader", read_by_merge_loader}};

TEST(JpegCeiling, ClaimsTheDataCannotFillAreRefusedWithinItsBytes)
{
    g_hInstance = GetModuleHandleA(NULL);
    const char* const FILES[] = {
        "JPEG-lossless-claims-huge.jpg",
        "JPEG12-lossless-4-components-claims-huge.jpg",
        "JPEG-arithmetic-cut-claims-huge.jpg",
        "JPEG-arithmetic-progressive-cut-claims-huge.jpg",
        // The end marker is a second image's, which the library refuses
        // only after the first frame's memory is taken.
        "JPEG-arithmetic-cut-then-second-frame-claims-huge.jpg",
        "JPEG-arithmetic-cut-then-second-image-claims-huge.jpg",
        "JPEG-arithmetic-scan-after-every-component-claims-huge.jpg",
        "EXIF-thumbnail-past-segment-claims-huge.jpg",
    };
    for (const Road& road : ROADS) {
        for (const char* file : FILES) {
            SCOPED_TRACE(std::string(road.name) + ": " + file);
            SeamRecorder seams(32);
            PeakMemoryWatch watch;
            ASSERT_TRUE(watch.works());
            EXPECT_EQ(nullptr, DibBlock(road.read(fixture_path(std::string("hostile/") + file))).get());
            EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
            ASSERT_EQ(1u, seams.boxes.size());
            EXPECT_EQ("Memory Allocation Error", seams.boxes[0].text);
        }
    }
}

// 9000 x 9000 flat grey in 125 bytes of arithmetic-coded data that lasts to
// its end marker: no ratio bounds it, and it opens on every road; as does
// 3000 x 3000 in 140 bytes coded progressively, its DC coefficients in one
// scan and its AC ones in a second.
TEST(JpegCeiling, FlatArithmeticPictureInAFewBytesStillOpens)
{
    const struct {
        const char* file;
        int side;
    } FILES[] = {{"ceiling/flat_arithmetic.jpg", 9000}, {"ceiling/flat_arithmetic_progressive.jpg", 3000}};
    for (const Road& road : ROADS) {
        for (const auto& f : FILES) {
            SCOPED_TRACE(std::string(road.name) + ": " + f.file);
            SeamRecorder seams;
            DibBlock image(road.read(fixture_path(f.file)));
            ASSERT_NE(nullptr, image.get());
            EXPECT_EQ(f.side, image.bih->biWidth);
            EXPECT_EQ(f.side, image.bih->biHeight);
            EXPECT_EQ(128, image.row(f.side / 2)[f.side / 2]);
            EXPECT_EQ(128, image.row(0)[f.side - 1]);
            EXPECT_TRUE(seams.boxes.empty());
        }
    }
}

// The thumbnail is a read inside a read: its own bytes bound it, a whole
// arithmetic-coded one is lifted no further than its file's bytes allow,
// and a refusal leaves no thumbnail.
TEST(JpegCeiling, ExifThumbnailIsBoundByItsOwnBytes)
{
    for (const char* file : {"EXIF-arithmetic-thumbnail-claims-huge.jpg",
                             "EXIF-whole-arithmetic-thumbnail-past-its-file.jpg"}) {
        SCOPED_TRACE(file);
        SeamRecorder seams(32);
        PeakMemoryWatch watch;
        ASSERT_TRUE(watch.works());
        load_exif_thumbnail(fixture_path(std::string("hostile/") + file).c_str());
        EXPECT_EQ(nullptr, g_hExifThumbnail);
        EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("Memory Allocation Error", seams.boxes[0].text);
    }
}

// 4-byte segments from offset 2 put a segment's head across the end of the
// walk's read window; one shorter than its own length field ends the walk.
TEST(JpegProbe, WalksSegmentsAcrossItsReadWindow)
{
    std::string comments;
    for (int i = 0; i < 40000; ++i)
        comments += std::string("\xFF\xFE\x00\x02", 4);
    const std::string frame12 = segment(0xC1, std::string("\x0C\x00\x10\x00\x10\x01\x01\x11\x00", 9));
    const struct {
        const char* name;
        std::string bytes;
        int precision;
    } CASES[] = {
        {"probe_window.jpg", "\xFF\xD8" + comments + frame12, 12},
        {"probe_zero_length.jpg", "\xFF\xD8" + comments + std::string("\xFF\xE0\x00\x00", 4) + frame12, 8},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(c.precision, get_jpeg_precision(write_out(c.name, c.bytes).c_str())) << c.name;
    EXPECT_EQ(8, get_jpeg_precision(fixture_path("hostile/JPEG-zero-length-segments.jpg").c_str()));
}

}  // namespace
