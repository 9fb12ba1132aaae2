// Save As Windows MetaFile of enhanced metafiles that set their own
// mapping (support/mapped_emf.h): the system's conversion writes their
// records in their own logical units and draws another picture, so the
// program writes the Windows metafile itself. Each is written as a WMF
// that shows the same picture (the renderer's comparison judges it), and
// that WMF read back is written as an EMF that shows it too.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "image/metafile.h"
#include "support/mapped_emf.h"
#include "support/test_support.h"

namespace {

// The Windows metafile file read back as the loader reads it.
HMETAFILE read_back(const std::string& path)
{
    OFSTRUCT of;
    HFILE f = OpenFile(path.c_str(), &of, OF_READ);
    if (f == HFILE_ERROR)
        return NULL;
    RECT bounds;
    DWORD inch;
    HMETAFILE wmf = read_wmf_file(NULL, path.c_str(), f, NULL, 1, &bounds, &inch, &g_wmfPlaceableHeader);
    g_wmfHasPlaceable = 1;
    return wmf;
}

}  // namespace

TEST(EmfToWmf, MappedPicturesConvertToWmfAndBack)
{
    for (const MappedEmf& c : mapped_emfs()) {
        SCOPED_TRACE(c.name);
        const std::string& bits = c.bits;
        HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
        ASSERT_TRUE(emf);
        const std::string wmf_path = test_out_path("mapped.wmf"), emf_path = test_out_path("mapped.emf");
        DWORD started = GetTickCount();
        const int written = write_wmf_file(emf, wmf_path.c_str());
        printf("[ time     ] %s: %lu ms\n", c.name, GetTickCount() - started);
        DeleteEnhMetaFile(emf);
        EXPECT_EQ(1, written);
        HMETAFILE wmf = written == 1 ? read_back(wmf_path) : NULL;
        if (!wmf)
            continue;
        EXPECT_EQ(1, write_emf_file(wmf, emf_path.c_str()));
        DeleteMetaFile(wmf);
        g_wmfHasPlaceable = 0;
    }
}

