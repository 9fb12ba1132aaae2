// The source of a merge: what the image-file loader made of the chosen file
// and how the merge window places it. The loader and the merge window write
// it; the merge tool and the edit history read it and take its blocks over.
#pragma once

#include <windows.h>

#include "image/file_stamp.h"

// What load_image_file produced.
enum MergeKind {
    MERGE_RASTER = 0,
    MERGE_WMF = 1,
    MERGE_PLACEABLE_WMF = 2,
    MERGE_EMF = 3,
    MERGE_ICON = 5,
    MERGE_PARTIAL_ALPHA = 31,
    MERGE_ON_OFF_TRANSPARENCY = 32,
    MERGE_NONE = 47,
};

extern int g_mergeKind;                // MergeKind
extern int g_mergePlaced;              // "Draw Transparent": key colour left out
extern RECT g_rcMerge;                 // placement on the image, in pixels
extern COLORREF g_mergeKeyColor;       // key colour, red in the low byte
extern int g_mergeKeyIndex;            // key colour index of the source
extern int g_mergeFromClipboard;       // 1 clipboard, 0 file
extern HGLOBAL g_hMergeImage;          // the source: PackedDib or metafile
extern HGLOBAL g_hMergeMask;           // mask or flattened copy of the source
extern HGLOBAL g_hMergeBits;           // metafile bits of a metafile source
extern HGLOBAL g_hMergePath;           // MergeSourceFile of a file source
extern HGLOBAL g_hMergePreviewImage;   // preview of the merge file dialog

// The block of g_hMergePath, which the merge's edit record takes over: the
// source file and its stamp when the merge read it, so that a replay merges
// that picture again or none.
struct MergeSourceFile {
    char path[MAX_PATH + 1];
    FileStamp stamp;
};

// Metafile sources.
extern DWORD g_wmfSizeWords;           // size of the Windows metafile in words
extern DWORD g_wmfScale;               // units per inch of a placeable metafile
extern RECT g_rcMetafile;              // bounds of the metafile

// Reads any supported image file as a merge source without touching the
// current image: sets g_mergeKind (MERGE_NONE on failure) and, for a
// source with transparency, g_hMergeMask (and g_mergeKeyIndex); an
// enhanced metafile's bits go to g_hMergeBits. Returns a PackedDib, a
// Windows-metafile or an enhanced-metafile handle, or null.
HGLOBAL load_image_file(const char* path);
// Frees the source, its mask and bits by g_mergeKind and sets the kind
// to MERGE_NONE.
void free_merge_source(void);
