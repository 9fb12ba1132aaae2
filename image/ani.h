// Animated cursors (RIFF "ACON"): every frame read through the icon reader
// into an array of images, and a step table of frame numbers and display
// times that the main window's animation timer walks.
#pragma once

#include <windows.h>
#include <stdint.h>

// One step of the animation: the frame it shows and for how long.
struct AniStep {
    uint32_t frame;  // index into the frame array
    uint32_t rate;   // display time in 1/60 s
};

extern HGLOBAL g_hSubImages;   // frame images (HGLOBAL each, null when unread)
extern HGLOBAL g_hFrameRates;  // AniStep per step
extern int g_subImageCount;
extern int g_animStepCount;
extern int g_animStep;         // the next step to show

// Reads the animated cursor open on *file into *frames (an array of
// *frame_count image handles) and *steps (*step_count AniStep records).
// Frame indices are checked against the frame count; a count of 0 or one
// the file cannot hold refuses the file. On success the handle is closed
// and *file set to HFILE_ERROR; 1. On failure 0, nothing allocated, the
// handle open.
int read_ani_file(HWND owner, HFILE* file, int* frame_count, int* step_count, HGLOBAL* steps, HGLOBAL* frames,
                  char* info);

// The frame of step g_animStep (wrapping to step 0 after the last) and its
// display time in hundredths of a second in *delay; g_animStep moves on.
// Null for a frame that could not be read.
HGLOBAL next_ani_frame(UINT* delay);

// Frees every frame, the frame array and the step table.
void free_ani_frames(void);
