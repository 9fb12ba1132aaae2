// A file's attributes kept across one step (see kept_attributes.h).
#include "image/kept_attributes.h"

#include <string.h>

KeptAttributes keep_attributes(const char* path, int lift_read_only)
{
    KeptAttributes kept;
    kept.path[0] = '\0';
    kept.attributes = path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (kept.attributes == INVALID_FILE_ATTRIBUTES || (kept.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        strlen(path) >= sizeof kept.path)
        return kept;
    strcpy(kept.path, path);
    if (lift_read_only && (kept.attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, kept.attributes & ~FILE_ATTRIBUTE_READONLY);
    return kept;
}

void put_attributes_back(const KeptAttributes* kept)
{
    if (!kept->path[0])
        return;
    DWORD now = GetFileAttributesA(kept->path);
    if (now != INVALID_FILE_ATTRIBUTES && !(now & FILE_ATTRIBUTE_DIRECTORY) && now != kept->attributes)
        SetFileAttributesA(kept->path, kept->attributes);
}

int delete_agreed_file(const char* path)
{
    KeptAttributes kept = keep_attributes(path, 1);
    int deleted = DeleteFileA(path) != 0;
    put_attributes_back(&kept);
    return deleted;
}

BOOL move_file_keeping_attributes(const char* source, const char* target, DWORD flags)
{
    KeptAttributes kept = keep_attributes(source, 1);
    BOOL moved = MoveFileExA(source, target, flags);
    if (moved && kept.path[0]) {
        if (strlen(target) < sizeof kept.path)
            strcpy(kept.path, target);
        else
            kept.path[0] = '\0';
    }
    put_attributes_back(&kept);
    return moved;
}
