// A memory DC on 32-bit top-down pixels that lie in a file mapping. The
// program and the metafile renderer each keep one on the area of a play
// they share, from one play to the next of the same size and place:
// previews repeat their size, and a new DC would cost each play its making.
#pragma once

#include <windows.h>

struct SectionDc {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    HANDLE mapping;
    LONG width, height;
    DWORD offset;
};

// The header of width x height 32-bit top-down pixels.
void describe_top_down_pixels(BITMAPINFO* bi, LONG width, LONG height);

// The DC on width x height pixels at offset in the mapping (null: in the
// process's own memory), made anew when any of them changed; null when it
// cannot be made.
HDC section_dc(SectionDc* section, HANDLE mapping, LONG width, LONG height, DWORD offset);

// Deletes the DC and its bitmap; the mapping is the caller's.
void release_section_dc(SectionDc* section);
