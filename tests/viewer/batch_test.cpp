// The batch window's arithmetic and paths: grid, hit test, paging, the
// page that opens, orientation states, the targets a pass writes, the
// summary, and the frame-header probe that chooses how a file is turned.
#include "viewer/batch_operations.h"
#include "viewer/batch_window.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

TEST(BatchGrid, SpreadsFramesOverTheAreaAboveTheStatusBar)
{
    struct {
        int width, height, status;
        ThumbGrid grid;
        int fits;
    } const rows[] = {
        {1280, 1005, 20, {7, 5, 35, 182, 197, 3, 0}, 1},
        {1024, 748, 22, {6, 4, 24, 170, 181, 2, 1}, 1},
        {168, 190, 22, {1, 1, 1, 168, 168, 0, 0}, 1},
        {100, 100, 20, {1, 1, 1, 100, 80, 0, 0}, 0},  // too small: one cell all the same
    };
    for (const auto& row : rows) {
        ThumbGrid g;
        EXPECT_EQ(compute_thumb_grid(row.width, row.height, row.status, &g), row.fits) << row.width;
        EXPECT_EQ(g.cols, row.grid.cols) << row.width;
        EXPECT_EQ(g.rows, row.grid.rows) << row.width;
        EXPECT_EQ(g.cells, row.grid.cells) << row.width;
        EXPECT_EQ(g.cell_width, row.grid.cell_width) << row.width;
        EXPECT_EQ(g.cell_height, row.grid.cell_height) << row.width;
        EXPECT_EQ(g.left, row.grid.left) << row.width;
        EXPECT_EQ(g.top, row.grid.top) << row.width;
    }
}

TEST(BatchGrid, HitTestIgnoresTheMargin)
{
    const ThumbGrid g = {6, 4, 24, 170, 181, 2, 1};
    struct {
        int x, y, cell;
    } const rows[] = {
        {2, 1, 0},  {171, 1, 0},      {172, 1, 1},     {1021, 724, 23},
        {1, 50, -1}, {1022, 50, -1}, {50, 0, -1},      {50, 725, -1},
        {600, 400, 2 * 6 + 3},
    };
    for (const auto& row : rows)
        EXPECT_EQ(thumb_cell_at(g, row.x, row.y), row.cell) << row.x << "," << row.y;
}

TEST(BatchPages, StepWrapsBothWays)
{
    // 30 images on pages of 24: 0..23 and 24..29.
    struct {
        int first, last, forward, new_first, new_last;
    } const rows[] = {
        {0, 23, 1, 24, 29}, {24, 29, 1, 0, 23}, {0, 23, 0, 24, 29}, {24, 29, 0, 0, 23},
    };
    for (const auto& row : rows) {
        int first = row.first, last = row.last;
        step_thumb_page(30, 24, row.forward, &first, &last);
        EXPECT_EQ(first, row.new_first) << row.first << (row.forward ? " next" : " previous");
        EXPECT_EQ(last, row.new_last) << row.first << (row.forward ? " next" : " previous");
    }
    int first = 48, last = 71;  // 72 images, third page
    step_thumb_page(72, 24, 0, &first, &last);
    EXPECT_EQ(first, 24);
    EXPECT_EQ(last, 47);
}

TEST(BatchPages, OpensOnThePageOfTheSelectedEntry)
{
    // List indexes of 7 Exif images among other files; pages of 3.
    const int index[] = {1, 4, 5, 8, 9, 12, 15};
    struct {
        int selected, first;
    } const rows[] = {{-1, 0}, {0, 0}, {5, 0}, {8, 3}, {11, 3}, {15, 6}, {40, 6}};
    for (const auto& row : rows)
        EXPECT_EQ(first_page_for_selection(index, 7, 3, row.selected), row.first) << row.selected;
}

TEST(BatchThumbnail, OrientationStatesPutPicturesUpright)
{
    const int states[] = {0, 0, 1, 4, 5, 7, 6, 3, 2, 0};
    for (int o = 0; o <= 9; ++o)
        EXPECT_EQ(thumb_orientation_state(o), states[o]) << o;
}

TEST(BatchTargets, FolderOfTheChooserAndOutputNames)
{
    char out[MAX_PATH];
    ASSERT_TRUE(join_batch_target("C:\\pics\\sub\\IMG_1.JPG", "IMG_2.JPG", out, sizeof out));
    EXPECT_STREQ(out, "C:\\pics\\sub\\IMG_2.JPG");
    EXPECT_FALSE(join_batch_target(("C:\\" + std::string(250, 'f') + "\\x.jpg").c_str(), "long_name.jpg", out,
                                   sizeof out));

    struct {
        const char* joined;
        const char* png;
    } const pngs[] = {
        {"C:\\a\\IMG_2.JPG", "C:\\a\\IMG_2.png"},
        {"C:\\a.b\\photo", "C:\\a.b\\photo.png"},
        {"C:\\a\\x.y.jpeg", "C:\\a\\x.y.png"},
    };
    for (const auto& row : pngs) {
        ASSERT_TRUE(png_output_path(row.joined, out, sizeof out));
        EXPECT_STREQ(out, row.png);
    }
    ASSERT_TRUE(jpeg_output_path("C:\\a\\IMG_2.JPG", 1, "img_2.jpg", out, sizeof out));
    EXPECT_STREQ(out, "C:\\a\\copy_img_2.jpg");
    ASSERT_TRUE(jpeg_output_path("C:\\b\\IMG_2.JPG", 0, "img_2.jpg", out, sizeof out));
    EXPECT_STREQ(out, "C:\\b\\IMG_2.JPG");
}

TEST(BatchSummary, CountsDoneAndNamesFailures)
{
    char out[200];
    struct {
        int op;
        long done, failed;
        const char* names;
        const char* text;
    } const rows[] = {
        {BATCH_MOVE, 3, 0, "", "3 Files Moved."},
        {BATCH_COPY, 0, 2, "a.jpg\nb.jpg", "0 Files Copied.\n\n2 Failed:\na.jpg\nb.jpg"},
        {BATCH_DELETE, 2, 0, "", "2 Files Deleted."},
        {BATCH_JPEG_PROGRESSIVE + BATCH_HALVED, 1, 1, "c.jpg", "1 Files Converted.\n\n1 Failed:\nc.jpg"},
    };
    for (const auto& row : rows) {
        batch_summary_text(row.op, row.done, row.failed, row.names, out, sizeof out);
        EXPECT_STREQ(out, row.text);
    }
}

TEST(BatchThumbnail, LosslessCodingByFrameHeader)
{
    struct {
        const char* name;
        std::string bytes;
        int lossless;
    } const rows[] = {
        {"sof3.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC3\x00\x0B", 12), 1},
        {"sof0.jpg", std::string("\xFF\xD8\xFF\xC4\x00\x02\xFF\xC0\x00\x0B", 10), 0},
        {"broken.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x01\xFF\xC3", 8), 0},
        {"scan_first.jpg", std::string("\xFF\xD8\xFF\xDA\x00\x02\xFF\xC3", 8), 0},
    };
    for (const auto& row : rows) {
        std::string path = test_out_path(row.name);
        ASSERT_TRUE(write_file_bytes(path, row.bytes));
        EXPECT_EQ(is_lossless_jpeg(path.c_str()), row.lossless) << row.name;
    }
}
