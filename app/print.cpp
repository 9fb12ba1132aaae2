// Printing and the printer profile (see print.h). A page is sized from the
// printer (HORZRES x VERTRES); every size is computed in 64 bits and no
// scale is ever 0, so an image larger than the page still prints.
#include "app/print.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "app/convert_save.h"
#include "image/animation_timer.h"
#include "image/current_image.h"
#include "image/gif_anim.h"
#include "image/merge_source.h"
#include "image/metafile.h"
#include "image/metafile_preview.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/palette.h"
#include "image/preview.h"
#include "image/seams.h"
#include "image/settings.h"
#include "jpeg/color_profiles.h"
#include "tools/brightness.h"

static const char PROFILE_KEY[] = "PrinterProfile";

PrintState current_print_state(void)
{
    PrintState state;
    state.image = g_hImage;
    state.unconverted = g_hImageUnconverted;
    state.canvas = g_hAnimCanvas;
    state.kind = g_imageKind;
    state.display_bits = get_display_bit_depth();
    state.main = g_hwndMain;
    state.view = is_window_open(g_hwndView) ? g_hwndView : NULL;
    state.anim_delay = g_animDelay;
    state.has_placeable = g_wmfHasPlaceable;
    state.placeable = g_wmfPlaceableHeader;
    state.color_conversion = g_colorConversion;
    state.brightness_step = g_brightnessStep;
    state.file_name = g_fileName;
    return state;
}

// ---- layout ----

static PrintLayout place_cells(int32_t page_width, int32_t page_height, int64_t width, int64_t height,
                               int tiled)
{
    PrintLayout layout;
    layout.width = (int32_t)(width < 1 ? 1 : width);
    layout.height = (int32_t)(height < 1 ? 1 : height);
    layout.columns = tiled ? page_width / layout.width : 1;
    layout.rows = tiled ? page_height / layout.height : 1;
    if (layout.columns < 1)
        layout.columns = 1;
    if (layout.rows < 1)
        layout.rows = 1;
    layout.x = (int32_t)(((int64_t)page_width - (int64_t)layout.columns * layout.width) / 2);
    layout.y = (int32_t)(((int64_t)page_height - (int64_t)layout.rows * layout.height) / 2);
    return layout;
}

// The largest size of the picture's aspect that fits the page.
static void fit_to_page(int32_t page_width, int32_t page_height, int64_t* width, int64_t* height)
{
    if (*width * page_height >= *height * page_width) {
        *height = *height * page_width / *width;
        *width = page_width;
    } else {
        *width = *width * page_height / *height;
        *height = page_height;
    }
    if (*width < 1)
        *width = 1;
    if (*height < 1)
        *height = 1;
}

PrintLayout layout_raster_print(int32_t page_width, int32_t page_height, int32_t image_width,
                                int32_t image_height, int large, int tiled)
{
    int64_t pw = page_width < 1 ? 1 : page_width, ph = page_height < 1 ? 1 : page_height;
    int64_t iw = image_width < 1 ? 1 : image_width, ih = image_height < 1 ? 1 : image_height;
    int64_t scale;
    if (large)
        scale = pw / iw < ph / ih ? pw / iw : ph / ih;
    else if (iw <= 640 && ih <= 640)
        scale = (pw < ph ? pw : ph) / 640;
    else
        scale = (pw < ph ? pw : ph) / (iw > ih ? iw : ih);
    int64_t width = iw * scale, height = ih * scale;
    if (scale == 0) {
        width = iw;
        height = ih;
        fit_to_page((int32_t)pw, (int32_t)ph, &width, &height);
    }
    return place_cells((int32_t)pw, (int32_t)ph, width, height, tiled);
}

PrintLayout layout_metafile_print(int32_t page_width, int32_t page_height, int64_t picture_width,
                                  int64_t picture_height, int large, int tiled)
{
    int32_t pw = page_width < 1 ? 1 : page_width, ph = page_height < 1 ? 1 : page_height;
    int64_t w = picture_width < 1 ? 1 : picture_width, h = picture_height < 1 ? 1 : picture_height;
    // Growing by tenths would never move a side of 8 pixels or less.
    if (large && w < pw && h < ph)
        fit_to_page(pw, ph, &w, &h);
    while (w > pw || h > ph) {
        w = w * 9 / 10;
        h = h * 9 / 10;
        if (w < 1)
            w = 1;
        if (h < 1)
            h = 1;
    }
    return place_cells(pw, ph, w, h, tiled);
}

// ---- colour profile ----

static void show_error(const char* text, UINT icon)
{
    seam_message_box(NULL, text, "Error", icon);
}

// The sRGB -> printer transform when a profile is linked and the user
// wants it for this print; null otherwise (after saying why, when it fails).
static cmsHTRANSFORM make_printer_transform(const char* caption)
{
    char path[MAX_PATH] = "";
    read_setting_string(PROFILE_KEY, "", path, sizeof path);
    if (!path[0])
        return NULL;
    if (seam_message_box(NULL, "Apply Color Profile Correction\nfor this Print?", caption,
                         MB_YESNO | MB_ICONQUESTION) != IDYES)
        return NULL;
    cmsHPROFILE srgb = open_stored_profile(GetModuleHandleA(NULL), "SRGB");
    if (!srgb) {
        show_error("Unable to open Windows RGB color profile file", MB_ICONSTOP);
        return NULL;
    }
    // A file that opens but is no ICC profile cannot correct either.
    cmsHPROFILE printer = cmsOpenProfileFromFile(path, "r");
    if (!printer) {
        cmsCloseProfile(srgb);
        char text[MAX_PATH + 64];
        snprintf(text, sizeof text, "Unable to open printer color profile file: \n%s", path);
        show_error(text, MB_ICONSTOP);
        return NULL;
    }
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_BGR_8, printer, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(printer);
    return transform;
}

static void transform_row(cmsHTRANSFORM transform, const BYTE* in, BYTE* out, int32_t width)
{
    cmsDoTransform(transform, in, out, (cmsUInt32Number)width);
}

void apply_color_transform(BITMAPINFOHEADER* dst, const BITMAPINFOHEADER* src, cmsHTRANSFORM transform)
{
    if (dst != src)
        memcpy(dst, src, DIB_HEADER_SIZE);
    int bits = src->biBitCount;
    uint32_t colors = dib_color_count(src);
    if (colors) {
        const RGBQUAD* from = (const RGBQUAD*)((const BYTE*)src + DIB_HEADER_SIZE);
        RGBQUAD* to = (RGBQUAD*)((BYTE*)dst + DIB_HEADER_SIZE);
        for (uint32_t i = 0; i < colors; ++i) {
            BYTE in[3] = {from[i].rgbBlue, from[i].rgbGreen, from[i].rgbRed}, out[3];
            transform_row(transform, in, out, 1);
            to[i].rgbBlue = out[0];
            to[i].rgbGreen = out[1];
            to[i].rgbRed = out[2];
            to[i].rgbReserved = from[i].rgbReserved;
        }
        return;
    }
    int32_t width = src->biWidth;
    int32_t height = src->biHeight < 0 ? -src->biHeight : src->biHeight;
    uint32_t stride = dib_row_stride(width, bits);
    if (!stride || (bits != 16 && bits != 24 && bits != 32))
        return;
    const BYTE* from = (const BYTE*)src + DIB_HEADER_SIZE;
    BYTE* to = (BYTE*)dst + DIB_HEADER_SIZE;
    bool in_place = dst == src;
    // Working rows only where a row cannot go through the transform directly.
    BYTE* in = (bits != 24 || in_place) ? (BYTE*)malloc((size_t)width * 3) : NULL;
    BYTE* out = bits != 24 ? (BYTE*)malloc((size_t)width * 3) : NULL;
    bool rows_ok = bits == 24 ? (!in_place || in) : (in && out);
    for (int32_t y = 0; rows_ok && y < height; ++y) {
        const BYTE* s = from + (size_t)y * stride;
        BYTE* d = to + (size_t)y * stride;
        if (bits == 24) {
            if (in_place) {
                memcpy(in, s, (size_t)width * 3);
                transform_row(transform, in, d, width);
            } else {
                transform_row(transform, s, d, width);
            }
        } else if (bits == 32) {
            for (int32_t x = 0; x < width; ++x)
                memcpy(in + x * 3, s + x * 4, 3);
            transform_row(transform, in, out, width);
            for (int32_t x = 0; x < width; ++x) {
                memcpy(d + x * 4, out + x * 3, 3);
                if (!in_place)
                    d[x * 4 + 3] = s[x * 4 + 3];
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                unsigned p = s[x * 2] | (s[x * 2 + 1] << 8);
                unsigned r = ((p >> 10) & 31) << 3, g = ((p >> 5) & 31) << 3, b = (p & 31) << 3;
                in[x * 3] = (BYTE)(b + (b >> 5));
                in[x * 3 + 1] = (BYTE)(g + (g >> 5));
                in[x * 3 + 2] = (BYTE)(r + (r >> 5));
            }
            transform_row(transform, in, out, width);
            for (int32_t x = 0; x < width; ++x) {
                unsigned b = out[x * 3], g = out[x * 3 + 1], r = out[x * 3 + 2];
                unsigned p = (b >> 3) + ((g & 0xF8) << 2) + ((r >> 3) << 10);
                d[x * 2] = (BYTE)p;
                d[x * 2 + 1] = (BYTE)(p >> 8);
            }
        }
    }
    free(in);
    free(out);
}

// ---- the page ----

// The image a raster print draws: its header (possibly a corrected copy of
// header and table) and its pixels, with the blocks that hold them.
struct RasterSource {
    HGLOBAL pixels_block = NULL;  // block whose rows are drawn (locked)
    HGLOBAL owned = NULL;         // a copy made for this print, freed after
    HGLOBAL header_block = NULL;  // corrected header and table/pixels, freed after
    BITMAPINFOHEADER* pixels_header = NULL;
    BITMAPINFOHEADER* header = NULL;
};

static void release_source(RasterSource& source)
{
    if (source.header_block) {
        GlobalUnlock(source.header_block);
        GlobalFree(source.header_block);
    }
    if (source.pixels_header)
        GlobalUnlock(source.pixels_block);
    if (source.owned)
        GlobalFree(source.owned);
    source = RasterSource();
}

// Picks (or copies) the image to print. False when a needed copy could not
// be made: then nothing is printed.
static bool take_raster_source(const PrintState& state, RasterSource& source)
{
    HGLOBAL chosen = state.image;
    if (state.kind == KIND_ANIMATED_GIF || state.kind == KIND_ICON_PAGES || state.kind == KIND_ANI) {
        source.owned = copy_packed_dib(state.kind == KIND_ANIMATED_GIF ? state.canvas : state.image);
        if (!source.owned)
            return false;
        chosen = source.owned;
    } else if (state.unconverted && !state.color_conversion) {
        chosen = state.unconverted;
    }
    if (state.kind == KIND_DIB && !state.color_conversion && state.brightness_step) {
        HGLOBAL base = state.unconverted ? state.unconverted : state.image;
        if (dib_bit_count(base) > 15) {
            int amount = 0;
            HGLOBAL copy = NULL;
            if (adjust_brightness(base, NULL, &amount, state.brightness_step, &copy) && copy && copy != base) {
                source.owned = copy;
                chosen = copy;
            }
        }
    }
    if (!is_valid_packed_dib(chosen))
        return false;
    source.pixels_block = chosen;
    source.pixels_header = (BITMAPINFOHEADER*)GlobalLock(chosen);
    source.header = source.pixels_header;
    return source.pixels_header != NULL;
}

static void correct_source(RasterSource& source, cmsHTRANSFORM transform)
{
    BITMAPINFOHEADER* bih = source.pixels_header;
    uint32_t colors = dib_color_count(bih);
    if (colors) {
        source.header_block = GlobalAlloc(GHND, DIB_HEADER_SIZE + 4 * (SIZE_T)colors);
        source.header = source.header_block ? (BITMAPINFOHEADER*)GlobalLock(source.header_block) : NULL;
        if (!source.header) {
            if (source.header_block)
                GlobalFree(source.header_block);
            source.header_block = NULL;
            source.header = bih;
            return;
        }
        apply_color_transform(source.header, bih, transform);
        return;
    }
    // 16- and 32-bit rows with masks would move the pixels: left as they are.
    if (bih->biCompression != BI_RGB)
        return;
    if (source.owned) {
        apply_color_transform(bih, bih, transform);
        return;
    }
    SIZE_T size = DIB_HEADER_SIZE + (SIZE_T)dib_row_stride(bih->biWidth, bih->biBitCount) * (SIZE_T)labs(bih->biHeight);
    source.header_block = GlobalAlloc(GHND, size);
    BITMAPINFOHEADER* copy = source.header_block ? (BITMAPINFOHEADER*)GlobalLock(source.header_block) : NULL;
    if (!copy) {
        if (source.header_block)
            GlobalFree(source.header_block);
        source.header_block = NULL;
        seam_message_box(NULL, "Memory Allocation Error: \nUnable to apply printer colorspace transform.", "Error",
                         MB_ICONEXCLAMATION);
        return;
    }
    // The corrected block holds header and rows together.
    apply_color_transform(copy, bih, transform);
    source.header = copy;
}

static const BYTE* source_pixels(const RasterSource& source)
{
    // A corrected palette holds only header and table; deeper corrected
    // copies hold their own rows right after the header.
    if (source.header_block && source.header != source.pixels_header && !dib_color_count(source.header))
        return (const BYTE*)source.header + DIB_HEADER_SIZE;
    return dib_pixels(source.pixels_header);
}

static void print_raster(const PrintState& state, HDC hdc, int32_t pw, int32_t ph, int large, int tiled)
{
    cmsHTRANSFORM transform = make_printer_transform(state.file_name);
    RasterSource source;
    if (!take_raster_source(state, source)) {
        release_source(source);
        if (transform)
            cmsDeleteTransform(transform);
        return;
    }
    if (transform) {
        correct_source(source, transform);
        cmsDeleteTransform(transform);
    }
    const BITMAPINFOHEADER* bih = source.header;
    HPALETTE palette = create_dib_palette(bih, state.main);
    HPALETTE old_palette = NULL;
    if (palette) {
        old_palette = SelectPalette(hdc, palette, FALSE);
        RealizePalette(hdc);
    }
    int32_t iw = bih->biWidth, ih = labs(bih->biHeight);
    PrintLayout layout = layout_raster_print(pw, ph, iw, ih, large, tiled);
    const BYTE* pixels = source_pixels(source);
    for (int32_t row = 0; row < layout.rows; ++row)
        for (int32_t column = 0; column < layout.columns; ++column)
            StretchDIBits(hdc, layout.x + column * layout.width, layout.y + row * layout.height, layout.width,
                          layout.height, 0, 0, iw, ih, pixels, (const BITMAPINFO*)bih, DIB_RGB_COLORS, SRCCOPY);
    if (palette) {
        SelectPalette(hdc, old_palette, FALSE);
        DeleteObject(palette);
    }
    release_source(source);
}

// The metafile printers give 1 when the picture was drawn whole.
static int print_wmf(const PrintState& state, HDC hdc, int32_t pw, int32_t ph, int large, int tiled)
{
    HMETAFILE wmf = (HMETAFILE)state.image;
    const WmfPlaceableHeader& header = state.placeable;
    // Without units per inch the header gives no size: played as it stands.
    if (!state.has_placeable || header.units_per_inch == 0)
        return play_wmf_records(state.main, hdc, wmf);
    // Pixels from units through the printer's resolution; 1440 / dpi would
    // be 0 above 1440 dpi.
    int64_t w = ((int64_t)header.right - header.left + 1) * GetDeviceCaps(hdc, LOGPIXELSX) / header.units_per_inch;
    int64_t h = ((int64_t)header.bottom - header.top + 1) * GetDeviceCaps(hdc, LOGPIXELSY) / header.units_per_inch;
    PrintLayout layout = layout_metafile_print(pw, ph, w, h, large, tiled);
    return play_wmf_in_rect(state.main, hdc, pw + 1, ph + 1, layout.width, layout.height, tiled ? 1 : 0);
}

static int print_emf(const PrintState& state, HDC hdc, int32_t pw, int32_t ph, int large, int tiled)
{
    HENHMETAFILE emf = (HENHMETAFILE)state.image;
    RECT frame = {0, 0, 0, 0};
    get_emf_info(emf, NULL, &frame, hdc);
    // A picture without a frame has no size to print at.
    if (frame.right <= frame.left || frame.bottom <= frame.top)
        return 1;
    PrintLayout layout = layout_metafile_print(pw, ph, (int64_t)frame.right - frame.left,
                                               (int64_t)frame.bottom - frame.top, large, tiled);
    if (layout.rows < 1 || layout.columns < 1)
        return 1;
    if (layout.rows * layout.columns > 1)
        return play_metafile_tiled(hdc, emf, 1, NULL, 0, layout.x, layout.y, layout.width, layout.height,
                                   layout.columns, layout.rows);
    RECT cell = {layout.x, layout.y, layout.x + layout.width, layout.y + layout.height};
    return play_emf(hdc, emf, &cell);
}

static const char* document_name(int kind)
{
    switch (kind) {
    case KIND_WMF: return "MetaFile";
    case KIND_EMF: return "Enhanced MetaFile";
    case KIND_ICON_PAGES: return "Icon";
    case KIND_ANIMATED_GIF: return "Animated GIF";
    case KIND_ANI: return "Animated cursor";
    }
    return "Bitmap";
}

static bool is_animated(int kind)
{
    return kind == KIND_ANIMATED_GIF || kind == KIND_ICON_PAGES || kind == KIND_ANI;
}

static void rearm_animation(const PrintState& state)
{
    if (state.kind == KIND_ANIMATED_GIF)
        arm_animation_timer(state.main, state.anim_delay * (state.display_bits <= 8 ? 5 : 9));
    else if (is_animated(state.kind))
        arm_animation_timer(state.main, state.anim_delay * 9);
}

void print_image(int large, int tiled, const PrintState& state)
{
    switch (state.kind) {
    case KIND_DIB: case KIND_WMF: case KIND_EMF: case KIND_ICON_PAGES: case KIND_ANI:
        if (!state.image)
            return;
        break;
    case KIND_ANIMATED_GIF:
        if (!state.canvas)
            return;
        break;
    default:
        return;
    }
    if (is_animated(state.kind))
        stop_animation_timer(state.main);

    PRINTDLGA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = state.view ? state.view : state.main;
    dialog.Flags = PD_RETURNDC;
    BOOL chosen = seam_print_dialog(&dialog);
    // The dialog's device settings are the caller's to free.
    if (dialog.hDevMode)
        GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames)
        GlobalFree(dialog.hDevNames);
    HDC hdc = chosen ? dialog.hDC : NULL;
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    DOCINFOA document;
    memset(&document, 0, sizeof document);
    document.cbSize = sizeof document;
    document.lpszDocName = document_name(state.kind);
    if (!hdc || StartDocA(hdc, &document) <= 0) {
        if (hdc)
            DeleteDC(hdc);
        SetCursor(old_cursor);
        rearm_animation(state);
        return;
    }
    StartPage(hdc);
    int32_t pw = GetDeviceCaps(hdc, HORZRES), ph = GetDeviceCaps(hdc, VERTRES);
    int whole = 1;
    if (pw > 0 && ph > 0) {
        // A page with a cut picture is not printed: the document is
        // abandoned, and that is said here, once.
        CommandPlays refusing;
        if (state.kind == KIND_WMF)
            whole = print_wmf(state, hdc, pw, ph, large, tiled);
        else if (state.kind == KIND_EMF)
            whole = print_emf(state, hdc, pw, ph, large, tiled);
        else
            print_raster(state, hdc, pw, ph, large, tiled);
    }
    if (whole) {
        EndPage(hdc);
        EndDoc(hdc);
    } else {
        AbortDoc(hdc);
    }
    SetCursor(old_cursor);
    DeleteDC(hdc);
    if (!whole) {
        MetafileFault fault = metafile_play_fault(state.image);
        say_metafile_fault(state.view ? state.view : state.main, fault ? fault : METAFILE_UNREADABLE);
    }
    rearm_animation(state);
}

// ---- linking the profile ----

UINT_PTR CALLBACK printer_profile_hook_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)dialog;
    (void)msg;
    (void)wp;
    (void)lp;
    return 0;
}

void choose_printer_profile(HWND owner)
{
    char folder[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(folder, MAX_PATH - 8);
    if (length == 0 || length >= MAX_PATH - 8)
        folder[0] = 0;
    else
        lstrcatA(folder, "\\Color");
    char path[MAX_PATH] = "";
    read_setting_string(PROFILE_KEY, "", path, sizeof path);
    static const char FILTER[] = "ICC Profile Files (*.icm)\0*.icm\0All Files (*.*)\0*.*\0";
    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = 76;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = FILTER;
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder[0] ? folder : NULL;
    ofn.lpstrTitle = "Select Printer Color Profile File:";
    ofn.Flags = OFN_NONETWORKBUTTON | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK | OFN_SHOWHELP |
                OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    ofn.lpfnHook = printer_profile_hook_proc;
    // Held like every other file dialog: it browses by moving the current
    // folder, and no window may go on to another file or command meanwhile.
    if (run_file_dialog_held(&ofn, GetOpenFileNameA))
        write_setting_string(PROFILE_KEY, path);
}
