// The background colour table and its brushes (see background.h).
#include "image/background.h"

BYTE g_backgroundColors[BACKGROUND_COLOR_COUNT][3] = {
    {255, 255, 255}, {255, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 255, 255},
    {0, 255, 0}, {0, 0, 255}, {0, 0, 0}, {255, 255, 255},
};
int g_backgroundColorIndex;
HBRUSH g_hBackgroundBrushes[BACKGROUND_COLOR_COUNT];
HBRUSH g_hBackgroundBrush;

COLORREF background_color(uint32_t index)
{
    if (index >= BACKGROUND_COLOR_COUNT)
        index = 0;
    const BYTE* c = g_backgroundColors[index];
    return RGB(c[0], c[1], c[2]);
}
