// GIF animation: the 24-bit canvas the frames are composed on, the disposal
// of each frame before the next, and the per-file animation state that the
// main window's timer steps. Frames come from read_gif_frame (gif_read.h);
// the timer itself, its arming and the drawing of each tick belong to the
// main window.
//
// Every frame is clipped to the canvas (the logical screen): a frame that
// lies partly or wholly outside it draws only what falls inside.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "image/animation_timer.h"  // the frames read set g_animDelay

extern int g_gifContinuing;        // another frame follows the last one read
extern int g_frameLeft;            // place and size of the last frame read
extern int g_frameTop;
extern int g_frameWidth;
extern int g_frameHeight;
extern DWORD g_gifBackgroundColor; // the file's own background (never shown)
extern BYTE g_gifDisposal;         // disposal method of the last frame read
extern int g_gifFrameNumber;       // frames read in this pass over the file
extern HGLOBAL g_hAnimCanvas;      // 24-bit, logical-screen size: what is shown
extern HGLOBAL g_hAnimCanvasSave;  // what a frame with disposal 3 restores
extern int g_infoTextLen;          // where the frame-count line is written

// Turns the loader's first frame (g_hImage, read with the globals above)
// into the animation: kind KIND_ANIMATED_GIF, both canvases made and filled
// with the viewer's background colour, the frame composed on the canvas,
// g_hImage freed and cleared. On a display of 8 bits or fewer the frame's
// colours are first snapped to g_hPalette. 1; or 0 after "Memory
// Allocation Error" (no owner) with the kind back to KIND_DIB, the frame
// still in g_hImage and g_gifContinuing 0: also when the file's data could
// not fill its logical screen (gif_screen_fits_data).
int start_gif_animation(void);

// start_gif_animation, then the drawing: the preview is fitted to the
// logical screen and the canvas drawn into window through dc (the preview
// control: stretched into the preview's image rectangle; the slideshow:
// centred; any other window: centred or tiled by tile_mode).
int compose_gif_frame(HDC dc, HWND window, uint32_t tile_mode);

// One animation step on the open file: disposes of the previous frame,
// rewinds and writes "# of GIF images" after the last frame, reads the next
// frame and composes it. 1 when a frame was composed; 0 when the decoder
// tables or the frame could not be had (the canvas keeps the last picture).
int advance_gif_animation(HFILE file);

// After a failed step: the canvas becomes the still image g_hImage (kind
// KIND_DIB), the save canvas and g_hPalette are freed.
void end_gif_animation_as_still(void);

// Frees both canvases (release of an animated image).
void free_gif_animation(void);

// Timer period in ms for a delay in hundredths of a second: x 5 on a display
// of 8 bits or fewer, else x 9.
UINT gif_frame_period(UINT delay);
