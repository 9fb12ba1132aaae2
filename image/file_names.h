// Telling files apart by what they are, not by how they are spelled: whether
// two paths name one file, a path's folder, the name a folder lists a file
// under, and how a message names a file beside the main list. The lookup of
// a file's entry in the main list is the loader's (find_list_entry_of).
#pragma once

#include <stddef.h>

// 1 when a and b name one file: when both exist, the same volume and file
// index, whatever the spelling (letter case, a short 8.3 name, another
// route to the folder); when either does not, the same full path, ignoring
// case. Folders compare the same way.
int is_same_file(const char* a, const char* b);

// The folder of path without its last backslash (a drive's root keeps it);
// 0 when path has no folder or it does not fit size.
int path_folder(const char* path, char* folder, size_t size);

// The name the file's folder lists it under (its long name, in its own
// letter case); the last part of path when the file cannot be found.
void listed_file_name(const char* path, char* name, size_t size);

// How a question or message names the file at path: name (as the list
// shows it) while the main list shows the file's folder (the current
// folder), else the full path, so that a namesake the list shows is not
// taken for it.
void file_label(const char* path, const char* name, char* label, size_t size);
