// The TIFF comment rewrite: the shown page's description, every page still
// read with the same pixels; broken or unwritable files left as they were.
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "formats/format_test_util.h"
#include "formats/tiff_comment.h"
#include "support/seam_recorder.h"

namespace {

// Writes the bytes to the file and rewrites its comment; the function's answer.
int rewrite(const std::string& path, const std::string& bytes, const std::string& comment, int page)
{
    write_file_bytes(path, bytes);
    HGLOBAL comment_block = text_block(comment);
    int index = page, count = 1;
    int result = write_tiff_comment(path.c_str(), &comment_block, &index, &count);
    GlobalFree(comment_block);
    return result;
}

// The page decodes from the rewritten file to the pixels of the original.
void expect_same_page(const std::string& original, const std::string& rewritten, int page, const std::string& what)
{
    DibBlock before(read_tiff_page(original, page));
    DibBlock after(read_tiff_page(rewritten, page));
    ASSERT_NE(after.get(), nullptr) << what << " page " << page;
    ASSERT_EQ(GlobalSize(before.get()), GlobalSize(after.get())) << what << " page " << page;
    EXPECT_EQ(memcmp(before.bih, after.bih, GlobalSize(after.get())), 0) << what << " page " << page;
}

// Byte order and the description of each page as libtiff reads them ("-" for none).
std::vector<std::string> descriptions(const std::string& path)
{
    std::vector<std::string> result;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return result;
    result.push_back(TIFFIsBigEndian(tif) ? "MM" : "II");
    do {
        const char* text = nullptr;
        result.push_back(TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text ? text : "-");
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return result;
}

TEST(TiffComment, ReplacesTheShownPagesDescriptionOnly)
{
    SeamRecorder seams;
    const std::string PNM = "converted PNM file";
    const struct {
        const char* fixture;
        std::string comment;
        int page;
        std::string prefix;  // bytes in front (a MacBinary header)
        std::vector<std::string> expected;
    } CASES[] = {
        {"rgb_lzw.tif", "a longer comment", 1, "", {"II", "a longer comment"}},
        {"rgb_lzw.tif", "", 1, "", {"II", "-"}},
        {"rgb16_be.tif", "big-endian", 1, "", {"MM", "big-endian"}},
        {"rgb_none.tif", "behind MacBinary", 1, std::string(128, '\0'), {"II", "behind MacBinary"}},
        {"pages.tif", "second page", 2, "", {"II", PNM, "second page", PNM}},
        {"rgb_jpeg_tiled.tif", "tiles", 1, "", {"II", "tiles"}},
    };
    int n = 0;
    for (const auto& c : CASES) {
        std::string path = test_out_path("comment" + std::to_string(n++) + ".tif");
        EXPECT_EQ(rewrite(path, c.prefix + read_file_bytes(tiff_fixture(c.fixture)), c.comment, c.page), 1)
            << c.fixture;
        EXPECT_EQ(descriptions(path), c.expected) << c.fixture;
        // every page still decodes to the same pixels
        for (int page = 1; page < (int)c.expected.size(); ++page)
            expect_same_page(tiff_fixture(c.fixture), path, page, c.fixture);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// After an odd-length strip the description still starts on a word
// boundary, as every value of a directory does.
TEST(TiffComment, DescriptionAfterAnOddStripIsWordAligned)
{
    const std::string path = test_out_path("comment_odd_strip.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 3);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
    ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, (void*)"\x10\x20\x30", 3), 0);
    TIFFClose(tif);
    ASSERT_EQ(rewrite(path, read_file_bytes(path), "a longer comment", 1), 1);
    const std::string bytes = read_file_bytes(path);
    uint32_t ifd = get_le32(bytes, 4);
    uint32_t at = 0;
    for (uint32_t i = 0; i < get_le16(bytes, ifd); ++i)
        if (get_le16(bytes, ifd + 2 + 12 * i) == 270)
            at = get_le32(bytes, ifd + 2 + 12 * i + 8);
    ASSERT_NE(at, 0u);
    EXPECT_EQ(at % 2, 0u);
    EXPECT_EQ(bytes.substr(at, 17), std::string("a longer comment", 17));
    EXPECT_EQ(descriptions(path), (std::vector<std::string>{"II", "a longer comment"}));
}

TEST(TiffComment, CameraMetadataFollowsThePage)
{
    std::string path = test_out_path("comment_exif.tif");
    ASSERT_EQ(rewrite(path, read_file_bytes(tiff_fixture("exif.tif")), "camera", 1), 1);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    toff_t exif = 0, gps = 0;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_EXIFIFD, &exif));
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_GPSIFD, &gps));
    ASSERT_TRUE(TIFFReadEXIFDirectory(tif, exif));
    const char* taken = nullptr;
    EXPECT_TRUE(TIFFGetField(tif, EXIFTAG_DATETIMEORIGINAL, &taken));
    EXPECT_STREQ(taken, "2020:01:02 03:04:05");
    ASSERT_TRUE(TIFFReadGPSDirectory(tif, gps));
    const char* ref = nullptr;
    EXPECT_TRUE(TIFFGetField(tif, GPSTAG_LATITUDEREF, &ref));
    EXPECT_STREQ(ref, "N");
    TIFFClose(tif);
}

// Such files stay as they were, as does the comment, and each says so.
TEST(TiffComment, LeavesBrokenOrReadOnlyFilesUntouched)
{
    const std::string whole = read_file_bytes(tiff_fixture("rgb_lzw.tif"));
    const uint32_t ifd = get_le32(whole, 4);
    std::string looping = whole, past_end = whole;
    put_le32(looping, ifd + 2 + 12 * get_le16(whole, ifd), ifd);  // the page's next link points at itself
    put_le32(past_end, 4, (uint32_t)whole.size() + 10);
    const struct {
        const char* name;
        std::string bytes;
        bool read_only;
    } CASES[] = {
        {"truncated", whole.substr(0, whole.size() - 40), false},
        {"strips cut", whole.substr(0, ifd > 200 ? 200 : ifd), false},
        {"looping", looping, false},
        {"past the end", past_end, false},
        {"bigtiff", read_file_bytes(tiff_fixture("rgb_bigtiff.tif")), false},
        {"read-only", whole, true},
    };
    for (const auto& c : CASES) {
        SeamRecorder seams;
        const std::string path = test_out_path(c.read_only ? "comment_readonly.tif" : "comment_broken.tif");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        write_file_bytes(path, c.bytes);
        SetFileAttributesA(path.c_str(), c.read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        HGLOBAL comment = text_block("typed");
        int index = 1, count = 1;
        EXPECT_EQ(write_tiff_comment(path.c_str(), &comment, &index, &count), 0) << c.name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(read_file_bytes(path), c.bytes) << c.name;
        ASSERT_NE(comment, nullptr) << c.name;
        EXPECT_STREQ((const char*)GlobalLock(comment), "typed");
        GlobalFree(comment);
        ASSERT_EQ(seams.boxes.size(), 1u) << c.name;
        EXPECT_EQ(seams.boxes[0].text, "Cannot Open File for Writing.");
        EXPECT_EQ(seams.boxes[0].caption, path);
    }
}

// Offset and size fields of types that hold no offset or size
// (tests/fixtures/make_hostile_rewrite.sh): a rational JPEG stream offset
// is no stream, and the page is rebuilt; double image sizes on a page
// without byte counts leave its strips unknown, and the file as it was.
TEST(TiffComment, FieldsOfOtherTypesAreNoSizesOrOffsets)
{
    const struct {
        const char* name;
        int result;
        std::vector<std::string> expected;  // descriptions afterwards
    } CASES[] = {
        {"TIFFCOMMENT-rational-jpeg-offset.tif", 1, {"II", "typed"}},
        {"TIFFCOMMENT-rational-jpeg-offset-page2.tif", 1, {"II", "typed", "-"}},
        {"TIFFCOMMENT-double-sizes-no-byte-counts.tif", 0, {"II", "-"}},
    };
    for (const auto& c : CASES) {
        SeamRecorder seams;
        const std::string source = fixture_path(std::string("hostile/") + c.name);
        const std::string path = test_out_path(std::string("comment_") + c.name);
        const std::string before = read_file_bytes(source);
        EXPECT_EQ(rewrite(path, before, "typed", 1), c.result) << c.name;
        EXPECT_EQ(descriptions(path), c.expected) << c.name;
        EXPECT_EQ(seams.boxes.size(), c.result ? 0u : 1u) << c.name;
        if (!c.result) {
            EXPECT_EQ(read_file_bytes(path), before) << c.name;
            continue;
        }
        // the shown page keeps its pixels
        expect_same_page(source, path, 1, c.name);
    }
}

// 32768 strips over 262 KB (tests/fixtures/make_hostile_formats.sh): given
// the same bytes, they are written once and the page keeps its pixels;
// shifted a byte each, so that none holds another, they would copy the file
// 32768 times, and the file is refused as it stands.
TEST(TiffComment, RewriteWritesNoMoreThanTheFileHolds)
{
    const struct {
        const char* name;
        int result;
    } CASES[] = {
        {"TIFFCOMMENT-strips-share-whole-file.tif", 1},
        {"TIFFCOMMENT-strips-overlap-shifted.tif", 0},
    };
    for (const auto& c : CASES) {
        SeamRecorder seams;
        const std::string source = fixture_path(std::string("hostile/") + c.name);
        const std::string path = test_out_path(std::string("comment_") + c.name);
        const std::string before = read_file_bytes(source);
        EXPECT_EQ(rewrite(path, before, "typed", 1), c.result) << c.name;
        EXPECT_EQ(seams.boxes.size(), c.result ? 0u : 1u) << c.name;
        const std::string after = read_file_bytes(path);
        if (!c.result) {
            EXPECT_EQ(after, before) << c.name;
            continue;
        }
        // the file's bytes once, its two arrays once more, a directory
        EXPECT_LT(after.size(), 2 * before.size() + 1024) << c.name;
        EXPECT_EQ(descriptions(path), (std::vector<std::string>{"II", "typed"})) << c.name;
        expect_same_page(source, path, 1, c.name);
    }
}

}  // namespace
