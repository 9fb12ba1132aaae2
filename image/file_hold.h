// The one hold on the shown file. While a command's dialog, question or
// tool window about the shown file is open, every window that could change
// that file (the main window, the image window, the batch window, the
// full-screen window) is disabled, and each is given back when the last
// hold ends. Holds nest: a question asked from a tool window's hold adds
// to it. A window found disabled by someone else is left to them.
// Modal dialogs and questions take the scoped FileHold (the message-box
// and print-dialog seams and dialog_box_holding do); a modeless tool window
// calls begin_file_hold when it opens and end_file_hold when it goes.
#pragma once

#include <windows.h>

void begin_file_hold(void);
// Does nothing when no hold is on, so a tool's every way out may call it
// once the tool's own record of its hold says it has one.
void end_file_hold(void);
// 1 while any hold is on: the held windows take no command that reaches
// them anyway (a posted menu command, an accelerator).
int is_file_held(void);

// The main window's property that is set while a hold is on.
#define FILE_HOLD_PROPERTY "CorvaneFileHold"

struct FileHold {
    FileHold() { begin_file_hold(); }
    ~FileHold() { end_file_hold(); }
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;
};

// DialogBoxParamA under a FileHold.
INT_PTR dialog_box_holding(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc, LPARAM param);
