// The lossless transform driver: the cases of fixtures/jpegtran/cases.txt
// (check_jpegtran.sh compares the results with jpegtran's), refused runs,
// and the 12-bit build on the program's own 12-bit file.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jpeg/jpeg_test_util.h"
#include "jpeg/jpeg_write.h"
#include "jpeg/jpegtran.h"
#include "support/seam_recorder.h"

namespace {

int run(std::vector<std::string> args, int (*driver)(int, char**) = jpegtran_main)
{
    args.insert(args.begin(), {"jpegtran", "-copy", "all"});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    return driver((int)argv.size(), argv.data());
}

TEST(Jpegtran, RunsEveryReferenceCase)
{
    std::ifstream cases(fixture_path("jpegtran/cases.txt"));
    std::string line;
    int count = 0;
    SeamRecorder recorder;
    while (std::getline(cases, line)) {
        std::istringstream words(line);
        std::string name, source, word;
        words >> name >> source;
        std::vector<std::string> args;
        while (words >> word)
            args.push_back(word);
        args.push_back(fixture_path("jpegtran/" + source));
        args.push_back(test_out_path("jpegtran_" + name + ".jpg"));
        EXPECT_EQ(run(args), 1) << name;
        ++count;
    }
    EXPECT_GT(count, 10);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST(Jpegtran, AbbreviatedAndUpperCaseSwitchesAreAccepted)
{
    const std::vector<std::string> cases[] = {
        {"-ro", "90"}, {"-rot", "180"}, {"-ROTATE", "270", "-TRI"},
        {"-rotate", "90", "-rotate", "90"}, {"-r", "90"}, {"-max", "4m"}, {"-restart", "2b"},
        {"-outf", test_out_path("jpegtran_outfile.jpg")},
    };
    for (std::vector<std::string> args : cases) {
        args.push_back(fixture_path("jpegtran/baseline.jpg"));
        if (args[0] != "-outf")
            args.push_back(test_out_path("jpegtran_switches.jpg"));
        EXPECT_EQ(run(args), 1) << args[0];
    }
}

// Each refused run leaves the output exactly as it was.
TEST(Jpegtran, RefusedRunsLeaveTheOutputAlone)
{
    std::string source = fixture_path("jpegtran/baseline.jpg");
    std::string not_jpeg = write_out("jpegtran_not_a_jpeg.jpg", "not a JPEG file at all");
    std::string output = test_out_path("jpegtran_refused.jpg");
    const std::vector<std::string> cases[] = {
        {"-rotate", "9", source, output},
        {"-rotate", "90", "-flip", "horizontal", source, output},
        {"-restart", "70000", source, output},
        {"-out", "x", source, output},
        {"-arithmetic", source, output},
        {"-scans", "x", source, output},
        {"-rotate"},
        {source},
        {source, output, output},
        {test_out_path("missing.jpg"), output},
        {not_jpeg, output},
    };
    SeamRecorder recorder;
    for (const std::vector<std::string>& args : cases) {
        write_file_bytes(output, "old content");
        EXPECT_EQ(run(args), 0) << args[0];
        EXPECT_EQ(read_file_bytes(output), "old content") << args[0];
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

// Four coloured quadrants over ramps, as a 12-bit file.
std::string make_source12(const std::string& name, int width, int height)
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

int run12(std::vector<std::string> args, const std::string& in, const std::string& out)
{
    args.insert(args.end(), {in, out});
    return run(args, jpegtran_main_12);
}

TEST(Jpegtran12, TurnIsTrimmedToWholeBlocksAndShowsTheTurnedPicture)
{
    SeamRecorder recorder;
    std::string source = make_source12("j12_odd.jpg", 50, 34), out = test_out_path("j12_odd_rot90.jpg");
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

}  // namespace
