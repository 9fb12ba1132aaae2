// The comment dialog's copy of the comment (see comment_text.h). Lone CRs
// and lone LFs become CR LF; an LF CR pair is kept as it stands. The
// rewrite's check of what it drops compares as the bytes come, so a long
// old comment is never held twice.
#include "image/comment_text.h"

#include <stdint.h>
#include <stdlib.h>
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
static const char COMMENT_NOT_SHOWN_AS_IT_IS[] =
    "This File's Comment Holds Characters the Dialog Cannot Show (It Showed Others in Their Place); the Edit "
    "Would Lose Them, So Nothing Was Written.";

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

// A line end of the comment as read.
enum LineEnd { END_CR_LF, END_CR, END_LF };

// A line of the comment as read: where it starts, its bytes and the end
// after it (none for the last).
struct ReadLine {
    size_t start, length;
    LineEnd end;
};

// The lines of text as normalize_comment_line_ends shows them, one per
// CR LF of the shown text; lines may be null to count them. Their number.
static size_t split_read_lines(const char* text, size_t length, ReadLine* lines)
{
    size_t count = 0, start = 0;
    for (size_t i = 0; i < length; ++i) {
        char prev = i > 0 ? text[i - 1] : 0;
        char next = i + 1 < length ? text[i + 1] : 0;
        LineEnd end;
        size_t end_bytes = 1;
        if (text[i] == '\r' && next == '\n') {
            end = END_CR_LF;
            end_bytes = 2;
        } else if (text[i] == '\r' && prev != '\n') {
            end = END_CR;
        } else if (text[i] == '\n' && prev != '\r' && next != '\r') {
            end = END_LF;
        } else {
            continue;
        }
        if (lines)
            lines[count] = {start, i - start, end};
        ++count;
        i += end_bytes - 1;
        start = i + 1;
    }
    if (lines)
        lines[count] = {start, length - start, END_CR_LF};
    return count + 1;
}

// The starts of the lines of the edited text, split at each CR LF; starts
// may be null to count them. Their number.
static size_t split_edited_lines(const char* text, size_t length, size_t* starts)
{
    size_t count = 0;
    if (starts)
        starts[0] = 0;
    for (size_t i = 0; i + 1 < length; ++i) {
        if (text[i] == '\r' && text[i + 1] == '\n') {
            ++count;
            if (starts)
                starts[count] = i + 2;
            ++i;
        }
    }
    return count + 1;
}

void restore_comment_line_ends(HGLOBAL edited, HGLOBAL read, char new_line_end)
{
    size_t read_length = 0, length = 0;
    const char* original = lock_comment_text(read, &read_length);
    char* text = (char*)lock_comment_text(edited, &length);
    size_t read_count = split_read_lines(original, read_length, NULL);
    size_t edited_count = text ? split_edited_lines(text, length, NULL) : 0;
    ReadLine* lines = (ReadLine*)malloc(read_count * sizeof(ReadLine));
    size_t* starts = (size_t*)malloc((edited_count + 1) * sizeof(size_t));
    if (text && lines && starts) {
        split_read_lines(original, read_length, lines);
        split_edited_lines(text, length, starts);
        starts[edited_count] = length + 2;  // past the last line, as after a CR LF
        // The line ends of each text: one fewer than its lines.
        size_t n = read_count - 1, m = edited_count - 1;
        auto same_line = [&](size_t o, size_t e) {
            size_t bytes = starts[e + 1] - 2 - starts[e];
            return bytes == lines[o].length &&
                   (bytes == 0 || memcmp(original + lines[o].start, text + starts[e], bytes) == 0);
        };
        size_t first = 0;  // lines the same from the start
        while (first <= n && first <= m && same_line(first, first))
            ++first;
        size_t last = 0;  // and from the end, apart from those
        while (last + first <= n && last + first <= m && same_line(n - last, m - last))
            ++last;
        size_t out = 0;
        for (size_t j = 0; j <= m; ++j) {
            size_t from = starts[j], bytes = starts[j + 1] - 2 - from;
            memmove(text + out, text + from, bytes);
            out += bytes;
            if (j == m)
                break;
            // The end after edited line j, by the comment's end after the
            // same line; SIZE_MAX: none.
            size_t at = SIZE_MAX;
            if (j < first && j < n)
                at = j;
            else if (j + 1 + last > m && n >= m - j)
                at = n - (m - j);
            else if (n > 0)
                at = j < n ? j : n - 1;
            LineEnd end = at != SIZE_MAX ? lines[at].end : new_line_end == '\r' ? END_CR
                                                          : new_line_end == '\n' ? END_LF
                                                                                  : END_CR_LF;
            if (end != END_LF)
                text[out++] = '\r';
            if (end != END_CR)
                text[out++] = '\n';
        }
        text[out] = 0;
    }
    free(starts);
    free(lines);
    if (text)
        GlobalUnlock(edited);
    if (original)
        GlobalUnlock(read);
}

// A new moveable block holding length bytes of text and a NUL; null when
// memory runs out.
static HGLOBAL text_block_of(const char* text, size_t length)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1);
    char* out = block ? (char*)GlobalLock(block) : NULL;
    if (!out) {
        if (block)
            GlobalFree(block);
        return NULL;
    }
    if (length)
        memcpy(out, text, length);
    GlobalUnlock(block);
    return block;
}

// The conversions take int counts.
static const size_t MOST_CONVERTED = 0x10000000;

HGLOBAL system_text_from_utf16(const WCHAR* units, size_t count, bool* unshowable)
{
    *unshowable = false;
    if (count == 0)
        return text_block_of("", 0);
    if (count > MOST_CONVERTED)
        return NULL;
    int bytes = WideCharToMultiByte(CP_ACP, 0, units, (int)count, NULL, 0, NULL, NULL);
    char* text = bytes > 0 ? (char*)malloc((size_t)bytes) : NULL;
    WCHAR* back = text ? (WCHAR*)malloc(count * sizeof(WCHAR)) : NULL;
    HGLOBAL block = NULL;
    if (back && WideCharToMultiByte(CP_ACP, 0, units, (int)count, text, bytes, NULL, NULL) == bytes) {
        // A character shown as another does not come back as itself.
        int back_count = MultiByteToWideChar(CP_ACP, 0, text, bytes, NULL, 0);
        *unshowable = (size_t)back_count != count ||
                      MultiByteToWideChar(CP_ACP, 0, text, bytes, back, back_count) != back_count ||
                      memcmp(back, units, count * sizeof(WCHAR)) != 0;
        block = text_block_of(text, (size_t)bytes);
    }
    free(back);
    free(text);
    return block;
}

// The UTF-16 units of length bytes (1 to MOST_CONVERTED) of text in the
// code page, *count of them (caller frees); null when they cannot be had.
static WCHAR* utf16_of(UINT code_page, const char* text, size_t length, int* count)
{
    *count = length <= MOST_CONVERTED ? MultiByteToWideChar(code_page, 0, text, (int)length, NULL, 0) : 0;
    WCHAR* units = *count > 0 ? (WCHAR*)malloc((size_t)*count * sizeof(WCHAR)) : NULL;
    if (units && MultiByteToWideChar(code_page, 0, text, (int)length, units, *count) != *count) {
        free(units);
        units = NULL;
    }
    return units;
}

HGLOBAL system_text_from_utf8(const char* utf8, size_t length, bool* unshowable)
{
    *unshowable = false;
    if (length == 0)
        return text_block_of("", 0);
    if (length > MOST_CONVERTED)
        return NULL;
    bool invalid = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, (int)length, NULL, 0) == 0;
    int count = 0;
    WCHAR* units = utf16_of(CP_UTF8, utf8, length, &count);
    HGLOBAL block = NULL;
    if (units) {
        block = system_text_from_utf16(units, (size_t)count, unshowable);
        *unshowable = *unshowable || invalid;
    }
    free(units);
    return block;
}

// Whether unit is a C1 control character, which Latin-1 text never holds.
static bool is_c1_control(WCHAR unit)
{
    return unit >= 0x80 && unit <= 0x9F;
}

HGLOBAL system_text_from_latin1(const char* latin1, size_t length, bool* unshowable)
{
    *unshowable = false;
    if (length == 0)
        return text_block_of("", 0);
    if (length > MOST_CONVERTED)
        return NULL;
    WCHAR* units = (WCHAR*)malloc(length * sizeof(WCHAR));
    if (!units)
        return NULL;
    for (size_t i = 0; i < length; ++i) {
        units[i] = (BYTE)latin1[i];
        WCHAR system = 0;
        if (is_c1_control(units[i]) &&
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, latin1 + i, 1, &system, 1) == 1)
            units[i] = system;
    }
    HGLOBAL block = system_text_from_utf16(units, length, unshowable);
    free(units);
    return block;
}

HGLOBAL latin1_from_system_text(const char* text, size_t length, size_t* latin1_length, bool* fits)
{
    *latin1_length = 0;
    *fits = true;
    if (length == 0)
        return text_block_of("", 0);
    int count = 0;
    WCHAR* units = utf16_of(CP_ACP, text, length, &count);
    char* latin1 = units ? (char*)malloc((size_t)count) : NULL;
    HGLOBAL block = NULL;
    if (latin1) {
        for (int i = 0; i < count && *fits; ++i) {
            *fits = units[i] <= 0xFF && !is_c1_control(units[i]);
            latin1[i] = (char)units[i];
        }
        block = *fits ? text_block_of(latin1, (size_t)count) : NULL;
        if (block)
            *latin1_length = (size_t)count;
    }
    free(latin1);
    free(units);
    return block;
}

HGLOBAL utf8_from_system_text(const char* text, size_t length, size_t* utf8_length)
{
    *utf8_length = 0;
    if (length == 0)
        return text_block_of("", 0);
    int count = 0;
    WCHAR* units = utf16_of(CP_ACP, text, length, &count);
    int bytes = units ? WideCharToMultiByte(CP_UTF8, 0, units, count, NULL, 0, NULL, NULL) : 0;
    char* utf8 = bytes > 0 ? (char*)malloc((size_t)bytes) : NULL;
    HGLOBAL block = NULL;
    if (utf8 && WideCharToMultiByte(CP_UTF8, 0, units, count, utf8, bytes, NULL, NULL) == bytes) {
        block = text_block_of(utf8, (size_t)bytes);
        if (block)
            *utf8_length = (size_t)bytes;
    }
    free(utf8);
    free(units);
    return block;
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

void note_unshowable_comment(CommentJob* job)
{
    if (job->dropped == 1)
        job->dropped_unshowable = true;
}

void note_dropped_shown_text(CommentJob* job, HGLOBAL hShown, bool unshowable)
{
    size_t shown_length = 0;
    const char* shown = lock_comment_text(hShown, &shown_length);
    if (shown) {
        note_dropped_comment(job, false, shown, shown_length);
        GlobalUnlock(hShown);
    } else {
        job->dropped_other = true;
    }
    if (hShown)
        GlobalFree(hShown);
    if (unshowable)
        note_unshowable_comment(job);
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
    if (complete && job->check_dropped && job->dropped_unshowable) {
        job->damage = COMMENT_NOT_SHOWN_AS_IT_IS;
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
