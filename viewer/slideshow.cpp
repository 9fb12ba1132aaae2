// The slideshow window, its caption strip and the next-file step.
//
// The step selects the next list entry and hands it to the main window's
// selected-file loader (sent, so the file is read when the step returns):
// the loader releases the old image by its kind, reads the new one and
// keeps the captions. The slideshow timer is stopped while a step runs, so
// that a reader's message box cannot let the next tick start a second step
// on a half-built image; the step arms it again at its end.
#include "viewer/slideshow.h"

#include <cstdio>
#include <cstring>

#include "app/file_list.h"
#include "app/main_menu.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/icon.h"
#include "image/loader.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/seams.h"
#include "image/settings.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "viewer/full_window.h"
#include "viewer/image_window.h"
#include "viewer/status_bar.h"
#include "viewer/window_classes.h"

int g_slideIndex;
UINT_PTR g_slideTimerId = 1;
UINT_PTR g_slideTimerActive;

static HBRUSH background_brush(void)
{
    return g_hBackgroundBrush ? g_hBackgroundBrush : (HBRUSH)GetStockObject(WHITE_BRUSH);
}

static bool is_captured_or_pasted(void)
{
    return (g_imageKind == KIND_DIB && (g_fileFormat == FMT_SCREEN_CAPTURE || g_fileFormat == FMT_CLIPBOARD)) ||
           ((g_imageKind == KIND_WMF || g_imageKind == KIND_EMF) && g_fileFormat == FMT_CLIPBOARD);
}

static void arm_slide_timer(void)
{
    if (is_window_open(g_hwndSlide))
        g_slideTimerActive = SetTimer(g_hwndSlide, g_slideTimerId, SLIDE_PERIOD_MS, NULL);
}

static void stop_slide_timer(void)
{
    if (g_slideTimerActive && g_hwndSlide)
        KillTimer(g_hwndSlide, g_slideTimerId);
    g_slideTimerActive = 0;
}

static void destroy_caption_strip(void)
{
    if (g_hwndTextTitle && IsWindow(g_hwndTextTitle))
        DestroyWindow(g_hwndTextTitle);
    g_hwndTextTitle = NULL;
}

// The slideshow's image area: the client area less its status bar.
static RECT slide_area(HWND hwnd)
{
    RECT c;
    GetClientRect(hwnd, &c);
    if (!g_hideStatusBar)
        c.bottom -= g_slideStatusHeight;
    if (c.bottom < c.top)
        c.bottom = c.top;
    return c;
}

// Takes the slide on show and its caption away: the background until the
// next file is painted.
static void clear_slide(HWND hwnd)
{
    destroy_caption_strip();
    RECT area = slide_area(hwnd);
    HDC dc = GetDC(hwnd);
    if (!dc)
        return;
    FillRect(dc, &area, background_brush());
    ReleaseDC(hwnd, dc);
}

// ---- captions of a file of several pages or images

static bool is_multi_page_tiff(void)
{
    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    return g_imageKind == KIND_DIB && tiff && g_pageCount > 1;
}

static bool is_multi_icon_file(void)
{
    return g_imageKind == KIND_DIB && g_fileFormat == FMT_ICON && g_iconCount > 1;
}

static const char* icon_noun(void)
{
    return g_iconFileType == 5 ? "Icon" : "Cursor";
}

// The notice that an icon or cursor file holds more images; how to see
// them (a format with %s for the noun, twice) differs by window.
static void announce_icons(HWND owner, const char* how)
{
    char text[300], hint[200];
    std::snprintf(hint, sizeof hint, how, icon_noun(), icon_noun());
    std::snprintf(text, sizeof text, "%s %d of %d %ss. \n\n%s", icon_noun(), g_iconIndex, g_iconCount, icon_noun(),
                  hint);
    seam_message_box(owner, text, g_iconFileType == 5 ? "Multiple Icon Images" : "Multiple Cursor Images", MB_OK);
}

// ---- the next-file step

int slide_step_index(int count, int name_index, int selection, int captured, int forward)
{
    if (count <= 0)
        return -1;
    if (name_index < 0) {
        // Not in the list: a capture or paste shows the selected entry,
        // anything else (moved or deleted meanwhile) the first.
        if (captured && selection >= 0 && selection < count)
            return selection;
        return 0;
    }
    if (forward)
        return name_index + 1 >= count ? 0 : name_index + 1;
    return name_index - 1 < 0 ? count - 1 : name_index - 1;
}

// An empty list leaves nothing to show: the image window goes.
static void show_empty_list(void)
{
    release_image_for_new_selection(g_hwndMain);
    g_imageKind = KIND_NONE;
    g_fileName[0] = '\0';
    g_filePath[0] = '\0';
    g_infoText[0] = '\0';
    fit_image_rect(1, 1, 0);
    destroy_image_window();
}

void slide_on_timer(HWND hwnd, UINT_PTR timer_id)
{
    (void)timer_id;
    const bool slideshow = hwnd && hwnd == g_hwndSlide;
    if (slideshow)
        stop_slide_timer();
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == 0 || count == LB_ERR) {
        show_empty_list();
        if (slideshow) {
            g_slideForward = 1;
            arm_slide_timer();
        }
        return;
    }
    // The shown file's entry, where the list shows its folder.
    LRESULT name_index = find_shown_file_entry(list);
    LRESULT selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (g_pageStep || g_iconStep) {
        // Another page or image of the same file, read again from a list
        // that shows the folder as it is now: the index stays, unless the
        // refill moved the file's entry.
        g_slideIndex = name_index != LB_ERR ? (int)name_index : (selection != LB_ERR ? (int)selection : 0);
        fill_file_list(0);
        count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (count == 0 || count == LB_ERR) {
            g_pageStep = g_iconStep = 0;
            show_empty_list();
            return;
        }
        if ((name_index = find_shown_file_entry(list)) != LB_ERR)
            g_slideIndex = (int)name_index;
        if (g_slideIndex >= count)
            g_slideIndex = 0;
    } else {
        g_slideIndex = slide_step_index((int)count, name_index == LB_ERR ? -1 : (int)name_index,
                                        selection == LB_ERR ? -1 : (int)selection, is_captured_or_pasted(),
                                        g_slideForward);
    }
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)g_slideIndex, 0);
    if (g_slideIndex >= 0 && length != LB_ERR && length < (LRESULT)sizeof g_fileName) {
        SendMessageA(list, LB_SETCURSEL, (WPARAM)g_slideIndex, 0);
        SendMessageA(list, LB_GETTEXT, (WPARAM)g_slideIndex, (LPARAM)g_fileName);
        SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
        // A reader's box, or the box of a picture that cannot be shown
        // whole, must not stand over the slide before.
        if (slideshow)
            clear_slide(hwnd);
        // A step shows the file as it is: no edits are replayed.
        g_undoPending = 0;
        g_hwndStepping = hwnd;
        SendMessageA(g_hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST, (LPARAM)g_slideIndex);
        g_hwndStepping = NULL;
    }
    if (slideshow) {
        // The window may have gone while a reader's box was open.
        if (!is_window_open(g_hwndSlide))
            return;
        destroy_caption_strip();
        InvalidateRect(g_hwndSlide, NULL, TRUE);
        g_slideForward = 1;
        // The paint arms it again; a medium plays without a paint.
        arm_slide_timer();
        return;
    }
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, TRUE);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
    if (hwnd != g_hwndFull && is_window_open(g_hwndView) && is_multi_icon_file()) {
        // The image window's paint would give its own notice while this
        // box is up: one is enough.
        g_pageHintShown = 1;
        announce_icons(g_hwndView, "Press \"n\" to view next %s. \nPress \"p\" to view preceding %s.");
    }
}

// ---- the slideshow window

void begin_slideshow(int from_view)
{
    HWND list = GetDlgItem(g_hwndMain, IDC_MAIN_FILE_LIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == 0 || count == LB_ERR || is_window_open(g_hwndSlide))
        return;
    LRESULT index = find_shown_file_entry(list);
    if (index == LB_ERR) {
        if (g_hComment) {
            GlobalFree(g_hComment);
            g_hComment = NULL;
        }
        if (g_hApp12Text) {
            GlobalFree(g_hApp12Text);
            g_hApp12Text = NULL;
        }
        bool captured = is_captured_or_pasted();
        if (from_view && !captured)
            return;
        index = captured ? SendMessageA(list, LB_GETCURSEL, 0, 0) : 0;
        if (index == LB_ERR) {
            if (from_view)
                return;
            index = 0;
        }
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
        if (length == LB_ERR || length >= (LRESULT)sizeof g_fileName)
            return;
        SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)g_fileName);
        SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
        PostMessageA(g_hwndMain, g_msgSelChanged, IDC_MAIN_FILE_LIST, index);
    }
    SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
    g_hwndSlide = CreateWindowExA(0, "Slide", "A", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_MAXIMIZE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL,
                                  g_hInstance, NULL);
    if (g_hwndSlide && !g_hideStatusBar) {
        create_slide_status_bar(g_hwndSlide);
        show_slide_comment();
    }
}

static void make_caption_strip(HWND hwnd, HDC dc, const RECT& area)
{
    if (g_hwndTextTitle || g_hideFileName || !g_fileName[0])
        return;
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, g_fileName, (int)std::strlen(g_fileName), &size);
    g_hwndTextTitle = CreateWindowExA(0, "TextTitle", "A", WS_CHILD | WS_VISIBLE,
                                      (area.right - size.cx) / 2, 0, size.cx, size.cy, hwnd, NULL,
                                      g_hInstance, NULL);
}

static LRESULT slide_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (g_imageKind != KIND_MULTIMEDIA) {
        RECT area = slide_area(hwnd);
        FillRect(dc, &area, background_brush());
        make_caption_strip(hwnd, dc, area);
        if (area.bottom > area.top && area.right > area.left)
            paint_current_image(hwnd, dc, area, 0);
        if (g_hwndTextTitle && !g_hideFileName)
            InvalidateRect(g_hwndTextTitle, NULL, TRUE);
        g_slideForward = 1;
        arm_slide_timer();
    }
    EndPaint(hwnd, &ps);
    return 0;
}

static LRESULT slide_on_erasebkgnd(HWND hwnd, HDC dc)
{
    RECT area = slide_area(hwnd);
    FillRect(dc, &area, background_brush());
    return 1;
}

// Any key or left click ends the show; for an icon file the notice of its
// further images follows (the captions come back as the window goes).
static LRESULT slide_on_keydown(HWND hwnd)
{
    (void)hwnd;
    stop_slide_timer();
    HWND slide = g_hwndSlide;
    g_hwndSlide = NULL;
    if (slide && IsWindow(slide))
        DestroyWindow(slide);
    if (g_fileName[0] && is_multi_icon_file() && !is_window_open(g_hwndView))
        announce_icons(g_hwndMain, "Double-click on image to view next %s.");
    return 0;
}

// The captions of the current file come back to the main window however
// the show ended: a key, a click, or a medium that closed it to play.
static void restore_captions(void)
{
    if (g_fileName[0] && (is_multi_page_tiff() || is_multi_icon_file()))
        write_page_captions(g_hwndMain);
    else
        SetDlgItemTextA(g_hwndMain, IDC_MAIN_NAME_EDIT, g_fileName);
}

static LRESULT slide_on_destroy(HWND hwnd)
{
    forget_metafile_views(hwnd);
    // A window destroyed takes its timers with it.
    g_slideTimerActive = 0;
    destroy_caption_strip();
    restore_captions();
    if (g_hwndSlideStatus && !IsWindow(g_hwndSlideStatus))
        g_hwndSlideStatus = NULL;
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, TRUE);
    InvalidateRect(GetDlgItem(g_hwndMain, IDC_MAIN_PREVIEW), NULL, TRUE);
    update_main_menu_state();
    resize_main_status_bar();
    return 0;
}

LRESULT CALLBACK slide_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return 0;
    case WM_PAINT:
        return slide_on_paint(hwnd);
    case WM_ERASEBKGND:
        return slide_on_erasebkgnd(hwnd, (HDC)wp);
    case WM_TIMER:
        // While a command works on the shown file the show waits: the
        // timer stays armed and steps on from that file once the hold ends.
        if (!file_hold_turns_away(hwnd))
            slide_on_timer(hwnd, (UINT_PTR)wp);
        return 0;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
        return file_hold_turns_away(hwnd) ? 0 : slide_on_keydown(hwnd);
    case WM_DESTROY:
        return slide_on_destroy(hwnd);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// ---- the caption strip

COLORREF caption_text_color(COLORREF bg)
{
    int r = GetRValue(bg), g = GetGValue(bg), b = GetBValue(bg);
    if ((r == 0 && g == 255 && b == 0) || (r + g + b) / 3 >= 128)
        return RGB(0, 0, 0);
    return RGB(255, 255, 255);
}

static LRESULT texttitle_on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT c;
    GetClientRect(hwnd, &c);
    FillRect(dc, &c, background_brush());
    COLORREF bg = background_color((uint32_t)g_backgroundColorIndex);
    SetBkColor(dc, bg);
    SetTextColor(dc, caption_text_color(bg));
    int length = (int)std::strlen(g_fileName);
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, g_fileName, length, &size);
    RECT slide;
    GetClientRect(GetParent(hwnd), &slide);
    SetWindowPos(hwnd, NULL, (slide.right - size.cx) / 2, 0, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    RECT text = {0, 0, size.cx, size.cy};
    DrawTextA(dc, g_fileName, length, &text, DT_CENTER | DT_SINGLELINE | DT_NOCLIP);
    EndPaint(hwnd, &ps);
    return 0;
}

static LRESULT texttitle_on_erasebkgnd(HWND hwnd, HDC dc)
{
    RECT c;
    GetClientRect(hwnd, &c);
    FillRect(dc, &c, background_brush());
    return 1;
}

LRESULT CALLBACK texttitle_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        return texttitle_on_paint(hwnd);
    case WM_ERASEBKGND:
        return texttitle_on_erasebkgnd(hwnd, (HDC)wp);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
