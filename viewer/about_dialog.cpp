// The About box; its text lives in the dialog template.
#include "viewer/about_dialog.h"

INT_PTR CALLBACK about_dlg_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return 1;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wp));
            return 1;
        }
        break;
    }
    return 0;
}
