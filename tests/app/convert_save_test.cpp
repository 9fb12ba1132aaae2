// Convert/Save: the proposed name and filter, the name typed in the Save
// dialog, which image is written, and that saving never damages an
// existing file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/convert_save.h"
#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "jpeg/exif_read.h"
#include "tools/edit_history.h"
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

TEST(SaveImage, UnconvertedCopyIsSavedOnlyWithoutConversion)
{
    reset_current_image();
    HGLOBAL shown = g_hImage = make_dib(2, 2, 8);
    g_imageKind = KIND_DIB;
    EXPECT_EQ(image_for_saving(), shown);
    HGLOBAL full = g_hImageUnconverted = make_dib(2, 2, 24);
    EXPECT_EQ(image_for_saving(), full);
    g_colorConversion = 15;
    EXPECT_EQ(image_for_saving(), shown);
    g_colorConversion = 0;
    g_imageKind = KIND_ANIMATED_GIF;
    EXPECT_EQ(image_for_saving(), shown);
    reset_current_image();
}

// An enhanced metafile of a rectangle and then rectangles more.
HENHMETAFILE emf_of_rectangles(int rectangles)
{
    HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    for (int i = 0; i <= rectangles; ++i)
        Rectangle(dc, i % 90, i % 7, i % 90 + 3, i % 7 + 3);
    return CloseEnhMetaFile(dc);
}

// Every refusal leaves the file in place as it was, with one message box:
// a conversion the renderer could not finish, or a picture whose play was
// cut (a fill the display leaves out), says that the picture could not be
// read, not that the file could not be written.
TEST(SaveToPath, RefusalsLeaveTheOldFile)
{
    const int BUDGET_CUT = -1, PAST_CONVERSION = -2;
    SeamRecorder seams(32);
    const char* const CANNOT_WRITE = "Cannot Open File for Writing.";
    const char* const TOO_SLOW = "Unable to play metafile in the time allowed";
    const struct {
        const char* name;
        int kind, code;
        bool read_only, broken;
        const char* box;  // null: not checked
        int rectangles;   // an enhanced metafile of 1 + this many; 0: a bitmap; BUDGET_CUT: one its play budget cuts,
                          // under the standard limit; PAST_CONVERSION: one whose conversion takes half a
                          // minute, written with the renderer cut at once
        const char* shown = nullptr;  // or this hostile metafile, shown (and said cut) before it is written
    } cases[] = {
        {"read-only, WMF of an EMF", KIND_EMF, FMT_WMF, true, false, CANNOT_WRITE, 1},
        {"WMF of an EMF the renderer cuts", KIND_EMF, FMT_WMF, false, false, TOO_SLOW,
         PAST_CONVERSION},
        {"WMF of an EMF its play budget cuts", KIND_EMF, FMT_WMF, false, false, TOO_SLOW,
         BUDGET_CUT},
        {"EMF shown cut", KIND_EMF, FMT_EMF, false, false, "Unable to read metafile bits", 0,
         "EMF-polygon16-16000-points-crossing-every-row.emf"},
        {"WMF of an EMF shown cut", KIND_EMF, FMT_WMF, false, false, "Unable to read metafile bits", 0,
         "EMF-path-16000-points-crossing-every-row-filled.emf"},
        {"read-only, BMP", KIND_DIB, 10, true, false, CANNOT_WRITE, 0},
        {"read-only, RLE", KIND_DIB, 11, true, false, CANNOT_WRITE, 0},
        {"read-only, bit fields", KIND_DIB, 12, true, false, CANNOT_WRITE, 0},
        {"read-only, 13", KIND_DIB, 13, true, false, CANNOT_WRITE, 0},
        {"read-only, 18", KIND_DIB, 18, true, false, CANNOT_WRITE, 0},
        {"writer fails: RLE of 24 bits", KIND_DIB, 11, false, false, CANNOT_WRITE, 0},
        {"bitmap format for a metafile", KIND_EMF, 10, false, false, nullptr, 0},
        {"metafile format 3 for a bitmap", KIND_DIB, 3, false, false, nullptr, 0},
        {"metafile format 1 for a bitmap", KIND_DIB, 1, false, false, nullptr, 0},
    };
    std::string path = test_out_path("convert_save_kept.bmp");
    for (const auto& c : cases) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(write_file_bytes(path, "old contents"));
        if (c.read_only)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        DibBlock image(c.rectangles || c.shown ? NULL : make_dib(5, 3, 24));
        HENHMETAFILE emf =
            c.rectangles == BUDGET_CUT
                ? GetEnhMetaFileA(fixture_path("hostile/EMF-inverted-pairs-before-40-squares.emf").c_str())
            : c.rectangles == PAST_CONVERSION
                ? GetEnhMetaFileA(fixture_path("hostile/EMF-region-fills-past-a-conversion.emf").c_str())
            : c.rectangles ? emf_of_rectangles(c.rectangles)
                           : NULL;
        if (c.shown) {
            std::string bits = read_file_bytes(fixture_path(std::string("hostile/") + c.shown));
            emf = SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
            HDC screen = GetDC(NULL), canvas = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 300);
            HGDIOBJ old = SelectObject(canvas, bitmap);
            RECT area = {0, 0, 300, 300};
            EXPECT_FALSE(play_emf(canvas, emf, &area)) << c.name;
            SelectObject(canvas, old);
            DeleteObject(bitmap);
            DeleteDC(canvas);
            ReleaseDC(NULL, screen);
        }
        ASSERT_EQ(emf != NULL, c.rectangles != 0 || c.shown) << c.name;
        seams.boxes.clear();
        // Past the limit at the first look the program takes.
        render_set_limits_for_test(c.rectangles == PAST_CONVERSION ? 1 : 0, 0);
        EXPECT_FALSE(convert_save_to_path(emf ? (HGLOBAL)emf : image.get(), c.kind, path.c_str(), c.code, 0, 0))
            << c.name;
        render_set_limits_for_test(0, 0);
        if (emf) {
            forget_failed_metafiles(emf);
            DeleteEnhMetaFile(emf);
        }
        EXPECT_EQ(read_file_bytes(path), "old contents") << c.name;
        ASSERT_EQ(seams.boxes.size(), 1u) << c.name;
        if (c.box) {
            EXPECT_EQ(seams.boxes[0].text, c.box) << c.name;
            EXPECT_EQ(seams.boxes[0].caption, path) << c.name;
            EXPECT_EQ(seams.boxes[0].type, (UINT)MB_ICONHAND) << c.name;
        }
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Save As Windows MetaFile of a Windows metafile writes it as it is
// shown: its bits, after its placeable box when it was read with one.
TEST(SaveToPath, AWindowsMetafileIsWrittenAsShown)
{
    SeamRecorder seams;
    HDC mf = CreateMetaFileA(NULL);
    Rectangle(mf, 10, 10, 300, 150);
    HMETAFILE wmf = CloseMetaFile(mf);
    std::string bits(GetMetaFileBitsEx(wmf, 0, NULL), '\0');
    GetMetaFileBitsEx(wmf, (UINT)bits.size(), (BYTE*)&bits[0]);
    WmfPlaceableHeader box = {WMF_PLACEABLE_KEY, 0, 0, 0, 400, 200, 1000, 0, 0};
    box.checksum = wmf_header_checksum(&box);
    const std::string path = test_out_path("as_shown.wmf");
    g_hImage = (HGLOBAL)wmf;
    g_imageKind = KIND_WMF;
    for (int has_box : {1, 0}) {
        SCOPED_TRACE(has_box);
        g_wmfHasPlaceable = has_box;
        g_wmfPlaceableHeader = box;
        ASSERT_TRUE(write_file_bytes(path, "old contents"));
        seams.boxes.clear();
        EXPECT_TRUE(convert_save_to_path(g_hImage, KIND_WMF, path.c_str(), FMT_WMF, 0, 0));
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].caption, "File Converted Successfully");
        const std::string header = has_box ? std::string((const char*)&box, sizeof box) : std::string();
        EXPECT_TRUE(read_file_bytes(path) == header + bits);
    }
    g_wmfHasPlaceable = 0;
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    DeleteMetaFile(wmf);
}

// TIFF codes the image cannot take say why, not that the file failed, and
// leave the old file; black and white in JBIG strips is written.
TEST(SaveToPath, TiffCompressionRefusalsSayWhy)
{
    SeamRecorder seams(32);
    const std::string MONO = "This Compression is for Monochrome Images Only.";
    const std::string TILES = "JBIG Compression Cannot be Written in Tiles.";
    const std::vector<RGBQUAD> BW = {quad(0, 0, 0), quad(255, 255, 255)};
    const struct {
        const char* name;
        int bits, compression, tiled;
        std::string box;
    } cases[] = {
        {"colour in G4", 24, 4, 0, MONO},          {"colour in JBIG", 24, 34661, 0, MONO},
        {"grey in Huffman", 8, 2, 0, MONO},        {"black and white in JBIG tiles", 1, 34661, 1, TILES},
        {"black and white in JBIG strips", 1, 34661, 0, "File Converted Successfully"},
    };
    std::string path = test_out_path("convert_save_kept.tif");
    for (const auto& c : cases) {
        ASSERT_TRUE(write_file_bytes(path, "old contents"));
        seams.boxes.clear();
        DibBlock image(c.bits == 1 ? make_dib(20, 3, 1, BW, 2) : make_dib(5, 3, c.bits));
        bool written = convert_save_to_path(image.get(), KIND_DIB, path.c_str(), FMT_TIFF, c.compression, c.tiled);
        ASSERT_EQ(seams.boxes.size(), 1u) << c.name;
        if (c.box == "File Converted Successfully") {
            EXPECT_TRUE(written) << c.name;
            EXPECT_EQ(seams.boxes[0].caption, c.box) << c.name;
            EXPECT_NE(read_file_bytes(path).substr(0, 2), "ol") << c.name;
        } else {
            EXPECT_FALSE(written) << c.name;
            EXPECT_EQ(seams.boxes[0].text, c.box) << c.name;
            EXPECT_EQ(seams.boxes[0].caption, path) << c.name;
            EXPECT_EQ(read_file_bytes(path), "old contents") << c.name;
        }
    }
}

TEST(SaveToPath, BrokenImageHeaderIsNotHandedToAWriter)
{
    SeamRecorder seams(32);
    DibBlock image(make_dib(5, 3, 24));
    image.bih->biHeight = 100000;  // rows past the block
    std::string path = test_out_path("convert_save_broken.bmp");
    DeleteFileA(path.c_str());
    EXPECT_FALSE(convert_save_to_path(image.get(), KIND_DIB, path.c_str(), 10, 0, 0));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SaveAlphaCopy, TransparentPaletteImageIsWrittenFromAnAlphaCopy)
{
    SeamRecorder seams(32);
    reset_current_image();
    HGLOBAL image = g_hImage = make_dib(4, 1, 8, {quad(10, 20, 30), quad(40, 50, 60)}, 2);
    set_index(DibBlock(image, false).row(0), 8, 1, 1);
    g_imageKind = KIND_DIB;
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
    EXPECT_EQ(DibBlock(image, false).bih->biBitCount, 8) << "the image itself is unchanged";
    reset_current_image();
}

// The brightness steps on screen belong to the image being edited: a save
// of it is brightened, another file written through the same dispatcher
// (a camera file the batch window converts) is written as it is.
TEST(SaveBrightness, OnlyTheShownImageIsWrittenBrightened)
{
    SeamRecorder seams(32);
    const struct {
        const char* name;
        bool is_shown;
        bool brightened;
    } rows[] = {
        {"the shown image", true, true},
        {"another file", false, false},
    };
    for (const auto& row : rows) {
        reset_current_image();
        g_hImage = make_dib(2, 1, 24);
        g_imageKind = KIND_DIB;
        g_brightnessStep = 2;
        HGLOBAL other = make_dib(2, 1, 24);
        HGLOBAL image = row.is_shown ? g_hImage : other;
        std::memset(DibBlock(image, false).row(0), 100, 6);
        std::string path = test_out_path("convert_save_brightness.bmp");
        ASSERT_TRUE(convert_save_to_path(image, KIND_DIB, path.c_str(), 10, 0, 0)) << row.name;
        std::string bytes = read_file_bytes(path);
        ASSERT_EQ(bytes.size(), 62u) << row.name;
        EXPECT_EQ((BYTE)bytes[54] > 100, row.brightened) << row.name << ": " << (int)(BYTE)bytes[54];
        EXPECT_EQ(DibBlock(image, false).row(0)[0], 100) << row.name << ": the image itself is unchanged";
        GlobalFree(other);
    }
    reset_current_image();
}

// A JPEG written from a photo's pixels as the file stores them keeps the
// photo's orientation, so that it stands as it stood; once the user turned
// the pixels, they stand as they are (orientation 1).
TEST(SaveOrientation, TheShownPhotoKeepsItsOrientationUntilItsPixelsTurn)
{
    SeamRecorder seams(32);
    const struct {
        UINT edit;
        int orientation;
    } rows[] = {{EDIT_NONE, 6}, {EDIT_INVERT, 6}, {EDIT_ROTATE_CW90, 1}};
    for (const auto& row : rows) {
        reset_current_image();
        clear_edit_history();
        g_hImage = make_dib(8, 4, 24);
        g_imageKind = KIND_DIB;
        g_fileFormat = FMT_JPEG;
        lstrcpynA(g_filePath, fixture_path("exif/mix.jpg").c_str(), sizeof g_filePath);
        if (row.edit != EDIT_NONE)
            push_edit_record(row.edit, 0);
        std::string path = test_out_path("convert_save_oriented.jpg");
        ASSERT_TRUE(convert_save_to_path(g_hImage, KIND_DIB, path.c_str(), FMT_JPEG, 0, 0)) << row.edit;
        EXPECT_EQ(exif_orientation_of(path.c_str()), row.orientation) << row.edit;
    }
    clear_edit_history();
    g_filePath[0] = '\0';
    reset_current_image();
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

// The default extension the hooks add to a typed name: only to a name
// without one, and only when the dialog's buffer holds it (the byte after
// the buffer stays as it was).
TEST(ReplaceCheck, TypedNameTakesTheDefaultExtensionWhenTheBufferHoldsIt)
{
    const std::string folder = test_out_path("");  // no file of these names is there
    const struct {
        const char* typed;
        size_t room;  // the buffer's size beyond the typed name and its NUL
        const char* want;
    } rows[] = {
        {"pic", 4, "pic.png"},         // exactly room for ".png"
        {"pic", 3, "pic"},             // one short: kept as typed
        {"pic.jpg", 10, "pic.jpg"},
        {"pic.", 10, "pic."},
    };
    for (const auto& row : rows) {
        std::string typed = folder + row.typed;
        std::vector<char> buffer(typed.size() + 1 + row.room + 1, '#');
        std::memcpy(buffer.data(), typed.c_str(), typed.size() + 1);
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = 76;
        ofn.lpstrFile = buffer.data();
        ofn.nMaxFile = (DWORD)(buffer.size() - 1);
        ofn.lpstrDefExt = "png";
        SeamRecorder recorder;
        EXPECT_EQ(ask_before_replacing(NULL, (LPARAM)&ofn, NULL), 0u) << row.typed;
        EXPECT_EQ(std::string(buffer.data()), folder + row.want) << row.typed;
        EXPECT_EQ(buffer.back(), '#') << row.typed;
        EXPECT_TRUE(recorder.boxes.empty()) << row.typed;
    }
}

}  // namespace
