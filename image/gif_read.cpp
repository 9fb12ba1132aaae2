// GIF decoding (see gif_read.h). Input goes through a read-ahead buffer
// that never reads past the file; when a call returns, the file is put back
// at the first byte the reader has not used, so the next call (the next
// frame) starts exactly there. Truncated pixel data keeps what was decoded
// (the rest of the frame stays index 0); broken structure before the first
// image fails.
#include "image/gif_read.h"

#include <stdio.h>
#include <string.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"

enum {
    GIF_TABLE_ENTRIES = 4096,             // LZW codes are at most 12 bits
    GIF_STACK_BYTES = GIF_TABLE_ENTRIES + 16,
    GIF_INPUT_BYTES = 65536,
    MAX_GIF_COMMENT_BYTES = 1 << 20,      // a comment is text for the status bar
};

BYTE* g_gifSuffixTable;
WORD* g_gifPrefixTable;
BYTE* g_gifStack;

static HGLOBAL s_hSuffixTable;
static HGLOBAL s_hPrefixTable;
static HGLOBAL s_hStack;

// Read-ahead over the open file; offset is the file position of buf[0].
static struct {
    HFILE file;
    LONG offset;
    uint32_t pos;
    uint32_t len;
    int at_end;
    BYTE buf[GIF_INPUT_BYTES];
} s_in;

// Per-file state between calls.
static char s_version[4];
static RGBQUAD s_workTable[256];    // a local table overwrites it for one frame
static RGBQUAD s_globalTable[256];
static uint32_t s_globalCount;      // entries of the global table, 0 when none
static int s_screenBits;            // (packed & 15) + 1 of the screen descriptor
static int s_screenFitsData;        // the file's data could cover the logical screen
static uint64_t s_framePixels;      // pixels the last frame's data really gave
static int s_screenWidth, s_screenHeight;

// Graphic-control values for the next frame.
static struct {
    BYTE disposal;
    int hasTransparency;
    BYTE transparentIndex;
    DWORD transparentDisplayColor;
    UINT delay;
} s_next;

// Bit reader over the image data sub-blocks.
struct GifCodeReader {
    uint32_t bits;
    int bit_count;
    int block_left;     // bytes left in the current sub-block
    int saw_terminator;  // the zero-length block was read
    int saw_end_of_file;
};

static void input_start(HFILE file)
{
    s_in.file = file;
    s_in.offset = _llseek(file, 0, FILE_CURRENT);
    if (s_in.offset < 0)
        s_in.offset = 0;
    s_in.pos = s_in.len = 0;
    s_in.at_end = 0;
}

static void input_seek(LONG offset)
{
    s_in.offset = _llseek(s_in.file, offset, FILE_BEGIN);
    if (s_in.offset < 0)
        s_in.offset = 0;
    s_in.pos = s_in.len = 0;
    s_in.at_end = 0;
}

// Leaves the file at the first byte not used.
static void input_finish(void)
{
    _llseek(s_in.file, s_in.offset + (LONG)s_in.pos, FILE_BEGIN);
}

static int input_fill(void)
{
    if (s_in.at_end)
        return 0;
    s_in.offset += (LONG)s_in.len;
    s_in.pos = s_in.len = 0;
    UINT got = _lread(s_in.file, s_in.buf, sizeof s_in.buf);
    if (got == (UINT)HFILE_ERROR || got == 0) {
        s_in.at_end = 1;
        return 0;
    }
    s_in.len = got;
    return 1;
}

// Next byte, or -1 at the end of the file.
static inline int input_byte(void)
{
    if (s_in.pos == s_in.len && !input_fill())
        return -1;
    return s_in.buf[s_in.pos++];
}

// Bytes copied; fewer than count at the end of the file.
static uint32_t input_read(void* dst, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        if (s_in.pos == s_in.len && !input_fill())
            break;
        uint32_t n = s_in.len - s_in.pos;
        if (n > count - done)
            n = count - done;
        memcpy((BYTE*)dst + done, s_in.buf + s_in.pos, n);
        s_in.pos += n;
        done += n;
    }
    return done;
}

static int input_skip(uint32_t count)
{
    while (count > 0) {
        if (s_in.pos == s_in.len && !input_fill())
            return 0;
        uint32_t n = s_in.len - s_in.pos;
        if (n > count)
            n = count;
        s_in.pos += n;
        count -= n;
    }
    return 1;
}

// Bytes of the file after the next unread one.
static uint64_t input_bytes_left(void)
{
    LONG end = _llseek(s_in.file, 0, FILE_END);
    _llseek(s_in.file, s_in.offset + (LONG)s_in.len, FILE_BEGIN);
    LONG used = s_in.offset + (LONG)s_in.pos;
    return end < 0 || end < used ? 0 : (uint64_t)(end - used);
}

// Most pixels bytes of LZW data can give. After a clear code the k-th code
// stands for at most k pixels (each new string is one longer than one before
// it) and takes the code size then in force, which grows with the table;
// once the table is full every code takes 12 bits and stands for at most the
// longest string. A clear code only starts this over.
static uint64_t gif_pixels_possible(uint64_t bytes, int min_size)
{
    uint64_t bits = (bytes < (1ull << 56) ? bytes : (1ull << 56)) * 8;
    int size = min_size + 1, limit = 1 << size, next = (1 << min_size) + 2;
    if (bits < (uint64_t)size)
        return 0;
    bits -= (uint64_t)size;  // the first code after a clear defines nothing
    uint64_t length = 1, pixels = 1;
    while (next < GIF_TABLE_ENTRIES) {
        if (bits < (uint64_t)size)
            return pixels;
        bits -= (uint64_t)size;
        pixels += ++length;
        if (++next == limit && size < 12) {
            ++size;
            limit <<= 1;
        }
    }
    return pixels + bits / (uint64_t)size * length;
}

// 1 after the zero-length terminator, 0 when the file ends first.
static int skip_gif_sub_blocks(void)
{
    for (;;) {
        int length = input_byte();
        if (length < 0)
            return 0;
        if (length == 0)
            return 1;
        if (!input_skip((uint32_t)length))
            return 0;
    }
}

static void show_gif_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
}

int alloc_gif_lzw_tables(void)
{
    free_gif_lzw_tables();
    s_hSuffixTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, GIF_TABLE_ENTRIES);
    s_hPrefixTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, GIF_TABLE_ENTRIES * sizeof(WORD));
    s_hStack = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, GIF_STACK_BYTES);
    if (s_hSuffixTable)
        g_gifSuffixTable = (BYTE*)GlobalLock(s_hSuffixTable);
    if (s_hPrefixTable)
        g_gifPrefixTable = (WORD*)GlobalLock(s_hPrefixTable);
    if (s_hStack)
        g_gifStack = (BYTE*)GlobalLock(s_hStack);
    if (!g_gifSuffixTable || !g_gifPrefixTable || !g_gifStack) {
        free_gif_lzw_tables();
        return 0;
    }
    return 1;
}

static void free_table(HGLOBAL* handle, void* locked)
{
    if (*handle) {
        if (locked)
            GlobalUnlock(*handle);
        GlobalFree(*handle);
        *handle = NULL;
    }
}

void free_gif_lzw_tables(void)
{
    free_table(&s_hStack, g_gifStack);
    free_table(&s_hPrefixTable, g_gifPrefixTable);
    free_table(&s_hSuffixTable, g_gifSuffixTable);
    g_gifStack = NULL;
    g_gifPrefixTable = NULL;
    g_gifSuffixTable = NULL;
}

BYTE* gif_interlaced_row(uint32_t stride, int32_t height, int32_t* row, int* pass,
                         BYTE* rowPointer, BYTE* topRowPointer)
{
    static const int32_t start[4] = {0, 4, 2, 1};
    static const int32_t step[4] = {8, 8, 4, 2};
    (void)rowPointer;
    int32_t next = *row + step[*pass & 3];
    while (next >= height) {
        if (*pass >= 3)
            return NULL;
        ++*pass;
        next = start[*pass];
    }
    *row = next;
    return topRowPointer - (size_t)next * stride;
}

static int is_gif_signature(const BYTE* h)
{
    return h[0] == 'G' && h[1] == 'I' && h[2] == 'F' && h[3] >= '0' && h[3] <= '9' &&
           h[4] >= '0' && h[4] <= '9' && h[5] >= 'A' && h[5] <= 'z';
}

static void read_colors(RGBQUAD* table, const BYTE* rgb, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        table[i].rgbRed = rgb[3 * i];
        table[i].rgbGreen = rgb[3 * i + 1];
        table[i].rgbBlue = rgb[3 * i + 2];
        table[i].rgbReserved = 0;
    }
}

static DWORD quad_as_dword(RGBQUAD q)
{
    return (DWORD)q.rgbBlue | (DWORD)q.rgbGreen << 8 | (DWORD)q.rgbRed << 16;
}

// A graphic control extension's 4 bytes into the values for a frame.
static void take_graphic_control(const BYTE* gce, BYTE* disposal, UINT* delay,
                                 int* hasTransparency, BYTE* transparentIndex,
                                 DWORD* transparentDisplayColor)
{
    *disposal = (BYTE)((gce[0] & 0x1C) >> 2);
    *delay = (UINT)(gce[1] | gce[2] << 8);
    if (gce[0] & 1) {
        *transparentIndex = gce[3];
        *transparentDisplayColor = quad_as_dword(s_workTable[gce[3]]);
        *hasTransparency = 1;
    } else {
        *hasTransparency = 0;
    }
}

// Gathers a comment extension whose first sub-block (length bytes) has been
// read into first; reads up to and including the terminator. 0 when the
// file ends first.
static int gather_comment(const BYTE* first, int length)
{
    uint32_t size = (uint32_t)length * 2 + 1;
    uint32_t used = 0;
    HGLOBAL hText = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!hText)
        return skip_gif_sub_blocks();
    char* text = (char*)GlobalLock(hText);
    if (!text) {
        GlobalFree(hText);
        return skip_gif_sub_blocks();
    }
    memcpy(text, first, (size_t)length);
    used = (uint32_t)length;
    int ok = 1;
    for (;;) {
        int n = input_byte();
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        BYTE block[255];
        if (input_read(block, (uint32_t)n) != (uint32_t)n) {
            ok = 0;
            break;
        }
        if (used + (uint32_t)n >= MAX_GIF_COMMENT_BYTES)
            continue;  // the rest is skipped; the text so far is kept
        if (used + (uint32_t)n + 1 > size) {
            uint32_t bigger = size * 2;
            if (bigger < used + (uint32_t)n + 1)
                bigger = used + (uint32_t)n + 1;
            GlobalUnlock(hText);
            HGLOBAL hBigger = GlobalReAlloc(hText, bigger, GMEM_MOVEABLE | GMEM_ZEROINIT);
            if (!hBigger) {
                text = (char*)GlobalLock(hText);
                ok = skip_gif_sub_blocks();
                break;
            }
            hText = hBigger;
            text = (char*)GlobalLock(hText);
            size = bigger;
        }
        memcpy(text + used, block, (size_t)n);
        used += (uint32_t)n;
        text[used] = '\0';
    }
    GlobalUnlock(hText);
    g_hComment = hText;
    return ok;
}

// Header, global colour table and the blocks up to the first image.
// Returns 1 at the image descriptor, 0 after a message or silently (as the
// reader's failure rules say).
static int read_gif_header(HWND owner, char* info, int* continuing, UINT* delay,
                           int* screenWidth, int* screenHeight, int* hasTransparency,
                           DWORD* backgroundColor, DWORD* transparentDisplayColor,
                           BYTE* transparentIndex, BYTE* disposal)
{
    BYTE header[13];
    input_seek(0);
    uint32_t got = input_read(header, sizeof header);
    if (got < sizeof header || !is_gif_signature(header)) {
        input_seek(128);  // a Macintosh (MacBinary) header before the file
        got = input_read(header, sizeof header);
        if (got == 0) {
            show_gif_error(owner, "File Read Error");
            return 0;
        }
        if (got < sizeof header || !is_gif_signature(header)) {
            show_gif_error(owner, "Unrecognized Bitmap Format");
            return 0;
        }
    }
    memcpy(s_version, header + 3, 3);
    s_version[3] = '\0';
    *screenWidth = header[6] | header[7] << 8;
    *screenHeight = header[8] | header[9] << 8;
    s_screenWidth = *screenWidth;
    s_screenHeight = *screenHeight;
    s_screenFitsData = (uint64_t)*screenWidth * (uint64_t)*screenHeight <=
                       gif_pixels_possible(input_bytes_left(), 2);
    BYTE packed = header[10];
    s_screenBits = (packed & 15) + 1;
    memset(s_workTable, 0, sizeof s_workTable);
    memset(s_globalTable, 0, sizeof s_globalTable);
    s_globalCount = 0;
    if (packed & 0x80) {
        uint32_t count = 1u << ((packed & 7) + 1);
        BYTE rgb[256 * 3];
        if (input_read(rgb, count * 3) != count * 3) {
            show_gif_error(owner, "File Read Error");
            return 0;
        }
        read_colors(s_globalTable, rgb, count);
        memcpy(s_workTable, s_globalTable, sizeof s_workTable);
        s_globalCount = count;
        *backgroundColor = quad_as_dword(s_globalTable[header[11]]);
    }

    for (;;) {
        int block = input_byte();
        if (block < 0) {
            show_gif_error(owner, "File Read Error");
            return 0;
        }
        if (block == 0x2C)
            return 1;
        if (block != 0x21) {
            *continuing = 0;
            return 0;
        }
        int label = input_byte();
        int length = label < 0 ? -1 : input_byte();
        BYTE data[255];
        if (length < 0 || input_read(data, (uint32_t)length) != (uint32_t)length) {
            *continuing = 0;
            return 0;
        }
        if (length == 0)
            continue;
        int is87 = strcmp(s_version, "87a") == 0;
        int is89 = strcmp(s_version, "89a") == 0;
        if (label == 0xF9 && length == 4 && (is87 || is89)) {
            take_graphic_control(data, disposal, delay, hasTransparency, transparentIndex,
                                 transparentDisplayColor);
        } else if (label == 0xFE && is89 && info && !g_hComment) {
            if (!gather_comment(data, length)) {
                show_gif_error(owner, "File Read Error");
                return 0;
            }
            continue;
        }
        if (!skip_gif_sub_blocks()) {
            show_gif_error(owner, "File Read Error");
            return 0;
        }
    }
}

// The next code of the current size; the end code at the terminator or the
// end of the file (a missing end code never makes the reader run on into
// what follows the image data).
static inline int read_gif_lzw_code(GifCodeReader* r, int size, int end_code)
{
    while (r->bit_count < size) {
        if (r->block_left == 0) {
            int length = input_byte();
            if (length <= 0) {
                if (length == 0)
                    r->saw_terminator = 1;
                else
                    r->saw_end_of_file = 1;
                return end_code;
            }
            r->block_left = length;
        }
        int b = input_byte();
        if (b < 0) {
            r->saw_end_of_file = 1;
            return end_code;
        }
        --r->block_left;
        r->bits |= (uint32_t)b << r->bit_count;
        r->bit_count += 8;
    }
    int code = (int)(r->bits & ((1u << size) - 1));
    r->bits >>= size;
    r->bit_count -= size;
    return code;
}

// Decodes the image data into the frame, top row first. Returns 0 when the
// file ended inside the data, else 1 with the data's terminator consumed.
static int decode_gif_pixels(int min_size, BITMAPINFOHEADER* bih, int interlaced, int kind,
                             BYTE* suffix, WORD* prefix, BYTE* stack)
{
    const int clear = 1 << min_size;
    const int end = clear + 1;
    int size = min_size + 1;
    int limit = 1 << size;
    int next = clear + 2;
    int prev = -1;  // no string yet: the first code after a clear
    int first = 0;  // first byte of the last string

    for (int i = 0; i < clear; ++i) {
        suffix[i] = (BYTE)i;
        prefix[i] = 0;
    }

    const int32_t width = bih->biWidth;
    const int32_t height = bih->biHeight;
    const uint32_t stride = dib_row_stride(width, 8);
    BYTE* top = dib_pixels(bih) + (size_t)(height - 1) * stride;
    BYTE* out = top;
    int32_t x = 0, row = 0, rows_done = 0;
    int pass = 0;
    int filled = 0;

    GifCodeReader reader = {0, 0, 0, 0, 0};
    while (!filled) {
        int code = read_gif_lzw_code(&reader, size, end);
        if (code == end)
            break;
        if (code == clear) {
            size = min_size + 1;
            limit = 1 << size;
            next = clear + 2;
            prev = -1;
            continue;
        }
        int sp = 0;
        if (prev < 0) {
            if (code >= next)
                code = 0;
            stack[sp++] = (BYTE)code;
            first = code;
            prev = code;
        } else {
            // A code past the one being defined is taken as that code, so
            // every entry's prefix stays below it and no chain can loop.
            int in_code = code < next ? code : next;
            if (code >= next) {
                stack[sp++] = (BYTE)first;
                code = prev;
            }
            while (code >= clear) {
                stack[sp++] = suffix[code];
                code = prefix[code];
            }
            first = suffix[code];
            stack[sp++] = (BYTE)first;
            if (next < GIF_TABLE_ENTRIES) {
                prefix[next] = (WORD)prev;
                suffix[next] = (BYTE)first;
                ++next;
                if (next == limit && size < 12) {
                    ++size;
                    limit <<= 1;
                }
            }
            prev = in_code;
        }
        while (sp > 0) {
            int32_t n = width - x;
            if (n > sp)
                n = sp;
            for (int32_t i = 0; i < n; ++i)
                out[x + i] = stack[sp - 1 - i];
            sp -= n;
            x += n;
            if (x < width)
                continue;
            x = 0;
            ++rows_done;
            if (kind == KIND_DIB)
                show_progress((double)rows_done / height, 1);
            if (interlaced) {
                out = gif_interlaced_row(stride, height, &row, &pass, out, top);
            } else {
                ++row;
                out = row < height ? top - (size_t)row * stride : NULL;
            }
            if (!out) {
                filled = 1;
                break;
            }
        }
    }
    s_framePixels = (uint64_t)rows_done * (uint64_t)width + (uint64_t)x;
    if (reader.saw_end_of_file)
        return 0;
    if (reader.saw_terminator)
        return 1;
    // Ended by the end code or a full image: skip what is left of the data.
    if (!input_skip((uint32_t)reader.block_left))
        return 0;
    return skip_gif_sub_blocks();
}

// After a frame: keep its graphic-control values for the next frame (unless
// only counting) and find the next image. Returns 1 when an image separator
// was read.
static int scan_to_next_image(int take_control)
{
    for (;;) {
        int block = input_byte();
        if (block < 0 || block == 0x3B)
            return 0;
        if (block == 0)
            continue;
        if (block == 0x2C)
            return 1;
        if (block == 0x21) {
            int label = input_byte();
            int length = label < 0 ? -1 : input_byte();
            BYTE data[255];
            if (length < 0 || input_read(data, (uint32_t)length) != (uint32_t)length)
                return 0;
            if (length == 0)
                continue;
            if (take_control && label == 0xF9 && length == 4 && strcmp(s_version, "89a") == 0)
                take_graphic_control(data, &s_next.disposal, &s_next.delay,
                                     &s_next.hasTransparency, &s_next.transparentIndex,
                                     &s_next.transparentDisplayColor);
            if (!skip_gif_sub_blocks())
                return 0;
            continue;
        }
        // Anything else is taken as the start of sub-blocks to pass over.
        if (!input_skip((uint32_t)block) || !skip_gif_sub_blocks())
            return 0;
    }
}

// Pixels one frame's LZW data really give, at most wanted; the data is
// decoded as decode_gif_pixels does, but only the string lengths are kept.
// 0 when the file ends inside the data.
static int count_gif_pixels(int min_size, uint64_t wanted, uint64_t* pixels)
{
    static WORD lengths[GIF_TABLE_ENTRIES];
    const int clear = 1 << min_size, end = clear + 1;
    int size = min_size + 1, limit = 1 << size, next = clear + 2, prev = -1;
    for (int i = 0; i < clear; ++i)
        lengths[i] = 1;
    GifCodeReader reader = {0, 0, 0, 0, 0};
    uint64_t got = 0;
    while (got < wanted) {
        int code = read_gif_lzw_code(&reader, size, end);
        if (code == end)
            break;
        if (code == clear) {
            size = min_size + 1;
            limit = 1 << size;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (prev < 0) {
            got += 1;
            prev = code < next ? code : 0;
            continue;
        }
        int in_code = code < next ? code : next;
        unsigned length = code < next ? lengths[code] : lengths[prev] + 1u;
        if (next < GIF_TABLE_ENTRIES) {
            lengths[next] = (WORD)(lengths[prev] + 1);
            if (++next == limit && size < 12) {
                ++size;
                limit <<= 1;
            }
        }
        got += length;
        prev = in_code;
    }
    *pixels = got < wanted ? got : wanted;
    if (reader.saw_end_of_file)
        return 0;
    if (reader.saw_terminator)
        return 1;
    return input_skip((uint32_t)reader.block_left) && skip_gif_sub_blocks();
}

// Pixels the frames from the file's position on really give, counted until
// wanted; the position is left as it was.
static uint64_t count_rest_of_gif(HFILE file, uint64_t wanted)
{
    LONG at = _llseek(file, 0, FILE_CURRENT);
    input_start(file);
    uint64_t total = 0;
    for (;;) {
        BYTE desc[9];
        if (input_read(desc, sizeof desc) != sizeof desc)
            break;
        uint64_t area = (uint64_t)(desc[4] | desc[5] << 8) * (uint64_t)(desc[6] | desc[7] << 8);
        int min_size = (desc[8] & 0x80) && !input_skip(3u << ((desc[8] & 7) + 1)) ? -1 : input_byte();
        if (min_size < 2 || min_size > 9)
            break;
        uint64_t pixels = 0;
        int complete = count_gif_pixels(min_size, area < wanted - total ? area : wanted - total, &pixels);
        total += pixels;
        if (total >= wanted || !complete || !scan_to_next_image(0))
            break;
    }
    _llseek(file, at, FILE_BEGIN);
    return total;
}

int gif_screen_fits_data(HFILE file)
{
    uint64_t screen = (uint64_t)s_screenWidth * (uint64_t)s_screenHeight;
    if (screen <= PIXEL_CEILING_FLOOR || screen <= s_framePixels)
        return 1;
    // A screen larger than all the data could give is refused at once; else
    // the frames after the first are counted, which ordinary animations
    // (whose first frame covers the screen) never need.
    return s_screenFitsData && s_framePixels + count_rest_of_gif(file, screen - s_framePixels) >= screen;
}

HGLOBAL read_gif_frame(HFILE file, HWND owner, char* info, int* continuing, UINT* delay,
                       int* frameLeft, int* frameTop, int* screenWidth, int* screenHeight,
                       int* hasTransparency, DWORD* backgroundColor,
                       DWORD* transparentDisplayColor, BYTE* transparentIndex, BYTE* disposal,
                       int* frameNumber, BYTE* suffixTable, WORD* prefixTable, BYTE* stack,
                       int kind)
{
    ++*frameNumber;
    if (!suffixTable || !prefixTable || !stack)
        return NULL;
    input_start(file);

    if (!*continuing) {
        if (!read_gif_header(owner, info, continuing, delay, screenWidth, screenHeight,
                             hasTransparency, backgroundColor, transparentDisplayColor,
                             transparentIndex, disposal)) {
            input_finish();
            return NULL;
        }
    } else {
        *disposal = s_next.disposal;
        *hasTransparency = s_next.hasTransparency;
        *transparentIndex = s_next.transparentIndex;
        *transparentDisplayColor = s_next.transparentDisplayColor;
        *delay = s_next.delay;
    }

    BYTE desc[9];
    if (input_read(desc, sizeof desc) != sizeof desc) {
        input_finish();
        show_gif_error(owner, "File Read Error");
        return NULL;
    }
    int left = desc[0] | desc[1] << 8;
    int top = desc[2] | desc[3] << 8;
    int width = desc[4] | desc[5] << 8;
    int height = desc[6] | desc[7] << 8;
    BYTE packed = desc[8];
    int has_local = (packed & 0x80) != 0;
    int interlaced = (packed & 0x40) != 0;
    uint32_t count;
    if (has_local) {
        count = 1u << ((packed & 7) + 1);
        BYTE rgb[256 * 3];
        if (input_read(rgb, count * 3) != count * 3) {
            memcpy(s_workTable, s_globalTable, sizeof s_workTable);
            input_finish();
            show_gif_error(owner, "File Read Error");
            return NULL;
        }
        read_colors(s_workTable, rgb, count);
    } else if (s_globalCount) {
        count = s_globalCount;
    } else {
        count = s_screenBits >= 8 ? 256 : 1u << s_screenBits;
    }

    int min_size = input_byte();
    if (min_size < 2 || min_size > 9) {
        memcpy(s_workTable, s_globalTable, sizeof s_workTable);
        input_finish();
        return NULL;
    }
    if ((uint64_t)width * (uint64_t)height > gif_pixels_possible(input_bytes_left(), min_size)) {
        memcpy(s_workTable, s_globalTable, sizeof s_workTable);
        input_finish();
        show_gif_error(owner, "File Read Error");
        return NULL;
    }
    *frameLeft = left;
    *frameTop = top;
    if (kind != KIND_ANIMATED_GIF)
        fit_image_rect(width, height, 1);

    HGLOBAL hFrame = create_packed_dib(width, height, 8, count);
    BITMAPINFOHEADER* bih = hFrame ? (BITMAPINFOHEADER*)GlobalLock(hFrame) : NULL;
    if (!bih) {
        if (hFrame)
            GlobalFree(hFrame);
        memcpy(s_workTable, s_globalTable, sizeof s_workTable);
        input_finish();
        show_gif_error(owner, "Memory Allocation Error");
        return NULL;
    }
    memcpy(dib_color_table(bih), s_workTable, count * sizeof(RGBQUAD));
    memcpy(s_workTable, s_globalTable, sizeof s_workTable);

    if (info && *frameNumber == 1) {
        int n = snprintf(info, INFO_TEXT_SIZE,
                         "image type: GIF \nversion: %s \nwidth: %d \nheight: %d \nplanes: %d "
                         "\ncolors: %d",
                         s_version, width, height, s_screenBits, (int)count);
        if (n > 0 && n < INFO_TEXT_SIZE && interlaced)
            n += snprintf(info + n, INFO_TEXT_SIZE - n, "\ninterlaced");
        if (n > 0 && n < INFO_TEXT_SIZE && has_local)
            snprintf(info + n, INFO_TEXT_SIZE - n, "\nlocal color map");
    }

    int data_complete = decode_gif_pixels(min_size, bih, interlaced, kind, suffixTable,
                                          prefixTable, stack);
    GlobalUnlock(hFrame);

    s_next.disposal = *disposal;
    s_next.hasTransparency = *hasTransparency;
    s_next.transparentIndex = *transparentIndex;
    s_next.transparentDisplayColor = *transparentDisplayColor;
    s_next.delay = *delay;
    *continuing = data_complete ? scan_to_next_image(1) : 0;
    input_finish();
    return hFrame;
}
