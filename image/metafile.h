// Windows metafiles (plain, or behind the 22-byte placeable header) and
// enhanced metafiles: the WMF reader and the EMF information text, the two
// converting writers (EMF -> placeable WMF, WMF -> EMF), the EMF comment
// writer, and the plays, which the metafile renderer runs in a process of
// its own (metafile_renderer.h; the checked players it calls are in
// metafile_play.h).
// Metafiles never become a PackedDib: the current image holds the handle.
// Preview layout is in preview.h, the painters of the current metafile in
// metafile_preview.h, the sealing of Windows-metafile bits in wmf_seal.h;
// the loader that picks these readers owns the current-image state.
//
// Metafile bits from a file or the clipboard are walked record by record
// before GDI sees them: a chain that leaves the data before its end record
// is a cut picture, refused with the reader's message as a cut enhanced
// metafile is, so playing never reads past the bits.
#pragma once

#include "image/metafile_renderer.h"

#include <windows.h>
#include <stdint.h>

enum { WMF_PLACEABLE_SIZE = 22 };
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

// Reads a Windows metafile from the open handle (position 0), which it
// closes. placeable 1: the file starts with the placeable header, copied to
// *header, its box to *bounds and units per inch to *units_per_inch, and the
// preview is fitted to the box (a box whose right or bottom lies before its
// left or top is taken the right way round; one of no width or height is
// refused as unreadable); placeable 0: a plain metafile in a square
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

// What the converting writers give back besides 1 (written) and 0 (the
// file could not be written), nothing written either way: the negative of
// the fault the conversion was refused for (MetafileFault), among them the
// renderer could not finish the conversion, so the picture could not be
// read whole; the picture or its conversion passes the most metafile bytes
// the program holds (render_metafile_limit) or the renderer's memory; the
// conversion passed the renderer's time; or what the conversion made would
// not pass the program's own reading rules.
enum {
    METAFILE_WRITE_CUT = -METAFILE_UNREADABLE,
    METAFILE_WRITE_TOO_LARGE = -METAFILE_TOO_LARGE,
    METAFILE_WRITE_TOO_SLOW = -METAFILE_TOO_SLOW,
    METAFILE_WRITE_UNREADABLE = -METAFILE_RESULT_UNREADABLE,
};

// The writers' result for a conversion refused for the fault, and the
// fault of such a result (none for 1 or 0).
int metafile_write_refusal(MetafileFault fault);
MetafileFault metafile_write_fault(int written);

// Writes the enhanced metafile as a placeable Windows metafile (1000 units
// per inch, fewer where the frame needs them to fit the box's 16 bits, the
// shape kept). 1 on success; a refusal above when the conversion was not
// whole, would not read back or would show another picture; 0 when there
// is no header or the file cannot be written. An existing file is kept
// unless 1.
int write_wmf_file(HENHMETAFILE emf, const char* path);

// Writes the Windows metafile as an enhanced metafile, sized and placed by
// the current file's placeable header (g_wmfHasPlaceable) as the picture
// is shown, or 4 inches square. 1 when the file was written; a refusal
// above when the conversion was not whole or would show another picture;
// else 0. Beside the metafile,
// the program holds only the renderer's result, which is written as it
// is. An existing file is kept unless 1.
int write_emf_file(HMETAFILE wmf, const char* path);

// Writes the enhanced metafile as it is to path, through a file beside it
// (safe_write.h), so that an existing file is replaced only by a complete
// copy. 1 on success, else 0.
int copy_emf_to_file(HENHMETAFILE emf, const char* path);

// Writes the Windows metafile as it is shown: its bits as the program holds
// them, after the placeable header of the current file when it is the
// current image and was read with one, through a file beside the target.
// 1 on success; a refusal above (too large) when its bits cannot be had in
// memory; 0 when the file cannot be written. An existing file is kept
// unless 1.
int copy_wmf_to_file(HMETAFILE wmf, const char* path);

// Reads the enhanced metafile at path, once, into a block the handle is
// made from. With bits, *bits (GMEM_MOVEABLE, caller frees) keeps that
// block beside the handle; without, the handle's copy is the only one. A
// file that is not one, is cut short, or whose records are unsound (a
// record breaking its rule) says "Unable to read metafile bits" in a box
// owned by owner and gives null, *bits null.
HENHMETAFILE read_emf_file(HWND owner, const char* path, HGLOBAL* bits);

// The metafile made from size bytes of enhanced-metafile bits at p, which
// it may mend, when their records are sound: the checks read_emf_file
// makes of a file's. Null when they are not (cut short, a record breaking
// its rule); nothing is said.
HENHMETAFILE emf_from_sound_bits(BYTE* p, uint32_t size);

// The same checks for an enhanced metafile already in hand (the
// clipboard's): a copy of our own, when the records of its bits, of the
// size the system holds, are sound. Only one copy of its bytes is held at
// a time. Null when they are not, or (*no_memory set) when it passes the
// most metafile bytes the program holds or memory is short; nothing is
// said.
HENHMETAFILE copy_sound_emf(HENHMETAFILE source, int* no_memory);

// Puts the comment (*comment, NUL-terminated text, may be null or empty)
// into the enhanced metafile's description as its picture name, with
// "Corvane Graphics" as application name, and posts the list-selection
// notification to hwnd_main so that the file is shown again. The current
// image (current_emf) is built from bits in memory, not from the file, so it
// stays valid and is left to the reload. When the file cannot be read or written
// back it is left unchanged, the comment text is freed (*comment = null)
// and "Cannot Open File for Writing." is shown with the path as caption
// (rewrite_for_comment).
void write_emf_comment(const char* path, HGLOBAL* comment, HENHMETAFILE current_emf,
                       HWND hwnd_main);

// The plays of the program: each goes through the metafile renderer
// (metafile_renderer.h), which plays the records with the checked players
// of metafile_play.h in a process of its own under limits of time and
// memory. A play the renderer could not finish leaves what it drew and
// says once that the picture cannot be shown whole, in the words of its
// fault (say_metafile_fault: a play past the renderer's time or memory
// says so); that metafile is then not played
// again until a file is loaded anew (forget_failed_metafiles). Each play
// returns 1 when the picture was drawn whole, and 0 when it was cut, not
// played, or not played again because a play of it was cut since the load.

// Plays every record of the metafile into hdc, feeding the progress strip
// (g_wmfPlayedWords of g_wmfSizeWords) while the renderer plays.
int play_wmf_records(HWND hwnd, HDC hdc, HMETAFILE wmf);

// The same without progress: every repaint of a Windows metafile.
int play_wmf(HDC hdc, HMETAFILE wmf);

// Plays the enhanced metafile into rect of hdc, as PlayEnhMetaFile would.
int play_emf(HDC hdc, HENHMETAFILE emf, const RECT* rect);

// Whether a play of the metafile was cut since the last load.
int metafile_play_failed(HANDLE metafile);

// Why it was; none when it was not.
MetafileFault metafile_play_fault(HANDLE metafile);

// The metafile (null: every one) is deleted or loaded anew, and may be
// played again.
void forget_failed_metafiles(HANDLE metafile);

// A command that writes or prints what it plays (Merge, print) refuses a
// picture that was not drawn whole, and says so each time it refuses.
// While one of these lives, a cut play is marked as above but not said:
// the command's own box (say_metafile_fault, with the fault of
// metafile_play_fault) is the one the user sees.
class CommandPlays {
public:
    CommandPlays();
    ~CommandPlays();
    CommandPlays(const CommandPlays&) = delete;
    CommandPlays& operator=(const CommandPlays&) = delete;
};

// The words of a refusal of a picture that could not be had whole, for
// its fault: the reader's message for bits that cannot be read, its
// message for memory, or words of their own for a play or conversion past
// the renderer's time, a result that would not read back or would show
// another picture, a picture too large for the other kind or drawn in
// EMF+ records alone, and a renderer
// that ended or could not be started.
const char* metafile_fault_words(MetafileFault fault);

// The box of such a refusal, owned by owner; nothing for no fault.
void say_metafile_fault(HWND owner, MetafileFault fault);

// A window that has shown a picture whole plays it again at another size
// on trial: while one of these lives, a play that is cut is neither marked
// nor said, only seen by is_cut(), and the window keeps what it showed.
class TrialPlays {
public:
    TrialPlays();
    ~TrialPlays();
    TrialPlays(const TrialPlays&) = delete;
    TrialPlays& operator=(const TrialPlays&) = delete;
    bool is_cut() const;

private:
    unsigned m_cutsBefore;
};

// Plays the metafile once into a tile of width x height device pixels
// (an enhanced one stretched over it, a Windows one under an anisotropic
// mapping of that viewport) over what lies under the first cell, and
// copies the tile to columns x rows cells from (left, top), in device
// pixels of hdc. A Windows one's placeable box, when not null, is mapped
// onto the tile (map_placeable_box). With progress, that one play feeds
// the progress strip. 1 when every cell shows the picture whole.
int play_metafile_tiled(HDC hdc, HANDLE metafile, int is_emf, const WmfPlaceableHeader* box, int with_progress,
                        int left, int top, int width, int height, int columns, int rows);

// The side of the picture of a plain Windows metafile, in 0.01 mm: four
// inches square, as it is converted.
enum { PLAIN_WMF_SIDE = 10160 };

// The picture of a plain Windows metafile in pixels of the screen: what
// the system's player draws on a fresh device context in that square,
// which a view scales to its own size.
SIZE plain_wmf_size(void);

// Maps a placeable box onto the viewport set for the picture, as the DC's
// window, or for a plain metafile (null) the pixels of its picture
// (plain_wmf_size): a metafile that sets no window of its own is drawn in
// it, and one that sets a window replaces it, so the whole drawing is
// scaled into the view.
void map_placeable_box(HDC hdc, const WmfPlaceableHeader* box);
