// Paths of fixtures and outputs (passed by ctest in the environment), and
// the temporary-file count and current-image reset the test folders share.
#include "support/test_support.h"

#include "image/current_image.h"
#include "image/metafile_renderer.h"
#include "support/fresh_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

static std::string env_folder(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    std::string folder = value && *value ? value : fallback;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder;
}

// Registered with the program's first static objects, run before its first
// test; a program that never writes (no test_out_path) does not link this.
static ::testing::Environment* const s_fresh_output =
    ::testing::AddGlobalTestEnvironment(new FreshOutputFolder("CORVANE_TEST_OUT"));

void use_built_renderer()
{
    render_set_file_for_test(BUILT_RENDERER);
}

static const bool s_renderer_pointed = (use_built_renderer(), true);

std::string fixture_path(const std::string& name)
{
    return env_folder("CORVANE_FIXTURES", "fixtures") + name;
}

std::string test_out_path(const std::string& name)
{
    std::string folder = env_folder("CORVANE_TEST_OUT", "test-out");
    // Create every level; existing ones just fail.
    for (size_t i = 3; i < folder.size(); ++i)
        if (folder[i] == '/' || folder[i] == '\\')
            CreateDirectoryA(folder.substr(0, i).c_str(), NULL);
    return folder + name;
}

std::string read_file_bytes(const std::string& path)
{
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

void* text_block(const std::string& text)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(h), text.c_str(), text.size() + 1);
    GlobalUnlock(h);
    return h;
}

bool write_file_bytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

int temp_files_in(const std::string& folder_or_path)
{
    std::string folder = folder_or_path.substr(0, folder_or_path.find_last_of("\\/") + 1);
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "sqt*.tmp").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        ++n;
    while (FindNextFileA(h, &found));
    FindClose(h);
    return n;
}

void reset_current_image()
{
    if (g_hImage)
        GlobalFree(g_hImage);
    if (g_hImageUnconverted)
        GlobalFree(g_hImageUnconverted);
    g_hImage = g_hImageUnconverted = NULL;
    g_imageKind = KIND_NONE;
    g_filePath[0] = '\0';
    g_colorConversion = 0;
    g_brightnessStep = 0;
    g_hasTransparency = 0;
    g_transparentIndex = 0;
    g_transparentDisplayColor = 0;
    std::memset(g_baseColorTable, 0, sizeof g_baseColorTable);
}
