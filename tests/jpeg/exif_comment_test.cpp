// The in-place rewrites of JPEG files (comment, Exif orientation and segment);
// check_exif.sh reads the written files with exiftool, rdjpgcom and djpeg.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/loader.h"
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

int orientation_of(const std::string& path)
{
    FILE* fp = fopen(path.c_str(), "rb");
    int orientation = read_exif_orientation(fp);
    fclose(fp);
    return orientation;
}

// wrjpgcom's own replacement byte for byte, but that the comments it leaves
// after the frame header (which the reader shows) go too; broken or locked
// files stay as they were and the box says why, under the path.
TEST(JpegComment, ReplacesCommentsAsWrjpgcomDoes)
{
    std::string good = fixture("mix.jpg");
    size_t frame = good.find("\xFF\xC0");
    std::string bad_length = good, early_scan = good;
    bad_length[5] = 1;  // APP0 length 1
    early_scan[frame + 1] = (char)0xDA;
    const struct {
        const char* written;
        std::string before;
        const char* text;
        std::string after;  // empty: refused, unchanged
        const char* said;   // the box of a refusal
        bool locked;        // held open without sharing while written
    } cases[] = {
        {"comment_ten.jpg", good, "Ten chars!", fixture("mix_ten.jpg"), NULL, false},
        {"comment_none.jpg", good, "", fixture("mix_none.jpg"), NULL, false},
        {"comment_aftersof_ten.jpg", fixture("aftersof.jpg"), "Ten chars!", fixture("plain_ten.jpg"), NULL, false},
        {"comment_aftersof_none.jpg", fixture("aftersof.jpg"), "", fixture("plain.jpg"), NULL, false},
        {"comment_between_scans_ten.jpg", fixture("between_scans.jpg"), "Ten chars!", fixture("progressive_ten.jpg"),
         NULL, false},
        {"comment_between_scans_none.jpg", fixture("between_scans.jpg"), "", fixture("progressive.jpg"), NULL, false},
        {"comment_broken.jpg", "GIF89a" + good.substr(6), "new", "", "Not a JPEG file", false},
        {"comment_broken.jpg", bad_length, "new", "", "Erroneous JPEG marker length", false},
        {"comment_broken.jpg", early_scan, "new", "", "SOS without prior SOFn", false},
        {"comment_broken.jpg", good.substr(0, frame - 3), "new", "", "Premature EOF in JPEG file", false},
        {"comment_locked.jpg", good, "new", "", "Cannot Open File for Writing.", true},
    };
    for (const auto& c : cases) {
        SeamRecorder recorder;
        std::string path = place(c.written, c.before);
        HANDLE lock = c.locked ? CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL)
                               : INVALID_HANDLE_VALUE;
        HGLOBAL text = text_block(c.text);
        EXPECT_EQ(write_jpeg_comment(path.c_str(), &text, 0), c.after.empty() ? 0 : 1) << c.written;
        EXPECT_TRUE(text != NULL) << "the typed text stays";
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        EXPECT_EQ(read_file_bytes(path), c.after.empty() ? c.before : c.after) << c.written;
        GlobalFree(text);
        ASSERT_EQ(recorder.boxes.size(), c.said ? 1u : 0u) << c.written;
        if (c.said) {
            EXPECT_EQ(recorder.boxes[0].text, c.said);
            EXPECT_EQ(recorder.boxes[0].caption, path);
        }
    }
}

// The comment's text is released unless the caller keeps it.
TEST(JpegRewrite, ReadOnlyFileIsReportedAndKept)
{
    std::string path = place("rewrite_readonly.jpg", fixture("mix.jpg"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    SeamRecorder recorder;
    for (int keep = 0; keep < 2; ++keep) {
        HGLOBAL text = text_block("new");
        EXPECT_EQ(write_jpeg_comment(path.c_str(), &text, keep), 0);
        EXPECT_EQ(text != NULL, keep == 1);
        if (text)
            GlobalFree(text);
    }
    write_exif_orientation(path.c_str(), 8);
    strip_exif_segment(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_file_bytes(path), fixture("mix.jpg"));
    ASSERT_EQ(recorder.boxes.size(), 4u);
    EXPECT_EQ(recorder.boxes[0].text, "Cannot Open File for Writing.");
    EXPECT_EQ(recorder.boxes[0].caption, path);
    EXPECT_EQ(recorder.boxes[3].text, "Cannot Open File");
}

// A file without an Exif segment says so.
TEST(ExifOrientation, ReadsBothByteOrdersAndRefusesOtherFiles)
{
    const struct {
        const char* name;
        int orientation;
    } cases[] = {{"mix.jpg", 6}, {"intel.jpg", 3}, {"plain.jpg", 0}, {"xmp.jpg", 0}};
    for (const auto& c : cases) {
        SeamRecorder recorder;
        EXPECT_EQ(orientation_of(fixture_path(std::string("exif/") + c.name)), c.orientation) << c.name;
        EXPECT_EQ(g_exifOrientation, c.orientation);
        EXPECT_EQ(recorder.boxes.empty() ? "" : recorder.boxes[0].text, c.orientation ? "" : "Not Exif") << c.name;
    }
}

// The picture shown turns with the pixels (check_jpegtran.sh: -auto-orient).
TEST(ExifOrientation, ComposesSoThatTheShownPictureTurnsWithThePixels)
{
    const int cases[][3] = {
        {1, 7, 1}, {1, 6, 1}, {6, 6, 6}, {6, 5, 8}, {6, 2, 8}, {2, 6, 4}, {5, 6, 7},
        {0, 1, 0}, {9, 1, 0}, {1, 0, 0}, {1, 9, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compose_exif_orientation(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

// One byte changes, or none for an XMP orientation (check_exif.sh: exiftool).
TEST(ExifOrientation, RewritesOnlyTheOrientationValue)
{
    const struct {
        const char* source;
        const char* written;
        size_t changed_bytes;
    } cases[] = {{"mix.jpg", "orientation_mm.jpg", 1}, {"intel.jpg", "orientation_ii.jpg", 1},
                 {"xmp.jpg", "orientation_xmp.jpg", 0}};
    SeamRecorder recorder;
    for (const auto& c : cases) {
        std::string before = fixture(c.source), path = place(c.written, before);
        write_exif_orientation(path.c_str(), 8);
        std::string after = read_file_bytes(path);
        ASSERT_EQ(after.size(), before.size()) << c.source;
        size_t changed = 0;
        for (size_t i = 0; i < after.size(); ++i)
            changed += before[i] != after[i];
        EXPECT_EQ(changed, c.changed_bytes) << c.source;
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

// Cut or inconsistent segments: the rewrite changes nothing (found -1: any).
TEST(ExifOrientation, MalformedSegmentsChangeNothing)
{
    std::string good = fixture("intel.jpg");
    size_t tiff = good.find("Exif") + 6;
    std::vector<std::pair<std::string, int>> cases;
    for (size_t cut = 4; cut < tiff + 200; cut += 3)
        cases.push_back({good.substr(0, cut), -1});
    std::string past_end = good, short_ifd = good, many = good;
    past_end.replace(tiff + 4, 4, "\xFF\xFF\xFF\xFF");
    short_ifd.replace(tiff - 8, 2, std::string("\0\x0E", 2));
    cases.push_back({past_end, 1});
    cases.push_back({short_ifd, 1});
    SeamRecorder recorder;
    for (const auto& c : cases) {
        std::string path = place("orientation_broken.jpg", c.first);
        int found = orientation_of(path);
        EXPECT_TRUE(c.second < 0 || found == c.second) << c.first.size();
        write_exif_orientation(path.c_str(), 8);
        EXPECT_EQ(read_file_bytes(path), c.first) << c.first.size();
    }
    // an entry count past the segment: the entries that are there count
    many.replace(tiff + 8, 2, "\xFF\xFF");
    std::string path = place("orientation_many.jpg", many);
    EXPECT_EQ(orientation_of(path), 3);
    write_exif_orientation(path.c_str(), 8);
    EXPECT_EQ(orientation_of(path), 8);
}

// An Orientation entry read and written in its own type and place, in
// either byte order (check_exif.sh: exiftool); one the program cannot read
// (another type, values outside the block) reads as none and keeps its
// bytes.
TEST(ExifOrientation, ReadsAndWritesTheEntryInItsOwnType)
{
    const std::string MM_SHORT("\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00", 12);
    const std::string II_SHORT("\x12\x01\x03\x00\x01\x00\x00\x00\x03\x00\x00\x00", 12);
    const struct {
        const char* source;
        const char* written;  // empty: the file must keep its bytes
        std::string entry, rewritten;
        int read;
    } cases[] = {
        {"mix.jpg", "orientation_long_mm.jpg", std::string("\x01\x12\x00\x04\x00\x00\x00\x01\x00\x00\x00\x06", 12),
         std::string("\x00\x00\x00\x08", 4), 6},
        {"mix.jpg", "orientation_short2_mm.jpg", std::string("\x01\x12\x00\x03\x00\x00\x00\x02\x00\x06\x00\x00", 12),
         std::string("\x00\x08\x00\x00", 4), 6},
        {"intel.jpg", "orientation_long_ii.jpg", std::string("\x12\x01\x04\x00\x01\x00\x00\x00\x03\x00\x00\x00", 12),
         std::string("\x08\x00\x00\x00", 4), 3},
        {"mix.jpg", "", std::string("\x01\x12\x00\x02\x00\x00\x00\x01\x00\x06\x00\x00", 12), "", 1},
        {"mix.jpg", "", std::string("\x01\x12\x00\x04\x00\x00\x00\x02\x7F\xFF\xFF\xF0", 12), "", 1},
    };
    SeamRecorder recorder;
    for (const auto& c : cases) {
        std::string bytes = fixture(c.source);
        size_t at = bytes.find(c.source[0] == 'm' ? MM_SHORT : II_SHORT);
        ASSERT_NE(at, std::string::npos) << c.source;
        bytes.replace(at, 12, c.entry);
        std::string path = place(c.written[0] ? c.written : "orientation_unread.jpg", bytes);
        EXPECT_EQ(orientation_of(path), c.read) << c.written;
        int unreadable = -1;
        EXPECT_EQ(exif_orientation_of(path.c_str(), &unreadable), c.written[0] ? c.read : 0) << c.written;
        EXPECT_EQ(unreadable, c.written[0] ? 0 : 1) << c.written;
        write_exif_orientation(path.c_str(), 8);
        if (c.written[0])
            bytes.replace(at + 8, 4, c.rewritten);
        EXPECT_EQ(read_file_bytes(path), bytes) << c.written;
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

// A segment of the largest length (0xFFFF) is rewritten whole; a file
// whose markers cannot be walked is kept and the user told.
TEST(ExifOrientation, LargestSegmentIsRewrittenAndABrokenFileIsReported)
{
    const struct {
        const char* name;
        int written;
    } cases[] = {{"EXIF-app1-ffff.jpg", 1}, {"EXIF-app1-ffff-cut.jpg", 0}};
    for (const auto& c : cases) {
        std::string before = read_file_bytes(fixture_path(std::string("hostile/") + c.name));
        ASSERT_GT(before.size(), 65536u) << c.name;
        std::string path = place(c.name, before);
        SeamRecorder recorder;
        EXPECT_EQ(write_exif_orientation(path.c_str(), 3), c.written) << c.name;
        std::string after = read_file_bytes(path);
        ASSERT_EQ(after.size(), before.size()) << c.name;
        EXPECT_EQ(after == before, c.written == 0) << c.name;
        if (c.written) {
            EXPECT_EQ(orientation_of(path), 3);
            EXPECT_TRUE(recorder.boxes.empty());
        } else {
            ASSERT_EQ(recorder.boxes.size(), 1u) << c.name;
            EXPECT_EQ(recorder.boxes[0].text, "Cannot Open File for Writing.");
        }
    }
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

// A comment or an Exif change written into the shown file leaves its
// picture as it was: it is still the file the edits were made on, so Undo
// and the reload still replay them on it. (Every comment writer rewrites
// through one road, every Exif change through another.)
TEST(InPlaceRewrite, TheShownFileStaysTheOneItsEditsWereMadeOn)
{
    for (int exif = 0; exif < 2; ++exif) {
        SeamRecorder recorder;
        const std::string path = place("shown_rewritten.jpg", fixture("mix.jpg"));
        lstrcpynA(g_filePath, path.c_str(), MAX_PATH);
        FileStamp loaded;
        ASSERT_TRUE(take_file_stamp(path.c_str(), &loaded));
        g_fileSize = loaded.size;
        g_fileWriteTime = loaded.written;
        HGLOBAL text = text_block("hello comment");
        EXPECT_EQ(exif ? write_exif_orientation(path.c_str(), 8) : write_jpeg_comment(path.c_str(), &text, 0), 1);
        GlobalFree(text);
        EXPECT_NE(read_file_bytes(path), fixture("mix.jpg"));
        EXPECT_TRUE(file_unchanged_since_load()) << exif;
        EXPECT_TRUE(recorder.boxes.empty());
    }
    g_filePath[0] = '\0';
}

}  // namespace
