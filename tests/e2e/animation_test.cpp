// An animated GIF plays in the preview: its frames follow one another.
#include <gtest/gtest.h>

#include <set>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

TEST(Animation, GifFramesFollowOneAnotherInThePreview)
{
    std::string dir = e2e_work_dir("animation");
    ASSERT_TRUE(copy_fixture("animated.gif", dir));

    RunningApp app;
    ASSERT_TRUE(start_app("animated.gif", dir, app));
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);

    // Frames last 90 ms here; sampling the centre over a few seconds must
    // meet more than one of the three colours.
    std::set<DWORD> seen;
    for (int i = 0; i < 8 && seen.size() < 2; ++i) {
        std::vector<DWORD> pixels;
        int w = 0, h = 0;
        ASSERT_FALSE(save_screenshot(preview, "animation", &pixels, &w, &h).empty());
        DWORD centre = pixels[(size_t)(h / 2) * w + w / 2];
        if (centre == 0xFF0000 || centre == 0x00FF00 || centre == 0x0000FF)
            seen.insert(centre);
    }
    EXPECT_GE(seen.size(), 2u) << "the preview shows more than one frame";
}

}  // namespace
