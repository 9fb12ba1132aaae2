// The copy of the current file's comment that the comment dialog's edit box
// shows: the text of g_hComment with every line end made CR LF.
#pragma once

#include <windows.h>

extern HGLOBAL g_hCommentEdit;  // NUL-terminated, owned by the comment dialog

// Makes g_hCommentEdit from g_hComment (an earlier copy is released first);
// leaves it null when memory runs out.
void normalize_comment_line_ends(void);
