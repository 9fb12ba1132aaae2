// Times the image tools on one picture held in memory: a quarter turn, the
// 256-colour reduction with and without dithering, greyscale, a smooth
// rotation by 30 degrees and a smooth horizontal skew by 20 degrees. Reads a
// binary PPM named on the command line; prints one "name seconds" line per
// tool. tools_bench.sh runs it beside ImageMagick.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include "bench_clock.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "tools/color_reduce.h"
#include "tools/grey_tone.h"
#include "tools/quarter_turns.h"
#include "tools/rotate_any.h"
#include "tools/edit_history.h"

static HGLOBAL read_ppm_dib(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return NULL;
    int width = 0, height = 0, maxval = 0;
    if (fscanf(f, "P6 %d %d %d", &width, &height, &maxval) != 3 || maxval != 255 || fgetc(f) == EOF) {
        fclose(f);
        return NULL;
    }
    HGLOBAL h = create_packed_dib(width, height, 24, 0);
    BITMAPINFOHEADER* bih = h ? (BITMAPINFOHEADER*)GlobalLock(h) : NULL;
    if (!bih) {
        fclose(f);
        return NULL;
    }
    uint32_t stride = dib_row_stride(width, 24);
    BYTE* rgb = (BYTE*)malloc((size_t)width * 3);
    for (int y = height - 1; y >= 0 && rgb; --y) {
        if (fread(rgb, 3, (size_t)width, f) != (size_t)width)
            break;
        BYTE* row = dib_pixels(bih) + (size_t)y * stride;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = rgb[3 * x + 2];
            row[3 * x + 1] = rgb[3 * x + 1];
            row[3 * x + 2] = rgb[3 * x];
        }
    }
    free(rgb);
    fclose(f);
    GlobalUnlock(h);
    return h;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: tools_bench picture.ppm\n");
        return 2;
    }
    HGLOBAL picture = read_ppm_dib(argv[1]);
    if (!picture) {
        fprintf(stderr, "tools_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    g_imageKind = KIND_DIB;

    HGLOBAL image = copy_packed_dib(picture);
    int word = 0;
    double t0 = now();
    int ok = rotate_cw90(&image, &word);
    printf("rotate90 %.3f\n", now() - t0);
    GlobalFree(image);

    for (int dither = 0; dither <= 1; ++dither) {
        image = copy_packed_dib(picture);
        HGLOBAL copy = NULL;
        t0 = now();
        ok &= reduce_colors(&image, &copy, -256, KIND_DIB, 0, (UINT)dither);
        printf("%s %.3f\n", dither ? "quantize256_dither" : "quantize256", now() - t0);
        GlobalFree(image);
        GlobalFree(copy);
    }

    image = copy_packed_dib(picture);
    HGLOBAL copy = NULL;
    t0 = now();
    ok &= to_grayscale(&image, &copy, KIND_DIB);
    printf("grayscale %.3f\n", now() - t0);
    GlobalFree(image);
    GlobalFree(copy);

    image = copy_packed_dib(picture);
    t0 = now();
    ok &= rotate_by_angle(&image, 30, RGB(0, 0, 0), 0, 0, 1);
    printf("rotate30_bilinear %.3f\n", now() - t0);
    GlobalFree(image);

    image = copy_packed_dib(picture);
    t0 = now();
    ok &= skew_by_angle(&image, 20, RGB(0, 0, 0), 0, 0, 1, EDIT_SKEW_H);
    printf("skew20 %.3f\n", now() - t0);
    GlobalFree(image);
    GlobalFree(picture);
    return ok ? 0 : 1;
}
