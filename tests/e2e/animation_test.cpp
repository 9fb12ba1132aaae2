// An animated GIF and an animated cursor play in the preview: sampling its
// centre for a few seconds meets more than one of their frames' colours.
#include <gtest/gtest.h>

#include <set>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

struct AnimationCase {
    const char* file;
    const char* name;
};

class Animation : public ::testing::TestWithParam<AnimationCase> {};

// animated.gif: red, green and blue frames of 90 ms here; cursor.ani: a red
// and a blue frame of 10/60 s each (150 ms here).
TEST_P(Animation, FramesFollowOneAnotherInThePreview)
{
    const AnimationCase& c = GetParam();
    std::string dir = e2e_work_dir(c.name);
    ASSERT_TRUE(copy_fixture(c.file, dir));
    RunningApp app;
    ASSERT_TRUE(start_app(c.file, dir, app));
    std::set<DWORD> seen;
    for (int i = 0; i < 8 && seen.size() < 2; ++i) {
        PreviewShot s = preview_shot(app, c.name);
        ASSERT_GT(s.width, 0);
        DWORD centre = s.at(s.width / 2, s.height / 2);
        if (centre == 0xFF0000 || centre == 0x00FF00 || centre == 0x0000FF)
            seen.insert(centre);
    }
    EXPECT_EQ(seen.size(), 2u) << "the preview shows more than one frame";
}

INSTANTIATE_TEST_SUITE_P(Files, Animation,
                         ::testing::Values(AnimationCase{"animated.gif", "animation"},
                                           AnimationCase{"cursor.ani", "cursor_animation"}),
                         [](const ::testing::TestParamInfo<AnimationCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
