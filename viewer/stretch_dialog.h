// The "STRETCH" dialog, opened by the full-screen window in stretch mode,
// and the "HUFFMAN" dialog of the image window's F9 key, which writes an
// Exif orientation into the current JPEG and shows the file again.
#pragma once

#include <windows.h>

INT_PTR CALLBACK stretch_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK huffman_dlg_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

enum StretchMode { STRETCH_KEEP_WIDTH = 1, STRETCH_KEEP_HEIGHT = 2, STRETCH_BOTH = 3 };

// The new size of a w x h image from the values typed (mode 1 the width,
// 2 the height, 3 both): null with *W x *H, or the refusal's text. A size
// the image model cannot hold is refused too.
const char* stretch_size(int mode, int w, int h, int width_typed, int height_typed, int* W, int* H);

// F9 of the image window on the current JPEG file.
void run_huffman_command(HWND hwndView);
