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

RECT animation_rect_in_preview(int side, int width, int height)
{
    RECT r = {3, 3, 3 + side, 3 + side};
    if (width <= 0 || height <= 0 || width == height)
        return r;
    if (width > height) {
        int h = (int)((double)side * height / width + 0.5);
        r.top = 3 + (side - h) / 2;
        r.bottom = r.top + h;
    } else {
        int w = (int)((double)side * width / height + 0.5);
        r.left = 3 + (side - w) / 2;
        r.right = r.left + w;
    }
    return r;
}

// Stretches the animation canvas into the preview, small animations enlarged.
static void draw_canvas_in_preview(HWND hwnd)
{
    if (!g_hAnimCanvas)
        return;
    RECT r = animation_rect_in_preview(g_rcPreview.right, g_screenWidth, g_screenHeight);
    g_animDestX = r.left;
    g_animDestY = r.top;
    g_animDestWidth = r.right - r.left;
    g_animDestHeight = r.bottom - r.top;

    HWND preview = GetDlgItem(hwnd, IDC_MAIN_PREVIEW);
    HDC dc = GetDC(preview);
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hAnimCanvas);
    if (bih) {
        stretch_into_preview(dc, bih, g_hPalette);
        GlobalUnlock(g_hAnimCanvas);
    }
    ReleaseDC(preview, dc);
}

BOOL main_on_timer(HWND hwnd, UINT_PTR timer_id)
{
    if (timer_id != g_animTimerId)
        return FALSE;
    stop_animation_timer(hwnd);

    if (g_imageKind != KIND_ANIMATED_GIF)
        return FALSE;
    if (!advance_gif_animation(g_hFile)) {
        // The last composed picture stays as a still image.
        end_gif_animation_as_still();
        return FALSE;
    }
    if (!is_window_open(g_hwndSlide))
        draw_canvas_in_preview(hwnd);
    arm_animation_timer(hwnd, gif_frame_period(g_animDelay));
    return TRUE;
}
