// The painters of the current metafile (g_hImage of kind KIND_WMF or
// KIND_EMF): into an area of a window or a printer page, and into the main
// window's preview, whose layout is preview.h's. They play through the
// program's plays (metafile.h) and, in the preview, its kept pixels
// (metafile_view.h).
#pragma once

#include <windows.h>
#include <stdint.h>

// Plays the current Windows metafile (g_hImage) into an area of the device
// context, shrunk by tenths until it fits, centred (tile 0) or tiled (1).
// An empty area paints nothing. 1 when the picture was drawn whole (as the
// plays of metafile.h).
int play_wmf_in_rect(HWND hwnd, HDC hdc, int32_t area_width, int32_t area_height,
                     int32_t picture_width, int32_t picture_height, uint32_t tile);

// Plays the current metafile (g_hImage of kind KIND_WMF or KIND_EMF) into
// the preview's image rectangle through hdc, clipped to it: an enhanced or
// placeable one stretched over it, a plain one from its corner. With
// progress, record by record feeding the progress strip of owner.
void play_metafile_in_preview(HWND owner, HDC hdc, uint32_t with_progress);

// The same through the preview's kept pixels (metafile_view.h): played
// only when the picture, its rectangle or the background changed.
void show_metafile_in_preview(HWND owner, HDC hdc, uint32_t with_progress);
