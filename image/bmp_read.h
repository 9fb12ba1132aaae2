// Reading BMP/DIB files into a PackedDib: Windows (40-, 56-, 108- and 124-byte
// headers), OS/2 1.x (12-byte core header) and OS/2 2.0 (64-byte header),
// uncompressed, run-length (4, 8 and 24 bits), bit fields and the
// one-dimensional modified Huffman coding of OS/2 2.0. The loaders pick the
// reader by the header size; the BMP writers live in bmp_write.h.
#pragma once

#include <windows.h>

// Each reader takes the file the loader opened with _lopen and closes it
// before returning, in every case. info (may be null) receives the
// information text (INFO_TEXT_SIZE characters). A failure that the user
// should see has been shown in a message box owned by owner; an
// unsupported header size or depth returns null without a message.

// Windows formats; header_size is 40, 56, 108 or 124 (anything else: null
// at once).
// The out-values receive 0, 0, the width and the height.
HGLOBAL read_bmp_file(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                      int* screen_width, int* screen_height, int header_size);

// OS/2 1.x and 2.0; the out-values are left as they are.
HGLOBAL read_os2_bmp_file(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                          int* screen_width, int* screen_height);
HGLOBAL read_os2v2_bmp_file(HFILE hFile, HWND owner, char* info, int* frame_left, int* frame_top,
                            int* screen_width, int* screen_height);
