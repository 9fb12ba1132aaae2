// Metafiles: placeable and plain WMF reading, EMF information, both
// conversions compared by playing them, EMF comments, and hostile files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/emf_check.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/preview.h"
#include "viewer/window_classes.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "gdi_canvas.h"

static const COLORREF RED = RGB(255, 0, 0);
static const COLORREF BLUE = RGB(0, 0, 255);
static const COLORREF WHITE = RGB(255, 255, 255);

// Red left half, blue bottom-right quarter, white elsewhere.
static void draw_picture(HDC dc, int w, int h)
{
    HBRUSH white = CreateSolidBrush(WHITE), red = CreateSolidBrush(RED), blue = CreateSolidBrush(BLUE);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ old_brush = SelectObject(dc, white);
    Rectangle(dc, 0, 0, w + 1, h + 1);
    SelectObject(dc, red);
    Rectangle(dc, 0, 0, w / 2 + 1, h + 1);
    SelectObject(dc, blue);
    Rectangle(dc, w / 2, h / 2, w + 1, h + 1);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(white);
    DeleteObject(red);
    DeleteObject(blue);
}

// The drawing as a plain Windows metafile with a 1440 x 960 window.
static HMETAFILE make_wmf()
{
    HDC mf = CreateMetaFileA(NULL);
    SetWindowOrgEx(mf, 0, 0, NULL);
    SetWindowExtEx(mf, 1440, 960, NULL);
    draw_picture(mf, 1440, 960);
    return CloseMetaFile(mf);
}

static std::string wmf_bytes(HMETAFILE h)
{
    UINT size = GetMetaFileBitsEx(h, 0, NULL);
    std::string bytes(size, '\0');
    GetMetaFileBitsEx(h, size, &bytes[0]);
    return bytes;
}

static std::string placeable_header(int16_t l, int16_t t, int16_t r, int16_t b, uint16_t inch)
{
    WmfPlaceableHeader ph = {WMF_PLACEABLE_KEY, 0, l, t, r, b, inch, 0, 0};
    ph.checksum = wmf_header_checksum(&ph);
    return std::string((const char*)&ph, sizeof ph);
}

// The drawing in a 1-inch-square frame, in the reference device's pixels.
static HENHMETAFILE make_emf(const char* path, const char* description, int* side_pixels)
{
    HDC screen = GetDC(NULL);
    int side = (int)(2540LL * GetDeviceCaps(screen, HORZRES) / (GetDeviceCaps(screen, HORZSIZE) * 100));
    ReleaseDC(NULL, screen);
    RECT frame = {0, 0, 2540, 2540};
    HDC dc = CreateEnhMetaFileA(NULL, path, &frame, description);
    draw_picture(dc, side, side);
    if (side_pixels)
        *side_pixels = side;
    return CloseEnhMetaFile(dc);
}

static void play_wmf_into(GdiCanvas& c, HMETAFILE h)
{
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetViewportExtEx(c.dc, c.width, c.height, NULL);
    PlayMetaFile(c.dc, h);
    SetMapMode(c.dc, MM_TEXT);
}

// The same through the program's player, which bounds what records cost.
static void play_wmf_checked_into(GdiCanvas& c, HMETAFILE h)
{
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetViewportExtEx(c.dc, c.width, c.height, NULL);
    play_wmf(c.dc, h);
    SetMapMode(c.dc, MM_TEXT);
}

static void play_emf_into(GdiCanvas& c, HENHMETAFILE h)
{
    RECT r = {0, 0, c.width, c.height};
    PlayEnhMetaFile(c.dc, h, &r);
}

// The three regions at their centres; at most a seam where scaling moved an edge.
static void expect_same_picture(const GdiCanvas& expected, const GdiCanvas& actual)
{
    int w = expected.width, h = expected.height;
    EXPECT_EQ(RED, actual.at(w / 4, h / 2));
    EXPECT_EQ(BLUE, actual.at(3 * w / 4, 3 * h / 4));
    EXPECT_EQ(WHITE, actual.at(3 * w / 4, h / 4));
    EXPECT_EQ(expected.at(w / 4, h / 2), actual.at(w / 4, h / 2));
    EXPECT_LE(expected.count_differences(actual), 4 * (w + h));
}

static HMETAFILE read_wmf_path(const std::string& path, uint32_t placeable, char* info,
                               RECT* bounds = nullptr, DWORD* inch = nullptr,
                               WmfPlaceableHeader* header = nullptr)
{
    OFSTRUCT of;
    HFILE f = OpenFile(path.c_str(), &of, OF_READ);
    if (f == HFILE_ERROR)
        return NULL;
    RECT b;
    DWORD i;
    WmfPlaceableHeader ph;
    return read_wmf_file(NULL, path.c_str(), f, info, placeable, bounds ? bounds : &b,
                         inch ? inch : &i, header ? header : &ph);
}

// Reads the bytes as a plain Windows metafile file.
static HMETAFILE read_bytes_as_wmf(const std::string& bytes)
{
    std::string path = test_out_path("record_rules.wmf");
    if (!write_file_bytes(path, bytes))
        return NULL;
    char info[INFO_TEXT_SIZE];
    return read_wmf_path(path, 0, info);
}

// Writes the pixels for check_metafile.sh.
static void write_ppm(const GdiCanvas& c, const std::string& name)
{
    PnmImage pnm;
    pnm.width = c.width;
    pnm.height = c.height;
    pnm.channels = 3;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            COLORREF p = c.at(x, y);
            pnm.data.insert(pnm.data.end(), {GetRValue(p), GetGValue(p), GetBValue(p)});
        }
    write_pnm_file(test_out_path(name), pnm);
}

class Metafile : public ::testing::Test {
protected:
    SeamRecorder seams;
    char info[INFO_TEXT_SIZE] = "";
    void SetUp() override
    {
        SetRect(&g_rcPreview, 3, 3, 300, 300);
        g_hdcPreview = NULL;
        g_wmfHasPlaceable = 0;
        memset(&g_wmfPlaceableHeader, 0, sizeof g_wmfPlaceableHeader);
    }
    void TearDown() override
    {
        g_wmfHasPlaceable = 0;
        render_set_limits_for_test(0, 0);
    }
};

// The preview fits the placeable box (1440 x 960) or is square without one;
// the EMF's frame is the box in 0.01 mm, four inches square without a box
// or its units. A box given from its bottom-right corner is the same box,
// held with the checksum of the box put right whatever the file's said.
TEST_F(Metafile, WmfReadsAndBecomesAnEmfSizedFromItsPlaceableHeader)
{
    HMETAFILE original = make_wmf();
    std::string bits = wmf_bytes(original);
    const struct {
        uint32_t placeable;
        uint16_t inch;
        const char* text;
        int dest_height;
        LONG width, height;
        bool is_inverted = false;
        bool is_checksum_wrong = false;
    } cases[] = {
        {1, 1440, "image type: placeable WMF \nversion: 0x300 \nfile size: ", 198, 2538, 1691},
        {1, 0, "image type: placeable WMF", 198, 10160, 10160},
        {0, 1440, "image type: WMF \nversion: 0x300 \nfile size: ", 300, 10160, 10160},
        {1, 1440, "image type: placeable WMF \nversion: 0x300 \nfile size: ", 198, 2538, 1691, true},
        {1, 1440, "image type: placeable WMF \nversion: 0x300 \nfile size: ", 198, 2538, 1691, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.placeable) + " " + std::to_string(c.inch) + (c.is_inverted ? " inverted" : "") +
                     (c.is_checksum_wrong ? ", checksum wrong" : ""));
        std::string in = test_out_path("wmf_in.wmf");
        std::string box = c.is_inverted ? placeable_header(1439, 959, 0, 0, c.inch) : placeable_header(0, 0, 1439, 959, c.inch);
        if (c.is_checksum_wrong)
            box[20] ^= 0x55;
        ASSERT_TRUE(write_file_bytes(in, (c.placeable ? box : "") + bits));
        g_animDestWidth = 0;
        HMETAFILE h = read_wmf_path(in, c.placeable, info, &g_rcMetafile, &g_wmfScale, &g_wmfPlaceableHeader);
        ASSERT_TRUE(h);
        EXPECT_EQ(0u, std::string(info).find(c.text)) << info;
        if (c.inch && c.placeable)
            EXPECT_NE(nullptr, strstr(info, "\nwidth: 1440 \nheight: 960 \nunits per inch: 1440"));
        if (c.placeable) {
            // A box and the same box put right have one checksum: it is
            // seen made again where the file's was wrong.
            EXPECT_EQ(std::string((const char*)&g_wmfPlaceableHeader, sizeof g_wmfPlaceableHeader),
                      placeable_header(0, 0, 1439, 959, c.inch));
        }
        EXPECT_EQ(bits.size() / 2, g_wmfSizeWords);
        EXPECT_EQ(300, g_animDestWidth);
        EXPECT_EQ(c.dest_height, g_animDestHeight);
        g_wmfHasPlaceable = c.placeable;
        std::string out = test_out_path("wmf_to.emf");
        ASSERT_EQ(1, write_emf_file(h, out.c_str()));
        HENHMETAFILE emf = GetEnhMetaFileA(out.c_str());
        ASSERT_TRUE(emf);
        ENHMETAHEADER eh;
        GetEnhMetaFileHeader(emf, sizeof eh, &eh);
        EXPECT_NEAR(c.width, eh.rclFrame.right - eh.rclFrame.left, 1);
        EXPECT_NEAR(c.height, eh.rclFrame.bottom - eh.rclFrame.top, 1);
        GdiCanvas expected(144, 96), read(144, 96), converted(144, 96);
        play_wmf_into(expected, original);
        play_wmf_into(read, h);
        EXPECT_EQ(0, expected.count_differences(read));
        if (c.inch && c.placeable) {  // the frame keeps the picture's shape
            play_emf_into(converted, emf);
            expect_same_picture(expected, converted);
        }
        DeleteEnhMetaFile(emf);
        DeleteMetaFile(h);
    }
    EXPECT_TRUE(seams.boxes.empty());
    DeleteMetaFile(original);
}

// The EMF's information, and the placeable WMF it becomes (libwmf renders it
// in check_metafile.sh).
TEST_F(Metafile, EmfInformationAndThePlaceableWmfItBecomes)
{
    int side = 0;
    HENHMETAFILE emf = make_emf(NULL, NULL, &side);
    HDC screen = GetDC(NULL);
    RECT bounds = {};
    get_emf_info(emf, info, &bounds, screen);
    ReleaseDC(NULL, screen);
    EXPECT_EQ(side, bounds.right);
    EXPECT_EQ(0u, std::string(info).find("image type: Enhanced Metafile EMF \nversion: 0x10000 \nfile size: "));

    std::string path = test_out_path("emf_to_wmf.wmf");
    ASSERT_EQ(1, write_wmf_file(emf, path.c_str()));
    HMETAFILE h = read_wmf_path(path, 1, info);
    ASSERT_TRUE(h);
    EXPECT_NE(nullptr, strstr(info, "\nwidth: 1001 \nheight: 1001 \nunits per inch: 1000"));
    GdiCanvas expected(side, side), actual(side, side);
    play_emf_into(expected, emf);
    play_wmf_into(actual, h);
    expect_same_picture(expected, actual);
    write_ppm(expected, "emf_to_wmf_expected.ppm");
    DeleteMetaFile(h);
    DeleteEnhMetaFile(emf);
}

// ---- EMF comments

static std::wstring description_of(const std::string& path)
{
    HENHMETAFILE h = GetEnhMetaFileA(path.c_str());
    if (!h)
        return L"<unreadable>";
    UINT n = GetEnhMetaFileDescriptionW(h, 0, NULL);
    std::wstring d;
    if (n && n != GDI_ERROR) {
        d.resize(n);
        GetEnhMetaFileDescriptionW(h, n, &d[0]);
    }
    DeleteEnhMetaFile(h);
    return d;
}

// As the comment dialog does; whether the dialog's copy survived.
static bool write_comment(const std::string& path, const char* text, HWND main)
{
    HGLOBAL h = text_block(text);
    write_emf_comment(path.c_str(), &h, NULL, main);
    if (h)
        GlobalFree(h);
    return h != NULL;
}

class EmfComment : public Metafile {
protected:
    HWND main = NULL;
    HWND list = NULL;
    std::string folder, path, original;
    void SetUp() override
    {
        Metafile::SetUp();
        g_msgSelChanged = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
        main = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        list = CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 10, 10, main, (HMENU)1120, NULL, NULL);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)"a.emf");
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)"b.emf");
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        folder = test_out_path("");
        path = test_out_path("comment.emf");
        original = test_out_path("comment_original.emf");
        DeleteFileA(path.c_str());
        HENHMETAFILE h = make_emf(path.c_str(), "Some App\0Old title\0", nullptr);
        ASSERT_TRUE(h);
        DeleteEnhMetaFile(h);
        CopyFileA(path.c_str(), original.c_str(), FALSE);
    }
    void TearDown() override
    {
        DestroyWindow(main);
        Metafile::TearDown();
    }
    // The reload notification the writer posted, if any.
    bool reload_posted(LPARAM* selection)
    {
        MSG msg;
        if (!PeekMessageA(&msg, main, g_msgSelChanged, g_msgSelChanged, PM_REMOVE))
            return false;
        EXPECT_EQ(1120u, msg.wParam);
        *selection = msg.lParam;
        return true;
    }
};

// The description changes (also after an 88-byte header), in UTF-16 as the
// system converts the text; records stay, the list reloads.
TEST_F(EmfComment, CommentBecomesTheDescriptionAndTheRecordsSurvive)
{
    std::string bytes = read_file_bytes(original);
    std::string old_style = bytes.substr(0, 88) + bytes.substr(get_le32(bytes, 4));
    put_le32(old_style, 4, 88);
    put_le32(old_style, 48, (uint32_t)old_style.size());
    put_le32(old_style, 60, 0);
    put_le32(old_style, 64, 0);
    // A character outside Latin-1 that the system's code page has, as the
    // reader shows it; the second write as the dialog makes it, the first
    // text shown.
    char euro[8] = "";
    WideCharToMultiByte(CP_ACP, 0, L"\u20AC", -1, euro, sizeof euro, NULL, NULL);
    const struct {
        const char* name;
        bool is_old;
        std::string first, text;
        std::wstring want;
        bool shown = false;
    } cases[] = {
        {"comment", false, "", "abc", std::wstring(L"Corvane Graphics\0abc\0\0", 22)},
        {"removed", false, "a longer comment, then none", "", std::wstring()},
        {"old header", true, "", "abc", std::wstring(L"Corvane Graphics\0abc\0\0", 22)},
        {"code page", false, std::string("old ") + euro, std::string("new ") + euro,
         std::wstring(L"Corvane Graphics\0new \u20AC\0\0", 24), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file_bytes(path, c.is_old ? old_style : bytes));
        std::string before = read_file_bytes(path);
        if (!c.first.empty())
            write_comment(path, c.first.c_str(), main);
        HGLOBAL shown = c.shown ? text_block(c.first) : NULL;
        expect_shown_comment(c.shown ? path.c_str() : NULL, shown);
        EXPECT_TRUE(write_comment(path, c.text.c_str(), main));
        expect_shown_comment(NULL, NULL);
        if (shown)
            GlobalFree(shown);
        EXPECT_TRUE(seams.boxes.empty());
        std::string after = read_file_bytes(path);
        EXPECT_EQ(after.size(), get_le32(after, 48));
        EXPECT_EQ(before.substr(get_le32(before, 4)), after.substr(get_le32(after, 4))) << "the records survive";
        if (c.is_old)
            EXPECT_EQ(88u, get_le32(after, 64));
        EXPECT_EQ(c.want, description_of(path));
        LPARAM selection = -1;
        ASSERT_TRUE(reload_posted(&selection));
        EXPECT_EQ(1, selection);
        while (reload_posted(&selection))
            ;
    }
}

// A locked file, not an EMF, a header past the end, a file moved away
// meanwhile: kept (or still gone), one box, no reload.
TEST_F(EmfComment, FileThatCannotBeRewrittenIsKeptAndTheCommentDropped)
{
    std::string emf = read_file_bytes(original), past_end = emf;
    put_le32(past_end, 4, (uint32_t)emf.size() + 4);
    const struct { const char* name; bool lock; std::string bytes; bool gone = false; } cases[] = {
        {"locked", true, emf},
        {"not an EMF", false, "not an enhanced metafile, only text long enough to pass 88 bytes" + std::string(40, '.')},
        {"header past the end", false, past_end},
        {"gone", false, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        seams.boxes.clear();
        ASSERT_TRUE(c.gone ? DeleteFileA(path.c_str()) : write_file_bytes(path, c.bytes));
        HANDLE lock = c.lock ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                             : INVALID_HANDLE_VALUE;
        EXPECT_FALSE(write_comment(path, "never written", main));
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("Cannot Open File for Writing.", seams.boxes[0].text);
        EXPECT_EQ(path, seams.boxes[0].caption);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONSTOP), seams.boxes[0].type);
        EXPECT_EQ(c.bytes, read_file_bytes(path));
        EXPECT_EQ(0, temp_files_in(folder));
        LPARAM selection;
        EXPECT_FALSE(reload_posted(&selection));
    }
}

// ---- hostile Windows metafiles

class HostileWmf : public Metafile {
protected:
    std::string good;  // a placeable WMF
    void SetUp() override
    {
        Metafile::SetUp();
        HMETAFILE h = make_wmf();
        good = placeable_header(0, 0, 1439, 959, 1440) + wmf_bytes(h);
        DeleteMetaFile(h);
    }
    // Reads bytes as a file; plays the result when there is one.
    HMETAFILE read_bytes(const std::string& bytes, uint32_t placeable)
    {
        std::string path = test_out_path("hostile.wmf");
        EXPECT_TRUE(write_file_bytes(path, bytes));
        HMETAFILE h = read_wmf_path(path, placeable, info);
        if (h) {
            GdiCanvas c(32, 32);
            play_wmf_into(c, h);
            g_wmfSizeWords = GetMetaFileBitsEx(h, 0, NULL) / 2;
            play_wmf_records(NULL, c.dc, h);
        }
        return h;
    }
};

// Cut anywhere before its end record, the metafile is a cut picture:
// refused with one box, as a cut enhanced metafile is; whole, it is read.
TEST_F(HostileWmf, TruncatedAtEveryOffset)
{
    for (size_t n = 0; n <= good.size(); ++n) {
        seams.boxes.clear();
        HMETAFILE h = read_bytes(good.substr(0, n), 1);
        if (n < good.size()) {
            EXPECT_EQ(nullptr, h) << n;
            ASSERT_EQ(1u, seams.boxes.size()) << n;
            EXPECT_EQ("Unable to read metafile bits", seams.boxes[0].text);
            EXPECT_EQ("(null)", seams.boxes[0].caption);
        } else {
            ASSERT_TRUE(h) << n;
            EXPECT_TRUE(seams.boxes.empty()) << n;
            EXPECT_EQ(GetMetaFileBitsEx(h, 0, NULL), n - 22) << n;
            DeleteMetaFile(h);
        }
    }
}

TEST_F(HostileWmf, RecordContentsThatClaimTooMuchPlayWithoutHarm)
{
    // Records of 2^31, 0 or 2 words (other counts: the mutation harness):
    // the chain leaves the data, so the picture is cut and refused.
    std::vector<std::string> records;
    for (uint32_t words : {0x7FFFFFFFu, 0u, 2u})
        records.push_back(le32(words) + le16(0x0324) + std::string(48, '\0'));
    // A DIB header whose size once wrapped to 40 bytes.
    std::string dib = le32(40) + le32(0x7FFFFFFF) + le32(0x80000000) + le16(1) + le16(32) + le32(BI_RGB) +
                      le32(0) + le32(0) + le32(0) + le32(0x80000000) + le32(0);
    std::string params = le32(0x00CC0020) + le16(0) + std::string(16, '\1') + dib;
    records.push_back(le32((uint32_t)(6 + params.size()) / 2) + le16(0x0F43) + params);
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string& record = records[i];
        seams.boxes.clear();
        std::string bits = good.substr(22, 18) + record + std::string("\x03\0\0\0\0\0", 6);
        put_le32(bits, 6, (uint32_t)bits.size() / 2);
        // The first three leave the data; the last, a shape, breaks its
        // rule: either way the picture is cut and refused.
        HMETAFILE h = read_bytes(placeable_header(0, 0, 99, 99, 1440) + bits, 1);
        EXPECT_EQ(nullptr, h) << i;
        EXPECT_EQ(1u, seams.boxes.size()) << i;
        if (h)
            DeleteMetaFile(h);
    }
}

TEST_F(HostileWmf, ValidRecordsOfTheCheckedKindsAreAllKept)
{
    HDC mf = CreateMetaFileA(NULL);
    SetWindowExtEx(mf, 200, 200, NULL);
    POINT pts[5] = {{0, 0}, {50, 10}, {60, 60}, {10, 50}, {0, 0}};
    Polygon(mf, pts, 4);
    Polyline(mf, pts, 5);
    INT counts[2] = {3, 2};
    PolyPolygon(mf, pts, counts, 2);
    TextOutA(mf, 5, 5, "odd", 3);
    RECT clip = {0, 0, 100, 20};
    ExtTextOutA(mf, 5, 5, ETO_CLIPPED, &clip, "text", 4, NULL);
    HGLOBAL hDib = GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER) + 8 * 4 * 8);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(hDib);
    *bih = {sizeof(BITMAPINFOHEADER), 8, 8, 1, 32, BI_RGB, 8 * 8 * 4, 0, 0, 0, 0};
    StretchDIBits(mf, 0, 0, 16, 16, 0, 0, 8, 8, bih + 1, (BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
    SetDIBitsToDevice(mf, 0, 0, 8, 8, 0, 0, 0, 8, bih + 1, (BITMAPINFO*)bih, DIB_RGB_COLORS);
    HBRUSH pattern = CreateDIBPatternBrushPt(bih, DIB_RGB_COLORS);
    SelectObject(mf, pattern);
    HRGN region = CreateEllipticRgn(0, 0, 40, 30);
    PaintRgn(mf, region);
    HMETAFILE original = CloseMetaFile(mf);
    DeleteObject(region);
    DeleteObject(pattern);
    GlobalUnlock(hDib);
    GlobalFree(hDib);

    std::string bytes = wmf_bytes(original);
    HMETAFILE h = read_bytes(bytes, 0);
    ASSERT_TRUE(h);
    EXPECT_EQ(bytes.size(), GetMetaFileBitsEx(h, 0, NULL));
    GdiCanvas a(100, 100), b(100, 100);
    play_wmf_into(a, original);
    play_wmf_into(b, h);
    EXPECT_EQ(0, a.count_differences(b));
    DeleteMetaFile(h);
    DeleteMetaFile(original);
}

// ---- the record rules against sound and crafted metafiles

// Draws with every kind of record the players act on that the device
// records: bitmaps of each blit and brush, pens, palettes, paths, regions,
// text and gradients; a Windows-metafile device is given only what that
// format records.
static void draw_every_record_kind(HDC dc, bool enhanced)
{
    std::vector<BYTE> packed(sizeof(BITMAPINFOHEADER) + 8 * 8 * 3);
    BITMAPINFO* bi = (BITMAPINFO*)packed.data();
    bi->bmiHeader = {sizeof(BITMAPINFOHEADER), 8, 8, 1, 24, BI_RGB, 8 * 8 * 3, 0, 0, 0, 0};
    BYTE* pixels = packed.data() + sizeof(BITMAPINFOHEADER);
    for (int i = 0; i < 8 * 8 * 3; ++i)
        pixels[i] = (BYTE)(i * 37);
    HDC source = CreateCompatibleDC(NULL);
    HBITMAP picture = CreateDIBitmap(dc, &bi->bmiHeader, CBM_INIT, pixels, bi, DIB_RGB_COLORS);
    HGDIOBJ old_source = SelectObject(source, picture);
    static const WORD mono_rows[8] = {0xAA00, 0x5500, 0xAA00, 0x5500, 0xAA00, 0x5500, 0xAA00, 0x5500};
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, mono_rows);

    BitBlt(dc, 0, 0, 8, 8, source, 0, 0, SRCCOPY);
    StretchBlt(dc, 10, 0, 16, 16, source, 0, 0, 8, 8, SRCCOPY);
    PatBlt(dc, 30, 0, 8, 8, PATCOPY);
    StretchDIBits(dc, 40, 0, 16, 16, 0, 0, 8, 8, pixels, bi, DIB_RGB_COLORS, SRCCOPY);
    SetDIBitsToDevice(dc, 60, 0, 8, 8, 0, 0, 0, 8, pixels, bi, DIB_RGB_COLORS);
    if (enhanced) {
        MaskBlt(dc, 70, 0, 8, 8, source, 0, 0, mono, 0, 0, MAKEROP4(SRCCOPY, PATCOPY));
        POINT corners[3] = {{80, 0}, {90, 2}, {82, 10}};
        PlgBlt(dc, corners, source, 0, 0, 8, 8, mono, 0, 0);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 128, 0};
        GdiAlphaBlend(dc, 0, 20, 8, 8, source, 0, 0, 8, 8, blend);
        TRIVERTEX vertices[2] = {{10, 20, 0xFF00, 0, 0, 0}, {30, 30, 0, 0, 0xFF00, 0}};
        GRADIENT_RECT rect = {0, 1};
        GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
    }

    HBRUSH mono_brush = CreatePatternBrush(mono);
    HBRUSH dib_brush = CreateDIBPatternBrushPt(bi, DIB_RGB_COLORS);
    HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 128, 0));
    LOGBRUSH pen_brush = {BS_SOLID, RGB(200, 0, 0), 0};
    DWORD dashes[2] = {3, 2};
    HPEN user_pen = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 2, &pen_brush, 2, dashes);
    HGDIOBJ old_brush = SelectObject(dc, mono_brush);
    HGDIOBJ old_pen = SelectObject(dc, user_pen);
    Rectangle(dc, 40, 20, 60, 40);
    SelectObject(dc, dib_brush);
    Ellipse(dc, 60, 20, 80, 40);
    SelectObject(dc, hatch);
    RoundRect(dc, 80, 20, 100, 40, 5, 5);
    Pie(dc, 0, 40, 20, 60, 0, 40, 20, 60);
    Chord(dc, 20, 40, 40, 60, 20, 40, 40, 60);
    Arc(dc, 40, 40, 60, 60, 40, 40, 60, 60);
    INT counts[2] = {3, 3};
    POINT polys[6] = {{0, 60}, {10, 70}, {0, 70}, {20, 60}, {30, 70}, {20, 70}};
    PolyPolygon(dc, polys, counts, 2);
    MoveToEx(dc, 40, 60, NULL);
    LineTo(dc, 50, 70);
    if (enhanced) {
        POINT path[4] = {{60, 40}, {70, 55}, {80, 42}, {90, 58}};
        BYTE kinds[4] = {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO};
        PolyDraw(dc, path, kinds, 4);
        PolyBezier(dc, path, 4);
        BeginPath(dc);
        MoveToEx(dc, 40, 60, NULL);
        LineTo(dc, 50, 70);
        LineTo(dc, 40, 70);
        CloseFigure(dc);
        EndPath(dc);
        StrokeAndFillPath(dc);
    }
    SetPixelV(dc, 99, 99, RGB(1, 2, 3));

    HRGN region = CreateEllipticRgn(60, 60, 80, 80);
    FillRgn(dc, region, hatch);
    FrameRgn(dc, region, mono_brush, 1, 1);
    InvertRgn(dc, region);
    PaintRgn(dc, region);

    struct {
        WORD version, count;
        PALETTEENTRY entries[2];
    } log_palette = {0x300, 2, {{255, 0, 0, 0}, {0, 0, 255, 0}}};
    HPALETTE palette = CreatePalette((LOGPALETTE*)&log_palette);
    HPALETTE old_palette = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);

    HFONT font = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    HGDIOBJ old_font = SelectObject(dc, font);
    INT spacing[4] = {7, 7, 7, 7};
    ExtTextOutW(dc, 0, 80, 0, NULL, L"Abcd", 4, spacing);
    TextOutA(dc, 30, 80, "text", 4);
    SaveDC(dc);
    IntersectClipRect(dc, 0, 0, 50, 50);
    ExcludeClipRect(dc, 5, 5, 10, 10);
    if (enhanced) {
        POLYTEXTW lines[2] = {{60, 80, 2, L"ab", 0, {0, 0, 0, 0}, NULL}, {60, 90, 2, L"cd", 0, {0, 0, 0, 0}, NULL}};
        PolyTextOutW(dc, lines, 2);
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM shear = {1, 0.2f, 0, 1, 0, 0};
        SetWorldTransform(dc, &shear);
        GdiComment(dc, 4, (const BYTE*)"note");
    }
    Rectangle(dc, 5, 5, 30, 30);
    RestoreDC(dc, -1);

    SelectObject(dc, old_font);
    SelectPalette(dc, old_palette, FALSE);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    for (HGDIOBJ object : {(HGDIOBJ)font, (HGDIOBJ)palette, (HGDIOBJ)region, (HGDIOBJ)user_pen, (HGDIOBJ)hatch,
                           (HGDIOBJ)dib_brush, (HGDIOBJ)mono_brush, (HGDIOBJ)mono})
        DeleteObject(object);
    SelectObject(source, old_source);
    DeleteObject(picture);
    DeleteDC(source);
}

// Every heap of the process passes the system's own check.
static bool heaps_are_whole()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; i++)
        if (!HeapValidate(heaps[i], 0, NULL))
            return false;
    return count > 0;
}

static const size_t EMF_HANDLES_AT = offsetof(ENHMETAHEADER, nHandles);

// The bits with a header counting no handles made to count the metafile's
// own, as the loader takes them.
static std::string with_own_handle(std::string bits)
{
    if (bits.size() >= sizeof(ENHMETAHEADER) && get_le16(bits, EMF_HANDLES_AT) == 0)
        put_le16(bits, EMF_HANDLES_AT, 1);
    return bits;
}

// Sound metafiles: recorded by the system's GDI and made by pstoedit (whose
// image.emf has a header counting no handles). Every record keeps its rule;
// play_emf, given the metafile as the file has it, draws pixel for pixel
// what the system's player alone draws of it as the loader takes it, and
// leaves every heap whole.
TEST_F(Metafile, SoundEmfsDrawAsThePlayerAloneDraws)
{
    HDC recorder = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    draw_every_record_kind(recorder, true);
    HENHMETAFILE recorded = CloseEnhMetaFile(recorder);
    std::vector<std::string> files(1, std::string(GetEnhMetaFileBits(recorded, 0, NULL), '\0'));
    GetEnhMetaFileBits(recorded, (UINT)files[0].size(), (BYTE*)&files[0][0]);
    DeleteEnhMetaFile(recorded);
    const char* const names[] = {"recorded", "text", "shapes", "image"};
    for (const char* name : {names[1], names[2], names[3]})
        files.push_back(read_file_bytes(fixture_path(std::string("fuzz\\emf\\") + name + ".emf")));
    EXPECT_EQ(0u, get_le16(files.back(), EMF_HANDLES_AT));

    ASSERT_TRUE(heaps_are_whole());
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(names[i]);
        const std::string& bits = files[i];
        ASSERT_GT(bits.size(), sizeof(ENHMETAHEADER));
        EXPECT_TRUE(emf_bits_are_sound((const BYTE*)bits.data(), (UINT)bits.size()));
        EmfCheckState state;
        begin_emf_check(&state, get_le16(bits, EMF_HANDLES_AT));
        for (size_t at = 0; at + 8 <= bits.size() && get_le32(bits, at + 4) >= 8; at += get_le32(bits, at + 4)) {
            EXPECT_TRUE(emf_record_is_sound((const BYTE*)bits.data() + at, get_le32(bits, at + 4), &state))
                << "record type " << get_le32(bits, at);
        }
        end_emf_check(&state);
        std::string loaded = with_own_handle(bits);
        HENHMETAFILE as_file = SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
        HENHMETAFILE as_loaded = SetEnhMetaFileBits((UINT)loaded.size(), (const BYTE*)loaded.data());
        ASSERT_TRUE(as_file && as_loaded);
        GdiCanvas alone(120, 120), checked(120, 120);
        RECT r = {0, 0, 120, 120};
        play_emf(checked.dc, as_file, &r);
        EXPECT_TRUE(heaps_are_whole());
        play_emf_into(alone, as_loaded);
        EXPECT_TRUE(heaps_are_whole());
        EXPECT_EQ(0, alone.count_differences(checked));
        DeleteEnhMetaFile(as_loaded);
        DeleteEnhMetaFile(as_file);
    }
}

// Converting to a placeable WMF plays the metafile through the system's
// player: a header counting no handles is converted as the one counting the
// metafile's own, without harm to any heap.
TEST_F(Metafile, EmfOfNoHandlesBecomesTheWmfOfItsCountedCopy)
{
    std::string bits = read_file_bytes(fixture_path("fuzz\\emf\\image.emf"));
    ASSERT_EQ(0u, get_le16(bits, EMF_HANDLES_AT));
    std::string loaded = with_own_handle(bits);
    HENHMETAFILE as_file = SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
    HENHMETAFILE as_loaded = SetEnhMetaFileBits((UINT)loaded.size(), (const BYTE*)loaded.data());
    ASSERT_TRUE(as_file && as_loaded);
    std::string from_file = test_out_path("no_handles.wmf"), from_loaded = test_out_path("no_handles_counted.wmf");
    EXPECT_EQ(1, write_wmf_file(as_file, from_file.c_str()));
    EXPECT_TRUE(heaps_are_whole());
    EXPECT_EQ(1, write_wmf_file(as_loaded, from_loaded.c_str()));
    EXPECT_EQ(read_file_bytes(from_loaded), read_file_bytes(from_file));
    DeleteEnhMetaFile(as_loaded);
    DeleteEnhMetaFile(as_file);
}

TEST_F(Metafile, SoundWmfKeepsEveryRecordAndItsPicture)
{
    HDC recorder = CreateMetaFileA(NULL);
    SetWindowExtEx(recorder, 120, 120, NULL);
    draw_every_record_kind(recorder, false);
    HMETAFILE original = CloseMetaFile(recorder);
    std::string bytes = wmf_bytes(original);
    // A palette selection as recorders write it, one word, has the player
    // read its index past the record: it is the one record left out.
    size_t left_out = 0;
    for (size_t at = 18; at + 6 <= bytes.size() && get_le32(bytes, at) >= 3; at += 2 * get_le32(bytes, at)) {
        uint32_t function = get_le16(bytes, at + 4), words = get_le32(bytes, at);
        if (function == META_SELECTPALETTE && words == 4) {
            left_out += 8;
        } else if (function) {
            EXPECT_TRUE(wmf_record_is_sound((uint16_t)function, (const BYTE*)bytes.data() + at + 6, 2 * words - 6,
                                            get_le16(bytes, 10)))
                << "function " << std::hex << function;
        }
    }
    EXPECT_EQ(8u, left_out);
    HMETAFILE h = read_bytes_as_wmf(bytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(bytes.size() - left_out, GetMetaFileBitsEx(h, 0, NULL));
    GdiCanvas alone(120, 120), checked(120, 120), bounded(120, 120);
    play_wmf_into(alone, original);
    play_wmf_into(checked, h);
    EXPECT_EQ(0, alone.count_differences(checked));
    play_wmf_checked_into(bounded, h);
    EXPECT_EQ(0, alone.count_differences(bounded));
    DeleteMetaFile(h);
    DeleteMetaFile(original);
}

// Records what draw draws into a Windows metafile (enhanced false) or an
// enhanced one, then plays it into alone through the system's player and
// into bounded through the program's. The enhanced one's frame is the
// canvas, whatever was drawn.
template <typename Draw>
static void play_both_ways(bool enhanced, Draw draw, GdiCanvas& alone, GdiCanvas& bounded)
{
    if (enhanced) {
        HDC screen = GetDC(NULL);
        int across = 100 * GetDeviceCaps(screen, HORZSIZE), down = 100 * GetDeviceCaps(screen, VERTSIZE);
        RECT frame = {0, 0, MulDiv(bounded.width, across, GetDeviceCaps(screen, HORZRES)),
                      MulDiv(bounded.height, down, GetDeviceCaps(screen, VERTRES))};
        ReleaseDC(NULL, screen);
        HDC recorder = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
        draw(recorder);
        HENHMETAFILE h = CloseEnhMetaFile(recorder);
        RECT r = {0, 0, bounded.width, bounded.height};
        play_emf_into(alone, h);
        play_emf(bounded.dc, h, &r);
        DeleteEnhMetaFile(h);
    } else {
        HDC recorder = CreateMetaFileA(NULL);
        draw(recorder);
        HMETAFILE h = CloseMetaFile(recorder);
        play_wmf_into(alone, h);
        play_wmf_checked_into(bounded, h);
        DeleteMetaFile(h);
    }
}

// The bounds on polygon fills and pens leave the largest shapes of a sound
// picture as the player alone draws them: an outline of 8000 points, 400
// spikes crossing every row, both as one record of two polygons, and a pen
// as wide as the picture; in an enhanced metafile the spikes as a filled
// path too, and the pen an extended one.
TEST_F(Metafile, LargeSoundShapesDrawAsThePlayerAloneDraws)
{
    std::vector<POINT> points;
    const double turn = 2 * 3.14159265358979 / 8000;
    for (int i = 0; i < 8000; ++i)
        points.push_back(POINT{60 + (LONG)(55 * std::cos(i * turn)), 60 + (LONG)(55 * std::sin(i * turn))});
    for (int i = 0; i < 400; ++i)
        points.push_back(POINT{i * 120 / 400, i % 2 ? 0 : 119});
    INT counts[2] = {8000, 400};
    for (bool enhanced : {false, true}) {
        SCOPED_TRACE(enhanced ? "enhanced" : "Windows metafile");
        GdiCanvas alone(120, 120), bounded(120, 120);
        play_both_ways(enhanced, [&](HDC recorder) {
            SetWindowExtEx(recorder, 120, 120, NULL);
            Polygon(recorder, points.data(), counts[0]);
            Polygon(recorder, points.data() + counts[0], counts[1]);
            PolyPolygon(recorder, points.data(), counts, 2);
            if (enhanced) {
                BeginPath(recorder);
                Polygon(recorder, points.data() + counts[0], counts[1]);
                EndPath(recorder);
                FillPath(recorder);
            }
            LOGBRUSH blue = {BS_SOLID, RGB(0, 0, 255), 0};
            HPEN wide = enhanced ? ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_ROUND, 120, &blue, 0, NULL)
                                 : CreatePen(PS_SOLID, 120, RGB(0, 0, 255));
            HGDIOBJ old = SelectObject(recorder, wide);
            Rectangle(recorder, 30, 30, 90, 90);
            SelectObject(recorder, old);
            DeleteObject(wide);
        }, alone, bounded);
        EXPECT_EQ(0, alone.count_differences(bounded));
    }
}

// A font of height 0 has its default size on the device whatever the
// mapping: under one of 400 pixels a unit it is drawn as it stands.
TEST_F(Metafile, DefaultSizeFontUnderALargeMappingDrawsAsThePlayerAloneDraws)
{
    for (bool enhanced : {false, true}) {
        SCOPED_TRACE(enhanced ? "enhanced" : "Windows metafile");
        GdiCanvas alone(120, 120), bounded(120, 120);
        play_both_ways(enhanced, [](HDC recorder) {
            SetMapMode(recorder, MM_ANISOTROPIC);
            SetWindowExtEx(recorder, 1, 1, NULL);
            SetViewportExtEx(recorder, 400, 400, NULL);
            HFONT font = CreateFontA(0, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
            HGDIOBJ old = SelectObject(recorder, font);
            TextOutA(recorder, 0, 0, "Ag", 2);
            SelectObject(recorder, old);
            DeleteObject(font);
        }, alone, bounded);
        EXPECT_GT(alone.count_differences(GdiCanvas(120, 120)), 0);
        EXPECT_EQ(0, alone.count_differences(bounded));
    }
}

// The crafted files (tests/fixtures/make_hostile_*.sh) played through the
// program's players: enhanced ones as a pasted metafile is played, with no
// whole-file check and no header fixed before, each record checked with the
// state the records played before it left, and converted to a Windows
// metafile through the system's player too; Windows ones as the loader reads
// them. Every heap stays whole.
TEST_F(Metafile, CraftedFilesPlayRecordByRecordWithoutHarm)
{
    // Only harm is judged here, and a play that stalls holds the renderer
    // for its whole limit: a short one cuts the same plays sooner.
    render_set_limits_for_test(1000, 0);
    int played = 0;
    for (const char* pattern : {"hostile\\EMF-*.emf", "hostile\\WMF-*.wmf"}) {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(fixture_path(pattern).c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, find) << pattern;
        do {
            SCOPED_TRACE(found.cFileName);
            std::string bits = read_file_bytes(fixture_path(std::string("hostile\\") + found.cFileName));
            GdiCanvas canvas(64, 64);
            if (pattern[8] == 'E') {
                HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bits.size(), (const BYTE*)bits.data());
                RECT r = {0, 0, 64, 64};
                play_emf(canvas.dc, emf, &r);
                EXPECT_TRUE(heaps_are_whole());
                if (emf) {
                    write_wmf_file(emf, test_out_path("crafted.wmf").c_str());
                    DeleteEnhMetaFile(emf);
                }
            } else {
                HMETAFILE wmf = read_bytes_as_wmf(bits);
                if (wmf) {
                    play_wmf_checked_into(canvas, wmf);
                    DeleteMetaFile(wmf);
                }
            }
            EXPECT_TRUE(heaps_are_whole());
            ++played;
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    EXPECT_GT(played, 40);
}
