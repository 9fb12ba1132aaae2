// The in-place rewrites of JPEG files: comments against wrjpgcom's own
// replacement byte for byte, the Exif orientation read and rewritten on
// exiftool's files, the Exif segment removed, and broken or read-only files
// left as they were. check_exif.sh reads the written files with exiftool,
// rdjpgcom and djpeg.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jpeg/exif_read.h"
#include "jpeg/jpeg_comment.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

std::string fixture(const std::string& name)
{
    return read_file_bytes(fixture_path("exif/" + name));
}

// Copies a fixture (or given bytes) into the test-out folder; its path.
std::string place(const std::string& name, const std::string& bytes)
{
    std::string path = test_out_path(name);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(write_file_bytes(path, bytes));
    return path;
}

HGLOBAL make_text(const std::string& text)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(h), text.c_str(), text.size() + 1);
    GlobalUnlock(h);
    return h;
}

int orientation_of(const std::string& path)
{
    FILE* fp = fopen(path.c_str(), "rb");
    int orientation = read_exif_orientation(fp);
    fclose(fp);
    return orientation;
}

// Positions at which two files of the same length differ.
std::vector<size_t> differences(const std::string& a, const std::string& b)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i])
            at.push_back(i);
    return at;
}

TEST(JpegComment, ReplacesCommentsAsWrjpgcomDoes)
{
    struct Case {
        const char* written;
        const char* text;
        const char* reference;
    } cases[] = {
        {"comment_ten.jpg", "Ten chars!", "mix_ten.jpg"},
        {"comment_none.jpg", "", "mix_none.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        std::string path = place(c.written, fixture("mix.jpg"));
        HGLOBAL text = make_text(c.text);
        EXPECT_EQ(write_jpeg_comment(path.c_str(), &text, 0), 1);
        EXPECT_EQ(read_file_bytes(path), fixture(c.reference));
        GlobalFree(text);
    }
}

TEST(JpegComment, BrokenFilesStayAsTheyWere)
{
    std::string good = fixture("mix.jpg");
    size_t frame = good.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    std::string bad_length = good, early_scan = good;
    bad_length[5] = 1;  // APP0 length 1
    early_scan[frame + 1] = (char)0xDA;
    const std::string cases[] = {
        "GIF89a" + good.substr(6), bad_length, early_scan, good.substr(0, frame - 3),
    };
    SeamRecorder recorder;
    for (const std::string& bytes : cases) {
        std::string path = place("comment_broken.jpg", bytes);
        HGLOBAL text = make_text("new");
        EXPECT_EQ(write_jpeg_comment(path.c_str(), &text, 0), 0);
        EXPECT_EQ(read_file_bytes(path), bytes);
        GlobalFree(text);
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST(JpegComment, ReadOnlyFileReportsAndReleasesTheTextUnlessKept)
{
    std::string path = place("comment_readonly.jpg", fixture("mix.jpg"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    SeamRecorder recorder;
    for (int keep = 0; keep < 2; ++keep) {
        HGLOBAL text = make_text("new");
        EXPECT_EQ(write_jpeg_comment(path.c_str(), &text, keep), 0);
        EXPECT_EQ(text != NULL, keep == 1);
        if (text)
            GlobalFree(text);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_file_bytes(path), fixture("mix.jpg"));
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text, "Cannot Open File for Writing.");
    EXPECT_EQ(recorder.boxes[0].caption, path);
}

TEST(ExifOrientation, ReadsBothByteOrdersAndRefusesOtherFiles)
{
    struct Case {
        const char* name;
        int orientation;
        bool not_exif;
    } cases[] = {
        {"mix.jpg", 6, false}, {"intel.jpg", 3, false},
        {"plain.jpg", 0, true}, {"xmp.jpg", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SeamRecorder recorder;
        EXPECT_EQ(orientation_of(fixture_path(std::string("exif/") + c.name)), c.orientation);
        EXPECT_EQ(g_exifOrientation, c.orientation);
        ASSERT_EQ(recorder.boxes.size(), c.not_exif ? 1u : 0u);
        if (c.not_exif) {
            EXPECT_EQ(recorder.boxes[0].text, "Not Exif");
        }
    }
}

// The picture shown turns with the pixels: a turn commutes with a turn, a
// mirror of a turned picture turns the other way. check_jpegtran.sh checks
// the same with ImageMagick's -auto-orient.
TEST(ExifOrientation, ComposesSoThatTheShownPictureTurnsWithThePixels)
{
    const int cases[][3] = {
        {1, 7, 1}, {1, 6, 1}, {6, 6, 6}, {6, 5, 8}, {6, 2, 8}, {2, 6, 4}, {5, 6, 7},
        {0, 1, 0}, {9, 1, 0}, {1, 0, 0}, {1, 9, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compose_exif_orientation(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

// The written files are read by exiftool in check_exif.sh.
TEST(ExifOrientation, RewritesOnlyTheOrientationValue)
{
    struct Case {
        const char* source;
        const char* written;
        size_t changed_bytes;
    } cases[] = {
        {"mix.jpg", "orientation_mm.jpg", 1},
        {"intel.jpg", "orientation_ii.jpg", 1},
        {"xmp.jpg", "orientation_xmp.jpg", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        std::string before = fixture(c.source);
        std::string path = place(c.written, before);
        SeamRecorder recorder;
        write_exif_orientation(path.c_str(), 8);
        std::string after = read_file_bytes(path);
        ASSERT_EQ(after.size(), before.size());
        std::vector<size_t> changed = differences(before, after);
        EXPECT_EQ(changed.size(), c.changed_bytes);
        EXPECT_TRUE(recorder.boxes.empty());
    }
    std::string path = test_out_path("orientation_ii.jpg");
    std::string bytes = read_file_bytes(path);
    EXPECT_NE(bytes.find(std::string("\x12\x01\x03\x00\x01\x00\x00\x00\x08\x00", 10)),
              std::string::npos);
}

// Truncations anywhere in the Exif segment, a directory past its end, an
// entry count past it and a segment too short for its directory: no crash,
// and the rewrite leaves every such file exactly as it was but the one
// whose real entry can still be found.
TEST(ExifOrientation, MalformedSegmentsChangeNothing)
{
    struct Case {
        std::string bytes;
        int found;
    };
    std::string good = fixture("intel.jpg");
    size_t tiff = good.find("Exif") + 6;
    std::vector<Case> cases;
    for (size_t cut = 4; cut < tiff + 200; cut += 3)
        cases.push_back({good.substr(0, cut), -1});
    std::string past_end = good, many = good, short_ifd = good;
    past_end[tiff + 4] = past_end[tiff + 5] = past_end[tiff + 6] = past_end[tiff + 7] = (char)0xFF;
    many[tiff + 8] = many[tiff + 9] = (char)0xFF;
    short_ifd[tiff - 8] = 0;
    short_ifd[tiff - 7] = 14;
    cases.push_back({past_end, 1});
    cases.push_back({short_ifd, 1});
    SeamRecorder recorder;
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string path = place("orientation_broken.jpg", cases[i].bytes);
        int found = orientation_of(path);
        if (cases[i].found >= 0) {
            EXPECT_EQ(found, cases[i].found) << i;
        }
        write_exif_orientation(path.c_str(), 8);
        EXPECT_EQ(read_file_bytes(path), cases[i].bytes) << i;
    }
    std::string path = place("orientation_many.jpg", many);
    EXPECT_EQ(orientation_of(path), 3);
    write_exif_orientation(path.c_str(), 8);
    EXPECT_EQ(orientation_of(path), 8);
}

TEST(ExifSegment, StripsTheSegmentOrSaysItIsMissing)
{
    std::string stripped = place("stripped.jpg", fixture("mix.jpg"));
    std::string plain = place("strip_plain.jpg", fixture("plain.jpg"));
    SeamRecorder recorder;
    strip_exif_segment(stripped.c_str());
    EXPECT_EQ(read_file_bytes(stripped).find("Exif"), std::string::npos);
    EXPECT_TRUE(recorder.boxes.empty());
    strip_exif_segment(plain.c_str());
    EXPECT_EQ(read_file_bytes(plain), fixture("plain.jpg"));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "Cannot Find EXIF Marker");
    EXPECT_EQ(recorder.boxes[0].caption, "Error");
}

TEST(ExifSegment, ReadOnlyFileIsReportedAndKept)
{
    std::string path = place("orientation_readonly.jpg", fixture("mix.jpg"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    SeamRecorder recorder;
    write_exif_orientation(path.c_str(), 8);
    strip_exif_segment(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_file_bytes(path), fixture("mix.jpg"));
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[1].text, "Cannot Open File");
}

}  // namespace
