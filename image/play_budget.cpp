// The play time budget (see play_budget.h). Sound metafiles, however
// large, play in a fraction of it; it is short enough that a preview,
// its repaint and a print cell each stay within a few seconds.
#include "image/play_budget.h"

enum { PLAY_BUDGET_MS = 2000 };

static PlayClock g_playClock = GetTickCount;

void set_play_clock(PlayClock clock)
{
    g_playClock = clock ? clock : GetTickCount;
}

void start_play_budget(PlayBudget* budget)
{
    budget->started = g_playClock();
    budget->glyph_work = 0;
    budget->is_cut = false;
}

bool play_budget_allows(PlayBudget* budget)
{
    if (g_playClock() - budget->started < PLAY_BUDGET_MS)
        return true;
    budget->is_cut = true;
    return false;
}
