// The program's side of the metafile renderer (see metafile_renderer.h):
// starting it, handing it requests through the shared control block and
// the data mapping, and waiting under the limits. The renderer's loop is in
// render_serve.cpp. The program does not pump messages while it waits: a
// request ends within its time limit.
#include "image/metafile_renderer.h"

#include "image/emf_check.h"
#include "image/wmf_seal.h"
#include "image/progress.h"
#include "image/render_ipc.h"
#include "image/section_dc.h"

#include <ntsecapi.h>
#include <psapi.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

static const char RENDERER_FILE[] = "CorvaneRender.exe";
// A test program's renderer, by its full path; empty: the one beside the
// program.
static char s_rendererForTest[MAX_PATH];
// A test's prefix for the names of the renderer's objects; empty: a random one.
static char s_namePrefixForTest[64];
// Time the renderer may take to start, before its first request.
enum { RENDER_START_LIMIT_MS = 30000, RENDER_POLL_MS = 20, CHECK_BUDGET_MARGIN_MS = 500 };
// Pixels of one band of a play: 32 MB at 32 bits.
enum { RENDER_BAND_PIXELS = 8 << 20 };
// Largest data mapping (metafile bytes and a band) the program makes.
#define MAX_RENDER_DATA_BYTES (512u << 20)
// A data mapping is kept for the next request only while it is small and
// the metafile bytes it took were few: no second copy of a large metafile
// stays beside it between requests.
#define KEEP_RENDER_DATA_BYTES (64u << 20)
#define KEEP_RENDER_INPUT_BYTES (1u << 20)
// Copies of a conversion's input that the renderer holds at once beside
// the work of the conversion itself, which its limit bounds: the metafile
// the system makes of the input and, inside the system's conversion to a
// Windows metafile, its own copy of those bytes, the metafile it records
// them into as comments (twice while that grows) and the result that holds
// them. The renderer lets its view of the input go first.
enum { CONVERSION_INPUT_COPIES = 5 };

struct Renderer {
    HANDLE process;
    HANDLE control_map;
    RenderControl* control;
    HANDLE request, reply;
    HANDLE data;             // the data mapping, kept across renderers
    BYTE* data_view;
    DWORD data_bytes;
    DWORD input_bytes;       // the metafile bytes the last request put into it
    HANDLE data_in_renderer; // its handle in the running renderer, or null
};

static Renderer s_render;
static void release_band_dc(void);
static DWORD s_timeLimit = RENDER_TIME_LIMIT_MS;
static DWORD s_checkLimit = RENDER_CHECK_LIMIT_MS;  // of a conversion's check
static SIZE_T s_memoryLimit = RENDER_MEMORY_LIMIT_BYTES;
static DWORD s_playBudget;  // 0: the renderer's standard one
static RenderClock s_clock = GetTickCount;
static RenderCut s_lastCut;
static LONG s_lastOp;  // of the last request sent
static unsigned s_requests;  // requests sent in this run
static unsigned s_lastConversionCalls;
static DWORD s_lastInputBytes;  // of the last request, at the start of the data mapping
static UINT s_metafileLimit = MAX_RENDER_METAFILE_BYTES;

int32_t g_wmfPlayedWords;

UINT render_metafile_limit(void)
{
    return s_metafileLimit;
}

void render_set_metafile_limit_for_test(UINT bytes)
{
    s_metafileLimit = bytes ? bytes : MAX_RENDER_METAFILE_BYTES;
}

const BYTE* render_last_input_for_test(UINT* size)
{
    *size = s_render.data_view ? s_lastInputBytes : 0;
    return s_render.data_view;
}

RenderCut render_last_cut(void)
{
    return s_lastCut;
}

unsigned render_request_count(void)
{
    return s_requests;
}

unsigned render_last_conversion_calls(void)
{
    return s_lastConversionCalls;
}

void render_set_limits_for_test(DWORD time_ms, SIZE_T memory_bytes)
{
    s_timeLimit = time_ms ? time_ms : (DWORD)RENDER_TIME_LIMIT_MS;
    s_checkLimit = time_ms ? time_ms : (DWORD)RENDER_CHECK_LIMIT_MS;
    s_memoryLimit = memory_bytes ? memory_bytes : RENDER_MEMORY_LIMIT_BYTES;
}

void render_set_play_budget_for_test(DWORD ms)
{
    s_playBudget = ms;
}

void render_set_clock_for_test(RenderClock clock)
{
    s_clock = clock ? clock : GetTickCount;
}

LONG render_phase_for_test(void)
{
    return s_render.control ? s_render.control->phase : 0;
}

// The renderer beside the program's module, and nowhere else: a folder
// above it may hold anyone's file. False when there is none.
static bool find_renderer(char* path, size_t size)
{
    if (s_rendererForTest[0]) {
        snprintf(path, size, "%s", s_rendererForTest);
    } else {
        char dir[MAX_PATH];
        DWORD n = GetModuleFileNameA(NULL, dir, sizeof dir);
        char* slash = n > 0 && n < sizeof dir ? strrchr(dir, '\\') : NULL;
        if (!slash)
            return false;
        *slash = '\0';
        snprintf(path, size, "%s\\%s", dir, RENDERER_FILE);
    }
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static void close_handle(HANDLE* h)
{
    if (*h)
        CloseHandle(*h);
    *h = NULL;
}

// Ends the renderer, if it still runs, and forgets it; the data mapping stays.
static void end_renderer(void)
{
    if (s_render.process) {
        TerminateProcess(s_render.process, 1);
        WaitForSingleObject(s_render.process, 2000);
    }
    close_handle(&s_render.process);
    if (s_render.control)
        UnmapViewOfFile(s_render.control);
    s_render.control = NULL;
    close_handle(&s_render.control_map);
    close_handle(&s_render.request);
    close_handle(&s_render.reply);
    s_render.data_in_renderer = NULL;
}

void render_set_file_for_test(const char* path)
{
    end_renderer();
    snprintf(s_rendererForTest, sizeof s_rendererForTest, "%s", path ? path : "");
}

void render_set_name_prefix_for_test(const char* prefix)
{
    end_renderer();
    snprintf(s_namePrefixForTest, sizeof s_namePrefixForTest, "%s", prefix ? prefix : "");
}

// A new object of the name; null when it cannot be made or already exists,
// as one made by another process to be opened in its place would.
static HANDLE make_named(const char* prefix, const char* suffix, bool is_mapping)
{
    char name[160];
    snprintf(name, sizeof name, "%s%s", prefix, suffix);
    HANDLE h = is_mapping
                   ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(RenderControl), name)
                   : CreateEventA(NULL, FALSE, FALSE, name);
    if (h && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        h = NULL;
    }
    return h;
}

// A prefix for the names of one renderer's objects that no other process
// can guess. False when the system gives no random bytes.
static bool make_name_prefix(char* prefix, size_t size)
{
    if (s_namePrefixForTest[0]) {
        snprintf(prefix, size, "%s", s_namePrefixForTest);
        return true;
    }
    unsigned char random[16];
    if (!RtlGenRandom(random, sizeof random))
        return false;
    int n = snprintf(prefix, size, "CorvaneRender-%lu-", (unsigned long)GetCurrentProcessId());
    for (size_t i = 0; i < sizeof random && n > 0 && (size_t)n + 2 < size; ++i)
        n += snprintf(prefix + n, size - n, "%02x", random[i]);
    return true;
}

// Starts a renderer and waits until it is ready. False when none starts.
static bool start_renderer(void)
{
    char exe[MAX_PATH + 32], prefix[96], command[MAX_PATH * 2];
    if (!find_renderer(exe, sizeof exe) || !make_name_prefix(prefix, sizeof prefix))
        return false;
    s_render.control_map = make_named(prefix, RENDER_CONTROL_SUFFIX, true);
    s_render.request = make_named(prefix, RENDER_REQUEST_SUFFIX, false);
    s_render.reply = make_named(prefix, RENDER_REPLY_SUFFIX, false);
    s_render.control = s_render.control_map
                           ? (RenderControl*)MapViewOfFile(s_render.control_map, FILE_MAP_WRITE, 0, 0, 0)
                           : NULL;
    if (!s_render.control || !s_render.request || !s_render.reply) {
        end_renderer();
        return false;
    }
    memset(s_render.control, 0, sizeof *s_render.control);
    snprintf(command, sizeof command, "\"%s\" %s %lu", exe, prefix, (unsigned long)GetCurrentProcessId());
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(exe, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
        end_renderer();
        return false;
    }
    CloseHandle(info.hThread);
    s_render.process = info.hProcess;
    HANDLE waits[2] = {s_render.reply, s_render.process};
    if (WaitForMultipleObjects(2, waits, FALSE, RENDER_START_LIMIT_MS) != WAIT_OBJECT_0) {
        end_renderer();
        return false;
    }
    return true;
}

// Lets the data mapping go; the renderer lets its copy go at its next
// request.
static void release_data(void)
{
    release_band_dc();
    if (s_render.data_view)
        UnmapViewOfFile(s_render.data_view);
    s_render.data_view = NULL;
    close_handle(&s_render.data);
    s_render.data_bytes = 0;
    s_render.input_bytes = 0;
    s_render.data_in_renderer = NULL;
}

// A large data mapping, or one that took a large metafile, is not kept
// for the next request.
static void trim_data(void)
{
    if (s_render.data_bytes > KEEP_RENDER_DATA_BYTES || s_render.input_bytes > KEEP_RENDER_INPUT_BYTES)
        release_data();
}

// The memory limit of one request: the renderer's own work beside what the
// request's bytes make it hold. A play holds the data mapping it touches
// (the metafile bytes, and the band, mapped again for its DC) and the
// metafile the system makes of those bytes; a conversion its copies of the
// input.
static SIZE_T request_limit(LONG op, DWORD input_bytes, uint64_t band_bytes)
{
    bool is_play = op == RENDER_OP_PLAY_EMF || op == RENDER_OP_PLAY_WMF;
    uint64_t own = is_play ? 2ull * input_bytes + 2 * band_bytes : (uint64_t)CONVERSION_INPUT_COPIES * input_bytes;
    uint64_t limit = (uint64_t)s_memoryLimit + own;
    return limit < (SIZE_T)-1 ? (SIZE_T)limit : (SIZE_T)-1;
}

// The renderer's memory as the system reports it from outside: the larger
// of its peak working set and its committed private memory (Wine reports
// both, and both grow as the renderer allocates and touches memory).
static SIZE_T renderer_memory(void)
{
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(s_render.process, &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize > counters.PagefileUsage ? counters.PeakWorkingSetSize
                                                                : counters.PagefileUsage;
}

// A data mapping of at least bytes, duplicated into a running renderer
// whose memory so far leaves it room for a request of the limit. False,
// with the reason in s_lastCut, when there is none.
static bool ensure_data(DWORD bytes, SIZE_T limit)
{
    if (s_render.data_bytes < bytes) {
        release_data();
        DWORD size = (bytes + 0xFFFFF) & ~0xFFFFFu;
        s_render.data = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, size, NULL);
        s_render.data_view = s_render.data ? (BYTE*)MapViewOfFile(s_render.data, FILE_MAP_WRITE, 0, 0, 0) : NULL;
        if (!s_render.data_view) {
            close_handle(&s_render.data);
            s_lastCut = RENDER_CUT_NO_MEMORY;
            return false;
        }
        s_render.data_bytes = size;
    }
    // A renderer that ended between requests, or whose memory passed this
    // request's limit in an earlier one (the peak never goes down: it would
    // cut this request at its first poll), is replaced before it is given one.
    if (s_render.process &&
        (WaitForSingleObject(s_render.process, 0) != WAIT_TIMEOUT || renderer_memory() > limit))
        end_renderer();
    if (!s_render.process && !start_renderer()) {
        s_lastCut = RENDER_CUT_NO_RENDERER;
        return false;
    }
    if (!s_render.data_in_renderer &&
        !DuplicateHandle(GetCurrentProcess(), s_render.data, s_render.process, &s_render.data_in_renderer, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        s_render.data_in_renderer = NULL;
        s_lastCut = RENDER_CUT_NO_MEMORY;
        return false;
    }
    return true;
}

static void show_played_words(LONG played, LONG drawing_words)
{
    g_wmfPlayedWords = played;
    if (drawing_words > 0)
        show_progress((double)played / drawing_words, 4);
}

// What a reply's status means. A play the budget cut leaves the renderer
// as sound as a whole one. A request that passed the memory limit after
// the last poll keeps its outcome; the renderer's peak is read again
// before the next request (ensure_data), which a fresh one then serves.
static RenderOutcome take_reply(LONG status)
{
    switch (status) {
    case RENDER_STATUS_DONE:
        return RENDER_WHOLE;
    case RENDER_STATUS_TOO_LARGE:
        return RENDER_TOO_LARGE;
    case RENDER_STATUS_CUT:
        s_lastCut = RENDER_CUT_BUDGET;
        return RENDER_CUT;
    case RENDER_STATUS_OUT_OF_TIME:
        s_lastCut = RENDER_CUT_PLAY_TIME;
        return RENDER_CUT;
    case RENDER_STATUS_DIFFERS:
        s_lastCut = RENDER_CUT_DIFFERS;
        return RENDER_CUT;
    case RENDER_STATUS_PAST_KIND:
        s_lastCut = RENDER_CUT_KIND_LIMIT;
        return RENDER_CUT;
    case RENDER_STATUS_RESULT_UNSOUND:
        s_lastCut = RENDER_CUT_UNREADABLE_RESULT;
        return RENDER_CUT;
    case RENDER_STATUS_NO_MEMORY:
        s_lastCut = RENDER_CUT_NO_MEMORY;
        return RENDER_NOT_PLAYED;
    }
    // The bytes made no metafile: the checks in front let no such bytes by.
    s_lastCut = RENDER_CUT_BUDGET;
    return RENDER_NOT_PLAYED;
}

MetafileFault render_fault(RenderOutcome outcome)
{
    if (outcome == RENDER_WHOLE)
        return METAFILE_FAULT_NONE;
    // A picture that needs more time or memory than it is given, or whose
    // conversion makes another picture, is said to be so: it is no damaged
    // file. Nor is one the renderer died over.
    if (outcome == RENDER_TOO_LARGE)
        return METAFILE_TOO_LARGE;
    switch (s_lastCut) {
    case RENDER_CUT_TIME:
    case RENDER_CUT_PLAY_TIME:
        return METAFILE_TOO_SLOW;
    case RENDER_CUT_MEMORY:
    case RENDER_CUT_NO_MEMORY:
        return METAFILE_TOO_LARGE;
    case RENDER_CUT_DEATH:
        return METAFILE_RENDERER_ENDED;
    case RENDER_CUT_NO_RENDERER:
        return METAFILE_NO_RENDERER;
    case RENDER_CUT_DIFFERS:
        return METAFILE_NOT_THE_SAME;
    case RENDER_CUT_KIND_LIMIT:
        return s_lastOp == RENDER_OP_EMF_TO_WMF ? METAFILE_TOO_LARGE_FOR_WMF : METAFILE_TOO_LARGE_FOR_EMF;
    case RENDER_CUT_UNREADABLE_RESULT:
        return METAFILE_RESULT_UNREADABLE;
    default:
        return METAFILE_UNREADABLE;
    }
}

// Sends the request set up in the control block and waits for its end
// under the time limit, given anew to each of its phases (the check of a
// conversion its own), and the memory limit given. progress_words: the
// drawing words of a play with progress, else 0.
static RenderOutcome send_request(LONG op, LONG progress_words, SIZE_T memory_limit)
{
    RenderControl* c = s_render.control;
    c->op = op;
    s_lastOp = op;
    c->status = 0;
    c->phase = 0;
    c->played_words = 0;
    c->result_handle = 0;
    c->result_bytes = 0;
    c->data_handle = (DWORD)(ULONG_PTR)s_render.data_in_renderer;
    c->data_bytes = s_render.data_bytes;
    c->budget_ms = s_playBudget;
    // The check's plays end inside the renderer just before its wall time,
    // as a play's budget does before a request's.
    c->check_budget_ms = s_checkLimit > CHECK_BUDGET_MARGIN_MS ? s_checkLimit - CHECK_BUDGET_MARGIN_MS : s_checkLimit;
    s_lastInputBytes = c->input_bytes;
    ++s_requests;
    SetEvent(s_render.request);
    DWORD started = s_clock(), limit = s_timeLimit;
    LONG shown = 0, phase = 0;
    s_lastCut = RENDER_CUT_NONE;
    while (s_lastCut == RENDER_CUT_NONE) {
        HANDLE waits[2] = {s_render.reply, s_render.process};
        DWORD woke = WaitForMultipleObjects(2, waits, FALSE, RENDER_POLL_MS);
        if (c->phase != phase && c->phase <= RENDER_MAX_PHASES) {
            phase = c->phase;
            started = s_clock();
            limit = render_phase_is_check(phase) ? s_checkLimit : s_timeLimit;
        }
        if (progress_words && c->played_words != shown)
            show_played_words(shown = c->played_words, progress_words);
        if (woke == WAIT_OBJECT_0)
            return take_reply(c->status);
        if (woke != WAIT_TIMEOUT)
            s_lastCut = RENDER_CUT_DEATH;
        else if (renderer_memory() > memory_limit)
            s_lastCut = RENDER_CUT_MEMORY;
        else if (s_clock() - started >= limit)
            s_lastCut = RENDER_CUT_TIME;
    }
    end_renderer();
    return RENDER_CUT;
}

// A request not sent, or not finished, for the reason.
static RenderOutcome not_played(RenderCut why)
{
    s_lastCut = why;
    return RENDER_NOT_PLAYED;
}

// ---- plays

// The device rectangle holding the corners of a logical rectangle of hdc,
// one pixel wider on each side for rounding.
static RECT device_bounds(HDC hdc, const RECT* logical)
{
    POINT p[4] = {{logical->left, logical->top},
                  {logical->right, logical->top},
                  {logical->left, logical->bottom},
                  {logical->right, logical->bottom}};
    LPtoDP(hdc, p, 4);
    RECT r = {p[0].x, p[0].y, p[0].x, p[0].y};
    for (int i = 1; i < 4; ++i) {
        r.left = p[i].x < r.left ? p[i].x : r.left;
        r.top = p[i].y < r.top ? p[i].y : r.top;
        r.right = p[i].x > r.right ? p[i].x : r.right;
        r.bottom = p[i].y > r.bottom ? p[i].y : r.bottom;
    }
    InflateRect(&r, 1, 1);
    return r;
}

// The device pixels a play into hdc can change: its clip box within the
// device (the bitmap of a memory DC, the page of a printer). Not the
// target rectangle of an enhanced metafile: records may draw past it, and
// the system's player draws them there. False when empty.
static bool play_area(HDC hdc, RECT* area)
{
    RECT clip;
    int kind = GetClipBox(hdc, &clip);
    if (kind == NULLREGION || kind == ERROR)
        return false;
    *area = device_bounds(hdc, &clip);
    RECT device = {0, 0, 0, 0};
    if (GetObjectType(hdc) == OBJ_MEMDC) {
        BITMAP bm;
        HGDIOBJ bitmap = GetCurrentObject(hdc, OBJ_BITMAP);
        if (bitmap && GetObjectA(bitmap, sizeof bm, &bm))
            SetRect(&device, 0, 0, bm.bmWidth, bm.bmHeight);
    } else if (GetDeviceCaps(hdc, TECHNOLOGY) != DT_RASDISPLAY) {
        SetRect(&device, 0, 0, GetDeviceCaps(hdc, HORZRES), GetDeviceCaps(hdc, VERTRES));
    } else {
        device = *area;  // a window's DC: its clip box is within the window
    }
    return IntersectRect(area, area, &device) != 0;
}

static void capture_dc_state(HDC hdc, RenderDcState* s)
{
    memset(s, 0, sizeof *s);
    s->map_mode = GetMapMode(hdc);
    GetWindowOrgEx(hdc, &s->window_org);
    GetViewportOrgEx(hdc, &s->viewport_org);
    GetWindowExtEx(hdc, &s->window_ext);
    GetViewportExtEx(hdc, &s->viewport_ext);
    s->graphics_mode = GetGraphicsMode(hdc);
    GetWorldTransform(hdc, &s->world);
    s->background = GetBkColor(hdc);
    s->text_color = GetTextColor(hdc);
    s->background_mode = GetBkMode(hdc);
    s->rop2 = GetROP2(hdc);
    s->fill_mode = GetPolyFillMode(hdc);
    s->stretch_mode = GetStretchBltMode(hdc);
    s->arc_direction = GetArcDirection(hdc);
    s->text_align = GetTextAlign(hdc);
    GetBrushOrgEx(hdc, &s->brush_org);
    GetCurrentPositionEx(hdc, &s->position);
    // The objects a new DC has need not be made again.
    HGDIOBJ pen = GetCurrentObject(hdc, OBJ_PEN);
    s->has_pen = pen && pen != GetStockObject(BLACK_PEN) && GetObjectType(pen) == OBJ_PEN &&
                 GetObjectW(pen, sizeof s->pen, &s->pen) == sizeof s->pen;
    HGDIOBJ brush = GetCurrentObject(hdc, OBJ_BRUSH);
    s->has_brush = brush && brush != GetStockObject(WHITE_BRUSH) &&
                   GetObjectW(brush, sizeof s->brush, &s->brush) == sizeof s->brush &&
                   (s->brush.lbStyle == BS_SOLID || s->brush.lbStyle == BS_HATCHED || s->brush.lbStyle == BS_NULL);
    HGDIOBJ font = GetCurrentObject(hdc, OBJ_FONT);
    s->has_font = font && font != GetStockObject(SYSTEM_FONT) &&
                  GetObjectW(font, sizeof s->font, &s->font) == sizeof s->font;
}

// Device units on hdc from here to RestoreDC(hdc, -1): no mapping, no
// transform, so a blit lands on the device pixels it names, still under the
// DC's own clip.
static void map_device_units(HDC hdc)
{
    SaveDC(hdc);
    if (GetGraphicsMode(hdc) == GM_ADVANCED) {
        ModifyWorldTransform(hdc, NULL, MWT_IDENTITY);
        SetGraphicsMode(hdc, GM_COMPATIBLE);
    }
    SetMapMode(hdc, MM_TEXT);
    SetWindowOrgEx(hdc, 0, 0, NULL);
    SetViewportOrgEx(hdc, 0, 0, NULL);
}

// The band's DC on the data mapping, kept between plays of one size.
static SectionDc s_band;

static void release_band_dc(void)
{
    release_section_dc(&s_band);
}

static HDC band_dc(LONG width, LONG height, DWORD offset)
{
    return section_dc(&s_band, s_render.data, width, height, offset);
}

// Puts the band's present pixels of hdc (a display or memory DC) into the
// band's pixels on the data mapping; a printer's band starts white.
static void take_band_pixels(HDC hdc, LONG left, LONG top, LONG width, LONG height, DWORD offset)
{
    HDC memory = GetDeviceCaps(hdc, TECHNOLOGY) == DT_RASDISPLAY ? band_dc(width, height, offset) : NULL;
    if (!memory) {
        memset(s_render.data_view + offset, 0xFF, (size_t)width * height * 4);
        return;
    }
    map_device_units(hdc);
    BitBlt(memory, 0, 0, width, height, hdc, left, top, SRCCOPY);
    RestoreDC(hdc, -1);
    GdiFlush();
}

static void put_band_pixels(HDC hdc, LONG left, LONG top, LONG width, LONG height, DWORD offset)
{
    BITMAPINFO bi;
    describe_top_down_pixels(&bi, width, height);
    map_device_units(hdc);
    StretchDIBits(hdc, left, top, width, height, 0, 0, width, height, s_render.data_view + offset, &bi,
                  DIB_RGB_COLORS, SRCCOPY);
    RestoreDC(hdc, -1);
}

// Where a request's metafile bytes come from: a metafile of the program,
// whose bytes the system copies straight into the data mapping, or bytes
// in memory. Either way the program holds no further copy of them.
struct RenderInput {
    HENHMETAFILE emf;
    HMETAFILE wmf;
    const BYTE* bytes;
    DWORD size;
};

// Puts the input's bytes at the start of the data mapping, which has room.
static bool put_input(const RenderInput* in)
{
    BYTE* view = s_render.data_view;
    s_render.input_bytes = in->size;
    if (in->emf)
        return GetEnhMetaFileBits(in->emf, in->size, view) == in->size;
    if (in->wmf)
        return GetMetaFileBitsEx(in->wmf, in->size, view) == in->size;
    memcpy(view, in->bytes, in->size);
    return true;
}

// Plays the metafile bytes into hdc through the renderer, band by band.
static RenderOutcome render_play(HDC hdc, LONG op, const RenderInput* in, const RECT* emf_rect, int with_progress)
{
    const DWORD size = in->size;
    RECT area;
    if (!play_area(hdc, &area))
        return RENDER_WHOLE;
    RenderDcState state;
    capture_dc_state(hdc, &state);
    const LONG width = area.right - area.left;
    LONG band_rows = RENDER_BAND_PIXELS / width;
    if (band_rows < 1)
        return not_played(RENDER_CUT_NO_MEMORY);
    const DWORD pixels_offset = (size + 0xFFFFu) & ~0xFFFFu;
    LONG drawing_words = with_progress ? (LONG)(size / 2) - 12 : 0;
    RenderOutcome outcome = RENDER_WHOLE;
    for (LONG top = area.top; top < area.bottom && outcome == RENDER_WHOLE; top += band_rows) {
        LONG rows = area.bottom - top < band_rows ? area.bottom - top : band_rows;
        uint64_t band_bytes = (uint64_t)width * rows * 4;
        uint64_t need = (uint64_t)pixels_offset + band_bytes;
        SIZE_T limit = request_limit(op, size, band_bytes);
        if (need > MAX_RENDER_DATA_BYTES)
            outcome = not_played(RENDER_CUT_NO_MEMORY);
        else if (!ensure_data((DWORD)need, limit))
            outcome = RENDER_NOT_PLAYED;
        else if (!put_input(in))
            outcome = not_played(RENDER_CUT_NO_MEMORY);
        if (outcome != RENDER_WHOLE)
            break;
        RenderControl* c = s_render.control;
        c->input_bytes = size;
        c->width = width;
        c->height = rows;
        c->pixels_offset = pixels_offset;
        c->with_progress = with_progress;
        if (emf_rect)
            c->emf_rect = *emf_rect;
        c->dc = state;
        // The band's pixel (0, 0) is the area's (left, top): the viewport and
        // the brush origin, both in device pixels, move with it.
        c->dc.viewport_org.x -= area.left;
        c->dc.viewport_org.y -= top;
        c->dc.brush_org.x -= area.left;
        c->dc.brush_org.y -= top;
        take_band_pixels(hdc, area.left, top, width, rows, pixels_offset);
        outcome = send_request(op, drawing_words, limit);
        // What a renderer drew before it was cut is in the band all the same.
        if (outcome != RENDER_NOT_PLAYED)
            put_band_pixels(hdc, area.left, top, width, rows, pixels_offset);
    }
    if (with_progress) {
        g_wmfPlayedWords = 0;
        show_progress(0, 0);
    }
    trim_data();
    return outcome;
}

RenderOutcome render_emf(HDC hdc, HENHMETAFILE emf, const RECT* rect)
{
    UINT size = emf ? GetEnhMetaFileBits(emf, 0, NULL) : 0;
    if (size > render_metafile_limit())
        return RENDER_TOO_LARGE;
    if (!size || !rect)
        return not_played(RENDER_CUT_BUDGET);
    RenderInput in = {emf, NULL, NULL, size};
    return render_play(hdc, RENDER_OP_PLAY_EMF, &in, rect, 0);
}

RenderOutcome render_wmf(HDC hdc, HMETAFILE wmf, int with_progress)
{
    UINT size = wmf ? GetMetaFileBitsEx(wmf, 0, NULL) : 0;
    if (size > render_metafile_limit())
        return RENDER_TOO_LARGE;
    if (!size)
        return not_played(RENDER_CUT_BUDGET);
    RenderInput in = {NULL, wmf, NULL, size};
    return render_play(hdc, RENDER_OP_PLAY_WMF, &in, NULL, with_progress);
}

// ---- conversions

void release_render_result(RenderResult* result)
{
    if (result->bytes)
        UnmapViewOfFile(result->bytes);
    if (result->mapping)
        CloseHandle(result->mapping);
    memset(result, 0, sizeof *result);
}

// A running renderer and a data mapping with room for the input of the
// conversion and the end record the renderer may close a copy of sound
// records with; the caller then sets up the conversion's own fields in the
// control block. RENDER_WHOLE when the conversion can be sent.
static RenderOutcome prepare_conversion(LONG op, const RenderInput* in)
{
    if (in->size > render_metafile_limit())
        return RENDER_TOO_LARGE;
    if (!in->size)
        return not_played(RENDER_CUT_BUDGET);
    if (!ensure_data(in->size + EMF_END_RECORD_BYTES, request_limit(op, in->size, 0)))
        return RENDER_NOT_PLAYED;
    return RENDER_WHOLE;
}

// Sends the conversion of the input_bytes at the start of the data mapping
// and takes the result out of the renderer. The data mapping, which holds
// a copy of the input, goes before the result is mapped in when it is not
// kept.
static RenderOutcome convert(LONG op, DWORD input_bytes, RenderResult* result)
{
    RenderControl* c = s_render.control;
    c->input_bytes = input_bytes;
    c->result_room = render_metafile_limit() + 1;
    RenderOutcome outcome = send_request(op, 0, request_limit(op, input_bytes, 0));
    trim_data();
    // A renderer past a limit was ended, and its control block with it.
    s_lastConversionCalls = s_render.control ? (unsigned)c->conversion_calls : 0;
    if (outcome != RENDER_WHOLE)
        return outcome;
    // The renderer's mapping, taken out of it: its handle there is closed,
    // and the program's copy is its own to close.
    HANDLE theirs = (HANDLE)(ULONG_PTR)c->result_handle;
    if (!theirs || !DuplicateHandle(s_render.process, theirs, GetCurrentProcess(), &result->mapping, FILE_MAP_READ,
                                    FALSE, DUPLICATE_CLOSE_SOURCE))
        result->mapping = NULL;
    result->size = c->result_bytes;
    result->bytes = result->mapping && result->size
                        ? (const BYTE*)MapViewOfFile(result->mapping, FILE_MAP_READ, 0, 0, result->size)
                        : NULL;
    if (!result->bytes) {
        release_render_result(result);
        return not_played(RENDER_CUT_NO_MEMORY);
    }
    return RENDER_WHOLE;
}

RenderOutcome render_emf_to_wmf_bits(HENHMETAFILE emf, INT map_mode, const RECT* box, RenderResult* result)
{
    memset(result, 0, sizeof *result);
    RenderInput in = {emf, NULL, NULL, emf ? GetEnhMetaFileBits(emf, 0, NULL) : 0};
    if (in.size && in.size < sizeof(ENHMETAHEADER))
        return not_played(RENDER_CUT_BUDGET);
    RenderOutcome ready = prepare_conversion(RENDER_OP_EMF_TO_WMF, &in);
    if (ready == RENDER_WHOLE && !put_input(&in))
        ready = not_played(RENDER_CUT_NO_MEMORY);
    if (ready != RENDER_WHOLE) {
        // A request that is not sent keeps no large copy either.
        trim_data();
        return ready;
    }
    s_render.control->map_mode = map_mode;
    s_render.control->has_result_box = box != NULL;
    if (box)
        s_render.control->result_box = *box;
    return convert(RENDER_OP_EMF_TO_WMF, in.size, result);
}

// Puts the Windows metafile's bytes at the start of the data mapping, the
// one copy of them the program makes, with a placeable box's window before
// the records, and seals them there (seal_wmf_records): the system's
// conversion is given only records that keep their rules, and every font
// record whole, whichever road the bytes came by. A mapping without room
// for the window and the font records made whole is made anew with it and
// the bytes put again. *sealed: the bytes to convert.
static RenderOutcome put_sealed_wmf(const RenderInput* in, const RECT* box, DWORD* sealed)
{
    RenderOutcome ready = prepare_conversion(RENDER_OP_WMF_TO_EMF, in);
    if (ready != RENDER_WHOLE)
        return ready;
    if (!put_input(in))
        return not_played(RENDER_CUT_NO_MEMORY);
    uint64_t room = wmf_seal_room(s_render.data_view, in->size) + (box ? WMF_BOX_WINDOW_BYTES : 0);
    if (room > render_metafile_limit())
        return RENDER_TOO_LARGE;
    if (room > s_render.data_bytes) {
        if (!ensure_data((DWORD)room, request_limit(RENDER_OP_WMF_TO_EMF, (DWORD)room, 0)))
            return RENDER_NOT_PLAYED;
        if (!put_input(in))
            return not_played(RENDER_CUT_NO_MEMORY);
    }
    DWORD size = box ? put_box_window(s_render.data_view, in->size, box) : in->size;
    *sealed = seal_wmf_records(s_render.data_view, size, s_render.data_bytes);
    if (!*sealed) {
        s_lastCut = RENDER_CUT_BUDGET;
        return RENDER_CUT;
    }
    return RENDER_WHOLE;
}

// The picture a Windows metafile is converted as: the one given, with a
// size where it scales to one and gives none (a negative size gives only
// its shape), or the size a plain metafile is shown at (four inches
// square, in 0.01 mm) where none is given. The conversion and its
// comparison then map the records onto one known frame.
static METAFILEPICT sized_picture(const METAFILEPICT* picture)
{
    enum { PLAIN_SIDE = 10160 };
    METAFILEPICT sized = {MM_ANISOTROPIC, PLAIN_SIDE, PLAIN_SIDE, NULL};
    if (!picture)
        return sized;
    // A mode that is none takes the records' own window onto the picture.
    sized.mm = picture->mm >= MM_TEXT && picture->mm <= MM_ANISOTROPIC ? picture->mm : MM_ANISOTROPIC;
    sized.xExt = picture->xExt;
    sized.yExt = picture->yExt;
    bool scales = sized.mm == MM_ISOTROPIC || sized.mm == MM_ANISOTROPIC;
    if (scales && (sized.xExt <= 0 || sized.yExt <= 0)) {
        int64_t across = sized.xExt < 0 ? -(int64_t)sized.xExt : 0, down = sized.yExt < 0 ? -(int64_t)sized.yExt : 0;
        int64_t larger = across > down ? across : down;
        sized.xExt = across && down ? (LONG)(across * PLAIN_SIDE / larger) : (LONG)PLAIN_SIDE;
        sized.yExt = across && down ? (LONG)(down * PLAIN_SIDE / larger) : (LONG)PLAIN_SIDE;
        if (sized.xExt < 1)
            sized.xExt = 1;
        if (sized.yExt < 1)
            sized.yExt = 1;
    }
    return sized;
}

// The conversion of the input to an enhanced metafile, its bytes left
// where the renderer made them, in *result.
static RenderOutcome convert_to_emf(const RenderInput* in, const METAFILEPICT* given, const RECT* box,
                                    RenderResult* result)
{
    const METAFILEPICT sized = sized_picture(given);
    const METAFILEPICT* picture = &sized;
    memset(result, 0, sizeof *result);
    DWORD sealed = 0;
    RenderOutcome ready = put_sealed_wmf(in, box, &sealed);
    if (ready != RENDER_WHOLE) {
        // A request that is not sent keeps no large copy either.
        trim_data();
        return ready;
    }
    s_render.control->picture_mode = picture ? picture->mm : 0;
    s_render.control->picture_x = picture ? picture->xExt : 0;
    s_render.control->picture_y = picture ? picture->yExt : 0;
    RenderOutcome outcome = convert(RENDER_OP_WMF_TO_EMF, sealed, result);
    if (outcome != RENDER_WHOLE)
        return outcome;
    // What the system made is checked as a file's would be, here as well as
    // in the renderer, which may have been set off by what it played.
    EmfSoundness soundness = emf_bits_soundness(result->bytes, result->size);
    if (soundness != EMF_SOUND) {
        release_render_result(result);
        s_lastCut = soundness == EMF_PAST_LIMIT ? RENDER_CUT_KIND_LIMIT : RENDER_CUT_UNREADABLE_RESULT;
        return RENDER_CUT;
    }
    return RENDER_WHOLE;
}

// The same, made into a metafile of the program's; the result's mapping
// goes once the metafile holds its bytes.
static RenderOutcome convert_to_emf_handle(const RenderInput* in, const METAFILEPICT* picture, const RECT* box,
                                           HENHMETAFILE* emf)
{
    *emf = NULL;
    RenderResult result;
    RenderOutcome outcome = convert_to_emf(in, picture, box, &result);
    if (outcome == RENDER_WHOLE)
        *emf = SetEnhMetaFileBits(result.size, result.bytes);
    release_render_result(&result);
    return outcome == RENDER_WHOLE && !*emf ? not_played(RENDER_CUT_NO_MEMORY) : outcome;
}

RenderOutcome render_wmf_to_emf_bits(const BYTE* wmf, UINT size, const METAFILEPICT* picture, const RECT* box,
                                     HENHMETAFILE* emf)
{
    RenderInput in = {NULL, NULL, wmf, wmf ? size : 0};
    return convert_to_emf_handle(&in, picture, box, emf);
}

RenderOutcome render_wmf_to_emf(HMETAFILE wmf, const METAFILEPICT* picture, const RECT* box, HENHMETAFILE* emf)
{
    RenderInput in = {NULL, wmf, NULL, wmf ? GetMetaFileBitsEx(wmf, 0, NULL) : 0};
    return convert_to_emf_handle(&in, picture, box, emf);
}

RenderOutcome render_wmf_to_emf_result(HMETAFILE wmf, const METAFILEPICT* picture, const RECT* box,
                                       RenderResult* result)
{
    RenderInput in = {NULL, wmf, NULL, wmf ? GetMetaFileBitsEx(wmf, 0, NULL) : 0};
    return convert_to_emf(&in, picture, box, result);
}
