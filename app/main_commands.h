// The main window's menu commands: one function per command, reached from
// one dispatcher the hook calls with the command id. Convert/Save itself is
// in convert_save.h, clipboard copy and paste in clipboard.h, the menu's
// tree and states in main_menu.h.
//
// A command whose worker is not part of the program yet is greyed in the
// menu, and accepted and ignored should it arrive all the same.
#pragma once

#include <windows.h>

// Runs the menu command id; FALSE for an id that is no menu command (and
// for the menu's caption items), so that the dialog's own handling runs.
BOOL main_on_menu_command(HWND hwndMain, int id);
// The same for a command of another window (the image window): its
// dialogs and tools are owned by owner, which gets the focus back.
BOOL main_command_owned_by(HWND owner, int id);

// 1 when the menu command id has its worker in the program; the menu greys
// the others.
int main_command_has_worker(int id);

// Runs the Convert/Save command id (a main menu id) with owner as the
// owner of the Save dialog and its messages.
void run_save_command(HWND owner, int id);

// The shown file read again is read on the page or icon image shown
// (a multi-page TIFF, an icon file of several images).
void stay_on_shown_page(void);

// Last File / Next File: the list entry to show, from the entry count, the
// entry of the current name (-1 when not listed), the list's selection (-1
// none) and whether the image is captured or pasted. -1 when the list is
// empty.
int step_file_index(int count, int name_index, int selection, int captured, int next);

// The Convert/Save code and options of a Convert/Save command id; 0 when
// the id is none. question receives the question asked first, or null.
struct SaveCommand {
    int id;
    int code;
    int opt1;
    int opt2;
    const char* question;
};
const SaveCommand* find_save_command(int id);

// The code of the PBM-family entry: PBM for a black-and-white image, PNM
// (as PAM) for 32 bits, PGM for a grey palette, else PPM.
int pnm_family_code(int black_white, int saving_unconverted, int image_bits, int original_bits, int grey);

// The keep test of a colour conversion: 1 when the image already has what
// the conversion would make, so the full-colour image is put back instead.
int conversion_keeps_image(int id, int bit_count, int color_count, int black_white);
