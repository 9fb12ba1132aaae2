// Times PNG decoding and encoding of one large picture: decodes the PNG
// named first, encodes the result into the file named second. Prints one
// "name seconds" line per step; png_bench.sh runs it beside ImageMagick.
#include <stdio.h>

#include <windows.h>

#include "bench_clock.h"
#include "formats/png.h"
#include "image/current_image.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: png_bench picture.png out.png\n");
        return 2;
    }
    g_imageKind = KIND_DIB;
    double t0 = now();
    HGLOBAL picture = read_png_file(argv[1], NULL);
    printf("decode %.3f\n", now() - t0);
    if (!picture) {
        fprintf(stderr, "png_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    t0 = now();
    int ok = write_png_file(argv[2], picture, 0);
    printf("encode %.3f\n", now() - t0);
    GlobalFree(picture);
    return ok ? 0 : 1;
}
