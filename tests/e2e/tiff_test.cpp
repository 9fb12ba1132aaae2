// TIFF pages as a person meets them: the page line beside the file name, a
// double-click on the picture showing the next page, round to the first
// again, and the image window's keys stepping both ways.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(TiffFiles, PagesByDoubleClickAndByTheImageWindowsKeys)
{
    std::string dir = e2e_work_dir("tiff_pages");
    ASSERT_TRUE(copy_fixture("pages.tif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("pages.tif", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    RECT r;
    GetWindowRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), &r);
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(app.main, &centre);
    const int pages[] = {1, 2, 3, 1};
    for (int i = 0; i < 4; ++i) {
        std::string wanted = "pages.tif     Page " + std::to_string(pages[i]) + " of 3 Pages     ";
        EXPECT_EQ(wait_for_window_text(name, wanted), wanted);
        // the second page is the grey picture
        DWORD mid = preview_pixel(app, "tiff_page" + std::to_string(i), 0.5, 0.5);
        bool grey = (mid & 0xFF) == (mid >> 8 & 0xFF) && (mid & 0xFF) == (mid >> 16 & 0xFF);
        EXPECT_EQ(grey, pages[i] != 1) << "page " << pages[i] << " " << std::hex << mid;
        if (i < 3)
            PostMessageA(app.main, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    }

    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    const std::string size = "     " + std::to_string(read_whole_file(dir + "\\pages.tif").size()) + " bytes";
    const struct {
        UINT key;
        int page;
    } STEPS[] = {{VK_RIGHT, 2}, {VK_RIGHT, 3}, {VK_RIGHT, 1}, {VK_LEFT, 3}};
    for (const auto& step : STEPS) {
        PostMessageA(view, WM_KEYDOWN, step.key, 0);
        std::string wanted = "pages.tif" + size + "     Page " + std::to_string(step.page) + " of 3 Pages";
        EXPECT_EQ(wait_for_window_text(view, wanted), wanted);
    }
}

}  // namespace
