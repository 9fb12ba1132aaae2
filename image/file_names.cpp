// Files told apart by volume and file index (see file_names.h).
#include "image/file_names.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

// The volume and index of an existing file or folder; 0 when it cannot be
// opened. No access is asked for, so a file open elsewhere answers too.
static int file_identity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

int is_same_file(const char* a, const char* b)
{
    if (!a || !b || !a[0] || !b[0])
        return 0;
    BY_HANDLE_FILE_INFORMATION info_a, info_b;
    if (file_identity(a, &info_a) && file_identity(b, &info_b))
        return info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
               info_a.nFileIndexHigh == info_b.nFileIndexHigh && info_a.nFileIndexLow == info_b.nFileIndexLow;
    char full_a[MAX_PATH], full_b[MAX_PATH];
    DWORD length_a = GetFullPathNameA(a, sizeof full_a, full_a, NULL);
    DWORD length_b = GetFullPathNameA(b, sizeof full_b, full_b, NULL);
    return length_a > 0 && length_a < sizeof full_a && length_b > 0 && length_b < sizeof full_b &&
           lstrcmpiA(full_a, full_b) == 0;
}

int path_folder(const char* path, char* folder, size_t size)
{
    const char* slash = std::strrchr(path, '\\');
    const char* forward = std::strrchr(path, '/');
    if (forward > slash)
        slash = forward;
    if (!path[0] || !slash)
        return 0;
    size_t length = (size_t)(slash - path);
    // "C:\" stays a folder; "C:" alone would be the drive's current folder.
    if (length > 0 && path[length - 1] == ':')
        ++length;
    if (length + 1 > size)
        return 0;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return 1;
}

void listed_file_name(const char* path, char* name, size_t size)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        lstrcpynA(name, found.cFileName, (int)size);
        return;
    }
    const char* slash = std::strrchr(path, '\\');
    lstrcpynA(name, slash ? slash + 1 : path, (int)size);
}

void file_label(const char* path, const char* name, char* label, size_t size)
{
    char folder[MAX_PATH], current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    bool listed_here = path_folder(path, folder, sizeof folder) && length > 0 && length < sizeof current &&
                       is_same_file(folder, current);
    std::snprintf(label, size, "%s", listed_here && name && name[0] ? name : path);
}
