// The main menu: item states computed from the facts of the current image,
// and the states applied to the real tree when the menu opens.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/main_commands.h"
#include "app/main_menu.h"
#include "image/current_image.h"
#include "image/file_stamp.h"
#include "tools/edit_history.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/dib_block.h"
#include "support/test_support.h"

namespace {

typedef void (*Tweak)(MenuFacts&);

MenuFacts facts_for(int kind, int bits, int colors, Tweak tweak = nullptr)
{
    MenuFacts f;
    std::memset(&f, 0, sizeof f);
    f.display_bits = 32;
    f.kind = kind;
    f.has_image = kind != KIND_NONE;
    f.format = kind == KIND_DIB ? FMT_BMP : FMT_NONE;
    f.bit_count = f.original_bit_count = f.save_bit_count = bits;
    f.color_count = colors;
    f.file_readable = 1;
    if (tweak)
        tweak(f);
    return f;
}

struct Found {
    bool present = false;
    UINT state = 0;
    std::string label;
};

// The change for a command item (popup -1) or a popup.
Found find_change(const MenuFacts& f, int id, int popup = -1)
{
    MenuItemChange changes[MENU_ITEM_RECORDS];
    int n = compute_main_menu_changes(&f, changes);
    EXPECT_LE(n, MENU_ITEM_RECORDS) << "written past the item records";
    Found found;
    for (int i = 0; i < n; ++i)
        if (popup >= 0 ? changes[i].popup == popup : (changes[i].popup < 0 && changes[i].id == id)) {
            found.present = true;
            found.state = changes[i].state;
            found.label = changes[i].label ? changes[i].label : "";
        }
    return found;
}

void display4(MenuFacts& f) { f.display_bits = 4; }
void display8(MenuFacts& f) { f.display_bits = 8; }
void black_white(MenuFacts& f) { f.is_black_white = f.shown_black_white = 1; }
void progressive(MenuFacts& f) { f.format = FMT_JPEG, f.jpeg_progressive = 1; }
void exif(MenuFacts& f) { f.format = FMT_JPEG, f.is_exif = 1; }
void lossless(MenuFacts& f) { f.format = FMT_JPEG, f.jpeg_lossless = 1; }
void jpeg12(MenuFacts& f) { f.format = FMT_JPEG12; }
void lossless12(MenuFacts& f) { f.format = FMT_JPEG12, f.jpeg_lossless = 1; }
void deleted(MenuFacts& f) { f.format = FMT_JPEG, f.file_readable = 0; }
void pasted(MenuFacts& f) { f.format = FMT_CLIPBOARD, f.edit_count = 2; }
void edited(MenuFacts& f) { f.edit_count = 2; }
void edited_once(MenuFacts& f) { f.edit_count = 1; }
void undone(MenuFacts& f) { f.edit_count = 0; }
void pasted_once(MenuFacts& f) { f.format = FMT_CLIPBOARD, f.edit_count = 1; }
void captured_once(MenuFacts& f) { f.format = FMT_SCREEN_CAPTURE, f.edit_count = 1; }
void kept(MenuFacts& f) { f.unrecorded_changes = 1; }

// One row: an image, one item (or popup), the state and label it must get.
struct StateCase {
    const char* name;
    int kind, bits, colors;
    Tweak tweak;
    int id, popup;
    UINT state;
    const char* label;  // null: not checked
};

class MenuStateTable : public ::testing::TestWithParam<StateCase> {};

TEST_P(MenuStateTable, ItemGetsItsState)
{
    const StateCase& c = GetParam();
    Found found = find_change(facts_for(c.kind, c.bits, c.colors, c.tweak), c.id, c.popup);
    ASSERT_TRUE(found.present) << c.name;
    EXPECT_EQ(found.state, c.state) << c.name;
    if (c.label) {
        EXPECT_EQ(found.label, c.label) << c.name;
    }
}

const UINT EN = MFS_ENABLED, GR = MFS_GRAYED;
const int DIB = KIND_DIB;

const StateCase RULES[] = {
    // Colour conversions by depth, colours and display.
    {"true colour, 24-bit", DIB, 24, 0, nullptr, IDM_MAIN_TRUE_COLOR, -1, EN, nullptr},
    {"true colour, 8-bit image", DIB, 8, 256, nullptr, IDM_MAIN_TRUE_COLOR, -1, GR, nullptr},
    {"true colour, 256-colour display", DIB, 24, 0, display8, IDM_MAIN_TRUE_COLOR, -1, GR, nullptr},
    {"256 best, 4-bit", DIB, 4, 16, nullptr, IDM_MAIN_BEST_256, -1, GR, nullptr},
    {"128 best, 8-bit of 100", DIB, 8, 100, nullptr, IDM_MAIN_BEST_128, -1, EN, nullptr},
    {"8 best, 1-bit", DIB, 1, 2, nullptr, IDM_MAIN_BEST_8, -1, GR, nullptr},
    {"2 best, one colour", DIB, 8, 1, nullptr, IDM_MAIN_BEST_2, -1, GR, nullptr},
    {"grey label", DIB, 24, 0, nullptr, IDM_MAIN_GRAYSCALE, -1, EN, "&Grayscale (256 colors)"},
    {"128 best, 4-bit display", DIB, 24, 0, display4, IDM_MAIN_BEST_128, -1, EN, nullptr},
    {"grey label, 4-bit display", DIB, 24, 0, display4, IDM_MAIN_GRAYSCALE, -1, EN, "&Grayscale (4 colors)"},
    {"toning, 4-bit display", DIB, 24, 0, display4, IDM_MAIN_TONE_FIRST, -1, GR, nullptr},
    {"merge, 256-colour display", DIB, 24, 0, display8, 0, POPUP_MERGE, GR, nullptr},
    {"brighten, black and white", DIB, 1, 2, black_white, IDM_MAIN_BRIGHTEN, -1, GR, nullptr},
    // BMP and TIFF choices by the depth Convert/Save would write.
    {"RLE4", DIB, 4, 16, nullptr, IDM_MAIN_SAVE_BMP_RLE, -1, EN, "&RLE4 Compression"},
    {"RLE for 24-bit", DIB, 24, 0, nullptr, IDM_MAIN_SAVE_BMP_RLE, -1, GR, "&RLE Compression"},
    {"5-5-5 for 16-bit", DIB, 16, 0, nullptr, IDM_MAIN_SAVE_BMP_555, -1, EN, "RGB 5 &5 5"},
    {"8-8-8 for 32-bit", DIB, 32, 0, nullptr, IDM_MAIN_SAVE_BMP_555, -1, EN, "RGB &8 8 8"},
    {"bit fields for 24-bit", DIB, 24, 0, nullptr, IDM_MAIN_SAVE_BMP_555, -1, GR, nullptr},
    {"Huffman, black and white", DIB, 1, 2, black_white, 0, POPUP_TIFF_HUFFMAN, EN, nullptr},
    {"G3 for 24-bit", DIB, 24, 0, nullptr, 0, POPUP_TIFF_G3, GR, nullptr},
    // Saving and the clipboard by kind.
    {"BMP popup, metafile", KIND_WMF, 0, 0, nullptr, 0, POPUP_BMP, GR, nullptr},
    {"PCX, animated GIF", KIND_ANIMATED_GIF, 0, 0, nullptr, IDM_MAIN_SAVE_PCX, -1, GR, nullptr},
    {"EMF from WMF", KIND_WMF, 0, 0, nullptr, IDM_MAIN_SAVE_EMF, -1, EN, nullptr},
    {"WMF from pasted EMF", KIND_EMF, 0, 0, pasted, IDM_MAIN_SAVE_WMF, -1, EN, nullptr},
    {"copy, animated GIF", KIND_ANIMATED_GIF, 0, 0, nullptr, IDM_MAIN_COPY_CLIPBOARD, -1, GR, nullptr},
    {"paste, empty clipboard", DIB, 24, 0, nullptr, IDM_MAIN_PASTE_CLIPBOARD, -1, GR, nullptr},
    // Files and history.
    {"undo without edits", DIB, 24, 0, nullptr, IDM_MAIN_UNDO, -1, GR, nullptr},
    {"undo after edits", DIB, 24, 0, edited, IDM_MAIN_UNDO, -1, EN, nullptr},
    {"undo, pasted", DIB, 24, 0, pasted, IDM_MAIN_UNDO, -1, GR, nullptr},
    // The first edit already offers Undo and Restore; undoing it takes them away.
    {"undo after one edit", DIB, 24, 0, edited_once, IDM_MAIN_UNDO, -1, EN, nullptr},
    {"restore after one edit", DIB, 24, 0, edited_once, IDM_MAIN_RESTORE, -1, EN, nullptr},
    {"undo, 8-bit after one edit", DIB, 8, 256, edited_once, IDM_MAIN_UNDO, -1, EN, nullptr},
    {"undo after the edit undone", DIB, 24, 0, undone, IDM_MAIN_UNDO, -1, GR, nullptr},
    {"restore after the edit undone", DIB, 24, 0, undone, IDM_MAIN_RESTORE, -1, GR, nullptr},
    {"restore, pasted", DIB, 24, 0, pasted, IDM_MAIN_RESTORE, -1, GR, nullptr},
    // Undo refused keeps the picture shown, unlike the file, with no edit left.
    {"restore, picture kept", DIB, 24, 0, kept, IDM_MAIN_RESTORE, -1, EN, nullptr},
    {"undo, picture kept", DIB, 24, 0, kept, IDM_MAIN_UNDO, -1, GR, nullptr},
    {"undo, pasted and edited once", DIB, 24, 0, pasted_once, IDM_MAIN_UNDO, -1, GR, nullptr},
    {"restore, pasted and edited once", DIB, 24, 0, pasted_once, IDM_MAIN_RESTORE, -1, GR, nullptr},
    {"undo, captured and edited once", DIB, 24, 0, captured_once, IDM_MAIN_UNDO, -1, GR, nullptr},
    {"restore, captured and edited once", DIB, 24, 0, captured_once, IDM_MAIN_RESTORE, -1, GR, nullptr},
    {"rename, pasted", DIB, 24, 0, pasted, IDM_MAIN_RENAME_FILE, -1, GR, nullptr},
    {"comment, pasted EMF", KIND_EMF, 0, 0, pasted, IDM_MAIN_INSERT_COMMENT, -1, GR, nullptr},
    {"delete, file gone", DIB, 24, 0, deleted, IDM_MAIN_DELETE_FILE, -1, GR, nullptr},
    {"palette, 8-bit", DIB, 8, 256, nullptr, IDM_MAIN_DISPLAY_PALETTE, -1, EN, nullptr},
    {"red eye, 24-bit", DIB, 24, 0, nullptr, IDM_MAIN_RED_EYE, -1, EN, nullptr},
    {"red eye, 4-bit", DIB, 4, 16, nullptr, IDM_MAIN_RED_EYE, -1, GR, nullptr},
    // The JPEG items follow the file.
    {"JPEG heading, BMP", DIB, 24, 0, nullptr, IDM_MAIN_JPEG_HEADING, -1, GR, nullptr},
    {"JPEG heading", DIB, 24, 0, progressive, IDM_MAIN_JPEG_HEADING, -1, MF_DISABLED, nullptr},
    {"to standard", DIB, 24, 0, progressive, IDM_MAIN_JPEG_PROGRESSIVE, -1, EN, "Progressive >>> Standard &Structure"},
    {"to progressive", DIB, 24, 0, exif, IDM_MAIN_JPEG_PROGRESSIVE, -1, EN, "Standard >>> Progressive &Structure"},
    {"make Exif, Exif", DIB, 24, 0, exif, IDM_MAIN_JPEG_EXIF, -1, GR, nullptr},
    {"Exif properties", DIB, 24, 0, exif, IDM_MAIN_EXIF_PROPERTIES, -1, EN, nullptr},
    {"heading, lossless", DIB, 24, 0, lossless, IDM_MAIN_JPEG_HEADING, -1, GR, nullptr},
    {"rotate, lossless", DIB, 24, 0, lossless, 0, POPUP_JPEG_ROTATE, EN, nullptr},
    {"other transforms, lossless", DIB, 24, 0, lossless, 0, POPUP_JPEG_OTHER, EN, nullptr},
    {"to progressive, lossless", DIB, 24, 0, lossless, IDM_MAIN_JPEG_PROGRESSIVE, -1, GR, nullptr},
    {"optimise, lossless", DIB, 24, 0, lossless, IDM_MAIN_JPEG_OPTIMIZE, -1, GR, nullptr},
    {"rotate, 12-bit", DIB, 24, 0, jpeg12, 0, POPUP_JPEG_ROTATE, EN, nullptr},
    {"optimise, 12-bit", DIB, 24, 0, jpeg12, IDM_MAIN_JPEG_OPTIMIZE, -1, GR, nullptr},
    {"make Exif, 12-bit", DIB, 24, 0, jpeg12, IDM_MAIN_JPEG_EXIF, -1, GR, nullptr},
    {"rotate, 12-bit lossless", DIB, 24, 0, lossless12, 0, POPUP_JPEG_ROTATE, GR, nullptr},
    {"rotate, file gone", DIB, 24, 0, deleted, 0, POPUP_JPEG_ROTATE, GR, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Rules, MenuStateTable, ::testing::ValuesIn(RULES));

TEST(MainMenuBar, EntriesFollowTheImageKind)
{
    const struct {
        int kind, entry;
        UINT state;
    } rows[] = {
        {KIND_DIB, BAR_IMAGE_TOOLS, MF_ENABLED},      {KIND_WMF, BAR_IMAGE_TOOLS, MF_GRAYED},
        {KIND_WMF, BAR_CONVERT, MF_ENABLED},          {KIND_ANIMATED_GIF, BAR_CONVERT, MF_GRAYED},
        {KIND_MULTIMEDIA, BAR_SCREEN, MF_GRAYED},     {KIND_MULTIMEDIA, BAR_SLIDESHOW, MF_GRAYED},
        {KIND_NONE, BAR_BATCH, MF_ENABLED},
    };
    for (const auto& r : rows)
        EXPECT_EQ(main_bar_entry_state(r.kind, r.entry), r.state) << r.kind << " " << r.entry;
}

std::string label_at(HMENU menu, int position)
{
    char text[128] = "";
    GetMenuStringA(menu, (UINT)position, text, sizeof text, MF_BYPOSITION);
    return text;
}

// Opening the menu applies the states and places the one PBM-family entry
// by the image: PGM for a grey one, back at PBM's place without an image.
TEST(MainMenuTree, OpeningTheMenuAppliesStatesAndPlacesThePnmEntry)
{
    SeamRecorder seams(32);
    HWND hwnd = CreateWindowExA(0, "STATIC", "menu test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    build_main_menu(hwnd);
    HGLOBAL grey = make_dib(4, 2, 8, {}, 256);
    for (int i = 0; i < 256; ++i)
        DibBlock(grey, false).table()[i] = quad((BYTE)i, (BYTE)i, (BYTE)i);
    reset_current_image();
    g_hImage = grey;
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_BMP;
    g_fileName[0] = '\0';

    EXPECT_TRUE(main_menu_on_initmenu(hwnd, g_hMainMenu));
    HMENU convert = NULL;
    for (int i = 0; i < GetMenuItemCount(g_hMainMenu); ++i)
        if (label_at(g_hMainMenu, i) == "&Convert/Save")
            convert = GetSubMenu(g_hMainMenu, i);
    ASSERT_NE(convert, nullptr);
    EXPECT_EQ(label_at(convert, 6), "&PGM");
    EXPECT_EQ(GetMenuItemID(convert, 6), (UINT)IDM_MAIN_SAVE_PNM_FAMILY);
    EXPECT_EQ(GetMenuItemCount(convert), 15);
    char text[64] = "";
    GetMenuStringA(g_hMainMenu, IDM_MAIN_SAVE_BMP_RLE, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&RLE8 Compression");

    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    EXPECT_TRUE(main_menu_on_initmenu(hwnd, g_hMainMenu));
    EXPECT_EQ(GetMenuItemCount(convert), 15);
    EXPECT_EQ(label_at(convert, 5), "&PBM");
    EXPECT_TRUE(GetMenuState(convert, IDM_MAIN_SAVE_PNM_FAMILY, MF_BYCOMMAND) & MF_GRAYED);

    GlobalFree(grey);
    reset_current_image();
    destroy_main_menu(hwnd);
    DestroyWindow(hwnd);
}

// The real menu, from the facts of the real state: Restore is offered
// whenever the picture shown is not the file on disk, also with no edit in
// the history: once it was dropped under the picture, and once the file
// changed since it was read.
TEST(MainMenuTree, RestoreIsOfferedWhenThePictureIsNotTheFile)
{
    SeamRecorder seams(32);
    HWND hwnd = CreateWindowExA(0, "STATIC", "menu test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    build_main_menu(hwnd);
    const std::string path = test_out_path("restore_state.bmp");
    const struct {
        const char* name;
        bool dropped, changed;
        bool offered;
    } rows[] = {
        {"as read", false, false, false},
        {"history dropped", true, false, true},
        {"changed on disk", false, true, true},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(write_file_bytes(path, "BM as read"));
        reset_current_image();
        clear_edit_history();
        g_hImage = make_dib(4, 2, 24);
        g_imageKind = KIND_DIB;
        g_fileFormat = FMT_BMP;
        lstrcpynA(g_filePath, path.c_str(), sizeof g_filePath);
        lstrcpynA(g_fileName, "restore_state.bmp", sizeof g_fileName);
        FileStamp stamp;
        ASSERT_TRUE(take_file_stamp(path.c_str(), &stamp));
        g_fileSize = stamp.size;
        g_fileWriteTime = stamp.written;
        if (row.dropped) {
            push_edit_record(EDIT_INVERT, 0);
            drop_edit_history();
        }
        if (row.changed)
            ASSERT_TRUE(write_file_bytes(path, "BM changed since"));
        EXPECT_TRUE(main_menu_on_initmenu(hwnd, g_hMainMenu));
        const UINT state = GetMenuState(g_hMainMenu, IDM_MAIN_RESTORE, MF_BYCOMMAND);
        EXPECT_EQ((state & MF_GRAYED) == 0, row.offered) << row.name;
        EXPECT_EQ(g_editCount, 0u) << row.name;
    }
    clear_edit_history();
    g_filePath[0] = g_fileName[0] = '\0';
    reset_current_image();
    destroy_main_menu(hwnd);
    DestroyWindow(hwnd);
}

}  // namespace
