// The GIF reader against ImageMagick's and giflib's files and pixels, the
// information text and comments, the graphic control each frame brings, and
// hostile input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif_test_util.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

class GifRead : public ::testing::Test {
protected:
    void SetUp() override { reset_gif_globals(); }
    void TearDown() override { reset_gif_globals(); }
    SeamRecorder seams{32};
};

// Reads the first frame of a file written from bytes.
HGLOBAL read_bytes(const std::string& bytes, GifReadState& s, char* info = nullptr)
{
    std::string path = test_out_path("gif_read_scratch.gif");
    write_file_bytes(path, bytes);
    OpenGif gif(path);
    return read_frame(s, gif.file, info);
}

}  // namespace

// Code sizes, full tables, empty interlace passes, a MacBinary header.
TEST_F(GifRead, StillImagesMatchImageMagick)
{
    for (const char* name : {"still_2", "still_256", "still_gradient", "version_87a", "still_full_table",
                             "deferred_clear", "interlaced_45x29", "interlaced_7x1", "interlaced_16x9",
                             "macbinary"}) {
        SCOPED_TRACE(name);
        OpenGif gif(fixture_path(std::string("gif/") + name + ".gif"));
        GifReadState s;
        DibBlock frame(read_frame(s, gif.file));
        EXPECT_EQ(0, s.continuing);
        EXPECT_EQ(0, count_mismatches(frame.get(), read_pnm_file(fixture_path(std::string("gif/") + name + "_0.pam"))));
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifRead, InformationTextNamesVersionSizeAndColours)
{
    OpenGif gif(fixture_path("gif/interlaced_45x29.gif"));
    GifReadState s;
    char info[INFO_TEXT_SIZE] = "";
    DibBlock frame(read_frame(s, gif.file, info));
    ASSERT_TRUE(frame);
    EXPECT_EQ(16u, frame.bih->biClrUsed);
    std::string text = info;
    EXPECT_EQ(0u, text.find("image type: GIF \nversion: 89a \nwidth: 45 \nheight: 29 \nplanes: "));
    EXPECT_NE(std::string::npos, text.find("\ncolors: 16\ninterlaced"));
}

TEST_F(GifRead, CommentsJoinSubBlocksAndTheFirstWinsOnlyWithInfo)
{
    OpenGif gif(fixture_path("gif/commented.gif"));
    GifReadState s;
    char info[INFO_TEXT_SIZE];
    DibBlock frame(read_frame(s, gif.file, info));
    std::string want = read_file_bytes(fixture_path("gif/commented.txt"));
    ASSERT_GT(want.size(), 255u);
    EXPECT_EQ(want, take_comment());
    reset_gif_globals();

    std::string file = gif_header(2, 1) + std::string("\x21\xFE\x03one\x02tw\x00", 10) +
                       std::string("\x21\xFE\x03two\x00", 7) + gif_image(0, 0, 2, 1, {1, 2}) + ";";
    frame.reset(read_bytes(file, s));
    EXPECT_EQ("(none)", take_comment()) << "no information wanted";
    frame.reset(read_bytes(file, s, info));
    EXPECT_EQ("onetw", take_comment());
}

// Local tables, offsets and each frame's own control: the animation tests.
TEST_F(GifRead, FrameWithoutItsOwnControlKeepsThePreviousOne)
{
    std::string file = gif_header(2, 2) + gif_gce(1, 33, 2) + gif_image(0, 0, 2, 2, {0, 1, 2, 3}) +
                       gif_image(0, 0, 1, 1, {1}) + gif_gce(0, 4) + gif_image(1, 1, 1, 1, {1}) + ";";
    std::string path = test_out_path("gif_frames.gif");
    ASSERT_TRUE(write_file_bytes(path, file));
    OpenGif gif(path);
    GifReadState s;
    DibBlock f1(read_frame(s, gif.file)), f2(read_frame(s, gif.file));
    ASSERT_TRUE(f2);
    EXPECT_EQ(33u, s.delay);
    EXPECT_EQ(1, s.has_transparency);
    EXPECT_EQ(2, s.transparent_index);
    DibBlock f3(read_frame(s, gif.file));
    ASSERT_TRUE(f3);
    EXPECT_EQ(0, s.continuing);
    EXPECT_EQ(4u, s.delay);
    EXPECT_EQ(0, s.has_transparency) << "its own control without the flag";
    EXPECT_EQ(3, s.frame_number);
}

TEST_F(GifRead, TruncatedDataKeepsTheRowsDecoded)
{
    std::vector<uint8_t> px(40);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = (uint8_t)(1 + i % 3);
    std::string whole = gif_header(8, 5) + gif_image(0, 0, 8, 5, px);
    GifReadState s;
    DibBlock frame(read_bytes(whole.substr(0, whole.size() - 12), s));
    ASSERT_TRUE(frame);
    EXPECT_EQ(0, s.continuing);
    EXPECT_TRUE(seams.boxes.empty());
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(px[x], frame.raw(x, 4));
    EXPECT_EQ(0u, frame.raw(7, 0)) << "the bottom row was never reached";
}

// Guards with their own message; other damage is the mutation harness's.
struct HostileCase {
    std::string name;
    std::string bytes;
    const char* message;  // the box expected, or nullptr for none
};

static std::vector<HostileCase> hostile_cases()
{
    std::string chain = gif_header(2, 1);
    for (int i = 0; i < 20000; ++i)
        chain += std::string("\x21\x01\x01x\x00", 5);
    // Frames a few bytes could never fill, once allocated from the header
    // alone (16000 x 16000: 256 MB).
    return {
        {"frame past its data", gif_header(8, 8) + gif_image(0, 0, 16000, 16000, {1, 2}) + ";", "File Read Error"},
        {"wide frame past its data", gif_header(8, 8) + gif_image(0, 0, 65535, 4000, {1, 2}) + ";",
         "File Read Error"},
        {"endless extensions", chain, "File Read Error"},
        {"short signature", "GIF8", "File Read Error"},
        {"not a gif", std::string(300, 'x'), "Unrecognized Bitmap Format"},
    };
}

TEST_F(GifRead, HostileInputGivesItsMessage)
{
    for (const HostileCase& c : hostile_cases()) {
        SCOPED_TRACE(c.name);
        seams.boxes.clear();
        GifReadState s;
        char info[INFO_TEXT_SIZE];
        DibBlock h(read_bytes(c.bytes, s, info));
        EXPECT_FALSE(h);
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ(c.message, seams.boxes[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), seams.boxes[0].type);
        take_comment();
    }
}
