// The GIF reader: one image (frame) of a GIF 87a or 89a file per call, from
// a file that stays open between calls, as an 8-bit packed DIB with its own
// colour table. The animation canvas that composes the frames is in
// gif_anim.h; the writer and the comment rewrite are in gif_write.h.
//
// The reader keeps the per-file state (version, global colour table, the
// graphic-control values for the next frame) between calls, so one GIF is
// read at a time, strictly in file order; a call with *continuing 0 starts
// the file again from its first byte.
#pragma once

#include <windows.h>
#include <stdint.h>

// Decoder tables, locked while allocated: suffix bytes (4096), prefix codes
// (4096 u16) and the output stack, sized for the longest string (4096).
extern BYTE* g_gifSuffixTable;
extern WORD* g_gifPrefixTable;
extern BYTE* g_gifStack;

// 1 when all three tables are allocated and locked; else 0, none allocated.
int alloc_gif_lzw_tables(void);
// Unlocks and frees the three tables; the caller does this after each read.
void free_gif_lzw_tables(void);

// Decodes the next frame. continuing: 0 for the first call on a file (the
// header is read, at offset 0 or behind a 128-byte MacBinary header); set
// to 1 when another image follows the returned one, else 0. info, when
// given, receives the information text of the first frame (a buffer of
// INFO_TEXT_SIZE) and lets the reader keep the file's first comment in
// g_hComment. frameNumber is incremented on every call. The colours are
// stored blue, green, red, 0. Unless kind is KIND_ANIMATED_GIF the preview
// is fitted to the frame. Returns the frame, or null after the reader's
// message ("File Read Error", "Unrecognized Bitmap Format", "Memory
// Allocation Error", owner as owner) or silently for a broken block
// structure before the first image or a bad LZW code size.
HGLOBAL read_gif_frame(HFILE file, HWND owner, char* info, int* continuing, UINT* delay,
                       int* frameLeft, int* frameTop, int* screenWidth, int* screenHeight,
                       int* hasTransparency, DWORD* backgroundColor,
                       DWORD* transparentDisplayColor, BYTE* transparentIndex, BYTE* disposal,
                       int* frameNumber, BYTE* suffixTable, WORD* prefixTable, BYTE* stack,
                       int kind);

// 1 when the frames of the file read last really give as many pixels as
// its logical screen holds (or the screen is small); else the header claims
// a screen its data cannot fill, and no canvas of that size should be made
// for it. Called after the first frame, with the file open behind it: the
// later frames are counted only when the first does not fill the screen,
// and the file's position is kept.
int gif_screen_fits_data(HFILE file);

// The next row to fill of an image filled in GIF interlace order (every 8th
// row from 0, every 8th from 4, every 4th from 2, every 2nd from 1; passes
// without rows are skipped). row and pass hold the current row (counted from
// the top) and pass (0 to 3) and are advanced; topRowPointer is the image's
// top row in a bottom-up DIB. Null when every row has been visited.
BYTE* gif_interlaced_row(uint32_t stride, int32_t height, int32_t* row, int* pass,
                         BYTE* rowPointer, BYTE* topRowPointer);
