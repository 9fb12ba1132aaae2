// In-place rewrite through a temporary file (see file_rewrite.h).
#include "image/file_rewrite.h"

#include <io.h>
#include <string.h>

#include "image/seams.h"
#include "image/temp_file.h"

int copy_back_over_original(FILE* from, const char* path, long new_length)
{
    FILE* to = fopen(path, "r+b");
    if (!to)
        return -1;
    int fd = _fileno(to);
    long old_length = _filelength(fd);
    int ok = old_length >= 0;
    if (ok && new_length > old_length && _chsize(fd, new_length) != 0) {
        _chsize(fd, old_length);
        ok = 0;
    }
    if (ok && fseek(from, 0, SEEK_SET) == 0) {
        BYTE buf[16384];
        size_t n;
        while (ok && (n = fread(buf, 1, sizeof buf, from)) > 0)
            ok = fwrite(buf, 1, n, to) == n;
        ok = ok && !ferror(from) && fflush(to) == 0;
        if (ok && new_length < old_length)
            ok = _chsize(fd, new_length) == 0;
    } else {
        ok = 0;
    }
    if (fclose(to) != 0)
        ok = 0;
    return ok;
}

int rewrite_file_in_place(const char* path, RewriteBuildFn build, void* context)
{
    FILE* in = path ? fopen(path, "rb") : NULL;
    if (!in)
        return 0;
    char* temp_name = make_temp_file_name();
    FILE* temp = temp_name ? fopen(temp_name, "w+b") : NULL;
    if (!temp) {
        fclose(in);
        delete_temp_file(temp_name);
        return 0;
    }
    int complete = build(in, temp, context);
    fclose(in);
    long new_length = complete && fflush(temp) == 0 && !ferror(temp) ? ftell(temp) : -1;
    int result = 0;
    if (new_length > 0) {
        result = copy_back_over_original(temp, path, new_length);
        if (result < 0) {
            seam_message_box(NULL, "Cannot Open File for Writing.", path, MB_OK | MB_ICONSTOP);
            result = 0;
        }
    }
    fclose(temp);
    delete_temp_file(temp_name);
    return result;
}

const char* lock_comment_text(HGLOBAL hText, size_t* length)
{
    *length = 0;
    const char* text = hText ? (const char*)GlobalLock(hText) : NULL;
    if (text)
        *length = strnlen(text, GlobalSize(hText));
    return text;
}
