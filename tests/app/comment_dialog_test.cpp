// Title and label of the comment dialog by the file's format and kind; the
// file it writes when the one shown changed behind it.
#include "app/comment_dialog.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "image/current_image.h"
#include "image/open_windows.h"
#include "image/gif_read.h"
#include "image/pnm.h"
#include "image/targa.h"
#include "formats/png.h"
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
// its comment. A comment rewritten meanwhile into one as long as the one
// shown, with bytes after a NUL, is not the comment shown: the edit would
// lose what no one saw, and is refused.
enum Behind { GONE, OTHER_SHOWN, DAMAGED, HELD, READ_ONLY, READ_ONLY_DAMAGED, REWRITTEN };

const char* const NOT_SHOWN =
    "This File's Comment Holds More Than the Dialog Showed (Another Comment, Text After a NUL Character or "
    "Past What Is Read); the Edit Would Lose It, So Nothing Was Written.";

// The JPEG of the table with a comment of "old\0comment", as long as the
// one shown.
const std::string REWRITTEN_JPEG = std::string("\xFF\xD8\xFF\xFE\x00\x0D" "old\0comment\xFF\xC0", 19) + "the rest";

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
    else if (s_run.behind == REWRITTEN)
        write_file_bytes(s_run.path, REWRITTEN_JPEG);
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

std::string be32(size_t v) { return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v}; }

// A comment extension of length bytes in lines of 80 (an edit box lays a
// line out whole); none for 0.
std::string gif_with_comment(size_t length)
{
    std::string comment = length ? "\x21\xFE" : "";
    for (size_t done = 0; done < length;) {
        size_t n = length - done < 255 ? length - done : 255;
        comment += (char)n;
        for (size_t i = done; i < done + n; ++i)
            comment += i % 80 == 79 ? '\n' : (char)('a' + i / 80 % 26);
        done += n;
    }
    if (length)
        comment += '\0';
    // 1 x 1, two colours; one pixel coded as clear, 0, end in 3-bit codes
    return std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF", 19) + comment +
           std::string("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0\x3B", 16);
}

// A PNG as far as the comment writer reads one: its chunks.
std::string png_chunks()
{
    return std::string("\x89PNG\r\n\x1A\n", 8) + be32(13) + "IHDR" + std::string(13, '\x01') + be32(0) + be32(0) +
           "IDAT" + be32(0) + be32(0) + "IEND" + be32(0);
}

TEST(CommentDialog, WritesTheFileItOpenedForOrSaysItCannot)
{
    // A JPEG as far as the comment writer reads one: its frame header
    // follows the start of image.
    const std::string jpeg = std::string("\xFF\xD8\xFF\xC0", 4) + "the rest";
    // No format's writer takes it, nor a Targa's (shorter than its header).
    const std::string damaged = "damaged";
    const std::string png = png_chunks(), gif = gif_with_comment(0);
    const char* const CANNOT = "Cannot Open File for Writing.";
    const struct { const char* name; int format, kind; Behind behind; const char* said; } rows[] = {
        {"gone.jpg", FMT_JPEG, KIND_DIB, GONE, CANNOT},
        {"gone.emf", FMT_NONE, KIND_EMF, GONE, CANNOT},
        {"opened.jpg", FMT_JPEG, KIND_DIB, OTHER_SHOWN, nullptr},
        {"read_only.jpg", FMT_JPEG, KIND_DIB, READ_ONLY, nullptr},
        {"read_only.png", FMT_PNG, KIND_DIB, READ_ONLY, nullptr},
        {"read_only.gif", FMT_GIF, KIND_DIB, READ_ONLY, nullptr},
        {"read_only_damaged.jpg", FMT_JPEG, KIND_DIB, READ_ONLY_DAMAGED, "Not a JPEG file"},
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
        {"rewritten.jpg", FMT_JPEG, KIND_DIB, REWRITTEN, NOT_SHOWN},
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
        const bool read_only = row.behind == READ_ONLY || row.behind == READ_ONLY_DAMAGED;
        const std::string& bytes = row.behind == DAMAGED || row.behind == HELD || row.behind == READ_ONLY_DAMAGED
                                       ? damaged
                                   : row.format == FMT_PNG ? png
                                   : row.format == FMT_GIF ? gif
                                                           : jpeg;
        SetFileAttributesA(s_run.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(write_file_bytes(s_run.path, bytes));
        if (read_only)
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
                EXPECT_EQ(box.text, row.said ? row.said : "no box");
                EXPECT_EQ(box.caption, s_run.path);
            }
            if (row.behind != GONE) {
                EXPECT_EQ(read_file_bytes(s_run.path), row.behind == REWRITTEN ? REWRITTEN_JPEG : bytes)
                    << "the file stays as it was";
            }
        } else {
            EXPECT_FALSE(s_run.open_after_ok);
            EXPECT_TRUE(seams.boxes.empty());
            const std::string segment = row.format == FMT_PNG ? std::string("tEXtDescription\0typed", 21)
                                        : row.format == FMT_GIF ? std::string("\x21\xFE\x05typed\0", 9)
                                                                : std::string("\xFF\xFE\x00\x07", 4) + "typed";
            EXPECT_NE(read_file_bytes(s_run.path).find(segment), std::string::npos);
            EXPECT_EQ(read_file_bytes(s_run.other), jpeg);
        }
        if (row.behind != GONE) {
            EXPECT_EQ(GetFileAttributesA(s_run.path.c_str()) & FILE_ATTRIBUTE_READONLY,
                      read_only ? (DWORD)FILE_ATTRIBUTE_READONLY : 0u) << "read-only stays read-only";
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

// OK on the comment as shown leaves the file byte for byte, whatever the
// box could not show: a second segment, the bytes after a NUL, the part
// past a reader's cap. An edit of such a comment is refused with a message
// that says why; an edited comment goes back with the line ends it had and
// is counted as written; a text longer than the format holds is refused
// whole. A comment too long to edit says so when the dialog opens and is
// kept whatever is done to the box. The comments are read by the
// program's own readers.
enum Edit { AS_SHOWN, REPLACED, LAST_CHAR_DELETED };

struct KeepCase {
    const char* name;
    int format;
    std::string bytes;
    Edit edit;
    std::string typed;    // REPLACED: the new text
    const char* said;     // the box; null: no box
    std::string written;  // the comment read back after a write
    bool said_at_open = false;  // the box came as the dialog opened, and OK closed it
    const char* gone = nullptr;  // a text the written file holds no more
    const wchar_t* shown = nullptr;  // what the box showed, where it is not ASCII
};

Edit s_edit;
std::string s_typed;
std::wstring s_shown;

void CALLBACK edit_and_ok(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), find_dialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    KillTimer(NULL, timer);
    HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    wchar_t shown[64] = L"";
    GetWindowTextW(edit, shown, 64);
    s_shown = shown;
    if (s_edit == REPLACED) {
        SetWindowTextA(edit, s_typed.c_str());
    } else if (s_edit == LAST_CHAR_DELETED) {
        LRESULT length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(edit, EM_SETSEL, length - 1, length);
        SendMessageA(edit, EM_REPLACESEL, TRUE, (LPARAM) "");
    }
    SendMessageA(dialog, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(dialog, IDOK));
    if ((s_run.open_after_ok = IsWindow(dialog) && IsWindowVisible(dialog)))
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(dialog, IDCANCEL));
}

// The comment as the format's reader takes it, in g_hComment.
void read_comment(int format, const std::string& path)
{
    if (g_hComment)
        GlobalFree(g_hComment);
    g_hComment = NULL;
    HGLOBAL image = NULL;
    if (format == FMT_JPEG) {
        image = read_jpeg_file(path.c_str(), g_infoText);
    } else if (format == FMT_PNG) {
        image = read_png_file(path.c_str(), g_infoText);
    } else if (format == FMT_PGM) {
        image = read_pnm_file(path.c_str(), g_infoText);
    } else {
        HFILE file = _lopen(path.c_str(), OF_READ);
        if (format == FMT_TARGA) {
            image = read_tga_file(file, NULL, g_infoText);  // closes the file
        } else {
            int continuing = 0, left = 0, top = 0, width = 0, height = 0, transparent = 0, frame = 0;
            UINT delay = 0;
            DWORD background = 0, display = 0;
            BYTE index = 0, disposal = 0;
            if (alloc_gif_lzw_tables()) {
                image = read_gif_frame(file, NULL, g_infoText, &continuing, &delay, &left, &top, &width,
                                       &height, &transparent, &background, &display, &index, &disposal,
                                       &frame, g_gifSuffixTable, g_gifPrefixTable, g_gifStack, KIND_DIB);
                free_gif_lzw_tables();
            }
            _lclose(file);
        }
    }
    EXPECT_TRUE(image) << path;
    if (image)
        GlobalFree(image);
}

std::string comment_now()
{
    std::string text;
    const char* locked = g_hComment ? (const char*)GlobalLock(g_hComment) : nullptr;
    if (locked) {
        text = locked;
        GlobalUnlock(g_hComment);
    }
    return text;
}

std::string be16(size_t v) { return std::string{(char)(v >> 8), (char)v}; }

std::string jpeg_with(const std::string& photo, const std::vector<std::string>& comments)
{
    std::string segments;
    for (const std::string& c : comments)
        segments += "\xFF\xFE" + be16(c.size() + 2) + c;
    return photo.substr(0, 2) + segments + photo.substr(2);
}

// Lines of the text, each ended by LF, up to length bytes and ending in
// a letter.
std::string lf_lines(size_t length)
{
    std::string text;
    while (text.size() < length)
        text += "a line of a comment with LF line ends, 79 letters long and ending in a letter\n";
    text.resize(length - 3);
    return text + "end";
}

// A PNG fixture with a Description text chunk after its header: a tEXt, or
// an iTXt in French with a translated keyword; compressed, a zTXt or a
// compressed iTXt, its stream cut after kept bytes when kept is given.
std::string png_with_description(std::string text, bool itxt = false, bool compressed = false, size_t kept = 0)
{
    const std::string png = read_file_bytes(fixture_path("png/basn0g01.png"));
    if (compressed) {
        std::string deflated(compressBound((uLong)text.size()), '\0');
        uLongf bytes = (uLongf)deflated.size();
        compress((Bytef*)&deflated[0], &bytes, (const Bytef*)text.data(), (uLong)text.size());
        text = deflated.substr(0, kept ? kept : bytes);
    }
    const std::string chunk =
        itxt ? std::string("iTXtDescription\0", 16) + (compressed ? '\1' : '\0') + std::string("\0fr\0", 4) +
                   "L\xC3\xA9gende" + '\0' + text
             : std::string(compressed ? "zTXt" : "tEXt") + std::string("Description\0", 12) +
                   (compressed ? std::string(1, '\0') : "") + text;
    const size_t after_header = 8 + 25;
    return png.substr(0, after_header) + be32(chunk.size() - 4) + chunk +
           be32(crc32(0, (const Bytef*)chunk.data(), (uInt)chunk.size())) + png.substr(after_header);
}

std::string pgm_with_comment_lines(int lines)
{
    std::string header = "P5\n";
    for (int i = 0; i < lines; ++i)
        header += "# " + std::string(43, (char)('a' + i % 26)) + "\n";
    return header + "2 2\n255\n" + std::string(4, '\x80');
}

std::string tga_with_id(const std::string& id)
{
    std::string header(18, '\0');
    header[0] = (char)id.size();
    header[2] = 3;  // uncompressed grey, 2 x 1
    header[12] = 2;
    header[14] = 1;
    header[16] = 8;
    return header + id + "\x10\x20";
}

// The text in the system's code page.
std::string system_text(const wchar_t* text)
{
    char bytes[64] = "";
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    return std::string(bytes, n > 0 ? n - 1 : 0);
}

TEST(CommentDialog, KeepsWhatItCouldNotShowAndTheLineEnds)
{
    const char* const NOT_SHOWN_AS_IT_IS =
        "This File's Comment Holds Characters the Dialog Cannot Show (It Showed Others in Their Place); the Edit "
        "Would Lose Them, So Nothing Was Written.";
    const std::string aftersof = read_file_bytes(fixture_path("exif/aftersof.jpg"));
    const std::string mixed = "one\ntwo\r\nthree\nfour";
    const char* const JPEG_TOO_LONG = "Comment Too Long. A JPEG Comment Holds at Most 65533 Bytes; Nothing Was Written.";
    const std::string photo = read_file_bytes(fixture_path("e2e/quadrants.jpg"));
    ASSERT_FALSE(photo.empty());
    const std::string two = jpeg_with(photo, {"first comment", "second comment"});
    const std::string nul = jpeg_with(photo, {std::string("before\0after the nul", 21)});
    const std::string lf = lf_lines(25000), lf_max = lf_lines(65533);
    const std::string pgm = pgm_with_comment_lines(1740), gif = gif_with_comment(1100000);
    std::string long_lf;
    while (long_lf.size() < 50000)
        long_lf += "ab\n";
    const KeepCase rows[] = {
        // longer than the reader once kept, and too long for a JPEG with
        // its line ends shown as CR LF
        {"long.jpg", FMT_JPEG, jpeg_with(photo, {long_lf}), AS_SHOWN, "", nullptr, ""},
        {"jmulti.jpg", FMT_JPEG, two, AS_SHOWN, "", nullptr, ""},
        {"jmulti_edited.jpg", FMT_JPEG, two, REPLACED, "typed", NOT_SHOWN, ""},
        {"jnul.jpg", FMT_JPEG, nul, AS_SHOWN, "", nullptr, ""},
        {"jnul_edited.jpg", FMT_JPEG, nul, REPLACED, "typed", NOT_SHOWN, ""},
        {"capped.pgm", FMT_PGM, pgm, AS_SHOWN, "", nullptr, ""},
        {"capped_edited.pgm", FMT_PGM, pgm, REPLACED, "typed", NOT_SHOWN, ""},
        {"capped.gif", FMT_GIF, gif, AS_SHOWN, "", nullptr, ""},
        {"capped_edited.gif", FMT_GIF, gif, REPLACED, "typed", NOT_SHOWN, ""},
        {"lf.jpg", FMT_JPEG, jpeg_with(photo, {lf}), LAST_CHAR_DELETED, "", nullptr, lf.substr(0, lf.size() - 1)},
        {"lf_max.jpg", FMT_JPEG, jpeg_with(photo, {lf_max}), LAST_CHAR_DELETED, "", nullptr,
         lf_max.substr(0, lf_max.size() - 1)},
        {"exactly_max.jpg", FMT_JPEG, photo, REPLACED, std::string(65533, 'x'), nullptr, std::string(65533, 'x')},
        {"too_long.jpg", FMT_JPEG, jpeg_with(photo, {lf}), REPLACED, std::string(65534, 'y'), JPEG_TOO_LONG, ""},
        {"too_long.tga", FMT_TARGA, tga_with_id("old"), REPLACED, std::string(256, 'y'),
         "Comment Too Long. A Targa Comment Holds at Most 255 Bytes; Nothing Was Written.", ""},
        {"too_long_to_edit.png", FMT_PNG, png_with_description(lf_lines(1500000)), LAST_CHAR_DELETED, "",
         "Comment Too Long to Edit. The Dialog Edits a Comment of at Most 1048576 Bytes; Its Beginning Is Shown, "
         "and the File Keeps Its Comment as It Is.", "", true},
        // a comment right after the frame header, cleared and edited
        {"J3_aftersof_cleared.jpg", FMT_JPEG, aftersof, REPLACED, "", nullptr, "", false, "after the frame"},
        {"J3_aftersof_edited.jpg", FMT_JPEG, aftersof, REPLACED, "typed", nullptr, "typed", false, "after the frame"},
        // each line keeps its own end, also where a line was added; a new
        // line in PNG text ends in LF
        {"mixed.jpg", FMT_JPEG, jpeg_with(photo, {mixed}), LAST_CHAR_DELETED, "", nullptr, "one\ntwo\r\nthree\nfou"},
        {"mixed_added.jpg", FMT_JPEG, jpeg_with(photo, {mixed}), REPLACED, "one\r\nnew\r\ntwo\r\nthree\r\nfour", nullptr,
         "one\nnew\ntwo\r\nthree\nfour"},
        {"crlf.png", FMT_PNG, png_with_description("one\r\ntwo\r\nthree"), LAST_CHAR_DELETED, "", nullptr,
         "one\r\ntwo\r\nthre"},
        {"new_line.png", FMT_PNG, png_with_description("one"), REPLACED, "one\r\ntwo", nullptr, "one\ntwo"},
        // UTF-8 shown in the system's code page; a character it lacks
        // cannot be written back
        {"itxt.png", FMT_PNG, png_with_description("caf\xC3\xA9 \xC3\xBCn\xC3\xAF" "code", true), LAST_CHAR_DELETED,
         "", nullptr, system_text(L"caf\u00E9 \u00FCn\u00EF" L"cod"), false, nullptr, L"caf\u00E9 \u00FCn\u00EF" L"code"},
        {"itxt_unshowable.png", FMT_PNG, png_with_description("snow \xE2\x98\x83 man", true), REPLACED, "typed",
         NOT_SHOWN_AS_IT_IS, ""},
        // code-page text Latin-1 lacks goes into an iTXt and reads back
        // as typed, also from a tEXt that held it in code-page bytes;
        // compressed text is edited, cleared, or refused where it holds
        // more than was shown
        {"typed_cp.png", FMT_PNG, png_with_description("old"), REPLACED, system_text(L"x\u20AC\u201Cq\u201D\u00E9\u2014"),
         nullptr, system_text(L"x\u20AC\u201Cq\u201D\u00E9\u2014"), false, "tEXt"},
        {"old_cp_text.png", FMT_PNG, png_with_description("x\x80\x93q\x94\xE9\x97"), LAST_CHAR_DELETED, "", nullptr,
         system_text(L"x\u20AC\u201Cq\u201D\u00E9"), false, "tEXt"},
        {"ztxt.png", FMT_PNG, png_with_description("caf\xE9 old", false, true), LAST_CHAR_DELETED, "", nullptr,
         system_text(L"caf\u00E9 ol")},
        {"itxt_z_cleared.png", FMT_PNG, png_with_description("x\xE2\x82\xAC\xE2\x80\x9Cq", true, true), REPLACED, "",
         nullptr, "", false, "iTXt", L"x\u20AC\u201Cq"},
        {"ztxt_nul.png", FMT_PNG, png_with_description(std::string("old\0after", 9), false, true), REPLACED, "typed",
         NOT_SHOWN, ""},
        // a stream cut short is no text the box showed; an emptied box
        // removes every description, also one it could not show
        {"ztxt_cut.png", FMT_PNG, png_with_description("old text", false, true, 2), REPLACED, "typed", NOT_SHOWN, ""},
        {"itxt_unshowable_cleared.png", FMT_PNG, png_with_description("\xCE\xB1\xCE\xB2 \xE4\xB8\xAD", true, true),
         REPLACED, "", nullptr, "", false, "Description"},
        // a code-page byte that is a C1 control in Latin-1 goes into an iTXt
        {"typed_c1.png", FMT_PNG, png_with_description("old"), REPLACED, "x\x81y", nullptr, "x\x81y", false, "tEXt"},
    };
    HINSTANCE instance = g_hInstance;
    g_hInstance = GetModuleHandleA(NULL);
    for (const KeepCase& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = test_out_path(row.name);
        ASSERT_TRUE(write_file_bytes(path, row.bytes));
        read_comment(row.format, path);
        lstrcpynA(g_fileName, path.c_str(), sizeof g_fileName);
        lstrcpynA(g_filePath, path.c_str(), sizeof g_filePath);
        g_fileFormat = row.format;
        g_imageKind = KIND_DIB;
        SeamRecorder seams;
        s_edit = row.edit;
        s_typed = row.typed;
        SetTimer(NULL, 0, 20, edit_and_ok);
        run_comment_dialog(NULL);
        EXPECT_EQ(seams.boxes.size(), row.said ? 1u : 0u);
        for (const RecordedBox& box : seams.boxes)
            EXPECT_EQ(box.text, row.said ? row.said : "no box");
        EXPECT_EQ(s_run.open_after_ok, row.said != nullptr && !row.said_at_open);
        if (row.shown) {
            EXPECT_TRUE(s_shown == row.shown) << "the box shows the text as written";
        }
        if (row.written.empty() && !row.gone) {
            EXPECT_TRUE(read_file_bytes(path) == row.bytes) << "the file as it was";
        } else {
            read_comment(row.format, path);
            EXPECT_TRUE(comment_now() == row.written) << "the comment as edited, with its line ends";
        }
        if (row.gone) {
            EXPECT_EQ(read_file_bytes(path).find(row.gone), std::string::npos) << "the old comment is gone";
        }
    }
    GlobalFree(g_hComment);
    g_hComment = NULL;
    g_hInstance = instance;
    g_fileName[0] = g_filePath[0] = 0;
    g_fileFormat = FMT_NONE;
    g_imageKind = KIND_NONE;
}

}  // namespace
