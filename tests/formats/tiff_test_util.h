// Shared by the TIFF tests: the reader called as the loaders call it.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "formats/tiff_read.h"
#include "image/format_test_util.h"
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
