// A file's attributes kept across one step that changes the file. The
// read-only attribute is lifted only for the step that needs it (a delete
// the user agreed to, a rewrite of the file itself); the attributes are put
// back afterwards whatever the outcome: on the old file after a failed or
// refused step, on the new one after a rewrite (which takes the old one's
// place without them). Where the step left no file (a delete that
// succeeded) nothing is put back; a file moved takes them to its new place.
#pragma once

#include <windows.h>

struct KeptAttributes {
    char path[MAX_PATH];  // empty: nothing to put back
    DWORD attributes;     // as found before the step
};

// Notes the attributes of the file at path and, when lift_read_only is set,
// lifts its read-only attribute. A path that names no file, a folder or a
// path too long notes nothing.
KeptAttributes keep_attributes(const char* path, int lift_read_only);

// Puts the noted attributes back on the file now at the noted path, if
// there is one and they differ.
void put_attributes_back(const KeptAttributes* kept);

// MoveFileExA of a file with its attributes. A move to another volume
// copies the file and deletes the old one, which a read-only file would
// refuse halfway: the attribute is lifted for the step, and the file moved,
// or the one left where it was, has its attributes afterwards.
BOOL move_file_keeping_attributes(const char* source, const char* target, DWORD flags);

// DeleteFileA of a file the user agreed to delete, read-only or not; a file
// that stays keeps its attributes. Non-zero when deleted.
int delete_agreed_file(const char* path);
