// Temporary-file-then-replace writing for the writers of new files.
#include "image/safe_write.h"

#include <string.h>

// Folder part of path, without the trailing separator; "." for a bare name.
static int split_folder(const char* path, char* folder, size_t folder_size)
{
    const char* last = NULL;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            last = p;
    }
    if (!last) {
        if (folder_size < 2)
            return 0;
        strcpy(folder, ".");
        return 1;
    }
    size_t len = (size_t)(last - path);
    // Keep the separator of a root ("C:\", "\") or a drive-relative "C:".
    if (len == 0 || *last == ':' || (len == 2 && path[1] == ':'))
        ++len;
    if (len + 1 > folder_size)
        return 0;
    memcpy(folder, path, len);
    folder[len] = '\0';
    return 1;
}

// A target that exists and may not be replaced: read-only, or a folder.
static int is_protected_target(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

FILE* safe_write_open(SafeWrite* sw, const char* path)
{
    char folder[MAX_PATH];
    sw->fp = NULL;
    sw->temp_path[0] = '\0';
    sw->target_path[0] = '\0';
    if (!path || strlen(path) >= sizeof(sw->target_path) || is_protected_target(path))
        return NULL;
    if (!split_folder(path, folder, sizeof(folder)) || strlen(folder) > MAX_PATH - 14)
        return NULL;
    // GetTempFileNameA creates the file, so the name is ours alone.
    if (!GetTempFileNameA(folder, "sqt", 0, sw->temp_path)) {
        sw->temp_path[0] = '\0';
        return NULL;
    }
    strcpy(sw->target_path, path);
    sw->fp = fopen(sw->temp_path, "w+b");
    if (!sw->fp) {
        DeleteFileA(sw->temp_path);
        sw->temp_path[0] = '\0';
        return NULL;
    }
    return sw->fp;
}

// Moves the closed temporary file over the target when ok; deletes it
// otherwise. The SafeWrite holds no file afterwards.
static int finish_commit(SafeWrite* sw, int ok)
{
    if (!sw->temp_path[0])
        return 0;
    // Checked again: the target may have changed while the file was written.
    if (ok && (is_protected_target(sw->target_path) ||
               !MoveFileExA(sw->temp_path, sw->target_path, MOVEFILE_REPLACE_EXISTING)))
        ok = 0;
    if (!ok)
        DeleteFileA(sw->temp_path);
    sw->temp_path[0] = '\0';
    return ok;
}

int safe_write_commit(SafeWrite* sw)
{
    int ok = 0;
    if (sw->fp) {
        ok = fflush(sw->fp) == 0 && !ferror(sw->fp);
        if (fclose(sw->fp) != 0)
            ok = 0;
        sw->fp = NULL;
    }
    return finish_commit(sw, ok);
}

int safe_write_commit_closed(SafeWrite* sw)
{
    if (sw->fp) {
        fclose(sw->fp);
        sw->fp = NULL;
    }
    return finish_commit(sw, 1);
}

void safe_write_abort(SafeWrite* sw)
{
    if (sw->fp) {
        fclose(sw->fp);
        sw->fp = NULL;
    }
    if (sw->temp_path[0]) {
        DeleteFileA(sw->temp_path);
        sw->temp_path[0] = '\0';
    }
}

int safe_rewrite_file(const char* path, RewriteBuildFn build, void* context)
{
    FILE* in = path ? fopen(path, "rb") : NULL;
    if (!in)
        return REWRITE_REFUSED;
    SafeWrite sw;
    if (!safe_write_open(&sw, path)) {
        fclose(in);
        return REWRITE_NOT_WRITTEN;
    }
    int complete = build(in, sw.fp, context);
    // The original is closed before it is replaced: an open handle would
    // make the replacement fail.
    fclose(in);
    if (!complete) {
        safe_write_abort(&sw);
        return REWRITE_REFUSED;
    }
    return safe_write_commit(&sw) ? REWRITE_DONE : REWRITE_NOT_WRITTEN;
}
