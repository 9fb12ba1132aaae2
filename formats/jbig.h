// Reading and writing JBIG files.
#pragma once

#include <windows.h>

HGLOBAL read_jbig_file(const char* path, char* info);
// 1 written, 0 not written.
int write_jbig_file(const char* path, HGLOBAL hDib);
