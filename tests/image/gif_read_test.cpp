// The GIF reader against ImageMagick's and giflib's files and pixels, the
// information text and comments, interlace order, and hostile input.
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
};

// One-frame files: the frame is the picture ImageMagick decodes.
void expect_still_matches(const std::string& name)
{
    SCOPED_TRACE(name);
    OpenGif gif(fixture_path("gif/" + name + ".gif"));
    ASSERT_TRUE(gif.ok());
    Pam ref = read_pam(fixture_path("gif/" + name + "_0.pam"));
    ASSERT_TRUE(ref.ok());
    GifReadState s;
    HGLOBAL frame = read_frame(s, gif.file);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(0, s.continuing);
    EXPECT_EQ(1, s.frame_number);
    std::string first;
    EXPECT_EQ(0, count_mismatches(frame, ref, nullptr, &first)) << first;
    GlobalFree(frame);
}

}  // namespace

TEST_F(GifRead, StillImagesOfEveryCodeSizeMatchImageMagick)
{
    SeamRecorder seams(32);
    for (const char* name : {"still_2", "still_3", "still_4", "still_8", "still_16", "still_32",
                             "still_64", "still_128", "still_256", "still_gradient",
                             "version_87a"})
        expect_still_matches(name);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifRead, FullTablesAndDeferredClearDecodeExactly)
{
    SeamRecorder seams(32);
    expect_still_matches("still_full_table");
    expect_still_matches("deferred_clear");
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifRead, InterlacedFramesMatchImageMagick)
{
    SeamRecorder seams(32);
    for (const char* name : {"interlaced_33x3", "interlaced_45x29", "interlaced_7x1", "interlaced_16x9"})
        expect_still_matches(name);
}

TEST_F(GifRead, InterlaceOrderSkipsEmptyPasses)
{
    BYTE image[40];
    auto order = [&](int height) {
        std::vector<int> rows = {0};
        int32_t row = 0;
        int pass = 0;
        while (gif_interlaced_row(1, height, &row, &pass, NULL, image + height - 1))
            rows.push_back(row);
        return rows;
    };
    EXPECT_EQ((std::vector<int>{0, 2, 1}), order(3));
    EXPECT_EQ((std::vector<int>{0}), order(1));
    EXPECT_EQ((std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}), order(10));
    int32_t row = 0;
    int pass = 0;
    BYTE* next = gif_interlaced_row(4, 10, &row, &pass, NULL, image + 36);
    EXPECT_EQ(image + 36 - 8 * 4, next);  // rows are bottom-up in memory
}

TEST_F(GifRead, MacBinaryHeaderIsSkipped)
{
    SeamRecorder seams(32);
    expect_still_matches("macbinary");
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifRead, InformationTextNamesVersionSizeAndColours)
{
    SeamRecorder seams(32);
    OpenGif gif(fixture_path("gif/interlaced_45x29.gif"));
    GifReadState s;
    char info[INFO_TEXT_SIZE] = "";
    HGLOBAL frame = read_frame(s, gif.file, info);
    ASSERT_NE(nullptr, frame);
    {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(frame);
        EXPECT_EQ(8, bih->biBitCount);
        EXPECT_EQ(16u, bih->biClrUsed);
        GlobalUnlock(frame);
    }
    std::string text = info;
    EXPECT_EQ(0u, text.find("image type: GIF \nversion: 89a \nwidth: 45 \nheight: 29 \nplanes: "));
    EXPECT_NE(std::string::npos, text.find("\ncolors: 16\ninterlaced"));
    EXPECT_EQ(45, s.screen_width);
    EXPECT_EQ(29, s.screen_height);
    GlobalFree(frame);
}

TEST_F(GifRead, CommentOverSeveralSubBlocksArrivesAsOneText)
{
    SeamRecorder seams(32);
    OpenGif gif(fixture_path("gif/commented.gif"));
    GifReadState s;
    char info[INFO_TEXT_SIZE];
    HGLOBAL frame = read_frame(s, gif.file, info);
    ASSERT_NE(nullptr, frame);
    GlobalFree(frame);
    ASSERT_NE(nullptr, g_hComment);
    std::string want = read_file_bytes(fixture_path("gif/commented.txt"));
    ASSERT_GT(want.size(), 255u);
    EXPECT_EQ(want, std::string((const char*)GlobalLock(g_hComment)));
    GlobalUnlock(g_hComment);
}

TEST_F(GifRead, CommentIsKeptOnlyWithInfoAndFirstCommentWins)
{
    std::string path = test_out_path("gif_two_comments.gif");
    std::string file = gif_header(2, 1) + std::string("\x21\xFE\x03one\x02tw\x00", 10) +
                       std::string("\x21\xFE\x03two\x00", 7) +
                       gif_image(0, 0, 2, 1, {1, 2}) + ";";
    ASSERT_TRUE(write_file_bytes(path, file));
    SeamRecorder seams(32);
    {
        OpenGif gif(path);
        GifReadState s;
        HGLOBAL frame = read_frame(s, gif.file);
        GlobalFree(frame);
        EXPECT_EQ(nullptr, g_hComment);
    }
    OpenGif gif(path);
    GifReadState s;
    char info[INFO_TEXT_SIZE];
    HGLOBAL frame = read_frame(s, gif.file, info);
    ASSERT_NE(nullptr, frame);
    GlobalFree(frame);
    ASSERT_NE(nullptr, g_hComment);
    EXPECT_STREQ("onetw", (const char*)GlobalLock(g_hComment));
    GlobalUnlock(g_hComment);
}

TEST_F(GifRead, TransparentIndexAndItsDisplayColour)
{
    SeamRecorder seams(32);
    OpenGif gif(fixture_path("gif/transparent.gif"));
    Pam ref = read_pam(fixture_path("gif/transparent_0.pam"));
    ASSERT_EQ(4, ref.depth);
    GifReadState s;
    HGLOBAL frame = read_frame(s, gif.file);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(1, s.has_transparency);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(frame);
    RGBQUAD key = dib_table_entry(bih, s.transparent_index);
    EXPECT_EQ((DWORD)key.rgbBlue | key.rgbGreen << 8 | key.rgbRed << 16, s.display_color);
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const BYTE* row = dib_pixels(bih) + (size_t)(bih->biHeight - 1 - y) * dib_row_stride(bih->biWidth, 8);
            EXPECT_EQ(ref.pixel(x, y)[3] == 0, row[x] == s.transparent_index) << x << "," << y;
        }
    }
    GlobalUnlock(frame);
    GlobalFree(frame);
}

TEST_F(GifRead, FrameWithoutGraphicControlInheritsThePreviousOne)
{
    std::string path = test_out_path("gif_inherit.gif");
    std::string file = gif_header(2, 2) + gif_gce(1, 33, 2) + gif_image(0, 0, 2, 2, {0, 1, 2, 3}) +
                       gif_image(0, 0, 1, 1, {3}) + gif_gce(0, 4) + gif_image(1, 1, 1, 1, {2}) + ";";
    ASSERT_TRUE(write_file_bytes(path, file));
    SeamRecorder seams(32);
    OpenGif gif(path);
    GifReadState s;
    HGLOBAL f1 = read_frame(s, gif.file);
    ASSERT_NE(nullptr, f1);
    EXPECT_EQ(1, s.continuing);
    EXPECT_EQ(33u, s.delay);
    EXPECT_EQ(1, s.has_transparency);
    EXPECT_EQ(2, s.transparent_index);
    EXPECT_EQ(1, s.disposal);
    HGLOBAL f2 = read_frame(s, gif.file);
    ASSERT_NE(nullptr, f2);
    EXPECT_EQ(1, s.continuing);
    EXPECT_EQ(33u, s.delay);
    EXPECT_EQ(1, s.has_transparency);
    HGLOBAL f3 = read_frame(s, gif.file);
    ASSERT_NE(nullptr, f3);
    EXPECT_EQ(0, s.continuing);
    EXPECT_EQ(4u, s.delay);
    EXPECT_EQ(0, s.has_transparency);  // its own GCE without the flag
    EXPECT_EQ(1, s.left);
    EXPECT_EQ(1, s.top);
    EXPECT_EQ(3, s.frame_number);
    for (HGLOBAL h : {f1, f2, f3})
        GlobalFree(h);
}

TEST_F(GifRead, LocalTableAppliesToItsFrameOnly)
{
    std::string local = "\x2C" + le16(0) + le16(0) + le16(2) + le16(1) + "\x80" +
                        std::string("\x10\x20\x30\x40\x50\x60", 6) + "\x02" + plain_lzw_blocks({1, 0});
    std::string path = test_out_path("gif_local_table.gif");
    ASSERT_TRUE(write_file_bytes(path, gif_header(2, 1) + local + gif_image(0, 0, 2, 1, {1, 2}) + ";"));
    SeamRecorder seams(32);
    OpenGif gif(path);
    GifReadState s;
    HGLOBAL f1 = read_frame(s, gif.file);
    HGLOBAL f2 = read_frame(s, gif.file);
    ASSERT_NE(nullptr, f1);
    ASSERT_NE(nullptr, f2);
    BITMAPINFOHEADER* b1 = (BITMAPINFOHEADER*)GlobalLock(f1);
    BITMAPINFOHEADER* b2 = (BITMAPINFOHEADER*)GlobalLock(f2);
    EXPECT_EQ(2u, b1->biClrUsed);
    EXPECT_EQ(0x40, dib_table_entry(b1, 1).rgbRed);
    EXPECT_EQ(4u, b2->biClrUsed);
    EXPECT_EQ(255, dib_table_entry(b2, 1).rgbRed);  // the global table is back
    GlobalUnlock(f1);
    GlobalUnlock(f2);
    GlobalFree(f1);
    GlobalFree(f2);
}

// Hostile input: every case ends with a frame or with null, at most one of
// the reader's messages, no crash and no read past the file.
struct HostileCase {
    const char* name;
    std::string bytes;
};

static std::vector<HostileCase> hostile_cases()
{
    std::vector<HostileCase> cases;
    std::vector<uint8_t> px(64, 1);
    std::string good = gif_header(8, 8) + gif_gce(2, 5, 0) + gif_image(0, 0, 8, 8, px) +
                       gif_gce(3, 5) + gif_image(2, 2, 4, 4, std::vector<uint8_t>(16, 2), true) + ";";
    cases.push_back({"huge screen", gif_header(65535, 65535) + gif_image(0, 0, 2, 1, {1, 2}) + ";"});
    cases.push_back({"huge frame", gif_header(8, 8) + gif_image(0, 0, 65535, 65535, {1, 2}) + ";"});
    cases.push_back({"zero frame", gif_header(8, 8) + gif_image(0, 0, 0, 5, {1, 2}) + ";"});
    cases.push_back({"frame far outside", gif_header(8, 8) + gif_image(65000, 65000, 2, 2, {1, 2, 3, 1}) + ";"});
    std::string bad_codes = gif_header(8, 8) + "\x2C" + le16(0) + le16(0) + le16(8) + le16(8) + std::string("\x00\x02", 2);
    bad_codes += "\x20";
    for (int i = 0; i < 32; ++i)
        bad_codes += (char)(0xFF - i * 7);
    cases.push_back({"codes beyond the table", bad_codes + "\x00;"});
    for (int size : {0, 1, 10, 12, 255})
        cases.push_back({"code size", gif_header(2, 1) + "\x2C" + le16(0) + le16(0) + le16(2) + le16(1) +
                                          std::string(1, '\0') + std::string(1, (char)size) + plain_lzw_blocks({1, 2}) + ";"});
    std::string chain = gif_header(2, 1);
    for (int i = 0; i < 20000; ++i)
        chain += std::string("\x21\x01\x01x\x00", 5);
    cases.push_back({"endless extensions", chain});
    cases.push_back({"extensions then image", chain + gif_image(0, 0, 2, 1, {1, 2}) + ";"});
    cases.push_back({"unknown block", gif_header(2, 1) + "\x77" + gif_image(0, 0, 2, 1, {1, 2})});
    cases.push_back({"no end code", gif_header(4, 1) + "\x2C" + le16(0) + le16(0) + le16(4) + le16(1) +
                                        std::string("\x00\x02", 2) + plain_lzw_blocks({1}, false) + gif_image(0, 0, 1, 1, {3})});
    cases.push_back({"empty", ""});
    cases.push_back({"signature only", "GIF89a"});
    cases.push_back({"not a gif", std::string(300, 'x')});
    for (size_t cut = 0; cut < good.size(); ++cut)
        cases.push_back({"truncated", good.substr(0, cut)});
    return cases;
}

TEST_F(GifRead, HostileInputGivesMessageOrPartialImage)
{
    std::string path = test_out_path("gif_hostile.gif");
    int index = 0;
    for (const HostileCase& c : hostile_cases()) {
        SCOPED_TRACE(std::string(c.name) + " #" + std::to_string(index++));
        ASSERT_TRUE(write_file_bytes(path, c.bytes));
        SeamRecorder seams(32);
        OpenGif gif(path);
        ASSERT_TRUE(gif.ok());
        GifReadState s;
        char info[INFO_TEXT_SIZE];
        for (int frame = 0; frame < 4; ++frame) {
            HGLOBAL h = read_frame(s, gif.file, info);
            if (h) {
                EXPECT_TRUE(is_valid_packed_dib(h));
                GlobalFree(h);
            }
            if (!h || !s.continuing)
                break;
        }
        ASSERT_LE(seams.boxes.size(), 1u);
        for (const RecordedBox& box : seams.boxes)
            EXPECT_TRUE(box.text == "File Read Error" || box.text == "Unrecognized Bitmap Format" ||
                        box.text == "Memory Allocation Error")
                << box.text;
        if (g_hComment) {
            GlobalFree(g_hComment);
            g_hComment = NULL;
        }
    }
}

TEST_F(GifRead, TruncatedDataKeepsTheRowsDecoded)
{
    std::vector<uint8_t> px(40);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = (uint8_t)(1 + i % 3);
    std::string whole = gif_header(8, 5) + gif_image(0, 0, 8, 5, px);
    std::string path = test_out_path("gif_truncated.gif");
    ASSERT_TRUE(write_file_bytes(path, whole.substr(0, whole.size() - 12)));
    SeamRecorder seams(32);
    OpenGif gif(path);
    GifReadState s;
    HGLOBAL frame = read_frame(s, gif.file);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(0, s.continuing);
    EXPECT_TRUE(seams.boxes.empty());
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(frame);
    const BYTE* top_row = dib_pixels(bih) + 4 * dib_row_stride(8, 8);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(px[x], top_row[x]);
    EXPECT_EQ(0, dib_pixels(bih)[7]);  // the bottom row was never reached
    GlobalUnlock(frame);
    GlobalFree(frame);
}

TEST_F(GifRead, ReaderMessagesForNoGifAndNoData)
{
    std::string path = test_out_path("gif_short.gif");
    ASSERT_TRUE(write_file_bytes(path, "GIF8"));
    {
        SeamRecorder seams(32);
        OpenGif gif(path);
        GifReadState s;
        EXPECT_EQ(nullptr, read_frame(s, gif.file));
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("File Read Error", seams.boxes[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), seams.boxes[0].type);
    }
    ASSERT_TRUE(write_file_bytes(path, std::string(200, 'z')));
    SeamRecorder seams(32);
    OpenGif gif(path);
    GifReadState s;
    EXPECT_EQ(nullptr, read_frame(s, gif.file));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Unrecognized Bitmap Format", seams.boxes[0].text);
}
