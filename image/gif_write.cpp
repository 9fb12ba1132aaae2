// GIF writing (see gif_write.h). The LZW encoder keeps the string table in
// an open-addressed hash of 8192 slots, each holding (waiting code, next
// byte) and the code in one word, at most half full, and clears the table
// when all 4096 codes are in use. A write error anywhere makes the
// whole write fail; the file is never left half-written in place.
#include "image/gif_write.h"

#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/gif_read.h"
#include "image/packed_dib.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"

enum {
    GIF_HASH_BITS = 13,
    GIF_HASH_SIZE = 1 << GIF_HASH_BITS,
    GIF_MAX_BITS = 12,
    GIF_TABLE_SIZE = 1 << GIF_MAX_BITS,
    GIF_WRITE_BUFFER_BYTES = 256 * 1024,
};

struct GifEncoder {
    FILE* out;
    int write_failed;
    // Image
    int32_t width;
    int32_t height;
    int bit_count;
    int bits;  // b: 2^b table entries
    int interlace;
    int has_transparency;
    BYTE transparent_index;
    BYTE red[256], green[256], blue[256];
    BYTE* row;  // one row of indices
    // Code state
    int n_bits;
    int maxcode;
    int init_bits;
    int clear_code;
    int eof_code;
    int free_code;
    int first_byte;
    int waiting_code;
    uint32_t cur_accum;
    int cur_bits;
    int bytes_in_packet;
    BYTE packet[256];
    // (waiting code << 8 | byte) << 12 | code; 0 is a free slot, as no code
    // is below 4.
    uint32_t hash[GIF_HASH_SIZE];
};

static void gif_put_byte(GifEncoder* enc, int value)
{
    if (putc(value, enc->out) == EOF)
        enc->write_failed = 1;
}

static void gif_put_word(GifEncoder* enc, unsigned value)
{
    gif_put_byte(enc, (int)(value & 0xFF));
    gif_put_byte(enc, (int)((value >> 8) & 0xFF));
}


static void gif_flush_packet(GifEncoder* enc)
{
    if (enc->bytes_in_packet > 0) {
        enc->packet[0] = (BYTE)enc->bytes_in_packet;
        size_t length = (size_t)enc->bytes_in_packet + 1;
        if (fwrite(enc->packet, 1, length, enc->out) != length)
            enc->write_failed = 1;
        enc->bytes_in_packet = 0;
    }
}

static inline void gif_packet_byte(GifEncoder* enc, BYTE value)
{
    enc->packet[++enc->bytes_in_packet] = value;
    if (enc->bytes_in_packet >= 255)
        gif_flush_packet(enc);
}

static void gif_output_code(GifEncoder* enc, int code)
{
    enc->cur_accum |= (uint32_t)code << enc->cur_bits;
    enc->cur_bits += enc->n_bits;
    while (enc->cur_bits >= 8) {
        gif_packet_byte(enc, (BYTE)(enc->cur_accum & 0xFF));
        enc->cur_accum >>= 8;
        enc->cur_bits -= 8;
    }
    // Grow the code size in step with the decoder, which grows it when its
    // next free code reaches the limit.
    if (enc->free_code > enc->maxcode) {
        ++enc->n_bits;
        enc->maxcode = enc->n_bits == GIF_MAX_BITS ? GIF_TABLE_SIZE : (1 << enc->n_bits) - 1;
    }
}

static void gif_clear_hash(GifEncoder* enc)
{
    memset(enc->hash, 0, sizeof enc->hash);
}

static void gif_clear_block(GifEncoder* enc)
{
    gif_clear_hash(enc);
    enc->free_code = enc->clear_code + 2;
    gif_output_code(enc, enc->clear_code);
    enc->n_bits = enc->init_bits;
    enc->maxcode = (1 << enc->n_bits) - 1;
}

static void compress_gif_init(GifEncoder* enc, int initBits)
{
    enc->n_bits = enc->init_bits = initBits;
    enc->maxcode = (1 << enc->n_bits) - 1;
    enc->clear_code = 1 << (initBits - 1);
    enc->eof_code = enc->clear_code + 1;
    enc->free_code = enc->clear_code + 2;
    enc->first_byte = 1;
    enc->waiting_code = 0;
    enc->cur_accum = 0;
    enc->cur_bits = 0;
    enc->bytes_in_packet = 0;
    gif_clear_hash(enc);
    gif_output_code(enc, enc->clear_code);
}

static inline uint32_t gif_hash_slot(uint32_t key)
{
    return (key * 2654435761u) >> (32 - GIF_HASH_BITS);
}

static void compress_gif_bytes(GifEncoder* enc, const BYTE* bytes, int32_t count)
{
    int32_t x = 0;
    if (enc->first_byte && count > 0) {
        enc->waiting_code = bytes[0];
        enc->first_byte = 0;
        x = 1;
    }
    uint32_t waiting = (uint32_t)enc->waiting_code;
    uint32_t* hash = enc->hash;
    for (; x < count; ++x) {
        const uint32_t key = waiting << 8 | bytes[x];
        uint32_t i = gif_hash_slot(key);
        uint32_t entry;
        while ((entry = hash[i]) != 0 && entry >> 12 != key)
            i = (i + 1) & (GIF_HASH_SIZE - 1);
        if (entry != 0) {
            waiting = entry & 0xFFF;
            continue;
        }
        gif_output_code(enc, (int)waiting);
        if (enc->free_code < GIF_TABLE_SIZE)
            hash[i] = key << 12 | (uint32_t)enc->free_code++;
        else
            gif_clear_block(enc);
        waiting = bytes[x];
    }
    enc->waiting_code = (int)waiting;
}

static void compress_gif_term(GifEncoder* enc)
{
    if (!enc->first_byte)
        gif_output_code(enc, enc->waiting_code);
    gif_output_code(enc, enc->eof_code);
    if (enc->cur_bits > 0)
        gif_packet_byte(enc, (BYTE)(enc->cur_accum & 0xFF));
    gif_flush_packet(enc);
}

// Null when the image is not 1, 4 or 8 bits, has more than 256 colours or
// memory runs out.
static GifEncoder* init_gif_encoder(BITMAPINFOHEADER* info)
{
    int bit_count = info->biBitCount;
    if ((bit_count != 1 && bit_count != 4 && bit_count != 8) || info->biCompression != BI_RGB ||
        info->biWidth <= 0 || info->biHeight <= 0 || info->biWidth > 0xFFFF ||
        info->biHeight > 0xFFFF || info->biClrUsed > 256)
        return NULL;
    GifEncoder* enc = (GifEncoder*)GlobalAlloc(GPTR, sizeof(GifEncoder));
    if (!enc)
        return NULL;
    enc->row = (BYTE*)GlobalAlloc(GPTR, (SIZE_T)info->biWidth);
    if (!enc->row) {
        GlobalFree(enc);
        return NULL;
    }
    enc->width = info->biWidth;
    enc->height = info->biHeight;
    enc->bit_count = bit_count;
    uint32_t colors = dib_color_count(info);
    enc->bits = 1;
    while ((1u << enc->bits) < colors)
        ++enc->bits;
    const RGBQUAD* table = dib_color_table(info);
    for (uint32_t i = 0; i < colors; ++i) {
        enc->red[i] = table[i].rgbRed;
        enc->green[i] = table[i].rgbGreen;
        enc->blue[i] = table[i].rgbBlue;
    }
    return enc;
}

static void free_gif_encoder(GifEncoder* enc)
{
    GlobalFree(enc->row);
    GlobalFree(enc);
}

static void start_gif_output(GifEncoder* enc)
{
    int b = enc->bits;
    fwrite("GIF89a", 1, 6, enc->out);
    gif_put_word(enc, (unsigned)enc->width);
    gif_put_word(enc, (unsigned)enc->height);
    gif_put_byte(enc, 0x80 | (b - 1) << 4 | (b - 1));
    gif_put_byte(enc, 0);  // background index
    gif_put_byte(enc, 0);  // aspect
    for (int i = 0; i < (1 << b); ++i) {
        gif_put_byte(enc, enc->red[i]);
        gif_put_byte(enc, enc->green[i]);
        gif_put_byte(enc, enc->blue[i]);
    }
    if (enc->has_transparency) {
        static const BYTE gce[4] = {0x21, 0xF9, 0x04, 0x0D};  // disposal 3, transparent
        fwrite(gce, 1, sizeof gce, enc->out);
        gif_put_word(enc, 0);
        gif_put_byte(enc, enc->transparent_index);
        gif_put_byte(enc, 0);
    }
    gif_put_byte(enc, 0x2C);
    gif_put_word(enc, 0);
    gif_put_word(enc, 0);
    gif_put_word(enc, (unsigned)enc->width);
    gif_put_word(enc, (unsigned)enc->height);
    gif_put_byte(enc, enc->interlace ? 0x40 : 0x00);
    int min_code_size = b < 2 ? 2 : b;
    gif_put_byte(enc, min_code_size);
    compress_gif_init(enc, min_code_size + 1);
}

// One image row (bottom-up DIB row) as indices; an index the table cannot
// hold is written as 0, so it never collides with the clear or end code.
static void put_gif_pixel_rows(GifEncoder* enc, const BYTE* dib_row)
{
    const int limit = 1 << enc->bits;
    BYTE* row = enc->row;
    const int32_t width = enc->width;
    if (enc->bit_count == 8) {
        if (limit == 256) {
            compress_gif_bytes(enc, dib_row, width);
            return;
        }
        for (int32_t x = 0; x < width; ++x)
            row[x] = dib_row[x] < limit ? dib_row[x] : 0;
    } else if (enc->bit_count == 4) {
        for (int32_t x = 0; x < width; ++x) {
            int v = (x & 1) ? dib_row[x >> 1] & 0x0F : dib_row[x >> 1] >> 4;
            row[x] = (BYTE)(v < limit ? v : 0);
        }
    } else {
        for (int32_t x = 0; x < width; ++x)
            row[x] = (BYTE)((dib_row[x >> 3] >> (7 - (x & 7))) & 1);
    }
    compress_gif_bytes(enc, row, width);
}

static void finish_gif_output(GifEncoder* enc)
{
    compress_gif_term(enc);
    gif_put_byte(enc, 0);     // zero-length block ends the image data
    gif_put_byte(enc, 0x3B);  // trailer
}

int write_gif_file(const char* path, HGLOBAL hImage, int interlace)
{
    if (!hImage || !path)
        return 0;
    BITMAPINFOHEADER* info = (BITMAPINFOHEADER*)GlobalLock(hImage);
    if (!info)
        return 0;
    int ok = 0;
    HCURSOR old_cursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    GifEncoder* enc = is_valid_packed_dib(hImage) ? init_gif_encoder(info) : NULL;
    SafeWrite sw;
    if (enc && safe_write_open(&sw, path)) {
        enc->out = sw.fp;
        // Fewer, larger writes than the 4 KB default.
        setvbuf(sw.fp, NULL, _IOFBF, GIF_WRITE_BUFFER_BYTES);
        enc->interlace = interlace;
        if (g_hasTransparency && g_colorConversion == 0) {
            enc->has_transparency = 1;
            enc->transparent_index = g_transparentIndex;
            if (g_transparentIndex < (1 << enc->bits)) {
                enc->blue[g_transparentIndex] = (BYTE)(g_transparentDisplayColor & 0xFF);
                enc->green[g_transparentIndex] = (BYTE)((g_transparentDisplayColor >> 8) & 0xFF);
                enc->red[g_transparentIndex] = (BYTE)((g_transparentDisplayColor >> 16) & 0xFF);
            }
        }
        start_gif_output(enc);
        uint32_t stride = dib_row_stride(info->biWidth, info->biBitCount);
        BYTE* top = dib_pixels(info) + (size_t)(info->biHeight - 1) * stride;
        int32_t row = 0;
        int pass = 0;
        BYTE* dib_row = top;
        for (int32_t done = 0; dib_row && !enc->write_failed; ++done) {
            show_progress((double)done / info->biHeight, 1);
            put_gif_pixel_rows(enc, dib_row);
            if (interlace) {
                dib_row = gif_interlaced_row(stride, info->biHeight, &row, &pass, dib_row, top);
            } else {
                ++row;
                dib_row = row < info->biHeight ? top - (size_t)row * stride : NULL;
            }
        }
        finish_gif_output(enc);
        if (enc->write_failed) {
            safe_write_abort(&sw);
        } else {
            ok = safe_write_commit(&sw);
            // Closing includes putting the file in place; the old file is
            // kept, and the user is told the new one was not written.
            if (!ok)
                seam_message_box(NULL, path, "error closing file", MB_OK | MB_ICONSTOP);
        }
    }
    if (enc)
        free_gif_encoder(enc);
    SetCursor(old_cursor);
    GlobalUnlock(hImage);
    return ok;
}

// Copying for the comment rewrite: any failure (a short read before the
// first image, a failed write) sets failed and later steps do nothing.
// After the first image a file cut short is copied as far as it goes: ended
// is set instead, as the reader keeps what decoded of such a file.
struct GifCopy {
    FILE* in;
    FILE* out;
    int failed;
    int ended;
    int past_first_image;
    CommentJob* job;  // told of every comment left out
};

static int stopped(const GifCopy* c)
{
    return c->failed || c->ended;
}

// The input ran out: a failure before the first image, the end of the copy
// after it.
static void input_ran_out(GifCopy* c)
{
    if (c->past_first_image)
        c->ended = 1;
    else
        c->failed = 1;
}

static int copy_byte(GifCopy* c)
{
    if (stopped(c))
        return -1;
    int b = getc(c->in);
    if (b == EOF) {
        input_ran_out(c);
        return -1;
    }
    if (putc(b, c->out) == EOF) {
        c->failed = 1;
        return -1;
    }
    return b;
}

static void copy_bytes(GifCopy* c, size_t count)
{
    BYTE buf[4096];
    while (count > 0 && !stopped(c)) {
        size_t n = count < sizeof buf ? count : sizeof buf;
        size_t got = fread(buf, 1, n, c->in);
        if (got && fwrite(buf, 1, got, c->out) != got)
            c->failed = 1;
        else if (got != n)
            input_ran_out(c);
        count -= n;
    }
}

// Copies sub-blocks up to and including the zero-length terminator.
static void copy_sub_blocks(GifCopy* c)
{
    for (;;) {
        int length = copy_byte(c);
        if (length <= 0)
            return;
        copy_bytes(c, (size_t)length);
        if (stopped(c))
            return;
    }
}

// The sub-blocks of a comment left out of the new file.
static void skip_comment_sub_blocks(GifCopy* c)
{
    note_dropped_comment(c->job, true, NULL, 0);
    while (!stopped(c)) {
        int length = getc(c->in);
        if (length == EOF) {
            input_ran_out(c);
            return;
        }
        if (length == 0)
            return;
        BYTE buf[255];
        if (fread(buf, 1, (size_t)length, c->in) != (size_t)length)
            input_ran_out(c);
        else
            note_dropped_comment(c->job, false, buf, (size_t)length);
    }
}

static void copy_rest(GifCopy* c)
{
    BYTE buf[16384];
    size_t n;
    while (!c->failed && (n = fread(buf, 1, sizeof buf, c->in)) > 0) {
        if (fwrite(buf, 1, n, c->out) != n) {
            c->failed = 1;
            return;
        }
    }
    if (ferror(c->in))
        c->failed = 1;
}

static void write_comment_extension(GifCopy* c, const char* text, size_t length)
{
    if (length == 0)
        return;
    putc(0x21, c->out);
    putc(0xFE, c->out);
    while (length > 0) {
        size_t n = length < 255 ? length : 255;
        putc((int)n, c->out);
        fwrite(text, 1, n, c->out);
        text += n;
        length -= n;
    }
    putc(0, c->out);
    if (ferror(c->out))
        c->failed = 1;
}

// An extension whose introducer (0x21) has been read: a comment is dropped
// with its sub-blocks, any other copied with them.
static void copy_extension(GifCopy* c)
{
    int label = getc(c->in);
    if (label == EOF) {
        input_ran_out(c);
        return;
    }
    if (label == 0xFE) {
        skip_comment_sub_blocks(c);
        return;
    }
    putc(0x21, c->out);
    putc(label, c->out);
    copy_sub_blocks(c);
}

// The images from the first one on, whose separator has been read: each
// image (descriptor, local table, code size, data) and every extension but
// the comments is copied as it stands, so the only comment the file keeps
// is the one written before the first image. The trailer, and anything
// that is not a block, ends the walk and is copied with what follows.
static void copy_images(GifCopy* c)
{
    c->past_first_image = 1;
    int block = 0x2C;
    while (!stopped(c)) {
        if (block == 0x2C) {
            putc(0x2C, c->out);
            BYTE descriptor[9];
            size_t got = fread(descriptor, 1, sizeof descriptor, c->in);
            if (got && fwrite(descriptor, 1, got, c->out) != got) {
                c->failed = 1;
                return;
            }
            if (got != sizeof descriptor) {
                input_ran_out(c);
                return;
            }
            if (descriptor[8] & 0x80)
                copy_bytes(c, (size_t)3 << ((descriptor[8] & 7) + 1));
            copy_byte(c);  // LZW minimum code size
            copy_sub_blocks(c);
        } else if (block == 0x21) {
            copy_extension(c);
        } else {
            putc(block, c->out);
            copy_rest(c);
            return;
        }
        if (stopped(c))
            return;
        block = getc(c->in);
        if (block == EOF) {
            input_ran_out(c);
            return;
        }
    }
}

// Builds the rewritten file into out. 1 when it is complete (an image was
// found and everything was copied).
static int build_commented_gif(FILE* in, FILE* out, CommentJob* job)
{
    const char* text = job->text;
    size_t text_length = job->length;
    GifCopy c = {in, out, 0, 0, 0, job};
    BYTE header[13];
    if (fread(header, 1, sizeof header, in) != sizeof header || memcmp(header, "GIF", 3) != 0)
        return 0;
    if (memcmp(header + 3, "87a", 3) == 0)
        memcpy(header + 3, "89a", 3);
    header[11] = 0;
    header[12] = 0;
    size_t table_bytes = 0;
    if (header[10] & 0x80) {
        int b = (header[10] & 7) + 1;
        header[10] = (BYTE)(0x80 | (b - 1) << 4 | (b - 1));
        table_bytes = 3u << b;
    } else {
        header[10] &= 0x0F;
    }
    if (fwrite(header, 1, sizeof header, out) != sizeof header)
        return 0;
    copy_bytes(&c, table_bytes);

    while (!c.failed) {
        int block = getc(in);
        if (block == EOF)
            return 0;  // no image: the original stays
        if (block == 0x2C) {
            write_comment_extension(&c, text, text_length);
            copy_images(&c);
            return !c.failed && !ferror(out);
        }
        if (block == 0x3B)
            return 0;  // a trailer before any image: nothing to write back
        if (block == 0x21) {
            copy_extension(&c);
            continue;
        }
        putc(block, out);
        copy_sub_blocks(&c);
    }
    return 0;
}

static int build_gif_job(FILE* in, FILE* out, void* context)
{
    return build_commented_gif(in, out, (CommentJob*)context);
}

int write_gif_comment(const char* path, HGLOBAL* textHandle)
{
    int result = rewrite_for_comment(path, textHandle ? *textHandle : NULL, build_gif_job, NULL);
    if (result == REWRITE_NOT_WRITTEN && textHandle && *textHandle) {
        GlobalFree(*textHandle);
        *textHandle = NULL;
    }
    return result == REWRITE_DONE;
}
