// The tests' one owning handle for a packed DIB in a global memory block,
// the pixel reads every image test shares, and the little-endian helpers
// for building and inspecting files byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// Locks the block for as long as it lives and, when it owns it, frees it
// on scope exit. release() hands the block back unlocked.
class DibBlock {
public:
    explicit DibBlock(HGLOBAL h = NULL, bool owns = true);
    ~DibBlock();
    DibBlock(const DibBlock&) = delete;
    DibBlock& operator=(const DibBlock&) = delete;

    void reset(HGLOBAL h);
    HGLOBAL release();
    void unlock();  // before a call that may move or free the block
    void lock();
    HGLOBAL get() const { return handle; }
    explicit operator bool() const { return bih != nullptr; }

    BYTE* row(int y_from_bottom) const;
    RGBQUAD* table() const;
    // Red, green, blue, alpha of (x, y from the top); 16-bit pixels are
    // 5-5-5 shifted up by 3, alpha is 255 except in 32-bit pixels.
    void rgba(int x, int y_from_top, uint8_t out[4]) const;
    // Colour index or packed little-endian pixel value at (x, y from the bottom).
    uint32_t raw(int x, int y_from_bottom) const;

    BITMAPINFOHEADER* bih = nullptr;

private:
    HGLOBAL handle = NULL;
    bool is_owner = true;
};

// Every byte of the packed DIB (header, table, rows), for comparing two
// decodes of one file byte for byte; empty for a null handle.
std::string dib_bytes(HGLOBAL h);

// A new block with the given table copied in (NULL when too big).
HGLOBAL make_dib(int width, int height, int bits, const std::vector<RGBQUAD>& table = {},
                 uint32_t clr_used = 0);
RGBQUAD quad(BYTE red, BYTE green, BYTE blue);
// Sets the colour index of pixel x in a 1-, 4- or 8-bit row.
void set_index(BYTE* row, int bits, int x, unsigned index);

// Little-endian values in byte strings: stores at a position, reads from
// one, and appends.
void put_le16(std::string& s, size_t at, uint32_t v);
void put_le32(std::string& s, size_t at, uint32_t v);
uint32_t get_le16(const std::string& s, size_t at);
uint32_t get_le32(const std::string& s, size_t at);
std::string le16(uint32_t v);
std::string le32(uint32_t v);
