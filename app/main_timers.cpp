// Animation ticks of the main window. The timer is stopped at the start of
// every tick and armed again at its end, so a tick never overlaps another
// and a release never meets a half-made frame.
#include "app/main_timers.h"

#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/gif_anim.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "resources/resource.h"
#include "viewer/capture.h"

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

BOOL main_on_timer(HWND hwnd, UINT_PTR timer_id)
{
    if (timer_id != g_animTimerId)
        return FALSE;
    stop_animation_timer(hwnd);
    // The tick after a right-click capture gives the main window its input back.
    if (g_capturePending) {
        g_capturePending = 0;
        EnableWindow(hwnd, TRUE);
        return TRUE;
    }

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
    if (is_window_open(g_hwndView)) {
        // The image window paints the canvas; the preview follows it.
        InvalidateRect(g_hwndView, NULL, FALSE);
        InvalidateRect(GetDlgItem(hwnd, IDC_MAIN_PREVIEW), NULL, FALSE);
    } else if (!is_window_open(g_hwndSlide))
        draw_canvas_in_preview(hwnd);
    arm_animation_timer(hwnd, gif_frame_period(g_animDelay));
    return TRUE;
}
