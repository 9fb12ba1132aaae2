// Rewriting the ImageDescription of one page of a TIFF file without the
// TIFF library: the file is rebuilt page by page into a temporary file
// beside it, every page's image data, out-of-line values and directory
// copied and re-addressed, and the temporary file takes the file's place
// only when it is whole. Only the page shown gets the new description: it
// is the page whose description the reader put in the comment.
//
// Exif, GPS, interoperability and SubIFD directories are rebuilt with their
// page (their data and strips too), so camera files keep their metadata.
// Offsets hidden inside private blocks (maker notes) cannot be known and are
// copied as they stand. Every offset and count is checked against the
// file's real size, and the directory chains against loops. Strips of a
// page that share bytes (blank strips given one range) are copied once,
// and the rebuilt file may not grow past a few times the file: ranges that
// overlap without one holding the other, or directories that share one
// array, would otherwise copy the same bytes without end.
#include "formats/tiff_comment.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "image/byte_order.h"
#include "image/comment_text.h"

namespace {

enum {
    TAG_IMAGE_DESCRIPTION = 270,
    TAG_IMAGE_WIDTH = 256,
    TAG_IMAGE_LENGTH = 257,
    TAG_BITS_PER_SAMPLE = 258,
    TAG_COMPRESSION = 259,
    TAG_STRIP_OFFSETS = 273,
    TAG_SAMPLES_PER_PIXEL = 277,
    TAG_ROWS_PER_STRIP = 278,
    TAG_STRIP_BYTE_COUNTS = 279,
    TAG_TILE_OFFSETS = 324,
    TAG_TILE_BYTE_COUNTS = 325,
    TAG_SUB_IFDS = 330,
    TAG_JPEG_IF = 513,
    TAG_JPEG_IF_LENGTH = 514,
    TAG_JPEG_Q_TABLES = 519,
    TAG_JPEG_DC_TABLES = 520,
    TAG_JPEG_AC_TABLES = 521,
    TAG_EXIF_IFD = 34665,
    TAG_GPS_IFD = 34853,
    TAG_INTEROP_IFD = 40965,

    TYPE_BYTE = 1,
    TYPE_ASCII = 2,
    TYPE_SHORT = 3,
    TYPE_LONG = 4,
    TYPE_IFD = 13,

    MAX_IFDS = 4096,          // pages and sub-directories together
    MAX_ARRAY = 1 << 22,      // values of one offsets field
    COPY_CHUNK = 65536,
    // What the file holds, its SHORT offset arrays widened to LONG and byte
    // counts it lacked added (two LONGs for a SHORT offset and a byte of
    // data), stays below this many times its bytes; the new description and
    // the entries each directory may gain come on top.
    OUTPUT_PER_INPUT_BYTE = 4,
    ADDED_BYTES_PER_IFD = 32,
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint8_t value[4];  // as stored, in the file's byte order
};

struct Rewrite {
    FILE* in;
    uint64_t in_size;
    uint32_t base;      // 128 behind a MacBinary header
    uint16_t order;
    FILE* out;
    uint64_t out_pos;
    uint64_t out_limit;
    uint32_t visited[MAX_IFDS];
    int visited_count;
    const char* comment;  // new description of the target page, "" removes it
    CommentJob* job;      // told of the description left out
};

struct Strip {
    uint32_t offset, length, index;  // index: in the page's arrays
};

}  // namespace

static uint32_t type_size(uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

static void store_u32(uint8_t* bytes, uint32_t value, uint16_t order)
{
    if (order == BYTE_ORDER_MM) {
        bytes[0] = (uint8_t)(value >> 24), bytes[1] = (uint8_t)(value >> 16);
        bytes[2] = (uint8_t)(value >> 8), bytes[3] = (uint8_t)value;
    } else {
        put_le32(bytes, value);
    }
}

static bool read_at(Rewrite* rw, uint64_t offset, void* dest, uint64_t length)
{
    uint64_t at = offset + rw->base;
    if (length > rw->in_size || at > rw->in_size - length)
        return false;
    return _fseeki64(rw->in, (int64_t)at, SEEK_SET) == 0 && fread(dest, 1, (size_t)length, rw->in) == length;
}

static bool write_out(Rewrite* rw, const void* data, uint64_t length)
{
    if (length > rw->out_limit || rw->out_pos > rw->out_limit - length)
        return false;
    if (fwrite(data, 1, (size_t)length, rw->out) != length)
        return false;
    rw->out_pos += length;
    return true;
}

// Copies length bytes at offset into the output; their new offset in *at.
static bool copy_range(Rewrite* rw, uint64_t offset, uint64_t length, uint32_t* at)
{
    uint64_t from = offset + rw->base;
    if (length > rw->in_size || from > rw->in_size - length || length > rw->out_limit ||
        rw->out_pos > rw->out_limit - length)
        return false;
    *at = (uint32_t)rw->out_pos;
    if (_fseeki64(rw->in, (int64_t)from, SEEK_SET) != 0)
        return false;
    static uint8_t chunk[COPY_CHUNK];
    while (length) {
        size_t n = length < COPY_CHUNK ? (size_t)length : (size_t)COPY_CHUNK;
        if (fread(chunk, 1, n, rw->in) != n || !write_out(rw, chunk, n))
            return false;
        length -= n;
    }
    return true;
}

static bool pad_even(Rewrite* rw)
{
    static const uint8_t zero = 0;
    return !(rw->out_pos & 1) || write_out(rw, &zero, 1);
}

static bool mark_visited(Rewrite* rw, uint32_t offset)
{
    for (int i = 0; i < rw->visited_count; i++)
        if (rw->visited[i] == offset)
            return false;
    if (rw->visited_count >= MAX_IFDS)
        return false;
    rw->visited[rw->visited_count++] = offset;
    return true;
}

static Entry* find_entry(Entry* entries, int count, uint16_t tag)
{
    for (int i = 0; i < count; i++)
        if (entries[i].tag == tag)
            return &entries[i];
    return NULL;
}

// First value of a BYTE, SHORT, LONG or IFD entry; fallback when there is
// none, or when the entry is of any other type (a rational or a double is
// no size or offset).
static uint32_t first_value(Rewrite* rw, const Entry* e, uint32_t fallback)
{
    if (!e || !e->count)
        return fallback;
    if (e->type != TYPE_BYTE && e->type != TYPE_SHORT && e->type != TYPE_LONG && e->type != TYPE_IFD)
        return fallback;
    uint32_t size = type_size(e->type);
    uint8_t bytes[4];
    if (size * (uint64_t)e->count <= 4)
        memcpy(bytes, e->value, 4);
    else if (!read_at(rw, read_u32_ordered(e->value, rw->order), bytes, size))
        return fallback;
    if (e->type == TYPE_BYTE)
        return bytes[0];
    return e->type == TYPE_SHORT ? read_u16_ordered(bytes, rw->order) : read_u32_ordered(bytes, rw->order);
}

// The values of a SHORT, LONG or IFD entry, in a block the caller frees.
static uint32_t* read_values(Rewrite* rw, const Entry* e)
{
    uint32_t size = type_size(e->type);
    if (!e->count || e->count > MAX_ARRAY || (e->type != TYPE_SHORT && e->type != TYPE_LONG && e->type != TYPE_IFD))
        return NULL;
    uint64_t bytes = (uint64_t)size * e->count;
    // values the file cannot hold are not allocated for
    if (bytes > 4 && bytes > rw->in_size)
        return NULL;
    uint8_t* raw = (uint8_t*)malloc((size_t)(bytes < 4 ? 4 : bytes));
    uint32_t* values = (uint32_t*)malloc((size_t)e->count * 4);
    bool ok = raw && values;
    if (ok && bytes <= 4)
        memcpy(raw, e->value, 4);
    else if (ok)
        ok = read_at(rw, read_u32_ordered(e->value, rw->order), raw, bytes);
    for (uint32_t i = 0; ok && i < e->count; i++)
        values[i] = size == 2 ? read_u16_ordered(raw + 2 * i, rw->order) : read_u32_ordered(raw + 4 * i, rw->order);
    free(raw);
    if (!ok) {
        free(values);
        return NULL;
    }
    return values;
}

// Stores values as the entry's LONG (or IFD) values: inline for one value,
// else as an array at the output position.
static bool write_values(Rewrite* rw, Entry* e, const uint32_t* values, uint32_t count)
{
    if (e->type != TYPE_IFD)
        e->type = TYPE_LONG;
    e->count = count;
    if (count == 1) {
        store_u32(e->value, values[0], rw->order);
        return true;
    }
    if (!pad_even(rw))
        return false;
    store_u32(e->value, (uint32_t)rw->out_pos, rw->order);
    for (uint32_t i = 0; i < count; i++) {
        uint8_t bytes[4];
        store_u32(bytes, values[i], rw->order);
        if (!write_out(rw, bytes, 4))
            return false;
    }
    return true;
}

// By offset, the longer of two at one offset first (it holds the other).
static int compare_strips(const void* a, const void* b)
{
    const Strip* x = (const Strip*)a;
    const Strip* y = (const Strip*)b;
    if (x->offset != y->offset)
        return x->offset < y->offset ? -1 : 1;
    if (x->length != y->length)
        return x->length > y->length ? -1 : 1;
    return x->index < y->index ? -1 : x->index > y->index;
}

// Places the n strips (or tiles) of a page: one inside the page's JPEG
// interchange stream points into the stream's copy; the others are copied
// in the order of their offsets, and one whose bytes lie within a range
// copied before points into that copy, so strips that share bytes are
// written once.
static bool copy_strips(Rewrite* rw, const uint32_t* old_offsets, const uint32_t* lengths, uint32_t n,
                        uint32_t* new_offsets, uint32_t jpeg_old, uint32_t jpeg_length, uint32_t jpeg_new)
{
    Strip* strips = (Strip*)malloc((size_t)n * sizeof(Strip));
    if (!strips)
        return false;
    uint32_t outside = 0;
    for (uint32_t k = 0; k < n; k++) {
        bool inside = jpeg_length && old_offsets[k] >= jpeg_old && lengths[k] <= jpeg_length &&
                      old_offsets[k] - jpeg_old <= jpeg_length - lengths[k];
        if (inside) {
            new_offsets[k] = jpeg_new + (old_offsets[k] - jpeg_old);
        } else {
            Strip s = {old_offsets[k], lengths[k], k};
            strips[outside++] = s;
        }
    }
    qsort(strips, outside, sizeof(Strip), compare_strips);
    // Sorted by offset, a strip within any range copied before lies within
    // the one reaching furthest.
    bool ok = true, have_cover = false;
    uint64_t cover_from = 0, cover_end = 0;
    uint32_t cover_at = 0;
    for (uint32_t i = 0; ok && i < outside; i++) {
        const Strip& s = strips[i];
        uint64_t end = (uint64_t)s.offset + s.length;
        if (have_cover && s.offset >= cover_from && end <= cover_end) {
            new_offsets[s.index] = cover_at + (uint32_t)(s.offset - cover_from);
            continue;
        }
        ok = copy_range(rw, s.offset, s.length, &new_offsets[s.index]);
        if (ok && (!have_cover || end > cover_end)) {
            have_cover = true;
            cover_from = s.offset;
            cover_end = end;
            cover_at = new_offsets[s.index];
        }
    }
    free(strips);
    return ok;
}

static bool copy_ifd(Rewrite* rw, uint32_t offset, bool is_target, uint32_t* new_offset, uint32_t* next);

// Strips or tiles (with their byte counts as the file gives them), moved
// along with a JPEG interchange stream they may lie inside.
static bool copy_image_data(Rewrite* rw, Entry* entries, int* count, uint32_t jpeg_old, uint32_t jpeg_length,
                            uint32_t jpeg_new)
{
    Entry* offsets = find_entry(entries, *count, TAG_TILE_OFFSETS);
    Entry* counts = find_entry(entries, *count, TAG_TILE_BYTE_COUNTS);
    if (!offsets) {
        offsets = find_entry(entries, *count, TAG_STRIP_OFFSETS);
        counts = find_entry(entries, *count, TAG_STRIP_BYTE_COUNTS);
    }
    if (!offsets)
        return true;  // a directory without image data (Exif, GPS)
    uint32_t* old_offsets = read_values(rw, offsets);
    if (!old_offsets)
        return false;
    uint32_t n = offsets->count;
    uint32_t* lengths = counts && counts->count == n ? read_values(rw, counts) : NULL;
    bool ok = true;
    if (!lengths) {
        // Uncompressed data without byte counts: rows of the page's layout.
        uint32_t compression = first_value(rw, find_entry(entries, *count, TAG_COMPRESSION), 1);
        uint64_t width = first_value(rw, find_entry(entries, *count, TAG_IMAGE_WIDTH), 0);
        uint64_t height = first_value(rw, find_entry(entries, *count, TAG_IMAGE_LENGTH), 0);
        uint64_t spp = first_value(rw, find_entry(entries, *count, TAG_SAMPLES_PER_PIXEL), 1);
        uint64_t bps = first_value(rw, find_entry(entries, *count, TAG_BITS_PER_SAMPLE), 1);
        uint64_t rps = first_value(rw, find_entry(entries, *count, TAG_ROWS_PER_STRIP), (uint32_t)height);
        if (rps == 0 || rps > height)
            rps = height;
        lengths = (uint32_t*)malloc((size_t)n * 4);
        uint64_t row_bytes = (width * spp * bps + 7) / 8;
        // sizes the page does not give as numbers leave its strips unknown
        ok = lengths && compression <= 1 && !counts && offsets->tag == TAG_STRIP_OFFSETS && rps > 0 &&
             row_bytes > 0 && (height + rps - 1) / rps == n;
        for (uint32_t k = 0; ok && k < n; k++) {
            uint64_t rows = height - (uint64_t)k * rps < rps ? height - (uint64_t)k * rps : rps;
            ok = row_bytes * rows <= 0xFFFFFFFFu;
            lengths[k] = (uint32_t)(row_bytes * rows);
        }
        if (ok) {
            counts = &entries[(*count)++];
            counts->tag = TAG_STRIP_BYTE_COUNTS;
            counts->type = TYPE_LONG;
            counts->count = n;
        }
    }
    uint32_t* new_offsets = ok ? (uint32_t*)malloc((size_t)n * 4) : NULL;
    ok = ok && new_offsets && copy_strips(rw, old_offsets, lengths, n, new_offsets, jpeg_old, jpeg_length, jpeg_new);
    ok = ok && write_values(rw, offsets, new_offsets, n) && write_values(rw, counts, lengths, n);
    free(new_offsets);
    free(lengths);
    free(old_offsets);
    return ok;
}

// JPEG tables of old-style JPEG pages: each table is copied and the array
// of their offsets written anew.
static bool copy_jpeg_tables(Rewrite* rw, Entry* e)
{
    uint32_t* offsets = read_values(rw, e);
    if (!offsets)
        return false;
    bool ok = true;
    for (uint32_t i = 0; ok && i < e->count; i++) {
        uint32_t length = 64;
        if (e->tag != TAG_JPEG_Q_TABLES) {
            uint8_t bits[16];
            ok = read_at(rw, offsets[i], bits, 16);
            length = 16;
            for (int j = 0; ok && j < 16; j++)
                length += bits[j];
        }
        ok = ok && copy_range(rw, offsets[i], length, &offsets[i]);
    }
    ok = ok && write_values(rw, e, offsets, e->count);
    free(offsets);
    return ok;
}

static bool copy_sub_ifds(Rewrite* rw, Entry* e)
{
    uint32_t* offsets = read_values(rw, e);
    if (!offsets)
        return false;
    bool ok = true;
    for (uint32_t i = 0; ok && i < e->count; i++) {
        uint32_t next;
        ok = copy_ifd(rw, offsets[i], false, &offsets[i], &next);
    }
    ok = ok && write_values(rw, e, offsets, e->count);
    free(offsets);
    return ok;
}

// Out-of-line values, by tag; values that fit in the entry stay in it.
static bool copy_values(Rewrite* rw, Entry* entries, int count, bool is_target, bool jpeg_placed)
{
    for (int i = 0; i < count; i++) {
        Entry* e = &entries[i];
        switch (e->tag) {
        case TAG_STRIP_OFFSETS: case TAG_STRIP_BYTE_COUNTS: case TAG_TILE_OFFSETS: case TAG_TILE_BYTE_COUNTS:
            continue;  // already placed
        case TAG_JPEG_IF:
            if (jpeg_placed)
                continue;
            break;
        case TAG_JPEG_Q_TABLES: case TAG_JPEG_DC_TABLES: case TAG_JPEG_AC_TABLES:
            if (!copy_jpeg_tables(rw, e))
                return false;
            continue;
        case TAG_SUB_IFDS: case TAG_EXIF_IFD: case TAG_GPS_IFD: case TAG_INTEROP_IFD:
            if (!copy_sub_ifds(rw, e))
                return false;
            continue;
        }
        if (is_target && e->tag == TAG_IMAGE_DESCRIPTION) {
            size_t length = strlen(rw->comment) + 1;
            memset(e->value, 0, 4);
            if (length <= 4) {
                memcpy(e->value, rw->comment, length);
            } else {
                if (!pad_even(rw))
                    return false;
                store_u32(e->value, (uint32_t)rw->out_pos, rw->order);
                if (!write_out(rw, rw->comment, length))
                    return false;
            }
            continue;
        }
        uint64_t bytes = (uint64_t)type_size(e->type) * e->count;
        if (bytes <= 4 || !type_size(e->type))
            continue;
        uint32_t at;
        if (!pad_even(rw) || !copy_range(rw, read_u32_ordered(e->value, rw->order), bytes, &at))
            return false;
        store_u32(e->value, at, rw->order);
    }
    return true;
}

// Tells the rewrite of the target page's old description, which the new
// one replaces: its bytes as stored, as far as they lie inside the file (no
// reader takes the rest).
static void note_old_description(Rewrite* rw, const Entry* e)
{
    uint64_t bytes = (uint64_t)type_size(e->type) * e->count;
    note_dropped_comment(rw->job, true, NULL, 0);
    if (bytes <= 4) {
        note_dropped_comment(rw->job, false, e->value, (size_t)bytes);
        return;
    }
    uint64_t offset = read_u32_ordered(e->value, rw->order);
    uint8_t block[4096];
    for (uint64_t done = 0; done < bytes;) {
        uint64_t step = bytes - done < sizeof block ? bytes - done : sizeof block;
        if (!read_at(rw, offset + done, block, step))
            return;
        note_dropped_comment(rw->job, false, block, (size_t)step);
        done += step;
    }
}

static int compare_entries(const void* a, const void* b)
{
    return (int)((const Entry*)a)->tag - (int)((const Entry*)b)->tag;
}

// Rebuilds the directory at offset with everything it points at; its new
// place goes to *new_offset and the old next-directory offset to *next.
// The directory is written with a next offset of 0.
static bool copy_ifd(Rewrite* rw, uint32_t offset, bool is_target, uint32_t* new_offset, uint32_t* next)
{
    uint8_t bytes[12];
    if (!mark_visited(rw, offset) || !read_at(rw, offset, bytes, 2))
        return false;
    int count = read_u16_ordered(bytes, rw->order);
    // room for a description and byte counts that may be added
    Entry* entries = (Entry*)calloc((size_t)count + 2, sizeof(Entry));
    if (!entries)
        return false;
    bool ok = true;
    int kept = 0;
    for (int i = 0; ok && i < count; i++) {
        ok = read_at(rw, (uint64_t)offset + 2 + 12 * i, bytes, 12);
        Entry e;
        e.tag = read_u16_ordered(bytes, rw->order);
        e.type = read_u16_ordered(bytes + 2, rw->order);
        e.count = read_u32_ordered(bytes + 4, rw->order);
        memcpy(e.value, bytes + 8, 4);
        if (ok && is_target && e.tag == TAG_IMAGE_DESCRIPTION) {
            note_old_description(rw, &e);
            if (!*rw->comment)
                continue;
            e.type = TYPE_ASCII;
            e.count = (uint32_t)strlen(rw->comment) + 1;
        }
        if (ok)
            entries[kept++] = e;
    }
    ok = ok && read_at(rw, (uint64_t)offset + 2 + 12 * (uint64_t)count, bytes, 4);
    *next = ok ? read_u32_ordered(bytes, rw->order) : 0;
    if (ok && is_target && *rw->comment && !find_entry(entries, kept, TAG_IMAGE_DESCRIPTION)) {
        Entry* e = &entries[kept++];
        e->tag = TAG_IMAGE_DESCRIPTION;
        e->type = TYPE_ASCII;
        e->count = (uint32_t)strlen(rw->comment) + 1;
    }
    uint32_t jpeg_old = 0, jpeg_length = 0, jpeg_new = 0;
    Entry* jpeg = find_entry(entries, kept, TAG_JPEG_IF);
    if (ok && jpeg) {
        jpeg_old = first_value(rw, jpeg, 0);
        jpeg_length = first_value(rw, find_entry(entries, kept, TAG_JPEG_IF_LENGTH), 0);
        if (jpeg_old && jpeg_length) {
            ok = copy_range(rw, jpeg_old, jpeg_length, &jpeg_new);
            jpeg->type = TYPE_LONG;
            store_u32(jpeg->value, jpeg_new, rw->order);
        } else {
            // no stream: no strip lies inside one, and the entry is a plain value
            jpeg_old = jpeg_length = 0;
        }
    }
    ok = ok && copy_image_data(rw, entries, &kept, jpeg_old, jpeg_length, jpeg_new);
    if (ok)
        qsort(entries, (size_t)kept, sizeof(Entry), compare_entries);
    ok = ok && copy_values(rw, entries, kept, is_target, jpeg_length != 0) && pad_even(rw);
    if (ok) {
        *new_offset = (uint32_t)rw->out_pos;
        uint8_t head[2];
        head[0] = rw->order == BYTE_ORDER_MM ? (uint8_t)(kept >> 8) : (uint8_t)kept;
        head[1] = rw->order == BYTE_ORDER_MM ? (uint8_t)kept : (uint8_t)(kept >> 8);
        ok = write_out(rw, head, 2);
        for (int i = 0; ok && i < kept; i++) {
            uint8_t out[12];
            const Entry* e = &entries[i];
            uint16_t words[2] = {e->tag, e->type};
            for (int w = 0; w < 2; w++) {
                out[2 * w] = rw->order == BYTE_ORDER_MM ? (uint8_t)(words[w] >> 8) : (uint8_t)words[w];
                out[2 * w + 1] = rw->order == BYTE_ORDER_MM ? (uint8_t)words[w] : (uint8_t)(words[w] >> 8);
            }
            store_u32(out + 4, e->count, rw->order);
            memcpy(out + 8, e->value, 4);
            ok = write_out(rw, out, 12);
        }
        static const uint8_t zero[4] = {0, 0, 0, 0};
        ok = ok && write_out(rw, zero, 4);
    }
    free(entries);
    return ok;
}

// Points the 4 bytes at position `at` of the output to `offset`.
static bool patch_link(Rewrite* rw, uint64_t at, uint32_t offset)
{
    uint8_t bytes[4];
    store_u32(bytes, offset, rw->order);
    return _fseeki64(rw->out, (int64_t)at, SEEK_SET) == 0 && fwrite(bytes, 1, 4, rw->out) == 4 &&
           _fseeki64(rw->out, 0, SEEK_END) == 0;
}

// The header (at 0, or at 128 behind a MacBinary header): byte order and
// the first directory's offset. Classic TIFF only.
static bool read_header(Rewrite* rw, uint32_t* first)
{
    uint8_t header[8];
    for (uint32_t base = 0; base <= 128; base += 128) {
        rw->base = base;
        if (!read_at(rw, 0, header, 8))
            return false;
        if ((header[0] == 'I' && header[1] == 'I') || (header[0] == 'M' && header[1] == 'M')) {
            rw->order = header[0] == 'I' ? BYTE_ORDER_II : BYTE_ORDER_MM;
            *first = read_u32_ordered(header + 4, rw->order);
            return read_u16_ordered(header + 2, rw->order) == 42;
        }
    }
    return false;
}

static bool rebuild(Rewrite* rw, int target_page)
{
    uint32_t offset;
    if (!read_header(rw, &offset))
        return false;
    uint8_t header[8] = {(uint8_t)(rw->order >> 8), (uint8_t)rw->order, 0, 0, 0, 0, 0, 0};
    header[2] = rw->order == BYTE_ORDER_MM ? 0 : 42;
    header[3] = rw->order == BYTE_ORDER_MM ? 42 : 0;
    if (!write_out(rw, header, 8))
        return false;
    uint64_t link = 4;
    int page = 0;
    while (offset) {
        uint32_t new_offset, next;
        if (!copy_ifd(rw, offset, page == target_page, &new_offset, &next) || !patch_link(rw, link, new_offset))
            return false;
        link = rw->out_pos - 4;
        offset = next;
        page++;
    }
    return page > target_page;
}

// Rebuilds in into out with the new description on the page of index
// *job->format (0-based).
static int build_tiff_job(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    static Rewrite rw;  // too big for the stack with its seen-set
    memset(&rw, 0, sizeof rw);
    rw.in = in;
    rw.job = job;
    rw.in_size = _fseeki64(in, 0, SEEK_END) == 0 ? (uint64_t)_ftelli64(in) : 0;
    rw.comment = job->text ? job->text : "";
    uint64_t limit = rw.in_size * OUTPUT_PER_INPUT_BYTE + strlen(rw.comment) + (uint64_t)MAX_IFDS * ADDED_BYTES_PER_IFD;
    rw.out_limit = limit < 0xFFFFFFFFu ? limit : 0xFFFFFFFFu;
    rw.out = out;
    return rebuild(&rw, *(const int*)job->format);
}

int write_tiff_comment(const char* path, HGLOBAL* phComment, int* page_index, int* page_count)
{
    int target_page = *page_index - 1;
    // The comment stays as typed, so nothing the user wrote is lost.
    return rewrite_for_comment(path, phComment ? *phComment : NULL, build_tiff_job, &target_page) == REWRITE_DONE;
}
