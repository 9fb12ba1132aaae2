// Shared by the TIFF tests: the reader called as the loaders call it, and a
// decoded image compared pixel by pixel with a netpbm reference.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "formats/tiff_read.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/test_support.h"

inline std::string tiff_fixture(const std::string& name)
{
    return fixture_path("tiff/" + name);
}

// Page `page` of the file; *pages gets the page count.
inline HGLOBAL read_tiff_page(const std::string& path, int page = 1, int* pages = nullptr, char* info = nullptr)
{
    int format = 0, index = page, count = 1;
    HGLOBAL hDib = read_tiff_file(path.c_str(), info, &format, &index, &count, GetModuleHandleA(NULL));
    if (pages)
        *pages = count;
    return hDib;
}

// Largest difference of any red, green, blue (and, with alpha, alpha)
// sample; 999 when the sizes differ or either side is missing.
inline int max_pixel_difference(HGLOBAL hDib, const PnmImage& ref, bool with_alpha = false)
{
    DibBlock image(hDib, false);
    if (!image || ref.empty() || image.bih->biWidth != ref.width || image.bih->biHeight != ref.height)
        return 999;
    int worst = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            uint8_t a[4], b[4];
            image.rgba(x, y, a);
            ref.rgba(x, y, b);
            for (int c = 0; c < (with_alpha ? 4 : 3); ++c) {
                int d = a[c] > b[c] ? a[c] - b[c] : b[c] - a[c];
                worst = d > worst ? d : worst;
            }
        }
    }
    return worst;
}
