// Registration of the thirteen window classes and the dialog messages.
// Each window procedure only dispatches to its window's handlers. A window
// not built yet has DefWindowProcA in its row; its procedure, declared in
// the window's own header, takes that place when the window comes.
#include "viewer/window_classes.h"

#include <vfw.h>

#include "image/loader.h"
#include "resources/resource.h"
#include "viewer/batch_window.h"
#include "viewer/crop_window.h"
#include "viewer/capture.h"
#include "viewer/full_window.h"
#include "viewer/image_window.h"
#include "viewer/merge_window.h"
#include "viewer/palette_window.h"
#include "viewer/slideshow.h"
#include "viewer/text_window.h"

UINT g_msgSelChanged;
UINT g_msgFileNameOK;
UINT g_msgHelp;

const char* const g_windowClassNames[WINDOW_CLASS_COUNT] = {
    "Meta", "Full", "Crop", "Slide", "TextTitle", "Bar", "Dummy",
    "Cover", "Batch", "Palette", "Text", "TextColor", "Merge",
};

// The progress strip and the tool backdrop are painted by others: default
// processing only, by design.
static LRESULT CALLBACK bar_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(hwnd, msg, wp, lp);
}

static LRESULT CALLBACK dummy_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(hwnd, msg, wp, lp);
}

enum ClassCursor { CURSOR_NONE, CURSOR_ARROW };
enum ClassBrush { BRUSH_NONE, BRUSH_WHITE };

struct WindowClassRow {
    WNDPROC procedure;
    UINT style;
    bool has_icon;
    ClassCursor cursor;
    ClassBrush background;
    const char* menu;
};

static const UINT REDRAW = CS_HREDRAW | CS_VREDRAW;
static const UINT REDRAW_DBL = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;

static const WindowClassRow CLASS_ROWS[WINDOW_CLASS_COUNT] = {
    {meta_wnd_proc,      REDRAW,     true,  CURSOR_ARROW, BRUSH_WHITE, "MENU_A"},  // "Meta"
    {full_wnd_proc,      REDRAW_DBL, false, CURSOR_ARROW, BRUSH_WHITE, NULL},      // "Full"
    {crop_wnd_proc,      REDRAW_DBL, false, CURSOR_NONE,  BRUSH_WHITE, "MENU2"},   // "Crop"
    {slide_wnd_proc,     REDRAW,     false, CURSOR_ARROW, BRUSH_WHITE, NULL},      // "Slide"
    {texttitle_wnd_proc, REDRAW,     false, CURSOR_ARROW, BRUSH_WHITE, NULL},      // "TextTitle"
    {bar_wnd_proc,       REDRAW,     false, CURSOR_NONE,  BRUSH_NONE,  NULL},      // "Bar"
    {dummy_wnd_proc,     REDRAW,     false, CURSOR_NONE,  BRUSH_WHITE, NULL},      // "Dummy"
    {cover_wnd_proc,     REDRAW_DBL, false, CURSOR_ARROW, BRUSH_NONE,  NULL},      // "Cover"
    {batch_wnd_proc,     REDRAW_DBL, false, CURSOR_ARROW, BRUSH_WHITE, "MENU3"},   // "Batch"
    {palette_wnd_proc,   REDRAW,     true,  CURSOR_ARROW, BRUSH_WHITE, "MENU4"},   // "Palette"
    {text_wnd_proc,      REDRAW_DBL, false, CURSOR_NONE,  BRUSH_WHITE, "MENU5"},   // "Text"
    {textcolor_wnd_proc, REDRAW,     false, CURSOR_ARROW, BRUSH_NONE,  NULL},      // "TextColor"
    {merge_wnd_proc,     REDRAW_DBL, false, CURSOR_NONE,  BRUSH_WHITE, "MENU6"},   // "Merge"
};

void register_window_classes(HINSTANCE instance)
{
    g_msgSelChanged = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
    g_msgFileNameOK = RegisterWindowMessageA("commdlg_FileNameOK");
    g_msgHelp = RegisterWindowMessageA("commdlg_help");
    MCIWndRegisterClass();

    for (int i = 0; i < WINDOW_CLASS_COUNT; ++i) {
        const WindowClassRow& row = CLASS_ROWS[i];
        WNDCLASSA wc = {};
        wc.style = row.style;
        wc.lpfnWndProc = row.procedure;
        wc.hInstance = instance;
        wc.hIcon = row.has_icon ? LoadIconA(instance, "Icon1") : NULL;
        wc.hCursor = row.cursor == CURSOR_ARROW ? LoadCursorA(NULL, IDC_ARROW) : NULL;
        wc.hbrBackground = row.background == BRUSH_WHITE ? (HBRUSH)GetStockObject(WHITE_BRUSH) : NULL;
        wc.lpszMenuName = row.menu;
        wc.lpszClassName = g_windowClassNames[i];
        RegisterClassA(&wc);
    }
}

void take_pointer_back_after_menu(void)
{
    RECT short_of_screen = {0, 0, GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1};
    ClipCursor(&short_of_screen);
    ClipCursor(NULL);
}

void reload_shown_file_keeping_edits(HWND main)
{
    SendMessageA(main, WM_RELOAD_SHOWN, 0, 0);
}

void reload_shown_file(HWND main)
{
    g_reloadShownFile = 1;
    SendMessageA(main, g_msgSelChanged, IDC_MAIN_FILE_LIST,
                 SendDlgItemMessageA(main, IDC_MAIN_FILE_LIST, LB_GETCURSEL, 0, 0));
}
