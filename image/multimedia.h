// Multimedia files (sound, video, MIDI) shown and played in a media window
// inside the main window. The media window's state lives here; the main
// window's clicks shrink an enlarged media window back.
#pragma once

#include <windows.h>

extern UINT_PTR g_mciTimerId;   // 3000 ms watch of a playing MP3, on the main window
extern HWND g_hwndMci;          // media window of the current multimedia file
extern int g_mciEnlarged;       // the media window covers the main window

// Closes the media window of the current file, if any.
void close_media_window(void);
