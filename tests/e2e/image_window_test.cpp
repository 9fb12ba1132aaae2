// The image window as a person uses it: Tile and Center open it over the
// main window, its accelerators reach their commands, Escape, Ctrl+X and
// the close box bring the main window back, and the next window opens
// where the last one was left; and the hand cursor.
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

// A maximised window reaches past the screen's edges, where no shot can
// see it: the pictures are read from a normal window on the screen.
void place_view(HWND view, int x, int y, int w, int h)
{
    ShowWindow(view, SW_RESTORE);
    SetWindowPos(view, NULL, x, y, w, h, SWP_NOZORDER);
    Sleep(300);
}

// Ctrl with a letter, typed into the image window as a person does.
void ctrl_key(HWND view, char letter)
{
    SetForegroundWindow(view);
    x_input(std::string("key ctrl+") + letter);
}

std::string selected_entry(const RunningApp& app)
{
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    LRESULT i = SendMessageA(list, LB_GETCURSEL, 0, 0);
    std::vector<std::string> items = list_box_items(list);
    return i >= 0 && (size_t)i < items.size() ? items[(size_t)i] : "";
}

TEST(ImageWindow, TileCenterTheirKeysAndEveryWayBackKeepThePlacement)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "BackgroundColor", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "SelectBackgroundColor", "0", ini.c_str());
    std::string dir = e2e_work_dir("image_window");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_TILE);
    ASSERT_NE(view, nullptr) << "Tile opens the image window";
    EXPECT_EQ(window_text(view), "quadrants.bmp     9654 bytes");
    EXPECT_NE(GetMenu(view), nullptr);
    EXPECT_TRUE(IsZoomed(view)) << "the first image window opens maximised";
    place_view(view, 40, 50, 400, 300);
    Shot s = shoot_client(view, "view_tiled");
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
    ASSERT_NE(view, nullptr) << "Center opens the image window";
    RECT r, left_at = {40, 50, 440, 350};
    GetWindowRect(view, &r);
    EXPECT_FALSE(IsZoomed(view));
    EXPECT_TRUE(EqualRect(&r, &left_at)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    s = shoot_client(view, "view_centered");
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
    ctrl_key(view, 'i');
    std::string caption;
    std::string info = dismiss_message_box(app, 5000, &caption);
    EXPECT_EQ(caption, "quadrants.bmp");
    EXPECT_NE(info.find("Windows"), std::string::npos) << info;
    // Ctrl+T tiles from the top left; Ctrl+C centres again.
    ctrl_key(view, 't');
    s = shot_when([&] { return shoot_client(view, "view_tiled_by_key"); },
                  [](const Shot& t) { return t.at(PICTURE_W + 1, PICTURE_H + 1) == RED; });
    EXPECT_EQ(s.at(PICTURE_W + 1, PICTURE_H + 1), RED);
    ctrl_key(view, 'c');
    EXPECT_EQ(shot_when([&] { return shoot_client(view, "view_centred_by_key"); },
                        [](const Shot& t) { return t.at(1, 1) == WHITE; })
                  .at(1, 1),
              WHITE);

    // The close box keeps the placement too: maximised stays maximised.
    ShowWindow(view, SW_MAXIMIZE);
    Sleep(300);
    PostMessageA(view, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(wait_until_closed(view));
    EXPECT_EQ(selected_entry(app), "quadrants.bmp");
    view = open_image_window(app, IDC_MAIN_TILE);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(IsZoomed(view));
    // Ctrl+X closes it; the main window keeps its selection.
    ctrl_key(view, 'x');
    EXPECT_TRUE(wait_until_closed(view));
    EXPECT_EQ(selected_entry(app), "quadrants.bmp");
    EXPECT_TRUE(IsWindowVisible(app.main));
    EXPECT_EQ(exit_by_button(app), 1);
}

// The metafile and animation painters, centred: an enhanced metafile (no
// frame: as large as what is drawn), an animated GIF's changing canvas,
// and a plain Windows metafile scaled whole into the window.
TEST(ImageWindow, EnhancedMetafileAndAnimationShowCentred)
{
    std::string dir = e2e_work_dir("view_kinds");
    HDC dc = CreateEnhMetaFileA(NULL, (dir + "\\square.emf").c_str(), NULL, "test\0square\0");
    ASSERT_NE(dc, nullptr);
    paint_red_box(dc, 200, 200);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
    ASSERT_TRUE(copy_fixture("animated.gif", dir));
    write_wmf_of_own_window(dir + "\\window.wmf");
    RunningApp app;
    ASSERT_TRUE(start_app("animated.gif", dir, app));
    for (int entry : {0, 1}) {  // animated.gif, square.emf
        select_list_entry(app, entry);
        Sleep(500);
        HWND view = open_image_window(app, IDC_MAIN_CENTER);
        ASSERT_NE(view, nullptr) << entry;
        place_view(view, 20, 20, 500, 400);
        Shot s = shoot_client(view, entry ? "view_emf" : "view_gif");
        DWORD centre = s.middle();
        EXPECT_TRUE(centre == RED || (entry == 0 && (centre == GREEN || centre == BLUE))) << entry << " " << centre;
        EXPECT_EQ(s.at(2, 2), WHITE) << entry;
        // As much background on either side of the picture.
        RECT r = colour_extent(s, centre);
        EXPECT_LE(std::abs(r.left - (s.area_w - 1 - r.right)), 1) << entry;
        EXPECT_LE(std::abs(r.top - (s.area_h - 1 - r.bottom)), 1) << entry;
        PostMessageA(view, WM_CLOSE, 0, 0);
        EXPECT_TRUE(wait_until_closed(view));
    }
    // A plain metafile that sets its own window: its whole drawing, the
    // ellipse in the middle and the rectangle around it, centred.
    ASSERT_TRUE(select_list_file(app, "window.wmf"));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    place_view(view, 20, 20, 500, 400);
    Shot s = shoot_client(view, "view_plain_wmf");
    EXPECT_EQ(s.middle(), RED);
    RECT r = colour_extent(s, BLUE);
    EXPECT_LE(std::abs(r.left - (s.area_w - 1 - r.right)), 1);
    EXPECT_LE(std::abs(r.top - (s.area_h - 1 - r.bottom)), 1);
    PostMessageA(view, WM_CLOSE, 0, 0);
    EXPECT_TRUE(wait_until_closed(view));
}

// A resource once missing: the hand cursor the tools show over what can be
// dragged. (The Ctrl keys above use the accelerator table.)
TEST(ImageWindow, ProgramCarriesTheHandCursor)
{
    HMODULE module = LoadLibraryExA(std::getenv("CORVANE_EXE"), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, "HAND", MAKEINTRESOURCEA(12)), nullptr);  // RT_GROUP_CURSOR
    FreeLibrary(module);
}

// Dark (text) pixels of the main window's menu bar as the display shows it.
int dark_menu_bar_pixels(const RunningApp& app, const char* name)
{
    Shot s = shoot(app.main, name);
    RECT r;
    GetWindowRect(app.main, &r);
    POINT client = {0, 0};
    ClientToScreen(app.main, &client);
    int bottom = client.y - r.top, top = bottom - GetSystemMetrics(SM_CYMENU);
    int dark = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < s.width; ++x) {
            DWORD p = s.at(x, y);
            dark += p != 0xFFFFFFFF && (p >> 16 & 0xFF) < 0x40 && (p >> 8 & 0xFF) < 0x40 && (p & 0xFF) < 0x40;
        }
    return dark;
}

// An animation that breaks off in the image window leaves a still bitmap
// to edit and convert: the main window's Image Tools and Convert/Save
// titles, greyed for the animation, come back with the window's next paint.
TEST(ImageWindow, AnimationEndingThereGivesTheMainMenuItsToolsBack)
{
    std::string dir = e2e_work_dir("view_main_menu");
    ASSERT_TRUE(copy_fixture("broken.gif", dir, "regress"));
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
    int still = dark_menu_bar_pixels(app, "main_menu_still");
    ASSERT_TRUE(select_list_file(app, "broken.gif"));
    ASSERT_TRUE(wait_for([&] { return dark_menu_bar_pixels(app, "main_menu_animated") < still - 20; }))
        << "greyed for the animation";
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    place_view(view, 500, 400, 300, 200);
    // Once the first tick has met the broken frame, a paint of the window.
    EXPECT_TRUE(wait_for(
        [&] {
            RedrawWindow(view, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
            return dark_menu_bar_pixels(app, "main_menu_ended") > still - 20;
        },
        15000));
    PostMessageA(view, WM_CLOSE, 0, 0);
    EXPECT_TRUE(wait_until_closed(view));
}

// An animated GIF in the full-screen window opened from a tiling image
// window keeps one layout: a repaint tiles it from the top left as each
// frame's tick does (paced.gif: 30 x 20, 1.35 s a frame), so the corner and
// the tile beside it show the same frame whenever they are looked at.
TEST(ImageWindow, FullScreenAnimationTilesOnEveryRepaint)
{
    const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;
    std::string dir = e2e_work_dir("full_tiled_animation");
    ASSERT_TRUE(copy_fixture("paced.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("paced.gif", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_TILE);
    ASSERT_NE(view, nullptr);
    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_FULL_SCREEN, 0), 0);
    HWND full = find_process_window(app.process.dwProcessId, "Full", NULL, 10000);
    ASSERT_NE(full, nullptr);
    // Right after a repaint, before a tick could draw over it, and once
    // a tick has passed.
    const struct {
        const char* moment;
        bool repaint;
        DWORD wait_ms;
    } moments[] = {
        {"first paint", false, 0}, {"repaint", true, 100}, {"repaint again", true, 100},
        {"a frame later", false, 1500}, {"repaint after a frame", true, 100},
    };
    for (const auto& m : moments) {
        if (m.repaint)
            RedrawWindow(full, NULL, NULL, RDW_INVALIDATE | RDW_ERASE);
        Sleep(m.wait_ms);
        Shot s = shoot(full, "full_tiled_animation");
        const DWORD corner = s.at(1, 1);
        EXPECT_TRUE(corner == RED || corner == GREEN || corner == BLUE) << m.moment << ": " << std::hex << corner;
        EXPECT_EQ(s.at(31, 21), corner) << m.moment;
    }
    PostMessageA(full, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(wait_until_closed(full, 5000));
}

// A 12000 x 9000 photo turned by 15 degrees clockwise in the image window
// shows the turned picture, shrunk into the window: the four quadrants
// round the middle, each a little turned, on the white background. The
// result, 13920 x 11799 (493 MB), is one whose whole copy in the display's
// 32-bit format (657 MB) the address space cannot also hold.
TEST(ImageWindow, LargePhotoTurnedByAnAngleIsShown)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "BackgroundColor", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "SelectBackgroundColor", "0", ini.c_str());
    std::string dir = e2e_work_dir("view_large");
    ASSERT_TRUE(copy_fixture("large.jpg", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("large.jpg", dir, app));
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    place_view(view, 40, 50, 660, 560);
    PostMessageA(view, WM_COMMAND, MAKEWPARAM(IDM_VIEW_ROTATE_ANGLE, 0), 0);
    HWND dialog = wait_dialog(app, "Rotate Image");
    ASSERT_NE(dialog, nullptr);
    SetDlgItemTextA(dialog, IDC_ANGLE_EDIT, "15");
    click_button(dialog, IDOK);
    ASSERT_TRUE(wait_until_closed(dialog, 20000));
    // The turn and the paint after it keep the program busy for a while.
    DWORD_PTR ignored;
    SendMessageTimeoutA(view, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &ignored);
    EXPECT_EQ(dismiss_message_box(app, 500), "");
    Shot s = shoot_client(view, "view_large_turned");
    ASSERT_FALSE(s.pixels.empty());
    const int cx = s.area_w / 2, cy = s.area_h / 2, dx = s.area_w / 5, dy = s.area_h / 5;
    const struct {
        int x, y;
        DWORD colour;
    } probes[] = {{cx - dx, cy - dy, RED}, {cx + dx, cy - dy, GREEN}, {cx - dx, cy + dy, BLUE},
                  {cx + dx, cy + dy, YELLOW}, {2, 2, WHITE}};
    for (const auto& p : probes)
        EXPECT_TRUE(colours_close(s.at(p.x, p.y), p.colour, 40)) << p.x << "," << p.y << ": " << std::hex << s.at(p.x, p.y);
}

// With the image window open, the main window's keys stay its own: a name
// typed in its name box and Enter show that file (here in the image
// window). A step there (Ctrl+L) onto a listed file that another program
// has moved away says the file cannot be opened, as the main window does.
TEST(ImageWindow, MainWindowEnterAndAStepOntoAFileMovedAway)
{
    std::string dir = e2e_work_dir("view_steps");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    CreateDirectoryA((dir + "\\moved").c_str(), NULL);
    for (const char* name : {"a_gone.bmp", "b.bmp"})
        ASSERT_TRUE(CopyFileA((dir + "\\quadrants.bmp").c_str(), (dir + "\\" + name).c_str(), FALSE));
    DeleteFileA((dir + "\\moved\\a_gone.bmp").c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);

    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    SendMessageA(name, WM_SETTEXT, 0, (LPARAM) "b.bmp");
    SendMessageA(app.main, WM_NEXTDLGCTL, (WPARAM)name, TRUE);
    PostMessageA(name, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(name, WM_KEYUP, VK_RETURN, 0);
    EXPECT_EQ(wait_for_window_text(view, "b.bmp     9654 bytes"), "b.bmp     9654 bytes");
    EXPECT_EQ(selected_entry(app), "b.bmp");

    ASSERT_TRUE(MoveFileA((dir + "\\a_gone.bmp").c_str(), (dir + "\\moved\\a_gone.bmp").c_str()));
    ctrl_key(view, 'l');
    EXPECT_EQ(dismiss_message_box(app, 8000), "Error Opening File");
    EXPECT_EQ(selected_entry(app), "a_gone.bmp");
    EXPECT_TRUE(IsWindow(view));
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
