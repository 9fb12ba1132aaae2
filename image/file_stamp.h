// What tells one file from another, and the file the user's edits were
// made on from one changed under them: its size and last write time. The
// shown file's stamp is taken when it is loaded (g_fileSize and
// g_fileWriteTime, which the loader writes) and follows the program's own rewrites
// that leave its picture as it was; a merged file's stamp is taken when the
// merge reads it. The edit history is replayed on a file only while its
// stamp still holds.
#pragma once

#include <windows.h>
#include <stdint.h>

struct FileStamp {
    uint64_t size;
    FILETIME written;
};

// The shown file's stamp, as the loader took it.
extern uint64_t g_fileSize;
extern FILETIME g_fileWriteTime;

// The stamp of the file at path; 0 and a zero stamp when there is none.
int take_file_stamp(const char* path, FileStamp* stamp);
// 1 when the file at path is there with that stamp.
int file_has_stamp(const char* path, const FileStamp* stamp);

// 1 when path names the shown file, the path it was loaded from.
int is_shown_file(const char* path);

// 1 when the shown file has the size and time it had when it was loaded,
// or that the program's own rewrites since gave it.
bool file_unchanged_since_load(void);

// A rewrite of path by the program itself that leaves the picture in it as
// it was (a comment, Exif data) is begun before the file is touched and
// ended with its outcome. When path is the shown file and was unchanged
// before the rewrite, the stored stamp follows the new file: it is still
// the file the edits were made on, so Undo and the reload go on replaying
// them. A file someone else changed first stays changed.
struct PictureKeepingRewrite {
    bool follows;
};
PictureKeepingRewrite begin_picture_keeping_rewrite(const char* path);
void end_picture_keeping_rewrite(PictureKeepingRewrite rewrite, int written);
