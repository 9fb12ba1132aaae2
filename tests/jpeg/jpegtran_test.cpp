// The lossless transform driver on the cases jpegtran ran (check_jpegtran.sh
// compares), its switches, and the 12-bit build on the program's own file.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/format_test_util.h"
#include "jpeg/jpeg_test_util.h"
#include "jpeg/exif_read.h"
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
    SeamRecorder recorder;
    while (std::getline(cases, line)) {
        std::istringstream words(line);
        std::string name, source;
        words >> name >> source;
        std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        args.insert(args.end(), {fixture_path("jpegtran/" + source), test_out_path("jpegtran_" + name + ".jpg")});
        EXPECT_EQ(run(args), 1) << name;
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

// Switches abbreviated or upper case; a refused run leaves the output alone.
TEST(Jpegtran, SwitchesAreCheckedBeforeTheOutputIsTouched)
{
    std::string in = fixture_path("jpegtran/baseline.jpg"), out = test_out_path("jpegtran_switches.jpg");
    std::string not_jpeg = write_out("jpegtran_not_a_jpeg.jpg", "not a JPEG file at all");
    const struct {
        std::vector<std::string> args;
        int result;
    } cases[] = {
        {{"-ro", "90", in, out}, 1},
        {{"-ROTATE", "270", "-TRI", in, out}, 1},
        {{"-rotate", "90", "-rotate", "90", in, out}, 1},
        {{"-r", "90", "-max", "4m", "-restart", "2b", in, out}, 1},
        {{"-outf", test_out_path("jpegtran_outfile.jpg"), in}, 1},
        {{"-rotate", "9", in, out}, 0},
        {{"-rotate", "90", "-flip", "horizontal", in, out}, 0},
        {{"-restart", "70000", in, out}, 0},
        {{"-out", "x", in, out}, 0},
        {{"-arithmetic", in, out}, 0},
        {{"-scans", test_out_path("no_such_script.txt"), in, out}, 0},
        {{"-rotate"}, 0},
        {{in}, 0},
        {{in, out, out}, 0},
        {{test_out_path("missing.jpg"), out}, 0},
        {{not_jpeg, out}, 0},
    };
    for (const auto& c : cases) {
        SeamRecorder recorder;
        write_file_bytes(out, "old content");
        EXPECT_EQ(run(c.args), c.result) << c.args[0];
        if (c.result == 0)
            EXPECT_EQ(read_file_bytes(out), "old content") << c.args[0];
        // A refused run is told in one box, with the diagnostic.
        ASSERT_EQ(recorder.boxes.size(), c.result ? 0u : 1u) << c.args[0];
        if (c.result == 0) {
            EXPECT_EQ(recorder.boxes[0].caption, "Lib JPEG") << c.args[0];
            EXPECT_NE(recorder.boxes[0].text, "") << c.args[0];
        }
    }
}

// 7000 x 7000 colour pixels claimed in a few hundred bytes, and 10000 x
// 10000 in arithmetic-coded frames whose end marker is a second image's:
// the source's coefficients and the turned copy are refused before they
// are taken, as the library refuses memory it cannot have, and the output
// stays.
TEST(Jpegtran, CoefficientsTheFileCannotFillAreRefused)
{
    const char* const FILES[] = {
        "JPEG-sequential-claims-huge.jpg",
        "JPEG-arithmetic-cut-then-second-frame-claims-huge.jpg",
        "JPEG-arithmetic-cut-then-second-image-claims-huge.jpg",
        "EXIF-thumbnail-past-segment-claims-huge.jpg",
    };
    std::string out = test_out_path("jpegtran_claims_huge.jpg");
    for (const char* file : FILES) {
        SCOPED_TRACE(file);
        write_file_bytes(out, "old content");
        SeamRecorder recorder;
        PeakMemoryWatch watch;
        ASSERT_TRUE(watch.works());
        EXPECT_EQ(0, run({"-rotate", "90", fixture_path(std::string("hostile/") + file), out}));
        EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
        EXPECT_EQ("old content", read_file_bytes(out));
        ASSERT_EQ(1u, recorder.boxes.size());
        EXPECT_EQ("Lib JPEG", recorder.boxes[0].caption);
        EXPECT_EQ("Insufficient memory (case 4)", recorder.boxes[0].text);
    }
}

// A scan script (comments, commas as blanks) makes the scans it names,
// with the same coefficients; a broken script is refused with its message
// and the output left alone.
TEST(Jpegtran, ScanScriptsMakeTheirScansOrAreRefused)
{
    std::string in = fixture_path("jpegtran/baseline.jpg"), out = test_out_path("jpegtran_scans.jpg");
    std::string script = write_out("scans_good.txt",
                                   "# DC of all three, then each component's AC\n0,1,2: 0 0 0 0;\n"
                                   "0: 1 63 0 0;  1: 1 63 0 0 ;\n2:1 63 0 0\n");
    SeamRecorder recorder;
    ASSERT_EQ(run({"-scans", script, in, out}), 1);
    std::string written = read_file_bytes(out);
    EXPECT_NE(find_marker(written, 0xC2), std::string::npos) << "progressive frame";
    size_t scans = 0;
    for (size_t at = written.find("\xFF\xDA"); at != std::string::npos; at = written.find("\xFF\xDA", at + 2))
        ++scans;
    EXPECT_EQ(scans, 4u);
    EXPECT_TRUE(pixels_within(decode_jpeg(out), decode_jpeg(in), 0));
    EXPECT_TRUE(recorder.boxes.empty());

    std::string many;
    for (int i = 0; i < 101; ++i)
        many += "0;\n";
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } bad[] = {
        {"scans_many.txt", many, "Too many scans defined in file "},
        {"scans_five.txt", "0 1 2 0 1;", "Too many components in one scan in file "},
        {"scans_short.txt", "0: 1;", "Invalid scan entry format in file "},
        {"scans_extra.txt", "0: 1 63 0 0 5;", "Invalid scan entry format in file "},
        {"scans_word.txt", "0 1 2; full", "Non-numeric data in file "},
        {"", "", "Can't open scan definition file "},
    };
    for (const auto& c : bad) {
        std::string path = c.name[0] ? write_out(c.name, c.text) : test_out_path("scans_missing.txt");
        write_file_bytes(out, "old content");
        SeamRecorder boxes;
        EXPECT_EQ(run({"-scans", path, in, out}), 0) << c.message;
        EXPECT_EQ(read_file_bytes(out), "old content") << c.message;
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.message;
        EXPECT_EQ(boxes.boxes[0].text, c.message + path) << c.message;
    }
}

// The Exif thumbnail turns with the picture, and a grey picture gets a grey
// one (check_jpegtran.sh compares them with jpegtran's turn).
TEST(Jpegtran, ExifThumbnailFollowsThePicture)
{
    const struct {
        std::vector<std::string> switches;
        int width, height, bits;
        const char* source;
    } cases[] = {{{"-rotate", "90", "-trim"}, 32, 48, 24, "camera_thumb.jpg"},
                 {{"-grayscale"}, 48, 32, 8, "camera_thumb.jpg"},
                 // The encoder writes APP14 before the copied Exif segment.
                 {{"-rotate", "90", "-trim"}, 32, 48, 24, "camera_rgb.jpg"},
                 {{"-rotate", "270", "-trim"}, 32, 48, 24, "camera_cmyk.jpg"}};
    SeamRecorder recorder;
    for (const auto& c : cases) {
        std::string in = fixture_path(std::string("jpegtran/") + c.source), out = test_out_path("jpegtran_thumb_case.jpg");
        std::vector<std::string> args = c.switches;
        args.insert(args.end(), {in, out});
        ASSERT_EQ(run(args), 1);
        load_exif_thumbnail(out.c_str());
        ASSERT_NE(g_hExifThumbnail, nullptr) << c.source;
        const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(g_hExifThumbnail);
        EXPECT_EQ(bih->biWidth, c.width) << c.source << c.switches[0];
        EXPECT_EQ(bih->biHeight, c.height) << c.source << c.switches[0];
        EXPECT_EQ(bih->biBitCount, c.bits) << c.source << c.switches[0];
        GlobalUnlock(g_hExifThumbnail);
        GlobalFree(g_hExifThumbnail);
        g_hExifThumbnail = NULL;
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

PnmImage decode12(const std::string& path)
{
    HGLOBAL dib = read_jpeg12_file(path.c_str(), NULL);
    PnmImage pnm = dib ? dib_to_pnm(dib, 3) : PnmImage();
    GlobalFree(dib);
    return pnm;
}

// The 12-bit build on a varied picture from the program's own 12-bit writer.
TEST(Jpegtran12, TurnIsTrimmedToWholeBlocksAndShowsTheTurnedPicture)
{
    SeamRecorder recorder;
    std::string source = test_out_path("j12_odd.jpg"), out = test_out_path("j12_odd_rot90.jpg");
    HGLOBAL dib = make_pattern(50, 34, 24);
    ASSERT_EQ(write_jpeg12_file(source.c_str(), 90, dib, 0, 0, 0), 1);
    GlobalFree(dib);
    ASSERT_EQ(run({"-trim", "-rotate", "90", source, out}, jpegtran_main_12), 1);
    PnmImage original = decode12(source), turned = decode12(out);
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

// A thumbnail that cannot be turned (not a JPEG, or lying outside the
// segment) is unlinked rather than left sideways; the picture still turns.
TEST(Jpegtran, ThumbnailThatCannotTurnIsDropped)
{
    std::string good = read_file_bytes(fixture_path("jpegtran/camera_thumb.jpg"));
    size_t thumb = good.find("\xFF\xD8\xFF", 2);
    size_t offset_entry = good.find(std::string("\x02\x01\x00\x04\x00\x00\x00\x01", 8));
    if (offset_entry == std::string::npos)
        offset_entry = good.find(std::string("\x01\x02\x04\x00\x01\x00\x00\x00", 8));
    ASSERT_NE(thumb, std::string::npos);
    ASSERT_NE(offset_entry, std::string::npos);
    std::string not_jpeg = good, outside = good;
    not_jpeg.replace(thumb, 4, "JUNK");
    outside.replace(offset_entry + 8, 4, std::string("\x00\xFF\xFF\x00", 4));
    SeamRecorder recorder;
    for (const std::string& bytes : {not_jpeg, outside}) {
        std::string in = write_out("jpegtran_bad_thumb.jpg", bytes), out = test_out_path("jpegtran_bad_thumb_out.jpg");
        ASSERT_EQ(run({"-rotate", "90", "-trim", in, out}), 1);
        EXPECT_EQ(load_exif_thumbnail(out.c_str()), 1) << "still Exif";
        EXPECT_EQ(g_hExifThumbnail, nullptr);
        release_exif_data();
        PnmImage turned = decode_jpeg(out);
        EXPECT_EQ(turned.width, 48);
        EXPECT_EQ(turned.height, 64);
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

}  // namespace
