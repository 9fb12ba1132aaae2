// The crop, merge and text tools on the real program over the 80 x 40
// quadrants picture (red, green / blue, yellow), driven with the X pointer:
// Esc leaves the picture as it was, accepting changes only the tool's place.
// Then the palette window and its colour picker.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

#include <commctrl.h>
#include <stdlib.h>
#include <stdio.h>

namespace {

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, YELLOW = 0xFFFF00, MAGENTA = 0xFF00FF,
            WHITE = 0xFFFFFF;

struct Tool {
    HWND window = NULL, status = NULL;
    POINT image_corner = {};  // top-left image pixel, screen coordinates
};

// Opens a tool over the picture (by the main window's command, or by the
// one of the window given): its window and its backdrop's status bar.
bool open_tool(const RunningApp& app, int command, const char* class_name, Tool* tool, HWND from = NULL)
{
    PostMessageA(from ? from : app.main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    tool->window = find_process_window(app.process.dwProcessId, class_name, NULL, 10000);
    HWND backdrop = find_process_window(app.process.dwProcessId, "Dummy", NULL, 5000);
    if (!tool->window || !backdrop)
        return false;
    tool->status = FindWindowExA(backdrop, NULL, STATUSCLASSNAMEA, NULL);
    RECT c;
    GetClientRect(tool->window, &c);
    tool->image_corner = {(c.right - 80) / 2, (c.bottom - 40) / 2};
    ClientToScreen(tool->window, &tool->image_corner);
    return true;
}

// The pointer to the image pixel (x, y), or pressed there and dragged by
// (dx, dy) in two moves.
void pointer(const Tool& tool, int x, int y, int dx = 0, int dy = 0)
{
    x += tool.image_corner.x;
    y += tool.image_corner.y;
    char actions[200];
    if (dx || dy)
        snprintf(actions, sizeof actions,
                 "mousemove %d %d sleep 0.3 mousedown 1 sleep 0.3 mousemove %d %d sleep 0.3 mousemove %d %d "
                 "sleep 0.3 mouseup 1",
                 x, y, x + dx / 2, y + dy / 2, x + dx, y + dy);
    else
        snprintf(actions, sizeof actions, "mousemove %d %d", x, y);
    x_input(actions);
}

bool escape_closes(const Tool& tool)
{
    SetForegroundWindow(tool.window);
    x_input("key Escape");
    return wait_until_closed(tool.window, 5000);
}

// Presses OK of the dialog with that title once it shows.
bool press_ok(const RunningApp& app, const char* title)
{
    HWND dialog = wait_dialog(app, title, 10000);
    if (dialog)
        click_button(dialog, IDOK);
    return dialog && wait_until_closed(dialog, 5000);
}

// The image pixel (x, y) of the tool's window as shown.
DWORD window_pixel(const Tool& tool, const char* name, int x, int y)
{
    RECT frame;
    GetWindowRect(tool.window, &frame);
    return shoot(tool.window, name).at(tool.image_corner.x - frame.left + x, tool.image_corner.y - frame.top + y);
}

// The preview shows the 80 x 40 picture across its square's middle half.
DWORD picture_pixel(const RunningApp& app, const char* name, double x, double y)
{
    return preview_pixel(app, name, (x + 0.5) / 80, 0.25 + (y + 0.5) / 80);
}

// The status bar's part once it reads wanted (or what it reads after a
// while): the program handles the pointer's moves after they were made.
std::string status_once(const RunningApp& app, const Tool& tool, int part, const std::string& wanted)
{
    wait_for([&] { return status_bar_part_text(app, tool.status, part) == wanted; }, 5000);
    return status_bar_part_text(app, tool.status, part);
}

// The same once it shows the expected colour (or after a while).
DWORD picture_pixel_once(const RunningApp& app, const char* name, double x, double y, DWORD expected)
{
    DWORD got = 0;
    wait_for([&] { return (got = picture_pixel(app, name, x, y)) == expected; });
    return got;
}

// The crop frame's top-left corner dragged to the middle.
void crop_escaped_then_accepted(const RunningApp& app)
{
    for (bool accept : {false, true}) {
        Tool tool;
        ASSERT_TRUE(open_tool(app, IDM_MAIN_CROP, "Crop", &tool));
        EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 80");
        pointer(tool, -2, -2, 40, 20);
        EXPECT_EQ(status_once(app, tool, 2, "width: 40"), "width: 40");
        EXPECT_EQ(status_once(app, tool, 3, "height: 20"), "height: 20");
        if (!accept) {
            EXPECT_TRUE(escape_closes(tool));
            EXPECT_EQ(picture_pixel(app, "crop_cancelled", 8, 4), RED);
            continue;
        }
        SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_CROP_ACCEPT, 0), 0);
        EXPECT_FALSE(IsWindow(tool.window));
        // Still twice as wide as high: the yellow quadrant fills the picture.
        for (double x : {2, 40, 77})
            EXPECT_EQ(picture_pixel(app, "crop_accepted", x, x / 2), YELLOW) << x;
    }
}

// A BMP file's packed image (past its 14-byte file header) on the clipboard.
bool put_on_clipboard(const std::string& bmp_path)
{
    std::string bmp = read_whole_file(bmp_path);
    HGLOBAL block = bmp.size() > 14 ? GlobalAlloc(GMEM_MOVEABLE, bmp.size() - 14) : NULL;
    if (!block || !OpenClipboard(NULL)) {
        GlobalFree(block);
        return false;
    }
    memcpy(GlobalLock(block), bmp.data() + 14, bmp.size() - 14);
    GlobalUnlock(block);
    EmptyClipboard();
    const bool set = SetClipboardData(CF_DIB, block) != NULL;
    CloseClipboard();
    if (!set)
        GlobalFree(block);
    return set;
}

// patch.bmp: 20 x 10 magenta with four white key columns at its left. The
// first pointer move over the merge window asks for the source file.
bool choose_patch(const RunningApp& app, const Tool& tool)
{
    pointer(tool, 60, 30);
    return choose_merge_file(app, "patch.bmp");
}

// The patch dragged by its pixel (10, 5) to (40, 20), made transparent,
// accepted, inverted, and undone twice; dragged again and escaped; the
// clipboard's image.
void merge_accepted_undone_escaped_and_from_clipboard(const RunningApp& app, const std::string& dir)
{
    Tool tool;
    ASSERT_TRUE(open_tool(app, IDM_MAIN_MERGE_FILE, "Merge", &tool));
    EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 80;   height: 40");
    ASSERT_TRUE(choose_patch(app, tool));
    EXPECT_EQ(status_bar_part_text(app, tool.status, 3), "left: 0;   top: 0;   right: 19;   bottom: 9");
    pointer(tool, 10, 5, 30, 15);
    const std::string moved = "left: 30;   top: 15;   right: 49;   bottom: 24";
    EXPECT_EQ(status_once(app, tool, 3, moved), moved);
    // Opaque at first: the key column is white.
    EXPECT_EQ(window_pixel(tool, "merge_opaque", 32, 20), WHITE);
    EXPECT_EQ(window_pixel(tool, "merge_opaque", 40, 20), MAGENTA);
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_MERGE_TRANSPARENT, 0), 0);
    EXPECT_EQ(window_pixel(tool, "merge_transparent", 32, 20), BLUE);
    EXPECT_EQ(window_pixel(tool, "merge_transparent", 32, 16), RED);
    EXPECT_EQ(window_pixel(tool, "merge_transparent", 34, 16), MAGENTA);
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_MERGE_ACCEPT, 0), 0);
    EXPECT_FALSE(IsWindow(tool.window));
    const struct {
        double x, y;
        DWORD colour;
    } after[] = {{40, 20, MAGENTA}, {34, 17, MAGENTA}, {46, 23, MAGENTA}, {31.5, 22, BLUE},
                 {10, 10, RED},     {70, 32, YELLOW},  {55, 20, YELLOW},  {40, 30, YELLOW}};
    for (const auto& p : after)
        EXPECT_EQ(picture_pixel(app, "merge_accepted", p.x, p.y), p.colour) << p.x << "," << p.y;
    // An edit after it is undone by merging the file again, the picture
    // it merged; no box says the edits cannot be replayed.
    send_main_command(app, IDM_MAIN_INVERT);
    EXPECT_EQ(picture_pixel_once(app, "merge_inverted", 40, 20, GREEN), GREEN);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_UNDO, 0), 0);
    EXPECT_EQ(picture_pixel_once(app, "merge_replayed", 40, 20, MAGENTA), MAGENTA);
    EXPECT_EQ(picture_pixel(app, "merge_replayed", 70, 32), YELLOW);
    EXPECT_EQ(dismiss_message_box(app, 0), "");
    // One recorded edit: Undo brings the quadrants back.
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(picture_pixel_once(app, "merge_undone", 40, 20, YELLOW), YELLOW);
    EXPECT_EQ(picture_pixel(app, "merge_undone", 34, 17), RED);

    ASSERT_TRUE(open_tool(app, IDM_MAIN_MERGE_FILE, "Merge", &tool));
    ASSERT_TRUE(choose_patch(app, tool));
    pointer(tool, 10, 5, 30, 15);
    DWORD placed = 0;
    wait_for([&] { return (placed = window_pixel(tool, "merge_before_escape", 40, 20)) == MAGENTA; });
    EXPECT_EQ(placed, MAGENTA);
    EXPECT_TRUE(escape_closes(tool));
    EXPECT_EQ(picture_pixel(app, "merge_cancelled", 40, 20), YELLOW);

    // The clipboard's image (the patch) is asked for and placed at the top left.
    ASSERT_TRUE(put_on_clipboard(dir + "\\patch.bmp"));
    ASSERT_TRUE(open_tool(app, IDM_MAIN_MERGE_CLIPBOARD, "Merge", &tool));
    pointer(tool, 40, 120);
    HWND box = wait_dialog(app, "Merge Image", 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box_text(box), "Merge Image from Clipboard?");
    click_button(box, IDYES);
    wait_until_closed(box);
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_MERGE_ACCEPT, 0), 0);
    EXPECT_EQ(picture_pixel(app, "merge_clipboard", 12, 5), MAGENTA);
    EXPECT_EQ(picture_pixel(app, "merge_clipboard", 24, 5), RED);
    EXPECT_EQ(picture_pixel(app, "merge_clipboard", 12, 12), RED);
}

// Runs the text tool's dialogs on its first pointer move: font and colours
// as set, "Hi" (an empty text refused first when asked), centred on both
// axes, black on an opaque white box (the settings' defaults).
bool place_centred_hi(const RunningApp& app, Tool* tool, bool try_empty)
{
    if (!open_tool(app, IDM_MAIN_WRITE_TEXT, "Text", tool))
        return false;
    pointer(*tool, 40, try_empty ? 120 : 110);  // a move each time
    if (!press_ok(app, "Write Text on Image -- Select Font") || !press_ok(app, "Write Text on Image -- Select Colors"))
        return false;
    HWND text = wait_dialog(app, "Write Text on Image -- Enter/Edit Text", 10000);
    if (!text)
        return false;
    if (try_empty) {
        click_button(text, IDOK);
        HWND box = wait_dialog(app, "Write Text on Image", 10000);
        EXPECT_EQ(box ? box_text(box) : "no box", "No Text Entered.");
        click_button(box, IDOK);
        EXPECT_TRUE(box && wait_until_closed(box));
        EXPECT_TRUE(IsWindowVisible(text)) << "the dialog stays";
    }
    SendMessageA(FindWindowExA(text, NULL, "Edit", NULL), WM_SETTEXT, 0, (LPARAM) "Hi");
    click_button(text, IDOK);
    HWND position = wait_dialog(app, "Position Text on Image", 10000);
    if (!position)
        return false;
    SendDlgItemMessageA(position, IDC_TEXT_CENTER_X, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(position, IDC_TEXT_CENTER_Y, BM_SETCHECK, BST_CHECKED, 0);
    return press_ok(app, "Position Text on Image");
}

// Pixels in the middle quarter of the picture in the preview that are white
// or dark (the ink, smoothed by the preview's halftone scaling).
void count_ink(const Shot& shot, int* white, int* black)
{
    *white = *black = 0;
    const int side = shot.width;
    for (int y = side * 3 / 8; y < side * 5 / 8; ++y)
        for (int x = side / 4; x < side * 3 / 4; ++x) {
            const DWORD c = shot.at(x, y);
            *white += c == 0xFFFFFF;
            *black += (c & 0xFF) < 100 && ((c >> 8) & 0xFF) < 100 && (c >> 16) < 100;
        }
}

// An empty text refused, "Hi" escaped, then accepted: ink on the picture's
// middle only.
void text_escaped_then_accepted(const RunningApp& app)
{
    Tool tool;
    ASSERT_TRUE(place_centred_hi(app, &tool, true));
    EXPECT_TRUE(escape_closes(tool));
    int white = 0, black = 0;
    count_ink(preview_shot(app, "text_cancelled"), &white, &black);
    EXPECT_EQ(white + black, 0);

    ASSERT_TRUE(place_centred_hi(app, &tool, false));
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_TEXT_ACCEPT, 0), 0);
    EXPECT_FALSE(IsWindow(tool.window));
    count_ink(preview_shot(app, "text_accepted"), &white, &black);
    EXPECT_GT(white, 100);
    EXPECT_GT(black, 20);
    const struct {
        double x, y;
        DWORD colour;
    } corners[] = {{3, 3, RED}, {76, 3, GREEN}, {3, 36, BLUE}, {76, 36, YELLOW}};
    for (const auto& p : corners)
        EXPECT_EQ(picture_pixel(app, "text_accepted", p.x, p.y), p.colour) << p.x << "," << p.y;
}

// The file list's control inside the merge tool's Open dialog.
HWND find_list_view(HWND dialog)
{
    struct Search {
        static BOOL CALLBACK visit(HWND hwnd, LPARAM found)
        {
            char name[32] = "";
            GetClassNameA(hwnd, name, sizeof name);
            if (lstrcmpiA(name, WC_LISTVIEWA) != 0)
                return TRUE;
            *(HWND*)found = hwnd;
            return FALSE;
        }
    };
    HWND found = NULL;
    EnumChildWindows(dialog, Search::visit, (LPARAM)&found);
    return found;
}

// The merge source chosen in the dialog: taken from its list (clicked, then
// Enter), which is announced as being merged, or typed in full, in a
// folder the dialog does not show; a text file typed first is refused with
// the reason, and the dialog stays for the next. A.BMP (the patch) typed
// after a.bmp (the quadrants) was clicked, or the other way round, is the
// file typed. The tool then has the chosen file as its source.
struct MergeChoice {
    const char* name;
    const char* typed;              // after the current folder's full path; null: clicked in the list
    const char* refused = nullptr;  // typed so first, a text file
    bool twin = false;
};

class MergeFromFile : public ::testing::TestWithParam<MergeChoice> {};

TEST_P(MergeFromFile, TheChosenFileIsTheSource)
{
    const MergeChoice& row = GetParam();
    const std::string sub = std::string("merge_from_") + row.name;
    std::string dir = e2e_work_dir(sub);
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    // Typed, it lies in a folder of its own; in the list, it is first.
    ASSERT_TRUE(copy_fixture("patch.bmp", row.typed ? e2e_work_dir(sub + "/elsewhere") : dir));
    char full[MAX_PATH] = "";
    ASSERT_GT(GetFullPathNameA(dir.c_str(), sizeof full, full, NULL), 0u);
    ASSERT_TRUE(!row.refused || write_whole_file(dir + "\\" + row.refused, "Notes\r\n"));
    if (row.twin) {
        // Names one letter case apart, which only the Unix side can give.
        ASSERT_TRUE(CopyFileA((dir + "\\quadrants.bmp").c_str(), (dir + "\\a.bmp").c_str(), FALSE));
        run_unix_command("mv '" + unix_path(dir + "\\patch.bmp") + "' '" + unix_path(dir + "\\A.BMP") + "'");
    }
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Tool tool;
    ASSERT_TRUE(open_tool(app, IDM_MAIN_MERGE_FILE, "Merge", &tool));
    pointer(tool, 60, 30);
    std::string placed = "left: 0;   top: 0;   right: 19;   bottom: 9";
    if (row.refused) {
        HWND dialog = type_merge_file(app, std::string(full) + "\\" + row.refused);
        HWND box = wait_dialog(app, "Merge Image", 10000);
        ASSERT_TRUE(dialog && box) << "no reason given";
        EXPECT_EQ(box_text(box), std::string("Unable to read ") + full + "\\" + row.refused);
        click_button(box, IDOK);
        ASSERT_TRUE(wait_until_closed(box));
        EXPECT_TRUE(is_visible(dialog)) << "the dialog stays";
    }
    if (row.typed) {
        std::string typed = std::string(full) + "\\" + row.typed;
        ASSERT_TRUE(choose_merge_file(app, typed.c_str()));
    } else {
        HWND dialog = wait_dialog(app, "Merge Image from File", 10000);
        ASSERT_NE(dialog, nullptr);
        HWND list = find_list_view(dialog);
        ASSERT_NE(list, nullptr);
        POINT first = {40, 8};
        ClientToScreen(list, &first);
        char actions[120];
        snprintf(actions, sizeof actions, "mousemove %ld %ld sleep 0.3 click 1 sleep 0.5 %s", first.x, first.y,
                 row.twin ? "" : "key Return");
        x_input(actions);
        if (row.twin) {
            std::string clicked;
            ASSERT_TRUE(wait_for([&] {
                clicked = window_text(GetDlgItem(dialog, 0x47C));
                return clicked == "a.bmp" || clicked == "A.BMP";
            })) << clicked;
            // Typed while the list keeps the focus.
            if (clicked == "A.BMP")
                placed = "left: 0;   top: 0;   right: 79;   bottom: 39";
            EXPECT_TRUE(choose_merge_file(app, clicked == "a.bmp" ? "A.BMP" : "a.bmp")) << "taken for the file clicked";
        } else {
            HWND box = wait_dialog(app, "Corvane Graphics' File Viewer", 5000);
            ASSERT_NE(box, nullptr) << "no notice";
            EXPECT_EQ(box_text(box), "Merging Image from File...");
            click_button(box, IDOK);
            EXPECT_TRUE(wait_until_closed(dialog, 5000));
        }
    }
    ASSERT_TRUE(IsWindow(tool.window)) << "the tool ended";
    EXPECT_EQ(status_bar_part_text(app, tool.status, 3), placed);
    EXPECT_TRUE(escape_closes(tool));
}

INSTANTIATE_TEST_SUITE_P(Ways, MergeFromFile, ::testing::Values(
    MergeChoice{"list", nullptr},
    MergeChoice{"full_path", "elsewhere\\patch.bmp"},
    MergeChoice{"after_unreadable", "elsewhere\\patch.bmp", "notes.bmp"},
    MergeChoice{"twin_in_other_case", nullptr, nullptr, true}),
    [](const ::testing::TestParamInfo<MergeChoice>& info) { return std::string(info.param.name); });

// One program, Restore between the tools (Undo is the merge's own check).
TEST(ToolWindows, MergeCropAndTextEachEscapedThenAccepted)
{
    ScopedSetting no_tip("DontShowAgain", "1");  // the crop tip would wait for its OK
    std::string dir = e2e_work_dir("tool_windows");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("patch.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    merge_accepted_undone_escaped_and_from_clipboard(app, dir);
    send_main_command(app, IDM_MAIN_RESTORE);
    crop_escaped_then_accepted(app);
    send_main_command(app, IDM_MAIN_RESTORE);
    text_escaped_then_accepted(app);
}

// Zoomed out and in again before leaving: Esc gives the picture back as it
// was, accepting cuts the rectangle chosen at 100 % (the yellow quadrant),
// and Undo brings the whole picture back.
TEST(ToolWindows, CropAfterZoomingKeepsThePictureAndItsRectangle)
{
    ScopedSetting no_tip("DontShowAgain", "1");
    std::string dir = e2e_work_dir("crop_zoom");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    for (bool accept : {false, true}) {
        Tool tool;
        ASSERT_TRUE(open_tool(app, IDM_MAIN_CROP, "Crop", &tool));
        pointer(tool, -2, -2, 40, 20);
        status_once(app, tool, 2, "width: 40");  // the drag handled before the zooms
        HWND crop = tool.window;
        for (int zoom : {IDM_CROP_ZOOM_50, IDM_CROP_ZOOM_200}) {
            SendMessageA(crop, WM_COMMAND, MAKEWPARAM(zoom, 0), 0);
            crop = find_process_window(app.process.dwProcessId, "Crop", NULL, 5000);
            ASSERT_TRUE(crop);
        }
        EXPECT_EQ(status_bar_part_text(app, tool.status, 1), "zoom: 200%");
        EXPECT_EQ(status_bar_part_text(app, tool.status, 2), "width: 40");
        if (accept)
            SendMessageA(crop, WM_COMMAND, MAKEWPARAM(IDM_CROP_ACCEPT, 0), 0);
        else
            SendMessageA(crop, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_FALSE(IsWindow(crop));
        const char* shot = accept ? "crop_zoomed_accepted" : "crop_zoomed_cancelled";
        const struct {
            double x, y;
            DWORD colour;
        } probes[] = {{1, 1, RED}, {78, 1, GREEN}, {1, 38, BLUE}, {78, 38, YELLOW}};
        for (const auto& p : probes)
            EXPECT_EQ(picture_pixel(app, shot, p.x, p.y), accept ? YELLOW : p.colour) << shot << " " << p.x << "," << p.y;
    }
    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(picture_pixel_once(app, "crop_zoomed_undone", 1, 1, RED), RED);
    EXPECT_EQ(picture_pixel(app, "crop_zoomed_undone", 78, 38), YELLOW);
}

// A 24-bit BMP file, red with its columns from `blue_from` on blue.
std::string red_blue_bmp(int width, int height, int blue_from)
{
    const int stride = (width * 3 + 3) / 4 * 4;
    std::string bmp(54 + (size_t)stride * height, '\0');
    auto put32 = [&](size_t at, int value) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = (char)(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, (int)bmp.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bmp[26] = 1;
    bmp[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            char* p = &bmp[54 + (size_t)y * stride + (size_t)x * 3];
            p[0] = x >= blue_from ? (char)255 : 0;
            p[2] = x >= blue_from ? 0 : (char)255;
        }
    return bmp;
}

// Keys typed by later tests go to the window under the pointer: the
// pointer goes back to the screen's middle, however the test ends.
struct PointerBackToMiddle {
    ~PointerBackToMiddle()
    {
        char actions[64];
        snprintf(actions, sizeof actions, "mousemove %d %d", GetSystemMetrics(SM_CXSCREEN) / 2,
                 GetSystemMetrics(SM_CYSCREEN) / 2);
        x_input(actions);
    }
};

// A picture 9,000 pixels wide at 800 %: 72,032 window pixels with the
// margin. The scroll thumb dragged to the bar's right end shows the
// picture's right end (blue), not a place cut to 16 bits (red).
TEST(ToolWindows, CropThumbDraggedToTheEndOfAViewWiderThan65535Pixels)
{
    ScopedSetting no_tip("DontShowAgain", "1");
    PointerBackToMiddle pointer_back;
    std::string dir = e2e_work_dir("crop_wide");
    ASSERT_TRUE(write_whole_file(dir + "\\wide.bmp", red_blue_bmp(9000, 8, 8000)));
    RunningApp app;
    ASSERT_TRUE(start_app("wide.bmp", dir, app));
    Tool tool;
    ASSERT_TRUE(open_tool(app, IDM_MAIN_CROP, "Crop", &tool));
    SendMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_CROP_ZOOM_800, 0), 0);
    HWND crop = find_process_window(app.process.dwProcessId, "Crop", NULL, 10000);
    ASSERT_TRUE(crop);
    ASSERT_TRUE(GetWindowLongA(crop, GWL_STYLE) & WS_HSCROLL);
    SetForegroundWindow(crop);
    RECT r;
    GetWindowRect(crop, &r);
    const int arrow = GetSystemMetrics(SM_CXHSCROLL), y = r.bottom - GetSystemMetrics(SM_CYHSCROLL) / 2;
    char actions[200];
    snprintf(actions, sizeof actions,
             "mousemove %d %d sleep 0.3 mousedown 1 sleep 0.3 mousemove %d %d sleep 0.3 mousemove %d %d "
             "sleep 0.5 mouseup 1",
             (int)r.left + arrow + 6, y, (int)(r.left + r.right) / 2, y, (int)r.right - arrow / 2, y);
    x_input(actions);
    RECT c;
    GetClientRect(crop, &c);
    POINT middle = {c.right / 2, c.bottom / 2};
    ClientToScreen(crop, &middle);
    auto at_middle = [&](const Shot& s) { return s.at(middle.x - r.left, middle.y - r.top); };
    EXPECT_EQ(at_middle(shot_when([&] { return shoot(crop, "crop_wide_scrolled"); },
                                  [&](const Shot& s) { return at_middle(s) == BLUE; })),
              BLUE);
    SendMessageA(crop, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindow(crop));
}

// Display Palette: the window lists the GIF's colours; a click on the first
// swatch opens the picker on entry 0, and black typed into its fields turns
// that entry's quadrant of the picture black, also after a colour change,
// which leaves the window open on the colours read again.
void type_channel(HWND picker, int id, const char* text)
{
    HWND field = GetDlgItem(picker, id);
    // The picker takes a field's text only while that field has the focus.
    SendMessageA(picker, WM_COMMAND, MAKEWPARAM(id, EN_SETFOCUS), (LPARAM)field);
    SetDlgItemTextA(picker, id, text);
    SendMessageA(picker, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), (LPARAM)field);
}

TEST(PaletteWindow, PickerOnTheFirstSwatchRecoloursItsEntry)
{
    std::string dir = e2e_work_dir("palette");
    ASSERT_TRUE(copy_fixture("quadrants.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.gif", dir, app));

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_DISPLAY_PALETTE, 0), 0);
    HWND palette = find_process_window(app.process.dwProcessId, "Palette", NULL, 10000);
    ASSERT_TRUE(palette);
    EXPECT_EQ(window_text(palette), "Image Palette (4 Colors)");

    PostMessageA(palette, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    HWND picker = wait_dialog(app, "Palette Index 0", 10000);
    ASSERT_TRUE(picker);
    DWORD old = (DWORD)atoi(window_text(GetDlgItem(picker, IDC_PICKER_RED)).c_str()) << 16 |
                (DWORD)atoi(window_text(GetDlgItem(picker, IDC_PICKER_GREEN)).c_str()) << 8 |
                (DWORD)atoi(window_text(GetDlgItem(picker, IDC_PICKER_BLUE)).c_str());
    type_channel(picker, IDC_PICKER_RED, "0");
    type_channel(picker, IDC_PICKER_GREEN, "0");
    type_channel(picker, IDC_PICKER_BLUE, "0");
    click_button(picker, IDOK);
    EXPECT_TRUE(wait_hidden(picker));
    // A change of the system colours reads the file again and keeps the
    // edit: the information box asked for next comes after that reload.
    SendMessageA(app.main, WM_SYSCOLORCHANGE, 0, 0);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FILE_INFO, 0), 0);
    EXPECT_NE(dismiss_message_box(app, 10000), "");
    ASSERT_TRUE(IsWindow(palette)) << "the reload closed the palette window";
    EXPECT_EQ(window_text(palette), "Image Palette (4 Colors)");
    // Its first swatch shows entry 0 as the edit left it, black.
    RECT frame, client;
    GetWindowRect(palette, &frame);
    GetClientRect(palette, &client);
    POINT swatch = {client.right / 4, client.bottom / 4};
    ClientToScreen(palette, &swatch);
    DWORD shown = 0;
    wait_for([&] {
        shown = shoot(palette, "palette_reloaded").at(swatch.x - frame.left, swatch.y - frame.top);
        return shown == 0;
    });
    EXPECT_EQ(shown, 0u) << std::hex << shown;
    // The window lies over the preview.
    PostMessageA(palette, WM_COMMAND, MAKEWPARAM(IDM_PALETTE_EXIT, 0), 0);
    EXPECT_TRUE(wait_hidden(palette));

    const struct {
        double fx, fy;
        DWORD colour;
    } quadrants[] = {{0.25, 0.375, RED}, {0.75, 0.375, GREEN}, {0.25, 0.625, BLUE}, {0.75, 0.625, YELLOW}};
    Shot s = preview_shot(app, "palette_after");
    int recoloured = 0;
    for (const auto& q : quadrants) {
        EXPECT_EQ(s.in_square(q.fx, q.fy), q.colour == old ? 0u : q.colour) << std::hex << q.colour;
        recoloured += q.colour == old;
    }
    EXPECT_EQ(recoloured, 1) << "entry 0 held " << std::hex << old;
}

// Frame over a palette picture holds the shown file, and its colour is
// chosen in the palette window: that window alone stays open to the user,
// and a click on a swatch brings the frame's colour picker.
TEST(PaletteWindow, FrameChoosesItsColourThereWhileItHolds)
{
    std::string dir = e2e_work_dir("palette_frame");
    ASSERT_TRUE(copy_fixture("quadrants.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.gif", dir, app));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FRAME, 0), 0);
    HWND frame = find_process_window(app.process.dwProcessId, "#32770", app.main, 10000);
    ASSERT_TRUE(frame);
    PostMessageA(frame, WM_COMMAND, MAKEWPARAM(IDC_FRAME_EDIT_COLOR, BN_CLICKED),
                 (LPARAM)GetDlgItem(frame, IDC_FRAME_EDIT_COLOR));
    HWND chooser = find_process_window(app.process.dwProcessId, "Palette", NULL, 10000);
    ASSERT_TRUE(chooser);
    EXPECT_FALSE(IsWindowEnabled(app.main));
    EXPECT_TRUE(IsWindowEnabled(chooser));
    PostMessageA(chooser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    HWND picker = wait_dialog(app, "Select Frame/Border Color", 10000);
    ASSERT_TRUE(picker);
    click_button(picker, IDCANCEL);
    EXPECT_TRUE(wait_until_closed(picker));
    click_button(frame, IDCANCEL);
    EXPECT_TRUE(wait_until_closed(frame));
    EXPECT_EQ(exit_by_button(app), 1);
}

// A text too large to be drawn (two hundred letters in a 9000-pixel font,
// a box past what the tool reads back) says so with the tools' memory
// message, changes nothing and is not recorded: Undo afterwards takes back
// the edit before it, the inversion.
TEST(ToolWindows, TextThatCannotBeDrawnIsNotRecorded)
{
    ScopedSetting huge("FontHeight", "-9000");
    // A face the font dialog lists: for one it lacks (the default Arial on a
    // new prefix) it falls back to its first face at its own size.
    ScopedSetting face("FontFaceName", "C059");
    std::string dir = e2e_work_dir("text_refused");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    send_main_command(app, IDM_MAIN_INVERT);
    ASSERT_EQ(picture_pixel(app, "text_refused_inverted", 8, 4), 0x00FFFFu) << "red inverted";

    Tool tool;
    ASSERT_TRUE(open_tool(app, IDM_MAIN_WRITE_TEXT, "Text", &tool));
    pointer(tool, 40, 110);
    ASSERT_TRUE(press_ok(app, "Write Text on Image -- Select Font"));
    ASSERT_TRUE(press_ok(app, "Write Text on Image -- Select Colors"));
    HWND text = wait_dialog(app, "Write Text on Image -- Enter/Edit Text", 10000);
    ASSERT_TRUE(text);
    SendMessageA(FindWindowExA(text, NULL, "Edit", NULL), WM_SETTEXT, 0, (LPARAM)std::string(200, 'W').c_str());
    click_button(text, IDOK);
    HWND position = wait_dialog(app, "Position Text on Image", 10000);
    ASSERT_TRUE(position);
    SendDlgItemMessageA(position, IDC_TEXT_CENTER_X, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(position, IDC_TEXT_CENTER_Y, BM_SETCHECK, BST_CHECKED, 0);
    ASSERT_TRUE(press_ok(app, "Position Text on Image"));
    PostMessageA(tool.window, WM_COMMAND, MAKEWPARAM(IDM_TEXT_ACCEPT, 0), 0);
    // Laying out the text alone takes many seconds on a busy machine.
    EXPECT_EQ(dismiss_message_box(app, 60000), "Insufficient Memory for this Operation.");
    EXPECT_TRUE(wait_until_closed(tool.window));
    EXPECT_EQ(picture_pixel(app, "text_refused_accepted", 8, 4), 0x00FFFFu) << "nothing drawn";

    send_main_command(app, IDM_MAIN_UNDO);
    EXPECT_EQ(picture_pixel(app, "text_refused_undone", 8, 4), RED) << "the inversion undone";
}

// Crop, Text and Merge started from the image window over quadrants.bmp
// (patch.bmp is the next file): while the tool is open the image window is
// disabled; Ctrl+N, Ctrl+B, Ctrl+D, Ctrl+F and Ctrl+X typed into the tool,
// and a click on the image window and on its >>> (as their messages come),
// leave it showing the same file and picture, with no full-screen window.
TEST(ToolWindows, ImageWindowTakesNoCommandWhileItsToolIsOpen)
{
    ScopedSetting no_tip("DontShowAgain", "1");  // the crop tip would wait for its OK
    PointerBackToMiddle pointer_back;
    std::string dir = e2e_work_dir("tool_hold");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    ASSERT_TRUE(copy_fixture("patch.bmp", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    Sleep(500);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_TRUE(view);
    ShowWindow(view, SW_RESTORE);
    SetWindowPos(view, NULL, 20, 20, 400, 300, SWP_NOZORDER);
    const std::string title = window_text(view);
    const struct {
        int command;
        const char* class_name;
    } tools[] = {{IDM_VIEW_CROP, "Crop"}, {IDM_VIEW_WRITE_TEXT, "Text"}, {IDM_VIEW_MERGE_FILE, "Merge"}};
    for (const auto& t : tools) {
        SCOPED_TRACE(t.class_name);
        Tool tool;
        ASSERT_TRUE(open_tool(app, t.command, t.class_name, &tool, view));
        // The pointer goes over the tool, where the keys are typed; Text
        // asks for its font then, Merge for its source.
        if (t.command == IDM_VIEW_MERGE_FILE) {
            ASSERT_TRUE(choose_patch(app, tool));
        } else {
            pointer(tool, 40, 20);
            HWND font = t.command == IDM_VIEW_WRITE_TEXT ? wait_dialog(app, "Write Text on Image -- Select Font") : NULL;
            if (font) {
                click_button(font, IDCANCEL);
                EXPECT_TRUE(wait_until_closed(font));
            }
        }
        EXPECT_FALSE(IsWindowEnabled(view));
        SetForegroundWindow(tool.window);
        // Ctrl+B twice: one Ctrl+D would take a single step back.
        x_input("key ctrl+n ctrl+b ctrl+b ctrl+d ctrl+f ctrl+x");
        PostMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
        PostMessageA(view, WM_COMMAND, IDM_VIEW_NEXT_FILE, 0);
        EXPECT_TRUE(escape_closes(tool));
        EXPECT_EQ(find_process_window(app.process.dwProcessId, "Full", NULL, 500), nullptr);
        ASSERT_TRUE(IsWindow(view));
        EXPECT_TRUE(IsWindowEnabled(view));
        EXPECT_EQ(window_text(view), title);
        // The red quadrant, left of the middle and above it, not brightened.
        Shot shown = shoot_client(view, "tool_hold_after");
        EXPECT_EQ(shown.at(shown.area_w / 2 - 20, shown.area_h / 2 - 10), RED);
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
