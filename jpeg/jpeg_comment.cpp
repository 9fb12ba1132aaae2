// Rewriting the comment of a JPEG file without decoding it: the header
// segments are copied up to the frame header with the old comments left
// out, one new comment goes just before the frame header, the rest of the
// file follows byte for byte, as far as it goes, but for its comment
// segments, which are left out too (the reader takes a comment from
// anywhere before the end of the image). The new file is written next to
// the old one and takes its place only when complete (rewrite_for_comment).
// The comment of a file not shown is read here too, by a walk of its
// segments that finds what the reader would.
#include "jpeg/jpeg_comment.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "image/comment_text.h"
#include "image/seams.h"

const char JPEG_COMMENT_TOO_LONG[] =
    "Comment Too Long. A JPEG Comment Holds at Most 65533 Bytes; Nothing Was Written.";

// The two streams of the one run in progress; failed is the first fatal
// message, after which every helper does nothing.
static FILE* s_source;
static FILE* s_output;
static const char* s_failed;
static CommentJob* s_job;  // told of every comment segment left out

static void fail(const char* message)
{
    if (!s_failed) {
        s_failed = message;
        fprintf(stderr, "%s\n", message);
    }
}

static int read_1_byte(void)
{
    if (s_failed)
        return 0;
    int c = getc(s_source);
    if (c == EOF) {
        fail("Premature EOF in JPEG file");
        return 0;
    }
    return c;
}

static unsigned read_2_bytes(void)
{
    unsigned high = (unsigned)read_1_byte();
    return high << 8 | (unsigned)read_1_byte();
}

// Write errors are found by the safe write's check of the stream.
static void write_1_byte(int c)
{
    putc(c, s_output);
}

static void write_2_bytes(unsigned value)
{
    write_1_byte((int)(value >> 8 & 0xFF));
    write_1_byte((int)(value & 0xFF));
}

static void write_marker(int code)
{
    write_1_byte(0xFF);
    write_1_byte(code);
}

static void copy_rest_of_file(void)
{
    char buffer[8192];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, s_source)) > 0)
        fwrite(buffer, 1, count, s_output);
    if (ferror(s_source))
        fail("Premature EOF in JPEG file");
}

static void first_marker(void)
{
    int c1 = getc(s_source), c2 = getc(s_source);
    if (c1 != 0xFF || c2 != 0xD8)
        fail("Not a JPEG file");
    else
        write_marker(0xD8);
}

// Stray bytes before a marker and fill bytes are dropped.
static int next_marker(void)
{
    int discarded = 0, c = read_1_byte();
    while (c != 0xFF && !s_failed) {
        ++discarded;
        c = read_1_byte();
    }
    do {
        c = read_1_byte();
    } while (c == 0xFF && !s_failed);
    if (discarded && !s_failed)
        fprintf(stderr, "Warning: garbage data found in JPEG file\n");
    return c;
}

static unsigned read_length(void)
{
    unsigned length = read_2_bytes();
    if (length < 2 && !s_failed)
        fail("Erroneous JPEG marker length");
    return length;
}

static void copy_variable(void)
{
    unsigned length = read_length();
    write_2_bytes(length);
    for (unsigned i = 2; i < length && !s_failed; ++i)
        write_1_byte(read_1_byte());
}

// A comment segment left out of the new file.
static void skip_comment(void)
{
    unsigned length = read_length();
    note_dropped_comment(s_job, true, NULL, 0);
    for (unsigned i = 2; i < length && !s_failed; ++i) {
        char c = (char)read_1_byte();
        if (!s_failed)
            note_dropped_comment(s_job, false, &c, 1);
    }
}

static int is_frame_header(int code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Copies the header segments; the marker that ended the scan (a frame
// header or EOI, not yet written), or 0 after a failure.
static int scan_JPEG_header(int keep_com)
{
    first_marker();
    while (!s_failed) {
        int code = next_marker();
        if (s_failed)
            break;
        if (is_frame_header(code) || code == 0xD9)
            return code;
        if (code == 0xDA) {
            fail("SOS without prior SOFn");
        } else if (code == 0xFE && !keep_com) {
            skip_comment();
        } else {
            write_marker(code);
            copy_variable();
        }
    }
    return 0;
}

// Markers that stand alone, without a length: a stuffed zero in coded
// data, the restart markers, SOI and TEM.
static int has_no_length(int code)
{
    return code == 0x00 || (code >= 0xD0 && code <= 0xD8) || code == 0x01;
}

// After the frame header a file cut short is copied as far as it goes:
// the remaining count bytes of a segment, or fewer.
static void copy_bytes_while_any(unsigned count)
{
    for (; count > 0; --count) {
        int c = getc(s_source);
        if (c == EOF)
            return;
        write_1_byte(c);
    }
}

// A segment's length and body, whose marker has been copied.
static void copy_segment_while_any(void)
{
    int high = getc(s_source);
    int low = high == EOF ? EOF : getc(s_source);
    if (high != EOF)
        write_1_byte(high);
    if (low == EOF)
        return;
    write_1_byte(low);
    unsigned length = (unsigned)high << 8 | (unsigned)low;
    copy_bytes_while_any(length < 2 ? 0 : length - 2);
}

// A comment segment left out, whose marker has been read.
static void drop_comment_while_any(void)
{
    note_dropped_comment(s_job, true, NULL, 0);
    int high = getc(s_source);
    int low = high == EOF ? EOF : getc(s_source);
    if (low == EOF)
        return;
    unsigned length = (unsigned)high << 8 | (unsigned)low;
    for (unsigned i = 2; i < length; ++i) {
        int c = getc(s_source);
        if (c == EOF)
            return;
        char byte = (char)c;
        note_dropped_comment(s_job, false, &byte, 1);
    }
}

// Copies what follows the frame header up to and with the end of the
// image, then whatever trails it, byte for byte; a comment segment and the
// fill bytes before its marker are left out. The coded data of a scan
// cannot hold a marker, so a marker met there ends it, as in the reader.
static void copy_scans_without_comments(void)
{
    int c = getc(s_source);
    while (c != EOF) {
        if (c != 0xFF) {
            write_1_byte(c);
            c = getc(s_source);
            continue;
        }
        int fill = 0;  // 0xFF bytes before the marker code
        do {
            ++fill;
            c = getc(s_source);
        } while (c == 0xFF);
        if (c == 0xFE) {
            drop_comment_while_any();
            c = getc(s_source);
            continue;
        }
        for (int i = 0; i < fill; ++i)
            write_1_byte(0xFF);
        if (c == EOF)
            break;
        write_1_byte(c);
        if (c == 0xD9) {
            copy_rest_of_file();
            return;
        }
        if (!has_no_length(c))
            copy_segment_while_any();
        c = getc(s_source);
    }
    if (ferror(s_source))
        fail("Premature EOF in JPEG file");
}

// Builds the new file from in into out; on damage the scan's own message
// goes to the job for the box.
static int build_commented_jpeg(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    s_failed = NULL;
    s_source = in;
    s_output = out;
    s_job = job;
    int code = scan_JPEG_header(0);
    if (!s_failed && job->length > 0) {
        write_marker(0xFE);
        write_2_bytes((unsigned)job->length + 2);
        fwrite(job->text, 1, job->length, s_output);
    }
    if (!s_failed) {
        write_marker(code);
        if (code == 0xD9) {
            copy_rest_of_file();
        } else {
            copy_segment_while_any();
            copy_scans_without_comments();
        }
    }
    s_source = s_output = NULL;
    s_job = NULL;
    job->damage = s_failed;
    return !s_failed;
}

int write_jpeg_comment(const char* path, HGLOBAL* phComment, int keep)
{
    size_t length = 0;
    const char* text = lock_comment_text(*phComment, &length);
    if (text)
        GlobalUnlock(*phComment);
    if (length > JPEG_COMMENT_MAX_BYTES) {
        // One segment cannot hold it; the file keeps its comment.
        seam_message_box(NULL, JPEG_COMMENT_TOO_LONG, path, MB_OK | MB_ICONSTOP);
        return 0;
    }
    int result = rewrite_for_comment(path, *phComment, build_commented_jpeg, NULL);
    if (result == REWRITE_NOT_WRITTEN && !keep && *phComment) {
        GlobalFree(*phComment);
        *phComment = NULL;
    }
    return result == REWRITE_DONE;
}

// ---- reading

// The marker after the stray bytes and fill bytes before it, as the
// library finds it (an FF 00 pair is stray too); -1 at the end of the file.
static int next_marker_in(FILE* in)
{
    for (;;) {
        int c = getc(in);
        while (c != 0xFF && c != EOF)
            c = getc(in);
        do {
            c = getc(in);
        } while (c == 0xFF);
        if (c != 0)
            return c == EOF ? -1 : c;
    }
}

HGLOBAL read_jpeg_comment(const char* path)
{
    FILE* in = fopen(path, "rb");
    if (!in)
        return NULL;
    HGLOBAL hText = NULL;
    int ok = getc(in) == 0xFF && getc(in) == 0xD8;
    while (ok) {
        int code = next_marker_in(in);
        if (code < 0 || code == 0xD8 || code == 0xD9 || code == 0xDA)
            break;
        if ((code >= 0xD0 && code <= 0xD7) || code == 0x01)
            continue;  // no length field
        int high = getc(in), low = getc(in);
        if (low == EOF || high == EOF || (high << 8 | low) < 2)
            break;
        unsigned length = (unsigned)(high << 8 | low) - 2;
        if (code != 0xFE) {
            ok = fseek(in, (long)length, SEEK_CUR) == 0;
            continue;
        }
        // The first comment segment decides, whole or not at all.
        hText = length ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1) : NULL;
        char* text = hText ? (char*)GlobalLock(hText) : NULL;
        int whole = text && fread(text, 1, length, in) == length;
        if (text) {
            // The text ends at a NUL inside the data, as the reader's does.
            size_t kept = strnlen(text, length);
            memset(text + kept, 0, length - kept);
            GlobalUnlock(hText);
        }
        if (!whole && hText) {
            GlobalFree(hText);
            hText = NULL;
        }
        break;
    }
    fclose(in);
    return hText;
}
