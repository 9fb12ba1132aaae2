// Status bars: the part edges of every bar, the strip inside part 0 and the
// comment text in part 1.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/progress.h"
#include "resources/resource.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

class StatusBars : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        InitCommonControls();
        register_window_classes(GetModuleHandleA(NULL));
    }
    void TearDown() override
    {
        if (m_window)
            DestroyWindow(m_window);
        if (g_hComment)
            GlobalFree(g_hComment);
        g_hComment = NULL;
    }
    // A visible borderless window whose client area is width x 300.
    HWND make_parent(int width)
    {
        m_window = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, width, 300, NULL, NULL,
                                 NULL, NULL);
        return m_window;
    }
    static std::string part_text(HWND bar, int part)
    {
        char text[256] = "";
        SendMessageA(bar, SB_GETTEXTA, part, (LPARAM)text);
        return text;
    }
    static int first_edge(HWND bar)
    {
        int edges[4] = {};
        SendMessageA(bar, SB_GETPARTS, 4, (LPARAM)edges);
        return edges[0];
    }
    static void set_comment(const char* text)
    {
        g_hComment = GlobalAlloc(GHND, std::strlen(text) + 1);
        std::strcpy((char*)GlobalLock(g_hComment), text);
        GlobalUnlock(g_hComment);
    }
    HWND m_window = NULL;
};

TEST_F(StatusBars, ImageWindowBarHoldsTheStripAndTheComment)
{
    HWND view = make_parent(500);
    create_view_status_bar(view);
    ASSERT_NE((HWND)NULL, g_hwndViewStatus);
    EXPECT_EQ(view, GetParent(g_hwndViewStatus));
    EXPECT_EQ(125, first_edge(g_hwndViewStatus));
    RECT bar;
    GetWindowRect(g_hwndViewStatus, &bar);
    EXPECT_EQ(bar.bottom - bar.top, g_viewStatusHeight);
    EXPECT_EQ(" ", part_text(g_hwndViewStatus, 0));

    ASSERT_NE((HWND)NULL, g_hwndViewBar);
    EXPECT_EQ(g_hwndViewStatus, GetParent(g_hwndViewBar));
    char cls[16] = "";
    GetClassNameA(g_hwndViewBar, cls, sizeof cls);
    EXPECT_STREQ("Bar", cls);

    // The comment in part 1, a blank without one.
    resize_view_status_bar();
    EXPECT_EQ(" ", part_text(g_hwndViewStatus, 1));
    set_comment("A comment");
    resize_view_status_bar();
    EXPECT_EQ("A comment", part_text(g_hwndViewStatus, 1));
}

TEST_F(StatusBars, MainBarSitsInItsPlaceAndFollowsTheWidth)
{
    HWND main = make_parent(800);
    HWND place = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 250, 500, 40, main,
                               (HMENU)(INT_PTR)IDC_MAIN_STATUS_PLACE, NULL, NULL);
    create_main_status_bar(main);
    ASSERT_NE((HWND)NULL, g_hwndMainStatus);
    EXPECT_EQ(place, GetParent(g_hwndMainStatus));
    EXPECT_EQ(100, first_edge(g_hwndMainStatus));

    MoveWindow(place, 0, 250, 700, 40, TRUE);
    resize_main_status_bar();
    EXPECT_EQ(140, first_edge(g_hwndMainStatus));
    RECT part, strip;
    SendMessageA(g_hwndMainStatus, SB_GETRECT, 0, (LPARAM)&part);
    GetWindowRect(g_hwndMainBar, &strip);
    EXPECT_EQ(part.right - part.left - 8, strip.right - strip.left);
}

TEST_F(StatusBars, ProgressPaintsIntoTheNewStrip)
{
    HWND backdrop = make_parent(480);
    create_crop_status_bar(backdrop);
    g_hwndCrop = backdrop;
    g_hbrHighlight = CreateSolidBrush(RGB(0, 255, 0));
    UpdateWindow(backdrop);
    show_progress(1.0, 1);
    HDC hdc = GetDC(g_hwndCropBar);
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(hdc, 2, 2));
    ReleaseDC(g_hwndCropBar, hdc);
    g_hwndCrop = NULL;
    DeleteObject(g_hbrHighlight);
    g_hbrHighlight = NULL;
}
