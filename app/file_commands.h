// Moving, copying, renaming and deleting the current file: the one routine
// that asks for the target in the classic Save dialog and does the work
// (also for the image window), and the main window's commands around it,
// which let go of what holds the file open and afterwards load the next
// file of the refreshed list or take the current file back.
#pragma once

#include <windows.h>

enum FileOperationMode { FILE_OP_MOVE = 0, FILE_OP_COPY = 1, FILE_OP_RENAME = 2 };

// Asks for the target of source (a name as listed, relative to the current
// folder) and moves, copies or renames it. A target that exists is replaced
// only after the user's Yes to the dialog's question. 0: cancelled or
// failed; 2: a move or rename that left the file in initial_dir; else
// non-zero.
int move_copy_rename_file(HWND owner, HWND hwndMain, const char* source, const char* initial_dir,
                          const char* extension, int mode, int cell);
// The same for the file at the full path source_path, named source_name in
// the dialog's title and the messages.
int move_copy_rename_path(HWND owner, HWND hwndMain, const char* source_path, const char* source_name,
                          const char* initial_dir, const char* extension, int mode, int cell);
UINT_PTR CALLBACK move_copy_rename_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// 1 when target's folder (up to its last backslash) is folder, ignoring case
// and a trailing backslash of folder.
int is_target_in_folder(const char* folder, const char* target);

// The shown file is gone from its folder (deleted, moved or renamed): the
// current image is let go, the list refilled, and the entry now at index
// (or the first) is loaded; an empty list leaves nothing to show.
void show_entry_after_removal(LRESULT index);

// Move File, Copy File, Rename File and Delete File on the shown file, by
// the full path it was loaded from (g_filePath); owner is the window that
// asked (the main window or the image window).
void run_file_command(HWND owner, int mode_or_delete);
enum { FILE_OP_DELETE = 3 };

// Asks whether to delete the file listed as name, owned by owner, with the
// icon given: Yes, No or Cancel, No the default, since a deleted file does
// not come back and Enter must lose nothing.
int ask_to_delete(HWND owner, const char* name, UINT icon);
