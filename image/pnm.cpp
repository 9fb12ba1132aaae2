// PBM-family reader, writers and comment rewrite (see pnm.h). The header
// grammar is parsed character by character on a stdio stream, the same way
// for reading and for the rewrite, so that both agree on where the raster
// begins. Samples deeper than 8 bits are scaled down to bytes.
#include "image/pnm.h"

#include <io.h>
#include <stdarg.h>
#include <string.h>

#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"

// A hostile file could make the comment text grow without end.
enum { MAX_COMMENT_BYTES = 65536, PAM_TOKEN_CHARS = 10, TUPLE_TYPE_SIZE = 100 };

// ---------------------------------------------------------------------------
// Comment text

static size_t s_commentUsed;  // characters in g_hComment while a read collects

static void begin_comment_collection(void)
{
    s_commentUsed = 0;
    const char* text = g_hComment ? (const char*)GlobalLock(g_hComment) : NULL;
    if (text) {
        s_commentUsed = strnlen(text, GlobalSize(g_hComment));
        GlobalUnlock(g_hComment);
    }
}

static void append_comment_char(int c)
{
    if (s_commentUsed + 2 > MAX_COMMENT_BYTES)
        return;
    SIZE_T size = g_hComment ? GlobalSize(g_hComment) : 0;
    if (size < s_commentUsed + 2) {
        SIZE_T grown = size * 2 < s_commentUsed + 2 ? s_commentUsed + 2 : size * 2;
        HGLOBAL h = g_hComment ? GlobalReAlloc(g_hComment, grown, GMEM_MOVEABLE | GMEM_ZEROINIT)
                               : GlobalAlloc(GHND, grown);
        if (!h)
            return;
        g_hComment = h;
    }
    char* text = (char*)GlobalLock(g_hComment);
    if (!text)
        return;
    text[s_commentUsed++] = (char)c;
    text[s_commentUsed] = '\0';
    GlobalUnlock(g_hComment);
}

// The comment rewrite in progress, told of every comment line it leaves
// out, as the reader would collect it; null while reading.
static CommentJob* s_dropped;
static bool s_droppedAny;

static void drop_comment_char(char c)
{
    note_dropped_comment(s_dropped, !s_droppedAny, &c, 1);
    s_droppedAny = true;
}

// After '#': one blank right behind it is dropped, the rest of the line is
// the comment, ended in the text by one carriage return. Returns the
// character that ended the line (read), or EOF.
static int take_comment(FILE* fp, int collect)
{
    int c = getc(fp);
    if (c == ' ')
        c = getc(fp);
    while (c != EOF && c != '\r' && c != '\n') {
        if (collect)
            append_comment_char(c);
        if (s_dropped)
            drop_comment_char((char)c);
        c = getc(fp);
    }
    if (collect)
        append_comment_char('\r');
    if (s_dropped)
        drop_comment_char('\r');
    return c;
}

static int is_digit(int c) { return c >= '0' && c <= '9'; }
static int is_blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The next digit character, or EOF.
static int skip_to_digit(FILE* fp, int collect)
{
    for (;;) {
        int c = getc(fp);
        if (c == EOF || is_digit(c))
            return c;
        if (c == '#')
            take_comment(fp, collect);
    }
}

BYTE read_pnm_digit(FILE* stream, int collect)
{
    int c = skip_to_digit(stream, collect);
    return c == EOF ? 0 : (BYTE)c;
}

uint32_t read_pnm_value(FILE* stream, int collect)
{
    int c = skip_to_digit(stream, collect);
    uint64_t value = 0;
    while (is_digit(c)) {
        if (value <= 0xFFFFFFFFu)
            value = value * 10 + (uint64_t)(c - '0');
        c = getc(stream);
    }
    if (c != EOF)
        ungetc(c, stream);
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)value;
}

int bit_length(uint32_t value)
{
    int bits = 0;
    for (; value; value >>= 1)
        ++bits;
    return bits;
}

// Skips blanks and comments before the magic; 1 when it is 'P' followed by
// a type digit 1 to 7, stored in *type; 0 when the first character is not
// 'P', -1 when the digit is not a type.
static int read_pnm_magic(FILE* fp, int collect, int* type)
{
    int c;
    for (;;) {
        c = getc(fp);
        if (c == '#')
            take_comment(fp, collect);
        else if (c == EOF || !is_blank(c))
            break;
    }
    if (c != 'P')
        return 0;
    c = getc(fp);
    if (c < '1' || c > '7')
        return -1;
    *type = c - '0';
    return 1;
}

// The raster begins after exactly one white-space character behind the
// last header field (a comment there runs through its line end): the binary
// raster may start with bytes that look like blanks or line ends.
static void end_header(FILE* fp)
{
    if (getc(fp) == '#')
        take_comment(fp, 0);
}

// The next PAM header token, up to PAM_TOKEN_CHARS characters (a longer run
// comes as several tokens); *end gets the blank that ended it (consumed), or
// EOF. A '#' is a token of its own. 0 at the end of the file.
static int read_pam_token(FILE* fp, char token[PAM_TOKEN_CHARS + 1], int* end)
{
    int c;
    do
        c = getc(fp);
    while (c != EOF && is_blank(c));
    int n = 0;
    *end = EOF;
    if (c == EOF)
        return 0;
    if (c == '#') {
        token[n++] = '#';
        token[n] = '\0';
        return n;
    }
    while (c != EOF && !is_blank(c) && n < PAM_TOKEN_CHARS) {
        token[n++] = (char)c;
        c = getc(fp);
    }
    token[n] = '\0';
    if (c != EOF && !is_blank(c))
        ungetc(c, fp);
    else
        *end = c;
    return n;
}

// ---------------------------------------------------------------------------
// Reader

struct PnmHeader {
    int type;         // 1..7
    uint32_t width, height, maxval;
    uint32_t depth;   // channels: 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
};

// Bytes of one binary sample: 1 up to maxval 255, then 2, 3 or 4.
static uint32_t sample_bytes(uint32_t maxval)
{
    return maxval < 256 ? 1 : maxval < 65536 ? 2 : maxval < 0x1000000 ? 3 : 4;
}

static void append_rest_of_line(FILE* fp, char* info)
{
    int c = getc(fp);
    while (c != EOF && c != '\r' && c != '\n') {
        append_info_text(info, "%c", c);
        c = getc(fp);
    }
    if (c != EOF)
        ungetc(c, fp);
}

// The PAM header after "P7"; 0 when the file ends before ENDHDR.
static int read_pam_header(FILE* fp, PnmHeader* h, char* info, int collect)
{
    char token[PAM_TOKEN_CHARS + 1];
    int end;
    while (read_pam_token(fp, token, &end)) {
        if (token[0] == '#') {
            take_comment(fp, collect);
        } else if (!lstrcmpiA(token, "width")) {
            h->width = read_pnm_value(fp, collect);
            append_info_text(info, "\nwidth: %lu", (unsigned long)h->width);
        } else if (!lstrcmpiA(token, "height")) {
            h->height = read_pnm_value(fp, collect);
            append_info_text(info, "\nheight: %lu", (unsigned long)h->height);
        } else if (!lstrcmpiA(token, "depth")) {
            h->depth = read_pnm_value(fp, collect);
            append_info_text(info, "\ndepth: %lu", (unsigned long)h->depth);
        } else if (!lstrcmpiA(token, "maxval")) {
            h->maxval = read_pnm_value(fp, collect);
            append_info_text(info, "\nmaxval: %lu", (unsigned long)h->maxval);
        } else if (!lstrcmpiA(token, "tupletype")) {
            append_info_text(info, "\ntupletype: ");
            if (end != '\r' && end != '\n')
                append_rest_of_line(fp, info);
        } else if (!lstrcmpiA(token, "endhdr")) {
            if (end != EOF)
                ungetc(end, fp);
            return 1;
        }
    }
    return 0;
}

static const char* const TYPE_LABELS[8] = {
    "", "ascii bitmap (P1)", "ascii graymap (P2)", "ascii pixmap (P3)", "binary bitmap (P4)",
    "binary graymap (P5)", "binary pixmap (P6)", "PAM (P7)"};

// 0 when the header is not one this reader can take.
static int read_pnm_header(FILE* fp, PnmHeader* h, char* info, int collect)
{
    append_info_text(info, "image type: Portable Bitmap (pbmplus) %s", TYPE_LABELS[h->type]);
    if (h->type == 7) {
        if (!read_pam_header(fp, h, info, collect) || h->depth < 1 || h->depth > 4)
            return 0;
    } else {
        h->width = read_pnm_value(fp, collect);
        h->height = read_pnm_value(fp, collect);
        int has_maxval = h->type != 1 && h->type != 4;
        h->maxval = has_maxval ? read_pnm_value(fp, collect) : 1;
        h->depth = h->type == 3 || h->type == 6 ? 3 : 1;
        append_info_text(info, "\nwidth: %lu \nheight: %lu \ndepth: %d\ncolor components: %d",
                    (unsigned long)h->width, (unsigned long)h->height, bit_length(h->maxval),
                    h->depth == 3 ? 3 : 1);
    }
    // Samples wider than 16 bits only in binary graymaps.
    if (h->width == 0 || h->height == 0 || h->width > MAX_DIB_DIMENSION || h->height > MAX_DIB_DIMENSION ||
        h->maxval == 0 || (h->maxval > 65535 && h->type != 5))
        return 0;
    fit_image_rect((int32_t)h->width, (int32_t)h->height, 1);
    return 1;
}

// A sample scaled to a byte; values above maxval count as maxval. Full
// 16-, 24- and 32-bit ranges keep the sample's first (high) byte.
static BYTE scale_sample(uint32_t value, uint32_t maxval)
{
    if (value > maxval)
        value = maxval;
    if (maxval == 255)
        return (BYTE)value;
    if (maxval == 65535)
        return (BYTE)(value >> 8);
    if (maxval == 0xFFFFFF)
        return (BYTE)(value >> 16);
    if (maxval == 0xFFFFFFFFu)
        return (BYTE)(value >> 24);
    return (BYTE)((uint64_t)value * 255u / maxval);
}

// Grey values below 256 levels index the grey table as they stand.
static BYTE grey_index(uint32_t value, uint32_t maxval)
{
    if (maxval < 256)
        return (BYTE)(value > maxval ? maxval : value);
    return scale_sample(value, maxval);
}

// One row of P5, P6 or P7 samples into the DIB row; 0 at the end of the file.
static int read_binary_row(FILE* fp, const PnmHeader* h, BYTE* raw, size_t raw_bytes, BYTE* row)
{
    memset(raw, 0, raw_bytes);
    size_t got = fread(raw, 1, raw_bytes, fp);
    uint32_t bytes_per_sample = sample_bytes(h->maxval);
    const BYTE* p = raw;
    for (uint32_t x = 0; x < h->width; ++x) {
        uint32_t s[4];
        for (uint32_t c = 0; c < h->depth; ++c) {
            s[c] = 0;
            for (uint32_t b = 0; b < bytes_per_sample; ++b)
                s[c] = s[c] << 8 | *p++;
        }
        switch (h->depth) {
        case 1:
            row[x] = grey_index(s[0], h->maxval);
            break;
        case 2:
            row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = scale_sample(s[0], h->maxval);
            row[4 * x + 3] = scale_sample(s[1], h->maxval);
            break;
        case 3:
            row[3 * x] = scale_sample(s[2], h->maxval);
            row[3 * x + 1] = scale_sample(s[1], h->maxval);
            row[3 * x + 2] = scale_sample(s[0], h->maxval);
            break;
        default:
            row[4 * x] = scale_sample(s[2], h->maxval);
            row[4 * x + 1] = scale_sample(s[1], h->maxval);
            row[4 * x + 2] = scale_sample(s[0], h->maxval);
            row[4 * x + 3] = scale_sample(s[3], h->maxval);
            break;
        }
    }
    return got == raw_bytes;
}

static int read_ascii_row(FILE* fp, const PnmHeader* h, BYTE* row, int collect)
{
    for (uint32_t x = 0; x < h->width; ++x) {
        if (h->type == 1) {
            if (read_pnm_digit(fp, collect) == '1')
                row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        } else if (h->type == 2) {
            row[x] = grey_index(read_pnm_value(fp, collect), h->maxval);
        } else {
            BYTE red = scale_sample(read_pnm_value(fp, collect), h->maxval);
            BYTE green = scale_sample(read_pnm_value(fp, collect), h->maxval);
            row[3 * x] = scale_sample(read_pnm_value(fp, collect), h->maxval);
            row[3 * x + 1] = green;
            row[3 * x + 2] = red;
        }
    }
    return !feof(fp);
}

static HGLOBAL create_pnm_image(const PnmHeader* h)
{
    int bits;
    uint32_t colours = 0;
    if (h->type == 1 || h->type == 4) {
        bits = 1;
        colours = 2;
    } else if (h->depth == 1) {
        bits = 8;
        colours = h->maxval < 256 ? h->maxval + 1 : 256;
    } else {
        bits = h->depth == 3 ? 24 : 32;
    }
    HGLOBAL hDib = create_packed_dib((int32_t)h->width, (int32_t)h->height, bits, colours);
    BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
    if (!bih)
        return hDib;
    RGBQUAD* table = dib_color_table(bih);
    if (bits == 1) {
        table[0].rgbRed = table[0].rgbGreen = table[0].rgbBlue = 255;
    } else {
        for (uint32_t i = 0; i < colours; ++i)
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (BYTE)(i * 255 / (colours - 1));
    }
    GlobalUnlock(hDib);
    return hDib;
}

// Bytes of one file row of a binary type (0 for the ASCII types).
static uint64_t binary_row_bytes(const PnmHeader* h)
{
    if (h->type == 4)
        return ((uint64_t)h->width + 7) / 8;
    if (h->type >= 5)
        return (uint64_t)h->width * h->depth * sample_bytes(h->maxval);
    return 0;
}

// The fewest bytes that can hold the whole raster: each binary sample its
// width, each ASCII bitmap pixel one digit, other ASCII samples one digit
// and one separator.
static uint64_t least_raster_bytes(const PnmHeader* h)
{
    if (h->type >= 4)
        return binary_row_bytes(h) * h->height;
    uint64_t samples = (uint64_t)h->width * h->height * h->depth;
    return h->type == 1 ? samples : 2 * samples - 1;
}

// A truncated raster still shows, with its missing part 0; a few bytes
// claiming a huge picture are refused before anything is allocated.
enum { RASTER_EXPANSION = 8 };

static int raster_fits_file(FILE* fp, const PnmHeader* h)
{
    long position = ftell(fp);
    __int64 length = _filelengthi64(_fileno(fp));
    if (position < 0 || length < position)
        return 0;
    uint64_t left = (uint64_t)(length - position);
    if (least_raster_bytes(h) > left * RASTER_EXPANSION)
        return 0;
    // In pixels: the raster holds a pixel in so many bits at least (a digit
    // of P1, a digit and a separator of P2, three of them of P3).
    uint32_t bits = h->type == 1 ? 8 : h->type == 2 ? 16 : h->type == 3 ? 48 : h->type == 4 ? 1
                                                                 : 8 * h->depth * sample_bytes(h->maxval);
    narrow_pixel_ceiling_to_raw(left, bits);
    return pixels_fit_ceiling((uint64_t)h->width * h->height);
}

// 0 when the row buffer cannot be had (nothing read).
static int decode_pnm_raster(FILE* fp, const PnmHeader* h, BITMAPINFOHEADER* bih, int collect)
{
    uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
    size_t raw_bytes = (size_t)binary_row_bytes(h);  // at most 4 MB: width and depth are bounded
    BYTE* raw = h->type >= 5 ? (BYTE*)GlobalAlloc(GMEM_FIXED, raw_bytes) : NULL;
    if (h->type >= 5 && !raw)
        return 0;
    BYTE* top = dib_pixels(bih) + (size_t)(h->height - 1) * stride;
    for (uint32_t r = 0; r < h->height; ++r) {
        show_progress(h->height > 1 ? (double)r / (h->height - 1) : 0.0, 1);
        BYTE* row = top - (size_t)r * stride;
        int more;
        if (h->type == 4) {
            more = fread(row, 1, raw_bytes, fp) == raw_bytes;
            if (h->width & 7)
                row[raw_bytes - 1] &= (BYTE)(0xFF00 >> (h->width & 7));
        } else if (h->type >= 5) {
            more = read_binary_row(fp, h, raw, raw_bytes, row);
        } else {
            more = read_ascii_row(fp, h, row, collect);
        }
        if (!more)
            break;  // a short raster leaves the rest 0
    }
    if (raw)
        GlobalFree(raw);
    return 1;
}

static void show_reader_message(const char* text)
{
    seam_message_box(NULL, text, NULL, MB_OK | MB_ICONSTOP);
}

// Through the character before the raster: 1 when the raster can be read,
// 0 when the file is no PBM-family file at all (no 'P' first), -1 when the
// header is refused or claims more raster than the file can hold.
static int read_whole_header(FILE* fp, PnmHeader* h, char* info, int collect)
{
    int magic = read_pnm_magic(fp, collect, &h->type);
    if (magic <= 0)
        return magic;
    if (!read_pnm_header(fp, h, info, collect))
        return -1;
    end_header(fp);
    return raster_fits_file(fp, h) ? 1 : -1;
}

HGLOBAL read_pnm_file(const char* path, char* info)
{
    // A file that cannot be opened or does not begin with 'P' is left to
    // the caller: null without a message.
    FILE* fp = path ? fopen(path, "rb") : NULL;
    if (!fp)
        return NULL;
    int collect = info != NULL;
    if (collect)
        begin_comment_collection();
    PnmHeader h = {};
    HGLOBAL hDib = NULL;
    int header = read_whole_header(fp, &h, info, collect);
    if (header < 0) {
        show_reader_message("File Read Error");
    } else if (header > 0) {
        hDib = create_pnm_image(&h);
        BITMAPINFOHEADER* bih = hDib ? (BITMAPINFOHEADER*)GlobalLock(hDib) : NULL;
        int decoded = bih && decode_pnm_raster(fp, &h, bih, collect);
        if (bih)
            GlobalUnlock(hDib);
        if (!decoded) {
            if (hDib)
                GlobalFree(hDib);
            hDib = NULL;
            show_reader_message("Memory Allocation Error");
        }
    }
    fclose(fp);
    return hDib;
}

// ---------------------------------------------------------------------------
// Writers

// Runs one writer over a locked, valid image: header, then fill(r) for each
// file row r (top first) into a zeroed buffer of row_bytes, one fwrite each.
typedef void (*FillRowFn)(const BITMAPINFOHEADER* bih, const BYTE* dib_row, BYTE* out, const void* context);

static int write_pnm_rows(const char* path, HGLOBAL hImage, const char* header, size_t row_bytes,
                          FillRowFn fill, const void* context)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hImage);
    BYTE* out = bih ? (BYTE*)GlobalAlloc(GMEM_FIXED, row_bytes) : NULL;
    SafeWrite sw;
    int ok = 0;
    if (out && safe_write_open(&sw, path)) {
        fputs(header, sw.fp);
        uint32_t stride = dib_row_stride(bih->biWidth, bih->biBitCount);
        int32_t height = bih->biHeight;
        const BYTE* pixels = dib_pixels(bih);
        for (int32_t r = 0; r < height && !ferror(sw.fp); ++r) {
            show_progress(height > 1 ? (double)r / (height - 1) : 0.0, 1);
            memset(out, 0, row_bytes);
            fill(bih, pixels + (size_t)(height - 1 - r) * stride, out, context);
            fwrite(out, 1, row_bytes, sw.fp);
        }
        ok = safe_write_commit(&sw);
    }
    if (out)
        GlobalFree(out);
    if (bih)
        GlobalUnlock(hImage);
    return ok;
}

static int image_bits(HGLOBAL hImage)
{
    return is_valid_packed_dib(hImage) ? dib_bit_count(hImage) : 0;
}

static void image_size(HGLOBAL hImage, int32_t* width, int32_t* height, uint32_t* colours, RGBQUAD table[256])
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hImage);
    *width = bih->biWidth;
    *height = bih->biHeight;
    *colours = dib_color_count(bih);
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = dib_table_entry(bih, i);
    GlobalUnlock(hImage);
}

static void fill_pbm_row(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* out, const void* context)
{
    int black = *(const int*)context;  // index written as 1, or -1 for none
    size_t bytes = ((size_t)bih->biWidth + 7) / 8;
    if (black < 0)
        return;
    for (size_t i = 0; i < bytes; ++i)
        out[i] = black ? row[i] : (BYTE)~row[i];
    if (bih->biWidth & 7)
        out[bytes - 1] &= (BYTE)(0xFF00 >> (bih->biWidth & 7));
}

int write_pbm_file(const char* path, HGLOBAL hImage)
{
    if (image_bits(hImage) != 1)
        return 0;
    int32_t width, height;
    uint32_t colours;
    RGBQUAD table[256];
    image_size(hImage, &width, &height, &colours, table);
    // The darker entry is black, whichever index it has.
    int black = table[1].rgbGreen < table[0].rgbGreen ? 1 : table[0].rgbGreen < table[1].rgbGreen ? 0 : -1;
    char header[64];
    snprintf(header, sizeof header, "P4\n%ld %ld\n", (long)width, (long)height);
    return write_pnm_rows(path, hImage, header, ((size_t)width + 7) / 8, fill_pbm_row, &black);
}

struct GreyContext {
    BYTE sample[256];  // output sample of each table index
};

static void fill_pgm_row(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* out, const void* context)
{
    const GreyContext* g = (const GreyContext*)context;
    for (int32_t x = 0; x < bih->biWidth; ++x)
        out[x] = g->sample[dib_row_index(row, bih->biBitCount, x)];
}

static int steps_by(const RGBQUAD* table, uint32_t count, int step)
{
    for (uint32_t i = 1; i < count; ++i) {
        int d = (int)table[i].rgbRed - (int)table[i - 1].rgbRed;
        if (d != step && d != -step)
            return 0;
    }
    return 1;
}

int write_pgm_file(const char* path, HGLOBAL hImage)
{
    int bits = image_bits(hImage);
    if (bits != 1 && bits != 4 && bits != 8)
        return 0;
    int32_t width, height;
    uint32_t colours;
    RGBQUAD table[256];
    image_size(hImage, &width, &height, &colours, table);
    // Ramps of 4 and 16 levels keep their own, smaller maxval.
    unsigned maxval = 255, divisor = 1;
    if (colours == 4 && steps_by(table, 4, 85)) {
        maxval = 3;
        divisor = 85;
    } else if (colours == 16 && steps_by(table, 16, 17)) {
        maxval = 15;
        divisor = 17;
    }
    GreyContext g;
    for (int i = 0; i < 256; ++i)
        g.sample[i] = (BYTE)(table[i].rgbRed / divisor);
    char header[80];
    snprintf(header, sizeof header, "P5\n%ld %ld\n%u\n", (long)width, (long)height, maxval);
    return write_pnm_rows(path, hImage, header, (size_t)width, fill_pgm_row, &g);
}

static void fill_ppm_row(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* out, const void* context)
{
    const RGBQUAD* table = (const RGBQUAD*)context;
    for (int32_t x = 0; x < bih->biWidth; ++x) {
        switch (bih->biBitCount) {
        case 32:
            out[4 * x] = row[4 * x + 2];
            out[4 * x + 1] = row[4 * x + 1];
            out[4 * x + 2] = row[4 * x];
            out[4 * x + 3] = row[4 * x + 3];
            break;
        case 24:
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
            break;
        case 16: {
            unsigned v = row[2 * x] | row[2 * x + 1] << 8;
            out[3 * x] = (BYTE)(((v >> 10) & 31) * 8);
            out[3 * x + 1] = (BYTE)(((v >> 5) & 31) * 8);
            out[3 * x + 2] = (BYTE)((v & 31) * 8);
            break;
        }
        default: {
            RGBQUAD q = table[dib_row_index(row, bih->biBitCount, x)];
            out[3 * x] = q.rgbRed;
            out[3 * x + 1] = q.rgbGreen;
            out[3 * x + 2] = q.rgbBlue;
            break;
        }
        }
    }
}

// A 32-bit image whose alpha is unused is written opaque, as by the other
// writers.
static void fill_opaque_pam_row(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* out, const void* context)
{
    fill_ppm_row(bih, row, out, context);
    for (int32_t x = 0; x < bih->biWidth; ++x)
        out[4 * x + 3] = 255;
}

int write_ppm_file(const char* path, HGLOBAL hImage)
{
    int bits = image_bits(hImage);
    if (!bits)
        return 0;
    int32_t width, height;
    uint32_t colours;
    RGBQUAD table[256];
    image_size(hImage, &width, &height, &colours, table);
    char header[160];
    if (bits == 32)
        snprintf(header, sizeof header,
                 "P7\nWIDTH %ld\nHEIGHT %ld\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", (long)width,
                 (long)height);
    else
        snprintf(header, sizeof header, "P6\n%ld %ld\n255\n", (long)width, (long)height);
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(hImage);
    FillRowFn fill = dib_alpha_is_unused(bih) ? fill_opaque_pam_row : fill_ppm_row;
    GlobalUnlock(hImage);
    return write_pnm_rows(path, hImage, header, (size_t)width * (bits == 32 ? 4 : 3), fill, table);
}

int write_pdf_file(const char* path, HGLOBAL hImage)
{
    return 0;
}

// ---------------------------------------------------------------------------
// Comment rewrite

// Every line of the text as a "# " header line. CR, LF and CR LF all end a
// line, so a text with bare CRs (as the reader stores it) stays in comments.
static void write_comment_lines(FILE* out, const char* text, size_t length)
{
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        --length;
    if (length == 0)
        return;
    fputs("# ", out);
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < length && text[i + 1] == '\n')
                ++i;
            fputs("\n# ", out);
        } else {
            putc(c, out);
        }
    }
    putc('\n', out);
}

// The PAM header without its comments, with the tuple type (under either
// spelling) as the standard TUPLTYPE line; 0 when it ends before ENDHDR.
static int copy_pam_header(FILE* in, FILE* out)
{
    char token[PAM_TOKEN_CHARS + 1];
    char tuple_type[TUPLE_TYPE_SIZE] = "";
    unsigned long width = 0, height = 0, depth = 0, maxval = 0;
    int end;
    while (read_pam_token(in, token, &end)) {
        if (token[0] == '#') {
            take_comment(in, 0);
        } else if (!lstrcmpiA(token, "width")) {
            width = read_pnm_value(in, 0);
        } else if (!lstrcmpiA(token, "height")) {
            height = read_pnm_value(in, 0);
        } else if (!lstrcmpiA(token, "depth")) {
            depth = read_pnm_value(in, 0);
        } else if (!lstrcmpiA(token, "maxval")) {
            maxval = read_pnm_value(in, 0);
        } else if (!lstrcmpiA(token, "tupletype") || !lstrcmpiA(token, "tupltype")) {
            size_t n = 0;
            int c = end == '\r' || end == '\n' ? end : getc(in);
            while (c != EOF && c != '\r' && c != '\n') {
                if (n + 1 < sizeof tuple_type)
                    tuple_type[n++] = (char)c;
                c = getc(in);
            }
            tuple_type[n] = '\0';
        } else if (!lstrcmpiA(token, "endhdr")) {
            if (end != EOF)
                ungetc(end, in);
            fprintf(out, "WIDTH %lu\nHEIGHT %lu\nDEPTH %lu\nMAXVAL %lu\n", width, height, depth, maxval);
            if (tuple_type[0])
                fprintf(out, "TUPLTYPE %s\n", tuple_type);
            fputs("ENDHDR\n", out);
            return 1;
        }
    }
    return 0;
}

static int copy_ascii_raster(FILE* in, FILE* out)
{
    int c = getc(in);
    if (c == '\r' || c == '\n')
        c = getc(in);
    while (c != EOF) {
        if (c == '#') {
            c = take_comment(in, 0);  // its line end is copied
            continue;
        }
        putc(c, out);
        c = getc(in);
    }
    return 1;
}

static int copy_binary_raster(FILE* in, FILE* out)
{
    BYTE buf[16384];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0)
        if (fwrite(buf, 1, n, out) != n)
            return 0;
    return !ferror(in);
}

static int build_pnm(FILE* in, FILE* out, const CommentJob* job)
{
    int type;
    if (read_pnm_magic(in, 0, &type) != 1)
        return 0;
    fprintf(out, "P%d\n", type);
    write_comment_lines(out, job->text, job->length);
    if (type == 7) {
        if (!copy_pam_header(in, out))
            return 0;
    } else {
        unsigned long width = read_pnm_value(in, 0);
        unsigned long height = read_pnm_value(in, 0);
        fprintf(out, "%lu %lu\n", width, height);
        if (type != 1 && type != 4)
            fprintf(out, "%lu\n", (unsigned long)read_pnm_value(in, 0));
    }
    end_header(in);
    int ok = type <= 3 ? copy_ascii_raster(in, out) : copy_binary_raster(in, out);
    return ok && !ferror(out);
}

static int build_commented_pnm(FILE* in, FILE* out, void* context)
{
    s_dropped = (CommentJob*)context;
    s_droppedAny = false;
    int ok = build_pnm(in, out, s_dropped);
    s_dropped = NULL;
    return ok;
}

int write_pnm_comment(const char* path, HGLOBAL* textHandle)
{
    return rewrite_for_comment(path, textHandle ? *textHandle : NULL, build_commented_pnm, NULL) == REWRITE_DONE;
}
