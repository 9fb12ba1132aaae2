// Undo by replay (see edit_replay.h). No image copies are kept while the
// file gives the picture: the loader has just read the file again, and
// every record but the last is applied to it once more through the tools
// themselves, on the current image and on its unconverted copy. Only a
// history dropped under a picture the file no longer gives has that picture
// kept, to replay onto. Nothing here pushes records. A record whose data is
// gone (a merge source no longer readable) is passed over and the replay
// goes on with the next one; replay_block tells beforehand whether the
// replay would give the picture back whole.
#include "tools/edit_replay.h"

#include <string.h>

#include "image/background.h"
#include "image/current_image.h"
#include "image/file_stamp.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_renderer.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/progress.h"
#include "tools/brightness.h"
#include "tools/color_reduce.h"
#include "tools/crop_frame.h"
#include "tools/edit_history.h"
#include "tools/grey_tone.h"
#include "tools/merge_image.h"
#include "tools/quarter_turns.h"
#include "tools/red_eye.h"
#include "tools/sphere.h"
#include "tools/text_on_image.h"
#include "tools/tool_settings.h"
#include "tools/transform_current.h"

static void fit(void)
{
    if (g_imageKind != KIND_DIB || !g_hImage)
        return;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(g_hImage);
    if (bih) {
        fit_image_rect(bih->biWidth, bih->biHeight, 0);
        GlobalUnlock(g_hImage);
    }
}

static void restore(void)
{
    if (!g_hImageUnconverted)
        return;
    GlobalFree(g_hImage);
    g_hImage = g_hImageUnconverted;
    g_hImageUnconverted = NULL;
}

static COLORREF fill_color(void)
{
    return background_color((uint32_t)g_backgroundColorIndex);
}

static void reduce(int count, UINT wait_cursor)
{
    reduce_colors(&g_hImage, &g_hImageUnconverted, count, (UINT)g_imageKind, wait_cursor, 1);
}

// Black and white exactly, the darker entry staying where it was.
static void make_pure_black_white(void)
{
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
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
        const RGBQUAD black_entry = {0, 0, 0, 0}, white_entry = {255, 255, 255, 0};
        table[black] = black_entry;
        table[1 - black] = white_entry;
    }
    GlobalUnlock(g_hImage);
}

// The replay's own rule: a conversion already met by the image restores it.
static void replay_conversion(int code)
{
    if (g_hImageUnconverted || g_brightnessStep == 0)
        g_brightnessStep = 0;
    else
        adjust_brightness(g_hImage, g_baseColorTable, &g_brightnessStep, 0, NULL);
    g_colorConversion = code;
    const int bits = get_image_bit_count();
    const int colors = get_image_color_count();
    const int black_white = is_black_white_palette(NULL);
    switch (code) {
    case CONV_NONE:
        restore();
        if (g_imageKind == KIND_DIB && get_display_bit_depth() == 8 && get_image_bit_count() > 8)
            reduce(-256, 0);
        return;
    case CONV_BEST_256:
        if (bits > 8)
            reduce(-256, 1);
        else
            restore();
        return;
    case CONV_BEST_128:
    case CONV_BEST_64:
    case CONV_BEST_32: {
        const int count = code == CONV_BEST_128 ? 128 : code == CONV_BEST_64 ? 64 : 32;
        if (bits <= 8 && colors != 0 && colors <= count)
            restore();
        else if (bits > 4)
            reduce(-count, 1);
        else
            restore();
        return;
    }
    case CONV_BEST_16:
        if (bits > 4)
            reduce(-16, 1);
        else
            restore();
        return;
    case CONV_BEST_8:
    case CONV_BEST_4: {
        const int count = code == CONV_BEST_8 ? 8 : 4;
        if (bits <= 4 && colors != 0 && colors <= count)
            restore();
        else
            reduce(-count, 1);
        return;
    }
    case CONV_BEST_2:
        if (bits == 1 && colors != 0 && colors <= 2)
            restore();
        else
            reduce(-2, 1);
        return;
    case CONV_STANDARD_256:
    case CONV_WEB_216:
    case CONV_STANDARD_16:
        if (black_white)
            restore();
        else
            reduce(code == CONV_STANDARD_256 ? 256 : code == CONV_WEB_216 ? 216 : 16, 1);
        return;
    case CONV_GREYSCALE:
        if (black_white) {
            restore();
        } else if (to_grayscale(&g_hImage, &g_hImageUnconverted, (UINT)g_imageKind) &&
                   get_display_bit_depth() == 4) {
            HGLOBAL scratch = NULL;
            reduce_colors(&g_hImage, &scratch, 256, (UINT)g_imageKind, 1, 1);
            if (scratch)
                GlobalFree(scratch);
        }
        return;
    case CONV_MONOCHROME:
        if (black_white) {
            restore();
        } else {
            reduce(-2, 1);
            make_pure_black_white();
        }
        return;
    default:
        if (code >= CONV_TONE_CYANOTYPE && code <= CONV_TONE_SILVER &&
            to_grayscale(&g_hImage, &g_hImageUnconverted, (UINT)g_imageKind))
            tone_palette(g_hImage, code);
        return;
    }
}

static void replay_rotate_skew(const EditRecord* r)
{
    const double* angle = r->hData ? (const double*)GlobalLock(r->hData) : NULL;
    if (!angle)
        return;
    g_rotateAngle = *angle;
    GlobalUnlock(r->hData);
    const int mode = r->op == EDIT_ROTATE_ANGLE ? EDIT_ROTATE_ANGLE : (int)r->op;
    show_progress(0, 0);
    rotate_skew_current_image(&g_hImage, &g_colorConversion, &g_brightnessStep, g_baseColorTable,
                              fill_color(), mode);
    show_progress(0, 0);
    if (g_hImageUnconverted) {
        // As the rotate and skew dialogs turn it: a palette copy is worked
        // smoothly and reduced again under a brightness step.
        rotate_skew_current_image(&g_hImageUnconverted, &g_colorConversion, &g_brightnessStep,
                                  g_baseColorTable, fill_color(), mode);
        show_progress(0, 0);
    }
    fit();
}

static void replay_crop(const EditRecord* r)
{
    const int left = r->params[0], top = r->params[1];
    const int64_t width = (int64_t)r->params[2] - left, height = (int64_t)r->params[3] - top;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        return;
    HGLOBAL* images[] = {&g_hImageUnconverted, &g_hImage};
    for (HGLOBAL* image : images) {
        if (!*image)
            continue;
        HGLOBAL cut = crop_image(left, top, (int)width, (int)height, *image);
        if (cut && cut != *image) {
            GlobalFree(*image);
            *image = cut;
        }
    }
    fit();
}

// A resize may leave a working copy in the handle it was given; the result,
// when there is one, replaces it.
static void resize_one(HGLOBAL* image, int width, int height, int* conversion, int* step,
                       RGBQUAD* base, int no_spline)
{
    HGLOBAL resized = resize_current_image(image, width, height, conversion, step, base, no_spline);
    if (resized && resized != *image) {
        GlobalFree(*image);
        *image = resized;
    }
}

static void replay_resize(const EditRecord* r)
{
    const int no_spline = r->op == EDIT_RESIZE_NO_SPLINE;
    resize_one(&g_hImage, r->params[2], r->params[3], &g_colorConversion, &g_brightnessStep,
               g_baseColorTable, no_spline);
    if (g_hImageUnconverted) {
        int conversion = 0, step = 0;
        resize_one(&g_hImageUnconverted, r->params[2], r->params[3], &conversion, &step, NULL, no_spline);
    }
    fit();
}

static void replay_palette(const EditRecord* r)
{
    g_hasTransparency = (int)r->flag;
    g_transparentIndex = r->transparentIndex;
    g_transparentDisplayColor = r->color;
    const BYTE* saved = r->hData ? (const BYTE*)GlobalLock(r->hData) : NULL;
    if (!saved)
        return;
    BITMAPINFOHEADER* bih = g_hImage ? (BITMAPINFOHEADER*)GlobalLock(g_hImage) : NULL;
    if (bih) {
        // The saved block holds 256 entries; a table is never longer.
        uint32_t n = bih->biBitCount <= 8 ? dib_color_count(bih) : 0;
        if (n > 256)
            n = 256;
        if (n && GlobalSize(r->hData) >= 4 * (SIZE_T)n && GlobalSize(g_hImage) >= DIB_HEADER_SIZE + 4 * (SIZE_T)n)
            memcpy(dib_color_table(bih), saved, 4 * (size_t)n);
        GlobalUnlock(g_hImage);
    }
    GlobalUnlock(r->hData);
}

static void replay_red_eye(const EditRecord* r)
{
    if (!r->hData || r->params[0] <= 0)
        return;
    const UINT count = (UINT)r->params[0];
    if (g_hImageUnconverted)
        fix_red_eye_points(&g_hImageUnconverted, r->hData, count, 0, NULL);
    fix_red_eye_points(&g_hImage, r->hData, count, g_brightnessStep, g_baseColorTable);
}

static void replay_frame(const EditRecord* r)
{
    const int* w = r->params;
    if (g_hImageUnconverted)
        add_frame(&g_hImageUnconverted, r->frameColorCopy, w[0], w[1], w[2], w[3], r->frameIndexCopy,
                  (int)r->frameTransparent);
    add_frame(&g_hImage, r->frameColor, w[0], w[1], w[2], w[3], r->frameIndex, (int)r->frameTransparent);
    fit();
}

static void replay_text(const EditRecord* r)
{
    EditTextBlock* block = r->hData ? (EditTextBlock*)GlobalLock(r->hData) : NULL;
    if (!block)
        return;
    HFONT font = block->hText ? CreateFontIndirectA(&block->font) : NULL;
    if (font) {
        g_paletteRealizeMode = 1;
        write_text_on_image(g_hImage, g_hImageUnconverted, block->hText, font, block->x, block->y,
                            block->textColor, block->backColor, block->textIndex, block->backIndex,
                            (int)block->transparentBack, block->align, g_hwndMain, g_brightnessStep,
                            g_colorConversion);
        DeleteObject(font);
    }
    GlobalUnlock(r->hData);
}

static void take_merge_placement(const EditRecord* r)
{
    g_mergePlaced = (int)r->flag;
    // The record holds blue, green, red; the key is a COLORREF.
    g_mergeKeyColor = RGB((r->color >> 16) & 0xFF, (r->color >> 8) & 0xFF, r->color & 0xFF);
    SetRect(&g_rcMerge, r->params[0], r->params[1], r->params[2], r->params[3]);
}

// The mask the source's kind needs when drawn transparently.
static void make_merge_mask(void)
{
    g_hMergeMask = NULL;
    if (!g_mergePlaced)
        return;
    if (g_mergeKind == MERGE_RASTER)
        g_hMergeMask = make_transparency_mask(g_hMergeImage, g_mergeKeyColor, -1);
    else if (g_mergeKind == MERGE_ON_OFF_TRANSPARENCY)
        g_hMergeMask = make_transparency_mask(g_hMergeImage, 0, g_mergeKeyIndex);
    else if (g_mergeKind == MERGE_PARTIAL_ALPHA && is_valid_packed_dib(g_hMergeImage)) {
        // The work image the blend writes, of the source's size.
        const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(g_hMergeImage);
        g_hMergeMask = create_dib24(bih->biWidth, bih->biHeight);
        GlobalUnlock(g_hMergeImage);
    }
}

static void merge_now(void)
{
    RECT frame = g_rcMetafile;
    merge_into_current_image(g_hwndMain, g_hwndView, g_hwndMain, &g_hImage, &g_hImageUnconverted,
                             g_hMergeImage, g_hMergeMask, g_mergeKind, g_rcMerge, frame,
                             (HBRUSH)GetStockObject(WHITE_BRUSH), g_mergePlaced, g_mergeFromClipboard,
                             &g_colorConversion, 1, &g_brightnessStep);
}

// A Windows-metafile source becomes an enhanced metafile, the form the merge
// draws; when that cannot be done the source stays as it is (and is not
// merged), and a conversion the renderer could not finish, or whose
// result is too large to hold, is said. The size of
// the bits is asked of the metafile itself, not taken from the file.
static void convert_wmf_source(void)
{
    HMETAFILE wmf = (HMETAFILE)g_hMergeImage;
    UINT bytes = GetMetaFileBitsEx(wmf, 0, NULL);
    HGLOBAL hBits = bytes ? GlobalAlloc(GHND, bytes) : NULL;
    BYTE* bits = hBits ? (BYTE*)GlobalLock(hBits) : NULL;
    if (!bits) {
        if (hBits)
            GlobalFree(hBits);
        return;
    }
    HENHMETAFILE emf = NULL;
    if (GetMetaFileBitsEx(wmf, bytes, bits) == bytes) {
        // Extents in hundredths of a millimetre: 4 inches square, or the
        // placeable box at its units per inch.
        METAFILEPICT picture = {MM_ANISOTROPIC, 10160, 10160, NULL};
        const bool is_placeable = g_mergeKind == MERGE_PLACEABLE_WMF;
        if (is_placeable && g_wmfScale) {
            picture.xExt = (LONG)((int64_t)(g_rcMetafile.right - g_rcMetafile.left) * 2540 / g_wmfScale);
            picture.yExt = (LONG)((int64_t)(g_rcMetafile.bottom - g_rcMetafile.top) * 2540 / g_wmfScale);
        }
        // The box is the window the records are drawn in, as the preview plays it.
        RenderOutcome outcome =
            render_wmf_to_emf_bits(bits, bytes, &picture, is_placeable ? &g_rcMetafile : NULL, &emf);
        say_metafile_fault(g_hwndMain, render_fault(outcome));
    }
    GlobalUnlock(hBits);
    if (!emf) {
        GlobalFree(hBits);
        return;
    }
    DeleteMetaFile(wmf);
    g_hMergeImage = (HGLOBAL)emf;
    g_hMergeBits = hBits;
    g_mergeKind = MERGE_EMF;
}

// The source file a file merge read and its stamp then; 0 when the record
// holds none.
static int merged_file(const EditRecord* r, MergeSourceFile* source)
{
    const MergeSourceFile* saved = r->hData && GlobalSize(r->hData) >= sizeof *source
                                       ? (const MergeSourceFile*)GlobalLock(r->hData)
                                       : NULL;
    if (!saved)
        return 0;
    *source = *saved;
    GlobalUnlock(r->hData);
    source->path[sizeof source->path - 1] = '\0';
    return source->path[0] != '\0';
}

// A source file that can no longer be read, or that is no longer the
// picture that was merged, is passed over.
static void replay_merge_file(const EditRecord* r)
{
    MergeSourceFile source;
    if (!merged_file(r, &source) || !file_has_stamp(source.path, &source.stamp))
        return;

    HWND merge_window = g_hwndMerge;
    g_hwndMerge = g_hwndMain;
    g_hMergeMask = NULL;
    g_hMergeImage = load_image_file(source.path);
    g_hwndMerge = merge_window;
    if (!g_hMergeImage || g_mergeKind == MERGE_NONE) {
        free_merge_source();
        return;
    }
    g_mergeFromClipboard = 0;
    take_merge_placement(r);
    if (g_mergeKind == MERGE_WMF || g_mergeKind == MERGE_PLACEABLE_WMF)
        convert_wmf_source();
    if (g_mergeKind != MERGE_WMF && g_mergeKind != MERGE_PLACEABLE_WMF) {
        // An icon or cursor is drawn through the AND mask it was read with.
        if (g_mergeKind != MERGE_ICON) {
            if (g_hMergeMask)
                GlobalFree(g_hMergeMask);
            make_merge_mask();
        }
        merge_now();
    }
    free_merge_source();
}

static void replay_merge_clipboard(const EditRecord* r)
{
    if (!r->hData || (r->arg != MERGE_RASTER && !(r->arg == MERGE_EMF && r->hData2)))
        return;
    g_mergeKind = (int)r->arg;
    g_mergeFromClipboard = 1;
    take_merge_placement(r);
    g_hMergeImage = r->hData;
    g_hMergeBits = r->arg == MERGE_EMF ? r->hData2 : NULL;
    make_merge_mask();
    merge_now();
    // The source stays the record's; only the mask was made here.
    if (g_hMergeMask)
        GlobalFree(g_hMergeMask);
    g_hMergeMask = NULL;
    g_hMergeImage = g_hMergeBits = NULL;
    g_mergeKind = MERGE_NONE;
}

static void replay_sphere(void)
{
    HGLOBAL ball = deform_to_sphere(g_hImage, fill_color());
    if (ball && ball != g_hImage) {
        GlobalFree(g_hImage);
        g_hImage = ball;
    }
    if (g_hImageUnconverted) {
        GlobalFree(g_hImageUnconverted);
        g_hImageUnconverted = NULL;
    }
}

static void replay_record(const EditRecord* r)
{
    int scratch = 0;
    switch (r->op) {
    case EDIT_ROTATE_CW90:
    case EDIT_ROTATE_CCW90: {
        int (*turn)(HGLOBAL*, int*) = r->op == EDIT_ROTATE_CW90 ? rotate_cw90 : rotate_ccw90;
        if (g_hImageUnconverted)
            turn(&g_hImageUnconverted, &scratch);
        turn(&g_hImage, &g_imageOrientation);
        fit();
        break;
    }
    case EDIT_ROTATE_180:
        if (g_hImageUnconverted)
            rotate_180(g_hImageUnconverted, &scratch);
        rotate_180(g_hImage, &g_imageOrientation);
        break;
    case EDIT_FLIP_LEFT_RIGHT:
    case EDIT_FLIP_TOP_BOTTOM: {
        int (*flip)(HGLOBAL, int*) = r->op == EDIT_FLIP_LEFT_RIGHT ? flip_left_right : flip_top_bottom;
        if (g_hImageUnconverted)
            flip(g_hImageUnconverted, &scratch);
        flip(g_hImage, &g_imageOrientation);
        break;
    }
    case EDIT_ROTATE_ANGLE:
    case EDIT_SKEW_H:
    case EDIT_SKEW_V:
        replay_rotate_skew(r);
        break;
    case EDIT_CROP:
        replay_crop(r);
        break;
    case EDIT_RESIZE:
    case EDIT_RESIZE_NO_SPLINE:
        replay_resize(r);
        break;
    case EDIT_INVERT:
        invert_current_image();
        break;
    case EDIT_COLOR_CONVERSION:
        replay_conversion((int)r->arg);
        break;
    case EDIT_BRIGHTER:
    case EDIT_DARKER:
        step_current_brightness(r->op == EDIT_BRIGHTER ? 1 : -1);
        break;
    case EDIT_RED_EYE:
        replay_red_eye(r);
        break;
    case EDIT_PALETTE:
        replay_palette(r);
        break;
    case EDIT_FRAME:
        replay_frame(r);
        break;
    case EDIT_TEXT:
        replay_text(r);
        break;
    case EDIT_MERGE_FILE:
        replay_merge_file(r);
        break;
    case EDIT_MERGE_CLIPBOARD:
        replay_merge_clipboard(r);
        break;
    case EDIT_SPHERE:
        replay_sphere();
        break;
    }
}

// Keeps records 1 .. count, freeing what the others own.
static void truncate_history(UINT count)
{
    EditRecord* records = (EditRecord*)GlobalLock(g_hEditHistory);
    if (!records)
        return;
    for (UINT i = count + 1; i <= g_editCount; ++i)
        free_edit_record(&records[i]);
    GlobalUnlock(g_hEditHistory);
    g_editCount = count;
    HGLOBAL shrunk = GlobalReAlloc(g_hEditHistory, (SIZE_T)(count + 1) * sizeof(EditRecord), GMEM_MOVEABLE);
    if (shrunk)
        g_hEditHistory = shrunk;
}

void undo_last_edit(void)
{
    if (!g_hEditHistory || g_editCount == 0)
        return;
    truncate_history(g_editCount - 1);
    replay_edit_history();
}

void replay_edit_history(void)
{
    if (!g_hEditHistory)
        return;
    // A replay onto the kept picture leaves the file as far from the
    // picture as before.
    g_unrecordedChanges = has_kept_picture();
    // The records stay in one block that the tools never touch; each one is
    // copied out before its tool runs, so the block need not stay locked.
    for (UINT i = 1; i <= g_editCount; ++i) {
        EditRecord* records = (EditRecord*)GlobalLock(g_hEditHistory);
        if (!records)
            return;
        EditRecord r = records[i];
        GlobalUnlock(g_hEditHistory);
        replay_record(&r);
    }
}

// Whether the replay makes the edit of r again: each record that holds data
// of its own needs it, and a file merge its source as it was.
static int record_block(const EditRecord* r, char* merged_path, size_t size)
{
    MergeSourceFile source;
    switch (r->op) {
    case EDIT_ROTATE_ANGLE:
    case EDIT_SKEW_H:
    case EDIT_SKEW_V:
    case EDIT_PALETTE:
        return r->hData ? REPLAY_WHOLE : REPLAY_DATA_LOST;
    case EDIT_RED_EYE:
        return r->hData && r->params[0] > 0 ? REPLAY_WHOLE : REPLAY_DATA_LOST;
    case EDIT_TEXT: {
        const EditTextBlock* block = r->hData ? (const EditTextBlock*)GlobalLock(r->hData) : NULL;
        const int has_text = block && block->hText;
        if (block)
            GlobalUnlock(r->hData);
        return has_text ? REPLAY_WHOLE : REPLAY_DATA_LOST;
    }
    case EDIT_MERGE_FILE:
        if (!merged_file(r, &source))
            return REPLAY_DATA_LOST;
        if (file_has_stamp(source.path, &source.stamp))
            return REPLAY_WHOLE;
        if (merged_path && size)
            lstrcpynA(merged_path, source.path, (int)size);
        return REPLAY_MERGED_CHANGED;
    case EDIT_MERGE_CLIPBOARD:
        return r->hData && (r->arg == MERGE_RASTER || (r->arg == MERGE_EMF && r->hData2)) ? REPLAY_WHOLE
                                                                                           : REPLAY_DATA_LOST;
    }
    return REPLAY_WHOLE;
}

int replay_block(UINT count, char* merged_path, size_t size)
{
    // Without a kept picture the records start from the file, which gives
    // the picture only while nothing was changed outside them.
    if (!has_kept_picture()) {
        if (g_unrecordedChanges)
            return REPLAY_UNRECORDED;
        if (!file_unchanged_since_load())
            return REPLAY_FILE_CHANGED;
    }
    if (!g_hEditHistory || count > g_editCount)
        return REPLAY_DATA_LOST;
    int block = REPLAY_WHOLE;
    for (UINT i = 1; block == REPLAY_WHOLE && i <= count; ++i) {
        const EditRecord* records = (const EditRecord*)GlobalLock(g_hEditHistory);
        if (!records)
            return REPLAY_DATA_LOST;
        EditRecord r = records[i];
        GlobalUnlock(g_hEditHistory);
        block = record_block(&r, merged_path, size);
    }
    return block;
}

int edits_survive_reload(void)
{
    return !g_unrecordedChanges && (g_editCount == 0 || replay_block(g_editCount, NULL, 0) == REPLAY_WHOLE);
}
