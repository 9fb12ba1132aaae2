// Frame-by-frame composition against ImageMagick's coalesced frames (every
// disposal method, transparency, local tables, offsets, delays), the loop
// back to the first frame, clipping to the screen, the fall-back to a still.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gif_test_util.h"
#include "image/background.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

class GifAnim : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_gif_globals();
        saved_index_ = g_backgroundColorIndex;
        g_backgroundColorIndex = 0;
    }
    void TearDown() override
    {
        reset_gif_globals();
        g_backgroundColorIndex = saved_index_;
    }
    int saved_index_ = 0;
    SeamRecorder seams{32};
    std::unique_ptr<OpenGif> gif;
    // Writes the bytes to a file, reads its first frame as the loader does
    // and starts the animation; start_gif_animation's answer.
    int start_from_bytes(const std::string& bytes, const std::string& name);
};

// The loader's first read.
HGLOBAL load_first_frame(HFILE file)
{
    if (!alloc_gif_lzw_tables())
        return NULL;
    g_hImage = read_gif_frame(file, NULL, g_infoText, &g_gifContinuing, &g_animDelay, &g_frameLeft,
                              &g_frameTop, &g_screenWidth, &g_screenHeight, &g_hasTransparency,
                              &g_gifBackgroundColor, &g_transparentDisplayColor,
                              &g_transparentIndex, &g_gifDisposal, &g_gifFrameNumber,
                              g_gifSuffixTable, g_gifPrefixTable, g_gifStack, g_imageKind);
    free_gif_lzw_tables();
    return g_hImage;
}

int GifAnim::start_from_bytes(const std::string& bytes, const std::string& name)
{
    std::string path = test_out_path(name);
    EXPECT_TRUE(write_file_bytes(path, bytes));
    gif.reset(new OpenGif(path));
    EXPECT_NE(nullptr, load_first_frame(gif->file));
    return start_gif_animation();
}

// Red, green, blue of (x, y from the top).
std::vector<int> rgb_at(HGLOBAL h, int x, int y)
{
    uint8_t px[4];
    DibBlock(h, false).rgba(x, y, px);
    return {px[0], px[1], px[2]};
}

int disposal_code(const std::string& name)
{
    return name == "None" ? 1 : name == "Background" ? 2 : name == "Previous" ? 3 : 0;
}

void expect_animation_matches(const std::string& name, uint32_t background_index)
{
    SCOPED_TRACE(name);
    g_backgroundColorIndex = (int)background_index;
    COLORREF bg = background_color(background_index);
    uint8_t background[3] = {GetRValue(bg), GetGValue(bg), GetBValue(bg)};
    std::istringstream frames(read_file_bytes(fixture_path("gif/" + name + ".frames")));
    std::vector<std::pair<UINT, int>> expected;  // delay, disposal
    UINT delay;
    std::string disposal;
    while (frames >> delay >> disposal)
        expected.emplace_back(delay, disposal_code(disposal));
    ASSERT_GE(expected.size(), 2u);

    OpenGif gif(fixture_path("gif/" + name + ".gif"));
    ASSERT_TRUE(gif.ok());
    ASSERT_NE(nullptr, load_first_frame(gif.file));
    ASSERT_EQ(1, g_gifContinuing);
    ASSERT_EQ(1, start_gif_animation());
    EXPECT_EQ(KIND_ANIMATED_GIF, g_imageKind);
    EXPECT_EQ(nullptr, g_hImage);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        if (i > 0) {
            ASSERT_EQ(1, advance_gif_animation(gif.file));
        }
        EXPECT_EQ(expected[i].first, g_animDelay);
        EXPECT_EQ(expected[i].second, g_gifDisposal);
        EXPECT_EQ(i + 1 < expected.size() ? 1 : 0, g_gifContinuing);
        PnmImage ref = read_pnm_file(fixture_path("gif/" + name + "_" + std::to_string(i) + ".pam"));
        ASSERT_FALSE(ref.empty());
        EXPECT_EQ(0, count_mismatches(g_hAnimCanvas, ref, background));
    }
}

}  // namespace

// giflib's file over black (the zero fill), ImageMagick's offsets and
// palettes over another background.
TEST_F(GifAnim, FramesMatchImageMagicksCoalescedFrames)
{
    expect_animation_matches("anim_giflib", 7);
    reset_gif_globals();
    expect_animation_matches("anim_im", 4);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifAnim, LastFrameRewindsCountsAndStartsAgain)
{
    OpenGif gif(fixture_path("gif/anim_giflib.gif"));
    ASSERT_NE(nullptr, load_first_frame(gif.file));
    strcpy(g_infoText, "image type: GIF");
    ASSERT_EQ(1, start_gif_animation());
    EXPECT_EQ((int)strlen("image type: GIF"), g_infoTextLen);
    for (int i = 1; i < 4; ++i)
        ASSERT_EQ(1, advance_gif_animation(gif.file));
    EXPECT_EQ(0, g_gifContinuing);
    EXPECT_EQ(4, g_gifFrameNumber);
    ASSERT_EQ(1, advance_gif_animation(gif.file));  // the first frame again
    EXPECT_STREQ("image type: GIF\n# of GIF images: 4", g_infoText);
    EXPECT_EQ(1, g_gifFrameNumber);
    EXPECT_EQ(1, g_gifContinuing);
    EXPECT_EQ(7u, g_animDelay);
    EXPECT_EQ(0, g_hasTransparency);
    ASSERT_EQ(1, advance_gif_animation(gif.file));
    EXPECT_EQ(20u, g_animDelay);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifAnim, FramesAreClippedToTheLogicalScreen)
{
    std::vector<uint8_t> px(100, 2);
    std::string file = gif_header(6, 5) + gif_image(0, 0, 6, 5, std::vector<uint8_t>(30, 1)) +
                       gif_image(3, 2, 10, 10, px) + gif_image(60000, 60000, 10, 10, px) +
                       gif_gce(2, 1) + gif_image(65535, 0, 1, 1, {3}) + ";";
    ASSERT_EQ(1, start_from_bytes(file, "gif_outside.gif"));
    ASSERT_EQ(1, advance_gif_animation(gif->file));
    // The second frame covers the bottom-right corner only.
    EXPECT_EQ((std::vector<int>{0, 255, 0}), rgb_at(g_hAnimCanvas, 5, 4));
    EXPECT_EQ((std::vector<int>{255, 0, 0}), rgb_at(g_hAnimCanvas, 2, 1));
    for (int i = 2; i < 5; ++i)  // frames far outside, a disposal 2 there, then the loop
        ASSERT_EQ(1, advance_gif_animation(gif->file));
    EXPECT_EQ(6, DibBlock(g_hAnimCanvas, false).bih->biWidth);
    EXPECT_EQ(5, DibBlock(g_hAnimCanvas, false).bih->biHeight);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifAnim, UnreadableFrameEndsAsStillImage)
{
    std::string file = gif_header(4, 2) + gif_image(0, 0, 4, 2, std::vector<uint8_t>(8, 3)) +
                       gif_image(0, 0, 65535, 65535, {1}) + ";";
    ASSERT_EQ(1, start_from_bytes(file, "gif_broken_second.gif"));
    EXPECT_EQ(0, advance_gif_animation(gif->file));
    end_gif_animation_as_still();
    EXPECT_EQ(KIND_DIB, g_imageKind);
    ASSERT_NE(nullptr, g_hImage);
    EXPECT_EQ(nullptr, g_hAnimCanvas);
    EXPECT_EQ(nullptr, g_hAnimCanvasSave);
    EXPECT_EQ(24, dib_bit_count(g_hImage));
    EXPECT_EQ((std::vector<int>{0, 0, 255}), rgb_at(g_hImage, 3, 1)) << "blue, the last composed picture";
}

// Canvases past the limit or past what the data could fill: the first frame stays.
TEST_F(GifAnim, HugeScreenFailsWithMessageAndKeepsTheFrame)
{
    for (int side : {65535, 10000}) {
        SCOPED_TRACE(side);
        reset_gif_globals();
        seams.boxes.clear();
        std::string file = gif_header(side, side) + gif_image(0, 0, 2, 1, {1, 2}) +
                           gif_image(0, 0, 2, 1, {2, 1}) + ";";
        EXPECT_EQ(0, start_from_bytes(file, "gif_huge_screen_" + std::to_string(side) + ".gif"));
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("Memory Allocation Error", seams.boxes[0].text);
        EXPECT_EQ(nullptr, seams.boxes[0].owner);
        EXPECT_EQ(KIND_DIB, g_imageKind);
        EXPECT_EQ(0, g_gifContinuing);
        EXPECT_NE(nullptr, g_hImage);
        EXPECT_EQ(nullptr, g_hAnimCanvas);
    }
}
