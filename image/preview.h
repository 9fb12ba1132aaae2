// Where the current image is drawn in the main window's square preview (or
// in the merge tool's file-dialog preview), and the painters that put a
// PackedDib, a Windows metafile or the animation canvas into a device
// context or a window. The metafile readers and writers live in metafile.h,
// the painters of the current metafile in metafile_preview.h.
//
// g_rcPreview is an origin and an extent, not a rectangle: left = top = 3,
// right = bottom = the side of the square preview.
#pragma once

#include <windows.h>
#include <stdint.h>

extern RECT g_rcPreview;       // preview area of the main window (see above)

// The rectangle every painter of the main preview draws into.
extern int g_animDestX;
extern int g_animDestY;
extern int g_animDestWidth;
extern int g_animDestHeight;

// The same for the preview of the merge tool's MERGEIMAGE file dialog.
extern int g_mergePreviewX;
extern int g_mergePreviewY;
extern int g_mergePreviewW;
extern int g_mergePreviewH;

// Drawing objects of the main window, made at its start and deleted at its
// end; while null the system's stock objects stand in.
extern HPEN g_hpenBlack;        // solid, width 0, black
extern HPEN g_hpenButtonFace;   // solid, width 0, COLOR_BTNFACE

// The preview control's device context while a file is loaded (null
// otherwise): fit_image_rect draws its frame there.
extern HDC g_hdcPreview;

// Size of the animation canvas (the GIF logical screen).
extern int g_screenWidth;
extern int g_screenHeight;

// Fits an image of width x height into the active preview keeping its
// aspect, stores the rectangle and, when frame is set, draws the frame and
// background the caller then paints the image on. Sizes below 1 count as 1.
void fit_image_rect(int32_t width, int32_t height, uint32_t frame);

// Paints the image at (x, y) scaled by zoom / 4 (4 = 100 %); with a visible
// height below the image's only that many top rows. Result of StretchDIBits.
int draw_dib_scaled(HDC hdc, uint32_t zoom, int32_t x, int32_t y, int32_t visible_height,
                    const BITMAPINFOHEADER* bih);

// Stretches rows top to top + rows - 1 of the DIB (counted from the top,
// the whole width) into (x, y, w, h) of hdc in the stretch mode set. A
// large source that is shrunk goes in bands of rows: a display of another
// pixel format copies each call's whole source first, and a copy of a
// picture near the size limit does not fit the address space. 0 when a
// band could not be drawn.
int stretch_dib_rows(HDC hdc, int x, int y, int w, int h, const BITMAPINFOHEADER* bih, int top, int rows);

// Paints the 24-bit animation canvas (g_screenWidth x g_screenHeight) or an
// image at its own size into the window's client area less its status bar:
// mode 0 centred, 1 tiled from the top left. caption: the slideshow's
// caption strip is invalidated afterwards (unless "HideFileName").
void paint_canvas_in_window(HWND hwnd, HPALETTE palette, uint32_t mode, uint32_t caption,
                            const BITMAPINFOHEADER* canvas);
void paint_dib_in_window(const BITMAPINFOHEADER* bih, HWND hwnd, HPALETTE palette,
                         uint32_t mode, uint32_t caption);
