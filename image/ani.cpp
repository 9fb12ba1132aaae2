// Animated cursor reader and its steps (see ani.h). The RIFF chunks are
// walked by their sizes; LIST chunks are entered, so the "fram" list's
// "icon" chunks and the "INFO" list's texts are met in file order. A file
// whose sizes lead nowhere is searched byte by byte for the chunk names,
// so that every file the old byte-wise readers took is still taken.
#include "image/ani.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "image/current_image.h"
#include "image/icon.h"
#include "image/loader_shared.h"
#include "image/pixel_ceiling.h"
#include "image/progress.h"
#include "image/seams.h"

HGLOBAL g_hSubImages;
HGLOBAL g_hFrameRates;
int g_subImageCount;
int g_animStepCount;
int g_animStep;

enum { RIFF_HEADER_SIZE = 12, CHUNK_HEADER_SIZE = 8, ICON_DIRECTORY_SIZE = 22, DEFAULT_RATE = 10 };

static uint32_t le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

static int read_at(HFILE file, uint32_t offset, void* buffer, UINT length)
{
    return offset <= 0x7FFFFFFF && _llseek(file, (LONG)offset, FILE_BEGIN) == (LONG)offset &&
           _lread(file, buffer, length) == length;
}

// The chunk names the reader acts on or passes over.
static int is_known_chunk_at(HFILE file, uint32_t offset)
{
    static const char NAMES[][5] = {"anih", "rate", "seq ", "icon", "LIST", "INFO", "INAM", "IART", "fram"};
    BYTE id[4];
    if (!read_at(file, offset, id, sizeof id))
        return 0;
    for (const char* name : NAMES)
        if (!memcmp(id, name, 4))
            return 1;
    return 0;
}

// Where the chunk after one of size bytes at data begins: after its pad
// byte, or right after the data when a writer left the pad byte out (the
// next name stands there and not one byte later).
static uint64_t next_chunk_at(HFILE file, uint32_t data, uint32_t size)
{
    uint64_t end = (uint64_t)data + size;
    if (!(size & 1) || end + 1 > 0xFFFFFFFFu)
        return end + (size & 1);
    if (!is_known_chunk_at(file, (uint32_t)end + 1) && is_known_chunk_at(file, (uint32_t)end))
        return end;
    return end + 1;
}

// Reads count 32-bit values of a chunk into out (as steps' frame or rate).
static int read_step_values(HFILE file, uint32_t at, uint32_t size, uint32_t count, AniStep* steps, int frames)
{
    if (size / 4 < count)
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        BYTE v[4];
        if (!read_at(file, at + 4 * i, v, 4))
            return 0;
        if (frames)
            steps[i].frame = le32(v);
        else
            steps[i].rate = le32(v);
    }
    return 1;
}

// Where the reader found the chunks it uses.
struct AniLayout {
    uint32_t frames, steps;                         // from "anih"
    uint32_t rate_at, rate_size, seq_at, seq_size;  // data and size; 0 without the chunk
    HGLOBAL hIconAt;  // data offsets of the "icon" chunks, at most one per frame
    uint32_t icons;
};

// The header's counts, checked, and room for the icon offsets; 0 when
// refused.
static int take_ani_header(const BYTE counts[8], uint32_t file_size, AniLayout* l)
{
    l->frames = le32(counts);
    l->steps = le32(counts + 4);
    // Every frame needs a chunk header at least.
    if (l->frames < 1 || l->steps < 1 || l->frames > file_size / CHUNK_HEADER_SIZE || l->steps > file_size)
        return 0;
    l->hIconAt = GlobalAlloc(GMEM_FIXED, (SIZE_T)l->frames * sizeof(uint32_t));
    return l->hIconAt != NULL;
}

// The chunks walked by their sizes; 1 when the header and an icon were met.
static int walk_ani_chunks(HFILE f, uint32_t file_size, AniLayout* l)
{
    int ok = 1;
    uint32_t pos = RIFF_HEADER_SIZE;
    while (ok && pos <= file_size - CHUNK_HEADER_SIZE && file_size >= CHUNK_HEADER_SIZE) {
        BYTE head[CHUNK_HEADER_SIZE];
        if (!read_at(f, pos, head, sizeof head))
            break;
        uint32_t size = le32(head + 4), data = pos + CHUNK_HEADER_SIZE;
        if (!memcmp(head, "LIST", 4)) {
            pos = data + 4;  // into the list
            continue;
        }
        if (size > file_size - data)
            size = file_size - data;  // a last chunk cut short
        if (!memcmp(head, "anih", 4) && !l->hIconAt) {
            BYTE counts[8];
            ok = size >= 12 && read_at(f, data + 4, counts, sizeof counts) && take_ani_header(counts, file_size, l);
        } else if (!memcmp(head, "rate", 4)) {
            l->rate_at = data;
            l->rate_size = size;
        } else if (!memcmp(head, "seq ", 4)) {
            l->seq_at = data;
            l->seq_size = size;
        } else if (!memcmp(head, "icon", 4) && l->hIconAt && l->icons < l->frames) {
            ((uint32_t*)l->hIconAt)[l->icons++] = data;
        }
        uint64_t next = next_chunk_at(f, data, size);
        if (next > file_size)
            break;
        pos = (uint32_t)next;
    }
    return ok && l->icons > 0;
}

// The chunk names compared 4 bytes at a time, moving on by one byte where
// none matches, as readers of this format have always searched: "anih"
// gives the counts, then "rate" and "seq" their values (sizes passed over),
// and "icon" the first frame; every later "icon" is searched for behind the
// one before. For files whose sizes lead the walk astray. bytes is the
// whole file.
static int search_ani_chunks(const BYTE* bytes, uint32_t file_size, AniLayout* l)
{
    uint32_t pos = 8;
    while (pos <= file_size - 4 && !l->icons) {
        const BYTE* id = bytes + pos;
        uint64_t values = (uint64_t)l->steps * 4;
        if (!memcmp(id, "ACON", 4) || !memcmp(id, "fram", 4) || !memcmp(id, "INFO", 4)) {
            pos += 4;
        } else if (!memcmp(id, "LIST", 4) || !memcmp(id, "INAM", 4) || !memcmp(id, "IART", 4)) {
            pos += 8;
        } else if (!memcmp(id, "anih", 4) && !l->hIconAt) {
            // Name, size, header size, the two counts and six unused values.
            if (pos > file_size - 44 || !take_ani_header(id + 12, file_size, l))
                return 0;
            pos += 44;
        } else if (l->hIconAt && (!memcmp(id, "rate", 4) || !memcmp(id, "seq", 3))) {
            if (pos > file_size - 8 || values > file_size - pos - 8)
                return 0;
            *(id[0] == 'r' ? &l->rate_at : &l->seq_at) = pos + 8;
            *(id[0] == 'r' ? &l->rate_size : &l->seq_size) = (uint32_t)values;
            pos += 8 + (uint32_t)values;
        } else if (l->hIconAt && !memcmp(id, "icon", 4) && pos <= file_size - 8) {
            ((uint32_t*)l->hIconAt)[l->icons++] = pos + 8;
            pos += 8;
        } else {
            ++pos;
        }
    }
    // Later frames: the next "icon" behind the previous one's directory.
    for (pos += ICON_DIRECTORY_SIZE; l->icons && l->icons < l->frames && pos <= file_size - 8; ++pos)
        if (!memcmp(bytes + pos, "icon", 4)) {
            ((uint32_t*)l->hIconAt)[l->icons++] = pos + 8;
            pos += 8 + ICON_DIRECTORY_SIZE - 1;
        }
    return l->icons > 0;
}

// The layout by sizes, else by the byte-wise search over the file read
// whole; 0 with nothing held when neither finds a header and an icon.
static int find_ani_layout(HFILE f, uint32_t file_size, AniLayout* l)
{
    if (walk_ani_chunks(f, file_size, l))
        return 1;
    if (l->hIconAt)
        GlobalFree(l->hIconAt);
    memset(l, 0, sizeof *l);
    HGLOBAL hBytes = GlobalAlloc(GMEM_FIXED, file_size);
    int found = hBytes && read_at(f, 0, (BYTE*)hBytes, file_size) &&
                search_ani_chunks((const BYTE*)hBytes, file_size, l);
    if (hBytes)
        GlobalFree(hBytes);
    if (!found && l->hIconAt) {
        GlobalFree(l->hIconAt);
        l->hIconAt = NULL;
    }
    return found;
}

int read_ani_file(HWND owner, HFILE* file, int* frame_count, int* step_count, HGLOBAL* steps, HGLOBAL* frames,
                  char* info)
{
    HFILE f = *file;
    LONG end = _llseek(f, 0, FILE_END);
    BYTE riff[RIFF_HEADER_SIZE];
    if (end < RIFF_HEADER_SIZE || !read_at(f, 0, riff, sizeof riff) || memcmp(riff + 8, "ACON", 4) != 0)
        return 0;
    uint32_t file_size = (uint32_t)end;
    AniLayout layout = {};
    if (!find_ani_layout(f, file_size, &layout))
        return 0;
    uint32_t frames_n = layout.frames, steps_n = layout.steps, icons = layout.icons;
    uint32_t rate_at = layout.rate_at, rate_size = layout.rate_size, seq_at = layout.seq_at,
             seq_size = layout.seq_size;
    HGLOBAL hIconAt = layout.hIconAt;
    const uint32_t* icon_at = (const uint32_t*)hIconAt;

    HGLOBAL hSteps = GlobalAlloc(GHND, (SIZE_T)steps_n * sizeof(AniStep));
    HGLOBAL hFrames = GlobalAlloc(GHND, (SIZE_T)frames_n * sizeof(HGLOBAL));
    AniStep* step = hSteps ? (AniStep*)GlobalLock(hSteps) : NULL;
    int ok = step && hFrames;
    for (uint32_t i = 0; ok && i < steps_n; ++i) {
        step[i].frame = i;
        step[i].rate = DEFAULT_RATE;
    }
    if (ok && rate_at)
        ok = read_step_values(f, rate_at, rate_size, steps_n, step, 0);
    if (ok && seq_at)
        ok = read_step_values(f, seq_at, seq_size, steps_n, step, 1);
    for (uint32_t i = 0; ok && i < steps_n; ++i)
        ok = step[i].frame < frames_n;
    if (!ok) {
        if (step)
            GlobalUnlock(hSteps);
        if (hSteps)
            GlobalFree(hSteps);
        if (hFrames)
            GlobalFree(hFrames);
        GlobalFree(hIconAt);
        return 0;
    }
    GlobalUnlock(hSteps);

    HGLOBAL* frame = (HGLOBAL*)GlobalLock(hFrames);
    show_progress(0, 3);
    // Each frame's image is bounded by the bytes of its entry; entries that
    // share bytes would multiply them, so all frames together may use the
    // file's bytes once.
    uint64_t bytes_left = file_size;
    // All frames are kept at once: together they spend one ceiling, the
    // file's.
    PixelCeiling outer = begin_pixel_ceiling(file_size, reader_pixels_per_byte(IDENT_RIFF));
    for (uint32_t i = 0; i < icons; ++i) {
        show_progress((double)(i + 1) / frames_n, 3);
        uint32_t entry_bytes = icon_entry_data_size(f, icon_at[i]);
        if (entry_bytes > bytes_left) {
            seam_message_box(owner, "Memory Allocation Error", NULL, MB_OK | MB_ICONSTOP);
            break;
        }
        bytes_left -= entry_bytes;
        int count = 1, index = 1;
        frame[i] = read_icon_file(owner, NULL, info, &f, &count, &index, icon_at[i], (int)i + 1, KIND_ANI);
        if (!frame[i])
            break;  // the remaining frames stay null
        const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(frame[i]);
        if (bih) {
            uint64_t pixels =
                (uint64_t)bih->biWidth * (uint64_t)(bih->biHeight < 0 ? -(int64_t)bih->biHeight : bih->biHeight);
            credit_held_pixels(pixels, (bih->biBitCount + 7u) / 8);
            spend_pixel_ceiling(pixels);
            GlobalUnlock(frame[i]);
        }
    }
    end_pixel_ceiling(outer);
    show_progress(0, 0);
    GlobalUnlock(hFrames);
    GlobalFree(hIconAt);
    if (info) {
        size_t used = strnlen(info, INFO_TEXT_SIZE);
        snprintf(info + used, INFO_TEXT_SIZE - used, "number of icons: %ld \nnumber of frames: %ld \n",
                 (long)frames_n, (long)steps_n);
    }
    *frame_count = (int)frames_n;
    *step_count = (int)steps_n;
    *steps = hSteps;
    *frames = hFrames;
    _lclose(f);
    *file = HFILE_ERROR;
    return 1;
}

HGLOBAL next_ani_frame(UINT* delay)
{
    if (g_animStep >= g_animStepCount)
        g_animStep = 0;
    const AniStep* steps = g_hFrameRates ? (const AniStep*)GlobalLock(g_hFrameRates) : NULL;
    const HGLOBAL* frames = g_hSubImages ? (const HGLOBAL*)GlobalLock(g_hSubImages) : NULL;
    HGLOBAL image = NULL;
    if (steps && frames && g_animStep < g_animStepCount) {
        AniStep s = steps[g_animStep];
        image = (int)s.frame < g_subImageCount ? frames[s.frame] : NULL;
        // 1/60 s to hundredths.
        *delay = (UINT)(s.rate * 1.6667 + 0.5);
        ++g_animStep;
    }
    if (frames)
        GlobalUnlock(g_hSubImages);
    if (steps)
        GlobalUnlock(g_hFrameRates);
    return image;
}

void free_ani_frames(void)
{
    HGLOBAL* frames = g_hSubImages ? (HGLOBAL*)GlobalLock(g_hSubImages) : NULL;
    for (int i = 0; frames && i < g_subImageCount; ++i)
        if (frames[i])
            GlobalFree(frames[i]);
    if (frames)
        GlobalUnlock(g_hSubImages);
    if (g_hSubImages)
        GlobalFree(g_hSubImages);
    if (g_hFrameRates)
        GlobalFree(g_hFrameRates);
    g_hSubImages = g_hFrameRates = NULL;
    g_subImageCount = g_animStepCount = g_animStep = 0;
}
