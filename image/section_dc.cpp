// Memory DCs on pixels in a file mapping (see section_dc.h).
#include "image/section_dc.h"

#include <string.h>

void describe_top_down_pixels(BITMAPINFO* bi, LONG width, LONG height)
{
    memset(bi, 0, sizeof *bi);
    bi->bmiHeader.biSize = sizeof bi->bmiHeader;
    bi->bmiHeader.biWidth = width;
    bi->bmiHeader.biHeight = -height;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = 32;
    bi->bmiHeader.biCompression = BI_RGB;
}

void release_section_dc(SectionDc* section)
{
    if (section->old)
        SelectObject(section->dc, section->old);
    if (section->bitmap)
        DeleteObject(section->bitmap);
    if (section->dc)
        DeleteDC(section->dc);
    memset(section, 0, sizeof *section);
}

HDC section_dc(SectionDc* section, HANDLE mapping, LONG width, LONG height, DWORD offset)
{
    if (section->dc && section->mapping == mapping && section->width == width && section->height == height &&
        section->offset == offset)
        return section->dc;
    release_section_dc(section);
    BITMAPINFO bi;
    describe_top_down_pixels(&bi, width, height);
    void* pixels = NULL;
    section->dc = CreateCompatibleDC(NULL);
    section->bitmap =
        section->dc ? CreateDIBSection(section->dc, &bi, DIB_RGB_COLORS, &pixels, mapping, offset) : NULL;
    if (!section->bitmap) {
        release_section_dc(section);
        return NULL;
    }
    section->old = SelectObject(section->dc, section->bitmap);
    section->mapping = mapping;
    section->width = width;
    section->height = height;
    section->offset = offset;
    return section->dc;
}
