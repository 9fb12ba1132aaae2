// Windows and enhanced metafiles (see metafile.h). New files and rewritten
// ones go through safe_write: the target is replaced only once the whole
// new content is on disk, so a failed write leaves the old file as it was.
#include "image/metafile.h"

#include "image/byte_order.h"
#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/emf_check.h"
#include "image/merge_source.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "image/section_dc.h"
#include "image/wmf_check.h"
#include "image/wmf_seal.h"
#include "resources/resource.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static_assert(sizeof(WmfPlaceableHeader) == WMF_PLACEABLE_SIZE, "placeable header is 22 bytes");

WmfPlaceableHeader g_wmfPlaceableHeader;
int g_wmfHasPlaceable;
int g_wmfFirstPlay;

// Most metafile bits a file may make us hold, the most the renderer plays;
// the file's own length is the other bound.
#define MAX_WMF_BYTES render_metafile_limit()

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

static void show_read_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
}

uint16_t wmf_header_checksum(const WmfPlaceableHeader* header)
{
    const BYTE* bytes = (const BYTE*)header;
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= get_le16(bytes + 2 * i);
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
        // A box of no width or height gives the picture no size to be
        // shown, converted or copied at, and the system takes no window of
        // no extent: there is no picture, on any road.
        if (ph.right == ph.left || ph.bottom == ph.top) {
            show_read_error(owner, "Unable to read metafile bits");
            goto done;
        }
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
        uint32_t size_words = get_le32(mh + 6);
        if (info)
            snprintf(info, INFO_TEXT_SIZE,
                     "image type: %s \nversion: 0x%x \nfile size: %lu \nnumber of objects: %u "
                     "\nmax record size: %lu%s",
                     placeable ? "placeable WMF" : "WMF", (unsigned)get_le16(mh + 4),
                     (unsigned long)size_words, (unsigned)get_le16(mh + 10),
                     (unsigned long)get_le32(mh + 12), size_text);
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
    uint32_t bytes = get_le32(head + EMF_OFF_BYTES);
    if (get_le32(head) != EMR_HEADER || get_le32(head + EMF_OFF_SIGNATURE) != ENHMETA_SIGNATURE ||
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
    if (p && read_file_start(file, p, size)) {
        emf = emf_from_sound_bits(p, size);
        if (!emf && emf_bits_soundness(p, size) == EMF_PLUS_ONLY)
            failure = metafile_fault_words(METAFILE_PLUS_ONLY);
    }
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

int metafile_write_refusal(MetafileFault fault)
{
    return fault == METAFILE_FAULT_NONE ? METAFILE_WRITE_CUT : -(int)fault;
}

MetafileFault metafile_write_fault(int written)
{
    return written < 0 ? (MetafileFault)-written : METAFILE_FAULT_NONE;
}

// Whether the size bytes of Windows-metafile bits at bits pass the rules a
// file of them is read by (seal_wmf_records): its header, records that
// chain to their end record, and none that draws breaking its rule or
// drawing with an object left out. The bits are not changed: each
// record's parameters are judged in a copy.
static bool wmf_bits_read_back(const BYTE* bits, uint32_t size)
{
    if (size < WMF_HEADER_SIZE || (get_le16(bits) != META_TYPE_MEMORY && get_le16(bits) != META_TYPE_DISK) ||
        get_le16(bits + 2) != META_HEADER_WORDS)
        return false;
    WmfObjectState* table = begin_wmf_objects(get_le16(bits + 10));
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

// The placeable box of a frame in 0.01 mm: 1/1000 inch, or fewer units
// per inch, the same across and down, until every corner fits the box's
// 16 bits, so that a large drawing keeps its shape. False for a frame past
// 32,767 inches.
static bool placeable_box_of_frame(const RECTL* frame, WmfPlaceableHeader* ph)
{
    enum { FRAME_UNITS_PER_INCH = 2540, BOX_UNITS_PER_INCH = 1000 };
    const int64_t corners[4] = {frame->left, frame->top, frame->right, frame->bottom};
    int64_t farthest = 0;
    for (int64_t corner : corners)
        farthest = corner < 0 && -corner > farthest ? -corner : corner > farthest ? corner : farthest;
    // Rounded down, so that the farthest corner lands within 32,767 units.
    int64_t units = BOX_UNITS_PER_INCH;
    if (farthest * units / FRAME_UNITS_PER_INCH > 32767)
        units = 32767 * (int64_t)FRAME_UNITS_PER_INCH / farthest;
    if (units < 1)
        return false;
    memset(ph, 0, sizeof *ph);
    ph->key = WMF_PLACEABLE_KEY;
    ph->left = (SHORT)scale_clamped(frame->left, units, FRAME_UNITS_PER_INCH, -32768, 32767);
    ph->top = (SHORT)scale_clamped(frame->top, units, FRAME_UNITS_PER_INCH, -32768, 32767);
    ph->right = (SHORT)scale_clamped(frame->right, units, FRAME_UNITS_PER_INCH, -32768, 32767);
    ph->bottom = (SHORT)scale_clamped(frame->bottom, units, FRAME_UNITS_PER_INCH, -32768, 32767);
    ph->units_per_inch = (WORD)units;
    ph->checksum = wmf_header_checksum(ph);
    return true;
}

int write_wmf_file(HENHMETAFILE emf, const char* path)
{
    ENHMETAHEADER eh;
    if (!emf || GetEnhMetaFileHeader(emf, sizeof eh, &eh) == 0)
        return 0;

    WmfPlaceableHeader ph;
    if (!placeable_box_of_frame(&eh.rclFrame, &ph))
        return metafile_write_refusal(METAFILE_TOO_LARGE_FOR_WMF);

    // The conversion plays every record, so it runs in the renderer, which
    // hands back only a result that shows the picture in this box. What it
    // makes is written only when the program could read it back: a sound
    // enhanced metafile may give records past the bounds of a Windows one's
    // (a region of more rectangles).
    WmfPlaceableHeader shown = ph;
    normalize_placeable_box(&shown);
    const RECT box = {shown.left, shown.top, shown.right, shown.bottom};
    RenderResult converted;
    RenderOutcome outcome = render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, &box, &converted);
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
    METAFILEPICT picture = {MM_ANISOTROPIC, PLAIN_WMF_SIDE, PLAIN_WMF_SIDE, NULL};
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

int copy_wmf_to_file(HMETAFILE wmf, const char* path)
{
    UINT size = wmf ? GetMetaFileBitsEx(wmf, 0, NULL) : 0;
    if (!size)
        return 0;
    if (size > render_metafile_limit())
        return metafile_write_refusal(METAFILE_TOO_LARGE);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    BYTE* bits = block ? (BYTE*)GlobalLock(block) : NULL;
    int ok = metafile_write_refusal(METAFILE_TOO_LARGE);
    if (bits && GetMetaFileBitsEx(wmf, size, bits) == size) {
        // The box it is shown in goes with it: without it the picture
        // reopens at another size and shape.
        const bool is_boxed = g_wmfHasPlaceable && (HGLOBAL)wmf == g_hImage;
        ok = write_whole_file(path, &g_wmfPlaceableHeader, is_boxed ? sizeof g_wmfPlaceableHeader : 0, bits, size);
    }
    if (bits)
        GlobalUnlock(block);
    if (block)
        GlobalFree(block);
    return ok;
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
    uint32_t old_description = get_le32(old + EMF_OFF_DESCRIPTION_LENGTH) ?
                                   get_le32(old + EMF_OFF_DESCRIPTION) : 0;
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
        uint32_t pf_size = get_le32(old + EMF_OFF_PIXEL_FORMAT_SIZE);
        uint32_t pf_offset = get_le32(old + EMF_OFF_PIXEL_FORMAT);
        if (pf_size && pf_offset >= fixed && pf_offset <= old_size &&
            pf_size <= old_size - pf_offset) {
            memcpy(out + size, old + pf_offset, pf_size);
            put_le32(out + EMF_OFF_PIXEL_FORMAT, (uint32_t)size);
            size += ((uint64_t)pf_size + 3) / 4 * 4;
        } else if (pf_size && pf_offset >= old_size) {
            put_le32(out + EMF_OFF_PIXEL_FORMAT, (uint32_t)(pf_offset - old_size + size));
        }
    }

    uint64_t new_file_size = (uint64_t)get_le32(old + EMF_OFF_BYTES) - old_size + size;
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
    uint32_t chars = get_le32(old + EMF_OFF_DESCRIPTION_LENGTH);
    uint32_t offset = get_le32(old + EMF_OFF_DESCRIPTION);
    if (!chars || offset > old_size || chars > (old_size - offset) / 2)
        return;
    const BYTE* description = old + offset;
    uint32_t i = 0;
    while (i < chars && get_le16(description + 2 * i))
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
        units[n] = get_le16(description + 2 * (i + n));
    // The title up to its NUL as the system converts it; what follows it
    // counts as it stands, as units no byte holds.
    uint32_t title = 0;
    while (title < chars - i && units[title])
        ++title;
    bool unshowable = false;
    HGLOBAL hShown = system_text_from_utf16(units, title, &unshowable);
    note_dropped_shown_text(job, hShown, unshowable);
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
        fread(base, 1, EMF_BASE_HEADER, in) != EMF_BASE_HEADER || get_le32(base) != EMR_HEADER ||
        get_le32(base + EMF_OFF_SIGNATURE) != ENHMETA_SIGNATURE)
        return 0;
    uint32_t old_size = get_le32(base + EMF_OFF_SIZE);
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
    switch (fault) {
    case METAFILE_TOO_LARGE:
        return "MemoryAllocation Error";
    case METAFILE_TOO_SLOW:
        return "Unable to play metafile in the time allowed";
    case METAFILE_RESULT_UNREADABLE:
        return "Unable to read back the converted metafile";
    case METAFILE_RENDERER_ENDED:
        return "The metafile renderer ended before it finished";
    case METAFILE_NO_RENDERER:
        return "The metafile renderer could not be started";
    case METAFILE_NOT_THE_SAME:
        return "The converted metafile would not show the same picture";
    case METAFILE_TOO_LARGE_FOR_WMF:
        return "The picture is too large for a Windows metafile";
    case METAFILE_TOO_LARGE_FOR_EMF:
        return "The picture is too large for an enhanced metafile";
    case METAFILE_PLUS_ONLY:
        return "The picture is held only in EMF+ records, which this viewer does not draw";
    default:
        return "Unable to read metafile bits";
    }
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

SIZE plain_wmf_size(void)
{
    SIZE size = {384, 384};
    HDC screen = CreateCompatibleDC(NULL);
    if (!screen)
        return size;
    // As the conversion's reference device takes the picture's size:
    // rounded, in 64 bits.
    const int64_t across = (int64_t)GetDeviceCaps(screen, HORZSIZE) * 100;
    const int64_t down = (int64_t)GetDeviceCaps(screen, VERTSIZE) * 100;
    if (across > 0 && down > 0) {
        size.cx = (LONG)(((int64_t)PLAIN_WMF_SIDE * GetDeviceCaps(screen, HORZRES) + across / 2) / across);
        size.cy = (LONG)(((int64_t)PLAIN_WMF_SIDE * GetDeviceCaps(screen, VERTRES) + down / 2) / down);
    }
    DeleteDC(screen);
    if (size.cx < 1)
        size.cx = 1;
    if (size.cy < 1)
        size.cy = 1;
    return size;
}

void map_placeable_box(HDC hdc, const WmfPlaceableHeader* box)
{
    if (!box) {
        const SIZE plain = plain_wmf_size();
        SetWindowOrgEx(hdc, 0, 0, NULL);
        SetWindowExtEx(hdc, plain.cx, plain.cy, NULL);
        return;
    }
    int box_width = box->right - box->left;
    int box_height = box->bottom - box->top;
    SetWindowOrgEx(hdc, box->left, box->top, NULL);
    SetWindowExtEx(hdc, box_width ? box_width : 1, box_height ? box_height : 1, NULL);
}

// Plays the metafile into the cell at (x, y), width x height device pixels
// of target, which is in device units.
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
