// Writing a text item onto the current image and its unconverted copy.
#pragma once

#include <windows.h>

// Draws the text; records no edit. 1 when it was drawn on the image, 0
// when nothing was (the image is then unchanged).
int write_text_on_image(HGLOBAL hImage, HGLOBAL hUnconverted, HGLOBAL hText, HFONT hFont, int x,
                         int y, DWORD text_color, DWORD back_color, BYTE text_index,
                         BYTE back_index, int transparent_back, int align, HWND hwnd,
                         int brightness_step, int color_conversion);
