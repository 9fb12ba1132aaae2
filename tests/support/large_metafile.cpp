#include "support/large_metafile.h"

#include <windows.h>

#include "support/dib_block.h"

// The record repeated before the last end_bytes of file (its end record)
// until file holds about bytes; the records put in.
static uint64_t fill_before_end(std::string& file, const std::string& record, uint64_t bytes, size_t end_bytes)
{
    const uint64_t count = bytes > file.size() ? (bytes - file.size()) / record.size() : 0;
    std::string records;
    records.reserve((size_t)(count * record.size()));
    for (uint64_t i = 0; i < count; ++i)
        records += record;
    file.insert(file.size() - end_bytes, records);
    return count;
}

enum { LINE_POINTS = 4096 };

// A point of a line: steps of a pixel or two along a row, back and forth,
// so that a play draws few pixels of a line however many bytes it has
// (every play of a large picture, a conversion's comparison plays too,
// costs its pixels).
static uint32_t line_x(uint32_t i)
{
    return 10 + i % 256 + i % 2;
}
static uint32_t line_y(uint32_t i)
{
    return 10 + i % 7;
}

std::string large_sound_emf(uint64_t bytes)
{
    HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(dc, red);
    SelectObject(dc, pen);
    Rectangle(dc, 0, 0, 500, 300);
    HENHMETAFILE made = CloseEnhMetaFile(dc);
    DeleteObject(red);
    DeleteObject(pen);
    std::string emf(GetEnhMetaFileBits(made, 0, NULL), '\0');
    GetEnhMetaFileBits(made, (UINT)emf.size(), (BYTE*)&emf[0]);
    DeleteEnhMetaFile(made);

    std::string line(28 + 8 * LINE_POINTS, '\0');
    put_le32(line, 0, EMR_POLYLINE);
    put_le32(line, 4, (uint32_t)line.size());
    put_le32(line, 16, 500);  // bounds
    put_le32(line, 20, 300);
    put_le32(line, 24, LINE_POINTS);
    for (uint32_t i = 0; i < LINE_POINTS; ++i) {
        put_le32(line, 28 + 8 * i, line_x(i));
        put_le32(line, 32 + 8 * i, line_y(i));
    }
    const uint64_t count = fill_before_end(emf, line, bytes, 20);
    put_le32(emf, 48, (uint32_t)emf.size());
    put_le32(emf, 52, get_le32(emf, 52) + (uint32_t)count);
    return emf;
}

std::string large_sound_wmf(uint64_t bytes)
{
    HDC dc = CreateMetaFileA(NULL);
    SetWindowExtEx(dc, 500, 300, NULL);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(dc, red);
    SelectObject(dc, pen);
    Rectangle(dc, 0, 0, 500, 300);
    HMETAFILE made = CloseMetaFile(dc);
    DeleteObject(red);
    DeleteObject(pen);
    std::string wmf(GetMetaFileBitsEx(made, 0, NULL), '\0');
    GetMetaFileBitsEx(made, (UINT)wmf.size(), &wmf[0]);
    DeleteMetaFile(made);

    std::string line(8 + 4 * LINE_POINTS, '\0');
    put_le32(line, 0, (uint32_t)line.size() / 2);
    put_le16(line, 4, META_POLYLINE);
    put_le16(line, 6, LINE_POINTS);
    for (uint32_t i = 0; i < LINE_POINTS; ++i) {
        put_le16(line, 8 + 4 * i, line_x(i));
        put_le16(line, 10 + 4 * i, line_y(i));
    }
    if (fill_before_end(wmf, line, bytes, 6) && get_le32(wmf, 12) < line.size() / 2)
        put_le32(wmf, 12, (uint32_t)line.size() / 2);
    put_le32(wmf, 6, (uint32_t)(wmf.size() / 2));
    return wmf;
}
