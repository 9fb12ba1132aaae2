#include "support/large_metafile.h"

#include <windows.h>

#include "support/dib_block.h"

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

    const uint32_t POINTS = 4096;
    std::string polyline(28 + 8 * POINTS, '\0');
    put_le32(polyline, 0, EMR_POLYLINE);
    put_le32(polyline, 4, (uint32_t)polyline.size());
    put_le32(polyline, 16, 500);  // bounds
    put_le32(polyline, 20, 300);
    put_le32(polyline, 24, POINTS);
    for (uint32_t i = 0; i < POINTS; ++i) {
        put_le32(polyline, 28 + 8 * i, i * 37 % 500);
        put_le32(polyline, 32 + 8 * i, i * 53 % 300);
    }
    const uint64_t count = bytes > emf.size() ? (bytes - emf.size()) / polyline.size() : 0;
    std::string records;
    records.reserve((size_t)(count * polyline.size()));
    for (uint64_t i = 0; i < count; ++i)
        records += polyline;
    emf.insert(emf.size() - 20, records);  // before the end record
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

    const uint32_t POINTS = 4096;
    std::string polyline(8 + 4 * POINTS, '\0');
    put_le32(polyline, 0, (uint32_t)polyline.size() / 2);
    put_le16(polyline, 4, META_POLYLINE);
    put_le16(polyline, 6, POINTS);
    for (uint32_t i = 0; i < POINTS; ++i) {
        put_le16(polyline, 8 + 4 * i, i * 37 % 500);
        put_le16(polyline, 10 + 4 * i, i * 53 % 300);
    }
    const uint64_t count = bytes > wmf.size() ? (bytes - wmf.size()) / polyline.size() : 0;
    std::string records;
    records.reserve((size_t)(count * polyline.size()));
    for (uint64_t i = 0; i < count; ++i)
        records += polyline;
    wmf.insert(wmf.size() - 6, records);  // before the end record
    put_le32(wmf, 6, (uint32_t)(wmf.size() / 2));
    if (count && get_le32(wmf, 12) < polyline.size() / 2)
        put_le32(wmf, 12, (uint32_t)polyline.size() / 2);
    return wmf;
}
