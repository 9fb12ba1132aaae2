// The comparison of a conversion's result with its source: both are played
// by the checked players (metafile_play.h) on one canvas, at the size the
// program shows the picture, as the program would show each (an enhanced
// metafile into its frame, a Windows metafile under the mapping of its
// picture and the window of its box), and their pixels compared. The
// system's conversions between the two kinds lose what the other kind
// cannot hold (a window origin, a clip path, a transform, a pattern) and
// say nothing of it; a result that shows another picture is not the
// picture converted. Only the metafile renderer (render_serve.cpp) calls
// these, as it plays what the system made.
#pragma once

#include "image/section_dc.h"

#include <windows.h>
#include <stdint.h>

// Largest side of a comparison, in pixels: a picture shown larger is
// compared at this size, its aspect kept.
enum { MAX_COMPARISON_SIDE = 1024 };
// Least larger side of a comparison: a picture whose frame is smaller is
// compared as the preview shows it, fitted to a square about this large.
enum { MIN_COMPARISON_SIDE = 256 };

// A picture of width x height 32-bit pixels with a DC of its own,
// made anew for each play: nothing a play leaves in its DC reaches another.
struct ComparisonPlay {
    SectionDc area;          // its pixels, in the process's own memory
    HDC dc;
    const uint32_t* pixels;  // top-down
    LONG width, height;
    double unit_pixels;      // the device size of the coarsest logical unit the play drew in
};

// False when the picture cannot be made; end_comparison_play frees it
// either way.
bool begin_comparison_play(ComparisonPlay* play, LONG width, LONG height);
void end_comparison_play(ComparisonPlay* play);

// The device pixels of a frame (0.01 mm) on the reference device.
SIZE frame_device_size(const RECT* frame, HDC reference);

// The size of the comparison of a picture the program shows at the frame of
// an enhanced-metafile header: its device pixels, its aspect kept and the
// larger side brought within MIN_COMPARISON_SIDE and MAX_COMPARISON_SIDE,
// each side at least 1.
SIZE comparison_size(const RECT* frame, HDC reference);

// Whether a frame (0.01 mm) is shown at the size of the extent a picture
// that scales was given, a pixel either way on the reference device, in
// width and in height: the result of a conversion shown at another size
// shows another picture.
bool frame_shows_extent(const RECT* frame, const RECT* extent, HDC reference);

// Plays the enhanced metafile over the whole picture; true when whole.
bool play_emf_for_comparison(ComparisonPlay* play, HENHMETAFILE emf);

// Plays a Windows metafile as it is shown: under the mapping mode of its
// picture, where the mode scales (isotropic, anisotropic) the whole
// comparison as the viewport of window (left, top, right, bottom), which
// the records draw in unless they set one of their own: a placeable box,
// or the picture's own device pixels, which the system's conversion takes
// for a picture whose records set none. True when whole.
bool play_wmf_for_comparison(ComparisonPlay* play, HMETAFILE wmf, int map_mode, const RECT* window);

// Whether two plays of one size show the same picture: every pixel of
// each has its colour near its own place in the other, within the slack
// of the conversions' rounding (a pixel and a unit of the picture's
// coarsest mapping, whatever the picture's size), is a shade of a smoothed
// edge between two colours the other has there, or lies in a gap a pixel
// wide between two shapes that the other's rounding closed; a few specks
// of a few pixels aside. A shape, a line, a dash pattern or a glyph lost,
// moved or drawn in another colour differs.
bool comparison_plays_match(const ComparisonPlay* a, const ComparisonPlay* b);
