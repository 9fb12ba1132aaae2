// The pixels a window last played a metafile into, kept so that a repaint
// costs one blit, as a bitmap's does: the main window's preview, the image
// window (plain and tiled), full screen and the slideshow each keep one
// 32-bit DIB of the area they draw the picture in, and play again only
// when the picture, the area, the layout in it or the background changes.
// The plays themselves are in metafile.h (through the renderer); the
// layouts are the windows' own.
//
// A play that was cut leaves what it drew in the kept pixels, and a cut
// metafile is not played again until it is loaded anew
// (metafile_play_failed): at another size the window shows the kept
// pixels scaled, frame onto frame, rather than nothing. A window that
// shows a picture whole and is cut playing it at a new size keeps the
// whole pixels, scaled, says nothing, and does not play it at another size
// again until it is loaded anew.
#pragma once

#include <windows.h>

struct MetafileView {
    HWND window;        // whose pixels these are: one set per window
    HANDLE metafile;    // the picture
    RECT area;          // device pixels of the window's DC that the play may draw in
    RECT frame;         // where the picture's frame lies, in the same pixels
    int layout;         // anything else the play depends on (tile)
    HBRUSH background;  // what the window paints under the picture
};

// Plays the picture into dc, whose pixels are the view's area moved to
// (0, 0): area and frame are given moved the same way. The DC was filled
// with the background first, its brush origin matching the window's.
typedef void (*MetafileViewPlay)(HDC dc, const RECT* area, const RECT* frame, void* data);

// Shows the picture in the view's area of dc (the window's DC, device
// units): the kept pixels when they are of this view, else a play into
// fresh pixels (kept), or the kept pixels of a cut picture scaled to this
// view. Where no pixels can be had, plays straight into dc. A window out
// of sight (not shown, or under the slideshow or the full-screen window)
// plays nothing: the end of the window over it repaints it.
void draw_metafile_view(HDC dc, const MetafileView* view, MetafileViewPlay play, void* data);

// Frees the window's kept pixels (null: every window's, as the picture is
// released or loaded anew).
void forget_metafile_views(HWND window);

// A picture laid over an image and dragged across it (the Merge window's
// source) is kept twice at its frame's size: played over white and played
// over black. The player's raster operations work bit by bit on what lies
// under them, so the pair gives what a play would have drawn over any
// pixels, and a drag costs no play. Draws the picture into area of dc
// (device units) with its frame at frame, as a play clipped to area would
// have; plays only when the picture, the area's size or the frame in it
// changed. 0 when it was not drawn whole.
int draw_metafile_layer(HDC dc, HANDLE metafile, const RECT* area, const RECT* frame, MetafileViewPlay play,
                        void* data);

// Frees the kept layer, as its picture is released.
void forget_metafile_layer(void);
