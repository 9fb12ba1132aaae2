// The main window's menu: the tree built in code at start-up, the owner-drawn
// background swatches, the item states set each time the menu opens and the
// bar entries that follow the kind of the current image. What the commands
// do is in main_commands.h; the image window's own menu is a resource.
//
// The item states are computed from a plain record of facts about the
// current image (compute_main_menu_changes), so the rules can be checked
// without a window; main_menu_on_initmenu gathers the facts and applies them.
#pragma once

#include <windows.h>

enum { MENU_ITEM_RECORDS = 79 };

extern HMENU g_hMainMenu;         // the menu bar of the main window
extern HGLOBAL g_hMainMenuItems;  // MENU_ITEM_RECORDS MENUITEMINFOA, main menu
extern HGLOBAL g_hViewMenuItems;  // the same for the image window's menu

// Popups that are addressed by their place in the parent menu.
enum MainMenuPopup {
    POPUP_FILE, POPUP_SCREEN, POPUP_PRINT, POPUP_BACKGROUND,
    POPUP_IMAGE_TOOLS, POPUP_JPEG_ROTATE, POPUP_JPEG_OTHER, POPUP_ROTATE, POPUP_FLIP,
    POPUP_REDUCE, POPUP_BEST, POPUP_MERGE,
    POPUP_CONVERT, POPUP_BMP, POPUP_BITFIELDS, POPUP_GIF, POPUP_IFF, POPUP_IFF_STANDARD,
    POPUP_IFF_HAM, POPUP_JPG, POPUP_PNG, POPUP_TGA, POPUP_TIF,
    POPUP_TIFF_UNCOMPRESSED, POPUP_TIFF_HUFFMAN, POPUP_TIFF_G3, POPUP_TIFF_G4, POPUP_TIFF_LZW,
    POPUP_TIFF_JPEG, POPUP_TIFF_DEFLATE, POPUP_TIFF_PACKBITS, POPUP_TIFF_JBIG, POPUP_TIFF_LZMA,
    POPUP_EXPERTS, POPUP_JPEG12,
    POPUP_BATCH, POPUP_COMMENT, POPUP_SLIDESHOW, POPUP_HELP,
    POPUP_COUNT
};

// Places on the menu bar.
enum MainBarEntry {
    BAR_FILE = 0, BAR_SCREEN = 1, BAR_IMAGE_TOOLS = 2, BAR_CONVERT = 3, BAR_BATCH = 4,
    BAR_COMMENT = 5, BAR_SLIDESHOW = 6, BAR_HELP = 7,
};

// What the item states depend on, read from the current-image state.
struct MenuFacts {
    int display_bits;         // bits per pixel of the display
    int kind;                 // ImageKind
    int has_image;            // g_hImage is set
    int format;               // FormatCode
    int bit_count;            // of the unconverted copy when set, else of the image
    int color_count;          // its table entries
    int original_bit_count;   // of g_hImage itself
    int save_bit_count;       // of the image Convert/Save would write; 0 none
    int is_black_white;       // the image (unconverted copy first) is black and white
    int shown_black_white;    // g_hImage is black and white
    int shown_grey;           // g_hImage has a grey palette
    int unconverted_in_use;   // Convert/Save would write the unconverted copy
    int unconverted_grey;     // that copy has a grey palette
    int color_conversion;     // g_colorConversion
    int jpeg_lossless;
    int jpeg_progressive;
    int is_exif;              // the current file is an Exif JPEG
    int file_name_empty;
    int file_readable;        // the current file opens for reading
    int comment_present;      // a non-empty comment text is held
    int clipboard_has_image;  // CF_DIB, CF_ENHMETAFILE or CF_METAFILEPICT offered
    unsigned edit_count;
    int unrecorded_changes;   // the picture holds changes no record makes (g_unrecordedChanges)
    int file_changed;         // the shown file on disk is no longer the one read
    int hide_file_name;
    int hide_status_bar;
    int disable_alpha;
    int background_index;
};

// One state (and, where it changes, label) for an item named by command
// id, or for a popup (id 0, popup a MainMenuPopup).
struct MenuItemChange {
    int id;
    int popup;            // -1 for a command item
    UINT state;           // MFS_ENABLED, MFS_GRAYED, MF_DISABLED or MFS_CHECKED
    const char* label;    // null: the label stays
};

// The PBM-family entry of "&Convert/Save": its label, its place among the
// entries (counted without it) and its state.
struct PnmFamilyItem {
    const char* label;
    int position;
    UINT state;
};

void gather_main_menu_facts(struct MenuFacts* facts);
// Fills changes (room for MENU_ITEM_RECORDS) and returns their number.
int compute_main_menu_changes(const struct MenuFacts* facts, struct MenuItemChange* changes);
struct PnmFamilyItem choose_pnm_family_item(const struct MenuFacts* facts);
// State of a bar entry for an image kind.
UINT main_bar_entry_state(int kind, int entry);

// Start-up: allocates both item blocks, builds the tree and attaches it.
void build_main_menu(HWND hwndMain);
// Exit: detaches and destroys the tree and frees both item blocks.
void destroy_main_menu(HWND hwndMain);

// WM_INITMENU: closes the palette window and sets every state; TRUE.
BOOL main_menu_on_initmenu(HWND hwndMain, HMENU menu);
// WM_DRAWITEM / WM_MEASUREITEM of the eight background swatches; FALSE for
// anything else.
BOOL main_menu_on_drawitem(HWND hwndMain, const DRAWITEMSTRUCT* item);
BOOL main_menu_on_measureitem(HWND hwndMain, MEASUREITEMSTRUCT* item);

// Greys or enables the bar entries by the kind of the current image, shows
// or hides Center, Tile and Full Screen, and redraws the bar.
void update_main_menu_state(void);
// The bar entries "&Image Tools" and "&Convert/Save" of the image window.
void update_view_menu_state(void);
