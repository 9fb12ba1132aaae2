// Questions about the current image's colours (black-and-white, grey, how
// many colours and bits), the display's depth, logical palettes made from a
// colour table or the system palette, and the RGB / hue-lightness-saturation
// conversions of the tint, brightness and red-eye tools. The palette of the
// colour picker's grid is in picker_palette.h.
#pragma once

#include <windows.h>

extern COLORREF g_pickedColor;     // last colour chosen in the colour dialog
// While the text tool is open, the image's plain palette (without the
// transparent display colour) is given only when this is 1.
extern int g_paletteRealizeMode;

// The queries answer 0 unless g_imageKind is KIND_DIB and there is an image.
// A null handle asks about g_hImageUnconverted when set, else g_hImage.
int is_black_white_palette(HGLOBAL hDib);
int is_grey_palette(HGLOBAL hDib);
int is_grey8_ramp(HGLOBAL hDib);

// Of g_hImageUnconverted when set, else g_hImage: table entries (2 to the
// bit count when biClrUsed is 0; 2^24 for 32 bits) and bits per pixel.
int get_image_color_count(void);
int get_image_bit_count(void);
// Bits per pixel of g_hImage itself.
int get_original_bit_count(void);

// Bits per pixel times planes of the display; 8 or less: a palette display.
int get_display_bit_depth(void);

// Palette of a locked image's colour table, with the transparent display
// colour at the transparent index while a colour-picking window is open;
// null for images of more than 8 bits. hwnd is not used. Caller deletes it.
HPALETTE create_dib_palette(const BITMAPINFOHEADER* bih, HWND hwnd);

// Palette of a locked image's table plus g_pickedColor at index n (the
// table's size); the transparent index shows the transparent display colour
// while the palette window is open. Null for more than 8 bits.
HPALETTE create_picker_palette_from_dib(const BITMAPINFOHEADER* bih);

// Palette of the 256 system palette entries; colors, when given, receives
// them as RGBQUADs (reserved 0).
HPALETTE create_system_palette(RGBQUAD* colors);

// Replaces each of count colours by the palette's nearest entry.
void snap_colors_to_palette(RGBQUAD* colors, HPALETTE hPalette, int count);

// Components 0 to 1, hue in degrees 0 to 360.
void rgb_to_hsl(double red, double green, double blue, double* hue, double* lightness, double* saturation);
double hue_to_channel(double m1, double m2, double hue);
void hsl_to_rgb(double hue, double lightness, double saturation, double* red, double* green, double* blue);
