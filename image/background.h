// The background colours the images stand on: the nine choices of the
// settings, the one in use and a solid brush for each. Alpha is flattened
// onto the chosen colour and a transparent palette entry shows it; a file's
// own background colour is never used. The brushes are made by the main
// window at start-up.
#pragma once

#include <windows.h>
#include <stdint.h>

enum { BACKGROUND_COLOR_COUNT = 9, BACKGROUND_CUSTOM = 8 };

// Red, green, blue: white, yellow, magenta, red, cyan, green, blue, black,
// and the custom colour of the settings file (white until read).
extern BYTE g_backgroundColors[BACKGROUND_COLOR_COUNT][3];
extern int g_backgroundColorIndex;  // 0 to 8, setting "BackgroundColor"
extern HBRUSH g_hBackgroundBrushes[BACKGROUND_COLOR_COUNT];
extern HBRUSH g_hBackgroundBrush;   // the brush of g_backgroundColorIndex

// The colour of an entry as a COLORREF; an index past the table gives entry 0.
COLORREF background_color(uint32_t index);
