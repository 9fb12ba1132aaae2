// The item states of the image window's menu "MENU_A", set each time it
// opens. The rules are the main menu's (app/main_menu.h), read for the
// same image facts and carried over to this menu's ids; on top of them
// the Center/Tile label follows the mode, the background swatches are
// owner-drawn and a command whose worker is not built yet is greyed.
#pragma once

#include <windows.h>

struct MenuFacts;
struct MenuItemChange;

enum { VIEW_MENU_CHANGES = 200 };

// Fills changes (room for VIEW_MENU_CHANGES; ids are this menu's, popups
// MainMenuPopup values) and returns their number.
int compute_view_menu_changes(const struct MenuFacts* facts, int tile_mode, struct MenuItemChange* changes);

// The label of the Center/Tile item for a mode.
const char* center_item_label(int tile_mode);
void set_center_item_label(HWND hwndView);

// WM_INITMENU of the image window.
void meta_on_initmenu(HWND hwnd, HMENU menu);
