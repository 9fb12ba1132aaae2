// The edit history: one record per edit made to the current image, kept in
// one movable block, so that Undo can reload the file and replay all edits
// but the last; once the history was dropped under a picture the file no
// longer gives, the records replay onto a copy of that picture instead.
// Record 0 holds the base state of the freshly loaded image.
// The main window allocates the block (room for record 0) at start-up and
// frees it at exit.
#pragma once

#include <windows.h>

// Recorded operations; 14 to 35 are unused (15 to 35 are ColorConversion
// codes carried in the arg of EDIT_COLOR_CONVERSION).
enum EditOp {
    EDIT_NONE = 0,
    EDIT_ROTATE_CW90 = 1,
    EDIT_ROTATE_180 = 2,
    EDIT_ROTATE_CCW90 = 3,
    EDIT_ROTATE_ANGLE = 4,
    EDIT_FLIP_LEFT_RIGHT = 5,
    EDIT_FLIP_TOP_BOTTOM = 6,
    EDIT_CROP = 7,
    EDIT_RESIZE = 8,
    EDIT_RESIZE_NO_SPLINE = 9,
    EDIT_INVERT = 10,
    EDIT_COLOR_CONVERSION = 11,
    EDIT_BRIGHTER = 12,
    EDIT_DARKER = 13,
    EDIT_RED_EYE = 36,
    EDIT_PALETTE = 37,
    EDIT_FRAME = 38,
    EDIT_TEXT = 39,
    EDIT_MERGE_FILE = 40,
    EDIT_MERGE_CLIPBOARD = 41,
    EDIT_SKEW_H = 42,
    EDIT_SKEW_V = 43,
    EDIT_SPHERE = 44,
};

// The colour conversion in force on an image (g_colorConversion).
enum ColorConversion {
    CONV_NONE = 0,
    CONV_BEST_256 = 15,
    CONV_BEST_128 = 16,
    CONV_BEST_64 = 17,
    CONV_BEST_32 = 18,
    CONV_BEST_16 = 19,
    CONV_BEST_8 = 20,
    CONV_BEST_4 = 21,
    CONV_BEST_2 = 22,
    CONV_STANDARD_256 = 23,
    CONV_WEB_216 = 24,
    CONV_STANDARD_16 = 25,
    CONV_GREYSCALE = 26,
    CONV_MONOCHROME = 27,
    CONV_TONE_CYANOTYPE = 28,
    CONV_TONE_MAROON = 29,
    CONV_TONE_PALLADIUM = 30,
    CONV_TONE_PLATINUM = 31,
    CONV_TONE_SELENIUM = 32,
    CONV_TONE_SEPIA1 = 33,
    CONV_TONE_SEPIA2 = 34,
    CONV_TONE_SILVER = 35,
};

// One recorded edit. Sized by sizeof wherever it is stored or moved.
struct EditRecord {
    UINT op;                // EditOp; 0 in record 0
    UINT arg;               // ColorConversion, MergeKind or g_colorConversion
    INT params[4];          // rectangle or sizes of the operation
    UINT flag;              // merge: drawn transparent; palette: transparency
    BYTE transparentIndex;
    DWORD color;            // transparent display colour or merge key colour
    DWORD frameColor;
    DWORD frameColorCopy;   // frame colour for the unconverted copy
    BYTE frameIndex;
    BYTE frameIndexCopy;
    UINT frameTransparent;
    HGLOBAL hData;          // owned by the record
    HGLOBAL hData2;         // owned by the record
};

// The hData block of EDIT_TEXT.
struct EditTextBlock {
    HGLOBAL hText;          // private copy of the text, NUL-terminated
    LOGFONTA font;
    INT x;
    INT y;
    DWORD textColor;
    DWORD backColor;
    BYTE textIndex;
    BYTE backIndex;
    UINT transparentBack;
    INT align;
};

extern HGLOBAL g_hEditHistory;     // g_editCount + 1 EditRecords
extern EditRecord* g_editHistory;  // the records while the block is locked
extern UINT g_editCount;           // records after record 0
// 1 when the picture shown holds changes that no record makes again from
// the file: its history was dropped under them (an Undo the file no longer
// allowed), or a change was made for good. Cleared with the history and by
// a replay from the file.
extern int g_unrecordedChanges;

// Appends one record filled from the tool-setting globals.
void push_edit_record(UINT op, UINT arg);

// Frees the blocks one record owns and clears its handles.
void free_edit_record(EditRecord* r);

// Frees what every record owns and keeps only record 0, refilled from the
// current transparency state; the picture is the file's again.
void clear_edit_history(void);
// The history dropped while the picture shown keeps what it made: the
// records go as clear_edit_history lets them go, g_unrecordedChanges is set,
// and the picture shown is kept whole as the one the records made from now
// on replay onto, since the file no longer gives it. Undo goes back to it
// and no further. Without the memory for it nothing is kept, and Undo has
// nothing to go back to.
void drop_edit_history(void);
// A change made to the picture shown that no record holds (a change for
// good, a record that could not be kept): neither the file nor a kept
// picture gives the picture with the records any more.
void note_unrecorded_change(void);
// 1 while the records replay onto a picture kept by drop_edit_history.
int has_kept_picture(void);
// The current image and its state replaced by a copy of the kept picture;
// 0, the current image left as it is, when there is none or no memory.
int put_back_kept_picture(void);
