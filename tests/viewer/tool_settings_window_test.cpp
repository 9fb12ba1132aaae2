// The text tool's settings (every font key to its own LOGFONT field, the
// defaults without a settings file) and the merge tool's file dialog (the
// filter leaves out the multimedia pair and is never read past the list; a
// source whose mask cannot be made is refused for memory).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "app/program_entry.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "support/dib_block.h"
#include "support/import_hook.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"
#include "tools/tool_settings.h"
#include "viewer/merge_window.h"
#include "viewer/text_window.h"
#include "viewer/window_classes.h"

namespace {

TEST(TextSettings, DefaultsWithoutASettingsFile)
{
    SeamRecorder seams;
    seams.use_settings_file("text_none.ini");
    read_text_settings();
    EXPECT_STREQ(g_textFont.lfFaceName, "Arial");
    EXPECT_EQ(g_textFont.lfHeight, -16);
    EXPECT_EQ(g_textFont.lfWeight, 400);
}

TEST(TextSettings, EachKeyReachesItsField)
{
    SeamRecorder seams;
    const std::string ini = seams.use_settings_file("text_keys.ini");
    const struct {
        const char* key;
        const char* value;
    } keys[] = {{"FontFaceName", "Liberation Sans"}, {"FontHeight", "-21"}, {"FontWidth", "7"},
                {"FontWeight", "700"}, {"FontEscapement", "90"}, {"FontOrientation", "45"},
                {"FontItalic", "1"}, {"FontUnderline", "2"}, {"FontStrikeOut", "3"}, {"FontCharSet", "4"},
                {"FontOutPrecision", "5"}, {"FontClipPrecision", "6"}, {"FontQuality", "8"},
                {"FontPitchAndFamily", "9"}, {"TextBackgroundTransparent", "1"}, {"TextColor_Red", "16"},
                {"TextColor_Green", "32"}, {"TextColor_Blue", "48"}, {"TextBackColor_Red", "1"},
                {"TextBackColor_Green", "2"}, {"TextBackColor_Blue", "3"}};
    for (const auto& k : keys)
        WritePrivateProfileStringA("Corvane", k.key, k.value, ini.c_str());
    read_text_settings();
    const LOGFONTA& f = g_textFont;
    EXPECT_STREQ(f.lfFaceName, "Liberation Sans");
    const long got[] = {f.lfHeight, f.lfWidth, f.lfWeight, f.lfEscapement, f.lfOrientation, f.lfItalic,
                        f.lfUnderline, f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision,
                        f.lfQuality, f.lfPitchAndFamily};
    const long want[] = {-21, 7, 700, 90, 45, 1, 2, 3, 4, 5, 6, 8, 9};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(got[i], want[i]) << keys[i + 1].key;
    EXPECT_EQ(g_textBackgroundTransparent, 1);
    EXPECT_EQ(g_textColor, 0x102030u);  // red in the third byte, blue in the low one
    EXPECT_EQ(g_textBackColor, 0x010203u);
}

TEST(MergeFilter, LeavesOutTheMultimediaPair)
{
    static const char LIST[] = "Image Files\0*.bmp;*.gif\0Multimedia\0*.avi\0BMP\0*.bmp\0\0";
    HGLOBAL saved = g_hFilter;
    g_hFilter = GlobalAlloc(GHND, sizeof LIST);
    std::memcpy(GlobalLock(g_hFilter), LIST, sizeof LIST);
    GlobalUnlock(g_hFilter);
    char out[64];
    merge_filter(out, sizeof out);
    static const char WANT[] = "Image Files\0*.bmp;*.gif\0BMP\0*.bmp\0\0";
    EXPECT_EQ(std::string(out, sizeof WANT), std::string(WANT, sizeof WANT));
    // A list without its closing NULs ends at the block's end.
    GlobalFree(g_hFilter);
    g_hFilter = GlobalAlloc(GMEM_FIXED, 11);
    std::memcpy(g_hFilter, "Image Files", 11);
    merge_filter(out, sizeof out);
    EXPECT_EQ(std::string(out), "Image Files");
    GlobalFree(g_hFilter);
    g_hFilter = saved;
}

// Blocks of one size, a mask's, cannot be had; every other comes.
SIZE_T g_refusedSize;
int g_refusals;
HGLOBAL(WINAPI* g_globalAlloc)(UINT, SIZE_T);

HGLOBAL WINAPI refusing_global_alloc(UINT flags, SIZE_T size)
{
    if (size == g_refusedSize) {
        ++g_refusals;
        return NULL;
    }
    return g_globalAlloc(flags, size);
}

// The Open dialog as its hook meets it: opened, then OK on g_source, read
// while the mask's block cannot be had.
std::string g_source;

BOOL WINAPI open_dialog_choosing_source(OPENFILENAMEA* ofn)
{
    HWND frame = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    HWND hdlg = CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 10, 10, frame, NULL, NULL, NULL);
    ofn->lpfnHook(hdlg, WM_INITDIALOG, 0, (LPARAM)ofn);
    lstrcpynA(ofn->lpstrFile, g_source.c_str(), ofn->nMaxFile);
    OFNOTIFYA note = {};
    note.hdr.hwndFrom = frame;
    note.hdr.code = CDN_FILEOK;
    note.lpOFN = ofn;
    {
        ImportHook hook("kernel32.dll", "GlobalAlloc", (void*)refusing_global_alloc);
        g_globalAlloc = (HGLOBAL(WINAPI*)(UINT, SIZE_T))hook.original();
        ofn->lpfnHook(hdlg, WM_NOTIFY, 0, (LPARAM)&note);
    }
    ofn->lpfnHook(hdlg, WM_DESTROY, 0, 0);
    DestroyWindow(frame);
    return TRUE;
}

// A transparent GIF taken whole but for its mask: the tool says it lacks
// the memory, once, and ends, giving the hold back.
TEST(MergeFileDialog, ASourceWhoseMaskCannotBeMadeIsRefusedForMemory)
{
    InitCommonControls();
    register_window_classes(GetModuleHandleA(NULL));
    SeamRecorder seams;
    HWND saved_main = g_hwndMain;
    g_hwndMain = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    g_hImage = make_dib(64, 48, 24);
    g_imageKind = KIND_DIB;
    g_source = fixture_path("gif/transparent.gif");
    g_refusedSize = (SIZE_T)dib_block_size(20, 12, 1, 2);  // its 20 x 12 mask
    g_refusals = 0;
    {
        ImportHook dialog("comdlg32.dll", "GetOpenFileNameA", (void*)open_dialog_choosing_source);
        ASSERT_NE(dialog.original(), nullptr);
        start_merge_tool(g_hwndMain, 0);
        ASSERT_TRUE(is_window_open(g_hwndMerge));
        SendMessageA(g_hwndMerge, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));  // asks for the source
    }
    EXPECT_EQ(g_refusals, 1) << "only the mask went without";
    std::vector<std::string> texts;
    for (const RecordedBox& box : seams.boxes)
        texts.push_back(box.text);
    EXPECT_EQ(texts, std::vector<std::string>{"Insufficient Memory for this Operation."});
    EXPECT_FALSE(is_window_open(g_hwndMerge));
    EXPECT_FALSE(is_file_held());
    while (is_file_held())
        end_file_hold();
    GlobalFree(g_hImage);
    g_hImage = NULL;
    g_imageKind = KIND_NONE;
    DestroyWindow(g_hwndMain);
    g_hwndMain = saved_main;
}

}  // namespace
