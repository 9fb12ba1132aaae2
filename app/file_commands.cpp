// File operations on the current file. See file_commands.h.
//
// Only an animation, an enhanced metafile or a medium keep the file open.
// An animation only lets its file go and pauses: when the file is still
// there afterwards (cancel or failure) it goes on from the frame where it
// stopped. An enhanced metafile or a medium is released in full and loaded
// again. A rename or move only gives the shown file another name: the
// picture, its edits and its animation go on under that name.
#include "app/file_commands.h"

#include <cstdio>
#include <cstring>

#include "app/convert_save.h"
#include "app/file_list.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/file_names.h"
#include "image/gif_anim.h"
#include "image/kept_attributes.h"
#include "image/loader.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "tools/edit_history.h"
#include "viewer/batch_window.h"
#include "viewer/image_window.h"
#include "viewer/window_classes.h"

// The file a move, copy or rename starts from, in full, while its dialog
// is open: a target that is this file under another spelling replaces
// nothing, so no question is asked for it.
static char s_movedPath[MAX_PATH];

UINT_PTR CALLBACK move_copy_rename_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)wp;
    if (g_msgFileNameOK && msg == g_msgFileNameOK)
        return ask_before_replacing(hdlg, lp, s_movedPath[0] ? s_movedPath : NULL);
    if (msg != WM_INITDIALOG)
        return 0;
    forget_replace_answer();
    const char* label = g_saveDialogMode == FILE_OP_MOVE     ? "Move"
                        : g_saveDialogMode == FILE_OP_COPY   ? "Copy"
                        : g_saveDialogMode == FILE_OP_RENAME ? "Rename"
                                                             : "OK";
    SetDlgItemTextA(hdlg, IDOK, label);
    return 1;
}

int is_target_in_folder(const char* folder, const char* target)
{
    size_t folder_length = std::strlen(folder);
    if (folder_length && folder[folder_length - 1] == '\\')
        --folder_length;
    const char* slash = std::strrchr(target, '\\');
    if (!slash)
        return 0;
    size_t target_folder = (size_t)(slash - target);
    return target_folder == folder_length && CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, folder,
                                                            (int)folder_length, target, (int)target_folder) ==
                                                 CSTR_EQUAL;
}

static bool opens_for_reading(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// True when the folder lists the file under the letters of path's name.
static bool listed_as(const char* path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    const char* slash = std::strrchr(path, '\\');
    return std::strcmp(found.cFileName, slash ? slash + 1 : path) == 0;
}

// Gives the file its name in other letter case. A system that finds names
// regardless of case may take the new name for the file itself and leave
// the old letters: the file then goes through a free name in its folder.
static BOOL rename_letter_case(const char* source, const char* target)
{
    if (MoveFileExA(source, target, 0) && listed_as(target))
        return TRUE;
    char folder[MAX_PATH], passing[MAX_PATH];
    lstrcpynA(folder, target, sizeof folder);
    char* slash = std::strrchr(folder, '\\');
    if (!slash)
        return FALSE;
    *slash = '\0';
    // The free name is made as an empty file, which the move replaces.
    if (!GetTempFileNameA(folder, "ren", 0, passing))
        return FALSE;
    if (!MoveFileExA(source, passing, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(passing);
        return FALSE;
    }
    if (MoveFileExA(passing, target, 0))
        return TRUE;
    MoveFileExA(passing, source, 0);
    return FALSE;
}

// The dialog: 0 when cancelled, else the chosen path in target.
static BOOL choose_target(HWND owner, HWND hwndMain, const char* source, const char* initial_dir,
                          const char* extension, int mode, char* target)
{
    char title[261];
    char long_name[MAX_PATH];
    listed_file_name(source, long_name, sizeof long_name);
    const char* format = mode == FILE_OP_MOVE ? "Move \"%s\" To:" : mode == FILE_OP_COPY ? "Copy \"%s\" To:"
                                                                                         : "Rename \"%s\":";
    std::snprintf(title, sizeof title, format, long_name);
    std::snprintf(target, SAVE_PATH_SIZE, "%s", mode == FILE_OP_RENAME ? "" : long_name);

    char ext[8];
    std::snprintf(ext, sizeof ext, "%s", extension);
    char filter[64];
    int length = std::snprintf(filter, sizeof filter, "*.%s|*.%s|All Files (*.*)|*.*||", ext, ext);
    if (length <= 0 || length >= (int)sizeof filter)
        return FALSE;
    for (int i = 0; i < length; ++i)
        if (filter[i] == '|')
            filter[i] = '\0';

    char file_title[261] = "";
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    // The size without the Windows 2000 fields keeps the classic dialog.
    ofn.lStructSize = 76;
    ofn.hwndOwner = owner ? owner : hwndMain;
    ofn.hInstance = (HINSTANCE)g_hInstance;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = target;
    ofn.nMaxFile = SAVE_PATH_SIZE;
    ofn.lpstrFileTitle = file_title;
    ofn.nMaxFileTitle = 256;
    ofn.lpstrInitialDir = initial_dir;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = ext;
    ofn.lpfnHook = move_copy_rename_hook_proc;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK | OFN_NONETWORKBUTTON |
                OFN_LONGNAMES;
    BOOL chosen = run_save_dialog_holding(&ofn);
    return chosen && target[0];
}

int move_copy_rename_file(HWND owner, HWND hwndMain, const char* source, const char* initial_dir,
                          const char* extension, int mode, int cell)
{
    // The classic dialog may change the current folder while it browses:
    // the source is fixed as a full path first.
    char source_path[MAX_PATH];
    DWORD full = GetFullPathNameA(source, sizeof source_path, source_path, NULL);
    if (full == 0 || full >= sizeof source_path)
        return 0;
    return move_copy_rename_path(owner, hwndMain, source_path, source, initial_dir, extension, mode, cell);
}

int move_copy_rename_path(HWND owner, HWND hwndMain, const char* source_path, const char* source,
                          const char* initial_dir, const char* extension, int mode, int cell)
{
    g_saveDialogMode = mode;
    char target[SAVE_PATH_SIZE];
    lstrcpynA(s_movedPath, source_path, sizeof s_movedPath);
    BOOL chosen = choose_target(owner, hwndMain, source_path, initial_dir, extension, mode, target);
    s_movedPath[0] = '\0';
    if (!chosen)
        return 0;
    char text[2 * MAX_PATH + 40];
    // The file itself under another name (its short name, another route to
    // its folder) is no target: a copy onto it would empty it on some
    // systems, a move would do nothing.
    const bool same_file = is_same_file(source_path, target) != 0;
    if (mode == FILE_OP_COPY) {
        BOOL copied = !same_file && CopyFileA(source_path, target, FALSE);
        if (owner == g_hwndBatch)
            batch_note_file_operation(cell, mode, source_path, target, copied);
        if (!copied) {
            seam_message_box(owner, "Error Copying File", NULL, MB_OK | MB_ICONSTOP);
            return 0;
        }
        std::snprintf(text, sizeof text, "%s copied to:\n\n%s", source, target);
        seam_message_box(owner, text, "Copy File", MB_OK);
        return 1;
    }
    // An existing target is replaced only after the user's Yes in the
    // dialog; otherwise the move fails on it. Another drive needs a copy.
    // The file's own name in other letter case is the same file renamed;
    // in the letters its folder lists it under, it is no move at all.
    const bool new_case =
        same_file && names_same_existing_file(source_path, target) != 0 && !listed_as(target);
    DWORD flags = MOVEFILE_COPY_ALLOWED | (is_replace_agreed(target) ? MOVEFILE_REPLACE_EXISTING : 0);
    BOOL moved = new_case ? rename_letter_case(source_path, target)
                 : same_file ? FALSE
                             : move_file_keeping_attributes(source_path, target, flags);
    if (owner == g_hwndBatch)
        batch_note_file_operation(cell, mode, source_path, target, moved);
    if (!moved) {
        seam_message_box(owner, mode == FILE_OP_RENAME ? "Error Renaming File." : "Error Moving File.", NULL,
                         MB_OK | MB_ICONSTOP);
        return 0;
    }
    follow_moved_shown_file(hwndMain, source_path, target);
    const char* format = !same_file && opens_for_reading(source_path) ? "%s copied to:\n\n%s"
                         : mode == FILE_OP_RENAME  ? "%s renamed:\n\n%s"
                                                   : "%s moved to:\n\n%s";
    std::snprintf(text, sizeof text, format, source, target);
    seam_message_box(owner, text, "Move File", MB_OK);
    return is_target_in_folder(initial_dir, target) ? 2 : 1;
}

// ---- the commands

// How the current file was let go before the operation.
enum FileRelease {
    HOLD_NONE,      // a still bitmap or a WMF holds nothing
    HOLD_PAUSED,    // an animation: timer stopped, file closed at g_pausedAt
    HOLD_RELEASED,  // released in full: loaded again when it stays
};

static LONG g_pausedAt;  // file position of a paused GIF animation

static FileRelease release_open_file(void)
{
    switch (g_imageKind) {
    case KIND_ANIMATED_GIF:
    case KIND_ICON_PAGES:
    case KIND_ANI:
        stop_animation_timer(g_hwndMain);
        g_pausedAt = 0;
        if (g_hFile != HFILE_ERROR) {
            g_pausedAt = _llseek(g_hFile, 0, FILE_CURRENT);
            _lclose(g_hFile);
            g_hFile = HFILE_ERROR;
        }
        return HOLD_PAUSED;
    case KIND_MULTIMEDIA: {
        // An enlarged video hid the main window's controls: they come back
        // with the media window's end, whatever the command does next.
        bool enlarged = g_mciEnlarged != 0;
        g_mciEnlarged = 0;
        release_image_for_new_selection(g_hwndMain);
        if (enlarged) {
            layout_main_controls();
            show_main_controls(g_hwndMain);
        }
        return HOLD_RELEASED;
    }
    case KIND_EMF:
        release_image_for_new_selection(g_hwndMain);
        return HOLD_RELEASED;
    }
    return HOLD_NONE;
}

// The paused animation takes its file back and goes on; false when the
// file no longer opens.
static bool resume_animation(void)
{
    g_hFile = _lopen(g_filePath, OF_READ | OF_SHARE_DENY_NONE);
    if (g_hFile == HFILE_ERROR)
        return false;
    if (g_imageKind == KIND_ANIMATED_GIF) {
        if (g_pausedAt > 0)
            _llseek(g_hFile, g_pausedAt, FILE_BEGIN);
        arm_animation_timer(g_hwndMain, gif_frame_period(g_animDelay));
    } else {
        arm_animation_timer(g_hwndMain, g_animDelay * 9);
    }
    return true;
}

static void load_selection(void)
{
    LRESULT selection = SendDlgItemMessageA(g_hwndMain, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0);
    PostMessageA(g_hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST, selection);
}

void show_entry_after_removal(LRESULT index)
{
    release_image_for_new_selection(g_hwndMain);
    // Released while the list is refilled: a load meanwhile reads nothing.
    g_imageKind = KIND_LIST_REFRESH;
    g_infoText[0] = '\0';
    g_fileName[0] = '\0';
    g_filePath[0] = '\0';
    clear_edit_history();
    fill_file_list(0);
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == 0 || count == LB_ERR) {
        fit_image_rect(1, 1, 0);
        destroy_image_window();
        InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
        // The load this posts finds the kind above, shows nothing and sets
        // the menus for an empty window.
        load_selection();
        return;
    }
    g_imageKind = KIND_NONE;
    if (index == LB_ERR || index >= count)
        index = 0;
    SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length != LB_ERR && length < (LRESULT)sizeof g_fileName) {
        SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)g_fileName);
        SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
    }
    load_selection();
}

// The shown file, moved or renamed, stays shown with its edits: the list
// is read again and selects its entry where it lists the file.
static void show_moved_file_entry(void)
{
    fill_file_list(0);
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT entry = find_shown_file_entry(list);
    SendMessageA(list, LB_SETCURSEL, entry == LB_ERR ? (WPARAM)-1 : (WPARAM)entry, 0);
    if (g_pageCount > 1 || g_iconCount > 1)
        write_page_captions(g_hwndMain);
    else
        SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
}

static void lower_extension(char* ext, size_t size)
{
    std::snprintf(ext, size, "%s", g_fileExt);
    for (char* p = ext; *p; ++p)
        if (*p >= 'A' && *p <= 'Z')
            *p = (char)(*p - 'A' + 'a');
}

int ask_to_delete(HWND owner, const char* name, UINT icon)
{
    char question[MAX_PATH + 40];
    std::snprintf(question, sizeof question, "Are you sure? \n\n\nDelete File %s?", name);
    return seam_message_box(owner, question, " CONFIRM DELETE FILE ", MB_YESNOCANCEL | icon | MB_DEFBUTTON2);
}

void run_file_command(HWND owner, int mode)
{
    // A pasted or captured image has no file.
    if (!g_filePath[0] || g_imageKind == KIND_NONE)
        return;
    // The command acts on the file shown when it starts, by the path it was
    // loaded from, wherever the list or a dialog has taken the folder; its
    // texts name the folder too where the list shows another.
    char name[MAX_PATH], path[MAX_PATH];
    lstrcpynA(path, g_filePath, sizeof path);
    file_label(path, g_fileName, name, sizeof name);
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    char ext[8];
    lower_extension(ext, sizeof ext);
    if (!shown_file_folder(g_currentDir, sizeof g_currentDir))
        return;
    if (mode == FILE_OP_COPY) {
        move_copy_rename_path(owner, g_hwndMain, path, name, g_currentDir, ext, mode, 0);
        fill_file_list(0);
        InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
        return;
    }
    if (mode == FILE_OP_DELETE) {
        if (ask_to_delete(owner, name, MB_ICONEXCLAMATION) != IDYES)
            return;
    }
    LRESULT index = find_shown_file_entry(list);
    const FileRelease hold = release_open_file();
    // A move or rename takes the file with its attributes.
    bool removed;
    if (mode == FILE_OP_DELETE) {
        removed = delete_agreed_file(path) != 0;
        if (!removed) {
            char text[MAX_PATH + 40];
            std::snprintf(text, sizeof text, "Unable to Delete: \n\n %s", name);
            seam_message_box(owner, text, NULL, MB_OK);
        }
    } else {
        removed = move_copy_rename_path(owner, g_hwndMain, path, name, g_currentDir, ext, mode, 0) != 0;
        if (removed)
            index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    }
    if (removed && !is_shown_file_on_disk()) {
        show_entry_after_removal(index);
        return;
    }
    if (removed)
        show_moved_file_entry();
    if (hold == HOLD_RELEASED || (hold == HOLD_PAUSED && !resume_animation())) {
        g_reloadShownFile = 1;
        load_selection();
    }
}
