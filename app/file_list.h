// The main window's browser side: placing every control at each size
// change, refilling the file and folder lists after commands changed the
// folder's files, and telling folders from files for the Enter key.
#pragma once

#include <windows.h>

// Places the labels, lists, boxes, buttons, the status place and the square
// preview in the main window's client area.
void layout_main_controls(void);

// Shows the browser controls again after a media window covered them.
void show_main_controls(HWND hwndMain);

// Refills the file list from the selected type's patterns; rebuilds the
// folder list when the current folder is no longer the list's (a typed
// pattern with a folder, a folder of the rebuilt list, a batch file moved
// elsewhere).
void fill_file_list(int unused);
// The same with a pattern list of its own ("*.gif;*.png").
void fill_file_list_with(const char* pattern_list);

// The entry of the file at path in the file list, decided by the file
// itself; where the list's patterns leave the file out, it is added under
// listed_as (a name the current folder resolves), so that a file asked for
// by name is the one shown. LB_ERR when the file is not there or cannot be
// added.
LRESULT list_entry_adding_file(HWND list, const char* path, const char* listed_as);

// The dialog opened a folder or drive itself and filled both lists for the
// current folder: that is the lists' folder now, so that a later change of
// folder by the program rebuilds the folder list.
void note_list_folder(void);

// Opens the folder of the folder list's selected entry when that entry is
// a part of the current folder's path as a rebuilt list shows it ("z:\",
// "tmp", "pics"): it becomes the current folder and both lists are filled
// for it. 0 for any other entry, which the dialog opens itself.
int open_folder_path_entry(void);

// 1 when path names an existing folder.
int is_directory(const char* path);

// Size of text (the control's own text when null) drawn in the control's font.
SIZE control_text_size(HWND control, const char* text);

// The preview side for a free area (integer geometry of the layout):
// round(0.9 x the smaller side).
int preview_side_for_area(int width, int height);
