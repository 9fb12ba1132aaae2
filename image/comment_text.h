// The copy of a file's comment that the comment dialog's edit box shows:
// its text with every line end made CR LF, and the way back to the line
// ends the comment had. Also what the comment writers share: the rewrite
// that says why a file keeps its old comment, and that never drops more of
// it than the dialog showed.
#pragma once

#include <windows.h>

#include "image/safe_write.h"

extern HGLOBAL g_hCommentEdit;  // NUL-terminated, owned by the comment dialog

// Makes g_hCommentEdit from comment (g_hComment, or the comment of a file
// not shown); an earlier copy is released first. Null when memory runs out.
void normalize_comment_line_ends(HGLOBAL comment);

// Gives the edited text (the edit box's, with CR LF line ends) the line
// ends of the comment as read, in place: each line the edit left as it was
// keeps the end it had (CR LF, CR or LF), matched from the text's start
// and from its end; a line end in the changed part takes the one at its
// place in the comment as read, or its last. A comment read without line
// ends gives each CR LF new_line_end ('\n' or '\r'; 0 keeps CR LF).
void restore_comment_line_ends(HGLOBAL edited, HGLOBAL read, char new_line_end);

// A comment stored as UTF-8 or UTF-16 as the dialog shows it: in the
// system's code page, converted as the system converts (an invalid UTF-8
// sequence, and a character the code page has no form for, come out as
// another character). A new moveable NUL-terminated block, or null when
// memory runs out; *unshowable tells whether any character came out as
// another, so that the text cannot be written back from what was shown.
HGLOBAL system_text_from_utf8(const char* utf8, size_t length, bool* unshowable);
HGLOBAL system_text_from_utf16(const WCHAR* units, size_t count, bool* unshowable);
// The same for a comment stored as Latin-1. Latin-1 text holds no C1
// control character: a byte 0x80 to 0x9F is one of the system's code page,
// as programs that store that code page write it.
HGLOBAL system_text_from_latin1(const char* latin1, size_t length, bool* unshowable);

// The system's text (length bytes) as UTF-8, for a writer that stores it
// so: a new moveable block holding *utf8_length bytes and a NUL, or null
// when memory runs out.
HGLOBAL utf8_from_system_text(const char* text, size_t length, size_t* utf8_length);

// The system's text (length bytes) as Latin-1, for a writer that stores
// it so where it can: a new moveable block holding *latin1_length bytes
// and a NUL; null when a character of it has no Latin-1 form (C1 controls
// included), *fits then false, or when memory runs out, *fits then true.
HGLOBAL latin1_from_system_text(const char* text, size_t length, size_t* latin1_length, bool* fits);

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
    // What the build leaves out of the old comment, told through
    // note_dropped_comment and checked against the comment shown.
    bool check_dropped;     // a comment was shown for this file
    const char* shown;      // its text, and bytes
    size_t shown_length;
    int dropped;            // comment units left out (segments, chunks...)
    size_t matched;         // bytes of the first that equal the text shown
    bool dropped_other;     // it went on to other bytes than shown
    bool dropped_unshowable;  // the first held a character shown as another
};

// A build calls this for each piece of the old comment it leaves out of
// the new file: first with start set for a new unit (a segment, chunk,
// extension or field), then with its bytes as the reader takes them, in
// one call or more. Bytes after the shown text that are all NUL (a
// terminator, a pad) count as shown.
void note_dropped_comment(CommentJob* job, bool start, const void* bytes, size_t count);

// A build that leaves out a comment stored in another encoding tells its
// text as the reader shows it (system_text_from_utf8, _utf16) through
// note_dropped_comment, then whether a character of it was shown as
// another: an edit would put that one back in its place, so it is refused.
void note_unshowable_comment(CommentJob* job);

// Both steps for a text converted as the reader shows it: hShown (freed
// here; null when it could not be converted, which counts as another
// comment dropped) and whether a character of it was shown as another.
void note_dropped_shown_text(CommentJob* job, HGLOBAL hShown, bool unshowable);

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

// The comment dialog names the file it writes an edited comment into, and
// the comment it showed for it (null: none), around the writer's call, and
// null after it. A rewrite of that file that would leave out any more of
// the old comment than that text (another segment, bytes after a NUL, the
// part past what its reader takes), or a character the text showed as
// another, is refused with a message that says so, and the file stays as
// it was.
void expect_shown_comment(const char* path, HGLOBAL shown);
