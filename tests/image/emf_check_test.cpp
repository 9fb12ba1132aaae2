// The enhanced-metafile check: a metafile the system recorded passes, and
// each damage that makes the system's player hang or reach outside its
// tables is refused.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "image/emf_check.h"
#include "image/wmf_check.h"
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

static std::string record(DWORD type, const std::string& body)
{
    return le32(type) + le32(8 + (uint32_t)body.size()) + body;
}

// The record at r replaced by another, the header's byte count following.
static void replace_record(std::string& s, size_t r, const std::string& with)
{
    put_le32(s, 48, get_le32(s, 48) + (uint32_t)with.size() - get_le32(s, r + 4));
    s.replace(r, get_le32(s, r + 4), with);
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
        // The conversion's recorder copies the stated size, not the rows.
        {"image size stated past the bits", EMR_STRETCHDIBITS,
         [](std::string& s, size_t r) { put_le32(s, r + get_le32(s, r + 48) + 20, get_le32(s, r + 60) + 1); }},
        {"brush past the table", EMR_FILLRGN, [](std::string& s, size_t r) { put_le32(s, r + 28, 0x3F800000); }},
        {"region shorter than its header", EMR_FILLRGN, [](std::string& s, size_t r) { put_le32(s, r + 24, 1); }},
        {"region rectangles past the record", EMR_FILLRGN,
         [](std::string& s, size_t r) { put_le32(s, r + 32 + 8, 0x10000000); }},
        {"clip rectangles past the record", EMR_EXTSELECTCLIPRGN,
         [](std::string& s, size_t r) { put_le32(s, r + 16 + 8, 0x10000000); }},
        {"poly-text strings past the record", EMR_POLYTEXTOUTW,
         [](std::string& s, size_t r) { put_le32(s, r + 36, 0x3D18E0C8); }},
        // Four strings of the same 200 characters: 1,600 bytes of text in 1,400.
        {"poly-text strings sharing their characters", EMR_POLYTEXTOUTW,
         [](std::string& s, size_t r) {
             const uint32_t strings = 4, chars = 200, text_at = 40 + 40 * strings;
             std::string string = le32(0) + le32(0) + le32(chars) + le32(text_at) + le32(0) +
                                  std::string(16, '\0') + le32(text_at + 2 * chars);
             std::string body = std::string(16, '\0') + le32(GM_COMPATIBLE) + std::string(8, '\0') + le32(strings);
             for (uint32_t i = 0; i < strings; i++)
                 body += string;
             replace_record(s, r, record(EMR_POLYTEXTOUTW, body + std::string(6 * chars, 'A')));
         }},
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
        {"palette resized to no entries", EMR_CREATEPEN,
         [](std::string& s, size_t r) { replace_record(s, r, record(EMR_RESIZEPALETTE, le32(1) + le32(0))); }},
        // Read as a 40-byte header, the core header's 1 x 1 is 65537 x 65537.
        {"mono brush of a core header, 1-bit rows without a table", EMR_CREATEPEN,
         [](std::string& s, size_t r) {
             std::string core = le32(12) + le16(1) + le16(1) + le16(1) + le16(1);
             replace_record(s, r, record(EMR_CREATEMONOBRUSH, le32(1) + le32(2) + le32(32) + le32(12) + le32(44) +
                                                                 le32(4) + core + std::string(4, '\x80')));
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

// Region data of count 1 x 1 rectangles, at the region byte count's field.
static std::string grid_region(uint32_t count)
{
    std::string rects;
    for (uint32_t i = 0; i < count; i++)
        rects += le32(i % 400 * 2) + le32(i / 400 * 2) + le32(i % 400 * 2 + 1) + le32(i / 400 * 2 + 1);
    return le32(32 + (uint32_t)rects.size()) + le32(32) + le32(1) + le32(count) + le32((uint32_t)rects.size()) +
           std::string(16, '\0') + rects;
}

// The player builds a region a rectangle at a time: a region record may
// bring so many, and not one more.
TEST(EmfCheck, BoundsTheRectanglesOfARegion)
{
    const struct {
        DWORD type;
        uint32_t rects;
        bool sound;
    } cases[] = {
        {EMR_FILLRGN, 10000, true},
        {EMR_FILLRGN, 10001, false},
        {EMR_EXTSELECTCLIPRGN, 10000, true},
        {EMR_EXTSELECTCLIPRGN, 10001, false},
    };
    for (const auto& c : cases) {
        std::string emf = recorded_emf();
        size_t r = find_record(emf, c.type);
        ASSERT_NE(r, 0u);
        std::string data = grid_region(c.rects);
        std::string body = c.type == EMR_FILLRGN ? std::string(16, '\0') + le32(get_le32(data, 0)) +
                                                       le32(get_le32(emf, r + 28)) + data.substr(4)
                                                 : le32(get_le32(data, 0)) + le32(RGN_COPY) + data.substr(4);
        replace_record(emf, r, record(c.type, body));
        EXPECT_EQ(c.sound, check(emf)) << c.type << " of " << c.rects;
    }
}

// A mask blit of an 8 x 8 source and mask to a destination of the size.
static std::string mask_blit(uint32_t width, uint32_t height)
{
    std::string head = std::string(16, '\0') + le32(0) + le32(0) + le32(width) + le32(height) + le32(SRCCOPY) +
                       le32(0) + le32(0) + std::string(24, '\0') + le32(0) + le32(DIB_RGB_COLORS);
    std::string source = le32(40) + le32(8) + le32(8) + le16(1) + le16(24) + std::string(24, '\0');
    std::string mask = le32(40) + le32(8) + le32(8) + le16(1) + le16(1) + std::string(24, '\0') + le32(0) +
                       le32(0xFFFFFF);
    return record(EMR_MASKBLT, head + le32(128) + le32(40) + le32(168) + le32(192) + le32(0) + le32(0) +
                                   le32(DIB_RGB_COLORS) + le32(360) + le32(48) + le32(408) + le32(32) + source +
                                   std::string(192, '\x80') + mask + std::string(32, '\xAA'));
}

// The player makes a mask blit's mask and work bitmaps of its
// destination's size, whatever its source holds.
TEST(EmfCheck, BoundsTheBitmapsAMaskBlitMakes)
{
    const struct {
        uint32_t width, height;
        bool sound;
    } cases[] = {{8, 8, true}, {4096, 4096, true}, {4097, 4096, false}, {0x7FFFFF, 8, false}, {0u - 4097, 4096, false}};
    for (const auto& c : cases) {
        EmfCheckState state;
        begin_emf_check(&state, 2);
        std::string r = mask_blit(c.width, c.height);
        EXPECT_EQ(c.sound, emf_record_is_sound((const BYTE*)r.data(), (uint32_t)r.size(), &state)) << c.width;
        end_emf_check(&state);
    }
}

// A palette-indexed bitmap of 1 x 1 (one index) drawn by set-DIB-bits, or
// by an alpha blend, which copies its bits into a bitmap the player makes
// through the palette of the device it plays on.
static std::string palette_indexed_blit(DWORD type)
{
    std::string dib = le32(40) + le32(1) + le32(1) + le16(1) + le16(8) + std::string(16, '\0') + le32(1) +
                      le32(0) + le32(0) + std::string(4, '\0');
    if (type == EMR_SETDIBITSTODEVICE)
        return record(type, std::string(16, '\0') + std::string(16, '\0') + le32(1) + le32(1) + le32(76) +
                                le32(44) + le32(120) + le32(4) + le32(DIB_PAL_COLORS) + le32(0) + le32(1) + dib);
    return record(type, std::string(16, '\0') + std::string(20, '\0') + std::string(32, '\0') + le32(0) +
                            le32(DIB_PAL_COLORS) + le32(108) + le32(44) + le32(152) + le32(4) + le32(1) + le32(1) + dib);
}

// The player keeps its palettes and the one selected across records: a
// palette-indexed bitmap is judged by the palette the records before it
// left selected, and a record refused leaves that as it was.
TEST(EmfCheck, JudgesPaletteColoursByThePaletteSelected)
{
    const std::string empty = record(EMR_CREATEPALETTE, le32(1) + le16(0x300) + le16(0));
    const std::string one = record(EMR_CREATEPALETTE, le32(1) + le16(0x300) + le16(1) + le32(0xFF));
    const std::string select = record(EMR_SELECTPALETTE, le32(1));
    const std::string select_stock = record(EMR_SELECTPALETTE, le32(0x80000000u | DEFAULT_PALETTE));
    const std::string pen_over = record(EMR_CREATEPEN, le32(1) + std::string(16, '\0'));
    const std::string resize_to_0 = record(EMR_RESIZEPALETTE, le32(1) + le32(0));
    const std::string blit = palette_indexed_blit(EMR_SETDIBITSTODEVICE);
    const struct {
        const char* name;
        std::vector<std::string> records;
        bool last_sound;
    } cases[] = {
        {"the stock palette", {blit}, true},
        {"a palette of one entry", {one, select, blit}, true},
        {"an empty palette", {empty, select, blit}, false},
        {"the stock palette selected again", {empty, select, select_stock, blit}, true},
        {"its entry taken, the empty palette still selected", {empty, select, pen_over, blit}, false},
        {"a resize refused and not played", {one, select, resize_to_0, blit}, true},
        {"an alpha blend", {one, select, palette_indexed_blit(EMR_ALPHABLEND)}, false},
    };
    for (const auto& c : cases) {
        EmfCheckState state;
        begin_emf_check(&state, 2);
        bool sound = false;
        for (const std::string& r : c.records)
            sound = emf_record_is_sound((const BYTE*)r.data(), (uint32_t)r.size(), &state);
        end_emf_check(&state);
        EXPECT_EQ(c.last_sound, sound) << c.name;
    }
}

// The conversion's copy: every record that keeps its rules, in order, and
// a header counting what the copy holds; a sound file byte for byte. A
// record that breaks its rule, or of a type without one, is left out.
TEST(EmfCheck, CopyKeepsTheSoundRecords)
{
    const struct {
        const char* name;
        std::function<void(std::string&, size_t)> damage;  // of the pen record
        bool breaks_rule;
    } cases[] = {
        {"a sound file", nullptr, false},
        {"a pen past the table", [](std::string& s, size_t r) { put_le32(s, r + 8, 999); }, true},
        {"an OpenGL record, which has no rule", [](std::string& s, size_t r) { put_le32(s, r, EMR_GLSRECORD); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string emf = recorded_emf();
        std::string copy(emf.size() + 20, '\0');
        if (!c.damage) {
            ASSERT_EQ(emf.size(), copy_sound_emf_records((const BYTE*)emf.data(), (UINT)emf.size(), (BYTE*)&copy[0]));
            EXPECT_EQ(emf, copy.substr(0, emf.size()));
            continue;
        }
        size_t pen = find_record(emf, EMR_CREATEPEN);
        uint32_t pen_bytes = get_le32(emf, pen + 4), records = get_le32(emf, 52);
        c.damage(emf, pen);
        EXPECT_EQ(!c.breaks_rule, check(emf));
        uint32_t kept = copy_sound_emf_records((const BYTE*)emf.data(), (UINT)emf.size(), (BYTE*)&copy[0]);
        ASSERT_EQ(emf.size() - pen_bytes, kept);
        copy.resize(kept);
        EXPECT_EQ(emf.substr(0, pen).substr(56), copy.substr(0, pen).substr(56));
        EXPECT_EQ(emf.substr(pen + pen_bytes), copy.substr(pen));
        EXPECT_EQ(kept, get_le32(copy, 48));
        EXPECT_EQ(records - 1, get_le32(copy, 52));
        EXPECT_TRUE(check(copy));
    }
}

// Parameters of a Windows-metafile record against the rule for its
// function: what the player reads past the record, from an address or as
// a device command is refused; the sound form beside it passes.
TEST(WmfCheck, RefusesWhatThePlayerWouldTrust)
{
    std::string dib = le32(40) + le32(2) + le32(2) + le16(1) + le16(24) + std::string(24, '\0') + std::string(16, '\x7F');
    // The same DIB stating an image size: the recorder copies that many bytes.
    auto stating = [](uint32_t image_size) {
        return le32(40) + le32(2) + le32(2) + le16(1) + le16(24) + le32(BI_RGB) + le32(image_size) +
               std::string(16, '\0') + std::string(16, '\x7F');
    };
    std::string rop = le32(0x00CC0020);
    std::string eight(16, '\0');
    // An old 16x2 bitmap of bit count 0 (made 4 bits a pixel) with rows in bytes.
    auto bit_blt = [](size_t row_bytes, uint16_t planes = 1) {
        return le16(0xCC) + std::string(12, '\0') + le16(16) + le16(2) + le16(2) + le16(planes) + le16(0) +
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
        {"stretch DIB stating the size of its bits", META_STRETCHDIB, rop + le16(0) + eight + stating(16), true},
        {"stretch DIB stating a size past its bits", META_STRETCHDIB, rop + le16(0) + eight + stating(17), false},
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
        {"carried metafile's comment stating 2 bytes", META_ESCAPE, le16(15) + le16(2) + "WMFC", false},
        {"new-page escape", META_ESCAPE, le16(1) + le16(0), false},
        {"function without a rule", 0x0777, le32(0), false},
        {"bitmap of bit count 0 with 4-bit rows", META_BITBLT, bit_blt(16), true},
        {"bitmap of bit count 0 with 1-bit rows", META_BITBLT, bit_blt(4), false},
        {"bitmap of two planes", META_BITBLT, bit_blt(32, 2), false},
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

// Distinct glyphs of Windows-metafile text: characters a byte each, glyph
// indices two bytes each, after the rectangle when there is one; and the
// end of the glyph indices.
TEST(WmfCheck, CountsTheDistinctGlyphsOfText)
{
    auto ext_text = [](uint16_t options, const std::string& text, uint16_t length) {
        std::string rect = options & ETO_OPAQUE ? std::string(8, '\x7F') : "";
        return le16(0) + le16(0) + le16(length) + le16(options) + rect + text;
    };
    struct Case {
        const char* name;
        uint16_t function;
        std::string params;
        uint32_t distinct, index_end;
    } cases[] = {
        {"text out", META_TEXTOUT, le16(5) + "abcab" + std::string(1, '\0') + le32(0), 3, 0},
        {"extended text out", META_EXTTEXTOUT, ext_text(0, "aabbcd", 6), 4, 0},
        {"after its rectangle", META_EXTTEXTOUT, ext_text(ETO_OPAQUE, "aabb", 4), 2, 0},
        {"glyph indices", META_EXTTEXTOUT, ext_text(ETO_GLYPH_INDEX, le16(301) + le16(300) + le16(301), 3), 2, 302},
        {"a length past the record", META_EXTTEXTOUT, ext_text(0, "ab", 60000), 2, 0},
        {"not text", META_RECTANGLE, std::string(8, 'a'), 0, 0},
    };
    for (const Case& c : cases) {
        TextGlyphs glyphs = wmf_text_glyphs(c.function, (const BYTE*)c.params.data(), (uint32_t)c.params.size());
        EXPECT_EQ(c.distinct, glyphs.distinct) << c.name;
        EXPECT_EQ(c.index_end, glyphs.index_end) << c.name;
    }
}
