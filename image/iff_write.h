// IFF "ILBM" writing: plain bit planes or hold-and-modify (HAM6 over a grey
// colour map), packed with ByteRun1 or not; and the rewrite of a file's
// "ANNO" comment. Reading is in iff_read.h.
#pragma once

#include <windows.h>
#include <stdio.h>

// 1 on success; 0 for a depth other than 1, 4, 8, 16, 24, 32 or a failed
// write (the file at path is replaced only by a complete file).
int write_ilbm_file(const char* path, int compress, int ham, HGLOBAL hImage);

// ByteRun1 packing of n source bytes into destination (room for 2n + 1);
// returns the packed length.
size_t pack_byterun1(const BYTE* source, BYTE* destination, size_t n);

// Puts the text of *textHandle into the ILBM or PBM file at path as its
// only "ANNO" chunk (none when null or empty), before the BODY. 1 when
// rewritten; on failure the file and the text stay and "Cannot Open File
// for Writing." is shown (rewrite_for_comment).
int write_ilbm_comment(const char* path, HGLOBAL* textHandle);
