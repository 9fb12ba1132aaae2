// The "GETCOMMENT" dialog: shows the current file's comment, and on OK
// writes the edited text into the file through its format's comment writer
// and makes it the current comment (status bars, image window title, a
// running GIF animation follow the file's new length).
#pragma once

#include <windows.h>

// Title and label of the dialog for a file of that FormatCode and
// ImageKind; the label is null where the format has none of its own.
struct CommentTexts {
    const char* title;
    const char* label;
};
CommentTexts comment_dialog_texts(int format, int kind);

INT_PTR CALLBACK getcomment_dlg_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);

// Opens the dialog modally over owner, under the file hold; OK writes into
// the file shown when it opened.
void run_comment_dialog(HWND owner);
