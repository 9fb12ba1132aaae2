// Windows metafiles (plain, or behind the 22-byte placeable header) and
// enhanced metafiles: the WMF reader and the EMF information text, the two
// converting writers (EMF -> placeable WMF, WMF -> EMF), the EMF comment
// writer and the record-by-record player that feeds the progress strip.
// Metafiles never become a PackedDib: the current image holds the handle.
// Preview layout and the metafile painter play_wmf_in_rect are in preview.h;
// the loader that picks these readers owns the current-image state.
//
// Metafile bits from a file are walked record by record before GDI sees
// them: a chain that leaves the data is cut at the last whole record and
// closed with an end record, so playing never reads past the bits.
#pragma once

#include <windows.h>
#include <stdint.h>

enum { WMF_PLACEABLE_SIZE = 22, WMF_HEADER_SIZE = 18 };
#define WMF_PLACEABLE_KEY 0x9AC6CDD7u

// The placeable header as it stands in the file (little-endian).
#pragma pack(push, 2)
typedef struct WmfPlaceableHeader {
    DWORD key;            // WMF_PLACEABLE_KEY
    WORD handle;          // 0
    SHORT left, top, right, bottom;  // bounding box in units
    WORD units_per_inch;
    DWORD reserved;       // 0
    WORD checksum;        // XOR of the ten words before it
} WmfPlaceableHeader;
#pragma pack(pop)

extern WmfPlaceableHeader g_wmfPlaceableHeader;  // of the current file
extern int g_wmfHasPlaceable;   // the current Windows metafile had that header
extern int g_wmfFirstPlay;      // the next play is record by record (with progress)
extern int32_t g_wmfPlayedWords;  // words played so far by play_wmf_records

// Reads a Windows metafile from the open handle (position 0), which it
// closes. placeable 1: the file starts with the placeable header, copied to
// *header, its box to *bounds and units per inch to *units_per_inch, and the
// preview is fitted to the box; placeable 0: a plain metafile in a square
// preview. info, when not null, gets the information text. Sets
// g_wmfSizeWords. Null after a message box owned by owner.
HMETAFILE read_wmf_file(HWND owner, const char* path, HFILE file, char* info,
                        uint32_t placeable, RECT* bounds, DWORD* units_per_inch,
                        WmfPlaceableHeader* header);

// Bounds of the picture frame in the device's pixels and, when info is not
// null, the information text. Nothing when the header cannot be read.
void get_emf_info(HENHMETAFILE emf, char* info, RECT* bounds, HDC hdc);

// XOR of the first ten 16-bit words of a placeable header.
uint16_t wmf_header_checksum(const WmfPlaceableHeader* header);

// Writes the enhanced metafile as a placeable Windows metafile (1000 units
// per inch). 1 on success; 0 when there is no header, the conversion gives
// no bits or the file cannot be written (an existing file is then kept).
int write_wmf_file(HENHMETAFILE emf, const char* path);

// Writes the Windows metafile as an enhanced metafile, sized from the
// current file's placeable header (g_wmfHasPlaceable) or 4 inches square.
// 1 when the file was written, else 0 (an existing file is then kept).
int write_emf_file(HMETAFILE wmf, const char* path);

// Puts the comment (*comment, NUL-terminated text, may be null or empty)
// into the enhanced metafile's description as its picture name, with
// "Corvane Graphics" as application name, and posts the list-selection
// notification to hwnd_main so that the file is shown again. The current
// image (current_emf) is built from bits in memory, not from the file, so it
// stays valid and is left to the reload. When the file cannot be read or written
// back it is left unchanged, the comment text is freed (*comment = null)
// and "Cannot Open File for Writing." is shown with the path as caption.
void write_emf_comment(const char* path, HGLOBAL* comment, HENHMETAFILE current_emf,
                       HWND hwnd_main);

// Plays every record of the metafile into hdc, feeding the progress strip.
// On a display, fonts are bounded to a size the display can draw, text by
// its glyphs at that size, polygon fills by their cost and pens by their
// width. Each play stops once past its time (play_budget.h), leaving what
// it drew.
void play_wmf_records(HWND hwnd, HDC hdc, HMETAFILE wmf);

// The same without progress: every repaint of a Windows metafile.
void play_wmf(HDC hdc, HMETAFILE wmf);

// Plays the enhanced metafile into rect of hdc, each record checked with
// the state the records played before it left. On a display or a printer,
// fonts are bounded to a size the device can draw (as for play_wmf), and
// the glyphs text draws by that size; on a display, fills of polygons and
// paths by their cost and pens by their width, as for play_wmf.
void play_emf(HDC hdc, HENHMETAFILE emf, const RECT* rect);

// The record callback of play_wmf_records; budget is its PlayBudget.
int CALLBACK play_wmf_record_proc(HDC hdc, HANDLETABLE* table, METARECORD* record,
                                  int objects, LPARAM budget);
