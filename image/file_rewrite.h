// Rewriting a file in place for a new comment: the whole new file is built
// in a temporary file first, and the original is overwritten only when the
// build succeeded, so a damaged input or a failed write leaves it as it was.
// The PNM, Targa and IFF comment writers share this.
#pragma once

#include <windows.h>
#include <stdio.h>

// Builds the new content from in (the original, opened "rb") into out (the
// temporary file); returns 1 when the content is complete.
typedef int (*RewriteBuildFn)(FILE* in, FILE* out, void* context);

// 1 when path now holds the new content. When the original cannot be opened
// for writing, "Cannot Open File for Writing." is shown with the path as
// caption; the caller's comment text is never touched here.
int rewrite_file_in_place(const char* path, RewriteBuildFn build, void* context);

// Puts from's content (new_length bytes) over the file at path without
// truncating it first: the file is grown to its new size before anything is
// overwritten, so a full disk fails while the old bytes are still in place.
// 1 on success, 0 on a failed write, -1 when path cannot be opened for writing.
int copy_back_over_original(FILE* from, const char* path, long new_length);

// The comment text as a locked string and its length (up to the first NUL
// or the block's end); null and 0 for a null handle. The caller unlocks.
const char* lock_comment_text(HGLOBAL hText, size_t* length);
