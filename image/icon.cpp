// ICO and CUR entries (see icon.h). The directory's sizes and offsets are
// checked against the file before anything is allocated; a damaged entry
// gives the reader's message, never a read past the data. A PNG entry is
// copied out by its offset and size and read by the PNG reader.
#include "image/icon.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "formats/png.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/loader_shared.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "image/temp_file.h"

int g_iconFileType = 5;

enum { ICON_DIR_SIZE = 6, ICON_ENTRY_SIZE = 16, PNG_HEAD_SIZE = 33, DEFLATE_MAX_RATIO = 1032 };

static HGLOBAL icon_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
    return NULL;
}

static int read_at(HFILE file, uint64_t offset, void* buffer, UINT length)
{
    if (offset > 0x7FFFFFFF || _llseek(file, (LONG)offset, FILE_BEGIN) != (LONG)offset)
        return 0;
    return _lread(file, buffer, length) == length;
}

HPALETTE create_icon_palette(HGLOBAL hImage, HWND hwnd)
{
    BITMAPINFOHEADER* bih = hImage ? (BITMAPINFOHEADER*)GlobalLock(hImage) : NULL;
    if (!bih)
        return NULL;
    HPALETTE palette = NULL;
    uint32_t count = dib_color_count(bih);
    if (bih->biBitCount <= 8 && count) {
        struct {
            WORD version, count;
            PALETTEENTRY entries[256];
        } log = {0x300, (WORD)count, {}};
        const RGBQUAD* table = dib_color_table(bih);
        for (uint32_t i = 0; i < count; ++i) {
            log.entries[i].peRed = table[i].rgbRed;
            log.entries[i].peGreen = table[i].rgbGreen;
            log.entries[i].peBlue = table[i].rgbBlue;
        }
        palette = CreatePalette((LOGPALETTE*)&log);
    }
    GlobalUnlock(hImage);
    return palette;
}

int find_exact_palette_index(HPALETTE palette, COLORREF colour)
{
    if (!palette)
        return -1;
    UINT index = GetNearestPaletteIndex(palette, colour);
    PALETTEENTRY entry;
    if (index == CLR_INVALID || GetPaletteEntries(palette, index, 1, &entry) != 1)
        return -1;
    return entry.peRed == GetRValue(colour) && entry.peGreen == GetGValue(colour) &&
                   entry.peBlue == GetBValue(colour)
               ? (int)index
               : -1;
}

// A 32 x 32 image of the background colour, for entries that are neither a
// bitmap nor a PNG.
static HGLOBAL make_swatch(void)
{
    HGLOBAL hDib = create_dib24(32, 32);
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih)
        return hDib;
    const BYTE* rgb = g_backgroundColors[g_backgroundColorIndex];
    BYTE* p = dib_pixels(bih);
    for (uint32_t i = 0; i < 32u * 32u; ++i, p += 3) {
        p[0] = rgb[2];
        p[1] = rgb[1];
        p[2] = rgb[0];
    }
    GlobalUnlock(hDib);
    return hDib;
}

// Copies size bytes at offset of file into a new file at path; 1 when all
// of them were written.
static int copy_entry(HFILE file, uint64_t offset, uint32_t size, const char* path)
{
    FILE* out = fopen(path, "wb");
    if (!out)
        return 0;
    int ok = offset <= 0x7FFFFFFF && _llseek(file, (LONG)offset, FILE_BEGIN) == (LONG)offset;
    char chunk[16384];
    for (uint32_t left = size; ok && left > 0;) {
        UINT n = left < sizeof chunk ? left : (UINT)sizeof chunk;
        ok = _lread(file, chunk, n) == n && fwrite(chunk, 1, n, out) == n;
        left -= n;
    }
    return fclose(out) == 0 && ok;
}

// The CRC-32 of PNG chunks (polynomial 0xEDB88320), bit by bit: it is run
// over one header only.
static uint32_t png_crc(const BYTE* bytes, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? crc >> 1 ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// Whether the pixels a PNG header declares (a filter byte per row
// included) can come from data_size bytes: deflate gives at most 1032 bytes
// for one. A header that is not one, or fails its check, is left to the
// PNG reader's message.
static int png_fits_its_data(const BYTE head[PNG_HEAD_SIZE], uint32_t data_size)
{
    static const BYTE SIGNATURE[12] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
    uint32_t stored_crc = (uint32_t)head[29] << 24 | head[30] << 16 | head[31] << 8 | head[32];
    if (memcmp(head, SIGNATURE, sizeof SIGNATURE) || memcmp(head + 12, "IHDR", 4) ||
        png_crc(head + 12, 17) != stored_crc)
        return 1;
    uint32_t width = (uint32_t)head[16] << 24 | head[17] << 16 | head[18] << 8 | head[19];
    uint32_t height = (uint32_t)head[20] << 24 | head[21] << 16 | head[22] << 8 | head[23];
    static const int CHANNELS[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
    int depth = head[24], channels = head[25] < 7 ? CHANNELS[head[25]] : 0;
    if (width == 0 || height == 0 || !channels || depth > 16)
        return 1;
    uint64_t row_bytes = 1 + ((uint64_t)width * channels * depth + 7) / 8;
    uint64_t limit = (uint64_t)data_size * DEFLATE_MAX_RATIO;
    return row_bytes <= limit && height <= limit / row_bytes;
}

// A PNG entry through a temporary copy of its bytes; the handle stays open
// at the position it had. The PNG reader shows its own message when the
// data are not a PNG it can read.
static HGLOBAL read_png_entry(HWND owner, HFILE file, uint64_t data_at, uint32_t data_size, char* info,
                              int ani_frame, int entries)
{
    seam_beep((UINT)-1);
    LONG position = _llseek(file, 0, FILE_CURRENT);
    // A picture larger than its bytes can hold is refused before the PNG
    // reader allocates it.
    BYTE head[PNG_HEAD_SIZE];
    int readable = data_size >= PNG_HEAD_SIZE && read_at(file, data_at, head, sizeof head);
    _llseek(file, position, FILE_BEGIN);
    if (!readable)
        return icon_error(owner, "Error Reading Icon File");
    if (!png_fits_its_data(head, data_size))
        return icon_error(owner, "Memory Allocation Error");
    char* temp = make_temp_file_name();
    if (!temp)
        return icon_error(owner, "Error Reading Icon File");
    // The entry's own bytes bound its picture, not the whole file's.
    PixelCeiling outer = begin_pixel_ceiling(data_size, reader_pixels_per_byte(IDENT_PNG));
    int copied = copy_entry(file, data_at, data_size, temp);
    _llseek(file, position, FILE_BEGIN);
    HGLOBAL image = NULL;
    if (copied) {
        // Later frames of an animated cursor keep the text of the first.
        char* text = ani_frame <= 1 ? info : NULL;
        if (text) {
            text[0] = '\0';
            if (ani_frame == 0)
                append_info_text(text, "VISTA ICON \n# icons in file: %d \n", entries);
        }
        show_progress(0, 0);
        image = read_png_file(temp, text);
        show_progress(0, 0);
        if (image && !g_disableAlpha)
            flatten_alpha_onto_background(&image, g_backgroundColorIndex);
    } else {
        icon_error(owner, "Error Reading Icon File");
    }
    delete_temp_file(temp);
    end_pixel_ceiling(outer);
    return image;
}

static int mask_bit(const BYTE* mask_row, int32_t x)
{
    return (mask_row[x >> 3] >> (7 - (x & 7))) & 1;
}

static void put_bgr(BYTE* p, BYTE red, BYTE green, BYTE blue)
{
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

// The picture over the background: opaque pixels (mask 0) keep their
// colour, transparent ones show the background, or for a cursor pixel of a
// non-zero index the background inverted.
static HGLOBAL render_over_background(BITMAPINFOHEADER* colour, BITMAPINFOHEADER* mask, int is_cursor)
{
    int32_t width = colour->biWidth, height = colour->biHeight;
    HGLOBAL hOut = create_dib24(width, height);
    BITMAPINFOHEADER* out = hOut ? (BITMAPINFOHEADER*)GlobalLock(hOut) : NULL;
    if (!out)
        return hOut;
    const BYTE* bg = g_backgroundColors[g_backgroundColorIndex];
    uint32_t in_stride = dib_row_stride(width, colour->biBitCount);
    uint32_t mask_stride = dib_row_stride(width, 1), out_stride = dib_row_stride(width, 24);
    int bits = colour->biBitCount;
    for (int32_t y = 0; y < height; ++y) {
        const BYTE* in = dib_pixels(colour) + (size_t)y * in_stride;
        const BYTE* m = dib_pixels(mask) + (size_t)y * mask_stride;
        BYTE* o = dib_pixels(out) + (size_t)y * out_stride;
        for (int32_t x = 0; x < width; ++x, o += 3) {
            uint32_t index = bits <= 8 ? dib_row_index(in, bits, x) : 0;
            if (mask_bit(m, x)) {
                if (is_cursor && bits <= 8 && index != 0)
                    put_bgr(o, (BYTE)(255 - bg[0]), (BYTE)(255 - bg[1]), (BYTE)(255 - bg[2]));
                else
                    put_bgr(o, bg[0], bg[1], bg[2]);
            } else if (bits <= 8) {
                RGBQUAD q = dib_table_entry(colour, index);
                put_bgr(o, q.rgbRed, q.rgbGreen, q.rgbBlue);
            } else if (bits == 16) {
                unsigned v = in[2 * x] | in[2 * x + 1] << 8;
                put_bgr(o, (BYTE)(((v >> 10) & 31) << 3), (BYTE)(((v >> 5) & 31) << 3), (BYTE)((v & 31) << 3));
            } else {
                memcpy(o, in + x * (bits / 8), 3);
            }
        }
    }
    GlobalUnlock(hOut);
    return hOut;
}

// Transparent pixels of a 4- or 8-bit image take the table's entry of the
// background colour; 0 when the table has no such entry.
static int mask_into_palette(HGLOBAL hColour, BITMAPINFOHEADER* colour, BITMAPINFOHEADER* mask)
{
    HPALETTE palette = create_icon_palette(hColour, NULL);
    const BYTE* bg = g_backgroundColors[g_backgroundColorIndex];
    int index = find_exact_palette_index(palette, RGB(bg[0], bg[1], bg[2]));
    if (palette)
        DeleteObject(palette);
    if (index < 0)
        return 0;
    int32_t width = colour->biWidth;
    uint32_t stride = dib_row_stride(width, colour->biBitCount), mask_stride = dib_row_stride(width, 1);
    for (int32_t y = 0; y < colour->biHeight; ++y) {
        BYTE* row = dib_pixels(colour) + (size_t)y * stride;
        const BYTE* m = dib_pixels(mask) + (size_t)y * mask_stride;
        for (int32_t x = 0; x < width; ++x) {
            if (!mask_bit(m, x))
                continue;
            if (colour->biBitCount == 8)
                row[x] = (BYTE)index;
            else
                row[x >> 1] = (BYTE)((x & 1) ? (row[x >> 1] & 0xF0) | index : (row[x >> 1] & 0x0F) | index << 4);
        }
    }
    return 1;
}

static int has_alpha(BITMAPINFOHEADER* bih)
{
    const BYTE* p = dib_pixels(bih);
    size_t pixels = (size_t)bih->biWidth * bih->biHeight;
    for (size_t i = 0; i < pixels; ++i)
        if (p[4 * i + 3])
            return 1;
    return 0;
}

static void write_icon_info(char* info, int ani_frame, int count, int32_t width, int32_t height, int bits)
{
    if (ani_frame > 1)
        return;
    if (ani_frame == 1)
        append_info_text(info, g_iconIsCursor ? "image type: animated cursor \n" : "image type: animated icon \n");
    else if (g_iconIsCursor)
        append_info_text(info, "image type: Cursor \n# cursors in file: %d \n", count);
    else if (width == 256 || height == 256)
        append_info_text(info, "VISTA ICON \n# icons in file: %d \n", count);
    else
        append_info_text(info, "image type: ICON \n# icons in file: %d \n", count);
    append_info_text(info, "width: %lu \nheight: %lu \nbits per pixel: %d \n", (unsigned long)width,
                (unsigned long)height, bits);
}

uint32_t icon_entry_data_size(HFILE file, uint32_t base_offset)
{
    BYTE head[ICON_DIR_SIZE + ICON_ENTRY_SIZE];
    if (!read_at(file, base_offset, head, sizeof head) || (head[4] | head[5] << 8) == 0)
        return 0;
    const BYTE* size = head + ICON_DIR_SIZE + 8;
    return size[0] | size[1] << 8 | size[2] << 16 | (uint32_t)size[3] << 24;
}

// Reads one entry under the file's ceiling: icon pages step on through the
// open handle after the loader's read has ended.
static HGLOBAL read_icon_entry(HWND owner, HGLOBAL* mask, char* info, HFILE* file, int* count, int* index,
                               uint32_t base_offset, int ani_frame, int kind, uint64_t file_size);

HGLOBAL read_icon_file(HWND owner, HGLOBAL* mask, char* info, HFILE* file, int* count, int* index,
                       uint32_t base_offset, int ani_frame, int kind)
{
    LONG end = _llseek(*file, 0, FILE_END);
    uint64_t file_size = end < 0 ? 0 : (uint64_t)end;
    PixelCeiling outer = begin_pixel_ceiling(file_size, reader_pixels_per_byte(IDENT_ICON));
    HGLOBAL image = read_icon_entry(owner, mask, info, file, count, index, base_offset, ani_frame, kind, file_size);
    end_pixel_ceiling(outer);
    return image;
}

static HGLOBAL read_icon_entry(HWND owner, HGLOBAL* mask, char* info, HFILE* file, int* count, int* index,
                               uint32_t base_offset, int ani_frame, int kind, uint64_t file_size)
{
    HFILE f = *file;
    BYTE dir[ICON_DIR_SIZE];
    if (!read_at(f, base_offset, dir, sizeof dir))
        return icon_error(owner, "Error Reading Icon File");
    int type = dir[2] | dir[3] << 8;
    int entries = dir[4] | dir[5] << 8;
    g_iconIsCursor = type == 2;
    g_iconFileType = g_iconIsCursor ? 6 : 5;
    *count = entries;
    if (*index < 1 || *index > entries)
        *index = 1;
    BYTE entry[ICON_ENTRY_SIZE];
    if (entries < 1 || !read_at(f, (uint64_t)base_offset + ICON_DIR_SIZE + (uint64_t)ICON_ENTRY_SIZE * (*index - 1),
                                entry, sizeof entry))
        return icon_error(owner, "Error Reading Icon File");
    int32_t width = entry[0] ? entry[0] : 256, height = entry[1] ? entry[1] : 256;
    uint32_t data_size = entry[8] | entry[9] << 8 | entry[10] << 16 | (uint32_t)entry[11] << 24;
    uint64_t data_at = (uint64_t)base_offset + (entry[12] | entry[13] << 8 | entry[14] << 16 | (uint32_t)entry[15] << 24);
    if (data_at > file_size || data_size > file_size - data_at)
        return icon_error(owner, "Error Reading Icon File");

    BYTE head[DIB_HEADER_SIZE];
    if (!read_at(f, data_at, head, 1))
        return icon_error(owner, "Error Reading Icon File");
    // Taken as PNG at any size: writers store PNG entries below 256 too.
    if (head[0] == 0x89)
        return read_png_entry(owner, f, data_at, data_size, info, ani_frame, entries);
    if (head[0] != 0x28) {
        if (!entry[0] || !entry[1])
            return make_swatch();
        return icon_error(owner, "Error Reading Icon File");
    }
    if (!read_at(f, data_at, head, sizeof head))
        return icon_error(owner, "Error Reading Icon File");
    int bits = head[14] | head[15] << 8;
    if (!is_valid_dib_bit_count(bits))
        return NULL;

    uint32_t colours = bits <= 8 ? 1u << bits : 0;
    uint64_t colour_bytes = (uint64_t)dib_row_stride(width, bits) * height;
    uint64_t mask_bytes = (uint64_t)dib_row_stride(width, 1) * height;
    uint64_t table_bytes = (uint64_t)colours * 4;
    if (DIB_HEADER_SIZE + table_bytes + colour_bytes > data_size)
        return icon_error(owner, "Error Reading Icon File");
    HGLOBAL hColour = create_packed_dib(width, height, bits, 0);
    HGLOBAL hMask = create_packed_dib(width, height, 1, 0);
    BITMAPINFOHEADER* colour = hColour ? (BITMAPINFOHEADER*)GlobalLock(hColour) : NULL;
    BITMAPINFOHEADER* m = hMask ? (BITMAPINFOHEADER*)GlobalLock(hMask) : NULL;
    if (!colour || !m) {
        if (colour)
            GlobalUnlock(hColour);
        if (m)
            GlobalUnlock(hMask);
        if (hColour)
            GlobalFree(hColour);
        if (hMask)
            GlobalFree(hMask);
        return icon_error(owner, "Memory Allocation Error");
    }
    // The table and the colour rows sit right behind the file's header.
    int ok = read_at(f, data_at + DIB_HEADER_SIZE, dib_color_table(colour), (UINT)(table_bytes + colour_bytes));
    RGBQUAD* mask_table = dib_color_table(m);
    mask_table[1].rgbRed = mask_table[1].rgbGreen = mask_table[1].rgbBlue = 255;
    int alpha = ok && bits == 32 && has_alpha(colour);
    // 32-bit entries with alpha may end without a mask.
    if (ok && !alpha)
        ok = data_at + DIB_HEADER_SIZE + table_bytes + colour_bytes + mask_bytes <= file_size &&
             _lread(f, dib_pixels(m), (UINT)mask_bytes) == mask_bytes;
    if (!ok) {
        GlobalUnlock(hColour);
        GlobalUnlock(hMask);
        GlobalFree(hColour);
        GlobalFree(hMask);
        return icon_error(owner, "Error Reading Icon File");
    }
    write_icon_info(info, ani_frame, entries, width, height, bits);
    if (ani_frame == 1 || (ani_frame == 0 && kind != KIND_ICON_PAGES))
        fit_image_rect(width, height, 1);

    HGLOBAL result = hColour;
    if (!info && mask) {
        GlobalUnlock(hMask);
        *mask = hMask;
        hMask = NULL;
    } else if (alpha) {
        GlobalUnlock(hMask);
        GlobalFree(hMask);
        hMask = NULL;
        GlobalUnlock(hColour);
        if (!g_disableAlpha)
            flatten_alpha_onto_background(&result, g_backgroundColorIndex);
        return result;
    } else if ((bits == 4 || bits == 8) && !g_iconIsCursor) {
        if (!mask_into_palette(hColour, colour, m))
            result = NULL;
    } else {
        result = NULL;
    }
    if (!result) {
        // Drawn over the background as a 24-bit image.
        result = render_over_background(colour, m, g_iconIsCursor && bits <= 8);
        GlobalUnlock(hColour);
        GlobalFree(hColour);
        if (!result) {
            GlobalUnlock(hMask);
            GlobalFree(hMask);
            return icon_error(owner, "Memory Allocation Error");
        }
    } else {
        GlobalUnlock(hColour);
    }
    if (hMask) {
        GlobalUnlock(hMask);
        GlobalFree(hMask);
    }
    return result;
}
