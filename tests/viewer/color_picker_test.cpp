// The colour picker's purpose, its fields' values and the palette window's
// grid and transparent entry, beyond the end-to-end palette test's entry 0.
#include <gtest/gtest.h>

#include <string>

#include "image/background.h"
#include "image/current_image.h"
#include "tests/support/dib_block.h"
#include "viewer/color_picker.h"
#include "viewer/palette_window.h"

namespace {

TEST(ColorPicker, PurposeFollowsTheOpenWindowsInOrder)
{
    struct Case {
        int palette, nearest, frame, text, merge, expected;
    } cases[] = {
        {1, 1, 1, 1, 1, PICK_NEAREST},
        {0, 1, 0, 0, 0, PICK_BACKGROUND},  // nearest only means something in the palette window
        {1, 0, 1, 0, 0, PICK_FRAME},       // a frame colour chosen from the palette window
        {1, 0, 0, 1, 0, PICK_TEXT},
        {1, 0, 0, 0, 1, PICK_PALETTE_ENTRY},
        {0, 0, 0, 0, 1, PICK_MERGE_KEY},
    };
    for (const Case& c : cases)
        EXPECT_EQ(picker_purpose(c.palette, c.nearest, c.frame, c.text, c.merge), c.expected)
            << c.palette << c.nearest << c.frame << c.text << c.merge;
}

TEST(ColorPicker, FieldValuesAreClampedToAChannel)
{
    struct Case {
        const char* text;
        int expected;
    } cases[] = {{"300", 255}, {"abc", 0}, {"", 0}, {"100+28", 128}, {"0-5", 0}};
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(picker_channel_value(&text[0]), c.expected) << c.text;
    }
}

TEST(PaletteWindow, GridShapeFromTheColourCount)
{
    struct Case {
        uint32_t used;
        int bit_count, bits, count, rows, columns;
    } cases[] = {
        {2, 8, 1, 2, 1, 2},     {32, 8, 5, 32, 4, 8},  {33, 8, 6, 33, 8, 8},
        {0, 4, 4, 16, 4, 4},    {0, 8, 8, 256, 16, 16}, {3, 4, 2, 3, 2, 2},
        {1000, 8, 8, 256, 16, 16},  // more than a table can hold
    };
    for (const Case& c : cases) {
        int bits, count, rows, columns;
        palette_grid_shape(c.used, c.bit_count, &bits, &count, &rows, &columns);
        EXPECT_EQ(bits, c.bits) << c.used;
        EXPECT_EQ(count, c.count) << c.used;
        EXPECT_EQ(rows, c.rows) << c.used;
        EXPECT_EQ(columns, c.columns) << c.used;
    }
}

TEST(PaletteWindow, ClicksOnTheFirstPixelOrOutsideFindNoCell)
{
    struct Case {
        int at, size, n, expected;
    } cases[] = {
        {0, 101, 2, -1},  {1, 101, 2, 0},  {50, 101, 2, 0}, {51, 101, 2, 1},
        {100, 101, 2, 1}, {101, 101, 2, -1}, {-3, 101, 2, -1}, {5, 1, 2, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(palette_grid_cell(c.at, c.size, c.n), c.expected) << c.at << " of " << c.size;
}

// A 4-entry image whose entry 1 is transparent, shown in magenta on a
// white background.
class PaletteEntryChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        image.reset(make_dib(2, 2, 8, {quad(10, 10, 10), quad(255, 255, 255), quad(0, 0, 200), quad(0, 90, 0)}, 4));
        g_hasTransparency = 1;
        g_transparentIndex = 1;
        g_transparentDisplayColor = 0xFF00FF;  // blue first: magenta
        g_backgroundColorIndex = 0;
    }
    void TearDown() override { g_hasTransparency = 0; }
    COLORREF entry(int i) const
    {
        const RGBQUAD& q = image.table()[i];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    DibBlock image;
};

TEST_F(PaletteEntryChoice, TickingAnotherEntryGivesTheOldOneItsDisplayColourBack)
{
    image.unlock();
    EXPECT_EQ(apply_palette_entry_choice(image.get(), 2, RGB(1, 2, 3), RGB(0, 0, 200), 1, 0), 1);
    image.lock();
    EXPECT_EQ(entry(1), RGB(255, 0, 255));
    EXPECT_EQ(entry(2), background_color(0)) << "the transparent entry stands on the background";
    EXPECT_EQ(g_transparentIndex, 2);
    EXPECT_EQ(g_transparentDisplayColor, 0x010203u);
}

TEST_F(PaletteEntryChoice, UntickingTheTransparentEntryEndsTransparency)
{
    image.unlock();
    EXPECT_EQ(apply_palette_entry_choice(image.get(), 1, RGB(9, 8, 7), RGB(255, 0, 255), 0, 1), 1);
    image.lock();
    EXPECT_EQ(g_hasTransparency, 0);
    EXPECT_EQ(entry(1), RGB(9, 8, 7));
}

TEST_F(PaletteEntryChoice, AnIndexPastTheTableWritesNothing)
{
    std::vector<BYTE> before((BYTE*)image.bih, (BYTE*)image.bih + GlobalSize(image.get()));
    image.unlock();
    // A transparent index from an earlier, larger table.
    g_transparentIndex = 200;
    EXPECT_EQ(apply_palette_entry_choice(image.get(), 200, RGB(1, 2, 3), RGB(0, 0, 0), 0, 0), -1);
    EXPECT_EQ(apply_palette_entry_choice(image.get(), 3, RGB(1, 2, 3), RGB(0, 90, 0), 1, 0), 1);
    image.lock();
    EXPECT_EQ(entry(3), background_color(0));
    EXPECT_EQ(memcmp(before.data(), image.bih, sizeof(BITMAPINFOHEADER) + 3 * sizeof(RGBQUAD)), 0)
        << "entries 0 to 2 untouched, no old entry 200 written";
    EXPECT_EQ(memcmp(before.data() + sizeof(BITMAPINFOHEADER) + 4 * sizeof(RGBQUAD),
                     (BYTE*)image.bih + sizeof(BITMAPINFOHEADER) + 4 * sizeof(RGBQUAD), 4 * 2),
              0)
        << "pixels untouched";
}

}  // namespace
