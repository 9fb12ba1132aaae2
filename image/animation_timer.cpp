// The animation timer's state and its arming (see animation_timer.h).
#include "image/animation_timer.h"

UINT g_animDelay = 12;
UINT_PTR g_animTimerId = 1;
UINT_PTR g_animTimerActive;

void arm_animation_timer(HWND hwndMain, UINT period_ms)
{
    g_animTimerActive = SetTimer(hwndMain, g_animTimerId, period_ms, NULL);
}

void stop_animation_timer(HWND hwndMain)
{
    if (hwndMain)
        KillTimer(hwndMain, g_animTimerId);
    g_animTimerActive = 0;
}
