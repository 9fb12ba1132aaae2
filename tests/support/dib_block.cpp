#include "support/dib_block.h"

#include <cstring>

#include "image/packed_dib.h"

DibBlock::DibBlock(HGLOBAL h, bool owns) : is_owner(owns)
{
    reset(h);
}

DibBlock::~DibBlock()
{
    reset(NULL);
}

void DibBlock::reset(HGLOBAL h)
{
    unlock();
    if (handle && is_owner)
        GlobalFree(handle);
    handle = h;
    lock();
}

HGLOBAL DibBlock::release()
{
    unlock();
    HGLOBAL h = handle;
    handle = NULL;
    return h;
}

void DibBlock::unlock()
{
    if (bih)
        GlobalUnlock(handle);
    bih = nullptr;
}

void DibBlock::lock()
{
    if (handle && !bih)
        bih = (BITMAPINFOHEADER*)GlobalLock(handle);
}

BYTE* DibBlock::row(int y_from_bottom) const
{
    return dib_pixels(bih) + (size_t)y_from_bottom * dib_row_stride(bih->biWidth, bih->biBitCount);
}

RGBQUAD* DibBlock::table() const
{
    return dib_color_table(bih);
}

uint32_t DibBlock::raw(int x, int y_from_bottom) const
{
    int bits = bih->biBitCount;
    const BYTE* p = row(y_from_bottom);
    if (bits <= 8)
        return dib_row_index(p, bits, x);
    uint32_t v = 0;
    for (int k = 0; k < bits / 8; ++k)
        v |= (uint32_t)p[x * (bits / 8) + k] << (8 * k);
    return v;
}

void DibBlock::rgba(int x, int y_from_top, uint8_t out[4]) const
{
    uint32_t v = raw(x, bih->biHeight - 1 - y_from_top);
    out[3] = 255;
    if (bih->biBitCount <= 8) {
        RGBQUAD q = dib_table_entry(bih, v);
        out[0] = q.rgbRed, out[1] = q.rgbGreen, out[2] = q.rgbBlue;
    } else if (bih->biBitCount == 16) {
        out[0] = (uint8_t)(((v >> 10) & 31) << 3);
        out[1] = (uint8_t)(((v >> 5) & 31) << 3);
        out[2] = (uint8_t)((v & 31) << 3);
    } else {
        out[0] = (uint8_t)(v >> 16), out[1] = (uint8_t)(v >> 8), out[2] = (uint8_t)v;
        if (bih->biBitCount == 32)
            out[3] = (uint8_t)(v >> 24);
    }
}

HGLOBAL make_dib(int width, int height, int bits, const std::vector<RGBQUAD>& table, uint32_t clr_used)
{
    HGLOBAL h = create_packed_dib(width, height, bits, clr_used);
    if (h && !table.empty()) {
        DibBlock dib(h, false);
        std::memcpy(dib.table(), table.data(), table.size() * sizeof(RGBQUAD));
    }
    return h;
}

RGBQUAD quad(BYTE red, BYTE green, BYTE blue)
{
    RGBQUAD q = {blue, green, red, 0};
    return q;
}

void set_index(BYTE* row, int bits, int x, unsigned index)
{
    if (bits == 1) {
        if (index)
            row[x >> 3] |= (BYTE)(0x80 >> (x & 7));
        else
            row[x >> 3] &= (BYTE)~(0x80 >> (x & 7));
    } else if (bits == 4) {
        BYTE& b = row[x >> 1];
        b = (x & 1) ? (BYTE)((b & 0xF0) | (index & 0x0F)) : (BYTE)((b & 0x0F) | (index << 4));
    } else {
        row[x] = (BYTE)index;
    }
}

void put_le16(std::string& s, size_t at, uint32_t v)
{
    s[at] = (char)(v & 0xFF);
    s[at + 1] = (char)((v >> 8) & 0xFF);
}

void put_le32(std::string& s, size_t at, uint32_t v)
{
    put_le16(s, at, v & 0xFFFF);
    put_le16(s, at + 2, v >> 16);
}

uint32_t get_le16(const std::string& s, size_t at)
{
    return (unsigned char)s[at] | ((unsigned char)s[at + 1] << 8);
}

uint32_t get_le32(const std::string& s, size_t at)
{
    return get_le16(s, at) | (get_le16(s, at + 2) << 16);
}

std::string le16(uint32_t v)
{
    std::string s(2, '\0');
    put_le16(s, 0, v);
    return s;
}

std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    put_le32(s, 0, v);
    return s;
}

std::string dib_bytes(HGLOBAL h)
{
    if (!h)
        return std::string();
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(h);
    std::string bytes;
    if (bih)
        bytes.assign((const char*)bih, (size_t)dib_block_size(bih->biWidth, bih->biHeight, bih->biBitCount,
                                                              dib_color_count(bih)));
    GlobalUnlock(h);
    return bytes;
}
