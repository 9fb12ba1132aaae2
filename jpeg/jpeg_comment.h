// Rewriting the comment (COM segment) of a JPEG file.
#pragma once

#include <windows.h>

// 1 when the file carries the new comment, else 0 after a box that says why
// (a file that cannot be opened, or the damage the scan found, under the
// path as caption). Only when the new file could not be written back is the
// comment text released, and then not when keep is set.
int write_jpeg_comment(const char* path, HGLOBAL* phComment, int keep);
