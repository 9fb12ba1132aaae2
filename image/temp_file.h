// Temporary files in the user's temporary folder for intermediate copies
// (a file that replaces another goes through safe_write.h, beside its
// target). Names nest: a caller may hold one while a routine it calls
// makes and deletes another. Also the test that a file can be created.
#pragma once

#include <windows.h>

// Creates a new empty file "sqt*.tmp" in the user's temporary folder and
// returns its name, held in a locked block of its own until delete_temp_file.
// Null when no name can be had; the caller then stops with the original
// untouched.
char* make_temp_file_name(void);

// Deletes the file and releases the name; the caller uses the name no more.
// A name that make_temp_file_name did not return is only deleted as a file.
void delete_temp_file(char* name);

// Names made and not yet deleted.
int temp_file_names_in_use(void);

// 1 when a file can be created at path (an existing file is truncated to 0
// bytes), else 0.
int can_create_file(const char* path);
