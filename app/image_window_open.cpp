// Center, Tile and Full Screen of the main window. The image window's own
// loop serves every window of the thread while it runs; it is the only
// place "ACCELERATOR1" is translated.
#include "app/image_window_open.h"

#include <vfw.h>

#include <cstdio>
#include <cstring>

#include "app/file_list.h"
#include "app/main_window.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/file_stamp.h"
#include "image/loader.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "tools/red_eye.h"
#include "viewer/full_window.h"
#include "viewer/image_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

enum { MEDIA_BAR_HEIGHT = 26 };

void format_view_title(char* title, size_t size, const ViewTitleFacts* f)
{
    if (!size)
        return;
    int n = std::snprintf(title, size, "%s", f->name);
    if (!f->name[0])
        return;
    auto append = [&](const char* format, auto... values) {
        if (n >= 0 && (size_t)n < size) {
            int more = std::snprintf(title + n, size - (size_t)n, format, values...);
            n = more < 0 ? n : n + more;
        }
    };
    if (!f->captured_or_pasted)
        append("     %llu bytes", (unsigned long long)f->file_size);
    bool tiff = f->format == FMT_TIFF || f->format == FMT_TIFF_ALT || f->format == FMT_BIGTIFF;
    if (f->kind == KIND_DIB && tiff && f->page_count > 1)
        append("     Page %d of %d Pages", f->page_index, f->page_count);
    else if (f->kind == KIND_DIB && f->format == FMT_ICON && f->icon_count > 1)
        append(f->is_cursor ? "     Cursor %d of %d Cursors" : "     Icon %d of %d Icons", f->icon_index,
               f->icon_count);
}

static bool is_captured_or_pasted(void)
{
    return (g_imageKind == KIND_DIB && (g_fileFormat == FMT_SCREEN_CAPTURE || g_fileFormat == FMT_CLIPBOARD)) ||
           ((g_imageKind == KIND_WMF || g_imageKind == KIND_EMF) && g_fileFormat == FMT_CLIPBOARD);
}

// The window opens on the picture shown, by its file wherever the list
// is: its entry is selected where the list shows its folder, and a list
// in another folder (or an empty one) is left as it is, so that the
// picture keeps its edits. Only with no file shown (none loaded, or gone
// from disk) is the list's first entry loaded before the window opens, so
// that a tool the window is for works on the file it names. False when
// there is nothing to open.
static bool select_current_file(HWND hwndMain)
{
    HWND list = GetDlgItem(hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT index = find_shown_file_entry(list);
    if (index != LB_ERR) {
        SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
        return true;
    }
    if (is_shown_file_on_disk())
        return true;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, 0, 0);
    if (count == 0 || count == LB_ERR || length == LB_ERR || length >= (LRESULT)sizeof g_fileName)
        return false;
    SendMessageA(list, LB_GETTEXT, 0, (LPARAM)g_fileName);
    SetDlgItemTextA(hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SendMessageA(hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST, 0);
    return true;
}

static void run_image_window_loop(void)
{
    MSG msg;
    // The window is checked before waiting, so the loop ends as soon as it
    // is gone instead of at the next message.
    while (g_hwndView) {
        BOOL got = GetMessageA(&msg, NULL, 0, 0);
        if (got == 0) {
            // The main dialog's own loop must see the quit message too.
            PostQuitMessage((int)msg.wParam);
            return;
        }
        if (got < 0)
            return;
        // While a command or tool works on the picture the image window takes
        // no accelerator, whether or not it is disabled yet: the keys stay
        // with the window they were typed in (the red-eye view's keys end it).
        if (g_hAccel && g_hwndView && !is_file_held() && IsWindowEnabled(g_hwndView) &&
            TranslateAcceleratorA(g_hwndView, g_hAccel, &msg))
            continue;
        // The main dialog keeps its keys (Enter, Tab) while this loop runs
        // instead of its own.
        if (g_hwndMain && IsDialogMessageA(g_hwndMain, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Center, Tile and the full-screen commands (full: the "Full" window
// instead of the image window).
static BOOL open_view(HWND hwndMain, int tile, bool full)
{
    clear_red_eye_state();
    if (!is_captured_or_pasted() && !select_current_file(hwndMain))
        return TRUE;
    if (is_window_open(g_hwndView) && !full) {
        g_tileMode = tile;
        InvalidateRect(g_hwndView, NULL, TRUE);
        if (IsIconic(g_hwndView))
            ShowWindow(g_hwndView, SW_RESTORE);
        return TRUE;
    }
    seam_win_help(NULL, "RODadi.zoz", HELP_QUIT, 0);
    // With the image window open its mode stays as it is.
    if (!is_window_open(g_hwndView))
        g_tileMode = tile;
    if (full) {
        create_full_window();
        return TRUE;
    }

    // The title is built in its own buffer: the file name stays as it is.
    char title[sizeof g_fileName + 96];
    ViewTitleFacts facts = {g_fileName, g_fileSize, is_captured_or_pasted(), g_imageKind, g_fileFormat,
                            g_pageIndex, g_pageCount, g_iconIndex, g_iconCount, g_iconIsCursor};
    format_view_title(title, sizeof title, &facts);
    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    if (g_imageKind == KIND_DIB && ((tiff && g_pageCount > 1) || (g_fileFormat == FMT_ICON && g_iconCount > 1)))
        g_pageHintShown = 0;

    HWND hwnd = CreateWindowExA(0, "Meta", title, g_viewStyle, g_viewRect.left, g_viewRect.top,
                                g_viewRect.right - g_viewRect.left, g_viewRect.bottom - g_viewRect.top, NULL,
                                NULL, g_hInstance, NULL);
    g_hwndView = hwnd;
    if (!hwnd)
        return TRUE;
    create_view_status_bar(hwnd);
    run_image_window_loop();
    return TRUE;
}

BOOL open_image_window(HWND hwndMain, int tile)
{
    if (!tile)
        g_fullScreen = 0;
    return open_view(hwndMain, tile, false);
}

RECT enlarged_media_rect(int W, int H, int pw, int ph)
{
    RECT r = {0, 0, W, H};
    if (pw < 1 || ph < 1 || H - MEDIA_BAR_HEIGHT < 1)
        return r;
    if ((double)pw / ph > (double)W / (H - MEDIA_BAR_HEIGHT)) {
        int picture_height = (int)((double)W * ph / pw + 0.5);
        r.top = (H - (picture_height + MEDIA_BAR_HEIGHT)) / 2;
        r.bottom = r.top + picture_height + MEDIA_BAR_HEIGHT;
    } else {
        int picture_width = (int)((double)(H - MEDIA_BAR_HEIGHT) * pw / ph + 0.5);
        r.left = (W - picture_width) / 2;
        r.right = r.left + picture_width;
    }
    return r;
}

BOOL open_full_screen(HWND hwndMain, int mode)
{
    // A window already open goes first: its end clears the modes.
    if (is_window_open(g_hwndFull))
        DestroyWindow(g_hwndFull);
    g_hwndFull = NULL;
    g_stretchPending = mode == FULL_STRETCH;
    g_redEyeMode = mode == FULL_RED_EYE;
    if (g_redEyeMode) {
        g_redEyeTipShown = g_redEyeTip1Shown = 0;
        if (g_hRedEyePoints)
            GlobalFree(g_hRedEyePoints);
        g_hRedEyePoints = NULL;
        g_redEyePointCount = 0;
        g_redEyePointCapacity = 0;
    }
    g_fullScreen = 1;
    return open_view(hwndMain, 0, true);
}

BOOL on_full_screen_button(HWND hwndMain)
{
    if (!is_window_open(g_hwndMci))
        return open_full_screen(hwndMain, FULL_PLAIN);
    g_mciEnlarged = 1;
    RECT client;
    GetClientRect(hwndMain, &client);
    RECT r = enlarged_media_rect(client.right, client.bottom, g_mciAreaWidth, g_mciAreaHeight);
    static const int HIDDEN[] = {IDC_MAIN_TYPE_LABEL, IDC_MAIN_NAME_LABEL, IDC_MAIN_DRIVE_LABEL,
                                 IDC_MAIN_DIR_LABEL, IDC_MAIN_STATUS_PLACE, IDC_MAIN_TYPE_COMBO,
                                 IDC_MAIN_NAME_EDIT, IDC_MAIN_DIR_LIST, IDC_MAIN_FILE_LIST,
                                 IDC_MAIN_DRIVE_COMBO, IDC_MAIN_FULL_SCREEN, IDC_MAIN_EXIT};
    for (int id : HIDDEN)
        ShowWindow(GetDlgItem(hwndMain, id), SW_HIDE);
    MoveWindow(g_hwndMci, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    return FALSE;
}
