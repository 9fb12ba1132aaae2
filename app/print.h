// Printing the current image on one page (Normal, Large or Tiled) and the
// printer colour profile: linked once by the user, applied through Little
// CMS from the program's stored sRGB profile when the user asks at a print.
// Metafiles are played into the page; raster images are stretched onto it.
// The print dialog goes through the seams so tests can press its buttons;
// the printer itself is always real.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <lcms2.h>

#include "image/metafile.h"

// The current-image state a print works from, taken by value so that the
// print does not depend on what changes while it runs.
struct PrintState {
    HGLOBAL image;           // g_hImage: PackedDib or metafile handle by kind
    HGLOBAL unconverted;     // g_hImageUnconverted
    HGLOBAL canvas;          // the animation canvas (animated GIF)
    int kind;                // ImageKind
    int display_bits;        // of the screen, for the animation period
    HWND main, view;         // main window, image window (or null)
    UINT anim_delay;         // g_animDelay
    int has_placeable;       // the Windows metafile had the placeable header
    WmfPlaceableHeader placeable;
    int color_conversion;    // g_colorConversion
    int brightness_step;     // g_brightnessStep
    const char* file_name;   // caption of the profile question
};
PrintState current_print_state(void);

// Prints the image of state in mode Normal (0, 0), Large (1, 0) or Tiled
// (0, 1). The animation timer is stopped for the print and armed again.
void print_image(int large, int tiled, const PrintState& state);

// Where the copies of a picture go on a page of page_width x page_height
// device pixels: columns x rows cells of width x height, the first at (x, y).
struct PrintLayout {
    int32_t x, y, width, height, columns, rows;
};
// A raster image of image_width x image_height at an integer scale; an
// image larger than the page is fitted to it instead (scale below 1).
PrintLayout layout_raster_print(int32_t page_width, int32_t page_height, int32_t image_width,
                                int32_t image_height, int large, int tiled);
// A metafile of picture_width x picture_height device pixels: Large fits it
// to the page, then any size past the page shrinks by tenths.
PrintLayout layout_metafile_print(int32_t page_width, int32_t page_height, int64_t picture_width,
                                  int64_t picture_height, int large, int tiled);

// Command "Link Printer Color Profile File": an Open dialog whose pick is
// stored as the setting "PrinterProfile".
void choose_printer_profile(HWND owner);
UINT_PTR CALLBACK printer_profile_hook_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);

// Copies the header of src to dst and writes src's colours through the
// transform (three bytes blue, green, red each side): the colour table of a
// palette image, else every pixel of 16 (5-5-5), 24 or 32 bits. dst and src
// may be the same image; a palette image's dst needs room for header and
// table only.
void apply_color_transform(BITMAPINFOHEADER* dst, const BITMAPINFOHEADER* src, cmsHTRANSFORM transform);
