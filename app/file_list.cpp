// Layout of the main window and refills of its file and folder lists.
// The dialog itself fills the lists on folder and drive changes; these
// functions serve the program's own commands and size changes, and open the
// path's folders that a rebuilt folder list shows, which the dialog takes
// for subfolders.
#include "app/file_list.h"

#include <sys/stat.h>

#include <cstring>

#include "app/program_entry.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "image/multimedia.h"
#include "image/preview.h"
#include "image/open_windows.h"
#include "resources/resource.h"
#include "viewer/status_bar.h"

static const int MARGIN = 8;

static RECT window_rect_in_client(HWND parent, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(NULL, parent, (POINT*)&r, 2);
    return r;
}

static int control_height(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    return r.bottom - r.top;
}

SIZE control_text_size(HWND control, const char* text)
{
    char own[128] = "";
    if (!text) {
        GetWindowTextA(control, own, sizeof own);
        text = own;
    }
    HDC dc = GetDC(control);
    HGDIOBJ old_font = SelectObject(dc, (HGDIOBJ)SendMessageA(control, WM_GETFONT, 0, 0));
    RECT r = {0, 0, 0, 0};
    DrawTextA(dc, text, -1, &r, DT_CALCRECT);
    SelectObject(dc, old_font);
    ReleaseDC(control, dc);
    SIZE size = {r.right - r.left, r.bottom - r.top};
    return size;
}

static SIZE label_text_size(HWND label)
{
    return control_text_size(label, NULL);
}

static void move(HWND control, int x, int y, int w, int h)
{
    SetWindowPos(control, NULL, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

int preview_side_for_area(int width, int height)
{
    int by_width = (int)(0.9 * width + 0.5);
    int by_height = (int)(0.9 * height + 0.5);
    return by_width < by_height ? by_width : by_height;
}

void layout_main_controls(void)
{
    HWND main = g_hwndMain;
    if (!main)
        return;
    RECT client;
    GetClientRect(main, &client);
    int cl = client.left, ct = client.top, cr = client.right, cb = client.bottom;
    const int m = MARGIN;

    static const int LABELS[] = {IDC_MAIN_TYPE_LABEL, IDC_MAIN_NAME_LABEL, IDC_MAIN_DRIVE_LABEL,
                                 IDC_MAIN_DIR_LABEL};
    for (int id : LABELS)
        ShowWindow(GetDlgItem(main, id), SW_HIDE);

    HWND status_place = GetDlgItem(main, IDC_MAIN_STATUS_PLACE);
    int y = cb - g_mainStatusHeight - m;
    move(status_place, cl + m, y, cr - 2 * m, control_height(status_place));
    if (g_hwndMainStatus)
        move(g_hwndMainStatus, 0, 0, cr - 2 * m, control_height(status_place));

    int list_width = (cr - 2 * m) * 3 / 10;
    HWND type_box = GetDlgItem(main, IDC_MAIN_TYPE_COMBO);
    y = y - m - control_height(type_box);
    move(type_box, cl + m, y, list_width, control_height(type_box));

    HWND type_label = GetDlgItem(main, IDC_MAIN_TYPE_LABEL);
    SIZE type_text = label_text_size(type_label);
    y -= type_text.cy;
    int y_type = y;
    move(type_label, cl + m, y_type, type_text.cx, type_text.cy);

    HWND name_box = GetDlgItem(main, IDC_MAIN_NAME_EDIT);
    int name_height = control_height(name_box);
    move(name_box, cl + m, ct, cr - 2 * m, name_height);

    HWND name_label = GetDlgItem(main, IDC_MAIN_NAME_LABEL);
    SIZE name_text = label_text_size(name_label);
    int y_name = ct + name_height + m;
    move(name_label, cl + m, y_name, name_text.cx, name_text.cy);
    int y_list = y_name + name_text.cy;

    HWND dir_label = GetDlgItem(main, IDC_MAIN_DIR_LABEL);
    SIZE dir_text = label_text_size(dir_label);
    int list_height = (y_type - y_list - dir_text.cy - 2 * m) / 2;
    if (list_height < 0)
        list_height = 0;
    int x = cl + m;
    int dir_top = y_type - m - list_height;
    move(GetDlgItem(main, IDC_MAIN_DIR_LIST), x, dir_top, list_width, list_height);
    move(dir_label, x, dir_top - dir_text.cy, dir_text.cx, dir_text.cy);
    move(GetDlgItem(main, IDC_MAIN_FILE_LIST), x, y_list, list_width, list_height);

    HWND drive_label = GetDlgItem(main, IDC_MAIN_DRIVE_LABEL);
    SIZE drive_text = label_text_size(drive_label);
    x = x + m + (cr - cl - 2 * m) / 3;
    move(drive_label, x, y_name, drive_text.cx, drive_text.cy);
    HWND drive_box = GetDlgItem(main, IDC_MAIN_DRIVE_COMBO);
    int drive_width = (cr - cl - 2 * m) / 5;
    int drive_top = y_name + drive_text.cy;
    move(drive_box, x, drive_top, drive_width, control_height(drive_box));
    RECT drive_rect = window_rect_in_client(main, drive_box);
    int y_top = drive_rect.bottom;

    HWND full = GetDlgItem(main, IDC_MAIN_FULL_SCREEN);
    RECT full_rect;
    GetWindowRect(full, &full_rect);
    int bw = full_rect.right - full_rect.left, bh = full_rect.bottom - full_rect.top;
    int x1 = drive_rect.right;
    int x2 = x1 + (cr - 3 * m - x1 - 2 * bw) / 2;
    move(GetDlgItem(main, IDC_MAIN_CENTER), x2, y_name, bw, bh);
    move(full, x2 + bw + 2 * m, y_name, bw, bh);
    int second_row = y_name + bh + m;
    move(GetDlgItem(main, IDC_MAIN_TILE), x2, second_row, bw, bh);
    move(GetDlgItem(main, IDC_MAIN_EXIT), x2 + bw + 2 * m, second_row, bw, bh);
    if (second_row + bh > y_top)
        y_top = second_row + bh;

    int pl = cl + m + (cr - 2 * m) * 3 / 10, pr = cr;
    int pt = y_top, pb = cb - g_mainStatusHeight - m;
    int side = preview_side_for_area(pr - pl, pb - pt);
    if (side < 1)
        side = 1;
    g_rcPreview.right = g_rcPreview.bottom = side;
    move(GetDlgItem(main, IDC_MAIN_PREVIEW), pl + (pr - pl - side) / 2, pt + (pb - pt - side) / 2,
         side + 6, side + 6);

    // A medium takes the preview's place at its picture's own aspect (the
    // device's size, so that repeated layouts do not drift by the border).
    if (g_imageKind == KIND_MULTIMEDIA && is_window_open(g_hwndMci)) {
        if (g_mciEnlarged) {
            show_main_controls(main);
            g_mciEnlarged = 0;
        }
        MediaPlace place = place_media_window(pl + (pr - pl - side) / 2, pt + (pb - pt - side) / 2, side,
                                              g_mciAreaWidth, g_mciAreaHeight, g_mciBarHeight);
        MoveWindow(g_hwndMci, place.x, place.y, place.width, place.height, FALSE);
        ShowWindow(g_hwndMci, SW_SHOW);
        GetClientRect(g_hwndMci, &g_rcMciArea);
    }

    for (int id : LABELS)
        ShowWindow(GetDlgItem(main, id), SW_SHOW);
}

void show_main_controls(HWND hwndMain)
{
    static const int IDS[] = {
        IDC_MAIN_TYPE_LABEL, IDC_MAIN_NAME_LABEL, IDC_MAIN_DRIVE_LABEL, IDC_MAIN_DIR_LABEL,
        IDC_MAIN_STATUS_PLACE, IDC_MAIN_TYPE_COMBO, IDC_MAIN_NAME_EDIT, IDC_MAIN_DIR_LIST,
        IDC_MAIN_FILE_LIST, IDC_MAIN_DRIVE_COMBO, IDC_MAIN_FULL_SCREEN, IDC_MAIN_EXIT,
    };
    for (int id : IDS)
        ShowWindow(GetDlgItem(hwndMain, id), SW_SHOW);
}

int is_directory(const char* path)
{
    struct _stat info;
    return _stat(path, &info) == 0 && (info.st_mode & 0x4000) != 0;
}

static void add_with_trailing_backslash(char* path, size_t size)
{
    size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] != '\\' && length + 1 < size) {
        path[length] = '\\';
        path[length + 1] = '\0';
    }
}

// Adds the current folder's entries matching pattern; folders only or
// files only.
static void add_matching_entries(HWND list, const char* pattern, bool folders)
{
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA(pattern, &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (is_folder != folders)
            continue;
        if (folders && (!std::strcmp(found.cFileName, ".") || !std::strcmp(found.cFileName, "..")))
            continue;
        if (SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)found.cFileName) == LB_ERR)
            SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)found.cFileName);
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
}

static void rebuild_folder_list(HWND main, const char* folder)
{
    HWND dirs = GetDlgItem(main, IDC_MAIN_DIR_LIST);
    SendMessageA(dirs, LB_RESETCONTENT, 0, 0);
    add_matching_entries(dirs, "*.*", true);

    // The path's parts at the top: the drive (lower case), then each folder.
    char part[260];
    const char* at = folder;
    const char* slash = std::strchr(at, '\\');
    int position = 0;
    if (slash) {
        size_t length = (size_t)(slash - at) + 1;
        lstrcpynA(part, at, (int)length + 1);
        CharLowerA(part);
        SendMessageA(dirs, LB_INSERTSTRING, position++, (LPARAM)part);
        at = slash + 1;
        while (*at) {
            slash = std::strchr(at, '\\');
            size_t n = slash ? (size_t)(slash - at) : std::strlen(at);
            if (n > 0 && n < sizeof part) {
                lstrcpynA(part, at, (int)n + 1);
                SendMessageA(dirs, LB_INSERTSTRING, position++, (LPARAM)part);
            }
            if (!slash)
                break;
            at = slash + 1;
        }
    }
    if (position > 0)
        SendMessageA(dirs, LB_SETCURSEL, position - 1, 0);

    char drive = folder[0];
    if (drive >= 'a' && drive <= 'z')
        drive = (char)(drive - 'a' + 'A');
    if (drive >= 'A' && drive <= 'Z')
        SendDlgItemMessageA(main, IDC_MAIN_DRIVE_COMBO, CB_SETCURSEL, drive - 'A', 0);
}

// The folder shown by entry index when it is one of the path parts that
// rebuild_folder_list put at the top; 0 for a subfolder, or for an entry
// the dialog listed itself. The parts are matched against the current
// folder, the one the list shows.
static int path_entry_folder(HWND dirs, LRESULT index, char* path, size_t size)
{
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder - 1, folder);
    if (index < 0 || length == 0 || length >= sizeof folder - 1)
        return 0;
    add_with_trailing_backslash(folder, sizeof folder);
    const char* part = folder;
    for (LRESULT entry = 0; entry <= index; ++entry) {
        const char* slash = std::strchr(part, '\\');
        if (!slash)
            return 0;
        // The drive's part keeps its backslash.
        int part_length = (int)(slash - part) + (entry == 0 ? 1 : 0);
        char shown[MAX_PATH];
        LRESULT shown_length = SendMessageA(dirs, LB_GETTEXTLEN, (WPARAM)entry, 0);
        if (shown_length != part_length || shown_length >= (LRESULT)sizeof shown)
            return 0;
        SendMessageA(dirs, LB_GETTEXT, (WPARAM)entry, (LPARAM)shown);
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, shown, part_length, part, part_length) !=
            CSTR_EQUAL)
            return 0;
        part = slash + 1;
    }
    size_t folder_length = (size_t)(part - folder);
    if (folder_length >= size)
        return 0;
    lstrcpynA(path, folder, (int)folder_length + 1);
    return 1;
}

int open_folder_path_entry(void)
{
    HWND dirs = g_hwndMain ? GetDlgItem(g_hwndMain, IDC_MAIN_DIR_LIST) : NULL;
    char folder[MAX_PATH];
    // The dialog opens an entry by its text, relative to the current
    // folder, which only the drive's part and the subfolders are.
    if (!dirs || !path_entry_folder(dirs, SendMessageA(dirs, LB_GETCURSEL, 0, 0), folder, sizeof folder) ||
        !SetCurrentDirectoryA(folder))
        return 0;
    fill_file_list(0);
    return 1;
}

void note_list_folder(void)
{
    char folder[MAX_PATH] = "";
    DWORD length = GetCurrentDirectoryA(sizeof folder - 1, folder);
    if (length == 0 || length >= sizeof folder - 1)
        return;
    add_with_trailing_backslash(folder, sizeof folder);
    lstrcpynA(g_listDir, folder, sizeof g_listDir);
}

void fill_file_list(int unused)
{
    (void)unused;
    if (!g_hwndMain || !g_hFilter)
        return;
    const char* filters = (const char*)GlobalLock(g_hFilter);
    LRESULT type = SendDlgItemMessageA(g_hwndMain, IDC_MAIN_TYPE_COMBO, CB_GETCURSEL, 0, 0);
    fill_file_list_with(filters && type >= 0 && type < FILTER_COUNT ? filters + g_filterPatternOffsets[type] : "");
    if (filters)
        GlobalUnlock(g_hFilter);
}

LRESULT list_entry_adding_file(HWND list, const char* path, const char* listed_as)
{
    LRESULT index = find_list_entry_of(list, path, listed_as);
    if (index != LB_ERR)
        return index;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return LB_ERR;
    index = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)listed_as);
    return index < 0 ? LB_ERR : index;
}

void fill_file_list_with(const char* pattern_list)
{
    HWND main = g_hwndMain;
    if (!main)
        return;
    HWND focus = GetFocus();

    char folder[260] = "";
    GetCurrentDirectoryA(sizeof folder - 1, folder);
    add_with_trailing_backslash(folder, sizeof folder);
    add_with_trailing_backslash(g_listDir, sizeof g_listDir);
    bool rebuild_folders = lstrcmpiA(folder, g_listDir) != 0;
    if (rebuild_folders)
        lstrcpynA(g_listDir, folder, sizeof g_listDir);

    HWND list = GetDlgItem(main, IDC_MAIN_FILE_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    char patterns[MAX_PATH];
    lstrcpynA(patterns, pattern_list, sizeof patterns);
    for (char* pattern = std::strtok(patterns, ";"); pattern; pattern = std::strtok(NULL, ";")) {
        while (*pattern == ' ')
            ++pattern;
        if (*pattern)
            add_matching_entries(list, pattern, false);
    }
    // The shown file is marked where the list shows it, never a namesake
    // of it in another folder.
    LRESULT index = find_shown_file_entry(list);
    if (index != LB_ERR)
        SendMessageA(list, LB_SETCURSEL, index, 0);
    if (rebuild_folders)
        rebuild_folder_list(main, folder);

    if (focus && IsWindow(focus))
        SetFocus(focus);
}
