// Finds this process's Linux pid by mapping a file of a unique name and
// looking for it in each process's memory map; Wine has no call that
// tells the pid, and /proc/self here is the Wine server that opens files.
#include "support/peak_memory.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static std::string read_proc_file(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string text;
    char chunk[65536];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got)
        text.append(chunk, got);
    CloseHandle(file);
    return text;
}

static std::string lower(std::string text)
{
    for (char& c : text)
        c = (char)std::tolower((unsigned char)c);
    return text;
}

static unsigned find_unix_pid(void)
{
    char folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "pkm", 0, name))
        return 0;
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written;
    WriteFile(file, "x", 1, &written, NULL);
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 1, NULL);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1) : NULL;
    std::string wanted = lower(std::strrchr(name, '\\') + 1);
    unsigned pid = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = view ? FindFirstFileA("Z:\\proc\\*", &found) : INVALID_HANDLE_VALUE;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (found.cFileName[0] < '0' || found.cFileName[0] > '9')
                continue;
            std::string maps = lower(read_proc_file(std::string("Z:\\proc\\") + found.cFileName + "\\maps"));
            if (maps.find(wanted) != std::string::npos)
                pid = (unsigned)std::strtoul(found.cFileName, NULL, 10);
        } while (!pid && FindNextFileA(find, &found));
        FindClose(find);
    }
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
    CloseHandle(file);
    return pid;
}

static std::string proc_path(const char* leaf)
{
    static unsigned pid = find_unix_pid();
    if (!pid)
        return "";
    char path[64];
    std::snprintf(path, sizeof path, "Z:\\proc\\%u\\%s", pid, leaf);
    return path;
}

// A "VmHWM:" or "VmRSS:" line of the status file, in bytes; 0 when absent.
static uint64_t status_bytes(const char* key)
{
    std::string path = proc_path("status");
    if (path.empty())
        return 0;
    std::string status = read_proc_file(path);
    size_t at = status.find(key);
    return at == std::string::npos ? 0 : (uint64_t)std::strtoull(status.c_str() + at + std::strlen(key), NULL, 10) * 1024;
}

PeakMemoryWatch::PeakMemoryWatch() : start_(0)
{
    std::string path = proc_path("clear_refs");
    if (path.empty())
        return;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    // "5" resets the high-water mark of resident memory to what is resident now.
    BOOL reset = WriteFile(file, "5", 1, &written, NULL);
    CloseHandle(file);
    if (reset)
        start_ = status_bytes("VmRSS:");
}

uint64_t PeakMemoryWatch::rise() const
{
    if (!start_)
        return 0;
    uint64_t peak = status_bytes("VmHWM:");
    return peak > start_ ? peak - start_ : 0;
}
