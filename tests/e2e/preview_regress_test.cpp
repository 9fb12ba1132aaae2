// Faults of the preview found on real files: Windows metafiles drawn past
// the preview rectangle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000;

// The picture fills the image rectangle and the frame lines are whole.
void expect_inside_frame_lines(const PreviewShot& s)
{
    ASSERT_EQ(s.at(s.width / 2, s.height / 2), RED);
    EXPECT_EQ(frame_line_gaps(s), std::vector<std::string>());
}

void fill_red(HDC dc, int right, int bottom)
{
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old_brush = SelectObject(dc, red);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, right + 1, bottom + 1);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(red);
}

std::string le16(unsigned v)
{
    return std::string{(char)(v & 0xFF), (char)(v >> 8)};
}

// A placeable metafile of a red square over its whole box, 1000 units per
// inch, whose records set no window: only the box gives its size.
void write_placeable_without_window(const std::string& path)
{
    HDC dc = CreateMetaFileA(NULL);
    fill_red(dc, 1000, 1000);
    HMETAFILE wmf = CloseMetaFile(dc);
    UINT size = GetMetaFileBitsEx(wmf, 0, NULL);
    std::string bits(size, '\0');
    GetMetaFileBitsEx(wmf, size, &bits[0]);
    DeleteMetaFile(wmf);
    std::string head = le16(0xCDD7) + le16(0x9AC6) + le16(0) + le16(0) + le16(0) + le16(1000) +
                       le16(1000) + le16(1000) + le16(0) + le16(0);
    unsigned sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= (unsigned char)head[i] | (unsigned char)head[i + 1] << 8;
    FILE* f = fopen(path.c_str(), "wb");
    std::string all = head + le16(sum) + bits;
    fwrite(all.data(), 1, all.size(), f);
    fclose(f);
}

TEST(PreviewRegress, PlaceableMetafileWithoutWindowFitsThePreview)
{
    std::string dir = e2e_work_dir("preview_regress_wmf");
    write_placeable_without_window(dir + "\\boxed.wmf");
    RunningApp app;
    ASSERT_TRUE(start_app("boxed.wmf", dir, app));
    expect_inside_frame_lines(preview_shot(app, "preview_regress_boxed"));
}

TEST(PreviewRegress, LargePlainMetafileIsClippedToThePreview)
{
    std::string dir = e2e_work_dir("preview_regress_wmf");
    std::string path = dir + "\\large.wmf";
    HDC dc = CreateMetaFileA(path.c_str());
    fill_red(dc, 3000, 3000);
    DeleteMetaFile(CloseMetaFile(dc));
    RunningApp app;
    ASSERT_TRUE(start_app("large.wmf", dir, app));
    expect_inside_frame_lines(preview_shot(app, "preview_regress_large"));
}

}  // namespace
