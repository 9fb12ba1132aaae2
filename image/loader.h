// The selected-file loader: identifies the file selected in the main
// window's list by its first bytes (its extension where the bytes do not
// decide), calls the one reader that fits, records the result in the
// current-image state, adapts it to the display and paints the preview.
// Also the release of the current image by its kind.
#pragma once

#include "image/loader_shared.h"

#include <windows.h>
#include <stdint.h>

extern char g_listDir[260];          // the list's folder, ending in '\'
extern int g_imageIs32Bit;           // the image as read had an alpha channel
extern int g_iconIndex;              // 1-based image of an icon file
extern int g_iconCount;
extern int g_pageStep;               // a reload for another page keeps the numbers
extern int g_iconStep;
extern int g_pageHintShown;          // the notice about further pages was given
extern int g_slideForward;           // the next-file step goes forward
extern HWND g_hwndStepping;          // the window a next-file step loads into; null otherwise
// Set by a command just before it asks the main window for a reload: the
// next load reads the shown file by its path (g_filePath) again, unless the
// list has selected another entry meanwhile. Undo and page or icon steps
// are reloads without it.
extern int g_reloadShownFile;

// Identifies a file from its first 10 bytes (fewer when it is shorter; the
// rest zero), the 4 bytes at offset 8 and at offset 128, and its extension
// (up to 3 characters, any case).
int identify_file(const BYTE first[10], size_t first_length, const BYTE at128[4],
                  const char* extension);

// Reads the file open on `file` (at offset 0; the reader closes it) whose
// name is path as a merge source: see load_image_file in merge_source.h.
typedef HGLOBAL (*SourceReader)(HFILE file, const char* path);
// The merge-source reader of an identity, from the reader table; null when
// such files are not read as merge sources (media).
SourceReader find_source_reader(int identity);

// Copies the file from byte offset on into a new file; 1 when all of it
// was written.
int copy_file_from_offset(const char* from, long offset, const char* to);

// The entry of list (the main file list, the listing of the current
// folder) that names the file at path, decided by the file itself: an
// entry of the name listed_as (may be null), of the file's own name or of
// its full path, that is the same file (is_same_file). LB_ERR when the list
// does not show it, also when it shows a namesake in another folder.
LRESULT find_list_entry_of(HWND list, const char* path, const char* listed_as);
// The entry of the shown file (g_filePath, listed as g_fileName).
LRESULT find_shown_file_entry(HWND list);

// The shown file moved or renamed from source (the full path it was shown
// from) to target: its bytes are the same, so the picture shown, its edit
// history and every reload go with it to its new name, and the captions
// name it there. Nothing changes when source was not the shown file or is
// still there as another file (a move that only copied).
void follow_moved_shown_file(HWND hwndMain, const char* source, const char* target);

// Loads the list's selected file into the current-image state and shows it.
void load_selected_file(HWND hwndMain, RECT preview);

// "Page 2 of 3 Pages" (a TIFF) or "Icon 2 of 3 Icons" (an icon file) after
// the name in the main window's file-name box and, with the size, in the
// image window's title.
void write_page_captions(HWND hwndMain);

// Empties the current-image state, freeing the image by its kind.
void release_current_image(void);

// The main window's release before each new selection: stops the animation
// and a playing medium and frees the image by its kind. The kind becomes
// KIND_NONE, except that KIND_LIST_REFRESH stays for the load.
void release_image_for_new_selection(HWND hwndMain);

// Stretches a locked image into the preview's image rectangle on dc
// (halftone, brush origin kept), through palette when there is one.
void stretch_into_preview(HDC dc, const BITMAPINFOHEADER* bih, HPALETTE palette);

// Paints the current bitmap or animation canvas, or the current metafile,
// into the preview's image rectangle on dc.
void draw_current_dib(HDC dc);
void draw_current_metafile(HDC dc);
