// The play time budget (see play_budget.h). Sound metafiles, however
// large, play in a fraction of it. It lies just under the renderer's own
// limit, so that every picture that limit lets through is drawn whole,
// while a play that is slow between records ends here, inside the
// renderer, which then hands back what it drew and goes on serving. A
// window plays a picture once per size (metafile_view.h), so a slow one
// costs this once, not on every repaint.
#include "image/play_budget.h"

#include "image/metafile_renderer.h"

enum { PLAY_BUDGET_MS = RENDER_TIME_LIMIT_MS - 500 };

static PlayClock g_playClock = GetTickCount;
// Of the budget started last on this thread: the renderer plays the source
// of a conversion on a thread of its own, beside the play of its result.
static thread_local bool s_lastRanOut;
static DWORD g_playBudgetMs = PLAY_BUDGET_MS;

void set_play_clock(PlayClock clock)
{
    g_playClock = clock ? clock : GetTickCount;
}

void set_play_budget(DWORD ms)
{
    g_playBudgetMs = ms ? ms : (DWORD)PLAY_BUDGET_MS;
}

void start_play_budget(PlayBudget* budget)
{
    budget->started = g_playClock();
    budget->glyph_work = 0;
    budget->is_cut = false;
    s_lastRanOut = false;
}

bool play_budget_allows(PlayBudget* budget)
{
    if (g_playClock() - budget->started < g_playBudgetMs)
        return true;
    budget->is_cut = true;
    s_lastRanOut = true;
    return false;
}

bool last_play_ran_out_of_time(void)
{
    return s_lastRanOut;
}
