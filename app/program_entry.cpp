// The filter list, the command-line file and the main dialog record.
// The dialog itself (its hook) is main_window.cpp.
#include "app/program_entry.h"

#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "image/current_image.h"
#include "image/open_windows.h"
#include "resources/resource.h"

OPENFILENAMEA g_ofnMain;
HGLOBAL g_hFilter;
int g_filterPatternOffsets[FILTER_COUNT];
char g_namedFilePath[MAX_PATH];

// The named file's folder, where the dialog opens its list.
static char s_namedFileFolder[MAX_PATH];

static const char* const FILTER_PAIRS[FILTER_COUNT][2] = {
    {"Image Files",
     "*.bmp;*.dib;"
     "*.gif;*.pcx;*.rle;*.jpg;*.jpe*;*.jp2;*.j2k;*.j2c;*.tif*;*.btf;*.tf2;*.tga;*.png;"
     "*.iff;*.lbm;*.wmf;*.emf;*.ico*;*.cur;*.ani;*.ras;*.sun;*.jbg;*.pbm;*.pgm;*.pnm;*.ppm"},
    {"Multimedia", "*.asf;*.asx;*.avi;*.mid*;*.mov;*.mp3;*.mpa;*.mpe*;*.mpg;*.rmi;*.wav*;*.wma;*.wmv"},
    {"bmp, dib, rle", "*.bmp;*.dib;*.rle"},
    {"gif", "*.gif"},
    {"ico, cur, ani", "*.ico*;*.cur;*.ani"},
    {"iff, lbm", "*.iff;*.lbm"},
    {"jbg", "*.jbg"},
    {"jpg, jpe, jpeg, jp2, j2k, j2c", "*.jpg;*.jpe*;*.jp2;*.j2k;*.j2c"},
    {"pbm, pgm, pnm, ppm", "*.pbm;*.pgm;*.pnm;*.ppm"},
    {"pcx", "*.pcx"},
    {"png", "*.png"},
    {"sun, ras", "*.sun;*.ras"},
    {"tga", "*.tga"},
    {"tif, tiff", "*.tif*"},
    {"wmf, emf", "*.wmf;*.emf"},
    {"All Files (*.*)", "*.*"},
};

// Extensions (first three characters) that open the dialog on "Multimedia".
static const char* const MEDIA_EXTENSIONS[] = {
    "AVI", "MID", "MOV", "MP3", "MPA", "MPE", "MPG", "RMI", "WAV", "WMA", "WMV", "ASF",
};

void build_filter_list(char* block, int* pattern_offsets)
{
    int at = 0;
    for (int i = 0; i < FILTER_COUNT; ++i) {
        size_t name_length = std::strlen(FILTER_PAIRS[i][0]) + 1;
        std::memcpy(block + at, FILTER_PAIRS[i][0], name_length);
        at += (int)name_length;
        pattern_offsets[i] = at;
        size_t pattern_length = std::strlen(FILTER_PAIRS[i][1]) + 1;
        std::memcpy(block + at, FILTER_PAIRS[i][1], pattern_length);
        at += (int)pattern_length;
    }
    block[at] = '\0';  // the extra NUL that ends the list
}

// The file FindFirstFileA found for name (a full or relative path, a bare
// name, a short name or a pattern), in full in g_namedFilePath with its
// folder in s_namedFileFolder: the list opens there and marks that file,
// never a namesake in the start folder. 0 for a folder or a path too long.
static int name_found_file(const char* name)
{
    if (g_findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    char full[MAX_PATH];
    char* last = NULL;
    DWORD length = GetFullPathNameA(name, sizeof full, full, &last);
    if (length == 0 || length >= sizeof full || !last || last == full)
        return 0;
    // The folder keeps its backslash only at a drive's root ("C:\").
    size_t folder_length = (size_t)(last - full);
    if (folder_length > 1 && full[folder_length - 2] != ':')
        --folder_length;
    size_t name_length = std::strlen(g_findData.cFileName);
    if (name_length == 0 || (size_t)(last - full) + name_length >= sizeof g_namedFilePath)
        return 0;
    std::memcpy(s_namedFileFolder, full, folder_length);
    s_namedFileFolder[folder_length] = '\0';
    std::memcpy(g_namedFilePath, full, (size_t)(last - full));
    std::memcpy(g_namedFilePath + (last - full), g_findData.cFileName, name_length + 1);
    return 1;
}

// Whether the named file's folder lists it under filter's patterns, one
// search a pattern, as its list is filled.
static int is_listed_under(int filter)
{
    char patterns[256], pattern_path[MAX_PATH];
    lstrcpynA(patterns, FILTER_PAIRS[filter - 1][1], sizeof patterns);
    const size_t folder_length = std::strlen(s_namedFileFolder);
    const char* separator = folder_length && s_namedFileFolder[folder_length - 1] == '\\' ? "" : "\\";
    for (char* pattern = std::strtok(patterns, ";"); pattern; pattern = std::strtok(NULL, ";")) {
        int length = std::snprintf(pattern_path, sizeof pattern_path, "%s%s%s", s_namedFileFolder, separator, pattern);
        if (length <= 0 || length >= (int)sizeof pattern_path)
            continue;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern_path, &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        bool listed = false;
        do
            listed = std::strcmp(found.cFileName, g_findData.cFileName) == 0;
        while (!listed && FindNextFileA(search, &found));
        FindClose(search);
        if (listed)
            return 1;
    }
    return 0;
}

int take_command_line_file(const char* command_line)
{
    g_namedFilePath[0] = s_namedFileFolder[0] = '\0';
    size_t length = std::strlen(command_line);
    HGLOBAL hName = GlobalAlloc(GHND, length + 1);
    char* name = hName ? (char*)GlobalLock(hName) : NULL;
    if (!name) {
        if (hName)
            GlobalFree(hName);
        return FILTER_IMAGE_FILES;
    }
    std::memcpy(name, command_line, length);

    char* start = name;
    char* quote = std::strchr(name, '"');
    if (quote) {
        start = quote + 1;
        char* last = std::strrchr(start, '"');
        if (last)
            *last = '\0';
    }

    HANDLE hFind = FindFirstFileA(start, &g_findData);
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    if (hFind == INVALID_HANDLE_VALUE || !name_found_file(start))
        std::memset(&g_findData, 0, sizeof g_findData);

    int filter = FILTER_IMAGE_FILES;
    std::memset(g_fileExt, 0, sizeof g_fileExt);
    const char* dot = std::strrchr(start, '.');
    if (dot) {
        std::strncpy(g_fileExt, dot + 1, 3);
        g_fileExt[3] = '\0';
        for (const char* media : MEDIA_EXTENSIONS)
            if (lstrcmpiA(g_fileExt, media) == 0)
                filter = FILTER_MULTIMEDIA;
    }
    // The file is read by its content, whatever its extension: a type that
    // leaves it out gives way to one that lists it.
    if (g_findData.cFileName[0] && !is_listed_under(filter))
        filter = FILTER_ALL_FILES;

    GlobalUnlock(hName);
    GlobalFree(hName);
    return filter;
}

void prepare_main_dialog_record(HINSTANCE instance, const char* command_line)
{
    g_hInstance = instance;
    std::memset(&g_ofnMain, 0, OFN_MAIN_STRUCT_SIZE);

    g_hFilter = GlobalAlloc(GHND, FILTER_BLOCK_SIZE);
    char* filter = g_hFilter ? (char*)GlobalLock(g_hFilter) : NULL;
    if (filter)
        build_filter_list(filter, g_filterPatternOffsets);

    g_ofnMain.lStructSize = OFN_MAIN_STRUCT_SIZE;
    g_ofnMain.hInstance = instance;
    g_ofnMain.lpstrFilter = filter;

    if (command_line && *command_line) {
        g_ofnMain.nFilterIndex = take_command_line_file(command_line);
        g_ofnMain.lpstrInitialDir = s_namedFileFolder[0] ? s_namedFileFolder : NULL;
    } else {
        g_fileName[0] = '\0';
        g_ofnMain.lpstrInitialDir = NULL;
        g_ofnMain.nFilterIndex = FILTER_IMAGE_FILES;
    }
    g_ofnMain.lpstrFile = g_findData.cFileName;
    g_ofnMain.nMaxFile = 256;
    g_ofnMain.lpstrFileTitle = NULL;
    g_ofnMain.nMaxFileTitle = 0;
    g_ofnMain.lpfnHook = main_dialog_hook;
    g_ofnMain.lpstrTitle = "Corvane Graphics' File Viewer";
    g_ofnMain.lpTemplateName = MAKEINTRESOURCEA(IDD_MAIN);
    g_ofnMain.Flags = OFN_FORCESHOWHIDDEN | OFN_LONGNAMES | OFN_NONETWORKBUTTON |
                      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ENABLETEMPLATE |
                      OFN_ENABLEHOOK | OFN_NOCHANGEDIR;
}

void release_main_dialog_record(void)
{
    if (g_hFilter) {
        GlobalUnlock(g_hFilter);
        GlobalFree(g_hFilter);
        g_hFilter = NULL;
    }
}
