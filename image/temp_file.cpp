// Temporary file names (see temp_file.h). Each name lives in a 260-byte
// movable block that stays locked while the name is in use; the blocks in
// use are listed so that delete_temp_file frees only what was made here.
#include "image/temp_file.h"

#include <stdio.h>

enum { TEMP_NAME_SIZE = 260, MAX_TEMP_NAMES = 16 };

static HGLOBAL s_hNames[MAX_TEMP_NAMES];
static char* s_names[MAX_TEMP_NAMES];

char* make_temp_file_name(void)
{
    int slot = 0;
    while (slot < MAX_TEMP_NAMES && s_hNames[slot])
        ++slot;
    if (slot == MAX_TEMP_NAMES)
        return NULL;

    char folder[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return NULL;

    HGLOBAL hName = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, TEMP_NAME_SIZE);
    char* name = hName ? (char*)GlobalLock(hName) : NULL;
    if (!name) {
        if (hName)
            GlobalFree(hName);
        return NULL;
    }
    if (GetTempFileNameA(folder, "sqt", 0, name) == 0) {
        GlobalUnlock(hName);
        GlobalFree(hName);
        return NULL;
    }
    s_hNames[slot] = hName;
    s_names[slot] = name;
    return name;
}

void delete_temp_file(char* name)
{
    if (!name)
        return;
    remove(name);
    for (int slot = 0; slot < MAX_TEMP_NAMES; ++slot) {
        if (s_hNames[slot] && s_names[slot] == name) {
            GlobalUnlock(s_hNames[slot]);
            GlobalFree(s_hNames[slot]);
            s_hNames[slot] = NULL;
            s_names[slot] = NULL;
            return;
        }
    }
}

int temp_file_names_in_use(void)
{
    int count = 0;
    for (int slot = 0; slot < MAX_TEMP_NAMES; ++slot)
        if (s_hNames[slot])
            ++count;
    return count;
}

int can_create_file(const char* path)
{
    if (!path || !*path)
        return 0;
    HANDLE hFile = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(hFile);
    return 1;
}
