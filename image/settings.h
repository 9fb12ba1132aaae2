// The settings file "Corvane.ini", section "Corvane": values are read with
// their defaults when needed and each is written as a decimal string the
// moment it changes; nothing is written at start or exit. The flags read at
// start-up live here so every unit can consult them.
#pragma once

#include <windows.h>

extern int g_hideFileName;          // "HideFileName"
extern int g_dontShowAgain;         // "DontShowAgain" (crop tip)
extern int g_dontShowRedAgain;      // "DontShowRedAgain"
extern int g_dontShowRed1Again;     // "DontShowRed1Again"
extern int g_disableAlpha;          // "DisableAlphaTransparency"
extern int g_selectBackgroundColor; // "SelectBackgroundColor"

int read_setting_int(const char* key, int default_value);
void write_setting_int(const char* key, int value);
void read_setting_string(const char* key, const char* default_value, char* out, DWORD size);
void write_setting_string(const char* key, const char* value);
