// The image window's commands: one dispatcher for every id of its menu
// "MENU_A" and of "ACCELERATOR1". Most commands are the main window's with
// the image window as owner and call the same workers; the two menus' ids
// are paired in one table here.
#pragma once

#include <windows.h>

// What an id of the image window is.
enum ViewCommandState {
    VIEW_NOT_A_COMMAND,   // a heading, a spacer or no id of the menu
    VIEW_WORKS,           // its worker is part of the program
    VIEW_WORKER_PENDING,  // its worker is not built yet: greyed, does nothing
};
int view_command_state(int id);

// The main menu's id of the same command, 0 when it has none; and back.
int main_command_for_view(int view_id);
int view_command_for_main(int main_id);

// WM_COMMAND of the image window: acts on id alone.
void meta_on_command(HWND hwnd, int id, HWND control, int notification);

// Switches between centred and tiled, relabels the Screen menu's item and
// repaints.
void toggle_tile_mode(HWND hwnd);
