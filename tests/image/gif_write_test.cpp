// The GIF writer read back by the reader (and, through check_gif.sh, by
// ImageMagick, netpbm and giflib), its failures, and the comment rewrite
// (a file that cannot be replaced: tests/e2e/comment_dialog_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gif_test_util.h"
#include "image/gif_write.h"
#include "image/temp_file.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

class GifWrite : public ::testing::Test {
protected:
    void SetUp() override { reset_gif_globals(); g_colorConversion = 0; }
    void TearDown() override { reset_gif_globals(); }
    SeamRecorder seams{32};
};

// Same indices (past the table: 0) and transparency.
void expect_reads_back(HGLOBAL written, const std::string& path, int has_transparency)
{
    OpenGif gif(path);
    GifReadState s;
    DibBlock want(written, false), got(read_frame(s, gif.file));
    ASSERT_TRUE(got);
    EXPECT_EQ(0, s.continuing);
    EXPECT_EQ(has_transparency, s.has_transparency);
    ASSERT_EQ(want.bih->biWidth, got.bih->biWidth);
    ASSERT_EQ(want.bih->biHeight, got.bih->biHeight);
    int bad = 0;
    for (int y = 0; y < want.bih->biHeight; ++y)
        for (int x = 0; x < want.bih->biWidth; ++x) {
            uint32_t index = want.raw(x, y);
            bad += (index < dib_color_count(want.bih) ? index : 0) != got.raw(x, y);
        }
    EXPECT_EQ(0, bad);
}

// As the comment dialog does; whether the dialog's text survived.
int rewrite_comment(const std::string& path, const std::string& text, bool* text_kept = nullptr)
{
    HGLOBAL h = text_block(text);
    int result = write_gif_comment(path.c_str(), &h);
    if (text_kept)
        *text_kept = h != NULL;
    if (h)
        GlobalFree(h);
    return result;
}

std::string from_first_image(const std::string& bytes)
{
    size_t table = (bytes[10] & 0x80) ? 3u << ((bytes[10] & 7) + 1) : 0;
    size_t at = 13 + table;
    while (at < bytes.size() && bytes[at] == '\x21') {  // extensions before the image
        at += 2;
        while (at < bytes.size() && bytes[at] != 0)
            at += 1 + (unsigned char)bytes[at];
        ++at;
    }
    return bytes.substr(at);
}

// The blocks of a GIF after its header and global table: the comments'
// texts, and everything else as it stands (images, other extensions, the
// trailer and what follows it). Stops where the file is cut.
struct GifBlocks {
    std::vector<std::string> comments;
    std::string others;
    int images = 0;
};

GifBlocks gif_blocks(const std::string& bytes)
{
    GifBlocks blocks;
    size_t at = 13 + ((bytes[10] & 0x80) ? 3u << ((bytes[10] & 7) + 1) : 0);
    auto sub_blocks = [&](std::string* text) {
        while (at < bytes.size() && bytes[at] != 0) {
            size_t n = (unsigned char)bytes[at];
            if (text)
                *text += bytes.substr(at + 1, n);
            at += 1 + n;
        }
        ++at;
    };
    while (at < bytes.size()) {
        size_t start = at;
        if (bytes[at] == '\x21' && at + 1 < bytes.size() && bytes[at + 1] == '\xFE') {
            at += 2;
            blocks.comments.emplace_back();
            sub_blocks(&blocks.comments.back());
            continue;
        }
        if (bytes[at] == '\x21') {
            at += 2;
        } else if (bytes[at] == '\x2C') {
            unsigned char packed = at + 9 < bytes.size() ? bytes[at + 9] : 0;
            at += 10 + ((packed & 0x80) ? 3u << ((packed & 7) + 1) : 0) + 1;
            ++blocks.images;
        } else {
            at = bytes.size();
        }
        sub_blocks(nullptr);
        blocks.others += bytes.substr(start, std::min(at, bytes.size()) - start);
    }
    return blocks;
}

}  // namespace

TEST_F(GifWrite, EveryDepthInterlacedOrNotReadsBack)
{
    struct Case { int bits; uint32_t colours; int width, height; };
    const Case cases[] = {{1, 2, 1, 1}, {1, 2, 37, 11}, {4, 16, 33, 9}, {4, 5, 8, 3},
                          {8, 256, 61, 29}, {8, 3, 13, 17}, {8, 200, 256, 256}, {8, 37, 2, 70}};
    unsigned key = 1;
    for (const Case& c : cases)
        for (int interlace = 0; interlace < 2; ++interlace)
            for (int transparent = 0; transparent < 2; ++transparent) {
                std::string name = "gif_write_" + std::to_string(c.bits) + "_" + std::to_string(c.colours) +
                                   "_" + std::to_string(c.width) + "x" + std::to_string(c.height) +
                                   (interlace ? "_i" : "_n") + (transparent ? "_t" : "_o");
                SCOPED_TRACE(name);
                DibBlock image(noise_image(c.bits, c.width, c.height, c.colours, key++));
                g_hasTransparency = transparent;
                g_transparentIndex = (BYTE)(c.colours - 1);
                g_transparentDisplayColor = 0x123456;
                std::string path = test_out_path(name + ".gif");
                ASSERT_EQ(1, write_gif_file(path.c_str(), image.get(), interlace));
                // The picture as the file must show it, for check_gif.sh: the
                // transparent index in its display colour.
                if (transparent)
                    image.table()[c.colours - 1] = quad(0x12, 0x34, 0x56);
                write_pnm_file(test_out_path(name + ".pam"), dib_to_pnm(image.get(), 3));
                expect_reads_back(image.get(), path, transparent);
            }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifWrite, IndicesPastTheTableAndConvertedTransparencyAreNotWritten)
{
    DibBlock image(make_dib(4, 1, 8, {quad(1, 2, 3), quad(4, 5, 6), quad(7, 8, 9)}, 3));
    const BYTE row[4] = {2, 200, 1, 4};
    memcpy(image.row(0), row, 4);
    g_hasTransparency = 1;
    g_colorConversion = 1;  // a converted image has no transparent index
    std::string path = test_out_path("gif_past_table.gif");
    ASSERT_EQ(1, write_gif_file(path.c_str(), image.get(), 0));
    expect_reads_back(image.get(), path, 0);
}

TEST_F(GifWrite, FailureLeavesTheExistingFileAlone)
{
    std::string path = test_out_path("gif_keep_me.gif");
    ASSERT_TRUE(write_file_bytes(path, "old contents"));
    DibBlock deep(create_dib24(4, 4));
    EXPECT_EQ(0, write_gif_file(path.c_str(), deep.get(), 0));
    EXPECT_EQ("old contents", read_file_bytes(path));

    DibBlock image(noise_image(8, 5, 5, 10, 5));

    // Another program holds the file open for reading only: the new file
    // cannot take its place, and the user is told.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    seams.boxes.clear();
    EXPECT_EQ(0, write_gif_file(path.c_str(), image.get(), 0));
    CloseHandle(held);
    EXPECT_EQ("old contents", read_file_bytes(path));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ(path, seams.boxes[0].text);
    EXPECT_EQ("error closing file", seams.boxes[0].caption);
    EXPECT_EQ((UINT)MB_ICONSTOP, seams.boxes[0].type & MB_ICONMASK);
}

// Every old comment replaced (ImageMagick reads the new one in check_gif.sh),
// images byte for byte, GIF87a made GIF89a.
TEST_F(GifWrite, CommentRewriteReplacesTheTextAndKeepsTheImages)
{
    std::string long_text;
    for (int i = 0; i < 30; ++i)
        long_text += "Rewritten comment line " + std::to_string(i) + "\r\n";
    const struct { const char* fixture; const char* name; std::string text; } cases[] = {
        {"commented.gif", "comment_rewritten", long_text},
        {"anim_giflib.gif", "comment_anim", "frames stay"},
        {"commented.gif", "comment_removed", ""},
        {"version_87a.gif", "comment_87a", "now 89a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = test_out_path("gif_" + std::string(c.name) + ".gif");
        std::string before = read_file_bytes(fixture_path("gif/" + std::string(c.fixture)));
        ASSERT_TRUE(write_file_bytes(path, before));
        bool kept = false;
        EXPECT_EQ(1, rewrite_comment(path, c.text, &kept));
        EXPECT_TRUE(kept);
        std::string after = read_file_bytes(path);
        EXPECT_EQ(c.text.empty(), after.find("\x21\xFE") == std::string::npos);
        EXPECT_EQ("GIF89a", after.substr(0, 6));
        EXPECT_EQ(from_first_image(before), from_first_image(after));
        if (!c.text.empty())
            write_file_bytes(test_out_path("gif_" + std::string(c.name) + ".txt"), c.text);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// Comments after the first image, between frames and after the last, go
// with the ones before it: removed, only the new text is left, and it
// stands before the first image; every image and other block stays as it
// was. A file cut inside such a comment is rewritten as far as it goes.
TEST_F(GifWrite, CommentRewriteLeavesNoCommentAfterTheFirstImage)
{
    const char* FILES[] = {"GIFCOMMENT-after-first-image.gif", "GIFCOMMENT-cut-in-later-comment.gif"};
    for (const char* file : FILES) {
        const std::string before = read_file_bytes(fixture_path(std::string("hostile/") + file));
        const GifBlocks old_blocks = gif_blocks(before);
        ASSERT_GE(old_blocks.comments.size(), 1u) << file;
        for (const std::string text : {"", "new text"}) {
            SCOPED_TRACE(std::string(file) + " \"" + text + "\"");
            const std::string path = test_out_path(std::string("gif_comment_hostile_") + (text.empty() ? "0" : "1") +
                                                   "_" + file);
            ASSERT_TRUE(write_file_bytes(path, before));
            EXPECT_EQ(1, rewrite_comment(path, text));
            const std::string after = read_file_bytes(path);
            GifBlocks blocks = gif_blocks(after);
            EXPECT_EQ(blocks.comments, text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text});
            EXPECT_EQ(blocks.others, old_blocks.others);
            EXPECT_EQ(blocks.images, old_blocks.images);
            // the new text right behind the two-entry global table
            if (!text.empty())
                EXPECT_EQ(after.substr(13 + 6, 2), "\x21\xFE");
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(GifWrite, DamagedFileIsLeftUntouchedByCommentRewrite)
{
    std::string source = read_file_bytes(fixture_path("gif/commented.gif"));
    size_t image_at = source.size() - from_first_image(source).size();
    std::string path = test_out_path("gif_comment_damaged.gif");
    std::vector<std::string> damaged;
    for (size_t cut = 0; cut < image_at; cut += 7)
        damaged.push_back(source.substr(0, cut));
    size_t table = (source[10] & 0x80) ? 3u << ((source[10] & 7) + 1) : 0;
    damaged.push_back(source.substr(0, 13 + table) + ";" + source.substr(image_at));
    damaged.push_back(std::string("not a gif at all"));
    for (const std::string& bytes : damaged) {
        ASSERT_TRUE(write_file_bytes(path, bytes));
        bool kept = false;
        EXPECT_EQ(0, rewrite_comment(path, "new", &kept));
        EXPECT_TRUE(kept);
        EXPECT_EQ(bytes, read_file_bytes(path));
    }
    EXPECT_EQ(damaged.size(), seams.boxes.size()) << "each one said";
    EXPECT_EQ(0, temp_file_names_in_use());
}
