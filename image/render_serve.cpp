// The metafile renderer's side (see metafile_renderer.h): the loop of
// CorvaneRender.exe. It opens the control block and events the program
// named on its command line, and serves one request at a time: a play into
// a DIB section on the program's data mapping, or a conversion whose bytes
// it hands back in a mapping of its own that the program takes out of it.
// It holds no handle to the program but one to wait on. It draws into
// memory only; the program enforces its limits from outside and ends it
// when it passes one. It ends itself when the program ends.
#include "image/metafile_renderer.h"

#include "image/emf_check.h"
#include "image/metafile_play.h"
#include "image/play_budget.h"
#include "image/render_ipc.h"
#include "image/section_dc.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The GDI objects a play selects into its DC to stand for the
// destination's, and what they replaced.
struct PlayObjects {
    HGDIOBJ pen, brush, font;
    HGDIOBJ old_pen, old_brush, old_font;
};

static void apply_dc_state(HDC dc, const RenderDcState* s, PlayObjects* objects)
{
    memset(objects, 0, sizeof *objects);
    SetGraphicsMode(dc, s->graphics_mode);
    if (s->graphics_mode == GM_ADVANCED)
        SetWorldTransform(dc, &s->world);
    SetMapMode(dc, s->map_mode);
    if (s->map_mode == MM_ISOTROPIC || s->map_mode == MM_ANISOTROPIC) {
        SetWindowExtEx(dc, s->window_ext.cx, s->window_ext.cy, NULL);
        SetViewportExtEx(dc, s->viewport_ext.cx, s->viewport_ext.cy, NULL);
    }
    SetWindowOrgEx(dc, s->window_org.x, s->window_org.y, NULL);
    SetViewportOrgEx(dc, s->viewport_org.x, s->viewport_org.y, NULL);
    SetBkColor(dc, s->background);
    SetTextColor(dc, s->text_color);
    SetBkMode(dc, s->background_mode);
    SetROP2(dc, s->rop2);
    SetPolyFillMode(dc, s->fill_mode);
    SetStretchBltMode(dc, s->stretch_mode);
    SetArcDirection(dc, s->arc_direction);
    SetTextAlign(dc, s->text_align);
    SetBrushOrgEx(dc, s->brush_org.x, s->brush_org.y, NULL);
    MoveToEx(dc, s->position.x, s->position.y, NULL);
    if (s->has_pen && (objects->pen = CreatePenIndirect(&s->pen)) != NULL)
        objects->old_pen = SelectObject(dc, objects->pen);
    if (s->has_brush && (objects->brush = CreateBrushIndirect(&s->brush)) != NULL)
        objects->old_brush = SelectObject(dc, objects->brush);
    if (s->has_font && (objects->font = CreateFontIndirectW(&s->font)) != NULL)
        objects->old_font = SelectObject(dc, objects->font);
}

static void release_objects(HDC dc, PlayObjects* objects)
{
    if (objects->old_pen)
        SelectObject(dc, objects->old_pen);
    if (objects->old_brush)
        SelectObject(dc, objects->old_brush);
    if (objects->old_font)
        SelectObject(dc, objects->old_font);
    if (objects->pen)
        DeleteObject(objects->pen);
    if (objects->brush)
        DeleteObject(objects->brush);
    if (objects->font)
        DeleteObject(objects->font);
}

// The area's DC on the data mapping, kept from one play to the next of
// the same size and place.
static SectionDc s_area;

static void release_area_dc(void)
{
    release_section_dc(&s_area);
}

static HDC area_dc(const RenderControl* c, HANDLE data)
{
    return section_dc(&s_area, data, c->width, c->height, c->pixels_offset);
}

// A play that ran out of its time is told from one cut for another
// reason: the program says which.
static LONG play_status(bool whole)
{
    return whole ? RENDER_STATUS_DONE : last_play_ran_out_of_time() ? RENDER_STATUS_OUT_OF_TIME : RENDER_STATUS_CUT;
}

// Plays the request's metafile into the area's pixels on the data mapping,
// from the DC's state as the program's DC had it. Once the system holds
// the metafile of the input, this process lets its view of the input go
// (*view null), as a conversion does: beside the system's metafile and
// what its player takes, the view would be one copy more of a large
// picture than the limit of a play counts.
static LONG serve_play(RenderControl* c, HANDLE data, BYTE** view)
{
    HDC dc = area_dc(c, data);
    if (!dc)
        return RENDER_STATUS_FAILED;
    bool is_emf = c->op == RENDER_OP_PLAY_EMF;
    HENHMETAFILE emf = is_emf ? SetEnhMetaFileBits(c->input_bytes, *view) : NULL;
    HMETAFILE wmf = is_emf ? NULL : SetMetaFileBitsEx(c->input_bytes, *view);
    UnmapViewOfFile(*view);
    *view = NULL;
    set_play_budget(c->budget_ms);
    LONG status = RENDER_STATUS_FAILED;
    int saved = SaveDC(dc);
    PlayObjects objects;
    apply_dc_state(dc, &c->dc, &objects);
    bool whole = false;
    if (emf) {
        whole = play_emf_in_process(dc, emf, &c->emf_rect);
        DeleteEnhMetaFile(emf);
        status = play_status(whole);
    } else if (wmf) {
        if (c->with_progress)
            whole = play_wmf_records_in_process(dc, wmf, &c->played_words);
        else
            whole = play_wmf_in_process(dc, wmf);
        DeleteMetaFile(wmf);
        status = play_status(whole);
    }
    GdiFlush();
    // A play's records may restore past the state saved here; the DC is
    // then made anew for the next play.
    bool restored = RestoreDC(dc, saved) && SaveDC(dc) == saved;
    RestoreDC(dc, -1);
    release_objects(dc, &objects);
    if (!restored)
        release_area_dc();
    return status;
}

// A mapping of this process of room bytes for a result, whose handle the
// program takes out of it (closing it here), and a view of it; only the
// pages the result fills are touched. Null when none can be made.
static HANDLE make_result_room(DWORD room, BYTE** view)
{
    HANDLE mapping = room ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, room, NULL) : NULL;
    *view = mapping ? (BYTE*)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, room) : NULL;
    if (!*view && mapping) {
        CloseHandle(mapping);
        mapping = NULL;
    }
    return mapping;
}

// Hands the result's size bytes in the mapping back; a size of 0 (nothing
// made) or past the room is not.
static LONG hand_back(RenderControl* c, HANDLE mapping, BYTE* view, UINT size)
{
    UnmapViewOfFile(view);
    if (!size || size >= c->result_room) {
        CloseHandle(mapping);
        return size ? RENDER_STATUS_TOO_LARGE : RENDER_STATUS_FAILED;
    }
    c->result_handle = (DWORD)(ULONG_PTR)mapping;
    c->result_bytes = size;
    return RENDER_STATUS_DONE;
}

// GetWinMetaFileBits of the enhanced metafile, once, straight into the room
// for the result. Asking the size first would cost a whole conversion, as
// dear as a play, before the one that gives the bytes; the size has no
// bound in the input (a region of a few rectangles may come out as
// megabytes of scans), and a result that fills the room may have been cut
// to it: one that large is not handed back.
static LONG convert_emf_to_wmf(RenderControl* c, HENHMETAFILE emf, HDC reference)
{
    BYTE* view = NULL;
    HANDLE room = make_result_room(c->result_room, &view);
    if (!room)
        return RENDER_STATUS_FAILED;
    c->conversion_calls++;
    UINT size = GetWinMetaFileBits(emf, c->result_room, view, c->map_mode, reference);
    return hand_back(c, room, view, size);
}

static LONG convert_wmf_to_emf(RenderControl* c, HENHMETAFILE emf)
{
    UINT size = GetEnhMetaFileBits(emf, 0, NULL);
    if (size >= c->result_room)
        return RENDER_STATUS_TOO_LARGE;
    BYTE* view = NULL;
    HANDLE room = size ? make_result_room(size + 1, &view) : NULL;
    if (!room)
        return RENDER_STATUS_FAILED;
    return hand_back(c, room, view, GetEnhMetaFileBits(emf, size, view) == size ? size : 0);
}

// The conversions, under a memory DC compatible with the screen as the
// reference device. Once the system holds the metafile of the input, this
// process lets its view of the input go (*view null): the system's
// conversion makes copies of its own, and the input's pages are not held
// here beside them.
static LONG serve_conversion(RenderControl* c, BYTE** view)
{
    LONG status = RENDER_STATUS_FAILED;
    HDC reference = CreateCompatibleDC(NULL);
    BYTE* input = *view;
    HENHMETAFILE emf = NULL;
    if (c->op == RENDER_OP_EMF_TO_WMF) {
        // The conversion plays every record it is given through the
        // system's player: only those that keep their rules are given.
        ENHMETAHEADER* header = (ENHMETAHEADER*)input;
        if (c->input_bytes >= sizeof *header && header->nHandles == 0)
            header->nHandles = 1;
        uint32_t kept = copy_sound_emf_records(input, c->input_bytes, input);
        emf = kept ? SetEnhMetaFileBits(kept, input) : NULL;
    } else if (!wmf_objects_are_made_in_process(reference, input, c->input_bytes)) {
        // The conversion would give the objects after one the system
        // refused other numbers: cut, as a play of it is.
        status = RENDER_STATUS_CUT;
    } else {
        METAFILEPICT picture = {c->picture_mode, c->picture_x, c->picture_y, NULL};
        emf = SetWinMetaFileBits(c->input_bytes, input, reference, c->picture_mode ? &picture : NULL);
    }
    UnmapViewOfFile(*view);
    *view = NULL;
    if (emf) {
        status = c->op == RENDER_OP_EMF_TO_WMF ? convert_emf_to_wmf(c, emf, reference) : convert_wmf_to_emf(c, emf);
        DeleteEnhMetaFile(emf);
    }
    if (reference)
        DeleteDC(reference);
    return status;
}

int render_serve(const char* command_line)
{
    char prefix[128], name[160];
    unsigned long program_id = 0;
    if (sscanf(command_line, "%100s %lu", prefix, &program_id) != 2)
        return 2;
    snprintf(name, sizeof name, "%s%s", prefix, RENDER_CONTROL_SUFFIX);
    HANDLE control_map = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    snprintf(name, sizeof name, "%s%s", prefix, RENDER_REQUEST_SUFFIX);
    HANDLE request = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    snprintf(name, sizeof name, "%s%s", prefix, RENDER_REPLY_SUFFIX);
    HANDLE reply = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    HANDLE program = OpenProcess(SYNCHRONIZE, FALSE, program_id);
    RenderControl* c = control_map ? (RenderControl*)MapViewOfFile(control_map, FILE_MAP_WRITE, 0, 0, 0) : NULL;
    if (!c || !request || !reply || !program)
        return 3;

    HANDLE data = NULL;  // the program's data mapping, duplicated into this process
    BYTE* view = NULL;
    SetEvent(reply);  // ready
    for (;;) {
        HANDLE waits[2] = {request, program};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
            break;
        if ((HANDLE)(ULONG_PTR)c->data_handle != data) {
            release_area_dc();
            if (view)
                UnmapViewOfFile(view);
            view = NULL;
            if (data)
                CloseHandle(data);
            data = (HANDLE)(ULONG_PTR)c->data_handle;
        }
        // A play or conversion lets the view go; the next request maps it again.
        if (!view && data)
            view = (BYTE*)MapViewOfFile(data, FILE_MAP_WRITE, 0, 0, 0);
        LONG status = RENDER_STATUS_FAILED;
        c->conversion_calls = 0;
        if (view && c->input_bytes <= c->data_bytes) {
            if (c->op == RENDER_OP_PLAY_EMF || c->op == RENDER_OP_PLAY_WMF)
                status = serve_play(c, data, &view);
            else if (c->op != RENDER_OP_EMF_TO_WMF || c->data_bytes - c->input_bytes >= EMF_END_RECORD_BYTES)
                status = serve_conversion(c, &view);
        }
        c->status = status;
        SetEvent(reply);
    }
    return 0;
}
