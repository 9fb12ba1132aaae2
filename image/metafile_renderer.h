// The metafile renderer: every play, enumeration and conversion of a
// metafile that came from a file or the clipboard runs in a process of its
// own (CorvaneRender.exe, beside the program), under limits the program
// enforces from outside it: a wall time per request, a ceiling on the
// renderer's memory, and its death noticed at once through its process
// handle. The system's metafile player has faults of its own that one
// record can set off (a crash, an endless loop, a region of millions of
// rectangles); the program outlives them, blits what was drawn until then
// and starts a fresh renderer for the next request.
//
// A play is given the metafile's bytes and the destination: the area of hdc
// the play can reach (its clip box within the device), the DC's mapping and
// drawing state, and the area's present pixels on a display or memory DC
// (white on a printer). The renderer plays with the checked players of
// metafile_play.h (the record rules and budgets stay in front) into a DIB
// section on shared memory; the program copies the result back under the
// DC's own clip. Areas larger than a band go in bands, each its own request.
//
// The renderer's side (the loop in CorvaneRender.exe) is
// render_serve(); the in-process players it calls are in metafile_play.h.
#pragma once

#include <windows.h>
#include <stdint.h>

enum RenderOutcome {
    RENDER_WHOLE,       // played (or converted) to the end
    RENDER_CUT,         // the play budget stopped it, a record that draws was left out, or the
                        // renderer passed a limit or died; what it drew was blitted
    RENDER_NOT_PLAYED,  // no renderer could be started or no memory; nothing drawn
    RENDER_TOO_LARGE,   // the metafile, or a conversion's result, passes render_metafile_limit
};

// Wall time of one request, or of a conversion, its phase that makes the
// result; no sound picture comes near it.
enum { RENDER_TIME_LIMIT_MS = 5000 };
// Wall time of the check of a conversion's result (its plays beside the
// source's), which the user never asked for: a picture converted in time
// is not refused because a busy machine plays it slowly. Past it the
// renderer is ended all the same, so that nothing hangs.
enum { RENDER_CHECK_LIMIT_MS = 60000 };
// Memory the renderer may hold for the work of one request, read from
// outside it, beside what the request's own bytes make it hold: the copies
// of the metafile that the system's play or conversion takes, and the
// pixels of a play.
#define RENDER_MEMORY_LIMIT_BYTES (256u << 20)
// Largest metafile a play or conversion takes, and largest result a
// conversion hands back: the most metafile bytes the readers hold.
#define MAX_RENDER_METAFILE_BYTES (256u << 20)
// That limit, as the program holds it (a test may set another).
UINT render_metafile_limit(void);

// Plays the enhanced metafile into rect (logical units of hdc), as
// PlayEnhMetaFile would.
RenderOutcome render_emf(HDC hdc, HENHMETAFILE emf, const RECT* rect);

// Words of the Windows metafile played so far by a play with progress.
extern int32_t g_wmfPlayedWords;

// Plays the Windows metafile into hdc under its present mapping. With
// progress, the words played feed the progress strip (g_wmfPlayedWords of
// g_wmfSizeWords) while the program waits.
RenderOutcome render_wmf(HDC hdc, HMETAFILE wmf, int with_progress);

// A conversion's result, taken out of the renderer: size bytes at bytes,
// in a mapping of the program's, until release_render_result.
struct RenderResult {
    HANDLE mapping;
    const BYTE* bytes;
    UINT size;
};
void release_render_result(RenderResult* result);

// Every conversion below is compared before it is handed back: the
// renderer plays the source as the program shows it and the result as the
// program would show what is made of it, at the size the picture is shown
// (metafile_compare.h), and a result that shows another picture is
// RENDER_CUT (RENDER_CUT_DIFFERS), as one whose source cannot be played
// whole is cut as its play is.

// GetWinMetaFileBits, called once, of the records of the enhanced metafile
// that keep their rules (copy_sound_emf_records: the conversion plays every
// record through the system's player), under the screen as reference
// device: *result on RENDER_WHOLE, empty otherwise. box (left, top, right,
// bottom; null: none) is the placeable box the result is written with,
// the window it is shown in. The program holds the metafile's bytes once
// beside it while the renderer converts, and lets that copy go before it
// takes the result.
RenderOutcome render_emf_to_wmf_bits(HENHMETAFILE emf, INT map_mode, const RECT* box, RenderResult* result);

// SetWinMetaFileBits of the Windows metafile's bytes under the screen as
// reference device, as the picture (mapping mode and size in 0.01 mm; a
// picture that scales given no size, or none at all, is four inches
// square, the size of a plain metafile): *emf (caller deletes) on
// RENDER_WHOLE, null otherwise.
// The bytes, from a file or any program, are sealed in the copy the
// renderer is given (seal_wmf_records), so that the system reads no font
// record past its end and is handed no enhanced metafile carried in
// comments in place of the records: bytes whose records are cut are
// RENDER_CUT, and ones that would grow past the limit RENDER_TOO_LARGE.
// A placeable box (box, not null: left, top, right, bottom in the
// metafile's units) is the window the records are drawn in, as a play maps
// it (map_placeable_box). What the system made goes through the checks of
// an enhanced metafile's file (emf_bits_soundness); one that fails them is
// RENDER_CUT (RENDER_CUT_UNREADABLE_RESULT, or RENDER_CUT_KIND_LIMIT for
// one past a limit of the rules).
RenderOutcome render_wmf_to_emf_bits(const BYTE* wmf, UINT size, const METAFILEPICT* picture, const RECT* box,
                                     HENHMETAFILE* emf);

// The same of a Windows metafile in hand (one on the clipboard too), whose
// bytes the system copies straight into the renderer's copy, the only one
// the program makes.
RenderOutcome render_wmf_to_emf(HMETAFILE wmf, const METAFILEPICT* picture, const RECT* box, HENHMETAFILE* emf);

// The same, the enhanced metafile's bytes left in *result (empty unless
// RENDER_WHOLE) for a caller that writes them as they are: no metafile is
// made of them beside.
RenderOutcome render_wmf_to_emf_result(HMETAFILE wmf, const METAFILEPICT* picture, const RECT* box,
                                       RenderResult* result);

// The renderer's loop: serves requests until the program ends or closes it.
// command_line holds the handles the program passed. Returns the exit code.
int render_serve(const char* command_line);

// Why the last request was cut or not played. RENDER_CUT_TIME,
// RENDER_CUT_MEMORY, RENDER_CUT_DEATH: the renderer passed the time or
// memory limit, or ended. RENDER_CUT_PLAY_TIME: the play's own time budget
// in the renderer (play_budget.h) stopped it, just within the renderer's
// limit. RENDER_CUT_BUDGET: the play's glyph budget left text out, or its
// rules left out a record that draws (metafile_play.h), a create that made
// nothing, or refused the input of a conversion. RENDER_CUT_NO_MEMORY: no
// memory for the request (in the program or the renderer), or the system
// made nothing of sound records. RENDER_CUT_NO_RENDERER: none could be
// started. Of a conversion: RENDER_CUT_DIFFERS, its result would show
// another picture; RENDER_CUT_KIND_LIMIT, its result passes a limit its
// kind is read within; RENDER_CUT_UNREADABLE_RESULT, the program could not
// read its result back.
enum RenderCut {
    RENDER_CUT_NONE,
    RENDER_CUT_TIME,
    RENDER_CUT_MEMORY,
    RENDER_CUT_DEATH,
    RENDER_CUT_BUDGET,
    RENDER_CUT_PLAY_TIME,
    RENDER_CUT_NO_MEMORY,
    RENDER_CUT_NO_RENDERER,
    RENDER_CUT_DIFFERS,
    RENDER_CUT_KIND_LIMIT,
    RENDER_CUT_UNREADABLE_RESULT,
};
RenderCut render_last_cut(void);

// Why a picture could not be had whole, as the user is told: its bits
// cannot be read whole; it needs more memory than the program gives a
// picture; its play or conversion passed the time the renderer gives one;
// what a conversion made could not be read back; the renderer ended, or
// could not be started; a conversion would show another picture; or the
// picture is too large for the other kind (a Windows or an enhanced
// metafile); or it is drawn in EMF+ records alone, which no GDI player
// draws. The values of the first four are fixed: the writers give
// their negatives (metafile.h).
enum MetafileFault {
    METAFILE_FAULT_NONE = 0,
    METAFILE_UNREADABLE = 1,
    METAFILE_TOO_LARGE = 2,
    METAFILE_TOO_SLOW = 3,
    METAFILE_RESULT_UNREADABLE = 4,
    METAFILE_RENDERER_ENDED = 5,
    METAFILE_NO_RENDERER = 6,
    METAFILE_NOT_THE_SAME = 7,
    METAFILE_TOO_LARGE_FOR_WMF = 8,
    METAFILE_TOO_LARGE_FOR_EMF = 9,
    METAFILE_PLUS_ONLY = 10,
};

// The fault of a request that came back other than whole, by its outcome
// and what cut it (render_last_cut); none for RENDER_WHOLE.
MetafileFault render_fault(RenderOutcome outcome);

// Requests sent to a renderer since the program started, for tests and
// benchmarks: a play is one per band.
unsigned render_request_count(void);

// Calls of the system's conversion the renderer made in the last
// conversion that it answered, for tests.
unsigned render_last_conversion_calls(void);

// For tests: other limits (0 puts the standard ones back). A time given is
// the check's too.
void render_set_limits_for_test(DWORD time_ms, SIZE_T memory_bytes);
// For tests: the clock the program keeps the renderer's time by (NULL:
// GetTickCount), and the phase of the request it waits on (0 before the
// first, 1 the making of a conversion's result, 2 its check).
typedef DWORD(WINAPI* RenderClock)(void);
void render_set_clock_for_test(RenderClock clock);
LONG render_phase_for_test(void);
void render_set_metafile_limit_for_test(UINT bytes);
// For tests: another time budget for the renderer's plays (play_budget.h;
// 0 puts the standard one back).
void render_set_play_budget_for_test(DWORD ms);
// For tests: the metafile bytes the last request gave the renderer, as
// the system was handed them, while the program keeps that copy (a small
// one, until the next request); null otherwise.
const BYTE* render_last_input_for_test(UINT* size);
// For tests: the full path of the renderer to start (null: the one beside
// the program, the only place it is looked for otherwise); a renderer that
// runs is ended.
void render_set_file_for_test(const char* path);
// For tests: the prefix of the names of the next renderer's objects (null:
// a random one, as otherwise); a renderer that runs is ended.
void render_set_name_prefix_for_test(const char* prefix);
