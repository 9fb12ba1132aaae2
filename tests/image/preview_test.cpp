// Preview layout (where an image of extreme size lands in the square
// preview) and the image painters (metafiles tiled into an area, DIBs tiled
// in a window). The frame lines, centred pictures and an animation's canvas
// are checked as a person sees them in tests/e2e.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include <windows.h>

#include "image/background.h"
#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_preview.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "image/progress.h"
#include "viewer/status_bar.h"
#include "gdi_canvas.h"
#include "support/dib_block.h"
#include "support/test_support.h"

static const COLORREF RED = RGB(255, 0, 0);
static const COLORREF BLUE = RGB(0, 0, 255);
static const COLORREF WHITE = RGB(255, 255, 255);

static void expect_dest(int x, int y, int w, int h)
{
    EXPECT_EQ(x, g_animDestX);
    EXPECT_EQ(y, g_animDestY);
    EXPECT_EQ(w, g_animDestWidth);
    EXPECT_EQ(h, g_animDestHeight);
}

class PreviewLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetRect(&g_rcPreview, 3, 3, 300, 300);
        g_hdcPreview = NULL;
        g_imageKind = KIND_DIB;
        g_undoPending = 0;
    }
    void TearDown() override
    {
        g_hdcPreview = NULL;
        g_imageKind = KIND_NONE;
    }
};

TEST_F(PreviewLayout, ExtremeAspectsStayInsideThePreview)
{
    fit_image_rect(100000, 1, 0);
    expect_dest(3, 151, 300, 0);
    fit_image_rect(1, INT_MAX, 0);
    expect_dest(151, 3, 0, 300);
    fit_image_rect(INT_MAX, INT_MAX - 1, 0);
    expect_dest(3, 3, 300, 297);
}

// A 24-bit image whose top `top_rows` rows are one colour and the rest another.
static HGLOBAL two_band_dib(int w, int h, int top_rows, COLORREF top, COLORREF bottom)
{
    HGLOBAL hDib = create_packed_dib(w, h, 24, 0);
    DibBlock dib(hDib, false);
    for (int y = 0; y < h; ++y)  // y counts bottom-up
        for (int x = 0; x < w; ++x) {
            COLORREF c = y >= h - top_rows ? top : bottom;
            BYTE* px = dib.row(y) + 3 * x;
            px[0] = GetBValue(c);
            px[1] = GetGValue(c);
            px[2] = GetRValue(c);
        }
    return hDib;
}

// 100 x 100 of red with a blue 10 x 10 top-left corner.
static HMETAFILE make_marked_wmf()
{
    HDC mf = CreateMetaFileA(NULL);
    SetWindowOrgEx(mf, 0, 0, NULL);
    SetWindowExtEx(mf, 100, 100, NULL);
    HBRUSH red = CreateSolidBrush(RED), blue = CreateSolidBrush(BLUE);
    SelectObject(mf, GetStockObject(NULL_PEN));
    SelectObject(mf, red);
    Rectangle(mf, 0, 0, 101, 101);
    SelectObject(mf, blue);
    Rectangle(mf, 0, 0, 11, 11);
    HMETAFILE h = CloseMetaFile(mf);
    DeleteObject(red);
    DeleteObject(blue);
    return h;
}

class PlayWmfInRect : public ::testing::Test {
protected:
    HMETAFILE wmf = NULL;
    void SetUp() override
    {
        wmf = make_marked_wmf();
        ASSERT_TRUE(wmf);
        g_hImage = (HGLOBAL)wmf;
        g_wmfFirstPlay = 0;
    }
    void TearDown() override
    {
        DeleteMetaFile(wmf);
        g_hImage = NULL;
        g_wmfFirstPlay = 0;
    }
};

TEST_F(PlayWmfInRect, TilesAreCentredAsABlock)
{
    GdiCanvas canvas(100, 100);
    play_wmf_in_rect(NULL, canvas.dc, 100, 100, 30, 30, 1);
    // 3 x 3 tiles of 30 from (5, 5); each has its blue corner (3 x 3 here).
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            EXPECT_EQ(BLUE, canvas.at(5 + 30 * column + 1, 5 + 30 * row + 1));
            EXPECT_EQ(RED, canvas.at(5 + 30 * column + 20, 5 + 30 * row + 20));
        }
    EXPECT_EQ(WHITE, canvas.at(2, 50));
    EXPECT_EQ(WHITE, canvas.at(97, 97));
}

// A placeable file whose records set no window (tests/fixtures/
// make_metafile.sh): its box, 1000 units from (100, 200) at 1000 units per
// inch, is mapped onto each 96-pixel picture, centred or tiled as the
// image window places it, and the blue square over its middle half shows.
TEST(PlaceableWmfInRect, BoxIsMappedOntoEachPictureWithoutAWindowRecord)
{
    std::string path = fixture_path("metafile/placeable_no_window.wmf");
    OFSTRUCT of;
    HFILE file = OpenFile(path.c_str(), &of, OF_READ);
    ASSERT_NE(HFILE_ERROR, file);
    RECT bounds;
    DWORD inch;
    HMETAFILE wmf = read_wmf_file(NULL, path.c_str(), file, NULL, 1, &bounds, &inch, &g_wmfPlaceableHeader);
    ASSERT_TRUE(wmf);
    g_hImage = (HGLOBAL)wmf;
    g_wmfHasPlaceable = 1;
    g_wmfFirstPlay = 0;
    const struct {
        const char* name;
        uint32_t tile;
        int corner, pictures;  // of the first picture, across and down
    } cases[] = {{"centred", 0, 52, 1}, {"tiled", 1, 4, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GdiCanvas canvas(200, 200);
        play_wmf_in_rect(NULL, canvas.dc, 200, 200, 96, 96, c.tile);
        for (int row = 0; row < c.pictures; ++row)
            for (int column = 0; column < c.pictures; ++column) {
                int x = c.corner + 96 * column, y = c.corner + 96 * row;
                EXPECT_EQ(BLUE, canvas.at(x + 48, y + 48));
                EXPECT_EQ(BLUE, canvas.at(x + 30, y + 66));
                EXPECT_EQ(WHITE, canvas.at(x + 10, y + 48));
                EXPECT_EQ(WHITE, canvas.at(x + 48, y + 86));
            }
    }
    g_hImage = NULL;
    g_wmfHasPlaceable = 0;
    DeleteMetaFile(wmf);
}

// A visible popup without a background of its own, read back through its DC.
class PaintInWindow : public ::testing::Test {
protected:
    HWND hwnd = NULL;
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "PreviewTestPaint";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(WS_EX_TOPMOST, "PreviewTestPaint", "", WS_POPUP | WS_VISIBLE, 0, 0,
                               120, 250, NULL, NULL, wc.hInstance, NULL);
        ASSERT_TRUE(hwnd);
        UpdateWindow(hwnd);
        HDC hdc = GetDC(hwnd);
        RECT rc = {0, 0, 120, 250};
        FillRect(hdc, &rc, (HBRUSH)GetStockObject(BLACK_BRUSH));
        ReleaseDC(hwnd, hdc);
    }
    void TearDown() override
    {
        DestroyWindow(hwnd);
        g_hwndView = NULL;
        g_viewStatusHeight = 0;
        g_imageKind = KIND_NONE;
    }
    COLORREF at(int x, int y)
    {
        HDC hdc = GetDC(hwnd);
        COLORREF c = GetPixel(hdc, x, y);
        ReleaseDC(hwnd, hdc);
        return c;
    }
};

TEST_F(PaintInWindow, TiledRowsEndWithTheTopOfTheImage)
{
    HGLOBAL hDib = two_band_dib(50, 100, 50, RED, BLUE);  // top half red
    {
        DibBlock dib(hDib, false);
        paint_dib_in_window(dib.bih, hwnd, NULL, 1, 0);
    }
    // Rows at 0, 100 (100 high) and 200 (50 high, the image's top 50 rows).
    EXPECT_EQ(RED, at(10, 20));
    EXPECT_EQ(BLUE, at(10, 70));
    EXPECT_EQ(RED, at(110, 120));  // the third column is cut at the edge
    EXPECT_EQ(BLUE, at(60, 180));
    EXPECT_EQ(RED, at(10, 210));
    EXPECT_EQ(RED, at(10, 249));
    GlobalFree(hDib);
}
