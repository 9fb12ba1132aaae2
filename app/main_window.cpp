// Hook of the main dialog. The dialog runs the file and folder lists and
// the type and drive boxes itself; whatever the hook does not take
// (FALSE) goes back to it. Menu commands are dispatched elsewhere.
#define OEMRESOURCE  // OBM_CHECK
#include "app/main_window.h"

#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "app/file_list.h"
#include "app/image_window_open.h"
#include "app/main_commands.h"
#include "app/main_menu.h"
#include "app/main_timers.h"
#include "app/program_entry.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "resources/resource.h"
#include "tools/edit_history.h"
#include "tools/edit_replay.h"
#include "viewer/image_window.h"
#include "viewer/palette_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

HICON g_hIconSmall;
HICON g_hIconBig;
HBITMAP g_hbmCheck;
HBRUSH g_hbrCover;
HCURSOR g_hCursors[6];
HACCEL g_hAccel;
int g_nameBoxFocused;
int g_fileListFocused;
WINDOWPLACEMENT g_viewPlacement;
RECT g_viewRect;
DWORD g_viewStyle;

static const char HELP_FILE[] = "RODadi.zoz";
static const char PROGRAM_TITLE[] = "Corvane Graphics' File Viewer";
enum { HELP_CONTEXT_MAIN = 103, MARGIN = 8 };

// Parks a control, hidden, at (0, 0) with no size, disabled when asked.
static void hide_control(HWND hwnd, int id, bool disable)
{
    HWND control = GetDlgItem(hwnd, id);
    if (!control)
        return;
    if (disable)
        EnableWindow(control, FALSE);
    SetWindowPos(control, NULL, 0, 0, 0, 0, SWP_NOZORDER | SWP_HIDEWINDOW);
}

RECT main_window_rect_for_work_area(int work_width, int work_height)
{
    int h = (int)(0.8 * work_height + 0.5);
    if (h < 440)
        h = 440;
    int w = (int)(1.27 * h + 0.5);
    int left = work_width / 12;
    if ((work_width - w) / 2 < left)
        left = (work_width - w) / 2;
    int top = work_height / 12;
    if ((work_height - h) / 2 < top)
        top = (work_height - h) / 2;
    RECT r = {left, top, left + w, top + h};
    return r;
}

static void make_system_color_objects(void)
{
    g_hbrButtonFace = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    g_hbrHighlight = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
    g_hbrWindow = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    g_hpenButtonFace = CreatePen(PS_SOLID, 0, GetSysColor(COLOR_BTNFACE));
}

static void delete_system_color_objects(void)
{
    HGDIOBJ objects[] = {g_hbrButtonFace, g_hbrHighlight, g_hbrWindow, g_hpenButtonFace};
    for (HGDIOBJ object : objects)
        if (object)
            DeleteObject(object);
    g_hbrButtonFace = g_hbrHighlight = g_hbrWindow = NULL;
    g_hpenButtonFace = NULL;
}

// The background choice of the settings, read once, and its nine brushes.
static void make_background_brushes(void)
{
    g_selectBackgroundColor = read_setting_int("SelectBackgroundColor", 0);
    g_backgroundColorIndex = read_setting_int("BackgroundColor", 0);
    // A stored index outside the nine colours would pick a brush that does
    // not exist.
    if (g_backgroundColorIndex < 0 || g_backgroundColorIndex >= BACKGROUND_COLOR_COUNT)
        g_backgroundColorIndex = 0;
    if (g_selectBackgroundColor) {
        write_setting_int("BackgroundColor", 0);
        if (seam_display_bits() > 8) {
            g_backgroundColorIndex = BACKGROUND_CUSTOM;
        } else {
            g_backgroundColorIndex = 0;
            write_setting_int("SelectBackgroundColor", 0);
        }
    }
    g_backgroundColors[BACKGROUND_CUSTOM][0] = (BYTE)read_setting_int("BackgroundColorR", 255);
    g_backgroundColors[BACKGROUND_CUSTOM][1] = (BYTE)read_setting_int("BackgroundColorG", 255);
    g_backgroundColors[BACKGROUND_CUSTOM][2] = (BYTE)read_setting_int("BackgroundColorB", 255);
    for (int i = 0; i < BACKGROUND_COLOR_COUNT; ++i)
        g_hBackgroundBrushes[i] = CreateSolidBrush(background_color(i));
    g_hBackgroundBrush = g_hBackgroundBrushes[g_backgroundColorIndex];
}

static void size_to_work_area(HWND hwnd)
{
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT r = main_window_rect_for_work_area(work.right - work.left, work.bottom - work.top);
    MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);

    // The image window's first place, from the work area's right and bottom.
    g_viewRect.left = work.right / 12;
    g_viewRect.top = work.bottom / 8;
    g_viewRect.right = work.right * 9 / 10;
    g_viewRect.bottom = work.bottom - 8;
    g_viewStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MAXIMIZE;
    g_viewPlacement.length = sizeof g_viewPlacement;
    g_viewPlacement.showCmd = SW_SHOWMAXIMIZED;
    g_viewPlacement.rcNormalPosition = g_viewRect;
}

static BOOL main_on_initdialog(HWND hwnd)
{
    g_rcPreview.left = g_rcPreview.top = 3;
    g_imageKind = KIND_NONE;
    g_nameBoxFocused = g_fileListFocused = 0;

    HINSTANCE instance = GetModuleHandleA(NULL);
    g_hIconSmall = (HICON)LoadImageA(instance, "Icon1", IMAGE_ICON, 16, 16, 0);
    if (g_hIconSmall)
        SendMessageA(hwnd, WM_SETICON, ICON_SMALL, (LPARAM)g_hIconSmall);
    g_hIconBig = (HICON)LoadImageA(instance, "Icon1", IMAGE_ICON, 32, 32, 0);
    if (g_hIconBig)
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, (LPARAM)g_hIconBig);

    g_hideFileName = read_setting_int("HideFileName", 0);
    g_hideStatusBar = read_setting_int("HideStatusBar", 0);
    g_dontShowAgain = read_setting_int("DontShowAgain", 0);
    g_dontShowRedAgain = read_setting_int("DontShowRedAgain", 0);
    g_dontShowRed1Again = read_setting_int("DontShowRed1Again", 0);
    g_disableAlpha = read_setting_int("DisableAlphaTransparency", 0);

    make_system_color_objects();
    if (!g_hBackgroundBrush)
        make_background_brushes();
    g_hpenBlack = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
    g_hbmCheck = LoadBitmapA(NULL, MAKEINTRESOURCEA(OBM_CHECK));
    LOGBRUSH hollow = {BS_NULL, 0, 0};
    g_hbrCover = CreateBrushIndirect(&hollow);
    g_hCursors[0] = LoadCursorA(NULL, IDC_ARROW);
    g_hCursors[1] = LoadCursorA(NULL, IDC_SIZENS);
    g_hCursors[2] = LoadCursorA(NULL, IDC_SIZEWE);
    g_hCursors[3] = LoadCursorA(NULL, IDC_SIZENESW);
    g_hCursors[4] = LoadCursorA(NULL, IDC_SIZENWSE);
    g_hCursors[5] = LoadCursorA(instance, "HAND");

    build_main_menu(hwnd);

    hide_control(hwnd, IDC_MAIN_READ_ONLY, true);
    // Enabled though hidden: the dialog sends no IDOK for Enter through a
    // disabled default button.
    hide_control(hwnd, IDC_MAIN_OK, false);

    g_hwndMain = hwnd;
    create_main_status_bar(hwnd);

    GetCurrentDirectoryA(sizeof g_listDir - 1, g_listDir);
    size_t length = std::strlen(g_listDir);
    if (length > 0 && g_listDir[length - 1] != '\\')
        std::strcat(g_listDir, "\\");

    g_hAccel = LoadAcceleratorsA(instance, "ACCELERATOR1");

    g_hImageUnconverted = NULL;
    g_imageOrientation = g_colorConversion = g_brightnessStep = 0;
    g_hwndView = NULL;
    g_hwndViewStatus = NULL;
    g_hasTransparency = 0;
    g_infoText[0] = '\0';
    g_paletteRealizeMode = 1;
    g_hEditHistory = GlobalAlloc(GHND, sizeof(EditRecord));
    g_editCount = 0;
    g_undoPending = 0;
    g_pageCount = g_pageIndex = 1;
    g_hComment = NULL;
    g_mergeKeyColor = RGB(255, 255, 255);

    size_to_work_area(hwnd);

    if (g_findData.cFileName[0]) {
        // The dialog opened the list in the file's folder; its entry there
        // is the file itself, not the first name that begins like it.
        HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
        SendMessageA(list, LB_SETCURSEL, (WPARAM)find_list_entry_of(list, g_namedFilePath, g_findData.cFileName), 0);
        SetFocus(list);
        PostMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST, SendMessageA(list, LB_GETCURSEL, 0, 0));
        return FALSE;
    }
    update_main_menu_state();
    return TRUE;
}

static BOOL main_on_lbuttondown(HWND hwnd);

// A reload asked for while a command works on the shown file (a system
// colour change, a window opening) waits for the command's end and then
// happens once, for the file the list shows then.
static void reload_after_hold(void)
{
    if (is_window_open(g_hwndMain))
        PostMessageA(g_hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST,
                     SendDlgItemMessageA(g_hwndMain, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0));
}

// A held arrow key moves the list faster than a slow file loads. While a
// key that moves the selection on waits in the queue, the selection now is
// already replaced: it is not loaded, and the keys' last one is. Should
// none follow (a key at the list's end), a timer, which comes only after
// the queued input, loads the selection they stopped on.
enum { SETTLED_SELECTION_TIMER = 0x5E1 };
static bool s_selectionLoadOwed;

static bool moves_list_selection(WPARAM key)
{
    return key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END;
}

static bool selection_moves_on(HWND hwnd)
{
    HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
    MSG pending;
    return list && PeekMessageA(&pending, list, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE | PM_NOYIELD) &&
           moves_list_selection(pending.wParam);
}

static void CALLBACK load_settled_selection(HWND hwnd, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(hwnd, timer);
    if (s_selectionLoadOwed)
        SendMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST,
                     SendDlgItemMessageA(hwnd, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0));
}

static BOOL main_on_reload_shown(HWND hwnd);

// A selection of the file shown that no command made a reload of (the batch
// window left, its name typed again) while the user has changed its
// picture: the file is read as a colour change reads it, so that the
// picture is not replaced by the file.
static bool reselects_changed_picture(HWND hwnd)
{
    if (g_reloadShownFile || g_undoPending || g_pageStep || g_iconStep || g_hwndStepping ||
        g_imageKind != KIND_DIB || (g_editCount == 0 && !g_unrecordedChanges))
        return false;
    HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    return index != LB_ERR && index == find_shown_file_entry(list);
}

// A new file was selected: release what is shown, then load and show it.
static BOOL main_on_selection_changed(HWND hwnd)
{
    if (file_hold_turns_away(hwnd)) {
        after_file_hold(reload_after_hold);
        return TRUE;
    }
    if (reselects_changed_picture(hwnd))
        return main_on_reload_shown(hwnd);
    // A step of the slideshow or the image window is read at once: the
    // step goes on with the file it sent.
    if (!g_hwndStepping && selection_moves_on(hwnd)) {
        s_selectionLoadOwed = true;
        SetTimer(hwnd, SETTLED_SELECTION_TIMER, USER_TIMER_MINIMUM, load_settled_selection);
        return TRUE;
    }
    if (s_selectionLoadOwed) {
        s_selectionLoadOwed = false;
        KillTimer(hwnd, SETTLED_SELECTION_TIMER);
    }
    if (g_imageKind == KIND_MULTIMEDIA && g_mciEnlarged)
        main_on_lbuttondown(hwnd);
    release_image_for_new_selection(hwnd);
    if (g_hImageUnconverted) {
        GlobalFree(g_hImageUnconverted);
        g_hImageUnconverted = NULL;
    }
    g_colorConversion = 0;
    g_imageOrientation = 0;
    load_selected_file(hwnd, g_rcPreview);
    refresh_palette_window();
    update_main_menu_state();
    return TRUE;
}

static void repaint_shown_picture(HWND hwnd)
{
    InvalidateRect(GetDlgItem(hwnd, IDC_MAIN_PREVIEW), NULL, TRUE);
    if (g_hwndView)
        InvalidateRect(g_hwndView, NULL, TRUE);
}

static void post_reload_keeping_work(void)
{
    if (is_window_open(g_hwndMain))
        PostMessageA(g_hwndMain, WM_RELOAD_SHOWN, 0, 0);
}

// Whether a reload reads the shown file: the list selects it, or nothing
// (it shows another folder), and the shown file is read by its path.
static bool list_leaves_shown_file(HWND hwnd)
{
    HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    return g_filePath[0] && (index == LB_ERR || index == find_shown_file_entry(list));
}

// The shown file read again after a colour change, so that the display's
// depth is followed, with what the user made of it kept: the page or icon
// image shown, and the edits, replayed as Undo replays them. Where a read
// would not give the same picture back, the picture is only drawn again:
// a metafile (no depth step applies to it, and one whose play was cut
// would be said cut once more), a picture the user changed that its
// history cannot rebuild from the file (the file changed on disk under its
// edits, a merged file gone, the history dropped), and one the list has
// another file selected instead of.
static BOOL main_on_reload_shown(HWND hwnd)
{
    if (file_hold_turns_away(hwnd)) {
        after_file_hold(post_reload_keeping_work);
        return TRUE;
    }
    if (g_imageKind == KIND_WMF || g_imageKind == KIND_EMF || !list_leaves_shown_file(hwnd) ||
        !edits_survive_reload()) {
        repaint_shown_picture(hwnd);
        return TRUE;
    }
    stay_on_shown_page();
    if (g_editCount > 0)
        g_undoPending = RELOAD_KEEPS_EDITS;
    g_reloadShownFile = 1;
    return main_on_selection_changed(hwnd);
}

// Lays the preview out again for the image shown, without drawing.
static void refit_current_image(void)
{
    int width = 1, height = 1;
    if (g_imageKind == KIND_DIB && g_hImage) {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
        if (bih) {
            width = bih->biWidth;
            height = bih->biHeight;
            GlobalUnlock(g_hImage);
        }
    } else if (g_imageKind == KIND_ANIMATED_GIF) {
        width = g_screenWidth;
        height = g_screenHeight;
    } else if (g_imageKind == KIND_WMF) {
        width = g_rcMetafile.right - g_rcMetafile.left + 1;
        height = g_rcMetafile.bottom - g_rcMetafile.top + 1;
    } else if (g_imageKind == KIND_EMF) {
        // As the loader fits it: the bounds in device pixels, no + 1.
        width = g_rcMetafile.right - g_rcMetafile.left;
        height = g_rcMetafile.bottom - g_rcMetafile.top;
    }
    fit_image_rect(width, height, 0);
}

static BOOL main_on_size(HWND hwnd)
{
    layout_main_controls();
    resize_main_status_bar();
    refit_current_image();
    return TRUE;
}

static int window_height(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return r.bottom - r.top;
}

// Keeps the window from shrinking below what its controls need.
static BOOL main_on_sizing(HWND hwnd, WPARAM edge, RECT* rect)
{
    const int m = MARGIN;
    RECT window, client;
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    int non_client = (window.bottom - window.top) - (client.bottom - client.top);
    int min_height = 5 * m + g_mainStatusHeight + 8 + non_client +
                     3 * control_text_size(GetDlgItem(hwnd, IDC_MAIN_TYPE_LABEL), "List Files of Type:").cy +
                     4 * (int)SendDlgItemMessageA(hwnd, IDC_MAIN_FILE_LIST, LB_GETITEMHEIGHT, 0, 0) +
                     4 * (int)SendDlgItemMessageA(hwnd, IDC_MAIN_DIR_LIST, LB_GETITEMHEIGHT, 0, 0) +
                     window_height(GetDlgItem(hwnd, IDC_MAIN_TYPE_COMBO)) +
                     window_height(GetDlgItem(hwnd, IDC_MAIN_NAME_EDIT));
    RECT full;
    GetWindowRect(GetDlgItem(hwnd, IDC_MAIN_FULL_SCREEN), &full);
    int min_width = (full.right - full.left) * 30 / 7 + 59 * m / 7;

    if (rect->bottom - rect->top < min_height) {
        if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
            rect->top = rect->bottom - min_height;
        else if (edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT)
            rect->bottom = rect->top + min_height;
    }
    if (rect->right - rect->left < min_width) {
        if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
            rect->left = rect->right - min_width;
        else if (edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT)
            rect->right = rect->left + min_width;
    }
    return TRUE;
}

static BOOL main_on_syscolorchange(HWND hwnd)
{
    delete_system_color_objects();
    make_system_color_objects();
    if (g_backgroundColorIndex == BACKGROUND_CUSTOM) {
        write_setting_int("SelectBackgroundColor", 0);
        write_setting_int("BackgroundColor", 0);
        g_backgroundColorIndex = 0;
        g_hBackgroundBrush = g_hBackgroundBrushes[0];
    }
    bool pasted_or_captured =
        (g_imageKind == KIND_DIB && (g_fileFormat == FMT_SCREEN_CAPTURE || g_fileFormat == FMT_CLIPBOARD)) ||
        ((g_imageKind == KIND_WMF || g_imageKind == KIND_EMF) && g_fileFormat == FMT_CLIPBOARD);
    if (pasted_or_captured)
        repaint_shown_picture(hwnd);
    else if (g_imageKind != KIND_NONE)
        post_reload_keeping_work();
    return TRUE;
}

// The preview: the image on the background colour inside a black line,
// with a second black line 3 pixels out.
static BOOL main_on_draw_preview(const DRAWITEMSTRUCT* item)
{
    if (g_imageKind == KIND_MULTIMEDIA)
        return FALSE;
    HDC dc = item->hDC;
    HGDIOBJ old_brush = SelectObject(dc, g_hbrButtonFace);
    HGDIOBJ old_pen = SelectObject(dc, g_hpenButtonFace);
    Rectangle(dc, g_rcPreview.left - 3, g_rcPreview.top - 3, g_rcPreview.right + 6, g_rcPreview.bottom + 6);

    SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    SelectObject(dc, g_hpenBlack);
    Rectangle(dc, g_animDestX - 3, g_animDestY - 3, g_animDestX + g_animDestWidth + 3,
              g_animDestY + g_animDestHeight + 3);
    bool empty = g_imageKind == KIND_NONE || g_imageKind == KIND_LIST_REFRESH;
    SelectObject(dc, empty ? g_hbrButtonFace : g_hBackgroundBrush);
    Rectangle(dc, g_animDestX - 1, g_animDestY - 1, g_animDestX + g_animDestWidth + 1,
              g_animDestY + g_animDestHeight + 1);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);

    // While a GIF animates the picture is the canvas, not g_hImage.
    if (g_imageKind == KIND_ANIMATED_GIF) {
        draw_animation_canvas(dc);
    } else if (g_imageKind == KIND_DIB || g_imageKind == KIND_ICON_PAGES || g_imageKind == KIND_ANI) {
        draw_current_dib(dc);
    } else if (g_imageKind == KIND_WMF || g_imageKind == KIND_EMF) {
        draw_current_metafile(dc);
    }
    return FALSE;
}

static BOOL main_on_drawitem(HWND hwnd, const DRAWITEMSTRUCT* item)
{
    if (item->CtlType != ODT_MENU && item->CtlID == IDC_MAIN_PREVIEW)
        return main_on_draw_preview(item);
    return main_menu_on_drawitem(hwnd, item);
}

static BOOL main_on_lbuttondown(HWND hwnd)
{
    if (g_imageKind == KIND_MULTIMEDIA && g_mciEnlarged) {
        g_mciEnlarged = 0;
        layout_main_controls();
        show_main_controls(hwnd);
        return TRUE;
    }
    return FALSE;
}

// Steps through the pages of a multi-page TIFF or the images of an icon
// file when the image itself is double-clicked.
static BOOL main_on_lbuttondblclk(HWND hwnd, int x, int y)
{
    if (file_hold_turns_away(hwnd))
        return TRUE;
    RECT preview, main;
    GetWindowRect(GetDlgItem(hwnd, IDC_MAIN_PREVIEW), &preview);
    GetWindowRect(hwnd, &main);
    int frame_x = GetSystemMetrics(SM_CXFRAME);
    int frame_y = GetSystemMetrics(SM_CYFRAME);
    int offset_x = preview.left - main.left - frame_x;
    int offset_y = preview.top - main.top - frame_y - GetSystemMetrics(SM_CYCAPTION) -
                   (GetMenu(hwnd) ? GetSystemMetrics(SM_CYMENU) : 0);
    int left = offset_x + g_animDestX - 3, top = offset_y + g_animDestY - 3;
    int right = offset_x + g_animDestX + g_animDestWidth + 2;
    int bottom = offset_y + g_animDestY + g_animDestHeight + 2;
    if (x < left || x > right || y < top || y > bottom)
        return FALSE;

    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    if (tiff && g_pageCount > 1) {
        g_slideForward = 1;
        g_pageIndex = g_pageIndex >= g_pageCount ? 1 : g_pageIndex + 1;
        g_pageStep = 1;
    } else if (g_fileFormat == FMT_ICON && g_iconCount > 1) {
        g_slideForward = 1;
        g_iconIndex = g_iconIndex >= g_iconCount ? 1 : g_iconIndex + 1;
        g_iconStep = 1;
    } else {
        return FALSE;
    }
    SendMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST,
                 SendDlgItemMessageA(hwnd, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0));
    return TRUE;
}

static void message_box_stop(const char* text)
{
    seam_message_box(NULL, text, PROGRAM_TITLE, MB_OK | MB_ICONSTOP);
}

// Copies the pattern list of type index (0-based) into the file-name box.
static void put_type_patterns(HWND hwnd, LRESULT type)
{
    if (!g_hFilter || type < 0 || type >= FILTER_COUNT)
        return;
    const char* filters = (const char*)GlobalLock(g_hFilter);
    if (filters) {
        SetDlgItemTextA(hwnd, IDC_MAIN_NAME_EDIT, filters + g_filterPatternOffsets[type]);
        GlobalUnlock(g_hFilter);
    }
}

// The dialog relists a folder by its own filter, never by a typed pattern,
// so the pattern list in the file-name box is applied here; a folder
// before it ("..\pics\*.gif") becomes the current folder first.
static BOOL apply_typed_patterns(HWND hwnd, char* text)
{
    char* patterns = text;
    char* separator = std::strrchr(text, '\\');
    if (!separator)
        separator = std::strrchr(text, ':');
    if (separator) {
        patterns = separator + 1;
        char folder[MAX_PATH];
        lstrcpynA(folder, text, (int)(patterns - text) + 1);
        if (!SetCurrentDirectoryA(folder)) {
            message_box_stop("Invalid File Name");
            return TRUE;
        }
        SetDlgItemTextA(hwnd, IDC_MAIN_NAME_EDIT, patterns);
    }
    fill_file_list_with(patterns);
    return TRUE;
}

// Enter: a typed name is looked up and shown, a pattern filters the list,
// Enter in the list opens the image window, in the folder list the folder.
static BOOL main_on_enter(HWND hwnd)
{
    char text[MAX_PATH] = "";
    GetDlgItemTextA(hwnd, IDC_MAIN_NAME_EDIT, text, sizeof text);
    if (g_nameBoxFocused) {
        if (!text[0])
            return TRUE;
        if (std::strchr(text, '*'))
            return apply_typed_patterns(hwnd, text);
        WIN32_FIND_DATAA found;
        HANDLE hFind = FindFirstFileA(text, &found);
        if (hFind == INVALID_HANDLE_VALUE) {
            message_box_stop("Invalid File Name");
            return TRUE;
        }
        FindClose(hFind);
        if (is_directory(text)) {
            message_box_stop("Valid Folder (Directory), Missing File Name");
            return TRUE;
        }
        // The typed file's own entry, whatever the name it was typed by.
        HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
        LRESULT index = list_entry_adding_file(list, text, text);
        if (index == LB_ERR)
            return TRUE;
        SendMessageA(list, LB_SETCURSEL, index, 0);
        SendMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST, index);
        return TRUE;
    }
    if (g_fileListFocused) {
        if (g_imageKind != KIND_MULTIMEDIA)
            SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_MAIN_CENTER, BN_CLICKED), 0);
        return TRUE;
    }
    HWND folders = GetDlgItem(hwnd, IDC_MAIN_DIR_LIST);
    if (GetFocus() == folders) {
        // The selected folder opens, as by a double-click.
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_MAIN_DIR_LIST, LBN_DBLCLK), (LPARAM)folders);
        return TRUE;
    }
    if (std::strchr(text, '*'))
        return apply_typed_patterns(hwnd, text);
    LRESULT type = SendDlgItemMessageA(hwnd, IDC_MAIN_TYPE_COMBO, CB_GETCURSEL, 0, 0);
    if (type == CB_ERR) {
        seam_beep((UINT)-1);
        return TRUE;
    }
    put_type_patterns(hwnd, type);
    GetDlgItemTextA(hwnd, IDC_MAIN_NAME_EDIT, text, sizeof text);
    return apply_typed_patterns(hwnd, text);
}

static BOOL main_on_cancel(HWND hwnd)
{
    if (g_imageKind == KIND_MULTIMEDIA && g_mciEnlarged) {
        main_on_lbuttondown(hwnd);
        return TRUE;
    }
    exit_program(hwnd);
    return TRUE;
}

void exit_program(HWND hwnd)
{
    seam_win_help(hwnd, HELP_FILE, HELP_QUIT, 0);
    release_image_for_new_selection(hwnd);
    g_hImage = NULL;

    destroy_main_menu(hwnd);
    if (g_hEditHistory) {
        GlobalFree(g_hEditHistory);
        g_hEditHistory = NULL;
    }
    delete_system_color_objects();
    for (HBRUSH& brush : g_hBackgroundBrushes) {
        if (brush)
            DeleteObject(brush);
        brush = NULL;
    }
    g_hBackgroundBrush = NULL;
    HGDIOBJ others[] = {g_hpenBlack, g_hbmCheck, g_hbrCover};
    for (HGDIOBJ object : others)
        if (object)
            DeleteObject(object);
    g_hpenBlack = NULL;
    g_hbmCheck = NULL;
    g_hbrCover = NULL;

    if (g_hwndPalette && IsWindow(g_hwndPalette))
        DestroyWindow(g_hwndPalette);
    destroy_image_window();
    if (g_hIconSmall)
        DestroyIcon(g_hIconSmall);
    if (g_hIconBig)
        DestroyIcon(g_hIconBig);
    g_hIconSmall = g_hIconBig = NULL;

    DestroyWindow(hwnd);
    g_hwndMain = NULL;
    PostQuitMessage(0);
}

// A focus note is no command: the dialog's keys follow it whatever holds.
static bool is_focus_note(int id, int notification)
{
    if (id == IDC_MAIN_NAME_EDIT)
        return notification == EN_SETFOCUS || notification == EN_KILLFOCUS;
    if (id == IDC_MAIN_FILE_LIST)
        return notification == LBN_SETFOCUS || notification == LBN_KILLFOCUS;
    return false;
}

// A selection the list took while commands are turned away goes back to
// the shown file, or to none where the list shows another folder: the
// reload after a command reads the list's selection.
static void keep_list_on_shown_file(HWND hwnd)
{
    HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)find_shown_file_entry(list), 0);
}

static BOOL main_on_command(HWND hwnd, int id, HWND control, int notification)
{
    // Buttons, lists, boxes and the menu: nothing moves the shown file or
    // opens a window while a command works on it. Taken here, the dialog's
    // own handling (the name box, the folder) never sees it either.
    if (!is_focus_note(id, notification) && file_hold_turns_away(hwnd)) {
        if (id == IDC_MAIN_FILE_LIST)
            keep_list_on_shown_file(hwnd);
        return TRUE;
    }
    switch (id) {
    case IDC_MAIN_NAME_EDIT:
        if (notification == EN_SETFOCUS || notification == EN_KILLFOCUS) {
            g_nameBoxFocused = notification == EN_SETFOCUS;
            return TRUE;
        }
        return FALSE;
    case IDC_MAIN_FILE_LIST:
        if (notification == LBN_DBLCLK)
            return TRUE;  // a double-click never ends the dialog
        if (notification == LBN_SETFOCUS || notification == LBN_KILLFOCUS) {
            g_fileListFocused = notification == LBN_SETFOCUS;
            return TRUE;
        }
        return FALSE;
    case IDC_MAIN_DIR_LIST:
        return notification == LBN_DBLCLK && open_folder_path_entry();
    case IDC_MAIN_TYPE_COMBO:
        if (notification == CBN_SELCHANGE) {
            put_type_patterns(hwnd, SendMessageA(control, CB_GETCURSEL, 0, 0));
            return TRUE;
        }
        return FALSE;
    case IDC_MAIN_OK:
        return main_on_enter(hwnd);
    case IDC_MAIN_CENTER:
        return open_image_window(hwnd, 0);
    case IDC_MAIN_TILE:
        return open_image_window(hwnd, 1);
    case IDC_MAIN_FULL_SCREEN:
        return on_full_screen_button(hwnd);
    case IDC_MAIN_EXIT:
        return main_on_cancel(hwnd);
    }
    return main_on_menu_command(hwnd, id);
}

static INT_PTR main_on_ctlcolor(UINT msg, HDC dc)
{
    switch (msg) {
    case WM_CTLCOLORLISTBOX:
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetBkMode(dc, TRANSPARENT);
        return (INT_PTR)g_hbrWindow;
    case WM_CTLCOLORDLG:
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return (INT_PTR)g_hbrButtonFace;
    default:
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return (INT_PTR)g_hbrButtonFace;
    }
}

UINT_PTR CALLBACK main_dialog_hook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == g_msgSelChanged) {
        if (wp == IDC_MAIN_FILE_LIST)
            return main_on_selection_changed(hwnd);
        if (wp == IDC_MAIN_DIR_LIST || wp == IDC_MAIN_DRIVE_COMBO)
            note_list_folder();
        return FALSE;
    }
    if (msg == g_msgHelp) {
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, HELP_CONTEXT_MAIN);
        return TRUE;
    }
    switch (msg) {
    case WM_RELOAD_SHOWN:    return main_on_reload_shown(hwnd);
    case WM_SIZE:            return main_on_size(hwnd);
    case WM_SYSCOLORCHANGE:  return main_on_syscolorchange(hwnd);
    case WM_DRAWITEM:        return main_on_drawitem(hwnd, (const DRAWITEMSTRUCT*)lp);
    case WM_INITDIALOG:      return main_on_initdialog(hwnd);
    case WM_COMMAND:         return main_on_command(hwnd, LOWORD(wp), (HWND)lp, HIWORD(wp));
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:  return (UINT_PTR)main_on_ctlcolor(msg, (HDC)wp);
    case WM_LBUTTONDOWN:     return main_on_lbuttondown(hwnd);
    case WM_LBUTTONDBLCLK:   return main_on_lbuttondblclk(hwnd, (short)LOWORD(lp), (short)HIWORD(lp));
    case WM_SIZING:          return main_on_sizing(hwnd, wp, (RECT*)lp);
    case WM_TIMER:           return main_on_timer(hwnd, (UINT_PTR)wp);
    case WM_INITMENU:        return main_menu_on_initmenu(hwnd, (HMENU)wp);
    case WM_MEASUREITEM:     return main_menu_on_measureitem(hwnd, (MEASUREITEMSTRUCT*)lp);
    }
    return FALSE;
}
