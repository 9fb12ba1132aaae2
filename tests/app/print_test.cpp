// Printing: where the copies go on a page, the printer-profile correction
// against Little CMS itself, and real prints on the test run's PDF printer.
// Each real print adds a line to print_jobs.txt; check_print.sh waits for
// the PDFs, rasterises them and compares them with the pictures.
#include "app/print.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "image/current_image.h"
#include "jpeg/color_profiles.h"
#include "support/dib_block.h"
#include "support/pnm_reference.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

struct LayoutCase {
    const char* name;
    bool metafile;
    int32_t pw, ph, w, h;
    int large, tiled;
    PrintLayout expected;  // x, y, width, height, columns, rows
};

TEST(PrintLayout, ScalesAndPlacesOnThePage)
{
    const LayoutCase cases[] = {
        // 500 x 400 on 4800 x 6600: scales 7 (4800 / 640), 9 and 7 tiled.
        {"normal", false, 4800, 6600, 500, 400, 0, 0, {650, 1900, 3500, 2800, 1, 1}},
        {"large", false, 4800, 6600, 500, 400, 1, 0, {150, 1500, 4500, 3600, 1, 1}},
        {"tiled", false, 4800, 6600, 500, 400, 0, 1, {650, 500, 3500, 2800, 1, 2}},
        {"big image", false, 4800, 6600, 700, 500, 0, 0, {300, 1800, 4200, 3000, 1, 1}},
        // Larger than the page: the integer scale would be 0; fitted instead.
        {"wider than page", false, 2400, 3300, 5000, 3000, 0, 0, {0, 930, 2400, 1440, 1, 1}},
        {"wider than page large", false, 2400, 3300, 5000, 3000, 1, 0, {0, 930, 2400, 1440, 1, 1}},
        {"wider than page tiled", false, 2400, 3300, 5000, 3000, 0, 1, {0, 210, 2400, 1440, 1, 2}},
        {"page below 640", false, 600, 500, 40, 20, 0, 0, {0, 100, 600, 300, 1, 1}},
        // Metafiles: Large fits even a tiny picture; past the page it
        // shrinks by tenths.
        {"tiny metafile large", true, 2400, 3300, 8, 4, 1, 0, {0, 1050, 2400, 1200, 1, 1}},
        {"metafile shrinks", true, 2400, 3300, 3000, 1000, 0, 0, {106, 1285, 2187, 729, 1, 1}},
        {"metafile tiled", true, 2400, 3300, 1000, 1000, 0, 1, {200, 150, 1000, 1000, 2, 3}},
    };
    for (const LayoutCase& c : cases) {
        PrintLayout got = c.metafile ? layout_metafile_print(c.pw, c.ph, c.w, c.h, c.large, c.tiled)
                                     : layout_raster_print(c.pw, c.ph, c.w, c.h, c.large, c.tiled);
        EXPECT_EQ(got.x, c.expected.x) << c.name;
        EXPECT_EQ(got.y, c.expected.y) << c.name;
        EXPECT_EQ(got.width, c.expected.width) << c.name;
        EXPECT_EQ(got.height, c.expected.height) << c.name;
        EXPECT_EQ(got.columns, c.expected.columns) << c.name;
        EXPECT_EQ(got.rows, c.expected.rows) << c.name;
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

// sRGB (the program's stored profile) to the straight-curve profile.
cmsHTRANSFORM make_transform()
{
    cmsHPROFILE srgb = open_stored_profile(GetModuleHandleA(NULL), "SRGB");
    cmsHPROFILE linear = make_linear_profile();
    cmsHTRANSFORM transform =
        srgb && linear ? cmsCreateTransform(srgb, TYPE_BGR_8, linear, TYPE_BGR_8, INTENT_PERCEPTUAL, 0) : NULL;
    if (srgb)
        cmsCloseProfile(srgb);
    if (linear)
        cmsCloseProfile(linear);
    return transform;
}

// What Little CMS itself makes of one colour: blue, green, red.
std::string through(cmsHTRANSFORM transform, BYTE blue, BYTE green, BYTE red)
{
    BYTE in[3] = {blue, green, red}, out[3];
    cmsDoTransform(transform, in, out, 1);
    return std::string((const char*)out, 3);
}

TEST(ApplyColorTransform, EveryDepthMatchesLittleCms)
{
    cmsHTRANSFORM t = make_transform();
    ASSERT_NE(t, (cmsHTRANSFORM)NULL);
    // 5-5-5 pure red 0x7C00 enters as 255, 0, 0; 248 would come out darker.
    DibBlock packed(make_dib(1, 1, 16));
    packed.row(0)[1] = 0x7C;
    apply_color_transform(packed.bih, packed.bih, t);
    std::string red = through(t, 0, 0, 255);
    EXPECT_EQ(packed.raw(0, 0), (uint32_t)(((BYTE)red[0] >> 3) | ((BYTE)red[1] >> 3) << 5 | ((BYTE)red[2] >> 3) << 10));

    // 24 and 32 bits, in place and into another image: rows of three
    // pixels leave padding, and the alpha byte stays.
    for (int bits : {24, 32})
        for (bool in_place : {true, false}) {
            DibBlock source(make_dib(3, 2, bits)), other(make_dib(3, 2, bits));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    BYTE* p = source.row(y) + x * bits / 8;
                    p[0] = (BYTE)(40 * x + 10), p[1] = (BYTE)(60 * y + 20), p[2] = 128;
                    if (bits == 32)
                        p[3] = 0x55;
                }
            DibBlock& result = in_place ? source : other;
            apply_color_transform(result.bih, source.bih, t);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    const BYTE* p = result.row(y) + x * bits / 8;
                    EXPECT_EQ(std::string((const char*)p, 3), through(t, (BYTE)(40 * x + 10), (BYTE)(60 * y + 20), 128))
                        << bits << " bits, in place " << in_place << ", pixel " << x << "," << y;
                    if (bits == 32)
                        EXPECT_EQ(p[3], 0x55);
                }
        }

    // A palette image: its table only, into a block of header and table.
    DibBlock palette(make_dib(4, 1, 8, {quad(200, 100, 50), quad(10, 220, 30)}, 2));
    std::vector<BYTE> header(40 + 2 * 4, 0xEE);
    apply_color_transform((BITMAPINFOHEADER*)header.data(), palette.bih, t);
    EXPECT_EQ(((BITMAPINFOHEADER*)header.data())->biClrUsed, 2u);
    EXPECT_EQ(std::string((const char*)&header[40], 3), through(t, 50, 100, 200));
    EXPECT_EQ(std::string((const char*)&header[44], 3), through(t, 30, 220, 10));
    cmsDeleteTransform(t);
}

// ---- real prints ----

// One line per print that reaches the printer, in print order, for
// check_print.sh: what was printed, the mode and the page as the printer
// gives it.
void note_print(const std::string& what, const std::string& mode)
{
    PRINTDLGA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    ASSERT_TRUE(PrintDlgA(&dialog)) << "no default printer: the test run starts a PDF printer";
    HDC hdc = dialog.hDC;
    std::ofstream out(test_out_path("print_jobs.txt"), std::ios::app);
    out << what << ' ' << mode << ' ' << GetDeviceCaps(hdc, HORZRES) << ' ' << GetDeviceCaps(hdc, VERTRES) << ' '
        << GetDeviceCaps(hdc, LOGPIXELSX) << ' ' << GetDeviceCaps(hdc, LOGPIXELSY) << ' '
        << GetDeviceCaps(hdc, PHYSICALOFFSETX) << ' ' << GetDeviceCaps(hdc, PHYSICALOFFSETY) << ' '
        << GetDeviceCaps(hdc, HORZSIZE) << ' ' << GetDeviceCaps(hdc, VERTSIZE) << '\n';
    DeleteDC(hdc);
    GlobalFree(dialog.hDevMode);
    GlobalFree(dialog.hDevNames);
}

class RealPrint : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::remove(test_out_path("print_jobs.txt").c_str()); }
    void SetUp() override
    {
        reset_current_image();
        seams.print_ok = true;
        // No profile linked unless a test links one.
        std::remove(seams.use_settings_file("print.ini").c_str());
    }
    void TearDown() override { reset_current_image(); }
    void load_picture()
    {
        PnmImage picture = read_pnm_file(fixture_path("print\\picture.ppm"));
        ASSERT_FALSE(picture.empty());
        g_hImage = pnm_to_dib(picture);
        g_imageKind = KIND_DIB;
        strcpy(g_fileName, "picture.ppm");
    }
    SeamRecorder seams;
};

TEST_F(RealPrint, PicturePrintsInEachMode)
{
    load_picture();
    const struct {
        const char* mode;
        int large, tiled;
    } modes[] = {{"normal", 0, 0}, {"large", 1, 0}, {"tiled", 0, 1}};
    for (const auto& m : modes) {
        print_image(m.large, m.tiled, current_print_state());
        note_print("print/picture.ppm", m.mode);
    }
    EXPECT_EQ(seams.print_dialogs, 3);
    EXPECT_TRUE(seams.boxes.empty());
}

TEST_F(RealPrint, CancelPrintsNothing)
{
    load_picture();
    seams.print_ok = false;
    print_image(0, 0, current_print_state());
    EXPECT_EQ(seams.print_dialogs, 1);
    // check_print.sh finds exactly one PDF per noted print.
}

TEST_F(RealPrint, MissingProfilePrintsUncorrected)
{
    load_picture();
    WritePrivateProfileStringA("Corvane", "PrinterProfile", "C:\\nowhere\\gone.icm",
                               test_out_path("print.ini").c_str());
    seams.answers = {IDYES};
    print_image(0, 0, current_print_state());
    note_print("print/picture.ppm", "normal");
    ASSERT_EQ(seams.boxes.size(), 2u);
    EXPECT_EQ(seams.boxes[0].text, "Apply Color Profile Correction\nfor this Print?");
    EXPECT_EQ(seams.boxes[0].caption, "picture.ppm");
    EXPECT_EQ(seams.boxes[1].text, "Unable to open printer color profile file: \nC:\\nowhere\\gone.icm");
    EXPECT_EQ(seams.boxes[1].caption, "Error");
    EXPECT_EQ(seams.boxes[1].type, (UINT)MB_ICONSTOP);
}

// The picture as an 8-bit image whose table holds its own colours.
HGLOBAL palette_picture(const PnmImage& picture)
{
    std::vector<RGBQUAD> table;
    std::map<uint32_t, BYTE> index;
    std::vector<BYTE> indices;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            uint32_t key = picture.at(x, y, 0) << 16 | picture.at(x, y, 1) << 8 | picture.at(x, y, 2);
            if (!index.count(key)) {
                index[key] = (BYTE)table.size();
                table.push_back(quad(picture.at(x, y, 0), picture.at(x, y, 1), picture.at(x, y, 2)));
            }
            indices.push_back(index[key]);
        }
    HGLOBAL image = make_dib(picture.width, picture.height, 8, table, (uint32_t)table.size());
    DibBlock rows(image, false);
    for (int y = 0; y < picture.height; ++y)
        memcpy(rows.row(picture.height - 1 - y), &indices[(size_t)y * picture.width], picture.width);
    return image;
}

TEST_F(RealPrint, LinkedProfileCorrectsThePrint)
{
    std::string profile = test_out_path("linear.icc");
    cmsHPROFILE linear = make_linear_profile();
    ASSERT_TRUE(cmsSaveProfileToFile(linear, profile.c_str()));
    cmsCloseProfile(linear);
    WritePrivateProfileStringA("Corvane", "PrinterProfile", profile.c_str(), test_out_path("print.ini").c_str());
    // True colour: a corrected copy of the rows; palette: only the table.
    for (bool palette : {false, true}) {
        load_picture();
        if (palette) {
            PnmImage picture = dib_to_pnm(g_hImage, 3);
            GlobalFree(g_hImage);
            g_hImage = palette_picture(picture);
        }
        seams.answers = {IDYES};
        print_image(0, 0, current_print_state());
        note_print("print/picture.ppm", "normal-linear.icc");
    }
    EXPECT_EQ(seams.boxes.size(), 2u);
}

TEST_F(RealPrint, EnhancedMetafileFillsItsFrame)
{
    // A red rectangle drawn by GDI itself; its frame is what GDI makes of it.
    HDC recorder = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    ASSERT_NE(recorder, (HDC)NULL);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT fill = {0, 0, 300, 150};
    FillRect(recorder, &fill, red);
    DeleteObject(red);
    g_hImage = (HGLOBAL)CloseEnhMetaFile(recorder);
    g_imageKind = KIND_EMF;
    ENHMETAHEADER header;
    ASSERT_TRUE(GetEnhMetaFileHeader((HENHMETAFILE)g_hImage, sizeof header, &header));
    print_image(0, 0, current_print_state());
    note_print("emf-" + std::to_string(header.rclFrame.right - header.rclFrame.left) + "x" +
                   std::to_string(header.rclFrame.bottom - header.rclFrame.top),
               "normal");
    DeleteEnhMetaFile((HENHMETAFILE)g_hImage);
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
}

TEST_F(RealPrint, PlaceableWindowsMetafileTakesItsSizeFromItsBox)
{
    // 1000 x 500 units at 1000 per inch, filled red through the window extent.
    HDC recorder = CreateMetaFileA(NULL);
    ASSERT_NE(recorder, (HDC)NULL);
    SetWindowOrgEx(recorder, 0, 0, NULL);
    SetWindowExtEx(recorder, 1000, 500, NULL);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(recorder, red);
    SelectObject(recorder, GetStockObject(NULL_PEN));
    Rectangle(recorder, 0, 0, 1001, 501);
    SelectObject(recorder, old);
    DeleteObject(red);
    g_hImage = (HGLOBAL)CloseMetaFile(recorder);
    g_imageKind = KIND_WMF;
    g_wmfHasPlaceable = 1;
    g_wmfPlaceableHeader = WmfPlaceableHeader{WMF_PLACEABLE_KEY, 0, 0, 0, 999, 499, 1000, 0, 0};
    print_image(0, 0, current_print_state());
    note_print("wmf-1000x500x1000", "normal");
    DeleteMetaFile((HMETAFILE)g_hImage);
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    g_wmfHasPlaceable = 0;
}

}  // namespace
