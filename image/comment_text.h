// The copy of the current file's comment that the comment dialog's edit box
// shows: the text of g_hComment with every line end made CR LF. Also what
// the comment writers of the native formats share.
#pragma once

#include <windows.h>

#include "image/safe_write.h"

extern HGLOBAL g_hCommentEdit;  // NUL-terminated, owned by the comment dialog

// Makes g_hCommentEdit from g_hComment (an earlier copy is released first);
// leaves it null when memory runs out.
void normalize_comment_line_ends(void);

// The comment text as a locked string and its length (up to the first NUL
// or the block's end); null and 0 for a null handle. The caller unlocks.
const char* lock_comment_text(HGLOBAL hText, size_t* length);

// A comment writer's rewrite of path (safe_rewrite_file): 1 when path holds
// the new content. When the new file cannot take the original's place,
// "Cannot Open File for Writing." is shown with the path as caption; the
// comment text is never touched here.
int rewrite_for_comment(const char* path, RewriteBuildFn build, void* context);
