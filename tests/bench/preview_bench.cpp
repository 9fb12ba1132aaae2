// Times what a user waits for between selecting a file in the main window
// and seeing its preview, and where that time goes.
//
//   preview_bench FOLDER name=file...
//
// First, in this process, the steps of one load, each the best of three:
// reading the file's bytes (name_read), the reader's call less that read
// (name_decode), the steps the loader takes after a read (name_after: depth
// compaction and alpha flattening) and the halftone stretch into a
// preview-sized bitmap (name_stretch). Then the real program (CORVANE_EXE)
// runs in FOLDER: each file is selected in its list as a click does (a tiny
// picture in between), and name_total is the best of three times from the
// selection to its return, when the preview has been painted. One
// "name seconds" line each; preview_bench.sh sets the totals beside
// ImageMagick making a preview-sized picture of the same file.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "bench_clock.h"
#include "formats/png.h"
#include "formats/tiff_read.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "image/packed_dib.h"
#include "image/preview.h"
#include "jpeg/jpeg_read.h"
#include "tests/e2e/e2e_driver.h"

namespace {

enum { RUNS = 3, PREVIEW_SIDE = 600 };

struct Step {
    double read = 1e9, decode = 1e9, after = 1e9, stretch = 1e9;
};

double keep_best(double best, double t)
{
    return t < best ? t : best;
}

// The file's bytes through the system, as a reader gets them.
double time_file_read(const std::string& path)
{
    double t0 = now();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<char> buffer(1 << 20);
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), (DWORD)buffer.size(), &got, NULL) && got > 0) {
    }
    CloseHandle(file);
    return now() - t0;
}

HGLOBAL read_picture(const std::string& path, char* info)
{
    const char* dot = strrchr(path.c_str(), '.');
    std::string ext = dot ? dot + 1 : "";
    if (ext == "jpg")
        return read_jpeg_file(path.c_str(), info);
    if (ext == "png")
        return read_png_file(path.c_str(), info);
    int format = 0, page = 1, pages = 1;
    return read_tiff_file(path.c_str(), info, &format, &page, &pages, GetModuleHandleA(NULL));
}

bool time_steps(const std::string& path, HDC dc, Step* step)
{
    for (int run = 0; run < RUNS; run++) {
        double read = time_file_read(path);
        char info[INFO_TEXT_SIZE] = "";
        double t0 = now();
        HGLOBAL image = read_picture(path, info);
        double decode = now() - t0 - read;
        if (!image)
            return false;
        t0 = now();
        compact_dib_depth(&image);
        flatten_alpha_onto_background(&image, 0);
        double after = now() - t0;
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(image);
        fit_image_rect(bih->biWidth, bih->biHeight, 0);
        t0 = now();
        stretch_into_preview(dc, bih, NULL);
        GdiFlush();
        double stretch = now() - t0;
        GlobalUnlock(image);
        GlobalFree(image);
        step->read = keep_best(step->read, read);
        step->decode = keep_best(step->decode, decode > 0 ? decode : 0);
        step->after = keep_best(step->after, after);
        step->stretch = keep_best(step->stretch, stretch);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: preview_bench FOLDER name=file...\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 2; i < argc; i++) {
        const char* eq = strchr(argv[i], '=');
        if (!eq)
            return 2;
        files.push_back({std::string(argv[i], eq - argv[i]), eq + 1});
    }

    g_imageKind = KIND_DIB;
    g_rcPreview.left = g_rcPreview.top = 3;
    g_rcPreview.right = g_rcPreview.bottom = PREVIEW_SIDE;
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, PREVIEW_SIDE + 6, PREVIEW_SIDE + 6);
    HGDIOBJ old = SelectObject(dc, bitmap);
    int ok = 1;
    for (const auto& file : files) {
        Step step;
        if (!time_steps(folder + "\\" + file.second, dc, &step)) {
            fprintf(stderr, "preview_bench: cannot read %s\n", file.second.c_str());
            ok = 0;
            continue;
        }
        printf("%s_read %.3f\n%s_decode %.3f\n%s_after %.3f\n%s_stretch %.3f\n", file.first.c_str(), step.read,
               file.first.c_str(), step.decode, file.first.c_str(), step.after, file.first.c_str(), step.stretch);
        fflush(stdout);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);

    RunningApp app;
    if (!start_app("", folder, app) || !wait_for_main(app, 30000)) {
        fprintf(stderr, "preview_bench: the program did not start\n");
        return 1;
    }
    for (const auto& file : files) {
        double best = 1e9;
        for (int run = 0; run < RUNS; run++) {
            if (!select_list_file(app, "tiny.bmp")) {
                fprintf(stderr, "preview_bench: tiny.bmp is not in %s\n", folder.c_str());
                ok = 0;
                break;
            }
            double t0 = now();
            if (!select_list_file(app, file.second)) {
                fprintf(stderr, "preview_bench: %s is not in the list\n", file.second.c_str());
                ok = 0;
                break;
            }
            best = keep_best(best, now() - t0);
        }
        printf("%s_total %.3f\n", file.first.c_str(), best);
        fflush(stdout);
    }
    exit_by_button(app);
    return ok ? 0 : 1;
}
