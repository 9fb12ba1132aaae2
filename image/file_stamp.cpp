// File stamps (see file_stamp.h). The shown file's stamp lives with the
// rest of its facts in the loader's unit; this one reads and compares it.
#include "image/file_stamp.h"

#include <string.h>

#include "image/current_image.h"
#include "image/loader.h"

int take_file_stamp(const char* path, FileStamp* stamp)
{
    memset(stamp, 0, sizeof *stamp);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !path[0] || !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    stamp->size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    stamp->written = data.ftLastWriteTime;
    return 1;
}

int file_has_stamp(const char* path, const FileStamp* stamp)
{
    FileStamp now;
    return take_file_stamp(path, &now) && now.size == stamp->size &&
           CompareFileTime(&now.written, &stamp->written) == 0;
}

// The volume and index of an existing file; 0 when it cannot be opened.
static int file_identity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

int is_same_file(const char* a, const char* b)
{
    char full_a[MAX_PATH], full_b[MAX_PATH];
    DWORD la = GetFullPathNameA(a, sizeof full_a, full_a, NULL);
    DWORD lb = GetFullPathNameA(b, sizeof full_b, full_b, NULL);
    if (!la || la >= sizeof full_a || !lb || lb >= sizeof full_b)
        return 1;
    if (lstrcmpiA(full_a, full_b) == 0)
        return 1;
    BY_HANDLE_FILE_INFORMATION info_a, info_b;
    return file_identity(full_a, &info_a) && file_identity(full_b, &info_b) &&
           info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
           info_a.nFileIndexHigh == info_b.nFileIndexHigh && info_a.nFileIndexLow == info_b.nFileIndexLow;
}

int is_shown_file(const char* path)
{
    return path && path[0] && g_filePath[0] && is_same_file(path, g_filePath);
}

bool file_unchanged_since_load(void)
{
    const FileStamp loaded = {g_fileSize, g_fileWriteTime};
    return g_filePath[0] && file_has_stamp(g_filePath, &loaded);
}

PictureKeepingRewrite begin_picture_keeping_rewrite(const char* path)
{
    PictureKeepingRewrite rewrite = {is_shown_file(path) && file_unchanged_since_load()};
    return rewrite;
}

void end_picture_keeping_rewrite(PictureKeepingRewrite rewrite, int written)
{
    FileStamp now;
    if (!rewrite.follows || !written || !take_file_stamp(g_filePath, &now))
        return;
    g_fileSize = now.size;
    g_fileWriteTime = now.written;
}
