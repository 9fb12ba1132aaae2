// The program's own conversion of an enhanced metafile to a Windows one,
// for the pictures the system's conversion draws otherwise: the system
// writes the records in their own logical units and drops the mapping, the
// window and viewport and the world transform they were drawn under. Here
// the records are walked on a DC of this process's own, where the system
// plays every record that sets state (mapping, transform, paths, clip,
// objects), and each record that draws is written into a Windows-metafile
// DC in one output space, at the points the state DC maps it to. Only the
// metafile renderer (render_serve.cpp) calls it, on records that keep
// their rules (emf_check.h); what it makes is judged as the system's
// result is, by the comparison of the two plays (metafile_compare.h).
#pragma once

#include <windows.h>

// Draws the enhanced metafile's picture, its frame filling box (the
// placeable box of the file written: the records' units), into a new
// Windows metafile that the caller deletes. Text without advances is
// given its font's as the picture shown in shown pixels lays it out. Null when a record draws
// something a Windows metafile cannot hold here (a transparent or
// gradient blit, text no character set holds, a clip of more rectangles
// than it takes, a point past 16 bits), or the play budget's time passes.
HMETAFILE draw_emf_as_wmf(HENHMETAFILE emf, const RECT* box, SIZE shown);

