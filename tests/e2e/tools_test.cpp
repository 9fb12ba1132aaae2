// Image tools chosen from the main menu change what the preview shows, one
// after the other on the quadrants picture (red, green over blue, yellow).
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, YELLOW = 0xFFFF00, WHITE = 0xFFFFFF;

struct Probe {
    double fx, fy;  // fractions of the preview's image square; fx < 0 ends the list
    DWORD colour;
    int tolerance;
};

struct Step {
    int command;
    const char* shot;
    Probe probes[4];
};

TEST(MenuTools, EachCommandChangesThePreview)
{
    const Step steps[] = {
        // Turned upright in the square: blue, red over yellow, green.
        {IDM_MAIN_ROTATE_CW, "tools_rotated",
         {{0.375, 0.25, BLUE, 0}, {0.625, 0.25, RED, 0}, {0.375, 0.75, YELLOW, 0}, {0.625, 0.75, GREEN, 0}}},
        // Red weighs 0.30.
        {IDM_MAIN_GRAYSCALE, "tools_grey", {{0.625, 0.25, 0x4C4C4C, 2}, {-1, 0, 0, 0}}},
        // Restore reads the file again, without the edits.
        {IDM_MAIN_RESTORE, "tools_restored", {{0.25, 0.375, RED, 0}, {-1, 0, 0, 0}}},
        // The ball of the left 40 x 40 square, red over blue, fills the
        // preview; the green quadrant is cut away, the corners are the
        // white background.
        {IDM_MAIN_SPHERE, "tools_sphere",
         {{0.75, 0.15, RED, 0}, {0.25, 0.15, RED, 0}, {0.25, 0.85, BLUE, 0}, {0.02, 0.02, WHITE, 0}}},
    };
    std::string dir = e2e_work_dir("tools");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    ASSERT_EQ(preview_pixel(app, "tools_before", 0.25, 0.375), RED);
    for (const Step& step : steps) {
        send_main_command(app, step.command);
        PreviewShot s = preview_shot(app, step.shot);
        for (const Probe& p : step.probes) {
            if (p.fx < 0)
                break;
            DWORD got = s.in_square(p.fx, p.fy);
            EXPECT_TRUE(colours_close(got, p.colour, p.tolerance))
                << step.shot << " at " << p.fx << "," << p.fy << ": " << std::hex << got;
        }
    }
}

}  // namespace
