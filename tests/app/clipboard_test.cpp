// Clipboard DIBs come from any program: hostile headers are refused before
// the current image is touched; good ones are pasted as they are. A
// clipboard metafile is pasted, or taken by Merge, as the enhanced metafile
// it was placed as, or converted from the Windows metafile it was placed as
// by the renderer; a conversion the renderer cuts is said each time and not
// made again for the same clipboard contents.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "app/clipboard.h"
#include "app/convert_save.h"
#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_compare.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "viewer/merge_window.h"
#include "viewer/window_classes.h"
#include "support/seam_recorder.h"
#include "support/dib_block.h"
#include "support/large_metafile.h"
#include "support/peak_memory.h"
#include "support/test_support.h"
#include "support/unhurried_renderer.h"

namespace {

const DWORD RGB555[3] = {0x7C00, 0x03E0, 0x001F}, RGB565[3] = {0xF800, 0x07E0, 0x001F};
const DWORD RGB888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

// A clipboard-style block: a header changed from 4 x 4 at 24 bits, then
// extra_bytes holding the masks, if any, first.
struct BlockCase {
    const char* name;
    std::function<void(BITMAPINFOHEADER&)> change;
    size_t extra_bytes;
    const DWORD* masks;
    bool accepted;
};

class ClipboardDib : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ClipboardDib, IsTakenOnlyWhenSound)
{
    const BlockCase& c = GetParam();
    BITMAPINFOHEADER h = {40, 4, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    c.change(h);
    HGLOBAL block = GlobalAlloc(GHND, sizeof h + c.extra_bytes);
    BYTE* p = (BYTE*)GlobalLock(block);
    std::memcpy(p, &h, sizeof h);
    if (c.masks)
        std::memcpy(p + sizeof h, c.masks, 12);
    GlobalUnlock(block);
    EXPECT_EQ(is_acceptable_clipboard_dib(block) != 0, c.accepted) << c.name;
    HGLOBAL copy = copy_clipboard_dib(block);
    EXPECT_EQ(copy != nullptr, c.accepted) << c.name;
    if (copy)
        GlobalFree(copy);
    GlobalFree(block);
}

void bit_fields(BITMAPINFOHEADER& h, int bits)
{
    h.biWidth = h.biHeight = 2;
    h.biBitCount = (WORD)bits;
    h.biCompression = BI_BITFIELDS;
}

// A 4 x 4, 24-bit image needs 48 bytes of rows.
INSTANTIATE_TEST_SUITE_P(Headers, ClipboardDib, ::testing::Values(
    BlockCase{"core header", [](BITMAPINFOHEADER& h) { h.biSize = 12; }, 48, nullptr, false},
    BlockCase{"huge header size", [](BITMAPINFOHEADER& h) { h.biSize = 0xFFFFFFF0u; }, 48, nullptr, false},
    BlockCase{"bit count 3", [](BITMAPINFOHEADER& h) { h.biBitCount = 3; }, 48, nullptr, false},
    BlockCase{"JPEG", [](BITMAPINFOHEADER& h) { h.biCompression = BI_JPEG; }, 48, nullptr, false},
    BlockCase{"bit fields on 24 bits", [](BITMAPINFOHEADER& h) { h.biCompression = BI_BITFIELDS; }, 60, RGB888,
              false},
    BlockCase{"table of 1000", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; h.biClrUsed = 1000; }, 5000, nullptr,
              false},
    BlockCase{"zero width", [](BITMAPINFOHEADER& h) { h.biWidth = 0; }, 48, nullptr, false},
    BlockCase{"top-down rows", [](BITMAPINFOHEADER& h) { h.biHeight = -4; }, 48, nullptr, false},
    BlockCase{"width past the limit", [](BITMAPINFOHEADER& h) { h.biWidth = 0x7FFFFFFF; }, 48, nullptr, false},
    BlockCase{"size overflowing 32 bits", [](BITMAPINFOHEADER& h) { h.biWidth = h.biHeight = 0x40000; }, 48,
              nullptr, false},
    BlockCase{"rows one byte short", [](BITMAPINFOHEADER&) {}, 47, nullptr, false},
    BlockCase{"table past the block", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; h.biClrUsed = 256; }, 100,
              nullptr, false},
    // Bit fields only with the standard masks, and only when they are there.
    BlockCase{"5-5-5", [](BITMAPINFOHEADER& h) { bit_fields(h, 16); }, 12 + 16, RGB555, true},
    BlockCase{"5-6-5", [](BITMAPINFOHEADER& h) { bit_fields(h, 16); }, 12 + 16, RGB565, false},
    BlockCase{"8-8-8", [](BITMAPINFOHEADER& h) { bit_fields(h, 32); }, 12 + 16, RGB888, true},
    BlockCase{"8-8-8 on 16 bits", [](BITMAPINFOHEADER& h) { bit_fields(h, 16); }, 12 + 16, RGB888, false},
    BlockCase{"masks cut off", [](BITMAPINFOHEADER& h) { bit_fields(h, 32); h.biWidth = h.biHeight = 1; }, 8,
              nullptr, false}));

bool put_on_clipboard(HWND hwnd, HANDLE data, UINT format = CF_DIB)
{
    if (!OpenClipboard(hwnd))
        return false;
    EmptyClipboard();
    bool ok = SetClipboardData(format, data) != NULL;
    CloseClipboard();
    return ok;
}

// A metafile picture an inch square, as programs place one.
HGLOBAL metafile_picture(HMETAFILE mf)
{
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    METAFILEPICT* picture = (METAFILEPICT*)GlobalLock(data);
    *picture = {MM_ANISOTROPIC, 2540, 2540, mf};
    GlobalUnlock(data);
    return data;
}

// Metafile bits as the clipboard takes them: an enhanced metafile, or a
// Windows one in a metafile picture.
HANDLE clipboard_metafile(UINT format, const std::string& bits)
{
    if (format == CF_ENHMETAFILE)
        return SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
    HMETAFILE mf = SetMetaFileBitsEx((UINT)bits.size(), (const BYTE*)bits.data());
    return mf ? metafile_picture(mf) : NULL;
}

// The window classes and the main window the merge tool takes for its own.
struct MergeWindowSetUp {
    HWND saved_main = g_hwndMain;
    MergeWindowSetUp()
    {
        InitCommonControls();
        register_window_classes(GetModuleHandleA(NULL));
        g_hwndMain = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    }
    ~MergeWindowSetUp()
    {
        DestroyWindow(g_hwndMain);
        g_hwndMain = saved_main;
    }
};

// What the paste and merge tests stand on: the boxes recorded, the merge
// tool's windows, and a window that opens the clipboard.
class ClipboardPaste : public ::testing::Test {
protected:
    SeamRecorder seams{32};
    MergeWindowSetUp merge_window;
    HWND hwnd = CreateWindowExA(0, "STATIC", "clipboard test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    ~ClipboardPaste() override { DestroyWindow(hwnd); }
};

// Through the real clipboard: a refused DIB leaves the current image, a
// good one replaces it with a copy of its table and pixels.
TEST_F(ClipboardPaste, RefusedDibKeepsTheCurrentImageAndAGoodOneIsCopied)
{
    HGLOBAL rle = make_dib(4, 4, 8, {}, 256);
    DibBlock(rle, false).bih->biCompression = BI_RLE8;
    ASSERT_TRUE(put_on_clipboard(hwnd, rle));
    reset_current_image();
    HGLOBAL mine = make_dib(2, 2, 24);
    g_hImage = mine;
    g_imageKind = KIND_DIB;
    g_fileFormat = FMT_BMP;
    std::strcpy(g_fileName, "kept.bmp");

    paste_image_from_clipboard(hwnd);
    EXPECT_EQ(g_hImage, mine);
    EXPECT_EQ(g_fileFormat, FMT_BMP);
    EXPECT_STREQ(g_fileName, "kept.bmp");
    EXPECT_TRUE(seams.boxes.empty());

    HGLOBAL good = make_dib(3, 5, 4, {quad(255, 0, 0), quad(0, 0, 255)}, 2);
    set_index(DibBlock(good, false).row(1), 4, 2, 1);
    ASSERT_TRUE(put_on_clipboard(hwnd, good));
    paste_image_from_clipboard(hwnd);
    ASSERT_NE(g_hImage, nullptr);
    EXPECT_NE(g_hImage, good) << "the clipboard's block is the clipboard's";
    EXPECT_EQ(g_imageKind, KIND_DIB);
    EXPECT_EQ(g_fileFormat, FMT_CLIPBOARD);
    EXPECT_STREQ(g_fileName, PASTED_IMAGE_NAME);
    {
        DibBlock pasted(g_hImage, false);
        EXPECT_EQ(pasted.bih->biWidth * 100 + pasted.bih->biHeight * 10 + pasted.bih->biBitCount, 354);
        EXPECT_EQ(pasted.raw(2, 1) * 10 + pasted.raw(1, 1), 10u);
        EXPECT_EQ(pasted.table()[1].rgbBlue, 255);
    }
    reset_current_image();
    g_fileName[0] = '\0';
}

// Whether the enhanced metafile plays the red square of the clipboard
// metafiles below: at its centre and near the corners of its middle two
// thirds.
bool draws_red_square(HENHMETAFILE emf)
{
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 20, -20, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = NULL;
    HDC memory = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT r = {0, 0, 20, 20};
    PlayEnhMetaFile(memory, emf, &r);
    GdiFlush();
    bool red = true;
    for (int at : {10 * 20 + 10, 4 * 20 + 4, 4 * 20 + 15, 15 * 20 + 4, 15 * 20 + 15})
        red &= (((const uint32_t*)bits)[at] & 0xFFFFFF) == 0xFF0000u;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return red;
}

// Merge from the clipboard over a small bitmap, answering its question
// with Yes: whether it took an enhanced metafile source that draws the
// red square. The tool is then left as Esc leaves it. rise, when given,
// gets how far memory rose while the source was taken.
bool merge_takes_red_metafile(uint64_t* rise = nullptr)
{
    HGLOBAL image = make_dib(32, 32, 24);
    g_hImage = image;
    g_imageKind = KIND_DIB;
    start_merge_tool(g_hwndMain, 1);
    bool red = false;
    if (is_window_open(g_hwndMerge)) {
        PeakMemoryWatch watch;
        SendMessageA(g_hwndMerge, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        if (rise)
            *rise = watch.rise();
        red = g_hMergeImage && g_mergeKind == MERGE_EMF && draws_red_square((HENHMETAFILE)g_hMergeImage);
        if (is_window_open(g_hwndMerge))
            SendMessageA(g_hwndMerge, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    reset_current_image();
    return red;
}

// A Windows metafile placed on the clipboard is converted by the renderer
// (the system would make the enhanced one by playing it in the program),
// by Paste and by Merge alike; an enhanced one is taken as it is. Either
// way the picture holds the drawing: a Windows one's records, not a blue
// enhanced metafile their comments carry, which the system would hand
// back for them; and a placeable one copied from the program, whose box
// is not at the origin or is 65,535 units across, the whole picture shown.
TEST_F(ClipboardPaste, AMetafileIsTakenAsItWasPlaced)
{
    auto draw = [](HDC dc) {
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        HGDIOBJ old = SelectObject(dc, red);
        Rectangle(dc, 0, 0, 100, 100);
        SelectObject(dc, old);
        DeleteObject(red);
    };
    const std::string carrying = read_file_bytes(fixture_path("hostile\\WMF-carrying-blue-emf-drawing-red.wmf"));
    const std::string off_origin = read_file_bytes(fixture_path("hostile\\WMF-placeable-box-off-origin.wmf"));
    const std::string wide = read_file_bytes(fixture_path("hostile\\WMF-placeable-box-65535-wide.wmf"));
    ASSERT_FALSE(carrying.empty() || off_origin.empty() || wide.empty());
    for (int placed = 0; placed < 5; ++placed) {
        const UINT format = placed == 1 ? CF_ENHMETAFILE : CF_METAFILEPICT;
        SCOPED_TRACE(placed);
        HANDLE data = NULL;
        if (placed >= 3) {
            const std::string& placeable = placed == 3 ? off_origin : wide;
            reset_current_image();
            memcpy(&g_wmfPlaceableHeader, placeable.data(), sizeof g_wmfPlaceableHeader);
            g_wmfHasPlaceable = 1;
            g_hImage = (HGLOBAL)SetMetaFileBitsEx((UINT)placeable.size() - 22, (const BYTE*)placeable.data() + 22);
            g_imageKind = KIND_WMF;
            copy_image_to_clipboard(hwnd);
            g_wmfHasPlaceable = 0;
        } else if (placed == 2) {
            data = clipboard_metafile(format, carrying);
        } else if (format == CF_METAFILEPICT) {
            HDC mf = CreateMetaFileA(NULL);
            SetWindowExtEx(mf, 100, 100, NULL);
            draw(mf);
            data = metafile_picture(CloseMetaFile(mf));
        } else {
            RECT frame = {0, 0, 2540, 2540};
            HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
            draw(dc);
            data = CloseEnhMetaFile(dc);
        }
        if (data) {
            ASSERT_TRUE(put_on_clipboard(hwnd, data, format));
        }
        reset_current_image();

        // A conversion is one request to the renderer, for each command.
        const unsigned conversions = format == CF_METAFILEPICT ? 1 : 0;
        unsigned requests = render_request_count();
        paste_image_from_clipboard(hwnd);
        EXPECT_EQ(render_request_count() - requests, conversions);
        ASSERT_NE(g_hImage, nullptr);
        EXPECT_EQ(g_imageKind, KIND_EMF);
        EXPECT_EQ(g_fileFormat, FMT_CLIPBOARD);
        // The enhanced metafile's own records: a play draws the red square.
        ENHMETAHEADER header;
        ASSERT_TRUE(GetEnhMetaFileHeader((HENHMETAFILE)g_hImage, sizeof header, &header));
        EXPECT_GT(header.nRecords, 3u);
        EXPECT_TRUE(draws_red_square((HENHMETAFILE)g_hImage));
        reset_current_image();

        seams.answers.push_back(IDYES);
        requests = render_request_count();
        EXPECT_TRUE(merge_takes_red_metafile());
        EXPECT_EQ(render_request_count() - requests, conversions);
        ASSERT_EQ(seams.boxes.size(), 1u);
        EXPECT_EQ(seams.boxes[0].text, "Merge Image from Clipboard?");
        seams.boxes.clear();
    }
    g_fileName[0] = '\0';
}

// The roads of a pasted picture back to a Windows metafile, which the
// program's own conversion opens: the system's loses the pasted picture's
// window and plays blank.
class OwnConversionRoads : public ClipboardPaste {};

// Copy of a placeable Windows metafile of 1,440 units per inch whose
// records set its window, Paste, then Save As Windows MetaFile: the
// picture is written, in a box of its shape.
TEST_F(OwnConversionRoads, APastedPlaceableMetafileIsSavedAsWindowsMetafile)
{
    HDC mf = CreateMetaFileA(NULL);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all = {100, 100, 1540, 820};
    SetWindowOrgEx(mf, 100, 100, NULL);
    SetWindowExtEx(mf, 1440, 720, NULL);
    FillRect(mf, &all, red);
    DeleteObject(red);
    reset_current_image();
    g_wmfPlaceableHeader = {WMF_PLACEABLE_KEY, 0, 100, 100, 1540, 820, 1440, 0, 0};
    g_wmfPlaceableHeader.checksum = wmf_header_checksum(&g_wmfPlaceableHeader);
    g_wmfHasPlaceable = 1;
    g_hImage = (HGLOBAL)CloseMetaFile(mf);
    g_imageKind = KIND_WMF;
    copy_image_to_clipboard(hwnd);
    g_wmfHasPlaceable = 0;
    reset_current_image();
    paste_image_from_clipboard(hwnd);
    ASSERT_EQ(g_imageKind, KIND_EMF);
    const std::string path = test_out_path("pasted_placeable.wmf");
    DeleteFileA(path.c_str());
    seams.boxes.clear();
    EXPECT_TRUE(convert_save_to_path(g_hImage, KIND_EMF, path.c_str(), FMT_WMF, 0, 0));
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].caption, "File Converted Successfully") << seams.boxes[0].text;
    const std::string written = read_file_bytes(path);
    ASSERT_GT(written.size(), sizeof(WmfPlaceableHeader));
    WmfPlaceableHeader box;
    memcpy(&box, written.data(), sizeof box);
    EXPECT_NEAR(2.0, (double)(box.right - box.left) / (box.bottom - box.top), 0.01);
    reset_current_image();
    g_fileName[0] = '\0';
}

// A Windows metafile whose conversion passes the renderer's time is said
// so by each command that wanted it, and the current image stays; the
// same clipboard contents are not converted again, new contents are.
TEST_F(ClipboardPaste, ACutConversionIsSaidEachTimeAndNotMadeAgain)
{
    // A conversion of half a minute.
    const std::string slow = read_file_bytes(fixture_path("hostile\\WMF-region-fills-past-a-conversion.wmf"));
    ASSERT_FALSE(slow.empty());
    auto place = [&] {
        ASSERT_TRUE(put_on_clipboard(hwnd, clipboard_metafile(CF_METAFILEPICT, slow), CF_METAFILEPICT));
    };
    place();
    reset_current_image();
    // Past the limit at the first look the program takes.
    render_set_limits_for_test(1, 0);
    const std::vector<std::string> cut = {"Unable to play metafile in the time allowed"};
    auto texts = [&] {
        std::vector<std::string> t;
        for (const RecordedBox& box : seams.boxes)
            t.push_back(box.text);
        seams.boxes.clear();
        return t;
    };
    unsigned requests = render_request_count();
    paste_image_from_clipboard(hwnd);
    EXPECT_EQ(g_hImage, nullptr);
    EXPECT_EQ(texts(), cut);
    EXPECT_EQ(render_request_count() - requests, 1u);

    paste_image_from_clipboard(hwnd);
    seams.answers.push_back(IDYES);
    EXPECT_FALSE(merge_takes_red_metafile());
    EXPECT_EQ(texts(), (std::vector<std::string>{cut[0], "Merge Image from Clipboard?", cut[0]}));
    EXPECT_EQ(render_request_count() - requests, 1u) << "the same contents are not converted again";

    place();
    paste_image_from_clipboard(hwnd);
    EXPECT_EQ(texts(), cut);
    EXPECT_EQ(render_request_count() - requests, 2u);
    render_set_limits_for_test(0, 0);
    reset_current_image();
}

// Damaged metafiles placed on the clipboard (the hostile fixtures): Paste
// and Merge refuse them with the message their file gets when opened, and
// the current image stays. A metafile picture block too small for its
// structure is refused as well, though a metafile handle lies past it. So
// is a sound picture past the most metafile bytes the program holds (a
// limit set low here), or whose conversion is, with the words for memory.
struct DamagedCase {
    const char* file;  // in hostile/
    UINT format;
    SIZE_T block_bytes = sizeof(METAFILEPICT);  // of a metafile picture
    UINT metafile_limit = 0;                     // 0: the program's own
    const char* text = "Unable to read metafile bits";
};

class ClipboardDamagedMetafile : public ClipboardPaste, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(ClipboardDamagedMetafile, IsRefusedAsItsFileIs)
{
    const DamagedCase& c = GetParam();
    std::string bits = read_file_bytes(fixture_path(std::string("hostile\\") + c.file));
    HANDLE data = clipboard_metafile(c.format, bits);
    ASSERT_TRUE(data);
    // Shrunk in place: the handle stays in the bytes past the block.
    if (c.block_bytes < sizeof(METAFILEPICT)) {
        ASSERT_EQ(GlobalReAlloc(data, c.block_bytes, 0), data);
    }
    ASSERT_TRUE(put_on_clipboard(hwnd, data, c.format));
    reset_current_image();
    HGLOBAL mine = make_dib(2, 2, 24);
    g_hImage = mine;
    g_imageKind = KIND_DIB;
    render_set_metafile_limit_for_test(c.metafile_limit);

    paste_image_from_clipboard(hwnd);
    EXPECT_EQ(g_hImage, mine);
    EXPECT_EQ(g_imageKind, KIND_DIB);
    const bool too_small = c.block_bytes < sizeof(METAFILEPICT);
    ASSERT_EQ(seams.boxes.size(), too_small ? 0u : 1u);
    if (!too_small) {
        EXPECT_EQ(seams.boxes[0].text, c.text);
    }
    reset_current_image();

    seams.boxes.clear();
    seams.answers.push_back(IDYES);
    EXPECT_FALSE(merge_takes_red_metafile());
    ASSERT_EQ(seams.boxes.size(), too_small ? 1u : 2u);
    EXPECT_EQ(seams.boxes[0].text, "Merge Image from Clipboard?");
    if (!too_small) {
        EXPECT_EQ(seams.boxes[1].text, c.text);
    }
    render_set_metafile_limit_for_test(0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ClipboardDamagedMetafile, ::testing::Values(
    DamagedCase{"EMF-zero-size-record-before-shapes.emf", CF_ENHMETAFILE},
    DamagedCase{"WMF-last-record-cut.wmf", CF_METAFILEPICT},
    DamagedCase{"WMF-no-end-record.wmf", CF_METAFILEPICT},
    DamagedCase{"WMF-left-out-brush-drawn-with.wmf", CF_METAFILEPICT},
    DamagedCase{"WMF-region-8281-rectangles-painted.wmf", CF_METAFILEPICT},
    // Creates the system makes nothing of, before a red and a blue brush:
    // the conversion is cut there, not made of the blue one.
    DamagedCase{"WMF-brush-hatch-12-then-red-blue.wmf", CF_METAFILEPICT},
    DamagedCase{"WMF-patternbrush-2-planes-then-red-blue.wmf", CF_METAFILEPICT},
    DamagedCase{"WMF-font-short-face-then-red-brush.wmf", CF_METAFILEPICT, 4},
    DamagedCase{"WMF-font-short-face-then-red-brush.wmf", CF_METAFILEPICT, 12},
    // 440 and 100 bytes (126 sealed); the enhanced metafile the second
    // becomes is over 300.
    DamagedCase{"EMF-bitblt.emf", CF_ENHMETAFILE, sizeof(METAFILEPICT), 400, "MemoryAllocation Error"},
    DamagedCase{"WMF-font-short-face-last.wmf", CF_METAFILEPICT, sizeof(METAFILEPICT), 64, "MemoryAllocation Error"},
    DamagedCase{"WMF-font-short-face-last.wmf", CF_METAFILEPICT, sizeof(METAFILEPICT), 300,
                "MemoryAllocation Error"}));

// A font record whose face name ends within it, last before the end record,
// on the clipboard as the program that placed it wrote it: the conversion
// is handed the record whole (its name's 32 bytes, the rest zeros), which
// the system reads wherever the name ends, and the picture is pasted whole.
TEST_F(ClipboardPaste, AShortFontRecordIsConvertedWhole)
{
    std::string bits = read_file_bytes(fixture_path("hostile\\WMF-font-short-face-last.wmf"));
    ASSERT_TRUE(put_on_clipboard(hwnd, clipboard_metafile(CF_METAFILEPICT, bits), CF_METAFILEPICT));
    reset_current_image();

    paste_image_from_clipboard(hwnd);
    EXPECT_TRUE(seams.boxes.empty());
    ASSERT_EQ(g_imageKind, KIND_EMF);
    EXPECT_TRUE(draws_red_square((HENHMETAFILE)g_hImage));
    UINT size = 0;
    const BYTE* given = render_last_input_for_test(&size);
    ASSERT_TRUE(given);
    const std::string whole_font = le32(28) + le16(META_CREATEFONTINDIRECT) + le16(16) + std::string(6, '\0') +
                                   le16(400) + std::string(8, '\0') + "Arial" + std::string(27, '\0');
    const std::string end = le32(3) + le16(0);
    ASSERT_EQ(size, bits.size() + 26);
    EXPECT_EQ(std::string((const char*)given + size - 62, 62), whole_font + end);
    EXPECT_EQ(get_le32(std::string((const char*)given, 18), 6), size / 2) << "the header counts the words";
    reset_current_image();
}

// A large metafile pasted or taken by Merge from the clipboard: beside the
// clipboard's own, the program holds one copy of its bytes at a time (the
// renderer's copy of a Windows one, or of the enhanced metafile the
// renderer made of it, as the program makes its own; the checked copy of
// an enhanced one) beside what it keeps: the enhanced metafile and, for
// Merge, its bits.
TEST_F(ClipboardPaste, ALargeMetafileIsHeldInOneCopyBesideWhatIsKept)
{
    // Memory is judged here: the plays and conversions are whole at any speed.
    UnhurriedRenderer unhurried;
    const uint64_t BYTES = 32u << 20, MARGIN = 16u << 20;
    // Copies of the enhanced metafile taken at the peak, the kept ones counted.
    const struct {
        UINT format;
        uint64_t pasted, merged;
    } rows[] = {{CF_METAFILEPICT, 2, 2}, {CF_ENHMETAFILE, 1, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format == CF_ENHMETAFILE ? "enhanced" : "metafile picture");
        ASSERT_TRUE(put_on_clipboard(
            hwnd,
            clipboard_metafile(row.format, row.format == CF_ENHMETAFILE ? large_sound_emf(BYTES) : large_sound_wmf(BYTES)),
            row.format));
        reset_current_image();

        PeakMemoryWatch watch;
        paste_image_from_clipboard(hwnd);
        const uint64_t rise = watch.rise();
        ASSERT_TRUE(watch.works());
        ASSERT_EQ(g_imageKind, KIND_EMF);
        const uint64_t kept = GetEnhMetaFileBits((HENHMETAFILE)g_hImage, 0, NULL);
        EXPECT_TRUE(draws_red_square((HENHMETAFILE)g_hImage));
        EXPECT_LT(rise, row.pasted * kept + MARGIN) << "peak MB: " << (rise >> 20) << " of " << (kept >> 20);
        reset_current_image();

        uint64_t merge_rise = 0;
        seams.answers.push_back(IDYES);
        EXPECT_TRUE(merge_takes_red_metafile(&merge_rise));
        EXPECT_LT(merge_rise, row.merged * kept + MARGIN) << "peak MB: " << (merge_rise >> 20);
        seams.boxes.clear();
    }
}

}  // namespace

// Copy of an enhanced metafile that sets its own mapping: the metafile
// picture other programs read beside it shows the same picture. The one
// the system makes from the enhanced metafile alone drops the mapping.
TEST_F(ClipboardPaste, ACopiedMappedEmfReachesOtherProgramsAsTheSamePicture)
{
    RECT frame = {0, 0, 5080, 3810};
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    SetMapMode(dc, MM_LOMETRIC);
    HBRUSH red = CreateSolidBrush(RGB(220, 30, 30));
    HGDIOBJ old = SelectObject(dc, red);
    Rectangle(dc, 30, -30, 250, -200);
    Ellipse(dc, 280, -60, 480, -340);
    SelectObject(dc, old);
    DeleteObject(red);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    reset_current_image();
    g_hImage = (HGLOBAL)emf;
    g_imageKind = KIND_EMF;
    copy_image_to_clipboard(hwnd);

    ASSERT_TRUE(OpenClipboard(hwnd));
    HGLOBAL block = GetClipboardData(CF_METAFILEPICT);
    const METAFILEPICT* picture = block ? (const METAFILEPICT*)GlobalLock(block) : NULL;
    ComparisonPlay source, copied;
    ASSERT_TRUE(begin_comparison_play(&source, 192, 144) && begin_comparison_play(&copied, 192, 144));
    ASSERT_TRUE(picture && picture->hMF);
    EXPECT_EQ(picture->mm, MM_ANISOTROPIC);
    const RECT records_own = {0, 0, 1, 1};
    EXPECT_TRUE(play_emf_for_comparison(&source, emf));
    EXPECT_TRUE(play_wmf_for_comparison(&copied, picture->hMF, MM_ANISOTROPIC, &records_own));
    EXPECT_TRUE(comparison_plays_match(&source, &copied));
    end_comparison_play(&source);
    end_comparison_play(&copied);
    GlobalUnlock(block);
    CloseClipboard();
    reset_current_image();
}
