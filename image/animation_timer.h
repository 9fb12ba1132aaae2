// The one animation timer on the main window, which steps an animated GIF
// from frame to frame (and, once they play, icon pages and animated
// cursors). The loader arms it for a fresh animation, the main window's tick
// (app/main_timers.cpp) re-arms it after each frame, and every release of
// the current image stops it before the frames are freed.
#pragma once

#include <windows.h>

extern UINT g_animDelay;             // frame delay, hundredths of a second
extern UINT_PTR g_animTimerId;       // the timer's id on the main window
extern UINT_PTR g_animTimerActive;   // non-zero while the timer is armed

// Arms the timer on hwndMain with a period in ms; the result of SetTimer
// goes to g_animTimerActive.
void arm_animation_timer(HWND hwndMain, UINT period_ms);

// Stops the timer (a null window only clears the flag).
void stop_animation_timer(HWND hwndMain);
