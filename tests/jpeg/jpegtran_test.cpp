// The lossless transform driver: the cases of fixtures/jpegtran/cases.txt
// run with the switches libjpeg-turbo's jpegtran ran (check_jpegtran.sh
// compares the results with djpeg), and switch vectors and inputs that
// must end the run without touching the output.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jpeg/jpegtran.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

int run(std::vector<std::string> args)
{
    args.insert(args.begin(), {"jpegtran", "-copy", "all"});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    return jpegtran_main((int)argv.size(), argv.data());
}

TEST(Jpegtran, RunsEveryReferenceCase)
{
    std::ifstream cases(fixture_path("jpegtran/cases.txt"));
    ASSERT_TRUE(cases.good());
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
    std::string source = fixture_path("jpegtran/baseline.jpg");
    for (std::vector<std::string> args : cases) {
        args.push_back(source);
        if (args[0] != "-outf")
            args.push_back(test_out_path("jpegtran_switches.jpg"));
        EXPECT_EQ(run(args), 1) << args[0];
    }
}

// Each refused run leaves the output exactly as it was.
TEST(Jpegtran, RefusedRunsLeaveTheOutputAlone)
{
    std::string source = fixture_path("jpegtran/baseline.jpg");
    std::string not_jpeg = test_out_path("jpegtran_not_a_jpeg.jpg");
    write_file_bytes(not_jpeg, "not a JPEG file at all");
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

}  // namespace
