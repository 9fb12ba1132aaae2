// The Exif information reader on exiftool's camera-like files: the text the
// EXIF dialog shows, the thumbnail turned upright against djpeg's decoding
// of exiftool's extraction, an uncompressed thumbnail, and hostile segments.
// The dialog is real (the test module carries the resources); a hook reads
// what it was given when it opens and closes it. check_exif_info.sh compares
// the texts written here with exiftool's values.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "image/current_image.h"
#include "image/temp_file.h"
#include "jpeg/exif_read.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

// What the dialog had when it opened.
struct Shown {
    bool opened = false;
    std::string caption;
    std::string text;
    PnmImage thumbnail;
    bool more_info_visible = false;
};

Shown s_shown;
HHOOK s_hook;

LRESULT CALLBACK after_call(int code, WPARAM wp, LPARAM lp)
{
    const CWPRETSTRUCT* m = (const CWPRETSTRUCT*)lp;
    if (code == HC_ACTION && m->message == WM_INITDIALOG && g_hExifInfo) {
        s_shown.opened = true;
        char caption[300] = "";
        GetWindowTextA(m->hwnd, caption, sizeof caption);
        s_shown.caption = caption;
        s_shown.text = (const char*)GlobalLock(g_hExifInfo);
        GlobalUnlock(g_hExifInfo);
        if (g_hExifThumbnail)
            s_shown.thumbnail = dib_to_pnm(g_hExifThumbnail, 3);
        s_shown.more_info_visible = IsWindowVisible(GetDlgItem(m->hwnd, 1032)) != 0;
        PostMessageA(m->hwnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(s_hook, code, wp, lp);
}

// Runs read_exif_info on path; its result in *orientation.
Shown show_exif(const std::string& path, int* orientation = nullptr)
{
    s_shown = Shown();
    s_hook = SetWindowsHookExA(WH_CALLWNDPROCRET, after_call, NULL, GetCurrentThreadId());
    int result = read_exif_info(path.c_str());
    UnhookWindowsHookEx(s_hook);
    if (orientation)
        *orientation = result;
    // The dialog freed what it showed.
    EXPECT_EQ(g_hExifInfo, nullptr);
    EXPECT_EQ(g_hExifThumbnail, nullptr);
    return s_shown;
}

std::string place(const std::string& name, const std::string& bytes)
{
    std::string path = test_out_path(name);
    EXPECT_TRUE(write_file_bytes(path, bytes));
    return path;
}

TEST(ExifInfo, ShowsTheCameraFieldsInFileOrder)
{
    SeamRecorder recorder;
    lstrcpyA(g_fileName, "camera.jpg");
    int orientation = 0;
    Shown shown = show_exif(fixture_path("exif/camera.jpg"), &orientation);
    ASSERT_TRUE(shown.opened);
    EXPECT_EQ(orientation, 6);
    EXPECT_EQ(shown.caption, "camera.jpg");
    EXPECT_EQ(shown.text,
              "Harbour at dusk\nmake: Corvane Optics\nmodel: CV-10\norientation: 6\n"
              "software: Firmware 1.2\nexposure time: 1 / 250\nf number: 14 / 5\n"
              "exposure program: 2\niso speed ratings: 200\n"
              "date time original: 2026:12:01 10:20:30\ndate time digitized: 2026:12:01 10:20:31\n"
              "shutter speed: -3 / 1\naperture value: 25781 / 8133\nflash: 16\ncolorspace: 1\n"
              "pixel x dimension: 64\npixel y dimension: 48\n");
    EXPECT_FALSE(shown.more_info_visible);  // no APP12 text
    EXPECT_TRUE(recorder.boxes.empty());
    write_file_bytes(test_out_path("info_camera.txt"), shown.text);
    g_fileName[0] = 0;
}

// The thumbnail is shrunk to 160 x 160 and turned upright for the
// orientation: against djpeg's decoding of exiftool's extraction, turned by
// pnmflip (exact when no shrinking was needed).
TEST(ExifInfo, ThumbnailIsShrunkAndUpright)
{
    struct Case {
        const char* file;
        const char* reference;
        int width, height;
        int max_difference;  // 0: identical pixels
    } cases[] = {
        {"camera_ii.jpg", "camera_ii_thumb.ppm", 40, 30, 0},
        {"camera.jpg", "camera_thumb.ppm", 80, 160, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Shown shown = show_exif(fixture_path(std::string("exif/") + c.file));
        ASSERT_EQ(shown.thumbnail.width, c.width);
        ASSERT_EQ(shown.thumbnail.height, c.height);
        PnmImage reference = read_pnm_file(fixture_path(std::string("exif/") + c.reference));
        if (c.max_difference == 0) {
            EXPECT_EQ(max_difference(shown.thumbnail, reference), 0);
        } else {
            // Every second pixel of the 100 x 200 reference stands for one
            // shrunk pixel: the same picture, smoothed.
            PnmImage half = shown.thumbnail;
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    for (int k = 0; k < 3; ++k)
                        half.data[((size_t)y * c.width + x) * 3 + k] = reference.at(
                            x * reference.width / c.width, y * reference.height / c.height, k);
            EXPECT_GT(psnr(shown.thumbnail, half), 25.0);
        }
    }
}

TEST(ExifInfo, LongTextsAreCutAndShortOnesStandInTheEntry)
{
    Shown shown = show_exif(fixture_path("exif/camera_ii.jpg"));
    EXPECT_NE(shown.text.find("make: " + std::string(50, 'M') + "\nmodel: X1\norientation: 3\n"),
              std::string::npos)
        << shown.text;
    write_file_bytes(test_out_path("info_camera_ii.txt"), shown.text);
}

TEST(ExifInfo, LoadThumbnailReadsOnlyTheThumbnailAndOrientation)
{
    SeamRecorder recorder;
    EXPECT_EQ(load_exif_thumbnail(fixture_path("exif/camera_ii.jpg").c_str()), 3);
    DibBlock thumb(g_hExifThumbnail);
    g_hExifThumbnail = NULL;
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb.bih->biWidth, 40);  // stored sideways: the caller turns it
    // No orientation entry: 0, and no thumbnail.
    EXPECT_EQ(load_exif_thumbnail(fixture_path("exif/xmp.jpg").c_str()), 0);
    EXPECT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(load_exif_thumbnail(test_out_path("missing.jpg").c_str()), 0);
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[1].text, "Cannot open EXIF-JPEG file.");
    EXPECT_EQ(recorder.boxes[1].caption, "Error");
    EXPECT_EQ(g_hExifThumbnail, nullptr);
}

TEST(ExifInfo, NotExifAndMissingFiles)
{
    SeamRecorder recorder;
    int orientation = -1;
    Shown shown = show_exif(fixture_path("exif/xmp.jpg"), &orientation);
    EXPECT_FALSE(shown.opened);
    EXPECT_EQ(orientation, 0);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "Not Exif");
    EXPECT_EQ(recorder.boxes[0].caption, " ");
    shown = show_exif(test_out_path("missing.jpg"), &orientation);
    EXPECT_FALSE(shown.opened);
    EXPECT_EQ(orientation, 0);
    EXPECT_EQ(recorder.boxes.size(), 1u);  // no box for a file that cannot be opened
}

// An Exif APP1 ("II") with an uncompressed 4 x 2 RGB thumbnail, before the
// rest of a plain JPEG.
std::string with_uncompressed_thumbnail()
{
    std::string tiff = "II" + le16(42) + le32(8);
    tiff += le16(1) + le16(274) + le16(3) + le32(1) + le32(1) + le32(26);  // IFD0 at 8
    struct Entry {
        int tag, type, count;
        uint32_t value;
    } entries[] = {
        {256, 3, 1, 4}, {257, 3, 1, 2}, {258, 3, 3, 0}, {259, 3, 1, 1}, {262, 3, 1, 2},
        {273, 4, 1, 0}, {277, 3, 1, 3}, {278, 3, 1, 2}, {279, 4, 1, 24},
    };
    const uint32_t ifd1 = 26, bits_at = ifd1 + 2 + 9 * 12 + 4, strip_at = bits_at + 6;
    tiff += le16(9);
    for (const Entry& e : entries) {
        uint32_t value = e.tag == 258 ? bits_at : e.tag == 273 ? strip_at : e.value;
        tiff += le16(e.tag) + le16(e.type) + le32(e.count) + le32(value);
    }
    tiff += le32(0) + le16(8) + le16(8) + le16(8);
    for (int i = 0; i < 24; ++i)
        tiff += (char)(i * 10);
    std::string jpeg = read_file_bytes(fixture_path("exif/plain.jpg"));
    std::string app1 = "\xFF\xE1" + std::string(2, '\0') + std::string("Exif\0\0", 6) + tiff;
    app1[2] = (char)((app1.size() - 2) >> 8);
    app1[3] = (char)(app1.size() - 2);
    return "\xFF\xD8" + app1 + jpeg.substr(2);
}

TEST(ExifInfo, ReadsAnUncompressedThumbnailAsATiffPage)
{
    std::string path = place("uncompressed_thumb.jpg", with_uncompressed_thumbnail());
    EXPECT_EQ(load_exif_thumbnail(path.c_str()), 1);
    PnmImage thumb = g_hExifThumbnail ? dib_to_pnm(g_hExifThumbnail, 3) : PnmImage();
    GlobalFree(g_hExifThumbnail);
    g_hExifThumbnail = NULL;
    ASSERT_EQ(thumb.width, 4);
    ASSERT_EQ(thumb.height, 2);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(thumb.data[i], i * 10) << i;
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

// Hostile segments: every offset and count from the file points outside the
// segment, at a loop, or is cut short. Nothing is read outside, the text
// stays terminated, and everything is freed.
TEST(ExifInfo, HostileSegmentsStayInside)
{
    const std::string good = read_file_bytes(fixture_path("exif/camera_ii.jpg"));
    ASSERT_EQ(good.substr(6, 6), std::string("Exif\0\0", 6));  // APP1 first, origin 12
    const size_t origin = 12, ifd0 = origin + get_le32(good, origin + 4);
    const size_t segment_end = 4 + ((uint8_t)good[4] << 8 | (uint8_t)good[5]);
    std::vector<std::string> cases;
    auto patched = [&](size_t at, uint32_t value, int bytes) {
        std::string s = good;
        for (int i = 0; i < bytes; ++i)
            s[at + i] = (char)(value >> (8 * i));
        cases.push_back(s);
    };
    patched(origin + 4, 0xFFFFFFF0u, 4);  // first directory past the end
    patched(origin + 4, 4, 4);            // first directory inside the header
    patched(ifd0, 0xFFFF, 2);             // entry count past the segment
    const uint32_t entries = get_le16(good, ifd0);
    const size_t next_at = ifd0 + 2 + entries * 12;
    patched(next_at, (uint32_t)(ifd0 - origin), 4);  // thumbnail directory loops to the first
    patched(next_at, 0x7FFFFFFF, 4);                 // thumbnail directory past the end
    for (uint32_t i = 0; i < entries; ++i) {
        size_t e = ifd0 + 2 + i * 12;
        uint32_t tag = get_le16(good, e);
        if (tag == 271)
            patched(e + 8, 0xFFFFFFF8u, 4);  // make text past the end
        if (tag == 34665) {
            patched(e + 8, (uint32_t)(ifd0 - origin), 4);  // Exif directory loops to the first
            patched(e + 8, (uint32_t)(segment_end - origin - 3), 4);  // cut by the segment's end
        }
    }
    // Cut at many points through the segment and after it.
    for (size_t cut = 6; cut < segment_end + 40; cut += 13)
        cases.push_back(good.substr(0, cut));
    std::string length_too_long = good;
    length_too_long[4] = (char)0xFF;
    cases.push_back(length_too_long);

    SeamRecorder recorder;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        std::string path = place("hostile_exif.jpg", cases[i]);
        Shown shown = show_exif(path);
        if (shown.opened) {
            EXPECT_LT(shown.text.size(), 2000u);
        }
        load_exif_thumbnail(path.c_str());
        if (g_hExifThumbnail) {
            DibBlock thumb(g_hExifThumbnail);
            EXPECT_LE(thumb.bih->biWidth, 160);
            EXPECT_LE(thumb.bih->biHeight, 160);
        }
        g_hExifThumbnail = NULL;
    }
    EXPECT_EQ(temp_file_names_in_use(), 0);
}

}  // namespace
