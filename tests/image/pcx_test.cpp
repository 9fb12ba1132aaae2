// The PCX reader against netpbm's and ImageMagick's decoding, its refusals,
// the run-length coder, and the writer read back here and by netpbm in
// check_pcx.sh.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "image/pcx.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

HGLOBAL read_pcx_path(const std::string& path, char* info = nullptr)
{
    HFILE file = _lopen(path.c_str(), OF_READ);
    return file == HFILE_ERROR ? nullptr : read_pcx_file(file, NULL, info);
}

// A 128-byte header; the palette area is left zero.
std::string pcx_header(int bpp, int planes, int width, int height, int bpl)
{
    std::string h = std::string{10, 5, 1, (char)bpp} + le32(0) + le16(width - 1) + le16(height - 1);
    h.resize(128, '\0');
    h[65] = (char)planes;
    put_le16(h, 66, bpl);
    return h;
}

HGLOBAL read_pcx_bytes(const std::string& bytes, char* info = nullptr)
{
    std::string path = test_out_path("pcx_bytes.pcx");
    write_file_bytes(path, bytes);
    return read_pcx_path(path, info);
}

}  // namespace

TEST(PcxRead, EveryLayoutMatchesItsWriter)
{
    SeamRecorder seams(32);
    const char* names[] = {"rgb", "rgba", "palette256", "planes1", "planes2", "planes3", "planes4",
                           "packed2", "packed4"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        DibBlock image(read_pcx_path(fixture_path(std::string("pcx/") + name + ".pcx")));
        expect_pixels(image.get(), read_pnm_file(fixture_path(std::string("pcx/") + name + ".ref")), 0, true);
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(PcxRead, DefaultPaletteAndRunAcrossPlanes)
{
    // An all-black header palette stands for the default one.
    char info[500] = "";
    DibBlock dib(read_pcx_bytes(pcx_header(1, 1, 8, 1, 1) + "\x0f", info));
    ASSERT_TRUE(dib);
    EXPECT_STREQ("image type: PCX \nwidth: 8 \nheight: 1 \nversion: 5 \nplanes: 1 \nbits per pixel: 1 "
                 "\nbytes per line: 1 \ncolors: 2",
                 info);
    uint8_t a[4], b[4];
    dib.rgba(7, 0, a);
    EXPECT_EQ(128, a[0]);
    EXPECT_EQ(0, a[1]);

    // A run of 3 fills red and goes on into green.
    dib.reset(read_pcx_bytes(pcx_header(8, 3, 2, 1, 2) + "\xc3\x10\x20\xc2\x30"));
    ASSERT_TRUE(dib);
    dib.rgba(0, 0, a);
    dib.rgba(1, 0, b);
    EXPECT_EQ(0x101030u, (unsigned)(a[0] << 16 | a[1] << 8 | a[2]));
    EXPECT_EQ(0x102030u, (unsigned)(b[0] << 16 | b[1] << 8 | b[2]));
}

// 8 bits in 2 planes; other damage is the mutation harness's.
TEST(PcxRead, RefusesBrokenHeaderWithItsMessage)
{
    SeamRecorder seams(32);
    EXPECT_EQ(nullptr, read_pcx_bytes(pcx_header(8, 2, 4, 4, 4) + std::string(64, '\1')));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Unrecognized File Structure", seams.boxes[0].text);
}

TEST(PcxWrite, RunLengthCoding)
{
    struct Case { std::string line, coded; };
    const Case cases[] = {
        {"\xc5", "\xc1\xc5"},
        {std::string(70, '\0'), std::string("\xff\x00\xc7\x00", 4)},
        {"\x01\x02\x02", "\x01\xc2\x02"},
    };
    std::string path = test_out_path("pcx_line.bin");
    for (const Case& c : cases) {
        FILE* fp = fopen(path.c_str(), "wb");
        encode_pcx_line(fp, (const BYTE*)c.line.data(), c.line.size());
        fclose(fp);
        EXPECT_EQ(c.coded, read_file_bytes(path));
    }
}

TEST(PcxWrite, EveryDepthReadsBack)
{
    SeamRecorder seams(32);
    struct Case { int bits; uint32_t colours; };
    const Case cases[] = {{1, 2}, {4, 4}, {4, 6}, {4, 16}, {8, 256}, {8, 100}, {16, 0}, {24, 0}, {32, 0}};
    unsigned key = 1;
    for (const Case& c : cases) {
        DibBlock image(noise_image(c.bits, 29, 7, c.colours, key++));
        std::string name = "pcx_write_" + std::to_string(c.bits) + "_" + std::to_string(c.colours);
        expect_written_and_read_back(image.get(), name + ".pcx", name + ".pam", write_pcx_file,
                                     [](const std::string& path) { return read_pcx_path(path); }, c.bits == 32);
    }
    DibBlock image(noise_image(24, 2, 2, 0, 1));
    EXPECT_EQ(0, write_pcx_file("Z:\\no\\such\\folder\\x.pcx", image.get()));
    EXPECT_TRUE(seams.boxes.empty());
}
