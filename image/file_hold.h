// The one hold on the shown file. While a command's dialog, question or
// tool window about the shown file is open, every window that could change
// that file (the main window, the image window, the batch window, the
// full-screen window, the slideshow, the palette window) is disabled, and
// each is given back when the last hold ends. Holds nest: a question asked
// from a tool window's hold adds to it. A window found disabled by someone
// else is left to them. A box or dialog re-enables its owner when it ends,
// so the end of every nested hold puts the hold back on the windows it
// holds.
// Modal dialogs and questions take the scoped FileHold (the message-box
// and print-dialog seams and dialog_box_holding do); a modeless tool window
// calls begin_file_hold when it opens and end_file_hold when it goes.
// Every way into a command of those windows (menu, accelerator, button,
// list, key, click, timer) asks file_hold_turns_away first. What is turned
// away but still wanted (a reload of the shown file, a timer's next tick)
// is handed to after_file_hold, which does it once the hold has ended.
#pragma once

#include <windows.h>

void begin_file_hold(void);
// Does nothing when no hold is on, so a tool's every way out may call it
// once the tool's own record of its hold says it has one.
void end_file_hold(void);
// A tool that works in one of those windows (red-eye in the full-screen
// window, a tool's colour chooser in the palette window) names it once it
// has made it: the hold leaves that window enabled and lets its input
// through until the outermost hold ends.
void file_hold_spare(HWND own);
// 1 while any hold is on.
int is_file_held(void);
// The gate: 1 when a command that came into window hwnd is to be dropped,
// because a hold is on and hwnd is not the window of the tool that holds.
int file_hold_turns_away(HWND hwnd);
// Work turned away by the gate that is still to be done: with a hold on it
// waits, and is done once, however often it was asked for, after the
// outermost hold has given the windows back; with none it is done now.
void after_file_hold(void (*work)(void));

// The main window's property that is set while a hold is on.
#define FILE_HOLD_PROPERTY "CorvaneFileHold"

struct FileHold {
    FileHold() { begin_file_hold(); }
    ~FileHold() { end_file_hold(); }
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;
};

// DialogBoxParamA under a FileHold, owned by front_owner (owner).
INT_PTR dialog_box_holding(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc, LPARAM param);
