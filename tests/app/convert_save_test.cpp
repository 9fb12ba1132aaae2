// Convert/Save: the proposed name and filter, which image is written, and
// that saving never damages an existing file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/convert_save.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "support/dib_block.h"

namespace {

TEST(SaveName, ExtensionReplacesTheLastOneIsAppendedOrCutsTheName)
{
    const struct {
        const char* name;
        size_t size;
        const char* extension;
        const char* want;
    } rows[] = {
        {"photo.2005.jpg", 260, "png", "photo.2005.png"},
        {"scan", 260, "tif", "scan.tif"},
        {"trailing.", 260, "bmp", "trailing.bmp"},
        {"abcdefghijk", 12, "bmp", "abcdefg.bmp"},  // cut to fit the buffer
    };
    for (const auto& row : rows) {
        char name[260];
        std::strcpy(name, row.name);
        force_save_extension(name, row.size, row.extension);
        EXPECT_STREQ(name, row.want);
    }
}

TEST(SaveFilter, TwoPairsEndedByAnEmptyString)
{
    char block[295];
    ASSERT_TRUE(build_save_filter(find_save_format(10), block, sizeof block));
    const char expected[] = "Windows Bitmap (*.bmp)\0*.bmp\0All Files (*.*)\0*.*\0";
    EXPECT_EQ(std::memcmp(block, expected, sizeof expected), 0);
    char small[10];
    EXPECT_FALSE(build_save_filter(find_save_format(13), small, sizeof small));
}

// The image as the current one for one test; the test frees its blocks.
struct CurrentImage {
    explicit CurrentImage(HGLOBAL h)
    {
        reset_current_image();
        g_hImage = h;
        g_imageKind = KIND_DIB;
    }
    ~CurrentImage()
    {
        g_hImage = g_hImageUnconverted = NULL;
        reset_current_image();
    }
};

TEST(SaveImage, UnconvertedCopyIsSavedOnlyWithoutConversion)
{
    HGLOBAL shown = make_dib(2, 2, 8);
    HGLOBAL full = make_dib(2, 2, 24);
    CurrentImage state(shown);
    EXPECT_EQ(image_for_saving(), shown);
    g_hImageUnconverted = full;
    EXPECT_EQ(image_for_saving(), full);
    g_colorConversion = 15;
    EXPECT_EQ(image_for_saving(), shown);
    g_colorConversion = 0;
    g_imageKind = KIND_ANIMATED_GIF;
    EXPECT_EQ(image_for_saving(), shown);
    GlobalFree(shown);
    GlobalFree(full);
}

// A 24-bit image (no run-length coding) as the current image.
class SaveToPath : public ::testing::Test {
protected:
    SeamRecorder seams{32};
    HGLOBAL image = make_dib(5, 3, 24);
    CurrentImage state{image};
    ~SaveToPath() override { GlobalFree(image); }
};

TEST_F(SaveToPath, ReadOnlyTargetGivesTheFailureBoxAndStaysUntouched)
{
    std::string path = test_out_path("convert_save_readonly.bmp");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(write_file_bytes(path, "old contents"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);

    for (int code : {10, 11, 12, 13, 18}) {
        seams.boxes.clear();
        EXPECT_FALSE(convert_save_to_path(image, KIND_DIB, path.c_str(), code, 0, 0)) << code;
        ASSERT_EQ(seams.boxes.size(), 1u) << code;
        EXPECT_EQ(seams.boxes[0].text, "Cannot Open File for Writing.");
        EXPECT_EQ(seams.boxes[0].caption, path);
        EXPECT_EQ(seams.boxes[0].type, (UINT)MB_ICONHAND);
        EXPECT_EQ(read_file_bytes(path), "old contents") << code;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SaveToPath, FailingWriterLeavesTheOldFileAndShowsNoSuccess)
{
    std::string path = test_out_path("convert_save_kept.bmp");
    ASSERT_TRUE(write_file_bytes(path, "previous file"));

    EXPECT_FALSE(convert_save_to_path(image, KIND_DIB, path.c_str(), 11, 0, 0));
    EXPECT_EQ(read_file_bytes(path), "previous file");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Cannot Open File for Writing.");
}

TEST_F(SaveToPath, RasterFormatIsRefusedForAMetafileAndMetafileFormatForABitmap)
{
    std::string path = test_out_path("convert_save_kind.bmp");
    DeleteFileA(path.c_str());
    EXPECT_FALSE(convert_save_to_path(image, KIND_EMF, path.c_str(), 10, 0, 0));
    EXPECT_FALSE(convert_save_to_path(image, KIND_DIB, path.c_str(), 3, 0, 0));
    EXPECT_FALSE(convert_save_to_path(image, KIND_DIB, path.c_str(), 1, 0, 0));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(seams.boxes.size(), 3u);
}

TEST_F(SaveToPath, BrokenImageHeaderIsNotHandedToAWriter)
{
    DibBlock(image, false).bih->biHeight = 100000;  // rows past the block
    std::string path = test_out_path("convert_save_broken.bmp");
    DeleteFileA(path.c_str());
    EXPECT_FALSE(convert_save_to_path(image, KIND_DIB, path.c_str(), 10, 0, 0));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SaveAlphaCopy, TransparentPaletteImageIsWrittenFromAnAlphaCopy)
{
    SeamRecorder seams(32);
    HGLOBAL image = make_dib(4, 1, 8, {quad(10, 20, 30), quad(40, 50, 60)}, 2);
    {
        DibBlock dib(image, false);
        set_index(dib.row(0), 8, 1, 1);
    }
    CurrentImage state(image);
    g_hasTransparency = 1;
    g_transparentIndex = 1;
    g_transparentDisplayColor = 0x00FFFFFF;
    std::string path = test_out_path("convert_save_alpha.bmp");
    ASSERT_TRUE(convert_save_to_path(image, KIND_DIB, path.c_str(), 10, 0, 0));
    std::string bytes = read_file_bytes(path);
    ASSERT_EQ(bytes.size(), 54u + 16u);
    EXPECT_EQ((BYTE)bytes[28], 32) << "bit count";
    // Pixel 1 is the transparent index: display colour, alpha 0.
    EXPECT_EQ((BYTE)bytes[54 + 4 + 3], 0);
    EXPECT_EQ((BYTE)bytes[54 + 3], 255);
    // The image itself is unchanged.
    DibBlock dib(image, false);
    EXPECT_EQ(dib.bih->biBitCount, 8);
    GlobalFree(image);
}

TEST(ReplaceCheck, ExistingFileIsNeitherTruncatedNorTouched)
{
    std::string path = test_out_path("replace_check.txt");
    ASSERT_TRUE(write_file_bytes(path, "keep me"));
    EXPECT_TRUE(can_replace_file(path.c_str()));
    EXPECT_EQ(read_file_bytes(path), "keep me");
    std::string fresh = test_out_path("replace_check_new.txt");
    DeleteFileA(fresh.c_str());
    EXPECT_TRUE(can_replace_file(fresh.c_str()));
    EXPECT_EQ(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing left behind";
    EXPECT_FALSE(can_replace_file(test_out_path("").c_str()));
    EXPECT_FALSE(can_replace_file(""));
}

}  // namespace
