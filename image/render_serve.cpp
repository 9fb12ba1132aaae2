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
#include "image/emf_text_codes.h"
#include "image/emf_to_wmf.h"
#include "image/metafile_compare.h"
#include "image/metafile_play.h"
#include "image/play_budget.h"
#include "image/render_ipc.h"
#include "image/section_dc.h"
#include "image/wmf_check.h"
#include "image/wmf_seal.h"

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

// The area's pixels on the data mapping, kept from one play to the next of
// the same size and place. Each play is given a DC of its own on them, made
// for it: a record that restores a state the play did not save (a
// RESTOREDC past the file's own saves) finds none of this process's, as on
// a fresh device context, and nothing a play leaves in its DC reaches the
// next one.
static SectionDc s_area;

static void release_area_dc(void)
{
    release_section_dc(&s_area);
}

// A DC of the play's own on the area's pixels (the kept DC gives its bitmap
// up until end_area_play), null when none can be made.
static HDC begin_area_play(const RenderControl* c, HANDLE data, HGDIOBJ* old)
{
    *old = NULL;
    if (!section_dc(&s_area, data, c->width, c->height, c->pixels_offset))
        return NULL;
    HDC dc = CreateCompatibleDC(NULL);
    if (!dc)
        return NULL;
    SelectObject(s_area.dc, s_area.old);
    *old = SelectObject(dc, s_area.bitmap);
    if (!*old) {
        SelectObject(s_area.dc, s_area.bitmap);
        DeleteDC(dc);
        return NULL;
    }
    return dc;
}

static void end_area_play(HDC dc, HGDIOBJ old)
{
    SelectObject(dc, old);
    DeleteDC(dc);
    SelectObject(s_area.dc, s_area.bitmap);
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
    HGDIOBJ old_bitmap;
    HDC dc = begin_area_play(c, data, &old_bitmap);
    if (!dc)
        return RENDER_STATUS_NO_MEMORY;
    bool is_emf = c->op == RENDER_OP_PLAY_EMF;
    HENHMETAFILE emf = is_emf ? SetEnhMetaFileBits(c->input_bytes, *view) : NULL;
    HMETAFILE wmf = is_emf ? NULL : SetMetaFileBitsEx(c->input_bytes, *view);
    UnmapViewOfFile(*view);
    *view = NULL;
    LONG status = RENDER_STATUS_NO_MEMORY;
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
    release_objects(dc, &objects);
    end_area_play(dc, old_bitmap);
    return status;
}

// A conversion's result in a mapping of this process of room bytes, whose
// handle the program takes out of it (closing it here): its view and the
// size bytes of it the result fills. Only the pages it fills are touched.
struct Result {
    HANDLE mapping;
    BYTE* view;
    UINT size;
};

// Room for a result of room bytes; false when none can be made.
static bool make_result_room(DWORD room, Result* result)
{
    memset(result, 0, sizeof *result);
    result->mapping = room ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, room, NULL) : NULL;
    result->view = result->mapping ? (BYTE*)MapViewOfFile(result->mapping, FILE_MAP_WRITE, 0, 0, room) : NULL;
    if (!result->view && result->mapping) {
        CloseHandle(result->mapping);
        result->mapping = NULL;
    }
    return result->view != NULL;
}

static void drop_result(Result* result)
{
    if (result->view)
        UnmapViewOfFile(result->view);
    if (result->mapping)
        CloseHandle(result->mapping);
    memset(result, 0, sizeof *result);
}

// Hands the result back to the program.
static LONG hand_back(RenderControl* c, Result* result)
{
    UnmapViewOfFile(result->view);
    c->result_handle = (DWORD)(ULONG_PTR)result->mapping;
    c->result_bytes = result->size;
    memset(result, 0, sizeof *result);
    return RENDER_STATUS_DONE;
}

// The next part of the request begins: the program gives it a time of its own.
static void begin_phase(RenderControl* c)
{
    InterlockedIncrement(&c->phase);
}

// GetWinMetaFileBits of the enhanced metafile, once, straight into the room
// for the result. Asking the size first would cost a whole conversion, as
// dear as a play, before the one that gives the bytes; the size has no
// bound in the input (a region of a few rectangles may come out as
// megabytes of scans), and a result that fills the room may have been cut
// to it: one that large is not handed back. The system gives nothing of
// sound records only when its memory runs short.
static LONG convert_emf_to_wmf(RenderControl* c, HENHMETAFILE emf, HDC reference, Result* result)
{
    if (!make_result_room(c->result_room, result))
        return RENDER_STATUS_NO_MEMORY;
    c->conversion_calls++;
    result->size = GetWinMetaFileBits(emf, c->result_room, result->view, c->map_mode, reference);
    if (result->size && result->size < c->result_room)
        return RENDER_STATUS_DONE;
    LONG status = result->size ? RENDER_STATUS_TOO_LARGE : RENDER_STATUS_NO_MEMORY;
    drop_result(result);
    return status;
}

static LONG convert_wmf_to_emf(RenderControl* c, HENHMETAFILE emf, Result* result)
{
    UINT size = GetEnhMetaFileBits(emf, 0, NULL);
    if (size >= c->result_room)
        return RENDER_STATUS_TOO_LARGE;
    if (!size || !make_result_room(size + 1, result))
        return RENDER_STATUS_NO_MEMORY;
    result->size = GetEnhMetaFileBits(emf, size, result->view);
    if (result->size == size)
        return RENDER_STATUS_DONE;
    drop_result(result);
    return RENDER_STATUS_NO_MEMORY;
}

// The play of a conversion's source, as the program shows it, on a thread
// of its own beside the conversion or the play of its result: each is as
// dear as a play of the picture, which for one of many records takes
// seconds. (A Windows metafile's source is played only once it is
// converted: the system's conversion holds copies of the input, and the
// source's own would be one more beside them.)
struct SourcePlay {
    ComparisonPlay* play;
    HENHMETAFILE emf;     // an enhanced source, played into the whole comparison; or
    HMETAFILE wmf;        // a Windows one, under this mapping mode and window
    int map_mode;
    RECT window;
    bool is_whole, ran_out_of_time;
};

static DWORD WINAPI play_source(LPVOID data)
{
    SourcePlay* job = (SourcePlay*)data;
    job->is_whole = job->emf ? play_emf_for_comparison(job->play, job->emf)
                             : play_wmf_for_comparison(job->play, job->wmf, job->map_mode, &job->window);
    job->ran_out_of_time = !job->is_whole && last_play_ran_out_of_time();
    return 0;
}

// Starts the play; where no thread can be had, plays it here. The thread
// to wait for, or null.
static HANDLE start_source_play(SourcePlay* job)
{
    HANDLE thread = CreateThread(NULL, 0, play_source, job, 0, NULL);
    if (!thread)
        play_source(job);
    return thread;
}

static void finish_source_play(HANDLE thread)
{
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

// What a play of a conversion's result gives the comparison: done when it
// was whole; a result that cannot be shown whole in time is too slow, and
// one cut otherwise shows another picture.
static LONG result_play_status(bool whole)
{
    return whole ? RENDER_STATUS_DONE : last_play_ran_out_of_time() ? RENDER_STATUS_OUT_OF_TIME : RENDER_STATUS_DIFFERS;
}

// The status of a conversion once both plays have ended (result: the
// result's play status, or why the result could not be played): a source
// that cannot be shown whole is cut as its play is; a result played whole
// that shows another picture differs.
static LONG comparison_status(LONG result, const SourcePlay* source, const ComparisonPlay* played)
{
    if (!source->is_whole)
        return source->ran_out_of_time ? RENDER_STATUS_OUT_OF_TIME : RENDER_STATUS_CUT;
    if (result != RENDER_STATUS_DONE)
        return result;
    return comparison_plays_match(source->play, played) ? RENDER_STATUS_DONE : RENDER_STATUS_DIFFERS;
}

// Whether a picture shown in the box, fitted to the comparison's larger
// side as the program fits a placeable file, fills the comparison to a
// pixel: a box of another shape reopens as another picture.
static bool box_keeps_shape(const RECT* box, LONG width, LONG height)
{
    int64_t across = (int64_t)box->right - box->left, down = (int64_t)box->bottom - box->top;
    if (across <= 0 || down <= 0)
        return false;
    int64_t shown_across = width, shown_down = height;
    if (across * height >= down * width)
        shown_down = (down * width + across / 2) / across;
    else
        shown_across = (across * height + down / 2) / down;
    return shown_across >= width - 1 && shown_down >= height - 1;
}

// Plays a Windows-metafile result as the program shows the file written
// with it: its bytes sealed as a read seals them, in the placeable box the
// file is given, over the whole comparison. Its play status, or why it
// could not be played: the program could not read it back (unsound, or
// past a limit of the rules only), or there was no room for its copy, or
// its box is of another shape than the comparison.
static LONG play_wmf_result(RenderControl* c, const Result* result, ComparisonPlay* play)
{
    if (c->has_result_box && !box_keeps_shape(&c->result_box, play->width, play->height))
        return RENDER_STATUS_DIFFERS;
    uint64_t room = wmf_seal_room(result->view, result->size);
    BYTE* bits = room <= c->result_room ? (BYTE*)malloc((size_t)room) : NULL;
    if (!bits)
        return room <= c->result_room ? RENDER_STATUS_NO_MEMORY : RENDER_STATUS_TOO_LARGE;
    memcpy(bits, result->view, result->size);
    uint32_t sealed = seal_wmf_records(bits, result->size, room);
    HMETAFILE wmf = sealed ? SetMetaFileBitsEx(sealed, bits) : NULL;
    free(bits);
    if (!sealed) {
        // Refused for a region of more rectangles than the rules take:
        // sound, but too large for the kind.
        bool is_sound = walk_wmf_records(result->view, result->size, [&](uint32_t offset, uint32_t words,
                                                                         uint16_t function) {
            const uint32_t params = words * 2 - META_RECORD_HEAD_BYTES;
            return function != META_CREATEREGION ||
                   !wmf_region_passes_limit(result->view + offset + META_RECORD_HEAD_BYTES, params);
        });
        return is_sound ? RENDER_STATUS_RESULT_UNSOUND : RENDER_STATUS_PAST_KIND;
    }
    if (!wmf)
        return RENDER_STATUS_NO_MEMORY;
    // Without a box, the records' own window is the picture.
    const RECT unit = {0, 0, 1, 1};
    bool whole = play_wmf_for_comparison(play, wmf, MM_ANISOTROPIC, c->has_result_box ? &c->result_box : &unit);
    DeleteMetaFile(wmf);
    return result_play_status(whole);
}

// The program's own conversion (emf_to_wmf.h), for a picture the system's
// shows otherwise or writes past the rules: its result replaces the
// system's in the room and is played and compared as the system's was.
// Done only when it shows the source's picture; the system's result is
// gone either way.
static LONG convert_emf_to_wmf_here(RenderControl* c, HENHMETAFILE emf, const ComparisonPlay* source,
                                    ComparisonPlay* played, Result* result)
{
    drop_result(result);
    if (!c->has_result_box)
        return RENDER_STATUS_DIFFERS;
    const LONG width = played->width, height = played->height;
    end_comparison_play(played);
    if (!begin_comparison_play(played, width, height))
        return RENDER_STATUS_NO_MEMORY;
    begin_phase(c);
    const SIZE shown = {width, height};
    HMETAFILE wmf = draw_emf_as_wmf(emf, &c->result_box, shown);
    if (!wmf)
        return RENDER_STATUS_DIFFERS;
    UINT size = GetMetaFileBitsEx(wmf, 0, NULL);
    LONG status = RENDER_STATUS_NO_MEMORY;
    if (size >= c->result_room)
        status = RENDER_STATUS_TOO_LARGE;
    else if (size && make_result_room(c->result_room, result))
        status = GetMetaFileBitsEx(wmf, size, result->view) == size ? RENDER_STATUS_DONE : RENDER_STATUS_NO_MEMORY;
    DeleteMetaFile(wmf);
    if (status == RENDER_STATUS_DONE) {
        result->size = size;
        begin_phase(c);
        status = play_wmf_result(c, result, played);
    }
    if (status == RENDER_STATUS_DONE &&
        (!comparison_plays_match(source, played) || !wmf_text_keeps_characters(emf, result->view, result->size)))
        status = RENDER_STATUS_DIFFERS;
    if (status != RENDER_STATUS_DONE)
        drop_result(result);
    return status;
}

// The enhanced metafile of only the records of the input that keep their
// rules (the system's conversion plays every record it is given), played
// as the program shows it while it is converted and its result played as
// the program would show the file written with it.
static LONG serve_emf_to_wmf(RenderControl* c, BYTE** view, HDC reference, Result* result)
{
    BYTE* input = *view;
    ENHMETAHEADER* header = (ENHMETAHEADER*)input;
    if (c->input_bytes >= sizeof *header && header->nHandles == 0)
        header->nHandles = 1;
    uint32_t kept = copy_sound_emf_records(input, c->input_bytes, input);
    HENHMETAFILE emf = kept ? SetEnhMetaFileBits(kept, input) : NULL;
    const RECTL* f = &header->rclFrame;
    RECT frame = {f->left, f->top, f->right, f->bottom};
    UnmapViewOfFile(*view);
    *view = NULL;
    if (!emf)
        return kept ? RENDER_STATUS_NO_MEMORY : RENDER_STATUS_FAILED;
    SIZE size = comparison_size(&frame, reference);
    ComparisonPlay source, played;
    LONG status = RENDER_STATUS_NO_MEMORY;
    if (begin_comparison_play(&source, size.cx, size.cy) && begin_comparison_play(&played, size.cx, size.cy)) {
        begin_phase(c);
        SourcePlay job = {&source, emf, NULL, 0, {0, 0, 0, 0}, false, false};
        HANDLE thread = start_source_play(&job);
        status = convert_emf_to_wmf(c, emf, reference, result);
        // What is left of the source's play is the check's, as is the result's.
        begin_phase(c);
        if (status == RENDER_STATUS_DONE)
            status = play_wmf_result(c, result, &played);
        finish_source_play(thread);
        status = comparison_status(status, &job, &played);
        if (status == RENDER_STATUS_DONE && !wmf_text_keeps_characters(emf, result->view, result->size))
            status = RENDER_STATUS_DIFFERS;
        if (status == RENDER_STATUS_DIFFERS || status == RENDER_STATUS_RESULT_UNSOUND) {
            if (convert_emf_to_wmf_here(c, emf, &source, &played, result) == RENDER_STATUS_DONE)
                status = RENDER_STATUS_DONE;
        }
    }
    DeleteEnhMetaFile(emf);
    end_comparison_play(&source);
    end_comparison_play(&played);
    return status;
}

// The Windows metafile of the (sealed) input converted, then the source
// played as the program shows it beside the result as the program would
// show the file written with it. The view of the input goes once the
// source's metafile is made of it.
static LONG serve_wmf_to_emf(RenderControl* c, BYTE** view, HDC reference, Result* result)
{
    // The conversion would give the objects after one the system refused
    // other numbers: cut, as a play of it is.
    if (!wmf_objects_are_made_in_process(reference, *view, c->input_bytes))
        return RENDER_STATUS_CUT;
    METAFILEPICT picture = {c->picture_mode, c->picture_x, c->picture_y, NULL};
    begin_phase(c);
    HENHMETAFILE emf = SetWinMetaFileBits(c->input_bytes, *view, reference, c->picture_mode ? &picture : NULL);
    LONG status = emf ? convert_wmf_to_emf(c, emf, result) : (LONG)RENDER_STATUS_NO_MEMORY;
    EmfSoundness soundness = status == RENDER_STATUS_DONE ? emf_bits_soundness(result->view, result->size) : EMF_SOUND;
    if (soundness != EMF_SOUND)
        status = soundness == EMF_PAST_LIMIT ? RENDER_STATUS_PAST_KIND : RENDER_STATUS_RESULT_UNSOUND;
    HMETAFILE wmf = status == RENDER_STATUS_DONE ? SetMetaFileBitsEx(c->input_bytes, *view) : NULL;
    UnmapViewOfFile(*view);
    *view = NULL;
    if (status == RENDER_STATUS_DONE && !wmf)
        status = RENDER_STATUS_NO_MEMORY;
    // The result is shown at the size of its frame; a picture that scales
    // is shown at its own, and a frame of another size shows another.
    const RECT extent = {0, 0, c->picture_x, c->picture_y};
    const bool scales = c->picture_mode == MM_ISOTROPIC || c->picture_mode == MM_ANISOTROPIC;
    SIZE size = comparison_size(&extent, reference);
    if (status == RENDER_STATUS_DONE) {
        const RECTL* f = &((const ENHMETAHEADER*)result->view)->rclFrame;
        const RECT frame = {f->left, f->top, f->right, f->bottom};
        if (!scales)
            size = comparison_size(&frame, reference);
        else if (!frame_shows_extent(&frame, &extent, reference))
            status = RENDER_STATUS_DIFFERS;
    }
    ComparisonPlay source, played;
    memset(&source, 0, sizeof source);
    memset(&played, 0, sizeof played);
    if (status == RENDER_STATUS_DONE && (!begin_comparison_play(&source, size.cx, size.cy) ||
                                         !begin_comparison_play(&played, size.cx, size.cy)))
        status = RENDER_STATUS_NO_MEMORY;
    if (status == RENDER_STATUS_DONE) {
        // The picture's device pixels stand for a window its records do not
        // set, as in the system's conversion.
        const SIZE device = frame_device_size(&extent, reference);
        SourcePlay job = {&source, NULL, wmf, c->picture_mode, {0, 0, device.cx, device.cy}, false, false};
        begin_phase(c);
        HANDLE thread = start_source_play(&job);
        status = result_play_status(play_emf_for_comparison(&played, emf));
        finish_source_play(thread);
        status = comparison_status(status, &job, &played);
    }
    if (wmf)
        DeleteMetaFile(wmf);
    if (emf)
        DeleteEnhMetaFile(emf);
    end_comparison_play(&source);
    end_comparison_play(&played);
    return status;
}

// The conversions, under a memory DC compatible with the screen as the
// reference device. Once the system holds the metafile of the input, this
// process lets its view of the input go (*view null): the system's
// conversion makes copies of its own, and the input's pages are not held
// here beside them. A result is handed back only when it shows the
// source's picture.
static LONG serve_conversion(RenderControl* c, BYTE** view)
{
    HDC reference = CreateCompatibleDC(NULL);
    Result result;
    memset(&result, 0, sizeof result);
    LONG status = RENDER_STATUS_NO_MEMORY;
    // The plays of the check are bound by the check's time, not a play's:
    // the program times the making of the result alone as a request.
    set_play_budget(c->check_budget_ms);
    if (reference && c->op == RENDER_OP_EMF_TO_WMF) {
        status = serve_emf_to_wmf(c, view, reference, &result);
    } else if (reference) {
        status = serve_wmf_to_emf(c, view, reference, &result);
    }
    if (*view) {
        UnmapViewOfFile(*view);
        *view = NULL;
    }
    if (status == RENDER_STATUS_DONE)
        status = hand_back(c, &result);
    drop_result(&result);
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
        c->phase = 0;
        // Every play of the request keeps its budget: a conversion's plays
        // of its source and result as well.
        set_play_budget(c->budget_ms);
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
