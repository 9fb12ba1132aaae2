// The comment dialog's copy of the comment (see comment_text.h). Lone CRs
// and lone LFs become CR LF; an LF CR pair is kept as it stands.
#include "image/comment_text.h"

#include <string.h>

#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/kept_attributes.h"
#include "image/seams.h"

HGLOBAL g_hCommentEdit;

// The file allow_read_only_comment_file names; empty: none.
static char s_readOnlyAllowed[MAX_PATH];

void normalize_comment_line_ends(void)
{
    if (g_hCommentEdit) {
        GlobalFree(g_hCommentEdit);
        g_hCommentEdit = NULL;
    }
    const char* text = "";
    size_t length = 0;
    const char* locked = g_hComment ? (const char*)GlobalLock(g_hComment) : NULL;
    if (locked) {
        text = locked;
        // The block need not end in NUL: never read past it.
        size_t limit = GlobalSize(g_hComment);
        while (length < limit && text[length])
            ++length;
    }
    HGLOBAL hEdit = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 2 * length + 2);
    char* out = hEdit ? (char*)GlobalLock(hEdit) : NULL;
    if (out) {
        size_t n = 0;
        for (size_t i = 0; i < length; ++i) {
            char c = text[i];
            char prev = i > 0 ? text[i - 1] : 0;
            char next = i + 1 < length ? text[i + 1] : 0;
            if (c == '\r' && prev != '\n' && next != '\n') {
                out[n++] = '\r';
                out[n++] = '\n';
            } else if (c == '\n' && prev != '\r' && next != '\r') {
                out[n++] = '\r';
                out[n++] = '\n';
            } else {
                out[n++] = c;
            }
        }
        out[n] = 0;
        GlobalUnlock(hEdit);
        HGLOBAL hShrunk = GlobalReAlloc(hEdit, n + 1, GMEM_MOVEABLE);
        g_hCommentEdit = hShrunk ? hShrunk : hEdit;
    } else if (hEdit) {
        GlobalFree(hEdit);
    }
    if (locked)
        GlobalUnlock(g_hComment);
}

const char* lock_comment_text(HGLOBAL hText, size_t* length)
{
    *length = 0;
    const char* text = hText ? (const char*)GlobalLock(hText) : NULL;
    if (text)
        *length = strnlen(text, GlobalSize(hText));
    return text;
}

void allow_read_only_comment_file(const char* path)
{
    lstrcpynA(s_readOnlyAllowed, path ? path : "", sizeof s_readOnlyAllowed);
}

int rewrite_for_comment(const char* path, HGLOBAL hText, RewriteBuildFn build, void* format)
{
    // The new file takes the old one's place without the old one's
    // attributes; they are put back whatever the outcome.
    bool allowed = path && s_readOnlyAllowed[0] && lstrcmpiA(path, s_readOnlyAllowed) == 0;
    KeptAttributes kept = keep_attributes(path, allowed);
    CommentJob job = {NULL, 0, format, NULL};
    job.text = lock_comment_text(hText, &job.length);
    // A comment changes no pixels: the shown file's edits stay its own.
    PictureKeepingRewrite rewrite = begin_picture_keeping_rewrite(path);
    int result = safe_rewrite_file(path, build, &job);
    end_picture_keeping_rewrite(rewrite, result == REWRITE_DONE);
    if (job.text)
        GlobalUnlock(hText);
    put_attributes_back(&kept);
    // The dialog keeps the typed text for another try: the user is told why
    // it is still there, whatever kept the file as it was.
    if (result != REWRITE_DONE) {
        const char* why = result == REWRITE_REFUSED && job.damage ? job.damage : "Cannot Open File for Writing.";
        // The shown file is written by its full path and named as listed.
        const char* caption = g_fileName[0] && lstrcmpiA(path, g_filePath) == 0 ? g_fileName : path;
        seam_message_box(NULL, why, caption, MB_OK | MB_ICONSTOP);
    }
    return result;
}
