// Animation ticks of the main window (GIF frames, icon pages and animated
// cursor steps) and the media-end watch. The animation timer is stopped at
// the start of every tick and armed again at its end, so a tick never
// overlaps another and a release never meets a half-made frame.
#include "app/main_timers.h"

#include "image/ani.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/gif_anim.h"
#include "image/icon.h"
#include "image/loader.h"
#include "image/multimedia.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "resources/resource.h"
#include "viewer/capture.h"
#include "viewer/full_window.h"
#include "viewer/image_window.h"
#include "viewer/window_classes.h"

#include <vfw.h>

// Stretches the animation canvas into the rectangle a still image of the
// logical screen's size gets, so every frame stays inside the frame lines.
static void draw_canvas_in_preview(HWND hwnd)
{
    if (!g_hAnimCanvas)
        return;
    fit_image_rect(g_screenWidth, g_screenHeight, 0);

    HWND preview = GetDlgItem(hwnd, IDC_MAIN_PREVIEW);
    HDC dc = GetDC(preview);
    draw_animation_canvas(dc);
    ReleaseDC(preview, dc);
}

void draw_animation_canvas(HDC dc)
{
    BITMAPINFOHEADER* bih = g_hAnimCanvas ? (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas) : NULL;
    if (!bih)
        return;
    stretch_into_preview(dc, bih, g_hPalette);
    GlobalUnlock(g_hAnimCanvas);
}

// While a medium plays every tick watches for its end; at the end the next
// entry of the list is selected, so the MP3 files of a folder play in list
// order (no wrap after the last one).
static BOOL watch_media_end(HWND hwnd)
{
    // Wine's MP3 device rewinds to 0 when it ends, so a stopped device also
    // counts as ended.
    bool stopped = MCIWndGetMode(g_hwndMci, NULL, 0) == MCI_MODE_STOP;
    if (!stopped && MCIWndGetPosition(g_hwndMci) < MCIWndGetEnd(g_hwndMci))
        return FALSE;
    KillTimer(hwnd, g_mciTimerId);
    HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR || count == 0)
        return TRUE;
    // The entry of the file that played, not a namesake in the folder the
    // list shows now: a list without it plays nothing more.
    LRESULT index = find_shown_file_entry(list);
    if (index == LB_ERR)
        return TRUE;
    if (index + 1 >= count)
        return FALSE;
    char next[sizeof g_fileName];
    if (SendMessageA(list, LB_GETTEXTLEN, index + 1, 0) >= (LRESULT)sizeof next)
        return FALSE;
    SendMessageA(list, LB_GETTEXT, index + 1, (LPARAM)next);
    lstrcpynA(g_fileName, next, sizeof g_fileName);
    SetDlgItemTextA(hwnd, IDC_MAIN_NAME_EDIT, g_fileName);
    SendMessageA(list, LB_SETCURSEL, index + 1, 0);
    PostMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST, index + 1);
    return FALSE;
}

// The window that covers the screen while it is open, the slideshow first;
// it takes each frame in place of the preview.
static HWND covering_window(void)
{
    if (is_window_open(g_hwndSlide))
        return g_hwndSlide;
    return is_window_open(g_hwndFull) ? g_hwndFull : NULL;
}

// The slideshow shows a frame centred, the full-screen window as its own
// repaint lays it out.
static uint32_t frame_mode(HWND window, const BITMAPINFOHEADER* frame)
{
    return window == g_hwndSlide ? 0 : full_frame_layout(frame->biWidth, frame->biHeight);
}

// Shows the current icon page or cursor frame: in the slideshow or the
// full-screen window when one is open, else stretched into the preview and
// in the image window.
static void draw_current_frame(HWND hwnd)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
    if (!bih)
        return;
    HPALETTE palette = create_dib_palette(bih, NULL);
    HWND cover = covering_window();
    if (!cover) {
        HWND preview = GetDlgItem(hwnd, IDC_MAIN_PREVIEW);
        HDC dc = GetDC(preview);
        stretch_into_preview(dc, bih, palette);
        ReleaseDC(preview, dc);
    }
    if (cover)
        paint_dib_in_window(bih, cover, palette, frame_mode(cover, bih), 0);
    else if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, FALSE);
    if (palette)
        DeleteObject(palette);
    GlobalUnlock(g_hImage);
}

// The next image of an icon file, read again through the kept handle.
static BOOL step_icon_page(HWND hwnd)
{
    g_iconIndex = g_iconIndex >= g_iconCount ? 1 : g_iconIndex + 1;
    if (g_hImage)
        GlobalFree(g_hImage);
    if (g_hFile == HFILE_ERROR)
        g_hFile = _lopen(g_filePath, OF_READ | OF_SHARE_DENY_NONE);
    g_infoText[0] = '\0';
    g_hImage = g_hFile == HFILE_ERROR ? NULL
                                      : read_icon_file(NULL, NULL, g_infoText, &g_hFile, &g_iconCount, &g_iconIndex,
                                                       0, 0, g_imageKind);
    // Without a picture the pages stop.
    if (!g_hImage)
        return FALSE;
    draw_current_frame(hwnd);
    arm_animation_timer(hwnd, g_animDelay * 9);
    return TRUE;
}

static BOOL step_animated_cursor(HWND hwnd)
{
    g_hImage = next_ani_frame(&g_animDelay);
    if (g_hImage)
        draw_current_frame(hwnd);
    arm_animation_timer(hwnd, g_animDelay * 9);
    return TRUE;
}

// The tick turned away under a hold, once the hold has ended: the frame
// shown when it began is followed by the next, and a capture's end comes.
static void tick_after_hold(void)
{
    if (is_window_open(g_hwndMain))
        arm_animation_timer(g_hwndMain, 1);
}

BOOL main_on_timer(HWND hwnd, UINT_PTR timer_id)
{
    // Neither the list's next medium, nor the next frame of an animation,
    // nor the input given back after a capture comes while a command works
    // on the shown file: the media watch ticks on; the animation timer is
    // stopped until the hold ends, and its tick then takes up from there.
    if (is_window_open(g_hwndMci))
        return file_hold_turns_away(hwnd) ? TRUE : watch_media_end(hwnd);
    if (timer_id != g_animTimerId)
        return FALSE;
    stop_animation_timer(hwnd);
    if (file_hold_turns_away(hwnd)) {
        after_file_hold(tick_after_hold);
        return TRUE;
    }
    // The tick after a right-click capture gives the main window its input back.
    if (g_capturePending) {
        g_capturePending = 0;
        EnableWindow(hwnd, TRUE);
        return TRUE;
    }

    if (g_imageKind == KIND_ICON_PAGES)
        return step_icon_page(hwnd);
    if (g_imageKind == KIND_ANI)
        return step_animated_cursor(hwnd);
    if (g_imageKind != KIND_ANIMATED_GIF)
        return FALSE;
    if (!advance_gif_animation(g_hFile)) {
        // The last composed picture stays as a still image.
        end_gif_animation_as_still();
        // A still image needs no more frames: the file is no longer held.
        if (g_hFile != HFILE_ERROR) {
            _lclose(g_hFile);
            g_hFile = HFILE_ERROR;
        }
        return FALSE;
    }
    if (HWND cover = covering_window()) {
        // Painted at once: a repaint of the slideshow would restart its own timer.
        BITMAPINFOHEADER* canvas = g_hAnimCanvas ? (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas) : NULL;
        if (canvas) {
            paint_canvas_in_window(cover, g_hPalette, frame_mode(cover, canvas), 0, canvas);
            GlobalUnlock(g_hAnimCanvas);
        }
    } else if (is_window_open(g_hwndView)) {
        // The image window paints the canvas; the preview follows it.
        InvalidateRect(g_hwndView, NULL, FALSE);
        InvalidateRect(GetDlgItem(hwnd, IDC_MAIN_PREVIEW), NULL, FALSE);
    } else {
        draw_canvas_in_preview(hwnd);
    }
    arm_animation_timer(hwnd, gif_frame_period(g_animDelay));
    return TRUE;
}
