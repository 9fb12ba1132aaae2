// For a test that needs a sound but long picture played or converted
// whole: while it lives, the renderer's time limit and its play budget lie
// so far off that only a picture that never ends reaches them, however
// busy the machine is; the standard ones come back when it ends. A test
// about a limit itself sets that limit far below its picture's time.
#pragma once

#include "image/metafile_renderer.h"

// A play budget for the tests of the budget, far under the time of their
// picture (hostile/EMF-inverted-pairs-before-40-squares.emf, some twenty
// seconds of region inversions).
enum { SHORT_PLAY_BUDGET_MS = 500 };

class UnhurriedRenderer {
public:
    enum { LIMIT_MS = 120000 };
    // memory_bytes: the renderer's memory limit meanwhile (0: the standard one).
    explicit UnhurriedRenderer(SIZE_T memory_bytes = 0)
    {
        render_set_limits_for_test(LIMIT_MS, memory_bytes);
        render_set_play_budget_for_test(LIMIT_MS);
    }
    ~UnhurriedRenderer()
    {
        render_set_limits_for_test(0, 0);
        render_set_play_budget_for_test(0);
    }
    UnhurriedRenderer(const UnhurriedRenderer&) = delete;
    UnhurriedRenderer& operator=(const UnhurriedRenderer&) = delete;
};
