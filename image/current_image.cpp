// Definitions of the current-image state (see current_image.h).
#include "image/current_image.h"

HGLOBAL g_hImage;
HGLOBAL g_hImageUnconverted;
int g_imageKind = KIND_NONE;
int g_fileFormat = FMT_NONE;
char g_fileName[260];
char g_fileExt[4];
WIN32_FIND_DATAA g_findData;
char g_infoText[INFO_TEXT_SIZE];
HGLOBAL g_hComment;

int g_hasTransparency;
BYTE g_transparentIndex;
DWORD g_transparentDisplayColor;
int g_pageIndex = 1;
int g_pageCount = 1;
int g_imageOrientation;
int g_colorConversion;
int g_brightnessStep;
RGBQUAD g_baseColorTable[256];
int g_undoPending;
int g_iconIsCursor;

HWND g_hwndPreview;
HBRUSH g_hbrWindow;
