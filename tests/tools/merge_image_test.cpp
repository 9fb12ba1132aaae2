// Merging: opaque, key-colour and alpha sources give the expected pixels at
// their placement and leave the rest; the masks; a failed merge keeps the
// image, and a metafile source that could not be drawn whole is said.
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "tools/merge_image.h"
#include "support/unhurried_renderer.h"
#include "tools_test_util.h"

namespace {

const Rgb KEY = {255, 255, 255};

struct MergeCase {
    const char* name;
    int kind;
    int transparent;
    int left, top;
};

// A 24-bit source whose first row holds key pixels, or a 32-bit one whose
// alpha runs 0, 128, 255 along each row.
HGLOBAL make_source(int kind)
{
    if (kind == MERGE_PARTIAL_ALPHA) {
        HGLOBAL h = make_random_dib(6, 4, 32, 21);
        DibBlock dib(h, false);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                dib.row(y)[4 * x + 3] = (BYTE)(x % 3 == 0 ? 0 : x % 3 == 1 ? 128 : 255);
        return h;
    }
    HGLOBAL h = make_random_dib(6, 4, 24, 21);
    memset(DibBlock(h, false).row(3), 255, 9);  // top row: three key pixels
    return h;
}

Rgb expected(const MergeCase& c, const RgbImage& image, HGLOBAL hSource, int x, int y)
{
    const Rgb under = image.at(x, y);
    const int sx = x - c.left, sy = y - c.top;
    if (sx < 0 || sy < 0 || sx >= 6 || sy >= 4)
        return under;
    DibBlock src(hSource, false);
    uint8_t s[4];
    src.rgba(sx, sy, s);
    const Rgb source = {s[0], s[1], s[2]};
    if (!c.transparent)
        return source;
    if (c.kind == MERGE_RASTER)
        return source == KEY ? under : source;
    const int a = s[3];
    return {(s[0] * a + under.r * (255 - a)) / 255, (s[1] * a + under.g * (255 - a)) / 255,
            (s[2] * a + under.b * (255 - a)) / 255};
}

class Merge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(Merge, PlacesTheSourceAndLeavesTheRest)
{
    const MergeCase& c = GetParam();
    clear_edit_history();
    // Alpha sources go onto a palette image: its colours come from the table.
    HGLOBAL image = make_random_dib(20, 12, c.kind == MERGE_PARTIAL_ALPHA ? 8 : 24, 8);
    HGLOBAL unconverted = copy_packed_dib(image);
    const RgbImage before = dib_to_rgb(image);
    HGLOBAL source = make_source(c.kind);
    g_hMergeImage = source;
    HGLOBAL mask = NULL;
    if (c.transparent)
        mask = c.kind == MERGE_RASTER ? make_transparency_mask(source, RGB(255, 255, 255), -1)
                                      : create_dib24(6, 4);
    RECT placement = {c.left, c.top, c.left + 6, c.top + 4};
    int conversion = CONV_BEST_16, step = 3;
    ASSERT_EQ(merge_into_current_image(NULL, NULL, NULL, &image, &unconverted, source, mask, c.kind,
                                       placement, RECT{}, NULL, c.transparent, 1, &conversion, 0, &step),
              1);
    const RgbImage after = dib_to_rgb(image);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(after.at(x, y), expected(c, before, source, x, y)) << x << "," << y;
    EXPECT_EQ(dib_bit_count(image), 24);
    EXPECT_EQ(unconverted, nullptr);
    EXPECT_EQ(conversion * 100 + step, 0);
    // The clipboard's source now belongs to the record alone.
    EXPECT_EQ(g_hMergeImage, nullptr);
    EXPECT_EQ(((EditRecord*)GlobalLock(g_hEditHistory))[1].hData, source);
    GlobalUnlock(g_hEditHistory);
    clear_edit_history();
    GlobalFree(image);
    if (mask)
        GlobalFree(mask);
}

// Wholly inside, opaque and keyed, is the end-to-end merge test's.
const MergeCase MERGE_CASES[] = {
    {"OpaquePartlyOutside", MERGE_RASTER, 0, -2, -1},
    {"KeyColourAtTheCorner", MERGE_RASTER, 1, 17, 10},
    {"PartialAlpha", MERGE_PARTIAL_ALPHA, 1, 5, 3},
    {"PartialAlphaPartlyOutside", MERGE_PARTIAL_ALPHA, 1, -3, 9},
    {"AlphaIgnoredWhenOpaque", MERGE_PARTIAL_ALPHA, 0, 1, 1},
};

INSTANTIATE_TEST_SUITE_P(Kinds, Merge, ::testing::ValuesIn(MERGE_CASES),
                         [](const ::testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

// A window without a device context: nothing drawn, nothing replaced (the
// picture must not turn black), no record.
TEST(MergeImage, FailedDrawingKeepsTheImage)
{
    clear_edit_history();
    HGLOBAL image = make_random_dib(9, 7, 8, 2), kept = image, unconverted = NULL;
    HGLOBAL source = make_source(MERGE_RASTER);
    int conversion = 0, step = 0;
    RECT placement = {0, 0, 6, 4};
    EXPECT_EQ(merge_into_current_image(NULL, NULL, (HWND)(UINT_PTR)0x7FFFFF0, &image, &unconverted, source, NULL,
                                       MERGE_RASTER, placement, RECT{}, NULL, 0, 0, &conversion, 0, &step),
              0);
    EXPECT_EQ(image, kept);
    EXPECT_EQ(g_editCount, 0u);
    EXPECT_EQ(merge_image_into_dib(image, NULL, NULL, MERGE_RASTER, NULL, NULL, NULL, placement, RECT{}, NULL, 0), 0);
    GlobalFree(image);
    GlobalFree(source);
    clear_edit_history();
}

// A metafile source the renderer cuts is not merged into the picture, nor
// recorded: the picture stays as it was and the refusal is said once,
// whether the cut comes in the merge's own play or came before it (the
// merge window's display), and each time the merge is asked for.
TEST(MergeImage, ACutMetafileSourceIsSaidAndNotMerged)
{
    SeamRecorder seams(24);
    clear_edit_history();
    const struct {
        const char* name;
        HENHMETAFILE emf;
        DWORD limit_ms;   // 0: the standard limit
        DWORD budget_ms;  // 0: the standard play budget
    } sources[] = {
        // Past the limit at the first look the program takes: region fills
        // of half a minute, whatever the scale.
        {"past a 1 ms limit", GetEnhMetaFileA(fixture_path("hostile/EMF-region-fills-past-a-conversion.emf").c_str()), 1,
         0},
        {"past its own play budget",
         GetEnhMetaFileA(fixture_path("hostile/EMF-inverted-pairs-before-40-squares.emf").c_str()), 0,
         SHORT_PLAY_BUDGET_MS},
    };
    HGLOBAL image = make_random_dib(24, 16, 24, 5), kept = image, unconverted = NULL;
    HGLOBAL before = copy_packed_dib(image);
    int conversion = 0, step = 0;
    for (const auto& source : sources) {
        ASSERT_NE(source.emf, (HENHMETAFILE)NULL) << source.name;
        render_set_limits_for_test(source.limit_ms, 0);
        render_set_play_budget_for_test(source.budget_ms);
        for (const char* when : {"cut in the merge", "cut before"}) {
            SCOPED_TRACE(std::string(source.name) + ", " + when);
            EXPECT_EQ(merge_into_current_image(NULL, NULL, NULL, &image, &unconverted, (HGLOBAL)source.emf, NULL,
                                               MERGE_EMF, RECT{0, 0, 20, 10}, RECT{},
                                               (HBRUSH)GetStockObject(WHITE_BRUSH), 1, 0, &conversion, 0, &step),
                      0);
            EXPECT_EQ(image, kept);
            EXPECT_TRUE(same_image(image, before));
            EXPECT_EQ(g_editCount, 0u);
            ASSERT_EQ(seams.boxes.size(), 1u);
            EXPECT_EQ(seams.boxes[0].text, "Unable to play metafile in the time allowed");
            seams.boxes.clear();
        }
        render_set_limits_for_test(0, 0);
        render_set_play_budget_for_test(0);
        DeleteEnhMetaFile(source.emf);
    }
    forget_failed_metafiles(NULL);
    GlobalFree(image);
    GlobalFree(before);
}

// A cursor is drawn pixel by pixel: its transparent pixels (mask set, index
// 0) white and its inverting ones (mask set, another index) black when
// opaque; left alone and inverted when transparent.
TEST(MergeImage, DrawsACursorPixelByPixel)
{
    const Rgb red = {255, 0, 0}, green = {0, 255, 0}, white = {255, 255, 255}, black = {0, 0, 0};
    HGLOBAL source = make_dib(2, 2, 8, {quad(0, 0, 0), quad(255, 0, 0), quad(0, 255, 0)});
    HGLOBAL mask = make_dib(2, 2, 1, {quad(0, 0, 0), quad(255, 255, 255)});
    {
        DibBlock s(source, false), m(mask, false);
        const BYTE bottom[] = {1, 0}, top[] = {2, 2};  // red, transparent; inverting, green
        memcpy(s.row(0), bottom, 2);
        memcpy(s.row(1), top, 2);
        m.row(0)[0] = 0x40;
        m.row(1)[0] = 0x80;
    }
    g_iconIsCursor = 1;
    for (int transparent = 0; transparent < 2; ++transparent) {
        clear_edit_history();
        HGLOBAL image = make_random_dib(5, 4, 24, 6), unconverted = NULL;
        const RgbImage before = dib_to_rgb(image);
        int conversion = 0, step = 0;
        ASSERT_EQ(merge_into_current_image(NULL, NULL, NULL, &image, &unconverted, source, mask, MERGE_ICON,
                                           RECT{1, 1, 3, 3}, RECT{}, (HBRUSH)GetStockObject(WHITE_BRUSH),
                                           transparent, 0, &conversion, 1, &step),
                  1);
        const RgbImage after = dib_to_rgb(image);
        const Rgb under = before.at(1, 1), inverted = {255 - under.r, 255 - under.g, 255 - under.b};
        EXPECT_EQ(after.at(1, 1), transparent ? inverted : black);
        EXPECT_EQ(after.at(2, 1), green);
        EXPECT_EQ(after.at(1, 2), red);
        EXPECT_EQ(after.at(2, 2), transparent ? before.at(2, 2) : white);
        EXPECT_EQ(after.at(3, 2), before.at(3, 2));
        GlobalFree(image);
    }
    g_iconIsCursor = 0;
    GlobalFree(source);
    GlobalFree(mask);
}

// A clipboard metafile merged and then dropped from the history is deleted
// as a metafile (a GlobalFree of its handle would leak it).
TEST(MergeImage, HistoryDeletesAClipboardMetafileSource)
{
    clear_edit_history();
    HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    Rectangle(dc, 0, 0, 5, 5);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    ASSERT_EQ(GetObjectType(emf), (DWORD)OBJ_ENHMETAFILE);
    HGLOBAL image = make_random_dib(8, 8, 24, 3), unconverted = NULL;
    int conversion = 0, step = 0;
    g_hMergeImage = (HGLOBAL)emf;
    g_mergeKind = MERGE_EMF;
    RECT placement = {0, 0, 5, 5};
    ASSERT_EQ(merge_into_current_image(NULL, NULL, NULL, &image, &unconverted, g_hMergeImage, NULL, MERGE_EMF,
                                       placement, RECT{}, (HBRUSH)GetStockObject(WHITE_BRUSH), 1, 1, &conversion, 0,
                                       &step),
              1);
    g_mergeKind = MERGE_NONE;
    clear_edit_history();
    EXPECT_EQ(GetObjectType(emf), 0u);
    GlobalFree(image);
}

// Which pixels each source depth masks for a key: 16 bits compare in 5-5-5,
// 32 bits take alpha 0 for a key index, 4 bits the index or its colour.
TEST(TransparencyMask, SetsTheBitsOfTheKeyedPixels)
{
    HGLOBAL s16 = make_dib(3, 1, 16), s32 = make_dib(3, 1, 32);
    HGLOBAL s4 = make_dib(3, 1, 4, {quad(7, 7, 7), quad(1, 2, 3), quad(7, 7, 7)});
    const WORD words[] = {(31 << 10) | (1 << 5) | 12, (31 << 10) | (1 << 5) | 13, 0};
    const BYTE bgra[] = {1, 2, 3, 0, 9, 9, 9, 255, 1, 2, 3, 255}, nibbles[] = {0x12, 0x00};
    memcpy(DibBlock(s16, false).row(0), words, sizeof words);
    memcpy(DibBlock(s32, false).row(0), bgra, sizeof bgra);
    memcpy(DibBlock(s4, false).row(0), nibbles, sizeof nibbles);
    const struct {
        HGLOBAL source;
        COLORREF key;
        int index;
        BYTE bits;  // mask bits of the three pixels, top bit first
    } cases[] = {
        {s16, RGB(250, 10, 100), -1, 0x80}, {s16, RGB(255, 15, 103), -1, 0x80}, {s32, RGB(3, 2, 1), 0, 0x80},
        {s32, RGB(3, 2, 1), -1, 0xA0},      {s4, RGB(0, 0, 0), 2, 0x40},         {s4, RGB(7, 7, 7), -1, 0x60},
    };
    for (const auto& c : cases) {
        DibBlock mask(make_transparency_mask(c.source, c.key, c.index));
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask.bih->biBitCount, 1);
        EXPECT_EQ(mask.row(0)[0], c.bits) << c.index;
        EXPECT_EQ(mask.table()[1].rgbRed + mask.table()[0].rgbRed, 255);
    }
    GlobalFree(s16);
    GlobalFree(s32);
    GlobalFree(s4);
}

}  // namespace
