// The progress indicator that long loops feed: one call paints a fraction
// into the progress strip of the frontmost window that shows one. The
// strips are "Bar" windows inside the status bars (viewer/status_bar makes
// them and stores their handles here); a strip keeps no state of its own.
#pragma once

#include <windows.h>

// Progress strips, one per status bar; null while the bar does not exist.
extern HWND g_hwndMainBar;
extern HWND g_hwndViewBar;
extern HWND g_hwndSlideBar;
extern HWND g_hwndCropBar;
extern HWND g_hwndTextBar;
extern HWND g_hwndMergeBar;
extern HWND g_hwndBatchBar;
extern HWND g_hwndStretchBar;

// Brushes of the done part (COLOR_HIGHLIGHT) and the rest (COLOR_BTNFACE),
// made by the main window at start-up; the system's brushes stand in while
// they are null.
extern HBRUSH g_hbrHighlight;
extern HBRUSH g_hbrButtonFace;

// Setting "HideStatusBar": the slideshow shows no status bar, and while it
// runs no progress is shown anywhere.
extern int g_hideStatusBar;

// Modes that the batch window's per-file work passes; they paint nothing
// while the batch window is open, whose strip counts the files instead.
enum { PROGRESS_MODE_JPEG = 20, PROGRESS_MODE_RESAMPLE = 99 };

// Paints fraction (0 to 1) of the chosen strip; 0 clears it.
void show_progress(double fraction, int mode);

// The strips show_progress would paint for mode, in painting order; returns
// their number (0, 1 or 2).
int choose_progress_strips(int mode, HWND strips[2]);

// Width of the done part of a strip width pixels wide, rounded to nearest.
int progress_filled_width(double fraction, int width);
