// Times the preview of sound metafiles as it was, played in this process by
// the checked players, and as it is, through the metafile renderer.
//
//   metafile_bench FILE...    (.emf files; each is also converted to a
//                              placeable .wmf beside itself and timed as that)
//
// For each picture, the best of RUNS plays into a preview-sized memory DC
// each way: name_inprocess (the players' own time, what a preview cost
// before the renderer) and name_renderer (play_metafile_in_preview, the
// bytes handed to the running renderer, its play, and the pixels copied
// in and out). The renderer's start, once per run, is timed on its own
// (renderer_start). One "name seconds" line each.
#include <stdio.h>
#include <string.h>

#include <string>

#include <windows.h>

#include "bench_clock.h"
#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_play.h"
#include "image/metafile_renderer.h"
#include "image/preview.h"

namespace {

enum { RUNS = 20, PREVIEW_SIDE = 600 };

// The preview's own play, with the renderer's play in its place: the
// mapping and clip play_metafile_in_preview sets.
void play_in_process(HDC dc)
{
    int saved = SaveDC(dc);
    IntersectClipRect(dc, g_animDestX, g_animDestY, g_animDestX + g_animDestWidth, g_animDestY + g_animDestHeight);
    if (g_imageKind == KIND_EMF) {
        RECT r = {g_animDestX, g_animDestY, g_animDestX + g_animDestWidth, g_animDestY + g_animDestHeight};
        play_emf_in_process(dc, (HENHMETAFILE)g_hImage, &r);
    } else {
        const WmfPlaceableHeader* box = &g_wmfPlaceableHeader;
        int box_width = box->right - box->left, box_height = box->bottom - box->top;
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowOrgEx(dc, box->left, box->top, NULL);
        SetWindowExtEx(dc, box_width ? box_width : 1, box_height ? box_height : 1, NULL);
        SetViewportExtEx(dc, g_animDestWidth, g_animDestHeight, NULL);
        SetViewportOrgEx(dc, g_animDestX, g_animDestY, NULL);
        play_wmf_in_process(dc, (HMETAFILE)g_hImage);
    }
    RestoreDC(dc, saved);
}

template <typename Play>
double best_of_runs(HDC dc, Play play)
{
    double best = 1e9;
    for (int run = 0; run < RUNS; ++run) {
        PatBlt(dc, 0, 0, PREVIEW_SIDE + 6, PREVIEW_SIDE + 6, WHITENESS);
        double t0 = now();
        play(dc);
        GdiFlush();
        double t = now() - t0;
        best = t < best ? t : best;
    }
    return best;
}

void time_current(const std::string& name, HDC dc, double* total_before, double* total_after)
{
    double before = best_of_runs(dc, play_in_process);
    double after = best_of_runs(dc, [](HDC d) { play_metafile_in_preview(NULL, d, 0); });
    printf("%s_inprocess %.6f\n%s_renderer %.6f\n", name.c_str(), before, name.c_str(), after);
    fflush(stdout);
    *total_before += before;
    *total_after += after;
}

std::string base_name(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: metafile_bench FILE.emf...\n");
        return 2;
    }
    g_rcPreview.left = g_rcPreview.top = 3;
    g_rcPreview.right = g_rcPreview.bottom = PREVIEW_SIDE;
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, PREVIEW_SIDE + 6, PREVIEW_SIDE + 6);
    HGDIOBJ old = SelectObject(dc, bitmap);

    // The renderer starts on the first play of the run.
    {
        HDC mf = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
        HENHMETAFILE empty = CloseEnhMetaFile(mf);
        RECT r = {0, 0, 10, 10};
        double t0 = now();
        render_emf(dc, empty, &r);
        printf("renderer_start %.6f\n", now() - t0);
        DeleteEnhMetaFile(empty);
    }
    int ok = 1;
    double before = 0, after = 0;
    for (int i = 1; i < argc; ++i) {
        std::string path = argv[i], name = base_name(path);
        HENHMETAFILE emf = GetEnhMetaFileA(path.c_str());
        if (!emf) {
            fprintf(stderr, "metafile_bench: cannot read %s\n", path.c_str());
            ok = 0;
            continue;
        }
        RECT frame = {0, 0, 0, 0};
        get_emf_info(emf, NULL, &frame, screen);
        fit_image_rect(frame.right - frame.left, frame.bottom - frame.top, 0);
        g_hImage = (HGLOBAL)emf;
        g_imageKind = KIND_EMF;
        time_current(name + "_emf", dc, &before, &after);

        std::string wmf_path = path.substr(0, path.size() - 4) + ".wmf";
        HMETAFILE wmf = NULL;
        if (write_wmf_file(emf, wmf_path.c_str())) {
            HFILE file = _lopen(wmf_path.c_str(), OF_READ);
            RECT bounds;
            DWORD inch = 0;
            char info[INFO_TEXT_SIZE];
            wmf = file == HFILE_ERROR ? NULL
                                      : read_wmf_file(NULL, wmf_path.c_str(), file, info, 1, &bounds, &inch,
                                                      &g_wmfPlaceableHeader);
        }
        if (wmf) {
            g_wmfHasPlaceable = 1;
            g_hImage = (HGLOBAL)wmf;
            g_imageKind = KIND_WMF;
            time_current(name + "_wmf", dc, &before, &after);
            DeleteMetaFile(wmf);
        } else {
            fprintf(stderr, "metafile_bench: cannot convert %s\n", path.c_str());
            ok = 0;
        }
        g_hImage = NULL;
        DeleteEnhMetaFile(emf);
    }
    printf("all_inprocess %.6f\nall_renderer %.6f\n", before, after);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    return ok ? 0 : 1;
}
