// Times the image tools on one picture held in memory: a quarter turn, the
// 256-colour reduction with and without dithering, greyscale, a smooth
// rotation by 30 degrees and a smooth horizontal skew by 20 degrees. Reads
// the 24-bit BMP named on the command line; prints one "name seconds" line
// per tool. tools_bench.sh runs it beside ImageMagick.
#include <stdio.h>

#include <windows.h>

#include "bench_clock.h"
#include "image/bmp_read.h"
#include "image/current_image.h"
#include "image/packed_dib.h"
#include "tools/color_reduce.h"
#include "tools/grey_tone.h"
#include "tools/quarter_turns.h"
#include "tools/rotate_any.h"
#include "tools/edit_history.h"

// The picture as the 24-bit BMP tools_bench.sh writes, through the BMP reader.
static HGLOBAL read_picture(const char* path)
{
    HFILE file = _lopen(path, OF_READ);
    int left, top, width, height;
    return file == HFILE_ERROR ? NULL : read_bmp_file(file, NULL, NULL, &left, &top, &width, &height, 40);
}

// Times one tool on a fresh copy of the picture and frees what it made.
template <class Tool>
static int time_tool(const char* name, HGLOBAL picture, Tool tool)
{
    HGLOBAL image = copy_packed_dib(picture), copy = NULL;
    double t0 = now();
    int ok = tool(&image, &copy);
    printf("%s %.3f\n", name, now() - t0);
    GlobalFree(image);
    if (copy)
        GlobalFree(copy);
    return ok;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: tools_bench picture.bmp\n");
        return 2;
    }
    HGLOBAL picture = read_picture(argv[1]);
    if (!picture) {
        fprintf(stderr, "tools_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    g_imageKind = KIND_DIB;
    int word = 0;
    int ok = time_tool("rotate90", picture, [&](HGLOBAL* image, HGLOBAL*) { return rotate_cw90(image, &word); });
    for (UINT dither = 0; dither <= 1; ++dither)
        ok &= time_tool(dither ? "quantize256_dither" : "quantize256", picture, [&](HGLOBAL* image, HGLOBAL* copy) {
            return reduce_colors(image, copy, -256, KIND_DIB, 0, dither);
        });
    ok &= time_tool("grayscale", picture,
                    [](HGLOBAL* image, HGLOBAL* copy) { return to_grayscale(image, copy, KIND_DIB); });
    ok &= time_tool("rotate30_bilinear", picture,
                    [](HGLOBAL* image, HGLOBAL*) { return rotate_by_angle(image, 30, RGB(0, 0, 0), 0, 0, 1); });
    ok &= time_tool("skew20", picture, [](HGLOBAL* image, HGLOBAL*) {
        return skew_by_angle(image, 20, RGB(0, 0, 0), 0, 0, 1, EDIT_SKEW_H);
    });
    GlobalFree(picture);
    return ok ? 0 : 1;
}
