// A metafile shown in a window is played once per size: the image window
// (plain and tiled) and the preview repaint from the pixels they kept,
// counted in renderer requests (pixels alone would pass with a play on
// every repaint, or a play per cell), and what a cut play left stays shown.
// A play cut at a new size does not replace a whole picture, and a new
// picture under the old one's handle value is played, not shown from the
// old pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "image/background.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_preview.h"
#include "image/metafile_renderer.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "resources/resource.h"
#include "support/dib_block.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "support/unhurried_renderer.h"
#include "tools/edit_history.h"
#include "viewer/image_window.h"
#include "viewer/merge_window.h"
#include "viewer/window_classes.h"

namespace {

const COLORREF RED = RGB(255, 0, 0), BLUE = RGB(0, 0, 255);

enum Road { IMAGE_WINDOW, TILED, PREVIEW };

enum Cut {
    WHOLE,
    SLOW,         // whole, in about a second: played with no limit near
    PAST_LIMIT,   // the play passes a 1 s limit after its red square
    PAST_BUDGET,  // the play passes a short budget of its own, under a time limit far past it
    SHORT_RECORD,  // a record of no size after the red square stops the play
};

// What comes after the first paint and its repaint.
enum Then {
    RESIZE,
    RESIZE_CUT,     // resized under a 1 ms limit: the new play is cut at the first look
    NEW_PICTURE,    // released as a load releases it; a black square under the same handle value
};

struct PaintRow {
    const char* name;
    Road road;
    bool is_emf;
    Cut cut;
    Then then;
    HWND* under = nullptr;  // the window (slideshow, full screen) that covers it at its first paint
    const char* placeable = nullptr;  // a placeable Windows metafile of the fixtures, read as the loader reads it
};

Road s_road;

LRESULT CALLBACK paint_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_PAINT)
        return DefWindowProcA(hwnd, msg, wp, lp);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT c;
    GetClientRect(hwnd, &c);
    FillRect(dc, &c, (HBRUSH)GetStockObject(WHITE_BRUSH));
    if (s_road == PREVIEW) {
        // The picture's rectangle in the preview, inside its frame lines.
        g_animDestX = g_animDestY = 6;
        g_animDestWidth = c.right - 12;
        g_animDestHeight = c.bottom - 12;
        show_metafile_in_preview(NULL, dc, 0);
    } else {
        paint_current_image(hwnd, dc, c, s_road == TILED ? 1 : 0);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

// Puts the 32-bit little-endian words from at.
void put32(std::string& s, size_t at, std::initializer_list<uint32_t> words)
{
    for (uint32_t v : words)
        for (int i = 0; i < 4; ++i, ++at)
            s[at] = (char)(v >> (8 * i));
}

// count inversions of a region of n rectangles a pixel wide, each a row
// lower and two pixels further right, which the player joins one at a
// time.
std::string inverted_regions(uint32_t count, uint32_t n)
{
    std::string r(60 + 16 * n, '\0');
    put32(r, 0, {EMR_INVERTRGN, (uint32_t)r.size(), 0, 0, 300, 300, 32 + 16 * n, 32, RDH_RECTANGLES, n, 16 * n});
    put32(r, 52, {2 * n, 2 * n});
    for (uint32_t i = 0; i < n; ++i)
        put32(r, 60 + 16 * i, {2 * i, i, 2 * i + 1, i + n});
    std::string all;
    for (uint32_t i = 0; i < count; ++i)
        all += r;
    return all;
}

void fill_square(HDC dc, COLORREF colour, int left, int top)
{
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ old = SelectObject(dc, brush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, left, top, left + 20, top + 20);
    SelectObject(dc, old);
    DeleteObject(brush);
}

// A red square over the picture's top-left quarter (a frame about 38
// screen pixels square); an enhanced one ends with a blue square over the
// bottom-right quarter. Between the two: slow, four inversions of 400
// rectangles, which cancel out; past the limit, one inversion of 3000
// rectangles, far past the test's limit; past the budget, eighty
// inversions of 400, some twenty seconds in all; a short record, one of
// 400 whose size is 0.
HANDLE record_picture(bool is_emf, Cut cut)
{
    HDC dc = is_emf ? CreateEnhMetaFileA(NULL, NULL, NULL, NULL) : CreateMetaFileA(NULL);
    fill_square(dc, RED, 0, 0);
    if (!is_emf)
        return CloseMetaFile(dc);
    fill_square(dc, BLUE, 19, 19);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    if (cut == WHOLE)
        return emf;
    std::string bytes(GetEnhMetaFileBits(emf, 0, NULL), '\0');
    GetEnhMetaFileBits(emf, (UINT)bytes.size(), (BYTE*)&bytes[0]);
    DeleteEnhMetaFile(emf);
    const uint32_t count = cut == PAST_LIMIT || cut == SHORT_RECORD ? 1 : cut == SLOW ? 4 : 80;
    std::string records = inverted_regions(count, cut == PAST_LIMIT ? 3000 : 400);
    if (cut == SHORT_RECORD)
        put32(records, 0, {EMR_SETBKMODE, 0});
    // After the red square's record.
    size_t at = 0;
    while (*(const uint32_t*)(bytes.data() + at) != EMR_RECTANGLE)
        at += *(const uint32_t*)(bytes.data() + at + 4);
    at += *(const uint32_t*)(bytes.data() + at + 4);
    bytes.insert(at, records);
    const ENHMETAHEADER* header = (const ENHMETAHEADER*)bytes.data();
    put32(bytes, 48, {(uint32_t)bytes.size(), header->nRecords + count});
    return SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
}

// The placeable Windows metafile of the fixtures as the loader reads it,
// its box and units kept as the current file's.
HANDLE read_placeable(const char* fixture)
{
    const std::string path = fixture_path(fixture);
    HFILE file = _lopen(path.c_str(), OF_READ);
    if (file == HFILE_ERROR)
        return NULL;
    return read_wmf_file(NULL, path.c_str(), file, NULL, 1, &g_rcMetafile, &g_wmfScale, &g_wmfPlaceableHeader);
}

// A black square made until it comes under the released picture's handle
// value, as a next file's may; null when the system never gives it.
HANDLE record_under_handle(HANDLE released)
{
    for (int i = 0; i < 5000; ++i) {
        HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
        SelectObject(dc, GetStockObject(BLACK_BRUSH));
        Rectangle(dc, 0, 0, 20, 20);
        HENHMETAFILE black = CloseEnhMetaFile(dc);
        if (black == released)
            return black;
        DeleteEnhMetaFile(black);
    }
    return NULL;
}

// The window's client pixels as the screen shows them, and how many are red.
std::string capture(HWND hwnd, int* reds)
{
    RECT c;
    GetClientRect(hwnd, &c);
    HDC dc = GetDC(hwnd);
    std::string pixels;
    *reds = 0;
    for (int y = 0; y < c.bottom; y += 2)
        for (int x = 0; x < c.right; x += 2) {
            COLORREF p = GetPixel(dc, x, y);
            pixels.append((const char*)&p, sizeof p);
            *reds += p == RED;
        }
    ReleaseDC(hwnd, dc);
    return pixels;
}

// The window's client pixels in full, and the box of those that are not
// white (the picture's, on a white background).
struct Shown {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // 0x00RRGGBB, row by row
    RECT drawn = {0, 0, 0, 0};
    COLORREF at(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

Shown capture_whole(HWND hwnd)
{
    Shown shown;
    RECT c;
    GetClientRect(hwnd, &c);
    shown.width = c.right;
    shown.height = c.bottom;
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), shown.width, -shown.height, 1, 32, BI_RGB};
    void* bits = NULL;
    HDC dc = GetDC(hwnd), memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shown.width, shown.height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* p = (const uint32_t*)bits;
    shown.pixels.assign(p, p + (size_t)shown.width * shown.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(hwnd, dc);
    SetRect(&shown.drawn, shown.width, shown.height, 0, 0);
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if ((shown.at(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                shown.drawn.left = std::min<LONG>(shown.drawn.left, x);
                shown.drawn.top = std::min<LONG>(shown.drawn.top, y);
                shown.drawn.right = std::max<LONG>(shown.drawn.right, x + 1);
                shown.drawn.bottom = std::max<LONG>(shown.drawn.bottom, y + 1);
            }
    return shown;
}

// Pixels of the picture shown after that lie outside every colour of the
// 3 x 3 pixels at the same place of the picture shown before, scaled from
// its box onto after's (a blend of neighbours, as a smooth scaling makes
// at edges, lies inside them).
int differing_from_scaled(const Shown& before, const Shown& after)
{
    const RECT &b = before.drawn, &a = after.drawn;
    if (a.right <= a.left || a.bottom <= a.top || b.right <= b.left || b.bottom <= b.top)
        return (int)after.pixels.size();
    int differing = 0;
    for (int y = a.top; y < a.bottom; ++y)
        for (int x = a.left; x < a.right; ++x) {
            int ox = b.left + (x - a.left) * (b.right - b.left) / (a.right - a.left);
            int oy = b.top + (y - a.top) * (b.bottom - b.top) / (a.bottom - a.top);
            bool inside = true;
            for (int shift = 0; shift < 24; shift += 8) {
                int low = 255, high = 0, v = (after.at(x, y) >> shift) & 0xFF;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        int nx = std::min(std::max(ox + dx, 0), before.width - 1);
                        int ny = std::min(std::max(oy + dy, 0), before.height - 1);
                        int n = (before.at(nx, ny) >> shift) & 0xFF;
                        low = std::min(low, n);
                        high = std::max(high, n);
                    }
                inside &= v >= low - 16 && v <= high + 16;
            }
            differing += !inside;
        }
    return differing;
}

// Renderer requests of the paint the window has pending.
unsigned requests_of_paint(HWND hwnd)
{
    unsigned before = render_request_count();
    UpdateWindow(hwnd);
    return render_request_count() - before;
}

// Whether window lies below cover in the z-order.
bool is_below(HWND window, HWND cover)
{
    for (HWND w = GetWindow(cover, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == window)
            return true;
    return false;
}

class MetafilePaint : public testing::TestWithParam<PaintRow> {};

TEST_P(MetafilePaint, PlaysOncePerSizeAndKeepsWhatACutLeft)
{
    const PaintRow& row = GetParam();
    SeamRecorder seams;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = paint_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "MetafilePaintTest";
    RegisterClassA(&wc);
    s_road = row.road;
    HANDLE picture = row.placeable ? read_placeable(row.placeable) : record_picture(row.is_emf, row.cut);
    ASSERT_NE(picture, (HANDLE)NULL);
    g_hImage = (HGLOBAL)picture;
    g_imageKind = row.is_emf ? KIND_EMF : KIND_WMF;
    g_wmfHasPlaceable = row.placeable != nullptr;
    HBRUSH saved_brush = g_hBackgroundBrush;
    g_hBackgroundBrush = (HBRUSH)GetStockObject(WHITE_BRUSH);
    // Only the cut a row is about ends a play, however busy the machine is:
    // no other limit lies near its picture's time.
    render_set_limits_for_test(row.cut == PAST_LIMIT ? 1000 : UnhurriedRenderer::LIMIT_MS, 0);
    render_set_play_budget_for_test(row.cut == SLOW         ? (DWORD)UnhurriedRenderer::LIMIT_MS
                                    : row.cut == PAST_BUDGET ? (DWORD)SHORT_PLAY_BUDGET_MS
                                                             : 0);
    // A covered window reaches past the screen's edge, as a maximised
    // window's frame does. It never takes the activation either: a window
    // of another test program closing on the shared display would hand it
    // over and raise it above its cover.
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | (row.under ? WS_EX_NOACTIVATE : 0), wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, row.under ? -20 : 40, 40,
                                200, 150, NULL, NULL, wc.hInstance, NULL);
    g_hwndPreview = hwnd;

    if (row.under) {
        // No one sees a window under the show or full screen: a play there
        // would be a second play of each picture.
        // Shown without taking the activation: on a busy display the
        // window below could otherwise be raised again by the focus events
        // the hand-over brings, and the test would not be of a covered one.
        // Transparent to Wine's raise of an exposed window: the window
        // below is exposed when it is shown, and on a busy machine that
        // expose is read only once the cover is up; Wine then puts the
        // exposed window above every window over it that is not
        // transparent. The program reads the same z-order either way.
        *row.under = CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT, "STATIC", "", WS_POPUP, 0, 0,
                                     GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                     wc.hInstance, NULL);
        SetWindowPos(*row.under, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ASSERT_TRUE(is_below(hwnd, *row.under));
        EXPECT_EQ(requests_of_paint(hwnd), 0u) << "played out of sight";
        EXPECT_TRUE(is_below(hwnd, *row.under)) << "the cover stayed over the window while it painted";
        DestroyWindow(*row.under);
        *row.under = NULL;
        InvalidateRect(hwnd, NULL, TRUE);
    }
    const bool is_cut = row.cut == PAST_LIMIT || row.cut == PAST_BUDGET || row.cut == SHORT_RECORD;
    int reds = 0, reds_again = 0, reds_then = 0;
    EXPECT_EQ(requests_of_paint(hwnd), 1u) << "a tiled paint plays one cell";
    if (row.cut == PAST_BUDGET)
        EXPECT_EQ(render_last_cut(), RENDER_CUT_PLAY_TIME) << "the play's own budget ends it, within the outer limit";
    std::string first = capture(hwnd, &reds);
    const Shown whole = capture_whole(hwnd);
    EXPECT_GT(reds, 0);
    InvalidateRect(hwnd, NULL, TRUE);
    EXPECT_EQ(requests_of_paint(hwnd), 0u) << "a repaint at the same size plays nothing";
    EXPECT_TRUE(capture(hwnd, &reds_again) == first);
    EXPECT_EQ(reds_again, reds);
    if (row.then == NEW_PICTURE) {
        release_current_image();
        picture = record_under_handle(picture);
        ASSERT_NE(picture, (HANDLE)NULL);
        g_hImage = (HGLOBAL)picture;
        g_imageKind = KIND_EMF;
        InvalidateRect(hwnd, NULL, TRUE);
        EXPECT_EQ(requests_of_paint(hwnd), 1u) << "a new picture is played";
        capture(hwnd, &reds_then);
        EXPECT_EQ(reds_then, 0) << "the old picture's pixels are not shown";
    } else {
        if (row.then == RESIZE_CUT)
            render_set_limits_for_test(1, 0);
        SetWindowPos(hwnd, NULL, 0, 0, 260, 190, SWP_NOMOVE | SWP_NOZORDER);
        InvalidateRect(hwnd, NULL, TRUE);
        // A cut picture is not played again: what it left is shown scaled.
        EXPECT_EQ(requests_of_paint(hwnd), is_cut ? 0u : 1u);
        capture(hwnd, &reds_then);
        EXPECT_GT(reds_then, 0);
        if (row.then == RESIZE_CUT) {
            // The whole picture scaled, not what the cut play drew.
            const Shown resized = capture_whole(hwnd);
            EXPECT_LE(differing_from_scaled(whole, resized),
                      (resized.drawn.right - resized.drawn.left) + (resized.drawn.bottom - resized.drawn.top));
        }
        InvalidateRect(hwnd, NULL, TRUE);
        EXPECT_EQ(requests_of_paint(hwnd), 0u) << "nor is it played again at a size it was cut at";
    }
    EXPECT_EQ(seams.boxes.size(), is_cut ? 1u : 0u) << "a cut is said once, and only a cut";
    // A play past the time it is given says so; it is no damaged file.
    if (is_cut && !seams.boxes.empty()) {
        EXPECT_EQ(seams.boxes[0].text, row.cut == SHORT_RECORD ? "Unable to read metafile bits"
                                                               : "Unable to play metafile in the time allowed");
    }

    DestroyWindow(hwnd);
    render_set_limits_for_test(0, 0);
    render_set_play_budget_for_test(0);
    forget_failed_metafiles(NULL);
    forget_metafile_views(NULL);
    if (row.is_emf)
        DeleteEnhMetaFile((HENHMETAFILE)picture);
    else
        DeleteMetaFile((HMETAFILE)picture);
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    g_wmfHasPlaceable = 0;
    g_hwndPreview = NULL;
    g_hBackgroundBrush = saved_brush;
}

INSTANTIATE_TEST_SUITE_P(Roads, MetafilePaint,
                         testing::Values(PaintRow{"image_window_emf", IMAGE_WINDOW, true, WHOLE, RESIZE},
                                         PaintRow{"image_window_wmf", IMAGE_WINDOW, false, WHOLE, RESIZE},
                                         PaintRow{"tiled_emf", TILED, true, WHOLE, RESIZE},
                                         PaintRow{"preview_emf", PREVIEW, true, WHOLE, RESIZE},
                                         PaintRow{"preview_wmf", PREVIEW, false, WHOLE, RESIZE},
                                         PaintRow{"image_window_cut", IMAGE_WINDOW, true, PAST_LIMIT, RESIZE},
                                         PaintRow{"preview_cut", PREVIEW, true, PAST_LIMIT, RESIZE},
                                         PaintRow{"image_window_cut_by_budget", IMAGE_WINDOW, true, PAST_BUDGET, RESIZE},
                                         PaintRow{"preview_cut_by_short_record", PREVIEW, true, SHORT_RECORD, RESIZE},
                                         PaintRow{"image_window_cut_at_new_size", IMAGE_WINDOW, true, SLOW, RESIZE_CUT},
                                         PaintRow{"preview_cut_at_new_size", PREVIEW, true, SLOW, RESIZE_CUT},
                                         PaintRow{"preview_new_picture_same_handle", PREVIEW, true, WHOLE, NEW_PICTURE},
                                         PaintRow{"preview_under_slideshow", PREVIEW, false, WHOLE, RESIZE, &g_hwndSlide},
                                         PaintRow{"image_window_under_slideshow", IMAGE_WINDOW, true, WHOLE, RESIZE,
                                                  &g_hwndSlide},
                                         PaintRow{"image_window_under_full_screen", IMAGE_WINDOW, false, WHOLE, RESIZE,
                                                  &g_hwndFull},
                                         PaintRow{"image_window_placeable_box_inverted", IMAGE_WINDOW, false, WHOLE,
                                                  RESIZE, nullptr, "hostile/WMF-placeable-box-inverted.wmf"}),
                         [](const testing::TestParamInfo<PaintRow>& info) { return std::string(info.param.name); });

// The image pixels the Merge window shows at 100 %, centred, as red,
// green, blue bytes from the top row.
std::string shown_image(HWND hwnd, int width, int height)
{
    RECT c;
    GetClientRect(hwnd, &c);
    const int left = (c.right - width) / 2, top = (c.bottom - height) / 2;
    HDC dc = GetDC(hwnd);
    std::string pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            COLORREF p = GetPixel(dc, left + x, top + y);
            pixels += {(char)GetRValue(p), (char)GetGValue(p), (char)GetBValue(p)};
        }
    ReleaseDC(hwnd, dc);
    return pixels;
}

std::string image_pixels(HGLOBAL image)
{
    DibBlock dib(image, false);
    std::string pixels;
    for (int y = 0; y < abs(dib.bih->biHeight); ++y)
        for (int x = 0; x < dib.bih->biWidth; ++x) {
            uint8_t p[4];
            dib.rgba(x, y, p);
            pixels += {(char)p[0], (char)p[1], (char)p[2]};
        }
    return pixels;
}

// Sends a mouse message at image pixel (x, y) of the Merge window at 100 %.
void mouse_at(UINT msg, WPARAM keys, int x, int y, int width, int height)
{
    RECT c;
    GetClientRect(g_hwndMerge, &c);
    SendMessageA(g_hwndMerge, msg, keys, MAKELPARAM((c.right - width) / 2 + x, (c.bottom - height) / 2 + y));
    UpdateWindow(g_hwndMerge);
}

// The Merge window lays a metafile source over the image from the pixels
// it kept: a repaint or a drag plays nothing, and what it shows is what the
// merge then writes, a record that inverts what lies under it included.
TEST(MergeWindowPaint, RepaintsAndDragsFromKeptPixelsAsTheMergeDraws)
{
    InitCommonControls();
    register_window_classes(GetModuleHandleA(NULL));
    SeamRecorder seams;
    seams.answers.push_back(IDYES);  // "Merge Image from Clipboard?"
    clear_edit_history();
    HWND saved_main = g_hwndMain;
    g_hwndMain = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    const int W = 64, H = 48;
    g_hImage = make_dib(W, H, 24);
    g_imageKind = KIND_DIB;
    {
        DibBlock dib(g_hImage, false);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                BYTE* p = dib.row(y) + 3 * x;
                p[0] = (BYTE)(x * 4), p[1] = (BYTE)(y * 5), p[2] = (BYTE)((x ^ y) * 3);
            }
    }
    HDC rec = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    HBRUSH red = CreateSolidBrush(RED);
    HGDIOBJ old = SelectObject(rec, red);
    SelectObject(rec, GetStockObject(NULL_PEN));
    Rectangle(rec, 0, 0, 20, 16);
    PatBlt(rec, 10, 8, 20, 16, DSTINVERT);
    SelectObject(rec, old);
    DeleteObject(red);
    ASSERT_TRUE(OpenClipboard(g_hwndMain));
    EmptyClipboard();
    SetClipboardData(CF_ENHMETAFILE, CloseEnhMetaFile(rec));
    CloseClipboard();

    start_merge_tool(g_hwndMain, 1);
    ASSERT_TRUE(is_window_open(g_hwndMerge));
    const unsigned before = render_request_count();
    mouse_at(WM_MOUSEMOVE, 0, 1, 1, W, H);  // asks for the source
    ASSERT_NE(g_hMergeImage, (HGLOBAL)NULL);
    const unsigned shown = render_request_count() - before;
    EXPECT_GE(shown, 1u);
    // Drag the source by (20, 10), then let it go and click beside it,
    // which drops the grab frame.
    mouse_at(WM_LBUTTONDOWN, MK_LBUTTON, 2, 2, W, H);
    for (int step = 1; step <= 4; ++step)
        mouse_at(WM_MOUSEMOVE, MK_LBUTTON, 2 + 5 * step, 2 + 5 * step / 2, W, H);
    mouse_at(WM_LBUTTONUP, 0, 22, 12, W, H);
    mouse_at(WM_LBUTTONDOWN, MK_LBUTTON, W - 2, 2, W, H);
    mouse_at(WM_LBUTTONUP, 0, W - 2, 2, W, H);
    InvalidateRect(g_hwndMerge, NULL, FALSE);
    UpdateWindow(g_hwndMerge);
    EXPECT_EQ(render_request_count() - before, shown) << "a drag and a repaint play nothing";
    EXPECT_EQ(g_rcMerge.left * 100 + g_rcMerge.top, 2010);
    const std::string window = shown_image(g_hwndMerge, W, H);
    SendMessageA(g_hwndMerge, WM_COMMAND, IDM_MERGE_ACCEPT, 0);
    EXPECT_FALSE(is_window_open(g_hwndMerge));
    const std::string merged = image_pixels(g_hImage);
    int differ = 0, first_differ = -1;
    for (size_t i = 0; i < window.size() && i < merged.size(); i += 3)
        if (window.compare(i, 3, merged, i, 3) != 0 && differ++ == 0)
            first_differ = (int)i / 3;
    EXPECT_EQ(differ, 0) << "the window showed what the merge wrote; first at " << first_differ % W << ","
                         << first_differ / W;
    EXPECT_TRUE(seams.boxes.size() == 1u) << "the clipboard question only";

    clear_edit_history();
    GlobalFree(g_hImage);
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    OpenClipboard(NULL);
    EmptyClipboard();
    CloseClipboard();
    DestroyWindow(g_hwndMain);
    g_hwndMain = saved_main;
}

}  // namespace
