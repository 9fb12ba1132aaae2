// The selected-file loader's reader table: each identified file is read as
// its row says (ImageKind, FormatCode) on the road a selection in the main
// window's list takes; no APP12 text of the last file stays behind. JPEG
// 2000 tries the colour-managed decoder, then beeps and tries the plain one
// ("relax.jp2" goes there at once). A metafile the reader cannot take
// whole (cut short, not one, or drawn in GDI+ records alone) is said once;
// a Windows metafile read holds every record of its file but those left
// out, whose objects keep their slots, and one drawn with an object left
// out is said as cut.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/convert_save.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "support/dib_block.h"
#include "support/large_metafile.h"
#include "support/peak_memory.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "support/unhurried_renderer.h"
#include "gdi_canvas.h"

namespace {

struct LoadCase {
    const char* file;  // in the test folder, made by the fixture below
    int kind;
    int format;
    int beeps = -1;               // -1: not looked at
    const char* info_start = "";  // the text of the decoder that read it
    size_t boxes = 0;
    bool plays_red = false;       // a Windows metafile played whole is red at its centre
    long left_out_bytes = 0;      // of a Windows metafile's records, which draw nothing; less
                                  // than 0: what its short font records grew by, made whole
    bool plays_as_raw = false;    // played whole as the system's player draws the file's own bytes
    bool play_is_cut = false;     // read, and its play is cut and said once
    int converts = 0;             // Convert/Save to the other metafile format: 1 written, and read
                                  // back it is red at the centre and near the corners of its middle
                                  // two thirds; -1 nothing written, and the box says why
    bool is_converted_back = false;  // what was written is converted back: the system's conversion
                                     // would show another picture, the program's own shows it
    const char* said = nullptr;   // the words of the one box, where they are looked at
};

// The fixtures under the names the list shows, and GDI and MacBinary files.
std::string make_folder()
{
    std::string folder = test_out_path("loader_table/");
    CreateDirectoryA(folder.c_str(), NULL);
    const std::pair<const char*, const char*> copies[] = {
        {"e2e/quadrants.bmp", "still.bmp"}, {"e2e/quadrants.gif", "still.gif"},
        {"e2e/animated.gif", "moving.gif"}, {"e2e/quadrants.jpg", "photo.jpg"},
        {"tiff/pages.tif", "pages.tif"},    {"tiff/rgb_bigtiff.tif", "big.tif"},
        {"png/basn2c08.png", "still.png"}, {"jbig/plane1.jbg", "fax.jbg"}, {"jpeg2000/rgb.j2k", "code.j2k"},
        {"jpeg2000/rgb.jp2", "boxed.jp2"}, {"jpeg2000/rgb.jp2", "RELAX.JP2"}, {"sun/colour24_rle.ras", "sun.ras"},
        {"pnm/raw_bits.pbm", "bits.pbm"}, {"pnm/raw_grey_15.pgm", "grey.pgm"}, {"pnm/raw_colour_255.ppm", "colour.ppm"},
        {"pnm/pam_colour_alpha_255.pam", "alpha.pnm"}, {"pcx/rgb.pcx", "picture.pcx"}, {"targa/cmap.tga", "picture.tga"},
        {"iff/planes4_compress.iff", "picture.iff"}, {"icon/frame_a.ico", "single.ico"}, {"icon/sun_16.ico", "sun.ico"},
        {"icon/anim.ani", "cursor.ani"},
        {"hostile/EMF-plus-records-only.emf", "plus_only.emf"},
        {"hostile/WMF-last-record-cut.wmf", "last_record_cut.wmf"},
        {"hostile/WMF-no-end-record.wmf", "no_end_record.wmf"},
        {"hostile/WMF-odd-length-cut.wmf", "odd_length_cut.wmf"},
        {"hostile/WMF-placeable-last-record-cut.wmf", "placeable_cut.wmf"},
        {"hostile/WMF-size-field-short.wmf", "size_field_short.wmf"},
        {"hostile/WMF-font-short-face-then-red-brush.wmf", "font_short_face.wmf"},
        {"hostile/WMF-left-out-brush-drawn-with.wmf", "left_out_brush.wmf"},
        {"hostile/WMF-left-out-brush-then-red-brush.wmf", "left_out_brush_unused.wmf"},
        {"hostile/WMF-region-8281-rectangles-painted.wmf", "region_8281.wmf"},
        {"hostile/WMF-brush-hatch-12-then-red-blue.wmf", "hatch_12.wmf"},
        {"hostile/WMF-patternbrush-2-planes-then-red-blue.wmf", "pattern_2_planes.wmf"},
        {"hostile/WMF-dibpatternbrush-rle8-then-red-blue.wmf", "pattern_rle8.wmf"},
        {"hostile/WMF-left-out-font-then-clip-region.wmf", "clip_after_left_out.wmf"},
        {"hostile/WMF-left-out-font-then-clip-cleared.wmf", "clip_cleared.wmf"},
        {"hostile/WMF-region-odd-scan-painted.wmf", "region_odd_scan.wmf"},
        {"hostile/WMF-region-scan-ends-disagree-painted.wmf", "region_ends_disagree.wmf"},
        {"hostile/WMF-savedc-after-replaced-red.wmf", "savedc_replaced_red.wmf"},
        {"hostile/WMF-brush-short-then-red.wmf", "brush_short.wmf"},
        {"hostile/WMF-carrying-blue-emf-drawing-red.wmf", "carrying_blue.wmf"},
        {"hostile/WMF-placeable-box-off-origin.wmf", "box_off_origin.wmf"},
        {"hostile/WMF-fillregion-staggered-320-rects.wmf", "region_joined_51000.wmf"},
        {"hostile/WMF-placeable-box-off-origin-inverted.wmf", "box_off_origin_inverted.wmf"},
        {"hostile/EMF-fillrgn-8500-rects.emf", "region_8500.emf"},
        {"hostile/WMF-placeable-box-65535-wide.wmf", "box_65535_wide.wmf"},
        {"hostile/WMF-placeable-box-zero.wmf", "box_zero.wmf"},
        {"hostile/WMF-carrying-blue-emf-count-2-drawing-red.wmf", "carrying_blue_count_2.wmf"},
        {"hostile/WMF-bitblt-2-planes.wmf", "bitblt_2_planes.wmf"},
        {"hostile/WMF-mono-bitmaps-in-text-colour.wmf", "mono_bitmaps.wmf"},
        {"hostile/WMF-deep-saves-left-out-brush-replaced-red.wmf", "deep_saves.wmf"},
        {"hostile/WMF-restore-two-levels-to-left-out-brush.wmf", "restore_two_levels.wmf"},
        {"hostile/WMF-left-out-clip-region-cleared-red.wmf", "clip_region_cleared.wmf"},
        {"hostile/WMF-restore-level-one-from-left-out-brush-red.wmf", "restore_level_one.wmf"},
        {"hostile/WMF-restore-inner-background-red.wmf", "inner_background.wmf"},
        {"hostile/WMF-mono-bitmap-text-colour-palette-index.wmf", "mono_text_palette.wmf"},
        {"hostile/WMF-mono-bitmap-background-palette-index.wmf", "mono_background_palette.wmf"},
        {"hostile/WMF-placeable-box-zero-wide.wmf", "box_zero_wide.wmf"},
    };
    for (const auto& copy : copies)
        CopyFileA(fixture_path(copy.first).c_str(), (folder + copy.second).c_str(), FALSE);
    write_file_bytes(folder + "macbinary.dat", std::string(128, '\0') + read_file_bytes(fixture_path("e2e/quadrants.gif")));
    write_file_bytes(folder + "macbinary.tif", std::string(128, '\0') + read_file_bytes(fixture_path("tiff/rgb_lzw.tif")));
    write_file_bytes(folder + "noise.dat", "not a picture at all");
    write_file_bytes(folder + "noise.emf", "not a picture at all");
    write_file_bytes(folder + "short.wmf", "too short");
    write_file_bytes(folder + "broken.j2k", read_file_bytes(fixture_path("jpeg2000/rgb.j2k")).substr(0, 60));

    HDC dc = CreateEnhMetaFileA(NULL, (folder + "drawing.emf").c_str(), NULL, NULL);
    Rectangle(dc, 0, 0, 50, 30);
    Ellipse(dc, 0, 0, 50, 30);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
    // Cut short: in half under the whole file's header, or its last record
    // cut under a header that counts the bytes there are.
    std::string emf = read_file_bytes(folder + "drawing.emf");
    write_file_bytes(folder + "half.emf", emf.substr(0, emf.size() / 2));
    std::string cut = emf.substr(0, emf.size() - 8);
    const uint32_t cut_size = (uint32_t)cut.size();
    memcpy(&cut[48], &cut_size, 4);  // nBytes
    write_file_bytes(folder + "last_record_cut.emf", cut);
    dc = CreateMetaFileA((folder + "drawing.wmf").c_str());
    Rectangle(dc, 0, 0, 50, 30);
    DeleteMetaFile(CloseMetaFile(dc));
    return folder;
}

class LoaderTable : public ::testing::TestWithParam<LoadCase> {
protected:
    SeamRecorder seams{24};
    HWND main = NULL, saved_main = NULL;
    char saved_dir[MAX_PATH] = "";

    void SetUp() override
    {
        static const std::string folder = make_folder();
        GetCurrentDirectoryA(sizeof saved_dir, saved_dir);
        SetCurrentDirectoryA(folder.c_str());
        main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
        CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
        CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 200, 200, main, (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
        saved_main = g_hwndMain;
        g_hwndMain = main;  // an animation's timer goes there
    }
    void TearDown() override
    {
        release_image_for_new_selection(main);
        release_current_image();
        g_hwndMain = saved_main;
        DestroyWindow(main);
        SetCurrentDirectoryA(saved_dir);
    }
};

TEST_P(LoaderTable, FileIsReadAsItsRowSays)
{
    const LoadCase& c = GetParam();
    HWND list = GetDlgItem(main, IDC_MAIN_FILE_LIST);
    SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)c.file);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    g_imageKind = KIND_NONE;
    g_hApp12Text = text_block("Ducky");  // the last JPEG's; no file here has one
    RECT preview = {0, 0, 200, 200};
    g_animDestWidth = 7;  // the last picture's frame
    g_animDestHeight = 3;
    load_selected_file(main, preview);
    EXPECT_EQ(g_hApp12Text, nullptr) << c.file;

    EXPECT_EQ(g_imageKind, c.kind) << c.file;
    EXPECT_EQ(g_fileFormat, c.format) << c.file;
    EXPECT_EQ(g_hImage != NULL || c.kind == KIND_ANIMATED_GIF, c.kind != KIND_NONE) << c.file;
    EXPECT_EQ(seams.boxes.size(), c.boxes) << c.file;
    if (c.said && !seams.boxes.empty())
        EXPECT_EQ(seams.boxes[0].text, c.said) << c.file;
    EXPECT_TRUE(c.beeps < 0 || seams.beeps.size() == (size_t)c.beeps) << c.file << " beeps " << seams.beeps.size();
    EXPECT_EQ(0, strncmp(g_infoText, c.info_start, strlen(c.info_start))) << g_infoText;
    if (c.kind == KIND_NONE)  // nothing read: the empty square of no selection
        EXPECT_EQ(g_animDestWidth, g_animDestHeight) << c.file;
    if (c.kind == KIND_WMF && g_hImage) {
        EXPECT_EQ((long)GetMetaFileBitsEx((HMETAFILE)g_hImage, 0, NULL),
                  (long)read_file_bytes(c.file).size() - (g_wmfHasPlaceable ? 22 : 0) - c.left_out_bytes) << c.file;
    }
    if (c.plays_red || c.play_is_cut) {
        GdiCanvas canvas(40, 40);
        SetMapMode(canvas.dc, MM_ANISOTROPIC);
        SetViewportExtEx(canvas.dc, 40, 40, NULL);
        map_placeable_box(canvas.dc, g_wmfHasPlaceable ? &g_wmfPlaceableHeader : NULL);
        EXPECT_EQ(play_wmf(canvas.dc, (HMETAFILE)g_hImage), c.play_is_cut ? 0 : 1) << "whole";
        EXPECT_EQ(seams.boxes.size(), c.boxes + c.play_is_cut) << c.file;
        if (c.plays_red) {
            EXPECT_EQ(canvas.at(20, 20), RGB(255, 0, 0)) << c.file;
        }
        if (c.plays_as_raw) {
            std::string raw = read_file_bytes(c.file);
            HMETAFILE own = SetMetaFileBitsEx((UINT)raw.size(), (const BYTE*)raw.data());
            GdiCanvas system(40, 40);
            SetMapMode(system.dc, MM_ANISOTROPIC);
            SetViewportExtEx(system.dc, 40, 40, NULL);
            PlayMetaFile(system.dc, own);
            DeleteMetaFile(own);
            EXPECT_EQ(canvas.count_differences(system), 0) << c.file;
        }
    }
    if (c.converts) {
        // What is written is the picture shown, and the program reads it back.
        const bool to_emf = c.kind == KIND_WMF;
        const char* written = to_emf ? "converted.emf" : "converted.wmf";
        DeleteFileA(written);
        seams.boxes.clear();
        EXPECT_EQ(convert_save_to_path(g_hImage, c.kind, written, to_emf ? FMT_EMF : FMT_WMF, 0, 0), c.converts > 0);
        ASSERT_EQ(seams.boxes.size(), 1u) << c.file;
        if (c.converts < 0) {
            EXPECT_EQ(seams.boxes[0].text, to_emf ? "The picture is too large for an enhanced metafile"
                                                  : "The picture is too large for a Windows metafile")
                << c.file;
            EXPECT_EQ(GetFileAttributesA(written), INVALID_FILE_ATTRIBUTES) << c.file;
            return;
        }
        seams.boxes.clear();
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)written);
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        load_selected_file(main, preview);
        ASSERT_EQ(g_imageKind, to_emf ? KIND_EMF : KIND_WMF) << c.file;
        EXPECT_TRUE(seams.boxes.empty()) << c.file;
        GdiCanvas canvas(60, 60);
        RECT whole = {0, 0, 60, 60};
        ASSERT_TRUE(to_emf);
        EXPECT_TRUE(play_emf(canvas.dc, (HENHMETAFILE)g_hImage, &whole));
        for (POINT p : {POINT{30, 30}, POINT{12, 12}, POINT{48, 12}, POINT{12, 48}, POINT{48, 48}})
            EXPECT_EQ(canvas.at(p.x, p.y), RGB(255, 0, 0)) << c.file << " at " << p.x << ", " << p.y;
        if (c.is_converted_back) {
            DeleteFileA("converted_back.wmf");
            EXPECT_EQ(convert_save_to_path(g_hImage, KIND_EMF, "converted_back.wmf", FMT_WMF, 0, 0), 1);
            ASSERT_EQ(seams.boxes.size(), 1u) << c.file;
            EXPECT_NE(seams.boxes[0].text, "The converted metafile would not show the same picture") << c.file;
            EXPECT_NE(GetFileAttributesA("converted_back.wmf"), INVALID_FILE_ATTRIBUTES) << c.file;
        }
    }
}

// Windows metafiles read whole: one whose play is cut and said once, and
// one played as the system's player draws the file's own bytes.
LoadCase play_cut(const char* file)
{
    LoadCase c{file, KIND_WMF, FMT_NONE};
    c.play_is_cut = true;
    return c;
}

LoadCase played_as_raw(const char* file, long left_out_bytes)
{
    LoadCase c{file, KIND_WMF, FMT_NONE};
    c.plays_red = c.plays_as_raw = true;
    c.left_out_bytes = left_out_bytes;
    return c;
}

LoadCase refused_saying(const char* file, const char* words)
{
    LoadCase c{file, KIND_NONE, FMT_NONE, -1, "", 1};
    c.said = words;
    return c;
}

LoadCase converted(const char* file, int kind, long left_out_bytes, int converts, bool is_converted_back = false)
{
    LoadCase c{file, kind, FMT_NONE};
    c.plays_red = kind == KIND_WMF;
    c.left_out_bytes = left_out_bytes;
    c.converts = converts;
    c.is_converted_back = is_converted_back;
    return c;
}

INSTANTIATE_TEST_SUITE_P(Files, LoaderTable, ::testing::Values(
    LoadCase{"still.bmp", KIND_DIB, FMT_NONE},
    LoadCase{"still.gif", KIND_DIB, FMT_GIF},
    LoadCase{"moving.gif", KIND_ANIMATED_GIF, FMT_GIF},
    LoadCase{"photo.jpg", KIND_DIB, FMT_JPEG},
    LoadCase{"macbinary.dat", KIND_DIB, FMT_GIF},
    LoadCase{"drawing.emf", KIND_EMF, FMT_NONE},
    LoadCase{"drawing.wmf", KIND_WMF, FMT_NONE},
    LoadCase{"pages.tif", KIND_DIB, FMT_TIFF},
    LoadCase{"big.tif", KIND_DIB, FMT_BIGTIFF},
    LoadCase{"macbinary.tif", KIND_DIB, FMT_TIFF},
    LoadCase{"still.png", KIND_DIB, FMT_PNG}, LoadCase{"fax.jbg", KIND_DIB, FMT_JBIG},
    LoadCase{"code.j2k", KIND_DIB, FMT_J2K},
    LoadCase{"boxed.jp2", KIND_DIB, FMT_JP2, 0, "image type: JPEG 2000 (JP2)\nwidth: 61 \nheight: 37\ndepth: 8"},
    LoadCase{"RELAX.JP2", KIND_DIB, FMT_JP2, 0, "image type: JPEG 2000 (JP2)\nwidth: 61 \nheight: 37 \nnumber"},
    LoadCase{"broken.j2k", KIND_NONE, FMT_NONE, 1, "image type: JPEG 2000 (J2K)", 1},
    LoadCase{"sun.ras", KIND_DIB, FMT_NONE},
    LoadCase{"bits.pbm", KIND_DIB, FMT_PBM}, LoadCase{"grey.pgm", KIND_DIB, FMT_PGM},
    LoadCase{"colour.ppm", KIND_DIB, FMT_PPM}, LoadCase{"alpha.pnm", KIND_DIB, FMT_PNM},
    LoadCase{"picture.pcx", KIND_DIB, FMT_NONE}, LoadCase{"picture.tga", KIND_DIB, FMT_TARGA},
    LoadCase{"picture.iff", KIND_DIB, FMT_IFF}, LoadCase{"single.ico", KIND_DIB, FMT_ICON},
    LoadCase{"sun.ico", KIND_DIB, FMT_NONE}, LoadCase{"cursor.ani", KIND_ANI, FMT_NONE},
    LoadCase{"noise.dat", KIND_NONE, FMT_NONE},
    LoadCase{"noise.emf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"half.emf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"last_record_cut.emf", KIND_NONE, FMT_NONE, -1, "", 1},
    refused_saying("plus_only.emf", "The picture is held only in EMF+ records, which this viewer does not draw"),
    LoadCase{"short.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"last_record_cut.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"no_end_record.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"odd_length_cut.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"placeable_cut.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"size_field_short.wmf", KIND_WMF, FMT_NONE},
    // Object slots: a font record whose face name ends within it is read
    // (and held whole, its 24 bytes of parameters grown to 50), and "select
    // 1" picks the red brush after it; an object left out keeps its slot
    // with a stand-in (a record too short for one grown to it), and what
    // draws with it cuts the picture.
    LoadCase{"font_short_face.wmf", KIND_WMF, FMT_NONE, -1, "", 0, true, -26},
    LoadCase{"left_out_brush.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"left_out_brush_unused.wmf", KIND_WMF, FMT_NONE, -1, "", 0, true},
    LoadCase{"brush_short.wmf", KIND_WMF, FMT_NONE, -1, "", 0, true, -4},
    LoadCase{"region_8281.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    // A create the player makes nothing of would leave its slot to the
    // red brush after it: the play stops there, cut, not blue.
    play_cut("hatch_12.wmf"), play_cut("pattern_2_planes.wmf"), play_cut("pattern_rle8.wmf"),
    // A font left out holds slot 0: the clip region in slot 1 is selected
    // as 1, and "select clip region 0" clears the clip.
    played_as_raw("clip_after_left_out.wmf", 10), played_as_raw("clip_cleared.wmf", 10),
    // Regions whose scans contradict themselves, which the player builds
    // in part: left out, and painting one cuts the picture.
    LoadCase{"region_odd_scan.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"region_ends_disagree.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    // The brush left out was selected in an older saved state only (its
    // selection is taken out).
    LoadCase{"savedc_replaced_red.wmf", KIND_WMF, FMT_NONE, -1, "", 0, true, 8},
    // Converted as shown: the records, not the blue picture their comments
    // carry, which are left out; the whole square of a box not at the
    // origin, given either way round, whose conversion back would lose the
    // window's origin and is refused; a region within the bound of an
    // enhanced metafile but past a Windows one's is too large for the
    // kind, and not written.
    converted("carrying_blue.wmf", KIND_WMF, 232, 1), converted("box_off_origin.wmf", KIND_WMF, 0, 1, true),
    converted("box_off_origin_inverted.wmf", KIND_WMF, 0, 1), converted("region_8500.emf", KIND_EMF, 0, -1),
    // A region the player joins into some 51,000 rectangles is shown whole,
    // but too large for an enhanced metafile's rules.
    LoadCase{"region_joined_51000.wmf", KIND_WMF, FMT_NONE, -1, "", 0, false, 0, false, false, -1},
    // A box 65,535 units across, past a record's window extent, is the
    // whole square converted too; one of no size is no picture, said once.
    converted("box_65535_wide.wmf", KIND_WMF, 0, 1), LoadCase{"box_zero.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    // A carried picture's comment stating fewer bytes than its "WMFC" is
    // left out all the same.
    converted("carrying_blue_count_2.wmf", KIND_WMF, 232, 1),
    // An old bitmap of two planes, of which the player makes none, cuts
    // the picture; one-bit bitmaps held as DIBs in the colours of the DC
    // (grown by 110 bytes) play as the file's own and convert red.
    LoadCase{"bitblt_2_planes.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"mono_bitmaps.wmf", KIND_WMF, FMT_NONE, -1, "", 0, true, -110, true, false, 1},
    // Saved states: more than four thousand told apart; a restore two
    // levels back to a brush left out cuts the picture; clip region 0
    // clears a clip left out.
    played_as_raw("deep_saves.wmf", 8), LoadCase{"restore_two_levels.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    played_as_raw("clip_region_cleared.wmf", 72),
    // A restore of level 1 is of the first save, before a brush left out;
    // one back takes the inner save's background, in which a one-bit
    // bitmap is drawn (grown by 54 bytes, as held in the DC's colours);
    // a colour given as a palette entry is not known, and such a bitmap
    // drawn in it cuts the picture.
    played_as_raw("restore_level_one.wmf", 8), played_as_raw("inner_background.wmf", -54),
    LoadCase{"mono_text_palette.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    LoadCase{"mono_background_palette.wmf", KIND_NONE, FMT_NONE, -1, "", 1},
    // A box of no width is no picture either, whatever its height.
    LoadCase{"box_zero_wide.wmf", KIND_NONE, FMT_NONE, -1, "", 1}));

// A 32 MB enhanced metafile of sound records, read and shown whole in the
// preview, and a 48 MB Windows one read (each copy more than the margin): one copy of its bytes is held,
// and a second only for a moment (as the system makes its metafile, or in
// the renderer's mapping). Each is then converted to the other format,
// beside which the program holds no more than the larger of that moment's
// copy and the result it writes. The renderer is given time enough for
// the conversion on a busy machine.
TEST_F(LoaderTable, LargeMetafileIsHeldInOneCopy)
{
    UnhurriedRenderer unhurried;
    // The enhanced one is shown in the preview; the larger Windows one
    // could not be played within the time a play is given on a busy machine.
    const struct {
        const char* file;
        uint64_t bytes;
        int kind;
    } pictures[] = {{"large.emf", 32u << 20, KIND_EMF}, {"large.wmf", 48u << 20, KIND_WMF}};
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.file);
        const uint64_t BYTES = picture.bytes;
        const bool is_emf = picture.kind == KIND_EMF;
        const char* converted = is_emf ? "large_converted.wmf" : "large_converted.emf";
        ASSERT_TRUE(write_file_bytes(picture.file, is_emf ? large_sound_emf(BYTES) : large_sound_wmf(BYTES)));
        SendDlgItemMessageA(main, IDC_MAIN_FILE_LIST, LB_RESETCONTENT, 0, 0);
        SendDlgItemMessageA(main, IDC_MAIN_FILE_LIST, LB_ADDSTRING, 0, (LPARAM)picture.file);
        SendDlgItemMessageA(main, IDC_MAIN_FILE_LIST, LB_SETCURSEL, 0, 0);
        const int shown = is_emf ? SW_SHOWNOACTIVATE : SW_HIDE;
        ShowWindow(main, shown);
        ShowWindow(GetDlgItem(main, IDC_MAIN_PREVIEW), shown);
        const unsigned plays = render_request_count();
        const RECT saved_preview = g_rcPreview;
        g_rcPreview = {10, 10, 190, 190};
        PeakMemoryWatch watch;
        load_selected_file(main, RECT{0, 0, 200, 200});
        const uint64_t rise = watch.rise();
        g_rcPreview = saved_preview;
        DeleteFileA(picture.file);
        ASSERT_TRUE(watch.works());
        EXPECT_EQ(g_imageKind, picture.kind);
        if (is_emf) {
            EXPECT_GT(render_request_count(), plays) << "shown in the preview";
        }
        EXPECT_TRUE(seams.boxes.empty()) << "shown whole";
        EXPECT_LT(rise, 2 * BYTES + (16u << 20)) << "peak MB: " << (rise >> 20);

        render_set_limits_for_test(600000, 0);
        PeakMemoryWatch converting;
        EXPECT_EQ(1, is_emf ? write_wmf_file((HENHMETAFILE)g_hImage, converted)
                            : write_emf_file((HMETAFILE)g_hImage, converted));
        const uint64_t conversion_rise = converting.rise();
        render_set_limits_for_test(UnhurriedRenderer::LIMIT_MS, 0);
        const uint64_t written = read_file_bytes(converted).size();
        DeleteFileA(converted);
        EXPECT_GT(written, BYTES);
        EXPECT_LT(conversion_rise, (written > BYTES ? written : BYTES) + (16u << 20))
            << "peak MB: " << (conversion_rise >> 20);
        EXPECT_TRUE(seams.boxes.empty());
        release_image_for_new_selection(main);
        release_current_image();
    }
}

}  // namespace
