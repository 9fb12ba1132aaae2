// Definitions of the current-image state (see current_image.h).
#include "image/current_image.h"

#include "image/file_names.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

HGLOBAL g_hImage;
HGLOBAL g_hImageUnconverted;
int g_imageKind = KIND_NONE;
int g_fileFormat = FMT_NONE;
char g_fileName[260];
char g_filePath[MAX_PATH];
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

void append_info_text(char* info, const char* format, ...)
{
    if (!info)
        return;
    size_t used = strnlen(info, INFO_TEXT_SIZE);
    if (used + 1 >= INFO_TEXT_SIZE)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(info + used, INFO_TEXT_SIZE - used, format, args);
    va_end(args);
}

int shown_file_folder(char* folder, size_t size)
{
    return path_folder(g_filePath, folder, size);
}

int is_shown_file_on_disk(void)
{
    DWORD attributes = g_filePath[0] ? GetFileAttributesA(g_filePath) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
