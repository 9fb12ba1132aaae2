// Printing: where the copies go on pages the printer does not have, the
// in-place profile correction against Little CMS, and real prints on the
// test run's PDF printer, noted in print_jobs.txt for check_print.sh; a
// metafile that could not be drawn whole prints no page.
#include "app/print.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>

#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "jpeg/color_profiles.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "support/unhurried_renderer.h"
#include "tools/color_reduce.h"

namespace {

TEST(PrintLayout, NeverScalesToZeroNorLoops)
{
    const struct {
        const char* name;
        bool metafile;
        int32_t pw, ph, w, h;
        int large, tiled;
        PrintLayout expected;  // x, y, width, height, columns, rows
    } cases[] = {
        // Larger than the page: the integer scale would be 0; fitted instead.
        {"wider than page", false, 2400, 3300, 5000, 3000, 0, 0, {0, 930, 2400, 1440, 1, 1}},
        {"wider than page tiled", false, 2400, 3300, 5000, 3000, 0, 1, {0, 210, 2400, 1440, 1, 2}},
        {"page below 640", false, 600, 500, 40, 20, 0, 0, {0, 100, 600, 300, 1, 1}},
        // Growing by tenths never grows 8 pixels: Large fits directly.
        {"tiny metafile large", true, 2400, 3300, 8, 4, 1, 0, {0, 1050, 2400, 1200, 1, 1}},
        {"metafile shrinks", true, 2400, 3300, 3000, 1000, 0, 0, {106, 1285, 2187, 729, 1, 1}},
        {"metafile tiled", true, 2400, 3300, 1000, 1000, 0, 1, {200, 150, 1000, 1000, 2, 3}},
    };
    auto fields = [](const PrintLayout& l) { return std::make_tuple(l.x, l.y, l.width, l.height, l.columns, l.rows); };
    for (const auto& c : cases) {
        PrintLayout got = c.metafile ? layout_metafile_print(c.pw, c.ph, c.w, c.h, c.large, c.tiled)
                                     : layout_raster_print(c.pw, c.ph, c.w, c.h, c.large, c.tiled);
        EXPECT_EQ(fields(got), fields(c.expected)) << c.name;
    }
}

// An RGB profile with sRGB's primaries and a straight tone curve: every
// colour but black, white and the pure primaries moves.
cmsHPROFILE make_linear_profile()
{
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* curve = cmsBuildGamma(NULL, 1.0);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

// The real prints check 24-bit copies and palettes against ImageMagick;
// what only a brightened image (corrected in place) or a 32-bit copy meets
// is here: 5-5-5 red enters as 255 (248 would come out darker), rows of
// three pixels leave padding, the alpha byte is carried over.
TEST(ApplyColorTransform, RowsMatchLittleCms)
{
    cmsHPROFILE srgb = open_stored_profile(GetModuleHandleA(NULL), "SRGB"), linear = make_linear_profile();
    ASSERT_TRUE(srgb && linear);
    cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_BGR_8, linear, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(linear);
    ASSERT_NE(t, (cmsHTRANSFORM)NULL);
    DibBlock s16(make_dib(3, 2, 16)), s32(make_dib(3, 2, 32)), c32(make_dib(3, 2, 32));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            s16.row(y)[2 * x + 1] = 0x7C;
            const BYTE colour[4] = {(BYTE)(40 * x + 10), (BYTE)(60 * y + 20), 128, 0x55};
            memcpy(s32.row(y) + 4 * x, colour, 4);
        }
    apply_color_transform(s16.bih, s16.bih, t);
    apply_color_transform(c32.bih, s32.bih, t);
    BYTE red[3] = {0, 0, 255}, red_out[3];
    cmsDoTransform(t, red, red_out, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            BYTE in[3] = {(BYTE)(40 * x + 10), (BYTE)(60 * y + 20), 128}, out[3];
            cmsDoTransform(t, in, out, 1);
            EXPECT_EQ(s16.raw(x, y), (uint32_t)(red_out[0] >> 3 | (red_out[1] >> 3) << 5 | (red_out[2] >> 3) << 10));
            EXPECT_EQ(std::string((const char*)c32.row(y) + 4 * x, 4), std::string((const char*)out, 3) + '\x55')
                << "pixel " << x << "," << y;
        }
    cmsDeleteTransform(t);
}

// ---- real prints ----

// One line per page for check_print.sh: what, the mode, the printer's page.
void note_print(const std::string& what, const std::string& mode)
{
    PRINTDLGA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    ASSERT_TRUE(PrintDlgA(&dialog)) << "no default printer: the test run starts a PDF printer";
    HDC hdc = dialog.hDC;
    std::ofstream out(test_out_path("print_jobs.txt"), std::ios::app);
    out << what << ' ' << mode;
    for (int cap : {HORZRES, VERTRES, LOGPIXELSX, LOGPIXELSY, PHYSICALOFFSETX, PHYSICALOFFSETY, HORZSIZE, VERTSIZE})
        out << ' ' << GetDeviceCaps(hdc, cap);
    out << '\n';
    DeleteDC(hdc);
    GlobalFree(dialog.hDevMode);
    GlobalFree(dialog.hDevNames);
}

// What is printed: the picture in true colour or with a palette, or a metafile filled red
// (an enhanced one's frame is what GDI makes of it; a placeable one is
// 1000 x 500 units at 1000 per inch, sized through the printer's resolution).
// CUT_EMF passes a 1 ms limit at the first look the program takes (region
// fills of half a minute, whatever the scale); BUDGET_EMF a short play
// budget under the standard limit.
enum Source { TRUE_COLOUR, PALETTE, EMF, WMF, CUT_EMF, BUDGET_EMF };

HGLOBAL make_source(Source source, const PnmImage& picture, std::string& what)
{
    if (source == BUDGET_EMF || source == CUT_EMF) {
        what = source == CUT_EMF ? "emf-cut" : "emf-budget";
        return (HGLOBAL)GetEnhMetaFileA(fixture_path(source == CUT_EMF ? "hostile/EMF-region-fills-past-a-conversion.emf"
                                                                        : "hostile/EMF-inverted-pairs-before-40-squares.emf")
                                            .c_str());
    }
    if (source == EMF) {
        HDC recorder = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
        RECT fill = {0, 0, 300, 150};
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(recorder, &fill, red);
        DeleteObject(red);
        HENHMETAFILE emf = CloseEnhMetaFile(recorder);
        ENHMETAHEADER h;
        GetEnhMetaFileHeader(emf, sizeof h, &h);
        what = "emf-" + std::to_string(h.rclFrame.right - h.rclFrame.left) + "x" +
               std::to_string(h.rclFrame.bottom - h.rclFrame.top);
        return (HGLOBAL)emf;
    }
    if (source == WMF) {
        HDC recorder = CreateMetaFileA(NULL);
        SetWindowOrgEx(recorder, 0, 0, NULL);
        SetWindowExtEx(recorder, 1000, 500, NULL);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        HGDIOBJ old = SelectObject(recorder, red);
        SelectObject(recorder, GetStockObject(NULL_PEN));
        Rectangle(recorder, 0, 0, 1001, 501);
        SelectObject(recorder, old);
        DeleteObject(red);
        what = "wmf-1000x500x1000";
        return (HGLOBAL)CloseMetaFile(recorder);
    }
    what = "print/picture.ppm";
    HGLOBAL image = pnm_to_dib(picture), full = NULL;
    if (source == PALETTE) {  // few enough colours for an exact table
        EXPECT_EQ(reduce_colors(&image, &full, -256, KIND_DIB, 0, 0), 1);
        GlobalFree(full);
    }
    return image;
}

TEST(RealPrint, PagesMatchTheirPictures)
{
    SeamRecorder seams;
    std::remove(test_out_path("print_jobs.txt").c_str());
    std::string settings = seams.use_settings_file("print.ini"), profile = test_out_path("linear.icc");
    cmsHPROFILE linear = make_linear_profile();
    ASSERT_TRUE(cmsSaveProfileToFile(linear, profile.c_str()));
    cmsCloseProfile(linear);
    PnmImage picture = read_pnm_file(fixture_path("print\\picture.ppm"));
    ASSERT_FALSE(picture.empty());
    const struct {
        const char* mode;  // for check_print.sh; "" for Cancel
        int large, tiled;
        Source source;
        const char* linked;  // the PrinterProfile setting, answered Yes
        size_t boxes;        // the profile question, the error
    } cases[] = {
        {"large", 1, 0, TRUE_COLOUR, NULL, 0},  // normal: the end-to-end print test
        {"tiled", 0, 1, TRUE_COLOUR, NULL, 0},
        {"", 0, 0, TRUE_COLOUR, NULL, 0},  // Cancel: check_print.sh finds no page for it
        // A missing profile is reported and the page printed uncorrected.
        {"normal", 0, 0, TRUE_COLOUR, "C:\\nowhere\\gone.icm", 2},
        // True colour: a corrected copy of the rows; palette: only the table.
        {"normal-linear.icc", 0, 0, TRUE_COLOUR, profile.c_str(), 1},
        {"normal-linear.icc", 0, 0, PALETTE, profile.c_str(), 1},
        {"normal", 0, 0, EMF, NULL, 0},
        {"normal", 0, 0, WMF, NULL, 0},
        // A picture that could not be drawn whole is not printed, and that
        // is said: check_print.sh finds no page for it.
        {"cut", 0, 0, CUT_EMF, NULL, 1},
        {"cut", 0, 0, BUDGET_EMF, NULL, 1},
    };
    for (const auto& c : cases) {
        reset_current_image();
        seams.boxes.clear();
        seams.print_ok = *c.mode != 0;
        seams.answers = {IDYES};
        WritePrivateProfileStringA("Corvane", "PrinterProfile", c.linked, settings.c_str());
        std::string what;
        g_wmfHasPlaceable = c.source == WMF;
        g_wmfPlaceableHeader = WmfPlaceableHeader{WMF_PLACEABLE_KEY, 0, 0, 0, 999, 499, 1000, 0, 0};
        g_hImage = make_source(c.source, picture, what);
        ASSERT_NE(g_hImage, (HGLOBAL)NULL) << what;
        const bool cut = c.source == CUT_EMF || c.source == BUDGET_EMF;
        g_imageKind = c.source == EMF || cut ? KIND_EMF : c.source == WMF ? KIND_WMF : KIND_DIB;
        strcpy(g_fileName, "picture.ppm");
        PrintState state = current_print_state();
        render_set_limits_for_test(c.source == CUT_EMF ? 1 : 0, 0);
        render_set_play_budget_for_test(c.source == BUDGET_EMF ? SHORT_PLAY_BUDGET_MS : 0);
        print_image(c.large, c.tiled, state);
        render_set_limits_for_test(0, 0);
        render_set_play_budget_for_test(0);
        if (*c.mode && !cut)
            note_print(what, c.mode);
        if (c.source == EMF || cut)
            DeleteEnhMetaFile((HENHMETAFILE)state.image);
        else if (c.source == WMF)
            DeleteMetaFile((HMETAFILE)state.image);
        else
            GlobalFree(state.image);
        g_hImage = NULL;
        ASSERT_EQ(seams.boxes.size(), c.boxes) << what << ' ' << c.mode;
        if (c.boxes == 2)
            EXPECT_EQ(seams.boxes.back().text, "Unable to open printer color profile file: \nC:\\nowhere\\gone.icm");
        if (cut)
            EXPECT_EQ(seams.boxes.back().text, "Unable to play metafile in the time allowed");
    }
    forget_failed_metafiles(NULL);
    g_wmfHasPlaceable = 0;
    reset_current_image();
    EXPECT_EQ(seams.print_dialogs, 10);
    WritePrivateProfileStringA("Corvane", "PrinterProfile", NULL, settings.c_str());
}

}  // namespace
