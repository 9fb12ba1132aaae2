// One memory ceiling for every road that reads a native file: crafted files
// whose header claims more pixels than their bytes can give by their coding
// are refused with the reader's message, and the peak resident memory of the
// read stays far below the claim; files that really hold a huge picture in
// few bytes still open. The roads: the selected-file loader, the merge and
// thumbnail loader, and the animation step that reads later GIF frames.
#include <gtest/gtest.h>

#include <string>

#include "image/current_image.h"
#include "image/gif_anim.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/open_windows.h"
#include "image/pixel_ceiling.h"
#include "resources/resource.h"
#include "support/dib_block.h"
#include "support/peak_memory.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

// Reads files of a fixture folder the way a selection in the main window's
// list does.
class ListLoad {
public:
    explicit ListLoad(const std::string& folder)
    {
        GetCurrentDirectoryA(sizeof saved_dir_, saved_dir_);
        SetCurrentDirectoryA(fixture_path(folder).c_str());
        main_ = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 300, NULL, NULL, NULL, NULL);
        CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 10, 10, main_, (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
        CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 200, 200, main_, (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
        saved_main_ = g_hwndMain;
        g_hwndMain = main_;
    }
    ~ListLoad()
    {
        release_image_for_new_selection(main_);
        release_current_image();
        g_hwndMain = saved_main_;
        DestroyWindow(main_);
        SetCurrentDirectoryA(saved_dir_);
    }
    void load(const char* file)
    {
        HWND list = GetDlgItem(main_, IDC_MAIN_FILE_LIST);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)file);
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        g_imageKind = KIND_NONE;
        RECT preview = {0, 0, 200, 200};
        load_selected_file(main_, preview);
    }

private:
    HWND main_ = NULL, saved_main_ = NULL;
    char saved_dir_[MAX_PATH] = "";
};

struct HostileCase {
    const char* file;     // in the fixtures' hostile folder
    const char* message;  // the reader's box
    int kind;             // ImageKind after the selected-file loader
};

// Each claim picks a size its data cannot fill; the Targa, IFF, GIF-frame
// and GIF-screen files are those that took hundreds of megabytes.
const HostileCase HOSTILE[] = {
    {"TGA-uncompressed-claims-128-per-byte.tga", "Targa File Read Error", KIND_NONE},
    {"TGA-runs-claim-128-per-byte.tga", "Targa File Read Error", KIND_NONE},
    {"IFF-chunky-ham6-rows-of-no-bytes.iff", "File Read Error", KIND_NONE},
    {"IFF-planar-rows-past-the-body.iff", "Memory Allocation Error", KIND_NONE},
    {"GIF-frame-codes-counted-4096.gif", "File Read Error", KIND_NONE},
    // The first frame shows as a still; no canvas of the screen is made.
    {"GIF-screen-larger-than-its-frames.gif", "Memory Allocation Error", KIND_DIB},
    {"BMP-rle8-runs-claim-256-per-byte.bmp", "File Read Error", KIND_NONE},
    {"PCX-runs-claim-63-per-byte.pcx", "Memory Allocation Error", KIND_NONE},
    {"SUNICON-8-bit-items-claim-16-per-byte.ico", "File Read Error", KIND_NONE},
    // A PNG entry whose text chunk claims 512 MB, in an icon and a cursor.
    {"ICO-png-text-512mb.ico", "File Read Error", KIND_NONE},
    {"ANI-png-text-512mb.ani", "File Read Error", KIND_NONE},
};

class CeilingHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(CeilingHostile, SelectedFileIsRefusedWithinTheMargin)
{
    const HostileCase& c = GetParam();
    SeamRecorder seams(24);
    ListLoad list("hostile");
    PeakMemoryWatch watch;
    ASSERT_TRUE(watch.works());
    list.load(c.file);
    EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
    EXPECT_EQ(g_imageKind, c.kind);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, c.message);
    EXPECT_EQ(current_pixel_ceiling(), 0u) << "the read's ceiling ended with it";
}

TEST_P(CeilingHostile, MergeSourceIsRefusedWithinTheMargin)
{
    const HostileCase& c = GetParam();
    SeamRecorder seams(24);
    PeakMemoryWatch watch;
    ASSERT_TRUE(watch.works());
    DibBlock image(load_image_file(fixture_path(std::string("hostile/") + c.file).c_str()));
    free_merge_source();
    EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
    // The merge road reads no canvas: the first frame is the source.
    EXPECT_EQ((bool)image, c.kind == KIND_DIB);
    EXPECT_EQ(seams.boxes.size(), c.kind == KIND_DIB ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Files, CeilingHostile, ::testing::ValuesIn(HOSTILE),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             std::string name = info.param.file;
                             for (char& ch : name)
                                 if (!isalnum((unsigned char)ch))
                                     ch = '_';
                             return name;
                         });

// A read inside a read (an icon's PNG entry, a cursor frame) never gets
// more than the outer read has left; frames kept together spend one ceiling.
TEST(PixelCeiling, NestedReadsNeverGetMoreThanTheOuterHasLeft)
{
    PixelCeiling none = begin_pixel_ceiling(1000000, 100);  // 10^8 pixels
    PixelCeiling outer = begin_pixel_ceiling(1000000, 8256);
    EXPECT_EQ(current_pixel_ceiling(), 100000000u);
    end_pixel_ceiling(outer);
    spend_pixel_ceiling(100000000u - 5);
    outer = begin_pixel_ceiling(10, 1);
    EXPECT_EQ(current_pixel_ceiling(), 5u) << "the floor is not given again to later frames";
    end_pixel_ceiling(outer);
    spend_pixel_ceiling(100);
    EXPECT_FALSE(pixels_fit_ceiling(2)) << "spent, but still a read under way";
    end_pixel_ceiling(none);
    EXPECT_EQ(current_pixel_ceiling(), 0u);
}

// A complete stream widens its own read, but a read inside a read (an Exif
// thumbnail in its camera file) only up to what the outer read had left.
TEST(PixelCeiling, WideningNeverPassesTheOuterRead)
{
    PixelCeiling none = begin_pixel_ceiling(1000000, 100);  // 10^8 pixels
    PixelCeiling outer = begin_pixel_ceiling(1000, 1);      // the floor
    widen_pixel_ceiling(1000000, 1000);
    EXPECT_EQ(current_pixel_ceiling(), 100000000u);
    end_pixel_ceiling(outer);
    widen_pixel_ceiling(1000000, 1000);
    EXPECT_EQ(current_pixel_ceiling(), 1000000000u) << "the outermost read is lifted in full";
    end_pixel_ceiling(none);
    EXPECT_EQ(current_pixel_ceiling(), 0u);
}

// The animation step reads a later frame after the loader's read has
// ended: its claim is refused all the same.
TEST(CeilingAnimation, LaterFrameIsRefusedWithinTheMargin)
{
    SeamRecorder seams(24);
    ListLoad list("hostile");
    list.load("GIF-later-frame-larger-than-its-data.gif");
    ASSERT_EQ(g_imageKind, KIND_ANIMATED_GIF);
    PeakMemoryWatch watch;
    ASSERT_TRUE(watch.works());
    EXPECT_EQ(advance_gif_animation(g_hFile), 0);
    EXPECT_LT(watch.rise(), HOSTILE_PEAK_MARGIN);
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].text, "File Read Error");
    EXPECT_EQ(current_pixel_ceiling(), 0u);
}

// Few bytes that really hold a huge picture: the densest LZW stream and
// runs of 255 pixels.
struct HugeCase {
    const char* file;  // in the fixtures' ceiling folder
    int kind;
    int32_t width, height;  // of the image, or of the canvas of an animation
};

class CeilingHuge : public ::testing::TestWithParam<HugeCase> {};

TEST_P(CeilingHuge, PictureThatFillsItsClaimOpens)
{
    const HugeCase& c = GetParam();
    SeamRecorder seams(24);
    ListLoad list("ceiling");
    list.load(c.file);
    EXPECT_TRUE(seams.boxes.empty());
    ASSERT_EQ(g_imageKind, c.kind);
    HGLOBAL shown = c.kind == KIND_ANIMATED_GIF ? g_hAnimCanvas : g_hImage;
    ASSERT_NE(shown, nullptr);
    DibBlock image(shown, false);
    EXPECT_EQ(image.bih->biWidth, c.width);
    EXPECT_EQ(image.bih->biHeight, c.height);
}

INSTANTIATE_TEST_SUITE_P(Files, CeilingHuge, ::testing::Values(
    HugeCase{"flat-9000-screen.gif", KIND_DIB, 9000, 9000},
    HugeCase{"fills-screen-later.gif", KIND_ANIMATED_GIF, 3000, 3000},
    HugeCase{"one-colour-rle8.bmp", KIND_DIB, 8000, 2000}));

// What a read holds besides its picture, as its reader reports it for the
// harness's memory rule: every frame an animated cursor keeps, the 32-bit
// sample planes of a JPEG 2000 stream that holds every tile; nothing for a
// stream that cannot fill its claim.
TEST(CeilingHeld, ReadsReportWhatTheyHoldWithinTheirCeiling)
{
    const struct {
        const char* folder;
        const char* file;
        uint64_t bytes;
    } CASES[] = {
        {"ceiling", "six-4096-frames.ani", 6ull * 4096 * 4096 * 3},
        {"ceiling", "flat_rgb_5000.j2k", 5000ull * 5000 * 3 * 4},
        {"hostile", "J2K-tiles-missing-claims-huge.j2k", 0},
    };
    for (const auto& c : CASES) {
        SeamRecorder seams(24);
        ListLoad list(c.folder);
        take_held_credit();
        list.load(c.file);
        EXPECT_EQ(take_held_credit(), c.bytes) << c.file;
    }
}

}  // namespace
