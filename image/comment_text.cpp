// The comment dialog's copy of the comment (see comment_text.h). Lone CRs
// and lone LFs become CR LF; an LF CR pair is kept as it stands. The
// rewrite's check of what it drops compares as the bytes come, so a long
// old comment is never held twice.
#include "image/comment_text.h"

#include <string.h>

#include "image/current_image.h"
#include "image/file_names.h"
#include "image/file_stamp.h"
#include "image/kept_attributes.h"
#include "image/seams.h"

HGLOBAL g_hCommentEdit;

// The file allow_read_only_comment_file names; empty: none.
static char s_readOnlyAllowed[MAX_PATH];

// The file and comment expect_shown_comment names; an empty path: none.
static char s_shownFor[MAX_PATH];
static HGLOBAL s_hShown;

static const char COMMENT_NOT_SHOWN_WHOLE[] =
    "This File's Comment Holds More Than the Dialog Showed (Another Comment, Text After a NUL Character or "
    "Past What Is Read); the Edit Would Lose It, So Nothing Was Written.";

void normalize_comment_line_ends(HGLOBAL comment)
{
    if (g_hCommentEdit) {
        GlobalFree(g_hCommentEdit);
        g_hCommentEdit = NULL;
    }
    const char* text = "";
    size_t length = 0;
    const char* locked = comment ? (const char*)GlobalLock(comment) : NULL;
    if (locked) {
        text = locked;
        // The block need not end in NUL: never read past it.
        size_t limit = GlobalSize(comment);
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
        GlobalUnlock(comment);
}

void restore_comment_line_ends(HGLOBAL edited, HGLOBAL read)
{
    size_t read_length = 0, length = 0;
    const char* original = lock_comment_text(read, &read_length);
    // Classified as normalize_comment_line_ends shows them.
    size_t lone_lf = 0, lone_cr = 0, pairs = 0;
    for (size_t i = 0; i < read_length; ++i) {
        char prev = i > 0 ? original[i - 1] : 0;
        char next = i + 1 < read_length ? original[i + 1] : 0;
        if (original[i] == '\r' && next == '\n')
            ++pairs;
        else if (original[i] == '\r' && prev != '\n')
            ++lone_cr;
        else if (original[i] == '\n' && prev != '\r' && next != '\r')
            ++lone_lf;
    }
    if (original)
        GlobalUnlock(read);
    char line_end = lone_lf > pairs && lone_lf >= lone_cr ? '\n' : lone_cr > pairs && lone_cr > lone_lf ? '\r' : 0;
    char* text = line_end ? (char*)lock_comment_text(edited, &length) : NULL;
    if (!text)
        return;
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') {
            text[n++] = line_end;
            ++i;
        } else {
            text[n++] = text[i];
        }
    }
    text[n] = 0;
    GlobalUnlock(edited);
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

void expect_shown_comment(const char* path, HGLOBAL shown)
{
    lstrcpynA(s_shownFor, path ? path : "", sizeof s_shownFor);
    s_hShown = path ? shown : NULL;
}

void note_dropped_comment(CommentJob* job, bool start, const void* bytes, size_t count)
{
    if (start)
        ++job->dropped;
    // Only the first unit is compared: a second is never shown.
    if (job->dropped != 1 || job->dropped_other)
        return;
    const char* b = (const char*)bytes;
    for (size_t i = 0; i < count; ++i) {
        if (job->matched < job->shown_length && b[i] == job->shown[job->matched]) {
            ++job->matched;
        } else if (job->matched < job->shown_length || b[i] != 0) {
            job->dropped_other = true;
            return;
        }
    }
}

// Nothing dropped, or exactly the text shown.
static bool dropped_only_shown(const CommentJob* job)
{
    return job->dropped == 0 ||
           (job->dropped == 1 && !job->dropped_other && job->matched == job->shown_length);
}

struct CheckedBuild {
    RewriteBuildFn build;
    CommentJob* job;
};

static int build_checked(FILE* in, FILE* out, void* context)
{
    CheckedBuild* checked = (CheckedBuild*)context;
    CommentJob* job = checked->job;
    int complete = checked->build(in, out, job);
    if (complete && job->check_dropped && !dropped_only_shown(job)) {
        job->damage = COMMENT_NOT_SHOWN_WHOLE;
        return 0;
    }
    return complete;
}

int rewrite_for_comment(const char* path, HGLOBAL hText, RewriteBuildFn build, void* format)
{
    // The new file takes the old one's place without the old one's
    // attributes; they are put back whatever the outcome.
    bool allowed = path && s_readOnlyAllowed[0] && is_same_file(path, s_readOnlyAllowed);
    KeptAttributes kept = keep_attributes(path, allowed);
    CommentJob job = {};
    job.format = format;
    job.text = lock_comment_text(hText, &job.length);
    job.check_dropped = path && s_shownFor[0] && is_same_file(path, s_shownFor);
    if (job.check_dropped)
        job.shown = lock_comment_text(s_hShown, &job.shown_length);
    CheckedBuild checked = {build, &job};
    // A comment changes no pixels: the shown file's edits stay its own.
    PictureKeepingRewrite rewrite = begin_picture_keeping_rewrite(path);
    int result = safe_rewrite_file(path, build_checked, &checked);
    end_picture_keeping_rewrite(rewrite, result == REWRITE_DONE);
    if (job.text)
        GlobalUnlock(hText);
    if (job.shown)
        GlobalUnlock(s_hShown);
    put_attributes_back(&kept);
    // The dialog keeps the typed text for another try: the user is told why
    // it is still there, whatever kept the file as it was.
    if (result != REWRITE_DONE) {
        const char* why = result == REWRITE_REFUSED && job.damage ? job.damage : "Cannot Open File for Writing.";
        // The shown file is written by its full path and named as listed.
        const char* caption = g_fileName[0] && is_shown_file(path) ? g_fileName : path;
        seam_message_box(NULL, why, caption, MB_OK | MB_ICONSTOP);
    }
    return result;
}
