// The merge-source loader: each format read with the pixels its reader
// gives (against the fixtures' independent decodings), alpha and GIF
// transparency kept rather than flattened, the kind and mask by the
// transparency found, and the current image left alone.
#include <gtest/gtest.h>

#include "image/bmp_write.h"
#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

struct SourceCase {
    const char* file;
    const char* reference;
    int kind;
    int max_difference;  // per channel; JPEG decoders may round apart
};

class MergeLoader : public ::testing::TestWithParam<SourceCase> {
protected:
    void TearDown() override { free_merge_source(); }
};

TEST_P(MergeLoader, ReadsThePixelsAndClassifies)
{
    const SourceCase& c = GetParam();
    HGLOBAL sentinel = GlobalAlloc(GHND, 4);
    g_hImage = sentinel;
    g_fileFormat = FMT_BMP;
    g_hMergeImage = load_image_file(fixture_path(c.file).c_str());
    EXPECT_EQ(g_hImage, sentinel);
    EXPECT_EQ(g_fileFormat, FMT_BMP);
    g_hImage = NULL;
    GlobalFree(sentinel);
    ASSERT_NE(g_hMergeImage, nullptr);
    EXPECT_EQ(g_mergeKind, c.kind);

    PnmImage want = read_pnm_file(fixture_path(c.reference));
    DibBlock got(g_hMergeImage, false);
    ASSERT_EQ(got.bih->biWidth * 1000 + got.bih->biHeight, want.width * 1000 + want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            uint8_t g[4], w[4];
            got.rgba(x, y, g);
            want.rgba(x, y, w);
            const bool transparent = want.channels == 4 && w[3] == 0;
            for (int k = 0; k < 3 && !transparent; ++k)
                ASSERT_LE(abs(g[k] - w[k]), c.max_difference) << x << "," << y;
            if (c.kind == MERGE_PARTIAL_ALPHA) {
                ASSERT_EQ(g[3], w[3]) << "alpha kept";
            }
            if (c.kind == MERGE_ON_OFF_TRANSPARENCY || c.kind == MERGE_ICON) {
                DibBlock mask(g_hMergeMask, false);
                ASSERT_EQ(mask.raw(x, want.height - 1 - y), transparent ? 1u : 0u) << x << "," << y;
            }
        }
    EXPECT_EQ(g_hMergeMask == NULL, c.kind == MERGE_RASTER);
    EXPECT_EQ(g_rcMerge.right * 1000 + g_rcMerge.bottom, want.width * 1000 + want.height);
}

const SourceCase SOURCES[] = {
    {"bmp/im_24.bmp", "bmp/im_24.ppm", MERGE_RASTER, 0},
    {"bmp/im_32a.bmp", "bmp/im_32a.pam", MERGE_PARTIAL_ALPHA, 0},
    {"bmp/im_bf32a.bmp", "bmp/im_bf32a.pam", MERGE_PARTIAL_ALPHA, 0},
    {"gif/transparent.gif", "gif/transparent_0.pam", MERGE_ON_OFF_TRANSPARENCY, 0},
    {"jpeg/baseline.jpg", "jpeg/baseline.pnm", MERGE_RASTER, 2},
    {"png/basn2c08.png", "png/basn2c08.pam", MERGE_RASTER, 0},
    {"png/basn6a08.png", "png/basn6a08.pam", MERGE_PARTIAL_ALPHA, 0},
    {"tiff/rgb_lzw.tif", "tiff/rgb_lzw.pnm", MERGE_RASTER, 0},
    {"merge/macbinary.tif", "merge/macbinary.pnm", MERGE_RASTER, 0},
    {"merge/macbinary_big.tif", "merge/macbinary_big.pnm", MERGE_RASTER, 0},
    {"jbig/plane1.jbg", "jbig/plane1.pbm", MERGE_RASTER, 0},
    {"jpeg2000/rgb.jp2", "jpeg2000/rgb.pam", MERGE_RASTER, 1},
    {"jpeg2000/rgb.j2k", "jpeg2000/rgb.pam", MERGE_RASTER, 1},
    {"sun/colour24_rle.ras", "sun/colour24_rle.pam", MERGE_RASTER, 0},
    {"pnm/raw_colour_255.ppm", "pnm/raw_colour_255.ref", MERGE_RASTER, 0},
    {"pcx/rgb.pcx", "pcx/rgb.ref", MERGE_RASTER, 0},
    {"targa/rgb.tga", "targa/rgb.ref", MERGE_RASTER, 0},
    {"iff/planes8_compress.iff", "iff/planes8_compress.ref", MERGE_RASTER, 0},
    {"icon/multi.ico", "icon/multi_0.ref", MERGE_ICON, 0},
    {"icon/anim.ani", "icon/multi_1.ref", MERGE_ICON, 0},  // its first frame is that entry
    {"icon/im32.ico", "icon/im32_0.ref", MERGE_ON_OFF_TRANSPARENCY, 0},
    {"icon/sun_16.ico", "icon/sun_16.ref", MERGE_RASTER, 0},
};

INSTANTIATE_TEST_SUITE_P(Files, MergeLoader, ::testing::ValuesIn(SOURCES));

// Alpha of only 255, only 0, or only 0 and 255: a plain or an on/off source.
TEST(MergeLoaderAlpha, ClassifiesByEveryAlphaByte)
{
    const struct {
        BYTE first, rest;
        int kind;
    } cases[] = {{255, 255, MERGE_RASTER}, {0, 0, MERGE_RASTER}, {0, 255, MERGE_ON_OFF_TRANSPARENCY},
                 {255, 128, MERGE_PARTIAL_ALPHA}};
    const std::string path = test_out_path("merge_alpha.bmp");
    for (const auto& c : cases) {
        HGLOBAL h = make_dib(5, 3, 32);
        {
            DibBlock dib(h, false);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    dib.row(y)[4 * x + 3] = y == 2 && x == 4 ? c.rest : c.first;
        }
        ASSERT_TRUE(write_bmp_file(h, path.c_str()));
        GlobalFree(h);
        g_hMergeImage = load_image_file(path.c_str());
        ASSERT_NE(g_hMergeImage, nullptr);
        EXPECT_EQ(g_mergeKind, c.kind) << (int)c.first << " " << (int)c.rest;
        EXPECT_EQ(g_hMergeMask != NULL, c.kind != MERGE_RASTER);
        free_merge_source();
    }
    EXPECT_EQ(load_image_file(test_out_path("no_such_file.bmp").c_str()), nullptr);
    EXPECT_EQ(g_mergeKind, MERGE_NONE);
    // A source's comment never replaces the current file's.
    HGLOBAL comment = GlobalAlloc(GHND, 4);
    g_hComment = comment;
    g_hMergeImage = load_image_file(fixture_path("png/described.png").c_str());
    EXPECT_NE(g_hMergeImage, nullptr);
    EXPECT_EQ(g_hComment, comment);
    g_hComment = NULL;
    GlobalFree(comment);
    free_merge_source();
}

// A cut or overlong cursor gives no source or a whole first frame.
TEST(MergeLoaderAni, DamagedCursorsGiveNoSourceOrAWholeFrame)
{
    SeamRecorder seams;
    const std::string whole = read_file_bytes(fixture_path("icon/anim.ani"));
    ASSERT_GT(whole.size(), 100u);
    const std::string path = test_out_path("merge_cut.ani");
    for (size_t length = 0; length < whole.size(); length += 5) {
        ASSERT_TRUE(write_file_bytes(path, whole.substr(0, length)));
        g_hMergeImage = load_image_file(path.c_str());
        EXPECT_EQ(g_hMergeImage != NULL, g_mergeKind != MERGE_NONE) << length;
        if (g_hMergeImage)
            EXPECT_TRUE(g_hMergeMask != NULL) << length;
        free_merge_source();
    }
    // Steps 0xFFFFFFFF: "rate" would skip 16 GB.
    std::string huge = whole;
    const size_t anih = huge.find("anih");
    ASSERT_NE(anih, std::string::npos);
    put_le32(huge, anih + 16, 0xFFFFFFFF);
    ASSERT_TRUE(write_file_bytes(path, huge));
    EXPECT_EQ(load_image_file(path.c_str()), nullptr);
    EXPECT_EQ(g_mergeKind, MERGE_NONE);
}

// Formats told apart by their extension only go by the whole of it: a
// longer extension that begins with theirs is not theirs.
TEST(MergeLoaderExtension, TheWholeExtensionDecides)
{
    const struct {
        const char* fixture;
        const char* copy;
        bool read;
    } ROWS[] = {
        {"targa/rgb.tga", "ext_rgb.TGA", true},
        {"targa/rgb.tga", "ext_rgb.tgax", false},
        {"jbig/plane1.jbg", "ext_plane1.jbgx", false},
        {"pnm/raw_colour_255.ppm", "ext_colour.ppmx", false},
    };
    for (const auto& row : ROWS) {
        const std::string path = test_out_path(row.copy);
        ASSERT_TRUE(write_file_bytes(path, read_file_bytes(fixture_path(row.fixture)))) << row.copy;
        g_hMergeImage = load_image_file(path.c_str());
        EXPECT_EQ(g_hMergeImage != NULL, row.read) << row.copy;
        free_merge_source();
    }
}

}  // namespace
