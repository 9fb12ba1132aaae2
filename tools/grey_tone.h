// Grey, tint and tone conversions, and the recognition of toned palettes.
// Grey level of a colour: (B x 11 + G x 59 + R x 30) / 100, truncated.
#pragma once

#include <windows.h>

// Replaces *phDib by its grey version (palette images get a grey table,
// deeper ones become 8-bit with a grey ramp), starting from the unconverted
// copy when there is one and keeping the image it converted there. Image
// kinds other than 0 are refused with a message. Returns 1 on success; 0
// when refused or out of memory, with both handles as they were.
int to_grayscale(HGLOBAL* phDib, HGLOBAL* phUnconverted, UINT image_kind);
// Tones the grey colour table in place (tone codes 28 to 35).
void tone_palette(HGLOBAL hDib, int tone);
// A 1-, 4- or 8-bit palette image as an 8-bit image whose pixels are grey
// levels (its table the grey ramp, or the tone's ramp for the tinted copy,
// each pixel the level whose ramp entry equals its colour). 1 on success,
// the old image freed; 0 with the image unchanged.
int make_grey_copy(HGLOBAL* phDib);
int make_tinted_copy(HGLOBAL* phDib, int tone);
// 1 when the 8-bit image's 256-entry table is exactly the tone's ramp.
int is_toned_palette(HGLOBAL hDib, int tone);
// The first tone (28 to 35) whose ramp holds every table entry, else 0.
int detect_tone_mode(HGLOBAL hDib);
// The table the image had before brightness steps of amount, through the
// inverse brightness curve, into destination (256 entries; the fourth
// bytes are left alone).
void rebuild_base_color_table(HGLOBAL hDib, int amount, RGBQUAD* destination);
