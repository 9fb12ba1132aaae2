// Lossless-coded JPEG files turned by re-encoding: every sample of the
// turned picture is the source sample it came from, exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/jpeg_reencode.h"
#include "image/current_image.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "support/dib_block.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "tools/edit_history.h"

namespace {

const int W = 21, H = 13;

// A picture whose every pixel differs: red from x, green from y.
HGLOBAL make_source()
{
    HGLOBAL h = make_dib(W, H, 24);
    DibBlock dib(h, false);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            BYTE* p = dib.row(H - 1 - y) + 3 * x;
            p[0] = (BYTE)(x * 7 + y);  // blue
            p[1] = (BYTE)(y * 17);
            p[2] = (BYTE)(x * 11);
        }
    return h;
}

struct Route {
    int code;
    bool swaps;  // width and height exchanged
    // Source (sx, sy) of output pixel (x, y) in an output of w x h.
    void (*source)(int x, int y, int w, int h, int* sx, int* sy);
};

const Route ROUTES[] = {
    {90, true, [](int x, int y, int w, int, int* sx, int* sy) { *sx = y, *sy = w - 1 - x; }},
    {270, true, [](int x, int y, int, int h, int* sx, int* sy) { *sx = h - 1 - y, *sy = x; }},
    {180, false, [](int x, int y, int w, int h, int* sx, int* sy) { *sx = w - 1 - x, *sy = h - 1 - y; }},
    {-1, false, [](int x, int y, int w, int, int* sx, int* sy) { *sx = w - 1 - x, *sy = y; }},
    {-2, false, [](int x, int y, int, int h, int* sx, int* sy) { *sx = x, *sy = h - 1 - y; }},
    {-3, true, [](int x, int y, int, int, int* sx, int* sy) { *sx = y, *sy = x; }},
    {-4, true, [](int x, int y, int w, int h, int* sx, int* sy) { *sx = h - 1 - y, *sy = w - 1 - x; }},
};

TEST(JpegReencode, LosslessFileTurnsToExactlyTheTurnedSamples)
{
    SeamRecorder boxes;
    DibBlock source(make_source());
    std::string path = test_out_path("reencode_source.jpg");
    ASSERT_TRUE(write_jpeg_file(path.c_str(), 85, source.get(), 0, 1, 0));
    DibBlock decoded(read_jpeg_file(path.c_str(), NULL));
    ASSERT_TRUE(decoded);
    for (const Route& route : ROUTES) {
        std::string out = test_out_path("reencode_" + std::to_string(route.code + 10) + ".jpg");
        ASSERT_EQ(reencode_jpeg_file(path.c_str(), out.c_str(), route.code), 1) << route.code;
        DibBlock turned(read_jpeg_file(out.c_str(), NULL));
        ASSERT_TRUE(turned) << route.code;
        int w = route.swaps ? H : W, h = route.swaps ? W : H;
        ASSERT_EQ(turned.bih->biWidth, w) << route.code;
        ASSERT_EQ(turned.bih->biHeight, h) << route.code;
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sx, sy;
                route.source(x, y, w, h, &sx, &sy);
                uint8_t got[4], want[4];
                turned.rgba(x, y, got);
                decoded.rgba(sx, sy, want);
                wrong += got[0] != want[0] || got[1] != want[1] || got[2] != want[2];
            }
        EXPECT_EQ(wrong, 0) << route.code;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(JpegReencode, GreyKeepsTheShapeAndLosesTheColour)
{
    DibBlock source(make_source());
    std::string path = test_out_path("reencode_grey_source.jpg");
    std::string out = test_out_path("reencode_grey.jpg");
    ASSERT_TRUE(write_jpeg_file(path.c_str(), 85, source.get(), 0, 1, 0));
    ASSERT_EQ(reencode_jpeg_file(path.c_str(), out.c_str(), 0), 1);
    DibBlock grey(read_jpeg_file(out.c_str(), NULL));
    ASSERT_TRUE(grey);
    EXPECT_NE(read_file_bytes(out).find("\xFF\xC3"), std::string::npos) << "lossless frame header";
    EXPECT_EQ(grey.bih->biWidth, W);
    EXPECT_EQ(grey.bih->biHeight, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t p[4];
            grey.rgba(x, y, p);
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
        }
}

TEST(JpegReencode, UnreadableSourceWritesNothing)
{
    SeamRecorder boxes;
    std::string out = test_out_path("reencode_none.jpg");
    DeleteFileA(out.c_str());
    EXPECT_EQ(reencode_jpeg_file(test_out_path("no_such.jpg").c_str(), out.c_str(), 90), 0);
    EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A rewrite of the shown file asks first while the picture shows changes
// the file does not hold: recorded edits, or a change kept with no edit
// left (an Undo the file no longer allowed); No writes nothing.
TEST(JpegReencode, RewritingTheShownFileOverChangesAsksFirst)
{
    const std::string path = test_out_path("reencode_shown.jpg");
    ASSERT_TRUE(write_file_bytes(path, "shown"));
    const struct {
        const char* name;
        bool edited, kept;
        bool asked;
    } rows[] = {
        {"as read", false, false, false},
        {"after an edit", true, false, true},
        {"a change kept with no edit left", false, true, true},
    };
    for (const auto& row : rows) {
        clear_edit_history();
        lstrcpynA(g_filePath, path.c_str(), sizeof g_filePath);
        if (row.edited)
            push_edit_record(EDIT_INVERT, 0);
        if (row.kept)
            note_unrecorded_change();
        SeamRecorder seams;
        seams.answers.push_back(IDNO);
        EXPECT_EQ(may_rewrite_shown_file(NULL, path.c_str()), row.asked ? 0 : 1) << row.name;
        EXPECT_EQ(seams.boxes.size(), row.asked ? 1u : 0u) << row.name;
    }
    clear_edit_history();
    g_filePath[0] = '\0';
}

}  // namespace
