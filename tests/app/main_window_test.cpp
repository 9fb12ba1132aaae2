// The main window's reaction to a new selection in its file list.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <string>

#include "image/current_image.h"
#include "image/loader.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "viewer/window_classes.h"

namespace {

// The Open dialog around the hook: a new selection is reported at once.
LRESULT CALLBACK dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND && wp == MAKEWPARAM(IDC_MAIN_FILE_LIST, LBN_SELCHANGE))
        return SendMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST, SendMessageA((HWND)lp, LB_GETCURSEL, 0, 0));
    return msg == g_msgSelChanged ? main_dialog_hook(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

// Down keys that reach the list faster than its pictures load play only
// the picture they stop on, whose information is then the one shown.
TEST(MainSelection, KeysAlreadyQueuedPlayOnlyThePictureTheyStopOn)
{
    SeamRecorder seams;
    g_msgSelChanged = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
    char saved_dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved_dir, saved_dir);
    SetCurrentDirectoryA(test_out_path("").c_str());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = dialog_proc;
    wc.lpszClassName = "HeldKeysMain";
    RegisterClassA(&wc);
    HWND main = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, NULL,
                                NULL, NULL, NULL);
    HWND list = CreateWindowA("LISTBOX", "", WS_CHILD | LBS_NOTIFY, 250, 0, 150, 300, main,
                              (HMENU)IDC_MAIN_FILE_LIST, NULL, NULL);
    CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 240, 240, main, (HMENU)IDC_MAIN_PREVIEW, NULL, NULL);
    for (int i = 0; i < 8; ++i) {
        std::string name = "held" + std::to_string(i) + ".emf";
        HDC dc = CreateEnhMetaFileA(NULL, name.c_str(), NULL, NULL);
        Rectangle(dc, 0, 0, 40, 20 + i);
        DeleteEnhMetaFile(CloseEnhMetaFile(dc));
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name.c_str());
    }
    HWND saved_main = g_hwndMain;
    g_hwndMain = main;
    SetRect(&g_rcPreview, 3, 3, 234, 234);
    SendMessageA(list, LB_SETCURSEL, 0, 0);

    unsigned before = render_request_count();
    for (int i = 1; i < 8; ++i)
        PostMessageA(list, WM_KEYDOWN, VK_DOWN, 1);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_EQ(render_request_count() - before, 1u) << "a play for each file passed";
    EXPECT_STREQ(g_fileName, "held7.emf");
    std::string info = g_infoText;
    SendMessageA(main, g_msgSelChanged, IDC_MAIN_FILE_LIST, 7);
    EXPECT_EQ(info, g_infoText) << "as when the file is selected on its own";
    EXPECT_TRUE(seams.boxes.empty());

    release_image_for_new_selection(main);
    reset_current_image();
    g_hwndMain = saved_main;
    DestroyWindow(main);
    SetCurrentDirectoryA(saved_dir);
}

}  // namespace
