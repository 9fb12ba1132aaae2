// Lossless-coded JPEG files changed by re-encoding (see jpeg_reencode.h):
// the decoded picture goes through the same quarter-turn, flip and grey
// tools as the image commands and is written back with lossless coding, so
// no sample changes value. The coefficient transforms of the other JPEG
// files are run by the main window's commands, which ask here first too.
#include "app/jpeg_reencode.h"

#include "app/convert_save.h"
#include "app/file_list.h"
#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/kept_attributes.h"
#include "image/loader.h"
#include "image/open_windows.h"
#include "image/pixel_ceiling.h"
#include "image/progress.h"
#include "image/seams.h"
#include "jpeg/jpeg_read.h"
#include "jpeg/jpeg_write.h"
#include "resources/resource.h"
#include "tools/edit_history.h"
#include "tools/grey_tone.h"
#include "tools/quarter_turns.h"
#include "viewer/window_classes.h"

// Changes *image by code; 1 on success (the tools report their failures).
static int change_picture(HGLOBAL* image, int code)
{
    int state = 0;
    switch (code) {
    case 90:
        return rotate_cw90(image, &state);
    case 180:
        return rotate_180(*image, &state);
    case 270:
        return rotate_ccw90(image, &state);
    case -1:
        return flip_left_right(*image, &state);
    case -2:
        return flip_top_bottom(*image, &state);
    case -3:
        return flip_left_right(*image, &state) && rotate_ccw90(image, &state);
    case -4:
        return flip_left_right(*image, &state) && rotate_cw90(image, &state);
    case 0: {
        // The grey tool keeps the picture it converted beside the new one.
        HGLOBAL scratch = NULL;
        int done = to_grayscale(image, &scratch, KIND_DIB);
        if (scratch)
            GlobalFree(scratch);
        return done;
    }
    }
    return 0;
}

int reencode_jpeg_file(const char* source, const char* output, int code)
{
    // One ceiling for the read and the turned copies, from the file's
    // length; the reader narrows it to the file's coding.
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    uint64_t source_bytes = GetFileAttributesExA(source, GetFileExInfoStandard, &attributes)
                                ? ((uint64_t)attributes.nFileSizeHigh << 32) | attributes.nFileSizeLow
                                : 0;
    PixelCeiling outer = begin_pixel_ceiling(source_bytes, reader_pixels_per_byte(IDENT_JPEG));
    HGLOBAL image = read_jpeg_file(source, NULL);
    int done = image ? change_picture(&image, code) : 0;
    end_pixel_ceiling(outer);
    if (!image)
        return 0;
    show_progress(0, 0);
    if (done) {
        done = write_jpeg_file(output, 85, image, 0, 1, 0);
        if (!done)
            seam_message_box(NULL, "Cannot Open File for Writing.", output, MB_ICONHAND);
    }
    GlobalFree(image);
    show_progress(0, 0);
    return done;
}

int may_rewrite_shown_file(HWND owner, const char* output)
{
    if (!is_shown_file(output) || (g_editCount == 0 && !g_unrecordedChanges))
        return 1;
    static const char LOST[] = "The file will be rewritten and the changes shown on screen will be lost. Continue?";
    return seam_message_box(owner, LOST, "Corvane File Viewer", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void transform_jpeg_file(HWND owner, int code)
{
    char output[SAVE_PATH_SIZE];
    // The source is named now, in full: the list may move on while the Save
    // dialog is open.
    char source[MAX_PATH];
    lstrcpynA(source, g_filePath, sizeof source);
    if (!source[0] || !shown_file_folder(g_currentDir, sizeof g_currentDir))
        return;
    lstrcpynA(output, g_fileName, sizeof output);
    OPENFILENAMEA ofn;
    if (!choose_save_file(owner, output, FMT_JPEG, g_currentDir, &ofn, 0, 1) ||
        !may_rewrite_shown_file(owner, output))
        return;
    HCURSOR old_cursor = SetCursor(LoadCursor(NULL, IDC_WAIT));
    // A file the user agreed to replace is replaced read-only or not, and
    // keeps its attributes.
    KeptAttributes kept = keep_attributes(output, 1);
    int done = reencode_jpeg_file(source, output, code);
    put_attributes_back(&kept);
    fill_file_list(0);
    // Written into another file, the picture shown (and its edits) stays.
    if (done && is_shown_file(output))
        reload_shown_file(g_hwndMain);
    SetCursor(old_cursor);
}
