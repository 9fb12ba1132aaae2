// The image window's menu states for the facts of the current image, the
// Center/Tile label, greying of commands whose workers are missing, and
// the shrinking that fits a picture into the window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/main_menu.h"
#include "image/current_image.h"
#include "resources/resource.h"
#include "viewer/image_window.h"
#include "viewer/image_window_commands.h"
#include "viewer/image_window_menu.h"

namespace {

MenuFacts facts_for(int kind, int bits)
{
    MenuFacts f;
    std::memset(&f, 0, sizeof f);
    f.display_bits = 32;
    f.kind = kind;
    f.has_image = kind != KIND_NONE;
    f.format = kind == KIND_DIB ? FMT_BMP : kind == KIND_EMF ? FMT_EMF : FMT_WMF;
    f.bit_count = f.original_bit_count = f.save_bit_count = bits;
    f.color_count = bits <= 8 ? 1 << bits : 0;
    f.file_readable = 1;
    return f;
}

// The state the menu ends with for an item (the last change wins), and its
// label; "none" when no change names it.
std::string state_of(const MenuFacts& f, int tile_mode, int id, std::string* label = NULL)
{
    MenuItemChange changes[VIEW_MENU_CHANGES];
    int n = compute_view_menu_changes(&f, tile_mode, changes);
    std::string state = "none";
    for (int i = 0; i < n; ++i) {
        if (changes[i].popup >= 0 || changes[i].id != id)
            continue;
        state = changes[i].state == MFS_GRAYED ? "greyed" : changes[i].state == MFS_CHECKED ? "checked" : "enabled";
        if (label && changes[i].label)
            *label = changes[i].label;
    }
    return state;
}

struct StateRow {
    const char* name;
    int kind, bits;
    int comment, clipboard;   // a comment is held; the clipboard offers an image
    int id;
    const char* state;
    const char* label;        // null: not checked
    int display_bits = 32;
    int black_white = 0;      // the image has a black-and-white palette
};

class ViewMenuStateTable : public ::testing::TestWithParam<StateRow> {};

TEST_P(ViewMenuStateTable, ItemGetsItsState)
{
    const StateRow& row = GetParam();
    MenuFacts f = facts_for(row.kind, row.bits);
    f.comment_present = row.comment;
    f.clipboard_has_image = row.clipboard;
    f.display_bits = row.display_bits;
    f.is_black_white = f.shown_black_white = row.black_white;
    std::string label;
    EXPECT_EQ(state_of(f, 0, row.id, &label), row.state) << row.name;
    if (row.label)
        EXPECT_EQ(label, row.label) << row.name;
}

INSTANTIATE_TEST_SUITE_P(Rules, ViewMenuStateTable, ::testing::Values(
    // The main menu's rules (app's tests) land on this menu's own ids: one
    // row per kind of fact.
    StateRow{"16-bit image offers 5-5-5", KIND_DIB, 16, 0, 0, IDM_VIEW_SAVE_BMP_555, "enabled", "RGB 5 &5 5"},
    StateRow{"24-bit image greys RLE", KIND_DIB, 24, 0, 0, IDM_VIEW_SAVE_BMP_RLE, "greyed", "&RLE Compression"},
    StateRow{"an image to paste", KIND_DIB, 24, 0, 1, IDM_VIEW_PASTE_CLIPBOARD, "enabled", NULL},
    StateRow{"an EMF saves as WMF", KIND_EMF, 0, 0, 0, IDM_VIEW_SAVE_WMF, "enabled", NULL},
    StateRow{"a comment to view", KIND_DIB, 24, 1, 0, IDM_VIEW_VIEW_COMMENT, "enabled", NULL},
    StateRow{"JBIG is written in strips only", KIND_DIB, 1, 0, 0, IDM_VIEW_SAVE_TIFF_JBIG_T, "greyed", NULL},
    // A file without a comment writer greys the insert item here too.
    StateRow{"insert comment", KIND_DIB, 24, 0, 0, IDM_VIEW_INSERT_COMMENT, "greyed", NULL},
    // Below 8 display bits the 16 standard colours are for black and white
    // only here (the main menu offers them to every other bitmap).
    StateRow{"16 colours, bw, 4-bit display", KIND_DIB, 1, 0, 0, IDM_VIEW_STANDARD_16, "enabled", NULL, 4, 1},
    StateRow{"16 colours, colour, 4-bit display", KIND_DIB, 8, 0, 0, IDM_VIEW_STANDARD_16, "greyed", NULL, 4, 0},
    StateRow{"16 colours, bw, 32-bit display", KIND_DIB, 1, 0, 0, IDM_VIEW_STANDARD_16, "greyed", NULL, 32, 1},
    // Built commands without rules are left enabled.
    StateRow{"crop", KIND_DIB, 24, 0, 0, IDM_VIEW_CROP, "none", NULL}));

TEST(ViewMenuStates, CenterItemNamesTheOtherMode)
{
    MenuFacts f = facts_for(KIND_DIB, 24);
    std::string label;
    state_of(f, 0, IDM_VIEW_CENTER_TOGGLE, &label);
    EXPECT_EQ(label, "&Tile\tCtrl+T");
    state_of(f, 1, IDM_VIEW_CENTER_TOGGLE, &label);
    EXPECT_EQ(label, "&Center\tCtrl+C");
}

TEST(ViewCommands, EveryMenuIdPairsBothWays)
{
    // A pair listed twice, or a view id given to two main ids, would send a
    // command or a state to the wrong item.
    for (int id = 100; id < 330; ++id) {
        int main_id = main_command_for_view(id);
        if (main_id)
            EXPECT_EQ(view_command_for_main(main_id), id) << id;
    }
}

struct ShrinkRow {
    int area_w, area_h, w, h, want_w, want_h;
};

class ShrinkToArea : public ::testing::TestWithParam<ShrinkRow> {};

TEST_P(ShrinkToArea, ShrinksByNineTenthsUntilSmaller)
{
    const ShrinkRow& r = GetParam();
    int w = r.w, h = r.h;
    shrink_to_area(r.area_w, r.area_h, &w, &h);
    EXPECT_EQ(w, r.want_w);
    EXPECT_EQ(h, r.want_h);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ShrinkToArea, ::testing::Values(
    ShrinkRow{101, 101, 100, 50, 100, 50},   // smaller: own size, never enlarged
    ShrinkRow{100, 100, 100, 50, 90, 45},    // as wide as the area: one step
    ShrinkRow{100, 100, 50, 120, 40, 97},    // two steps for the height
    ShrinkRow{1, 1, 5, 7, 1, 1},             // smallest picture, then stop
    ShrinkRow{500, 0, 80, 40, 80, 40},       // no image area: left alone, no endless loop
    ShrinkRow{500, -20, 80, 40, 80, 40}));

}  // namespace
