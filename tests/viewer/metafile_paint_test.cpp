// A metafile shown in a window is played once per size: the image window
// (plain and tiled) and the preview repaint from the pixels they kept,
// counted in renderer requests (pixels alone would pass with a play on
// every repaint, or a play per cell), and what a cut play left stays shown.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <windows.h>

#include "image/background.h"
#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/metafile_view.h"
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

void put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = (char)(v >> (8 * i));
}

// An inverted region of n rectangles a pixel wide, each a row lower and
// two pixels further right: the player joins them one at a time, each
// join walking all the bands so far, and 3000 take it far past any limit
// a test sets.
std::string staggered_inversion(uint32_t n)
{
    std::string r(8 + 16 + 4 + 32 + 16 * n, '\0');
    put32(r, 0, EMR_INVERTRGN);
    put32(r, 4, (uint32_t)r.size());
    put32(r, 16, 300);
    put32(r, 20, 300);
    put32(r, 24, 32 + 16 * n);
    put32(r, 28, 32);
    put32(r, 32, RDH_RECTANGLES);
    put32(r, 36, n);
    put32(r, 40, 16 * n);
    put32(r, 52, 2 * n);
    put32(r, 56, 2 * n);
    for (uint32_t i = 0; i < n; ++i) {
        size_t at = 60 + 16 * i;
        put32(r, at, 2 * i);
        put32(r, at + 4, i);
        put32(r, at + 8, 2 * i + 1);
        put32(r, at + 12, i + n);
    }
    return r;
}

// A red square over the picture's top-left quarter, on a frame about 38
// screen pixels square; when cut, an inversion follows that no play
// within the test's limit finishes.
HANDLE record_picture(bool is_emf, bool cut)
{
    auto draw = [](HDC dc) {
        HBRUSH red = CreateSolidBrush(RED);
        HGDIOBJ old = SelectObject(dc, red);
        SelectObject(dc, GetStockObject(NULL_PEN));
        Rectangle(dc, 0, 0, 33, 33);
        SelectObject(dc, old);
        DeleteObject(red);
    };
    if (!is_emf) {
        HDC mf = CreateMetaFileA(NULL);
        draw(mf);
        return CloseMetaFile(mf);
    }
    RECT frame = {0, 0, 1000, 1000};
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 64, 64, NULL);
    SetViewportExtEx(dc, 64, 64, NULL);
    draw(dc);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    if (!cut)
        return emf;
    UINT size = GetEnhMetaFileBits(emf, 0, NULL);
    std::string bytes(size, '\0');
    GetEnhMetaFileBits(emf, size, (BYTE*)&bytes[0]);
    DeleteEnhMetaFile(emf);
    const size_t end_record = 20;
    bytes.insert(bytes.size() - end_record, staggered_inversion(3000));
    put32(bytes, 48, (uint32_t)bytes.size());
    ENHMETAHEADER* header = (ENHMETAHEADER*)&bytes[0];
    put32(bytes, 52, header->nRecords + 1);
    return SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
}

struct Capture {
    std::string pixels;
    int reds = 0;
};

// The window's client pixels as the screen shows them.
Capture capture(HWND hwnd)
{
    RECT c;
    GetClientRect(hwnd, &c);
    HDC dc = GetDC(hwnd);
    Capture out;
    for (int y = 0; y < c.bottom; y += 2)
        for (int x = 0; x < c.right; x += 2) {
            COLORREF p = GetPixel(dc, x, y);
            out.pixels.append((const char*)&p, sizeof p);
            out.reds += p == RED;
        }
    ReleaseDC(hwnd, dc);
    return out;
}

// Requests the paints the window has now send to the renderer.
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
    if (row.cut)
        render_set_limits_for_test(1000, 0);
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 40, 40, 200, 150, NULL,
                                NULL, wc.hInstance, NULL);
    ASSERT_NE(hwnd, (HWND)NULL);
    g_hwndPreview = hwnd;

    EXPECT_EQ(requests_of_paint(hwnd), 1u) << "a tiled paint plays one cell";
    Capture first = capture(hwnd);
    EXPECT_GT(first.reds, 0);
    EXPECT_EQ(seams.boxes.size(), row.cut ? 1u : 0u);

    InvalidateRect(hwnd, NULL, TRUE);
    EXPECT_EQ(requests_of_paint(hwnd), 0u) << "a repaint at the same size plays nothing";
    Capture again = capture(hwnd);
    EXPECT_EQ(again.reds, first.reds);
    EXPECT_TRUE(again.pixels == first.pixels);

    SetWindowPos(hwnd, NULL, 0, 0, 260, 190, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(hwnd, NULL, TRUE);
    // A cut picture is not played again: what it left is shown scaled.
    EXPECT_EQ(requests_of_paint(hwnd), row.cut ? 0u : 1u);
    EXPECT_GT(capture(hwnd).reds, 0);
    EXPECT_EQ(seams.boxes.size(), row.cut ? 1u : 0u) << "said once";

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
                                         PaintRow{"preview_cut", PREVIEW, true, true}),
                         [](const testing::TestParamInfo<PaintRow>& info) { return std::string(info.param.name); });

}  // namespace
