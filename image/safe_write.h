// Writing a new file without risking the one it replaces: the content goes
// into a temporary file in the target's folder, which takes the target's
// place only after every write and the close have succeeded. A failure at
// any point leaves the old file as it was and no temporary file behind.
// Rewriting an existing file (new comments) takes the same road.
#pragma once

#include <windows.h>
#include <stdio.h>

typedef struct SafeWrite {
    FILE* fp;                      // open while writing, null after commit/abort
    char temp_path[MAX_PATH];
    char target_path[MAX_PATH];
} SafeWrite;

// Creates a temporary file next to path and opens it "w+b" (what was written
// may be read back and patched). Returns the
// stream (also in sw->fp), or null when the target is read-only or a folder
// or no file can be made in its folder (missing folder, no rights, path too
// long); the target is not touched.
FILE* safe_write_open(SafeWrite* sw, const char* path);

// Closes the stream and, when no write failed (ferror), the close succeeded
// and the target has not become read-only, moves the temporary file over
// the target. 1 on success; else 0, the temporary file deleted and the
// target unchanged (also when the stream is no longer open).
int safe_write_commit(SafeWrite* sw);

// For a library that writes the temporary file by its name (sw->temp_path)
// and closes it itself, so that nothing need reopen it: closes sw->fp if
// it is still open and moves the complete file over the target as
// safe_write_commit does; 1 on success, else 0 with the temporary file
// deleted.
int safe_write_commit_closed(SafeWrite* sw);

// Closes and deletes the temporary file; the target stays as it was. Safe to
// call on a SafeWrite whose open failed or that was already committed.
void safe_write_abort(SafeWrite* sw);

// Builds the new content from in (the original, opened "rb") into out (the
// temporary file, "w+b"); 1 when the content is complete.
typedef int (*RewriteBuildFn)(FILE* in, FILE* out, void* context);

enum { REWRITE_DONE = 1, REWRITE_REFUSED = 0, REWRITE_NOT_WRITTEN = -1 };

// Rewrites the file at path through safe_write_open/commit: REWRITE_DONE
// when path holds the new content; REWRITE_REFUSED when the original cannot
// be read or build found it incomplete; REWRITE_NOT_WRITTEN when the new
// file could not be made or could not take the original's place. Path is
// unchanged unless the result is REWRITE_DONE.
int safe_rewrite_file(const char* path, RewriteBuildFn build, void* context);
