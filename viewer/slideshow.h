// The next-file step and the slideshow: the "Slide" window that covers the
// screen and shows the main list's files one after the other, its caption
// strip ("TextTitle"), and the step that the image window's Next File and
// Last File share with it. The file itself is read by the selected-file
// loader (image/loader.h), so both roads identify and read alike.
#pragma once

#include <windows.h>

enum { SLIDE_PERIOD_MS = 3000 };

LRESULT CALLBACK slide_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK texttitle_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Steps the main file list one entry in the direction g_slideForward
// (wrapping) and shows that file in hwnd: g_hwndSlide (its timer) or
// g_hwndView (Next File, Last File).
void slide_on_timer(HWND hwnd, UINT_PTR timer_id);

// The list entry a next-file step lands on (count entries; -1 for none):
// the next or previous one (forward 1 or 0, wrapping) after name_index, the
// current file's entry. A file not in the list (name_index -1) lands on the
// first entry in both directions; a screen capture or pasted image
// (captured 1) on the selected entry itself, or the first with none.
int slide_step_index(int count, int name_index, int selection, int captured, int forward);

// Begin Slideshow of the main window (from_view 0) or of the image window
// (from_view 1): makes sure the current file is the list's selected one and
// opens the "Slide" window over the whole screen.
void begin_slideshow(int from_view);

// Colour of the caption text on the background colour bg: black on pure
// green or on a light colour (mean of red, green, blue 128 or more), else
// white.
COLORREF caption_text_color(COLORREF bg);
