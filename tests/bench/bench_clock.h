// The benchmarks' clock: seconds from the performance counter.
#pragma once

#include <windows.h>

static inline double now(void)
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart / (double)f.QuadPart;
}
