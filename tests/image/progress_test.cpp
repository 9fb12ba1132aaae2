// The progress indicator: which strip it paints as windows come and go, and
// what it paints.
#include <gtest/gtest.h>

#include <windows.h>

#include "image/open_windows.h"
#include "image/progress.h"

static HWND make_window()
{
    return CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
}

// Every window and strip as a real hidden window, told apart by handle.
class ProgressRouting : public ::testing::Test {
protected:
    HWND* windows[8] = {&g_hwndSlide, &g_hwndCrop, &g_hwndBatch, &g_hwndText,
                        &g_hwndMerge, &g_hwndMergeDialog, &g_hwndStretch, &g_hwndView};
    HWND* strips[8] = {&g_hwndMainBar, &g_hwndViewBar, &g_hwndSlideBar, &g_hwndCropBar,
                       &g_hwndTextBar, &g_hwndMergeBar, &g_hwndBatchBar, &g_hwndStretchBar};
    void SetUp() override
    {
        for (HWND* s : strips)
            *s = make_window();
    }
    void TearDown() override
    {
        for (HWND* w : windows)
            close(w);
        for (HWND* s : strips)
            close(s);
        g_hideStatusBar = 0;
    }
    static void close(HWND* w)
    {
        if (*w)
            DestroyWindow(*w);
        *w = NULL;
    }
    static HWND only(int mode)
    {
        HWND chosen[2] = {};
        int n = choose_progress_strips(mode, chosen);
        return n == 1 ? chosen[0] : (HWND)(INT_PTR)(-n);
    }
};

TEST_F(ProgressRouting, FirstOpenWindowOfTheListWins)
{
    EXPECT_EQ(g_hwndMainBar, only(1));
    g_hwndStretch = make_window();
    EXPECT_EQ(g_hwndStretchBar, only(1));
    g_hwndMerge = make_window();
    EXPECT_EQ(g_hwndStretchBar, only(1));  // merge counts only with its dialog open
    g_hwndMergeDialog = make_window();
    EXPECT_EQ(g_hwndMergeBar, only(1));
    g_hwndText = make_window();
    EXPECT_EQ(g_hwndTextBar, only(1));
    g_hwndBatch = make_window();
    EXPECT_EQ(g_hwndBatchBar, only(1));
    g_hwndCrop = make_window();
    EXPECT_EQ(g_hwndCropBar, only(0));
    g_hwndSlide = make_window();
    EXPECT_EQ(g_hwndSlideBar, only(3));

    // Windows going away hand the strip back down the list.
    close(&g_hwndSlide);
    EXPECT_EQ(g_hwndCropBar, only(4));
    DestroyWindow(g_hwndCrop);  // handle left behind: no longer a window
    EXPECT_EQ(g_hwndBatchBar, only(1));
}

TEST(ProgressPaint, FillsTheDonePartAndClearsTheRest)
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 40, NULL, NULL, NULL, NULL);
    g_hwndMainBar = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 101, 20, parent, NULL, NULL, NULL);
    UpdateWindow(parent);
    g_hbrHighlight = CreateSolidBrush(RGB(255, 0, 0));
    g_hbrButtonFace = CreateSolidBrush(RGB(0, 0, 255));

    const struct { double done; int x; COLORREF colour; } cases[] = {
        {0.5, 50, RGB(255, 0, 0)}, {0.5, 51, RGB(0, 0, 255)}, {0, 0, RGB(0, 0, 255)}, {1.0, 100, RGB(255, 0, 0)}};
    for (const auto& c : cases) {
        show_progress(c.done, 1);
        HDC hdc = GetDC(g_hwndMainBar);
        EXPECT_EQ(c.colour, GetPixel(hdc, c.x, 10)) << c.done << " at " << c.x;
        ReleaseDC(g_hwndMainBar, hdc);
    }

    DestroyWindow(parent);
    g_hwndMainBar = NULL;
    DeleteObject(g_hbrHighlight);
    DeleteObject(g_hbrButtonFace);
    g_hbrHighlight = g_hbrButtonFace = NULL;
}
