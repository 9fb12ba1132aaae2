// Faults of the preview found on real files: metafiles drawn past the
// preview rectangle, and a truncated CMYK JPEG.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, BLACK = 0x000000;

// The picture fills the image rectangle and the black lines 1 and 3
// pixels outside it are whole.
void expect_inside_frame_lines(const PreviewShot& s)
{
    ASSERT_EQ(s.at(s.width / 2, s.height / 2), RED);
    RECT r = colour_extent(s, RED);
    int cx = s.width / 2, cy = s.height / 2;
    struct Probe {
        int x, y;
        const char* where;
    } probes[] = {
        {cx, r.top - 1, "inner top"},     {cx, r.top - 3, "outer top"},
        {cx, r.bottom + 1, "inner bottom"}, {cx, r.bottom + 3, "outer bottom"},
        {r.left - 1, cy, "inner left"},   {r.left - 3, cy, "outer left"},
        {r.right + 1, cy, "inner right"}, {r.right + 3, cy, "outer right"},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(s.at(p.x, p.y), BLACK) << p.where;
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

TEST(PreviewRegress, TruncatedCmykJpegShowsWhatDecoded)
{
    std::string dir = e2e_work_dir("preview_regress_cmyk");
    ASSERT_TRUE(copy_regress_fixture("cmyk_cut.jpg", dir));
    ASSERT_TRUE(copy_regress_fixture("cmyk_cut.ppm", dir));
    std::string ppm = read_whole_file(dir + "\\cmyk_cut.ppm");
    ASSERT_GT(ppm.size(), 64u * 48 * 3);
    const unsigned char* top_left = (const unsigned char*)ppm.data() + ppm.size() - 64 * 48 * 3;

    RunningApp app;
    ASSERT_TRUE(start_app("cmyk_cut.jpg", dir, app));
    PreviewShot s = preview_shot(app, "preview_regress_cmyk");
    // 64 x 48: the full width of the square, the height centred.
    int side = s.width - 6, image_top = 3 + (side - side * 48 / 64) / 2;
    for (int row : {4, 12, 20}) {
        const unsigned char* px = top_left + ((size_t)row * 64 + 32) * 3;
        DWORD c = s.at(3 + side / 2, image_top + row * side / 64);
        EXPECT_NEAR((int)(c >> 16 & 0xFF), px[0], 40) << "row " << row;
        EXPECT_NEAR((int)(c >> 8 & 0xFF), px[1], 40) << "row " << row;
        EXPECT_NEAR((int)(c & 0xFF), px[2], 40) << "row " << row;
    }
}

}  // namespace
