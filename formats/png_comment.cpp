// Rewrites the comment of a PNG file without decoding it: every chunk is
// copied as it stands except the text chunks named "description", and one
// new "Description" goes before the first IDAT, of the kind the first old
// one was: an iTXt keeps its language and translated keyword and holds the
// text as UTF-8, anything else gives a tEXt of the text's bytes. Reading
// the comment is part of png.cpp.
//
// The new file is built completely in a temporary file beside the original,
// which it replaces only when whole; a broken source or any failure leaves
// the original as it was. The text's line ends are written as they stand
// (the comment dialog gives each line the end it had).
#include "formats/png_comment.h"

#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
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

// Where an iTXt's language tag starts: past the keyword, its NUL and the
// compression flag and method.
static const uint32_t ITXT_LANGUAGE_AT = (uint32_t)sizeof KEYWORD + 2;

// The bytes of the NUL-ended field of data (length bytes) that starts at
// at, without its NUL; 0 past the data.
static uint32_t field_bytes(const BYTE* data, uint32_t length, uint32_t at)
{
    return at >= length ? 0 : (uint32_t)strnlen((const char*)data + at, length - at);
}

// Where the next field starts (past the NUL of the one at at).
static uint32_t past_field(const BYTE* data, uint32_t length, uint32_t at)
{
    return at + field_bytes(data, length, at) + 1;
}

// Tells the rewrite of a description chunk it leaves out: its text as the
// reader takes it, an iTXt's in the system's code page. A compressed text
// cannot be compared with the one shown and counts as other text.
static void note_dropped_description(CommentJob* job, const BYTE* type, const BYTE* data, uint32_t length)
{
    note_dropped_comment(job, true, NULL, 0);
    uint32_t at = (uint32_t)sizeof KEYWORD;  // past the keyword and its NUL
    bool compressed = !memcmp(type, "zTXt", 4);
    bool utf8 = !memcmp(type, "iTXt", 4);
    if (utf8) {
        compressed = at < length && data[at] != 0;
        at = past_field(data, length, past_field(data, length, ITXT_LANGUAGE_AT));
    }
    if (compressed) {
        job->dropped_other = true;
        return;
    }
    if (at >= length)
        return;
    if (!utf8) {
        note_dropped_comment(job, false, data + at, length - at);
        return;
    }
    // The text up to its first NUL as the reader converts it; what
    // follows counts as it stands.
    uint32_t text_length = (uint32_t)strnlen((const char*)data + at, length - at);
    bool unshowable = false;
    HGLOBAL hShown = system_text_from_utf8((const char*)data + at, text_length, &unshowable);
    note_dropped_shown_text(job, hShown, unshowable);
    note_dropped_comment(job, false, data + at + text_length, length - at - text_length);
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

// The new description chunk's data before its text: for a tEXt the
// keyword and its NUL; for an iTXt also the compression flag and method
// (none), then the language tag and translated keyword of the old iTXt.
struct DescriptionForm {
    bool is_itxt;
    BYTE* head;          // malloc'd, null for a tEXt
    uint32_t head_bytes;
};

// Finds the first description chunk of in (from the chunk after the
// signature, up to IEND or the first chunk that does not fit the file)
// and takes its form; the stream is left at its start. False when memory
// runs out.
static bool find_description_form(FILE* in, long in_length, DescriptionForm* form)
{
    form->is_itxt = false;
    form->head = NULL;
    form->head_bytes = 0;
    bool ok = true;
    long position = SIGNATURE_BYTES;
    BYTE head[8];
    while (ok && fseek(in, position, SEEK_SET) == 0 && fread(head, 1, sizeof head, in) == sizeof head) {
        uint32_t length = read_u32_ordered(head, BYTE_ORDER_MM);
        position += (long)sizeof head;
        if (!memcmp(head + 4, "IEND", 4) || length > 0x7FFFFFFFu ||
            (uint64_t)length + 4 > (uint64_t)(in_length - position))
            break;
        if (is_text_chunk(head + 4)) {
            BYTE* data = (BYTE*)malloc((size_t)length + 1);
            ok = data != NULL;
            bool found = ok && fread(data, 1, length, in) == length && is_description(data, length);
            if (found && !memcmp(head + 4, "iTXt", 4)) {
                uint32_t language = field_bytes(data, length, ITXT_LANGUAGE_AT);
                uint32_t keyword_at = ITXT_LANGUAGE_AT + language + 1;
                uint32_t keyword = field_bytes(data, length, keyword_at);
                form->is_itxt = true;
                form->head_bytes = keyword_at + keyword + 1;
                // zeroed: no compression, and each field ends in its NUL
                // also where the old chunk lacked it
                form->head = (BYTE*)calloc(1, form->head_bytes);
                ok = form->head != NULL;
                if (ok) {
                    memcpy(form->head, KEYWORD, sizeof KEYWORD);
                    memcpy(form->head + ITXT_LANGUAGE_AT, data + ITXT_LANGUAGE_AT, language);
                    memcpy(form->head + keyword_at, data + keyword_at, keyword);
                }
            }
            free(data);
            if (found)
                break;
        }
        position += (long)length + 4;
    }
    fseek(in, 0, SEEK_SET);
    return ok;
}

// Writes the new description chunk: the form's head, then the text (UTF-8
// for an iTXt).
static bool write_comment_chunk(FILE* out, const DescriptionForm* form, const char* text, size_t text_length)
{
    const BYTE* head = form->is_itxt ? form->head : (const BYTE*)KEYWORD;
    uint32_t head_bytes = form->is_itxt ? form->head_bytes : (uint32_t)sizeof KEYWORD;
    HGLOBAL hChunk = GlobalAlloc(GHND, (SIZE_T)(4 + head_bytes + text_length));
    BYTE* chunk = hChunk ? (BYTE*)GlobalLock(hChunk) : NULL;
    bool ok = chunk != NULL;
    if (ok) {
        uint32_t length = head_bytes + (uint32_t)text_length;
        memcpy(chunk, form->is_itxt ? "iTXt" : "tEXt", 4);
        memcpy(chunk + 4, head, head_bytes);
        memcpy(chunk + 4 + head_bytes, text, text_length);
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

// Writes the new file into out with the comment text (as the chunk holds
// it); false when the source is not a complete chunk sequence ending in
// IEND or a write fails.
static bool build_commented_png(FILE* in, long in_length, FILE* out, CommentJob* job, const DescriptionForm* form,
                                const char* text, size_t text_length)
{
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
            if (text_length > 0 && !write_comment_chunk(out, form, text, text_length))
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
    DescriptionForm form = {false, NULL, 0};
    if (in_length < 0 || !find_description_form(in, in_length, &form)) {
        free(form.head);
        return 0;
    }
    const char* text = job->text;
    size_t text_length = job->length;
    HGLOBAL hUtf8 = NULL;
    bool have_text = true;
    if (form.is_itxt && text_length > 0) {
        hUtf8 = utf8_from_system_text(job->text, job->length, &text_length);
        text = hUtf8 ? (const char*)GlobalLock(hUtf8) : NULL;
        have_text = text != NULL;
    }
    uint32_t head_bytes = form.is_itxt ? form.head_bytes : (uint32_t)sizeof KEYWORD;
    // The chunk length must stay a PNG length.
    int ok = have_text && text_length <= 0x7FFFFFFFu - head_bytes &&
             build_commented_png(in, in_length, out, job, &form, text, text_length);
    if (hUtf8) {
        if (text)
            GlobalUnlock(hUtf8);
        GlobalFree(hUtf8);
    }
    free(form.head);
    return ok;
}

int write_png_comment(const char* path, HGLOBAL* phComment)
{
    // The user's comment stays in the handle whatever happens: it is what
    // they typed.
    return rewrite_for_comment(path, phComment ? *phComment : NULL, build_png_job, NULL) == REWRITE_DONE;
}
