// Rewrites the comment of a PNG file without decoding it: every chunk is
// copied as it stands except the text chunks named "description", and one
// new tEXt "Description" goes before the first IDAT. Reading the comment is
// part of png.cpp.
//
// The new file is built completely in a temporary file beside the original,
// which it replaces only when whole; a broken source or any failure leaves
// the original as it was. Line ends of the text are written as LF.
#include "formats/png_comment.h"

#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "image/byte_order.h"
#include "image/comment_text.h"

enum { SIGNATURE_BYTES = 8, COPY_BLOCK_BYTES = 16384 };

static const char KEYWORD[] = "Description";

static uint32_t s_crcTable[256];
static int s_crcTableMade;

static void make_crc_table(void)
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        s_crcTable[n] = c;
    }
    s_crcTableMade = 1;
}

static uint32_t update_crc(uint32_t crc, const BYTE* buffer, long length)
{
    if (!s_crcTableMade)
        make_crc_table();
    for (long n = 0; n < length; n++)
        crc = s_crcTable[(crc ^ buffer[n]) & 0xFF] ^ (crc >> 8);
    return crc;
}

static uint32_t crc(const BYTE* buffer, long length)
{
    return update_crc(0xFFFFFFFFu, buffer, length) ^ 0xFFFFFFFFu;
}

static bool is_text_chunk(const BYTE* type)
{
    return !memcmp(type, "tEXt", 4) || !memcmp(type, "zTXt", 4) || !memcmp(type, "iTXt", 4);
}

// A text chunk's keyword (its data up to the first NUL) is "description"
// in any case.
static bool is_description(const BYTE* data, uint32_t length)
{
    size_t keyword_length = strnlen((const char*)data, length);
    return keyword_length == sizeof KEYWORD - 1 &&
           !_strnicmp((const char*)data, KEYWORD, sizeof KEYWORD - 1);
}

// Tells the rewrite of a description chunk it leaves out: its text as the
// reader takes it. A compressed text cannot be compared with the one shown
// and counts as other text.
static void note_dropped_description(CommentJob* job, const BYTE* type, const BYTE* data, uint32_t length)
{
    note_dropped_comment(job, true, NULL, 0);
    uint32_t at = (uint32_t)sizeof KEYWORD;  // past the keyword and its NUL
    bool compressed = !memcmp(type, "zTXt", 4);
    if (!memcmp(type, "iTXt", 4)) {
        // compression flag and method, then language tag and translated
        // keyword, each ended by a NUL
        compressed = at < length && data[at] != 0;
        at += 2;
        for (int field = 0; field < 2 && at < length; ++field)
            at += (uint32_t)strnlen((const char*)data + at, length - at) + 1;
    }
    if (compressed)
        job->dropped_other = true;
    else if (at < length)
        note_dropped_comment(job, false, data + at, length - at);
}

static bool copy_bytes(FILE* in, FILE* out, uint32_t count)
{
    BYTE block[COPY_BLOCK_BYTES];
    while (count > 0) {
        size_t step = count < sizeof block ? count : sizeof block;
        if (fread(block, 1, step, in) != step || fwrite(block, 1, step, out) != step)
            return false;
        count -= (uint32_t)step;
    }
    return true;
}

// The text with every line end (CR LF, CR or LF) as one LF, the PNG
// standard's line end for text chunks; returns the new length.
static size_t copy_with_lf_line_ends(BYTE* to, const char* text, size_t length)
{
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\r') {
            to[n++] = '\n';
            if (i + 1 < length && text[i + 1] == '\n')
                ++i;
        } else {
            to[n++] = (BYTE)text[i];
        }
    }
    return n;
}

static bool write_comment_chunk(FILE* out, const char* text, size_t text_length)
{
    HGLOBAL hChunk = GlobalAlloc(GHND, (SIZE_T)(4 + sizeof KEYWORD + text_length));
    BYTE* chunk = hChunk ? (BYTE*)GlobalLock(hChunk) : NULL;
    bool ok = chunk != NULL;
    if (ok) {
        memcpy(chunk, "tEXt", 4);
        memcpy(chunk + 4, KEYWORD, sizeof KEYWORD);
        uint32_t length = (uint32_t)(sizeof KEYWORD + copy_with_lf_line_ends(chunk + 4 + sizeof KEYWORD, text, text_length));
        write_u32_ordered(length, BYTE_ORDER_MM, out);
        fwrite(chunk, 1, (size_t)length + 4, out);
        write_u32_ordered(crc(chunk, (long)length + 4), BYTE_ORDER_MM, out);
        ok = !ferror(out);
        GlobalUnlock(hChunk);
    }
    if (hChunk)
        GlobalFree(hChunk);
    return ok;
}

// Writes the new file into out; false when the source is not a complete
// chunk sequence ending in IEND or a write fails.
static bool build_commented_png(FILE* in, long in_length, FILE* out, CommentJob* job)
{
    const char* text = job->text;
    size_t text_length = job->length;
    BYTE signature[SIGNATURE_BYTES];
    if (fread(signature, 1, sizeof signature, in) != sizeof signature ||
        fwrite(signature, 1, sizeof signature, out) != sizeof signature)
        return false;
    bool seen_idat = false;
    for (;;) {
        BYTE head[8];
        if (fread(head, 1, sizeof head, in) != sizeof head)
            return false;
        uint32_t length = read_u32_ordered(head, BYTE_ORDER_MM);
        const BYTE* type = head + 4;
        long position = ftell(in);
        // Data and CRC must lie within the file.
        if (position < 0 || length > 0x7FFFFFFFu || (uint64_t)length + 4 > (uint64_t)(in_length - position))
            return false;
        if (!memcmp(type, "IDAT", 4) && !seen_idat) {
            seen_idat = true;
            if (text_length > 0 && !write_comment_chunk(out, text, text_length))
                return false;
        }
        if (is_text_chunk(type)) {
            HGLOBAL hData = GlobalAlloc(GHND, (SIZE_T)length + 5);
            BYTE* data = hData ? (BYTE*)GlobalLock(hData) : NULL;
            bool ok = data && fread(data, 1, (size_t)length + 4, in) == (size_t)length + 4;
            if (ok && !is_description(data, length)) {
                ok = fwrite(head, 1, sizeof head, out) == sizeof head &&
                     fwrite(data, 1, (size_t)length + 4, out) == (size_t)length + 4;
            } else if (ok) {
                note_dropped_description(job, type, data, length);
            }
            if (data)
                GlobalUnlock(hData);
            if (hData)
                GlobalFree(hData);
            if (!ok)
                return false;
            continue;
        }
        if (fwrite(head, 1, sizeof head, out) != sizeof head || !copy_bytes(in, out, length + 4))
            return false;
        if (!memcmp(type, "IEND", 4))
            return fflush(out) == 0 && !ferror(out);
    }
}

static int build_png_job(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    long in_length = _filelength(_fileno(in));
    // The chunk length must stay a PNG length.
    return job->length <= 0x7FFFFFFFu - sizeof KEYWORD && in_length >= 0 &&
           build_commented_png(in, in_length, out, job);
}

int write_png_comment(const char* path, HGLOBAL* phComment)
{
    // The user's comment stays in the handle whatever happens: it is what
    // they typed.
    return rewrite_for_comment(path, phComment ? *phComment : NULL, build_png_job, NULL) == REWRITE_DONE;
}
