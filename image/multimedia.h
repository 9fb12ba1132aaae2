// Multimedia files (sound, video, MIDI) are not decoded: their information
// text comes from their own headers, and a media window of the system's
// media control class, inside the main window, opens and plays them. The
// media window's state lives here; the main window's layout and timer
// place it and watch a playing MP3 (app/file_list.h, app/main_timers.h).
#pragma once

#include <windows.h>

extern UINT_PTR g_mciTimerId;   // 3000 ms watch of a playing MP3, on the main window
extern HWND g_hwndMci;          // media window of the current multimedia file
extern int g_mciEnlarged;       // the media window covers the main window
extern int g_mciAreaWidth;      // picture area of the medium as opened (0 x 0: sound only)
extern int g_mciAreaHeight;
extern RECT g_rcMciArea;        // the media window's client rectangle after it was placed
extern int g_mciBarHeight;      // height of the media window's play bar as made

// Usual height of the media window's play bar below its picture (the
// system's media control may make it taller).
enum { MCI_BAR_HEIGHT = 26 };

// Information texts, written into info (INFO_TEXT_SIZE characters). A file
// that cannot be opened gets only its first line.
void get_avi_info(const char* file, char* info);
void get_midi_info(const char* file, char* info);
void get_quicktime_info(const char* file, char* info);
void get_mpeg_info(const char* file, char* info);
void get_mpeg_audio_info(const char* file, char* info);
void get_rmi_info(const char* file, char* info);
void get_wav_info(const char* file, char* info);
void get_wmv_info(const char* file, char* info);

// Writes the information text of the current file (by g_fileFormat, plus
// its size) and places a media window playing it in the main window, where
// the preview was; the image, slideshow and full-screen windows close.
// Of preview only its right value (the preview square's side) is used; the
// brush, pen and preview control are not. Null when no window was made.
HWND show_multimedia_file(HINSTANCE instance, const char* file, RECT preview, HBRUSH face_brush,
                          HPEN face_pen, HWND preview_control, char* info);

// Where a media window goes in the preview square of side `side` whose
// top-left is (x0, y0): the bar alone (bar_height + 2 high) for a medium
// without a picture, else the picture at its aspect filling the square's
// width or height, with the bar below it.
struct MediaPlace {
    int x, y, width, height;
};
MediaPlace place_media_window(int x0, int y0, int side, int picture_width, int picture_height, int bar_height);

// Height of a media window's play bar.
int media_bar_height(HWND media);

// Stops the medium and closes the media window (an MP3's watch timer on
// the main window first; a MIDI medium is moved to its end first).
void close_media_window(void);
