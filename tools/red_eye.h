// Red-eye correction of marked points, and the point list the full-screen
// window's red-eye mode fills.
#pragma once

#include <windows.h>

// (x, y) pairs of UINTs, y from the top, grown 16 pairs at a time.
extern HGLOBAL g_hRedEyePoints;
extern UINT g_redEyePointCount;

// 1 when the points were corrected; 0 for 1- and 4-bit images or when an
// 8-bit image cannot be promoted (image unchanged).
int fix_red_eye_points(HGLOBAL* phDib, HGLOBAL hPoints, UINT point_count, int brightness_step,
                       RGBQUAD* base_table);
