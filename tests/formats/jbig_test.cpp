// The JBIG reader against pbmtojbg's files and their sources; the writer's
// plane choices (check_jbig.sh decodes the written files with jbgtopbm).
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "formats/jbig.h"
#include "image/current_image.h"
#include "tools/grey_tone.h"
#include "support/seam_recorder.h"

namespace {

HGLOBAL read_bytes(const std::string& bytes)
{
    std::string path = test_out_path("hostile.jbg");
    write_file_bytes(path, bytes);
    return read_jbig_file(path.c_str(), NULL);
}

}  // namespace

TEST(JbigRead, PbmtojbgFilesGiveTheirSourcePixels)
{
    SeamRecorder seams(32);
    struct Case {
        const char* name;
        const char* source;
        int bits;  // after the depth is compacted
    } cases[] = {
        {"plane1", "plane1.pbm", 1}, {"layers", "plane1.pbm", 1},   {"vlength", "plane1.pbm", 1},
        {"grey_3", "grey_3.pgm", 4}, {"grey_15", "grey_15.pgm", 4}, {"grey_255", "grey_255.pgm", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PnmImage ref = read_pnm_file(fixture_path(std::string("jbig/") + c.source));
        DibBlock dib(read_jbig_file(fixture_path(std::string("jbig/") + c.name + ".jbg").c_str(), NULL));
        ASSERT_NE(nullptr, dib.get());
        EXPECT_EQ(c.bits, dib.bih->biBitCount);
        EXPECT_LE(max_pixel_difference(dib.get(), ref, true), 0);
    }
    char info[INFO_TEXT_SIZE] = "";
    DibBlock grey(read_jbig_file(fixture_path("jbig/grey_15.jbg").c_str(), info));
    EXPECT_STREQ("image type: JBIG \nwidth: 45 \nheight: 23 \nplanes: 4 \n", info);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST(JbigRead, OversizedOrBrokenHeadersAreRefusedBeforeDecoding)
{
    SeamRecorder seams(32);
    std::string whole = read_file_bytes(fixture_path("jbig/plane1.jbg"));
    ASSERT_GT(whole.size(), 20u);
    std::string huge = whole;
    huge.replace(4, 8, std::string("\x7F\xFF\xFF\xFF\x7F\xFF\xFF\xFF", 8));
    std::string many_planes = whole;
    many_planes[2] = (char)255;
    many_planes.replace(4, 8, std::string("\0\0\x40\0\0\0\x40\0", 8));
    // 245 layers: JBIG-KIT refused it but its getters read unmade buffers
    std::string deep = whole;
    deep[1] = (char)245;
    for (const std::string& file : {huge, many_planes, deep, whole.substr(0, 19), std::string(20, '\0')}) {
        seams.boxes.clear();
        EXPECT_EQ(nullptr, read_bytes(file));
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("File Read Error", seams.boxes[0].text);
    }
}

// A bare header of 32768 x 32768 pixels: refused before JBIG-KIT makes its
// 128 MB plane; the same header with too few coded bytes behind it too.
TEST(JbigRead, HeaderTheCodedBytesCannotFillIsRefused)
{
    SeamRecorder seams(32);
    std::string header = read_file_bytes(fixture_path("hostile/JBIG-header-only.jbg"));
    ASSERT_EQ(20u, header.size());
    for (const std::string& file : {header, header + std::string(100, '\0')}) {
        seams.boxes.clear();
        PeakMemoryWatch watch;
        ASSERT_TRUE(watch.works());
        EXPECT_EQ(nullptr, read_bytes(file));
        EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("File Read Error", seams.boxes[0].text);
    }
}

TEST(JbigWrite, PlanesFollowTheTable)
{
    SeamRecorder seams(32);
    struct Case {
        const char* name;
        int bits;
        std::vector<RGBQUAD> table;
        int planes;
    } cases[] = {
        {"black_first", 1, {quad(0, 0, 0), quad(255, 255, 255)}, 1},
        {"white_first", 1, {quad(255, 255, 255), quad(0, 0, 0)}, 1},
        {"ramp16", 4, grey_ramp(16, 17), 4}, {"ramp16_in_8", 8, grey_ramp(16, 17), 4},
        {"ramp4", 4, grey_ramp(4, 85), 2},   {"grey8", 8, grey_ramp(256, 1), 8},
        {"colour24", 24, {}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibBlock image(make_pattern(23, 9, c.bits, c.table));
        std::string before((const char*)image.bih, GlobalSize(image.get()));
        std::string path = test_out_path(std::string("jbig_write_") + c.name + ".jbg");
        ASSERT_EQ(1, write_jbig_file(path.c_str(), image.get()));
        EXPECT_EQ(c.planes, (BYTE)read_file_bytes(path)[2]);
        EXPECT_EQ(before, std::string((const char*)image.bih, GlobalSize(image.get())));
        // the grey levels (the grey tool's of colour) for check_jbig.sh
        HGLOBAL grey = copy_packed_dib(image.get()), unconverted = NULL;
        if (c.bits == 24) {
            ASSERT_EQ(1, to_grayscale(&grey, &unconverted, KIND_DIB));
            GlobalFree(unconverted);
        }
        DibBlock owned_grey(grey);
        write_pnm_file(test_out_path(std::string("jbig_write_") + c.name + ".pam"), dib_to_pnm(grey, 4));
    }
    EXPECT_TRUE(seams.boxes.empty());
}
