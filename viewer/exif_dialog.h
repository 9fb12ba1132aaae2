// The EXIF dialog: the Exif information text and thumbnail that
// read_exif_info (jpeg/exif_read.h) has just read, with a button for the
// current file's APP12 text.
#pragma once

#include <windows.h>

// lp is the path read_exif_info was given: its file name is the caption
// while the batch window is open. Closing frees g_hExifInfo and g_hExifThumbnail.
INT_PTR CALLBACK exif_dlg_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);
