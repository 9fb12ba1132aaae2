// PCX reader and writer (see pcx.h). Every scan line is first decoded into
// one buffer holding all its plane lines, so a run that crosses from one
// plane into the next is split naturally and a run never passes the line.
#include "image/pcx.h"

#include <stdarg.h>
#include <string.h>

#include "image/byte_order.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"

enum { PCX_HEADER_SIZE = 128, PCX_PALETTE_TAIL = 769, PCX_MAX_RUN = 63 };

void begin_buffered_read(BufferedFile* in, HFILE file)
{
    in->file = file;
    in->position = in->fill = 0;
}

int read_buffered_byte(BufferedFile* in, BYTE* value)
{
    if (in->position == in->fill) {
        UINT got = _lread(in->file, in->buffer, sizeof in->buffer);
        if (got == 0 || got == (UINT)HFILE_ERROR)
            return 0;
        in->fill = got;
        in->position = 0;
    }
    *value = in->buffer[in->position++];
    return 1;
}

static const BYTE PCX_DEFAULT_COLOURS[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

static void show_read_error(HWND owner, const char* text)
{
    seam_message_box(owner, text, NULL, MB_OK | MB_ICONSTOP);
}

struct PcxLayout {
    int bits;          // bits per pixel of the result
    uint32_t colours;  // table entries of the result
    const char* colour_line;
};

// 0 for a combination of bits per pixel and planes that is not read.
static int choose_pcx_layout(int bpp, int planes, PcxLayout* out)
{
    int product = bpp * planes;
    if (bpp == 8 && (planes == 3 || planes == 4)) {
        *out = {planes * 8, 0, "colors: 16.7 million"};
    } else if (bpp == 16 && planes == 1) {
        *out = {16, 0, "colors: 65,536"};
    } else if (bpp == 8 && planes == 1) {
        *out = {8, 256, "colors: 256"};
    } else if ((bpp == 1 || bpp == 2 || bpp == 4) && planes >= 1 && product <= 4) {
        if (product == 1)
            *out = {1, 2, "colors: 2"};
        else if (product == 2)
            *out = {4, 4, "colors: 4"};
        else if (product == 3)
            *out = {4, 8, "colors: 8"};
        else
            *out = {4, 16, "colors: 16"};
    } else {
        return 0;
    }
    return 1;
}

// One scan line (all its plane lines) into line; 0 when the file ended.
static int decode_pcx_line(BufferedFile* in, BYTE* line, size_t length)
{
    size_t x = 0;
    while (x < length) {
        BYTE b;
        if (!read_buffered_byte(in, &b))
            return 0;
        size_t count = 1;
        if ((b & 0xC0) == 0xC0) {
            count = b & 0x3F;
            if (!read_buffered_byte(in, &b))
                return 0;
        }
        if (count > length - x)
            count = length - x;  // the rest of the run is dropped
        memset(line + x, b, count);
        x += count;
    }
    return 1;
}

// 16-bit lines code whole pixels: a count byte precedes a low and a high
// byte, any other byte is a pixel's low byte. 0 when the file ended.
static int decode_pcx16_line(BufferedFile* in, BYTE* row, uint32_t width, size_t bytes_per_line)
{
    size_t pixels = bytes_per_line / 2, x = 0;
    while (x < pixels) {
        BYTE b, low, high;
        size_t count = 1;
        if (!read_buffered_byte(in, &b))
            return 0;
        if ((b & 0xC0) == 0xC0) {
            count = b & 0x3F;
            if (!read_buffered_byte(in, &low))
                return 0;
        } else {
            low = b;
        }
        if (!read_buffered_byte(in, &high))
            return 0;
        for (; count > 0 && x < pixels; --count, ++x) {
            if (x < width) {
                row[2 * x] = low;
                row[2 * x + 1] = high;
            }
        }
    }
    return 1;
}

// The plane lines of one scan line into one DIB row.
static void store_pcx_row(const BYTE* line, size_t bpl, int bpp, int planes, const PcxLayout* layout,
                          uint32_t width, BYTE* row)
{
    if (layout->bits >= 24) {
        static const int CHANNEL[4] = {2, 1, 0, 3};  // red, green, blue, alpha planes
        int step = layout->bits / 8;
        for (int k = 0; k < planes; ++k)
            for (uint32_t x = 0; x < width; ++x)
                row[x * step + CHANNEL[k]] = line[k * bpl + x];
        return;
    }
    if (layout->bits == 8) {
        memcpy(row, line, width);
        return;
    }
    int per_byte = 8 / bpp;
    BYTE mask = (BYTE)((1 << bpp) - 1);
    for (uint32_t x = 0; x < width; ++x) {
        unsigned index = 0;
        for (int k = 0; k < planes; ++k) {
            BYTE b = line[k * bpl + x / per_byte];
            unsigned v = (b >> (8 - bpp * (int)(x % per_byte + 1))) & mask;
            index |= v << (k * bpp);
        }
        if (layout->bits == 1) {
            if (index)
                row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        } else {
            row[x >> 1] |= (BYTE)((x & 1) ? index : index << 4);
        }
    }
}

// Up to 16 entries from the header palette, or the default palette when
// the first count entries of the header are all black.
static void fill_small_table(const BYTE* header, RGBQUAD* table, uint32_t count)
{
    const BYTE* palette = header + 16;
    int all_black = 1;
    for (uint32_t i = 0; i < count * 3; ++i)
        all_black &= palette[i] == 0;
    for (uint32_t i = 0; i < count; ++i) {
        const BYTE* rgb = all_black ? PCX_DEFAULT_COLOURS[i] : palette + 3 * i;
        table[i].rgbRed = rgb[0];
        table[i].rgbGreen = rgb[1];
        table[i].rgbBlue = rgb[2];
    }
}

// The trailing 256-colour palette; 0 when the file has none.
static int read_pcx_tail_palette(HFILE file, RGBQUAD* table)
{
    LONG end = _llseek(file, 0, FILE_END);
    BYTE tail[PCX_PALETTE_TAIL];
    if (end < PCX_HEADER_SIZE + PCX_PALETTE_TAIL || _llseek(file, end - PCX_PALETTE_TAIL, FILE_BEGIN) < 0 ||
        _lread(file, tail, sizeof tail) != sizeof tail || tail[0] != 12)
        return 0;
    for (int i = 0; i < 256; ++i) {
        table[i].rgbRed = tail[1 + 3 * i];
        table[i].rgbGreen = tail[2 + 3 * i];
        table[i].rgbBlue = tail[3 + 3 * i];
    }
    return 1;
}

HGLOBAL read_pcx_file(HFILE file, HWND owner, char* info)
{
    BYTE header[PCX_HEADER_SIZE];
    if (_lread(file, header, sizeof header) != sizeof header) {
        _lclose(file);
        return NULL;
    }
    if (header[0] != 0x0A) {
        _lclose(file);
        show_read_error(owner, "Unrecognized File Structure");
        return NULL;
    }
    int version = header[1], bpp = header[3], planes = header[65];
    int32_t width = (int32_t)(header[8] | header[9] << 8) - (int32_t)(header[4] | header[5] << 8) + 1;
    int32_t height = (int32_t)(header[10] | header[11] << 8) - (int32_t)(header[6] | header[7] << 8) + 1;
    size_t bpl = header[66] | header[67] << 8;
    LONG file_size = _llseek(file, 0, FILE_END);
    _llseek(file, PCX_HEADER_SIZE, FILE_BEGIN);

    PcxLayout layout;
    // A run codes at most 63 bytes in 2, which bounds what a file can hold.
    uint64_t line_bytes = (uint64_t)bpl * planes;
    if (width <= 0 || height <= 0 || !choose_pcx_layout(bpp, planes, &layout) ||
        bpl < ((uint64_t)width * bpp + 7) / 8 ||
        line_bytes * (uint64_t)height > ((uint64_t)file_size - PCX_HEADER_SIZE) * PCX_MAX_RUN) {
        _lclose(file);
        show_read_error(owner, "Unrecognized File Structure");
        return NULL;
    }
    // In pixels: a run of 63 bytes in 2 fills 31.5 line bytes a byte, each
    // line byte width / line_bytes pixels; a 16-bit run gives 63 pixels in 3.
    uint64_t data_bytes = (uint64_t)file_size - PCX_HEADER_SIZE;
    if (layout.bits == 16)
        narrow_pixel_ceiling(data_bytes, PCX_MAX_RUN / 3);
    else
        narrow_pixel_ceiling(data_bytes * (PCX_MAX_RUN + 1) / 2 * (uint64_t)width / line_bytes, 1);
    fit_image_rect(width, height, 1);
    HGLOBAL hDib = create_packed_dib(width, height, layout.bits, layout.colours);
    BYTE* line = (BYTE*)GlobalAlloc(GMEM_FIXED, (size_t)line_bytes + 1);
    BITMAPINFOHEADER* bih = hDib && line ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih) {
        if (hDib)
            GlobalFree(hDib);
        if (line)
            GlobalFree(line);
        _lclose(file);
        show_read_error(owner, "Memory Allocation Error");
        return NULL;
    }
    append_info_text(info,
                "image type: PCX \nwidth: %ld \nheight: %ld \nversion: %d \nplanes: %d \nbits per pixel: %d "
                "\nbytes per line: %d \n",
                (long)width, (long)height, version, planes, bpp, (int)bpl);

    BufferedFile* in = (BufferedFile*)GlobalAlloc(GMEM_FIXED, sizeof(BufferedFile));
    if (in) {
        begin_buffered_read(in, file);
        uint32_t stride = dib_row_stride(width, layout.bits);
        BYTE* top = dib_pixels(bih) + (size_t)(height - 1) * stride;
        for (int32_t r = 0; r < height; ++r) {
            show_progress((double)(r + 1) / height, 1);
            BYTE* row = top - (size_t)r * stride;
            if (layout.bits == 16) {
                if (!decode_pcx16_line(in, row, (uint32_t)width, bpl))
                    break;
                continue;
            }
            memset(line, 0, (size_t)line_bytes);
            int complete = decode_pcx_line(in, line, (size_t)line_bytes);
            store_pcx_row(line, bpl, bpp, planes, &layout, (uint32_t)width, row);
            if (!complete)
                break;  // a short file keeps the rows decoded so far
        }
        GlobalFree(in);
    }

    if (layout.colours) {
        RGBQUAD* table = dib_color_table(bih);
        if (version == 5 && bpp * planes == 8 && read_pcx_tail_palette(file, table)) {
            append_info_text(info, "colors: 256");
        } else {
            uint32_t small = layout.colours > 16 ? 16 : layout.colours;
            fill_small_table(header, table, small);
            append_info_text(info, "%s", layout.bits == 8 ? "colors: 16" : layout.colour_line);
        }
    } else {
        append_info_text(info, "%s", layout.colour_line);
    }
    GlobalFree(line);
    GlobalUnlock(hDib);
    _lclose(file);
    return hDib;
}

// ---------------------------------------------------------------------------
// Writer

void pcx_put_byte(BYTE value, FILE* stream)
{
    putc(value, stream);
}

void encode_pcx_line(FILE* stream, const BYTE* line, size_t length)
{
    size_t x = 0;
    while (x < length) {
        size_t run = 1;
        while (x + run < length && run < PCX_MAX_RUN && line[x + run] == line[x])
            ++run;
        if (run > 1 || line[x] >= 0xC0)
            pcx_put_byte((BYTE)(0xC0 | run), stream);
        pcx_put_byte(line[x], stream);
        x += run;
    }
}

int write_pcx_file(const char* path, HGLOBAL hImage)
{
    if (!is_valid_packed_dib(hImage))
        return 0;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!bih)
        return 0;
    int bits = bih->biBitCount;
    int32_t width = bih->biWidth, height = bih->biHeight;
    uint32_t colours = dib_color_count(bih);
    int bpp = bits == 1 ? 1 : bits == 4 ? 1 : 8;
    int planes = bits == 1 || bits == 8 ? 1 : bits == 4 ? (colours <= 4 ? 2 : colours <= 8 ? 3 : 4)
                                                        : bits == 32 ? 4 : 3;
    size_t bpl = ((size_t)width * bpp + 7) / 8;
    // The format's coordinates are 16 bits.
    BYTE* line = width <= 65536 && height <= 65536 ? (BYTE*)GlobalAlloc(GMEM_FIXED, bpl) : NULL;
    SafeWrite sw;
    if (!line || !safe_write_open(&sw, path)) {
        if (line)
            GlobalFree(line);
        GlobalUnlock(hImage);
        return 0;
    }
    BYTE header[PCX_HEADER_SIZE] = {10, 5, 1, (BYTE)bpp};
    put_le16(header + 8, (unsigned)width - 1);
    put_le16(header + 10, (unsigned)height - 1);
    put_le16(header + 12, 320);
    put_le16(header + 14, 200);
    const RGBQUAD* table = dib_color_table(bih);
    if (colours >= 1 && colours <= 16) {
        for (uint32_t i = 0; i < colours; ++i) {
            header[16 + 3 * i] = table[i].rgbRed;
            header[17 + 3 * i] = table[i].rgbGreen;
            header[18 + 3 * i] = table[i].rgbBlue;
        }
    }
    header[65] = (BYTE)planes;
    put_le16(header + 66, (unsigned)bpl);
    put_le16(header + 68, 1);
    put_le16(header + 70, 640);
    put_le16(header + 72, 480);
    fwrite(header, 1, sizeof header, sw.fp);

    uint32_t stride = dib_row_stride(width, bits);
    const BYTE* pixels = dib_pixels(bih);
    int opaque = dib_alpha_is_unused(bih);  // an unused alpha plane is written 255
    for (int32_t r = 0; r < height && !ferror(sw.fp); ++r) {
        show_progress((double)r / height, 1);
        const BYTE* row = pixels + (size_t)(height - 1 - r) * stride;
        if (bits == 1 || bits == 8) {
            encode_pcx_line(sw.fp, row, bpl);
            continue;
        }
        for (int k = 0; k < planes; ++k) {
            memset(line, 0, bpl);
            for (int32_t x = 0; x < width; ++x) {
                if (bits == 4) {
                    unsigned index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
                    if (index >> k & 1)
                        line[x >> 3] |= (BYTE)(0x80 >> (x & 7));
                } else if (bits == 16) {
                    unsigned v = row[2 * x] | row[2 * x + 1] << 8;
                    line[x] = (BYTE)(((v >> (10 - 5 * k)) & 31) * 8);
                } else {
                    static const int CHANNEL[4] = {2, 1, 0, 3};
                    line[x] = k == 3 && opaque ? 255 : row[x * (bits / 8) + CHANNEL[k]];
                }
            }
            encode_pcx_line(sw.fp, line, bpl);
        }
    }
    if (bits == 8) {
        pcx_put_byte(12, sw.fp);
        for (uint32_t i = 0; i < 256; ++i) {
            RGBQUAD q = i < colours ? table[i] : RGBQUAD{0, 0, 0, 0};
            pcx_put_byte(q.rgbRed, sw.fp);
            pcx_put_byte(q.rgbGreen, sw.fp);
            pcx_put_byte(q.rgbBlue, sw.fp);
        }
    }
    GlobalFree(line);
    GlobalUnlock(hImage);
    return safe_write_commit(&sw);
}
