// The IFF reader against netpbm's ilbmtoppm, hand-made half-brite, chunky
// and damaged files, ByteRun1 packing, the writer read back here and by
// ilbmtoppm in check_iff.sh, and the ANNO rewrite.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "image/current_image.h"
#include "image/iff_read.h"
#include "image/iff_write.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

HGLOBAL read_iff_path(const std::string& path, char* info = nullptr)
{
    HFILE file = _lopen(path.c_str(), OF_READ);
    return file == HFILE_ERROR ? nullptr : read_iff_file(file, info);
}

std::string be32(uint32_t v) { return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v}; }

std::string chunk(const std::string& id, const std::string& data)
{
    return id + be32((uint32_t)data.size()) + data + (data.size() & 1 ? std::string(1, '\0') : "");
}

std::string bmhd(int width, int height, int planes, int masking, int compression)
{
    std::string h = be32((uint32_t)width << 16 | height) + le32(0) + (char)planes + (char)masking + (char)compression;
    return chunk("BMHD", h + std::string(20 - h.size(), '\0'));
}

std::string form(const std::string& type, const std::string& chunks)
{
    return "FORM" + be32((uint32_t)(chunks.size() + 4)) + type + chunks;
}

HGLOBAL read_iff_bytes(const std::string& bytes, char* info = nullptr)
{
    std::string path = test_out_path("iff_bytes.iff");
    write_file_bytes(path, bytes);
    return read_iff_path(path, info);
}

}  // namespace

TEST(IffRead, EveryKindMatchesNetpbm)
{
    SeamRecorder seams(32);
    const char* names[] = {"planes1", "planes4", "planes8", "ham6", "ham8", "rgb24"};
    for (const char* name : names) {
        for (const char* packing : {"_compress", "_nocompress"}) {
            std::string base = fixture_path(std::string("iff/") + name + packing);
            SCOPED_TRACE(base);
            DibBlock image(read_iff_path(base + ".iff"));
            // HAM keeps the low bits of the colour it modifies; netpbm scales the
            // modified 4 or 6 bits instead.
            expect_pixels(image.get(), read_pnm_file(base + ".ref"), name[0] == 'h' ? 15 : 0, false);
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(IffRead, HalfBriteChunkyMaskAndAnnotation)
{
    // 6 planes, 32 colours: index 33 is entry 1 at half brightness. The
    // mask row after the planes is skipped; ANNO of odd size is padded.
    std::string cmap;
    for (int i = 0; i < 32; ++i)
        cmap += std::string{(char)(i * 8), (char)200, (char)(255 - i)};
    std::string body;
    for (int p = 0; p < 6; ++p)
        body += std::string{(char)((33 >> p & 1) ? 0x80 : 0), 0};
    body += std::string("\xff\xff", 2);  // mask row
    g_hComment = NULL;
    char info[500] = "";
    DibBlock dib(read_iff_bytes(
        form("ILBM", bmhd(1, 1, 6, 1, 0) + chunk("CMAP", cmap) + chunk("ANNO", "odd") + chunk("BODY", body)), info));
    ASSERT_TRUE(dib);
    EXPECT_STREQ("image type: ILBM \nwidth: 1 \nheight: 1 \nplanes: 6 \ncompression: 0 \nmasking: 1 \n# of colors: 32",
                 info);
    uint8_t p[4];
    dib.rgba(0, 0, p);
    EXPECT_EQ(0x04647Fu, (unsigned)(p[0] << 16 | p[1] << 8 | p[2])) << "entry 1 at half brightness";
    EXPECT_EQ("odd", take_comment());

    // Chunky 24-bit, packed: control 0x80 is skipped, 0xFF 0x41 gives two bytes.
    dib.reset(read_iff_bytes(form("PBM ", bmhd(1, 1, 24, 0, 1) + chunk("BODY", std::string("\x80\x00\x10\xff\x41\x00\x00", 7)))));
    ASSERT_TRUE(dib);
    dib.rgba(0, 0, p);
    EXPECT_EQ(0x104141u, (unsigned)(p[0] << 16 | p[1] << 8 | p[2]));
}

// No BMHD; other damage is the mutation harness's.
TEST(IffRead, RefusesDamagedStructureWithItsMessage)
{
    SeamRecorder seams(32);
    char info[500] = "";
    EXPECT_EQ(nullptr, read_iff_bytes(form("ILBM", chunk("CMAP", std::string(6, '\1')) + chunk("BODY", "ab")), info));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("File Read Error", seams.boxes[0].text);
}

// Hold-and-modify is HAM6 or HAM8: a 32-plane picture with the CAMG bit
// once got a 24-bit image written 4 bytes a pixel.
TEST(IffRead, RefusesHoldAndModifyOfOtherPlaneCounts)
{
    SeamRecorder seams(32);
    std::string cmap(16 * 3, '\x40'), camg = chunk("CAMG", be32(0x800));
    for (int planes : {4, 24, 32}) {
        SCOPED_TRACE(planes);
        seams.boxes.clear();
        std::string body(4 * planes * 8, '\xff');
        EXPECT_EQ(nullptr, read_iff_bytes(form("ILBM", bmhd(64, 4, planes, 0, 0) + chunk("CMAP", cmap) + camg +
                                                           chunk("BODY", body))));
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("File Read Error", seams.boxes[0].text);
    }
}

TEST(IffRead, TruncatedBodyKeepsTheRowsRead)
{
    SeamRecorder seams(32);
    std::string whole = read_file_bytes(fixture_path("iff/planes4_compress.iff"));
    for (size_t cut = whole.find("BODY") + 24; cut < whole.size(); cut += 11)
        EXPECT_TRUE(DibBlock(read_iff_bytes(whole.substr(0, cut)))) << cut;
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(IffWrite, ByteRun1Packing)
{
    struct Case { std::string in, packed; };
    const Case cases[] = {
        {"\x01\x02\x02\x03", "\x03\x01\x02\x02\x03"},
        {std::string(200, 'a'), "\x81" "a" "\xb9" "a"},
        {"abcc", "\x01" "ab" "\xff" "c"},
    };
    for (const Case& c : cases) {
        BYTE out[512];
        size_t n = pack_byterun1((const BYTE*)c.in.data(), out, c.in.size());
        EXPECT_EQ(c.packed, std::string((const char*)out, n));
    }
}

TEST(IffWrite, EveryDepthAndHamReadsBack)
{
    SeamRecorder seams(32);
    struct Case { int bits; uint32_t colours; int ham; int planes; };
    const Case cases[] = {{1, 2, 0, 1}, {4, 16, 0, 4}, {8, 3, 0, 2}, {8, 200, 0, 8},
                          {16, 0, 0, 24}, {24, 0, 0, 24}, {32, 0, 0, 32}, {24, 0, 1, 6}};
    unsigned key = 1;
    for (const Case& c : cases)
        for (int compress = 0; compress < 2; ++compress) {
            DibBlock image(noise_image(c.bits, 23, 7, c.colours, key++));
            std::string name = "iff_write_" + std::to_string(c.bits) + "_" + std::to_string(c.colours) +
                               (c.ham ? "_ham" : "") + (compress ? "_packed" : "_plain");
            auto write = [&](const char* path, HGLOBAL h) { return write_ilbm_file(path, compress, c.ham, h); };
            std::string path = test_out_path(name + ".iff");
            if (c.ham) {
                // HAM changes one channel per pixel: it cannot match exactly.
                ASSERT_EQ(1, write(path.c_str(), image.get()));
                DibBlock back(read_iff_path(path));
                ASSERT_TRUE(back);
                EXPECT_EQ(24, back.bih->biBitCount);
            } else {
                expect_written_and_read_back(image.get(), name + ".iff", name + ".pam", write,
                                             [](const std::string& p) { return read_iff_path(p); });
            }
            EXPECT_EQ(c.planes, read_file_bytes(path)[28]) << name;
        }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(IffComment, ReplacesAnnotationsAndKeepsTheBody)
{
    SeamRecorder seams(32);
    std::string body = chunk("BODY", "\x01\x02\x03");
    std::string head = bmhd(1, 1, 1, 0, 0) + chunk("CMAP", std::string(6, '\5'));
    std::string path = test_out_path("iff_comment.iff");
    write_file_bytes(path, form("ILBM", head + chunk("ANNO", "old one") + chunk("ANNO", "two") + body));
    struct Case { const char* text; std::string want; };
    const Case cases[] = {
        {"fives", form("ILBM", head + "ANNO" + be32(6) + std::string("fives\0", 6) + body)},
        {"", form("ILBM", head + body)},
    };
    for (const Case& c : cases) {
        HGLOBAL text = text_block(c.text);
        EXPECT_EQ(1, write_ilbm_comment(path.c_str(), &text));
        EXPECT_EQ(c.want, read_file_bytes(path));
        GlobalFree(text);
    }
    EXPECT_TRUE(seams.boxes.empty());

    write_file_bytes(path, "FORMxxxxJUNK");
    HGLOBAL text = text_block("kept");
    EXPECT_EQ(0, write_ilbm_comment(path.c_str(), &text));
    EXPECT_EQ("FORMxxxxJUNK", read_file_bytes(path));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Cannot Open File for Writing.", seams.boxes[0].text);
    EXPECT_NE(nullptr, text);
    GlobalFree(text);
}
