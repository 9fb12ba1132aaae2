// The image window's command dispatcher. "view-ok" commands, those that
// change or leave the file shown, act only while no slideshow or
// full-screen window covers the screen. The Image Tools items run the main window's workers, except
// the dialogs, which the image window owns.
#include "viewer/image_window_commands.h"

#include "app/file_commands.h"
#include "app/main_commands.h"
#include "app/print.h"
#include "image/current_image.h"
#include "image/file_hold.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/seams.h"
#include "resources/resource.h"
#include "viewer/angle_dialogs.h"
#include "viewer/capture.h"
#include "viewer/color_picker.h"
#include "viewer/frame_dialog.h"
#include "viewer/full_window.h"
#include "viewer/image_window.h"
#include "viewer/image_window_menu.h"
#include "viewer/palette_window.h"
#include "viewer/slideshow.h"

static const char HELP_FILE[] = "RODadi.zoz";

// The two menus' ids of one command.
static const struct {
    int view;
    int main;
} PAIRS[] = {
    {IDM_VIEW_LAST_FILE, IDM_MAIN_LAST_FILE}, {IDM_VIEW_NEXT_FILE, IDM_MAIN_NEXT_FILE},
    {IDM_VIEW_FILE_INFO, IDM_MAIN_FILE_INFO}, {IDM_VIEW_MOVE_FILE, IDM_MAIN_MOVE_FILE},
    {IDM_VIEW_COPY_FILE, IDM_MAIN_COPY_FILE}, {IDM_VIEW_DELETE_FILE, IDM_MAIN_DELETE_FILE},
    {IDM_VIEW_RENAME_FILE, IDM_MAIN_RENAME_FILE}, {IDM_VIEW_FULL_SCREEN, IDM_MAIN_FULL_SCREEN},
    {IDM_VIEW_CAPTURE_SCREEN, IDM_MAIN_CAPTURE_SCREEN}, {IDM_VIEW_COPY_CLIPBOARD, IDM_MAIN_COPY_CLIPBOARD},
    {IDM_VIEW_PASTE_CLIPBOARD, IDM_MAIN_PASTE_CLIPBOARD}, {IDM_VIEW_PRINT_NORMAL, IDM_MAIN_PRINT_NORMAL},
    {IDM_VIEW_PRINT_LARGE, IDM_MAIN_PRINT_LARGE}, {IDM_VIEW_PRINT_TILED, IDM_MAIN_PRINT_TILED},
    {IDM_VIEW_PRINTER_PROFILE, IDM_MAIN_PRINTER_PROFILE},
    {IDM_VIEW_BACKGROUND_0, IDM_MAIN_BACKGROUND_FIRST}, {IDM_VIEW_BACKGROUND_1, IDM_MAIN_BACKGROUND_FIRST + 1},
    {200, IDM_MAIN_BACKGROUND_FIRST + 2}, {201, IDM_MAIN_BACKGROUND_FIRST + 3},
    {202, IDM_MAIN_BACKGROUND_FIRST + 4}, {203, IDM_MAIN_BACKGROUND_FIRST + 5},
    {204, IDM_MAIN_BACKGROUND_FIRST + 6}, {IDM_VIEW_BACKGROUND_7, IDM_MAIN_BACKGROUND_FIRST + 7},
    {IDM_VIEW_SELECT_COLOR, IDM_MAIN_SELECT_COLOR}, {IDM_VIEW_DISABLE_ALPHA, IDM_MAIN_DISABLE_ALPHA},
    {IDM_VIEW_BATCH, IDM_MAIN_BATCH}, {IDM_VIEW_SCREEN_HEADING, IDM_MAIN_JPEG_HEADING},
    {IDM_VIEW_JPEG_ROTATE_CW, IDM_MAIN_JPEG_ROTATE_CW}, {IDM_VIEW_JPEG_ROTATE_CCW, IDM_MAIN_JPEG_ROTATE_CCW},
    {IDM_VIEW_JPEG_ROTATE_180, IDM_MAIN_JPEG_ROTATE_180}, {IDM_VIEW_JPEG_FLIP_LR, IDM_MAIN_JPEG_FLIP_LR},
    {IDM_VIEW_JPEG_FLIP_TB, IDM_MAIN_JPEG_FLIP_TB}, {IDM_VIEW_JPEG_TRANSPOSE, IDM_MAIN_JPEG_TRANSPOSE},
    {IDM_VIEW_JPEG_TRANSVERSE, IDM_MAIN_JPEG_TRANSVERSE}, {IDM_VIEW_JPEG_GRAYSCALE, IDM_MAIN_JPEG_GRAYSCALE},
    {IDM_VIEW_JPEG_PROGRESSIVE, IDM_MAIN_JPEG_PROGRESSIVE}, {IDM_VIEW_JPEG_OPTIMIZE, IDM_MAIN_JPEG_OPTIMIZE},
    {IDM_VIEW_MAKE_EXIF, IDM_MAIN_JPEG_EXIF}, {IDM_VIEW_BLANK_HEADING, IDM_MAIN_BLANK_HEADING},
    {IDM_VIEW_SCREEN_HEADING2, IDM_MAIN_SCREEN_HEADING}, {IDM_VIEW_SCREEN_HEADING3, IDM_MAIN_SCREEN_HEADING2},
    {IDM_VIEW_ROTATE_CW, IDM_MAIN_ROTATE_CW}, {IDM_VIEW_ROTATE_CCW, IDM_MAIN_ROTATE_CCW},
    {IDM_VIEW_ROTATE_180, IDM_MAIN_ROTATE_180}, {IDM_VIEW_ROTATE_ANGLE, IDM_MAIN_ROTATE_ANGLE},
    {IDM_VIEW_FLIP_LR, IDM_MAIN_FLIP_LR}, {IDM_VIEW_FLIP_TB, IDM_MAIN_FLIP_TB},
    {IDM_VIEW_INVERT, IDM_MAIN_INVERT}, {IDM_VIEW_TRUE_COLOR, IDM_MAIN_TRUE_COLOR},
    {IDM_VIEW_BEST_256, IDM_MAIN_BEST_256}, {IDM_VIEW_BEST_128, IDM_MAIN_BEST_128},
    {IDM_VIEW_BEST_64, IDM_MAIN_BEST_64}, {IDM_VIEW_BEST_32, IDM_MAIN_BEST_32},
    {IDM_VIEW_BEST_16, IDM_MAIN_BEST_16}, {IDM_VIEW_BEST_8, IDM_MAIN_BEST_8},
    {IDM_VIEW_BEST_4, IDM_MAIN_BEST_4}, {IDM_VIEW_BEST_2, IDM_MAIN_BEST_2},
    {IDM_VIEW_STANDARD_256, IDM_MAIN_STANDARD_256}, {IDM_VIEW_WEB_216, IDM_MAIN_WEB_216},
    {IDM_VIEW_STANDARD_16, IDM_MAIN_STANDARD_16}, {IDM_VIEW_GRAYSCALE, IDM_MAIN_GRAYSCALE},
    {IDM_VIEW_MONOCHROME, IDM_MAIN_MONOCHROME}, {IDM_VIEW_TONING_HEADING, IDM_MAIN_TONING_HEADING},
    {IDM_VIEW_TONE_CYANOTYPE, IDM_MAIN_TONE_FIRST + 0}, {IDM_VIEW_TONE_MAROON, IDM_MAIN_TONE_FIRST + 1},
    {IDM_VIEW_TONE_PALLADIUM, IDM_MAIN_TONE_FIRST + 2}, {IDM_VIEW_TONE_PLATINUM, IDM_MAIN_TONE_FIRST + 3},
    {IDM_VIEW_TONE_SELENIUM, IDM_MAIN_TONE_FIRST + 4}, {IDM_VIEW_TONE_SEPIA1, IDM_MAIN_TONE_FIRST + 5},
    {IDM_VIEW_TONE_SEPIA2, IDM_MAIN_TONE_FIRST + 6}, {IDM_VIEW_TONE_SILVER, IDM_MAIN_TONE_FIRST + 7},
    {IDM_VIEW_BRIGHTEN, IDM_MAIN_BRIGHTEN}, {IDM_VIEW_DARKEN, IDM_MAIN_DARKEN},
    {IDM_VIEW_DISPLAY_PALETTE, IDM_MAIN_DISPLAY_PALETTE}, {IDM_VIEW_FRAME, IDM_MAIN_FRAME},
    {IDM_VIEW_WRITE_TEXT, IDM_MAIN_WRITE_TEXT}, {IDM_VIEW_RED_EYE, IDM_MAIN_RED_EYE},
    {IDM_VIEW_MERGE_CLIPBOARD, IDM_MAIN_MERGE_CLIPBOARD}, {IDM_VIEW_MERGE_FILE, IDM_MAIN_MERGE_FILE},
    {IDM_VIEW_SPHERE, IDM_MAIN_SPHERE}, {IDM_VIEW_RESTORE, IDM_MAIN_RESTORE}, {IDM_VIEW_UNDO, IDM_MAIN_UNDO},
    {IDM_VIEW_STRETCH, IDM_MAIN_STRETCH}, {IDM_VIEW_CROP, IDM_MAIN_CROP}, {IDM_VIEW_SKEW, IDM_MAIN_SKEW},
    {IDM_VIEW_SAVE_BMP, IDM_MAIN_SAVE_BMP}, {IDM_VIEW_SAVE_BMP_RLE, IDM_MAIN_SAVE_BMP_RLE},
    {IDM_VIEW_SAVE_BMP_555, IDM_MAIN_SAVE_BMP_555}, {IDM_VIEW_SAVE_BMP_565, IDM_MAIN_SAVE_BMP_565},
    {IDM_VIEW_SAVE_GIF, IDM_MAIN_SAVE_GIF}, {IDM_VIEW_SAVE_GIF_INTERLACED, IDM_MAIN_SAVE_GIF_INTERLACED},
    {IDM_VIEW_SAVE_IFF, IDM_MAIN_SAVE_IFF}, {IDM_VIEW_SAVE_IFF_PACKED, IDM_MAIN_SAVE_IFF_PACKED},
    {IDM_VIEW_SAVE_IFF_HAM, IDM_MAIN_SAVE_IFF_HAM}, {IDM_VIEW_SAVE_IFF_HAM_PACKED, IDM_MAIN_SAVE_IFF_HAM_PACKED},
    {IDM_VIEW_SAVE_JBIG, IDM_MAIN_SAVE_JBIG}, {IDM_VIEW_SAVE_JPEG, IDM_MAIN_SAVE_JPEG},
    {IDM_VIEW_SAVE_JPEG_PROGRESSIVE, IDM_MAIN_SAVE_JPEG_PROGRESSIVE},
    {IDM_VIEW_SAVE_JPEG_LOSSLESS, IDM_MAIN_SAVE_JPEG_LOSSLESS}, {IDM_VIEW_SAVE_JPEG12, IDM_MAIN_SAVE_JPEG12},
    {IDM_VIEW_SAVE_JPEG12_PROGRESSIVE, IDM_MAIN_SAVE_JPEG12_PROGRESSIVE},
    {IDM_VIEW_SAVE_JPEG12_LOSSLESS, IDM_MAIN_SAVE_JPEG12_LOSSLESS}, {IDM_VIEW_SAVE_PCX, IDM_MAIN_SAVE_PCX},
    {IDM_VIEW_SAVE_PDF, IDM_MAIN_SAVE_PDF}, {IDM_VIEW_SAVE_PNM_FAMILY, IDM_MAIN_SAVE_PNM_FAMILY},
    {IDM_VIEW_SAVE_PNG, IDM_MAIN_SAVE_PNG}, {IDM_VIEW_SAVE_PNG_ADAM7, IDM_MAIN_SAVE_PNG_ADAM7},
    {IDM_VIEW_SAVE_TGA, IDM_MAIN_SAVE_TGA}, {IDM_VIEW_SAVE_TGA_RLE, IDM_MAIN_SAVE_TGA_RLE},
    {IDM_VIEW_TIFF_HEADING, IDM_MAIN_TIFF_HEADING},
    {IDM_VIEW_SAVE_TIFF_NONE, 2103}, {IDM_VIEW_SAVE_TIFF_NONE_T, 2104},
    {IDM_VIEW_SAVE_TIFF_HUFFMAN, 2105}, {IDM_VIEW_SAVE_TIFF_HUFFMAN_T, 2106},
    {IDM_VIEW_SAVE_TIFF_G3, 2107}, {IDM_VIEW_SAVE_TIFF_G3_T, 2108},
    {IDM_VIEW_SAVE_TIFF_G4, 2109}, {IDM_VIEW_SAVE_TIFF_G4_T, 2110},
    {IDM_VIEW_SAVE_TIFF_LZW, 2111}, {IDM_VIEW_SAVE_TIFF_LZW_T, 2112},
    {IDM_VIEW_SAVE_TIFF_JPEG, 2113}, {IDM_VIEW_SAVE_TIFF_JPEG_T, 2114},
    {IDM_VIEW_SAVE_TIFF_PACKBITS, 2115}, {IDM_VIEW_SAVE_TIFF_PACKBITS_T, 2116},
    {IDM_VIEW_SAVE_TIFF_DEFLATE, 2117}, {IDM_VIEW_SAVE_TIFF_DEFLATE_T, 2118},
    {IDM_VIEW_SAVE_TIFF_JBIG, 2119}, {IDM_VIEW_SAVE_TIFF_JBIG_T, 2120},
    {IDM_VIEW_SAVE_TIFF_LZMA, 2121}, {IDM_VIEW_SAVE_TIFF_LZMA_T, 2122},
    {IDM_VIEW_SAVE_EMF, IDM_MAIN_SAVE_EMF}, {IDM_VIEW_SAVE_WMF, IDM_MAIN_SAVE_WMF},
    {IDM_VIEW_INSERT_COMMENT, IDM_MAIN_INSERT_COMMENT}, {IDM_VIEW_VIEW_COMMENT, IDM_MAIN_VIEW_COMMENT},
    {IDM_VIEW_EXIF_PROPERTIES, IDM_MAIN_EXIF_PROPERTIES}, {IDM_VIEW_SLIDESHOW, IDM_MAIN_SLIDESHOW},
    {IDM_VIEW_HIDE_FILE_NAME, IDM_MAIN_HIDE_FILE_NAME}, {IDM_VIEW_HIDE_STATUS_BAR, IDM_MAIN_HIDE_STATUS_BAR},
    {IDM_VIEW_HELP_LIBRARY, IDM_MAIN_HELP_LIBRARY}, {IDM_VIEW_HELP_STARTED, IDM_MAIN_HELP_STARTED},
    {IDM_VIEW_HELP_MULTIMEDIA, IDM_MAIN_HELP_MULTIMEDIA}, {IDM_VIEW_HELP_CAPTURE, IDM_MAIN_HELP_CAPTURE},
    {IDM_VIEW_HELP_COMMENTS, IDM_MAIN_HELP_COMMENTS}, {IDM_VIEW_ABOUT, IDM_MAIN_ABOUT},
};

int main_command_for_view(int view_id)
{
    for (const auto& pair : PAIRS)
        if (pair.view == view_id)
            return pair.main;
    return 0;
}

int view_command_for_main(int main_id)
{
    if (main_id == IDM_MAIN_BAR_LAST_FILE)
        return IDM_VIEW_LAST_FILE;
    if (main_id == IDM_MAIN_BAR_NEXT_FILE)
        return IDM_VIEW_NEXT_FILE;
    for (const auto& pair : PAIRS)
        if (pair.main == main_id)
            return pair.view;
    return 0;
}

int view_command_state(int id)
{
    switch (id) {
    case IDM_VIEW_CLOSE_FILE:
    case IDM_VIEW_CENTER_TOGGLE:
    case IDM_VIEW_TILE:
    case IDM_VIEW_CENTER:
        return VIEW_WORKS;
    case IDM_VIEW_SCREEN_HEADING:
    case IDM_VIEW_SCREEN_HEADING2:
    case IDM_VIEW_SCREEN_HEADING3:
    case IDM_VIEW_BLANK_HEADING:
    case IDM_VIEW_TONING_HEADING:
    case IDM_VIEW_TIFF_HEADING:
        return VIEW_NOT_A_COMMAND;
    }
    int main_id = main_command_for_view(id);
    if (!main_id)
        return VIEW_NOT_A_COMMAND;
    return main_command_has_worker(main_id) ? VIEW_WORKS : VIEW_WORKER_PENDING;
}

void toggle_tile_mode(HWND hwnd)
{
    g_tileMode = !g_tileMode;
    set_center_item_label(hwnd);
    InvalidateRect(hwnd, NULL, TRUE);
    DrawMenuBar(hwnd);
}

static bool view_ok(void)
{
    return is_window_open(g_hwndView) && !is_window_open(g_hwndSlide) && !is_window_open(g_hwndFull);
}

void meta_on_command(HWND hwnd, int id, HWND control, int notification)
{
    (void)control;
    (void)notification;
    // While a command or tool works on the picture shown, the window takes
    // no command that reaches it anyway (an accelerator, a posted command).
    if (view_command_state(id) != VIEW_WORKS || file_hold_turns_away(hwnd))
        return;
    switch (id) {
    case IDM_VIEW_CLOSE_FILE:
        if (view_ok())
            destroy_image_window();
        return;
    case IDM_VIEW_FILE_INFO:
        if (view_ok())
            seam_message_box(hwnd, g_infoText, g_fileName, MB_ICONINFORMATION);
        return;
    case IDM_VIEW_NEXT_FILE:
    case IDM_VIEW_LAST_FILE:
        if (view_ok()) {
            g_slideForward = id == IDM_VIEW_NEXT_FILE;
            HCURSOR old = SetCursor(LoadCursorA(NULL, IDC_WAIT));
            slide_on_timer(g_hwndView, 0);
            SetCursor(old);
        }
        return;
    case IDM_VIEW_MOVE_FILE:
    case IDM_VIEW_COPY_FILE:
    case IDM_VIEW_RENAME_FILE:
    case IDM_VIEW_DELETE_FILE:
        if (view_ok())
            run_file_command(hwnd, id == IDM_VIEW_MOVE_FILE   ? FILE_OP_MOVE
                                   : id == IDM_VIEW_COPY_FILE ? FILE_OP_COPY
                                   : id == IDM_VIEW_RENAME_FILE ? FILE_OP_RENAME
                                                                : FILE_OP_DELETE);
        return;
    case IDM_VIEW_CAPTURE_SCREEN:
        run_capture_dialog(hwnd);
        return;
    case IDM_VIEW_SLIDESHOW:
        if (view_ok())
            begin_slideshow(1);
        return;
    case IDM_VIEW_CENTER_TOGGLE:
        toggle_tile_mode(hwnd);
        return;
    case IDM_VIEW_TILE:
        if (g_tileMode == 0 && view_ok())
            toggle_tile_mode(hwnd);
        return;
    case IDM_VIEW_CENTER:
        if (g_tileMode == 1 && view_ok())
            toggle_tile_mode(hwnd);
        return;
    case IDM_VIEW_ROTATE_ANGLE:
        open_rotate_dialog(hwnd);
        return;
    case IDM_VIEW_SKEW:
        open_skew_dialog(hwnd);
        return;
    case IDM_VIEW_FRAME:
        open_frame_dialog(hwnd);
        return;
    case IDM_VIEW_DISPLAY_PALETTE:
        open_palette_window(hwnd);
        return;
    case IDM_VIEW_SELECT_COLOR:
        run_color_picker(hwnd, "PALETTE_COLOR_BIG");
        return;
    case IDM_VIEW_PRINTER_PROFILE:
        choose_printer_profile(hwnd);
        return;
    // These would recreate the full-screen window under the user, or open a
    // dialog over the slideshow. Full Screen needs an image, an animation or
    // a medium to show.
    case IDM_VIEW_FULL_SCREEN:
        if (view_ok() && (g_hImage || g_imageKind == KIND_ANIMATED_GIF || g_imageKind == KIND_MULTIMEDIA))
            main_command_owned_by(hwnd, IDM_MAIN_FULL_SCREEN);
        return;
    case IDM_VIEW_STRETCH:
    case IDM_VIEW_RED_EYE:
    case IDM_VIEW_INSERT_COMMENT:
    case IDM_VIEW_BRIGHTEN:
    case IDM_VIEW_DARKEN:
        if (view_ok())
            main_command_owned_by(hwnd, main_command_for_view(id));
        return;
    case IDM_VIEW_HELP_LIBRARY:
        seam_win_help(hwnd, HELP_FILE, HELP_FINDER, 0);
        return;
    case IDM_VIEW_HELP_STARTED:
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, 102);
        return;
    case IDM_VIEW_HELP_MULTIMEDIA:
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, 106);
        return;
    case IDM_VIEW_HELP_CAPTURE:
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, 107);
        return;
    case IDM_VIEW_HELP_COMMENTS:
        seam_win_help(hwnd, HELP_FILE, HELP_CONTEXT, 108);
        return;
    }
    int main_id = main_command_for_view(id);
    // Convert/Save is owned by the image window; the rest is the main
    // window's command, its dialogs and tools owned by the image window.
    if (find_save_command(main_id))
        run_save_command(hwnd, main_id);
    else
        main_command_owned_by(hwnd, main_id);
}
