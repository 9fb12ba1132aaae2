// Reading and writing JBIG files.
#pragma once

#include <windows.h>
#include <stdint.h>

HGLOBAL read_jbig_file(const char* path, char* info);
// 1 written, 0 not written.
int write_jbig_file(const char* path, HGLOBAL hDib);
// A 20-byte BIE header followed by coded_bytes of stream: planes and size
// this program can hold and that much data can fill.
bool jbig_header_fits(const BYTE* header, uint64_t coded_bytes);
