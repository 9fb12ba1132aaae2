// The palette of the colour picker's grid: its 48 basic colours. Kept apart
// from palette.h because the 48 colours come from the colour-reduction tool.
#pragma once

#include <windows.h>

// Palette of the 48 basic colours; null when the work block cannot be had.
HPALETTE create_picker_palette(void);
