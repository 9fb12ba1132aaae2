// Image tools chosen from the main menu change what the preview shows, one
// after the other in one program on the quadrants picture (red, green over
// blue, yellow): Undo steps back one edit at a time, is refused once the
// file changed on disk, and once refused goes back no further than the
// picture then shown; the ROTATE and FRAME dialogs take expressions, keep
// the dialog open on a text that is none, and turn or frame the picture;
// the full-screen window shows, stretches and corrects red eyes where they
// are aimed, and the image window's commands wait while its red-eye window
// or slideshow is open.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, YELLOW = 0xFFFF00, WHITE = 0xFFFFFF,
            MAGENTA = 0xFF00FF;

struct Probe {
    double fx, fy;  // fractions of the preview's image square; fx < 0 ends the list
    DWORD colour;
    int tolerance;
};

struct Step {
    int command;
    const char* shot;
    Probe probes[4];
};

// Colour of the wide picture's top-left quadrant in the preview, once it
// is the expected one (or what it is after a while).
DWORD top_left_colour(const RunningApp& app, const char* shot, DWORD expected)
{
    return shot_when([&] { return preview_shot(app, shot); },
                     [&](const Shot& s) { return s.in_square(0.25, 0.35) == expected; })
        .in_square(0.25, 0.35);
}

// The preview once every probe shows its colour (or after a while).
Shot preview_showing(const RunningApp& app, const char* shot, const std::vector<Probe>& probes)
{
    return shot_when([&] { return preview_shot(app, shot); },
                     [&](const Shot& s) {
                         for (const Probe& p : probes)
                             if (!colours_close(s.in_square(p.fx, p.fy), p.colour, p.tolerance))
                                 return false;
                         return true;
                     });
}

// Types text into the dialog's field and presses OK.
void enter(HWND dialog, int field, const char* text)
{
    SetDlgItemTextA(dialog, field, text);
    click_button(dialog, IDOK);
}

TEST(MenuTools, UndoEachCommandAndTheToolDialogsChangeThePreview)
{
    std::string ini = settings_file_path();
    WritePrivateProfileStringA("Corvane", "FrameColor_Red", "255", ini.c_str());
    WritePrivateProfileStringA("Corvane", "FrameColor_Green", "0", ini.c_str());
    WritePrivateProfileStringA("Corvane", "FrameColor_Blue", "255", ini.c_str());
    std::string dir = e2e_work_dir("tools");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    ASSERT_EQ(top_left_colour(app, "undo_start", RED), RED);

    send_main_command(app, IDM_MAIN_FLIP_TB);
    send_main_command(app, IDM_MAIN_INVERT);
    ASSERT_EQ(top_left_colour(app, "undo_edited", YELLOW), YELLOW) << "blue flipped up, then inverted";
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(top_left_colour(app, "undo_once", BLUE), BLUE);
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(top_left_colour(app, "undo_twice", RED), RED);
    // Saved over meanwhile: the edits would be replayed onto an edited file.
    send_main_command(app, IDM_MAIN_FLIP_TB);
    std::string path = dir + "\\quadrants.bmp";
    ASSERT_TRUE(write_whole_file(path, read_whole_file(path)));  // the same bytes, a later time
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
    EXPECT_NE(dismiss_message_box(app, 5000).find("cannot be undone"), std::string::npos);
    EXPECT_EQ(top_left_colour(app, "undo_refused", BLUE), BLUE);

    const Step steps[] = {
        // Restore reads the file again, without the edits.
        {IDM_MAIN_RESTORE, "tools_restored", {{0.25, 0.375, RED, 0}, {-1, 0, 0, 0}}},
        // Turned upright in the square: blue, red over yellow, green.
        {IDM_MAIN_ROTATE_CW, "tools_rotated",
         {{0.375, 0.25, BLUE, 0}, {0.625, 0.25, RED, 0}, {0.375, 0.75, YELLOW, 0}, {0.625, 0.75, GREEN, 0}}},
        // Red weighs 0.30.
        {IDM_MAIN_GRAYSCALE, "tools_grey", {{0.625, 0.25, 0x4C4C4C, 2}, {-1, 0, 0, 0}}},
        {IDM_MAIN_RESTORE, "tools_restored_again", {{0.25, 0.375, RED, 0}, {-1, 0, 0, 0}}},
        // The ball of the left 40 x 40 square, red over blue, fills the
        // preview; the green quadrant is cut away, the corners are the
        // white background.
        {IDM_MAIN_SPHERE, "tools_sphere",
         {{0.75, 0.15, RED, 0}, {0.25, 0.15, RED, 0}, {0.25, 0.85, BLUE, 0}, {0.02, 0.02, WHITE, 0}}},
    };
    for (const Step& step : steps) {
        send_main_command(app, step.command);
        std::vector<Probe> probes;
        for (const Probe& p : step.probes)
            if (p.fx >= 0)
                probes.push_back(p);
            else
                break;
        Shot s = preview_showing(app, step.shot, probes);
        for (const Probe& p : step.probes) {
            if (p.fx < 0)
                break;
            DWORD got = s.in_square(p.fx, p.fy);
            EXPECT_TRUE(colours_close(got, p.colour, p.tolerance))
                << step.shot << " at " << p.fx << "," << p.fy << ": " << std::hex << got;
        }
    }

    send_main_command(app, IDM_MAIN_RESTORE);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_ROTATE_ANGLE, 0), 0);
    HWND dialog = wait_dialog(app, "Rotate Image", 5000);
    ASSERT_TRUE(dialog);
    enter(dialog, IDC_ANGLE_EDIT, "abc");
    // The message box carries the dialog's caption too.
    HWND box = find_process_window(app.process.dwProcessId, "#32770", dialog, 5000, "Rotate Image");
    ASSERT_TRUE(box);
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)), "Error: Angle must have numeric value.");
    click_button(box, IDOK);
    wait_until_closed(box, 5000);
    ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    enter(dialog, IDC_ANGLE_EDIT, "90/2");
    EXPECT_TRUE(wait_hidden(dialog));
    // A quarter of a right angle clockwise lifts the red top-left corner to
    // the top of a square picture whose corners are the white background.
    Shot turned = preview_showing(app, "angle_after", {{0.34, 0.12, RED, 0}, {0.04, 0.04, WHITE, 0}});
    EXPECT_EQ(turned.in_square(0.34, 0.12), RED);
    EXPECT_EQ(turned.in_square(0.04, 0.04), WHITE);

    send_main_command(app, IDM_MAIN_RESTORE);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FRAME, 0), 0);
    dialog = wait_dialog(app, "quadrants.bmp", 5000);
    ASSERT_TRUE(dialog);
    // A border no memory could hold is refused as Stretch refuses a size,
    // and the dialog stays for another width.
    enter(dialog, IDC_FRAME_UNIFORM_EDIT, "300000");
    box = find_process_window(app.process.dwProcessId, "#32770", dialog, 5000, "Error");
    ASSERT_TRUE(box);
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)), "Insufficient Memory for this Operation.");
    click_button(box, IDOK);
    wait_until_closed(box, 5000);
    ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    SendMessageA(GetDlgItem(dialog, IDC_FRAME_UNIFORM), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(dialog, IDC_FRAME_SEPARATE), BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextA(dialog, IDC_FRAME_TOP, "40/2");
    enter(dialog, IDC_FRAME_BOTTOM, "20");
    EXPECT_TRUE(wait_hidden(dialog));
    // 80 x 40 with 20 rows above and below fills the square preview, in the
    // settings' frame colour.
    Shot framed = preview_showing(app, "frame_after", {{0.5, 0.1, MAGENTA, 0}, {0.25, 0.375, RED, 0},
                                                       {0.75, 0.625, YELLOW, 0}, {0.02, 0.9, MAGENTA, 0}});
    EXPECT_EQ(framed.in_square(0.5, 0.1), MAGENTA);
    EXPECT_EQ(framed.in_square(0.25, 0.375), RED);
    EXPECT_EQ(framed.in_square(0.75, 0.625), YELLOW);
    EXPECT_EQ(framed.in_square(0.02, 0.9), MAGENTA);
}

// camera.jpg given what its file no longer gives, then inverted: the patch
// merged first and its file deleted, or the brightness changed for good by
// F7 in the image window. Undo refused there keeps the picture shown, and
// goes back to it, not to the file, from an edit made afterwards, also
// after a colour change. A change for good (F7) lets the kept picture go,
// so Undo is refused again; another file lets it go too.
TEST(MenuTools, UndoStopsAtThePictureShownOnceItsHistoryIsDropped)
{
    const struct {
        bool merged;
        const char* refusal;  // words of Undo's box
    } ROWS[] = {{true, "patch.bmp, has been changed, moved or deleted"},
                {false, "holds a change that cannot be undone"}};
    for (const auto& row : ROWS) {
        std::string dir = e2e_work_dir(row.merged ? "undo_dropped_merge" : "undo_dropped_f7");
        ASSERT_TRUE(copy_fixture("camera.jpg", dir) && copy_fixture("patch.bmp", dir) &&
                    copy_fixture("quadrants.bmp", dir));
        RunningApp app;
        ASSERT_TRUE(start_app("camera.jpg", dir, app));
        HWND view = NULL;
        auto brighten_for_good = [&] {
            PostMessageA(view ? view : (view = open_image_window(app, IDC_MAIN_CENTER)), WM_KEYDOWN, VK_F7, 0);
            HWND box = wait_dialog(app, "Corvane File Viewer", 10000);
            ASSERT_TRUE(box);
            click_button(box, IDYES);
            ASSERT_TRUE(wait_until_closed(box));
        };
        if (row.merged) {
            PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_MERGE_FILE, 0), 0);
            HWND merge = find_process_window(app.process.dwProcessId, "Merge", NULL, 10000);
            ASSERT_TRUE(merge);
            RECT r;  // a pointer over the tool has it ask for its file
            GetWindowRect(merge, &r);
            x_input("mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                    std::to_string((r.top + r.bottom) / 2));
            ASSERT_TRUE(choose_merge_file(app, "patch.bmp"));
            SendMessageA(merge, WM_COMMAND, MAKEWPARAM(IDM_MERGE_ACCEPT, 0), 0);
        }
        send_main_command(app, IDM_MAIN_INVERT);
        if (row.merged) {
            ASSERT_TRUE(DeleteFileA((dir + "\\patch.bmp").c_str()));
        } else {
            brighten_for_good();
        }
        auto saved = [&](const char* name) {
            run_dialog_command(app, app.main, IDM_MAIN_SAVE_BMP, "Save As Windows BMP", name, 1);
            return read_whole_file(dir + "\\" + name);
        };
        const std::string shown = saved("shown.bmp");
        ASSERT_EQ(shown.substr(0, 2), "BM");
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
        EXPECT_NE(dismiss_message_box(app, 10000).find(row.refusal), std::string::npos) << row.refusal;
        EXPECT_TRUE(saved("refused.bmp") == shown) << row.refusal;
        send_main_command(app, IDM_MAIN_ROTATE_CW);
        send_main_command(app, IDM_MAIN_UNDO);
        EXPECT_TRUE(saved("undone.bmp") == shown) << row.refusal;
        SendMessageA(app.main, WM_SYSCOLORCHANGE, 0, 0);
        send_main_command(app, IDM_MAIN_ROTATE_CW);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
        EXPECT_TRUE(saved("recoloured.bmp") == shown) << row.refusal;
        brighten_for_good();
        send_main_command(app, IDM_MAIN_ROTATE_CW);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
        EXPECT_NE(dismiss_message_box(app, 10000).find("holds a change that cannot be undone"), std::string::npos);
        ASSERT_TRUE(select_list_file(app, "quadrants.bmp"));
        const std::string other = saved("other.bmp");
        send_main_command(app, IDM_MAIN_INVERT);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
        EXPECT_TRUE(saved("other_undone.bmp") == other) << row.refusal;
        EXPECT_EQ(exit_by_button(app), 1);
    }
}

// The full-screen window: the picture at its own size, Esc closes it;
// STRETCH doubles it in a new one; the red-eye mode greys the pixels marked
// on the enlarged area and only those, and Esc discards the marks. The
// picture sits centred on the 1280 x 1024 test display from (600, 492).
HWND open_full(const RunningApp& app, int command, HWND excluded = NULL)
{
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return find_process_window(app.process.dwProcessId, "Full", excluded, 10000);
}

// The full-screen window once it shows these pixels (x, y, colour).
Shot full_showing(HWND full, const char* name, const std::vector<std::vector<DWORD>>& pixels)
{
    return shot_when([&] { return shoot(full, name); },
                     [&](const Shot& s) {
                         for (const auto& p : pixels)
                             if (s.at((int)p[0], (int)p[1]) != p[2])
                                 return false;
                         return true;
                     });
}

// The band over the red quadrant, image pixels (0, 0) to (40, 20), is
// drawn 320 x 160 from (480, 432); then, once it shows, a press at its top
// left.
void band_and_press(HWND full)
{
    // The band is judged against the picture as first painted.
    full_showing(full, "red_eye_start", {{600, 492, RED}});
    PostMessageA(full, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 492));
    PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(620, 502));
    PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(640, 512));
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(640, 512));
    full_showing(full, "red_eye_band", {{484, 436, RED}, {795, 587, RED}});
    PostMessageA(full, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(484, 436));
}

// A key for a window that goes away on it (the caller waits for that).
void press_key(HWND window, UINT key)
{
    PostMessageA(window, WM_KEYDOWN, key, 0);
}

TEST(FullScreen, OwnSizeStretchedAndRedEyeMarksDiscardedThenKept)
{
    // The red-eye tips would wait for their OK on the first pointer move.
    ScopedSetting no_tip("DontShowRedAgain", "1"), no_tip1("DontShowRed1Again", "1");
    std::string dir = e2e_work_dir("full_screen");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));

    HWND full = open_full(app, IDM_MAIN_FULL_SCREEN);
    ASSERT_TRUE(full);
    Shot s = full_showing(full, "full_plain", {{600, 492, RED}, {679, 531, YELLOW}, {599, 492, WHITE}});
    EXPECT_EQ(s.at(600, 492), RED);
    EXPECT_EQ(s.at(679, 531), YELLOW);
    EXPECT_EQ(s.at(599, 492), WHITE) << "left of the picture";
    press_key(full, VK_ESCAPE);
    EXPECT_TRUE(wait_hidden(full));

    HWND first = open_full(app, IDM_MAIN_STRETCH);
    HWND dialog = wait_dialog(app, "quadrants.bmp", 10000);
    ASSERT_TRUE(dialog);
    SetDlgItemTextA(dialog, IDC_STRETCH_WIDTH_ONLY, "80*2");
    click_button(dialog, IDOK);
    EXPECT_TRUE(wait_hidden(first, 10000));
    full = find_process_window(app.process.dwProcessId, "Full", first, 5000);
    ASSERT_TRUE(full);
    // 160 x 80 from (560, 472).
    s = full_showing(full, "full_stretched", {{560, 472, RED}, {719, 551, YELLOW}, {559, 472, WHITE}});
    EXPECT_EQ(s.at(560, 472), RED);
    EXPECT_EQ(s.at(719, 551), YELLOW);
    EXPECT_EQ(s.at(559, 472), WHITE);
    press_key(full, VK_ESCAPE);
    EXPECT_TRUE(wait_hidden(full));
    send_main_command(app, IDM_MAIN_RESTORE);  // the stretched picture is the current one now

    full = open_full(app, IDM_MAIN_RED_EYE);
    ASSERT_TRUE(full);
    band_and_press(full);
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(484, 436));
    press_key(full, VK_ESCAPE);
    EXPECT_TRUE(wait_hidden(full));
    EXPECT_EQ(preview_pixel(app, "red_eye_discarded", 0.5 / 80, 0.25 + 0.5 / 80), 0xFF0000u);

    // Image columns 0 to 9 of rows 0 to 9 marked with the button held.
    full = open_full(app, IDM_MAIN_RED_EYE, full);
    ASSERT_TRUE(full);
    band_and_press(full);
    for (int row = 0; row < 10; ++row)
        for (int column = 0; column < 10; ++column)
            PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(484 + 8 * column, 436 + 8 * row));
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(556, 508));
    EXPECT_EQ(full_showing(full, "red_eye_marked", {{484, 436, 0x737373}}).at(484, 436), 0x737373u)
        << "shown grey on the enlarged area";
    press_key(full, VK_RETURN);
    EXPECT_TRUE(wait_hidden(full));
    // Image pixel (x, y) shows at (x + 0.5) / 80, 0.25 + (y + 0.5) / 80 of the preview.
    Shot after = preview_showing(app, "red_eye_after", {{5.5 / 80, 0.25 + 5.5 / 80, 0x737373, 0}});
    EXPECT_EQ(after.in_square(5.5 / 80, 0.25 + 5.5 / 80), 0x737373u);
    EXPECT_EQ(after.in_square(15.5 / 80, 0.25 + 5.5 / 80), 0xFF0000u) << "column 15 unmarked";
    EXPECT_EQ(after.in_square(5.5 / 80, 0.25 + 15.5 / 80), 0xFF0000u) << "row 15 unmarked";
}

// Red-eye ends on the key that follows Ctrl, not on Ctrl (which the system
// sends down again when the view gets the keys back after a tip box held
// it): the mark made after it is applied too. The key comes as a system
// key, as it does to a view that lost the focus.
TEST(FullScreen, RedEyeAppliesOnTheKeyThatFollowsCtrl)
{
    ScopedSetting no_tip("DontShowRedAgain", "1"), no_tip1("DontShowRed1Again", "1");
    std::string dir = e2e_work_dir("red_eye_ctrl");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND full = open_full(app, IDM_MAIN_RED_EYE);
    ASSERT_TRUE(full);
    band_and_press(full);  // marks image pixel (0, 0)
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(484, 436));
    PostMessageA(full, WM_KEYDOWN, VK_CONTROL, 0);
    PostMessageA(full, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(524, 476));  // image pixel (5, 5)
    PostMessageA(full, WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(524, 476));
    PostMessageA(full, WM_SYSKEYDOWN, 'F', 0);
    EXPECT_TRUE(wait_hidden(full));
    auto marked = [](const Shot& s, double x, double y) {
        return s.in_square((x + 0.5) / 80, 0.25 + (y + 0.5) / 80) != RED;
    };
    Shot after = shot_when([&] { return preview_shot(app, "red_eye_ctrl"); },
                           [&](const Shot& s) { return marked(s, 0, 0) && marked(s, 5, 5); });
    EXPECT_TRUE(marked(after, 0, 0));
    EXPECT_TRUE(marked(after, 5, 5)) << "marked after Ctrl went down";
    EXPECT_FALSE(marked(after, 15, 5));
}

// Red-eye moves no input the program has not taken yet: marks aimed by
// relative moves, as a mouse makes them, land on the pixels aimed at, the
// pointer ends where they took it, and Ctrl+F applies them. The band over
// the red quadrant is posted while the pointer is on its far corner (a
// press taken late), then aimed a row lower each time; or dragged there by
// the pointer from off the picture as first drawn, but on the enlarged
// view to come, faster than the program takes it; or dragged from the
// picture and held until it shows, then released with the pointer moved
// off at once. Then a press, a drag and a release mark two pixels.
TEST(FullScreen, RedEyeMarksLandWhereAimedWhenTheBandIsTakenLate)
{
    enum Band { POSTED, DRAGGED, HELD };
    struct Case {
        Band band;
        POINT pointer;          // where the pointer is when the band is made
        POINT aim, drag;        // relative moves from the far corner, before and with the button down
        POINT pressed, dragged; // image pixels marked at the press and at the drag's end
        POINT untouched;        // image pixel the marks would land on from a pointer moved or held
    };
    const POINT far_corner = {640, 512};
    std::vector<Case> cases;
    // Pixel (x, y) shows at (484 + 8x, 436 + 8y). Moved back to the band's
    // press, the pointer would be 40 left and 20 up.
    for (int row = 5; row < 15; ++row)
        cases.push_back({POSTED, far_corner, {-116, 8 * row - 76}, {0, 0}, {5, row}, {5, row}, {0, row - 2}});
    // Up and left of the picture (600, 492)-(680, 532): the band starts
    // from its corner.
    cases.push_back({DRAGGED, {548, 452}, {-92, -60}, {16, 0}, {8, 2}, {10, 2}, {3, 0}});
    cases.push_back({DRAGGED, {560, 480}, {-80, -32}, {0, 16}, {10, 6}, {10, 8}, {5, 3}});
    cases.push_back({DRAGGED, {580, 476}, {-60, -36}, {-16, 0}, {12, 5}, {10, 5}, {7, 3}});
    // Held on the picture, the pointer would stop at its corner.
    cases.push_back({HELD, {600, 492}, {-100, -42}, {16, 0}, {7, 4}, {9, 4}, {15, 7}});

    ScopedSetting no_tip("DontShowRedAgain", "1"), no_tip1("DontShowRed1Again", "1");
    std::string dir = e2e_work_dir("red_eye_late");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    auto at = [](const Shot& s, POINT p) { return s.in_square((p.x + 0.5) / 80, 0.25 + (p.y + 0.5) / 80); };
    auto cursor_at = [](POINT want) {
        POINT p;
        return GetCursorPos(&p) && p.x == want.x && p.y == want.y;
    };
    auto move = [](POINT by) { return " mousemove_relative -- " + std::to_string(by.x) + " " + std::to_string(by.y); };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "band " << c.band << " from " << c.pointer.x << "," << c.pointer.y
                                        << ", mark " << c.pressed.x << "," << c.pressed.y);
        HWND full = open_full(app, IDM_MAIN_RED_EYE);
        ASSERT_TRUE(full);
        full_showing(full, "red_eye_late_start", {{600, 492, RED}});
        x_input("mousemove " + std::to_string(c.pointer.x) + " " + std::to_string(c.pointer.y));
        ASSERT_TRUE(wait_for([&] { return cursor_at(c.pointer); }));
        const std::string to_far_corner = move({far_corner.x - c.pointer.x, far_corner.y - c.pointer.y});
        std::string release;
        if (c.band == POSTED) {
            PostMessageA(full, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 492));
            PostMessageA(full, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(640, 512));
            PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(640, 512));
        } else if (c.band == DRAGGED) {
            x_input("mousedown 1" + to_far_corner + " mouseup 1");
        } else {
            x_input("mousedown 1");
            ASSERT_TRUE(wait_for([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }));
            x_input(to_far_corner);
            full_showing(full, "red_eye_late_held", {{620, 500, RED ^ WHITE}});  // inverted under the band
            release = "mouseup 1";
        }
        if (release.empty())
            full_showing(full, "red_eye_late_band", {{484, 436, RED}, {795, 587, RED}});
        x_input(release + move(c.aim) + " mousedown 1" + move(c.drag) + " mouseup 1 key ctrl+f");
        EXPECT_TRUE(wait_hidden(full));
        EXPECT_TRUE(cursor_at({far_corner.x + c.aim.x + c.drag.x, far_corner.y + c.aim.y + c.drag.y}))
            << "the pointer where the drag ended";
        Shot after = shot_when([&] { return preview_shot(app, "red_eye_late"); },
                               [&](const Shot& s) { return at(s, c.pressed) != RED && at(s, c.dragged) != RED; });
        EXPECT_NE(at(after, c.pressed), RED) << "the pixel pressed";
        EXPECT_NE(at(after, c.dragged), RED) << "the pixel the drag ended on";
        EXPECT_EQ(at(after, c.untouched), RED) << "aimed from where the program put the pointer";
    }
}

// The image window's Full Screen, Stretch and Red Eye (as its menu or
// Ctrl+F send them) while its red-eye window holds a mark: that window
// stays and Enter applies the mark; Insert/Replace Comment and Full Screen
// while its slideshow runs: nothing opens over the show.
TEST(ImageWindowCommands, WaitWhileItsRedEyeWindowOrSlideshowIsOpen)
{
    ScopedSetting no_tip("DontShowRedAgain", "1"), no_tip1("DontShowRed1Again", "1");
    std::string dir = e2e_work_dir("view_guards");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
    const DWORD pid = app.process.dwProcessId;
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);
    ShowWindow(view, SW_RESTORE);
    SetWindowPos(view, NULL, 20, 20, 400, 300, SWP_NOZORDER);
    PostMessageA(view, WM_COMMAND, IDM_VIEW_RED_EYE, 0);
    HWND full = find_process_window(pid, "Full", NULL, 10000);
    ASSERT_TRUE(full);
    // The image window painting again under the red-eye window leaves the
    // band its own window's picture.
    full_showing(full, "red_eye_start", {{600, 492, RED}});
    RedrawWindow(view, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    band_and_press(full);  // marks image pixel (0, 0)
    PostMessageA(full, WM_LBUTTONUP, 0, MAKELPARAM(484, 436));
    for (int command : {IDM_VIEW_FULL_SCREEN, IDM_VIEW_STRETCH, IDM_VIEW_RED_EYE}) {
        PostMessageA(view, WM_COMMAND, command, 0);
        EXPECT_EQ(find_process_window(pid, "Full", full, 1500), nullptr) << command;
        EXPECT_TRUE(IsWindow(full)) << command;
    }
    press_key(full, VK_RETURN);
    EXPECT_TRUE(wait_hidden(full));
    auto mark_at = [](const Shot& s) { return POINT{(s.area_w - 80) / 2, (s.area_h - 40) / 2}; };
    Shot shown = shot_when([&] { return shoot_client(view, "view_guards_red_eye"); }, [&](const Shot& s) {
        POINT m = mark_at(s);
        return s.at(m.x, m.y) == 0x737373u && s.at(m.x + 10, m.y + 5) == RED;
    });
    const int x = mark_at(shown).x, y = mark_at(shown).y;
    EXPECT_EQ(shown.at(x, y), 0x737373u) << "the mark applied";
    EXPECT_EQ(shown.at(x + 10, y + 5), RED);

    PostMessageA(view, WM_COMMAND, IDM_VIEW_SLIDESHOW, 0);
    HWND slide = find_process_window(pid, "Slide", NULL, 10000);
    ASSERT_TRUE(slide);
    for (int command : {IDM_VIEW_INSERT_COMMENT, IDM_VIEW_FULL_SCREEN}) {
        PostMessageA(view, WM_COMMAND, command, 0);
        EXPECT_EQ(find_process_window(pid, "#32770", app.main, 1500), nullptr) << command;
        EXPECT_EQ(find_process_window(pid, "Full", NULL, 0), nullptr) << command;
        EXPECT_TRUE(IsWindow(slide)) << command;
    }
    press_key(slide, VK_SPACE);
    EXPECT_TRUE(wait_until_closed(slide));
    EXPECT_EQ(exit_by_button(app), 1);
}

// Undo on a later page of a TIFF or a later image of an icon file reloads
// that page or image, not the first, and takes the edit back there.
TEST(MenuTools, UndoStaysOnThePageOrIconShown)
{
    const struct {
        const char* file;
        const char* set;
        const char* second;  // the file-name field on the second page or image
    } CASES[] = {
        {"pages.tif", "e2e", "pages.tif     Page 2 of 3 Pages     "},
        {"multi.ico", "icon", "multi.ico     Icon 2 of 3 Icons     "},
    };
    for (const auto& c : CASES) {
        std::string dir = e2e_work_dir(std::string("undo_page_") + c.set);
        ASSERT_TRUE(copy_fixture(c.file, dir, c.set)) << c.file;
        RunningApp app;
        ASSERT_TRUE(start_app(c.file, dir, app)) << c.file;
        dismiss_message_box(app, 2000);  // the icon file's notice of more images
        ASSERT_TRUE(wait_for_main(app, 10000));
        HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
        RECT r;
        GetWindowRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), &r);
        POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ScreenToClient(app.main, &centre);
        PostMessageA(app.main, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
        ASSERT_EQ(wait_for_window_text(name, c.second), c.second);
        DWORD before = preview_pixel(app, "undo_page_before", 0.5, 0.5);
        send_main_command(app, IDM_MAIN_INVERT);
        ASSERT_NE(preview_pixel(app, "undo_page_inverted", 0.5, 0.5), before) << c.file;
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
        EXPECT_EQ(dismiss_message_box(app, 1500), "") << "the notice once per file";
        EXPECT_EQ(wait_for_window_text(name, c.second), c.second);
        EXPECT_EQ(preview_pixel(app, "undo_page_after", 0.5, 0.5), before) << c.file;
    }
}

}  // namespace
