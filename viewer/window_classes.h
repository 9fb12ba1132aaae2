// The program's window classes and the messages the common dialogs exchange
// with their owners, registered once before the main dialog runs.
#pragma once

#include <windows.h>

extern UINT g_msgSelChanged;  // "commdlg_LBSelChangedNotify"
extern UINT g_msgFileNameOK;  // "commdlg_FileNameOK"
extern UINT g_msgHelp;        // "commdlg_help"

// Number of classes registered and their names, in registration order.
enum { WINDOW_CLASS_COUNT = 13 };
extern const char* const g_windowClassNames[WINDOW_CLASS_COUNT];

void register_window_classes(HINSTANCE instance);
