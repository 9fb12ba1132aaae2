// Exif thumbnails for the batch grid (see exif_thumbnail.h). The thumbnail
// bytes go through a temporary file because the JPEG reader reads paths.
#include "viewer/exif_thumbnail.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "image/byte_order.h"
#include "image/packed_dib.h"
#include "image/temp_file.h"
#include "jpeg/jpeg_read.h"
#include "tools/resample.h"

enum {
    TAG_ORIENTATION = 274,
    TAG_THUMB_OFFSET = 513,
    TAG_THUMB_LENGTH = 514,
    MAX_IFD_ENTRIES = 1000,
};

// Entry count and entries of the directory at offset, or 0 when it does not
// lie wholly inside the block.
static int directory_at(const BYTE* tiff, DWORD length, DWORD offset, uint16_t order, DWORD* count)
{
    if (offset < 8 || offset > length || length - offset < 2)
        return 0;
    *count = read_u16_ordered(tiff + offset, order);
    if (*count > MAX_IFD_ENTRIES || (uint64_t)*count * 12 + 6 > length - offset)
        return 0;
    return 1;
}

// A SHORT or LONG entry's value.
static DWORD entry_value(const BYTE* entry, uint16_t order)
{
    uint16_t type = read_u16_ordered(entry + 2, order);
    return type == 3 ? read_u16_ordered(entry + 8, order) : read_u32_ordered(entry + 8, order);
}

int find_exif_thumbnail(const BYTE* tiff, DWORD tiff_length, DWORD* offset, DWORD* length, int* orientation)
{
    *orientation = 0;
    if (tiff_length < 8)
        return 0;
    uint16_t order = (uint16_t)(tiff[0] << 8 | tiff[1]);
    if ((order != BYTE_ORDER_II && order != BYTE_ORDER_MM) || read_u16_ordered(tiff + 2, order) != 42)
        return 0;
    DWORD count;
    DWORD ifd0 = read_u32_ordered(tiff + 4, order);
    if (!directory_at(tiff, tiff_length, ifd0, order, &count))
        return 0;
    for (DWORD e = 0; e < count; ++e) {
        const BYTE* entry = tiff + ifd0 + 2 + e * 12;
        if (read_u16_ordered(entry, order) == TAG_ORIENTATION) {
            DWORD value = entry_value(entry, order);
            *orientation = value >= 1 && value <= 8 ? (int)value : 0;
        }
    }
    DWORD ifd1 = read_u32_ordered(tiff + ifd0 + 2 + count * 12, order);
    if (ifd1 == 0 || ifd1 == ifd0 || !directory_at(tiff, tiff_length, ifd1, order, &count))
        return 0;
    DWORD start = 0, size = 0;
    for (DWORD e = 0; e < count; ++e) {
        const BYTE* entry = tiff + ifd1 + 2 + e * 12;
        uint16_t tag = read_u16_ordered(entry, order);
        if (tag == TAG_THUMB_OFFSET)
            start = entry_value(entry, order);
        else if (tag == TAG_THUMB_LENGTH)
            size = entry_value(entry, order);
    }
    if (size < 4 || start > tiff_length || size > tiff_length - start)
        return 0;
    if (tiff[start] != 0xFF || tiff[start + 1] != 0xD8)
        return 0;
    *offset = start;
    *length = size;
    return 1;
}

// The TIFF block of the file's Exif APP1 segment (after an optional APP0),
// in buffer (at least 65536 bytes); its length, or 0.
static DWORD read_exif_block(FILE* fp, BYTE* buffer)
{
    BYTE marker[4];
    if (fread(marker, 1, 2, fp) != 2 || marker[0] != 0xFF || marker[1] != 0xD8)
        return 0;
    for (int segment = 0; segment < 2; ++segment) {
        if (fread(marker, 1, 4, fp) != 4 || marker[0] != 0xFF)
            return 0;
        DWORD length = (DWORD)marker[2] << 8 | marker[3];
        if (length < 2)
            return 0;
        length -= 2;
        if (marker[1] == 0xE0 && segment == 0) {
            if (fseek(fp, (long)length, SEEK_CUR) != 0)
                return 0;
            continue;
        }
        if (marker[1] != 0xE1 || length < 6 || fread(buffer, 1, length, fp) != length)
            return 0;
        if (memcmp(buffer, "Exif\0\0", 6) != 0)
            return 0;
        memmove(buffer, buffer + 6, length - 6);
        return length - 6;
    }
    return 0;
}

// The image shrunk to fit the thumbnail square; the old block is freed when
// a new one replaces it.
static HGLOBAL fit_thumbnail(HGLOBAL image)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(image);
    if (!bih)
        return image;
    LONG width = bih->biWidth, height = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
    GlobalUnlock(image);
    if (width <= 160 && height <= 160)
        return image;
    LONG new_width = 160, new_height = 160;
    if (width >= height)
        new_height = (LONG)((int64_t)height * 160 / width);
    else
        new_width = (LONG)((int64_t)width * 160 / height);
    HGLOBAL small = resample_image(image, new_width > 0 ? new_width : 1, new_height > 0 ? new_height : 1);
    if (!small)
        return image;
    GlobalFree(image);
    return small;
}

HGLOBAL read_batch_thumbnail(const char* path, int* orientation)
{
    *orientation = 0;
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return NULL;
    HGLOBAL result = NULL;
    BYTE* block = (BYTE*)GlobalAlloc(GMEM_FIXED, 65536);
    DWORD length = block ? read_exif_block(fp, block) : 0;
    fclose(fp);
    DWORD offset = 0, size = 0;
    char* temp = NULL;
    if (length && find_exif_thumbnail(block, length, &offset, &size, orientation) &&
        (temp = make_temp_file_name()) != NULL) {
        FILE* out = fopen(temp, "wb");
        bool written = out && fwrite(block + offset, 1, size, out) == size;
        if (out && fclose(out) != 0)
            written = false;
        if (written)
            result = read_jpeg_file(temp, NULL);
        delete_temp_file(temp);
    }
    if (block)
        GlobalFree(block);
    return result ? fit_thumbnail(result) : NULL;
}

int is_lossless_jpeg(const char* path)
{
    FILE* fp = fopen(path, "rb");
    if (!fp)
        return 0;
    int lossless = 0;
    BYTE b[4];
    if (fread(b, 1, 2, fp) == 2 && b[0] == 0xFF && b[1] == 0xD8) {
        // Segments up to the first frame header; a broken chain ends the walk.
        for (int hops = 0; hops < 1000 && fread(b, 1, 4, fp) == 4 && b[0] == 0xFF; ++hops) {
            BYTE marker = b[1];
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
                break;
            }
            if (marker == 0xDA)
                break;
            long length = (long)(b[2] << 8 | b[3]);
            if (length < 2 || fseek(fp, length - 2, SEEK_CUR) != 0)
                break;
        }
    }
    fclose(fp);
    return lossless;
}
