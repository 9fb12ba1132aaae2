// The palette of the colour picker's grid (see picker_palette.h).
#include "image/picker_palette.h"

#include <string.h>

#include "tools/color_reduce.h"

enum { PICKER_COLOR_COUNT = 48 };

struct PickerPalette {
    WORD version;
    WORD count;
    PALETTEENTRY entries[257];
};

HPALETTE create_picker_palette(void)
{
    HGLOBAL hTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 256 * sizeof(RGBQUAD));
    RGBQUAD* table = hTable ? (RGBQUAD*)GlobalLock(hTable) : NULL;
    if (!table) {
        if (hTable)
            GlobalFree(hTable);
        return NULL;
    }
    get_standard_palette(PICKER_COLOR_COUNT, table);
    PickerPalette buffer;
    memset(&buffer, 0, sizeof buffer);
    buffer.version = 0x300;
    buffer.count = PICKER_COLOR_COUNT;
    // The picker's table holds red, green, blue in that byte order.
    for (int i = 0; i < PICKER_COLOR_COUNT; ++i) {
        const BYTE* bytes = (const BYTE*)&table[i];
        buffer.entries[i].peRed = bytes[0];
        buffer.entries[i].peGreen = bytes[1];
        buffer.entries[i].peBlue = bytes[2];
    }
    GlobalUnlock(hTable);
    GlobalFree(hTable);
    return CreatePalette((const LOGPALETTE*)&buffer);
}
