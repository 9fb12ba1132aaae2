// Row bands on the machine's cores (see row_bands.h).
#include "tools/row_bands.h"

#include <windows.h>

enum { MIN_BAND_PIXELS = 1 << 18, MAX_BANDS = 16 };

struct Band {
    BandWork work;
    const void* context;
    int64_t begin, end;
};

static DWORD WINAPI band_thread(void* arg)
{
    const Band* band = (const Band*)arg;
    band->work(band->context, band->begin, band->end, false);
    return 0;
}

void run_row_bands(int64_t rows, int64_t pixels, BandWork work, const void* context)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    int64_t count = info.dwNumberOfProcessors;
    if (count > MAX_BANDS)
        count = MAX_BANDS;
    if (count > pixels / MIN_BAND_PIXELS)
        count = pixels / MIN_BAND_PIXELS;
    if (count > rows)
        count = rows;
    if (count < 1)
        count = 1;
    Band bands[MAX_BANDS];
    HANDLE threads[MAX_BANDS];
    int started = 0;
    for (int64_t b = 1; b < count; ++b) {
        bands[b] = {work, context, rows * (b - 1) / count, rows * b / count};
        threads[started] = CreateThread(NULL, 0, band_thread, &bands[b], 0, NULL);
        if (threads[started])
            ++started;
        else
            band_thread(&bands[b]);  // no thread to be had: this one does it
    }
    work(context, rows * (count - 1) / count, rows, true);
    for (int t = 0; t < started; ++t) {
        WaitForSingleObject(threads[t], INFINITE);
        CloseHandle(threads[t]);
    }
}
