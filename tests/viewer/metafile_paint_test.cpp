// A metafile shown in a window is played once per size: the image window
// (plain and tiled) and the preview repaint from the pixels they kept,
// counted in renderer requests (pixels alone would pass with a play on
// every repaint, or a play per cell), and what a cut play left stays shown.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include <windows.h>

#include "image/background.h"
#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "support/seam_recorder.h"
#include "viewer/image_window.h"

namespace {

const COLORREF RED = RGB(255, 0, 0);

enum Road { IMAGE_WINDOW, TILED, PREVIEW };

struct PaintRow {
    const char* name;
    Road road;
    bool is_emf;
    bool cut;  // the play passes the renderer's time limit after its red square
    bool under_slideshow;  // the slideshow covers the window at its first paint
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

// A red square over the picture's top-left quarter (a frame about 38
// screen pixels square); when cut, then an inverted region of 3000
// rectangles a pixel wide, each a row lower and two pixels further right,
// which the player joins one at a time, far past the test's limit.
HANDLE record_picture(bool is_emf, bool cut)
{
    HDC dc = is_emf ? CreateEnhMetaFileA(NULL, NULL, NULL, NULL) : CreateMetaFileA(NULL);
    HBRUSH red = CreateSolidBrush(RED);
    HGDIOBJ old = SelectObject(dc, red);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, 20, 20);
    SelectObject(dc, old);
    DeleteObject(red);
    if (!is_emf)
        return CloseMetaFile(dc);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    if (!cut)
        return emf;
    std::string bytes(GetEnhMetaFileBits(emf, 0, NULL), '\0');
    GetEnhMetaFileBits(emf, (UINT)bytes.size(), (BYTE*)&bytes[0]);
    DeleteEnhMetaFile(emf);
    const uint32_t n = 3000;
    std::string r(60 + 16 * n, '\0');
    put32(r, 0, {EMR_INVERTRGN, (uint32_t)r.size(), 0, 0, 300, 300, 32 + 16 * n, 32, RDH_RECTANGLES, n, 16 * n});
    put32(r, 52, {2 * n, 2 * n});
    for (uint32_t i = 0; i < n; ++i)
        put32(r, 60 + 16 * i, {2 * i, i, 2 * i + 1, i + n});
    bytes.insert(bytes.size() - 20, r);  // before the end record
    const ENHMETAHEADER* header = (const ENHMETAHEADER*)bytes.data();
    put32(bytes, 48, {(uint32_t)bytes.size(), header->nRecords + 1});
    return SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
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

// Renderer requests of the paint the window has pending.
unsigned requests_of_paint(HWND hwnd)
{
    unsigned before = render_request_count();
    UpdateWindow(hwnd);
    return render_request_count() - before;
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
    HANDLE picture = record_picture(row.is_emf, row.cut);
    ASSERT_NE(picture, (HANDLE)NULL);
    g_hImage = (HGLOBAL)picture;
    g_imageKind = row.is_emf ? KIND_EMF : KIND_WMF;
    g_wmfHasPlaceable = 0;
    HBRUSH saved_brush = g_hBackgroundBrush;
    g_hBackgroundBrush = (HBRUSH)GetStockObject(WHITE_BRUSH);
    render_set_limits_for_test(row.cut ? 1000 : 0, 0);
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 40, 40, 200, 150, NULL,
                                NULL, wc.hInstance, NULL);
    g_hwndPreview = hwnd;

    if (row.under_slideshow) {
        // No one sees the preview under the show: a play there would be a
        // second play of each slide.
        g_hwndSlide = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0,
                                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                      wc.hInstance, NULL);
        EXPECT_EQ(requests_of_paint(hwnd), 0u) << "played under the slideshow";
        DestroyWindow(g_hwndSlide);
        g_hwndSlide = NULL;
        InvalidateRect(hwnd, NULL, TRUE);
    }
    int reds = 0, reds_again = 0, reds_resized = 0;
    EXPECT_EQ(requests_of_paint(hwnd), 1u) << "a tiled paint plays one cell";
    std::string first = capture(hwnd, &reds);
    EXPECT_GT(reds, 0);
    InvalidateRect(hwnd, NULL, TRUE);
    EXPECT_EQ(requests_of_paint(hwnd), 0u) << "a repaint at the same size plays nothing";
    EXPECT_TRUE(capture(hwnd, &reds_again) == first);
    EXPECT_EQ(reds_again, reds);
    SetWindowPos(hwnd, NULL, 0, 0, 260, 190, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(hwnd, NULL, TRUE);
    // A cut picture is not played again: what it left is shown scaled.
    EXPECT_EQ(requests_of_paint(hwnd), row.cut ? 0u : 1u);
    capture(hwnd, &reds_resized);
    EXPECT_GT(reds_resized, 0);
    EXPECT_EQ(seams.boxes.size(), row.cut ? 1u : 0u) << "a cut is said once";

    DestroyWindow(hwnd);
    render_set_limits_for_test(0, 0);
    forget_failed_metafiles(NULL);
    forget_metafile_views(NULL);
    if (row.is_emf)
        DeleteEnhMetaFile((HENHMETAFILE)picture);
    else
        DeleteMetaFile((HMETAFILE)picture);
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    g_hwndPreview = NULL;
    g_hBackgroundBrush = saved_brush;
}

INSTANTIATE_TEST_SUITE_P(Roads, MetafilePaint,
                         testing::Values(PaintRow{"image_window_emf", IMAGE_WINDOW, true, false},
                                         PaintRow{"image_window_wmf", IMAGE_WINDOW, false, false},
                                         PaintRow{"tiled_emf", TILED, true, false},
                                         PaintRow{"preview_emf", PREVIEW, true, false},
                                         PaintRow{"preview_wmf", PREVIEW, false, false},
                                         PaintRow{"image_window_cut", IMAGE_WINDOW, true, true},
                                         PaintRow{"preview_cut", PREVIEW, true, true},
                                         PaintRow{"preview_under_slideshow", PREVIEW, false, false, true}),
                         [](const testing::TestParamInfo<PaintRow>& info) { return std::string(info.param.name); });

}  // namespace
