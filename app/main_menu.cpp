// The main menu: its tree, the swatches of the background colours, the item
// states of WM_INITMENU and the bar entries after each load.
//
// The states are computed into a list of changes first and applied through
// the MENUITEMINFO records of g_hMainMenuItems afterwards; the PBM-family
// entry of "&Convert/Save" is taken out before and put back after, at the
// place its label takes in alphabetical order.
#include "app/main_menu.h"

#include <cstdio>
#include <cstring>

#include "app/convert_save.h"
#include "app/main_commands.h"
#include "app/main_window.h"
#include "image/packed_dib.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/loader.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "tools/edit_history.h"

HMENU g_hMainMenu;
HGLOBAL g_hMainMenuItems;
HGLOBAL g_hViewMenuItems;

static HMENU s_popups[POPUP_COUNT];

// Item data of the eight swatches; the item's colour is its number.
static const char* const SWATCH_DATA[8] = {"00", "01", "02", "03", "04", "05", "06", "07"};

// ---- building

static HMENU popup(int which)
{
    if (!s_popups[which])
        s_popups[which] = CreatePopupMenu();
    return s_popups[which];
}

static void item(HMENU menu, int id, const char* label)
{
    AppendMenuA(menu, MF_STRING, (UINT_PTR)id, label);
}

static void heading(HMENU menu, int id, const char* label, UINT state)
{
    AppendMenuA(menu, MF_STRING | state, (UINT_PTR)id, label);
}

static void separator(HMENU menu)
{
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
}

static void sub(HMENU menu, int which, const char* label)
{
    AppendMenuA(menu, MF_POPUP, (UINT_PTR)popup(which), label);
}

static void build_file_and_screen(HMENU bar)
{
    HMENU file = popup(POPUP_FILE);
    item(file, IDM_MAIN_NEXT_FILE, "&Next File");
    item(file, IDM_MAIN_LAST_FILE, "&Last File");
    separator(file);
    item(file, IDM_MAIN_FILE_INFO, "File &Info");
    separator(file);
    item(file, IDM_MAIN_MOVE_FILE, "&Move File");
    item(file, IDM_MAIN_COPY_FILE, "&Copy File");
    item(file, IDM_MAIN_DELETE_FILE, "&Delete File");
    item(file, IDM_MAIN_RENAME_FILE, "&Rename File");
    separator(file);
    item(file, IDM_MAIN_EXIT, "E&xit");
    sub(bar, POPUP_FILE, "&File");

    HMENU print = popup(POPUP_PRINT);
    item(print, IDM_MAIN_PRINT_NORMAL, "&Print &Normal");
    item(print, IDM_MAIN_PRINT_LARGE, "&Print &Large");
    item(print, IDM_MAIN_PRINT_TILED, "&Print &Tiled");
    separator(print);
    item(print, IDM_MAIN_PRINTER_PROFILE, "Link Printer Color Profile &File");

    HMENU background = popup(POPUP_BACKGROUND);
    for (int i = 0; i < 8; ++i)
        AppendMenuA(background, MF_OWNERDRAW, (UINT_PTR)(IDM_MAIN_BACKGROUND_FIRST + i), SWATCH_DATA[i]);
    separator(background);
    item(background, IDM_MAIN_SELECT_COLOR, "&Select Color");

    HMENU screen = popup(POPUP_SCREEN);
    item(screen, IDM_MAIN_CENTER, "&Center");
    item(screen, IDM_MAIN_TILE, "&Tile");
    item(screen, IDM_MAIN_FULL_SCREEN, "&Full Screen");
    separator(screen);
    item(screen, IDM_MAIN_CAPTURE_SCREEN, "Capture &Screen");
    item(screen, IDM_MAIN_COPY_CLIPBOARD, "C&opy To Clipboard");
    item(screen, IDM_MAIN_PASTE_CLIPBOARD, "P&aste From Clipboard");
    separator(screen);
    sub(screen, POPUP_PRINT, "&Print");
    separator(screen);
    sub(screen, POPUP_BACKGROUND, "&Background Color");
    separator(screen);
    item(screen, IDM_MAIN_DISABLE_ALPHA, "&Disable Alpha Transparency");
    sub(bar, POPUP_SCREEN, "&Screen");
}

static void build_reduce_colors(void)
{
    HMENU best = popup(POPUP_BEST);
    item(best, IDM_MAIN_TRUE_COLOR, "&True Color");
    item(best, IDM_MAIN_BEST_256, "2&56 Best Colors");
    item(best, IDM_MAIN_BEST_128, "128 &Best Colors");
    item(best, IDM_MAIN_BEST_64, "&64 Best Colors");
    item(best, IDM_MAIN_BEST_32, "&32 Best Colors");
    item(best, IDM_MAIN_BEST_16, "&16 Best Colors");
    item(best, IDM_MAIN_BEST_8, "&8 Best Colors");
    item(best, IDM_MAIN_BEST_4, "&4 Best Colors");
    item(best, IDM_MAIN_BEST_2, "&2 Best Colors");

    HMENU reduce = popup(POPUP_REDUCE);
    sub(reduce, POPUP_BEST, "&Best Colors");
    separator(reduce);
    item(reduce, IDM_MAIN_STANDARD_256, "2&56 Standard Windows Colors");
    item(reduce, IDM_MAIN_WEB_216, "216 &Netscape Colors");
    item(reduce, IDM_MAIN_STANDARD_16, "1&6 Standard Windows Colors");
    item(reduce, IDM_MAIN_GRAYSCALE, "&Grayscale (256 Colors)");
    item(reduce, IDM_MAIN_MONOCHROME, "&Monochrome (2 Colors)");
    separator(reduce);
    heading(reduce, IDM_MAIN_TONING_HEADING, "Image Toning:", MF_DISABLED);
    static const char* const TONES[8] = {
        "     &Cyanotype", "     Mar&oon", "     &Palladium", "     P&latinum",
        "     S&elenium", "     &Sepia (1)", "     Sepi&a (2)", "     Sil&ver",
    };
    for (int i = 0; i < 8; ++i)
        item(reduce, IDM_MAIN_TONE_FIRST + i, TONES[i]);
}

static void build_image_tools(HMENU bar)
{
    HMENU rotate_jpeg = popup(POPUP_JPEG_ROTATE);
    item(rotate_jpeg, IDM_MAIN_JPEG_ROTATE_CW, "Rotate &Clockwise 90\xB0");
    item(rotate_jpeg, IDM_MAIN_JPEG_ROTATE_CCW, "Rotate C&ounter-Clockwise 90\xB0");
    item(rotate_jpeg, IDM_MAIN_JPEG_ROTATE_180, "Rotate &Image 180\xB0");

    HMENU other = popup(POPUP_JPEG_OTHER);
    item(other, IDM_MAIN_JPEG_FLIP_LR, "Flip Image &Left-Right");
    item(other, IDM_MAIN_JPEG_FLIP_TB, "Flip Image &Top-Bottom");
    item(other, IDM_MAIN_JPEG_TRANSPOSE, "Trans&pose");
    item(other, IDM_MAIN_JPEG_TRANSVERSE, "Trans&verse-Transpose");
    separator(other);
    item(other, IDM_MAIN_JPEG_GRAYSCALE, "Reduce to &Grayscale");
    separator(other);
    item(other, IDM_MAIN_JPEG_PROGRESSIVE, "Progressive >>> Standard &Structure");
    item(other, IDM_MAIN_JPEG_OPTIMIZE, "Optimize &Huffman Tables");
    item(other, IDM_MAIN_JPEG_EXIF, "Make &Exif Compliant");

    HMENU rotate = popup(POPUP_ROTATE);
    item(rotate, IDM_MAIN_ROTATE_CW, "Rotate &Clockwise 90\xB0");
    item(rotate, IDM_MAIN_ROTATE_CCW, "Rotate C&ounter-Clockwise 90\xB0");
    item(rotate, IDM_MAIN_ROTATE_180, "Rotate &Image 180\xB0");
    item(rotate, IDM_MAIN_ROTATE_ANGLE, "&Select Angle");

    HMENU flip = popup(POPUP_FLIP);
    item(flip, IDM_MAIN_FLIP_LR, "Flip Image &Left-Right");
    item(flip, IDM_MAIN_FLIP_TB, "Flip Image &Top-Bottom");

    build_reduce_colors();

    HMENU merge = popup(POPUP_MERGE);
    item(merge, IDM_MAIN_MERGE_FILE, "From &File");
    item(merge, IDM_MAIN_MERGE_CLIPBOARD, "From &Clipboard");

    HMENU tools = popup(POPUP_IMAGE_TOOLS);
    heading(tools, IDM_MAIN_JPEG_HEADING, "File and Screen Image Modified:", MF_DISABLED);
    separator(tools);
    sub(tools, POPUP_JPEG_ROTATE, "     &JPEG Lossless Rotate Image");
    sub(tools, POPUP_JPEG_OTHER, "     Other JPEG &Lossless Transforms");
    separator(tools);
    separator(tools);
    heading(tools, IDM_MAIN_BLANK_HEADING, "   ", MF_DISABLED);
    separator(tools);
    separator(tools);
    heading(tools, IDM_MAIN_SCREEN_HEADING, "Only Screen Image Modified", MF_DISABLED);
    heading(tools, IDM_MAIN_SCREEN_HEADING2, "(Use Convert/Save to Save Changes):", MF_DISABLED);
    separator(tools);
    item(tools, IDM_MAIN_RESTORE, "     Restore &Original Image");
    item(tools, IDM_MAIN_UNDO, "     &Undo Last Operation");
    separator(tools);
    sub(tools, POPUP_ROTATE, "     &Rotate Image");
    sub(tools, POPUP_FLIP, "     &Flip Image");
    item(tools, IDM_MAIN_CROP, "     &Crop Image");
    item(tools, IDM_MAIN_STRETCH, "     &Stretch Image");
    item(tools, IDM_MAIN_SKEW, "     S&kew Image");
    item(tools, IDM_MAIN_RED_EYE, "     Correct Red E&ye");
    item(tools, IDM_MAIN_INVERT, "     &Invert Colors");
    sub(tools, POPUP_REDUCE, "     R&educe Colors");
    item(tools, IDM_MAIN_BRIGHTEN, "     &Brighten Image");
    item(tools, IDM_MAIN_DARKEN, "     &Darken Image");
    item(tools, IDM_MAIN_DISPLAY_PALETTE, "     Display &Palette");
    item(tools, IDM_MAIN_FRAME, "     Fr&ame/Border");
    item(tools, IDM_MAIN_WRITE_TEXT, "     Write &Text on Image");
    sub(tools, POPUP_MERGE, "     &Merge Image");
    item(tools, IDM_MAIN_SPHERE, "     Deform to Sp&here");
    sub(bar, POPUP_IMAGE_TOOLS, "&Image Tools");
}

static void build_tiff(void)
{
    static const struct {
        int which;
        const char* label;
        int strips_id;
    } CHOICES[10] = {
        {POPUP_TIFF_UNCOMPRESSED, "     &Uncompressed (1)", 2103},
        {POPUP_TIFF_HUFFMAN, "     &Huffman RLE (2) (monochrome only)", 2105},
        {POPUP_TIFF_G3, "     Group &3 Fax (3) (monochrome only)", 2107},
        {POPUP_TIFF_G4, "     Group &4 Fax (4) (monochrome only)", 2109},
        {POPUP_TIFF_LZW, "     &L Z W (5)", 2111},
        {POPUP_TIFF_JPEG, "     TIFF &JPEG (7)", 2113},
        {POPUP_TIFF_DEFLATE, "     &Deflate (8)", 2117},
        {POPUP_TIFF_PACKBITS, "     &Packbits (32773)", 2115},
        {POPUP_TIFF_JBIG, "     TIFF J&BIG (34661) (monochrome only)", 2119},
        {POPUP_TIFF_LZMA, "     TIFF L&ZMA (34925)", 2121},
    };
    HMENU tif = popup(POPUP_TIF);
    heading(tif, IDM_MAIN_TIFF_HEADING, "Select TIFF Compression Format:", MF_DISABLED);
    separator(tif);
    for (const auto& choice : CHOICES) {
        HMENU menu = popup(choice.which);
        item(menu, choice.strips_id, "&Strips");
        if (choice.strips_id + 1 == IDM_MAIN_SAVE_TIFF_JBIG_TILES)
            heading(menu, choice.strips_id + 1, "&Tiles", MF_GRAYED);
        else
            item(menu, choice.strips_id + 1, "&Tiles");
        sub(tif, choice.which, choice.label);
    }
}

static void build_convert_save(HMENU bar)
{
    HMENU bmp = popup(POPUP_BMP);
    item(bmp, IDM_MAIN_SAVE_BMP, "&Uncompressed");
    item(bmp, IDM_MAIN_SAVE_BMP_RLE, "&RLE Compression");
    HMENU bitfields = popup(POPUP_BITFIELDS);
    item(bitfields, IDM_MAIN_SAVE_BMP_555, "RGB 5 &5 5");
    item(bitfields, IDM_MAIN_SAVE_BMP_565, "RGB 5 &6 5");
    sub(bmp, POPUP_BITFIELDS, "&Bitfields");

    HMENU gif = popup(POPUP_GIF);
    item(gif, IDM_MAIN_SAVE_GIF, "&No Interlacing");
    item(gif, IDM_MAIN_SAVE_GIF_INTERLACED, "&8-8-4-2 Interlacing");

    HMENU iff_standard = popup(POPUP_IFF_STANDARD);
    item(iff_standard, IDM_MAIN_SAVE_IFF, "&Uncompressed");
    item(iff_standard, IDM_MAIN_SAVE_IFF_PACKED, "&Packer Compression");
    HMENU iff_ham = popup(POPUP_IFF_HAM);
    item(iff_ham, IDM_MAIN_SAVE_IFF_HAM, "&Uncompressed");
    item(iff_ham, IDM_MAIN_SAVE_IFF_HAM_PACKED, "&Packer Compression");
    HMENU iff = popup(POPUP_IFF);
    sub(iff, POPUP_IFF_STANDARD, "&Standard File Structure");
    sub(iff, POPUP_IFF_HAM, "&HAM (Hold and Modify)");

    HMENU jpg = popup(POPUP_JPG);
    item(jpg, IDM_MAIN_SAVE_JPEG, "&Standard File Structure");
    item(jpg, IDM_MAIN_SAVE_JPEG_PROGRESSIVE, "&Progressive File Structure");

    HMENU png = popup(POPUP_PNG);
    item(png, IDM_MAIN_SAVE_PNG, "&No Interlacing");
    item(png, IDM_MAIN_SAVE_PNG_ADAM7, "&ADAM7 Interlacing");

    HMENU tga = popup(POPUP_TGA);
    item(tga, IDM_MAIN_SAVE_TGA, "&Uncompressed");
    item(tga, IDM_MAIN_SAVE_TGA_RLE, "&RLE Compression");

    build_tiff();

    HMENU jpeg12 = popup(POPUP_JPEG12);
    item(jpeg12, IDM_MAIN_SAVE_JPEG12, "&Standard File Structure");
    item(jpeg12, IDM_MAIN_SAVE_JPEG12_PROGRESSIVE, "&Progressive File Structure");
    HMENU experts = popup(POPUP_EXPERTS);
    item(experts, IDM_MAIN_SAVE_JPEG_LOSSLESS, "JPEG 8Bit &Lossless");
    sub(experts, POPUP_JPEG12, "JPEG &12Bit Lossy");
    item(experts, IDM_MAIN_SAVE_JPEG12_LOSSLESS, "JPEG 1&2Bit Lossless");

    HMENU convert = popup(POPUP_CONVERT);
    sub(convert, POPUP_BMP, "B&MP");
    sub(convert, POPUP_GIF, "&GIF");
    sub(convert, POPUP_IFF, "&IFF");
    item(convert, IDM_MAIN_SAVE_JBIG, "J&BG");
    sub(convert, POPUP_JPG, "&JPG");
    item(convert, IDM_MAIN_SAVE_PCX, "P&CX");
    item(convert, IDM_MAIN_SAVE_PNM_FAMILY, "&PBM");
    sub(convert, POPUP_PNG, "P&NG");
    sub(convert, POPUP_TGA, "&TGA");
    sub(convert, POPUP_TIF, "TI&F");
    separator(convert);
    item(convert, IDM_MAIN_SAVE_EMF, "&EMF");
    item(convert, IDM_MAIN_SAVE_WMF, "&WMF");
    separator(convert);
    sub(convert, POPUP_EXPERTS, "E&xperts Only");
    sub(bar, POPUP_CONVERT, "&Convert/Save");
}

static void build_rest(HMENU bar)
{
    HMENU batch = popup(POPUP_BATCH);
    item(batch, IDM_MAIN_BATCH, "&Batch Process Digital Images");
    sub(bar, POPUP_BATCH, "&Batch");

    HMENU comment = popup(POPUP_COMMENT);
    item(comment, IDM_MAIN_INSERT_COMMENT, "&Insert/Replace Comment (GIF, IFF, JPEG, PNG, TGA, TIFF, EMF)");
    item(comment, IDM_MAIN_VIEW_COMMENT, "&View Entire Comment");
    item(comment, IDM_MAIN_EXIF_PROPERTIES, "View &Digital Image Properties");
    sub(bar, POPUP_COMMENT, "Co&mment");

    HMENU slideshow = popup(POPUP_SLIDESHOW);
    item(slideshow, IDM_MAIN_SLIDESHOW, "&Begin Slideshow");
    separator(slideshow);
    item(slideshow, IDM_MAIN_HIDE_FILE_NAME, "Hide &File Name");
    item(slideshow, IDM_MAIN_HIDE_STATUS_BAR, "Hide &Status Bar");
    sub(bar, POPUP_SLIDESHOW, "Slidesho&w");

    HMENU help = popup(POPUP_HELP);
    item(help, IDM_MAIN_HELP_LIBRARY, "&Help Library");
    separator(help);
    item(help, IDM_MAIN_HELP_STARTED, "&Getting Started");
    item(help, IDM_MAIN_HELP_MULTIMEDIA, "&Multimedia");
    item(help, IDM_MAIN_HELP_CAPTURE, "&Screen Capture");
    item(help, IDM_MAIN_HELP_COMMENTS, "Display &Comments");
    separator(help);
    item(help, IDM_MAIN_ABOUT, "&About Corvane");
    sub(bar, POPUP_HELP, "&Help");

    item(bar, IDM_MAIN_BAR_LAST_FILE, "&<<<");
    item(bar, IDM_MAIN_BAR_NEXT_FILE, "&>>>");
}

void build_main_menu(HWND hwndMain)
{
    SIZE_T bytes = MENU_ITEM_RECORDS * sizeof(MENUITEMINFOA);
    g_hViewMenuItems = GlobalAlloc(GHND, bytes);
    g_hMainMenuItems = GlobalAlloc(GHND, bytes);

    HMENU bar = CreateMenu();
    build_file_and_screen(bar);
    build_image_tools(bar);
    build_convert_save(bar);
    build_rest(bar);
    g_hMainMenu = bar;
    SetMenu(hwndMain, bar);
}

void destroy_main_menu(HWND hwndMain)
{
    if (hwndMain && GetMenu(hwndMain) == g_hMainMenu)
        SetMenu(hwndMain, NULL);
    // The bar takes every attached popup with it.
    if (g_hMainMenu)
        DestroyMenu(g_hMainMenu);
    g_hMainMenu = NULL;
    for (HMENU& menu : s_popups)
        menu = NULL;
    if (g_hViewMenuItems)
        GlobalFree(g_hViewMenuItems);
    if (g_hMainMenuItems)
        GlobalFree(g_hMainMenuItems);
    g_hViewMenuItems = g_hMainMenuItems = NULL;
}

// ---- item states

static int file_opens_for_reading(const char* name)
{
    if (!name[0])
        return 0;
    FILE* f = std::fopen(name, "rb");
    if (!f)
        return 0;
    std::fclose(f);
    return 1;
}

static int comment_present(void)
{
    if (!g_hComment)
        return 0;
    const char* text = (const char*)GlobalLock(g_hComment);
    if (!text)
        return 0;
    int present = GlobalSize(g_hComment) > 0 && text[0] != '\0';
    GlobalUnlock(g_hComment);
    return present;
}

void gather_main_menu_facts(MenuFacts* f)
{
    std::memset(f, 0, sizeof *f);
    f->display_bits = get_display_bit_depth();
    f->kind = g_imageKind;
    f->has_image = g_hImage != NULL;
    f->format = g_fileFormat;
    f->bit_count = get_image_bit_count();
    f->color_count = get_image_color_count();
    f->original_bit_count = get_original_bit_count();
    bool dib = g_imageKind == KIND_DIB && g_hImage;
    HGLOBAL save = dib ? image_for_saving() : NULL;
    f->save_bit_count = dib_bit_count(save);
    f->is_black_white = is_black_white_palette(NULL);
    f->shown_black_white = is_black_white_palette(g_hImage);
    f->shown_grey = is_grey_palette(g_hImage);
    f->unconverted_in_use = dib && save == g_hImageUnconverted && save != NULL;
    f->unconverted_grey = f->unconverted_in_use ? is_grey_palette(g_hImageUnconverted) : 0;
    f->color_conversion = g_colorConversion;
    f->jpeg_lossless = g_jpegLossless;
    f->jpeg_progressive = g_jpegProgressive;
    f->file_name_empty = g_fileName[0] == '\0';
    f->file_readable = g_filePath[0] && file_opens_for_reading(g_filePath);
    bool jpeg = g_fileFormat == FMT_JPEG || g_fileFormat == FMT_JPEG12;
    f->is_exif = jpeg && f->file_readable ? is_exif_jpeg(g_filePath) : 0;
    f->comment_present = comment_present();
    f->clipboard_has_image = IsClipboardFormatAvailable(CF_DIB) ||
                             IsClipboardFormatAvailable(CF_ENHMETAFILE) ||
                             IsClipboardFormatAvailable(CF_METAFILEPICT);
    f->edit_count = g_editCount;
    f->unrecorded_changes = g_unrecordedChanges;
    f->file_changed = is_shown_file_on_disk() && !file_unchanged_since_load();
    f->hide_file_name = g_hideFileName;
    f->hide_status_bar = g_hideStatusBar;
    f->disable_alpha = g_disableAlpha;
    f->background_index = g_backgroundColorIndex;
}

namespace {

struct ChangeList {
    MenuItemChange* items;
    int count;
};

void set(ChangeList* list, int id, UINT state, const char* label = NULL)
{
    if (list->count < MENU_ITEM_RECORDS)
        list->items[list->count++] = MenuItemChange{id, -1, state, label};
}

void set_popup(ChangeList* list, int which, UINT state)
{
    if (list->count < MENU_ITEM_RECORDS)
        list->items[list->count++] = MenuItemChange{0, which, state, NULL};
}

UINT enabled_if(bool condition)
{
    return condition ? MFS_ENABLED : MFS_GRAYED;
}

bool is_capture_or_paste(const MenuFacts* f)
{
    return (f->kind == KIND_DIB && (f->format == FMT_SCREEN_CAPTURE || f->format == FMT_CLIPBOARD)) ||
           ((f->kind == KIND_WMF || f->kind == KIND_EMF) && f->format == FMT_CLIPBOARD);
}

void best_colour_states(const MenuFacts* f, ChangeList* list)
{
    const int D = f->display_bits, B = f->bit_count, K = f->color_count;
    const bool dib = f->kind == KIND_DIB;
    UINT standard16 = enabled_if(dib && !f->is_black_white);
    if (D >= 8) {
        set(list, IDM_MAIN_TRUE_COLOR, D == 8 ? MFS_GRAYED : enabled_if(dib && B > 8));
        // N best colours: enabled for a deeper image than L bits unless it
        // is a palette image of at most T colours.
        static const struct {
            int id, t, l;
        } BEST[] = {
            {IDM_MAIN_BEST_256, 128, 4}, {IDM_MAIN_BEST_128, 64, 4}, {IDM_MAIN_BEST_64, 32, 4},
            {IDM_MAIN_BEST_32, 16, 4},   {IDM_MAIN_BEST_16, 8, 1},   {IDM_MAIN_BEST_8, 4, 1},
            {IDM_MAIN_BEST_4, 2, 1},
        };
        for (const auto& best : BEST)
            set(list, best.id, enabled_if(dib && B > best.l && !(1 <= K && K <= best.t && B <= 8)));
        set(list, IDM_MAIN_BEST_2, enabled_if(dib && !(K == 1 && B <= 8)));
        set(list, IDM_MAIN_STANDARD_256, standard16);
        set(list, IDM_MAIN_WEB_216, standard16);
        set(list, IDM_MAIN_STANDARD_16, standard16);
        set(list, IDM_MAIN_GRAYSCALE, MFS_ENABLED, "&Grayscale (256 colors)");
    } else {
        static const int GREYED[] = {IDM_MAIN_TRUE_COLOR, IDM_MAIN_BEST_256, IDM_MAIN_BEST_32,
                                     IDM_MAIN_BEST_16, IDM_MAIN_STANDARD_256, IDM_MAIN_WEB_216};
        for (int id : GREYED)
            set(list, id, MFS_GRAYED);
        set(list, IDM_MAIN_STANDARD_16, standard16);
        static const int FRESH[] = {IDM_MAIN_BEST_128, IDM_MAIN_BEST_64, IDM_MAIN_BEST_8,
                                    IDM_MAIN_BEST_4, IDM_MAIN_BEST_2};
        for (int id : FRESH)
            set(list, id, MFS_ENABLED);
        set(list, IDM_MAIN_GRAYSCALE, MFS_ENABLED, "&Grayscale (4 colors)");
    }
}

void bmp_states(const MenuFacts* f, ChangeList* list)
{
    if (f->has_image && f->kind == KIND_DIB) {
        int bits = f->save_bit_count;
        if (bits == 4 || bits == 8) {
            set(list, IDM_MAIN_SAVE_BMP_RLE, MFS_ENABLED, bits == 4 ? "&RLE4 Compression" : "&RLE8 Compression");
            set_popup(list, POPUP_BITFIELDS, MFS_GRAYED);
            set(list, IDM_MAIN_SAVE_BMP_555, MFS_GRAYED);
            set(list, IDM_MAIN_SAVE_BMP_565, MFS_GRAYED);
        } else if (bits == 16 || bits == 32) {
            set(list, IDM_MAIN_SAVE_BMP_RLE, MFS_GRAYED, "&RLE Compression");
            set_popup(list, POPUP_BITFIELDS, MFS_ENABLED);
            set(list, IDM_MAIN_SAVE_BMP_555, MFS_ENABLED, bits == 16 ? "RGB 5 &5 5" : "RGB &8 8 8");
            set(list, IDM_MAIN_SAVE_BMP_565, MFS_ENABLED, bits == 16 ? "RGB 5 &6 5" : "RGB &10 10 10");
        } else {
            set(list, IDM_MAIN_SAVE_BMP_RLE, MFS_GRAYED, "&RLE Compression");
            set_popup(list, POPUP_BITFIELDS, MFS_GRAYED);
            set(list, IDM_MAIN_SAVE_BMP_555, MFS_GRAYED);
            set(list, IDM_MAIN_SAVE_BMP_565, MFS_GRAYED);
        }
    } else {
        set(list, IDM_MAIN_SAVE_BMP_RLE, MFS_ENABLED, "&RLE Compression");
        set_popup(list, POPUP_BITFIELDS, MFS_ENABLED);
        set(list, IDM_MAIN_SAVE_BMP_555, MFS_ENABLED, "RGB &8 8 8");
        set(list, IDM_MAIN_SAVE_BMP_565, MFS_ENABLED, "RGB &10 10 10");
    }
}

void jpeg_states(const MenuFacts* f, ChangeList* list)
{
    set(list, IDM_MAIN_JPEG_HEADING, f->format == FMT_JPEG && !f->jpeg_lossless ? MF_DISABLED : MFS_GRAYED);
    // The coefficient transforms run on 8- and 12-bit DCT files; 8-bit
    // lossless-coded files are turned, flipped and made grey by encoding
    // them again, which has no progressive structure to change.
    bool transformable = f->file_readable && (f->format == FMT_JPEG ||
                                              (f->format == FMT_JPEG12 && !f->jpeg_lossless));
    UINT turn_state = enabled_if(transformable);
    set_popup(list, POPUP_JPEG_ROTATE, turn_state);
    set_popup(list, POPUP_JPEG_OTHER, turn_state);
    set(list, IDM_MAIN_JPEG_EXIF, enabled_if(transformable && !f->is_exif && f->format != FMT_JPEG12));
    set(list, IDM_MAIN_JPEG_PROGRESSIVE, enabled_if(transformable && !f->jpeg_lossless),
        f->jpeg_progressive ? "Progressive >>> Standard &Structure" : "Standard >>> Progressive &Structure");
    set(list, IDM_MAIN_JPEG_OPTIMIZE, enabled_if(transformable && !f->jpeg_lossless && f->format != FMT_JPEG12));
}

void comment_and_file_states(const MenuFacts* f, ChangeList* list)
{
    static const int COMMENT_FORMATS[] = {13, 14, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28};
    bool commentable = f->kind == KIND_EMF && f->format != FMT_CLIPBOARD;
    for (int code : COMMENT_FORMATS)
        commentable = commentable || f->format == code;
    set(list, IDM_MAIN_INSERT_COMMENT, enabled_if(commentable && f->file_readable));
    set(list, IDM_MAIN_VIEW_COMMENT, enabled_if(f->comment_present));
    set(list, IDM_MAIN_EXIF_PROPERTIES, enabled_if(f->kind == KIND_DIB && f->format == FMT_JPEG && f->is_exif));

    UINT file_state = enabled_if(!is_capture_or_paste(f) && !f->file_name_empty && f->file_readable);
    for (int id = IDM_MAIN_MOVE_FILE; id <= IDM_MAIN_RENAME_FILE; ++id)
        set(list, id, file_state);
}

void clipboard_and_save_states(const MenuFacts* f, ChangeList* list)
{
    bool dib = f->has_image && f->kind == KIND_DIB;
    set(list, IDM_MAIN_COPY_CLIPBOARD,
        enabled_if(f->has_image && (f->kind == KIND_DIB || f->kind == KIND_WMF || f->kind == KIND_EMF)));
    set(list, IDM_MAIN_PASTE_CLIPBOARD, enabled_if(f->clipboard_has_image));
    set(list, IDM_MAIN_MERGE_CLIPBOARD, enabled_if(f->clipboard_has_image));
    set(list, IDM_MAIN_SAVE_EMF,
        enabled_if(f->has_image && (f->kind == KIND_WMF || (f->kind == KIND_EMF && f->format == FMT_CLIPBOARD))));
    set(list, IDM_MAIN_SAVE_WMF, enabled_if(f->has_image && f->kind == KIND_EMF));
    // A raster entry is offered for a bitmap once its format has a writer.
    static const struct {
        int popup;  // -1 for a command item
        int id;
        int code;   // the FormatCode its commands write
    } RASTER_ENTRIES[] = {
        {POPUP_BMP, 0, FMT_BMP}, {POPUP_GIF, 0, FMT_GIF}, {POPUP_IFF, 0, FMT_IFF},
        {POPUP_JPG, 0, FMT_JPEG}, {POPUP_PNG, 0, FMT_PNG}, {POPUP_TGA, 0, FMT_TARGA},
        {POPUP_TIF, 0, FMT_TIFF}, {POPUP_EXPERTS, 0, FMT_JPEG},
        {-1, IDM_MAIN_SAVE_JBIG, FMT_JBIG}, {-1, IDM_MAIN_SAVE_PCX, FMT_PCX},
    };
    for (const auto& entry : RASTER_ENTRIES) {
        UINT state = enabled_if(dib && save_format_has_writer(entry.code));
        if (entry.popup >= 0)
            set_popup(list, entry.popup, state);
        else
            set(list, entry.id, state);
    }
}

void tool_states(const MenuFacts* f, ChangeList* list)
{
    const int D = f->display_bits;
    const bool has_file = !(f->kind == KIND_DIB && (f->format == FMT_SCREEN_CAPTURE || f->format == FMT_CLIPBOARD));
    // Restore is offered whenever the picture shown is not the file's: after
    // an edit, once its history was dropped under changes Undo cannot take
    // back, and once the file changed on disk since it was read.
    set(list, IDM_MAIN_RESTORE,
        enabled_if(has_file && (f->edit_count > 0 || f->unrecorded_changes || f->file_changed)));
    set(list, IDM_MAIN_UNDO, enabled_if(has_file && f->edit_count > 0));

    int c = f->color_conversion;
    set(list, IDM_MAIN_RED_EYE, enabled_if(f->original_bit_count >= 8 && D >= 8 && !f->shown_grey &&
                                           (c == 0 || c == CONV_BEST_256 || c == CONV_BEST_128)));
    set_popup(list, POPUP_BACKGROUND, enabled_if(f->file_name_empty || f->file_readable));
    set(list, IDM_MAIN_DISPLAY_PALETTE,
        enabled_if(f->has_image && f->kind == KIND_DIB && f->save_bit_count > 0 && f->save_bit_count <= 8));

    set(list, IDM_MAIN_TONING_HEADING, D >= 8 ? MF_DISABLED : MFS_GRAYED);
    for (int id = IDM_MAIN_TONE_FIRST; id <= IDM_MAIN_TONE_LAST; ++id)
        set(list, id, enabled_if(D >= 8));
    set_popup(list, POPUP_MERGE, enabled_if(D > 8));
    set(list, IDM_MAIN_SPHERE, enabled_if(D > 8));
}

}  // namespace

int compute_main_menu_changes(const MenuFacts* f, MenuItemChange* changes)
{
    ChangeList list = {changes, 0};
    const int D = f->display_bits;
    best_colour_states(f, &list);

    UINT mono_only = enabled_if(f->is_black_white);
    set_popup(&list, POPUP_TIFF_HUFFMAN, mono_only);
    set_popup(&list, POPUP_TIFF_G3, mono_only);
    set_popup(&list, POPUP_TIFF_G4, mono_only);
    set_popup(&list, POPUP_TIFF_JBIG, mono_only);

    UINT brightness = f->is_black_white ? MFS_GRAYED : enabled_if(D >= 8);
    set(&list, IDM_MAIN_BRIGHTEN, brightness);
    set(&list, IDM_MAIN_DARKEN, brightness);

    bmp_states(f, &list);

    set(&list, IDM_MAIN_HIDE_FILE_NAME, f->hide_file_name ? MFS_CHECKED : MFS_ENABLED);
    set(&list, IDM_MAIN_HIDE_STATUS_BAR, f->hide_status_bar ? MFS_CHECKED : MFS_ENABLED);
    set(&list, IDM_MAIN_DISABLE_ALPHA, f->disable_alpha ? MFS_CHECKED : MFS_ENABLED);
    set(&list, IDM_MAIN_SELECT_COLOR,
        D <= 8 ? MFS_GRAYED : f->background_index == BACKGROUND_CUSTOM ? MFS_CHECKED : MFS_ENABLED);

    jpeg_states(f, &list);
    comment_and_file_states(f, &list);
    clipboard_and_save_states(f, &list);
    tool_states(f, &list);
    return list.count;
}

static PnmFamilyItem pick_pnm_family_item(const MenuFacts* f)
{
    PnmFamilyItem pbm = {"&PBM", 5, MFS_ENABLED};
    if (!(f->has_image && f->kind == KIND_DIB)) {
        pbm.state = MFS_GRAYED;
        return pbm;
    }
    if (f->shown_black_white)
        return pbm;
    PnmFamilyItem pgm = {"&PGM", 6, MFS_ENABLED};
    PnmFamilyItem ppm = {"&PPM", 7, MFS_ENABLED};
    PnmFamilyItem pnm = {"&PNM", 7, MFS_ENABLED};
    if (f->unconverted_in_use) {
        if (f->bit_count == 32)
            return pnm;
        return f->unconverted_grey ? pgm : ppm;
    }
    if (f->original_bit_count == 32)
        return pnm;
    return f->shown_grey ? pgm : ppm;
}

PnmFamilyItem choose_pnm_family_item(const MenuFacts* f)
{
    PnmFamilyItem item = pick_pnm_family_item(f);
    static const struct {
        const char* label;
        int code;
    } CODES[] = {{"&PBM", FMT_PBM}, {"&PGM", FMT_PGM}, {"&PPM", FMT_PPM}, {"&PNM", FMT_PNM}};
    for (const auto& entry : CODES)
        if (std::strcmp(item.label, entry.label) == 0 && !save_format_has_writer(entry.code))
            item.state = MFS_GRAYED;
    return item;
}

UINT main_bar_entry_state(int kind, int entry)
{
    switch (entry) {
    case BAR_IMAGE_TOOLS:
        return kind == KIND_DIB ? MF_ENABLED : MF_GRAYED;
    case BAR_CONVERT:
        return kind == KIND_DIB || kind == KIND_WMF || kind == KIND_EMF ? MF_ENABLED : MF_GRAYED;
    case BAR_SCREEN:
    case BAR_BATCH:
    case BAR_COMMENT:
    case BAR_SLIDESHOW:
        return kind == KIND_MULTIMEDIA ? MF_GRAYED : MF_ENABLED;
    }
    return MF_ENABLED;
}

// The menu holding a popup and the popup's place in it.
static bool find_popup(HMENU menu, HMENU wanted, HMENU* parent, UINT* position)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        HMENU child = GetSubMenu(menu, i);
        if (!child)
            continue;
        if (child == wanted) {
            *parent = menu;
            *position = (UINT)i;
            return true;
        }
        if (find_popup(child, wanted, parent, position))
            return true;
    }
    return false;
}

// Applies one change through its record: the label first when it changes,
// then the state.
static void apply_change(MENUITEMINFOA* record, const MenuItemChange* change)
{
    HMENU menu = g_hMainMenu;
    UINT item = (UINT)change->id;
    BOOL by_position = FALSE;
    if (change->popup >= 0) {
        if (!s_popups[change->popup] || !find_popup(g_hMainMenu, s_popups[change->popup], &menu, &item))
            return;
        by_position = TRUE;
    }
    if (change->label) {
        std::memset(record, 0, sizeof *record);
        record->cbSize = sizeof *record;
        record->fMask = MIIM_TYPE;
        record->fType = MFT_STRING;
        record->dwTypeData = (LPSTR)change->label;
        SetMenuItemInfoA(menu, item, by_position, record);
    }
    std::memset(record, 0, sizeof *record);
    record->cbSize = sizeof *record;
    record->fMask = MIIM_STATE;
    record->fState = change->state;
    SetMenuItemInfoA(menu, item, by_position, record);
}

BOOL main_menu_on_initmenu(HWND hwndMain, HMENU menu)
{
    if (is_window_open(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    g_hwndPalette = NULL;
    if (!g_hMainMenu || menu != g_hMainMenu)
        return TRUE;

    HMENU convert = s_popups[POPUP_CONVERT];
    DeleteMenu(convert, IDM_MAIN_SAVE_PNM_FAMILY, MF_BYCOMMAND);

    MenuFacts facts;
    gather_main_menu_facts(&facts);
    MenuItemChange changes[MENU_ITEM_RECORDS];
    int count = compute_main_menu_changes(&facts, changes);

    MENUITEMINFOA* records = g_hMainMenuItems ? (MENUITEMINFOA*)GlobalLock(g_hMainMenuItems) : NULL;
    MENUITEMINFOA spare;
    for (int i = 0; i < count; ++i)
        apply_change(records ? &records[i] : &spare, &changes[i]);
    if (records)
        GlobalUnlock(g_hMainMenuItems);

    PnmFamilyItem pnm = choose_pnm_family_item(&facts);
    InsertMenuA(convert, (UINT)pnm.position, MF_BYPOSITION | MF_STRING | pnm.state,
                IDM_MAIN_SAVE_PNM_FAMILY, pnm.label);

    // Whatever the image, a command without its worker stays greyed.
    for (int id = IDM_MAIN_LAST_FILE; id <= IDM_MAIN_TONE_LAST; ++id)
        if (!main_command_has_worker(id))
            EnableMenuItem(g_hMainMenu, (UINT)id, MF_BYCOMMAND | MF_GRAYED);
    return TRUE;
}

// ---- background swatches

BOOL main_menu_on_measureitem(HWND hwndMain, MEASUREITEMSTRUCT* item)
{
    if (item->CtlType != ODT_MENU)
        return FALSE;
    LONG check = GetMenuCheckMarkDimensions();
    item->itemWidth = 4 * LOWORD(check);
    item->itemHeight = (UINT)(1.5 * HIWORD(check));
    return TRUE;
}

BOOL main_menu_on_drawitem(HWND hwndMain, const DRAWITEMSTRUCT* item)
{
    if (item->CtlType != ODT_MENU || item->itemID < IDM_MAIN_BACKGROUND_FIRST ||
        item->itemID > IDM_MAIN_BACKGROUND_LAST)
        return FALSE;
    int entry = (int)item->itemID - IDM_MAIN_BACKGROUND_FIRST;
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    bool checked = g_backgroundColorIndex == entry;

    BITMAP check = {};
    if (g_hbmCheck)
        GetObjectA(g_hbmCheck, sizeof check, &check);
    int cw = check.bmWidth, ch = check.bmHeight;

    HBRUSH swatch = CreateSolidBrush(background_color((uint32_t)entry));
    HPEN face_pen = CreatePen(PS_SOLID, 1, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    HPEN frame_pen = selected ? CreatePen(PS_SOLID, 2, GetSysColor(COLOR_HIGHLIGHTTEXT))
                              : CreatePen(PS_SOLID, 1, GetSysColor(COLOR_MENUTEXT));
    HBRUSH face = selected ? g_hbrHighlight : g_hbrButtonFace;
    if (!face)
        face = GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_BTNFACE);

    HGDIOBJ old_pen = SelectObject(dc, face_pen);
    HGDIOBJ old_brush = SelectObject(dc, face);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, frame_pen);
    SelectObject(dc, swatch);
    if (selected)
        Rectangle(dc, r.left + cw + 3, r.top + 2, r.right - 3, r.bottom - 1);
    else
        Rectangle(dc, r.left + cw + 2, r.top + 1, r.right - 3, r.bottom - 1);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);

    if (checked && g_hbmCheck) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old_bitmap = SelectObject(memory, g_hbmCheck);
        COLORREF old_text = 0, old_back = 0;
        if (selected) {
            old_text = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            old_back = SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
        }
        BitBlt(dc, r.left, r.top + (r.bottom - r.top - ch) / 2, cw, ch, memory, 0, 0, SRCCOPY);
        if (selected) {
            SetTextColor(dc, old_text);
            SetBkColor(dc, old_back);
        }
        SelectObject(memory, old_bitmap);
        DeleteDC(memory);
    }
    DeleteObject(face_pen);
    DeleteObject(frame_pen);
    DeleteObject(swatch);
    return TRUE;
}

// ---- bar entries

static int media_has_picture(void)
{
    return is_window_open(g_hwndMci) && g_mciAreaWidth > 0 && g_mciAreaHeight > 0;
}

void update_main_menu_state(void)
{
    if (!g_hMainMenu)
        return;
    static const int ENTRIES[] = {BAR_SCREEN, BAR_IMAGE_TOOLS, BAR_CONVERT, BAR_BATCH, BAR_COMMENT, BAR_SLIDESHOW};
    for (int entry : ENTRIES)
        EnableMenuItem(g_hMainMenu, (UINT)entry, MF_BYPOSITION | main_bar_entry_state(g_imageKind, entry));

    if (is_window_open(g_hwndMain)) {
        bool media = g_imageKind == KIND_MULTIMEDIA;
        ShowWindow(GetDlgItem(g_hwndMain, IDC_MAIN_CENTER), media ? SW_HIDE : SW_SHOW);
        ShowWindow(GetDlgItem(g_hwndMain, IDC_MAIN_TILE), media ? SW_HIDE : SW_SHOW);
        HWND full = GetDlgItem(g_hwndMain, IDC_MAIN_FULL_SCREEN);
        ShowWindow(full, !media || media_has_picture() ? SW_SHOW : SW_HIDE);
        EnableWindow(full, TRUE);
        DrawMenuBar(g_hwndMain);
    }
}

void update_view_menu_state(void)
{
    if (!is_window_open(g_hwndView))
        return;
    HMENU bar = GetMenu(g_hwndView);
    if (!bar)
        return;
    EnableMenuItem(bar, BAR_IMAGE_TOOLS, MF_BYPOSITION | main_bar_entry_state(g_imageKind, BAR_IMAGE_TOOLS));
    EnableMenuItem(bar, BAR_CONVERT, MF_BYPOSITION | main_bar_entry_state(g_imageKind, BAR_CONVERT));
    DrawMenuBar(g_hwndView);
}
