// The main window: the hook of the classic Open dialog that WinMain runs.
#pragma once

#include <windows.h>

extern HICON g_hIconSmall;
extern HICON g_hIconBig;

UINT_PTR CALLBACK main_dialog_hook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The one teardown shared by the Exit command and the dialog's Cancel.
void exit_program(HWND hwnd);
