// Settings file access (see settings.h). The file is named without a folder,
// so the system keeps it in the Windows folder; tests point the seam elsewhere.
#include "image/settings.h"

#include <cstdio>

#include "image/seams.h"

static const char SECTION[] = "Corvane";

int g_hideFileName;
int g_dontShowAgain;
int g_dontShowRedAgain;
int g_dontShowRed1Again;
int g_disableAlpha;
int g_selectBackgroundColor;

int read_setting_int(const char* key, int default_value)
{
    return (int)GetPrivateProfileIntA(SECTION, key, default_value, seam_settings_file());
}

void write_setting_int(const char* key, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    WritePrivateProfileStringA(SECTION, key, text, seam_settings_file());
}

void read_setting_string(const char* key, const char* default_value, char* out, DWORD size)
{
    GetPrivateProfileStringA(SECTION, key, default_value, out, size, seam_settings_file());
}

void write_setting_string(const char* key, const char* value)
{
    WritePrivateProfileStringA(SECTION, key, value, seam_settings_file());
}
