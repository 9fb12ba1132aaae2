// The ICC profiles stored as resources of type "COLOR_PROFILE" ("SRGB",
// "CMYK", "ITUFAX"), opened from memory with Little CMS. The program finds
// them in its own module; tests link the same resource script into theirs.
#pragma once

#include <windows.h>

#include <lcms2.h>

// The profile, opened from the resource's bytes at its real size; null when
// the resource is missing or Little CMS refuses it. Caller closes it.
cmsHPROFILE open_stored_profile(HMODULE module, const char* name);
