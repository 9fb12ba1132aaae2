// Faults a hostile file could use: a metafile DIB record whose size wrapped
// to pass the record check, and a GIF frame or animation canvas larger than
// its data could ever fill, allocated from the header alone.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gif_test_util.h"
#include "image/gif_anim.h"
#include "image/metafile.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

// A plain metafile: header, one META_STRETCHDIB record whose DIB header
// claims width 0x7FFFFFFF, height -2^31, 32 bits and 2^31 colours (the size
// came out at 40 bytes mod 2^64), then the end record.
std::string wmf_with_wrapping_dib()
{
    std::string params = le32(0x00CC0020) + le16(0);  // SRCCOPY, DIB_RGB_COLORS
    for (int i = 0; i < 8; ++i)
        params += le16(1);
    std::string dib = le32(40) + le32(0x7FFFFFFF) + le32(0x80000000) + le16(1) + le16(32) +
                      le32(BI_RGB) + le32(0) + le32(0) + le32(0) + le32(0x80000000) + le32(0);
    std::string record = le32((uint32_t)(6 + params.size() + dib.size()) / 2) + le16(0x0F43) + params + dib;
    std::string end = le32(3) + le16(0);
    uint32_t words = (uint32_t)(18 + record.size() + end.size()) / 2;
    std::string header = le16(1) + le16(9) + le16(0x300) + le32(words) + le16(0) +
                         le32((uint32_t)record.size() / 2) + le16(0);
    return header + record + end;
}

}  // namespace

TEST(SecurityRegress, MetafileDibRecordWhoseSizeWrapsIsCut)
{
    SeamRecorder seams(24);
    std::string path = test_out_path("regress_wrap.wmf");
    ASSERT_TRUE(write_file_bytes(path, wmf_with_wrapping_dib()));
    HFILE file = _lopen(path.c_str(), OF_READ);
    ASSERT_NE(file, HFILE_ERROR);
    RECT bounds;
    DWORD inch;
    WmfPlaceableHeader header;
    HMETAFILE wmf = read_wmf_file(NULL, path.c_str(), file, NULL, 0, &bounds, &inch, &header);
    ASSERT_NE(wmf, nullptr);
    // Only the header and the end record are left for GDI.
    EXPECT_EQ(GetMetaFileBitsEx(wmf, 0, NULL), 24u);
    DeleteMetaFile(wmf);
}

// A frame of 16000 x 16000 in a file of a few dozen bytes was allocated
// (256 MB) before a byte of its data was read.
TEST(SecurityRegress, GifFrameLargerThanItsDataCouldGiveIsRefused)
{
    struct Case {
        const char* name;
        int width, height;
        bool refused;
    } cases[] = {
        {"huge claim", 16000, 16000, true},
        {"wide claim", 65535, 4000, true},
        {"small frame", 8, 5, false},
    };
    std::string path = test_out_path("regress_gif_claim.gif");
    for (const Case& c : cases) {
        SeamRecorder seams(32);
        std::vector<uint8_t> pixels(40, 1);
        std::string gif = gif_header(c.width, c.height) + "\x2C" + le16(0) + le16(0) + le16(c.width) +
                          le16(c.height) + std::string(1, '\0') + "\x02" + plain_lzw_blocks(pixels) + ";";
        ASSERT_TRUE(write_file_bytes(path, gif));
        OpenGif file(path);
        GifReadState s;
        HGLOBAL frame = read_frame(s, file.file);
        if (c.refused) {
            EXPECT_EQ(frame, nullptr) << c.name;
            ASSERT_EQ(seams.boxes.size(), 1u) << c.name;
            EXPECT_EQ(seams.boxes[0].text, "File Read Error");
        } else {
            EXPECT_NE(frame, nullptr) << c.name;
            EXPECT_TRUE(seams.boxes.empty()) << c.name;
        }
        if (frame)
            GlobalFree(frame);
    }
}

// Two frames of 2 x 1 on a logical screen of 10000 x 10000: the two
// canvases (600 MB) were made from the header alone. The first frame
// stays a still image.
TEST(SecurityRegress, AnimationCanvasLargerThanItsDataCouldFillIsRefused)
{
    SeamRecorder seams(32);
    reset_gif_globals();
    std::string path = test_out_path("regress_gif_screen.gif");
    std::string gif = gif_header(10000, 10000) + gif_image(0, 0, 2, 1, {1, 2}) + gif_image(0, 0, 2, 1, {2, 1}) + ";";
    ASSERT_TRUE(write_file_bytes(path, gif));
    OpenGif file(path);
    GifReadState s;
    g_hImage = read_frame(s, file.file);
    ASSERT_NE(g_hImage, nullptr);
    ASSERT_EQ(s.continuing, 1);
    g_screenWidth = s.screen_width;
    g_screenHeight = s.screen_height;
    EXPECT_EQ(start_gif_animation(), 0);
    EXPECT_EQ(g_hAnimCanvas, nullptr);
    EXPECT_EQ(g_imageKind, KIND_DIB);
    EXPECT_NE(g_hImage, nullptr);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "Memory Allocation Error");
    reset_gif_globals();
}
