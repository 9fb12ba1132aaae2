// Convert/Save: the current image written in a chosen format under a name
// the user picks in the old-style Save dialog, with the written file's size
// reported. One dispatcher calls the format's writer through the format
// table (convert_save.cpp); the writers live with their formats. The menu commands that choose the code
// and options are in main_commands.h. Every file dialog other than the main
// window's own runs through run_file_dialog here, so that none of them moves
// the folder the main list shows.
//
// Nothing here truncates or replaces an existing file before the new one is
// complete: the writers build the file beside the target and move it into
// place, and the checks that a target can be written open nothing for
// writing that already exists.
#pragma once

#include <windows.h>
#include <commdlg.h>

enum {
    SAVE_MODE_CONVERT = 0,   // OK button "Convert/Save"
    SAVE_MODE_SAVE = 10,     // OK button "Save"
    SAVE_PATH_SIZE = 260,
};

extern int g_saveDialogMode;      // SAVE_MODE_*, or the file commands' modes
extern char g_currentDir[260];    // fetched before each save, move or copy

// A writer as the format table calls it: the prepared image (for the
// metafile rows the metafile handle, of the given kind), the target path and
// the command's two options. 1 when the file was written, 0 otherwise;
// METAFILE_WRITE_CUT (metafile.h) when a conversion could not be finished.
typedef int (*SaveWriter)(HGLOBAL image, int kind, const char* path, int opt1, int opt2);

// What a writer takes: a packed DIB (kind KIND_DIB) or a metafile handle.
enum SaveInput { SAVE_TAKES_DIB, SAVE_TAKES_METAFILE };

// One row of the format table: a format is its writer unit plus one row.
struct SaveFormat {
    int code;                  // FormatCode
    const char* extension;     // without the dot
    const char* filter_name;
    const char* title;         // dialog title
    SaveWriter write;          // null while the format has no writer: its menu items are greyed
    int input;                 // SaveInput
    int checks_target;         // can_replace_file is asked first (for writers that open the target in place)
    // Non-zero when a palette image with a transparent index is written from
    // a 32-bit copy (alpha 0 at that index); null: never.
    int (*wants_alpha_copy)(int opt1, int opt2);
};

// The table row of a FormatCode; null for a code Convert/Save does not write.
const SaveFormat* find_save_format(int code);

// 1 when the code's row has a writer; the menus grey the entries of the others.
int save_format_has_writer(int code);

// The dialog title of a code and its options (the lossless JPEG has its own).
const char* save_dialog_title(int code, int opt1, int opt2);

// Replaces everything after the last dot of name by extension, or appends
// "." and the extension when there is no dot. The result is cut to size.
void force_save_extension(char* name, size_t size, const char* extension);

// The dialog's two filter pairs, "NAME (*.ext)", "*.ext", "All Files (*.*)",
// "*.*", each NUL-terminated, then an empty string. 0 when it does not fit.
int build_save_filter(const SaveFormat* format, char* block, size_t size);

// The image Convert/Save writes: the unconverted copy when it exists, no
// colour conversion is in force and the image is a bitmap; else g_hImage.
HGLOBAL image_for_saving(void);

// A palette image with a transparent index is written from a 32-bit copy
// (alpha 0 at that index) for these codes and options.
int save_uses_alpha_copy(int code, int opt1, int opt2);

// 1 when a new file can be put at path: an existing file is writable (it is
// opened without truncation and left as it was) and the folder takes a new
// file.
int can_replace_file(const char* path);

// The old-style Save dialog of owner, placed near its top-left corner
// (run_file_dialog_holding). path (SAVE_PATH_SIZE characters) holds the
// proposed name and receives the chosen one; mode SAVE_MODE_SAVE labels the
// OK button "Save", anything else "Convert/Save". Non-zero when a name was
// chosen.
BOOL choose_save_file(HWND owner, char* path, int code, const char* initial_dir, OPENFILENAMEA* ofn,
                      int mode, int opt2);

typedef BOOL(WINAPI* FileDialogFn)(OPENFILENAMEA* ofn);

// Every file dialog but the main window's own runs through here: show
// (GetOpenFileNameA or GetSaveFileNameA) with ofn, owned by the window in
// front (front_owner, open_windows.h), after which the current
// folder, which the main list follows, is where it was before, whatever was
// chosen or browsed. Non-zero when a name was chosen.
BOOL run_file_dialog(OPENFILENAMEA* ofn, FileDialogFn show);

// run_file_dialog under the file hold (file_hold.h), so that no window moves
// on to another file meanwhile; the hold is given back before this returns.
BOOL run_file_dialog_held(OPENFILENAMEA* ofn, FileDialogFn show);

// The same for a dialog placed a fifteenth of its owner's client width and
// a tenth of its height from the owner's top-left corner. The caller's hook
// (if any) sees every message as before.
BOOL run_file_dialog_holding(OPENFILENAMEA* ofn, FileDialogFn show);

// The Save dialog of ofn through run_file_dialog_holding.
BOOL run_save_dialog_holding(OPENFILENAMEA* ofn);
UINT_PTR CALLBACK convert_save_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp);

// Asks "<path> already exists.\nDo you want to replace it?" under caption,
// Yes and No; 1 for Yes.
int agrees_to_replace(HWND owner, const char* path, const char* caption);
// The same question with Yes, No and Cancel, for a pass that asks it once
// per file and ends at Cancel; the answer (IDYES, IDNO or IDCANCEL).
int ask_to_replace_in_pass(HWND owner, const char* path, const char* caption);

// The question the overwrite-prompt flag stands for, which the classic
// dialog does not ask itself. The Save dialogs' hooks call it for
// "commdlg_FileNameOK" (lp: the dialog's record, whose file buffer holds the
// chosen path). A name without an extension first gets the record's default
// extension, written into the file buffer (the classic dialog ignores that
// field too), when the buffer holds it. For an existing file other than
// same_file (may be null; the file itself under any spelling, is_same_file)
// it asks "<path> already exists.\nDo you want to replace it?" under the
// dialog's title, Yes/No: No gives non-zero, which keeps the dialog open
// with the name; Yes and a new name give 0.
UINT_PTR ask_before_replacing(HWND hdlg, LPARAM lp, const char* same_file);
// 1 when the two paths name one existing file by the same full path in any
// letter case: a new letter case of its own name.
int names_same_existing_file(const char* a, const char* b);
// Each dialog asks afresh: its hook calls this at WM_INITDIALOG.
void forget_replace_answer(void);
// 1 when the user answered Yes for path in the last Save dialog.
int is_replace_agreed(const char* path);

// Proposes source_name with the format's extension, asks for the target and
// writes the image (for kinds 1 and 3 the metafile handle) there.
void convert_save(HGLOBAL image, HWND owner, int kind, const char* source_name, const char* initial_dir,
                  int code, int opt1, int opt2);

// What convert_save does once the target is chosen: prepares the image,
// calls the writer, shows the success box with the path and size or
// "Cannot Open File for Writing." under the path ("Unable to read metafile
// bits" for a conversion the renderer could not finish). 1 when written.
int convert_save_to_path(HGLOBAL image, int kind, const char* path, int code, int opt1, int opt2);
