// An animated cursor plays in the preview: its red and blue frames follow
// one another at the rate of its header.
#include <gtest/gtest.h>

#include <set>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(CursorAnimation, FramesFollowOneAnotherInThePreview)
{
    std::string dir = e2e_work_dir("cursor_animation");
    ASSERT_TRUE(copy_fixture("cursor.ani", dir));

    RunningApp app;
    ASSERT_TRUE(start_app("cursor.ani", dir, app));
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);

    // Each step lasts 10/60 s (150 ms here): a few samples meet both frames.
    std::set<DWORD> seen;
    for (int i = 0; i < 8 && seen.size() < 2; ++i) {
        std::vector<DWORD> pixels;
        int w = 0, h = 0;
        ASSERT_FALSE(save_screenshot(preview, "cursor_animation", &pixels, &w, &h).empty());
        DWORD centre = pixels[(size_t)(h / 2) * w + w / 2];
        if (centre == 0xFF0000 || centre == 0x0000FF)
            seen.insert(centre);
    }
    EXPECT_EQ(2u, seen.size()) << "the preview shows both frames";
}

}  // namespace
