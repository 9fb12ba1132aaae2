// Times the TIFF reader on the files named: one "name seconds" line per
// file, the best of three reads. tiff_bench.sh runs it beside ImageMagick.
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include "bench_clock.h"
#include "formats/tiff_read.h"
#include "image/current_image.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: tiff_bench name=file.tif...\n");
        return 2;
    }
    g_imageKind = KIND_DIB;
    int ok = 1;
    for (int i = 1; i < argc; i++) {
        char name[64];
        const char* eq = strchr(argv[i], '=');
        if (!eq || eq - argv[i] >= (int)sizeof name)
            return 2;
        memcpy(name, argv[i], eq - argv[i]);
        name[eq - argv[i]] = '\0';
        double best = 1e9;
        for (int run = 0; run < 3; run++) {
            int format = 0, page = 1, pages = 1;
            double t0 = now();
            HGLOBAL image = read_tiff_file(eq + 1, NULL, &format, &page, &pages, GetModuleHandleA(NULL));
            double t = now() - t0;
            if (!image) {
                fprintf(stderr, "tiff_bench: cannot read %s\n", eq + 1);
                ok = 0;
                break;
            }
            GlobalFree(image);
            best = t < best ? t : best;
        }
        printf("%s %.3f\n", name, best);
    }
    return ok ? 0 : 1;
}
