// The main window's timers: the animation tick that shows the next frame of
// an animated GIF, the next image of an icon file or the next step of an
// animated cursor, and the watch that moves on when a playing MP3 ends.
#pragma once

#include <windows.h>

BOOL main_on_timer(HWND hwnd, UINT_PTR timer_id);


// Paints the animation canvas into the preview's image rectangle through dc
// (the preview control's); nothing without a canvas.
void draw_animation_canvas(HDC dc);
