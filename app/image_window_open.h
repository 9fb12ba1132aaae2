// Opening the current image in the image window from the main window's
// Center and Tile (and Enter in the file list), with the message loop that
// translates "ACCELERATOR1" while the window lives; and the main window's
// Full Screen button, which enlarges a playing medium's window or opens
// the full-screen window (viewer/full_window.h).
#pragma once

#include <windows.h>
#include <stdint.h>

// Center (tile 0) or Tile (1). Runs until the image window is gone, or
// only switches the mode of the one that is open. TRUE.
BOOL open_image_window(HWND hwndMain, int tile);

// Button 1013: with a media window, spreads it over the main window and
// returns FALSE; without one it is Full Screen (TRUE).
BOOL on_full_screen_button(HWND hwndMain);

// Full Screen, Stretch Image and Correct Red Eye: the "Full" window over
// the screen in that mode. TRUE.
enum FullScreenMode { FULL_PLAIN, FULL_STRETCH, FULL_RED_EYE };
BOOL open_full_screen(HWND hwndMain, int mode);

// The image window's title: the name, then (unless the image is captured
// or pasted) its size in bytes, then the page or image line of a
// multi-page TIFF or icon file. Always NUL-terminated within size.
struct ViewTitleFacts {
    const char* name;
    uint64_t file_size;
    int captured_or_pasted;
    int kind;
    int format;
    int page_index, page_count;
    int icon_index, icon_count, is_cursor;
};
void format_view_title(char* title, size_t size, const struct ViewTitleFacts* facts);

// The media window's rectangle over a W x H client area for a picture of
// the given natural size; the 26-pixel control bar is below the picture.
RECT enlarged_media_rect(int W, int H, int picture_width, int picture_height);
