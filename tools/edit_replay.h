// Undo: the replay of every recorded edit but the last on the freshly
// reloaded current image and its unconverted copy; and the replay of them
// all, which keeps the user's work across a reload of the same file.
#pragma once

#include <windows.h>

// Drops the last record and replays the others. Needs g_editCount >= 1 and
// the picture the records were made on just put in place: the file
// reloaded, or the picture kept when the history was dropped put back
// (see drop_edit_history).
void undo_last_edit(void);

// Replays every record on the file just reloaded, dropping none.
void replay_edit_history(void);

// What keeps the first count records, replayed on the picture they were
// made on (the file read again, or the kept picture), from giving the
// picture those edits made.
enum ReplayBlock {
    REPLAY_WHOLE = 0,
    REPLAY_FILE_CHANGED,     // the file is not as it was loaded
    REPLAY_MERGED_CHANGED,   // a merged file is gone or another picture now
    REPLAY_DATA_LOST,        // a record lacks what its replay needs
    REPLAY_UNRECORDED,       // the picture holds a change no record makes
};
// merged_path (size bytes) receives the merged file of REPLAY_MERGED_CHANGED.
int replay_block(UINT count, char* merged_path, size_t size);

// 1 when a reload of the shown file that replays its history keeps all the
// user made of the picture shown: nothing was changed outside the records,
// and the records replay (or there are none, and the picture is the file's).
int edits_survive_reload(void);
