// Metafiles that the system's player cannot survive, one for each way it
// fails (it crashes, stalls, sends the display a request it refuses,
// swells, or makes no object of a create, which would give every later
// object another's number), down the roads a picture takes on the display: the preview, the
// image window and Convert/Save. The program plays them in its renderer
// process, so it lives (its main window answers), says once that the
// picture cannot be shown whole and why (it could not be read, the
// renderer ended, or it needed more memory or time than a play is given:
// which limit a fault passes first may depend on the machine), and
// Convert/Save of a picture shown
// cut, or a conversion the renderer could not finish, writes no file and
// says the same.
// The slideshow says each such picture once per visit. (Printing is left
// to the harness: a printed metafile page would land among the pages the
// unit tests' print check counts.)
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"

namespace {

struct HostileMetafile {
    const char* kind;  // a word: names the test and its folder
    const char* file;  // of the fixtures' hostile set
    // Convert/Save to the other kind of metafile: its command, its dialog
    // and whether the file is written (none is of a picture shown cut).
    int save_command;
    const char* save_title;
    const char* target;
    bool converts;
    const char* said;  // or or_said
    const char* or_said;
};

const char CUT_TEXT[] = "Unable to read metafile bits";
const char ENDED_TEXT[] = "The metafile renderer ended before it finished";
const char MEMORY_TEXT[] = "MemoryAllocation Error";
const char TIME_TEXT[] = "Unable to play metafile in the time allowed";

const HostileMetafile FILES[] = {
    // The renderer dies, or on a busy machine is seen past its memory first.
    {"crash", "WMF-arc-millions-of-pixels.wmf", IDM_MAIN_SAVE_EMF, "Save As Enhanced MetaFile", "arc.emf", false,
     ENDED_TEXT, MEMORY_TEXT},
    {"stall", "EMF-ellipse-plus-minus-5e6.emf", IDM_MAIN_SAVE_WMF, "Save As Windows MetaFile", "ellipse.wmf", false,
     TIME_TEXT, TIME_TEXT},
    // A region that no machine builds within the renderer's memory and
    // time, so that its play is cut at any speed.
    {"display_error", "EMF-invertrgn-staggered-6000-rects.emf", IDM_MAIN_SAVE_WMF, "Save As Windows MetaFile",
     "region.wmf", false, TIME_TEXT, MEMORY_TEXT},
    {"memory", "EMF-clip-stripes-crossed-5000-by-5000.emf", IDM_MAIN_SAVE_WMF, "Save As Windows MetaFile",
     "stripes.wmf", false, MEMORY_TEXT, MEMORY_TEXT},
    {"no_object", "WMF-brush-hatch-12-then-red-blue.wmf", IDM_MAIN_SAVE_EMF, "Save As Enhanced MetaFile", "hatch.emf",
     false, CUT_TEXT, CUT_TEXT},
};

// Convert/Save says a fault in the words of a command for memory.
std::string save_words(const std::string& said)
{
    return said == MEMORY_TEXT ? "Insufficient Memory for this Operation." : said;
}

// Selects the file in the main window's list as a click does, without
// waiting for the load: its box would hold a sent notification.
void post_selection(const RunningApp& app, const std::string& name)
{
    HWND list = GetDlgItem(app.main, IDC_MAIN_FILE_LIST);
    std::vector<std::string> items = list_box_items(list);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == name) {
            SendMessageA(list, LB_SETCURSEL, i, 0);
            PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_FILE_LIST, LBN_SELCHANGE), (LPARAM)list);
        }
}

bool answers(HWND hwnd)
{
    DWORD_PTR ignored;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored) != 0;
}

// One row a test, so that the shards share them.
class HostileMetafileRoads : public testing::TestWithParam<HostileMetafile> {};

TEST_P(HostileMetafileRoads, ProgramLivesAndSaysSoOnceOnEachRoad)
{
    const HostileMetafile& f = GetParam();
    SCOPED_TRACE(f.file);
    std::string dir = e2e_work_dir(std::string("hostile_metafile_") + f.kind);
    ASSERT_TRUE(copy_fixture(f.file, dir, "hostile"));
    RunningApp app;
    ASSERT_TRUE(start_app("", dir, app));
    ASSERT_TRUE(wait_for_main(app, 15000));

    // The preview: the play is cut by its limit (or the renderer's
    // end) and told once.
    post_selection(app, f.file);
    const std::string said = dismiss_message_box(app, 30000);
    EXPECT_TRUE(said == f.said || said == f.or_said) << said;
    EXPECT_TRUE(answers(app.main));
    // Nor again after a change of the system colours: the next box is the
    // information asked for after it.
    SendMessageA(app.main, WM_SYSCOLORCHANGE, 0, 0);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_FILE_INFO, 0), 0);
    EXPECT_NE(dismiss_message_box(app, 30000), said);
    EXPECT_EQ(dismiss_message_box(app, 1500), "") << "told once";

    // The image window does not play the picture again, nor tell it.
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    ASSERT_NE(view, (HWND)NULL);
    EXPECT_TRUE(answers(view));
    EXPECT_EQ(dismiss_message_box(app, 1500), "") << "told once";
    PostMessageA(view, WM_CLOSE, 0, 0);
    EXPECT_TRUE(wait_until_closed(view));

    // Convert/Save: the picture was shown cut, so the file is not written
    // and the program says why, as it did (the folder is writable).
    std::string target = dir + "\\" + f.target;
    std::vector<std::string> seen = run_dialog_command(app, app.main, f.save_command, f.save_title, target, 1);
    ASSERT_EQ(seen.size(), 2u);
    if (f.converts) {
        EXPECT_EQ(seen[1].substr(0, seen[1].find('|')), "File Converted Successfully");
        EXPECT_TRUE(file_exists(target));
    } else {
        EXPECT_NE(seen[1].find("|" + save_words(said)), std::string::npos) << seen[1];
        EXPECT_FALSE(file_exists(target));
    }
    EXPECT_TRUE(answers(app.main));
    EXPECT_EQ(dismiss_message_box(app, 1500), "") << "told once";
    EXPECT_EQ(exit_by_button(app), 1);
}

INSTANTIATE_TEST_SUITE_P(EachKind, HostileMetafileRoads, testing::ValuesIn(FILES),
                         [](const testing::TestParamInfo<HostileMetafile>& row) { return std::string(row.param.kind); });

// The slideshow says each picture it cannot show whole once per visit, as
// the main window does: one the renderer cuts, an enhanced metafile cut
// in half, and a Windows metafile of only its placeable header. Each box
// is noted with the file the show is on while the box is up.
TEST(HostileMetafileSlideshow, EachPictureItCannotShowWholeIsSaidOncePerVisit)
{
    std::string dir = e2e_work_dir("hostile_metafile_slideshow");
    // Cut for memory at once: a cut for time would hold each visit for the
    // renderer's whole limit.
    const std::string cut = "EMF-clip-stripes-crossed-5000-by-5000.emf";
    ASSERT_TRUE(copy_fixture(cut, dir, "hostile"));
    std::string emf = read_whole_file(dir + "\\" + cut);
    ASSERT_TRUE(write_whole_file(dir + "\\half.emf", emf.substr(0, emf.size() / 2)));
    const char placeable[22] = {(char)0xD7, (char)0xCD, (char)0xC6, (char)0x9A, 0, 0, 0, 0, 0, 0,
                                100,        0,          100,        0,          (char)0xE8, 3};
    ASSERT_TRUE(write_whole_file(dir + "\\header_only.wmf", std::string(placeable, sizeof placeable)));
    // A whole red picture in the list before the cut one and before the
    // half: no box may stand over it.
    for (const char* red_file : {"ared.emf", "gred.emf"}) {
        const RECT frame = {0, 0, 15000, 10000};
        HDC recording = CreateEnhMetaFileA(NULL, (dir + "\\" + red_file).c_str(), &frame, NULL);
        ASSERT_NE(recording, (HDC)NULL);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        RECT all = {0, 0, 600, 400};
        FillRect(recording, &all, red);
        DeleteObject(red);
        DeleteEnhMetaFile(CloseEnhMetaFile(recording));
    }
    RunningApp app;
    ASSERT_TRUE(start_app("", dir, app));
    ASSERT_TRUE(wait_for_main(app, 15000));
    HWND name = GetDlgItem(app.main, IDC_MAIN_NAME_EDIT);
    PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_MAIN_SLIDESHOW, 0), 0);

    // Round the three files and back to the first.
    std::vector<std::string> said;
    DWORD started = GetTickCount();
    while (said.size() < 4 && GetTickCount() - started < 90000) {
        HWND box = find_process_window(app.process.dwProcessId, "#32770", app.main, 1000);
        if (!box)
            continue;
        std::string shown = window_text(name);
        const std::string text = box_text(box);
        if (shown == cut) {
            EXPECT_TRUE(text == TIME_TEXT || text == MEMORY_TEXT) << text;
        } else {
            EXPECT_EQ(text, CUT_TEXT) << shown;
        }
        // The slide the box speaks of is on show, or none: not the one before.
        if (HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 1000)) {
            Shot shot = shoot(slide, "hostile_slideshow_box_" + std::to_string(said.size()));
            RECT over;
            GetWindowRect(box, &over);
            int reds = 0;
            for (int y = 0; y < shot.height; ++y)
                for (int x = 0; x < shot.width; ++x) {
                    POINT at = {x, y};
                    reds += shot.at(x, y) == 0xFF0000 && !PtInRect(&over, at);
                }
            EXPECT_EQ(reds, 0) << "the slide before stands behind the box for " << shown;
        }
        said.push_back(shown);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(wait_until_closed(box));
    }
    ASSERT_EQ(said.size(), 4u);
    EXPECT_EQ(said[0], said[3]);
    for (size_t i = 0; i + 1 < said.size(); ++i)
        EXPECT_NE(said[i], said[i + 1]) << "said twice on one visit";
    std::vector<std::string> files(said.begin(), said.begin() + 3);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{cut, "half.emf", "header_only.wmf"}));

    HWND slide = find_process_window(app.process.dwProcessId, "Slide", NULL, 1000);
    if (slide) {
        PostMessageA(slide, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_TRUE(wait_until_closed(slide));
    }
    EXPECT_EQ(exit_by_button(app), 1);
}

}  // namespace
