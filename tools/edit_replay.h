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

// 1 when the shown file read again and its first count records replayed on
// it give the picture those edits made: the file is as it was loaded, and
// every record holds what its replay needs (a merged file still the picture
// that was merged).
int edits_replayable(UINT count);

// 1 when a reload of the shown file that replays its history keeps all the
// user made of the picture shown: nothing was changed outside the records,
// and the records replay (or there are none, and the picture is the file's).
int edits_survive_reload(void);
