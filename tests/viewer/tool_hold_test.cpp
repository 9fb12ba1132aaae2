// A tool whose window cannot be made, at its start or at a new zoom (which
// makes a fresh window), ends as Esc ends it and gives the hold back: a
// tool left without a window would hold the other windows for good.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "support/dib_block.h"
#include "support/seam_recorder.h"
#include "viewer/crop_window.h"
#include "viewer/merge_window.h"
#include "viewer/text_window.h"
#include "viewer/window_classes.h"

namespace {

HWND no_window(const char*, DWORD, int, int, HWND)
{
    return NULL;
}

void start_merge(HWND owner)
{
    start_merge_tool(owner, 0);
}

const struct {
    const char* name;
    void (*start)(HWND owner);
    HWND* window;
} TOOLS[] = {{"crop", start_crop_tool, &g_hwndCrop}, {"text", start_text_tool, &g_hwndText},
             {"merge", start_merge, &g_hwndMerge}};

TEST(ToolHold, AToolWhoseWindowCannotBeMadeEndsAndGivesTheHoldBack)
{
    InitCommonControls();
    register_window_classes(GetModuleHandleA(NULL));
    SeamRecorder seams;
    HWND saved_main = g_hwndMain;
    g_hwndMain = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    for (const auto& tool : TOOLS) {
        for (bool at_zoom : {false, true}) {
            SCOPED_TRACE(std::string(tool.name) + (at_zoom ? ", at a zoom" : ", at its start"));
            g_hImage = make_dib(64, 48, 24);
            g_imageKind = KIND_DIB;
            seam_set_create_tool_window(at_zoom ? NULL : no_window);
            tool.start(g_hwndMain);
            if (at_zoom) {
                ASSERT_TRUE(is_window_open(*tool.window));
                EXPECT_TRUE(is_file_held());
                EXPECT_FALSE(IsWindowEnabled(g_hwndMain));
                seam_set_create_tool_window(no_window);
                SendMessageA(*tool.window, WM_COMMAND, IDM_CROP_ZOOM_200, 0);
            }
            EXPECT_FALSE(is_window_open(*tool.window));
            EXPECT_FALSE(is_file_held());
            EXPECT_TRUE(IsWindowEnabled(g_hwndMain));
            seam_set_create_tool_window(NULL);
            while (is_file_held())
                end_file_hold();
            GlobalFree(g_hImage);
            g_hImage = NULL;
        }
    }
    DestroyWindow(g_hwndMain);
    g_hwndMain = saved_main;
}

}  // namespace
