// Convert/Save: the format table, the Save dialog with its hook, the runner
// of the program's file dialogs, the preparation of the image and the
// dispatch to the writers.
//
// A format's writer is reached only through its row in FORMATS; a row
// without a writer ends in the failure box like a writer that failed.
#include "app/convert_save.h"

#include <cstdio>
#include <cstring>

#include "formats/jbig.h"
#include "formats/png.h"
#include "formats/tiff_write.h"
#include "image/bmp_write.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/file_names.h"
#include "image/gif_write.h"
#include "image/iff_write.h"
#include "image/metafile.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/pcx.h"
#include "image/pnm.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "image/targa.h"
#include "jpeg/exif_read.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_write.h"
#include "tools/brightness.h"
#include "tools/edit_history.h"
#include "viewer/window_classes.h"

int g_saveDialogMode;
char g_currentDir[260];

static const char CANNOT_WRITE[] = "Cannot Open File for Writing.";

// ---- the writers as the table calls them

static int save_bmp(HGLOBAL image, int, const char* path, int, int)
{
    return write_bmp_file(image, path);
}

static int save_bmp_rle(HGLOBAL image, int, const char* path, int, int)
{
    return write_bmp_rle_file(path, image);
}

static int save_bmp_bitfields(HGLOBAL image, int, const char* path, int opt1, int)
{
    return write_bmp_bitfields_file(path, image, opt1);
}

static int save_gif(HGLOBAL image, int, const char* path, int opt1, int)
{
    return write_gif_file(path, image, opt1);
}

static int save_jpeg(HGLOBAL image, int, const char* path, int opt1, int opt2)
{
    return write_jpeg_file(path, 85, image, opt1, opt2, 1);
}

static int save_jpeg12(HGLOBAL image, int, const char* path, int opt1, int opt2)
{
    return write_jpeg12_file(path, 85, image, opt1, opt2, 1);
}

static int save_png(HGLOBAL image, int, const char* path, int interlace, int)
{
    return write_png_file(path, image, interlace);
}

static int save_jbig(HGLOBAL image, int, const char* path, int, int)
{
    return write_jbig_file(path, image);
}

// opt1 the TIFF compression code, opt2 1 for tiles.
static int save_tiff(HGLOBAL image, int, const char* path, int compression, int tiled)
{
    return write_tiff_file(path, compression, tiled, image);
}

// A Windows metafile is converted; an enhanced one is copied as it is.
static int save_emf(HGLOBAL image, int kind, const char* path, int, int)
{
    if (kind == KIND_WMF)
        return write_emf_file((HMETAFILE)image, path);
    return copy_emf_to_file((HENHMETAFILE)image, path);
}

// An enhanced metafile is converted; a Windows one is written as it is shown.
static int save_wmf(HGLOBAL image, int kind, const char* path, int, int)
{
    return kind == KIND_EMF ? write_wmf_file((HENHMETAFILE)image, path) : copy_wmf_to_file((HMETAFILE)image, path);
}

static int save_iff(HGLOBAL image, int, const char* path, int packed, int ham)
{
    return write_ilbm_file(path, packed, ham, image);
}

static int save_pbm(HGLOBAL image, int, const char* path, int, int)
{
    return write_pbm_file(path, image);
}

static int save_pgm(HGLOBAL image, int, const char* path, int, int)
{
    return write_pgm_file(path, image);
}

// PNM and PPM: a 32-bit image becomes a PAM.
static int save_ppm(HGLOBAL image, int, const char* path, int, int)
{
    return write_ppm_file(path, image);
}

static int save_pdf(HGLOBAL image, int, const char* path, int, int)
{
    return write_pdf_file(path, image);
}

static int save_pcx(HGLOBAL image, int, const char* path, int, int)
{
    return write_pcx_file(path, image);
}

static int save_targa(HGLOBAL image, int, const char* path, int run_length, int)
{
    return write_tga_file(path, image, run_length);
}

static int alpha_always(int, int)
{
    return 1;
}

// TIFF-JPEG (compression 7) takes the palette image itself.
static int alpha_unless_tiff_jpeg(int compression, int)
{
    return compression != 7;
}

// HAM takes the palette image itself.
static int alpha_unless_ham(int, int ham)
{
    return ham == 0;
}

// ---- the format table

// Rows without a writer keep their dialog texts for the day their writer
// comes; until then their menu entries are greyed.
static const SaveFormat FORMATS[] = {
    // code, extension, filter name, dialog title, writer, input, target checked first, alpha copy
    {FMT_BMP, "bmp", "Windows Bitmap", "Save As Windows BMP", save_bmp, SAVE_TAKES_DIB, 1, alpha_always},
    {FMT_BMP_RLE, "bmp", "Windows Bitmap", "Save As Windows BMP", save_bmp_rle, SAVE_TAKES_DIB, 0, NULL},
    {FMT_BMP_BITFIELDS, "bmp", "Windows Bitmap", "Save As Windows BMP", save_bmp_bitfields, SAVE_TAKES_DIB, 0,
     alpha_always},
    {FMT_IFF, "iff", "IFF", "Save As IFF", save_iff, SAVE_TAKES_DIB, 0, alpha_unless_ham},
    {FMT_JBIG, "jbg", "JBIG", "Save As JBG", save_jbig, SAVE_TAKES_DIB, 0, NULL},
    {FMT_JPEG, "jpg", "JPEG", "Save As JPEG", save_jpeg, SAVE_TAKES_DIB, 1, NULL},
    {FMT_JPEG12, "jpg", "JPEG", "Save As Lossy 12-bit JPEG", save_jpeg12, SAVE_TAKES_DIB, 1, NULL},
    {FMT_GIF, "gif", "GIF", "Save As GIF", save_gif, SAVE_TAKES_DIB, 0, NULL},
    {FMT_PBM, "pbm", "PBM", "Save As PBM", save_pbm, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_PCX, "pcx", "PCX", "Save As PCX", save_pcx, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_PDF, "pdf", "PDF", "Save As PDF", save_pdf, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_PGM, "pgm", "PGM", "Save As PGM", save_pgm, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_PNM, "pnm", "PNM", "Save As PNM", save_ppm, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_PPM, "ppm", "PPM", "Save As PPM", save_ppm, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_PNG, "png", "PNG", "Save As PNG", save_png, SAVE_TAKES_DIB, 0, NULL},
    {FMT_TARGA, "tga", "TARGA", "Save As TARGA", save_targa, SAVE_TAKES_DIB, 0, alpha_always},
    {FMT_TIFF, "tif", "TIFF", "Save As TIFF", save_tiff, SAVE_TAKES_DIB, 0, alpha_unless_tiff_jpeg},
    {FMT_EMF, "emf", "EMF", "Save As Enhanced MetaFile", save_emf, SAVE_TAKES_METAFILE, 1, NULL},
    {FMT_WMF, "wmf", "WMF", "Save As Windows MetaFile", save_wmf, SAVE_TAKES_METAFILE, 1, NULL},
};

const SaveFormat* find_save_format(int code)
{
    for (const SaveFormat& format : FORMATS)
        if (format.code == code)
            return &format;
    return NULL;
}

int save_format_has_writer(int code)
{
    const SaveFormat* format = find_save_format(code);
    return format && format->write;
}

const char* save_dialog_title(int code, int opt1, int opt2)
{
    if (code == FMT_JPEG && opt1 == 0 && opt2 == 1)
        return "Save As Lossless Huffman Encoded JPEG";
    const SaveFormat* format = find_save_format(code);
    return format ? format->title : "";
}

void force_save_extension(char* name, size_t size, const char* extension)
{
    if (size == 0)
        return;
    char* dot = std::strrchr(name, '.');
    size_t stem = dot ? (size_t)(dot - name) : std::strlen(name);
    size_t ext_length = std::strlen(extension);
    // Keep room for the dot, the extension and the terminator.
    if (stem + 1 + ext_length + 1 > size) {
        if (ext_length + 2 > size) {
            name[0] = '\0';
            return;
        }
        stem = size - ext_length - 2;
    }
    name[stem] = '.';
    std::memcpy(name + stem + 1, extension, ext_length + 1);
}

int build_save_filter(const SaveFormat* format, char* block, size_t size)
{
    int n = std::snprintf(block, size, "%s (*.%s)|*.%s|All Files (*.*)|*.*|", format->filter_name,
                          format->extension, format->extension);
    if (n < 0 || (size_t)n + 1 > size)
        return 0;
    // The string's last character is the separator.
    char separator = block[n - 1];
    for (int i = 0; i < n; ++i)
        if (block[i] == separator)
            block[i] = '\0';
    block[n] = '\0';
    return 1;
}

HGLOBAL image_for_saving(void)
{
    if (g_hImageUnconverted && g_colorConversion == 0 && g_imageKind == KIND_DIB)
        return g_hImageUnconverted;
    return g_hImage;
}

int save_uses_alpha_copy(int code, int opt1, int opt2)
{
    const SaveFormat* format = find_save_format(code);
    return format && format->wants_alpha_copy && format->wants_alpha_copy(opt1, opt2);
}

int can_replace_file(const char* path)
{
    if (!path || !path[0])
        return 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
            return 0;
        // Opening an existing file for writing without truncating it.
        HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return 0;
        CloseHandle(file);
    }
    SafeWrite probe;
    if (!safe_write_open(&probe, path))
        return 0;
    safe_write_abort(&probe);
    return 1;
}

int names_same_existing_file(const char* a, const char* b)
{
    char full_a[MAX_PATH], full_b[MAX_PATH];
    DWORD length_a = GetFullPathNameA(a, sizeof full_a, full_a, NULL);
    DWORD length_b = GetFullPathNameA(b, sizeof full_b, full_b, NULL);
    if (length_a == 0 || length_a >= sizeof full_a || length_b == 0 || length_b >= sizeof full_b ||
        lstrcmpiA(full_a, full_b) != 0)
        return 0;
    // A folder that tells letter case apart may hold both names: then they
    // are two files.
    return GetFileAttributesA(full_a) != INVALID_FILE_ATTRIBUTES &&
           GetFileAttributesA(full_b) != INVALID_FILE_ATTRIBUTES && is_same_file(full_a, full_b);
}

// The full path the user last agreed to replace; empty when none.
static char s_agreedPath[SAVE_PATH_SIZE];

void forget_replace_answer(void)
{
    s_agreedPath[0] = '\0';
}

int is_replace_agreed(const char* path)
{
    return s_agreedPath[0] && path && lstrcmpiA(s_agreedPath, path) == 0;
}

// The classic dialog leaves the default extension out as it leaves out the
// replace question: a name typed without an extension gets the dialog's
// here, in the caller's buffer, so that the file written and the file the
// question judges are one. A name the buffer cannot hold with it stays as
// typed.
static void add_default_extension(OPENFILENAMEA* ofn)
{
    const char* extension = ofn->lpstrDefExt;
    char* path = ofn->lpstrFile;
    if (!extension || !extension[0])
        return;
    size_t length = 0, name = 0;
    for (; length < ofn->nMaxFile && path[length]; ++length)
        if (path[length] == '\\' || path[length] == '/' || path[length] == ':')
            name = length + 1;
    size_t extension_length = std::strlen(extension);
    if (name == length || std::memchr(path + name, '.', length - name) ||
        extension_length + 2 > ofn->nMaxFile - length)
        return;
    path[length] = '.';
    std::memcpy(path + length + 1, extension, extension_length + 1);
    ofn->nFileExtension = (WORD)(length + 1);
}

static int ask_to_replace(HWND owner, const char* path, const char* caption, UINT buttons)
{
    char question[SAVE_PATH_SIZE + 48];
    std::snprintf(question, sizeof question, "%s already exists.\nDo you want to replace it?", path);
    // Enter keeps the file that is there.
    return seam_message_box(owner, question, caption, buttons | MB_ICONWARNING | MB_DEFBUTTON2);
}

int agrees_to_replace(HWND owner, const char* path, const char* caption)
{
    return ask_to_replace(owner, path, caption, MB_YESNO) == IDYES;
}

int ask_to_replace_in_pass(HWND owner, const char* path, const char* caption)
{
    return ask_to_replace(owner, path, caption, MB_YESNOCANCEL);
}

UINT_PTR ask_before_replacing(HWND hdlg, LPARAM lp, const char* same_file)
{
    forget_replace_answer();
    OPENFILENAMEA* ofn = (OPENFILENAMEA*)lp;
    if (!ofn || !ofn->lpstrFile || !ofn->lpstrFile[0] || ofn->nMaxFile == 0)
        return 0;
    add_default_extension(ofn);
    const char* path = ofn->lpstrFile;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    // The file itself, under any spelling, is no other file to replace.
    if (same_file && is_same_file(same_file, path))
        return 0;
    char caption[261] = "";
    GetWindowTextA(hdlg, caption, sizeof caption);
    if (!agrees_to_replace(hdlg, path, caption))
        return 1;
    lstrcpynA(s_agreedPath, path, sizeof s_agreedPath);
    return 0;
}

UINT_PTR CALLBACK convert_save_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)wp;
    if (g_msgFileNameOK && msg == g_msgFileNameOK)
        return ask_before_replacing(hdlg, lp, NULL);
    if (msg != WM_INITDIALOG)
        return 0;
    forget_replace_answer();
    SetDlgItemTextA(hdlg, IDOK, g_saveDialogMode ? "Save" : "Convert/Save");
    return 1;
}

BOOL choose_save_file(HWND owner, char* path, int code, const char* initial_dir, OPENFILENAMEA* ofn,
                      int mode, int opt2)
{
    g_saveDialogMode = mode == SAVE_MODE_SAVE ? SAVE_MODE_SAVE : SAVE_MODE_CONVERT;
    const SaveFormat* format = find_save_format(code);
    if (!format)
        return FALSE;
    char filter[295];
    char title[261] = "";
    if (!build_save_filter(format, filter, sizeof filter))
        return FALSE;

    std::memset(ofn, 0, sizeof *ofn);
    // The size without the Windows 2000 fields keeps the classic dialog.
    ofn->lStructSize = 76;
    ofn->hwndOwner = owner;
    ofn->lpstrFilter = filter;
    ofn->lpstrFile = path;
    ofn->nMaxFile = SAVE_PATH_SIZE;
    ofn->lpstrFileTitle = title;
    ofn->nMaxFileTitle = 256;
    ofn->lpstrInitialDir = initial_dir;
    ofn->lpstrTitle = save_dialog_title(code, mode == SAVE_MODE_SAVE ? 0 : mode, opt2);
    ofn->lpstrDefExt = format->extension;
    ofn->lpfnHook = convert_save_hook_proc;
    ofn->Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK |
                 OFN_NONETWORKBUTTON | OFN_LONGNAMES;
    BOOL chosen = run_save_dialog_holding(ofn);
    ofn->lpstrFilter = NULL;
    ofn->lpstrFileTitle = NULL;
    return chosen;
}

BOOL run_file_dialog(OPENFILENAMEA* ofn, FileDialogFn show)
{
    ofn->hwndOwner = front_owner(ofn->hwndOwner);
    // The classic dialog browses by changing the process's current folder,
    // under Wine even with OFN_NOCHANGEDIR, and the main list takes the
    // current folder for its own at its next refill.
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    BOOL chosen = show(ofn);
    if (length > 0 && length < sizeof folder)
        SetCurrentDirectoryA(folder);
    return chosen;
}

BOOL run_file_dialog_held(OPENFILENAMEA* ofn, FileDialogFn show)
{
    // The owner is taken before the hold disables the windows; the folder
    // is back before anything the hold held back runs.
    ofn->hwndOwner = front_owner(ofn->hwndOwner);
    FileHold hold;
    return run_file_dialog(ofn, show);
}

// Where a placed dialog comes up, and the hook its caller gave it.
static POINT s_dialogSpot;
static LPOFNHOOKPROC s_placedHook;

static UINT_PTR CALLBACK placing_hook_proc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        SetWindowPos(hdlg, NULL, s_dialogSpot.x, s_dialogSpot.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return s_placedHook ? s_placedHook(hdlg, msg, wp, lp) : 0;
}

BOOL run_file_dialog_holding(OPENFILENAMEA* ofn, FileDialogFn show)
{
    // Owned by the window in front, so that a window manager keeps it above
    // that window, and placed near that window's top-left corner.
    ofn->hwndOwner = front_owner(ofn->hwndOwner);
    RECT client = {0, 0, 0, 0};
    POINT corner = {0, 0};
    if (ofn->hwndOwner && GetClientRect(ofn->hwndOwner, &client))
        ClientToScreen(ofn->hwndOwner, &corner);
    const POINT outer_spot = s_dialogSpot;
    const LPOFNHOOKPROC outer_hook = s_placedHook;
    const LPOFNHOOKPROC hook = ofn->lpfnHook;
    const bool is_hooked = (ofn->Flags & OFN_ENABLEHOOK) != 0;
    s_dialogSpot.x = corner.x + client.right / 15;
    s_dialogSpot.y = corner.y + client.bottom / 10;
    s_placedHook = is_hooked ? hook : NULL;
    ofn->lpfnHook = placing_hook_proc;
    ofn->Flags |= OFN_ENABLEHOOK;
    BOOL chosen = run_file_dialog_held(ofn, show);
    ofn->lpfnHook = hook;
    if (!is_hooked)
        ofn->Flags &= ~OFN_ENABLEHOOK;
    s_dialogSpot = outer_spot;
    s_placedHook = outer_hook;
    return chosen;
}

BOOL run_save_dialog_holding(OPENFILENAMEA* ofn)
{
    return run_file_dialog_holding(ofn, GetSaveFileNameA);
}

// The row's writer; 0 for a code without one, or a kind or image it cannot take.
static int write_by_code(HGLOBAL image, int kind, const char* path, int code, int opt1, int opt2)
{
    const SaveFormat* format = find_save_format(code);
    if (!format || !format->write)
        return 0;
    if (format->input == SAVE_TAKES_METAFILE) {
        if (kind != KIND_WMF && kind != KIND_EMF)
            return 0;
    } else if (kind != KIND_DIB || !is_valid_packed_dib(image)) {
        // A raster writer takes only a packed DIB whose header fits its block.
        return 0;
    }
    if (format->checks_target && !can_replace_file(path))
        return 0;
    return format->write(image, kind, path, opt1, opt2);
}

// The shown photo's Exif orientation while the picture holds its pixels as
// the file stores them: no turn or flip made since, nothing unrecorded. 0
// otherwise, when the written JPEG's own pixels stand upright.
static int unturned_photo_orientation(void)
{
    if ((g_fileFormat != FMT_JPEG && g_fileFormat != FMT_JPEG12) || g_unrecordedChanges)
        return 0;
    const EditRecord* records = g_hEditHistory ? (const EditRecord*)GlobalLock(g_hEditHistory) : NULL;
    bool turned = false;
    for (UINT i = 1; records && i <= g_editCount && !turned; ++i)
        turned = records[i].op >= EDIT_ROTATE_CW90 && records[i].op <= EDIT_FLIP_TOP_BOTTOM;
    if (records)
        GlobalUnlock(g_hEditHistory);
    return turned ? 0 : exif_orientation_of(g_filePath);
}

static void report_success(const char* path)
{
    unsigned long long size = 0;
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA(path, &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        size = ((unsigned long long)found.nFileSizeHigh << 32) + found.nFileSizeLow;
        FindClose(hFind);
    }
    char text[SAVE_PATH_SIZE + 48];
    std::snprintf(text, sizeof text, "%s\n\n%llu bytes", path, size);
    seam_message_box(NULL, text, "File Converted Successfully", MB_OK);
}

int convert_save_to_path(HGLOBAL image, int kind, const char* path, int code, int opt1, int opt2)
{
    if (!image || !find_save_format(code))
        return 0;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    show_progress(0, 1);

    HGLOBAL prepared = image;
    // The brightness steps and the transparent index are the shown image's:
    // another file (a batch conversion) is written as it is.
    bool is_current = image == g_hImage || image == g_hImageUnconverted;
    if (kind == KIND_DIB && is_current) {
        int bits = get_image_bit_count();
        if (bits == 0)
            bits = dib_bit_count(image);
        if (bits >= 16 && g_brightnessStep != 0 && g_colorConversion == 0 && code != FMT_GIF) {
            // The steps shown on screen go into a copy; the image stays.
            int scratch = 0;
            HGLOBAL brightened = NULL;
            if (adjust_brightness(image, NULL, &scratch, g_brightnessStep, &brightened) && brightened)
                prepared = brightened;
            else if (brightened && brightened != image)
                GlobalFree(brightened);
        } else if (bits <= 8 && g_hasTransparency && g_colorConversion == 0 && save_uses_alpha_copy(code, opt1, opt2))
            prepared = expand_dib_to_bgra32(image, (uint32_t)g_hasTransparency, g_transparentIndex,
                                            g_transparentDisplayColor);
    }
    // A refusal with a cause of its own says it instead of the write failure.
    const char* refusal = code == FMT_TIFF && kind == KIND_DIB ? tiff_write_refusal(prepared, opt1, opt2) : NULL;
    // A metafile whose play was cut is no whole picture to write.
    MetafileFault fault = kind == KIND_EMF || kind == KIND_WMF ? metafile_play_fault(image) : METAFILE_FAULT_NONE;
    // The shown photo written as a JPEG from its pixels as stored keeps its
    // orientation; another file's caller says its own.
    const bool keeps_orientation = is_current && code == FMT_JPEG;
    const int orientation = keeps_orientation ? set_exif_build_orientation(unturned_photo_orientation()) : 0;
    int written = fault      ? metafile_write_refusal(fault)
                  : refusal ? 0
                            : write_by_code(prepared, kind, path, code, opt1, opt2);
    if (keeps_orientation)
        set_exif_build_orientation(orientation);

    if (prepared && prepared != image)
        GlobalFree(prepared);
    show_progress(0, 1);
    // A conversion the renderer could not finish is the picture's fault,
    // not the folder's; so is one too large to be held or too slow to
    // make, one whose result the program could not read back, and one
    // that would show another picture: each says its own.
    MetafileFault refused = metafile_write_fault(written);
    if (refused == METAFILE_TOO_LARGE)
        refusal = "Insufficient Memory for this Operation.";
    else if (refused != METAFILE_FAULT_NONE)
        refusal = metafile_fault_words(refused);
    if (written > 0)
        report_success(path);
    else
        seam_message_box(NULL, refusal ? refusal : CANNOT_WRITE, path, MB_ICONHAND);
    SetCursor(old_cursor);
    return written > 0;
}

void convert_save(HGLOBAL image, HWND owner, int kind, const char* source_name, const char* initial_dir,
                  int code, int opt1, int opt2)
{
    const SaveFormat* format = find_save_format(code);
    if (!image || !format)
        return;
    char path[SAVE_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s", source_name ? source_name : "");
    force_save_extension(path, sizeof path, format->extension);

    OPENFILENAMEA ofn;
    if (!choose_save_file(owner, path, code, initial_dir, &ofn, opt1, opt2))
        return;
    convert_save_to_path(image, kind, path, code, opt1, opt2);
}
