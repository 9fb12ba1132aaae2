// The image window as a person uses it: Center and Tile open it over the
// main window, its accelerators reach their commands, Escape, Ctrl+X and
// the close box bring the main window back, and the next window opens
// where the last one was left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, YELLOW = 0xFFFF00, WHITE = 0xFFFFFF;

// quadrants.bmp: 80 x 40, red and green above blue and yellow; 9654 bytes.
const int PICTURE_W = 80, PICTURE_H = 40;

void start_with_quadrants(const char* sub, RunningApp& app)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "BackgroundColor", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "SelectBackgroundColor", "0", ini.c_str());
    std::string dir = e2e_work_dir(sub);
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
}

// A maximised window reaches past the screen's edges, where no shot can
// see it: the pictures are read from a normal window on the screen.
void place_view(HWND view, int x, int y, int w, int h)
{
    ShowWindow(view, SW_RESTORE);
    SetWindowPos(view, NULL, x, y, w, h, SWP_NOZORDER);
    Sleep(300);
}

// Ctrl with a letter, typed into the image window.
void ctrl_key(HWND view, char letter)
{
    SetForegroundWindow(view);
    Sleep(200);
    INPUT keys[4] = {};
    WORD codes[4] = {VK_CONTROL, (WORD)letter, (WORD)letter, VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof(INPUT));
    Sleep(500);
}

std::string selected_entry(const RunningApp& app)
{
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    LRESULT i = SendMessageA(list, LB_GETCURSEL, 0, 0);
    std::vector<std::string> items = list_box_items(list);
    return i >= 0 && (size_t)i < items.size() ? items[(size_t)i] : "";
}

TEST(ImageWindow, CenterShowsThePictureCentredAndTheAcceleratorsReachTheirCommands)
{
    RunningApp app;
    start_with_quadrants("view_center", app);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr) << "Center opens the image window";
    EXPECT_EQ(window_text(view), "quadrants.bmp     9654 bytes");
    EXPECT_NE(GetMenu(view), nullptr);
    place_view(view, 20, 20, 500, 400);

    ImageAreaShot s = shoot_image_area(view, "view_centered");
    int x = (s.area_w - PICTURE_W) / 2, y = (s.area_h - PICTURE_H) / 2;
    struct {
        int x, y;
        DWORD colour;
    } const centred[] = {
        {x + 1, y + 1, RED}, {x + PICTURE_W - 2, y + 1, GREEN},
        {x + 1, y + PICTURE_H - 2, BLUE}, {x + PICTURE_W - 2, y + PICTURE_H - 2, YELLOW},
        {x - 2, y + 10, WHITE}, {x + PICTURE_W + 1, y + 10, WHITE}, {x + 10, y - 2, WHITE},
        {x + 10, y + PICTURE_H + 1, WHITE}, {1, 1, WHITE},
    };
    for (const auto& p : centred)
        EXPECT_EQ(s.at(p.x, p.y), p.colour) << "at " << p.x << "," << p.y;

    // Ctrl+I: the information box, captioned with the file name.
    ctrl_key(view, 'I');
    std::string caption;
    std::string info = dismiss_message_box(app, 5000, &caption);
    EXPECT_EQ(caption, "quadrants.bmp");
    EXPECT_NE(info.find("Windows"), std::string::npos) << info;

    // Ctrl+T tiles from the top left; Ctrl+C centres again.
    ctrl_key(view, 'T');
    s = shoot_image_area(view, "view_tiled_by_key");
    EXPECT_EQ(s.at(1, 1), RED);
    EXPECT_EQ(s.at(PICTURE_W + 1, 1), RED);
    EXPECT_EQ(s.at(1, PICTURE_H + 1), RED);
    ctrl_key(view, 'C');
    s = shoot_image_area(view, "view_centred_by_key");
    EXPECT_EQ(s.at(1, 1), WHITE);

    // Ctrl+X closes it; the main window keeps its selection.
    ctrl_key(view, 'X');
    EXPECT_TRUE(wait_until_closed(view));
    EXPECT_EQ(selected_entry(app), "quadrants.bmp");
    EXPECT_TRUE(IsWindowVisible(app.main));

    EXPECT_EQ(exit_by_button(app), 1);
}

TEST(ImageWindow, TileTilesAndEscapeAndTheCloseBoxReturnWithThePlacementKept)
{
    RunningApp app;
    start_with_quadrants("view_tile", app);
    HWND view = open_image_window(app, IDC_MAIN_TILE);
    ASSERT_NE(view, nullptr) << "Tile opens the image window";
    EXPECT_TRUE(IsZoomed(view)) << "the first image window opens maximised";
    place_view(view, 40, 50, 400, 300);
    ImageAreaShot s = shoot_image_area(view, "view_tiled");
    struct {
        int x, y;
        DWORD colour;
    } const tiled[] = {
        {1, 1, RED}, {PICTURE_W - 2, 1, GREEN}, {1, PICTURE_H - 2, BLUE},
        {PICTURE_W + 1, 1, RED}, {1, PICTURE_H + 1, RED}, {PICTURE_W + 1, PICTURE_H + 1, RED},
    };
    for (const auto& p : tiled)
        EXPECT_EQ(s.at(p.x, p.y), p.colour) << "at " << p.x << "," << p.y;

    // Escape closes it; the next window opens normal where it was left.
    SetForegroundWindow(view);
    PostMessageA(view, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(wait_until_closed(view));
    EXPECT_EQ(selected_entry(app), "quadrants.bmp");
    view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    RECT r;
    GetWindowRect(view, &r);
    EXPECT_FALSE(IsZoomed(view));
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);

    // The close box keeps the placement too: maximised stays maximised.
    ShowWindow(view, SW_MAXIMIZE);
    Sleep(300);
    PostMessageA(view, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(wait_until_closed(view));
    EXPECT_EQ(selected_entry(app), "quadrants.bmp");
    view = open_image_window(app, IDC_MAIN_TILE);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(IsZoomed(view));

    EXPECT_EQ(exit_by_button(app), 1);
}

// The metafile and animation painters: an enhanced metafile is played
// centred, an animated GIF's canvas keeps showing its frames.
TEST(ImageWindow, EnhancedMetafileAndAnimationShowCentred)
{
    std::string dir = e2e_work_dir("view_kinds");
    std::string emf = dir + "\\square.emf";
    // No frame given: the picture is as large as what is drawn.
    HDC dc = CreateEnhMetaFileA(NULL, emf.c_str(), NULL, "test\0square\0");
    ASSERT_NE(dc, nullptr);
    paint_red_box(dc, 200, 200);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
    ASSERT_TRUE(copy_fixture("animated.gif", dir));

    struct {
        const char* file;
        DWORD centre;
    } const files[] = {{"square.emf", RED}, {"animated.gif", 0}};
    for (const auto& f : files) {
        RunningApp app;
        ASSERT_TRUE(start_app(f.file, dir, app));
        Sleep(500);
        HWND view = open_image_window(app, IDC_MAIN_CENTER);
        ASSERT_NE(view, nullptr) << f.file;
        place_view(view, 20, 20, 500, 400);
        ImageAreaShot s = shoot_image_area(view, f.file);
        DWORD centre = s.at(s.area_w / 2, s.area_h / 2);
        if (f.centre)
            EXPECT_EQ(centre, f.centre) << f.file;
        else
            EXPECT_TRUE(centre == RED || centre == GREEN || centre == BLUE) << f.file << " " << centre;
        EXPECT_EQ(s.at(2, 2), WHITE) << f.file;
        // As much background on either side of the picture.
        int cx = s.area_w / 2, cy = s.area_h / 2, left = cx, right = cx, top = cy, bottom = cy;
        while (s.at(left - 1, cy) == centre)
            --left;
        while (s.at(right + 1, cy) == centre)
            ++right;
        while (s.at(cx, top - 1) == centre)
            --top;
        while (s.at(cx, bottom + 1) == centre)
            ++bottom;
        EXPECT_LE(std::abs(left - (s.area_w - 1 - right)), 1) << f.file;
        EXPECT_LE(std::abs(top - (s.area_h - 1 - bottom)), 1) << f.file;
        PostMessageA(view, WM_CLOSE, 0, 0);
        EXPECT_TRUE(wait_until_closed(view));
        EXPECT_EQ(exit_by_button(app), 1) << f.file;
    }
}

}  // namespace
