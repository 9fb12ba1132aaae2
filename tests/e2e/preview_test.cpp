// Selecting a file shows it in the preview, as a person sees it.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

struct Quadrant {
    double fx, fy;  // where in the drawn image, as fractions
    DWORD rgb;
};

struct PreviewCase {
    const char* file;
    int tolerance;  // lossy formats may differ a little
};

class Preview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(Preview, FileNamedOnCommandLineShowsInThePreviewKeepingItsAspect)
{
    std::string file = GetParam().file;
    std::string dir = e2e_work_dir("preview");
    ASSERT_TRUE(copy_fixture(file, dir));

    RunningApp app;
    ASSERT_TRUE(start_app(file, dir, app));
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);
    ASSERT_TRUE(is_visible(preview));

    std::vector<DWORD> pixels;
    int w = 0, h = 0;
    ASSERT_FALSE(save_screenshot(preview, "preview_" + file, &pixels, &w, &h).empty());
    ASSERT_GT(w, 40);
    ASSERT_EQ(w, h) << "the preview is square";

    // An image twice as wide as high fills the width and half the height,
    // centred: the quadrants' centres land at these places.
    int side = w - 6;
    const Quadrant quadrants[] = {
        {0.25, 0.375, 0xFF0000}, {0.75, 0.375, 0x00FF00},
        {0.25, 0.625, 0x0000FF}, {0.75, 0.625, 0xFFFF00},
    };
    for (const Quadrant& q : quadrants) {
        int x = 3 + (int)(q.fx * side), y = 3 + (int)(q.fy * side);
        DWORD got = pixels[(size_t)y * w + x];
        EXPECT_TRUE(colours_close(got, q.rgb, GetParam().tolerance)) << std::hex << got << " at " << std::dec << x << "," << y;
    }
    // Above the image the preview shows the button face, not the image.
    DWORD above = pixels[(size_t)(3 + side / 8) * w + w / 2];
    EXPECT_NE(above, 0xFF0000u);
    EXPECT_NE(above, 0x00FF00u);
}

INSTANTIATE_TEST_SUITE_P(Formats, Preview, ::testing::Values(
    PreviewCase{"quadrants.bmp", 0},
    PreviewCase{"quadrants.gif", 0},
    PreviewCase{"quadrants.jpg", 8},
    PreviewCase{"quadrants.png", 0}, PreviewCase{"quadrants.jp2", 0}, PreviewCase{"quadrants.ras", 0},
    PreviewCase{"quadrants.ppm", 0}, PreviewCase{"quadrants_pam.pnm", 0},
    PreviewCase{"quadrants.pcx", 0}, PreviewCase{"quadrants.tga", 0}, PreviewCase{"quadrants.iff", 0},
    PreviewCase{"quadrants.ico", 0}));

}  // namespace
