// Rewrites the comment of a PNG file without decoding it: every chunk is
// copied as it stands except the text chunks named "description", and one
// new "Description" goes before the first IDAT. It follows the first old
// one: an iTXt stays an iTXt with its language and translated keyword,
// holding the text as UTF-8; any other keeps its kind (tEXt, zTXt) where
// Latin-1 holds the text, which otherwise goes into an iTXt; compressed
// text stays compressed. Reading the comment is part of png.cpp.
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

#include <zlib.h>

enum { SIGNATURE_BYTES = 8, COPY_BLOCK_BYTES = 16384 };

static const char KEYWORD[] = "Description";

// The largest chunk data PNG allows.
static const uint32_t MOST_CHUNK_BYTES = 0x7FFFFFFFu;
// The most an old compressed description inflates to here: the reader's
// libpng allocates no more for one chunk, so it shows none of a longer one.
static const uint32_t MOST_INFLATED_BYTES = 8u << 20;

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

// The text a compressed field of count bytes inflates to, malloc'd, its
// bytes in *inflated; null when the stream is damaged or unfinished, would
// inflate past MOST_INFLATED_BYTES, or memory runs out.
static BYTE* inflate_text(const BYTE* data, uint32_t count, uint32_t* inflated)
{
    *inflated = 0;
    z_stream stream = {};
    stream.next_in = (Bytef*)data;
    stream.avail_in = count;
    if (inflateInit(&stream) != Z_OK)
        return NULL;
    BYTE* text = NULL;
    uint32_t size = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.total_out == size) {
            if (size >= MOST_INFLATED_BYTES)
                break;
            uint32_t grown = size ? (size < MOST_INFLATED_BYTES / 2 ? size * 2 : MOST_INFLATED_BYTES) : 4096;
            BYTE* bigger = (BYTE*)realloc(text, grown);
            if (!bigger)
                break;
            text = bigger;
            size = grown;
        }
        stream.next_out = text + stream.total_out;
        stream.avail_out = size - (uint32_t)stream.total_out;
        result = inflate(&stream, Z_NO_FLUSH);
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        free(text);
        return NULL;
    }
    *inflated = (uint32_t)stream.total_out;
    return text;
}

// Tells the rewrite of a description chunk it leaves out: its text as the
// reader shows it (inflated where compressed, up to its first NUL, in the
// system's code page from UTF-8 or Latin-1), then what follows that NUL as
// it stands. A compressed text that does not inflate whole is not what the
// reader showed.
static void note_dropped_description(CommentJob* job, const BYTE* type, const BYTE* data, uint32_t length)
{
    note_dropped_comment(job, true, NULL, 0);
    // Only the first is compared with the comment shown.
    if (!job->check_dropped || job->dropped != 1)
        return;
    uint32_t at = (uint32_t)sizeof KEYWORD;  // past the keyword and its NUL
    bool utf8 = !memcmp(type, "iTXt", 4);
    bool compressed = !memcmp(type, "zTXt", 4) || (utf8 && at < length && data[at] != 0);
    if (utf8)
        at = past_field(data, length, past_field(data, length, ITXT_LANGUAGE_AT));
    else if (compressed)
        ++at;  // past the compression method
    if (at >= length)
        return;
    const BYTE* text = data + at;
    uint32_t text_bytes = length - at;
    BYTE* inflated = NULL;
    if (compressed) {
        inflated = inflate_text(text, text_bytes, &text_bytes);
        if (!inflated) {
            job->dropped_other = true;
            return;
        }
        text = inflated;
    }
    uint32_t shown_bytes = (uint32_t)strnlen((const char*)text, text_bytes);
    bool unshowable = false;
    HGLOBAL hShown = utf8 ? system_text_from_utf8((const char*)text, shown_bytes, &unshowable)
                          : system_text_from_latin1((const char*)text, shown_bytes, &unshowable);
    note_dropped_shown_text(job, hShown, unshowable);
    note_dropped_comment(job, false, text + shown_bytes, text_bytes - shown_bytes);
    free(inflated);
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

// The first old description chunk, which the new one follows.
struct OldDescription {
    BYTE type[4];        // zeroed: none
    bool is_compressed;  // a zTXt, or an iTXt with its flag set
    BYTE* itxt_fields;   // malloc'd: an iTXt's language tag and translated
    uint32_t itxt_field_bytes;  // keyword, each ending in NUL; else null
};

// Finds the first description chunk of in (from the chunk after the
// signature, up to IEND or the first chunk that does not fit the file);
// the stream is left at its start. False when memory runs out.
static bool find_old_description(FILE* in, long in_length, OldDescription* old)
{
    bool ok = true;
    long position = SIGNATURE_BYTES;
    BYTE head[8];
    while (ok && fseek(in, position, SEEK_SET) == 0 && fread(head, 1, sizeof head, in) == sizeof head) {
        uint32_t length = read_u32_ordered(head, BYTE_ORDER_MM);
        position += (long)sizeof head;
        if (!memcmp(head + 4, "IEND", 4) || length > MOST_CHUNK_BYTES ||
            (uint64_t)length + 4 > (uint64_t)(in_length - position))
            break;
        if (is_text_chunk(head + 4)) {
            BYTE* data = (BYTE*)malloc((size_t)length + 1);
            ok = data != NULL;
            bool found = ok && fread(data, 1, length, in) == length && is_description(data, length);
            if (found) {
                memcpy(old->type, head + 4, 4);
                old->is_compressed = !memcmp(head + 4, "zTXt", 4);
            }
            if (found && !memcmp(head + 4, "iTXt", 4)) {
                uint32_t language = field_bytes(data, length, ITXT_LANGUAGE_AT);
                uint32_t keyword_at = ITXT_LANGUAGE_AT + language + 1;
                uint32_t keyword = field_bytes(data, length, keyword_at);
                old->is_compressed = sizeof KEYWORD < length && data[sizeof KEYWORD] != 0;
                old->itxt_field_bytes = language + keyword + 2;
                // zeroed: each field ends in its NUL also where the old
                // chunk lacked it
                old->itxt_fields = (BYTE*)calloc(1, old->itxt_field_bytes);
                ok = old->itxt_fields != NULL;
                if (ok) {
                    memcpy(old->itxt_fields, data + ITXT_LANGUAGE_AT, language);
                    memcpy(old->itxt_fields + language + 1, data + keyword_at, keyword);
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

// The new description chunk: type, keyword and what stands between it
// and the text, and the text as stored (before any compression).
struct NewDescription {
    const char* type;
    BYTE head[sizeof KEYWORD + 2];  // keyword, NUL, compression bytes
    uint32_t head_bytes;
    const BYTE* fields;  // an iTXt's language and translated keyword
    uint32_t field_bytes;
    bool is_compressed;
    const char* text;
    size_t text_length;
};

// Writes the new description chunk, its text deflated where compressed.
// The plan keeps head, fields and text within a PNG length, so the bytes
// deflate may take stay below 4 GiB.
static bool write_comment_chunk(FILE* out, const NewDescription* chunk)
{
    uint64_t text_bytes = chunk->is_compressed ? compressBound((uLong)chunk->text_length) : chunk->text_length;
    uint64_t most_bytes = 4 + (uint64_t)chunk->head_bytes + chunk->field_bytes + text_bytes;
    HGLOBAL hChunk = most_bytes <= SIZE_MAX ? GlobalAlloc(GHND, (SIZE_T)most_bytes) : NULL;
    BYTE* bytes = hChunk ? (BYTE*)GlobalLock(hChunk) : NULL;
    bool ok = bytes != NULL;
    if (ok) {
        BYTE* text = bytes + 4 + chunk->head_bytes + chunk->field_bytes;
        memcpy(bytes, chunk->type, 4);
        memcpy(bytes + 4, chunk->head, chunk->head_bytes);
        if (chunk->field_bytes)
            memcpy(bytes + 4 + chunk->head_bytes, chunk->fields, chunk->field_bytes);
        uLongf stored = (uLongf)text_bytes;
        if (chunk->is_compressed)
            ok = compress2(text, &stored, (const Bytef*)chunk->text, (uLong)chunk->text_length,
                           Z_BEST_COMPRESSION) == Z_OK;
        else if (chunk->text_length)
            memcpy(text, chunk->text, chunk->text_length);
        uint64_t length = (uint64_t)chunk->head_bytes + chunk->field_bytes + stored;
        ok = ok && length <= MOST_CHUNK_BYTES;
        if (ok) {
            write_u32_ordered((uint32_t)length, BYTE_ORDER_MM, out);
            fwrite(bytes, 1, (size_t)length + 4, out);
            write_u32_ordered(crc(bytes, (long)length + 4), BYTE_ORDER_MM, out);
            ok = !ferror(out);
        }
        GlobalUnlock(hChunk);
    }
    if (hChunk)
        GlobalFree(hChunk);
    return ok;
}

// Writes the new file into out with the new chunk (none when its type is
// null); false when the source is not a complete chunk sequence ending in
// IEND or a write fails.
static bool build_commented_png(FILE* in, long in_length, FILE* out, CommentJob* job, const NewDescription* chunk)
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
        if (position < 0 || length > MOST_CHUNK_BYTES || (uint64_t)length + 4 > (uint64_t)(in_length - position))
            return false;
        if (!memcmp(type, "IDAT", 4) && !seen_idat) {
            seen_idat = true;
            if (chunk->type && !write_comment_chunk(out, chunk))
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

// An iTXt's empty language tag and translated keyword.
static const BYTE NO_ITXT_FIELDS[2] = {0, 0};

// Plans the new chunk after the old one for the job's (non-empty) text,
// stored in *hStored, which the caller unlocks and frees: Latin-1 in a
// tEXt or zTXt, UTF-8 in an iTXt. False when memory runs out or the chunk
// would be longer than PNG allows.
static bool plan_new_description(const OldDescription* old, const CommentJob* job, NewDescription* chunk,
                                 HGLOBAL* hStored)
{
    bool is_itxt = !memcmp(old->type, "iTXt", 4);
    size_t stored_length = 0;
    if (!is_itxt) {
        bool fits = false;
        *hStored = latin1_from_system_text(job->text, job->length, &stored_length, &fits);
        if (!*hStored && fits)
            return false;
        is_itxt = !fits;
    }
    if (is_itxt)
        *hStored = utf8_from_system_text(job->text, job->length, &stored_length);
    chunk->text = *hStored ? (const char*)GlobalLock(*hStored) : NULL;
    chunk->text_length = stored_length;
    chunk->is_compressed = old->is_compressed;
    chunk->type = is_itxt ? "iTXt" : chunk->is_compressed ? "zTXt" : "tEXt";
    memcpy(chunk->head, KEYWORD, sizeof KEYWORD);
    chunk->head_bytes = (uint32_t)sizeof KEYWORD;
    if (is_itxt) {
        chunk->head[chunk->head_bytes++] = chunk->is_compressed ? 1 : 0;
        chunk->head[chunk->head_bytes++] = 0;  // deflate
        chunk->fields = old->itxt_fields ? old->itxt_fields : NO_ITXT_FIELDS;
        chunk->field_bytes = old->itxt_fields ? old->itxt_field_bytes : (uint32_t)sizeof NO_ITXT_FIELDS;
    } else if (chunk->is_compressed) {
        chunk->head[chunk->head_bytes++] = 0;  // deflate
    }
    return chunk->text != NULL &&
           (uint64_t)chunk->text_length + chunk->head_bytes + chunk->field_bytes <= MOST_CHUNK_BYTES;
}

static int build_png_job(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    // An empty text removes the description, every chunk of it, whatever
    // they held that the dialog could not show.
    if (job->length == 0)
        job->check_dropped = false;
    long in_length = _filelength(_fileno(in));
    OldDescription old = {};
    NewDescription chunk = {};
    HGLOBAL hStored = NULL;
    int ok = in_length >= 0 && find_old_description(in, in_length, &old) &&
             (job->length == 0 || plan_new_description(&old, job, &chunk, &hStored)) &&
             build_commented_png(in, in_length, out, job, &chunk);
    if (hStored) {
        if (chunk.text)
            GlobalUnlock(hStored);
        GlobalFree(hStored);
    }
    free(old.itxt_fields);
    return ok;
}

int write_png_comment(const char* path, HGLOBAL* phComment)
{
    // The user's comment stays in the handle whatever happens: it is what
    // they typed.
    return rewrite_for_comment(path, phComment ? *phComment : NULL, build_png_job, NULL) == REWRITE_DONE;
}
