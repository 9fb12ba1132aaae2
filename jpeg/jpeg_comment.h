// Reading and rewriting the comment (COM segment) of a JPEG file.
#pragma once

#include <windows.h>

// The most bytes one COM segment holds, and what is said of a longer text,
// which is never written in part.
enum { JPEG_COMMENT_MAX_BYTES = 65533 };
extern const char JPEG_COMMENT_TOO_LONG[];

// 1 when the file carries the new comment, else 0 after a box that says why
// (a file that cannot be opened, the damage the scan found, or a text too
// long for one segment, under the path as caption). Only when the new file
// could not be written back is the comment text released, and then not when
// keep is set.
int write_jpeg_comment(const char* path, HGLOBAL* phComment, int keep);

// The comment as the JPEG reader takes it (the first COM segment before the
// scan, to its first NUL; none when that segment is empty), read without
// decoding: a new moveable block the caller frees, or null for none, for a
// file whose segments cannot be walked, or when memory runs out.
HGLOBAL read_jpeg_comment(const char* path);
