// The enhanced-metafile check: a metafile the system recorded passes, and
// each damage that makes the system's player hang or reach outside its
// tables is refused.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <windows.h>

#include "image/emf_check.h"
#include "support/dib_block.h"

// Recorded by the system: each record kind the check looks into.
static std::string recorded_emf()
{
    HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    POINT line[3] = {{0, 0}, {20, 5}, {10, 20}};
    Polyline(dc, line, 3);
    TextOutA(dc, 2, 2, "Ab", 2);
    BITMAPINFOHEADER bih = {sizeof bih, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    BYTE pixels[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    StretchDIBits(dc, 0, 0, 8, 8, 0, 0, 2, 2, pixels, (BITMAPINFO*)&bih, DIB_RGB_COLORS, SRCCOPY);
    HRGN region = CreateRectRgn(1, 1, 6, 7);
    FillRgn(dc, region, (HBRUSH)GetStockObject(GRAY_BRUSH));
    ExtSelectClipRgn(dc, region, RGN_AND);
    DeleteObject(region);
    SelectObject(dc, old);
    DeleteObject(pen);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    std::string bits(GetEnhMetaFileBits(emf, 0, NULL), '\0');
    GetEnhMetaFileBits(emf, (UINT)bits.size(), (BYTE*)&bits[0]);
    DeleteEnhMetaFile(emf);
    return bits;
}

// Offset of the first record of the type, or 0.
static size_t find_record(const std::string& s, DWORD type)
{
    for (size_t at = 0; at + 8 <= s.size() && get_le32(s, at + 4) >= 8; at += get_le32(s, at + 4))
        if (get_le32(s, at) == type)
            return at;
    return 0;
}

// The first text record made a poly-text record of one string, as other
// systems record it: a string count goes before the strings.
static void make_poly_text(std::string& s)
{
    size_t r = find_record(s, EMR_EXTTEXTOUTW);
    put_le32(s, r, EMR_POLYTEXTOUTW);
    put_le32(s, r + 4, get_le32(s, r + 4) + 4);
    put_le32(s, r + 36 + 12, get_le32(s, r + 36 + 12) + 4);  // the string's offset
    put_le32(s, r + 36 + 36, get_le32(s, r + 36 + 36) + 4);  // the spacing's
    s.insert(r + 36, std::string("\x01\0\0\0", 4));
    put_le32(s, 48, get_le32(s, 48) + 4);
}

static bool check(const std::string& s)
{
    return emf_bits_are_sound((const BYTE*)s.data(), (UINT)s.size());
}

TEST(EmfCheck, RecordedMetafilePasses)
{
    std::string emf = recorded_emf();
    ASSERT_NE(find_record(emf, EMR_STRETCHDIBITS), 0u);
    EXPECT_TRUE(check(emf));
    ASSERT_NE(find_record(emf, EMR_FILLRGN), 0u);
    ASSERT_NE(find_record(emf, EMR_EXTSELECTCLIPRGN), 0u);
    make_poly_text(emf);
    ASSERT_NE(find_record(emf, EMR_POLYTEXTOUTW), 0u);
    EXPECT_TRUE(check(emf));
}

struct Damage {
    const char* name;
    DWORD type;  // record damaged
    std::function<void(std::string&, size_t)> apply;
};

// A zero-size record and an object past the table: tests/fuzz/regress.
TEST(EmfCheck, RefusesWhatThePlayerWouldTrust)
{
    const Damage damages[] = {
        {"size not in words", EMR_CREATEPEN, [](std::string& s, size_t r) { put_le32(s, r + 4, get_le32(s, r + 4) + 1); }},
        {"record past the end", EMR_EOF, [](std::string& s, size_t r) { put_le32(s, r + 4, 0x1000); }},
        {"no end record", EMR_EOF, [](std::string& s, size_t r) { put_le32(s, r, EMR_SETBKMODE); }},
        {"deleting entry 0", EMR_DELETEOBJECT, [](std::string& s, size_t r) { put_le32(s, r + 8, 0); }},
        {"deleting a stock object", EMR_DELETEOBJECT, [](std::string& s, size_t r) { put_le32(s, r + 8, 0x80000007); }},
        {"creating past the table", EMR_CREATEPEN, [](std::string& s, size_t r) { put_le32(s, r + 8, 999); }},
        {"points past the record", EMR_POLYLINE16, [](std::string& s, size_t r) { put_le32(s, r + 24, 0x7FFFFFFF); }},
        {"string past the record", EMR_EXTTEXTOUTW, [](std::string& s, size_t r) { put_le32(s, r + 44, 0x10000); }},
        {"header past the record", EMR_STRETCHDIBITS, [](std::string& s, size_t r) { put_le32(s, r + 48, 0xFFFFFFF0); }},
        {"rows past the bits", EMR_STRETCHDIBITS,
         [](std::string& s, size_t r) { put_le32(s, r + get_le32(s, r + 48) + 8, 4000); }},
        {"brush past the table", EMR_FILLRGN, [](std::string& s, size_t r) { put_le32(s, r + 28, 0x3F800000); }},
        {"region shorter than its header", EMR_FILLRGN, [](std::string& s, size_t r) { put_le32(s, r + 24, 1); }},
        {"region rectangles past the record", EMR_FILLRGN,
         [](std::string& s, size_t r) { put_le32(s, r + 32 + 8, 0x10000000); }},
        {"clip rectangles past the record", EMR_EXTSELECTCLIPRGN,
         [](std::string& s, size_t r) { put_le32(s, r + 16 + 8, 0x10000000); }},
        {"poly-text strings past the record", EMR_POLYTEXTOUTW,
         [](std::string& s, size_t r) { put_le32(s, r + 36, 0x3D18E0C8); }},
        {"poly-text spacing past the record", EMR_POLYTEXTOUTW,
         [](std::string& s, size_t r) { put_le32(s, r + 76, get_le32(s, r + 4)); }},
        {"records after the end record", EMR_EOF,
         [](std::string& s, size_t) { s.append(8, '\0'); put_le32(s, 48, get_le32(s, 48) + 8); }},
        {"file longer than the bits", EMR_HEADER, [](std::string& s, size_t r) { put_le32(s, r + 48, 0x7FFFFFFF); }},
        // The player reads a header at its offset whatever size stands beside it.
        {"header offset with a size of 0", EMR_STRETCHDIBITS, [](std::string& s, size_t r) { put_le32(s, r + 52, 0); }},
        {"core header's rows past the bits", EMR_STRETCHDIBITS,
         [](std::string& s, size_t r) {
             size_t h = r + get_le32(s, r + 48);
             put_le32(s, h, 12);
             put_le16(s, h + 4, 3000);
             put_le16(s, h + 6, 3000);
             put_le16(s, h + 8, 1);
             put_le16(s, h + 10, 24);
         }},
        {"run-length data of no size", EMR_STRETCHDIBITS,
         [](std::string& s, size_t r) {
             size_t h = r + get_le32(s, r + 48);
             put_le16(s, h + 14, 8);
             put_le32(s, h + 16, BI_RLE8);
             put_le32(s, h + 20, 0);
             put_le32(s, h + 32, 1);
         }},
        {"a pen whose brush is an address", EMR_CREATEPEN,
         [](std::string& s, size_t r) {
             std::string pen = le32(EMR_EXTCREATEPEN) + le32(56) + le32(1) + std::string(16, '\0') + le32(0x10000) +
                               le32(1) + le32(BS_DIBPATTERNPT) + le32(0) + le32(0x41414141) + le32(0) + le32(0);
             put_le32(s, 48, get_le32(s, 48) + 56 - get_le32(s, r + 4));
             s.replace(r, get_le32(s, r + 4), pen);
         }},
    };
    for (const Damage& d : damages) {
        std::string emf = recorded_emf();
        if (d.type == EMR_POLYTEXTOUTW)
            make_poly_text(emf);
        size_t record = find_record(emf, d.type);
        ASSERT_TRUE(record != 0 || d.type == EMR_HEADER) << d.name;
        d.apply(emf, record);
        EXPECT_FALSE(check(emf)) << d.name;
    }
}

// Parameters of a Windows-metafile record against the rule for its
// function: what the player reads past the record, from an address or as
// a device command is refused; the sound form beside it passes.
TEST(WmfCheck, RefusesWhatThePlayerWouldTrust)
{
    std::string dib = le32(40) + le32(2) + le32(2) + le16(1) + le16(24) + std::string(24, '\0') + std::string(16, '\x7F');
    std::string rop = le32(0x00CC0020);
    std::string eight(16, '\0');
    // An old 16x2 bitmap of bit count 0 (made 4 bits a pixel) with rows in bytes.
    auto bit_blt = [](size_t row_bytes) {
        return le16(0xCC) + std::string(12, '\0') + le16(16) + le16(2) + le16(2) + le16(1) + le16(0) +
               std::string(row_bytes, '\0');
    };
    // Two characters at 0, 0 with options, then the bytes after them.
    auto text = [](uint16_t options, size_t bytes) {
        return le16(0) + le16(0) + le16(2) + le16(options) + std::string(bytes, 'A');
    };
    // One scan of rectangles.
    auto region = [](uint16_t rectangles) {
        std::string scan = le16(2 * rectangles) + le16(0) + le16(1);
        for (uint16_t i = 0; i < 2 * rectangles; ++i)
            scan += le16(i);
        return le16(0) + le16(6) + std::string(6, '\0') + le16(1) + le16(2 * rectangles) + std::string(8, '\0') +
               scan + le16(2 * rectangles);
    };
    struct Case {
        const char* name;
        uint16_t function;
        std::string params;
        bool sound;
    } cases[] = {
        {"DIB stretch blit", META_DIBSTRETCHBLT, rop + eight + dib, true},
        {"DIB stretch blit without its DIB", META_DIBSTRETCHBLT, rop + eight + le16(0), false},
        {"DIB bit blit as a pattern blit", META_DIBBITBLT, rop + std::string(14, '\0'), true},
        {"pattern blit short of word 8", META_DIBBITBLT, rop + std::string(10, '\0'), false},
        {"old bit blit short of its bitmap", META_BITBLT, rop + std::string(14, '\0'), false},
        {"palette selected by word 1", META_SELECTPALETTE, le16(0) + le16(1), true},
        {"palette index past the table", META_SELECTPALETTE, le16(0) + le16(500), false},
        {"frame region brush past the table", META_FRAMEREGION, le16(1) + le16(1) + le16(0) + le16(900), false},
        {"font with its face name", META_CREATEFONTINDIRECT, std::string(50, '\0'), true},
        {"font short of its face name", META_CREATEFONTINDIRECT, std::string(18, '\0'), false},
        {"brush of an address", META_CREATEBRUSHINDIRECT, le16(BS_DIBPATTERNPT) + le32(0) + le16(0x4141), false},
        {"polygons counted negative", META_POLYPOLYGON, le16(2) + le16(0xFFFF) + le16(3) + std::string(12, '\0'), false},
        {"comment escape", META_ESCAPE, le16(15) + le16(2) + "ab", true},
        {"new-page escape", META_ESCAPE, le16(1) + le16(0), false},
        {"function without a rule", 0x0777, le32(0), false},
        {"bitmap of bit count 0 with 4-bit rows", META_BITBLT, bit_blt(16), true},
        {"bitmap of bit count 0 with 1-bit rows", META_BITBLT, bit_blt(4), false},
        {"glyph indices of two bytes", META_EXTTEXTOUT, text(ETO_GLYPH_INDEX, 4), true},
        {"glyph indices counted as bytes", META_EXTTEXTOUT, text(ETO_GLYPH_INDEX, 2), false},
        {"text with spacings", META_EXTTEXTOUT, text(0, 2 + 4), true},
        {"spacings read in pairs", META_EXTTEXTOUT, text(ETO_PDY, 2 + 4), false},
        {"region of the most rectangles", META_CREATEREGION, region(8192), true},
        {"region of one rectangle more", META_CREATEREGION, region(8193), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.sound, wmf_record_is_sound(c.function, (const BYTE*)c.params.data(), (uint32_t)c.params.size(), 4))
            << c.name;
}
