// The image-file loader of the merge source (load_image_file, declared in
// merge_source.h). It reads with the selected-file loader's readers but
// leaves the current-image state alone: no information text, no format
// code, no animation, no alpha flattening and no display reduction. What it
// adds is the classification for merging (g_mergeKind) and the mask the
// kind needs. Readers are given no owner and no information text. Which
// reader reads a file is the loader's reader table (find_source_reader);
// the per-format source readers are here.
#include "image/merge_source.h"

#include <io.h>

#include <cstring>

#include "formats/jbig.h"
#include "formats/jpeg2000.h"
#include "formats/png.h"
#include "formats/tiff_read.h"
#include "image/bmp_read.h"
#include "image/current_image.h"
#include "image/gif_read.h"
#include "image/icon.h"
#include "image/iff_read.h"
#include "image/loader.h"
#include "image/merge_readers.h"
#include "image/metafile.h"
#include "image/metafile_view.h"
#include "image/open_windows.h"
#include "image/packed_dib.h"
#include "image/pcx.h"
#include "image/pixel_ceiling.h"
#include "image/pnm.h"
#include "image/preview.h"
#include "image/progress.h"
#include "image/sun_icon.h"
#include "image/targa.h"
#include "image/temp_file.h"
#include "jpeg/jpeg_read.h"
#include "tools/merge_image.h"

void free_merge_source(void)
{
    if (g_hMergeImage) {
        forget_failed_metafiles(g_hMergeImage);
        forget_metafile_layer();
        if (g_mergeKind == MERGE_EMF)
            DeleteEnhMetaFile((HENHMETAFILE)g_hMergeImage);
        else if (g_mergeKind == MERGE_WMF || g_mergeKind == MERGE_PLACEABLE_WMF)
            DeleteMetaFile((HMETAFILE)g_hMergeImage);
        else
            GlobalFree(g_hMergeImage);
    }
    if (g_hMergeMask)
        GlobalFree(g_hMergeMask);
    if (g_hMergeBits)
        GlobalFree(g_hMergeBits);
    g_hMergeImage = g_hMergeMask = g_hMergeBits = NULL;
    g_mergeKind = MERGE_NONE;
}

HGLOBAL read_bmp_source(HFILE file, const char*)
{
    BYTE header_size = 0;
    _llseek(file, 14, FILE_BEGIN);
    if (_lread(file, &header_size, 1) != 1)
        header_size = 0;
    _llseek(file, 0, FILE_BEGIN);
    int frame_left = 0, frame_top = 0, screen_width = 0, screen_height = 0;
    switch (header_size) {
    case 40:
    case 56:
    case 108:
    case 124:
        return read_bmp_file(file, NULL, NULL, &frame_left, &frame_top, &screen_width, &screen_height,
                             header_size);
    case 12:
        return read_os2_bmp_file(file, NULL, NULL, &frame_left, &frame_top, &screen_width, &screen_height);
    case 64:
        return read_os2v2_bmp_file(file, NULL, NULL, &frame_left, &frame_top, &screen_width, &screen_height);
    }
    _lclose(file);
    return NULL;
}

// The first frame; a transparent index makes it an on/off source.
HGLOBAL read_gif_source(HFILE file, const char*)
{
    if (!alloc_gif_lzw_tables()) {
        _lclose(file);
        return NULL;
    }
    int continuing = 0, frame_left = 0, frame_top = 0, screen_width = 0, screen_height = 0;
    int has_transparency = 0, frame_number = 0;
    UINT delay = 12;
    DWORD background = 0, display_color = 0;
    BYTE transparent_index = 0, disposal = 0;
    // The animated kind keeps the reader from fitting the preview to the frame.
    HGLOBAL image = read_gif_frame(file, NULL, NULL, &continuing, &delay, &frame_left, &frame_top,
                                   &screen_width, &screen_height, &has_transparency, &background,
                                   &display_color, &transparent_index, &disposal, &frame_number,
                                   g_gifSuffixTable, g_gifPrefixTable, g_gifStack, KIND_ANIMATED_GIF);
    free_gif_lzw_tables();
    _lclose(file);
    if (image && has_transparency) {
        g_mergeKind = MERGE_ON_OFF_TRANSPARENCY;
        g_mergeKeyIndex = transparent_index;
        g_hMergeMask = make_transparency_mask(image, 0, transparent_index);
    }
    return image;
}

// The GIF reader finds the GIF behind the MacBinary header itself.
HGLOBAL read_macbinary_gif_source(HFILE file, const char* path)
{
    return read_gif_source(file, path);
}

HGLOBAL read_jpeg_source(HFILE file, const char* path)
{
    _lclose(file);
    int precision = get_jpeg_precision(path);
    if (precision == 8)
        return read_jpeg_file(path, NULL);
    if (precision == 12 || precision == 16)
        return read_jpeg12_file(path, NULL);
    return NULL;
}

// The colour-managed decoder first, then the plain one, without a beep.
HGLOBAL read_jpeg2000_source(HFILE file, const char* path)
{
    _lclose(file);
    HGLOBAL image = read_jpeg2000_jasper(path, NULL);
    int format = FMT_NONE;
    return image ? image : read_jpeg2000_openjpeg(path, NULL, &format);
}

HGLOBAL read_sun_raster_source(HFILE file, const char* path)
{
    _lclose(file);
    return read_image_jasper(path, NULL);
}

HGLOBAL read_pnm_source(HFILE file, const char* path)
{
    _lclose(file);
    return read_pnm_file(path, NULL);
}

HGLOBAL read_pcx_source(HFILE file, const char*)
{
    return read_pcx_file(file, NULL, NULL);
}

static HGLOBAL read_tiff_first_page(const char* path)
{
    int format = FMT_NONE, page = 1, pages = 1;
    return read_tiff_file(path, NULL, &format, &page, &pages, g_hInstance);
}

HGLOBAL read_tiff_source(HFILE file, const char* path)
{
    _lclose(file);
    return read_tiff_first_page(path);
}

// Read from a copy without the 128-byte MacBinary header.
HGLOBAL read_macbinary_tiff_source(HFILE file, const char* path)
{
    _lclose(file);
    char* temp = make_temp_file_name();
    if (!temp)
        return NULL;
    HGLOBAL image = copy_file_from_offset(path, 128, temp) ? read_tiff_first_page(temp) : NULL;
    delete_temp_file(temp);
    return image;
}

HGLOBAL read_png_source(HFILE file, const char* path)
{
    _lclose(file);
    return read_png_file(path, NULL);
}

HGLOBAL read_iff_source(HFILE file, const char*)
{
    return read_iff_file(file, NULL);
}

HGLOBAL read_tga_source(HFILE file, const char*)
{
    return read_tga_file(file, NULL, NULL);
}

HGLOBAL read_jbig_source(HFILE file, const char* path)
{
    _lclose(file);
    return read_jbig_file(path, NULL);
}

HGLOBAL read_sun_icon_source(HFILE file, const char* path)
{
    _lclose(file);
    return read_sun_icon_file(NULL, path, NULL);
}

// The icon entry at offset with its AND mask in g_hMergeMask.
static HGLOBAL read_icon_entry(HFILE file, uint32_t offset, int ani_frame)
{
    int count = 0, index = 1;
    HGLOBAL image = read_icon_file(NULL, &g_hMergeMask, NULL, &file, &count, &index, offset, ani_frame, KIND_DIB);
    _lclose(file);
    g_mergeKind = MERGE_ICON;
    return image;
}

HGLOBAL read_icon_source(HFILE file, const char*)
{
    return read_icon_entry(file, 0, 0);
}

static int name_is(const BYTE name[4], const char* wanted)
{
    for (int i = 0; i < 4; ++i)
        if ((name[i] | 0x20) != (wanted[i] | 0x20))
            return 0;
    return 1;
}

static uint32_t le32(const BYTE b[4])
{
    return b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24;
}

// Offset of the first frame's icon data, 0 when the walk runs out of file.
static uint64_t find_first_ani_frame(HFILE file)
{
    LONG end = _llseek(file, 0, FILE_END);
    const uint64_t file_size = end < 0 ? 0 : (uint64_t)end;
    uint64_t at = 8, steps = 0;
    int header_seen = 0;
    BYTE name[4];
    while (at <= file_size && file_size - at >= 4) {
        if (_llseek(file, (LONG)at, FILE_BEGIN) != (LONG)at || _lread(file, name, 4) != 4)
            return 0;
        if (name_is(name, "ACON") || name_is(name, "fram") || name_is(name, "INFO")) {
            at += 4;
        } else if (name_is(name, "LIST") || name_is(name, "INAM") || name_is(name, "IART")) {
            at += 8;
        } else if (name_is(name, "anih")) {
            BYTE counts[8];
            if (file_size - at < 20 || _llseek(file, (LONG)(at + 12), FILE_BEGIN) != (LONG)(at + 12) ||
                _lread(file, counts, 8) != 8)
                return 0;
            steps = le32(counts + 4);
            header_seen = 1;
            at += 4 + 8 + 8 + 24;
        } else if (header_seen && (name_is(name, "rate") || ((name[0] | 0x20) == 's' && (name[1] | 0x20) == 'e' &&
                                                             (name[2] | 0x20) == 'q'))) {
            at += 4 + 4 + 4 * steps;
        } else if (header_seen && !std::memcmp(name, "icon", 4)) {
            at += 8;
            return at < file_size && at <= 0x7FFFFFFF ? at : 0;
        } else {
            at += 1;
        }
    }
    return 0;
}

// An animated cursor: its first frame, found by walking the chunk names.
HGLOBAL read_ani_source(HFILE file, const char*)
{
    BYTE form[4] = {0};
    uint64_t frame = 0;
    if (_llseek(file, 8, FILE_BEGIN) == 8 && _lread(file, form, 4) == 4 && !std::memcmp(form, "ACON", 4))
        frame = find_first_ani_frame(file);
    if (!frame) {
        _lclose(file);
        return NULL;
    }
    return read_icon_entry(file, (uint32_t)frame, 1);
}

HGLOBAL read_wmf_source(HFILE file, const char* path)
{
    BYTE key[2] = {0};
    const int placeable = _lread(file, key, 2) == 2 && key[0] == 0xD7 && key[1] == 0xCD;
    _llseek(file, 0, FILE_BEGIN);
    WmfPlaceableHeader header;
    g_mergeKind = placeable ? MERGE_PLACEABLE_WMF : MERGE_WMF;
    return (HGLOBAL)read_wmf_file(NULL, path, file, NULL, (uint32_t)placeable, &g_rcMetafile, &g_wmfScale,
                                  &header);
}

// The enhanced metafile is remade from a copy of its bits, which stay in
// g_hMergeBits for as long as the source lives.
HGLOBAL read_emf_source(HFILE file, const char* path)
{
    _lclose(file);
    HWND owner = is_window_open(g_hwndMergeDialog) ? g_hwndMergeDialog : NULL;
    HENHMETAFILE emf = read_emf_file(owner, path, &g_hMergeBits);
    if (!emf)
        return NULL;
    g_mergeKind = MERGE_EMF;
    HDC hdc = GetDC(owner);
    get_emf_info(emf, NULL, &g_rcMetafile, hdc);
    ReleaseDC(owner, hdc);
    LONG width = g_rcMetafile.right - g_rcMetafile.left, height = g_rcMetafile.bottom - g_rcMetafile.top;
    fit_image_rect(width < 1 ? 1 : width, height < 1 ? 1 : height, 1);
    return (HGLOBAL)emf;
}

// The source at the image's top-left, at its own size (a metafile's at its
// bounds, at least one pixel).
static void set_source_placement(HGLOBAL image)
{
    LONG width = 1, height = 1;
    if (g_mergeKind == MERGE_WMF || g_mergeKind == MERGE_PLACEABLE_WMF || g_mergeKind == MERGE_EMF) {
        width = g_rcMetafile.right - g_rcMetafile.left;
        height = g_rcMetafile.bottom - g_rcMetafile.top;
    } else {
        BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(image);
        if (bih) {
            width = bih->biWidth;
            height = bih->biHeight;
            GlobalUnlock(image);
        }
    }
    SetRect(&g_rcMerge, 0, 0, width < 1 ? 1 : width, height < 1 ? 1 : height);
}

// A 32-bit source is classified by its alpha bytes, every row examined. An
// icon whose alpha says nothing (all 0 or all 255) keeps its AND mask,
// which is then what makes its pixels transparent.
static void classify_alpha(HGLOBAL image)
{
    if (dib_bit_count(image) != 32 || !is_valid_packed_dib(image))
        return;
    BITMAPINFOHEADER* bih = (BITMAPINFOHEADER*)GlobalLock(image);
    if (!bih)
        return;
    int zero = 0, full = 0, partial = 0;
    const BYTE* rows = dib_pixels(bih);
    const uint64_t bytes = (uint64_t)dib_row_stride(bih->biWidth, 32) * bih->biHeight;
    for (uint64_t i = 3; i < bytes && !partial; i += 4) {
        if (rows[i] == 0)
            zero = 1;
        else if (rows[i] == 255)
            full = 1;
        else
            partial = 1;
    }
    GlobalUnlock(image);
    if (g_mergeKind == MERGE_ICON && !partial && !(zero && full))
        return;
    if (g_hMergeMask) {
        GlobalFree(g_hMergeMask);
        g_hMergeMask = NULL;
    }
    if (partial) {
        g_mergeKind = MERGE_PARTIAL_ALPHA;
        g_hMergeMask = copy_packed_dib(image);
        if (g_hMergeMask)
            flatten_alpha_onto_background(&g_hMergeMask, 0);
    } else if (zero && full) {
        g_mergeKind = MERGE_ON_OFF_TRANSPARENCY;
        g_mergeKeyIndex = 0;
        g_hMergeMask = make_transparency_mask(image, 0, 0);
    } else {
        g_mergeKind = MERGE_RASTER;
    }
}

HGLOBAL load_image_file(const char* path)
{
    g_mergeKind = MERGE_NONE;
    HFILE file = path ? _lopen(path, OF_READ | OF_SHARE_DENY_NONE) : HFILE_ERROR;
    if (file == HFILE_ERROR)
        return NULL;
    BYTE first[10] = {0}, at128[4] = {0};
    UINT got = _lread(file, first, sizeof first);
    if (got == (UINT)HFILE_ERROR)
        got = 0;
    if (_llseek(file, 128, FILE_BEGIN) == 128)
        _lread(file, at128, sizeof at128);
    _llseek(file, 0, FILE_BEGIN);
    // The whole extension: "x.tgax" is no Targa file.
    const char* dot = std::strrchr(path, '.');
    const char* ext = dot ? dot + 1 : "";

    // Readers store a comment they find and lay out the main preview; the
    // current file's comment and layout stay as they are.
    HGLOBAL comment = g_hComment;
    g_hComment = NULL;
    const int layout[4] = {g_animDestX, g_animDestY, g_animDestWidth, g_animDestHeight};
    HCURSOR old_cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    int identity = identify_file(first, got, at128, ext);
    // Behind a MacBinary header a TIFF of any version is a source (BigTIFF too).
    if (identity == IDENT_UNKNOWN && ((at128[0] == 'I' && at128[1] == 'I') || (at128[0] == 'M' && at128[1] == 'M')))
        identity = IDENT_MACBINARY_TIFF;
    SourceReader reader = find_source_reader(identity);
    HGLOBAL image = NULL;
    g_mergeKind = MERGE_RASTER;
    show_progress(0, 0);
    if (reader) {
        LONG end = _llseek(file, 0, FILE_END);
        _llseek(file, 0, FILE_BEGIN);
        uint32_t ratio = reader_pixels_per_byte(identity);
        PixelCeiling outer = {0, 0};
        if (ratio)
            outer = begin_pixel_ceiling(end > 0 ? (uint64_t)end : 0, ratio);
        image = reader(file, path);
        if (ratio)
            end_pixel_ceiling(outer);
    } else {
        _lclose(file);
    }
    show_progress(0, 0);
    if (g_hComment)
        GlobalFree(g_hComment);
    g_hComment = comment;
    g_animDestX = layout[0];
    g_animDestY = layout[1];
    g_animDestWidth = layout[2];
    g_animDestHeight = layout[3];

    // An icon is drawn through its mask: one without it is no source.
    if (image && g_mergeKind == MERGE_ICON && !g_hMergeMask) {
        GlobalFree(image);
        image = NULL;
    }
    if (image) {
        if (g_mergeKind == MERGE_RASTER || g_mergeKind == MERGE_ICON)
            classify_alpha(image);
        set_source_placement(image);
    } else {
        if (g_hMergeMask)
            GlobalFree(g_hMergeMask);
        if (g_hMergeBits)
            GlobalFree(g_hMergeBits);
        g_hMergeMask = g_hMergeBits = NULL;
        g_mergeKind = MERGE_NONE;
    }
    SetCursor(old_cursor);
    return image;
}
