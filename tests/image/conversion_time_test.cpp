// The conversions' time and boxes: the making of a result is timed, its
// check is not bound by a play's budget, each phase has a time of its own;
// a large drawing keeps its shape in the placeable box, and the comparison
// judges the result in that box; a Windows metafile whose conversion draws
// another picture is refused, and one of no extents is sized.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include <windows.h>

#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "support/large_metafile.h"
#include "support/test_support.h"
#include "support/unhurried_renderer.h"
#include "gdi_canvas.h"

namespace {

const COLORREF RED = RGB(255, 0, 0);

// An enhanced metafile of the frame (0.01 mm) that draws a red rectangle
// over its left half, in the reference device's pixels.
HENHMETAFILE half_red_emf(LONG frame_across, LONG frame_down)
{
    RECT frame = {0, 0, frame_across, frame_down};
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    const LONG across = MulDiv(frame_across, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, HORZSIZE) * 100);
    const LONG down = MulDiv(frame_down, GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, VERTSIZE) * 100);
    SelectObject(dc, CreateSolidBrush(RED));
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, across / 2, down);
    DeleteObject(SelectObject(dc, GetStockObject(WHITE_BRUSH)));
    return CloseEnhMetaFile(dc);
}

// The sound enhanced metafile of about mib MiB of polylines.
HENHMETAFILE sound_emf_of(unsigned mib)
{
    const std::string bytes = large_sound_emf((uint64_t)mib << 20);
    return SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
}

// A clock whose every phase of a request starts 0.6 of the limit later
// than the one before: each phase takes more than half the time given.
DWORD WINAPI phase_clock(void)
{
    return GetTickCount() + (DWORD)(render_phase_for_test() * (UnhurriedRenderer::LIMIT_MS * 6 / 10));
}

// Keeps a core busy until *flag is set.
DWORD WINAPI spin_until_done(LPVOID flag)
{
    while (!((std::atomic<bool>*)flag)->load())
        ;
    return 0;
}

}  // namespace

// Each phase of a conversion (the making of its result, its check) has
// the whole limit of its own. The check of 16 MiB of polylines lasts past
// the program's first looks at the clock.
TEST(ConversionTime, EachPhaseHasTheLimitAnew)
{
    UnhurriedRenderer unhurried;
    HENHMETAFILE emf = sound_emf_of(16);
    ASSERT_NE((HENHMETAFILE)NULL, emf);
    const std::string path = test_out_path("phases.wmf");
    render_set_clock_for_test(phase_clock);
    const int written = write_wmf_file(emf, path.c_str());
    render_set_clock_for_test(NULL);
    EXPECT_EQ(1, written) << render_last_cut();
    DeleteEnhMetaFile(emf);
}

// The sound 62 MiB picture converts while every core is kept busy, under a
// play budget far below its plays: the check is not bound by a play's
// budget, only by its own generous limit.
TEST(ConversionTime, ASoundLargePictureIsNotRefusedForItsCheck)
{
    HENHMETAFILE emf = sound_emf_of(62);
    ASSERT_NE((HENHMETAFILE)NULL, emf);
    std::atomic<bool> done(false);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    std::vector<HANDLE> busy;
    for (DWORD i = 0; i < info.dwNumberOfProcessors; ++i)
        busy.push_back(CreateThread(NULL, 0, spin_until_done, &done, 0, NULL));
    UnhurriedRenderer unhurried;
    render_set_play_budget_for_test(1);
    const std::string path = test_out_path("large_busy.wmf");
    EXPECT_EQ(1, write_wmf_file(emf, path.c_str())) << render_last_cut();
    done = true;
    for (HANDLE thread : busy) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    DeleteFileA(path.c_str());
    DeleteEnhMetaFile(emf);
}

// An A0 drawing (841 x 1,189 mm) is written in a box of its own shape, at
// fewer units per inch than 1,000, and the comparison judges the result in
// that box: a square one would reopen as another picture.
TEST(ConversionBox, AnA0DrawingKeepsItsShape)
{
    UnhurriedRenderer unhurried;
    HENHMETAFILE emf = half_red_emf(84100, 118900);
    const std::string path = test_out_path("a0.wmf");
    ASSERT_EQ(1, write_wmf_file(emf, path.c_str())) << render_last_cut();
    const std::string bytes = read_file_bytes(path);
    ASSERT_GT(bytes.size(), (size_t)WMF_PLACEABLE_SIZE);
    WmfPlaceableHeader box;
    memcpy(&box, bytes.data(), sizeof box);
    EXPECT_LT(box.units_per_inch, 1000);
    const int across = box.right - box.left, down = box.bottom - box.top;
    EXPECT_NEAR(841.0 / 1189.0, (double)across / down, 0.001) << across << " x " << down;
    EXPECT_NEAR(1189.0 / 25.4, (double)down / box.units_per_inch, 0.1) << "inches down";
    EXPECT_EQ(wmf_header_checksum(&box), box.checksum);
    DeleteFileA(path.c_str());
    DeleteEnhMetaFile(emf);
}

// A Windows metafile drawn in device pixels (MM_TEXT) in a picture of 20
// inches: the picture's pixels as the program shows it, the reference
// device's as the system converts it, which the comparison, at most 1,024
// pixels a side, shows at half that size. Pasted or saved as an enhanced
// metafile, it is refused as another picture.
TEST(ConversionCheck, AWindowsMetafileConvertedToAnotherPictureIsRefused)
{
    UnhurriedRenderer unhurried;
    HDC mf = CreateMetaFileA(NULL);
    SetMapMode(mf, MM_TEXT);
    SelectObject(mf, CreateSolidBrush(RED));
    Rectangle(mf, 0, 0, 600, 600);
    DeleteObject(SelectObject(mf, GetStockObject(WHITE_BRUSH)));
    HMETAFILE wmf = CloseMetaFile(mf);
    const METAFILEPICT picture = {MM_ANISOTROPIC, 50800, 50800, NULL};
    HENHMETAFILE emf = NULL;
    EXPECT_EQ(RENDER_CUT, render_wmf_to_emf(wmf, &picture, NULL, &emf));
    EXPECT_EQ(METAFILE_NOT_THE_SAME, render_fault(RENDER_CUT));
    EXPECT_EQ((HENHMETAFILE)NULL, emf);
    DeleteMetaFile(wmf);
}

// A picture of anisotropic mapping and no extents (as a pasted one may
// come) is converted at 4 inches, and compared at that size: it comes in.
TEST(ConversionCheck, APictureOfNoExtentsComesInAtFourInches)
{
    UnhurriedRenderer unhurried;
    HDC mf = CreateMetaFileA(NULL);
    SetWindowExtEx(mf, 100, 100, NULL);
    SelectObject(mf, CreateSolidBrush(RED));
    Rectangle(mf, 0, 0, 50, 100);
    DeleteObject(SelectObject(mf, GetStockObject(WHITE_BRUSH)));
    HMETAFILE wmf = CloseMetaFile(mf);
    const METAFILEPICT picture = {MM_ANISOTROPIC, 0, 0, NULL};
    HENHMETAFILE emf = NULL;
    ASSERT_EQ(RENDER_WHOLE, render_wmf_to_emf(wmf, &picture, NULL, &emf)) << render_last_cut();
    ENHMETAHEADER header;
    ASSERT_TRUE(GetEnhMetaFileHeader(emf, sizeof header, &header));
    EXPECT_NEAR(10160, header.rclFrame.right - header.rclFrame.left, 30);
    EXPECT_NEAR(10160, header.rclFrame.bottom - header.rclFrame.top, 30);
    DeleteEnhMetaFile(emf);
    DeleteMetaFile(wmf);
}

// Save As Windows MetaFile of an enhanced metafile whose records set a
// window of their own (not its frame) is written and judged in the
// placeable box: the file reopens as the source's picture (the system's
// conversion loses the window; the program's own keeps it).
TEST(OwnConversionRoads, AnEmfOfItsOwnWindowIsJudgedInItsBox)
{
    UnhurriedRenderer unhurried;
    RECT frame = {0, 0, 2540, 2540};
    HDC dc = CreateEnhMetaFileA(NULL, NULL, &frame, NULL);
    const int inch = GetDeviceCaps(dc, LOGPIXELSX);
    SetWindowOrgEx(dc, 1000, 2000, NULL);
    SelectObject(dc, CreateSolidBrush(RED));
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 1000 + inch / 4, 2000 + inch / 4, 1000 + inch * 3 / 4, 2000 + inch * 3 / 4);
    DeleteObject(SelectObject(dc, GetStockObject(WHITE_BRUSH)));
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    const std::string path = test_out_path("own_window.wmf");
    ASSERT_EQ(1, write_wmf_file(emf, path.c_str())) << render_last_cut();
    const std::string bytes = read_file_bytes(path);
    WmfPlaceableHeader box;
    memcpy(&box, bytes.data(), sizeof box);
    HMETAFILE wmf = SetMetaFileBitsEx((UINT)bytes.size() - WMF_PLACEABLE_SIZE, (const BYTE*)bytes.data() + WMF_PLACEABLE_SIZE);
    ASSERT_NE((HMETAFILE)NULL, wmf);
    GdiCanvas shown(96, 96);
    SetMapMode(shown.dc, MM_ANISOTROPIC);
    map_placeable_box(shown.dc, &box);
    SetViewportExtEx(shown.dc, 96, 96, NULL);
    PlayMetaFile(shown.dc, wmf);
    SetMapMode(shown.dc, MM_TEXT);
    EXPECT_EQ(RED, shown.at(48, 48));
    EXPECT_EQ(RGB(255, 255, 255), shown.at(8, 88));
    DeleteMetaFile(wmf);
    DeleteEnhMetaFile(emf);
}
