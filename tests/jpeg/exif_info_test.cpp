// The Exif information reader: what the real EXIF dialog gets (a hook reads
// and closes it) from exiftool's camera-like files.
#include <string>

#include <gtest/gtest.h>

#include "image/open_windows.h"
#include "image/temp_file.h"
#include "jpeg/exif_read.h"
#include "jpeg/jpeg_test_util.h"
#include "support/dib_block.h"
#include "support/seam_recorder.h"

namespace {

struct Shown {
    bool opened = false;
    std::string caption;
    std::string text;
    PnmImage thumbnail;
};

Shown s_shown;
HHOOK s_hook;

LRESULT CALLBACK after_call(int code, WPARAM wp, LPARAM lp)
{
    const CWPRETSTRUCT* m = (const CWPRETSTRUCT*)lp;
    if (code == HC_ACTION && m->message == WM_INITDIALOG && g_hExifInfo) {
        s_shown.opened = true;
        char caption[MAX_PATH] = "";
        GetWindowTextA(m->hwnd, caption, sizeof caption);
        s_shown.caption = caption;
        s_shown.text = (const char*)GlobalLock(g_hExifInfo);
        GlobalUnlock(g_hExifInfo);
        if (g_hExifThumbnail)
            s_shown.thumbnail = dib_to_pnm(g_hExifThumbnail, 3);
        PostMessageA(m->hwnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(s_hook, code, wp, lp);
}

Shown show_exif(const std::string& path, int* orientation = nullptr)
{
    s_shown = Shown();
    s_hook = SetWindowsHookExA(WH_CALLWNDPROCRET, after_call, NULL, GetCurrentThreadId());
    int result = read_exif_info(path.c_str());
    UnhookWindowsHookEx(s_hook);
    if (orientation)
        *orientation = result;
    EXPECT_EQ(g_hExifInfo, nullptr) << "freed by the dialog";
    EXPECT_EQ(g_hExifThumbnail, nullptr);
    return s_shown;
}

// Every field as make_exif.sh gave it to exiftool, texts cut to 50; thumbnails
// upright within 160 x 160 against djpeg's (exact unshrunk).
TEST(ExifInfo, TextAndUprightThumbnailOfCameraFiles)
{
    const std::string common =
        "software: Firmware 1.2\nexposure time: 1 / 250\nf number: 14 / 5\nexposure program: 2\n"
        "iso speed ratings: 200\ndate time original: 2026:12:01 10:20:30\n"
        "date time digitized: 2026:12:01 10:20:31\nshutter speed: -3 / 1\n"
        "aperture value: 25781 / 8133\nflash: 16\ncolorspace: 1\npixel x dimension: 64\n"
        "pixel y dimension: 48\n";
    struct Case {
        const char* name;
        int orientation;
        std::string text;
        int width, height;
    } cases[] = {
        {"camera", 6, "Harbour at dusk\nmake: Corvane Optics\nmodel: CV-10\norientation: 6\n" + common, 80, 160},
        {"camera_ii", 3,
         "Harbour at dusk\nmake: " + std::string(50, 'M') + "\nmodel: X1\norientation: 3\n" + common, 40, 30},
    };
    SeamRecorder recorder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int orientation = 0;
        Shown shown = show_exif(fixture_path(std::string("exif/") + c.name + ".jpg"), &orientation);
        EXPECT_EQ(orientation, c.orientation);
        EXPECT_EQ(shown.text, c.text);
        PnmImage reference = read_pnm_file(fixture_path(std::string("exif/") + c.name + "_thumb.ppm"));
        ASSERT_EQ(shown.thumbnail.width, c.width);
        ASSERT_EQ(shown.thumbnail.height, c.height);
        if (reference.width == c.width)
            EXPECT_EQ(max_difference(shown.thumbnail, reference), 0);
        else  // shrunk: the same picture at the corners and the centre
            for (int g = 0; g < 9; ++g) {
                int x = g % 3 * (c.width - 1) / 2, y = g / 3 * (c.height - 1) / 2;
                EXPECT_NEAR(shown.thumbnail.at(x, y, 1),
                            reference.at(x * (reference.width - 1) / (c.width - 1),
                                         y * (reference.height - 1) / (c.height - 1), 1), 24);
            }
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

// Inside the batch window the caption names the file asked about (the
// current file's name: e2e ExifDialog); a file without Exif, or missing,
// shows no dialog.
TEST(ExifInfo, CaptionRefusalsAndTheThumbnailAlone)
{
    SeamRecorder recorder;
    g_hwndBatch = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    EXPECT_EQ(show_exif(fixture_path("exif/camera_ii.jpg")).caption, "camera_ii.jpg");
    DestroyWindow(g_hwndBatch);
    g_hwndBatch = NULL;

    EXPECT_EQ(load_exif_thumbnail(fixture_path("exif/camera_ii.jpg").c_str()), 3);
    DibBlock thumb(g_hExifThumbnail);
    g_hExifThumbnail = NULL;
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb.bih->biWidth, 40) << "stored sideways: the caller turns it";
    int orientation = -1;
    EXPECT_FALSE(show_exif(fixture_path("exif/xmp.jpg"), &orientation).opened);
    EXPECT_EQ(orientation, 0);
    EXPECT_FALSE(show_exif(test_out_path("missing.jpg")).opened);  // no box
    EXPECT_EQ(load_exif_thumbnail(test_out_path("missing.jpg").c_str()), 0);
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].text + "|" + recorder.boxes[0].caption, "Not Exif| ");
    EXPECT_EQ(recorder.boxes[1].text + "|" + recorder.boxes[1].caption, "Cannot open EXIF-JPEG file.|Error");
}

// An uncompressed 4 x 2 RGB thumbnail is read as a TIFF page.
TEST(ExifInfo, ReadsAnUncompressedThumbnailAsATiffPage)
{
    const uint32_t ifd1 = 26, bits_at = ifd1 + 2 + 9 * 12 + 4, strip_at = bits_at + 6;
    std::string tiff = "II" + le16(42) + le32(8) + le16(1) + le16(274) + le16(3) + le32(1) + le32(1) +
                       le32(ifd1) + le16(9);
    const uint32_t entries[9][4] = {{256, 3, 1, 4}, {257, 3, 1, 2}, {258, 3, 3, bits_at}, {259, 3, 1, 1},
                                    {262, 3, 1, 2}, {273, 4, 1, strip_at}, {277, 3, 1, 3}, {278, 3, 1, 2},
                                    {279, 4, 1, 24}};
    for (const auto& e : entries)
        tiff += le16(e[0]) + le16(e[1]) + le32(e[2]) + le32(e[3]);
    std::string pixels;
    for (int i = 0; i < 24; ++i)
        pixels += (char)(i * 10);
    tiff += le32(0) + le16(8) + le16(8) + le16(8) + pixels;
    std::string path = write_out("uncompressed_thumb.jpg", with_segments_after_soi(
        read_file_bytes(fixture_path("exif/plain.jpg")), segment(0xE1, std::string("Exif\0\0", 6) + tiff)));
    EXPECT_EQ(load_exif_thumbnail(path.c_str()), 1);
    DibBlock thumb(g_hExifThumbnail);
    g_hExifThumbnail = NULL;
    PnmImage pnm = dib_to_pnm(thumb.get(), 3);
    EXPECT_EQ(std::string(pnm.data.begin(), pnm.data.end()), pixels);
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

// An uncompressed thumbnail whose samples are floats of 8 bits (no such
// float exists: tests/fixtures/make_hostile_formats.sh) gives no thumbnail
// and no box in the dialog's or the batch grid's road.
TEST(ExifInfo, ThumbnailOfUndefinedFloatsIsRefusedQuietly)
{
    SeamRecorder recorder;
    load_exif_thumbnail(fixture_path("hostile/EXIF-float-8bit-thumbnail.jpg").c_str());
    EXPECT_EQ(g_hExifThumbnail, nullptr);
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

}  // namespace
