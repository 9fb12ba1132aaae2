// BMP/DIB readers: the Windows, OS/2 1.x and OS/2 2.0 headers, their
// run-length and modified-Huffman decoders and the buffered byte and bit
// reader they share. The code tables of the Huffman decoder are those of
// ITU-T T.4 one-dimensional coding.
//
// Everything a file states is checked before it is used: sizes are taken in
// 64 bits and refused past the DIB limits or past what the file's length can
// hold, the pixel data is read from the file header's offset, and every run
// stops at the end of its row. A file that ends early keeps the rows it
// holds; the rest stays zero.
#include "image/bmp_read.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"

static const char MSG_ALLOC_WINDOWS[] = "Memory allocation error";
static const char MSG_ALLOC_CODED[] = "Memory Allocation Error";
static const char MSG_READ[] = "File Read Error";
static const char MSG_FORMAT[] = "Unrecognized Bitmap Format";

enum { FILE_HEADER_SIZE = 14, READ_BUFFER_SIZE = 2048 };

// How much image a file may make us allocate: uncompressed rows may need at
// most RAW_EXPANSION times the pixel bytes the file holds (a truncated file
// still shows, a few header bytes claiming hundreds of megabytes do not);
// coded data expands by at most about 255 to 1 outside deltas, so it gets
// CODED_EXPANSION times its length plus a fixed allowance for blank areas.
#define RAW_EXPANSION 8u
#define CODED_EXPANSION 256u
#define CODED_ALLOWANCE (4u << 20)

enum {
    OS2_COMPRESSION_NONE = 0,
    OS2_COMPRESSION_RLE8 = 1,
    OS2_COMPRESSION_RLE4 = 2,
    OS2_COMPRESSION_HUFFMAN = 3,
    OS2_COMPRESSION_RLE24 = 4,
};

// ---------------------------------------------------------------------------
// Small helpers

static uint32_t get_u16(const BYTE* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}

static uint32_t get_u32(const BYTE* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static void show_read_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
}

static uint64_t file_length(HFILE hFile)
{
    LONG end = _llseek(hFile, 0, FILE_END);
    _llseek(hFile, 0, FILE_BEGIN);
    return end == HFILE_ERROR || end < 0 ? 0 : (uint64_t)end;
}

// Bytes actually read (0 on error).
static UINT read_bytes(HFILE hFile, void* buffer, UINT count)
{
    UINT got = _lread(hFile, buffer, count);
    return got == (UINT)HFILE_ERROR ? 0 : got;
}

static int seek_to(HFILE hFile, uint64_t offset)
{
    if (offset > 0x7FFFFFFF)
        return 0;
    return _llseek(hFile, (LONG)offset, FILE_BEGIN) == (LONG)offset;
}

// Where the rows of the new image are and how they are laid out.
typedef struct PixelArea {
    BYTE* bits;
    uint32_t stride;
    uint32_t width;
    uint32_t height;
    int bit_count;
} PixelArea;

static void set_pixel_area(PixelArea* area, BITMAPINFOHEADER* bih)
{
    area->bits = dib_pixels(bih);
    area->bit_count = bih->biBitCount;
    area->width = (uint32_t)bih->biWidth;
    area->height = (uint32_t)bih->biHeight;
    area->stride = dib_row_stride(bih->biWidth, bih->biBitCount);
}

static void report_row(uint32_t rows_done, uint32_t height)
{
    show_progress((double)rows_done / (double)height, 1);
}

// Turns rows stored top row first into the bottom-up order of a PackedDib.
static void flip_rows(const PixelArea* area)
{
    BYTE* top = area->bits;
    BYTE* bottom = area->bits + (size_t)(area->height - 1) * area->stride;
    while (top < bottom) {
        for (uint32_t i = 0; i < area->stride; ++i) {
            BYTE t = top[i];
            top[i] = bottom[i];
            bottom[i] = t;
        }
        top += area->stride;
        bottom -= area->stride;
    }
}

// Restores the image's invariants after raw rows came from a file: bits and
// bytes past the last pixel are 0, and an index beyond the colour table is
// taken as entry 0.
static void tidy_rows(BITMAPINFOHEADER* bih)
{
    PixelArea area;
    set_pixel_area(&area, bih);
    uint32_t row_bits = area.width * (uint32_t)area.bit_count;  // < 2^24, cannot overflow
    uint32_t row_bytes = (row_bits + 7) / 8;
    uint32_t entries = dib_color_count(bih);
    int remap = area.bit_count <= 8 && entries < (1u << area.bit_count);
    BYTE last_mask = (BYTE)(row_bits % 8 ? 0xFF << (8 - row_bits % 8) : 0xFF);
    for (uint32_t y = 0; y < area.height; ++y) {
        BYTE* row = area.bits + (size_t)y * area.stride;
        memset(row + row_bytes, 0, area.stride - row_bytes);
        row[row_bytes - 1] &= last_mask;
        if (!remap)
            continue;
        for (uint32_t x = 0; x < area.width; ++x) {
            if (dib_row_index(row, area.bit_count, (int32_t)x) < entries)
                continue;
            if (area.bit_count == 8)
                row[x] = 0;
            else if (area.bit_count == 4)
                row[x >> 1] &= (BYTE)((x & 1) ? 0xF0 : 0x0F);
            else
                row[x >> 3] &= (BYTE)~(0x80 >> (x & 7));
        }
    }
}

// ---------------------------------------------------------------------------
// Buffered byte and bit reader

typedef struct BmpByteReader {
    HFILE file;
    HGLOBAL hBuffer;
    BYTE* buffer;
    UINT fill;
    UINT pos;
    BYTE bit_byte;
    int bits_taken;  // of bit_byte, 8 when the next bit needs a new byte
} BmpByteReader;

// The read buffer; on failure "Memory Allocation Error" has been shown.
static int open_byte_reader(BmpByteReader* reader, HFILE hFile, HWND owner)
{
    memset(reader, 0, sizeof(*reader));
    reader->file = hFile;
    reader->bits_taken = 8;
    reader->hBuffer = GlobalAlloc(GMEM_MOVEABLE, READ_BUFFER_SIZE);
    reader->buffer = reader->hBuffer ? (BYTE*)GlobalLock(reader->hBuffer) : NULL;
    if (!reader->buffer) {
        if (reader->hBuffer)
            GlobalFree(reader->hBuffer);
        reader->hBuffer = NULL;
        show_read_error(owner, MSG_ALLOC_CODED);
        return 0;
    }
    return 1;
}

static void close_byte_reader(BmpByteReader* reader)
{
    if (reader->hBuffer) {
        GlobalUnlock(reader->hBuffer);
        GlobalFree(reader->hBuffer);
    }
    reader->hBuffer = NULL;
    reader->buffer = NULL;
}

// 1 with the next byte, 0 at the end of the data.
static int read_bmp_byte(BmpByteReader* reader, BYTE* byte)
{
    if (reader->pos >= reader->fill) {
        reader->fill = read_bytes(reader->file, reader->buffer, READ_BUFFER_SIZE);
        reader->pos = 0;
        if (reader->fill == 0)
            return 0;
    }
    *byte = reader->buffer[reader->pos++];
    return 1;
}

// 0 or 1, most significant bit of each byte first; -1 at the end of the data.
static int read_bmp_bit(BmpByteReader* reader)
{
    if (reader->bits_taken >= 8) {
        if (!read_bmp_byte(reader, &reader->bit_byte))
            return -1;
        reader->bits_taken = 0;
    }
    return (reader->bit_byte >> (7 - reader->bits_taken++)) & 1;
}

// ---------------------------------------------------------------------------
// Run-length decoders

static void put_rle_pixel(const PixelArea* area, BYTE* line, uint32_t x, const BYTE* value)
{
    if (x >= area->width)
        return;  // runs stop at the end of the row
    switch (area->bit_count) {
    case 8:
        line[x] = value[0];
        break;
    case 4:
        if (x & 1)
            line[x >> 1] = (BYTE)((line[x >> 1] & 0xF0) | (value[0] & 0x0F));
        else
            line[x >> 1] = (BYTE)((line[x >> 1] & 0x0F) | (value[0] << 4));
        break;
    case 24:
        memcpy(line + 3 * (size_t)x, value, 3);
        break;
    }
}

// The loop the RLE8, RLE4 and RLE24 decoders share; the first row of the
// data is row 0 of the area.
static void decode_run_length(BmpByteReader* reader, const PixelArea* area)
{
    const int triples = area->bit_count == 24;
    const int nibbles = area->bit_count == 4;
    uint32_t row = 0;
    uint32_t x = 0;
    BYTE* line = area->bits;
    BYTE count, value[3], pixel[3];

    for (;;) {
        if (!read_bmp_byte(reader, &count))
            return;
        if (count != 0) {
            int n_value = triples ? 3 : 1;
            for (int i = 0; i < n_value; ++i) {
                if (!read_bmp_byte(reader, &value[i]))
                    return;
            }
            for (uint32_t k = 0; k < count && x < area->width; ++k, ++x) {
                if (nibbles)
                    pixel[0] = (BYTE)((k & 1) ? value[0] & 0x0F : value[0] >> 4);
                else
                    memcpy(pixel, value, 3);
                put_rle_pixel(area, line, x, pixel);
            }
            continue;
        }
        BYTE escape;
        if (!read_bmp_byte(reader, &escape))
            return;
        if (escape == 0) {
            ++row;
            report_row(row, area->height);
            if (row >= area->height)
                return;
            line = area->bits + (size_t)row * area->stride;
            x = 0;
        } else if (escape == 1) {
            return;
        } else if (escape == 2) {
            BYTE dx, dy;
            if (!read_bmp_byte(reader, &dx) || !read_bmp_byte(reader, &dy))
                return;
            if (dy) {
                row += dy;
                report_row(row < area->height ? row : area->height, area->height);
                if (row >= area->height)
                    return;
                line = area->bits + (size_t)row * area->stride;
            }
            x = x + dx < area->width ? x + dx : area->width;
        } else {
            uint32_t data_bytes = triples ? 3u * escape : nibbles ? (escape + 1u) / 2 : escape;
            BYTE packed = 0;
            for (uint32_t k = 0; k < escape; ++k) {
                if (triples) {
                    for (int i = 0; i < 3; ++i) {
                        if (!read_bmp_byte(reader, &pixel[i]))
                            return;
                    }
                } else if (nibbles) {
                    if (!(k & 1) && !read_bmp_byte(reader, &packed))
                        return;
                    pixel[0] = (BYTE)((k & 1) ? packed & 0x0F : packed >> 4);
                } else if (!read_bmp_byte(reader, &pixel[0])) {
                    return;
                }
                put_rle_pixel(area, line, x, pixel);
                if (x < area->width)
                    ++x;
            }
            if (data_bytes & 1) {
                BYTE pad;
                if (!read_bmp_byte(reader, &pad))
                    return;
            }
        }
    }
}

static void decode_coded_rows(const PixelArea* area, HWND owner, HFILE hFile)
{
    BmpByteReader reader;
    if (!open_byte_reader(&reader, hFile, owner))
        return;  // the image comes back with zero pixels
    decode_run_length(&reader, area);
    close_byte_reader(&reader);
}

static void decode_bmp_rle8(const PixelArea* area, HWND owner, HFILE hFile)
{
    decode_coded_rows(area, owner, hFile);
}

static void decode_bmp_rle4(const PixelArea* area, HWND owner, HFILE hFile)
{
    decode_coded_rows(area, owner, hFile);
}

static void decode_os2_rle24(const PixelArea* area, HWND owner, HFILE hFile)
{
    decode_coded_rows(area, owner, hFile);
}

// ---------------------------------------------------------------------------
// Modified-Huffman decoder (ITU-T T.4, one-dimensional coding)

typedef struct HuffmanCode {
    const char* bits;
    uint16_t run;
} HuffmanCode;

// Terminating codes 0 to 63, then make-up codes 64 to 1728.
static const HuffmanCode WHITE_CODES[] = {
    {"00110101", 0},    {"000111", 1},      {"0111", 2},        {"1000", 3},
    {"1011", 4},        {"1100", 5},        {"1110", 6},        {"1111", 7},
    {"10011", 8},       {"10100", 9},       {"00111", 10},      {"01000", 11},
    {"001000", 12},     {"000011", 13},     {"110100", 14},     {"110101", 15},
    {"101010", 16},     {"101011", 17},     {"0100111", 18},    {"0001100", 19},
    {"0001000", 20},    {"0010111", 21},    {"0000011", 22},    {"0000100", 23},
    {"0101000", 24},    {"0101011", 25},    {"0010011", 26},    {"0100100", 27},
    {"0011000", 28},    {"00000010", 29},   {"00000011", 30},   {"00011010", 31},
    {"00011011", 32},   {"00010010", 33},   {"00010011", 34},   {"00010100", 35},
    {"00010101", 36},   {"00010110", 37},   {"00010111", 38},   {"00101000", 39},
    {"00101001", 40},   {"00101010", 41},   {"00101011", 42},   {"00101100", 43},
    {"00101101", 44},   {"00000100", 45},   {"00000101", 46},   {"00001010", 47},
    {"00001011", 48},   {"01010010", 49},   {"01010011", 50},   {"01010100", 51},
    {"01010101", 52},   {"00100100", 53},   {"00100101", 54},   {"01011000", 55},
    {"01011001", 56},   {"01011010", 57},   {"01011011", 58},   {"01001010", 59},
    {"01001011", 60},   {"00110010", 61},   {"00110011", 62},   {"00110100", 63},
    {"11011", 64},      {"10010", 128},     {"010111", 192},    {"0110111", 256},
    {"00110110", 320},  {"00110111", 384},  {"01100100", 448},  {"01100101", 512},
    {"01101000", 576},  {"01100111", 640},  {"011001100", 704}, {"011001101", 768},
    {"011010010", 832}, {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664},  {"010011011", 1728},
};

static const HuffmanCode BLACK_CODES[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},
    {"011", 4},            {"0011", 5},           {"0010", 6},           {"00011", 7},
    {"000101", 8},         {"000100", 9},         {"0000100", 10},       {"0000101", 11},
    {"0000111", 12},       {"00000100", 13},      {"00000111", 14},      {"000011000", 15},
    {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},
    {"00000010111", 24},   {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},
    {"000011001100", 28},  {"000011001101", 29},  {"000001101000", 30},  {"000001101001", 31},
    {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},  {"000011010011", 35},
    {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},
    {"000001010100", 44},  {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},
    {"000001100100", 48},  {"000001100101", 49},  {"000001010010", 50},  {"000001010011", 51},
    {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},  {"000000100111", 55},
    {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},
    {"0000001111", 64},    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448},
    {"0000001101100", 512},  {"0000001101101", 576},  {"0000001001010", 640},
    {"0000001001011", 704},  {"0000001001100", 768},  {"0000001001101", 832},
    {"0000001110010", 896},  {"0000001110011", 960},  {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216},
    {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600},
    {"0000001100100", 1664}, {"0000001100101", 1728},
};

// Extended make-up codes, the same for both colours.
static const HuffmanCode EXTENDED_CODES[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

enum { MAX_CODE_BITS = 13, CODE_SLOTS = 1 << MAX_CODE_BITS };
enum { RUN_END_OF_LINE = -1, RUN_INVALID = -2, RUN_END_OF_DATA = -3 };

// Per colour, per code length: the run of each code value, or -1. Built
// from the tables above on first use (the program has one thread).
static int16_t g_whiteRuns[MAX_CODE_BITS + 1][CODE_SLOTS];
static int16_t g_blackRuns[MAX_CODE_BITS + 1][CODE_SLOTS];
static int g_huffmanReady;

static void enter_codes(int16_t (*runs)[CODE_SLOTS], const HuffmanCode* codes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        size_t len = strlen(codes[i].bits);
        uint32_t value = 0;
        for (size_t b = 0; b < len; ++b)
            value = (value << 1) | (uint32_t)(codes[i].bits[b] - '0');
        runs[len][value] = (int16_t)codes[i].run;
    }
}

static void build_huffman_tables(void)
{
    if (g_huffmanReady)
        return;
    memset(g_whiteRuns, 0xFF, sizeof(g_whiteRuns));
    memset(g_blackRuns, 0xFF, sizeof(g_blackRuns));
    enter_codes(g_whiteRuns, WHITE_CODES, sizeof(WHITE_CODES) / sizeof(WHITE_CODES[0]));
    enter_codes(g_whiteRuns, EXTENDED_CODES, sizeof(EXTENDED_CODES) / sizeof(EXTENDED_CODES[0]));
    enter_codes(g_blackRuns, BLACK_CODES, sizeof(BLACK_CODES) / sizeof(BLACK_CODES[0]));
    enter_codes(g_blackRuns, EXTENDED_CODES, sizeof(EXTENDED_CODES) / sizeof(EXTENDED_CODES[0]));
    g_huffmanReady = 1;
}

// One run: make-up codes add up until a terminating code ends it. Eleven
// zero bits begin an end-of-line code, whatever fill zeros follow. A run
// longer than limit is returned as soon as it is known to be.
static int32_t decode_huffman_run(BmpByteReader* reader, int16_t (*runs)[CODE_SLOTS], uint32_t limit)
{
    uint32_t code = 0;
    int len = 0;
    int32_t total = 0;
    for (;;) {
        int bit = read_bmp_bit(reader);
        if (bit < 0)
            return RUN_END_OF_DATA;
        code = (code << 1) | (uint32_t)bit;
        ++len;
        if (code == 0 && len >= 11) {
            do {
                bit = read_bmp_bit(reader);
            } while (bit == 0);
            return bit < 0 ? RUN_END_OF_DATA : RUN_END_OF_LINE;
        }
        if (len > MAX_CODE_BITS)
            return RUN_INVALID;
        int32_t run = runs[len][code];
        if (run < 0)
            continue;
        total += run;
        if (run < 64 || (uint32_t)total > limit)
            return total;
        code = 0;
        len = 0;
    }
}

static int32_t decode_huffman_white_run(BmpByteReader* reader, uint32_t limit)
{
    return decode_huffman_run(reader, g_whiteRuns, limit);
}

static int32_t decode_huffman_black_run(BmpByteReader* reader, uint32_t limit)
{
    return decode_huffman_run(reader, g_blackRuns, limit);
}

static void set_black(BYTE* line, uint32_t x, uint32_t count)
{
    for (uint32_t end = x + count; x < end; ++x)
        line[x >> 3] |= (BYTE)(0x80 >> (x & 7));
}

// Rows alternate white and black runs, white first, across byte and row
// boundaries; set bits are black. Any broken code ends decoding, keeping
// the rows before it.
static void decode_huffman_rows(const PixelArea* area, HWND owner, HFILE hFile)
{
    BmpByteReader reader;
    if (!open_byte_reader(&reader, hFile, owner))
        return;
    build_huffman_tables();
    for (uint32_t row = 0; row < area->height; ++row) {
        report_row(row + 1, area->height);
        BYTE* line = area->bits + (size_t)row * area->stride;
        uint32_t x = 0;
        for (;;) {
            int32_t run = decode_huffman_white_run(&reader, area->width);
            if (run == RUN_END_OF_LINE) {
                if (x == 0)
                    continue;  // the end-of-line code that begins a row
                break;         // a row cut short: the rest stays white
            }
            if (run < 0 || (uint32_t)run > area->width - x)
                goto done;
            x += (uint32_t)run;
            if (x == area->width)
                break;
            run = decode_huffman_black_run(&reader, area->width);
            if (run == RUN_END_OF_LINE)
                break;
            if (run < 0 || (uint32_t)run > area->width - x)
                goto done;
            set_black(line, x, (uint32_t)run);
            x += (uint32_t)run;
            if (x == area->width)
                break;
        }
    }
done:
    close_byte_reader(&reader);
}

// ---------------------------------------------------------------------------
// Shared reading steps

// Uncompressed rows of file_stride bytes each, bottom row first unless
// top_down; each complete row or the part of one that the file holds.
// convert turns a raw row into the image's row (null: read in place).
typedef void (*RowConverter)(const BYTE* raw, UINT raw_bytes, BYTE* row, uint32_t width);

static void read_raw_rows(HFILE hFile, const PixelArea* area, uint32_t file_stride, int top_down,
                          RowConverter convert, BYTE* scratch)
{
    for (uint32_t i = 0; i < area->height; ++i) {
        report_row(i + 1, area->height);
        uint32_t y = top_down ? area->height - 1 - i : i;
        BYTE* row = area->bits + (size_t)y * area->stride;
        BYTE* target = convert ? scratch : row;
        UINT got = read_bytes(hFile, target, file_stride);
        if (convert)
            convert(scratch, got, row, area->width);
        if (got < file_stride)
            return;  // the rows the file lacks stay zero
    }
}

static void convert_565_row(const BYTE* raw, UINT raw_bytes, BYTE* row, uint32_t width)
{
    uint32_t n = raw_bytes / 2 < width ? raw_bytes / 2 : width;
    for (uint32_t x = 0; x < n; ++x) {
        uint32_t p = get_u16(raw + 2 * x);
        row[3 * x] = (BYTE)((p & 0x1F) * 255 / 31);
        row[3 * x + 1] = (BYTE)(((p & 0x07E0) >> 5) * 255 / 63);
        row[3 * x + 2] = (BYTE)(((p & 0xF800) >> 11) * 255 / 31);
    }
}

static void convert_101010_row(const BYTE* raw, UINT raw_bytes, BYTE* row, uint32_t width)
{
    uint32_t n = raw_bytes / 4 < width ? raw_bytes / 4 : width;
    for (uint32_t x = 0; x < n; ++x) {
        uint32_t p = get_u32(raw + 4 * x);
        uint32_t q = ((p & 0x3FC00000) >> 6) + ((p & 0x000FF000) >> 4) + ((p & 0x000003FC) >> 2);
        row[4 * x] = (BYTE)q;
        row[4 * x + 1] = (BYTE)(q >> 8);
        row[4 * x + 2] = (BYTE)(q >> 16);
        row[4 * x + 3] = 0;
    }
}

// Bit fields other than the layouts above: each channel by its mask, which
// must be one run of set bits, widened to 8 bits. Set before the rows are
// read (a row converter takes no context).
typedef struct ChannelField {
    uint32_t mask;
    int shift;
    uint32_t max;  // mask >> shift; 0 when the channel is absent
} ChannelField;

static struct {
    ChannelField field[4];  // red, green, blue, alpha
    int bytes_in;           // 2 or 4 per pixel in the file
    int bytes_out;          // 3 or 4 per pixel in the image
} s_fields;

// 0 when the mask is not one contiguous run (an empty mask is absent).
static int set_channel_field(ChannelField* field, uint32_t mask)
{
    field->mask = mask;
    field->shift = 0;
    field->max = 0;
    if (!mask)
        return 1;
    while (!((mask >> field->shift) & 1))
        ++field->shift;
    field->max = mask >> field->shift;
    return (field->max & (field->max + 1)) == 0;
}

static BYTE widen_channel(const ChannelField* field, uint32_t pixel)
{
    if (!field->max)
        return 0;
    uint32_t v = (pixel & field->mask) >> field->shift;
    return (BYTE)(((uint64_t)v * 255 + field->max / 2) / field->max);
}

static void convert_masked_row(const BYTE* raw, UINT raw_bytes, BYTE* row, uint32_t width)
{
    uint32_t n = raw_bytes / (UINT)s_fields.bytes_in;
    if (n > width)
        n = width;
    for (uint32_t x = 0; x < n; ++x) {
        const BYTE* in = raw + (size_t)x * s_fields.bytes_in;
        uint32_t p = s_fields.bytes_in == 2 ? get_u16(in) : get_u32(in);
        BYTE* out = row + (size_t)x * s_fields.bytes_out;
        out[0] = widen_channel(&s_fields.field[2], p);
        out[1] = widen_channel(&s_fields.field[1], p);
        out[2] = widen_channel(&s_fields.field[0], p);
        if (s_fields.bytes_out == 4)
            out[3] = widen_channel(&s_fields.field[3], p);
    }
}

// Colour table of the new image from entries of entry_size bytes (3 or 4)
// at the file's current position. keep_reserved keeps the fourth byte.
static int read_color_table(HFILE hFile, RGBQUAD* table, uint32_t entries, int entry_size,
                            int keep_reserved)
{
    BYTE raw[256 * 4];
    UINT bytes = entries * (UINT)entry_size;
    if (read_bytes(hFile, raw, bytes) != bytes)
        return 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const BYTE* e = raw + i * (uint32_t)entry_size;
        table[i].rgbBlue = e[0];
        table[i].rgbGreen = e[1];
        table[i].rgbRed = e[2];
        table[i].rgbReserved = entry_size == 4 && keep_reserved ? e[3] : 0;
    }
    return 1;
}

// The checks every reader makes before it allocates: dimensions, then the
// size against the limits, then against what the file can hold. Returns 1
// when the image may be made; else the message has been shown.
typedef struct ImagePlan {
    int64_t width;
    int64_t height;
    int bit_count;
    uint32_t table_entries;   // kept in the image
    uint64_t data_offset;     // first byte of the pixel data
    uint64_t file_length;
    int coded;                // run-length or Huffman data
    uint32_t file_stride;     // bytes of one row in the file (raw data)
    uint32_t file_bits;       // bits of one pixel in the file (raw data)
    uint32_t coded_ratio;     // most pixels a byte of the coding gives (coded data)
} ImagePlan;

// The densest packets of each coding, in pixels a byte: a run of 255
// pixels in 2 bytes (RLE8, RLE4) or 4 (RLE24); the 12-bit extended make-up
// code of 2560 pixels (Huffman).
enum { RLE_RATIO = 128, RLE24_RATIO = 64, HUFFMAN_RATIO = 1707 };

static int check_plan(const ImagePlan* plan, HWND owner, const char* alloc_message)
{
    if (plan->width <= 0 || plan->height <= 0) {
        show_read_error(owner, MSG_FORMAT);
        return 0;
    }
    if (plan->width > MAX_DIB_DIMENSION || plan->height > MAX_DIB_DIMENSION) {
        show_read_error(owner, alloc_message);
        return 0;
    }
    uint64_t block = dib_block_size((int32_t)plan->width, (int32_t)plan->height, plan->bit_count,
                                    plan->table_entries);
    if (block == 0) {
        show_read_error(owner, alloc_message);
        return 0;
    }
    if (plan->data_offset > plan->file_length) {
        show_read_error(owner, MSG_READ);
        return 0;
    }
    uint64_t available = plan->file_length - plan->data_offset;
    uint64_t needed = plan->coded ? block : (uint64_t)plan->file_stride * (uint64_t)plan->height;
    uint64_t allowed = plan->coded ? available * CODED_EXPANSION + CODED_ALLOWANCE
                                   : available * RAW_EXPANSION;
    if (plan->coded)
        narrow_pixel_ceiling(available, plan->coded_ratio);
    else
        narrow_pixel_ceiling_to_raw(available, plan->file_bits);
    if (needed > allowed || !pixels_fit_ceiling((uint64_t)plan->width * (uint64_t)plan->height)) {
        show_read_error(owner, MSG_READ);
        return 0;
    }
    return 1;
}

static HGLOBAL create_planned_image(const ImagePlan* plan, HWND owner, const char* alloc_message)
{
    uint32_t full = plan->bit_count <= 8 ? 1u << plan->bit_count : 0;
    uint32_t clr_used = plan->table_entries == full ? 0 : plan->table_entries;
    // The preview is laid out as soon as the size is known.
    fit_image_rect((int32_t)plan->width, (int32_t)plan->height, 1);
    HGLOBAL hDib = create_packed_dib((int32_t)plan->width, (int32_t)plan->height, plan->bit_count, clr_used);
    if (!hDib)
        show_read_error(owner, alloc_message);
    return hDib;
}

// Where the pixel data starts: the file header's offset when it lies past
// the headers and the colour table entries kept and inside the file, else
// right after the colour table as the file states it.
static uint64_t choose_data_offset(uint32_t bf_off_bits, uint64_t after_kept_table,
                                   uint64_t after_stated_table, uint64_t file_len)
{
    if (bf_off_bits >= after_kept_table && bf_off_bits <= file_len)
        return bf_off_bits;
    return after_stated_table;
}

// ---------------------------------------------------------------------------
// Windows reader

enum BitfieldLayout { LAYOUT_AS_STORED, LAYOUT_565, LAYOUT_101010, LAYOUT_MASKS, LAYOUT_UNSUPPORTED };

static HGLOBAL read_windows_bmp(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                                int* screen_width, int* screen_height, int header_size)
{
    BYTE head[FILE_HEADER_SIZE + 124];
    uint64_t file_len = file_length(hFile);
    UINT head_bytes = FILE_HEADER_SIZE + (UINT)header_size;
    if (read_bytes(hFile, head, head_bytes) != head_bytes) {
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    const BYTE* ih = head + FILE_HEADER_SIZE;
    uint32_t bf_off_bits = get_u32(head + 10);
    int32_t width = (int32_t)get_u32(ih + 4);
    int32_t raw_height = (int32_t)get_u32(ih + 8);
    uint32_t planes = get_u16(ih + 12);
    int bit_count = (int)get_u16(ih + 14);
    uint32_t compression = get_u32(ih + 16);
    uint32_t x_pels = get_u32(ih + 24);
    uint32_t y_pels = get_u32(ih + 28);
    uint32_t clr_used = get_u32(ih + 32);
    uint32_t clr_important = get_u32(ih + 36);
    int top_down = raw_height < 0;
    int64_t height = top_down ? -(int64_t)raw_height : raw_height;

    if (info) {
        snprintf(info, INFO_TEXT_SIZE,
                 "image type: Windows DIB \nwidth: %lu \nheight: %lu \nplanes: %d \nbit count: %d \n",
                 (unsigned long)(uint32_t)width, (unsigned long)height, (int)planes, bit_count);
        static const char* const NAMES[] = {"BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS"};
        if (compression <= 3)
            append_info_text(info, "compression: %s \n", NAMES[compression]);
    }
    int32_t shown_height = height > INT32_MAX ? INT32_MAX : (int32_t)height;
    fit_image_rect(width, shown_height, 1);
    *frame_left = 0;
    *frame_top = 0;
    *screen_width = width;
    *screen_height = shown_height;

    if (!is_valid_dib_bit_count(bit_count))
        return NULL;

    int run_length = compression == BI_RLE8 || compression == BI_RLE4;
    if (run_length && !((compression == BI_RLE8 && bit_count == 8) ||
                        (compression == BI_RLE4 && bit_count == 4)))
        return NULL;

    // Bit-field masks: inside the longer headers (the alpha mask from 56
    // bytes on), else after the header.
    int bitfields = compression == BI_BITFIELDS;
    uint32_t masks_in_file = bitfields && header_size == 40 ? 12 : 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (bitfields && header_size > 40) {
        for (int i = 0; i < 4; ++i)
            masks[i] = get_u32(ih + 40 + 4 * i);
    } else if (bitfields) {
        BYTE raw[12];
        if (read_bytes(hFile, raw, 12) != 12) {
            show_read_error(owner, MSG_READ);
            return NULL;
        }
        for (int i = 0; i < 3; ++i)
            masks[i] = get_u32(raw + 4 * i);
    }

    int layout = LAYOUT_AS_STORED;
    int image_bits = bit_count;
    if (bitfields && bit_count == 16) {
        if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F && !masks[3]) {
            append_info_text(info, "bitfields: 5 5 5 \n");
        } else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F && !masks[3]) {
            append_info_text(info, "bitfields: 5 6 5 \n");
            layout = LAYOUT_565;
            image_bits = 24;
        } else {
            layout = LAYOUT_MASKS;
            image_bits = masks[3] ? 32 : 24;
        }
    } else if (bitfields && bit_count == 32) {
        if (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF &&
            (!masks[3] || masks[3] == 0xFF000000)) {
            append_info_text(info, "bitfields: 8 8 8 \n");
        } else if (masks[0] == 0x3FF00000 && masks[1] == 0x000FFC00 && masks[2] == 0x000003FF &&
                   !masks[3]) {
            append_info_text(info, "bitfields: 10 10 10 \n");
            layout = LAYOUT_101010;
        } else {
            layout = LAYOUT_MASKS;
        }
    }
    if (layout == LAYOUT_MASKS) {
        int contiguous = 1;
        for (int i = 0; i < 4; ++i)
            contiguous &= set_channel_field(&s_fields.field[i], masks[i]);
        s_fields.bytes_in = bit_count / 8;
        s_fields.bytes_out = image_bits / 8;
        if (!contiguous || !(masks[0] | masks[1] | masks[2])) {
            append_info_text(info, "bitfields: not supported \n");
            layout = LAYOUT_UNSUPPORTED;
            image_bits = bit_count;
        } else {
            int widths[4];
            for (int i = 0; i < 4; ++i) {
                widths[i] = 0;
                for (uint32_t m = s_fields.field[i].max; m; m >>= 1)
                    ++widths[i];
            }
            append_info_text(info, masks[3] ? "bitfields: %d %d %d %d \n" : "bitfields: %d %d %d \n",
                        widths[0], widths[1], widths[2], widths[3]);
        }
    }

    // Colour table: the file may state more entries than the depth allows,
    // and deeper images may carry one; the image keeps at most 2^bits and
    // none above 8 bits.
    uint64_t stated_entries = clr_used ? clr_used : bit_count <= 8 ? 1u << bit_count : 0;
    uint32_t kept_entries = 0;
    if (bit_count <= 8)
        kept_entries = (uint32_t)(stated_entries < (1u << bit_count) ? stated_entries : 1u << bit_count);
    uint64_t table_pos = FILE_HEADER_SIZE + (uint64_t)header_size + masks_in_file;
    uint64_t after_kept = table_pos + 4 * (uint64_t)kept_entries;
    if (after_kept > file_len) {
        show_read_error(owner, MSG_READ);
        return NULL;
    }

    ImagePlan plan;
    plan.width = width;
    plan.height = height;
    plan.bit_count = image_bits;
    plan.table_entries = kept_entries;
    plan.file_length = file_len;
    plan.data_offset = choose_data_offset(bf_off_bits, after_kept, table_pos + 4 * stated_entries, file_len);
    plan.coded = run_length;
    plan.file_stride = dib_row_stride(width, bit_count);
    plan.file_bits = (uint32_t)bit_count;
    plan.coded_ratio = RLE_RATIO;
    const char* alloc_message = run_length ? MSG_ALLOC_CODED : MSG_ALLOC_WINDOWS;
    if (!check_plan(&plan, owner, alloc_message))
        return NULL;
    HGLOBAL hDib = create_planned_image(&plan, owner, alloc_message);
    if (!hDib)
        return NULL;

    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    bih->biXPelsPerMeter = (LONG)x_pels;
    bih->biYPelsPerMeter = (LONG)y_pels;
    bih->biClrImportant = clr_important <= kept_entries ? clr_important : 0;
    if (!seek_to(hFile, table_pos) ||
        !read_color_table(hFile, dib_color_table(bih), kept_entries, 4, !run_length)) {
        GlobalUnlock(hDib);
        GlobalFree(hDib);
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    PixelArea area;
    set_pixel_area(&area, bih);
    if (!seek_to(hFile, plan.data_offset)) {
        // Nothing to read: the image stays zero.
    } else if (run_length) {
        if (compression == BI_RLE8)
            decode_bmp_rle8(&area, owner, hFile);
        else
            decode_bmp_rle4(&area, owner, hFile);
        if (top_down)
            flip_rows(&area);
    } else if (layout == LAYOUT_565 || layout == LAYOUT_101010 || layout == LAYOUT_MASKS) {
        HGLOBAL hScratch = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, plan.file_stride);
        BYTE* scratch = hScratch ? (BYTE*)GlobalLock(hScratch) : NULL;
        if (scratch) {
            RowConverter convert = layout == LAYOUT_565      ? convert_565_row
                                   : layout == LAYOUT_101010 ? convert_101010_row
                                                             : convert_masked_row;
            read_raw_rows(hFile, &area, plan.file_stride, top_down, convert, scratch);
            GlobalUnlock(hScratch);
        }
        if (hScratch)
            GlobalFree(hScratch);
    } else if (layout == LAYOUT_AS_STORED) {
        read_raw_rows(hFile, &area, plan.file_stride, top_down, NULL, NULL);
    }
    if (!run_length)
        bih->biSizeImage = area.stride * area.height;
    tidy_rows(bih);
    GlobalUnlock(hDib);
    return hDib;
}

HGLOBAL read_bmp_file(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                      int* screen_width, int* screen_height, int header_size)
{
    HGLOBAL hDib = NULL;
    // 56- and 108-byte headers are the 124-byte layout cut short.
    if (header_size == 40 || header_size == 56 || header_size == 108 || header_size == 124) {
        _llseek(hFile, 0, FILE_BEGIN);
        hDib = read_windows_bmp(hFile, owner, info, frame_left, frame_top, screen_width,
                                screen_height, header_size);
    }
    _lclose(hFile);
    return hDib;
}

// ---------------------------------------------------------------------------
// OS/2 readers

static HGLOBAL read_os2_core(HFILE hFile, HWND owner, char* info)
{
    BYTE head[FILE_HEADER_SIZE + 12];
    uint64_t file_len = file_length(hFile);
    if (read_bytes(hFile, head, sizeof(head)) != sizeof(head)) {
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    const BYTE* ch = head + FILE_HEADER_SIZE;
    uint32_t bf_off_bits = get_u32(head + 10);
    uint32_t bc_size = get_u32(ch);
    uint32_t width = get_u16(ch + 4);
    uint32_t height = get_u16(ch + 6);
    uint32_t planes = get_u16(ch + 8);
    int bit_count = (int)get_u16(ch + 10);
    if (info) {
        snprintf(info, INFO_TEXT_SIZE,
                 "image type: OS/2 DIB \nwidth: %lu \nheight: %lu \nplanes: %d \nbit count: %d \n"
                 "compression: none \n",
                 (unsigned long)width, (unsigned long)height, (int)planes, bit_count);
        append_info_text(info, bit_count == 1 ? "colors: 2" : bit_count == 4 ? "colors: 16"
                          : bit_count == 8 ? "colors: 256" : "colors: 16.7 million");
    }
    fit_image_rect((int32_t)width, (int32_t)height, 1);
    // Other depths would leave the header and the rows disagreeing.
    if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24)
        return NULL;

    uint32_t entries = bit_count <= 8 ? 1u << bit_count : 0;
    uint64_t table_pos = FILE_HEADER_SIZE + (uint64_t)bc_size;
    uint64_t after_table = table_pos + 3 * (uint64_t)entries;
    // A file header offset that ends a whole number of entries inside the
    // table marks a short table: only those entries are read (the rest stay
    // black) and the rows start there. Any other offset inside the table is
    // taken as wrong and the rows follow the whole table.
    uint32_t file_entries = entries;
    if (bf_off_bits >= table_pos && bf_off_bits < after_table &&
        (bf_off_bits - table_pos) % 3 == 0) {
        file_entries = (uint32_t)((bf_off_bits - table_pos) / 3);
        after_table = table_pos + 3 * (uint64_t)file_entries;
    }
    ImagePlan plan;
    plan.width = width;
    plan.height = height;
    plan.bit_count = bit_count;
    plan.table_entries = entries;
    plan.file_length = file_len;
    plan.data_offset = after_table;
    if (bf_off_bits > plan.data_offset)
        plan.data_offset = bf_off_bits;
    plan.coded = 0;
    plan.file_stride = dib_row_stride((int32_t)width, bit_count);
    plan.file_bits = (uint32_t)bit_count;
    plan.coded_ratio = 0;
    if (after_table > file_len) {
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    if (!check_plan(&plan, owner, MSG_ALLOC_WINDOWS))
        return NULL;
    HGLOBAL hDib = create_planned_image(&plan, owner, MSG_ALLOC_WINDOWS);
    if (!hDib)
        return NULL;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    if (!seek_to(hFile, table_pos) ||
        !read_color_table(hFile, dib_color_table(bih), file_entries, 3, 0)) {
        GlobalUnlock(hDib);
        GlobalFree(hDib);
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    PixelArea area;
    set_pixel_area(&area, bih);
    if (seek_to(hFile, plan.data_offset))
        read_raw_rows(hFile, &area, plan.file_stride, 0, NULL, NULL);
    tidy_rows(bih);
    GlobalUnlock(hDib);
    return hDib;
}

HGLOBAL read_os2_bmp_file(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                          int* screen_width, int* screen_height)
{
    _llseek(hFile, 0, FILE_BEGIN);
    HGLOBAL hDib = read_os2_core(hFile, owner, info);
    _lclose(hFile);
    return hDib;
}

static HGLOBAL read_os2v2(HFILE hFile, HWND owner, char* info)
{
    BYTE head[FILE_HEADER_SIZE + 64];
    uint64_t file_len = file_length(hFile);
    if (read_bytes(hFile, head, sizeof(head)) != sizeof(head)) {
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    const BYTE* ih = head + FILE_HEADER_SIZE;
    uint32_t bf_off_bits = get_u32(head + 10);
    uint32_t width = get_u32(ih + 4);
    uint32_t height = get_u32(ih + 8);
    uint32_t planes = get_u16(ih + 12);
    int bit_count = (int)get_u16(ih + 14);
    uint32_t compression = get_u32(ih + 16);
    uint32_t clr_used = get_u32(ih + 32);
    uint32_t clr_important = get_u32(ih + 36);
    if (info) {
        static const char* const NAMES[] = {"none", "RLE 8", "RLE 4", "Huffman 1D", "RLE 24"};
        snprintf(info, INFO_TEXT_SIZE,
                 "image type: OS/2 2.0 DIB \nwidth: %lu \nheight: %lu \nplanes: %d \nbit count: %d \n"
                 "compression: %s \n",
                 (unsigned long)width, (unsigned long)height, (int)planes, bit_count,
                 compression <= 4 ? NAMES[compression] : "unknown");
    }
    fit_image_rect(width > INT32_MAX ? INT32_MAX : (int32_t)width,
                   height > INT32_MAX ? INT32_MAX : (int32_t)height, 1);
    if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24)
        return NULL;

    // A coding that does not fit the depth is not decoded: pixels stay zero.
    int decodable = compression == OS2_COMPRESSION_NONE ||
                    (compression == OS2_COMPRESSION_RLE8 && bit_count == 8) ||
                    (compression == OS2_COMPRESSION_RLE4 && bit_count == 4) ||
                    (compression == OS2_COMPRESSION_HUFFMAN && bit_count == 1) ||
                    (compression == OS2_COMPRESSION_RLE24 && bit_count == 24);
    int huffman = decodable && compression == OS2_COMPRESSION_HUFFMAN;
    uint64_t stated_entries = clr_used ? clr_used : bit_count <= 8 ? 1u << bit_count : 0;
    uint32_t kept_entries = 0;
    if (bit_count <= 8)
        kept_entries = (uint32_t)(stated_entries < (1u << bit_count) ? stated_entries : 1u << bit_count);
    uint32_t read_entries = kept_entries;
    if (huffman)
        kept_entries = 2;  // white and black, whatever the file holds
    uint64_t table_pos = FILE_HEADER_SIZE + 64;
    uint64_t after_read = table_pos + 4 * (uint64_t)read_entries;
    if (after_read > file_len) {
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    ImagePlan plan;
    plan.width = width;
    plan.height = height;
    plan.bit_count = bit_count;
    plan.table_entries = kept_entries;
    plan.file_length = file_len;
    plan.data_offset = bf_off_bits ? choose_data_offset(bf_off_bits, after_read,
                                                        table_pos + 4 * stated_entries, file_len)
                                   : table_pos + 4 * stated_entries;
    plan.coded = compression != OS2_COMPRESSION_NONE;
    plan.file_stride = dib_row_stride((int32_t)(width <= MAX_DIB_DIMENSION ? width : 0), bit_count);
    plan.file_bits = (uint32_t)bit_count;
    // A coding that is not decoded leaves the pixels zero: no data fills them.
    plan.coded_ratio = !decodable                                  ? 0
                       : compression == OS2_COMPRESSION_HUFFMAN ? HUFFMAN_RATIO
                       : compression == OS2_COMPRESSION_RLE24   ? RLE24_RATIO
                                                                : RLE_RATIO;
    if (!check_plan(&plan, owner, MSG_ALLOC_CODED))
        return NULL;
    HGLOBAL hDib = create_planned_image(&plan, owner, MSG_ALLOC_CODED);
    if (!hDib)
        return NULL;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    bih->biClrImportant = clr_important <= kept_entries ? clr_important : 0;
    RGBQUAD* table = dib_color_table(bih);
    if (!seek_to(hFile, table_pos) || !read_color_table(hFile, table, read_entries, 4, 0)) {
        GlobalUnlock(hDib);
        GlobalFree(hDib);
        show_read_error(owner, MSG_READ);
        return NULL;
    }
    PixelArea area;
    set_pixel_area(&area, bih);
    if (decodable && seek_to(hFile, plan.data_offset)) {
        switch (compression) {
        case OS2_COMPRESSION_NONE:
            read_raw_rows(hFile, &area, plan.file_stride, 0, NULL, NULL);
            break;
        case OS2_COMPRESSION_RLE8:
            decode_bmp_rle8(&area, owner, hFile);
            break;
        case OS2_COMPRESSION_RLE4:
            decode_bmp_rle4(&area, owner, hFile);
            break;
        case OS2_COMPRESSION_HUFFMAN:
            decode_huffman_rows(&area, owner, hFile);
            break;
        case OS2_COMPRESSION_RLE24:
            decode_os2_rle24(&area, owner, hFile);
            break;
        }
    }
    if (huffman) {
        memset(&table[0], 0xFF, sizeof(RGBQUAD));
        memset(&table[1], 0x00, sizeof(RGBQUAD));
    }
    tidy_rows(bih);
    GlobalUnlock(hDib);
    return hDib;
}

HGLOBAL read_os2v2_bmp_file(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                            int* screen_width, int* screen_height)
{
    _llseek(hFile, 0, FILE_BEGIN);
    HGLOBAL hDib = read_os2v2(hFile, owner, info);
    _lclose(hFile);
    return hDib;
}
