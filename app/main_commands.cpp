// The main window's menu commands (see main_commands.h). Each command runs
// on the current-image state and refreshes what it changed: the preview and
// the image window, or the whole file by selecting it again.
#include "app/main_commands.h"

#include <cstdio>
#include <cstring>

#include "app/clipboard.h"
#include "app/file_commands.h"
#include "app/comment_dialog.h"
#include "app/convert_save.h"
#include "app/file_list.h"
#include "app/image_window_open.h"
#include "app/jpeg_reencode.h"
#include "app/main_menu.h"
#include "app/main_window.h"
#include "app/print.h"
#include "image/background.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/file_stamp.h"
#include "image/kept_attributes.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/safe_write.h"
#include "image/seams.h"
#include "image/settings.h"
#include "image/temp_file.h"
#include "jpeg/exif_read.h"
#include "jpeg/exif_write.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpegtran.h"
#include "resources/resource.h"
#include "tools/brightness.h"
#include "tools/color_reduce.h"
#include "tools/edit_history.h"
#include "tools/edit_replay.h"
#include "tools/grey_tone.h"
#include "tools/quarter_turns.h"
#include "tools/sphere.h"
#include "viewer/about_dialog.h"
#include "viewer/crop_window.h"
#include "viewer/merge_window.h"
#include "viewer/text_window.h"
#include "viewer/angle_dialogs.h"
#include "viewer/batch_window.h"
#include "viewer/capture.h"
#include "viewer/color_picker.h"
#include "viewer/frame_dialog.h"
#include "viewer/palette_window.h"
#include "viewer/slideshow.h"
#include "viewer/window_classes.h"

// The window whose command runs: the image window's commands have their
// dialogs and tools owned by it, so that it is disabled behind them and
// gets the focus back.
static HWND s_commandOwner;

static HWND command_owner(HWND hwnd)
{
    return s_commandOwner && IsWindow(s_commandOwner) ? s_commandOwner : hwnd;
}
static const char HELP_FILE[] = "RODadi.zoz";
static const char QUESTION_CAPTION[] = "Corvane File Viewer";

// ---- shared steps

static bool is_captured_or_pasted(void)
{
    return (g_imageKind == KIND_DIB && (g_fileFormat == FMT_SCREEN_CAPTURE || g_fileFormat == FMT_CLIPBOARD)) ||
           ((g_imageKind == KIND_WMF || g_imageKind == KIND_EMF) && g_fileFormat == FMT_CLIPBOARD);
}


static void refresh(HWND hwnd)
{
    InvalidateRect(GetDlgItem(hwnd, IDC_MAIN_PREVIEW), NULL, TRUE);
    if (is_window_open(g_hwndView))
        InvalidateRect(g_hwndView, NULL, TRUE);
}

static void tool_refresh(HWND hwnd)
{
    if (g_imageKind == KIND_DIB && g_hImage) {
        const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(g_hImage);
        if (bih) {
            fit_image_rect(bih->biWidth, bih->biHeight, 0);
            GlobalUnlock(g_hImage);
        }
    }
    refresh(hwnd);
}

static void record(UINT op)
{
    push_edit_record(op, (UINT)g_colorConversion);
}

static bool have_bitmap(void)
{
    return g_hImage && g_imageKind == KIND_DIB;
}

// ---- navigation

int step_file_index(int count, int name_index, int selection, int captured, int next)
{
    if (count <= 0)
        return -1;
    int i = name_index;
    if (i < 0) {
        if (captured)
            i = next ? (selection < 0 ? count - 1 : selection - 1) : (selection < 0 ? count : selection + 1);
        else
            i = next ? count - 1 : count;
    }
    if (next) {
        if (++i >= count)
            i = 0;
    } else {
        if (--i < 0)
            i = count - 1;
    }
    return i;
}

static void on_step_file(HWND hwnd, bool next)
{
    HWND list = GetDlgItem(hwnd, IDC_MAIN_FILE_LIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == 0 || count == LB_ERR)
        return;
    // The shown file's entry, where the list shows its folder.
    LRESULT name_index = find_shown_file_entry(list);
    LRESULT selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    int i = step_file_index((int)count, name_index == LB_ERR ? -1 : (int)name_index,
                            selection == LB_ERR ? -1 : (int)selection, is_captured_or_pasted(), next);
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)i, 0);
    if (i < 0 || length == LB_ERR || length >= (LRESULT)sizeof g_fileName)
        return;
    SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)g_fileName);
    SetDlgItemTextA(hwnd, IDC_MAIN_NAME_EDIT, g_fileName);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)i, 0);
    PostMessageA(hwnd, g_msgSelChanged, IDC_MAIN_FILE_LIST, i);
}

// ---- image tools

// The ball replaces the image only when one was made; the unconverted
// copy no longer matches it.
static void on_sphere(HWND hwnd)
{
    if (!have_bitmap())
        return;
    HGLOBAL ball = deform_to_sphere(g_hImage, background_color((uint32_t)g_backgroundColorIndex));
    if (!ball || ball == g_hImage)
        return;
    GlobalFree(g_hImage);
    g_hImage = ball;
    if (g_hImageUnconverted) {
        GlobalFree(g_hImageUnconverted);
        g_hImageUnconverted = NULL;
    }
    refresh(hwnd);
    record(EDIT_SPHERE);
}

static void on_quarter_turn(HWND hwnd, int id)
{
    if (!have_bitmap())
        return;
    int scratch = 0;
    switch (id) {
    case IDM_MAIN_ROTATE_CW:
    case IDM_MAIN_ROTATE_CCW: {
        int (*turn)(HGLOBAL*, int*) = id == IDM_MAIN_ROTATE_CW ? rotate_cw90 : rotate_ccw90;
        if (g_hImageUnconverted)
            turn(&g_hImageUnconverted, &scratch);
        turn(&g_hImage, &g_imageOrientation);
        tool_refresh(hwnd);
        record(id == IDM_MAIN_ROTATE_CW ? EDIT_ROTATE_CW90 : EDIT_ROTATE_CCW90);
        return;
    }
    case IDM_MAIN_ROTATE_180:
        if (g_hImageUnconverted)
            rotate_180(g_hImageUnconverted, &scratch);
        rotate_180(g_hImage, &g_imageOrientation);
        refresh(hwnd);
        record(EDIT_ROTATE_180);
        return;
    case IDM_MAIN_FLIP_LR:
    case IDM_MAIN_FLIP_TB: {
        int (*flip)(HGLOBAL, int*) = id == IDM_MAIN_FLIP_LR ? flip_left_right : flip_top_bottom;
        if (g_hImageUnconverted)
            flip(g_hImageUnconverted, &scratch);
        flip(g_hImage, &g_imageOrientation);
        refresh(hwnd);
        record(id == IDM_MAIN_FLIP_LR ? EDIT_FLIP_LEFT_RIGHT : EDIT_FLIP_TOP_BOTTOM);
        return;
    }
    }
}

// ---- colour conversions

struct Conversion {
    int id;
    int code;
    int count;  // for reduce_colors; negative: optimised
};

static const Conversion CONVERSIONS[] = {
    {IDM_MAIN_TRUE_COLOR, CONV_NONE, 0},
    {IDM_MAIN_BEST_256, CONV_BEST_256, -256},
    {IDM_MAIN_BEST_128, CONV_BEST_128, -128},
    {IDM_MAIN_BEST_64, CONV_BEST_64, -64},
    {IDM_MAIN_BEST_32, CONV_BEST_32, -32},
    {IDM_MAIN_BEST_16, CONV_BEST_16, -16},
    {IDM_MAIN_BEST_8, CONV_BEST_8, -8},
    {IDM_MAIN_BEST_4, CONV_BEST_4, -4},
    {IDM_MAIN_BEST_2, CONV_BEST_2, -2},
    {IDM_MAIN_STANDARD_256, CONV_STANDARD_256, 256},
    {IDM_MAIN_WEB_216, CONV_WEB_216, 216},
    {IDM_MAIN_STANDARD_16, CONV_STANDARD_16, 16},
    {IDM_MAIN_GRAYSCALE, CONV_GREYSCALE, 0},
    {IDM_MAIN_MONOCHROME, CONV_MONOCHROME, -2},
    {IDM_MAIN_TONE_FIRST + 0, CONV_TONE_CYANOTYPE, 0},
    {IDM_MAIN_TONE_FIRST + 1, CONV_TONE_MAROON, 0},
    {IDM_MAIN_TONE_FIRST + 2, CONV_TONE_PALLADIUM, 0},
    {IDM_MAIN_TONE_FIRST + 3, CONV_TONE_PLATINUM, 0},
    {IDM_MAIN_TONE_FIRST + 4, CONV_TONE_SELENIUM, 0},
    {IDM_MAIN_TONE_FIRST + 5, CONV_TONE_SEPIA1, 0},
    {IDM_MAIN_TONE_FIRST + 6, CONV_TONE_SEPIA2, 0},
    {IDM_MAIN_TONE_FIRST + 7, CONV_TONE_SILVER, 0},
};

int conversion_keeps_image(int id, int B, int N, int black_white)
{
    switch (id) {
    case IDM_MAIN_TRUE_COLOR: return 1;
    case IDM_MAIN_BEST_256: return B <= 8;
    case IDM_MAIN_BEST_128: return (B == 8 && 0 < N && N <= 128) || B <= 4;
    case IDM_MAIN_BEST_64: return (B == 8 && 0 < N && N <= 64) || B <= 4;
    case IDM_MAIN_BEST_32: return (B == 8 && 0 < N && N <= 32) || B <= 4;
    case IDM_MAIN_BEST_16: return B <= 4;
    case IDM_MAIN_BEST_8: return B <= 3;
    case IDM_MAIN_BEST_4:
    case IDM_MAIN_BEST_2: return B <= 2;
    case IDM_MAIN_STANDARD_256:
    case IDM_MAIN_WEB_216:
    case IDM_MAIN_STANDARD_16:
    case IDM_MAIN_GRAYSCALE:
    case IDM_MAIN_MONOCHROME: return black_white;
    }
    return 0;
}

static void restore_unconverted(void)
{
    if (!g_hImageUnconverted)
        return;
    GlobalFree(g_hImage);
    g_hImage = g_hImageUnconverted;
    g_hImageUnconverted = NULL;
}

// The two table entries become exactly black (the one nearest to black)
// and white.
static void force_black_and_white(void)
{
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(g_hImage);
    if (!bih)
        return;
    if (bih->biBitCount <= 8 && dib_color_count(bih) >= 2) {
        UINT black = 0;
        HPALETTE palette = create_dib_palette(bih, g_hwndMain);
        if (palette) {
            black = GetNearestPaletteIndex(palette, RGB(0, 0, 0)) ? 1 : 0;
            DeleteObject(palette);
        }
        RGBQUAD* table = dib_color_table(bih);
        RGBQUAD black_entry = {0, 0, 0, 0}, white_entry = {255, 255, 255, 0};
        table[black] = black_entry;
        table[1 - black] = white_entry;
    }
    GlobalUnlock(g_hImage);
}

static int convert_to_grey(void)
{
    if (!to_grayscale(&g_hImage, &g_hImageUnconverted, (UINT)g_imageKind))
        return 0;
    // A 16-colour display shows the grey image through the standard palette.
    if (get_display_bit_depth() == 4) {
        HGLOBAL scratch = NULL;
        reduce_colors(&g_hImage, &scratch, 256, (UINT)g_imageKind, 1, 1);
        if (scratch)
            GlobalFree(scratch);
    }
    return 1;
}

static void on_color_conversion(HWND hwnd, const Conversion* c)
{
    if (!have_bitmap())
        return;
    int B = get_image_bit_count();
    int N = get_image_color_count();
    int black_white = is_black_white_palette(NULL);

    // The image goes back to its colours before any brightness step, and the
    // step count with it.
    if (!g_hImageUnconverted && g_brightnessStep != 0)
        adjust_brightness(g_hImage, g_baseColorTable, &g_brightnessStep, 0, NULL);
    g_brightnessStep = 0;
    bool toning = c->code >= CONV_TONE_CYANOTYPE && c->code <= CONV_TONE_SILVER;
    int done = 1;
    if (!toning && conversion_keeps_image(c->id, B, N, black_white)) {
        restore_unconverted();
        if (c->id == IDM_MAIN_TRUE_COLOR && get_display_bit_depth() == 8 && B > 8)
            reduce_colors(&g_hImage, &g_hImageUnconverted, -256, (UINT)g_imageKind, 0, 1);
    } else if (toning) {
        done = to_grayscale(&g_hImage, &g_hImageUnconverted, (UINT)g_imageKind);
        if (done)
            tone_palette(g_hImage, c->code);
    } else if (c->id == IDM_MAIN_GRAYSCALE) {
        done = convert_to_grey();
    } else {
        done = reduce_colors(&g_hImage, &g_hImageUnconverted, c->count, (UINT)g_imageKind, 1, 1);
        if (done && c->id == IDM_MAIN_MONOCHROME)
            force_black_and_white();
    }
    // A conversion that failed leaves the image and the history as they were.
    if (done) {
        g_colorConversion = c->code;
        push_edit_record(EDIT_COLOR_CONVERSION, (UINT)c->code);
    }
    refresh(hwnd);
}

static void on_brightness(HWND hwnd, int step)
{
    if (!have_bitmap())
        return;
    if (step_current_brightness(step)) {
        refresh(hwnd);
        record(step > 0 ? EDIT_BRIGHTER : EDIT_DARKER);
    }
}

static void on_invert(HWND hwnd)
{
    if (!have_bitmap())
        return;
    if (invert_current_image()) {
        refresh(hwnd);
        record(EDIT_INVERT);
    }
}

// ---- history

static void on_restore(HWND hwnd)
{
    if (g_fileFormat != FMT_SCREEN_CAPTURE && g_fileFormat != FMT_CLIPBOARD)
        reload_shown_file(hwnd);
}

void stay_on_shown_page(void)
{
    bool tiff = g_fileFormat == FMT_TIFF || g_fileFormat == FMT_TIFF_ALT || g_fileFormat == FMT_BIGTIFF;
    if (tiff && g_pageCount > 1) {
        g_slideForward = 1;
        g_pageStep = 1;
    } else if (g_fileFormat == FMT_ICON && g_iconCount > 1) {
        g_slideForward = 1;
        g_iconStep = 1;
    }
}

// Why Undo cannot go back one edit, as the box says it. The picture shown
// stays, and is then where Undo stops.
static void say_undo_refused(HWND hwnd, int block, const char* merged_path)
{
    static const char KEPT[] = " The picture shown is kept as it is.";
    char text[MAX_PATH + 300];
    switch (block) {
    case REPLAY_FILE_CHANGED:
        snprintf(text, sizeof text, "The file has changed since it was opened, so the last operation cannot be "
                                    "undone.%s", KEPT);
        break;
    case REPLAY_MERGED_CHANGED:
        snprintf(text, sizeof text, "The file merged into the picture, %s, has been changed, moved or deleted "
                                    "since, so the last operation cannot be undone.%s", merged_path, KEPT);
        break;
    case REPLAY_UNRECORDED:
        snprintf(text, sizeof text, "The picture holds a change that cannot be undone, so the operations before "
                                    "it cannot be undone either.%s", KEPT);
        break;
    default:
        snprintf(text, sizeof text, "An operation could not be recorded whole for want of memory, so the last "
                                    "operation cannot be undone.%s", KEPT);
        break;
    }
    seam_message_box(hwnd, text, NULL, MB_OK | MB_ICONEXCLAMATION);
}

static void on_undo(HWND hwnd)
{
    if (!have_bitmap() || g_editCount == 0 || g_fileFormat == FMT_SCREEN_CAPTURE || g_fileFormat == FMT_CLIPBOARD)
        return;
    // The replay starts from the file, or from the picture kept when the
    // history was last dropped: a file changed on disk (saved over, for
    // instance) would get the edits a second time, a merged file no longer
    // there would leave its merge out, and a change made for good would be
    // lost. The picture shown stays then.
    char merged_path[MAX_PATH] = "";
    const int block = replay_block(g_editCount - 1, merged_path, sizeof merged_path);
    if (block != REPLAY_WHOLE) {
        say_undo_refused(hwnd, block, merged_path);
        drop_edit_history();
        return;
    }
    // Once dropped, the history starts from its kept picture, not the file.
    if (has_kept_picture()) {
        if (!put_back_kept_picture()) {
            seam_message_box(hwnd, "Insufficient Memory for this Operation.", NULL, MB_OK | MB_ICONSTOP);
            return;
        }
        undo_last_edit();
        tool_refresh(hwnd);
        refresh_palette_window();
        update_main_menu_state();
        return;
    }
    g_undoPending = RELOAD_UNDOES;
    stay_on_shown_page();
    reload_shown_file(hwnd);
    // No load took the flag: it must not wait for another file's load.
    if (g_undoPending) {
        g_undoPending = 0;
        g_pageStep = g_iconStep = 0;
        drop_edit_history();
    }
}

// ---- lossless JPEG commands

struct JpegCommand {
    int id;
    const char* switches[2];
    int reencode_code;  // the re-encoding route for lossless-coded files; NO_REENCODE none
};

enum { NO_REENCODE = 1 };

// The transforms' switches, after "-progressive" when the file has several
// scans, and the route of lossless-coded files (jpeg_reencode.h).
static const JpegCommand JPEG_COMMANDS[] = {
    {IDM_MAIN_JPEG_ROTATE_CW, {"-rotate", "90"}, 90},
    {IDM_MAIN_JPEG_ROTATE_CCW, {"-rotate", "270"}, 270},
    {IDM_MAIN_JPEG_ROTATE_180, {"-rotate", "180"}, 180},
    {IDM_MAIN_JPEG_FLIP_LR, {"-flip", "horizontal"}, -1},
    {IDM_MAIN_JPEG_FLIP_TB, {"-flip", "vertical"}, -2},
    {IDM_MAIN_JPEG_TRANSPOSE, {"-transpose", NULL}, -3},
    {IDM_MAIN_JPEG_TRANSVERSE, {"-transverse", NULL}, -4},
    {IDM_MAIN_JPEG_GRAYSCALE, {"-grayscale", NULL}, 0},
    {IDM_MAIN_JPEG_PROGRESSIVE, {NULL, NULL}, NO_REENCODE},
    {IDM_MAIN_JPEG_OPTIMIZE, {"-optimize", NULL}, NO_REENCODE},
};

static void push_jpegtran_arg(const char* arg)
{
    if (g_jpegtranArgc < JPEGTRAN_ARG_SLOTS - 1)
        g_jpegtranArgv[g_jpegtranArgc++] = (char*)arg;
}

// The file and its facts are taken when the command starts: the list (and
// its folder) may move on while the Save dialog is open, and the transform
// reads the file the command was chosen for all the same. The vector is
// filled only once the name is chosen, from this command's own names.
static void on_jpeg_transform(HWND hwnd, const JpegCommand* command)
{
    static char progressive[] = "-progressive", empty[] = "";
    if (g_fileFormat != FMT_JPEG && g_fileFormat != FMT_JPEG12)
        return;
    // Lossless-coded 8-bit files are decoded and encoded again; the menu
    // offers nothing else for them, nor anything for 12-bit ones.
    if (g_jpegLossless) {
        if (g_fileFormat == FMT_JPEG && command->reencode_code != NO_REENCODE)
            transform_jpeg_file(command_owner(hwnd), command->reencode_code);
        return;
    }
    char source[MAX_PATH];
    lstrcpynA(source, g_filePath, sizeof source);
    if (!source[0] || !shown_file_folder(g_currentDir, sizeof g_currentDir))
        return;
    bool is_progressive = g_jpegProgressive != 0;
    bool add_progressive = command->id == IDM_MAIN_JPEG_PROGRESSIVE ? !is_progressive : is_progressive;

    char output[SAVE_PATH_SIZE];
    lstrcpynA(output, g_fileName, sizeof output);
    OPENFILENAMEA ofn;
    if (!choose_save_file(command_owner(hwnd), output, FMT_JPEG, g_currentDir, &ofn, SAVE_MODE_SAVE, 0) ||
        !may_rewrite_shown_file(command_owner(hwnd), output))
        return;
    g_jpegtranArgc = 4;
    if (add_progressive)
        push_jpegtran_arg(progressive);
    for (const char* arg : command->switches)
        if (arg)
            push_jpegtran_arg(arg);
    push_jpegtran_arg(source);
    push_jpegtran_arg(output);
    g_jpegtranArgv[g_jpegtranArgc] = empty;

    HCURSOR old_cursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    show_progress(0, 0);
    int precision = get_jpeg_precision(source);
    // A file the user agreed to replace is replaced read-only or not, and
    // keeps its attributes.
    KeptAttributes kept = keep_attributes(output, 1);
    int done = precision == 8    ? jpegtran_main(g_jpegtranArgc, g_jpegtranArgv)
               : precision == 12 ? jpegtran_main_12(g_jpegtranArgc, g_jpegtranArgv)
                                 : 0;
    put_attributes_back(&kept);
    // The names lived for this run only.
    for (int slot = 4; slot < JPEGTRAN_ARG_SLOTS; ++slot)
        g_jpegtranArgv[slot] = empty;
    g_jpegtranArgc = 4;
    show_progress(0, 0);
    fill_file_list(0);
    // Written into another file, the picture shown (and its edits) stays.
    if (done && is_shown_file(output))
        reload_shown_file(hwnd);
    SetCursor(old_cursor);
}

// The current file gets an Exif segment made from the image shown; the
// new file takes the old one's place only when complete.
static void on_make_exif(HWND hwnd)
{
    // The segment is made from the image shown: none, no segment.
    if (!have_bitmap() || !g_filePath[0])
        return;
    char path[MAX_PATH];
    lstrcpynA(path, g_filePath, sizeof path);
    FILE* source = fopen(path, "rb");
    if (!source)
        return;
    char* temp = make_temp_file_name();
    int made = temp && insert_exif_segment(source, temp, g_hImage, g_jpegColorSpace, g_jpegLossless);
    fclose(source);
    if (made) {
        // The new segment leaves the picture as it was: the edits stay. The
        // file itself is rewritten, read-only or not, and keeps its
        // attributes.
        PictureKeepingRewrite rewrite = begin_picture_keeping_rewrite(path);
        KeptAttributes kept = keep_attributes(path, 1);
        SafeWrite sw;
        FILE* out = safe_write_open(&sw, path);
        FILE* in = fopen(temp, "rb");
        int copied = out && in;
        char buffer[8192];
        size_t count;
        while (copied && (count = fread(buffer, 1, sizeof buffer, in)) > 0)
            copied = fwrite(buffer, 1, count, out) == count;
        copied = copied && !ferror(in);
        if (in)
            fclose(in);
        if (out && !copied)
            safe_write_abort(&sw);
        const int written = out && copied && safe_write_commit(&sw);
        put_attributes_back(&kept);
        end_picture_keeping_rewrite(rewrite, written);
        // Asked from the image window, the box names the temporary file.
        if (!written)
            seam_message_box(NULL, "Cannot Open File for Writing.",
                             g_hwndView && command_owner(hwnd) == g_hwndView ? temp : NULL, MB_ICONSTOP);
        else
            reload_shown_file_keeping_edits(hwnd);
    }
    if (temp)
        delete_temp_file(temp);
}

// ---- Convert/Save commands

static const char LOSSLESS_QUESTION[] =
    "Convert image to Lossless Huffman Encoded JPEG? \n\nCaution: Many applications do not suport this format.";
static const char LOSSY12_QUESTION[] =
    "Convert image to 12-bit lossy JPEG? \n\nCaution: Many applications do not suport this format.";
static const char LOSSLESS12_QUESTION[] =
    "Convert image to 12-bit lossless JPEG? \n\nCaution: Many applications do not suport this format.";

static const SaveCommand SAVE_COMMANDS[] = {
    {IDM_MAIN_SAVE_BMP, FMT_BMP, 0, 0, NULL},
    {IDM_MAIN_SAVE_BMP_RLE, FMT_BMP_RLE, 0, 0, NULL},
    {IDM_MAIN_SAVE_BMP_555, FMT_BMP_BITFIELDS, 0, 0, NULL},
    {IDM_MAIN_SAVE_BMP_565, FMT_BMP_BITFIELDS, 1, 0, NULL},
    {IDM_MAIN_SAVE_GIF, FMT_GIF, 0, 0, NULL},
    {IDM_MAIN_SAVE_GIF_INTERLACED, FMT_GIF, 1, 0, NULL},
    {IDM_MAIN_SAVE_IFF, FMT_IFF, 0, 0, NULL},
    {IDM_MAIN_SAVE_IFF_PACKED, FMT_IFF, 1, 0, NULL},
    {IDM_MAIN_SAVE_IFF_HAM, FMT_IFF, 0, 1, NULL},
    {IDM_MAIN_SAVE_IFF_HAM_PACKED, FMT_IFF, 1, 1, NULL},
    {IDM_MAIN_SAVE_JBIG, FMT_JBIG, 0, 0, NULL},
    {IDM_MAIN_SAVE_JPEG, FMT_JPEG, 0, 0, NULL},
    {IDM_MAIN_SAVE_JPEG_PROGRESSIVE, FMT_JPEG, 1, 0, NULL},
    {IDM_MAIN_SAVE_JPEG_LOSSLESS, FMT_JPEG, 0, 1, LOSSLESS_QUESTION},
    {IDM_MAIN_SAVE_JPEG12, FMT_JPEG12, 0, 0, LOSSY12_QUESTION},
    {IDM_MAIN_SAVE_JPEG12_PROGRESSIVE, FMT_JPEG12, 1, 0, LOSSY12_QUESTION},
    {IDM_MAIN_SAVE_JPEG12_LOSSLESS, FMT_JPEG12, 0, 1, LOSSLESS12_QUESTION},
    {IDM_MAIN_SAVE_PCX, FMT_PCX, 0, 0, NULL},
    {IDM_MAIN_SAVE_PDF, FMT_PDF, 0, 0, NULL},
    {IDM_MAIN_SAVE_PNM_FAMILY, FMT_PPM, 0, 0, NULL},  // the code is chosen at the time
    {IDM_MAIN_SAVE_PNG, FMT_PNG, 0, 0, NULL},
    {IDM_MAIN_SAVE_PNG_ADAM7, FMT_PNG, 1, 0, NULL},
    {IDM_MAIN_SAVE_TGA, FMT_TARGA, 0, 0, NULL},
    {IDM_MAIN_SAVE_TGA_RLE, FMT_TARGA, 1, 0, NULL},
    {2103, FMT_TIFF, 1, 0, NULL}, {2104, FMT_TIFF, 1, 1, NULL},
    {2105, FMT_TIFF, 2, 0, NULL}, {2106, FMT_TIFF, 2, 1, NULL},
    {2107, FMT_TIFF, 3, 0, NULL}, {2108, FMT_TIFF, 3, 1, NULL},
    {2109, FMT_TIFF, 4, 0, NULL}, {2110, FMT_TIFF, 4, 1, NULL},
    {2111, FMT_TIFF, 5, 0, NULL}, {2112, FMT_TIFF, 5, 1, NULL},
    {2113, FMT_TIFF, 7, 0, NULL}, {2114, FMT_TIFF, 7, 1, NULL},
    {2115, FMT_TIFF, 32773, 0, NULL}, {2116, FMT_TIFF, 32773, 1, NULL},
    {2117, FMT_TIFF, 8, 0, NULL}, {2118, FMT_TIFF, 8, 1, NULL},
    {2119, FMT_TIFF, 34661, 0, NULL}, {2120, FMT_TIFF, 34661, 1, NULL},
    {2121, FMT_TIFF, 34925, 0, NULL}, {2122, FMT_TIFF, 34925, 1, NULL},
    {IDM_MAIN_SAVE_EMF, FMT_EMF, 0, 0, NULL},
    {IDM_MAIN_SAVE_WMF, FMT_WMF, 0, 0, NULL},
};

const SaveCommand* find_save_command(int id)
{
    for (const SaveCommand& command : SAVE_COMMANDS)
        if (command.id == id)
            return &command;
    return NULL;
}

int pnm_family_code(int black_white, int saving_unconverted, int image_bits, int original_bits, int grey)
{
    if (black_white)
        return FMT_PBM;
    int bits = saving_unconverted ? image_bits : original_bits;
    if (bits == 32)
        return FMT_PNM;
    return grey ? FMT_PGM : FMT_PPM;
}

static void save_image(HWND hwnd, HGLOBAL image, int code, int opt1, int opt2)
{
    // The dialog opens in the shown file's folder; a pasted or captured
    // image has none and takes the list's.
    if (!shown_file_folder(g_currentDir, sizeof g_currentDir))
        GetCurrentDirectoryA(sizeof g_currentDir, g_currentDir);
    convert_save(image, command_owner(hwnd), g_imageKind, g_fileName, g_currentDir, code, opt1, opt2);
    fill_file_list(0);
}

// GIF takes at most 256 colours: a deeper image is written from a reduced
// copy while the one shown stays in full colour.
static void save_gif(HWND hwnd, int opt1)
{
    int D = get_display_bit_depth();
    int B = get_image_bit_count();
    if (D == 8 || g_imageKind != KIND_DIB) {
        save_image(hwnd, g_hImage, FMT_GIF, opt1, 0);
    } else if (D > 8 && B > 8) {
        if (g_colorConversion || g_brightnessStep) {
            save_image(hwnd, g_hImage, FMT_GIF, opt1, 0);
        } else if (reduce_colors(&g_hImage, &g_hImageUnconverted, -256, (UINT)g_imageKind, 1, 1)) {
            save_image(hwnd, g_hImage, FMT_GIF, opt1, 0);
            restore_unconverted();
        }
    } else if (D > 8) {
        save_image(hwnd, g_hImageUnconverted && g_colorConversion == 0 ? g_hImageUnconverted : g_hImage, FMT_GIF,
                   opt1, 0);
    } else if (D == 4) {
        if (!g_hImageUnconverted || g_colorConversion || g_brightnessStep) {
            save_image(hwnd, g_hImage, FMT_GIF, opt1, 0);
        } else if (B > 8) {
            restore_unconverted();
            if (reduce_colors(&g_hImage, &g_hImageUnconverted, -256, (UINT)g_imageKind, 1, 1)) {
                save_image(hwnd, g_hImage, FMT_GIF, opt1, 0);
                restore_unconverted();
            }
            reduce_colors(&g_hImage, &g_hImageUnconverted, 256, (UINT)g_imageKind, 1, 1);
        } else {
            save_image(hwnd, g_hImageUnconverted, FMT_GIF, opt1, 0);
        }
    }
}

static void on_save_command(HWND hwnd, const SaveCommand* command)
{
    int code = command->code;
    HGLOBAL image = image_for_saving();
    if (command->id == IDM_MAIN_SAVE_PNM_FAMILY) {
        bool unconverted = image != g_hImage;
        code = pnm_family_code(is_black_white_palette(g_hImage), unconverted, get_image_bit_count(),
                               get_original_bit_count(), is_grey_palette(g_hImage));
    }
    if (!save_format_has_writer(code))
        return;
    if (command->question) {
        if (g_imageKind != KIND_DIB)
            return;
        if (seam_message_box(NULL, command->question, QUESTION_CAPTION, MB_YESNOCANCEL) != IDYES)
            return;
    }
    if (code == FMT_EMF || code == FMT_WMF) {
        if (g_hImage)
            save_image(hwnd, g_hImage, code, command->opt1, command->opt2);
    } else if (code == FMT_GIF) {
        save_gif(hwnd, command->opt1);
    } else {
        save_image(hwnd, image, code, command->opt1, command->opt2);
    }
}

// ---- screen options and settings

static void on_background(HWND hwnd, int index)
{
    if (index == g_backgroundColorIndex)
        return;
    g_backgroundColorIndex = index;
    g_hBackgroundBrush = g_hBackgroundBrushes[index];
    // A swatch is not the custom colour: the start-up takes a non-zero
    // "SelectBackgroundColor" for that.
    write_setting_int("SelectBackgroundColor", 0);
    write_setting_int("BackgroundColor", index);
    if (is_captured_or_pasted())
        refresh(hwnd);
    else if (g_imageKind != KIND_NONE)
        PostMessageA(hwnd, WM_RELOAD_SHOWN, 0, 0);
}

static void on_disable_alpha(HWND hwnd)
{
    g_disableAlpha = !g_disableAlpha;
    write_setting_int("DisableAlphaTransparency", g_disableAlpha);
    if (g_imageKind == KIND_DIB && g_imageIs32Bit && g_colorConversion == 0 && g_brightnessStep == 0)
        SendMessageA(hwnd, WM_RELOAD_SHOWN, 0, 0);
}

static void on_toggle_setting(int* flag, const char* key)
{
    *flag = !*flag;
    write_setting_int(key, *flag);
}

static void on_exif_properties(void)
{
    HCURSOR old_cursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    if (g_filePath[0])
        read_exif_info(g_filePath);
    SetCursor(old_cursor);
}

static void on_view_comment(void)
{
    if (!g_hComment)
        return;
    const char* text = (const char*)GlobalLock(g_hComment);
    if (text) {
        seam_message_box(NULL, text, g_fileName, MB_OKCANCEL);
        GlobalUnlock(g_hComment);
    }
}

static void on_help(HWND hwnd, UINT command, ULONG_PTR data)
{
    seam_win_help(hwnd, HELP_FILE, command, data);
}

// The menu's Center, Tile and Full Screen are the buttons of the window.
static void press_button(HWND hwnd, int button)
{
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(hwnd, button));
}

// ---- dispatch

BOOL main_command_owned_by(HWND owner, int id)
{
    HWND previous = s_commandOwner;
    s_commandOwner = owner;
    BOOL handled = main_on_menu_command(g_hwndMain, id);
    s_commandOwner = previous;
    return handled;
}

BOOL main_on_menu_command(HWND hwnd, int id)
{
    if (id >= IDM_MAIN_BACKGROUND_FIRST && id <= IDM_MAIN_BACKGROUND_LAST) {
        on_background(hwnd, id - IDM_MAIN_BACKGROUND_FIRST);
        return TRUE;
    }
    for (const Conversion& conversion : CONVERSIONS) {
        if (conversion.id == id) {
            on_color_conversion(hwnd, &conversion);
            return TRUE;
        }
    }
    if (const SaveCommand* command = find_save_command(id)) {
        on_save_command(hwnd, command);
        return TRUE;
    }
    for (const JpegCommand& command : JPEG_COMMANDS) {
        if (command.id == id) {
            on_jpeg_transform(hwnd, &command);
            return TRUE;
        }
    }
    switch (id) {
    case IDM_MAIN_LAST_FILE:
    case IDM_MAIN_BAR_LAST_FILE:
        on_step_file(hwnd, false);
        return TRUE;
    case IDM_MAIN_NEXT_FILE:
    case IDM_MAIN_BAR_NEXT_FILE:
        on_step_file(hwnd, true);
        return TRUE;
    case IDM_MAIN_MOVE_FILE:
        run_file_command(hwnd, FILE_OP_MOVE);
        return TRUE;
    case IDM_MAIN_COPY_FILE:
        run_file_command(hwnd, FILE_OP_COPY);
        return TRUE;
    case IDM_MAIN_RENAME_FILE:
        run_file_command(hwnd, FILE_OP_RENAME);
        return TRUE;
    case IDM_MAIN_DELETE_FILE:
        run_file_command(hwnd, FILE_OP_DELETE);
        return TRUE;
    case IDM_MAIN_CAPTURE_SCREEN:
        run_capture_dialog(hwnd);
        return TRUE;
    case IDM_MAIN_BATCH:
        open_batch_window();
        return TRUE;
    case IDM_MAIN_SLIDESHOW:
        begin_slideshow(0);
        return TRUE;
    case IDM_MAIN_FILE_INFO:
        seam_message_box(hwnd, g_infoText, g_fileName, MB_ICONINFORMATION);
        return TRUE;
    case IDM_MAIN_EXIT:
        exit_program(hwnd);
        return TRUE;
    case IDM_MAIN_CENTER:
        press_button(hwnd, IDC_MAIN_CENTER);
        return TRUE;
    case IDM_MAIN_TILE:
        press_button(hwnd, IDC_MAIN_TILE);
        return TRUE;
    case IDM_MAIN_FULL_SCREEN:
        press_button(hwnd, IDC_MAIN_FULL_SCREEN);
        return TRUE;
    case IDM_MAIN_COPY_CLIPBOARD:
        copy_image_to_clipboard(hwnd);
        return TRUE;
    case IDM_MAIN_PASTE_CLIPBOARD:
        paste_image_from_clipboard(hwnd);
        return TRUE;
    case IDM_MAIN_PRINT_NORMAL:
    case IDM_MAIN_PRINT_LARGE:
    case IDM_MAIN_PRINT_TILED:
        if (g_hImage || g_imageKind == KIND_ANIMATED_GIF) {
            print_image(id == IDM_MAIN_PRINT_LARGE, id == IDM_MAIN_PRINT_TILED, current_print_state());
            show_progress(0, 0);
        }
        return TRUE;
    case IDM_MAIN_PRINTER_PROFILE:
        choose_printer_profile(hwnd);
        return TRUE;
    case IDM_MAIN_DISABLE_ALPHA:
        on_disable_alpha(hwnd);
        return TRUE;
    case IDM_MAIN_ROTATE_CW:
    case IDM_MAIN_ROTATE_CCW:
    case IDM_MAIN_ROTATE_180:
    case IDM_MAIN_FLIP_LR:
    case IDM_MAIN_FLIP_TB:
        on_quarter_turn(hwnd, id);
        return TRUE;
    case IDM_MAIN_ROTATE_ANGLE:
        open_rotate_dialog(hwnd);
        return TRUE;
    case IDM_MAIN_SKEW:
        open_skew_dialog(hwnd);
        return TRUE;
    case IDM_MAIN_FRAME:
        open_frame_dialog(hwnd);
        return TRUE;
    case IDM_MAIN_STRETCH:
        if (have_bitmap())
            open_full_screen(hwnd, FULL_STRETCH);
        return TRUE;
    case IDM_MAIN_RED_EYE:
        if (have_bitmap())
            open_full_screen(hwnd, FULL_RED_EYE);
        return TRUE;
    case IDM_MAIN_DISPLAY_PALETTE:
        open_palette_window(hwnd);
        return TRUE;
    case IDM_MAIN_SELECT_COLOR:
        run_color_picker(hwnd, "PALETTE_COLOR_BIG");
        return TRUE;
    case IDM_MAIN_INVERT:
        on_invert(hwnd);
        return TRUE;
    case IDM_MAIN_SPHERE:
        on_sphere(hwnd);
        return TRUE;
    case IDM_MAIN_CROP:
        start_crop_tool(command_owner(hwnd));
        return TRUE;
    case IDM_MAIN_WRITE_TEXT:
        start_text_tool(command_owner(hwnd));
        return TRUE;
    case IDM_MAIN_MERGE_FILE:
    case IDM_MAIN_MERGE_CLIPBOARD:
        start_merge_tool(command_owner(hwnd), id == IDM_MAIN_MERGE_CLIPBOARD);
        return TRUE;
    case IDM_MAIN_BRIGHTEN:
        on_brightness(hwnd, +1);
        return TRUE;
    case IDM_MAIN_DARKEN:
        on_brightness(hwnd, -1);
        return TRUE;
    case IDM_MAIN_RESTORE:
        on_restore(hwnd);
        return TRUE;
    case IDM_MAIN_UNDO:
        on_undo(hwnd);
        return TRUE;
    case IDM_MAIN_VIEW_COMMENT:
        on_view_comment();
        return TRUE;
    case IDM_MAIN_INSERT_COMMENT:
        run_comment_dialog(command_owner(hwnd));
        return TRUE;
    case IDM_MAIN_JPEG_EXIF:
        on_make_exif(hwnd);
        return TRUE;
    case IDM_MAIN_EXIF_PROPERTIES:
        on_exif_properties();
        return TRUE;
    case IDM_MAIN_ABOUT:
        dialog_box_holding(g_hInstance, "ABOUT", command_owner(hwnd), about_dlg_proc, 0);
        return TRUE;
    case IDM_MAIN_HIDE_FILE_NAME:
        on_toggle_setting(&g_hideFileName, "HideFileName");
        return TRUE;
    case IDM_MAIN_HIDE_STATUS_BAR:
        on_toggle_setting(&g_hideStatusBar, "HideStatusBar");
        return TRUE;
    case IDM_MAIN_HELP_LIBRARY:
        on_help(hwnd, HELP_FINDER, 0);
        return TRUE;
    case IDM_MAIN_HELP_STARTED:
        on_help(hwnd, HELP_CONTEXT, 102);
        return TRUE;
    case IDM_MAIN_HELP_MULTIMEDIA:
        on_help(hwnd, HELP_CONTEXT, 106);
        return TRUE;
    case IDM_MAIN_HELP_CAPTURE:
        on_help(hwnd, HELP_CONTEXT, 107);
        return TRUE;
    case IDM_MAIN_HELP_COMMENTS:
        on_help(hwnd, HELP_CONTEXT, 108);
        return TRUE;
    // Caption items of the menu: the dialog's default processing.
    case IDM_MAIN_JPEG_HEADING:
    case IDM_MAIN_BLANK_HEADING:
    case IDM_MAIN_SCREEN_HEADING:
    case IDM_MAIN_SCREEN_HEADING2:
    case IDM_MAIN_TONING_HEADING:
    case IDM_MAIN_TIFF_HEADING:
        return FALSE;
    }
    return main_command_has_worker(id) ? FALSE : TRUE;
}

int main_command_has_worker(int id)
{
    if (const SaveCommand* command = find_save_command(id)) {
        if (id == IDM_MAIN_SAVE_PNM_FAMILY)
            return save_format_has_writer(FMT_PBM) || save_format_has_writer(FMT_PGM) ||
                   save_format_has_writer(FMT_PPM) || save_format_has_writer(FMT_PNM);
        return save_format_has_writer(command->code);
    }
    return 1;
}

void run_save_command(HWND owner, int id)
{
    if (const SaveCommand* command = find_save_command(id))
        on_save_command(owner, command);
}
