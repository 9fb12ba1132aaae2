// TIFF as a person meets it: the page line beside the file name, a
// double-click on the picture showing the next page, round to the first
// again, the image window's keys stepping both ways, and the picture saved
// as TIFF from the Convert/Save menu.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(TiffFiles, DoubleClickOnThePictureStepsThroughThePages)
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
        EXPECT_EQ(wait_for_window_text(name, wanted), wanted);
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

TEST(TiffFiles, ImageWindowKeysStepBothWays)
{
    std::string dir = e2e_work_dir("tiff_page_keys");
    ASSERT_TRUE(copy_fixture("pages.tif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("pages.tif", dir, app));
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

// Convert/Save -> TIFF -> LZW -> Strips through the Save dialog writes a
// TIFF file and reports its size.
TEST(TiffFiles, ConvertSaveWritesTheShownPageAsTiff)
{
    std::string dir = e2e_work_dir("tiff_save");
    ASSERT_TRUE(copy_fixture("pages.tif", dir));
    const std::string target = dir + "\\saved.tif";
    DeleteFileA(target.c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("pages.tif", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    ASSERT_EQ(wait_for_window_text(name, "pages.tif     Page 1 of 3 Pages     "), "pages.tif     Page 1 of 3 Pages     ");

    PostMessageA(app.main, WM_COMMAND, IDM_MAIN_SAVE_TIFF_FIRST + 8, 0);  // LZW (5), strips
    HWND save = find_process_window(app.process.dwProcessId, "#32770", app.main, 15000);
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(window_text(save), "Save As TIFF");
    SendMessageA(GetDlgItem(save, IDC_MAIN_NAME_EDIT), WM_SETTEXT, 0, (LPARAM)target.c_str());
    click_button(save, IDOK);
    wait_until_closed(save, 5000);
    std::string caption;
    std::string text = dismiss_message_box(app, 15000, &caption);
    std::string written = read_whole_file(target);
    EXPECT_EQ(caption, "File Converted Successfully");
    EXPECT_EQ(text, target + "\n\n" + std::to_string(written.size()) + " bytes");
    ASSERT_GT(written.size(), 8u);
    EXPECT_EQ(written.substr(0, 4), std::string("II*\0", 4));
}

}  // namespace
