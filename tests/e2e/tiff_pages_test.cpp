// A multi-page TIFF as a person meets it: the page line beside the file
// name, and a double-click on the picture showing the next page, round to
// the first again.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

std::string wait_for_name_text(HWND edit, const std::string& wanted)
{
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text = window_text(edit);
        if (text == wanted)
            break;
        Sleep(50);
    }
    return text;
}

TEST(TiffPages, DoubleClickOnThePictureStepsThroughThePages)
{
    std::string dir = e2e_work_dir("tiff_pages");
    ASSERT_TRUE(copy_fixture("pages.tif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("pages.tif", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);
    RECT r;
    GetWindowRect(preview, &r);
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(app.main, &centre);

    for (int page : {1, 2, 3, 1}) {
        std::string wanted = "pages.tif     Page " + std::to_string(page) + " of 3 Pages     ";
        EXPECT_EQ(wait_for_name_text(name, wanted), wanted);
        // the second page is the grey picture
        std::vector<DWORD> pixels;
        int w = 0, h = 0;
        save_screenshot(preview, "tiff_page" + std::to_string(page), &pixels, &w, &h);
        ASSERT_GT(w, 0);
        DWORD mid = pixels[(size_t)(h / 2) * w + w / 2];
        bool grey = (mid & 0xFF) == (mid >> 8 & 0xFF) && (mid & 0xFF) == (mid >> 16 & 0xFF);
        EXPECT_EQ(grey, page != 1) << "page " << page << " " << std::hex << mid;
        PostMessageA(app.main, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    }
}

}  // namespace
