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


// A small Cyrillic caption in a font of the ANSI character set, on a chart
// shown 1,024 pixels wide: the system writes it in the font's code page,
// as question marks, which the comparison does not see at that size. What
// is written holds the caption's characters, in a code page that has them.
TEST(EmfToWmf, ACaptionKeepsItsCharactersInALargePicture)
{
    RECT frame = {0, 0, 27000, 18000};
    HDC dc = CreateEnhMetaFileW(NULL, NULL, &frame, NULL);
    HBRUSH bar = CreateSolidBrush(RGB(40, 90, 200));
    HGDIOBJ old_brush = SelectObject(dc, bar);
    for (int i = 0; i < 5; ++i)
        Rectangle(dc, 100 + i * 160, 600 - i * 90, 220 + i * 160, 640);
    HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, L"Arial");
    HGDIOBJ old_font = SelectObject(dc, font);
    const wchar_t caption[] = L"\x041F\x0440\x043E\x0434\x0430\x0436\x0438";  // "sales"
    TextOutW(dc, 100, 660, caption, 7);
    SelectObject(dc, old_font);
    SelectObject(dc, old_brush);
    DeleteObject(font);
    DeleteObject(bar);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    const std::string path = test_out_path("caption.wmf");
    EXPECT_EQ(1, write_wmf_file(emf, path.c_str()));
    DeleteEnhMetaFile(emf);
    const std::string written = read_file_bytes(path);
    EXPECT_NE(std::string::npos, written.find("\xCF\xF0\xEE\xE4\xE0\xE6\xE8")) << "the caption in code page 1251";
    EXPECT_EQ(std::string::npos, written.find("???????"));
}
