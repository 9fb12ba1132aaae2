// Printing: where the copies go on a page, the printer-profile correction
// against Little CMS itself, and real prints on the test run's PDF printer.
// Each real print adds a line to print_jobs.txt; check_print.sh waits for
// the PDFs, rasterises them and compares them with the pictures.
#include "app/print.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
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

struct Transform {
    cmsHTRANSFORM handle = NULL;
    Transform()
    {
        cmsHPROFILE srgb = open_stored_profile(GetModuleHandleA(NULL), "SRGB");
        cmsHPROFILE linear = make_linear_profile();
        if (srgb && linear)
            handle = cmsCreateTransform(srgb, TYPE_BGR_8, linear, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
        if (srgb)
            cmsCloseProfile(srgb);
        if (linear)
            cmsCloseProfile(linear);
    }
    ~Transform()
    {
        if (handle)
            cmsDeleteTransform(handle);
    }
    // What the library makes of one colour (blue, green, red).
    void of(BYTE b, BYTE g, BYTE r, BYTE out[3]) const
    {
        BYTE in[3] = {b, g, r};
        cmsDoTransform(handle, in, out, 1);
    }
};

TEST(ApplyColorTransform, SixteenBitPixelsUnpackToFullRange)
{
    Transform t;
    ASSERT_NE(t.handle, (cmsHTRANSFORM)NULL);
    // Pure red 0x7C00 enters as 255, 0, 0 (248 would come out darker), and
    // a mid grey shows the packing of every channel.
    DibBlock image(make_dib(2, 1, 16));
    BYTE* row = image.row(0);
    row[0] = 0x00, row[1] = 0x7C;
    row[2] = 0x10, row[3] = 0x42;  // 16, 16, 16 in 5-5-5
    apply_color_transform(image.bih, image.bih, t.handle);
    BYTE red[3], grey[3];
    t.of(0, 0, 255, red);
    t.of(132, 132, 132, grey);
    auto pack = [](const BYTE c[3]) { return (c[0] >> 3) | ((c[1] >> 3) << 5) | ((c[2] >> 3) << 10); };
    EXPECT_EQ(image.raw(0, 0), (uint32_t)pack(red));
    EXPECT_EQ(image.raw(1, 0), (uint32_t)pack(grey));
    EXPECT_NE(pack(grey), 0x4210) << "the profile moves mid grey";
}

TEST(ApplyColorTransform, DeepImagesAllRowsIntoAnotherImageOrInPlace)
{
    Transform t;
    ASSERT_NE(t.handle, (cmsHTRANSFORM)NULL);
    for (int bits : {24, 32}) {
        for (bool in_place : {true, false}) {
            // Three pixels a row leave padding in 24 bits; every row counts.
            DibBlock source(make_dib(3, 3, bits));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 3; ++x) {
                    BYTE* p = source.row(y) + x * (bits / 8);
                    p[0] = (BYTE)(40 * x + 10), p[1] = (BYTE)(60 * y + 20), p[2] = 128;
                    if (bits == 32)
                        p[3] = 0x55;
                }
            DibBlock copy(make_dib(3, 3, bits));
            BITMAPINFOHEADER* dst = in_place ? source.bih : copy.bih;
            apply_color_transform(dst, source.bih, t.handle);
            DibBlock view(in_place ? source.get() : copy.get(), false);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 3; ++x) {
                    BYTE expected[3];
                    t.of((BYTE)(40 * x + 10), (BYTE)(60 * y + 20), 128, expected);
                    const BYTE* p = view.row(y) + x * (bits / 8);
                    EXPECT_EQ(std::string((const char*)p, 3), std::string((const char*)expected, 3))
                        << bits << " bits, in place " << in_place << ", pixel " << x << "," << y;
                    if (bits == 32)
                        EXPECT_EQ(p[3], 0x55) << "alpha stays";
                }
        }
    }
}

TEST(ApplyColorTransform, PaletteImagesChangeOnlyTheirTable)
{
    Transform t;
    ASSERT_NE(t.handle, (cmsHTRANSFORM)NULL);
    DibBlock image(make_dib(4, 1, 8, {quad(200, 100, 50), quad(10, 220, 30)}, 2));
    // Room for header and table only, as the print makes it.
    std::vector<BYTE> header(40 + 2 * 4, 0xEE);
    apply_color_transform((BITMAPINFOHEADER*)header.data(), image.bih, t.handle);
    EXPECT_EQ(((BITMAPINFOHEADER*)header.data())->biClrUsed, 2u);
    const RGBQUAD* table = (const RGBQUAD*)(header.data() + 40);
    BYTE first[3], second[3];
    t.of(50, 100, 200, first);
    t.of(30, 220, 10, second);
    EXPECT_EQ(std::string((const char*)&table[0], 3), std::string((const char*)first, 3));
    EXPECT_EQ(std::string((const char*)&table[1], 3), std::string((const char*)second, 3));
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
        note_print("picture.ppm", m.mode);
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
    note_print("picture.ppm", "normal");
    ASSERT_EQ(seams.boxes.size(), 2u);
    EXPECT_EQ(seams.boxes[0].text, "Apply Color Profile Correction\nfor this Print?");
    EXPECT_EQ(seams.boxes[0].caption, "picture.ppm");
    EXPECT_EQ(seams.boxes[1].text, "Unable to open printer color profile file: \nC:\\nowhere\\gone.icm");
    EXPECT_EQ(seams.boxes[1].caption, "Error");
    EXPECT_EQ(seams.boxes[1].type, (UINT)MB_ICONSTOP);
}

TEST_F(RealPrint, LinkedProfileCorrectsThePrint)
{
    load_picture();
    std::string profile = test_out_path("linear.icc");
    cmsHPROFILE linear = make_linear_profile();
    ASSERT_TRUE(cmsSaveProfileToFile(linear, profile.c_str()));
    cmsCloseProfile(linear);
    WritePrivateProfileStringA("Corvane", "PrinterProfile", profile.c_str(), test_out_path("print.ini").c_str());
    seams.answers = {IDYES};
    print_image(0, 0, current_print_state());
    note_print("picture.ppm", "normal-linear.icc");
    EXPECT_EQ(seams.boxes.size(), 1u);
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

}  // namespace
