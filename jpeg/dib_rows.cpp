// Rows for the JPEG encoders (see dib_rows.h).
#include "jpeg/dib_rows.h"

#include "image/packed_dib.h"

int dib_has_grey_table(const BITMAPINFOHEADER* bih)
{
    uint32_t count = dib_color_count(bih);
    if (count == 0)
        return 0;
    const RGBQUAD* table = (const RGBQUAD*)((const BYTE*)bih + DIB_HEADER_SIZE);
    for (uint32_t i = 0; i < count; ++i)
        if (table[i].rgbGreen != table[i].rgbRed || table[i].rgbBlue != table[i].rgbRed)
            return 0;
    return 1;
}

uint32_t dib_source_row_bytes(const BITMAPINFOHEADER* bih)
{
    return dib_row_stride(bih->biWidth, bih->biBitCount);
}

void dib_row_to_rgb(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* rgb)
{
    const int32_t width = bih->biWidth;
    switch (bih->biBitCount) {
    case 1:
    case 4:
    case 8:
        for (int32_t x = 0; x < width; ++x, rgb += 3) {
            RGBQUAD entry = dib_table_entry(bih, dib_row_index(row, bih->biBitCount, x));
            rgb[0] = entry.rgbRed;
            rgb[1] = entry.rgbGreen;
            rgb[2] = entry.rgbBlue;
        }
        break;
    case 16:
        for (int32_t x = 0; x < width; ++x, row += 2, rgb += 3) {
            unsigned word = row[0] | (row[1] << 8);
            rgb[0] = (BYTE)(((word >> 10) & 31) * 8);
            rgb[1] = (BYTE)(((word >> 5) & 31) * 8);
            rgb[2] = (BYTE)((word & 31) * 8);
        }
        break;
    case 24:
    case 32: {
        const int step = bih->biBitCount / 8;
        for (int32_t x = 0; x < width; ++x, row += step, rgb += 3) {
            rgb[0] = row[2];
            rgb[1] = row[1];
            rgb[2] = row[0];
        }
        break;
    }
    }
}

void dib_row_to_grey(const BITMAPINFOHEADER* bih, const BYTE* row, BYTE* grey)
{
    for (int32_t x = 0; x < bih->biWidth; ++x)
        grey[x] = dib_table_entry(bih, dib_row_index(row, bih->biBitCount, x)).rgbRed;
}
