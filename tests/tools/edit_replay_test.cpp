// Undo by replay: for every edit kind, edits then Undo give the image (and
// unconverted copy) that the edits but the last give on the freshly read
// file; the replay's own conversion rules; a merge file read again or gone.
#include "image/background.h"
#include "image/file_stamp.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "tools/brightness.h"
#include "tools/color_reduce.h"
#include "tools/crop_frame.h"
#include "tools/edit_replay.h"
#include "tools/grey_tone.h"
#include "tools/merge_image.h"
#include "tools/quarter_turns.h"
#include "tools/red_eye.h"
#include "tools/sphere.h"
#include "tools/text_on_image.h"
#include "tools/transform_current.h"
#include "support/unhurried_renderer.h"
#include "tools_test_util.h"

namespace {

HGLOBAL g_file;  // what the loader reads from "the file"

// The block a merge from a file records: the path, and the file's stamp as
// the merge read it.
HGLOBAL merged_file_block(const std::string& path)
{
    HGLOBAL block = GlobalAlloc(GHND, sizeof(MergeSourceFile));
    MergeSourceFile* source = (MergeSourceFile*)GlobalLock(block);
    lstrcpynA(source->path, path.c_str(), sizeof source->path);
    take_file_stamp(path.c_str(), &source->stamp);
    GlobalUnlock(block);
    return block;
}

// Record i, a merge from path, made as if the merge had read the file now
// there.
void merge_record_reads_anew(UINT i, const std::string& path)
{
    EditRecord* records = (EditRecord*)GlobalLock(g_hEditHistory);
    ASSERT_EQ(records[i].op, (UINT)EDIT_MERGE_FILE);
    GlobalFree(records[i].hData);
    records[i].hData = merged_file_block(path);
    GlobalUnlock(g_hEditHistory);
}

void reload()
{
    reset_current_image();
    g_imageKind = KIND_DIB;
    g_imageOrientation = 0;
    g_hImage = copy_packed_dib(g_file);
}

// Each edit as its command (or window) applies and records it.
void edit(int op, int arg = 0)
{
    int scratch = 0;
    switch (op) {
    case EDIT_ROTATE_CW90:
        if (g_hImageUnconverted)
            rotate_cw90(&g_hImageUnconverted, &scratch);
        rotate_cw90(&g_hImage, &g_imageOrientation);
        break;
    case EDIT_ROTATE_ANGLE:
    case EDIT_SKEW_H:
        g_rotateAngle = arg;
        // As the rotate and skew dialogs do it, the copy with the same settings.
        if (rotate_skew_current_image(&g_hImage, &g_colorConversion, &g_brightnessStep, g_baseColorTable,
                                      RGB(255, 255, 255), op) &&
            g_hImageUnconverted)
            rotate_skew_current_image(&g_hImageUnconverted, &g_colorConversion, &g_brightnessStep,
                                      g_baseColorTable, RGB(255, 255, 255), op);
        break;
    case EDIT_CROP:
        SetRect(&g_rcEditOp, 3, 2, 20, 15);
        for (HGLOBAL* h : {&g_hImageUnconverted, &g_hImage})
            if (*h) {
                HGLOBAL cut = crop_image(3, 2, 17, 13, *h);
                GlobalFree(*h);
                *h = cut;
            }
        break;
    case EDIT_RESIZE: {
        SetRect(&g_rcEditOp, 0, 0, 40, 9);
        HGLOBAL r = resize_current_image(&g_hImage, 40, 9, &g_colorConversion, &g_brightnessStep,
                                         g_baseColorTable, 0);
        GlobalFree(g_hImage);
        g_hImage = r;
        break;
    }
    case EDIT_INVERT:
        invert_current_image();
        break;
    case EDIT_COLOR_CONVERSION:
        if (arg == CONV_GREYSCALE)
            to_grayscale(&g_hImage, &g_hImageUnconverted, 0);
        else
            reduce_colors(&g_hImage, &g_hImageUnconverted, -16, 0, 1, 1);
        g_colorConversion = arg;
        break;
    case EDIT_BRIGHTER:
        step_current_brightness(1);
        break;
    case EDIT_RED_EYE: {
        const UINT points[] = {4, 4, 10, 6};
        g_hRedEyePoints = GlobalAlloc(GHND, sizeof points);
        memcpy(GlobalLock(g_hRedEyePoints), points, sizeof points);
        GlobalUnlock(g_hRedEyePoints);
        g_redEyePointCount = 2;
        fix_red_eye_points(&g_hImage, g_hRedEyePoints, 2, g_brightnessStep, g_baseColorTable);
        break;
    }
    case EDIT_FRAME:
        SetRect(&g_rcEditOp, 1, 2, 3, 4);
        g_frameColor = g_frameColorAdjusted = 0x102030;
        g_frameColorIndex = g_frameColorIndexAdjusted = 0;
        g_frameUseIndex = 0;
        if (g_hImageUnconverted)
            add_frame(&g_hImageUnconverted, 0x102030, 1, 2, 3, 4, 0, 0);
        add_frame(&g_hImage, 0x102030, 1, 2, 3, 4, 0, 0);
        break;
    case EDIT_TEXT: {
        g_hWriteText = text_block("Hi");
        memset(&g_textFont, 0, sizeof g_textFont);
        g_textFont.lfHeight = -12;
        strcpy(g_textFont.lfFaceName, "Arial");
        g_textPosX = 2;
        g_textPosY = 1;
        g_textColor = 0xFF0000;
        g_textBackColor = 0xFFFFFF;
        g_textBackgroundTransparent = 0;
        g_textAlign = 0;
        HFONT font = CreateFontIndirectA(&g_textFont);
        write_text_on_image(g_hImage, g_hImageUnconverted, g_hWriteText, font, 2, 1, 0xFF0000, 0xFFFFFF,
                            0, 0, 0, 0, NULL, g_brightnessStep, g_colorConversion);
        DeleteObject(font);
        break;
    }
    case EDIT_MERGE_CLIPBOARD:
        g_mergeKind = MERGE_RASTER;
        g_mergePlaced = 1;
        g_mergeKeyColor = RGB(255, 255, 255);
        SetRect(&g_rcMerge, -2, 5, 6, 9);
        g_hMergeImage = make_random_dib(8, 4, 24, 9);
        memset(DibBlock(g_hMergeImage, false).row(0), 255, 6);  // two key pixels
        g_hMergeMask = make_transparency_mask(g_hMergeImage, g_mergeKeyColor, -1);
        merge_into_current_image(NULL, NULL, NULL, &g_hImage, &g_hImageUnconverted, g_hMergeImage,
                                 g_hMergeMask, MERGE_RASTER, g_rcMerge, RECT{}, NULL, 1, 1,
                                 &g_colorConversion, 0, &g_brightnessStep);
        GlobalFree(g_hMergeMask);
        g_hMergeMask = NULL;
        return;  // the merge records itself
    case EDIT_SPHERE: {
        HGLOBAL ball = deform_to_sphere(g_hImage, RGB(255, 255, 255));
        GlobalFree(g_hImage);
        g_hImage = ball;
        if (g_hImageUnconverted)
            GlobalFree(g_hImageUnconverted);
        g_hImageUnconverted = NULL;
        break;
    }
    }
    push_edit_record((UINT)op, op == EDIT_COLOR_CONVERSION ? (UINT)arg : (UINT)g_colorConversion);
    if (g_hWriteText)
        GlobalFree(g_hWriteText);  // the record keeps its own copy
    g_hWriteText = NULL;
}

struct Step {
    int op, arg;
};

struct UndoCase {
    const char* name;
    int bits;
    std::vector<Step> steps;
};

class Replay : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_backgroundColorIndex = 0;
        clear_edit_history();
    }
    void TearDown() override
    {
        clear_edit_history();
        reset_current_image();
        GlobalFree(g_file);
    }
    SeamRecorder seams{24};
};

class UndoByReplay : public Replay, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(UndoByReplay, EqualsTheEditsButTheLastOnTheFreshFile)
{
    const UndoCase& c = GetParam();
    g_file = make_random_dib(23, 17, c.bits, 5);
    reload();
    for (size_t i = 0; i + 1 < c.steps.size(); ++i)
        edit(c.steps[i].op, c.steps[i].arg);
    DibBlock want(copy_packed_dib(g_hImage));
    DibBlock want_copy(g_hImageUnconverted ? copy_packed_dib(g_hImageUnconverted) : NULL);
    const int want_conversion = g_colorConversion, want_step = g_brightnessStep;
    edit(c.steps.back().op, c.steps.back().arg);
    ASSERT_EQ(g_editCount, c.steps.size());

    reload();
    undo_last_edit();
    EXPECT_EQ(g_editCount, c.steps.size() - 1);
    EXPECT_TRUE(same_image(g_hImage, want.get()));
    EXPECT_EQ(g_hImageUnconverted != NULL, want_copy.get() != NULL);
    if (want_copy && g_hImageUnconverted) {
        EXPECT_TRUE(same_image(g_hImageUnconverted, want_copy.get()));
    }
    EXPECT_EQ(g_colorConversion, want_conversion);
    EXPECT_EQ(g_brightnessStep, want_step);
    EXPECT_TRUE(seams.boxes.empty());
}

// Flips and a single edit undone are the end-to-end undo test's.
const UndoCase UNDO_CASES[] = {
    {"QuarterTurnCrop", 24, {{EDIT_ROTATE_CW90, 0}, {EDIT_CROP, 0}, {EDIT_INVERT, 0}}},
    {"ReductionThenTurnOnBoth", 24, {{EDIT_COLOR_CONVERSION, CONV_BEST_16}, {EDIT_ROTATE_ANGLE, 30}, {EDIT_BRIGHTER, 0}}},
    {"SkewResizeFrame", 8, {{EDIT_SKEW_H, 20}, {EDIT_RESIZE, 0}, {EDIT_FRAME, 0}, {EDIT_INVERT, 0}}},
    {"GreyRedEyeText", 24, {{EDIT_RED_EYE, 0}, {EDIT_COLOR_CONVERSION, CONV_GREYSCALE}, {EDIT_TEXT, 0}, {EDIT_INVERT, 0}}},
    {"MergeOfTheKeptSource", 24, {{EDIT_BRIGHTER, 0}, {EDIT_MERGE_CLIPBOARD, 0}, {EDIT_ROTATE_CW90, 0}}},
    // A palette copy is turned smoothly and reduced again under a brightness step.
    {"PaletteCopyTurnedAsTheDialogDoes", 8, {{EDIT_COLOR_CONVERSION, CONV_BEST_16}, {EDIT_BRIGHTER, 0}, {EDIT_ROTATE_ANGLE, 30}, {EDIT_INVERT, 0}}},
    {"SphereDropsTheCopy", 24, {{EDIT_COLOR_CONVERSION, CONV_BEST_16}, {EDIT_SPHERE, 0}, {EDIT_INVERT, 0}}},
};

INSTANTIATE_TEST_SUITE_P(Edits, UndoByReplay, ::testing::ValuesIn(UNDO_CASES),
                         [](const ::testing::TestParamInfo<UndoCase>& info) { return std::string(info.param.name); });

typedef Replay UndoReplayRules;

// The replay restores where the command would reduce again, and makes the
// monochrome entries pure black and white with the darker entry kept.
TEST_F(UndoReplayRules, ConversionsAlreadyMetRestoreAndMonochromeIsPure)
{
    g_file = make_random_dib(16, 8, 4, 3);
    reload();
    push_edit_record(EDIT_COLOR_CONVERSION, CONV_BEST_16);
    push_edit_record(EDIT_INVERT, 0);
    undo_last_edit();
    EXPECT_TRUE(same_image(g_hImage, g_file)) << "16 colours already: restored, not reduced";
    EXPECT_EQ(g_colorConversion, CONV_BEST_16);
    GlobalFree(g_file);

    g_file = make_random_dib(16, 8, 24, 3);
    reload();
    push_edit_record(EDIT_COLOR_CONVERSION, CONV_MONOCHROME);
    push_edit_record(EDIT_INVERT, 0);
    undo_last_edit();
    DibBlock out(g_hImage, false);
    ASSERT_EQ(out.bih->biBitCount, 1);
    const RGBQUAD* t = out.table();
    EXPECT_EQ(t[0].rgbRed + t[0].rgbGreen + t[0].rgbBlue + t[1].rgbRed + t[1].rgbGreen + t[1].rgbBlue, 3 * 255);
    EXPECT_TRUE(t[0].rgbRed == t[0].rgbGreen && t[0].rgbGreen == t[0].rgbBlue);
}

// A Windows metafile filled with one colour.
void write_filled_wmf(const std::string& path, COLORREF colour)
{
    HDC dc = CreateMetaFileA(path.c_str());
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all = {0, 0, 1000, 1000};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    DeleteMetaFile(CloseMetaFile(dc));
}

// A merge file is read again, a Windows metafile drawn as the enhanced one
// the merge draws; once the file is gone its record is passed over without
// a message and the edits after it are still replayed.
TEST_F(UndoReplayRules, MergeFileIsReadAgainAndItsLossIsPassedOver)
{
    g_file = make_dib(30, 20, 24);
    const std::string path = test_out_path("replay_merge_source.wmf");
    write_filled_wmf(path, RGB(255, 0, 0));
    reload();
    push_edit_record(EDIT_INVERT, 0);
    g_hMergePath = merged_file_block(path);
    SetRect(&g_rcMerge, 5, 2, 9, 6);
    g_mergePlaced = 0;
    push_edit_record(EDIT_MERGE_FILE, 0);
    push_edit_record(EDIT_ROTATE_CW90, 0);
    push_edit_record(EDIT_INVERT, 0);
    push_edit_record(EDIT_INVERT, 0);

    undo_last_edit();
    EXPECT_EQ(g_editCount, 4u);
    RgbImage merged = dib_to_rgb(g_hImage);
    ASSERT_EQ(merged.width, 20);
    // (x, y) of the 30 x 20 picture is (19 - y, x) once turned clockwise.
    EXPECT_EQ(merged.at(19 - 1, 4), (Rgb{0, 0, 0}));
    EXPECT_EQ(merged.at(19 - 4, 7), (Rgb{0, 255, 255})) << "red merged, then inverted";
    EXPECT_TRUE(seams.boxes.empty());

    DeleteFileA(path.c_str());
    reload();
    undo_last_edit();
    EXPECT_EQ(g_editCount, 3u) << "the merge record stays";
    EXPECT_TRUE(seams.boxes.empty());
    HGLOBAL want = copy_packed_dib(g_file);
    invert_colors(want);
    int scratch = 0;
    rotate_cw90(&want, &scratch);
    EXPECT_TRUE(same_image(g_hImage, want)) << "the turn after the lost merge is replayed";

    // A source the renderer cannot convert whole is not merged either, and
    // that is said once (the record made as if the merge had read it).
    // Its conversion takes half a minute.
    ASSERT_TRUE(CopyFileA(fixture_path("hostile\\WMF-region-fills-past-a-conversion.wmf").c_str(), path.c_str(), FALSE));
    merge_record_reads_anew(2, path);
    // Past the limit at the first look the program takes.
    render_set_limits_for_test(1, 0);
    reload();
    undo_last_edit();
    render_set_limits_for_test(0, 0);
    EXPECT_EQ(g_editCount, 2u);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Unable to play metafile in the time allowed");
    GlobalFree(want);
    want = copy_packed_dib(g_file);
    invert_colors(want);
    EXPECT_TRUE(same_image(g_hImage, want)) << "nothing of the cut picture is merged";

    // Nor is an enhanced metafile whose play its own budget cuts (a short
    // one), under the standard limit (the cut one above is gone, and
    // passed over).
    DeleteFileA(path.c_str());
    const std::string emf_path = test_out_path("replay_merge_source.emf");
    ASSERT_TRUE(write_file_bytes(emf_path, read_file_bytes(fixture_path("hostile/EMF-inverted-pairs-before-40-squares.emf"))));
    g_hMergePath = merged_file_block(emf_path);
    push_edit_record(EDIT_MERGE_FILE, 0);
    push_edit_record(EDIT_INVERT, 0);
    seams.boxes.clear();
    reload();
    render_set_play_budget_for_test(SHORT_PLAY_BUDGET_MS);
    undo_last_edit();
    render_set_play_budget_for_test(0);
    EXPECT_EQ(g_editCount, 3u);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Unable to play metafile in the time allowed");
    EXPECT_TRUE(same_image(g_hImage, want)) << "nothing of the picture its budget cut is merged";

    // A Windows metafile whose comments carry an enhanced metafile drawing
    // blue is merged as its records draw it, red, now at the first merge's
    // path (the one above is gone, and passed over).
    DeleteFileA(emf_path.c_str());
    ASSERT_TRUE(write_file_bytes(path, read_file_bytes(fixture_path("hostile/WMF-carrying-blue-emf-drawing-red.wmf"))));
    merge_record_reads_anew(2, path);
    push_edit_record(EDIT_INVERT, 0);
    seams.boxes.clear();
    reload();
    undo_last_edit();
    EXPECT_TRUE(seams.boxes.empty());
    EXPECT_EQ(dib_to_rgb(g_hImage).at(6, 3), (Rgb{255, 0, 0})) << "the records merged, not the picture they carry";
    EXPECT_EQ(dib_to_rgb(g_hImage).at(0, 0), dib_to_rgb(want).at(0, 0)) << "and nothing else";

    // Nor is one whose conversion passes the most metafile bytes the
    // program holds (a limit set low here: the 126 bytes of the file's
    // records, its font record made whole, become over 300): that is said
    // with the words for memory.
    ASSERT_TRUE(write_file_bytes(path, read_file_bytes(fixture_path("hostile/WMF-font-short-face-last.wmf"))));
    merge_record_reads_anew(2, path);
    push_edit_record(EDIT_INVERT, 0);
    seams.boxes.clear();
    render_set_metafile_limit_for_test(300);
    reload();
    undo_last_edit();
    render_set_metafile_limit_for_test(0);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "MemoryAllocation Error");
    EXPECT_TRUE(same_image(g_hImage, want)) << "nothing of the picture too large is merged";
    GlobalFree(want);
    DeleteFileA(path.c_str());
}

// A placeable Windows metafile of a box twice as wide as high, away from
// the origin, whose records fill its left half red, merged from a file, is
// merged again in that shape and place when an Undo replays the merge.
TEST_F(UndoReplayRules, AMergedPlaceableMetafileKeepsItsShape)
{
    g_file = make_dib(500, 500, 24);
    HDC mf = CreateMetaFileA(NULL);
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    RECT left_half = {1000, 1000, 2000, 2000};
    FillRect(mf, &left_half, brush);
    DeleteObject(brush);
    HMETAFILE wmf = CloseMetaFile(mf);
    std::string bits(GetMetaFileBitsEx(wmf, 0, NULL), '\0');
    GetMetaFileBitsEx(wmf, (UINT)bits.size(), (BYTE*)&bits[0]);
    DeleteMetaFile(wmf);
    WmfPlaceableHeader box = {WMF_PLACEABLE_KEY, 0, 1000, 1000, 3000, 2000, 1000, 0, 0};
    box.checksum = wmf_header_checksum(&box);
    const std::string path = test_out_path("replay_wide.wmf");
    ASSERT_TRUE(write_file_bytes(path, std::string((const char*)&box, sizeof box) + bits));
    reload();
    g_hMergePath = merged_file_block(path);
    SetRect(&g_rcMerge, 0, 0, 1, 1);
    g_mergePlaced = 0;
    push_edit_record(EDIT_MERGE_FILE, 0);
    push_edit_record(EDIT_INVERT, 0);
    undo_last_edit();
    EXPECT_TRUE(seams.boxes.empty());
    RgbImage merged = dib_to_rgb(g_hImage);
    const Rgb red = {255, 0, 0}, white = {255, 255, 255};
    int across = 0, beside = 0, down = 0;
    while (across < merged.width && merged.at(across, 2) == red)
        ++across;
    while (across + beside < merged.width && merged.at(across + beside, 2) == white)
        ++beside;
    while (down < merged.height && merged.at(2, down) == red)
        ++down;
    EXPECT_GT(down, 10);
    EXPECT_NEAR(1.0, (double)across / down, 0.05) << across << " x " << down;
    EXPECT_NEAR(1.0, (double)beside / down, 0.05) << beside << " beside";
    DeleteFileA(path.c_str());
}

// A merged file replaced by another picture is not the picture that was
// merged: the replay leaves it out rather than merge the new one, and a
// reload (whose history can no longer rebuild the picture shown) only
// draws again.
TEST_F(UndoReplayRules, AReplacedMergeFileIsNotMergedAndTheReloadOnlyDrawsAgain)
{
    const std::string shown = test_out_path("replay_shown.bmp"), source = test_out_path("replay_patch.wmf");
    ASSERT_TRUE(write_file_bytes(shown, "the shown file"));
    FileStamp loaded;
    ASSERT_TRUE(take_file_stamp(shown.c_str(), &loaded));
    // The file read, as the loader takes it.
    auto reload_shown = [&] {
        reload();
        lstrcpynA(g_filePath, shown.c_str(), MAX_PATH);
        g_fileSize = loaded.size;
        g_fileWriteTime = loaded.written;
    };
    g_file = make_dib(30, 20, 24);
    write_filled_wmf(source, RGB(255, 0, 0));
    reload_shown();
    g_hMergePath = merged_file_block(source);
    SetRect(&g_rcMerge, 5, 2, 9, 6);
    g_mergePlaced = 0;
    push_edit_record(EDIT_MERGE_FILE, 0);
    push_edit_record(EDIT_INVERT, 0);
    EXPECT_TRUE(edits_survive_reload());

    FileStamp merged;
    ASSERT_TRUE(take_file_stamp(source.c_str(), &merged));
    write_filled_wmf(source, RGB(0, 0, 255));
    // Written later than the merge read it, whatever the clock's steps.
    HANDLE file = CreateFileA(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME later = merged.written;
    later.dwHighDateTime += 1;
    SetFileTime(file, NULL, NULL, &later);
    CloseHandle(file);
    EXPECT_FALSE(edits_survive_reload());
    reload_shown();
    replay_edit_history();
    HGLOBAL want = copy_packed_dib(g_file);
    invert_colors(want);
    EXPECT_TRUE(same_image(g_hImage, want)) << "the new picture is not merged";
    GlobalFree(want);
    EXPECT_TRUE(seams.boxes.empty());
    g_filePath[0] = '\0';
    DeleteFileA(source.c_str());
    DeleteFileA(shown.c_str());
}

// An icon file: 6 x 4 red pixels, 24 bits, whose AND mask leaves the left
// three columns transparent.
std::string write_icon_file(const std::string& name)
{
    const int w = 6, h = 4, xor_stride = 20, and_stride = 4;
    std::string data(40 + (xor_stride + and_stride) * h, '\0');
    BITMAPINFOHEADER bih = {};
    bih.biSize = 40;
    bih.biWidth = w;
    bih.biHeight = 2 * h;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    memcpy(&data[0], &bih, 40);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            data[40 + y * xor_stride + 3 * x + 2] = '\xff';
        data[40 + xor_stride * h + y * and_stride] = '\xe0';
    }
    std::string file("\0\0\1\0\1\0", 6);
    const BYTE entry[16] = {w, h, 0, 0, 1, 0, 24, 0, (BYTE)data.size(), 0, 0, 0, 22, 0, 0, 0};
    file.append((const char*)entry, 16);
    file += data;
    const std::string path = test_out_path(name);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    WriteFile(f, file.data(), (DWORD)file.size(), &written, NULL);
    CloseHandle(f);
    return path;
}

// A merged icon is drawn again through its own mask, placed transparently
// or over the background.
TEST_F(UndoReplayRules, MergedIconIsReplayedThroughItsMask)
{
    const std::string path = write_icon_file("replay_merge_source.ico");
    g_file = make_dib(30, 20, 24);
    for (int placed : {1, 0}) {
        reload();
        g_hMergePath = merged_file_block(path);
        SetRect(&g_rcMerge, 10, 5, 16, 9);
        g_mergePlaced = placed;
        push_edit_record(EDIT_MERGE_FILE, 0);
        push_edit_record(EDIT_INVERT, 0);
        undo_last_edit();
        EXPECT_EQ(g_editCount, 1u);
        RgbImage merged = dib_to_rgb(g_hImage);
        EXPECT_EQ(merged.at(14, 6), (Rgb{255, 0, 0})) << placed << ": the opaque half";
        EXPECT_EQ(merged.at(11, 6), placed ? (Rgb{0, 0, 0}) : (Rgb{255, 255, 255}))
            << placed << ": the transparent half";
        EXPECT_EQ(merged.at(20, 6), (Rgb{0, 0, 0})) << placed;
        clear_edit_history();
    }
    EXPECT_TRUE(seams.boxes.empty());
    DeleteFileA(path.c_str());
}

}  // namespace
