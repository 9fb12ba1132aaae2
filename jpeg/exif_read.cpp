// The Exif orientation: reading it, composing it with a lossless transform,
// rewriting it in place, and removing the Exif segment. The segment is read
// whole into memory (an APP1 holds at most 64 KB) and every offset inside
// it is checked against its length, so a broken directory cannot send a
// read elsewhere. Rewrites go through a complete copy next to the file
// (safe_write.h).
#include "jpeg/exif_read.h"

#include <stdint.h>
#include <string.h>

#include "image/byte_order.h"
#include "image/safe_write.h"
#include "image/seams.h"

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

// Where the Exif APP1 is: right after SOI, or after one APP0 there. Its
// offset (at FF E1) and length field; 0 when there is none or it runs past
// the end of the file.
static int locate_exif_segment(FILE* fp, uint32_t size, uint32_t* start, uint32_t* length)
{
    BYTE head[10];
    uint32_t position = 2;
    if (!read_at(fp, position, head, sizeof head))
        return 0;
    if (head[0] == 0xFF && head[1] == 0xE0) {
        position += 2 + ((uint32_t)head[2] << 8 | head[3]);
        if (!read_at(fp, position, head, sizeof head))
            return 0;
    }
    if (head[0] != 0xFF || head[1] != 0xE1 || memcmp(head + 4, "Exif", 4) != 0)
        return 0;
    *start = position;
    *length = (uint32_t)head[2] << 8 | head[3];
    return *length >= 2 && *length <= size - 2 - position;
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

static int find_orientation(BYTE* entry, uint16_t order, void* context)
{
    if (read_u16_ordered(entry, order) != TAG_ORIENTATION)
        return 1;
    if (read_u32_ordered(entry + 4, order) == 1)
        *(int*)context = read_u16_ordered(entry + 8, order);
    return 0;
}

static int set_orientation(BYTE* entry, uint16_t order, void* context)
{
    if (read_u16_ordered(entry, order) == TAG_ORIENTATION) {
        BYTE orientation = (BYTE) * (int*)context;
        if (order == BYTE_ORDER_II) {
            entry[8] = orientation;
            entry[9] = 0;
        } else {
            entry[8] = 0;
            entry[9] = orientation;
        }
    }
    return 1;
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
    // The identifier ends the payload's first 6 bytes; the TIFF block follows.
    static BYTE segment[65536];
    uint32_t payload = length - 2;
    if (payload > EXIF_ID_BYTES && read_at(fp, start + 4, segment, payload))
        walk_first_directory(segment + EXIF_ID_BYTES, payload - EXIF_ID_BYTES, find_orientation,
                             &g_exifOrientation);
    return g_exifOrientation;
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
    static BYTE segment[65536];
    uint32_t position = 2;
    if (!copy_range(in, 0, 2, out))
        return 0;
    for (;;) {
        BYTE head[4];
        if (size - position < 4 || !read_at(in, position, head, 4) || head[0] != 0xFF)
            return 0;
        if (head[1] == 0xFF) {  // fill byte
            if (!copy_range(in, position, 1, out))
                return 0;
            ++position;
            continue;
        }
        // Markers without a length do not belong before the first scan.
        if (head[1] == 0x01 || (head[1] >= 0xD0 && head[1] <= 0xD9))
            return 0;
        uint32_t length = (uint32_t)head[2] << 8 | head[3];
        if (length < 2 || length > size - position - 2)
            return 0;
        if (head[1] == 0xE1 && length >= 2 + EXIF_ID_BYTES) {
            if (!read_at(in, position, segment, length + 2))
                return 0;
            if (memcmp(segment + 4, EXIF_ID, EXIF_ID_BYTES) == 0)
                walk_first_directory(segment + 4 + EXIF_ID_BYTES, length - 2 - EXIF_ID_BYTES,
                                     set_orientation, &orientation);
            if (fwrite(segment, 1, length + 2, out) != length + 2)
                return 0;
        } else if (!copy_range(in, position, length + 2, out)) {
            return 0;
        }
        position += length + 2;
        if (head[1] == 0xDA)
            return copy_range(in, position, size - position, out);
    }
}

// Replaces path with what write produces from it; "Cannot Open File" when
// the new file cannot be put in place, box_text when the source is refused.
typedef int (*CopyFn)(FILE* in, uint32_t size, FILE* out, int value);

static void rewrite_file(const char* path, CopyFn copy, int value, const char* box_text,
                         const char* box_caption)
{
    FILE* in = fopen(path, "rb");
    if (!in)
        return;
    uint32_t size = file_length(in);
    BYTE soi[2];
    SafeWrite sw;
    FILE* out = safe_write_open(&sw, path);
    if (!out) {
        fclose(in);
        seam_message_box(NULL, "Cannot Open File", " ", MB_ICONSTOP);
        return;
    }
    int ok = size >= 4 && read_at(in, 0, soi, 2) && soi[0] == 0xFF && soi[1] == 0xD8 &&
             copy(in, size, out, value);
    fclose(in);
    if (!ok) {
        safe_write_abort(&sw);
        if (box_text)
            seam_message_box(NULL, box_text, box_caption, MB_ICONSTOP);
        return;
    }
    if (!safe_write_commit(&sw))
        seam_message_box(NULL, "Cannot Open File", " ", MB_ICONSTOP);
}

void write_exif_orientation(const char* path, int orientation)
{
    if (orientation < 1 || orientation > 8)
        return;
    rewrite_file(path, copy_with_orientation, orientation, NULL, NULL);
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
