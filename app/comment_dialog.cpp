// The comment dialog (see comment_dialog.h). A writer that fails leaves the
// file as it was and has said why (rewrite_for_comment); then the old
// comment stays current and the dialog stays open with the text the user
// typed, so nothing typed is lost. The box shows the comment with CR LF
// line ends; OK on the text as shown leaves the file alone, an edited text
// goes back with the line end each of its lines had and is counted as written,
// a text longer than the format holds is refused whole, and the rewrite
// refuses an edit that would lose a part of the comment the box could not
// show. The edit box's work must stay in step with the comment's length:
// a comment with long lines gets a box that does not wrap, and one too
// long for any box is shown in part and left as it is. For the batch
// window's selection the box opens empty: OK on it untouched writes
// nothing, and an emptied box takes the files' comments only after a Yes.
#include "app/comment_dialog.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/main_menu.h"
#include "image/animation_timer.h"
#include "image/comment_text.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/file_stamp.h"
#include "image/gif_anim.h"
#include "image/gif_write.h"
#include "image/iff_write.h"
#include "image/loader.h"
#include "image/metafile.h"
#include "image/open_windows.h"
#include "image/pnm.h"
#include "image/seams.h"
#include "image/targa.h"
#include "formats/png_comment.h"
#include "formats/tiff_comment.h"
#include "jpeg/jpeg_comment.h"
#include "resources/resource.h"
#include "viewer/batch_operations.h"
#include "viewer/batch_window.h"
#include "viewer/status_bar.h"

namespace {

struct TextRow {
    int format;  // FormatCode, or -1 for the enhanced-metafile kind
    CommentTexts texts;
};

const TextRow TEXT_ROWS[] = {
    {FMT_JPEG, {"Insert/Update JPEG Comment", "Insert/Update JPEG Comment:"}},
    {FMT_JPEG12, {"Insert/Update JPEG Comment", "Insert/Update JPEG Comment:"}},
    {FMT_GIF, {"Insert/Update GIF Comment", "Insert/Update GIF Comment:"}},
    {FMT_TIFF, {"Insert/Update TIFF Comment", "Insert/Update TIFF Comment:"}},
    {FMT_TIFF_ALT, {"Insert/Update TIFF Comment", "Insert/Update TIFF Comment:"}},
    {FMT_PNG, {"Insert/Update PNG Comment", "Insert/Update PNG Comment:"}},
    {FMT_TARGA, {"Insert/Update TARGA Comment", "Insert/Update TARGA Comment:"}},
    {FMT_IFF, {"Insert/Update IFF Comment", "Insert/Update IFF Comment:"}},
    {FMT_PBM, {"Insert/Update PBM Comment", "Insert/Update PBM Comment:"}},
    {FMT_PGM, {"Insert/Update PGM Comment", "Insert/Update PGM Comment:"}},
    {FMT_PPM, {"Insert/Update PPM Comment", "Insert/Update PPM Comment:"}},
};

typedef int (*CommentWriter)(const char* path, HGLOBAL* text);

// What the open dialog is for, decided when it opens by the window that
// opened it: the batch window's selected thumbnails, its clicked one, or
// the file shown then; a file is written whatever is shown or selected at
// OK.
struct CommentTarget {
    bool batch;      // opened by the batch window: JPEG files only
    bool selection;  // every selected thumbnail gets the text
    char path[MAX_PATH];  // in full, as it was loaded or as the thumbnail has it
    char name[MAX_PATH];  // as listed, the caption of the boxes
    CommentWriter writer;
    int format, kind;
    int page, pages;  // a TIFF's page shown
    HGLOBAL read;     // the comment as read, and as the box first showed
    HGLOBAL shown;    // it; owned by the dialog, null for none (and for a
                      // selection, whose box opens empty)
    bool read_only;   // too long to edit: shown in part, never written
};
CommentTarget g_target;

// The edit box lays a wrapped line out anew for each row it wraps into, so
// wrapping costs the square of a line's length (under Wine a line of 64 KB
// takes a quarter of a minute, one of a megabyte about an hour); a box
// that does not wrap lays a line out once. Lines costing more together than one line of
// this many characters go into a box that does not wrap.
const uint64_t WRAP_WORK_CHARS = 8192;

// Past this many bytes even a box that does not wrap takes seconds to fill
// and to take each key: the box shows the comment's beginning, read-only,
// and OK leaves the comment as it is. Every comment a GIF reader keeps
// fits.
const size_t MOST_EDITED_BYTES = 1u << 20;
const size_t PART_SHOWN_CHARS = 1u << 16;
const char COMMENT_TOO_LONG_TO_EDIT[] =
    "Comment Too Long to Edit. The Dialog Edits a Comment of at Most 1048576 Bytes; Its Beginning Is Shown, "
    "and the File Keeps Its Comment as It Is.";

// Posted by WM_INITDIALOG: the box that says why comes over the dialog.
enum { WM_SAY_NOT_EDITABLE = WM_APP + 1 };

// The writers of the program, by format; a format without one only makes
// the text the current comment. Each writes into path and returns 1 when
// the file carries the new text; a failing writer may free the handle it
// was given.
int write_gif(const char* path, HGLOBAL* text) { return write_gif_comment(path, text); }

int write_jpeg(const char* path, HGLOBAL* text) { return write_jpeg_comment(path, text, 0); }

int write_tiff(const char* path, HGLOBAL* text)
{
    // The page shown when the dialog opened gets the comment.
    int page = g_target.page, pages = g_target.pages;
    return write_tiff_comment(path, text, &page, &pages);
}

int write_png(const char* path, HGLOBAL* text) { return write_png_comment(path, text); }

int write_tga(const char* path, HGLOBAL* text) { return write_tga_comment(path, text); }

int write_iff(const char* path, HGLOBAL* text) { return write_ilbm_comment(path, text); }

int write_pnm(const char* path, HGLOBAL* text) { return write_pnm_comment(path, text); }

int write_emf(const char* path, HGLOBAL* text)
{
    write_emf_comment(path, text, (HENHMETAFILE)g_hImage, g_hwndMain);
    // The writer frees the text exactly when the file could not be written.
    return *text != NULL;
}

CommentWriter writer_for_current_file(void)
{
    if (g_imageKind == KIND_EMF)
        return write_emf;
    if (g_fileFormat == FMT_GIF)
        return write_gif;
    if (g_fileFormat == FMT_JPEG || g_fileFormat == FMT_JPEG12)
        return write_jpeg;
    if (g_fileFormat == FMT_PNG)
        return write_png;
    if (g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT)
        return write_tiff;
    if (g_fileFormat == FMT_TARGA)
        return write_tga;
    if (g_fileFormat == FMT_IFF)
        return write_iff;
    if (g_fileFormat == FMT_PBM || g_fileFormat == FMT_PGM || g_fileFormat == FMT_PNM ||
        g_fileFormat == FMT_PPM)
        return write_pnm;
    return NULL;
}

// A copy of the edit box's text in a moveable block; null when memory runs out.
HGLOBAL take_edit_text(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    LRESULT length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
    if (length < 0)
        length = 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)length + 1);
    char* text = block ? (char*)GlobalLock(block) : NULL;
    if (!text) {
        if (block)
            GlobalFree(block);
        return NULL;
    }
    SendMessageA(edit, WM_GETTEXT, (WPARAM)length + 1, (LPARAM)text);
    GlobalUnlock(block);
    return block;
}

// A copy of the text of block (to its NUL) in a new moveable block; null
// when memory runs out.
HGLOBAL copy_text_block(HGLOBAL block)
{
    size_t length = 0;
    const char* text = lock_comment_text(block, &length);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1);
    char* out = copy ? (char*)GlobalLock(copy) : NULL;
    if (out) {
        if (length)
            memcpy(out, text, length);
        GlobalUnlock(copy);
    } else if (copy) {
        GlobalFree(copy);
        copy = NULL;
    }
    if (text)
        GlobalUnlock(block);
    return copy;
}

bool same_text(HGLOBAL a, HGLOBAL b)
{
    size_t a_length = 0, b_length = 0;
    const char* a_text = lock_comment_text(a, &a_length);
    const char* b_text = lock_comment_text(b, &b_length);
    bool same = a_length == b_length && (a_length == 0 || memcmp(a_text, b_text, a_length) == 0);
    if (a_text)
        GlobalUnlock(a);
    if (b_text)
        GlobalUnlock(b);
    return same;
}

// The most bytes the target's comment holds, and what is said of a longer
// text; 0: no limit of the dialog's.
size_t target_comment_limit(const char** too_long)
{
    if (g_target.batch || g_target.writer == write_jpeg) {
        *too_long = JPEG_COMMENT_TOO_LONG;
        return JPEG_COMMENT_MAX_BYTES;
    }
    if (g_target.writer == write_tga) {
        *too_long = TGA_COMMENT_TOO_LONG;
        return TGA_COMMENT_MAX_BYTES;
    }
    *too_long = NULL;
    return 0;
}

// The line end a new line of the comment gets where the comment as read
// had none: PNG text ends its lines in LF; elsewhere the box's CR LF stays.
char target_new_line_end(void)
{
    return g_target.writer == write_png ? '\n' : 0;
}

// A running GIF animation reads frames from the open file, whose length the
// writer changes: the file is closed around the write and the frame position
// moved by the change of length.
struct HeldAnimation {
    bool held = false;
    LONG position = 0;
    LONG length = 0;
};

HeldAnimation hold_animation(void)
{
    HeldAnimation hold;
    if (g_imageKind != KIND_ANIMATED_GIF || g_hFile == HFILE_ERROR)
        return hold;
    stop_animation_timer(g_hwndMain);
    hold.held = true;
    hold.position = _llseek(g_hFile, 0, FILE_CURRENT);
    hold.length = _llseek(g_hFile, 0, FILE_END);
    _lclose(g_hFile);
    g_hFile = HFILE_ERROR;
    return hold;
}

void resume_animation(const HeldAnimation& hold)
{
    if (!hold.held)
        return;
    g_hFile = _lopen(g_filePath, OF_READ | OF_SHARE_DENY_NONE);
    if (g_hFile == HFILE_ERROR)
        return;
    LONG length = _llseek(g_hFile, 0, FILE_END);
    LONG position = hold.position + (length - hold.length);
    if (position < 0 || position > length)
        position = 0;
    _llseek(g_hFile, position, FILE_BEGIN);
    arm_animation_timer(g_hwndMain, gif_frame_period(g_animDelay));
}

void show_new_size(void)
{
    resize_main_status_bar();
    HANDLE find = FindFirstFileA(g_filePath, &g_findData);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        g_fileSize = ((uint64_t)g_findData.nFileSizeHigh << 32) | g_findData.nFileSizeLow;
    }
    if (is_window_open(g_hwndView)) {
        char title[400];
        std::snprintf(title, sizeof title, "%s     %llu bytes", g_fileName, (unsigned long long)g_fileSize);
        SetWindowTextA(g_hwndView, title);
        resize_view_status_bar();
        update_view_menu_state();
    }
    update_main_menu_state();
}

// The title and label of the dialog for its target.
CommentTexts target_texts(void)
{
    return g_target.batch ? TEXT_ROWS[0].texts : comment_dialog_texts(g_target.format, g_target.kind);
}

// True when the box holds what it opened with: for one file, its comment
// as it is; for a selection, an empty box no key has touched.
bool is_box_as_opened(HWND dialog, HGLOBAL text)
{
    if (!g_target.selection)
        return g_target.read_only || same_text(text, g_target.shown);
    size_t length = 0;
    if (lock_comment_text(text, &length))
        GlobalUnlock(text);
    return length == 0 && !SendDlgItemMessageA(dialog, IDC_COMMENT_EDIT, EM_GETMODIFY, 0, 0);
}

// An empty text takes the comments of the selected files away: only after
// the user's Yes, whose default is No.
bool agrees_to_write_selection(HWND dialog, HGLOBAL text)
{
    size_t length = 0;
    if (lock_comment_text(text, &length))
        GlobalUnlock(text);
    if (length > 0)
        return true;
    int files = count_selected_thumbnails();
    char question[80];
    std::snprintf(question, sizeof question,
                  files == 1 ? "Remove the Comment of %d Selected File?" : "Remove the Comments of %d Selected Files?",
                  files);
    return seam_message_box(dialog, question, "Corvane File Viewer", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
           IDYES;
}

void on_ok(HWND dialog)
{
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    HGLOBAL text = take_edit_text(dialog);
    if (!text) {
        SetCursor(old_cursor);
        return;
    }
    if (is_box_as_opened(dialog, text)) {
        GlobalFree(text);
        EndDialog(dialog, IDOK);
        SetCursor(old_cursor);
        return;
    }
    if (!g_target.selection)
        restore_comment_line_ends(text, g_target.read, target_new_line_end());
    // Refused before any file is touched, once for a batch of files: the
    // dialog stays with the text.
    const char* too_long = NULL;
    size_t length = 0, limit = target_comment_limit(&too_long);
    if (lock_comment_text(text, &length))
        GlobalUnlock(text);
    if (limit && length > limit) {
        GlobalFree(text);
        seam_message_box(dialog, too_long, g_target.selection ? "Corvane File Viewer" : g_target.path,
                         MB_OK | MB_ICONSTOP);
        SetCursor(old_cursor);
        return;
    }
    // The selected files get the text; the current comment stays. A No
    // leaves the dialog with the text.
    if (g_target.selection) {
        if (agrees_to_write_selection(dialog, text)) {
            EndDialog(dialog, IDOK);
            write_batch_comment(&text);
        } else {
            GlobalFree(text);
        }
        SetCursor(old_cursor);
        return;
    }
    CommentWriter writer = g_target.writer;
    // A file moved or deleted since the dialog opened cannot take the text,
    // which is said as the writers say it, before a running animation gives
    // up the file it reads: the dialog stays with what was typed.
    if (writer && GetFileAttributesA(g_target.path) == INVALID_FILE_ATTRIBUTES) {
        GlobalFree(text);
        seam_message_box(dialog, "Cannot Open File for Writing.", g_target.name, MB_OK | MB_ICONSTOP);
        SetCursor(old_cursor);
        return;
    }
    // Only the file still shown has its comment, size and animation shown.
    bool shown = is_shown_file(g_target.path) != 0;
    HeldAnimation hold = writer && shown ? hold_animation() : HeldAnimation();
    // A read-only file takes the comment and stays read-only, in every
    // format; the edit replaces only the comment the box showed.
    allow_read_only_comment_file(g_target.path);
    expect_shown_comment(g_target.path, g_target.read);
    int written = writer ? writer(g_target.path, &text) : 1;
    expect_shown_comment(NULL, NULL);
    allow_read_only_comment_file(NULL);
    if (written && shown) {
        if (g_hComment)
            GlobalFree(g_hComment);
        g_hComment = text;
        EndDialog(dialog, IDOK);
        show_new_size();
    } else if (written) {
        GlobalFree(text);
        EndDialog(dialog, IDOK);
    } else if (text) {
        GlobalFree(text);
    }
    resume_animation(hold);
    SetCursor(old_cursor);
}

// True when wrapping the lines of text (length characters, lines ended by
// CR LF) costs the box no more than one line of WRAP_WORK_CHARS.
bool is_cheap_to_wrap(const char* text, size_t length)
{
    uint64_t work = 0;
    size_t line_start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && !(text[i] == '\r' && i + 1 < length && text[i + 1] == '\n'))
            continue;
        uint64_t line = i - line_start;
        work += line * line;
        if (work > WRAP_WORK_CHARS * WRAP_WORK_CHARS)
            return false;
        line_start = i + 2;
        ++i;
    }
    return true;
}

// Puts a box that does not wrap, and scrolls sideways, in the place of the
// template's edit box (its id, place, font and tab order); the box in use.
HWND use_unwrapped_box(HWND dialog)
{
    HWND wrapped = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    RECT area;
    GetWindowRect(wrapped, &area);
    MapWindowPoints(NULL, dialog, (POINT*)&area, 2);
    HWND unwrapped = CreateWindowExA(
        GetWindowLongA(wrapped, GWL_EXSTYLE), "EDIT", "",
        GetWindowLongA(wrapped, GWL_STYLE) | ES_AUTOHSCROLL | WS_HSCROLL, area.left, area.top,
        area.right - area.left, area.bottom - area.top, dialog, (HMENU)(INT_PTR)IDC_COMMENT_EDIT,
        (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE), NULL);
    if (!unwrapped)
        return wrapped;
    SendMessageA(unwrapped, WM_SETFONT, SendMessageA(wrapped, WM_GETFONT, 0, 0), FALSE);
    SetWindowPos(unwrapped, wrapped, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(wrapped);
    return unwrapped;
}

void on_init(HWND dialog)
{
    SetWindowTextA(dialog, target_texts().title);
    g_target.read_only = false;
    const char* shown = NULL;
    size_t shown_length = 0;
    if (g_target.read) {
        normalize_comment_line_ends(g_target.read);
        shown = lock_comment_text(g_hCommentEdit, &shown_length);
        if (shown) {
            g_target.shown = g_hCommentEdit;
        } else {
            // Nothing shown: an edit may not drop what was read either.
            if (g_hCommentEdit)
                GlobalFree(g_hCommentEdit);
            GlobalFree(g_target.read);
            g_target.read = NULL;
        }
        g_hCommentEdit = NULL;
    }
    size_t read_length = 0;
    if (lock_comment_text(g_target.read, &read_length))
        GlobalUnlock(g_target.read);
    if (shown && read_length > MOST_EDITED_BYTES) {
        // The box, and OK's comparison, hold the part shown.
        g_target.read_only = true;
        if (shown_length > PART_SHOWN_CHARS)
            ((char*)shown)[shown_length = PART_SHOWN_CHARS] = 0;
    }
    HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    if (shown && !is_cheap_to_wrap(shown, shown_length))
        edit = use_unwrapped_box(dialog);
    // The box takes as much as the format holds (its own default is less):
    // a line end written as one byte is two characters in the box, and the
    // length as written is checked at OK.
    const char* too_long = NULL;
    SendMessageA(edit, EM_SETLIMITTEXT, 2 * target_comment_limit(&too_long), 0);
    if (!shown)
        return;
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)shown);
    GlobalUnlock(g_target.shown);
    if (g_target.read_only) {
        SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
        PostMessageA(dialog, WM_SAY_NOT_EDITABLE, 0, 0);
    }
}

// A modal dialog shows once its first messages are handled: this one is
// shown first, so that the box says why over the text it speaks of.
void say_not_editable(HWND dialog)
{
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    seam_message_box(dialog, COMMENT_TOO_LONG_TO_EDIT, g_target.name, MB_OK | MB_ICONSTOP);
}

BOOL on_draw_label(const DRAWITEMSTRUCT* item)
{
    if (item->CtlID != IDC_COMMENT_LABEL)
        return FALSE;
    const char* label = target_texts().label;
    if (label) {
        RECT area = item->rcItem;
        DrawTextA(item->hDC, label, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    return TRUE;
}

}  // namespace

CommentTexts comment_dialog_texts(int format, int kind)
{
    if (format == FMT_JPEG || format == FMT_JPEG12)
        return TEXT_ROWS[0].texts;
    for (const TextRow& row : TEXT_ROWS)
        if (row.format == format)
            return row.texts;
    if (kind == KIND_EMF)
        return {"Insert/Update EnhMetaFile Comment", "Insert/Update EnhMetaFile Comment:"};
    return {"Insert/Update JPEG Comment", NULL};
}

INT_PTR CALLBACK getcomment_dlg_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_DRAWITEM:
        return on_draw_label((const DRAWITEMSTRUCT*)lp);
    case WM_INITDIALOG:
        on_init(dialog);
        return TRUE;
    case WM_SAY_NOT_EDITABLE:
        say_not_editable(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        if (LOWORD(wp) == IDOK) {
            on_ok(dialog);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The batch window's clicked thumbnail: its file's comment, read as the
// reader would, as if it were shown.
static void target_clicked_thumbnail(void)
{
    int thumb = g_thumbCurrent + g_thumbFirst;
    if (!thumb_file_path(thumb, g_target.path, sizeof g_target.path) ||
        !thumb_list_text(thumb, g_target.name, sizeof g_target.name))
        g_target.path[0] = g_target.name[0] = 0;
    g_target.writer = write_jpeg;
    g_target.format = FMT_JPEG;
    g_target.kind = KIND_DIB;
    g_target.page = g_target.pages = 1;
    g_target.read = g_target.path[0] ? read_jpeg_comment(g_target.path) : NULL;
}

void run_comment_dialog(HWND owner)
{
    g_target.batch = owner && owner == g_hwndBatch;
    g_target.selection = g_target.batch && g_commentBatchMode;
    g_target.read = g_target.shown = NULL;
    g_target.read_only = false;
    if (g_target.selection) {
        g_target.writer = NULL;
        g_target.path[0] = g_target.name[0] = 0;
    } else if (g_target.batch) {
        target_clicked_thumbnail();
    } else {
        // The file shown, by the path it was loaded from; its name as
        // shown captions the boxes.
        g_target.writer = writer_for_current_file();
        lstrcpynA(g_target.path, g_filePath, sizeof g_target.path);
        lstrcpynA(g_target.name, g_fileName, sizeof g_target.name);
        g_target.format = g_fileFormat;
        g_target.kind = g_imageKind;
        g_target.page = g_pageIndex;
        g_target.pages = g_pageCount;
        g_target.read = g_hComment ? copy_text_block(g_hComment) : NULL;
    }
    dialog_box_holding(g_hInstance, "GETCOMMENT", owner, getcomment_dlg_proc, 0);
    if (g_target.read)
        GlobalFree(g_target.read);
    if (g_target.shown)
        GlobalFree(g_target.shown);
    g_target.read = g_target.shown = NULL;
}
