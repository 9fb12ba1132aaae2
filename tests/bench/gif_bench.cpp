// Times GIF decoding and encoding of one large file: decodes the GIF named
// first, encodes the frame into the file named second, best of three runs
// each. Prints one "name seconds" line per step; gif_bench.sh runs it
// beside ImageMagick.
#include <stdio.h>

#include <algorithm>

#include <windows.h>

#include "bench_clock.h"
#include "image/current_image.h"
#include "image/gif_read.h"
#include "image/gif_write.h"

static HGLOBAL decode(const char* path)
{
    HFILE file = _lopen(path, OF_READ | OF_SHARE_DENY_NONE);
    if (file == HFILE_ERROR)
        return NULL;
    int continuing = 0, left = 0, top = 0, width = 0, height = 0, transparency = 0, frame = 0;
    UINT delay = 12;
    DWORD background = 0, display = 0;
    BYTE index = 0, disposal = 0;
    HGLOBAL h = NULL;
    if (alloc_gif_lzw_tables()) {
        h = read_gif_frame(file, NULL, NULL, &continuing, &delay, &left, &top, &width, &height,
                           &transparency, &background, &display, &index, &disposal, &frame,
                           g_gifSuffixTable, g_gifPrefixTable, g_gifStack, KIND_ANIMATED_GIF);
        free_gif_lzw_tables();
    }
    _lclose(file);
    return h;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: gif_bench big.gif out.gif\n");
        return 2;
    }
    double best_decode = 1e9, best_encode = 1e9;
    HGLOBAL frame = NULL;
    for (int run = 0; run < 3; ++run) {
        if (frame)
            GlobalFree(frame);
        double t0 = now();
        frame = decode(argv[1]);
        best_decode = std::min(best_decode, now() - t0);
        if (!frame) {
            fprintf(stderr, "cannot decode %s\n", argv[1]);
            return 1;
        }
    }
    for (int run = 0; run < 3; ++run) {
        double t0 = now();
        if (write_gif_file(argv[2], frame, 0) != 1) {
            fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        best_encode = std::min(best_encode, now() - t0);
    }
    GlobalFree(frame);
    printf("decode %.4f\nencode %.4f\n", best_decode, best_encode);
    return 0;
}
