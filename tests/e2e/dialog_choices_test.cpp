// The radio buttons of the ROTATE, SKEW, FRAME and STRETCH dialogs, clicked
// as a person does, on the quadrants picture (80 x 40, red, green over
// blue, yellow): each choice, also one made after another, is the one OK
// applies, and the picture changes the way the chosen button says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, YELLOW = 0xFFFF00, MAGENTA = 0xFF00FF;

// Clicks the button itself: an auto radio button checks itself and clears
// the others of its group.
void click_control(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    wait_for([&] { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }, 5000);
}

// The smallest rectangle holding every pixel of the picture's four colours
// (and of the frame colour when asked), right and bottom exclusive.
RECT picture_extent(const Shot& s, bool with_frame = false)
{
    RECT r = {s.width, s.height, 0, 0};
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            DWORD c = s.pixels[(size_t)y * s.width + x];
            if (c != RED && c != GREEN && c != BLUE && c != YELLOW && (!with_frame || c != MAGENTA))
                continue;
            r.left = x < r.left ? x : r.left;
            r.top = y < r.top ? y : r.top;
            r.right = x + 1 > r.right ? x + 1 : r.right;
            r.bottom = y + 1 > r.bottom ? y + 1 : r.bottom;
        }
    return r;
}

struct Choice {
    int command;             // main menu command opening the dialog
    const char* title;       // the dialog's title
    int clicks[2];           // buttons clicked in turn (0: none)
    struct {
        int id;
        const char* text;
    } fields[2];             // typed before OK (id 0: none)
    const char* what;        // what the picture shows then
};

// What the preview's picture after the choice gets wrong, as a person
// checks it: nothing when it is right.
std::vector<std::string> picture_faults(const Shot& s, const Choice& c)
{
    std::vector<std::string> faults;
    auto expect = [&](bool right, const std::string& fault) {
        if (!right)
            faults.push_back(fault);
    };
    const std::string what = c.what;
    RECT e = picture_extent(s, what.rfind("framed", 0) == 0);
    const int w = e.right - e.left, h = e.bottom - e.top;
    if (w <= 0)
        return {"no picture"};
    if (what == "turned clockwise" || what == "turned counter-clockwise") {
        const bool cw = what == "turned clockwise";
        expect(s.in_square(0.375, 0.25) == (cw ? BLUE : GREEN), "top left quadrant");
        expect(s.in_square(0.625, 0.25) == (cw ? RED : YELLOW), "top right quadrant");
        expect(s.in_square(0.375, 0.75) == (cw ? YELLOW : RED), "bottom left quadrant");
        expect(s.in_square(0.625, 0.75) == (cw ? GREEN : BLUE), "bottom right quadrant");
    } else if (what == "skewed vertically") {
        // 80 x 40 leaning by 30 degrees down its columns: 80 x 86.
        expect(h > w, std::to_string(w) + " x " + std::to_string(h));
    } else if (what == "skewed horizontally") {
        // Along its rows: 103 x 40.
        expect(w * 10 > h * 24, std::to_string(w) + " x " + std::to_string(h));
    } else if (what == "framed top and bottom") {
        // 80 x 80, the picture's left edge uncovered.
        expect(std::abs(w - h) <= 2, std::to_string(w) + " x " + std::to_string(h));
        expect(s.in_square(0.5, 0.1) == MAGENTA, "frame above");
        expect(s.in_square(0.02, 0.375) == RED, "left edge");
        expect(s.in_square(0.98, 0.625) == YELLOW, "right edge");
    } else if (what == "framed on every side") {
        // 120 x 80.
        expect(s.in_square(0.02, 0.5) == MAGENTA, "frame on the left");
        expect(s.in_square(0.5, 0.2) == MAGENTA, "frame above");
        expect(s.in_square(0.3, 0.4) == RED, "the picture");
    }
    return faults;
}

// The preview's picture after the choice, once it shows (or after a while).
void expect_picture(const RunningApp& app, const Choice& c)
{
    std::vector<std::string> faults;
    shot_when([&] { return preview_shot(app, c.what); },
              [&](const Shot& s) {
                  faults = picture_faults(s, c);
                  return faults.empty();
              });
    EXPECT_EQ(faults, std::vector<std::string>()) << c.what;
}

TEST(DialogChoices, EveryRadioButtonOfRotateSkewAndFrameIsTheOneApplied)
{
    ScopedSetting red("FrameColor_Red", "255"), green("FrameColor_Green", "0"), blue("FrameColor_Blue", "255");
    std::string dir = e2e_work_dir("dialog_choices");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));

    const Choice choices[] = {
        {IDM_MAIN_ROTATE_ANGLE, "Rotate Image", {IDC_ANGLE_SECOND_RADIO, 0},
         {{IDC_ANGLE_EDIT, "90"}, {0, NULL}}, "turned counter-clockwise"},
        {IDM_MAIN_ROTATE_ANGLE, "Rotate Image", {IDC_ANGLE_SECOND_RADIO, IDC_ANGLE_FIRST_RADIO},
         {{IDC_ANGLE_EDIT, "90"}, {0, NULL}}, "turned clockwise"},
        {IDM_MAIN_SKEW, "Skew Image", {IDC_ANGLE_SECOND_RADIO, 0},
         {{IDC_SKEW_VERTICAL_EDIT, "30"}, {0, NULL}}, "skewed vertically"},
        {IDM_MAIN_SKEW, "Skew Image", {IDC_ANGLE_SECOND_RADIO, IDC_ANGLE_FIRST_RADIO},
         {{IDC_ANGLE_EDIT, "30"}, {0, NULL}}, "skewed horizontally"},
        {IDM_MAIN_FRAME, "quadrants.bmp", {IDC_FRAME_SEPARATE, 0},
         {{IDC_FRAME_TOP, "20"}, {IDC_FRAME_BOTTOM, "20"}}, "framed top and bottom"},
        {IDM_MAIN_FRAME, "quadrants.bmp", {IDC_FRAME_SEPARATE, IDC_FRAME_UNIFORM},
         {{IDC_FRAME_UNIFORM_EDIT, "20"}, {0, NULL}}, "framed on every side"},
    };
    for (const Choice& c : choices) {
        send_main_command(app, IDM_MAIN_RESTORE);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(c.command, 0), 0);
        HWND dialog = wait_dialog(app, c.title, 10000);
        ASSERT_TRUE(dialog) << c.what;
        for (int id : c.clicks)
            if (id)
                click_control(dialog, id);
        // The last button clicked is the only one checked.
        const int chosen = c.clicks[1] ? c.clicks[1] : c.clicks[0];
        for (int id : c.clicks) {
            if (id) {
                EXPECT_EQ(IsDlgButtonChecked(dialog, id) == BST_CHECKED, id == chosen) << c.what << " " << id;
            }
        }
        for (const auto& f : c.fields)
            if (f.id)
                SetDlgItemTextA(dialog, f.id, f.text);
        click_button(dialog, IDOK);
        ASSERT_TRUE(wait_until_closed(dialog, 5000)) << c.what;
        expect_picture(app, c);
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

// STRETCH opens over the full-screen window, which then shows the new
// size at its own scale in the middle of the screen. A first field that is
// no expression is named and the dialog stays for another.
TEST(DialogChoices, EveryStretchModeIsTheOneApplied)
{
    std::string dir = e2e_work_dir("stretch_choices");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));

    const struct {
        int clicks[2];
        struct {
            int id;
            const char* text;
        } fields[2];
        int width, height;
        const char* unreadable;  // typed in the first field and refused first
    } modes[] = {
        {{IDC_STRETCH_MODE_HEIGHT, 0}, {{IDC_STRETCH_HEIGHT_ONLY, "20"}, {0, NULL}}, 40, 20, NULL},
        {{IDC_STRETCH_MODE_BOTH, 0}, {{IDC_STRETCH_WIDTH, "40"}, {IDC_STRETCH_HEIGHT, "80"}}, 40, 80, NULL},
        {{IDC_STRETCH_MODE_HEIGHT, IDC_STRETCH_MODE_WIDTH},
         {{IDC_STRETCH_WIDTH_ONLY, "160"}, {0, NULL}},
         160,
         80,
         "640*1.5+x"},
    };
    for (const auto& m : modes) {
        send_main_command(app, IDM_MAIN_RESTORE);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_STRETCH, 0), 0);
        HWND first = find_process_window(app.process.dwProcessId, "Full", NULL, 10000);
        HWND dialog = wait_dialog(app, "quadrants.bmp", 10000);
        ASSERT_TRUE(first && dialog);
        for (int id : m.clicks)
            if (id)
                click_control(dialog, id);
        if (m.unreadable) {
            SetDlgItemTextA(dialog, m.fields[0].id, m.unreadable);
            click_button(dialog, IDOK);
            HWND box = wait_dialog(app, "Stretch Image", 10000);
            ASSERT_TRUE(box);
            EXPECT_EQ(box_text(box), std::string("Error: Cannot read the expression \"") + m.unreadable + "\".");
            click_button(box, IDOK);
            ASSERT_TRUE(wait_until_closed(box));
            EXPECT_TRUE(is_visible(dialog)) << "the dialog stays";
        }
        for (const auto& f : m.fields)
            if (f.id)
                SetDlgItemTextA(dialog, f.id, f.text);
        click_button(dialog, IDOK);
        ASSERT_TRUE(wait_hidden(first, 10000));
        HWND full = find_process_window(app.process.dwProcessId, "Full", first, 5000);
        ASSERT_TRUE(full);
        RECT e = picture_extent(shot_when([&] { return shoot(full, "stretch_choice"); }, [&](const Shot& s) {
            RECT r = picture_extent(s);
            return r.right - r.left == m.width && r.bottom - r.top == m.height;
        }));
        EXPECT_EQ(e.right - e.left, m.width) << m.width << " x " << m.height;
        EXPECT_EQ(e.bottom - e.top, m.height) << m.width << " x " << m.height;
        PostMessageA(full, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(wait_hidden(full));
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
