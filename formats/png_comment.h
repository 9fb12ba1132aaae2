// Rewriting the "Description" text of a PNG file.
#pragma once

#include <windows.h>

void write_png_comment(const char* path, HGLOBAL* phComment);
