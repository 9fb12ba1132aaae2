// Selecting a file shows it in the preview, as a person sees it: pictures
// keep their aspect; Windows and enhanced metafiles drawn by the system's
// own GDI are fitted, played from the corner when they have no size, never
// drawn past the frame lines (faults found on real files), and laid out the
// same again after a resize; TIFF pages step; animations keep playing;
// files their readers refuse say why and leave the preview empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

struct PreviewCase {
    const char* file;
    int tolerance;  // lossy formats may differ a little
};

class Preview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(Preview, FileNamedOnCommandLineShowsInThePreviewKeepingItsAspect)
{
    std::string file = GetParam().file;
    std::string dir = e2e_work_dir("preview");
    ASSERT_TRUE(copy_fixture(file, dir));
    RunningApp app;
    ASSERT_TRUE(start_app(file, dir, app));
    ASSERT_TRUE(is_visible(GetDlgItem(app.main, IDC_MAIN_PREVIEW)));
    Shot s = preview_shot(app, ("preview_" + file).c_str());
    ASSERT_GT(s.width, 40);
    ASSERT_EQ(s.width, s.height) << "the preview is square";
    // An image twice as wide as high fills the width and half the height,
    // centred: the quadrants' centres land at these places.
    const struct {
        double fx, fy;
        DWORD rgb;
    } quadrants[] = {
        {0.25, 0.375, 0xFF0000}, {0.75, 0.375, 0x00FF00}, {0.25, 0.625, 0x0000FF}, {0.75, 0.625, 0xFFFF00}};
    for (const auto& q : quadrants)
        EXPECT_TRUE(colours_close(s.in_square(q.fx, q.fy), q.rgb, GetParam().tolerance))
            << std::hex << s.in_square(q.fx, q.fy) << " at " << q.fx << "," << q.fy;
    // Above the image the preview shows the button face, not the image.
    EXPECT_NE(s.in_square(0.5, 0.125), 0xFF0000u);
    EXPECT_NE(s.in_square(0.5, 0.125), 0x00FF00u);
}

// Which reader a file reaches and what it decodes are the unit tests'
// (loader table, readers against independent tools); these rows are the
// painting of an RGB, a palette and a lossy picture.
INSTANTIATE_TEST_SUITE_P(Formats, Preview, ::testing::Values(
    PreviewCase{"quadrants.bmp", 0}, PreviewCase{"quadrants.gif", 0}, PreviewCase{"quadrants.jpg", 8}));

const DWORD RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF;

void write_emf(const std::string& path, const RECT* frame, int side)
{
    HDC dc = CreateEnhMetaFileA(NULL, path.c_str(), frame, "test\0square\0");
    paint_red_box(dc, side, side);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
}

void write_wmf(const std::string& path, int side)
{
    HDC dc = CreateMetaFileA(path.c_str());
    paint_red_box(dc, side, side);
    DeleteMetaFile(CloseMetaFile(dc));
}

// A 20 mm square frame, in 0.01 mm.
void emf_square(const std::string& path)
{
    RECT frame = {0, 0, 2000, 2000};
    write_emf(path, &frame, 200);
}

// About 20 x 10 device pixels: one more on each side would change the shape.
void emf_wide(const std::string& path)
{
    HDC screen = GetDC(NULL);
    RECT frame = {0, 0, 20 * GetDeviceCaps(screen, HORZSIZE) * 100 / GetDeviceCaps(screen, HORZRES),
                  10 * GetDeviceCaps(screen, VERTSIZE) * 100 / GetDeviceCaps(screen, VERTRES)};
    ReleaseDC(NULL, screen);
    write_emf(path, &frame, 1000);
}

// A placeable metafile of a red square over its whole box, 1000 units per
// inch, whose records set no window: only the box gives its size.
void wmf_placeable_without_window(const std::string& path)
{
    HDC dc = CreateMetaFileA(NULL);
    paint_red_box(dc, 1000, 1000);
    HMETAFILE wmf = CloseMetaFile(dc);
    std::string bits(GetMetaFileBitsEx(wmf, 0, NULL), '\0');
    GetMetaFileBitsEx(wmf, (UINT)bits.size(), &bits[0]);
    DeleteMetaFile(wmf);
    const unsigned short words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, 1000, 1000, 1000, 0, 0};
    unsigned short sum = 0;
    for (unsigned short w : words)
        sum ^= w;
    std::string head((const char*)words, sizeof words);
    write_whole_file(path, head + std::string((const char*)&sum, 2) + bits);
}

enum Check { CENTRE_RED, CORNER_RED, INSIDE_FRAME_LINES, SAME_AFTER_RESIZE, WHOLE_DRAWING };

struct MetafileCase {
    const char* file;
    void (*write)(const std::string& path);
    Check check;
};

TEST(MetafilePreview, EachShowsAsDrawn)
{
    const MetafileCase cases[] = {
        {"square.emf", emf_square, CENTRE_RED},
        {"square.wmf", [](const std::string& path) { write_wmf(path, 60); }, CORNER_RED},
        {"boxed.wmf", wmf_placeable_without_window, INSIDE_FRAME_LINES},
        {"large.wmf", [](const std::string& path) { write_wmf(path, 3000); }, INSIDE_FRAME_LINES},
        {"wide.emf", emf_wide, SAME_AFTER_RESIZE},
        {"own_window.wmf", write_wmf_of_own_window, WHOLE_DRAWING},
    };
    std::string dir = e2e_work_dir("metafiles");
    for (const MetafileCase& c : cases)
        c.write(dir + "\\" + c.file);
    RunningApp app;
    ASSERT_TRUE(start_app(cases[0].file, dir, app));
    for (const MetafileCase& c : cases) {
        ASSERT_TRUE(select_list_file(app, c.file)) << c.file;
        Shot s = preview_shot(app, c.file);
        switch (c.check) {
        case CENTRE_RED:
            EXPECT_EQ(s.in_square(0.5, 0.5), RED) << c.file;
            break;
        case CORNER_RED:
            // No size of its own: it plays in the pixels of its four-inch
            // picture from the image square's corner, which the 60-pixel
            // square covers.
            EXPECT_EQ(s.in_square(0.05, 0.05), RED) << c.file;
            break;
        case INSIDE_FRAME_LINES:
            ASSERT_EQ(s.middle(), RED) << c.file;
            EXPECT_EQ(frame_line_gaps(s), std::vector<std::string>()) << c.file;
            break;
        case WHOLE_DRAWING:
            // The ellipse in the middle, the rectangle beside it, the
            // ground past the rectangle's far corner.
            EXPECT_EQ(s.in_square(0.5, 0.5), RED) << c.file;
            EXPECT_EQ(s.in_square(0.15, 0.5), BLUE) << c.file;
            EXPECT_NE(s.in_square(0.95, 0.95), BLUE) << c.file;
            EXPECT_NE(s.in_square(0.95, 0.95), RED) << c.file;
            break;
        case SAME_AFTER_RESIZE: {
            ASSERT_EQ(s.middle(), RED);
            RECT client;
            GetClientRect(app.main, &client);
            SendMessageA(app.main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
            InvalidateRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), NULL, TRUE);
            RECT a = colour_extent(s, RED), b = colour_extent(preview_shot(app, "metafile_resized"), RED);
            EXPECT_TRUE(EqualRect(&a, &b)) << a.left << "," << a.top << "," << a.right << "," << a.bottom << " vs "
                                           << b.left << "," << b.top << "," << b.right << "," << b.bottom;
            break;
        }
        }
    }
}

// TIFF pages: the page line beside the file name, a double-click on the
// picture showing the next page, round to the first again, and the image
// window's keys stepping both ways.
TEST(TiffFiles, PagesByDoubleClickAndByTheImageWindowsKeys)
{
    std::string dir = e2e_work_dir("tiff_pages");
    ASSERT_TRUE(copy_fixture("pages.tif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("pages.tif", dir, app));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    RECT r;
    GetWindowRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), &r);
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(app.main, &centre);
    const int pages[] = {1, 2, 3, 1};
    for (int i = 0; i < 4; ++i) {
        std::string wanted = "pages.tif     Page " + std::to_string(pages[i]) + " of 3 Pages     ";
        EXPECT_EQ(wait_for_window_text(name, wanted), wanted);
        // the second page is the grey picture
        DWORD mid = preview_pixel(app, "tiff_page" + std::to_string(i), 0.5, 0.5);
        bool grey = (mid & 0xFF) == (mid >> 8 & 0xFF) && (mid & 0xFF) == (mid >> 16 & 0xFF);
        EXPECT_EQ(grey, pages[i] != 1) << "page " << pages[i] << " " << std::hex << mid;
        if (i < 3)
            PostMessageA(app.main, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    }

    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, nullptr);
    const std::string size = "     " + std::to_string(read_whole_file(dir + "\\pages.tif").size()) + " bytes";
    const struct {
        UINT key;
        int page;
    } STEPS[] = {{VK_RIGHT, 2}, {VK_RIGHT, 3}, {VK_RIGHT, 1}, {VK_LEFT, 3}};
    for (const auto& step : STEPS) {
        PostMessageA(view, WM_KEYDOWN, step.key, 0);
        std::string wanted = "pages.tif" + size + "     Page " + std::to_string(step.page) + " of 3 Pages";
        EXPECT_EQ(wait_for_window_text(view, wanted), wanted);
    }
}

// Files their readers refuse: each says why in its reader's box, and the
// preview and the comment part of the status bar show nothing of them, nor
// of the picture before.
TEST(RefusedFiles, EachSaysWhyAndThePreviewStaysEmpty)
{
    std::string dir = e2e_work_dir("refused");
    ASSERT_TRUE(copy_fixture("quadrants.bmp", dir));
    const struct {
        const char* name;
        const char* box;
    } FILES[] = {
        {"TIFF-float-8bit.tif", "File Read Error"},
        {"PNG-rgba-larger-than-file.png", "Memory Allocation Error"},
        {"cut.tif", "File Read Error"},  // a TIFF header whose directory is past the end
    };
    for (const auto& f : FILES)
        if (std::string(f.name) != "cut.tif")
            ASSERT_TRUE(copy_fixture(f.name, dir, "hostile")) << f.name;
    ASSERT_TRUE(write_whole_file(dir + "\\cut.tif", std::string("II*\0\x00\x10\0\0", 8)));
    RunningApp app;
    ASSERT_TRUE(start_app("quadrants.bmp", dir, app));
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    for (const auto& f : FILES) {
        ASSERT_TRUE(select_list_file(app, "quadrants.bmp"));
        Sleep(300);
        // posted: the selection's read waits in its box
        std::vector<std::string> items = list_box_items(GetDlgItem(app.main, IDC_MAIN_FILE_LIST));
        int index = (int)(std::find(items.begin(), items.end(), f.name) - items.begin());
        ASSERT_LT(index, (int)items.size()) << f.name;
        HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
        SendMessageA(list, LB_SETCURSEL, index, 0);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_FILE_LIST, LBN_SELCHANGE), (LPARAM)list);
        EXPECT_EQ(dismiss_message_box(app, 10000), f.box) << f.name;
        // The preview empties once the box has gone.
        auto empty = [](const Shot& s) {
            for (double fx : {0.25, 0.75})
                for (double fy : {0.375, 0.625})
                    if (s.in_square(fx, fy) != s.in_square(0.5, 0.05))
                        return false;
            return true;
        };
        Shot shot = shot_when([&] { return preview_shot(app, (std::string("refused_") + f.name).c_str()); }, empty);
        for (double fx : {0.25, 0.75})
            for (double fy : {0.375, 0.625})
                EXPECT_EQ(shot.in_square(fx, fy), shot.in_square(0.5, 0.05)) << f.name << " " << fx << "," << fy;
        if (status)
            EXPECT_EQ(status_bar_part_text(app, status, 1), " ") << f.name;  // no comment
    }
}

// Selects the file in the list and gives its timer time for a few frames.
void show(const RunningApp& app, const char* name)
{
    EXPECT_TRUE(select_list_file(app, name)) << name;
    Sleep(1500);
}

// Animations one after another: an animated cursor's frames follow one
// another (the timer's tick), and faults once found in animated GIFs: a
// repaint blanked the animation, the comment never reached the status bar,
// frames were drawn beside the frame lines, and a broken animation kept its
// file open.
TEST(Animation, CursorFramesRepaintCommentFrameLinesAndABrokenFileReleased)
{
    std::string dir = e2e_work_dir("animation");
    for (const char* name : {"slow.gif", "wide.gif", "broken.gif"})
        ASSERT_TRUE(copy_fixture(name, dir, "regress")) << name;
    ASSERT_TRUE(copy_fixture("cursor.ani", dir));
    std::string path = dir + "\\broken.gif", renamed = dir + "\\renamed.gif";
    DeleteFileA(renamed.c_str());
    RunningApp app;
    ASSERT_TRUE(start_app("slow.gif", dir, app));
    auto red = [](const Shot& s) { return s.middle() == RED; };
    // The window's first paint comes after the first frame.
    EXPECT_EQ(shot_when([&] { return preview_shot(app, "anim_first"); }, red).middle(), RED)
        << "first frame after start-up";
    InvalidateRect(GetDlgItem(app.main, IDC_MAIN_PREVIEW), NULL, TRUE);
    EXPECT_EQ(shot_when([&] { return preview_shot(app, "anim_repainted"); }, red).middle(), RED)
        << "after InvalidateRect";
    HWND status = GetDlgItem(GetDlgItem(app.main, IDC_MAIN_STATUS_PLACE), 2);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status_bar_part_text(app, status, 1), "Rainy day");

    // cursor.ani: the tick shows its red and blue frames (150 ms each here).
    show(app, "cursor.ani");
    std::set<DWORD> seen;
    for (int i = 0; i < 8 && seen.size() < 2; ++i)
        seen.insert(preview_shot(app, "anim_cursor").middle());
    EXPECT_TRUE(seen.count(RED) && seen.count(BLUE)) << "more than one frame shows";

    // The black lines 1 and 3 pixels outside the picture stay whole while
    // frames follow one another.
    show(app, "wide.gif");
    Shot s = preview_shot(app, "anim_wide");
    ASSERT_TRUE(s.middle() == RED || s.middle() == GREEN || s.middle() == BLUE) << std::hex << s.middle();
    EXPECT_EQ(frame_line_gaps(s), std::vector<std::string>());

    show(app, "broken.gif");  // the first tick has met the broken frame
    EXPECT_EQ(preview_shot(app, "anim_broken").middle(), RED) << "the first frame stays as a still";
    // Released once that tick has come.
    EXPECT_TRUE(wait_for([&] { return MoveFileA(path.c_str(), renamed.c_str()) != FALSE; }))
        << "error " << GetLastError();
    MoveFileA(renamed.c_str(), path.c_str());
}

// The windows that cover the screen take every frame too: an animated GIF
// (paced.gif: red, green, blue, 1.35 s each) moves on in the slideshow and
// in the full-screen window instead of standing on the frame they first
// painted. A shot takes over half a second, so a few shots can all fall in
// one frame: the window is shot until a frame is seen to follow another.
// The slideshow's own step (every 3 s, here to the same file) reads the file
// again and starts it at its first frame, red: only a change to green or
// blue is the animation's.
bool frames_follow(HWND window, const char* name)
{
    DWORD last = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
        const DWORD c = shoot_client(window, name).middle();
        if (c != RED && c != GREEN && c != BLUE)
            continue;
        if (last && c != last && c != RED)
            return true;
        last = c;
    }
    return false;
}

TEST(Animation, FramesFollowInTheSlideshowAndTheFullScreenWindow)
{
    std::string dir = e2e_work_dir("cover_animation");
    ASSERT_TRUE(copy_fixture("paced.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("paced.gif", dir, app));
    // The show starts from a file that plays.
    auto frame = [](const Shot& s) { return s.middle() == RED || s.middle() == GREEN || s.middle() == BLUE; };
    ASSERT_TRUE(frame(shot_when([&] { return preview_shot(app, "anim_preview"); }, frame)));
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);
    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 15000);
    ASSERT_NE(slide, nullptr);
    EXPECT_TRUE(frames_follow(slide, "anim_slide")) << "more than one frame in the slideshow";
    PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_TRUE(wait_until_closed(slide, 5000));

    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FULL_SCREEN, 0), 0);
    HWND full = find_process_window(app.process.dwProcessId, "Full", NULL, 10000);
    ASSERT_NE(full, nullptr);
    EXPECT_TRUE(frames_follow(full, "anim_full")) << "more than one frame in the full-screen window";
    PostMessageA(full, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(wait_until_closed(full, 5000));
}

// A cancelled Move lets the file go and takes it back: the animation goes on
// from the frame it had reached (paced.gif: red, green, blue, 1.35 s each)
// instead of starting again from the first.
TEST(Animation, CancelledMoveGoesOnFromTheFrameShown)
{
    std::string dir = e2e_work_dir("paused_animation");
    ASSERT_TRUE(copy_fixture("paced.gif", dir));
    RunningApp app;
    ASSERT_TRUE(start_app("paced.gif", dir, app));
    DWORD before = 0;
    for (int i = 0; i < 60 && (before = preview_shot(app, "paced_before").middle()) != GREEN; ++i)
        Sleep(100);
    ASSERT_EQ(before, GREEN) << "the second frame";
    EXPECT_EQ(run_dialog_command(app, app.main, IDM_MAIN_MOVE_FILE, "Move \"paced.gif\" To:", "", 0, true),
              (std::vector<std::string>{"Move"}));
    Sleep(200);
    const DWORD after = preview_shot(app, "paced_after").middle();
    EXPECT_TRUE(after == GREEN || after == BLUE) << std::hex << after << ": not back at the first frame";
    DWORD next = after;
    for (int i = 0; i < 40 && next != BLUE; ++i) {
        Sleep(100);
        next = preview_shot(app, "paced_next").middle();
    }
    EXPECT_EQ(next, BLUE) << "the animation goes on";
}

}  // namespace
