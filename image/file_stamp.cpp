// File stamps (see file_stamp.h), and the shown file's, which the loader
// takes as it reads the file.
#include "image/file_stamp.h"

#include <string.h>

#include "image/current_image.h"
#include "image/file_names.h"

uint64_t g_fileSize;
FILETIME g_fileWriteTime;

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
