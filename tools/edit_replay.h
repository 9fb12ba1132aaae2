// Undo: the replay of every recorded edit but the last on the freshly
// reloaded current image and its unconverted copy.
#pragma once

#include <windows.h>

// Drops the last record and replays the others. Needs g_editCount >= 1 and
// the file just reloaded.
void undo_last_edit(void);
