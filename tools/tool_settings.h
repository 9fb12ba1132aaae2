// Settings that the tool windows and dialogs hand to the tools, and that the
// edit history records with each edit so that a replay can repeat it.
#pragma once

#include <windows.h>

// Crop rectangle; stretch: right = width, bottom = height; frame: widths.
extern RECT g_rcEditOp;
// Degrees: rotation clockwise in [0, 360), or skew from -80 to 80.
extern double g_rotateAngle;

// Text tool.
extern HGLOBAL g_hWriteText;              // NUL-terminated text
extern LOGFONTA g_textFont;
extern int g_textPosX;                    // -1 while not placed
extern int g_textPosY;
extern DWORD g_textColor;                 // blue, green, red, 0
extern DWORD g_textBackColor;
extern BYTE g_textColorIndex;             // palette indices for palette images
extern BYTE g_textBackIndex;
extern int g_textBackgroundTransparent;
extern int g_textAlign;                   // 0 left, 1 centred, other right

// Frame dialog and colour picker.
extern DWORD g_frameColor;                // blue, green, red, 0
extern DWORD g_frameColorAdjusted;        // for the unconverted copy
extern BYTE g_frameColorIndex;            // 0 when unused
extern BYTE g_frameColorIndexAdjusted;
extern int g_frameUseIndex;               // the frame colour is the transparent one
