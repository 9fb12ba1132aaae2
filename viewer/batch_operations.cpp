// The batch window's operations (see batch_operations.h).
//
// The pass never writes over a file it reads: a move, copy or conversion
// whose output would be its own source is refused and reported as failed,
// so that an error halfway leaves every file whole and nothing undone is
// counted as done. Another file in the output's place is replaced only
// after the user's Yes; No skips that file. Cancel in any question of the
// pass ends it there: no file after it is touched, and the summary counts
// what was done before. A file's read-only attribute is lifted only for
// the step that needs it (a delete the user agreed to, a turn of the file
// itself, a move to another volume) and put back afterwards
// (kept_attributes.h).
#include "viewer/batch_operations.h"

#include <cstdio>
#include <cstring>

#include "app/comment_dialog.h"
#include "app/convert_save.h"
#include "app/file_commands.h"
#include "app/file_list.h"
#include "image/background.h"
#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/file_names.h"
#include "image/file_stamp.h"
#include "image/kept_attributes.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/progress.h"
#include "image/seams.h"
#include "formats/png.h"
#include "jpeg/exif_read.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_comment.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "jpeg/jpegtran.h"
#include "resources/resource.h"
#include "tools/quarter_turns.h"
#include "tools/resample.h"
#include "viewer/batch_window.h"

short g_batchOp;
int g_commentBatchMode;
static HGLOBAL g_hBatchTarget;  // 261 bytes: the chooser's folder and a file name, command to end of pass
static UINT_PTR g_batchTimerId = 1;

static const char APP_CAPTION[] = "Corvane File Viewer";
static const char NONE_SELECTED[] = "Batch Process: No Images Selected";
static const char HALVE_QUESTION[] = "Reduce both width and height by a factor of 2 before converting each file?";

// ---- paths and texts

int join_batch_target(const char* target, const char* name, char* out, size_t size)
{
    const char* slash = std::strrchr(target, '\\');
    int folder = slash ? (int)(slash - target) : 0;
    int length = slash ? std::snprintf(out, size, "%.*s\\%s", folder, target, name)
                       : std::snprintf(out, size, "%s", name);
    return length > 0 && (size_t)length < size;
}

int png_output_path(const char* joined, char* out, size_t size)
{
    const char* slash = std::strrchr(joined, '\\');
    const char* dot = std::strrchr(joined, '.');
    if (dot && slash && dot < slash)
        dot = NULL;
    int stem = dot ? (int)(dot - joined) : (int)std::strlen(joined);
    int length = std::snprintf(out, size, "%.*s.png", stem, joined);
    return length > 0 && (size_t)length < size;
}

int jpeg_output_path(const char* joined, int same_folder, const char* name, char* out, size_t size)
{
    if (!same_folder) {
        int length = std::snprintf(out, size, "%s", joined);
        return length > 0 && (size_t)length < size;
    }
    const char* slash = std::strrchr(joined, '\\');
    int folder = slash ? (int)(slash - joined) + 1 : 0;
    int length = std::snprintf(out, size, "%.*scopy_%s", folder, joined, name);
    return length > 0 && (size_t)length < size;
}

void batch_summary_text(int op, long done, long failed, const char* failed_names, char* out, size_t size)
{
    const char* format = op == BATCH_MOVE     ? "%ld Files Moved."
                         : op == BATCH_COPY   ? "%ld Files Copied."
                         : op == BATCH_DELETE ? "%ld Files Deleted."
                                              : "%ld Files Converted.";
    int length = std::snprintf(out, size, format, done);
    if (failed > 0 && length > 0 && (size_t)length < size)
        std::snprintf(out + length, size - (size_t)length, "\n\n%ld Failed:\n%s", failed, failed_names);
}

// Appends a failed file's name to the list the summary shows, as far as it fits.
static void note_failure(char* names, size_t size, long* failed, const char* name)
{
    ++*failed;
    size_t used = std::strlen(names);
    if (used < size)
        std::snprintf(names + used, size - used, "%s%s", used ? "\n" : "", name);
}

// What one file of a pass came to.
enum FileOutcome { FILE_FAILED = 0, FILE_DONE = 1, FILE_SKIPPED = -1, PASS_CANCELLED = -2 };

// The outcome of a file whose question was not answered Yes.
static int refused_outcome(int answer)
{
    return answer == IDCANCEL ? PASS_CANCELLED : FILE_SKIPPED;
}

// IDYES when nothing is at path, else the user's answer to replacing the
// file there (a file other than the source, which the caller has refused
// already).
static int replace_answer(HWND hwnd, const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return IDYES;
    return ask_to_replace_in_pass(hwnd, path, APP_CAPTION);
}

static int opens_for_reading(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

int count_selected_thumbnails(void)
{
    int selected = 0;
    for (int cell = 0; g_thumbSelected && cell < g_thumbCells; ++cell)
        if (g_thumbSelected[cell] == 1)
            ++selected;
    return selected;
}

// ---- the folder chooser

UINT_PTR CALLBACK move_copy_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)wp;
    (void)lp;
    if (msg != WM_INITDIALOG)
        return 0;
    SetDlgItemTextA(hdlg, IDOK, g_batchOp == BATCH_MOVE ? "MOVE" : g_batchOp == BATCH_COPY ? "COPY" : "OK");
    static const int HIDDEN[] = {IDC_MAIN_FILE_LIST, IDC_MAIN_TYPE_COMBO, IDC_MAIN_NAME_EDIT, IDC_MAIN_TYPE_LABEL,
                                 IDC_MAIN_NAME_LABEL};
    for (int id : HIDDEN)
        ShowWindow(GetDlgItem(hdlg, id), SW_HIDE);
    return 1;
}

BOOL choose_move_copy_folder(HWND owner, int thumb, char* target)
{
    static const char FILTER[] = " \0*.xxx\0";
    char path[MAX_PATH];
    if (!thumb_file_path(thumb, path, sizeof path))
        return FALSE;
    // The hidden name field holds the bare name: the dialog puts the folder
    // it shows when its button is pressed in front of it. A full path there
    // would come back as it went in, wherever the user had gone.
    listed_file_name(path, target, SAVE_PATH_SIZE);
    // It opens on the file's own folder.
    char folder[MAX_PATH];
    if (!path_folder(path, folder, sizeof folder))
        return FALSE;

    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    // The size without the Windows 2000 fields keeps the classic dialog.
    ofn.lStructSize = 76;
    ofn.hwndOwner = owner;
    ofn.hInstance = g_hInstance;
    ofn.lpstrFilter = FILTER;
    ofn.lpstrFile = target;
    ofn.nMaxFile = SAVE_PATH_SIZE;
    ofn.lpstrInitialDir = folder;
    ofn.lpstrTitle = g_batchOp == BATCH_MOVE   ? "Move Selected Files to:"
                     : g_batchOp == BATCH_COPY ? "Copy Selected Files to:"
                                               : NULL;
    ofn.lpfnHook = move_copy_hook_proc;
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON |
                OFN_LONGNAMES;
    BOOL chosen = run_file_dialog_holding(&ofn, GetOpenFileNameA);
    return chosen && target[0];
}

// ---- queuing and the pass

// The pass runs at the first tick after it was queued, once the menu or
// dialog that queued it is gone.
enum { PASS_DELAY_MS = 5 };
static bool s_passWaits;  // a queued pass's tick came while a hold was on

void stop_batch_timer(HWND hwnd)
{
    KillTimer(hwnd, g_batchTimerId);
    s_passWaits = false;
}

static void run_pass_after_hold(void)
{
    if (s_passWaits && is_window_open(g_hwndBatch))
        SetTimer(g_hwndBatch, g_batchTimerId, PASS_DELAY_MS, NULL);
    s_passWaits = false;
}

static void free_target(void)
{
    if (g_hBatchTarget)
        GlobalFree(g_hBatchTarget);
    g_hBatchTarget = NULL;
}

// The halving question of a conversion: false for Cancel, which ends the
// command; Yes adds the halving to g_batchOp. Enter keeps the full size: a
// halved copy offered under the file's own name would replace the photo.
static bool ask_halving(HWND hwnd)
{
    int answer = seam_message_box(hwnd, HALVE_QUESTION, APP_CAPTION, MB_YESNOCANCEL | MB_DEFBUTTON2);
    if (answer == IDYES)
        g_batchOp = (short)(g_batchOp + BATCH_HALVED);
    return answer != IDCANCEL;
}

static void queue_operation(HWND hwnd, int op)
{
    g_batchOp = (short)op;
    free_target();
    if (op != BATCH_DELETE) {
        for (int cell = 0; g_thumbSelected && cell < g_thumbCells; ++cell) {
            if (g_thumbSelected[cell] != 1)
                continue;
            g_hBatchTarget = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, SAVE_PATH_SIZE + 1);
            char* target = g_hBatchTarget ? (char*)GlobalLock(g_hBatchTarget) : NULL;
            BOOL chosen = target && choose_move_copy_folder(hwnd, cell + g_thumbFirst, target);
            if (target)
                GlobalUnlock(g_hBatchTarget);
            if (!chosen) {
                free_target();
                return;
            }
            DrawMenuBar(hwnd);
            g_thumbsRedraw = 1;
            g_thumbsErase = 0;
            InvalidateRect(hwnd, NULL, FALSE);
            break;
        }
    }
    if (op >= BATCH_PNG && !ask_halving(hwnd)) {
        free_target();
        return;
    }
    SetTimer(hwnd, g_batchTimerId, PASS_DELAY_MS, NULL);
}

// The JPEG file read, halved first when asked; null after the reader's own
// message or when the halved copy cannot be made. The halved copy works
// from the whole picture, under the file's ceiling.
static HGLOBAL read_for_conversion(const char* path, int halve)
{
    PixelCeiling outer = begin_batch_file_ceiling(path);
    HGLOBAL image = read_jpeg_file(path, NULL);
    if (image && halve) {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(image);
        int width = bih ? bih->biWidth / 2 : 0, height = bih ? bih->biHeight / 2 : 0;
        if (bih)
            GlobalUnlock(image);
        HGLOBAL half = width > 0 && height > 0 && batch_copy_fits_ceiling(image)
                           ? resample_image(image, width, height) : NULL;
        GlobalFree(image);
        image = half;
    }
    end_pixel_ceiling(outer);
    return image;
}

// One conversion of the pass: a FileOutcome.
static int convert_one(HWND hwnd, const char* path, const char* joined, int same_folder, const char* name)
{
    int code = g_batchOp >= BATCH_PNG + BATCH_HALVED ? g_batchOp - BATCH_HALVED : g_batchOp;
    int is_png = code == BATCH_PNG || code == BATCH_PNG_ADAM7;
    char out[MAX_PATH];
    int have_out = is_png ? png_output_path(joined, out, sizeof out)
                          : jpeg_output_path(joined, same_folder, name, out, sizeof out);
    int is_own_source = have_out && is_same_file(out, path);
    int answer = have_out && !is_own_source ? replace_answer(hwnd, out) : IDYES;
    if (answer != IDYES)
        return refused_outcome(answer);
    HGLOBAL image = have_out && !is_own_source ? read_for_conversion(path, code != g_batchOp) : NULL;
    InvalidateRect(hwnd, NULL, FALSE);
    int written = 0;
    // The photo's pixels are written as stored: its orientation goes along.
    const int orientation = set_exif_build_orientation(exif_orientation_of(path));
    if (image)
        written = is_png ? write_png_file(out, image, code & 1) : write_jpeg_file(out, 85, image, code & 1, 0, 0);
    set_exif_build_orientation(orientation);
    if (image)
        GlobalFree(image);
    if (!written)
        seam_message_box(hwnd, is_png ? "Error Coverting File -- PNG." : "Error Coverting File -- JPG.", path,
                         MB_OK | MB_ICONSTOP);
    return written ? FILE_DONE : FILE_FAILED;
}

// One file of the pass: a FileOutcome.
static int run_one(HWND hwnd, int cell, const char* target)
{
    int i = cell + g_thumbFirst;
    char path[MAX_PATH], list_text[MAX_PATH], name[MAX_PATH], joined[MAX_PATH];
    if (!thumb_file_path(i, path, sizeof path) || !thumb_list_text(i, list_text, sizeof list_text))
        return FILE_FAILED;
    listed_file_name(path, name, sizeof name);
    if (g_batchOp == BATCH_DELETE) {
        int answer = ask_to_delete(hwnd, list_text, MB_ICONQUESTION);
        if (answer != IDYES)
            return refused_outcome(answer);
        if (!delete_agreed_file(path)) {
            char text[MAX_PATH + 40];
            std::snprintf(text, sizeof text, "Unable to Delete: \n\n %s", list_text);
            seam_message_box(hwnd, text, NULL, MB_OK);
            return FILE_FAILED;
        }
        mark_thumb_gone(i);
        return FILE_DONE;
    }
    if (!join_batch_target(target, name, joined, sizeof joined))
        return FILE_FAILED;
    // The file's own folder, wherever the main list has gone since.
    char folder[MAX_PATH];
    int same_folder = path_folder(path, folder, sizeof folder) && is_target_in_folder(folder, joined);
    for (int other = 0; other < g_thumbCells; ++other)
        draw_cell_frame(hwnd, other, other == cell ? 1 : g_thumbSelected[other]);
    if (g_batchOp == BATCH_MOVE) {
        // A move onto the file itself "succeeds" and moves nothing.
        if (is_same_file(path, joined) || !move_file_keeping_attributes(path, joined, MOVEFILE_COPY_ALLOWED)) {
            seam_message_box(hwnd, "Error Moving File.", list_text, MB_OK | MB_ICONSTOP);
            return FILE_FAILED;
        }
        set_thumb_path(i, joined);
        if (!same_folder && !opens_for_reading(path))
            mark_thumb_gone(i);
        follow_moved_shown_file(g_hwndMain, path, joined);
        return FILE_DONE;
    }
    if (g_batchOp == BATCH_COPY) {
        // A copy onto itself would lose the file on some systems.
        int is_own_source = is_same_file(path, joined);
        int answer = is_own_source ? IDYES : replace_answer(hwnd, joined);
        if (answer != IDYES)
            return refused_outcome(answer);
        int copied = !is_own_source && CopyFileA(path, joined, FALSE);
        InvalidateRect(hwnd, NULL, FALSE);
        if (!copied)
            seam_message_box(hwnd, "Error Copying File.", list_text, MB_OK | MB_ICONSTOP);
        return copied ? FILE_DONE : FILE_FAILED;
    }
    return convert_one(hwnd, path, joined, same_folder, name);
}

void batch_on_timer(HWND hwnd, UINT_PTR timer_id)
{
    (void)timer_id;
    stop_batch_timer(hwnd);
    // While a command works on the shown file the pass waits, with no
    // timer ticking, and starts once the hold has ended.
    if (file_hold_turns_away(hwnd)) {
        s_passWaits = true;
        after_file_hold(run_pass_after_hold);
        return;
    }
    int selected = count_selected_thumbnails();
    if (selected == 0) {
        free_target();
        seam_message_box(hwnd, NONE_SELECTED, APP_CAPTION, MB_OK | MB_ICONSTOP);
        return;
    }
    show_progress(0, 1);
    char target[SAVE_PATH_SIZE + 1] = "";
    if (const char* chosen = g_hBatchTarget ? (const char*)GlobalLock(g_hBatchTarget) : NULL) {
        lstrcpynA(target, chosen, sizeof target);
        GlobalUnlock(g_hBatchTarget);
    }
    long done = 0, failed = 0;
    char failed_names[1024] = "";
    int worked = 0;
    for (int cell = 0; cell < g_thumbCells; ++cell) {
        if (g_thumbSelected[cell] != 1)
            continue;
        g_thumbSelected[cell] = 0;
        int result = run_one(hwnd, cell, target);
        if (result == FILE_DONE) {
            ++done;
        } else if (result == FILE_FAILED) {
            char text[MAX_PATH] = "?";
            thumb_list_text(cell + g_thumbFirst, text, sizeof text);
            note_failure(failed_names, sizeof failed_names, &failed, text);
        }
        draw_cell_frame(hwnd, cell, g_thumbSelected[cell]);
        show_progress((double)++worked / selected, 1);
        // The cells not reached stay selected.
        if (result == PASS_CANCELLED)
            break;
    }
    show_progress(0, 1);
    free_target();
    char summary[1200];
    batch_summary_text(g_batchOp, done, failed, failed_names, summary, sizeof summary);
    seam_message_box(hwnd, summary, "Batch Process Digital Images", MB_OK);
}

// ---- quarter turns

// Reads the cell's new thumbnail and draws it over the old one; the page's
// cache follows so that repaints show it too.
static void redraw_rotated(int cell)
{
    int i = cell + g_thumbFirst;
    HGLOBAL image = draw_thumbnail_from_file(g_hwndBatch, i, 1, 0);
    replace_cached_thumbnail(i, image);
}

int rotate_thumbnail_file_lossless(int angle, int cell)
{
    static char rotate[] = "-rotate", cw[] = "90", ccw[] = "270", empty[] = "";
    static char path[MAX_PATH];
    if (!thumb_file_path(cell + g_thumbFirst, path, sizeof path))
        return 0;
    if (angle != 90 && angle != 270)
        return 0;
    g_jpegtranArgv[4] = rotate;
    g_jpegtranArgv[5] = angle == 90 ? cw : ccw;
    g_jpegtranArgv[6] = path;
    g_jpegtranArgv[7] = path;
    g_jpegtranArgv[8] = empty;
    g_jpegtranArgc = 8;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    // The turn the user asked for rewrites a read-only file too, which
    // stays read-only. The transform turns the file's Exif thumbnail with
    // the picture.
    KeptAttributes kept = keep_attributes(path, 1);
    int turned = jpegtran_main(g_jpegtranArgc, g_jpegtranArgv);
    put_attributes_back(&kept);
    if (turned)
        redraw_rotated(cell);
    g_jpegtranArgc = 4;
    SetCursor(old_cursor);
    return 1;
}

int rotate_thumbnail_file_reencode(int angle, int cell)
{
    char path[MAX_PATH];
    if (!thumb_file_path(cell + g_thumbFirst, path, sizeof path))
        return 0;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    PixelCeiling outer = begin_batch_file_ceiling(path);
    HGLOBAL image = read_jpeg_file(path, NULL);
    int state = 0;
    // A file that cannot be read or turned stays as it was.
    int turned = image && batch_copy_fits_ceiling(image) &&
                 (angle == 90 ? rotate_cw90(&image, &state) : rotate_ccw90(&image, &state));
    end_pixel_ceiling(outer);
    KeptAttributes kept = keep_attributes(path, turned);
    int written = turned && write_jpeg_file(path, 85, image, 0, 1, 0);
    put_attributes_back(&kept);
    if (written)
        redraw_rotated(cell);
    if (image)
        GlobalFree(image);
    SetCursor(old_cursor);
    return 1;
}

static int rotate_cell(int angle, int cell)
{
    int lossless = is_cell_lossless(cell);
    return lossless ? rotate_thumbnail_file_reencode(angle, cell) : rotate_thumbnail_file_lossless(angle, cell);
}

static void rotate_selected(HWND hwnd, int angle)
{
    int selected = count_selected_thumbnails();
    if (selected == 0) {
        seam_message_box(hwnd, NONE_SELECTED, APP_CAPTION, MB_OK | MB_ICONSTOP);
        return;
    }
    show_progress(0, 1);
    int worked = 0;
    for (int cell = 0; cell < g_thumbCells; ++cell) {
        if (g_thumbSelected[cell] != 1)
            continue;
        g_thumbSelected[cell] = 0;
        rotate_cell(angle, cell);
        draw_cell_frame(hwnd, cell, 0);
        show_progress((double)++worked / selected, 1);
    }
    show_progress(0, 1);
}

// ---- the clicked file

static void move_copy_rename_clicked(HWND hwnd, int mode)
{
    int i = g_thumbCurrent + g_thumbFirst;
    char path[MAX_PATH];
    if (!thumb_file_path(i, path, sizeof path))
        return;
    // A move or rename takes the file with its attributes; a copy only reads it.
    char extension[4] = "";
    const char* dot = std::strrchr(path, '.');
    if (dot && !std::strchr(dot, '\\')) {
        lstrcpynA(extension, dot + 1, sizeof extension);
        CharLowerA(extension);
    }
    // The dialog opens on the file's own folder; the messages name it in full.
    char folder[MAX_PATH];
    if (path_folder(path, folder, sizeof folder))
        move_copy_rename_file(hwnd, g_hwndMain, path, folder, extension, mode, i);
    DrawMenuBar(hwnd);
}

static void delete_clicked(HWND hwnd)
{
    int i = g_thumbCurrent + g_thumbFirst;
    char path[MAX_PATH], text[MAX_PATH];
    if (!thumb_file_path(i, path, sizeof path) || !thumb_list_text(i, text, sizeof text))
        return;
    if (ask_to_delete(hwnd, text, MB_ICONQUESTION) == IDYES) {
        if (delete_agreed_file(path)) {
            mark_thumb_gone(i);
            draw_cell_frame(hwnd, g_thumbCurrent, THUMB_EMPTY);
            POINT p = thumb_area_origin(g_thumbCurrent);
            RECT area = {p.x, p.y, p.x + THUMB_MAX_SIDE, p.y + THUMB_MAX_SIDE};
            HDC dc = GetDC(hwnd);
            FillRect(dc, &area, (HBRUSH)GetStockObject(WHITE_BRUSH));
            ReleaseDC(hwnd, dc);
            replace_cached_thumbnail(i, NULL);
        } else {
            char text_box[MAX_PATH + 40];
            std::snprintf(text_box, sizeof text_box, "Unable to Delete: \n\n %s", text);
            seam_message_box(hwnd, text_box, NULL, MB_OK);
        }
    }
    DrawMenuBar(hwnd);
}

static void convert_clicked(HWND hwnd, int id)
{
    g_batchOp = (short)(BATCH_PNG + (id - IDM_THUMB_PNG));
    if (!ask_halving(hwnd))
        return;
    int i = g_thumbCurrent + g_thumbFirst;
    char path[MAX_PATH];
    if (!thumb_file_path(i, path, sizeof path))
        return;
    int code = g_batchOp % BATCH_HALVED;
    HGLOBAL image = read_for_conversion(path, g_batchOp >= BATCH_PNG + BATCH_HALVED);
    InvalidateRect(hwnd, NULL, FALSE);
    // The Save dialog proposes the file's own name in its own folder.
    char name[MAX_PATH], folder[MAX_PATH];
    listed_file_name(path, name, sizeof name);
    const int orientation = set_exif_build_orientation(exif_orientation_of(path));
    if (image && path_folder(path, folder, sizeof folder))
        convert_save(image, hwnd, KIND_DIB, name, folder, code <= 1 ? FMT_PNG : FMT_JPEG, code & 1, 0);
    set_exif_build_orientation(orientation);
    if (image)
        GlobalFree(image);
    // The list, in the folder it shows, takes in what was written.
    fill_file_list(0);
    remap_thumb_indexes();
}

// ---- comments

static void open_comment_dialog(HWND hwnd, int for_selection)
{
    if (for_selection && count_selected_thumbnails() == 0) {
        seam_message_box(hwnd, NONE_SELECTED, APP_CAPTION, MB_OK | MB_ICONSTOP);
        return;
    }
    g_commentBatchMode = for_selection;
    run_comment_dialog(hwnd);
}

static void write_comment_to(int i, HGLOBAL* text)
{
    char path[MAX_PATH];
    if (!*text || !thumb_file_path(i, path, sizeof path))
        return;
    // A read-only file takes the comment and stays read-only.
    allow_read_only_comment_file(path);
    write_jpeg_comment(path, text, g_commentBatchMode);
    allow_read_only_comment_file(NULL);
}

void write_batch_comment(HGLOBAL* text)
{
    if (int selected = count_selected_thumbnails()) {
        show_progress(0, 1);
        int worked = 0;
        for (int cell = 0; cell < g_thumbCells; ++cell) {
            if (g_thumbSelected[cell] != 1)
                continue;
            g_thumbSelected[cell] = 0;
            write_comment_to(cell + g_thumbFirst, text);
            draw_cell_frame(g_hwndBatch, cell, 0);
            show_progress((double)++worked / selected, 1);
        }
        show_progress(0, 1);
    }
    if (*text)
        GlobalFree(*text);
    *text = NULL;
}

static void show_properties(void)
{
    char path[MAX_PATH];
    if (!thumb_file_path(g_thumbCurrent + g_thumbFirst, path, sizeof path))
        return;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    read_exif_info(path);
    SetCursor(old_cursor);
}

void run_batch_command(HWND hwnd, int id)
{
    switch (id) {
    case IDM_BATCH_ROTATE_CW:
    case IDM_BATCH_ROTATE_CCW:
        rotate_selected(hwnd, id == IDM_BATCH_ROTATE_CW ? 90 : 270);
        return;
    case IDM_BATCH_COMMENT:
        open_comment_dialog(hwnd, 1);
        return;
    case IDM_BATCH_MOVE:
        queue_operation(hwnd, BATCH_MOVE);
        return;
    case IDM_BATCH_COPY:
        queue_operation(hwnd, BATCH_COPY);
        return;
    case IDM_BATCH_DELETE:
        queue_operation(hwnd, BATCH_DELETE);
        return;
    case IDM_BATCH_PNG:
    case IDM_BATCH_PNG_ADAM7:
    case IDM_BATCH_JPEG:
    case IDM_BATCH_JPEG_PROGRESSIVE:
        queue_operation(hwnd, BATCH_PNG + (id - IDM_BATCH_PNG));
        return;
    case IDM_THUMB_ROTATE_CW:
    case IDM_THUMB_ROTATE_CCW:
        rotate_cell(id == IDM_THUMB_ROTATE_CW ? 90 : 270, g_thumbCurrent);
        return;
    case IDM_THUMB_MOVE:
        move_copy_rename_clicked(hwnd, FILE_OP_MOVE);
        return;
    case IDM_THUMB_COPY:
        move_copy_rename_clicked(hwnd, FILE_OP_COPY);
        return;
    case IDM_THUMB_RENAME:
        move_copy_rename_clicked(hwnd, FILE_OP_RENAME);
        return;
    case IDM_THUMB_DELETE:
        delete_clicked(hwnd);
        return;
    case IDM_THUMB_PNG:
    case IDM_THUMB_PNG_ADAM7:
    case IDM_THUMB_JPEG:
    case IDM_THUMB_JPEG_PROGRESSIVE:
        convert_clicked(hwnd, id);
        return;
    case IDM_THUMB_COMMENT:
        open_comment_dialog(hwnd, 0);
        return;
    case IDM_THUMB_PROPERTIES:
        show_properties();
        return;
    }
}
