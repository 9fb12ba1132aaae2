// The time one play of a metafile may take. Some records cost the system's
// player work far beyond their bytes, and a file of many records that each
// keep their rules can still hold the window for minutes: the record
// callbacks of both players ask the budget before each record, and a play
// past it stops, leaving what it drew. The budget also counts the glyph
// work of the play's text, which the players bound as a whole. A play the
// budget stopped, or whose text it left out, is cut: it did not draw the
// whole picture, and the program says so.
#pragma once

#include <windows.h>

struct PlayBudget {
    DWORD started;      // the play clock at the play's start
    double glyph_work;  // distinct glyphs of the text played, times their device size squared
    bool is_cut;        // a record was not played for the budget's sake
};

void start_play_budget(PlayBudget* budget);

// True while the play is within its time; past it, the play is cut.
bool play_budget_allows(PlayBudget* budget);

// Whether the play whose budget was started last on this thread ran out of
// its time.
bool last_play_ran_out_of_time(void);

// The time of the plays that start from now, in milliseconds: the renderer
// takes it from each request (a test may ask for another); 0 puts the
// standard one back.
void set_play_budget(DWORD ms);

// The clock plays are timed by, in milliseconds: GetTickCount, or one a
// test moves itself; NULL puts GetTickCount back.
typedef DWORD(WINAPI* PlayClock)(void);
void set_play_clock(PlayClock clock);
