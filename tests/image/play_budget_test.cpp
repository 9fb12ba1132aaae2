// A play's budgets, seen by what the play leaves out: under a clock the
// test moves, each of the three players stops once past its time; under a
// clock that stands still, text that keeps each record's glyph budget is
// left out once the play's whole text passes its own.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "image/metafile.h"
#include "image/metafile_play.h"
#include "image/play_budget.h"
#include "gdi_canvas.h"

namespace {

DWORD g_now;

// Every look at the clock finds a quarter of a second gone: a play of
// 4.5 s ends some twenty records in.
DWORD WINAPI ticking_clock()
{
    return g_now += 250;
}

DWORD WINAPI standing_clock()
{
    return g_now;
}

class PlayBudgetTest : public ::testing::Test {
protected:
    void SetUp() override { g_now = 0; }
    void TearDown() override { set_play_clock(NULL); }
};

enum { BARS = 60, BAR_STRIDE = 4, BAR_HEIGHT = 8 };

// BARS black bars, each one record, one across each BAR_STRIDE pixels.
void draw_bars(HDC dc)
{
    SelectObject(dc, GetStockObject(NULL_PEN));
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    for (int i = 0; i < BARS; ++i)
        Rectangle(dc, i * BAR_STRIDE, 0, i * BAR_STRIDE + 3, BAR_HEIGHT + 1);
}

// An enhanced metafile of draw whose frame is the canvas in the screen's
// pixels, so that it plays into the canvas one unit a pixel.
template <typename Draw>
HENHMETAFILE record_emf(const GdiCanvas& canvas, Draw draw)
{
    HDC screen = GetDC(NULL);
    RECT frame = {0, 0, MulDiv(canvas.width, 100 * GetDeviceCaps(screen, HORZSIZE), GetDeviceCaps(screen, HORZRES)),
                  MulDiv(canvas.height, 100 * GetDeviceCaps(screen, VERTSIZE), GetDeviceCaps(screen, VERTRES))};
    ReleaseDC(NULL, screen);
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    draw(dc);
    return CloseEnhMetaFile(dc);
}

template <typename Draw>
HMETAFILE record_wmf(Draw draw)
{
    HDC dc = CreateMetaFileA(NULL);
    draw(dc);
    return CloseMetaFile(dc);
}

enum Player { ENHANCED, WINDOWS_QUIETLY, WINDOWS_WITH_PROGRESS };

// Whether the player reports the play whole.
template <typename Draw>
bool play(Player player, GdiCanvas& canvas, Draw draw)
{
    bool whole;
    if (player == ENHANCED) {
        HENHMETAFILE emf = record_emf(canvas, draw);
        RECT r = {0, 0, canvas.width, canvas.height};
        whole = play_emf_in_process(canvas.dc, emf, &r);
        DeleteEnhMetaFile(emf);
        return whole;
    }
    HMETAFILE wmf = record_wmf(draw);
    volatile LONG played = 0;
    if (player == WINDOWS_QUIETLY)
        whole = play_wmf_in_process(canvas.dc, wmf);
    else
        whole = play_wmf_records_in_process(canvas.dc, wmf, &played);
    DeleteMetaFile(wmf);
    return whole;
}

const struct {
    const char* name;
    Player player;
} PLAYERS[] = {
    {"enhanced", ENHANCED},
    {"Windows, repaint", WINDOWS_QUIETLY},
    {"Windows, record by record", WINDOWS_WITH_PROGRESS},
};

}  // namespace

// Each player asks the budget before every record: the first bars are
// drawn, and the play stops well before the last and is not whole. Within
// its time, the play is whole.
TEST_F(PlayBudgetTest, EveryPlayerStopsOncePastItsTime)
{
    for (const auto& p : PLAYERS) {
        SCOPED_TRACE(p.name);
        GdiCanvas within(BARS * BAR_STRIDE, BAR_HEIGHT);
        set_play_clock(standing_clock);
        EXPECT_TRUE(play(p.player, within, draw_bars));
        EXPECT_EQ(RGB(0, 0, 0), within.at((BARS - 1) * BAR_STRIDE + 1, BAR_HEIGHT / 2));
        set_play_clock(ticking_clock);
        GdiCanvas canvas(BARS * BAR_STRIDE, BAR_HEIGHT);
        EXPECT_FALSE(play(p.player, canvas, draw_bars));
        int drawn = 0;
        for (int i = 0; i < BARS; ++i)
            drawn += canvas.at(i * BAR_STRIDE + 1, BAR_HEIGHT / 2) == RGB(0, 0, 0);
        EXPECT_EQ(RGB(0, 0, 0), canvas.at(1, BAR_HEIGHT / 2));
        EXPECT_EQ(RGB(255, 255, 255), canvas.at((BARS - 1) * BAR_STRIDE + 1, BAR_HEIGHT / 2));
        EXPECT_GT(drawn, 5);
        EXPECT_LT(drawn, 30);
    }
}

// Text records of 30 distinct glyphs each, in a font as wide as the
// display's largest glyph: each keeps the budget of one record (32 such
// glyphs), and four of them together keep the play's (128), the fifth
// not. Each record fills its own band as it draws, so the bands show
// which records were played.
TEST_F(PlayBudgetTest, TextPastThePlaysGlyphBudgetIsLeftOut)
{
    enum { RECORDS = 8, BAND = 6, WIDTH = 64, KEPT = 4 };
    set_play_clock(standing_clock);
    auto draw_text = [](HDC dc) {
        HFONT font = CreateFontA(-4, 4096, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
        SelectObject(dc, font);
        SetBkColor(dc, RGB(255, 0, 0));
        const char* text = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
        for (int i = 0; i < RECORDS; ++i) {
            RECT band = {0, i * BAND, WIDTH, (i + 1) * BAND};
            ExtTextOutA(dc, 0, i * BAND, ETO_OPAQUE | ETO_CLIPPED, &band, text, 30, NULL);
        }
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    };
    for (Player player : {ENHANCED, WINDOWS_QUIETLY}) {
        SCOPED_TRACE(player == ENHANCED ? "enhanced" : "Windows");
        GdiCanvas canvas(WIDTH, RECORDS * BAND);
        EXPECT_FALSE(play(player, canvas, draw_text));
        for (int i = 0; i < RECORDS; ++i) {
            COLORREF band_pixel = canvas.at(WIDTH - 2, i * BAND + BAND / 2);
            if (i < KEPT)
                EXPECT_NE(RGB(255, 255, 255), band_pixel) << "band " << i;
            else
                EXPECT_EQ(RGB(255, 255, 255), band_pixel) << "band " << i;
        }
    }
}
