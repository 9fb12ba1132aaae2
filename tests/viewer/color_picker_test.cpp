// The colour picker's purpose, its fields' values and the palette window's
// grid: which cell a click lands on and how the grid is shaped.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
