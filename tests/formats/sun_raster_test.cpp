// The Sun raster reader against netpbm's files and rasttopnm's pixels, the
// byte orders and paddings netpbm does not write, and hostile headers.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "formats/jpeg2000.h"
#include "image/current_image.h"
#include "support/seam_recorder.h"

namespace {

std::string sun_file(uint32_t width, uint32_t height, uint32_t depth, uint32_t length, uint32_t type,
                     const std::string& map, const std::string& data)
{
    return be32(0x59A66A95) + be32(width) + be32(height) + be32(depth) + be32(length) + be32(type) +
           be32(map.empty() ? 0 : 1) + be32((uint32_t)map.size()) + map + data;
}

HGLOBAL read_bytes(const std::string& bytes, char* info = NULL)
{
    std::string path = test_out_path("sun.ras");
    write_file_bytes(path, bytes);
    return read_image_jasper(path.c_str(), info);
}

}  // namespace

TEST(SunRasterRead, NetpbmFilesMatchRasttopnm)
{
    SeamRecorder seams(32);
    for (const char* name : {"colour24_std", "colour24_rle", "grey8_std", "grey8_rle", "bits1_std",
                             "bits1_rle", "mapped8_std", "mapped8_rle"}) {
        SCOPED_TRACE(name);
        PnmImage ref = read_pnm_file(fixture_path(std::string("sun/") + name + ".pam"));
        DibBlock dib(read_image_jasper(fixture_path(std::string("sun/") + name + ".ras").c_str(), NULL));
        ASSERT_NE(nullptr, dib.get());
        EXPECT_LE(max_pixel_difference(dib.get(), ref, true), 0);
    }
    char info[INFO_TEXT_SIZE] = "";
    DibBlock mapped(read_image_jasper(fixture_path("sun/mapped8_std.ras").c_str(), info));
    EXPECT_STREQ("image type: Sun Raster\nwidth: 53 \nheight: 21\ndepth: 8\ncolor components: 3\n"
                 "colorspace: RGB\n",
                 info);
    EXPECT_TRUE(seams.boxes.empty());
}

// The two pixels of the top row of files netpbm does not write.
TEST(SunRasterRead, ByteOrdersPaddingAndMapsByType)
{
    const std::string map("\x11\x22\x33\x44\x55\x66", 6);
    const struct {
        const char* what;
        std::string file;
        std::string rgb;
    } cases[] = {
        {"type 3 is RGB", sun_file(2, 1, 24, 6, 3, "", "\x10\x20\x30\x40\x50\x60"), "\x10\x20\x30\x40\x50\x60"},
        {"type 1 32 bits is XBGR", sun_file(2, 1, 32, 8, 1, "", std::string("\0\x30\x20\x10\0\x60\x50\x40", 8)),
         "\x10\x20\x30\x40\x50\x60"},
        {"type 0 with length 0, rows of 16 bits, set bits black",
         sun_file(2, 2, 1, 0, 0, "", "\x40\xFF\x80\xFF"), std::string("\xFF\xFF\xFF\0\0\0", 6)},
        {"1 bit through a map", sun_file(2, 1, 1, 2, 1, map, std::string("\x40\0", 2)), "\x11\x33\x55\x22\x44\x66"},
        {"run of 0x80 and an escaped 0x80", sun_file(2, 1, 8, 4, 2, "", std::string("\x80\x01\x07\x80\x00", 5)),
         "\x07\x07\x07\x07\x07\x07"},
    };
    for (const auto& c : cases) {
        DibBlock dib(read_bytes(c.file));
        ASSERT_NE(nullptr, dib.get()) << c.what;
        std::string got;
        for (int x = 0; x < 2; x++) {
            uint8_t p[4];
            dib.rgba(x, 0, p);
            got.append((const char*)p, 3);
        }
        EXPECT_EQ(c.rgb, got) << c.what;
    }
}

TEST(SunRasterRead, BrokenHeadersSayUnableToDecodeAndTruncationKeepsRows)
{
    SeamRecorder seams(32);
    std::string bad[] = {
        sun_file(4, 4, 7, 0, 1, "", std::string(16, 'x')),
        sun_file(4, 4, 8, 0, 9, "", std::string(16, 'x')),
        sun_file(0x40000, 0x40000, 24, 0, 1, "", std::string(16, 'x')),
        sun_file(4, 4, 8, 0, 1, "", "").substr(0, 28) + be32(1000),  // map past the end
    };
    for (const std::string& file : bad) {
        seams.boxes.clear();
        EXPECT_EQ(nullptr, read_bytes(file));
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("Unable to Decode.", seams.boxes[0].text);
        EXPECT_EQ(" ", seams.boxes[0].caption);
    }
    std::string whole = read_file_bytes(fixture_path("sun/colour24_rle.ras"));
    // Half the data or more still shows what it holds.
    for (size_t n = whole.size() / 2; n < whole.size(); n += 97) {
        DibBlock dib(read_bytes(whole.substr(0, n)));
        EXPECT_NE(nullptr, dib.get()) << n;
    }
}
