// The "Text" tool window: one text item at a time, with its font (the
// system font dialog, template "WRITETEXT"), colours ("TEXTCOLOR" with the
// "TextColor" sample pane), text and alignment ("GETTEXT") and position
// ("TEXTPOSITION"/"TEXTPOSITION1", a click, a drag), written into the
// image as one recorded edit per item. The drawing is tools/text_on_image.
#pragma once

#include <windows.h>

extern HFONT g_hTextFont;          // made from g_textFont while the tool runs
extern int g_textDialogSeen;       // first-use step: 0 none, 1 font, 2 colours, 3 text, 4 position
extern int g_textCenterX, g_textCenterY;
extern int g_textPlacing;          // the next click places the text
extern int g_writeTextReady;       // the text has a position and is drawn
extern RECT g_rcTextItem;          // the item's box in image pixels, set by each paint

// Opens the tool over its backdrop for the current bitmap.
void start_text_tool(HWND owner);
LRESULT CALLBACK text_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK textcolor_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Reads the font, the colours and the background flag from the settings
// into g_textFont, g_textColor, g_textBackColor, g_textBackgroundTransparent.
void read_text_settings(void);

// Runs the font dialog (settings read first); 1 when it was accepted.
int choose_text_font(HWND owner);

// Status texts: all parts for (-1, -1), else the position under (x, y)
// while placing.
void update_text_status(int x, int y);

// The window point (x, y) in image pixels per axis as placing maps it: -1
// outside a centred image.
void text_point_to_image(int x, int y, int client_w, int client_h, int zoomed_w, int zoomed_h, int zoom,
                         int scroll_x, int scroll_y, int* ix, int* iy);
