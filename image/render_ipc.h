// What the program and the metafile renderer share: the control block in
// the small mapping both open by name, and the request kinds. The program's
// side is metafile_renderer.cpp, the renderer's render_serve.cpp; nothing
// else includes this header.
//
// The program owns a data mapping that it duplicates into the renderer:
// the metafile's bytes at offset 0 and, for a play, the area's 32-bit
// top-down pixels at pixels_offset. A conversion's result goes into a
// mapping the renderer makes, room for result_room bytes of which only the
// pages the result fills are ever touched; the program duplicates it out
// of the renderer (closing the renderer's handle), as the renderer has no
// handle to the program but one to wait on it.
#pragma once

#include <windows.h>

enum RenderOp {
    RENDER_OP_PLAY_EMF = 1,
    RENDER_OP_PLAY_WMF = 2,
    RENDER_OP_EMF_TO_WMF = 3,
    RENDER_OP_WMF_TO_EMF = 4,
};

enum RenderStatus {
    RENDER_STATUS_DONE = 1,
    RENDER_STATUS_FAILED = 2,  // the bytes made no metafile, or no result
    RENDER_STATUS_CUT = 3,     // played, but the play budget stopped it or a record that draws was left out
    RENDER_STATUS_TOO_LARGE = 4,  // a conversion's result passes result_room
    RENDER_STATUS_OUT_OF_TIME = 5,  // played, but the play ran out of its time budget
    RENDER_STATUS_NO_MEMORY = 6,    // the system made nothing of sound records: no memory for the work
    RENDER_STATUS_DIFFERS = 7,      // a conversion's result would show another picture than its source
    RENDER_STATUS_PAST_KIND = 8,    // a conversion's result passes the limits its kind is read within
    RENDER_STATUS_RESULT_UNSOUND = 9,  // a conversion's result breaks the rules its kind is read by
};

// The drawing state of the destination DC that a play meets, with the
// viewport origin already shifted so that the area's top-left device pixel
// is (0, 0).
struct RenderDcState {
    int map_mode;
    POINT window_org, viewport_org;
    SIZE window_ext, viewport_ext;
    int graphics_mode;
    XFORM world;
    COLORREF background, text_color;
    int background_mode, rop2, fill_mode, stretch_mode, arc_direction;
    UINT text_align;
    POINT brush_org, position;
    int has_pen, has_brush, has_font;
    LOGPEN pen;
    LOGBRUSH brush;  // solid, hatched or hollow only
    LOGFONTW font;
};

// The phases of a conversion: the making of its result (beside which the
// source may already be played), then its check (the plays of the result
// and the source that remains); where the system's result shows another
// picture, the program's own making and its check follow. Each has a time
// of its own, a check a more generous one. A renderer counting more gets
// no more time.
enum { RENDER_MAX_PHASES = 4 };
// Whether a phase is a check: the system's and the program's makings are
// the odd phases, each followed by its check.
inline bool render_phase_is_check(LONG phase)
{
    return phase > 0 && phase % 2 == 0;
}

struct RenderControl {
    LONG op;
    LONG status;                 // set by the renderer before it signals the reply
    volatile LONG phase;         // counted up by the renderer as each part of a request begins
    volatile LONG played_words;  // a play with progress: words played so far
    DWORD data_handle;           // the data mapping, as a handle of the renderer's
    DWORD data_bytes;            // its size
    DWORD input_bytes;           // metafile bytes at offset 0
    // A play.
    LONG width, height;          // of the area, in device pixels
    DWORD pixels_offset;
    LONG with_progress;
    DWORD budget_ms;             // the time budget of each play of the request, a conversion's too
                                 // (play_budget.h); 0: the standard one
    RECT emf_rect;               // logical units of the destination
    RenderDcState dc;
    // A conversion. Of an enhanced metafile, the data mapping has room for
    // an end record past its bytes: only its records that keep their rules
    // are converted, moved up in place. The source and the result are each
    // played as the program shows them (metafile_compare.h), and a result
    // is handed back only when the two show the same picture. The making
    // of the result is timed as a request; its check, a phase of its own,
    // by the check's limit.
    DWORD check_budget_ms;       // the time budget of the check's plays, in place of budget_ms
    INT map_mode;
    LONG picture_mode, picture_x, picture_y;  // the METAFILEPICT without its handle; mode 0: none
    LONG has_result_box;         // of a Windows-metafile result: the placeable box it is written with
    RECT result_box;
    DWORD result_room;           // the most result bytes the program takes
    DWORD result_handle;         // set by the renderer: a mapping of the renderer's
    DWORD result_bytes;
    LONG conversion_calls;       // set by the renderer: calls of the system's conversion made
};

// Names of the control mapping and the two events: a prefix the program
// passes on the renderer's command line, then these suffixes. The prefix
// holds a random part, and the program refuses a name that exists.
#define RENDER_CONTROL_SUFFIX "-control"
#define RENDER_REQUEST_SUFFIX "-request"
#define RENDER_REPLY_SUFFIX "-reply"
