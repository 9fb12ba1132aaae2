// The program's few contacts with the user and the machine that tests must
// not meet for real: message boxes, beeps, the display's colour depth, help
// calls, the media window, the print dialog's buttons, the making of a
// tool's window and where the settings file is. Each call forwards
// to the real Win32 function unless a test has installed a replacement;
// nothing in the program behaves differently because of this module. A
// message box and the print dialog are shown under the file hold
// (file_hold.h) and owned by the window in front (front_owner,
// open_windows.h), replaced or not.
#pragma once

#include <windows.h>
#include <commdlg.h>

typedef int (*MessageBoxFn)(HWND owner, const char* text, const char* caption, UINT type);
typedef void (*BeepFn)(UINT type);
typedef BOOL (*WinHelpFn)(HWND hwnd, const char* file, UINT command, ULONG_PTR data);
typedef HWND (*MediaWindowFn)(HWND parent, HINSTANCE instance, DWORD style, const char* file);
typedef BOOL (*PrintDialogFn)(PRINTDLGA* dialog);
typedef HWND (*ToolWindowFn)(const char* class_name, DWORD style, int width, int height, HWND owner);

// MessageBoxA; returns the button pressed (IDOK, IDYES, ...).
int seam_message_box(HWND owner, const char* text, const char* caption, UINT type);

// How many boxes seam_message_box has shown, replaced or not: a caller
// tells by it whether a failed call has already said why.
unsigned seam_message_box_count(void);

// MessageBeep.
void seam_beep(UINT type);

// Bits per pixel times planes of the display (8 or less: a palette display).
int seam_display_bits(void);

// WinHelpA.
BOOL seam_win_help(HWND hwnd, const char* file, UINT command, ULONG_PTR data);

// MCIWndCreateA: a media window playing file (null: none opened yet).
HWND seam_create_media_window(HWND parent, HINSTANCE instance, DWORD style, const char* file);

// PrintDlgA: what the user chose (FALSE for Cancel).
BOOL seam_print_dialog(PRINTDLGA* dialog);

// CreateWindowExA of a tool's window (crop, text, merge; at its start and
// at every zoom) at the screen's top left.
HWND seam_create_tool_window(const char* class_name, DWORD style, int width, int height, HWND owner);

// The settings file for the private-profile calls: "Corvane.ini" without a
// folder, or the file a test has set.
const char* seam_settings_file(void);

// Replacements for tests; a null function (or 0 bits, null path) puts the
// real call back.
void seam_set_message_box(MessageBoxFn fn);
void seam_set_beep(BeepFn fn);
void seam_set_display_bits(int bits);
void seam_set_win_help(WinHelpFn fn);
void seam_set_create_media_window(MediaWindowFn fn);
void seam_set_print_dialog(PrintDialogFn fn);
void seam_set_create_tool_window(ToolWindowFn fn);
void seam_set_settings_file(const char* path);

// Every call back to the real one.
void seam_reset(void);
