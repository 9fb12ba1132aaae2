// Title and label of the comment dialog by the file's format and kind; the
// file it writes when the one shown changed behind it.
#include "app/comment_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "jpeg/jpeg_read.h"
#include "resources/resource.h"
#include "support/seam_recorder.h"
#include "support/test_support.h"

namespace {

struct TextCase {
    int format, kind;
    const char* title;
    const char* label;  // null: no label of its own
};

TEST(CommentDialogTexts, FollowTheFormatThenTheKind)
{
    const TextCase cases[] = {
        {FMT_JPEG12, KIND_DIB, "Insert/Update JPEG Comment", "Insert/Update JPEG Comment:"},
        {FMT_TIFF_ALT, KIND_DIB, "Insert/Update TIFF Comment", "Insert/Update TIFF Comment:"},
        {FMT_PNM, KIND_DIB, "Insert/Update JPEG Comment", nullptr},
        {FMT_NONE, KIND_EMF, "Insert/Update EnhMetaFile Comment", "Insert/Update EnhMetaFile Comment:"},
        {FMT_NONE, KIND_DIB, "Insert/Update JPEG Comment", nullptr},
    };
    for (const TextCase& c : cases) {
        CommentTexts texts = comment_dialog_texts(c.format, c.kind);
        EXPECT_STREQ(texts.title, c.title) << c.format;
        EXPECT_EQ(texts.label ? std::string(texts.label) : "-", c.label ? std::string(c.label) : "-") << c.format;
    }
}

// The real dialog opened from the main or image window while the batch
// window is open shows the comment of the file shown and writes that file,
// also when it changed behind the dialog before OK. Moved away, damaged, or
// held open by another program without sharing: OK says why once, under
// the path, and the dialog stays with the text typed (every writer but the
// JPEG one kept quiet about a file it could not read, and the metafile's
// took a missing file for written). Another file shown meanwhile: the text
// still goes into the file the dialog opened for, and that other file keeps
// its comment.
enum Behind { GONE, OTHER_SHOWN, DAMAGED, HELD, READ_ONLY };

struct DialogRun {
    Behind behind;
    std::string path, other;
    HWND dialog = NULL;
    std::string shown_at_open, typed_after_ok;
    bool open_after_ok = false;
};
DialogRun s_run;

BOOL CALLBACK find_dialog(HWND hwnd, LPARAM out)
{
    char cls[16] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hwnd))
        return TRUE;
    *(HWND*)out = hwnd;
    return FALSE;
}

void CALLBACK change_behind_and_ok(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), find_dialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    KillTimer(NULL, timer);
    s_run.dialog = dialog;
    char text[64] = "";
    GetDlgItemTextA(dialog, IDC_COMMENT_EDIT, text, sizeof text);
    s_run.shown_at_open = text;
    SetDlgItemTextA(dialog, IDC_COMMENT_EDIT, "typed");
    HANDLE held = INVALID_HANDLE_VALUE;
    if (s_run.behind == GONE)
        DeleteFileA(s_run.path.c_str());
    else if (s_run.behind == OTHER_SHOWN) {
        lstrcpynA(g_fileName, s_run.other.c_str(), sizeof g_fileName);
        lstrcpynA(g_filePath, s_run.other.c_str(), sizeof g_filePath);
    } else if (s_run.behind == HELD)
        held = CreateFileA(s_run.path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    s_run.open_after_ok = IsWindow(dialog) && IsWindowVisible(dialog);
    if (!s_run.open_after_ok)
        return;
    GetDlgItemTextA(dialog, IDC_COMMENT_EDIT, text, sizeof text);
    s_run.typed_after_ok = text;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDCANCEL));
}

TEST(CommentDialog, WritesTheFileItOpenedForOrSaysItCannot)
{
    // A JPEG as far as the comment writer reads one: its frame header
    // follows the start of image.
    const std::string jpeg = std::string("\xFF\xD8\xFF\xC0", 4) + "the rest";
    // No format's writer takes it, nor a Targa's (shorter than its header).
    const std::string damaged = "damaged";
    const char* const CANNOT = "Cannot Open File for Writing.";
    const struct { const char* name; int format, kind; Behind behind; const char* said; } rows[] = {
        {"gone.jpg", FMT_JPEG, KIND_DIB, GONE, CANNOT},
        {"gone.emf", FMT_NONE, KIND_EMF, GONE, CANNOT},
        {"opened.jpg", FMT_JPEG, KIND_DIB, OTHER_SHOWN, nullptr},
        {"read_only.jpg", FMT_JPEG, KIND_DIB, READ_ONLY, nullptr},
        {"damaged.jpg", FMT_JPEG, KIND_DIB, DAMAGED, "Not a JPEG file"},
        {"held.jpg", FMT_JPEG, KIND_DIB, HELD, CANNOT},
        {"damaged.gif", FMT_GIF, KIND_DIB, DAMAGED, CANNOT},
        {"held.gif", FMT_GIF, KIND_DIB, HELD, CANNOT},
        {"damaged.png", FMT_PNG, KIND_DIB, DAMAGED, CANNOT},
        {"held.png", FMT_PNG, KIND_DIB, HELD, CANNOT},
        {"damaged.tif", FMT_TIFF, KIND_DIB, DAMAGED, CANNOT},
        {"held.tif", FMT_TIFF, KIND_DIB, HELD, CANNOT},
        {"damaged.tga", FMT_TARGA, KIND_DIB, DAMAGED, CANNOT},
        {"held.tga", FMT_TARGA, KIND_DIB, HELD, CANNOT},
        {"damaged.iff", FMT_IFF, KIND_DIB, DAMAGED, CANNOT},
        {"held.iff", FMT_IFF, KIND_DIB, HELD, CANNOT},
        {"damaged.pgm", FMT_PGM, KIND_DIB, DAMAGED, CANNOT},
        {"held.pgm", FMT_PGM, KIND_DIB, HELD, CANNOT},
        {"damaged.emf", FMT_NONE, KIND_EMF, DAMAGED, CANNOT},
        {"held.emf", FMT_NONE, KIND_EMF, HELD, CANNOT},
    };
    HINSTANCE instance = g_hInstance;
    g_hInstance = GetModuleHandleA(NULL);
    // Opened by another window than the batch window, which is open: the
    // file shown is the dialog's.
    g_hwndBatch = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SeamRecorder seams;
        s_run = DialogRun();
        s_run.behind = row.behind;
        s_run.path = test_out_path(row.name);
        s_run.other = test_out_path("shown_later.jpg");
        const std::string& bytes = row.behind == DAMAGED || row.behind == HELD ? damaged : jpeg;
        SetFileAttributesA(s_run.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(write_file_bytes(s_run.path, bytes));
        if (row.behind == READ_ONLY)
            SetFileAttributesA(s_run.path.c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(write_file_bytes(s_run.other, jpeg));
        lstrcpynA(g_fileName, s_run.path.c_str(), sizeof g_fileName);
        lstrcpynA(g_filePath, s_run.path.c_str(), sizeof g_filePath);
        g_fileFormat = row.format;
        g_imageKind = row.kind;
        g_pageIndex = g_pageCount = 1;
        g_hComment = text_block("old comment");
        HGLOBAL old = g_hComment;
        SetTimer(NULL, 0, 20, change_behind_and_ok);
        run_comment_dialog(NULL);
        EXPECT_TRUE(s_run.dialog);
        EXPECT_EQ(s_run.shown_at_open, "old comment");
        if (row.behind == READ_ONLY) {
            EXPECT_STREQ((const char*)GlobalLock(g_hComment), "typed");
            GlobalUnlock(g_hComment);
        } else {
            EXPECT_EQ(g_hComment, old) << "the comment of the file shown stays";
        }
        if (row.said) {
            EXPECT_TRUE(s_run.open_after_ok);
            EXPECT_EQ(s_run.typed_after_ok, "typed");
            EXPECT_EQ(seams.boxes.size(), 1u);
            for (const RecordedBox& box : seams.boxes) {
                EXPECT_EQ(box.text, row.said);
                EXPECT_EQ(box.caption, s_run.path);
            }
            if (row.behind != GONE) {
                EXPECT_EQ(read_file_bytes(s_run.path), bytes) << "the file stays as it was";
            }
        } else {
            EXPECT_FALSE(s_run.open_after_ok);
            EXPECT_TRUE(seams.boxes.empty());
            const std::string segment = std::string("\xFF\xFE\x00\x07", 4) + "typed";
            EXPECT_NE(read_file_bytes(s_run.path).find(segment), std::string::npos);
            EXPECT_EQ(read_file_bytes(s_run.other), jpeg);
            EXPECT_EQ(GetFileAttributesA(s_run.path.c_str()) & FILE_ATTRIBUTE_READONLY,
                      row.behind == READ_ONLY ? (DWORD)FILE_ATTRIBUTE_READONLY : 0u);
        }
        SetFileAttributesA(s_run.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        GlobalFree(g_hComment);
        g_hComment = NULL;
    }
    DestroyWindow(g_hwndBatch);
    g_hwndBatch = NULL;
    g_hInstance = instance;
    g_fileName[0] = 0;
    g_filePath[0] = 0;
    g_fileFormat = FMT_NONE;
    g_imageKind = KIND_NONE;
}

// OK on the comment as shown, longer than the reader once kept and with
// bare LF line ends (shown as CR LF, too long for a JPEG then), leaves the
// file's comment byte for byte; a text typed longer than a JPEG comment
// holds is refused whole, and the dialog stays.
std::string s_typed;  // empty: OK on the text as shown

void CALLBACK type_and_ok(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), find_dialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    KillTimer(NULL, timer);
    if (!s_typed.empty())
        SetDlgItemTextA(dialog, IDC_COMMENT_EDIT, s_typed.c_str());
    SendMessageA(dialog, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(dialog, IDOK));
    if ((s_run.open_after_ok = IsWindow(dialog) && IsWindowVisible(dialog)))
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(dialog, IDCANCEL));
}

TEST(CommentDialog, LongCommentAcceptedAsShownStaysWhole)
{
    std::string comment, too_long;
    while (comment.size() < 50000)
        comment += "ab\n";
    comment.resize(50000);
    while (too_long.size() <= 65533)
        too_long += "typed\r\n";
    const std::string photo = read_file_bytes(fixture_path("e2e/quadrants.jpg")), path = test_out_path("long.jpg");
    const std::string segment = std::string("\xFF\xFE\xC3\x52", 4) + comment;  // length 50002
    ASSERT_TRUE(write_file_bytes(path, photo.substr(0, 2) + segment + photo.substr(2)));
    GlobalFree(read_jpeg_file(path.c_str(), g_infoText));
    lstrcpynA(g_fileName, path.c_str(), sizeof g_fileName);
    lstrcpynA(g_filePath, path.c_str(), sizeof g_filePath);
    g_fileFormat = FMT_JPEG;
    HINSTANCE instance = g_hInstance;
    g_hInstance = GetModuleHandleA(NULL);
    for (const std::string& typed : {std::string(), too_long}) {
        SeamRecorder seams;
        s_typed = typed;
        SetTimer(NULL, 0, 20, type_and_ok);
        run_comment_dialog(NULL);
        EXPECT_EQ(s_run.open_after_ok, !typed.empty());
        EXPECT_NE(read_file_bytes(path).find(segment), std::string::npos) << "the comment as it was";
        ASSERT_EQ(seams.boxes.size(), typed.empty() ? 0u : 1u);
        for (const RecordedBox& box : seams.boxes)
            EXPECT_EQ(box.text, "Comment Too Long. A JPEG Comment Holds at Most 65533 Bytes; Nothing Was Written.");
    }
    GlobalFree(g_hComment);
    g_hComment = NULL;
    g_hInstance = instance;
    g_fileName[0] = g_filePath[0] = 0;
    g_fileFormat = FMT_NONE;
}

}  // namespace
