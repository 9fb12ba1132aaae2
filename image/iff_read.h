// IFF pictures: reading "FORM" files of type "ILBM" (planar: 1 to 8 planes
// through a colour map, extra half-brite, hold-and-modify, 24 and 32 planes)
// and "PBM " (chunky). Writing is in iff_write.h.
#pragma once

#include <windows.h>

// Reads the IFF file open at its start on file and closes it. info (500
// bytes) gets the information text and the ANNO chunk becomes the comment
// text; with info null neither. Null after "File Read Error" (damaged
// structure) or "Memory Allocation Error"; a short BODY gives the rows
// decoded so far.
HGLOBAL read_iff_file(HFILE file, char* info);
