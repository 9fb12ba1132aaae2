// The merge source state (see merge_source.h).
#include "image/merge_source.h"

int g_mergeKind = MERGE_NONE;
int g_mergePlaced;
RECT g_rcMerge;
COLORREF g_mergeKeyColor = RGB(255, 255, 255);
int g_mergeKeyIndex;
int g_mergeFromClipboard;
HGLOBAL g_hMergeImage;
HGLOBAL g_hMergeMask;
HGLOBAL g_hMergeBits;
HGLOBAL g_hMergePath;
HGLOBAL g_hMergePreviewImage;
DWORD g_wmfSizeWords;
DWORD g_wmfScale;
RECT g_rcMetafile;
