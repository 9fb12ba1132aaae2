// The program's entry: the file-type filter list, the command-line file and
// the Open-file dialog record that runs the main window. WinMain itself lives
// in main.cpp so that tests link everything else.
#pragma once

#include <windows.h>
#include <commdlg.h>

enum {
    FILTER_BLOCK_SIZE = 629,
    FILTER_COUNT = 16,
    FILTER_IMAGE_FILES = 1,
    FILTER_MULTIMEDIA = 2,
    FILTER_ALL_FILES = 16,
    // The record of the main dialog has the size of the pre-Windows 2000
    // structure, so the classic dialog takes no Places bar fields.
    OFN_MAIN_STRUCT_SIZE = 76,
};

extern OPENFILENAMEA g_ofnMain;
extern HGLOBAL g_hFilter;
extern int g_filterPatternOffsets[FILTER_COUNT];
// The command-line file in full, as found; empty when none was named or
// none was found.
extern char g_namedFilePath[MAX_PATH];

// Writes the sixteen display-name / pattern pairs into block (at least
// FILTER_BLOCK_SIZE zeroed bytes) and stores each pattern's offset.
void build_filter_list(char* block, int* pattern_offsets);

// Takes the command line's file name: strips the quotes, looks the file up
// into g_findData and g_namedFilePath (relative to the current folder),
// fills g_fileExt and returns the filter index it asks for
// (FILTER_MULTIMEDIA for a media extension, else FILTER_IMAGE_FILES; for a
// file found that the type leaves out, FILTER_ALL_FILES).
int take_command_line_file(const char* command_line);

// Fills g_ofnMain and g_hFilter for the main dialog; the filter block stays
// locked until release_main_dialog_record.
void prepare_main_dialog_record(HINSTANCE instance, const char* command_line);
void release_main_dialog_record(void);
