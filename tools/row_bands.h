// Work on the rows of a result split into bands, one per core: each band
// writes only its own rows and reads only the source, so the split cannot
// change the result. The calling thread takes the last band and is the
// only one that may show progress.
#pragma once

#include <stdint.h>

// work(context, begin, end, report) fills result rows begin to end - 1;
// report is set on the calling thread only. Results smaller than a
// quarter-megapixel stay on the calling thread.
typedef void (*BandWork)(const void* context, int64_t begin, int64_t end, bool report);

void run_row_bands(int64_t rows, int64_t pixels, BandWork work, const void* context);
