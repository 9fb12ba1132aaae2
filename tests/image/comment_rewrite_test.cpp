// The comment writers of the native formats when the rewritten file cannot
// be put in place: another program has locked the end of the original, so
// writing over it in place would stop half-way. The original must stay byte
// for byte, the failure must be reported and no temporary file left.
#include <gtest/gtest.h>

#include <string>

#include "image/gif_write.h"
#include "image/iff_write.h"
#include "image/pnm.h"
#include "image/targa.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

// Bigger than any copy buffer, so a write in place would get part-way.
const size_t RASTER_BYTES = 200000;

std::string be32(uint32_t v)
{
    return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

struct RewriteCase {
    const char* name;
    int (*write)(const char* path, HGLOBAL* text);
    std::string bytes;
};

std::string tga_file()
{
    std::string header(18, '\0');
    header[2] = 3;                      // uncompressed grey
    header[12] = (char)(RASTER_BYTES / 1000);
    header[14] = (char)(1000 % 256);
    header[15] = (char)(1000 / 256);
    header[16] = 8;
    return header + std::string(RASTER_BYTES, '\x11');
}

std::string iff_file()
{
    std::string bmhd = "BMHD" + be32(20) + std::string(20, '\0');
    std::string body = "BODY" + be32(RASTER_BYTES) + std::string(RASTER_BYTES, '\x22');
    return "FORM" + be32((uint32_t)(4 + bmhd.size() + body.size())) + "ILBM" + bmhd + body;
}

std::string gif_file()
{
    return std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00", 13) + "\x2c" + std::string(RASTER_BYTES, '\x33');
}

TEST(CommentRewrite, LockedOriginalStaysWholeAndTheFailureIsReported)
{
    const RewriteCase cases[] = {
        {"rewrite_locked.pgm", write_pnm_comment, "P5\n1000 200\n255\n" + std::string(RASTER_BYTES, '\x44')},
        {"rewrite_locked.tga", write_tga_comment, tga_file()},
        {"rewrite_locked.iff", write_ilbm_comment, iff_file()},
        {"rewrite_locked.gif", write_gif_comment, gif_file()},
    };
    for (const RewriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        SeamRecorder seams(32);
        std::string path = test_out_path(c.name);
        ASSERT_TRUE(write_file_bytes(path, c.bytes));
        int temps_before = temp_files_in(path);
        HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        ASSERT_TRUE(LockFile(other, (DWORD)c.bytes.size() - 1000, 0, 1000, 0));
        HGLOBAL text = text_block("a comment");
        EXPECT_EQ(0, c.write(path.c_str(), &text));
        UnlockFile(other, (DWORD)c.bytes.size() - 1000, 0, 1000, 0);
        CloseHandle(other);
        EXPECT_TRUE(read_file_bytes(path) == c.bytes) << "the original changed";
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("Cannot Open File for Writing.", seams.boxes[0].text);
        EXPECT_EQ(path, seams.boxes[0].caption);
        EXPECT_EQ(temps_before, temp_files_in(path));
        if (text)
            GlobalFree(text);

        // Free again, the same rewrite goes through.
        text = text_block("a comment");
        EXPECT_EQ(1, c.write(path.c_str(), &text));
        EXPECT_NE(std::string::npos, read_file_bytes(path).find("a comment"));
        GlobalFree(text);
    }
}

}  // namespace
