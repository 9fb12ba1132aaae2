// Icons and cursors (ICO, CUR; also the frames inside an animated cursor):
// one directory entry read into a packed DIB, drawn with its AND mask over
// the viewer's background colour for display, or handed back with its mask
// for merging. Animated cursors are in ani.h, Sun icons in sun_icon.h.
#pragma once

#include <windows.h>
#include <stdint.h>

extern int g_iconFileType;  // 5 icon, 6 cursor: what the icon reader read last

// Reads entry *index (1-based) of the icon or cursor directory at
// base_offset of *file into an image; *count gets the directory's count.
// With info null and mask set (merging), the colour image comes back as it
// is and its 1-bit mask in *mask; otherwise the image is drawn over the
// background colour and info gets the information text (for ani_frame 0 or
// 1; ani_frame is the 1-based frame inside an animated cursor, 0 for a
// plain file). The preview rectangle is fitted unless kind is
// KIND_ICON_PAGES (or a later cursor frame). The handle stays open. A PNG
// entry is read by the PNG reader from a temporary copy of its bytes and
// comes back without a mask. Null after "Error Reading Icon File",
// "Memory Allocation Error" or the PNG reader's message; an entry of an
// unsupported depth gives null silently.
HGLOBAL read_icon_file(HWND owner, HGLOBAL* mask, char* info, HFILE* file, int* count, int* index,
                       uint32_t base_offset, int ani_frame, int kind);

// The size of the first entry's data as the directory at base_offset of
// file states it; 0 when there is no such entry.
uint32_t icon_entry_data_size(HFILE file, uint32_t base_offset);

// A logical palette of the image's colour table; null above 8 bits.
HPALETTE create_icon_palette(HGLOBAL hImage, HWND hwnd);

// Index of the palette entry that is exactly colour, else -1.
int find_exact_palette_index(HPALETTE palette, COLORREF colour);
