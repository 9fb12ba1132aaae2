// The TIFF comment rewrite: the shown page gets the description, every page
// and its metadata still read (by libtiff and by the reader) with the same
// pixels, and broken or unwritable files are left exactly as they were.
#include <string>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "formats/tiff_comment.h"
#include "formats/tiff_test_util.h"
#include "support/seam_recorder.h"

namespace {

// Rewrites a copy of the fixture; the copy's path.
std::string rewritten(const std::string& fixture, const std::string& copy, const std::string& comment, int page,
                      int* result, const std::string& prefix = "")
{
    const std::string path = test_out_path(copy);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    write_file_bytes(path, prefix + read_file_bytes(tiff_fixture(fixture)));
    HGLOBAL comment_block = text_block(comment);
    int index = page, count = 1;
    *result = write_tiff_comment(path.c_str(), &comment_block, &index, &count);
    GlobalFree(comment_block);
    return path;
}

// Description of each page as libtiff reads it ("-" for none).
std::vector<std::string> descriptions(const std::string& path, char* order = nullptr)
{
    std::vector<std::string> result;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return result;
    if (order)
        *order = TIFFIsBigEndian(tif) ? 'M' : 'I';
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
        char order;
        std::vector<std::string> expected;
    } CASES[] = {
        {"rgb_lzw.tif", "a longer comment", 1, "", 'I', {"a longer comment"}},
        {"rgb_lzw.tif", "", 1, "", 'I', {"-"}},
        {"rgb16_be.tif", "big-endian", 1, "", 'M', {"big-endian"}},
        {"rgb_none.tif", "behind MacBinary", 1, std::string(128, '\0'), 'I', {"behind MacBinary"}},
        {"pages.tif", "second page", 2, "", 'I', {PNM, "second page", PNM}},
        {"bw_g4.tif", "fax", 1, "", 'I', {"fax"}},
        {"rgb_jpeg_tiled.tif", "tiles", 1, "", 'I', {"tiles"}},
    };
    int n = 0;
    for (const auto& c : CASES) {
        int result = 0;
        std::string path = rewritten(c.fixture, "comment" + std::to_string(n++) + ".tif", c.comment, c.page,
                                     &result, c.prefix);
        EXPECT_EQ(result, 1) << c.fixture;
        char order = 0;
        EXPECT_EQ(descriptions(path, &order), c.expected) << c.fixture;
        EXPECT_EQ(order, c.order) << c.fixture;
        // every page still decodes to the same pixels
        for (size_t page = 1; page <= c.expected.size(); ++page) {
            DibBlock before(read_tiff_page(tiff_fixture(c.fixture), (int)page));
            DibBlock after(read_tiff_page(path, (int)page));
            ASSERT_NE(after.get(), nullptr) << c.fixture << page;
            ASSERT_EQ(GlobalSize(before.get()), GlobalSize(after.get()));
            EXPECT_EQ(memcmp(before.bih, after.bih, GlobalSize(before.get())), 0) << c.fixture;
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(TiffComment, CameraMetadataFollowsThePage)
{
    int result = 0;
    std::string path = rewritten("exif.tif", "comment_exif.tif", "camera", 1, &result);
    ASSERT_EQ(result, 1);
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

// Files that cannot be rebuilt whole stay byte for byte as they were.
TEST(TiffComment, LeavesBrokenFilesUntouched)
{
    SeamRecorder seams;
    const std::string whole = read_file_bytes(tiff_fixture("rgb_lzw.tif"));
    ASSERT_GT(whole.size(), 100u);
    const uint32_t ifd = get_le32(whole, 4);
    const uint32_t entries = get_le16(whole, ifd);
    std::string looping = whole;
    put_le32(looping, ifd + 2 + 12 * entries, ifd);  // the page's next link points at itself
    std::string past_end = whole;
    put_le32(past_end, 4, (uint32_t)whole.size() + 10);
    const struct {
        const char* name;
        std::string bytes;
    } CASES[] = {
        {"truncated", whole.substr(0, whole.size() - 40)},
        {"strips cut", whole.substr(0, ifd > 200 ? 200 : ifd)},
        {"looping", looping},
        {"past the end", past_end},
        {"bigtiff", read_file_bytes(tiff_fixture("rgb_bigtiff.tif"))},
    };
    for (const auto& c : CASES) {
        const std::string path = test_out_path("comment_broken.tif");
        ASSERT_TRUE(write_file_bytes(path, c.bytes));
        HGLOBAL comment = text_block("new text");
        int index = 1, count = 1;
        EXPECT_EQ(write_tiff_comment(path.c_str(), &comment, &index, &count), 0) << c.name;
        EXPECT_EQ(read_file_bytes(path), c.bytes) << c.name;
        EXPECT_NE(comment, nullptr);
        GlobalFree(comment);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(TiffComment, AReadOnlyFileKeepsTheTypedComment)
{
    SeamRecorder seams;
    const std::string path = test_out_path("comment_readonly.tif");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::string bytes = read_file_bytes(tiff_fixture("rgb_lzw.tif"));
    ASSERT_TRUE(write_file_bytes(path, bytes));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HGLOBAL comment = text_block("typed");
    int index = 1, count = 1;
    EXPECT_EQ(write_tiff_comment(path.c_str(), &comment, &index, &count), 0);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_file_bytes(path), bytes);
    ASSERT_NE(comment, nullptr);
    EXPECT_STREQ((const char*)GlobalLock(comment), "typed");
    GlobalUnlock(comment);
    GlobalFree(comment);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Cannot Open File for Writing.");
    EXPECT_EQ(seams.boxes[0].caption, path);
}

}  // namespace
