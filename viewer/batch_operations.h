// The batch window's operations on the selected thumbnails: move, copy,
// delete and conversion queued by a command and run in one pass on the
// batch timer with one summary, quarter turns run at once, the folder
// chooser, and the popup menu's operations on the one clicked file.
// Every file's operation is checked: a file that fails is reported, named
// in the summary and never counted as done, and stays as it was.
#pragma once

#include <windows.h>

#include <stddef.h>

// The queued operation (g_batchOp).
enum BatchOp {
    BATCH_MOVE = 0,
    BATCH_COPY = 1,
    BATCH_DELETE = 2,
    BATCH_PNG = 10,
    BATCH_PNG_ADAM7 = 11,
    BATCH_JPEG = 12,
    BATCH_JPEG_PROGRESSIVE = 13,
    BATCH_HALVED = 10,  // added to a conversion code: width and height halved first
};

extern short g_batchOp;
extern int g_commentBatchMode;  // 1: the comment goes to every selected file, 0: to the clicked one

// The batch window's commands other than paging, leaving and opening.
void run_batch_command(HWND hwnd, int id);
// The queued pass.
void batch_on_timer(HWND hwnd, UINT_PTR timer_id);
void stop_batch_timer(HWND hwnd);

// The classic Open dialog showing only folders; target (260 characters)
// gets the folder the dialog shows when its button is pressed, followed by
// the file's name. Non-zero when confirmed.
BOOL choose_move_copy_folder(HWND owner, int thumb, char* target);
UINT_PTR CALLBACK move_copy_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// Quarter turns of the file of a cell (90 clockwise, 270 counter-clockwise);
// 1 when the file's name could be had.
int rotate_thumbnail_file_lossless(int angle, int cell);
int rotate_thumbnail_file_reencode(int angle, int cell);

// The comment dialog's text written to every selected file of the batch
// window (g_commentBatchMode set); text is freed.
void write_batch_comment(HGLOBAL* text);
// How many cells of the page shown are selected.
int count_selected_thumbnails(void);

// The file a move, copy or conversion writes: the folder of target (cut at
// its last backslash) joined with name. 0 when it does not fit.
int join_batch_target(const char* target, const char* name, char* out, size_t size);
// A conversion's output path from the joined target: PNG replaces the text
// after the last dot of the file name by "png" (appends ".png" without
// one); JPEG in the file's own folder writes "copy_" + name, the file's own
// name (never a list text, which is a full path after a move or rename).
int png_output_path(const char* joined, char* out, size_t size);
int jpeg_output_path(const char* joined, int same_folder, const char* name, char* out, size_t size);

// The summary of a pass: "%ld Files Moved." and so on, then the files that
// failed, one per line, as far as size allows.
void batch_summary_text(int op, long done, long failed, const char* failed_names, char* out, size_t size);
