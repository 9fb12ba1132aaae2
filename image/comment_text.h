// The copy of the current file's comment that the comment dialog's edit box
// shows: the text of g_hComment with every line end made CR LF. Also what
// the comment writers share: the rewrite that says why a file keeps its
// old comment.
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

// What the build of a comment writer's rewrite works from (its context).
struct CommentJob {
    const char* text;    // the new comment's bytes, locked for the rewrite
    size_t length;       // bytes of text before its NUL; 0 for none
    void* format;        // the writer's own state, or null
    const char* damage;  // set by a build that has words of its own for a
                         // damaged original; null: the common words
};

// A comment writer's rewrite of path (safe_rewrite_file) with the comment
// of hText (null: empty): a REWRITE_ result. Every failure leaves path as it
// was and is said here once, with the path as caption (the shown file's
// name as listed, for the shown file) and the stop icon:
// "Cannot Open File for Writing." for a file that cannot be opened for
// reading, that the build found damaged (unless it set job's damage) or
// that the new file could not replace. The comment text is never touched.
// The file keeps its attributes whatever the outcome; a read-only one is
// refused, unless allowed below, and then stays read-only.
int rewrite_for_comment(const char* path, HGLOBAL hText, RewriteBuildFn build, void* format);

// A command that writes its comment into a read-only file too (the JPEG
// comment) names the file here around its writer's call, and null after
// it: the rewrite lifts the attribute for the write and puts it back.
void allow_read_only_comment_file(const char* path);
