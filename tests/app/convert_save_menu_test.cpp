// The Convert/Save menu offers a format for a bitmap only once its writer is
// in the format table: an entry that did nothing when chosen would be lost
// work for the user.
#include <gtest/gtest.h>

#include <cstring>

#include "app/convert_save.h"
#include "app/main_commands.h"
#include "app/main_menu.h"
#include "image/current_image.h"
#include "resources/resource.h"

namespace {

struct SaveEntry {
    const char* name;
    int popup;    // -1: a command item
    int command;  // the entry's command, or one in its popup
};

class ConvertSaveMenu : public ::testing::TestWithParam<SaveEntry> {};

MenuFacts bitmap_facts()
{
    MenuFacts f;
    std::memset(&f, 0, sizeof f);
    f.display_bits = 32;
    f.kind = KIND_DIB;
    f.has_image = 1;
    f.bit_count = f.original_bit_count = f.save_bit_count = 24;
    return f;
}

UINT expected_state(int code)
{
    return save_format_has_writer(code) ? MFS_ENABLED : MFS_GRAYED;
}

TEST_P(ConvertSaveMenu, EntryIsOfferedExactlyWhenItsFormatHasAWriter)
{
    const SaveEntry& e = GetParam();
    MenuFacts f = bitmap_facts();
    MenuItemChange changes[MENU_ITEM_RECORDS];
    int n = compute_main_menu_changes(&f, changes);
    UINT state = 0;
    for (int i = 0; i < n; ++i)
        if (e.popup >= 0 ? changes[i].popup == e.popup : changes[i].popup < 0 && changes[i].id == e.command)
            state = changes[i].state;
    const SaveCommand* command = find_save_command(e.command);
    ASSERT_NE(command, nullptr) << e.name;
    EXPECT_EQ(state, expected_state(command->code)) << e.name;
}

INSTANTIATE_TEST_SUITE_P(Entries, ConvertSaveMenu, ::testing::Values(
    SaveEntry{"BMP", POPUP_BMP, IDM_MAIN_SAVE_BMP},
    SaveEntry{"GIF", POPUP_GIF, IDM_MAIN_SAVE_GIF},
    SaveEntry{"IFF", POPUP_IFF, IDM_MAIN_SAVE_IFF},
    SaveEntry{"JPG", POPUP_JPG, IDM_MAIN_SAVE_JPEG},
    SaveEntry{"PNG", POPUP_PNG, IDM_MAIN_SAVE_PNG},
    SaveEntry{"TGA", POPUP_TGA, IDM_MAIN_SAVE_TGA},
    SaveEntry{"TIF", POPUP_TIF, IDM_MAIN_SAVE_TIFF_FIRST},
    SaveEntry{"Experts", POPUP_EXPERTS, IDM_MAIN_SAVE_JPEG_LOSSLESS},
    SaveEntry{"JBG", -1, IDM_MAIN_SAVE_JBIG},
    SaveEntry{"PCX", -1, IDM_MAIN_SAVE_PCX}));

TEST(ConvertSaveMenu, PnmFamilyEntryIsGreyedWhileItsFormatHasNoWriter)
{
    MenuFacts f = bitmap_facts();
    EXPECT_EQ(choose_pnm_family_item(&f).state, expected_state(FMT_PPM));
}

}  // namespace
