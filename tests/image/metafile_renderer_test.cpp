// The metafile renderer: a player that crashes, stalls or swells is cut
// from outside, the program keeps what was drawn and says so once, the
// next play starts a fresh renderer, and a conversion cut writes nothing.
// The files that set the system's player off are recorded here with GDI's
// own recorder, which only stores the records.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include "image/current_image.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_compare.h"
#include "image/metafile_play.h"
#include "image/metafile_renderer.h"
#include "support/dib_block.h"
#include "support/import_hook.h"
#include "support/large_metafile.h"
#include "support/peak_memory.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "support/unhurried_renderer.h"
#include "gdi_canvas.h"

static const COLORREF RED = RGB(255, 0, 0);
static const COLORREF WHITE = RGB(255, 255, 255);

enum { SIDE = 64 };

// A red square over the canvas's top-left quarter, then what draw records
// under a window of 1 x 1 unit: played on a viewport of SIDE pixels, a unit
// is SIDE device pixels.
template <typename Draw>
static HMETAFILE record_wmf(Draw draw)
{
    HDC mf = CreateMetaFileA(NULL);
    SetWindowOrgEx(mf, 0, 0, NULL);
    SetWindowExtEx(mf, SIDE, SIDE, NULL);
    HBRUSH red = CreateSolidBrush(RED);
    HGDIOBJ old = SelectObject(mf, red);
    SelectObject(mf, GetStockObject(NULL_PEN));
    Rectangle(mf, 0, 0, SIDE / 2 + 1, SIDE / 2 + 1);
    SelectObject(mf, GetStockObject(BLACK_PEN));
    SelectObject(mf, GetStockObject(NULL_BRUSH));
    SetWindowExtEx(mf, 1, 1, NULL);
    draw(mf);
    SelectObject(mf, old);
    DeleteObject(red);
    return CloseMetaFile(mf);
}

// Plays through the renderer onto a canvas mapped as the preview maps a
// plain metafile.
static RenderOutcome play_on(GdiCanvas& c, HMETAFILE wmf)
{
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetViewportExtEx(c.dc, SIDE, SIDE, NULL);
    RenderOutcome outcome = render_wmf(c.dc, wmf, 0);
    SetMapMode(c.dc, MM_TEXT);
    return outcome;
}

class MetafileRenderer : public ::testing::Test {
protected:
    SeamRecorder seams;
    void TearDown() override
    {
        render_set_limits_for_test(0, 0);
        render_set_play_budget_for_test(0);
    }
};

// A red square over the top-left quarter of a frame of SIDE x SIDE
// (0.01 mm, the reference device's pixels aside), then what draw records.
template <typename Draw>
static std::string record_emf_bytes(Draw draw)
{
    RECT frame = {0, 0, 1000, 1000};
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, SIDE, SIDE, NULL);
    SetViewportExtEx(dc, SIDE, SIDE, NULL);
    HBRUSH red = CreateSolidBrush(RED);
    HGDIOBJ old = SelectObject(dc, red);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, SIDE / 2 + 1, SIDE / 2 + 1);
    SelectObject(dc, old);
    DeleteObject(red);
    draw(dc);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    UINT size = GetEnhMetaFileBits(emf, 0, NULL);
    std::string bytes(size, '\0');
    GetEnhMetaFileBits(emf, size, (BYTE*)&bytes[0]);
    DeleteEnhMetaFile(emf);
    return bytes;
}

static void put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = (char)(v >> (8 * i));
}
static uint32_t get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= (uint32_t)(uint8_t)s[at + i] << (8 * i);
    return v;
}

// The metafile with record put before its end record.
static HENHMETAFILE with_record(std::string bytes, const std::string& record)
{
    const size_t eof = bytes.size() - 20;
    bytes.insert(eof, record);
    put32(bytes, 48, (uint32_t)bytes.size());
    put32(bytes, 52, get32(bytes, 52) + 1);
    return SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
}

static std::string stripes_clip(uint32_t count, bool down, uint32_t mode)
{
    std::string r(16 + 32 + 16 * count, '\0');
    put32(r, 0, EMR_EXTSELECTCLIPRGN);
    put32(r, 4, (uint32_t)r.size());
    put32(r, 8, 32 + 16 * count);
    put32(r, 12, mode);
    put32(r, 16, 32);
    put32(r, 20, RDH_RECTANGLES);
    put32(r, 24, count);
    put32(r, 28, 16 * count);
    put32(r, 40, 2 * count);
    put32(r, 44, 2 * count);
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = 48 + 16 * i;
        put32(r, at, down ? 2 * i : 0);
        put32(r, at + 4, down ? 0 : 2 * i);
        put32(r, at + 8, down ? 2 * i + 1 : 2 * count);
        put32(r, at + 12, down ? 2 * count : 2 * i + 1);
    }
    return r;
}

static RenderOutcome play_emf_on(GdiCanvas& c, HENHMETAFILE emf)
{
    RECT r = {0, 0, SIDE, SIDE};
    return render_emf(c.dc, emf, &r);
}

static int end_own_renderers(void);

static HENHMETAFILE emf_of(const std::string& bytes)
{
    return SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
}

// What each limit catches, and that the picture drawn before the cut (the
// red quarter) is kept and the next play, in a fresh renderer, is whole.
TEST_F(MetafileRenderer, CutsACrashAStallAndASwellKeepingWhatWasDrawn)
{
    std::string base = record_emf_bytes([](HDC) {});
    const struct {
        const char* name;
        DWORD time_limit;
        RenderCut cut;
        RenderCut or_cut;  // another limit the same fault may pass first
        std::function<RenderOutcome(GdiCanvas&)> play;
    } cases[] = {
        // The system's ellipse stepping writes past its point buffer on an
        // arc millions of device pixels across, and the renderer dies; on a
        // busy machine its memory may be seen past the ceiling first.
        {"arc", 60000, RENDER_CUT_DEATH, RENDER_CUT_MEMORY, [](GdiCanvas& c) {
             HMETAFILE wmf = record_wmf([](HDC mf) { Arc(mf, -30000, -30000, 30000, 30000, 30000, 0, -30000, 0); });
             RenderOutcome outcome = play_on(c, wmf);
             DeleteMetaFile(wmf);
             return outcome;
         }},
        // An ellipse ten million device pixels across never ends.
        {"ellipse", 1000, RENDER_CUT_TIME, RENDER_CUT_TIME, [](GdiCanvas& c) {
             HENHMETAFILE emf = emf_of(record_emf_bytes([](HDC dc) {
                 SelectObject(dc, GetStockObject(GRAY_BRUSH));
                 Ellipse(dc, -5000000, -5000000, 5000000, 5000000);
             }));
             RenderOutcome outcome = play_emf_on(c, emf);
             DeleteEnhMetaFile(emf);
             return outcome;
         }},
        // Two crossed clips of 5,000 stripes each make 25 million rectangles.
        {"stripes", 60000, RENDER_CUT_MEMORY, RENDER_CUT_MEMORY, [&base](GdiCanvas& c) {
             HENHMETAFILE emf =
                 with_record(base, stripes_clip(5000, false, RGN_COPY) + stripes_clip(5000, true, RGN_AND));
             RenderOutcome outcome = play_emf_on(c, emf);
             DeleteEnhMetaFile(emf);
             return outcome;
         }},
    };
    HENHMETAFILE sound = with_record(base, "");
    // Between records a slow machine would reach the play's budget first.
    render_set_play_budget_for_test(UnhurriedRenderer::LIMIT_MS);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        render_set_limits_for_test(k.time_limit, 0);
        GdiCanvas cut(SIDE, SIDE);
        EXPECT_EQ(RENDER_CUT, k.play(cut));
        RenderCut seen = render_last_cut();
        EXPECT_TRUE(seen == k.cut || seen == k.or_cut) << seen;
        EXPECT_EQ(RED, cut.at(2, 2));
        EXPECT_EQ(WHITE, cut.at(SIDE - 2, SIDE - 2));
        render_set_limits_for_test(0, 0);
        GdiCanvas next(SIDE, SIDE);
        EXPECT_EQ(RENDER_WHOLE, play_emf_on(next, sound));
        EXPECT_EQ(RED, next.at(2, 2));
        EXPECT_EQ(WHITE, next.at(SIDE - 2, SIDE - 2));
    }
    DeleteEnhMetaFile(sound);
    EXPECT_TRUE(seams.boxes.empty());
}

// A play the renderer's own budget stops, by its time or by text past the
// glyph budget, comes back cut, from a renderer that serves the next play
// as it is; so does one whose rules leave out a record that draws (a fill
// too costly for the display, a record never played), while one that
// leaves out a record drawing nothing is whole.
TEST_F(MetafileRenderer, APlayTheBudgetStopsComesBackCut)
{
    std::string base = record_emf_bytes([](HDC) {});
    const std::string pairs = read_file_bytes(fixture_path("hostile/EMF-inverted-pairs-before-40-squares.emf"));
    ASSERT_FALSE(pairs.empty());
    // 30 distinct glyphs a record, as wide as the display draws: eight such
    // records pass the play's glyph budget (128 of them).
    std::string text = record_emf_bytes([](HDC dc) {
        HFONT font = CreateFontA(-4, 4096, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
        SelectObject(dc, font);
        for (int i = 0; i < 8; ++i)
            TextOutA(dc, 0, i * 6, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd", 30);
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    });
    std::string no_rule(8, '\0');
    put32(no_rule, 0, 0x7FFF);
    put32(no_rule, 4, 8);
    std::string open_gl(8, '\0');
    put32(open_gl, 0, EMR_GLSRECORD);
    put32(open_gl, 4, 8);
    const std::string polygon = read_file_bytes(fixture_path("hostile/EMF-polygon16-16000-points-crossing-every-row.emf"));
    ASSERT_FALSE(polygon.empty());
    const struct {
        const char* name;
        HENHMETAFILE emf;
        int side;
        RenderOutcome outcome;
        RenderCut cut;
    } cases[] = {
        // Eighty region inversions: some twenty seconds to play whole, under
        // a short budget.
        {"time", emf_of(pairs), 300, RENDER_CUT, RENDER_CUT_PLAY_TIME},
        {"glyphs", emf_of(text), SIDE, RENDER_CUT, RENDER_CUT_BUDGET},
        {"a record without a rule", with_record(base, no_rule), SIDE, RENDER_WHOLE, RENDER_CUT_NONE},
        {"a fill too costly for the display", emf_of(polygon), 300, RENDER_CUT, RENDER_CUT_BUDGET},
        {"an OpenGL record, never played", with_record(base, open_gl), SIDE, RENDER_CUT, RENDER_CUT_BUDGET},
    };
    // Only the budget may end these plays.
    render_set_limits_for_test(120000, 0);
    HENHMETAFILE sound = emf_of(base);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_NE((HENHMETAFILE)NULL, k.emf);
        GdiCanvas c(k.side, k.side);
        RECT r = {0, 0, k.side, k.side};
        render_set_play_budget_for_test(!strcmp(k.name, "time") ? SHORT_PLAY_BUDGET_MS : 0);
        EXPECT_EQ(k.outcome, render_emf(c.dc, k.emf, &r));
        render_set_play_budget_for_test(0);
        EXPECT_EQ(k.cut, render_last_cut());
        // The last of the forty squares, drawn after the last inversions.
        if (!strcmp(k.name, "time")) {
            EXPECT_EQ(WHITE, c.at(7 * 39 + 4, 287));
        }
        DeleteEnhMetaFile(k.emf);
        GdiCanvas next(SIDE, SIDE);
        EXPECT_EQ(RENDER_WHOLE, play_emf_on(next, sound));
        EXPECT_EQ(RED, next.at(2, 2));
    }
    DeleteEnhMetaFile(sound);
    // A Windows metafile's polygon too costly to fill, as the preview of a
    // plain one maps it.
    std::string zigzag = read_file_bytes(fixture_path("hostile/WMF-polygon-16000-points-crossing-every-row.wmf"));
    HMETAFILE wmf = SetMetaFileBitsEx((UINT)zigzag.size(), (const BYTE*)zigzag.data());
    ASSERT_NE((HMETAFILE)NULL, wmf);
    GdiCanvas c(300, 300);
    EXPECT_EQ(RENDER_CUT, render_wmf(c.dc, wmf, 0));
    DeleteMetaFile(wmf);
}

// The renderer reproduces the destination: its mapping and brush origin
// shifted to the area's corner, its clip, a world transform, and areas
// larger than one band in several (the seam of two falls off the hatch's
// 8-pixel step). Compared with the checked player in this process.
TEST_F(MetafileRenderer, DrawsAsThePlayerInProcessDrawsWhereverTheAreaLies)
{
    HENHMETAFILE emf = emf_of(record_emf_bytes([](HDC dc) {
        // A hatch is laid from the brush origin in device pixels: it
        // matches only if each band's origin moves with the band.
        HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 255));
        SelectObject(dc, hatch);
        SelectObject(dc, GetStockObject(NULL_PEN));
        Rectangle(dc, 0, SIDE / 2, SIDE, SIDE + 1);
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(GRAY_BRUSH));
        DeleteObject(hatch);
        Ellipse(dc, SIDE / 4, SIDE / 4, SIDE, SIDE * 3 / 4);
        MoveToEx(dc, 0, SIDE, NULL);
        LineTo(dc, SIDE, 0);
    }));
    const struct {
        const char* name;
        int width, height;
        RECT target;
        POINT origin;
        RECT clip;  // empty: none
        bool rotated;
    } cases[] = {
        {"plain", 200, 150, {10, 20, 190, 140}, {0, 0}, {0, 0, 0, 0}, false},
        {"shifted and clipped", 200, 150, {0, 0, 150, 120}, {30, 17}, {25, 40, 170, 101}, false},
        {"rotated", 160, 160, {20, 20, 140, 140}, {0, 0}, {0, 0, 0, 0}, true},
        // Ten million pixels: two bands.
        {"two bands", 4000, 2500, {0, 0, 4000, 2500}, {0, 0}, {0, 0, 0, 0}, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        GdiCanvas expected(k.width, k.height, RGB(0, 128, 0)), actual(k.width, k.height, RGB(0, 128, 0));
        for (GdiCanvas* c : {&expected, &actual}) {
            SetViewportOrgEx(c->dc, k.origin.x, k.origin.y, NULL);
            if (k.clip.right)
                IntersectClipRect(c->dc, k.clip.left, k.clip.top, k.clip.right, k.clip.bottom);
            if (k.rotated) {
                SetGraphicsMode(c->dc, GM_ADVANCED);
                XFORM turn = {0.8f, 0.6f, -0.6f, 0.8f, 60.0f, -20.0f};
                SetWorldTransform(c->dc, &turn);
            }
        }
        play_emf_in_process(expected.dc, emf, &k.target);
        EXPECT_EQ(RENDER_WHOLE, render_emf(actual.dc, emf, &k.target));
        EXPECT_EQ(0, expected.count_differences(actual));
    }
    DeleteEnhMetaFile(emf);
}

// The first cut of the current image says once that it cannot be shown
// whole; repaints then leave it out, until it is loaded anew.
TEST_F(MetafileRenderer, ACutIsSaidOnceAndTheMetafileNotPlayedAgainUntilLoaded)
{
    HMETAFILE wmf = record_wmf([](HDC mf) { Arc(mf, -30000, -30000, 30000, 30000, 30000, 0, -30000, 0); });
    HGLOBAL saved_image = g_hImage;
    g_hImage = (HGLOBAL)wmf;
    auto repaint = [&](GdiCanvas& c) {
        SetMapMode(c.dc, MM_ANISOTROPIC);
        SetViewportExtEx(c.dc, SIDE, SIDE, NULL);
        play_wmf(c.dc, wmf);
    };
    GdiCanvas first(SIDE, SIDE), again(SIDE, SIDE), reloaded(SIDE, SIDE);
    repaint(first);
    ASSERT_EQ(1u, seams.boxes.size());
    // The system's player ends the renderer on this arc: that is said, not
    // blamed on the file.
    EXPECT_EQ("The metafile renderer ended before it finished", seams.boxes[0].text);
    EXPECT_EQ("(null)", seams.boxes[0].caption);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONSTOP), seams.boxes[0].type);
    EXPECT_EQ(RED, first.at(2, 2));
    EXPECT_TRUE(metafile_play_failed(wmf));

    repaint(again);
    EXPECT_EQ(1u, seams.boxes.size());
    EXPECT_EQ(WHITE, again.at(2, 2));

    forget_failed_metafiles(NULL);
    repaint(reloaded);
    EXPECT_EQ(2u, seams.boxes.size());
    EXPECT_EQ(RED, reloaded.at(2, 2));
    forget_failed_metafiles(NULL);
    g_hImage = saved_image;
    DeleteMetaFile(wmf);
}

// With no renderer to be had nothing is drawn, and that is said once, not
// passed over as a picture that drew nothing nor blamed on the file. The renderer is looked for
// beside the program only: this test program's folder has none, though the
// build tree above it does.
TEST_F(MetafileRenderer, APictureNoRendererCanTakeIsSaidOnce)
{
    HENHMETAFILE emf = with_record(record_emf_bytes([](HDC) {}), "");
    std::string missing = test_out_path("NoSuchRenderer.exe");
    for (const char* renderer : {missing.c_str(), (const char*)NULL}) {
        SCOPED_TRACE(renderer ? renderer : "beside the program");
        render_set_file_for_test(renderer);
        GdiCanvas first(SIDE, SIDE), again(SIDE, SIDE);
        EXPECT_EQ(RENDER_NOT_PLAYED, play_emf_on(first, emf));
        RECT r = {0, 0, SIDE, SIDE};
        play_emf(again.dc, emf, &r);
        play_emf(again.dc, emf, &r);
        ASSERT_EQ(1u, seams.boxes.size());
        EXPECT_EQ("The metafile renderer could not be started", seams.boxes[0].text);
        EXPECT_EQ(WHITE, again.at(2, 2));
        forget_failed_metafiles(NULL);
        seams.boxes.clear();
    }
    use_built_renderer();
    DeleteEnhMetaFile(emf);
}

// A conversion the renderer does not finish writes nothing: the file in
// place stays as it was, and one past the renderer's time is refused as
// such.
TEST_F(MetafileRenderer, ACutConversionLeavesTheFileInPlace)
{
    // A conversion of half a minute.
    HENHMETAFILE emf = GetEnhMetaFileA(fixture_path("hostile/EMF-region-fills-past-a-conversion.emf").c_str());
    ASSERT_NE((HENHMETAFILE)NULL, emf);
    HENHMETAFILE sound = emf_of(record_emf_bytes([](HDC) {}));
    std::string path = test_out_path("cut_conversion.wmf");
    ASSERT_TRUE(write_file_bytes(path, "the file before"));
    // Past the limit at the first look the program takes.
    render_set_limits_for_test(1, 0);
    EXPECT_EQ(METAFILE_WRITE_TOO_SLOW, write_wmf_file(emf, path.c_str()));
    EXPECT_EQ(RENDER_CUT_TIME, render_last_cut());
    EXPECT_EQ("the file before", read_file_bytes(path));
    render_set_limits_for_test(0, 0);
    EXPECT_EQ(1, write_wmf_file(sound, path.c_str()));
    EXPECT_NE("the file before", read_file_bytes(path));
    DeleteEnhMetaFile(sound);
    DeleteEnhMetaFile(emf);
}

// A chart of 1,000 pixels: a white ground, grey grid lines every 100
// pixels, a caption of Arial smoothed or not, and what draw adds.
static void draw_chart(HDC dc, const wchar_t* caption, bool smoothed, int shift)
{
    RECT ground = {0, 0, 1000, 1000};
    FillRect(dc, &ground, (HBRUSH)GetStockObject(WHITE_BRUSH));
    HPEN grey = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
    HGDIOBJ old_pen = SelectObject(dc, grey);
    for (int at = 100; at < 1000; at += 100) {
        MoveToEx(dc, at + shift, 0, NULL);
        LineTo(dc, at + shift, 1000);
        MoveToEx(dc, 0, at + shift, NULL);
        LineTo(dc, 1000, at + shift);
    }
    SelectObject(dc, old_pen);
    DeleteObject(grey);
    HFONT font = CreateFontW(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             smoothed ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY, 0, L"Arial");
    HGDIOBJ old_font = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 330 + shift, 40 + shift, caption, (int)wcslen(caption));
    SelectObject(dc, old_font);
    DeleteObject(font);
}

// A 1-pixel pen of style, its dashes (user style) or dots, along a row.
static void draw_styled_line(HDC dc, DWORD style, int y)
{
    static const DWORD dashes[2] = {8, 8};
    LOGBRUSH black = {BS_SOLID, RGB(0, 0, 0), 0};
    HPEN pen = ExtCreatePen(PS_COSMETIC | style, 1, &black, style == PS_USERSTYLE ? 2 : 0,
                            style == PS_USERSTYLE ? dashes : NULL);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 150, y, NULL);
    LineTo(dc, 850, y);
    SelectObject(dc, old);
    DeleteObject(pen);
}

static const wchar_t CAPTION[] = L"\x041f\x0440\x043e\x0434\x0430\x0436\x0438";  // "Prodazhi" in Cyrillic

// What the comparison of a conversion takes for the same picture: edges a
// pixel or two apart, a gap a pixel wide between two shapes that the
// other's rounding closed, as the two kinds of metafile round coordinates,
// and a glyph's edge smoothed otherwise; not a thin line lost over a plain
// ground, nor a shape moved or of another colour, nor a dash pattern drawn
// solid, nor another caption: in a picture of 96 pixels or of 1,000.
TEST_F(MetafileRenderer, TheComparisonTakesRoundingForTheSamePicture)
{
    auto fill = [](HDC dc, int l, int t, int r, int b, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT box = {l, t, r, b};
        FillRect(dc, &box, brush);
        DeleteObject(brush);
    };
    auto chart = [](HDC dc) { draw_chart(dc, CAPTION, true, 0); };
    const struct {
        const char* name;
        std::function<void(HDC)> source, result;
        bool is_same;
        LONG side;
    } rows[] = {
        {"an edge a pixel off", [&](HDC dc) { fill(dc, 10, 10, 60, 60, RED); },
         [&](HDC dc) { fill(dc, 11, 10, 61, 61, RED); }, true, 0},
        {"a gap closed", [&](HDC dc) { fill(dc, 0, 0, 96, 96, WHITE); fill(dc, 0, 0, 47, 96, RED);
                                       fill(dc, 48, 48, 96, 96, RGB(0, 0, 255)); },
         [&](HDC dc) { fill(dc, 0, 0, 96, 96, WHITE); fill(dc, 0, 0, 48, 96, RED);
                       fill(dc, 48, 48, 96, 96, RGB(0, 0, 255)); }, true, 0},
        {"a thin line lost", [&](HDC dc) { fill(dc, 0, 0, 96, 96, WHITE); fill(dc, 10, 40, 86, 41, RED); },
         [&](HDC dc) { fill(dc, 0, 0, 96, 96, WHITE); }, false, 0},
        {"a shape moved", [&](HDC dc) { fill(dc, 10, 10, 40, 40, RED); },
         [&](HDC dc) { fill(dc, 20, 20, 50, 50, RED); }, false, 0},
        {"another colour", [&](HDC dc) { fill(dc, 10, 10, 40, 40, RED); },
         [&](HDC dc) { fill(dc, 10, 10, 40, 40, RGB(0, 0, 255)); }, false, 0},
        {"a chart a pixel off, its caption smoothed", chart,
         [&](HDC dc) { draw_chart(dc, CAPTION, true, 1); }, true, 1000},
        {"a chart, an edge a pixel off", [&](HDC dc) { chart(dc); fill(dc, 300, 300, 500, 420, RED); },
         [&](HDC dc) { chart(dc); fill(dc, 301, 301, 501, 421, RED); }, true, 1000},
        {"a mark moved 15 pixels, onto a grid line", [&](HDC dc) { chart(dc); fill(dc, 285, 500, 295, 510, RED); },
         [&](HDC dc) { chart(dc); fill(dc, 300, 500, 310, 510, RED); }, false, 1000},
        {"a curve of 60 pixels lost", [&](HDC dc) { chart(dc); Arc(dc, 420, 620, 480, 680, 480, 650, 420, 650); },
         chart, false, 1000},
        {"a Bezier line a pixel wide and 90 long lost", [&](HDC dc) {
             chart(dc); POINT p[4] = {{605, 705}, {635, 690}, {665, 720}, {695, 705}}; PolyBezier(dc, p, 4); },
         chart, false, 1000},
        {"a dashed line drawn solid", [&](HDC dc) { chart(dc); draw_styled_line(dc, PS_USERSTYLE, 850); },
         [&](HDC dc) { chart(dc); draw_styled_line(dc, PS_SOLID, 850); }, false, 1000},
        {"a dotted line drawn solid", [&](HDC dc) { chart(dc); draw_styled_line(dc, PS_ALTERNATE, 850); },
         [&](HDC dc) { chart(dc); draw_styled_line(dc, PS_SOLID, 850); }, false, 1000},
        {"a window origin of 15 pixels lost", chart, [&](HDC dc) { draw_chart(dc, CAPTION, true, 15); }, false, 1000},
        {"a caption of question marks", chart, [&](HDC dc) { draw_chart(dc, L"???????", true, 0); }, false, 1000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const LONG side = row.side ? row.side : 96;
        ComparisonPlay source, result;
        ASSERT_TRUE(begin_comparison_play(&source, side, side));
        ASSERT_TRUE(begin_comparison_play(&result, side, side));
        row.source(source.dc);
        row.result(result.dc);
        GdiFlush();
        EXPECT_EQ(row.is_same, comparison_plays_match(&source, &result));
        end_comparison_play(&source);
        end_comparison_play(&result);
    }
}

// A restore of a state the file did not save does in the renderer what the
// system's player does with the file on a fresh device context: it
// restores nothing, and what the file selected before it draws. The state
// the renderer gives a play is not one a record can restore.
TEST_F(MetafileRenderer, ARestoreOfAStateTheFileDidNotSaveRestoresNothing)
{
    for (const char* name : {"restore-unsaved-back-one-red", "restore-unsaved-back-two-red",
                             "restore-unsaved-level-one-red", "restore-own-level-one-red"}) {
        for (bool is_emf : {true, false}) {
            const std::string file = fixture_path(std::string("hostile/") + (is_emf ? "EMF-" : "WMF-") + name +
                                                  (is_emf ? ".emf" : ".wmf"));
            SCOPED_TRACE(file);
            const std::string bytes = read_file_bytes(file);
            GdiCanvas rendered(SIDE, SIDE), system(SIDE, SIDE);
            if (is_emf) {
                HENHMETAFILE emf = emf_of(bytes);
                EXPECT_EQ(RENDER_WHOLE, play_emf_on(rendered, emf));
                RECT r = {0, 0, SIDE, SIDE};
                PlayEnhMetaFile(system.dc, emf, &r);
                DeleteEnhMetaFile(emf);
            } else {
                HMETAFILE wmf = SetMetaFileBitsEx((UINT)bytes.size(), (const BYTE*)bytes.data());
                EXPECT_EQ(RENDER_WHOLE, play_on(rendered, wmf));
                SetMapMode(system.dc, MM_ANISOTROPIC);
                SetViewportExtEx(system.dc, SIDE, SIDE, NULL);
                PlayMetaFile(system.dc, wmf);
                DeleteMetaFile(wmf);
            }
            EXPECT_EQ(RED, rendered.at(SIDE / 2, SIDE / 2));
            EXPECT_EQ(0, rendered.count_differences(system));
        }
    }
    EXPECT_TRUE(seams.boxes.empty());
}

// An object the system makes nothing of (a hatch past its styles, a
// pattern of run-length bits, a cosmetic pen five wide, a pen style past
// its own) would leave the records that select it drawing with the blue
// objects before: the play is cut there, said once, and the conversion
// refused as the play of a picture that cannot be had whole.
TEST_F(MetafileRenderer, AnEnhancedCreateTheSystemRefusesCutsThePlay)
{
    const std::string path = test_out_path("refused_create.wmf");
    for (const char* name : {"brush-hatch-12", "dibpatternbrush-rle8", "extcreatepen-cosmetic-5-wide",
                             "extcreatepen-style-9"}) {
        SCOPED_TRACE(name);
        HENHMETAFILE emf = emf_of(read_file_bytes(fixture_path(std::string("hostile/EMF-") + name + "-after-blue.emf")));
        ASSERT_NE((HENHMETAFILE)NULL, emf);
        GdiCanvas c(SIDE, SIDE);
        EXPECT_EQ(RENDER_CUT, play_emf_on(c, emf));
        EXPECT_EQ(METAFILE_UNREADABLE, render_fault(RENDER_CUT));
        EXPECT_EQ(WHITE, c.at(SIDE / 2, SIDE / 2));
        RECT r = {0, 0, SIDE, SIDE};
        play_emf(c.dc, emf, &r);
        play_emf(c.dc, emf, &r);
        ASSERT_TRUE(write_file_bytes(path, "the file before"));
        EXPECT_EQ(METAFILE_WRITE_CUT, write_wmf_file(emf, path.c_str()));
        EXPECT_EQ("the file before", read_file_bytes(path));
        forget_failed_metafiles(NULL);
        DeleteEnhMetaFile(emf);
    }
    // One box for each picture's plays; the writer's refusal is its caller's to say.
    EXPECT_EQ(4u, seams.boxes.size());
}

// An enhanced metafile of a 1-inch frame (the reference device's pixels
// aside) of what draw records.
template <typename Draw>
static HENHMETAFILE record_inch_emf(Draw draw)
{
    RECT frame = {0, 0, 2540, 2540};
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    draw(dc);
    return CloseEnhMetaFile(dc);
}

// A red brush selected into dc, and the pen taken away: a shape draws red.
static void select_red(HDC dc)
{
    SelectObject(dc, CreateSolidBrush(RED));
    SelectObject(dc, GetStockObject(NULL_PEN));
}

// What the system's conversion to a Windows metafile loses of these
// pictures (a window origin of their own, a clip path, a curve, a turn,
// the colours of a pattern, a blend) would be written as another
// picture. Where the program's own conversion draws it the same, that is
// written; otherwise the conversion is refused in words of its own, and
// the file in place is kept. The same shapes without them convert.
TEST_F(MetafileRenderer, AConversionThatWouldShowAnotherPictureIsRefused)
{
    const struct {
        const char* name;
        std::function<void(HDC)> draw;
        bool is_same;
    } pictures[] = {
        {"its own window origin", [](HDC dc) { SetWindowOrgEx(dc, 1000, 2000, NULL); select_red(dc);
                                              Rectangle(dc, 1020, 2020, 1070, 2070); }, true},
        {"an ellipse clip path", [](HDC dc) { BeginPath(dc); Ellipse(dc, 10, 10, 80, 80); EndPath(dc);
                                             SelectClipPath(dc, RGN_COPY); select_red(dc);
                                             Rectangle(dc, 0, 0, 96, 96); }, true},
        {"a curve", [](HDC dc) { SelectObject(dc, CreatePen(PS_SOLID, 3, RED));
                                POINT p[4] = {{10, 80}, {30, 0}, {60, 96}, {85, 10}}; PolyBezier(dc, p, 4); }, true},
        {"a turn", [](HDC dc) { SetGraphicsMode(dc, GM_ADVANCED); XFORM turn = {0.7071f, 0.7071f, -0.7071f, 0.7071f, 48, 0};
                               SetWorldTransform(dc, &turn); select_red(dc); Rectangle(dc, 0, 0, 60, 30); }, true},
        {"a blend of a half-clear bitmap", [](HDC dc) {
             const DWORD pixels[4] = {0x80800000, 0x80800000, 0x80800000, 0x80800000};
             BITMAPINFOHEADER bih = {sizeof bih, 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
             void* bits = NULL;
             HBITMAP bitmap = CreateDIBSection(dc, (BITMAPINFO*)&bih, DIB_RGB_COLORS, &bits, NULL, 0);
             memcpy(bits, pixels, sizeof pixels);
             HDC source = CreateCompatibleDC(NULL);
             HGDIOBJ old = SelectObject(source, bitmap);
             BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
             GdiAlphaBlend(dc, 10, 10, 70, 70, source, 0, 0, 2, 2, blend);
             SelectObject(source, old);
             DeleteDC(source);
             DeleteObject(bitmap); }, false},
        {"a pattern brush of a bit, in the text and background colours", [](HDC dc) {
             static const WORD stripes[8] = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
             HBITMAP pattern = CreateBitmap(8, 8, 1, 1, stripes);
             SetTextColor(dc, RED);
             SetBkColor(dc, RGB(0, 0, 255));
             SelectObject(dc, CreatePatternBrush(pattern));
             DeleteObject(pattern);
             Rectangle(dc, 0, 0, 96, 96); }, true},
        {"a font of the least height", [](HDC dc) {
             SelectObject(dc, CreateFontA(INT32_MIN, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial"));
             SetTextColor(dc, RED);
             TextOutA(dc, 10, 10, "A", 1); }, false},
        {"the same shapes alone", [](HDC dc) { select_red(dc); Rectangle(dc, 20, 20, 70, 70);
                                              SelectObject(dc, CreatePen(PS_SOLID, 3, RED)); Ellipse(dc, 5, 5, 90, 60); }, true},
    };
    const std::string path = test_out_path("another_picture.wmf");
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.name);
        HENHMETAFILE emf = record_inch_emf(picture.draw);
        ASSERT_TRUE(write_file_bytes(path, "the file before"));
        int written = write_wmf_file(emf, path.c_str());
        if (picture.is_same) {
            EXPECT_EQ(1, written) << render_last_cut();
        } else {
            EXPECT_EQ(METAFILE_NOT_THE_SAME, metafile_write_fault(written)) << written;
            EXPECT_EQ("the file before", read_file_bytes(path));
        }
        DeleteEnhMetaFile(emf);
    }
    EXPECT_EQ(std::string("The converted metafile would not show the same picture"),
              metafile_fault_words(METAFILE_NOT_THE_SAME));
}

// The current file made a placeable Windows metafile of the box
// (0, 0, side, side) in units per inch.
static void place_current_wmf(SHORT side, WORD units_per_inch)
{
    memset(&g_wmfPlaceableHeader, 0, sizeof g_wmfPlaceableHeader);
    g_wmfPlaceableHeader.right = side;
    g_wmfPlaceableHeader.bottom = side;
    g_wmfPlaceableHeader.units_per_inch = units_per_inch;
    g_wmfHasPlaceable = 1;
}

// The system's conversions of sound pictures are written, whatever their
// size: a line of smoothed Arial in a box of 2,540, 1,200 or 600 units per
// inch, or "Hello" over a bitmap underline; a chart at 1,000 pixels, with
// a window origin of its own 15 pixels off or a Cyrillic caption, which
// the system's conversion would shift or turn into question marks: the
// program's own conversion writes it as shown.
TEST_F(MetafileRenderer, ASoundPictureIsConvertedAtAnySize)
{
    const std::string path = test_out_path("sound_picture.emf");
    const struct {
        WORD units;
        bool is_underlined;
    } texts[] = {{2540, false}, {1200, false}, {600, false}, {600, true}};
    for (const auto& text : texts) {
        const WORD units = text.units;
        const bool is_underlined = text.is_underlined;
        SCOPED_TRACE(std::to_string(units) + (is_underlined ? " underlined" : ""));
        HDC mf = CreateMetaFileA(NULL);
        HFONT font = CreateFontA(-units / 4, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                                 "Arial");
        SelectObject(mf, font);
        TextOutA(mf, units / 8, units / 8, is_underlined ? "Hello" : "Smoothed text", is_underlined ? 5 : 13);
        if (is_underlined) {
            // "Hello" over an underline of a blue bitmap.
            GdiCanvas line(8, 1);
            RECT all = {0, 0, 8, 1};
            HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
            FillRect(line.dc, &all, blue);
            DeleteObject(blue);
            StretchBlt(mf, units / 8, units / 2, units, units / 32, line.dc, 0, 0, 8, 1, SRCCOPY);
        }
        HMETAFILE wmf = CloseMetaFile(mf);
        DeleteObject(font);
        place_current_wmf((SHORT)(units * 3), units);
        EXPECT_EQ(1, write_emf_file(wmf, path.c_str())) << render_last_cut();
        DeleteMetaFile(wmf);
    }
    g_wmfHasPlaceable = 0;

    const std::string wmf_path = test_out_path("sound_picture.wmf");
    const struct {
        const wchar_t* caption;
        int origin;
    } charts[] = {{L"Sales", 0}, {L"Sales", 15}, {CAPTION, 0}};
    for (const auto& chart : charts) {
        SCOPED_TRACE(std::to_string(chart.origin) + (chart.caption == CAPTION ? ", Cyrillic" : ""));
        RECT frame = {0, 0, 26458, 26458};  // 1,000 pixels at 96 per inch
        HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
        SetWindowOrgEx(dc, chart.origin, chart.origin, NULL);
        draw_chart(dc, chart.caption, false, chart.origin);
        HENHMETAFILE emf = CloseEnhMetaFile(dc);
        ASSERT_TRUE(write_file_bytes(wmf_path, "the file before"));
        EXPECT_EQ(1, write_wmf_file(emf, wmf_path.c_str())) << render_last_cut();
        DeleteEnhMetaFile(emf);
    }
}

// A picture of a frame of a unit is compared as it is shown, fitted to
// the preview: the enhanced metafile of a placeable one of 1 x 1 units
// (a red square) becomes a Windows metafile that shows the red square,
// or none; never a blank one. A picture that scales is shown at the size
// it was given, in width and in height.
TEST_F(MetafileRenderer, ATinyFrameIsComparedAsItIsShown)
{
    HDC mf = CreateMetaFileA(NULL);
    select_red(mf);
    Rectangle(mf, 0, 0, 2, 2);
    HMETAFILE wmf = CloseMetaFile(mf);
    place_current_wmf(1, 1440);
    const std::string emf_path = test_out_path("tiny.emf"), wmf_path = test_out_path("tiny.wmf");
    const int converted = write_emf_file(wmf, emf_path.c_str());
    g_wmfHasPlaceable = 0;
    DeleteMetaFile(wmf);
    HENHMETAFILE emf = NULL;
    if (converted == 1) {
        emf = GetEnhMetaFileA(emf_path.c_str());
    } else {
        // Refused as the picture it would show: a frame of a unit, drawn
        // red, stands for it.
        EXPECT_EQ(METAFILE_NOT_THE_SAME, metafile_write_fault(converted)) << converted;
        RECT frame = {0, 0, 2, 2};
        HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
        select_red(dc);
        Rectangle(dc, 0, 0, 2, 2);
        emf = CloseEnhMetaFile(dc);
    }
    ASSERT_NE((HENHMETAFILE)NULL, emf);
    GdiCanvas shown(SIDE, SIDE);
    RECT whole = {0, 0, SIDE, SIDE};
    PlayEnhMetaFile(shown.dc, emf, &whole);
    ASSERT_EQ(RED, shown.at(SIDE / 2, SIDE / 2));
    ASSERT_TRUE(write_file_bytes(wmf_path, "the file before"));
    int written = write_wmf_file(emf, wmf_path.c_str());
    DeleteEnhMetaFile(emf);
    if (written != 1) {
        EXPECT_EQ(METAFILE_NOT_THE_SAME, metafile_write_fault(written)) << written;
        EXPECT_EQ("the file before", read_file_bytes(wmf_path));
    } else {
        const std::string bytes = read_file_bytes(wmf_path);
        ASSERT_GT(bytes.size(), sizeof(WmfPlaceableHeader));
        WmfPlaceableHeader box;
        memcpy(&box, bytes.data(), sizeof box);
        HMETAFILE result = SetMetaFileBitsEx((UINT)(bytes.size() - sizeof box), (const BYTE*)bytes.data() + sizeof box);
        GdiCanvas c(SIDE, SIDE);
        SetMapMode(c.dc, MM_ANISOTROPIC);
        map_placeable_box(c.dc, &box);
        SetViewportExtEx(c.dc, SIDE, SIDE, NULL);
        PlayMetaFile(c.dc, result);
        DeleteMetaFile(result);
        EXPECT_EQ(RED, c.at(SIDE / 2, SIDE / 2));
    }

    HDC reference = CreateCompatibleDC(NULL);
    const RECT extent = {0, 0, 10160, 5080};
    const struct {
        RECT frame;
        bool is_shown;
    } frames[] = {{{0, 0, 10160, 5080}, true}, {{0, 0, 10160, 7620}, false}, {{0, 0, 7620, 5080}, false}};
    for (const auto& row : frames)
        EXPECT_EQ(row.is_shown, frame_shows_extent(&row.frame, &extent, reference)) << row.frame.right << " x "
                                                                                    << row.frame.bottom;
    DeleteDC(reference);
}

// Ends the renderer as soon as the conversion that the test thread waits
// on has been sent to it.
static DWORD WINAPI end_renderer_once_sent(LPVOID requests_before)
{
    while (render_request_count() == (unsigned)(ULONG_PTR)requests_before)
        Sleep(1);
    end_own_renderers();
    return 0;
}

// A renderer that ends in the middle of a conversion writes nothing, and
// that is said as it is: the file is not blamed.
TEST_F(MetafileRenderer, AConversionWhoseRendererEndsSaysSo)
{
    HENHMETAFILE emf = GetEnhMetaFileA(fixture_path("hostile/EMF-region-fills-past-a-conversion.emf").c_str());
    ASSERT_NE((HENHMETAFILE)NULL, emf);
    const std::string path = test_out_path("renderer_ended.wmf");
    ASSERT_TRUE(write_file_bytes(path, "the file before"));
    UnhurriedRenderer unhurried;
    HANDLE killer = CreateThread(NULL, 0, end_renderer_once_sent, (LPVOID)(ULONG_PTR)render_request_count(), 0, NULL);
    int written = write_wmf_file(emf, path.c_str());
    WaitForSingleObject(killer, INFINITE);
    CloseHandle(killer);
    EXPECT_EQ(METAFILE_RENDERER_ENDED, metafile_write_fault(written)) << written;
    EXPECT_EQ(std::string("The metafile renderer ended before it finished"),
              metafile_fault_words(metafile_write_fault(written)));
    EXPECT_EQ("the file before", read_file_bytes(path));
    DeleteEnhMetaFile(emf);
}

// The Windows metafile's bytes without the comments that carry an enhanced
// metafile, its size and largest record in words put right.
static std::string without_carried_metafile(const std::string& wmf)
{
    std::string kept = wmf.substr(0, 18);
    uint32_t largest = 3;
    for (size_t at = 18; at + 6 <= wmf.size();) {
        const size_t bytes = 2 * (size_t)get32(wmf, at);
        if (bytes < 6 || at + bytes > wmf.size())
            break;
        if (!(wmf.compare(at + 4, 2, "\x26\x06") == 0 && wmf.compare(at + 10, 4, "WMFC") == 0)) {
            kept += wmf.substr(at, bytes);
            largest = bytes / 2 > largest ? (uint32_t)bytes / 2 : largest;
        }
        at += bytes;
    }
    put32(kept, 6, (uint32_t)kept.size() / 2);
    put32(kept, 12, largest);
    return kept;
}

// The conversions hand back the system's own bytes, made under a reference
// device like the screen, with and without a suggested size; to an
// enhanced metafile, of the records alone, not of the enhanced metafile the
// system kept in their comments.
TEST_F(MetafileRenderer, ConversionsHandBackWhatTheSystemMakes)
{
    HENHMETAFILE emf = emf_of(record_emf_bytes([](HDC dc) { Ellipse(dc, 5, 5, 40, 30); }));
    HDC reference = CreateCompatibleDC(NULL);
    UINT size = GetWinMetaFileBits(emf, 0, NULL, MM_ANISOTROPIC, reference);
    std::string expected(size, '\0');
    GetWinMetaFileBits(emf, size, (BYTE*)&expected[0], MM_ANISOTROPIC, reference);
    RenderResult converted;
    ASSERT_EQ(RENDER_WHOLE, render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, NULL, &converted));
    ASSERT_EQ(size, converted.size);
    EXPECT_EQ(expected, std::string((const char*)converted.bytes, converted.size));
    release_render_result(&converted);

    // Without a size, the picture is four inches square, as a plain
    // metafile is shown.
    const METAFILEPICT sized = {MM_ANISOTROPIC, 5080, 2540, NULL}, plain = {MM_ANISOTROPIC, 10160, 10160, NULL};
    for (const METAFILEPICT* picture : {&sized, (const METAFILEPICT*)NULL}) {
        SCOPED_TRACE(picture ? "sized" : "no size");
        const std::string records = without_carried_metafile(expected);
        ASSERT_LT(records.size(), expected.size());
        HENHMETAFILE mine = SetWinMetaFileBits((UINT)records.size(), (const BYTE*)records.data(), reference,
                                               picture ? picture : &plain);
        HENHMETAFILE theirs = NULL;
        ASSERT_EQ(RENDER_WHOLE, render_wmf_to_emf_bits((const BYTE*)expected.data(), size, picture, NULL, &theirs))
            << render_last_cut();
        UINT n = GetEnhMetaFileBits(mine, 0, NULL);
        ASSERT_EQ(n, GetEnhMetaFileBits(theirs, 0, NULL));
        std::string a(n, '\0'), b(n, '\0');
        GetEnhMetaFileBits(mine, n, (BYTE*)&a[0]);
        GetEnhMetaFileBits(theirs, n, (BYTE*)&b[0]);
        EXPECT_EQ(a, b);
        DeleteEnhMetaFile(mine);
        DeleteEnhMetaFile(theirs);
    }
    DeleteDC(reference);
    DeleteEnhMetaFile(emf);
}

// The system hands back the enhanced metafile a Windows one carries in its
// comments in place of its records: the conversion is made from the
// records, the picture the program shows (none in the first, whose
// carried metafile has a record of no size), never from what they carry.
TEST_F(MetafileRenderer, AConversionIsOfTheRecordsNotOfTheMetafileTheyCarry)
{
    const struct {
        const char* file;  // in hostile/
        COLORREF drawn;    // at the centre of the conversion
    } cases[] = {
        {"WMF-carrying-emf-zero-size-record.wmf", WHITE},
        {"WMF-carrying-blue-emf-drawing-red.wmf", RED},
        {"WMF-carrying-blue-emf-count-2-drawing-red.wmf", RED},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.file);
        std::string wmf = read_file_bytes(fixture_path(std::string("hostile/") + k.file));
        HDC reference = CreateCompatibleDC(NULL);
        HENHMETAFILE carried = SetWinMetaFileBits((UINT)wmf.size(), (const BYTE*)wmf.data(), reference, NULL);
        DeleteDC(reference);
        ASSERT_TRUE(carried);
        const size_t emf_size_at = wmf.find("WMFC") + 30;  // the last field of the chunk
        EXPECT_EQ(GetEnhMetaFileBits(carried, 0, NULL), get_le32(wmf, emf_size_at)) << "the one carried";
        DeleteEnhMetaFile(carried);

        HENHMETAFILE emf = NULL;
        EXPECT_EQ(RENDER_WHOLE, render_wmf_to_emf_bits((const BYTE*)wmf.data(), (UINT)wmf.size(), NULL, NULL, &emf));
        ASSERT_NE(emf, (HENHMETAFILE)NULL);
        GdiCanvas c(SIDE, SIDE);
        RECT r = {0, 0, SIDE, SIDE};
        PlayEnhMetaFile(c.dc, emf, &r);
        EXPECT_EQ(k.drawn, c.at(SIDE / 2, SIDE / 2));
        DeleteEnhMetaFile(emf);
    }
}

// A font record whose face name ends within it, last before the end
// record: the system reads the name's whole 32 bytes wherever it ends, 20
// of them past this metafile. Read from its file, the metafile the program
// holds (which is played, printed, copied to the clipboard and merged)
// has the record whole, the name's field filled out with zeros; that is
// what its conversion hands the system.
TEST_F(MetafileRenderer, AShortFontRecordIsHandedToTheSystemWhole)
{
    const std::string path = fixture_path("hostile\\WMF-font-short-face-last.wmf");
    const std::string file = read_file_bytes(path);
    const std::string whole_font = le32(28) + le16(META_CREATEFONTINDIRECT) + le16(16) + std::string(6, '\0') +
                                   le16(400) + std::string(8, '\0') + "Arial" + std::string(27, '\0');
    const std::string end = le32(3) + le16(0);
    OFSTRUCT of;
    HFILE f = OpenFile(path.c_str(), &of, OF_READ);
    ASSERT_NE(HFILE_ERROR, f);
    RECT bounds;
    DWORD inch;
    WmfPlaceableHeader header;
    HMETAFILE wmf = read_wmf_file(NULL, path.c_str(), f, NULL, 0, &bounds, &inch, &header);
    ASSERT_TRUE(wmf);
    std::string held(GetMetaFileBitsEx(wmf, 0, NULL), '\0');
    GetMetaFileBitsEx(wmf, (UINT)held.size(), (BYTE*)&held[0]);
    ASSERT_EQ(file.size() + 26, held.size());
    EXPECT_EQ(held.substr(held.size() - 62), whole_font + end);
    EXPECT_EQ(held.size() / 2, get32(held, 6)) << "the header counts the words";
    EXPECT_EQ(28u, get32(held, 12)) << "the largest record";

    g_wmfHasPlaceable = 0;
    const std::string out = test_out_path("short_font.emf");
    EXPECT_EQ(1, write_emf_file(wmf, out.c_str()));
    UINT size = 0;
    const BYTE* given = render_last_input_for_test(&size);
    ASSERT_TRUE(given);
    EXPECT_EQ(held, std::string((const char*)given, size));
    DeleteMetaFile(wmf);
}

// Each record the checked player hands the system is copied to the end of
// a readable page, as long as the record says it is; the page after it
// may be read by no one. A read past the record is noted, and the page is
// then opened for the play to go on.
static BYTE* s_guarded;  // two pages: the copies' and the guard
static bool s_readPastRecord;
static BOOL(WINAPI* s_systemPlay)(HDC, HANDLETABLE*, METARECORD*, UINT);

static LONG WINAPI note_read_past_record(EXCEPTION_POINTERS* e)
{
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    BYTE* at = r->NumberParameters >= 2 ? (BYTE*)r->ExceptionInformation[1] : NULL;
    if (r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || at < s_guarded + 4096 || at >= s_guarded + 8192)
        return EXCEPTION_CONTINUE_SEARCH;
    s_readPastRecord = true;
    DWORD old;
    VirtualProtect(s_guarded + 4096, 4096, PAGE_READONLY, &old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

static BOOL WINAPI play_from_page_end(HDC hdc, HANDLETABLE* table, METARECORD* record, UINT objects)
{
    const size_t bytes = (size_t)record->rdSize * 2;
    if (bytes > 4096)
        return s_systemPlay(hdc, table, record, objects);
    METARECORD* copy = (METARECORD*)(s_guarded + 4096 - bytes);
    memcpy(copy, record, bytes);
    return s_systemPlay(hdc, table, copy, objects);
}

// A font record whose face name ends within it, in bytes no seal made
// whole: the checked player hands it to the system in a copy holding the
// name's whole field, so the system reads only the record it is given.
TEST_F(MetafileRenderer, TheCheckedPlayerHandsAShortFontRecordOverWhole)
{
    const std::string bits = read_file_bytes(fixture_path("hostile\\WMF-font-short-face-last.wmf"));
    HMETAFILE wmf = SetMetaFileBitsEx((UINT)bits.size(), (const BYTE*)bits.data());
    ASSERT_TRUE(wmf);
    s_guarded = (BYTE*)VirtualAlloc(NULL, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(s_guarded, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(s_guarded + 4096, 4096, PAGE_NOACCESS, &old));
    GdiCanvas canvas(SIDE, SIDE);
    SetMapMode(canvas.dc, MM_ANISOTROPIC);
    SetViewportExtEx(canvas.dc, SIDE, SIDE, NULL);
    s_readPastRecord = false;
    {
        ImportHook hook("gdi32.dll", "PlayMetaFileRecord", (void*)play_from_page_end);
        s_systemPlay = (BOOL(WINAPI*)(HDC, HANDLETABLE*, METARECORD*, UINT))hook.original();
        ASSERT_NE(s_systemPlay, nullptr);
        PVOID handler = AddVectoredExceptionHandler(1, note_read_past_record);
        EXPECT_TRUE(play_wmf_in_process(canvas.dc, wmf));
        RemoveVectoredExceptionHandler(handler);
    }
    VirtualFree(s_guarded, 0, MEM_RELEASE);
    DeleteMetaFile(wmf);
    EXPECT_FALSE(s_readPastRecord);
    EXPECT_EQ(RED, canvas.at(SIDE / 4, SIDE / 4));
}

static BOOL(WINAPI* s_systemPlayEnh)(HDC, HANDLETABLE*, const ENHMETARECORD*, UINT);

static BOOL WINAPI play_enh_from_page_end(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, UINT objects)
{
    if (record->nSize > 4096)
        return s_systemPlayEnh(hdc, table, record, objects);
    ENHMETARECORD* copy = (ENHMETARECORD*)(s_guarded + 4096 - record->nSize);
    memcpy(copy, record, record->nSize);
    return s_systemPlayEnh(hdc, table, copy, objects);
}

// Records the system plays as no-ops (a path fill or stroke with no path,
// in any mapping) and bitmaps whose colour tables a writer gave short of
// what their headers imply: played whole, as the system draws the file
// (or its twin of full tables), and the player reads nothing past a record.
TEST_F(MetafileRenderer, RecordsTheSystemDrawsAreNotCut)
{
    const std::pair<const char*, const char*> rows[] = {
        {"strokeandfillpath-no-path-text", nullptr},
        {"strokeandfillpath-no-path-lometric", nullptr},
        {"strokeandfillpath-no-path-anisotropic", nullptr},
        {"stretchdibits-8-bit-table-100-of-256", "stretchdibits-8-bit-table-full"},
        {"dibpatternbrush-8-bit-table-4-of-256", "dibpatternbrush-8-bit-table-full"},
    };
    s_guarded = (BYTE*)VirtualAlloc(NULL, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(s_guarded, nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        auto emf_named = [](const char* name) {
            return emf_of(read_file_bytes(fixture_path(std::string("hostile/EMF-") + name + ".emf")));
        };
        HENHMETAFILE emf = emf_named(row.first), twin = emf_named(row.second ? row.second : row.first);
        ASSERT_TRUE(emf && twin);
        GdiCanvas rendered(SIDE, SIDE), guarded(SIDE, SIDE), system(SIDE, SIDE);
        EXPECT_EQ(RENDER_WHOLE, play_emf_on(rendered, emf));
        RECT r = {0, 0, SIDE, SIDE};
        PlayEnhMetaFile(system.dc, twin, &r);
        EXPECT_EQ(0, rendered.count_differences(system));
        DWORD old;
        ASSERT_TRUE(VirtualProtect(s_guarded + 4096, 4096, PAGE_NOACCESS, &old));
        s_readPastRecord = false;
        {
            ImportHook hook("gdi32.dll", "PlayEnhMetaFileRecord", (void*)play_enh_from_page_end);
            s_systemPlayEnh = (BOOL(WINAPI*)(HDC, HANDLETABLE*, const ENHMETARECORD*, UINT))hook.original();
            ASSERT_NE(s_systemPlayEnh, nullptr);
            PVOID handler = AddVectoredExceptionHandler(1, note_read_past_record);
            EXPECT_TRUE(play_emf_in_process(guarded.dc, emf, &r));
            RemoveVectoredExceptionHandler(handler);
        }
        EXPECT_FALSE(s_readPastRecord);
        EXPECT_EQ(0, guarded.count_differences(system));
        DeleteEnhMetaFile(emf);
        DeleteEnhMetaFile(twin);
    }
    VirtualFree(s_guarded, 0, MEM_RELEASE);
    EXPECT_TRUE(seams.boxes.empty());
}

// Tile plays once over the first cell's background and copies it to every
// cell (one renderer request): the same pixels as a play into each cell of a picture that keeps
// within its frame (about 38 reference pixels square).
TEST_F(MetafileRenderer, TileCopiesOnePlayToEveryCell)
{
    HENHMETAFILE emf = emf_of(record_emf_bytes([](HDC dc) { Ellipse(dc, 5, 5, 36, 25); }));
    HMETAFILE wmf = record_wmf([](HDC mf) {
        SetWindowExtEx(mf, SIDE, SIDE, NULL);
        Ellipse(mf, 5, 5, 60, 40);
    });
    const int cell_w = 45, cell_h = 30, columns = 4, rows = 3, left = 7, top = 5;
    for (int is_emf = 0; is_emf < 2; ++is_emf) {
        SCOPED_TRACE(is_emf ? "emf" : "wmf");
        const COLORREF background = RGB(10, 200, 30);
        GdiCanvas expected(200, 110, background), actual(200, 110, background);
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                int x = left + column * cell_w, y = top + row * cell_h;
                if (is_emf) {
                    RECT r = {x, y, x + cell_w, y + cell_h};
                    play_emf_in_process(expected.dc, emf, &r);
                } else {
                    SetMapMode(expected.dc, MM_ANISOTROPIC);
                    SetViewportExtEx(expected.dc, cell_w, cell_h, NULL);
                    SetViewportOrgEx(expected.dc, x, y, NULL);
                    play_wmf_in_process(expected.dc, wmf);
                    SetMapMode(expected.dc, MM_TEXT);
                    SetViewportOrgEx(expected.dc, 0, 0, NULL);
                }
            }
        unsigned before = render_request_count();
        play_metafile_tiled(actual.dc, is_emf ? (HANDLE)emf : (HANDLE)wmf, is_emf, NULL, 0, left, top, cell_w, cell_h,
                            columns, rows);
        EXPECT_EQ(1u, render_request_count() - before) << "one play, not one per cell";
        EXPECT_EQ(0, expected.count_differences(actual));
        EXPECT_EQ(RED, actual.at(left + cell_w * 3 + 2, top + cell_h * 2 + 2));
    }
    DeleteEnhMetaFile(emf);
    DeleteMetaFile(wmf);
}

struct ProgressWatch {
    volatile LONG stop;
    volatile LONG most;  // of g_wmfPlayedWords seen
};

static DWORD WINAPI watch_progress(LPVOID data)
{
    ProgressWatch* w = (ProgressWatch*)data;
    while (!w->stop) {
        LONG seen = g_wmfPlayedWords;
        if (seen > w->most)
            w->most = seen;
        Sleep(1);
    }
    return 0;
}

// While the renderer plays record by record, the words it has played reach
// the program (and its progress strip); the count is cleared at the end.
TEST_F(MetafileRenderer, ProgressAdvancesWhileTheRendererPlays)
{
    HMETAFILE wmf = record_wmf([](HDC mf) {
        SetWindowExtEx(mf, SIDE, SIDE, NULL);
        for (int i = 0; i < 100000; ++i)
            Rectangle(mf, i % SIDE, i % 7, i % SIDE + 3, i % 7 + 3);
    });
    g_wmfSizeWords = GetMetaFileBitsEx(wmf, 0, NULL) / 2;
    ProgressWatch watch = {0, 0};
    HANDLE watcher = CreateThread(NULL, 0, watch_progress, &watch, 0, NULL);
    GdiCanvas c(SIDE, SIDE);
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetViewportExtEx(c.dc, SIDE, SIDE, NULL);
    play_wmf_records(NULL, c.dc, wmf);
    watch.stop = 1;
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    EXPECT_GT(watch.most, 0);
    EXPECT_LE(watch.most, (LONG)g_wmfSizeWords);
    EXPECT_EQ(0, g_wmfPlayedWords);
    DeleteMetaFile(wmf);
}

// Ends the renderers this process started; how many there were.
static int end_own_renderers(void)
{
    int ended = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != GetCurrentProcessId() || lstrcmpiA(entry.szExeFile, "CorvaneRender.exe"))
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process && TerminateProcess(process, 9)) {
            WaitForSingleObject(process, 5000);
            ++ended;
        }
        if (process)
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return ended;
}

// A renderer that ended while idle is replaced before the next play, which
// is whole: its end belongs to no play.
TEST_F(MetafileRenderer, ARendererEndedBetweenPlaysIsReplacedQuietly)
{
    HENHMETAFILE sound = emf_of(record_emf_bytes([](HDC) {}));
    GdiCanvas first(SIDE, SIDE), second(SIDE, SIDE);
    ASSERT_EQ(RENDER_WHOLE, play_emf_on(first, sound));
    ASSERT_EQ(1, end_own_renderers());
    EXPECT_EQ(RENDER_WHOLE, play_emf_on(second, sound));
    EXPECT_EQ(RED, second.at(2, 2));
    DeleteEnhMetaFile(sound);
}

// The renderer this process started, opened to be looked at; null when none
// runs.
static HANDLE open_own_renderer(void)
{
    HANDLE found = NULL;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() && !lstrcmpiA(entry.szExeFile, "CorvaneRender.exe"))
            found = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE,
                                entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

// Handles open in the process, counted by trying each value in turn
// (Wine's GetProcessHandleCount reports none).
static int count_handles(HANDLE process)
{
    int n = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        HANDLE copy = NULL;
        if (DuplicateHandle(process, (HANDLE)value, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            ++n;
            CloseHandle(copy);
        }
    }
    return n;
}

// The program takes each conversion's result out of the renderer and
// closes it: after a few hundred, neither process holds more handles.
TEST_F(MetafileRenderer, ConversionsLeaveNoHandleInEitherProcess)
{
    HENHMETAFILE emf = emf_of(record_emf_bytes([](HDC dc) { Ellipse(dc, 5, 5, 40, 30); }));
    auto convert = [&] {
        RenderResult converted;
        bool whole = render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, NULL, &converted) == RENDER_WHOLE;
        release_render_result(&converted);
        return whole;
    };
    ASSERT_TRUE(convert());
    HANDLE renderer = open_own_renderer();
    ASSERT_NE((HANDLE)NULL, renderer);
    const int mine = count_handles(GetCurrentProcess()), theirs = count_handles(renderer);
    int whole = 0;
    for (int i = 0; i < 300; ++i)
        whole += convert();
    EXPECT_EQ(300, whole);
    EXPECT_LE(count_handles(GetCurrentProcess()), mine + 2);
    EXPECT_LE(count_handles(renderer), theirs + 2);
    CloseHandle(renderer);
    DeleteEnhMetaFile(emf);
}

// A request that took much memory but kept within the limit leaves its
// peak behind in the renderer, which never goes down. A limit below that
// peak (as when a request passed it between two looks) cuts no later
// request that keeps within it: a fresh renderer serves it.
TEST_F(MetafileRenderer, AnEarlierPeakCutsNoLaterRequest)
{
    std::string base = record_emf_bytes([](HDC) {});
    HENHMETAFILE stripes =
        with_record(base, stripes_clip(2000, false, RGN_COPY) + stripes_clip(2000, true, RGN_AND));
    HENHMETAFILE busy = emf_of(record_emf_bytes([](HDC dc) {
        for (int i = 0; i < 20000; ++i)
            Rectangle(dc, i % SIDE, i % 7, i % SIDE + 3, i % 7 + 3);
    }));
    GdiCanvas first(SIDE, SIDE), next(SIDE, SIDE);
    ASSERT_EQ(RENDER_WHOLE, play_emf_on(first, stripes));
    HANDLE renderer = open_own_renderer();
    ASSERT_NE((HANDLE)NULL, renderer);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ASSERT_TRUE(GetProcessMemoryInfo(renderer, &counters, sizeof counters));
    CloseHandle(renderer);
    SIZE_T now = counters.WorkingSetSize > counters.PagefileUsage ? counters.WorkingSetSize : counters.PagefileUsage;
    ASSERT_GT(counters.PeakWorkingSetSize, now + (16u << 20)) << "the stripes' region is freed";
    render_set_limits_for_test(0, now + (counters.PeakWorkingSetSize - now) / 2);
    // Several of the program's looks at the renderer's memory.
    EXPECT_EQ(RENDER_WHOLE, play_emf_on(next, busy));
    EXPECT_EQ(RENDER_CUT_NONE, render_last_cut());
    DeleteEnhMetaFile(busy);
    DeleteEnhMetaFile(stripes);
}

// The access a handle of this process grants and the name of its object's
// type, from the system.
static bool handle_access(HANDLE h, ACCESS_MASK* access, std::wstring* type)
{
    typedef NTSTATUS(NTAPI * QueryObject)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static QueryObject query = (QueryObject)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject");
    PUBLIC_OBJECT_BASIC_INFORMATION basic = {};
    union {
        PUBLIC_OBJECT_TYPE_INFORMATION info;
        BYTE bytes[1024];
    } kind = {};
    if (!query || query(h, ObjectBasicInformation, &basic, sizeof basic, NULL) < 0 ||
        query(h, ObjectTypeInformation, &kind, sizeof kind, NULL) < 0)
        return false;
    *access = basic.GrantedAccess;
    type->assign(kind.info.TypeName.Buffer, kind.info.TypeName.Length / sizeof(WCHAR));
    return true;
}

// The renderer's one handle on a process is the program's, and it can
// only wait on it: with more it could take the program's handles or reach
// its memory.
TEST_F(MetafileRenderer, TheRendererCanOnlyWaitOnTheProgram)
{
    HENHMETAFILE sound = emf_of(record_emf_bytes([](HDC) {}));
    GdiCanvas c(SIDE, SIDE);
    ASSERT_EQ(RENDER_WHOLE, play_emf_on(c, sound));
    HANDLE renderer = open_own_renderer();
    ASSERT_NE((HANDLE)NULL, renderer);
    int processes = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        HANDLE copy = NULL;
        if (!DuplicateHandle(renderer, (HANDLE)value, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        ACCESS_MASK access = 0;
        std::wstring type;
        ASSERT_TRUE(handle_access(copy, &access, &type));
        if (type == L"Process") {
            ++processes;
            EXPECT_EQ((ACCESS_MASK)SYNCHRONIZE, access) << std::hex << access;
            EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(copy, 0)) << "this process, still running";
        }
        CloseHandle(copy);
    }
    EXPECT_EQ(1, processes);
    CloseHandle(renderer);
    DeleteEnhMetaFile(sound);
}

// The program makes the renderer's control block and events new: where
// an object of one of their names exists already (made by another process
// to be opened in their place), it starts no renderer on it and plays
// nothing; the next renderer, under a name of its own, plays.
TEST_F(MetafileRenderer, ANameThatExistsIsNotTaken)
{
    HENHMETAFILE sound = emf_of(record_emf_bytes([](HDC) {}));
    int n = 0;
    for (const char* suffix : {"-control", "-request", "-reply"}) {
        SCOPED_TRACE(suffix);
        char prefix[64], name[96];
        snprintf(prefix, sizeof prefix, "CorvaneRenderTest-%lu-%d", GetCurrentProcessId(), n++);
        snprintf(name, sizeof name, "%s%s", prefix, suffix);
        HANDLE taken = strcmp(suffix, "-control")
                           ? CreateEventA(NULL, FALSE, FALSE, name)
                           : CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096, name);
        ASSERT_NE((HANDLE)NULL, taken);
        render_set_name_prefix_for_test(prefix);
        GdiCanvas c(SIDE, SIDE);
        EXPECT_EQ(RENDER_NOT_PLAYED, play_emf_on(c, sound));
        EXPECT_EQ(WHITE, c.at(2, 2));
        CloseHandle(taken);
    }
    render_set_name_prefix_for_test(NULL);
    GdiCanvas c(SIDE, SIDE);
    EXPECT_EQ(RENDER_WHOLE, play_emf_on(c, sound));
    EXPECT_EQ(RED, c.at(2, 2));
    DeleteEnhMetaFile(sound);
}

// The renderer's memory limit bounds the work of a play or conversion
// beside the copies of the picture that the system's calls take: a sound
// picture whose copies alone pass the limit (set low here, as a picture of
// 128 MB passes the standard one) is played and converted whole, an
// enhanced and a Windows one.
TEST_F(MetafileRenderer, ALargePictureIsPlayedAndConvertedBesideItsCopies)
{
    HENHMETAFILE emf = emf_of(large_sound_emf(24u << 20));
    ASSERT_NE((HENHMETAFILE)NULL, emf);
    // 48 MB of comments, which the player passes over: bytes to hold, and
    // no work to draw.
    HMETAFILE wmf = record_wmf([](HDC mf) {
        const std::string comment(60000, 'c');
        for (int i = 0; i < 840; ++i)
            Escape(mf, MFCOMMENT, (int)comment.size(), comment.data(), NULL);
    });
    ASSERT_GT(GetMetaFileBitsEx(wmf, 0, NULL), 48u << 20);
    UnhurriedRenderer unhurried(64u << 20);
    GdiCanvas c(SIDE, SIDE);
    EXPECT_EQ(RENDER_WHOLE, play_emf_on(c, emf));
    EXPECT_EQ(RED, c.at(SIDE / 2, SIDE / 2));
    GdiCanvas w(SIDE, SIDE);
    EXPECT_EQ(RENDER_WHOLE, play_on(w, wmf)) << render_last_cut();
    EXPECT_EQ(RED, w.at(2, 2));
    DeleteMetaFile(wmf);
    RenderResult converted;
    EXPECT_EQ(RENDER_WHOLE, render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, NULL, &converted));
    EXPECT_GT(converted.size, 24u << 20);
    release_render_result(&converted);
    DeleteEnhMetaFile(emf);
}

// A large conversion refused before it is sent (the records run to no end
// record) lets go of the data mapping the picture was put into: a block as
// large taken next, as the program's next work may take, does not stand
// beside a copy of it.
TEST_F(MetafileRenderer, ARefusedLargeConversionKeepsNoCopyOfThePicture)
{
    const uint64_t BYTES = 32u << 20, MARGIN = 16u << 20;
    std::string wmf = large_sound_wmf(BYTES);
    wmf.resize(wmf.size() - 6);
    PeakMemoryWatch watch;
    HENHMETAFILE emf = NULL;
    EXPECT_EQ(RENDER_CUT, render_wmf_to_emf_bits((const BYTE*)wmf.data(), (UINT)wmf.size(), NULL, NULL, &emf));
    std::vector<char> next(BYTES, 1);
    const uint64_t rise = watch.rise();
    ASSERT_TRUE(watch.works());
    EXPECT_LT(rise, BYTES + MARGIN) << "peak MB: " << (rise >> 20);
}

// The system's conversion to a Windows metafile is as dear as a play, and
// the renderer makes it once, as it counts: for a small result (of two
// slow region fills, whose regions come out with more rectangles than a
// Windows metafile's rules take: too large for the kind) and for one past
// the 64 MB once given to a result before its size was asked (48 MB of
// polylines, held in the result both as records and as the enhanced
// metafile the system keeps in comments).
TEST_F(MetafileRenderer, AConversionCallsTheSystemOnce)
{
    const struct {
        const char* name;
        std::string bytes;
        UINT least_result;  // 0: refused as too large for a Windows metafile
    } pictures[] = {
        {"region fills", read_file_bytes(fixture_path("hostile/EMF-region-fills-slow-but-whole-conversion.emf")), 0},
        {"48 MB of polylines", large_sound_emf(48u << 20), 64u << 20},
    };
    UnhurriedRenderer unhurried;
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.name);
        HENHMETAFILE emf = emf_of(picture.bytes);
        ASSERT_NE((HENHMETAFILE)NULL, emf);
        RenderResult converted;
        RenderOutcome outcome = render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, NULL, &converted);
        EXPECT_EQ(picture.least_result ? RENDER_WHOLE : RENDER_CUT, outcome) << render_last_cut();
        if (!picture.least_result)
            EXPECT_EQ(METAFILE_TOO_LARGE_FOR_WMF, render_fault(outcome));
        EXPECT_EQ(1u, render_last_conversion_calls());
        EXPECT_GE(converted.size, picture.least_result);
        release_render_result(&converted);
        DeleteEnhMetaFile(emf);
    }
}


// The budget a request is given holds for every play it makes, whatever
// budget the renderer's play before it had; a conversion's plays of its
// source and result are bound by the check's own limit, which the test
// lifts, not by a play's budget: however busy the machine, they end whole
// after plays given a budget of 1 ms (which the play's clock may or may
// not see run out, so their outcome is not the point).
TEST_F(MetafileRenderer, EveryPlayOfARequestKeepsItsBudget)
{
    HENHMETAFILE emf = emf_of(large_sound_emf(1u << 20));
    const std::string wmf_bytes = large_sound_wmf(1u << 20);
    HMETAFILE wmf = SetMetaFileBitsEx((UINT)wmf_bytes.size(), (const BYTE*)wmf_bytes.data());
    ASSERT_TRUE(emf && wmf);
    UnhurriedRenderer unhurried;
    const DWORD LIFTED = UnhurriedRenderer::LIMIT_MS;
    enum Request { PLAY, TO_WMF, TO_EMF };
    const struct {
        Request request;
        DWORD budget_ms;
        RenderOutcome outcome;
    } rows[] = {
        {PLAY, 1, RENDER_CUT},
        {TO_WMF, 1, RENDER_WHOLE},
        {PLAY, LIFTED, RENDER_WHOLE},
        {PLAY, 1, RENDER_CUT},
        {TO_EMF, 1, RENDER_WHOLE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.request) + " in " + std::to_string(row.budget_ms) + " ms");
        render_set_play_budget_for_test(row.budget_ms);
        GdiCanvas c(SIDE, SIDE);
        RenderResult converted = {};
        HENHMETAFILE made = NULL;
        RenderOutcome outcome = row.request == PLAY     ? play_emf_on(c, emf)
                                : row.request == TO_WMF ? render_emf_to_wmf_bits(emf, MM_ANISOTROPIC, NULL, &converted)
                                                        : render_wmf_to_emf(wmf, NULL, NULL, &made);
        if (row.outcome == RENDER_CUT) {
            EXPECT_TRUE(outcome == RENDER_WHOLE || render_last_cut() == RENDER_CUT_PLAY_TIME) << render_last_cut();
        } else {
            EXPECT_EQ(RENDER_WHOLE, outcome);
            EXPECT_EQ(RENDER_CUT_NONE, render_last_cut());
        }
        release_render_result(&converted);
        if (made)
            DeleteEnhMetaFile(made);
    }
    DeleteEnhMetaFile(emf);
    DeleteMetaFile(wmf);
}
