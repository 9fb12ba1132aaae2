// Undo: the replay of every recorded edit but the last on the freshly
// reloaded current image and its unconverted copy; and the replay of them
// all, which keeps the user's work across a reload of the same file.
#pragma once

#include <windows.h>

// Drops the last record and replays the others. Needs g_editCount >= 1 and
// the file just reloaded.
void undo_last_edit(void);

// Replays every record on the file just reloaded, dropping none.
void replay_edit_history(void);
