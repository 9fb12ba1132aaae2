// Stored colour profiles (see color_profiles.h).
#include "jpeg/color_profiles.h"

cmsHPROFILE open_stored_profile(HMODULE module, const char* name)
{
    HRSRC hInfo = FindResourceA(module, name, "COLOR_PROFILE");
    if (!hInfo)
        return NULL;
    DWORD size = SizeofResource(module, hInfo);
    HGLOBAL hData = LoadResource(module, hInfo);
    if (!hData)
        return NULL;
    const void* data = LockResource(hData);
    // Little CMS copies the bytes, so the resource may go right after.
    cmsHPROFILE profile = data && size ? cmsOpenProfileFromMem(data, size) : NULL;
    FreeResource(hData);
    return profile;
}
