// The page toucher (see page_toucher.h).
#include "image/page_toucher.h"

#include <stdlib.h>

namespace {

enum {
    PAGE_BYTES = 4096,
    MIN_TOUCHED_BYTES = 8 << 20,  // below this a thread costs more than it saves
};

struct TouchJob {
    BYTE* first;
    size_t length;
    int downward;
};

}  // namespace

static inline void touch_byte(BYTE* p)
{
    // A locked read-modify-write: atomic against the reader's plain store
    // to the same byte, and it writes back what it read.
    __asm__ __volatile__("lock orb $0, %0" : "+m"(*p) : : "memory");
}

static DWORD WINAPI touch_pages(void* arg)
{
    TouchJob* job = (TouchJob*)arg;
    const size_t pages = (job->length + PAGE_BYTES - 1) / PAGE_BYTES;
    for (size_t i = 0; i < pages; i++) {
        size_t offset = (job->downward ? pages - 1 - i : i) * PAGE_BYTES;
        touch_byte(job->first + offset);
    }
    free(job);
    return 0;
}

HANDLE start_page_toucher(BYTE* first, size_t length, int downward)
{
    if (!first || length < MIN_TOUCHED_BYTES)
        return NULL;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    if (info.dwNumberOfProcessors < 2)
        return NULL;
    TouchJob* job = (TouchJob*)malloc(sizeof *job);
    if (!job)
        return NULL;
    job->first = first;
    job->length = length;
    job->downward = downward;
    HANDLE thread = CreateThread(NULL, 0, touch_pages, job, 0, NULL);
    if (!thread)
        free(job);
    return thread;
}

void finish_page_toucher(HANDLE toucher)
{
    if (!toucher)
        return;
    WaitForSingleObject(toucher, INFINITE);
    CloseHandle(toucher);
}
