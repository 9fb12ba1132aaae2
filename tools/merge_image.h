// Merging another image (file or clipboard) into the current image.
#pragma once

#include <windows.h>

// 1-bit mask of the source's pixels equal to the key (by index unless
// key_index is -1); null when none can be made. Caller owns it.
HGLOBAL make_transparency_mask(HGLOBAL hSource, COLORREF key_color, int key_index);
// Blends a 32-bit source by its alpha over the image pixels under it (the
// source's top-left at x, y) into a 24-bit work image of the source's size.
void blend_through_mask(HGLOBAL hImage, HGLOBAL hSource, HGLOBAL hWork, int x, int y);
// Where an enhanced-metafile source is drawn: *target its frame, in pixels
// of the window's DC, from the placement's top-left (at least a pixel each
// way); *reach the pixels it may change, the frame with its last row and
// column (a frame holds both). Records that draw past it are left out, so
// the Merge window, the merge and its replay draw alike.
void merge_metafile_target(HGLOBAL hSource, HDC hdcWindow, RECT placement, RECT* target, RECT* reach);
// Draws the source by its MergeKind into the memory DC holding the image;
// 0 when the source is null or a metafile source was not drawn whole.
int merge_image_into_dib(HGLOBAL hImage, HGLOBAL hSource, HGLOBAL hMask, int kind, HDC hdcWindow,
                         HDC hdcMemory, HWND hwnd, RECT placement, RECT metafile_frame,
                         HBRUSH background, int draw_transparent);
// The whole merge of the current image, with its edit record unless
// replaying. 1 when merged; 0 with the image as it was (a metafile source
// that could not be drawn whole is said, owned by hwndMain). The record takes
// over g_hMergeImage and g_hMergeBits of a clipboard merge, or g_hMergePath
// of a file merge, and leaves those globals 0: the caller frees only what
// is still in them.
int merge_into_current_image(HWND hwndMain, HWND hwndView, HWND hwndDraw, HGLOBAL* phImage,
                             HGLOBAL* phUnconverted, HGLOBAL hSource, HGLOBAL hMask, int kind,
                             RECT placement, RECT metafile_frame, HBRUSH background,
                             int draw_transparent, int from_clipboard, int* color_conversion,
                             int replaying, int* brightness_step);
// Hook of the Open dialog "MERGEIMAGE" that picks the source and previews it
// (g_hMergePreviewImage with g_mergeKind, g_hMergeMask, g_hMergeBits and the
// path in g_hMergePath). OK on a file that gives no picture is refused and
// said (by the reader's box, else "Unable to read" with the path): the
// dialog ends with OK only with a preview.
UINT_PTR CALLBACK mergeimage_dlg_hook(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);
// Frees the preview, its mask and bits; the kind becomes MERGE_NONE.
void free_merge_preview(void);
