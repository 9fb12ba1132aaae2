// The program's window classes and the messages the common dialogs exchange
// with their owners, registered once before the main dialog runs.
#pragma once

#include <windows.h>

extern UINT g_msgSelChanged;  // "commdlg_LBSelChangedNotify"
extern UINT g_msgFileNameOK;  // "commdlg_FileNameOK"
extern UINT g_msgHelp;        // "commdlg_help"

// Asks the main window to read the shown file again with what the user
// made of it kept (its page or image, its edits replayed): a change of the
// system colours, the background or the alpha setting, which the loader
// applies, does not throw the edits away.
enum { WM_RELOAD_SHOWN = WM_APP + 1 };

// Has the main window main read the shown file again now, by the path it
// was loaded from (the list may show another folder by then), dropping
// what was made of it: after a command rewrote the picture in the file, or
// for Undo and Restore, which say what becomes of the edits.
void reload_shown_file(HWND main);
// The same after a command rewrote the file but not its picture (Exif
// data), through WM_RELOAD_SHOWN: the edits are replayed, or, where they
// cannot be, the picture is only drawn again.
void reload_shown_file_keeping_edits(HWND main);

// Number of classes registered and their names, in registration order.
enum { WINDOW_CLASS_COUNT = 13 };
extern const char* const g_windowClassNames[WINDOW_CLASS_COUNT];

void register_window_classes(HINSTANCE instance);

// For the menus of the full-screen popups (batch, crop, text, merge): under
// a window manager Wine confines the pointer to such a window by a pointer
// grab on a window of its own over the screen; a menu's grab replaces that
// grab and is dropped when the menu closes, and the uncovered window of
// Wine's then takes every click. Confining the cursor anew and freeing it
// again has Wine grab again; elsewhere both calls leave the cursor free.
void take_pointer_back_after_menu(void);
