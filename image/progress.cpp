// The progress indicator (see progress.h). It paints straight into the
// strip's device context inside the caller's loop; no message is processed
// in between, so the strip shows whatever was painted last.
#include "image/progress.h"

#include "image/open_windows.h"

HWND g_hwndMainBar;
HWND g_hwndViewBar;
HWND g_hwndSlideBar;
HWND g_hwndCropBar;
HWND g_hwndTextBar;
HWND g_hwndMergeBar;
HWND g_hwndBatchBar;
HWND g_hwndStretchBar;
HBRUSH g_hbrHighlight;
HBRUSH g_hbrButtonFace;
int g_hideStatusBar;

int choose_progress_strips(int mode, HWND strips[2])
{
    int batch_open = is_window_open(g_hwndBatch);
    if ((mode == PROGRESS_MODE_JPEG || mode == PROGRESS_MODE_RESAMPLE) && batch_open)
        return 0;
    if (is_window_open(g_hwndSlide)) {
        if (g_hideStatusBar)
            return 0;
        strips[0] = g_hwndSlideBar;
        return 1;
    }
    if (is_window_open(g_hwndCrop)) {
        strips[0] = g_hwndCropBar;
        return 1;
    }
    if (batch_open) {
        strips[0] = g_hwndBatchBar;
        return 1;
    }
    if (is_window_open(g_hwndText)) {
        strips[0] = g_hwndTextBar;
        return 1;
    }
    if (is_window_open(g_hwndMerge) && is_window_open(g_hwndMergeDialog)) {
        strips[0] = g_hwndMergeBar;
        return 1;
    }
    if (is_window_open(g_hwndStretch)) {
        strips[0] = g_hwndStretchBar;
        return 1;
    }
    int count = 0;
    strips[count++] = g_hwndMainBar;
    if (is_window_open(g_hwndView))
        strips[count++] = g_hwndViewBar;
    return count;
}

int progress_filled_width(double fraction, int width)
{
    if (width <= 0 || !(fraction > 0.0))
        return 0;
    if (fraction >= 1.0)
        return width;
    int filled = (int)(fraction * width + 0.5);
    return filled > width ? width : filled;
}

static void paint_strip(HWND strip, double fraction)
{
    if (!is_window_open(strip))
        return;
    RECT rc;
    GetClientRect(strip, &rc);
    int width = rc.right;
    int filled = progress_filled_width(fraction, width);
    HDC hdc = GetDC(strip);
    if (!hdc)
        return;
    HBRUSH done = g_hbrHighlight ? g_hbrHighlight : GetSysColorBrush(COLOR_HIGHLIGHT);
    HBRUSH rest = g_hbrButtonFace ? g_hbrButtonFace : GetSysColorBrush(COLOR_BTNFACE);
    if (filled > 0) {
        RECT part = {0, 0, filled, rc.bottom};
        FillRect(hdc, &part, done);
    }
    if (filled < width) {
        RECT part = {filled, 0, width, rc.bottom};
        FillRect(hdc, &part, rest);
    }
    ReleaseDC(strip, hdc);
}

void show_progress(double fraction, int mode)
{
    HWND strips[2];
    int count = choose_progress_strips(mode, strips);
    for (int i = 0; i < count; ++i)
        paint_strip(strips[i], fraction);
}
