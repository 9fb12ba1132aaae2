// Windows and enhanced metafiles (see metafile.h). New files and rewritten
// ones go through safe_write: the target is replaced only once the whole
// new content is on disk, so a failed write leaves the old file as it was.
#include "image/metafile.h"

#include "image/byte_order.h"
#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/emf_check.h"
#include "image/merge_source.h"
#include "image/metafile_play.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/play_budget.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "image/section_dc.h"
#include "resources/resource.h"

#include <math.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static_assert(sizeof(WmfPlaceableHeader) == WMF_PLACEABLE_SIZE, "placeable header is 22 bytes");

WmfPlaceableHeader g_wmfPlaceableHeader;
int g_wmfHasPlaceable;
int g_wmfFirstPlay;
int32_t g_wmfPlayedWords;

// Most metafile bits a file may make us hold, the most the renderer plays;
// the file's own length is the other bound.
#define MAX_WMF_BYTES render_metafile_limit()

// Header words of the fixed 18-byte metafile header.
enum { META_TYPE_MEMORY = 1, META_TYPE_DISK = 2, META_HEADER_WORDS = 9, META_EOF_BYTES = 6 };

// Enhanced-metafile header: the part every header has, the offsets of the
// fields this file touches, and the header sizes of later systems (pixel
// format fields at 88, szlMicrometers at 100).
enum {
    EMF_BASE_HEADER = 88,
    EMF_PIXEL_FORMAT_HEADER = 100,
    EMF_FULL_HEADER = 108,
    EMF_OFF_SIZE = 4,
    EMF_OFF_SIGNATURE = 40,
    EMF_OFF_BYTES = 48,
    EMF_OFF_DESCRIPTION_LENGTH = 60,
    EMF_OFF_DESCRIPTION = 64,
    EMF_OFF_PIXEL_FORMAT_SIZE = 88,
    EMF_OFF_PIXEL_FORMAT = 92,
};
// Largest old header (with its description) a comment rewrite reads.
#define MAX_EMF_HEADER_BYTES 0x1000000u

static const char EMF_APP_NAME[] = "Corvane Graphics";

static uint16_t get_u16(const BYTE* p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t get_u32(const BYTE* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}


static void show_read_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
}

uint16_t wmf_header_checksum(const WmfPlaceableHeader* header)
{
    const BYTE* bytes = (const BYTE*)header;
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= get_u16(bytes + 2 * i);
    return sum;
}

// A box given corner by corner the wrong way round (right < left, bottom <
// top) is the same box: it is put right once, as it is read, so that the
// preview, the image window, the conversion's frame, the copy and the print
// all see the one box. The checksum of a box put right is made again.
static void normalize_placeable_box(WmfPlaceableHeader* ph)
{
    if (ph->right >= ph->left && ph->bottom >= ph->top)
        return;
    SHORT left = ph->left, top = ph->top, right = ph->right, bottom = ph->bottom;
    ph->left = left < right ? left : right;
    ph->right = left < right ? right : left;
    ph->top = top < bottom ? top : bottom;
    ph->bottom = top < bottom ? bottom : top;
    ph->checksum = wmf_header_checksum(ph);
}

// A font record's bytes with its face name whole: the header's six, then
// the parameters the player reads.
enum { META_RECORD_HEAD_BYTES = 6, WMF_FONT_RECORD_BYTES = META_RECORD_HEAD_BYTES + WMF_FONT_PARAM_BYTES };

static bool is_short_font_record(uint16_t function, uint32_t bytes)
{
    return function == META_CREATEFONTINDIRECT && bytes < WMF_FONT_RECORD_BYTES;
}

// What a create left out is replaced by: a null brush, which the player
// always makes, in the slot the file's object would have taken. No record
// kept selects it or draws with it. One written where a shorter record
// stood is its head alone until the records are grown (its brush record
// is shorter than any the rules keep).
enum { STAND_IN_BYTES = META_RECORD_HEAD_BYTES + 8 };

static uint32_t put_stand_in(BYTE* at, uint32_t room)
{
    uint32_t bytes = room < STAND_IN_BYTES ? (uint32_t)META_RECORD_HEAD_BYTES : (uint32_t)STAND_IN_BYTES;
    memset(at, 0, bytes);
    put_le32(at, bytes / 2);
    put_le16(at + 4, META_CREATEBRUSHINDIRECT);
    if (bytes == STAND_IN_BYTES)
        put_le16(at + META_RECORD_HEAD_BYTES, BS_NULL);
    return bytes;
}

// The bytes a record kept is handed over in: a font record whose face name
// ends early, and a stand-in's head, grown whole; any other as it stands.
static uint32_t whole_record_bytes(uint16_t function, uint32_t bytes)
{
    if (is_short_font_record(function, bytes))
        return WMF_FONT_RECORD_BYTES;
    if (function == META_CREATEBRUSHINDIRECT && bytes < STAND_IN_BYTES)
        return STAND_IN_BYTES;
    return bytes;
}

// Calls visit(offset, words, function) for each record of the size bytes at
// bits that chains in whole words from the header, up to and with the end
// record; true when the end record was reached. A visit that returns false
// stops the walk there (false).
template <typename Visit>
static bool walk_wmf_records(const BYTE* bits, uint32_t size, Visit visit)
{
    for (uint32_t offset = WMF_HEADER_SIZE; size - offset >= META_EOF_BYTES;) {
        uint32_t words = get_u32(bits + offset);
        uint16_t function = get_u16(bits + offset + 4);
        if (words < 3 || words > (size - offset) / 2 || !visit(offset, words, function))
            return false;
        if (function == 0)
            return true;
        offset += words * 2;
    }
    return false;
}

uint64_t wmf_seal_room(const BYTE* bits, uint32_t size)
{
    uint64_t room = size;
    if (size >= WMF_HEADER_SIZE)
        walk_wmf_records(bits, size, [&](uint32_t, uint32_t words, uint16_t function) {
            if (is_short_font_record(function, words * 2))
                room += WMF_FONT_RECORD_BYTES - words * 2;
            else if (wmf_function_creates(function) && words * 2 < STAND_IN_BYTES)
                room += STAND_IN_BYTES - words * 2;
            return true;
        });
    return room;
}

// Grows each record among the kept bytes at bits (records from the header
// to kept) that is handed over whole in more bytes (whole_record_bytes):
// a font record's name field filled out with zeros, a stand-in's head
// made the whole stand-in, the records after it moved down. grown: the
// bytes that adds, with room at bits for kept + grown. The records are
// first moved up by grown, then copied back down one by one: what is
// written never passes what is still to be read.
static void grow_records(BYTE* bits, uint32_t kept, uint32_t grown)
{
    const uint32_t body = kept - WMF_HEADER_SIZE;
    memmove(bits + WMF_HEADER_SIZE + grown, bits + WMF_HEADER_SIZE, body);
    uint32_t read = WMF_HEADER_SIZE + grown, write = WMF_HEADER_SIZE;
    while (read < kept + grown) {
        uint32_t bytes = get_u32(bits + read) * 2;
        uint16_t function = get_u16(bits + read + 4);
        memmove(bits + write, bits + read, bytes);
        read += bytes;
        uint32_t whole = whole_record_bytes(function, bytes);
        if (function == META_CREATEBRUSHINDIRECT && whole > bytes) {
            put_stand_in(bits + write, whole);
        } else if (whole > bytes) {
            memset(bits + write + bytes, 0, whole - bytes);
            put_le32(bits + write, whole / 2);
        }
        write += whole;
    }
}

uint32_t seal_wmf_records(BYTE* bits, uint32_t size, uint64_t room)
{
    if (size < WMF_HEADER_SIZE || room < wmf_seal_room(bits, size))
        return 0;
    uint16_t type = get_u16(bits);
    if ((type != META_TYPE_MEMORY && type != META_TYPE_DISK) ||
        get_u16(bits + 2) != META_HEADER_WORDS)
        return 0;
    WmfObjectState* table = begin_wmf_objects(get_u16(bits + 10));
    if (!table)
        return 0;
    uint32_t kept = WMF_HEADER_SIZE;    // end of the records kept
    uint32_t largest = 3;
    uint32_t grown = 0;                 // bytes the records kept gain when grown whole
    // Records only move down over those left out while they are walked:
    // none is read after the bytes before it were rewritten.
    bool ended = walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t words, uint16_t function) {
        uint32_t bytes = words * 2;
        WmfRecordFate fate =
            function == 0 ? WMF_KEEP : wmf_record_fate(function, bits + offset + 6, bytes - 6, table);
        // A shape its rule leaves out, or one drawn with an object left
        // out: what would be shown is not the picture, which is cut as one
        // whose records run off the data.
        if (fate == WMF_CUT)
            return false;
        if (fate == WMF_STAND_IN) {
            bytes = put_stand_in(bits + kept, bytes);
            function = META_CREATEBRUSHINDIRECT;
        } else if (fate == WMF_KEEP) {
            memmove(bits + kept, bits + offset, bytes);
        } else {
            return true;
        }
        kept += bytes;
        uint32_t whole = whole_record_bytes(function, bytes);
        grown += whole - bytes;
        if (whole / 2 > largest)
            largest = whole / 2;
        return true;
    });
    end_wmf_objects(table);
    // Records that leave the data before their end record: the picture is
    // cut, and is not passed off as whole.
    if (!ended)
        return 0;
    // The system's player and its conversion read a font record's whole
    // face name wherever the name ends: a record that ends sooner is handed
    // over whole, on every road that takes these bytes; so is a stand-in
    // written where a shorter record stood.
    if (grown)
        grow_records(bits, kept, grown);
    kept += grown;
    // A memory metafile: the bits are not tied to a file name.
    put_le16(bits, META_TYPE_MEMORY);
    put_le32(bits + 6, kept / 2);
    put_le32(bits + 12, largest);
    return kept;
}

HMETAFILE read_wmf_file(HWND owner, const char* path, HFILE file, char* info,
                        uint32_t placeable, RECT* bounds, DWORD* units_per_inch,
                        WmfPlaceableHeader* header)
{
    (void)path;  // the bits are read from the open handle
    g_wmfPlayedWords = 0;
    HMETAFILE result = NULL;
    HGLOBAL hBits = NULL;
    BYTE* bits = NULL;
    char size_text[96] = "";
    BYTE mh[WMF_HEADER_SIZE];
    uint32_t start = placeable ? WMF_PLACEABLE_SIZE : 0;

    LONG length = _llseek(file, 0, FILE_END);
    if (length == HFILE_ERROR || _llseek(file, 0, FILE_BEGIN) != 0 ||
        (uint32_t)length < start + WMF_HEADER_SIZE) {
        show_read_error(owner, "Unable to read metafile bits");
        goto done;
    }

    if (placeable) {
        WmfPlaceableHeader ph;
        if (_lread(file, &ph, WMF_PLACEABLE_SIZE) != WMF_PLACEABLE_SIZE) {
            show_read_error(owner, "Unable to read metafile bits");
            goto done;
        }
        normalize_placeable_box(&ph);
        if (header)
            *header = ph;
        int32_t width = (int32_t)ph.right - ph.left + 1;
        int32_t height = (int32_t)ph.bottom - ph.top + 1;
        snprintf(size_text, sizeof size_text, "\nwidth: %u \nheight: %u \nunits per inch: %u",
                 (unsigned)width, (unsigned)height, (unsigned)ph.units_per_inch);
        if (bounds)
            SetRect(bounds, ph.left, ph.top, ph.right, ph.bottom);
        fit_image_rect(width, height, 1);
        if (units_per_inch)
            *units_per_inch = ph.units_per_inch;
    }

    if (_lread(file, mh, WMF_HEADER_SIZE) != WMF_HEADER_SIZE) {
        show_read_error(owner, "Unable to read metafile bits");
        goto done;
    }
    {
        uint32_t size_words = get_u32(mh + 6);
        if (info)
            snprintf(info, INFO_TEXT_SIZE,
                     "image type: %s \nversion: 0x%x \nfile size: %lu \nnumber of objects: %u "
                     "\nmax record size: %lu%s",
                     placeable ? "placeable WMF" : "WMF", (unsigned)get_u16(mh + 4),
                     (unsigned long)size_words, (unsigned)get_u16(mh + 10),
                     (unsigned long)get_u32(mh + 12), size_text);
        g_wmfSizeWords = size_words;
        if (!placeable)
            fit_image_rect(1, 1, 1);

        // The records run to their end record, wherever the header's size
        // says the metafile ends: a short size would hide records, a long one
        // is not borne out. Only past the limit does a size that fits bound
        // the read, so that bytes after a metafile are not taken for it.
        uint64_t remaining = (uint32_t)length - start;
        uint64_t declared = (uint64_t)size_words * 2;
        uint64_t want = remaining;
        if (want > MAX_WMF_BYTES && declared >= WMF_HEADER_SIZE && declared <= MAX_WMF_BYTES)
            want = declared;
        if (want > MAX_WMF_BYTES) {
            show_read_error(owner, "MemoryAllocation Error");
            goto done;
        }
        hBits = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)want);
        bits = hBits ? (BYTE*)GlobalLock(hBits) : NULL;
        if (!bits) {
            show_read_error(owner, "MemoryAllocation Error");
            goto done;
        }
        if (_llseek(file, (LONG)start, FILE_BEGIN) != (LONG)start) {
            show_read_error(owner, "Unable to read metafile bits");
            goto done;
        }
        UINT got = _lread(file, bits, (UINT)want);
        // The short font records the seal makes whole need room past the
        // bytes read: the block grows once, before the metafile is made.
        uint64_t room = got == (UINT)HFILE_ERROR ? 0 : wmf_seal_room(bits, got);
        if (room > MAX_WMF_BYTES) {
            show_read_error(owner, "MemoryAllocation Error");
            goto done;
        }
        if (room > want) {
            GlobalUnlock(hBits);
            HGLOBAL grown = GlobalReAlloc(hBits, (SIZE_T)room, GMEM_MOVEABLE);
            hBits = grown ? grown : hBits;
            bits = grown ? (BYTE*)GlobalLock(hBits) : NULL;
            if (!bits) {
                show_read_error(owner, "MemoryAllocation Error");
                goto done;
            }
        }
        uint32_t used = room ? seal_wmf_records(bits, got, room) : 0;
        if (used)
            result = SetMetaFileBitsEx(used, bits);
        if (!result) {
            show_read_error(owner, "Unable to read metafile bits");
            goto done;
        }
        g_wmfSizeWords = used / 2;
    }

done:
    if (bits)
        GlobalUnlock(hBits);
    if (hBits)
        GlobalFree(hBits);
    _lclose(file);
    return result;
}

// value * num / den in 64 bits, clamped to [lo, hi].
static int32_t scale_clamped(int64_t value, int64_t num, int64_t den, int64_t lo, int64_t hi)
{
    int64_t v = den ? value * num / den : 0;
    return (int32_t)(v < lo ? lo : v > hi ? hi : v);
}

void get_emf_info(HENHMETAFILE emf, char* info, RECT* bounds, HDC hdc)
{
    ENHMETAHEADER eh;
    memset(&eh, 0, sizeof eh);
    if (!emf || GetEnhMetaFileHeader(emf, EMF_PIXEL_FORMAT_HEADER, &eh) == 0)
        return;
    int64_t hres = GetDeviceCaps(hdc, HORZRES), vres = GetDeviceCaps(hdc, VERTRES);
    int64_t hsize = (int64_t)GetDeviceCaps(hdc, HORZSIZE) * 100;
    int64_t vsize = (int64_t)GetDeviceCaps(hdc, VERTSIZE) * 100;
    RECT r;
    r.left = scale_clamped(eh.rclFrame.left, hres, hsize, INT32_MIN, INT32_MAX);
    r.top = scale_clamped(eh.rclFrame.top, vres, vsize, INT32_MIN, INT32_MAX);
    r.right = scale_clamped(eh.rclFrame.right, hres, hsize, INT32_MIN, INT32_MAX);
    r.bottom = scale_clamped(eh.rclFrame.bottom, vres, vsize, INT32_MIN, INT32_MAX);
    if (bounds)
        *bounds = r;
    if (info)
        snprintf(info, INFO_TEXT_SIZE,
                 "image type: Enhanced Metafile EMF \nversion: 0x%lx \nfile size: %lu \nnumber "
                 "of records: %lu \nnumber of handles: %u\nwidth: %u \nheight: %u \n",
                 (unsigned long)eh.nVersion, (unsigned long)eh.nBytes,
                 (unsigned long)eh.nRecords, (unsigned)eh.nHandles,
                 (unsigned)(r.right - r.left), (unsigned)(r.bottom - r.top));
}

HENHMETAFILE emf_from_sound_bits(BYTE* p, uint32_t size)
{
    // Entry 0 of the handle table is the metafile's own: a header counting
    // no handles makes playing the copy write past a table of none.
    ENHMETAHEADER* header = (ENHMETAHEADER*)p;
    if (size >= sizeof *header && header->nHandles == 0)
        header->nHandles = 1;
    return emf_bits_are_sound(p, size) ? SetEnhMetaFileBits(size, p) : NULL;
}

HENHMETAFILE copy_sound_emf(HENHMETAFILE source, int* no_memory)
{
    *no_memory = 0;
    UINT size = source ? GetEnhMetaFileBits(source, 0, NULL) : 0;
    if (size > render_metafile_limit()) {
        *no_memory = 1;
        return NULL;
    }
    // The system gives no view of a metafile's own bytes: they are checked
    // in a copy, which goes before the metafile is copied whole.
    HENHMETAFILE emf = NULL;
    bool is_sound = false;
    HGLOBAL block = size ? GlobalAlloc(GMEM_MOVEABLE, size) : NULL;
    BYTE* p = block ? (BYTE*)GlobalLock(block) : NULL;
    if (size && !p)
        *no_memory = 1;
    if (p && GetEnhMetaFileBits(source, size, p) == size) {
        // Only a crafted metafile counts no handles: it is made from the
        // copy that mends the count.
        if (size >= sizeof(ENHMETAHEADER) && ((const ENHMETAHEADER*)p)->nHandles == 0)
            emf = emf_from_sound_bits(p, size);
        else
            is_sound = emf_bits_are_sound(p, size);
    }
    if (p)
        GlobalUnlock(block);
    if (block)
        GlobalFree(block);
    // The source's bytes are those checked.
    if (is_sound) {
        emf = CopyEnhMetaFileA(source, NULL);
        *no_memory = !emf;
    }
    return emf;
}

// The byte count the header of the enhanced metafile in file gives,
// borne out by the file's real length; 0 for a file that is not one or is
// cut short. Leaves the file after the header's base.
static uint32_t emf_file_bytes(HANDLE file)
{
    LARGE_INTEGER length;
    BYTE head[EMF_BASE_HEADER];
    DWORD got = 0;
    if (!GetFileSizeEx(file, &length) || !ReadFile(file, head, sizeof head, &got, NULL) || got != sizeof head)
        return 0;
    uint32_t bytes = get_u32(head + EMF_OFF_BYTES);
    if (get_u32(head) != EMR_HEADER || get_u32(head + EMF_OFF_SIGNATURE) != ENHMETA_SIGNATURE ||
        bytes < sizeof(ENHMETAHEADER) || (uint64_t)bytes > (uint64_t)length.QuadPart)
        return 0;
    return bytes;
}

// The first size bytes of file into out.
static bool read_file_start(HANDLE file, BYTE* out, uint32_t size)
{
    if (SetFilePointer(file, 0, NULL, FILE_BEGIN) != 0)
        return false;
    for (uint32_t done = 0; done < size;) {
        DWORD got = 0;
        DWORD want = size - done < (1u << 24) ? size - done : (1u << 24);
        if (!ReadFile(file, out + done, want, &got, NULL) || got == 0)
            return false;
        done += got;
    }
    return true;
}

HENHMETAFILE read_emf_file(HWND owner, const char* path, HGLOBAL* bits)
{
    if (bits)
        *bits = NULL;
    HENHMETAFILE emf = NULL;
    const char* failure = "Unable to read metafile bits";
    // The file is read once, into the block the metafile is made from: no
    // mapping of the file or further copy of its bytes stays beside them.
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    uint32_t size = file != INVALID_HANDLE_VALUE ? emf_file_bytes(file) : 0;
    // A picture larger than the renderer plays or converts is not held.
    HGLOBAL block = size && size <= render_metafile_limit() ? GlobalAlloc(GMEM_MOVEABLE, size) : NULL;
    BYTE* p = block ? (BYTE*)GlobalLock(block) : NULL;
    if (size && !p)
        failure = "MemoryAllocation Error";
    if (p && read_file_start(file, p, size))
        emf = emf_from_sound_bits(p, size);
    if (p)
        GlobalUnlock(block);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    // A caller that keeps no bits of its own leaves the metafile's copy the
    // only one.
    if (block && (!emf || !bits))
        GlobalFree(block);
    else if (bits)
        *bits = block;
    if (!emf) {
        // A file cut short leaves no picture to show: that is said, not
        // passed over as an empty one.
        show_read_error(owner, failure);
        return NULL;
    }
    return emf;
}

// Writes the blocks to path through a temporary file in its folder.
static int write_whole_file(const char* path, const void* first, size_t first_size,
                            const void* second, size_t second_size)
{
    SafeWrite sw;
    FILE* fp = safe_write_open(&sw, path);
    if (!fp)
        return 0;
    if ((first_size && fwrite(first, 1, first_size, fp) != first_size) ||
        (second_size && fwrite(second, 1, second_size, fp) != second_size)) {
        safe_write_abort(&sw);
        return 0;
    }
    return safe_write_commit(&sw);
}

// A copy of the metafile whose header counts one handle: entry 0 of the
// player's handle table is the metafile's own, and a header counting none
// has it written past a table of none. Null when the copy cannot be made.
static HENHMETAFILE copy_with_own_handle(HENHMETAFILE emf)
{
    UINT size = GetEnhMetaFileBits(emf, 0, NULL);
    BYTE* bits = size >= sizeof(ENHMETAHEADER) ? (BYTE*)malloc(size) : NULL;
    HENHMETAFILE copy = NULL;
    if (bits && GetEnhMetaFileBits(emf, size, bits) == size) {
        ((ENHMETAHEADER*)bits)->nHandles = 1;
        copy = SetEnhMetaFileBits(size, bits);
    }
    free(bits);
    return copy;
}

int metafile_write_refusal(MetafileFault fault)
{
    return fault == METAFILE_TOO_LARGE ? METAFILE_WRITE_TOO_LARGE
           : fault == METAFILE_TOO_SLOW ? METAFILE_WRITE_TOO_SLOW
                                        : METAFILE_WRITE_CUT;
}

// Whether the size bytes of Windows-metafile bits at bits pass the rules a
// file of them is read by (seal_wmf_records): its header, records that
// chain to their end record, and none that draws breaking its rule or
// drawing with an object left out. The bits are not changed: each
// record's parameters are judged in a copy.
static bool wmf_bits_read_back(const BYTE* bits, uint32_t size)
{
    if (size < WMF_HEADER_SIZE || (get_u16(bits) != META_TYPE_MEMORY && get_u16(bits) != META_TYPE_DISK) ||
        get_u16(bits + 2) != META_HEADER_WORDS)
        return false;
    WmfObjectState* table = begin_wmf_objects(get_u16(bits + 10));
    BYTE* params = NULL;
    uint32_t params_room = 0;
    bool ended = table && walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t words, uint16_t function) {
        uint32_t bytes = words * 2 - META_RECORD_HEAD_BYTES;
        if (function == 0)
            return true;
        if (bytes > params_room) {
            free(params);
            params_room = bytes;
            params = (BYTE*)malloc(params_room);
        }
        if (!params)
            return false;
        memcpy(params, bits + offset + META_RECORD_HEAD_BYTES, bytes);
        return wmf_record_fate(function, params, bytes, table) != WMF_CUT;
    });
    free(params);
    end_wmf_objects(table);
    return ended;
}

int write_wmf_file(HENHMETAFILE emf, const char* path)
{
    ENHMETAHEADER eh;
    if (!emf || GetEnhMetaFileHeader(emf, sizeof eh, &eh) == 0)
        return 0;

    // Frame in 0.01 mm to 1/1000 inch; the box fields are 16 bits.
    WmfPlaceableHeader ph;
    memset(&ph, 0, sizeof ph);
    ph.key = WMF_PLACEABLE_KEY;
    ph.left = (SHORT)scale_clamped(eh.rclFrame.left, 1000, 2540, -32768, 32767);
    ph.top = (SHORT)scale_clamped(eh.rclFrame.top, 1000, 2540, -32768, 32767);
    ph.right = (SHORT)scale_clamped(eh.rclFrame.right, 1000, 2540, -32768, 32767);
    ph.bottom = (SHORT)scale_clamped(eh.rclFrame.bottom, 1000, 2540, -32768, 32767);
    ph.units_per_inch = 1000;
    ph.checksum = wmf_header_checksum(&ph);

    // The conversion plays every record, so it runs in the renderer. What
    // it makes is written only when the program could read it back: a
    // sound enhanced metafile may give records past the bounds of a Windows
    // one's (a region of more rectangles).
    RenderResult converted;
    RenderOutcome outcome = render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, &converted);
    int ok;
    if (outcome != RENDER_WHOLE)
        ok = metafile_write_refusal(render_fault(outcome));
    else if (!wmf_bits_read_back(converted.bytes, converted.size))
        ok = METAFILE_WRITE_UNREADABLE;
    else
        ok = write_whole_file(path, &ph, sizeof ph, converted.bytes, converted.size);
    release_render_result(&converted);
    return ok;
}

int write_emf_file(HMETAFILE wmf, const char* path)
{
    // Suggested size in 0.01 mm; a header without units per inch cannot give
    // one, so it gets the size of a plain metafile. The box is the window
    // the records are drawn in, wherever it lies, as the picture is shown.
    METAFILEPICT picture = {MM_ANISOTROPIC, 10160, 10160, NULL};
    const WmfPlaceableHeader* ph = &g_wmfPlaceableHeader;
    RECT box = {ph->left, ph->top, ph->right, ph->bottom};
    if (g_wmfHasPlaceable && ph->units_per_inch) {
        picture.xExt = scale_clamped((int64_t)ph->right - ph->left, 2540, ph->units_per_inch,
                                     INT32_MIN, INT32_MAX);
        picture.yExt = scale_clamped((int64_t)ph->bottom - ph->top, 2540, ph->units_per_inch,
                                     INT32_MIN, INT32_MAX);
    }

    if (!wmf || !GetMetaFileBitsEx(wmf, 0, NULL))
        return 0;
    // The renderer's result is written as it lies in the program's mapping:
    // no metafile is made of it beside the one shown.
    RenderResult converted;
    RenderOutcome outcome = render_wmf_to_emf_result(wmf, &picture, g_wmfHasPlaceable ? &box : NULL, &converted);
    int ok = outcome == RENDER_WHOLE ? write_whole_file(path, converted.bytes, converted.size, NULL, 0)
                                     : metafile_write_refusal(render_fault(outcome));
    release_render_result(&converted);
    return ok;
}

int copy_emf_to_file(HENHMETAFILE emf, const char* path)
{
    SafeWrite sibling;
    FILE* fp = safe_write_open(&sibling, path);
    if (!fp)
        return 0;
    fclose(fp);
    sibling.fp = NULL;
    // The system writes the file from the metafile it holds: no copy of
    // its bytes is made here.
    HENHMETAFILE copy = CopyEnhMetaFileA(emf, sibling.temp_path);
    if (!copy) {
        safe_write_abort(&sibling);
        return 0;
    }
    DeleteEnhMetaFile(copy);
    return safe_write_commit_closed(&sibling);
}

// Builds the new header of an enhanced metafile into out (a block of room
// for it): the fixed part of the old header, then the description, then a
// pixel format that lay inside the old header. Fields past the 88 bytes of
// the oldest header are kept only where they are real fields, not the start
// of an old description. Returns the new header size, or 0 when the sizes
// cannot be held in the header's 32-bit fields.
static uint32_t build_emf_header(const BYTE* old, uint32_t old_size, uint64_t file_size,
                                 const WCHAR* text, size_t text_length, BYTE* out)
{
    uint32_t old_description = get_u32(old + EMF_OFF_DESCRIPTION_LENGTH) ?
                                   get_u32(old + EMF_OFF_DESCRIPTION) : 0;
    uint32_t fixed = EMF_BASE_HEADER;
    if (old_size >= EMF_PIXEL_FORMAT_HEADER &&
        (!old_description || old_description >= EMF_PIXEL_FORMAT_HEADER))
        fixed = EMF_PIXEL_FORMAT_HEADER;
    if (old_size >= EMF_FULL_HEADER && (!old_description || old_description >= EMF_FULL_HEADER))
        fixed = EMF_FULL_HEADER;
    memcpy(out, old, fixed);

    uint64_t size = fixed;
    if (text_length) {
        uint64_t chars = (uint64_t)text_length + sizeof EMF_APP_NAME - 1 + 3;
        BYTE* p = out + fixed;
        for (const char* s = EMF_APP_NAME; *s; ++s, p += 2)
            put_le16(p, (BYTE)*s);
        put_le16(p, 0);
        p += 2;
        for (size_t i = 0; i < text_length; ++i, p += 2)
            put_le16(p, text[i]);
        put_le16(p, 0);
        put_le16(p + 2, 0);
        size += (chars * 2 + 3) / 4 * 4;
        put_le32(out + EMF_OFF_DESCRIPTION_LENGTH, (uint32_t)chars);
        put_le32(out + EMF_OFF_DESCRIPTION, fixed);
    } else {
        put_le32(out + EMF_OFF_DESCRIPTION_LENGTH, 0);
        put_le32(out + EMF_OFF_DESCRIPTION, 0);
    }

    if (fixed >= EMF_PIXEL_FORMAT_HEADER) {
        uint32_t pf_size = get_u32(old + EMF_OFF_PIXEL_FORMAT_SIZE);
        uint32_t pf_offset = get_u32(old + EMF_OFF_PIXEL_FORMAT);
        if (pf_size && pf_offset >= fixed && pf_offset <= old_size &&
            pf_size <= old_size - pf_offset) {
            memcpy(out + size, old + pf_offset, pf_size);
            put_le32(out + EMF_OFF_PIXEL_FORMAT, (uint32_t)size);
            size += ((uint64_t)pf_size + 3) / 4 * 4;
        } else if (pf_size && pf_offset >= old_size) {
            put_le32(out + EMF_OFF_PIXEL_FORMAT, (uint32_t)(pf_offset - old_size + size));
        }
    }

    uint64_t new_file_size = (uint64_t)get_u32(old + EMF_OFF_BYTES) - old_size + size;
    if (size > 0xFFFFFFFFu || file_size - old_size + size > 0xFFFFFFFFu ||
        new_file_size > 0xFFFFFFFFu)
        return 0;
    put_le32(out + EMF_OFF_SIZE, (uint32_t)size);
    put_le32(out + EMF_OFF_BYTES, (uint32_t)new_file_size);
    return (uint32_t)size;
}

// Tells the rewrite of the old description's picture title and whatever
// follows it, which the new description replaces, in the system's code page
// as the reader shows it. The application name before the title is no part
// of the comment.
static void note_old_title(const BYTE* old, uint32_t old_size, CommentJob* job)
{
    uint32_t chars = get_u32(old + EMF_OFF_DESCRIPTION_LENGTH);
    uint32_t offset = get_u32(old + EMF_OFF_DESCRIPTION);
    if (!chars || offset > old_size || chars > (old_size - offset) / 2)
        return;
    const BYTE* description = old + offset;
    uint32_t i = 0;
    while (i < chars && get_u16(description + 2 * i))
        ++i;
    if (++i >= chars)
        return;  // no title
    note_dropped_comment(job, true, NULL, 0);
    WCHAR* units = (WCHAR*)malloc((size_t)(chars - i) * sizeof(WCHAR));
    if (!units) {
        job->dropped_other = true;
        return;
    }
    for (uint32_t n = 0; n < chars - i; ++n)
        units[n] = get_u16(description + 2 * (i + n));
    // The title up to its NUL as the system converts it; what follows it
    // counts as it stands, as units no byte holds.
    uint32_t title = 0;
    while (title < chars - i && units[title])
        ++title;
    bool unshowable = false;
    HGLOBAL hShown = system_text_from_utf16(units, title, &unshowable);
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
    for (uint32_t n = title; n < chars - i; ++n) {
        if (units[n] > 0xFF) {
            job->dropped_other = true;
            break;
        }
        char c = (char)units[n];
        note_dropped_comment(job, false, &c, 1);
    }
    free(units);
}

// Builds the file with the new header from in into out; 0 for a file that
// is no enhanced metafile or whose sizes do not hold.
static int build_emf_job(FILE* in, FILE* out, void* context)
{
    CommentJob* job = (CommentJob*)context;
    uint64_t file_size = 0;
    if (_fseeki64(in, 0, SEEK_END) == 0) {
        int64_t end = _ftelli64(in);
        file_size = end > 0 ? (uint64_t)end : 0;
    }
    BYTE base[EMF_BASE_HEADER];
    if (file_size < EMF_BASE_HEADER || _fseeki64(in, 0, SEEK_SET) != 0 ||
        fread(base, 1, EMF_BASE_HEADER, in) != EMF_BASE_HEADER || get_u32(base) != EMR_HEADER ||
        get_u32(base + EMF_OFF_SIGNATURE) != ENHMETA_SIGNATURE)
        return 0;
    uint32_t old_size = get_u32(base + EMF_OFF_SIZE);
    // The room for the new header: its fixed part, the description and a
    // pixel format moved out of the old header.
    uint64_t room = EMF_FULL_HEADER + ((uint64_t)job->length + 19) * 2 + 4 + old_size;
    if (old_size < EMF_BASE_HEADER || old_size > file_size || old_size > MAX_EMF_HEADER_BYTES ||
        room > MAX_EMF_HEADER_BYTES * 4ull)
        return 0;
    int ok = 0;
    BYTE* old = (BYTE*)calloc(1, old_size);
    BYTE* header = (BYTE*)calloc(1, (size_t)room);
    if (old && header && _fseeki64(in, 0, SEEK_SET) == 0 && fread(old, 1, old_size, in) == old_size) {
        note_old_title(old, old_size, job);
        uint32_t header_size = 0;
        // The description holds UTF-16: the text as the system converts it.
        int units = job->length ? MultiByteToWideChar(CP_ACP, 0, job->text, (int)job->length, NULL, 0) : 0;
        WCHAR* wide = (WCHAR*)calloc((size_t)units + 1, sizeof(WCHAR));
        if (wide && (!units || MultiByteToWideChar(CP_ACP, 0, job->text, (int)job->length, wide, units) == units))
            header_size = build_emf_header(old, old_size, file_size, wide, (size_t)units, header);
        free(wide);
        ok = header_size && fwrite(header, 1, header_size, out) == header_size;
        char buffer[16384];
        size_t n;
        while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0)
            ok = fwrite(buffer, 1, n, out) == n;
        ok = ok && !ferror(in);
    }
    free(header);
    free(old);
    return ok;
}

void write_emf_comment(const char* path, HGLOBAL* comment, HENHMETAFILE current_emf,
                       HWND hwnd_main)
{
    (void)current_emf;  // made from bits in memory: it does not hold the file
    if (rewrite_for_comment(path, comment ? *comment : NULL, build_emf_job, NULL) == REWRITE_DONE) {
        // The registered "commdlg_LBSelChangedNotify" (g_msgSelChanged of the
        // window classes): registering again gives the same message.
        UINT sel_changed = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
        HWND list = GetDlgItem(hwnd_main, IDC_MAIN_FILE_LIST);
        PostMessageA(hwnd_main, sel_changed, IDC_MAIN_FILE_LIST,
                     SendMessageA(list, LB_GETCURSEL, 0, 0));
        return;
    }
    // The file keeps its old header and the text is dropped: the caller
    // tells a failure by the cleared handle.
    if (comment && *comment) {
        GlobalFree(*comment);
        *comment = NULL;
    }
}

// A font record asks the display for glyphs of its size in device pixels,
// and some display drivers end the process on glyphs far beyond any
// screen: one glyph 4096 pixels both wide and tall already passes the X
// server's largest request. On a display a font taller or wider than this
// is played scaled down to it; printers and metafile devices get the
// record as it is.
enum { MAX_FONT_DEVICE_PIXELS = 2048 };
enum { EMR_SMALL_TEXT_OUT = 108 };  // not named by every wingdi.h
enum { DEFAULT_FONT_UNITS = 16 };    // about what a font height of 0 comes to

// Device pixels per logical unit of hdc's mapping, across and down.
static void device_scale(HDC hdc, double* across, double* down)
{
    SIZE window = {1, 1}, viewport = {1, 1};
    GetWindowExtEx(hdc, &window);
    GetViewportExtEx(hdc, &viewport);
    *across = window.cx ? fabs((double)viewport.cx / window.cx) : 1.0;
    *down = window.cy ? fabs((double)viewport.cy / window.cy) : 1.0;
}

// Largest glyph side in device pixels that hdc is given; 0 for a metafile
// device, which only records. A printer may fill its page.
static double font_limit(HDC hdc)
{
    int technology = GetDeviceCaps(hdc, TECHNOLOGY);
    if (technology == DT_METAFILE)
        return 0;
    double page = GetDeviceCaps(hdc, HORZRES) > GetDeviceCaps(hdc, VERTRES) ? GetDeviceCaps(hdc, HORZRES)
                                                                               : GetDeviceCaps(hdc, VERTRES);
    return technology == DT_RASDISPLAY || page < MAX_FONT_DEVICE_PIXELS ? (double)MAX_FONT_DEVICE_PIXELS : page;
}

// Device pixels of a font (or pen) of the logical height and width under
// hdc's world transform (the one an enhanced metafile plays through) and
// mapping. A height of 0 is the default size in device pixels whatever
// the transform and mapping, which only its width (if it has one) follows.
static double font_device_size(HDC hdc, double height, double width)
{
    XFORM world = {1, 0, 0, 1, 0, 0};
    if (GetGraphicsMode(hdc) == GM_ADVANCED)
        GetWorldTransform(hdc, &world);
    double across, down;
    device_scale(hdc, &across, &down);
    width = fabs(width ? width : height);  // 0: the font's own, near its height
    double wide = hypot(width * world.eM11 * across, width * world.eM12 * down);
    if (!height)
        return wide > DEFAULT_FONT_UNITS ? wide : (double)DEFAULT_FONT_UNITS;
    double tall = hypot(height * world.eM21 * across, height * world.eM22 * down);
    return tall > wide ? tall : wide;
}

// value * factor, at least one unit when value is not 0: a height of 0
// would ask for the default size instead.
static LONG scaled_font_value(LONG value, double factor)
{
    LONG scaled = (LONG)(value * factor);
    return scaled || !value ? scaled : value < 0 ? -1 : 1;
}

// The text records of an enhanced metafile: they draw with the selected font.
static int is_emf_text_record(DWORD type)
{
    return type == EMR_EXTTEXTOUTA || type == EMR_EXTTEXTOUTW || type == EMR_POLYTEXTOUTA ||
           type == EMR_POLYTEXTOUTW || type == EMR_SMALL_TEXT_OUT;
}

// Distinct glyphs one text record may draw at the font limit, and all the
// text records of one play together; at smaller sizes more, by the square
// of the size. Each new glyph is rendered at its size and kept by the
// display: a record of thousands at the limit takes the player minutes and
// the display gigabytes, while text of any real drawing renders a few dozen
// glyphs per record, most of them far smaller.
enum { MAX_GLYPHS_AT_FONT_LIMIT = 32, MAX_PLAY_GLYPHS_AT_FONT_LIMIT = 128 };

// Whether a mask blit's destination comes to whole device pixels across
// and down. One that comes to none draws nothing, and the system's player
// divides by its width where none of the window is visible.
static bool mask_blit_reaches_pixels(HDC hdc, const ENHMETARECORD* record)
{
    enum { DEST_AT = 24 };  // x, y, width, height
    const BYTE* bytes = (const BYTE*)record + DEST_AT;
    int64_t x = (int32_t)get_u32(bytes), y = (int32_t)get_u32(bytes + 4);
    int64_t right = x + (int32_t)get_u32(bytes + 8), bottom = y + (int32_t)get_u32(bytes + 12);
    POINT corners[2] = {{(LONG)x, (LONG)y},
                        {(LONG)(right < INT32_MIN ? INT32_MIN : right > INT32_MAX ? INT32_MAX : right),
                         (LONG)(bottom < INT32_MIN ? INT32_MIN : bottom > INT32_MAX ? INT32_MAX : bottom)}};
    return LPtoDP(hdc, corners, 2) && corners[0].x != corners[1].x && corners[0].y != corners[1].y;
}

// The font selected in hdc as a copy scaled down to draw within limit
// under hdc's present mapping, selected in its place (the old font in
// *old), or NULL when it fits as it is. *left_out is set when the text
// cannot be drawn: one unit is already too large, or no copy could be made.
static HFONT select_font_within(HDC hdc, double limit, HGDIOBJ* old, int* left_out)
{
    *old = NULL;
    *left_out = 0;
    HFONT font = (HFONT)GetCurrentObject(hdc, OBJ_FONT);
    LOGFONTW lf;
    if (!font || GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        return NULL;
    double size = font_device_size(hdc, lf.lfHeight, lf.lfWidth);
    if (size <= limit)
        return NULL;
    double factor = limit / size;
    lf.lfHeight = scaled_font_value(lf.lfHeight, factor);
    lf.lfWidth = scaled_font_value(lf.lfWidth, factor);
    HFONT small = font_device_size(hdc, lf.lfHeight, lf.lfWidth) <= limit ? CreateFontIndirectW(&lf) : NULL;
    *old = small ? SelectObject(hdc, small) : NULL;
    if (!*old) {
        if (small)
            DeleteObject(small);
        *left_out = 1;
        return NULL;
    }
    return small;
}

// Filling a polygon on a display builds its region over every device row
// it covers, unclipped: each row takes time that grows with the square of
// the edges crossing it, and holds a span between each pair of them. A
// record of 16000 points zigzagging across a 300-pixel preview takes
// minutes, and a mapping can stretch a few edges over a billion rows, each
// with a span of its own. A polygon record whose rows cost more time
// (about a second) or spans (about 64 MB of region) is left out there.
#define MAX_POLYGON_ROW_WORK 1.0e9
#define MAX_POLYGON_SPANS 4.0e6

struct EdgeEnd {
    int32_t y;
    int32_t step;  // +1 where an edge starts, -1 past its last row
};

static int compare_edge_ends(const void* a, const void* b)
{
    int32_t ya = ((const EdgeEnd*)a)->y, yb = ((const EdgeEnd*)b)->y;
    return ya < yb ? -1 : ya > yb;
}

// Whether filling the closed polygons of the counts, whose points (logical,
// made device points here) follow each other in points, stays within
// MAX_POLYGON_ROW_WORK and MAX_POLYGON_SPANS; false as well when there is
// no memory to judge it.
static bool polygon_rows_are_bounded(HDC hdc, POINT* points, uint32_t total, const uint32_t* counts,
                                     uint32_t polygons)
{
    EdgeEnd* ends = total ? (EdgeEnd*)malloc(sizeof(EdgeEnd) * 2 * (size_t)total) : NULL;
    if (!ends)
        return total == 0;
    if (!LPtoDP(hdc, points, (int)total)) {
        free(ends);
        return false;
    }
    size_t edges = 0;
    for (uint32_t p = 0, first = 0; p < polygons; first += counts[p], ++p) {
        for (uint32_t i = 0; i < counts[p]; ++i) {
            int32_t y0 = points[first + i].y, y1 = points[first + (i + 1) % counts[p]].y;
            if (y0 == y1)
                continue;
            ends[2 * edges] = {y0 < y1 ? y0 : y1, 1};
            ends[2 * edges + 1] = {y0 < y1 ? y1 : y0, -1};
            ++edges;
        }
    }
    qsort(ends, 2 * edges, sizeof *ends, compare_edge_ends);
    double work = 0, spans = 0, crossing = 0;
    for (size_t i = 0; i < 2 * edges && work <= MAX_POLYGON_ROW_WORK && spans <= MAX_POLYGON_SPANS; ++i) {
        if (i) {
            double rows = (double)ends[i].y - ends[i - 1].y;
            work += crossing * crossing * rows;
            spans += crossing / 2 * rows;
        }
        crossing += ends[i].step;
    }
    free(ends);
    return work <= MAX_POLYGON_ROW_WORK && spans <= MAX_POLYGON_SPANS;
}

// Whether filling the polygons stays within the bounds above under hdc's
// mapping: their point counts, count_unit bytes each, at counts (one
// polygon: its count), then their points, two coordinates of point_unit
// bytes each, at points, with room bytes from there to the record's end.
static bool packed_polygons_are_bounded(HDC hdc, const BYTE* counts, uint32_t count_unit, uint32_t polygons,
                                        const BYTE* points, uint32_t point_unit, uint64_t room)
{
    uint32_t* count = (uint32_t*)malloc(sizeof(uint32_t) * (polygons ? polygons : 1));
    uint64_t total = 0;
    for (uint32_t i = 0; count && i < polygons; ++i) {
        count[i] = count_unit == 2 ? get_u16(counts + 2 * i) : get_u32(counts + 4 * i);
        total += count[i];
    }
    POINT* point = count && total * 2 * point_unit <= room && total < 0x10000000u
                       ? (POINT*)malloc(sizeof(POINT) * (total ? total : 1))
                       : NULL;
    bool bounded = false;
    if (point) {
        for (uint64_t i = 0; i < 2 * total; ++i) {
            const BYTE* at = points + i * point_unit;
            LONG value = point_unit == 2 ? (int16_t)get_u16(at) : (int32_t)get_u32(at);
            (i % 2 ? point[i / 2].y : point[i / 2].x) = value;
        }
        bounded = polygon_rows_are_bounded(hdc, point, (uint32_t)total, count, polygons);
    }
    free(point);
    free(count);
    return bounded;
}

// Whether a Windows-metafile polygon record (one polygon, or a count of
// them with their point counts) fills within the bounds under hdc's mapping.
static bool polygon_fill_is_bounded(HDC hdc, const METARECORD* record)
{
    uint64_t bytes = record->rdSize >= 3 ? 2 * ((uint64_t)record->rdSize - 3) : 0;
    const BYTE* p = (const BYTE*)record->rdParm;
    if (bytes < 2)
        return false;
    bool is_poly_polygon = record->rdFunction == META_POLYPOLYGON;
    uint32_t polygons = is_poly_polygon ? get_u16(p) : 1;
    uint64_t points_at = is_poly_polygon ? 2 + 2 * (uint64_t)polygons : 2;
    return points_at <= bytes && packed_polygons_are_bounded(hdc, is_poly_polygon ? p + 2 : p, 2, polygons,
                                                             p + points_at, 2, bytes - points_at);
}

// Whether filling the path of hdc, each figure closed, stays within the
// bounds. Curves are judged by their control points, which no line meets
// fewer times than the curve.
static bool path_fill_is_bounded(HDC hdc)
{
    int total = GetPath(hdc, NULL, NULL, 0);
    if (total <= 0)
        return total == 0;
    POINT* points = (POINT*)malloc(sizeof(POINT) * (size_t)total);
    BYTE* types = (BYTE*)malloc((size_t)total);
    uint32_t* counts = (uint32_t*)malloc(sizeof(uint32_t) * (size_t)total);
    bool bounded = false;
    if (points && types && counts && GetPath(hdc, points, types, total) == total) {
        uint32_t figures = 0;
        for (int i = 0; i < total; ++i) {
            if ((types[i] & ~PT_CLOSEFIGURE) == PT_MOVETO || !figures)
                counts[figures++] = 0;
            counts[figures - 1]++;
        }
        bounded = polygon_rows_are_bounded(hdc, points, (uint32_t)total, counts, figures);
    }
    free(points);
    free(types);
    free(counts);
    return bounded;
}

// Whether an enhanced-metafile record that fills polygons or the path
// fills within the bounds under hdc's transform and mapping; true for any
// other record. Polygons inside a path bracket only add to the path.
static bool emf_fill_is_bounded(HDC hdc, const ENHMETARECORD* record, bool in_path)
{
    enum { COUNT_AT = 24, POLYGONS_AT = 24, POLY_COUNTS_AT = 32 };
    const BYTE* bytes = (const BYTE*)record;
    uint32_t size = record->nSize;
    switch (record->iType) {
    case EMR_POLYGON:
    case EMR_POLYGON16:
        return in_path || (size >= COUNT_AT + 4 &&
                           packed_polygons_are_bounded(hdc, bytes + COUNT_AT, 4, 1, bytes + COUNT_AT + 4,
                                                       record->iType == EMR_POLYGON ? 4 : 2, size - COUNT_AT - 4));
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16: {
        if (in_path)
            return true;
        uint64_t polygons = size >= POLY_COUNTS_AT ? get_u32(bytes + POLYGONS_AT) : 0;
        uint64_t points_at = POLY_COUNTS_AT + 4 * polygons;
        return size >= POLY_COUNTS_AT && points_at <= size &&
               packed_polygons_are_bounded(hdc, bytes + POLY_COUNTS_AT, 4, (uint32_t)polygons, bytes + points_at,
                                           record->iType == EMR_POLYPOLYGON ? 4 : 2, size - points_at);
    }
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_SELECTCLIPPATH:
        return path_fill_is_bounded(hdc);
    }
    return true;
}

// A pen wider than this many device pixels is drawn as one this wide: a
// display builds round joins and ends point by point, and pens a mapping
// makes a million pixels wide hold the window for minutes.
enum { MAX_PEN_DEVICE_PIXELS = 65536 };

static bool is_one_of(UINT value, const UINT* list, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (value == list[i])
            return true;
    return false;
}

// The Windows-metafile records that draw lines with the selected pen.
static const UINT WMF_STROKING[] = {META_LINETO,    META_POLYLINE, META_POLYGON, META_POLYPOLYGON, META_RECTANGLE,
                                    META_ROUNDRECT, META_ELLIPSE,  META_ARC,     META_PIE,         META_CHORD};
// The enhanced-metafile records that draw lines with it or widen the path by it.
static const UINT EMF_STROKING[] = {
    EMR_POLYBEZIER,   EMR_POLYGON,       EMR_POLYLINE,      EMR_POLYBEZIERTO,      EMR_POLYLINETO,
    EMR_POLYPOLYLINE, EMR_POLYPOLYGON,   EMR_ANGLEARC,      EMR_ELLIPSE,           EMR_RECTANGLE,
    EMR_ROUNDRECT,    EMR_ARC,           EMR_CHORD,         EMR_PIE,               EMR_LINETO,
    EMR_ARCTO,        EMR_POLYDRAW,      EMR_STROKEPATH,    EMR_STROKEANDFILLPATH, EMR_WIDENPATH,
    EMR_POLYBEZIER16, EMR_POLYGON16,     EMR_POLYLINE16,    EMR_POLYBEZIERTO16,    EMR_POLYLINETO16,
    EMR_POLYPOLYLINE16, EMR_POLYPOLYGON16, EMR_POLYDRAW16};

// The description of the extended pen with its style entries, or NULL;
// free it.
static EXTLOGPEN* ext_pen_of(HPEN pen)
{
    int bytes = GetObjectW(pen, 0, NULL);
    EXTLOGPEN* elp = bytes >= (int)offsetof(EXTLOGPEN, elpStyleEntry)
                         ? (EXTLOGPEN*)calloc(1, (size_t)bytes + sizeof(DWORD))
                         : NULL;
    if (elp && GetObjectW(pen, bytes, elp) != bytes) {
        free(elp);
        return NULL;
    }
    return elp;
}

// A copy of the extended pen narrowed to width; NULL for a pen whose brush
// (a pattern's bitmap) cannot be made again from its description.
static HPEN narrowed_ext_pen(const EXTLOGPEN* elp, LONG width)
{
    if (elp->elpBrushStyle != BS_SOLID && elp->elpBrushStyle != BS_HATCHED && elp->elpBrushStyle != BS_NULL)
        return NULL;
    LOGBRUSH lb = {elp->elpBrushStyle, elp->elpColor, elp->elpHatch};
    return ExtCreatePen(elp->elpPenStyle, (DWORD)width, &lb, elp->elpNumEntries,
                        elp->elpNumEntries ? elp->elpStyleEntry : NULL);
}

// The pen selected in hdc as a copy narrowed to MAX_PEN_DEVICE_PIXELS
// under hdc's present transform and mapping, selected in its place (the
// old pen in *old), or NULL when it fits as it is. *left_out is set when
// no copy could be made.
static HPEN select_pen_within(HDC hdc, HGDIOBJ* old, int* left_out)
{
    *old = NULL;
    *left_out = 0;
    HPEN pen = (HPEN)GetCurrentObject(hdc, OBJ_PEN);
    EXTLOGPEN* elp = pen && GetObjectType(pen) == OBJ_EXTPEN ? ext_pen_of(pen) : NULL;
    LOGPEN lp;
    LONG width = 0;  // of a cosmetic pen: always one pixel
    if (elp)
        width = (elp->elpPenStyle & PS_TYPE_MASK) == PS_GEOMETRIC ? (LONG)elp->elpWidth : 0;
    else if (pen && GetObjectType(pen) == OBJ_PEN && GetObjectW(pen, sizeof lp, &lp) == sizeof lp)
        width = lp.lopnWidth.x;
    double size = width ? font_device_size(hdc, width, width) : 0;
    HPEN narrow = NULL;
    if (size > MAX_PEN_DEVICE_PIXELS) {
        lp.lopnWidth.x = scaled_font_value(width, MAX_PEN_DEVICE_PIXELS / size);
        narrow = elp ? narrowed_ext_pen(elp, lp.lopnWidth.x) : CreatePenIndirect(&lp);
        *old = narrow ? SelectObject(hdc, narrow) : NULL;
        if (!*old) {
            if (narrow)
                DeleteObject(narrow);
            narrow = NULL;
            *left_out = 1;
        }
    }
    free(elp);
    return narrow;
}

// Glyphs of the font selected in hdc, from its glyph table; 0 when it has
// none that can be read.
static uint32_t font_glyph_count(HDC hdc)
{
    enum { GLYPH_COUNT_AT = 4 };
    const DWORD GLYPH_TABLE = 'm' | 'a' << 8 | 'x' << 16 | (DWORD)'p' << 24;
    BYTE count[2];
    if (GetFontData(hdc, GLYPH_TABLE, GLYPH_COUNT_AT, count, sizeof count) != sizeof count)
        return 0;
    return (uint32_t)count[0] << 8 | count[1];
}

// Whether text of the glyphs, drawn with the font selected in hdc (no
// larger than limit), keeps within the glyph budgets of one record and,
// with the text the play drew before, of the play; text that keeps within
// them is counted in the play's. Glyph indices past the font's glyphs are
// never drawn: a display that has drawn glyphs of the font reads its
// table of them past its end for those.
static bool text_keeps_glyph_budget(HDC hdc, double limit, TextGlyphs glyphs, PlayBudget* budget)
{
    if (glyphs.index_end && glyphs.index_end > font_glyph_count(hdc))
        return false;
    HFONT font = (HFONT)GetCurrentObject(hdc, OBJ_FONT);
    LOGFONTW lf;
    if (!font || GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        return true;
    double size = font_device_size(hdc, lf.lfHeight, lf.lfWidth);
    double drawn = size > limit ? limit : size;
    double work = glyphs.distinct * drawn * drawn;
    if (work > MAX_GLYPHS_AT_FONT_LIMIT * limit * limit ||
        budget->glyph_work + work > MAX_PLAY_GLYPHS_AT_FONT_LIMIT * limit * limit) {
        budget->is_cut = true;
        return false;
    }
    budget->glyph_work += work;
    return true;
}

// Plays a text record (play_text gives it to the player) when it keeps
// the glyph budgets, with the selected font scaled down to limit where
// the transform or mapping now makes it larger than that, since the
// player sizes the font anew for the mapping the text meets. False when
// the text was left out.
template <typename Play>
static bool play_text_within(HDC hdc, double limit, TextGlyphs glyphs, PlayBudget* budget, Play play_text)
{
    if (!text_keeps_glyph_budget(hdc, limit, glyphs, budget))
        return false;
    HGDIOBJ old;
    int left_out;
    HFONT small = select_font_within(hdc, limit, &old, &left_out);
    if (!left_out)
        play_text();
    if (small) {
        SelectObject(hdc, old);
        DeleteObject(small);
    }
    return !left_out;
}

// Plays a record that draws lines (play_lines gives it to the player)
// with the selected pen narrowed to MAX_PEN_DEVICE_PIXELS; false when
// the pen fits as it is, and the caller plays the record itself.
// *left_out is set when the record could not be played with a narrowed pen.
template <typename Play>
static bool played_with_narrow_pen(HDC hdc, Play play_lines, bool* left_out)
{
    HGDIOBJ old;
    int not_made;
    HPEN narrow = select_pen_within(hdc, &old, &not_made);
    if (narrow) {
        play_lines();
        SelectObject(hdc, old);
        DeleteObject(narrow);
    }
    if (not_made)
        *left_out = true;
    return narrow || not_made;
}

// What one play of an enhanced metafile keeps across its records.
struct EmfPlay {
    double font_limit;  // font_limit of the device
    bool in_path;       // between the records that open and close a path
    bool left_out;      // a record that draws was not played, by its rule or for its cost
    EmfCheckState check;
    PlayBudget budget;
};

// A font record is played scaled down to the limit, and text by the glyph
// budgets with a scaled copy of the selected font where the transform
// makes it larger than that again. Some display drivers end the process
// on far larger glyphs, or take minutes over them. On a display, a fill
// of polygons or of the path that would hold it for long is left out, and
// lines are drawn with a pen of at most MAX_PEN_DEVICE_PIXELS. A record
// left out that would have changed the picture is noted: the play is then
// not whole.
static int CALLBACK play_emf_record_proc(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int objects,
                                         LPARAM data)
{
    EmfPlay* play = (EmfPlay*)data;
    // The end record draws nothing: a play that reaches it is whole.
    if (record->iType != EMR_EOF && !play_budget_allows(&play->budget))
        return 0;
    // The player would hand a record of no size to this callback for ever:
    // the play stops there, and what follows is not drawn.
    if (record->nSize < 8) {
        play->left_out = true;
        return 0;
    }
    // A record without a rule for its type, or breaking it, is not played
    // and leaves the state as it was.
    if (!emf_record_is_sound((const BYTE*)record, record->nSize, &play->check)) {
        play->left_out |= !emf_record_is_silent(record->iType);
        return 1;
    }
    // A mask blit that reaches no whole pixel draws nothing.
    if (record->iType == EMR_MASKBLT && !mask_blit_reaches_pixels(hdc, record))
        return 1;
    auto play_as_is = [&] { PlayEnhMetaFileRecord(hdc, table, record, (UINT)objects); };
    if (GetDeviceCaps(hdc, TECHNOLOGY) == DT_RASDISPLAY) {
        if (!emf_fill_is_bounded(hdc, record, play->in_path)) {
            if (record->iType != EMR_POLYGON && record->iType != EMR_POLYGON16 &&
                record->iType != EMR_POLYPOLYGON && record->iType != EMR_POLYPOLYGON16)
                AbortPath(hdc);  // dropped as the fill would have
            play->left_out = true;
            return 1;
        }
        if (record->iType == EMR_BEGINPATH || record->iType == EMR_ENDPATH || record->iType == EMR_ABORTPATH)
            play->in_path = record->iType == EMR_BEGINPATH;
        if (is_one_of(record->iType, EMF_STROKING, sizeof EMF_STROKING / sizeof *EMF_STROKING) &&
            played_with_narrow_pen(hdc, play_as_is, &play->left_out))
            return 1;
    }
    double limit = play->font_limit;
    enum { FONT_HEIGHT_AT = 12, FONT_WIDTH_AT = 16 };
    if (limit > 0 && record->iType == EMR_EXTCREATEFONTINDIRECTW && record->nSize >= FONT_WIDTH_AT + 4) {
        const BYTE* bytes = (const BYTE*)record;
        LONG height = (LONG)get_u32(bytes + FONT_HEIGHT_AT), width = (LONG)get_u32(bytes + FONT_WIDTH_AT);
        double size = font_device_size(hdc, height, width);
        ENHMETARECORD* scaled = size > limit ? (ENHMETARECORD*)malloc(record->nSize) : NULL;
        if (scaled) {
            memcpy(scaled, record, record->nSize);
            double factor = limit / size;
            LONG small[2] = {scaled_font_value(height, factor), scaled_font_value(width, factor)};
            memcpy((BYTE*)scaled + FONT_HEIGHT_AT, small, sizeof small);
            PlayEnhMetaFileRecord(hdc, table, scaled, (UINT)objects);
            free(scaled);
            return 1;
        }
        if (size > limit) {
            play->left_out = true;  // no memory for the copy: the font is left out
            return 1;
        }
    }
    if (limit > 0 && is_emf_text_record(record->iType)) {
        if (!play_text_within(hdc, limit, emf_text_glyphs((const BYTE*)record, record->nSize), &play->budget,
                              play_as_is))
            play->left_out = true;
        return 1;
    }
    play_as_is();
    return 1;
}

bool play_emf_in_process(HDC hdc, HENHMETAFILE emf, const RECT* rect)
{
    // Headers of the oldest form end before the pixel-format fields.
    ENHMETAHEADER header;
    if (!emf || GetEnhMetaFileHeader(emf, sizeof header, &header) < EMF_BASE_HEADER)
        return false;
    HENHMETAFILE copy = header.nHandles ? NULL : copy_with_own_handle(emf);
    if (!header.nHandles && !copy)
        return false;
    EmfPlay play;
    play.font_limit = font_limit(hdc);
    play.in_path = false;
    play.left_out = false;
    begin_emf_check(&play.check, header.nHandles ? header.nHandles : 1);
    start_play_budget(&play.budget);
    EnumEnhMetaFile(hdc, copy ? copy : emf, play_emf_record_proc, &play, rect);
    end_emf_check(&play.check);
    if (copy)
        DeleteEnhMetaFile(copy);
    return !play.budget.is_cut && !play.left_out;
}

// What one play of a Windows metafile keeps across its records. Records
// that break their rules were taken out when the bits were read.
struct WmfPlay {
    PlayBudget budget;
    bool left_out;                // a record that draws was not played, for its cost or its font
    volatile LONG* played_words;  // null: a play without progress
    UINT free_from;               // no slot of the handle table below it is free
};

// Plays a record with play(). False when it creates an object and the
// handle table holds no new one after it: the system refused to make it,
// and every object after it would take another's slot and number, so
// that the records would draw with objects the file did not name. The
// table's first free slot is sought from *free_from, which only a
// deletion lowers.
template <typename Play>
static bool play_making_objects(const HANDLETABLE* table, const METARECORD* record, UINT objects, UINT* free_from,
                                Play play)
{
    bool creates = wmf_function_creates((uint16_t)record->rdFunction);
    UINT slot = *free_from;
    while (creates && slot < objects && table->objectHandle[slot])
        ++slot;
    play();
    if (record->rdFunction == META_DELETEOBJECT && record->rdSize > 3 && record->rdParm[0] < *free_from)
        *free_from = record->rdParm[0];
    if (!creates)
        return true;
    if (slot >= objects || !table->objectHandle[slot])
        return false;
    *free_from = slot + 1;
    return true;
}

// Plays one record. A font record is played scaled down to the limit
// under the mapping in force; text is drawn with a scaled copy of the
// selected font wherever a later mapping (window and viewport extents,
// their scaling, the mapping mode) makes it larger than that again, since
// the player sizes the font anew for the mapping the text meets: some
// display drivers end the process on far larger glyphs. Text keeps the
// glyph budgets of the play. A polygon record whose fill would hold the
// display for long is left out, and lines are drawn with a pen of at most
// MAX_PEN_DEVICE_PIXELS. Whatever is left out is noted in the play.
static void play_record(HDC hdc, HANDLETABLE* table, METARECORD* record, UINT objects, WmfPlay* play)
{
    PlayBudget* budget = &play->budget;
    UINT function = record->rdFunction;
    auto play_as_is = [&] { PlayMetaFileRecord(hdc, table, record, objects); };
    if (is_one_of(function, WMF_STROKING, sizeof WMF_STROKING / sizeof *WMF_STROKING) &&
        GetDeviceCaps(hdc, TECHNOLOGY) == DT_RASDISPLAY) {
        if ((function == META_POLYGON || function == META_POLYPOLYGON) && !polygon_fill_is_bounded(hdc, record)) {
            play->left_out = true;
            return;
        }
        if (played_with_narrow_pen(hdc, play_as_is, &play->left_out))
            return;
    }
    bool is_text = function == META_TEXTOUT || function == META_EXTTEXTOUT;
    bool is_font = function == META_CREATEFONTINDIRECT && record->rdSize >= 5;
    double limit = is_text || is_font ? font_limit(hdc) : 0;
    if (limit <= 0) {
        PlayMetaFileRecord(hdc, table, record, objects);
        return;
    }
    if (is_text) {
        uint32_t param_bytes = record->rdSize >= 3 ? 2 * (record->rdSize - 3) : 0;
        if (!play_text_within(hdc, limit, wmf_text_glyphs(function, (const BYTE*)record->rdParm, param_bytes),
                              budget, play_as_is))
            play->left_out = true;
        return;
    }
    // Height and width are the first two words of the font record, whose
    // words are within the metafile (seal_wmf_records).
    int16_t height = (int16_t)record->rdParm[0], width = (int16_t)record->rdParm[1];
    double size = font_device_size(hdc, height, width);
    if (size <= limit) {
        PlayMetaFileRecord(hdc, table, record, objects);
        return;
    }
    size_t bytes = (size_t)record->rdSize * 2;
    METARECORD* scaled = (METARECORD*)malloc(bytes);
    if (!scaled) {
        play->left_out = true;
        return;
    }
    memcpy(scaled, record, bytes);
    double factor = limit / size;
    scaled->rdParm[0] = (WORD)(int16_t)scaled_font_value(height, factor);
    scaled->rdParm[1] = (WORD)(int16_t)scaled_font_value(width, factor);
    PlayMetaFileRecord(hdc, table, scaled, objects);
    free(scaled);
}

static int CALLBACK play_wmf_record_proc(HDC hdc, HANDLETABLE* table, METARECORD* record, int objects, LPARAM data)
{
    WmfPlay* play = (WmfPlay*)data;
    if (!play_budget_allows(&play->budget))
        return 0;
    // A font record whose face name ends within it is played from a copy
    // holding the whole 32-byte name, all of which the player reads.
    enum { FONT_RECORD_WORDS = 3 + WMF_FONT_PARAM_BYTES / 2 };
    bool is_short_font = record->rdFunction == META_CREATEFONTINDIRECT && record->rdSize < FONT_RECORD_WORDS;
    METARECORD* font = is_short_font ? (METARECORD*)calloc(FONT_RECORD_WORDS, 2) : NULL;
    if (font) {
        memcpy(font, record, (size_t)record->rdSize * 2);
        font->rdSize = FONT_RECORD_WORDS;
    }
    // A font not made for want of memory would move the objects after it
    // as a refused one does.
    bool is_made = (!is_short_font || font) &&
                   play_making_objects(table, record, (UINT)objects, &play->free_from,
                                       [&] { play_record(hdc, table, font ? font : record, (UINT)objects, play); });
    free(font);
    if (!is_made) {
        play->left_out = true;
        return 0;
    }
    if (play->played_words)
        InterlockedExchangeAdd((LONG*)play->played_words, (LONG)record->rdSize);
    return 1;
}

bool play_wmf_records_in_process(HDC hdc, HMETAFILE wmf, volatile LONG* played_words)
{
    WmfPlay play;
    start_play_budget(&play.budget);
    play.left_out = false;
    play.played_words = played_words;
    play.free_from = 0;
    if (!wmf)
        return false;
    EnumMetaFile(hdc, wmf, play_wmf_record_proc, (LPARAM)&play);
    return !play.budget.is_cut && !play.left_out;
}

bool play_wmf_in_process(HDC hdc, HMETAFILE wmf)
{
    return play_wmf_records_in_process(hdc, wmf, NULL);
}

bool wmf_objects_are_made_in_process(HDC hdc, BYTE* bits, uint32_t size)
{
    if (size < WMF_HEADER_SIZE)
        return false;
    UINT objects = get_u16(bits + 10);
    HANDLETABLE* table = (HANDLETABLE*)calloc(objects ? objects : 1, sizeof(HGDIOBJ));
    if (!table)
        return false;
    UINT free_from = 0;
    bool is_made = true;
    walk_wmf_records(bits, size, [&](uint32_t offset, uint32_t, uint16_t function) {
        METARECORD* record = (METARECORD*)(bits + offset);
        if (wmf_function_creates(function) || function == META_DELETEOBJECT)
            is_made = play_making_objects(table, record, objects, &free_from,
                                          [&] { PlayMetaFileRecord(hdc, table, record, objects); });
        return is_made;
    });
    for (UINT slot = 0; slot < objects; ++slot)
        if (table->objectHandle[slot])
            DeleteObject(table->objectHandle[slot]);
    free(table);
    return is_made;
}

// ---- the plays of the program: through the renderer

// Metafiles whose play was cut, each told once and not played again until
// a file is loaded anew, and why, which a command that refuses one later
// says again. Few are ever shown at once (the current image, a merge
// source).
enum { MAX_FAILED_METAFILES = 8 };
struct FailedPlay {
    HANDLE metafile;
    MetafileFault fault;
};
static FailedPlay s_failed[MAX_FAILED_METAFILES];
static int s_failedCount;

void forget_failed_metafiles(HANDLE metafile)
{
    int kept = 0;
    for (int i = 0; i < s_failedCount; ++i)
        if (metafile && s_failed[i].metafile != metafile)
            s_failed[kept++] = s_failed[i];
    s_failedCount = kept;
}

MetafileFault metafile_play_fault(HANDLE metafile)
{
    for (int i = 0; i < s_failedCount; ++i)
        if (s_failed[i].metafile == metafile)
            return s_failed[i].fault;
    return METAFILE_FAULT_NONE;
}

int metafile_play_failed(HANDLE metafile)
{
    return metafile_play_fault(metafile) != METAFILE_FAULT_NONE;
}

static int s_commandPlays;  // CommandPlays alive

CommandPlays::CommandPlays()
{
    ++s_commandPlays;
}

CommandPlays::~CommandPlays()
{
    --s_commandPlays;
}

const char* metafile_fault_words(MetafileFault fault)
{
    return fault == METAFILE_TOO_LARGE  ? "MemoryAllocation Error"
           : fault == METAFILE_TOO_SLOW ? "Unable to play metafile in the time allowed"
                                        : "Unable to read metafile bits";
}

void say_metafile_fault(HWND owner, MetafileFault fault)
{
    if (fault != METAFILE_FAULT_NONE)
        show_read_error(owner, metafile_fault_words(fault));
}

static int s_trialPlays;     // TrialPlays alive
static unsigned s_trialCuts;  // plays cut while one was

TrialPlays::TrialPlays() : m_cutsBefore(s_trialCuts)
{
    ++s_trialPlays;
}

TrialPlays::~TrialPlays()
{
    --s_trialPlays;
}

bool TrialPlays::is_cut() const
{
    return s_trialCuts != m_cutsBefore;
}

// A cut play leaves what it drew, and one no renderer could take drew
// nothing; either way the picture cannot be shown whole, which is said
// once, in the words of its fault (by the command, when one plays). 1
// when the play was whole.
static int note_outcome(HANDLE metafile, RenderOutcome outcome)
{
    if (outcome == RENDER_WHOLE)
        return 1;
    if (s_trialPlays) {
        ++s_trialCuts;
        return 0;
    }
    if (metafile_play_failed(metafile))
        return 0;
    if (s_failedCount == MAX_FAILED_METAFILES) {
        memmove(s_failed, s_failed + 1, sizeof *s_failed * (MAX_FAILED_METAFILES - 1));
        --s_failedCount;
    }
    MetafileFault fault = render_fault(outcome);
    s_failed[s_failedCount++] = FailedPlay{metafile, fault};
    if (!s_commandPlays)
        say_metafile_fault(g_hwndMain, fault);
    return 0;
}

int play_emf(HDC hdc, HENHMETAFILE emf, const RECT* rect)
{
    return emf && !metafile_play_failed(emf) && note_outcome(emf, render_emf(hdc, emf, rect));
}

int play_wmf(HDC hdc, HMETAFILE wmf)
{
    return wmf && !metafile_play_failed(wmf) && note_outcome(wmf, render_wmf(hdc, wmf, 0));
}

int play_wmf_records(HWND hwnd, HDC hdc, HMETAFILE wmf)
{
    (void)hwnd;
    return wmf && !metafile_play_failed(wmf) && note_outcome(wmf, render_wmf(hdc, wmf, 1));
}

// Largest tile, and largest row of tiles, in pixels, drawn once and
// copied: 64 MB at 32 bits. A larger tile is played cell by cell, a larger
// row copied cell by cell.
enum { MAX_TILE_PIXELS = 16 << 20 };

// Plays the metafile into the cell at (x, y), width x height device pixels
// of target, which is in device units.
void map_placeable_box(HDC hdc, const WmfPlaceableHeader* box)
{
    if (!box)
        return;
    int box_width = box->right - box->left;
    int box_height = box->bottom - box->top;
    SetWindowOrgEx(hdc, box->left, box->top, NULL);
    SetWindowExtEx(hdc, box_width ? box_width : 1, box_height ? box_height : 1, NULL);
}

uint32_t put_box_window(BYTE* bits, uint32_t size, const RECT* box)
{
    enum { WINDOW_RECORD_WORDS = WMF_BOX_WINDOW_BYTES / 4 };
    if (size < WMF_HEADER_SIZE)
        return size;
    memmove(bits + WMF_HEADER_SIZE + WMF_BOX_WINDOW_BYTES, bits + WMF_HEADER_SIZE, size - WMF_HEADER_SIZE);
    // A record holds signed 16-bit values: a wider box is held at the
    // largest, which crops the picture's far side rather than turning it
    // over.
    LONG width = box->right - box->left, height = box->bottom - box->top;
    width = width < 1 ? 1 : width > 0x7FFF ? 0x7FFF : width;
    height = height < 1 ? 1 : height > 0x7FFF ? 0x7FFF : height;
    // Parameters stand in reverse order: y, then x.
    const WORD records[2][WINDOW_RECORD_WORDS] = {
        {WINDOW_RECORD_WORDS, 0, META_SETWINDOWORG, (WORD)box->top, (WORD)box->left},
        {WINDOW_RECORD_WORDS, 0, META_SETWINDOWEXT, (WORD)height, (WORD)width},
    };
    BYTE* at = bits + WMF_HEADER_SIZE;
    for (const auto& record : records)
        for (WORD word : record) {
            put_le16(at, word);
            at += 2;
        }
    put_le32(bits + 6, get_u32(bits + 6) + WMF_BOX_WINDOW_BYTES / 2);
    return size + WMF_BOX_WINDOW_BYTES;
}

static int play_in_cell(HDC target, HANDLE metafile, int is_emf, const WmfPlaceableHeader* box, int with_progress,
                        int x, int y, int width, int height)
{
    if (is_emf) {
        RECT r = {x, y, x + width, y + height};
        return play_emf(target, (HENHMETAFILE)metafile, &r);
    }
    int saved = SaveDC(target);
    SetMapMode(target, MM_ANISOTROPIC);
    map_placeable_box(target, box);
    SetViewportExtEx(target, width, height, NULL);
    SetViewportOrgEx(target, x, y, NULL);
    int whole = with_progress ? play_wmf_records(NULL, target, (HMETAFILE)metafile)
                              : play_wmf(target, (HMETAFILE)metafile);
    RestoreDC(target, saved);
    return whole;
}


// Copies the tile's 32-bit top-down pixels to every cell of hdc (device
// units): a row of tiles is put together in memory and copied whole, so a
// tile of a pixel costs a copy per row of cells, not per cell.
static void copy_tile_to_cells(HDC hdc, const uint32_t* tile, int left, int top, int width, int height,
                               int columns, int rows)
{
    BITMAPINFO bi;
    uint64_t row_width = (uint64_t)width * columns;
    uint32_t* strip = row_width * height <= MAX_TILE_PIXELS ? (uint32_t*)malloc(row_width * height * 4) : NULL;
    if (strip) {
        for (int y = 0; y < height; ++y)
            for (int column = 0; column < columns; ++column)
                memcpy(strip + y * row_width + (uint64_t)column * width, tile + (size_t)y * width, (size_t)width * 4);
        describe_top_down_pixels(&bi, (LONG)row_width, height);
        for (int row = 0; row < rows; ++row)
            StretchDIBits(hdc, left, top + row * height, (int)row_width, height, 0, 0, (int)row_width, height, strip,
                          &bi, DIB_RGB_COLORS, SRCCOPY);
        free(strip);
        return;
    }
    describe_top_down_pixels(&bi, (LONG)width, height);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            StretchDIBits(hdc, left + column * width, top + row * height, width, height, 0, 0, width, height, tile,
                          &bi, DIB_RGB_COLORS, SRCCOPY);
}

int play_metafile_tiled(HDC hdc, HANDLE metafile, int is_emf, const WmfPlaceableHeader* box, int with_progress,
                        int left, int top, int width, int height, int columns, int rows)
{
    if (!metafile || width < 1 || height < 1 || columns < 1 || rows < 1 || metafile_play_failed(metafile))
        return 0;
    int whole = 1;
    BITMAPINFO bi;
    describe_top_down_pixels(&bi, (LONG)width, height);
    void* pixels = NULL;
    HDC tile = (uint64_t)width * height <= MAX_TILE_PIXELS ? CreateCompatibleDC(NULL) : NULL;
    HBITMAP bitmap = tile ? CreateDIBSection(tile, &bi, DIB_RGB_COLORS, &pixels, NULL, 0) : NULL;
    // Device units on hdc: the cells are device pixels.
    int saved = SaveDC(hdc);
    SetMapMode(hdc, MM_TEXT);
    SetWindowOrgEx(hdc, 0, 0, NULL);
    SetViewportOrgEx(hdc, 0, 0, NULL);
    if (bitmap) {
        HGDIOBJ old = SelectObject(tile, bitmap);
        // The picture is played over what lies under the first cell.
        if (GetDeviceCaps(hdc, TECHNOLOGY) == DT_RASDISPLAY)
            BitBlt(tile, 0, 0, width, height, hdc, left, top, SRCCOPY);
        else
            PatBlt(tile, 0, 0, width, height, WHITENESS);
        whole = play_in_cell(tile, metafile, is_emf, box, with_progress, 0, 0, width, height);
        GdiFlush();
        copy_tile_to_cells(hdc, (const uint32_t*)pixels, left, top, width, height, columns, rows);
        SelectObject(tile, old);
        DeleteObject(bitmap);
    } else {
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column)
                whole &= play_in_cell(hdc, metafile, is_emf, box, with_progress && row == 0 && column == 0,
                                      left + column * width, top + row * height, width, height);
    }
    RestoreDC(hdc, saved);
    if (tile)
        DeleteDC(tile);
    return whole;
}
