// Resize, rotation by any angle and skew of the current image (see
// transform_current.h). Palette images are prepared so that a smooth result
// keeps the image's kind: grey stays grey, a tone keeps its tone, a palette
// with a transparent index is resampled exactly, and any other palette is
// worked at 24 bits and reduced again when the display or the brightness
// state needs a palette. The drivers show no message of their own.
#include "tools/transform_current.h"

#include "image/current_image.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/progress.h"
#include "image/seams.h"
#include "tools/color_reduce.h"
#include "tools/crop_frame.h"
#include "tools/edit_history.h"
#include "tools/grey_tone.h"
#include "tools/quarter_turns.h"
#include "tools/resample.h"
#include "tools/rotate_any.h"
#include "tools/tool_settings.h"

#include <math.h>

// The transformation a driver applies: a resize (mode EDIT_RESIZE) to a
// new size, or a rotation or skew (EditOp 4, 42, 43) in place.
struct Transform {
    int mode;
    int width, height;
    COLORREF background;
};

static bool is_resize(const Transform* t)
{
    return t->mode == EDIT_RESIZE;
}

// Resize: the new image or null, *phDib left alone. Rotation and skew:
// *phDib itself, replaced on success, or null when it stayed unchanged.
static HGLOBAL run(const Transform* t, HGLOBAL* phDib, int smooth)
{
    if (is_resize(t))
        return smooth ? resample_image(*phDib, t->width, t->height)
                      : resize_nearest(*phDib, t->width, t->height);
    // A palette result with a transparent index is filled with that index.
    int done = t->mode == EDIT_ROTATE_ANGLE
                   ? rotate_by_angle(phDib, g_rotateAngle, t->background, g_hasTransparency,
                                     g_transparentIndex, smooth)
                   : skew_by_angle(phDib, g_rotateAngle, t->background, g_hasTransparency,
                                   g_transparentIndex, smooth, t->mode);
    return done ? *phDib : NULL;
}

static void beep(void)
{
    seam_beep(0xFFFFFFFF);
}

static HGLOBAL run_smooth(const Transform* t, HGLOBAL* phDib)
{
    HGLOBAL result = run(t, phDib, 1);
    beep();
    return result;
}

// The best-colour codes of fewer than 256 colours no longer hold after a
// smooth resample; monochrome turns into grey scale.
static void widen_conversion_code(int* code, bool monochrome_too)
{
    if (monochrome_too && *code == CONV_MONOCHROME)
        *code = CONV_GREYSCALE;
    else if (*code >= CONV_BEST_128 && *code <= CONV_BEST_2)
        *code = CONV_BEST_256;
}

static void rebuild_base(HGLOBAL result, int step, RGBQUAD* base_table)
{
    if (result && step != 0 && base_table)
        rebuild_base_color_table(result, step, base_table);
}

// Reduces *phDib again to a palette; the full-colour image it leaves is freed.
static void reduce_again(HGLOBAL* phDib, int count)
{
    HGLOBAL before = NULL;
    reduce_colors(phDib, &before, count, (UINT)g_imageKind, 1, 1);
    if (before && before != *phDib)
        GlobalFree(before);
}

// The way a palette image (other than an 8-bit grey ramp) is transformed.
static HGLOBAL palette_road(const Transform* t, HGLOBAL* phDib, int* code, int* step, RGBQUAD* base_table)
{
    if (*code == 0 && g_hasTransparency)
        return run(t, phDib, 0);
    if (is_grey_palette(*phDib)) {
        if (!make_grey_copy(phDib))
            return run(t, phDib, 0);
        HGLOBAL result = run_smooth(t, phDib);
        widen_conversion_code(code, true);
        rebuild_base(result, *step, base_table);
        return result;
    }
    const int tone = detect_tone_mode(*phDib);
    if (tone && is_toned_palette(*phDib, tone))
        return run_smooth(t, phDib);
    if (tone) {
        if (!make_tinted_copy(phDib, tone))
            return run(t, phDib, 0);
        HGLOBAL result = run_smooth(t, phDib);
        widen_conversion_code(code, false);
        rebuild_base(result, *step, base_table);
        return result;
    }
    // The shown, reduced image keeps its palette; its unconverted copy gets
    // the smooth treatment in a call of its own.
    if (*code != 0 && *phDib != g_hImageUnconverted)
        return run(t, phDib, 0);

    HGLOBAL full = to_truecolor24(*phDib);
    if (!full)
        return run(t, phDib, 0);
    if (full != *phDib) {
        GlobalFree(*phDib);
        *phDib = full;
    }
    HGLOBAL result = run_smooth(t, phDib);
    // A rotation or skew works in place: even when it failed, the 24-bit
    // image goes back to a palette as it would have.
    HGLOBAL* target = is_resize(t) ? &result : phDib;
    if (!*target)
        return NULL;
    const int depth = get_display_bit_depth();
    if (*step != 0 || depth == 8)
        reduce_again(target, -256);
    else if (depth == 4)
        reduce_again(target, 256);
    rebuild_base(*target, *step, base_table);
    return is_resize(t) ? result : (result ? *phDib : NULL);
}

HGLOBAL resize_current_image(HGLOBAL* phDib, int width, int height, int* color_conversion,
                             int* brightness_step, RGBQUAD* base_table, int disable_spline)
{
    if (!phDib || !color_conversion || !brightness_step || width <= 0 || height <= 0)
        return NULL;
    const int bits = dib_bit_count(*phDib);
    if (!is_valid_packed_dib(*phDib))
        return NULL;
    const BITMAPINFOHEADER* bih = (const BITMAPINFOHEADER*)GlobalLock(*phDib);
    const int w = bih->biWidth, h = bih->biHeight;
    GlobalUnlock(*phDib);
    show_progress(0, 0);

    const Transform t = {EDIT_RESIZE, width, height, 0};
    HGLOBAL result;
    if (disable_spline && (width > w || height > h))
        result = resize_nearest(*phDib, width, height);
    else if (width < 8 && height < 8)
        result = resize_nearest(*phDib, width, height);
    else if (bits >= 16 || is_grey8_ramp(*phDib))
        result = run_smooth(&t, phDib);
    else if (width == w && height == h)
        result = resize_nearest(*phDib, width, height);
    else
        result = palette_road(&t, phDib, color_conversion, brightness_step, base_table);
    show_progress(0, 0);
    return result;
}

int rotate_skew_current_image(HGLOBAL* phDib, int* color_conversion, int* brightness_step,
                              RGBQUAD* base_table, COLORREF background, int mode)
{
    if (!phDib || !color_conversion || !brightness_step)
        return 0;
    const int bits = dib_bit_count(*phDib);
    if (!is_valid_packed_dib(*phDib))
        return 0;
    const double angle = g_rotateAngle;
    // An angle the tools would refuse must not convert the image first.
    if (!isfinite(angle) || ((mode == EDIT_SKEW_H || mode == EDIT_SKEW_V) && fabs(angle) > MAX_SKEW_DEGREES))
        return 0;
    if (mode == EDIT_ROTATE_ANGLE) {
        if (angle == 0)
            return 1;
        // A quarter turn counts once in the orientation word: the shown
        // image's turn does, its unconverted copy's does not.
        int scratch = 0;
        int* orientation = *phDib != g_hImageUnconverted ? &g_imageOrientation : &scratch;
        if (angle == 90 || angle == 270)
            return (angle == 90 ? rotate_cw90 : rotate_ccw90)(phDib, orientation);
        if (angle == 180)
            return rotate_180(*phDib, orientation);
    } else if (mode == EDIT_SKEW_H || mode == EDIT_SKEW_V) {
        if (angle == 0)
            return 1;
        if (angle == 45)
            return skew_by_angle(phDib, angle, background, g_hasTransparency, g_transparentIndex, 0, mode);
    } else {
        return 0;
    }
    const Transform t = {mode, 0, 0, background};
    if (bits >= 16 || is_grey8_ramp(*phDib))
        return run_smooth(&t, phDib) != NULL;
    return palette_road(&t, phDib, color_conversion, brightness_step, base_table) != NULL;
}
