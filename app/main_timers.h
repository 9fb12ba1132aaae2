// The main window's timers: the animation tick that shows the next frame of
// an animated GIF, the next image of an icon file or the next step of an
// animated cursor, and the preview rectangle an animation is stretched into.
#pragma once

#include <windows.h>

BOOL main_on_timer(HWND hwnd, UINT_PTR timer_id);

// Where a logical screen of width x height is stretched in a preview square
// of side: the whole square, or the full width (height) and the other side
// in proportion, centred; origin (3, 3).
RECT animation_rect_in_preview(int side, int width, int height);
