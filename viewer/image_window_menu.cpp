// The image window's menu states. Popups are found by their place in the
// resource menu, resolved before the PBM-family item is taken out, and
// addressed by handle from then on.
#include "viewer/image_window_menu.h"

#include <cstring>

#include "app/main_menu.h"
#include "image/current_image.h"
#include "image/open_windows.h"
#include "resources/resource.h"
#include "viewer/image_window.h"
#include "viewer/image_window_commands.h"

// Place of each popup in "MENU_A": positions from the bar down, -1 ends.
static const int POPUP_PATHS[POPUP_COUNT][4] = {
    /* FILE */ {0, -1}, /* SCREEN */ {1, -1}, /* PRINT */ {1, 7, -1}, /* BACKGROUND */ {1, 9, -1},
    /* IMAGE_TOOLS */ {2, -1}, /* JPEG_ROTATE */ {2, 2, -1}, /* JPEG_OTHER */ {2, 3, -1},
    /* ROTATE */ {2, 15, -1}, /* FLIP */ {2, 16, -1}, /* REDUCE */ {2, 22, -1}, /* BEST */ {2, 22, 0, -1},
    /* MERGE */ {2, 28, -1},
    /* CONVERT */ {3, -1}, /* BMP */ {3, 0, -1}, /* BITFIELDS */ {3, 0, 2, -1}, /* GIF */ {3, 1, -1},
    /* IFF */ {3, 2, -1}, /* IFF_STANDARD */ {3, 2, 0, -1}, /* IFF_HAM */ {3, 2, 1, -1}, /* JPG */ {3, 4, -1},
    /* PNG */ {3, 7, -1}, /* TGA */ {3, 8, -1}, /* TIF */ {3, 9, -1},
    /* TIFF_UNCOMPRESSED */ {3, 9, 2, -1}, /* TIFF_HUFFMAN */ {3, 9, 3, -1}, /* TIFF_G3 */ {3, 9, 4, -1},
    /* TIFF_G4 */ {3, 9, 5, -1}, /* TIFF_LZW */ {3, 9, 6, -1}, /* TIFF_JPEG */ {3, 9, 7, -1},
    /* TIFF_DEFLATE */ {3, 9, 8, -1}, /* TIFF_PACKBITS */ {3, 9, 9, -1}, /* TIFF_JBIG */ {3, 9, 10, -1},
    /* TIFF_LZMA: not in this menu */ {-1}, /* EXPERTS */ {3, 15, -1}, /* JPEG12 */ {3, 15, 1, -1},
    /* BATCH */ {4, -1}, /* COMMENT */ {5, -1}, /* SLIDESHOW */ {6, -1}, /* HELP */ {7, -1},
};

static const int SWATCH_IDS[8] = {IDM_VIEW_BACKGROUND_0, IDM_VIEW_BACKGROUND_1, 200, 201, 202, 203, 204,
                                  IDM_VIEW_BACKGROUND_7};

const char* center_item_label(int tile_mode)
{
    return tile_mode ? "&Center\tCtrl+C" : "&Tile\tCtrl+T";
}

static void add(MenuItemChange* changes, int* count, int id, UINT state)
{
    if (*count < VIEW_MENU_CHANGES)
        changes[(*count)++] = MenuItemChange{id, -1, state, NULL};
}

int compute_view_menu_changes(const MenuFacts* facts, int tile_mode, MenuItemChange* changes)
{
    MenuItemChange main_changes[MENU_ITEM_RECORDS];
    int main_count = compute_main_menu_changes(facts, main_changes);
    int count = 0;
    for (int i = 0; i < main_count && count < VIEW_MENU_CHANGES; ++i) {
        MenuItemChange change = main_changes[i];
        if (change.popup < 0) {
            change.id = view_command_for_main(change.id);
            if (!change.id)
                continue;
            if (view_command_state(change.id) == VIEW_WORKER_PENDING)
                change.state = MFS_GRAYED;
        } else if (POPUP_PATHS[change.popup][0] < 0) {
            continue;
        }
        changes[count++] = change;
    }
    // On a display below 8 bits this menu offers the 16 standard colours
    // only to a black-and-white bitmap (the main menu's rule is the reverse).
    if (facts->display_bits < 8 && view_command_state(IDM_VIEW_STANDARD_16) != VIEW_WORKER_PENDING) {
        for (int i = 0; i < count; ++i)
            if (changes[i].popup < 0 && changes[i].id == IDM_VIEW_STANDARD_16)
                changes[i].state = facts->kind == KIND_DIB && facts->is_black_white ? MFS_ENABLED : MFS_GRAYED;
    }
    // Commands the rules leave alone but whose workers are missing.
    for (int id = 100; id < 330; ++id) {
        if (view_command_state(id) != VIEW_WORKER_PENDING)
            continue;
        bool listed = false;
        for (int i = 0; i < count && !listed; ++i)
            listed = changes[i].popup < 0 && changes[i].id == id;
        if (!listed)
            add(changes, &count, id, MFS_GRAYED);
    }
    // The TIFF writer's JBIG codec writes strips only, as the main menu says.
    add(changes, &count, IDM_VIEW_SAVE_TIFF_JBIG_T, MFS_GRAYED);
    if (count < VIEW_MENU_CHANGES)
        changes[count++] = MenuItemChange{IDM_VIEW_CENTER_TOGGLE, -1, MFS_ENABLED, center_item_label(tile_mode)};
    return count;
}

static HMENU popup_at(HMENU bar, int which)
{
    HMENU menu = bar;
    for (int level = 0; level < 4 && menu; ++level) {
        int position = POPUP_PATHS[which][level];
        if (position < 0)
            return level == 0 ? NULL : menu;
        menu = GetSubMenu(menu, position);
    }
    return menu;
}

// The menu holding a popup and the popup's place in it.
static bool find_parent(HMENU menu, HMENU wanted, HMENU* parent, UINT* position)
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
        if (find_parent(child, wanted, parent, position))
            return true;
    }
    return false;
}

static void apply(HMENU bar, HMENU const popups[POPUP_COUNT], MENUITEMINFOA* record, const MenuItemChange* change)
{
    HMENU menu = bar;
    UINT item = (UINT)change->id;
    BOOL by_position = FALSE;
    if (change->popup >= 0) {
        if (!popups[change->popup] || !find_parent(bar, popups[change->popup], &menu, &item))
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

void set_center_item_label(HWND hwndView)
{
    HMENU bar = GetMenu(hwndView);
    if (!bar)
        return;
    MENUITEMINFOA record = {};
    record.cbSize = sizeof record;
    record.fMask = MIIM_TYPE;
    record.fType = MFT_STRING;
    record.dwTypeData = (LPSTR)center_item_label(g_tileMode);
    SetMenuItemInfoA(bar, IDM_VIEW_CENTER_TOGGLE, FALSE, &record);
}

void meta_on_initmenu(HWND hwnd, HMENU menu)
{
    if (is_window_open(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    g_hwndPalette = NULL;
    HMENU bar = GetMenu(hwnd);
    if (!bar || menu != bar)
        return;

    HMENU popups[POPUP_COUNT];
    for (int i = 0; i < POPUP_COUNT; ++i)
        popups[i] = popup_at(bar, i);
    HMENU convert = popups[POPUP_CONVERT];
    DeleteMenu(convert, IDM_VIEW_SAVE_PNM_FAMILY, MF_BYCOMMAND);

    MenuFacts facts;
    gather_main_menu_facts(&facts);
    MenuItemChange changes[VIEW_MENU_CHANGES];
    int count = compute_view_menu_changes(&facts, g_tileMode, changes);
    MENUITEMINFOA* records = g_hViewMenuItems ? (MENUITEMINFOA*)GlobalLock(g_hViewMenuItems) : NULL;
    MENUITEMINFOA spare;
    for (int i = 0; i < count; ++i)
        apply(bar, popups, records && i < MENU_ITEM_RECORDS ? &records[i] : &spare, &changes[i]);
    if (records)
        GlobalUnlock(g_hViewMenuItems);

    for (int id : SWATCH_IDS) {
        MENUITEMINFOA record = {};
        record.cbSize = sizeof record;
        record.fMask = MIIM_TYPE;
        record.fType = MFT_OWNERDRAW;
        SetMenuItemInfoA(bar, (UINT)id, FALSE, &record);
    }

    PnmFamilyItem pnm = choose_pnm_family_item(&facts);
    InsertMenuA(convert, (UINT)pnm.position, MF_BYPOSITION | MF_STRING | pnm.state, IDM_VIEW_SAVE_PNM_FAMILY,
                pnm.label);
}
