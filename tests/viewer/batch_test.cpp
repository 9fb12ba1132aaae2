// The batch window's arithmetic and paths that the end-to-end batch test
// does not reach: the cell edges of the hit test, paging, the page that
// opens, the targets a pass writes, the frame-header probe that chooses
// how a file is turned, and a pass whose tick came under a hold.
#include "viewer/batch_operations.h"
#include "viewer/batch_window.h"

#include <gtest/gtest.h>

#include <string>

#include "image/file_hold.h"
#include "image/open_windows.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

TEST(BatchGrid, HitTestStopsAtTheCellEdgesAndIgnoresTheMargin)
{
    ThumbGrid g;
    ASSERT_TRUE(compute_thumb_grid(1024, 748, 22, &g));
    struct {
        int x, y, cell;
    } const rows[] = {{2, 1, 0}, {171, 1, 0}, {172, 1, 1}, {1021, 724, 23}, {1, 50, -1}, {1022, 50, -1}, {50, 725, -1}};
    for (const auto& row : rows)
        EXPECT_EQ(thumb_cell_at(g, row.x, row.y), row.cell) << row.x << "," << row.y;
    EXPECT_FALSE(compute_thumb_grid(100, 100, 20, &g)) << "not one frame fits";
}

TEST(BatchPages, StepWrapsBothWays)
{
    struct {
        int count, first, last, forward, new_first, new_last;
    } const rows[] = {
        {30, 0, 23, 1, 24, 29}, {30, 24, 29, 1, 0, 23}, {30, 0, 23, 0, 24, 29}, {72, 48, 71, 0, 24, 47},
    };
    for (const auto& row : rows) {
        int first = row.first, last = row.last;
        step_thumb_page(row.count, 24, row.forward, &first, &last);
        EXPECT_EQ(first, row.new_first) << row.first << (row.forward ? " next" : " previous");
        EXPECT_EQ(last, row.new_last) << row.first << (row.forward ? " next" : " previous");
    }
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

TEST(BatchTargets, LongFoldersRefusedDottedFoldersAndCopiesNamed)
{
    char out[MAX_PATH];
    EXPECT_FALSE(join_batch_target(("C:\\" + std::string(250, 'f') + "\\x.jpg").c_str(), "long_name.jpg", out,
                                   sizeof out));
    ASSERT_TRUE(png_output_path("C:\\a.b\\photo", out, sizeof out));
    EXPECT_STREQ(out, "C:\\a.b\\photo.png");
    ASSERT_TRUE(jpeg_output_path("C:\\a\\IMG_2.JPG", 1, "img_2.jpg", out, sizeof out));
    EXPECT_STREQ(out, "C:\\a\\copy_img_2.jpg");
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

// A queued pass whose tick comes while a command holds the shown file does
// nothing then, and runs once the hold has ended: its tick comes again.
TEST(BatchPass, TurnedAwayUnderAHoldRunsAfterIt)
{
    SeamRecorder seams;
    HWND saved_batch = g_hwndBatch;
    g_hwndBatch = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    int selected[1] = {0};  // nothing selected: the pass says so
    g_thumbSelected = selected;
    g_thumbCells = 1;
    g_batchOp = BATCH_DELETE;
    begin_file_hold();
    batch_on_timer(g_hwndBatch, 1);
    EXPECT_TRUE(seams.boxes.empty()) << "no pass while held";
    end_file_hold();
    MSG tick = {};
    for (DWORD start = GetTickCount(); tick.message != WM_TIMER && GetTickCount() - start < 10000; Sleep(10))
        PeekMessageA(&tick, g_hwndBatch, WM_TIMER, WM_TIMER, PM_REMOVE);
    EXPECT_EQ(tick.message, (UINT)WM_TIMER) << "the pass's tick comes again";
    if (tick.message == WM_TIMER)
        batch_on_timer(g_hwndBatch, tick.wParam);
    EXPECT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes.empty() ? "" : seams.boxes[0].text, "Batch Process: No Images Selected");
    stop_batch_timer(g_hwndBatch);
    DestroyWindow(g_hwndBatch);
    g_hwndBatch = saved_batch;
    g_thumbSelected = NULL;
    g_thumbCells = 0;
}
