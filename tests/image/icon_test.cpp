// Icons, cursors, animated cursors and Sun icons against netpbm's decoding:
// each entry drawn over the background colour where its mask is set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_util.h"
#include "image/ani.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/icon.h"
#include "image/sun_icon.h"
#include "image/temp_file.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

struct OpenFile {
    HFILE file;
    explicit OpenFile(const std::string& path) : file(_lopen(path.c_str(), OF_READ)) {}
    ~OpenFile() { if (file != HFILE_ERROR) _lclose(file); }
};

HGLOBAL read_icon_entry(const std::string& path, int index, char* info = nullptr, HGLOBAL* mask = nullptr)
{
    OpenFile f(path);
    int count = 0;
    return f.file == HFILE_ERROR ? nullptr : read_icon_file(NULL, mask, info, &f.file, &count, &index, 0, 0, KIND_DIB);
}

// The reference with transparent pixels replaced by the background colour.
PnmImage over_background(PnmImage ref, const BYTE rgb[3])
{
    for (size_t i = 0; ref.channels == 4 && i < (size_t)ref.width * ref.height; ++i) {
        uint8_t* p = &ref.data[i * 4];
        if (p[3] == 0)
            memcpy(p, rgb, 3);
        p[3] = 255;
    }
    return ref;
}

}  // namespace

class IconRead : public ::testing::Test {
protected:
    void SetUp() override { g_backgroundColorIndex = 0; }
    void TearDown() override { g_backgroundColorIndex = 0; }
};

TEST_F(IconRead, EveryDepthMatchesNetpbmOverEachBackground)
{
    SeamRecorder seams(32);
    struct Case { const char* file; int index; const char* ref; };
    const Case cases[] = {{"multi.ico", 1, "multi_0.ref"}, {"multi.ico", 2, "multi_1.ref"},
                          {"multi.ico", 3, "multi_2.ref"}, {"rgb24.ico", 1, "rgb24_0.ref"},
                          {"im32.ico", 1, "im32_0.ref"}};
    // White is in most tables (kept as an index), blue in none (drawn at 24 bits).
    for (int background : {0, 6}) {
        g_backgroundColorIndex = background;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.ref) + " on background " + std::to_string(background));
            char info[500] = "";
            DibBlock image(read_icon_entry(fixture_path(std::string("icon/") + c.file), c.index, info));
            PnmImage want = over_background(read_pnm_file(fixture_path(std::string("icon/") + c.ref)),
                                            g_backgroundColors[background]);
            expect_pixels(image.get(), want, 0, false);
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(IconRead, TextsCursorsAndMasksForMerging)
{
    // A 4-bit entry whose table holds the background keeps its depth.
    std::string file = read_file_bytes(fixture_path("icon/multi.ico"));
    size_t table = get_le32(file, 34) + 40;
    BYTE saved[3];
    memcpy(saved, g_backgroundColors[BACKGROUND_CUSTOM], 3);
    for (int c = 0; c < 3; ++c)
        g_backgroundColors[BACKGROUND_CUSTOM][c] = (BYTE)file[table + 2 - c];
    g_backgroundColorIndex = BACKGROUND_CUSTOM;
    char info[500] = "";
    DibBlock image(read_icon_entry(fixture_path("icon/multi.ico"), 2, info));
    EXPECT_STREQ("image type: ICON \n# icons in file: 3 \nwidth: 16 \nheight: 16 \nbits per pixel: 4 \n", info);
    EXPECT_EQ(4, image.bih->biBitCount);
    memcpy(g_backgroundColors[BACKGROUND_CUSTOM], saved, 3);
    g_backgroundColorIndex = 0;

    // The same entries as a cursor: masked pixels of a non-zero index invert.
    file[2] = 2;
    std::string path = test_out_path("icon_cursor.cur");
    write_file_bytes(path, file);
    info[0] = '\0';
    image.reset(read_icon_entry(path, 1, info));
    EXPECT_EQ(0, strncmp(info, "image type: Cursor \n# cursors in file: 3 \n", 42));
    EXPECT_EQ(1, g_iconIsCursor);
    HGLOBAL mask = NULL;
    DibBlock raw(read_icon_entry(path, 1, nullptr, &mask)), masked(mask);
    ASSERT_TRUE(raw && masked);
    int inverted = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t p[4];
            image.rgba(x, y, p);
            if (dib_row_index(masked.row(15 - y), 1, x) && dib_row_index(raw.row(15 - y), 1, x)) {
                EXPECT_EQ(0, p[0] | p[1] | p[2]);  // white inverted
                ++inverted;
            }
        }
    EXPECT_GT(inverted, 0);
}

// Rows cut short; other damage is the mutation harness's.
TEST_F(IconRead, RefusesDamagedFileWithItsMessage)
{
    SeamRecorder seams(32);
    std::string path = test_out_path("icon_bad.ico");
    write_file_bytes(path, read_file_bytes(fixture_path("icon/multi.ico")).substr(0, 100));
    EXPECT_EQ(nullptr, read_icon_entry(path, 1));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Error Reading Icon File", seams.boxes[0].text);
}

TEST_F(IconRead, PngEntryComesThroughThePngReader)
{
    SeamRecorder seams(32);
    std::string good = read_file_bytes(fixture_path("icon/png256.ico"));
    // The entry moved behind 100 bytes of padding: it is found by its offset
    // and size, not at the start of the file or through its name.
    std::string moved = good.substr(0, 22) + std::string(100, '\x5a') + good.substr(22);
    moved[18] = (char)(22 + 100);
    std::string damaged = moved;
    damaged[22 + 100 + 20] ^= 1;  // the header chunk's check fails
    struct Case { const std::string* bytes; bool read; };
    const Case cases[] = {{&moved, true}, {&damaged, false}};
    PnmImage want = over_background(read_pnm_file(fixture_path("icon/png256_0.ref")), g_backgroundColors[0]);
    int temp_names = temp_file_names_in_use();
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        seams.boxes.clear();
        std::string path = test_out_path("icon_png.ico");
        write_file_bytes(path, *c.bytes);
        HFILE file = _lopen(path.c_str(), OF_READ), opened = file;
        int count = 0, index = 1;
        char info[500] = "";
        DibBlock image(read_icon_file(NULL, NULL, info, &file, &count, &index, 0, 0, KIND_DIB));
        // The caller's handle stays open for the next entry.
        EXPECT_EQ(opened, file);
        EXPECT_EQ((LONG)c.bytes->size(), _llseek(file, 0, FILE_END));
        _lclose(file);
        EXPECT_EQ(temp_names, temp_file_names_in_use());
        if (!c.read) {
            EXPECT_EQ(nullptr, image.get());
            ASSERT_EQ(1u, seams.boxes.size());
            EXPECT_EQ("File Read Error", seams.boxes[0].text);
            continue;
        }
        // Alpha flattened onto white; the PNG reader's gamma moves values by 1.
        expect_pixels(image.get(), want, 1, false);
        EXPECT_EQ(0u, std::string(info).find("VISTA ICON \n# icons in file: 1 \nimage type: PNG \nwidth: 256 \n"));
        EXPECT_TRUE(seams.boxes.empty());
    }
}

// The PNG reader would allocate 8000 x 8000 pixels for about a hundred bytes.
TEST_F(IconRead, PngEntryLargerThanItsBytesIsRefusedBeforeReading)
{
    SeamRecorder seams(32);
    EXPECT_EQ(nullptr, read_icon_entry(fixture_path("hostile/ICO-png-entry-larger-than-its-bytes.ico"), 1));
    ASSERT_EQ(1u, seams.boxes.size());
    EXPECT_EQ("Memory Allocation Error", seams.boxes[0].text);
}

// A name chunk without its pad byte, and a size that passes the end of the
// file, are read past as the byte-wise search does; frames whose entries
// share one bitmap may use the file's bytes once, not once per frame.
TEST(AniRead, MissingPadByteAndFramesSharingTheirBytes)
{
    SeamRecorder seams(32);
    struct Case { const char* file; bool second_frame; const char* box; };
    const Case cases[] = {{"hostile/ANI-odd-chunk-without-pad.ani", true, nullptr},
                          {"hostile/ANI-rate-size-past-the-end.ani", true, nullptr},
                          {"hostile/ANI-frames-share-one-bitmap.ani", false, "Memory Allocation Error"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        seams.boxes.clear();
        HFILE file = _lopen(fixture_path(c.file).c_str(), OF_READ);
        ASSERT_EQ(1, read_ani_file(NULL, &file, &g_subImageCount, &g_animStepCount, &g_hFrameRates, &g_hSubImages,
                                   NULL));
        HGLOBAL* frames = (HGLOBAL*)GlobalLock(g_hSubImages);
        EXPECT_NE(nullptr, frames[0]);
        EXPECT_EQ(c.second_frame, frames[1] != nullptr);
        GlobalUnlock(g_hSubImages);
        free_ani_frames();
        ASSERT_EQ(c.box ? 1u : 0u, seams.boxes.size());
        if (c.box) {
            EXPECT_EQ(c.box, seams.boxes[0].text);
        }
    }
}

TEST(AniRead, StepsPlayFramesInSequenceAtTheirRates)
{
    struct Case { const char* file; std::vector<uint32_t> want_frames, want_delays; };
    const Case cases[] = {
        {"icon/anim.ani", {1, 0, 1, 1}, {10, 50, 20, 10}},
        {"icon/anim_plain.ani", {0, 1, 0}, {17, 17, 17}},  // no rate or sequence: frame i, rate 10
    };
    for (const Case& c : cases) {
        HFILE file = _lopen(fixture_path(c.file).c_str(), OF_READ);
        char info[500] = "";
        ASSERT_EQ(1, read_ani_file(NULL, &file, &g_subImageCount, &g_animStepCount, &g_hFrameRates, &g_hSubImages,
                                   info));
        EXPECT_EQ(HFILE_ERROR, file);
        EXPECT_NE(nullptr, strstr(info, "number of icons: 2 \nnumber of frames: "));
        HGLOBAL* frames = (HGLOBAL*)GlobalLock(g_hSubImages);
        HGLOBAL frame_handles[2] = {frames[0], frames[1]};
        GlobalUnlock(g_hSubImages);
        ASSERT_NE(nullptr, frame_handles[0]);
        ASSERT_NE(nullptr, frame_handles[1]);
        g_animStep = 0;
        for (size_t i = 0; i < c.want_frames.size(); ++i) {
            UINT delay = 0;
            EXPECT_EQ(frame_handles[c.want_frames[i]], next_ani_frame(&delay)) << "step " << i;
            EXPECT_EQ(c.want_delays[i], delay) << "step " << i;
        }
        free_ani_frames();
    }
}

TEST(SunIconRead, MatchesNetpbmAndRefusesOtherDepths)
{
    SeamRecorder seams(32);
    for (const char* name : {"sun_16", "sun_21"}) {
        SCOPED_TRACE(name);
        char info[500] = "";
        HGLOBAL image = read_sun_icon_file(NULL, fixture_path(std::string("icon/") + name + ".ico").c_str(), info);
        expect_pixels(image, read_pnm_file(fixture_path(std::string("icon/") + name + ".ref")), 0, false);
        EXPECT_EQ(0, strncmp(info, "image type: SunIcon \n\nheader string: /* format_version=1, width=", 64));
        GlobalFree(image);
    }
    EXPECT_TRUE(seams.boxes.empty());

    const struct { const char* text; const char* message; } refused[] = {
        {"/* Depth=4, Valid_bits_per_item=16                                          */ 0x0", "Unsupported SunIcon Depth"},
        {"/* Depth=1, Valid_bits_per_item=32                                          */ 0x0",
         "Unsupported SunIcon Valid Bits per Item"},
    };
    std::string path = test_out_path("sun_case.ico");
    for (const auto& c : refused) {
        seams.boxes.clear();
        write_file_bytes(path, c.text);
        EXPECT_EQ(nullptr, read_sun_icon_file(NULL, path.c_str(), nullptr));
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ(c.message, seams.boxes[0].text);
    }
    // No width: 64 pixels; 8 bits, two pixels per item; entry 2 is navy.
    write_file_bytes(path, "/* Height=1, Depth=8, Valid_bits_per_item=16                                */ 0x0102,0x0304");
    DibBlock dib(read_sun_icon_file(NULL, path.c_str(), nullptr));
    ASSERT_TRUE(dib);
    EXPECT_EQ(64, dib.bih->biWidth);
    EXPECT_EQ(0x04030201u, *(const uint32_t*)dib.row(0));
    EXPECT_EQ(0, dib.table()[2].rgbRed);
    EXPECT_EQ(128, dib.table()[2].rgbBlue);
}
