// The mutation harness: feeds every reader of the table mutated copies of
// its starting inputs through the selected-file loader, the road a user's
// file takes (identification, reader, information text, preview layout,
// after-read steps, animation frames, release), and the roads that read a
// file apart from it (comment rewriters, lossless transforms), with message
// boxes recorded instead of shown. An input fails when it crashes, hangs,
// damages a heap, leaves the information text unterminated, raises the
// process's resident memory past PEAK_LIMIT while no picture that large was
// shown nor held by the read within its ceiling (on a road that shows none:
// while the loader shows and holds none of the same file) or, run twice,
// holds more memory or handles after its release both times. A metafile is
// played as the program plays it, through the renderer process, into
// windows shown on the display (the preview, then a window of the image
// window's size, whole and tiled), into a square of the default printer's
// page, and converted to the other kind of metafile: a play the renderer cut must be told once, and a conversion it
// cut must leave no file. A Windows metafile whose records leave the file
// before their end record must not be shown. Folders come from CORVANE_FIXTURES and
// CORVANE_TEST_OUT; main() prints the options.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_timers.h"
#include "fuzz/fuzz.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/loader.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_preview.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/pixel_ceiling.h"
#include "image/preview.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "support/dib_block.h"
#include "support/peak_memory.h"
#include "support/test_support.h"

struct Options {
    uint64_t key = 0x13C0FFEEull;
    uint64_t inputs = 200;  // per reader (--index: 1), unless --seconds is given
    double seconds = 0;     // per reader
    // The readers run, with the kept files they keep: those named, or
    // every one but those named (except); all when none is named.
    std::vector<std::string> readers;
    bool except = false;
    uint64_t start = 0;
    std::string file;
    std::vector<std::string> regress_dirs;  // every --regress given
    unsigned hang_ms = 10000;
};

struct StartingInput {
    std::string name;
    std::string bytes;
};

// The renderer's time for one request here: a stall is held alike at any
// limit, and the kept files hold dozens of them, each met on several roads
// and run twice. A play budget under it ends a slow play, a conversion's
// too, inside the renderer, which then serves the next request without a
// restart.
static const DWORD HARNESS_RENDER_TIME_MS = 500;
static const DWORD HARNESS_PLAY_BUDGET_MS = 400;

// Larger files only dilute the mutations.
static const size_t MAX_STARTING_BYTES = 96 * 1024;

// The most a read may raise resident memory unless the picture it shows
// accounts for it (a file that really holds a large picture).
static const uint64_t PEAK_LIMIT = 256u << 20;
// A shown picture accounts for this many times its own block: the working
// copies and the display's conversion of it.
static const uint64_t PEAK_PER_PICTURE = 4;

static HWND s_main;
static HWND s_view;  // a stand-in for the image window, shown beside it
static HDC s_printer;  // the default printer's, when there is one; no page is started
static std::string s_work_dir;
static std::string s_listed;  // the name in the list box
static int s_boxes;           // message boxes of the current input
static uint64_t s_shown_bytes;  // block size of the picture the input showed
// What the read reported holding besides it (frames kept together, a
// library's sample planes), each within its ceiling (pixel_ceiling.h).
static uint64_t s_held_bytes;

static std::string env_or(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

static std::string extension_of(const std::string& name)
{
    size_t dot = name.find_last_of(".\\/");
    return dot != std::string::npos && name[dot] == '.' ? name.substr(dot) : "";
}

// The files matching a pattern ("dir\*.ext"), sorted, so that an index
// always picks the same one.
static std::vector<std::string> files_matching(std::string pattern)
{
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    std::string folder = pattern.substr(0, pattern.find_last_of('\\') + 1);
    std::vector<std::string> paths;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return paths;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            paths.push_back(folder + found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(paths.begin(), paths.end());
    return paths;
}

static std::vector<StartingInput> collect_starting_inputs(const FuzzReader& reader, const std::string& fixture_dir,
                                                          const std::string& out_dir)
{
    std::vector<std::string> paths;
    std::istringstream patterns(reader.patterns);
    std::string pattern;
    while (patterns >> pattern) {
        std::vector<std::string> more =
            files_matching((pattern.compare(0, 5, "made/") == 0 ? out_dir : fixture_dir) + "\\" + pattern);
        paths.insert(paths.end(), more.begin(), more.end());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<StartingInput> inputs;
    for (const std::string& path : paths) {
        StartingInput input = {path, read_file_bytes(path)};
        if (!input.bytes.empty() && input.bytes.size() <= MAX_STARTING_BYTES)
            inputs.push_back(input);
    }
    return inputs;
}

// A stand-in for the main window: the loader needs only its file list, its
// preview and the name field. It is shown, as is the image window's
// stand-in beside it: on a hidden window the display draws nothing, and
// faults of drawing on a display would not show.
static HWND create_main_window(void)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "CorvaneFuzzMain";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("CorvaneFuzzMain", "fuzz", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, NULL, NULL,
                              wc.hInstance, NULL);
    s_view = CreateWindowA("CorvaneFuzzMain", "fuzz view", WS_POPUP | WS_VISIBLE, 640, 0, 640, 480, NULL, NULL,
                           wc.hInstance, NULL);
    CreateWindowA("LISTBOX", "", WS_CHILD, 0, 0, 200, 400, hwnd, (HMENU)IDC_MAIN_FILE_LIST, wc.hInstance, NULL);
    CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 220, 10, 306, 306, hwnd, (HMENU)IDC_MAIN_PREVIEW,
                  wc.hInstance, NULL);
    CreateWindowA("EDIT", "", WS_CHILD, 0, 420, 400, 20, hwnd, (HMENU)IDC_MAIN_NAME_EDIT, wc.hInstance, NULL);
    g_hInstance = wc.hInstance;
    g_hwndMain = hwnd;
    g_rcPreview.right = g_rcPreview.bottom = 300;
    return hwnd;
}

// The block of the picture shown, but at least its pixels at 24 bits: on a
// palette display the block is the reduced copy, while the read held the
// picture in full colour.
static uint64_t shown_picture_bytes()
{
    uint64_t bytes = GlobalSize(g_hImage);
    const BITMAPINFOHEADER* bih =
        g_imageKind == KIND_DIB ? (const BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (!bih)
        return bytes;
    if (bytes >= sizeof *bih && bih->biSize >= sizeof *bih && bih->biWidth > 0) {
        uint64_t height = bih->biHeight < 0 ? 0 - (int64_t)bih->biHeight : bih->biHeight;
        uint64_t full = (uint64_t)(uint32_t)bih->biWidth * height * 3;
        bytes = full > bytes ? full : bytes;
    }
    GlobalUnlock(g_hImage);
    return bytes;
}

struct RunTotals {
    uint64_t inputs = 0, shown = 0, refused = 0, failures = 0;
};

// The metafile just loaded down the roads past the preview: played into the
// image window's stand-in as that window plays it, whole and tiled, and
// into a square of the printer's page as printing plays it, then converted
// as Convert/Save converts it. Counts a failure when a play the
// renderer cut went untold or was told more than once, or when a
// conversion that failed left a file.
static void run_metafile_roads(RunTotals* totals)
{
    const bool emf = g_imageKind == KIND_EMF;
    const int boxes_after_preview = s_boxes;
    const bool cut_in_preview = metafile_play_failed(g_hImage) != 0;
    RECT client;
    GetClientRect(s_view, &client);
    HDC dc = GetDC(s_view);
    if (emf) {
        RECT whole = {8, 8, client.right - 8, client.bottom - 8};
        play_emf(dc, (HENHMETAFILE)g_hImage, &whole);
        play_metafile_tiled(dc, g_hImage, 1, NULL, 0, 3, 5, 63, 47, 10, 10);
    } else if (!g_wmfHasPlaceable) {
        play_wmf(dc, (HMETAFILE)g_hImage);
    } else {
        int width = g_rcMetafile.right - g_rcMetafile.left + 1, height = g_rcMetafile.bottom - g_rcMetafile.top + 1;
        play_wmf_in_rect(s_view, dc, client.right, client.bottom, width, height, 0);
        play_wmf_in_rect(s_view, dc, client.right, client.bottom, 63, 47, 1);
    }
    ReleaseDC(s_view, dc);
    if (s_printer) {
        // About a band of the renderer's at the printer's resolution.
        int saved = SaveDC(s_printer);
        IntersectClipRect(s_printer, 0, 0, 1200, 1200);
        RECT square = {100, 100, 1100, 1100};
        if (emf)
            play_emf(s_printer, (HENHMETAFILE)g_hImage, &square);
        else if (!g_wmfHasPlaceable)
            play_wmf(s_printer, (HMETAFILE)g_hImage);
        else
            play_wmf_in_rect(s_main, s_printer, 1200, 1200, 1000, 1000, 0);
        RestoreDC(s_printer, saved);
    }
    const bool cut = metafile_play_failed(g_hImage) != 0;
    const int told = s_boxes - boxes_after_preview;
    if ((cut && s_boxes == 0) || told > 1 || (cut_in_preview && told > 0)) {
        save_failure(cut && s_boxes == 0 ? "cut-untold" : "cut-told-again");
        totals->failures++;
    }
    std::string converted = s_work_dir + (emf ? "\\converted.wmf" : "\\converted.emf");
    DeleteFileA(converted.c_str());
    int written = emf ? write_wmf_file((HENHMETAFILE)g_hImage, converted.c_str())
                      : write_emf_file((HMETAFILE)g_hImage, converted.c_str());
    if (written != 1 && GetFileAttributesA(converted.c_str()) != INVALID_FILE_ATTRIBUTES) {
        save_failure("conversion-left-a-file");
        totals->failures++;
    }
    DeleteFileA(converted.c_str());
}

// Whether the Windows metafile's records, from offset start of the file's
// bytes, chain in whole records to an end record inside the file: one that
// does not is a cut picture, which is never shown as if it were whole.
static bool wmf_records_reach_their_end(const std::string& bytes, size_t start)
{
    size_t at = start + 18;
    while (at <= bytes.size() && bytes.size() - at >= 6) {
        uint32_t words = get_le32(bytes, at);
        if (words < 3 || words > (bytes.size() - at) / 2)
            return false;
        if (get_le16(bytes, at + 4) == 0)
            return true;
        at += (size_t)words * 2;
    }
    return false;
}

// Whether the renderer (the build tree's, use_built_renderer) plays an
// empty picture whole.
static bool renderer_plays(void)
{
    HENHMETAFILE empty = CloseEnhMetaFile(CreateEnhMetaFileA(NULL, NULL, NULL, NULL));
    HDC dc = CreateCompatibleDC(NULL);
    RECT r = {0, 0, 1, 1};
    bool plays = render_emf(dc, empty, &r) == RENDER_WHOLE;
    DeleteDC(dc);
    DeleteEnhMetaFile(empty);
    return plays;
}

// One selection of the input, as the main window makes it, then its
// animation frames and the release.
static bool load_and_release(const FuzzReader* reader, const std::string& path, const std::string& name,
                             RunTotals* totals)
{
    s_shown_bytes = 0;
    take_held_credit();
    if (reader && reader->run) {
        bool shown = reader->run(path);
        s_held_bytes = take_held_credit();
        return shown;
    }
    if (name != s_listed) {
        HWND list = GetDlgItem(s_main, IDC_MAIN_FILE_LIST);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)name.c_str());
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        s_listed = name;
    }
    release_image_for_new_selection(s_main);
    if (g_hImageUnconverted) {
        GlobalFree(g_hImageUnconverted);
        g_hImageUnconverted = NULL;
    }
    g_colorConversion = 0;
    g_imageOrientation = 0;
    load_selected_file(s_main, g_rcPreview);
    s_held_bytes = take_held_credit();
    bool shown = g_hImage != NULL;
    s_shown_bytes = shown ? shown_picture_bytes() : 0;
    if (shown && g_imageKind == KIND_WMF &&
        !wmf_records_reach_their_end(read_file_bytes(path), g_wmfHasPlaceable ? WMF_PLACEABLE_SIZE : 0)) {
        save_failure("cut-shown");
        totals->failures++;
    }
    if (shown && (g_imageKind == KIND_EMF || g_imageKind == KIND_WMF))
        run_metafile_roads(totals);
    for (int frame = 0; frame < 64 && g_imageKind == KIND_ANIMATED_GIF; frame++)
        main_on_timer(s_main, g_animTimerId);
    release_image_for_new_selection(s_main);
    release_current_image();
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    return shown;
}

// Runs one input; a crash, hang or damaged heap ends the process.
static void run_input(const std::string& bytes, const GuardedInput& about, const FuzzReader* reader,
                      RunTotals* totals)
{
    std::string name = "input" + about.extension;
    GuardedInput input = about;
    input.path = s_work_dir + "\\" + name;
    // For a death no guard sees (the display connection lost): which input.
    char current[160];
    std::snprintf(current, sizeof current, "%s %#llx %llu %s\n", about.reader.c_str(), (unsigned long long)about.key,
                  (unsigned long long)about.index, name.c_str());
    write_file_bytes(s_work_dir + "\\current.txt", current);
    // Some inputs meet the colour reduction of palette displays.
    seam_set_display_bits(about.index % 8 == 3 ? 8 : about.index % 8 == 7 ? 4 : 24);

    bool shown = false;
    for (int run = 0; run < 2; run++) {
        // A rewriting road changed the first run's copy.
        if ((run == 0 || (reader && reader->run)) && !write_file_bytes(input.path, bytes)) {
            std::printf("cannot write %s\n", input.path.c_str());
            std::exit(EXIT_FAILURES);
        }
        HeldMemory before = measure_held_memory();
        s_boxes = 0;
        PeakMemoryWatch peak;
        begin_guarded_input(input);
        shown = load_and_release(reader, input.path, name, totals);
        uint64_t rise = peak.rise();
        // Past damaged memory nothing may run, not even the exit handlers.
        const char* damage = heaps_are_sound() ? NULL : "heap";
        if (!damage && !std::memchr(g_infoText, 0, sizeof g_infoText))
            damage = "info-text";
        if (damage) {
            save_failure(damage);
            std::_Exit(EXIT_HEAP);
        }
        // A road that shows nothing (a transform, a rewrite) may still have
        // read a file that really holds a large picture: the picture the
        // loader shows of the same bytes, and what it holds, account for
        // it, as on the loader's road.
        if (run == 0 && rise > PEAK_LIMIT && reader && reader->run && s_shown_bytes == 0) {
            int boxes = s_boxes;
            if (write_file_bytes(input.path, bytes))
                load_and_release(NULL, input.path, name, totals);
            s_boxes = boxes;
        }
        if (run == 0 && rise > PEAK_LIMIT && rise > s_shown_bytes * PEAK_PER_PICTURE + s_held_bytes) {
            save_failure("memory");
            std::printf("  resident memory rose by %llu MB; the picture shown has %llu MB, the read held %llu MB\n",
                        (unsigned long long)(rise >> 20), (unsigned long long)(s_shown_bytes >> 20),
                        (unsigned long long)(s_held_bytes >> 20));
            totals->failures++;
        }
        end_guarded_input();
        HeldMemory after = measure_held_memory();
        // The first run may fill caches the program keeps; only what a
        // second run of the same input holds again is a leak.
        if (after.blocks <= before.blocks && after.bytes <= before.bytes && after.handles <= before.handles)
            break;
        if (run == 1) {
            begin_guarded_input(input);
            save_failure("leak");
            end_guarded_input();
            std::printf("  held %lu more blocks (%lu movable), %lu more bytes, %ld more handles\n",
                        (unsigned long)(after.blocks - before.blocks),
                        (unsigned long)(after.movable_blocks - before.movable_blocks),
                        (unsigned long)(after.bytes - before.bytes), (long)(after.handles - before.handles));
            totals->failures++;
        }
    }
    totals->inputs++;
    if (shown)
        totals->shown++;
    else if (s_boxes)
        totals->refused++;
}

static bool run_reader(const FuzzReader& reader, const Options& options, const std::vector<StartingInput>& starting,
                       RunTotals* all)
{
    if (starting.empty()) {
        std::printf("FAIL %s: no starting inputs (%s)\n", reader.name, reader.patterns);
        return false;
    }
    RunTotals totals;
    DWORD begun = GetTickCount();
    const bool timed = options.seconds > 0;
    for (uint64_t i = 0; timed ? GetTickCount() - begun < options.seconds * 1000 : i < options.inputs; i++) {
        InputRandom random(options.key, reader.name, options.start + i);
        const StartingInput& from = starting[random.below((uint32_t)starting.size())];
        std::string bytes = from.bytes;
        mutate_bytes(bytes, random);
        run_input(bytes, {reader.name, options.key, options.start + i, "", extension_of(from.name)}, &reader,
                  &totals);
    }
    double seconds = (GetTickCount() - begun) / 1000.0;
    std::printf("%-11s %7llu inputs from %u files in %6.1f s, %6.0f per second; %llu shown, %llu refused "
                "with a message; %llu failures\n",
                reader.name, (unsigned long long)totals.inputs, (unsigned)starting.size(), seconds,
                seconds > 0 ? totals.inputs / seconds : 0.0, (unsigned long long)totals.shown,
                (unsigned long long)totals.refused, (unsigned long long)totals.failures);
    all->inputs += totals.inputs;
    all->failures += totals.failures;
    return true;
}

static bool is_chosen(const Options& options, const FuzzReader& reader)
{
    bool named = false;
    for (const std::string& name : options.readers)
        named = named || lstrcmpiA(name.c_str(), reader.name) == 0;
    return options.readers.empty() || named != options.except;
}

// Files kept from earlier failures, each run once as it stands, those of
// the readers chosen. A file's index is its place among all the folder's
// runs, chosen or not, so that it meets the same display in any run.
static bool run_files(const std::vector<std::string>& paths, const Options& options, RunTotals* all)
{
    RunTotals totals;
    bool complete = true;
    uint64_t index = 0;
    for (const std::string& path : paths) {
        std::string file_name = path.substr(path.find_last_of("\\/") + 1);
        const FuzzReader* own = fuzz_reader_for_file(file_name);
        // A file kept for the loader goes down the other roads that read
        // its format too.
        std::vector<const FuzzReader*> roads = {own};
        if (!own) {
            std::vector<const FuzzReader*> more = fuzz_roads_for_extension(extension_of(path));
            roads.insert(roads.end(), more.begin(), more.end());
        }
        const FuzzReader* keeper = fuzz_reader_keeping(file_name);
        if (!keeper && !options.readers.empty()) {
            // No run of chosen readers would ever take it.
            std::printf("FAIL no reader keeps %s\n", path.c_str());
            complete = false;
        }
        if (!options.readers.empty() && (!keeper || !is_chosen(options, *keeper))) {
            index += roads.size();
            continue;
        }
        std::string bytes = read_file_bytes(path);
        if (bytes.empty()) {
            std::printf("FAIL cannot read %s\n", path.c_str());
            return false;
        }
        for (const FuzzReader* road : roads)
            run_input(bytes, {road ? road->name : "file", 0, index++, "", extension_of(path), file_name}, road,
                      &totals);
    }
    std::printf("kept        %7llu files run; %llu failures\n", (unsigned long long)totals.inputs,
                (unsigned long long)totals.failures);
    all->failures += totals.failures;
    return complete;
}

// The names of a comma-separated list.
static std::vector<std::string> split_names(const std::string& list)
{
    std::vector<std::string> names;
    std::istringstream items(list);
    std::string name;
    while (std::getline(items, name, ','))
        if (!name.empty())
            names.push_back(name);
    return names;
}

static bool parse_options(int argc, char** argv, Options* o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i], value = argv[i + 1];
        uint64_t number = std::strtoull(value.c_str(), NULL, 0);
        if (arg == "--key")
            o->key = number;
        else if (arg == "--inputs")
            o->inputs = number;
        else if (arg == "--seconds")
            o->seconds = std::atof(value.c_str());
        else if (arg == "--reader" || arg == "--except")
            o->readers = split_names(value), o->except = arg == "--except";
        else if (arg == "--start")
            o->start = number;
        else if (arg == "--index")
            o->start = number, o->inputs = 1;
        else if (arg == "--file")
            o->file = value;
        else if (arg == "--regress")
            o->regress_dirs.push_back(value);
        else if (arg == "--hang-ms")
            o->hang_ms = (unsigned)number;
        else
            return false;
    }
    return argc % 2 == 1;
}

int main(int argc, char** argv)
{
    std::setvbuf(stdout, NULL, _IONBF, 0);
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::printf("usage: corvane_fuzz [--key K] [--inputs N | --seconds S] [--reader NAME,... | --except NAME,...]\n"
                    "       [--start I] [--index I] [--file PATH] [--regress DIR] [--hang-ms MS]\n");
        return EXIT_FAILURES;
    }
    std::string fixture_dir = env_or("CORVANE_FIXTURES", "fixtures");
    // Beside the harness, in the build tree, when no folder is given.
    std::string out_dir = env_or("CORVANE_TEST_OUT", "");
    if (out_dir.empty()) {
        char exe[MAX_PATH];
        DWORD length = GetModuleFileNameA(NULL, exe, sizeof exe);
        out_dir = std::string(exe, length).substr(0, std::string(exe, length).find_last_of("\\/") + 1) + "fuzz-out";
    }
    // The folder and any missing parents (a run of the harness alone).
    for (size_t at = out_dir.find_first_of("\\/", 3); at != std::string::npos;
         at = out_dir.find_first_of("\\/", at + 1))
        CreateDirectoryA(out_dir.substr(0, at).c_str(), NULL);
    CreateDirectoryA(out_dir.c_str(), NULL);
    s_work_dir = out_dir + "\\work";
    CreateDirectoryA(s_work_dir.c_str(), NULL);
    std::string failure_dir = out_dir + "\\failures";
    install_guards(failure_dir, options.hang_ms);

    seam_set_message_box([](HWND, const char*, const char*, UINT) {
        s_boxes++;
        return IDOK;
    });
    seam_set_beep([](UINT) {});
    seam_set_create_media_window([](HWND, HINSTANCE, DWORD, const char*) { return (HWND)NULL; });
    seam_set_settings_file((s_work_dir + "\\Corvane.ini").c_str());
    render_set_limits_for_test(HARNESS_RENDER_TIME_MS, 0);
    render_set_play_budget_for_test(HARNESS_PLAY_BUDGET_MS);
    // Without the renderer every metafile would only be said to be cut, and
    // the metafile roads would try nothing.
    if (!renderer_plays()) {
        std::printf("FAIL no metafile renderer plays\n");
        return EXIT_FAILURES;
    }
    PRINTDLGA printer = {};
    printer.lStructSize = sizeof printer;
    printer.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    if (PrintDlgA(&printer)) {
        s_printer = printer.hDC;
        GlobalFree(printer.hDevMode);
        GlobalFree(printer.hDevNames);
    }
    s_main = create_main_window();
    make_harness_inputs(fixture_dir, out_dir + "\\made");
    SetCurrentDirectoryA(s_work_dir.c_str());

    std::printf("key %#llx; failures go to %s\n", (unsigned long long)options.key, failure_dir.c_str());
    if (!heaps_are_sound()) {
        std::printf("FAIL the heaps are damaged before the first input\n");
        return EXIT_HEAP;
    }
    RunTotals all;
    bool complete = true;
    if (!options.file.empty()) {
        complete = run_files({options.file}, Options(), &all);
    } else {
        for (const std::string& name : options.readers) {
            bool known = false;
            for (size_t i = 0; i < FUZZ_READER_COUNT; i++)
                known = known || lstrcmpiA(name.c_str(), FUZZ_READERS[i].name) == 0;
            if (!known) {
                std::printf("FAIL no reader named %s\n", name.c_str());
                complete = false;
            }
        }
        for (const std::string& dir : options.regress_dirs)
            complete = run_files(files_matching(dir + "\\*"), options, &all) && complete;
        for (size_t i = 0; i < FUZZ_READER_COUNT; i++) {
            const FuzzReader& reader = FUZZ_READERS[i];
            if (is_chosen(options, reader))
                complete = run_reader(reader, options, collect_starting_inputs(reader, fixture_dir, out_dir), &all) &&
                           complete;
        }
    }
    std::printf("%llu inputs, %llu failures\n", (unsigned long long)all.inputs, (unsigned long long)all.failures);
    return complete && all.failures == 0 ? 0 : EXIT_FAILURES;
}
