// Rewriting the image description of every directory of a TIFF file.
#pragma once

#include <windows.h>

int write_tiff_comment(const char* path, HGLOBAL* phComment, int* page_index, int* page_count);
