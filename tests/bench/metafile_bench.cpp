// Times the preview of sound metafiles as it was, played in this process by
// the checked players, and as it is, through the metafile renderer.
//
//   metafile_bench FOLDER FILE...    (.emf, or plain .wmf files in FOLDER)
//
// For each picture, the best of RUNS plays into a preview-sized memory DC
// each way: name_inprocess (the players' own time, what a preview cost
// before the renderer) and name_renderer (play_metafile_in_preview, the
// bytes handed to the running renderer, its play, and the pixels copied
// in and out). The renderer's start, once per run, is timed on its own
// (renderer_start). Then the real program (CORVANE_EXE) runs in FOLDER:
// each file is selected in its list as a click does (tiny.bmp in between),
// and name_program is the best of PROGRAM_RUNS times from the selection to
// its return, when the preview has been painted: the whole preview as a
// user waits for it, whichever program CORVANE_EXE names. When FOLDER
// holds slow.emf (a picture whose play takes seconds), the same program
// shows it and its repaints at the same size are timed, from the window's
// invalidation to the paint's end, best of PROGRAM_RUNS: slow_preview_repaint
// and slow_view_repaint (the image window). One "name seconds" line each.
//
//   metafile_bench --play FOLDER FILE...
//
// Plays each enhanced metafile once through the renderer, preview-sized,
// after the renderer's start: "name_play seconds whole" or "... cut". The
// script makes its slow picture by it, so that the repaints it times are
// of a picture this machine plays whole.
//
//   metafile_bench --convert FOLDER MIB
//
// Converts a sound enhanced metafile of about MIB MiB (red polylines over
// a red rectangle) to a placeable Windows metafile in FOLDER as Convert/Save
// does, after the renderer's start: "convert_MIB seconds written", the best
// of CONVERT_RUNS.
//
//   metafile_bench --mapped FOLDER
//
// Converts each mapped picture of the conversion tests (support/mapped_emf.h)
// the same way: "mapped_N seconds written" or "... refused", best of
// CONVERT_RUNS.
//
//   metafile_bench --files FOLDER FILE...
//
// Reads each enhanced metafile in FOLDER as the preview does and converts
// it the same way: "name seconds written" or "name seconds refused WORDS"
// (the refusal's words), best of CONVERT_RUNS; "name unread WORDS" for a
// file the preview would refuse, in the words it would show.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <windows.h>

#include "bench_clock.h"
#include "image/current_image.h"
#include "image/metafile.h"
#include "image/metafile_play.h"
#include "image/metafile_preview.h"
#include "image/metafile_renderer.h"
#include "image/preview.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "tests/e2e/e2e_driver.h"
#include "tests/support/large_metafile.h"
#include "tests/support/mapped_emf.h"

namespace {

enum { RUNS = 20, PROGRAM_RUNS = 5, PREVIEW_SIDE = 600, CONVERT_RUNS = 3 };

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
        SetMapMode(dc, MM_ANISOTROPIC);
        map_placeable_box(dc, g_wmfHasPlaceable ? &g_wmfPlaceableHeader : NULL);
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

// Pixels of the preview that the last play left other than white: both
// ways must draw the same picture for the times to compare.
long drawn_pixels(HDC dc)
{
    long n = 0;
    for (int y = 0; y < PREVIEW_SIDE; y += 2)
        for (int x = 0; x < PREVIEW_SIDE; x += 2)
            n += GetPixel(dc, x, y) != RGB(255, 255, 255);
    return n;
}

void time_current(const std::string& name, HDC dc, double* total_before, double* total_after)
{
    double before = best_of_runs(dc, play_in_process);
    long pixels_before = drawn_pixels(dc);
    double after = best_of_runs(dc, [](HDC d) { play_metafile_in_preview(NULL, d, 0); });
    if (drawn_pixels(dc) != pixels_before)
        fprintf(stderr, "metafile_bench: %s draws differently through the renderer\n", name.c_str());
    printf("%s_inprocess %.6f\n%s_renderer %.6f\n", name.c_str(), before, name.c_str(), after);
    fflush(stdout);
    *total_before += before;
    *total_after += after;
}

// From the window's invalidation to the end of the paint it makes: the
// paint has begun when the update region is empty (BeginPaint), and ended
// when the window's thread answers again.
double repaint_seconds(HWND window)
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 60000, &ignored);
    double t0 = now();
    InvalidateRect(window, NULL, TRUE);
    while (GetUpdateRect(window, NULL, FALSE) && now() - t0 < 60)
        Sleep(0);
    SendMessageTimeoutA(window, WM_NULL, 0, 0, 0, 60000, &ignored);
    return now() - t0;
}

double best_repaint(HWND window)
{
    double best = 1e9;
    for (int run = 0; run < PROGRAM_RUNS; ++run) {
        double t = repaint_seconds(window);
        best = t < best ? t : best;
    }
    return best;
}

// The slow picture shown in the preview and the image window, each window
// painted once before its repaints are timed.
bool time_slow_repaints(RunningApp& app)
{
    if (!select_list_file(app, "slow.emf"))
        return false;
    HWND preview = GetDlgItem(app.main, IDC_MAIN_PREVIEW);
    repaint_seconds(preview);
    printf("slow_preview_repaint %.6f\n", best_repaint(preview));
    fflush(stdout);
    HWND view = open_image_window(app, IDC_MAIN_CENTER);
    if (!view)
        return false;
    repaint_seconds(view);
    printf("slow_view_repaint %.6f\n", best_repaint(view));
    fflush(stdout);
    PostMessageA(view, WM_CLOSE, 0, 0);
    return wait_until_closed(view, 60000);
}

std::string base_name(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

}  // namespace

// One play of each file through the renderer (--play).
static int time_plays(const std::string& folder, int count, char** files)
{
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, PREVIEW_SIDE, PREVIEW_SIDE);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT r = {0, 0, PREVIEW_SIDE, PREVIEW_SIDE};
    HDC mf = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    HENHMETAFILE empty = CloseEnhMetaFile(mf);
    render_emf(dc, empty, &r);
    DeleteEnhMetaFile(empty);
    int ok = 1;
    for (int i = 0; i < count; ++i) {
        HENHMETAFILE emf = GetEnhMetaFileA((folder + "\\" + files[i]).c_str());
        if (!emf) {
            fprintf(stderr, "metafile_bench: cannot read %s\n", files[i]);
            ok = 0;
            continue;
        }
        double t0 = now();
        RenderOutcome outcome = render_emf(dc, emf, &r);
        printf("%s_play %.6f %s\n", base_name(files[i]).c_str(), now() - t0, outcome == RENDER_WHOLE ? "whole" : "cut");
        fflush(stdout);
        DeleteEnhMetaFile(emf);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    return ok ? 0 : 1;
}

// The best of CONVERT_RUNS conversions of emf (may be null) to a Windows
// metafile at path as Convert/Save makes it; *written, the last's result.
static double best_conversion(HENHMETAFILE emf, const std::string& path, int* written)
{
    double best = 1e9;
    *written = 0;
    for (int run = 0; emf && run < CONVERT_RUNS; ++run) {
        double t0 = now();
        *written = write_wmf_file(emf, path.c_str());
        double t = now() - t0;
        best = t < best ? t : best;
    }
    return best;
}

// Times the conversion of a large sound picture (--convert).
static int time_conversion(const std::string& folder, unsigned mib)
{
    const std::string bytes = large_sound_emf((uint64_t)mib << 20);
    HENHMETAFILE emf = SetEnhMetaFileBits((UINT)bytes.size(), (const BYTE*)bytes.data());
    HDC mf = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
    HENHMETAFILE empty = CloseEnhMetaFile(mf);
    const std::string path = folder + "\\converted.wmf";
    write_wmf_file(empty, path.c_str());
    DeleteEnhMetaFile(empty);
    int written = 0;
    const double best = best_conversion(emf, path, &written);
    printf("convert_%u %.6f %s\n", mib, best, written == 1 ? "written" : "refused");
    fflush(stdout);
    if (emf)
        DeleteEnhMetaFile(emf);
    return emf && written == 1 ? 0 : 1;
}

// Times the conversion of each mapped picture (--mapped).
static int time_mapped_conversions(const std::string& folder)
{
    const std::string path = folder + "\\mapped.wmf";
    int index = 0;
    for (const MappedEmf& picture : mapped_emfs()) {
        HENHMETAFILE emf = SetEnhMetaFileBits((UINT)picture.bits.size(), (const BYTE*)picture.bits.data());
        int written = 0;
        const double best = best_conversion(emf, path, &written);
        printf("mapped_%d %.6f %s\n", ++index, best, written == 1 ? "written" : "refused");
        fflush(stdout);
        if (emf)
            DeleteEnhMetaFile(emf);
    }
    return 0;
}

static std::string s_said;  // the words of the last message box

// Times the conversion of each enhanced metafile named (--files).
static int time_file_conversions(const std::string& folder, int count, char** files)
{
    const std::string path = folder + "\\converted.wmf";
    seam_set_message_box([](HWND, const char* text, const char*, UINT) {
        s_said = text;
        return IDOK;
    });
    for (int i = 0; i < count; ++i) {
        s_said = "no words";
        HENHMETAFILE emf = read_emf_file(NULL, (folder + "\\" + files[i]).c_str(), NULL);
        if (!emf) {
            printf("%s unread %s\n", base_name(files[i]).c_str(), s_said.c_str());
            fflush(stdout);
            continue;
        }
        int written = 0;
        const double best = best_conversion(emf, path, &written);
        if (written == 1)
            printf("%s %.6f written\n", base_name(files[i]).c_str(), best);
        else
            printf("%s %.6f refused %s\n", base_name(files[i]).c_str(), best,
                   written ? metafile_fault_words(metafile_write_fault(written)) : "not written");
        fflush(stdout);
        DeleteEnhMetaFile(emf);
    }
    seam_set_message_box(NULL);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: metafile_bench [--play] FOLDER FILE...\n");
        return 2;
    }
    // The renderer of this build tree: it is looked for only beside a program.
    render_set_file_for_test(BUILT_RENDERER);
    if (strcmp(argv[1], "--play") == 0)
        return argc < 4 ? 2 : time_plays(argv[2], argc - 3, argv + 3);
    if (strcmp(argv[1], "--files") == 0)
        return argc < 4 ? 2 : time_file_conversions(argv[2], argc - 3, argv + 3);
    if (strcmp(argv[1], "--mapped") == 0)
        return time_mapped_conversions(argv[2]);
    if (strcmp(argv[1], "--convert") == 0)
        return argc < 4 ? 2 : time_conversion(argv[2], (unsigned)atoi(argv[3]));
    const std::string folder = argv[1];
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
    for (int i = 2; i < argc; ++i) {
        std::string path = folder + "\\" + argv[i], name = base_name(path);
        bool is_emf = path.size() > 4 && path.compare(path.size() - 4, 4, ".emf") == 0;
        if (is_emf) {
            HENHMETAFILE emf = GetEnhMetaFileA(path.c_str());
            RECT frame = {0, 0, 0, 0};
            get_emf_info(emf, NULL, &frame, screen);
            fit_image_rect(frame.right - frame.left, frame.bottom - frame.top, 0);
            g_hImage = (HGLOBAL)emf;
            g_imageKind = KIND_EMF;
        } else {
            // A plain Windows metafile, in a square preview from its corner.
            HFILE file = _lopen(path.c_str(), OF_READ);
            RECT bounds;
            DWORD inch = 0;
            char info[INFO_TEXT_SIZE];
            g_wmfHasPlaceable = 0;
            g_hImage = file == HFILE_ERROR ? NULL
                                           : (HGLOBAL)read_wmf_file(NULL, path.c_str(), file, info, 0, &bounds,
                                                                    &inch, &g_wmfPlaceableHeader);
            g_imageKind = KIND_WMF;
        }
        if (!g_hImage) {
            fprintf(stderr, "metafile_bench: cannot read %s\n", path.c_str());
            ok = 0;
            continue;
        }
        time_current(name, dc, &before, &after);
        if (is_emf)
            DeleteEnhMetaFile((HENHMETAFILE)g_hImage);
        else
            DeleteMetaFile((HMETAFILE)g_hImage);
        g_hImage = NULL;
    }
    printf("all_inprocess %.6f\nall_renderer %.6f\n", before, after);
    fflush(stdout);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);

    RunningApp app;
    if (!start_app("", folder, app) || !wait_for_main(app, 30000)) {
        fprintf(stderr, "metafile_bench: the program did not start\n");
        return 1;
    }
    double total = 0;
    for (int i = 2; i < argc; ++i) {
        double best = 1e9;
        for (int run = 0; run < PROGRAM_RUNS; ++run) {
            if (!select_list_file(app, "tiny.bmp")) {
                fprintf(stderr, "metafile_bench: tiny.bmp is not in %s\n", folder.c_str());
                ok = 0;
                break;
            }
            double t0 = now();
            if (!select_list_file(app, argv[i])) {
                fprintf(stderr, "metafile_bench: %s is not in the list\n", argv[i]);
                ok = 0;
                break;
            }
            double t = now() - t0;
            best = t < best ? t : best;
        }
        printf("%s_program %.6f\n", base_name(argv[i]).c_str(), best);
        fflush(stdout);
        total += best;
    }
    printf("all_program %.6f\n", total);
    fflush(stdout);
    std::string slow = folder + "\\slow.emf";
    if (GetFileAttributesA(slow.c_str()) != INVALID_FILE_ATTRIBUTES && !time_slow_repaints(app)) {
        fprintf(stderr, "metafile_bench: slow.emf was not shown\n");
        ok = 0;
    }
    exit_by_button(app);
    return ok ? 0 : 1;
}
