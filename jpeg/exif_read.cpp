// Reading Exif data: the information text and the thumbnail shown by the
// EXIF dialog (viewer/exif_dialog.cpp) and the batch window, the
// orientation, composing it with a lossless transform, rewriting it in
// place, and removing the Exif segment. The segment is read whole into
// memory (an APP1 holds at most 64 KB) and every offset inside it is
// checked against its length, so a broken directory cannot send a read
// elsewhere; a thumbnail must lie inside the segment too. Rewrites go
// through a complete copy next to the file (safe_write.h).
#include "jpeg/exif_read.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "formats/tiff_read.h"
#include "image/byte_order.h"
#include "image/file_hold.h"
#include "image/file_stamp.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/pixel_ceiling.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "image/temp_file.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_read.h"
#include "tools/resample.h"
#include "viewer/exif_dialog.h"

int g_exifOrientation;
HGLOBAL g_hExifInfo;
HGLOBAL g_hExifThumbnail;

enum { TAG_ORIENTATION = 274, EXIF_ID_BYTES = 6, TIFF_HEADER_BYTES = 8, ENTRY_BYTES = 12 };

static const BYTE EXIF_ID[EXIF_ID_BYTES] = {'E', 'x', 'i', 'f', 0, 0};

// Size of the stream in bytes; 0 when unknown or 2 GiB or more.
static uint32_t file_length(FILE* fp)
{
    if (fseek(fp, 0, SEEK_END) != 0)
        return 0;
    long size = ftell(fp);
    return size > 0 ? (uint32_t)size : 0;
}

static int read_at(FILE* fp, uint32_t offset, BYTE* bytes, uint32_t count)
{
    return fseek(fp, (long)offset, SEEK_SET) == 0 && fread(bytes, 1, count, fp) == count;
}

static int copy_range(FILE* in, uint32_t offset, uint32_t count, FILE* out)
{
    BYTE buffer[8192];
    if (fseek(in, (long)offset, SEEK_SET) != 0)
        return 0;
    while (count > 0) {
        uint32_t chunk = count < sizeof buffer ? count : (uint32_t)sizeof buffer;
        if (fread(buffer, 1, chunk, in) != chunk || fwrite(buffer, 1, chunk, out) != chunk)
            return 0;
        count -= chunk;
    }
    return 1;
}

// One step of the walk over the segments before the first scan, at
// position: a fill byte (*marker 0xFF, 1 byte) or a segment inside the
// file (*marker and its length field; 2 + that many bytes). 0 when the
// walk breaks there: no marker, a marker without a length (which does not
// belong before the scan), or a length that leaves the file.
static uint32_t segment_step(FILE* in, uint32_t size, uint32_t position, int* marker, uint32_t* length)
{
    BYTE head[4];
    if (size < 4 || position > size - 4 || !read_at(in, position, head, 4) || head[0] != 0xFF)
        return 0;
    *marker = head[1];
    if (head[1] == 0xFF)
        return 1;
    if (head[1] == 0x01 || (head[1] >= 0xD0 && head[1] <= 0xD9))
        return 0;
    *length = (uint32_t)head[2] << 8 | head[3];
    if (*length < 2 || *length > size - position - 2)
        return 0;
    return 2 + *length;
}

// 1 when an Exif APP1 starts at position: its marker, a length field with
// room for the identifier and "Exif" (in *length the field).
static int exif_app1_at(FILE* in, uint32_t size, uint32_t position, uint32_t* length)
{
    BYTE head[8];
    if (size < sizeof head || position > size - sizeof head || !read_at(in, position, head, sizeof head))
        return 0;
    *length = (uint32_t)head[2] << 8 | head[3];
    return head[0] == 0xFF && head[1] == 0xE1 && *length >= 2 + 4 && memcmp(head + 4, "Exif", 4) == 0;
}

// The first Exif APP1 before the first scan, wherever it stands (a file
// stored as RGB or CMYK has the encoder's APP14 first): its offset (at
// FF E1) and length field; and where the segment belongs, right after SOI
// and a leading APP0. A segment cut short by the file's end is the last
// the walk meets and is reported too: who needs it whole checks its length.
// 0 when there is none or the chain of segments breaks before it.
static int find_exif_app1(FILE* in, uint32_t size, uint32_t* start, uint32_t* length, uint32_t* home)
{
    uint32_t position = 2;
    *home = 2;
    for (;;) {
        int marker = 0;
        uint32_t field = 0;
        uint32_t step = segment_step(in, size, position, &marker, &field);
        if ((!step || marker == 0xE1) && exif_app1_at(in, size, position, length)) {
            *start = position;
            return 1;
        }
        if (!step || marker == 0xDA)
            return 0;
        if (marker == 0xE0 && position == 2)
            *home = position + step;
        position += step;
    }
}

int find_exif_segment(FILE* fp, uint32_t* start, uint32_t* length)
{
    uint32_t home = 2;
    return find_exif_app1(fp, file_length(fp), start, length, &home);
}

// The same, refusing a segment that runs past the end of the file.
static int locate_exif_segment(FILE* fp, uint32_t size, uint32_t* start, uint32_t* length)
{
    uint32_t home = 2;
    return find_exif_app1(fp, size, start, length, &home) && *length >= 2 && *length <= size - 2 - *start;
}

// Calls visit for each entry of the first directory of the TIFF block, in
// the file's order, until it returns 0; entries that do not fit the block
// end the walk.
typedef int (*EntryVisitor)(BYTE* entry, uint16_t order, void* context);

static void walk_first_directory(BYTE* tiff, uint32_t tiff_length, EntryVisitor visit, void* context)
{
    if (tiff_length < TIFF_HEADER_BYTES)
        return;
    uint16_t order = (uint16_t)(tiff[0] | tiff[1] << 8);
    uint32_t directory = read_u32_ordered(tiff + 4, order);
    if (directory > tiff_length - 2)
        return;
    uint32_t count = read_u16_ordered(tiff + directory, order);
    uint32_t room = (tiff_length - directory - 2) / ENTRY_BYTES;
    if (count > room)
        count = room;
    for (uint32_t i = 0; i < count; ++i) {
        BYTE* entry = tiff + directory + 2 + i * ENTRY_BYTES;
        if (!visit(entry, order, context))
            return;
    }
}

// An Orientation entry walked: the TIFF block it lies in, and the value
// read (0 when none could be) or the value to write.
struct OrientationVisit {
    BYTE* tiff;
    uint32_t tiff_length;
    int value;
};

// Where an Orientation entry keeps its first value, in the entry's own
// type: 2 or 4 bytes (SHORT or LONG) of a count of at least 1, in the value
// field or, when the values do not fit there, at the offset the field holds
// inside the block. 0, *value untouched, for an entry the program cannot
// read: another type, no values, or values outside the block.
static int orientation_place(const OrientationVisit* v, BYTE* entry, uint16_t order, BYTE** value)
{
    uint32_t type = read_u16_ordered(entry + 2, order), count = read_u32_ordered(entry + 4, order);
    uint32_t size = type == 3 ? 2 : type == 4 ? 4 : 0;
    if (!size || count == 0)
        return 0;
    if ((uint64_t)count * size <= 4) {
        *value = entry + 8;
    } else {
        uint32_t offset = read_u32_ordered(entry + 8, order);
        if (offset > v->tiff_length || size > v->tiff_length - offset)
            return 0;
        *value = v->tiff + offset;
    }
    return (int)size;
}

static int find_orientation(BYTE* entry, uint16_t order, void* context)
{
    if (read_u16_ordered(entry, order) != TAG_ORIENTATION)
        return 1;
    OrientationVisit* v = (OrientationVisit*)context;
    BYTE* value = NULL;
    int size = orientation_place(v, entry, order, &value);
    uint32_t read = size == 2 ? read_u16_ordered(value, order) : size == 4 ? read_u32_ordered(value, order) : 0;
    v->value = read >= 1 && read <= 8 ? (int)read : 0;
    return 0;
}

// Writes the value in the entry's own type and place; an entry the
// program cannot read keeps its bytes.
static int set_orientation(BYTE* entry, uint16_t order, void* context)
{
    if (read_u16_ordered(entry, order) != TAG_ORIENTATION)
        return 1;
    OrientationVisit* v = (OrientationVisit*)context;
    BYTE* value = NULL;
    int size = orientation_place(v, entry, order, &value);
    uint32_t n = (uint32_t)v->value;
    const bool ii = order == BYTE_ORDER_II;
    if (size == 2) {
        value[0] = (BYTE)(ii ? n : n >> 8);
        value[1] = (BYTE)(ii ? n >> 8 : n);
    } else if (size == 4) {
        for (int i = 0; i < 4; ++i)
            value[i] = (BYTE)(n >> (ii ? 8 * i : 24 - 8 * i));
    }
    return 1;
}

static void walk_orientation(BYTE* tiff, uint32_t tiff_length, EntryVisitor visit, OrientationVisit* v)
{
    v->tiff = tiff;
    v->tiff_length = tiff_length;
    walk_first_directory(tiff, tiff_length, visit, v);
}

// The first directory's Orientation of the Exif APP1 at start: 1 to 8 as
// stored, 0 when the entry cannot be read, -1 when there is none.
static int read_orientation_at(FILE* fp, uint32_t start, uint32_t length)
{
    // The identifier ends the payload's first 6 bytes; the TIFF block follows.
    static BYTE segment[65536];
    uint32_t payload = length - 2;
    OrientationVisit v = {NULL, 0, -1};
    if (payload > EXIF_ID_BYTES && read_at(fp, start + 4, segment, payload))
        walk_orientation(segment + EXIF_ID_BYTES, payload - EXIF_ID_BYTES, find_orientation, &v);
    return v.value;
}

static void show_not_exif(void)
{
    seam_message_box(NULL, "Not Exif", " ", MB_OK);
}

int read_exif_orientation(FILE* fp)
{
    g_exifOrientation = 1;
    uint32_t size = file_length(fp), start = 0, length = 0;
    if (!locate_exif_segment(fp, size, &start, &length)) {
        g_exifOrientation = 0;
        show_not_exif();
        return 0;
    }
    g_exifOrientation = read_orientation_at(fp, start, length);
    if (g_exifOrientation <= 0)
        g_exifOrientation = 1;
    return g_exifOrientation;
}

int exif_orientation_of(const char* path, int* unreadable)
{
    FILE* fp = path ? fopen(path, "rb") : NULL;
    int orientation = -1;
    uint32_t size = fp ? file_length(fp) : 0, start = 0, length = 0;
    if (fp && locate_exif_segment(fp, size, &start, &length))
        orientation = read_orientation_at(fp, start, length);
    if (fp)
        fclose(fp);
    if (unreadable)
        *unreadable = orientation == 0;
    return orientation > 0 ? orientation : 0;
}

// Orientations as the 2 x 2 matrices (a, b; c, d) that turn the stored
// picture into the one shown, in coordinates with y pointing down.
static const signed char ORIENTATION_MATRIX[8][4] = {
    {1, 0, 0, 1},  {-1, 0, 0, 1},  {-1, 0, 0, -1}, {1, 0, 0, -1},
    {0, 1, 1, 0},  {0, -1, 1, 0},  {0, -1, -1, 0}, {0, 1, -1, 0},
};

int compose_exif_orientation(int orientation, int transform)
{
    // Transform numbers to the orientation number of the same transform.
    static const int as_orientation[8] = {1, 2, 4, 5, 7, 6, 3, 8};
    if (orientation < 1 || orientation > 8 || transform < 1 || transform > 8)
        return 0;
    // The stored pixels were turned by T; the picture shown must turn by T
    // too: the new orientation is T x O x T^-1 (T^-1 is T's transpose).
    const signed char* o = ORIENTATION_MATRIX[orientation - 1];
    const signed char* t = ORIENTATION_MATRIX[as_orientation[transform - 1] - 1];
    int to[4] = {t[0] * o[0] + t[1] * o[2], t[0] * o[1] + t[1] * o[3],
                 t[2] * o[0] + t[3] * o[2], t[2] * o[1] + t[3] * o[3]};
    int result[4] = {to[0] * t[0] + to[1] * t[1], to[0] * t[2] + to[1] * t[3],
                     to[2] * t[0] + to[3] * t[1], to[2] * t[2] + to[3] * t[3]};
    for (int i = 0; i < 8; ++i) {
        const signed char* m = ORIENTATION_MATRIX[i];
        if (result[0] == m[0] && result[1] == m[1] && result[2] == m[2] && result[3] == m[3])
            return i + 1;
    }
    return 0;
}

// Copies the file to out with the Orientation entries of every Exif APP1
// before the first scan set; 0 when its structure is broken.
static int copy_with_orientation(FILE* in, uint32_t size, FILE* out, int orientation)
{
    // The whole segment: marker, 16-bit length field and up to 65,533 bytes.
    static BYTE segment[2 + 65535];
    uint32_t position = 2;
    if (!copy_range(in, 0, 2, out))
        return 0;
    for (;;) {
        int marker = 0;
        uint32_t length = 0;
        uint32_t step = segment_step(in, size, position, &marker, &length);
        if (!step)
            return 0;
        if (marker == 0xFF) {
            if (!copy_range(in, position, 1, out))
                return 0;
            ++position;
            continue;
        }
        if (marker == 0xE1 && length >= 2 + EXIF_ID_BYTES) {
            if (!read_at(in, position, segment, length + 2))
                return 0;
            OrientationVisit v = {NULL, 0, orientation};
            if (memcmp(segment + 4, EXIF_ID, EXIF_ID_BYTES) == 0)
                walk_orientation(segment + 4 + EXIF_ID_BYTES, length - 2 - EXIF_ID_BYTES, set_orientation, &v);
            if (fwrite(segment, 1, length + 2, out) != length + 2)
                return 0;
        } else if (!copy_range(in, position, length + 2, out)) {
            return 0;
        }
        position += step;
        if (marker == 0xDA)
            return copy_range(in, position, size - position, out);
    }
}

// Replaces path with what write produces from it; "Cannot Open File" when
// the new file cannot be put in place, box_text when the source is refused.
// 1 when replaced.
typedef int (*CopyFn)(FILE* in, uint32_t size, FILE* out, int value);

static int rewrite_file(const char* path, CopyFn copy, int value, const char* box_text,
                        const char* box_caption)
{
    FILE* in = fopen(path, "rb");
    if (!in)
        return 0;
    // The markers change, the coded picture is copied as it is.
    PictureKeepingRewrite rewrite = begin_picture_keeping_rewrite(path);
    uint32_t size = file_length(in);
    BYTE soi[2];
    SafeWrite sw;
    FILE* out = safe_write_open(&sw, path);
    if (!out) {
        fclose(in);
        seam_message_box(NULL, "Cannot Open File", " ", MB_ICONSTOP);
        return 0;
    }
    int ok = size >= 4 && read_at(in, 0, soi, 2) && soi[0] == 0xFF && soi[1] == 0xD8 &&
             copy(in, size, out, value);
    fclose(in);
    if (!ok) {
        safe_write_abort(&sw);
        seam_message_box(NULL, box_text, box_caption, MB_ICONSTOP);
        return 0;
    }
    const int written = safe_write_commit(&sw);
    end_picture_keeping_rewrite(rewrite, written);
    if (!written)
        seam_message_box(NULL, "Cannot Open File", " ", MB_ICONSTOP);
    return written;
}

int write_exif_orientation(const char* path, int orientation)
{
    if (orientation < 1 || orientation > 8)
        return 0;
    // The file is left as it was when its markers cannot be walked.
    return rewrite_file(path, copy_with_orientation, orientation, "Cannot Open File for Writing.", path);
}

static int copy_without_exif(FILE* in, uint32_t size, FILE* out, int)
{
    uint32_t start = 0, length = 0;
    if (!locate_exif_segment(in, size, &start, &length))
        return 0;
    uint32_t after = start + 2 + length;
    return copy_range(in, 0, start, out) && copy_range(in, after, size - after, out);
}

void strip_exif_segment(const char* path)
{
    rewrite_file(path, copy_without_exif, 0, "Cannot Find EXIF Marker", "Error");
}

// ---- The segment made to agree with a turned picture

// Position in the TIFF block of the value fields of the thumbnail
// directory's JPEG offset and length entries and of the first directory's
// link to it (0 where absent or outside the block).
struct ThumbnailFields {
    uint32_t link;          // the first directory's next-directory offset
    uint32_t offset_entry;  // entry JPEGInterchangeFormat
    uint32_t length_entry;  // entry JPEGInterchangeFormatLength
    uint32_t compression;
};

static ThumbnailFields find_thumbnail_fields(const BYTE* tiff, uint32_t length, uint16_t order)
{
    ThumbnailFields f = {0, 0, 0, 0};
    uint32_t first = read_u32_ordered(tiff + 4, order);
    if (first < TIFF_HEADER_BYTES || first > length - 2)
        return f;
    uint64_t link = (uint64_t)first + 2 + (uint64_t)read_u16_ordered(tiff + first, order) * ENTRY_BYTES;
    if (link + 4 > length)
        return f;
    f.link = (uint32_t)link;
    uint32_t directory = read_u32_ordered(tiff + link, order);
    if (directory == first || directory < TIFF_HEADER_BYTES || directory > length - 2)
        return f;
    uint32_t count = read_u16_ordered(tiff + directory, order);
    for (uint32_t i = 0; i < count && (uint64_t)directory + 2 + (i + 1) * (uint64_t)ENTRY_BYTES <= length; ++i) {
        uint32_t entry = directory + 2 + i * ENTRY_BYTES;
        uint32_t tag = read_u16_ordered(tiff + entry, order);
        uint32_t type = read_u16_ordered(tiff + entry + 2, order);
        if (tag == 259)  // Compression
            f.compression = read_u16_ordered(tiff + entry + 8, order);
        else if ((tag == 513 || tag == 514) && type == 4 && read_u32_ordered(tiff + entry + 4, order) == 1)
            (tag == 513 ? f.offset_entry : f.length_entry) = entry;
    }
    return f;
}

// The TIFF block (length *tiff_length, room for up to max bytes) with its
// JPEG thumbnail turned; a thumbnail that cannot be turned, is not a JPEG
// or would not fit is unlinked, so that none contradicts the picture.
static void turn_thumbnail(BYTE* tiff, uint32_t* tiff_length, uint32_t max, ExifThumbnailTurn turn,
                           void* context)
{
    uint16_t order = (uint16_t)(tiff[0] | tiff[1] << 8);
    ThumbnailFields f = find_thumbnail_fields(tiff, *tiff_length, order);
    if (!f.link || read_u32_ordered(tiff + f.link, order) == 0)
        return;
    uint32_t offset = f.offset_entry ? read_u32_ordered(tiff + f.offset_entry + 8, order) : 0;
    uint32_t length = f.length_entry ? read_u32_ordered(tiff + f.length_entry + 8, order) : 0;
    BYTE* turned = NULL;
    uint32_t turned_length = 0;
    int placed = 0;
    if (f.compression == 6 && offset >= TIFF_HEADER_BYTES && offset < *tiff_length && length > 0 &&
        length <= *tiff_length - offset && turn(tiff + offset, length, &turned, &turned_length, context)) {
        // In the old one's place when it ends the block, else after the block.
        uint32_t at = offset + length == *tiff_length ? offset : *tiff_length;
        if (turned_length <= max && at <= max - turned_length) {
            memcpy(tiff + at, turned, turned_length);
            put_exif_u32(at, order, tiff + f.offset_entry + 8);
            put_exif_u32(turned_length, order, tiff + f.length_entry + 8);
            *tiff_length = at + turned_length;
            placed = 1;
        }
    }
    free(turned);
    if (!placed)
        put_exif_u32(0, order, tiff + f.link);
}

int copy_exif_turned(FILE* in, FILE* out, int orientation, ExifThumbnailTurn turn, void* context)
{
    // The segment's payload: identifier and TIFF block, at most 65,533 bytes.
    enum { MAX_PAYLOAD = 65535 - 2 };
    static BYTE payload[MAX_PAYLOAD];
    uint32_t size = file_length(in), start = 0, length = 0, home = 2;
    // A segment cut short is no Exif to correct: the file is copied as it is.
    if (!find_exif_app1(in, size, &start, &length, &home) || length < 2 || length > size - 2 - start)
        return copy_range(in, 0, size, out);
    uint32_t used = length - 2;
    if (!read_at(in, start + 4, payload, used))
        return 0;
    // A segment too short for its TIFF header holds nothing to correct: it
    // is kept as it stands.
    if (used >= EXIF_ID_BYTES + TIFF_HEADER_BYTES) {
        BYTE* tiff = payload + EXIF_ID_BYTES;
        uint32_t tiff_length = used - EXIF_ID_BYTES;
        OrientationVisit v = {NULL, 0, orientation};
        if (orientation >= 1 && orientation <= 8)
            walk_orientation(tiff, tiff_length, set_orientation, &v);
        if (turn)
            turn_thumbnail(tiff, &tiff_length, MAX_PAYLOAD - EXIF_ID_BYTES, turn, context);
        used = EXIF_ID_BYTES + tiff_length;
    }
    // The segment goes where readers look for it; what stood before it
    // there follows it.
    BYTE head[4] = {0xFF, 0xE1, (BYTE)((used + 2) >> 8), (BYTE)(used + 2)};
    uint32_t after = start + 2 + length;
    return copy_range(in, 0, home, out) && fwrite(head, 1, 4, out) == 4 &&
           fwrite(payload, 1, used, out) == used && copy_range(in, home, start - home, out) &&
           copy_range(in, after, size - after, out);
}

// ---- The information text and the thumbnail

enum {
    TAG_DESCRIPTION = 270, TAG_MAKE = 271, TAG_MODEL = 272, TAG_SOFTWARE = 305,
    TAG_COMPRESSION = 259, TAG_THUMB_OFFSET = 513, TAG_THUMB_LENGTH = 514, TAG_EXIF_IFD = 34665,
    TYPE_ASCII = 2, TYPE_SHORT = 3, TYPE_LONG = 4, TYPE_RATIONAL = 5, TYPE_SRATIONAL = 10,
    TEXT_MAX = 50, THUMB_SIDE = 160,
};

// The TIFF block of an Exif segment held in memory; every offset read from
// it is checked against length before use.
struct ExifBlock {
    const BYTE* tiff;
    uint32_t length;
    uint16_t order;
};

// The entries of the directory at offset, as many as lie wholly inside the
// block; *next_offset the offset of the next directory (0 when none or when
// the entries were cut short).
static uint32_t directory_entries(const ExifBlock* b, uint32_t offset, const BYTE** entries,
                                  uint32_t* next_offset)
{
    *next_offset = 0;
    if (b->length < 2 || offset < TIFF_HEADER_BYTES || offset > b->length - 2)
        return 0;
    uint32_t count = read_u16_ordered(b->tiff + offset, b->order);
    uint64_t room = (b->length - offset - 2) / ENTRY_BYTES;
    *entries = b->tiff + offset + 2;
    if (count > room)
        return (uint32_t)room;
    uint64_t next_at = (uint64_t)offset + 2 + (uint64_t)count * ENTRY_BYTES;
    if (next_at + 4 <= b->length)
        *next_offset = read_u32_ordered(b->tiff + next_at, b->order);
    return count;
}

static uint32_t entry_tag(const ExifBlock* b, const BYTE* e) { return read_u16_ordered(e, b->order); }
static uint32_t entry_type(const ExifBlock* b, const BYTE* e) { return read_u16_ordered(e + 2, b->order); }
static uint32_t entry_count(const ExifBlock* b, const BYTE* e) { return read_u32_ordered(e + 4, b->order); }

// A SHORT value is the field's first two bytes; anything else the whole field.
static uint32_t entry_number(const ExifBlock* b, const BYTE* e)
{
    return entry_type(b, e) == TYPE_SHORT ? read_u16_ordered(e + 8, b->order)
                                          : read_u32_ordered(e + 8, b->order);
}

// Up to max bytes of the entry's data: in the value field when they fit
// there, else at the offset it holds, cut at the block's end. Null when the
// offset lies outside the block.
static const BYTE* entry_data(const ExifBlock* b, const BYTE* e, uint32_t max, uint32_t* bytes)
{
    uint32_t count = entry_count(b, e);
    *bytes = count < max ? count : max;
    if (*bytes <= 4)
        return e + 8;
    uint32_t offset = read_u32_ordered(e + 8, b->order);
    if (offset > b->length)
        return NULL;
    if (*bytes > b->length - offset)
        *bytes = b->length - offset;
    return b->tiff + offset;
}

// The information text being built in g_hExifInfo.
struct InfoText {
    size_t used;  // bytes before the terminating NUL
    int failed;   // a line could not be added for lack of memory
};

static void add_line(InfoText* text, const char* line)
{
    size_t bytes = strlen(line);
    size_t size = GlobalSize(g_hExifInfo);
    if (text->used + bytes + 1 > size) {
        HGLOBAL grown = GlobalReAlloc(g_hExifInfo, text->used + bytes + 100, GMEM_MOVEABLE);
        if (!grown) {
            text->failed = 1;
            return;
        }
        g_hExifInfo = grown;
    }
    char* chars = (char*)GlobalLock(g_hExifInfo);
    if (!chars)
        return;
    memcpy(chars + text->used, line, bytes + 1);
    text->used += bytes;
    GlobalUnlock(g_hExifInfo);
}

// A text entry read as bytes whatever its type, cut to 50 and at a NUL.
static void add_text_line(InfoText* text, const ExifBlock* b, const BYTE* e, const char* label)
{
    uint32_t bytes = 0;
    const BYTE* data = entry_data(b, e, TEXT_MAX, &bytes);
    if (!data)
        return;
    char value[TEXT_MAX + 1];
    memcpy(value, data, bytes);
    value[bytes] = 0;
    char line[TEXT_MAX + 64];
    snprintf(line, sizeof line, "%s%s\n", label, value);
    add_line(text, line);
}

// What the main-image and thumbnail directories give.
struct ExifFacts {
    uint32_t exif_directory;  // 0: none
    uint32_t thumb_directory;
    uint32_t compression;
    uint32_t thumb_offset;
    uint32_t thumb_length;
};

static void read_main_directory(const ExifBlock* b, InfoText* text, ExifFacts* facts)
{
    const BYTE* entries = NULL;
    uint32_t first = read_u32_ordered(b->tiff + 4, b->order);
    uint32_t count = directory_entries(b, first, &entries, &facts->thumb_directory);
    for (uint32_t i = 0; i < count; ++i) {
        const BYTE* e = entries + i * ENTRY_BYTES;
        uint32_t tag = entry_tag(b, e);
        char line[64];
        if (text && tag == TAG_DESCRIPTION)
            add_text_line(text, b, e, "");
        else if (text && tag == TAG_MAKE)
            add_text_line(text, b, e, "make: ");
        else if (text && tag == TAG_MODEL)
            add_text_line(text, b, e, "model: ");
        else if (text && tag == TAG_SOFTWARE)
            add_text_line(text, b, e, "software: ");
        else if (tag == TAG_ORIENTATION) {
            // Read in the entry's own type and place, as F9 reads it.
            OrientationVisit v = {(BYTE*)b->tiff, b->length, 0};
            find_orientation((BYTE*)e, b->order, &v);
            if (v.value) {
                g_exifOrientation = v.value;
                snprintf(line, sizeof line, "orientation: %d\n", g_exifOrientation);
                if (text)
                    add_line(text, line);
            }
        } else if (tag == TAG_EXIF_IFD) {
            uint32_t type = entry_type(b, e);
            facts->exif_directory = type == TYPE_SHORT || type == TYPE_LONG ? entry_number(b, e) : 0;
        }
    }
    // A directory that points back at the first one is a loop, not a
    // thumbnail or Exif directory.
    if (facts->thumb_directory == first)
        facts->thumb_directory = 0;
    if (facts->exif_directory == first)
        facts->exif_directory = 0;
}

static void read_thumb_directory(const ExifBlock* b, ExifFacts* facts)
{
    const BYTE* entries = NULL;
    uint32_t next = 0;
    uint32_t count = directory_entries(b, facts->thumb_directory, &entries, &next);
    for (uint32_t i = 0; i < count; ++i) {
        const BYTE* e = entries + i * ENTRY_BYTES;
        switch (entry_tag(b, e)) {
        case TAG_COMPRESSION:
            facts->compression = read_u16_ordered(e + 8, b->order);
            break;
        case TAG_THUMB_OFFSET:
            facts->thumb_offset = entry_number(b, e);
            break;
        case TAG_THUMB_LENGTH:
            facts->thumb_length = entry_number(b, e);
            break;
        }
    }
}

// Lines of the Exif directory: tag, accepted type (0: SHORT or LONG), label.
static const struct {
    uint16_t tag;
    uint16_t type;
    const char* label;
} EXIF_LINES[] = {
    {33434, TYPE_RATIONAL, "exposure time: "},  {33437, TYPE_RATIONAL, "f number: "},
    {37378, TYPE_RATIONAL, "aperture value: "}, {37377, TYPE_SRATIONAL, "shutter speed: "},
    {34850, TYPE_SHORT, "exposure program: "},  {34855, TYPE_SHORT, "iso speed ratings: "},
    {37385, TYPE_SHORT, "flash: "},             {40961, TYPE_SHORT, "colorspace: "},
    {40962, 0, "pixel x dimension: "},          {40963, 0, "pixel y dimension: "},
    {36867, TYPE_ASCII, "date time original: "}, {36868, TYPE_ASCII, "date time digitized: "},
};

static void add_exif_line(InfoText* text, const ExifBlock* b, const BYTE* e, uint16_t type,
                          const char* label)
{
    uint32_t stored = entry_type(b, e), count = entry_count(b, e);
    char line[96];
    if (type == TYPE_ASCII) {
        if (stored == TYPE_ASCII)
            add_text_line(text, b, e, label);
        return;
    }
    if (count != 1)
        return;
    if (type == TYPE_RATIONAL || type == TYPE_SRATIONAL) {
        uint32_t offset = read_u32_ordered(e + 8, b->order);
        if (stored != type || offset > b->length || b->length - offset < 8)
            return;
        uint32_t numerator = read_u32_ordered(b->tiff + offset, b->order);
        uint32_t denominator = read_u32_ordered(b->tiff + offset + 4, b->order);
        if (type == TYPE_RATIONAL)
            snprintf(line, sizeof line, "%s%lu / %lu\n", label, (unsigned long)numerator,
                     (unsigned long)denominator);
        else
            snprintf(line, sizeof line, "%s%ld / %ld\n", label, (long)(int32_t)numerator,
                     (long)(int32_t)denominator);
    } else if (type == TYPE_SHORT) {
        if (stored != TYPE_SHORT)
            return;
        snprintf(line, sizeof line, "%s%d\n", label, (int)read_u16_ordered(e + 8, b->order));
    } else {
        if (stored != TYPE_SHORT && stored != TYPE_LONG)
            return;
        snprintf(line, sizeof line, "%s%lu\n", label, (unsigned long)entry_number(b, e));
    }
    add_line(text, line);
}

static void read_exif_directory(const ExifBlock* b, uint32_t offset, InfoText* text)
{
    const BYTE* entries = NULL;
    uint32_t next = 0;
    uint32_t count = directory_entries(b, offset, &entries, &next);
    for (uint32_t i = 0; i < count; ++i) {
        const BYTE* e = entries + i * ENTRY_BYTES;
        uint32_t tag = entry_tag(b, e);
        for (const auto& line : EXIF_LINES)
            if (line.tag == tag)
                add_exif_line(text, b, e, line.type, line.label);
    }
}

// Writes bytes to a new temporary file and reads it with the JPEG reader
// (tiff_order 0) or as a TIFF file whose header names the directory at
// tiff_directory; the image, or null.
static HGLOBAL decode_thumbnail(const BYTE* bytes, uint32_t length, uint16_t tiff_order,
                                uint32_t tiff_directory)
{
    char* name = make_temp_file_name();
    if (!name)
        return NULL;
    FILE* out = fopen(name, "wb");
    int written = 0;
    if (out) {
        written = 1;
        if (tiff_order) {
            BYTE header[TIFF_HEADER_BYTES];
            memcpy(header, bytes, 4);  // byte order mark and 42 as read
            put_exif_u32(tiff_directory, tiff_order, header + 4);
            written = fwrite(header, 1, sizeof header, out) == sizeof header;
            bytes += TIFF_HEADER_BYTES;
            length -= TIFF_HEADER_BYTES;
        }
        written = written && fwrite(bytes, 1, length, out) == length;
        written = fclose(out) == 0 && written;
    }
    HGLOBAL hDib = NULL;
    // A read inside a read: the thumbnail's bytes bound its pictures, not
    // the camera file's.
    PixelCeiling outer = begin_pixel_ceiling(length, reader_pixels_per_byte(tiff_order ? IDENT_TIFF : IDENT_JPEG));
    if (written && !tiff_order) {
        hDib = read_jpeg_file(name, NULL);
    } else if (written) {
        int format = 0, page_index = 1, page_count = 1;
        hDib = read_tiff_file(name, NULL, &format, &page_index, &page_count, g_hInstance);
    }
    end_pixel_ceiling(outer);
    delete_temp_file(name);
    return hDib;
}

static void load_thumbnail(const ExifBlock* b, const ExifFacts* facts)
{
    if (facts->compression == 6 && facts->thumb_offset && facts->thumb_length) {
        uint32_t offset = facts->thumb_offset, length = facts->thumb_length;
        if (offset > b->length)
            return;
        if (length > b->length - offset)
            length = b->length - offset;
        if (length)
            g_hExifThumbnail = decode_thumbnail(b->tiff + offset, length, 0, 0);
    } else if (facts->compression == 1) {
        g_hExifThumbnail = decode_thumbnail(b->tiff, b->length, b->order, facts->thumb_directory);
    }
    if (g_hExifThumbnail)
        shrink_exif_thumbnail();
}

void shrink_exif_thumbnail(void)
{
    BITMAPINFOHEADER* bih = g_hExifThumbnail ? (BITMAPINFOHEADER*)GlobalLock(g_hExifThumbnail) : NULL;
    if (!bih)
        return;
    double w = bih->biWidth, h = bih->biHeight < 0 ? -(double)bih->biHeight : bih->biHeight;
    GlobalUnlock(g_hExifThumbnail);
    if (w <= THUMB_SIDE && h <= THUMB_SIDE)
        return;
    int width = THUMB_SIDE, height = THUMB_SIDE;
    if (w < h)
        width = (int)(w * THUMB_SIDE / h + 0.5);
    else
        height = (int)(h * THUMB_SIDE / w + 0.5);
    HGLOBAL smaller = resample_image(g_hExifThumbnail, width ? width : 1, height ? height : 1);
    if (smaller) {
        GlobalFree(g_hExifThumbnail);
        g_hExifThumbnail = smaller;
    }
}

// The thumbnail, the orientation and, with text, the information text of
// the file; the orientation (0 without an Orientation entry), or -1 when the
// file is not Exif (after the "Not Exif" box) and -2 when it cannot be
// opened (no box).
static int read_exif_data(const char* path, int with_text)
{
    g_hExifThumbnail = NULL;
    g_exifOrientation = 0;
    if (with_text)
        g_hExifInfo = NULL;
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return -2;
    uint32_t size = file_length(fp), start = 0, length = 0;
    if (!find_exif_segment(fp, &start, &length) || length < 2 + EXIF_ID_BYTES + TIFF_HEADER_BYTES) {
        fclose(fp);
        show_not_exif();
        return -1;
    }
    // A segment cut short by the end of the file is read as far as it goes.
    static BYTE segment[65536];
    uint32_t payload = length - 2;
    if (payload > size - start - 4)
        payload = size - start - 4;
    int have = payload >= EXIF_ID_BYTES + TIFF_HEADER_BYTES && read_at(fp, start + 4, segment, payload);
    fclose(fp);

    InfoText text = {0, 0};
    if (with_text) {
        g_hExifInfo = GlobalAlloc(GHND, 1);
        if (!g_hExifInfo)
            return g_exifOrientation;
    }
    if (!have)
        return g_exifOrientation;
    ExifBlock b = {segment + EXIF_ID_BYTES, payload - EXIF_ID_BYTES,
                   (uint16_t)(segment[EXIF_ID_BYTES] | segment[EXIF_ID_BYTES + 1] << 8)};
    ExifFacts facts = {0, 0, 0, 0, 0};
    read_main_directory(&b, with_text ? &text : NULL, &facts);
    if (facts.thumb_directory)
        read_thumb_directory(&b, &facts);
    // The thumbnail reader may use the static segment buffer of another
    // function, never this one: it stays valid. Its read is one inside the
    // file's, which no widening of its own may pass.
    PixelCeiling outer = begin_pixel_ceiling(size, reader_pixels_per_byte(IDENT_JPEG));
    load_thumbnail(&b, &facts);
    end_pixel_ceiling(outer);
    if (with_text && facts.exif_directory)
        read_exif_directory(&b, facts.exif_directory, &text);
    return g_exifOrientation;
}

int load_exif_thumbnail(const char* path)
{
    int orientation = read_exif_data(path, 0);
    if (orientation == -2)
        seam_message_box(NULL, "Cannot open EXIF-JPEG file.", "Error", MB_ICONSTOP);
    return orientation < 0 ? 0 : orientation;
}

int read_exif_info(const char* path)
{
    if (read_exif_data(path, 1) < 0)
        return 0;
    HWND owner = is_window_open(g_hwndBatch) ? g_hwndBatch
                 : is_window_open(g_hwndView) ? g_hwndView
                                              : g_hwndMain;
    // The dialog frees the text and the thumbnail when it closes; when it
    // cannot be made, they are freed here.
    if (dialog_box_holding(g_hInstance, "EXIF", owner, exif_dlg_proc, (LPARAM)path) == -1)
        release_exif_data();
    return g_exifOrientation;
}

void release_exif_data(void)
{
    if (g_hExifInfo)
        GlobalFree(g_hExifInfo);
    if (g_hExifThumbnail)
        GlobalFree(g_hExifThumbnail);
    g_hExifInfo = NULL;
    g_hExifThumbnail = NULL;
}
