// Import-table entries of the test program (see import_hook.h). An entry
// is known by the address the loader put in it, the function's own.
#include "support/import_hook.h"

#include <windows.h>

static void** import_entry(void* target)
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR* d = (const IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress);
         target && d->Name; ++d)
        for (void** entry = (void**)(base + d->FirstThunk); *entry; ++entry)
            if (*entry == target)
                return entry;
    return NULL;
}

static void put_entry(void** entry, void* value)
{
    DWORD old;
    if (VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old)) {
        *entry = value;
        VirtualProtect(entry, sizeof *entry, old, &old);
    }
}

ImportHook::ImportHook(const char* module, const char* function, void* replacement)
{
    HMODULE system = GetModuleHandleA(module);
    entry_ = import_entry(system ? (void*)GetProcAddress(system, function) : NULL);
    original_ = entry_ ? *entry_ : NULL;
    if (entry_)
        put_entry(entry_, replacement);
}

ImportHook::~ImportHook()
{
    if (entry_)
        put_entry(entry_, original_);
}
