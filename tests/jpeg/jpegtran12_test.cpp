// The lossless transform driver on 12-bit files, written by the program's
// own 12-bit writer (no Debian tool transforms 12-bit JPEG): a transform
// and its inverse give back the very pixels, one turn shows the turned
// picture, trimming gives the exact size, and a lossless-coded file is
// refused with the output untouched.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

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
    args.push_back(in);
    args.push_back(out);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    return jpegtran_main_12((int)argv.size(), argv.data());
}

// A 12-bit file of a picture with four coloured quadrants over a ramp.
std::string make_source(const std::string& name, int width, int height, int lossless)
{
    PnmImage pnm;
    pnm.width = width;
    pnm.height = height;
    pnm.channels = 3;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            pnm.data.push_back((uint8_t)(right ? 220 : 30 + x));
            pnm.data.push_back((uint8_t)(bottom ? 200 : 40 + y));
            pnm.data.push_back((uint8_t)(right != bottom ? 180 : 60));
        }
    HGLOBAL dib = pnm_to_dib(pnm);
    std::string path = test_out_path(name);
    EXPECT_EQ(write_jpeg12_file(path.c_str(), 90, dib, 0, lossless, 0), 1);
    GlobalFree(dib);
    return path;
}

PnmImage decode12(const std::string& path)
{
    HGLOBAL dib = read_jpeg12_file(path.c_str(), NULL);
    PnmImage pnm = dib ? dib_to_pnm(dib, 3) : PnmImage();
    if (dib)
        GlobalFree(dib);
    return pnm;
}

PnmImage turned_clockwise(const PnmImage& in)
{
    PnmImage out;
    out.width = in.height;
    out.height = in.width;
    out.channels = 3;
    out.data.resize(in.data.size());
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.data[((size_t)y * out.width + x) * 3 + c] = in.at(y, in.height - 1 - x, c);
    return out;
}

TEST(Jpegtran12, TransformAndInverseGiveBackThePixels)
{
    SeamRecorder recorder;
    std::string source = make_source("j12_source.jpg", 48, 32, 0);
    PnmImage original = decode12(source);
    ASSERT_EQ(original.width, 48);
    struct Case {
        const char* name;
        std::vector<std::string> there, back;
    } cases[] = {
        {"rot", {"-rotate", "90"}, {"-rotate", "270"}},
        {"flip", {"-flip", "vertical"}, {"-flip", "vertical", "-progressive"}},
        {"transverse", {"-transverse"}, {"-transverse", "-progressive", "-optimize"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string there = test_out_path(std::string("j12_") + c.name + "_there.jpg");
        std::string back = test_out_path(std::string("j12_") + c.name + "_back.jpg");
        ASSERT_EQ(run12(c.there, source, there), 1);
        ASSERT_EQ(run12(c.back, there, back), 1);
        EXPECT_NE(read_file_bytes(there), read_file_bytes(source));
        EXPECT_EQ(max_difference(decode12(back), original), 0);
    }
}

TEST(Jpegtran12, TurnShowsTheTurnedPictureTrimmedToWholeBlocks)
{
    SeamRecorder recorder;
    std::string source = make_source("j12_odd.jpg", 50, 34, 0);
    PnmImage original = decode12(source);
    std::string out = test_out_path("j12_odd_rot90.jpg");
    ASSERT_EQ(run12({"-trim", "-rotate", "90"}, source, out), 1);
    PnmImage turned = decode12(out);
    // The two columns that were the partial bottom block row are dropped.
    ASSERT_EQ(turned.width, 32);
    ASSERT_EQ(turned.height, 50);
    PnmImage expected = turned_clockwise(original);
    double mean = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c)
                mean += std::abs(turned.at(x, y, c) - expected.at(x + 2, y, c));
    EXPECT_LT(mean / (50 * 32 * 3), 2.0);
}

TEST(Jpegtran12, LosslessSourceIsRefusedAndTheOutputKept)
{
    SeamRecorder recorder;
    std::string source = make_source("j12_lossless.jpg", 16, 16, 1);
    std::string out = test_out_path("j12_lossless_out.jpg");
    ASSERT_TRUE(write_file_bytes(out, "keep"));
    EXPECT_EQ(run12({"-rotate", "90"}, source, out), 0);
    EXPECT_EQ(read_file_bytes(out), "keep");
    EXPECT_EQ(temp_files_in(out), 0);
}

}  // namespace
