// The main menu: item states computed from the facts of the current image,
// the tree as built, and the states applied when the menu opens.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/convert_save.h"
#include "app/main_commands.h"
#include "app/main_menu.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/dib_block.h"
#include "tools/edit_history.h"

namespace {

MenuFacts facts_for(int kind, int bits, int colors, int display_bits = 32)
{
    MenuFacts f;
    std::memset(&f, 0, sizeof f);
    f.display_bits = display_bits;
    f.kind = kind;
    f.has_image = kind != KIND_NONE;
    f.format = kind == KIND_DIB ? FMT_BMP : FMT_NONE;
    f.bit_count = bits;
    f.color_count = colors;
    f.original_bit_count = bits;
    f.save_bit_count = bits;
    f.file_readable = 1;
    return f;
}

struct Found {
    bool present = false;
    UINT state = 0;
    std::string label;
};

UINT writer_state(int code)
{
    return save_format_has_writer(code) ? MFS_ENABLED : MFS_GRAYED;
}

Found find_change(const MenuFacts& f, int id, int popup = -1)
{
    MenuItemChange changes[MENU_ITEM_RECORDS];
    int n = compute_main_menu_changes(&f, changes);
    Found found;
    for (int i = 0; i < n; ++i) {
        bool match = popup >= 0 ? changes[i].popup == popup : (changes[i].popup < 0 && changes[i].id == id);
        if (match) {
            found.present = true;
            found.state = changes[i].state;
            found.label = changes[i].label ? changes[i].label : "";
        }
    }
    return found;
}

TEST(MainMenuStates, NeverMoreChangesThanItemRecords)
{
    MenuFacts f = facts_for(KIND_DIB, 8, 256);
    MenuItemChange changes[MENU_ITEM_RECORDS];
    int n = compute_main_menu_changes(&f, changes);
    EXPECT_GT(n, 60);
    EXPECT_LE(n, MENU_ITEM_RECORDS);
}

// One row: an image, one item, the state (and label) it must get.
struct StateCase {
    const char* name;
    int kind, bits, colors, display_bits;
    int id;           // or 0 with a popup
    int popup;
    UINT state;
    const char* label;  // null: not checked
};

class MenuStateTable : public ::testing::TestWithParam<StateCase> {};

TEST_P(MenuStateTable, ItemGetsItsState)
{
    const StateCase& c = GetParam();
    MenuFacts f = facts_for(c.kind, c.bits, c.colors, c.display_bits);
    Found found = find_change(f, c.id, c.popup);
    ASSERT_TRUE(found.present) << c.name;
    EXPECT_EQ(found.state, c.state) << c.name;
    if (c.label) {
        EXPECT_EQ(found.label, c.label) << c.name;
    }
}

const UINT EN = MFS_ENABLED, GR = MFS_GRAYED;

INSTANTIATE_TEST_SUITE_P(Rules, MenuStateTable, ::testing::Values(
    // Best colours on a true-colour display.
    StateCase{"true colour, 24-bit", KIND_DIB, 24, 0, 32, IDM_MAIN_TRUE_COLOR, -1, EN, nullptr},
    StateCase{"true colour, 8-bit image", KIND_DIB, 8, 256, 32, IDM_MAIN_TRUE_COLOR, -1, GR, nullptr},
    StateCase{"true colour, 256-colour display", KIND_DIB, 24, 0, 8, IDM_MAIN_TRUE_COLOR, -1, GR, nullptr},
    StateCase{"256 best, 4-bit", KIND_DIB, 4, 16, 32, IDM_MAIN_BEST_256, -1, GR, nullptr},
    StateCase{"128 best, 8-bit of 100", KIND_DIB, 8, 100, 32, IDM_MAIN_BEST_128, -1, EN, nullptr},
    StateCase{"8 best, 4-bit of 16", KIND_DIB, 4, 16, 32, IDM_MAIN_BEST_8, -1, EN, nullptr},
    StateCase{"8 best, 1-bit", KIND_DIB, 1, 2, 32, IDM_MAIN_BEST_8, -1, GR, nullptr},
    StateCase{"2 best, one colour", KIND_DIB, 8, 1, 32, IDM_MAIN_BEST_2, -1, GR, nullptr},
    StateCase{"grey label, deep display", KIND_DIB, 24, 0, 32, IDM_MAIN_GRAYSCALE, -1, EN, "&Grayscale (256 colors)"},
    // A 16-colour display.
    StateCase{"128 best, 4-bit display", KIND_DIB, 24, 0, 4, IDM_MAIN_BEST_128, -1, EN, nullptr},
    StateCase{"grey label, 4-bit display", KIND_DIB, 24, 0, 4, IDM_MAIN_GRAYSCALE, -1, EN, "&Grayscale (4 colors)"},
    StateCase{"toning, 4-bit display", KIND_DIB, 24, 0, 4, IDM_MAIN_TONE_FIRST, -1, GR, nullptr},
    StateCase{"merge, 256-colour display", KIND_DIB, 24, 0, 8, 0, POPUP_MERGE, GR, nullptr},
    // BMP choices by the depth Convert/Save would write.
    StateCase{"RLE4", KIND_DIB, 4, 16, 32, IDM_MAIN_SAVE_BMP_RLE, -1, EN, "&RLE4 Compression"},
    StateCase{"RLE8", KIND_DIB, 8, 256, 32, IDM_MAIN_SAVE_BMP_RLE, -1, EN, "&RLE8 Compression"},
    StateCase{"RLE for 24-bit", KIND_DIB, 24, 0, 32, IDM_MAIN_SAVE_BMP_RLE, -1, GR, "&RLE Compression"},
    StateCase{"bit fields for 8-bit", KIND_DIB, 8, 256, 32, 0, POPUP_BITFIELDS, GR, nullptr},
    StateCase{"5-5-5 for 16-bit", KIND_DIB, 16, 0, 32, IDM_MAIN_SAVE_BMP_555, -1, EN, "RGB 5 &5 5"},
    StateCase{"8-8-8 for 32-bit", KIND_DIB, 32, 0, 32, IDM_MAIN_SAVE_BMP_555, -1, EN, "RGB &8 8 8"},
    StateCase{"bit fields for 24-bit", KIND_DIB, 24, 0, 32, IDM_MAIN_SAVE_BMP_555, -1, GR, nullptr},
    // Saving and the clipboard by kind.
    StateCase{"BMP popup, metafile", KIND_WMF, 0, 0, 32, 0, POPUP_BMP, GR, nullptr},
    StateCase{"PCX, animated GIF", KIND_ANIMATED_GIF, 0, 0, 32, IDM_MAIN_SAVE_PCX, -1, GR, nullptr},
    StateCase{"EMF from WMF", KIND_WMF, 0, 0, 32, IDM_MAIN_SAVE_EMF, -1, EN, nullptr},
    StateCase{"WMF from EMF file", KIND_EMF, 0, 0, 32, IDM_MAIN_SAVE_WMF, -1, EN, nullptr},
    StateCase{"copy, animated GIF", KIND_ANIMATED_GIF, 0, 0, 32, IDM_MAIN_COPY_CLIPBOARD, -1, GR, nullptr},
    StateCase{"paste, empty clipboard", KIND_DIB, 24, 0, 32, IDM_MAIN_PASTE_CLIPBOARD, -1, GR, nullptr},
    // Files and history.
    StateCase{"undo without edits", KIND_DIB, 24, 0, 32, IDM_MAIN_UNDO, -1, GR, nullptr},
    StateCase{"palette, 8-bit", KIND_DIB, 8, 256, 32, IDM_MAIN_DISPLAY_PALETTE, -1, EN, nullptr},
    StateCase{"red eye, 24-bit", KIND_DIB, 24, 0, 32, IDM_MAIN_RED_EYE, -1, EN, nullptr},
    StateCase{"red eye, 4-bit", KIND_DIB, 4, 16, 32, IDM_MAIN_RED_EYE, -1, GR, nullptr},
    StateCase{"JPEG heading, BMP", KIND_DIB, 24, 0, 32, IDM_MAIN_JPEG_HEADING, -1, GR, nullptr}));

TEST(MainMenuStates, BlackAndWhiteImageEnablesTheMonochromeTiffChoicesAndGreysBrightness)
{
    MenuFacts f = facts_for(KIND_DIB, 1, 2);
    f.is_black_white = f.shown_black_white = 1;
    EXPECT_EQ(find_change(f, 0, POPUP_TIFF_HUFFMAN).state, MFS_ENABLED);
    EXPECT_EQ(find_change(f, 0, POPUP_TIFF_JBIG).state, MFS_ENABLED);
    EXPECT_EQ(find_change(f, IDM_MAIN_BRIGHTEN).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_STANDARD_256).state, MFS_GRAYED);
    PnmFamilyItem pnm = choose_pnm_family_item(&f);
    EXPECT_STREQ(pnm.label, "&PBM");
    EXPECT_EQ(pnm.position, 5);

    f = facts_for(KIND_DIB, 24, 0);
    EXPECT_EQ(find_change(f, 0, POPUP_TIFF_G3).state, MFS_GRAYED);
}

TEST(MainMenuStates, JpegItemsFollowTheFile)
{
    MenuFacts f = facts_for(KIND_DIB, 24, 0);
    f.format = FMT_JPEG;
    f.jpeg_progressive = 1;
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_HEADING).state, (UINT)MF_DISABLED);
    EXPECT_EQ(find_change(f, 0, POPUP_JPEG_OTHER).state, MFS_ENABLED);
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_PROGRESSIVE).label, "Progressive >>> Standard &Structure");
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_EXIF).state, MFS_ENABLED);
    EXPECT_EQ(find_change(f, IDM_MAIN_INSERT_COMMENT).state, MFS_ENABLED);

    f.jpeg_progressive = 0;
    f.is_exif = 1;
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_PROGRESSIVE).label, "Standard >>> Progressive &Structure");
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_EXIF).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_EXIF_PROPERTIES).state, MFS_ENABLED);
    EXPECT_EQ(main_command_has_worker(IDM_MAIN_JPEG_ROTATE_CW), 1);
    EXPECT_EQ(main_command_has_worker(IDM_MAIN_JPEG_EXIF), 1);

    f.jpeg_lossless = 1;
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_PROGRESSIVE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_OPTIMIZE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_HEADING).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, 0, POPUP_JPEG_ROTATE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, 0, POPUP_JPEG_OTHER).state, MFS_GRAYED);

    // 12-bit DCT files are transformed, lossless-coded ones are not; no
    // Exif segment and no Huffman optimising for either.
    f.format = FMT_JPEG12;
    f.is_exif = 0;
    f.jpeg_lossless = 0;
    EXPECT_EQ(find_change(f, 0, POPUP_JPEG_ROTATE).state, MFS_ENABLED);
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_OPTIMIZE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_JPEG_EXIF).state, MFS_GRAYED);
    f.jpeg_lossless = 1;
    EXPECT_EQ(find_change(f, 0, POPUP_JPEG_ROTATE).state, MFS_GRAYED);

    // A file deleted behind the program's back.
    f = facts_for(KIND_DIB, 24, 0);
    f.format = FMT_JPEG;
    f.file_readable = 0;
    EXPECT_EQ(find_change(f, 0, POPUP_JPEG_ROTATE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_INSERT_COMMENT).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_DELETE_FILE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, 0, POPUP_BACKGROUND).state, MFS_GRAYED);
}

TEST(MainMenuStates, PastedImagesKeepFileAndHistoryItemsGreyed)
{
    MenuFacts f = facts_for(KIND_DIB, 24, 0);
    f.format = FMT_CLIPBOARD;
    f.edit_count = 2;
    EXPECT_EQ(find_change(f, IDM_MAIN_RENAME_FILE).state, MFS_GRAYED);
    EXPECT_EQ(find_change(f, IDM_MAIN_UNDO).state, MFS_GRAYED);
    f.format = FMT_BMP;
    EXPECT_EQ(find_change(f, IDM_MAIN_UNDO).state, MFS_ENABLED);
    EXPECT_EQ(main_command_has_worker(IDM_MAIN_UNDO), 1) << "else greyed whatever the history";
    EXPECT_EQ(find_change(f, IDM_MAIN_RESTORE).state, MFS_ENABLED);

    MenuFacts emf = facts_for(KIND_EMF, 0, 0);
    emf.format = FMT_CLIPBOARD;
    EXPECT_EQ(find_change(emf, IDM_MAIN_SAVE_EMF).state, MFS_ENABLED);
    EXPECT_EQ(find_change(emf, IDM_MAIN_SAVE_WMF).state, MFS_ENABLED);
    EXPECT_EQ(find_change(emf, IDM_MAIN_INSERT_COMMENT).state, MFS_GRAYED);
}

// An entry that did nothing when chosen would be lost work for the user:
// Convert/Save offers a format for a bitmap only once its writer is in the
// format table.
TEST(MainMenuStates, ConvertSaveEntryIsOfferedExactlyWhenItsFormatHasAWriter)
{
    const struct {
        int popup;    // -1: a command item
        int command;  // the entry's command, or one in its popup
    } entries[] = {
        {POPUP_BMP, IDM_MAIN_SAVE_BMP}, {POPUP_GIF, IDM_MAIN_SAVE_GIF}, {POPUP_IFF, IDM_MAIN_SAVE_IFF},
        {POPUP_JPG, IDM_MAIN_SAVE_JPEG}, {POPUP_PNG, IDM_MAIN_SAVE_PNG}, {POPUP_TGA, IDM_MAIN_SAVE_TGA},
        {POPUP_TIF, IDM_MAIN_SAVE_TIFF_FIRST}, {POPUP_EXPERTS, IDM_MAIN_SAVE_JPEG_LOSSLESS},
        {-1, IDM_MAIN_SAVE_JBIG}, {-1, IDM_MAIN_SAVE_PCX},
    };
    MenuFacts f = facts_for(KIND_DIB, 24, 0);
    for (const auto& e : entries) {
        const SaveCommand* command = find_save_command(e.command);
        ASSERT_NE(command, nullptr) << e.command;
        EXPECT_EQ(find_change(f, e.command, e.popup).state, writer_state(command->code)) << e.command;
    }
    EXPECT_EQ(choose_pnm_family_item(&f).state, writer_state(FMT_PPM));
}

TEST(MainMenuBar, EntriesFollowTheImageKind)
{
    EXPECT_EQ(main_bar_entry_state(KIND_DIB, BAR_IMAGE_TOOLS), (UINT)MF_ENABLED);
    EXPECT_EQ(main_bar_entry_state(KIND_WMF, BAR_IMAGE_TOOLS), (UINT)MF_GRAYED);
    EXPECT_EQ(main_bar_entry_state(KIND_WMF, BAR_CONVERT), (UINT)MF_ENABLED);
    EXPECT_EQ(main_bar_entry_state(KIND_ANIMATED_GIF, BAR_CONVERT), (UINT)MF_GRAYED);
    EXPECT_EQ(main_bar_entry_state(KIND_MULTIMEDIA, BAR_SCREEN), (UINT)MF_GRAYED);
    EXPECT_EQ(main_bar_entry_state(KIND_MULTIMEDIA, BAR_SLIDESHOW), (UINT)MF_GRAYED);
    EXPECT_EQ(main_bar_entry_state(KIND_NONE, BAR_BATCH), (UINT)MF_ENABLED);
}

// ---- the tree on a real window

std::string label_at(HMENU menu, int position)
{
    char text[128] = "";
    GetMenuStringA(menu, (UINT)position, text, sizeof text, MF_BYPOSITION);
    return text;
}

HMENU submenu_named(HMENU menu, const std::string& label)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        if (label_at(menu, i) == label)
            return GetSubMenu(menu, i);
    return NULL;
}

struct MenuWindow {
    HWND hwnd;
    MenuWindow()
    {
        hwnd = CreateWindowExA(0, "STATIC", "menu test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
        build_main_menu(hwnd);
    }
    ~MenuWindow()
    {
        destroy_main_menu(hwnd);
        DestroyWindow(hwnd);
    }
};

TEST(MainMenuTree, OpeningTheMenuAppliesStatesAndPlacesThePnmEntry)
{
    SeamRecorder seams(32);
    MenuWindow window;
    HGLOBAL grey = make_dib(4, 2, 8, {}, 256);
    {
        DibBlock dib(grey, false);
        for (int i = 0; i < 256; ++i)
            dib.table()[i] = quad((BYTE)i, (BYTE)i, (BYTE)i);
    }
    HGLOBAL old_image = g_hImage;
    int old_kind = g_imageKind;
    g_hImage = grey;
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_BMP;
    g_fileName[0] = '\0';

    EXPECT_TRUE(main_menu_on_initmenu(window.hwnd, g_hMainMenu));
    HMENU convert = submenu_named(g_hMainMenu, "&Convert/Save");
    ASSERT_NE(convert, nullptr);
    EXPECT_EQ(label_at(convert, 6), "&PGM");
    EXPECT_EQ(GetMenuItemID(convert, 6), (UINT)IDM_MAIN_SAVE_PNM_FAMILY);
    EXPECT_EQ(label_at(convert, 5), "P&CX");
    EXPECT_EQ(GetMenuItemCount(convert), 15);
    char text[64] = "";
    GetMenuStringA(g_hMainMenu, IDM_MAIN_SAVE_BMP_RLE, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&RLE8 Compression");
    HMENU bmp = submenu_named(convert, "B&MP");
    EXPECT_TRUE(GetMenuState(bmp, 2, MF_BYPOSITION) & MF_GRAYED) << "bit fields for 8 bits";
    EXPECT_FALSE(GetMenuState(g_hMainMenu, IDM_MAIN_COPY_CLIPBOARD, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(g_hMainMenu, IDM_MAIN_DISPLAY_PALETTE, MF_BYCOMMAND) & MF_GRAYED);

    // Opening again after the image went: one entry, back at PBM's place.
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    EXPECT_TRUE(main_menu_on_initmenu(window.hwnd, g_hMainMenu));
    EXPECT_EQ(GetMenuItemCount(convert), 15);
    EXPECT_EQ(label_at(convert, 5), "&PBM");
    EXPECT_TRUE(GetMenuState(convert, IDM_MAIN_SAVE_PNM_FAMILY, MF_BYCOMMAND) & MF_GRAYED);

    GlobalFree(grey);
    g_hImage = old_image;
    g_imageKind = old_kind;
}

}  // namespace
