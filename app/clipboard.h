// Copying the current image to the clipboard and pasting one from it: a
// packed DIB, an enhanced metafile, or a Windows metafile with a placeable
// header as a metafile picture. Merging from the clipboard is the merge
// tool's.
//
// Clipboard data come from any program: a pasted DIB is checked before it
// is used, a metafile goes through the checks a metafile file goes
// through, and the current image is released only once its replacement is
// in hand.
#pragma once

#include "image/metafile_renderer.h"

#include <windows.h>

// The name a pasted image is listed under.
extern const char PASTED_IMAGE_NAME[];

// 1 when the block holds a DIB the program can take as it stands: a 40-byte
// header, one plane, a bit count it knows, no compression or the 5-5-5 /
// 8-8-8 bit fields, a table of at most 256 entries and rows that fit the
// block. Anything else is refused.
int is_acceptable_clipboard_dib(HGLOBAL hData);

// A copy of an acceptable clipboard DIB as a PackedDib; null when refused.
HGLOBAL copy_clipboard_dib(HGLOBAL hData);

// The METAFILEPICT extents, in hundredths of a millimetre, of a placeable
// header's bounding box.
void placeable_extents(SHORT left, SHORT top, SHORT right, SHORT bottom, WORD units_per_inch,
                       LONG* x_extent, LONG* y_extent);

// The open clipboard's metafile as an enhanced metafile of our own (caller
// deletes). The system makes one metafile format from the other by playing
// its records in the process that asks, so the format the other program
// placed first is taken, and a Windows metafile is converted by the
// renderer. Either is checked as a file of its format is (read_emf_file,
// seal_wmf_records), within the size the system holds for it, in the one
// copy of its bytes the program makes beside the clipboard's own. Null
// when there is none, or with *fault set when it is refused; the same
// clipboard contents are then refused again, for the same fault, without
// another conversion. Its records cut or unsound, or its conversion cut,
// are METAFILE_UNREADABLE; it or its conversion past the most metafile
// bytes the program holds, or memory short for them, METAFILE_TOO_LARGE;
// its conversion past the renderer's time, METAFILE_TOO_SLOW. Paste and
// Merge from the clipboard both take their metafile here, and say a fault
// with say_metafile_fault.
HENHMETAFILE take_clipboard_metafile(MetafileFault* fault);

// Copy To Clipboard: the current bitmap, enhanced metafile, or Windows
// metafile with a placeable header.
void copy_image_to_clipboard(HWND hwndMain);

// Paste From Clipboard: a DIB, else an enhanced metafile (one converted
// from a metafile picture), becomes the current image. When the data are
// missing or refused the current image stays; a metafile that could not be
// read whole is said.
void paste_image_from_clipboard(HWND hwndMain);
