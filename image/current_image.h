// The current image and the state that describes it: what the loaders write
// and every window, command and writer reads. The selected-file loader owns
// it; image kinds and format codes are the program-wide numbering.
#pragma once

#include <windows.h>

// What the current image is and how it is held.
enum ImageKind {
    KIND_DIB = 0,
    KIND_WMF = 1,
    KIND_EMF = 3,
    KIND_ANIMATED_GIF = 4,
    KIND_ICON_PAGES = 5,
    KIND_ANI = 8,
    KIND_MULTIMEDIA = 35,
    KIND_NONE = 47,
    KIND_LIST_REFRESH = 48,
};

// One numbering of file formats for the loaders and Convert/Save.
enum FormatCode {
    FMT_WMF = 1,
    FMT_EMF = 3,
    FMT_ICON = 5,
    FMT_BMP = 10,
    FMT_BMP_RLE = 11,
    FMT_BMP_BITFIELDS = 12,
    FMT_JPEG = 13,
    FMT_JPEG12 = 14,
    FMT_J2K = 16,
    FMT_JP2 = 17,
    FMT_GIF = 18,
    FMT_IFF = 19,
    FMT_PBM = 20,
    FMT_PCX = 21,
    FMT_PGM = 22,
    FMT_PNM = 23,
    FMT_PPM = 24,
    FMT_PNG = 25,
    FMT_TARGA = 26,
    FMT_TIFF = 27,
    FMT_TIFF_ALT = 28,
    FMT_BIGTIFF = 30,
    FMT_SCREEN_CAPTURE = 33,
    FMT_CLIPBOARD = 34,
    FMT_AVI = 37,
    FMT_MIDI = 38,
    FMT_QUICKTIME = 39,
    FMT_MPEG = 40,
    FMT_MP3 = 41,
    FMT_RMI = 42,
    FMT_WAV = 43,
    FMT_ASF = 44,
    FMT_JBIG = 45,
    FMT_PDF = 46,
    FMT_NONE = 47,
};

enum { INFO_TEXT_SIZE = 500 };

// The folder of g_filePath without its last backslash (a drive's root keeps
// it); 0 when no file is shown or the folder does not fit size.
int shown_file_folder(char* folder, size_t size);
// 1 while a file is shown (g_filePath) and is still where it was loaded
// from; 0 for a pasted or captured image and for a file gone since.
int is_shown_file_on_disk(void);

// Appends a formatted line to an information text of INFO_TEXT_SIZE bytes,
// cut at its end; a null text is left alone.
void append_info_text(char* info, const char* format, ...);

extern HGLOBAL g_hImage;             // PackedDib, or a metafile handle by kind
extern HGLOBAL g_hImageUnconverted;  // the image before its colour conversion
extern int g_imageKind;              // ImageKind
extern int g_fileFormat;             // FormatCode
extern char g_fileName[260];         // selected list entry, no folder: for display
// The shown file in full, taken when it was loaded: every command on the
// shown file acts on this, never on g_fileName resolved against whatever
// the current folder is by then. A file that could not be read keeps it,
// so that the next-file steps go on from its entry; empty for a pasted or
// captured image, which has no file.
extern char g_filePath[MAX_PATH];
extern char g_fileExt[4];            // up to 3 characters after the last dot
extern WIN32_FIND_DATAA g_findData;  // find record of the named/selected file
extern char g_infoText[INFO_TEXT_SIZE];
extern HGLOBAL g_hComment;           // comment text of the current file

// Transparency of a palette image, held beside the image: whether it has a
// transparent index, the index, and the colour shown in its place (blue in
// the low byte, then green and red: the order of an RGBQUAD).
extern int g_hasTransparency;
extern BYTE g_transparentIndex;
extern DWORD g_transparentDisplayColor;

extern int g_pageIndex;              // 1-based page of a multi-page file
extern int g_pageCount;              // pages of the file, 1 for one page
extern int g_imageOrientation;       // orientation word, 0 after every read
extern int g_colorConversion;        // ColorConversion in force, 0 none
extern int g_brightnessStep;         // accumulated brightness steps, 0 none
extern RGBQUAD g_baseColorTable[256];  // palette before the first step
// What the next load of the shown file does with the edit history in
// place of clearing it: 0 nothing, RELOAD_UNDOES replays every edit but
// the last (Undo), RELOAD_KEEPS_EDITS replays them all (a reload that must
// not lose the user's work).
enum { RELOAD_UNDOES = 1, RELOAD_KEEPS_EDITS = 2 };
extern int g_undoPending;
extern int g_iconIsCursor;           // the icon reader last read a cursor


// The preview control (item 1008 of the main window) and the brush of the
// window colour the main window makes at start. The preview's geometry and
// drawing objects are declared with the painters, in preview.h.
extern HWND g_hwndPreview;
extern HBRUSH g_hbrWindow;           // COLOR_WINDOW
