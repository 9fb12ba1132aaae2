// Times JPEG decoding and encoding and the smooth resizes on one photo:
// decodes the JPEG named first, encodes it again at quality 85 (with its
// Exif segment) into the file named second, then shrinks it to half and
// enlarges it by a quarter. Prints one "name seconds" line per step;
// jpeg_bench.sh runs it beside djpeg, cjpeg and ImageMagick.
#include <stdio.h>

#include <windows.h>

#include "bench_clock.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "tools/resample.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: jpeg_bench photo.jpg out.jpg\n");
        return 2;
    }
    g_imageKind = KIND_DIB;
    double t0 = now();
    HGLOBAL picture = read_jpeg_file(argv[1], NULL);
    printf("decode %.3f\n", now() - t0);
    if (!picture) {
        fprintf(stderr, "jpeg_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(picture);
    const int width = bih->biWidth, height = bih->biHeight;
    GlobalUnlock(picture);

    t0 = now();
    int ok = write_jpeg_file(argv[2], 85, picture, 0, 0, 0);
    printf("encode %.3f\n", now() - t0);

    t0 = now();
    HGLOBAL small = resample_image(picture, width / 2, height / 2);
    printf("shrink_half %.3f\n", now() - t0);
    t0 = now();
    HGLOBAL large = resample_image(picture, width * 5 / 4, height * 5 / 4);
    printf("enlarge_5_4 %.3f\n", now() - t0);
    ok = ok && small && large;
    if (small)
        GlobalFree(small);
    if (large)
        GlobalFree(large);
    GlobalFree(picture);
    return ok ? 0 : 1;
}
