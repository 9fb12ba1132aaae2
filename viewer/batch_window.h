// The batch window ("Batch"): the camera JPEGs of the main list's folder as
// pages of thumbnails read from their Exif data (no image is decoded in
// full), selected with the mouse, opened, and worked on one by one from a
// popup menu. The operations on the selected files (queued move, copy,
// delete and conversion, rotations, the folder chooser) are in
// batch_operations.h.
//
// A thumbnail i (0 .. g_thumbCount - 1) has the main list's index
// g_thumbIndex[i] and, while its page is shown, the selection slot (cell)
// i - g_thumbFirst. The list is refilled by conversions and moves and may
// go to another folder, so every operation finds its file through the full
// path kept per thumbnail, never through a list index or the list's folder.
#pragma once

#include <windows.h>

#include "image/pixel_ceiling.h"

enum {
    THUMB_FRAME_SIZE = 168,  // frame bitmaps and the grid pitch
    THUMB_MAX_SIDE = 160,    // a thumbnail is shrunk to fit this square
    THUMB_EMPTY = -1,        // selection state and index entry of a file gone
};

extern int* g_thumbIndex;      // list index per thumbnail (g_hThumbIndex locked)
extern int g_thumbCount;
extern int g_thumbCols, g_thumbRows, g_thumbCells;
extern int g_thumbCellWidth, g_thumbCellHeight, g_thumbLeft, g_thumbTop;
extern int g_thumbFirst, g_thumbLast;   // thumbnails of the page shown
extern int* g_thumbSelected;   // per cell: 1 selected, 0 not, -1 empty
extern int g_thumbCurrent;     // cell under the last click
extern int g_batchFirstPaint, g_thumbsRedraw, g_thumbsErase;

LRESULT CALLBACK batch_wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Batch Process Digital Images of the main and the image window: the window
// over the whole screen with its status bar; the first paint scans.
void open_batch_window(void);

// Grid geometry of a client area (the status bar's height is taken off):
// 0 when not one column or row of 168 pixels fits.
struct ThumbGrid {
    int cols, rows, cells, cell_width, cell_height, left, top;
};
int compute_thumb_grid(int client_width, int client_height, int status_height, ThumbGrid* grid);

// The cell under a client point of the grid g (clamped to the last column
// and row), or -1 outside the grid.
int thumb_cell_at(const ThumbGrid& g, int x, int y);

// First thumbnail of the page that holds list entry selected (-1: none):
// the largest multiple of cells below count whose index entry is not after
// selected; 0 when there is none.
int first_page_for_selection(const int* index, int count, int cells, int selected);

// Next (forward) or previous page, wrapping; first and last are updated.
void step_thumb_page(int count, int cells, int forward, int* first, int* last);

// The orientation word that apply_orientation_normalize takes for an Exif
// orientation (1 to 8; anything else: 0, upright).
int thumb_orientation_state(int exif_orientation);

// Top-left of the frame of a cell, and of its 160 x 160 picture area.
POINT thumb_frame_origin(int cell);
POINT thumb_area_origin(int cell);

// The full path thumbnail i's file was read from (or that a move or rename
// gave it), whatever folder the main list shows now; 0 when it has none
// (deleted, moved away, or too long).
int thumb_file_path(int i, char* path, size_t size);
// How the messages name it: its name while the main list shows its folder,
// else its full path (file_label).
int thumb_list_text(int i, char* text, size_t size);

// Reads thumbnail i's Exif thumbnail, turns it upright and draws it in its
// cell (the cell's picture area blanked first when erase is set). The
// returned image is the caller's (null when the file has none). turn: 0, or
// 90 / 270 to turn it further (after a transform that left the file's own
// thumbnail as it was).
HGLOBAL draw_thumbnail_from_file(HWND hwnd, int i, int erase, int turn);

// The pixel ceiling of one file the window reads (its length at the JPEG
// reader's ratio), begun before the read and ended after the last working
// copy made of what it read (turned, halved, reduced): a picture the file's
// bytes cannot give is refused there too.
PixelCeiling begin_batch_file_ceiling(const char* path);
// 1 when a working copy of the image (its pixel count) fits the ceiling.
int batch_copy_fits_ceiling(HGLOBAL image);

// draw_thumbnail_frame: state > 0 "REDBOX", 0 "WHITEBOX", < 0 blank.
void draw_thumbnail_frame(int state, HWND hwnd, HINSTANCE instance, int x, int y);
// The frame of one cell, by its state.
void draw_cell_frame(HWND hwnd, int cell, int state);
// Every cell's frame by its state; the window is repainted from the cache.
void refresh_batch_frames(void);
// Draws bitmap at (x, y) in dc with one colour left out.
void draw_transparent_bitmap(HDC dc, HBITMAP bitmap, int x, int y, COLORREF transparent);

// Thumbnail i's file has gone (deleted or moved away): empty cell, no list
// index, no name.
void mark_thumb_gone(int i);
// Thumbnail i's file now lives at path (a move or rename): its entry in
// the main list, where the list shows it, is replaced by path and the
// kept path follows it.
void set_thumb_path(int i, const char* path);
// 1 when the file of the cell is lossless-coded (turned by re-encoding).
int is_cell_lossless(int cell);
// After the move, copy or rename routine ran for thumbnail i from the batch
// window: a file that left its name follows the target (a move leaves the
// grid), and the frames are drawn again.
void batch_note_file_operation(int i, int mode, const char* source, const char* target, int succeeded);
// 1 when the file's first frame header is of a lossless process (SOF3,
// SOF7, SOF11, SOF15): such files are turned by decoding and re-encoding.
int is_lossless_jpeg(const char* path);
// After the main list was refilled: each thumbnail's list index is found
// again by its path; a file gone from its folder leaves the grid.
void remap_thumb_indexes(void);

// The page's cached thumbnail of i becomes image (the old one is freed;
// image is freed when i is not on the page).
void replace_cached_thumbnail(int i, HGLOBAL image);
// Leaves for the main window with thumbnail i's file selected and loaded.
void open_thumbnail_file(int i);
