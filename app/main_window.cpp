// Hook of the main dialog: start-up, the dialog's own buttons and the exit
// teardown. The dialog runs the file and folder lists itself; everything the
// hook does not handle goes back to it (FALSE).
#include "app/main_window.h"

#include <commdlg.h>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "resources/resource.h"
#include "viewer/window_classes.h"

HICON g_hIconSmall;
HICON g_hIconBig;

// Disables a control and parks it, hidden, at (0, 0) with no size.
static void hide_control(HWND hwnd, int id)
{
    HWND control = GetDlgItem(hwnd, id);
    if (!control)
        return;
    EnableWindow(control, FALSE);
    SetWindowPos(control, NULL, 0, 0, 0, 0, SWP_NOZORDER | SWP_HIDEWINDOW);
}

static BOOL main_on_initdialog(HWND hwnd)
{
    g_imageKind = KIND_NONE;
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(hwnd, GWLP_HINSTANCE);
    g_hIconSmall = (HICON)LoadImageA(GetModuleHandleA(NULL), "Icon1", IMAGE_ICON, 16, 16, 0);
    if (g_hIconSmall)
        SendMessageA(hwnd, WM_SETICON, ICON_SMALL, (LPARAM)g_hIconSmall);
    g_hIconBig = (HICON)LoadImageA(GetModuleHandleA(NULL), "Icon1", IMAGE_ICON, 32, 32, 0);
    if (g_hIconBig)
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, (LPARAM)g_hIconBig);
    (void)instance;

    hide_control(hwnd, IDC_MAIN_READ_ONLY);
    hide_control(hwnd, IDC_MAIN_OK);
    g_hwndMain = hwnd;

    if (g_findData.cFileName[0]) {
        HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
        SendMessageA(list, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)g_findData.cFileName);
        SetFocus(list);
        PostMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST, SendMessageA(list, LB_GETCURSEL, 0, 0));
        return FALSE;
    }
    return TRUE;
}

void exit_program(HWND hwnd)
{
    if (g_hIconSmall)
        DestroyIcon(g_hIconSmall);
    if (g_hIconBig)
        DestroyIcon(g_hIconBig);
    g_hIconSmall = g_hIconBig = NULL;
    DestroyWindow(hwnd);
    g_hwndMain = NULL;
    PostQuitMessage(0);
}

static BOOL main_on_command(HWND hwnd, int id, HWND control, int notification)
{
    switch (id) {
    case IDC_MAIN_EXIT:
        exit_program(hwnd);
        return TRUE;
    case IDC_MAIN_FILE_LIST:
        // A double-click never ends the dialog.
        return notification == LBN_DBLCLK;
    }
    return FALSE;
}

UINT_PTR CALLBACK main_dialog_hook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == g_msgSelChanged)
        return wp == IDC_MAIN_FILE_LIST;
    switch (msg) {
    case WM_INITDIALOG: return main_on_initdialog(hwnd);
    case WM_COMMAND:    return main_on_command(hwnd, LOWORD(wp), (HWND)lp, HIWORD(wp));
    }
    return FALSE;
}
