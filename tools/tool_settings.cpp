// The tool settings (see tool_settings.h).
#include "tools/tool_settings.h"

RECT g_rcEditOp;
double g_rotateAngle;
HGLOBAL g_hWriteText;
LOGFONTA g_textFont;
int g_textPosX = -1;
int g_textPosY = -1;
DWORD g_textColor;
DWORD g_textBackColor;
BYTE g_textColorIndex;
BYTE g_textBackIndex;
int g_textBackgroundTransparent;
int g_textAlign;
DWORD g_frameColor;
DWORD g_frameColorAdjusted;
BYTE g_frameColorIndex;
BYTE g_frameColorIndexAdjusted;
int g_frameUseIndex;
