// Rewriting the comment (COM segment) of a JPEG file.
#pragma once

#include <windows.h>

// 1 when the file carries the new comment, 0 when it could not be written
// back (then, unless keep is set, the comment text is released).
int write_jpeg_comment(const char* path, HGLOBAL* phComment, int keep);
