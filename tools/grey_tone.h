// Grey, tint and tone conversions.
#pragma once

#include <windows.h>

// Replaces *phDib by its grey version, keeping the image before it in
// *phUnconverted.
void to_grayscale(HGLOBAL* phDib, HGLOBAL* phUnconverted, UINT image_kind);
// Tones the grey colour table in place (tone codes 28 to 35).
void tone_palette(HGLOBAL hDib, int tone);
