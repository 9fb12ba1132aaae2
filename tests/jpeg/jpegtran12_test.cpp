// The lossless transform driver on 12-bit files from the program's own
// 12-bit writer (no Debian tool transforms 12-bit JPEG): a turn shows the
// turned picture trimmed to whole blocks, and a transform and its inverse
// give back the very pixels. (Failed runs share the 8-bit driver's body.)
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "jpeg/jpegtran.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

int run12(std::vector<std::string> args, const std::string& in, const std::string& out)
{
    args.insert(args.begin(), {"jpegtran", "-copy", "all"});
    args.insert(args.end(), {in, out});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    return jpegtran_main_12((int)argv.size(), argv.data());
}

// Four coloured quadrants over ramps, as a 12-bit file.
std::string make_source(const std::string& name, int width, int height)
{
    PnmImage pnm;
    pnm.width = width, pnm.height = height, pnm.channels = 3;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            pnm.data.insert(pnm.data.end(), {(uint8_t)(right ? 220 : 30 + x), (uint8_t)(bottom ? 200 : 40 + y),
                                             (uint8_t)(right != bottom ? 180 : 60)});
        }
    HGLOBAL dib = pnm_to_dib(pnm);
    std::string path = test_out_path(name);
    EXPECT_EQ(write_jpeg12_file(path.c_str(), 90, dib, 0, 0, 0), 1);
    GlobalFree(dib);
    return path;
}

PnmImage decode12(const std::string& path)
{
    HGLOBAL dib = read_jpeg12_file(path.c_str(), NULL);
    PnmImage pnm = dib ? dib_to_pnm(dib, 3) : PnmImage();
    GlobalFree(dib);
    return pnm;
}

TEST(Jpegtran12, TurnIsTrimmedToWholeBlocksAndShowsTheTurnedPicture)
{
    SeamRecorder recorder;
    std::string source = make_source("j12_odd.jpg", 50, 34), out = test_out_path("j12_odd_rot90.jpg");
    PnmImage original = decode12(source);
    ASSERT_EQ(run12({"-trim", "-rotate", "90"}, source, out), 1);
    PnmImage turned = decode12(out);
    // The partial block row at the bottom (source rows 32, 33) is dropped.
    ASSERT_EQ(turned.width, 32);
    ASSERT_EQ(turned.height, 50);
    double difference = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c)
                difference += std::abs(turned.at(x, y, c) - original.at(y, 31 - x, c));
    EXPECT_LT(difference / (50 * 32 * 3), 2.0);
}

TEST(Jpegtran12, TransformAndInverseGiveBackThePixels)
{
    SeamRecorder recorder;
    std::string source = make_source("j12_source.jpg", 48, 32);
    const std::vector<std::string> cases[][2] = {
        {{"-rotate", "90"}, {"-rotate", "270"}},
        {{"-flip", "vertical"}, {"-flip", "vertical", "-progressive"}},
        {{"-transverse"}, {"-transverse", "-optimize"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0][0]);
        std::string there = test_out_path("j12_there.jpg"), back = test_out_path("j12_back.jpg");
        ASSERT_EQ(run12(c[0], source, there), 1);
        ASSERT_EQ(run12(c[1], there, back), 1);
        EXPECT_EQ(max_difference(decode12(back), decode12(source)), 0);
    }
}

}  // namespace
