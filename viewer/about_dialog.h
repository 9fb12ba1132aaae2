// The About box ("ABOUT" in the resources): what the program is and who
// makes it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK about_dlg_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);
